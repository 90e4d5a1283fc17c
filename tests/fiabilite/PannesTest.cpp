// Faults planted in the platform layer during whole encrypt and decrypt
// commands. A run is all or nothing: whatever fails, the message names the
// file the user asked for, and the folder holds exactly what it held before,
// byte for byte (an earlier key and an earlier output above all).
//
// A failure while the files are being moved into place (a rename) is the one
// case that can leave a partly installed trio: the earlier trio is then whole
// under DEBUT-1 and no base name holds files of two states.

#include <gtest/gtest.h>

#include <cerrno>
#include <map>

#include "Outils.hpp"
#include "cipher/KOZChiffre.hpp"
#include "commande/UKOZChiffre.hpp"
#include "commande/UKOZDechiffre.hpp"
#include "state/KOZGrille.hpp"
#include "tests/support/PlateformeFautive.hpp"

using namespace fiabilite;

namespace {

// Every file of a folder with its bytes.
std::map<std::string, std::string> Instantane(const fs::path& dir) {
    std::map<std::string, std::string> tout;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file()) tout[e.path().filename().string()] = LireFichier(e.path().string());
    return tout;
}

// A folder with an earlier run in it (ancien.KOZ, its trios, the journal),
// an older a.KOZ, and a.txt to encrypt again over it.
class PanneChiffrement : public ::testing::Test {
protected:
    void SetUp() override {
        EcrireFichier(T / "ancien.txt", "chiffré plus tôt");
        LancerChiffrement(T / "ancien.txt", T / "ancien.KOZ", "", false);
        EcrireFichier(T / "a.KOZ", "un ancien fichier chiffré");
        EcrireFichier(T / "a.txt", OctetsAleatoires(3 * kTailleTamponClair + 1234, 77));
        Avant = Instantane(T.Chemin);
    }
    std::string Lancer() {
        TChiffrement c;
        c.Sources = {T / "a.txt"};
        c.Destination = T / "a.KOZ";
        c.Ecraser = true;
        return MessageLeve([&] { Chiffrer(c); });
    }
    TRepertoireTemporaire T;
    std::map<std::string, std::string> Avant;
};

struct TPanne {
    const char* Nom;
    std::function<void(TPlateformeFautive&)> Planter;
    const char* Fichier;  // the file the message names
    std::string (*Message)(const std::string& nom, const std::string& raison);
    int Erreur;
};

void PrintTo(const TPanne& p, std::ostream* os) { *os << p.Nom; }

class PanneChiffrementAvantLaFin : public PanneChiffrement, public ::testing::WithParamInterface<TPanne> {};

TEST_P(PanneChiffrementAvantLaFin, LeavesTheFolderExactlyAsItWas) {
    const TPanne& p = GetParam();
    TPlateformeFautive fautive;
    p.Planter(fautive);
    EXPECT_EQ(Lancer(), p.Message(T / p.Fichier, TexteErreur(p.Erreur)));
    EXPECT_EQ(Instantane(T.Chemin), Avant);
}

INSTANTIATE_TEST_SUITE_P(
    Pannes, PanneChiffrementAvantLaFin,
    ::testing::Values(
        TPanne{"creation_DEBUT_KGR", [](TPlateformeFautive& f) { f.CreationEnEchec = 1; }, "DEBUT.KGR", MessageCreation, ENOSPC},
        TPanne{"creation_DEBUT_KPR", [](TPlateformeFautive& f) { f.CreationEnEchec = 3; }, "DEBUT.KPR", MessageCreation, ENOSPC},
        TPanne{"creation_sortie", [](TPlateformeFautive& f) { f.CreationEnEchec = 4; }, "a.KOZ", MessageCreation, ENOSPC},
        TPanne{"creation_FIN_KEC", [](TPlateformeFautive& f) { f.CreationEnEchec = 6; }, "FIN-CHIFFRE.KEC", MessageCreation, ENOSPC},
        TPanne{"ecriture_sortie",
               [](TPlateformeFautive& f) {
                   f.SeulementPour = "a.KOZ";
                   f.EcritureEchoueApres = int64_t(5 * kTailleTamponClair);
               },
               "a.KOZ", MessageEcriture, ENOSPC},
        TPanne{"ecriture_courte_sortie",
               [](TPlateformeFautive& f) {
                   f.SeulementPour = "a.KOZ";
                   f.EcritureEchoueApres = int64_t(5 * kTailleTamponClair);
                   f.EcritureCourte = true;
               },
               "a.KOZ", MessageEcriture, ENOSPC},
        TPanne{"lecture_source",
               [](TPlateformeFautive& f) {
                   f.SeulementPour = "a.txt";
                   f.LectureEchoueApres = int64_t(kTailleTamponClair);
               },
               "a.txt", MessageLecture, EIO},
        TPanne{"fermeture_sortie",
               [](TPlateformeFautive& f) {
                   f.SeulementPour = "a.KOZ";
                   f.FermetureEchoue = true;
               },
               "a.KOZ", MessageEcriture, EIO},
        TPanne{"fermeture_DEBUT_KGR",
               [](TPlateformeFautive& f) {
                   f.SeulementPour = "DEBUT.KGR";
                   f.FermetureEchoue = true;
               },
               "DEBUT.KGR", MessageEcriture, EIO},
        TPanne{"ecriture_FIN_KPR",
               [](TPlateformeFautive& f) {
                   f.SeulementPour = "FIN-CHIFFRE.KPR";
                   f.EcritureEchoueApres = 100;
               },
               "FIN-CHIFFRE.KPR", MessageEcriture, ENOSPC}),
    [](const auto& info) { return std::string(info.param.Nom); });

