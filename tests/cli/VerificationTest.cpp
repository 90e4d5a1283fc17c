// Decryption succeeds only when it can prove its result: through the real
// koz, files cut, lengthened, damaged, read with the wrong key or in the
// wrong order are refused with a reason a user understands, and nothing
// unproven is left under the output's name.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>

#include "cipher/KOZDechiffre.hpp"
#include "tests/support/Fichiers.hpp"
#include "tests/support/Processus.hpp"

namespace fs = std::filesystem;

namespace {

class Verification : public ::testing::Test, protected TDossierKoz {
protected:
    void SetUp() override {
        Clair = OctetsAleatoires(40000, 3);
        EcrireFichier(T / "a.txt", Clair);
        ASSERT_EQ(Koz_({"chiffrer", "a.txt"}).Code, 0);
        Chiffre = LireFichier(T / "a.KOZ");
    }
    // Refused with exactly message, and no output left.
    void Refus(const std::vector<std::string>& args, const std::string& message) {
        const TResultat r = Koz_(args);
        EXPECT_EQ(r.Code, 1);
        EXPECT_EQ(r.Erreur, "koz: " + message + "\n");
        EXPECT_FALSE(fs::exists(T / "a.relu"));
        for (const auto& e : fs::directory_iterator(T.Chemin))
            EXPECT_EQ(e.path().string().find(".koz-temporaire-"), std::string::npos) << e.path();
    }
    // The offsets where blocks end, from the starting trio.
    std::vector<size_t> FinsDeBlocs() {
        TKOZDechiffre d(T.Dir(), "DEBUT");
        std::vector<size_t> fins;
        size_t i = 0;
        while (i < Chiffre.size()) {
            uint8_t v = 0;
            const int n = d.DechiffrerBloc(reinterpret_cast<const uint8_t*>(Chiffre.data()) + i, Chiffre.size() - i, v);
            if (n <= 0) break;
            d.Evoluer(v);
            i += size_t(n);
            fins.push_back(i);
        }
        return fins;
    }
    std::string A() const { return T.Dir() + "a.KOZ"; }

