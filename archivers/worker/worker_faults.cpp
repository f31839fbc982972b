#include "worker_faults.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "process.h"
#include "worker_protocol.h"

namespace {

constexpr int kChannel = 3;

void Report(int error, const std::string& what) {
    std::string frame = archivers::wire::Encode(archivers::wire::Result{0, error, what});
    if (write(kChannel, frame.data(), frame.size()) < 0) _exit(1);
    _exit(0);
}

int Attempt(const std::string& what, const std::string& argument) {
    errno = 0;
    if (what == "try:exec") {
        char* const args[] = {const_cast<char*>("/bin/true"), nullptr};
        execve("/bin/true", args, environ);
    } else if (what == "try:socket") {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        if (fd >= 0) close(fd);
    } else if (what == "try:ptrace") {
        ptrace(PTRACE_ATTACH, getppid(), nullptr, nullptr);
    } else if (what == "try:memory") {
        // Touched, so that an allocator that hands out address space lazily still has to find it.
        auto* block = static_cast<char*>(std::malloc(3ULL << 30));
        if (block) std::memset(block, 1, 3ULL << 30);
        if (!block && errno == 0) errno = ENOMEM;
        std::free(block);
    } else if (what == "try:read") {
        int fd = open(argument.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) close(fd);
    } else if (what == "try:write") {
        int fd = open(argument.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0) close(fd);
    }
    return errno;
}

}  // namespace

Faults::Faults() {
    std::string setting = platform::Environment("ZENKARI_WORKER_FAULT");
    if (setting.rfind("try:", 0) == 0) {
        size_t equals = setting.find('=');
        what_ = setting.substr(0, equals);
        if (equals != std::string::npos) argument_ = setting.substr(equals + 1);
        return;
    }
    size_t colon = setting.find(':');
    if (colon == std::string::npos) return;
    what_ = setting.substr(0, colon);
    at_entry_ = std::atoi(setting.c_str() + colon + 1);
}

void Faults::AfterConfinement() {
    if (what_.rfind("try:", 0) == 0) Report(Attempt(what_, argument_), what_);
}

void Faults::AtStep(std::string_view entry) {
    if (at_entry_ <= 0) return;
    bool again = entry == current_;
    if (!again) {
        ++entries_;
        current_.assign(entry);
    }
    // Entry N's data is being written, or entry N had none and the next one began.
    if (!((again && entries_ == at_entry_) || entries_ > at_entry_)) return;
    if (what_ == "crash") raise(SIGSEGV);
    if (what_ == "hang") for (;;) pause();
    if (what_ == "quit") _exit(0);
    if (what_ == "garbage") {
        const char junk[] = "\x7f\xff\xff\xff\xff not a frame";
        if (write(kChannel, junk, sizeof junk) < 0) _exit(1);
        for (;;) pause();
    }
}
