// The encryption window: layout, proposals, runs, closing and drops.
#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QToolButton>

#include <filesystem>

#include "tests/support/Fichiers.hpp"
#include "tests/ui/SupportQt.hpp"
#include "ui/ChampNomFichier.hpp"
#include "ui/Controles.hpp"
#include "ui/UFormChiffre.hpp"

namespace {
const QRegularExpression kTermine("^Terminé en [0-9]+ms$");

std::vector<QWidget*> Saisie(TForm1& f) {
    return {f.JvFilenameEdit1, f.JvFilenameEdit2, f.JvFilenameEdit3, f.CheckBox1, f.Button1};
}
}  // namespace

class TestFenetreChiffre : public QObject {
    Q_OBJECT
private slots:
    void LesTextesEtLEtatDeDepart() {
        TForm1 f;
        QCOMPARE(f.windowTitle(), QString("ZymKOZ-Chiffrement-"));
        QCOMPARE(f.Label1->text(), QString("&Fichier à chiffrer"));
        QCOMPARE(f.Label2->text(), QString("Fic&hier chiffré"));
        QCOMPARE(f.Label3->text(), QString("&Grille"));
        QCOMPARE(f.Label4->text(), QString("(Si vide alors on part d'une nouvelle grille aléatoire)"));
        QVERIFY(f.Label4->font().italic());
        QVERIFY(!f.Label1->font().italic());
        QCOMPARE(f.Button1->text(), QString("&Chiffrer"));
        QCOMPARE(f.CheckBox1->text(),
                 QString("&Mode sécurisé (vérification de la validité de la grille pour chaque octet codé)"));
        QVERIFY(!f.CheckBox1->isChecked());
        QCOMPARE(f.font().pointSize(), 8);
        QVERIFY(f.StatusBar1->isSizeGripEnabled());
        QCOMPARE(f.StatusBar1->Texte(), QString());
        QVERIFY(f.StatusBar1->BarreProgression()->isHidden());
        for (auto* champ : {f.JvFilenameEdit1, f.JvFilenameEdit2, f.JvFilenameEdit3}) {
            QCOMPARE(champ->text(), QString());
            QCOMPARE(champ->RepertoireInitial, QCoreApplication::applicationDirPath().toStdString());
            QCOMPARE(champ->BoutonParcourir()->size(), QSize(21, 17));
            QVERIFY(champ->rect().contains(champ->BoutonParcourir()->geometry()));
        }
        QCOMPARE(f.JvFilenameEdit1->Filtre, std::string("Tous les fichiers (*.*)|*.*"));
        QCOMPARE(f.JvFilenameEdit2->Filtre, std::string("Fichier KOZ (*.KOZ)|*.KOZ|Tous les fichiers (*.*)|*.*"));
        QCOMPARE(f.JvFilenameEdit3->Filtre, std::string("Fichiers grille KOZ (*.KGR)|*.KGR"));
    }

    void LaDispositionA96Dpi() {
        TForm1 f;
        QCOMPARE(f.size(), QSize(490, 193));
        QCOMPARE(f.pos(), QPoint(248, 144));
        QCOMPARE(f.Button1->geometry(), QRect(402, 144, 75, 25));
        QCOMPARE(f.StatusBar1->geometry(), QRect(0, 174, 490, 19));
        QCOMPARE(f.Label1->pos(), QPoint(8, 20));
        QCOMPARE(f.Label2->pos(), QPoint(8, 52));
        QCOMPARE(f.Label3->pos(), QPoint(8, 84));
        QCOMPARE(f.Label4->y(), 104);
        QCOMPARE(f.CheckBox1->pos(), QPoint(16, 128));
        QCOMPARE(f.CheckBox1->width(), 217);
        QVERIFY(f.CheckBox1->height() >= 33 && f.CheckBox1->geometry().bottom() < 174);
        // The fields keep their tops, heights and right edges; their left edge
        // is 88 unless the captions need more room in the platform's font.
        const int gauche = f.JvFilenameEdit1->x();
        QVERIFY(gauche >= 88);
        QCOMPARE(f.JvFilenameEdit1->geometry(), QRect(gauche, 16, 481 - gauche, 21));
        QCOMPARE(f.JvFilenameEdit2->geometry(), QRect(gauche, 48, 481 - gauche, 21));
        QCOMPARE(f.JvFilenameEdit3->geometry(), QRect(gauche, 80, 483 - gauche, 21));
        QCOMPARE(f.Label4->x(), gauche);
        for (QLabel* e : {f.Label1, f.Label2, f.Label3}) {
            QCOMPARE(e->size(), e->sizeHint());
            QVERIFY(e->geometry().right() + 5 < gauche);
        }
        QVERIFY(gauche == 88 || f.Label1->geometry().right() + 6 == gauche);
    }

