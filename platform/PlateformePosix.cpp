// The POSIX implementation of the platform layer.

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/Chemins.hpp"
#include "platform/LecturesSysteme.hpp"
#include "platform/Format.hpp"
#include "platform/Plateforme.hpp"
#include "platform/KOZErreur.hpp"

namespace {

class TLecturePosix : public TFluxLecture {
public:
    TLecturePosix(int fd, std::string nom, const struct stat& st, bool proprietaire = true)
        : Fd(fd),
          Nom(std::move(nom)),
          Id{uint64_t(st.st_dev), uint64_t(st.st_ino)},
          Octets(S_ISREG(st.st_mode) ? uint64_t(st.st_size) : 0),
          EstFlot(!S_ISREG(st.st_mode)),
          Proprietaire(proprietaire) {}
    ~TLecturePosix() override {
        if (Proprietaire) ::close(Fd);
    }

    size_t Lire(uint8_t* tampon, size_t n) override {
        for (;;) {
            const ssize_t k = ::read(Fd, tampon, n);
            if (k >= 0) return size_t(k);
            if (errno != EINTR) throw EKOZException(MessageLecture(Nom, TexteErreur(errno)));
        }
    }
    uint64_t Taille() const override { return Octets; }
    std::optional<TIdentiteFichier> Identite() const override { return Id; }
    bool Flot() const override { return EstFlot; }

private:
    int Fd;
    std::string Nom;
    TIdentiteFichier Id;
    uint64_t Octets;
    bool EstFlot;
    bool Proprietaire;
};

class TEcriturePosix : public TFluxEcriture {
public:
    TEcriturePosix(int fd, std::string nom, bool durable, bool proprietaire = true)
        : Fd(fd), Nom(std::move(nom)), Durable(durable), Proprietaire(proprietaire) {}
    ~TEcriturePosix() override {
        if (Fd >= 0 && Proprietaire) ::close(Fd);
    }

    void Ecrire(const uint8_t* tampon, size_t n) override {
        while (n > 0) {
            const ssize_t k = ::write(Fd, tampon, n);
            if (k < 0) {
                if (errno == EINTR) continue;
                throw EKOZException(MessageEcriture(Nom, TexteErreur(errno)));
            }
            // A write that stores nothing without an error: the device is full.
            if (k == 0) throw EKOZException(MessageEcriture(Nom, TexteErreur(ENOSPC)));
            tampon += k;
            n -= size_t(k);
            if (Durable) Deverser(size_t(k));
        }
    }

    void Fermer() override {
        if (Fd < 0) return;
        const int fd = Fd;
        Fd = -1;
        if (ModeFinal >= 0 && ::fchmod(fd, mode_t(ModeFinal)) != 0) {
            const int e = errno;
            if (Proprietaire) ::close(fd);
            throw EKOZException(MessageEcriture(Nom, TexteErreur(e)));
        }
        // Key files are forced to the disk: a key lost in a crash loses the data.
        if (Durable && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
            const int e = errno;
            if (Proprietaire) ::close(fd);
            throw EKOZException(MessageEcriture(Nom, TexteErreur(e)));
        }
        if (Proprietaire && ::close(fd) != 0 && errno != EINTR)
            throw EKOZException(MessageEcriture(Nom, TexteErreur(errno)));
    }

