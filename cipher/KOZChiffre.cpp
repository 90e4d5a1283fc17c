#include "cipher/KOZChiffre.hpp"

#include <cstring>
#include <vector>

#include "state/PermutationVectorielle.hpp"

TKOZChiffre::TKOZChiffre()
    : Codages{&TKOZChiffre::CodageCroix, &TKOZChiffre::CodageCroixDouble, &TKOZChiffre::CodageVoisins,
              &TKOZChiffre::CodageVoisinsDoubles, &TKOZChiffre::CodageSuite} {
    TenirInverse(InverseUtile());
}

TKOZChiffre::~TKOZChiffre() = default;

template <class FTirer>
void TKOZChiffre::Coder(const FTirer& tirer, uint8_t v, TBlocChiffre& bloc) {
    const uint8_t p = Position(v);
    auto mot = [] { return MotPartage(); };
    const TTirage t = tirer(mot);
    uint8_t octets[4];
    const size_t n = Ecrire(p, t, octets);
    bloc.assign(octets, octets + n);
}

void TKOZChiffre::CodageCroix(uint8_t v, TBlocChiffre& bloc) {
    Coder([](auto& mot) { return koz_tirages::Croix(mot); }, v, bloc);
}
void TKOZChiffre::CodageCroixDouble(uint8_t v, TBlocChiffre& bloc) {
    Coder([](auto& mot) { return koz_tirages::CroixDouble(mot); }, v, bloc);
}
void TKOZChiffre::CodageVoisins(uint8_t v, TBlocChiffre& bloc) {
    Coder([](auto& mot) { return koz_tirages::Voisins(mot); }, v, bloc);
}
void TKOZChiffre::CodageVoisinsDoubles(uint8_t v, TBlocChiffre& bloc) {
    Coder([](auto& mot) { return koz_tirages::VoisinsDoubles(mot); }, v, bloc);
}
void TKOZChiffre::CodageSuite(uint8_t v, TBlocChiffre& bloc) {
    Coder([](auto& mot) { return koz_tirages::Suite(mot); }, v, bloc);
}

size_t TKOZChiffre::ChiffrerVers(uint8_t v, uint8_t* sortie, bool rapide) {
    auto mot = [] { return MotPartage(); };
    const uint8_t i = uint8_t(mot() % 5);
    const uint8_t p = Position(v);
    const size_t n = Ecrire(p, koz_tirages::DuCodage(i, mot), sortie);
    EvoluerSelon(v, p, rapide);
    return n;
}

bool TKOZChiffre::InverseUtile() {
    // One value is looked up per plain byte. Where all 256 cells can be
    // compared at once, that costs less than keeping the inverse table at
    // each exchange; elsewhere the table is the cheaper way.
    return FormeRapide() == TFormeRapide::Portable;
}

namespace {
unsigned FilsImposes = 0;

// Below this many bytes a buffer is encrypted on the caller's thread alone:
// starting the draw thread would cost more than it saves.
constexpr size_t kSeuilDeuxFils = 4096;
// A buffer in which the threads slept more often than this while waiting
// for each other did not have two processors: the next kRepos buffers run
// on one thread, which then loses nothing to the waits.
constexpr uint64_t kSommeilsTolere = 4;
constexpr int kRepos = 16;
}  // namespace

namespace {
#if defined(__x86_64__)
// The blocks of the k plain bytes of clair, whose draws t were made ahead,
// to sortie (room for 4 bytes each), in the AVX-512 form: the cells held in
// registers, and written back to cases on return. A block's cells are read
// from the registers. The cell of the next byte is found in the registers
// before this byte's evolution and carried through it (to depuis[q], q with
// p and e traded), so that it is known as soon as this byte's evolution is
// decided. Returns the bytes written. REQUIRES: the cells are a permutation.
KOZ_CIBLE_VECTORIELLE size_t AppliquerVectoriel(uint8_t* cases, const uint8_t* echange, const uint8_t* vers,
                                                const uint8_t* depuis, const uint8_t* clair, const TTirage* t,
                                                size_t k, uint8_t* sortie) {
    if (k == 0) return 0;
    __m512i c[4];
    for (int m = 0; m < 4; ++m) c[m] = _mm512_loadu_si512(cases + 64 * m);
    const __m128i seize = _mm_set1_epi8(char(0xF0)), unites = _mm_set1_epi8(0x0F);
    size_t n = 0;
    uint8_t p = ChercherCase(c, clair[0]);
    for (size_t j = 0; j < k; ++j) {
        const uint8_t v = clair[j];
        const uint8_t e = echange[v];
        // The block's cells, Decaler of p by each of the four offsets (rows
        // and columns each modulo 16), and their values, all at once.
        uint32_t brut;
        std::memcpy(&brut, t[j].Decalages, 4);
        const __m128i d = _mm_cvtsi32_si128(int(brut)), vp = _mm_set1_epi8(char(p));
        const __m128i cellules = _mm_or_si128(_mm_and_si128(_mm_add_epi8(vp, _mm_and_si128(d, seize)), seize),
                                              _mm_and_si128(_mm_add_epi8(vp, d), unites));
        const uint32_t bloc =
            uint32_t(_mm_cvtsi128_si32(Bas128(Consulter256(c, _mm512_castsi128_si512(cellules)))));
        std::memcpy(sortie + n, &bloc, 4);
        n += t[j].Longueur;
        const uint8_t q = ChercherCase(c, j + 1 < k ? clair[j + 1] : v);
        // Cell x takes what cell vers[x] held once p and e were exchanged.
        __m512i r[4];
        Permuter256(c, vers + 256 * v, p, e, r);
        for (int m = 0; m < 4; ++m) c[m] = r[m];
        p = depuis[256 * v + (q == p ? e : q == e ? p : q)];
    }
    for (int m = 0; m < 4; ++m) _mm512_storeu_si512(cases + 64 * m, c[m]);
    return n;
}
#endif
}  // namespace

