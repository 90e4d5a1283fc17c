#pragma once
// Helpers of the reliability tests: reproducible draws, the files of a
// directory, a trio's bytes, and an encrypted file read back from its trio.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <string>

#include "cipher/KOZDechiffre.hpp"
#include "platform/Plateforme.hpp"
#include "random/KOZTools.hpp"
#include "tests/support/Echecs.hpp"
#include "tests/support/Fichiers.hpp"

namespace fiabilite {

namespace fs = std::filesystem;

// While it lives, every draw comes from splitmix64 seeded with graine: two
// runs with the same seed make the same fresh state and the same blocks.
class TMotsReproductibles : public TSourceMots {
public:
    explicit TMotsReproductibles(uint64_t graine = 2024) : Etat(graine) { Precedente = DefinirSourceMots(this); }
    ~TMotsReproductibles() override { DefinirSourceMots(Precedente); }
    uint32_t Mot() override {
        uint64_t z = (Etat += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return uint32_t((z ^ (z >> 31)) >> 32);
    }

private:
    uint64_t Etat;
    TSourceMots* Precedente;
};

// The three files of a trio, concatenated.
inline std::string Trio(const std::string& dir, const std::string& base) {
    std::string tout;
    for (const char* ext : {".KGR", ".KEC", ".KPR"}) tout += LireFichier(dir + base + ext);
    return tout;
}

inline unsigned Mode(const std::string& nom) {
    struct stat st;
    EXPECT_EQ(::stat(nom.c_str(), &st), 0) << nom;
    return st.st_mode & 07777;
}

// An encrypted file read back from the trio dir + base, in memory: the plain
// bytes recovered and the failure that stopped the reading ("" at the end).
struct TRelecture {
    std::string Clair;
    std::string Erreur;
};
inline TRelecture Relire(const std::string& chiffre, const std::string& dir, const std::string& base) {
    TRelecture r;
    TKOZDechiffre d(dir, base);
    const std::string octets = LireFichier(chiffre);
    TFluxMemoireLecture source(reinterpret_cast<const uint8_t*>(octets.data()), octets.size());
    TFluxMemoireEcriture sortie;
    r.Erreur = MessageLeve([&] { d.DechiffrerFlux(source, sortie, chiffre); });
    r.Clair = sortie.Contenu;
    return r;
}

}  // namespace fiabilite
