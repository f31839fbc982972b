// An xz file decompressed with liblzma, concatenated streams and stream
// padding included, every block's check made as liblzma makes it. A file of
// several blocks (as xz -T makes them) is decoded on two threads where
// liblzma has its threaded decoder (5.4 on); one block is decoded on one.
#ifndef KELVORA_ARCHIVERS_XZ_SOURCE_H
#define KELVORA_ARCHIVERS_XZ_SOURCE_H

#include <lzma.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "block.h"
#include "stream_source.h"
#include "unique_fd.h"

namespace archivers {

class XzSource : public StreamSource {
public:
    static constexpr size_t kReadSize = 1 << 17;
    static constexpr uint32_t kThreads = 2;
    // What the threaded decoder may take before it falls back to one
    // thread: well below the worker's 2 GiB of address space, and enough
    // for two threads on the blocks of xz -9 -T2 (192 MiB each).
    static constexpr uint64_t kThreadingMemory = 768ULL << 20;

    // True when a file's first bytes are the xz signature.
    static bool IsXz(std::string_view head);

    explicit XzSource(const std::string& path, uint32_t threads = kThreads, size_t read_size = kReadSize);
    ~XzSource() override;
    XzSource(const XzSource&) = delete;
    XzSource& operator=(const XzSource&) = delete;

    bool Opened() const { return file_.Get() >= 0 && ready_; }
    ssize_t ReadInto(unsigned char* out, size_t size) override;
    const std::string& Error() const override { return error_; }
    int ErrorNumber() const override { return error_number_; }
    int64_t BytesRead() const override { return consumed_; }
    std::vector<int> Filters() const override;

private:
    bool Fill();
    void Fail(lzma_ret status);

    platform::UniqueFd file_;
    lzma_stream stream_ = LZMA_STREAM_INIT;
    bool ready_ = false;
    Block input_;
    bool file_ended_ = false;
    bool finished_ = false;
    bool failed_ = false;
    int64_t consumed_ = 0;
    std::string error_;
    int error_number_ = 0;
};

}  // namespace archivers

#endif
