// koz: the encrypt command (and its companions) on the command line.
//
// Exit status: 0 success, 1 failure (the message on stderr after "koz: "),
// 2 usage error, 128 + the signal when stopped by Ctrl+C (130), SIGTERM (143) or SIGHUP (129).

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <atomic>
#include <cerrno>
#include <cctype>
#include <clocale>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cipher/KOZSuivi.hpp"
#include "cli/Aide.hpp"
#include "cli/Progression.hpp"
#include "platform/Chemins.hpp"
#include "platform/Format.hpp"
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

// Set from the signal handler; the running command stops before its next
// byte. SignalRecu keeps which signal it was, for the exit status.
std::atomic<bool> ArretDemande{false};
std::atomic<int> SignalRecu{0};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void SurInterruption(int signal) {
    SignalRecu.store(signal, std::memory_order_relaxed);
    ArretDemande.store(true, std::memory_order_relaxed);
}

// Ctrl+C (SIGINT), SIGTERM and SIGHUP ask the command to stop cleanly while
// this lives: the run then changes no final name. The handler resets itself:
// a second signal ends the program at once. A signal that was ignored when
// koz started (a background job, nohup) stays ignored.
class TInterruptible {
public:
    TInterruptible() {
        struct sigaction sa {};
        sa.sa_handler = SurInterruption;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART | SA_RESETHAND;
        for (size_t i = 0; i < std::size(kSignaux); ++i) {
            ::sigaction(kSignaux[i], &sa, &Anciennes[i]);
            if (Anciennes[i].sa_handler == SIG_IGN) ::sigaction(kSignaux[i], &Anciennes[i], nullptr);
        }
    }
    ~TInterruptible() {
        for (size_t i = 0; i < std::size(kSignaux); ++i) ::sigaction(kSignaux[i], &Anciennes[i], nullptr);
    }

private:
    static constexpr int kSignaux[3] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction Anciennes[3] {};
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
        Suivi.Fichier = [this](int numero, int nombre) { Ligne.Fichier(numero, nombre); };
    }
    TInterruptible Interruption;
    TLigneProgression Ligne;
    TSuivi Suivi;
};

void NonVide(const std::string& valeur, const std::string& quoi) {
    if (valeur.empty()) throw EUsage(quoi + " : le nom de fichier est vide");
}

