#pragma once
// TKOZPermutations: for each plain byte v, two segments of equal length along
// rows or columns of the grid, whose cells the evolution exchanges pairwise.
// The table is the ".KPR" file byte for byte: 256 records of 7 bytes.

#include <array>
#include <cstdint>
#include <string>

struct TSegment {
    uint8_t Sens;   // 0: along row Rang, left to right; 1: along column Rang, downward
    uint8_t Rang;   // the row (Sens 0) or column (Sens 1)
    uint8_t Debut;  // the first column (Sens 0) or row (Sens 1)
};

struct TPermutation {
    TSegment Segment1;
    TSegment Segment2;
    uint8_t Longueur;  // cells in each segment; 4..16 when generated
};

static_assert(sizeof(TSegment) == 3 && sizeof(TPermutation) == 7, "the .KPR record layout");

class TKOZPermutations {
public:
    // Generates the table: 7 draws per entry, 1,792 in all.
    TKOZPermutations();

    void Generer();
    TPermutation Lire(uint8_t v) const { return Table[v]; }

    void Sauver(const std::string& dir, const std::string& nom) const;
    void Charger(const std::string& dir, const std::string& nom);

    std::array<TPermutation, 256> Table;
};
