// The koz binary end to end: exit statuses, the exact texts on stdout and
// stderr, and the files each run leaves in its directory.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <thread>

#include "tests/support/Fichiers.hpp"
#include "tests/support/Processus.hpp"
#include "platform/Plateforme.hpp"

namespace fs = std::filesystem;

namespace {

const char* const kTrio[] = {".KGR", ".KEC", ".KPR"};

std::string Trio(const fs::path& dir, const std::string& base) {
    std::string tout;
    for (const char* ext : kTrio) tout += LireFichier((dir / (base + ext)).string());
    return tout;
}

unsigned Mode(const fs::path& nom) {
    struct stat st;
    EXPECT_EQ(::stat(nom.c_str(), &st), 0) << nom;
    return st.st_mode & 07777;
}

std::string Usage(const std::string& message, const std::string& commande) {
    return "koz: " + message + "\nEssayez « " + commande + " --help ».\n";
}

class Koz : public ::testing::Test, protected TDossierKoz {
protected:
    void Succes(const TResultat& r) {
        EXPECT_EQ(r.Code, 0) << r.Erreur;
        EXPECT_TRUE(std::regex_match(r.Sortie, std::regex("^Terminé en [0-9]+ms\n$"))) << r.Sortie;
        // An older key kept under a new name is said; nothing else.
        EXPECT_EQ(std::regex_replace(r.Erreur, std::regex("koz: L'ancien trio [^\n]* a été gardé sous [^\n]*\n"), ""), "");
    }
    void Echec(const TResultat& r, const std::string& message) {
        EXPECT_EQ(r.Code, 1);
        EXPECT_EQ(r.Sortie, "");
        EXPECT_EQ(r.Erreur, "koz: " + message + "\n");
    }
};

TEST_F(Koz, VersionOfTheCommandAndOfEachSubcommand) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--version"}, {"chiffrer", "--version"}, {"verifier", "--version"}, {"dechiffrer", "--version"}}) {
        const TResultat r = Koz_(args);
        EXPECT_EQ(r.Code, 0) << args.front();
        EXPECT_EQ(r.Sortie, "koz " KOZ_VERSION "\n");
        EXPECT_EQ(r.Erreur, "");
    }
    EXPECT_STREQ(KOZ_VERSION, "1.0.0");
    EXPECT_TRUE(Contenu(T.Chemin).empty());
}

TEST_F(Koz, HelpOfTheCommandAndOfEachSubcommandInFrench) {
    struct Cas {
        std::vector<std::string> Args;
        std::vector<std::string> Contient;
    };
    for (const Cas& c : std::vector<Cas>{
             {{"--help"},
              {"Utilisation : koz [OPTIONS] COMMANDE", "Commandes:", "chiffrer", "verifier", "dechiffrer", "Codes de sortie"}},
             {{"-h"}, {"Utilisation : koz"}},
             {{"chiffrer", "--help"},
              {"Utilisation : koz chiffrer [OPTIONS] SOURCE", "-o,--sortie DESTINATION", "-g,--grille GRILLE.KGR",
               "-s,--securise", "SOURCE ... (obligatoire)", "-f,--force", "--etat DOSSIER"}},
             {{"verifier", "-h"}, {"Utilisation : koz verifier [OPTIONS] FICHIER"}},
             {{"dechiffrer", "--help"},
              {"Utilisation : koz dechiffrer [OPTIONS] FICHIER.KOZ...", "-g,--grille GRILLE.KGR", "--fin FIN.KGR",
               "--sauver-fin BASE", "--force", "--sans-verification", "--garder-partiel"}}}) {
        const TResultat r = Koz_(c.Args);
        EXPECT_EQ(r.Code, 0);
        EXPECT_EQ(r.Erreur, "");
        for (const auto& texte : c.Contient) EXPECT_NE(r.Sortie.find(texte), std::string::npos) << texte << "\n" << r.Sortie;
        EXPECT_NE(r.Sortie.find("Affiche cette aide et quitte"), std::string::npos);
        EXPECT_EQ(r.Sortie.find("Print this help"), std::string::npos);
    }
    EXPECT_TRUE(Contenu(T.Chemin).empty());
}

