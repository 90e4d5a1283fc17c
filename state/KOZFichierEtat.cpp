#include "state/KOZFichierEtat.hpp"

#include <cstring>
#include <vector>

#include "platform/Plateforme.hpp"
#include "platform/KOZErreur.hpp"
#include "platform/Format.hpp"

void LireTableEtat(const std::string& nom, uint8_t* table, size_t taille) {
    auto flux = Plateforme().OuvrirLecture(nom);
    std::vector<uint8_t> lu(taille);
    size_t total = 0;
    while (total < taille) {
        const size_t k = flux->Lire(lu.data() + total, taille - total);
        if (k == 0) break;
        total += k;
    }
    if (total < taille)
        throw EKOZException(Format("Le fichier d'état \"%s\" est trop court : %d octets au lieu de %d",
                                   Plateforme().CheminComplet(nom).c_str(), int(total), int(taille)));
    std::memcpy(table, lu.data(), taille);
}

void EcrireTableEtat(const std::string& nom, const uint8_t* table, size_t taille) {
    auto flux = Plateforme().Creer(nom, TGenreFichier::Cle);
    flux->Ecrire(table, taille);
    flux->Fermer();
}
