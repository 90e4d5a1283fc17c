#include "commande/KOZArchive.hpp"

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "platform/Format.hpp"
#include "platform/KOZErreur.hpp"

// The tree walks use openat and friends relative to folder descriptors, with
// O_NOFOLLOW: the platform layer names files by path only, which would let a
// link swapped in during a walk lead it elsewhere.

namespace {

const char* const kProprietaire = "zymkozchiffre";
const char* const kSpecial =
    "Le fichier \"%s\" n'est ni un fichier ordinaire, ni un dossier, ni un lien symbolique : il ne peut pas être archivé";
const char* const kLienExterieur =
    "Le lien symbolique \"%s\" mène hors du dossier : il ne pourrait pas être restauré";
const char* const kRefus = "L'archive contient une entrée refusée « %s » : %s";
const char* const kInvalide = "L'archive est invalide ou incomplète";

// Room for one read of a file's content, and for one hand-over to the worker.
constexpr size_t kMorceau = 64 * 1024;
// The extraction's buffer between the decryption and the worker.
constexpr size_t kCapaciteExtraction = 256 * 1024;

// A descriptor closed when it goes out of scope.
class TFd {
public:
    TFd() = default;
    explicit TFd(int fd) : Fd(fd) {}
    ~TFd() { Fermer(); }
    TFd(TFd&& o) noexcept : Fd(o.Fd) { o.Fd = -1; }
    TFd& operator=(TFd&& o) noexcept {
        if (this != &o) {
            Fermer();
            Fd = o.Fd;
            o.Fd = -1;
        }
        return *this;
    }
    int Get() const { return Fd; }
    bool Ouvert() const { return Fd >= 0; }
    // Hands the descriptor over to the caller, who closes it.
    int Liberer() {
        const int fd = Fd;
        Fd = -1;
        return fd;
    }
    void Fermer() {
        if (Fd >= 0) ::close(Fd);
        Fd = -1;
    }

private:
    int Fd = -1;
};

// The names in the folder fd, "." and ".." left out, in byte order.
std::vector<std::string> NomsTries(int fd, const std::string& chemin) {
    const int copie = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copie < 0) throw EKOZException(MessageOuverture(chemin, TexteErreur(errno)));
    DIR* d = ::fdopendir(copie);
    if (!d) {
        const int e = errno;
        ::close(copie);
        throw EKOZException(MessageOuverture(chemin, TexteErreur(e)));
    }
    // The copy shares its position with fd, which an earlier listing left at the end.
    ::rewinddir(d);
    std::vector<std::string> noms;
    errno = 0;
    while (const dirent* de = ::readdir(d)) {
        if (std::strcmp(de->d_name, ".") != 0 && std::strcmp(de->d_name, "..") != 0) noms.emplace_back(de->d_name);
        errno = 0;
    }
    const int e = errno;
    ::closedir(d);
    if (e != 0) throw EKOZException(MessageLecture(chemin, TexteErreur(e)));
    std::sort(noms.begin(), noms.end());
    return noms;
}

// Whether a link whose stored name has profondeur components (its top
// folder first) stays inside that top folder: a relative target whose ".."
// all come first, no more of them than the link's depth below the top
// folder. A ".." after a name could climb out through a link; it is refused.
bool LienInterieur(size_t profondeur, const std::string& cible) {
    if (cible.empty() || cible[0] == '/' || profondeur < 2) return false;
    size_t montees = 0;
    bool descendu = false;
    size_t debut = 0;
    while (debut <= cible.size()) {
        size_t fin = cible.find('/', debut);
        if (fin == std::string::npos) fin = cible.size();
        const std::string p = cible.substr(debut, fin - debut);
        if (p == "..") {
            if (descendu) return false;
            ++montees;
        } else if (!p.empty() && p != ".") {
            descendu = true;
        }
        debut = fin + 1;
    }
    return montees <= profondeur - 2;
}

// The target of the link nom in the folder fd.
std::string LireLien(int fd, const std::string& nom, const std::string& chemin) {
    std::string cible(256, '\0');
    for (;;) {
        const ssize_t k = ::readlinkat(fd, nom.c_str(), cible.data(), cible.size());
        if (k < 0) throw EKOZException(MessageLecture(chemin, TexteErreur(errno)));
        if (size_t(k) < cible.size()) {
            cible.resize(size_t(k));
            return cible;
        }
        cible.resize(cible.size() * 2);
    }
}

