// The file-name field and the exception display, as widgets.
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>

#include "tests/support/Fichiers.hpp"
#include "tests/ui/SupportQt.hpp"
#include "ui/ChampNomFichier.hpp"

class TestChamp : public QObject {
    Q_OBJECT
private slots:
    void LeGetterRendLeNomEntierTapeSansGuillemets() {
        TChampNomFichier champ;
        QTest::keyClicks(&champ, "/tmp/mes documents/lettre.KOZ");
        QCOMPARE(champ.NomFichier(), std::string("/tmp/mes documents/lettre.KOZ"));
        champ.setText("  \"/tmp/mes documents/lettre.KOZ\"  ");
        QCOMPARE(champ.NomFichier(), std::string("/tmp/mes documents/lettre.KOZ"));
        champ.setText(" \t ");
        QCOMPARE(champ.NomFichier(), std::string());
    }

    void LeSetterMetEntreGuillemetsEtLeGetterLesOte() {
        TChampNomFichier champ;
        QSignalSpy changes(&champ, &QLineEdit::textChanged);
        champ.DefinirNomFichier("/tmp/mes documents/a.txt");
        QCOMPARE(champ.text(), QString("\"/tmp/mes documents/a.txt\""));
        QCOMPARE(champ.NomFichier(), std::string("/tmp/mes documents/a.txt"));
        champ.DefinirNomFichier("/tmp/a.txt");
        QCOMPARE(champ.text(), QString("/tmp/a.txt"));
        champ.DefinirNomFichier("");
        QCOMPARE(champ.text(), QString());
        QCOMPARE(changes.count(), 3);
    }

    void LeSetterRefuseUnNomIncorrectSansToucherAuTexte() {
        TChampNomFichier champ;
        champ.DefinirNomFichier("/tmp/bon.txt");
        QSignalSpy changes(&champ, &QLineEdit::textChanged);
        for (const char* nom : {"/tmp/a<b", "/tmp/a>b", "/tmp/a\"b", "/tmp/a[b", "/tmp/a]b", "/tmp/a|b", "  "}) {
            try {
                champ.DefinirNomFichier(nom);
                QFAIL(nom);
            } catch (const std::exception& e) {
                QCOMPARE(QString::fromUtf8(e.what()), QString("Nom de fichier incorrect - ") + nom);
            }
        }
        QCOMPARE(champ.text(), QString("/tmp/bon.txt"));
        QCOMPARE(changes.count(), 0);
    }

    void LeParcoursOuvreLeDialogueAvecLesReglesDuChamp() {
        TRepertoireTemporaire dir;
        TDialogueScripte dialogue;
        TChampNomFichier champ;
        champ.Filtre = "Fichier KOZ (*.KOZ)|*.KOZ|Tous les fichiers (*.*)|*.*";
        champ.RepertoireInitial = "/usr";

        // Empty text: not a valid name, so the directory stays and no name is proposed.
        dialogue.Reponses.push_back(std::nullopt);
        champ.BoutonParcourir()->click();
        QCOMPARE(dialogue.Demandes.size(), size_t(1));
        QCOMPARE(dialogue.Demandes[0].Filtres, QString("Fichier KOZ (*.KOZ) (*.KOZ);;Tous les fichiers (*.*) (*)"));
        QCOMPARE(dialogue.Demandes[0].Repertoire, QString("/usr"));
        QCOMPARE(dialogue.Demandes[0].Nom, QString());
        QCOMPARE(champ.text(), QString());

        // A name in an existing directory: that directory and that name;
        // confirmed with blanks, the choice is quoted.
        champ.setText(QString::fromStdString(dir / "a.txt"));
        const QString choisi = QString::fromStdString(dir / "mes notes/b.KOZ");
        dialogue.Reponses.push_back(choisi);
        QSignalSpy changes(&champ, &QLineEdit::textChanged);
        QTest::keyClick(&champ, Qt::Key_Down, Qt::AltModifier);
        QCOMPARE(dialogue.Demandes.size(), size_t(2));
        QCOMPARE(dialogue.Demandes[1].Repertoire, QString::fromStdString(dir.Dir()));
        QCOMPARE(dialogue.Demandes[1].Nom, QString::fromStdString(dir / "a.txt"));
        QCOMPARE(champ.text(), "\"" + choisi + "\"");
        QCOMPARE(champ.NomFichier(), choisi.toStdString());
        QCOMPARE(changes.count(), 1);
        QCOMPARE(champ.RepertoireInitial, dir / "mes notes/");

        // An invalid name: the dialog keeps what it held after its last use.
        champ.setText("a<b");
        dialogue.Reponses.push_back(std::nullopt);
        champ.Parcourir();
        QCOMPARE(dialogue.Demandes[2].Repertoire, QString::fromStdString(dir / "mes notes/"));
        QCOMPARE(dialogue.Demandes[2].Nom, QString::fromStdString(dir / "a.txt"));
        QCOMPARE(champ.text(), QString("a<b"));
    }

