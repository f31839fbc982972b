// The archive file handed to libarchive block by block, so that every block
// read is noted (input_watch.h); seeking and skipping stay as cheap as
// libarchive's own file reader makes them.
#ifndef KELVORA_ARCHIVERS_FILE_SOURCE_H
#define KELVORA_ARCHIVERS_FILE_SOURCE_H

#include <archive.h>

#include <string>

#include "block.h"
#include "unique_fd.h"

namespace archivers {

// The first `size` bytes of the file at `path`: fewer when it is shorter, none when it cannot be read.
std::string ReadHead(const std::string& path, size_t size);

class FileSource {
public:
    explicit FileSource(const std::string& path);
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // Opens `a` on this file: libarchive's status.
    int OpenIn(archive* a);

private:
    static la_ssize_t Read(archive* a, void* self, const void** block);
    static la_int64_t Skip(archive* a, void* self, la_int64_t request);
    static la_int64_t Seek(archive* a, void* self, la_int64_t offset, int whence);

    platform::UniqueFd file_;
    Block buffer_;
};

}  // namespace archivers

#endif
