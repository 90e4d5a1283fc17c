#include "state/KOZGrille.hpp"

#include <cstdlib>
#include <algorithm>
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
    for (int i = 0; i < t.Longueur; ++i) Echanger(Adresse(uint8_t(i), t.Segment1), Adresse(uint8_t(i), t.Segment2));
}

void TKOZGrille::Evoluer(uint8_t v) {
    const uint8_t p = Position(v);
    Echanger(p, Echange->Table[v]);
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

bool ProcesseurVectoriel() {
#if defined(__x86_64__)
    // Also false where the system does not save the 512-bit registers.
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
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

KOZ_CIBLE_VECTORIELLE uint8_t ChercherVectoriel(const uint8_t* cases, uint8_t v) {
    __m512i c[4];
    for (int k = 0; k < 4; ++k) c[k] = _mm512_loadu_si512(cases + 64 * k);
    return ChercherCase(c, v);
}
#endif
}  // namespace

TKOZGrille::TFormeRapide TKOZGrille::FormeDuProcesseur() {
    static const TFormeRapide forme = [] {
        const char* sans = std::getenv("KOZ_SANS_AVX512");
        const bool interdit = sans && *sans && std::strcmp(sans, "0") != 0;
        return ProcesseurVectoriel() && !interdit ? TFormeRapide::Avx512 : TFormeRapide::Portable;
    }();
    return forme;
}

bool TKOZGrille::AutoriserEvolutionVectorielle(bool oui) {
    const bool avant = FormeImposee_ < 0;
    FormeImposee_ = oui ? -1 : int(TFormeRapide::Portable);
    return avant;
}

uint8_t TKOZGrille::PositionVectorielle(uint8_t v) const {
#if defined(__x86_64__)
    return ChercherVectoriel(Cases_.data(), v);
#else
    return PositionLineaire(v);
#endif
}

void TKOZGrille::PreparerEvolution() {
    if (!Compilees_) Compilees_ = std::make_unique<TPermutationsCompilees>();
    for (int v = 0; v < 256; ++v) {
        const TPermutation t = Permutations->Table[v];
        TSegmentsCompiles& s = Compilees_->Segments[v];
        s = {};
        s.Base1 = BaseSegment(t.Segment1);
        s.Pas1 = PasSegment(t.Segment1);
        s.Base2 = BaseSegment(t.Segment2);
        s.Pas2 = PasSegment(t.Segment2);
        s.Longueur = t.Longueur;
        for (int i = 0; i < kPaires; ++i) {
            const bool pas = i < t.Longueur;
            s.A[i] = pas ? uint8_t(s.Base1 + s.Pas1 * i) : uint8_t(17 * i);
            s.B[i] = pas ? uint8_t(s.Base2 + s.Pas2 * i) : uint8_t(17 * i);
        }
        // The exchanges of entry v run on the identity grid give where each cell comes from.
        uint8_t* const vers = Compilees_->Vers[v];
        for (int c = 0; c < 256; ++c) vers[c] = uint8_t(c);
        uint8_t a = s.Base1, b = s.Base2;
        for (int i = 0; i < s.Longueur; ++i) {
            std::swap(vers[a], vers[b]);
            a = uint8_t(a + s.Pas1);
            b = uint8_t(b + s.Pas2);
        }
        for (int c = 0; c < 256; ++c) Compilees_->Depuis[v][vers[c]] = uint8_t(c);
    }
}

void TKOZGrille::EvoluerRapide(uint8_t v, uint8_t p) {
    const uint8_t e = Echange->Table[v];
#if defined(__x86_64__)
    if (FormeRapide() == TFormeRapide::Avx512) {
        EvoluerVectoriel(Cases_.data(), Indexee_ ? Inverse_.data() : nullptr, Compilees_->Vers[v],
                         Compilees_->Depuis[v], p, e);
        if (ModeSecurise) Verifier();
        return;
    }
#endif
    if (Indexee_) {
        EchangerSegments(Cases_.data(), Inverse_.data(), p, e, Compilees_->Segments[v]);
    } else {
        // Without the inverse table (a grid that is not a permutation, or a
        // derived class that keeps none), the exchanges write a scratch copy.
        uint8_t poubelle[256];
        EchangerSegments(Cases_.data(), poubelle, p, e, Compilees_->Segments[v]);
    }
    if (ModeSecurise) Verifier();
}
