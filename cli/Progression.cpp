#include "cli/Progression.hpp"

#include <time.h>

#include <algorithm>
#include <cstdio>

namespace {
std::string Mo(double octets) {
    char texte[32];
    std::snprintf(texte, sizeof texte, "%.1f", octets / 1e6);
    std::string s = texte;
    for (auto& c : s)
        if (c == '.') c = ',';
    return s;
}
}  // namespace

TLigneProgression::TLigneProgression(bool actif, TSortie sortie, THorloge horloge)
    : Actif(actif), Sortie(std::move(sortie)), Horloge(std::move(horloge)), Debut(Actif ? Horloge() : 0) {}

TLigneProgression::~TLigneProgression() { Effacer(); }

double TLigneProgression::HorlogeMonotone() {
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

std::string TLigneProgression::Texte(uint64_t fait, uint64_t total, uint64_t cumul, double secondes) {
    const int pourcent = total ? int(std::min<uint64_t>(fait, total) * 100 / total) : 0;
    const double debit = secondes > 1e-3 ? double(cumul) / secondes : 0.0;
    char tete[16];
    std::snprintf(tete, sizeof tete, "%3d %%", pourcent);
    return std::string(tete) + "  " + Mo(double(fait)) + " Mo / " + Mo(double(total)) + " Mo  " + Mo(debit) +
           " Mo/s";
}

void TLigneProgression::Avancer(uint64_t fait, uint64_t total) {
    if (!Actif) return;
    if (fait < DernierFait) FichiersPrecedents += DernierFait;
    DernierFait = fait;
    if (total < kSeuil) return;
    const double maintenant = Horloge();
    if (DejaDessine && maintenant - DernierDessin < kIntervalle) return;
    DernierDessin = maintenant;
    DejaDessine = true;

    std::string ligne = Prefixe + Texte(fait, total, FichiersPrecedents + fait, maintenant - Debut);
    const size_t largeur = ligne.size();
    // Blanks over what a longer earlier line left on the screen.
    if (Dessinee && largeur < Largeur) ligne.append(Largeur - largeur, ' ');
    Sortie("\r" + ligne);
    Largeur = std::max(Largeur, largeur);
    Dessinee = true;
}

void TLigneProgression::Effacer() {
    if (!Dessinee) return;
    Sortie("\r" + std::string(Largeur, ' ') + "\r");
    Dessinee = false;
    Largeur = 0;
}