bool Special(mode_t m) { return !S_ISREG(m) && !S_ISDIR(m) && !S_ISLNK(m); }

}  // namespace

// ---------------------------------------------------------------- writing

struct TLectureArchive::TEtat {
    // One folder being walked: its descriptor, its path on disk and in the
    // archive, its names and the next one to visit.
    struct TNiveau {
        TFd Fd;
        std::string Disque;   // with its final "/"
        std::string Archive;  // with its final "/"
        std::vector<std::string> Noms;
        size_t Suivant = 0;
    };

    std::string Dossier;  // as given, without its final "/"
    std::string Racine;
    TFd FdRacine;
    uint64_t Fichiers = 0, Estimation = 0;
    std::vector<std::string> Entrees;

    archive* A = nullptr;
    bool Commence = false, Fini = false;
    std::vector<TNiveau> Pile;
    // The file whose content is being stored, and what its header promised.
    TFd Fichier;
    std::string NomFichier;
    uint64_t Reste = 0;
    std::vector<uint8_t> Morceau;
    // The bytes libarchive has produced and Lire has not handed out yet.
    std::vector<uint8_t> Sortie;
    size_t Lus = 0;

    static la_ssize_t Recevoir(archive*, void* client, const void* octets, size_t n) {
        auto* e = static_cast<TEtat*>(client);
        const auto* p = static_cast<const uint8_t*>(octets);
        e->Sortie.insert(e->Sortie.end(), p, p + n);
        return la_ssize_t(n);
    }

    // Freeing closes: after a stop midway libarchive pads out the entry into
    // Sortie, which nobody reads any more. (archive_write_fail would skip the
    // close, and with it the release of the output block.)
    ~TEtat() {
        if (A) archive_write_free(A);
    }

    void Verifier(int r, const std::string& chemin) {
        if (r < ARCHIVE_WARN) {
            const int e = A ? archive_errno(A) : 0;
            throw EKOZException(MessageLecture(chemin, TexteErreur(e > 0 ? e : EIO)));
        }
    }

    // A link that extraction would refuse is refused here, before the
    // archive is written rather than when it is restored.
    static void VerifierLien(const std::string& archive, const std::string& cible, const std::string& disque) {
        if (!LienInterieur(size_t(std::count(archive.begin(), archive.end(), '/')) + 1, cible))
            throw EKOZException(Format(kLienExterieur, Plateforme().CheminComplet(disque).c_str()));
    }

