#pragma once
// TKOZGrille: the 16 x 16 square holding each byte value once (cell index =
// row * 16 + column), with the exchange and permutation tables that steer how
// it evolves after every plain byte, and the trio of files that hold all three.
//
// Three forms of the evolution and of finding a cell, all giving the same
// cells, the same answers and the same failures:
//   - the reference: Evoluer, Permuter and Echanger, the plain loop of one
//     exchange after another, and a plain search of the cells. Secure mode and
//     the byte-at-a-time operations use it; it is what the fast forms are
//     tested against.
//   - the portable fast form, which every machine can run: an inverse table
//     (value -> cell) kept in step with every exchange, and the segment
//     exchanges read from a table compiled once per stream.
//   - the AVX-512 form, where the processor has the byte permutes: each
//     entry compiled into one permutation of the 256 cells, applied in a few
//     instructions; cells found by comparing all 256 at once.
// The fast form is chosen once per process from the processor's features
// (FormeRapide).

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

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
        if (Permutation_ && FormeRapide() == TFormeRapide::Avx512) return PositionVectorielle(v);
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
    // Exchanges the cells of entry v's two segments pairwise, in order, one
    // Echanger after another (the reference form).
    void Permuter(uint8_t v);
    // After plain byte v: its cell exchanged with Echange's cell for v, then
    // Permuter(v), then Verifier in secure mode (the reference form).
    void Evoluer(uint8_t v);

    // The fast forms. Avx512 only where the processor has AVX-512 F, BW and
    // VBMI (and the system saves those registers), and the environment does
    // not hold KOZ_SANS_AVX512; Portable everywhere else. Decided at first use.
    enum class TFormeRapide : uint8_t { Portable, Avx512 };
    static TFormeRapide FormeRapide() {
        return FormeImposee_ >= 0 ? TFormeRapide(FormeImposee_) : FormeDuProcesseur();
    }
    static TFormeRapide FormeDuProcesseur();
    // Whether the fast form is the AVX-512 one.
    static bool EvolutionVectorielle() { return FormeRapide() == TFormeRapide::Avx512; }
    // Test seam: false imposes the portable form on any processor; true
    // gives the processor's choice back. Returns the previous setting.
    static bool AutoriserEvolutionVectorielle(bool oui);

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

    // Compiles the permutation table for the fast forms. Whatever the grid
    // holds, the exchanges of entry v always move the same cells to the same
    // places: each entry becomes its segments' first cells and steps (the
    // portable form), and one permutation of the 256 cell indices, Vers, with
    // its inverse Depuis. The tables must not change until the stream is done.
    void PreparerEvolution();
    // Evoluer(v) for a caller that has just found p = Position(v), in the
    // fast form: the same cells, inverse table and check.
    // REQUIRES: PreparerEvolution since the tables last changed.
    void EvoluerRapide(uint8_t v, uint8_t p);

    // For a derived loop that evolves the cells itself, as EvoluerRapide
    // would: the cells and the inverse table, written in place (the inverse
    // table is right only while Position answers from it), and the compiled
    // rows Vers[v] and Depuis[v] of entry v at 256 * v from the start of each
    // table. REQUIRES: PreparerEvolution; secure mode off, so that no check
    // is skipped; what is written keeps the cells a permutation.
    uint8_t* CasesEnPlace() { return Cases_.data(); }
    uint8_t* InverseEnPlace() { return Inverse_.data(); }
    bool InverseTenu() const { return Indexee_; }
    const uint8_t* VersCompiles() const { return &Compilees_->Vers[0][0]; }
    const uint8_t* DepuisCompiles() const { return &Compilees_->Depuis[0][0]; }

public:
    // Entry v's segments as the exchange loop walks them: cell a starts at
    // Base1 and moves by Pas1 (modulo 256), cell b likewise, Longueur steps.
    // Up to kPaires steps (every generated entry) they are also written out
    // as the pairs A[i], B[i], the steps past Longueur each exchanging a cell
    // of its own with itself (cell 17 * i): a fixed count of exchanges, with
    // no loop exit to mispredict, and no chain of loads and stores through
    // one cell from one idle step to the next.
    static constexpr int kPaires = 16;
    struct TSegmentsCompiles {
        uint8_t A[kPaires], B[kPaires];
        uint8_t Base1, Pas1, Base2, Pas2, Longueur;
    };
    // The exchanges of one evolution on cells and inverse table held by the
    // caller: cells p and e, then the segments of s. The portable fast form.
    static void EchangerSegments(uint8_t* cases, uint8_t* inverse, uint8_t p, uint8_t e,
                                 const TSegmentsCompiles& s) {
        auto echanger = [cases, inverse](uint8_t a, uint8_t b) {
            const uint8_t va = cases[a], vb = cases[b];
            cases[a] = vb;
            cases[b] = va;
            inverse[vb] = a;
            inverse[va] = b;
        };
        echanger(p, e);
        if (s.Longueur <= kPaires) [[likely]] {
            if constexpr (std::endian::native == std::endian::little) {
                // The pairs read eight at a time: the loop is bound by its
                // loads and stores, and this saves 28 of them.
                for (int k = 0; k < kPaires; k += 8) {
                    uint64_t a, b;
                    std::memcpy(&a, s.A + k, 8);
                    std::memcpy(&b, s.B + k, 8);
                    for (int i = 0; i < 8; ++i, a >>= 8, b >>= 8) echanger(uint8_t(a), uint8_t(b));
                }
            } else {
                for (int i = 0; i < kPaires; ++i) echanger(s.A[i], s.B[i]);
            }
            return;
        }
        uint8_t a = s.Base1, b = s.Base2;
        for (int i = 0; i < s.Longueur; ++i) {
            echanger(a, b);
            a = uint8_t(a + s.Pas1);
            b = uint8_t(b + s.Pas2);
        }
    }
    const TSegmentsCompiles* SegmentsCompiles() const { return Compilees_->Segments; }

private:
    static uint8_t BaseSegment(TSegment s) {
        const uint8_t ligne = uint8_t(s.Rang * 16 + s.Debut);
        const uint8_t colonne = uint8_t(s.Debut * 16 + s.Rang);
        return uint8_t((s.Sens == 0) * ligne + (s.Sens == 1) * colonne);
    }
    static uint8_t PasSegment(TSegment s) { return uint8_t((s.Sens == 0) * 1 + (s.Sens == 1) * 16); }
    // Finds whether the cells are a permutation, and rebuilds the inverse table.
    void Reindexer();
    // The one cell holding v, all cells compared at once.
    // REQUIRES: the cells are a permutation and the AVX-512 form is chosen.
    uint8_t PositionVectorielle(uint8_t v) const;

    // Entry v as a permutation of the cells: after Permuter(v), cell c holds
    // what cell Vers[v][c] held; Depuis[v] is its inverse.
    struct TPermutationsCompilees {
        alignas(64) uint8_t Vers[256][256];
        alignas(64) uint8_t Depuis[256][256];
        TSegmentsCompiles Segments[256];
    };
    std::unique_ptr<TPermutationsCompilees> Compilees_;

    alignas(64) TCases Cases_;
    alignas(64) std::array<uint8_t, 256> Inverse_;
    bool Permutation_ = false;  // every value in exactly one cell; exchanges keep it
    bool TenirInverse_ = true;
    bool Indexee_ = false;  // Permutation_ && TenirInverse_: Inverse_ is right

    static inline int FormeImposee_ = -1;  // the test seam: -1, or a TFormeRapide
};
