// The decryption program, started and stopped like the encryption one.

#include <QApplication>

#include "random/KOZTools.hpp"
#include "ui/Application.hpp"
#include "ui/UFormDechiffre.hpp"

int main(int argc, char** argv) {
    InitialiserKOZTools();
    {
        QApplication application(argc, argv);
        PreparerApplication(application);
        {
            TFormDechiffre fenetre;
            fenetre.show();
            application.exec();
        }
    }
    FinaliserKOZTools();
    return 0;
}
