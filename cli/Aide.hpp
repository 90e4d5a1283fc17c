#pragma once
// The French face of the argument parser: help labels, and the parser's own
// error texts turned into French.

#include <memory>
#include <string>

namespace CLI {
class App;
class Error;
class Formatter;
}  // namespace CLI

// A help formatter whose labels are French ("Utilisation", "OBLIGATOIRE"...).
std::shared_ptr<CLI::Formatter> FormateurFrancais();

// The parser's message for e in French; the original text when it is not one
// the parser is known to give.
std::string TraduireErreur(const CLI::Error& e);

// The command line the user should ask for help: "koz" or "koz chiffrer".
std::string CommandeEnCours(const CLI::App& app);

// CR LF pairs (which some messages carry) as plain line feeds, for a terminal.
std::string LignesUnix(std::string texte);