TEST_F(Koz, UsageErrorsExitTwoWithAHintAndWriteNothing) {
    Ecrire("a.txt", "texte");
    struct Cas {
        std::vector<std::string> Args;
        std::string Message;
        std::string Commande;
    };
    for (const Cas& c : std::vector<Cas>{
             {{}, "une commande est attendue (chiffrer, verifier, dechiffrer)", "koz"},
             {{"bla"}, "commande inconnue « bla » (chiffrer, verifier, dechiffrer)", "koz"},
             {{"--bidule"}, "option inconnue « --bidule »", "koz"},
             {{"chiffrer"}, "SOURCE est obligatoire", "koz chiffrer"},
             {{"chiffrer", "a.txt", "a.txt", "-o", "x"}, "--sortie ne va qu'avec un seul fichier à chiffrer",
              "koz chiffrer"},
             {{"chiffrer", "a.txt", "-o"}, "--sortie : valeur manquante", "koz chiffrer"},
             {{"chiffrer", "a.txt", "--bidule"}, "argument inattendu : --bidule", "koz chiffrer"},
             {{"chiffrer", "a.txt", "-o", ""}, "--sortie : le nom de fichier est vide", "koz chiffrer"},
             {{"chiffrer", "a.txt", "-g", ""}, "--grille : le nom de fichier est vide", "koz chiffrer"},
             {{"chiffrer", "-"}, "l'entrée standard (-) demande --sortie : le fichier chiffré doit être nommé",
              "koz chiffrer"},
             {{"verifier"}, "FICHIER est obligatoire", "koz verifier"},
             {{"dechiffrer", "-g", "DEBUT.KGR"}, "FICHIER.KOZ est obligatoire", "koz dechiffrer"},
             {{"dechiffrer", "a.txt", "a.txt", "-g", "DEBUT.KGR", "-o", "x"},
              "--sortie ne va qu'avec un seul fichier chiffré", "koz dechiffrer"},
             {{"dechiffrer", "a.txt", "-g", "DEBUT.KGR", "--fin", ""}, "--fin : le nom de fichier est vide",
              "koz dechiffrer"},
             {{"verifier", ""}, "FICHIER : le nom de fichier est vide", "koz verifier"}}) {
        const TResultat r = Koz_(c.Args);
        EXPECT_EQ(r.Code, 2) << c.Message;
        EXPECT_EQ(r.Sortie, "");
        EXPECT_EQ(r.Erreur, Usage(c.Message, c.Commande));
    }
    EXPECT_EQ(Contenu(T.Chemin), std::set<std::string>{"a.txt"});
}

TEST_F(Koz, EncryptsBesideTheSourceWithTheProposedName) {
    Ecrire("a.txt", OctetsAleatoires(5000));
    Succes(Koz_({"chiffrer", "a.txt"}));
    EXPECT_EQ(Contenu(T.Chemin), AvecTrio(AvecTrio({"a.txt", "a.KOZ", "KOZ-JOURNAL.txt"}, "DEBUT"), "FIN-CHIFFRE"));
    for (const std::string base : {"DEBUT", "FIN-CHIFFRE"}) {
        EXPECT_EQ(fs::file_size(T / (base + ".KGR")), 256u);
        EXPECT_EQ(fs::file_size(T / (base + ".KEC")), 256u);
        EXPECT_EQ(fs::file_size(T / (base + ".KPR")), 1792u);
        for (const char* ext : kTrio) EXPECT_EQ(Mode(T / (base + ext)), 0600u) << base << ext;
    }
    const auto taille = fs::file_size(T / "a.KOZ");
    EXPECT_GE(taille, 10000u);
    EXPECT_LE(taille, 20000u);
    EXPECT_NE(LireFichier(T / "DEBUT.KGR"), LireFichier(T / "FIN-CHIFFRE.KGR"));
}

