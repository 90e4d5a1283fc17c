#pragma once
// TForm1: the encryption window. It reads its fields, runs LancerChiffrement
// on a worker thread and shows the status text; it holds no cipher state.

#include <string>

#include "ui/FenetreKOZ.hpp"

class QLabel;
class QPushButton;
class TBarreEtat;
class TCaseMultiligne;
class TChampNomFichier;

class TForm1 : public TFenetreKOZ {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    TChampNomFichier* JvFilenameEdit1;  // the file to encrypt
    TChampNomFichier* JvFilenameEdit2;  // the encrypted file
    QPushButton* Button1;
    TChampNomFichier* JvFilenameEdit3;  // the grid, empty for a fresh state
    TBarreEtat* StatusBar1;
    TCaseMultiligne* CheckBox1;

    // Every browse dialog starts in the program's own directory.
    void FormCreate();
    // Proposes the encrypted file's name from the source's.
    void JvFilenameEdit1Change();
    // Runs the encryption of the three names and the secure mode.
    void Button1Click();

protected:
    void ActiverSaisie(bool actif) override;
    void FichierDepose(const std::string& nom) override;
};
