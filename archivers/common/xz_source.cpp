#include "xz_source.h"

#include <archive.h>  // ARCHIVE_FILTER_XZ
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace archivers {
namespace {

// libarchive's number for "any other error" (archive_private.h, not installed).
constexpr int kMiscError = -1;

}  // namespace

bool XzSource::IsXz(std::string_view head) { return head.starts_with(std::string_view("\xFD" "7zXZ\0", 6)); }

// No memory limit beyond the threading one, as libarchive sets none: a file
// needing more than the worker may have fails allocating it.
XzSource::XzSource(const std::string& path, uint32_t threads, size_t read_size)
    : file_(open(path.c_str(), O_RDONLY | O_CLOEXEC)), input_(std::max<size_t>(read_size, 1)) {
    lzma_ret status = LZMA_PROG_ERROR;
#if LZMA_VERSION >= 50040002  // 5.4.0, the first stable release with the threaded decoder
    if (threads > 1) {
        lzma_mt options{};
        options.flags = LZMA_CONCATENATED;
        options.threads = threads;
        options.memlimit_threading = kThreadingMemory;
        options.memlimit_stop = UINT64_MAX;
        status = lzma_stream_decoder_mt(&stream_, &options);
    }
#endif
    if (status != LZMA_OK) status = lzma_stream_decoder(&stream_, UINT64_MAX, LZMA_CONCATENATED);
    ready_ = status == LZMA_OK;
}

XzSource::~XzSource() { lzma_end(&stream_); }

std::vector<int> XzSource::Filters() const { return {ARCHIVE_FILTER_XZ}; }

bool XzSource::Fill() {
    ssize_t n;
    do n = read(file_.Get(), input_.data(), input_.size());
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        failed_ = true;
        error_number_ = errno;
        error_ = "read error";
        return false;
    }
    stream_.next_in = input_.data();
    stream_.avail_in = static_cast<size_t>(n);
    file_ended_ = n == 0;
    consumed_ += n;
    return true;
}

// libarchive's words for liblzma's failures (its xz reader's): none of
// them names a checksum, and a file cut short ends in LZMA_BUF_ERROR.
void XzSource::Fail(lzma_ret status) {
    failed_ = true;
    error_number_ = kMiscError;
    switch (status) {
        case LZMA_MEM_ERROR:
            error_number_ = ENOMEM;
            error_ = "Lzma library error: Cannot allocate memory";
            break;
        case LZMA_MEMLIMIT_ERROR:
            error_number_ = ENOMEM;
            error_ = "Lzma library error: Out of memory";
            break;
        case LZMA_FORMAT_ERROR: error_ = "Lzma library error: format not recognized"; break;
        case LZMA_OPTIONS_ERROR: error_ = "Lzma library error: Invalid options"; break;
        case LZMA_DATA_ERROR: error_ = "Lzma library error: Corrupted input data"; break;
        case LZMA_BUF_ERROR: error_ = "Lzma library error:  No progress is possible"; break;
        default: error_ = "Lzma decompression failed:  Unknown error"; break;
    }
}

// Data decoded before a failure is handed over first; the failure comes with
// the next call.
ssize_t XzSource::ReadInto(unsigned char* out, size_t size) {
    if (failed_) return -1;
    stream_.next_out = out;
    stream_.avail_out = size;
    while (stream_.avail_out > 0 && !finished_) {
        if (stream_.avail_in == 0 && !file_ended_ && !Fill()) break;
        const lzma_ret status = lzma_code(&stream_, file_ended_ ? LZMA_FINISH : LZMA_RUN);
        if (status == LZMA_STREAM_END) {
            finished_ = true;
        } else if (status != LZMA_OK) {
            Fail(status);
            break;
        }
    }
    const size_t produced = size - stream_.avail_out;
    return produced > 0 || !failed_ ? static_cast<ssize_t>(produced) : -1;
}

}  // namespace archivers
