// Writes entries below one destination folder and never outside it: every
// folder is opened without following links, and files are written under a
// temporary name and renamed into place only when complete. A file the user
// had there is never lost: one with the same contents stays untouched, and
// any other is set aside before the new one takes its name.
#ifndef KELVORA_ARCHIVERS_DISK_WRITER_H
#define KELVORA_ARCHIVERS_DISK_WRITER_H

#include <sys/stat.h>
#include <time.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "unique_fd.h"

namespace archivers {

using Parts = std::vector<std::string>;

// The first `count` parts joined with "/" (all of them by default): "a/b/c".
std::string Joined(const Parts& parts, size_t count = SIZE_MAX);
using platform::UniqueFd;
// An open folder, shared by the writer's path and the files being written in it.
using Folder = std::shared_ptr<const UniqueFd>;

// Temporary names are ".kelvora-PID-N.part": the writing process and a counter.
// A file of the user's set aside is ".kelvora-PID-N.old" in its own folder.
inline constexpr const char* kTemporaryPrefix = ".kelvora-";
inline constexpr const char* kTemporarySuffix = ".part";
inline constexpr const char* kAsideSuffix = ".old";

// Makes `destination` and its missing parents (links in them are followed:
// the destination is the user's); answers the folders it made, outermost first.
std::vector<std::string> MakeDestination(const std::string& destination);

// A file that must not be replaced: the archive being extracted.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool set = false;
};

class DiskWriter;

// A file being written; removed again unless Commit succeeds.
class PendingFile {
public:
    PendingFile(DiskWriter& writer, Folder folder, UniqueFd file, std::string temporary, Parts entry)
        : writer_(&writer), folder_(std::move(folder)), file_(std::move(file)), temporary_(std::move(temporary)),
          entry_(std::move(entry)) {}
    PendingFile(PendingFile&&) = default;
    PendingFile& operator=(PendingFile&&) = default;
    ~PendingFile();
    int32_t Write(const char* data, size_t size, int64_t offset);
    // Sets the time and the final name. `sparse_size` is the size of a
    // sparse file, whose data may end in a hole; 0 for any other file,
    // which is never padded.
    int32_t Commit(int64_t sparse_size, const timespec& mtime);

private:
    DiskWriter* writer_;
    Folder folder_;
    UniqueFd file_;
    std::string temporary_;
    Parts entry_;
    int64_t end_ = 0;
    bool committed_ = false;
};

// Told of every name of the writer's own before it is made, so that whoever
// runs the writer can remove what an interrupted run leaves behind and put
// what was set aside where the user can find it.
class TemporaryListener {
public:
    virtual ~TemporaryListener() = default;
    // `folder` is open on the folder that will hold `name`; `entry` is the
    // entry being made there (its folders below the destination, then its name).
    virtual void Creating(int folder, const Parts& entry, const std::string& name) = 0;
    // The user's file at the entry's name is about to be renamed to `name`
    // in the same folder, to make room for the entry.
    virtual void SettingAside(int folder, const Parts& entry, const std::string& name) = 0;
    // Now and then while a file already there is compared with an entry's:
    // work goes on, though no archive bytes are read.
    virtual void Comparing() {}
};

class DiskWriter {
public:
    // Without a listener, a file set aside keeps a numbered name beside the
    // entry's ("readme (1).txt").
    void SetListener(TemporaryListener* listener) { listener_ = listener; }

    // Creates the destination (with its parents) and opens it: 0 or kMakeFolder.
    // The file `keep` (the archive itself) is never replaced by an entry.
    int32_t Open(const std::string& destination, const std::string& keep);

    int32_t MakeFolder(const Parts& parts, mode_t mode, const timespec& mtime);
    // On success `file` holds the new file, open for writing. A file that a
    // later hard link may bring data to (`linkable`) is remembered for it.
    int32_t BeginFile(const Parts& parts, mode_t mode, std::optional<PendingFile>& file, bool linkable = false);
    int32_t MakeSymlink(const Parts& parts, const std::string& target);
    // A second name for the file at `target`; a symbolic link there is
    // linked only when it still resolves inside from `parts`.
    int32_t MakeHardLink(const Parts& parts, const Parts& target);
    // A hard link that brings the data of the file it names (cpio keeps the
    // data with a file's last name). `file` is a new file that takes the
    // place of `target` when this run wrote it, else of `parts`; after its
    // Commit, FinishLinkedFile gives every name of the group the new file.
    int32_t BeginLinkedFile(const Parts& parts, const Parts& target, mode_t mode, std::optional<PendingFile>& file);
    int32_t FinishLinkedFile(const Parts& parts, const Parts& target);
    // Gives the folders made from entries their stored times, and those this
    // extraction made the archive's mode (less the umask), now that nothing
    // more is written into them.
    void FinishFolders();

    // Folders opened so far (each one openat call), for the tests.
    size_t FoldersOpened() const { return folders_opened_; }

private:
    friend class PendingFile;

    // The folder parts[0..count), reached from the folders kept open along
    // the previous path, or none with `code` set. Missing folders are made
    // when `make`.
    Folder OpenFolders(const Parts& parts, size_t count, bool make, int32_t& code);
    Folder OpenParent(const Parts& parts, int32_t& code) { return OpenFolders(parts, parts.size() - 1, true, code); }
    Folder OpenChild(int folder, const std::string& name, bool make, int32_t& code);
    int32_t Link(const Parts& parts, const Parts& target);
    // The first name of the file that `parts` names.
    Parts FirstName(const Parts& parts) const;
    void RememberLink(const Parts& parts, const Parts& target);
    // A new temporary name in `folder`, which holds `entry`.
    std::string NextTemporary(int folder, const Parts& entry);
    std::string OwnName(const char* suffix);
    // Renames `temporary` in `folder` to the entry's name; afterwards the
    // temporary name is gone, whatever happened.
    int32_t PutInPlace(int folder, const std::string& temporary, const Parts& entry);
    // `placed`: the entry's name is the new file's; `moved`: the temporary
    // name is certainly gone with it.
    int32_t Place(int folder, const std::string& temporary, const Parts& entry, bool& placed, bool& moved);
    // Moves the user's file at the entry's name out of its way; false when it stays.
    bool SetAside(int folder, const Parts& entry);

    FileIdentity keep_;
    Folder root_;
    // Folders below the root along the last path used, outermost first.
    Parts open_path_;
    std::vector<Folder> open_fds_;
    size_t folders_opened_ = 0;
    struct FolderEntry {
        Parts parts;
        timespec mtime;
        std::optional<mode_t> mode;
    };
    std::vector<FolderEntry> folders_;
    std::set<std::pair<dev_t, ino_t>> made_folders_;  // made by this extraction
    std::set<std::pair<dev_t, ino_t>> made_files_;    // files and links made by it, hard links aside
    mode_t umask_ = 022;
    // Names written as linkable files (joined with "/"), and the names hard-linked
    // to each of them: what a hard link that brings data must replace.
    std::set<std::string> files_;
    std::map<std::string, std::vector<Parts>> link_groups_;
    std::map<std::string, Parts> group_of_;  // a linked name: the file's first name
    std::string process_;  // part of every temporary name
    unsigned counter_ = 0;
    TemporaryListener* listener_ = nullptr;
};

}  // namespace archivers

#endif
