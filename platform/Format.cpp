#include "platform/Format.hpp"

#include <cstdarg>
#include <cstdio>

std::string Format(const char* modele, ...) {
    va_list args;
    va_start(args, modele);
    va_list copie;
    va_copy(copie, args);
    const int n = std::vsnprintf(nullptr, 0, modele, copie);
    va_end(copie);
    std::string texte(n > 0 ? size_t(n) : 0, '\0');
    if (n > 0) std::vsnprintf(texte.data(), texte.size() + 1, modele, args);
    va_end(args);
    return texte;
}
