// What makes both windows usable beyond their fields: the status bar during a
// run, the minimum size, the empty-field message, quoted names from the field
// to the run, screen-reader names, the keyboard alone, notifications, and the
// toolkit's dialogs in French.
#include <QAccessible>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QStatusBar>
#include <QToolButton>

#include <filesystem>
#include <memory>

#include "tests/support/Fichiers.hpp"
#include "tests/ui/SupportQt.hpp"
#include "ui/Application.hpp"
#include "ui/ChampNomFichier.hpp"
#include "ui/Controles.hpp"
#include "ui/Notification.hpp"
#include "ui/UFormChiffre.hpp"
#include "ui/UFormDechiffre.hpp"

namespace {
const QRegularExpression kTermine("^Terminé en [0-9]+ms$");

std::vector<std::unique_ptr<TFenetreKOZ>> LesDeuxFenetres() {
    std::vector<std::unique_ptr<TFenetreKOZ>> f;
    f.push_back(std::make_unique<TForm1>());
    f.push_back(std::make_unique<TFormDechiffre>());
    return f;
}

// The window's own controls (not the parts inside them, such as a field's
// browse button or the status bar's progress bar).
std::vector<QWidget*> Controles(TFenetreKOZ& f) {
    return {f.Label1,          f.Label2,  f.Label3,          f.Label4,    f.JvFilenameEdit1,
            f.JvFilenameEdit2, f.Button1, f.JvFilenameEdit3, f.StatusBar1, f.CheckBox1};
}

QString Chevauchement(TFenetreKOZ& f) {
    const std::vector<QWidget*> c = Controles(f);
    for (size_t i = 0; i < c.size(); ++i) {
        if (!f.rect().contains(c[i]->geometry()))
            return QString("%1 sort de la fenêtre").arg(c[i]->accessibleName());
        if (c[i]->width() <= 0 || c[i]->height() <= 0) return QString("%1 est vide").arg(c[i]->accessibleName());
        for (size_t j = i + 1; j < c.size(); ++j)
            if (c[i]->geometry().intersects(c[j]->geometry()))
                return QString("%1 couvre %2").arg(c[i]->accessibleName(), c[j]->accessibleName());
    }
    return {};
}

// Records the notifications the windows send, for its lifetime.
struct TEnregistreurNotifications {
    TEnregistreurNotifications() {
        Precedent = DefinirNotifieur([this](const QString& titre, const QString& corps) {
            Titres.push_back(titre);
            Corps.push_back(corps);
        });
    }
    ~TEnregistreurNotifications() { DefinirNotifieur(std::move(Precedent)); }
    std::vector<QString> Titres, Corps;
    TNotifieur Precedent;
};

}  // namespace

class TestFinitions : public QObject {
    Q_OBJECT
private slots:
    void LaBarreDEtatMontreLAvancementPendantLeChiffrement() {
        TRepertoireTemporaire dir;
        EcrireFichier(dir / "retenu.bin", OctetsAleatoires(4 * 65536));
        TPlateformeRetenue plateforme("retenu");
        TEnregistreurErreurs erreurs;
        TForm1 f;
        f.show();
        plateforme.Arret = &f.Travailleur().DrapeauArret();
        f.StatusBar1->DefinirTexte("Terminé en 12ms");
        f.JvFilenameEdit1->DefinirNomFichier(dir / "retenu.bin");
        f.Button1Click();
        QVERIFY(f.EnCours());
        // The previous result is gone while the run goes on.
        QCOMPARE(f.StatusBar1->Texte(), QString("Chiffrement en cours…"));
        QTRY_COMPARE(f.StatusBar1->BarreProgression()->value(), 25);
        QCOMPARE(f.StatusBar1->BarreProgression()->accessibleDescription(), QString("25 % fait"));
        plateforme.Ouverte = true;
        QTRY_VERIFY(!f.EnCours());
        QVERIFY(erreurs.Textes.empty());
        QVERIFY2(kTermine.match(f.StatusBar1->Texte()).hasMatch(), qPrintable(f.StatusBar1->Texte()));
        QCOMPARE(f.StatusBar1->findChild<QLabel*>()->accessibleName(), f.StatusBar1->Texte());
    }

    void UnEchecRendLeTexteDAvant() {
        TRepertoireTemporaire dir;
        TEnregistreurErreurs erreurs;
        TFormDechiffre f;
        f.StatusBar1->DefinirTexte("Terminé en 7ms");
        f.JvFilenameEdit1->DefinirNomFichier(dir / "absent.KOZ");
        f.JvFilenameEdit3->DefinirNomFichier(dir / "DEBUT.KGR");
        f.Button1Click();
        QCOMPARE(f.StatusBar1->Texte(), QString("Déchiffrement en cours…"));
        QTRY_VERIFY(!f.EnCours());
        QTRY_COMPARE(erreurs.Textes.size(), size_t(1));
        QCOMPARE(f.StatusBar1->Texte(), QString("Terminé en 7ms"));
    }

