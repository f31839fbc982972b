#include "profile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string_view>

namespace platform {
namespace {

constexpr std::string_view kBlanks = " \t";

// A file descriptor, closed when the object goes away.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd_; }
    // Closes now; false when closing reports an error (a delayed write error).
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || close(fd) == 0;
    }

private:
    int fd_;
};

// A temporary file, removed when the object goes away unless it was kept.
class TempFile {
public:
    explicit TempFile(std::string path) : path_(std::move(path)) {}
    ~TempFile() {
        if (!path_.empty()) unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    void Keep() { path_.clear(); }

private:
    std::string path_;
};

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

bool Storable(std::string_view section, std::string_view key, const std::string& value) {
    if (section.empty() || section.find_first_of("]\r\n") != std::string_view::npos) return false;
    if (key.empty() || key.find_first_of("=\r\n") != std::string_view::npos) return false;
    if (key[0] == '[' || key[0] == ';' || key[0] == '#') return false;
    return value.find_first_of("\r\n") == std::string::npos;
}

enum class ReadResult { kOk, kMissing, kFailed };

ReadResult ReadWholeFile(const std::string& path, std::string& text, mode_t& mode) {
    Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return ReadResult::kFailed;
    mode = st.st_mode & 07777;
    text.clear();
    char buffer[16384];
    for (;;) {
        const ssize_t n = read(fd.get(), buffer, sizeof buffer);
        if (n == 0) return ReadResult::kOk;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return ReadResult::kFailed;
        text.append(buffer, static_cast<size_t>(n));
    }
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// The permission bits a newly created file gets: 0666 less the umask. Read
// from /proc rather than with umask(), which would change it for a moment
// under every other thread.
mode_t NewFileMode() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0) return 0666 & ~static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    return 0644;
}

// A link is written through: its target is replaced, not the link.
std::string WriteTarget(const std::string& file) {
    struct stat st {};
    if (lstat(file.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return file;
    char* resolved = realpath(file.c_str(), nullptr);
    if (!resolved) return file;
    std::string target(resolved);
    free(resolved);
    return target;
}

// Writes `text` to a new file beside `path` and renames it over `path`.
bool ReplaceFile(const std::string& path, const std::string& text, mode_t mode) {
    const size_t slash = path.rfind('/');
    const std::string prefix = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string folder = prefix.empty() ? "." : prefix;
    std::string temp = prefix + "." + path.substr(prefix.size()) + ".XXXXXX";
    Fd fd(mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) return false;
    TempFile guard(temp);
    if (!WriteAll(fd.get(), text) || fchmod(fd.get(), mode) != 0 || fsync(fd.get()) != 0 || !fd.Close())
        return false;
    if (rename(temp.c_str(), path.c_str()) != 0) return false;
    guard.Keep();
    // Make the rename itself durable; the file is already in place if this fails.
    Fd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) fsync(dir.get());
    return true;
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
    const std::string_view name = Trim(section);
    for (const auto& [key, value] : entries)
        if (!Storable(name, Trim(key), value)) return false;

    const std::string target = WriteTarget(file);
    std::string text;
    mode_t mode = 0;
    switch (ReadWholeFile(target, text, mode)) {
        case ReadResult::kFailed: return false;
        case ReadResult::kMissing: mode = NewFileMode(); break;
        case ReadResult::kOk: break;
    }
    for (const auto& [key, value] : entries) text = WithValue(text, name, Trim(key), value);
    return ReplaceFile(target, text, mode);
}

}  // namespace platform
