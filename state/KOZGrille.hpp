#pragma once
// TKOZGrille: the 16 x 16 square holding each byte value once (cell index =
// row * 16 + column), with the exchange and permutation tables that steer how
// it evolves after every plain byte, and the trio of files that hold all three.
//
// Position answers as the linear search does (the lowest cell holding the
// value), in one of two ways while the cells are a permutation:
//   - an inverse table (value -> cell) kept in step with every exchange: one
//     lookup, for two more stores per exchange. The default; decryption,
//     which looks up three values per byte, keeps it except in its vector
//     loop, which searches the cells held in registers;
//   - a search of the cells sixteen at a time, with no upkeep at all.
//     Encryption, which looks up one value per byte, is faster this way.
// A grid that is not a permutation is searched cell by cell.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "state/KOZEchange.hpp"
#include "state/KOZPermutations.hpp"

struct TCoordonnees {
    uint8_t Ligne;
    uint8_t Colonne;
    // As one 16-bit value: the row in the low byte, the column in the high byte.
    uint16_t Valeur() const { return uint16_t(Ligne + 256 * Colonne); }
};

class TKOZGrille {
public:
    using TCases = std::array<uint8_t, 256>;

    // Secure mode off, a fresh shuffled grid, then a fresh exchange table,
    // then a fresh permutation table, drawing in that order.
    TKOZGrille();
    virtual ~TKOZGrille();

    TKOZGrille(const TKOZGrille&) = delete;
    TKOZGrille& operator=(const TKOZGrille&) = delete;

    // Identity fill, then 256 exchanges of two distinct cells.
    void Generer();
    void Echanger(uint8_t a, uint8_t b) {
        const uint8_t va = Cases_[a];
        const uint8_t vb = Cases_[b];
        Cases_[a] = vb;
        Cases_[b] = va;
        if (Indexee_) {
            Inverse_[va] = b;
            Inverse_[vb] = a;
        }
    }
    // The lowest cell holding v; raises "La valeur cherchée n'est pas dans la grille".
    uint8_t Position(uint8_t v) const {
        if (Indexee_) return Inverse_[v];
        if (Permutation_) return PositionUnique(v);
        return PositionLineaire(v);
    }
    // Position by plain search of the cells, whatever the inverse table says.
    uint8_t PositionLineaire(uint8_t v) const;
    TCoordonnees Coordonnees(uint8_t v) const {
        const uint8_t p = Position(v);
        return {uint8_t(p >> 4), uint8_t(p & 15)};
    }
    // REQUIRES: ligne and colonne in 0..15.
    uint8_t Case(uint8_t ligne, uint8_t colonne) const { return Cases_[ligne * 16 + colonne]; }
    // Raises "La grille n'est plus valide\r\n\r\nManquent = ..\r\nDoublons = .."
    // when the cells are not a permutation of 0..255.
    void Verifier() const;

    // The cell at position i of a segment: base + stride * i modulo 256, with
    // stride 1 along a row (Sens 0), 16 along a column (Sens 1), 0 otherwise.
    static uint8_t Adresse(uint8_t i, TSegment segment) {
        return uint8_t(BaseSegment(segment) + PasSegment(segment) * i);
    }
    // Exchanges the cells of entry v's two segments pairwise, in order.
    void Permuter(uint8_t v);
    // After plain byte v: its cell exchanged with Echange's cell for v, then
    // Permuter(v), then Verifier in secure mode.
    void Evoluer(uint8_t v) { EvoluerDepuis(v, Position(v)); }

    // The trio dir + nom + ".KGR" / ".KEC" / ".KPR", plain concatenation.
    void Sauver(const std::string& dir, const std::string& nom) const;
    // Reads ".KGR", verifies it, then ".KEC", then ".KPR"; stops at the first failure.
    void Charger(const std::string& dir, const std::string& nom);

    const TCases& Cases() const { return Cases_; }
    void DefinirCases(const TCases& cases);
    void DefinirCase(uint8_t i, uint8_t v);

    bool ModeSecurise;
    std::unique_ptr<TKOZEchange> Echange;
    std::unique_ptr<TKOZPermutations> Permutations;

protected:
    // Evoluer(v) for a caller that has just found p = Position(v) itself.
    void EvoluerDepuis(uint8_t v, uint8_t p);
    // Whether every value is in exactly one cell. Exchanges keep it so, and
    // keep a grid that is not so from becoming so: only DefinirCases,
    // DefinirCase and Charger change it.
    bool EstPermutation() const { return Permutation_; }
    // Whether the inverse table is kept (it is, unless a derived class says
    // otherwise); the answers of Position are the same either way.
    void TenirInverse(bool oui) {
        TenirInverse_ = oui;
        Reindexer();
    }

