#include "commande/TextesApplication.hpp"
#include "ui/AffichageErreur.hpp"

#include <QApplication>
#include <QMessageBox>

#include "commande/NomFichier.hpp"

namespace {
TAfficheur& Afficheur() {
    static TAfficheur a;
    return a;
}

void BoiteErreur(const QString& titre, const QString& texte) {
    QMessageBox boite(QMessageBox::Critical, titre, texte, QMessageBox::Ok, QApplication::activeWindow());
    boite.exec();
}
}  // namespace

TAfficheur DefinirAfficheur(TAfficheur a) {
    TAfficheur ancien = std::move(Afficheur());
    Afficheur() = std::move(a);
    return ancien;
}

void AfficherErreur(const std::string& message) {
    const QString texte = QString::fromStdString(TexteAffiche(message));
    const QString titre = QCoreApplication::applicationName();
    if (Afficheur())
        Afficheur()(titre, texte);
    else
        BoiteErreur(titre, texte);
}

void Proteger(const std::function<void()>& corps) {
    try {
        corps();
    } catch (const std::exception& e) {
        AfficherErreur(e.what());
    } catch (...) {
        AfficherErreur("Erreur inconnue");
    }
}
