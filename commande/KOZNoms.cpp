#include "commande/KOZNoms.hpp"

#include "platform/Chemins.hpp"
#include "platform/Plateforme.hpp"

std::string NomDeBase(const std::string& nom) {
    const std::string partie = PartieNom(nom);
    return partie.substr(0, partie.size() - Extension(partie).size());
}

std::string RepertoireEtat(const std::string& Source) {
    std::string dir = PartieChemin(Plateforme().CheminComplet(Source));
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

std::string SansBarreFinale(std::string nom) {
    while (nom.size() > 1 && nom.back() == '/') nom.pop_back();
    return nom;
}

std::string NomChiffrePropose(const std::string& Source) {
    // A folder keeps its whole name: "photos.2024" gives "photos.2024.KOZ".
    // "." or "..": the folder's own name, beside it.
    if (!Source.empty() && Plateforme().RepertoireExiste(Source)) {
        std::string dossier = SansBarreFinale(Source);
        const std::string nom = PartieNom(dossier);
        if (nom == "." || nom == "..") dossier = SansBarreFinale(NormaliserChemin(Plateforme().CheminComplet(Source), false));
        return dossier + ".KOZ";
    }
    return Source.substr(0, Source.size() - Extension(Source).size()) + ".KOZ";
}

std::string NomDechiffrePropose(const std::string& chiffre) {
    if (chiffre.empty()) return {};
    const std::string extension = Extension(chiffre);
    const std::string sans = chiffre.substr(0, chiffre.size() - extension.size());
    // Without an extension to cut, or with nothing left once it is cut, a
    // suffix keeps the output from being the input (or its directory).
    if (extension.empty() || PartieNom(sans).empty()) return chiffre + ".dechiffre";
    return sans;
}
