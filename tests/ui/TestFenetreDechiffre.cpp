// The decryption window, and the round trip through both windows.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>

#include <filesystem>

#include "tests/support/Fichiers.hpp"
#include "tests/ui/SupportQt.hpp"
#include "ui/ChampNomFichier.hpp"
#include "ui/Controles.hpp"
#include "ui/UFormChiffre.hpp"
#include "ui/UFormDechiffre.hpp"

namespace {
const QRegularExpression kTermine("^Terminé en [0-9]+ms$");

// Encrypts source through the encryption window, as a user would.
void ChiffrerParLaFenetre(const std::string& source) {
    TForm1 f;
    f.JvFilenameEdit1->DefinirNomFichier(source);
    QTest::mouseClick(f.Button1, Qt::LeftButton);
    QTRY_VERIFY(!f.EnCours());
    QVERIFY(kTermine.match(f.StatusBar1->Texte()).hasMatch());
}
}  // namespace

class TestFenetreDechiffre : public QObject {
    Q_OBJECT
private slots:
    void LesTextesEtLaDisposition() {
        TFormDechiffre f;
        QCOMPARE(f.windowTitle(), QString("ZymKOZ-Déchiffrement-"));
        QCOMPARE(f.Label1->text(), QString("&Fichier chiffré"));
        QCOMPARE(f.Label2->text(), QString("Fic&hier déchiffré"));
        QCOMPARE(f.Label3->text(), QString("&Grille"));
        QCOMPARE(f.Button1->text(), QString("&Déchiffrer"));
        QVERIFY(!f.CheckBox1->isChecked());
        QCOMPARE(f.size(), QSize(490, 193));
        QCOMPARE(f.Button1->geometry(), QRect(402, 144, 75, 25));
        QCOMPARE(f.StatusBar1->geometry(), QRect(0, 174, 490, 19));
        const int gauche = f.JvFilenameEdit1->x();
        QVERIFY(f.Label2->geometry().right() + 5 < gauche);
        QCOMPARE(f.JvFilenameEdit3->geometry(), QRect(gauche, 80, 483 - gauche, 21));
        QCOMPARE(f.JvFilenameEdit1->Filtre, std::string("Fichier KOZ (*.KOZ)|*.KOZ|Tous les fichiers (*.*)|*.*"));
        QCOMPARE(f.JvFilenameEdit3->Filtre, std::string("Fichiers grille KOZ (*.KGR)|*.KGR"));
    }

    void LeNomDechiffreEstPropose() {
        TFormDechiffre f;
        f.JvFilenameEdit1->setText("/docs/lettre.txt.KOZ");
        QCOMPARE(f.JvFilenameEdit2->text(), QString("/docs/lettre.txt"));
        f.JvFilenameEdit1->setText("\"/mes docs/a.KOZ\"");
        QCOMPARE(f.JvFilenameEdit2->text(), QString("\"/mes docs/a\""));
        f.JvFilenameEdit1->setText("/docs/essai");
        QCOMPARE(f.JvFilenameEdit2->text(), QString("/docs/essai.dechiffre"));
        f.JvFilenameEdit1->clear();
        QCOMPARE(f.JvFilenameEdit2->text(), QString());
    }

    // Without a grid the journal beside the file finds its key, and the
    // window says which one it used; without the journal, nothing can prove
    // the result and the run is refused.
    void SansGrilleLeJournalTrouveLaCle() {
        TRepertoireTemporaire dir;
        const std::string clair = OctetsAleatoires(3000, 5);
        EcrireFichier(dir / "a.bin", clair);
        TEnregistreurErreurs erreurs;
        TEnregistreurAvis avis;
        ChiffrerParLaFenetre(dir / "a.bin");
        TFormDechiffre f;
        f.JvFilenameEdit1->DefinirNomFichier(dir / "a.KOZ");
        f.JvFilenameEdit2->DefinirNomFichier(dir / "a.relu");
        f.JvFilenameEdit3->setText("  ");
        f.Button1Click();
        QTRY_VERIFY(!f.EnCours());
        QVERIFY2(erreurs.Textes.empty(), qPrintable(erreurs.Textes.empty() ? QString() : erreurs.Textes[0]));
        QVERIFY(LireFichier(dir / "a.relu") == clair);
        QCOMPARE(avis.Avis.size(), size_t(1));
        QCOMPARE(avis.Avis[0], QString::fromStdString("Clé de \"" + (dir / "a.KOZ") + "\" : \"" + (dir / "DEBUT.KGR") + "\""));

        std::filesystem::remove(dir / "KOZ-JOURNAL.txt");
        f.JvFilenameEdit2->DefinirNomFichier(dir / "b.relu");
        f.StatusBar1->DefinirTexte("avant");
        f.Button1Click();
        QTRY_VERIFY(!f.EnCours());
        QCOMPARE(erreurs.Textes.size(), size_t(1));
        QVERIFY2(erreurs.Textes[0].startsWith("Rien ne permet de vérifier le déchiffrement de"), qPrintable(erreurs.Textes[0]));
        QCOMPARE(f.StatusBar1->Texte(), QString("avant"));
        QVERIFY(!std::filesystem::exists(dir / "b.relu"));

        // Asked for with the second box, and with the grid: kept, with a warning.
        f.CheckBox2->setChecked(true);
        f.JvFilenameEdit3->DefinirNomFichier(dir / "DEBUT.KGR");
        f.Button1Click();
        QTRY_VERIFY(!f.EnCours());
        QCOMPARE(erreurs.Textes.size(), size_t(1));
        QVERIFY(LireFichier(dir / "b.relu") == clair);
        QCOMPARE(avis.Avis.size(), size_t(2));
        QCOMPARE(avis.Avis[1], QString::fromStdString("Attention : \"" + (dir / "b.relu") + "\" n'a pas pu être vérifié ; il peut être faux"));
    }

