// The fast path of the cipher (ChiffrerFlux: the fast evolution, branch-free
// segment addressing, encoders writing straight into the buffer) against the
// plain one (bench/ReferenceLitterale.hpp: linear Position, one branch per
// Sens, one byte at a time through a TBlocChiffre) and against ChiffrerOctet:
// from the same state and the same generator words, the same bytes, the same
// number of draws and the same final state; and the decryption gives the
// plain text back. Generated states, and loaded ones whose tables hold what
// no generation makes. The stream loops run in the AVX-512 form (where the
// processor has it) and in the portable one (everywhere).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/Grilles.hpp"
#include "tests/support/Fichiers.hpp"
#include "tests/support/ReferenceLitterale.hpp"
#include "cipher/KOZChiffre.hpp"
#include "cipher/KOZDechiffre.hpp"

namespace {

// A generator of its own, seeded from a cleared pool with one word, installed
// as the word source for its lifetime: every run with the same word draws the
// same sequence. Counts its draws.
class TMotsFixes : public TSourceMots {
public:
    explicit TMotsFixes(uint32_t graine) {
        Generateur.Clear();
        Generateur.AddLong(graine);
        Generateur.Init();
        Precedente = DefinirSourceMots(this);
    }
    ~TMotsFixes() override { DefinirSourceMots(Precedente); }
    uint32_t Mot() override {
        ++Tirages;
        return Generateur.Next();
    }
    size_t Tirages = 0;

private:
    TIARand Generateur;
    TSourceMots* Precedente;
};

// What one path produced: its bytes, the failure that stopped it, its draws.
struct TSortie {
    std::string Octets;
    std::string Echec;
    size_t Tirages = 0;
};

TSortie Rapide(TKOZChiffre& c, const std::string& clair, uint32_t graine) {
    TSortie s;
    TMotsFixes mots(graine);
    TFluxMemoireLecture source(reinterpret_cast<const uint8_t*>(clair.data()), clair.size());
    TFluxMemoireEcriture destination;
    try {
        c.ChiffrerFlux(source, destination);
    } catch (const EKOZException& e) {
        s.Echec = e.what();
    }
    s.Octets = destination.Contenu;
    s.Tirages = mots.Tirages;
    return s;
}

TSortie Litterale(TReferenceLitterale& r, const std::string& clair, uint32_t graine) {
    TSortie s;
    TMotsFixes mots(graine);
    try {
        r.ChiffrerMemoire(reinterpret_cast<const uint8_t*>(clair.data()), clair.size(), s.Octets);
    } catch (const EKOZException& e) {
        s.Echec = e.what();
    }
    s.Tirages = mots.Tirages;
    return s;
}

TSortie OctetParOctet(TKOZChiffre& c, const std::string& clair, uint32_t graine) {
    TSortie s;
    TMotsFixes mots(graine);
    TBlocChiffre bloc;
    try {
        for (char o : clair) {
            c.ChiffrerOctet(uint8_t(o), bloc);
            s.Octets.append(bloc.begin(), bloc.end());
        }
    } catch (const EKOZException& e) {
        s.Echec = e.what();
    }
    s.Tirages = mots.Tirages;
    return s;
}

// Where two outputs part, for a readable failure on long outputs.
std::string Ecart(const std::string& a, const std::string& b) {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    if (i == a.size() && i == b.size()) return "identical";
    return "first difference at byte " + std::to_string(i) + " of " + std::to_string(a.size()) + " / " +
           std::to_string(b.size());
}

std::string Etat(const TKOZGrille& g) {
    std::string s(reinterpret_cast<const char*>(g.Cases().data()), 256);
    s.append(reinterpret_cast<const char*>(g.Echange->Table.data()), 256);
    s.append(reinterpret_cast<const char*>(g.Permutations->Table.data()), sizeof g.Permutations->Table);
    return s;
}

std::string Etat(const TReferenceLitterale& r) {
    std::string s(reinterpret_cast<const char*>(r.Cases.data()), 256);
    s.append(reinterpret_cast<const char*>(r.Echange.data()), 256);
    s.append(reinterpret_cast<const char*>(r.Permutations.data()), sizeof r.Permutations);
    return s;
}

// Runs the three paths from c's current state under the words of graine and
// checks they agree in every respect; returns the fast path's output.
TSortie TroisChemins(TKOZChiffre& c, const std::string& clair, uint32_t graine) {
    TKOZChiffre jumeau, depart;
    CopierEtat(c, jumeau);
    CopierEtat(c, depart);
    TReferenceLitterale reference(c);

    const TSortie rapide = Rapide(c, clair, graine);
    const TSortie litterale = Litterale(reference, clair, graine);
    const TSortie octets = OctetParOctet(jumeau, clair, graine);

    EXPECT_TRUE(rapide.Octets == litterale.Octets) << "fast / literal: " << Ecart(rapide.Octets, litterale.Octets);
    EXPECT_TRUE(rapide.Octets == octets.Octets) << "fast / ChiffrerOctet: " << Ecart(rapide.Octets, octets.Octets);
    EXPECT_EQ(rapide.Echec, litterale.Echec);
    EXPECT_EQ(rapide.Echec, octets.Echec);
    EXPECT_EQ(rapide.Tirages, litterale.Tirages);
    EXPECT_EQ(rapide.Tirages, octets.Tirages);
    EXPECT_TRUE(Etat(c) == Etat(reference)) << "final states differ (fast / literal)";
    EXPECT_TRUE(Etat(c) == Etat(jumeau)) << "final states differ (fast / ChiffrerOctet)";

    if (rapide.Echec.empty()) {
        TKOZDechiffre dechiffre(depart);
        TFluxMemoireLecture source(reinterpret_cast<const uint8_t*>(rapide.Octets.data()), rapide.Octets.size());
        TFluxMemoireEcriture retour;
        dechiffre.DechiffrerFlux(source, retour, "essai.KOZ");
        EXPECT_TRUE(retour.Contenu == clair) << "decryption: " << Ecart(retour.Contenu, clair);
        EXPECT_TRUE(EtatsEgaux(dechiffre, c)) << "decryption reaches another state";
    }
    return rapide;
}

// The stream loops with the compiled evolution (true) or the loop one, on
// one thread or with the draws on a thread of their own (for every buffer,
// however short, and on a machine with one processor too).
struct EquivalenceChemins : ::testing::TestWithParam<std::tuple<bool, unsigned>> {
    void SetUp() override {
        const bool compilee = std::get<0>(GetParam());
        if (compilee && !TKOZGrille::EvolutionVectorielle())
            GTEST_SKIP() << "this processor has no AVX-512 byte permutes";
        Avant = TKOZGrille::AutoriserEvolutionVectorielle(compilee);
        FilsAvant = TKOZChiffre::ImposerFils(std::get<1>(GetParam()));
    }
    void TearDown() override {
        TKOZGrille::AutoriserEvolutionVectorielle(Avant);
        TKOZChiffre::ImposerFils(FilsAvant);
    }
    bool Avant = true;
    unsigned FilsAvant = 0;
};
INSTANTIATE_TEST_SUITE_P(Evolution, EquivalenceChemins,
                         ::testing::Combine(::testing::Values(true, false), ::testing::Values(1u, 2u)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) ? "avx512" : "portable") +
                                    (std::get<1>(info.param) == 2 ? "_two_threads" : "_one_thread");
                         });

