// The file-name field's rules, without the toolkit.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "commande/KOZNoms.hpp"
#include "commande/TextesApplication.hpp"
#include "platform/KOZErreur.hpp"
#include "tests/support/Fichiers.hpp"
#include "commande/NomFichier.hpp"

TEST(NomFichier, LesSixCaracteresInterditsEtLeNomVideSontRefuses) {
    EXPECT_TRUE(NomFichierValide("/tmp/a.txt"));
    EXPECT_TRUE(NomFichierValide("a b:c*?.txt"));
    EXPECT_FALSE(NomFichierValide(""));
    for (char c : std::string("<>\"[]|")) EXPECT_FALSE(NomFichierValide(std::string("/tmp/a") + c + "b")) << c;
}

TEST(NomFichier, LeTexteEntierEstLeNomSansBlancsAuxBoutsNiGuillemets) {
    // A name typed with a blank and no quotes is one name, not its first word.
    EXPECT_EQ(NomDuTexte("/tmp/mes documents/lettre.KOZ"), "/tmp/mes documents/lettre.KOZ");
    EXPECT_EQ(NomDuTexte("  \t\"/tmp/mes documents/a.txt\" \r\n"), "/tmp/mes documents/a.txt");
    EXPECT_EQ(NomDuTexte("\" /tmp/a \""), " /tmp/a ");
    EXPECT_EQ(NomDuTexte("   "), "");
    // A name being typed in quotes: the opening quote alone is dropped too.
    EXPECT_EQ(NomDuTexte("\""), "");
    EXPECT_EQ(NomDuTexte("\"/tmp/mes doc"), "/tmp/mes doc");
    // Bytes above 127 are ordinary characters, not blanks.
    EXPECT_EQ(NomDuTexte("\xC3\xA9t\xC3\xA9\xC2\xA0"), "\xC3\xA9t\xC3\xA9\xC2\xA0");
}

TEST(NomFichier, UnNomEntreGuillemetsSArreteASonGuillemetFermant) {
    // What follows the closing quote is not part of the name.
    EXPECT_EQ(NomDuTexte("\"a b.txt\" brouillon"), "a b.txt");
    EXPECT_EQ(NomDuTexte("\"a\"b\""), "a");
    EXPECT_EQ(NomDuTexte("\"/tmp/a\"   "), "/tmp/a");
    // Empty pairs before the name are skipped, blanks around them too.
    EXPECT_EQ(NomDuTexte("\"\""), "");
    EXPECT_EQ(NomDuTexte("\"\"\""), "");
    EXPECT_EQ(NomDuTexte("\"\"a.txt"), "a.txt");
    EXPECT_EQ(NomDuTexte(" \"\" \"\"\"a b.txt\""), "a b.txt");
    // A quote that does not begin the name stays in it, so the name is refused.
    EXPECT_EQ(NomDuTexte("/tmp/a\" "), "/tmp/a\"");
    EXPECT_EQ(NomDuTexte("/tmp/\"a"), "/tmp/\"a");
    EXPECT_EQ(NomDuTexte("a \"b c\""), "a \"b c\"");
}

// The run reads the source field's name; the destination proposed from it
// must be that very name with its extension replaced, however it was quoted.
TEST(NomFichier, LaPropositionEtLeLancementLisentLeMemeNom) {
    const std::vector<std::pair<std::string, std::string>> cas{
        {"\"a b.txt\" brouillon", "a b.txt"}, {"\"\"a.txt", "a.txt"},  {"\"\"\"a b.txt\"", "a b.txt"},
        {"\" a.txt\"", " a.txt"},             {"\"a.txt\t\"", "a.txt\t"}, {"mes notes.txt", "mes notes.txt"},
    };
    for (const auto& [texte, nom] : cas) {
        EXPECT_EQ(FormeObtenue(texte), nom) << texte;
        const std::string propose = NomChiffrePropose(FormeObtenue(texte));
        EXPECT_EQ(FormeObtenue(TexteDuNomPropose(propose)), propose) << texte;
    }
    EXPECT_EQ(TexteDuNomPropose("a b.KOZ"), "\"a b.KOZ\"");
    EXPECT_EQ(TexteDuNomPropose(" a.KOZ"), "\" a.KOZ\"");
    EXPECT_EQ(TexteDuNomPropose("\ta.KOZ"), "\"\ta.KOZ\"");
    EXPECT_EQ(TexteDuNomPropose(""), "");
    try {
        TexteDuNomPropose("a\" b.KOZ");
        FAIL() << "no exception";
    } catch (const EKOZException& e) {
        EXPECT_STREQ(e.what(), "Nom de fichier incorrect - a\" b.KOZ");
    }
}

