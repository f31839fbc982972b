// Running another program hidden and waiting for it.
#ifndef KELVORA_PLATFORM_PROCESS_H
#define KELVORA_PLATFORM_PROCESS_H

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "unique_fd.h"

namespace platform {

// Runs argv[0] (a full path) with the arguments, in `working_folder`, with
// no input and its output discarded; returns its exit status, or -1 when it
// could not be started or did not exit normally.
int RunHidden(const std::vector<std::string>& argv, const std::string& working_folder);

// Starts argv[0] (a full path) with the arguments and leaves it running on
// its own: nobody waits for it, and it does not end with us. False when it
// could not be started.
bool StartDetached(const std::vector<std::string>& argv);

// The value of an environment variable, empty when it is not set.
std::string Environment(const char* name);
// True when the variable is set, even to nothing.
bool EnvironmentHas(const char* name);
// Sets it for this process and the programs it starts from now on.
void SetEnvironment(const char* name, const std::string& value);

// The running program's own file, empty when it cannot be told.
std::string ProgramPath();

// This process's id and its parent's.
int ProcessId();
// The process's umask, read without changing it for longer than the call.
unsigned FileCreationMask();
int ParentProcessId();

// For a helper process: a request to end (SIGTERM, SIGINT, SIGHUP) calls
// `on_end`, which must be safe in a signal handler; the end of the parent
// counts as such a request.
void EndWithParent(void (*on_end)(int));

// Lets this process open as many files as the system allows it.
void RaiseOpenFileLimit();

// How a child process ended.
struct ExitStatus {
    bool exited = false;  // by exit(); otherwise by a signal
    int code = 0;         // exit code, or the signal's number
};

// A helper program started with one socket to talk to it on its descriptor 3
// (its standard input and output are /dev/null, its standard error is ours).
// It is killed and reaped if it still runs when this object goes away.
class ChildProcess {
public:
    static std::optional<ChildProcess> Start(const std::string& path, const std::vector<std::string>& arguments);
    ChildProcess(ChildProcess&& other) noexcept;
    // Ends the child this object had (as the destructor does), then takes `other`'s.
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ~ChildProcess();

    int Channel() const { return channel_.Get(); }
    pid_t Pid() const { return pid_; }
    // Sends all of `data` (never raises SIGPIPE); false when the child has gone.
    bool Send(std::string_view data);
    void Kill();
    // Waits at most `timeout_ms` for the child to end; nothing if it still runs.
    std::optional<ExitStatus> Wait(int timeout_ms);

private:
    ChildProcess(pid_t pid, UniqueFd channel) : pid_(pid), channel_(std::move(channel)) {}
    void End();
    pid_t pid_ = -1;
    UniqueFd channel_;
};

}  // namespace platform

#endif
