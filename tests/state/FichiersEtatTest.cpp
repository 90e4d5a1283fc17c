// The trio of state files: names, sizes, layout, order, and every way a
// save or a load can fail.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/Echecs.hpp"
#include "tests/support/Fichiers.hpp"
#include "tests/support/PlateformeFautive.hpp"
#include "tests/support/Grilles.hpp"
#include "platform/Format.hpp"

namespace fs = std::filesystem;

namespace {

std::string Octets(const uint8_t* p, size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }
std::string Octets(const TKOZGrille::TCases& c) { return Octets(c.data(), c.size()); }
std::string OctetsPermutations(const TKOZGrille& g) {
    return Octets(reinterpret_cast<const uint8_t*>(g.Permutations->Table.data()), 1792);
}

unsigned Mode(const std::string& nom) {
    struct stat st;
    return ::stat(nom.c_str(), &st) == 0 ? unsigned(st.st_mode & 07777) : 0u;
}

struct EtatTest : ::testing::Test {
    TRepertoireTemporaire d;
    TKOZGrille source;  // the state written to disk
    TKOZGrille cible;   // a fresh object that loads it
};

TEST_F(EtatTest, SaveWritesTheTrioWithItsLayout) {
    source.Permutations->Table[1] = {{1, 2, 3}, {4, 5, 6}, 7};
    source.Sauver(d.Dir(), "DEBUT");
    size_t fichiers = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(d.Chemin)) ++fichiers;
    EXPECT_EQ(fichiers, 3u);
    EXPECT_EQ(LireFichier(d / "DEBUT.KGR"), Octets(source.Cases()));
    EXPECT_EQ(LireFichier(d / "DEBUT.KEC"), Octets(source.Echange->Table.data(), 256));
    const std::string kpr = LireFichier(d / "DEBUT.KPR");
    ASSERT_EQ(kpr.size(), 1792u);
    EXPECT_EQ(kpr.substr(7, 7), std::string("\1\2\3\4\5\6\7", 7)) << "Sens, Rang, Debut twice, then Longueur";
    EXPECT_EQ(kpr, OctetsPermutations(source));
}

TEST_F(EtatTest, SaveOrderIsGridExchangePermutations) {
    for (int echec : {2, 3}) {
        TRepertoireTemporaire r;
        TPlateformeFautive p;
        p.CreationEnEchec = echec;
        const std::string rate = echec == 2 ? "T.KEC" : "T.KPR";
        EXPECT_EQ(Echec([&] { source.Sauver(r.Dir(), "T"); }),
                  "Impossible de créer le fichier \"" + (r / rate) + "\". " + TexteErreur(ENOSPC));
        EXPECT_EQ(fs::file_size(r / "T.KGR"), 256u);
        EXPECT_EQ(fs::exists(r / "T.KEC"), echec == 3);
        EXPECT_FALSE(fs::exists(r / "T.KPR"));
    }
}

TEST_F(EtatTest, DirectoryIsGluedToTheBaseName) {
    source.Sauver(d.Dir() + "x", "DEBUT");
    EXPECT_TRUE(fs::exists(d / "xDEBUT.KGR"));
    EXPECT_TRUE(fs::exists(d / "xDEBUT.KPR"));
}

TEST_F(EtatTest, LoadRestoresTheThreeTables) {
    source.Sauver(d.Dir(), "T");
    cible.Charger(d.Dir(), "T");
    EXPECT_EQ(cible.Cases(), source.Cases());
    EXPECT_EQ(cible.Echange->Table, source.Echange->Table);
    EXPECT_EQ(OctetsPermutations(cible), OctetsPermutations(source));
}

TEST_F(EtatTest, LongerFilesAreAcceptedByTheirFirstBytes) {
    source.Sauver(d.Dir(), "T");
    EcrireFichier(d / "T.KGR", Octets(GrilleIdentite()) + std::string(44, '\xAB'));
    EcrireFichier(d / "T.KEC", std::string(256, '\7') + "reste");
    cible.Charger(d.Dir(), "T");
    EXPECT_EQ(cible.Cases(), GrilleIdentite());
    for (int v = 0; v < 256; ++v) ASSERT_EQ(cible.Echange->Valeur(uint8_t(v)), 7) << "no check of the exchange table";
}

TEST_F(EtatTest, InvalidGridStopsBeforeTheOtherFilesAreOpened) {
    auto lue = GrilleIdentite();
    lue[9] = 0x41;  // 0x41 twice, 09 missing
    EcrireFichier(d / "T.KGR", Octets(lue));
    const auto echange = cible.Echange->Table;
    EXPECT_EQ(Echec([&] { cible.Charger(d.Dir(), "T"); }),
              "La grille n'est plus valide\r\n\r\nManquent = 09\r\nDoublons = 41");
    EXPECT_EQ(cible.Cases(), lue) << "the grid keeps what was read";
    EXPECT_EQ(cible.Echange->Table, echange);
}

TEST_F(EtatTest, MissingExchangeFileAfterAValidGrid) {
    source.Sauver(d.Dir(), "T");
    fs::remove(d / "T.KEC");
    const auto echange = cible.Echange->Table;
    const std::string permutations = OctetsPermutations(cible);
    EXPECT_EQ(Echec([&] { cible.Charger(d.Dir(), "T"); }),
              "Impossible d'ouvrir le fichier \"" + (d / "T.KEC") + "\". " + TexteErreur(ENOENT));
    EXPECT_EQ(cible.Cases(), source.Cases());
    EXPECT_EQ(cible.Echange->Table, echange);
    EXPECT_EQ(OctetsPermutations(cible), permutations);
}

