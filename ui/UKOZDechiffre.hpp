#pragma once
// The decrypt command, as one operation that knows nothing of the window:
// the decryption window, the command line and the tests all call it.

#include <string>
#include <utility>
#include <vector>

#include "cipher/KOZSuivi.hpp"

struct TDechiffrement {
    // (encrypted file, output file) pairs in chain order: the state reached at
    // the end of one file is the starting state of the next.
    std::vector<std::pair<std::string, std::string>> Fichiers;
    // The ".KGR" of the starting trio (required); its ".KEC" and ".KPR" lie beside it.
    std::string Grille;
    // When not empty: a ".KGR" whose trio the state reached must equal.
    std::string Fin;
    // When not empty: the state reached is saved as the trio of this name
    // (path part + base name, as for Grille: "x/ETAT" and "x/ETAT.KGR" both give x/ETAT.KGR, .KEC, .KPR).
    std::string SauverFin;
    // Whether an existing output file may be overwritten.
    bool Ecraser = false;
};

// Decrypts every file of d in order. Returns "Terminé en %dms"; every failure
// is an EKOZException.
std::string LancerDechiffrement(const TDechiffrement& d, const TSuivi* suivi = nullptr);

// The output name proposed for an encrypted file: its name without its extension.
std::string NomDechiffrePropose(const std::string& chiffre);
