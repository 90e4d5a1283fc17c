// The decryption loop: byte-exact round trips whatever the reads cut, the
// stop on an invalid or cut block with its offset and the bytes before it,
// progress and stop, and the file layer's failures.

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <filesystem>

#include "tests/support/Echecs.hpp"
#include "tests/support/Fichiers.hpp"
#include "tests/support/PlateformeFautive.hpp"
#include "tests/support/Tirages.hpp"
#include "Outils.hpp"

namespace {

std::string TousLesOctets() {
    std::string s;
    for (int i = 0; i < 256; ++i) s += char(i);
    return s;
}

struct TContenu {
    const char* nom;
    std::string octets;
};
void PrintTo(const TContenu& c, std::ostream* os) { *os << c.nom << " (" << c.octets.size() << " octets)"; }

class DechiffreAllerRetour : public ::testing::TestWithParam<TContenu> {};

// Decrypts chiffre and expects the invalid-block failure at offset; returns
// what reached the destination.
std::string DechiffrerEnEchec(TKOZDechiffre& d, const std::string& chiffre, uint64_t offset) {
    TFluxMemoireLecture source(reinterpret_cast<const uint8_t*>(chiffre.data()), chiffre.size());
    TFluxMemoireEcriture destination;
    try {
        d.DechiffrerFlux(source, destination, "essai.KOZ");
        ADD_FAILURE() << "aucune erreur pour un fichier invalide à l'octet " << offset;
    } catch (const EKOZException& e) {
        EXPECT_EQ(e.what(), MessageInvalide("essai.KOZ", offset));
    }
    return destination.Contenu;
}

}  // namespace

TEST_P(DechiffreAllerRetour, LeTexteClairRevientOctetPourOctetEtLEtatAussi) {
    const std::string& clair = GetParam().octets;
    TKOZChiffre c;
    TKOZDechiffre d(c);
    const std::string chiffre = ChiffrerTexte(c, clair);
    EXPECT_GE(chiffre.size(), 2 * clair.size());
    EXPECT_LE(chiffre.size(), 4 * clair.size());
    const std::string relu = DechiffrerTexte(d, chiffre);
    ASSERT_EQ(relu.size(), clair.size());
    EXPECT_TRUE(relu == clair);
    EXPECT_TRUE(EtatsEgaux(c, d));
}

INSTANTIATE_TEST_SUITE_P(
    Contenus, DechiffreAllerRetour,
    ::testing::Values(TContenu{"vide", ""}, TContenu{"un_octet", "\x7f"}, TContenu{"tous_les_octets", TousLesOctets()},
                      TContenu{"zeros", std::string(200000, '\0')}, TContenu{"FF", std::string(150000, '\xff')},
                      TContenu{"hasard_3MiB", OctetsAleatoires(3 << 20, 99)}),
    [](const auto& info) { return std::string(info.param.nom); });

TEST(DechiffreFlux, LesBlocsAChevalSurDeuxLecturesSontLusQuelleQueSoitLaCoupure) {
    const std::string clair = OctetsAleatoires(20000, 5);
    for (size_t morceau : {1, 2, 3, 5, 4097}) {
        TKOZChiffre c;
        TKOZDechiffre d(c);
        const std::string chiffre = ChiffrerTexte(c, clair);
        TLectureMorcelee source(chiffre, morceau);
        TFluxMemoireEcriture destination;
        d.DechiffrerFlux(source, destination, "essai.KOZ");
        EXPECT_TRUE(destination.Contenu == clair) << "morceaux de " << morceau;
        EXPECT_TRUE(EtatsEgaux(c, d));
    }
}

TEST(DechiffreFlux, UnChiffrementEnModeSecuriseSeDechiffrePareil) {
    TKOZChiffre c;
    c.ModeSecurise = true;
    TKOZDechiffre d(c);
    const std::string clair = OctetsAleatoires(5000, 11);
    EXPECT_TRUE(DechiffrerTexte(d, ChiffrerTexte(c, clair)) == clair);
}

TEST(DechiffreFlux, LeDechiffrementNeTireRienDuGenerateur) {
    TKOZChiffre c;
    TKOZDechiffre d(c);
    const std::string chiffre = ChiffrerTexte(c, OctetsAleatoires(3000, 3));
    TCompteurTirages compteur;
    DechiffrerTexte(d, chiffre);
    EXPECT_EQ(compteur.Tirages, 0u);
}