    void AllerRetourParLesDeuxFenetres() {
        TRepertoireTemporaire dir;
        const std::string clair = OctetsAleatoires(200000, 77);
        EcrireFichier(dir / "mes notes.bin", clair);
        TEnregistreurErreurs erreurs;
        ChiffrerParLaFenetre(dir / "mes notes.bin");
        QVERIFY(erreurs.Textes.empty());
        std::filesystem::rename(dir / "mes notes.bin", dir / "original.bin");

        TFormDechiffre f;
        f.show();
        QVERIFY(DeposerFichier(&f, QString::fromStdString(dir / "mes notes.KOZ")));
        QVERIFY(DeposerFichier(&f, QString::fromStdString(dir / "DEBUT.KGR")));
        QCOMPARE(f.JvFilenameEdit2->NomFichier(), dir / "mes notes");
        QCOMPARE(f.JvFilenameEdit3->NomFichier(), dir / "DEBUT.KGR");
        QTest::mouseClick(f.Button1, Qt::LeftButton);
        QTRY_VERIFY(!f.EnCours());
        QVERIFY2(erreurs.Textes.empty(), qPrintable(erreurs.Textes.empty() ? QString() : erreurs.Textes[0]));
        QVERIFY2(kTermine.match(f.StatusBar1->Texte()).hasMatch(), qPrintable(f.StatusBar1->Texte()));
        QVERIFY(LireFichier(dir / "mes notes") == clair);

        // Again: the output exists now, and is only replaced when asked.
        const QString texte = f.StatusBar1->Texte();
        EcrireFichier(dir / "mes notes", "ancien");
        f.Button1Click();
        QTRY_VERIFY(!f.EnCours());
        QTRY_COMPARE(erreurs.Textes.size(), size_t(1));
        QVERIFY2(erreurs.Textes[0].contains("existe déjà"), qPrintable(erreurs.Textes[0]));
        QCOMPARE(LireFichier(dir / "mes notes"), std::string("ancien"));
        QCOMPARE(f.StatusBar1->Texte(), texte);
        f.CheckBox1->setChecked(true);
        f.Button1Click();
        QTRY_VERIFY(!f.EnCours());
        QCOMPARE(erreurs.Textes.size(), size_t(1));
        QVERIFY(LireFichier(dir / "mes notes") == clair);
    }

    void LaToucheDeLaCaseLaBasculeAvantUneEntreeQuiSuit() {
        // Alt+C then Enter at once: the run sees the box as it shows it.
        TRepertoireTemporaire dir;
        EcrireFichier(dir / "a.bin", "nouveau");
        TEnregistreurErreurs erreurs;
        ChiffrerParLaFenetre(dir / "a.bin");
        EcrireFichier(dir / "a", "ancien");
        TFormDechiffre f;
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        f.JvFilenameEdit1->DefinirNomFichier(dir / "a.KOZ");
        f.JvFilenameEdit1->setFocus();
        QVERIFY(!f.CheckBox1->isChecked());
        QTest::keyClick(&f, Qt::Key_C, Qt::AltModifier);
        QVERIFY(f.CheckBox1->isChecked());
        QTest::keyClick(&f, Qt::Key_C, Qt::AltModifier);
        QVERIFY(!f.CheckBox1->isChecked());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_VERIFY(!f.EnCours());
        QTRY_COMPARE(erreurs.Textes.size(), size_t(1));
        QVERIFY2(erreurs.Textes[0].contains("existe déjà"), qPrintable(erreurs.Textes[0]));
        QCOMPARE(LireFichier(dir / "a"), std::string("ancien"));
        QTest::qWait(200);  // the toolkit's own delayed click, were it still pending, would come by now
        QVERIFY(!f.CheckBox1->isChecked());
    }

    void LaSaisieEstBloqueePendantUnDechiffrementEtFermerLArrete() {
        TRepertoireTemporaire dir;
        EcrireFichier(dir / "a.bin", OctetsAleatoires(100000));
        TEnregistreurErreurs erreurs;
        ChiffrerParLaFenetre(dir / "a.bin");
        std::filesystem::rename(dir / "a.KOZ", dir / "retenu.KOZ");
        TPlateformeRetenue plateforme("retenu");
        {
            TFormDechiffre f;
            f.show();
            plateforme.Arret = &f.Travailleur().DrapeauArret();
            f.JvFilenameEdit1->DefinirNomFichier(dir / "retenu.KOZ");
            f.JvFilenameEdit3->DefinirNomFichier(dir / "DEBUT.KGR");
            f.Button1Click();
            QVERIFY(f.EnCours());
            for (QWidget* w : std::initializer_list<QWidget*>{f.JvFilenameEdit1, f.JvFilenameEdit2,
                                                              f.JvFilenameEdit3, f.CheckBox1, f.Button1})
                QVERIFY(!w->isEnabled());
            QTest::qWait(50);
            QVERIFY(f.close());
            QVERIFY(!f.EnCours());
            QTest::qWait(20);
        }
        QVERIFY(erreurs.Textes.empty());
        // A stopped decryption keeps nothing: no output, no temporary file.
        QCOMPARE(Contenu(dir.Chemin), AvecTrio(AvecTrio({"a.bin", "retenu.KOZ", "KOZ-JOURNAL.txt"}, "DEBUT"), "FIN-CHIFFRE"));
    }
};

KOZ_TEST_QT(TestFenetreDechiffre)
#include "TestFenetreDechiffre.moc"
