#pragma once
// TFenetreKOZ: what the encryption and decryption windows share. A fixed
// layout at 96 dpi whose controls keep their distances to the edges they are
// anchored to, the status bar along the bottom, a run on a worker thread with
// the input disabled and a progress bar meanwhile, closing that stops a run,
// and dropped files. Both windows have the same controls in the same places;
// only their texts differ (TTextesFenetre).

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "commande/TextesApplication.hpp"
#include "ui/TravailFond.hpp"

class QLabel;
class QPushButton;
class TBarreEtat;
class TCaseMultiligne;
class TChampNomFichier;

// What one window says: its title, the captions of its three labels (with
// their designed widths), the note under the grid, the filters of its first
// two fields, the button's caption and the check box's (captions carry their
// keyboard mnemonic, "&Grille"), the name of its run ("Chiffrement") for the
// status bar and notifications, and what each control is for, for screen
// readers.
struct TTextesFenetre {
    const char* Titre;
    const char* Etiquettes[3];
    int LargeursEtiquettes[3];
    const char* Note;
    const char* Filtres[2];
    const char* Bouton;
    const char* Case;
    const char* Operation;
    const char* Descriptions[3];
    const char* DescriptionBouton;
    const char* DescriptionCase;
};

class TFenetreKOZ : public QWidget {
    Q_OBJECT
public:
    // The client size the layout was designed for.
    static constexpr int kLargeurConception = 490;
    static constexpr int kHauteurConception = 193;

    enum TAncre { Gauche = 1, Haut = 2, Droite = 4, Bas = 8 };

    bool EnCours() const { return Travail->EnCours(); }
    TTravailFond& Travailleur() const { return *Travail; }
    TBarreEtat* BarreEtat() const { return Barre; }

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;                     // the note under the grid, in italics
    TChampNomFichier* JvFilenameEdit1;  // the file the run reads
    TChampNomFichier* JvFilenameEdit2;  // the file the run writes
    QPushButton* Button1;
    TChampNomFichier* JvFilenameEdit3;  // the grid; a dropped ".KGR" fills it
    TBarreEtat* StatusBar1;
    TCaseMultiligne* CheckBox1;

    // Every browse dialog starts in the program's own directory.
    void FormCreate();
    // What the window proposes in the second field when the first changes.
    virtual void JvFilenameEdit1Change() = 0;
    // Runs the window's command on the fields' names.
    virtual void Button1Click() = 0;
    // A file named on the command line (the desktop's "open with"): a ".KGR"
    // goes to the grid field, any other file as if dropped on the window.
    void OuvrirFichier(const std::string& nom);

    // Stops a run at its next byte; its end then shows "… interrompu".
    void Interrompre();
    // The smallest client size at which no control overlaps another or
    // leaves the window: the window's minimum size.
    QSize TailleMinimale() const;
    // A run at least this long that ends while the window is not active is
    // announced by a desktop notification.
    uint64_t SeuilAvisMs = kDureeAvisMs;

protected:
    // Builds the controls with the texts t, then runs FormCreate.
    TFenetreKOZ(const TTextesFenetre& t, QWidget* parent);

    // Creates the status bar along the bottom edge, full width.
    TBarreEtat* CreerBarreEtat();
    // Places w at its designed rectangle and keeps it anchored.
    void Placer(QWidget* w, int x, int y, int largeur, int hauteur, int ancres = Gauche | Haut);
    // Labels take their captions' size; when the widest caption of the first
    // column would run into the fields, everything starting at the fields'
    // left edge moves right and the fields shrink to keep their right edges.
    void AjusterColonne(const std::vector<QLabel*>& etiquettes, const std::vector<QWidget*>& suiveurs);
    // Lets w grow downwards (never past limite) to the height its text needs.
    void AjusterHauteur(QWidget* w, int hauteur, int limite);

    // Disables the input, shows the progress bar and starts tache.
    void Executer(TTravailFond::TTache tache);
    // Enables or disables what the user may change while a run goes on.
    void ActiverSaisie(bool actif);
    // A file dropped on the window (not taken by a field).
    virtual void FichierDepose(const std::string& nom) = 0;
    // Several files dropped at once; by default the first counts alone.
    virtual void FichiersDeposes(const std::vector<std::string>& noms) { FichierDepose(noms.front()); }
    // Raises "Le champ « … » est vide", naming the field by its label's
    // caption, when champ holds no name.
    void ExigerNom(const TChampNomFichier* champ, const QLabel* etiquette) const;

    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    // Enter runs the command (as the button does); Escape stops a run, or
    // closes the window when none goes on.
    void keyPressEvent(QKeyEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

    TBarreEtat* Barre;

private:
    struct TPlace {
        QWidget* W;
        QRect Conception;
        int Ancres;
    };
    TPlace* PlaceDe(QWidget* w);
    void Disposer(const QSize& client);
    void Fin(bool reussi, const QString& texte);

    std::vector<TPlace> Places;
    TTravailFond* Travail;
    std::string Operation;
    QElapsedTimer Chrono;        // since the start of the current run
    QString TexteAvant;          // the status text a failed run gives back
    QPointer<QWidget> FocusAvant;  // where the focus returns after a run
};
