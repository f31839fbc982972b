// The program's tables by archiver index (0..15): 1..13 as the library's
// archiver table, 14 the converter nkf32, 15 the library itself. 9 is never
// used by the program; 12 has a name but no commands. 99 stands for a split
// set in identification and extraction and indexes no table.
#ifndef KELVORA_CORE_CATALOGUE_H
#define KELVORA_CORE_CATALOGUE_H

#include <array>
#include <cstdint>
#include <string>

namespace core {

inline constexpr int kCatalogueSize = 16;
inline constexpr int kTypeCodes = 56;  // archive type codes 0..55
inline constexpr int kNkfIndex = 14;
inline constexpr int kLibraryIndex = 15;
inline constexpr int kSplitSet = 99;
inline constexpr int kTarIndex = 4;

// Display names, 12 characters padded with blanks on the right ("UNLHA32.DLL ").
const std::string& DllName(int index);
// Command parts; every non-empty one ends in a blank.
const std::string& ExtractCommand(int index);
const std::string& TestCommand(int index);
const std::string& QuietOption(int index);
// The label of an archive type code ("LZH", "GZIP"); empty where none, and
// for indexes or codes outside the table.
const std::string& ArchiveTypeName(int index, int type_code);
// Who made each module or the code inside it; lines joined with CR LF.
const std::string& DllCredit(int index);

// Versions x 100 as the library reports them, 0 for a module that cannot be
// loaded; filled when the main window loads. A non-zero entry is how the
// program knows that an archiver is installed.
using DllVersions = std::array<int16_t, kCatalogueSize>;

}  // namespace core

#endif