TEST(NomFichier, UnFichierExistantEstRenduTelQuel) {
    TRepertoireTemporaire dir;
    const std::string nom = dir / " espace devant ";
    EcrireFichier(nom, "x");
    EXPECT_EQ(FormeObtenue(nom), nom);
    EXPECT_EQ(FormeObtenue("\"" + nom + "\""), nom);
    // A directory is not a file: its text is trimmed like any other.
    EXPECT_EQ(FormeObtenue(dir.Dir() + " "), dir.Dir());
}

TEST(NomFichier, LesNomsAvecBlancSontMisEntreGuillemets) {
    EXPECT_EQ(TexteDuNom("/tmp/a.txt"), "/tmp/a.txt");
    EXPECT_EQ(TexteDuNom("/tmp/mes documents/a.txt"), "\"/tmp/mes documents/a.txt\"");
    EXPECT_EQ(TexteDuNom("\"/tmp/mes documents/a.txt\""), "\"/tmp/mes documents/a.txt\"");
    EXPECT_EQ(TexteDuNom(""), "");
    EXPECT_EQ(TexteDuNom("fin\t"), "\"fin\t\"");
    // Quoted and read back, a name with blanks is itself again.
    for (const std::string nom : {"/a b/c d.txt", " x", "y "}) EXPECT_EQ(NomDuTexte(TexteDuNom(nom)), nom);
}

TEST(NomFichier, LeControleDuSetterPorteSurLeNomEntier) {
    EXPECT_NO_THROW(VerifierNomFichier(""));
    EXPECT_NO_THROW(VerifierNomFichier("/tmp/mes documents/a.KOZ"));
    EXPECT_NO_THROW(VerifierNomFichier(".KOZ"));
    try {
        VerifierNomFichier("/tmp/a b[1].KOZ");
        FAIL() << "no exception";
    } catch (const EKOZException& e) {
        EXPECT_STREQ(e.what(), "Nom de fichier incorrect - /tmp/a b[1].KOZ");
    }
    EXPECT_THROW(VerifierNomFichier("   "), EKOZException);
    EXPECT_THROW(VerifierNomFichier("a|b"), EKOZException);
}

TEST(NomFichier, UnNomAccepteParLeSetterSeRelitSousSaFormeObtenue) {
    // Shown as typed, this one would read back as ' "a b" ', which holds quotes.
    EXPECT_EQ(TexteDefini(" \"a b\" "), "\"a b\"");
    EXPECT_EQ(TexteDefini("/tmp/mes documents/a.txt"), "\"/tmp/mes documents/a.txt\"");
    EXPECT_EQ(TexteDefini("/tmp/a.txt"), "/tmp/a.txt");
    EXPECT_EQ(TexteDefini(""), "");

    auto seRelit = [](const std::string& nom) {
        try {
            VerifierNomFichier(nom);
        } catch (const EKOZException&) {
            return;
        }
        EXPECT_EQ(FormeObtenue(TexteDefini(nom)), FormeObtenue(nom)) << '[' << nom << ']';
    };
    // Every text of up to six characters among these, none of them an existing file.
    const std::string lettres = "x \"\t/";
    std::vector<std::string> longueur{""};
    for (int n = 0; n < 6; ++n) {
        std::vector<std::string> suivants;
        for (const auto& t : longueur)
            for (char c : lettres) suivants.push_back(t + c);
        for (const auto& t : suivants) seRelit(t);
        longueur = std::move(suivants);
    }
    // An existing file is its own getter form, blanks at its ends included.
    TRepertoireTemporaire dir;
    for (const std::string nom : {" espace devant ", "fin\t", "sans"}) {
        EcrireFichier(dir / nom, "x");
        seRelit(dir / nom);
        EXPECT_EQ(FormeObtenue(TexteDefini(dir / nom)), dir / nom);
    }
}

