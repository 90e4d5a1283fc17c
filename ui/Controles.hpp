#pragma once
// Small controls the windows share: a check box whose caption wraps within
// its width, and a status bar with one text area and a progress bar that
// shows only while a run goes on.

#include <QCheckBox>
#include <QStatusBar>

class QLabel;
class QProgressBar;

// A check box whose caption wraps beside the box, vertically centred, as a
// multi-line button does. A click anywhere on it toggles it.
class TCaseMultiligne : public QCheckBox {
    Q_OBJECT
public:
    explicit TCaseMultiligne(const QString& texte, QWidget* parent = nullptr);
    // The height the caption needs at width largeur.
    int HauteurNecessaire(int largeur) const;

protected:
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
