#include "commande/KOZTransaction.hpp"

#include "commande/KOZEmpreinte.hpp"
#include "platform/Format.hpp"
#include "platform/KOZErreur.hpp"
#include "state/KOZGrille.hpp"

namespace {
const char* const kExtensions[3] = {".KGR", ".KEC", ".KPR"};

bool Existe(const std::string& nom) { return Plateforme().IdentiteDe(nom).has_value(); }
}  // namespace

std::unique_ptr<TVerrou> VerrouillerDossierEtat(const std::string& dir) {
    auto verrou = Plateforme().Verrouiller(dir);
    if (!verrou)
        throw EKOZException(Format("Un autre chiffrement ou déchiffrement est en cours dans le dossier d'état \"%s\" : "
                                   "attendez qu'il se termine",
                                   dir.c_str()));
    return verrou;
}

int PremierLibre(const std::string& dir, const std::string& base, int depuis) {
    for (int n = depuis;; ++n) {
        bool libre = true;
        for (const char* ext : kExtensions) libre = libre && !Existe(dir + base + "-" + std::to_string(n) + ext);
        if (libre) return n;
    }
}

TTransaction::~TTransaction() {
    if (Validee) return;
    auto effacer = [](TFichier& f) {
        if (f.Installe || f.Temporaire.empty()) return;
        f.Flux.reset();
        try {
            Plateforme().Supprimer(f.Temporaire);
        } catch (...) {
            // Left behind under its temporary name, which says what it is.
        }
    };
    for (auto& t : Trios)
        for (auto& f : t->Fichiers) effacer(f);
    for (auto& f : Fichiers) effacer(*f);
}

TFluxEcriture& TTransaction::NouveauFichier(const std::string& final, TGenreFichier genre, bool remplacer) {
    auto f = std::make_unique<TFichier>();
    f->Final = final;
    f->Remplacer = remplacer;
    f->Flux = Plateforme().CreerTemporaire(final, genre, f->Temporaire);
    Fichiers.push_back(std::move(f));
    return *Fichiers.back()->Flux;
}

void TTransaction::NouveauTrio(const TKOZGrille& etat, const std::string& dir, const std::string& base, bool garder) {
    auto t = std::make_unique<TTrio>();
    t->Dir = dir;
    t->Base = base;
    t->Garder = garder;
    Trios.push_back(std::move(t));
    TTrio& trio = *Trios.back();
    const TOctetsEtat octets = OctetsEtat(etat);
    const size_t debut[3] = {0, 256, 512}, taille[3] = {256, 256, 1792};
    for (int i = 0; i < 3; ++i) {
        TFichier& f = trio.Fichiers[i];
        f.Final = dir + base + kExtensions[i];
        f.Remplacer = true;
        f.Flux = Plateforme().CreerTemporaire(f.Final, TGenreFichier::Cle, f.Temporaire);
        f.Flux->Ecrire(octets.data() + debut[i], taille[i]);
        Fermer(f);
    }
}

void TTransaction::Fermer(TFichier& f) {
    if (!f.Flux) return;
    f.Flux->Fermer();
    f.Flux.reset();
}

namespace {
// Whether every file of the trio dir + base that exists is already kept,
// the very same file, under a number of that base: what a run stopped while
// it replaced the trio leaves (the old trio whole under its number, some of
// its files still under the base). Kept again, they would make a second,
// partial copy under a new number.
bool DejaGarde(const std::string& dir, const std::string& base) {
    const int libre = PremierLibre(dir, base);
    for (const char* ext : kExtensions) {
        const auto id = Plateforme().IdentiteDe(dir + base + ext);
        if (!id) continue;
        bool garde = false;
        for (int n = 1; n < libre && !garde; ++n)
            garde = Plateforme().IdentiteDe(dir + base + "-" + std::to_string(n) + ext) == id;
        if (!garde) return false;
    }
    return true;
}
}  // namespace

