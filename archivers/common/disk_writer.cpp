#include "disk_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "names.h"
#include "process.h"
#include "reader.h"
#include "trash.h"

namespace archivers {
namespace {

int32_t WriteErrorCode(int error) {
    return error == ENOSPC || error == EDQUOT ? result::kDiskFull : result::kWrite;
}

int OpenFolder(int at, const std::string& name) {
    return openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// False when `name` in `folder` is a symbolic link that leads out of the
// destination from where `parts` puts it.
bool LinkedStaysInside(int folder, const std::string& name, const Parts& parts) {
    struct stat st {};
    if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISLNK(st.st_mode)) return true;
    const std::optional<std::string> target = platform::LinkTarget(folder, name);
    return target && LinkStaysInside(parts, *target);
}

}  // namespace

std::string Joined(const Parts& parts, size_t count) {
    std::string joined;
    for (size_t i = 0; i < std::min(count, parts.size()); ++i) joined += (i ? "/" : "") + parts[i];
    return joined;
}

PendingFile::~PendingFile() {
    if (!committed_ && folder_ && !temporary_.empty()) unlinkat(folder_->Get(), temporary_.c_str(), 0);
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

int32_t PendingFile::Commit(int64_t sparse_size, const timespec& mtime) {
    if (sparse_size > end_ && ftruncate(file_.Get(), sparse_size) != 0) return WriteErrorCode(errno);
    const timespec times[2] = {{0, UTIME_OMIT}, mtime};
    futimens(file_.Get(), times);
    if (close(file_.Release()) != 0) return WriteErrorCode(errno);
    committed_ = true;  // PutInPlace removes the temporary name itself
    return writer_->PutInPlace(folder_->Get(), temporary_, entry_);
}

std::vector<std::string> MakeDestination(const std::string& destination) {
    std::vector<std::string> made;
    for (size_t slash = destination.find('/', 1);; slash = destination.find('/', slash + 1)) {
        std::string prefix = destination.substr(0, slash);
        if (!prefix.empty() && mkdir(prefix.c_str(), 0755) == 0) made.push_back(prefix);
        if (slash == std::string::npos) break;
    }
    return made;
}

int32_t DiskWriter::Open(const std::string& destination, const std::string& keep) {
    process_ = std::to_string(platform::ProcessId());
    // Read once: the umask applies to the modes folders are given at the end,
    // as the kernel applies it to files when they are made.
    umask_ = platform::FileCreationMask();
    struct stat st {};
    if (stat(keep.c_str(), &st) == 0) keep_ = {st.st_dev, st.st_ino, true};
    const std::string path = destination.empty() ? "." : destination;
    MakeDestination(path);
    UniqueFd root(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root) return result::kMakeFolder;
    root_ = std::make_shared<const UniqueFd>(std::move(root));
    return result::kOk;
}

Folder DiskWriter::OpenChild(int folder, const std::string& name, bool make, int32_t& code) {
    ++folders_opened_;
    UniqueFd child(OpenFolder(folder, name));
    if (!child && errno == ENOENT && make) {
        const bool made = mkdirat(folder, name.c_str(), 0755) == 0;
        child = UniqueFd(OpenFolder(folder, name));
        struct stat st {};
        if (made && child && fstat(child.Get(), &st) == 0) made_folders_.emplace(st.st_dev, st.st_ino);
    }
    if (child) return std::make_shared<const UniqueFd>(std::move(child));
    const int error = errno;
    // A link in the way is never followed; a file in the way stays; out of
    // descriptors (EMFILE) is a folder that cannot be made.
    code = error == ELOOP ? result::kBrokenHeader : result::kMakeFolder;
    struct stat st {};
    if (error == ENOTDIR && fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
        code = result::kBrokenHeader;
    return nullptr;
}

// Entries come in tree order, so the next one mostly shares all but the last
// folders with the one before: those stay open and only the rest is opened.
// A folder above the deepest one open is served without closing any.
Folder DiskWriter::OpenFolders(const Parts& parts, size_t count, bool make, int32_t& code) {
    size_t kept = 0;
    while (kept < count && kept < open_path_.size() && open_path_[kept] == parts[kept]) ++kept;
    if (kept == count) return kept == 0 ? root_ : open_fds_[kept - 1];
    open_path_.resize(kept);
    open_fds_.resize(kept);
    for (; kept < count; ++kept) {
        Folder next = OpenChild(kept == 0 ? root_->Get() : open_fds_.back()->Get(), parts[kept], make, code);
        if (!next) return nullptr;
        open_fds_.push_back(std::move(next));
        open_path_.push_back(parts[kept]);
    }
    return kept == 0 ? root_ : open_fds_.back();
}

int32_t DiskWriter::MakeFolder(const Parts& parts, mode_t mode, const timespec& mtime) {
    int32_t code = result::kMakeFolder;
    const Folder parent = OpenParent(parts, code);
    if (!parent) return code;
    // The owner keeps full access so that the folder can be filled; the umask
    // applies. Its own mode comes once its contents are written.
    const bool made = mkdirat(parent->Get(), parts.back().c_str(), (mode & 0777) | 0700) == 0;
    struct stat st {};
    if (fstatat(parent->Get(), parts.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return result::kMakeFolder;
    if (S_ISLNK(st.st_mode)) return result::kBrokenHeader;
    if (!S_ISDIR(st.st_mode)) return result::kMakeFolder;
    // Only a folder this extraction made gets the archive's mode; one the
    // user had keeps its own, and so does one of a format that stores none.
    std::optional<mode_t> final_mode;
    if ((mode & 0777) != 0 && (made || made_folders_.count({st.st_dev, st.st_ino})))
        final_mode = (mode & 0777) & ~umask_;
    folders_.push_back({parts, mtime, final_mode});
    return result::kOk;
}

int32_t DiskWriter::BeginFile(const Parts& parts, mode_t mode, std::optional<PendingFile>& file, bool linkable) {
    int32_t code = result::kMakeFolder;
    // The file shares its folder with the writer, which may leave it before Commit.
    Folder folder = OpenParent(parts, code);
    if (!folder) return code;
    mode_t permissions = (mode & 0777) ? (mode & 0777) : 0644;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temporary = NextTemporary(folder->Get(), parts);
        int fd = openat(folder->Get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        permissions);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return WriteErrorCode(errno);
        file.emplace(*this, std::move(folder), UniqueFd(fd), std::move(temporary), parts);
        if (linkable) files_.insert(Joined(parts));
        return result::kOk;
    }
    return result::kWrite;
}

std::string DiskWriter::NextTemporary(int folder, const Parts& entry) {
    std::string name = OwnName(kTemporarySuffix);
    if (listener_) listener_->Creating(folder, entry, name);
    return name;
}

std::string DiskWriter::OwnName(const char* suffix) {
    return kTemporaryPrefix + process_ + "-" + std::to_string(++counter_) + suffix;
}

int32_t DiskWriter::PutInPlace(int folder, const std::string& temporary, const Parts& entry) {
    struct stat made {};
    bool placed = false;
    bool moved = false;
    int32_t code = result::kWrite;
    if (fstatat(folder, temporary.c_str(), &made, AT_SYMLINK_NOFOLLOW) == 0)
        code = Place(folder, temporary, entry, placed, moved);
    // A hard link's file is this run's only when its first name is.
    if (placed && made.st_nlink == 1) made_files_.emplace(made.st_dev, made.st_ino);
    // Whatever stayed (a copy dropped, a failure, a replacing rename onto
    // another link to the same file, which leaves both names) is removed.
    if (!moved) unlinkat(folder, temporary.c_str(), 0);
    return code;
}

// Without replacing anything, unless it is what an earlier entry of this run
// made. A file or link of the user's with the same contents stays as it is
// (the new copy is dropped); another one is set aside first. A folder in the
// way stays, and so does the kept file: both fail. Links are never followed.
int32_t DiskWriter::Place(int folder, const std::string& temporary, const Parts& entry, bool& placed,
                          bool& moved) {
    const std::string& name = entry.back();
    const int error = platform::RenameNoReplace(folder, temporary, folder, name);
    moved = placed = error == 0;
    if (error != EEXIST) return placed ? result::kOk : result::kWrite;
    struct stat old {};
    if (fstatat(folder, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0) return result::kWrite;
    if (keep_.set && old.st_dev == keep_.device && old.st_ino == keep_.inode) return result::kExists;
    if (S_ISDIR(old.st_mode)) return result::kWrite;
    const auto comparing = [this] {
        if (listener_) listener_->Comparing();
    };
    if (made_files_.count({old.st_dev, old.st_ino}))
        placed = renameat(folder, temporary.c_str(), folder, name.c_str()) == 0;
    else if (platform::SameContents(folder, temporary, folder, name, comparing))
        return result::kOk;
    else
        moved = placed = SetAside(folder, entry) && platform::RenameNoReplace(folder, temporary, folder, name) == 0;
    return placed ? result::kOk : result::kWrite;
}

bool DiskWriter::SetAside(int folder, const Parts& entry) {
    if (!listener_) return platform::KeepBeside(folder, entry.back(), entry.back());
    const std::string aside = OwnName(kAsideSuffix);
    // Told first: whoever runs the writer puts the file back or away even
    // when this process ends right after the rename.
    listener_->SettingAside(folder, entry, aside);
    return platform::RenameNoReplace(folder, entry.back(), folder, aside) == 0;
}

int32_t DiskWriter::MakeSymlink(const Parts& parts, const std::string& target) {
    int32_t code = result::kMakeFolder;
    const Folder parent = OpenParent(parts, code);
    if (!parent) return code;
    const std::string temporary = NextTemporary(parent->Get(), parts);
    if (symlinkat(target.c_str(), parent->Get(), temporary.c_str()) != 0) return WriteErrorCode(errno);
    return PutInPlace(parent->Get(), temporary, parts);
}

int32_t DiskWriter::MakeHardLink(const Parts& parts, const Parts& target) {
    if (parts == target) return result::kOk;  // a link to itself: the file is already there
    int32_t code = Link(parts, target);
    if (code == result::kOk) RememberLink(parts, target);
    return code;
}

int32_t DiskWriter::Link(const Parts& parts, const Parts& target) {
    int32_t code = result::kMakeFolder;
    // Held: reaching the new name's folder may leave the target's.
    const Folder target_folder = OpenFolders(target, target.size() - 1, false, code);
    if (!target_folder) return code;
    const Folder folder = OpenParent(parts, code);
    if (!folder) return code;
    const int parent = folder->Get();
    // Flags 0: a link at the target is linked itself, never followed.
    const std::string temporary = NextTemporary(parent, parts);
    if (linkat(target_folder->Get(), target.back().c_str(), parent, temporary.c_str(), 0) != 0)
        return WriteErrorCode(errno);
    // A symbolic link resolves from where it now is; checked on the new name,
    // which nobody else can change under us.
    if (!LinkedStaysInside(parent, temporary, parts)) {
        unlinkat(parent, temporary.c_str(), 0);
        return result::kBrokenHeader;
    }
    return PutInPlace(parent, temporary, parts);
}

Parts DiskWriter::FirstName(const Parts& parts) const {
    auto group = group_of_.find(Joined(parts));
    return group == group_of_.end() ? parts : group->second;
}

void DiskWriter::RememberLink(const Parts& parts, const Parts& target) {
    Parts first = FirstName(target);
    link_groups_[Joined(first)].push_back(parts);
    group_of_[Joined(parts)] = std::move(first);
}

// The earlier names were written as an empty file: the data goes into a new
// file at the first name (never into the file already there) and all names
// are linked to it afterwards. A first name this run did not write (not
// selected, or failed) is left alone, and the data stays with `parts`.
int32_t DiskWriter::BeginLinkedFile(const Parts& parts, const Parts& target, mode_t mode,
                                    std::optional<PendingFile>& file) {
    const Parts first = FirstName(target);
    return BeginFile(files_.count(Joined(first)) ? first : parts, mode, file);
}

int32_t DiskWriter::FinishLinkedFile(const Parts& parts, const Parts& target) {
    const Parts first = FirstName(target);
    if (first == parts || !files_.count(Joined(first))) return result::kOk;
    int32_t failure = result::kOk;
    for (const Parts& name : link_groups_[Joined(first)])
        if (int32_t code = Link(name, first); failure == result::kOk) failure = code;
    int32_t code = Link(parts, first);
    if (code == result::kOk) RememberLink(parts, first);
    return failure != result::kOk ? failure : code;
}

// Sorted backwards, children come before their parents (a folder that loses
// its owner's search bit is then done with) and the folders open along the
// path serve the next one: each folder is opened once.
void DiskWriter::FinishFolders() {
    std::stable_sort(folders_.begin(), folders_.end(),
                     [](const auto& a, const auto& b) { return a.parts > b.parts; });
    for (const FolderEntry& entry : folders_) {
        int32_t ignored = 0;
        const Folder folder = OpenFolders(entry.parts, entry.parts.size(), false, ignored);
        if (!folder || entry.parts.empty()) continue;
        const timespec times[2] = {{0, UTIME_OMIT}, entry.mtime};
        futimens(folder->Get(), times);
        if (entry.mode) fchmod(folder->Get(), *entry.mode);
    }
    folders_.clear();
    open_path_.clear();
    open_fds_.clear();
}

}  // namespace archivers
