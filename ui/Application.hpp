#pragma once
// What both programs do once their QApplication exists and before their
// window is created, and their whole main().

#include <QApplication>
#include <QStringList>

#include "random/KOZTools.hpp"

// Names the application after the program file ("Zymkozchiffre"), the title
// of the exception display, and installs the toolkit's French translations.
void PreparerApplication(QApplication& application);

// The windows speak only French, so the toolkit's own texts (file dialogs,
// standard buttons, dates and sizes) are French too, whatever the user's
// locale: French becomes the default locale and the toolkit's French
// translation (qtbase_fr, package qt6-translations-l10n) is installed. False
// when that translation is missing.
bool InstallerTraductions(QCoreApplication& application);

// A program's main(): the shared generator is created and seeded before the
// application and its window TFenetre exist, and destroyed after the window is gone.
template <class TFenetre>
int ExecuterProgramme(int argc, char** argv) {
    InitialiserKOZTools();
    {
        QApplication application(argc, argv);
        PreparerApplication(application);
        {
            TFenetre fenetre;
            const QStringList arguments = application.arguments();
            for (qsizetype i = 1; i < arguments.size(); ++i) fenetre.OuvrirFichier(arguments[i].toStdString());
            fenetre.show();
            application.exec();
        }
    }
    FinaliserKOZTools();
    return 0;
}
