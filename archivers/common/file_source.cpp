#include "file_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "input_watch.h"

namespace archivers {
namespace {

constexpr size_t kBlockSize = 1 << 17;

FileSource& Self(void* self) { return *static_cast<FileSource*>(self); }

}  // namespace

std::string ReadHead(const std::string& path, size_t size) {
    platform::UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::string head(size, '\0');
    const ssize_t n = file.Get() < 0 ? -1 : pread(file.Get(), head.data(), size, 0);
    head.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return head;
}

FileSource::FileSource(const std::string& path)
    : file_(open(path.c_str(), O_RDONLY | O_CLOEXEC)), buffer_(kBlockSize) {}

int FileSource::OpenIn(archive* a) {
    if (!file_) {
        archive_set_error(a, errno, "cannot open the archive");
        return ARCHIVE_FATAL;
    }
    archive_read_set_callback_data(a, this);
    archive_read_set_read_callback(a, &FileSource::Read);
    archive_read_set_skip_callback(a, &FileSource::Skip);
    archive_read_set_seek_callback(a, &FileSource::Seek);
    return archive_read_open1(a);
}

la_ssize_t FileSource::Read(archive* a, void* self, const void** block) {
    FileSource& source = Self(self);
    ssize_t n;
    do n = read(source.file_.Get(), source.buffer_.data(), source.buffer_.size());
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        archive_set_error(a, errno, "read error");
        return ARCHIVE_FATAL;
    }
    *block = source.buffer_.data();
    NoteInput(lseek(source.file_.Get(), 0, SEEK_CUR));
    return n;
}

la_int64_t FileSource::Skip(archive*, void* self, la_int64_t request) {
    FileSource& source = Self(self);
    struct stat st {};
    off_t before = lseek(source.file_.Get(), 0, SEEK_CUR);
    // Never past the end: libarchive then reads over it instead and meets the
    // end of a truncated archive as such.
    if (before < 0 || fstat(source.file_.Get(), &st) != 0 || request > st.st_size - before) return 0;
    off_t after = lseek(source.file_.Get(), request, SEEK_CUR);
    if (after < 0) return 0;
    NoteInput(after);
    return after - before;
}

la_int64_t FileSource::Seek(archive* a, void* self, la_int64_t offset, int whence) {
    off_t at = lseek(Self(self).file_.Get(), offset, whence);
    if (at < 0) archive_set_error(a, errno, "seek error");
    return at < 0 ? ARCHIVE_FATAL : at;
}

}  // namespace archivers
