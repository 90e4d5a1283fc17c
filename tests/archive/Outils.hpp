#pragma once
// Helpers of the archive tests: archives made entry by entry with
// libarchive's own writer (hostile ones included), a whole archive read from
// a TLectureArchive, extraction of bytes in pieces, and a folder described
// as text for comparisons.

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "commande/KOZArchive.hpp"
#include "platform/KOZErreur.hpp"

struct TEntreeTest {
    std::string Nom;
    mode_t Type = AE_IFREG;
    std::string Contenu;   // a regular file's bytes
    std::string Lien;      // a symbolic link's target
    std::string Physique;  // when set: a hard link to this stored name
    mode_t Mode = 0644;
    std::string Proprietaire = "test";
};

inline TEntreeTest Fichier(const std::string& nom, const std::string& contenu = "abc", mode_t mode = 0644) {
    return {nom, AE_IFREG, contenu, {}, {}, mode};
}
inline TEntreeTest Dossier(const std::string& nom, mode_t mode = 0755) { return {nom, AE_IFDIR, {}, {}, {}, mode}; }
inline TEntreeTest Symbolique(const std::string& nom, const std::string& cible) {
    return {nom, AE_IFLNK, {}, cible, {}, 0777};
}
inline TEntreeTest Physique(const std::string& nom, const std::string& cible) {
    return {nom, AE_IFREG, {}, {}, cible, 0644};
}
inline TEntreeTest Special(const std::string& nom, mode_t type) { return {nom, type, {}, {}, {}, 0644}; }

// The bytes of a pax archive holding the entries as given, unchecked.
inline std::string ArchiveDe(const std::vector<TEntreeTest>& entrees) {
    std::string sortie;
    archive* a = archive_write_new();
    archive_write_set_format_pax_restricted(a);
    archive_write_set_format_option(a, "pax", "hdrcharset", "BINARY");
    archive_write_set_bytes_in_last_block(a, 1);
    auto ecrire = [](archive*, void* client, const void* octets, size_t n) -> la_ssize_t {
        static_cast<std::string*>(client)->append(static_cast<const char*>(octets), n);
        return la_ssize_t(n);
    };
    if (archive_write_open(a, &sortie, nullptr, ecrire, nullptr) != ARCHIVE_OK)
        throw std::runtime_error("archive_write_open");
    for (const auto& t : entrees) {
        archive_entry* e = archive_entry_new();
        archive_entry_copy_pathname(e, t.Nom.c_str());
        archive_entry_set_filetype(e, t.Type);
        archive_entry_set_perm(e, t.Mode);
        archive_entry_set_mtime(e, 1700000000, 0);
        archive_entry_copy_uname(e, t.Proprietaire.c_str());
        if (t.Type == AE_IFCHR || t.Type == AE_IFBLK) archive_entry_set_rdev(e, makedev(1, 3));
        if (!t.Physique.empty()) {
            archive_entry_copy_hardlink(e, t.Physique.c_str());
            archive_entry_set_size(e, 0);
        } else {
            archive_entry_set_size(e, t.Type == AE_IFREG ? la_int64_t(t.Contenu.size()) : 0);
        }
        if (t.Type == AE_IFLNK) archive_entry_copy_symlink(e, t.Lien.c_str());
        if (archive_write_header(a, e) < ARCHIVE_WARN) throw std::runtime_error(archive_error_string(a));
        if (t.Type == AE_IFREG && t.Physique.empty() && !t.Contenu.empty())
            archive_write_data(a, t.Contenu.data(), t.Contenu.size());
        archive_entry_free(e);
    }
    archive_write_close(a);
    archive_write_free(a);
    return sortie;
}

// The whole archive of dossier, read in pieces of the given size.
inline std::string LireTout(TLectureArchive& l, size_t morceau = 65536) {
    std::string s;
    std::vector<uint8_t> t(morceau);
    while (size_t n = l.Lire(t.data(), t.size())) s.append(reinterpret_cast<char*>(t.data()), n);
    return s;
}

// Extracts the bytes into racine in pieces of the given size; returns the
// message of the failure, or "" when the extraction succeeded.
inline std::string Extraire(const std::string& octets, const std::string& racine, bool ecraser = false,
                            size_t morceau = 4096) {
    try {
        TExtractionArchive x(racine, ecraser);
        for (size_t i = 0; i < octets.size(); i += morceau)
            x.Ecrire(reinterpret_cast<const uint8_t*>(octets.data()) + i, std::min(morceau, octets.size() - i));
        x.Fermer();
    } catch (const EKOZException& e) {
        return e.what();
    }
    return {};
}

// A folder as text, one line per path below it: type, permission bits
// (masked), modification time, then the content or link target.
inline std::map<std::string, std::string> Arbre(const std::filesystem::path& dossier, mode_t masque = 07777) {
    std::map<std::string, std::string> arbre;
    for (auto it = std::filesystem::recursive_directory_iterator(dossier);
         it != std::filesystem::recursive_directory_iterator(); ++it) {
        const std::string chemin = it->path().string();
        struct stat st;
        if (::lstat(chemin.c_str(), &st) != 0) throw std::runtime_error("lstat " + chemin);
        std::string d = S_ISDIR(st.st_mode) ? "dossier" : S_ISLNK(st.st_mode) ? "lien" : S_ISREG(st.st_mode) ? "fichier" : "special";
        d += " " + std::to_string(st.st_mode & masque) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
             std::to_string(st.st_mtim.tv_nsec);
        if (S_ISLNK(st.st_mode)) d += " -> " + std::filesystem::read_symlink(it->path()).string();
        if (S_ISREG(st.st_mode)) {
            std::string contenu(size_t(st.st_size), '\0');
            FILE* f = std::fopen(chemin.c_str(), "rb");
            if (!f || std::fread(contenu.data(), 1, contenu.size(), f) != contenu.size())
                throw std::runtime_error("lecture " + chemin);
            std::fclose(f);
            // Short contents as they are, long ones by size and hash, so a failure prints little.
            d += contenu.size() < 64 ? " " + contenu
                                     : " " + std::to_string(contenu.size()) + "#" +
                                           std::to_string(std::hash<std::string>{}(contenu));
        }
        arbre[std::filesystem::relative(it->path(), dossier).string()] = d;
    }
    return arbre;
}
