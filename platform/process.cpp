#include "process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>
#include <utility>

extern char** environ;

namespace platform {
namespace {

class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* Get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

std::vector<char*> Arguments(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    return args;
}

}  // namespace

int RunHidden(const std::vector<std::string>& argv, const std::string& working_folder) {
    if (argv.empty()) return -1;
    SpawnActions actions;
    posix_spawn_file_actions_addopen(actions.Get(), 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(actions.Get(), 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(actions.Get(), 2, "/dev/null", O_WRONLY, 0);
    if (!working_folder.empty()) posix_spawn_file_actions_addchdir_np(actions.Get(), working_folder.c_str());

    std::vector<char*> args = Arguments(argv);
    pid_t child = 0;
    if (posix_spawn(&child, args[0], actions.Get(), nullptr, args.data(), environ) != 0) return -1;
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace platform

namespace platform {

bool StartDetached(const std::vector<std::string>& argv) {
    if (argv.empty()) return false;
    // A session of its own, so that a signal to our terminal's group leaves it alone.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    std::vector<char*> args = Arguments(argv);
    pid_t child = 0;
    const int failed = posix_spawn(&child, args[0], nullptr, &attributes, args.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) return false;
    // Reaped whenever it ends, so that it never lingers as a zombie.
    std::thread([child] {
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool EnvironmentHas(const char* name) { return std::getenv(name) != nullptr; }

void SetEnvironment(const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }

std::string ProgramPath() {
    std::string path(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<size_t>(n) >= path.size()) return {};
    path.resize(static_cast<size_t>(n));
    return path;
}

int ProcessId() { return static_cast<int>(getpid()); }

// umask() can only be read by setting it: for an instant files made by
// another thread would get no mask. The worker that asks has one thread.
unsigned FileCreationMask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

int ParentProcessId() { return static_cast<int>(getppid()); }

void EndWithParent(void (*on_end)(int)) {
    struct sigaction action {};
    action.sa_handler = on_end;
    sigemptyset(&action.sa_mask);
    for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal_number, &action, nullptr);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
}

void RaiseOpenFileLimit() {
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0) return;
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
}

std::optional<ChildProcess> ChildProcess::Start(const std::string& path, const std::vector<std::string>& arguments) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return std::nullopt;
    UniqueFd ours(ends[0]), theirs(ends[1]);
    SpawnActions actions;
    posix_spawn_file_actions_addopen(actions.Get(), 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(actions.Get(), 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(actions.Get(), theirs.Get(), 3);

    // The child starts with no signal blocked and every signal at its default.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> argv{path};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> args = Arguments(argv);
    pid_t child = 0;
    int failed = posix_spawn(&child, path.c_str(), actions.Get(), &attributes, args.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) return std::nullopt;
    return ChildProcess(child, std::move(ours));
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), channel_(std::move(other.channel_)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        End();
        pid_ = std::exchange(other.pid_, -1);
        channel_ = std::move(other.channel_);
    }
    return *this;
}

ChildProcess::~ChildProcess() { End(); }

void ChildProcess::End() {
    if (pid_ <= 0) return;
    Kill();
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

bool ChildProcess::Send(std::string_view data) {
    size_t sent = 0;
    while (sent < data.size()) {
        ssize_t n = send(channel_.Get(), data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

void ChildProcess::Kill() {
    if (pid_ > 0) kill(pid_, SIGKILL);
}

std::optional<ExitStatus> ChildProcess::Wait(int timeout_ms) {
    if (pid_ <= 0) return std::nullopt;
    // A descriptor that becomes readable when the child ends: no polling loop.
    UniqueFd ended(static_cast<int>(syscall(SYS_pidfd_open, pid_, 0)));
    if (ended) {
        pollfd watch{ended.Get(), POLLIN, 0};
        while (poll(&watch, 1, timeout_ms) < 0 && errno == EINTR) {
        }
    }
    int status = 0;
    pid_t done = waitpid(pid_, &status, ended ? WNOHANG : 0);
    if (done != pid_) return std::nullopt;
    pid_ = -1;
    if (WIFEXITED(status)) return ExitStatus{true, WEXITSTATUS(status)};
    return ExitStatus{false, WIFSIGNALED(status) ? WTERMSIG(status) : 0};
}

}  // namespace platform
