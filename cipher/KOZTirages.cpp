#include "cipher/KOZTirages.hpp"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <initializer_list>
#include <utility>

#if defined(__linux__)
#include <sched.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

inline void Patienter() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#else
    std::this_thread::yield();
#endif
}

// Records made between two publications of the count: each publication moves
// a cache line from one processor to the other.
constexpr uint64_t kLot = 256;
// Records handed to the caller at once, and freed together.
constexpr uint64_t kRendu = 256;

// The draw thread's loop over a word source that can fail (a test's): one
// word at a time, DUnOctet as it stands. Makes records up to fin unless it
// sees a stop (then returns true); produits counts the records made, also
// when a word fails.
template <class FMot>
struct TFabricantMots {
    FMot Mot;
    bool operator()(TTirage* anneau, uint64_t& produits, uint64_t fin, const TSuivi* suivi) {
        uint64_t p = produits;
        auto fabriquer = [&] {
            for (; p < fin; ++p) {
                if (suivi && suivi->ArretDemande()) return true;
                anneau[p % TTireur::kTaille] = koz_tirages::DUnOctet(Mot);
            }
            return false;
        };
        bool arret;
        if constexpr (noexcept(Mot())) {
            // No handler around the loop where no word can fail: one makes
            // the compiler keep the count where the handler can read it.
            arret = fabriquer();
        } else {
            try {
                arret = fabriquer();
            } catch (...) {
                produits = p;
                throw;
            }
        }
        produits = p;
        return arret;
    }
};

// The draw thread's loop over the shared generator. It reads the words of
// the current pass and of the next one where the generator keeps them,
// decodes each byte from them (koz_tirages::Lire, in which no branch
// depends on the words), and tells the generator how many words it took
// only before it hands the records over. Alongside, it runs the steps that
// prepare the generator's next pass: their chain of dependent loads is the
// longest of the loop, and the decoding fills the time between its loads.
//
// The words are kept as the generator lays them out, next pass first, and
// read from the top down: word c from now is F[-c], where F points at the
// current pass's last word. Eight words of margin below let Lire read a few
// words past the end without a test.
class TLecteurAvance {
public:
    explicit TLecteurAvance(TIARand& g) : G_(g) { Relire(); }

    bool operator()(TTirage* anneau, uint64_t& produits, uint64_t fin, const TSuivi* suivi) noexcept {
        uint64_t p = produits;
        uint32_t c = C_, e = Fin_;
        // The preparation in plain variables: the loop's chain runs through
        // acc, which must stay in a register.
        const TIARand::TPreparation pret = G_.Preter();
        uint32_t* const memoire = pret.Memoire;
        uint32_t* const resultats = pret.Resultats;
        uint32_t acc = pret.Accumulateur, afaire = pret.AFaire;
        auto etape = [&] { TIARand::TPreparation::Etape(memoire, resultats, acc, afaire); };
        auto rendre = [&] {
            G_.Rendre({memoire, resultats, acc, afaire});
            G_.Sauter(c - Valide_);
        };
        auto reprendre = [&] {
            const TIARand::TPreparation q = G_.Preter();
            acc = q.Accumulateur;
            afaire = q.AFaire;
        };
        const uint32_t* const F = Mots_ + kMarge + 511;
        bool arret = false;
        while (p < fin) {
            if (suivi && suivi->ArretDemande()) {
                arret = true;
                break;
            }
            // Word k from here is M[-k]: constant offsets from one address.
            const uint32_t* const M = F - c;
            const koz_tirages::TLecture l = koz_tirages::Lire([M](uint32_t k) { return M[-ptrdiff_t(k)]; }, e - c);
            if (l.Mots == 0) [[unlikely]] {
                if (e == 256) {
                    // Past this pass: the next one is needed, whole.
                    while (afaire != 0) etape();
                    std::memcpy(Mots_ + kMarge, resultats, 256 * sizeof(uint32_t));
                    e = 512;
                } else {
                    // A pair drawn again more than 250 times: one word at a
                    // time from the generator, then read it afresh.
                    rendre();
                    auto mot = [g = &G_]() noexcept { return g->Next(); };
                    anneau[p % TTireur::kTaille] = koz_tirages::DUnOctet(mot);
                    ++p;
                    Relire();
                    c = C_;
                    e = Fin_;
                    reprendre();
                }
                continue;
            }
            anneau[p % TTireur::kTaille] = l.Tirage;
            ++p;
            c += l.Mots;
            // About as many steps as words taken (3.2 a byte on average):
            // the next pass is ready near the end of this one.
            etape();
            etape();
            etape();
            if (c > 256) {
                // Into the next pass: the generator moves to it, and its
                // words, read ahead, become the current ones.
                rendre();
                c -= 256;
                Valide_ = c;
                std::memcpy(Mots_ + kMarge + 256, Mots_ + kMarge, 256 * sizeof(uint32_t));
                e = 256;
                reprendre();
            }
        }
        rendre();
        Valide_ = C_ = c;
        Fin_ = e;
        produits = p;
        return arret;
    }

private:
    // From the generator as it stands: its current pass only.
    void Relire() {
        std::memcpy(Mots_ + kMarge + 256, &G_.Passe()[0], 256 * sizeof(uint32_t));
        C_ = Valide_ = uint32_t(256 - G_.Restants());
        Fin_ = 256;
    }

