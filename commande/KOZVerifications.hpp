#pragma once
// Checks both commands make before they write anything, so that a run that
// cannot go through fails with the message the write itself would give.

#include <cstddef>
#include <string>

// Whether two names reach one file: the same identity when both exist, or the
// same absolute path (a file still to be created has no identity yet).
bool MemeFichier(const std::string& a, const std::string& b);

// The longest file name (one component) the systems this runs on take.
inline constexpr size_t kLongueurNomMax = 255;

// Throws the EKOZException that creating nom would give when nom could never
// be created: an empty name or one in a missing directory (ENOENT), a name
// longer than a file name may be (ENAMETOOLONG), or the name of a directory
// (EISDIR).
void VerifierCreable(const std::string& nom);

// Throws the creation message when nom is an existing file that a run could
// not replace or remove once it has begun to move its files into place (a
// file protected against change): tried by linking it to a trial name, which
// such a file refuses, and removing that name again.
void VerifierRemplacable(const std::string& nom);

// Throws the creation message when a command's output is named as a key or a
// journal: a file of a state trio (".KGR", ".KEC", ".KPR"), which may be the
// only key of some encrypted file, or be the name under which a run keeps the
// key it replaces; or "KOZ-JOURNAL.txt", which proves the encrypted files and
// which the next encryption in its folder adds to. Not even a run asked to
// replace existing files takes those names.
void VerifierNiCleNiJournal(const std::string& nom);
