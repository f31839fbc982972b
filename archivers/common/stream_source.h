// A compressed archive file decompressed into a plain byte stream, which
// libarchive then reads as if the file held it: the part of reading an
// archive that ReadAhead runs on a thread of its own.
#ifndef KELVORA_ARCHIVERS_STREAM_SOURCE_H
#define KELVORA_ARCHIVERS_STREAM_SOURCE_H

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace archivers {

class StreamSource {
public:
    virtual ~StreamSource() = default;

    // Decompresses up to `size` bytes into `out`: how many (fewer is no
    // sign of the end), 0 at the end, -1 on an error.
    virtual ssize_t ReadInto(unsigned char* out, size_t size) = 0;
    // After -1: what went wrong, in the words and with the error number that
    // libarchive gives for it, so that it maps to the same result code.
    virtual const std::string& Error() const = 0;
    virtual int ErrorNumber() const = 0;
    // Compressed bytes consumed so far.
    virtual int64_t BytesRead() const = 0;
    // libarchive's codes of the compression undone (ARCHIVE_FILTER_*).
    virtual std::vector<int> Filters() const = 0;
};

}  // namespace archivers

#endif
