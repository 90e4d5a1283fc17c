#include "state/KOZGrille.hpp"

#include <cstring>
#include <utility>

#include "random/KOZTools.hpp"
#include "state/KOZFichierEtat.hpp"
#include "state/PermutationVectorielle.hpp"

TKOZGrille::TKOZGrille() : ModeSecurise(false) {
    Generer();
    Echange = std::make_unique<TKOZEchange>();
    Permutations = std::make_unique<TKOZPermutations>();
}

TKOZGrille::~TKOZGrille() {
    Echange.reset();
    Permutations.reset();
}

void TKOZGrille::Generer() {
    for (int i = 0; i < 256; ++i) Cases_[i] = uint8_t(i);
    Reindexer();
    for (int k = 0; k < 256; ++k) {
        const uint8_t a = RandomBelow(256);
        uint8_t b = RandomBelow(256);
        while (b == a) b = RandomBelow(256);
        Echanger(a, b);
    }
}

uint8_t TKOZGrille::PositionLineaire(uint8_t v) const {
    for (int p = 0; p < 256; ++p)
        if (Cases_[p] == v) return uint8_t(p);
    throw EKOZException("La valeur cherchée n'est pas dans la grille");
}

void TKOZGrille::Verifier() const {
    bool marques[256] = {};
    bool ok = true;
    std::string doublons, manquent;
    static const char kHex[] = "0123456789ABCDEF";
    auto hex = [](std::string& liste, int v) {
        liste += kHex[v >> 4];
        liste += kHex[v & 15];
        liste += ' ';
    };
    for (int p = 0; p < 256; ++p) {
        const uint8_t v = Cases_[p];
        if (!marques[v]) {
            marques[v] = true;
        } else {
            hex(doublons, v);
            ok = false;
        }
    }
    if (ok) return;
    for (int v = 0; v < 256; ++v)
        if (!marques[v]) hex(manquent, v);
    // Both lists end with one blank; the message carries them trimmed.
    if (!manquent.empty()) manquent.pop_back();
    if (!doublons.empty()) doublons.pop_back();
    throw EKOZException("La grille n'est plus valide\r\n\r\nManquent = " + manquent + "\r\nDoublons = " + doublons);
}

void TKOZGrille::Permuter(uint8_t v) {
    const TPermutation t = Permutations->Table[v];
    const uint8_t base1 = BaseSegment(t.Segment1), pas1 = PasSegment(t.Segment1);
    const uint8_t base2 = BaseSegment(t.Segment2), pas2 = PasSegment(t.Segment2);
    const int longueur = t.Longueur;
    // Byte stores may alias any member: the loops work through local copies.
    uint8_t* const cases = Cases_.data();
    uint8_t a = base1, b = base2;
    for (int i = 0; i < longueur; ++i) {
        std::swap(cases[a], cases[b]);
        a = uint8_t(a + pas1);
        b = uint8_t(b + pas2);
    }
    if (!Indexee_) return;
    // The values that moved are exactly those now in the cells the exchanges
    // touched, so pointing the inverse table at each touched cell afterwards
    // gives what updating it at every exchange would give, and keeps the
    // exchange loop free of stores at data-dependent places (measured faster).
    uint8_t* const inverse = Inverse_.data();
    a = base1;
    b = base2;
    for (int i = 0; i < longueur; ++i) {
        inverse[cases[a]] = a;
        inverse[cases[b]] = b;
        a = uint8_t(a + pas1);
        b = uint8_t(b + pas2);
    }
}

void TKOZGrille::EvoluerDepuis(uint8_t v, uint8_t p) {
    const uint8_t e = Echange->Table[v];
    Echanger(p, e);
    Permuter(v);
    if (ModeSecurise) Verifier();
}

void TKOZGrille::Sauver(const std::string& dir, const std::string& nom) const {
    EcrireTableEtat(dir + nom + ".KGR", Cases_.data(), Cases_.size());
    Echange->Sauver(dir, nom);
    Permutations->Sauver(dir, nom);
}

void TKOZGrille::Charger(const std::string& dir, const std::string& nom) {
    TCases lues;
    LireTableEtat(dir + nom + ".KGR", lues.data(), lues.size());
    DefinirCases(lues);
    Verifier();
    Echange->Charger(dir, nom);
    Permutations->Charger(dir, nom);
}

