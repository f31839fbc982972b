// One run of every module operation on an arbitrary file: the body of the
// fuzz target and of the replay test.
#ifndef KELVORA_TESTS_ARCHIVE_FUZZ_H
#define KELVORA_TESTS_ARCHIVE_FUZZ_H

#include <cstddef>
#include <cstdint>
#include <string>

// Feeds `data` as an archive to the module of `kind` (0..4: LZH, ZIP, CAB,
// TAR, RAR): probe, count, type, test, extract. Returns an empty text when all
// went as it must (every result a success or an archiver code, nothing
// written outside the output folder), else what went wrong.
std::string RunArchiveOperations(int kind, const uint8_t* data, size_t size);

#endif
