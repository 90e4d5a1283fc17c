#pragma once
// SHA-256 fingerprints (OpenSSL's libcrypto) of encrypted files and of
// cipher states: how the journal recognises a file and its key without
// holding any key material.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/KOZErreur.hpp"
#include "platform/Plateforme.hpp"

class TKOZGrille;

// The three tables of a state as its trio holds them, one after another:
// ".KGR" (256 bytes), ".KEC" (256 bytes), ".KPR" (1,792 bytes).
using TOctetsEtat = std::array<uint8_t, 2304>;
TOctetsEtat OctetsEtat(const TKOZGrille& etat);

// An incremental SHA-256.
class TEmpreinte {
public:
    TEmpreinte();
    ~TEmpreinte();
    TEmpreinte(const TEmpreinte&) = delete;
    TEmpreinte& operator=(const TEmpreinte&) = delete;

    void Ajouter(const void* octets, size_t n);
    // The digest as 64 lowercase hexadecimal digits; ends the computation.
    std::string Hex();

private:
    struct TContexte;
    std::unique_ptr<TContexte> Contexte;
};

// The fingerprint of a state's 2,304 bytes.
std::string EmpreinteEtat(const TKOZGrille& etat);
// The fingerprint of the whole file nom, read through the platform layer;
// of its first limite bytes only when limite is given.
std::string EmpreinteFichier(const std::string& nom, uint64_t limite = UINT64_MAX);

// A sink that fingerprints and counts what goes through it on its way to Suite.
// The bytes of the last write are fingerprinted later: at Rattraper, at the
// next write, at Fermer or when Empreinte is asked for. An encryption on two
// threads has Rattraper done by whichever thread waits for the other first,
// instead of between two buffers, when the draw thread has nothing to do.
class TEcritureEmpreinte : public TFluxEcriture {
public:
    explicit TEcritureEmpreinte(TFluxEcriture& suite) : Suite(suite) {}
    void Ecrire(const uint8_t* tampon, size_t n) override {
        Rattraper();
        Suite.Ecrire(tampon, n);
        // Kept by copy: the caller reuses its buffer at once.
        EnAttente.assign(tampon, tampon + n);
        Octets += n;
    }
    void Rattraper() override {
        if (EnAttente.empty()) return;
        Calcul.Ajouter(EnAttente.data(), EnAttente.size());
        EnAttente.clear();
    }
    void Fermer() override {
        Rattraper();
        Suite.Fermer();
    }
    // The fingerprint of every byte written so far.
    TEmpreinte& Empreinte() {
        Rattraper();
        return Calcul;
    }
    uint64_t Octets = 0;

private:
    TFluxEcriture& Suite;
    TEmpreinte Calcul;
    std::vector<uint8_t> EnAttente;
};

// A source that counts the bytes read from it. Given a bound (a regular
// file's size when it was opened), it raises Depassement as soon as more
// bytes than that come: a file that grows while it is read fails at once,
// not when (if ever) its writer stops.
class TLectureComptee : public TFluxLecture {
public:
    explicit TLectureComptee(TFluxLecture& source) : Source(source) {}
    size_t Lire(uint8_t* tampon, size_t n) override {
        const size_t k = Source.Lire(tampon, n);
        Octets += k;
        if (Borne && Octets > Borne) throw EKOZException(Depassement);
        return k;
    }
    uint64_t Borne = 0;  // 0: none
    std::string Depassement;
    uint64_t Taille() const override { return Source.Taille(); }
    std::optional<TIdentiteFichier> Identite() const override { return Source.Identite(); }
    bool Flot() const override { return Source.Flot(); }
    uint64_t Octets = 0;

private:
    TFluxLecture& Source;
};

// A sink that keeps nothing and counts: a verification reads a file through
// without writing it.
class TEcritureNulle : public TFluxEcriture {
public:
    void Ecrire(const uint8_t*, size_t n) override { Octets += n; }
    uint64_t Octets = 0;
};
