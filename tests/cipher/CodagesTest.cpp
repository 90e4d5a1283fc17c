// The five encoders on the identity grid under chosen draws, and the
// encoder table that ChiffrerOctet draws from.

#include <gtest/gtest.h>

#include <set>

#include "tests/support/Grilles.hpp"
#include "tests/support/Tirages.hpp"
#include "cipher/KOZChiffre.hpp"

namespace {

using B = TBlocChiffre;

struct CodagesTest : ::testing::Test {
    void SetUp() override { c.DefinirCases(GrilleIdentite()); }

    // The block of v under exactly the scripted draws, from a block of
    // another length; the grid must come out unchanged.
    B Bloc(TKOZChiffre::TCodage codage, uint8_t v, std::initializer_list<uint32_t> tirages) {
        TTiragesScriptes t(tirages);
        B bloc(9, 0xEE);
        (c.*codage)(v, bloc);
        EXPECT_EQ(t.Tirages, tirages.size()) << "draws made";
        EXPECT_EQ(c.Cases(), GrilleIdentite()) << "an encoder only reads the grid";
        return bloc;
    }

    TKOZChiffre c;
};

TEST_F(CodagesTest, Suite) {
    const auto f = &TKOZChiffre::CodageSuite;
    EXPECT_EQ(Bloc(f, 0x00, {1}), (B{0x00, 0x01, 0x02}));
    EXPECT_EQ(Bloc(f, 0x00, {0}), (B{0x00, 0x10, 0x20}));
    EXPECT_EQ(Bloc(f, 0x0F, {1}), (B{0x0F, 0x00, 0x01})) << "wraps within its row";
    EXPECT_EQ(Bloc(f, 0xFF, {0}), (B{0xFF, 0x0F, 0x1F}));
}

TEST_F(CodagesTest, Voisins) {
    const auto f = &TKOZChiffre::CodageVoisins;
    EXPECT_EQ(Bloc(f, 0x00, {1, 1}), (B{0x01, 0x0F}));
    EXPECT_EQ(Bloc(f, 0x00, {1, 0}), (B{0x0F, 0x01}));
    EXPECT_EQ(Bloc(f, 0x00, {0, 1}), (B{0x10, 0xF0}));
    EXPECT_EQ(Bloc(f, 0x00, {0, 0}), (B{0xF0, 0x10}));
}

TEST_F(CodagesTest, Croix) {
    const auto f = &TKOZChiffre::CodageCroix;
    EXPECT_EQ(Bloc(f, 0x35, {0, 0}), (B{0x36, 0x45}));
    EXPECT_EQ(Bloc(f, 0x35, {13, 13}), (B{0x33, 0x15}));
    std::set<int> ligne, colonne;
    for (uint32_t a = 0; a < 14; ++a)
        for (uint32_t b = 0; b < 14; ++b) {
            const B bloc = Bloc(f, 0x35, {a, b});
            ligne.insert(bloc[0]);
            colonne.insert(bloc[1]);
        }
    std::set<int> ligneAttendue, colonneAttendue;
    for (int i = 0; i < 16; ++i) {
        if (i != 4 && i != 5) ligneAttendue.insert(0x30 + i);
        if (i != 2 && i != 3) colonneAttendue.insert(16 * i + 5);
    }
    EXPECT_EQ(ligne, ligneAttendue);
    EXPECT_EQ(colonne, colonneAttendue);
}

TEST_F(CodagesTest, CroixDouble) {
    const auto f = &TKOZChiffre::CodageCroixDouble;
    EXPECT_EQ(Bloc(f, 0x35, {0, 0}), (B{0x36, 0x37, 0x45, 0x55}));
    EXPECT_EQ(Bloc(f, 0x35, {12, 12}), (B{0x32, 0x33, 0x05, 0x15}));
    EXPECT_EQ(Bloc(f, 0x35, {12, 0}), (B{0x32, 0x33, 0x45, 0x55})) << "a for the row, b for the column";
}

TEST_F(CodagesTest, VoisinsDoubles) {
    const auto f = &TKOZChiffre::CodageVoisinsDoubles;
    EXPECT_EQ(Bloc(f, 0x35, {0, 2, 1}), (B{0x36, 0x37, 0x33, 0x34}));
    EXPECT_EQ(Bloc(f, 0x35, {2, 2, 0, 1}), (B{0x33, 0x34, 0x36, 0x37})) << "14 again: drawn once more";
    EXPECT_EQ(Bloc(f, 0x35, {1, 2, 0}), (B{0x55, 0x45, 0x15, 0x25}));
    EXPECT_EQ(Bloc(f, 0x35, {0, 1, 0, 3, 1}), (B{0x36, 0x37, 0x34, 0x33})) << "the partner is refused too";
}

TEST_F(CodagesTest, MissingValueRaisesBeforeAnyDraw) {
    c.DefinirCase(0x35, 0x36);
    for (auto f : c.Codages) {
        TTiragesScriptes t{1, 1, 1, 1};
        B bloc{7, 8, 9};
        EXPECT_THROW((c.*f)(0x35, bloc), EKOZException);
        EXPECT_EQ(t.Tirages, 0u);
        EXPECT_EQ(bloc, (B{7, 8, 9}));
    }
}

TEST_F(CodagesTest, ChiffrerOctetDrawsTheSlotThenEncodesThenEvolves) {
    struct TCas {
        uint32_t slot;
        std::initializer_list<uint32_t> tirages;
        B attendu;
    };
    const TCas cas[] = {
        {0, {0, 0}, {0x36, 0x45}},
        {1, {0, 0}, {0x36, 0x37, 0x45, 0x55}},
        {2, {1, 1}, {0x36, 0x34}},
        {3, {0, 2, 1}, {0x36, 0x37, 0x33, 0x34}},
        {4, {1}, {0x35, 0x36, 0x37}},
    };
    for (const TCas& k : cas) {
        SCOPED_TRACE(k.slot);
        c.DefinirCases(GrilleIdentite());
        TKOZGrille jumeau;
        CopierEtat(c, jumeau);
        jumeau.Evoluer(0x35);

        TTiragesScriptes t{k.slot};
        for (uint32_t m : k.tirages) t.Ajouter(m);
        B bloc;
        c.ChiffrerOctet(0x35, bloc);
        EXPECT_EQ(bloc, k.attendu) << "encoded on the grid before the evolution";
        EXPECT_EQ(t.Tirages, 1 + k.tirages.size());
        EXPECT_EQ(c.Cases(), jumeau.Cases()) << "one evolution after the byte";
    }
}

}  // namespace
