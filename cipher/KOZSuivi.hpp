#pragma once
// What a caller may watch and stop of a long encryption or decryption.

#include <atomic>
#include <cstdint>
#include <functional>

struct TSuivi {
    // Called on the working thread after each buffer of plain bytes, with the
    // count done so far and the source's size (0 when unknown).
    std::function<void(uint64_t fait, uint64_t total)> Progression;
    // When it turns true, the work stops with an EKOZInterruption, leaving
    // the files as any other failure would: encryption before its next byte,
    // decryption before its next block or, in its vector loop, within the
    // next 4 KiB of encrypted bytes (well under a millisecond of work).
    const std::atomic<bool>* Arret = nullptr;
    // For a run over several files: called on the working thread as file
    // numero (from 1) of nombre begins.
    std::function<void(int numero, int nombre)> Fichier;

    bool ArretDemande() const { return Arret && Arret->load(std::memory_order_relaxed); }
};
