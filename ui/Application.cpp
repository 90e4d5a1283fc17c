#include "commande/TextesApplication.hpp"
#include "ui/Application.hpp"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "commande/NomFichier.hpp"

bool InstallerTraductions(QCoreApplication& application) {
    const QLocale francais(QLocale::French, QLocale::France);
    QLocale::setDefault(francais);
    auto* traduction = new QTranslator(&application);
    if (traduction->load(francais, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        application.installTranslator(traduction);
        return true;
    }
    delete traduction;
    return false;
}

void PreparerApplication(QApplication& application) {
    QCoreApplication::setApplicationName(
        QString::fromStdString(TitreApplication(QCoreApplication::applicationFilePath().toStdString())));
    InstallerTraductions(application);
}
