#include "commande/TextesApplication.hpp"
#include "ui/Application.hpp"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "commande/NomFichier.hpp"

void PreparerApplication(QApplication& application) {
    QCoreApplication::setApplicationName(
        QString::fromStdString(TitreApplication(QCoreApplication::applicationFilePath().toStdString())));
    auto* traduction = new QTranslator(&application);
    if (traduction->load(QLocale(), "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        application.installTranslator(traduction);
    else
        delete traduction;
}
