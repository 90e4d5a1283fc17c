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

namespace {
TAfficheur& AfficheurAvis() {
    static TAfficheur a;
    return a;
}
TQuestionneur& Questionneur() {
    static TQuestionneur q;
    return q;
}
}  // namespace

TAfficheur DefinirAfficheurAvis(TAfficheur a) {
    TAfficheur ancien = std::move(AfficheurAvis());
    AfficheurAvis() = std::move(a);
    return ancien;
}

void AfficherAvis(const std::string& texte) {
    const QString t = QString::fromStdString(texte);
    const QString titre = QCoreApplication::applicationName();
    if (AfficheurAvis()) {
        AfficheurAvis()(titre, t);
        return;
    }
    QMessageBox boite(QMessageBox::Information, titre, t, QMessageBox::Ok, QApplication::activeWindow());
    boite.exec();
}

TQuestionneur DefinirQuestionneur(TQuestionneur q) {
    TQuestionneur ancien = std::move(Questionneur());
    Questionneur() = std::move(q);
    return ancien;
}

bool Demander(const std::string& question) {
    const QString q = QString::fromStdString(question);
    const QString titre = QCoreApplication::applicationName();
    if (Questionneur()) return Questionneur()(titre, q);
    QMessageBox boite(QMessageBox::Question, titre, q, QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
    boite.setDefaultButton(QMessageBox::No);
    boite.setEscapeButton(QMessageBox::No);
    return boite.exec() == QMessageBox::Yes;
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
