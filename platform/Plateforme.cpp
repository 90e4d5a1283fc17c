#include "platform/Plateforme.hpp"

#include <locale.h>
#include <string.h>

#include <cstring>

#include "platform/Format.hpp"

namespace {
TPlateforme* Installee = nullptr;
}

TPlateforme& Plateforme() { return Installee ? *Installee : PlateformePosix(); }

TPlateforme* DefinirPlateforme(TPlateforme* p) {
    TPlateforme* ancienne = Installee;
    Installee = p;
    return ancienne;
}

namespace {
// The French locale, made once and kept for the life of the process; null
// when it is not installed.
locale_t LocaleFrancaise() {
    static const locale_t francaise = newlocale(LC_ALL_MASK, "fr_FR.UTF-8", locale_t(0));
    return francaise;
}
}  // namespace

bool RaisonsEnFrancais() { return LocaleFrancaise() != locale_t(0); }

std::string RaisonNettoyee(std::string texte) {
    while (!texte.empty() && (static_cast<unsigned char>(texte.back()) <= ' ' || texte.back() == '.'))
        texte.pop_back();
    if (!texte.empty() && texte[0] >= 'a' && texte[0] <= 'z') texte[0] = char(texte[0] - 'a' + 'A');
    return texte;
}

// strerror_l, unlike strerror, is safe on the worker threads that run the commands.
std::string TexteErreur(int e) {
    const locale_t francaise = LocaleFrancaise();
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));
    const locale_t l = francaise ? francaise : c;
    return RaisonNettoyee(l ? strerror_l(e, l) : std::strerror(e));
}

namespace {
std::string Message(const char* modele, const std::string& nom, const std::string& raison) {
    return Format(modele, Plateforme().CheminComplet(nom).c_str(), raison.c_str());
}
}  // namespace

std::string MessageOuverture(const std::string& nom, const std::string& raison) {
    return Message("Impossible d'ouvrir le fichier \"%s\". %s", nom, raison);
}
std::string MessageCreation(const std::string& nom, const std::string& raison) {
    return Message("Impossible de créer le fichier \"%s\". %s", nom, raison);
}
std::string MessageLecture(const std::string& nom, const std::string& raison) {
    return Message("Impossible de lire le fichier \"%s\". %s", nom, raison);
}
std::string MessageEcriture(const std::string& nom, const std::string& raison) {
    return Message("Impossible d'écrire dans le fichier \"%s\". %s", nom, raison);
}

size_t TFluxMemoireLecture::Lire(uint8_t* tampon, size_t n) {
    const size_t k = n < Reste ? n : Reste;
    if (k) std::memcpy(tampon, Donnees, k);
    Donnees += k;
    Reste -= k;
    return k;
}

void TFluxMemoireEcriture::Ecrire(const uint8_t* tampon, size_t n) {
    Contenu.append(reinterpret_cast<const char*>(tampon), n);
}

std::string PrefixeTemporaire(const std::string& final) {
    const size_t barre = final.rfind('/');
    const size_t debutNom = barre == std::string::npos ? 0 : barre + 1;
    const size_t nom = final.size() - debutNom;
    // ".koz-temporaire-" and its six characters must fit in a name of 255 bytes.
    constexpr size_t kPlace = 255 - 22;
    return (nom > kPlace ? final.substr(0, debutNom + kPlace) : final) + ".koz-temporaire-";
}