TEST_F(Koz, DestinationNameDefaultsAndOptions) {
    Ecrire("archive.tar.gz", "x");
    Ecrire("notes", "y");
    Ecrire("c.txt", "z");
    Succes(Koz_({"chiffrer", "archive.tar.gz"}));
    Succes(Koz_({"chiffrer", "notes", "--securise"}));
    Succes(Koz_({"chiffrer", "c.txt", "-s", "--sortie", "ailleurs.bin"}));
    EXPECT_TRUE(fs::exists(T / "archive.tar.KOZ"));
    EXPECT_TRUE(fs::exists(T / "notes.KOZ"));
    EXPECT_TRUE(fs::exists(T / "ailleurs.bin"));
    EXPECT_FALSE(fs::exists(T / "c.KOZ"));
}

TEST_F(Koz, RelativeSourceInASubdirectoryPutsTheTriosThere) {
    fs::create_directory(T / "sous");
    Ecrire("sous/b.txt", "dans le sous-dossier");
    Succes(Koz_({"chiffrer", "sous/b.txt"}));
    EXPECT_EQ(Contenu(T.Chemin), std::set<std::string>{"sous"});
    EXPECT_EQ(Contenu(T / "sous"), AvecTrio(AvecTrio({"b.txt", "b.KOZ", "KOZ-JOURNAL.txt"}, "DEBUT"), "FIN-CHIFFRE"));
}

TEST_F(Koz, EmptySourceEndsInTheStateItStartedFrom) {
    Ecrire("vide", "");
    Succes(Koz_({"chiffrer", "vide"}));
    EXPECT_EQ(fs::file_size(T / "vide.KOZ"), 0u);
    EXPECT_EQ(Trio(T.Chemin, "FIN-CHIFFRE"), Trio(T.Chemin, "DEBUT"));
}

TEST_F(Koz, ChainContinuesFromFinChiffreWithoutWritingDebut) {
    Ecrire("a.txt", OctetsAleatoires(2000, 1));
    Ecrire("b.txt", OctetsAleatoires(2000, 2));
    Succes(Koz_({"chiffrer", "a.txt"}));
    const std::string debut = Trio(T.Chemin, "DEBUT"), fin1 = Trio(T.Chemin, "FIN-CHIFFRE");
    // The FIN-CHIFFRE loaded is b.KOZ's key: replaced, it is kept as FIN-CHIFFRE-1.
    const TResultat r = Koz_({"chiffrer", "b.txt", "-g", "FIN-CHIFFRE.KGR"});
    EXPECT_EQ(r.Code, 0);
    EXPECT_EQ(r.Erreur, "koz: L'ancien trio FIN-CHIFFRE a été gardé sous FIN-CHIFFRE-1 dans \"" + T.Dir() + "\"\n");
    EXPECT_EQ(Trio(T.Chemin, "DEBUT"), debut);
    EXPECT_NE(Trio(T.Chemin, "FIN-CHIFFRE"), fin1);
    EXPECT_EQ(Trio(T.Chemin, "FIN-CHIFFRE-1"), fin1);
    EXPECT_EQ(Contenu(T.Chemin), AvecTrio(AvecTrio(AvecTrio({"a.txt", "a.KOZ", "b.txt", "b.KOZ", "KOZ-JOURNAL.txt"}, "DEBUT"),
                                                   "FIN-CHIFFRE"),
                                          "FIN-CHIFFRE-1"));
}

// Runs that cannot start: exit 1, and an earlier key in the directory untouched.
TEST_F(Koz, RunsThatCannotStartLeaveTheEarlierKeyAlone) {
    Ecrire("ancien.txt", "chiffré plus tôt");
    Succes(Koz_({"chiffrer", "ancien.txt"}));
    const std::string debut = Trio(T.Chemin, "DEBUT");
    Ecrire("a.txt", "à garder");
    const auto avant = Contenu(T.Chemin);
    const std::string dir = T.Dir();
    const std::string meme = "Le fichier à chiffrer et le fichier chiffré sont le même fichier";

    Echec(Koz_({"chiffrer", "absent.txt"}),
          "Impossible d'ouvrir le fichier \"" + dir + "absent.txt\". " + TexteErreur(ENOENT));
    Echec(Koz_({"chiffrer", "a.txt", "-o", "a.txt"}), "Impossible de créer le fichier \"" + dir + "a.txt\". " + meme);
    Echec(Koz_({"chiffrer", "a.txt", "-o", "./a.txt"}), "Impossible de créer le fichier \"" + dir + "a.txt\". " + meme);
    Echec(Koz_({"chiffrer", "a.txt", "-o", "manque/a.KOZ"}),
          "Impossible de créer le fichier \"" + dir + "manque/a.KOZ\". " + TexteErreur(ENOENT));
    Echec(Koz_({"chiffrer", "a.txt", "-o", "DEBUT.KPR"}),
          "Impossible de créer le fichier \"" + dir +
              "DEBUT.KPR\". Le fichier chiffré et le fichier d'état sont le même fichier");
    EXPECT_EQ(Contenu(T.Chemin), avant);
    EXPECT_EQ(Trio(T.Chemin, "DEBUT"), debut);
    EXPECT_EQ(LireFichier(T / "a.txt"), "à garder");
}

