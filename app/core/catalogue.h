// What the program knows about each archiver, one row per archiver index
// (0..15): 1..13 as the library's archiver table, 14 the converter nkf32, 15
// the library itself. 9 is never used by the program; 12 has a name but no
// commands. 99 stands for a split set in identification and extraction; its
// row describes the program's own join.
//
// Everything else reads these rows: a fact about one archiver lives in its
// row, never in a test of its index elsewhere.
#ifndef KELVORA_CORE_CATALOGUE_H
#define KELVORA_CORE_CATALOGUE_H

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace core {

inline constexpr int kCatalogueSize = 16;
inline constexpr int kTypeCodes = 56;  // archive type codes 0..55
inline constexpr int kNkfIndex = 14;
inline constexpr int kLibraryIndex = 15;
inline constexpr int kSplitSet = 99;
inline constexpr int kTarIndex = 4;

// Versions x 100 as the library reports them, 0 for a module that cannot be
// loaded; filled when the main window loads. A non-zero entry is how the
// program knows that an archiver is installed.
using DllVersions = std::array<int16_t, kCatalogueSize>;

enum class RowKind : uint8_t { kUnused, kArchiver, kConverter, kLibrary, kSplitSet };

// Where the type code of an identified archive comes from.
enum class TypeQuery : uint8_t {
    kFixed,        // always 1
    kArchiveType,  // the library's GetArchiveType
    kCheckAnswer,  // the answer of CheckArchive in mode 1
};

// One extension as the program uses it, upper case ("LZH", "R0?").
struct Extension {
    enum Use : uint8_t {
        kNamed,        // listed in the browser, and a name ending in it is tried with this archiver first
        kListed,       // listed in the browser only
        kNamedLater,   // kNamed once the module's version reaches the row's named_from_version
    };
    std::string_view text{};
    Use use = kNamed;
};

struct ArchiverRow {
    int index = 0;
    RowKind kind = RowKind::kUnused;
    // The display name, 12 characters padded with blanks ("UNLHA32.DLL ").
    std::string dll_name{};
    // Command parts; every non-empty one ends in a blank. `list` names every
    // entry, one a line; only our own modules answer it so.
    std::string extract{}, test{}, quiet{}, list{};
    bool quiet_first = false;        // the quiet option goes before the extract command
    bool wildcard = true;            // " *.*" follows the output folder
    bool writes_own_folder = false;  // the module makes its own folder: ours is not named after the archive
    bool joins = false;              // it restores a split file: "結合できます" and "復元に成功しました"
    bool backslash_separates = true;  // a "\" in a listed name separates folders (archives made on Windows)
    // CheckArchive modes: when probing in index order (0: never probed),
    // and when the file's name chose this archiver.
    int32_t probe_mode = 0, named_mode = 1;
    TypeQuery type_query = TypeQuery::kFixed;
    // Modules older than this cannot count some archives at all (0: any can).
    int16_t counts_from_version = 0;
    int16_t named_from_version = 0;  // see Extension::kNamedLater
    std::vector<Extension> extensions{};
    // The labels of archive type codes ("LZH", "GZIP").
    std::map<int, std::string> labels{};
    // The association: its key in the settings file ("LZHAssoc") and its
    // caption in the settings window; empty where none is kept.
    std::string assoc_key{}, assoc_caption{};
    int dll_row = -1;  // the row in the main window's DLL list; -1 for none
    // Who made the module or the code inside it; lines joined with CR LF.
    std::string credit{};

    bool has_test() const { return !test.empty(); }
};

// The row of an archiver index; kSplitSet has its own row, any other index
// outside 0..15 gives the empty row 0.
const ArchiverRow& Archiver(int index);
// Rows 0..15 in index order.
const std::array<ArchiverRow, kCatalogueSize>& Catalogue();
// The archiver index shown in a row of the DLL list, 0 for none.
int IndexOfDllRow(int row);

// The archiver whose extensions name the file (its last characters, case
// ignored), given the installed versions; nullptr when none does.
const ArchiverRow* ArchiverNamedBy(const std::string& path, const DllVersions& versions);
// The browser's wildcard list of a row for its module's version ("*.LZH;*.LZS;*.LHA").
std::string BrowserPatterns(const ArchiverRow& row, int16_t version);

// Shorthands for single facts of a row.
const std::string& DllName(int index);
const std::string& ExtractCommand(int index);
const std::string& TestCommand(int index);
const std::string& QuietOption(int index);
// The label of an archive type code ("LZH", "GZIP"); empty where none, and
// for indexes or codes outside the table.
const std::string& ArchiveTypeName(int index, int type_code);
const std::string& DllCredit(int index);

}  // namespace core

#endif