    void LeChampReprendLeFocusApresLeDialogue() {
        TDialogueScripte dialogue;
        QWidget fenetre;
        auto* autre = new QLineEdit(&fenetre);
        auto* champ = new TChampNomFichier(&fenetre);
        fenetre.show();
        QVERIFY(QTest::qWaitForWindowActive(&fenetre));
        autre->setFocus();
        QTRY_VERIFY(autre->hasFocus());
        champ->BoutonParcourir()->click();
        QTRY_VERIFY(champ->hasFocus());
        QCOMPARE(champ->BoutonParcourir()->focusPolicy(), Qt::NoFocus);
    }

    // The toolkit's dialog itself, driven from a timer so nothing blocks:
    // what it shows is read first, then it is always closed.
    void LeDialogueEstUnDialogueOuvrirQuiAccepteUnNouveauNom() {
        TRepertoireTemporaire dir;
        EcrireFichier(dir / "LISEZMOI", "x");
        TChampNomFichier champ;
        champ.Filtre = "Tous les fichiers (*.*)|*.*";
        champ.RepertoireInitial = dir.Dir();
        bool vu = false, ecrasementMuet = false;
        QFileDialog::AcceptMode mode{};
        QFileDialog::FileMode genre{};
        QString repertoire, type;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!d) return;
            vu = true;
            mode = d->acceptMode();
            genre = d->fileMode();
            ecrasementMuet = d->testOption(QFileDialog::DontConfirmOverwrite);
            repertoire = d->directory().absolutePath() + "/";
            if (auto* types = d->findChild<QComboBox*>("fileTypeCombo")) type = types->currentText();
            d->selectFile("nouveau fichier.KOZ");
            static_cast<QDialog*>(d)->accept();
        });
        champ.Parcourir();
        QVERIFY(vu);
        QCOMPARE(mode, QFileDialog::AcceptOpen);
        QCOMPARE(genre, QFileDialog::AnyFile);
        QVERIFY(ecrasementMuet);
        QCOMPARE(repertoire, QString::fromStdString(dir.Dir()));
        QCOMPARE(type, QString("Tous les fichiers (*.*)"));
        QCOMPARE(champ.NomFichier(), dir / "nouveau fichier.KOZ");
        QCOMPARE(champ.text(), QString::fromStdString("\"" + (dir / "nouveau fichier.KOZ") + "\""));
    }

    void LaGrilleNePrendQueLesFichiersDeSonExtension() {
        TRepertoireTemporaire dir;
        QWidget fenetre;
        auto* champ = new TChampNomFichier(&fenetre);
        champ->ExtensionDepot = ".KGR";
        fenetre.show();
        QVERIFY(DeposerFichier(champ, QString::fromStdString(dir / "DEBUT.KGR")));
        QCOMPARE(champ->NomFichier(), dir / "DEBUT.KGR");
        QVERIFY(!DeposerFichier(champ, QString::fromStdString(dir / "notes.txt")));
        QCOMPARE(champ->NomFichier(), dir / "DEBUT.KGR");
    }

    // The "." rule itself is pinned in NomFichierTest; here, its wiring.
    void LAffichageAjouteLePointEtPorteLeTitre() {
        TEnregistreurErreurs erreurs;
        AfficherErreur("Nom de fichier incorrect - /tmp/a[b.KOZ");
        AfficherErreur("(voir)");
        Proteger([] { throw std::runtime_error("échec"); });
        const std::vector<QString> attendus{"Nom de fichier incorrect - /tmp/a[b.KOZ.", "(voir)", "échec."};
        QCOMPARE(erreurs.Textes, attendus);
        for (const QString& t : erreurs.Titres) QCOMPARE(t, QString("Zymkozchiffre"));
    }

    void LaBoiteDErreurEstCritiqueAvecUnSeulBoutonOK() {
        bool vu = false;
        QMessageBox::Icon icone{};
        QString titre, texte;
        QMessageBox::StandardButtons boutons{};
        qsizetype nombre = 0;
        QTimer::singleShot(0, [&] {
            auto* boite = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!boite) return;
            vu = true;
            icone = boite->icon();
            titre = boite->windowTitle();
            texte = boite->text();
            boutons = boite->standardButtons();
            nombre = boite->buttons().size();
            boite->button(QMessageBox::Ok)->click();
        });
        AfficherErreur("La grille n'est plus valide");
        QVERIFY(vu);
        QCOMPARE(icone, QMessageBox::Critical);
        QCOMPARE(titre, QString("Zymkozchiffre"));
        QCOMPARE(texte, QString("La grille n'est plus valide."));
        QCOMPARE(boutons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(nombre, qsizetype(1));
    }
};

KOZ_TEST_QT(TestChamp)
#include "TestChamp.moc"
