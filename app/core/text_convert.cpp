#include "text_convert.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

#include "identify.h"
#include "trash.h"
#include "unique_fd.h"

namespace core {
namespace {

const char* const kTitle = "Kelvora?";
const char* const kConverted = "改行コードを変換しました。";
const char* const kNotConverted = "改行コードを変換できませんでした。";
const char* const kNotRead = "ファイルを読み込めませんでした。";
const char* const kKanjiFailed = "変換に失敗しました。";

struct KanjiCode {
    const char* option;
    const char* name;
};
constexpr KanjiCode kKanjiCodes[] = {{"-s", "Shift-JIS"}, {"-j", "JIS"}, {"-e", "EUC"}};


// A temporary file that is removed unless it was put in place.
class TempFile {
public:
    explicit TempFile(std::string path) : path_(std::move(path)) {}
    ~TempFile() {
        if (!path_.empty()) unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }
    void Keep() { path_.clear(); }

private:
    std::string path_;
};

std::string Reason(int error) { return std::generic_category().message(error); }

std::optional<mode_t> PermissionBits(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return std::nullopt;
    return st.st_mode & 07777;
}

// The whole of a regular file, with its permission bits.
bool ReadWholeFile(const std::string& path, std::string& text, mode_t& mode) {
    // Non-blocking, so that a named pipe cannot hold the program; it is refused below.
    platform::UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (!fd || fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    mode = st.st_mode & 07777;
    text.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd.Get(), buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        text.append(buffer, static_cast<size_t>(n));
    }
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = EIO;
        if (n <= 0) return false;
        text.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A new, hidden file in the folder of `path`; `temp` receives its name.
platform::UniqueFd CreateTemp(const std::string& path, std::string& temp) {
    std::string pattern = FolderOf(path) + ".kelvora-convert-XXXXXX";
    platform::UniqueFd fd(mkostemp(pattern.data(), O_CLOEXEC));
    if (fd) temp = pattern;
    return fd;
}

// Makes the renames in the folder of `path` durable; the files are in place
// whether or not this succeeds.
void SyncFolder(const std::string& path) {
    const std::string folder = FolderOf(path);
    platform::UniqueFd fd(open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd) fsync(fd.Get());
}

// An older backup in the way of a new one goes to the trash (or beside
// itself under a numbered name). A folder there stays: the rename onto it
// fails as it always did.
bool ClearBackupName(const std::string& backup) {
    struct stat st {};
    return lstat(backup.c_str(), &st) != 0 || S_ISDIR(st.st_mode) || platform::PutAway(backup);
}

// Moves `path`, when it exists, to its backup name, then `temp` to `path`.
// An older backup that holds the same as `path` already is kept as it is.
// Empty on success; otherwise the reason, with `path` put back where it was
// and `temp` left for the caller.
std::string Install(const std::string& temp, const std::string& path) {
    const std::string backup = BackupName(path);
    struct stat st {};
    const bool move = lstat(path.c_str(), &st) == 0 && !platform::SameContents(AT_FDCWD, path, AT_FDCWD, backup);
    if (move && !ClearBackupName(backup))
        return "古いバックアップ " + backup + " をごみ箱に移せませんでした。";
    if (move && rename(path.c_str(), backup.c_str()) != 0)
        return "バックアップ " + backup + " を作れませんでした（" + Reason(errno) + "）。";
    if (rename(temp.c_str(), path.c_str()) != 0) {
        std::string reason = path + " を置き換えられませんでした（" + Reason(errno) + "）。";
        if (move && rename(backup.c_str(), path.c_str()) != 0)
            reason += "\n元の内容は " + backup + " にあります。";
        return reason;
    }
    SyncFolder(path);
    return "";
}

// Writes `contents` beside `path` with the given permission bits, flushed to
// disk, and installs it in place of `path`. Empty on success, else the reason.
std::string ReplaceWithBackup(const std::string& path, const std::string& contents, mode_t mode) {
    std::string temp;
    platform::UniqueFd fd = CreateTemp(path, temp);
    if (!fd) return "一時ファイルを作れませんでした（" + Reason(errno) + "）。\n" + path;
    TempFile guard(temp);
    if (!WriteAll(fd.Get(), contents) || fchmod(fd.Get(), mode) != 0 || fsync(fd.Get()) != 0 || !fd.Close())
        return "変換した内容を書き込めませんでした（" + Reason(errno) + "）。\n" + path;
    std::string reason = Install(temp, path);
    if (reason.empty()) guard.Keep();
    return reason;
}

// Gives the converter's output the permission bits it is to have and puts it
// on disk. Empty on success, else the reason.
std::string Settle(const std::string& temp, std::optional<mode_t> mode) {
    platform::UniqueFd fd(open(temp.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd || (mode && fchmod(fd.Get(), *mode) != 0) || fsync(fd.Get()) != 0 || !fd.Close())
        return "変換した内容を書き込めませんでした（" + Reason(errno) + "）。";
    return "";
}

std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to) {
    if (from.empty() || from == to) return text;
    std::string result;
    result.reserve(text.size());
    size_t start = 0;
    for (size_t at; (at = text.find(from, start)) != std::string::npos; start = at + from.size()) {
        result.append(text, start, at - start);
        result += to;
    }
    result.append(text, start);
    return result;
}

}  // namespace

std::string BackupName(const std::string& path) { return path + ".bef"; }

std::string LineEnding(int index) {
    switch (index) {
        case 1: return "\r\n";
        case 2: return "\r";
        case 3: return "\n";
        default: return "";
    }
}

int16_t DetectLineEnding(const std::string& path) {
    std::string text;
    mode_t mode = 0;
    if (!ReadWholeFile(path, text, mode)) return 0;
    if (text.find("\r\n") != std::string::npos) return 1;
    if (text.find('\r') != std::string::npos) return 2;
    if (text.find('\n') != std::string::npos) return 3;
    return 0;
}

bool ConvertLineEnding(Context& ctx, int from, int to, const std::string& path) {
    BrowserOff browser_off(ctx);
    std::string text;
    mode_t mode = 0;
    if (!ReadWholeFile(path, text, mode)) {
        ctx.prompter.Message(std::string(kNotRead) + "\n" + path, kTitle, Icon::Exclamation);
        return false;
    }
    const std::string reason = ReplaceWithBackup(path, ReplaceAll(text, LineEnding(from), LineEnding(to)), mode);
    ctx.screen.RefreshFileList();
    if (!reason.empty()) {
        ctx.prompter.Message(std::string(kNotConverted) + "\n" + reason, kTitle, Icon::Exclamation);
        return false;
    }
    return true;
}

void LineEndingCommand(Context& ctx, const std::string& path, int target) {
    if (target < 1 || target > 3) return;
    if (ConvertLineEnding(ctx, DetectLineEnding(path), target, path))
        ctx.prompter.Message(kConverted, kTitle, Icon::Information);
    ctx.screen.RefreshFileList();
}

bool ConvertKanjiCode(Context& ctx, int code, const std::string& source, const std::string& target) {
    if (code < 1 || code > 3) return false;
    const KanjiCode& kind = kKanjiCodes[code - 1];
    BrowserOff browser_off(ctx);

    std::string temp;
    if (platform::UniqueFd fd = CreateTemp(target, temp); !fd) {
        ctx.prompter.Message(std::string(kKanjiFailed) + "\n一時ファイルを作れませんでした（" + Reason(errno) + "）。\n" +
                                 target,
                             kTitle, Icon::Exclamation);
        return false;
    }
    TempFile output(temp);

    int32_t result = -2;
    std::string missing;
    try {
        result = ctx.library.NkfConvertSub(ctx.owner, kind.option, output.path(), source);
    } catch (const LibraryMissing& e) {
        missing = std::string("\n") + e.what();
    }
    if (result != 0) {
        ctx.prompter.Message(kKanjiFailed + missing, kTitle, Icon::Information);
        return false;
    }

    std::optional<mode_t> mode = PermissionBits(target);
    if (!mode) mode = PermissionBits(source);
    std::string reason = Settle(output.path(), mode);
    if (reason.empty()) reason = Install(output.path(), target);
    if (!reason.empty()) {
        ctx.prompter.Message(std::string(kKanjiFailed) + "\n" + reason, kTitle, Icon::Exclamation);
        return false;
    }
    output.Keep();
    ctx.prompter.Message(std::string(kind.name) + "への変換に成功しました!!", kTitle, Icon::Information);
    return true;
}

void KanjiCodeCommand(Context& ctx, const std::string& path, int code) { ConvertKanjiCode(ctx, code, path, path); }

}  // namespace core
