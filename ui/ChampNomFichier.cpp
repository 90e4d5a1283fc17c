#include "ui/ChampNomFichier.hpp"

#include <cctype>

#include <QDragEnterEvent>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QStyle>
#include <QToolButton>
#include <QUrl>

#include "platform/Chemins.hpp"
#include "ui/AffichageErreur.hpp"
#include "commande/NomFichier.hpp"

namespace {
constexpr int kLargeurBouton = 21;
constexpr int kHauteurBouton = 17;

TChampNomFichier::TDialogue& Dialogue() {
    static TChampNomFichier::TDialogue d;
    return d;
}

// The open dialog: the file need not exist and nothing asks about
// overwriting. Its title is the toolkit's default one.
std::optional<QString> DialogueOuverture(QWidget* parent, const TChampNomFichier::TParcours& p) {
    if (p.Dossier) {
        const QString dossier = QFileDialog::getExistingDirectory(parent, QString(), p.Repertoire);
        if (dossier.isEmpty()) return std::nullopt;
        return dossier;
    }
    QFileDialog dialogue(parent);
    dialogue.setAcceptMode(QFileDialog::AcceptOpen);
    dialogue.setFileMode(QFileDialog::AnyFile);
    dialogue.setOption(QFileDialog::DontConfirmOverwrite);
    // The descriptions are shown as written; the patterns that follow them stay hidden.
    dialogue.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filtres = p.Filtres.split(";;", Qt::SkipEmptyParts);
    dialogue.setNameFilters(filtres);
    if (!filtres.isEmpty()) dialogue.selectNameFilter(filtres.first());
    if (!p.Repertoire.isEmpty()) dialogue.setDirectory(p.Repertoire);
    if (!p.Nom.isEmpty()) {
        // A proposed name in a directory that does not exist keeps only its
        // name part: the dialog would otherwise open on nothing.
        const QFileInfo nom(p.Nom);
        dialogue.selectFile(nom.isAbsolute() && !nom.absoluteDir().exists() ? nom.fileName() : p.Nom);
    }
    if (dialogue.exec() != QDialog::Accepted || dialogue.selectedFiles().isEmpty()) return std::nullopt;
    return dialogue.selectedFiles().first();
}

bool MemeExtension(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}
}  // namespace

TChampNomFichier::TDialogue TChampNomFichier::DefinirDialogue(TDialogue d) {
    TDialogue ancien = std::move(Dialogue());
    Dialogue() = std::move(d);
    return ancien;
}

TChampNomFichier::TChampNomFichier(QWidget* parent) : QLineEdit(parent), Bouton(new QToolButton(this)) {
    Bouton->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    Bouton->setFocusPolicy(Qt::NoFocus);
    Bouton->setCursor(Qt::ArrowCursor);
    Bouton->setAutoRaise(true);
    Bouton->setAccessibleName("Parcourir");
    Bouton->resize(kLargeurBouton, kHauteurBouton);
    setTextMargins(0, 0, kLargeurBouton, 0);
    connect(Bouton, &QToolButton::clicked, this,
            [this] { Parcourir(DossiersAcceptes && (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier)); });
}

std::string TChampNomFichier::NomFichier() const { return FormeObtenue(text().toStdString()); }

void TChampNomFichier::DefinirNomFichier(const std::string& nom) {
    VerifierNomFichier(nom);
    setText(QString::fromStdString(TexteDefini(nom)));
}

void TChampNomFichier::ProposerNomFichier(const std::string& nom) {
    setText(QString::fromStdString(TexteDuNomPropose(nom)));
}

void TChampNomFichier::Parcourir(bool dossier) {
    const TPreparationParcours p = PreparerParcours(text().toStdString(), RepertoireInitial, NomPropose);
    RepertoireInitial = p.Repertoire;
    NomPropose = p.Nom;

    TParcours parcours;
    parcours.Filtres = QString::fromStdString(FiltreDialogue(Filtre));
    parcours.Repertoire = QString::fromStdString(RepertoireInitial);
    parcours.Nom = QString::fromStdString(NomPropose);
    parcours.Dossier = dossier;
    const std::optional<QString> choisi =
        Dialogue() ? Dialogue()(window(), parcours) : DialogueOuverture(window(), parcours);

    if (isEnabled()) setFocus(Qt::OtherFocusReason);
    if (!choisi) return;
    const std::string nom = choisi->toStdString();
    setText(QString::fromStdString(TexteDuNom(nom)));
    RepertoireInitial = PartieChemin(nom);
}

void TChampNomFichier::keyPressEvent(QKeyEvent* e) {
    const auto modificateurs = e->modifiers() & ~Qt::KeypadModifier;
    if (e->key() == Qt::Key_Down && modificateurs == Qt::AltModifier) {
        Parcourir();
        return;
    }
    if (e->key() == Qt::Key_Down && DossiersAcceptes && modificateurs == (Qt::AltModifier | Qt::ShiftModifier)) {
        Parcourir(true);
        return;
    }
    QLineEdit::keyPressEvent(e);
}

void TChampNomFichier::resizeEvent(QResizeEvent* e) {
    QLineEdit::resizeEvent(e);
    Bouton->move(width() - kLargeurBouton - 2, (height() - kHauteurBouton) / 2);
}

QString TChampNomFichier::FichierAccepte(const QMimeData* m) const {
    if (ExtensionDepot.empty() || !m || !m->hasUrls()) return {};
    for (const QUrl& url : m->urls()) {
        if (!url.isLocalFile()) continue;
        const QString nom = url.toLocalFile();
        return MemeExtension(Extension(nom.toStdString()), ExtensionDepot) ? nom : QString();
    }
    return {};
}

// Text dragged from elsewhere drops as usual; dropped files are the window's
// business unless this field takes their kind.
void TChampNomFichier::dragEnterEvent(QDragEnterEvent* e) {
    if (!FichierAccepte(e->mimeData()).isEmpty())
        e->acceptProposedAction();
    else if (e->mimeData()->hasUrls())
        e->ignore();
    else
        QLineEdit::dragEnterEvent(e);
}

void TChampNomFichier::dragMoveEvent(QDragMoveEvent* e) {
    if (!FichierAccepte(e->mimeData()).isEmpty())
        e->acceptProposedAction();
    else if (e->mimeData()->hasUrls())
        e->ignore();
    else
        QLineEdit::dragMoveEvent(e);
}

void TChampNomFichier::dropEvent(QDropEvent* e) {
    const QString nom = FichierAccepte(e->mimeData());
    if (nom.isEmpty()) {
        if (e->mimeData()->hasUrls())
            e->ignore();
        else
            QLineEdit::dropEvent(e);
        return;
    }
    e->acceptProposedAction();
    Proteger([&] { DefinirNomFichier(nom.toStdString()); });
}
