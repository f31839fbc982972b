// The fixed table of archivers, by archiver index.
//
//  index  prefix  suffix  module file     extensions
//    1    Unlha   32      Unlha32.dll     .lzh .lzs .lha
//    2    UnZip   32      UnZip32.dll     .zip .jar
//    3    Cab     32      Cab32.dll       .cab
//    4    Tar     32      Tar32.dll       .tar .gz .z .tgz .taz .tbz .rpm .deb
//    5    Unarj   32j     Unarj32j.dll    .arj
//    6    Unrar   32      Unrar32.dll     .rar
//    7    Bga     32      Bga32.dll       .bza .gza
//    8    Yz1             Yz1.dll         .yz1
//    9    Zip     32j     Zip32j.dll      .zip .jar
//   10    UnGCA   32      UnGCA32.dll     .gca
//   11    Unbel   32      Unbel32.dll     .bel
//   12    Unjam   32      Unjam32.dll     .jam
//   13    Jack    32      Jack32.dll      .jak
// Row 0 is empty. Index 4 (TAR) has special cases in the probing exports.
#ifndef KELVORA_LIBRARY_ARCHIVER_TABLE_H
#define KELVORA_LIBRARY_ARCHIVER_TABLE_H

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace dravolix {

inline constexpr int kFirstArchiver = 1;
inline constexpr int kLastArchiver = 13;
inline constexpr int kTarArchiver = 4;
inline constexpr int kMaxExtensions = 10;

struct ArchiverRow {
    std::string_view prefix;
    std::string_view suffix;
    // Extensions for file associations; the list ends at the first empty one.
    std::array<std::string_view, kMaxExtensions> extensions;
};

extern const std::array<ArchiverRow, kLastArchiver + 1> kArchiverTable;

inline bool IsArchiverIndex(int index) { return index >= kFirstArchiver && index <= kLastArchiver; }

// The row's extensions, up to the first empty one; the index must be 0..13.
std::vector<std::string_view> ArchiverExtensions(int index);

// "Unarj32j.dll" for index 5; the index must be valid.
std::string ArchiverDllName(int index);

// The entry point "prefix + function" ("UnlhaCheckArchive"); the command
// function is the prefix alone (empty `function`).
std::string EntryPointName(int index, std::string_view function);

}  // namespace dravolix

#endif
