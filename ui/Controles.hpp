#pragma once
// Small controls the windows share: a check box whose caption wraps within
// its width, and a status bar with one text area and a progress bar that
// shows only while a run goes on.

#include <QCheckBox>
#include <QStatusBar>

class QLabel;
class QProgressBar;

// A check box whose caption wraps beside the box, vertically centred, as a
// multi-line button does. A click anywhere on it toggles it, and so does its
// mnemonic, at once (see event).
class TCaseMultiligne : public QCheckBox {
    Q_OBJECT
public:
    explicit TCaseMultiligne(const QString& texte, QWidget* parent = nullptr);
    // The height the caption needs at width largeur.
    int HauteurNecessaire(int largeur) const;

protected:
    // The toolkit toggles a button on its mnemonic only a tenth of a second
    // later, once it has shown it pressed: an Enter typed within that time
    // ran the window with the box's former state while the box went on to
    // show the new one (an existing file replaced under an unticked
    // "Écraser…"). Here the mnemonic toggles the box before anything else.
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent*) override;
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

private:
    QRect ZoneTexte(const QRect& zone) const;
};

class TBarreEtat : public QStatusBar {
    Q_OBJECT
public:
    explicit TBarreEtat(QWidget* parent = nullptr);

    QString Texte() const;
    void DefinirTexte(const QString& texte);

    // Shows the progress bar at pourcent (0..100); hidden by CacherProgression.
    void MontrerProgression(int pourcent);
    void CacherProgression();
    QProgressBar* BarreProgression() const { return Barre; }

private:
    QLabel* Zone;
    QProgressBar* Barre;
};
