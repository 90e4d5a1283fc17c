// The decrypt command: what the encrypt command wrote is read back from its
// starting trio, alone or as a chain; the state reached is checked against a
// trio; nothing is written when the run cannot go through.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <regex>

#include "commande/KOZNoms.hpp"
#include "tests/support/Echecs.hpp"
#include "tests/support/Fichiers.hpp"
#include "tests/support/PlateformeFautive.hpp"
#include "Outils.hpp"
#include "commande/UKOZChiffre.hpp"
#include "commande/UKOZDechiffre.hpp"

namespace fs = std::filesystem;

namespace {

void CopierTrio(const std::string& de, const std::string& vers) {
    for (const char* ext : {".KGR", ".KEC", ".KPR"})
        fs::copy_file(de + ext, vers + ext, fs::copy_options::overwrite_existing);
}

std::string Trio(const std::string& base) {
    return LireFichier(base + ".KGR") + LireFichier(base + ".KEC") + LireFichier(base + ".KPR");
}

bool Existe(const std::string& nom) { return fs::exists(nom); }

// Field champ (from 0) of line ligne (from 0) of a journal.
std::string ChampJournal(const std::string& journal, int ligne, int champ) {
    std::string texte = LireFichier(journal);
    for (int i = 0; i < ligne; ++i) texte = texte.substr(texte.find('\n') + 1);
    texte = texte.substr(0, texte.find('\n'));
    for (int i = 0; i < champ; ++i) texte = texte.substr(texte.find('\t') + 1);
    return texte.substr(0, texte.find('\t'));
}

struct TContenu {
    const char* nom;
    std::string octets;
};
void PrintTo(const TContenu& c, std::ostream* os) { *os << c.nom << " (" << c.octets.size() << " octets)"; }

class DechiffreCommandeAllerRetour : public ::testing::TestWithParam<TContenu> {};

}  // namespace

TEST_P(DechiffreCommandeAllerRetour, CeQueLeChiffrementEcritSeRelitDepuisDEBUT) {
    TRepertoireTemporaire rep, sortie;
    EcrireFichier(rep / "essai.txt", GetParam().octets);
    LancerChiffrement(rep / "essai.txt", rep / "essai.KOZ", "", false);
    TDechiffrement d;
    d.Fichiers = {{rep / "essai.KOZ", sortie / "essai.txt"}};
    d.Grille = rep / "DEBUT.KGR";
    d.Fin = rep / "FIN-CHIFFRE.KGR";
    const std::string texte = LancerDechiffrement(d);
    EXPECT_TRUE(std::regex_match(texte, std::regex("Terminé en [0-9]+ms"))) << texte;
    EXPECT_TRUE(LireFichier(sortie / "essai.txt") == GetParam().octets);
}

INSTANTIATE_TEST_SUITE_P(Contenus, DechiffreCommandeAllerRetour,
                         ::testing::Values(TContenu{"vide", ""}, TContenu{"un_octet", "A"},
                                           TContenu{"une_valeur", std::string(100000, 'A')},
                                           TContenu{"hasard_2MiB", OctetsAleatoires(2 << 20, 42)}),
                         [](const auto& info) { return std::string(info.param.nom); });

TEST(DechiffreCommande, UnEtatChargeEtLeModeSecuriseSeRelisentAussi) {
    TRepertoireTemporaire rep, cles;
    {
        TKOZGrille g;
        g.Sauver(cles.Dir(), "CLE");
    }
    const std::string clair = OctetsAleatoires(30000, 7);
    EcrireFichier(rep / "a", clair);
    for (bool securise : {false, true}) {
        fs::remove(rep / "a.KOZ");
        LancerChiffrement(rep / "a", rep / "a.KOZ", cles / "CLE.KGR", securise);
        TDechiffrement d;
        d.Fichiers = {{rep / "a.KOZ", rep / "a.relu"}};
        d.Grille = cles / "CLE.KGR";
        d.Fin = rep / "FIN-CHIFFRE.KGR";
        d.Ecraser = true;
        LancerDechiffrement(d);
        EXPECT_TRUE(LireFichier(rep / "a.relu") == clair) << securise;
    }
}

