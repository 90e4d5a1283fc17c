#include "commande/KOZVerification.hpp"

#include "commande/KOZNoms.hpp"
#include "platform/Chemins.hpp"
#include "platform/Plateforme.hpp"
#include "state/KOZGrille.hpp"

std::string VerifierTrio(const std::string& grille) {
    const std::string dir = PartieChemin(grille);
    const std::string nom = NomDeBase(grille);
    TKOZGrille etat;
    etat.Charger(dir, nom);
    auto complet = [&](const char* ext) { return "« " + Plateforme().CheminComplet(dir + nom + ext) + " »"; };
    return "Trio valide : " + complet(".KGR") + ", " + complet(".KEC") + " et " + complet(".KPR");
}