// Random bytes, then long runs of one value (each run steers the grid through
// the same entry again and again) and every byte value in turn.
std::string Clair(size_t n, uint32_t graine) {
    std::string s = OctetsAleatoires(n, graine);
    for (int v = 0; v < 256; ++v) s += std::string(64, char(v));
    for (int k = 0; k < 16; ++k)
        for (int v = 0; v < 256; ++v) s += char(v);
    return s;
}

TEST_P(EquivalenceChemins, GeneratedStatesGiveTheSameBytesAndState) {
    for (uint32_t graine : {1u, 0xDEADBEEFu, 0x4B4F5A21u}) {
        SCOPED_TRACE(graine);
        TKOZChiffre c;
        const TSortie s = TroisChemins(c, Clair(200 * 1024, graine), graine);
        EXPECT_EQ(s.Echec, "");
        EXPECT_GE(s.Octets.size(), 2 * (200 * 1024 + 256 * 80));
    }
}

TEST_P(EquivalenceChemins, EmptySourceDrawsNothingAndLeavesTheState) {
    TKOZChiffre c;
    const std::string avant = Etat(c);
    const TSortie s = TroisChemins(c, "", 7);
    EXPECT_EQ(s.Octets, "");
    EXPECT_EQ(s.Tirages, 0u);
    EXPECT_TRUE(Etat(c) == avant);
}