    // With captions as narrow as the design's, the design's numbers exactly.
    void LaDispositionExacteQuandLesLegendesTiennent() {
        if (!QFontDatabase::hasFamily("Nimbus Sans Narrow")) QSKIP("police étroite absente");
        const QFont avant = QApplication::font();
        QApplication::setFont(QFont("Nimbus Sans Narrow", 8));
        {
            TForm1 f;
            QCOMPARE(f.JvFilenameEdit1->geometry(), QRect(88, 16, 393, 21));
            QCOMPARE(f.JvFilenameEdit2->geometry(), QRect(88, 48, 393, 21));
            QCOMPARE(f.JvFilenameEdit3->geometry(), QRect(88, 80, 395, 21));
            QCOMPARE(f.Label4->pos(), QPoint(88, 104));
            QCOMPARE(f.CheckBox1->geometry(), QRect(16, 128, 217, 33));
        }
        QApplication::setFont(avant);
    }

    void LesAncragesApresUnRedimensionnement() {
        TForm1 f;
        f.show();
        const QRect e1 = f.JvFilenameEdit1->geometry(), e3 = f.JvFilenameEdit3->geometry();
        const QRect l4 = f.Label4->geometry(), c = f.CheckBox1->geometry();
        f.resize(600, 300);
        QCOMPARE(f.JvFilenameEdit1->geometry(), e1.adjusted(0, 0, 110, 0));
        QCOMPARE(f.JvFilenameEdit3->geometry(), e3.adjusted(0, 0, 110, 0));
        QCOMPARE(f.JvFilenameEdit2->geometry().right(), 600 - 9 - 1);
        QCOMPARE(f.Button1->geometry(), QRect(512, 144, 75, 25));
        QCOMPARE(f.StatusBar1->geometry(), QRect(0, 281, 600, 19));
        QCOMPARE(f.Label1->pos(), QPoint(8, 20));
        QCOMPARE(f.Label4->geometry(), l4);
        QCOMPARE(f.CheckBox1->geometry(), c);
        f.resize(490, 193);
        QCOMPARE(f.JvFilenameEdit1->geometry(), e1);
        QCOMPARE(f.StatusBar1->geometry(), QRect(0, 174, 490, 19));
    }

