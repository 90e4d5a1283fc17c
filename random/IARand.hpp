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

    // Zeroes Results, Memory, Remaining, Accumulator, then PoolIndex.
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
    uint32_t Next() {
        if (Remaining == 0) {
            Generate();
            Remaining = 255;
        } else {
            --Remaining;
        }
        return Results[Remaining & 255];
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
    uint32_t Results[256];
    uint32_t Memory[256];
    int32_t Remaining;
    uint32_t Accumulator;
    int32_t PoolIndex;
};
