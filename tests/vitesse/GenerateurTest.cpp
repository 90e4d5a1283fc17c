// The generator prepares each following pass a step at a time while the
// current one is handed out. Against a plain generator (one Generate of 256
// steps every 256th word, written here from the definition): the same words
// and the same visible state, across many passes, a direct Generate in the
// middle of a pass, a Clear and a new Init.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "random/IARand.hpp"

namespace {

class TGenerateurSimple {
public:
    uint32_t Results[256] = {};
    uint32_t Memory[256] = {};
    int32_t Remaining = 0;
    uint32_t Accumulator = 0;

    void Generate() {
        for (int i = 0; i < 256; ++i) {
            const uint32_t x = Memory[i];
            const uint32_t y = Memory[x & 255] + Accumulator;
            Memory[i] = y;
            Accumulator = Memory[(y >> 8) & 255] + x;
            Results[i] = Accumulator;
        }
    }
    uint32_t Next() {
        if (Remaining == 0) {
            Generate();
            Remaining = 255;
        } else {
            --Remaining;
        }
        return Results[Remaining & 255];
    }
};

// A TIARand brought to a known state: cleared, seeded with graine, Init.
struct TGenerateurSeme : TIARand {
    explicit TGenerateurSeme(uint32_t graine) {
        Clear();
        AddLong(graine);
        Init();
    }
};

// The plain generator in the same state as g (its whole visible state).
TGenerateurSimple Copie(const TIARand& g) {
    TGenerateurSimple s;
    for (int i = 0; i < 256; ++i) {
        s.Results[i] = g.Resultat(i);
        s.Memory[i] = g.Memoire(i);
    }
    s.Remaining = g.Restants();
    s.Accumulator = g.Accumulateur();
    return s;
}

void MemeEtat(const TIARand& g, const TGenerateurSimple& s) {
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(g.Resultat(i), s.Results[i]) << "Results[" << i << "]";
        ASSERT_EQ(g.Memoire(i), s.Memory[i]) << "Memory[" << i << "]";
    }
    ASSERT_EQ(g.Restants(), s.Remaining);
    ASSERT_EQ(g.Accumulateur(), s.Accumulator);
}

TEST(GenerateurAnticipe, SameWordsAndStateOverManyPasses) {
    TGenerateurSeme g(0x12345678u);
    TGenerateurSimple s = Copie(g);
    for (int k = 0; k < 256 * 12 + 77; ++k) {
        ASSERT_EQ(g.Next(), s.Next()) << "word " << k;
        // The visible state at a pass's first, middle and last word.
        if (k % 256 == 0 || k % 256 == 128 || k % 256 == 255) MemeEtat(g, s);
    }
}

TEST(GenerateurAnticipe, DirectGenerateInTheMiddleOfAPassStartsFromTheCurrentMemory) {
    TGenerateurSeme g(7);
    TGenerateurSimple s = Copie(g);
    for (int k = 0; k < 300; ++k) ASSERT_EQ(g.Next(), s.Next());
    g.Generate();
    s.Generate();
    MemeEtat(g, s);
    for (int k = 0; k < 600; ++k) ASSERT_EQ(g.Next(), s.Next()) << "word " << k << " after Generate";
}

TEST(GenerateurAnticipe, ClearForgetsThePreparedPassAndInitStartsAgain) {
    TGenerateurSeme g(99);
    for (int k = 0; k < 200; ++k) g.Next();
    g.Clear();
    EXPECT_TRUE(g.EstEfface()) << "the pass prepared ahead is wiped too";
    // Cleared and never initialised: every word is 0, as from the plain generator.
    for (int k = 0; k < 300; ++k) ASSERT_EQ(g.Next(), 0u);
    g.Clear();
    g.AddLong(99);
    g.Init();
    TGenerateurSeme h(99);
    for (int k = 0; k < 700; ++k) ASSERT_EQ(g.Next(), h.Next()) << "word " << k;
}

}  // namespace
