#pragma once
// The encrypt command, as one operation that knows nothing of the window: the
// window, the command line and the tests all call it.

#include <string>

#include "cipher/KOZSuivi.hpp"

// Encrypts Source into Destination. With an empty Grille a fresh state is
// saved as the trio "DEBUT" beside the source first; otherwise the trio of
// Grille is loaded. The state reached is saved as "FIN-CHIFFRE" beside the
// source. Returns "Terminé en %dms"; every failure is an EKOZException.
//
// Before anything is written, the source must open, the destination must be
// a name that can be created and not the source, and neither may be a state
// file this run writes (nor, for the destination, one of the loaded trio): a
// run that cannot start leaves an earlier "DEBUT" intact.
std::string LancerChiffrement(const std::string& Source, const std::string& Destination, const std::string& Grille,
                              bool Securise, const TSuivi* suivi = nullptr);
