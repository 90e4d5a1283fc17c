#include "commande/TextesApplication.hpp"
#include "ui/Application.hpp"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "commande/NomFichier.hpp"

#include <cstring>

namespace {
// The few texts of the file dialogs that the toolkit's French catalogue of
// this Qt version lacks: the kinds shown in the dialog's "Type" column.
class TTextesManquants : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char* contexte, const char* source, const char* = nullptr, int = -1) const override {
        if (!contexte || !source || std::strcmp(contexte, "QAbstractFileIconProvider") != 0) return {};
        static const char* const kTextes[][2] = {
            {"Folder", "Dossier"}, {"Drive", "Lecteur"}, {"Shortcut", "Raccourci"},
            {"Alias", "Alias"},    {"Unknown", "Inconnu"},
        };
        for (const auto& t : kTextes)
            if (std::strcmp(source, t[0]) == 0) return QString::fromUtf8(t[1]);
        return {};
    }
};
}  // namespace

bool InstallerTraductions(QCoreApplication& application) {
    const QLocale francais(QLocale::French, QLocale::France);
    QLocale::setDefault(francais);
    auto* traduction = new QTranslator(&application);
    if (traduction->load(francais, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        application.installTranslator(traduction);
        application.installTranslator(new TTextesManquants(&application));
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
