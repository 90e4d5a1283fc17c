#pragma once
// KOZTools: what every part of the cipher shares. The one generator
// `GlobalRand`, the draw `RandomBelow` through which every random choice goes
// (with its test seam), and the block type `TBlocChiffre`. The exception
// class `EKOZException` is the platform layer's, included here for the cipher.

#include <cstdint>
#include <vector>

#include "platform/KOZErreur.hpp"
#include "random/IARand.hpp"

// The 2, 3 or 4 cipher bytes of one plain byte; each encoder sets the length.
using TBlocChiffre = std::vector<uint8_t>;

// The shared generator; null before InitialiserKOZTools and after FinaliserKOZTools.
extern TIARand* GlobalRand;

// Start-up of the unit: creates GlobalRand (which seeds once), then reseeds it.
void InitialiserKOZTools();
// Shutdown of the unit: destroys GlobalRand, whose destructor wipes it.
void FinaliserKOZTools();

// Test seam: a replacement source of generator words. While one is installed,
// RandomBelow takes its words from it instead of GlobalRand.
class TSourceMots {
public:
    virtual ~TSourceMots() = default;
    virtual uint32_t Mot() = 0;
};
// Installs s (null restores GlobalRand); returns the previous one.
TSourceMots* DefinirSourceMots(TSourceMots* s);

namespace koz_detail {
extern TSourceMots* SourceMots;
}

// The next word of the shared sequence: from the installed test source, or
// from GlobalRand. Every draw of the program takes exactly one.
inline uint32_t MotPartage() {
    return koz_detail::SourceMots ? koz_detail::SourceMots->Mot() : GlobalRand->Next();
}

// A value in 0..n-1 from one generator word: the unsigned remainder of the
// word by n, n clamped to 256. REQUIRES: n >= 1. Inline so that callers with a
// constant n get a multiplication instead of a division.
inline uint8_t RandomBelow(uint16_t n) {
    if (n > 256) n = 256;
    return uint8_t(MotPartage() % n);
}