// Three runs, each from the previous "FIN-CHIFFRE", read back in one run from
// the first "DEBUT".
class DechiffreChaine : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 3; ++i) {
            clairs.push_back(OctetsAleatoires(size_t(20000 + 7000 * i), uint32_t(i + 1)));
            EcrireFichier(Clair(i), clairs[i]);
            LancerChiffrement(Clair(i), Chiffre(i), i == 0 ? "" : cles / ("F" + std::to_string(i) + ".KGR"), false);
            if (i == 0) CopierTrio(rep / "DEBUT", cles / "D1");
            // Each run rewrites FIN-CHIFFRE beside its source: kept aside.
            CopierTrio(rep / "FIN-CHIFFRE", cles / ("F" + std::to_string(i + 1)));
        }
    }
    std::string Clair(int i) const { return rep / ("f" + std::to_string(i + 1)); }
    std::string Chiffre(int i) const { return rep / ("f" + std::to_string(i + 1) + ".KOZ"); }
    std::string Sortie(int i) const { return sortie / ("f" + std::to_string(i + 1)); }
    TDechiffrement Tout() const {
        TDechiffrement d;
        for (int i = 0; i < 3; ++i) d.Fichiers.push_back({Chiffre(i), Sortie(i)});
        d.Grille = cles / "D1.KGR";
        d.Fin = cles / "F3.KGR";
        return d;
    }

    TRepertoireTemporaire rep, cles, sortie;
    std::vector<std::string> clairs;
};

TEST_F(DechiffreChaine, LesTroisFichiersSeRelisentDansLOrdreEtLEtatAtteintEstSauve) {
    TDechiffrement d = Tout();
    d.SauverFin = cles / "ATTEINT";
    std::vector<std::pair<uint64_t, uint64_t>> progres;
    TSuivi suivi;
    suivi.Progression = [&](uint64_t fait, uint64_t total) { progres.push_back({fait, total}); };
    LancerDechiffrement(d, &suivi);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(LireFichier(Sortie(i)) == clairs[i]) << i;
    EXPECT_TRUE(Trio(cles / "ATTEINT") == Trio(cles / "F3"));
    // One progress over the three inputs.
    uint64_t total = 0;
    for (int i = 0; i < 3; ++i) total += fs::file_size(Chiffre(i));
    ASSERT_FALSE(progres.empty());
    for (size_t i = 0; i < progres.size(); ++i) {
        EXPECT_EQ(progres[i].second, total);
        if (i) {
            EXPECT_GT(progres[i].first, progres[i - 1].first);
        }
    }
    EXPECT_EQ(progres.back().first, total);
}

TEST_F(DechiffreChaine, UnMaillonSeRelitDepuisLaFinDuPrecedent) {
    TDechiffrement d;
    d.Fichiers = {{Chiffre(1), Sortie(1)}};
    d.Grille = cles / "F1.KGR";
    d.Fin = cles / "F2.KGR";
    LancerDechiffrement(d);
    EXPECT_TRUE(LireFichier(Sortie(1)) == clairs[1]);
}

TEST_F(DechiffreChaine, UnMauvaisEtatDeDepartEstDecele) {
    // The second file read from the first DEBUT: its record says that trio is
    // not its key, and the journal finds the way to it through the first file.
    TDechiffrement d;
    d.Fichiers = {{Chiffre(1), Sortie(1)}};
    d.Grille = cles / "D1.KGR";
    d.Fin = cles / "F2.KGR";
    EXPECT_EQ(Echec([&] { LancerDechiffrement(d); }),
              "La grille \"" + (cles / "D1.KGR") + "\" n'est pas la clé de \"" + Chiffre(1) + "\" : sa clé est \"" +
                  (rep / "DEBUT.KGR") + ", puis " + Chiffre(0) + "\"");
    EXPECT_FALSE(Existe(Sortie(1)));
    // Without its record, only the state reached can tell: the block rule or
    // the final check stops it; it never passes.
    fs::remove(rep / "KOZ-JOURNAL.txt");
    const std::string m = Echec([&] { LancerDechiffrement(d); });
    const bool invalide = m.rfind("Le fichier chiffré \"" + Chiffre(1) + "\" est invalide à l'octet ", 0) == 0;
    const bool different = m == "L'état atteint ne correspond pas à l'état \"" + (cles / "F2.KGR") +
                                    "\" : mauvaise grille de départ ou fichier chiffré altéré";
    EXPECT_TRUE(invalide || different) << m;
    EXPECT_FALSE(Existe(Sortie(1)));
}

