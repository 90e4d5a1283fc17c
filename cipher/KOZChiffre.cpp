#include "cipher/KOZChiffre.hpp"

#include <vector>

TKOZChiffre::TKOZChiffre()
    : Codages{&TKOZChiffre::CodageCroix, &TKOZChiffre::CodageCroixDouble, &TKOZChiffre::CodageVoisins,
              &TKOZChiffre::CodageVoisinsDoubles, &TKOZChiffre::CodageSuite} {}

TKOZChiffre::~TKOZChiffre() = default;

void TKOZChiffre::CodageCroix(uint8_t v, TBlocChiffre& bloc) {
    const TCoordonnees c = Coordonnees(v);
    const uint8_t a = RandomBelow(14);
    const uint8_t b = RandomBelow(14);
    bloc.resize(2);
    bloc[0] = Case(c.Ligne, uint8_t((c.Colonne + 1 + a) & 15));
    bloc[1] = Case(uint8_t((c.Ligne + 1 + b) & 15), c.Colonne);
}

void TKOZChiffre::CodageCroixDouble(uint8_t v, TBlocChiffre& bloc) {
    const TCoordonnees c = Coordonnees(v);
    const uint8_t a = RandomBelow(13);
    const uint8_t b = RandomBelow(13);
    bloc.resize(4);
    bloc[0] = Case(c.Ligne, uint8_t((c.Colonne + 1 + a) & 15));
    bloc[1] = Case(c.Ligne, uint8_t((c.Colonne + 2 + a) & 15));
    bloc[2] = Case(uint8_t((c.Ligne + 1 + b) & 15), c.Colonne);
    bloc[3] = Case(uint8_t((c.Ligne + 2 + b) & 15), c.Colonne);
}

void TKOZChiffre::CodageVoisins(uint8_t v, TBlocChiffre& bloc) {
    const TCoordonnees c = Coordonnees(v);
    const uint8_t s = RandomBelow(2);
    const uint8_t t = RandomBelow(2);
    const uint8_t k = t == 1 ? 1 : 15;
    bloc.resize(2);
    bloc[0] = Le(c.Ligne, c.Colonne, s, k);
    bloc[1] = Le(c.Ligne, c.Colonne, s, uint8_t(16 - k));
}

void TKOZChiffre::CodageVoisinsDoubles(uint8_t v, TBlocChiffre& bloc) {
    static constexpr uint8_t kDecalages[4] = {1, 2, 14, 15};
    auto partenaire = [](uint8_t d) { return uint8_t(d == 1 || d == 14 ? d + 1 : d - 1); };
    const TCoordonnees c = Coordonnees(v);
    uint8_t liste[4];
    liste[0] = kDecalages[RandomBelow(4)];
    liste[1] = partenaire(liste[0]);
    uint8_t d = kDecalages[RandomBelow(4)];
    while (d == liste[0] || d == liste[1]) d = kDecalages[RandomBelow(4)];
    liste[2] = d;
    liste[3] = partenaire(d);
    const uint8_t s = RandomBelow(2);
    bloc.resize(4);
    for (int i = 0; i < 4; ++i) bloc[i] = Le(c.Ligne, c.Colonne, s, liste[i]);
}

void TKOZChiffre::CodageSuite(uint8_t v, TBlocChiffre& bloc) {
    const TCoordonnees c = Coordonnees(v);
    const uint8_t s = RandomBelow(2);
    bloc.resize(3);
    for (uint8_t i = 0; i < 3; ++i) bloc[i] = Le(c.Ligne, c.Colonne, s, i);
}

void TKOZChiffre::ChiffrerFlux(TFluxLecture& Source, TFluxEcriture& Destination, const TSuivi* suivi) {
    std::vector<uint8_t> clair(kTailleTamponClair);
    std::vector<uint8_t> chiffre(4 * kTailleTamponClair);
    size_t rempli = 0;  // bytes of chiffre holding finished blocks
    TBlocChiffre bloc;
    bloc.reserve(4);
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
                ChiffrerOctet(clair[i], bloc);
                for (uint8_t o : bloc) chiffre[rempli++] = o;
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
