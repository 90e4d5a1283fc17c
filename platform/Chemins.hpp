#pragma once
// Path vocabulary. "/" is the only delimiter: ":" is an ordinary character in
// a Linux file name.

#include <string>

// Everything up to and including the last "/"; empty when there is none.
std::string PartieChemin(const std::string& nom);
// Everything after the last "/" (the whole name when there is none).
std::string PartieNom(const std::string& nom);
// From the last "." of the name part to the end, "." included; else empty.
std::string Extension(const std::string& nom);
// An absolute path without ".", ".." or repeated "/", worked out from the
// text alone (links are not followed); with a final "/" when barreFinale, or
// when nothing is left ("/").
std::string NormaliserChemin(const std::string& chemin, bool barreFinale);
