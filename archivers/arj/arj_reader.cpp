// An ARJ archive is a main header, a local header before each entry's data,
// and an end marker: the header id 0x60 0xEA and a basic header size of 0.
// Every header is the id, its 16-bit size (at most 2600), that many bytes of
// basic header (a fixed part whose own size is its first byte, then the name
// and the comment, each ending in a NUL), their CRC-32, and extended headers
// (a 16-bit size, the bytes, their CRC-32) up to one of size 0. All numbers
// are little-endian.
#include "arj_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "arj_decoder.h"

namespace archivers::arj {
namespace {

constexpr uint8_t kId0 = 0x60, kId1 = 0xEA;
constexpr size_t kMaxBasicHeader = 2600;
constexpr size_t kFixedPart = 30;  // the fixed part of a main or local header, at its shortest
constexpr uint8_t kMainHeaderType = 2;
constexpr uint8_t kFlagGarbled = 0x01, kFlagVolume = 0x04, kFlagExtFile = 0x08;
// How far into the file the main header is looked for, past a
// self-extracting program.
constexpr uint64_t kSfxScanLimit = 1 << 20;

std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}
const std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const unsigned char* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The basic header at the start of `data` (`size` bytes available): its
// fixed part's size, name and comment, or false when its CRC or layout is
// wrong. `size` must cover the id, the size and the CRC.
bool ParseBasic(const unsigned char* data, size_t size, std::string& name, std::string& comment) {
    if (size < 4) return false;
    size_t basic = Le16(data + 2);
    if (data[0] != kId0 || data[1] != kId1 || basic > kMaxBasicHeader || basic < kFixedPart) return false;
    if (size < 4 + basic + 4) return false;
    const unsigned char* b = data + 4;
    if (Crc32(0, b, basic) != Le32(b + basic)) return false;
    size_t fixed = b[0];
    if (fixed < kFixedPart || fixed > basic) return false;
    const unsigned char* end = b + basic;
    const unsigned char* name_end = static_cast<const unsigned char*>(memchr(b + fixed, 0, end - (b + fixed)));
    if (!name_end) return false;
    const unsigned char* comment_end =
        static_cast<const unsigned char*>(memchr(name_end + 1, 0, end - (name_end + 1)));
    if (!comment_end) return false;
    name.assign(reinterpret_cast<const char*>(b + fixed), name_end - (b + fixed));
    comment.assign(reinterpret_cast<const char*>(name_end + 1), comment_end - (name_end + 1));
    return true;
}

}  // namespace

