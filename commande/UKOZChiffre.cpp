#include "commande/UKOZChiffre.hpp"

#include <memory>
#include <vector>

#include "cipher/KOZChiffre.hpp"
#include "platform/Chemins.hpp"
#include "platform/Plateforme.hpp"
#include "platform/KOZErreur.hpp"
#include "platform/Format.hpp"
#include "commande/KOZNoms.hpp"
#include "commande/KOZVerifications.hpp"

namespace {
const char* const kMemeFichier = "Le fichier à chiffrer et le fichier chiffré sont le même fichier";
const char* const kSourceEtat = "Le fichier à chiffrer et le fichier d'état sont le même fichier";
const char* const kDestinationEtat = "Le fichier chiffré et le fichier d'état sont le même fichier";

void AjouterTrio(std::vector<std::string>& noms, const std::string& dir, const std::string& nom) {
    for (const char* ext : {".KGR", ".KEC", ".KPR"}) noms.push_back(dir + nom + ext);
}
}  // namespace


std::string LancerChiffrement(const std::string& Source, const std::string& Destination, const std::string& Grille,
                              bool Securise, const TSuivi* suivi) {
    const std::string dir = RepertoireEtat(Source);

    // Checked before any state file is written, with the messages the
    // encryption itself would give.
    {
        auto source = Plateforme().OuvrirLecture(Source);
        const auto id = source->Identite();
        if (id && Plateforme().IdentiteDe(Destination) == id)
            throw EKOZException(MessageCreation(Destination, kMemeFichier));
    }
    // A destination that could never be created (no name, a missing
    // directory, a directory) fails here rather than after "DEBUT" is written.
    VerifierCreable(Destination);
    // A state file written over the source would destroy the data before it
    // is read (or after); written over by the destination, it would lose the
    // only key to the encrypted file. The loaded trio counts for the latter.
    {
        std::vector<std::string> ecrits;
        if (Grille.empty()) AjouterTrio(ecrits, dir, "DEBUT");
        AjouterTrio(ecrits, dir, "FIN-CHIFFRE");
        for (const auto& etat : ecrits)
            if (MemeFichier(Source, etat)) throw EKOZException(MessageCreation(etat, kSourceEtat));
        if (!Grille.empty()) AjouterTrio(ecrits, PartieChemin(Grille), NomDeBase(Grille));
        for (const auto& etat : ecrits)
            if (MemeFichier(Destination, etat)) throw EKOZException(MessageCreation(Destination, kDestinationEtat));
    }

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
