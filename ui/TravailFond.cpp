#include "ui/TravailFond.hpp"

#include <mutex>

#include "random/KOZTools.hpp"

namespace {
// One run at a time in the whole process: they all draw from GlobalRand.
std::mutex VerrouGenerateur;
}  // namespace

TTravailFond::~TTravailFond() { Arreter(); }

bool TTravailFond::Lancer(TTache tache) {
    if (EnCours()) return false;
    Arret = false;
    Abandon = false;
    DernierPourcent = -1;
    const unsigned numero = ++Numero;
    Travailleur = std::thread([this, numero, tache = std::move(tache)] {
        TSuivi suivi;
        suivi.Arret = &Arret;
        suivi.Progression = [this](uint64_t fait, uint64_t total) {
            const int p = total ? int(fait * 100 / total) : 0;
            if (DernierPourcent.exchange(p) != p)
                QMetaObject::invokeMethod(this, [this, p] { emit Progression(p); }, Qt::QueuedConnection);
        };
        suivi.Fichier = [this](int numero, int nombre) {
            QMetaObject::invokeMethod(
                this, [this, numero, nombre] { emit FichierCommence(numero, nombre); }, Qt::QueuedConnection);
        };
        bool reussi = false;
        std::string texte;
        try {
            std::lock_guard<std::mutex> verrou(VerrouGenerateur);
            texte = tache(suivi);
            reussi = true;
        } catch (const EKOZInterruption&) {
            texte.clear();
        } catch (const std::exception& e) {
            texte = e.what();
        } catch (...) {
            texte = "Erreur inconnue";
        }
        const QString q = QString::fromStdString(texte);
        QMetaObject::invokeMethod(
            this, [this, numero, reussi, q] { Fin(numero, reussi, q); }, Qt::QueuedConnection);
    });
    return true;
}

void TTravailFond::Arreter() {
    if (!Travailleur.joinable()) return;
    Abandon = true;
    Arret = true;
    Travailleur.join();
}

void TTravailFond::Fin(unsigned numero, bool reussi, const QString& texte) {
    if (numero != Numero || Abandon) return;
    if (Travailleur.joinable()) Travailleur.join();
    emit Termine(reussi, texte);
}
