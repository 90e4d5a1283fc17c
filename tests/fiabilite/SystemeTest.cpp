// Real files where the names lead somewhere unexpected: a missing directory,
// a directory where a state file should be, an empty source; and the key
// files' permissions, through the commands and through the koz program.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>

#include "Outils.hpp"
#include "random/IARand.hpp"
#include "state/KOZGrille.hpp"
#include "commande/UKOZChiffre.hpp"
#include "commande/UKOZDechiffre.hpp"
#include "tests/support/Processus.hpp"

using namespace fiabilite;

namespace {

class Systeme : public ::testing::Test {
protected:
    void SetUp() override {
        Clair = OctetsAleatoires(5000, 79);
        EcrireFichier(T / "a.txt", Clair);
    }
    // An encryption in T, to decrypt.
    void Chiffrer() {
        LancerChiffrement(T / "a.txt", T / "a.KOZ", "", false);
        Avant = Contenu(T.Chemin);
    }
    TDechiffrement Commande(const std::string& sortie) const {
        TDechiffrement d;
        d.Fichiers = {{T / "a.KOZ", sortie}};
        d.Grille = T / "DEBUT.KGR";
        d.SauverFin = T / "ATTEINT";
        return d;
    }
    TRepertoireTemporaire T;
    std::string Clair;
    std::set<std::string> Avant;
};

TEST_F(Systeme, DecryptedFileInAMissingDirectoryLeavesNothing) {
    Chiffrer();
    EXPECT_EQ(MessageLeve([&] { LancerDechiffrement(Commande(T / "manque/a.clair")); }),
              MessageCreation(T / "manque/a.clair", TexteErreur(ENOENT)));
    EXPECT_EQ(Contenu(T.Chemin), Avant);
}

// Whichever file of the trio is a directory, it is named and nothing is written.
TEST_F(Systeme, StateFileThatIsADirectoryStopsBothCommandsBeforeAnyWrite) {
    TKOZGrille etat;
    etat.Sauver(T.Dir(), "G");
    Chiffrer();
    const std::string fin = Trio(T.Dir(), "FIN-CHIFFRE");
    for (const std::string ext : {".KGR", ".KEC", ".KPR"}) {
        const std::string nom = T / ("G" + ext);
        std::filesystem::rename(nom, nom + ".bak");
        std::filesystem::create_directory(nom);
        const auto avant = Contenu(T.Chemin);
        const std::string message = MessageOuverture(nom, TexteErreur(EISDIR));

        EXPECT_EQ(MessageLeve([&] { LancerChiffrement(T / "a.txt", T / "b.KOZ", T / "G.KGR", false); }), message);
        EXPECT_EQ(Contenu(T.Chemin), avant);
        EXPECT_TRUE(Trio(T.Dir(), "FIN-CHIFFRE") == fin);

        TDechiffrement d = Commande(T / "b.clair");
        d.Grille = T / "G.KGR";
        EXPECT_EQ(MessageLeve([&] { LancerDechiffrement(d); }), message);
        EXPECT_EQ(Contenu(T.Chemin), avant);

        std::filesystem::remove(nom);
        std::filesystem::rename(nom + ".bak", nom);
    }
}

TEST_F(Systeme, EmptySourceRoundTrip) {
    EcrireFichier(T / "vide", "");
    LancerChiffrement(T / "vide", T / "vide.KOZ", "", false);
    EXPECT_EQ(LireFichier(T / "vide.KOZ"), "");
    EXPECT_TRUE(Trio(T.Dir(), "FIN-CHIFFRE") == Trio(T.Dir(), "DEBUT"));

    TDechiffrement d;
    d.Fichiers = {{T / "vide.KOZ", T / "vide.retour"}};
    d.Grille = T / "DEBUT.KGR";
    d.Fin = T / "FIN-CHIFFRE.KGR";
    d.SauverFin = T / "ATTEINT";
    EXPECT_EQ(MessageLeve([&] { LancerDechiffrement(d); }), "");
    EXPECT_TRUE(std::filesystem::exists(T / "vide.retour"));
    EXPECT_EQ(LireFichier(T / "vide.retour"), "");
    EXPECT_TRUE(Trio(T.Dir(), "ATTEINT") == Trio(T.Dir(), "DEBUT"));
}

// ---------------------------------------------------------------- key files

void Elargir(const std::string& nom) {
    EcrireFichier(nom, std::string(3000, 'x'));
    ASSERT_EQ(::chmod(nom.c_str(), 0644), 0);
}

TEST_F(Systeme, StateFilesThatExistedWithAWiderModeAreBroughtToOwnerOnly) {
    for (const std::string base : {"DEBUT", "FIN-CHIFFRE", "ATTEINT"})
        for (const char* ext : {".KGR", ".KEC", ".KPR"}) Elargir(T / (base + ext));
    Chiffrer();
    ASSERT_EQ(MessageLeve([&] { LancerDechiffrement(Commande(T / "a.clair")); }), "");
    for (const std::string base : {"DEBUT", "FIN-CHIFFRE", "ATTEINT"})
        for (const char* ext : {".KGR", ".KEC", ".KPR"}) EXPECT_EQ(Mode(T / (base + ext)), 0600u) << base << ext;
    EXPECT_EQ(std::filesystem::file_size(T / "DEBUT.KPR"), 1792u);
    // Data files keep the usual mode.
    const mode_t masque = ::umask(0);
    ::umask(masque);
    EXPECT_EQ(Mode(T / "a.KOZ"), 0666u & ~masque);
    EXPECT_EQ(Mode(T / "a.clair"), 0666u & ~masque);
}

TEST_F(Systeme, TheKozProgramBringsExistingStateFilesToOwnerOnly) {
    for (const std::string base : {"DEBUT", "FIN-CHIFFRE", "ATTEINT"})
        for (const char* ext : {".KGR", ".KEC", ".KPR"}) Elargir(T / (base + ext));
    const TResultat c = LancerKoz({"chiffrer", "a.txt"}, T.Chemin.string());
    ASSERT_EQ(c.Code, 0) << c.Erreur;
    const TResultat d = LancerKoz(
        {"dechiffrer", "a.KOZ", "-g", "DEBUT.KGR", "-o", "a.clair", "--fin", "FIN-CHIFFRE.KGR", "--sauver-fin", "ATTEINT"},
        T.Chemin.string());
    ASSERT_EQ(d.Code, 0) << d.Erreur;
    EXPECT_TRUE(LireFichier(T / "a.clair") == Clair);
    for (const std::string base : {"DEBUT", "FIN-CHIFFRE", "ATTEINT"})
        for (const char* ext : {".KGR", ".KEC", ".KPR"}) EXPECT_EQ(Mode(T / (base + ext)), 0600u) << base << ext;
}

// ---------------------------------------------------------------- generator

// The destructor leaves every field of the generator at zero in the memory
// it gives back. Checked on an instance built in storage the test owns.
TEST(EffacementGenerateur, DestroyedGeneratorLeavesZerosInItsStorage) {
    alignas(TIARand) unsigned char stockage[sizeof(TIARand)];
    std::memset(stockage, 0xA5, sizeof stockage);
    TIARand* g = new (stockage) TIARand();
    ASSERT_FALSE(g->EstEfface());
    g->~TIARand();
    // The fields follow the table pointer: two tables of 256 words, three words.
    const size_t debut = sizeof(void*), fin = debut + 2 * 1024 + 3 * 4;
    static_assert(sizeof(TIARand) >= 2 * 1024 + 3 * 4 + sizeof(void*));
    size_t nonNuls = 0;
    for (size_t i = debut; i < fin; ++i) nonNuls += stockage[i] != 0;
    EXPECT_EQ(nonNuls, 0u);
}

}  // namespace
