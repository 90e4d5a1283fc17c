#pragma once
// The texts every window derives from the program itself: its directory, its
// title, and how an error message is shown.

#include <cstdint>
#include <optional>
#include <string>

// The directory part of the program's own file, without its final "/"
// unless it is the root.
std::string RepertoireDuProgramme(const std::string& programme);

// The application title: the program file's name up to its first ".", every
// letter after the first in lower case ("ZymKOZChiffre" gives "Zymkozchiffre").
std::string TitreApplication(const std::string& programme);

// The text the exception display shows: message with "." appended when its
// last byte is greater than ".".
std::string TexteAffiche(const std::string& message);

// A caption without its keyboard mnemonic: each "&" that marks the next
// letter is dropped, "&&" stands for one "&" ("&Chiffrer" gives "Chiffrer").
std::string SansRaccourci(const std::string& legende);

// The message for a required field left empty, named by its caption:
// "Le champ « Fichier à chiffrer » est vide".
std::string MessageChampVide(const std::string& champ);

// What a desktop notification says about the end of a run.
struct TAvisFin {
    std::string Titre;
    std::string Corps;
};
// The shortest run worth a notification, in milliseconds.
constexpr uint64_t kDureeAvisMs = 5000;
// A run of operation ("Chiffrement") that lasted at least seuilMs and ended
// while its window was not the active one is announced: "Chiffrement
// terminé" with its status text, or "Échec du chiffrement" with its message as
// the exception display shows it. A short run, a run whose window is in front
// and a run the user interrupted (reussi false, texte empty) are not.
std::optional<TAvisFin> AvisDeFin(uint64_t dureeMs, bool fenetreActive, bool reussi, const std::string& texte,
                                  const std::string& operation, uint64_t seuilMs = kDureeAvisMs);
