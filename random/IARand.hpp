#pragma once
// TIARand: the program's one source of random words. The IA generator
// (indirection, addition) seeded by the ISAAC procedure over a 1,024-byte pool
// of system readings. The pool is the output buffer `Results` seen as bytes,
// least significant byte of each word first, whatever the machine's byte order.

#include <cstdint>

class TIARand {
public:
    // Clears the state, gathers system readings and seeds: ready for Next.
    TIARand();
    // Wipes the whole state (as Clear does) before the memory is released.
    virtual ~TIARand();

    TIARand(const TIARand&) = delete;
    TIARand& operator=(const TIARand&) = delete;

    // Zeroes Results, Memory, Remaining, Accumulator, then PoolIndex (and
    // the pass prepared ahead).
    void Clear();
    // Adds b (8-bit add, no carry) into pool byte PoolIndex, wrapping the
    // index to 0 only when a byte arrives with the index past 1023.
    void AddByte(uint8_t b);
    // Adds the four bytes of v, most significant first.
    void AddLong(uint32_t v);
    // Adds len bytes of buf in order, then zeroes them in buf. len <= 0: nothing.
    void AddBuffer(void* buf, int32_t len);
    // Seeds Memory from all 1,024 pool bytes, runs one Generate, Remaining = 256.
    void Init();
    // One pass: 256 new words in Results.
    void Generate();
    // The next word, from Results[255] down to Results[0], then a new pass.
    uint32_t Next() noexcept {
        if (Remaining == 0) {
            PasseSuivante();
            Remaining = 255;
        } else {
            --Remaining;
        }
        const uint32_t mot = Results[Remaining & 255];
        // One step of the following pass per word handed out: its chain of
        // dependent loads then runs alongside the caller's own work, instead
        // of stalling it for 256 steps at every 256th word.
        if (AFaire != 0) EtapeAvance();
        return mot;
    }

    // Looking ahead, for a reader that decodes words before it takes them.
    // The words of this pass still to come, the next one first, are
    // Passe()[Restants() - 1] down to Passe()[0]; then come those of the
    // following pass, from [255] down: Preter's Resultats, once prepared
    // (AFaire 0). Preparing it ahead changes nothing Next hands out.
    const uint32_t* Passe() const { return Results; }
    // As k calls of Next whose words are thrown away, except that the
    // following pass is prepared only when it becomes the current one: its
    // steps are left to Preter's borrower.
    void Sauter(uint64_t k);

    // The preparation of the following pass, lent to a caller that runs its
    // steps alongside its own work, in locals the compiler can keep in
    // registers. Between Preter and Rendre, the caller uses nothing else of
    // the generator. Etape is one step of Next's, or nothing once the pass
    // is prepared. Where nothing is prepared (after Clear), Preter starts
    // the pass from the current state, as Next would at the end of this one.
    struct TPreparation {
        uint32_t* Memoire;
        uint32_t* Resultats;
        uint32_t Accumulateur;
        uint32_t AFaire;
        void Etape() { Etape(Memoire, Resultats, Accumulateur, AFaire); }
        // The same on the fields held apart, in a loop's own variables.
        static void Etape(uint32_t* memoire, uint32_t* resultats, uint32_t& accumulateur, uint32_t& afaire) {
            if (afaire == 0) return;
            const uint32_t i = 256 - afaire--;
            const uint32_t x = memoire[i];
            const uint32_t y = memoire[x & 255] + accumulateur;
            memoire[i] = y;
            accumulateur = memoire[(y >> 8) & 255] + x;
            resultats[i] = accumulateur;
        }
    };
    TPreparation Preter();
    void Rendre(const TPreparation& p) {
        AccumulateurAvance = p.Accumulateur;
        AFaire = p.AFaire;
    }

    // Clear, gather, Init.
    void Reseed();
    // Adds the readings of the running system to the pool, through the platform layer.
    void GatherEntropy();

    // Read access for tests and for the seeding code.
    uint32_t Resultat(int i) const { return Results[i & 255]; }
    uint32_t Memoire(int i) const { return Memory[i & 255]; }
    int32_t Restants() const { return Remaining; }
    uint32_t Accumulateur() const { return Accumulator; }
    int32_t IndexPool() const { return PoolIndex; }
    uint8_t OctetPool(int k) const { return uint8_t(Results[(k >> 2) & 255] >> (8 * (k & 3))); }
    // Test hook: true when every field is zero (a wiped or fresh instance).
    bool EstEfface() const;

private:
    // The pass after the current one, computed ahead a step at a time from
    // the Memory and Accumulator the current pass left, in buffers of its
    // own: Results, Memory and Accumulator always hold what the plain
    // generator would hold. Preparee is false when nothing is prepared (after
    // Clear); AFaire counts the steps still to do. All zero once wiped.
    TPreparation Pret() { return {MemoireAvance, ResultatsAvance, AccumulateurAvance, AFaire}; }
    void EtapeAvance() {
        TPreparation p = Pret();
        p.Etape();
        Rendre(p);
    }
    // Starts preparing the pass that follows the one now in Results.
    void Anticiper();
    // Makes the prepared pass (finished first if need be) the current one;
    // exactly what Generate would have made.
    void PasseSuivante() noexcept;

    uint32_t Results[256];
    uint32_t Memory[256];
    int32_t Remaining;
    uint32_t Accumulator;
    int32_t PoolIndex;

    uint32_t ResultatsAvance[256];
    uint32_t MemoireAvance[256];
    uint32_t AccumulateurAvance;
    uint32_t AFaire;
    bool Preparee;
};
