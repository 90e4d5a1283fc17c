#pragma once
// TKOZDechiffre: reads an encrypted file back. A grid that starts from the
// state the encryption started from; each block is recognised from the grid
// positions of its bytes, gives back its plain byte, and the grid then evolves
// with that byte exactly as it did during the encryption.
//
// How a block is recognised (p0, p1, ... the cells of its bytes in the
// current grid; offsets along a row or column are taken modulo 16):
//   - p0 and p1 share neither row nor column: only CodageCroix makes that.
//     The plain byte lies at (row of p0, column of p1); p0 must be 1..14
//     columns right of it and p1 1..14 rows below it. 2 bytes.
//   - p0 and p1 on one line, p1 two steps from p0 (either way): CodageVoisins,
//     the plain byte is the cell between them. 2 bytes.
//   - p1 one step after p0 along the line: CodageSuite (p0 is the plain byte,
//     p2 two steps after p0; 3 bytes), CodageVoisinsDoubles starting with its
//     offsets (1, 2) or (14, 15), or, along a row only, CodageCroixDouble (p2
//     and p3 one above the other in the plain byte's column). 4 bytes.
//   - p1 one step before p0: only CodageVoisinsDoubles starting with (2, 1)
//     or (15, 14). 4 bytes.
// The third byte tells the cases with one step apart, and the fourth must be
// the one its encoder puts there. Anything else no encoder can produce.
//
// Decryption draws nothing from the shared generator (construction does, as
// for any grid, before the fresh state is replaced by the starting one).

#include <cstdint>
#include <string>

#include "cipher/KOZSuivi.hpp"
#include "platform/Plateforme.hpp"
#include "state/KOZGrille.hpp"

class TKOZDechiffre : public TKOZGrille {
public:
    // The block at the start of a byte run, against the current grid.
    enum : int {
        kBlocInvalide = 0,    // no encoder produces a block starting with these bytes
        kBlocIncomplet = -1,  // the bytes given so far do not decide; more are needed
    };

    // Starts from the trio dir + nom (".KGR" verified on loading, as Charger does).
    TKOZDechiffre(const std::string& dir, const std::string& nom);
    // Starts from a copy of depart's three tables; its grid is verified.
    explicit TKOZDechiffre(const TKOZGrille& depart);
    ~TKOZDechiffre() override;

    // Recognises the block at octets[0..n). Returns its length (2, 3 or 4) and
    // sets v to its plain byte; or kBlocInvalide; or kBlocIncomplet when n is
    // too short to decide. The answer never depends on bytes past the block.
    // Reads the grid only.
    int DechiffrerBloc(const uint8_t* octets, size_t n, uint8_t& v) const;

private:
    // DechiffrerBloc, also giving p, the cell of v in the current grid.
    int Reconnaitre(const uint8_t* octets, size_t n, uint8_t& v, uint8_t& p) const;

public:

    // Decrypts Source to its end into Destination. A block that no encoder
    // could have produced, or a source that ends inside a block, stops with
    // "Le fichier chiffré \"<full path of nom>\" est invalide à l'octet N"
    // (N: offset of the block's first byte, counted from where Source
    // started). Whatever stops the loop, the plain bytes of every block
    // before it are written first.
    void DechiffrerFlux(TFluxLecture& Source, TFluxEcriture& Destination, const std::string& nom,
                        const TSuivi* suivi = nullptr);

    // Opens Source, creates Destination (refusing the source itself), decrypts.
    void DechiffrerFichier(const std::string& Source, const std::string& Destination, const TSuivi* suivi = nullptr);
};

// Whether the three tables of a and b are the same, byte for byte.
bool EtatsEgaux(const TKOZGrille& a, const TKOZGrille& b);

// Buffer size of the decryption loop for the encrypted bytes.
inline constexpr size_t kTailleTamponChiffre = 64 * 1024;