TEST_F(Koz, BrokenOrIncompleteGridStopsBeforeAnyEncryption) {
    Ecrire("a.txt", OctetsAleatoires(100));
    Succes(Koz_({"chiffrer", "a.txt"}));
    fs::create_directory(T / "etats");
    for (const char* base : {"casse", "sans-kec"})
        for (const char* ext : kTrio) fs::copy_file(T / (std::string("DEBUT") + ext), T.Chemin / "etats" / (base + std::string(ext)));
    std::string cases(256, '\0');
    for (int i = 0; i < 256; ++i) cases[size_t(i)] = char(i);
    cases[1] = 0;
    EcrireFichier(T / "etats/casse.KGR", cases);
    fs::remove(T / "etats/sans-kec.KEC");
    Ecrire("b.txt", "texte");
    const auto avant = Contenu(T.Chemin);
    const std::string fin = Trio(T.Chemin, "FIN-CHIFFRE");

    // The grid's message holds CR LF pairs; koz shows them as plain line ends.
    Echec(Koz_({"chiffrer", "b.txt", "-g", "etats/casse.KGR"}),
          "La grille n'est plus valide\n\nManquent = 01\nDoublons = 00");
    Echec(Koz_({"chiffrer", "b.txt", "-g", "etats/sans-kec.KGR"}),
          "Impossible d'ouvrir le fichier \"" + T.Dir() + "etats/sans-kec.KEC\". " + TexteErreur(ENOENT));
    EXPECT_EQ(Contenu(T.Chemin), avant);
    EXPECT_EQ(Trio(T.Chemin, "FIN-CHIFFRE"), fin);
}

TEST_F(Koz, StateFileThatCannotBeCreatedExitsOne) {
    Ecrire("a.txt", "texte");
    fs::create_directory(T / "DEBUT.KGR");
    Echec(Koz_({"chiffrer", "a.txt"}),
          "Impossible de créer le fichier \"" + T.Dir() + "DEBUT.KGR\". " + TexteErreur(EISDIR));
    EXPECT_EQ(Contenu(T.Chemin), (std::set<std::string>{"a.txt", "DEBUT.KGR"}));
}

TEST_F(Koz, VerifierReportsASoundTrioOrWhatIsWrong) {
    Ecrire("a.txt", "texte");
    Succes(Koz_({"chiffrer", "a.txt"}));
    const std::string d = T.Dir();
    const std::string valide = "Trio valide : « " + d + "DEBUT.KGR », « " + d + "DEBUT.KEC » et « " + d + "DEBUT.KPR »\n";
    for (const std::string& grille : std::vector<std::string>{"DEBUT.KGR", "DEBUT", d + "DEBUT.KGR"}) {
        const TResultat r = Koz_({"verifier", grille});
        EXPECT_EQ(r.Code, 0) << r.Erreur;
        EXPECT_EQ(r.Sortie, valide);
        EXPECT_EQ(r.Erreur, "");
    }
    const auto avant = Contenu(T.Chemin);

    std::string cases = LireFichier(T / "FIN-CHIFFRE.KGR");
    const auto p = cases.find(char(0x20));
    cases[p] = char(0x21 == uint8_t(cases[(p + 1) % 256]) ? 0x22 : 0x21);
    EcrireFichier(T / "FIN-CHIFFRE.KGR", cases);
    const TResultat casse = Koz_({"verifier", "FIN-CHIFFRE.KGR"});
    EXPECT_EQ(casse.Code, 1);
    EXPECT_EQ(casse.Sortie, "");
    EXPECT_TRUE(std::regex_match(casse.Erreur, std::regex("koz: La grille n'est plus valide\n\nManquent = 20\nDoublons = 2[12]\n")))
        << casse.Erreur;

    fs::remove(T / "DEBUT.KPR");
    Echec(Koz_({"verifier", "DEBUT.KGR"}), "Impossible d'ouvrir le fichier \"" + d + "DEBUT.KPR\". " + TexteErreur(ENOENT));
    Echec(Koz_({"verifier", "absent.KGR"}), "Impossible d'ouvrir le fichier \"" + d + "absent.KGR\". " + TexteErreur(ENOENT));
    auto apres = avant;
    apres.erase("DEBUT.KPR");
    EXPECT_EQ(Contenu(T.Chemin), apres);
}