    void LOrdreDeTabulation() {
        TForm1 f;
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        f.JvFilenameEdit1->setFocus();
        QTRY_VERIFY(f.JvFilenameEdit1->hasFocus());
        const std::vector<QWidget*> attendu{f.JvFilenameEdit2, f.Button1, f.JvFilenameEdit3, f.CheckBox1,
                                            f.JvFilenameEdit1};
        for (QWidget* w : attendu) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), w);
        }
    }

    // Enter in any field runs, as the button does (here a failing run).
    void EntreeDansUnChampChiffre() {
        TEnregistreurErreurs erreurs;
        TForm1 f;
        f.JvFilenameEdit1->setText("/nulle/part/a.txt");
        QTest::keyClick(f.JvFilenameEdit3, Qt::Key_Return);
        QTRY_VERIFY(!f.EnCours());
        QTRY_COMPARE(erreurs.Textes.size(), size_t(1));
        QVERIFY2(erreurs.Textes[0].startsWith("Impossible d'ouvrir le fichier \"/nulle/part/a.txt\"."),
                 qPrintable(erreurs.Textes[0]));
        QCOMPARE(f.StatusBar1->Texte(), QString());
    }

    void LaDestinationProposee_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("destination");
        QTest::newRow("extension") << "/docs/lettre.txt" << "/docs/lettre.KOZ";
        QTest::newRow("deux extensions") << "/docs/archive.tar.gz" << "/docs/archive.tar.KOZ";
        QTest::newRow("sans extension") << "/docs/LISEZMOI" << "/docs/LISEZMOI.KOZ";
        QTest::newRow("point dans le dossier") << "/Dossier.ancien/notes" << "/Dossier.ancien/notes.KOZ";
        QTest::newRow("point final") << "/docs/lettre." << "/docs/lettre.KOZ";
        QTest::newRow("deja KOZ") << "/docs/a.KOZ" << "/docs/a.KOZ";
        QTest::newRow("vide") << "" << ".KOZ";
        QTest::newRow("blancs autour") << "  /docs/a.txt  " << "/docs/a.KOZ";
        QTest::newRow("deux-points ordinaire") << "/docs/c:a.txt" << "/docs/c:a.KOZ";
    }
    void LaDestinationProposee() {
        QFETCH(QString, source);
        QFETCH(QString, destination);
        TEnregistreurErreurs erreurs;
        TForm1 f;
        f.JvFilenameEdit1->setText("/autre");
        f.JvFilenameEdit1->setText(source);
        QCOMPARE(f.JvFilenameEdit2->text(), destination);
        QVERIFY(erreurs.Textes.empty());
    }

    void LaPropositionSuitChaqueTouche() {
        TForm1 f;
        std::vector<QString> vues;
        for (const char c : std::string("x.d/a")) {
            QTest::keyClick(f.JvFilenameEdit1, c);
            vues.push_back(f.JvFilenameEdit2->text());
        }
        QTest::keyClick(f.JvFilenameEdit1, Qt::Key_Backspace);
        vues.push_back(f.JvFilenameEdit2->text());
        f.JvFilenameEdit1->selectAll();
        QTest::keyClick(f.JvFilenameEdit1, Qt::Key_Delete);
        vues.push_back(f.JvFilenameEdit2->text());
        const std::vector<QString> attendu{"x.KOZ", "x.KOZ", "x.KOZ", "x.d/.KOZ", "x.d/a.KOZ", "x.d/.KOZ", ".KOZ"};
        QCOMPARE(vues, attendu);
    }

    // Typing a quoted name key by key must not stop the user at its opening quote.
    void UnNomTapeEntreGuillemetsNeDeclencheAucunMessage() {
        TEnregistreurErreurs erreurs;
        TForm1 f;
        QTest::keyClicks(f.JvFilenameEdit1, "\"/tmp/mes documents/lettre.txt\"");
        QVERIFY2(erreurs.Textes.empty(), qPrintable(erreurs.Textes.empty() ? QString() : erreurs.Textes[0]));
        QCOMPARE(f.JvFilenameEdit2->text(), QString("\"/tmp/mes documents/lettre.KOZ\""));
        QCOMPARE(f.JvFilenameEdit1->NomFichier(), std::string("/tmp/mes documents/lettre.txt"));
    }

    void UneDestinationTapeeResteJusquAuProchainChangement() {
        TForm1 f;
        f.JvFilenameEdit1->setText("/docs/a.txt");
        f.JvFilenameEdit2->setText("/ailleurs/b.KOZ");
        QCOMPARE(f.JvFilenameEdit2->NomFichier(), std::string("/ailleurs/b.KOZ"));
        f.JvFilenameEdit1->setText("/docs/c.txt");
        QCOMPARE(f.JvFilenameEdit2->text(), QString("/docs/c.KOZ"));
    }

    void UnNomAvecBlancParcouruEstCiteDansLesDeuxChamps() {
        TDialogueScripte dialogue;
        TForm1 f;
        dialogue.Reponses.push_back(QString("/tmp/mes documents/lettre.txt"));
        f.JvFilenameEdit1->BoutonParcourir()->click();
        QCOMPARE(dialogue.Demandes.size(), size_t(1));
        QCOMPARE(dialogue.Demandes[0].Repertoire, QCoreApplication::applicationDirPath());
        QCOMPARE(dialogue.Demandes[0].Filtres, QString("Tous les fichiers (*.*) (*)"));
        QCOMPARE(f.JvFilenameEdit1->text(), QString("\"/tmp/mes documents/lettre.txt\""));
        QCOMPARE(f.JvFilenameEdit2->text(), QString("\"/tmp/mes documents/lettre.KOZ\""));
        QCOMPARE(f.JvFilenameEdit1->NomFichier(), std::string("/tmp/mes documents/lettre.txt"));
        QCOMPARE(f.JvFilenameEdit2->NomFichier(), std::string("/tmp/mes documents/lettre.KOZ"));
        // The other fields' dialogs still start in the program's directory.
        dialogue.Reponses.push_back(std::nullopt);
        f.JvFilenameEdit3->Parcourir();
        QCOMPARE(dialogue.Demandes[1].Repertoire, QCoreApplication::applicationDirPath());
        QCOMPARE(dialogue.Demandes[1].Filtres, QString("Fichiers grille KOZ (*.KGR) (*.KGR)"));
    }

    void UnNomIncorrectPasseParLAffichage() {
        TEnregistreurErreurs erreurs;
        TForm1 f;
        f.JvFilenameEdit1->setText("/docs/a.txt");
        f.JvFilenameEdit1->setText("/docs/a[1].txt");
        f.JvFilenameEdit1->setText("/docs/mes a|b");
        const std::vector<QString> attendus{"Nom de fichier incorrect - /docs/a[1].KOZ.",
                                            "Nom de fichier incorrect - /docs/mes a|b.KOZ."};
        QCOMPARE(erreurs.Textes, attendus);
        QCOMPARE(erreurs.Titres.front(), QString("Zymkozchiffre"));
        QCOMPARE(f.JvFilenameEdit2->text(), QString("/docs/a.KOZ"));
    }

    void ChiffrerChiffreVraimentEtAfficheLeTemps() {
        TRepertoireTemporaire dir;
        const std::string clair = OctetsAleatoires(5000);
        EcrireFichier(dir / "lettre.txt", clair);
        TEnregistreurErreurs erreurs;
        TForm1 f;
        f.show();
        f.JvFilenameEdit1->DefinirNomFichier(dir / "lettre.txt");
        f.JvFilenameEdit3->setText("   ");
        QTest::mouseClick(f.Button1, Qt::LeftButton);
        QTRY_VERIFY(!f.EnCours());
        QVERIFY2(erreurs.Textes.empty(), qPrintable(erreurs.Textes.empty() ? QString() : erreurs.Textes[0]));
        QVERIFY2(kTermine.match(f.StatusBar1->Texte()).hasMatch(), qPrintable(f.StatusBar1->Texte()));
        const auto taille = std::filesystem::file_size(dir / "lettre.KOZ");
        QVERIFY(taille >= 2 * clair.size() && taille <= 4 * clair.size());
        for (const char* etat : {"DEBUT.KGR", "DEBUT.KEC", "DEBUT.KPR", "FIN-CHIFFRE.KGR"})
            QVERIFY(std::filesystem::exists(dir / etat));
        QCOMPARE(LireFichier(dir / "lettre.txt"), clair);

        // A second run from the grid the first one ended with, in secure mode.
        std::filesystem::rename(dir / "FIN-CHIFFRE.KGR", dir / "suite.KGR");
        std::filesystem::rename(dir / "FIN-CHIFFRE.KEC", dir / "suite.KEC");
        std::filesystem::rename(dir / "FIN-CHIFFRE.KPR", dir / "suite.KPR");
        f.JvFilenameEdit3->DefinirNomFichier(dir / "suite.KGR");
        f.CheckBox1->setChecked(true);
        f.StatusBar1->DefinirTexte("avant");
        // lettre.KOZ exists: the window asks, and No (the default) leaves everything as it was.
        const std::string premier = LireFichier(dir / "lettre.KOZ");
        {
            TEnregistreurAvis non(false);
            f.Button1Click();
            QVERIFY(!f.EnCours());
            QCOMPARE(non.Questions.size(), size_t(1));
            QVERIFY(non.Questions[0].contains("existe déjà"));
            QCOMPARE(f.StatusBar1->Texte(), QString("avant"));
            QVERIFY(LireFichier(dir / "lettre.KOZ") == premier);
        }
        TEnregistreurAvis oui(true);
        f.Button1Click();
        QTRY_VERIFY(!f.EnCours());
        QVERIFY(erreurs.Textes.empty());
        QCOMPARE(oui.Questions.size(), size_t(1));
        QVERIFY(kTermine.match(f.StatusBar1->Texte()).hasMatch());
        QVERIFY(std::filesystem::exists(dir / "FIN-CHIFFRE.KGR"));
        QVERIFY(LireFichier(dir / "lettre.KOZ") != premier);

        // A third fresh run keeps the first key as DEBUT-1 and says so, after the run.
        const std::string debut = LireFichier(dir / "DEBUT.KGR");
        f.JvFilenameEdit3->setText("");
        f.JvFilenameEdit2->DefinirNomFichier(dir / "lettre2.KOZ");
        f.Button1Click();
        QTRY_VERIFY(!f.EnCours());
        QVERIFY(kTermine.match(f.StatusBar1->Texte()).hasMatch());
        QCOMPARE(oui.Avis.size(), size_t(1));
        QCOMPARE(oui.Avis[0], QString::fromStdString("L'ancien trio DEBUT a été gardé sous DEBUT-1 dans \"" + dir.Dir() + "\""));
        QVERIFY(LireFichier(dir / "DEBUT-1.KGR") == debut);
    }

    void UnEchecGardeLeTexteDEtat() {
        TRepertoireTemporaire dir;
        TEnregistreurErreurs erreurs;
        TForm1 f;
        f.JvFilenameEdit1->DefinirNomFichier(dir / "absent.txt");
        f.Button1Click();
        QTRY_VERIFY(!f.EnCours());
        QTRY_COMPARE(erreurs.Textes.size(), size_t(1));
        QCOMPARE(erreurs.Textes[0], QString::fromStdString("Impossible d'ouvrir le fichier \"" + (dir / "absent.txt") +
                                                           "\". " + TexteErreur(ENOENT) + "."));
        QCOMPARE(f.StatusBar1->Texte(), QString());

        EcrireFichier(dir / "a.txt", "abc");
        f.JvFilenameEdit1->DefinirNomFichier(dir / "a.txt");
        f.Button1Click();
        QTRY_VERIFY(!f.EnCours());
        const QString reussi = f.StatusBar1->Texte();
        QVERIFY(kTermine.match(reussi).hasMatch());

        // A destination in a missing directory fails; the text stays.
        f.JvFilenameEdit2->setText(QString::fromStdString(dir / "manque/a.KOZ"));
        f.Button1Click();
        QTRY_VERIFY(!f.EnCours());
        QTRY_COMPARE(erreurs.Textes.size(), size_t(2));
        QVERIFY(erreurs.Textes[1].startsWith("Impossible de créer le fichier \""));
        QCOMPARE(f.StatusBar1->Texte(), reussi);
        for (QWidget* w : Saisie(f)) QVERIFY(w->isEnabled());
    }

    void LaSaisieEstBloqueePendantUnChiffrement() {
        TRepertoireTemporaire dir;
        EcrireFichier(dir / "retenu.bin", OctetsAleatoires(4 * 65536));
        TPlateformeRetenue plateforme("retenu");
        TEnregistreurErreurs erreurs;
        TForm1 f;
        f.show();
        plateforme.Arret = &f.Travailleur().DrapeauArret();
        f.JvFilenameEdit1->DefinirNomFichier(dir / "retenu.bin");
        f.StatusBar1->DefinirTexte("avant");
        f.Button1Click();
        QVERIFY(f.EnCours());
        for (QWidget* w : Saisie(f)) QVERIFY(!w->isEnabled());
        QProgressBar* barre = f.StatusBar1->BarreProgression();
        QVERIFY(barre->isVisible());
        QTRY_COMPARE(barre->value(), 25);
        // A second click cannot start a second run.
        f.Button1Click();
        QVERIFY(DeposerFichier(&f, "/tmp/autre.txt") == false);
        QCOMPARE(f.StatusBar1->Texte(), QString("Chiffrement en cours…"));

        plateforme.Ouverte = true;
        QTRY_VERIFY(!f.EnCours());
        QVERIFY(erreurs.Textes.empty());
        for (QWidget* w : Saisie(f)) QVERIFY(w->isEnabled());
        QVERIFY(barre->isHidden());
        QVERIFY(kTermine.match(f.StatusBar1->Texte()).hasMatch());
        QCOMPARE(f.JvFilenameEdit1->NomFichier(), dir / "retenu.bin");
    }

    void FermerPendantUnChiffrementLArrete() {
        TRepertoireTemporaire dir;
        EcrireFichier(dir / "retenu.bin", OctetsAleatoires(4 * 65536));
        TPlateformeRetenue plateforme("retenu");
        TEnregistreurErreurs erreurs;
        {
            TForm1 f;
            f.show();
            plateforme.Arret = &f.Travailleur().DrapeauArret();
            f.JvFilenameEdit1->DefinirNomFichier(dir / "retenu.bin");
            f.Button1Click();
            QTRY_COMPARE(f.StatusBar1->BarreProgression()->value(), 25);
            QVERIFY(f.close());
            QVERIFY(!f.EnCours());
            QVERIFY(!f.isVisible());
            QTest::qWait(20);
        }
        QVERIFY(erreurs.Textes.empty());
        // All or nothing: the folder is as it was, no temporary file left.
        QCOMPARE(Contenu(dir.Chemin), std::set<std::string>{"retenu.bin"});
    }

    void LesFichiersDeposes() {
        TRepertoireTemporaire dir;
        TEnregistreurErreurs erreurs;
        TForm1 f;
        f.show();
        QVERIFY(DeposerFichier(&f, QString::fromStdString(dir / "mes notes.txt")));
        QCOMPARE(f.JvFilenameEdit1->NomFichier(), dir / "mes notes.txt");
        QCOMPARE(f.JvFilenameEdit2->NomFichier(), dir / "mes notes.KOZ");
        // A grid on the grid field fills it; anything else there is a source.
        QVERIFY(DeposerFichier(f.JvFilenameEdit3, QString::fromStdString(dir / "DEBUT.KGR")));
        QCOMPARE(f.JvFilenameEdit3->NomFichier(), dir / "DEBUT.KGR");
        QVERIFY(DeposerFichier(f.JvFilenameEdit3, QString::fromStdString(dir / "b.bin")));
        QCOMPARE(f.JvFilenameEdit3->NomFichier(), dir / "DEBUT.KGR");
        QCOMPARE(f.JvFilenameEdit1->NomFichier(), dir / "b.bin");
        QVERIFY(DeposerFichier(f.JvFilenameEdit2, QString::fromStdString(dir / "c.txt")));
        QCOMPARE(f.JvFilenameEdit1->NomFichier(), dir / "c.txt");
        // An invalid name goes to the display, as typed ones do.
        QVERIFY(DeposerFichier(&f, QString::fromStdString(dir / "a[1].txt")));
        QCOMPARE(erreurs.Textes.size(), size_t(1));
        QCOMPARE(erreurs.Textes[0], QString::fromStdString("Nom de fichier incorrect - " + (dir / "a[1].txt") + "."));
        QCOMPARE(f.JvFilenameEdit1->NomFichier(), dir / "c.txt");
    }

    void LesFichiersNommesAuDemarrage() {
        TRepertoireTemporaire dir;
        TEnregistreurErreurs erreurs;
        TForm1 f;
        // What the desktop passes for "open with": a grid goes to the grid field,
        // anything else is the file to encrypt, with its destination proposed.
        f.OuvrirFichier(dir / "FIN-CHIFFRE.KGR");
        QCOMPARE(f.JvFilenameEdit3->NomFichier(), dir / "FIN-CHIFFRE.KGR");
        QCOMPARE(f.JvFilenameEdit1->NomFichier(), std::string());
        f.OuvrirFichier(dir / "rapport final.odt");
        QCOMPARE(f.JvFilenameEdit1->NomFichier(), dir / "rapport final.odt");
        QCOMPARE(f.JvFilenameEdit2->NomFichier(), dir / "rapport final.KOZ");
        // An invalid name is shown, not thrown out of the start-up.
        f.OuvrirFichier(dir / "a|b");
        QCOMPARE(erreurs.Textes.size(), size_t(1));
        QCOMPARE(f.JvFilenameEdit1->NomFichier(), dir / "rapport final.odt");
    }
};

KOZ_TEST_QT(TestFenetreChiffre)
#include "TestFenetreChiffre.moc"