TEST(DechiffreFlux, UnBlocInvalideArreteALOctetDeSonDebutAvecLesOctetsDAvant) {
    // Each case: the cells (row, column) of a block no encoder makes, on the
    // grid as the bytes before it left it.
    const std::vector<std::vector<std::pair<int, int>>> cas = {
        {{3, 4}, {4, 5}},                  // Croix with a column offset of 15
        {{3, 6}, {2, 5}},                  // Croix with a row offset of 15
        {{7, 0}, {7, 3}},                  // one row, three apart
        {{0, 9}, {5, 9}},                  // one column, five apart
        {{3, 0}, {3, 1}, {3, 7}, {3, 8}},  // one step apart, then a wrong third
        {{3, 1}, {3, 2}, {3, 14}, {3, 13}},  // VoisinsDoubles with a wrong partner
        {{3, 2}, {3, 1}, {9, 9}, {9, 10}},   // one step back, third off the row
        {{3, 1}, {3, 2}, {5, 2}, {6, 2}},    // CroixDouble in the second byte's column
        {{3, 1}, {3, 2}, {5, 0}, {7, 0}},    // CroixDouble with a gap
        {{1, 3}, {2, 3}, {4, 5}, {5, 5}},    // CroixDouble down a column
    };
    for (size_t avant : {size_t(0), size_t(1), size_t(40000)}) {
        for (const auto& cellules : cas) {
            TKOZChiffre c;
            TKOZDechiffre d(c);
            const std::string clair = OctetsAleatoires(avant, uint32_t(avant));
            std::string chiffre = ChiffrerTexte(c, clair);
            const size_t offset = chiffre.size();
            for (auto [l, col] : cellules) chiffre += char(c.Case(uint8_t(l), uint8_t(col)));
            chiffre += ChiffrerTexte(c, "la suite ne compte plus");
            const std::string recu = DechiffrerEnEchec(d, chiffre, offset);
            EXPECT_TRUE(recu == clair) << avant << " octets avant";
        }
    }
}

TEST(DechiffreFlux, UnFichierCoupeDansSonDernierBlocEstInvalide) {
    for (int coupe = 0; coupe < 5; ++coupe) {
        TKOZChiffre c;
        TKOZDechiffre d(c);
        const std::string clair = OctetsAleatoires(70000, 8);
        std::string chiffre = ChiffrerTexte(c, clair);
        const size_t offset = chiffre.size();
        // A last block of each encoder, cut by one byte or more.
        TBlocChiffre bloc;
        const int garde[5] = {1, 3, 1, 2, 2};
        (c.*c.Codages[coupe])(0x42, bloc);
        chiffre.append(reinterpret_cast<const char*>(bloc.data()), size_t(garde[coupe]));
        EXPECT_TRUE(DechiffrerEnEchec(d, chiffre, offset) == clair) << "codage " << coupe;
    }
    // A lone byte is cut too.
    TKOZChiffre c;
    TKOZDechiffre d(c);
    EXPECT_TRUE(DechiffrerEnEchec(d, "\x10", 0).empty());
}

TEST(DechiffreFlux, LArretDemandeEntreDeuxTamponsGardeCeQuiEstDechiffre) {
    TKOZChiffre c;
    TKOZDechiffre d(c);
    const std::string clair = OctetsAleatoires(100000, 2);
    const std::string chiffre = ChiffrerTexte(c, clair);
    const std::vector<size_t> fins = FinsDeBlocs(d, chiffre);
    ASSERT_EQ(fins.size(), clair.size());
    // The blocks wholly inside the first buffer are all read before the stop.
    size_t dansLePremier = 0;
    while (fins[dansLePremier] <= kTailleTamponChiffre) ++dansLePremier;

    std::atomic<bool> arret{false};
    std::vector<uint64_t> faits;
    TSuivi suivi;
    suivi.Arret = &arret;
    suivi.Progression = [&](uint64_t fait, uint64_t total) {
        faits.push_back(fait);
        EXPECT_EQ(total, chiffre.size());
        arret = true;
    };
    TFluxMemoireLecture source(reinterpret_cast<const uint8_t*>(chiffre.data()), chiffre.size());
    TFluxMemoireEcriture destination;
    std::string message;
    try {
        d.DechiffrerFlux(source, destination, "essai.KOZ", &suivi);
    } catch (const EKOZInterruption& e) {
        message = e.what();
    }
    EXPECT_EQ(message, "Déchiffrement interrompu");
    ASSERT_EQ(faits.size(), 1u);
    EXPECT_EQ(faits[0], fins[dansLePremier - 1]);
    EXPECT_TRUE(destination.Contenu == clair.substr(0, dansLePremier));
}

TEST(DechiffreFlux, LaProgressionAvanceJusquALaTailleDuFichierChiffre) {
    TKOZChiffre c;
    TKOZDechiffre d(c);
    const std::string chiffre = ChiffrerTexte(c, OctetsAleatoires(60000, 4));
    std::vector<uint64_t> faits;
    TSuivi suivi;
    suivi.Progression = [&](uint64_t fait, uint64_t total) {
        faits.push_back(fait);
        EXPECT_EQ(total, chiffre.size());
    };
    DechiffrerTexte(d, chiffre, "essai.KOZ", &suivi);
    ASSERT_GE(faits.size(), 2u);
    for (size_t i = 1; i < faits.size(); ++i) EXPECT_GT(faits[i], faits[i - 1]);
    EXPECT_EQ(faits.back(), chiffre.size());
}

