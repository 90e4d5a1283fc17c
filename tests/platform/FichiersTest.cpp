// Paths, error texts and the POSIX file streams.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <filesystem>

#include "tests/support/Fichiers.hpp"
#include "platform/Chemins.hpp"
#include "platform/Plateforme.hpp"

namespace fs = std::filesystem;

namespace {

TEST(Chemins, SlashIsTheOnlyDelimiter) {
    EXPECT_EQ(PartieChemin("/a/b/essai.txt"), "/a/b/");
    EXPECT_EQ(PartieNom("/a/b/essai.txt"), "essai.txt");
    EXPECT_EQ(PartieChemin("essai.txt"), "");
    EXPECT_EQ(PartieNom("C:essai"), "C:essai");
    EXPECT_EQ(PartieNom("a\\b"), "a\\b");
    EXPECT_EQ(Extension("/a/b.c/essai.ancien.KGR"), ".KGR");
    EXPECT_EQ(Extension("/a/b.c/essai"), "") << "a dot of the directory is no extension";
    EXPECT_EQ(Extension("/a/.cache"), ".cache");
}

TEST(Plateforme, FullPaths) {
    TRepertoireTemporaire d;
    const fs::path ici = fs::current_path();
    fs::current_path(d.Chemin);
    EXPECT_EQ(Plateforme().CheminComplet("f.KOZ"), d / "f.KOZ");
    EXPECT_EQ(Plateforme().CheminComplet("./x/../f.KOZ"), d / "f.KOZ");
    fs::current_path(ici);
    EXPECT_EQ(Plateforme().CheminComplet("/a//b/./c"), "/a/b/c");
    EXPECT_EQ(Plateforme().CheminComplet("/a/b/"), "/a/b/");
    EXPECT_EQ(Plateforme().CheminComplet(""), "");
}

TEST(Plateforme, ErrorTextAndMessages) {
    // French whatever the user's locale, when the French locale is installed
    // (scripts/setup and the package see to it).
    if (RaisonsEnFrancais()) {
        EXPECT_EQ(TexteErreur(ENOENT), "Aucun fichier ou dossier de ce type");
        EXPECT_EQ(TexteErreur(ENAMETOOLONG), "Nom de fichier trop long");
        EXPECT_EQ(TexteErreur(EISDIR), "Est un dossier");
    } else {
        EXPECT_EQ(TexteErreur(ENOENT), "No such file or directory");
    }
    EXPECT_EQ(MessageOuverture("/x", "r"), "Impossible d'ouvrir le fichier \"/x\". r");
    EXPECT_EQ(MessageCreation("/x", "r"), "Impossible de créer le fichier \"/x\". r");
    EXPECT_EQ(MessageLecture("/x", "r"), "Impossible de lire le fichier \"/x\". r");
    EXPECT_EQ(MessageEcriture("/x", "r"), "Impossible d'écrire dans le fichier \"/x\". r");
}

TEST(Plateforme, ErrorTextIsFrenchWhateverTheLocale) {
    ASSERT_TRUE(RaisonsEnFrancais()) << "la locale fr_FR.UTF-8 manque : lancez scripts/setup";
    const char* avant = std::getenv("LC_ALL");
    const std::string garde = avant ? avant : "";
    setenv("LC_ALL", "C", 1);
    std::setlocale(LC_ALL, "");
    EXPECT_EQ(TexteErreur(ENOSPC), "Aucun espace disponible sur le périphérique");
    if (avant) setenv("LC_ALL", garde.c_str(), 1); else unsetenv("LC_ALL");
    std::setlocale(LC_ALL, "C");
}

TEST(Plateforme, ReasonsLoseTheirEndAndGainACapital) {
    EXPECT_EQ(RaisonNettoyee("est un dossier.\n"), "Est un dossier");
    EXPECT_EQ(RaisonNettoyee("Erreur d'entrée/sortie . \t"), "Erreur d'entrée/sortie");
    EXPECT_EQ(RaisonNettoyee("\xC3\xA9" "chec"), "\xC3\xA9" "chec");
    EXPECT_EQ(RaisonNettoyee("..."), "");
    EXPECT_EQ(RaisonNettoyee(""), "");
    EXPECT_EQ(RaisonNettoyee("1 fichier"), "1 fichier");
}

TEST(Plateforme, SizesBeyondFourGibibytes) {
    TRepertoireTemporaire d;
    const uint64_t taille = (uint64_t(5) << 30) + 3;
    EcrireFichier(d / "creux", "");
    std::error_code e;
    fs::resize_file(d / "creux", taille, e);  // sparse: no space is used
    if (e) GTEST_SKIP() << "no sparse file here: " << e.message();
    EXPECT_EQ(Plateforme().OuvrirLecture(d / "creux")->Taille(), taille);
}

TEST(Plateforme, DataFilesKeepTheirPermissions) {
    TRepertoireTemporaire d;
    EcrireFichier(d / "f", "ancien contenu");
    fs::permissions(d / "f", fs::perms(0644));
    auto flux = Plateforme().Creer(d / "f", TGenreFichier::Donnees);
    flux->Ecrire(reinterpret_cast<const uint8_t*>("ab"), 2);
    flux->Fermer();
    struct stat st;
    ASSERT_EQ(::stat((d / "f").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(LireFichier(d / "f"), "ab") << "emptied before writing";
}

TEST(Plateforme, TemporaryNamesFitInAFileNameWhateverTheFinalName) {
    EXPECT_EQ(PrefixeTemporaire("/a/b.KOZ"), "/a/b.KOZ.koz-temporaire-");
    EXPECT_EQ(PrefixeTemporaire("b.KOZ"), "b.KOZ.koz-temporaire-");
    const std::string long_(250, 'n');
    EXPECT_EQ(PrefixeTemporaire("/a/" + long_), "/a/" + long_.substr(0, 233) + ".koz-temporaire-");
    // Made, and written, under such a name.
    TRepertoireTemporaire d;
    std::string nom;
    auto flux = Plateforme().CreerTemporaire(d / long_, TGenreFichier::Donnees, nom);
    flux->Ecrire(reinterpret_cast<const uint8_t*>("x"), 1);
    flux->Fermer();
    EXPECT_EQ(nom.size() - (d / "").size(), 255u);
    EXPECT_EQ(LireFichier(nom), "x");
}

TEST(Plateforme, DurableFileSentToTheDiskAsItGoesReadsBackWhole) {
    // Past several of the early requests to write to the disk, in pieces
    // that never fall on their boundaries: the file holds every byte once,
    // in order, and closes without a fault.
    TRepertoireTemporaire d;
    std::string nom;
    auto flux = Plateforme().CreerTemporaire(d / "gros", TGenreFichier::Donnees, nom);
    std::string attendu;
    std::string morceau(180001, '\0');
    for (int i = 0; attendu.size() < (size_t(20) << 20); ++i) {
        for (size_t j = 0; j < morceau.size(); ++j) morceau[j] = char((i * 31 + j * 7) & 0xFF);
        flux->Ecrire(reinterpret_cast<const uint8_t*>(morceau.data()), morceau.size());
        attendu += morceau;
    }
    flux->Fermer();
    const std::string lu = LireFichier(nom);
    EXPECT_EQ(lu.size(), attendu.size());
    EXPECT_TRUE(lu == attendu);
}

}  // namespace
