#pragma once
// Runs one encryption or decryption at a time on a worker thread, so that the
// window keeps repainting and can be moved. Progress and the end arrive on
// the window's thread as queued signals. Every run in the process takes one
// lock, so the shared generator is only ever used by one thread at a time.

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "cipher/KOZSuivi.hpp"

class TTravailFond : public QObject {
    Q_OBJECT
public:
    // The work: returns the status text, or raises. It must watch suivi's stop flag.
    using TTache = std::function<std::string(const TSuivi& suivi)>;

    explicit TTravailFond(QObject* parent = nullptr) : QObject(parent) {}
    // Stops and waits for a run still going.
    ~TTravailFond() override;

    // Starts tache; false (and nothing started) while a run is going.
    bool Lancer(TTache tache);
    bool EnCours() const { return Travailleur.joinable(); }

    // Asks the run to stop before its next byte and waits for it to end. The
    // run's end is then not signalled: the caller is leaving.
    void Arreter();
    // Asks the run to stop before its next byte without waiting: its end is
    // signalled as an interruption (reussi false, empty text).
    void Interrompre() {
        if (EnCours()) Arret = true;
    }

    // The stop flag the run watches (tests read it).
    const std::atomic<bool>& DrapeauArret() const { return Arret; }

signals:
    // Percentage of the source done, each time it changes.
    void Progression(int pourcent);
    // In a run over several files: file numero (from 1) of nombre begins.
    void FichierCommence(int numero, int nombre);
    // The run is over: reussi with the status text, or not with the failure's
    // message; an interrupted run ends with reussi false and an empty text.
    // A run stopped by Arreter signals nothing.
    void Termine(bool reussi, const QString& texte);

private:
    void Fin(unsigned numero, bool reussi, const QString& texte);

    std::thread Travailleur;
    std::atomic<bool> Arret{false};
    std::atomic<int> DernierPourcent{-1};
    bool Abandon = false;
    unsigned Numero = 0;  // of the current run, so a late end of an abandoned one is dropped
};
