#include "state/KOZPermutations.hpp"

#include "random/KOZTools.hpp"
#include "state/KOZFichierEtat.hpp"

TKOZPermutations::TKOZPermutations() { Generer(); }

void TKOZPermutations::Generer() {
    for (auto& entree : Table) {
        entree.Longueur = uint8_t(RandomBelow(13) + 4);
        for (TSegment* s : {&entree.Segment1, &entree.Segment2}) {
            s->Debut = RandomBelow(uint16_t(17 - entree.Longueur));
            s->Sens = RandomBelow(2);
            s->Rang = RandomBelow(16);
        }
    }
}

void TKOZPermutations::Sauver(const std::string& dir, const std::string& nom) const {
    EcrireTableEtat(dir + nom + ".KPR", reinterpret_cast<const uint8_t*>(Table.data()), sizeof Table);
}

void TKOZPermutations::Charger(const std::string& dir, const std::string& nom) {
    LireTableEtat(dir + nom + ".KPR", reinterpret_cast<uint8_t*>(Table.data()), sizeof Table);
}
