// The gathering of system readings that seeds the generator.

#include <gtest/gtest.h>

#include "platform/LecturesSysteme.hpp"
#include "random/IARand.hpp"

namespace {

struct TGenerateurVide : TIARand {
    TGenerateurVide() { Clear(); }
};

TEST(Releve, AddsAFixedCountWithoutWrapping) {
#if defined(__x86_64__) && defined(__linux__)
    EXPECT_EQ(kOctetsRelevesComplets, 661);
#endif
    ASSERT_LE(kOctetsRelevesComplets, 1024);
    TGenerateurVide g;
    g.GatherEntropy();
    EXPECT_EQ(g.IndexPool(), kOctetsRelevesComplets) << "every reading succeeds on this machine";
    for (int k = kOctetsRelevesComplets; k < 1024; ++k) ASSERT_EQ(g.OctetPool(k), 0) << k;
}

TEST(Releve, EndsWithSixtyFourBytesOfTheKernelRandomSource) {
    TGenerateurVide a, b;
    a.GatherEntropy();
    b.GatherEntropy();
    int nonNuls = 0, egaux = 0;
    for (int k = kOctetsRelevesComplets - 64; k < kOctetsRelevesComplets; ++k) {
        nonNuls += a.OctetPool(k) != 0;
        egaux += a.OctetPool(k) == b.OctetPool(k);
    }
    // 64 random bytes: about 63.75 non-zero and 0.25 equal on average.
    EXPECT_GE(nonNuls, 52);
    EXPECT_LE(egaux, 10);
}

}  // namespace
