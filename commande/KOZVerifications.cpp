#include "commande/KOZVerifications.hpp"

#include <cerrno>

#include "commande/KOZJournal.hpp"
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
    if (PartieNom(nom).size() > kLongueurNomMax) throw EKOZException(MessageCreation(nom, TexteErreur(ENAMETOOLONG)));
    if (Plateforme().RepertoireExiste(nom)) throw EKOZException(MessageCreation(nom, TexteErreur(EISDIR)));
}

void VerifierNiCleNiJournal(const std::string& nom) {
    const std::string base = PartieNom(nom);
    if (base == kNomJournal)
        throw EKOZException(MessageCreation(nom, "Ce nom est celui du journal des chiffrements"));
    const std::string extension = Extension(base);
    if (extension == ".KGR" || extension == ".KEC" || extension == ".KPR")
        throw EKOZException(MessageCreation(nom, "Ce nom est celui d'un fichier d'état, peut-être la seule clé d'un "
                                                 "fichier chiffré : aucun fichier de sortie ne le prend"));
}

void VerifierRemplacable(const std::string& nom) {
    if (!Plateforme().FichierOrdinaire(nom)) return;
    const std::string essai = PrefixeTemporaire(nom) + "essai";
    for (int fois = 0; fois < 2; ++fois) {
        bool lie = false;
        try {
            lie = Plateforme().Lier(nom, essai);
        } catch (const EKOZException&) {
            throw EKOZException(MessageCreation(
                nom, "Le fichier qui porte ce nom ne peut pas être remplacé : il est protégé contre la modification"));
        }
        // A trial name left by a run that was killed: removed, and tried again.
        Plateforme().Supprimer(essai);
        if (lie) return;
    }
}
