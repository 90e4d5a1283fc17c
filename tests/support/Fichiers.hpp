#pragma once
// Temporary directories and small file helpers for tests.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>

#include <stdlib.h>

class TRepertoireTemporaire {
public:
    TRepertoireTemporaire() {
        std::string modele = (std::filesystem::temp_directory_path() / "koz-test-XXXXXX").string();
        Chemin = ::mkdtemp(modele.data());
    }
    ~TRepertoireTemporaire() {
        std::error_code e;
        std::filesystem::remove_all(Chemin, e);
    }
    // The directory with its final "/".
    std::string Dir() const { return Chemin.string() + "/"; }
    std::string operator/(const std::string& nom) const { return (Chemin / nom).string(); }

    std::filesystem::path Chemin;
};

inline std::string LireFichier(const std::string& nom) {
    std::ifstream f(nom, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

inline void EcrireFichier(const std::string& nom, const std::string& contenu) {
    std::ofstream f(nom, std::ios::binary | std::ios::trunc);
    f.write(contenu.data(), std::streamsize(contenu.size()));
}

inline std::string OctetsAleatoires(size_t n, uint32_t graine = 1234) {
    std::mt19937 g(graine);
    std::string s(n, '\0');
    for (auto& c : s) c = char(g() & 0xFF);
    return s;
}

// The names in dir, directories included.
inline std::set<std::string> Contenu(const std::filesystem::path& dir) {
    std::set<std::string> noms;
    for (const auto& e : std::filesystem::directory_iterator(dir)) noms.insert(e.path().filename().string());
    return noms;
}

// noms with the three files of the trio base added.
inline std::set<std::string> AvecTrio(std::set<std::string> noms, const std::string& base) {
    for (const char* ext : {".KGR", ".KEC", ".KPR"}) noms.insert(base + ext);
    return noms;
}
