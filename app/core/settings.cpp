#include "settings.h"


#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "profile.h"
#include "folders.h"
#include "settings_folder.h"

namespace core {
namespace {

using platform::WithSlash;

constexpr const char* kFileName = "zenkari.ini";
constexpr const char* kSection = "Setting";
constexpr size_t kMaxValueBytes = 254;
constexpr std::string_view kBlanks = " \t";

// Positions in the key table, which is also the file order; the archivers'
// association flags follow in index order, then the check boxes' keys.
enum Slot : size_t {
    kVersion,
    kExtractNumber,
    kExtractDir,
    kLeftTwip,
    kTopTwip,
    kFileListDir,
    kFilePattern,
    kTurnOver,
    kNoWindow,
    kFirstAssoc
};
using Values = std::vector<std::string>;

// The archivers whose association flag is kept, in file order.
const std::vector<const ArchiverRow*>& AssocRows() {
    static const auto rows = [] {
        std::vector<const ArchiverRow*> kept;
        for (const ArchiverRow& row : Catalogue())
            if (!row.assoc_key.empty()) kept.push_back(&row);
        return kept;
    }();
    return rows;
}

// The main window's check boxes, kept after the association flags.
struct CheckKey {
    const char* key;
    int16_t Settings::*value;
};
constexpr CheckKey kCheckKeys[] = {{"PreventDoubleFolder", &Settings::PreventDoubleFolder},
                                   {"OpenAfterExtract", &Settings::OpenAfterExtract},
                                   {"MakeArchiveFolder", &Settings::MakeArchiveFolder}};

size_t FirstCheckSlot() { return kFirstAssoc + AssocRows().size(); }
size_t KeyCount() { return FirstCheckSlot() + std::size(kCheckKeys); }

const std::vector<std::string>& KeyNames() {
    static const auto names = [] {
        std::vector<std::string> n = {"Version",     "ExtractNumber", "ExtractDir", "LeftTwip", "TopTwip",
                                      "FileListDir", "FilePattern",   "TurnOver",   "NoWindow"};
        for (const ArchiverRow* row : AssocRows()) n.push_back(row->assoc_key);
        for (const CheckKey& check : kCheckKeys) n.push_back(check.key);
        return n;
    }();
    return names;
}

void TrimBlanks(std::string& s) {
    s.erase(0, std::min(s.find_first_not_of(kBlanks), s.size()));
    s.erase(s.find_last_not_of(kBlanks) + 1);
}

// At most `limit` bytes, never ending inside a UTF-8 character. Text that is
// not UTF-8 is cut at the limit itself.
std::string CutAtCharacter(std::string s, size_t limit) {
    if (s.size() <= limit) return s;
    auto continuation = [&](size_t i) { return (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80; };
    size_t n = limit;
    for (int back = 0; back < 3 && n > 0 && continuation(n); ++back) --n;
    s.resize(continuation(n) ? limit : n);
    return s;
}

// The number the text starts with: leading blanks skipped, an optional sign,
// then digits with at most one period; 0 when there is none.
double LeadingNumber(std::string_view text) {
    size_t i = std::min(text.find_first_not_of(kBlanks), text.size());
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const size_t start = i;
    bool period = false;
    for (; i < text.size(); ++i) {
        if (text[i] == '.' && !period)
            period = true;
        else if (text[i] < '0' || text[i] > '9')
            break;
    }
    const std::string_view digits = text.substr(start, i - start);
    double value = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value, std::chars_format::fixed);
    if (result.ec == std::errc::result_out_of_range)  // too large, or too close to 0
        value = digits.substr(0, digits.find('.')).find_first_not_of('0') == std::string_view::npos ? 0 : HUGE_VAL;
    else if (result.ec != std::errc())
        value = 0;
    return negative ? -value : value;
}

// Rounded half to even, clamped to the int32 range.
int32_t RoundToInt32(double x) {
    constexpr double kLow = std::numeric_limits<int32_t>::min(), kHigh = std::numeric_limits<int32_t>::max();
    if (x <= kLow) return std::numeric_limits<int32_t>::min();
    if (x >= kHigh) return std::numeric_limits<int32_t>::max();
    double r = std::floor(x);
    const double fraction = x - r;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(r, 2.0) != 0)) r += 1;
    return static_cast<int32_t>(r);
}

// The whole text as a decimal integer in [low, high], otherwise `fallback`.
int IntegerIn(std::string_view text, int low, int high, int fallback) {
    if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
    long long value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return fallback;
    return value >= low && value <= high ? static_cast<int>(value) : fallback;
}

// TurnOver and NoWindow: 0 or 1, anything else is 0.
int16_t OnOff(std::string_view text) { return RoundToInt32(LeadingNumber(text)) == 1 ? 1 : 0; }