// A rename that fails while the files are moved into place: the earlier key
// is whole under DEBUT-1, DEBUT holds new files or none, and the earlier
// output is untouched unless its own rename went through.
class PanneInstallation : public PanneChiffrement, public ::testing::WithParamInterface<int> {};

TEST_P(PanneInstallation, KeepsTheEarlierKeyWholeAndNeverMixesATrio) {
    TPlateformeFautive fautive;
    fautive.RenommageEnEchec = GetParam();
    const std::string m = Lancer();
    EXPECT_FALSE(m.empty());
    const auto apres = Instantane(T.Chemin);
    const std::string ancien = Avant.at("DEBUT.KGR") + Avant.at("DEBUT.KEC") + Avant.at("DEBUT.KPR");
    EXPECT_EQ(Trio(T.Dir(), "DEBUT-1"), ancien);
    EXPECT_EQ(apres.at("ancien.KOZ"), Avant.at("ancien.KOZ"));
    EXPECT_EQ(apres.at("a.KOZ"), Avant.at("a.KOZ"));
    // No base name holds files of two states: what DEBUT still has is new.
    for (const char* ext : {".KGR", ".KEC", ".KPR"}) {
        const std::string nom = std::string("DEBUT") + ext;
        if (apres.count(nom)) {
            EXPECT_NE(apres.at(nom), Avant.at(nom)) << ext;
        }
    }
    // No temporary file is left behind.
    for (const auto& [nom, octets] : apres) EXPECT_EQ(nom.find(".koz-temporaire-"), std::string::npos) << nom;
}

INSTANTIATE_TEST_SUITE_P(Renommages, PanneInstallation, ::testing::Values(1, 2, 3, 4, 6, 7));

TEST_F(PanneChiffrement, AJournalThatCannotBeWrittenIsAWarningNotAFailure) {
    fs::remove(T / "KOZ-JOURNAL.txt");
    fs::create_directory(T / "KOZ-JOURNAL.txt");
    TChiffrement c;
    c.Sources = {T / "a.txt"};
    c.Ecraser = true;
    const TRapportChiffrement r = Chiffrer(c);
    ASSERT_EQ(r.Avis.size(), 2u);
    EXPECT_EQ(r.Avis[1].rfind("Attention : le chiffrement n'a pas pu être inscrit au journal. ", 0), 0u) << r.Avis[1];
    EXPECT_TRUE(fs::is_directory(T / "KOZ-JOURNAL.txt"));
    EXPECT_NE(LireFichier(T / "a.KOZ"), Avant.at("a.KOZ"));
}

// ---------------------------------------------------------------- decryption

class PanneDechiffrement : public ::testing::Test {
protected:
    void SetUp() override {
        EcrireFichier(T / "a.txt", OctetsAleatoires(2 * kTailleTamponClair + 999, 78));
        LancerChiffrement(T / "a.txt", T / "a.KOZ", "", false);
        EcrireFichier(T / "a.clair", "un ancien déchiffré");
        Avant = Instantane(T.Chemin);
    }
    std::string Lancer() {
        TDechiffrement d;
        d.Fichiers = {{T / "a.KOZ", T / "a.clair"}};
        d.Ecraser = true;
        d.SauverFin = T / "ATTEINT";
        return MessageLeve([&] { LancerDechiffrement(d); });
    }
    TRepertoireTemporaire T;
    std::map<std::string, std::string> Avant;
};

class PanneDechiffrementAvantLaFin : public PanneDechiffrement, public ::testing::WithParamInterface<TPanne> {};

TEST_P(PanneDechiffrementAvantLaFin, KeepsNothingAndLeavesTheEarlierOutput) {
    const TPanne& p = GetParam();
    TPlateformeFautive fautive;
    p.Planter(fautive);
    EXPECT_EQ(Lancer(), p.Message(T / p.Fichier, TexteErreur(p.Erreur)));
    const auto apres = Instantane(T.Chemin);
    // The output is the earlier one; the state reached is saved only after
    // the output is in place, so a failure there leaves the output verified.
    EXPECT_EQ(apres.count("ATTEINT.KGR") + apres.count("ATTEINT.KEC") + apres.count("ATTEINT.KPR"), 0u);
    for (const auto& [nom, octets] : apres) EXPECT_EQ(nom.find(".koz-temporaire-"), std::string::npos) << nom;
    if (std::string(p.Fichier).rfind("ATTEINT", 0) == 0) {
        EXPECT_EQ(apres.at("a.clair"), LireFichier(T / "a.txt"));
    } else {
        EXPECT_EQ(apres, Avant);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pannes, PanneDechiffrementAvantLaFin,
    ::testing::Values(
        TPanne{"creation_sortie", [](TPlateformeFautive& f) { f.CreationEnEchec = 1; }, "a.clair", MessageCreation, ENOSPC},
        TPanne{"lecture_chiffre",
               [](TPlateformeFautive& f) {
                   f.SeulementPour = "a.KOZ";
                   f.LectureEchoueApres = int64_t(kTailleTamponChiffre);
               },
               "a.KOZ", MessageLecture, EIO},
        TPanne{"ecriture_sortie",
               [](TPlateformeFautive& f) {
                   f.SeulementPour = "a.clair";
                   f.EcritureEchoueApres = 1000;
               },
               "a.clair", MessageEcriture, ENOSPC},
        TPanne{"fermeture_sortie",
               [](TPlateformeFautive& f) {
                   f.SeulementPour = "a.clair";
                   f.FermetureEchoue = true;
               },
               "a.clair", MessageEcriture, EIO},
        TPanne{"creation_ATTEINT_KEC", [](TPlateformeFautive& f) { f.CreationEnEchec = 3; }, "ATTEINT.KEC", MessageCreation, ENOSPC}),
    [](const auto& info) { return std::string(info.param.Nom); });

}  // namespace
