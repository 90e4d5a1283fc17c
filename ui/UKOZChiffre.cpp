#include "ui/UKOZChiffre.hpp"

#include <memory>

#include "cipher/KOZChiffre.hpp"
#include "platform/Chemins.hpp"
#include "platform/Plateforme.hpp"
#include "random/KOZTools.hpp"

namespace {
const char* const kMemeFichier = "Le fichier à chiffrer et le fichier chiffré sont le même fichier";
}

std::string NomDeBase(const std::string& nom) {
    const std::string partie = PartieNom(nom);
    return partie.substr(0, partie.size() - Extension(partie).size());
}

std::string RepertoireEtat(const std::string& Source) {
    std::string dir = PartieChemin(Plateforme().CheminComplet(Source));
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

std::string NomChiffrePropose(const std::string& Source) {
    return Source.substr(0, Source.size() - Extension(Source).size()) + ".KOZ";
}

std::string LancerChiffrement(const std::string& Source, const std::string& Destination, const std::string& Grille,
                              bool Securise, const TSuivi* suivi) {
    // Checked before any state file is written, with the messages the
    // encryption itself would give.
    {
        auto source = Plateforme().OuvrirLecture(Source);
        const auto id = source->Identite();
        if (id && Plateforme().IdentiteDe(Destination) == id)
            throw EKOZException(MessageCreation(Destination, kMemeFichier));
    }

    const std::string dir = RepertoireEtat(Source);
    const uint32_t debut = Plateforme().Ticks();
    {
        auto chiffre = std::make_unique<TKOZChiffre>();
        chiffre->ModeSecurise = Securise;
        if (Grille.empty())
            chiffre->Sauver(dir, "DEBUT");
        else
            chiffre->Charger(PartieChemin(Grille), NomDeBase(Grille));
        chiffre->ChiffrerFichier(Source, Destination, suivi);
        chiffre->Sauver(dir, "FIN-CHIFFRE");
    }
    const int32_t ecoule = int32_t(Plateforme().Ticks() - debut);
    return Format("Terminé en %dms", int(ecoule));
}
