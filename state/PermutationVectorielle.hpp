#pragma once
// The AVX-512 byte permutes behind the compiled evolution, shared by the grid
// and by the decryption loop that keeps the grid in registers. Compiled for
// those instructions whatever the build's target: callers check
// TKOZGrille::EvolutionVectorielle before running any of it.

#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>

#define KOZ_CIBLE_VECTORIELLE __attribute__((target("avx512f,avx512bw,avx512vbmi,bmi,bmi2")))

// r[k] := table[i[k]] for the 64 indices of i, table being the four
// registers t0..t3 (256 bytes): bits 0..6 pick one of 128 bytes in each
// half, bit 7 picks the half.
KOZ_CIBLE_VECTORIELLE inline __m512i Consulter256(const __m512i t[4], __m512i i) {
    const __m512i bas = _mm512_permutex2var_epi8(t[0], i, t[1]);
    const __m512i haut = _mm512_permutex2var_epi8(t[2], i, t[3]);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(i), bas, haut);
}

// The 64 indices of i with p and e traded: p becomes e, e becomes p.
KOZ_CIBLE_VECTORIELLE inline __m512i Troquer(__m512i i, __m512i vp, __m512i ve) {
    const __mmask64 estP = _mm512_cmpeq_epi8_mask(i, vp), estE = _mm512_cmpeq_epi8_mask(i, ve);
    return _mm512_mask_mov_epi8(_mm512_mask_mov_epi8(i, estP, ve), estE, vp);
}

// r[k] := table[index[k]] for the 256 bytes of index, table being the four
// registers t0..t3 (256 bytes), after the indices p and e have traded places.
KOZ_CIBLE_VECTORIELLE inline void Permuter256(const __m512i t[4], const uint8_t* index, uint8_t p, uint8_t e,
                                               __m512i r[4]) {
    const __m512i vp = _mm512_set1_epi8(char(p)), ve = _mm512_set1_epi8(char(e));
    for (int k = 0; k < 4; ++k) r[k] = Consulter256(t, Troquer(_mm512_loadu_si512(index + 64 * k), vp, ve));
}

// The low 128 bits of a. (GCC 12 warns, wrongly, that the upper lanes of
// the register it makes for the cast may be used uninitialised.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
KOZ_CIBLE_VECTORIELLE inline __m128i Bas128(__m512i a) { return _mm512_castsi512_si128(a); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// The one cell holding x among the 256 of c0..c3. REQUIRES: exactly one does.
KOZ_CIBLE_VECTORIELLE inline uint8_t ChercherCase(const __m512i c[4], uint8_t x) {
    const __m512i cherche = _mm512_set1_epi8(char(x));
    const __mmask64 m0 = _mm512_cmpeq_epi8_mask(c[0], cherche), m1 = _mm512_cmpeq_epi8_mask(c[1], cherche);
    const __mmask64 m2 = _mm512_cmpeq_epi8_mask(c[2], cherche), m3 = _mm512_cmpeq_epi8_mask(c[3], cherche);
    // Exactly one bit is set among the four masks: its register (two bits,
    // the odd ones and the upper two) and its place there, without a branch.
    const unsigned impair = !_kortestz_mask64_u8(m1, m3);
    const unsigned haut = !_kortestz_mask64_u8(m2, m3);
    const uint64_t tous = _cvtmask64_u64(_kor_mask64(_kor_mask64(m0, m1), _kor_mask64(m2, m3)));
    return uint8_t(64 * (impair + 2 * haut) + __builtin_ctzll(tous));
}

// One evolution of the cells c (cell -> value) and of the inverse table i
// (value -> cell), both held in registers: cells p and e (holding v and w)
// exchanged, then each cell k takes what cell vers[k] then held; a value in
// cell q goes to depuis[q], q with p and e traded first. The exchange is made
// by position, on the cells and on the rows of depuis, so that the permutes
// wait only for the rows, and both use the same two masks per register.
KOZ_CIBLE_VECTORIELLE inline void Evoluer256(__m512i c[4], __m512i i[4], const uint8_t* vers, const uint8_t* depuis,
                                              uint8_t p, uint8_t e, uint8_t v, uint8_t w) {
    // Cells 0..63; adding 64 * k gives those of register k.
    const __m512i premieres = _mm512_set_epi8(63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46, 45, 44, 43, 42, 41, 40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    const __m512i vp = _mm512_set1_epi8(char(p)), ve = _mm512_set1_epi8(char(e));
    const __m512i vv = _mm512_set1_epi8(char(v)), vw = _mm512_set1_epi8(char(w));
    const __m512i dp = _mm512_set1_epi8(char(depuis[p])), de = _mm512_set1_epi8(char(depuis[e]));
    __m512i t[4], u[4];
    for (int k = 0; k < 4; ++k) {
        const __m512i cellules = _mm512_add_epi8(premieres, _mm512_set1_epi8(char(64 * k)));
        const __mmask64 enP = _mm512_cmpeq_epi8_mask(cellules, vp), enE = _mm512_cmpeq_epi8_mask(cellules, ve);
        t[k] = _mm512_mask_mov_epi8(_mm512_mask_mov_epi8(c[k], enP, vw), enE, vv);
        u[k] = _mm512_mask_mov_epi8(_mm512_mask_mov_epi8(_mm512_loadu_si512(depuis + 64 * k), enP, de), enE, dp);
    }
    for (int k = 0; k < 4; ++k) c[k] = Consulter256(t, _mm512_loadu_si512(vers + 64 * k));
    for (int k = 0; k < 4; ++k) i[k] = Consulter256(u, i[k]);
}
#endif
