// A StreamSource decompressed on a thread of its own into a small ring of
// blocks, while the caller's thread takes the blocks in order (libarchive's
// read callback). Reading an archive then takes about as long as the slower
// of decompressing and writing, not both together.
#ifndef KELVORA_ARCHIVERS_READ_AHEAD_H
#define KELVORA_ARCHIVERS_READ_AHEAD_H

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "block.h"
#include "stream_source.h"

namespace archivers {

class ReadAhead {
public:
    static constexpr size_t kBlockSize = 1 << 20;
    static constexpr size_t kBlocks = 4;
    // The first block is handed over at this size, and each next one at
    // twice the last up to a whole block: opening an archive to tell what it
    // is waits for little more than its first header.
    static constexpr size_t kFirstBlock = 1 << 16;
    // Bytes decompressed between two looks at whether to stop, and handed
    // over at a time: libarchive then gives an entry's data in pieces small
    // enough for the progress bar to move (and a cancel to be seen) often.
    static constexpr size_t kStep = 1 << 17;

    // Blocks decompressed on the caller's thread before the thread starts:
    // telling what an archive is, or reading a small one, starts none.
    static constexpr int kAlone = 3;

    // With `alone` 0 the thread starts at once. A thread that cannot be
    // started is a read error.
    explicit ReadAhead(std::unique_ptr<StreamSource> source, size_t block_size = kBlockSize, size_t blocks = kBlocks,
                       int alone = kAlone);
    // Stops the thread, if it started, at its next step and waits for it.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next piece of at most kStep bytes, valid until the next call: its
    // size, 0 at the end, -1 on an error (then Error() and ErrorNumber() say
    // what). The thread fills whole blocks, only the last of them short; a
    // failure comes instead of the block it happened in.
    ssize_t Read(const void** block);
    const std::string& Error() const { return error_; }  // empty until Read fails
    int ErrorNumber() const { return error_number_; }
    // Compressed bytes behind the bytes handed over so far (within a block,
    // in proportion).
    int64_t BytesRead() const { return bytes_read_; }
    // The source's, known from the start.
    const std::vector<int>& Filters() const { return filters_; }

private:
    struct Slot {
        std::optional<Block> data;  // made when first filled: a small archive needs one
        size_t size = 0;
        int64_t bytes_read = 0;
    };

    void Start();
    bool ProduceBlock();
    // Fills `slot` with up to `want` bytes: the source's last answer.
    ssize_t Fill(Slot& slot, size_t want);

    std::unique_ptr<StreamSource> source_;
    const std::vector<int> filters_;
    const size_t block_size_;
    std::vector<Slot> slots_;
    std::atomic<bool> stopping_ = false;
    size_t want_ = 0;  // the next block's size: the caller's until the thread starts, then the thread's

    std::mutex mutex_;
    std::condition_variable changed_;
    // Guarded by mutex_: slots [head_, head_ + filled_) hold data in order;
    // the first of them is the caller's while `held_`.
    size_t head_ = 0;
    size_t filled_ = 0;
    bool held_ = false;
    bool done_ = false;      // the thread has put its last block
    bool failed_ = false;    // ... and the source failed after it
    std::string failure_;    // the source's error, once failed_
    int failure_number_ = 0;
    int64_t end_bytes_ = 0;  // compressed bytes read in all, once done_

    // The caller's thread only: set by Read.
    const int alone_limit_;
    int alone_ = 0;            // blocks made on this thread
    size_t handed_ = 0;        // bytes of the held block handed over
    int64_t block_start_ = 0;  // compressed bytes behind the blocks before it
    std::string error_;
    int error_number_ = 0;
    int64_t bytes_read_ = 0;
    std::thread thread_;      // last: started once the rest is ready
};

}  // namespace archivers

#endif
