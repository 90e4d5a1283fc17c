#pragma once
// Reading and writing one table of the cipher state as one headerless file.

#include <cstddef>
#include <cstdint>
#include <string>

// Reads the first taille bytes of nom into table. Raises the open or read
// message, or "Le fichier d'état \"%s\" est trop court : %d octets au lieu de %d"
// when the file holds fewer bytes: a half-read table could never be saved again.
// Nothing of table changes unless all taille bytes were read.
void LireTableEtat(const std::string& nom, uint8_t* table, size_t taille);

// Creates or empties nom (owner-only permissions), writes the table, closes.
// Raises the create or write message.
void EcrireTableEtat(const std::string& nom, const uint8_t* table, size_t taille);
