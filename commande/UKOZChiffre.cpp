#include "commande/UKOZChiffre.hpp"

#include <climits>
#include <cstdlib>
#include <cerrno>
#include <memory>
#include <vector>

#include "cipher/KOZChiffre.hpp"
#include "commande/KOZArchive.hpp"
#include "commande/KOZEmpreinte.hpp"
#include "commande/KOZJournal.hpp"
#include "commande/KOZNoms.hpp"
#include "commande/KOZTransaction.hpp"
#include "commande/KOZVerifications.hpp"
#include "platform/Chemins.hpp"
#include "platform/Format.hpp"
#include "platform/Plateforme.hpp"

namespace {
const char* const kMemeFichier = "Le fichier à chiffrer et le fichier chiffré sont le même fichier";
const char* const kSourceEtat = "Le fichier à chiffrer et le fichier d'état sont le même fichier";
const char* const kDestinationEtat = "Le fichier chiffré et le fichier d'état sont le même fichier";
const char* const kEntreeStandard = "-";

void AjouterTrio(std::vector<std::string>& noms, const std::string& dir, const std::string& nom) {
    for (const char* ext : {".KGR", ".KEC", ".KPR"}) noms.push_back(dir + nom + ext);
}

std::string AvecBarre(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

// One source of the run, opened once, with where its blocks go.
struct TTache {
    std::string Source, Destination;
    std::unique_ptr<TFluxLecture> Flux;
    bool VersSortieStandard = false;  // "-": standard output
    bool VersFlot = false;            // an existing destination that is not a regular file (a device, a pipe)
    bool Dossier = false;             // a folder, encrypted as one archive
};

// The name with the links on its way resolved (the name itself too, when it
// exists); its absolute spelling when that cannot be done.
std::string Resolu(const std::string& nom) {
    const std::string complet = Plateforme().CheminComplet(nom);
    char tampon[PATH_MAX];
    if (::realpath(complet.c_str(), tampon)) return tampon;
    const std::string dir = PartieChemin(complet);
    if (!dir.empty() && ::realpath(dir.c_str(), tampon)) return AvecBarre(tampon) + PartieNom(complet);
    return complet;
}

// Whether nom lies inside dossier, as spelled or once the links on the way
// to either are followed (a state folder given through a link into the
// folder encrypted would put the run's own keys into its archive).
bool Dans(const std::string& nom, const std::string& dossier) {
    // The folder itself counts as inside it.
    auto sous = [](std::string n, std::string d) {
        n = SansBarreFinale(n);
        d = SansBarreFinale(d);
        return n == d ||
               (n.size() > d.size() && n.compare(0, d.size(), d) == 0 && (d.back() == '/' || n[d.size()] == '/'));
    };
    return sous(Plateforme().CheminComplet(nom), Plateforme().CheminComplet(dossier)) ||
           sous(Resolu(nom), Resolu(dossier));
}

// The progress of a chain: one count over all its sources.
class TSuiviChaine {
public:
    TSuiviChaine(const TSuivi* suivi, uint64_t total) : Parent(suivi), Total(total) {
        if (!suivi) return;
        Suivi.Arret = suivi->Arret;
        if (suivi->Progression)
            Suivi.Progression = [this](uint64_t fait, uint64_t) { Parent->Progression(Avant + fait, Total); };
    }
    const TSuivi* Pour() const { return Parent ? &Suivi : nullptr; }
    void Fini(uint64_t octets) { Avant += octets; }

private:
    const TSuivi* Parent;
    uint64_t Total;
    uint64_t Avant = 0;
    TSuivi Suivi;
};
}  // namespace

namespace {
TRapportChiffrement ChiffrerTout(const TChiffrement& c, const TSuivi* suivi);
}

TRapportChiffrement Chiffrer(const TChiffrement& c, const TSuivi* suivi) {
    try {
        return ChiffrerTout(c, suivi);
    } catch (const EKOZInterruption&) {
        const bool flot = c.Destination == "-";
        throw EKOZInterruption(flot ? "Chiffrement interrompu : aucun fichier d'état n'a été modifié"
                                    : "Chiffrement interrompu : aucun fichier n'a été modifié");
    }
}

namespace {
TRapportChiffrement ChiffrerTout(const TChiffrement& c, const TSuivi* suivi) {
    if (c.Sources.empty()) throw EKOZException("Aucun fichier à chiffrer");
    if (c.Sources.size() > 1 && !c.Destination.empty())
        throw EKOZException("Un seul fichier chiffré ne peut être donné que pour un seul fichier à chiffrer");

    // Every source is opened once, before anything else: a pipe cannot be read twice.
    std::vector<TTache> taches;
    uint64_t total = 0;
    for (const auto& source : c.Sources) {
        TTache t;
        // A folder becomes one archive, read as it is encrypted.
        t.Dossier = source != kEntreeStandard && Plateforme().RepertoireExiste(source);
        t.Source = t.Dossier ? SansBarreFinale(source) : source;
        if (t.Dossier)
            t.Flux = std::make_unique<TLectureArchive>(t.Source);
        else
            t.Flux = source == kEntreeStandard ? LectureDescripteur(0, "entrée standard") : Plateforme().OuvrirLecture(source);
        if (source == kEntreeStandard && c.Destination.empty())
            throw EKOZException("Le fichier chiffré doit être nommé quand le fichier à chiffrer est l'entrée standard");
        t.Destination = c.Destination.empty() ? NomChiffrePropose(t.Source) : c.Destination;
        t.VersSortieStandard = t.Destination == "-";
        t.VersFlot = !t.VersSortieStandard && Plateforme().IdentiteDe(t.Destination) &&
                     !Plateforme().FichierOrdinaire(t.Destination) && !Plateforme().RepertoireExiste(t.Destination);
        total += t.Flux->Taille();
        taches.push_back(std::move(t));
    }

    // The trios and the journal go to one directory: the one asked for, that
    // of the first source, or the current one for a stream.
    std::string dir;
    if (!c.Etat.empty()) {
        if (!Plateforme().RepertoireExiste(c.Etat))
            throw EKOZException(Format("Le dossier d'état \"%s\" n'existe pas", Plateforme().CheminComplet(c.Etat).c_str()));
        dir = AvecBarre(Plateforme().CheminComplet(c.Etat));
    } else if (taches[0].Flux->Flot()) {
        dir = AvecBarre(Plateforme().CheminComplet("."));
    } else {
        dir = RepertoireEtat(taches[0].Source);
    }

    std::vector<std::string> ecrits;
    if (c.Grille.empty()) AjouterTrio(ecrits, dir, "DEBUT");
    AjouterTrio(ecrits, dir, "FIN-CHIFFRE");
    // A state file name that is a directory, or in a missing directory, or
    // one that cannot be replaced, fails here rather than once the trios are
    // about to be installed.
    for (const auto& etat : ecrits) {
        VerifierCreable(etat);
        VerifierRemplacable(etat);
    }
    std::vector<std::string> etats = ecrits;
    if (!c.Grille.empty()) AjouterTrio(etats, PartieChemin(c.Grille), NomDeBase(c.Grille));

    // Nothing this run writes may lie in a folder it archives: the archive
    // would read its own output.
    for (const auto& t : taches)
        if (t.Dossier) {
            for (const auto& autre : taches)
                if (!autre.VersSortieStandard && Dans(autre.Destination, t.Source))
                    throw EKOZException(Format("Le fichier chiffré \"%s\" ne peut pas être dans le dossier à chiffrer",
                                               Plateforme().CheminComplet(autre.Destination).c_str()));
            if (Dans(dir, t.Source))
                throw EKOZException(Format("Le dossier d'état \"%s\" ne peut pas être dans le dossier à chiffrer",
                                           dir.c_str()));
        }

    for (size_t k = 0; k < taches.size(); ++k) {
        const TTache& t = taches[k];
        if (t.VersSortieStandard) continue;
        const auto id = t.Flux->Identite();
        if (!t.Flux->Flot() && id && Plateforme().IdentiteDe(t.Destination) == id)
            throw EKOZException(MessageCreation(t.Destination, kMemeFichier));
        for (const auto& autre : taches)
            if (!autre.Flux->Flot() && MemeFichier(autre.Source, t.Destination))
                throw EKOZException(MessageCreation(t.Destination, kMemeFichier));
        if (t.VersFlot) continue;
        VerifierCreable(t.Destination);
        for (size_t m = 0; m < k; ++m)
            if (!taches[m].VersSortieStandard && MemeFichier(taches[m].Destination, t.Destination))
                throw EKOZException(Format("\"%s\" et \"%s\" donneraient le même fichier chiffré \"%s\"",
                                           Plateforme().CheminComplet(taches[m].Source).c_str(),
                                           Plateforme().CheminComplet(t.Source).c_str(),
                                           Plateforme().CheminComplet(t.Destination).c_str()));
        // A state file written over the source would destroy the data before
        // it is read; written over by the destination, it would lose a key.
        for (const auto& etat : ecrits)
            if (!t.Flux->Flot() && MemeFichier(t.Source, etat)) throw EKOZException(MessageCreation(etat, kSourceEtat));
        for (const auto& etat : etats)
            if (MemeFichier(t.Destination, etat)) throw EKOZException(MessageCreation(t.Destination, kDestinationEtat));
        VerifierNiCleNiJournal(t.Destination);
        if (c.Ecraser) VerifierRemplacable(t.Destination);
        if (!c.Ecraser && Plateforme().IdentiteDe(t.Destination)) {
            const std::string complet = Plateforme().CheminComplet(t.Destination);
            throw EKOZFichierExistant(Format("Le fichier chiffré \"%s\" existe déjà", complet.c_str()), complet);
        }
    }

    const uint32_t debut = Plateforme().Ticks();
    TRapportChiffrement rapport;
    {
        auto chiffre = std::make_unique<TKOZChiffre>();
        chiffre->ModeSecurise = c.Securise;
        if (!c.Grille.empty()) chiffre->Charger(PartieChemin(c.Grille), NomDeBase(c.Grille));

        const auto verrou = VerrouillerDossierEtat(dir);

        TTransaction transaction;
        std::string trioDepart = c.Grille.empty() ? "DEBUT" : NomDeBase(c.Grille);
        // A "FIN-CHIFFRE" loaded from this directory is the key of the files
        // encrypted from it: replaced, it is kept like a "DEBUT".
        const bool garderFin = !c.Grille.empty() && MemeFichier(PartieChemin(c.Grille) + NomDeBase(c.Grille) + ".KGR",
                                                                dir + "FIN-CHIFFRE.KGR");
        if (c.Grille.empty()) transaction.NouveauTrio(*chiffre, dir, "DEBUT", true);

        std::vector<TEnregistrement> enregistrements;
        TSuiviChaine chaine(suivi, total);
        int numero = 0;
        for (auto& t : taches) {
            if (suivi && suivi->Fichier) suivi->Fichier(++numero, int(taches.size()));
            TEnregistrement e;
            e.EmpreinteDepart = EmpreinteEtat(*chiffre);
            e.TrioDepart = trioDepart;
            trioDepart.clear();  // the next file continues from this one's end

            std::unique_ptr<TFluxEcriture> direct;
            TFluxEcriture* sortie;
            if (t.VersSortieStandard) {
                direct = EcritureDescripteur(1, "sortie standard");
                sortie = direct.get();
            } else if (t.VersFlot) {
                direct = Plateforme().Creer(t.Destination, TGenreFichier::Donnees, t.Flux.get(), kMemeFichier);
                sortie = direct.get();
            } else {
                sortie = &transaction.NouveauFichier(t.Destination, TGenreFichier::Donnees, c.Ecraser);
            }
            TEcritureEmpreinte empreinte(*sortie);
            TLectureComptee source(*t.Flux);
            // A file cut or grown while it was read would be kept half old,
            // half new, as if it were whole. (A size of 0 is also what the
            // system's generated files report, whatever they hold.)
            const bool borne = !t.Dossier && !t.Flux->Flot() && t.Flux->Taille() != 0;
            const std::string change =
                Format(kFichierChange, Plateforme().CheminComplet(t.Source).c_str());
            if (borne) {
                source.Borne = t.Flux->Taille();
                source.Depassement = change;
            }
            chiffre->ChiffrerFlux(source, empreinte, chaine.Pour());
            if (borne && source.Octets != t.Flux->Taille()) throw EKOZException(change);
            empreinte.Fermer();
            if (direct) direct.reset();
            t.Flux.reset();
            chaine.Fini(source.Octets);

            e.EmpreinteChiffre = empreinte.Empreinte().Hex();
            e.TailleChiffre = empreinte.Octets;
            e.TailleClair = source.Octets;
            e.EmpreinteFin = EmpreinteEtat(*chiffre);
            // A file sent to a stream has no name to find it by.
            if (!t.VersSortieStandard && !t.VersFlot) {
                e.Nom = NomDansJournal(dir, t.Destination);
                enregistrements.push_back(e);
            }
            rapport.Fichiers.push_back(Format(t.Dossier ? "%s/ -> %s (%llu octets)" : "%s -> %s (%llu octets)",
                                              t.Source == kEntreeStandard ? "entrée standard" : t.Source.c_str(),
                                              t.VersSortieStandard ? "sortie standard" : t.Destination.c_str(),
                                              static_cast<unsigned long long>(e.TailleChiffre)));
        }
        transaction.NouveauTrio(*chiffre, dir, "FIN-CHIFFRE", garderFin);
        rapport.Avis = transaction.Valider();

        // The record is part of the last step, but a journal that cannot be
        // written does not undo files that are safely in place.
        const std::string date = DateIso(Plateforme().Secondes());
        for (auto& e : enregistrements) e.Date = date;
        try {
            if (!enregistrements.empty()) AjouterAuJournal(dir, enregistrements);
        } catch (const std::exception& e) {
            rapport.Avis.push_back(std::string("Attention : le chiffrement n'a pas pu être inscrit au journal. ") +
                                   e.what());
        }
    }
    const int32_t ecoule = int32_t(Plateforme().Ticks() - debut);
    rapport.Statut = Format("Terminé en %dms", int(ecoule));
    return rapport;
}
}  // namespace

std::string LancerChiffrement(const std::string& Source, const std::string& Destination, const std::string& Grille,
                              bool Securise, const TSuivi* suivi) {
    // Here an empty destination is a field left empty, not a request for the proposed name.
    if (Destination.empty()) {
        Plateforme().OuvrirLecture(Source);
        throw EKOZException(MessageCreation(Destination, TexteErreur(ENOENT)));
    }
    TChiffrement c;
    c.Sources = {Source};
    c.Destination = Destination;
    c.Grille = Grille;
    c.Securise = Securise;
    return Chiffrer(c, suivi).Statut;
}
