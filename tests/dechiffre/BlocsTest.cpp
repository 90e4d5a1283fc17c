// The block rule: every block an encoder can make is read back to its plain
// byte with its length, and nothing else is accepted.

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "cipher/KOZChiffre.hpp"
#include "cipher/KOZDechiffre.hpp"
#include "tests/support/Tirages.hpp"

namespace {

TKOZGrille::TCases Identite() {
    TKOZGrille::TCases g;
    for (int i = 0; i < 256; ++i) g[i] = uint8_t(i);
    return g;
}

TKOZGrille::TCases Renversee() {
    TKOZGrille::TCases g;
    for (int i = 0; i < 256; ++i) g[i] = uint8_t(255 - i);
    return g;
}

// A cipher object and a decryptor sharing one grid.
struct TBanc {
    explicit TBanc(const TKOZGrille::TCases& cases) {
        c.DefinirCases(cases);
        d = std::make_unique<TKOZDechiffre>(c);
    }
    TKOZChiffre c;
    std::unique_ptr<TKOZDechiffre> d;
};

struct TResultat {
    int longueur;
    uint8_t v;
};

TResultat Lire(const TKOZDechiffre& d, std::vector<uint8_t> octets) {
    uint8_t v = 0;
    const int n = d.DechiffrerBloc(octets.data(), octets.size(), v);
    return {n, v};
}

// A block and its length as one key: length in the low byte, bytes above.
uint64_t Cle(const uint8_t* o, int n) {
    uint64_t k = uint64_t(n);
    for (int i = 0; i < n; ++i) k |= uint64_t(o[i]) << (8 * (i + 1));
    return k;
}

}  // namespace

TEST(DechiffreBlocsConnus, ChaqueCodageSurLaGrilleIdentiteRendSonOctet) {
    TBanc b(Identite());
    const struct {
        std::vector<uint8_t> bloc;
        int longueur;
        uint8_t v;
    } cas[] = {
        {{0x00, 0x01, 0x02}, 3, 0x00},        // Suite along the row
        {{0x00, 0x10, 0x20}, 3, 0x00},        // Suite along the column
        {{0x0F, 0x00, 0x01}, 3, 0x0F},        // Suite wrapping within row 0
        {{0xFF, 0x0F, 0x1F}, 3, 0xFF},        // Suite wrapping within column 15
        {{0x01, 0x0F}, 2, 0x00},              // Voisins, row, +1 first
        {{0x0F, 0x01}, 2, 0x00},              // Voisins, row, -1 first
        {{0x10, 0xF0}, 2, 0x00},              // Voisins, column, +1 first
        {{0xF0, 0x10}, 2, 0x00},              // Voisins, column, -1 first
        {{0x36, 0x45}, 2, 0x35},              // Croix, offsets 1 and 1
        {{0x33, 0x15}, 2, 0x35},              // Croix, offsets 14 and 14
        {{0x36, 0x37, 0x45, 0x55}, 4, 0x35},  // CroixDouble, a = b = 0
        {{0x32, 0x33, 0x05, 0x15}, 4, 0x35},  // CroixDouble, a = b = 12
        {{0x36, 0x37, 0x33, 0x34}, 4, 0x35},  // VoisinsDoubles (1, 2, 14, 15), row
        {{0x33, 0x34, 0x36, 0x37}, 4, 0x35},  // VoisinsDoubles (14, 15, 1, 2), row
        {{0x55, 0x45, 0x15, 0x25}, 4, 0x35},  // VoisinsDoubles (2, 1, 14, 15), column
        {{0x25, 0x15, 0x45, 0x55}, 4, 0x35},  // VoisinsDoubles (15, 14, 1, 2), column
    };
    for (const auto& k : cas) {
        const TResultat r = Lire(*b.d, k.bloc);
        EXPECT_EQ(r.longueur, k.longueur) << int(k.bloc[0]) << " " << int(k.bloc[1]);
        EXPECT_EQ(r.v, k.v) << int(k.bloc[0]) << " " << int(k.bloc[1]);
    }
}

TEST(DechiffreBlocsConnus, SurUneGrilleRenverseeLesPositionsComptentPasLesValeurs) {
    // Cell i holds 255 - i: the value 35 lies at row 12, column 10 (cell CA).
    TBanc b(Renversee());
    auto val = [](int l, int c) { return uint8_t(255 - (l * 16 + c)); };
    const struct {
        std::vector<uint8_t> bloc;
        int longueur;
    } cas[] = {
        {{val(12, 11), val(13, 10)}, 2},                            // Croix
        {{val(12, 3), val(12, 4), val(0, 10), val(1, 10)}, 4},      // CroixDouble, wrapping down
        {{val(11, 10), val(13, 10)}, 2},                            // Voisins along the column
        {{val(12, 8), val(12, 9), val(12, 11), val(12, 12)}, 4},    // VoisinsDoubles (14, 15, 1, 2)
        {{val(12, 10), val(12, 11), val(12, 12)}, 3},               // Suite
    };
    for (const auto& k : cas) {
        const TResultat r = Lire(*b.d, k.bloc);
        EXPECT_EQ(r.longueur, k.longueur);
        EXPECT_EQ(r.v, 0x35);
    }
}

