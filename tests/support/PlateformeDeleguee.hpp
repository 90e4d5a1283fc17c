#pragma once
// A platform that hands every call to the POSIX one, installed for its
// lifetime. Test platforms derive from it and override only the calls they
// change (opening, creating), reaching the real platform through Base.

#include <memory>
#include <optional>
#include <string>

#include "platform/Plateforme.hpp"

class TPlateformeDeleguee : public TPlateforme {
public:
    TPlateformeDeleguee() : Base(PlateformePosix()) { Precedente = DefinirPlateforme(this); }
    ~TPlateformeDeleguee() override { DefinirPlateforme(Precedente); }

    std::unique_ptr<TFluxLecture> OuvrirLecture(const std::string& nom) override { return Base.OuvrirLecture(nom); }
    std::unique_ptr<TFluxEcriture> Creer(const std::string& nom, TGenreFichier genre, const TFluxLecture* interdit,
                                         const std::string& raison) override {
        return Base.Creer(nom, genre, interdit, raison);
    }
    std::optional<TIdentiteFichier> IdentiteDe(const std::string& nom) override { return Base.IdentiteDe(nom); }
    bool FichierExiste(const std::string& nom) override { return Base.FichierExiste(nom); }
    bool RepertoireExiste(const std::string& nom) override { return Base.RepertoireExiste(nom); }
    std::string CheminComplet(const std::string& nom) override { return Base.CheminComplet(nom); }
    std::unique_ptr<TFluxEcriture> CreerTemporaire(const std::string& final, TGenreFichier genre, std::string& nom) override {
        return Base.CreerTemporaire(final, genre, nom);
    }
    void Renommer(const std::string& de, const std::string& vers, bool remplacer) override {
        Base.Renommer(de, vers, remplacer);
    }
    bool Lier(const std::string& existant, const std::string& nouveau) override { return Base.Lier(existant, nouveau); }
    void Supprimer(const std::string& nom) override { Base.Supprimer(nom); }
    void SynchroniserRepertoire(const std::string& dir) override { Base.SynchroniserRepertoire(dir); }
    std::vector<std::string> Lister(const std::string& dir) override { return Base.Lister(dir); }
    bool FichierOrdinaire(const std::string& nom) override { return Base.FichierOrdinaire(nom); }
    std::unique_ptr<TVerrou> Verrouiller(const std::string& dir) override { return Base.Verrouiller(dir); }
    int64_t Secondes() override { return Base.Secondes(); }
    uint32_t Ticks() override { return Base.Ticks(); }
    void ReleverSysteme(TPuitsReleves& g) override { Base.ReleverSysteme(g); }

protected:
    TPlateforme& Base;

private:
    TPlateforme* Precedente;
};
