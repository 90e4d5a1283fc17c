// A 5 GiB sparse source encrypted to a real file and read back: sizes,
// offsets and progress counts past the 4 GiB mark. Needs about 16 GiB of
// free disk in the temporary directory (skipped otherwise); label slow.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

#include "Outils.hpp"
#include "cipher/KOZChiffre.hpp"
#include "cipher/KOZDechiffre.hpp"
#include "commande/UKOZChiffre.hpp"
#include "platform/Format.hpp"

using namespace fiabilite;

namespace {

constexpr uint64_t kGio = uint64_t(1) << 30;
constexpr uint64_t kTaille = 5 * kGio;
constexpr uint64_t k4Gio = 4 * kGio;

// The few bytes that are not zero, around the 4 GiB mark and at both ends.
const std::map<uint64_t, uint8_t> kMarques = {
    {0, 1}, {k4Gio - 1, 2}, {k4Gio, 3}, {k4Gio + 1, 4}, {kTaille - 1, 5}};

// A stream with one more byte after the file's end: the decryption meets it
// at an offset past 4 GiB, where it cannot be a whole block.
class TOctetDeTrop : public TFluxLecture {
public:
    explicit TOctetDeTrop(std::unique_ptr<TFluxLecture> f) : F(std::move(f)) {}
    size_t Lire(uint8_t* tampon, size_t n) override {
        const size_t k = F->Lire(tampon, n);
        if (k || Donne) return k;
        Donne = true;
        tampon[0] = 0;
        return 1;
    }
    uint64_t Taille() const override { return F->Taille() + 1; }

private:
    std::unique_ptr<TFluxLecture> F;
    bool Donne = false;
};

// Counts the plain bytes and checks each one against the source's.
class TVerificateur : public TFluxEcriture {
public:
    void Ecrire(const uint8_t* tampon, size_t n) override {
        const uint64_t debut = Compte;
        const uint8_t* p = tampon;
        const uint8_t* fin = tampon + n;
        while ((p = std::find_if(p, fin, [](uint8_t c) { return c != 0; })) != fin) {
            const uint64_t ou = debut + uint64_t(p - tampon);
            const auto m = kMarques.find(ou);
            if (m == kMarques.end() || m->second != *p) ++Fausses;
            else ++Marques;
            ++p;
        }
        for (const auto& [ou, v] : kMarques)
            if (ou >= debut && ou < debut + n && tampon[ou - debut] != v) ++Fausses;
        Compte += n;
    }
    uint64_t Compte = 0;
    uint64_t Fausses = 0;
    uint64_t Marques = 0;
};

TEST(GrosFichier, FiveGibibytesCrossTheFourGibibyteMark) {
    TRepertoireTemporaire T;
    struct statvfs vfs;
    ASSERT_EQ(::statvfs(T.Chemin.c_str(), &vfs), 0);
    if (uint64_t(vfs.f_bavail) * vfs.f_frsize < 16 * kGio + kTaille / 2) GTEST_SKIP() << "not enough free disk";

    const std::string source = T / "gros", chiffre = T / "gros.KOZ";
    {
        const int fd = ::open(source.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t(kTaille)), 0);
        for (const auto& [ou, v] : kMarques) ASSERT_EQ(::pwrite(fd, &v, 1, off_t(ou)), 1);
        ASSERT_EQ(::close(fd), 0);
    }

    uint64_t dernier = 0, appels = 0;
    bool ordre = true, total = true;
    TSuivi suivi;
    suivi.Progression = [&](uint64_t fait, uint64_t t) {
        ordre &= fait > dernier;
        total &= t == kTaille;
        dernier = fait;
        ++appels;
    };
    LancerChiffrement(source, chiffre, "", false, &suivi);
    std::filesystem::remove(source);
    EXPECT_TRUE(ordre);
    EXPECT_TRUE(total);
    EXPECT_EQ(dernier, kTaille);
    EXPECT_GE(appels, kTaille / kTailleTamponClair);
    const uint64_t taille = std::filesystem::file_size(chiffre);
    EXPECT_GE(taille, 2 * kTaille);
    EXPECT_LE(taille, 4 * kTaille);

    TKOZDechiffre d(T.Dir(), "DEBUT");
    TOctetDeTrop lecture(PlateformePosix().OuvrirLecture(chiffre));
    TVerificateur clair;
    uint64_t lu = 0;
    bool totalChiffre = true;
    suivi.Progression = [&](uint64_t fait, uint64_t t) {
        totalChiffre &= t == taille + 1;
        lu = fait;
    };
    // The last byte, alone, is the only invalid block: its offset is the file's size.
    EXPECT_EQ(MessageLeve([&] { d.DechiffrerFlux(lecture, clair, chiffre, &suivi); }),
              Format("Le fichier chiffré \"%s\" est invalide à l'octet %llu", chiffre.c_str(),
                     (unsigned long long)taille));
    EXPECT_EQ(clair.Compte, kTaille);
    EXPECT_EQ(clair.Fausses, 0u);
    EXPECT_EQ(clair.Marques, kMarques.size());
    EXPECT_EQ(lu, taille);
    EXPECT_TRUE(totalChiffre);

    TKOZGrille fin;
    fin.Charger(T.Dir(), "FIN-CHIFFRE");
    EXPECT_TRUE(EtatsEgaux(d, fin));
}

}  // namespace
