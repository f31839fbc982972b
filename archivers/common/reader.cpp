#include "reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "filter_source.h"
#include "gzip_source.h"
#include "xz_source.h"

namespace archivers {
namespace {

const int kCompressionFilters[] = {ARCHIVE_FILTER_GZIP, ARCHIVE_FILTER_BZIP2, ARCHIVE_FILTER_COMPRESS,
                                   ARCHIVE_FILTER_LZMA, ARCHIVE_FILTER_XZ,    ARCHIVE_FILTER_ZSTD};

void SupportFormats(archive* a, Kind kind, bool decompressed) {
    switch (kind) {
        case Kind::Lha:
            // libarchive cannot hand over LZH names raw in a UTF-8 locale:
            // read as ISO-8859-1 they come back byte for byte (entry_names.cpp).
            archive_read_support_format_lha(a);
            archive_read_set_format_option(a, "lha", "hdrcharset", "ISO-8859-1");
            break;
        case Kind::Zip: archive_read_support_format_zip(a); break;
        case Kind::Cab: archive_read_support_format_cab(a); break;
        case Kind::Rar:
            archive_read_support_format_rar(a);
            archive_read_support_format_rar5(a);
            break;
        case Kind::Arj:
            break;  // read by our own reader, never by libarchive
        case Kind::Tar:
            if (!decompressed) archive_read_support_filter_gzip(a);
            archive_read_support_filter_bzip2(a);
            archive_read_support_filter_compress(a);
            archive_read_support_filter_lzma(a);
            archive_read_support_filter_xz(a);
            archive_read_support_filter_zstd(a);
            archive_read_support_filter_rpm(a);
            archive_read_support_format_tar(a);
            archive_read_support_format_gnutar(a);
            archive_read_support_format_cpio(a);
            archive_read_support_format_ar(a);
            archive_read_support_format_7zip(a);
            archive_read_support_format_iso9660(a);
            archive_read_support_format_xar(a);
            // Bids only when no archive format does: a compressed single file.
            archive_read_support_format_raw(a);
            break;
    }
}

bool Readable(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    close(fd);
    return regular;
}

}  // namespace

Reader::~Reader() {
    if (archive_) archive_read_free(archive_);
    if (arj_entry_) archive_entry_free(arj_entry_);
}

la_ssize_t Reader::ReadStream(archive* a, void* reader, const void** block) {
    ReadAhead& stream = *static_cast<Reader*>(reader)->stream_;
    ssize_t n = stream.Read(block);
    if (n < 0) archive_set_error(a, stream.ErrorNumber(), "%s", stream.Error().c_str());
    return n;
}

// gzip, xz, bzip2 and zstd are decompressed by a source of ours, so that the
// decompressing runs beside libarchive's reading of the format. gzip is
// ours also so that its CRC is checked; the rest read as libarchive would.
int32_t Reader::OpenStream(const std::string& path) {
    std::unique_ptr<StreamSource> source;
    const std::string head = ReadHead(path, 10);
    gzip_ = GzipSource::IsGzip(head);
    if (gzip_) {
        auto gzip = std::make_unique<GzipSource>(path);
        if (!gzip->Opened()) return result::kOpenArchive;
        source = std::move(gzip);
    } else if (XzSource::IsXz(head)) {
        auto xz = std::make_unique<XzSource>(path);
        if (!xz->Opened()) return result::kOpenArchive;
        source = std::move(xz);
    } else if (FilterSource::Handles(head)) {
        auto filter = std::make_unique<FilterSource>(path);
        if (!filter->Opened()) return result::kOpenArchive;
        source = std::move(filter);
    }
    if (source) stream_ = std::make_unique<ReadAhead>(std::move(source));
    return result::kOk;
}

// libarchive asks when no password given so far opens the entry; it keeps
// each one it is given and tries them all on every later entry. Nothing (a
// null) makes the entry fail as one that needs a password.
const char* Reader::NextPassword(archive*, void* data) {
    Reader& reader = *static_cast<Reader*>(data);
    if (reader.answer_ != PasswordAnswer::Given) return nullptr;
    reader.answer_ = reader.passwords_->Ask(reader.asked_, reader.password_);
    reader.asked_ = true;
    if (reader.answer_ == PasswordAnswer::Given) return reader.password_.c_str();
    reader.password_.Clear();
    return nullptr;
}

int32_t Reader::OpenWith(Kind kind, const std::string& path) {
    if (archive_) archive_read_free(archive_);
    entry_ = nullptr;
    broken_ = false;
    format_ = 0;
    filters_.clear();
    archive_ = archive_read_new();
    if (!archive_) return result::kOpenArchive;
    stream_.reset();
    gzip_ = false;
    source_.reset();
    if (kind == Kind::Tar)
        if (int32_t code = OpenStream(path); code != result::kOk) return code;
    if (!stream_) source_ = std::make_unique<FileSource>(path);
    SupportFormats(archive_, kind, gzip_);
    if (passwords_) archive_read_set_passphrase_callback(archive_, this, &Reader::NextPassword);
    int opened = stream_ ? archive_read_open(archive_, this, nullptr, &Reader::ReadStream, nullptr)
                         : source_->OpenIn(archive_);
    if (opened != ARCHIVE_OK) {
        broken_ = true;
        return result::kNotArchive;
    }
    // Known now, and still wanted when the first header fails.
    for (int i = 0, n = archive_filter_count(archive_); i < n; ++i) filters_.push_back(archive_filter_code(archive_, i));
    if (stream_) filters_.insert(filters_.end(), stream_->Filters().begin(), stream_->Filters().end());
    int status = ReadHeader();
    if ((status == ARCHIVE_OK || status == ARCHIVE_WARN) && entry_) return result::kOk;
    entry_ = nullptr;
    return HeadersEncrypted() ? result::kEncrypted : result::kNotArchive;
}

// A 7-Zip archive whose list of entries is itself encrypted (7z -mhe=on):
// libarchive 3.6.2 stops at its first header with "The archive header is
// encrypted, but currently not supported".
bool Reader::HeadersEncrypted() const {
    const char* message = archive_error_string(archive_);
    return (archive_format(archive_) & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_7ZIP && message &&
           std::strstr(message, "header is encrypted") != nullptr;
}

int32_t Reader::Open(Kind kind, const std::string& path, PasswordSource* passwords) {
    if (!Readable(path)) return result::kOpenArchive;
    if (kind == Kind::Arj) return OpenArj(path);
    passwords_ = kind == Kind::Zip ? passwords : nullptr;
    int32_t code = OpenWith(kind, path);
    // A compressed file with no archive inside is one entry of its own;
    // a file that is not compressed at all is none of ours.
    if (code == result::kOk && IsRawFile()) {
        bool compressed = false;
        for (int filter : kCompressionFilters) compressed = compressed || HasFilter(filter);
        if (!compressed) {
            entry_ = nullptr;
            code = result::kNotArchive;
        }
    }
    // A gzip stream that fails its own checks is damaged, not something else.
    if (code == result::kNotArchive && gzip_ && !stream_->Error().empty()) return Finish();
    return code;
}

namespace {

// What a failure of the ARJ reader means to the program. A damaged entry and
// one we cannot decrypt or join leave the rest readable.
int32_t ArjCode(arj::Status status) {
    switch (status) {
        case arj::Status::Ok: case arj::Status::End: return result::kOk;
        case arj::Status::NotArj: return result::kNotArchive;
        case arj::Status::Checksum: return result::kChecksum;
        case arj::Status::Unsupported: return result::kEncrypted;
        case arj::Status::BrokenHeader: case arj::Status::Truncated: return result::kBrokenHeader;
        case arj::Status::Cancelled: return result::kCancelled;
        case arj::Status::ReadError: return result::kReadArchive;
    }
    return result::kReadArchive;
}

// An MS-DOS date and time, local time as DOS kept it.
time_t DosTime(uint32_t stamp) {
    tm fields{};
    fields.tm_year = static_cast<int>(stamp >> 25) + 80;
    fields.tm_mon = static_cast<int>(stamp >> 21 & 0x0F) - 1;
    fields.tm_mday = static_cast<int>(stamp >> 16 & 0x1F);
    fields.tm_hour = static_cast<int>(stamp >> 11 & 0x1F);
    fields.tm_min = static_cast<int>(stamp >> 5 & 0x3F);
    fields.tm_sec = static_cast<int>(stamp & 0x1F) * 2;
    fields.tm_isdst = -1;
    return mktime(&fields);
}

// An ARJ entry as libarchive would describe it. Unix hosts keep the mode and
// Unix times; on MS-DOS the read-only attribute takes the write bits away.
void Describe(const arj::Entry& arj, archive_entry* entry) {
    constexpr uint8_t kHostUnix = 2;
    constexpr uint16_t kDosReadOnly = 0x01;
    archive_entry_clear(entry);
    archive_entry_copy_pathname(entry, arj.raw_name.c_str());
    archive_entry_set_filetype(entry, arj.IsFolder() ? AE_IFDIR : AE_IFREG);
    mode_t perm = arj.IsFolder() ? 0755 : 0644;
    if (arj.host_os == kHostUnix && (arj.file_mode & 0777) != 0)
        perm = arj.file_mode & 0777;
    else if (arj.host_os != kHostUnix && (arj.file_mode & kDosReadOnly))
        perm &= ~0222;
    archive_entry_set_perm(entry, perm);
    // ARJ made on Unix keeps the time as Unix seconds in the same field.
    archive_entry_set_mtime(entry, arj.host_os == kHostUnix ? static_cast<time_t>(arj.dos_time) : DosTime(arj.dos_time),
                            0);
    archive_entry_set_size(entry, arj.IsFolder() ? 0 : arj.original_size);
    archive_entry_set_is_data_encrypted(entry, arj.IsGarbled() ? 1 : 0);
}

}  // namespace

int32_t Reader::OpenArj(const std::string& path) {
    arj_ = std::make_unique<arj::Reader>();
    if (!arj_entry_) arj_entry_ = archive_entry_new();
    const arj::Status status = arj_->Open(path);
    if (status != arj::Status::Ok || !arj_entry_) {
        broken_ = true;
        return status == arj::Status::ReadError ? result::kOpenArchive : result::kNotArchive;
    }
    format_ = kFormatArj;
    if (NextArj() != result::kOk || !entry_) return result::kNotArchive;
    return result::kOk;
}

// Volume labels and chapter marks are no members.
int32_t Reader::NextArj() {
    constexpr uint8_t kFolder = 3;
    entry_ = nullptr;
    for (;;) {
        const arj::Status status = arj_->Next(arj_current_);
        if (status == arj::Status::End) return result::kOk;
        if (status != arj::Status::Ok) {
            broken_ = true;
            return ArjCode(status);
        }
        if (arj_current_.file_type <= kFolder && arj_current_.file_type != 2) break;
    }
    Describe(arj_current_, arj_entry_);
    entry_ = arj_entry_;
    return result::kOk;
}

int32_t Reader::ReadArjData(const std::function<int32_t(const char*, size_t, int64_t)>& sink) {
    int64_t offset = 0;
    int32_t stopped = result::kOk;
    const arj::Status status = arj_->ReadData([&](const char* data, size_t size) {
        stopped = sink(data, size, offset);
        offset += static_cast<int64_t>(size);
        return stopped == result::kOk;
    });
    if (status == arj::Status::Cancelled) return stopped;
    const int32_t code = ArjCode(status);
    if (code != result::kOk && code != result::kChecksum && code != result::kEncrypted) broken_ = true;
    return code;
}

bool Reader::HasFilter(int code) const {
    return std::find(filters_.begin(), filters_.end(), code) != filters_.end();
}

int64_t Reader::BytesRead() const {
    if (stream_) return stream_->BytesRead();
    if (arj_) return broken_ ? -1 : static_cast<int64_t>(arj_->Position());
    return broken_ || !archive_ ? -1 : archive_filter_bytes(archive_, -1);
}

int Reader::ReadHeader() {
    int status = ARCHIVE_OK;
    do {
        status = archive_read_next_header(archive_, &entry_);
        if (status == ARCHIVE_FATAL) broken_ = true;
        if (status != ARCHIVE_OK && status != ARCHIVE_WARN) {
            entry_ = nullptr;
            return status;
        }
        format_ = archive_format(archive_);
    } while (IsNameTable() || IsVolumeRoot());
    return status;
}

// The symbol and long-name tables of GNU and BSD ar archives (a .deb, a
// static library) are how the format stores names, not members.
bool Reader::IsNameTable() const {
    if ((format_ & ARCHIVE_FORMAT_BASE_MASK) != ARCHIVE_FORMAT_AR) return false;
    const char* name = archive_entry_pathname(entry_);
    if (!name) return false;
    for (const char* table : {"/", "//", "/SYM64/", "__.SYMDEF", "__.SYMDEF SORTED"})
        if (std::strcmp(name, table) == 0) return true;
    return false;
}

// libarchive hands the root folder of an ISO 9660 image over as an entry
// ".": the destination itself, not a member.
bool Reader::IsVolumeRoot() const {
    if ((format_ & ARCHIVE_FORMAT_BASE_MASK) != ARCHIVE_FORMAT_ISO9660) return false;
    const char* name = archive_entry_pathname(entry_);
    return name && std::strcmp(name, ".") == 0;
}

int32_t Reader::Next() {
    if (broken_) {
        entry_ = nullptr;
        return result::kReadArchive;
    }
    if (arj_) return NextArj();
    int status = ReadHeader();
    if (status == ARCHIVE_OK || status == ARCHIVE_WARN || status == ARCHIVE_EOF) return result::kOk;
    // libarchive reports a malformed header with EILSEQ (its "file format" error).
    return Failure(archive_errno(archive_) == EILSEQ ? result::kBrokenHeader : result::kReadArchive);
}

// Only gzip's tail is checked: libarchive never read past the archive's end
// in the other compressions, and results stay as they were.
int32_t Reader::Finish() {
    if (!gzip_) return result::kOk;
    const void* block = nullptr;
    ssize_t n;
    while ((n = stream_->Read(&block)) > 0) {
    }
    if (n == 0) return result::kOk;
    return stream_->Error().find("CRC") != std::string::npos ? result::kChecksum : result::kReadArchive;
}

// Read at once after the call that failed, even a fatal one: the error is
// what that call left behind.
int32_t Reader::Failure(int32_t otherwise) const {
    const char* message = archive_error_string(archive_);
    std::string text = message ? message : "";
    for (const char* word : {"CRC", "crc", "checksum", "Checksum"})
        if (text.find(word) != std::string::npos) return result::kChecksum;
    if (text.find("ecrypt") != std::string::npos || text.find("assphrase") != std::string::npos)
        return result::kEncrypted;
    return otherwise;
}

// A checksum that does not match comes as ARCHIVE_WARN after libarchive has
// read the entry's data to its end, so the archive is read on from the next
// entry and the others still come out; so is an entry left unread for want
// of the right password (ARCHIVE_FAILED before any of its data is taken).
// Any other failure may leave libarchive half-way through the entry, where
// skipping the rest (as the next header does) is not safe: the walk ends
// there, as it does when the user cancelled the password question.
int32_t Reader::DataFailure(int status) {
    if (answer_ == PasswordAnswer::Cancelled) {
        broken_ = true;
        return result::kCancelled;
    }
    int32_t code = Failure(result::kReadArchive);
    if (code == result::kEncrypted && status == ARCHIVE_FAILED) return code;
    if (status != ARCHIVE_WARN || code != result::kChecksum) broken_ = true;
    return code;
}

// Data that ends before the size in the header is damage, never a file to
// pad; only a sparse file may end in a hole.
int32_t Reader::DataEnd(int64_t end) const {
    if (!archive_entry_size_is_set(entry_) || archive_entry_sparse_count(entry_) > 0) return result::kOk;
    return end < archive_entry_size(entry_) ? result::kBrokenHeader : result::kOk;
}

}  // namespace archivers
