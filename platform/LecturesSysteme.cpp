#include "platform/LecturesSysteme.hpp"

#include <malloc.h>
#include <pthread.h>
#include <cstring>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <time.h>
#include <unistd.h>

#include "platform/Plateforme.hpp"
#include "platform/PuitsReleves.hpp"

namespace {

// A record read straight into a zeroed buffer, added, then wiped by AddBuffer.
template <typename T>
void AjouterRecord(TPuitsReleves& g, T& record) {
    g.AddBuffer(&record, int32_t(sizeof record));
}

void AjouterHorloge(TPuitsReleves& g, clockid_t horloge) {
    struct timespec ts {};
    ::clock_gettime(horloge, &ts);
    AjouterRecord(g, ts);
}

// Each 32-bit value is wiped once it is in the pool, like the records.
void AjouterLong(TPuitsReleves& g, uint32_t v) {
    g.AddLong(v);
    explicit_bzero(&v, sizeof v);
}

constexpr int32_t kTailleAllocateur = 10 * 4;

}  // namespace

const int32_t kOctetsRelevesComplets =
    10 * 4                          // identifiers, tick, stack address
    + 1                             // the one flag
    + 5 * int32_t(sizeof(struct timespec))
    + 2 * int32_t(sizeof(struct rusage))
    + int32_t(sizeof(struct sysinfo))
    + 2 * 4 + kTailleAllocateur     // allocator figures and record
    + 8                             // raw monotonic counter
    + 5 * 4                         // disk figures
    + 64;                           // kernel random source

void ReleverSystemeLinux(TPuitsReleves& g) {
    AjouterLong(g, uint32_t(::getpid()));
    AjouterLong(g, uint32_t(::getppid()));
    AjouterLong(g, uint32_t(::gettid()));
    AjouterLong(g, uint32_t(::getsid(0)));
    AjouterLong(g, uint32_t(::getpgrp()));
    AjouterLong(g, uint32_t(::getuid()));
    AjouterLong(g, uint32_t(uintptr_t(::pthread_self())));
    AjouterLong(g, Plateforme().Ticks());
    int repere = 0;
    AjouterLong(g, uint32_t(uintptr_t(&repere)));  // where the stack lies this run
    AjouterLong(g, uint32_t(uintptr_t(&g)));
    g.AddByte(uint8_t(::isatty(0) != 0));

    AjouterHorloge(g, CLOCK_REALTIME);
    AjouterHorloge(g, CLOCK_MONOTONIC);
    AjouterHorloge(g, CLOCK_BOOTTIME);
    AjouterHorloge(g, CLOCK_PROCESS_CPUTIME_ID);
    AjouterHorloge(g, CLOCK_THREAD_CPUTIME_ID);

    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    AjouterRecord(g, usage);
    ::getrusage(RUSAGE_THREAD, &usage);
    AjouterRecord(g, usage);

    struct sysinfo info {};
    ::sysinfo(&info);
    AjouterRecord(g, info);

    struct mallinfo2 m = ::mallinfo2();
    AjouterLong(g, uint32_t(m.ordblks + m.smblks + m.hblks));
    AjouterLong(g, uint32_t(m.uordblks + m.hblkhd));
    uint32_t allocateur[10] = {uint32_t(m.arena),    uint32_t(m.ordblks),  uint32_t(m.smblks), uint32_t(m.hblks),
                               uint32_t(m.hblkhd),   uint32_t(m.usmblks),  uint32_t(m.fsmblks),
                               uint32_t(m.uordblks), uint32_t(m.fordblks), uint32_t(m.keepcost)};
    static_assert(sizeof allocateur == kTailleAllocateur);
    AjouterRecord(g, allocateur);
    explicit_bzero(&m, sizeof m);

    // The conditional readings: a failed call adds nothing.
    struct timespec brut {};
    if (::clock_gettime(CLOCK_MONOTONIC_RAW, &brut) == 0) {
        uint64_t compte = uint64_t(brut.tv_sec) * 1000000000u + uint64_t(brut.tv_nsec);
        AjouterRecord(g, compte);
    }
    explicit_bzero(&brut, sizeof brut);

    struct statvfs disque {};
    if (::statvfs("/", &disque) == 0) {
        const uint32_t tailleBloc = uint32_t(disque.f_frsize);
        const uint32_t blocsLibres = uint32_t(disque.f_bavail);
        AjouterLong(g, uint32_t(disque.f_bsize));
        AjouterLong(g, tailleBloc);
        AjouterLong(g, blocsLibres);
        AjouterLong(g, uint32_t(disque.f_blocks));
        AjouterLong(g, blocsLibres * tailleBloc);  // free bytes, in 32 bits
    }
    explicit_bzero(&disque, sizeof disque);

    // The readings above are largely guessable; the kernel's random source is not.
    uint8_t noyau[64];
    if (::getrandom(noyau, sizeof noyau, 0) == ssize_t(sizeof noyau)) AjouterRecord(g, noyau);
    explicit_bzero(noyau, sizeof noyau);
}
