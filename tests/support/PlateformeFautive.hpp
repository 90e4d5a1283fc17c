#pragma once
// A platform that behaves as the POSIX one except where a test plants a
// fault: the n-th create fails, a read fails after k bytes, a write fails or
// stores fewer bytes after k bytes, a close fails. Installed for its lifetime.

#include <cerrno>
#include <functional>
#include <memory>
#include <string>

#include "PlateformeDeleguee.hpp"
#include "platform/Plateforme.hpp"
#include "platform/KOZErreur.hpp"

class TPlateformeFautive : public TPlateformeDeleguee {
public:

    // Fault settings; -1 means no fault.
    int CreationEnEchec = -1;            // 1-based index of the create that fails (ENOSPC)
    int64_t LectureEchoueApres = -1;     // source bytes that read fine before a read fails (EIO)
    int64_t EcritureEchoueApres = -1;    // bytes stored before a write fails (ENOSPC)
    bool EcritureCourte = false;         // with EcritureEchoueApres: the write stores part and fails
    bool FermetureEchoue = false;        // every Fermer fails (EIO)
    std::string SeulementPour;           // when set, faults apply only to names containing it

    int RenommageEnEchec = -1;           // 1-based index of the rename that fails (EIO)
    int LienEnEchec = -1;                // 1-based index of the hard link that fails (EPERM)

    int Creations = 0;
    int Renommages = 0;
    int Liens = 0;

    std::unique_ptr<TFluxEcriture> CreerTemporaire(const std::string& final, TGenreFichier genre, std::string& nom) override {
        ++Creations;
        if (CreationEnEchec == Creations) throw EKOZException(MessageCreation(final, TexteErreur(ENOSPC)));
        auto flux = Base.CreerTemporaire(final, genre, nom);
        if (!Concerne(final) || (EcritureEchoueApres < 0 && !FermetureEchoue)) return flux;
        return std::make_unique<TEcritureFautive>(std::move(flux), final, *this);
    }

    bool Lier(const std::string& existant, const std::string& nouveau) override {
        ++Liens;
        if (LienEnEchec == Liens) throw EKOZException(MessageCreation(nouveau, TexteErreur(EPERM)));
        return Base.Lier(existant, nouveau);
    }

    void Renommer(const std::string& de, const std::string& vers, bool remplacer) override {
        ++Renommages;
        if (RenommageEnEchec == Renommages) throw EKOZException(MessageCreation(vers, TexteErreur(EIO)));
        Base.Renommer(de, vers, remplacer);
    }

    std::unique_ptr<TFluxLecture> OuvrirLecture(const std::string& nom) override {
        auto flux = Base.OuvrirLecture(nom);
        if (LectureEchoueApres < 0 || !Concerne(nom)) return flux;
        return std::make_unique<TLectureFautive>(std::move(flux), nom, LectureEchoueApres);
    }

    std::unique_ptr<TFluxEcriture> Creer(const std::string& nom, TGenreFichier genre, const TFluxLecture* interdit,
                                         const std::string& raison) override {
        ++Creations;
        if (CreationEnEchec == Creations) throw EKOZException(MessageCreation(nom, TexteErreur(ENOSPC)));
        const TFluxLecture* reel = interdit;
        if (auto* f = dynamic_cast<const TLectureFautive*>(interdit)) reel = f->Interne.get();
        auto flux = Base.Creer(nom, genre, reel, raison);
        if (!Concerne(nom) || (EcritureEchoueApres < 0 && !FermetureEchoue)) return flux;
        return std::make_unique<TEcritureFautive>(std::move(flux), nom, *this);
    }


private:
    bool Concerne(const std::string& nom) const {
        return SeulementPour.empty() || nom.find(SeulementPour) != std::string::npos;
    }

    class TLectureFautive : public TFluxLecture {
    public:
        TLectureFautive(std::unique_ptr<TFluxLecture> interne, std::string nom, int64_t limite)
            : Interne(std::move(interne)), Nom(std::move(nom)), Reste(limite) {}
        size_t Lire(uint8_t* tampon, size_t n) override {
            if (Reste <= 0) throw EKOZException(MessageLecture(Nom, TexteErreur(EIO)));
            if (int64_t(n) > Reste) n = size_t(Reste);
            const size_t k = Interne->Lire(tampon, n);
            Reste -= int64_t(k);
            return k;
        }
        uint64_t Taille() const override { return Interne->Taille(); }
        std::optional<TIdentiteFichier> Identite() const override { return Interne->Identite(); }
        std::unique_ptr<TFluxLecture> Interne;

    private:
        std::string Nom;
        int64_t Reste;
    };

    class TEcritureFautive : public TFluxEcriture {
    public:
        TEcritureFautive(std::unique_ptr<TFluxEcriture> interne, std::string nom, TPlateformeFautive& p)
            : Interne(std::move(interne)), Nom(std::move(nom)), P(p) {}
        void Ecrire(const uint8_t* tampon, size_t n) override {
            if (P.EcritureEchoueApres >= 0 && Ecrits + int64_t(n) > P.EcritureEchoueApres) {
                const size_t part = size_t(P.EcritureEchoueApres - Ecrits);
                if (P.EcritureCourte && part) Interne->Ecrire(tampon, part);
                Ecrits += P.EcritureCourte ? int64_t(part) : 0;
                throw EKOZException(MessageEcriture(Nom, TexteErreur(ENOSPC)));
            }
            Interne->Ecrire(tampon, n);
            Ecrits += int64_t(n);
        }
        void Fermer() override {
            Interne->Fermer();
            if (P.FermetureEchoue) throw EKOZException(MessageEcriture(Nom, TexteErreur(EIO)));
        }

    private:
        std::unique_ptr<TFluxEcriture> Interne;
        std::string Nom;
        TPlateformeFautive& P;
        int64_t Ecrits = 0;
    };
};