TEST_F(DechiffreChaine, UneTableDEchangeAltereeEstDeceleeParLaFin) {
    // The grid is right, so the first block reads; only the comparison with
    // FIN-CHIFFRE can tell.
    std::string kec = LireFichier(cles / "D1.KEC");
    kec[0] = char(kec[0] ^ 1);
    EcrireFichier(cles / "D1.KEC", kec);
    TDechiffrement d;
    EcrireFichier(rep / "x", "Z");
    LancerChiffrement(rep / "x", rep / "x.KOZ", cles / "D1.KGR", false);
    CopierTrio(rep / "FIN-CHIFFRE", cles / "FX");
    kec[0] = char(kec[0] ^ 1);
    EcrireFichier(cles / "D1.KEC", kec);  // back to the other table
    d.Fichiers = {{rep / "x.KOZ", Sortie(0)}};
    d.Grille = cles / "D1.KGR";
    d.Fin = cles / "FX.KGR";
    d.SauverFin = sortie / "ATTEINT";
    // The journal knows the state x.KOZ started from: that grid is not its key.
    EXPECT_EQ(Echec([&] { LancerDechiffrement(d); }),
              "La grille \"" + (cles / "D1.KGR") + "\" n'est pas la clé de \"" + (rep / "x.KOZ") + "\"");
    EXPECT_FALSE(Existe(Sortie(0)));
    // Without the journal, the comparison with FIN-CHIFFRE tells.
    fs::remove(rep / "KOZ-JOURNAL.txt");
    EXPECT_EQ(Echec([&] { LancerDechiffrement(d); }),
              "L'état atteint ne correspond pas à l'état \"" + (cles / "FX.KGR") +
                  "\" : mauvaise grille de départ ou fichier chiffré altéré");
    EXPECT_FALSE(Existe(Sortie(0)));  // an output proven wrong is not kept
    EXPECT_FALSE(Existe(sortie / "ATTEINT.KGR"));  // nor a state known to be wrong
}

TEST_F(DechiffreChaine, UnDernierBlocRemplaceParUnAutreValideEstDeceleParLaFin) {
    // The last block of f1 replaced by a CodageSuite block of another byte:
    // every block reads, only the state reached differs.
    const std::string chiffre = LireFichier(Chiffre(0));
    TKOZDechiffre lecteur(cles.Dir(), "D1");
    const std::vector<size_t> fins = FinsDeBlocs(lecteur, chiffre);
    ASSERT_EQ(fins.size(), clairs[0].size());
    const size_t debutDernier = fins[fins.size() - 2];
    TKOZDechiffre avant(cles.Dir(), "D1");
    for (size_t i = 0; i + 1 < clairs[0].size(); ++i) avant.Evoluer(uint8_t(clairs[0][i]));
    const uint8_t autre = uint8_t(clairs[0].back() ^ 0x55);
    const TCoordonnees p = avant.Coordonnees(autre);
    std::string modifie = chiffre.substr(0, debutDernier);
    for (int k = 0; k < 3; ++k) modifie += char(avant.Case(p.Ligne, uint8_t((p.Colonne + k) & 15)));
    EcrireFichier(Chiffre(0), modifie);

    TDechiffrement d;
    d.Fichiers = {{Chiffre(0), Sortie(0)}};
    d.Grille = cles / "D1.KGR";
    d.Fin = cles / "F1.KGR";
    // Every block reads; the journal knows the file was changed.
    EXPECT_EQ(Echec([&] { LancerDechiffrement(d); }),
              "Le fichier chiffré \"" + Chiffre(0) +
                  "\" n'est pas celui que le journal a enregistré : son contenu a changé depuis le chiffrement du " +
                  ChampJournal(rep / "KOZ-JOURNAL.txt", 1, 0));
    EXPECT_FALSE(Existe(Sortie(0)));
    // Without the journal, only the state reached can tell.
    fs::remove(rep / "KOZ-JOURNAL.txt");
    EXPECT_EQ(Echec([&] { LancerDechiffrement(d); }),
              "L'état atteint ne correspond pas à l'état \"" + (cles / "F1.KGR") +
                  "\" : mauvaise grille de départ ou fichier chiffré altéré");
    EXPECT_FALSE(Existe(Sortie(0)));
    // Asked for, the bytes read are kept under a name that says they are partial.
    d.GarderPartiel = true;
    const std::string m = Echec([&] { LancerDechiffrement(d); });
    EXPECT_NE(m.find("gardés dans \"" + Sortie(0) + ".partiel\""), std::string::npos) << m;
    std::string attendu = clairs[0];
    attendu.back() = char(autre);
    EXPECT_TRUE(LireFichier(Sortie(0) + ".partiel") == attendu);
    EXPECT_FALSE(Existe(Sortie(0)));
}

