#include "cli/Aide.hpp"

#include <CLI/CLI.hpp>

#include <iterator>
#include <regex>
#include <sstream>
#include <vector>

std::shared_ptr<CLI::Formatter> FormateurFrancais() {
    auto f = std::make_shared<CLI::Formatter>();
    f->label("Usage", "Utilisation ");
    f->label("OPTIONS", "OPTIONS");
    f->label("Positionals", "Arguments");
    f->label("SUBCOMMAND", "COMMANDE");
    f->label("SUBCOMMANDS", "COMMANDES");
    f->label("REQUIRED", "(obligatoire)");
    f->label("TEXT", "TEXTE");
    f->label("Needs", "Requiert");
    f->label("Excludes", "Exclut");
    f->label("Env", "Variable");
    f->column_width(28);
    return f;
}

namespace {
// By type, not by get_name(): some of the parser's errors carry the command's
// name there instead of their own.
template <class T>
bool Est(const CLI::Error& e) {
    return dynamic_cast<const T*>(&e) != nullptr;
}
}  // namespace

std::string TraduireErreur(const CLI::Error& e) {
    const std::string m = e.what();
    std::smatch r;
    auto cherche = [&](const char* motif) { return std::regex_match(m, r, std::regex(motif)); };

    if (Est<CLI::RequiredError>(e)) {
        if (m == "A subcommand is required" || m == "A subcommand")
            return "une commande est attendue";
        if (cherche("(.*) is required")) return r[1].str() + " est obligatoire";
    } else if (Est<CLI::ExtrasError>(e)) {
        if (cherche("The following argument was not expected: (.*)")) return "argument inattendu : " + r[1].str();
        // The parser lists them last first; put them back in the order given.
        if (cherche("The following arguments were not expected: (.*)")) {
            std::istringstream mots(r[1].str());
            std::vector<std::string> liste{std::istream_iterator<std::string>(mots), {}};
            std::string dans;
            for (auto i = liste.rbegin(); i != liste.rend(); ++i) dans += (dans.empty() ? "" : " ") + *i;
            return "arguments inattendus : " + dans;
        }
    } else if (Est<CLI::ArgumentMismatch>(e)) {
        if (cherche("(.*): [0-9]+ required .* missing")) return r[1].str() + " : valeur manquante";
        if (cherche("Expected exactly ([0-9]+) arguments to (.*), got ([0-9]+)"))
            return r[2].str() + " attend " + r[1].str() + " valeur(s), " + r[3].str() + " reçue(s)";
        if (cherche("Expected at least ([0-9]+) arguments to (.*), got ([0-9]+)"))
            return r[2].str() + " attend au moins " + r[1].str() + " valeur(s), " + r[3].str() + " reçue(s)";
        if (cherche("(.*) was given a disallowed flag override")) return r[1].str() + " n'accepte pas de valeur";
    } else if (Est<CLI::ConversionError>(e)) {
        if (cherche("(.*): too many inputs for a flag")) return r[1].str() + " n'accepte pas de valeur";
        if (cherche("Could not convert: (.*) = (.*)")) return "valeur refusée pour " + r[1].str() + " : " + r[2].str();
        if (cherche("The value (.*) is not an allowed value for (.*)"))
            return "la valeur " + r[1].str() + " n'est pas permise pour " + r[2].str();
    } else if (Est<CLI::ExcludesError>(e)) {
        if (cherche("(.*) excludes (.*)")) return r[1].str() + " ne va pas avec " + r[2].str();
    } else if (Est<CLI::RequiresError>(e)) {
        if (cherche("(.*) requires (.*)")) return r[1].str() + " demande aussi " + r[2].str();
    }
    return m;
}

std::string CommandeEnCours(const CLI::App& app) {
    std::string commande = app.get_name();
    for (const CLI::App* sous = &app;;) {
        const auto choisies = sous->get_subcommands();
        if (choisies.empty()) break;
        sous = choisies.front();
        commande += " " + sous->get_name();
    }
    return commande;
}

std::string LignesUnix(std::string texte) {
    size_t i = 0;
    while ((i = texte.find("\r\n", i)) != std::string::npos) texte.erase(i, 1);
    return texte;
}