    void Estimer(int fd, const std::string& chemin, const std::string& archive) {
        for (const auto& nom : NomsTries(fd, chemin)) {
            struct stat st;
            const std::string c = chemin + nom;
            if (::fstatat(fd, nom.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                throw EKOZException(MessageOuverture(c, TexteErreur(errno)));
            if (Special(st.st_mode)) throw EKOZException(Format(kSpecial, Plateforme().CheminComplet(c).c_str()));
            Estimation += 1536;  // a header, and an extended one
            if (S_ISREG(st.st_mode)) {
                Fichiers += uint64_t(st.st_size);
                Estimation += (uint64_t(st.st_size) + 511) / 512 * 512;
            } else if (S_ISDIR(st.st_mode)) {
                TFd sous(::openat(fd, nom.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                if (!sous.Ouvert()) throw EKOZException(MessageOuverture(c, TexteErreur(errno)));
                Estimer(sous.Get(), c + "/", archive + nom + "/");
            } else if (S_ISLNK(st.st_mode)) {
                VerifierLien(archive + nom, LireLien(fd, nom, c), c);
            }
        }
    }

    // One header; for a regular file, fd is open and st its fstat.
    void Entete(const std::string& nom, const struct stat& st, const std::string& cible, const std::string& disque) {
        archive_entry* e = archive_entry_new();
        archive_entry_copy_pathname(e, nom.c_str());
        archive_entry_set_filetype(e, st.st_mode & S_IFMT);
        archive_entry_set_perm(e, st.st_mode & 0777);
        archive_entry_set_mtime(e, st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
        archive_entry_copy_uname(e, kProprietaire);
        archive_entry_copy_gname(e, kProprietaire);
        archive_entry_set_size(e, S_ISREG(st.st_mode) ? st.st_size : 0);
        if (S_ISLNK(st.st_mode)) archive_entry_copy_symlink(e, cible.c_str());
        const int r = archive_write_header(A, e);
        archive_entry_free(e);
        Verifier(r, disque);
        Entrees.push_back(nom);
    }

    void EntrerDossier(TFd fd, const std::string& disque, const std::string& nom) {
        struct stat st;
        if (::fstat(fd.Get(), &st) != 0) throw EKOZException(MessageLecture(disque, TexteErreur(errno)));
        Entete(nom + "/", st, {}, disque);
        TNiveau n;
        n.Noms = NomsTries(fd.Get(), disque);
        n.Fd = std::move(fd);
        n.Disque = disque + "/";
        n.Archive = nom + "/";
        Pile.push_back(std::move(n));
    }

    void EntreeSuivante() {
        TNiveau& n = Pile.back();
        if (n.Suivant == n.Noms.size()) {
            Pile.pop_back();
            return;
        }
        const std::string& nom = n.Noms[n.Suivant++];
        const std::string disque = n.Disque + nom, archive = n.Archive + nom;
        struct stat st;
        if (::fstatat(n.Fd.Get(), nom.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            throw EKOZException(MessageOuverture(disque, TexteErreur(errno)));
        if (S_ISDIR(st.st_mode)) {
            TFd fd(::openat(n.Fd.Get(), nom.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!fd.Ouvert()) throw EKOZException(MessageOuverture(disque, TexteErreur(errno)));
            EntrerDossier(std::move(fd), disque, archive);
        } else if (S_ISREG(st.st_mode)) {
            // O_NONBLOCK: a fifo swapped in after the fstatat must not block the open.
            TFd fd(::openat(n.Fd.Get(), nom.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
            if (!fd.Ouvert()) throw EKOZException(MessageOuverture(disque, TexteErreur(errno)));
            if (::fstat(fd.Get(), &st) != 0) throw EKOZException(MessageLecture(disque, TexteErreur(errno)));
            if (!S_ISREG(st.st_mode))
                throw EKOZException(Format(kFichierChange, Plateforme().CheminComplet(disque).c_str()));
            Entete(archive, st, {}, disque);
            Fichier = std::move(fd);
            NomFichier = disque;
            Reste = uint64_t(st.st_size);
        } else if (S_ISLNK(st.st_mode)) {
            const std::string cible = LireLien(n.Fd.Get(), nom, disque);
            VerifierLien(archive, cible, disque);
            Entete(archive, st, cible, disque);
        } else {
            throw EKOZException(Format(kSpecial, Plateforme().CheminComplet(disque).c_str()));
        }
    }

    // The next piece of the current file's content; its end checks that
    // the file held exactly what its header promised.
    void ContenuSuivant() {
        if (Reste == 0) {
            uint8_t un;
            const ssize_t k = ::read(Fichier.Get(), &un, 1);
            if (k < 0) throw EKOZException(MessageLecture(NomFichier, TexteErreur(errno)));
            if (k > 0) throw EKOZException(Format(kFichierChange, Plateforme().CheminComplet(NomFichier).c_str()));
            Fichier.Fermer();
            Verifier(archive_write_finish_entry(A), NomFichier);
            return;
        }
        const size_t voulu = size_t(std::min<uint64_t>(Reste, Morceau.size()));
        ssize_t k;
        do k = ::read(Fichier.Get(), Morceau.data(), voulu);
        while (k < 0 && errno == EINTR);
        if (k < 0) throw EKOZException(MessageLecture(NomFichier, TexteErreur(errno)));
        if (k == 0) throw EKOZException(Format(kFichierChange, Plateforme().CheminComplet(NomFichier).c_str()));
        const la_ssize_t ecrits = archive_write_data(A, Morceau.data(), size_t(k));
        if (ecrits != k) Verifier(ARCHIVE_FATAL, NomFichier);
        Reste -= uint64_t(k);
    }

    void Avancer() {
        if (!Commence) {
            Commence = true;
            EntrerDossier(std::move(FdRacine), Dossier, Racine);
        } else if (Fichier.Ouvert()) {
            ContenuSuivant();
        } else if (!Pile.empty()) {
            EntreeSuivante();
        } else {
            Verifier(archive_write_close(A), Dossier);
            Fini = true;
        }
    }
};

TLectureArchive::TLectureArchive(const std::string& dossier) : E(std::make_unique<TEtat>()) {
    std::string d = dossier;
    while (d.size() > 1 && d.back() == '/') d.pop_back();
    E->Dossier = d;
    E->FdRacine = TFd(::open(d.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!E->FdRacine.Ouvert()) throw EKOZException(MessageOuverture(dossier, TexteErreur(errno)));
    std::string racine = d.substr(d.rfind('/') == std::string::npos ? 0 : d.rfind('/') + 1);
    if (racine.empty() || racine == "." || racine == "..") {
        char absolu[PATH_MAX];
        if (!::realpath(d.c_str(), absolu)) throw EKOZException(MessageOuverture(dossier, TexteErreur(errno)));
        const std::string a = absolu;
        racine = a.substr(a.rfind('/') + 1);
        if (racine.empty()) throw EKOZException(MessageOuverture(dossier, TexteErreur(EISDIR)));
    }
    E->Racine = racine;
    E->Estimation = 1536 + 1024;  // the folder's own header, the end-of-archive blocks
    E->Estimer(E->FdRacine.Get(), d + "/", racine + "/");

    E->Morceau.resize(kMorceau);
    E->A = archive_write_new();
    if (!E->A) throw EKOZException(MessageLecture(dossier, TexteErreur(ENOMEM)));
    // Names are stored as the bytes they are on disk, whatever the locale.
    if (archive_write_set_format_pax(E->A) != ARCHIVE_OK ||
        archive_write_set_format_option(E->A, "pax", "hdrcharset", "BINARY") != ARCHIVE_OK ||
        archive_write_set_bytes_per_block(E->A, 10240) != ARCHIVE_OK ||
        archive_write_set_bytes_in_last_block(E->A, 1) != ARCHIVE_OK ||
        archive_write_open(E->A, E.get(), nullptr, &TEtat::Recevoir, nullptr) != ARCHIVE_OK)
        E->Verifier(ARCHIVE_FATAL, dossier);
}

TLectureArchive::~TLectureArchive() = default;

size_t TLectureArchive::Lire(uint8_t* tampon, size_t n) {
    while (E->Lus == E->Sortie.size() && !E->Fini) {
        E->Sortie.clear();
        E->Lus = 0;
        E->Avancer();
    }
    const size_t k = std::min(n, E->Sortie.size() - E->Lus);
    if (k) std::memcpy(tampon, E->Sortie.data() + E->Lus, k);
    E->Lus += k;
    return k;
}

uint64_t TLectureArchive::Taille() const { return E->Estimation; }
uint64_t TLectureArchive::TailleFichiers() const { return E->Fichiers; }
const std::string& TLectureArchive::Racine() const { return E->Racine; }
const std::vector<std::string>& TLectureArchive::Entrees() const { return E->Entrees; }

// ---------------------------------------------------------------- extraction

namespace {

// A refusal raised by the checks, before anything of the entry is written.
[[noreturn]] void Refuser(const std::string& nom, const char* raison) {
    throw EKOZException(Format(kRefus, nom.c_str(), raison));
}

// The components of a relative name into c, empty ones and "." dropped;
// false when one of them is "..".
bool Decouper(const std::string& nom, std::vector<std::string>& c) {
    size_t debut = 0;
    while (debut <= nom.size()) {
        size_t fin = nom.find('/', debut);
        if (fin == std::string::npos) fin = nom.size();
        const std::string p = nom.substr(debut, fin - debut);
        if (p == "..") return false;
        if (!p.empty() && p != ".") c.push_back(p);
        debut = fin + 1;
    }
    return true;
}

// The components of a stored name; absolute names and ".." refused.
std::vector<std::string> Composants(const std::string& nom) {
    if (!nom.empty() && nom[0] == '/') Refuser(nom, "chemin absolu");
    std::vector<std::string> c;
    if (!Decouper(nom, c)) Refuser(nom, "chemin hors du dossier");
    return c;
}

std::string Joindre(const std::vector<std::string>& c, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += (i ? "/" : "") + c[i];
    return s;
}

}  // namespace

struct TExtractionArchive::TEtat {
    std::string Racine;  // with its final "/"
    bool Ecraser;
    TFd FdRacine;

    // The buffer between Ecrire and the worker: a ring of kCapaciteExtraction bytes.
    std::mutex M;
    std::condition_variable Cv;
    std::vector<uint8_t> Anneau;
    size_t Tete = 0, Compte = 0;
    bool FinFlux = false, Abandon = false, Termine = false;
    std::exception_ptr Erreur;
    bool ErreurRendue = false;
    std::thread Travailleur;

    // The worker's side.
    std::vector<uint8_t> Lecture;
    struct TDossier {
        mode_t Mode = 0755;
        bool Date = false;
        timespec Mtime{};
    };
    std::map<std::string, TDossier> Dossiers;  // made by this extraction
    std::vector<std::string> Racines;
    std::set<std::string> RacinesVues;
    bool Ferme = false;

    static la_ssize_t Lire(archive*, void* client, const void** tampon) {
        auto* e = static_cast<TEtat*>(client);
        std::unique_lock<std::mutex> verrou(e->M);
        e->Cv.wait(verrou, [e] { return e->Compte > 0 || e->FinFlux || e->Abandon; });
        if (e->Abandon) return -1;
        const size_t k = std::min(e->Compte, e->Lecture.size());
        for (size_t i = 0; i < k;) {
            const size_t bloc = std::min(k - i, e->Anneau.size() - e->Tete);
            std::memcpy(e->Lecture.data() + i, e->Anneau.data() + e->Tete, bloc);
            e->Tete = (e->Tete + bloc) % e->Anneau.size();
            i += bloc;
        }
        e->Compte -= k;
        e->Cv.notify_all();
        *tampon = e->Lecture.data();
        return la_ssize_t(k);
    }

    void Travail() {
        std::exception_ptr erreur;
        try {
            Extraire();
        } catch (...) {
            erreur = std::current_exception();
        }
        std::lock_guard<std::mutex> verrou(M);
        Erreur = erreur;
        Termine = true;
        Cv.notify_all();
    }

    void Extraire() {
        archive* a = archive_read_new();
        if (!a) throw EKOZException(kInvalide);
        struct TLiberer {
            archive* A;
            ~TLiberer() { archive_read_free(A); }
        } liberer{a};
        archive_read_support_format_tar(a);
        if (archive_read_open(a, this, nullptr, &TEtat::Lire, nullptr) != ARCHIVE_OK) throw EKOZException(kInvalide);
        for (;;) {
            archive_entry* e = nullptr;
            const int r = archive_read_next_header(a, &e);
            if (r == ARCHIVE_EOF) return;
            if (r < ARCHIVE_WARN) throw EKOZException(kInvalide);
            Entree(a, e);
        }
    }

    std::string Chemin(const std::vector<std::string>& c, size_t n) const { return Racine + Joindre(c, n); }

    // The folder holding the last component of c, opened one component at a
    // time without following links; missing folders are made when creer is set.
    TFd Parent(const std::string& nom, const std::vector<std::string>& c, bool creer, const char* raisonLien) {
        TFd courant(::fcntl(FdRacine.Get(), F_DUPFD_CLOEXEC, 0));
        if (!courant.Ouvert()) throw EKOZException(MessageOuverture(Racine, TexteErreur(errno)));
        for (size_t i = 0; i + 1 < c.size(); ++i) {
            struct stat st;
            if (::fstatat(courant.Get(), c[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno != ENOENT || !creer) {
                    if (errno == ENOENT) Refuser(nom, raisonLien);
                    throw EKOZException(MessageOuverture(Chemin(c, i + 1), TexteErreur(errno)));
                }
                if (::mkdirat(courant.Get(), c[i].c_str(), 0700) != 0)
                    throw EKOZException(MessageCreation(Chemin(c, i + 1), TexteErreur(errno)));
                Dossiers.emplace(Joindre(c, i + 1), TDossier{});
            } else if (S_ISLNK(st.st_mode)) {
                Refuser(nom, creer ? "chemin à travers un lien symbolique" : raisonLien);
            } else if (!S_ISDIR(st.st_mode)) {
                Refuser(nom, creer ? "chemin à travers un fichier" : raisonLien);
            }
            TFd sous(::openat(courant.Get(), c[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!sous.Ouvert()) throw EKOZException(MessageOuverture(Chemin(c, i + 1), TexteErreur(errno)));
            courant = std::move(sous);
        }
        return courant;
    }

    void Entree(archive* a, archive_entry* e) {
        const char* brut = archive_entry_pathname(e);
        const std::string nom = brut ? brut : "";
        const std::vector<std::string> c = Composants(nom);
        const char* lienPhysique = archive_entry_hardlink(e);
        const mode_t type = archive_entry_filetype(e);
        if (!lienPhysique) {
            if (type == AE_IFCHR || type == AE_IFBLK) Refuser(nom, "périphérique");
            if (type == AE_IFIFO) Refuser(nom, "tube nommé");
            if (type == AE_IFSOCK) Refuser(nom, "socket");
            if (type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK) Refuser(nom, "type de fichier inconnu");
        }
        if (c.empty()) {
            // "./": the extraction folder itself, which exists already.
            if (!lienPhysique && type == AE_IFDIR) return;
            Refuser(nom, "nom vide");
        }
        const bool dossier = !lienPhysique && type == AE_IFDIR;
        std::vector<std::string> cLien;
        if (lienPhysique) {
            const std::string l = lienPhysique;
            if (l.empty() || l[0] == '/' || !Decouper(l, cLien) || cLien.empty())
                Refuser(nom, "lien physique hors de l'archive");
        } else if (type == AE_IFLNK) {
            const char* cible = archive_entry_symlink(e);
            if (!cible || !LienInterieur(c.size(), cible)) Refuser(nom, "lien symbolique hors du dossier");
        }

        TFd parent = Parent(nom, c, true, "");
        const std::string& dernier = c.back();
        const std::string chemin = Chemin(c, c.size());
        const std::string cle = Joindre(c, c.size());
        struct stat st;
        if (::fstatat(parent.Get(), dernier.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            const bool notre = S_ISDIR(st.st_mode) && Dossiers.count(cle);
            if (dossier && S_ISDIR(st.st_mode) && (notre || Ecraser)) {
                // The folder receives this entry's permissions and time at the end.
            } else if (!Ecraser || dossier || S_ISDIR(st.st_mode)) {
                Refuser(nom, "existe déjà");
            } else if (::unlinkat(parent.Get(), dernier.c_str(), 0) != 0) {
                throw EKOZException(MessageCreation(chemin, TexteErreur(errno)));
            }
        } else if (errno != ENOENT) {
            throw EKOZException(MessageOuverture(chemin, TexteErreur(errno)));
        } else if (dossier && ::mkdirat(parent.Get(), dernier.c_str(), 0700) != 0) {
            throw EKOZException(MessageCreation(chemin, TexteErreur(errno)));
        }
        if (RacinesVues.insert(c[0]).second) Racines.push_back(c[0]);

        timespec temps[2]{};
        temps[0].tv_nsec = UTIME_OMIT;
        temps[1].tv_sec = archive_entry_mtime(e);
        temps[1].tv_nsec = archive_entry_mtime_is_set(e) ? archive_entry_mtime_nsec(e) : UTIME_OMIT;
        const mode_t mode = archive_entry_perm(e) & 0777;

        if (dossier) {
            TDossier& d = Dossiers[cle];
            d.Mode = mode;
            d.Date = archive_entry_mtime_is_set(e);
            d.Mtime = temps[1];
        } else if (lienPhysique) {
            TFd source = Parent(nom, cLien, false, "lien physique hors de l'archive");
            struct stat sl;
            if (::fstatat(source.Get(), cLien.back().c_str(), &sl, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(sl.st_mode))
                Refuser(nom, "lien physique hors de l'archive");
            if (::linkat(source.Get(), cLien.back().c_str(), parent.Get(), dernier.c_str(), 0) != 0)
                throw EKOZException(MessageCreation(chemin, TexteErreur(errno)));
        } else if (type == AE_IFLNK) {
            if (::symlinkat(archive_entry_symlink(e), parent.Get(), dernier.c_str()) != 0)
                throw EKOZException(MessageCreation(chemin, TexteErreur(errno)));
            ::utimensat(parent.Get(), dernier.c_str(), temps, AT_SYMLINK_NOFOLLOW);
        } else {
            TFd fd(::openat(parent.Get(), dernier.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (!fd.Ouvert()) throw EKOZException(MessageCreation(chemin, TexteErreur(errno)));
            for (;;) {
                const void* octets = nullptr;
                size_t n = 0;
                la_int64_t position = 0;
                const int r = archive_read_data_block(a, &octets, &n, &position);
                if (r == ARCHIVE_EOF) break;
                if (r < ARCHIVE_WARN || position < 0) throw EKOZException(kInvalide);
                const auto* p = static_cast<const uint8_t*>(octets);
                while (n > 0) {
                    const ssize_t k = ::pwrite(fd.Get(), p, n, off_t(position));
                    if (k < 0 && errno == EINTR) continue;
                    if (k <= 0) throw EKOZException(MessageEcriture(chemin, TexteErreur(k < 0 ? errno : ENOSPC)));
                    p += k;
                    n -= size_t(k);
                    position += k;
                }
            }
            // A sparse file's last hole is not among the blocks.
            struct stat sf;
            if (archive_entry_size_is_set(e) && ::fstat(fd.Get(), &sf) == 0 && sf.st_size < archive_entry_size(e) &&
                ::ftruncate(fd.Get(), off_t(archive_entry_size(e))) != 0)
                throw EKOZException(MessageEcriture(chemin, TexteErreur(errno)));
            if (::fchmod(fd.Get(), mode) != 0 || ::futimens(fd.Get(), temps) != 0)
                throw EKOZException(MessageEcriture(chemin, TexteErreur(errno)));
            if (::close(fd.Liberer()) != 0) throw EKOZException(MessageEcriture(chemin, TexteErreur(errno)));
        }
    }

    // The folders' permissions and times, deepest first so that no folder is
    // closed to its owner while its content is still to be touched.
    void FinirDossiers() {
        std::vector<std::pair<size_t, const std::string*>> ordre;
        for (const auto& [cle, d] : Dossiers) ordre.emplace_back(std::count(cle.begin(), cle.end(), '/'), &cle);
        std::sort(ordre.begin(), ordre.end(), [](const auto& x, const auto& y) { return x.first > y.first; });
        for (const auto& [profondeur, cle] : ordre) {
            const TDossier& d = Dossiers.at(*cle);
            std::vector<std::string> c = Composants(*cle);
            c.push_back(".");
            TFd fd = Parent(*cle, c, false, "chemin à travers un lien symbolique");
            const std::string chemin = Racine + *cle;
            timespec temps[2]{};
            temps[0].tv_nsec = UTIME_OMIT;
            temps[1] = d.Mtime;
            if (::fchmod(fd.Get(), d.Mode) != 0 || (d.Date && ::futimens(fd.Get(), temps) != 0))
                throw EKOZException(MessageEcriture(chemin, TexteErreur(errno)));
        }
    }

    void Arreter() {
        {
            std::lock_guard<std::mutex> verrou(M);
            Abandon = true;
            Cv.notify_all();
        }
        if (Travailleur.joinable()) Travailleur.join();
    }
};

TExtractionArchive::TExtractionArchive(const std::string& racine, bool ecraser) : E(std::make_unique<TEtat>()) {
    E->Racine = racine;
    if (E->Racine.empty() || E->Racine.back() != '/') E->Racine += '/';
    E->Ecraser = ecraser;
    E->FdRacine = TFd(::open(racine.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!E->FdRacine.Ouvert()) throw EKOZException(MessageOuverture(racine, TexteErreur(errno)));
    E->Anneau.resize(kCapaciteExtraction);
    E->Lecture.resize(kMorceau);
    E->Travailleur = std::thread([e = E.get()] { e->Travail(); });
}

TExtractionArchive::~TExtractionArchive() { E->Arreter(); }

void TExtractionArchive::Ecrire(const uint8_t* tampon, size_t n) {
    std::unique_lock<std::mutex> verrou(E->M);
    while (n > 0) {
        E->Cv.wait(verrou, [this] { return E->Compte < E->Anneau.size() || E->Termine; });
        if (E->Termine) {
            if (E->Erreur && !E->ErreurRendue) {
                E->ErreurRendue = true;
                std::rethrow_exception(E->Erreur);
            }
            return;
        }
        const size_t taille = E->Anneau.size();
        size_t k = std::min(n, taille - E->Compte);
        n -= k;
        while (k > 0) {
            const size_t fin = (E->Tete + E->Compte) % taille;
            const size_t bloc = std::min(k, taille - fin);
            std::memcpy(E->Anneau.data() + fin, tampon, bloc);
            E->Compte += bloc;
            tampon += bloc;
            k -= bloc;
        }
        E->Cv.notify_all();
    }
}

void TExtractionArchive::Fermer() {
    if (E->Ferme) return;
    E->Ferme = true;
    {
        std::lock_guard<std::mutex> verrou(E->M);
        E->FinFlux = true;
        E->Cv.notify_all();
    }
    E->Travailleur.join();
    if (E->Erreur) {
        E->ErreurRendue = true;
        std::rethrow_exception(E->Erreur);
    }
    E->FinirDossiers();
}

const std::vector<std::string>& TExtractionArchive::Racines() const { return E->Racines; }

// ---------------------------------------------------------------- helpers

bool EstArchiveDossier(const uint8_t* octets, size_t n) {
    if (n < kTailleEnteteArchive) return false;
    if (std::memcmp(octets + 257, "ustar", 5) != 0) return false;
    // The checksum field (8 bytes at 148) counts as blanks.
    unsigned somme = 0;
    for (size_t i = 0; i < 512; ++i) somme += (i >= 148 && i < 156) ? ' ' : octets[i];
    unsigned lu = 0;
    size_t i = 148;
    while (i < 156 && octets[i] == ' ') ++i;
    size_t chiffres = 0;
    for (; i < 156 && octets[i] >= '0' && octets[i] <= '7'; ++i, ++chiffres) lu = lu * 8 + unsigned(octets[i] - '0');
    if (chiffres == 0 || lu != somme) return false;
    const size_t l = std::strlen(kProprietaire);
    return std::memcmp(octets + 265, kProprietaire, l) == 0 && octets[265 + l] == 0;
}

namespace {

// Empties the folder fd (at chemin), then nothing else: the caller removes it.
bool Vider(int fd, const std::string& chemin) {
    // A folder restored without write permission for its owner keeps its
    // entries from being removed: the tree goes anyway, it is ours.
    struct stat moi;
    if (::fstat(fd, &moi) == 0 && (moi.st_mode & S_IRWXU) != S_IRWXU) ::fchmod(fd, moi.st_mode | S_IRWXU);
    std::vector<std::string> noms;
    try {
        noms = NomsTries(fd, chemin);
    } catch (const EKOZException&) {
        return false;
    }
    bool tout = true;
    for (const auto& nom : noms) {
        struct stat st;
        if (::fstatat(fd, nom.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            tout = tout && errno == ENOENT;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            TFd sous(::openat(fd, nom.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!sous.Ouvert() && errno == EACCES && ::fchmodat(fd, nom.c_str(), 0700, 0) == 0)
                sous = TFd(::openat(fd, nom.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!sous.Ouvert() || !Vider(sous.Get(), chemin + nom + "/")) {
                tout = false;
                continue;
            }
            if (::unlinkat(fd, nom.c_str(), AT_REMOVEDIR) != 0) tout = false;
        } else if (::unlinkat(fd, nom.c_str(), 0) != 0) {
            tout = false;
        }
    }
    return tout;
}

}  // namespace

bool SupprimerArborescence(const std::string& chemin) {
    struct stat st;
    if (::lstat(chemin.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) return ::unlink(chemin.c_str()) == 0;
    TFd fd(::open(chemin.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.Ouvert() && errno == EACCES && ::chmod(chemin.c_str(), 0700) == 0)
        fd = TFd(::open(chemin.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.Ouvert()) return false;
    std::string c = chemin;
    if (c.back() != '/') c += '/';
    const bool vide = Vider(fd.Get(), c);
    fd.Fermer();
    return vide && ::rmdir(chemin.c_str()) == 0;
}
