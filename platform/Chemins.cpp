#include "platform/Chemins.hpp"

#include <vector>

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

std::string NormaliserChemin(const std::string& chemin, bool barreFinale) {
    std::vector<std::string> parties;
    size_t i = 0;
    while (i <= chemin.size()) {
        size_t j = chemin.find('/', i);
        if (j == std::string::npos) j = chemin.size();
        std::string partie = chemin.substr(i, j - i);
        if (partie == "..") {
            if (!parties.empty()) parties.pop_back();
        } else if (!partie.empty() && partie != ".") {
            parties.push_back(std::move(partie));
        }
        i = j + 1;
    }
    std::string resultat;
    for (const auto& p : parties) resultat += "/" + p;
    if (resultat.empty() || barreFinale) resultat += "/";
    return resultat;
}
