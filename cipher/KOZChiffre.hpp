#pragma once
// TKOZChiffre: the cipher object. A grid that encrypts each plain byte into a
// block of 2 to 4 cells of its row or column, by one of five encoders drawn at
// random, then evolves; and that encrypts a stream and a file, buffered.
//
// The encrypted file is the blocks one after another, nothing else.

#include <array>
#include <cstdint>
#include <string>

#include "cipher/KOZSuivi.hpp"
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

private:
    // The cell at offset d along v's row (s = 1) or column (s = 0).
    uint8_t Le(uint8_t ligne, uint8_t colonne, uint8_t s, uint8_t d) const {
        return Case(uint8_t((ligne + (1 - s) * d) & 15), uint8_t((colonne + s * d) & 15));
    }

    // The work of each encoder for the plain byte held by cell p: its draws,
    // then its block written to sortie (room for 4 bytes). Returns the block
    // length. The TBlocChiffre encoders above and the stream loop both run
    // these, so they give the same bytes from the same draws.
    size_t EcrireCroix(uint8_t p, uint8_t* sortie) const;
    size_t EcrireCroixDouble(uint8_t p, uint8_t* sortie) const;
    size_t EcrireVoisins(uint8_t p, uint8_t* sortie) const;
    size_t EcrireVoisinsDoubles(uint8_t p, uint8_t* sortie) const;
    size_t EcrireSuite(uint8_t p, uint8_t* sortie) const;
    using TEcriture = size_t (TKOZChiffre::*)(uint8_t p, uint8_t* sortie) const;
    // An encoder on a TBlocChiffre: v is found before the first draw, and the
    // block changes only once the whole of it is known, so a failure leaves it as it was.
    void Coder(TEcriture ecrire, uint8_t v, TBlocChiffre& bloc) {
        uint8_t octets[4];
        const size_t n = (this->*ecrire)(Position(v), octets);
        bloc.assign(octets, octets + n);
    }

    // ChiffrerOctet for the stream loop: the same draws and bytes, but the
    // block goes straight to sortie, the slot is reached by a switch the
    // compiler can inline, and the cell of v is found once for the encoder
    // and the evolution (encoders do not change the grid); the evolution is
    // the compiled one when prepare is true. Returns the length.
    size_t ChiffrerVers(uint8_t v, uint8_t* sortie, bool prepare);
};

// Buffer sizes of the file loops: large enough that system calls do not count.
inline constexpr size_t kTailleTamponClair = 64 * 1024;