unsigned TKOZChiffre::ImposerFils(unsigned n) {
    const unsigned avant = FilsImposes;
    FilsImposes = n;
    return avant;
}

void TKOZChiffre::ChiffrerFlux(TFluxLecture& Source, TFluxEcriture& Destination, const TSuivi* suivi) {
    // Secure mode checks the grid after every byte: it takes the reference
    // evolution, whose cost is nothing beside the check's.
    const bool rapide = !ModeSecurise;
    if (rapide) {
        PreparerEvolution();
        TenirInverse(InverseUtile());
    }
    const unsigned fils = FilsImposes ? FilsImposes : FilsDeChiffrement();
    std::vector<uint8_t> clair(kTailleTamponClair);
    std::vector<uint8_t> chiffre(4 * kTailleTamponClair);
    size_t rempli = 0;  // bytes of chiffre holding finished blocks
    const uint64_t total = Source.Taille();
    uint64_t fait = 0;
    // Started at the first buffer that uses it; stopped and joined when the
    // loop ends, whatever ends it.
    std::unique_ptr<TTireur> tireur;
    int repos = 0;  // buffers still to run on one thread
    auto vider = [&] {
        // Counted as gone before the write: a write that fails part way is
        // never repeated, so no block can reach the file twice.
        const size_t k = rempli;
        rempli = 0;
        if (k) Destination.Ecrire(chiffre.data(), k);
    };
    try {
        for (;;) {
            const size_t n = Source.Lire(clair.data(), clair.size());
            if (n == 0) break;
            // Where the grid is a permutation no byte can fail once drawn, so
            // the draws may run ahead within the buffer. Otherwise a value
            // missing from the grid fails after the slot's draw alone: one
            // thread, in the order of ChiffrerOctet. (A read may have changed
            // the grid: this is asked again at each buffer.)
            const bool deux = FilsImposes >= 2 || (fils >= 2 && n >= kSeuilDeuxFils && repos == 0);
            if (repos > 0) --repos;
            if (deux && EstPermutation()) {
                if (!tireur) tireur = std::make_unique<TTireur>(suivi);
                const uint64_t sommeils = tireur->Sommeils();
                tireur->Demander(n);
                // What the destination put off from the last buffer, done by
                // whichever thread waits for the other first.
                tireur->Confier([&Destination] { Destination.Rattraper(); });
#if defined(__x86_64__)
                const bool vectoriel = rapide && FormeRapide() == TFormeRapide::Avx512 && !InverseTenu();
#endif
                size_t i = 0;
                while (i < n) {
                    const TTirage* t = nullptr;
                    const size_t k = tireur->Attendre(t);
                    if (k == 0) tireur->Relancer();
#if defined(__x86_64__)
                    if (vectoriel)
                        rempli += AppliquerVectoriel(CasesEnPlace(), Echange->Table.data(), VersCompiles(),
                                                     DepuisCompiles(), &clair[i], t, k, &chiffre[rempli]);
                    else
#endif
                        for (size_t j = 0; j < k; ++j)
                            rempli += Appliquer(clair[i + j], t[j], &chiffre[rempli], rapide);
                    tireur->Rendre(k);
                    i += k;
                }
                try {
                    tireur->Achever();
                } catch (...) {
                    // As on one thread, where this work fails when the
                    // buffer is handed over: the buffer is not written.
                    rempli = 0;
                    throw;
                }
                if (tireur->Sommeils() - sommeils > kSommeilsTolere) repos = kRepos;
            } else {
                // The draw thread keeps what it read of the generator ahead:
                // it must not outlive a buffer that draws on this one.
                tireur.reset();
                for (size_t i = 0; i < n; ++i) {
                    if (suivi && suivi->ArretDemande()) throw EKOZInterruption("Chiffrement interrompu");
                    // A block counts only once its byte has evolved the grid: the
                    // block of a byte that fails is never written.
                    rempli += ChiffrerVers(clair[i], &chiffre[rempli], rapide);
                }
            }
            vider();
            fait += n;
            if (suivi && suivi->Progression) suivi->Progression(fait, total);
        }
    } catch (...) {
        // What the earlier bytes produced belongs in the destination; the
        // first failure is the one reported.
        tireur.reset();
        try {
            vider();
        } catch (...) {
        }
        throw;
    }
}

void TKOZChiffre::ChiffrerFichier(const std::string& Source, const std::string& Destination, const TSuivi* suivi) {
    auto source = Plateforme().OuvrirLecture(Source);
    auto destination = Plateforme().Creer(Destination, TGenreFichier::Donnees, source.get(),
                                          "Le fichier à chiffrer et le fichier chiffré sont le même fichier");
    ChiffrerFlux(*source, *destination, suivi);
    source.reset();
    destination->Fermer();
}
