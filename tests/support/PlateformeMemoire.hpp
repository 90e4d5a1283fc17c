#pragma once
// A platform whose files live in memory: the cipher state, the encrypted file
// and the output without touching the disk (fuzz targets, tests). Installed
// for its lifetime. Every directory exists except the names put in
// `Repertoires`, which are directories and cannot be opened as files.
//
// Names are kept as given; a relative name is made absolute against "/".

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/Plateforme.hpp"
#include "platform/KOZErreur.hpp"

class TPlateformeMemoire : public TPlateforme {
public:
    struct TFichier {
        std::shared_ptr<std::string> Contenu = std::make_shared<std::string>();
        uint64_t Noeud = 0;
        TGenreFichier Genre = TGenreFichier::Donnees;
    };

    TPlateformeMemoire() { Precedente = DefinirPlateforme(this); }
    ~TPlateformeMemoire() override { DefinirPlateforme(Precedente); }
    TPlateformeMemoire(const TPlateformeMemoire&) = delete;
    TPlateformeMemoire& operator=(const TPlateformeMemoire&) = delete;

    // Puts a file with that content in place (replacing any other).
    void Poser(const std::string& nom, std::string contenu) {
        TFichier f;
        *f.Contenu = std::move(contenu);
        f.Noeud = ++DernierNoeud;
        Fichiers[nom] = std::move(f);
    }
    // The content of nom, or null when there is no such file.
    const std::string* Contenu(const std::string& nom) const {
        const auto it = Fichiers.find(nom);
        return it == Fichiers.end() ? nullptr : it->second.Contenu.get();
    }

    std::unique_ptr<TFluxLecture> OuvrirLecture(const std::string& nom) override {
        if (Repertoires.count(nom)) throw EKOZException(MessageOuverture(nom, TexteErreur(EISDIR)));
        const auto it = Fichiers.find(nom);
        if (it == Fichiers.end()) throw EKOZException(MessageOuverture(nom, TexteErreur(ENOENT)));
        return std::make_unique<TLecture>(it->second);
    }

    std::unique_ptr<TFluxEcriture> Creer(const std::string& nom, TGenreFichier genre, const TFluxLecture* interdit,
                                         const std::string& raisonInterdit) override {
        if (Repertoires.count(nom) || nom.empty() || nom.back() == '/')
            throw EKOZException(MessageCreation(nom, TexteErreur(EISDIR)));
        auto it = Fichiers.find(nom);
        if (interdit && it != Fichiers.end()) {
            const auto id = interdit->Identite();
            if (id && *id == TIdentiteFichier{1, it->second.Noeud})
                throw EKOZException(MessageCreation(nom, raisonInterdit));
        }
        if (it == Fichiers.end()) {
            TFichier f;
            f.Noeud = ++DernierNoeud;
            it = Fichiers.emplace(nom, std::move(f)).first;
        }
        it->second.Contenu->clear();
        it->second.Genre = genre;
        return std::make_unique<TEcriture>(it->second.Contenu);
    }

    std::optional<TIdentiteFichier> IdentiteDe(const std::string& nom) override {
        const auto it = Fichiers.find(nom);
        if (it == Fichiers.end()) return std::nullopt;
        return TIdentiteFichier{1, it->second.Noeud};
    }
    bool FichierExiste(const std::string& nom) override { return Fichiers.count(nom) != 0; }
    bool RepertoireExiste(const std::string& nom) override {
        return Repertoires.count(nom) != 0 || (!nom.empty() && nom.back() == '/');
    }
    std::string CheminComplet(const std::string& nom) override {
        if (nom.empty() || nom[0] == '/') return nom;
        return "/" + nom;
    }
    uint32_t Ticks() override { return ++Horloge; }
    void ReleverSysteme(TPuitsReleves&) override {}

    std::map<std::string, TFichier> Fichiers;
    std::set<std::string> Repertoires;

private:
    // A reader holds the content it was opened on, as an open file would
    // after the name has been re-created.
    class TLecture : public TFluxLecture {
    public:
        explicit TLecture(const TFichier& f)
            : Contenu(std::make_shared<std::string>(*f.Contenu)), Id{1, f.Noeud} {}
        size_t Lire(uint8_t* tampon, size_t n) override {
            const size_t k = std::min(n, Contenu->size() - Lu);
            if (k) std::memcpy(tampon, Contenu->data() + Lu, k);
            Lu += k;
            return k;
        }
        uint64_t Taille() const override { return Contenu->size(); }
        std::optional<TIdentiteFichier> Identite() const override { return Id; }

    private:
        std::shared_ptr<const std::string> Contenu;
        TIdentiteFichier Id;
        size_t Lu = 0;
    };

    class TEcriture : public TFluxEcriture {
    public:
        explicit TEcriture(std::shared_ptr<std::string> contenu) : Contenu(std::move(contenu)) {}
        void Ecrire(const uint8_t* tampon, size_t n) override {
            Contenu->append(reinterpret_cast<const char*>(tampon), n);
        }

    private:
        std::shared_ptr<std::string> Contenu;
    };

    TPlateforme* Precedente;
    uint64_t DernierNoeud = 0;
    uint32_t Horloge = 0;
};