TEST_F(EtatTest, ShortFilesAreRefusedBeforeUse) {
    struct TCas {
        const char* ext;
        size_t garde, taille;
    };
    for (const TCas c : {TCas{".KGR", 0, 256}, TCas{".KGR", 255, 256}, TCas{".KEC", 100, 256},
                         TCas{".KPR", 1791, 1792}}) {
        SCOPED_TRACE(std::string(c.ext) + " " + std::to_string(c.garde));
        TKOZGrille charge;
        const auto grille = charge.Cases();
        const auto echange = charge.Echange->Table;
        const std::string permutations = OctetsPermutations(charge);
        source.Sauver(d.Dir(), "T");
        fs::resize_file(d / ("T" + std::string(c.ext)), c.garde);

        EXPECT_EQ(Echec([&] { charge.Charger(d.Dir(), "T"); }),
                  Format("Le fichier d'état \"%s\" est trop court : %d octets au lieu de %d",
                         (d / ("T" + std::string(c.ext))).c_str(), int(c.garde), int(c.taille)));
        const std::string ext = c.ext;
        EXPECT_EQ(charge.Cases(), ext == ".KGR" ? grille : source.Cases());
        EXPECT_EQ(charge.Echange->Table, ext == ".KPR" ? source.Echange->Table : echange);
        EXPECT_EQ(OctetsPermutations(charge), permutations);
    }
}

TEST_F(EtatTest, ReadErrorIsReportedAndLeavesTheTable) {
    source.Sauver(d.Dir(), "T");
    const std::string permutations = OctetsPermutations(cible);
    TPlateformeFautive p;
    p.LectureEchoueApres = 100;
    p.SeulementPour = ".KPR";
    EXPECT_EQ(Echec([&] { cible.Charger(d.Dir(), "T"); }),
              "Impossible de lire le fichier \"" + (d / "T.KPR") + "\". " + TexteErreur(EIO));
    EXPECT_EQ(cible.Echange->Table, source.Echange->Table);
    EXPECT_EQ(OctetsPermutations(cible), permutations);
}

TEST_F(EtatTest, WriteFailuresAreReportedAndStopTheTrio) {
    {
        TRepertoireTemporaire r;
        TPlateformeFautive p;
        p.EcritureEchoueApres = 0;
        p.SeulementPour = ".KEC";
        EXPECT_EQ(Echec([&] { source.Sauver(r.Dir(), "T"); }),
                  "Impossible d'écrire dans le fichier \"" + (r / "T.KEC") + "\". " + TexteErreur(ENOSPC));
        EXPECT_EQ(fs::file_size(r / "T.KGR"), 256u);
        EXPECT_FALSE(fs::exists(r / "T.KPR"));
    }
    {
        TRepertoireTemporaire r;
        TPlateformeFautive p;
        p.EcritureEchoueApres = 100;
        p.EcritureCourte = true;
        p.SeulementPour = ".KPR";
        EXPECT_EQ(Echec([&] { source.Sauver(r.Dir(), "T"); }),
                  "Impossible d'écrire dans le fichier \"" + (r / "T.KPR") + "\". " + TexteErreur(ENOSPC));
        EXPECT_EQ(LireFichier(r / "T.KPR"), OctetsPermutations(source).substr(0, 100)) << "what was written stays";
    }
    {
        TRepertoireTemporaire r;
        TPlateformeFautive p;
        p.FermetureEchoue = true;
        p.SeulementPour = ".KGR";
        EXPECT_EQ(Echec([&] { source.Sauver(r.Dir(), "T"); }),
                  "Impossible d'écrire dans le fichier \"" + (r / "T.KGR") + "\". " + TexteErreur(EIO));
        EXPECT_FALSE(fs::exists(r / "T.KEC"));
    }
}

TEST_F(EtatTest, StateFilesAreOwnerOnly) {
    const mode_t ancien = ::umask(0);
    source.Sauver(d.Dir(), "A");
    EcrireFichier(d / "B.KGR", "x");
    EcrireFichier(d / "B.KEC", "x");
    fs::permissions(d / "B.KGR", fs::perms(0644));
    fs::permissions(d / "B.KEC", fs::perms(0666));
    source.Sauver(d.Dir(), "B");
    ::umask(ancien);
    for (const char* nom : {"A.KGR", "A.KEC", "A.KPR", "B.KGR", "B.KEC", "B.KPR"})
        EXPECT_EQ(Mode(d / nom), 0600u) << nom;
    EXPECT_EQ(fs::file_size(d / "B.KGR"), 256u) << "an existing file is emptied first";
}

TEST_F(EtatTest, KeyNameLinkedToADeviceLeavesTheDeviceAlone) {
    const unsigned avant = Mode("/dev/null");
    fs::create_symlink("/dev/null", d / "N.KGR");
    source.Sauver(d.Dir(), "N");
    const unsigned apres = Mode("/dev/null");
    if (apres != avant) fs::permissions("/dev/null", fs::perms(avant));
    EXPECT_EQ(apres, avant);
}

}  // namespace
