#include "commande/TextesApplication.hpp"
#include "ui/FenetreKOZ.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QResizeEvent>
#include <QToolButton>
#include <QUrl>
#include <algorithm>

#include "platform/Chemins.hpp"
#include "ui/AffichageErreur.hpp"
#include "ui/ChampNomFichier.hpp"
#include "ui/Controles.hpp"
#include "ui/Notification.hpp"
#include "commande/NomFichier.hpp"
#include "platform/KOZErreur.hpp"

namespace {
constexpr int kEcartEtiquette = 5;  // between a label's caption and its field
constexpr int kMarge = 8;           // kept between controls, and to the window's edges
constexpr int kLargeurChampMin = 120;  // a file-name field still shows a useful part of a name

QString Utf8(const char* texte) { return QString::fromUtf8(texte); }
QString SansRaccourci(const QString& legende) { return QString::fromStdString(::SansRaccourci(legende.toStdString())); }

QString PremierFichierLocal(const QMimeData* m) {
    if (!m || !m->hasUrls()) return {};
    for (const QUrl& url : m->urls())
        if (url.isLocalFile()) return url.toLocalFile();
    return {};
}

std::vector<std::string> FichiersLocaux(const QMimeData* m) {
    std::vector<std::string> noms;
    if (!m || !m->hasUrls()) return noms;
    for (const QUrl& url : m->urls())
        if (url.isLocalFile()) noms.push_back(url.toLocalFile().toStdString());
    return noms;
}

QLabel* Etiquette(QWidget* parent, const char* texte) {
    auto* e = new QLabel(QString::fromUtf8(texte), parent);
    e->setTextFormat(Qt::PlainText);
    return e;
}
}  // namespace

