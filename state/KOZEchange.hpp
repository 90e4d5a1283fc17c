#pragma once
// TKOZEchange: for each plain byte v, the cell the evolution exchanges with
// the cell holding v. Generated as a shuffled permutation; a loaded table is
// taken as it is, since the evolution only ever exchanges cells.

#include <array>
#include <cstdint>
#include <string>

class TKOZEchange {
public:
    // Identity fill, then shuffle: 256 exchanges, at least 512 draws.
    TKOZEchange();

    void Initialiser();
    void Melanger();
    uint8_t Valeur(uint8_t v) const { return Table[v]; }

    // The ".KEC" file of the trio dir + nom.
    void Sauver(const std::string& dir, const std::string& nom) const;
    void Charger(const std::string& dir, const std::string& nom);

    std::array<uint8_t, 256> Table;
};
