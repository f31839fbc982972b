// A buffer whose bytes are left unset: reads fill it before it is used, and
// zeroing 128 KB first costs a short-lived worker more than a small archive does.
#ifndef KELVORA_ARCHIVERS_BLOCK_H
#define KELVORA_ARCHIVERS_BLOCK_H

#include <cstddef>
#include <memory>

namespace archivers {

class Block {
public:
    explicit Block(size_t size) : data_(std::make_unique_for_overwrite<unsigned char[]>(size)), size_(size) {}
    unsigned char* data() { return data_.get(); }
    size_t size() const { return size_; }

private:
    std::unique_ptr<unsigned char[]> data_;
    size_t size_;
};

}  // namespace archivers

#endif
