// The encryption program.

#include "ui/Application.hpp"
#include "ui/UFormChiffre.hpp"

int main(int argc, char** argv) { return ExecuterProgramme<TForm1>(argc, argv); }
