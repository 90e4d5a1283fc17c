// Every committed input of the fuzz targets, seeds and the inputs of faults
// once found, run again through the same checks.

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "fuzz/CiblesFuzz.hpp"
#include "tests/support/Fichiers.hpp"

namespace fs = std::filesystem;

namespace {

struct TCible {
    const char* Nom;
    std::string (*Essai)(const uint8_t*, size_t);
};

void PrintTo(const TCible& c, std::ostream* os) { *os << c.Nom; }

class RegressionsFuzz : public ::testing::TestWithParam<TCible> {};

TEST_P(RegressionsFuzz, EveryCommittedInputPassesItsChecks) {
    const TCible c = GetParam();
    size_t entrees = 0;
    for (const char* dossier : {"corpus", "regressions"}) {
        const fs::path d = fs::path(KOZ_DOSSIER_FUZZ) / dossier / c.Nom;
        if (!fs::is_directory(d)) continue;
        for (const auto& e : fs::directory_iterator(d)) {
            if (!e.is_regular_file()) continue;
            const std::string octets = LireFichier(e.path().string());
            EXPECT_EQ(c.Essai(reinterpret_cast<const uint8_t*>(octets.data()), octets.size()), "") << e.path();
            ++entrees;
        }
    }
    EXPECT_GE(entrees, 5u) << "the seed corpus of " << c.Nom << " is missing";
}

INSTANTIATE_TEST_SUITE_P(Cibles, RegressionsFuzz,
                         ::testing::Values(TCible{"etat", EssaiEtat}, TCible{"dechiffrement", EssaiDechiffrement},
                                           TCible{"noms", EssaiNoms}, TCible{"archive", EssaiArchive}, TCible{"journal", EssaiJournal}),
                         [](const auto& info) { return std::string(info.param.Nom); });

}  // namespace
