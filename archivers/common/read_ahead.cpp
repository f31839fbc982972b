#include "read_ahead.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <system_error>

#include "input_watch.h"

namespace archivers {

ReadAhead::ReadAhead(std::unique_ptr<StreamSource> source, size_t block_size, size_t blocks, int alone)
    : source_(std::move(source)),
      filters_(source_->Filters()),
      block_size_(std::max<size_t>(block_size, 1)),
      slots_(std::max<size_t>(blocks, 1)),
      alone_limit_(alone) {
    want_ = std::min(kFirstBlock, block_size_);
    if (alone_limit_ <= 0) Start();
}

void ReadAhead::Start() {
    try {
        thread_ = std::thread([this] {
            while (ProduceBlock()) {
            }
        });
    } catch (const std::system_error&) {
        std::lock_guard lock(mutex_);
        done_ = failed_ = true;
        failure_ = "cannot start the decompressing thread";
        failure_number_ = EAGAIN;
    }
}

ReadAhead::~ReadAhead() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

ssize_t ReadAhead::Fill(Slot& slot, size_t want) {
    if (!slot.data) slot.data.emplace(block_size_);
    slot.size = 0;
    ssize_t n = 1;
    while (slot.size < want && !stopping_) {
        n = source_->ReadInto(slot.data->data() + slot.size, std::min(kStep, want - slot.size));
        if (n <= 0) break;
        slot.size += static_cast<size_t>(n);
    }
    slot.bytes_read = source_->BytesRead();
    return n;
}

// Fills the next free slot, which is the caller's once counted in filled_;
// false once the source is done or the reader stops. A block goes over
// full, or short with the end of the stream behind it; a failure drops the
// block it happened in. So libarchive's own readers of these compressions
// hand over their blocks, and a tar reader that stops at its end-of-archive
// marker has still met a failure in the last block: damage in a stream's
// last bytes fails the archive as it did when libarchive decompressed it.
bool ReadAhead::ProduceBlock() {
    size_t index = 0;
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopping_ || filled_ < slots_.size(); });
        if (stopping_) return false;
        index = (head_ + filled_) % slots_.size();
    }
    Slot& slot = slots_[index];
    // A block is made when first filled; under the worker's memory limit
    // that can fail like any allocation of the decoder's.
    bool no_memory = false;
    ssize_t status = -1;
    try {
        status = Fill(slot, want_);
    } catch (const std::bad_alloc&) {
        no_memory = true;
    }
    if (status < 0) slot.size = 0;
    {
        std::lock_guard lock(mutex_);
        if (slot.size > 0) ++filled_;
        if (status <= 0) {
            done_ = true;
            end_bytes_ = slot.bytes_read;
            failed_ = status < 0;
            if (failed_) {
                failure_number_ = no_memory ? ENOMEM : source_->ErrorNumber();
                failure_ = no_memory ? std::generic_category().message(ENOMEM) : source_->Error();
            }
        }
    }
    changed_.notify_all();
    want_ = std::min(want_ * 2, block_size_);
    return status > 0;
}

ssize_t ReadAhead::Read(const void** block) {
    *block = nullptr;
    std::unique_lock lock(mutex_);
    if (held_ && handed_ == slots_[head_].size) {
        block_start_ = slots_[head_].bytes_read;
        head_ = (head_ + 1) % slots_.size();
        --filled_;
        held_ = false;
        changed_.notify_all();
    }
    if (!held_ && filled_ == 0 && !done_ && !thread_.joinable()) {
        lock.unlock();
        if (alone_++ < alone_limit_)
            ProduceBlock();
        else
            Start();
        lock.lock();
    }
    if (!held_) {
        changed_.wait(lock, [&] { return filled_ > 0 || done_; });
        if (filled_ == 0) {
            bytes_read_ = end_bytes_;
            if (!failed_) return 0;
            error_ = failure_;
            error_number_ = failure_number_;
            return -1;
        }
        held_ = true;
        handed_ = 0;
    }
    Slot& slot = slots_[head_];
    lock.unlock();
    const size_t size = std::min(kStep, slot.size - handed_);
    *block = slot.data->data() + handed_;
    handed_ += size;
    const double share = static_cast<double>(handed_) / static_cast<double>(slot.size);
    bytes_read_ = block_start_ + static_cast<int64_t>(share * static_cast<double>(slot.bytes_read - block_start_));
    NoteInput(bytes_read_);
    return static_cast<ssize_t>(size);
}

}  // namespace archivers
