#include "trash.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <string_view>
#include <utility>

#include "atomic_file.h"
#include "folders.h"
#include "unique_fd.h"

namespace platform {
namespace {

constexpr int kMostNumbers = 10000;  // numbered names tried before giving up
constexpr size_t kNameMax = 255;
constexpr std::string_view kInfoSuffix = ".trashinfo";

std::string ParentOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

std::string Joined(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// `name` with `mark` put before its last extension ("readme (1).txt",
// ".bashrc (1)"), its stem cut at a character boundary so that the whole
// stays within `limit` bytes.
std::string Numbered(const std::string& name, const std::string& mark, size_t limit) {
    const size_t dot = name.rfind('.');
    const bool has_extension = dot != std::string::npos && dot != 0 && name.size() - dot + mark.size() < limit;
    std::string stem = has_extension ? name.substr(0, dot) : name;
    const std::string extension = has_extension ? name.substr(dot) : "";
    if (stem.size() + mark.size() + extension.size() > limit) {
        size_t cut = limit - mark.size() - extension.size();
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;
        stem.resize(cut);
    }
    return stem + mark + extension;
}

// A path as a URL escapes it: every byte but letters, digits, "-_.~" and "/" as %XX.
std::string Escaped(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    static constexpr std::string_view kKept = "-_.~/";
    std::string escaped;
    for (unsigned char c : path) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || kKept.find(c) != kKept.npos)
            escaped += static_cast<char>(c);
        else
            escaped += {'%', kHex[c >> 4], kHex[c & 15]};
    }
    return escaped;
}

std::string LocalTimeNow() {
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

// The absolute path of the open folder, as the kernel knows it.
std::optional<std::string> PathOf(int folder) {
    std::string path(4096, '\0');
    const std::string link = "/proc/self/fd/" + std::to_string(folder);
    const ssize_t length = readlink(link.c_str(), path.data(), path.size());
    if (length <= 0 || static_cast<size_t>(length) >= path.size() || path[0] != '/') return std::nullopt;
    path.resize(static_cast<size_t>(length));
    struct stat by_path {}, by_fd {};  // a folder removed meanwhile has no path
    if (stat(path.c_str(), &by_path) != 0 || fstat(folder, &by_fd) != 0 || by_path.st_dev != by_fd.st_dev ||
        by_path.st_ino != by_fd.st_ino)
        return std::nullopt;
    return path;
}

// The device a folder made at `path` would be on: that of its nearest existing ancestor.
dev_t DeviceFor(std::string path) {
    struct stat st {};
    while (stat(path.c_str(), &st) != 0 && path != "/") path = ParentOf(path);
    return st.st_dev;
}

// The top folder of the file system that holds `folder`.
std::string TopOf(std::string folder, dev_t device) {
    struct stat st {};
    while (folder != "/" && stat(ParentOf(folder).c_str(), &st) == 0 && st.st_dev == device) folder = ParentOf(folder);
    return folder;
}

// `path`, made with its missing parents (mode 0700, as XDG asks for them).
void MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0700);
        if (slash == std::string::npos) return;
    }
}

// A folder of this user's own that no link leads to, made when missing.
bool IsPrivateFolder(const std::string& path) {
    mkdir(path.c_str(), 0700);
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid();
}

struct Trash {
    UniqueFd files, info;
    std::string top;  // the volume's top folder; empty for the home trash, which records absolute paths
};

