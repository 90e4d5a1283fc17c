#pragma once
// The checks behind the fuzz targets, shared by the libFuzzer programs and by
// the regression tests that replay the committed inputs. Each takes arbitrary
// bytes, runs the code under test on them and returns the empty text when
// every property held, or a description of the first one that failed. Memory
// errors are left to the sanitizers.
//
// Nothing here touches the shared generator, and only the archive check
// touches the disk (a temporary folder of its own, removed at the end): files
// live in an in-memory platform and every draw comes from a source seeded by
// the input, so one input always runs the same way.

#include <cstddef>
#include <cstdint>
#include <string>

// A state trio loaded from the bytes: flags, the lengths of the ".KGR" and
// ".KEC" parts, then the three parts. Checks the loader's verdict against
// the file sizes and contents, then evolves the loaded state over a few bytes
// beside a plain model of the evolution, and saves it back.
std::string EssaiEtat(const uint8_t* octets, size_t taille);

// A state shaped by the first bytes (flags and a seed), the rest taken as
// encrypted bytes: decrypted block by block and as a stream read in small
// pieces (same bytes, same failure offset, same state reached), the blocks
// checked against every block the encoders can make, and the rest encrypted
// and decrypted back.
std::string EssaiDechiffrement(const uint8_t* octets, size_t taille);

// The bytes as a journal of encryptions: read without failing whatever they
// hold, every record read written back and read again the same, and a new
// record added after them read back last, with the others unchanged.
std::string EssaiJournal(const uint8_t* octets, size_t taille);

// The path vocabulary, the proposed names and the file-name field's rules on
// the bytes taken as names.
std::string EssaiNoms(const uint8_t* octets, size_t taille);

// The bytes taken as a decrypted archive, extracted into a temporary folder
// that already holds a file (replacing allowed when the input's length is
// odd), handed over in pieces whose size the length sets. Checks the failure
// message is one of the extraction's own, nothing appears beside the target,
// the target holds only plain files, folders and links without setuid,
// setgid or sticky bits, each link resolving inside its top folder, the
// existing file intact unless replacing was allowed; then that the target
// is removed whole.
std::string EssaiArchive(const uint8_t* octets, size_t taille);