// Writes every key in one replacement of the file, blanks trimmed as
// WriteSetting trims them.
bool WriteValues(const std::string& path, Values values) {
    platform::ProfileEntries entries;
    for (size_t i = 0; i < KeyCount(); ++i) {
        TrimBlanks(values[i]);
        entries.emplace_back(KeyNames()[i], std::move(values[i]));
    }
    return platform::WriteProfileStrings(path, kSection, entries);
}

// The values both writers take from the record as it is.
void PutFlags(Values& values, const Settings& settings) {
    values[kTurnOver] = std::to_string(settings.TurnOver);
    values[kNoWindow] = std::to_string(settings.NoWindow);
    for (size_t i = 0; i < AssocRows().size(); ++i)
        values[kFirstAssoc + i] = settings.Assoc[static_cast<size_t>(AssocRows()[i]->index)] != 0 ? "1" : "0";
}

void PutChecks(Values& values, const Settings& settings) {
    for (size_t i = 0; i < std::size(kCheckKeys); ++i)
        values[FirstCheckSlot() + i] = settings.*kCheckKeys[i].value != 0 ? "1" : "0";
}

}  // namespace

std::string ProgramVersionText() {
    const std::string minor = std::to_string(kProgramVersion % 100);
    return std::to_string(kProgramVersion / 100) + "." + (minor.size() < 2 ? "0" : "") + minor;
}

SettingsFile::SettingsFile(std::string app_folder) : app_folder_(std::move(app_folder)) {
    folder_ = platform::SettingsFolder(app_folder_, kFileName);
    path_ = folder_ + kFileName;
}

std::string SettingsFile::ReadSetting(const std::string& key, const std::string& fallback) const {
    std::optional<std::string> value = platform::ReadProfileString(path_, kSection, key);
    return value ? CutAtCharacter(std::move(*value), kMaxValueBytes) : fallback;
}

bool SettingsFile::WriteSetting(const std::string& key, std::string& value) const {
    TrimBlanks(value);
    return platform::WriteProfileString(path_, kSection, key, value);
}

Settings SettingsFile::Read() const {
    const auto& keys = KeyNames();
    const std::string app = WithSlash(app_folder_);
    auto text = [&](size_t slot, const std::string& fallback) { return ReadSetting(keys[slot], fallback); };

    Settings s;
    s.Version = static_cast<float>(LeadingNumber(text(kVersion, ProgramVersionText())));
    s.ExtractNumber = static_cast<uint8_t>(IntegerIn(text(kExtractNumber, ""), 0, 3, 0));
    s.ExtractDir = text(kExtractDir, app);
    s.ExtractDir = s.ExtractDir.empty() ? app : WithSlash(s.ExtractDir);
    s.LeftTwip = RoundToInt32(LeadingNumber(text(kLeftTwip, "3000")));
    s.TopTwip = RoundToInt32(LeadingNumber(text(kTopTwip, "2505")));
    s.FileListDir = text(kFileListDir, app);
    s.FilePattern = IntegerIn(text(kFilePattern, ""), 0, 2, 0);
    s.TurnOver = OnOff(text(kTurnOver, "0"));
    s.NoWindow = OnOff(text(kNoWindow, "0"));
    for (size_t i = 0; i < AssocRows().size(); ++i)
        s.Assoc[static_cast<size_t>(AssocRows()[i]->index)] =
            static_cast<uint8_t>(IntegerIn(text(kFirstAssoc + i, ""), 0, 1, 0));
    for (size_t i = 0; i < std::size(kCheckKeys); ++i) {
        int16_t& value = s.*kCheckKeys[i].value;
        value = static_cast<int16_t>(IntegerIn(text(FirstCheckSlot() + i, ""), 0, 1, value));
    }
    return s;
}

bool SettingsFile::WriteDefaultSettings(const Settings& current) const {
    const std::string app = WithSlash(app_folder_);
    Values values(KeyCount());
    values[kVersion] = ProgramVersionText();
    values[kExtractNumber] = "0";
    values[kExtractDir] = app;
    values[kLeftTwip] = "4545";
    values[kTopTwip] = "3015";
    values[kFileListDir] = app;
    values[kFilePattern] = "0";
    PutFlags(values, current);
    PutChecks(values, Settings{});
    return WriteValues(path_, std::move(values));
}

bool SaveSettings(const SettingsFile& file, const Settings& settings, const WindowState& window) {
    Values values(KeyCount());
    values[kVersion] = ProgramVersionText();
    values[kExtractNumber] = std::to_string(settings.ExtractNumber);
    values[kExtractDir] = settings.ExtractDir;
    values[kLeftTwip] = std::to_string(window.left_twip);
    values[kTopTwip] = std::to_string(window.top_twip);
    values[kFileListDir] = window.file_list_dir;
    values[kFilePattern] = std::to_string(window.file_pattern);
    PutFlags(values, settings);
    PutChecks(values, settings);
    return WriteValues(file.Path(), std::move(values));
}

}  // namespace core