// Decryption: a chain of runs read back from the first DEBUT.
TEST_F(Koz, ChainOfThreeRunsIsReadBackFromDebut) {
    const std::string a = OctetsAleatoires(200000, 1), b = "", c = OctetsAleatoires(3000, 3);
    Ecrire("a.bin", a);
    Ecrire("b.bin", b);
    Ecrire("c.bin", c);
    Succes(Koz_({"chiffrer", "a.bin"}));
    Succes(Koz_({"chiffrer", "b.bin", "-g", "FIN-CHIFFRE.KGR", "-s"}));
    Succes(Koz_({"chiffrer", "c.bin", "-g", "FIN-CHIFFRE.KGR"}));
    for (const char* f : {"a.bin", "b.bin", "c.bin"}) fs::rename(T / f, T / (std::string(f) + ".orig"));

    const TResultat chaine = Koz_({"dechiffrer", "a.KOZ", "b.KOZ", "c.KOZ", "-g", "DEBUT.KGR", "--fin",
                                   "FIN-CHIFFRE.KGR", "--sauver-fin", "ATTEINT"});
    EXPECT_EQ(chaine.Code, 0) << chaine.Erreur;
    EXPECT_TRUE(std::regex_match(chaine.Sortie, std::regex("^a.KOZ -> a \\(vérifié\\)\nb.KOZ -> b \\(vérifié\\)\n"
                                                           "c.KOZ -> c \\(vérifié\\)\nTerminé en [0-9]+ms\n$")))
        << chaine.Sortie;
    EXPECT_EQ(LireFichier(T / "a"), a);
    EXPECT_EQ(LireFichier(T / "b"), b);
    EXPECT_TRUE(fs::exists(T / "b"));
    EXPECT_EQ(LireFichier(T / "c"), c);
    EXPECT_EQ(Trio(T.Chemin, "ATTEINT"), Trio(T.Chemin, "FIN-CHIFFRE"));

    // The last file alone, from the wrong start: the journal knows its key.
    Echec(Koz_({"dechiffrer", "c.KOZ", "-g", "ATTEINT.KGR", "-o", "autre"}),
          "La grille \"" + T.Dir() + "ATTEINT.KGR\" n'est pas la clé de \"" + T.Dir() + "c.KOZ\" : sa clé est \"" +
              T.Dir() + "FIN-CHIFFRE-2.KGR\"");
    EXPECT_FALSE(fs::exists(T / "autre"));
    // Without -g the journal finds it, and says which it used.
    const TResultat seul = Koz_({"dechiffrer", "c.KOZ", "-o", "autre"});
    EXPECT_EQ(seul.Code, 0) << seul.Erreur;
    EXPECT_EQ(seul.Erreur, "koz: Clé de \"" + T.Dir() + "c.KOZ\" : \"" + T.Dir() + "FIN-CHIFFRE-2.KGR\"\n");
    EXPECT_EQ(LireFichier(T / "autre"), c);
}

