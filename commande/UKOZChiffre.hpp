#pragma once
// The encrypt command, as one operation that knows nothing of the window: the
// window, the command line and the tests all call it.

#include <string>
#include <vector>

#include "cipher/KOZSuivi.hpp"
#include "platform/KOZErreur.hpp"

// What one run encrypts. Several sources make one chain: each continues
// from the state where the one before it ended, and one starting trio is the
// key of them all.
struct TChiffrement {
    // Files to encrypt; "-" is standard input (read once, as a stream).
    std::vector<std::string> Sources;
    // The encrypted file, with one source only; empty: NomChiffrePropose of
    // the source; "-": standard output.
    std::string Destination;
    // A ".KGR" whose trio is the starting state; empty: a fresh state, saved as "DEBUT".
    std::string Grille;
    bool Securise = false;
    // Whether an existing encrypted file may be replaced.
    bool Ecraser = false;
    // Where the trios and the journal go; empty: the directory of the first
    // source (the current directory for a stream).
    std::string Etat;
};

struct TRapportChiffrement {
    std::string Statut;                 // "Terminé en %dms"
    std::vector<std::string> Avis;      // what the user should know: older trios kept, journal not written
    std::vector<std::string> Fichiers;  // one line per file written
};

// Raised before anything is written when an encrypted file exists and
// Ecraser is false; the caller may ask the user and run again.
class EKOZFichierExistant : public EKOZException {
public:
    EKOZFichierExistant(const std::string& message, std::string nom)
        : EKOZException(message), Nom(std::move(nom)) {}
    std::string Nom;  // the full path
};

// Runs c all or nothing. Every check that can fail comes first; then the
// trios and the encrypted files are written under temporary names and only
// moved into place once every source is encrypted (TTransaction): a run that
// fails or is stopped changes no final name. A fresh "DEBUT" never destroys
// an older one, which is kept as "DEBUT-N"; so is a "FIN-CHIFFRE" that was
// this run's starting state. One run at a time per state directory: a
// second one fails at once. Each encrypted file gets a journal record.
TRapportChiffrement Chiffrer(const TChiffrement& c, const TSuivi* suivi = nullptr);

// One source to one destination: Chiffrer without replacing an existing
// encrypted file. Returns "Terminé en %dms".
std::string LancerChiffrement(const std::string& Source, const std::string& Destination, const std::string& Grille,
                              bool Securise, const TSuivi* suivi = nullptr);
