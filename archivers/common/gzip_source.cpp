#include "gzip_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "input_watch.h"

namespace archivers {
namespace {

constexpr size_t kBlock = 1 << 17;
// 15 window bits, +16: a gzip wrapper only, whose trailer zlib checks.
constexpr int kGzipWindow = 15 + 16;

}  // namespace

bool GzipSource::IsGzip(const std::string& path) {
    UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    unsigned char magic[2] = {};
    return file.Get() >= 0 && read(file.Get(), magic, 2) == 2 && magic[0] == 0x1F && magic[1] == 0x8B;
}

GzipSource::GzipSource(const std::string& path)
    : file_(open(path.c_str(), O_RDONLY | O_CLOEXEC)), input_(kBlock), output_(kBlock) {
    ready_ = inflateInit2(&stream_, kGzipWindow) == Z_OK;
}

GzipSource::~GzipSource() {
    if (ready_) inflateEnd(&stream_);
}

bool GzipSource::Fill() {
    // Keeps what is left at the front and reads after it.
    std::memmove(input_.data(), stream_.next_in, stream_.avail_in);
    stream_.next_in = input_.data();
    ssize_t n;
    do n = read(file_.Get(), input_.data() + stream_.avail_in, input_.size() - stream_.avail_in);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        error_ = "read error";
        return false;
    }
    stream_.avail_in += static_cast<uInt>(n);
    consumed_ += n;
    NoteInput(consumed_);
    return true;
}

ssize_t GzipSource::Read(const void** block) {
    *block = output_.data();
    if (!error_.empty()) return -1;
    if (finished_) return 0;
    stream_.next_out = output_.data();
    stream_.avail_out = static_cast<uInt>(output_.size());
    while (stream_.avail_out == output_.size()) {
        if (stream_.avail_in == 0) {
            stream_.next_in = input_.data();
            if (!Fill()) return -1;
            if (stream_.avail_in == 0) {
                // The file ended inside a member.
                error_ = "truncated gzip data";
                return -1;
            }
        }
        int status = inflate(&stream_, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            // Another member may follow; anything else after the last one is ignored.
            if (stream_.avail_in < 2 && !Fill()) return -1;
            if (stream_.avail_in >= 2 && stream_.next_in[0] == 0x1F && stream_.next_in[1] == 0x8B) {
                inflateReset(&stream_);
                continue;
            }
            finished_ = true;
            break;
        }
        if (status != Z_OK && status != Z_BUF_ERROR) {
            error_ = status == Z_DATA_ERROR && stream_.msg && std::string(stream_.msg).find("check") != std::string::npos
                         ? "gzip CRC error"
                         : std::string("gzip data error: ") + (stream_.msg ? stream_.msg : "");
            return -1;
        }
    }
    return static_cast<ssize_t>(output_.size() - stream_.avail_out);
}

bool GzipSource::Finish() {
    const void* block = nullptr;
    ssize_t n;
    while ((n = Read(&block)) > 0) {
    }
    return n == 0;
}

}  // namespace archivers
