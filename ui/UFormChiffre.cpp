#include "ui/UFormChiffre.hpp"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

#include "ui/AffichageErreur.hpp"
#include "ui/ChampNomFichier.hpp"
#include "ui/Controles.hpp"
#include "ui/NomFichier.hpp"
#include "ui/UKOZChiffre.hpp"

namespace {
QLabel* Etiquette(QWidget* parent, const char* texte) {
    auto* e = new QLabel(QString::fromUtf8(texte), parent);
    e->setTextFormat(Qt::PlainText);
    return e;
}
}  // namespace

TForm1::TForm1(QWidget* parent) : TFenetreKOZ(parent) {
    setWindowTitle("ZymKOZ-Chiffrement-");

    Label1 = Etiquette(this, "Fichier à chiffrer");
    Placer(Label1, 8, 20, 75, 13);
    Label2 = Etiquette(this, "Fichier chiffré");
    Placer(Label2, 8, 52, 63, 13);
    Label3 = Etiquette(this, "Grille");
    Placer(Label3, 8, 84, 23, 13);
    Label4 = Etiquette(this, "(Si vide alors on part d'une nouvelle grille aléatoire)");
    QFont italique = font();
    italique.setItalic(true);
    Label4->setFont(italique);
    Placer(Label4, 88, 104, 244, 13);

    JvFilenameEdit1 = new TChampNomFichier(this);
    JvFilenameEdit1->Filtre = "Tous les fichiers (*.*)|*.*";
    Placer(JvFilenameEdit1, 88, 16, 393, 21, Gauche | Haut | Droite);
    JvFilenameEdit2 = new TChampNomFichier(this);
    JvFilenameEdit2->Filtre = "Fichier KOZ (*.KOZ)|*.KOZ|Tous les fichiers (*.*)|*.*";
    Placer(JvFilenameEdit2, 88, 48, 393, 21, Gauche | Haut | Droite);

    Button1 = new QPushButton("Chiffrer", this);
    Button1->setAutoDefault(false);
    Button1->setDefault(false);
    Placer(Button1, 402, 144, 75, 25, Haut | Droite);

    JvFilenameEdit3 = new TChampNomFichier(this);
    JvFilenameEdit3->Filtre = "Fichiers grille KOZ (*.KGR)|*.KGR";
    JvFilenameEdit3->ExtensionDepot = ".KGR";
    Placer(JvFilenameEdit3, 88, 80, 395, 21, Gauche | Haut | Droite);

    StatusBar1 = CreerBarreEtat();

    CheckBox1 = new TCaseMultiligne(
        QString::fromUtf8("Mode sécurisé (vérification de la validité de la grille pour chaque octet codé)"), this);
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

void TForm1::FormCreate() {
    Proteger([this] {
        const std::string dir = RepertoireDuProgramme(QCoreApplication::applicationFilePath().toStdString() );
        for (TChampNomFichier* champ : {JvFilenameEdit1, JvFilenameEdit2, JvFilenameEdit3}) champ->RepertoireInitial = dir;
    });
}

void TForm1::JvFilenameEdit1Change() {
    Proteger([this] { JvFilenameEdit2->DefinirNomFichier(NomChiffrePropose(JvFilenameEdit1->NomFichier())); });
}

void TForm1::Button1Click() {
    Proteger([this] {
        const std::string source = JvFilenameEdit1->NomFichier();
        const std::string destination = JvFilenameEdit2->NomFichier();
        const std::string grille = JvFilenameEdit3->NomFichier();
        const bool securise = CheckBox1->isChecked();
        Executer([=](const TSuivi& suivi) { return LancerChiffrement(source, destination, grille, securise, &suivi); });
    });
}

void TForm1::ActiverSaisie(bool actif) {
    for (QWidget* w : std::initializer_list<QWidget*>{JvFilenameEdit1, JvFilenameEdit2, JvFilenameEdit3, CheckBox1, Button1})
        w->setEnabled(actif);
}

void TForm1::FichierDepose(const std::string& nom) { JvFilenameEdit1->DefinirNomFichier(nom); }
