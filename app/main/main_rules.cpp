#include "main_rules.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string_view>

#include "session.h"

namespace {

constexpr int16_t kNoSubVersion = -4;  // the library asks this module for no sub-version

// value / 100 as "0.00"; value is not negative.
std::string Hundredths(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%02d", value / 100, value % 100);
    return text;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Wildcard match of '*' and '?', case ignored, by backtracking over the last '*'.
bool Matches(const std::string& name, const std::string& pattern) {
    size_t n = 0, p = 0, star = std::string::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace

int TwipsToPixels(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

int DllRowToIndex(int row) { return core::IndexOfDllRow(row); }

std::string VersionText(int16_t version, int16_t sub_version) {
    if (version < 0 || (sub_version < 0 && sub_version != kNoSubVersion)) return "Not Installed.";
    std::string text = "Ver." + Hundredths(version);
    if (sub_version == kNoSubVersion) return text;
    if (sub_version % 100 >= 10) return text + "." + Hundredths(sub_version);
    // A single digit in the last two places is shown as one decimal: 1203 -> 12.3.
    return text + "." + std::to_string(sub_version / 100) + "." + std::to_string(sub_version % 100);
}

std::string PlainVersionText(int16_t version) { return "Ver." + Hundredths(version < 0 ? 0 : version); }

int16_t AskLibrary(const std::function<int16_t()>& query) {
    try {
        return query();
    } catch (const core::LibraryMissing&) {
        return -2;
    }
}

std::vector<std::string> ReadDllVersions(core::Library& library, core::DllVersions& versions) {
    std::vector<std::string> rows;
    for (const core::ArchiverRow& archiver : core::Catalogue()) {
        if (archiver.kind != core::RowKind::kArchiver || archiver.dll_row < 0) continue;
        const int index = archiver.index;
        const int16_t version = AskLibrary([&] { return library.GetVersion(index); });
        const int16_t sub_version = AskLibrary([&] { return library.GetSubVersion(index); });
        versions[static_cast<size_t>(index)] = std::max<int16_t>(version, 0);
        rows.push_back(DllRowText(index, VersionText(version, sub_version)));
    }
    // nkf32 is found when the library can ask it for its version.
    const int16_t nkf = AskLibrary([&] { return library.GetNkfVersion(); });
    versions[core::kNkfIndex] = std::max<int16_t>(nkf, 0);
    rows.push_back(DllRowText(core::kNkfIndex, nkf > 0 ? PlainVersionText(nkf) : "Not Installed."));
    const int16_t core_version = AskLibrary([&] { return library.GetCoreVersion(); });
    rows.push_back(DllRowText(core::kLibraryIndex, PlainVersionText(core_version)));
    return rows;
}

std::string LongPath(const std::string& path) {
    std::error_code failed;
    std::filesystem::path absolute = std::filesystem::absolute(path, failed);
    if (failed) return path;
    std::string text = absolute.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

std::string DllRowText(int index, const std::string& version_text) {
    return core::DllName(index) + "\t" + version_text;
}

FrameLefts ArrangeFrameLefts(int16_t turn_over) {
    constexpr int kFrame1Width = 4575, kFrame2Width = 3015, kFrame3Width = 2535;
    FrameLefts lefts;
    if (turn_over == 1) {
        lefts.frame3 = 0;
        lefts.frame1 = lefts.frame2 = lefts.frame3 + kFrame3Width + 100;
    } else {
        lefts.frame1 = lefts.frame2 = 0;
        lefts.frame3 = lefts.frame1 + kFrame1Width + 100;
    }
    lefts.frame4 = lefts.frame2 + kFrame2Width + 110;
    return lefts;
}

ArchivePatterns MakeArchivePatterns(const core::DllVersions& versions) {
    ArchivePatterns patterns;
    for (const core::ArchiverRow& row : core::Catalogue()) {
        const auto index = static_cast<size_t>(row.index);
        patterns[index] = core::BrowserPatterns(row, versions[index]);
    }
    return patterns;
}

std::string FilterPattern(int filter, const core::DllVersions& versions, const ArchivePatterns& patterns) {
    if (filter == 1) {
        std::string list;
        for (const core::ArchiverRow& row : core::Catalogue()) {
            const auto index = static_cast<size_t>(row.index);
            if (row.kind == core::RowKind::kArchiver && versions[index] > 0) list += ";" + patterns[index];
        }
        // Split sets by their first part: "a.000", or "a.zip.001" as 7-Zip numbers them. A lone
        // ".001" is listed too; identification probes it like any other name.
        return list + ";*.exe;*.000;*.001";
    }
    if (filter == 2) return "*.txt;*.csv;*.htm;*.html;*.c;*.cpp;*.h;*.hpp;*.cxx;*.hxx;*.dsw;*.dsp;*.def;*.dpr;*.pas";
    return "*.*";
}

bool MatchesPatterns(const std::string& name, const std::string& pattern_list) {
    size_t begin = 0;
    while (begin <= pattern_list.size()) {
        size_t end = pattern_list.find(';', begin);
        if (end == std::string::npos) end = pattern_list.size();
        const std::string pattern = pattern_list.substr(begin, end - begin);
        if (pattern == "*.*" || (!pattern.empty() && Matches(name, pattern))) return true;
        begin = end + 1;
    }
    return false;
}

std::optional<std::string> TextFileType(const std::string& name) {
    std::string key = name.size() >= 3 ? name.substr(name.size() - 3) : name;
    for (char& c : key) c = Upper(c);
    if (key.size() == 3 && key[1] == '.') key.erase(0, 1);
    auto is = [&key](std::initializer_list<const char*> keys) {
        for (const char* k : keys)
            if (key == k) return true;
        return false;
    };
    if (is({"TXT"})) return "テキストファイル";
    if (is({"CSV"})) return "カンマ区切りファイル";
    if (is({"TML"})) return "HTMLドキュメント";
    if (is({".C", ".H", "CPP", "CXX", "HPP", "DSW", "DSP"})) return "C/C++ ｿｰｽ/ﾌﾟﾛｼﾞｪｸﾄ";
    if (is({"VBP", "FRM", "CLS", "VBW", "BAS"})) return "VB ｿｰｽ/ﾌﾟﾛｼﾞｪｸﾄ";
    if (is({"DPR", "PAS"})) return "Delphi ｿｰｽ/ﾌﾟﾛｼﾞｪｸﾄ";
    return std::nullopt;
}

bool IsUserVolume(const std::string& root, const std::string& file_system_type) {
    static const char* const kPseudo[] = {
        "autofs",  "binfmt_misc", "bpf",     "cgroup",   "cgroup2",   "configfs",    "debugfs",  "devpts",
        "devtmpfs", "efivarfs",   "fusectl", "hugetlbfs", "mqueue",   "nsfs",        "overlay",  "proc",
        "pstore",  "ramfs",       "rpc_pipefs", "securityfs", "squashfs", "sysfs", "tmpfs",    "tracefs",
        "fuse.gvfsd-fuse", "fuse.portal", "fuse.snapfuse", "nfsd"};
    for (const char* type : kPseudo)
        if (file_system_type == type) return false;
    if (root.empty() || root == "/" || root[0] != '/') return false;
    if (root.rfind("/run/media/", 0) == 0) return true;
    static const char* const kSystemFolders[] = {"/proc", "/sys", "/dev", "/run", "/boot", "/snap",
                                                 "/etc",  "/usr", "/var", "/tmp", "/lib", "/opt"};
    for (const char* folder : kSystemFolders) {
        const std::string prefix = folder;
        if (root == prefix || root.rfind(prefix + "/", 0) == 0) return false;
    }
    return true;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

namespace {

// The number a text starts with, as the list's double-click reads the row's
// end: blanks are skipped, digits with at most one point are taken, and
// anything else ends it (".0.0" reads 0, "12.3" reads 12.3, "ed." reads 0).
double LeadingNumber(std::string_view text) {
    std::string number;
    bool point = false;
    for (char c : text) {
        if (c == ' ' || c == '\t') continue;
        if (c == '.' && !point) {
            point = true;
        } else if (c < '0' || c > '9') {
            break;
        }
        number.push_back(c);
    }
    return number.empty() || number == "." ? 0.0 : std::strtod(number.c_str(), nullptr);
}

}  // namespace

std::string DllRowInformation(const std::string& row_text, int index) {
    std::string text = row_text;
    std::replace(text.begin(), text.end(), '\t', ' ');
    const std::string_view row(text);
    const bool has_version = (row.size() >= 4 && LeadingNumber(row.substr(row.size() - 4)) != 0) ||
                             (row.size() >= 3 && LeadingNumber(row.substr(row.size() - 3)) != 0);
    if (has_version) return text + "\r\n" + core::DllCredit(index);
    return core::DllName(index) + "は見つかりませんでした。";
}

std::string DllListText(const std::vector<std::string>& rows) {
    std::string text;
    for (const std::string& row : rows) text += row + "\r\n";
    return text;
}

FileMenuState FileMenuFor(uint8_t file_kind, int32_t file_archiver, const std::string& file_name, bool text_file,
                          bool nkf_found) {
    FileMenuState state;
    switch (file_kind) {
        case core::kNotArchive:
            state.open = true;
            state.default_item = FileMenuState::kOpenDefault;
            state.text = text_file;
            state.kanji_enabled = text_file && nkf_found;
            state.property_separator = true;
            break;
        case core::kArchive: {
            std::string tail = file_name.size() >= 3 ? file_name.substr(file_name.size() - 3) : file_name;
            for (char& c : tail) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            state.melt = state.test = state.property_separator = true;
            state.test_enabled = core::Archiver(file_archiver).has_test();
            state.open = tail == "EXE" || tail == "COM";
            state.default_item = FileMenuState::kMeltDefault;
            break;
        }
        default:  // could not be examined: only the properties
            break;
    }
    return state;
}

std::string FindHelpFile(const std::string& app_folder) {
    const std::string beside = JoinPath(app_folder, "zenkari.html");
    const std::string installed = JoinPath(app_folder, "../share/doc/zenkari/zenkari.html");
    std::error_code ignored;
    if (!std::filesystem::exists(beside, ignored) && std::filesystem::exists(installed, ignored)) return installed;
    return beside;
}