    // What a screen reader reads when the toolkit tells it that the status
    // or the progress changed.
    void LAvancementEstLisibleParLesLecteursDEcran() {
        TRepertoireTemporaire dir;
        EcrireFichier(dir / "retenu.bin", OctetsAleatoires(4 * 65536));
        TPlateformeRetenue plateforme("retenu");
        TForm1 f;
        f.show();
        plateforme.Arret = &f.Travailleur().DrapeauArret();
        f.JvFilenameEdit1->DefinirNomFichier(dir / "retenu.bin");
        f.Button1Click();
        QTRY_COMPARE(f.StatusBar1->BarreProgression()->value(), 25);
        QAccessibleInterface* barre = QAccessible::queryAccessibleInterface(f.StatusBar1->BarreProgression());
        QAccessibleInterface* zone = QAccessible::queryAccessibleInterface(f.StatusBar1->findChild<QLabel*>());
        QVERIFY(barre && barre->valueInterface() && zone);
        QCOMPARE(barre->valueInterface()->currentValue().toInt(), 25);
        QCOMPARE(barre->text(QAccessible::Name), QString("Progression"));
        QCOMPARE(barre->text(QAccessible::Description), QString("25 % fait"));
        QCOMPARE(zone->text(QAccessible::Name), QString("Chiffrement en cours…"));
        plateforme.Ouverte = true;
        QTRY_VERIFY(!f.EnCours());
        QVERIFY(kTermine.match(zone->text(QAccessible::Name)).hasMatch());
        QVERIFY(barre->state().invisible);
    }

    void UneTailleMinimaleSansChevauchement() {
        for (auto& f : LesDeuxFenetres()) {
            f->show();
            QVERIFY(f->minimumSize().width() > 0);
            QCOMPARE(f->minimumSize(), f->TailleMinimale());
            QVERIFY(f->minimumWidth() <= TFenetreKOZ::kLargeurConception);
            QVERIFY(f->minimumHeight() <= TFenetreKOZ::kHauteurConception);
            QVERIFY2(Chevauchement(*f).isEmpty(), qPrintable(Chevauchement(*f)));
            // Made as small as it goes, then narrow and tall, then wide and low.
            for (const QSize demande : {QSize(1, 1), QSize(1, 600), QSize(900, 1)}) {
                f->resize(demande);
                QCOMPARE(f->size(), demande.expandedTo(f->minimumSize()));
                QVERIFY2(Chevauchement(*f).isEmpty(), qPrintable(Chevauchement(*f)));
                QVERIFY(f->StatusBar1->geometry().top() > f->Button1->geometry().bottom());
                QVERIFY(f->StatusBar1->geometry().top() > f->CheckBox1->geometry().bottom());
            }
        }
    }

    void UnChampVideEstNommeAvantLeLancement() {
        TRepertoireTemporaire dir;
        TEnregistreurErreurs erreurs;
        TForm1 f;
        f.Button1Click();
        QVERIFY(!f.EnCours());
        // The source given, the destination emptied by hand.
        EcrireFichier(dir / "a.txt", "abc");
        f.JvFilenameEdit1->DefinirNomFichier(dir / "a.txt");
        f.JvFilenameEdit2->setText("  ");
        f.Button1Click();
        QVERIFY(!f.EnCours());
        TFormDechiffre d;
        d.Button1Click();
        QVERIFY(!d.EnCours());
        const std::vector<QString> attendus{"Le champ « Fichier à chiffrer » est vide.",
                                            "Le champ « Fichier chiffré » est vide.",
                                            "Le champ « Fichier chiffré » est vide."};
        QCOMPARE(erreurs.Textes, attendus);
        QCOMPARE(Contenu(dir.Chemin), std::set<std::string>{"a.txt"});
    }

    // The name the run opens is the one the proposal was made from.
    void LesNomsEntreGuillemetsLusUneSeuleFois() {
        TRepertoireTemporaire dir;
        EcrireFichier(dir / "a b.txt", "du texte");
        EcrireFichier(dir / "c.txt", "encore");
        TEnregistreurErreurs erreurs;
        TForm1 f;
        f.JvFilenameEdit1->setText(QString::fromStdString("\"" + (dir / "a b.txt") + "\" brouillon"));
        QCOMPARE(f.JvFilenameEdit2->text(), QString::fromStdString("\"" + (dir / "a b.KOZ") + "\""));
        QCOMPARE(f.JvFilenameEdit1->NomFichier(), dir / "a b.txt");
        f.Button1Click();
        QTRY_VERIFY(!f.EnCours());
        QVERIFY2(erreurs.Textes.empty(), qPrintable(erreurs.Textes.empty() ? QString() : erreurs.Textes[0]));
        QVERIFY(std::filesystem::exists(dir / "a b.KOZ"));

        f.JvFilenameEdit1->setText(QString::fromStdString("\"\"" + (dir / "c.txt")));
        QCOMPARE(f.JvFilenameEdit2->text(), QString::fromStdString(dir / "c.KOZ"));
        QCOMPARE(f.JvFilenameEdit1->NomFichier(), dir / "c.txt");
        f.Button1Click();
        QTRY_VERIFY(!f.EnCours());
        QVERIFY(erreurs.Textes.empty());
        QVERIFY(std::filesystem::exists(dir / "c.KOZ"));
    }

