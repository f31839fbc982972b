#include "gzip_source.h"

#include <archive.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>


#if KELVORA_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#else
#include <zlib.h>
#endif

namespace archivers {

namespace {

constexpr size_t kOutputBlock = 1 << 17;

enum class Step { kMore, kMemberEnd, kError };

}  // namespace

#if KELVORA_HAVE_ISAL

// One member at a time with ISA-L: it inflates and checks the trailer's
// CRC-32 and length itself (crc_flag ISAL_GZIP). At a member's end it has
// taken no byte past the trailer, so the next member starts at the input left
// over. The header is read here, with isal_read_gzip_header and a header
// record kept between calls: isal_inflate reads it with a record of its own
// that every call starts afresh, and so loses the header's flags (and its
// CRC-16 so far) when a read ends inside the header.
class GzipSource::Inflater {
public:
    Inflater() : state_(std::make_unique<inflate_state>()) { Reset(); }
    bool Ready() const { return true; }
    void Reset() {
        isal_inflate_init(state_.get());
        state_->crc_flag = ISAL_GZIP;
        isal_gzip_header_init(&header_);  // no buffers: name, comment and extra field are skipped
    }
    Step Run(Buffers& io, std::string& error) {
        state_->next_in = io.in;
        state_->avail_in = static_cast<uint32_t>(io.in_left);
        state_->next_out = io.out;
        state_->avail_out = static_cast<uint32_t>(io.out_left);
        int status = ISAL_DECOMP_OK;
        if (!state_->wrapper_flag) {
            status = isal_read_gzip_header(state_.get(), &header_);
            // Reserved flags, which zlib refuses and ISA-L lets pass.
            if (status >= 0 && state_->wrapper_flag && (header_.flags & 0xE0)) status = kReservedFlags;
        }
        // Sets wrapper_flag once the whole header is read; until then it wants more input.
        if (status >= 0 && state_->wrapper_flag) status = isal_inflate(state_.get());
        else if (status > 0) status = ISAL_DECOMP_OK;
        io.in = state_->next_in;
        io.in_left = state_->avail_in;
        io.out = state_->next_out;
        io.out_left = state_->avail_out;
        if (status == ISAL_DECOMP_OK) return state_->block_state == ISAL_BLOCK_FINISH ? Step::kMemberEnd : Step::kMore;
        error = Describe(status);
        return Step::kError;
    }

private:
    // In zlib's words where zlib has them, so that a damaged file reads the
    // same whichever library the build found.
    std::string Describe(int status) const {
        // The header's own CRC-16 is checked before the wrapper counts as read.
        if (status == kReservedFlags) return "gzip data error: unknown header flags set";
        if (status == ISAL_INCORRECT_CHECKSUM) return state_->wrapper_flag ? "gzip CRC error" : "gzip data error: header crc mismatch";
        switch (status) {
            case ISAL_INVALID_BLOCK: return "gzip data error: invalid block type";
            case ISAL_INVALID_SYMBOL: return "gzip data error: invalid code";
            case ISAL_INVALID_LOOKBACK: return "gzip data error: invalid distance too far back";
            case ISAL_INVALID_WRAPPER: return "gzip data error: invalid gzip header";
            case ISAL_UNSUPPORTED_METHOD: return "gzip data error: unknown compression method";
            default: return "gzip data error: " + std::to_string(status);
        }
    }

    static constexpr int kReservedFlags = -100;  // below every ISA-L status

