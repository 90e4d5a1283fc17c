#pragma once
// A folder as one stream of bytes and back: a pax tar archive (libarchive)
// read from a folder on demand, and a tar archive extracted as it arrives.
// Neither side holds a whole archive or file: memory stays bounded by a
// buffer of each side and the names of the folders being walked.
//
// Folders are recognised by content, the encrypted file having no header:
// every archive written here names "zymkozchiffre" as the owner of its first
// entry (EstArchiveDossier).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Plateforme.hpp"

// The tar archive of one folder, produced as it is read: the folder itself
// (named after its last path component), then its content in byte order of
// names, folders before their content. Regular files, folders (empty ones
// included) and symbolic links (stored as links, never followed) keep their
// permissions (without setuid, setgid, sticky) and modification times;
// owners are not stored; a file with several hard links is stored once per name.
//
// The folder must not change while it is read. A file that disappears, a
// file whose size changes or a special file met on the way (fifo, socket,
// device) stops the reading with an EKOZException; the caller discards
// what was produced. Special files already present, and links that
// TExtractionArchive would refuse, are refused when the object is built,
// before any byte is produced:
//   "Le fichier \"%s\" n'est ni un fichier ordinaire, ni un dossier, ni un lien symbolique : il ne peut pas être archivé"
//   "Le lien symbolique \"%s\" mène hors du dossier : il ne pourrait pas être restauré"
//   "Le fichier \"%s\" a changé pendant sa lecture"
//   the platform's open and read messages ("Impossible d'ouvrir le fichier ...").
// The message of a file whose size changed while it was read, for any
// source read whole (a folder's file, or a file encrypted on its own).
inline constexpr const char* kFichierChange = "Le fichier \"%s\" a changé pendant sa lecture";

class TLectureArchive : public TFluxLecture {
public:
    // REQUIRES: dossier names a folder (a symbolic link to one is followed,
    // links inside are not). Walks it once to estimate the size; raises the
    // open message when it is not a folder or cannot be read.
    explicit TLectureArchive(const std::string& dossier);
    ~TLectureArchive() override;
    TLectureArchive(const TLectureArchive&) = delete;
    TLectureArchive& operator=(const TLectureArchive&) = delete;

    size_t Lire(uint8_t* tampon, size_t n) override;
    // An estimate of the archive's size in bytes, from the walk made when the
    // object was built: the sum of the file sizes plus headers and padding.
    uint64_t Taille() const override;
    // The sum of the sizes of the regular files found by that walk.
    uint64_t TailleFichiers() const;
    // The name of the folder in the archive (the first component of every entry).
    const std::string& Racine() const;
    // The names of the entries written so far, in archive order ("photos/",
    // "photos/a.jpg"; folders end with "/").
    const std::vector<std::string>& Entrees() const;

private:
    struct TEtat;
    std::unique_ptr<TEtat> E;
};

// Extracts the tar archive whose bytes are written to it into the folder
// racine, on a worker thread fed through a bounded buffer. Every entry is
// checked before anything of it is written, and nothing is reached through a
// symbolic link; the first entry refused stops everything with
//   "L'archive contient une entrée refusée « %s » : %s"
// (the entry's name as stored, then one of the reasons: "chemin absolu",
// "chemin hors du dossier", "nom vide", "chemin à travers un lien symbolique",
// "chemin à travers un fichier", "lien symbolique hors du dossier",
// "lien physique hors de l'archive", "périphérique", "tube nommé", "socket",
// "type de fichier inconnu", "existe déjà"), and bytes that are no tar
// archive with "L'archive est invalide ou incomplète". Setuid, setgid and
// sticky bits are dropped, owners ignored. What was extracted before a
// failure stays: the caller extracts into a fresh temporary folder and
// removes it (SupprimerArborescence) when anything was raised.
//
// A symbolic link must resolve inside the top folder that holds it: its
// target is relative, its ".." come first and do not climb above that
// folder (a link directly under racine is refused). A hard link must name a
// regular file extracted before it.
class TExtractionArchive : public TFluxEcriture {
public:
    // REQUIRES: racine names an existing folder. Without ecraser an entry
    // whose name exists already is refused ("existe déjà"), except a folder
    // this extraction made; with it, an existing file or link is replaced
    // and an existing folder receives the folder's content (a folder is
    // never replaced by a file nor a file by a folder).
    explicit TExtractionArchive(const std::string& racine, bool ecraser = false);
    // Stops the worker without reporting (the failure path).
    ~TExtractionArchive() override;
    TExtractionArchive(const TExtractionArchive&) = delete;
    TExtractionArchive& operator=(const TExtractionArchive&) = delete;

    // Hands the bytes to the worker, waiting while its buffer is full. Raises
    // the worker's failure as soon as there is one. Bytes after the end of
    // the archive are ignored.
    void Ecrire(const uint8_t* tampon, size_t n) override;
    // Ends the input, waits for the worker, raises its failure if any, then
    // gives the folders their permissions and times.
    void Fermer() override;
    // The first components of the entries, in the order met (after Fermer).
    const std::vector<std::string>& Racines() const;

private:
    struct TEtat;
    std::unique_ptr<TEtat> E;
};

// Whether the first bytes of a plain stream are an archive written by
// TLectureArchive: a valid tar header block (checksum, "ustar" magic) whose
// owner name is "zymkozchiffre". Needs the first 512 bytes; false with fewer.
bool EstArchiveDossier(const uint8_t* octets, size_t n);
inline constexpr size_t kTailleEnteteArchive = 512;

// Removes chemin and everything under it without following any symbolic
// link (a link is removed, never its target). Raises nothing: returns false
// when something could not be removed (chemin missing counts as done).
bool SupprimerArborescence(const std::string& chemin);
