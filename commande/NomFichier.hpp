#pragma once
// The rules of the file-name field, kept apart from the toolkit so that the
// window, the tests and a fuzz target share one copy: how a field's text is
// read as a name, which names are accepted, how a name is shown, and how the
// browse dialog is prepared from the field's text.

#include <string>

// A name the field accepts: not empty, and none of < > " [ ] |.
bool NomFichierValide(const std::string& nom);

// The name a field's text stands for, the one reading that both the run and
// the proposed destination use. Blanks and control characters (bytes up to
// 0x20) and empty pairs of double quotes ("") before the name are skipped.
// A name that then begins with a double quote is what lies between it and
// the next double quote, blanks included, or up to the end while the closing
// quote is not typed yet; what follows the closing quote is not read
// ("\"a b.txt\" brouillon" is a b.txt). Any other name is the rest of the
// text without its trailing blanks: typed with blanks and without quotes it
// is kept whole ("/tmp/mes documents/a.txt" stays that name), and a double
// quote inside it stays (so the name is refused as invalid).
std::string NomDuTexte(const std::string& texte);

// The field's getter: the text unchanged when it names an existing file,
// NomDuTexte otherwise.
std::string FormeObtenue(const std::string& texte);

// The text a field shows for nom, which reads back as nom: in double quotes
// when nom holds a space or begins or ends with a blank, unless it begins
// with a double quote.
std::string TexteDuNom(const std::string& nom);

// The text the setter shows for a nom it accepts: TexteDuNom of nom's getter
// form, so that the field reads back that form and not the raw text (" "a b" "
// would otherwise be shown as "" "a b" "", which reads as no valid name).
std::string TexteDefini(const std::string& nom);

// The text a field shows for a name proposed from another field's name (the
// encrypted file's name from the source's): TexteDuNom of nom itself, which is
// already a name and is not read again. Raises "Nom de fichier incorrect - %s"
// when nom is not empty and not a valid name.
std::string TexteDuNomPropose(const std::string& nom);

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
