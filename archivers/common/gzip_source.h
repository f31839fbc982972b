// A gzip file decompressed for libarchive with every member's CRC-32 and
// length checked (libarchive's own gzip reader does not check them).
#ifndef KELVORA_ARCHIVERS_GZIP_SOURCE_H
#define KELVORA_ARCHIVERS_GZIP_SOURCE_H

#include <zlib.h>

#include <string>

#include "block.h"
#include "disk_writer.h"

namespace archivers {

class GzipSource {
public:
    // True when the file starts with the gzip signature.
    static bool IsGzip(const std::string& path);

    explicit GzipSource(const std::string& path);
    ~GzipSource();
    GzipSource(const GzipSource&) = delete;
    GzipSource& operator=(const GzipSource&) = delete;

    bool Opened() const { return file_.Get() >= 0 && ready_; }
    // The next decompressed block: its size, 0 at the end, -1 on an error
    // (then Error() says what).
    ssize_t Read(const void** block);
    // Reads what is left, so that the last member's check is made.
    bool Finish();
    const std::string& Error() const { return error_; }
    // Compressed bytes consumed so far.
    int64_t BytesRead() const { return consumed_; }

private:
    bool Fill();

    UniqueFd file_;
    z_stream stream_{};
    bool ready_ = false;
    bool finished_ = false;
    Block input_, output_;
    int64_t consumed_ = 0;
    std::string error_;
};

}  // namespace archivers

#endif
