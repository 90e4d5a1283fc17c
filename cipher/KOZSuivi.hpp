#pragma once
// What a caller may watch and stop of a long encryption or decryption.

#include <atomic>
#include <cstdint>
#include <functional>

struct TSuivi {
    // Called on the working thread after each buffer of plain bytes, with the
    // count done so far and the source's size (0 when unknown).
    std::function<void(uint64_t fait, uint64_t total)> Progression;
    // When it turns true, the work stops before the next byte with an
    // EKOZInterruption, leaving the files as any other failure would.
    const std::atomic<bool>* Arret = nullptr;

    bool ArretDemande() const { return Arret && Arret->load(std::memory_order_relaxed); }
};
