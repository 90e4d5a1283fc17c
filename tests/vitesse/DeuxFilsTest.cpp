// The encryption of a stream with its draws on a thread of their own,
// against the same stream on one thread and against ChiffrerOctet byte by
// byte: whatever stops it (the stop flag, a word source that fails, a read or
// a write that fails, a read that breaks the grid), the same bytes written,
// the same message, the same number of words drawn and the same state
// reached. And the draw thread on its own: records in order, nothing drawn
// beyond what was asked, and a clean end whatever it was doing.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "cipher/KOZChiffre.hpp"
#include "cipher/KOZTirages.hpp"
#include "tests/support/Fichiers.hpp"
#include "tests/support/Grilles.hpp"
#include "tests/support/Tirages.hpp"

namespace {

// A generator of its own seeded from one word, installed as the word source;
// counts its words, and may set a stop flag or fail once it has handed out
// a given number of them.
class TMotsPieges : public TSourceMots {
public:
    explicit TMotsPieges(uint32_t graine) {
        Generateur.Clear();
        Generateur.AddLong(graine);
        Generateur.Init();
        Precedente = DefinirSourceMots(this);
    }
    ~TMotsPieges() override { DefinirSourceMots(Precedente); }
    uint32_t Mot() override {
        if (EchecA && Tirages == EchecA) throw std::runtime_error("source de mots en panne");
        ++Tirages;
        if (ArretA && Tirages == ArretA) Arret->store(true);
        return Generateur.Next();
    }
    size_t Tirages = 0;
    size_t ArretA = 0;  // sets *Arret when this many words are out
    size_t EchecA = 0;  // fails when asked for one more than this many
    std::atomic<bool>* Arret = nullptr;

private:
    TIARand Generateur;
    TSourceMots* Precedente;
};

// A source that hands out its bytes Par at a time, may fail at a given read,
// and may put a duplicate value into a grid at a given read.
class TLectureEssai : public TFluxLecture {
public:
    TLectureEssai(const std::string& clair, size_t par) : Clair(clair), Par(par) {}
    size_t Lire(uint8_t* tampon, size_t n) override {
        ++Lectures;
        if (Lectures == EchecALecture) throw EKOZException("lecture en panne");
        if (Lectures == CasserALecture) Grille->DefinirCase(Grille->Position(0x5C), 0x5D);
        const size_t k = std::min({n, Par, Clair.size() - Lu});
        std::memcpy(tampon, Clair.data() + Lu, k);
        Lu += k;
        return k;
    }
    const std::string& Clair;
    size_t Par, Lu = 0, Lectures = 0;
    size_t EchecALecture = 0, CasserALecture = 0;
    TKOZGrille* Grille = nullptr;
};

// A destination that keeps what it is given and, like the fingerprinting
// one, puts work off: it copies each write into Rattrape at the next
// Rattraper or write, and may fail there at a given time.
class TEcritureEssai : public TFluxEcriture {
public:
    void Ecrire(const uint8_t* tampon, size_t n) override {
        Rattraper();
        if (++Ecritures == EchecAEcriture) throw EKOZException("écriture en panne");
        Contenu.append(reinterpret_cast<const char*>(tampon), n);
        EnAttente.assign(reinterpret_cast<const char*>(tampon), n);
    }
    void Rattraper() override {
        if (EnAttente.empty()) return;
        if (++Rattrapages == EchecARattrapage) throw EKOZException("travail différé en panne");
        Rattrape += EnAttente;
        EnAttente.clear();
    }
    std::string Contenu, Rattrape, EnAttente;
    size_t Ecritures = 0, EchecAEcriture = 0, Rattrapages = 0, EchecARattrapage = 0;
};

struct TIssue {
    std::string Octets, Echec, Etat, Rattrape;
    size_t Tirages = 0;
};

std::string Etat(const TKOZGrille& g) {
    std::string s(reinterpret_cast<const char*>(g.Cases().data()), 256);
    s.append(reinterpret_cast<const char*>(g.Echange->Table.data()), 256);
    s.append(reinterpret_cast<const char*>(g.Permutations->Table.data()), sizeof g.Permutations->Table);
    return s;
}

// What a scenario gives with fils threads, from a copy of depart.
struct TScenario {
    std::string Clair;
    size_t Par = kTailleTamponClair;
    size_t ArretA = 0, EchecMotA = 0, EchecLecture = 0, CasserLecture = 0, EchecEcriture = 0, EchecRattrapage = 0;
    bool Securise = false;

