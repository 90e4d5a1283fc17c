#include "commande/KOZNoms.hpp"
#include "ui/UFormChiffre.hpp"

#include "ui/AffichageErreur.hpp"
#include "ui/ChampNomFichier.hpp"
#include "ui/Controles.hpp"
#include "commande/UKOZChiffre.hpp"
#include "platform/Plateforme.hpp"
#include "ui/TexteRapport.hpp"

#include <QToolButton>
#include <cerrno>

namespace {
const TTextesFenetre kTextes = {
    "ZymKOZ-Chiffrement-",
    {"&Fichier à chiffrer", "Fic&hier chiffré", "&Grille"},
    {75, 63, 23},
    "(Si vide alors on part d'une nouvelle grille aléatoire)",
    {"Tous les fichiers (*.*)|*.*", "Fichier KOZ (*.KOZ)|*.KOZ|Tous les fichiers (*.*)|*.*"},
    "&Chiffrer",
    "&Mode sécurisé (vérification de la validité de la grille pour chaque octet codé)",
    "Chiffrement",
    {"Le fichier à chiffrer, ou un dossier chiffré en une seule archive (Alt+Maj+Bas pour choisir un dossier).", "Le fichier chiffré à écrire, proposé d'après le fichier à chiffrer.",
     "La grille de départ, un fichier .KGR."},
    "Chiffre le fichier. Entrée lance aussi le chiffrement, Échap l'arrête.",
    "Vérifie la validité de la grille après chaque octet codé ; plus lent.",
};
}  // namespace

TForm1::TForm1(QWidget* parent) : TFenetreKOZ(kTextes, parent) {
    // A folder is encrypted as one archive: Shift+click on the button, or Alt+Shift+Down, browses for one.
    JvFilenameEdit1->DossiersAcceptes = true;
    JvFilenameEdit1->BoutonParcourir()->setAccessibleDescription(
        JvFilenameEdit1->BoutonParcourir()->accessibleDescription() + " ; avec Maj, choisit un dossier");
}

void TForm1::JvFilenameEdit1Change() {
    Proteger([this] { JvFilenameEdit2->ProposerNomFichier(NomChiffrePropose(JvFilenameEdit1->NomFichier())); });
}

void TForm1::Button1Click() {
    Proteger([this] {
        ExigerNom(JvFilenameEdit1, Label1);
        TChiffrement c;
        c.Sources = {JvFilenameEdit1->NomFichier()};
        if (Chaine.size() > 1 && Chaine.front() == c.Sources.front()) {
            // The chain dropped: each file to its proposed name, all under one key.
            c.Sources = Chaine;
            c.Grille = JvFilenameEdit3->NomFichier();
            c.Securise = CheckBox1->isChecked();
            for (const auto& source : c.Sources)
                if (Plateforme().IdentiteDe(NomChiffrePropose(source))) {
                    if (!Demander("Des fichiers chiffrés de cette chaîne existent déjà (dont « " +
                                  Plateforme().CheminComplet(NomChiffrePropose(source)) +
                                  " »).\nVoulez-vous les remplacer ?"))
                        return;
                    c.Ecraser = true;
                    break;
                }
            Executer([c](const TSuivi& suivi) { return TexteDuRapport(Chiffrer(c, &suivi)); });
            return;
        }
        ExigerNom(JvFilenameEdit2, Label2);
        c.Destination = JvFilenameEdit2->NomFichier();
        c.Grille = JvFilenameEdit3->NomFichier();
        c.Securise = CheckBox1->isChecked();
        // An existing encrypted file is replaced only when the user says so.
        if (Plateforme().IdentiteDe(c.Destination) && Plateforme().FichierOrdinaire(c.Destination)) {
            if (!Demander("Le fichier chiffré « " + Plateforme().CheminComplet(c.Destination) +
                          " » existe déjà.\nVoulez-vous le remplacer ?"))
                return;
            c.Ecraser = true;
        }
        Executer([c](const TSuivi& suivi) { return TexteDuRapport(Chiffrer(c, &suivi)); });
    });
}

void TForm1::FichierDepose(const std::string& nom) {
    Chaine.clear();
    JvFilenameEdit1->DefinirNomFichier(nom);
}

void TForm1::FichiersDeposes(const std::vector<std::string>& noms) {
    JvFilenameEdit1->DefinirNomFichier(noms.front());
    Chaine = noms;
    StatusBar1->DefinirTexte(QString("%1 fichiers à chiffrer en une chaîne, sous une seule clé").arg(noms.size()));
}