    std::unique_ptr<inflate_state> state_;  // about 40 KB: not on the stack
    isal_gzip_header header_{};
};

#else

// One member at a time with zlib, which checks the trailer (15 window bits,
// +16: a gzip wrapper only).
class GzipSource::Inflater {
public:
    Inflater() { ready_ = inflateInit2(&stream_, 15 + 16) == Z_OK; }
    ~Inflater() {
        if (ready_) inflateEnd(&stream_);
    }
    bool Ready() const { return ready_; }
    void Reset() { inflateReset(&stream_); }
    Step Run(Buffers& io, std::string& error) {
        stream_.next_in = io.in;
        stream_.avail_in = static_cast<uInt>(io.in_left);
        stream_.next_out = io.out;
        stream_.avail_out = static_cast<uInt>(io.out_left);
        int status = inflate(&stream_, Z_NO_FLUSH);
        io.in = stream_.next_in;
        io.in_left = stream_.avail_in;
        io.out = stream_.next_out;
        io.out_left = stream_.avail_out;
        if (status == Z_STREAM_END) return Step::kMemberEnd;
        if (status == Z_OK || status == Z_BUF_ERROR) return Step::kMore;
        error = status == Z_DATA_ERROR && stream_.msg && std::string(stream_.msg).find("check") != std::string::npos
                    ? "gzip CRC error"
                    : std::string("gzip data error: ") + (stream_.msg ? stream_.msg : "");
        return Step::kError;
    }

private:
    z_stream stream_{};
    bool ready_ = false;
};

#endif

bool GzipSource::IsGzip(std::string_view head) { return head.starts_with("\x1F\x8B"); }

// The input block has one byte more than a read asks for: a byte left over
// at a member's end stays in front of the next read.
GzipSource::GzipSource(const std::string& path, size_t read_size)
    : file_(open(path.c_str(), O_RDONLY | O_CLOEXEC)),
      inflater_(std::make_unique<Inflater>()),
      read_size_(std::max<size_t>(read_size, 1)),
      input_(read_size_ + 1) {
    io_.in = input_.data();
}

GzipSource::~GzipSource() = default;

bool GzipSource::Opened() const { return file_.Get() >= 0 && inflater_->Ready(); }

// Called with at most one byte unread: keeps it at the front and reads after it.
bool GzipSource::Fill() {
    std::memmove(input_.data(), io_.in, io_.in_left);
    io_.in = input_.data();
    ssize_t n;
    do n = read(file_.Get(), input_.data() + io_.in_left, std::min(read_size_, input_.size() - io_.in_left));
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        error_ = "read error";
        return false;
    }
    io_.in_left += static_cast<size_t>(n);
    consumed_ += n;
    return true;
}

// After a member's trailer: another member may follow; anything else after
// the last one (zero padding, garbage, one stray byte) is ignored.
bool GzipSource::NextMember() {
    while (io_.in_left < 2) {
        size_t before = io_.in_left;
        if (!Fill()) return false;
        if (io_.in_left == before) break;
    }
    between_members_ = false;
    if (io_.in_left >= 2 && io_.in[0] == 0x1F && io_.in[1] == 0x8B)
        inflater_->Reset();
    else
        finished_ = true;
    return true;
}

std::vector<int> GzipSource::Filters() const { return {ARCHIVE_FILTER_GZIP}; }

ssize_t GzipSource::Read(const void** block) {
    if (!output_) output_.emplace(kOutputBlock);
    *block = output_->data();
    return ReadInto(output_->data(), output_->size());
}

ssize_t GzipSource::ReadInto(unsigned char* out, size_t size) {
    if (!error_.empty()) return -1;
    io_.out = out;
    io_.out_left = size;
    while (io_.out_left == size && !finished_) {
        if (between_members_) {
            if (!NextMember()) return -1;
            continue;
        }
        if (io_.in_left == 0) {
            if (!Fill()) return -1;
            if (io_.in_left == 0) {
                // The file ended inside a member.
                error_ = "truncated gzip data";
                return -1;
            }
        }
        const size_t in_before = io_.in_left;
        Step step = inflater_->Run(io_, error_);
        if (step == Step::kError) return -1;
        if (step == Step::kMemberEnd) between_members_ = true;
        if (step == Step::kMore && io_.in_left == in_before && io_.out_left == size) {
            // Neither input taken nor output made: the data can go no further.
            error_ = "gzip data error: stalled";
            return -1;
        }
    }
    return static_cast<ssize_t>(size - io_.out_left);
}

}  // namespace archivers
