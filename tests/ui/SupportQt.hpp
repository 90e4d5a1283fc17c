#pragma once
// Helpers of the window tests: a registry of Qt Test classes run by one main,
// a recorder in place of the message box, a scripted browse dialog, and a
// platform that holds a source's reading back until the test lets it go.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTest>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Plateforme.hpp"
#include "tests/support/PlateformeDeleguee.hpp"
#include "ui/AffichageErreur.hpp"
#include "ui/ChampNomFichier.hpp"

// Test classes register themselves; the main runs one by name, or all.
using TFabriqueTest = std::function<std::unique_ptr<QObject>()>;
std::vector<std::pair<std::string, TFabriqueTest>>& TestsQt();
struct TInscriptionTest {
    TInscriptionTest(const char* nom, TFabriqueTest f) { TestsQt().emplace_back(nom, std::move(f)); }
};
#define KOZ_TEST_QT(Classe) \
    static TInscriptionTest inscription##Classe(#Classe, [] { return std::make_unique<Classe>(); });

// Records what the exception display would show, for its lifetime.
struct TEnregistreurErreurs {
    TEnregistreurErreurs() {
        Precedent = DefinirAfficheur([this](const QString& titre, const QString& texte) {
            Titres.push_back(titre);
            Textes.push_back(texte);
        });
    }
    ~TEnregistreurErreurs() { DefinirAfficheur(std::move(Precedent)); }
    std::vector<QString> Titres;
    std::vector<QString> Textes;
    TAfficheur Precedent;
};

// Records the notices shown after a run, and answers the yes/no questions.
struct TEnregistreurAvis {
    explicit TEnregistreurAvis(bool reponse = false) : Reponse(reponse) {
        PrecedentAvis = DefinirAfficheurAvis([this](const QString&, const QString& texte) { Avis.push_back(texte); });
        PrecedentQuestion = DefinirQuestionneur([this](const QString&, const QString& question) {
            Questions.push_back(question);
            return Reponse;
        });
    }
    ~TEnregistreurAvis() {
        DefinirAfficheurAvis(std::move(PrecedentAvis));
        DefinirQuestionneur(std::move(PrecedentQuestion));
    }
    bool Reponse;
    std::vector<QString> Avis, Questions;
    TAfficheur PrecedentAvis;
    TQuestionneur PrecedentQuestion;
};

// Answers browse dialogs from a script and records what they were opened with.
struct TDialogueScripte {
    TDialogueScripte() {
        Precedent = TChampNomFichier::DefinirDialogue([this](QWidget*, const TChampNomFichier::TParcours& p) {
            Demandes.push_back(p);
            std::optional<QString> r;
            if (!Reponses.empty()) {
                r = Reponses.front();
                Reponses.pop_front();
            }
            return r;
        });
    }
    ~TDialogueScripte() { TChampNomFichier::DefinirDialogue(std::move(Precedent)); }
    std::deque<std::optional<QString>> Reponses;  // nothing = cancelled
    std::vector<TChampNomFichier::TParcours> Demandes;
    TChampNomFichier::TDialogue Precedent;
};

// The POSIX platform, except that a file whose name contains Marque gives its
// first buffer, then makes every further read wait until Ouverte turns true
// or the run's stop flag is raised. Installed for its lifetime.
class TPlateformeRetenue : public TPlateformeDeleguee {
public:
    explicit TPlateformeRetenue(std::string marque) : Marque(std::move(marque)) {}

    std::atomic<bool> Ouverte{false};
    const std::atomic<bool>* Arret = nullptr;

    std::unique_ptr<TFluxLecture> OuvrirLecture(const std::string& nom) override {
        auto flux = Base.OuvrirLecture(nom);
        if (nom.find(Marque) == std::string::npos) return flux;
        return std::make_unique<TLectureRetenue>(std::move(flux), *this);
    }
    std::unique_ptr<TFluxEcriture> Creer(const std::string& nom, TGenreFichier genre, const TFluxLecture* interdit,
                                         const std::string& raison) override {
        if (auto* r = dynamic_cast<const TLectureRetenue*>(interdit)) interdit = r->Interne.get();
        return Base.Creer(nom, genre, interdit, raison);
    }

private:
    class TLectureRetenue : public TFluxLecture {
    public:
        TLectureRetenue(std::unique_ptr<TFluxLecture> interne, TPlateformeRetenue& p)
            : Interne(std::move(interne)), P(p) {}
        size_t Lire(uint8_t* tampon, size_t n) override {
            if (Lectures++ > 0)
                while (!P.Ouverte && !(P.Arret && *P.Arret)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return Interne->Lire(tampon, n);
        }
        uint64_t Taille() const override { return Interne->Taille(); }
        std::optional<TIdentiteFichier> Identite() const override { return Interne->Identite(); }
        std::unique_ptr<TFluxLecture> Interne;

    private:
        TPlateformeRetenue& P;
        int Lectures = 0;
    };

    std::string Marque;
};

// Sends a drag of the local file nom over cible, then drops it there.
// Returns whether the drop was taken by some widget.
bool DeposerFichier(QWidget* cible, const QString& nom);
// The same with several files at once.
bool DeposerFichiers(QWidget* cible, const QStringList& noms);
