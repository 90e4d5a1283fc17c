#pragma once
// The platform layer: every file, clock and system reading the cipher needs
// goes through one TPlateforme. The POSIX implementation is installed by
// default; tests install their own (or wrap the POSIX one) to inject faults
// such as a failed create, a failed read or a full disk.
//
// File failures raise EKOZException with the program's messages:
//   "Impossible d'ouvrir le fichier \"%s\". %s"
//   "Impossible de créer le fichier \"%s\". %s"
//   "Impossible de lire le fichier \"%s\". %s"
//   "Impossible d'écrire dans le fichier \"%s\". %s"
// the first %s being the full path, the second the platform's error text.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/PuitsReleves.hpp"

// Identity of an open or named file: the same identity means the same file,
// whatever the spelling, hard link or symbolic link that reached it.
struct TIdentiteFichier {
    uint64_t Peripherique = 0;
    uint64_t Noeud = 0;
    bool operator==(const TIdentiteFichier&) const = default;
};

// A byte source read from its current position to its end.
class TFluxLecture {
public:
    virtual ~TFluxLecture() = default;
    // Reads up to n bytes into tampon; returns the count, 0 only at the end.
    // Raises the read message when the read fails.
    virtual size_t Lire(uint8_t* tampon, size_t n) = 0;
    // Size in bytes when known (a regular file), for progress reports; else 0.
    virtual uint64_t Taille() const { return 0; }
    // Identity of the underlying file, when there is one.
    virtual std::optional<TIdentiteFichier> Identite() const { return std::nullopt; }
    // Whether this is a stream that can be read once only (a pipe, a
    // terminal, a device) rather than a regular file.
    virtual bool Flot() const { return false; }
};

// A byte sink written from its current position on.
class TFluxEcriture {
public:
    // Closes without reporting (the failure path); call Fermer to be told.
    virtual ~TFluxEcriture() = default;
    // Writes all n bytes or raises the write message (short write included).
    virtual void Ecrire(const uint8_t* tampon, size_t n) = 0;
    // Does work the stream put off (nothing by default). It may fail as a
    // write does. An encryption on two threads has it done by whichever
    // thread waits for the other first, while the next buffer is encrypted.
    virtual void Rattraper() {}
    // Closes, raising the write message if the data could not be stored.
    virtual void Fermer() {}
};

// A lock held for as long as the object lives.
class TVerrou {
public:
    virtual ~TVerrou() = default;
};

enum class TGenreFichier {
    Donnees,  // an encrypted or decrypted file: the usual permissions
    Cle,      // a state file: owner-only (0600), also when it existed before
};

class TPlateforme {
public:
    virtual ~TPlateforme() = default;

    // Opens an existing regular file for reading; the open message otherwise
    // (a directory included).
    virtual std::unique_ptr<TFluxLecture> OuvrirLecture(const std::string& nom) = 0;

    // Creates nom, or empties it if it exists. When interdit is given and nom
    // is that same file, nothing is touched and the create message is raised
    // with the reason raisonInterdit.
    virtual std::unique_ptr<TFluxEcriture> Creer(const std::string& nom, TGenreFichier genre,
                                                 const TFluxLecture* interdit = nullptr,
                                                 const std::string& raisonInterdit = {}) = 0;

    // Identity of the file that nom names, if it exists.
    virtual std::optional<TIdentiteFichier> IdentiteDe(const std::string& nom) = 0;
    virtual bool FichierExiste(const std::string& nom) = 0;
    virtual bool RepertoireExiste(const std::string& nom) = 0;
    // nom made absolute against the current directory ("" stays "").
    virtual std::string CheminComplet(const std::string& nom) = 0;

