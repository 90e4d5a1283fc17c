// libFuzzer entry: every input goes through EssaiNoms; a property that fails aborts.
#include <cstdio>
#include <cstdlib>

#include "fuzz/CiblesFuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* octets, size_t taille) {
    const std::string echec = EssaiNoms(octets, taille);
    if (!echec.empty()) {
        std::fprintf(stderr, "EssaiNoms : %s\n", echec.c_str());
        std::abort();
    }
    return 0;
}
