#pragma once
// The draws of one plain byte, made apart from the grid.
//
// Which encoder a byte gets, and where the cells of its block lie relative to
// the byte's own cell, depend on the generator's words only: never on the
// grid, nor on the byte. So the draws of a byte can be made first and kept as
// a TTirage, a record the grid applies later; and TTireur makes them ahead on
// a thread of its own, while the caller's thread works the grid.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <thread>

#include "cipher/KOZSuivi.hpp"
#include "random/KOZTools.hpp"

// A block described from the plain byte's cell: byte k of the block is the
// cell at offset Decalages[k] (row difference << 4 | column difference, each
// modulo 16). Only the first Longueur (2, 3 or 4) offsets count; the others
// are 0, so the four can always be read.
// Eight bytes in all, so that a record is copied in one move.
struct alignas(8) TTirage {
    uint8_t Decalages[4];
    uint8_t Longueur;
};

// The cell at offset d from cell p, rows and columns each wrapping modulo 16.
constexpr uint8_t Decaler(uint8_t p, uint8_t d) {
    return uint8_t(((p + (d & 0xF0)) & 0xF0) | ((p + d) & 0x0F));
}

namespace koz_tirages {

// The offset of d steps along the plain byte's row (s = 1) or column (s = 0).
inline uint8_t Le(uint8_t s, uint8_t d) { return s ? uint8_t(d & 15) : uint8_t((d & 15) << 4); }

// Each encoder's own draws, in the order it makes them; mot() hands out one
// generator word per call.
template <class FMot>
inline TTirage Croix(FMot& mot) {
    const uint8_t a = uint8_t(mot() % 14);
    const uint8_t b = uint8_t(mot() % 14);
    return {{Le(1, uint8_t(1 + a)), Le(0, uint8_t(1 + b)), 0, 0}, 2};
}
template <class FMot>
inline TTirage CroixDouble(FMot& mot) {
    const uint8_t a = uint8_t(mot() % 13);
    const uint8_t b = uint8_t(mot() % 13);
    return {{Le(1, uint8_t(1 + a)), Le(1, uint8_t(2 + a)), Le(0, uint8_t(1 + b)), Le(0, uint8_t(2 + b))}, 4};
}
template <class FMot>
inline TTirage Voisins(FMot& mot) {
    const uint8_t s = uint8_t(mot() % 2);
    const uint8_t t = uint8_t(mot() % 2);
    const uint8_t k = t == 1 ? 1 : 15;
    return {{Le(s, k), Le(s, uint8_t(16 - k)), 0, 0}, 2};
}
template <class FMot>
inline TTirage VoisinsDoubles(FMot& mot) {
    // Two pairs of offsets, {1, 2} forward and {14, 15} backward: entry k is
    // in pair k >> 1 and its partner is entry k ^ 1.
    static constexpr uint8_t kDecalages[4] = {1, 2, 14, 15};
    const uint8_t premier = uint8_t(mot() % 4);
    uint8_t second = uint8_t(mot() % 4);
    // Drawn again as long as it falls in the first one's pair.
    while ((second >> 1) == (premier >> 1)) second = uint8_t(mot() % 4);
    const uint8_t s = uint8_t(mot() % 2);
    return {{Le(s, kDecalages[premier]), Le(s, kDecalages[premier ^ 1]), Le(s, kDecalages[second]),
             Le(s, kDecalages[second ^ 1])},
            4};
}
template <class FMot>
inline TTirage Suite(FMot& mot) {
    const uint8_t s = uint8_t(mot() % 2);
    return {{0, Le(s, 1), Le(s, 2), 0}, 3};
}

// The draws of slot i of the encoder table (Croix, CroixDouble, Voisins,
// VoisinsDoubles, Suite).
template <class FMot>
inline TTirage DuCodage(uint8_t i, FMot& mot) {
    switch (i) {
        case 0: return Croix(mot);
        case 1: return CroixDouble(mot);
        case 2: return Voisins(mot);
        case 3: return VoisinsDoubles(mot);
        default: return Suite(mot);
    }
}

// All the draws of one plain byte: the slot (one word modulo 5), then that
// encoder's own.
template <class FMot>
inline TTirage DUnOctet(FMot& mot) {
    return DuCodage(uint8_t(mot() % 5), mot);
}

// Draws decoded from words known ahead. A draw keeps only its word modulo
// its range, so the records of a byte are few: kRecords of them, tabulated
// once from the decoders above, at the index IndexRecord gives.
inline constexpr uint32_t kRecords = 14 * 14 + 13 * 13 + 2 * 2 + 4 * 4 * 2 + 2;

// How slot s turns its draws into an index: u modulo A, v modulo B and x
// modulo C (1 or 2), from Base. The remainders are taken by multiplication
// (Lemire's: (K * w mod 2^64) * d / 2^64 with K = ceil(2^64 / d)), so that
// one formula, with the divisors looked up, serves every slot.
struct TModele {
    uint64_t KA, KB;
    uint32_t A, B, C, Base;
};
inline constexpr uint64_t Inverse(uint32_t d) { return ~uint64_t(0) / d + 1; }
inline constexpr TModele kModeles[5] = {
    {Inverse(14), Inverse(14), 14, 14, 1, 0},  // Croix: its two draws
    {Inverse(13), Inverse(13), 13, 13, 1, 196},  // CroixDouble: its two draws
    {Inverse(2), Inverse(2), 2, 2, 1, 365},  // Voisins: direction, side
    {Inverse(4), Inverse(4), 4, 4, 2, 369},  // VoisinsDoubles: first, second kept, direction
    {Inverse(2), Inverse(1), 2, 1, 1, 401},  // Suite: direction
};
inline uint32_t Reste(uint32_t w, uint64_t k, uint32_t d) {
    return uint32_t((static_cast<unsigned __int128>(k * w) * d) >> 64);
}
// The record of slot s whose encoder drew u, v and x, in that order (v is
// the second value VoisinsDoubles kept, x its direction; x is unused elsewhere).
inline uint32_t IndexRecord(uint32_t s, uint32_t u, uint32_t v, uint32_t x) {
    const TModele& m = kModeles[s];
    return m.Base + (Reste(u, m.KA, m.A) * m.B + Reste(v, m.KB, m.B)) * m.C + (x & (m.C - 1));
}
extern const std::array<TTirage, kRecords> Records;

// What Lire found: the draws of one byte and the words they took, or
// Mots == 0 when the words known do not settle them.
struct TLecture {
    TTirage Tirage;
    uint32_t Mots;
};

// The draws DUnOctet would make from the words w(0), w(1)..., of which the
// first n are known. w(k) must be readable, whatever it holds, for every k
// up to n + 1 and up to 7. No branch depends on the words (the slot looks
// up the divisors of its draws), so that the position of the next byte's
// first word is known after a multiplication and a few logical steps.
template <class FMot>
inline TLecture Lire(const FMot& w, uint32_t n) {
    const uint32_t w1 = w(1), w2 = w(2);
    const uint32_t s = w(0) % 5;
    // VoisinsDoubles: its second draw is the first word after w1 whose pair
    // (bit 1 of the value modulo 4) differs from w1's.
    const uint32_t d = (((w2 ^ w1) >> 1) & 1) | ((w(3) ^ w1) & 2) | (((w(4) ^ w1) & 2) << 1) | (((w(5) ^ w1) & 2) << 2);
    uint32_t q = 2 + uint32_t(__builtin_ctz(d | 16));
    if (d == 0 && s == 3) [[unlikely]]
        while (q < n && ((w(q) ^ w1) & 2) == 0) ++q;
    // 3 words, 2 for Suite, q + 2 for VoisinsDoubles: in arithmetic, which
    // the compiler keeps free of branches.
    const uint32_t vd = 0u - ((0x08u >> s) & 1);
    const uint32_t mots = 3 - ((0x10u >> s) & 1) + ((q - 1) & vd);
    if (mots > n) return {{}, 0};
    return {Records[IndexRecord(s, w1, (w(q) & vd) | (w2 & ~vd), w(q + 1))], mots};
}

}  // namespace koz_tirages

