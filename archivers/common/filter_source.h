// A bzip2 or zstd file decompressed by libarchive's own readers of them, as
// one raw entry of an archive of its own: the same decoding and the same
// error messages as when libarchive undoes them under the archive format,
// but on whichever thread reads this source.
#ifndef KELVORA_ARCHIVERS_FILTER_SOURCE_H
#define KELVORA_ARCHIVERS_FILTER_SOURCE_H

#include <archive.h>

#include <string>
#include <string_view>

#include "stream_source.h"
#include "unique_fd.h"

namespace archivers {

class FilterSource : public StreamSource {
public:
    static constexpr size_t kReadSize = 1 << 17;

    // True when a file's first bytes are the signature of a bzip2 or zstd stream.
    static bool Handles(std::string_view head);

    // A file that libarchive cannot open for reading fails at the first read.
    explicit FilterSource(const std::string& path);
    ~FilterSource() override;
    FilterSource(const FilterSource&) = delete;
    FilterSource& operator=(const FilterSource&) = delete;

    bool Opened() const { return file_.Get() >= 0 && archive_ != nullptr; }
    ssize_t ReadInto(unsigned char* out, size_t size) override;
    const std::string& Error() const override { return error_; }
    int ErrorNumber() const override { return error_number_; }
    int64_t BytesRead() const override;
    std::vector<int> Filters() const override { return filters_; }

private:
    void Fail();

    platform::UniqueFd file_;
    archive* archive_ = nullptr;
    std::vector<int> filters_;
    bool failed_ = false;
    std::string error_;
    int error_number_ = 0;
};

}  // namespace archivers

#endif