TEST(NomFichier, FiltresAuFormatDuDialogue) {
    EXPECT_EQ(FiltreDialogue("Tous les fichiers (*.*)|*.*"), "Tous les fichiers (*.*) (*)");
    EXPECT_EQ(FiltreDialogue("Fichier KOZ (*.KOZ)|*.KOZ|Tous les fichiers (*.*)|*.*"),
              "Fichier KOZ (*.KOZ) (*.KOZ);;Tous les fichiers (*.*) (*)");
    EXPECT_EQ(FiltreDialogue("Fichiers grille KOZ (*.KGR)|*.KGR"), "Fichiers grille KOZ (*.KGR) (*.KGR)");
    EXPECT_EQ(FiltreDialogue("Textes|*.txt;*.md"), "Textes (*.txt *.md)");
    EXPECT_EQ(FiltreDialogue(""), "");
}

TEST(NomFichier, PreparationDuParcours) {
    TRepertoireTemporaire dir;
    const std::string depart = "/depart/";
    // A valid name in an existing directory: that directory, that name.
    auto p = PreparerParcours(dir / "lettre.txt", depart, "ancien");
    EXPECT_EQ(p.Repertoire, dir.Dir());
    EXPECT_EQ(p.Nom, dir / "lettre.txt");
    // Quoted with blanks: the same, unquoted.
    p = PreparerParcours("\"" + (dir / "mes lettres.txt") + "\"", depart, "ancien");
    EXPECT_EQ(p.Nom, dir / "mes lettres.txt");
    // A directory that does not exist: the initial directory stays.
    p = PreparerParcours("/nulle/part/a.txt", depart, "ancien");
    EXPECT_EQ(p.Repertoire, depart);
    EXPECT_EQ(p.Nom, "/nulle/part/a.txt");
    // An empty name part: no proposed name.
    p = PreparerParcours(dir.Dir(), depart, "ancien");
    EXPECT_EQ(p.Repertoire, dir.Dir());
    EXPECT_EQ(p.Nom, "");
    // Not a valid name (empty, or a forbidden character): both stay.
    p = PreparerParcours("", depart, "ancien");
    EXPECT_EQ(p.Repertoire, depart);
    EXPECT_EQ(p.Nom, "ancien");
    p = PreparerParcours(dir / "a<b", depart, "ancien");
    EXPECT_EQ(p.Repertoire, depart);
    EXPECT_EQ(p.Nom, "ancien");
}

TEST(NomFichier, RepertoireEtTitreDuProgramme) {
    EXPECT_EQ(RepertoireDuProgramme("/usr/local/bin/ZymKOZChiffre"), "/usr/local/bin");
    EXPECT_EQ(RepertoireDuProgramme("/ZymKOZChiffre"), "/");
    EXPECT_EQ(TitreApplication("/usr/local/bin/ZymKOZChiffre"), "Zymkozchiffre");
    EXPECT_EQ(TitreApplication("ZymKOZDechiffre"), "Zymkozdechiffre");
    EXPECT_EQ(TitreApplication("/opt/ZymKOZ.Chiffre.bin"), "Zymkoz");
    EXPECT_EQ(TitreApplication("/opt/z.ABC"), "z");
}

