// The driver: output made of the blocks of the plain bytes, the state
// reached, and every failure of the files on the way.

#include <gtest/gtest.h>


#include <cstring>
#include <filesystem>
#include <vector>

#include "tests/support/Echecs.hpp"
#include "tests/support/Grilles.hpp"
#include "tests/support/Fichiers.hpp"
#include "tests/support/PlateformeFautive.hpp"
#include "tests/support/Tirages.hpp"
#include "cipher/KOZChiffre.hpp"
#include "platform/Format.hpp"

namespace fs = std::filesystem;

namespace {

// Records every word the cipher draws from the shared generator.
class TEnregistreur : public TSourceMots {
public:
    TEnregistreur() { Precedente = DefinirSourceMots(this); }
    ~TEnregistreur() override { DefinirSourceMots(Precedente); }
    uint32_t Mot() override { return Mots.emplace_back(GlobalRand->Next()); }
    std::vector<uint32_t> Mots;

private:
    TSourceMots* Precedente;
};

// Hands out recorded words again; running out of them is a failure.
class TRejeu : public TSourceMots {
public:
    explicit TRejeu(const std::vector<uint32_t>& mots) : Mots(mots) { Precedente = DefinirSourceMots(this); }
    ~TRejeu() override { DefinirSourceMots(Precedente); }
    uint32_t Mot() override { return Mots.at(Suivant++); }
    const std::vector<uint32_t>& Mots;
    size_t Suivant = 0;

private:
    TSourceMots* Precedente;
};

// The reference output: the first n plain bytes encrypted one by one on
// jumeau (a copy of the starting state) under the recorded words.
std::string Rejouer(TKOZChiffre& jumeau, const std::vector<uint32_t>& mots, const std::string& clair, size_t n,
                    size_t* consommes = nullptr) {
    TRejeu rejeu(mots);
    std::string sortie;
    TBlocChiffre bloc;
    for (size_t i = 0; i < n; ++i) {
        jumeau.ChiffrerOctet(uint8_t(clair[i]), bloc);
        sortie.append(bloc.begin(), bloc.end());
    }
    if (consommes) *consommes = rejeu.Suivant;
    return sortie;
}

struct ChiffreurTest : ::testing::Test {
    void SetUp() override { CopierEtat(c, jumeau); }
    TRepertoireTemporaire d;
    TKOZChiffre c;
    TKOZChiffre jumeau;  // same starting state, for the reference output
    const std::string src = d / "clair.bin";
    const std::string dst = d / "clair.KOZ";
};

TEST_F(ChiffreurTest, FewMebibytesEndToEnd) {
    // Not a multiple of the read buffer, so the last buffer is partial.
    const std::string clair = OctetsAleatoires(3 * 1024 * 1024 + 12345);
    EcrireFichier(src, clair);
    TEnregistreur e;
    c.ChiffrerFichier(src, dst);
    DefinirSourceMots(nullptr);

    const std::string sortie = LireFichier(dst);
    size_t consommes = 0;
    const std::string attendu = Rejouer(jumeau, e.Mots, clair, clair.size(), &consommes);
    ASSERT_EQ(sortie.size(), attendu.size()) << "the sum of the block lengths";
    EXPECT_TRUE(sortie == attendu);
    EXPECT_EQ(consommes, e.Mots.size());
    const double rapport = double(sortie.size()) / double(clair.size());
    EXPECT_NEAR(rapport, 3.0, 0.01) << "each of the five encoders one time in five";

    c.Sauver(d.Dir(), "FIN-CHIFFRE");
    EXPECT_EQ(c.Cases(), jumeau.Cases());
    TKOZChiffre relu;
    relu.Charger(d.Dir(), "FIN-CHIFFRE");
    EXPECT_EQ(relu.Cases(), jumeau.Cases());
    EXPECT_EQ(relu.Echange->Table, jumeau.Echange->Table);
    EXPECT_EQ(std::memcmp(relu.Permutations->Table.data(), jumeau.Permutations->Table.data(), 1792), 0);
}

TEST_F(ChiffreurTest, EmptySourceGivesAnEmptyFileAndNoDraw) {
    EcrireFichier(src, "");
    TCompteurTirages t;
    c.ChiffrerFichier(src, dst);
    EXPECT_EQ(t.Tirages, 0u);
    EXPECT_TRUE(fs::exists(dst));
    EXPECT_EQ(fs::file_size(dst), 0u);
    EXPECT_EQ(c.Cases(), jumeau.Cases());
}

TEST_F(ChiffreurTest, OneByteEvolvesOnce) {
    EcrireFichier(src, "\x9C");
    c.ChiffrerFichier(src, dst);
    const auto taille = fs::file_size(dst);
    EXPECT_GE(taille, 2u);
    EXPECT_LE(taille, 4u);
    jumeau.Evoluer(0x9C);
    EXPECT_EQ(c.Cases(), jumeau.Cases());
}

TEST_F(ChiffreurTest, OldDestinationIsCut) {
    const std::string clair = "dix octets";
    EcrireFichier(src, clair);
    EcrireFichier(dst, std::string(100000, 'Z'));
    TEnregistreur e;
    c.ChiffrerFichier(src, dst);
    DefinirSourceMots(nullptr);
    EXPECT_EQ(LireFichier(dst), Rejouer(jumeau, e.Mots, clair, clair.size()));
}

// A source that hands out one byte per read and corrupts the grid when the
// k-th byte is asked for: byte k is encrypted on a grid that is no longer a
// permutation.
class TLectureCorruptrice : public TFluxLecture {
public:
    TLectureCorruptrice(const std::string& clair, size_t k, TKOZGrille& g) : Clair(clair), K(k), G(g) {}
    size_t Lire(uint8_t* tampon, size_t n) override {
        if (n == 0 || Lus == Clair.size()) return 0;
        if (++Lus == K) {
            const uint8_t v = uint8_t(Clair[K - 1]);
            G.DefinirCase(G.Position(uint8_t(v ^ 1)), v);
        }
        tampon[0] = uint8_t(Clair[Lus - 1]);
        return 1;
    }

private:
    const std::string& Clair;
    size_t K, Lus = 0;
    TKOZGrille& G;
};

TEST_F(ChiffreurTest, SecureFailureAtByteKLeavesTheBlocksBeforeIt) {
    const std::string clair = OctetsAleatoires(200, 77);
    for (size_t k : {size_t(1), size_t(2), size_t(137)}) {
        SCOPED_TRACE(k);
        TKOZChiffre chiffre, reference;
        CopierEtat(chiffre, reference);
        chiffre.ModeSecurise = true;
        TLectureCorruptrice source(clair, k, chiffre);
        TFluxMemoireEcriture destination;
        TEnregistreur e;
        const uint8_t v = uint8_t(clair[k - 1]);
        EXPECT_EQ(Echec([&] { chiffre.ChiffrerFlux(source, destination); }),
                  Format("La grille n'est plus valide\r\n\r\nManquent = %02X\r\nDoublons = %02X", v ^ 1, v));
        DefinirSourceMots(nullptr);
        EXPECT_EQ(destination.Contenu, Rejouer(reference, e.Mots, clair, k - 1));
    }
}

TEST_F(ChiffreurTest, FailureInsideABufferWritesTheEarlierBlocksFirst) {
    // Byte 90,000 is a value missing from the grid: the loop stops in the
    // middle of its second read buffer.
    const uint8_t absent = 0x5C;
    std::string clair = OctetsAleatoires(100000, 5);
    for (auto& o : clair)
        if (uint8_t(o) == absent) o = char(absent ^ 1);
    const size_t k = 90000;
    clair[k - 1] = char(absent);
    c.DefinirCase(c.Position(absent), uint8_t(absent ^ 0x80));
    CopierEtat(c, jumeau);

    TFluxMemoireLecture source(reinterpret_cast<const uint8_t*>(clair.data()), clair.size());
    TFluxMemoireEcriture destination;
    TEnregistreur e;
    EXPECT_EQ(Echec([&] { c.ChiffrerFlux(source, destination); }), "La valeur cherchée n'est pas dans la grille");
    DefinirSourceMots(nullptr);
    const std::string attendu = Rejouer(jumeau, e.Mots, clair, k - 1);
    ASSERT_EQ(destination.Contenu.size(), attendu.size());
    EXPECT_TRUE(destination.Contenu == attendu);
}

TEST_F(ChiffreurTest, ReadErrorIsReportedWithTheBlocksOfTheBytesBefore) {
    const std::string clair = OctetsAleatoires(100000, 9);
    EcrireFichier(src, clair);
    TPlateformeFautive p;
    p.LectureEchoueApres = 70000;
    TEnregistreur e;
    EXPECT_EQ(Echec([&] { c.ChiffrerFichier(src, dst); }),
              "Impossible de lire le fichier \"" + src + "\". " + TexteErreur(EIO));
    DefinirSourceMots(nullptr);
    EXPECT_TRUE(LireFichier(dst) == Rejouer(jumeau, e.Mots, clair, 70000));
}

TEST_F(ChiffreurTest, SourceThatCannotBeOpened) {
    EcrireFichier(dst, "ancien");
    EXPECT_EQ(Echec([&] { c.ChiffrerFichier(d / "absent", dst); }),
              "Impossible d'ouvrir le fichier \"" + (d / "absent") + "\". " + TexteErreur(ENOENT));
    fs::create_directory(d / "rep");
    EXPECT_EQ(Echec([&] { c.ChiffrerFichier(d / "rep", dst); }),
              "Impossible d'ouvrir le fichier \"" + (d / "rep") + "\". " + TexteErreur(EISDIR));
    EXPECT_EQ(LireFichier(dst), "ancien");
}

TEST_F(ChiffreurTest, DestinationThatCannotBeCreated) {
    EcrireFichier(src, "abc");
    EXPECT_EQ(Echec([&] { c.ChiffrerFichier(src, d / "absent/x.KOZ"); }),
              "Impossible de créer le fichier \"" + (d / "absent/x.KOZ") + "\". " + TexteErreur(ENOENT));
    EXPECT_EQ(Echec([&] { c.ChiffrerFichier(src, d.Chemin.string()); }),
              "Impossible de créer le fichier \"" + d.Chemin.string() + "\". " + TexteErreur(EISDIR));
}

TEST_F(ChiffreurTest, FullDiskAndShortWrites) {
    const std::string clair = OctetsAleatoires(50000, 3);
    EcrireFichier(src, clair);
    EXPECT_EQ(Echec([&] { c.ChiffrerFichier(src, "/dev/full"); }),
              "Impossible d'écrire dans le fichier \"/dev/full\". " + TexteErreur(ENOSPC));

    CopierEtat(c, jumeau);
    TPlateformeFautive p;
    p.EcritureEchoueApres = 1000;
    p.EcritureCourte = true;
    TEnregistreur e;
    EXPECT_EQ(Echec([&] { c.ChiffrerFichier(src, dst); }),
              "Impossible d'écrire dans le fichier \"" + dst + "\". " + TexteErreur(ENOSPC));
    DefinirSourceMots(nullptr);
    EXPECT_EQ(LireFichier(dst), Rejouer(jumeau, e.Mots, clair, clair.size()).substr(0, 1000))
        << "the bytes already written stay";
}

TEST_F(ChiffreurTest, CloseFailureIsReported) {
    const std::string clair = OctetsAleatoires(1000, 4);
    EcrireFichier(src, clair);
    TPlateformeFautive p;
    p.FermetureEchoue = true;
    TEnregistreur e;
    EXPECT_EQ(Echec([&] { c.ChiffrerFichier(src, dst); }),
              "Impossible d'écrire dans le fichier \"" + dst + "\". " + TexteErreur(EIO));
    DefinirSourceMots(nullptr);
    EXPECT_EQ(LireFichier(dst), Rejouer(jumeau, e.Mots, clair, clair.size()));
}

TEST_F(ChiffreurTest, DestinationThatIsTheSourceIsRefusedUntouched) {
    const std::string clair = OctetsAleatoires(5000, 8);
    EcrireFichier(src, clair);
    fs::create_hard_link(src, d / "dur");
    fs::create_symlink(src, d / "lien");
    const std::pair<std::string, std::string> noms[] = {
        {src, src},
        {d.Dir() + "./clair.bin", src},
        {d.Dir() + "sous/../clair.bin", src},
        {d / "dur", d / "dur"},
        {d / "lien", d / "lien"},
    };
    fs::create_directory(d / "sous");
    for (const auto& nom : noms) {
        const std::string& destination = nom.first;
        const std::string& affiche = nom.second;
        SCOPED_TRACE(destination);
        TCompteurTirages t;
        EXPECT_EQ(Echec([&] { c.ChiffrerFichier(src, destination); }),
                  "Impossible de créer le fichier \"" + affiche +
                      "\". Le fichier à chiffrer et le fichier chiffré sont le même fichier");
        EXPECT_EQ(t.Tirages, 0u);
        EXPECT_TRUE(LireFichier(src) == clair);
    }
}

}  // namespace
