#include "entry_counter.h"

#include <poll.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "library.h"

namespace {

constexpr int kChannel = 3;

// A notifier may be the sender of the signal being handled: it goes when the event loop comes back.
void DeleteLater(QSocketNotifier* notifier) {
    if (!notifier) return;
    notifier->setEnabled(false);
    notifier->deleteLater();
}

}  // namespace

int CountEntriesOnCommand(const char* index) {
    std::string path;
    char block[4096];
    for (ssize_t n; path.find('\0') == std::string::npos && (n = read(kChannel, block, sizeof block)) > 0;)
        path.append(block, static_cast<size_t>(n));
    if (path.find('\0') == std::string::npos) return 2;
    path.resize(path.find('\0'));
    try {
        core::DravolixLibrary library;
        const std::string answer = std::to_string(library.GetFileCount(std::atoi(index), path)) + "\n";
        return write(kChannel, answer.data(), answer.size()) == static_cast<ssize_t>(answer.size()) ? 0 : 1;
    } catch (const std::exception&) {
        return 1;  // no library: the window shows no count
    }
}

EntryCounter::EntryCounter(std::string program) : program_(std::move(program)), notifier_(nullptr, DeleteLater) {}

EntryCounter::~EntryCounter() { Cancel(); }

void EntryCounter::Start(int32_t index, const std::string& path, std::function<void(int32_t)> done) {
    Cancel();
    child_ = platform::ChildProcess::Start(program_, {kCountEntriesOption, std::to_string(index)});
    if (!child_ || !child_->Send(std::string_view(path.c_str(), path.size() + 1))) {
        child_.reset();
        return;  // the status line stays without a count
    }
    done_ = std::move(done);
    answer_.clear();
    notifier_.reset(new QSocketNotifier(child_->Channel(), QSocketNotifier::Read));
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        if (Read()) Finish();
    });
    // A quick count is shown with the rest, before the window paints again.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd ready{child_->Channel(), POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) return;
        if (Read()) return Finish();
    }
}

void EntryCounter::Cancel() {
    done_ = nullptr;
    notifier_.reset();
    child_.reset();  // killed and reaped; the worker it started ends with it
}

bool EntryCounter::Read() {
    char block[64];
    const ssize_t n = read(child_->Channel(), block, sizeof block);
    if (n > 0) answer_.append(block, static_cast<size_t>(n));
    return n <= 0 || answer_.find('\n') != std::string::npos;
}

void EntryCounter::Finish() {
    std::function<void(int32_t)> done = std::move(done_);
    Cancel();
    char* end = nullptr;
    const long count = std::strtol(answer_.c_str(), &end, 10);
    if (done && end != answer_.c_str() && *end == '\n') done(static_cast<int32_t>(count));
}
