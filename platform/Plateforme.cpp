#include "platform/Plateforme.hpp"

#include <cstring>

#include "platform/Format.hpp"

namespace {
TPlateforme* Installee = nullptr;
}

TPlateforme& Plateforme() { return Installee ? *Installee : PlateformePosix(); }

TPlateforme* DefinirPlateforme(TPlateforme* p) {
    TPlateforme* ancienne = Installee;
    Installee = p;
    return ancienne;
}

std::string TexteErreur(int e) {
    std::string texte = std::strerror(e);
    while (!texte.empty() && (static_cast<unsigned char>(texte.back()) <= ' ' || texte.back() == '.'))
        texte.pop_back();
    return texte;
}

namespace {
std::string Message(const char* modele, const std::string& nom, const std::string& raison) {
    return Format(modele, Plateforme().CheminComplet(nom).c_str(), raison.c_str());
}
}  // namespace

std::string MessageOuverture(const std::string& nom, const std::string& raison) {
    return Message("Impossible d'ouvrir le fichier \"%s\". %s", nom, raison);
}
std::string MessageCreation(const std::string& nom, const std::string& raison) {
    return Message("Impossible de créer le fichier \"%s\". %s", nom, raison);
}
std::string MessageLecture(const std::string& nom, const std::string& raison) {
    return Message("Impossible de lire le fichier \"%s\". %s", nom, raison);
}
std::string MessageEcriture(const std::string& nom, const std::string& raison) {
    return Message("Impossible d'écrire dans le fichier \"%s\". %s", nom, raison);
}

size_t TFluxMemoireLecture::Lire(uint8_t* tampon, size_t n) {
    const size_t k = n < Reste ? n : Reste;
    if (k) std::memcpy(tampon, Donnees, k);
    Donnees += k;
    Reste -= k;
    return k;
}

void TFluxMemoireEcriture::Ecrire(const uint8_t* tampon, size_t n) {
    Contenu.append(reinterpret_cast<const char*>(tampon), n);
}
