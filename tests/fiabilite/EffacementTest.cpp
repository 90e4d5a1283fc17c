// The shared generator's memory, as FinaliserKOZTools gives it back: this
// program replaces the global allocation functions so that it can look at
// the bytes of the one block being freed after its destructor has run.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "random/IARand.hpp"
#include "random/KOZTools.hpp"

namespace {
const void* Surveille = nullptr;
unsigned char Capture[sizeof(TIARand)];
bool Capture_ = false;

// Kept out of line: inlined into a delete of a small object, the copy would
// look to the compiler like a read past that object.
__attribute__((noinline)) void Liberer(void* p) noexcept {
    if (p && p == Surveille) {
        std::memcpy(Capture, p, sizeof Capture);
        Capture_ = true;
    }
    std::free(p);
}
}  // namespace

void* operator new(std::size_t n) {
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return ::operator new(n); }
void operator delete(void* p) noexcept { Liberer(p); }
void operator delete[](void* p) noexcept { Liberer(p); }
void operator delete(void* p, std::size_t) noexcept { Liberer(p); }
void operator delete[](void* p, std::size_t) noexcept { Liberer(p); }

namespace {

TEST(EffacementGenerateur, FinaliserKOZToolsGivesBackTheGeneratorsMemoryZeroed) {
    ASSERT_NE(GlobalRand, nullptr);
    ASSERT_FALSE(GlobalRand->EstEfface());
    Surveille = GlobalRand;
    FinaliserKOZTools();
    Surveille = nullptr;
    EXPECT_EQ(GlobalRand, nullptr);
    ASSERT_TRUE(Capture_) << "the generator was not released through operator delete";

    // The fields follow the table pointer: two tables of 256 words, then three words.
    const size_t debut = sizeof(void*), fin = debut + 2 * 1024 + 3 * 4;
    static_assert(sizeof(TIARand) >= 2 * 1024 + 3 * 4 + sizeof(void*));
    std::vector<size_t> nonNuls;
    for (size_t i = debut; i < fin; ++i)
        if (Capture[i] != 0) nonNuls.push_back(i);
    EXPECT_TRUE(nonNuls.empty()) << nonNuls.size() << " bytes not wiped, the first at " << nonNuls[0];

    InitialiserKOZTools();
    EXPECT_FALSE(GlobalRand->EstEfface());
}

}  // namespace