// The vector loop (grid in registers, cells carried from one block to the
// next) against the loop evolution, on texts damaged or cut at and around
// the places where the vector loop hands over: the ends of its 4,096-byte
// pieces, of the 64 KiB reads and of the text. A flipped byte decodes to
// other bytes and another grid until some block is refused: both loops must
// give the same bytes, the same failure and the same final grid.
namespace {
struct TIssue {
    std::string Octets;
    std::string Echec;
    std::string Grille;
};

TIssue DechiffrerAvec(const TKOZGrille& depart, const std::string& chiffre, bool vectoriel) {
    const bool avant = TKOZGrille::AutoriserEvolutionVectorielle(vectoriel);
    TIssue r;
    TKOZDechiffre d(depart);
    TFluxMemoireLecture source(reinterpret_cast<const uint8_t*>(chiffre.data()), chiffre.size());
    TFluxMemoireEcriture destination;
    try {
        d.DechiffrerFlux(source, destination, "essai.KOZ");
    } catch (const EKOZException& e) {
        r.Echec = e.what();
    }
    TKOZGrille::AutoriserEvolutionVectorielle(avant);
    r.Octets = destination.Contenu;
    r.Grille.assign(reinterpret_cast<const char*>(d.Cases().data()), 256);
    return r;
}
}  // namespace

TEST(DechiffreFlux, LaBoucleVectorielleEtLaBoucleSimpleDonnentLaMemeChoseMemeSurUnTexteAbime) {
    if (!TKOZGrille::EvolutionVectorielle()) GTEST_SKIP() << "ce processeur n'a pas les permutations AVX-512";
    TKOZChiffre c;
    const TKOZDechiffre depart(c);
    const std::string clair = OctetsAleatoires(50000, 31);
    const std::string chiffre = ChiffrerTexte(c, clair);
    ASSERT_GT(chiffre.size(), 2 * kTailleTamponChiffre + 4096);

    std::vector<size_t> places = {0, 1, 2, 3, 5, 6, 7, chiffre.size() - 7, chiffre.size() - 4, chiffre.size() - 1};
    for (size_t bord : {size_t(4096), size_t(8192), kTailleTamponChiffre, kTailleTamponChiffre + 4096,
                        2 * kTailleTamponChiffre})
        for (size_t k = bord - 8; k <= bord + 3; ++k) places.push_back(k);
    size_t echecs = 0;
    for (size_t place : places) {
        SCOPED_TRACE(place);
        std::string abime = chiffre;
        abime[place] = char(abime[place] ^ 0x5A);
        const TIssue vecteur = DechiffrerAvec(depart, abime, true), simple = DechiffrerAvec(depart, abime, false);
        EXPECT_TRUE(vecteur.Octets == simple.Octets);
        EXPECT_EQ(vecteur.Echec, simple.Echec);
        EXPECT_TRUE(vecteur.Grille == simple.Grille);
        echecs += !simple.Echec.empty();
        // Cut just there, too.
        const std::string coupe = chiffre.substr(0, place);
        const TIssue vc = DechiffrerAvec(depart, coupe, true), sc = DechiffrerAvec(depart, coupe, false);
        EXPECT_TRUE(vc.Octets == sc.Octets);
        EXPECT_EQ(vc.Echec, sc.Echec);
        EXPECT_TRUE(vc.Grille == sc.Grille);
    }
    // Nearly every flip sends the grid astray and a later block is refused
    // (a flip may also give the same plain byte back, from another cell of
    // the same kind of block, and leave the text whole).
    EXPECT_GT(echecs, places.size() / 2);
    // And the undamaged text comes back whole on both.
    const TIssue vecteur = DechiffrerAvec(depart, chiffre, true), simple = DechiffrerAvec(depart, chiffre, false);
    EXPECT_TRUE(vecteur.Octets == clair);
    EXPECT_TRUE(simple.Octets == clair);
    EXPECT_TRUE(vecteur.Grille == simple.Grille);
}

// ---- Files ----

class DechiffreFichiers : public ::testing::Test {
protected:
    void SetUp() override {
        clair = OctetsAleatoires(100000, 21);
        TKOZChiffre c;
        c.Sauver(rep.Dir(), "DEBUT");
        EcrireFichier(rep / "essai.KOZ", ChiffrerTexte(c, clair));
        TKOZDechiffre lecteur(rep.Dir(), "DEBUT");
        fins = FinsDeBlocs(lecteur, LireFichier(rep / "essai.KOZ"));
    }
    TKOZDechiffre Depart() { return TKOZDechiffre(rep.Dir(), "DEBUT"); }

