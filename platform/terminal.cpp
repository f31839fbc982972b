#include "terminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "unique_fd.h"

namespace platform {
namespace {

void WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t n = write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        text.remove_prefix(static_cast<size_t>(n));
    }
}

// Echo off for as long as it lives; the terminal's settings come back after.
class HiddenInput {
public:
    explicit HiddenInput(int fd) : fd_(fd) {
        if (tcgetattr(fd_, &saved_) != 0) return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        changed_ = tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
    }
    ~HiddenInput() {
        if (changed_) tcsetattr(fd_, TCSAFLUSH, &saved_);
    }
    HiddenInput(const HiddenInput&) = delete;
    HiddenInput& operator=(const HiddenInput&) = delete;

private:
    int fd_;
    termios saved_{};
    bool changed_ = false;
};

}  // namespace

bool ReadHiddenLine(std::string_view prompt, const std::function<bool(char)>& take) {
    UniqueFd terminal(open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!terminal || !isatty(terminal.Get())) return false;
    HiddenInput hidden(terminal.Get());
    WriteAll(terminal.Get(), prompt);
    bool taking = true;
    for (;;) {
        char c = 0;
        ssize_t n = read(terminal.Get(), &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        if (c == '\n' || c == '\r') return true;
        taking = taking && take(c);
        c = '\0';
    }
}

}  // namespace platform
