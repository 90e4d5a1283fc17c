#pragma once
// TKOZChiffre: the cipher object. A grid that encrypts each plain byte into a
// block of 2 to 4 cells of its row or column, by one of five encoders drawn at
// random, then evolves; and that encrypts a stream and a file, buffered.
//
// A stream is encrypted on two threads where two processors are there: one
// makes the draws (TTireur), the caller's works the grid and the files. The
// draws do not depend on the grid, and the draw thread is asked for one read
// buffer at a time, so the bytes, the draws, the state reached and what a
// failure leaves are those of the one-thread loop.
//
// The encrypted file is the blocks one after another, nothing else.

#include <array>
#include <cstdint>
#include <string>

#include "cipher/KOZSuivi.hpp"
#include "cipher/KOZTirages.hpp"
#include "platform/Plateforme.hpp"
#include "random/KOZTools.hpp"
#include "state/KOZGrille.hpp"

class TKOZChiffre : public TKOZGrille {
public:
    using TCodage = void (TKOZChiffre::*)(uint8_t v, TBlocChiffre& bloc);

    // The grid's fresh state (its draws come first), then the encoder table.
    TKOZChiffre();
    ~TKOZChiffre() override;

    // The five encoders; each finds v before drawing, and fills the whole block.
    void CodageCroix(uint8_t v, TBlocChiffre& bloc);           // 2 bytes
    void CodageCroixDouble(uint8_t v, TBlocChiffre& bloc);     // 4 bytes
    void CodageVoisins(uint8_t v, TBlocChiffre& bloc);         // 2 bytes
    void CodageVoisinsDoubles(uint8_t v, TBlocChiffre& bloc);  // 4 bytes
    void CodageSuite(uint8_t v, TBlocChiffre& bloc);           // 3 bytes

    // Draws the encoder (RandomBelow(5)), encodes v into bloc, evolves.
    void ChiffrerOctet(uint8_t v, TBlocChiffre& bloc) {
        const uint8_t i = RandomBelow(5);
        (this->*Codages[i])(v, bloc);
        Evoluer(v);
    }

    // Encrypts Source to its end into Destination. When a failure stops the
    // loop, the blocks of every earlier byte are written before it goes on.
    void ChiffrerFlux(TFluxLecture& Source, TFluxEcriture& Destination, const TSuivi* suivi = nullptr);

    // Opens Source, creates Destination (refusing the source itself), encrypts.
    void ChiffrerFichier(const std::string& Source, const std::string& Destination, const TSuivi* suivi = nullptr);

    // Slots 0..4: Croix, CroixDouble, Voisins, VoisinsDoubles, Suite.
    const std::array<TCodage, 5> Codages;

    // Test seam: how many threads ChiffrerFlux uses. 0: two where two
    // processors are available (FilsDeChiffrement), else one; 1: one; 2: two
    // for every buffer, however short. Returns the previous setting.
    static unsigned ImposerFils(unsigned n);

private:
    // An encoder on a TBlocChiffre: v is found before the first draw, and the
    // block changes only once the whole of it is known, so a failure leaves it as it was.
    template <class FTirer>
    void Coder(const FTirer& tirer, uint8_t v, TBlocChiffre& bloc);

    // The block of the byte in cell p, from its draws t, to sortie: four
    // bytes written, the first t.Longueur of them count. Returns the length.
    size_t Ecrire(uint8_t p, const TTirage& t, uint8_t* sortie) const {
        const uint8_t* const cases = Cases().data();
        for (int k = 0; k < 4; ++k) sortie[k] = cases[Decaler(p, t.Decalages[k])];
        return t.Longueur;
    }
    // The byte v whose draws t were made ahead: its block to sortie (room
    // for 4 bytes), then the evolution, the fast form when rapide is true,
    // else the reference one. REQUIRES: the cells are a permutation, so that
    // nothing can fail after the draws. Returns the length.
    size_t Appliquer(uint8_t v, const TTirage& t, uint8_t* sortie, bool rapide) {
        const uint8_t p = Position(v);
        const size_t n = Ecrire(p, t, sortie);
        EvoluerSelon(v, p, rapide);
        return n;
    }
    void EvoluerSelon(uint8_t v, uint8_t p, bool rapide) {
        if (rapide)
            EvoluerRapide(v, p);
        else
            TKOZGrille::Evoluer(v);
    }
    // ChiffrerOctet for the one-thread stream loop: the same draws in the same
    // order (the slot, then v is found, then the encoder's own draws, so a
    // value missing from the grid fails after one draw as there), the block
    // straight to sortie, the cell of v found once for the encoder and the
    // evolution. Returns the length.
    size_t ChiffrerVers(uint8_t v, uint8_t* sortie, bool rapide);
    // Whether the fast form finds cells faster with the inverse table kept.
    static bool InverseUtile();
};

// Buffer sizes of the file loops: large enough that system calls do not count.
inline constexpr size_t kTailleTamponClair = 64 * 1024;
