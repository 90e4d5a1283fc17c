#include "commande/KOZVerifications.hpp"

#include <cerrno>

#include "platform/Chemins.hpp"
#include "platform/Plateforme.hpp"
#include "platform/KOZErreur.hpp"

bool MemeFichier(const std::string& a, const std::string& b) {
    const auto ia = Plateforme().IdentiteDe(a);
    if (ia && ia == Plateforme().IdentiteDe(b)) return true;
    return Plateforme().CheminComplet(a) == Plateforme().CheminComplet(b);
}

void VerifierCreable(const std::string& nom) {
    const std::string repertoire = PartieChemin(nom);
    if (nom.empty() || (!repertoire.empty() && !Plateforme().RepertoireExiste(repertoire)))
        throw EKOZException(MessageCreation(nom, TexteErreur(ENOENT)));
    if (Plateforme().RepertoireExiste(nom)) throw EKOZException(MessageCreation(nom, TexteErreur(EISDIR)));
}
