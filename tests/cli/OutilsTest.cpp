// The command line's helpers on their own: the progress line (drawing,
// throttle, erasure) and the French texts of the argument parser.

#include <gtest/gtest.h>

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "cli/Aide.hpp"
#include "cli/Progression.hpp"

namespace {

struct TEcran {
    std::vector<std::string> Ecrits;
    double Maintenant = 100.0;
    TLigneProgression::TSortie Sortie() {
        return [this](const std::string& s) { Ecrits.push_back(s); };
    }
    TLigneProgression::THorloge Horloge() {
        return [this] { return Maintenant; };
    }
    std::string Tout() const {
        std::string t;
        for (const auto& e : Ecrits) t += e;
        return t;
    }
};

constexpr uint64_t kMo = 1000000;

TEST(LigneProgression, TextShowsPercentBytesAndRateWithADecimalComma) {
    EXPECT_EQ(TLigneProgression::Texte(12'300'000, 29'400'000, 12'300'000, 1.5), " 41 %  12,3 Mo / 29,4 Mo  8,2 Mo/s");
    EXPECT_EQ(TLigneProgression::Texte(0, 2 * kMo, 0, 0.0), "  0 %  0,0 Mo / 2,0 Mo  0,0 Mo/s");
    EXPECT_EQ(TLigneProgression::Texte(2 * kMo, 2 * kMo, 6 * kMo, 2.0), "100 %  2,0 Mo / 2,0 Mo  3,0 Mo/s");
}

TEST(LigneProgression, DrawsInPlaceAtMostTenTimesASecondAndErasesAtTheEnd) {
    TEcran ecran;
    {
        TLigneProgression ligne(true, ecran.Sortie(), ecran.Horloge());
        ecran.Maintenant += 0.5;
        ligne.Avancer(1 * kMo, 4 * kMo);
        ASSERT_EQ(ecran.Ecrits.size(), 1u);
        EXPECT_EQ(ecran.Ecrits[0], "\r 25 %  1,0 Mo / 4,0 Mo  2,0 Mo/s");
        // Reports within a tenth of a second of the last drawing draw nothing.
        for (int i = 1; i <= 9; ++i) {
            ecran.Maintenant += 0.01;
            ligne.Avancer(1 * kMo + uint64_t(i) * 1000, 4 * kMo);
        }
        EXPECT_EQ(ecran.Ecrits.size(), 1u);
        ecran.Maintenant += 0.02;
        ligne.Avancer(2 * kMo, 4 * kMo);
        ASSERT_EQ(ecran.Ecrits.size(), 2u);
        EXPECT_EQ(ecran.Ecrits[1].substr(0, 6), "\r 50 %");
    }
    // The destructor clears as many columns as the widest line.
    const std::string largeur = TLigneProgression::Texte(1 * kMo, 4 * kMo, 1 * kMo, 0.5);
    ASSERT_EQ(ecran.Ecrits.size(), 3u);
    EXPECT_EQ(ecran.Ecrits[2], "\r" + std::string(largeur.size(), ' ') + "\r");
}

TEST(LigneProgression, AShorterLineCoversTheEndOfTheLongerOne) {
    TEcran ecran;
    TLigneProgression ligne(true, ecran.Sortie(), ecran.Horloge());
    ecran.Maintenant += 0.001;  // a very high rate: a long line
    ligne.Avancer(9 * kMo, 10 * kMo);
    ecran.Maintenant += 100.0;  // then a low one
    ligne.Avancer(10 * kMo, 10 * kMo);
    ASSERT_EQ(ecran.Ecrits.size(), 2u);
    EXPECT_GT(ecran.Ecrits[0].size(), TLigneProgression::Texte(10 * kMo, 10 * kMo, 10 * kMo, 100.0).size() + 1);
    EXPECT_EQ(ecran.Ecrits[1].size(), ecran.Ecrits[0].size());
    EXPECT_EQ(ecran.Ecrits[1].back(), ' ');
}

TEST(LigneProgression, NothingForSmallFilesOrWhenInactive) {
    TEcran ecran;
    {
        TLigneProgression petite(true, ecran.Sortie(), ecran.Horloge());
        ecran.Maintenant += 1;
        petite.Avancer(1000, TLigneProgression::kSeuil - 1);
        petite.Effacer();
        TLigneProgression inactive(false, ecran.Sortie(), ecran.Horloge());
        inactive.Avancer(1 * kMo, 100 * kMo);
    }
    EXPECT_TRUE(ecran.Ecrits.empty()) << ecran.Tout();
}

TEST(LigneProgression, EraseOnlyOnceAndDrawAgainAfterwards) {
    TEcran ecran;
    TLigneProgression ligne(true, ecran.Sortie(), ecran.Horloge());
    ligne.Avancer(1 * kMo, 2 * kMo);
    ligne.Effacer();
    ligne.Effacer();
    EXPECT_EQ(ecran.Ecrits.size(), 2u);
    ecran.Maintenant += 1;
    ligne.Avancer(2 * kMo, 2 * kMo);
    EXPECT_EQ(ecran.Ecrits.size(), 3u);
}

TEST(LigneProgression, RateOfAChainCountsTheEarlierFiles) {
    TEcran ecran;
    TLigneProgression ligne(true, ecran.Sortie(), ecran.Horloge());
    ecran.Maintenant += 1;
    ligne.Avancer(2 * kMo, 2 * kMo);
    // The next file starts again from a low count: the rate covers 2 + 1 Mo in 2 s.
    ecran.Maintenant += 1;
    ligne.Avancer(1 * kMo, 4 * kMo);
    ASSERT_EQ(ecran.Ecrits.size(), 2u);
    EXPECT_EQ(ecran.Ecrits[1].substr(0, ecran.Ecrits[1].find_last_not_of(' ') + 1),
              "\r 25 %  1,0 Mo / 4,0 Mo  1,5 Mo/s");
}

// The parser's errors, raised by parsing a small command like koz's.
std::string ErreurDe(std::vector<std::string> args) {
    CLI::App app{"", "koz"};
    app.require_subcommand(1);
    auto* c = app.add_subcommand("chiffrer");
    std::string source, sortie;
    bool securise = false;
    c->add_option("SOURCE", source)->required();
    c->add_option("-o,--sortie", sortie);
    c->add_flag("-s,--securise", securise);
    std::vector<const char*> argv{"koz"};
    for (const auto& a : args) argv.push_back(a.c_str());
    try {
        app.parse(int(argv.size()), const_cast<char**>(argv.data()));
    } catch (const CLI::ParseError& e) {
        return TraduireErreur(e);
    }
    return "(pas d'erreur)";
}

TEST(Aide, ParserErrorsInFrench) {
    EXPECT_EQ(ErreurDe({}), "une commande est attendue");
    EXPECT_EQ(ErreurDe({"chiffrer"}), "SOURCE est obligatoire");
    EXPECT_EQ(ErreurDe({"chiffrer", "a", "b"}), "argument inattendu : b");
    EXPECT_EQ(ErreurDe({"chiffrer", "a", "b", "c"}), "arguments inattendus : b c");
    EXPECT_EQ(ErreurDe({"chiffrer", "a", "-o"}), "--sortie : valeur manquante");
    EXPECT_EQ(ErreurDe({"chiffrer", "a", "--securise=peut-être"}), "valeur refusée pour --securise : peut-être");
    EXPECT_EQ(ErreurDe({"chiffrer", "a", "-o", "x"}), "(pas d'erreur)");
}

TEST(Aide, UnknownTextsPassThrough) {
    EXPECT_EQ(TraduireErreur(CLI::ValidationError("quelque chose d'autre")), "quelque chose d'autre");
}

TEST(Aide, HelpLabelsAreFrench) {
    CLI::App app{"Description", "koz"};
    app.formatter(FormateurFrancais());
    std::string source;
    app.add_option("SOURCE", source, "Fichier")->required();
    const std::string aide = app.help();
    EXPECT_NE(aide.find("Utilisation : koz [OPTIONS] SOURCE"), std::string::npos) << aide;
    EXPECT_NE(aide.find("Arguments:"), std::string::npos) << aide;
    EXPECT_NE(aide.find("(obligatoire)"), std::string::npos) << aide;
    EXPECT_EQ(aide.find("Usage"), std::string::npos) << aide;
    EXPECT_EQ(aide.find("REQUIRED"), std::string::npos) << aide;
}

TEST(Aide, CrLfBecomesLfOnly) {
    EXPECT_EQ(LignesUnix("La grille n'est plus valide\r\n\r\nManquent = 01\r\nDoublons = 00"),
              "La grille n'est plus valide\n\nManquent = 01\nDoublons = 00");
    EXPECT_EQ(LignesUnix("a\rb\n\r"), "a\rb\n\r");
}

}  // namespace

TEST(LigneProgression, ARunOverSeveralFilesSaysWhichOne) {
    TEcran ecran;
    TLigneProgression ligne(true, ecran.Sortie(), ecran.Horloge());
    ligne.Fichier(2, 3);
    ecran.Maintenant += 0.5;
    ligne.Avancer(1 * kMo, 4 * kMo);
    ASSERT_EQ(ecran.Ecrits.size(), 1u);
    EXPECT_EQ(ecran.Ecrits[0], "\rfichier 2/3   25 %  1,0 Mo / 4,0 Mo  2,0 Mo/s");
    // One file says nothing more.
    ligne.Fichier(1, 1);
    ecran.Maintenant += 0.5;
    ligne.Avancer(2 * kMo, 4 * kMo);
    ASSERT_EQ(ecran.Ecrits.size(), 2u);
    EXPECT_EQ(ecran.Ecrits[1].substr(0, 7), "\r 50 % ");
}