TEST_P(EquivalenceChemins, SecureModeChangesNoByteOnAValidGrid) {
    TKOZChiffre c;
    c.ModeSecurise = true;
    const TSortie s = TroisChemins(c, Clair(16 * 1024, 3), 3);
    EXPECT_EQ(s.Echec, "");
}

// A state loaded from files may hold any bytes in the exchange and permutation
// tables. Entries of every odd kind: Sens other than 0 and 1, Longueur 0, 200
// and 255, segments running past column 15 or row 15, Rang and Debut beyond
// 15, identical and overlapping segments; the rest random bytes.
void EtatBizarre(TKOZChiffre& c, uint32_t graine) {
    std::mt19937 g(graine);
    TKOZGrille::TCases cases = GrilleIdentite();
    std::shuffle(cases.begin(), cases.end(), g);
    c.DefinirCases(cases);
    for (auto& e : c.Echange->Table) e = uint8_t(g() % 4 == 0 ? 7 : g());  // not a permutation
    const TPermutation bizarres[] = {
        {{2, 5, 3}, {0, 1, 1}, 10},         // Sens 2: every position is cell 0
        {{255, 0, 0}, {1, 4, 2}, 16},       // Sens 255 against a column
        {{0, 3, 3}, {1, 9, 0}, 0},          // Longueur 0: no exchange at all
        {{0, 15, 14}, {1, 3, 15}, 16},      // past cell 255 to cell 0; past row 15 to row 0
        {{0, 7, 0}, {0, 7, 1}, 200},        // overlapping by one cell, wrapping the whole grid
        {{1, 200, 250}, {0, 99, 77}, 255},  // Rang and Debut far beyond 15
        {{1, 6, 2}, {1, 6, 2}, 12},         // identical segments: nothing moves
        {{0, 2, 5}, {0, 2, 6}, 9},          // the shift along one row
        {{1, 0, 0}, {0, 0, 0}, 16},         // a column and a row crossing at cell 0
    };
    int k = 0;
    for (auto& p : c.Permutations->Table) {
        if (g() % 3 == 0) {
            uint8_t octets[7];
            for (auto& o : octets) o = uint8_t(g());
            std::memcpy(&p, octets, 7);
        } else {
            p = bizarres[k++ % std::size(bizarres)];
        }
    }
}

TEST_P(EquivalenceChemins, LoadedStatesWithOddEntriesGiveTheSameBytesAndState) {
    for (uint32_t graine : {11u, 12u}) {
        SCOPED_TRACE(graine);
        TKOZChiffre c;
        EtatBizarre(c, graine);
        const TSortie s = TroisChemins(c, Clair(160 * 1024, graine), graine);
        EXPECT_EQ(s.Echec, "");
    }
}

TEST_P(EquivalenceChemins, GridThatIsNoPermutationFailsAtTheSameByteWithTheSameOutput) {
    // Value 0x41 in two cells, 0x03 in none: the fast path searches the cells
    // as the literal one does, and both stop when the plain text reaches 0x03.
    TKOZChiffre c;
    EtatBizarre(c, 5);
    TKOZGrille::TCases cases = c.Cases();
    const auto p03 = std::find(cases.begin(), cases.end(), 0x03);
    *p03 = 0x41;
    c.DefinirCases(cases);
    std::string clair = OctetsAleatoires(40 * 1024, 5);
    for (char& o : clair)
        if (o == 0x03) o = 0x04;
    clair[30000] = 0x03;
    const TSortie s = TroisChemins(c, clair, 5);
    EXPECT_EQ(s.Echec, "La valeur cherchée n'est pas dans la grille");
    EXPECT_GE(s.Octets.size(), 2u * 30000);
    EXPECT_LE(s.Octets.size(), 4u * 30000);
}

