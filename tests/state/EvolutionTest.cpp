// The grid's evolution after each plain byte.

#include <gtest/gtest.h>

#include "tests/support/Grilles.hpp"
#include "random/KOZTools.hpp"

namespace {

// A grid on the identity, with the identity exchange table and every
// permutation entry made of two coinciding segments: an evolution that
// changes nothing, until a test sets an entry.
struct EvolutionTest : ::testing::Test {
    void SetUp() override {
        g.DefinirCases(GrilleIdentite());
        g.Echange->Initialiser();
        for (auto& e : g.Permutations->Table) e = {{0, 0, 0}, {0, 0, 0}, 4};
    }
    TKOZGrille g;
};

TEST_F(EvolutionTest, CoincidingSegmentsChangeNothing) {
    g.Permutations->Table[0x42] = {{1, 7, 3}, {1, 7, 3}, 9};
    g.Permuter(0x42);
    EXPECT_EQ(g.Cases(), GrilleIdentite());
}

TEST_F(EvolutionTest, OverlappingSegmentsRotateInOrder) {
    // Segments at columns 2 and 3 of row 3, length 5: the value of column 2
    // ends at column 7 and columns 3..7 each move one to the left.
    g.Permutations->Table[0] = {{0, 3, 2}, {0, 3, 3}, 5};
    g.Permuter(0);
    auto attendu = GrilleIdentite();
    for (int c = 2; c < 7; ++c) attendu[0x30 + c] = uint8_t(0x30 + c + 1);
    attendu[0x37] = 0x32;
    EXPECT_EQ(g.Cases(), attendu);
}

TEST_F(EvolutionTest, LoadedLengthUpTo255WrapsOverTheWholeGrid) {
    g.Permutations->Table[1] = {{0, 0, 0}, {0, 0, 1}, 255};
    g.Permuter(1);
    for (int p = 0; p < 255; ++p) ASSERT_EQ(g.Cases()[p], p + 1);
    EXPECT_EQ(g.Cases()[255], 0);
}

TEST_F(EvolutionTest, ExchangeThenSegments) {
    // v = 0x12 goes to cell 0xA0; then entry 0x12 exchanges cells 0xA0..0xA3
    // with 0x05..0x35 down column 5.
    g.Echange->Table[0x12] = 0xA0;
    g.Permutations->Table[0x12] = {{0, 10, 0}, {1, 5, 0}, 4};
    g.Evoluer(0x12);
    auto attendu = GrilleIdentite();
    std::swap(attendu[0x12], attendu[0xA0]);
    for (int i = 0; i < 4; ++i) std::swap(attendu[0xA0 + i], attendu[16 * i + 5]);
    EXPECT_EQ(g.Cases(), attendu);
    EXPECT_EQ(g.Position(0x12), 0x05);
}

TEST_F(EvolutionTest, IdentityExchangeAndCoincidingSegmentsMoveOnlyV) {
    auto depart = GrilleIdentite();
    std::swap(depart[0x10], depart[0x77]);  // value 0x77 in cell 0x10
    g.DefinirCases(depart);
    g.Evoluer(0x77);
    EXPECT_EQ(g.Cases(), GrilleIdentite());
    g.Evoluer(0x20);  // already in cell 0x20: nothing at all
    EXPECT_EQ(g.Cases(), GrilleIdentite());
}

TEST_F(EvolutionTest, MissingValueStopsBeforeAnyChange) {
    g.Echange->Table[0x33] = 0;
    g.Permutations->Table[0x33] = {{0, 1, 0}, {0, 2, 0}, 16};
    g.DefinirCase(0x33, 0x34);
    const auto avant = g.Cases();
    EXPECT_THROW(g.Evoluer(0x33), EKOZException);
    EXPECT_EQ(g.Cases(), avant);
}

TEST_F(EvolutionTest, SecureModeChecksAfterTheExchanges) {
    g.DefinirCase(0x90, 0x80);  // 0x80 twice, 0x90 missing
    g.Echange->Table[0x01] = 0x02;
    EXPECT_NO_THROW(g.Evoluer(0x01)) << "no check outside secure mode";
    EXPECT_EQ(g.Cases()[0x02], 0x01);

    g.ModeSecurise = true;
    g.Echange->Table[0x01] = 0x01;
    try {
        g.Evoluer(0x01);
        FAIL() << "an invalid grid passed the secure check";
    } catch (const EKOZException& e) {
        EXPECT_STREQ(e.what(), "La grille n'est plus valide\r\n\r\nManquent = 90\r\nDoublons = 80");
    }
    EXPECT_EQ(g.Cases()[0x01], 0x01) << "the evolution is made before the check";
}

TEST(Evolution, ManyEvolutionsKeepAValidGridInSecureMode) {
    TKOZGrille g;
    g.ModeSecurise = true;
    for (int n = 0; n < 5000; ++n) ASSERT_NO_THROW(g.Evoluer(RandomBelow(256)));
}

}  // namespace
