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
    uint32_t Ticks() override { return Base.Ticks(); }
    void ReleverSysteme(TPuitsReleves& g) override { Base.ReleverSysteme(g); }

protected:
    TPlateforme& Base;

private:
    TPlateforme* Precedente;
};