    void ChaqueControleANomEtDescription() {
        for (auto& f : LesDeuxFenetres()) {
            QSet<QString> noms;
            for (QWidget* w : f->findChildren<QWidget*>()) {
                const bool controle = qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w) ||
                                      qobject_cast<QLabel*>(w) || qobject_cast<QProgressBar*>(w) ||
                                      qobject_cast<QStatusBar*>(w);
                if (!controle) continue;
                QVERIFY2(!w->accessibleName().isEmpty(), w->metaObject()->className());
                QVERIFY2(!w->accessibleName().contains('&'), qPrintable(w->accessibleName()));
                if (qobject_cast<QLabel*>(w)) continue;
                QVERIFY2(!w->accessibleDescription().isEmpty(), qPrintable(w->accessibleName()));
                QVERIFY2(!noms.contains(w->accessibleName()), qPrintable(w->accessibleName()));
                noms.insert(w->accessibleName());
            }
            QCOMPARE(f->JvFilenameEdit1->accessibleName(), QString::fromUtf8(
                                                               dynamic_cast<TForm1*>(f.get()) ? "Fichier à chiffrer"
                                                                                              : "Fichier chiffré"));
            QCOMPARE(f->Label3->buddy(), f->JvFilenameEdit3);
        }
    }

    void LaTabulationAtteintChaqueControle() {
        for (auto& f : LesDeuxFenetres()) {
            f->show();
            QVERIFY(QTest::qWaitForWindowActive(f.get()));
            f->JvFilenameEdit1->setFocus();
            QTRY_VERIFY(f->JvFilenameEdit1->hasFocus());
            std::vector<QWidget*> atteints{f->JvFilenameEdit1};
            for (int i = 0; i < 10; ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                if (QApplication::focusWidget() == f->JvFilenameEdit1) break;
                atteints.push_back(QApplication::focusWidget());
            }
            std::vector<QWidget*> attendu{f->JvFilenameEdit1, f->JvFilenameEdit2, f->Button1,
                                          f->JvFilenameEdit3, f->CheckBox1};
            // The decryption window's second box comes last.
            if (auto* d = dynamic_cast<TFormDechiffre*>(f.get())) attendu.push_back(d->CheckBox2);
            QCOMPARE(atteints, attendu);
            // Every control that takes the focus at all is on the way.
            for (QWidget* w : f->findChildren<QWidget*>())
                if (w->isVisible() && (w->focusPolicy() & Qt::TabFocus))
                    QVERIFY2(std::find(atteints.begin(), atteints.end(), w) != atteints.end(),
                             w->metaObject()->className());
            f->close();
        }
    }

    void LesRaccourcisDuClavier() {
        TForm1 f;
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        QTest::keyClick(&f, Qt::Key_H, Qt::AltModifier);
        QTRY_VERIFY(f.JvFilenameEdit2->hasFocus());
        QTest::keyClick(&f, Qt::Key_G, Qt::AltModifier);
        QTRY_VERIFY(f.JvFilenameEdit3->hasFocus());
        QTest::keyClick(&f, Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(f.JvFilenameEdit1->hasFocus());
        QTest::keyClick(&f, Qt::Key_M, Qt::AltModifier);
        QTRY_VERIFY(f.CheckBox1->isChecked());
        // Each caption carries its mnemonic; no two share a letter.
        QSet<QChar> lettres;
        for (const QString& legende : {f.Label1->text(), f.Label2->text(), f.Label3->text(), f.Button1->text(),
                                       f.CheckBox1->text()}) {
            const qsizetype i = legende.indexOf('&');
            QVERIFY2(i >= 0 && i + 1 < legende.size(), qPrintable(legende));
            QVERIFY2(!lettres.contains(legende[i + 1].toLower()), qPrintable(legende));
            lettres.insert(legende[i + 1].toLower());
        }
    }

    void EntreeLanceEtEchapArreteOuFerme() {
        TRepertoireTemporaire dir;
        EcrireFichier(dir / "retenu.bin", OctetsAleatoires(4 * 65536));
        TPlateformeRetenue plateforme("retenu");
        TEnregistreurErreurs erreurs;
        TForm1 f;
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        plateforme.Arret = &f.Travailleur().DrapeauArret();
        f.JvFilenameEdit1->DefinirNomFichier(dir / "retenu.bin");
        f.JvFilenameEdit1->setFocus();
        QTest::keyClick(f.JvFilenameEdit1, Qt::Key_Return);
        QVERIFY(f.EnCours());
        QTRY_COMPARE(f.StatusBar1->BarreProgression()->value(), 25);
        QTest::keyClick(&f, Qt::Key_Escape);
        QTRY_VERIFY(!f.EnCours());
        QVERIFY(f.isVisible());
        QCOMPARE(f.StatusBar1->Texte(), QString("Chiffrement interrompu"));
        QVERIFY(erreurs.Textes.empty());
        QVERIFY(f.JvFilenameEdit1->isEnabled());
        QVERIFY(!std::filesystem::exists(dir / "FIN-CHIFFRE.KGR"));
        // The focus is back where the run was started from.
        QTRY_VERIFY(f.JvFilenameEdit1->hasFocus());
        // The keypad's Enter, from the check box, runs too.
        plateforme.Ouverte = true;
        QTest::keyClick(f.CheckBox1, Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(f.EnCours());
        QTRY_VERIFY(!f.EnCours());
        QVERIFY(kTermine.match(f.StatusBar1->Texte()).hasMatch());
        // With no run going, Escape closes the window.
        QTest::keyClick(f.JvFilenameEdit2, Qt::Key_Escape);
        QVERIFY(!f.isVisible());
    }

    void UneLongueOperationFinieDerriereEstAnnoncee() {
        TRepertoireTemporaire dir;
        EcrireFichier(dir / "a.txt", "abc");
        TEnregistreurErreurs erreurs;
        TEnregistreurNotifications avis;
        {
            // Never shown, so never the active window.
            TForm1 f;
            f.SeuilAvisMs = 0;
            f.JvFilenameEdit1->DefinirNomFichier(dir / "a.txt");
            f.Button1Click();
            QTRY_VERIFY(!f.EnCours());
            QCOMPARE(avis.Titres, std::vector<QString>{"Chiffrement terminé"});
            QCOMPARE(avis.Corps, std::vector<QString>{f.StatusBar1->Texte()});
            f.JvFilenameEdit1->DefinirNomFichier(dir / "absent.txt");
            f.Button1Click();
            QTRY_VERIFY(!f.EnCours());
            QTRY_COMPARE(avis.Titres.size(), size_t(2));
            QCOMPARE(avis.Titres[1], QString("Échec du chiffrement"));
            QCOMPARE(avis.Corps[1], erreurs.Textes.at(0));
        }
        {
            // In front, or quick: nothing.
            TForm1 f;
            f.show();
            QVERIFY(QTest::qWaitForWindowActive(&f));
            f.SeuilAvisMs = 0;
            f.JvFilenameEdit1->DefinirNomFichier(dir / "a.txt");
            f.Button1Click();
            QTRY_VERIFY(!f.EnCours());
            TForm1 g;
            g.JvFilenameEdit1->DefinirNomFichier(dir / "a.txt");
            g.Button1Click();
            QTRY_VERIFY(!g.EnCours());
        }
        QCOMPARE(avis.Titres.size(), size_t(2));
    }

    // Runs last: the French translation stays installed for this process.
    void LesDialoguesDuToolkitEnFrancais() {
        QVERIFY2(InstallerTraductions(*QCoreApplication::instance()),
                 "qtbase_fr.qm absent : installez qt6-translations-l10n (scripts/setup)");
        QFileDialog dialogue(nullptr);
        dialogue.setOption(QFileDialog::DontUseNativeDialog);
        dialogue.setAcceptMode(QFileDialog::AcceptOpen);
        QStringList textes;
        for (QLabel* l : dialogue.findChildren<QLabel*>()) textes << l->text();
        for (QPushButton* b : dialogue.findChildren<QDialogButtonBox*>().value(0)->findChildren<QPushButton*>())
            textes << b->text();
        const QString tout = textes.join('|');
        QVERIFY2(tout.contains("Ouvrir") && tout.contains("Annuler"), qPrintable(tout));
        QVERIFY2(!tout.contains("Cancel") && !tout.contains("Look in") && !tout.contains("File name"),
                 qPrintable(tout));
        // The kinds in the dialog's "Type" column, which the toolkit's catalogue lacks.
        QCOMPARE(QFileIconProvider().type(QFileInfo(QDir::tempPath())), QString("Dossier"));
    }
};

KOZ_TEST_QT(TestFinitions)
#include "TestFinitions.moc"
