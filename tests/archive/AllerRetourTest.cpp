// A folder written as an archive and extracted again gives the same tree;
// the archive's entries, order, size estimate and mark; the cipher reading
// the archive stream directly.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cipher/KOZChiffre.hpp"
#include "cipher/KOZDechiffre.hpp"
#include "commande/KOZArchive.hpp"
#include "platform/Plateforme.hpp"
#include "tests/archive/Outils.hpp"
#include "tests/support/Fichiers.hpp"

namespace fs = std::filesystem;

namespace {

void Horodater(const std::string& chemin, time_t secondes, long nano) {
    const timespec t[2] = {{secondes, nano}, {secondes, nano}};
    ASSERT_EQ(::utimensat(AT_FDCWD, chemin.c_str(), t, AT_SYMLINK_NOFOLLOW), 0) << chemin;
}

// photos/ with subfolders, an empty folder, links, a file of several MiB,
// names with blanks, a newline and bytes that are not UTF-8, varied modes.
void Peupler(const std::string& d) {
    fs::create_directories(d + "/sous/plus bas");
    fs::create_directory(d + "/vide");
    EcrireFichier(d + "/a.jpg", OctetsAleatoires(3 * 1024 * 1024 + 17, 7));
    EcrireFichier(d + "/nom avec  blancs.txt", "blancs");
    EcrireFichier(d + "/ligne\nnouvelle", "retour à la ligne");
    EcrireFichier(d + "/latin1-\xe9t\xe9\xff", "octets non UTF-8");
    EcrireFichier(d + "/vide.txt", "");
    EcrireFichier(d + "/sous/plus bas/profond", OctetsAleatoires(70000, 9));
    EcrireFichier(d + "/script.sh", "#!/bin/sh\n");
    EcrireFichier(d + "/suid", "s");
    ::chmod((d + "/script.sh").c_str(), 0750);
    ::chmod((d + "/suid").c_str(), 04755);
    ::chmod((d + "/sous/plus bas").c_str(), 02750);
    fs::create_symlink("../a.jpg", d + "/sous/lien");
    fs::create_symlink("nulle part", d + "/casse");
    long nano = 123456789;
    for (const auto& e : fs::recursive_directory_iterator(d)) Horodater(e.path().string(), 1600000000, nano++);
    Horodater(d + "/sous", 1600000100, 5);
    Horodater(d + "/sous/plus bas", 1600000200, 0);
    Horodater(d, 1600000300, 42);
}

class AllerRetour : public ::testing::Test {
protected:
    void SetUp() override {
        Source = T / "photos";
        fs::create_directory(Source);
        Cible = T / "cible";
        fs::create_directory(Cible);
    }
    TRepertoireTemporaire T;
    std::string Source, Cible;
};

TEST_F(AllerRetour, ANestedFolderComesBackIdenticalWithoutSpecialBits) {
    Peupler(Source);
    TLectureArchive l(Source);
    const std::string octets = LireTout(l, 1000);
    ASSERT_EQ(Extraire(octets, Cible, false, 777), "");
    EXPECT_EQ(Arbre(Cible + "/photos"), Arbre(Source, 0777));
    EXPECT_EQ(Contenu(Cible), std::set<std::string>{"photos"});
    // The folder itself kept its time too.
    struct stat st;
    ASSERT_EQ(::stat((Cible + "/photos").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1600000300);
    EXPECT_EQ(st.st_mtim.tv_nsec, 42);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
}

TEST_F(AllerRetour, EntriesAreSortedFoldersFirstUnderTheFolderName) {
    fs::create_directories(Source + "/b/c");
    EcrireFichier(Source + "/z", "z");
    EcrireFichier(Source + "/a", "a");
    EcrireFichier(Source + "/b/x", "x");
    fs::create_symlink("a", Source + "/l");
    TLectureArchive l(Source + "/");
    EXPECT_EQ(l.Racine(), "photos");
    EXPECT_TRUE(l.Entrees().empty());
    LireTout(l);
    EXPECT_EQ(l.Entrees(), (std::vector<std::string>{"photos/", "photos/a", "photos/b/", "photos/b/c/", "photos/b/x",
                                                     "photos/l", "photos/z"}));
}

TEST_F(AllerRetour, TheFolderNameOfDotIsTheRealOne) {
    fs::create_directory(Source + "/sous");
    TLectureArchive l(Source + "/sous/.");
    EXPECT_EQ(l.Racine(), "sous");
}

TEST_F(AllerRetour, TheSizeEstimateCoversTheArchive) {
    Peupler(Source);
    TLectureArchive l(Source);
    const uint64_t fichiers = 3 * 1024 * 1024 + 17 + 6 + 18 + 16 + 70000 + 10 + 1;
    EXPECT_EQ(l.TailleFichiers(), fichiers);
    const std::string octets = LireTout(l);
    EXPECT_GE(l.Taille(), octets.size());
    EXPECT_LE(l.Taille(), octets.size() + 64 * 1024);
    EXPECT_GT(octets.size(), fichiers);
}

TEST_F(AllerRetour, OurArchivesAreRecognisedByTheirFirstBlock) {
    for (const std::string nom : {"photos", "\xe9t\xe9 avec un nom bien plus long que les cent octets d'un en-tête "
                                            "ustar ordinaire, pour forcer un en-tête étendu pax"}) {
        const std::string d = T / nom;
        fs::create_directories(d);
        Horodater(d, 1600000000, 987654321);
        TLectureArchive l(d);
        const std::string octets = LireTout(l);
        const auto* p = reinterpret_cast<const uint8_t*>(octets.data());
        EXPECT_TRUE(EstArchiveDossier(p, octets.size())) << nom;
        EXPECT_FALSE(EstArchiveDossier(p, kTailleEnteteArchive - 1));
        std::string abime = octets;
        abime[10] ^= 1;  // the checksum no longer matches
        EXPECT_FALSE(EstArchiveDossier(reinterpret_cast<const uint8_t*>(abime.data()), abime.size()));
    }
    // A tar archive from elsewhere is a plain file, decrypted as one.
    const std::string autre = ArchiveDe({Dossier("photos/")});
    EXPECT_FALSE(EstArchiveDossier(reinterpret_cast<const uint8_t*>(autre.data()), autre.size()));
    TEntreeTest marque = Dossier("photos/");
    marque.Proprietaire = "zymkozchiffre";
    const std::string nous = ArchiveDe({marque});
    EXPECT_TRUE(EstArchiveDossier(reinterpret_cast<const uint8_t*>(nous.data()), nous.size()));
    const std::string texte(1024, 'a');
    EXPECT_FALSE(EstArchiveDossier(reinterpret_cast<const uint8_t*>(texte.data()), texte.size()));
}

TEST_F(AllerRetour, TheCipherEncryptsTheStreamAndDecryptsItIntoAFolder) {
    Peupler(Source);
    fs::remove(Source + "/a.jpg");  // the cipher's byte loop is slow under the sanitizers
    Horodater(Source, 1600000300, 42);
    TKOZChiffre c;
    TKOZDechiffre d(c);
    TLectureArchive l(Source);
    TFluxMemoireEcriture chiffre;
    uint64_t total = 0;
    TSuivi suivi;
    suivi.Progression = [&](uint64_t, uint64_t t) { total = t; };
    c.ChiffrerFlux(l, chiffre, &suivi);
    EXPECT_EQ(total, l.Taille());

    TFluxMemoireLecture lu(reinterpret_cast<const uint8_t*>(chiffre.Contenu.data()), chiffre.Contenu.size());
    TExtractionArchive x(Cible);
    d.DechiffrerFlux(lu, x, "/essai.KOZ");
    x.Fermer();
    EXPECT_EQ(x.Racines(), std::vector<std::string>{"photos"});
    EXPECT_EQ(Arbre(Cible + "/photos"), Arbre(Source, 0777));
}

// ---------------------------------------------------------------- bad sources

TEST_F(AllerRetour, ASpecialFileIsRefusedBeforeAnyByte) {
    fs::create_directory(Source + "/sous");
    ASSERT_EQ(::mkfifo((Source + "/sous/tube").c_str(), 0644), 0);
    try {
        TLectureArchive l(Source);
        FAIL() << "accepted";
    } catch (const EKOZException& e) {
        EXPECT_EQ(std::string(e.what()), "Le fichier \"" + Source +
                                             "/sous/tube\" n'est ni un fichier ordinaire, ni un dossier, ni un lien "
                                             "symbolique : il ne peut pas être archivé");
    }
}

// A link that extraction would refuse makes a folder that could not be
// restored: it is refused when the archive is opened.
TEST_F(AllerRetour, ALinkLeavingTheFolderIsRefusedBeforeAnyByte) {
    fs::create_directory(Source + "/sous");
    for (const std::string cible : {"/etc/passwd", "../../ailleurs", "x/../../..", ""}) {
        if (cible.empty()) {
            // Directly under the folder, one level up is already outside.
            fs::create_symlink("../photos/a", Source + "/haut");
        } else {
            fs::create_symlink(cible, Source + "/sous/lien");
        }
        const std::string nom = cible.empty() ? Source + "/haut" : Source + "/sous/lien";
        try {
            TLectureArchive l(Source);
            ADD_FAILURE() << "accepted: " << cible;
        } catch (const EKOZException& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Le lien symbolique \"" + nom + "\" mène hors du dossier : il ne pourrait pas être restauré");
        }
        fs::remove(nom);
    }
    fs::create_symlink("../../photos", Source + "/sous/lien");  // two levels up from sous/: outside
    EXPECT_THROW(TLectureArchive{Source}, EKOZException);
    fs::remove(Source + "/sous/lien");
    fs::create_symlink("../haut", Source + "/sous/lien");  // one level up: inside
    EXPECT_NO_THROW(TLectureArchive{Source});
}

TEST_F(AllerRetour, ASourceThatIsNoFolderIsRefused) {
    EcrireFichier(Source + "/f", "x");
    try {
        TLectureArchive l(Source + "/f");
        FAIL() << "accepted";
    } catch (const EKOZException& e) {
        EXPECT_EQ(std::string(e.what()), MessageOuverture(Source + "/f", TexteErreur(ENOTDIR)));
    }
}

// The folder changing while it is read: the reading stops with a message
// naming the file, whatever was produced before is to be discarded.
class DossierQuiChange : public AllerRetour {
protected:
    // Reads until the archive holds the first bytes of "b", runs the change,
    // then reads on; returns the message the reading stopped with.
    std::string LireAvecChangement(const std::function<void()>& changement) {
        EcrireFichier(Source + "/a", "premier");
        EcrireFichier(Source + "/b", OctetsAleatoires(1024 * 1024));
        EcrireFichier(Source + "/c", "dernier");
        TLectureArchive l(Source);
        uint8_t t[4096];
        std::string lu;
        while (l.Entrees().size() < 3 || l.Entrees().back() != "photos/b") {
            const size_t n = l.Lire(t, sizeof t);
            if (n == 0) return "fin atteinte avant b";
            lu.append(reinterpret_cast<char*>(t), n);
        }
        changement();
        try {
            while (l.Lire(t, sizeof t) > 0) {
            }
        } catch (const EKOZException& e) {
            return e.what();
        }
        return {};
    }
};

TEST_F(DossierQuiChange, AFileThatGrowsStopsTheReading) {
    EXPECT_EQ(LireAvecChangement([&] {
                  std::ofstream f(Source + "/b", std::ios::app);
                  f << "plus";
              }),
              "Le fichier \"" + Source + "/b\" a changé pendant sa lecture");
}

TEST_F(DossierQuiChange, AFileThatShrinksStopsTheReading) {
    EXPECT_EQ(LireAvecChangement([&] { fs::resize_file(Source + "/b", 1000); }),
              "Le fichier \"" + Source + "/b\" a changé pendant sa lecture");
}

TEST_F(DossierQuiChange, AFileRemovedBeforeItsTurnStopsTheReading) {
    EXPECT_EQ(LireAvecChangement([&] { fs::remove(Source + "/c"); }),
              MessageOuverture(Source + "/c", TexteErreur(ENOENT)));
}

TEST_F(DossierQuiChange, AFifoSwappedInIsRefused) {
    EXPECT_EQ(LireAvecChangement([&] {
                  fs::remove(Source + "/c");
                  ASSERT_EQ(::mkfifo((Source + "/c").c_str(), 0644), 0);
              }),
              "Le fichier \"" + Source +
                  "/c\" n'est ni un fichier ordinaire, ni un dossier, ni un lien symbolique : il ne peut pas être "
                  "archivé");
}

TEST_F(DossierQuiChange, AnUnchangedFolderReadsToTheEnd) { EXPECT_EQ(LireAvecChangement([] {}), ""); }

}  // namespace
