#include "filter_source.h"

#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace archivers {

bool FilterSource::Handles(const std::string& path) {
    platform::UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    unsigned char magic[10] = {};
    if (file.Get() < 0 || read(file.Get(), magic, sizeof magic) != sizeof magic) return false;
    static constexpr unsigned char kZstd[4] = {0x28, 0xB5, 0x2F, 0xFD};
    if (std::memcmp(magic, kZstd, sizeof kZstd) == 0) return true;
    // "BZh", the block size, then the magic of a first block or of the end
    // of an empty stream: a tar whose first name starts "BZh" is no bzip2.
    static constexpr unsigned char kBlock[6] = {0x31, 0x41, 0x59, 0x26, 0x53, 0x59};
    static constexpr unsigned char kEnd[6] = {0x17, 0x72, 0x45, 0x38, 0x50, 0x90};
    return std::memcmp(magic, "BZh", 3) == 0 && magic[3] >= '1' && magic[3] <= '9' &&
           (std::memcmp(magic + 4, kBlock, 6) == 0 || std::memcmp(magic + 4, kEnd, 6) == 0);
}

FilterSource::FilterSource(const std::string& path)
    : file_(open(path.c_str(), O_RDONLY | O_CLOEXEC)), archive_(archive_read_new()) {
    if (!Opened()) return;
    archive_read_support_filter_bzip2(archive_);
    archive_read_support_filter_zstd(archive_);
    archive_read_support_format_raw(archive_);
    archive_entry* entry = nullptr;
    if (archive_read_open_fd(archive_, file_.Get(), kReadSize) != ARCHIVE_OK ||
        archive_read_next_header(archive_, &entry) != ARCHIVE_OK) {
        Fail();
        return;
    }
    for (int i = 0, n = archive_filter_count(archive_); i < n; ++i)
        if (int code = archive_filter_code(archive_, i); code != ARCHIVE_FILTER_NONE) filters_.push_back(code);
}

FilterSource::~FilterSource() {
    if (archive_) archive_read_free(archive_);
}

void FilterSource::Fail() {
    failed_ = true;
    const char* message = archive_error_string(archive_);
    error_ = message ? message : "read error";
    error_number_ = archive_errno(archive_);
}

ssize_t FilterSource::ReadInto(unsigned char* out, size_t size) {
    if (failed_ || !Opened()) return -1;
    la_ssize_t n = archive_read_data(archive_, out, size);
    if (n < 0) {
        Fail();
        return -1;
    }
    return n;
}

int64_t FilterSource::BytesRead() const { return archive_ ? archive_filter_bytes(archive_, -1) : 0; }

}  // namespace archivers
