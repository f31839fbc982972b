#include "profile.h"

#include "atomic_file.h"
#include "unique_fd.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace platform {
namespace {

constexpr std::string_view kBlanks = " \t";


std::string_view Trim(std::string_view s) {
    const size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

// One line of the file: its text is [begin, end), the next line starts at
// `next`; between them lies its line ending (LF, CR LF, or nothing at the end).
struct Line {
    size_t begin = 0, end = 0, next = 0;
};

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t lf = text.find('\n', begin);
        size_t next = lf == std::string_view::npos ? text.size() : lf + 1;
        size_t end = lf == std::string_view::npos ? text.size() : lf;
        if (end > begin && text[end - 1] == '\r') --end;
        lines.push_back({begin, end, next});
        begin = next;
    }
    return lines;
}

enum class Kind { kBlank, kSection, kKey, kOther };

struct Parsed {
    Kind kind = Kind::kOther;
    std::string_view name, value;
    size_t value_at = 0;  // where the value starts in the file, after "=" and blanks
};

Parsed Parse(std::string_view text, const Line& line) {
    const std::string_view s = text.substr(line.begin, line.end - line.begin);
    Parsed p;
    const size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        p.kind = Kind::kBlank;
        return p;
    }
    if (s[first] == '[') {
        const size_t close = s.find(']', first + 1);
        p.kind = Kind::kSection;
        p.name = Trim(s.substr(first + 1, close == std::string_view::npos ? close : close - first - 1));
        return p;
    }
    const size_t equals = s.find('=');
    if (s[first] == ';' || s[first] == '#' || equals == std::string_view::npos) return p;
    p.name = Trim(s.substr(0, equals));
    if (p.name.empty()) return p;
    p.kind = Kind::kKey;
    p.value = Trim(s.substr(equals + 1));
    const size_t value_start = s.find_first_not_of(kBlanks, equals + 1);
    p.value_at = line.begin + (value_start == std::string_view::npos ? s.size() : value_start);
    return p;
}

struct Location {
    std::optional<size_t> key_line;  // the first line holding the key
    std::optional<size_t> anchor;    // the last key line (or the header) of the first such section
};

Location Locate(std::string_view text, const std::vector<Line>& lines, std::string_view section,
                std::string_view key) {
    Location where;
    bool inside = false, in_first = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Parsed p = Parse(text, lines[i]);
        if (p.kind == Kind::kSection) {
            inside = SameName(p.name, section);
            in_first = inside && !where.anchor;
            if (in_first) where.anchor = i;
        } else if (p.kind == Kind::kKey && inside) {
            if (in_first) where.anchor = i;
            if (!where.key_line && SameName(p.name, key)) where.key_line = i;
        }
    }
    return where;
}

// The line ending of the file's first line; LF for a file without one.
std::string LineEnding(std::string_view text) {
    const size_t lf = text.find('\n');
    return lf != std::string_view::npos && lf > 0 && text[lf - 1] == '\r' ? "\r\n" : "\n";
}

// `text` with `key` in `[section]` set to `value`; the names are trimmed.
std::string WithValue(const std::string& text, std::string_view section, std::string_view key,
                      const std::string& value) {
    const std::vector<Line> lines = SplitLines(text);
    const Location where = Locate(text, lines, section, key);
    const std::string eol = LineEnding(text);
    const std::string entry = std::string(key) + "=" + value;
    std::string out = text;
    if (where.key_line) {
        const Line& line = lines[*where.key_line];
        const size_t at = Parse(text, line).value_at;
        out.replace(at, line.end - at, value);
    } else if (where.anchor) {
        const Line& line = lines[*where.anchor];
        if (line.next > line.end && text[line.next - 1] == '\n')
            out.insert(line.next, entry + eol);
        else  // the last line of a file without a final line ending (or only a CR)
            out.insert(line.next, (line.next > line.end ? "\n" : eol) + entry);
    } else {
        if (!text.empty()) {
            if (text.back() == '\r')
                out += "\n";
            else if (text.back() != '\n')
                out += eol;
            if (Parse(text, lines.back()).kind != Kind::kBlank) out += eol;  // a blank line between sections
        }
        out += "[" + std::string(section) + "]" + eol + entry + eol;
    }
    return out;
}

// `text` without the lines that hold `key` in any `[section]`.
std::string WithoutKey(const std::string& text, std::string_view section, std::string_view key) {
    std::string out;
    bool inside = false;
    for (const Line& line : SplitLines(text)) {
        const Parsed p = Parse(text, line);
        if (p.kind == Kind::kSection) inside = SameName(p.name, section);
        if (p.kind == Kind::kKey && inside && SameName(p.name, key)) continue;
        out.append(text, line.begin, line.next - line.begin);
    }
    return out;
}

bool Storable(std::string_view section, std::string_view key, const std::string& value) {
    if (section.empty() || section.find_first_of("]\r\n") != std::string_view::npos) return false;
    if (key.empty() || key.find_first_of("=\r\n") != std::string_view::npos) return false;
    if (key[0] == '[' || key[0] == ';' || key[0] == '#') return false;
    return value.find_first_of("\r\n") == std::string::npos;
}

enum class ReadResult { kOk, kMissing, kFailed };

ReadResult ReadWholeFile(const std::string& path, std::string& text, mode_t& mode) {
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
    struct stat st {};
    if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return ReadResult::kFailed;
    mode = st.st_mode & 07777;
    text.clear();
    char buffer[16384];
    for (;;) {
        const ssize_t n = read(fd.Get(), buffer, sizeof buffer);
        if (n == 0) return ReadResult::kOk;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return ReadResult::kFailed;
        text.append(buffer, static_cast<size_t>(n));
    }
}

}  // namespace

std::optional<std::string> ReadProfileString(const std::string& file, const std::string& section,
                                             const std::string& key) {
    std::string text;
    mode_t mode = 0;
    if (ReadWholeFile(file, text, mode) != ReadResult::kOk) return std::nullopt;
    const std::vector<Line> lines = SplitLines(text);
    const Location where = Locate(text, lines, Trim(section), Trim(key));
    if (!where.key_line) return std::nullopt;
    return std::string(Parse(text, lines[*where.key_line]).value);
}

bool WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value) {
    return WriteProfileStrings(file, section, {{key, value}});
}

bool WriteProfileStrings(const std::string& file, const std::string& section, const ProfileEntries& entries) {
    std::vector<ProfileChange> changes;
    for (const auto& [key, value] : entries) changes.push_back({section, key, value});
    return ChangeProfile(file, changes);
}

bool ChangeProfile(const std::string& file, const std::vector<ProfileChange>& changes) {
    for (const ProfileChange& change : changes)
        if (!Storable(Trim(change.section), Trim(change.key), change.value.value_or(""))) return false;

    std::string text;
    mode_t mode = 0;
    if (ReadWholeFile(file, text, mode) == ReadResult::kFailed) return false;
    std::string changed = text;
    for (const ProfileChange& change : changes) {
        const std::string_view section = Trim(change.section), key = Trim(change.key);
        changed = change.value ? WithValue(changed, section, key, *change.value) : WithoutKey(changed, section, key);
    }
    return changed == text || ReplaceFileAtomically(file, changed);
}

bool DeleteProfileKey(const std::string& file, const std::string& section, const std::string& key) {
    return ChangeProfile(file, {{section, key, std::nullopt}});
}

}  // namespace platform
