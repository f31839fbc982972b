// Reads ARJ archives, which libarchive cannot: the entries' headers one after
// another and each entry's data decoded. Plain POSIX file reading and the C++
// runtime only, so that the worker can use it without Qt.
#ifndef KELVORA_ARCHIVERS_ARJ_READER_H
#define KELVORA_ARCHIVERS_ARJ_READER_H

#include <cstdint>
#include <functional>
#include <string>

namespace archivers::arj {

struct Entry {
    std::string raw_name;  // bytes as stored (names may be Shift-JIS; decoding happens elsewhere)
    std::string comment;
    uint8_t method = 0;     // 0 stored, 1-3 LZ77+Huffman, 4 fast
    uint8_t file_type = 0;  // 0 binary, 1 text (7-bit), 3 directory, 4 volume label, ...
    uint8_t host_os = 0;    // 0 MS-DOS, 2 Unix, ...
    uint8_t flags = 0;      // garbled (password) 0x01, volume continues 0x04, continued from the last 0x08, ...
    uint32_t dos_time = 0;  // MS-DOS date and time as stored
    uint16_t file_mode = 0; // access mode as stored (DOS attributes or Unix mode, per host_os)
    uint32_t crc32 = 0, compressed_size = 0, original_size = 0;
    // Where the entry's data starts in the archive file.
    uint64_t data_offset = 0;

    bool IsFolder() const { return file_type == 3; }
    bool IsGarbled() const { return flags & 0x01; }
    bool ContinuesInNextVolume() const { return flags & 0x04; }
    bool ContinuesFromLastVolume() const { return flags & 0x08; }
};

enum class Status {
    Ok,
    End,           // no more entries
    NotArj,        // no main header anywhere in the file
    BrokenHeader,  // a header's CRC or layout is wrong
    Checksum,      // the data's CRC-32 is wrong, or its compressed stream cannot be decoded
    Truncated,     // the file ends inside a header or an entry's data
    Unsupported,   // garbled, split across volumes, or a method we do not know
    ReadError,     // the file could not be opened or read
    Cancelled,     // the sink asked to stop
};

const char* StatusName(Status status);

// One CRC-32 (reflected, polynomial 0xEDB88320) over `size` bytes, continuing `crc`.
uint32_t Crc32(uint32_t crc, const void* data, size_t size);

class Reader {
public:
    Reader() = default;
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Opens `path` and reads its main header, which may follow a
    // self-extracting program.
    Status Open(const std::string& path);

    // The next entry's header; End after the last one. After an error other
    // than Unsupported the archive cannot be read further and the same error
    // is returned again.
    Status Next(Entry& entry);

    // Decodes the current entry's data, handing it to `sink` block by block,
    // and checks its CRC-32 at the end. Once per entry; Ok and nothing for a
    // folder.
    Status ReadData(const std::function<bool(const char* data, size_t size)>& sink);

    // Passes over the current entry's data without decoding it.
    Status Skip();

    // From the main header.
    const std::string& ArchiveName() const { return archive_name_; }
    const std::string& ArchiveComment() const { return archive_comment_; }
    uint8_t ArchiveFlags() const { return archive_flags_; }
    // Where the main header starts: past a self-extracting program, if any.
    uint64_t ArchiveOffset() const { return archive_offset_; }
    // How far into the file reading has come: for progress within a long entry.
    uint64_t Position() const { return position_; }

private:
    struct Header;
    Status ReadHeader(uint64_t offset, Header& header);
    Status ReadExtendedHeaders(uint64_t& offset);
    bool ReadAt(uint64_t offset, void* buffer, size_t size, size_t& got);
    void Close();

    int fd_ = -1;
    uint64_t file_size_ = 0;
    uint64_t next_header_ = 0;  // where the next local header starts
    Status stuck_ = Status::Ok; // an error every later call repeats
    bool has_entry_ = false;    // an entry whose data has not been read yet
    Entry current_;
    std::string archive_name_, archive_comment_;
    uint8_t archive_flags_ = 0;
    uint64_t archive_offset_ = 0;
    uint64_t position_ = 0;
};

}  // namespace archivers::arj

#endif
