#include "commande/KOZEmpreinte.hpp"

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/KOZErreur.hpp"
#include "state/KOZGrille.hpp"

struct TEmpreinte::TContexte {
    EVP_MD_CTX* Ctx = EVP_MD_CTX_new();
    ~TContexte() { EVP_MD_CTX_free(Ctx); }
};

TEmpreinte::TEmpreinte() : Contexte(std::make_unique<TContexte>()) {
    if (!Contexte->Ctx || EVP_DigestInit_ex(Contexte->Ctx, EVP_sha256(), nullptr) != 1)
        throw EKOZException("Le calcul d'empreinte SHA-256 n'a pas pu commencer");
}

TEmpreinte::~TEmpreinte() = default;

void TEmpreinte::Ajouter(const void* octets, size_t n) {
    if (n && EVP_DigestUpdate(Contexte->Ctx, octets, n) != 1)
        throw EKOZException("Le calcul d'empreinte SHA-256 a échoué");
}

std::string TEmpreinte::Hex() {
    unsigned char condensat[EVP_MAX_MD_SIZE];
    unsigned int taille = 0;
    if (EVP_DigestFinal_ex(Contexte->Ctx, condensat, &taille) != 1)
        throw EKOZException("Le calcul d'empreinte SHA-256 a échoué");
    static const char kHex[] = "0123456789abcdef";
    std::string texte;
    for (unsigned int i = 0; i < taille; ++i) {
        texte += kHex[condensat[i] >> 4];
        texte += kHex[condensat[i] & 15];
    }
    return texte;
}

TOctetsEtat OctetsEtat(const TKOZGrille& etat) {
    TOctetsEtat octets{};
    std::memcpy(octets.data(), etat.Cases().data(), 256);
    std::memcpy(octets.data() + 256, etat.Echange->Table.data(), 256);
    std::memcpy(octets.data() + 512, etat.Permutations->Table.data(), 1792);
    return octets;
}

std::string EmpreinteEtat(const TKOZGrille& etat) {
    const TOctetsEtat octets = OctetsEtat(etat);
    TEmpreinte e;
    e.Ajouter(octets.data(), octets.size());
    return e.Hex();
}

std::string EmpreinteFichier(const std::string& nom, uint64_t limite) {
    auto flux = Plateforme().OuvrirLecture(nom);
    std::vector<uint8_t> tampon(1 << 20);
    TEmpreinte e;
    while (limite > 0) {
        const size_t k = flux->Lire(tampon.data(), size_t(std::min<uint64_t>(tampon.size(), limite)));
        if (k == 0) break;
        e.Ajouter(tampon.data(), k);
        limite -= k;
    }
    return e.Hex();
}
