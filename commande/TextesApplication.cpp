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

std::string SansRaccourci(const std::string& legende) {
    std::string resultat;
    for (size_t i = 0; i < legende.size(); ++i) {
        if (legende[i] == '&' && i + 1 < legende.size()) ++i;
        resultat += legende[i];
    }
    return resultat;
}

std::string MessageChampVide(const std::string& champ) { return "Le champ « " + champ + " » est vide"; }

std::optional<TAvisFin> AvisDeFin(uint64_t dureeMs, bool fenetreActive, bool reussi, const std::string& texte,
                                  const std::string& operation, uint64_t seuilMs) {
    if (fenetreActive || dureeMs < seuilMs || (!reussi && texte.empty())) return std::nullopt;
    if (reussi) return TAvisFin{operation + " terminé", texte};
    return TAvisFin{"Échec du " + Minuscules(operation.substr(0, 1)) + operation.substr(1), TexteAffiche(texte)};
}
