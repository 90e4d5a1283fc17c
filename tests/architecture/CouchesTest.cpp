// The folders are layers, and an #include only points down or sideways
// within its own folder:
//
//   platform            files, clocks, system readings, the error type
//   random              the generator and the shared draws
//   state               the grid, its tables and the state files
//   cipher              encryption and decryption
//   commande            the operations the windows and koz share (no Qt)
//   tests/support       the shared test library
//   ui  cli  bench  fuzz   the programs; none includes another
//   tests               may include anything
//
// Each layer may include the layers below it. This test reads every source
// file and names the file and line of any include that breaks the rule.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kRacine = KOZ_SOURCES;

// What each folder may include, besides itself.
const std::map<std::string, std::set<std::string>> kPermis = {
    {"platform", {}},
    {"random", {"platform"}},
    {"state", {"platform", "random"}},
    {"cipher", {"platform", "random", "state"}},
    {"commande", {"platform", "random", "state", "cipher"}},
    {"tests/support", {"platform", "random", "state", "cipher", "commande"}},
    {"ui", {"platform", "random", "state", "cipher", "commande"}},
    {"cli", {"platform", "random", "state", "cipher", "commande"}},
    {"bench", {"platform", "random", "state", "cipher", "commande", "tests/support"}},
    {"fuzz", {"platform", "random", "state", "cipher", "commande", "tests/support"}},
    {"tests", {"platform", "random", "state", "cipher", "commande", "tests/support", "ui", "cli", "fuzz", "bench"}},
};

// The layer a path (relative to the source root) belongs to, or "" for none.
std::string Couche(const fs::path& relatif) {
    const std::string s = relatif.generic_string();
    if (s.rfind("tests/support/", 0) == 0) return "tests/support";
    const std::string premier = s.substr(0, s.find('/'));
    if (s.find('/') == std::string::npos) return "";
    return kPermis.count(premier) ? premier : "";
}

// The file an include names: a relative spelling is looked up beside the
// including file first, as the compiler does; otherwise from the source root.
fs::path Cible(const fs::path& fichier, const std::string& inclus) {
    const fs::path voisin = (fichier.parent_path() / inclus).lexically_normal();
    if (fs::exists(voisin)) return voisin;
    return (kRacine / inclus).lexically_normal();
}

struct TInclusion {
    fs::path Fichier;
    int Ligne;
    std::string Texte;
    std::string Cible;
};

std::vector<TInclusion> Inclusions() {
    static const std::regex kInclude(R"(^\s*#\s*include\s*"([^"]+)\")");
    std::vector<TInclusion> resultat;
    for (const char* dossier : {"platform", "random", "state", "cipher", "commande", "ui", "cli", "bench", "fuzz", "tests"}) {
        for (const auto& e : fs::recursive_directory_iterator(kRacine / dossier)) {
            const auto ext = e.path().extension();
            if (!e.is_regular_file() || (ext != ".cpp" && ext != ".hpp" && ext != ".h")) continue;
            std::ifstream f(e.path());
            std::string ligne;
            int n = 0;
            while (std::getline(f, ligne)) {
                ++n;
                std::smatch m;
                if (!std::regex_search(ligne, m, kInclude)) continue;
                const fs::path cible = Cible(e.path(), m[1].str());
                resultat.push_back({e.path(), n, ligne, fs::relative(cible, kRacine).generic_string()});
            }
        }
    }
    return resultat;
}

// The violations among includes, one text each: "file:line: include (from → to)".
std::vector<std::string> Violations(const std::vector<TInclusion>& inclusions) {
    std::vector<std::string> fautes;
    for (const auto& i : inclusions) {
        const std::string de = Couche(fs::relative(i.Fichier, kRacine));
        const std::string vers = Couche(i.Cible);
        if (de.empty() || vers.empty() || de == vers) continue;
        // A test folder may include anything; its own helpers count as "tests".
        if (!kPermis.at(de).count(vers))
            fautes.push_back(fs::relative(i.Fichier, kRacine).generic_string() + ":" + std::to_string(i.Ligne) +
                             ": " + i.Texte + " (" + de + " -> " + vers + ")");
    }
    return fautes;
}

TEST(Couches, NoIncludePointsUpOrAcross) {
    const auto inclusions = Inclusions();
    ASSERT_GT(inclusions.size(), 100u) << "the sources were not found under " << kRacine;
    std::string texte;
    for (const auto& f : Violations(inclusions)) texte += f + "\n";
    EXPECT_TRUE(texte.empty()) << "includes against the layering:\n" << texte;
}

TEST(Couches, EveryProjectIncludeNamesAnExistingFile) {
    std::string texte;
    for (const auto& i : Inclusions()) {
        // Files that Qt's moc generates are in the build tree only.
        const std::string ext = fs::path(i.Cible).extension().string();
        if (ext == ".moc" || fs::path(i.Cible).filename().string().rfind("moc_", 0) == 0) continue;
        if (!fs::exists(kRacine / i.Cible))
            texte += fs::relative(i.Fichier, kRacine).generic_string() + ":" + std::to_string(i.Ligne) + ": " + i.Texte + "\n";
    }
    EXPECT_TRUE(texte.empty()) << "includes of missing files:\n" << texte;
}

// The rule itself, on planted includes: a lower layer reaching up, two
// programs reaching across, and the allowed directions.
TEST(Couches, TheRuleRejectsUpwardAndSidewaysIncludes) {
    auto une = [](const char* fichier, const char* cible) {
        return Violations({{kRacine / fichier, 7, "#include \"x\"", cible}});
    };
    EXPECT_EQ(une("platform/Plateforme.cpp", "random/IARand.hpp").size(), 1u);
    EXPECT_EQ(une("cipher/KOZChiffre.cpp", "commande/UKOZChiffre.hpp").size(), 1u);
    EXPECT_EQ(une("cli/koz.cpp", "ui/FenetreKOZ.hpp").size(), 1u);
    EXPECT_EQ(une("commande/UKOZChiffre.cpp", "ui/FenetreKOZ.hpp").size(), 1u);
    EXPECT_EQ(une("fuzz/CiblesFuzz.cpp", "ui/NomFichier.hpp").size(), 1u);
    EXPECT_EQ(une("tests/support/Tirages.hpp", "cli/Aide.hpp").size(), 1u);
    EXPECT_EQ(une("cipher/KOZChiffre.cpp", "state/KOZGrille.hpp").size(), 0u);
    EXPECT_EQ(une("fuzz/CiblesFuzz.cpp", "tests/support/PlateformeMemoire.hpp").size(), 0u);
    EXPECT_EQ(une("tests/cli/KozTest.cpp", "cli/Aide.hpp").size(), 0u);
    const auto texte = une("state/KOZGrille.cpp", "cipher/KOZChiffre.hpp");
    ASSERT_EQ(texte.size(), 1u);
    EXPECT_EQ(texte[0], "state/KOZGrille.cpp:7: #include \"x\" (state -> cipher)");
}

}  // namespace