TEST(DechiffreBlocsConnus, UnBlocQuiNePeutVenirDAucunCodageEstRefuse) {
    TBanc b(Identite());
    // Each line: a way of going wrong, with the plain byte meant at 35 (row 3, column 5).
    const std::vector<std::vector<uint8_t>> invalides = {
        {0x34, 0x45},              // Croix: first byte one column left of v (offset 15)
        {0x36, 0x25},              // Croix: second byte one row above v (offset 15)
        {0x30, 0x33},              // one row, three columns apart
        {0x30, 0x38},              // one row, eight columns apart
        {0x03, 0x83},              // one column, eight rows apart
        {0x30, 0x31, 0x37, 0x00},  // one step apart, third byte on the row, wrong place
        {0x31, 0x32, 0x3E, 0x3D},  // VoisinsDoubles (1, 2, 14, ?): the partner must be 15
        {0x31, 0x32, 0x3E, 0x4F},  // VoisinsDoubles: partner off the row
        {0x32, 0x31, 0x38, 0x00},  // one step back, third byte on the row, wrong place
        {0x32, 0x31, 0x3F, 0x3D},  // VoisinsDoubles (2, 1, 15, ?): the partner must be 14
        {0x31, 0x32, 0x51, 0x61},  // CroixDouble: column of v = column of the first byte
        {0x31, 0x32, 0x52, 0x62},  // CroixDouble: column of v = column of the second byte
        {0x31, 0x32, 0x53, 0x63},  // CroixDouble: first byte 14 columns right of v
        {0x31, 0x32, 0x10, 0x20},  // CroixDouble: third byte 14 rows below v
        {0x31, 0x32, 0x20, 0x30},  // CroixDouble: third byte 15 rows below v
        {0x31, 0x32, 0x50, 0x70},  // CroixDouble: fourth byte not right below the third
        {0x31, 0x32, 0x50, 0x51},  // CroixDouble: fourth byte beside the third
        {0x13, 0x23, 0x45, 0x55},  // one step down a column: no CroixDouble along a column
        {0x13, 0x23, 0x93, 0x00},  // one step down a column, third byte on it, wrong place
        {0x23, 0x13, 0x45, 0x55},  // one step up a column, third byte off it
    };
    for (const auto& bloc : invalides) {
        const TResultat r = Lire(*b.d, bloc);
        EXPECT_EQ(r.longueur, TKOZDechiffre::kBlocInvalide) << int(bloc[0]) << " " << int(bloc[1]) << " " << int(bloc[2]);
    }
}

TEST(DechiffreBlocsConnus, TropPeuDOctetsPourDeciderDemandeLaSuite) {
    TBanc b(Identite());
    EXPECT_EQ(Lire(*b.d, {}).longueur, TKOZDechiffre::kBlocIncomplet);
    EXPECT_EQ(Lire(*b.d, {0x35}).longueur, TKOZDechiffre::kBlocIncomplet);
    EXPECT_EQ(Lire(*b.d, {0x30, 0x31}).longueur, TKOZDechiffre::kBlocIncomplet);
    EXPECT_EQ(Lire(*b.d, {0x32, 0x31}).longueur, TKOZDechiffre::kBlocIncomplet);
    EXPECT_EQ(Lire(*b.d, {0x31, 0x32, 0x3E}).longueur, TKOZDechiffre::kBlocIncomplet);  // VoisinsDoubles
    EXPECT_EQ(Lire(*b.d, {0x36, 0x37, 0x45}).longueur, TKOZDechiffre::kBlocIncomplet);  // CroixDouble
    // Decided with what is there, whatever would follow.
    EXPECT_EQ(Lire(*b.d, {0x36, 0x45}).longueur, 2);
    EXPECT_EQ(Lire(*b.d, {0x34, 0x36}).longueur, 2);
    EXPECT_EQ(Lire(*b.d, {0x35, 0x36, 0x37}).longueur, 3);
    EXPECT_EQ(Lire(*b.d, {0x30, 0x33}).longueur, TKOZDechiffre::kBlocInvalide);
    EXPECT_EQ(Lire(*b.d, {0x30, 0x31, 0x37}).longueur, TKOZDechiffre::kBlocInvalide);
}

// Every block of every encoder, for every v and every draw sequence, on a
// few grids; then every byte string the decoder could be shown, walked as a
// tree of prefixes. The accepted prefixes must be exactly the produced
// blocks, each with its plain byte.
class DechiffreReglesDesBlocs : public ::testing::TestWithParam<int> {};

