// Folders and several files through the windows: a folder dropped is
// encrypted as one archive and restored by the decryption window; several
// files dropped at once are one chain under one key, the status bar saying
// which file of how many.

#include <QPushButton>
#include <QStringList>
#include <filesystem>

#include "tests/support/Fichiers.hpp"
#include "tests/ui/SupportQt.hpp"
#include "ui/ChampNomFichier.hpp"
#include "ui/Controles.hpp"
#include "ui/TravailFond.hpp"
#include "ui/UFormChiffre.hpp"
#include "ui/UFormDechiffre.hpp"


class TestDossiers : public QObject {
    Q_OBJECT
private slots:
    void UnDossierDeposeEstChiffrePuisRestaure() {
        TRepertoireTemporaire dir;
        std::filesystem::create_directories(dir / "album/vide");
        EcrireFichier(dir / "album/photo.bin", OctetsAleatoires(300000, 8));
        EcrireFichier(dir / "album/note avec blanc.txt", "une note");
        std::filesystem::create_symlink("photo.bin", dir / "album/lien");
        TEnregistreurErreurs erreurs;
        {
            TForm1 f;
            f.show();
            QVERIFY(DeposerFichier(&f, QString::fromStdString(dir / "album")));
            QCOMPARE(f.JvFilenameEdit2->NomFichier(), dir / "album.KOZ");
            f.Button1Click();
            QTRY_VERIFY(!f.EnCours());
            QVERIFY2(erreurs.Textes.empty(), qPrintable(erreurs.Textes.empty() ? QString() : erreurs.Textes[0]));
        }
        std::filesystem::rename(dir / "album", dir / "album.orig");
        TFormDechiffre d;
        d.show();
        QVERIFY(DeposerFichier(&d, QString::fromStdString(dir / "album.KOZ")));
        d.Button1Click();
        QTRY_VERIFY(!d.EnCours());
        QVERIFY2(erreurs.Textes.empty(), qPrintable(erreurs.Textes.empty() ? QString() : erreurs.Textes[0]));
        QVERIFY(std::filesystem::is_directory(dir / "album/vide"));
        QCOMPARE(LireFichier(dir / "album/photo.bin"), LireFichier(dir / "album.orig/photo.bin"));
        QCOMPARE(LireFichier(dir / "album/note avec blanc.txt"), std::string("une note"));
        QCOMPARE(std::filesystem::read_symlink(dir / "album/lien").string(), std::string("photo.bin"));
    }

    // The source field browses for a folder with Alt+Shift+Down (Shift with the
    // button); Alt+Down stays the file dialog; the decryption window's fields take no folder.
    void UnDossierSeChoisitAussiParLeDialogue() {
        TRepertoireTemporaire dir;
        std::filesystem::create_directories(dir / "album");
        TDialogueScripte dialogue;
        dialogue.Reponses.push_back(QString::fromStdString(dir / "album"));
        TForm1 f;
        f.show();
        f.JvFilenameEdit1->setFocus();
        QTest::keyClick(f.JvFilenameEdit1, Qt::Key_Down, Qt::AltModifier | Qt::ShiftModifier);
        QCOMPARE(dialogue.Demandes.size(), size_t(1));
        QVERIFY(dialogue.Demandes[0].Dossier);
        QCOMPARE(f.JvFilenameEdit1->NomFichier(), dir / "album");
        QCOMPARE(f.JvFilenameEdit2->NomFichier(), dir / "album.KOZ");
        QTest::keyClick(f.JvFilenameEdit1, Qt::Key_Down, Qt::AltModifier);
        QCOMPARE(dialogue.Demandes.size(), size_t(2));
        QVERIFY(!dialogue.Demandes[1].Dossier);

        TFormDechiffre d;
        d.show();
        QTest::keyClick(d.JvFilenameEdit1, Qt::Key_Down, Qt::AltModifier | Qt::ShiftModifier);
        QCOMPARE(dialogue.Demandes.size(), size_t(2));
    }

    void PlusieursFichiersDeposesFontUneChaine() {
        TRepertoireTemporaire dir;
        std::vector<std::string> noms;
        for (int i = 1; i <= 3; ++i) {
            noms.push_back(dir / ("f" + std::to_string(i) + ".txt"));
            EcrireFichier(noms.back(), OctetsAleatoires(70000 * i, uint32_t(i)));
        }
        TEnregistreurErreurs erreurs;
        TForm1 f;
        f.show();
        std::vector<std::pair<int, int>> annonces;
        connect(&f.Travailleur(), &TTravailFond::FichierCommence, this,
                [&](int numero, int nombre) { annonces.push_back({numero, nombre}); });
        QStringList liste;
        for (const auto& n : noms) liste.push_back(QString::fromStdString(n));
        QVERIFY(DeposerFichiers(&f, liste));
        QCOMPARE(f.StatusBar1->Texte(), QString("3 fichiers à chiffrer en une chaîne, sous une seule clé"));
        f.Button1Click();
        QTRY_VERIFY(!f.EnCours());
        QVERIFY2(erreurs.Textes.empty(), qPrintable(erreurs.Textes.empty() ? QString() : erreurs.Textes[0]));
        QCOMPARE(annonces, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
        for (int i = 1; i <= 3; ++i) QVERIFY(std::filesystem::exists(dir / ("f" + std::to_string(i) + ".KOZ")));
        // One key: DEBUT, and the decryption window reads each file back from the journal.
        QVERIFY(!std::filesystem::exists(dir / "DEBUT-1.KGR"));
        for (int i = 1; i <= 3; ++i) {
            TFormDechiffre d;
            d.JvFilenameEdit1->DefinirNomFichier(dir / ("f" + std::to_string(i) + ".KOZ"));
            d.JvFilenameEdit2->DefinirNomFichier(dir / ("f" + std::to_string(i) + ".relu"));
            d.Button1Click();
            QTRY_VERIFY(!d.EnCours());
            QVERIFY(LireFichier(dir / ("f" + std::to_string(i) + ".relu")) == LireFichier(noms[size_t(i - 1)]));
        }
        QVERIFY(erreurs.Textes.empty());
    }
};

KOZ_TEST_QT(TestDossiers)
#include "TestDossiers.moc"
