#pragma once
// TTransaction: the files one run writes, all or nothing. Each is written to
// a new temporary file beside its final name (created exclusively,
// owner-only, forced to disk); Valider moves them into place once the whole
// run has succeeded, trios first, then the other files, and forces the
// directories. A run that fails or stops before Valider removes its
// temporary files and changes no final name.
//
// A trio is installed so that its three names never hold some old and some
// new files: the old ones are removed before the new ones are renamed in,
// and an old trio that must be kept is first linked, whole, to the lowest
// free base-1, base-2, ... of its directory.

#include <memory>
#include <string>
#include <vector>

#include "platform/Plateforme.hpp"

class TKOZGrille;

class TTransaction {
public:
    TTransaction() = default;
    // Removes the temporary files of a transaction never validated.
    ~TTransaction();
    TTransaction(const TTransaction&) = delete;
    TTransaction& operator=(const TTransaction&) = delete;

    // A new file that becomes final at Valider; an existing final is
    // replaced only when remplacer (otherwise Valider fails on it). The
    // stream stays the transaction's; Valider closes it if the caller has not.
    TFluxEcriture& NouveauFichier(const std::string& final, TGenreFichier genre, bool remplacer);

    // Writes the three tables of etat now, to temporary files; at Valider
    // they become dir + base + ".KGR" / ".KEC" / ".KPR". When garder, an
    // existing trio of that name is kept under base-N first.
    void NouveauTrio(const TKOZGrille& etat, const std::string& dir, const std::string& base, bool garder);

    // Gives file i (in the order of NouveauFichier) another final name.
    void Renommer(size_t i, const std::string& final, bool remplacer) {
        Fichiers.at(i)->Final = final;
        Fichiers.at(i)->Remplacer = remplacer;
    }

    // Moves everything into place. Returns the notices for the user (where
    // an older trio went). REQUIRES: called once.
    std::vector<std::string> Valider();

    // The temporary names still on disk (tests, messages).
    std::vector<std::string> Temporaires() const;

private:
    struct TFichier {
        std::string Final, Temporaire;
        std::unique_ptr<TFluxEcriture> Flux;
        bool Remplacer = false;
        bool Installe = false;
    };
    struct TTrio {
        std::string Dir, Base;
        bool Garder = false;
        TFichier Fichiers[3];
    };
    static void Fermer(TFichier& f);
    std::vector<std::string> InstallerTrio(TTrio& t);

    std::vector<std::unique_ptr<TTrio>> Trios;
    std::vector<std::unique_ptr<TFichier>> Fichiers;
    bool Validee = false;
};

// The lock of a state folder, held by every run that may change its trios
// or its journal (an encryption, a decryption that saves its end state);
// the message for a folder where another run holds it.
std::unique_ptr<TVerrou> VerrouillerDossierEtat(const std::string& dir);

// The lowest N from depuis on for which none of dir + base + "-N" + ".KGR" /
// ".KEC" / ".KPR" exists.
int PremierLibre(const std::string& dir, const std::string& base, int depuis = 1);
