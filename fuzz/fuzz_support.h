// Helpers of the fuzz targets: a scratch installation root per process (the
// readers find their fixed paths below TAV_ROOT), input written to a file
// there, and input split into words.
#ifndef FUZZ_SUPPORT_H
#define FUZZ_SUPPORT_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// The scratch root (made on first use, removed at exit); TAV_ROOT names it.
const std::string &FuzzRoot();

// Writes the bytes to root + fixedPath (directories made as needed) and
// returns the full path; an empty string when the file could not be written.
std::string FuzzWriteFile(const char *fixedPath, const uint8_t *data, size_t size);

// Removes root + fixedPath, when present.
void FuzzRemoveFile(const char *fixedPath);

// The input cut at every NUL or newline into at most maxWords words.
std::vector<std::string> FuzzSplitWords(const uint8_t *data, size_t size, size_t maxWords);

// The input cut at every NUL into at most maxParts parts (the last keeps the rest).
std::vector<std::string> FuzzSplitParts(const uint8_t *data, size_t size, size_t maxParts);

// An argv over the words (argv[argc] is NULL); valid while words lives.
std::vector<char *> FuzzArgv(std::vector<std::string> &words);

#endif
