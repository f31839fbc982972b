// A file descriptor that is closed when its owner goes away.
#ifndef KELVORA_PLATFORM_UNIQUE_FD_H
#define KELVORA_PLATFORM_UNIQUE_FD_H

#include <unistd.h>

#include <utility>

namespace platform {

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int Release() { return std::exchange(fd_, -1); }
    void Reset() {
        if (fd_ >= 0) close(std::exchange(fd_, -1));
    }
    // Closes now; false when closing reports an error (a write that failed late).
    bool Close() { return fd_ < 0 || close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_;
};

}  // namespace platform

#endif
