// A gzip file decompressed for libarchive with every member's CRC-32 and
// length checked (libarchive's own gzip reader does not check them). The
// inflating is ISA-L's where the build found it, zlib's otherwise.
#ifndef KELVORA_ARCHIVERS_GZIP_SOURCE_H
#define KELVORA_ARCHIVERS_GZIP_SOURCE_H

#include <sys/types.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "block.h"
#include "disk_writer.h"
#include "stream_source.h"

namespace archivers {

class GzipSource : public StreamSource {
public:
    // Bytes asked of the file at a time, unless a test asks for fewer.
    static constexpr size_t kReadSize = 1 << 17;

    // True when a file's first bytes are the gzip signature.
    static bool IsGzip(std::string_view head);

    explicit GzipSource(const std::string& path, size_t read_size = kReadSize);
    ~GzipSource() override;
    GzipSource(const GzipSource&) = delete;
    GzipSource& operator=(const GzipSource&) = delete;

    bool Opened() const;
    // The next decompressed block, in a buffer of the source's own: its
    // size, 0 at the end, -1 on an error (then Error() says what).
    ssize_t Read(const void** block);
    ssize_t ReadInto(unsigned char* out, size_t size) override;
    const std::string& Error() const override { return error_; }
    // EILSEQ: libarchive's number for damaged data ("file format" errors).
    int ErrorNumber() const override { return EILSEQ; }
    int64_t BytesRead() const override { return consumed_; }
    std::vector<int> Filters() const override;

    // What the inflater sees: the unread input, the room left for output.
    struct Buffers {
        unsigned char* in = nullptr;
        size_t in_left = 0;
        unsigned char* out = nullptr;
        size_t out_left = 0;
    };
    class Inflater;

private:
    bool Fill();
    bool NextMember();

    UniqueFd file_;
    std::unique_ptr<Inflater> inflater_;
    size_t read_size_;
    Block input_;
    std::optional<Block> output_;  // Read's own, made when first asked for
    Buffers io_;
    bool between_members_ = false;
    bool finished_ = false;
    int64_t consumed_ = 0;
    std::string error_;
};

}  // namespace archivers

#endif
