#pragma once
// Scripted draws: while a TTiragesScriptes lives, RandomBelow returns the
// scripted values in order (each value v, with v < n, is handed out as the
// word v, so RandomBelow(n) gives v). Once the script is spent, words come
// from GlobalRand again. Counts every draw made.

#include <cstdint>
#include <deque>
#include <initializer_list>

#include <gtest/gtest.h>

#include "cipher/KOZTirages.hpp"
#include "random/KOZTools.hpp"

class TTiragesScriptes : public TSourceMots {
public:
    explicit TTiragesScriptes(std::initializer_list<uint32_t> mots = {}) : Mots(mots) {
        Precedente = DefinirSourceMots(this);
    }
    ~TTiragesScriptes() override { DefinirSourceMots(Precedente); }

    void Ajouter(uint32_t mot) { Mots.push_back(mot); }
    uint32_t Mot() override {
        ++Tirages;
        if (Mots.empty()) return GlobalRand->Next();
        const uint32_t m = Mots.front();
        Mots.pop_front();
        return m;
    }
    size_t Restants() const { return Mots.size(); }

    size_t Tirages = 0;

private:
    std::deque<uint32_t> Mots;
    TSourceMots* Precedente;
};

// Counts draws without changing them.
class TCompteurTirages : public TSourceMots {
public:
    TCompteurTirages() { Precedente = DefinirSourceMots(this); }
    ~TCompteurTirages() override { DefinirSourceMots(Precedente); }
    uint32_t Mot() override {
        ++Tirages;
        return GlobalRand->Next();
    }
    size_t Tirages = 0;

private:
    TSourceMots* Precedente;
};

// Asks the draw thread for n records and hands each to chaque as it comes,
// checking that none comes beyond those asked; stops at the first record
// chaque refuses (returns false for).
template <class F>
void Recevoir(TTireur& tireur, size_t n, F&& chaque) {
    tireur.Demander(n);
    size_t pris = 0;
    while (pris < n) {
        const TTirage* r = nullptr;
        const size_t k = tireur.Attendre(r);
        ASSERT_GT(k, 0u);
        ASSERT_LE(k, n - pris);
        for (size_t j = 0; j < k; ++j)
            if (!chaque(r[j])) return;
        tireur.Rendre(k);
        pris += k;
    }
}
