#include "worker_client.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <vector>

#include "disk_writer.h"
#include "module_loader.h"
#include "process.h"
#include "sandbox.h"
#include "trash.h"
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

// Only a name the worker itself would make (kTemporaryPrefix, its PID, "-N", `suffix`).
bool IsWorkerName(const std::string& name, pid_t worker, const std::string& suffix) {
    const std::string prefix = kTemporaryPrefix + std::to_string(worker) + "-";
    if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    return IsDigits(std::string_view(name).substr(prefix.size(), name.size() - prefix.size() - suffix.size()));
}

// The worker's folder below the destination, walked without following
// links, whatever the worker said.
platform::UniqueFd OpenBelow(const std::string& destination, const std::string& below) {
    platform::UniqueFd folder(open(destination.empty() ? "." : destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    size_t start = 0;
    while (folder && start < below.size()) {
        size_t slash = below.find('/', start);
        if (slash == std::string::npos) slash = below.size();
        std::string part = below.substr(start, slash - start);
        if (!platform::IsOneName(part)) return platform::UniqueFd();
        folder = platform::UniqueFd(openat(folder.Get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        start = slash + 1;
    }
    return folder;
}

// Removes what a worker that was ended left half-written: a temporary file of
// its own in the folder it named last, the only one where one can be left.
void RemoveTemporary(const std::string& destination, const wire::Temporary& temporary, pid_t worker) {
    if (!IsWorkerName(temporary.name, worker, kTemporarySuffix)) return;
    platform::UniqueFd folder = OpenBelow(destination, temporary.folder);
    if (!folder) return;
    for (const std::string& name : platform::FolderNames(folder.Get()))
        if (IsWorkerName(name, worker, kTemporarySuffix)) unlinkat(folder.Get(), name.c_str(), 0);
}

// Once an extraction's worker has ended, each file of the user's that it set
// aside goes back to its name when that is still free (the entry never took
// it), else to the trash as that name, else beside it under a numbered name.
void SettleAsides(const wire::Request& request, const std::vector<wire::Aside>& asides, pid_t worker) {
    if (request.operation != wire::Operation::Extract) return;
    for (const wire::Aside& aside : asides) {
        if (!IsWorkerName(aside.name, worker, kAsideSuffix) || !platform::IsOneName(aside.original)) continue;
        platform::UniqueFd folder = OpenBelow(request.destination, aside.folder);
        if (folder && platform::RenameNoReplace(folder.Get(), aside.name, folder.Get(), aside.original) != 0)
            platform::PutAway(folder.Get(), aside.name, aside.original);
    }
}

// What the worker has said so far.
struct Conversation {
    wire::FrameReader frames;
    bool hello = false;
    bool malformed = false;
    wire::Progress progress;  // the latest
    std::vector<wire::Progress> steps;  // every one not yet shown, in order
    std::optional<wire::Temporary> temporary;
    std::vector<wire::Aside> asides;
    std::optional<wire::Result> result;
    std::optional<bool> password_wanted;  // and whether the last one was wrong
    std::optional<NameEncoding> plan;  // the first share's worker splits
    std::optional<ShareOutcome> shared;  // its share is written

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
                if (progress_message) steps.push_back(progress = std::move(*progress_message));
            } else if (type == wire::Type::Temporary) {
                temporary = wire::DecodeTemporary(payload);
                malformed = !temporary;
            } else if (type == wire::Type::Aside) {
                auto aside = wire::DecodeAside(payload);
                malformed = !aside;
                if (aside) asides.push_back(std::move(*aside));
            } else if (type == wire::Type::PasswordWanted) {
                password_wanted = wire::DecodePasswordWanted(payload);
                malformed = !password_wanted;
            } else if (type == wire::Type::Plan) {
                malformed = plan.has_value();  // said once
                plan = wire::DecodePlan(payload);
                malformed = malformed || !plan;
            } else if (type == wire::Type::ShareEnd) {
                malformed = shared.has_value();
                shared = wire::DecodeShareOutcome(payload);
                malformed = malformed || !shared;
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

// One worker of a request: the whole of it, or one share of an extraction.
struct Run {
    wire::Request request;
    std::optional<platform::ChildProcess> child;
    Conversation talk;
    Clock::time_point last_heard = Clock::now();
    int64_t done = 0;  // the latest progress shown
    bool finish_sent = false;

    // Its share written, the first share's worker waits for the second.
    bool Waiting() const { return talk.shared && !talk.result && request.share == Share::First; }
};

// Asks the user for the password the worker wants and sends the answer; a
// worker that asks without having been allowed to breaks the protocol.
bool AnswerPassword(platform::ChildProcess& child, bool retry, PasswordSource* passwords) {
    if (!passwords) return false;
    Secret password, frame;
    const PasswordAnswer answer = passwords->Ask(retry, password);
    wire::EncodePassword(answer, password, frame);
    return child.Send(frame.View());
}

// Reads whatever each worker has sent; false once one has ended without
// its Result or broken the protocol.
bool Listen(std::vector<Run>& runs) {
    std::vector<pollfd> channels;
    std::vector<Run*> listened;
    for (Run& run : runs)
        if (!run.talk.result) {
            channels.push_back({run.child->Channel(), POLLIN, 0});
            listened.push_back(&run);
        }
    int ready = poll(channels.data(), channels.size(), kPollMs);
    if (ready < 0) return errno == EINTR;
    char buffer[1 << 16];
    for (size_t i = 0; i < channels.size() && ready > 0; ++i) {
        if (channels[i].revents == 0) continue;
        Run& run = *listened[i];
        ssize_t n = read(channels[i].fd, buffer, sizeof buffer);
        if (n < 0 && errno != EINTR && errno != EAGAIN) return false;
        if (n == 0) return false;
        if (n < 0) continue;
        run.talk.frames.Append(buffer, static_cast<size_t>(n));
        if (!run.talk.Take()) return false;
        // A plan only from the worker allowed to split, a share's end only from a share.
        if (run.talk.plan && run.request.share != Share::First) return false;
        if (run.talk.shared && (run.request.share == Share::Whole || (run.request.share == Share::First && !run.talk.plan)))
            return false;
        run.last_heard = Clock::now();
    }
    return true;
}

// Every step a worker reported is shown, so that the bar moves however the
// frames arrived; then the latest once more, so that the window answers
// while the workers are silent, and a cancel pressed before the result was
// read wins over it. Shared, the bar is the workers' mean: each reads the
// whole archive. False once the user has cancelled.
bool ShowProgress(std::vector<Run>& runs, Progress& progress, std::string& entry, int64_t& total) {
    auto mean = [&] {
        int64_t sum = 0;
        for (const Run& run : runs) sum += run.done;
        return sum / static_cast<int64_t>(runs.size());
    };
    for (Run& run : runs) {
        for (const wire::Progress& step : run.talk.steps) {
            run.done = step.done;
            total = step.total;
            entry = step.entry;
            if (!progress.Step(entry, mean(), total)) return false;
        }
        run.talk.steps.clear();
    }
    return progress.Step(entry, mean(), total);
}

// Starts the second share's worker once the first has split.
bool StartSecond(std::vector<Run>& runs, const std::string& worker) {
    Run second;
    second.request = runs.front().request;
    second.request.share = Share::Second;
    second.request.chosen = *runs.front().talk.plan;
    second.request.ask_password = false;  // no entry is encrypted
    second.child = platform::ChildProcess::Start(worker, {});
    const bool started = second.child && second.child->Send(wire::Encode(second.request));
    runs.push_back(std::move(second));
    return started;
}

// Reads from the workers until every Result is in, or one ends without
// one, breaks the protocol, falls silent for too long, or the user cancels.
// A worker waiting for a password or for the other share is not silent.
Ending Follow(std::vector<Run>& runs, const std::string& worker, Progress& progress, PasswordSource* passwords) {
    const auto timeout = std::chrono::milliseconds(TimeoutMs());
    std::string entry;
    int64_t total = 0;
    for (;;) {
        if (!Listen(runs)) return Ending::Failed;
        if (!ShowProgress(runs, progress, entry, total)) return Ending::Cancelled;
        if (runs.front().talk.plan && runs.size() == 1 && !StartSecond(runs, worker)) return Ending::Failed;
        Run& first = runs.front();
        if (runs.size() == 2 && first.Waiting() && runs.back().talk.result && !first.finish_sent) {
            if (!first.child->Send(wire::EncodeFinish())) return Ending::Failed;
            first.finish_sent = true;
        }
        bool finished = true;
        for (Run& run : runs) {
            if (run.talk.password_wanted) {
                const bool retry = *run.talk.password_wanted;
                run.talk.password_wanted.reset();
                if (!AnswerPassword(*run.child, retry, &run == &first ? passwords : nullptr)) return Ending::Failed;
                run.last_heard = Clock::now();
            }
            if (run.Waiting()) run.last_heard = Clock::now();
            if (!run.talk.result && Clock::now() - run.last_heard > timeout) return Ending::Failed;
            finished = finished && run.talk.result;
        }
        if (finished) return Ending::Finished;
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

Ending Ask(std::vector<Run>& runs, const std::string& worker, Progress& progress, PasswordSource* passwords) {
    Run& run = runs.front();
    run.last_heard = Clock::now();
    return run.child->Send(wire::Encode(run.request)) ? Follow(runs, worker, progress, passwords) : Ending::Failed;
}

// How a share's walk went; a worker that answered without walking (the
// archive would not open) failed before the first entry.
ShareOutcome OutcomeOf(const Run& run) {
    if (run.talk.shared) return *run.talk.shared;
    ShareOutcome failed;
    failed.stop_index = -1;
    failed.stop = Stop::Fatal;
    failed.stop_code = run.talk.result->code != result::kOk ? run.talk.result->code : kWorkerFailed;
    return failed;
}

// What tells one version of a file from another.
struct FileStamp {
    dev_t device;
    ino_t inode;
    off_t size;
    timespec modified, changed;

    bool operator==(const FileStamp& o) const {
        return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
               changed.tv_nsec == o.changed.tv_nsec;
    }
};

std::optional<FileStamp> StampOf(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

// A worker that has answered a question about an archive and waits, confined
// for reading that archive, for the next one.
struct IdleWorker {
    std::string worker, archive;
    FileStamp stamp;
    platform::ChildProcess child;
};

// The module's one idle worker. A program asks about one archive several
// times in a row (is it one, its type, its count), and the library loads the
// module anew each time, so the worker is kept for the process (the module
// stays mapped) and taken by the next question about the same unchanged
// archive; any other question ends it. It dies with the process.
class IdleWorkers {
public:
    std::optional<platform::ChildProcess> Take(const std::string& worker, const std::string& archive,
                                               const FileStamp& stamp) {
        std::optional<IdleWorker> idle;
        {
            std::lock_guard lock(mutex_);
            idle.swap(idle_);
        }
        if (!idle || idle->worker != worker || idle->archive != archive || !(idle->stamp == stamp)) return std::nullopt;
        return std::optional<platform::ChildProcess>(std::move(idle->child));
    }
    void Keep(IdleWorker worker) {
        std::optional<IdleWorker> kept(std::move(worker));
        std::lock_guard lock(mutex_);
        idle_.swap(kept);  // a worker kept meanwhile ends with `kept`
    }

private:
    std::mutex mutex_;
    std::optional<IdleWorker> idle_;
};

IdleWorkers& Idle() {
    static IdleWorkers workers;
    return workers;
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

WorkerOutcome RunWorker(const std::string& worker, wire::Request request, Progress& progress,
                        PasswordSource* passwords) {
    WorkerOutcome outcome;
    if (worker.empty()) return outcome;
    request.parent = static_cast<int32_t>(platform::ProcessId());
    request.ask_password = passwords != nullptr;
    const std::optional<FileStamp> stamp =
        request.operation == wire::Operation::Extract ? std::nullopt : StampOf(request.archive);
    std::vector<Run> runs(1);
    runs.front().request = std::move(request);
    Ending ending = Ending::Failed;
    if (stamp) runs.front().child = Idle().Take(worker, runs.front().request.archive, *stamp);
    if (runs.front().child) {
        ending = Ask(runs, worker, progress, passwords);
        // An idle worker that has gone since (it never said Hello) is replaced.
        if (ending == Ending::Failed && !runs.front().talk.hello) {
            runs.front().child.reset();
            runs.front().talk = Conversation();
        }
    }
    if (!runs.front().child) {
        runs.front().child = platform::ChildProcess::Start(worker, {});
        if (!runs.front().child) return outcome;
        ending = Ask(runs, worker, progress, passwords);
    }
    if (ending != Ending::Finished) {
        // Every worker is ended first: the other share's would go on writing.
        for (Run& run : runs)
            if (run.child) run.child->Kill();
        for (Run& run : runs) {
            if (!run.child) continue;
            const pid_t pid = run.child->Pid();
            run.child->Wait(TimeoutMs());
            Drain(run.child->Channel(), run.talk);
            run.child.reset();  // reaped, if it was not
            if (run.talk.temporary) RemoveTemporary(run.request.destination, *run.talk.temporary, pid);
            SettleAsides(run.request, run.talk.asides, pid);
        }
        if (ending == Ending::Cancelled) outcome.code = result::kCancelled;
        return outcome;
    }
    const wire::Result& answer = *runs.front().talk.result;
    outcome.answered = true;
    outcome.code = runs.size() == 2 ? CombineShares(OutcomeOf(runs.front()), OutcomeOf(runs.back())) : answer.code;
    outcome.value = answer.value;
    outcome.text = answer.text;
    outcome.workers = static_cast<int>(runs.size());
    // An extraction's workers end here; a reading one waits for the next question.
    Run& first = runs.front();
    if (stamp) Idle().Keep(IdleWorker{worker, first.request.archive, *stamp, std::move(*first.child)});
    for (Run& run : runs) {
        const pid_t pid = run.child ? run.child->Pid() : -1;
        run.child.reset();
        SettleAsides(run.request, run.talk.asides, pid);
    }
    return outcome;
}

}  // namespace archivers
