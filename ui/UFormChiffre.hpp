#pragma once
// TForm1: the encryption window. It reads its fields, runs LancerChiffrement
// on a worker thread and shows the status text; it holds no cipher state.
// JvFilenameEdit1 is the file to encrypt, JvFilenameEdit2 the encrypted file,
// JvFilenameEdit3 the grid (empty for a fresh state), CheckBox1 the secure mode.

#include <string>

#include "ui/FenetreKOZ.hpp"

class TForm1 : public TFenetreKOZ {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);

    // Proposes the encrypted file's name from the source's.
    void JvFilenameEdit1Change() override;
    // Runs the encryption of the three names and the secure mode.
    void Button1Click() override;

protected:
    void FichierDepose(const std::string& nom) override;
    // Several files (or folders) dropped together are encrypted as one chain
    // under one key, each into its own proposed ".KOZ".
    void FichiersDeposes(const std::vector<std::string>& noms) override;

public:
    // The files of the chain dropped last, while the source field still shows the first.
    std::vector<std::string> Chaine;
};
