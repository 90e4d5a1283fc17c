// Several files and whole folders through the real koz: one chain under one
// key, a nested folder restored byte for byte, and a hostile archive that
// the program's own key decrypts refused as a whole.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "Outils.hpp"
#include "tests/support/Fichiers.hpp"
#include "tests/support/Processus.hpp"

namespace fs = std::filesystem;

namespace {

class KozDossiers : public ::testing::Test {
protected:
    TResultat Koz_(const std::vector<std::string>& args) { return LancerKoz(args, T.Chemin.string()); }
    TRepertoireTemporaire T;
};

TEST_F(KozDossiers, ThreeFilesAreOneChainReadBackInAnyOrder) {
    for (int i = 1; i <= 3; ++i) EcrireFichier(T / ("f" + std::to_string(i)), OctetsAleatoires(20000 * i, uint32_t(i)));
    const TResultat c = Koz_({"chiffrer", "f1", "f2", "f3"});
    EXPECT_EQ(c.Code, 0) << c.Erreur;
    // One key for the three, and the state after the last.
    EXPECT_EQ(Contenu(T.Chemin), AvecTrio(AvecTrio({"f1", "f2", "f3", "f1.KOZ", "f2.KOZ", "f3.KOZ", "KOZ-JOURNAL.txt"},
                                                   "DEBUT"),
                                          "FIN-CHIFFRE"));
    for (int i = 1; i <= 3; ++i) fs::rename(T / ("f" + std::to_string(i)), T / ("f" + std::to_string(i) + ".orig"));
    const TResultat d = Koz_({"dechiffrer", "f2.KOZ", "f3.KOZ", "f1.KOZ"});
    EXPECT_EQ(d.Code, 0) << d.Erreur;
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(LireFichier(T / ("f" + std::to_string(i))), LireFichier(T / ("f" + std::to_string(i) + ".orig")));
    // The chain from its first DEBUT and its last FIN-CHIFFRE, without the journal.
    fs::remove(T / "KOZ-JOURNAL.txt");
    const TResultat f = Koz_({"dechiffrer", "f1.KOZ", "f2.KOZ", "f3.KOZ", "-g", "DEBUT.KGR", "--fin", "FIN-CHIFFRE.KGR",
                              "--force"});
    EXPECT_EQ(f.Code, 0) << f.Erreur;
}

TEST_F(KozDossiers, AChainFromTwoFoldersIsProvenByTheJournalOfTheFirst) {
    fs::create_directory(T / "d1");
    fs::create_directory(T / "d2");
    EcrireFichier(T / "d1/a.txt", "A");
    EcrireFichier(T / "d2/b.txt", "B");
    ASSERT_EQ(Koz_({"chiffrer", "d1/a.txt", "d2/b.txt"}).Code, 0);
    fs::remove(T / "d1/a.txt");
    fs::remove(T / "d2/b.txt");
    const TResultat r = Koz_({"dechiffrer", "d2/b.KOZ", "d1/a.KOZ"});
    EXPECT_EQ(r.Code, 0) << r.Erreur;
    EXPECT_EQ(LireFichier(T / "d1/a"), "A");
    EXPECT_EQ(LireFichier(T / "d2/b"), "B");
}

TEST_F(KozDossiers, ALinkLeftOutOfAChainIsNoWrongOrderAndAMissingOneIsNamed) {
    for (const char* f : {"un", "deux", "trois"}) EcrireFichier(T / (std::string(f) + ".txt"), f);
    ASSERT_EQ(Koz_({"chiffrer", "un.txt", "deux.txt", "trois.txt"}).Code, 0);
    // The first and the third: each from its own key.
    const TResultat r = Koz_({"dechiffrer", "un.KOZ", "trois.KOZ"});
    EXPECT_EQ(r.Code, 0) << r.Erreur;
    EXPECT_EQ(LireFichier(T / "un"), "un");
    EXPECT_EQ(LireFichier(T / "trois"), "trois");
    // Without the first, the third's key cannot be rebuilt: the message says which file is missing.
    fs::rename(T / "un.KOZ", T / "un.cache");
    const TResultat sans = Koz_({"dechiffrer", "trois.KOZ", "-o", "t"});
    EXPECT_EQ(sans.Code, 1);
    EXPECT_EQ(sans.Erreur, "koz: La clé de \"" + T.Dir() + "trois.KOZ\" n'a pas été trouvée : ce fichier continue une "
                               "chaîne dont \"" + T.Dir() + "un.KOZ\", avant lui, manque ou a changé depuis son "
                               "chiffrement\n");
    EXPECT_FALSE(fs::exists(T / "t"));
    // Given with the file before the missing one: the same, not a wrong order.
    fs::rename(T / "un.cache", T / "un.KOZ");
    fs::remove(T / "deux.KOZ");
    const TResultat trou = Koz_({"dechiffrer", "un.KOZ", "trois.KOZ", "--force"});
    EXPECT_EQ(trou.Code, 1);
    EXPECT_EQ(trou.Erreur, "koz: La clé de \"" + T.Dir() + "trois.KOZ\" n'a pas été trouvée : ce fichier continue une "
                               "chaîne dont \"" + T.Dir() + "deux.KOZ\", avant lui, manque ou a changé depuis son "
                               "chiffrement\n");
}

TEST_F(KozDossiers, ANestedFolderRoundTripsByteForByte) {
    const fs::path p = T / "photos";
    fs::create_directories(p / "sous" / "vide");
    fs::create_directories(p / "avec blanc");
    EcrireFichier(p / "gros.bin", OctetsAleatoires(5 << 20, 4));
    EcrireFichier(p / "avec blanc" / "un nom.txt", "bonjour");
    EcrireFichier(p / "sous" / "ligne\nnouvelle", "x");
    EcrireFichier(p / "sous" / "\xff\xfe-pas-utf8", "y");
    fs::create_symlink("../gros.bin", p / "sous" / "lien");
    const auto avant = Arbre(p);

    const TResultat c = Koz_({"chiffrer", "photos"});
    EXPECT_EQ(c.Code, 0) << c.Erreur;
    EXPECT_TRUE(fs::exists(T / "photos.KOZ"));
    fs::rename(p, T / "photos.orig");
    const TResultat d = Koz_({"dechiffrer", "photos.KOZ"});
    EXPECT_EQ(d.Code, 0) << d.Erreur;
    EXPECT_EQ(Arbre(p), avant);
    // Elsewhere with -o; an existing folder is never replaced.
    const TResultat o = Koz_({"dechiffrer", "photos.KOZ", "-o", "copie"});
    EXPECT_EQ(o.Code, 0) << o.Erreur;
    EXPECT_EQ(Arbre(T / "copie").size(), avant.size());
    EXPECT_EQ(Koz_({"dechiffrer", "photos.KOZ", "-o", "copie"}).Code, 1);
    // Over a file, even when asked: the message says why, not to ask.
    EcrireFichier(T / "fichier", "garde");
    const TResultat f = Koz_({"dechiffrer", "photos.KOZ", "-o", "fichier", "--force"});
    EXPECT_EQ(f.Code, 1);
    EXPECT_EQ(f.Erreur, "koz: Le dossier déchiffré ne peut pas prendre le nom \"" + T.Dir() +
                            "fichier\", qui existe déjà : un dossier n'en remplace jamais un autre, ni un fichier. "
                            "Donnez-lui un autre nom\n");
    EXPECT_EQ(LireFichier(T / "fichier"), "garde");
    // No temporary folder is left.
    for (const auto& e : fs::directory_iterator(T.Chemin))
        EXPECT_EQ(e.path().string().find(".koz-temporaire-"), std::string::npos) << e.path();
}

TEST_F(KozDossiers, AFolderClosedToWritingComesBackForItsOwner) {
    // Moving a folder to another parent needs write permission on it: an
    // owner who is not root gets the folder back all the same, closed again,
    // and a restore that fails leaves no temporary tree, however closed.
    if (::geteuid() != 0) GTEST_SKIP() << "switching to another user takes root";
    const uid_t personne = 65534;
    const fs::path p = T / "v";
    fs::create_directories(p / "ro");
    EcrireFichier(p / "a", "a");
    EcrireFichier(p / "ro" / "f", "dedans");
    for (const auto& e : fs::recursive_directory_iterator(T.Chemin)) ASSERT_EQ(::lchown(e.path().c_str(), personne, personne), 0);
    ASSERT_EQ(::chown(T.Chemin.c_str(), personne, personne), 0);
    fs::permissions(p / "ro", fs::perms(0555));
    fs::permissions(p, fs::perms(0555));
    const auto avant = Arbre(p);
    TOptionsLancement o;
    o.Utilisateur = personne;
    auto koz = [&](const std::vector<std::string>& args) { return LancerKoz(args, T.Chemin.string(), o); };
    const TResultat c = koz({"chiffrer", "v"});
    if (c.Code == 125) GTEST_SKIP() << "no such user here";
    ASSERT_EQ(c.Code, 0) << c.Erreur;
    fs::rename(p, T / "v.orig");
    const TResultat d = koz({"dechiffrer", "v.KOZ"});
    EXPECT_EQ(d.Code, 0) << d.Erreur;
    EXPECT_EQ(Arbre(p), avant);
    EXPECT_EQ(fs::status(p).permissions(), fs::perms(0555));
    EXPECT_EQ(koz({"dechiffrer", "v.KOZ"}).Code, 1);  // a folder is never replaced
    for (const auto& e : fs::directory_iterator(T.Chemin))
        EXPECT_EQ(e.path().string().find(".koz-temporaire-"), std::string::npos) << e.path();
}

TEST_F(KozDossiers, TheFolderOfDotIsEncryptedBesideItUnderItsName) {
    fs::create_directory(T / "album");
    EcrireFichier(T / "album/a", "a");
    const TResultat r = LancerKoz({"chiffrer", "."}, (T / "album"));
    EXPECT_EQ(r.Code, 0) << r.Erreur;
    EXPECT_TRUE(fs::exists(T / "album.KOZ"));
    fs::rename(T / "album", T / "album.orig");
    EXPECT_EQ(Koz_({"dechiffrer", "album.KOZ"}).Code, 0);
    EXPECT_EQ(LireFichier(T / "album/a"), "a");
}

TEST_F(KozDossiers, AHostileArchiveUnderTheProgramsOwnKeyIsRefusedWhole) {
    TEntreeTest racine = Dossier("photos");
    racine.Proprietaire = "zymkozchiffre";
    TEntreeTest bon = Fichier("photos/bon.txt", "ok");
    TEntreeTest mauvais = Fichier("photos/../../echappe.txt", "piège");
    EcrireFichier(T / "piege.tar", ArchiveDe({racine, bon, mauvais}));
    ASSERT_TRUE(EstArchiveDossier(reinterpret_cast<const uint8_t*>(LireFichier(T / "piege.tar").data()), 512));
    ASSERT_EQ(Koz_({"chiffrer", "piege.tar"}).Code, 0);
    const TResultat d = Koz_({"dechiffrer", "piege.KOZ", "-o", "sortie"});
    EXPECT_EQ(d.Code, 1);
    EXPECT_EQ(d.Erreur, "koz: L'archive contient une entrée refusée « photos/../../echappe.txt » : chemin hors du dossier\n");
    EXPECT_FALSE(fs::exists(T / "sortie"));
    EXPECT_FALSE(fs::exists(T.Chemin.parent_path() / "echappe.txt"));
    for (const auto& e : fs::directory_iterator(T.Chemin))
        EXPECT_EQ(e.path().string().find(".koz-temporaire-"), std::string::npos) << e.path();
}

TEST_F(KozDossiers, NothingWrittenMayLieInTheFolderEncrypted) {
    fs::create_directory(T / "d");
    EcrireFichier(T / "d/a", "a");
    const TResultat r = Koz_({"chiffrer", "d", "-o", "d/d.KOZ"});
    EXPECT_EQ(r.Code, 1);
    EXPECT_EQ(r.Erreur, "koz: Le fichier chiffré \"" + T.Dir() + "d/d.KOZ\" ne peut pas être dans le dossier à chiffrer\n");
    EXPECT_EQ(Contenu(T.Chemin / "d"), std::set<std::string>{"a"});
    // Nor through a link: the state folder, and an output.
    fs::create_directory(T / "d/s");
    fs::create_directory_symlink("d/s", T / "lien");
    const TResultat etat = Koz_({"chiffrer", "d", "--etat", "lien"});
    EXPECT_EQ(etat.Code, 1);
    EXPECT_EQ(etat.Erreur, "koz: Le dossier d'état \"" + T.Dir() + "lien/\" ne peut pas être dans le dossier à chiffrer\n");
    EXPECT_EQ(Koz_({"chiffrer", "d", "-o", "lien/d.KOZ"}).Code, 1);
    fs::create_directory_symlink("d", T / "lien-d");
    EXPECT_EQ(Koz_({"chiffrer", "d", "--etat", "lien-d"}).Code, 1);  // the folder itself
    EXPECT_EQ(Contenu(T.Chemin / "d"), (std::set<std::string>{"a", "s"}));
    EXPECT_TRUE(fs::is_empty(T / "d/s"));
}

}  // namespace