TEST_P(DechiffreReglesDesBlocs, AccepteExactementLesBlocsDesCodages) {
    TKOZGrille::TCases cases;
    if (GetParam() == 0) cases = Identite();
    else if (GetParam() == 1) cases = Renversee();
    else cases = TKOZChiffre().Cases();  // a fresh random grid
    TBanc b(cases);
    TKOZChiffre& c = b.c;
    const TKOZDechiffre& d = *b.d;

    std::map<uint64_t, uint8_t> produits;
    TBlocChiffre bloc;
    auto produire = [&](uint8_t v, std::vector<uint32_t> tirages, TKOZChiffre::TCodage codage, int longueur) {
        TTiragesScriptes script;
        for (uint32_t t : tirages) script.Ajouter(t);
        (c.*codage)(v, bloc);
        ASSERT_EQ(script.Tirages, tirages.size());
        ASSERT_EQ(int(bloc.size()), longueur);
        const auto [it, nouveau] = produits.emplace(Cle(bloc.data(), longueur), v);
        // Two plain bytes giving one block would make the cipher ambiguous.
        ASSERT_TRUE(nouveau || it->second == v) << "bloc ambigu";
        uint8_t lu = 0;
        ASSERT_EQ(d.DechiffrerBloc(bloc.data(), bloc.size(), lu), longueur);
        ASSERT_EQ(lu, v);
    };
    for (int v = 0; v < 256; ++v) {
        for (uint32_t a = 0; a < 14; ++a)
            for (uint32_t k = 0; k < 14; ++k) produire(uint8_t(v), {a, k}, &TKOZChiffre::CodageCroix, 2);
        for (uint32_t a = 0; a < 13; ++a)
            for (uint32_t k = 0; k < 13; ++k) produire(uint8_t(v), {a, k}, &TKOZChiffre::CodageCroixDouble, 4);
        for (uint32_t s = 0; s < 2; ++s)
            for (uint32_t t = 0; t < 2; ++t) produire(uint8_t(v), {s, t}, &TKOZChiffre::CodageVoisins, 2);
        for (uint32_t s = 0; s < 2; ++s) produire(uint8_t(v), {s}, &TKOZChiffre::CodageSuite, 3);
        // The second pick of VoisinsDoubles is drawn again while it falls in
        // the first pair (indices 0, 1 are the pair {1, 2}, 2, 3 the pair {14, 15}).
        for (uint32_t p = 0; p < 4; ++p)
            for (uint32_t q = 0; q < 4; ++q) {
                if ((p < 2) == (q < 2)) continue;
                for (uint32_t s = 0; s < 2; ++s) {
                    produire(uint8_t(v), {p, q, s}, &TKOZChiffre::CodageVoisinsDoubles, 4);
                    const uint32_t rejete = p ^ 1;  // the partner of the first pick
                    produire(uint8_t(v), {p, rejete, q, s}, &TKOZChiffre::CodageVoisinsDoubles, 4);
                }
            }
    }
    // 14*14 + 13*13 + 4 + 2 + 8*2 blocks per plain byte, all distinct.
    EXPECT_EQ(produits.size(), 256u * (196 + 169 + 4 + 2 + 16));

    // The decoder's answer on a prefix must not change when more bytes follow.
    std::mt19937 hasard(7);
    std::map<uint64_t, uint8_t> acceptes;
    uint8_t o[4];
    auto examiner = [&](int n) {
        uint8_t v = 0, w = 0;
        const int r = d.DechiffrerBloc(o, size_t(n), v);
        uint8_t prolonge[4] = {o[0], o[1], o[2], o[3]};
        for (int i = n; i < 4; ++i) prolonge[i] = uint8_t(hasard());
        const int r4 = d.DechiffrerBloc(prolonge, 4, w);
        if (r != TKOZDechiffre::kBlocIncomplet) {
            EXPECT_EQ(r4, r);
            if (r > 0) {
                EXPECT_EQ(w, v);
            }
        }
        if (r > 0) {
            EXPECT_EQ(r, n);
            acceptes.emplace(Cle(o, n), v);
        }
        return r;
    };
    long incomplets4 = 0;
    for (int b0 = 0; b0 < 256; ++b0)
        for (int b1 = 0; b1 < 256; ++b1) {
            o[0] = uint8_t(b0), o[1] = uint8_t(b1);
            if (examiner(2) != TKOZDechiffre::kBlocIncomplet) continue;
            for (int b2 = 0; b2 < 256; ++b2) {
                o[2] = uint8_t(b2);
                if (examiner(3) != TKOZDechiffre::kBlocIncomplet) continue;
                for (int b3 = 0; b3 < 256; ++b3) {
                    o[3] = uint8_t(b3);
                    if (examiner(4) == TKOZDechiffre::kBlocIncomplet) ++incomplets4;
                }
            }
        }
    EXPECT_EQ(incomplets4, 0);
    EXPECT_EQ(acceptes.size(), produits.size());
    EXPECT_TRUE(acceptes == produits);
}

INSTANTIATE_TEST_SUITE_P(Grilles, DechiffreReglesDesBlocs, ::testing::Values(0, 1, 2, 3));
