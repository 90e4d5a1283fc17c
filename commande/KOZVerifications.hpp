#pragma once
// Checks both commands make before they write anything, so that a run that
// cannot go through fails with the message the write itself would give.

#include <string>

// Whether two names reach one file: the same identity when both exist, or the
// same absolute path (a file still to be created has no identity yet).
bool MemeFichier(const std::string& a, const std::string& b);

// Throws the EKOZException that creating nom would give when nom could never
// be created: an empty name or one in a missing directory (ENOENT), or the
// name of a directory (EISDIR).
void VerifierCreable(const std::string& nom);