TEST_F(Koz, DecryptionKeepsAnExistingOutputUnlessForced) {
    const std::string clair = OctetsAleatoires(5000, 9);
    Ecrire("a.bin", clair);
    Succes(Koz_({"chiffrer", "a.bin", "-o", "a.KOZ"}));
    Ecrire("a", "à ne pas perdre");

    Echec(Koz_({"dechiffrer", "a.KOZ", "-g", "DEBUT.KGR"}), "Le fichier déchiffré \"" + T.Dir() + "a\" existe déjà : --force le remplace");
    EXPECT_EQ(LireFichier(T / "a"), "à ne pas perdre");
    Succes(Koz_({"dechiffrer", "a.KOZ", "-g", "DEBUT.KGR", "--force"}));
    EXPECT_EQ(LireFichier(T / "a"), clair);
}

TEST_F(Koz, DecryptionAgainstTheWrongFinalStateExitsOne) {
    Ecrire("a.bin", OctetsAleatoires(5000, 4));
    Succes(Koz_({"chiffrer", "a.bin"}));
    Echec(Koz_({"dechiffrer", "a.KOZ", "-g", "DEBUT.KGR", "--fin", "DEBUT.KGR", "--sauver-fin", "ATTEINT"}),
          "L'état atteint ne correspond pas à l'état \"" + T.Dir() +
              "DEBUT.KGR\" : mauvaise grille de départ ou fichier chiffré altéré");
    EXPECT_FALSE(fs::exists(T / "ATTEINT.KGR"));
}

// The progress line: only on a terminal, only for a large source, erased at the end.
TEST_F(Koz, NoProgressWhenStderrIsNotATerminal) {
    Ecrire("gros.bin", OctetsAleatoires(2 << 20));
    Succes(Koz_({"chiffrer", "gros.bin"}));
}

TEST_F(Koz, ProgressOnATerminalIsDrawnThenErased) {
    Ecrire("gros.bin", OctetsAleatoires(2 << 20));
    TOptionsLancement terminal;
    terminal.ErreurSurTerminal = true;
    const TResultat r = Koz_({"chiffrer", "gros.bin"}, terminal);
    EXPECT_EQ(r.Code, 0);
    EXPECT_TRUE(std::regex_match(r.Sortie, std::regex("^Terminé en [0-9]+ms\n$"))) << r.Sortie;
    EXPECT_TRUE(std::regex_search(r.Erreur, std::regex("^\r +[0-9]+ %  [0-9]+,[0-9] Mo / 2,1 Mo  [0-9]+,[0-9] Mo/s")))
        << r.Erreur;
    // The last thing written blanks the line and puts the cursor back at its start.
    EXPECT_TRUE(std::regex_search(r.Erreur, std::regex("\r +\r$"))) << r.Erreur;
    EXPECT_EQ(r.Erreur.find('\n'), std::string::npos);

    Ecrire("petit.bin", OctetsAleatoires(100000));
    fs::create_directory(T / "sous");
    const TResultat petit = Koz_({"chiffrer", "petit.bin", "--etat", "sous"}, terminal);
    EXPECT_EQ(petit.Code, 0);
    EXPECT_EQ(petit.Erreur, "");
}

TEST_F(Koz, CtrlCStopsCleanlyWithStatus130) {
    Ecrire("gros.bin", OctetsAleatoires(8 << 20));
    TOptionsLancement o;
    o.Pendant = [&](pid_t pid) {
        // Once the first blocks are on disk, under the temporary name, the encryption is under way.
        const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        auto commence = [&] {
            std::error_code e;
            for (const auto& f : fs::directory_iterator(T.Chemin, e))
                if (f.path().filename().string().rfind("gros.KOZ.koz-temporaire-", 0) == 0 && f.file_size(e) > 0)
                    return true;
            return false;
        };
        while (std::chrono::steady_clock::now() < limite && !commence())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ::kill(pid, SIGINT);
    };
    const TResultat r = Koz_({"chiffrer", "gros.bin"}, o);
    EXPECT_EQ(r.Code, 130);
    EXPECT_EQ(r.Sortie, "");
    EXPECT_EQ(r.Erreur, "koz: Chiffrement interrompu : aucun fichier n'a été modifié\n");
    // All or nothing: the folder is as it was, the temporary files removed.
    EXPECT_EQ(Contenu(T.Chemin), std::set<std::string>{"gros.bin"});
}

}  // namespace
