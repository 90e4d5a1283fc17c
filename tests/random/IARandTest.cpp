// The IA generator: its words, its seed pool's byte positions, its wiping.

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <vector>

#include "tests/support/PlateformeFautive.hpp"
#include "random/IARand.hpp"

namespace {

// A generator cleared and seeded from whatever the test put in the pool.
struct TGenerateurVide : TIARand {
    TGenerateurVide() { Clear(); }
};

// The published seeding and generation, one step at a time, as a reference
// for pools that are not all zero (an all-zero pool cannot tell which seed
// word is paired with which mixing word).
struct TReference {
    uint32_t r[256] = {}, m[256] = {}, acc = 0;
    void Generer() {
        for (int i = 0; i < 256; ++i) {
            const uint32_t x = m[i];
            const uint32_t y = m[x & 255] + acc;
            m[i] = y;
            acc = m[(y >> 8) & 255] + x;
            r[i] = acc;
        }
    }
    void Init() {
        uint32_t w[8];
        for (auto& x : w) x = 0x9E3779B9u;
        auto mix = [&w] {
            uint32_t &a = w[0], &b = w[1], &c = w[2], &d = w[3], &e = w[4], &f = w[5], &g = w[6], &h = w[7];
            a ^= b << 11; d += a; b += c;
            b ^= c >> 2;  e += b; c += d;
            c ^= d << 8;  f += c; d += e;
            d ^= e >> 16; g += d; e += f;
            e ^= f << 10; h += e; f += g;
            f ^= g >> 4;  a += f; g += h;
            g ^= h << 8;  b += g; h += a;
            h ^= a >> 9;  c += h; a += b;
        };
        for (int k = 0; k < 4; ++k) mix();
        for (const uint32_t* source : {r, m})
            for (int i = 0; i < 256; i += 8) {
                for (int j = 0; j < 8; ++j) w[j] += source[i + j];
                mix();
                for (int j = 0; j < 8; ++j) m[i + j] = w[j];
            }
        Generer();
    }
};

TEST(IARand, AllZeroPoolGivesTheKnownWords) {
    TGenerateurVide g;
    g.Init();
    EXPECT_EQ(g.Restants(), 256);
    EXPECT_EQ(g.Next(), 0xF980F760u);
    EXPECT_EQ(g.Next(), 0xCC6A40E0u);
    EXPECT_EQ(g.Next(), 0xDEB8CEDDu);
    EXPECT_EQ(g.Next(), 0x8776511Cu);
    for (int i = 5; i < 257; ++i) g.Next();
    EXPECT_EQ(g.Next(), 0xAD1F22D9u);
}

TEST(IARand, NextHandsOutResultsFromTheTopDown) {
    TGenerateurVide g;
    g.Init();
    const uint32_t haut = g.Resultat(255), bas = g.Resultat(0);
    EXPECT_EQ(g.Next(), haut);
    EXPECT_EQ(g.Restants(), 255);
    for (int i = 2; i < 256; ++i) g.Next();
    EXPECT_EQ(g.Next(), bas);
    EXPECT_EQ(g.Restants(), 0);
    g.Next();  // the 257th runs Generate
    EXPECT_EQ(g.Restants(), 255);
}

TEST(IARand, ClearedAndNeverSeededGivesZero) {
    TGenerateurVide g;
    for (int i = 0; i < 300; ++i) ASSERT_EQ(g.Next(), 0u);
}

TEST(IARand, SeedingAgreesWithTheReferenceOnAPatternedPool) {
    TGenerateurVide g;
    TReference ref;
    for (int k = 0; k < 1024; ++k) {
        const uint8_t b = uint8_t(k * 37 + 11);
        g.AddByte(b);
        ref.r[k / 4] |= uint32_t(b) << (8 * (k % 4));
    }
    g.Init();
    ref.Init();
    for (int pass = 0; pass < 3; ++pass) {
        for (int i = 255; i >= 0; --i) ASSERT_EQ(g.Next(), ref.r[i]) << "pass " << pass << " word " << i;
        ref.Generer();
    }
}

// Everything Next's caller can see of a generator.
std::vector<uint32_t> Visible(const TIARand& g) {
    std::vector<uint32_t> v;
    for (int i = 0; i < 256; ++i) {
        v.push_back(g.Resultat(i));
        v.push_back(g.Memoire(i));
    }
    v.push_back(uint32_t(g.Restants()));
    v.push_back(g.Accumulateur());
    return v;
}

// The following pass, prepared to its end through the loan of its steps.
const uint32_t* Preparer(TIARand& g) {
    TIARand::TPreparation p = g.Preter();
    while (p.AFaire != 0) p.Etape();
    g.Rendre(p);
    return p.Resultats;
}

TEST(IARand, LookingAheadAndSkippingAgreeWithNext) {
    // From a fresh seed and from a spent pass (Restants 0), skips of every
    // size up to several passes, the look-ahead read before some of them.
    for (int essai = 0; essai < 40; ++essai) {
        TGenerateurVide a, b;
        for (TIARand* g : {static_cast<TIARand*>(&a), static_cast<TIARand*>(&b)}) {
            g->AddLong(uint32_t(essai));
            g->Init();
        }
        if (essai % 2)
            for (int i = 0; i < 256; ++i) a.Next(), b.Next();
        for (uint64_t k : {uint64_t(0), uint64_t(1), uint64_t(essai), uint64_t(255), uint64_t(256), uint64_t(257),
                           uint64_t(700 + 13 * essai)}) {
            std::vector<uint32_t> apres;
            if (k % 3 == 1) {
                // What is ahead: the rest of this pass from the top down, then the next pass.
                const int r = a.Restants();
                for (int i = r - 1; i >= 0; --i) apres.push_back(a.Passe()[i]);
                for (int i = 255; i >= 0; --i) apres.push_back(Preparer(a)[i]);
            }
            a.Sauter(k);
            std::vector<uint32_t> pris;
            for (uint64_t i = 0; i < k; ++i) pris.push_back(b.Next());
            ASSERT_EQ(Visible(a), Visible(b)) << "skip of " << k << ", seed " << essai;
            for (size_t i = 0; i < apres.size() && i < pris.size(); ++i)
                ASSERT_EQ(apres[i], pris[i]) << "word " << i << " ahead, seed " << essai;
        }
        for (int i = 0; i < 600; ++i) ASSERT_EQ(a.Next(), b.Next());
    }
    // Cleared, nothing prepared: the look-ahead starts the next pass itself.
    TGenerateurVide a, b;
    EXPECT_EQ(Preparer(a)[255], 0u);
    a.Sauter(300);
    for (int i = 0; i < 300; ++i) b.Next();
    EXPECT_EQ(Visible(a), Visible(b));
}

TEST(IARand, PoolBytePositions) {
    TGenerateurVide g;
    g.AddLong(0x11223344);
    EXPECT_EQ(g.Resultat(0), 0x44332211u);
    EXPECT_EQ(g.OctetPool(0), 0x11);
    EXPECT_EQ(g.IndexPool(), 4);

    g.Clear();
    uint8_t tampon[3] = {0x61, 0x62, 0x63};
    g.AddBuffer(tampon, 3);
    EXPECT_EQ(g.Resultat(0), 0x00636261u);
    EXPECT_EQ(g.IndexPool(), 3);
    EXPECT_EQ(tampon[0] | tampon[1] | tampon[2], 0) << "the caller's bytes are wiped";

    uint8_t intact[2] = {7, 8};
    g.AddBuffer(intact, 0);
    g.AddBuffer(intact, -5);
    EXPECT_EQ(g.IndexPool(), 3);
    EXPECT_EQ(g.Resultat(0), 0x00636261u);
    EXPECT_EQ(intact[0], 7);
    EXPECT_EQ(intact[1], 8);
}

TEST(IARand, AddByteWrapsOnlyPast1023AndAddsWithoutCarry) {
    TGenerateurVide g;
    g.AddByte(0xFF);
    for (int k = 1; k < 1023; ++k) g.AddByte(0);
    g.AddByte(0x5A);  // pool byte 1023
    EXPECT_EQ(g.IndexPool(), 1024);
    EXPECT_EQ(g.OctetPool(1023), 0x5A);
    EXPECT_EQ(g.OctetPool(0), 0xFF) << "the 1,024th byte does not wrap yet";

    g.AddByte(0x02);
    EXPECT_EQ(g.IndexPool(), 1);
    EXPECT_EQ(g.OctetPool(0), 0x01);
    EXPECT_EQ(g.OctetPool(1), 0x00) << "no carry into the next byte";
}

TEST(IARand, InitReadsPoolByte1023) {
    TGenerateurVide a, b;
    for (int k = 0; k < 1023; ++k) b.AddByte(0);
    b.AddByte(1);
    a.Init();
    b.Init();
    EXPECT_NE(a.Next(), b.Next());
}

// A platform whose system readings are one known word.
class TPlateformeReleveFixe : public TPlateformeFautive {
public:
    void ReleverSysteme(TPuitsReleves& g) override {
        ++Releves;
        g.AddLong(0xC0FFEE42);
    }
    int Releves = 0;
};

TEST(IARand, ConstructorAndReseedStartFromAZeroPoolAndGatherOnce) {
    TGenerateurVide attendu;
    attendu.AddLong(0xC0FFEE42);
    attendu.Init();
    const uint32_t premier = attendu.Next();

    TPlateformeReleveFixe p;
    TIARand g;
    EXPECT_EQ(p.Releves, 1);
    EXPECT_EQ(g.Next(), premier);
    for (int i = 0; i < 1000; ++i) g.Next();
    g.Reseed();
    EXPECT_EQ(p.Releves, 2);
    EXPECT_EQ(g.Restants(), 256);
    EXPECT_EQ(g.Next(), premier) << "Reseed must zero the pool and the state before gathering";
}

TEST(IARand, ClearWipesEveryField) {
    TGenerateurVide g;
    g.AddLong(0xDEADBEEF);
    g.Init();
    g.Next();
    ASSERT_FALSE(g.EstEfface());
    g.Clear();
    EXPECT_TRUE(g.EstEfface());
}

TEST(IARand, DestructorWipesTheStorage) {
    // The stores of a destructor are dead to the optimiser; only a zeroing it
    // cannot remove leaves the storage clean once the object is gone.
    alignas(TIARand) unsigned char stockage[sizeof(TIARand)];
    std::memset(stockage, 0, sizeof stockage);
    auto* g = new (stockage) TIARand();
    g->Next();
    size_t nonNuls = 0;
    for (size_t i = sizeof(void*); i < sizeof stockage; ++i) nonNuls += stockage[i] != 0;
    ASSERT_GT(nonNuls, 1000u);
    g->~TIARand();
    size_t restes = 0;
    for (size_t i = sizeof(void*); i < sizeof stockage; ++i) restes += stockage[i] != 0;
    EXPECT_EQ(restes, 0u);
}

}  // namespace
