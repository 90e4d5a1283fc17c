// koz: the encrypt command (and its companions) on the command line.
//
// Exit status: 0 success, 1 failure (the message on stderr after "koz: "),
// 2 usage error, 130 stopped by Ctrl+C.

#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <atomic>
#include <cerrno>
#include <clocale>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cipher/KOZSuivi.hpp"
#include "cli/Aide.hpp"
#include "cli/Progression.hpp"
#include "platform/Chemins.hpp"
#include "platform/Plateforme.hpp"
#include "random/KOZTools.hpp"
#include "state/KOZGrille.hpp"
#include "commande/UKOZChiffre.hpp"
#include "commande/UKOZDechiffre.hpp"
#include "commande/KOZVerification.hpp"
#include "commande/KOZNoms.hpp"

namespace {

const char* const kVersion = "koz " KOZ_VERSION;

// A mistake in the arguments found after parsing (exit status 2).
class EUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Set from the SIGINT handler; the running command stops before its next byte.
std::atomic<bool> ArretDemande{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void SurInterruption(int) { ArretDemande.store(true, std::memory_order_relaxed); }

// Ctrl+C asks the command to stop cleanly while this lives. The handler
// resets itself: a second Ctrl+C ends the program at once. A SIGINT that was
// ignored when koz started (a background job, nohup) stays ignored.
class TInterruptible {
public:
    TInterruptible() {
        struct sigaction sa {};
        sa.sa_handler = SurInterruption;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART | SA_RESETHAND;
        ::sigaction(SIGINT, &sa, &Ancienne);
        if (Ancienne.sa_handler == SIG_IGN) ::sigaction(SIGINT, &Ancienne, nullptr);
    }
    ~TInterruptible() { ::sigaction(SIGINT, &Ancienne, nullptr); }

private:
    struct sigaction Ancienne {};
};

void EcrireTout(int fd, const std::string& texte) {
    const char* p = texte.data();
    size_t reste = texte.size();
    while (reste > 0) {
        const ssize_t k = ::write(fd, p, reste);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return;
        p += k;
        reste -= size_t(k);
    }
}

// Watches and stops a command: the progress line on a terminal, and Ctrl+C.
struct TSuiviTerminal {
    TSuiviTerminal() : Ligne(::isatty(2) == 1, [](const std::string& s) { EcrireTout(2, s); }) {
        Suivi.Progression = [this](uint64_t fait, uint64_t total) { Ligne.Avancer(fait, total); };
        Suivi.Arret = &ArretDemande;
    }
    TInterruptible Interruption;
    TLigneProgression Ligne;
    TSuivi Suivi;
};

void NonVide(const std::string& valeur, const std::string& quoi) {
    if (valeur.empty()) throw EUsage(quoi + " : le nom de fichier est vide");
}

struct TArgsChiffrer {
    std::string Source, Destination, Grille;
    bool Securise = false;
};

std::string Chiffrer(const TArgsChiffrer& a, CLI::App& commande) {
    if (commande.count("--sortie")) NonVide(a.Destination, "--sortie");
    if (commande.count("--grille")) NonVide(a.Grille, "--grille");
    const std::string destination = commande.count("--sortie") ? a.Destination : NomChiffrePropose(a.Source);
    TSuiviTerminal suivi;
    std::string statut = LancerChiffrement(a.Source, destination, a.Grille, a.Securise, &suivi.Suivi);
    suivi.Ligne.Effacer();
    return statut;
}

struct TArgsDechiffrer {
    std::vector<std::string> Chiffres;
    std::string Grille, Sortie, Fin, SauverFin;
    bool Force = false;
};

std::string Dechiffrer(const TArgsDechiffrer& a, CLI::App& commande) {
    for (const auto& f : a.Chiffres) NonVide(f, "FICHIER.KOZ");
    NonVide(a.Grille, "--grille");
    if (commande.count("--sortie")) {
        NonVide(a.Sortie, "--sortie");
        if (a.Chiffres.size() > 1) throw EUsage("--sortie ne va qu'avec un seul fichier chiffré");
    }
    if (commande.count("--fin")) NonVide(a.Fin, "--fin");
    if (commande.count("--sauver-fin")) NonVide(a.SauverFin, "--sauver-fin");

    TDechiffrement d;
    for (const auto& f : a.Chiffres) d.Fichiers.emplace_back(f, commande.count("--sortie") ? a.Sortie : NomDechiffrePropose(f));
    d.Grille = a.Grille;
    d.Fin = a.Fin;
    d.SauverFin = a.SauverFin;
    d.Ecraser = a.Force;
    TSuiviTerminal suivi;
    std::string statut = LancerDechiffrement(d, &suivi.Suivi);
    suivi.Ligne.Effacer();
    return statut;
}

std::string Verifier(const std::string& grille) {
    NonVide(grille, "GRILLE.KGR");
    return VerifierTrio(grille);
}

int ErreurUsage(const std::string& message, const std::string& commande) {
    std::cerr << "koz: " << message << "\nEssayez « " << commande << " --help ».\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // The system's error texts in the user's language; nothing else depends on the locale.
    std::setlocale(LC_MESSAGES, "");

    CLI::App app{"Chiffre un fichier sous un état secret et laisse cet état à côté de lui :\n"
                 "le trio DEBUT (.KGR, .KEC, .KPR) pour l'état de départ, FIN-CHIFFRE pour l'état d'arrivée.",
                 "koz"};
    app.formatter(FormateurFrancais());
    app.set_help_flag("-h,--help", "Affiche cette aide et quitte");
    app.set_version_flag("--version", kVersion, "Affiche la version et quitte");
    app.footer(
        "Codes de sortie : 0 réussite, 1 échec, 2 erreur d'utilisation, 130 interruption (Ctrl+C).\n"
        "L'état de départ d'un fichier chiffré (le trio DEBUT, ou le trio chargé) est sa seule clé :\n"
        "gardez-le en lieu sûr ; un nouveau chiffrement dans le même dossier remplace DEBUT.");
    app.group("Commandes");
    app.require_subcommand(1);

    TArgsChiffrer argsChiffrer;
    CLI::App* chiffrer = app.add_subcommand("chiffrer", "Chiffre SOURCE ; l'état reste à côté de SOURCE");
    chiffrer->set_version_flag("--version", kVersion, "Affiche la version et quitte");
    chiffrer->add_option("SOURCE", argsChiffrer.Source, "Fichier à chiffrer")->required()->type_name("");
    chiffrer
        ->add_option("-o,--sortie", argsChiffrer.Destination,
                     "Fichier chiffré (par défaut : SOURCE sans son extension, puis .KOZ)")
        ->type_name("DESTINATION");
    chiffrer
        ->add_option("-g,--grille", argsChiffrer.Grille,
                     "Part du trio de cette grille (un FIN-CHIFFRE.KGR par exemple)\n"
                     "au lieu d'un état neuf ; aucun DEBUT n'est alors écrit")
        ->type_name("GRILLE.KGR");
    chiffrer->add_flag("-s,--securise", argsChiffrer.Securise, "Mode sécurisé : vérifie la grille après chaque octet");

    std::string grilleAVerifier;
    CLI::App* verifier = app.add_subcommand("verifier", "Vérifie le trio d'une grille (.KGR, .KEC, .KPR)");
    verifier->set_version_flag("--version", kVersion, "Affiche la version et quitte");
    verifier->add_option("GRILLE.KGR", grilleAVerifier, "Grille dont le trio est à charger")
        ->required()
        ->type_name("");

    TArgsDechiffrer argsDechiffrer;
    CLI::App* dechiffrer = app.add_subcommand(
        "dechiffrer", "Déchiffre un ou plusieurs fichiers chaînés depuis leur état de départ");
    dechiffrer->set_version_flag("--version", kVersion, "Affiche la version et quitte");
    dechiffrer
        ->add_option("FICHIER.KOZ", argsDechiffrer.Chiffres,
                     "Fichiers chiffrés, dans l'ordre de la chaîne : chacun part de\n"
                     "l'état où le précédent s'est arrêté")
        ->required()
        ->type_name("");
    dechiffrer
        ->add_option("-g,--grille", argsDechiffrer.Grille,
                     "Grille de l'état de départ du premier fichier (son DEBUT.KGR)")
        ->required()
        ->type_name("GRILLE.KGR");
    dechiffrer
        ->add_option("-o,--sortie", argsDechiffrer.Sortie,
                     "Fichier déchiffré, avec un seul fichier chiffré\n"
                     "(par défaut : le fichier chiffré sans son extension)")
        ->type_name("SORTIE");
    dechiffrer
        ->add_option("--fin", argsDechiffrer.Fin,
                     "Vérifie que l'état atteint est celui de ce trio (le FIN-CHIFFRE.KGR)")
        ->type_name("FIN.KGR");
    dechiffrer->add_option("--sauver-fin", argsDechiffrer.SauverFin, "Enregistre l'état atteint sous ce trio")
        ->type_name("BASE");
    dechiffrer->add_flag("-f,--force", argsDechiffrer.Force, "Remplace un fichier déchiffré qui existe déjà");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::CallForAllHelp&) {
        std::cout << app.help("", CLI::AppFormatMode::All);
        return 0;
    } catch (const CLI::CallForVersion& e) {
        std::cout << e.what() << "\n";
        return 0;
    } catch (const CLI::ParseError& e) {
        if (app.get_subcommands().empty() && dynamic_cast<const CLI::RequiredError*>(&e)) {
            std::string noms;
            for (const CLI::App* c : app.get_subcommands({})) noms += (noms.empty() ? "" : ", ") + c->get_name();
            const auto reste = app.remaining();
            std::string message = "une commande est attendue (" + noms + ")";
            if (!reste.empty() && reste.front().starts_with("-"))
                message = "option inconnue « " + reste.front() + " »";
            else if (!reste.empty())
                message = "commande inconnue « " + reste.front() + " » (" + noms + ")";
            return ErreurUsage(message, "koz");
        }
        return ErreurUsage(TraduireErreur(e), CommandeEnCours(app));
    }

    // Seeding reads the system: only a real command pays for it.
    InitialiserKOZTools();
    int code = 0;
    try {
        if (chiffrer->parsed())
            std::cout << Chiffrer(argsChiffrer, *chiffrer) << std::endl;
        else if (dechiffrer->parsed())
            std::cout << Dechiffrer(argsDechiffrer, *dechiffrer) << std::endl;
        else if (verifier->parsed())
            std::cout << Verifier(grilleAVerifier) << std::endl;
    } catch (const EUsage& e) {
        code = ErreurUsage(e.what(), CommandeEnCours(app));
    } catch (const EKOZInterruption& e) {
        std::cerr << "koz: " << e.what() << std::endl;
        code = 130;
    } catch (const std::exception& e) {
        std::cerr << "koz: " << LignesUnix(e.what()) << std::endl;
        code = 1;
    }
    FinaliserKOZTools();
    return code;
}
