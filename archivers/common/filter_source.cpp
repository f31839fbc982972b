#include "filter_source.h"

#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>


namespace archivers {

bool FilterSource::Handles(std::string_view head) {
    if (head.starts_with("\x28\xB5\x2F\xFD")) return true;  // zstd
    // "BZh", the block size, then the magic of a first block or of the end
    // of an empty stream: a tar whose first name starts "BZh" is no bzip2.
    constexpr std::string_view kBlock("\x31\x41\x59\x26\x53\x59"), kEnd("\x17\x72\x45\x38\x50\x90");
    return head.size() >= 10 && head.starts_with("BZh") && head[3] >= '1' && head[3] <= '9' &&
           (head.substr(4, 6) == kBlock || head.substr(4, 6) == kEnd);
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