uint32_t Crc32(uint32_t crc, const void* data, size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = kCrcTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

const char* StatusName(Status status) {
    switch (status) {
    case Status::Ok: return "Ok";
    case Status::End: return "End";
    case Status::NotArj: return "NotArj";
    case Status::BrokenHeader: return "BrokenHeader";
    case Status::Checksum: return "Checksum";
    case Status::Truncated: return "Truncated";
    case Status::Unsupported: return "Unsupported";
    case Status::ReadError: return "ReadError";
    case Status::Cancelled: return "Cancelled";
    }
    return "?";
}

struct Reader::Header {
    std::array<unsigned char, 4 + kMaxBasicHeader + 4> bytes;
    size_t basic = 0;  // 0: the end marker
    std::string name, comment;
    const unsigned char* Fixed() const { return bytes.data() + 4; }
};

Reader::~Reader() { Close(); }

void Reader::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool Reader::ReadAt(uint64_t offset, void* buffer, size_t size, size_t& got) {
    got = 0;
    while (got < size) {
        ssize_t n = ::pread(fd_, static_cast<char*>(buffer) + got, size - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    position_ = offset + got;
    return true;
}

Status Reader::ReadHeader(uint64_t offset, Header& header) {
    size_t got = 0;
    if (!ReadAt(offset, header.bytes.data(), 4, got)) return Status::ReadError;
    if (got < 4) return Status::Truncated;
    if (header.bytes[0] != kId0 || header.bytes[1] != kId1) return Status::BrokenHeader;
    header.basic = Le16(header.bytes.data() + 2);
    if (header.basic == 0) return Status::Ok;
    if (header.basic > kMaxBasicHeader || header.basic < kFixedPart) return Status::BrokenHeader;
    size_t rest = header.basic + 4;
    if (!ReadAt(offset + 4, header.bytes.data() + 4, rest, got)) return Status::ReadError;
    if (got < rest) return Status::Truncated;
    if (!ParseBasic(header.bytes.data(), 4 + rest, header.name, header.comment)) return Status::BrokenHeader;
    return Status::Ok;
}

// Passes over the extended headers at `offset`, checking each one's CRC.
Status Reader::ReadExtendedHeaders(uint64_t& offset) {
    std::vector<unsigned char> extended;
    for (;;) {
        unsigned char size_bytes[2];
        size_t got = 0;
        if (!ReadAt(offset, size_bytes, 2, got)) return Status::ReadError;
        if (got < 2) return Status::Truncated;
        offset += 2;
        size_t size = Le16(size_bytes);
        if (size == 0) return Status::Ok;
        extended.resize(size + 4);
        if (!ReadAt(offset, extended.data(), extended.size(), got)) return Status::ReadError;
        if (got < extended.size()) return Status::Truncated;
        if (Crc32(0, extended.data(), size) != Le32(extended.data() + size)) return Status::BrokenHeader;
        offset += extended.size();
    }
}

Status Reader::Open(const std::string& path) {
    Close();
    stuck_ = Status::Ok;
    has_entry_ = false;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return stuck_ = Status::ReadError;
    struct stat info;
    if (::fstat(fd_, &info) != 0) return stuck_ = Status::ReadError;
    file_size_ = static_cast<uint64_t>(info.st_size);

    // The main header is at the start, or after a self-extracting program:
    // the first id followed by a main header whose CRC checks.
    size_t window = static_cast<size_t>(std::min<uint64_t>(file_size_, kSfxScanLimit + 4 + kMaxBasicHeader + 4));
    std::vector<unsigned char> head(window);
    size_t got = 0;
    if (!ReadAt(0, head.data(), head.size(), got)) return stuck_ = Status::ReadError;
    head.resize(got);
    bool found = false;
    for (size_t at = 0; at + 4 <= head.size() && at <= kSfxScanLimit; ++at) {
        const unsigned char* p = head.data() + at;
        if (p[0] != kId0 || p[1] != kId1) continue;
        size_t basic = Le16(p + 2);
        if (basic < kFixedPart || basic > kMaxBasicHeader || at + 4 + basic + 4 > head.size()) continue;
        if (p[4 + 6] != kMainHeaderType) continue;
        if (!ParseBasic(p, head.size() - at, archive_name_, archive_comment_)) continue;
        archive_offset_ = at;
        archive_flags_ = p[4 + 4];
        next_header_ = at + 4 + basic + 4;
        found = true;
        break;
    }
    if (!found) return stuck_ = Status::NotArj;
    Status status = ReadExtendedHeaders(next_header_);
    if (status != Status::Ok) stuck_ = status;
    return status;
}

Status Reader::Next(Entry& entry) {
    if (fd_ < 0) return Status::ReadError;
    if (stuck_ != Status::Ok) return stuck_;
    has_entry_ = false;
    Header header;
    Status status = ReadHeader(next_header_, header);
    if (status != Status::Ok) return stuck_ = status;
    if (header.basic == 0) return stuck_ = Status::End;
    uint64_t offset = next_header_ + 4 + header.basic + 4;
    status = ReadExtendedHeaders(offset);
    if (status != Status::Ok) return stuck_ = status;

    const unsigned char* b = header.Fixed();
    entry = Entry{};
    entry.raw_name = std::move(header.name);
    entry.comment = std::move(header.comment);
    entry.host_os = b[3];
    entry.flags = b[4];
    entry.method = b[5];
    entry.file_type = b[6];
    entry.dos_time = Le32(b + 8);
    entry.compressed_size = Le32(b + 12);
    entry.original_size = Le32(b + 16);
    entry.crc32 = Le32(b + 20);
    entry.file_mode = Le16(b + 26);
    entry.data_offset = offset;
    // A header in the middle of the data would be a second main header.
    if (entry.file_type == kMainHeaderType) return stuck_ = Status::BrokenHeader;
    // The data may run past the end of the file: the header is still
    // reported, reading the data says Truncated, and so does the next Next.
    next_header_ = offset + entry.compressed_size;
    current_ = entry;
    has_entry_ = true;
    return Status::Ok;
}

Status Reader::Skip() {
    if (fd_ < 0) return Status::ReadError;
    if (stuck_ != Status::Ok) return stuck_;
    has_entry_ = false;
    if (next_header_ > file_size_) return stuck_ = Status::Truncated;
    return Status::Ok;
}

Status Reader::ReadData(const std::function<bool(const char* data, size_t size)>& sink) {
    if (fd_ < 0) return Status::ReadError;
    if (stuck_ != Status::Ok) return stuck_;
    if (!has_entry_) return Status::End;
    has_entry_ = false;
    const Entry& e = current_;
    if (e.file_type == 3 || e.file_type == 4) return Status::Ok;  // folders and volume labels have no data
    if (e.data_offset + e.compressed_size > file_size_) return stuck_ = Status::Truncated;
    if ((e.flags & (kFlagGarbled | kFlagVolume | kFlagExtFile)) || e.method > 4) return Status::Unsupported;

    uint32_t crc = 0;
    if (e.method == 0) {
        if (e.compressed_size != e.original_size) return Status::BrokenHeader;
        std::vector<char> buffer(std::min<uint32_t>(e.compressed_size, 1 << 16));
        uint64_t at = e.data_offset;
        uint32_t left = e.compressed_size;
        while (left > 0) {
            size_t want = std::min<size_t>(left, buffer.size()), got = 0;
            if (!ReadAt(at, buffer.data(), want, got)) return stuck_ = Status::ReadError;
            if (got < want) return stuck_ = Status::Truncated;  // the file shrank under us
            crc = Crc32(crc, buffer.data(), got);
            if (!sink(buffer.data(), got)) return Status::Cancelled;
            at += got;
            left -= static_cast<uint32_t>(got);
        }
    } else {
        uint64_t at = e.data_offset;
        uint32_t left = e.compressed_size;
        DecoderInput input = [&](unsigned char* buffer, size_t room) -> long {
            size_t want = std::min<size_t>(room, left), got = 0;
            if (want == 0) return 0;
            if (!ReadAt(at, buffer, want, got) || got == 0) return -1;
            at += got;
            left -= static_cast<uint32_t>(got);
            return static_cast<long>(got);
        };
        DecoderOutput output = [&](const unsigned char* data, size_t size) {
            crc = Crc32(crc, data, size);
            return sink(reinterpret_cast<const char*>(data), size);
        };
        switch (Decode(e.method, e.original_size, input, output)) {
        case DecodeResult::Ok: break;
        case DecodeResult::BadData: return Status::Checksum;
        case DecodeResult::ReadError: return stuck_ = Status::ReadError;
        case DecodeResult::Stopped: return Status::Cancelled;
        }
    }
    return crc == e.crc32 ? Status::Ok : Status::Checksum;
}

}  // namespace archivers::arj