    static constexpr int kMarge = 8;
    TIARand& G_;
    uint32_t C_ = 0;       // the words taken in the current pass
    uint32_t Valide_ = 0;  // of which the generator knows
    uint32_t Fin_ = 256;   // words known: this pass's, or the next one's too
    uint32_t Mots_[kMarge + 512] = {};
};

}  // namespace

namespace koz_tirages {
namespace {
std::array<TTirage, kRecords> Tabuler() {
    std::array<TTirage, kRecords> t{};
    auto selon = [](uint8_t slot, std::initializer_list<uint32_t> mots) {
        const uint32_t* m = mots.begin();
        auto mot = [&m] { return *m++; };
        return DuCodage(slot, mot);
    };
    for (uint32_t a = 0; a < 14; ++a)
        for (uint32_t b = 0; b < 14; ++b) t[IndexRecord(0, a, b, 0)] = selon(0, {a, b});
    for (uint32_t a = 0; a < 13; ++a)
        for (uint32_t b = 0; b < 13; ++b) t[IndexRecord(1, a, b, 0)] = selon(1, {a, b});
    for (uint32_t a = 0; a < 2; ++a)
        for (uint32_t b = 0; b < 2; ++b) t[IndexRecord(2, a, b, 0)] = selon(2, {a, b});
    for (uint32_t a = 0; a < 4; ++a)
        for (uint32_t b = 0; b < 4; ++b)
            for (uint32_t s = 0; s < 2; ++s)
                if ((a >> 1) != (b >> 1)) t[IndexRecord(3, a, b, s)] = selon(3, {a, b, s});
    for (uint32_t a = 0; a < 2; ++a) t[IndexRecord(4, a, 0, 0)] = selon(4, {a});
    return t;
}
}  // namespace
const std::array<TTirage, kRecords> Records = Tabuler();
}  // namespace koz_tirages

void TTireur::TReveil::Signaler() {
    // The counter is bumped only for a sleeper, which saves a locked add on
    // every signal while both threads run.
    // The sleeper stores Dort before it looks again at what it waits for,
    // and the bumper has published what it did before it loads Dort, both
    // sequentially consistent: either the sleeper sees the news, or the
    // bumper sees Dort and bumps, and the wait on the old count returns.
    if (Dort.load(std::memory_order_seq_cst)) {
        Compteur.fetch_add(1, std::memory_order_seq_cst);
        Compteur.notify_one();
    }
}

template <class FPret>
bool TTireur::TReveil::Attendre(const FPret& pret) {
    // The other thread answers within microseconds while both run; a wait
    // that long means it was set aside, and sleeping then costs nothing.
    const auto debut = std::chrono::steady_clock::now();
    for (unsigned k = 1;; ++k) {
        if (pret()) return false;
        Patienter();
        if (k % 64 == 0 && std::chrono::steady_clock::now() - debut > std::chrono::microseconds(200)) break;
    }
    for (;;) {
        const uint32_t c = Compteur.load(std::memory_order_seq_cst);
        if (pret()) return true;
        // Either the other thread sees Dort and wakes us, or we see what it
        // did before bumping the counter.
        Dort.store(true, std::memory_order_seq_cst);
        if (pret()) {
            Dort.store(false, std::memory_order_relaxed);
            return true;
        }
        Compteur.wait(c, std::memory_order_seq_cst);
        Dort.store(false, std::memory_order_relaxed);
    }
}

TTireur::TTireur(const TSuivi* suivi)
    : Suivi_(suivi), Source_(koz_detail::SourceMots), Anneau_(new TTirage[kTaille]) {
    Fil_ = std::thread([this] { Boucle(); });
}

TTireur::~TTireur() {
    Quitter_.store(true, std::memory_order_seq_cst);
    ReveilTireur_.Signaler();
    Fil_.join();
}

void TTireur::Demander(size_t n) {
    Demandes_.store(Demandes_.load(std::memory_order_relaxed) + n, std::memory_order_seq_cst);
    ReveilTireur_.Signaler();
}

size_t TTireur::Attendre(const TTirage*& debut) {
    uint64_t produits = Produits_.load(std::memory_order_acquire);
    if (produits == Lus_) {
        // Nothing to apply yet: time for the piece handed over.
        Prendre(false);
        if (ReveilAppelant_.Attendre([&] {
                produits = Produits_.load(std::memory_order_seq_cst);
                return produits != Lus_ || Arrete_.load(std::memory_order_seq_cst) != 0;
            }))
            Sommeils_.fetch_add(1, std::memory_order_relaxed);
        // The thread publishes its last records before it says it stopped.
        if (produits == Lus_) produits = Produits_.load(std::memory_order_seq_cst);
        if (produits == Lus_) return 0;
    }
    const size_t i = size_t(Lus_ % kTaille);
    debut = &Anneau_[i];
    // A few at a time: the thread gets its room back soon enough to keep
    // drawing, instead of sleeping until a whole ring is applied.
    return size_t(std::min<uint64_t>({produits - Lus_, kTaille - i, kRendu}));
}

