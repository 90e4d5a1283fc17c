// Generation of the three tables: draw orders and counts, ranges.

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/Tirages.hpp"
#include "tests/support/Grilles.hpp"

namespace {

bool EstPermutation(const std::array<uint8_t, 256>& t) {
    std::array<uint8_t, 256> tri = t;
    std::sort(tri.begin(), tri.end());
    for (int i = 0; i < 256; ++i)
        if (tri[i] != i) return false;
    return true;
}

// 256 exchanges: the first (x, x, y) redraws only the second, then
// (p, q) 255 times, an odd count that leaves p and q exchanged.
void ScripterMelange(TTiragesScriptes& t, uint32_t x, uint32_t y, uint32_t p, uint32_t q) {
    t.Ajouter(x);
    t.Ajouter(x);
    t.Ajouter(y);
    for (int k = 1; k < 256; ++k) {
        t.Ajouter(p);
        t.Ajouter(q);
    }
}

TEST(Generation, GridShuffleRedrawsOnlyTheSecondCell) {
    TKOZGrille g;
    TTiragesScriptes t;
    ScripterMelange(t, 3, 9, 0, 1);
    g.Generer();
    EXPECT_EQ(t.Tirages, 513u);
    EXPECT_EQ(t.Restants(), 0u);
    auto attendu = GrilleIdentite();
    std::swap(attendu[3], attendu[9]);
    std::swap(attendu[0], attendu[1]);
    EXPECT_EQ(g.Cases(), attendu);
}

TEST(Generation, ExchangeTableShuffle) {
    TKOZEchange e;
    EXPECT_TRUE(EstPermutation(e.Table));
    e.Initialiser();
    for (int v = 0; v < 256; ++v) ASSERT_EQ(e.Valeur(uint8_t(v)), v);
    TTiragesScriptes t;
    ScripterMelange(t, 250, 251, 7, 200);
    e.Melanger();
    EXPECT_EQ(t.Tirages, 513u);
    EXPECT_EQ(e.Valeur(250), 251);
    EXPECT_EQ(e.Valeur(251), 250);
    EXPECT_EQ(e.Valeur(7), 200);
    EXPECT_EQ(e.Valeur(200), 7);
    EXPECT_EQ(e.Valeur(8), 8);
}

TEST(Generation, PermutationEntryDrawOrder) {
    TTiragesScriptes t{
        0, 12, 1, 9, 20, 2, 33,  // entry 0: Longueur 4, then Debut, Sens, Rang of each segment
        12, 5, 3, 7, 6, 4, 31,   // entry 1: Longueur 16, so each Debut is RandomBelow(1)
    };
    TKOZPermutations p;
    EXPECT_EQ(t.Tirages, 1792u);
    const TPermutation e0 = p.Lire(0), e1 = p.Lire(1);
    EXPECT_EQ(e0.Longueur, 4);
    EXPECT_EQ(e0.Segment1.Debut, 12);
    EXPECT_EQ(e0.Segment1.Sens, 1);
    EXPECT_EQ(e0.Segment1.Rang, 9);
    EXPECT_EQ(e0.Segment2.Debut, 7);
    EXPECT_EQ(e0.Segment2.Sens, 0);
    EXPECT_EQ(e0.Segment2.Rang, 1);
    EXPECT_EQ(e1.Longueur, 16);
    EXPECT_EQ(e1.Segment1.Debut, 0);
    EXPECT_EQ(e1.Segment1.Sens, 1);
    EXPECT_EQ(e1.Segment1.Rang, 7);
    EXPECT_EQ(e1.Segment2.Debut, 0);
    EXPECT_EQ(e1.Segment2.Sens, 0);
    EXPECT_EQ(e1.Segment2.Rang, 15);
}

TEST(Generation, GeneratedEntriesFitInTheSquare) {
    TKOZPermutations p;
    for (int v = 0; v < 256; ++v) {
        const TPermutation e = p.Lire(uint8_t(v));
        ASSERT_GE(e.Longueur, 4);
        ASSERT_LE(e.Longueur, 16);
        for (const TSegment& s : {e.Segment1, e.Segment2}) {
            ASSERT_LE(s.Sens, 1);
            ASSERT_LE(s.Rang, 15);
            ASSERT_LE(s.Debut + e.Longueur, 16);
        }
    }
}

TEST(Generation, ConstructionDrawsGridThenExchangeThenPermutations) {
    TTiragesScriptes t;
    ScripterMelange(t, 0, 2, 4, 5);     // grid
    ScripterMelange(t, 10, 11, 20, 21); // exchange table
    for (int k = 0; k < 1792; ++k) t.Ajouter(0);
    TKOZGrille g;
    EXPECT_EQ(t.Tirages, 513u + 513u + 1792u);
    EXPECT_EQ(t.Restants(), 0u);
    EXPECT_FALSE(g.ModeSecurise);

    auto grille = GrilleIdentite();
    std::swap(grille[0], grille[2]);
    std::swap(grille[4], grille[5]);
    EXPECT_EQ(g.Cases(), grille);
    EXPECT_EQ(g.Echange->Valeur(10), 11);
    EXPECT_EQ(g.Echange->Valeur(20), 21);
    EXPECT_EQ(g.Echange->Valeur(0), 0);
    for (int v = 0; v < 256; ++v) {
        const TPermutation e = g.Permutations->Lire(uint8_t(v));
        ASSERT_EQ(e.Longueur, 4);
        ASSERT_EQ(e.Segment1.Sens | e.Segment1.Rang | e.Segment1.Debut, 0);
    }
}

}  // namespace