    TRepertoireTemporaire rep;
    std::string clair;
    std::vector<size_t> fins;
};

TEST_F(DechiffreFichiers, UnTrioDontLaGrilleEstFausseEstRefuseAuChargement) {
    std::string kgr = LireFichier(rep / "DEBUT.KGR");
    kgr[10] = kgr[11];
    EcrireFichier(rep / "DEBUT.KGR", kgr);
    const std::string m = Echec([&] { TKOZDechiffre d(rep.Dir(), "DEBUT"); });
    EXPECT_EQ(m.rfind("La grille n'est plus valide\r\n\r\nManquent = ", 0), 0u) << m;
}

TEST_F(DechiffreFichiers, LaSortieNeRemplaceJamaisLEntree) {
    const std::string avant = LireFichier(rep / "essai.KOZ");
    const std::string raison = "Le fichier chiffré et le fichier déchiffré sont le même fichier";
    EXPECT_EQ(Echec([&] { Depart().DechiffrerFichier(rep / "essai.KOZ", rep / "essai.KOZ"); }),
              MessageCreation(rep / "essai.KOZ", raison));
    // Another name for the same file.
    ASSERT_EQ(::link((rep / "essai.KOZ").c_str(), (rep / "lien").c_str()), 0);
    EXPECT_EQ(Echec([&] { Depart().DechiffrerFichier(rep / "essai.KOZ", rep / "lien"); }),
              MessageCreation(rep / "lien", raison));
    EXPECT_TRUE(LireFichier(rep / "essai.KOZ") == avant);
}

TEST_F(DechiffreFichiers, UneEntreeAbsenteNeTouchePasLaSortie) {
    EcrireFichier(rep / "sortie", "intact");
    EXPECT_EQ(Echec([&] { Depart().DechiffrerFichier(rep / "absent.KOZ", rep / "sortie"); }),
              MessageOuverture(rep / "absent.KOZ", TexteErreur(ENOENT)));
    EXPECT_EQ(LireFichier(rep / "sortie"), "intact");
}

TEST_F(DechiffreFichiers, UneSortieImpossibleACreerEstSignalee) {
    std::filesystem::create_directory(rep / "dossier");
    EXPECT_EQ(Echec([&] { Depart().DechiffrerFichier(rep / "essai.KOZ", rep / "dossier"); }),
              MessageCreation(rep / "dossier", TexteErreur(EISDIR)));
    EXPECT_EQ(Echec([&] { Depart().DechiffrerFichier(rep / "essai.KOZ", rep / "manque/essai"); }),
              MessageCreation(rep / "manque/essai", TexteErreur(ENOENT)));
}

TEST_F(DechiffreFichiers, UnDisquePleinEstSignale) {
    EXPECT_EQ(Echec([&] { Depart().DechiffrerFichier(rep / "essai.KOZ", "/dev/full"); }),
              MessageEcriture("/dev/full", TexteErreur(ENOSPC)));
}

TEST_F(DechiffreFichiers, UneLectureEnEchecGardeLesBlocsLusAvant) {
    for (int64_t k : {0, 1, 2, 1000, 65536, 65537, 150001}) {
        TPlateformeFautive p;
        p.SeulementPour = ".KOZ";
        p.LectureEchoueApres = k;
        EXPECT_EQ(Echec([&] { Depart().DechiffrerFichier(rep / "essai.KOZ", rep / "essai"); }),
                  MessageLecture(rep / "essai.KOZ", TexteErreur(EIO)));
        size_t blocs = 0;
        while (blocs < fins.size() && fins[blocs] <= size_t(k)) ++blocs;
        EXPECT_TRUE(LireFichier(rep / "essai") == clair.substr(0, blocs)) << k;
    }
}

TEST_F(DechiffreFichiers, UneEcritureEnEchecEstSignaleeEtCeQuiEstEcritEstJuste) {
    TPlateformeFautive p;
    p.SeulementPour = "/essai.clair";
    p.EcritureEchoueApres = 50000;
    p.EcritureCourte = true;
    EXPECT_EQ(Echec([&] { Depart().DechiffrerFichier(rep / "essai.KOZ", rep / "essai.clair"); }),
              MessageEcriture(rep / "essai.clair", TexteErreur(ENOSPC)));
    EXPECT_TRUE(LireFichier(rep / "essai.clair") == clair.substr(0, 50000));
}

TEST_F(DechiffreFichiers, UneFermetureEnEchecEstSignalee) {
    TPlateformeFautive p;
    p.SeulementPour = "/essai.clair";
    p.FermetureEchoue = true;
    EXPECT_EQ(Echec([&] { Depart().DechiffrerFichier(rep / "essai.KOZ", rep / "essai.clair"); }),
              MessageEcriture(rep / "essai.clair", TexteErreur(EIO)));
}
