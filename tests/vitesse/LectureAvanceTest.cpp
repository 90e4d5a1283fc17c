// The draws read ahead from the shared generator: the decoding of a byte
// from words known in advance against DUnOctet one word at a time, and the
// draw thread on the generator itself against the one-thread loop.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <vector>

#include "cipher/KOZChiffre.hpp"
#include "cipher/KOZTirages.hpp"
#include "random/IARand.hpp"
#include "tests/support/Fichiers.hpp"
#include "tests/support/Grilles.hpp"
#include "tests/support/Tirages.hpp"

namespace {

bool Egaux(const TTirage& a, const TTirage& b) {
    return a.Longueur == b.Longueur && std::memcmp(a.Decalages, b.Decalages, 4) == 0;
}

// DUnOctet over words, and how many it took; 0 when it would need more
// than the n given.
koz_tirages::TLecture Reference(const std::vector<uint32_t>& mots, size_t debut, uint32_t n) {
    size_t i = debut;
    auto mot = [&] { return i < mots.size() ? mots[i++] : (i++, 0u); };
    const TTirage t = koz_tirages::DUnOctet(mot);
    const uint32_t pris = uint32_t(i - debut);
    if (pris > n) return {{}, 0};
    return {t, pris};
}

// Lire at every position of mots with n words known, against Reference.
void Comparer(const std::vector<uint32_t>& mots, uint32_t n) {
    std::vector<uint32_t> lisibles(mots);
    lisibles.resize(mots.size() + n + 8, 0xFFFFFFFFu);  // readable, never used
    for (size_t debut = 0; debut + n <= mots.size(); ++debut) {
        const auto lu = koz_tirages::Lire([&](uint32_t k) { return lisibles[debut + k]; }, n);
        const auto attendu = Reference(mots, debut, n);
        ASSERT_EQ(lu.Mots, attendu.Mots) << "at " << debut << " with " << n << " words known";
        if (lu.Mots) ASSERT_TRUE(Egaux(lu.Tirage, attendu.Tirage)) << "at " << debut;
    }
}

TEST(LectureAvance, DecodesEveryByteAsDUnOctetWithTheWordsItKnows) {
    std::mt19937 alea(17);
    std::vector<uint32_t> mots(20000);
    for (auto& m : mots) m = alea();
    for (uint32_t n : {512u, 9u, 6u, 4u, 3u, 2u, 1u, 0u}) Comparer(mots, n);

    // VoisinsDoubles drawing its second value again and again: runs of 0 to
    // 300 words in the first value's pair, then one out of it; and the
    // other slots with such runs after their own words.
    std::vector<uint32_t> suites;
    for (uint32_t slot = 0; slot < 5; ++slot)
        for (uint32_t longueur = 0; longueur <= 300; longueur += longueur < 12 ? 1 : 37)
            for (uint32_t premier = 0; premier < 4; ++premier) {
                suites.push_back(slot + 5 * alea());
                suites.push_back(premier + 4 * alea());
                for (uint32_t k = 0; k < longueur; ++k) suites.push_back(((premier & 2) | (alea() & 1)) + 4 * alea());
                suites.push_back(((premier & 2) ^ 2) + 4 * alea());
                suites.push_back(alea());
            }
    for (uint32_t n : {512u, 300u, 40u, 7u, 5u}) Comparer(suites, n);
}

// A generator seeded from one word, as the shared one is below.
void Semer(TIARand& g, uint32_t graine) {
    g.Clear();
    g.AddLong(graine);
    g.Init();
}

std::string EtatGenerateur(const TIARand& g) {
    std::string s;
    for (int i = 0; i < 256; ++i) {
        const uint32_t m[2] = {g.Resultat(i), g.Memoire(i)};
        s.append(reinterpret_cast<const char*>(m), sizeof m);
    }
    const int32_t fin[2] = {g.Restants(), int32_t(g.Accumulateur())};
    s.append(reinterpret_cast<const char*>(fin), sizeof fin);
    return s;
}

// The shared generator seeded for a test and reseeded after it.
struct SurLeGenerateur : ::testing::Test {
    ~SurLeGenerateur() override { GlobalRand->Reseed(); }
};

TEST_F(SurLeGenerateur, DrawThreadOnTheGeneratorDrawsAndLeavesItAsOneWordAtATime) {
    for (uint32_t graine : {1u, 2u, 0xC0FFEEu}) {
        Semer(*GlobalRand, graine);
        TIARand jumeau;
        Semer(jumeau, graine);
        auto mot = [&jumeau] { return jumeau.Next(); };
        TTireur tireur(nullptr);
        size_t recus = 0;
        // Lots that end anywhere in a pass, on its last word, or span many.
        for (size_t lot : {size_t(1), size_t(2), size_t(79), size_t(80), size_t(81), size_t(255), size_t(1000),
                           size_t(3 * TTireur::kTaille + 17), size_t(1), size_t(64 * 1024)}) {
            ASSERT_NO_FATAL_FAILURE(Recevoir(tireur, lot, [&](const TTirage& t) {
                EXPECT_TRUE(Egaux(t, koz_tirages::DUnOctet(mot))) << "byte " << recus << ", seed " << graine;
                ++recus;
                return !::testing::Test::HasFailure();
            }));
            ASSERT_FALSE(HasFailure());
            // The caller sees the generator where one thread would leave it.
            ASSERT_EQ(EtatGenerateur(*GlobalRand), EtatGenerateur(jumeau)) << "after " << recus << " bytes";
        }
    }
}

TEST_F(SurLeGenerateur, StopSeenOnTheGeneratorLeavesItAfterTheLastByteMade) {
    Semer(*GlobalRand, 9);
    TIARand jumeau;
    Semer(jumeau, 9);
    std::atomic<bool> arret{false};
    TSuivi suivi;
    suivi.Arret = &arret;
    TTireur tireur(&suivi);
    tireur.Demander(1000000);
    size_t recus = 0;
    auto mot = [&jumeau] { return jumeau.Next(); };
    for (;;) {
        const TTirage* r = nullptr;
        const size_t k = tireur.Attendre(r);
        if (k == 0) break;
        for (size_t j = 0; j < k; ++j, ++recus) ASSERT_TRUE(Egaux(r[j], koz_tirages::DUnOctet(mot)));
        tireur.Rendre(k);
        if (recus > 20000) arret = true;
    }
    EXPECT_THROW(tireur.Relancer(), EKOZInterruption);
    EXPECT_LT(recus, 1000000u);
    EXPECT_EQ(EtatGenerateur(*GlobalRand), EtatGenerateur(jumeau)) << "after " << recus << " bytes";
}

// Reads of the sizes given in turn: long ones go to the draw thread where
// two processors are there, short ones are drawn on the caller's thread.
class TLecturesVariees : public TFluxLecture {
public:
    TLecturesVariees(const std::string& clair, std::vector<size_t> tailles) : Clair(clair), Tailles(std::move(tailles)) {}
    size_t Lire(uint8_t* tampon, size_t n) override {
        const size_t k = std::min({n, Tailles[Lectures++ % Tailles.size()], Clair.size() - Lu});
        std::memcpy(tampon, Clair.data() + Lu, k);
        Lu += k;
        return k;
    }
    const std::string& Clair;
    std::vector<size_t> Tailles;
    size_t Lu = 0, Lectures = 0;
};

class TEcritureChaine : public TFluxEcriture {
public:
    void Ecrire(const uint8_t* tampon, size_t n) override { Contenu.append(reinterpret_cast<const char*>(tampon), n); }
    std::string Contenu;
};

TEST_F(SurLeGenerateur, BuffersOnOneThreadBetweenBuffersOnTwoDrawTheSameWords) {
    const std::string clair = OctetsAleatoires(300000, 5);
    TKOZChiffre depart;
    std::string octets[2], etats[2];
    for (unsigned fils : {1u, 0u}) {
        const unsigned avant = TKOZChiffre::ImposerFils(fils);
        Semer(*GlobalRand, 77);
        TKOZChiffre c;
        CopierEtat(depart, c);
        TLecturesVariees source(clair, {70000, 100, 9000, 1, 4095, 4096, 30000});
        TEcritureChaine destination;
        c.ChiffrerFlux(source, destination);
        octets[fils] = destination.Contenu;
        etats[fils] = EtatGenerateur(*GlobalRand);
        TKOZChiffre::ImposerFils(avant);
    }
    EXPECT_TRUE(octets[0] == octets[1]) << "bytes differ";
    EXPECT_TRUE(etats[0] == etats[1]) << "generator states differ";
}

}  // namespace
