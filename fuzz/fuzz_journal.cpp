// libFuzzer entry: every input goes through EssaiJournal as a journal; a property that fails aborts.
#include <cstdio>
#include <cstdlib>

#include "fuzz/CiblesFuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* octets, size_t taille) {
    const std::string echec = EssaiJournal(octets, taille);
    if (!echec.empty()) {
        std::fprintf(stderr, "EssaiJournal : %s\n", echec.c_str());
        std::abort();
    }
    return 0;
}
