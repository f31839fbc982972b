// Reading one archive with libarchive, limited to one module's formats.
#ifndef KELVORA_ARCHIVERS_READER_H
#define KELVORA_ARCHIVERS_READER_H

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "arj_reader.h"
#include "file_source.h"
#include "password.h"
#include "read_ahead.h"

namespace archivers {

enum class Kind { Lha, Zip, Cab, Tar, Rar, Arj };

// The format code of an ARJ archive, read by our own reader: libarchive has
// none, and none of its codes is this.
inline constexpr int kFormatArj = 0x7F0000;

// Result codes of the archiver API that our modules answer.
namespace result {
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kDiskFull = 0x8005;
inline constexpr int32_t kEncrypted = 0x800A;
inline constexpr int32_t kChecksum = 0x800C;
inline constexpr int32_t kExists = 0x8010;
inline constexpr int32_t kMakeFolder = 0x8012;
inline constexpr int32_t kWrite = 0x8013;
inline constexpr int32_t kBrokenHeader = 0x8017;
inline constexpr int32_t kOpenArchive = 0x8018;
inline constexpr int32_t kReadArchive = 0x8019;
inline constexpr int32_t kNotArchive = 0x801A;
inline constexpr int32_t kBadCommand = 0x801C;
inline constexpr int32_t kCancelled = 0x8020;
}  // namespace result

class Reader {
public:
    Reader() = default;
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // 0, or kOpenArchive when the file cannot be read, kNotArchive when it is
    // none of the module's formats, kEncrypted when its entries cannot be
    // listed without a password. On success the first entry is read.
    // `passwords`, when given, is asked for the password of encrypted ZIP
    // entries (the only encryption libarchive can undo); other encrypted
    // entries are kEncrypted.
    int32_t Open(Kind kind, const std::string& path, PasswordSource* passwords = nullptr);

    // The current entry; null after the last one. Name tables of ar archives
    // and the root folder of an ISO 9660 image are never entries.
    archive_entry* Entry() const { return entry_; }
    // Moves to the next entry: 0, or kBrokenHeader / kReadArchive / kChecksum.
    int32_t Next();
    // True when the current entry's data can be read: it is not encrypted,
    // or it may be decrypted with a password from the source.
    bool CanRead() const { return entry_ && (!archive_entry_is_encrypted(entry_) || passwords_); }
    // True once the archive cannot be read any further: libarchive failed
    // for good, or an entry's data could not be read. Every call then fails.
    bool Broken() const { return broken_; }
    // After the last entry: reads what is left of a checked stream (0 or kChecksum / kReadArchive).
    int32_t Finish();
    // Reads the current entry's data, handing each block to `sink`
    // (returns 0 to go on, a result code to stop with it). Data that ends
    // before the size in the entry's header is kBrokenHeader.
    template <class Sink>
    int32_t ReadData(Sink sink);
    // Bytes of the archive file consumed so far, for progress; -1 once broken.
    int64_t BytesRead() const;
    // libarchive's codes of the archive's format (0 before the first entry)
    // and compression layers.
    int Format() const { return format_; }
    bool HasFilter(int code) const;
    // A single compressed file without an archive format inside.
    bool IsRawFile() const { return (Format() & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_RAW; }

private:
    int32_t OpenWith(Kind kind, const std::string& path);
    static const char* NextPassword(archive*, void* reader);
    // One header, past ar name tables and an image's root: libarchive's status.
    int ReadHeader();
    bool IsNameTable() const;
    bool IsVolumeRoot() const;
    bool HeadersEncrypted() const;
    // The result code for libarchive's last error, by its message and number.
    int32_t Failure(int32_t otherwise) const;
    int32_t DataFailure(int status);
    int32_t DataEnd(int64_t end) const;
    // A compressed tar (cpio, ...) decompressed ahead on a thread of its own.
    int32_t OpenStream(const std::string& path);
    static la_ssize_t ReadStream(archive*, void* reader, const void** block);
    // ARJ, through our own reader: its entries are given as libarchive's.
    int32_t OpenArj(const std::string& path);
    int32_t NextArj();
    int32_t ReadArjData(const std::function<int32_t(const char*, size_t, int64_t)>& sink);

    std::unique_ptr<ReadAhead> stream_;  // tar.gz, tar.xz, tar.zst, tar.bz2 and the like
    bool gzip_ = false;                  // the stream is gzip, whose own checks we make
    std::unique_ptr<FileSource> source_;  // every other archive
    archive* archive_ = nullptr;
    archive_entry* entry_ = nullptr;
    // libarchive must not be called again but to free the archive: after
    // ARCHIVE_FATAL it is in no state to be (3.6.2 crashes skipping CAB data).
    bool broken_ = false;
    int format_ = 0;
    std::vector<int> filters_;
    PasswordSource* passwords_ = nullptr;  // ZIP only
    Secret password_;  // the last one given; libarchive keeps (and clears) its own copies
    bool asked_ = false;
    PasswordAnswer answer_ = PasswordAnswer::Given;  // None or Cancelled: never asked again
    std::unique_ptr<arj::Reader> arj_;
    arj::Entry arj_current_;
    archive_entry* arj_entry_ = nullptr;  // owned: what Entry() gives for an ARJ entry
};

template <class Sink>
int32_t Reader::ReadData(Sink sink) {
    if (broken_ || !entry_) return result::kReadArchive;
    if (!CanRead()) return result::kEncrypted;
    if (arj_) return ReadArjData([&](const char* data, size_t size, int64_t offset) { return sink(data, size, offset); });
    int64_t end = 0;
    for (;;) {
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        int status = archive_read_data_block(archive_, &block, &size, &offset);
        if (status == ARCHIVE_EOF) return DataEnd(end);
        if (status != ARCHIVE_OK) return DataFailure(status);
        end = std::max<int64_t>(end, offset + static_cast<int64_t>(size));
        if (int32_t code = sink(static_cast<const char*>(block), size, offset); code != result::kOk) return code;
    }
}

}  // namespace archivers

#endif