    // A new file beside final, named final + ".koz-temporaire-" + six random
    // characters (the name is returned in nom): created exclusively, readable
    // by its owner only, forced to disk by Fermer, which then gives a data
    // file the usual permissions (0666 less the umask); a key stays 0600. It is what a run writes
    // before it knows it will succeed; Renommer then moves it into place.
    virtual std::unique_ptr<TFluxEcriture> CreerTemporaire(const std::string& final, TGenreFichier genre, std::string& nom) = 0;
    // Moves de over vers (a symbolic link named vers is replaced, not
    // followed). Without remplacer an existing vers is kept and the create
    // message is raised with the reason "File exists". Raises the create
    // message for vers on any other failure.
    virtual void Renommer(const std::string& de, const std::string& vers, bool remplacer) = 0;
    // A second name for the file existant (which stays). Returns false,
    // touching nothing, when nouveau exists; raises the create message otherwise.
    virtual bool Lier(const std::string& existant, const std::string& nouveau) = 0;
    // Removes the name nom (a link itself, not its target); a missing name is no failure.
    virtual void Supprimer(const std::string& nom) = 0;
    // Forces the entries of directory dir (renames, creations) to disk.
    virtual void SynchroniserRepertoire(const std::string& dir) = 0;
    // The names (not paths) of the entries of dir, "." and ".." left out;
    // empty when dir cannot be read.
    virtual std::vector<std::string> Lister(const std::string& dir) = 0;
    // Whether nom names a regular file (following links); false when missing.
    virtual bool FichierOrdinaire(const std::string& nom) = 0;
    // Takes the run lock of directory dir, held until the returned object is
    // released. Returns null at once when another run holds it; raises the
    // open message when dir cannot be opened.
    virtual std::unique_ptr<TVerrou> Verrouiller(const std::string& dir) = 0;

    // Seconds since 1970-01-01 UTC (the dates of the journal).
    virtual int64_t Secondes() = 0;

    // Millisecond tick counter, 32 bits, wrapping.
    virtual uint32_t Ticks() = 0;

    // Adds the readings of the running system to g's seed pool, in a fixed order.
    virtual void ReleverSysteme(TPuitsReleves& g) = 0;
};

// The installed platform.
TPlateforme& Plateforme();
// Installs p (null restores the POSIX one); returns the previous one.
TPlateforme* DefinirPlateforme(TPlateforme* p);
// The POSIX implementation, for test doubles that wrap it.
TPlateforme& PlateformePosix();

// The platform's text for errno value e: the C library's reason (strerror),
// in French whatever the user's locale, since every message around it is in
// French; in the C library's own words when the fr_FR.UTF-8 locale is not
// installed. Shaped by RaisonNettoyee.
std::string TexteErreur(int e);
// Whether TexteErreur speaks French here (the fr_FR.UTF-8 locale exists).
bool RaisonsEnFrancais();
// A reason as the messages show it: trailing blanks, control characters and
// "." removed, and a first lower-case ASCII letter made upper-case ("est un
// dossier" follows a full stop in the messages).
std::string RaisonNettoyee(std::string texte);

// The four file messages, with nom made absolute.
std::string MessageOuverture(const std::string& nom, const std::string& raison);
std::string MessageCreation(const std::string& nom, const std::string& raison);
// What the temporary name of final begins with: final + ".koz-temporaire-",
// six characters to follow; a name too long for that keeps its first 233
// bytes, so that the whole still fits in the 255 bytes of a file name.
std::string PrefixeTemporaire(const std::string& final);
std::string MessageLecture(const std::string& nom, const std::string& raison);
std::string MessageEcriture(const std::string& nom, const std::string& raison);

// Streams on an open descriptor (standard input and output); the
// descriptor is not closed. nom is what messages call it.
std::unique_ptr<TFluxLecture> LectureDescripteur(int fd, const std::string& nom);
std::unique_ptr<TFluxEcriture> EcritureDescripteur(int fd, const std::string& nom);

// In-memory streams: the cipher without files (tests, benchmarks).
class TFluxMemoireLecture : public TFluxLecture {
public:
    TFluxMemoireLecture(const uint8_t* donnees, size_t taille) : Donnees(donnees), Reste(taille), Total(taille) {}
    size_t Lire(uint8_t* tampon, size_t n) override;
    uint64_t Taille() const override { return Total; }

private:
    const uint8_t* Donnees;
    size_t Reste;
    size_t Total;
};

class TFluxMemoireEcriture : public TFluxEcriture {
public:
    void Ecrire(const uint8_t* tampon, size_t n) override;
    std::string Contenu;
};