TEST(NomFichier, PointAjouteQuandLeDernierOctetDepasseLePoint) {
    EXPECT_EQ(TexteAffiche("Nom de fichier incorrect - /tmp/a[b.KOZ"), "Nom de fichier incorrect - /tmp/a[b.KOZ.");
    EXPECT_EQ(TexteAffiche("erreur 7"), "erreur 7.");
    EXPECT_EQ(TexteAffiche("tout va bien."), "tout va bien.");
    EXPECT_EQ(TexteAffiche("(voir plus haut)"), "(voir plus haut)");
    EXPECT_EQ(TexteAffiche("le fichier \"a\""), "le fichier \"a\"");
    EXPECT_EQ(TexteAffiche("fin "), "fin ");
    EXPECT_EQ(TexteAffiche("ligne\r\n"), "ligne\r\n");
    EXPECT_EQ(TexteAffiche("a-"), "a-");
    EXPECT_EQ(TexteAffiche("a/"), "a/.");
    EXPECT_EQ(TexteAffiche("d\xC3\xA9j\xC3\xA0"), "d\xC3\xA9j\xC3\xA0.");
    EXPECT_EQ(TexteAffiche(""), "");
}

TEST(TextesFenetre, LegendeSansSonRaccourci) {
    EXPECT_EQ(SansRaccourci("&Fichier à chiffrer"), "Fichier à chiffrer");
    EXPECT_EQ(SansRaccourci("Fic&hier chiffré"), "Fichier chiffré");
    EXPECT_EQ(SansRaccourci("\xC3\x89&craser"), "\xC3\x89" "craser");
    EXPECT_EQ(SansRaccourci("Noir && blanc"), "Noir & blanc");
    EXPECT_EQ(SansRaccourci("fin&"), "fin&");
    EXPECT_EQ(SansRaccourci(""), "");
}

TEST(TextesFenetre, UnChampVideEstNommeParSaLegende) {
    EXPECT_EQ(MessageChampVide("Fichier à chiffrer"), "Le champ « Fichier à chiffrer » est vide");
    EXPECT_EQ(TexteAffiche(MessageChampVide("Fichier chiffré")), "Le champ « Fichier chiffré » est vide.");
}

TEST(TextesFenetre, UneLongueOperationFinieDerriereEstAnnoncee) {
    const auto avis = AvisDeFin(5000, false, true, "Terminé en 5000ms", "Chiffrement");
    ASSERT_TRUE(avis);
    EXPECT_EQ(avis->Titre, "Chiffrement terminé");
    EXPECT_EQ(avis->Corps, "Terminé en 5000ms");
    const auto echec = AvisDeFin(60000, false, false, "Le fichier chiffré \"/a.KOZ\" est invalide à l'octet 3",
                                 "Déchiffrement");
    ASSERT_TRUE(echec);
    EXPECT_EQ(echec->Titre, "Échec du déchiffrement");
    EXPECT_EQ(echec->Corps, "Le fichier chiffré \"/a.KOZ\" est invalide à l'octet 3.");
}

TEST(TextesFenetre, RienPourUneOperationCourteDevantOuInterrompue) {
    EXPECT_FALSE(AvisDeFin(4999, false, true, "Terminé en 4999ms", "Chiffrement"));
    EXPECT_FALSE(AvisDeFin(0, false, true, "Terminé en 0ms", "Chiffrement"));
    EXPECT_FALSE(AvisDeFin(600000, true, true, "Terminé en 600000ms", "Chiffrement"));
    EXPECT_FALSE(AvisDeFin(600000, true, false, "Impossible", "Chiffrement"));
    // Interrupted by the user, who therefore knows.
    EXPECT_FALSE(AvisDeFin(600000, false, false, "", "Chiffrement"));
    // The threshold is a parameter; the default is the documented one.
    EXPECT_TRUE(AvisDeFin(10, false, true, "Terminé en 10ms", "Chiffrement", 10));
    EXPECT_FALSE(AvisDeFin(9, false, true, "Terminé en 9ms", "Chiffrement", 10));
    EXPECT_EQ(kDureeAvisMs, 5000u);
}
