#include "cipher/KOZChiffre.hpp"

#include <vector>

TKOZChiffre::TKOZChiffre()
    : Codages{&TKOZChiffre::CodageCroix, &TKOZChiffre::CodageCroixDouble, &TKOZChiffre::CodageVoisins,
              &TKOZChiffre::CodageVoisinsDoubles, &TKOZChiffre::CodageSuite} {
    // One value is looked up per plain byte: searching the cells costs less
    // than keeping the inverse table at each of the evolution's exchanges.
    TenirInverse(false);
}

TKOZChiffre::~TKOZChiffre() = default;

size_t TKOZChiffre::EcrireCroix(uint8_t p, uint8_t* sortie) const {
    const uint8_t ligne = p >> 4, colonne = p & 15;
    const uint8_t a = RandomBelow(14);
    const uint8_t b = RandomBelow(14);
    sortie[0] = Case(ligne, uint8_t((colonne + 1 + a) & 15));
    sortie[1] = Case(uint8_t((ligne + 1 + b) & 15), colonne);
    return 2;
}

size_t TKOZChiffre::EcrireCroixDouble(uint8_t p, uint8_t* sortie) const {
    const uint8_t ligne = p >> 4, colonne = p & 15;
    const uint8_t a = RandomBelow(13);
    const uint8_t b = RandomBelow(13);
    sortie[0] = Case(ligne, uint8_t((colonne + 1 + a) & 15));
    sortie[1] = Case(ligne, uint8_t((colonne + 2 + a) & 15));
    sortie[2] = Case(uint8_t((ligne + 1 + b) & 15), colonne);
    sortie[3] = Case(uint8_t((ligne + 2 + b) & 15), colonne);
    return 4;
}

size_t TKOZChiffre::EcrireVoisins(uint8_t p, uint8_t* sortie) const {
    const uint8_t ligne = p >> 4, colonne = p & 15;
    const uint8_t s = RandomBelow(2);
    const uint8_t t = RandomBelow(2);
    const uint8_t k = t == 1 ? 1 : 15;
    sortie[0] = Le(ligne, colonne, s, k);
    sortie[1] = Le(ligne, colonne, s, uint8_t(16 - k));
    return 2;
}

size_t TKOZChiffre::EcrireVoisinsDoubles(uint8_t p, uint8_t* sortie) const {
    // Two pairs of offsets, {1, 2} forward and {14, 15} backward: entry k is
    // in pair k >> 1 and its partner is entry k ^ 1.
    static constexpr uint8_t kDecalages[4] = {1, 2, 14, 15};
    const uint8_t ligne = p >> 4, colonne = p & 15;
    const uint8_t premier = RandomBelow(4);
    uint8_t second = RandomBelow(4);
    // Drawn again as long as it falls in the first one's pair.
    while ((second >> 1) == (premier >> 1)) second = RandomBelow(4);
    const uint8_t s = RandomBelow(2);
    sortie[0] = Le(ligne, colonne, s, kDecalages[premier]);
    sortie[1] = Le(ligne, colonne, s, kDecalages[premier ^ 1]);
    sortie[2] = Le(ligne, colonne, s, kDecalages[second]);
    sortie[3] = Le(ligne, colonne, s, kDecalages[second ^ 1]);
    return 4;
}

size_t TKOZChiffre::EcrireSuite(uint8_t p, uint8_t* sortie) const {
    const uint8_t ligne = p >> 4, colonne = p & 15;
    const uint8_t s = RandomBelow(2);
    for (uint8_t i = 0; i < 3; ++i) sortie[i] = Le(ligne, colonne, s, i);
    return 3;
}

void TKOZChiffre::CodageCroix(uint8_t v, TBlocChiffre& bloc) { Coder(&TKOZChiffre::EcrireCroix, v, bloc); }
void TKOZChiffre::CodageCroixDouble(uint8_t v, TBlocChiffre& bloc) { Coder(&TKOZChiffre::EcrireCroixDouble, v, bloc); }
void TKOZChiffre::CodageVoisins(uint8_t v, TBlocChiffre& bloc) { Coder(&TKOZChiffre::EcrireVoisins, v, bloc); }
void TKOZChiffre::CodageVoisinsDoubles(uint8_t v, TBlocChiffre& bloc) {
    Coder(&TKOZChiffre::EcrireVoisinsDoubles, v, bloc);
}
void TKOZChiffre::CodageSuite(uint8_t v, TBlocChiffre& bloc) { Coder(&TKOZChiffre::EcrireSuite, v, bloc); }

size_t TKOZChiffre::ChiffrerVers(uint8_t v, uint8_t* sortie, bool prepare) {
    const uint8_t i = RandomBelow(5);
    const uint8_t p = Position(v);
    size_t n = 0;
    // The slots of Codages, in their order.
    switch (i) {
        case 0: n = EcrireCroix(p, sortie); break;
        case 1: n = EcrireCroixDouble(p, sortie); break;
        case 2: n = EcrireVoisins(p, sortie); break;
        case 3: n = EcrireVoisinsDoubles(p, sortie); break;
        case 4: n = EcrireSuite(p, sortie); break;
    }
    if (prepare)
        EvoluerPrepare(v, p);
    else
        EvoluerDepuis(v, p);
    return n;
}

void TKOZChiffre::ChiffrerFlux(TFluxLecture& Source, TFluxEcriture& Destination, const TSuivi* suivi) {
    const bool prepare = PreparerEvolution();
    std::vector<uint8_t> clair(kTailleTamponClair);
    std::vector<uint8_t> chiffre(4 * kTailleTamponClair);
    size_t rempli = 0;  // bytes of chiffre holding finished blocks
    const uint64_t total = Source.Taille();
    uint64_t fait = 0;
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
            for (size_t i = 0; i < n; ++i) {
                if (suivi && suivi->ArretDemande()) throw EKOZInterruption("Chiffrement interrompu");
                // A block counts only once its byte has evolved the grid: the
                // block of a byte that fails is never written.
                rempli += ChiffrerVers(clair[i], &chiffre[rempli], prepare);
            }
            vider();
            fait += n;
            if (suivi && suivi->Progression) suivi->Progression(fait, total);
        }
    } catch (...) {
        // What the earlier bytes produced belongs in the destination; the
        // first failure is the one reported.
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