TEST_P(EquivalenceChemins, SecureModeStopsAtTheFirstByteOnAGridThatIsNoPermutation) {
    // The check follows the first evolution: nothing is written, in either loop.
    TKOZChiffre c;
    TKOZGrille::TCases cases = GrilleIdentite();
    cases[3] = 0x41;
    c.DefinirCases(cases);
    c.ModeSecurise = true;
    TKOZChiffre jumeau;
    CopierEtat(c, jumeau);
    const std::string clair = "ABC";
    const TSortie rapide = Rapide(c, clair, 9);
    const TSortie octets = OctetParOctet(jumeau, clair, 9);
    EXPECT_EQ(rapide.Echec, "La grille n'est plus valide\r\n\r\nManquent = 03\r\nDoublons = 41");
    EXPECT_EQ(rapide.Echec, octets.Echec);
    EXPECT_EQ(rapide.Octets, "");
    EXPECT_EQ(rapide.Tirages, octets.Tirages);
    EXPECT_TRUE(Etat(c) == Etat(jumeau));
}

TEST(Equivalence, CipherPositionAnswersAsTheLinearSearchOnEveryValue) {
    // The cipher finds cells by comparing all 256 at once (AVX-512 form) or
    // through the inverse table (portable form): every value of many grids,
    // the register boundaries of the cells included, and grids the evolution
    // has shuffled. The portable form runs on every machine.
    for (const bool vectorielle : {false, true}) {
        if (vectorielle && TKOZGrille::FormeDuProcesseur() != TKOZGrille::TFormeRapide::Avx512) continue;
        SCOPED_TRACE(vectorielle ? "AVX-512 form" : "portable form");
        const bool avant = TKOZGrille::AutoriserEvolutionVectorielle(vectorielle);
        TKOZChiffre c;
        std::mt19937 g(17);
        TKOZGrille::TCases cases = GrilleIdentite();
        for (int essai = 0; essai < 200; ++essai) {
            std::shuffle(cases.begin(), cases.end(), g);
            c.DefinirCases(cases);
            for (int v = 0; v < 256; ++v) ASSERT_EQ(c.Position(uint8_t(v)), c.PositionLineaire(uint8_t(v)));
        }
        c.DefinirCases(GrilleIdentite());
        for (int v = 0; v < 256; ++v) ASSERT_EQ(c.Position(uint8_t(v)), v);
        const std::string clair = OctetsAleatoires(3000, 17);
        for (char o : clair) {
            c.Evoluer(uint8_t(o));
            for (int v = 0; v < 256; v += 5) ASSERT_EQ(c.Position(uint8_t(v)), c.PositionLineaire(uint8_t(v)));
        }
        TKOZGrille::AutoriserEvolutionVectorielle(avant);
    }
}

TEST(Equivalence, LiteralAdresseAndTheGridsAgreeOnEverySegment) {
    // Every Sens, Rang and Debut a byte can hold, at positions 0..255.
    for (int sens : {0, 1, 2, 255})
        for (int rang = 0; rang < 256; rang += 5)
            for (int debut = 0; debut < 256; debut += 3)
                for (int i = 0; i < 256; i += 7) {
                    const TSegment s{uint8_t(sens), uint8_t(rang), uint8_t(debut)};
                    ASSERT_EQ(TKOZGrille::Adresse(uint8_t(i), s), TReferenceLitterale::Adresse(uint8_t(i), s))
                        << "Sens " << sens << " Rang " << rang << " Debut " << debut << " i " << i;
                }
}

}  // namespace
