// Entry of the window tests: the shared generator exists before the
// application and outlives it, as in the programs. With a class name as first
// argument only that class runs; the other arguments go to Qt Test.

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <cstring>

#include "random/KOZTools.hpp"
#include "tests/ui/SupportQt.hpp"

std::vector<std::pair<std::string, TFabriqueTest>>& TestsQt() {
    static std::vector<std::pair<std::string, TFabriqueTest>> tests;
    return tests;
}

bool DeposerFichier(QWidget* cible, const QString& nom) { return DeposerFichiers(cible, {nom}); }

bool DeposerFichiers(QWidget* cible, const QStringList& noms) {
    QMimeData donnees;
    QList<QUrl> urls;
    for (const QString& nom : noms) urls.push_back(QUrl::fromLocalFile(nom));
    donnees.setUrls(urls);
    const QPoint point = cible->rect().center();
    QDragEnterEvent entree(point, Qt::CopyAction, &donnees, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(cible, &entree);
    if (!entree.isAccepted()) return false;
    QDropEvent depot(QPointF(point), Qt::CopyAction, &donnees, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(cible, &depot);
    return depot.isAccepted();
}

int main(int argc, char** argv) {
    InitialiserKOZTools();
    int echecs = 0;
    {
        QApplication application(argc, argv);
        QCoreApplication::setApplicationName("Zymkozchiffre");
        // No test may be stopped by a modal box it did not expect: notices
        // are dropped and questions answered No unless a test records them.
        DefinirAfficheurAvis([](const QString&, const QString&) {});
        DefinirQuestionneur([](const QString&, const QString&) { return false; });
        std::string choix;
        std::vector<char*> args{argv[0]};
        for (int i = 1; i < argc; ++i) {
            if (i == 1 && argv[i][0] != '-')
                choix = argv[i];
            else
                args.push_back(argv[i]);
        }
        bool trouve = false;
        for (auto& [nom, fabrique] : TestsQt()) {
            if (!choix.empty() && nom != choix) continue;
            trouve = true;
            auto test = fabrique();
            echecs += QTest::qExec(test.get(), int(args.size()), args.data());
        }
        if (!trouve) {
            std::fprintf(stderr, "classe de test inconnue : %s\n", choix.c_str());
            echecs = 1;
        }
    }
    FinaliserKOZTools();
    return echecs ? 1 : 0;
}
