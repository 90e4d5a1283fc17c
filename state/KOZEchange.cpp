#include "state/KOZEchange.hpp"

#include <utility>

#include "random/KOZTools.hpp"
#include "state/KOZFichierEtat.hpp"

TKOZEchange::TKOZEchange() {
    Initialiser();
    Melanger();
}

void TKOZEchange::Initialiser() {
    for (int i = 0; i < 256; ++i) Table[i] = uint8_t(i);
}

void TKOZEchange::Melanger() {
    for (int k = 0; k < 256; ++k) {
        const uint8_t a = RandomBelow(256);
        uint8_t b = RandomBelow(256);
        while (b == a) b = RandomBelow(256);
        std::swap(Table[a], Table[b]);
    }
}

void TKOZEchange::Sauver(const std::string& dir, const std::string& nom) const {
    EcrireTableEtat(dir + nom + ".KEC", Table.data(), Table.size());
}

void TKOZEchange::Charger(const std::string& dir, const std::string& nom) {
    LireTableEtat(dir + nom + ".KEC", Table.data(), Table.size());
}
