#pragma once
// TFormDechiffre: the decryption window, in the encryption window's style.
// It reads an encrypted file back from the starting trio it was made with,
// through LancerDechiffrement on a worker thread.

#include <string>

#include "ui/FenetreKOZ.hpp"

class QLabel;
class QPushButton;
class TBarreEtat;
class TCaseMultiligne;
class TChampNomFichier;

class TFormDechiffre : public TFenetreKOZ {
    Q_OBJECT
public:
    explicit TFormDechiffre(QWidget* parent = nullptr);

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    TChampNomFichier* JvFilenameEdit1;  // the encrypted file
    TChampNomFichier* JvFilenameEdit2;  // the decrypted file
    QPushButton* Button1;
    TChampNomFichier* JvFilenameEdit3;  // the starting grid, required
    TBarreEtat* StatusBar1;
    TCaseMultiligne* CheckBox1;  // overwrite an existing decrypted file

    void FormCreate();
    // Proposes the decrypted file's name from the encrypted one's.
    void JvFilenameEdit1Change();
    // Runs the decryption of the three names.
    void Button1Click();

protected:
    void ActiverSaisie(bool actif) override;
    void FichierDepose(const std::string& nom) override;
};
