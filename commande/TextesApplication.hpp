#pragma once
// The texts every window derives from the program itself: its directory, its
// title, and how an error message is shown.

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
