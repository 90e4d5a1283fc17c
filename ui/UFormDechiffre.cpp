#include "ui/UFormDechiffre.hpp"

#include <QCoreApplication>
#include <cctype>
#include <QLabel>
#include <QPushButton>

#include "platform/Chemins.hpp"
#include "random/KOZTools.hpp"
#include "ui/AffichageErreur.hpp"
#include "ui/ChampNomFichier.hpp"
#include "ui/Controles.hpp"
#include "ui/NomFichier.hpp"
#include "ui/UKOZDechiffre.hpp"

namespace {
const char* const kGrilleRequise =
    "Le déchiffrement demande la grille de départ : choisissez le fichier DEBUT.KGR écrit à côté du fichier "
    "chiffré";

QLabel* Etiquette(QWidget* parent, const char* texte) {
    auto* e = new QLabel(QString::fromUtf8(texte), parent);
    e->setTextFormat(Qt::PlainText);
    return e;
}
}  // namespace

TFormDechiffre::TFormDechiffre(QWidget* parent) : TFenetreKOZ(parent) {
    setWindowTitle(QString::fromUtf8("ZymKOZ-Déchiffrement-"));

    Label1 = Etiquette(this, "Fichier chiffré");
    Placer(Label1, 8, 20, 63, 13);
    Label2 = Etiquette(this, "Fichier déchiffré");
    Placer(Label2, 8, 52, 75, 13);
    Label3 = Etiquette(this, "Grille");
    Placer(Label3, 8, 84, 23, 13);
    Label4 = Etiquette(this, "(La grille DEBUT.KGR du chiffrement, ou celle dont il est parti)");
    QFont italique = font();
    italique.setItalic(true);
    Label4->setFont(italique);
    Placer(Label4, 88, 104, 244, 13);

    JvFilenameEdit1 = new TChampNomFichier(this);
    JvFilenameEdit1->Filtre = "Fichier KOZ (*.KOZ)|*.KOZ|Tous les fichiers (*.*)|*.*";
    Placer(JvFilenameEdit1, 88, 16, 393, 21, Gauche | Haut | Droite);
    JvFilenameEdit2 = new TChampNomFichier(this);
    JvFilenameEdit2->Filtre = "Tous les fichiers (*.*)|*.*";
    Placer(JvFilenameEdit2, 88, 48, 393, 21, Gauche | Haut | Droite);

    Button1 = new QPushButton(QString::fromUtf8("Déchiffrer"), this);
    Button1->setAutoDefault(false);
    Button1->setDefault(false);
    Placer(Button1, 402, 144, 75, 25, Haut | Droite);

    JvFilenameEdit3 = new TChampNomFichier(this);
    JvFilenameEdit3->Filtre = "Fichiers grille KOZ (*.KGR)|*.KGR";
    JvFilenameEdit3->ExtensionDepot = ".KGR";
    Placer(JvFilenameEdit3, 88, 80, 395, 21, Gauche | Haut | Droite);

    StatusBar1 = CreerBarreEtat();

    CheckBox1 = new TCaseMultiligne(QString::fromUtf8("Écraser le fichier déchiffré s'il existe déjà"), this);
    Placer(CheckBox1, 16, 128, 217, 33);

    AjusterColonne({Label1, Label2, Label3}, {JvFilenameEdit1, JvFilenameEdit2, JvFilenameEdit3, Label4});
    AjusterColonne({Label4}, {});
    AjusterHauteur(CheckBox1, CheckBox1->HauteurNecessaire(217), 174);

    setTabOrder(JvFilenameEdit1, JvFilenameEdit2);
    setTabOrder(JvFilenameEdit2, Button1);
    setTabOrder(Button1, JvFilenameEdit3);
    setTabOrder(JvFilenameEdit3, CheckBox1);

    connect(JvFilenameEdit1, &QLineEdit::textChanged, this, [this] { JvFilenameEdit1Change(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

    FormCreate();
}

void TFormDechiffre::FormCreate() {
    const std::string dir = RepertoireDuProgramme(QCoreApplication::applicationFilePath().toStdString());
    for (TChampNomFichier* champ : {JvFilenameEdit1, JvFilenameEdit2, JvFilenameEdit3}) champ->RepertoireInitial = dir;
}

void TFormDechiffre::JvFilenameEdit1Change() {
    Proteger([this] { JvFilenameEdit2->DefinirNomFichier(NomDechiffrePropose(JvFilenameEdit1->NomFichier())); });
}

void TFormDechiffre::Button1Click() {
    Proteger([this] {
        TDechiffrement d;
        d.Fichiers.emplace_back(JvFilenameEdit1->NomFichier(), JvFilenameEdit2->NomFichier());
        d.Grille = JvFilenameEdit3->NomFichier();
        d.Ecraser = CheckBox1->isChecked();
        if (d.Grille.empty()) throw EKOZException(kGrilleRequise);
        Executer([d](const TSuivi& suivi) { return LancerDechiffrement(d, &suivi); });
    });
}

void TFormDechiffre::ActiverSaisie(bool actif) {
    for (QWidget* w : std::initializer_list<QWidget*>{JvFilenameEdit1, JvFilenameEdit2, JvFilenameEdit3, CheckBox1, Button1})
        w->setEnabled(actif);
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
