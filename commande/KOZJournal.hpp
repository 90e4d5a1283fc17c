#pragma once
// The journal of encryptions: one text file per state directory,
// "KOZ-JOURNAL.txt", to which every successful encryption adds one record.
// It holds no key material, only fingerprints: enough to find which trio is
// the key of an encrypted file, and to prove that a decryption gave back
// exactly what was encrypted.
//
// Format: the first line is "KOZ-JOURNAL 1" (the version); then one record
// per line, eight fields separated by tabs:
//   date (UTC, 2026-12-08T14:03:00Z)   SHA-256 of the encrypted file
//   size of the encrypted file          size of the plain data
//   SHA-256 of the starting state       base name of the starting trio
//   SHA-256 of the state reached        name of the encrypted file
// A state's SHA-256 is that of its 2,304 bytes (.KGR, .KEC, .KPR in that
// order). The starting trio's name is empty when the file continues a chain
// from the state where the file before it ended. The encrypted file's name is
// relative to the journal's directory when it lies inside it; bytes below
// 0x20, "%" and 0x7F are written as %XX. Lines that do not read as a record
// are skipped, so a damaged or foreign line never stops anything.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr const char* kNomJournal = "KOZ-JOURNAL.txt";
inline constexpr const char* kEnteteJournal = "KOZ-JOURNAL 1";

struct TEnregistrement {
    std::string Date;
    std::string EmpreinteChiffre;
    uint64_t TailleChiffre = 0;
    uint64_t TailleClair = 0;
    std::string EmpreinteDepart;
    std::string TrioDepart;
    std::string EmpreinteFin;
    std::string Nom;
    bool operator==(const TEnregistrement&) const = default;
};

std::string LigneJournal(const TEnregistrement& e);
std::optional<TEnregistrement> LireLigneJournal(const std::string& ligne);

// The records of the journal of dir (ending with "/"), in file order. A
// missing, unreadable or foreign journal gives none; only its first 64 MiB
// are read. Never raises.
std::vector<TEnregistrement> LireJournal(const std::string& dir);

// Adds the records to the journal of dir, all or nothing: the journal is
// rewritten to a temporary file with the new lines after the old bytes, then
// renamed over the old one. Raises the platform's messages on failure.
void AjouterAuJournal(const std::string& dir, const std::vector<TEnregistrement>& nouveaux);

// "2026-12-08T14:03:00Z" for seconds since 1970 UTC.
std::string DateIso(int64_t secondes);

// The name a record keeps for the file chiffre (made absolute): relative
// to dir when it lies inside it.
std::string NomDansJournal(const std::string& dir, const std::string& chiffre);
// The path a record's name stands for.
std::string CheminDuJournal(const std::string& dir, const std::string& nom);
