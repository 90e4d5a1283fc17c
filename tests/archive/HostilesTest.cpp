// Archives made to escape or to plant what a folder should not hold: each is
// refused with its exact message and leaves nothing outside the target, no
// special file and no special permission bit inside it.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "commande/KOZArchive.hpp"
#include "tests/archive/Outils.hpp"
#include "tests/support/Fichiers.hpp"

namespace fs = std::filesystem;

namespace {

std::string Refus(const std::string& nom, const std::string& raison) {
    return "L'archive contient une entrée refusée « " + nom + " » : " + raison;
}

// The target "racine" beside a folder "dehors" that must stay empty.
class Extraction : public ::testing::Test {
protected:
    void SetUp() override {
        Racine = T / "racine";
        Dehors = T / "dehors";
        fs::create_directory(Racine);
        fs::create_directory(Dehors);
    }
    // Nothing but the two folders beside each other, "dehors" empty, and
    // only plain files, folders and links without special bits inside.
    void VerifierConfinement() {
        EXPECT_EQ(Contenu(T.Chemin), (std::set<std::string>{"dehors", "racine"}));
        EXPECT_TRUE(fs::is_empty(Dehors));
        for (const auto& [chemin, description] : Arbre(Racine)) {
            EXPECT_EQ(description.find("special"), std::string::npos) << chemin;
            struct stat st;
            ASSERT_EQ(::lstat((Racine + "/" + chemin).c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07000, 0u) << chemin;
        }
    }
    TRepertoireTemporaire T;
    std::string Racine, Dehors;
};

struct TCas {
    const char* Nom;
    std::vector<TEntreeTest> Entrees;
    std::string Message;
};

void PrintTo(const TCas& c, std::ostream* os) { *os << c.Nom; }

class Hostile : public Extraction, public ::testing::WithParamInterface<TCas> {};

TEST_P(Hostile, IsRefusedWithItsMessageAndNothingEscapes) {
    const TCas& c = GetParam();
    std::vector<TEntreeTest> entrees = c.Entrees;
    // An absolute name points into "dehors", where a fault would show.
    for (auto& e : entrees)
        if (e.Nom.rfind("@DEHORS@", 0) == 0) e.Nom = Dehors + e.Nom.substr(8);
    std::string attendu = c.Message;
    if (attendu.find("@DEHORS@") != std::string::npos) attendu.replace(attendu.find("@DEHORS@"), 8, Dehors);
    EXPECT_EQ(Extraire(ArchiveDe(entrees), Racine), attendu);
    VerifierConfinement();
}

INSTANTIATE_TEST_SUITE_P(
    Archives, Hostile,
    ::testing::Values(
        TCas{"CheminAbsolu", {Fichier("@DEHORS@/x")}, Refus("@DEHORS@/x", "chemin absolu")},
        TCas{"Remontee", {Fichier("../dehors/x")}, Refus("../dehors/x", "chemin hors du dossier")},
        TCas{"RemonteeAuMilieu", {Dossier("d/"), Fichier("d/../../dehors/x")},
             Refus("d/../../dehors/x", "chemin hors du dossier")},
        TCas{"RemonteeInoffensiveAussi", {Fichier("d/../x")}, Refus("d/../x", "chemin hors du dossier")},
        TCas{"LienAbsolu", {Dossier("d/"), Symbolique("d/etc", "/etc")}, Refus("d/etc", "lien symbolique hors du dossier")},
        TCas{"LienQuiRemonte", {Dossier("d/"), Symbolique("d/x", "../../x")},
             Refus("d/x", "lien symbolique hors du dossier")},
        TCas{"LienVersLeDessusDuDossier", {Dossier("d/"), Symbolique("d/x", "../x")},
             Refus("d/x", "lien symbolique hors du dossier")},
        TCas{"LienQuiRemonteApresUnNom", {Dossier("d/"), Symbolique("d/x", "y/../../x")},
             Refus("d/x", "lien symbolique hors du dossier")},
        TCas{"LienALaRacine", {Symbolique("x", "y")}, Refus("x", "lien symbolique hors du dossier")},
        TCas{"LienVide", {Dossier("d/"), Symbolique("d/x", "")}, Refus("d/x", "lien symbolique hors du dossier")},
        TCas{"FichierAPresUnLienVersDehors", {Dossier("d/"), Symbolique("d/a", "/tmp"), Fichier("d/a/x")},
             Refus("d/a", "lien symbolique hors du dossier")},
        TCas{"FichierAtraversUnLienInterieur",
             {Dossier("d/"), Dossier("d/sous/"), Symbolique("d/a", "sous"), Fichier("d/a/x")},
             Refus("d/a/x", "chemin à travers un lien symbolique")},
        TCas{"FichierATraversUnFichier", {Fichier("d/f"), Fichier("d/f/x")}, Refus("d/f/x", "chemin à travers un fichier")},
        TCas{"LienPhysiqueVersDehors", {Fichier("d/f"), Physique("d/h", "../dehors/x")},
             Refus("d/h", "lien physique hors de l'archive")},
        TCas{"LienPhysiqueAbsolu", {Physique("d/h", "/etc/passwd")}, Refus("d/h", "lien physique hors de l'archive")},
        TCas{"LienPhysiqueVersUnAbsent", {Fichier("d/f"), Physique("d/h", "d/absent")},
             Refus("d/h", "lien physique hors de l'archive")},
        TCas{"LienPhysiqueVersUnLien", {Dossier("d/"), Symbolique("d/l", "f"), Physique("d/h", "d/l")},
             Refus("d/h", "lien physique hors de l'archive")},
        TCas{"LienPhysiqueVersUnDossier", {Dossier("d/"), Dossier("d/s/"), Physique("d/h", "d/s")},
             Refus("d/h", "lien physique hors de l'archive")},
        TCas{"LienPhysiqueATraversUnLien",
             {Dossier("d/"), Dossier("d/s/"), Fichier("d/s/f"), Symbolique("d/l", "s"), Physique("d/h", "d/l/f")},
             Refus("d/h", "lien physique hors de l'archive")},
        TCas{"PeripheriqueCaractere", {Dossier("d/"), Special("d/null", AE_IFCHR)}, Refus("d/null", "périphérique")},
        TCas{"PeripheriqueBloc", {Dossier("d/"), Special("d/disque", AE_IFBLK)}, Refus("d/disque", "périphérique")},
        TCas{"TubeNomme", {Dossier("d/"), Special("d/tube", AE_IFIFO)}, Refus("d/tube", "tube nommé")},
        TCas{"NomVide", {Fichier(".")}, Refus(".", "nom vide")},
        TCas{"FichierEnDouble", {Fichier("d/f", "un"), Fichier("d/f", "deux")}, Refus("d/f", "existe déjà")},
        TCas{"DossierSurUnFichier", {Fichier("d/f"), Dossier("d/f/")}, Refus("d/f/", "existe déjà")},
        TCas{"FichierSurUnDossier", {Dossier("d/f/"), Fichier("d/f")}, Refus("d/f", "existe déjà")},
        TCas{"LienSurUnFichier", {Fichier("d/f"), Symbolique("d/f", "g")}, Refus("d/f", "existe déjà")}),
    [](const auto& info) { return std::string(info.param.Nom); });

TEST_F(Extraction, TheRefusalComesThroughEcrireBeforeTheRestIsSent) {
    const std::string octets = ArchiveDe({Fichier("../x"), Fichier("d/gros", OctetsAleatoires(4 * 1024 * 1024))});
    TExtractionArchive x(Racine);
    std::string message;
    size_t envoyes = 0;
    try {
        for (; envoyes < octets.size(); envoyes += 4096)
            x.Ecrire(reinterpret_cast<const uint8_t*>(octets.data()) + envoyes, std::min<size_t>(4096, octets.size() - envoyes));
    } catch (const EKOZException& e) {
        message = e.what();
    }
    EXPECT_EQ(message, Refus("../x", "chemin hors du dossier"));
    EXPECT_LT(envoyes, 1024u * 1024u);
    // Fermer reports the same failure; nothing was extracted after it.
    try {
        x.Fermer();
        ADD_FAILURE() << "Fermer accepted";
    } catch (const EKOZException& e) {
        EXPECT_EQ(std::string(e.what()), Refus("../x", "chemin hors du dossier"));
    }
    EXPECT_TRUE(fs::is_empty(Racine));
    VerifierConfinement();
}

TEST_F(Extraction, SpecialBitsAreDroppedNotRefused) {
    ASSERT_EQ(Extraire(ArchiveDe({Dossier("d/", 03775), Fichier("d/suid", "s", 04755), Fichier("d/sgid", "g", 02750),
                                  Dossier("d/collant/", 01777)}),
                       Racine),
              "");
    const auto arbre = Arbre(Racine);
    EXPECT_EQ(arbre.at("d").substr(0, 12), "dossier " + std::to_string(0775) + " ");
    EXPECT_EQ(arbre.at("d/suid").substr(0, 12), "fichier " + std::to_string(0755) + " ");
    EXPECT_EQ(arbre.at("d/sgid").substr(0, 12), "fichier " + std::to_string(0750) + " ");
    EXPECT_EQ(arbre.at("d/collant").substr(0, 12), "dossier " + std::to_string(0777) + " ");
    VerifierConfinement();
}

TEST_F(Extraction, LinksInsideTheirFolderAreKept) {
    ASSERT_EQ(Extraire(ArchiveDe({Dossier("d/"), Dossier("d/s/"), Fichier("d/f", "contenu"), Symbolique("d/s/haut", "../f"),
                                  Symbolique("d/s/ici", "./x/y"), Physique("d/s/h", "d/f")}),
                       Racine),
              "");
    EXPECT_EQ(fs::read_symlink(Racine + "/d/s/haut"), "../f");
    EXPECT_EQ(fs::read_symlink(Racine + "/d/s/ici"), "./x/y");
    EXPECT_EQ(LireFichier(Racine + "/d/s/haut"), "contenu");
    EXPECT_TRUE(fs::equivalent(Racine + "/d/s/h", Racine + "/d/f"));
    VerifierConfinement();
}

TEST_F(Extraction, ParentsMissingFromTheArchiveAreMadeAndADotRootIsAccepted) {
    ASSERT_EQ(Extraire(ArchiveDe({Dossier("./"), Fichier("./a/b/c", "x"), Dossier("a/", 0750)}), Racine), "");
    EXPECT_EQ(LireFichier(Racine + "/a/b/c"), "x");
    EXPECT_EQ(fs::status(Racine + "/a").permissions(), fs::perms(0750));
    EXPECT_EQ(fs::status(Racine + "/a/b").permissions(), fs::perms(0755));
}

// An existing name is never replaced without the flag; with it, files and
// links are, folders never.
TEST_F(Extraction, ExistingNamesNeedTheFlag) {
    fs::create_directories(Racine + "/d/garde");
    EcrireFichier(Racine + "/d/f", "avant");
    const std::string remplace = ArchiveDe({Fichier("d/f", "après")});
    EXPECT_EQ(Extraire(remplace, Racine), Refus("d/f", "existe déjà"));
    EXPECT_EQ(LireFichier(Racine + "/d/f"), "avant");
    EXPECT_EQ(Extraire(ArchiveDe({Dossier("d/")}), Racine), Refus("d/", "existe déjà"));

    EXPECT_EQ(Extraire(remplace, Racine, true), "");
    EXPECT_EQ(LireFichier(Racine + "/d/f"), "après");
    EXPECT_EQ(Extraire(ArchiveDe({Dossier("d/", 0700), Fichier("d/nouveau")}), Racine, true), "");
    EXPECT_TRUE(fs::exists(Racine + "/d/nouveau"));
    EXPECT_EQ(fs::status(Racine + "/d").permissions(), fs::perms(0700));
    EXPECT_EQ(Extraire(ArchiveDe({Fichier("d/garde")}), Racine, true), Refus("d/garde", "existe déjà"));
    EXPECT_TRUE(fs::is_directory(Racine + "/d/garde"));
    EXPECT_EQ(Extraire(ArchiveDe({Dossier("d/f/")}), Racine, true), Refus("d/f/", "existe déjà"));
    VerifierConfinement();
}

TEST_F(Extraction, BytesThatAreNoArchiveOrACutOneAreRefused) {
    const std::string invalide = "L'archive est invalide ou incomplète";
    EXPECT_EQ(Extraire(OctetsAleatoires(5000), Racine), invalide);
    const std::string entiere = ArchiveDe({Dossier("d/"), Fichier("d/f", OctetsAleatoires(100000))});
    EXPECT_EQ(Extraire(entiere.substr(0, 50000), Racine), invalide);
    // Bytes after the end of the archive are ignored.
    SupprimerArborescence(Racine + "/d");
    EXPECT_EQ(Extraire(entiere + std::string(20000, '\0') + "fin", Racine), "");
    EXPECT_EQ(LireFichier(Racine + "/d/f").size(), 100000u);
    VerifierConfinement();
}

TEST_F(Extraction, DroppingItMidwayStopsTheWorker) {
    const std::string octets = ArchiveDe({Fichier("d/gros", OctetsAleatoires(2 * 1024 * 1024))});
    {
        TExtractionArchive x(Racine);
        x.Ecrire(reinterpret_cast<const uint8_t*>(octets.data()), octets.size() / 2);
        // No Fermer: the failure path of a decryption that stopped.
    }
    EXPECT_TRUE(fs::exists(Racine + "/d/gros"));
    EXPECT_LT(fs::file_size(Racine + "/d/gros"), 2u * 1024 * 1024);
    VerifierConfinement();
}

TEST_F(Extraction, TheTemporaryTreeIsRemovedWithoutFollowingLinks) {
    fs::create_directories(Racine + "/a/b");
    EcrireFichier(Dehors + "/garde", "intact");
    EcrireFichier(Racine + "/a/b/f", "x");
    fs::create_symlink(Dehors, Racine + "/a/vers-dehors");
    fs::create_symlink(Dehors + "/garde", Racine + "/a/b/vers-fichier");
    ::chmod((Racine + "/a/b").c_str(), 0);
    EXPECT_TRUE(SupprimerArborescence(Racine));
    EXPECT_FALSE(fs::exists(Racine));
    EXPECT_EQ(LireFichier(Dehors + "/garde"), "intact");
    EXPECT_TRUE(SupprimerArborescence(Racine));  // already gone
}

}  // namespace