std::optional<Trash> OpenTrash(const std::string& folder, std::string top) {
    UniqueFd base(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!base) return std::nullopt;
    mkdirat(base.Get(), "files", 0700);
    mkdirat(base.Get(), "info", 0700);
    Trash trash{UniqueFd(openat(base.Get(), "files", O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
                UniqueFd(openat(base.Get(), "info", O_RDONLY | O_DIRECTORY | O_CLOEXEC)), std::move(top)};
    if (!trash.files || !trash.info) return std::nullopt;
    return trash;
}

// The home trash for a file on its file system, else the trash of the file's own.
std::optional<Trash> TrashFor(const std::string& folder, dev_t device) {
    const std::string home = DataHome() + "/Trash";
    if (DeviceFor(home) == device) {
        MakeFolders(home);
        return OpenTrash(home, "");
    }
    const std::string top = TopOf(folder, device);
    const std::optional<std::string> volume = VolumeTrashFolder(top);
    return volume ? OpenTrash(*volume, top) : std::nullopt;
}

// Makes info/`name` holding `text`: 0, or the errno (EEXIST when it is taken).
int WriteInfo(int info, const std::string& name, const std::string& text) {
    UniqueFd file(openat(info, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file) return errno;
    if (WriteAll(file.Get(), text) && file.Close()) return 0;
    const int error = errno ? errno : EIO;
    unlinkat(info, name.c_str(), 0);
    return error;
}

// Up to `size` bytes, fewer only at the end of the file; -1 on an error.
ssize_t ReadFully(int fd, char* data, size_t size) {
    size_t got = 0;
    while (got < size) {
        const ssize_t n = read(fd, data + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

bool SameBytes(int a, int b, const std::function<void()>& each_block) {
    char left[1 << 16], right[1 << 16];
    for (;;) {
        const ssize_t n = ReadFully(a, left, sizeof left), m = ReadFully(b, right, sizeof right);
        if (n < 0 || n != m || std::memcmp(left, right, static_cast<size_t>(n)) != 0) return false;
        if (n == 0) return true;
        if (each_block) each_block();
    }
}

// Runs `act` on the file at `path`, given its open folder and its name.
template <class Act>
bool AtPath(const std::string& path, Act act) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    UniqueFd at(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return at && act(at.Get(), path.substr(slash + 1));
}

}  // namespace

bool IsOneName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

int RenameNoReplace(int from_folder, const std::string& from, int to_folder, const std::string& to) {
    if (renameat2(from_folder, from.c_str(), to_folder, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    struct stat st {};
    if (fstatat(to_folder, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
    return renameat(from_folder, from.c_str(), to_folder, to.c_str()) == 0 ? 0 : errno;
}

std::vector<std::string> FolderNames(int folder) {
    std::vector<std::string> names;
    UniqueFd own(openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::unique_ptr<DIR, int (*)(DIR*)> listing(own ? fdopendir(own.Get()) : nullptr, closedir);
    if (!listing) return names;
    own.Release();  // the listing has it now
    while (const dirent* entry = readdir(listing.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    return names;
}

std::optional<std::string> LinkTarget(int folder, const std::string& name) {
    struct stat st {};
    if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode)) return std::nullopt;
    std::string target(static_cast<size_t>(st.st_size) + 1, '\0');
    const ssize_t length = readlinkat(folder, name.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) >= target.size()) return std::nullopt;
    target.resize(static_cast<size_t>(length));
    return target;
}

bool SameContents(int a_folder, const std::string& a, int b_folder, const std::string& b,
                  const std::function<void()>& each_block) {
    struct stat sa {}, sb {};
    if (fstatat(a_folder, a.c_str(), &sa, AT_SYMLINK_NOFOLLOW) != 0 ||
        fstatat(b_folder, b.c_str(), &sb, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino) return true;
    if (S_ISLNK(sa.st_mode) && S_ISLNK(sb.st_mode)) {
        const auto target = LinkTarget(a_folder, a);
        return target && target == LinkTarget(b_folder, b);
    }
    if (!S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode) || sa.st_size != sb.st_size) return false;
    constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    UniqueFd fa(openat(a_folder, a.c_str(), kFlags)), fb(openat(b_folder, b.c_str(), kFlags));
    return fa && fb && SameBytes(fa.Get(), fb.Get(), each_block);
}

bool MoveToTrash(int folder, const std::string& name, const std::string& original) {
    struct stat st {};
    if (!IsOneName(original) || fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    const std::optional<std::string> where = PathOf(folder);
    if (!where) return false;
    std::optional<Trash> trash = TrashFor(*where, st.st_dev);
    if (!trash) return false;
    const std::string path = Joined(*where, original);
    // A volume's trash records the path below its top folder.
    const std::string recorded = trash->top.empty() ? path : path.substr(trash->top == "/" ? 1 : trash->top.size() + 1);
    const std::string info = "[Trash Info]\nPath=" + Escaped(recorded) + "\nDeletionDate=" + LocalTimeNow() + "\n";
    for (int n = 1; n <= kMostNumbers; ++n) {
        const std::string trashed =
            Numbered(original, n == 1 ? "" : "." + std::to_string(n), kNameMax - kInfoSuffix.size());
        const std::string info_name = trashed + std::string(kInfoSuffix);
        const int written = WriteInfo(trash->info.Get(), info_name, info);
        if (written == EEXIST) continue;
        if (written != 0) return false;
        const int moved = RenameNoReplace(folder, name, trash->files.Get(), trashed);
        if (moved == 0) return true;
        unlinkat(trash->info.Get(), info_name.c_str(), 0);  // the file stays where it was
        if (moved != EEXIST) return false;
    }
    return false;
}

bool KeepBeside(int folder, const std::string& name, const std::string& original) {
    if (!IsOneName(original)) return false;
    for (int n = 1; n <= kMostNumbers; ++n) {
        const std::string numbered = Numbered(original, " (" + std::to_string(n) + ")", kNameMax);
        const int error = RenameNoReplace(folder, name, folder, numbered);
        if (error != EEXIST) return error == 0;
    }
    return false;
}

bool PutAway(int folder, const std::string& name, const std::string& original) {
    return MoveToTrash(folder, name, original) || KeepBeside(folder, name, original);
}

bool MoveToTrash(const std::string& path) {
    return AtPath(path, [](int folder, const std::string& name) { return MoveToTrash(folder, name, name); });
}

bool KeepBeside(const std::string& path) {
    return AtPath(path, [](int folder, const std::string& name) { return KeepBeside(folder, name, name); });
}

bool PutAway(const std::string& path) {
    return AtPath(path, [](int folder, const std::string& name) { return PutAway(folder, name, name); });
}

std::optional<std::string> VolumeTrashFolder(const std::string& top) {
    const std::string uid = std::to_string(getuid());
    const std::string shared = Joined(top, ".Trash");
    struct stat st {};
    // A shared trash counts only as a real folder with the sticky bit, so
    // that nobody can take another user's folder in it away.
    if (lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) &&
        IsPrivateFolder(shared + "/" + uid))
        return shared + "/" + uid;
    const std::string own = Joined(top, ".Trash-" + uid);
    if (IsPrivateFolder(own)) return own;
    return std::nullopt;
}

}  // namespace platform
