#include "commande/TextesApplication.hpp"

#include "platform/Chemins.hpp"

namespace {
std::string Minuscules(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}
}  // namespace

std::string RepertoireDuProgramme(const std::string& programme) {
    std::string dir = PartieChemin(programme);
    if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

std::string TitreApplication(const std::string& programme) {
    std::string nom = PartieNom(programme);
    nom = nom.substr(0, nom.find('.'));
    if (nom.size() > 1) nom = nom.substr(0, 1) + Minuscules(nom.substr(1));
    return nom;
}

std::string TexteAffiche(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
    return message;
}
