#pragma once
// The verify command: loads a state trio, checking its grid, and says so.

#include <string>

// Loads the trio of grille (path part + base name) as an encryption would.
// Returns "Trio valide : « …KGR », « …KEC » et « …KPR »" with the full paths;
// every failure is the loader's EKOZException.
std::string VerifierTrio(const std::string& grille);
