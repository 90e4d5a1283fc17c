// The encrypt command as the window and the command line call it: the files
// it leaves in a temporary directory, its messages, and what a failure keeps.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <regex>
#include <set>
#include <string>

#include "commande/KOZNoms.hpp"
#include "cipher/KOZChiffre.hpp"
#include "cipher/KOZSuivi.hpp"
#include "platform/Plateforme.hpp"
#include "platform/KOZErreur.hpp"
#include "state/KOZGrille.hpp"
#include "tests/support/Fichiers.hpp"
#include "tests/support/PlateformeFautive.hpp"
#include "commande/UKOZChiffre.hpp"

namespace fs = std::filesystem;

namespace {

const char* const kTrio[] = {".KGR", ".KEC", ".KPR"};

// The names in a state directory after a successful run: the journal too.
std::set<std::string> AvecJournal(std::set<std::string> noms) {
    noms.insert("KOZ-JOURNAL.txt");
    return noms;
}

unsigned Mode(const std::string& nom) {
    struct stat st;
    EXPECT_EQ(::stat(nom.c_str(), &st), 0) << nom;
    return st.st_mode & 07777;
}

// The three files of a trio, concatenated: equal trios give equal texts.
std::string Trio(const std::string& dir, const std::string& base) {
    std::string tout;
    for (const char* ext : kTrio) tout += LireFichier(dir + base + ext);
    return tout;
}

// The state a trio reaches after the plain bytes, by the grid's own evolution.
// The encoders' draws do not steer the grid, so this is the command's final state.
std::string TrioApres(const std::string& dir, const std::string& base, const std::string& clair) {
    TKOZGrille g;
    g.Charger(dir, base);
    for (char c : clair) g.Evoluer(uint8_t(c));
    const std::string cases(g.Cases().begin(), g.Cases().end());
    return cases + LireFichier(dir + base + ".KEC") + LireFichier(dir + base + ".KPR");
}

// Saves a fresh state as dir + base, and gives it back as Trio does.
std::string SauverEtatNeuf(const std::string& dir, const std::string& base) {
    TKOZGrille g;
    g.Sauver(dir, base);
    return Trio(dir, base);
}

// Runs in another current directory for its lifetime.
class TDansRepertoire {
public:
    explicit TDansRepertoire(const fs::path& dir) : Ancien(fs::current_path()) { fs::current_path(dir); }
    ~TDansRepertoire() { fs::current_path(Ancien); }

private:
    fs::path Ancien;
};

class Chiffrement : public ::testing::Test {
protected:
    std::string Ecrire(const std::string& nom, const std::string& contenu) {
        EcrireFichier(T / nom, contenu);
        return T / nom;
    }
    // An earlier encryption in T: its DEBUT trio is the key to a.KOZ.
    std::string ChiffrementAnterieur() {
        Ecrire("ancien.txt", "un fichier chiffré plus tôt");
        LancerChiffrement(T / "ancien.txt", T / "ancien.KOZ", "", false);
        return Trio(T.Dir(), "DEBUT");
    }
    // Expects f() to raise exactly message.
    template <class F>
    void Echoue(F f, const std::string& message) {
        try {
            f();
            ADD_FAILURE() << "no failure, expected: " << message;
        } catch (const EKOZException& e) {
            EXPECT_EQ(e.what(), message);
        }
    }