TFenetreKOZ::TFenetreKOZ(const TTextesFenetre& t, QWidget* parent)
    : QWidget(parent), Barre(nullptr), Travail(new TTravailFond(this)), Operation(t.Operation) {
    QFont police = QApplication::font();
    police.setPointSize(8);
    setFont(police);
    setAcceptDrops(true);
    resize(kLargeurConception, kHauteurConception);
    move(248, 144);

    connect(Travail, &TTravailFond::Progression, this, [this](int p) { Barre->MontrerProgression(p); });
    // A run over several files says which one it is on; one file says nothing more.
    connect(Travail, &TTravailFond::FichierCommence, this, [this](int numero, int nombre) {
        if (nombre > 1)
            Barre->DefinirTexte(QString::fromStdString(Operation) + QString(" en cours… fichier %1 sur %2").arg(numero).arg(nombre));
    });
    connect(Travail, &TTravailFond::Termine, this, &TFenetreKOZ::Fin);

    setWindowTitle(QString::fromUtf8(t.Titre));

    Label1 = Etiquette(this, t.Etiquettes[0]);
    Placer(Label1, 8, 20, t.LargeursEtiquettes[0], 13);
    Label2 = Etiquette(this, t.Etiquettes[1]);
    Placer(Label2, 8, 52, t.LargeursEtiquettes[1], 13);
    Label3 = Etiquette(this, t.Etiquettes[2]);
    Placer(Label3, 8, 84, t.LargeursEtiquettes[2], 13);
    Label4 = Etiquette(this, t.Note);
    QFont italique = font();
    italique.setItalic(true);
    Label4->setFont(italique);
    Placer(Label4, 88, 104, 244, 13);

    JvFilenameEdit1 = new TChampNomFichier(this);
    JvFilenameEdit1->Filtre = t.Filtres[0];
    Placer(JvFilenameEdit1, 88, 16, 393, 21, Gauche | Haut | Droite);
    JvFilenameEdit2 = new TChampNomFichier(this);
    JvFilenameEdit2->Filtre = t.Filtres[1];
    Placer(JvFilenameEdit2, 88, 48, 393, 21, Gauche | Haut | Droite);

    Button1 = new QPushButton(QString::fromUtf8(t.Bouton), this);
    Button1->setAutoDefault(false);
    Button1->setDefault(false);
    Placer(Button1, 402, 144, 75, 25, Haut | Droite);

    JvFilenameEdit3 = new TChampNomFichier(this);
    JvFilenameEdit3->Filtre = "Fichiers grille KOZ (*.KGR)|*.KGR";
    JvFilenameEdit3->ExtensionDepot = ".KGR";
    Placer(JvFilenameEdit3, 88, 80, 395, 21, Gauche | Haut | Droite);

    StatusBar1 = CreerBarreEtat();

    CheckBox1 = new TCaseMultiligne(QString::fromUtf8(t.Case), this);
    Placer(CheckBox1, 16, 128, 217, 33);

    // A label shows its mnemonic, and is measured without the "&", once it has its buddy.
    Label1->setBuddy(JvFilenameEdit1);
    Label2->setBuddy(JvFilenameEdit2);
    Label3->setBuddy(JvFilenameEdit3);
    AjusterColonne({Label1, Label2, Label3}, {JvFilenameEdit1, JvFilenameEdit2, JvFilenameEdit3, Label4});
    AjusterColonne({Label4}, {});
    AjusterHauteur(CheckBox1, CheckBox1->HauteurNecessaire(217), 174);

    setTabOrder(JvFilenameEdit1, JvFilenameEdit2);
    setTabOrder(JvFilenameEdit2, Button1);
    setTabOrder(Button1, JvFilenameEdit3);
    setTabOrder(JvFilenameEdit3, CheckBox1);

    // Every control tells a screen reader what it is (its label's caption)
    // and what it is for.
    QLabel* etiquettes[3] = {Label1, Label2, Label3};
    TChampNomFichier* champs[3] = {JvFilenameEdit1, JvFilenameEdit2, JvFilenameEdit3};
    for (int i = 0; i < 3; ++i) {
        const QString nom = SansRaccourci(etiquettes[i]->text());
        etiquettes[i]->setAccessibleName(nom);
        champs[i]->setAccessibleName(nom);
        champs[i]->setAccessibleDescription(Utf8(t.Descriptions[i]));
        champs[i]->BoutonParcourir()->setAccessibleName("Parcourir : " + nom);
        champs[i]->BoutonParcourir()->setAccessibleDescription(
            "Ouvre le dialogue de choix du champ « " + nom + " » (Alt+Bas dans le champ)");
    }
    Label4->setAccessibleName(Label4->text());
    JvFilenameEdit3->setAccessibleDescription(JvFilenameEdit3->accessibleDescription() + ' ' + Label4->text());
    Button1->setAccessibleName(SansRaccourci(Button1->text()));
    Button1->setAccessibleDescription(Utf8(t.DescriptionBouton));
    CheckBox1->setAccessibleName(SansRaccourci(CheckBox1->text()));
    CheckBox1->setAccessibleDescription(Utf8(t.DescriptionCase));

    setMinimumSize(TailleMinimale());

    // Virtual calls from the lambdas run once the window is built.
    connect(JvFilenameEdit1, &QLineEdit::textChanged, this, [this] { JvFilenameEdit1Change(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

    FormCreate();
}

void TFenetreKOZ::FormCreate() {
    Proteger([this] {
        const std::string dir = RepertoireDuProgramme(QCoreApplication::applicationFilePath().toStdString());
        for (TChampNomFichier* champ : {JvFilenameEdit1, JvFilenameEdit2, JvFilenameEdit3})
            champ->RepertoireInitial = dir;
    });
}

void TFenetreKOZ::ActiverSaisie(bool actif) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{JvFilenameEdit1, JvFilenameEdit2, JvFilenameEdit3, CheckBox1, Button1})
        w->setEnabled(actif);
    // A window's own extra check boxes too.
    for (QCheckBox* c : findChildren<QCheckBox*>()) c->setEnabled(actif);
}

TBarreEtat* TFenetreKOZ::CreerBarreEtat() {
    Barre = new TBarreEtat(this);
    Placer(Barre, 0, 174, kLargeurConception, 19, Gauche | Droite | Bas);
    return Barre;
}

TFenetreKOZ::TPlace* TFenetreKOZ::PlaceDe(QWidget* w) {
    for (TPlace& p : Places)
        if (p.W == w) return &p;
    return nullptr;
}

void TFenetreKOZ::Placer(QWidget* w, int x, int y, int largeur, int hauteur, int ancres) {
    if (TPlace* p = PlaceDe(w))
        *p = {w, QRect(x, y, largeur, hauteur), ancres};
    else
        Places.push_back({w, QRect(x, y, largeur, hauteur), ancres});
    Disposer(size());
}

void TFenetreKOZ::AjusterColonne(const std::vector<QLabel*>& etiquettes, const std::vector<QWidget*>& suiveurs) {
    int bord = 0, gauche = kLargeurConception;
    for (QLabel* e : etiquettes) {
        e->adjustSize();
        if (TPlace* p = PlaceDe(e)) {
            p->Conception.setSize(e->size());
            bord = std::max(bord, p->Conception.right() + 1 + kEcartEtiquette);
        }
    }
    for (QWidget* w : suiveurs)
        if (TPlace* p = PlaceDe(w)) gauche = std::min(gauche, p->Conception.left());
    const int decalage = bord - gauche;
    if (decalage > 0) {
        for (QWidget* w : suiveurs) {
            TPlace* p = PlaceDe(w);
            if (!p) continue;
            p->Conception.translate(decalage, 0);
            if ((p->Ancres & Gauche) && (p->Ancres & Droite))
                p->Conception.setWidth(std::max(0, p->Conception.width() - decalage));
        }
    }
    Disposer(size());
}

void TFenetreKOZ::AjusterHauteur(QWidget* w, int hauteur, int limite) {
    if (TPlace* p = PlaceDe(w)) {
        p->Conception.setHeight(std::clamp(hauteur, p->Conception.height(), std::max(limite - p->Conception.top(), 0)));
        Disposer(size());
    }
}

void TFenetreKOZ::Disposer(const QSize& client) {
    const int dx = client.width() - kLargeurConception;
    const int dy = client.height() - kHauteurConception;
    for (const TPlace& p : Places) {
        QRect r = p.Conception;
        if (p.Ancres & Droite) {
            if (p.Ancres & Gauche)
                r.setWidth(std::max(0, r.width() + dx));
            else
                r.moveLeft(r.left() + dx);
        }
        if (p.Ancres & Bas) {
            if (p.Ancres & Haut)
                r.setHeight(std::max(0, r.height() + dy));
            else
                r.moveTop(r.top() + dy);
        }
        p.W->setGeometry(r);
    }
}

void TFenetreKOZ::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    Disposer(e->size());
}