TEST_F(DechiffreChaine, UnOctetChangeNePassePasInapercu) {
    // Whatever byte is changed, the run fails, or the text read back is the
    // original one (a CodageCroix byte may be swapped for another cell that
    // gives the same plain byte).
    const std::string original = LireFichier(Chiffre(0));
    int echecs = 0;
    for (size_t i = 0; i < original.size(); i += original.size() / 40 + 1) {
        std::string modifie = original;
        modifie[i] = char(modifie[i] ^ (1 + i % 255));
        EcrireFichier(Chiffre(0), modifie);
        TDechiffrement d;
        d.Fichiers = {{Chiffre(0), Sortie(0)}};
        d.Grille = cles / "D1.KGR";
        d.Fin = cles / "F1.KGR";
        d.Ecraser = true;
        try {
            LancerDechiffrement(d);
            EXPECT_TRUE(LireFichier(Sortie(0)) == clairs[0]) << "octet " << i;
        } catch (const EKOZException&) {
            ++echecs;
        }
    }
    EXPECT_GT(echecs, 0);
}

TEST_F(DechiffreChaine, UnEchecSurLeDeuxiemeFichierGardeLePremier) {
    std::string coupe = LireFichier(Chiffre(1));
    coupe.pop_back();
    EcrireFichier(Chiffre(1), coupe);
    TKOZDechiffre lecteur(cles.Dir(), "F1");
    const std::vector<size_t> fins = FinsDeBlocs(lecteur, coupe);
    const std::string m = Echec([&] { LancerDechiffrement(Tout()); });
    EXPECT_EQ(m, "Le fichier chiffré \"" + Chiffre(1) + "\" est tronqué : il s'arrête au milieu d'un bloc, après " +
                     std::to_string(coupe.size()) + " octets au lieu des " + std::to_string(coupe.size() + 1) +
                     " enregistrés");
    // Each file is kept or refused on its own record.
    EXPECT_TRUE(LireFichier(Sortie(0)) == clairs[0]);
    EXPECT_FALSE(Existe(Sortie(1)));
    EXPECT_FALSE(Existe(Sortie(2)));
    // Without the journal the decryption's own message names the byte.
    fs::remove(rep / "KOZ-JOURNAL.txt");
    fs::remove(Sortie(0));
    EXPECT_EQ(Echec([&] { LancerDechiffrement(Tout()); }), MessageInvalide(Chiffre(1), fins.back()));
    EXPECT_FALSE(Existe(Sortie(0)));  // only the Fin trio could prove it, and the chain never got there
    EXPECT_FALSE(Existe(Sortie(1)));
}

