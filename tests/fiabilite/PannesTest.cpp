// Faults planted in the platform layer during a whole encrypt or decrypt
// command: for each, the message, the files left and their exact content.
//
// The draws are made reproducible, so a run without the fault in another
// directory gives the bytes the faulty run would have written.

#include <gtest/gtest.h>

#include <cerrno>

#include "Outils.hpp"
#include "cipher/KOZChiffre.hpp"
#include "state/KOZGrille.hpp"
#include "commande/UKOZChiffre.hpp"
#include "commande/UKOZDechiffre.hpp"
#include "tests/support/PlateformeFautive.hpp"

using namespace fiabilite;

namespace {

class PanneChiffrement : public ::testing::Test {
protected:
    void SetUp() override {
        Clair = OctetsAleatoires(3 * kTailleTamponClair + 1234, 77);
        EcrireFichier(T / "a.txt", Clair);
        // The same run without any fault.
        EcrireFichier(R / "a.txt", Clair);
        TMotsReproductibles mots;
        LancerChiffrement(R / "a.txt", R / "a.KOZ", "", false);
        Chiffre = LireFichier(R / "a.KOZ");
    }
    // The faulty run, with the same draws as the reference.
    std::string Lancer() {
        TMotsReproductibles mots;
        return MessageLeve([&] { LancerChiffrement(T / "a.txt", T / "a.KOZ", "", false); });
    }
    std::string Debut() const { return Trio(R.Dir(), "DEBUT"); }

