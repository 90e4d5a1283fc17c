#pragma once
// The rules of the file-name field, kept apart from the toolkit so that the
// window, the tests and a fuzz target share one copy: how a field's text is
// read as a name, which names are accepted, how a name is shown, and how the
// browse dialog is prepared from the field's text.

#include <string>

// A name the field accepts: not empty, and none of < > " [ ] |.
bool NomFichierValide(const std::string& nom);

// The name a field's text stands for: the text with blanks and control
// characters (bytes up to 0x20) trimmed at both ends, then one double quote
// removed at each end where there is one (so a name whose closing quote is
// not typed yet reads as the name). A name typed with blanks and without
// quotes is kept whole ("/tmp/mes documents/a.txt" stays that name).
std::string NomDuTexte(const std::string& texte);

// The field's getter: the text unchanged when it names an existing file,
// NomDuTexte otherwise.
std::string FormeObtenue(const std::string& texte);

// The text a field shows for nom: in double quotes when it holds a blank and
// does not begin with a double quote.
std::string TexteDuNom(const std::string& nom);

// The text the setter shows for a nom it accepts: TexteDuNom of nom's getter
// form, so that the field reads back that form and not the raw text (" "a b" "
// would otherwise be shown as "" "a b" "", which reads as no valid name). A
// form that begins or ends with a blank other than a space is quoted too, or
// reading it back would trim that blank.
std::string TexteDefini(const std::string& nom);

// The setter's check: raises "Nom de fichier incorrect - %s" (with nom
// unchanged) when nom is not empty and its getter form is not a valid name.
void VerifierNomFichier(const std::string& nom);

// A filter list "Description|motif|Description|motif..." in the toolkit's
// form "Description (motif);;...". Each entry keeps its description as
// written; the motif ("*.*" read as every file, ";" as a separator) is added
// in a last pair of parentheses that the dialog hides, so that a name without
// a "." still shows under "Tous les fichiers (*.*)".
std::string FiltreDialogue(const std::string& filtre);

// What the browse dialog opens with, prepared from the field's text.
struct TPreparationParcours {
    std::string Repertoire;  // the field's initial directory after the rule
    std::string Nom;         // the dialog's proposed name after the rule
};
// With N the getter form of texte: when N is valid, an existing directory as
// its path part becomes the initial directory and N the proposed name (empty
// when N's name part is empty or not valid); when N is not valid, both stay.
TPreparationParcours PreparerParcours(const std::string& texte, const std::string& repertoire,
                                      const std::string& nomPropose);