// The draw thread. It makes the draws of the bytes it is asked for, in
// order, from whichever word source is installed when it is built (the test
// source, or GlobalRand), into a bounded ring that the caller's thread empties.
// It draws nothing it was not asked for: a caller that asks for one buffer's
// bytes at a time and empties the ring before asking again leaves the shared
// sequence, at every point it can see, where the one-thread loop would. Before
// each byte it looks at the stop flag of suivi; once it is set, it makes no
// more draws. From the shared generator, it reads the words ahead where the
// generator keeps them, and moves the generator past the words it took each
// time it hands records over. REQUIRES: nothing else draws while it lives.
class TTireur {
public:
    explicit TTireur(const TSuivi* suivi);
    // Stops the thread and joins it; draws asked for and not yet made are
    // never made.
    ~TTireur();

    TTireur(const TTireur&) = delete;
    TTireur& operator=(const TTireur&) = delete;

    // Asks for the draws of n more bytes.
    void Demander(size_t n);
    // Waits until records are ready and points debut at the oldest; returns
    // how many lie one after another there (at least 1), or 0 once the
    // thread has stopped short of what was asked: see Relancer.
    size_t Attendre(const TTirage*& debut);
    // Frees the k oldest records, which the caller has applied.
    void Rendre(size_t k);
    // After Attendre returned 0: raises EKOZInterruption for a stop, or what
    // the word source raised.
    [[noreturn]] void Relancer();

