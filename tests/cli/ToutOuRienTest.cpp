// koz as a user meets it on real files: runs killed at any instant, two runs
// at once, existing files, links, pipes and standard output, signals. What
// the folder holds afterwards is the test.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <thread>

#include "cipher/KOZDechiffre.hpp"
#include "tests/support/Fichiers.hpp"
#include "tests/support/Processus.hpp"

namespace fs = std::filesystem;

namespace {

const char* const kTrio[] = {".KGR", ".KEC", ".KPR"};

std::map<std::string, std::string> Instantane(const fs::path& dir) {
    std::map<std::string, std::string> tout;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file() && !fs::is_symlink(e.path())) tout[e.path().filename().string()] = LireFichier(e.path().string());
    return tout;
}

std::string Trio(const fs::path& dir, const std::string& base) {
    std::string tout;
    for (const char* ext : kTrio) tout += LireFichier((dir / (base + ext)).string());
    return tout;
}

// The plain bytes an encrypted file gives back from the trio dir + base, or
// nothing when it does not read to its end.
std::optional<std::string> Relire(const fs::path& chiffre, const fs::path& dir, const std::string& base) {
    try {
        TKOZDechiffre d(dir.string() + "/", base);
        const std::string octets = LireFichier(chiffre.string());
        TFluxMemoireLecture source(reinterpret_cast<const uint8_t*>(octets.data()), octets.size());
        TFluxMemoireEcriture sortie;
        d.DechiffrerFlux(source, sortie, chiffre.string());
        return sortie.Contenu;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// Waits until a temporary file of the run shows in dir: the run holds its lock and is writing.
void AttendreTemporaire(const fs::path& dir) {
    const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < limite) {
        std::error_code e;
        for (const auto& f : fs::directory_iterator(dir, e))
            if (f.path().filename().string().find(".koz-temporaire-") != std::string::npos) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

class ToutOuRien : public ::testing::Test, protected TDossierKoz {
protected:
    // Sets or clears the immutable flag of a file; false where the file
    // system has no such flag (or the process may not set it).
    static bool Proteger(const std::string& nom, bool oui) {
        const int fd = ::open(nom.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        int drapeaux = 0;
        bool fait = ::ioctl(fd, FS_IOC_GETFLAGS, &drapeaux) == 0;
        drapeaux = oui ? (drapeaux | FS_IMMUTABLE_FL) : (drapeaux & ~FS_IMMUTABLE_FL);
        fait = fait && ::ioctl(fd, FS_IOC_SETFLAGS, &drapeaux) == 0;
        ::close(fd);
        return fait;
    }
    // Runs koz with args while another koz encrypts gros.bin in the folder,
    // once that one holds the folder's lock; checks that the encryption went
    // through, and returns what the run given args did.
    TResultat PendantUnChiffrement(const std::vector<std::string>& args) {
        TResultat pendant;
        TOptionsLancement o;
        o.Pendant = [&](pid_t) {
            AttendreTemporaire(T.Chemin);
            pendant = Koz_(args);
        };
        const TResultat gros = Koz_({"chiffrer", "gros.bin"}, o);
        EXPECT_EQ(gros.Code, 0) << gros.Erreur;
        return pendant;
    }
    // Stops the run after 30 s (SIGKILL, status 137), so that a run that
    // never ends fails its test instead of holding the suite.
    static TOptionsLancement Borne30s() {
        TOptionsLancement o;
        o.Pendant = AttendreFin;
        return o;
    }
    static void AttendreFin(pid_t pid) {
        for (int i = 0; i < 300; ++i) {
            siginfo_t fin{};
            if (::waitid(P_PID, id_t(pid), &fin, WEXITED | WNOHANG | WNOWAIT) == 0 && fin.si_pid == pid) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ::kill(pid, SIGKILL);
    }
    // What a run meets while the folder's lock is held.
    std::string RefusVerrou() const {
        return "koz: Un autre chiffrement ou déchiffrement est en cours dans le dossier d'état \"" + T.Dir() +
               "\" : attendez qu'il se termine\n";
    }
};

// Killed at instants spread over a whole run, from its first milliseconds
// on, in a folder with an older key and an older output: after each kill the
// older key is whole under DEBUT or DEBUT-1, no base name mixes two states,
// and the output is the older one or a new one that its new key reads back.
TEST_F(ToutOuRien, KilledAtAnyInstantNeverLosesOrMixesAKey) {
    TRepertoireTemporaire modele;
    const std::string clair = OctetsAleatoires(3 << 20, 5);
    EcrireFichier(modele / "a.txt", clair);
    ASSERT_EQ(LancerKoz({"chiffrer", "a.txt"}, modele.Chemin.string()).Code, 0);
    const auto initial = Instantane(modele.Chemin);
    const std::string ancienDebut = Trio(modele.Chemin, "DEBUT"), ancienneFin = Trio(modele.Chemin, "FIN-CHIFFRE");

    int interrompus = 0;
    for (int attente : {0, 1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 144, 233, 377, 610, 987}) {
        fs::remove_all(T.Chemin);
        fs::create_directory(T.Chemin);
        for (const auto& [nom, octets] : initial) Ecrire(nom, octets);
        TOptionsLancement o;
        o.Pendant = [&](pid_t pid) {
            std::this_thread::sleep_for(std::chrono::milliseconds(attente));
            ::kill(pid, SIGKILL);
        };
        const TResultat r = Koz_({"chiffrer", "a.txt", "--force"}, o);
        interrompus += r.Code == 128 + SIGKILL;
        SCOPED_TRACE("tué après " + std::to_string(attente) + " ms, code " + std::to_string(r.Code));

        const auto apres = Instantane(T.Chemin);
        // The older key is whole under one of its names.
        EXPECT_TRUE(Trio(T.Chemin, "DEBUT") == ancienDebut || Trio(T.Chemin, "DEBUT-1") == ancienDebut);
        // No base name holds some files of the older key and some of another.
        for (const auto& [base, ancien] : {std::pair{std::string("DEBUT"), ancienDebut},
                                          std::pair{std::string("FIN-CHIFFRE"), ancienneFin}}) {
            int anciens = 0, autres = 0;
            for (int i = 0; i < 3; ++i) {
                const auto it = apres.find(base + kTrio[i]);
                if (it == apres.end()) continue;
                const std::string attendu = ancien.substr(i == 0 ? 0 : i == 1 ? 256 : 512, i == 2 ? 1792 : 256);
                (it->second == attendu ? anciens : autres)++;
            }
            EXPECT_FALSE(anciens > 0 && autres > 0) << base;
        }
        // The output is the older one, or a new one its key (already in place) reads back.
        if (apres.at("a.KOZ") != initial.at("a.KOZ")) {
            EXPECT_EQ(Relire(T / "a.KOZ", T.Chemin, "DEBUT"), clair);
        }
        EXPECT_EQ(apres.at("a.txt"), clair);
    }
    // The instants did fall inside runs.
    EXPECT_GT(interrompus, 3);
}

TEST_F(ToutOuRien, ASecondRunInTheSameFolderFailsAtOnceNamingIt) {
    Ecrire("gros.bin", OctetsAleatoires(4 << 20, 1));
    Ecrire("b.txt", "second");
    const TResultat second = PendantUnChiffrement({"chiffrer", "b.txt"});
    EXPECT_EQ(second.Code, 1);
    EXPECT_EQ(second.Erreur, RefusVerrou());
    EXPECT_FALSE(fs::exists(T / "b.KOZ"));
    EXPECT_EQ(Relire(T / "gros.KOZ", T.Chemin, "DEBUT"), LireFichier(T / "gros.bin"));
}

TEST_F(ToutOuRien, SauverFinDuringAnEncryptionInTheFolderIsRefused) {
    // Both would keep the DEBUT they replace under the first free number: the
    // decryption waits its turn as a second encryption does, and no key is lost.
    Ecrire("a.txt", "premier");
    ASSERT_EQ(Koz_({"chiffrer", "a.txt"}).Code, 0);
    const std::string cleA = Trio(T.Chemin, "DEBUT");
    Ecrire("gros.bin", OctetsAleatoires(4 << 20, 2));
    const TResultat sauver = PendantUnChiffrement({"dechiffrer", "a.KOZ", "-o", "a.relu", "--sauver-fin", "DEBUT"});
    EXPECT_EQ(sauver.Code, 1);
    EXPECT_EQ(sauver.Erreur, RefusVerrou());
    EXPECT_FALSE(fs::exists(T / "a.relu"));
    EXPECT_EQ(Trio(T.Chemin, "DEBUT-1"), cleA);
    EXPECT_EQ(Relire(T / "gros.KOZ", T.Chemin, "DEBUT"), LireFichier(T / "gros.bin"));
    // Once the encryption is over, it goes through.
    EXPECT_EQ(Koz_({"dechiffrer", "a.KOZ", "-o", "a.relu", "--sauver-fin", "DEBUT"}).Code, 0);
    EXPECT_EQ(LireFichier(T / "a.relu"), "premier");
    EXPECT_EQ(Relire(T / "gros.KOZ", T.Chemin, "DEBUT-2"), LireFichier(T / "gros.bin"));
}

TEST_F(ToutOuRien, NoOutputReplacesAKeyOrTheJournalEvenWithForce) {
    Ecrire("s.txt", "source");
    ASSERT_EQ(Koz_({"chiffrer", "s.txt"}).Code, 0);
    const auto avant = Instantane(T.Chemin);
    // DEBUT-1 is where the next encryption keeps DEBUT: as an output, it
    // would make that run fail once it had moved the keys.
    for (const char* nom : {"DEBUT.KGR", "FIN-CHIFFRE.KPR", "DEBUT-1.KEC"}) {
        const std::string message = "koz: Impossible de créer le fichier \"" + T.Dir() + nom +
                                    "\". Ce nom est celui d'un fichier d'état, peut-être la seule clé d'un fichier "
                                    "chiffré : aucun fichier de sortie ne le prend\n";
        EXPECT_EQ(Koz_({"dechiffrer", "s.KOZ", "-o", nom, "-f"}).Erreur, message);
        // (The encryption names its own state files as such.)
        EXPECT_EQ(Koz_({"chiffrer", "s.txt", "-o", nom, "-f"}).Code, 1);
    }
    const std::string journal = "koz: Impossible de créer le fichier \"" + T.Dir() +
                                "KOZ-JOURNAL.txt\". Ce nom est celui du journal des chiffrements\n";
    EXPECT_EQ(Koz_({"dechiffrer", "s.KOZ", "-o", "KOZ-JOURNAL.txt", "-f"}).Erreur, journal);
    EXPECT_EQ(Koz_({"chiffrer", "s.txt", "-o", "KOZ-JOURNAL.txt", "-f"}).Erreur, journal);
    EXPECT_EQ(Koz_({"chiffrer", "s.txt", "-o", "DEBUT-1.KEC"}).Erreur,
              "koz: Impossible de créer le fichier \"" + T.Dir() +
                  "DEBUT-1.KEC\". Ce nom est celui d'un fichier d'état, peut-être la seule clé d'un fichier chiffré : "
                  "aucun fichier de sortie ne le prend\n");
    EXPECT_EQ(Instantane(T.Chemin), avant);
    // In another folder, a journal that does not exist yet is refused too: the
    // next encryption there would add to the output.
    fs::create_directory(T / "autre");
    EXPECT_EQ(Koz_({"chiffrer", "s.txt", "-o", "autre/KOZ-JOURNAL.txt"}).Code, 1);
    EXPECT_TRUE(fs::is_empty(T / "autre"));
    EXPECT_EQ(Koz_({"dechiffrer", "s.KOZ", "-o", "s.relu"}).Code, 0);
    EXPECT_EQ(LireFichier(T / "s.relu"), "source");
}

TEST_F(ToutOuRien, DecryptionWritesNeitherIntoStreamsNorDevices) {
    Ecrire("s.txt", "source");
    ASSERT_EQ(Koz_({"chiffrer", "s.txt"}).Code, 0);
    const TResultat tiret = Koz_({"dechiffrer", "s.KOZ", "-o", "-"});
    EXPECT_EQ(tiret.Code, 1);
    EXPECT_EQ(tiret.Erreur, "koz: Le déchiffrement n'écrit pas sur la sortie standard : il ne garde un fichier "
                            "déchiffré qu'une fois vérifié. Donnez-lui un nom de fichier\n");
    EXPECT_FALSE(fs::exists(T / "-"));
    ASSERT_EQ(::mkfifo((T / "tube").c_str(), 0600), 0);
    EXPECT_EQ(Koz_({"dechiffrer", "s.KOZ", "-o", "tube", "-f"}).Code, 1);
    EXPECT_TRUE(fs::is_fifo(T / "tube"));
    // Replaced by a move, /dev/stdout would become a regular file, /dev/null
    // too: tried with a /dev of the run's own, where a fault costs nothing.
    if (::geteuid() == 0) {
        TOptionsLancement o;
        o.DevPrive = true;
        for (const std::string nom : {"/dev/stdout", "/dev/null"}) {
            const TResultat r = Koz_({"dechiffrer", "s.KOZ", "-o", nom, "-f"}, o);
            if (r.Code == 125) GTEST_SKIP() << "no mount namespace here";
            EXPECT_EQ(r.Code, 1);
            EXPECT_EQ(r.Erreur, "koz: Impossible de créer le fichier \"" + nom +
                                    "\". Un fichier déchiffré n'est gardé qu'une fois vérifié, dans un fichier "
                                    "ordinaire : ce nom est celui d'un périphérique, d'un tube ou d'un flux standard\n");
        }
    }
}

TEST_F(ToutOuRien, AFileCutWhileItIsEncryptedFailsAndLeavesTheFolderAsItWas) {
    Ecrire("a.txt", "premier");
    ASSERT_EQ(Koz_({"chiffrer", "a.txt"}).Code, 0);
    Ecrire("gros.bin", OctetsAleatoires(8 << 20, 3));
    const auto avant = Instantane(T.Chemin);
    TOptionsLancement o;
    o.Pendant = [&](pid_t) {
        AttendreTemporaire(T.Chemin);
        fs::resize_file(T / "gros.bin", 1000);
    };
    const TResultat r = Koz_({"chiffrer", "gros.bin"}, o);
    EXPECT_EQ(r.Code, 1);
    EXPECT_EQ(r.Erreur, "koz: Le fichier \"" + T.Dir() + "gros.bin\" a changé pendant sa lecture\n");
    auto apres = Instantane(T.Chemin);
    EXPECT_EQ(apres["gros.bin"].size(), 1000u);
    apres["gros.bin"] = avant.at("gros.bin");
    EXPECT_EQ(apres, avant) << "no encrypted file, no key, no record";
}

TEST_F(ToutOuRien, WhatAStoppedRunLeftOfAnOldTrioIsNotKeptTwiceAndAPartialOneIsSaidPartial) {
    Ecrire("a.txt", "premier");
    ASSERT_EQ(Koz_({"chiffrer", "a.txt"}).Code, 0);
    const std::string cleA = Trio(T.Chemin, "DEBUT");
    // A run stopped while it replaced DEBUT: the old trio whole under DEBUT-1,
    // two of its files still under DEBUT.
    for (const char* ext : kTrio) fs::create_hard_link(T / (std::string("DEBUT") + ext), T / (std::string("DEBUT-1") + ext));
    fs::remove(T / "DEBUT.KGR");
    Ecrire("b.txt", "second");
    TResultat r = Koz_({"chiffrer", "b.txt"});
    EXPECT_EQ(r.Code, 0) << r.Erreur;
    EXPECT_EQ(r.Erreur, "");
    EXPECT_FALSE(fs::exists(T / "DEBUT-2.KEC"));
    EXPECT_EQ(Trio(T.Chemin, "DEBUT-1"), cleA);
    EXPECT_EQ(Relire(T / "b.KOZ", T.Chemin, "DEBUT"), "second");
    // A trio that is only a part of one is kept, and said to be a part.
    fs::remove(T / "DEBUT.KEC");
    fs::remove(T / "DEBUT.KPR");
    const std::string grille = LireFichier(T / "DEBUT.KGR");
    Ecrire("c.txt", "troisieme");
    r = Koz_({"chiffrer", "c.txt"});
    EXPECT_EQ(r.Code, 0) << r.Erreur;
    EXPECT_EQ(r.Erreur, "koz: L'ancien trio DEBUT, incomplet (DEBUT.KGR seulement), a été gardé sous DEBUT-2 dans \"" +
                            T.Dir() + "\"\n");
    EXPECT_EQ(LireFichier(T / "DEBUT-2.KGR"), grille);
    EXPECT_FALSE(fs::exists(T / "DEBUT-2.KEC"));
}

TEST_F(ToutOuRien, ANumberTakenByADanglingLinkIsPassedOver) {
    // DEBUT-1.KPR is a link to nothing: the name looks free and a link to it
    // fails. The old trio goes whole to the next number, and the run ends
    // (it once tried the same number for ever).
    Ecrire("a.txt", "premier");
    ASSERT_EQ(Koz_({"chiffrer", "a.txt"}).Code, 0);
    const std::string cleA = Trio(T.Chemin, "DEBUT");
    fs::create_symlink("nulle-part", T / "DEBUT-1.KPR");
    Ecrire("b.txt", "second");
    const TResultat r = Koz_({"chiffrer", "b.txt"}, Borne30s());
    EXPECT_EQ(r.Code, 0) << r.Erreur;
    EXPECT_EQ(Trio(T.Chemin, "DEBUT-2"), cleA);
    EXPECT_FALSE(fs::exists(T / "DEBUT-1.KGR"));
    EXPECT_TRUE(fs::is_symlink(T / "DEBUT-1.KPR"));
    EXPECT_EQ(Relire(T / "b.KOZ", T.Chemin, "DEBUT"), "second");
}

TEST_F(ToutOuRien, WhatWouldFailOnceFilesMoveFailsBeforeAnyKeyMoves) {
    Ecrire("a.txt", "premier");
    ASSERT_EQ(Koz_({"chiffrer", "a.txt"}).Code, 0);
    const auto avant = Instantane(T.Chemin);
    // A name one byte too long for the file system, only in its encrypted form.
    const std::string dossier(255, 'e');
    fs::create_directory(T / dossier);
    EcrireFichier(T.Chemin / dossier / "f", "dedans");
    const TResultat longue = Koz_({"chiffrer", dossier});
    EXPECT_EQ(longue.Code, 1);
    EXPECT_NE(longue.Erreur.find(dossier + ".KOZ\". Nom de fichier trop long"), std::string::npos) << longue.Erreur;
    fs::remove_all(T / dossier);
    EXPECT_EQ(Instantane(T.Chemin), avant);
    // An encrypted file, then a state file, protected against change.
    for (const char* protege : {"a.KOZ", "FIN-CHIFFRE.KPR"}) {
        SCOPED_TRACE(protege);
        if (!Proteger(T / protege, true)) GTEST_SKIP() << "no immutable files on this file system";
        Ecrire("a.txt", "second");
        const TResultat r = Koz_({"chiffrer", "a.txt", "-f"});
        Proteger(T / protege, false);
        Ecrire("a.txt", "premier");
        EXPECT_EQ(r.Code, 1);
        EXPECT_EQ(r.Erreur, "koz: Impossible de créer le fichier \"" + T.Dir() + protege +
                                "\". Le fichier qui porte ce nom ne peut pas être remplacé : il est protégé contre la "
                                "modification\n");
        EXPECT_EQ(Instantane(T.Chemin), avant);
    }
}

TEST_F(ToutOuRien, TheLongestNamesGoBothWays) {
    // 250 bytes: the temporary names beside them are cut to fit.
    const std::string base(246, 'n');
    Ecrire(base + ".txt", "long");
    const TResultat c = Koz_({"chiffrer", base + ".txt"});
    EXPECT_EQ(c.Code, 0) << c.Erreur;
    fs::rename(T / (base + ".txt"), T / "original");
    const TResultat d = Koz_({"dechiffrer", base + ".KOZ", "-o", base + ".txt"});
    EXPECT_EQ(d.Code, 0) << d.Erreur;
    EXPECT_EQ(LireFichier(T / (base + ".txt")), "long");
}

TEST_F(ToutOuRien, AFileThatKeepsGrowingFailsAtOnce) {
    // Its writer never stops: the run fails as soon as it has read more than
    // the file held when it was opened, instead of reading for ever.
    // The writer starts once the run has opened the file (its temporary
    // files show), and adds 64 KiB every millisecond: faster than any
    // encryption here, sanitized builds included, without filling the disk.
    Ecrire("journal.log", OctetsAleatoires(1 << 20, 4));
    std::atomic<bool> fini{false};
    std::thread ecrivain;
    TOptionsLancement o;
    o.Pendant = [&](pid_t pid) {
        AttendreTemporaire(T.Chemin);
        ecrivain = std::thread([&] {
            const std::string morceau(64 * 1024, 'x');
            std::ofstream f(T / "journal.log", std::ios::binary | std::ios::app);
            for (int i = 0; !fini && i < 30000; ++i) {
                f.write(morceau.data(), std::streamsize(morceau.size())).flush();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        AttendreFin(pid);
    };
    const TResultat r = Koz_({"chiffrer", "journal.log"}, o);
    fini = true;
    if (ecrivain.joinable()) ecrivain.join();
    EXPECT_EQ(r.Code, 1);
    EXPECT_EQ(r.Erreur, "koz: Le fichier \"" + T.Dir() + "journal.log\" a changé pendant sa lecture\n");
    EXPECT_FALSE(fs::exists(T / "journal.KOZ"));
}

TEST_F(ToutOuRien, ExistingFilesAreReplacedOnlyWithForce) {
    Ecrire("r.pdf", "un pdf");
    Ecrire("r.txt", "un texte");
    Ecrire("autre.KOZ", "à garder");
    EXPECT_EQ(Koz_({"chiffrer", "r.txt", "-o", "autre.KOZ"}).Erreur,
              "koz: Le fichier chiffré \"" + T.Dir() + "autre.KOZ\" existe déjà : --force le remplace\n");
    EXPECT_EQ(LireFichier(T / "autre.KOZ"), "à garder");
    // Two sources of one base name would give one encrypted file.
    const TResultat deux = Koz_({"chiffrer", "r.pdf", "r.txt"});
    EXPECT_EQ(deux.Code, 1);
    EXPECT_EQ(deux.Erreur, "koz: \"" + T.Dir() + "r.pdf\" et \"" + T.Dir() + "r.txt\" donneraient le même fichier chiffré \"" +
                               T.Dir() + "r.KOZ\"\n");
    EXPECT_EQ(Contenu(T.Chemin), (std::set<std::string>{"r.pdf", "r.txt", "autre.KOZ"}));
    // One after the other: the second is refused.
    EXPECT_EQ(Koz_({"chiffrer", "r.pdf"}).Code, 0);
    const std::string pdf = LireFichier(T / "r.KOZ");
    EXPECT_EQ(Koz_({"chiffrer", "r.txt"}).Code, 1);
    EXPECT_EQ(LireFichier(T / "r.KOZ"), pdf);
    EXPECT_EQ(Koz_({"chiffrer", "r.txt", "-o", "autre.KOZ", "--force"}).Code, 0);
    EXPECT_NE(LireFichier(T / "autre.KOZ"), "à garder");
}

TEST_F(ToutOuRien, SauverFinKeepsAnExistingTrio) {
    Ecrire("a.txt", "texte");
    ASSERT_EQ(Koz_({"chiffrer", "a.txt"}).Code, 0);
    for (const char* ext : kTrio) fs::copy_file(T / (std::string("DEBUT") + ext), T / (std::string("ETAT") + ext));
    const std::string etat = Trio(T.Chemin, "ETAT");
    const TResultat r = Koz_({"dechiffrer", "a.KOZ", "-o", "a.relu", "--sauver-fin", "ETAT"});
    EXPECT_EQ(r.Code, 0) << r.Erreur;
    EXPECT_EQ(Trio(T.Chemin, "ETAT-1"), etat);
    EXPECT_EQ(Trio(T.Chemin, "ETAT"), Trio(T.Chemin, "FIN-CHIFFRE"));
}

TEST_F(ToutOuRien, AStateFileThatIsALinkIsReplacedNotFollowed) {
    TRepertoireTemporaire ailleurs;
    EcrireFichier(ailleurs / "victime", "à ne pas écraser");
    fs::create_symlink(ailleurs / "victime", T / "DEBUT.KGR");
    fs::create_symlink(ailleurs / "victime", T / "FIN-CHIFFRE.KPR");
    Ecrire("a.txt", "texte");
    const TResultat r = Koz_({"chiffrer", "a.txt"});
    EXPECT_EQ(r.Code, 0) << r.Erreur;
    EXPECT_EQ(LireFichier(ailleurs / "victime"), "à ne pas écraser");
    EXPECT_FALSE(fs::is_symlink(T / "DEBUT.KGR"));
    EXPECT_FALSE(fs::is_symlink(T / "FIN-CHIFFRE.KPR"));
    EXPECT_EQ(fs::file_size(T / "DEBUT.KGR"), 256u);
    EXPECT_EQ(Relire(T / "a.KOZ", T.Chemin, "DEBUT"), "texte");
}

TEST_F(ToutOuRien, PipesAndStandardStreams) {
    const std::string clair = OctetsAleatoires(300000, 9);
    TRepertoireTemporaire entrees;
    EcrireFichier(entrees / "donnees", clair);
    TOptionsLancement o;
    o.Entree = entrees / "donnees";
    // Standard input: read once; the trios go to the current directory.
    TResultat r = Koz_({"chiffrer", "-", "-o", "p.KOZ"}, o);
    EXPECT_EQ(r.Code, 0) << r.Erreur;
    EXPECT_EQ(Relire(T / "p.KOZ", T.Chemin, "DEBUT"), clair);
    // Standard output: the encrypted bytes alone; the status on stderr.
    fs::create_directory(T / "etats");
    r = Koz_({"chiffrer", "-", "-o", "-", "--etat", "etats"}, o);
    EXPECT_EQ(r.Code, 0) << r.Erreur;
    EXPECT_TRUE(std::regex_match(r.Erreur, std::regex("^Terminé en [0-9]+ms\n$"))) << r.Erreur;
    EcrireFichier(T / "s.KOZ", r.Sortie);
    EXPECT_EQ(Relire(T / "s.KOZ", T / "etats", "DEBUT"), clair);
    // /dev/stdout is standard output too.
    r = Koz_({"chiffrer", "p.KOZ", "-o", "/dev/stdout", "--etat", "etats"});
    EXPECT_EQ(r.Code, 0) << r.Erreur;
    EXPECT_EQ(r.Sortie.find("Terminé"), std::string::npos);
    // A named pipe is opened once and read as a stream.
    ASSERT_EQ(::mkfifo((T / "tube").c_str(), 0600), 0);
    std::thread ecrivain([&] { EcrireFichier(T / "tube", clair); });
    r = Koz_({"chiffrer", "tube", "-o", "tube.KOZ", "--etat", "etats"});
    ecrivain.join();
    EXPECT_EQ(r.Code, 0) << r.Erreur;
    EXPECT_EQ(Relire(T / "tube.KOZ", T / "etats", "DEBUT"), clair);
}

TEST_F(ToutOuRien, TermAndHupStopLikeCtrlC) {
    Ecrire("gros.bin", OctetsAleatoires(4 << 20, 2));
    for (int signal : {SIGTERM, SIGHUP}) {
        TOptionsLancement o;
        o.Pendant = [&](pid_t pid) {
            AttendreTemporaire(T.Chemin);
            ::kill(pid, signal);
        };
        const TResultat r = Koz_({"chiffrer", "gros.bin"}, o);
        EXPECT_EQ(r.Code, 128 + signal);
        EXPECT_EQ(r.Erreur, "koz: Chiffrement interrompu : aucun fichier n'a été modifié\n");
        EXPECT_EQ(Contenu(T.Chemin), std::set<std::string>{"gros.bin"});
    }
}

}  // namespace
