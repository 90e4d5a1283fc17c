#include "random/KOZTools.hpp"

TIARand* GlobalRand = nullptr;

namespace koz_detail {
TSourceMots* SourceMots = nullptr;
}

void InitialiserKOZTools() {
    if (GlobalRand) return;
    GlobalRand = new TIARand();
    GlobalRand->Reseed();
}

void FinaliserKOZTools() {
    delete GlobalRand;
    GlobalRand = nullptr;
}

TSourceMots* DefinirSourceMots(TSourceMots* s) {
    TSourceMots* ancienne = koz_detail::SourceMots;
    koz_detail::SourceMots = s;
    return ancienne;
}
