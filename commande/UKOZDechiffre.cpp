#include "commande/UKOZDechiffre.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <regex>

#include "cipher/KOZDechiffre.hpp"
#include "commande/KOZArchive.hpp"
#include "commande/KOZEmpreinte.hpp"
#include "commande/KOZJournal.hpp"
#include "commande/KOZNoms.hpp"
#include "commande/KOZTransaction.hpp"
#include "commande/KOZVerifications.hpp"
#include "commande/UKOZChiffre.hpp"
#include "platform/Chemins.hpp"
#include "platform/Format.hpp"
#include "platform/Plateforme.hpp"

namespace {
const char* const kMemeFichier = "Le fichier chiffré et le fichier déchiffré sont le même fichier";
const char* const kDechiffreEtat = "Le fichier déchiffré et le fichier d'état sont le même fichier";
const char* const kChiffreEtat = "Le fichier chiffré et le fichier d'état sont le même fichier";
const char* const kDeuxFois = "Deux fichiers chiffrés seraient déchiffrés dans ce même fichier";
const char* const kGrilleDepart = "L'état atteint remplacerait la grille de départ";
// Chains are short; the bound only stops a journal whose records loop.
constexpr int kProfondeurMax = 256;

std::string Complet(const std::string& nom) { return Plateforme().CheminComplet(nom); }

// The three files of the trio that nom names (path part + base name).
std::vector<std::string> Trio(const std::string& nom) {
    const std::string dir = PartieChemin(nom), base = NomDeBase(nom);
    return {dir + base + ".KGR", dir + base + ".KEC", dir + base + ".KPR"};
}

void Refuser(const std::string& nom, const char* raison) { throw EKOZException(MessageCreation(nom, raison)); }

const char* const kPasOrdinaire =
    "Un fichier déchiffré n'est gardé qu'une fois vérifié, dans un fichier ordinaire : ce nom est celui d'un "
    "périphérique, d'un tube ou d'un flux standard";

// The names of the standard streams and of the system's own files, which
// resolve to whatever the process has open.
bool EstFluxDuSysteme(const std::string& complet) {
    for (const char* prefixe : {"/dev/stdin", "/dev/stdout", "/dev/stderr", "/dev/fd/", "/proc/", "/sys/"})
        if (complet.rfind(prefixe, 0) == 0) return true;
    return false;
}

std::string AvecBarre(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

// A record, and where it was found.
struct TTrouve {
    TEnregistrement E;
    std::string Dir;           // the journal's directory, with its "/"
    bool ParNom = false;       // found by name only: the file's fingerprint differs
    bool AVerifier = false;    // found by name, its fingerprint still being computed
};

// The journals read during one run, each once.
class TJournaux {
public:
    const std::vector<TEnregistrement>& De(const std::string& dir) {
        auto it = Lus.find(dir);
        if (it == Lus.end()) it = Lus.emplace(dir, LireJournal(dir)).first;
        return it->second;
    }

    // The last record of the file whose fingerprint is empreinte in the journals of dirs.
    std::optional<TTrouve> ParEmpreinte(const std::string& empreinte, const std::vector<std::string>& dirs) {
        for (const auto& dir : dirs) {
            const auto& liste = De(dir);
            for (auto it = liste.rbegin(); it != liste.rend(); ++it)
                if (it->EmpreinteChiffre == empreinte) return TTrouve{*it, dir, false, false};
        }
        return std::nullopt;
    }
    // The last record made under the name of fichier.
    std::optional<TTrouve> ParNom(const std::string& fichier, const std::vector<std::string>& dirs) {
        const std::string complet = Complet(fichier);
        for (const auto& dir : dirs) {
            const auto& liste = De(dir);
            for (auto it = liste.rbegin(); it != liste.rend(); ++it)
                if (Complet(CheminDuJournal(dir, it->Nom)) == complet) return TTrouve{*it, dir, true, false};
        }
        return std::nullopt;
    }
    // By fingerprint first, else by name.
    std::optional<TTrouve> Chercher(const std::string& fichier, const std::string& empreinte,
                                    const std::vector<std::string>& dirs) {
        if (auto t = ParEmpreinte(empreinte, dirs)) return t;
        return ParNom(fichier, dirs);
    }

private:
    std::map<std::string, std::vector<TEnregistrement>> Lus;
};

// A starting state found for a record, and how it was found.
struct TDepart {
    std::unique_ptr<TKOZGrille> Etat;
    std::string Comment;  // the trio's .KGR, then the files read to reach it
};

// The trio of dir whose state has fingerprint empreinte, preferring the
// base name the record gives.
std::optional<TDepart> TrioDuDossier(const std::string& dir, const std::string& empreinte, const std::string& prefere) {
    std::vector<std::string> bases;
    if (!prefere.empty()) bases.push_back(prefere);
    for (const auto& nom : Plateforme().Lister(dir))
        if (nom.size() >= 4 && nom.compare(nom.size() - 4, 4, ".KGR") == 0 && nom.substr(0, nom.size() - 4) != prefere)
            bases.push_back(nom.substr(0, nom.size() - 4));
    for (const auto& base : bases) {
        auto g = std::make_unique<TKOZGrille>();
        try {
            g->Charger(dir, base);
        } catch (const std::exception&) {
            continue;
        }
        if (EmpreinteEtat(*g) == empreinte) return TDepart{std::move(g), Complet(dir + base + ".KGR")};
    }
    return std::nullopt;
}

// The starting state of record r of the journal of dir: a trio of dir, or,
// for a file that continues a chain, the state reached by reading back the
// files before it from theirs.
std::optional<TDepart> TrouverDepart(TJournaux& journaux, const TEnregistrement& r, const std::string& dir,
                                     int profondeur = 0) {
    if (auto t = TrioDuDossier(dir, r.EmpreinteDepart, r.TrioDepart)) return t;
    if (profondeur >= kProfondeurMax) return std::nullopt;
    const auto& liste = journaux.De(dir);
    for (auto it = liste.rbegin(); it != liste.rend(); ++it) {
        if (it->EmpreinteFin != r.EmpreinteDepart) continue;
        const std::string avant = CheminDuJournal(dir, it->Nom);
        try {
            if (EmpreinteFichier(avant) != it->EmpreinteChiffre) continue;
            auto depart = TrouverDepart(journaux, *it, dir, profondeur + 1);
            if (!depart) continue;
            auto lecteur = std::make_unique<TKOZDechiffre>(*depart->Etat);
            auto source = Plateforme().OuvrirLecture(avant);
            TEcritureNulle rien;
            lecteur->DechiffrerFlux(*source, rien, avant);
            if (EmpreinteEtat(*lecteur) != it->EmpreinteFin) continue;
            return TDepart{std::move(lecteur), depart->Comment + ", puis " + Complet(avant)};
        } catch (const std::exception&) {
            continue;
        }
    }
    return std::nullopt;
}

// The file of the chain before record r that is missing or no longer the
// one recorded, nearest first: what keeps TrouverDepart from rebuilding r's
// starting state.
std::optional<std::string> MaillonManquant(TJournaux& journaux, const TEnregistrement& r, const std::string& dir,
                                           int profondeur = 0) {
    if (profondeur >= kProfondeurMax) return std::nullopt;
    for (const auto& avant : journaux.De(dir)) {
        if (avant.EmpreinteFin != r.EmpreinteDepart) continue;
        const std::string chemin = CheminDuJournal(dir, avant.Nom);
        try {
            if (EmpreinteFichier(chemin) != avant.EmpreinteChiffre) return chemin;
        } catch (const std::exception&) {
            return chemin;
        }
        return MaillonManquant(journaux, avant, dir, profondeur + 1);
    }
    return std::nullopt;
}

std::string MessageMaillonManquant(const std::string& chiffre, const std::string& manque) {
    return Format("La clé de \"%s\" n'a pas été trouvée : ce fichier continue une chaîne dont \"%s\", avant lui, "
                  "manque ou a changé depuis son chiffrement",
                  Complet(chiffre).c_str(), Complet(manque).c_str());
}

// The byte offset in the decryptor's "… est invalide à l'octet N".
std::optional<uint64_t> OctetInvalide(const std::string& message) {
    static const std::regex kOctet("est invalide à l'octet ([0-9]+)$");
    std::smatch m;
    if (!std::regex_search(message, m, kOctet)) return std::nullopt;
    return std::stoull(m[1].str());
}

// Why a file found by name in the journal does not match its record, in the
// user's words, from its size and where its decryption stopped.
std::string Diagnostic(const std::string& chiffre, uint64_t taille, const TEnregistrement& r,
                       std::optional<uint64_t> invalide, uint64_t clairs) {
    const std::string c = Complet(chiffre);
    // Shorter, and giving back fewer bytes than were encrypted: cut.
    if (taille < r.TailleChiffre && (invalide || clairs < r.TailleClair)) {
        if (invalide && taille - *invalide < 4)
            return Format("Le fichier chiffré \"%s\" est tronqué : il s'arrête au milieu d'un bloc, après %llu octets "
                          "au lieu des %llu enregistrés",
                          c.c_str(), (unsigned long long)taille, (unsigned long long)r.TailleChiffre);
        return Format("Le fichier chiffré \"%s\" est tronqué : %llu octets au lieu des %llu enregistrés", c.c_str(),
                      (unsigned long long)taille, (unsigned long long)r.TailleChiffre);
    }
    // Bytes appended to the recorded file: its beginning is still the recorded one.
    if (taille > r.TailleChiffre && EmpreinteFichier(chiffre, r.TailleChiffre) == r.EmpreinteChiffre)
        return Format("Le fichier chiffré \"%s\" a %llu octet(s) de trop ajouté(s) après sa fin enregistrée", c.c_str(),
                      (unsigned long long)(taille - r.TailleChiffre));
    if (invalide) return Format("Le fichier chiffré \"%s\" est endommagé à l'octet %llu", c.c_str(), (unsigned long long)*invalide);
    return Format("Le fichier chiffré \"%s\" n'est pas celui que le journal a enregistré : son contenu a changé depuis "
                  "le chiffrement du %s",
                  c.c_str(), r.Date.c_str());
}

// Where a decryption's plain bytes go: a file, or, when its first 512 bytes
// are the archive of a folder, that folder, extracted into a temporary
// folder beside the output. Nothing reaches the output's name before
// Valider; whatever is not validated is removed.
class TSortie : public TFluxEcriture {
public:
    TSortie(std::string final, bool ecraser) : Final(std::move(final)), Ecraser(ecraser) {}
    ~TSortie() override {
        Archive.reset();
        if (!Dossier.empty()) SupprimerArborescence(Dossier);
    }
    void Ecrire(const uint8_t* tampon, size_t n) override {
        Octets += n;
        if (!Vers) {
            Tete.append(reinterpret_cast<const char*>(tampon), n);
            if (Tete.size() >= kTailleEnteteArchive) Decider();
            return;
        }
        Vers->Ecrire(tampon, n);
    }
    void Fermer() override {
        if (!Vers) Decider();
        Vers->Fermer();
    }
    bool EstDossier() const { return Archive != nullptr; }
    uint64_t Octets = 0;

    // Moves the output into place under nom.
    void Valider(const std::string& nom, bool remplacer) {
        if (!Archive) {
            Transaction.Renommer(0, nom, remplacer);
            Transaction.Valider();
            return;
        }
        const auto& racines = Archive->Racines();
        if (racines.size() != 1)
            throw EKOZException(Format("L'archive déchiffrée doit contenir un seul dossier ; elle en contient %zu",
                                       racines.size()));
        // A folder is never replaced, even when asked: its content would mix with the old one's.
        // Moved to another parent, a folder has its ".." rewritten, which its
        // owner may only do with write permission on it: a folder restored
        // without it gets it for the move, then loses it again.
        if (Plateforme().IdentiteDe(nom))
            throw EKOZException(Format("Le dossier déchiffré ne peut pas prendre le nom \"%s\", qui existe déjà : un "
                                       "dossier n'en remplace jamais un autre, ni un fichier. Donnez-lui un autre nom",
                                       Complet(nom).c_str()));
        const std::string racine = Dossier + "/" + racines[0];
        struct stat st;
        const bool ferme = ::lstat(racine.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && !(st.st_mode & S_IWUSR);
        if (ferme && ::chmod(racine.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0)
            throw EKOZException(MessageCreation(nom, TexteErreur(errno)));
        Plateforme().Renommer(racine, nom, false);
        if (ferme) {
            const int fd = ::open(nom.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            const bool remis = fd >= 0 && ::fchmod(fd, st.st_mode & 07777) == 0;
            if (fd >= 0) ::close(fd);
            if (!remis) throw EKOZException(MessageEcriture(nom, TexteErreur(errno)));
        }
        SupprimerArborescence(Dossier);
        Dossier.clear();
        Plateforme().SynchroniserRepertoire(PartieChemin(Complet(nom)));
    }

private:
    void Decider() {
        const uint8_t* octets = reinterpret_cast<const uint8_t*>(Tete.data());
        if (EstArchiveDossier(octets, Tete.size())) {
            std::string modele = PrefixeTemporaire(Final) + "XXXXXX";
            if (!::mkdtemp(modele.data())) throw EKOZException(MessageCreation(Final, TexteErreur(errno)));
            Dossier = modele;
            Archive = std::make_unique<TExtractionArchive>(Dossier, false);
            Vers = Archive.get();
        } else {
            Vers = &Transaction.NouveauFichier(Final, TGenreFichier::Donnees, Ecraser);
        }
        if (!Tete.empty()) Vers->Ecrire(octets, Tete.size());
        Tete.clear();
    }

    std::string Final;
    bool Ecraser;
    std::string Tete;
    TFluxEcriture* Vers = nullptr;
    TTransaction Transaction;
    std::string Dossier;
    std::unique_ptr<TExtractionArchive> Archive;
};

struct TEntree {
    std::string Chiffre, Clair;
    uint64_t Taille = 0;
    // Computed on another thread while the file is decrypted: the record
    // found by the file's name is taken at once and checked against it after.
    std::shared_future<std::string> Empreinte;
    std::optional<TTrouve> Trouve;
};

// Puts the entries in their chain's order when the records know all of them:
// each one starts from the state where the one before it ended.
bool OrdonnerChaine(std::vector<TEntree>& entrees) {
    if (entrees.size() < 2) return false;
    for (const auto& e : entrees)
        if (!e.Trouve || e.Trouve->ParNom) return false;
    std::vector<TEntree> ordre;
    std::vector<bool> pris(entrees.size(), false);
    // The first is the one whose start is no other's end.
    for (size_t k = 0; k < entrees.size(); ++k) {
        bool suit = false;
        for (size_t m = 0; m < entrees.size(); ++m)
            suit = suit || (m != k && entrees[m].Trouve->E.EmpreinteFin == entrees[k].Trouve->E.EmpreinteDepart);
        if (!suit) {
            ordre.push_back(entrees[k]);
            pris[k] = true;
            break;
        }
    }
    while (!ordre.empty() && ordre.size() < entrees.size()) {
        bool trouve = false;
        for (size_t k = 0; k < entrees.size() && !trouve; ++k)
            if (!pris[k] && entrees[k].Trouve->E.EmpreinteDepart == ordre.back().Trouve->E.EmpreinteFin) {
                ordre.push_back(entrees[k]);
                pris[k] = true;
                trouve = true;
            }
        if (!trouve) break;
    }
    if (ordre.size() != entrees.size()) return false;
    bool change = false;
    for (size_t k = 0; k < ordre.size(); ++k) change = change || ordre[k].Chiffre != entrees[k].Chiffre;
    entrees = std::move(ordre);
    return change;
}

// The directories whose journals may know a file: its own first, then the
// one named, the grid's, and those of the other files of the run (a chain
// encrypted from several folders has its journal in the folder of its first
// file).
std::vector<std::string> DossiersJournal(const std::string& chiffre, const TDechiffrement& d) {
    std::vector<std::string> dirs = {AvecBarre(PartieChemin(Complet(chiffre)))};
    auto ajouter = [&](const std::string& dir) {
        if (dir.empty()) return;
        const std::string a = AvecBarre(Complet(dir));
        for (const auto& x : dirs)
            if (x == a) return;
        dirs.push_back(a);
    };
    ajouter(d.Etat);
    if (!d.Grille.empty()) ajouter(PartieChemin(Complet(d.Grille)));
    for (const auto& f : d.Fichiers) ajouter(PartieChemin(Complet(f.first)));
    return dirs;
}
}  // namespace

TRapportDechiffrement Dechiffrer(const TDechiffrement& d, const TSuivi* suivi) {
    if (d.Fichiers.empty()) throw EKOZException("Aucun fichier à déchiffrer");

    std::vector<TEntree> entrees;
    for (const auto& [chiffre, clair] : d.Fichiers)
        entrees.push_back({chiffre, clair.empty() ? NomDechiffrePropose(chiffre) : clair, 0, {}, {}});

    // Everything that can be known to fail is checked before a single file
    // is written, so that a run that cannot go through leaves the disk as it was.
    uint64_t total = 0;
    for (auto& e : entrees) {
        const auto source = Plateforme().OuvrirLecture(e.Chiffre);
        e.Taille = source->Taille();
        total += e.Taille;
    }
    std::vector<std::string> depart = d.Grille.empty() ? std::vector<std::string>{} : Trio(d.Grille), etats = depart,
                             ecritsEtat;
    if (!d.Fin.empty())
        for (const auto& e : Trio(d.Fin)) etats.push_back(e);
    if (!d.SauverFin.empty()) {
        ecritsEtat = Trio(d.SauverFin);
        // A trio it replaces is kept under a number: that name must fit too.
        bool remplace = false;
        for (const auto& e : ecritsEtat) remplace = remplace || Plateforme().IdentiteDe(e).has_value();
        if (remplace) VerifierCreable(PartieChemin(d.SauverFin) + NomDeBase(d.SauverFin) + "-1.KGR");
        for (const auto& e : ecritsEtat) {
            VerifierCreable(e);
            VerifierRemplacable(e);
            // Replacing the starting trio would lose the key to the files.
            for (const auto& g : depart)
                if (MemeFichier(e, g)) Refuser(e, kGrilleDepart);
            for (const auto& f : entrees)
                if (MemeFichier(e, f.Chiffre)) Refuser(e, kChiffreEtat);
            etats.push_back(e);
        }
    }
    for (size_t k = 0; k < entrees.size(); ++k) {
        const std::string& clair = entrees[k].Clair;
        // A decrypted file is written under a temporary name and moved into
        // place once verified: there is no such move into standard output, a
        // device or a pipe, and one over /dev/stdout would replace the link
        // itself.
        if (clair == "-")
            throw EKOZException("Le déchiffrement n'écrit pas sur la sortie standard : il ne garde un fichier déchiffré "
                                "qu'une fois vérifié. Donnez-lui un nom de fichier");
        if (EstFluxDuSysteme(Complet(clair)) ||
            (Plateforme().IdentiteDe(clair) && !Plateforme().FichierOrdinaire(clair) &&
             !Plateforme().RepertoireExiste(clair)))
            Refuser(clair, kPasOrdinaire);
        for (const auto& f : entrees)
            if (MemeFichier(clair, f.Chiffre)) Refuser(clair, kMemeFichier);
        for (const auto& e : etats)
            if (MemeFichier(clair, e)) Refuser(clair, kDechiffreEtat);
        for (size_t m = 0; m < k; ++m)
            if (MemeFichier(clair, entrees[m].Clair)) Refuser(clair, kDeuxFois);
        VerifierCreable(clair);
        VerifierNiCleNiJournal(clair);
        if (d.Ecraser) VerifierRemplacable(clair);
        if (!d.Ecraser && Plateforme().IdentiteDe(clair)) {
            const std::string complet = Complet(clair);
            throw EKOZFichierExistant(Format("Le fichier déchiffré \"%s\" existe déjà", complet.c_str()), complet);
        }
    }

    // The trio saved at the end is installed as an encryption installs its
    // own, the one it replaces kept under the first free number: two runs
    // doing so at once in one folder would pick the same number and lose a
    // key. So the folder is locked as an encryption locks it, from here on.
    std::unique_ptr<TVerrou> verrou;
    if (!d.SauverFin.empty()) {
        const std::string dir = PartieChemin(Complet(d.SauverFin));
        verrou = VerrouillerDossierEtat(dir);
    }

    const uint32_t debut = Plateforme().Ticks();
    TRapportDechiffrement rapport;

    // What the journals know of each file.
    TJournaux journaux;
    for (auto& e : entrees) {
        e.Empreinte = std::async(std::launch::async, [nom = e.Chiffre] { return EmpreinteFichier(nom); }).share();
        const auto dirs = DossiersJournal(e.Chiffre, d);
        e.Trouve = journaux.ParNom(e.Chiffre, dirs);
        if (e.Trouve) {
            e.Trouve->ParNom = false;
            e.Trouve->AVerifier = true;
        } else {
            e.Trouve = journaux.ParEmpreinte(e.Empreinte.get(), dirs);
        }
    }
    if (OrdonnerChaine(entrees)) {
        std::string ordre;
        for (const auto& e : entrees) ordre += (ordre.empty() ? "" : ", ") + PartieNom(e.Chiffre);
        rapport.Avis.push_back("Les fichiers forment une chaîne : ils sont déchiffrés dans son ordre (" + ordre + ")");
    }
    // A file is verified by its own record, or, in a chain, by the Fin trio
    // that the state reached at the end of the chain must equal.
    for (const auto& e : entrees)
        if (!(e.Trouve && !e.Trouve->ParNom) && !e.Trouve && d.Fin.empty() && !d.SansVerification)
            throw EKOZException(Format(
                "Rien ne permet de vérifier le déchiffrement de \"%s\" : le journal de son dossier ne le connaît "
                "pas et aucun état d'arrivée (FIN-CHIFFRE) n'est donné. Pour le déchiffrer sans preuve, "
                "demandez-le explicitement (option --sans-verification, ou case « Déchiffrer même sans vérification »)",
                Complet(e.Chiffre).c_str()));

    std::unique_ptr<TKOZGrille> fin;
    if (!d.Fin.empty()) {
        fin = std::make_unique<TKOZGrille>();
        fin->Charger(PartieChemin(d.Fin), NomDeBase(d.Fin));
    }

    uint64_t avant = 0;
    TSuivi chaine;
    if (suivi) {
        chaine.Arret = suivi->Arret;
        if (suivi->Progression)
            chaine.Progression = [&](uint64_t fait, uint64_t) { suivi->Progression(avant + fait, total); };
    }

    std::unique_ptr<TKOZGrille> courant;  // the state where the previous file ended
    std::vector<std::pair<std::unique_ptr<TSortie>, std::string>> enAttente;  // outputs only the Fin trio can prove
    for (size_t k = 0; k < entrees.size(); ++k) {
        TEntree& e = entrees[k];
        const TEnregistrement* r = e.Trouve ? &e.Trouve->E : nullptr;

        // The starting state: the end of the previous file, the grid given,
        // or the key the journal finds.
        std::unique_ptr<TKOZGrille> candidat;
        std::string nomCandidat;
        if (courant) {
            candidat = std::move(courant);
            nomCandidat = "la fin de " + Complet(entrees[k - 1].Chiffre);
        } else if (!d.Grille.empty()) {
            candidat = std::make_unique<TKOZGrille>();
            candidat->Charger(PartieChemin(d.Grille), NomDeBase(d.Grille));
            nomCandidat = Complet(PartieChemin(d.Grille) + NomDeBase(d.Grille) + ".KGR");
        }
        std::unique_ptr<TKOZGrille> departEtat;
        if (r) {
            if (candidat && EmpreinteEtat(*candidat) == r->EmpreinteDepart) {
                departEtat = std::move(candidat);
            } else {
                auto trouve = TrouverDepart(journaux, *r, e.Trouve->Dir);
                // A file that does not continue the one before it in the run
                // (a link of the chain left out) starts from its own key,
                // when the journal finds it.
                if (candidat && k > 0 && !trouve) {
                    // A link of the chain left out, and missing: that, rather than the order.
                    if (const auto manque = MaillonManquant(journaux, *r, e.Trouve->Dir))
                        throw EKOZException(MessageMaillonManquant(e.Chiffre, *manque));
                    throw EKOZException(Format("\"%s\" ne suit pas \"%s\" dans la chaîne : les fichiers ne sont pas "
                                               "donnés dans l'ordre de leur chiffrement",
                                               Complet(e.Chiffre).c_str(), Complet(entrees[k - 1].Chiffre).c_str()));
                }
                if (candidat && k == 0)
                    throw EKOZException(
                        Format("La grille \"%s\" n'est pas la clé de \"%s\"%s", nomCandidat.c_str(),
                               Complet(e.Chiffre).c_str(),
                               trouve ? Format(" : sa clé est \"%s\"", trouve->Comment.c_str()).c_str() : ""));
                if (!trouve) {
                    // The file continues a chain: name the file before it,
                    // without which its starting state cannot be rebuilt.
                    if (const auto manque = MaillonManquant(journaux, *r, e.Trouve->Dir))
                        throw EKOZException(MessageMaillonManquant(e.Chiffre, *manque));
                    throw EKOZException(Format("La clé de \"%s\" n'a pas été trouvée dans \"%s\" : donnez sa grille "
                                               "de départ",
                                               Complet(e.Chiffre).c_str(), e.Trouve->Dir.c_str()));
                }
                rapport.Avis.push_back(
                    Format("Clé de \"%s\" : \"%s\"", Complet(e.Chiffre).c_str(), trouve->Comment.c_str()));
                departEtat = std::move(trouve->Etat);
            }
        } else {
            if (!candidat) throw EKOZException("Le déchiffrement demande la grille de départ");
            departEtat = std::move(candidat);
        }

        auto lecteur = std::make_unique<TKOZDechiffre>(*departEtat);
        if (suivi && suivi->Fichier) suivi->Fichier(int(k + 1), int(entrees.size()));
        auto sortie = std::make_unique<TSortie>(e.Clair, d.Ecraser);
        std::optional<std::string> echec;
        {
            auto source = Plateforme().OuvrirLecture(e.Chiffre);
            try {
                lecteur->DechiffrerFlux(*source, *sortie, e.Chiffre, suivi ? &chaine : nullptr);
                sortie->Fermer();
            } catch (const EKOZInterruption&) {
                throw EKOZInterruption("Déchiffrement interrompu : le fichier en cours n'a pas été gardé");
            } catch (const EKOZException& x) {
                echec = x.what();
            }
        }
        const uint64_t clairs = sortie->Octets;
        avant += e.Taille;

        // The record taken by name holds only if the file is the one it fingerprinted.
        if (r && e.Trouve->AVerifier) {
            e.Trouve->AVerifier = false;
            const std::string empreinte = e.Empreinte.get();
            if (empreinte != r->EmpreinteChiffre) {
                if (const auto autre = journaux.ParEmpreinte(empreinte, DossiersJournal(e.Chiffre, d)))
                    throw EKOZException(Format("Le fichier chiffré \"%s\" n'est pas celui que le journal a enregistré "
                                               "sous ce nom : c'est le fichier chiffré \"%s\", renommé",
                                               Complet(e.Chiffre).c_str(),
                                               Complet(CheminDuJournal(autre->Dir, autre->E.Nom)).c_str()));
                e.Trouve->ParNom = true;
            }
        }

        // The verdict.
        const std::string atteint = EmpreinteEtat(*lecteur);
        std::optional<std::string> refus;
        if (r && e.Trouve->ParNom) {
            refus = Diagnostic(e.Chiffre, e.Taille, *r, echec ? OctetInvalide(*echec) : std::nullopt, clairs);
        } else if (echec) {
            refus = *echec;
            if (r) {
                const auto octet = OctetInvalide(*echec);
                if (octet)
                    refus = Format("Le fichier chiffré \"%s\" est endommagé à l'octet %llu", Complet(e.Chiffre).c_str(),
                                   (unsigned long long)*octet);
            }
        } else if (r && (atteint != r->EmpreinteFin || clairs != r->TailleClair)) {
            refus = Format("Le déchiffrement de \"%s\" n'atteint pas l'état enregistré : fichier chiffré altéré",
                           Complet(e.Chiffre).c_str());
        } else if (!r && fin && k + 1 == entrees.size() && !EtatsEgaux(*lecteur, *fin)) {
            refus = Format("L'état atteint ne correspond pas à l'état \"%s\" : mauvaise grille de départ ou fichier "
                           "chiffré altéré",
                           Complet(d.Fin).c_str());
        }
        if (refus) {
            std::string message = *refus;
            if (d.GarderPartiel) {
                const std::string partiel = e.Clair + ".partiel";
                try {
                    sortie->Fermer();
                } catch (const std::exception&) {
                }
                sortie->Valider(partiel, true);
                // What reached the disk, which a full disk keeps below what
                // was decrypted.
                uint64_t gardes = clairs;
                if (!sortie->EstDossier()) {
                    try {
                        gardes = Plateforme().OuvrirLecture(partiel)->Taille();
                    } catch (const std::exception&) {
                    }
                }
                message += gardes ? Format(" (les %llu octets déchiffrés sont gardés dans \"%s\")",
                                           (unsigned long long)gardes, Complet(partiel).c_str())
                                  : Format(" (aucun octet déchiffré n'a pu être gardé : \"%s\" est vide)",
                                           Complet(partiel).c_str());
            }
            // What a chain waited for is proven by nothing now.
            throw EKOZException(message);
        }

        const char* forme = sortie->EstDossier() ? "%s -> %s/ (%s)" : "%s -> %s (%s)";
        if (r) {
            sortie->Valider(e.Clair, d.Ecraser);
            rapport.Fichiers.push_back(Format(forme, e.Chiffre.c_str(), e.Clair.c_str(), "vérifié"));
        } else if (fin) {
            enAttente.push_back({std::move(sortie), e.Clair});
            rapport.Fichiers.push_back(Format(forme, e.Chiffre.c_str(), e.Clair.c_str(), "vérifié par l'état d'arrivée"));
        } else {
            sortie->Valider(e.Clair, d.Ecraser);
            rapport.Fichiers.push_back(Format(forme, e.Chiffre.c_str(), e.Clair.c_str(), "NON VÉRIFIÉ"));
            rapport.Avis.push_back(Format("Attention : \"%s\" n'a pas pu être vérifié ; il peut être faux",
                                          Complet(e.Clair).c_str()));
        }
        courant = std::move(lecteur);
    }

    // The Fin trio checks the whole chain.
    if (fin && !EtatsEgaux(*courant, *fin))
        throw EKOZException(Format("L'état atteint ne correspond pas à l'état \"%s\" : mauvaise grille de départ ou "
                                   "fichier chiffré altéré",
                                   Complet(d.Fin).c_str()));
    for (auto& [attente, nom] : enAttente) attente->Valider(nom, d.Ecraser);
    if (!d.SauverFin.empty()) {
        TTransaction t;
        t.NouveauTrio(*courant, PartieChemin(Complet(d.SauverFin)), NomDeBase(d.SauverFin), true);
        for (auto& a : t.Valider()) rapport.Avis.push_back(a);
    }

    const int32_t ecoule = int32_t(Plateforme().Ticks() - debut);
    rapport.Statut = Format("Terminé en %dms", int(ecoule));
    return rapport;
}

std::string LancerDechiffrement(const TDechiffrement& d, const TSuivi* suivi) { return Dechiffrer(d, suivi).Statut; }

std::string VerifierChiffre(const std::string& chiffre, const std::string& etat, const TSuivi* suivi) {
    TDechiffrement d;
    d.Etat = etat;
    const std::string empreinte = EmpreinteFichier(chiffre);
    TJournaux journaux;
    const auto dirs = DossiersJournal(chiffre, d);
    // As the decryption judges it: a file recorded under another name than
    // its own is that other file, renamed.
    if (const auto parNom = journaux.ParNom(chiffre, dirs); parNom && parNom->E.EmpreinteChiffre != empreinte)
        if (const auto autre = journaux.ParEmpreinte(empreinte, dirs))
            throw EKOZException(Format("Le fichier chiffré \"%s\" n'est pas celui que le journal a enregistré sous ce "
                                       "nom : c'est le fichier chiffré \"%s\", renommé",
                                       Complet(chiffre).c_str(),
                                       Complet(CheminDuJournal(autre->Dir, autre->E.Nom)).c_str()));
    const auto trouve = journaux.Chercher(chiffre, empreinte, dirs);
    if (!trouve)
        throw EKOZException(Format("Le journal ne connaît pas \"%s\" : rien ne permet de le vérifier",
                                   Complet(chiffre).c_str()));
    auto depart = TrouverDepart(journaux, trouve->E, trouve->Dir);
    if (!depart)
        throw EKOZException(Format("La clé de \"%s\" n'a pas été trouvée dans \"%s\"", Complet(chiffre).c_str(),
                                   trouve->Dir.c_str()));
    TKOZDechiffre lecteur(*depart->Etat);
    auto source = Plateforme().OuvrirLecture(chiffre);
    const uint64_t taille = source->Taille();
    TEcritureNulle compte;
    std::optional<uint64_t> invalide;
    try {
        lecteur.DechiffrerFlux(*source, compte, chiffre, suivi);
    } catch (const EKOZInterruption&) {
        throw;
    } catch (const EKOZException& x) {
        invalide = OctetInvalide(x.what());
        if (!trouve->ParNom) throw;
    }
    if (trouve->ParNom) throw EKOZException(Diagnostic(chiffre, taille, trouve->E, invalide, compte.Octets));
    if (EmpreinteEtat(lecteur) != trouve->E.EmpreinteFin || compte.Octets != trouve->E.TailleClair)
        throw EKOZException(Format("Le déchiffrement de \"%s\" n'atteint pas l'état enregistré : fichier chiffré altéré",
                                   Complet(chiffre).c_str()));
    return Format("Le fichier chiffré \"%s\" est intact (clé « %s », %llu octets en clair)", Complet(chiffre).c_str(),
                  depart->Comment.c_str(), (unsigned long long)trouve->E.TailleClair);
}