void TTireur::Rendre(size_t k) {
    Lus_ += k;
    Consommes_.store(Lus_, std::memory_order_seq_cst);
    ReveilTireur_.Signaler();
}

void TTireur::Confier(std::function<void()> travail) {
    Travail_ = std::move(travail);
    ErreurTravail_ = nullptr;
    EtatTravail_.store(1, std::memory_order_seq_cst);
    ReveilTireur_.Signaler();
}

void TTireur::Prendre(bool tireur) {
    int attendu = 1;
    if (EtatTravail_.load(std::memory_order_relaxed) != 1 ||
        !EtatTravail_.compare_exchange_strong(attendu, 2, std::memory_order_acquire))
        return;
    try {
        Travail_();
    } catch (...) {
        ErreurTravail_ = std::current_exception();
    }
    EtatTravail_.store(0, std::memory_order_seq_cst);
    if (tireur) ReveilAppelant_.Signaler();
}

void TTireur::Achever() {
    Prendre(false);
    // Taken by the thread: it finishes it before anything else, stop or not.
    if (EtatTravail_.load(std::memory_order_acquire) != 0)
        ReveilAppelant_.Attendre([&] { return EtatTravail_.load(std::memory_order_seq_cst) == 0; });
    Travail_ = nullptr;
    if (ErreurTravail_) std::rethrow_exception(std::exchange(ErreurTravail_, nullptr));
}

void TTireur::Relancer() {
    if (Arrete_.load(std::memory_order_acquire) == 2 && Erreur_) std::rethrow_exception(Erreur_);
    throw EKOZInterruption("Chiffrement interrompu");
}

template <class FFabricant>
void TTireur::Produire(FFabricant& fabriquer) {
    uint64_t produits = Faits_;
    uint64_t consommes = 0;
    for (;;) {
        uint64_t demandes = 0;
        ReveilTireur_.Attendre([&] {
            demandes = Demandes_.load(std::memory_order_seq_cst);
            return demandes != produits || Quitter_.load(std::memory_order_seq_cst) ||
                   EtatTravail_.load(std::memory_order_seq_cst) == 1;
        });
        if (Quitter_.load(std::memory_order_seq_cst)) return;
        // A piece handed over waits for the ring to be full or the draws
        // made: the caller needs the draws first.
        if (demandes == produits) {
            Prendre(true);
            continue;
        }
        while (produits < demandes) {
            if (produits - consommes + kLot > kTaille) {
                consommes = Consommes_.load(std::memory_order_seq_cst);
                if (produits - consommes + kLot > kTaille) Prendre(true);
                if (ReveilTireur_.Attendre([&] {
                        consommes = Consommes_.load(std::memory_order_seq_cst);
                        return produits - consommes + kLot <= kTaille || Quitter_.load(std::memory_order_seq_cst);
                    }))
                    Sommeils_.fetch_add(1, std::memory_order_relaxed);
                if (Quitter_.load(std::memory_order_seq_cst)) return;
            }
            const uint64_t fin = std::min(demandes, produits + kLot);
            bool arret;
            try {
                // Counts the records made, also those before a failure.
                arret = fabriquer(Anneau_.get(), produits, fin, Suivi_);
            } catch (...) {
                Faits_ = produits;
                throw;
            }
            if (arret) {
                Produits_.store(produits, std::memory_order_seq_cst);
                Arrete_.store(1, std::memory_order_seq_cst);
                ReveilAppelant_.Signaler();
                return;
            }
            Produits_.store(produits, std::memory_order_seq_cst);
            ReveilAppelant_.Signaler();
        }
    }
}

void TTireur::Boucle() {
    try {
        // The source is chosen once: the generator's own Next is inlined.
        if (Source_) {
            auto mot = [s = Source_] { return s->Mot(); };
            TFabricantMots<decltype(mot)> f{mot};
            Produire(f);
        } else {
            TLecteurAvance f(*GlobalRand);
            Produire(f);
        }
    } catch (...) {
        // The records made before the failing one go to the caller first.
        Erreur_ = std::current_exception();
        Produits_.store(Faits_, std::memory_order_seq_cst);
        Arrete_.store(2, std::memory_order_seq_cst);
        ReveilAppelant_.Signaler();
    }
    // Stopped short: wait to be joined.
    ReveilTireur_.Attendre([&] { return Quitter_.load(std::memory_order_seq_cst); });
}

unsigned FilsDeChiffrement() {
    static const unsigned fils = [] {
        unsigned n = std::thread::hardware_concurrency();
#if defined(__linux__)
        cpu_set_t ensemble;
        CPU_ZERO(&ensemble);
        if (sched_getaffinity(0, sizeof ensemble, &ensemble) == 0) n = unsigned(CPU_COUNT(&ensemble));
#endif
        return n >= 2 ? 2u : 1u;
    }();
    return fils;
}
