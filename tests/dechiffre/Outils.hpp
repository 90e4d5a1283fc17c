#pragma once
// Helpers shared by the decryption tests: in-memory encryption and
// decryption, a source that hands out its bytes in small pieces, and the
// block boundaries of an encrypted text.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "cipher/KOZChiffre.hpp"
#include "cipher/KOZDechiffre.hpp"
#include "platform/Plateforme.hpp"

// A source that returns at most Morceau bytes per read, so that blocks are
// cut at every possible place between two reads.
class TLectureMorcelee : public TFluxLecture {
public:
    TLectureMorcelee(const std::string& donnees, size_t morceau) : Donnees(donnees), Morceau(morceau) {}
    size_t Lire(uint8_t* tampon, size_t n) override {
        const size_t k = std::min({n, Morceau, Donnees.size() - Lu});
        std::copy_n(Donnees.data() + Lu, k, tampon);
        Lu += k;
        return k;
    }
    uint64_t Taille() const override { return Donnees.size(); }

private:
    const std::string& Donnees;
    size_t Morceau;
    size_t Lu = 0;
};

inline std::string ChiffrerTexte(TKOZChiffre& c, const std::string& clair) {
    TFluxMemoireLecture source(reinterpret_cast<const uint8_t*>(clair.data()), clair.size());
    TFluxMemoireEcriture destination;
    c.ChiffrerFlux(source, destination);
    return destination.Contenu;
}

inline std::string DechiffrerTexte(TKOZDechiffre& d, const std::string& chiffre, const std::string& nom = "essai.KOZ",
                                   const TSuivi* suivi = nullptr) {
    TFluxMemoireLecture source(reinterpret_cast<const uint8_t*>(chiffre.data()), chiffre.size());
    TFluxMemoireEcriture destination;
    d.DechiffrerFlux(source, destination, nom, suivi);
    return destination.Contenu;
}

// The offsets where the blocks of chiffre end, read from the starting state
// depart (which is left as it was). Stops at the first block that does not decode.
inline std::vector<size_t> FinsDeBlocs(const TKOZGrille& depart, const std::string& chiffre) {
    TKOZDechiffre d(depart);
    std::vector<size_t> fins;
    const auto* octets = reinterpret_cast<const uint8_t*>(chiffre.data());
    size_t i = 0;
    uint8_t v;
    while (i < chiffre.size()) {
        const int n = d.DechiffrerBloc(octets + i, chiffre.size() - i, v);
        if (n <= 0) break;
        d.Evoluer(v);
        i += size_t(n);
        fins.push_back(i);
    }
    return fins;
}

inline std::string MessageInvalide(const std::string& nom, uint64_t offset) {
    return "Le fichier chiffré \"" + Plateforme().CheminComplet(nom) + "\" est invalide à l'octet " +
           std::to_string(offset);
}
