#pragma once
// The Linux readings that seed the generator: process, thread and session
// identifiers, clocks, resource usage, memory, disk and allocator figures, a
// raw counter, and 64 bytes of the kernel's random source. They enter the
// pool in a fixed order; each buffer is wiped once it is in the pool.

#include <cstdint>

#include "platform/PuitsReleves.hpp"

// Bytes one gathering adds when every conditional reading succeeds.
extern const int32_t kOctetsRelevesComplets;

void ReleverSystemeLinux(TPuitsReleves& g);
