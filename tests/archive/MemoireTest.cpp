// Memory stays bounded by the buffers and the names, whatever the number and
// size of the files: heap in use (glibc's own count, every arena) sampled
// after each piece while a folder of thousands of files and a large one goes
// through the writer, then through the extraction.

#include <gtest/gtest.h>

#include <malloc.h>

#include <filesystem>
#include <string>

#include "commande/KOZArchive.hpp"
#include "tests/archive/Outils.hpp"
#include "tests/support/Fichiers.hpp"

namespace fs = std::filesystem;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAllocateurRemplace = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAllocateurRemplace = true;
#else
constexpr bool kAllocateurRemplace = false;
#endif
#else
constexpr bool kAllocateurRemplace = false;
#endif

size_t TasUtilise() { return mallinfo2().uordblks; }

constexpr size_t kFichiers = 3000;
constexpr size_t kTailleFichier = 2000;
constexpr size_t kGros = 16 * 1024 * 1024;

class Memoire : public ::testing::Test {
protected:
    void SetUp() override {
        if (kAllocateurRemplace) GTEST_SKIP() << "the sanitizer's allocator keeps its own count";
        Source = T / "beaucoup";
        fs::create_directory(Source);
        for (size_t i = 0; i < kFichiers; ++i)
            EcrireFichier(Source + "/fichier-" + std::to_string(i), std::string(kTailleFichier, char('a' + i % 26)));
        EcrireFichier(Source + "/gros", OctetsAleatoires(kGros));
    }
    TRepertoireTemporaire T;
    std::string Source;
};

TEST_F(Memoire, TheWriterHoldsBuffersAndNamesOnly) {
    const size_t avant = TasUtilise();
    size_t pic = 0, total = 0;
    {
        TLectureArchive l(Source);
        uint8_t t[65536];
        while (size_t n = l.Lire(t, sizeof t)) {
            total += n;
            pic = std::max(pic, TasUtilise() - std::min(avant, TasUtilise()));
        }
        EXPECT_EQ(l.Entrees().size(), kFichiers + 2);
    }
    EXPECT_GT(total, kFichiers * kTailleFichier + kGros);
    // Two lists of 3,000 short names and two 64 KiB buffers: far below the 22 MiB archive.
    EXPECT_LT(pic, 2u * 1024 * 1024) << "peak heap growth";
}

TEST_F(Memoire, TheExtractionHoldsBuffersAndFolderListOnly) {
    TLectureArchive l(Source);
    const std::string cible = T / "cible";
    fs::create_directory(cible);
    // The archive is produced and extracted piece by piece: it never exists whole.
    const size_t avant = TasUtilise();
    size_t pic = 0;
    {
        TExtractionArchive x(cible);
        uint8_t t[65536];
        while (size_t n = l.Lire(t, sizeof t)) {
            x.Ecrire(t, n);
            pic = std::max(pic, TasUtilise() - std::min(avant, TasUtilise()));
        }
        x.Fermer();
    }
    EXPECT_LT(pic, 4u * 1024 * 1024) << "peak heap growth";
    EXPECT_EQ(Contenu(cible + "/beaucoup").size(), kFichiers + 1);
    EXPECT_EQ(fs::file_size(cible + "/beaucoup/gros"), kGros);
}

}  // namespace
