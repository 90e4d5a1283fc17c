#include "cipher/KOZDechiffre.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "cipher/KOZTirages.hpp"
#include "platform/KOZErreur.hpp"
#include "platform/Format.hpp"
#include "state/PermutationVectorielle.hpp"

TKOZDechiffre::TKOZDechiffre(const std::string& dir, const std::string& nom) { Charger(dir, nom); }

TKOZDechiffre::TKOZDechiffre(const TKOZGrille& depart) {
    DefinirCases(depart.Cases());
    Verifier();
    Echange->Table = depart.Echange->Table;
    Permutations->Table = depart.Permutations->Table;
}

TKOZDechiffre::~TKOZDechiffre() = default;

namespace {

// Block recognition depends only on where the cells of the block's bytes lie
// relative to p0, the cell of its first byte: every test below is on row and
// column differences modulo 16. So it is read from two tables, indexed by a
// cell offset (row difference << 4 | column difference, each modulo 16):
//   kPremier[p1 - p0]: a complete 2-byte block (CodageCroix, CodageVoisins), an
//     invalid start, or which of the four lines (row or column, one step after
//     or before p0) the block runs along, when a third byte must decide;
//   kSecond[that line][p2 - p0]: the length of the longer block (3 or 4) or 0.
// An entry also holds the offset from p0 of the plain byte's cell and, for a
// 4-byte block, of the cell whose value the fourth byte must be. The tables
// are built at compile time by the case analysis itself, taken at p0 = (0, 0).
struct TEntree {
    uint8_t longueur;  // 2, 3, 4; 0: no encoder makes it; unused when suite != 0
    uint8_t suite;     // 0: decided here; 1..4: look up kSecond[suite]
    uint8_t clair;     // offset of the plain byte's cell
    uint8_t controle;  // offset of the cell the fourth byte must hold
};

// Cell offsets add (Decaler) and subtract row and column each modulo 16.
constexpr uint8_t Ecart(uint8_t q, uint8_t q0) {
    return uint8_t(((q - (q0 & 0xF0)) & 0xF0) | ((q - q0) & 0x0F));
}
constexpr uint8_t Cellule(int l, int c) { return uint8_t(((l & 15) << 4) | (c & 15)); }

// The four lines of kSecond: along a row or a column, p1 one step after or
// before p0.
constexpr bool SurLigne(int suite) { return suite <= 2; }
constexpr int Pas(int suite) { return (suite == 1 || suite == 3) ? 1 : 15; }

constexpr TEntree Premier(uint8_t d1) {
    const int l1 = d1 >> 4, c1 = d1 & 15;
    if (l1 != 0 && c1 != 0) {
        // CodageCroix: p0 1..14 columns right of the plain byte, p1 1..14 rows below it.
        if (c1 == 1 || l1 == 15) return {0, 0, 0, 0};
        return {2, 0, Cellule(0, c1), 0};
    }
    const bool surLigne = l1 == 0;
    const int delta = surLigne ? c1 : l1;
    if (delta == 2 || delta == 14) {
        // CodageVoisins: the cell one step from both.
        const int x = delta == 2 ? 1 : 15;
        return {2, 0, surLigne ? Cellule(0, x) : Cellule(x, 0), 0};
    }
    if (delta == 1) return {0, uint8_t(surLigne ? 1 : 3), 0, 0};
    if (delta == 15) return {0, uint8_t(surLigne ? 2 : 4), 0, 0};
    return {0, 0, 0, 0};
}

constexpr TEntree Second(int suite, uint8_t d2) {
    const bool surLigne = SurLigne(suite);
    const int delta = Pas(suite);
    const int l2 = d2 >> 4, c2 = d2 & 15;
    auto cellule = [&](int x) { return surLigne ? Cellule(0, x) : Cellule(x, 0); };
    if (surLigne ? l2 == 0 : c2 == 0) {
        const int x2 = surLigne ? c2 : l2;
        // CodageSuite: the plain byte, then the next two cells.
        if (delta == 1 && x2 == 2) return {3, 0, 0, 0};
        // CodageVoisinsDoubles. Its first pair is (1, 2) or (2, 1), the plain
        // byte then lies before p0 and the second pair is at 14/15; or it is
        // (14, 15) or (15, 14), the plain byte lies after p0 and the second
        // pair is at 1/2. The two candidates put p2 at different places.
        const int vArriere = delta == 1 ? -1 : -2;
        const int vAvant = delta == 1 ? 2 : 1;
        int vx = 0, e = 0;
        if (const int a = (x2 - vArriere) & 15; a == 14 || a == 15) {
            vx = vArriere;
            e = a;
        } else if (const int b = (x2 - vAvant) & 15; b == 1 || b == 2) {
            vx = vAvant;
            e = b;
        } else {
            return {0, 0, 0, 0};
        }
        const int partenaire = (e == 1 || e == 14) ? e + 1 : e - 1;
        return {4, 0, cellule(vx), cellule(vx + partenaire)};
    }
    if (!surLigne || delta != 1) return {0, 0, 0, 0};
    // CodageCroixDouble: p0, p1 on the plain byte's row 1..13 and 2..14
    // columns right of it; p2, p3 on its column 1..13 and 2..14 rows below.
    const int dc = (0 - c2) & 15;
    if (dc < 1 || dc > 13 || l2 < 1 || l2 > 13) return {0, 0, 0, 0};
    return {4, 0, Cellule(0, c2), Cellule(l2 + 1, c2)};
}

struct TTables {
    TEntree Premier[256];
    TEntree Second[5][256];  // row 0 unused
};

constexpr TTables Construire() {
    TTables t{};
    for (int d = 0; d < 256; ++d) {
        t.Premier[d] = Premier(uint8_t(d));
        for (int s = 1; s <= 4; ++s) t.Second[s][d] = Second(s, uint8_t(d));
    }
    return t;
}

alignas(64) constexpr TTables kTables = Construire();

// The block whose first three bytes lie in cells q0, q1 and q2 and whose
// fourth byte is quatrieme, valeur(c) being what cell c holds: its length, or
// 0 when no encoder makes it; v and p are its plain byte and that byte's cell.
// Both tables are read, and the answer is picked with masks, not branches:
// which of them decides changes from block to block, and no branch would guess
// it. The plain byte's cell is picked before the grid is read, so one read
// gives the plain byte (the fast loops are bound by their loads and stores
// more than by this chain). The fourth byte is only looked at for a 4-byte block.
template <class FValeur>
inline int Decider(uint8_t q0, uint8_t q1, uint8_t q2, uint8_t quatrieme, const FValeur& valeur, uint8_t& v,
                   uint8_t& p) {
    const TEntree a = kTables.Premier[Ecart(q1, q0)];
    // Row 0 of kSecond is all zeros: read, never chosen, when a decides.
    const TEntree b = kTables.Second[a.suite][Ecart(q2, q0)];
    const uint8_t premier = uint8_t(0u - unsigned(a.suite == 0));  // all ones when a decides
    p = Decaler(q0, uint8_t((a.clair & premier) | (b.clair & ~premier)));
    v = valeur(p);
    const int longueur = (a.longueur & premier) | (b.longueur & ~premier);
    const bool accepte = (longueur != 4) | (quatrieme == valeur(Decaler(q0, b.controle)));
    return accepte ? longueur : 0;
}

// Near the end of the bytes: the same tables, asking for each byte only once
// the ones before it leave the block undecided. Out of line: rare.
[[gnu::noinline]] int ReconnaitreFin(const TKOZGrille& g, const uint8_t* octets, size_t n, uint8_t& v, uint8_t& p) {
    if (n < 2) return TKOZDechiffre::kBlocIncomplet;
    const uint8_t q0 = g.Position(octets[0]);
    const TEntree a = kTables.Premier[Ecart(g.Position(octets[1]), q0)];
    TEntree r = a;
    if (a.suite != 0) {
        if (n < 3) return TKOZDechiffre::kBlocIncomplet;
        r = kTables.Second[a.suite][Ecart(g.Position(octets[2]), q0)];
    }
    if (r.longueur == 0) return TKOZDechiffre::kBlocInvalide;
    if (r.longueur == 4) {
        if (n < 4) return TKOZDechiffre::kBlocIncomplet;
        const uint8_t controle = Decaler(q0, r.controle);
        if (octets[3] != g.Case(uint8_t(controle >> 4), uint8_t(controle & 15))) return TKOZDechiffre::kBlocInvalide;
    }
    p = Decaler(q0, r.clair);
    v = g.Case(uint8_t(p >> 4), uint8_t(p & 15));
    return r.longueur;
}

// How far a fast loop went: the encrypted bytes it used and the plain bytes
// it gave, and whether it stopped at a block no encoder makes.
struct TAvancee {
    size_t Lus = 0;
    size_t Clairs = 0;
    bool Invalide = false;  // the block at Lus is one no encoder makes
};

// Bytes the fast loops need from a block's start: the block itself (up to
// 4 bytes) and the first three bytes of whichever block follows it, which
// starts 2, 3 or 4 bytes on.
constexpr size_t kFenetre = 7;
// Encrypted bytes handed to a fast loop at once, between two looks at the
// stop flag (a fraction of a millisecond of work).
constexpr size_t kMorceau = 4096;

// Where the value in cell q lies after the evolution of a plain byte in cell
// p, exchanged with cell e: at e if q is p, at p if q is e (the exchange),
// then at depuis[that] (the segments).
inline uint8_t Apres(uint8_t q, uint8_t p, uint8_t e, const uint8_t* depuis) {
    return depuis[q == p ? e : q == e ? p : q];
}

// The cells of the next block's first three bytes after the evolution of
// plain byte v (cell p, exchanged with e), from o, the cells in the grid
// before it of the bytes 2 to 6 after this block's start, and its length.
// Picked with masks: the length changes from block to block and no branch
// would guess it.
inline void Suivantes(const uint8_t o[5], int longueur, uint8_t p, uint8_t e, const uint8_t* depuis, uint8_t& q0,
                      uint8_t& q1, uint8_t& q2) {
    const uint32_t de2 = 0u - uint32_t(longueur == 2), de3 = 0u - uint32_t(longueur == 3), de4 = ~(de2 | de3);
    auto apres = [&](int j) {
        return Apres(uint8_t((o[j] & de2) | (o[j + 1] & de3) | (o[j + 2] & de4)), p, e, depuis);
    };
    q0 = apres(0);
    q1 = apres(1);
    q2 = apres(2);
}

// Blocks from x[0..n) while kFenetre bytes are left, in the portable fast
// form: the grid and its inverse table in memory, evolved through the
// compiled segments. Recognition and evolution are fused: once a block is
// decided, the cells of the next block's first three bytes are read from the
// inverse table before the evolution and carried through it (Apres), so that
// the next block is decided without waiting for the evolution's stores. The
// loop is bound by its loads and stores: it reads only the three cells it
// needs, once the length is known.
// REQUIRES: the inverse table is kept.
TAvancee DechiffrerPortable(uint8_t* cases, uint8_t* inverse, const uint8_t* echange,
                            const TKOZGrille::TSegmentsCompiles* segments, const uint8_t* depuis, const uint8_t* x,
                            size_t n, uint8_t* clair) {
    TAvancee r;
    if (n < kFenetre) return r;
    uint8_t q0 = inverse[x[0]], q1 = inverse[x[1]], q2 = inverse[x[2]];
    size_t i = 0, m = 0;  // r's counters, kept in registers
    while (i + kFenetre <= n) {
        uint8_t v, p;
        const int longueur = Decider(q0, q1, q2, x[i + 3], [cases](uint8_t q) { return cases[q]; }, v, p);
        if (longueur == 0) {
            r.Invalide = true;
            break;
        }
        const uint8_t e = echange[v];
        const uint8_t* suivant = x + i + size_t(longueur);
        const uint8_t* d = depuis + 256 * v;
        q0 = Apres(inverse[suivant[0]], p, e, d);
        q1 = Apres(inverse[suivant[1]], p, e, d);
        q2 = Apres(inverse[suivant[2]], p, e, d);
        TKOZGrille::EchangerSegments(cases, inverse, p, e, segments[v]);
        clair[m++] = v;
        i += size_t(longueur);
    }
    r.Lus = i;
    r.Clairs = m;
    return r;
}

#if defined(__x86_64__)
// Blocks from x[0..n) while kFenetre bytes are left, the grid and its inverse
// table held in registers; the cells are written to cases after every block
// (single cells are read from there). echange is the exchange table; vers and
// depuis the compiled permutations, 256 bytes per entry. While a block is
// being decided, the cells of the bytes 2 to 6 after its start, among which
// lie the next block's first three, are read from the inverse registers in one
// lookup; once the plain byte v is known, those three are carried through its
// evolution (Suivantes). So the next block is decided without waiting for the
// evolved grid, and the evolution of the cells and of the inverse runs beside
// the decisions.
KOZ_CIBLE_VECTORIELLE TAvancee DechiffrerVectoriel(uint8_t* cases, const uint8_t* echange, const uint8_t* vers,
                                                   const uint8_t* depuis, const uint8_t* x, size_t n, uint8_t* clair) {
    TAvancee r;
    if (n < kFenetre) return r;
    alignas(64) uint8_t inverse[256];
    for (int q = 0; q < 256; ++q) inverse[cases[q]] = uint8_t(q);
    __m512i c[4], w[4];
    for (int k = 0; k < 4; ++k) c[k] = _mm512_loadu_si512(cases + 64 * k);
    for (int k = 0; k < 4; ++k) w[k] = _mm512_load_si512(inverse + 64 * k);
    uint8_t q0 = inverse[x[0]], q1 = inverse[x[1]], q2 = inverse[x[2]];
    size_t i = 0;
    while (i + kFenetre <= n) {
        // The five bytes x[i + 2 .. i + 6] (a masked load reads no further)
        // looked up at once in the inverse registers: their cells come back
        // in the low five bytes of cellules.
        const __m512i octets = _mm512_maskz_loadu_epi8(__mmask64(0x1F), x + i + 2);
        const uint64_t cellules = uint64_t(_mm_cvtsi128_si64(Bas128(Consulter256(w, octets))));
        uint8_t o[5];
        for (int j = 0; j < 5; ++j) o[j] = uint8_t(cellules >> (8 * j));
        uint8_t v, p;
        const int longueur = Decider(q0, q1, q2, x[i + 3], [cases](uint8_t q) { return cases[q]; }, v, p);
        if (longueur == 0) {
            r.Invalide = true;
            break;
        }
        const uint8_t e = echange[v];
        Suivantes(o, longueur, p, e, depuis + 256 * v, q0, q1, q2);
        Evoluer256(c, w, vers + 256 * v, depuis + 256 * v, p, e, v, cases[e]);
        for (int k = 0; k < 4; ++k) _mm512_storeu_si512(cases + 64 * k, c[k]);
        clair[r.Clairs++] = v;
        i += size_t(longueur);
    }
    r.Lus = i;
    return r;
}
#endif

}  // namespace

