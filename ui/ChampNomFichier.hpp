#pragma once
// TChampNomFichier: the file-name field. A single-line text box that the user
// types into, with a browse button inside its right end; the button, or
// Alt+Down in the field, opens the open-file dialog. The program reads the
// field with NomFichier and writes it with DefinirNomFichier; textChanged
// fires after every change, typed, pasted, set or browsed.

#include <QLineEdit>
#include <functional>
#include <optional>
#include <string>

class QToolButton;

class TChampNomFichier : public QLineEdit {
    Q_OBJECT
public:
    explicit TChampNomFichier(QWidget* parent = nullptr);

    // The dialog's filter list, "Description|motif|...".
    std::string Filtre;
    // Where the dialog opens; changed by browsing.
    std::string RepertoireInitial;
    // The name the dialog proposes; changed by browsing.
    std::string NomPropose;
    // When set (".KGR"), a dropped file with this extension fills the field;
    // other drops go to the window.
    std::string ExtensionDepot;

    // The name the field holds (FormeObtenue of its text).
    std::string NomFichier() const;
    // Shows the getter form of nom (quoted when it holds a blank), so that
    // NomFichier() then gives that form. Raises "Nom de fichier
    // incorrect - %s" and leaves the text as it was when nom is not valid.
    void DefinirNomFichier(const std::string& nom);
    // Shows nom, a name derived from another field's name, so that
    // NomFichier() gives nom itself (TexteDuNomPropose); raises as
    // DefinirNomFichier does when nom is not valid.
    void ProposerNomFichier(const std::string& nom);

    // Runs the browse dialog as the button does; with dossier, a dialog that
    // chooses a folder (Shift with the button or with Alt+Down, in a field
    // that accepts folders).
    void Parcourir(bool dossier = false);
    // Whether the field's name may be a folder (the source of an encryption).
    bool DossiersAcceptes = false;
    QToolButton* BoutonParcourir() const { return Bouton; }

    // What the dialog is opened with.
    struct TParcours {
        QString Filtres;     // toolkit form, first entry selected
        QString Repertoire;  // initial directory
        QString Nom;         // proposed name
        bool Dossier = false;  // a folder is chosen, not a file
    };
    // The dialog: returns the chosen full name, nothing when cancelled. Tests
    // install their own; an empty one restores the platform's open dialog.
    using TDialogue = std::function<std::optional<QString>(QWidget* parent, const TParcours&)>;
    static TDialogue DefinirDialogue(TDialogue d);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    // The dropped file this field takes, or empty.
    QString FichierAccepte(const class QMimeData* m) const;

    QToolButton* Bouton;
};
