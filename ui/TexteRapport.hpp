#pragma once
// How a run's report reaches the window: the status text on the first line,
// then what the user should read once the run is over, one notice a line.

#include <string>

#include "commande/UKOZChiffre.hpp"
#include "commande/UKOZDechiffre.hpp"

template <class TRapport>
std::string TexteDuRapport(const TRapport& r) {
    std::string texte = r.Statut;
    for (const auto& a : r.Avis) texte += "\n" + a;
    return texte;
}
