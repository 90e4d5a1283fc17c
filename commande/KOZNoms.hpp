#pragma once
// The names the commands derive from the names they are given: base names of
// trios, the state directory of a source, and the output names proposed.

#include <string>

// The name part of nom without its extension: "/a/essai.ancien.KGR" gives "essai.ancien".
std::string NomDeBase(const std::string& nom);

// The directory the state trios of Source go to: that of its absolute path, with its final "/".
std::string RepertoireEtat(const std::string& Source);

// nom without the "/" at its end ("/" stays).
std::string SansBarreFinale(std::string nom);

// The destination proposed for a source name: the extension cut off, then
// ".KOZ"; for an existing folder its whole name, then ".KOZ".
std::string NomChiffrePropose(const std::string& Source);

// The output name proposed for an encrypted file: its name without its
// extension; a name with no extension to cut ("essai", "/a/.KOZ") gets
// ".dechiffre" appended instead, so the proposal is never the input itself.
std::string NomDechiffrePropose(const std::string& chiffre);
