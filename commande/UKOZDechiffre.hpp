#pragma once
// The decrypt command, as one operation that knows nothing of the window:
// the decryption window, the command line and the tests all call it.

#include <string>
#include <utility>
#include <vector>

#include "cipher/KOZSuivi.hpp"

struct TDechiffrement {
    // (encrypted file, output file) pairs. The journal's records put them in
    // their chain's order when it knows them all; otherwise they are read in
    // the order given, each starting from the state where the one before it ended.
    std::vector<std::pair<std::string, std::string>> Fichiers;
    // The ".KGR" of the first file's starting trio. May be empty when the
    // journal beside the encrypted file finds the key; when given, the
    // journal still checks that it is the key.
    std::string Grille;
    // When not empty: a ".KGR" whose trio the state reached must equal.
    std::string Fin;
    // When not empty: the state reached is saved as the trio of this name
    // (path part + base name, as for Grille: "x/ETAT" and "x/ETAT.KGR" both
    // give x/ETAT.KGR, .KEC, .KPR); an existing trio there is kept as ETAT-N.
    std::string SauverFin;
    // Whether an existing output file may be replaced.
    bool Ecraser = false;
    // Another directory whose journal is searched (besides the encrypted file's own and the grid's).
    std::string Etat;
    // Decrypt what nothing can verify (no record, no Fin), with a warning.
    bool SansVerification = false;
    // On failure, keep the bytes read before it as output + ".partiel".
    bool GarderPartiel = false;
};

struct TRapportDechiffrement {
    std::string Statut;                 // "Terminé en %dms"
    std::vector<std::string> Avis;      // the key used, the chain's order, unverified outputs
    std::vector<std::string> Fichiers;  // one line per file: what it became
};

// Decrypts every file of d and keeps an output only when it is proven right:
// the state reached equals the one the journal recorded for that file (or,
// for a chain without records, the Fin trio). Each output is written to a
// temporary file beside its final name and moved into place once verified;
// a failure keeps nothing of the failing file (unless GarderPartiel) and
// says why: the file is truncated, damaged at byte N, not the recorded one,
// or the grid is not its key (and which one is, when the journal knows).
// Files that nothing can verify are refused unless SansVerification.
// Everything that can be checked is checked before anything is written.
TRapportDechiffrement Dechiffrer(const TDechiffrement& d, const TSuivi* suivi = nullptr);

// Dechiffrer, giving the status text only.
std::string LancerDechiffrement(const TDechiffrement& d, const TSuivi* suivi = nullptr);

// Checks an encrypted file against its journal record without writing
// anything: finds its key, reads it through, compares the state reached.
// Returns "Le fichier chiffré "…" est intact (clé « … », N octets en clair)";
// raises the decryption's messages otherwise.
std::string VerifierChiffre(const std::string& chiffre, const std::string& etat = {}, const TSuivi* suivi = nullptr);
