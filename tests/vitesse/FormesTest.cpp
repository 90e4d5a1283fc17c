// The fast forms of the evolution and of the decryption loop against the
// reference ones, on every machine: the portable form always (it is what a
// processor without AVX-512 runs, and it runs here through the test seam),
// the AVX-512 form where the processor has it. Generated states and loaded
// ones holding what no generation makes; whole, damaged and cut texts;
// a stop asked in the middle. Same bytes, same failure and offset, same
// state reached.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/dechiffre/Outils.hpp"
#include "tests/support/Fichiers.hpp"
#include "tests/support/Grilles.hpp"
#include "cipher/KOZChiffre.hpp"
#include "cipher/KOZDechiffre.hpp"

namespace {

using TForme = TKOZGrille::TFormeRapide;

// Imposes one fast form for the test's length; the AVX-512 one is skipped
// where the processor lacks it, never the portable one.
struct Formes : ::testing::TestWithParam<TForme> {
    void SetUp() override {
        if (GetParam() == TForme::Avx512) {
            if (TKOZGrille::FormeDuProcesseur() != TForme::Avx512)
                GTEST_SKIP() << "this processor has no AVX-512 byte permutes";
            Avant = TKOZGrille::AutoriserEvolutionVectorielle(true);
        } else {
            Avant = TKOZGrille::AutoriserEvolutionVectorielle(false);
        }
        ASSERT_EQ(TKOZGrille::FormeRapide(), GetParam());
    }
    void TearDown() override { TKOZGrille::AutoriserEvolutionVectorielle(Avant); }
    bool Avant = true;
};
INSTANTIATE_TEST_SUITE_P(Forme, Formes, ::testing::Values(TForme::Portable, TForme::Avx512),
                         [](const auto& info) { return info.param == TForme::Avx512 ? "avx512" : "portable"; });

TEST(FormesChoix, TheSeamImposesThePortableFormAndGivesTheProcessorsBack) {
    const bool avant = TKOZGrille::AutoriserEvolutionVectorielle(false);
    EXPECT_EQ(TKOZGrille::FormeRapide(), TForme::Portable);
    EXPECT_FALSE(TKOZGrille::EvolutionVectorielle());
    EXPECT_FALSE(TKOZGrille::AutoriserEvolutionVectorielle(true));
    EXPECT_EQ(TKOZGrille::FormeRapide(), TKOZGrille::FormeDuProcesseur());
    TKOZGrille::AutoriserEvolutionVectorielle(avant);
}

// A grid whose fast evolution a test can call.
class TGrilleEssai : public TKOZGrille {
public:
    using TKOZGrille::EvoluerRapide;
    using TKOZGrille::PreparerEvolution;
    using TKOZGrille::TenirInverse;
};

// Entries of every odd kind a loaded table may hold: Sens other than 0 and
// 1, Longueur 0, 16 (the last of the fixed pairs), 17 (the first past them)
// and 255, segments wrapping past cell 255, Rang and Debut beyond 15,
// identical and overlapping segments; the rest random bytes. The exchange
// table is no permutation.
void EtatBizarre(TKOZGrille& g, uint32_t graine) {
    std::mt19937 alea(graine);
    TKOZGrille::TCases cases = GrilleIdentite();
    std::shuffle(cases.begin(), cases.end(), alea);
    g.DefinirCases(cases);
    for (auto& e : g.Echange->Table) e = uint8_t(alea() % 4 == 0 ? 7 : alea());
    const TPermutation bizarres[] = {
        {{2, 5, 3}, {0, 1, 1}, 10},   {{255, 0, 0}, {1, 4, 2}, 16}, {{0, 3, 3}, {1, 9, 0}, 0},
        {{0, 15, 14}, {1, 3, 15}, 17}, {{0, 7, 0}, {0, 7, 1}, 200}, {{1, 200, 250}, {0, 99, 77}, 255},
        {{1, 6, 2}, {1, 6, 2}, 12},   {{0, 2, 5}, {0, 2, 6}, 9},    {{1, 0, 0}, {0, 0, 0}, 16},
        {{1, 2, 5}, {1, 2, 4}, 17},
    };
    int k = 0;
    for (auto& p : g.Permutations->Table) {
        if (alea() % 3 == 0) {
            uint8_t octets[7];
            for (auto& o : octets) o = uint8_t(alea());
            std::memcpy(&p, octets, 7);
        } else {
            p = bizarres[k++ % std::size(bizarres)];
        }
    }
}

TEST_P(Formes, FastEvolutionMovesTheCellsAsTheReferenceWithOrWithoutTheInverseTable) {
    for (uint32_t graine : {1u, 2u, 3u}) {
        for (bool inverse : {true, false}) {
            SCOPED_TRACE(std::to_string(graine) + (inverse ? " with" : " without") + " the inverse table");
            TGrilleEssai reference, rapide;
            if (graine != 1) EtatBizarre(reference, graine);
            CopierEtat(reference, rapide);
            rapide.TenirInverse(inverse);
            rapide.PreparerEvolution();
            std::mt19937 alea(graine);
            for (int n = 0; n < 4000; ++n) {
                // Runs of one value too: the same entry again and again.
                const uint8_t v = uint8_t(n % 500 < 100 ? n / 500 : alea());
                reference.Evoluer(v);
                rapide.EvoluerRapide(v, rapide.Position(v));
                ASSERT_TRUE(rapide.Cases() == reference.Cases()) << "after " << n + 1 << " evolutions";
            }
            for (int v = 0; v < 256; ++v) ASSERT_EQ(rapide.Position(uint8_t(v)), rapide.PositionLineaire(uint8_t(v)));
        }
    }
}

TEST_P(Formes, FastEvolutionInSecureModeChecksAfterTheExchanges) {
    TGrilleEssai g;
    TKOZGrille::TCases cases = GrilleIdentite();
    cases[3] = 0x41;  // 0x41 twice, 0x03 missing
    g.DefinirCases(cases);
    g.Echange->Table[0x20] = 0x20;
    g.Permutations->Table[0x20] = {{0, 0, 0}, {0, 0, 1}, 1};  // cells 0 and 1 trade
    g.ModeSecurise = true;
    g.PreparerEvolution();
    TGrilleEssai reference;
    CopierEtat(g, reference);
    std::string attendu, obtenu;
    try {
        reference.Evoluer(0x20);
    } catch (const EKOZException& e) {
        attendu = e.what();
    }
    try {
        g.EvoluerRapide(0x20, g.Position(0x20));
    } catch (const EKOZException& e) {
        obtenu = e.what();
    }
    EXPECT_EQ(attendu, "La grille n'est plus valide\r\n\r\nManquent = 03\r\nDoublons = 41");
    EXPECT_EQ(obtenu, attendu);
    EXPECT_TRUE(g.Cases() == reference.Cases());
    EXPECT_EQ(g.Cases()[0], 0x01);
}

// What a decryption left: the plain bytes written, the failure, the grid.
struct TIssue {
    std::string Octets;
    std::string Echec;
    TKOZGrille::TCases Grille{};
};

// The reference: one block after another, DechiffrerBloc then the reference
// Evoluer; a block refused or cut fails at its first byte.
TIssue Reference(const TKOZGrille& depart, const std::string& chiffre) {
    TIssue r;
    TKOZDechiffre d(depart);
    const auto* octets = reinterpret_cast<const uint8_t*>(chiffre.data());
    size_t i = 0;
    while (i < chiffre.size()) {
        uint8_t v;
        const int n = d.DechiffrerBloc(octets + i, chiffre.size() - i, v);
        if (n <= 0) {
            r.Echec = MessageInvalide("essai.KOZ", i);
            break;
        }
        d.Evoluer(v);
        r.Octets += char(v);
        i += size_t(n);
    }
    r.Grille = d.Cases();
    return r;
}

TIssue Flux(const TKOZGrille& depart, const std::string& chiffre, const TSuivi* suivi = nullptr,
            bool securise = false) {
    TIssue r;
    TKOZDechiffre d(depart);
    d.ModeSecurise = securise;
    TFluxMemoireLecture source(reinterpret_cast<const uint8_t*>(chiffre.data()), chiffre.size());
    TFluxMemoireEcriture destination;
    try {
        d.DechiffrerFlux(source, destination, "essai.KOZ", suivi);
    } catch (const EKOZException& e) {
        r.Echec = e.what();
    }
    r.Octets = destination.Contenu;
    r.Grille = d.Cases();
    return r;
}

void Comparer(const TIssue& rapide, const TIssue& reference) {
    EXPECT_EQ(rapide.Octets.size(), reference.Octets.size());
    EXPECT_TRUE(rapide.Octets == reference.Octets);
    EXPECT_EQ(rapide.Echec, reference.Echec);
    EXPECT_TRUE(rapide.Grille == reference.Grille);
}

TEST_P(Formes, DecryptionOfGeneratedAndOddStatesAgreesWithTheReference) {
    for (uint32_t graine : {1u, 7u, 8u}) {
        SCOPED_TRACE(graine);
        TKOZChiffre c;
        if (graine != 1) EtatBizarre(c, graine);
        const TKOZDechiffre depart(c);
        std::string clair = OctetsAleatoires(150000, graine);
        for (int v = 0; v < 256; ++v) clair += std::string(40, char(v));
        const std::string chiffre = ChiffrerTexte(c, clair);
        const TIssue rapide = Flux(depart, chiffre);
        EXPECT_TRUE(rapide.Octets == clair);
        EXPECT_EQ(rapide.Echec, "");
        EXPECT_TRUE(rapide.Grille == c.Cases()) << "decryption reaches another grid than the encryption";
        Comparer(rapide, Reference(depart, chiffre));
    }
}

TEST_P(Formes, DamagedAndCutTextsFailAtTheSameOffsetWithTheSameBytesAndGrid) {
    TKOZChiffre c;
    EtatBizarre(c, 21);
    const TKOZDechiffre depart(c);
    const std::string chiffre = ChiffrerTexte(c, OctetsAleatoires(50000, 21));
    ASSERT_GT(chiffre.size(), 2 * kTailleTamponChiffre + 4096);
    // Around the places where a fast loop hands over: its 4,096-byte pieces,
    // the 64 KiB reads, the end of the text.
    std::vector<size_t> places = {0, 1, 2, 3, 5, 6, 7, chiffre.size() - 7, chiffre.size() - 4, chiffre.size() - 1};
    for (size_t bord : {size_t(4096), size_t(8192), kTailleTamponChiffre, kTailleTamponChiffre + 4096})
        for (size_t k = bord - 8; k <= bord + 3; ++k) places.push_back(k);
    size_t echecs = 0;
    for (size_t place : places) {
        SCOPED_TRACE(place);
        std::string abime = chiffre;
        abime[place] = char(abime[place] ^ 0x5A);
        const TIssue reference = Reference(depart, abime);
        Comparer(Flux(depart, abime), reference);
        echecs += !reference.Echec.empty();
        const std::string coupe = chiffre.substr(0, place);
        Comparer(Flux(depart, coupe), Reference(depart, coupe));
    }
    EXPECT_GT(echecs, places.size() / 2);
}

TEST_P(Formes, StopAskedAfterTheFirstBufferLeavesItsBlocksAndTheirGrid) {
    TKOZChiffre c;
    const TKOZDechiffre depart(c);
    const std::string chiffre = ChiffrerTexte(c, OctetsAleatoires(60000, 5));
    ASSERT_GT(chiffre.size(), kTailleTamponChiffre + 4096);
    std::atomic<bool> arret{false};
    TSuivi suivi;
    suivi.Arret = &arret;
    suivi.Progression = [&](uint64_t, uint64_t) { arret = true; };
    const TIssue rapide = Flux(depart, chiffre, &suivi);
    EXPECT_EQ(rapide.Echec, "Déchiffrement interrompu");
    // Exactly the blocks that end within the first read.
    const std::vector<size_t> fins = FinsDeBlocs(depart, chiffre);
    const size_t entiers = size_t(std::upper_bound(fins.begin(), fins.end(), kTailleTamponChiffre) - fins.begin());
    ASSERT_GT(entiers, 0u);
    const TIssue reference = Reference(depart, chiffre.substr(0, fins[entiers - 1]));
    EXPECT_EQ(rapide.Octets.size(), entiers);
    EXPECT_TRUE(rapide.Octets == reference.Octets);
    EXPECT_TRUE(rapide.Grille == reference.Grille);
}

TEST_P(Formes, SecureModeTakesTheReferenceEvolutionAndDecryptsTheSame) {
    TKOZChiffre c;
    EtatBizarre(c, 9);
    const TKOZDechiffre depart(c);
    std::string chiffre = ChiffrerTexte(c, OctetsAleatoires(20000, 9));
    chiffre[30001] = char(chiffre[30001] ^ 0x33);
    const TIssue sur = Flux(depart, chiffre, nullptr, true);
    Comparer(sur, Flux(depart, chiffre));
    Comparer(sur, Reference(depart, chiffre));
}

}  // namespace