    // The permissions Fermer gives the file (a temporary data file); -1: unchanged.
    int ModeFinal = -1;

private:
    // A file forced to the disk at Fermer has its written pages sent to the
    // disk as it goes, every kDeversement bytes: the disk works while the
    // cipher does, and the closing fsync only waits for the last few. Left
    // out, that fsync holds the end of a run for as long as the disk takes
    // to write everything still in memory. Only a request: its failures go
    // unnoticed here, and fsync reports them.
    void Deverser(size_t k) {
#if defined(SYNC_FILE_RANGE_WRITE)
        NonDeverses += k;
        if (NonDeverses < kDeversement) return;
        NonDeverses = 0;
        ::sync_file_range(Fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#else
        (void)k;
#endif
    }
    static constexpr size_t kDeversement = size_t(8) << 20;

    int Fd;
    std::string Nom;
    bool Durable;
    bool Proprietaire;
    size_t NonDeverses = 0;  // bytes written since the last request
};

// The process's umask, read without changing it for other threads:
// /proc/self/status has it; the set-and-restore fallback is brief.
mode_t Umask() {
    if (FILE* f = ::fopen("/proc/self/status", "re")) {
        char ligne[256];
        unsigned masque = 0;
        bool trouve = false;
        while (::fgets(ligne, sizeof ligne, f))
            if (std::sscanf(ligne, "Umask: %o", &masque) == 1) {
                trouve = true;
                break;
            }
        ::fclose(f);
        if (trouve) return mode_t(masque);
    }
    const mode_t m = ::umask(022);
    ::umask(m);
    return m;
}

class TVerrouPosix : public TVerrou {
public:
    explicit TVerrouPosix(int fd) : Fd(fd) {}
    ~TVerrouPosix() override { ::close(Fd); }

private:
    int Fd;
};


class TPlateformePosix : public TPlateforme {
public:
    std::unique_ptr<TFluxLecture> OuvrirLecture(const std::string& nom) override {
        const int fd = ::open(nom.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) throw EKOZException(MessageOuverture(nom, TexteErreur(errno)));
        struct stat st;
        if (::fstat(fd, &st) != 0) {
            const int e = errno;
            ::close(fd);
            throw EKOZException(MessageOuverture(nom, TexteErreur(e)));
        }
        if (S_ISDIR(st.st_mode)) {
            ::close(fd);
            throw EKOZException(MessageOuverture(nom, TexteErreur(EISDIR)));
        }
        return std::make_unique<TLecturePosix>(fd, nom, st);
    }