TEST_F(DechiffreChaine, RienNEstEcritQuandUneSortieNePeutPasEtreCreee) {
    auto aucuneSortie = [&] {
        for (int i = 0; i < 3; ++i) EXPECT_FALSE(Existe(Sortie(i)) && LireFichier(Sortie(i)) != "ancien") << i;
    };
    const std::string memeFichier = "Le fichier chiffré et le fichier déchiffré sont le même fichier";
    {
        // An existing output, without leave to overwrite it.
        EcrireFichier(Sortie(2), "ancien");
        EXPECT_EQ(Echec([&] { LancerDechiffrement(Tout()); }),
                  "Le fichier déchiffré \"" + Sortie(2) + "\" existe déjà");
        EXPECT_EQ(LireFichier(Sortie(2)), "ancien");
        aucuneSortie();
        fs::remove(Sortie(2));
    }
    {
        // The first output over the third input.
        TDechiffrement d = Tout();
        d.Fichiers[0].second = Chiffre(2);
        d.Ecraser = true;
        const std::string avant = LireFichier(Chiffre(2));
        EXPECT_EQ(Echec([&] { LancerDechiffrement(d); }), MessageCreation(Chiffre(2), memeFichier));
        EXPECT_TRUE(LireFichier(Chiffre(2)) == avant);
        aucuneSortie();
    }
    {
        // The same through a hard link.
        ASSERT_EQ(::link(Chiffre(0).c_str(), (sortie / "lien").c_str()), 0);
        TDechiffrement d = Tout();
        d.Fichiers[1].second = sortie / "lien";
        d.Ecraser = true;
        EXPECT_EQ(Echec([&] { LancerDechiffrement(d); }), MessageCreation(sortie / "lien", memeFichier));
        fs::remove(sortie / "lien");
        aucuneSortie();
    }
    {
        // A missing input, second in the chain.
        TDechiffrement d = Tout();
        d.Fichiers[1].first = rep / "absent.KOZ";
        EXPECT_EQ(Echec([&] { LancerDechiffrement(d); }), MessageOuverture(rep / "absent.KOZ", TexteErreur(ENOENT)));
        aucuneSortie();
    }
    {
        // An output over the starting grid: the key would be lost.
        TDechiffrement d = Tout();
        d.Fichiers[2].second = cles / "D1.KGR";
        d.Ecraser = true;
        EXPECT_EQ(Echec([&] { LancerDechiffrement(d); }),
                  MessageCreation(cles / "D1.KGR", "Le fichier déchiffré et le fichier d'état sont le même fichier"));
        aucuneSortie();
    }
    {
        // Two inputs into one output.
        TDechiffrement d = Tout();
        d.Fichiers[2].second = Sortie(0);
        EXPECT_EQ(Echec([&] { LancerDechiffrement(d); }),
                  MessageCreation(Sortie(0), "Deux fichiers chiffrés seraient déchiffrés dans ce même fichier"));
        aucuneSortie();
    }
    {
        // An output that is a directory.
        fs::create_directory(sortie / "dossier");
        TDechiffrement d = Tout();
        d.Fichiers[1].second = sortie / "dossier";
        EXPECT_EQ(Echec([&] { LancerDechiffrement(d); }), MessageCreation(sortie / "dossier", TexteErreur(EISDIR)));
        aucuneSortie();
    }
    {
        // The state reached saved over the starting trio.
        TDechiffrement d = Tout();
        d.SauverFin = cles / "D1";
        EXPECT_EQ(Echec([&] { LancerDechiffrement(d); }),
                  MessageCreation(cles / "D1.KGR", "L'état atteint remplacerait la grille de départ"));
        aucuneSortie();
    }
    {
        // A missing starting trio, and a missing final one.
        TDechiffrement d = Tout();
        d.Grille = cles / "RIEN.KGR";
        EXPECT_EQ(Echec([&] { LancerDechiffrement(d); }), MessageOuverture(cles / "RIEN.KGR", TexteErreur(ENOENT)));
        d = Tout();
        d.Fin = cles / "RIEN.KGR";
        EXPECT_EQ(Echec([&] { LancerDechiffrement(d); }), MessageOuverture(cles / "RIEN.KGR", TexteErreur(ENOENT)));
        aucuneSortie();
    }
    {
        TDechiffrement d;
        EXPECT_EQ(Echec([&] { LancerDechiffrement(d); }), "Aucun fichier à déchiffrer");
        d = Tout();
        d.Grille.clear();
        fs::rename(rep / "KOZ-JOURNAL.txt", rep / "journal.ancien");
        EXPECT_EQ(Echec([&] { LancerDechiffrement(d); }), "Le déchiffrement demande la grille de départ");
        fs::rename(rep / "journal.ancien", rep / "KOZ-JOURNAL.txt");
    }
}