// Whether the file nom is the one standard output writes to ("-", /dev/stdout, a link to it).
bool EstSortieStandard(const std::string& nom) {
    if (nom == "-") return true;
    struct stat a {}, b {};
    return ::fstat(1, &a) == 0 && ::stat(nom.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// What a run says once it is over: on stdout, unless the data itself went there.
struct TCompteRendu {
    std::string Statut;
    std::vector<std::string> Avis, Fichiers;
    bool SurErreur = false;
};

// Runs a command under the terminal's progress line and stop, and turns its
// report into what koz shows; an existing output is refused with the option that replaces it.
template <class F>
TCompteRendu Lancer(F commande) {
    TSuiviTerminal suivi;
    try {
        const auto r = commande(suivi.Suivi);
        suivi.Ligne.Effacer();
        TCompteRendu cr;
        cr.Statut = r.Statut;
        cr.Avis = r.Avis;
        if (r.Fichiers.size() > 1) cr.Fichiers = r.Fichiers;
        return cr;
    } catch (const EKOZFichierExistant& e) {
        throw EKOZException(std::string(e.what()) + " : --force le remplace");
    }
}

struct TArgsChiffrer {
    std::vector<std::string> Sources;
    std::string Destination, Grille, Etat;
    bool Securise = false, Force = false;
};

TCompteRendu Chiffrer(const TArgsChiffrer& a, CLI::App& commande) {
    for (const auto& s : a.Sources) NonVide(s, "SOURCE");
    if (commande.count("--sortie")) NonVide(a.Destination, "--sortie");
    if (commande.count("--grille")) NonVide(a.Grille, "--grille");
    if (commande.count("--etat")) NonVide(a.Etat, "--etat");
    if (commande.count("--sortie") && a.Sources.size() > 1)
        throw EUsage("--sortie ne va qu'avec un seul fichier à chiffrer");
    // Standard input has no name to propose one from: a missing option.
    if (!commande.count("--sortie"))
        for (const auto& s : a.Sources)
            if (s == "-") throw EUsage("l'entrée standard (-) demande --sortie : le fichier chiffré doit être nommé");
    TChiffrement c;
    c.Sources = a.Sources;
    c.Destination = a.Destination;
    c.Grille = a.Grille;
    c.Securise = a.Securise;
    c.Ecraser = a.Force;
    c.Etat = a.Etat;
    const bool surSortie = commande.count("--sortie") && EstSortieStandard(a.Destination);
    if (surSortie) c.Destination = "-";
    // Encrypted bytes on a terminal would be lost and could garble it.
    if (c.Destination == "-" && ::isatty(1))
        throw EKOZException("La sortie standard est un terminal : le fichier chiffré n'y est pas écrit "
                            "(redirigez-la vers un fichier ou un tube)");
    TCompteRendu cr = Lancer([&](const TSuivi& suivi) { return ::Chiffrer(c, &suivi); });
    cr.SurErreur = surSortie;
    if (cr.Fichiers.size() > 1)
        cr.Statut = Format("%zu fichiers chiffrés en une chaîne, clé : le trio %s. %s", cr.Fichiers.size(),
                           a.Grille.empty() ? "DEBUT" : NomDeBase(a.Grille).c_str(), cr.Statut.c_str());
    return cr;
}

struct TArgsDechiffrer {
    std::vector<std::string> Chiffres;
    std::string Grille, Sortie, Fin, SauverFin, Etat;
    bool Force = false, SansVerification = false, GarderPartiel = false;
};

TCompteRendu Dechiffrer(const TArgsDechiffrer& a, CLI::App& commande) {
    for (const auto& f : a.Chiffres) NonVide(f, "FICHIER.KOZ");
    if (commande.count("--grille")) NonVide(a.Grille, "--grille");
    if (commande.count("--etat")) NonVide(a.Etat, "--etat");
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
    d.Etat = a.Etat;
    d.SansVerification = a.SansVerification;
    d.GarderPartiel = a.GarderPartiel;
    return Lancer([&](const TSuivi& suivi) { return ::Dechiffrer(d, &suivi); });
}

// A trio's file (.KGR, .KEC, .KPR, or a base name such as DEBUT) is checked
// as a trio; any other existing file as an encrypted file.
std::string Verifier(const std::string& nom) {
    NonVide(nom, "FICHIER");
    std::string ext = Extension(nom);
    for (char& c : ext) c = char(std::toupper(static_cast<unsigned char>(c)));
    if (ext == ".KGR" || ext == ".KEC" || ext == ".KPR" || !Plateforme().FichierExiste(nom)) return VerifierTrio(nom);
    TSuiviTerminal suivi;
    std::string texte = VerifierChiffre(nom, {}, &suivi.Suivi);
    suivi.Ligne.Effacer();
    return texte;
}

void Afficher(const TCompteRendu& cr) {
    std::ostream& statut = cr.SurErreur ? std::cerr : std::cout;
    for (const auto& f : cr.Fichiers) statut << f << "\n";
    statut << cr.Statut << std::endl;
    for (const auto& a : cr.Avis) std::cerr << "koz: " << a << std::endl;
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
        "Codes de sortie : 0 réussite, 1 échec, 2 erreur d'utilisation, 130 interruption (Ctrl+C),\n"
        "143 (SIGTERM), 129 (SIGHUP) ; une exécution interrompue ou en échec ne change aucun fichier.\n"
        "L'état de départ d'un fichier chiffré (le trio DEBUT, ou le trio chargé) est sa seule clé :\n"
        "gardez-le en lieu sûr. Un nouveau chiffrement garde l'ancien DEBUT sous DEBUT-1, DEBUT-2...\n"
        "Le journal KOZ-JOURNAL.txt du dossier retrouve la clé de chaque fichier chiffré.");
    app.group("Commandes");
    app.require_subcommand(1);

    TArgsChiffrer argsChiffrer;
    CLI::App* chiffrer = app.add_subcommand("chiffrer", "Chiffre SOURCE ; l'état reste à côté de SOURCE");
    chiffrer->set_version_flag("--version", kVersion, "Affiche la version et quitte");
    chiffrer
        ->add_option("SOURCE", argsChiffrer.Sources,
                     "Fichiers à chiffrer (- : l'entrée standard) ; plusieurs forment une\n"
                     "chaîne sous une seule clé, chacun dans son propre .KOZ")
        ->required()
        ->type_name("");
    chiffrer
        ->add_option("-o,--sortie", argsChiffrer.Destination,
                     "Fichier chiffré (par défaut : SOURCE sans son extension, puis .KOZ ;\n"
                     "- : la sortie standard, jamais un terminal)")
        ->type_name("DESTINATION");
    chiffrer
        ->add_option("-g,--grille", argsChiffrer.Grille,
                     "Part du trio de cette grille (un FIN-CHIFFRE.KGR par exemple)\n"
                     "au lieu d'un état neuf ; aucun DEBUT n'est alors écrit")
        ->type_name("GRILLE.KGR");
    chiffrer->add_flag("-s,--securise", argsChiffrer.Securise, "Mode sécurisé : vérifie la grille après chaque octet");
    chiffrer->add_flag("-f,--force", argsChiffrer.Force, "Remplace un fichier chiffré qui existe déjà");
    chiffrer
        ->add_option("--etat", argsChiffrer.Etat,
                     "Dossier des trios et du journal (par défaut : celui de la première\n"
                     "SOURCE, ou le dossier courant pour l'entrée standard)")
        ->type_name("DOSSIER");

    std::string grilleAVerifier;
    CLI::App* verifier = app.add_subcommand(
        "verifier", "Vérifie le trio d'une grille (.KGR), ou un fichier chiffré (.KOZ) contre le journal");
    verifier->set_version_flag("--version", kVersion, "Affiche la version et quitte");
    verifier
        ->add_option("FICHIER", grilleAVerifier,
                     "Grille dont le trio est à charger, ou fichier chiffré à relire\n"
                     "(sa clé est retrouvée, rien n'est écrit)")
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
                     "Grille de l'état de départ du premier fichier (son DEBUT.KGR) ;\n"
                     "sans elle, le journal du dossier retrouve la clé")
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
    dechiffrer->add_option("--etat", argsDechiffrer.Etat, "Autre dossier dont le journal est consulté")
        ->type_name("DOSSIER");
    dechiffrer->add_flag("--sans-verification", argsDechiffrer.SansVerification,
                         "Déchiffre même ce que rien ne permet de vérifier (ni journal, ni --fin) ;\n"
                         "le résultat est gardé avec un avertissement");
    dechiffrer->add_flag("--garder-partiel", argsDechiffrer.GarderPartiel,
                         "En cas d'échec, garde les octets déchiffrés dans SORTIE.partiel");

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
            Afficher(Chiffrer(argsChiffrer, *chiffrer));
        else if (dechiffrer->parsed())
            Afficher(Dechiffrer(argsDechiffrer, *dechiffrer));
        else if (verifier->parsed())
            std::cout << Verifier(grilleAVerifier) << std::endl;
    } catch (const EUsage& e) {
        code = ErreurUsage(e.what(), CommandeEnCours(app));
    } catch (const EKOZInterruption& e) {
        std::cerr << "koz: " << e.what() << std::endl;
        const int signal = SignalRecu.load();
        code = 128 + (signal ? signal : SIGINT);
    } catch (const std::exception& e) {
        std::cerr << "koz: " << LignesUnix(e.what()) << std::endl;
        code = 1;
    }
    FinaliserKOZTools();
    return code;
}
