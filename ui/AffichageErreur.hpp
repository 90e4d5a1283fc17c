#pragma once
// The exception display: every failure that reaches a window handler ends
// here. Qt does not carry exceptions through its event loop, so each handler
// catches and calls AfficherErreur (or runs its body through Proteger).

#include <QString>
#include <exception>
#include <functional>
#include <string>

// Shows one prepared text under a title. The default is a modal message box
// with the critical icon and one OK button; tests install a recorder.
using TAfficheur = std::function<void(const QString& titre, const QString& texte)>;
// Installs a (an empty one restores the message box); returns the previous one.
TAfficheur DefinirAfficheur(TAfficheur a);

// Shows message with "." appended when its last byte is greater than ".",
// captioned with the application's name (the title "Zymkozchiffre").
void AfficherErreur(const std::string& message);

// What the user should know once a run has gone through (an older key kept,
// the key found, an output that could not be verified): an information box,
// or the recorder a test installs (the same TAfficheur type).
TAfficheur DefinirAfficheurAvis(TAfficheur a);
void AfficherAvis(const std::string& texte);

// Asks a yes/no question, No by default; tests install an answer.
using TQuestionneur = std::function<bool(const QString& titre, const QString& question)>;
TQuestionneur DefinirQuestionneur(TQuestionneur q);
bool Demander(const std::string& question);

// Runs corps, handing any exception to the display.
void Proteger(const std::function<void()>& corps);
