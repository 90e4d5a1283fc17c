#pragma once
// TReferenceLitterale: the cipher written the plain way, as the yardstick for
// the fast path. It keeps its own copy of the three tables and encrypts one
// byte at a time: Position by a linear search of the cells, Adresse with one
// branch per Sens, encoders reached through member-function pointers, the
// block a resized std::vector, and (for files) one read system call per plain
// byte and one write per block, unbuffered.
//
// It draws through RandomBelow like the real cipher, so from the same state
// and the same words it must give the same bytes and the same final state.
// Header-only: shared by the benchmark and the equivalence tests.

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "random/KOZTools.hpp"
#include "state/KOZGrille.hpp"

class TReferenceLitterale {
public:
    using TCodage = void (TReferenceLitterale::*)(uint8_t v, TBlocChiffre& bloc);

    // Copies the grid, the exchange table and the permutation table of g.
    explicit TReferenceLitterale(const TKOZGrille& g)
        : Cases(g.Cases()), Echange(g.Echange->Table), Permutations(g.Permutations->Table) {}

    uint8_t Position(uint8_t v) const {
        for (int p = 0; p < 256; ++p)
            if (Cases[p] == v) return uint8_t(p);
        throw EKOZException("La valeur cherchée n'est pas dans la grille");
    }
    uint8_t Case(uint8_t ligne, uint8_t colonne) const { return Cases[ligne * 16 + colonne]; }
    void Echanger(uint8_t a, uint8_t b) {
        const uint8_t t = Cases[a];
        Cases[a] = Cases[b];
        Cases[b] = t;
    }

    static uint8_t Adresse(uint8_t i, TSegment s) {
        if (s.Sens == 0) return uint8_t(s.Rang * 16 + s.Debut + i);
        if (s.Sens == 1) {
            const uint8_t ligne = uint8_t(s.Debut + i);
            return uint8_t(ligne * 16 + s.Rang);
        }
        return 0;
    }

    void Permuter(uint8_t v) {
        const TPermutation t = Permutations[v];
        for (int i = 0; i < t.Longueur; ++i) Echanger(Adresse(uint8_t(i), t.Segment1), Adresse(uint8_t(i), t.Segment2));
    }

    void Evoluer(uint8_t v) {
        const uint8_t p = Position(v);
        Echanger(p, Echange[v]);
        Permuter(v);
    }

    void CodageCroix(uint8_t v, TBlocChiffre& bloc) {
        const uint8_t p = Position(v), l = p >> 4, c = p & 15;
        const uint8_t a = RandomBelow(14);
        const uint8_t b = RandomBelow(14);
        bloc.resize(2);
        bloc[0] = Case(l, (c + 1 + a) % 16);
        bloc[1] = Case((l + 1 + b) % 16, c);
    }
    void CodageCroixDouble(uint8_t v, TBlocChiffre& bloc) {
        const uint8_t p = Position(v), l = p >> 4, c = p & 15;
        const uint8_t a = RandomBelow(13);
        const uint8_t b = RandomBelow(13);
        bloc.resize(4);
        bloc[0] = Case(l, (c + 1 + a) % 16);
        bloc[1] = Case(l, (c + 2 + a) % 16);
        bloc[2] = Case((l + 1 + b) % 16, c);
        bloc[3] = Case((l + 2 + b) % 16, c);
    }
    void CodageVoisins(uint8_t v, TBlocChiffre& bloc) {
        const uint8_t p = Position(v), l = p >> 4, c = p & 15;
        const uint8_t s = RandomBelow(2);
        const uint8_t t = RandomBelow(2);
        const uint8_t k = t == 1 ? 1 : 15, m = 16 - k;
        bloc.resize(2);
        bloc[0] = Le(l, c, s, k);
        bloc[1] = Le(l, c, s, m);
    }
    void CodageVoisinsDoubles(uint8_t v, TBlocChiffre& bloc) {
        static constexpr uint8_t kTable[4] = {1, 2, 14, 15};
        auto partenaire = [](uint8_t d) -> uint8_t { return (d == 1 || d == 14) ? d + 1 : d - 1; };
        const uint8_t p = Position(v), l = p >> 4, c = p & 15;
        uint8_t liste[4];
        liste[0] = kTable[RandomBelow(4)];
        liste[1] = partenaire(liste[0]);
        uint8_t d;
        do d = kTable[RandomBelow(4)];
        while (d == liste[0] || d == liste[1]);
        liste[2] = d;
        liste[3] = partenaire(d);
        const uint8_t s = RandomBelow(2);
        bloc.resize(4);
        for (int i = 0; i < 4; ++i) bloc[i] = Le(l, c, s, liste[i]);
    }
    void CodageSuite(uint8_t v, TBlocChiffre& bloc) {
        const uint8_t p = Position(v), l = p >> 4, c = p & 15;
        const uint8_t s = RandomBelow(2);
        bloc.resize(3);
        for (int i = 0; i < 3; ++i) bloc[i] = Le(l, c, s, uint8_t(i));
    }

    void ChiffrerOctet(uint8_t v, TBlocChiffre& bloc) {
        const uint8_t i = RandomBelow(5);
        (this->*Codages[i])(v, bloc);
        Evoluer(v);
    }

    // The whole of clair, one byte after the other, blocks appended to chiffre.
    // A failure leaves chiffre holding the blocks of the bytes before it.
    void ChiffrerMemoire(const uint8_t* clair, size_t n, std::string& chiffre) {
        TBlocChiffre bloc;
        for (size_t k = 0; k < n; ++k) {
            ChiffrerOctet(clair[k], bloc);
            chiffre.append(reinterpret_cast<const char*>(bloc.data()), bloc.size());
        }
    }

    // Source to Destination with one read(2) per plain byte and one write(2)
    // per block. Returns an empty text, or what went wrong.
    std::string ChiffrerFichier(const std::string& source, const std::string& destination) {
        const int fs = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
        if (fs < 0) return source + ": " + std::strerror(errno);
        const int fd = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            const std::string e = destination + ": " + std::strerror(errno);
            ::close(fs);
            return e;
        }
        std::string erreur;
        TBlocChiffre bloc;
        uint8_t v;
        while (::read(fs, &v, 1) == 1) {
            ChiffrerOctet(v, bloc);
            if (::write(fd, bloc.data(), bloc.size()) != ssize_t(bloc.size())) {
                erreur = destination + ": " + std::strerror(errno);
                break;
            }
        }
        ::close(fs);
        if (::close(fd) != 0 && erreur.empty()) erreur = destination + ": " + std::strerror(errno);
        return erreur;
    }

    std::array<uint8_t, 256> Cases;
    std::array<uint8_t, 256> Echange;
    std::array<TPermutation, 256> Permutations;
    const std::array<TCodage, 5> Codages{&TReferenceLitterale::CodageCroix, &TReferenceLitterale::CodageCroixDouble,
                                         &TReferenceLitterale::CodageVoisins,
                                         &TReferenceLitterale::CodageVoisinsDoubles, &TReferenceLitterale::CodageSuite};

private:
    // The cell at offset d along the row (s = 1) or the column (s = 0).
    uint8_t Le(uint8_t l, uint8_t c, uint8_t s, uint8_t d) const {
        return Case((l + (1 - s) * d) % 16, (c + s * d) % 16);
    }
};
