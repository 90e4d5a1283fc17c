// RandomBelow: one word per call, unsigned remainder, n clamped to 256.

#include <gtest/gtest.h>

#include "tests/support/Tirages.hpp"
#include "random/KOZTools.hpp"
#include "platform/Format.hpp"

namespace {

TEST(RandomBelow, RemainderIsUnsigned) {
    TTiragesScriptes t{0xF980F760u, 0xFFFFFFFFu};
    EXPECT_EQ(RandomBelow(13), 1) << "a signed remainder would give -8";
    EXPECT_EQ(RandomBelow(10), 5);
}

TEST(RandomBelow, ClampsAt256) {
    TTiragesScriptes t{0x1FFu, 0x1FFu, 0x1FFu};
    EXPECT_EQ(RandomBelow(300), 0xFF);
    EXPECT_EQ(RandomBelow(256), 0xFF);
    EXPECT_EQ(RandomBelow(257), 0xFF);
}

TEST(RandomBelow, OneWordPerCallWhateverN) {
    TTiragesScriptes t{7, 9, 0x12345678u};
    EXPECT_EQ(RandomBelow(1), 0);
    EXPECT_EQ(RandomBelow(256), 9);
    EXPECT_EQ(RandomBelow(256), 0x78) << "n = 256 gives the low byte";
    EXPECT_EQ(t.Tirages, 3u);
}

TEST(RandomBelow, DrawsFromGlobalRand) {
    GlobalRand->Clear();
    GlobalRand->Init();
    EXPECT_EQ(RandomBelow(256), 96);
    EXPECT_EQ(RandomBelow(256), 224);
    EXPECT_EQ(RandomBelow(14), 11);
    EXPECT_EQ(RandomBelow(13), 11);
    GlobalRand->Reseed();
}

TEST(KOZTools, FormatKeepsUtf8AndNumbers) {
    EXPECT_EQ(Format("Le fichier d'état \"%s\" : %d octets", "/tmp/é", -3), "Le fichier d'état \"/tmp/é\" : -3 octets");
    EXPECT_EQ(Format("%s", std::string(5000, 'x').c_str()).size(), 5000u);
}

}  // namespace