    std::string Clair, Chiffre;
};

TEST_F(Verification, AnIntactFileIsVerifiedWithItsKeyFoundByTheJournal) {
    const TResultat r = Koz_({"dechiffrer", "a.KOZ", "-o", "a.relu"});
    EXPECT_EQ(r.Code, 0) << r.Erreur;
    EXPECT_EQ(r.Erreur, "koz: Clé de \"" + A() + "\" : \"" + T.Dir() + "DEBUT.KGR\"\n");
    EXPECT_EQ(LireFichier(T / "a.relu"), Clair);
    const TResultat v = Koz_({"verifier", "a.KOZ"});
    EXPECT_EQ(v.Code, 0);
    EXPECT_EQ(v.Sortie, "Le fichier chiffré \"" + A() + "\" est intact (clé « " + T.Dir() + "DEBUT.KGR », 40000 octets en clair)\n");
}

TEST_F(Verification, ARecordThatMisstatesThePlainSizeIsRefusedByBothCommands) {
    std::string journal = LireFichier(T / "KOZ-JOURNAL.txt");
    const size_t champ = journal.find("\t40000\t");
    ASSERT_NE(champ, std::string::npos) << journal;
    journal.replace(champ, 7, "\t40001\t");
    EcrireFichier(T / "KOZ-JOURNAL.txt", journal);
    const std::string message = "Le déchiffrement de \"" + A() + "\" n'atteint pas l'état enregistré : fichier chiffré altéré";
    Refus({"verifier", "a.KOZ"}, message);
    Refus({"dechiffrer", "a.KOZ", "-o", "a.relu"}, message);
}

TEST_F(Verification, TwoFilesThatSwappedNamesGetTheSameVerdictFromBothCommands) {
    EcrireFichier(T / "b.txt", "bbbbbbb");
    ASSERT_EQ(Koz_({"chiffrer", "b.txt"}).Code, 0);
    fs::rename(T / "a.KOZ", T / "t");
    fs::rename(T / "b.KOZ", T / "a.KOZ");
    fs::rename(T / "t", T / "b.KOZ");
    const std::string message = "Le fichier chiffré \"" + T.Dir() + "b.KOZ\" n'est pas celui que le journal a "
                                "enregistré sous ce nom : c'est le fichier chiffré \"" + A() + "\", renommé";
    Refus({"verifier", "b.KOZ"}, message);
    Refus({"dechiffrer", "b.KOZ", "-o", "a.relu"}, message);
}

TEST_F(Verification, ACutFileIsTruncated) {
    const auto fins = FinsDeBlocs();
    ASSERT_EQ(fins.size(), Clair.size());
    // Cut inside a block, as a crash would.
    EcrireFichier(T / "a.KOZ", Chiffre.substr(0, fins[20000] - 1));
    Refus({"dechiffrer", "a.KOZ", "-o", "a.relu"},
          "Le fichier chiffré \"" + A() + "\" est tronqué : il s'arrête au milieu d'un bloc, après " +
              std::to_string(fins[20000] - 1) + " octets au lieu des " + std::to_string(Chiffre.size()) + " enregistrés");
    // Cut on a block boundary: every block reads, but bytes are missing.
    EcrireFichier(T / "a.KOZ", Chiffre.substr(0, fins[30000]));
    Refus({"dechiffrer", "a.KOZ", "-o", "a.relu"}, "Le fichier chiffré \"" + A() + "\" est tronqué : " +
                                                       std::to_string(fins[30000]) + " octets au lieu des " +
                                                       std::to_string(Chiffre.size()) + " enregistrés");
    // The bytes before the cut, when asked for, under a name that says so.
    const TResultat r = Koz_({"dechiffrer", "a.KOZ", "-o", "a.relu", "--garder-partiel"});
    EXPECT_EQ(r.Code, 1);
    EXPECT_EQ(LireFichier(T / "a.relu.partiel"), Clair.substr(0, 30001));
    EXPECT_FALSE(fs::exists(T / "a.relu"));
    EXPECT_EQ(Koz_({"verifier", "a.KOZ"}).Code, 1);
}

TEST_F(Verification, BytesAppendedAreNamed) {
    EcrireFichier(T / "a.KOZ", Chiffre + "xyz");
    Refus({"dechiffrer", "a.KOZ", "-o", "a.relu"},
          "Le fichier chiffré \"" + A() + "\" a 3 octet(s) de trop ajouté(s) après sa fin enregistrée");
}

TEST_F(Verification, FlippedBitsNearTheEndNeverPass) {
    for (size_t recul : {1, 2, 5, 9, 17, 40}) {
        std::string abime = Chiffre;
        abime[abime.size() - recul] = char(abime[abime.size() - recul] ^ 0x10);
        EcrireFichier(T / "a.KOZ", abime);
        const TResultat r = Koz_({"dechiffrer", "a.KOZ", "-o", "a.relu"});
        EXPECT_EQ(r.Code, 1) << recul;
        EXPECT_TRUE(std::regex_match(r.Erreur, std::regex("koz: Le fichier chiffré \".*\" (est endommagé à l'octet [0-9]+|"
                                                          "n'est pas celui que le journal a enregistré.*)\n")))
            << r.Erreur;
        EXPECT_FALSE(fs::exists(T / "a.relu"));
    }
}

TEST_F(Verification, TheWrongKeyOfAOneByteFileIsNamedWithTheRightOne) {
    EcrireFichier(T / "x", "Q");
    ASSERT_EQ(Koz_({"chiffrer", "x"}).Code, 0);   // the DEBUT of a.KOZ goes to DEBUT-1
    ASSERT_EQ(Koz_({"chiffrer", "a.txt", "-o", "b.KOZ"}).Code, 0);  // x's goes to DEBUT-2
    Refus({"dechiffrer", "x.KOZ", "-g", "DEBUT.KGR", "-o", "a.relu"},
          "La grille \"" + T.Dir() + "DEBUT.KGR\" n'est pas la clé de \"" + T.Dir() + "x.KOZ\" : sa clé est \"" + T.Dir() +
              "DEBUT-2.KGR\"");
    const TResultat r = Koz_({"dechiffrer", "x.KOZ", "-o", "x.relu"});
    EXPECT_EQ(r.Code, 0) << r.Erreur;
    EXPECT_EQ(LireFichier(T / "x.relu"), "Q");
}

TEST_F(Verification, AChainIsReadInItsOrderWhateverTheOrderGiven) {
    fs::create_directory(T / "c");
    for (int i = 1; i <= 3; ++i) EcrireFichier(T / ("c/f" + std::to_string(i)), OctetsAleatoires(5000 * i, uint32_t(i)));
    const TResultat c = LancerKoz({"chiffrer", "f1", "f2", "f3"}, T / "c");
    EXPECT_EQ(c.Code, 0) << c.Erreur;
    EXPECT_TRUE(std::regex_match(c.Sortie, std::regex("^f1 -> f1.KOZ \\([0-9]+ octets\\)\nf2 -> f2.KOZ \\([0-9]+ octets\\)\n"
                                                      "f3 -> f3.KOZ \\([0-9]+ octets\\)\n3 fichiers chiffrés en une "
                                                      "chaîne, clé : le trio DEBUT. Terminé en [0-9]+ms\n$")))
        << c.Sortie;
    for (int i = 1; i <= 3; ++i) fs::rename(T / ("c/f" + std::to_string(i)), T / ("c/f" + std::to_string(i) + ".orig"));
    const TResultat d = LancerKoz({"dechiffrer", "f3.KOZ", "f1.KOZ", "f2.KOZ"}, T / "c");
    EXPECT_EQ(d.Code, 0) << d.Erreur;
    EXPECT_NE(d.Erreur.find("koz: Les fichiers forment une chaîne : ils sont déchiffrés dans son ordre (f1.KOZ, f2.KOZ, "
                            "f3.KOZ)\n"),
              std::string::npos)
        << d.Erreur;
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(LireFichier(T / ("c/f" + std::to_string(i))), LireFichier(T / ("c/f" + std::to_string(i) + ".orig")));
    // A later file alone: its key is found through the files before it.
    fs::remove(T / "c/f3");
    const TResultat seul = LancerKoz({"dechiffrer", "f3.KOZ"}, T / "c");
    EXPECT_EQ(seul.Code, 0) << seul.Erreur;
    EXPECT_EQ(LireFichier(T / "c/f3"), LireFichier(T / "c/f3.orig"));
}

TEST_F(Verification, WhatNothingCanVerifyIsRefusedUnlessAskedFor) {
    fs::rename(T / "KOZ-JOURNAL.txt", T / "journal.bak");
    Refus({"dechiffrer", "a.KOZ", "-g", "DEBUT.KGR", "-o", "a.relu"},
          "Rien ne permet de vérifier le déchiffrement de \"" + A() +
              "\" : le journal de son dossier ne le connaît pas et aucun état d'arrivée (FIN-CHIFFRE) n'est donné. Pour "
              "le déchiffrer sans preuve, demandez-le explicitement (option --sans-verification, ou case « Déchiffrer "
              "même sans vérification »)");
    const TResultat r = Koz_({"dechiffrer", "a.KOZ", "-g", "DEBUT.KGR", "-o", "a.relu", "--sans-verification"});
    EXPECT_EQ(r.Code, 0);
    EXPECT_EQ(r.Erreur, "koz: Attention : \"" + T.Dir() + "a.relu\" n'a pas pu être vérifié ; il peut être faux\n");
    EXPECT_EQ(LireFichier(T / "a.relu"), Clair);
    fs::remove(T / "a.relu");
    // --fin proves it too.
    EXPECT_EQ(Koz_({"dechiffrer", "a.KOZ", "-g", "DEBUT.KGR", "-o", "a.relu", "--fin", "FIN-CHIFFRE.KGR"}).Code, 0);
}

TEST_F(Verification, TheJournalSurvivesForeignLinesAndAPlantedRecordIsBelieved) {
    std::string journal = LireFichier(T / "KOZ-JOURNAL.txt");
    const std::string ligne = journal.substr(journal.find('\n') + 1);
    // Foreign, malformed and duplicated lines change nothing.
    EcrireFichier(T / "KOZ-JOURNAL.txt", journal + "n'importe quoi\n\t\t\t\n" + ligne + std::string(3000, 'z') + "\n");
    EXPECT_EQ(Koz_({"dechiffrer", "a.KOZ", "-o", "a.relu"}).Code, 0);
    fs::remove(T / "a.relu");
    // A record planted by hand for the same file, with another end state, is
    // the latest one: the decryption no longer matches it and is refused.
    std::string plante = ligne.substr(0, ligne.size() - 1);
    const size_t champ = [&] {
        size_t p = 0;
        for (int i = 0; i < 6; ++i) p = plante.find('\t', p) + 1;
        return p;
    }();
    plante[champ] = plante[champ] == '0' ? '1' : '0';
    EcrireFichier(T / "KOZ-JOURNAL.txt", journal + plante + "\n");
    Refus({"dechiffrer", "a.KOZ", "-o", "a.relu"},
          "Le déchiffrement de \"" + A() + "\" n'atteint pas l'état enregistré : fichier chiffré altéré");
    // A journal that is a directory: encryption still succeeds, with a warning.
    fs::remove(T / "KOZ-JOURNAL.txt");
    fs::create_directory(T / "KOZ-JOURNAL.txt");
    const TResultat r = Koz_({"chiffrer", "a.txt", "-o", "b.KOZ"});
    EXPECT_EQ(r.Code, 0);
    EXPECT_NE(r.Erreur.find("Attention : le chiffrement n'a pas pu être inscrit au journal."), std::string::npos) << r.Erreur;
}

}  // namespace
