#pragma once
// Grids built for tests.

#include "state/KOZGrille.hpp"

// The grid whose cell i holds the value i.
inline TKOZGrille::TCases GrilleIdentite() {
    TKOZGrille::TCases c;
    for (int i = 0; i < 256; ++i) c[i] = uint8_t(i);
    return c;
}

// Copies the whole state of a into b.
inline void CopierEtat(const TKOZGrille& a, TKOZGrille& b) {
    b.DefinirCases(a.Cases());
    b.Echange->Table = a.Echange->Table;
    b.Permutations->Table = a.Permutations->Table;
    b.ModeSecurise = a.ModeSecurise;
}
