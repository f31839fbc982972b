#include "reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace archivers {
namespace {

const int kCompressionFilters[] = {ARCHIVE_FILTER_GZIP, ARCHIVE_FILTER_BZIP2, ARCHIVE_FILTER_COMPRESS,
                                   ARCHIVE_FILTER_LZMA, ARCHIVE_FILTER_XZ,    ARCHIVE_FILTER_ZSTD};

void SupportFormats(archive* a, Kind kind, bool raw, bool decompressed) {
    switch (kind) {
        case Kind::Lha:
            // LZH names without a code-page field are Shift-JIS; libarchive
            // cannot read them raw in a UTF-8 locale, so it converts them.
            archive_read_support_format_lha(a);
            archive_read_set_format_option(a, "lha", "hdrcharset", "CP932");
            break;
        case Kind::Zip: archive_read_support_format_zip(a); break;
        case Kind::Cab: archive_read_support_format_cab(a); break;
        case Kind::Rar:
            archive_read_support_format_rar(a);
            archive_read_support_format_rar5(a);
            break;
        case Kind::Tar:
            if (!decompressed) archive_read_support_filter_gzip(a);
            archive_read_support_filter_bzip2(a);
            archive_read_support_filter_compress(a);
            archive_read_support_filter_lzma(a);
            archive_read_support_filter_xz(a);
            archive_read_support_filter_zstd(a);
            archive_read_support_filter_rpm(a);
            if (raw) {
                archive_read_support_format_raw(a);
            } else {
                archive_read_support_format_tar(a);
                archive_read_support_format_gnutar(a);
                archive_read_support_format_cpio(a);
                archive_read_support_format_ar(a);
            }
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
}

la_ssize_t Reader::ReadGzip(archive* a, void* reader, const void** block) {
    GzipSource& gzip = *static_cast<Reader*>(reader)->gzip_;
    ssize_t n = gzip.Read(block);
    if (n < 0) archive_set_error(a, EILSEQ, "%s", gzip.Error().c_str());
    return n;
}

int32_t Reader::OpenWith(Kind kind, const std::string& path, bool raw) {
    if (archive_) archive_read_free(archive_);
    entry_ = nullptr;
    archive_ = archive_read_new();
    if (!archive_) return result::kOpenArchive;
    // gzip is decompressed here rather than by libarchive, so that its CRC is checked.
    gzip_.reset();
    source_.reset();
    if (kind == Kind::Tar && GzipSource::IsGzip(path)) {
        gzip_ = std::make_unique<GzipSource>(path);
        if (!gzip_->Opened()) return result::kOpenArchive;
    }
    if (!gzip_) source_ = std::make_unique<FileSource>(path);
    SupportFormats(archive_, kind, raw, gzip_ != nullptr);
    int opened = gzip_ ? archive_read_open(archive_, this, nullptr, &Reader::ReadGzip, nullptr)
                       : source_->OpenIn(archive_);
    if (opened != ARCHIVE_OK) return result::kNotArchive;
    int status = archive_read_next_header(archive_, &entry_);
    if (status == ARCHIVE_OK || status == ARCHIVE_WARN) return result::kOk;
    entry_ = nullptr;
    return result::kNotArchive;
}

int32_t Reader::Open(Kind kind, const std::string& path) {
    if (!Readable(path)) return result::kOpenArchive;
    int32_t code = OpenWith(kind, path, false);
    // A compressed file with no archive inside is one entry of its own;
    // a file that is not compressed at all is none of ours.
    if (code == result::kNotArchive && kind == Kind::Tar) {
        bool compressed = gzip_ != nullptr;
        for (int filter : kCompressionFilters) compressed = compressed || HasFilter(filter);
        if (compressed) code = OpenWith(kind, path, true);
    }
    // A gzip stream that fails its own checks is damaged, not something else.
    if (code == result::kNotArchive && gzip_ && !gzip_->Error().empty()) return Finish();
    return code;
}

bool Reader::HasFilter(int code) const {
    if (code == ARCHIVE_FILTER_GZIP && gzip_) return true;
    if (!archive_) return false;
    for (int i = 0, n = archive_filter_count(archive_); i < n; ++i)
        if (archive_filter_code(archive_, i) == code) return true;
    return false;
}

int32_t Reader::Next() {
    int status = archive_read_next_header(archive_, &entry_);
    if (status == ARCHIVE_OK || status == ARCHIVE_WARN) return result::kOk;
    entry_ = nullptr;
    if (status == ARCHIVE_EOF) return result::kOk;
    // libarchive reports a malformed header with EILSEQ (its "file format" error).
    return Failure(archive_errno(archive_) == EILSEQ ? result::kBrokenHeader : result::kReadArchive);
}

int32_t Reader::Finish() {
    if (!gzip_ || gzip_->Finish()) return result::kOk;
    return gzip_->Error().find("CRC") != std::string::npos ? result::kChecksum : result::kReadArchive;
}

int32_t Reader::Failure(int32_t otherwise) const {
    const char* message = archive_error_string(archive_);
    std::string text = message ? message : "";
    for (const char* word : {"CRC", "crc", "checksum", "Checksum"})
        if (text.find(word) != std::string::npos) return result::kChecksum;
    if (text.find("ecrypt") != std::string::npos || text.find("assphrase") != std::string::npos)
        return result::kEncrypted;
    return otherwise;
}

}  // namespace archivers
