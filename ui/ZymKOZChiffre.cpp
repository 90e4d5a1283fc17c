// The encryption program. The shared generator is created and seeded before
// the application and its window exist, and destroyed after the window is gone.

#include <QApplication>

#include "random/KOZTools.hpp"
#include "ui/Application.hpp"
#include "ui/UFormChiffre.hpp"

int main(int argc, char** argv) {
    InitialiserKOZTools();
    {
        QApplication application(argc, argv);
        PreparerApplication(application);
        {
            TForm1 Form1;
            Form1.show();
            application.exec();
        }
    }
    FinaliserKOZTools();
    return 0;
}