    // Hands over one piece of work, done by whichever thread has time first:
    // the draw thread when the ring is full or nothing is asked, the caller
    // when Attendre finds no record ready. REQUIRES: no piece is pending, and
    // the caller touches nothing travail touches until Achever returns.
    void Confier(std::function<void()> travail);
    // Sees the piece handed over done (doing it here if nobody took it) and
    // raises what it raised. Returns at once when none was handed over.
    void Achever();

    // How many times either thread, waiting for the other in the middle of
    // a buffer, went to sleep: where the two threads cannot run at once
    // (other programs hold the processors), the waits outlast the spin.
    uint64_t Sommeils() const { return Sommeils_.load(std::memory_order_relaxed); }

    // Records in the ring: enough that neither thread waits for the other
    // within a buffer, small enough to stay in the processors' caches.
    static constexpr size_t kTaille = 4096;

private:
    // A counter one thread waits on and the other bumps. The waiter spins a
    // little (the other thread usually answers within microseconds), then
    // sleeps; the bumper calls the system only when the waiter sleeps.
    struct TReveil {
        std::atomic<uint32_t> Compteur{0};
        std::atomic<bool> Dort{false};
        void Signaler();
        // Returns whether it had to sleep.
        template <class FPret>
        bool Attendre(const FPret& pret);
    };

    void Boucle();
    template <class FFabricant>
    void Produire(FFabricant& fabriquer);
    // Takes the piece handed over, if nobody has, and does it; the draw
    // thread then tells the caller it is done.
    void Prendre(bool tireur);

    const TSuivi* Suivi_;
    TSourceMots* Source_;
    std::unique_ptr<TTirage[]> Anneau_;

    // Counts since the start, each written by one thread only.
    alignas(64) std::atomic<uint64_t> Demandes_{0};   // by the caller
    alignas(64) std::atomic<uint64_t> Consommes_{0};  // by the caller
    std::atomic<bool> Quitter_{false};                // by the caller
    alignas(64) std::atomic<uint64_t> Produits_{0};   // by the thread
    // Set by the thread when it stops short: 1 for a stop, 2 for a failure
    // (Erreur_ is then set before it).
    std::atomic<int> Arrete_{0};
    std::exception_ptr Erreur_;
    std::atomic<uint64_t> Sommeils_{0};

    alignas(64) TReveil ReveilTireur_;  // the thread waits on it
    alignas(64) TReveil ReveilAppelant_;  // the caller waits on it

    // The piece of work handed over. EtatTravail_: 0 none, 1 waiting, 2
    // taken; the caller sets Travail_ before the 1, whoever takes it (1 to 2)
    // stores its failure in ErreurTravail_ before the 0.
    std::function<void()> Travail_;
    std::exception_ptr ErreurTravail_;
    alignas(64) std::atomic<int> EtatTravail_{0};

    alignas(64) uint64_t Lus_ = 0;    // the caller's count of records handed to it
    alignas(64) uint64_t Faits_ = 0;  // the thread's count of records made, once it fails

    std::thread Fil_;
};

// How many threads the encryption of a stream uses: two where two
// processors are available to this process, else one. Decided once.
unsigned FilsDeChiffrement();
