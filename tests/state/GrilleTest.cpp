// The grid: coordinates, exchanges, the search for a value, the check and
// its messages, and the segment addressing.

#include <gtest/gtest.h>

#include "tests/support/Grilles.hpp"
#include "random/KOZTools.hpp"

namespace {

std::string MessageDe(const TKOZGrille& g) {
    try {
        g.Verifier();
    } catch (const EKOZException& e) {
        return e.what();
    }
    return "(valide)";
}

TEST(Grille, FreshGridIsAPermutationWithConsistentCoordinates) {
    TKOZGrille g;
    EXPECT_NO_THROW(g.Verifier());
    for (int v = 0; v < 256; ++v) {
        const TCoordonnees c = g.Coordonnees(uint8_t(v));
        const uint8_t p = g.Position(uint8_t(v));
        ASSERT_EQ(g.Case(c.Ligne, c.Colonne), v);
        ASSERT_EQ(c.Valeur(), (p >> 4) + 256 * (p & 15));
    }
}

TEST(Grille, CoordinatesAreRowMajor) {
    TKOZGrille g;
    g.DefinirCases(GrilleIdentite());
    EXPECT_EQ(g.Coordonnees(0x2F).Ligne, 2);
    EXPECT_EQ(g.Coordonnees(0x2F).Colonne, 15);
    EXPECT_EQ(g.Coordonnees(0xF0).Ligne, 15);
    EXPECT_EQ(g.Coordonnees(0xF0).Colonne, 0);
    EXPECT_EQ(g.Case(3, 10), 0x3A) << "row first, column second";
}

TEST(Grille, ExchangesKeepPositionInStep) {
    TKOZGrille g;
    g.DefinirCases(GrilleIdentite());
    g.Echanger(40, 40);
    EXPECT_EQ(g.Cases(), GrilleIdentite());
    g.Echanger(3, 200);
    EXPECT_EQ(g.Cases()[3], 200);
    EXPECT_EQ(g.Position(200), 3);
    EXPECT_EQ(g.Position(3), 200);
    g.Echanger(200, 3);
    EXPECT_EQ(g.Cases(), GrilleIdentite());
}

TEST(Grille, PositionAgreesWithTheLinearSearchAfterManyEvolutions) {
    TKOZGrille g;
    for (int n = 0; n < 20000; ++n) {
        g.Evoluer(RandomBelow(256));
        if (n % 500 == 0) {
            for (int v = 0; v < 256; ++v) ASSERT_EQ(g.Position(uint8_t(v)), g.PositionLineaire(uint8_t(v)));
        }
    }
    EXPECT_NO_THROW(g.Verifier());
}

TEST(Grille, GridThatIsNotAPermutation) {
    TKOZGrille g;
    g.DefinirCases(GrilleIdentite());
    g.DefinirCase(0x20, 0x55);
    g.DefinirCase(0x90, 0x55);
    EXPECT_EQ(g.Position(0x55), 0x20) << "the lowest of the cells holding it";
    try {
        g.Position(0x90);
        FAIL() << "a missing value was found";
    } catch (const EKOZException& e) {
        EXPECT_STREQ(e.what(), "La valeur cherchée n'est pas dans la grille");
    }
    EXPECT_THROW(g.Coordonnees(0x20), EKOZException);

    // Back to a permutation: the search answers again for every value.
    g.DefinirCase(0x20, 0x20);
    g.DefinirCase(0x90, 0x90);
    for (int v = 0; v < 256; ++v) ASSERT_EQ(g.Position(uint8_t(v)), v);
}

TEST(Grille, VerifierMessagesToTheCharacter) {
    TKOZGrille g;
    g.DefinirCases(GrilleIdentite());
    g.DefinirCase(10, 0x41);
    g.DefinirCase(200, 0x41);
    g.DefinirCase(0x41, 10);
    g.DefinirCase(3, 200);
    EXPECT_EQ(MessageDe(g), "La grille n'est plus valide\r\n\r\nManquent = 03\r\nDoublons = 41");

    g.DefinirCases(GrilleIdentite());
    g.DefinirCase(0x10, 0x00);
    g.DefinirCase(0xFF, 0x00);
    EXPECT_EQ(MessageDe(g), "La grille n'est plus valide\r\n\r\nManquent = 10 FF\r\nDoublons = 00 00");

    // Duplicates are listed in cell order, not sorted by value.
    g.DefinirCases(GrilleIdentite());
    g.DefinirCase(0x05, 0x80);
    g.DefinirCase(0x90, 0x01);
    EXPECT_EQ(MessageDe(g), "La grille n'est plus valide\r\n\r\nManquent = 05 90\r\nDoublons = 80 01");
    EXPECT_EQ(g.Cases()[0x05], 0x80) << "the check changes nothing";
}

TEST(Adresse, Examples) {
    EXPECT_EQ(TKOZGrille::Adresse(3, {0, 2, 5}), 40);
    EXPECT_EQ(TKOZGrille::Adresse(3, {1, 2, 5}), 130);
    EXPECT_EQ(TKOZGrille::Adresse(0, {0, 15, 14}), 254);
    EXPECT_EQ(TKOZGrille::Adresse(1, {0, 15, 14}), 255);
    EXPECT_EQ(TKOZGrille::Adresse(2, {0, 15, 14}), 0);
    EXPECT_EQ(TKOZGrille::Adresse(0, {1, 3, 15}), 243);
    EXPECT_EQ(TKOZGrille::Adresse(1, {1, 3, 15}), 3);
}

TEST(Adresse, EveryFieldValueFollowsTheByteFormulas) {
    for (int sens : {0, 1, 2, 255})
        for (int rang = 0; rang < 256; ++rang)
            for (int debut = 0; debut < 256; debut += 3)
                for (int i : {0, 1, 7, 15, 16, 17, 200, 255}) {
                    const TSegment s{uint8_t(sens), uint8_t(rang), uint8_t(debut)};
                    int attendu = 0;
                    if (sens == 0) attendu = (rang * 16 + debut + i) % 256;
                    if (sens == 1) attendu = (((debut + i) % 256) * 16 + rang) % 256;
                    ASSERT_EQ(TKOZGrille::Adresse(uint8_t(i), s), attendu)
                        << "sens " << sens << " rang " << rang << " debut " << debut << " i " << i;
                }
}

}  // namespace
