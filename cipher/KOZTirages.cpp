#include "cipher/KOZTirages.hpp"

#include <algorithm>
#include <chrono>
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

}  // namespace

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

template <class FMot>
void TTireur::Produire(FMot& mot) {
    // Kept in a register: the records' byte stores could otherwise alias it.
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
            TTirage* const anneau = Anneau_.get();
            // Whether a stop was seen: the records before it are published.
            auto fabriquer = [&] {
                for (; produits < fin; ++produits) {
                    if (Suivi_ && Suivi_->ArretDemande()) return true;
                    anneau[produits % kTaille] = koz_tirages::DUnOctet(mot);
                }
                return false;
            };
            bool arret;
            if constexpr (noexcept(mot())) {
                // No handler around the loop where no word can fail: one
                // makes the compiler keep the count where the handler can
                // read it, and the loop runs 40% slower.
                arret = fabriquer();
            } else {
                try {
                    arret = fabriquer();
                } catch (...) {
                    Faits_ = produits;
                    throw;
                }
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
            Produire(mot);
        } else {
            auto mot = [g = GlobalRand]() noexcept { return g->Next(); };
            Produire(mot);
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