    TRepertoireTemporaire T, R;
    std::string Clair, Chiffre;
};

// An older run in the same directory: its trios stay as they were, except
// the files the new run had written before the fault.
class PanneTrioDebut : public PanneChiffrement, public ::testing::WithParamInterface<int> {};

TEST_P(PanneTrioDebut, CreateFailingForALaterFileOfDebutStopsBeforeTheDestination) {
    const int echec = GetParam();  // 2: DEBUT.KEC, 3: DEBUT.KPR
    EcrireFichier(T / "ancien.txt", "chiffré plus tôt");
    LancerChiffrement(T / "ancien.txt", T / "ancien.KOZ", "", false);
    const std::string ancienDebut = Trio(T.Dir(), "DEBUT"), ancienneFin = Trio(T.Dir(), "FIN-CHIFFRE");
    const std::string nouveau = Debut();

    TPlateformeFautive fautive;
    fautive.CreationEnEchec = echec;
    const char* ext = echec == 2 ? "DEBUT.KEC" : "DEBUT.KPR";
    EXPECT_EQ(Lancer(), MessageCreation(T / ext, TexteErreur(ENOSPC)));

    EXPECT_EQ(Contenu(T.Chemin),
              AvecTrio(AvecTrio({"a.txt", "ancien.txt", "ancien.KOZ"}, "DEBUT"), "FIN-CHIFFRE"));
    // Files written in order up to the fault; the later ones untouched.
    const size_t neufs = echec == 2 ? 256 : 512;
    EXPECT_TRUE(Trio(T.Dir(), "DEBUT") == nouveau.substr(0, neufs) + ancienDebut.substr(neufs));
    EXPECT_TRUE(Trio(T.Dir(), "FIN-CHIFFRE") == ancienneFin);
    EXPECT_TRUE(LireFichier(T / "a.txt") == Clair);
}
INSTANTIATE_TEST_SUITE_P(DeuxiemeEtTroisieme, PanneTrioDebut, ::testing::Values(2, 3));

TEST_F(PanneChiffrement, ReadFailingPartWayKeepsExactlyTheBlocksOfTheBytesRead) {
    const size_t lus = 2 * kTailleTamponClair + 4321;
    TPlateformeFautive fautive;
    fautive.SeulementPour = "a.txt";
    fautive.LectureEchoueApres = int64_t(lus);
    EXPECT_EQ(Lancer(), MessageLecture(T / "a.txt", TexteErreur(EIO)));

    EXPECT_EQ(Contenu(T.Chemin), AvecTrio({"a.txt", "a.KOZ"}, "DEBUT"));
    EXPECT_TRUE(Trio(T.Dir(), "DEBUT") == Debut());
    const std::string ecrit = LireFichier(T / "a.KOZ");
    EXPECT_TRUE(Chiffre.compare(0, ecrit.size(), ecrit) == 0) << "not a prefix of the full output";
    const TRelecture r = Relire(T / "a.KOZ", T.Dir(), "DEBUT");
    EXPECT_EQ(r.Erreur, "");
    EXPECT_EQ(r.Clair.size(), lus);
    EXPECT_TRUE(r.Clair == Clair.substr(0, lus));
}

// A write that fails outright stores nothing of its buffer; a short one
// stores the first bytes of it.
class PanneEcriture : public PanneChiffrement, public ::testing::WithParamInterface<bool> {};

TEST_P(PanneEcriture, WriteFailingPartWayKeepsWhatWasStoredAndNoFinalState) {
    const bool courte = GetParam();
    const size_t limite = 5 * kTailleTamponClair + 17;
    TPlateformeFautive fautive;
    fautive.SeulementPour = "a.KOZ";
    fautive.EcritureEchoueApres = int64_t(limite);
    fautive.EcritureCourte = courte;
    EXPECT_EQ(Lancer(), MessageEcriture(T / "a.KOZ", TexteErreur(ENOSPC)));

    EXPECT_EQ(Contenu(T.Chemin), AvecTrio({"a.txt", "a.KOZ"}, "DEBUT"));
    EXPECT_TRUE(Trio(T.Dir(), "DEBUT") == Debut());
    const std::string ecrit = LireFichier(T / "a.KOZ");
    const TRelecture r = Relire(T / "a.KOZ", T.Dir(), "DEBUT");
    EXPECT_TRUE(Clair.compare(0, r.Clair.size(), r.Clair) == 0);
    if (courte) {
        EXPECT_TRUE(ecrit == Chiffre.substr(0, limite));
    } else {
        // Whole buffers only: the blocks of a whole number of buffers of plain bytes.
        EXPECT_LE(ecrit.size(), limite);
        EXPECT_TRUE(Chiffre.compare(0, ecrit.size(), ecrit) == 0);
        EXPECT_EQ(r.Erreur, "");
        EXPECT_GT(r.Clair.size(), 0u);
        EXPECT_EQ(r.Clair.size() % kTailleTamponClair, 0u);
    }
}
INSTANTIATE_TEST_SUITE_P(EchecEtEcritureCourte, PanneEcriture, ::testing::Bool());

TEST_F(PanneChiffrement, CloseFailingOnTheDestinationReportsItAndWritesNoFinalState) {
    TPlateformeFautive fautive;
    fautive.SeulementPour = "a.KOZ";
    fautive.FermetureEchoue = true;
    EXPECT_EQ(Lancer(), MessageEcriture(T / "a.KOZ", TexteErreur(EIO)));
    EXPECT_EQ(Contenu(T.Chemin), AvecTrio({"a.txt", "a.KOZ"}, "DEBUT"));
    EXPECT_TRUE(LireFichier(T / "a.KOZ") == Chiffre);
}

TEST_F(PanneChiffrement, CloseFailingOnTheFirstStateFileStopsTheRun) {
    TPlateformeFautive fautive;
    fautive.SeulementPour = "DEBUT.KGR";
    fautive.FermetureEchoue = true;
    EXPECT_EQ(Lancer(), MessageEcriture(T / "DEBUT.KGR", TexteErreur(EIO)));
    EXPECT_EQ(Contenu(T.Chemin), (std::set<std::string>{"a.txt", "DEBUT.KGR"}));
    EXPECT_TRUE(LireFichier(T / "DEBUT.KGR") == LireFichier(R / "DEBUT.KGR"));
}

// The destination is complete; FIN-CHIFFRE stops at the failing file, and
// what it holds can never be taken for a whole state.
TEST_F(PanneChiffrement, FailureWhileSavingTheFinalStateNamesTheFileAndKeepsTheDestination) {
    {
        TPlateformeFautive fautive;
        fautive.SeulementPour = "FIN-CHIFFRE.KEC";
        fautive.EcritureEchoueApres = 100;
        fautive.EcritureCourte = true;
        EXPECT_EQ(Lancer(), MessageEcriture(T / "FIN-CHIFFRE.KEC", TexteErreur(ENOSPC)));
    }
    EXPECT_EQ(Contenu(T.Chemin), AvecTrio({"a.txt", "a.KOZ", "FIN-CHIFFRE.KGR", "FIN-CHIFFRE.KEC"}, "DEBUT"));
    EXPECT_TRUE(LireFichier(T / "a.KOZ") == Chiffre);
    EXPECT_TRUE(LireFichier(T / "FIN-CHIFFRE.KGR") == LireFichier(R / "FIN-CHIFFRE.KGR"));
    EXPECT_TRUE(LireFichier(T / "FIN-CHIFFRE.KEC") == LireFichier(R / "FIN-CHIFFRE.KEC").substr(0, 100));
    const TRelecture r = Relire(T / "a.KOZ", T.Dir(), "DEBUT");
    EXPECT_EQ(r.Erreur, "");
    EXPECT_TRUE(r.Clair == Clair);

    TKOZGrille g;
    EXPECT_EQ(MessageLeve([&] { g.Charger(T.Dir(), "FIN-CHIFFRE"); }),
              "Le fichier d'état \"" + (T / "FIN-CHIFFRE.KEC") + "\" est trop court : 100 octets au lieu de 256");
}

TEST_F(PanneChiffrement, CreateFailingForTheLastFinalStateFile) {
    {
        TPlateformeFautive fautive;
        fautive.CreationEnEchec = 7;  // DEBUT x3, the destination, FIN-CHIFFRE.KGR, .KEC, then .KPR
        EXPECT_EQ(Lancer(), MessageCreation(T / "FIN-CHIFFRE.KPR", TexteErreur(ENOSPC)));
    }
    EXPECT_EQ(Contenu(T.Chemin), AvecTrio({"a.txt", "a.KOZ", "FIN-CHIFFRE.KGR", "FIN-CHIFFRE.KEC"}, "DEBUT"));
    EXPECT_TRUE(LireFichier(T / "a.KOZ") == Chiffre);
    EXPECT_TRUE(Trio(T.Dir(), "FIN-CHIFFRE") == Trio(R.Dir(), "FIN-CHIFFRE").substr(0, 512));
}

// ---------------------------------------------------------------- decryption

class PanneDechiffrement : public ::testing::Test {
protected:
    void SetUp() override {
        Clair = OctetsAleatoires(2 * kTailleTamponClair + 999, 78);
        EcrireFichier(T / "a.txt", Clair);
        LancerChiffrement(T / "a.txt", T / "a.KOZ", "", false);
        Chiffre = LireFichier(T / "a.KOZ");
        Avant = Contenu(T.Chemin);
    }
    TDechiffrement Commande() const {
        TDechiffrement d;
        d.Fichiers = {{T / "a.KOZ", T / "a.clair"}};
        d.Grille = T / "DEBUT.KGR";
        d.Fin = T / "FIN-CHIFFRE.KGR";
        d.SauverFin = T / "ATTEINT";
        return d;
    }
    std::string Lancer() {
        return MessageLeve([&] { LancerDechiffrement(Commande()); });
    }
    // The plain bytes of the complete blocks among the first n encrypted bytes.
    std::string ClairDesPremiers(size_t n) {
        EcrireFichier(T / "tronque.tmp", Chiffre.substr(0, n));
        const std::string clair = Relire(T / "tronque.tmp", T.Dir(), "DEBUT").Clair;
        std::filesystem::remove(T / "tronque.tmp");
        return clair;
    }

