#pragma once
// printf-style formatting into a std::string: the system's messages use %s and %d.

#include <string>

std::string Format(const char* modele, ...) __attribute__((format(printf, 1, 2)));
