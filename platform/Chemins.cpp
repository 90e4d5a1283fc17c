#include "platform/Chemins.hpp"

std::string PartieChemin(const std::string& nom) {
    const size_t barre = nom.rfind('/');
    return barre == std::string::npos ? std::string() : nom.substr(0, barre + 1);
}

std::string PartieNom(const std::string& nom) {
    const size_t barre = nom.rfind('/');
    return barre == std::string::npos ? nom : nom.substr(barre + 1);
}

std::string Extension(const std::string& nom) {
    const std::string partie = PartieNom(nom);
    const size_t point = partie.rfind('.');
    return point == std::string::npos ? std::string() : partie.substr(point);
}