std::vector<std::string> TTransaction::InstallerTrio(TTrio& t) {
    std::vector<std::string> avis;
    bool ancien = false;
    std::string presents;  // the extensions of the old trio still there
    for (int i = 0; i < 3; ++i)
        if (Existe(t.Fichiers[i].Final)) {
            ancien = true;
            presents += (presents.empty() ? "" : ", ") + (t.Base + kExtensions[i]);
        }
    if (ancien && t.Garder && !DejaGarde(t.Dir, t.Base)) {
        // Linked before anything is removed: the old trio is whole under its
        // new name before its old name loses a single file.
        // A number found taken meanwhile, or a link that fails, takes back
        // the links made under it: no trio is left in part under a new name,
        // nor mixed with another's files.
        auto defaire = [](const std::vector<std::string>& lies) {
            for (const auto& l : lies) {
                try {
                    Plateforme().Supprimer(l);
                } catch (...) {
                }
            }
        };
        int n = PremierLibre(t.Dir, t.Base);
        for (;;) {
            const std::string garde = t.Base + "-" + std::to_string(n);
            std::vector<std::string> lies;
            bool pris = false;
            try {
                for (int i = 0; i < 3 && !pris; ++i) {
                    if (!Existe(t.Fichiers[i].Final)) continue;
                    const std::string lien = t.Dir + garde + kExtensions[i];
                    if (Plateforme().Lier(t.Fichiers[i].Final, lien))
                        lies.push_back(lien);
                    else
                        pris = true;
                }
            } catch (...) {
                defaire(lies);
                throw;
            }
            if (!pris) {
                if (lies.size() == 3)
                    avis.push_back(Format("L'ancien trio %s a été gardé sous %s dans \"%s\"", t.Base.c_str(),
                                          garde.c_str(), Plateforme().CheminComplet(t.Dir).c_str()));
                else
                    avis.push_back(Format("L'ancien trio %s, incomplet (%s seulement), a été gardé sous %s dans \"%s\"",
                                          t.Base.c_str(), presents.c_str(), garde.c_str(),
                                          Plateforme().CheminComplet(t.Dir).c_str()));
                break;
            }
            // The search goes on above the number found taken: a name that
            // looks free and is not (a dangling link) is not tried again.
            defaire(lies);
            n = PremierLibre(t.Dir, t.Base, n + 1);
        }
        Plateforme().SynchroniserRepertoire(t.Dir);
    }
    for (auto& f : t.Fichiers) Plateforme().Supprimer(f.Final);
    for (auto& f : t.Fichiers) {
        Plateforme().Renommer(f.Temporaire, f.Final, true);
        f.Installe = true;
    }
    return avis;
}

std::vector<std::string> TTransaction::Valider() {
    for (auto& f : Fichiers) Fermer(*f);
    std::vector<std::string> avis;
    std::vector<std::string> repertoires;
    // Keys before data: a key without its file is harmless, a file without its key is lost.
    for (auto& t : Trios) {
        for (auto& a : InstallerTrio(*t)) avis.push_back(a);
        repertoires.push_back(t->Dir);
    }
    for (auto& f : Fichiers) {
        Plateforme().Renommer(f->Temporaire, f->Final, f->Remplacer);
        f->Installe = true;
        const size_t barre = f->Final.rfind('/');
        repertoires.push_back(barre == std::string::npos ? std::string() : f->Final.substr(0, barre + 1));
    }
    for (const auto& r : repertoires) Plateforme().SynchroniserRepertoire(r);
    Validee = true;
    return avis;
}

std::vector<std::string> TTransaction::Temporaires() const {
    std::vector<std::string> noms;
    for (const auto& t : Trios)
        for (const auto& f : t->Fichiers)
            if (!f.Installe) noms.push_back(f.Temporaire);
    for (const auto& f : Fichiers)
        if (!f->Installe) noms.push_back(f->Temporaire);
    return noms;
}