    std::unique_ptr<TFluxEcriture> Creer(const std::string& nom, TGenreFichier genre, const TFluxLecture* interdit,
                                         const std::string& raisonInterdit) override {
        const bool cle = genre == TGenreFichier::Cle;
        // Opened without O_TRUNC: the file is compared with the forbidden one
        // before a single byte of it is lost.
        const int fd = ::open(nom.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, cle ? 0600 : 0666);
        if (fd < 0) throw EKOZException(MessageCreation(nom, TexteErreur(errno)));
        auto echec = [&](const std::string& raison) {
            ::close(fd);
            throw EKOZException(MessageCreation(nom, raison));
        };
        struct stat st;
        if (::fstat(fd, &st) != 0) echec(TexteErreur(errno));
        if (interdit) {
            const auto id = interdit->Identite();
            if (id && id->Peripherique == uint64_t(st.st_dev) && id->Noeud == uint64_t(st.st_ino)) echec(raisonInterdit);
        }
        // Only a regular file is narrowed: a key name that reaches a device
        // (a link to /dev/null) must not change the device's permissions.
        if (cle && S_ISREG(st.st_mode) && (st.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0)
            echec(TexteErreur(errno));
        if (S_ISREG(st.st_mode) && st.st_size != 0 && ::ftruncate(fd, 0) != 0) echec(TexteErreur(errno));
        return std::make_unique<TEcriturePosix>(fd, nom, cle);
    }

    std::optional<TIdentiteFichier> IdentiteDe(const std::string& nom) override {
        struct stat st;
        if (nom.empty() || ::stat(nom.c_str(), &st) != 0) return std::nullopt;
        return TIdentiteFichier{uint64_t(st.st_dev), uint64_t(st.st_ino)};
    }

    bool FichierExiste(const std::string& nom) override {
        struct stat st;
        return !nom.empty() && ::stat(nom.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
    }

    bool RepertoireExiste(const std::string& nom) override {
        struct stat st;
        return !nom.empty() && ::stat(nom.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }

    std::string CheminComplet(const std::string& nom) override {
        if (nom.empty()) return nom;
        std::string chemin;
        if (nom[0] != '/') {
            std::vector<char> tampon(4096);
            while (!::getcwd(tampon.data(), tampon.size())) {
                if (errno != ERANGE) return nom;
                tampon.resize(tampon.size() * 2);
            }
            chemin = tampon.data();
            chemin += '/';
        }
        chemin += nom;
        return NormaliserChemin(chemin, !nom.empty() && nom.back() == '/');
    }

    std::unique_ptr<TFluxEcriture> CreerTemporaire(const std::string& final, TGenreFichier genre, std::string& nom) override {
        static const char kLettres[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        for (int essai = 0; essai < 100; ++essai) {
            uint8_t hasard[6];
            if (::getrandom(hasard, sizeof hasard, 0) != ssize_t(sizeof hasard))
                for (auto& h : hasard) h = uint8_t(::rand());
            nom = PrefixeTemporaire(final);
            for (uint8_t h : hasard) nom += kLettres[h % 62];
            const int fd = ::open(nom.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (fd >= 0) {
                // Messages name the file the user asked for, not its temporary name.
                auto flux = std::make_unique<TEcriturePosix>(fd, final, true);
                if (genre == TGenreFichier::Donnees) flux->ModeFinal = 0666 & ~Umask();
                return flux;
            }
            if (errno != EEXIST) throw EKOZException(MessageCreation(final, TexteErreur(errno)));
        }
        throw EKOZException(MessageCreation(final, TexteErreur(EEXIST)));
    }

    void Renommer(const std::string& de, const std::string& vers, bool remplacer) override {
        const int r = remplacer ? ::rename(de.c_str(), vers.c_str())
                                : ::renameat2(AT_FDCWD, de.c_str(), AT_FDCWD, vers.c_str(), RENAME_NOREPLACE);
        if (r == 0) return;
        int e = errno;
        // File systems without RENAME_NOREPLACE: a hard link refuses an
        // existing name just as well, then the old name goes.
        if (!remplacer && (e == EINVAL || e == ENOSYS)) {
            if (::link(de.c_str(), vers.c_str()) == 0) {
                ::unlink(de.c_str());
                return;
            }
            e = errno;
        }
        throw EKOZException(MessageCreation(vers, TexteErreur(e)));
    }

    bool Lier(const std::string& existant, const std::string& nouveau) override {
        if (::link(existant.c_str(), nouveau.c_str()) == 0) return true;
        if (errno == EEXIST) return false;
        throw EKOZException(MessageCreation(nouveau, TexteErreur(errno)));
    }

    void Supprimer(const std::string& nom) override {
        if (::unlink(nom.c_str()) != 0 && errno != ENOENT)
            throw EKOZException(Format("Impossible de supprimer le fichier \"%s\". %s", CheminComplet(nom).c_str(),
                                       TexteErreur(errno).c_str()));
    }

    void SynchroniserRepertoire(const std::string& dir) override {
        const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return;
        ::fsync(fd);
        ::close(fd);
    }

    std::vector<std::string> Lister(const std::string& dir) override {
        std::vector<std::string> noms;
        DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
        if (!d) return noms;
        while (const struct dirent* e = ::readdir(d)) {
            const std::string nom = e->d_name;
            if (nom != "." && nom != "..") noms.push_back(nom);
        }
        ::closedir(d);
        return noms;
    }

    bool FichierOrdinaire(const std::string& nom) override {
        struct stat st;
        return !nom.empty() && ::stat(nom.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }

    std::unique_ptr<TVerrou> Verrouiller(const std::string& dir) override {
        const std::string chemin = dir.empty() ? "." : dir;
        const int fd = ::open(chemin.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) throw EKOZException(MessageOuverture(dir, TexteErreur(errno)));
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<TVerrouPosix>(fd);
    }

    int64_t Secondes() override { return int64_t(::time(nullptr)); }

    uint32_t Ticks() override {
        struct timespec ts;
        ::clock_gettime(CLOCK_MONOTONIC, &ts);
        return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
    }

    void ReleverSysteme(TPuitsReleves& g) override { ReleverSystemeLinux(g); }
};

}  // namespace

std::unique_ptr<TFluxLecture> LectureDescripteur(int fd, const std::string& nom) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw EKOZException(MessageOuverture(nom, TexteErreur(errno)));
    return std::make_unique<TLecturePosix>(fd, nom, st, false);
}

std::unique_ptr<TFluxEcriture> EcritureDescripteur(int fd, const std::string& nom) {
    return std::make_unique<TEcriturePosix>(fd, nom, false, false);
}

TPlateforme& PlateformePosix() {
    static TPlateformePosix posix;
    return posix;
}
