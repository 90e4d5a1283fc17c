#pragma once
// Runs the koz binary as a user would: in a given directory, with the C
// locale, stdout and stderr captured, and stderr optionally on a terminal.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/Fichiers.hpp"

struct TResultat {
    int Code = -1;  // the exit status, or 128 + the signal that ended it
    std::string Sortie;
    std::string Erreur;
};

struct TOptionsLancement {
    bool ErreurSurTerminal = false;
    // The file standard input reads (/dev/null when empty).
    std::string Entree;
    // Called in the parent once the child runs; may signal it.
    std::function<void(pid_t)> Pendant;
    // Runs the child with a /dev of its own (root only: a mount namespace),
    // holding null and the standard stream links: a run that wrongly
    // replaced one of them damages nothing outside the child. Exit 125 when
    // that /dev cannot be made.
    bool DevPrive = false;
    // When not 0, the child runs as this user and group (root only).
    uid_t Utilisateur = 0;
};

// Gives the calling process a fresh /dev of its own; false when it cannot.
inline bool DevPrive() {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", "/dev", "tmpfs", 0, "size=1m,mode=755") != 0)
        return false;
    return ::mknod("/dev/null", S_IFCHR | 0666, ::makedev(1, 3)) == 0 && ::chmod("/dev/null", 0666) == 0 &&
           ::symlink("/proc/self/fd/0", "/dev/stdin") == 0 && ::symlink("/proc/self/fd/1", "/dev/stdout") == 0 &&
           ::symlink("/proc/self/fd/2", "/dev/stderr") == 0;
}

inline TResultat LancerKoz(const std::vector<std::string>& args, const std::string& repertoire,
                           const TOptionsLancement& options = {}) {
    TRepertoireTemporaire captures;
    const std::string sortie = captures / "stdout", erreur = captures / "stderr";
    int maitre = -1, esclave = -1;
    if (options.ErreurSurTerminal && ::openpty(&maitre, &esclave, nullptr, nullptr, nullptr) != 0) return {};

    std::vector<std::string> tout{KOZ_BINAIRE};
    tout.insert(tout.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : tout) argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(repertoire.c_str()) != 0) ::_exit(126);
        const int in = ::open(options.Entree.empty() ? "/dev/null" : options.Entree.c_str(), O_RDONLY);
        const int out = ::open(sortie.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = options.ErreurSurTerminal ? esclave : ::open(erreur.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (maitre >= 0) ::close(maitre);
        ::signal(SIGINT, SIG_DFL);
        sigset_t aucun;
        sigemptyset(&aucun);
        ::sigprocmask(SIG_SETMASK, &aucun, nullptr);
        ::setenv("LC_ALL", "C", 1);
        if (options.DevPrive && !DevPrive()) ::_exit(125);
        if (options.Utilisateur &&
            (::setgroups(0, nullptr) != 0 || ::setgid(options.Utilisateur) != 0 || ::setuid(options.Utilisateur) != 0))
            ::_exit(125);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    TResultat r;
    if (pid < 0) return r;
    if (esclave >= 0) ::close(esclave);
    if (options.Pendant) options.Pendant(pid);

    int statut = 0;
    if (maitre >= 0) {
        // Drained while the child runs, so that it never blocks on a full terminal.
        char tampon[4096];
        for (;;) {
            const ssize_t k = ::read(maitre, tampon, sizeof tampon);
            if (k > 0) {
                r.Erreur.append(tampon, size_t(k));
                continue;
            }
            if (k < 0 && errno == EINTR) continue;
            break;  // EIO once the child has closed its side
        }
        ::close(maitre);
    }
    while (::waitpid(pid, &statut, 0) < 0 && errno == EINTR) {
    }
    r.Code = WIFEXITED(statut) ? WEXITSTATUS(statut) : 128 + WTERMSIG(statut);
    r.Sortie = LireFichier(sortie);
    if (!options.ErreurSurTerminal) r.Erreur = LireFichier(erreur);
    return r;
}

// A temporary folder in which koz runs, for the command-line tests' fixtures.
struct TDossierKoz {
    TResultat Koz_(const std::vector<std::string>& args, const TOptionsLancement& o = {}) {
        return LancerKoz(args, T.Chemin.string(), o);
    }
    // Writes contenu to the file nom of the folder; returns its path.
    std::string Ecrire(const std::string& nom, const std::string& contenu) {
        EcrireFichier(T / nom, contenu);
        return T / nom;
    }
    TRepertoireTemporaire T;
};
