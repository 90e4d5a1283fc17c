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
//
// An empty output name stands for NomDechiffrePropose of its input. Before
// anything is written: every input must open; no output may be an input of
// the chain, a file of the trios involved, another output, a directory, or a
// name in a missing directory; an existing output needs Ecraser ("Le fichier
// déchiffré "%s" existe déjà"); SauverFin may not name the starting trio nor
// an input. Then the trio of Grille (and of Fin) is loaded and the files are
// decrypted in order.
// A failure on the way keeps the outputs already finished; the failing one
// holds the bytes recovered before the failure, and the message names it.
// When Fin differs from the state reached the run fails with "L'état atteint
// ne correspond pas à l'état "%s" : ...", before SauverFin is written.
// The progress is one count over all the inputs of the chain.
std::string LancerDechiffrement(const TDechiffrement& d, const TSuivi* suivi = nullptr);