void TKOZGrille::DefinirCases(const TCases& cases) {
    Cases_ = cases;
    Reindexer();
}

void TKOZGrille::DefinirCase(uint8_t i, uint8_t v) {
    Cases_[i] = v;
    Reindexer();
}

void TKOZGrille::Reindexer() {
    bool vu[256] = {};
    int distincts = 0;
    // From the top down, so that the lowest cell of a repeated value wins.
    for (int p = 255; p >= 0; --p) {
        const uint8_t v = Cases_[p];
        Inverse_[v] = uint8_t(p);
        if (!vu[v]) {
            vu[v] = true;
            ++distincts;
        }
    }
    Permutation_ = distincts == 256;
    Indexee_ = Permutation_ && TenirInverse_;
}

namespace {
bool VectorielleAutorisee = true;

bool ProcesseurVectoriel() {
#if defined(__x86_64__)
    // Also false where the system does not save the 512-bit registers.
    static const bool oui = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("bmi") &&
                            __builtin_cpu_supports("bmi2");
    return oui;
#else
    return false;
#endif
}

#if defined(__x86_64__)
KOZ_CIBLE_VECTORIELLE void EvoluerVectoriel(uint8_t* cases, uint8_t* inverse, const uint8_t* vers,
                                            const uint8_t* depuis, uint8_t p, uint8_t e) {
    // Exchanging cells p and e, then permuting: cell c takes what cell
    // vers[c] held after the exchange, that is cell vers[c] with p and e
    // traded. The inverse table maps each value's old cell q to its new cell
    // depuis[q], q again with p and e traded first.
    __m512i t[4], r[4];
    for (int k = 0; k < 4; ++k) t[k] = _mm512_loadu_si512(cases + 64 * k);
    Permuter256(t, vers, p, e, r);
    for (int k = 0; k < 4; ++k) _mm512_storeu_si512(cases + 64 * k, r[k]);
    if (!inverse) return;
    for (int k = 0; k < 4; ++k) t[k] = _mm512_loadu_si512(depuis + 64 * k);
    Permuter256(t, inverse, p, e, r);
    for (int k = 0; k < 4; ++k) _mm512_storeu_si512(inverse + 64 * k, r[k]);
}
#endif
}  // namespace

bool TKOZGrille::AutoriserEvolutionVectorielle(bool oui) {
    const bool avant = VectorielleAutorisee;
    VectorielleAutorisee = oui;
    return avant;
}

bool TKOZGrille::EvolutionVectorielle() { return VectorielleAutorisee && ProcesseurVectoriel(); }

bool TKOZGrille::PreparerEvolution() {
    if (!EvolutionVectorielle()) return false;
    if (!Compilees_) Compilees_ = std::make_unique<TPermutationsCompilees>();
    for (int v = 0; v < 256; ++v) {
        // Permuter(v) run on the identity grid gives where each cell comes from.
        uint8_t* const vers = Compilees_->Vers[v];
        for (int c = 0; c < 256; ++c) vers[c] = uint8_t(c);
        const TPermutation t = Permutations->Table[v];
        const uint8_t pas1 = PasSegment(t.Segment1), pas2 = PasSegment(t.Segment2);
        uint8_t a = BaseSegment(t.Segment1), b = BaseSegment(t.Segment2);
        for (int i = 0; i < t.Longueur; ++i) {
            std::swap(vers[a], vers[b]);
            a = uint8_t(a + pas1);
            b = uint8_t(b + pas2);
        }
        for (int c = 0; c < 256; ++c) Compilees_->Depuis[v][vers[c]] = uint8_t(c);
    }
    return true;
}

void TKOZGrille::EvoluerPrepare(uint8_t v, uint8_t p) {
#if defined(__x86_64__)
    EvoluerVectoriel(Cases_.data(), Indexee_ ? Inverse_.data() : nullptr, Compilees_->Vers[v], Compilees_->Depuis[v],
                     p, Echange->Table[v]);
    if (ModeSecurise) Verifier();
#else
    EvoluerDepuis(v, p);
#endif
}
