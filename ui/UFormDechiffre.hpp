#pragma once
// TFormDechiffre: the decryption window, in the encryption window's style.
// It reads an encrypted file back from the starting trio it was made with,
// through LancerDechiffrement on a worker thread. JvFilenameEdit1 is the
// encrypted file, JvFilenameEdit2 the decrypted file, JvFilenameEdit3 the
// starting grid (required), CheckBox1 overwrites an existing decrypted file.

#include <string>

#include "ui/FenetreKOZ.hpp"

class TFormDechiffre : public TFenetreKOZ {
    Q_OBJECT
public:
    explicit TFormDechiffre(QWidget* parent = nullptr);

    // Proposes the decrypted file's name from the encrypted one's.
    void JvFilenameEdit1Change() override;
    // Runs the decryption of the three names.
    void Button1Click() override;

    // Decrypt even what nothing can verify (the output is then kept with a warning).
    TCaseMultiligne* CheckBox2;

protected:
    void FichierDepose(const std::string& nom) override;
};