    // The evolution of a whole stream at once where the processor has AVX-512
    // byte permutes. Whatever the grid holds, the exchanges of entry v always
    // move the same cells to the same places, so each entry becomes one
    // permutation of the 256 cell indices, compiled here; the evolution then
    // moves all 256 cells in a few instructions, with no loop to mispredict.
    // Returns false, compiling nothing, where the processor lacks them (or
    // while the test seam below forbids them). The tables must not change
    // until the stream is done.
    bool PreparerEvolution();
    // EvoluerDepuis(v, p) through the compiled permutations: the same cells,
    // inverse table and check. REQUIRES: PreparerEvolution returned true.
    void EvoluerPrepare(uint8_t v, uint8_t p);

    // For a derived loop that evolves the cells itself through the compiled
    // permutations, as EvoluerPrepare would: the cells, written in place, and
    // the rows Vers[v] and Depuis[v] of entry v at 256 * v from the start of
    // each table. REQUIRES: PreparerEvolution returned true, the inverse
    // table is not kept (TenirInverse(false)) and secure mode is off, so the
    // cells alone are the state, and what is written keeps them a permutation.
    uint8_t* CasesEnPlace() { return Cases_.data(); }
    const uint8_t* VersCompiles() const { return &Compilees_->Vers[0][0]; }
    const uint8_t* DepuisCompiles() const { return &Compilees_->Depuis[0][0]; }

public:
    // Whether PreparerEvolution will compile (the processor has the
    // instructions and the seam below allows them).
    static bool EvolutionVectorielle();
    // Test seam: false makes PreparerEvolution refuse, so that the loop
    // evolution is exercised on any processor. Returns the previous setting.
    static bool AutoriserEvolutionVectorielle(bool oui);

private:
    static uint8_t BaseSegment(TSegment s) {
        const uint8_t ligne = uint8_t(s.Rang * 16 + s.Debut);
        const uint8_t colonne = uint8_t(s.Debut * 16 + s.Rang);
        return uint8_t((s.Sens == 0) * ligne + (s.Sens == 1) * colonne);
    }
    static uint8_t PasSegment(TSegment s) { return uint8_t((s.Sens == 0) * 1 + (s.Sens == 1) * 16); }
    // Finds whether the cells are a permutation, and rebuilds the inverse table.
    void Reindexer();
    // The one cell holding v. REQUIRES: the cells are a permutation.
    uint8_t PositionUnique(uint8_t v) const {
#if defined(__SSE2__)
        // One bit per cell holding v, 64 cells to a mask; exactly one bit is
        // set among the four masks, so the quarter is found without a branch.
        const __m128i cherche = _mm_set1_epi8(char(v));
        uint64_t masques[4];
        for (int quart = 0; quart < 4; ++quart) {
            uint64_t m = 0;
            for (int j = 0; j < 4; ++j) {
                const auto* seize = reinterpret_cast<const __m128i*>(Cases_.data() + 64 * quart + 16 * j);
                const uint32_t egaux = uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(seize), cherche)));
                m |= uint64_t(egaux) << (16 * j);
            }
            masques[quart] = m;
        }
        const int quart = (masques[1] != 0) + 2 * (masques[2] != 0) + 3 * (masques[3] != 0);
        return uint8_t(64 * quart + __builtin_ctzll(masques[0] | masques[1] | masques[2] | masques[3]));
#else
        return PositionLineaire(v);
#endif
    }

    // Entry v as a permutation of the cells: after Permuter(v), cell c holds
    // what cell Vers[v][c] held; Depuis[v] is its inverse.
    struct TPermutationsCompilees {
        alignas(64) uint8_t Vers[256][256];
        alignas(64) uint8_t Depuis[256][256];
    };
    std::unique_ptr<TPermutationsCompilees> Compilees_;

    alignas(64) TCases Cases_;
    alignas(64) std::array<uint8_t, 256> Inverse_;
    bool Permutation_ = false;  // every value in exactly one cell; exchanges keep it
    bool TenirInverse_ = true;
    bool Indexee_ = false;  // Permutation_ && TenirInverse_: Inverse_ is right
};
