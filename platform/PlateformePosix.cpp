// The POSIX implementation of the platform layer.

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/LecturesSysteme.hpp"
#include "platform/Plateforme.hpp"
#include "platform/KOZErreur.hpp"

namespace {

class TLecturePosix : public TFluxLecture {
public:
    TLecturePosix(int fd, std::string nom, const struct stat& st)
        : Fd(fd), Nom(std::move(nom)), Id{uint64_t(st.st_dev), uint64_t(st.st_ino)}, Octets(uint64_t(st.st_size)) {}
    ~TLecturePosix() override { ::close(Fd); }

    size_t Lire(uint8_t* tampon, size_t n) override {
        for (;;) {
            const ssize_t k = ::read(Fd, tampon, n);
            if (k >= 0) return size_t(k);
            if (errno != EINTR) throw EKOZException(MessageLecture(Nom, TexteErreur(errno)));
        }
    }
    uint64_t Taille() const override { return Octets; }
    std::optional<TIdentiteFichier> Identite() const override { return Id; }

private:
    int Fd;
    std::string Nom;
    TIdentiteFichier Id;
    uint64_t Octets;
};

class TEcriturePosix : public TFluxEcriture {
public:
    TEcriturePosix(int fd, std::string nom, bool durable) : Fd(fd), Nom(std::move(nom)), Durable(durable) {}
    ~TEcriturePosix() override {
        if (Fd >= 0) ::close(Fd);
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
        }
    }

    void Fermer() override {
        if (Fd < 0) return;
        const int fd = Fd;
        Fd = -1;
        // Key files are forced to the disk: a key lost in a crash loses the data.
        if (Durable && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
            const int e = errno;
            ::close(fd);
            throw EKOZException(MessageEcriture(Nom, TexteErreur(e)));
        }
        if (::close(fd) != 0 && errno != EINTR) throw EKOZException(MessageEcriture(Nom, TexteErreur(errno)));
    }

private:
    int Fd;
    std::string Nom;
    bool Durable;
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
        return Normaliser(chemin, !nom.empty() && nom.back() == '/');
    }

    uint32_t Ticks() override {
        struct timespec ts;
        ::clock_gettime(CLOCK_MONOTONIC, &ts);
        return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
    }

    void ReleverSysteme(TPuitsReleves& g) override { ReleverSystemeLinux(g); }

private:
    // Removes ".", ".." and repeated "/" without touching the disk.
    static std::string Normaliser(const std::string& chemin, bool barreFinale) {
        std::vector<std::string> parties;
        size_t i = 0;
        while (i <= chemin.size()) {
            size_t j = chemin.find('/', i);
            if (j == std::string::npos) j = chemin.size();
            std::string partie = chemin.substr(i, j - i);
            if (partie == "..") {
                if (!parties.empty()) parties.pop_back();
            } else if (!partie.empty() && partie != ".") {
                parties.push_back(std::move(partie));
            }
            i = j + 1;
        }
        std::string resultat;
        for (const auto& p : parties) resultat += "/" + p;
        if (resultat.empty() || barreFinale) resultat += "/";
        return resultat;
    }
};

}  // namespace

TPlateforme& PlateformePosix() {
    static TPlateformePosix posix;
    return posix;
}