int TKOZDechiffre::DechiffrerBloc(const uint8_t* octets, size_t n, uint8_t& v) const {
    uint8_t p;
    return Reconnaitre(octets, n, v, p);
}

inline int TKOZDechiffre::Reconnaitre(const uint8_t* octets, size_t n, uint8_t& v, uint8_t& p) const {
    // Every byte the longest block could use is there: the third and fourth
    // are looked at whatever the first two say.
    if (n >= 4)
        return Decider(Position(octets[0]), Position(octets[1]), Position(octets[2]), octets[3],
                       [this](uint8_t c) { return Cases()[c]; }, v, p);
    return ReconnaitreFin(*this, octets, n, v, p);
}

void TKOZDechiffre::DechiffrerFlux(TFluxLecture& Source, TFluxEcriture& Destination, const std::string& nom,
                                   const TSuivi* suivi) {
    // Secure mode checks the grid after every block: it takes the reference
    // evolution, block by block. So does a grid that is not a permutation
    // (only a test can make one here).
    const bool rapide = !ModeSecurise && EstPermutation();
    if (rapide) PreparerEvolution();
    // The vector loop holds the whole state in the cells, with no inverse
    // table; its values are found by comparing all the cells at once.
#if defined(__x86_64__)
    const bool vectoriel = rapide && FormeRapide() == TFormeRapide::Avx512;
#else
    const bool vectoriel = false;
#endif
    struct TSansInverse {
        TKOZDechiffre& g;
        const bool actif;
        TSansInverse(TKOZDechiffre& d, bool oui) : g(d), actif(oui) {
            if (actif) g.TenirInverse(false);
        }
        ~TSansInverse() {
            if (actif) g.TenirInverse(true);
        }
    } sansInverse(*this, vectoriel);
    // The portable loop works on the inverse table, which this class keeps.
    const bool portable = rapide && !vectoriel && InverseTenu();
    // A block left unfinished at the end of one read (at most 3 bytes) is
    // moved to the front, before the next read.
    std::vector<uint8_t> chiffre(kTailleTamponChiffre + 3);
    // Every block gives one byte and is at least 2 bytes long.
    std::vector<uint8_t> clair(kTailleTamponChiffre / 2 + 2);
    size_t rempli = 0;  // plain bytes waiting in clair
    size_t reste = 0;   // unfinished block bytes at the front of chiffre
    uint64_t debutTampon = 0;  // offset in Source of chiffre[0]
    const uint64_t total = Source.Taille();
    auto vider = [&] {
        // Counted as gone before the write, as in the encryption: a failed
        // write is never repeated.
        const size_t k = rempli;
        rempli = 0;
        if (k) Destination.Ecrire(clair.data(), k);
    };
    auto invalide = [&](uint64_t offset) {
        return EKOZException(Format("Le fichier chiffré \"%s\" est invalide à l'octet %llu",
                                    Plateforme().CheminComplet(nom).c_str(), (unsigned long long)offset));
    };
    try {
        for (;;) {
            const size_t n = Source.Lire(chiffre.data() + reste, kTailleTamponChiffre);
            if (n == 0) {
                if (reste) throw invalide(debutTampon);
                break;
            }
            const size_t disponible = reste + n;
            size_t i = 0;
            while (i < disponible) {
                if (suivi && suivi->ArretDemande()) throw EKOZInterruption("Déchiffrement interrompu");
                if ((vectoriel || portable) && disponible - i >= kFenetre) {
                    // A few thousand blocks at a time, so a stop is still
                    // seen within a fraction of a millisecond.
                    const size_t k = std::min(disponible - i, kMorceau);
                    TAvancee a;
#if defined(__x86_64__)
                    if (vectoriel)
                        a = DechiffrerVectoriel(CasesEnPlace(), Echange->Table.data(), VersCompiles(),
                                                DepuisCompiles(), chiffre.data() + i, k, clair.data() + rempli);
                    else
#endif
                        a = DechiffrerPortable(CasesEnPlace(), InverseEnPlace(), Echange->Table.data(),
                                               SegmentsCompiles(), DepuisCompiles(), chiffre.data() + i, k,
                                               clair.data() + rempli);
                    i += a.Lus;
                    rempli += a.Clairs;
                    if (a.Invalide) throw invalide(debutTampon + i);
                    continue;
                }
                uint8_t v, p;
                const int longueur = Reconnaitre(chiffre.data() + i, disponible - i, v, p);
                if (longueur == kBlocIncomplet) break;
                if (longueur == kBlocInvalide) throw invalide(debutTampon + i);
                if (rapide)
                    EvoluerRapide(v, p);
                else
                    Evoluer(v);
                clair[rempli++] = v;
                i += size_t(longueur);
            }
            vider();
            reste = disponible - i;
            std::memmove(chiffre.data(), chiffre.data() + i, reste);
            debutTampon += i;
            if (suivi && suivi->Progression) suivi->Progression(debutTampon, total);
        }
    } catch (...) {
        try {
            vider();
        } catch (...) {
        }
        throw;
    }
}

void TKOZDechiffre::DechiffrerFichier(const std::string& Source, const std::string& Destination,
                                      const TSuivi* suivi) {
    auto source = Plateforme().OuvrirLecture(Source);
    auto destination = Plateforme().Creer(Destination, TGenreFichier::Donnees, source.get(),
                                          "Le fichier chiffré et le fichier déchiffré sont le même fichier");
    DechiffrerFlux(*source, *destination, Source, suivi);
    source.reset();
    destination->Fermer();
}

bool EtatsEgaux(const TKOZGrille& a, const TKOZGrille& b) {
    return a.Cases() == b.Cases() && a.Echange->Table == b.Echange->Table &&
           std::memcmp(a.Permutations->Table.data(), b.Permutations->Table.data(),
                       sizeof(a.Permutations->Table)) == 0;
}
