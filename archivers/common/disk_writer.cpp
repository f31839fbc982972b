#include "disk_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "reader.h"

namespace archivers {
namespace {

int32_t WriteErrorCode(int error) {
    return error == ENOSPC || error == EDQUOT ? result::kDiskFull : result::kWrite;
}

int OpenFolder(int at, const std::string& name) {
    return openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

bool IsKept(int folder, const std::string& name, const FileIdentity& keep) {
    struct stat st {};
    return keep.set && fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_dev == keep.device &&
           st.st_ino == keep.inode;
}

// Renames `temporary` over `name` in `folder`: a file or a link there is
// replaced (never what a link points to), the kept file never. The temporary
// name is gone afterwards whatever happens.
int32_t PutInPlace(int folder, const std::string& temporary, const std::string& name, const FileIdentity& keep) {
    int32_t code = result::kOk;
    if (IsKept(folder, name, keep))
        code = result::kExists;
    else if (renameat(folder, temporary.c_str(), folder, name.c_str()) != 0)
        code = result::kWrite;
    // A rename onto another link to the same file leaves both names; drop ours.
    unlinkat(folder, temporary.c_str(), 0);
    return code;
}

}  // namespace

PendingFile::~PendingFile() {
    if (!committed_ && folder_.Get() >= 0 && !temporary_.empty()) unlinkat(folder_.Get(), temporary_.c_str(), 0);
}

int32_t PendingFile::Write(const char* data, size_t size, int64_t offset) {
    while (size > 0) {
        ssize_t n = pwrite(file_.Get(), data, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return WriteErrorCode(n < 0 ? errno : ENOSPC);
        data += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    end_ = std::max(end_, offset);
    return result::kOk;
}

int32_t PendingFile::Commit(int64_t size, const timespec& mtime) {
    if (size > end_ && ftruncate(file_.Get(), size) != 0) return WriteErrorCode(errno);
    const timespec times[2] = {{0, UTIME_OMIT}, mtime};
    futimens(file_.Get(), times);
    if (close(file_.Release()) != 0) return WriteErrorCode(errno);
    committed_ = true;  // PutInPlace removes the temporary name itself
    return PutInPlace(folder_.Get(), temporary_, name_, keep_);
}

int32_t DiskWriter::Open(const std::string& destination, const std::string& keep) {
    process_ = std::to_string(getpid());
    struct stat st {};
    if (stat(keep.c_str(), &st) == 0) keep_ = {st.st_dev, st.st_ino, true};
    std::string path = destination.empty() ? "." : destination;
    // The destination itself is the user's: links in it are followed.
    for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        std::string prefix = path.substr(0, slash);
        if (!prefix.empty()) mkdir(prefix.c_str(), 0755);
        if (slash == std::string::npos) break;
    }
    root_ = UniqueFd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return root_.Get() >= 0 ? result::kOk : result::kMakeFolder;
}

UniqueFd DiskWriter::Walk(const Parts& parts, size_t count, int32_t& code) const {
    UniqueFd current(fcntl(root_.Get(), F_DUPFD_CLOEXEC, 0));
    for (size_t i = 0; i < count && current.Get() >= 0; ++i) {
        int next = OpenFolder(current.Get(), parts[i]);
        if (next < 0 && errno == ENOENT) {
            mkdirat(current.Get(), parts[i].c_str(), 0755);
            next = OpenFolder(current.Get(), parts[i]);
        }
        if (next < 0) {
            // A link in the way is never followed; a file in the way stays.
            code = errno == ELOOP ? result::kBrokenHeader : result::kMakeFolder;
            if (errno == ENOTDIR) {
                struct stat st {};
                if (fstatat(current.Get(), parts[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
                    code = result::kBrokenHeader;
            }
        }
        current = UniqueFd(next);
    }
    return current;
}

int DiskWriter::OpenParent(const Parts& parts, int32_t& code) {
    Parts parent(parts.begin(), parts.end() - 1);
    if (cached_fd_.Get() < 0 || parent != cached_parent_) {
        cached_fd_ = Walk(parts, parts.size() - 1, code);
        cached_parent_ = cached_fd_.Get() >= 0 ? std::move(parent) : Parts();
    }
    return cached_fd_.Get();
}

int32_t DiskWriter::MakeFolder(const Parts& parts, mode_t mode, const timespec& mtime) {
    int32_t code = result::kMakeFolder;
    int parent = OpenParent(parts, code);
    if (parent < 0) return code;
    // The owner keeps full access so that the folder can be filled; the umask applies.
    mkdirat(parent, parts.back().c_str(), (mode & 0777) | 0700);
    struct stat st {};
    if (fstatat(parent, parts.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return result::kMakeFolder;
    if (S_ISLNK(st.st_mode)) return result::kBrokenHeader;
    if (!S_ISDIR(st.st_mode)) return result::kMakeFolder;
    folder_times_.emplace_back(parts, mtime);
    return result::kOk;
}

int32_t DiskWriter::BeginFile(const Parts& parts, mode_t mode, std::optional<PendingFile>& file) {
    int32_t code = result::kMakeFolder;
    int parent = OpenParent(parts, code);
    if (parent < 0) return code;
    mode_t permissions = (mode & 0777) ? (mode & 0777) : 0644;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temporary = NextTemporary(parent, parts);
        int fd = openat(parent, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, permissions);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return WriteErrorCode(errno);
        file.emplace(UniqueFd(fcntl(parent, F_DUPFD_CLOEXEC, 0)), UniqueFd(fd), std::move(temporary), parts.back(),
                     keep_);
        return result::kOk;
    }
    return result::kWrite;
}

std::string DiskWriter::NextTemporary(int folder, const Parts& entry) {
    std::string name = ".kelvora-" + process_ + "-" + std::to_string(++counter_) + ".part";
    if (listener_) listener_->Creating(folder, entry, name);
    return name;
}

int32_t DiskWriter::MakeSymlink(const Parts& parts, const std::string& target) {
    int32_t code = result::kMakeFolder;
    int parent = OpenParent(parts, code);
    if (parent < 0) return code;
    const std::string temporary = NextTemporary(parent, parts);
    if (symlinkat(target.c_str(), parent, temporary.c_str()) != 0) return WriteErrorCode(errno);
    return PutInPlace(parent, temporary, parts.back(), keep_);
}

int32_t DiskWriter::MakeHardLink(const Parts& parts, const Parts& target) {
    if (parts == target) return result::kOk;  // a link to itself: the file is already there
    int32_t code = result::kMakeFolder;
    UniqueFd target_folder = Walk(target, target.size() - 1, code);
    if (target_folder.Get() < 0) return code;
    int parent = OpenParent(parts, code);
    if (parent < 0) return code;
    // Flags 0: a link at the target is linked itself, never followed.
    const std::string temporary = NextTemporary(parent, parts);
    if (linkat(target_folder.Get(), target.back().c_str(), parent, temporary.c_str(), 0) != 0)
        return WriteErrorCode(errno);
    return PutInPlace(parent, temporary, parts.back(), keep_);
}

void DiskWriter::FinishFolders() {
    for (const auto& [parts, mtime] : folder_times_) {
        int32_t ignored = 0;
        UniqueFd folder = Walk(parts, parts.size(), ignored);
        const timespec times[2] = {{0, UTIME_OMIT}, mtime};
        if (folder.Get() >= 0) futimens(folder.Get(), times);
    }
    folder_times_.clear();
}

}  // namespace archivers