TEST_F(DechiffreChaine, UneDeuxiemeSortieDansUnDossierAbsentNEcritRien) {
    TDechiffrement d = Tout();
    d.Fichiers.pop_back();
    d.Fin.clear();
    const std::string absente = sortie / "absent/f2";
    d.Fichiers[1].second = absente;
    EXPECT_EQ(Echec([&] { LancerDechiffrement(d); }), MessageCreation(absente, TexteErreur(ENOENT)));
    EXPECT_FALSE(Existe(Sortie(0)));
    EXPECT_TRUE(fs::is_empty(sortie.Dir()));
}

TEST_F(DechiffreChaine, AvecEcraserUneSortieExistanteEstRemplacee) {
    EcrireFichier(Sortie(0), std::string(200000, 'x'));
    TDechiffrement d = Tout();
    d.Ecraser = true;
    LancerDechiffrement(d);
    EXPECT_TRUE(LireFichier(Sortie(0)) == clairs[0]);
}

TEST_F(DechiffreChaine, UneSortieSansNomPrendLeNomPropose) {
    TDechiffrement d;
    d.Fichiers = {{Chiffre(0), ""}};
    d.Grille = cles / "D1.KGR";
    fs::remove(Clair(0));
    LancerDechiffrement(d);
    EXPECT_TRUE(LireFichier(Clair(0)) == clairs[0]);
}

TEST_F(DechiffreChaine, UneCreationEnEchecEstSignalee) {
    TPlateformeFautive p;
    p.CreationEnEchec = 2;
    // The failing output is named by its final name, not its temporary one.
    EXPECT_EQ(Echec([&] { LancerDechiffrement(Tout()); }), MessageCreation(Sortie(1), TexteErreur(ENOSPC)));
    EXPECT_TRUE(LireFichier(Sortie(0)) == clairs[0]);
    EXPECT_FALSE(Existe(Sortie(1)));
}

TEST_F(DechiffreChaine, UnDisquePleinGardeCeQuIlPeutEtLeDitJuste) {
    // The disk fills up in the first file: the partial file holds what
    // reached it, and the message counts that, not the bytes decrypted.
    for (const int64_t stockes : {int64_t(0), int64_t(1000)}) {
        SCOPED_TRACE(stockes);
        TPlateformeFautive p;
        p.EcritureEchoueApres = stockes;
        p.EcritureCourte = true;
        TDechiffrement d = Tout();
        d.GarderPartiel = true;
        const std::string m = Echec([&] { LancerDechiffrement(d); });
        EXPECT_TRUE(LireFichier(Sortie(0) + ".partiel") == clairs[0].substr(0, size_t(stockes)));
        const std::string dit = stockes ? "(les 1000 octets déchiffrés sont gardés dans \"" + Sortie(0) + ".partiel\")"
                                        : "(aucun octet déchiffré n'a pu être gardé : \"" + Sortie(0) + ".partiel\" est vide)";
        EXPECT_NE(m.find(dit), std::string::npos) << m;
        EXPECT_FALSE(Existe(Sortie(0)));
        fs::remove(Sortie(0) + ".partiel");
    }
}

TEST(NomDechiffrePropose, LExtensionEstOteeEtUnNomSansExtensionEstSuffixe) {
    EXPECT_EQ(NomDechiffrePropose("/a/essai.KOZ"), "/a/essai");
    EXPECT_EQ(NomDechiffrePropose("essai.txt.KOZ"), "essai.txt");
    EXPECT_EQ(NomDechiffrePropose("essai"), "essai.dechiffre");
    EXPECT_EQ(NomDechiffrePropose("/a.b/essai"), "/a.b/essai.dechiffre");
    EXPECT_EQ(NomDechiffrePropose("/a/.KOZ"), "/a/.KOZ.dechiffre");
    EXPECT_EQ(NomDechiffrePropose(""), "");
    // The encryption's proposal cut the original extension: it is not recovered.
    EXPECT_EQ(NomDechiffrePropose(NomChiffrePropose("/a/doc.txt")), "/a/doc");
}
