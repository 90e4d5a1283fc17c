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
    std::unique_ptr<TFluxEcriture> CreerTemporaire(const std::string& final, TGenreFichier genre, std::string& nom) override {
        nom = final + ".koz-temporaire-" + std::to_string(++Temporaires);
        return Creer(nom, genre, nullptr, {});
    }
    void Renommer(const std::string& de, const std::string& vers, bool remplacer) override {
        const auto it = Fichiers.find(de);
        if (it == Fichiers.end()) throw EKOZException(MessageCreation(vers, TexteErreur(ENOENT)));
        if (!remplacer && Fichiers.count(vers)) throw EKOZException(MessageCreation(vers, TexteErreur(EEXIST)));
        TFichier f = it->second;
        Fichiers.erase(it);
        Fichiers[vers] = std::move(f);
    }
    bool Lier(const std::string& existant, const std::string& nouveau) override {
        const auto it = Fichiers.find(existant);
        if (it == Fichiers.end()) throw EKOZException(MessageCreation(nouveau, TexteErreur(ENOENT)));
        if (Fichiers.count(nouveau)) return false;
        Fichiers[nouveau] = it->second;
        return true;
    }
    void Supprimer(const std::string& nom) override { Fichiers.erase(nom); }
    void SynchroniserRepertoire(const std::string&) override {}
    std::vector<std::string> Lister(const std::string& dir) override {
        std::vector<std::string> noms;
        for (const auto& [nom, f] : Fichiers)
            if (nom.size() > dir.size() && nom.compare(0, dir.size(), dir) == 0 &&
                nom.find('/', dir.size()) == std::string::npos)
                noms.push_back(nom.substr(dir.size()));
        return noms;
    }
    bool FichierOrdinaire(const std::string& nom) override { return Fichiers.count(nom) != 0; }
    std::unique_ptr<TVerrou> Verrouiller(const std::string&) override { return std::make_unique<TVerrou>(); }
    int64_t Secondes() override { return 1800000000; }
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
    int Temporaires = 0;
};