    TRepertoireTemporaire T;
};

TEST_F(Chiffrement, FreshRunLeavesDestinationAndBothTriosBesideTheSource) {
    const std::string clair = OctetsAleatoires(3000);
    const std::string source = Ecrire("a.txt", clair);
    const std::string statut = LancerChiffrement(source, T / "a.KOZ", "", false);

    EXPECT_TRUE(std::regex_match(statut, std::regex("^Terminé en [0-9]+ms$"))) << statut;
    EXPECT_EQ(Contenu(T.Chemin), AvecJournal(AvecTrio(AvecTrio({"a.txt", "a.KOZ"}, "DEBUT"), "FIN-CHIFFRE")));
    for (const char* base : {"DEBUT", "FIN-CHIFFRE"}) {
        EXPECT_EQ(fs::file_size(T / (std::string(base) + ".KGR")), 256u);
        EXPECT_EQ(fs::file_size(T / (std::string(base) + ".KEC")), 256u);
        EXPECT_EQ(fs::file_size(T / (std::string(base) + ".KPR")), 1792u);
        for (const char* ext : kTrio) EXPECT_EQ(Mode(T / (base + std::string(ext))), 0600u) << base << ext;
    }
    // Every plain byte became a block of 2 to 4 bytes.
    const auto taille = fs::file_size(T / "a.KOZ");
    EXPECT_GE(taille, 2 * clair.size());
    EXPECT_LE(taille, 4 * clair.size());
    EXPECT_EQ(LireFichier(source), clair);
    // The final state is the saved start evolved by every plain byte in turn.
    EXPECT_EQ(Trio(T.Dir(), "FIN-CHIFFRE"), TrioApres(T.Dir(), "DEBUT", clair));
    EXPECT_NE(LireFichier(T / "FIN-CHIFFRE.KGR"), LireFichier(T / "DEBUT.KGR"));
}

TEST_F(Chiffrement, TwoFreshRunsStartFromDifferentStatesAndTheFirstKeyIsKeptAsDebut1) {
    const std::string premier = ChiffrementAnterieur();
    ::chmod((T / "DEBUT.KGR").c_str(), 0644);
    Ecrire("b.txt", "second");
    LancerChiffrement(T / "b.txt", T / "b.KOZ", "", false);
    EXPECT_NE(Trio(T.Dir(), "DEBUT"), premier);
    EXPECT_EQ(Trio(T.Dir(), "DEBUT-1"), premier);
    EXPECT_EQ(Mode(T / "DEBUT.KGR"), 0600u);
    EXPECT_EQ(Trio(T.Dir(), "FIN-CHIFFRE"), TrioApres(T.Dir(), "DEBUT", "second"));
}

TEST_F(Chiffrement, EmptySourceGivesEmptyDestinationAndFinalStateEqualToTheStart) {
    const std::string source = Ecrire("vide", "");
    LancerChiffrement(source, T / "vide.KOZ", "", true);
    EXPECT_TRUE(fs::exists(T / "vide.KOZ"));
    EXPECT_EQ(fs::file_size(T / "vide.KOZ"), 0u);
    EXPECT_EQ(Trio(T.Dir(), "FIN-CHIFFRE"), Trio(T.Dir(), "DEBUT"));
}

TEST_F(Chiffrement, SecureModeGivesTheSameFinalState) {
    const std::string clair = OctetsAleatoires(2000, 7);
    LancerChiffrement(Ecrire("a.txt", clair), T / "a.KOZ", "", true);
    EXPECT_EQ(Trio(T.Dir(), "FIN-CHIFFRE"), TrioApres(T.Dir(), "DEBUT", clair));
}

// The load branch: the trio beside the grid file, under the grid's base name.
struct CasGrille {
    const char* Grille;  // the name given, relative to the states' directory
    const char* Base;    // the base name of the trio that must be loaded
};

class ChargementGrille : public Chiffrement, public ::testing::WithParamInterface<CasGrille> {};

TEST_P(ChargementGrille, LoadsTheTrioOfTheGridsBaseNameAndWritesNoDebut) {
    fs::create_directory(T / "etats");
    const std::string etats = (T / "etats") + "/";
    const std::string charge = SauverEtatNeuf(etats, GetParam().Base);
    // A decoy under another base name: loading it would show in the result.
    SauverEtatNeuf(etats, "autre");
    const std::string source = Ecrire("vide.txt", "");

    LancerChiffrement(source, T / "vide.KOZ", etats + GetParam().Grille, false);
    EXPECT_EQ(Contenu(T.Chemin), AvecJournal(AvecTrio({"etats", "vide.txt", "vide.KOZ"}, "FIN-CHIFFRE")));
    EXPECT_EQ(Trio(T.Dir(), "FIN-CHIFFRE"), charge);
    EXPECT_EQ(Contenu(T / "etats"), AvecTrio(AvecTrio({}, GetParam().Base), "autre"));
}

INSTANTIATE_TEST_SUITE_P(NomsDeGrille, ChargementGrille,
                         ::testing::Values(CasGrille{"essai.ancien.KGR", "essai.ancien"}, CasGrille{".KGR", ""},
                                           CasGrille{"essai", "essai"}, CasGrille{"essai.KEC", "essai"}));

TEST(NomDeBase, CutsTheExtensionOfTheNamePartOnly) {
    EXPECT_EQ(NomDeBase("/etats/essai.ancien.KGR"), "essai.ancien");
    EXPECT_EQ(NomDeBase("/etats/.KGR"), "");
    EXPECT_EQ(NomDeBase("/etats/essai"), "essai");
    EXPECT_EQ(NomDeBase("essai.KGR"), "essai");
    EXPECT_EQ(NomDeBase("/v1.2/essai"), "essai");
    EXPECT_EQ(NomDeBase("d:essai.KGR"), "d:essai");
}

TEST(NomChiffrePropose, ReplacesTheExtensionByKoz) {
    EXPECT_EQ(NomChiffrePropose("/d/rapport.txt"), "/d/rapport.KOZ");
    EXPECT_EQ(NomChiffrePropose("/d/archive.tar.gz"), "/d/archive.tar.KOZ");
    EXPECT_EQ(NomChiffrePropose("/d/notes"), "/d/notes.KOZ");
    EXPECT_EQ(NomChiffrePropose("/v1.2/notes"), "/v1.2/notes.KOZ");
}

TEST_F(Chiffrement, ChainSecondRunStartsFromTheFirstRunsFinalState) {
    const std::string a = OctetsAleatoires(1500, 1), b = OctetsAleatoires(1500, 2);
    LancerChiffrement(Ecrire("a.txt", a), T / "a.KOZ", "", false);
    const std::string debut = Trio(T.Dir(), "DEBUT");
    const std::string fin1 = Trio(T.Dir(), "FIN-CHIFFRE");
    // Keep the first final state to compute the second from it.
    for (const char* ext : kTrio) fs::copy_file(T / (std::string("FIN-CHIFFRE") + ext), T / (std::string("FIN1") + ext));

    // The grid file is this directory's own FIN-CHIFFRE: loaded first, replaced at the end.
    LancerChiffrement(Ecrire("b.txt", b), T / "b.KOZ", T / "FIN-CHIFFRE.KGR", false);
    EXPECT_EQ(Trio(T.Dir(), "DEBUT"), debut);
    EXPECT_NE(Trio(T.Dir(), "FIN-CHIFFRE"), fin1);
    EXPECT_EQ(Trio(T.Dir(), "FIN-CHIFFRE"), TrioApres(T.Dir(), "FIN1", b));
}

TEST_F(Chiffrement, RelativeSourcePutsTheTriosBesideIt) {
    fs::create_directory(T / "sous");
    Ecrire("a.txt", "ici");
    Ecrire("sous/b.txt", "là");
    TDansRepertoire ici(T.Chemin);
    EXPECT_EQ(RepertoireEtat("a.txt"), T.Dir());
    EXPECT_EQ(RepertoireEtat("sous/b.txt"), T.Dir() + "sous/");
    EXPECT_EQ(RepertoireEtat("sous/../a.txt"), T.Dir());

    LancerChiffrement("a.txt", "a.KOZ", "", false);
    EXPECT_EQ(Contenu(T.Chemin), AvecJournal(AvecTrio(AvecTrio({"a.txt", "a.KOZ", "sous"}, "DEBUT"), "FIN-CHIFFRE")));
    LancerChiffrement("sous/b.txt", "sous/b.KOZ", "", false);
    EXPECT_EQ(Contenu(T / "sous"), AvecJournal(AvecTrio(AvecTrio({"b.txt", "b.KOZ"}, "DEBUT"), "FIN-CHIFFRE")));
}

// Runs that cannot start: nothing is written, and the earlier key stays as it was.
TEST_F(Chiffrement, MissingSourceWritesNothing) {
    const std::string debut = ChiffrementAnterieur();
    const auto avant = Contenu(T.Chemin);
    Echoue([&] { LancerChiffrement(T / "absent.txt", T / "absent.KOZ", "", false); },
           "Impossible d'ouvrir le fichier \"" + (T / "absent.txt") + "\". " + TexteErreur(ENOENT));
    EXPECT_EQ(Contenu(T.Chemin), avant);
    EXPECT_EQ(Trio(T.Dir(), "DEBUT"), debut);
}

TEST_F(Chiffrement, EmptySourceNameWritesNothing) {
    const std::string debut = ChiffrementAnterieur();
    const auto avant = Contenu(T.Chemin);
    const bool racineAvait = fs::exists("/DEBUT.KGR");
    TDansRepertoire ici(T.Chemin);
    Echoue([&] { LancerChiffrement("", "a.KOZ", "", false); },
           "Impossible d'ouvrir le fichier \"\". " + TexteErreur(ENOENT));
    EXPECT_EQ(Contenu(T.Chemin), avant);
    EXPECT_EQ(Trio(T.Dir(), "DEBUT"), debut);
    if (!racineAvait) {
        EXPECT_FALSE(fs::exists("/DEBUT.KGR"));
    }
}

TEST_F(Chiffrement, DestinationThatIsTheSourceWritesNothing) {
    const std::string debut = ChiffrementAnterieur();
    const std::string source = Ecrire("a.txt", "à garder");
    fs::create_symlink(source, T / "lien.txt");
    const auto avant = Contenu(T.Chemin);
    const std::string raison = "Le fichier à chiffrer et le fichier chiffré sont le même fichier";
    for (const std::string& destination : {source, T.Dir() + "./a.txt", T / "lien.txt"}) {
        Echoue([&] { LancerChiffrement(source, destination, "", false); },
               "Impossible de créer le fichier \"" + Plateforme().CheminComplet(destination) + "\". " + raison);
        EXPECT_EQ(Contenu(T.Chemin), avant);
        EXPECT_EQ(LireFichier(source), "à garder");
        EXPECT_EQ(Trio(T.Dir(), "DEBUT"), debut);
    }
}

TEST_F(Chiffrement, DestinationThatCannotBeCreatedWritesNothing) {
    const std::string debut = ChiffrementAnterieur();
    const std::string source = Ecrire("a.txt", "texte");
    fs::create_directory(T / "dossier");
    const auto avant = Contenu(T.Chemin);
    Echoue([&] { LancerChiffrement(source, T / "manque/a.KOZ", "", false); },
           "Impossible de créer le fichier \"" + (T / "manque/a.KOZ") + "\". " + TexteErreur(ENOENT));
    Echoue([&] { LancerChiffrement(source, T / "dossier", "", false); },
           "Impossible de créer le fichier \"" + (T / "dossier") + "\". " + TexteErreur(EISDIR));
    Echoue([&] { LancerChiffrement(source, "", "", false); },
           "Impossible de créer le fichier \"\". " + TexteErreur(ENOENT));
    EXPECT_EQ(Contenu(T.Chemin), avant);
    EXPECT_EQ(Trio(T.Dir(), "DEBUT"), debut);
}

TEST_F(Chiffrement, StateFileThatIsTheSourceOrTheDestinationWritesNothing) {
    const std::string debut = ChiffrementAnterieur();
    const std::string fin = Trio(T.Dir(), "FIN-CHIFFRE");
    const std::string source = Ecrire("a.txt", "texte");
    fs::create_directory(T / "etats");
    const std::string charge = SauverEtatNeuf((T / "etats") + "/", "essai");
    const auto avant = Contenu(T.Chemin);
    const std::string sourceEtat = "Le fichier à chiffrer et le fichier d'état sont le même fichier";
    const std::string destinationEtat = "Le fichier chiffré et le fichier d'état sont le même fichier";

    // A fresh run would write DEBUT over its own source before reading it.
    Echoue([&] { LancerChiffrement(T / "DEBUT.KGR", T / "d.KOZ", "", false); },
           "Impossible de créer le fichier \"" + (T / "DEBUT.KGR") + "\". " + sourceEtat);
    Echoue([&] { LancerChiffrement(T / "FIN-CHIFFRE.KPR", T / "f.KOZ", T / "etats/essai.KGR", false); },
           "Impossible de créer le fichier \"" + (T / "FIN-CHIFFRE.KPR") + "\". " + sourceEtat);
    // The encrypted file would replace the key it needs.
    Echoue([&] { LancerChiffrement(source, T / "DEBUT.KEC", "", false); },
           "Impossible de créer le fichier \"" + (T / "DEBUT.KEC") + "\". " + destinationEtat);
    Echoue([&] { LancerChiffrement(source, T / "etats/essai.KPR", T / "etats/essai.KGR", false); },
           "Impossible de créer le fichier \"" + (T / "etats/essai.KPR") + "\". " + destinationEtat);
    EXPECT_EQ(Contenu(T.Chemin), avant);
    EXPECT_EQ(Trio(T.Dir(), "DEBUT"), debut);
    EXPECT_EQ(Trio(T.Dir(), "FIN-CHIFFRE"), fin);
    EXPECT_EQ(Trio((T / "etats") + "/", "essai"), charge);

    // With a grid the DEBUT trio is not written, so it may be encrypted.
    LancerChiffrement(T / "DEBUT.KGR", T / "d.KOZ", T / "etats/essai.KGR", false);
    EXPECT_EQ(Trio(T.Dir(), "DEBUT"), debut);
}

// Failures of the load: nothing is encrypted, no state is written.
TEST_F(Chiffrement, BrokenGridFileStopsBeforeTheEncryption) {
    fs::create_directory(T / "etats");
    SauverEtatNeuf((T / "etats") + "/", "casse");
    std::string cases(256, '\0');
    for (int i = 0; i < 256; ++i) cases[i] = char(i);
    cases[1] = 0;
    cases[0xFE] = 0x10;
    EcrireFichier(T / "etats/casse.KGR", cases);
    const std::string source = Ecrire("a.txt", "texte");

    Echoue([&] { LancerChiffrement(source, T / "a.KOZ", T / "etats/casse.KGR", false); },
           "La grille n'est plus valide\r\n\r\nManquent = 01 FE\r\nDoublons = 00 10");
    EXPECT_EQ(Contenu(T.Chemin), (std::set<std::string>{"a.txt", "etats"}));
}

TEST_F(Chiffrement, MissingOrShortTrioFileNamesItAndEncryptsNothing) {
    fs::create_directory(T / "etats");
    const std::string etats = (T / "etats") + "/";
    SauverEtatNeuf(etats, "sans-kec");
    fs::remove(T / "etats/sans-kec.KEC");
    SauverEtatNeuf(etats, "sans-kpr");
    fs::remove(T / "etats/sans-kpr.KPR");
    SauverEtatNeuf(etats, "court");
    EcrireFichier(T / "etats/court.KPR", std::string(100, 'x'));
    const std::string source = Ecrire("a.txt", "texte");

    Echoue([&] { LancerChiffrement(source, T / "a.KOZ", etats + "sans-kec.KGR", false); },
           "Impossible d'ouvrir le fichier \"" + etats + "sans-kec.KEC\". " + TexteErreur(ENOENT));
    Echoue([&] { LancerChiffrement(source, T / "a.KOZ", etats + "sans-kpr.KGR", false); },
           "Impossible d'ouvrir le fichier \"" + etats + "sans-kpr.KPR\". " + TexteErreur(ENOENT));
    Echoue([&] { LancerChiffrement(source, T / "a.KOZ", etats + "absent.KGR", false); },
           "Impossible d'ouvrir le fichier \"" + etats + "absent.KGR\". " + TexteErreur(ENOENT));
    Echoue([&] { LancerChiffrement(source, T / "a.KOZ", etats + "court.KGR", false); },
           "Le fichier d'état \"" + etats + "court.KPR\" est trop court : 100 octets au lieu de 1792");
    EXPECT_EQ(Contenu(T.Chemin), (std::set<std::string>{"a.txt", "etats"}));
}

// A run is all or nothing: a failure after the start leaves the folder as it was.
TEST_F(Chiffrement, StateFileThatIsADirectoryStopsBeforeAnythingIsWritten) {
    const std::string source = Ecrire("a.txt", "texte");
    fs::create_directory(T / "DEBUT.KEC");
    Echoue([&] { LancerChiffrement(source, T / "a.KOZ", "", false); },
           "Impossible de créer le fichier \"" + (T / "DEBUT.KEC") + "\". " + TexteErreur(EISDIR));
    EXPECT_EQ(Contenu(T.Chemin), (std::set<std::string>{"a.txt", "DEBUT.KEC"}));
    fs::remove(T / "DEBUT.KEC");
    fs::create_directory(T / "FIN-CHIFFRE.KPR");
    Echoue([&] { LancerChiffrement(source, T / "a.KOZ", "", false); },
           "Impossible de créer le fichier \"" + (T / "FIN-CHIFFRE.KPR") + "\". " + TexteErreur(EISDIR));
    EXPECT_EQ(Contenu(T.Chemin), (std::set<std::string>{"a.txt", "FIN-CHIFFRE.KPR"}));
}

TEST_F(Chiffrement, WriteFailureMidRunLeavesTheFolderAsItWas) {
    const std::string source = Ecrire("a.txt", OctetsAleatoires(3 * kTailleTamponClair));
    TPlateformeFautive fautive;
    fautive.SeulementPour = "a.KOZ";
    // The first buffer's blocks take at least 2 bytes per plain byte: the second cannot fit.
    fautive.EcritureEchoueApres = int64_t(5 * kTailleTamponClair);
    Echoue([&] { LancerChiffrement(source, T / "a.KOZ", "", false); },
           "Impossible d'écrire dans le fichier \"" + (T / "a.KOZ") + "\". " + TexteErreur(ENOSPC));
    EXPECT_EQ(Contenu(T.Chemin), (std::set<std::string>{"a.txt"}));
}

TEST_F(Chiffrement, ALinkThatFailsWhileTheOldKeyIsKeptLeavesNoPartOfIt) {
    // The old DEBUT is linked to DEBUT-1 one file at a time; the second
    // link fails: the first is taken back, and the folder is as it was.
    // (The first six links are the trials that each existing state file can
    // be replaced, made before anything is written.)
    const std::string a = Ecrire("a.txt", "premier");
    LancerChiffrement(a, T / "a.KOZ", "", false);
    const auto avant = Contenu(T.Chemin);
    const std::string cle = LireFichier(T / "DEBUT.KGR") + LireFichier(T / "DEBUT.KEC") + LireFichier(T / "DEBUT.KPR");
    const std::string b = Ecrire("b.txt", "second");
    {
        TPlateformeFautive fautive;
        fautive.LienEnEchec = 8;
        Echoue([&] { LancerChiffrement(b, T / "b.KOZ", "", false); },
               MessageCreation(T / "DEBUT-1.KEC", TexteErreur(EPERM)));
    }
    auto apres = Contenu(T.Chemin);
    EXPECT_EQ(apres.erase("b.txt"), 1u);
    EXPECT_EQ(apres, avant);
    EXPECT_EQ(LireFichier(T / "DEBUT.KGR") + LireFichier(T / "DEBUT.KEC") + LireFichier(T / "DEBUT.KPR"), cle);
    // The next run keeps the old key whole under DEBUT-1.
    LancerChiffrement(b, T / "b.KOZ", "", false);
    EXPECT_EQ(LireFichier(T / "DEBUT-1.KGR") + LireFichier(T / "DEBUT-1.KEC") + LireFichier(T / "DEBUT-1.KPR"), cle);
}

TEST_F(Chiffrement, ReadFailureMidRunReportsTheSourceAndLeavesTheFolderAsItWas) {
    const std::string source = Ecrire("a.txt", OctetsAleatoires(2 * kTailleTamponClair));
    TPlateformeFautive fautive;
    fautive.SeulementPour = "a.txt";
    fautive.LectureEchoueApres = int64_t(kTailleTamponClair);
    Echoue([&] { LancerChiffrement(source, T / "a.KOZ", "", false); },
           "Impossible de lire le fichier \"" + source + "\". " + TexteErreur(EIO));
    EXPECT_EQ(Contenu(T.Chemin), (std::set<std::string>{"a.txt"}));
}

TEST_F(Chiffrement, ProgressReachesTheSizeAndAStopEndsTheRunLikeAFailure) {
    const uint64_t taille = 3 * kTailleTamponClair + 17;
    const std::string source = Ecrire("a.txt", OctetsAleatoires(taille));
    uint64_t dernier = 0, appels = 0;
    TSuivi suivi;
    suivi.Progression = [&](uint64_t fait, uint64_t total) {
        EXPECT_EQ(total, taille);
        EXPECT_GT(fait, dernier);
        dernier = fait;
        ++appels;
    };
    LancerChiffrement(source, T / "a.KOZ", "", false, &suivi);
    EXPECT_EQ(dernier, taille);
    EXPECT_EQ(appels, 4u);

    const auto avant = Contenu(T.Chemin);
    const std::string fin = Trio(T.Dir(), "FIN-CHIFFRE"), debut = Trio(T.Dir(), "DEBUT");
    std::atomic<bool> arret{false};
    TSuivi stop;
    stop.Arret = &arret;
    stop.Progression = [&](uint64_t, uint64_t) { arret = true; };
    try {
        LancerChiffrement(source, T / "b.KOZ", "", false, &stop);
        ADD_FAILURE() << "the run was not stopped";
    } catch (const EKOZInterruption& e) {
        EXPECT_STREQ(e.what(), "Chiffrement interrompu : aucun fichier n'a été modifié");
    }
    EXPECT_EQ(Contenu(T.Chemin), avant);
    EXPECT_EQ(Trio(T.Dir(), "FIN-CHIFFRE"), fin);
    EXPECT_EQ(Trio(T.Dir(), "DEBUT"), debut);
}

// A platform whose tick counter reads the given values in turn.
class TPlateformeHorloge : public TPlateformeFautive {
public:
    TPlateformeHorloge(uint32_t a, uint32_t b) : Lectures{a, b} {}
    uint32_t Ticks() override { return Lectures[std::min<size_t>(Lus++, 1)]; }
    uint32_t Lectures[2];
    size_t Lus = 0;
};

TEST_F(Chiffrement, ElapsedTimeIsTheDifferenceOfTwoTickReadingsAsASignedValue) {
    const std::string source = Ecrire("a.txt", "x");
    struct Cas {
        uint32_t Debut, Fin;
        const char* Texte;
    };
    for (const Cas& c : {Cas{1000, 2342, "Terminé en 1342ms"}, Cas{0xFFFFFF00u, 0x10u, "Terminé en 272ms"},
                         Cas{500, 500, "Terminé en 0ms"}, Cas{10, 5, "Terminé en -5ms"}}) {
        TPlateformeHorloge horloge(c.Debut, c.Fin);
        TChiffrement ch;
        ch.Sources = {source};
        ch.Ecraser = true;
        EXPECT_EQ(Chiffrer(ch).Statut, c.Texte);
        EXPECT_EQ(horloge.Lus, 2u);
    }
}

}  // namespace