    TIssue Jouer(const TKOZChiffre& depart, unsigned fils) const {
        const unsigned avant = TKOZChiffre::ImposerFils(fils);
        TKOZChiffre c;
        CopierEtat(depart, c);
        c.ModeSecurise = Securise;
        std::atomic<bool> arret{false};
        TSuivi suivi;
        suivi.Arret = &arret;
        TIssue r;
        {
            TMotsPieges mots(0xC0FFEEu);
            mots.ArretA = ArretA;
            mots.EchecA = EchecMotA;
            mots.Arret = &arret;
            TLectureEssai source(Clair, Par);
            source.EchecALecture = EchecLecture;
            source.CasserALecture = CasserLecture;
            source.Grille = &c;
            TEcritureEssai destination;
            destination.EchecAEcriture = EchecEcriture;
            destination.EchecARattrapage = EchecRattrapage;
            try {
                c.ChiffrerFlux(source, destination, &suivi);
                destination.Rattraper();  // as closing the destination would
            } catch (const std::exception& e) {
                r.Echec = e.what();
            }
            r.Octets = destination.Contenu;
            r.Rattrape = destination.Rattrape;
            r.Tirages = mots.Tirages;
        }
        r.Etat = Etat(c);
        TKOZChiffre::ImposerFils(avant);
        return r;
    }
};

// Both ways agree in every respect; returns the two-thread one.
TIssue Comparer(const TScenario& s, const TKOZChiffre& depart) {
    const TIssue un = s.Jouer(depart, 1);
    const TIssue deux = s.Jouer(depart, 2);
    EXPECT_EQ(deux.Echec, un.Echec);
    EXPECT_EQ(deux.Tirages, un.Tirages);
    EXPECT_EQ(deux.Octets.size(), un.Octets.size());
    EXPECT_TRUE(deux.Octets == un.Octets) << "bytes written differ";
    EXPECT_TRUE(deux.Etat == un.Etat) << "states reached differ";
    EXPECT_TRUE(deux.Rattrape == un.Rattrape) << "work put off differs";
    return deux;
}

// ChiffrerOctet on the first n bytes under the same words: the bytes, the
// words drawn and the state.
TIssue OctetParOctet(const TKOZChiffre& depart, const std::string& clair, size_t n) {
    TKOZChiffre c;
    CopierEtat(depart, c);
    TIssue r;
    TMotsPieges mots(0xC0FFEEu);
    TBlocChiffre bloc;
    for (size_t i = 0; i < n; ++i) {
        c.ChiffrerOctet(uint8_t(clair[i]), bloc);
        r.Octets.append(bloc.begin(), bloc.end());
    }
    r.Tirages = mots.Tirages;
    r.Etat = Etat(c);
    return r;
}

struct DeuxFils : ::testing::Test {
    TKOZChiffre depart;
    const std::string clair = OctetsAleatoires(3 * kTailleTamponClair + 12345, 21);
};

TEST_F(DeuxFils, WholeStreamsAgreeWithTheByteByByteCipher) {
    for (size_t par : {size_t(1), size_t(7), size_t(5000), kTailleTamponClair}) {
        SCOPED_TRACE(par);
        TScenario s;
        s.Clair = par < 100 ? clair.substr(0, 3000) : clair;
        s.Par = par;
        const TIssue deux = Comparer(s, depart);
        const TIssue ref = OctetParOctet(depart, s.Clair, s.Clair.size());
        EXPECT_EQ(deux.Echec, "");
        EXPECT_TRUE(deux.Octets == ref.Octets);
        EXPECT_EQ(deux.Tirages, ref.Tirages);
        EXPECT_TRUE(deux.Etat == ref.Etat);
    }
}

TEST_F(DeuxFils, StopSeenBeforeTheNextByteLeavesTheBytesDrawnBefore) {
    // The flag goes up while a byte draws its words, in the first buffer,
    // in the middle of a later one, and on a buffer's last byte: the stop
    // comes before the next byte, which draws nothing.
    for (size_t mots : {size_t(1), size_t(5), size_t(400000), size_t(600001)}) {
        SCOPED_TRACE(mots);
        TScenario s;
        s.Clair = clair;
        s.ArretA = mots;
        const TIssue deux = Comparer(s, depart);
        EXPECT_EQ(deux.Echec, "Chiffrement interrompu");
        EXPECT_GE(deux.Tirages, mots);
        EXPECT_LE(deux.Tirages, mots + 8) << "no byte after the one that raised the flag";
        // The output is that of the bytes whose words were drawn.
        TKOZChiffre c;
        CopierEtat(depart, c);
        TMotsPieges m(0xC0FFEEu);
        std::string attendu;
        TBlocChiffre bloc;
        size_t k = 0;
        while (m.Tirages < deux.Tirages) {
            c.ChiffrerOctet(uint8_t(clair[k++]), bloc);
            attendu.append(bloc.begin(), bloc.end());
        }
        EXPECT_EQ(m.Tirages, deux.Tirages) << "the stop falls between two bytes";
        EXPECT_TRUE(deux.Octets == attendu);
        EXPECT_TRUE(deux.Etat == Etat(c));
    }
}

TEST_F(DeuxFils, FailingWordSourceEndsWithItsMessageAndTheBytesBefore) {
    for (size_t mots : {size_t(0), size_t(3), size_t(250000)}) {
        SCOPED_TRACE(mots);
        TScenario s;
        s.Clair = clair;
        s.EchecMotA = mots ? mots : 1;
        const TIssue deux = Comparer(s, depart);
        EXPECT_EQ(deux.Echec, "source de mots en panne");
        EXPECT_EQ(deux.Tirages, s.EchecMotA);
    }
}

// A run that failed with message: its draws and the state it reached are
// those of the byte-by-byte cipher over the first tires buffers, its output
// that of the first ecrits.
void ArreteApres(const TIssue& r, const std::string& message, const TKOZChiffre& depart, const std::string& clair,
                 size_t tires, size_t ecrits) {
    EXPECT_EQ(r.Echec, message);
    const TIssue ref = OctetParOctet(depart, clair, tires * kTailleTamponClair);
    EXPECT_EQ(r.Tirages, ref.Tirages) << "buffers drawn";
    EXPECT_TRUE(r.Etat == ref.Etat);
    EXPECT_TRUE(r.Octets == OctetParOctet(depart, clair, ecrits * kTailleTamponClair).Octets) << "buffers written";
}

TEST_F(DeuxFils, ReadAndWriteFailuresDrawNothingBeyondTheBuffersDone) {
    TScenario lecture;
    lecture.Clair = clair;
    lecture.EchecLecture = 3;
    ArreteApres(Comparer(lecture, depart), "lecture en panne", depart, clair, 2, 2);

    // The draw thread does not start the third buffer.
    TScenario ecriture;
    ecriture.Clair = clair;
    ecriture.EchecEcriture = 2;
    ArreteApres(Comparer(ecriture, depart), "écriture en panne", depart, clair, 2, 1);
}

TEST_F(DeuxFils, WorkPutOffByTheDestinationIsDoneInOrderAndItsFailureEndsTheRun) {
    TScenario s;
    s.Clair = clair;
    const TIssue tout = Comparer(s, depart);
    EXPECT_EQ(tout.Echec, "");
    EXPECT_TRUE(tout.Rattrape == tout.Octets) << "every write's put-off work, in order";

    // The work of the second buffer fails while the third is encrypted: the
    // run stops there, the third buffer drawn and never written.
    s.EchecRattrapage = 2;
    const TIssue e = Comparer(s, depart);
    ArreteApres(e, "travail différé en panne", depart, clair, 3, 2);
    EXPECT_TRUE(e.Rattrape == OctetParOctet(depart, clair, kTailleTamponClair).Octets);
}

TEST_F(DeuxFils, GridBrokenByAReadFailsAsOnOneThread) {
    // From the third read on, 0x5D is in two cells and 0x5C in none.
    for (bool securise : {false, true}) {
        SCOPED_TRACE(securise);
        TScenario s;
        s.Clair = clair;
        s.CasserLecture = 3;
        s.Securise = securise;
        const TIssue deux = Comparer(s, depart);
        if (securise)
            EXPECT_EQ(deux.Echec, "La grille n'est plus valide\r\n\r\nManquent = 5C\r\nDoublons = 5D");
        else
            EXPECT_EQ(deux.Echec, "La valeur cherchée n'est pas dans la grille");
        EXPECT_GE(deux.Octets.size(), 2 * 2 * kTailleTamponClair);
    }
}

TEST_F(DeuxFils, SecureModeOnAValidGridAgrees) {
    TScenario s;
    s.Clair = clair.substr(0, 100000);
    s.Securise = true;
    EXPECT_EQ(Comparer(s, depart).Echec, "");
}

TEST(Tireur, RecordsComeInOrderAndNothingIsDrawnBeyondTheAsked) {
    TTiragesScriptes t;
    // Slot 4 (Suite) then its direction, then slot 0 (Croix) and its two.
    for (int k = 0; k < 3000; ++k)
        for (uint32_t w : {4u, 1u, 0u, 13u, 2u}) t.Ajouter(w);
    TTireur tireur(nullptr);
    size_t recus = 0;
    for (size_t lot : {size_t(1), size_t(999), size_t(5000)}) {
        ASSERT_NO_FATAL_FAILURE(Recevoir(tireur, lot, [&](const TTirage& r) {
            if (recus % 2 == 0) {
                EXPECT_EQ(r.Longueur, 3) << recus;
                EXPECT_EQ(r.Decalages[1], 0x01);
                EXPECT_EQ(r.Decalages[2], 0x02);
            } else {
                // 14 columns right, 3 rows down.
                EXPECT_EQ(r.Longueur, 2) << recus;
                EXPECT_EQ(r.Decalages[0], 0x0E);
                EXPECT_EQ(r.Decalages[1], 0x30);
            }
            ++recus;
            return !::testing::Test::HasFailure();
        }));
        ASSERT_FALSE(HasFailure());
        // 2 words for a Suite, 3 for a Croix.
        EXPECT_EQ(t.Tirages, recus / 2 * 5 + (recus % 2) * 2);
    }
}

TEST(Tireur, EndsCleanlyWhileDrawingOrWaitingForRoom) {
    TMotsPieges mots(5);
    for (int essai = 0; essai < 20; ++essai) {
        TTireur tireur(nullptr);
        tireur.Demander(10 * TTireur::kTaille);  // more than the ring holds
        const TTirage* r = nullptr;
        ASSERT_GT(tireur.Attendre(r), 0u);
        ASSERT_GE(r->Longueur, 2);
        ASSERT_LE(r->Longueur, 4);
    }
    EXPECT_GE(mots.Tirages, 20u * 2);
    const size_t apres = mots.Tirages;
    { TTireur inactif(nullptr); }
    EXPECT_EQ(mots.Tirages, apres) << "a thread asked for nothing draws nothing";
}

TEST(Tireur, StopFlagSetBeforeAnyByteDrawsNothing) {
    TMotsPieges mots(6);
    std::atomic<bool> arret{true};
    TSuivi suivi;
    suivi.Arret = &arret;
    TTireur tireur(&suivi);
    tireur.Demander(100);
    const TTirage* r = nullptr;
    EXPECT_EQ(tireur.Attendre(r), 0u);
    EXPECT_THROW(tireur.Relancer(), EKOZInterruption);
    EXPECT_EQ(mots.Tirages, 0u);
}

TEST(Tireur, APieceHandedOverIsDoneOnceBeforeAcheverAndItsFailureComesBack) {
    TMotsPieges mots(7);
    TTireur tireur(nullptr);
    // Done by whichever thread has time: the thread with nothing asked or its
    // ring full, the caller finding nothing to apply, or Achever itself.
    for (int essai = 0; essai < 300; ++essai) {
        std::atomic<int> fois{0};
        const size_t demande = essai % 3 == 0 ? 0 : essai % 3 == 1 ? 7 : 3 * TTireur::kTaille;
        if (demande) tireur.Demander(demande);
        tireur.Confier([&] { fois.fetch_add(1); });
        size_t pris = 0;
        const TTirage* r = nullptr;
        // Half the rounds apply everything before Achever, half after.
        if (essai % 2)
            while (pris < demande) {
                const size_t k = tireur.Attendre(r);
                ASSERT_GT(k, 0u);
                tireur.Rendre(k);
                pris += k;
            }
        tireur.Achever();
        ASSERT_EQ(fois.load(), 1) << essai;
        while (pris < demande) {
            const size_t k = tireur.Attendre(r);
            ASSERT_GT(k, 0u);
            tireur.Rendre(k);
            pris += k;
        }
        tireur.Achever();  // nothing handed over: returns at once
        ASSERT_EQ(fois.load(), 1) << essai;
    }
    tireur.Confier([] { throw EKOZException("échec du travail confié"); });
    try {
        tireur.Achever();
        ADD_FAILURE() << "the failure of the piece was lost";
    } catch (const EKOZException& e) {
        EXPECT_STREQ(e.what(), "échec du travail confié");
    }
    EXPECT_NO_THROW(tireur.Achever()) << "a failure is raised once";
    // A piece still pending when the thread is stopped does not hold it up.
    TTireur occupe(nullptr);
    occupe.Demander(100 * TTireur::kTaille);
    occupe.Confier([] {});
}

}  // namespace