void TFenetreKOZ::Executer(TTravailFond::TTache tache) {
    if (Travail->EnCours()) return;
    TexteAvant = Barre->Texte();
    FocusAvant = focusWidget();
    ActiverSaisie(false);
    Barre->DefinirTexte(QString::fromStdString(Operation) + " en cours…");
    Barre->MontrerProgression(0);
    Chrono.start();
    if (!Travail->Lancer(std::move(tache))) {
        Barre->CacherProgression();
        Barre->DefinirTexte(TexteAvant);
        ActiverSaisie(true);
    }
}

void TFenetreKOZ::Fin(bool reussi, const QString& texte) {
    const uint64_t duree = uint64_t(Chrono.elapsed());
    Barre->CacherProgression();
    ActiverSaisie(true);
    if (FocusAvant && isActiveWindow()) FocusAvant->setFocus(Qt::OtherFocusReason);
    // The status text is the first line of a success; what follows is for the user to read.
    const qsizetype saut = reussi ? texte.indexOf('\n') : -1;
    if (reussi)
        Barre->DefinirTexte(saut < 0 ? texte : texte.left(saut));
    else if (texte.isEmpty())
        Barre->DefinirTexte(QString::fromStdString(Operation) + " interrompu");
    else
        Barre->DefinirTexte(TexteAvant);
    if (const auto avis = AvisDeFin(duree, isActiveWindow(), reussi, texte.toStdString(), Operation, SeuilAvisMs))
        Notifier(QString::fromStdString(avis->Titre), QString::fromStdString(avis->Corps));
    if (!reussi && !texte.isEmpty()) AfficherErreur(texte.toStdString());
    if (saut >= 0) AfficherAvis(texte.mid(saut + 1).toStdString());
}

