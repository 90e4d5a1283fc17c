// The decryption program, started and stopped like the encryption one.

#include "ui/Application.hpp"
#include "ui/UFormDechiffre.hpp"

int main(int argc, char** argv) { return ExecuterProgramme<TFormDechiffre>(argc, argv); }
