// The main window's rules that need no widgets: version texts of the DLL
// list, where the frames go, the browser's filters and text types.
#ifndef KELVORA_APP_MAIN_RULES_H
#define KELVORA_APP_MAIN_RULES_H

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "catalogue.h"
#include "library.h"

// 15 twips make one logical pixel.
int TwipsToPixels(int twips);

// The archiver index of a row of the DLL list (the catalogue's dll_row).
int DllRowToIndex(int row);
// "Ver.2.10.12.3" from the version and sub-version queries; "Not Installed."
// for a module that cannot be loaded.
std::string VersionText(int16_t version, int16_t sub_version);
// "Ver." and the version / 100 as "0.00" (the nkf32 and library rows).
std::string PlainVersionText(int16_t version);
// The row: the padded name, a tab, the version text.
std::string DllRowText(int index, const std::string& version_text);

// The library's answer to `query`; -2 when it lacks the function asked for.
int16_t AskLibrary(const std::function<int16_t()>& query);
// Asks the library for every module's version, nkf32's and its own: fills
// `versions` (0 for what is not found), by which the program tells what it
// can do, and answers the DLL list's rows in order.
std::vector<std::string> ReadDllVersions(core::Library& library, core::DllVersions& versions);

// A path given on the command line made absolute, without "." and ".."
// parts or a trailing "/"; as it is when that fails.
std::string LongPath(const std::string& path);

// The DLL list's double-click on a row: the row (tabs made blanks) and the
// module's credits when the row ends in a version number; otherwise the
// module's padded name and "は見つかりませんでした。".
std::string DllRowInformation(const std::string& row_text, int index);
// The clipboard copy of the DLL list: every row followed by CR LF.
std::string DllListText(const std::vector<std::string>& rows);

// Which items of the file list's pop-up menu show, by the kind of the file
// identified last (FileKind) and its archiver.
struct FileMenuState {
    enum Default { kNoDefault, kMeltDefault, kOpenDefault };
    bool melt = false;          // "ファイルを解凍(&E)" and the separator after it
    bool test = false;          // "ファイルをテスト(&T)"
    bool test_enabled = false;
    bool open = false;          // "ファイルを開く(&O)"
    bool text = false;          // the separator and the two conversion menus
    bool kanji_enabled = false; // "テキスト変換(&C)" (needs nkf32)
    bool property_separator = false;
    Default default_item = kNoDefault;
    bool operator==(const FileMenuState&) const = default;
};
// `text_file`: the name is a recognised text type; `nkf_found`: nkf32's version is above 0.
FileMenuState FileMenuFor(uint8_t file_kind, int32_t file_archiver, const std::string& file_name, bool text_file,
                          bool nkf_found);

// Where the help page is: beside the program, or in ../share/doc/zenkari
// of an installed copy; the first of them when neither exists.
std::string FindHelpFile(const std::string& app_folder);

// Lefts of the four frames in twips for a TurnOver value.
struct FrameLefts {
    int frame1 = 0, frame2 = 0, frame3 = 0, frame4 = 0;
    bool operator==(const FrameLefts&) const = default;
};
FrameLefts ArrangeFrameLefts(int16_t turn_over);

// The browser's wildcard lists by archiver index ("*.LZH;*.LZS;*.LHA"), for
// the installed versions (some extensions need a newer module).
using ArchivePatterns = std::array<std::string, core::kCatalogueSize>;
ArchivePatterns MakeArchivePatterns(const core::DllVersions& versions);

// The filter entries of Combo1.
inline constexpr int kFilterCount = 3;
inline constexpr const char* kFilterNames[kFilterCount] = {"すべてのファイル", "対応書庫のみ", "Text/プログラムソース"};
// The wildcard list of a filter; "対応書庫のみ" takes the installed archivers only.
std::string FilterPattern(int filter, const core::DllVersions& versions, const ArchivePatterns& patterns);

// True when the name matches one of the ";"-separated wildcards, case
// ignored; "*.*" matches every name, with or without a dot.
bool MatchesPatterns(const std::string& name, const std::string& pattern_list);

// The type label of a text file name ("テキストファイル"), from its last
// three characters; nothing for other names.
std::optional<std::string> TextFileType(const std::string& name);

// True for a mounted volume that a user would open from the drive list: no
// pseudo, memory or snap file system and nothing under the system's own
// folders. "/" itself is always listed and answers false here.
bool IsUserVolume(const std::string& root, const std::string& file_system_type);

// A folder and a file name joined with exactly one "/".
std::string JoinPath(const std::string& folder, const std::string& name);

#endif
