#include "worker_client.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>

#include "module_loader.h"
#include "process.h"
#include "sandbox.h"
#include "unique_fd.h"

namespace archivers {
namespace {

using Clock = std::chrono::steady_clock;

// How often the progress window is given a turn while the worker is silent.
constexpr int kPollMs = 100;

int TimeoutMs() {
    int configured = std::atoi(platform::Environment("ZENKARI_WORKER_TIMEOUT_MS").c_str());
    return configured > 0 ? configured : kWorkerTimeoutMs;
}

bool IsDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Only a name the worker itself would make: ".kelvora-PID-N.part".
bool IsWorkerTemporary(const std::string& name, pid_t worker) {
    const std::string prefix = ".kelvora-" + std::to_string(worker) + "-";
    const std::string suffix = ".part";
    if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    return IsDigits(std::string_view(name).substr(prefix.size(), name.size() - prefix.size() - suffix.size()));
}

// Removes what a worker that was ended left half-written. The folder is
// walked without following links, whatever the worker said.
void RemoveTemporary(const std::string& destination, const wire::Temporary& temporary, pid_t worker) {
    if (!IsWorkerTemporary(temporary.name, worker)) return;
    platform::UniqueFd folder(open(destination.empty() ? "." : destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    size_t start = 0;
    while (folder && start < temporary.folder.size()) {
        size_t slash = temporary.folder.find('/', start);
        if (slash == std::string::npos) slash = temporary.folder.size();
        std::string part = temporary.folder.substr(start, slash - start);
        if (part.empty() || part == "." || part == "..") return;
        folder = platform::UniqueFd(openat(folder.Get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        start = slash + 1;
    }
    if (folder) unlinkat(folder.Get(), temporary.name.c_str(), 0);
}

// What the worker has said so far.
struct Conversation {
    wire::FrameReader frames;
    bool hello = false;
    bool malformed = false;
    wire::Progress progress;
    std::optional<wire::Temporary> temporary;
    std::optional<wire::Result> result;

    // Takes every whole frame received; false once the worker broke the protocol.
    bool Take() {
        wire::Type type;
        std::string payload;
        while (!malformed && frames.Next(type, payload)) {
            if (!hello) {
                hello = type == wire::Type::Hello && wire::DecodeHello(payload);
                malformed = !hello;
            } else if (result) {
                malformed = true;  // nothing may follow the result
            } else if (type == wire::Type::Progress) {
                auto progress_message = wire::DecodeProgress(payload);
                malformed = !progress_message;
                if (progress_message) progress = std::move(*progress_message);
            } else if (type == wire::Type::Temporary) {
                temporary = wire::DecodeTemporary(payload);
                malformed = !temporary;
            } else if (type == wire::Type::Result) {
                result = wire::DecodeResult(payload);
                malformed = !result;
            } else {
                malformed = true;
            }
        }
        malformed = malformed || frames.Malformed();
        return !malformed;
    }
};

enum class Ending { Finished, Failed, Cancelled };

// Reads from the worker until it closes its end, breaks the protocol, falls
// silent for too long, or the user cancels.
Ending Follow(platform::ChildProcess& child, Conversation& talk, Progress& progress) {
    const auto timeout = std::chrono::milliseconds(TimeoutMs());
    auto last_heard = Clock::now();
    char buffer[1 << 16];
    for (;;) {
        pollfd channel{child.Channel(), POLLIN, 0};
        int ready = poll(&channel, 1, kPollMs);
        if (ready < 0 && errno != EINTR) return Ending::Failed;
        if (ready > 0) {
            ssize_t n = read(child.Channel(), buffer, sizeof buffer);
            if (n < 0 && errno != EINTR && errno != EAGAIN) return Ending::Failed;
            if (n == 0) return talk.frames.Empty() ? Ending::Finished : Ending::Failed;
            if (n > 0) {
                talk.frames.Append(buffer, static_cast<size_t>(n));
                if (!talk.Take()) return Ending::Failed;
                last_heard = Clock::now();
            }
        }
        if (!progress.Step(talk.progress.entry, talk.progress.done, talk.progress.total)) return Ending::Cancelled;
        if (Clock::now() - last_heard > timeout) return Ending::Failed;
    }
}

// The last words of a worker that was ended: a temporary file it announced
// just before, still unread. Only what is already there is read.
void Drain(int channel, Conversation& talk) {
    char buffer[1 << 12];
    pollfd ready{channel, POLLIN, 0};
    for (int reads = 0; reads < 64 && poll(&ready, 1, 0) > 0; ++reads) {
        ssize_t n = read(channel, buffer, sizeof buffer);
        if (n <= 0) return;
        talk.frames.Append(buffer, static_cast<size_t>(n));
        talk.Take();
    }
}

}  // namespace

std::string DescribeConfinement() {
    int abi = platform::LandlockAbi();
    std::string files = abi >= 2 ? "ファイル：書庫の読み取りと解凍先への書き込みのみ（Landlock ABI " + std::to_string(abi) + "）"
                                 : "ファイル：制限なし（このカーネルでは Landlock が使えません）";
    return "書庫は別のプロセスで読み取ります。\n" + files +
           "\n禁止：ネットワーク、他のプログラムの実行、他のプロセスの操作\nメモリ上限：" +
           std::to_string(kWorkerMemoryLimit >> 30) + " GB";
}

std::string WorkerPath() {
    std::string folder = platform::FolderOfCode(reinterpret_cast<const void*>(&WorkerPath));
    return folder.empty() ? "" : folder + "/" + kWorkerName;
}

WorkerOutcome RunWorker(const std::string& worker, wire::Request request, Progress& progress) {
    WorkerOutcome outcome;
    if (worker.empty()) return outcome;
    request.parent = static_cast<int32_t>(getpid());
    auto child = platform::ChildProcess::Start(worker, {});
    if (!child) return outcome;
    const pid_t pid = child->Pid();
    Conversation talk;
    Ending ending = child->Send(wire::Encode(request)) ? Follow(*child, talk, progress) : Ending::Failed;
    std::optional<platform::ExitStatus> status;
    if (ending == Ending::Finished) status = child->Wait(TimeoutMs());
    if (!status) {
        child->Kill();
        child->Wait(TimeoutMs());
        Drain(child->Channel(), talk);
    }
    child.reset();  // reaped, if it was not

    const bool clean = status && status->exited && status->code == 0 && talk.result;
    if (!clean) {
        if (talk.temporary) RemoveTemporary(request.destination, *talk.temporary, pid);
        if (ending == Ending::Cancelled) outcome.code = result::kCancelled;
        return outcome;
    }
    outcome.answered = true;
    outcome.code = talk.result->code;
    outcome.value = talk.result->value;
    outcome.text = std::move(talk.result->text);
    return outcome;
}

}  // namespace archivers
