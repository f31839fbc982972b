// The worker: reads one archive for an archiver module, confined, and
// reports over descriptor 3 (see worker_protocol.h). Every operation that
// reads archive data runs in a worker, so that a decoder's crash or hang ends
// this process and never the program.
#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "input_watch.h"
#include "operations.h"
#include "process.h"
#include "sandbox.h"
#include "worker_client.h"
#include "worker_faults.h"
#include "worker_protocol.h"

namespace {

using namespace archivers;

constexpr int kChannel = 3;
constexpr auto kProgressInterval = std::chrono::milliseconds(100);
constexpr auto kEntryInterval = std::chrono::milliseconds(20);
// And whatever the time, at every hundredth of the archive and at its end:
// an archive read faster than the intervals still moves the bar in steps.
constexpr int64_t kProgressSteps = 100;

// Exit codes, for a person reading a log: the module looks only at the Result.
enum Exit { kDone = 0, kNoRequest = 2, kChannelLost = 3, kOrphaned = 4, kInterrupted = 5, kUnconfined = 6 };

// The temporary file being written, for the signal handler: a worker told to
// end (its module's process ended, or the terminal's interrupt) removes it.
// The name is good only while `pending_named` is set.
volatile sig_atomic_t pending_folder = -1;
volatile sig_atomic_t pending_named = 0;
char pending_name[64];

void RemovePending() {
    if (pending_folder >= 0 && pending_named) unlinkat(pending_folder, pending_name, 0);
}

void RemovePendingAndExit(int) {
    RemovePending();
    std::_Exit(kInterrupted);
}

void Send(const std::string& frame) {
    size_t sent = 0;
    while (sent < frame.size()) {
        ssize_t n = write(kChannel, frame.data() + sent, frame.size() - sent);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {  // nobody listens any more
            RemovePending();
            std::_Exit(kChannelLost);
        }
        sent += static_cast<size_t>(n);
    }
}

// Reads exactly `size` bytes from the module; false when it has gone.
bool ReceiveExactly(char* data, size_t size) {
    size_t got = 0;
    while (got < size) {
        ssize_t n = read(kChannel, data + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

// Asks the module for a password and waits for its answer. The answer is
// read straight into memory that is cleared after use: it never passes
// through the frame reader's buffer.
class ChannelPasswords : public PasswordSource {
public:
    PasswordAnswer Ask(bool retry, Secret& password) override {
        Send(wire::EncodePasswordWanted(retry));
        char header[wire::kHeaderSize];
        if (!ReceiveExactly(header, sizeof header)) return Lost();
        const auto frame = wire::DecodeHeader(std::string_view(header, sizeof header));
        if (!frame || frame->type != wire::Type::Password || frame->size > sizeof payload_) return Lost();
        const uint32_t size = frame->size;
        bool received = ReceiveExactly(payload_, size);
        std::optional<PasswordAnswer> answer =
            received ? wire::DecodePassword(std::string_view(payload_, size), password) : std::nullopt;
        explicit_bzero(payload_, sizeof payload_);
        return answer ? *answer : Lost();
    }

private:
    // A module that is gone or talks nonsense: nothing is read any further.
    [[noreturn]] static PasswordAnswer Lost() {
        RemovePending();
        std::_Exit(kChannelLost);
    }

    char payload_[Secret::kMaxLength];
};

std::optional<wire::Request> ReceiveRequest(wire::FrameReader& frames) {
    char buffer[4096];
    for (;;) {
        wire::Type type;
        std::string payload;
        if (frames.Next(type, payload))
            return type == wire::Type::Request ? wire::DecodeRequest(payload) : std::nullopt;
        if (frames.Malformed()) return std::nullopt;
        ssize_t n = read(kChannel, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        frames.Append(buffer, static_cast<size_t>(n));
    }
}

// The module's Finish, which the first share's worker waits for; false when
// the module has gone or sent something else.
bool ReceiveFinish() {
    char header[wire::kHeaderSize];
    if (!ReceiveExactly(header, sizeof header)) return false;
    const auto frame = wire::DecodeHeader(std::string_view(header, sizeof header));
    return frame && frame->type == wire::Type::Finish && frame->size == 0;
}

// Tells the module how far the work has come, which temporary file is about
// to be made and which file of the user's set aside, before it happens, and
// the steps of a shared extraction.
class Reporter : public Progress, public TemporaryListener, public ShareListener {
public:
    explicit Reporter(Faults& faults) : faults_(faults) {}
    ~Reporter() override { ForgetPending(); }

    bool Step(std::string_view entry, int64_t done, int64_t total) override {
        faults_.AtStep(entry);
        bool new_entry = entry != last_.entry;
        if (new_entry) last_.entry.assign(entry);
        last_.done = done;
        last_.total = total;
        SendProgress(new_entry);
        return true;
    }

    // Archive bytes read while no entry changes: a long entry, a long skip.
    // Reading the headers before a split is work going on, not progress.
    void Heartbeat(int64_t bytes_read) {
        if (!surveying_) last_.done = bytes_read;
        SendProgress(false);
    }

    void Surveying(bool surveying) override { surveying_ = surveying; }

    void Splitting(NameEncoding chosen) override { Send(wire::EncodePlan(chosen)); }

    void Written(const ShareOutcome& outcome) override {
        Send((unsent_ ? Encoded() : std::string()) + wire::Encode(outcome));
        if (share_ == Share::First && !ReceiveFinish()) {
            RemovePending();
            std::_Exit(kChannelLost);
        }
    }

    void SetShare(Share share) { share_ = share; }

    void Comparing() override { SendProgress(false); }

    // The module hears of a folder when the first temporary file is made in
    // it: the next ones, until another folder is named, are made there too.
    // Entries mostly come folder by folder, so most files cost no frame.
    void Creating(int folder, const Parts& entry, const std::string& name) override {
        pending_named = 0;
        std::string below = Joined(entry, entry.size() - 1);
        if (pending_folder < 0 || below != announced_) {
            // The entry's name goes first, so that the module shows the file being made.
            std::string frames = unsent_ ? Encoded() : std::string();
            Send(frames + wire::Encode(wire::Temporary{below, name}));
            ForgetPending();
            pending_folder = fcntl(folder, F_DUPFD_CLOEXEC, 0);
            announced_ = std::move(below);
        }
        if (name.size() >= sizeof pending_name) return;
        name.copy(pending_name, name.size());
        pending_name[name.size()] = '\0';
        pending_named = 1;
    }

    void SettingAside(int, const Parts& entry, const std::string& name) override {
        Send(wire::Encode(wire::Aside{Joined(entry, entry.size() - 1), name, entry.back()}));
    }

private:
    // A few times a second, for every new entry when that is not too often,
    // and at every hundredth of the archive.
    void SendProgress(bool new_entry) {
        auto now = std::chrono::steady_clock::now();
        unsent_ = now - sent_ < (new_entry ? kEntryInterval : kProgressInterval) && !Advanced();
        if (unsent_) return;
        sent_ = now;
        Send(Encoded());
    }

    // A hundredth of the archive read since the last frame, or its end.
    bool Advanced() const {
        if (last_.total <= 0) return false;
        if (last_.done >= last_.total) return sent_done_ < last_.total;
        return (last_.done - sent_done_) * kProgressSteps >= last_.total;
    }

    std::string Encoded() {
        unsent_ = false;
        sent_done_ = last_.done;
        return wire::Encode(last_);
    }

    void ForgetPending() {
        int folder = pending_folder;
        pending_folder = -1;
        if (folder >= 0) close(folder);
    }

    Faults& faults_;
    std::string announced_;  // the folder of the last Temporary frame
    std::chrono::steady_clock::time_point sent_{};
    wire::Progress last_;
    int64_t sent_done_ = 0;
    bool unsent_ = false;
    bool surveying_ = false;
    Share share_ = Share::Whole;
};

Reporter* active_reporter = nullptr;

void NoteHeartbeat(int64_t bytes_read) {
    if (active_reporter) active_reporter->Heartbeat(bytes_read);
}

wire::Result Run(const wire::Request& request, Reporter& reporter) {
    const char* archive = request.archive.c_str();
    ChannelPasswords passwords;
    const ReadOptions options{request.names, request.ask_password ? &passwords : nullptr};
    switch (request.operation) {
        case wire::Operation::Check: return {CheckArchive(request.kind, archive, request.mode), 0, ""};
        case wire::Operation::Count: return {FileCount(request.kind, archive), 0, ""};
        case wire::Operation::TarType: return {TarArchiveType(archive), 0, ""};
        case wire::Operation::Test: return {Test(request.kind, request.archive, reporter, options), 0, ""};
        case wire::Operation::List: {
            wire::Result result;
            result.code = List(request.kind, request.archive, result.text, request.names);
            return result;
        }
        case wire::Operation::Extract: {
            Command command{Action::Extract, true, request.archive, request.destination, request.patterns};
            reporter.SetShare(request.share);
            const ShareOptions shares{request.share, request.chosen, &reporter};
            return {Extract(request.kind, command, reporter, &reporter, options, shares), 0, ""};
        }
    }
    return {result::kBadCommand, 0, ""};
}

void Prepare() {
    // A worker never outlives the module's process: it is told to end, and
    // removes its temporary file on the way out.
    platform::EndWithParent(RemovePendingAndExit);
    close_range(kChannel + 1, ~0U, 0);
    // Deep trees keep a folder open for every level.
    platform::RaiseOpenFileLimit();
    std::setlocale(LC_CTYPE, "C.UTF-8");
    // DOS times are local times: the zone is read before the files are closed
    // off. With TZ unset glibc looks at /etc/localtime again at every mktime,
    // twice for each ZIP entry; named, the zone is read once. An empty TZ
    // (UTC) is left as it is.
    if (!platform::EnvironmentHas("TZ")) platform::SetEnvironment("TZ", ":/etc/localtime");
    tzset();
}

platform::SandboxRules RulesFor(const wire::Request& request) {
    platform::SandboxRules rules;
    // What the process needs to run (character-set converters, time zones), and the archive.
    rules.readable = {"/usr", "/etc/localtime", request.archive};
    if (request.operation == wire::Operation::Extract)
        rules.writable = request.destination.empty() ? "." : request.destination;
    rules.memory_limit = kWorkerMemoryLimit;
    return rules;
}

// A worker confined for reading one archive answers any number of questions
// about it (a program asks whether it is one, its type and its count in a
// row); an extraction, confined for its destination, is the worker's only one.
bool Reusable(wire::Operation operation) { return operation != wire::Operation::Extract; }

wire::Result Answer(const wire::Request& request, Faults& faults) {
    Reporter reporter(faults);
    active_reporter = &reporter;
    WatchInput(&NoteHeartbeat);
    wire::Result result = Run(request, reporter);
    WatchInput(nullptr);
    active_reporter = nullptr;
    return result;
}

}  // namespace

int main() {
    Prepare();
    Faults faults;
    wire::FrameReader frames;
    std::optional<wire::Request> first;
    for (;;) {
        std::optional<wire::Request> request = ReceiveRequest(frames);
        // No destructors, no exit handlers: the work is done and reported.
        if (!request) std::_Exit(first ? kDone : kNoRequest);
        if (platform::ParentProcessId() != request->parent) std::_Exit(kOrphaned);
        const bool starting = !first;
        if (starting) {
            first = request;
            // A file rule that the kernel offers but that could not be put in
            // place ends the worker: it never reads an archive less confined
            // than this machine allows.
            platform::SandboxLayers layers = platform::Confine(RulesFor(*request));
            if (!layers.no_new_privileges || (layers.landlock_abi >= 2 && !layers.landlock)) std::_Exit(kUnconfined);
        } else if (!Reusable(request->operation) || request->archive != first->archive) {
            std::_Exit(kNoRequest);  // confined for another archive or purpose
        }
        Send(wire::EncodeHello());
        if (starting) faults.AfterConfinement();
        faults.ForShare(static_cast<int>(request->share));
        Send(wire::Encode(Answer(*request, faults)));
        if (!Reusable(request->operation)) std::_Exit(kDone);
    }
}
