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

// Runs corps, handing any exception to the display.
void Proteger(const std::function<void()>& corps);
