#include "commande/KOZNoms.hpp"
#include "ui/UFormDechiffre.hpp"

#include <cctype>

#include "platform/Chemins.hpp"
#include "platform/KOZErreur.hpp"
#include "ui/AffichageErreur.hpp"
#include "ui/ChampNomFichier.hpp"
#include "ui/Controles.hpp"
#include "commande/UKOZDechiffre.hpp"
#include "ui/TexteRapport.hpp"

namespace {
const TTextesFenetre kTextes = {
    "ZymKOZ-Déchiffrement-",
    {"&Fichier chiffré", "Fic&hier déchiffré", "&Grille"},
    {63, 75, 23},
    "(Facultative : le journal du dossier retrouve la clé du fichier)",
    {"Fichier KOZ (*.KOZ)|*.KOZ|Tous les fichiers (*.*)|*.*", "Tous les fichiers (*.*)|*.*"},
    "&Déchiffrer",
    "É&craser le fichier déchiffré s'il existe déjà",
    "Déchiffrement",
    {"Le fichier chiffré à relire, un fichier .KOZ.",
     "Le fichier déchiffré à écrire, proposé d'après le fichier chiffré.",
     "La grille de départ, facultative : sans elle le journal du dossier retrouve la clé du fichier."},
    "Déchiffre le fichier. Entrée lance aussi le déchiffrement, Échap l'arrête.",
    "Remplace le fichier déchiffré s'il existe déjà ; sinon il n'est jamais remplacé.",
};
}  // namespace

TFormDechiffre::TFormDechiffre(QWidget* parent) : TFenetreKOZ(kTextes, parent) {
    CheckBox2 = new TCaseMultiligne("Déchiffrer même &sans vérification", this);
    Placer(CheckBox2, 240, 128, 150, 33);
    CheckBox2->setAccessibleName("Déchiffrer même sans vérification");
    CheckBox2->setAccessibleDescription(
        "Garde aussi un résultat que rien ne permet de prouver (ni le journal, ni un état d'arrivée), avec un "
        "avertissement.");
    setTabOrder(CheckBox1, CheckBox2);
    setMinimumSize(TailleMinimale());
}

void TFormDechiffre::JvFilenameEdit1Change() {
    Proteger([this] { JvFilenameEdit2->ProposerNomFichier(NomDechiffrePropose(JvFilenameEdit1->NomFichier())); });
}

void TFormDechiffre::Button1Click() {
    Proteger([this] {
        ExigerNom(JvFilenameEdit1, Label1);
        TDechiffrement d;
        d.Fichiers.emplace_back(JvFilenameEdit1->NomFichier(), JvFilenameEdit2->NomFichier());
        d.Grille = JvFilenameEdit3->NomFichier();
        d.Ecraser = CheckBox1->isChecked();
        d.SansVerification = CheckBox2->isChecked();
        Executer([d](const TSuivi& suivi) { return TexteDuRapport(Dechiffrer(d, &suivi)); });
    });
}

// A grid dropped anywhere is the starting grid: an encrypted file is never a ".KGR".
void TFormDechiffre::FichierDepose(const std::string& nom) {
    std::string ext = Extension(nom);
    for (char& c : ext) c = char(std::toupper(static_cast<unsigned char>(c)));
    if (ext == ".KGR")
        JvFilenameEdit3->DefinirNomFichier(nom);
    else
        JvFilenameEdit1->DefinirNomFichier(nom);
}
