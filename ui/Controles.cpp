#include "ui/Controles.hpp"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QShortcutEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace {
constexpr int kDrapeauxTexte = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
}

TCaseMultiligne::TCaseMultiligne(const QString& texte, QWidget* parent) : QCheckBox(texte, parent) {}

bool TCaseMultiligne::event(QEvent* e) {
    if (e->type() == QEvent::Shortcut && isEnabled() && !static_cast<QShortcutEvent*>(e)->isAmbiguous()) {
        setFocus(Qt::ShortcutFocusReason);
        click();
        return true;
    }
    return QCheckBox::event(e);
}

QRect TCaseMultiligne::ZoneTexte(const QRect& zone) const {
    QStyleOptionButton opt;
    initStyleOption(&opt);
    opt.rect = zone;
    return style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, this);
}

int TCaseMultiligne::HauteurNecessaire(int largeur) const {
    const QRect zone = ZoneTexte(QRect(0, 0, largeur, 1000));
    return fontMetrics().boundingRect(QRect(0, 0, zone.width(), 1000), kDrapeauxTexte, text()).height();
}

void TCaseMultiligne::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QString texte = opt.text;
    opt.text.clear();

    QStyleOptionButton indicateur = opt;
    indicateur.rect = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, this);
    p.drawPrimitive(QStyle::PE_IndicatorCheckBox, indicateur);

    const QRect zone = style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, this);
    p.drawItemText(zone, kDrapeauxTexte, opt.palette, isEnabled(), texte, QPalette::WindowText);
    if (hasFocus()) {
        QStyleOptionFocusRect cadre;
        cadre.initFrom(this);
        cadre.rect = fontMetrics().boundingRect(zone, kDrapeauxTexte, texte).adjusted(-1, 0, 1, 0) & rect();
        p.drawPrimitive(QStyle::PE_FrameFocusRect, cadre);
    }
}

TBarreEtat::TBarreEtat(QWidget* parent) : QStatusBar(parent), Zone(new QLabel(this)), Barre(new QProgressBar(this)) {
    // The status bar keeps the platform's own font, not the window's.
    QFont police = QApplication::font(this);
    police.setResolveMask(QFont::AllPropertiesResolved);
    setFont(police);
    setSizeGripEnabled(true);
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName("Barre d'état");
    setAccessibleDescription("Avancement et résultat de la dernière opération");
    Zone->setAccessibleName("État");
    Barre->setAccessibleName("Progression");
    Barre->setAccessibleDescription("Part du fichier déjà traitée");
    Zone->setTextFormat(Qt::PlainText);
    Zone->setContentsMargins(2, 0, 0, 0);
    addWidget(Zone, 1);
    Barre->setRange(0, 100);
    Barre->setTextVisible(true);
    Barre->setFormat("%p%");
    Barre->setFixedWidth(120);
    Barre->setMaximumHeight(15);
    addPermanentWidget(Barre);
    Barre->hide();
}

QString TBarreEtat::Texte() const { return Zone->text(); }

// The text is the status area's accessible name, and the percentage the
// progress bar's description: the toolkit announces each change of a name,
// description or value to screen readers.
void TBarreEtat::DefinirTexte(const QString& texte) {
    Zone->setText(texte);
    Zone->setAccessibleName(texte.isEmpty() ? QStringLiteral("État") : texte);
}

void TBarreEtat::MontrerProgression(int pourcent) {
    Barre->setValue(pourcent);
    Barre->setAccessibleDescription(QString("%1 % fait").arg(pourcent));
    Barre->show();
}

void TBarreEtat::CacherProgression() { Barre->hide(); }