void TFenetreKOZ::Interrompre() { Travail->Interrompre(); }

void TFenetreKOZ::ExigerNom(const TChampNomFichier* champ, const QLabel* etiquette) const {
    if (champ->NomFichier().empty())
        throw EKOZException(MessageChampVide(SansRaccourci(etiquette->text().toStdString())));
}

void TFenetreKOZ::keyPressEvent(QKeyEvent* e) {
    const bool seul = (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (seul && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
        if (!EnCours() && Button1->isEnabled()) Button1->click();
        return;
    }
    if (seul && e->key() == Qt::Key_Escape) {
        if (EnCours())
            Interrompre();
        else
            close();
        return;
    }
    QWidget::keyPressEvent(e);
}

// Right-anchored controls move left as the window narrows and must stay
// clear of the fixed ones beside them; stretching ones keep a useful width;
// the bottom-anchored status bar rises and must stay below everything else.
QSize TFenetreKOZ::TailleMinimale() const {
    int dx = -kLargeurConception, dy = -kHauteurConception;
    for (const TPlace& p : Places) {
        const QRect& r = p.Conception;
        const bool droite = p.Ancres & Droite, gauche = p.Ancres & Gauche;
        if (!droite) dx = std::max(dx, r.right() + 1 + kMarge - kLargeurConception);
        if (droite && gauche) {
            const int utile = p.W == Barre ? p.W->minimumSizeHint().width() : kLargeurChampMin;
            dx = std::max(dx, utile - r.width());
        }
        if (droite && !gauche) {
            dx = std::max(dx, kMarge - r.left());
            for (const TPlace& q : Places) {
                if ((q.Ancres & Droite) || (q.Ancres & Bas)) continue;
                if (q.Conception.bottom() < r.top() || q.Conception.top() > r.bottom()) continue;
                dx = std::max(dx, q.Conception.right() + 1 + kMarge - r.left());
            }
        }
        if ((p.Ancres & Bas) && !(p.Ancres & Haut)) {
            for (const TPlace& q : Places)
                if (!(q.Ancres & Bas)) dy = std::max(dy, q.Conception.bottom() + 1 - r.top());
        }
    }
    return QSize(kLargeurConception + dx, kHauteurConception + dy);
}

// A run still going stops at its next byte, leaving the files as any failure
// would; the window closes once the worker has ended.
void TFenetreKOZ::closeEvent(QCloseEvent* e) {
    Travail->Arreter();
    QWidget::closeEvent(e);
}

void TFenetreKOZ::dragEnterEvent(QDragEnterEvent* e) {
    if (!EnCours() && !PremierFichierLocal(e->mimeData()).isEmpty())
        e->acceptProposedAction();
    else
        e->ignore();
}

void TFenetreKOZ::dropEvent(QDropEvent* e) {
    const QString nom = PremierFichierLocal(e->mimeData());
    if (EnCours() || nom.isEmpty()) {
        e->ignore();
        return;
    }
    e->acceptProposedAction();
    const auto noms = FichiersLocaux(e->mimeData());
    Proteger([&] {
        if (noms.size() > 1)
            FichiersDeposes(noms);
        else
            FichierDepose(nom.toStdString());
    });
}

void TFenetreKOZ::OuvrirFichier(const std::string& nom) {
    Proteger([&] {
        if (Extension(nom) == ".KGR")
            JvFilenameEdit3->DefinirNomFichier(nom);
        else
            FichierDepose(nom);
    });
}
