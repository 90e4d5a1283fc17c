#include "random/IARand.hpp"

#include <algorithm>
#include <cstring>

#include "platform/Plateforme.hpp"

namespace {

constexpr uint32_t kNombreDor = 0x9E3779B9u;

struct TMelange {
    uint32_t a, b, c, d, e, f, g, h;

    void Mix() {
        a ^= b << 11; d += a; b += c;
        b ^= c >> 2;  e += b; c += d;
        c ^= d << 8;  f += c; d += e;
        d ^= e >> 16; g += d; e += f;
        e ^= f << 10; h += e; f += g;
        f ^= g >> 4;  a += f; g += h;
        g ^= h << 8;  b += g; h += a;
        h ^= a >> 9;  c += h; a += b;
    }
    void Ajouter(const uint32_t* m) {
        a += m[0]; b += m[1]; c += m[2]; d += m[3];
        e += m[4]; f += m[5]; g += m[6]; h += m[7];
    }
    void Ranger(uint32_t* m) const {
        m[0] = a; m[1] = b; m[2] = c; m[3] = d;
        m[4] = e; m[5] = f; m[6] = g; m[7] = h;
    }
};

}  // namespace

TIARand::TIARand() {
    std::memset(Results, 0, sizeof Results);
    std::memset(Memory, 0, sizeof Memory);
    Remaining = 0;
    Accumulator = 0;
    PoolIndex = 0;
    std::memset(ResultatsAvance, 0, sizeof ResultatsAvance);
    std::memset(MemoireAvance, 0, sizeof MemoireAvance);
    AccumulateurAvance = 0;
    AFaire = 0;
    Preparee = false;
    Reseed();
}

TIARand::~TIARand() { Clear(); }

void TIARand::Clear() {
    // explicit_bzero cannot be dropped by the optimiser, even in a destructor.
    explicit_bzero(Results, sizeof Results);
    explicit_bzero(Memory, sizeof Memory);
    explicit_bzero(&Remaining, sizeof Remaining);
    explicit_bzero(&Accumulator, sizeof Accumulator);
    explicit_bzero(&PoolIndex, sizeof PoolIndex);
    // The prepared pass holds words still to come: wiped as well.
    explicit_bzero(ResultatsAvance, sizeof ResultatsAvance);
    explicit_bzero(MemoireAvance, sizeof MemoireAvance);
    explicit_bzero(&AccumulateurAvance, sizeof AccumulateurAvance);
    explicit_bzero(&AFaire, sizeof AFaire);
    explicit_bzero(&Preparee, sizeof Preparee);
}

bool TIARand::EstEfface() const {
    for (int i = 0; i < 256; ++i)
        if (Results[i] != 0 || Memory[i] != 0 || ResultatsAvance[i] != 0 || MemoireAvance[i] != 0) return false;
    return Remaining == 0 && Accumulator == 0 && PoolIndex == 0 && AccumulateurAvance == 0 && AFaire == 0 &&
           !Preparee;
}

void TIARand::AddByte(uint8_t b) {
    if (PoolIndex > 1023) PoolIndex = 0;
    const int mot = PoolIndex >> 2;
    const int decalage = 8 * (PoolIndex & 3);
    const uint32_t octet = uint8_t((Results[mot] >> decalage) + b);
    Results[mot] = (Results[mot] & ~(0xFFu << decalage)) | (octet << decalage);
    ++PoolIndex;
}

void TIARand::AddLong(uint32_t v) {
    AddByte(uint8_t(v >> 24));
    AddByte(uint8_t(v >> 16));
    AddByte(uint8_t(v >> 8));
    AddByte(uint8_t(v));
}

void TIARand::AddBuffer(void* buf, int32_t len) {
    if (len <= 0) return;
    auto* octets = static_cast<uint8_t*>(buf);
    for (int32_t i = 0; i < len; ++i) AddByte(octets[i]);
    explicit_bzero(buf, size_t(len));
}

void TIARand::Init() {
    Accumulator = 0;
    TMelange m{kNombreDor, kNombreDor, kNombreDor, kNombreDor,
               kNombreDor, kNombreDor, kNombreDor, kNombreDor};
    for (int i = 0; i < 4; ++i) m.Mix();
    for (int i = 0; i < 256; i += 8) {
        m.Ajouter(&Results[i]);
        m.Mix();
        m.Ranger(&Memory[i]);
    }
    for (int i = 0; i < 256; i += 8) {
        m.Ajouter(&Memory[i]);
        m.Mix();
        m.Ranger(&Memory[i]);
    }
    explicit_bzero(&m, sizeof m);
    Generate();
    Remaining = 256;
}

void TIARand::Generate() {
    uint32_t acc = Accumulator;
    // Each step must see the writes of the steps before it (an index equal to
    // or below i reads this pass's word), so the unrolled steps stay in order.
#define KOZ_ETAPE(j)                                   \
    {                                                  \
        const uint32_t x = Memory[j];                  \
        const uint32_t y = Memory[x & 255] + acc;      \
        Memory[j] = y;                                 \
        acc = Memory[(y >> 8) & 255] + x;              \
        Results[j] = acc;                              \
    }
    for (int i = 0; i < 256; i += 4) {
        KOZ_ETAPE(i)
        KOZ_ETAPE(i + 1)
        KOZ_ETAPE(i + 2)
        KOZ_ETAPE(i + 3)
    }
#undef KOZ_ETAPE
    Accumulator = acc;
    Anticiper();
}

void TIARand::Anticiper() {
    std::memcpy(MemoireAvance, Memory, sizeof Memory);
    AccumulateurAvance = Accumulator;
    AFaire = 256;
    Preparee = true;
}

void TIARand::PasseSuivante() noexcept {
    if (!Preparee) {
        Generate();
        return;
    }
    while (AFaire != 0) EtapeAvance();
    std::memcpy(Results, ResultatsAvance, sizeof Results);
    std::memcpy(Memory, MemoireAvance, sizeof Memory);
    Accumulator = AccumulateurAvance;
    Anticiper();
}

void TIARand::Sauter(uint64_t k) {
    while (k != 0) {
        if (Remaining == 0) {
            PasseSuivante();
            Remaining = 256;
        }
        const uint32_t t = uint32_t(std::min<uint64_t>(k, uint64_t(Remaining)));
        Remaining -= int32_t(t);
        k -= t;
    }
}

TIARand::TPreparation TIARand::Preter() {
    if (!Preparee) Anticiper();
    return Pret();
}

void TIARand::Reseed() {
    Clear();
    GatherEntropy();
    Init();
}

void TIARand::GatherEntropy() {
    // The platform hands its readings to the pool through this adapter.
    struct TPool : TPuitsReleves {
        explicit TPool(TIARand& g) : G(g) {}
        void AddByte(uint8_t b) override { G.AddByte(b); }
        void AddLong(uint32_t v) override { G.AddLong(v); }
        void AddBuffer(void* buf, int32_t len) override { G.AddBuffer(buf, len); }
        TIARand& G;
    } pool(*this);
    Plateforme().ReleverSysteme(pool);
}
