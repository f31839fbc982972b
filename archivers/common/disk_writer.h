// Writes entries below one destination folder and never outside it: every
// folder is opened without following links, and files are written under a
// temporary name and renamed into place only when complete.
#ifndef KELVORA_ARCHIVERS_DISK_WRITER_H
#define KELVORA_ARCHIVERS_DISK_WRITER_H

#include <sys/stat.h>
#include <time.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "unique_fd.h"

namespace archivers {

using Parts = std::vector<std::string>;
using platform::UniqueFd;


// A file that must not be replaced: the archive being extracted.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool set = false;
};

// A file being written; removed again unless Commit succeeds.
class PendingFile {
public:
    PendingFile(UniqueFd folder, UniqueFd file, std::string temporary, std::string name, FileIdentity keep)
        : folder_(std::move(folder)), file_(std::move(file)), temporary_(std::move(temporary)), name_(std::move(name)),
          keep_(keep) {}
    PendingFile(PendingFile&&) = default;
    PendingFile& operator=(PendingFile&&) = default;
    ~PendingFile();
    int32_t Write(const char* data, size_t size, int64_t offset);
    // Sets the size (trailing holes), time and the final name.
    int32_t Commit(int64_t size, const timespec& mtime);

private:
    UniqueFd folder_;
    UniqueFd file_;
    std::string temporary_, name_;
    FileIdentity keep_;
    int64_t end_ = 0;
    bool committed_ = false;
};

// Told of every temporary name before it is made, so that whoever runs the
// writer can remove what an interrupted run leaves behind.
class TemporaryListener {
public:
    virtual ~TemporaryListener() = default;
    // `folder` is open on the folder that will hold `name`; `entry` is the
    // entry being made there (its folders below the destination, then its name).
    virtual void Creating(int folder, const Parts& entry, const std::string& name) = 0;
};

class DiskWriter {
public:
    void SetListener(TemporaryListener* listener) { listener_ = listener; }

    // Creates the destination (with its parents) and opens it: 0 or kMakeFolder.
    // The file `keep` (the archive itself) is never replaced by an entry.
    int32_t Open(const std::string& destination, const std::string& keep);

    int32_t MakeFolder(const Parts& parts, mode_t mode, const timespec& mtime);
    // On success `file` holds the new file, open for writing.
    int32_t BeginFile(const Parts& parts, mode_t mode, std::optional<PendingFile>& file);
    int32_t MakeSymlink(const Parts& parts, const std::string& target);
    int32_t MakeHardLink(const Parts& parts, const Parts& target);
    // Gives the folders made from entries their stored times.
    void FinishFolders();

private:
    // The folder that holds parts[0..n-1), made where missing: an fd or -1 with `code` set.
    int OpenParent(const Parts& parts, int32_t& code);
    UniqueFd Walk(const Parts& parts, size_t count, int32_t& code) const;
    // A new temporary name in `folder`, which holds `entry`.
    std::string NextTemporary(int folder, const Parts& entry);

    FileIdentity keep_;
    UniqueFd root_;
    Parts cached_parent_;
    UniqueFd cached_fd_;
    std::vector<std::pair<Parts, timespec>> folder_times_;
    std::string process_;  // part of every temporary name
    unsigned counter_ = 0;
    TemporaryListener* listener_ = nullptr;
};

}  // namespace archivers

#endif