    TRepertoireTemporaire T;
    std::string Clair, Chiffre;
    std::set<std::string> Avant;
};

TEST_F(PanneDechiffrement, OutputThatCannotBeCreatedLeavesNothing) {
    TPlateformeFautive fautive;
    fautive.CreationEnEchec = 1;
    EXPECT_EQ(Lancer(), MessageCreation(T / "a.clair", TexteErreur(ENOSPC)));
    EXPECT_EQ(Contenu(T.Chemin), Avant);
}

TEST_F(PanneDechiffrement, ReadFailingPartWayKeepsThePlainBytesOfTheWholeBlocksRead) {
    const size_t lus = 3 * kTailleTamponClair + 3;
    TPlateformeFautive fautive;
    fautive.SeulementPour = "a.KOZ";
    fautive.LectureEchoueApres = int64_t(lus);
    EXPECT_EQ(Lancer(), MessageLecture(T / "a.KOZ", TexteErreur(EIO)));
    std::set<std::string> apres = Avant;
    apres.insert("a.clair");
    EXPECT_EQ(Contenu(T.Chemin), apres);
    const std::string attendu = ClairDesPremiers(lus);
    EXPECT_GT(attendu.size(), lus / 4);
    EXPECT_TRUE(LireFichier(T / "a.clair") == attendu);
    EXPECT_TRUE(LireFichier(T / "a.KOZ") == Chiffre);
}

class PanneEcritureClair : public PanneDechiffrement, public ::testing::WithParamInterface<bool> {};

TEST_P(PanneEcritureClair, WriteFailingPartWayKeepsAPrefixOfThePlainFile) {
    const bool courte = GetParam();
    const size_t limite = kTailleTamponClair + 11;
    TPlateformeFautive fautive;
    fautive.SeulementPour = "a.clair";
    fautive.EcritureEchoueApres = int64_t(limite);
    fautive.EcritureCourte = courte;
    EXPECT_EQ(Lancer(), MessageEcriture(T / "a.clair", TexteErreur(ENOSPC)));
    std::set<std::string> apres = Avant;
    apres.insert("a.clair");
    EXPECT_EQ(Contenu(T.Chemin), apres);
    const std::string ecrit = LireFichier(T / "a.clair");
    if (courte) {
        EXPECT_TRUE(ecrit == Clair.substr(0, limite));
    } else {
        EXPECT_GT(ecrit.size(), 0u);
        EXPECT_LE(ecrit.size(), limite);
        EXPECT_TRUE(Clair.compare(0, ecrit.size(), ecrit) == 0);
    }
}
INSTANTIATE_TEST_SUITE_P(EchecEtEcritureCourte, PanneEcritureClair, ::testing::Bool());

TEST_F(PanneDechiffrement, CloseFailingOnTheOutputReportsItAndSavesNoState) {
    TPlateformeFautive fautive;
    fautive.SeulementPour = "a.clair";
    fautive.FermetureEchoue = true;
    EXPECT_EQ(Lancer(), MessageEcriture(T / "a.clair", TexteErreur(EIO)));
    std::set<std::string> apres = Avant;
    apres.insert("a.clair");
    EXPECT_EQ(Contenu(T.Chemin), apres);
    EXPECT_TRUE(LireFichier(T / "a.clair") == Clair);
}

TEST_F(PanneDechiffrement, FailureWhileSavingTheStateReachedNamesTheFile) {
    {
        TPlateformeFautive fautive;
        fautive.SeulementPour = "ATTEINT.KEC";
        fautive.EcritureEchoueApres = 100;
        fautive.EcritureCourte = true;
        EXPECT_EQ(Lancer(), MessageEcriture(T / "ATTEINT.KEC", TexteErreur(ENOSPC)));
    }
    std::set<std::string> apres = Avant;
    for (const char* n : {"a.clair", "ATTEINT.KGR", "ATTEINT.KEC"}) apres.insert(n);
    EXPECT_EQ(Contenu(T.Chemin), apres);
    EXPECT_TRUE(LireFichier(T / "a.clair") == Clair);
    EXPECT_TRUE(LireFichier(T / "ATTEINT.KGR") == LireFichier(T / "FIN-CHIFFRE.KGR"));
    EXPECT_TRUE(LireFichier(T / "ATTEINT.KEC") == LireFichier(T / "FIN-CHIFFRE.KEC").substr(0, 100));
    EXPECT_EQ(Mode(T / "ATTEINT.KEC"), 0600u);
}

}  // namespace
