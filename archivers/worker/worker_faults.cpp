#include "worker_faults.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#include "process.h"
#include "sandbox.h"
#include "worker_protocol.h"

namespace {

constexpr int kChannel = 3;

void Report(int error, const std::string& what) {
    std::string frame = archivers::wire::Encode(archivers::wire::Result{0, error, what});
    if (write(kChannel, frame.data(), frame.size()) < 0) std::_Exit(1);
    std::_Exit(0);
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
    if (size_t share = setting.find(':', colon + 1); share != std::string::npos) share_ = setting.substr(share + 1);
}

void Faults::ForShare(int share) {
    const char* name = share == 1 ? "first" : share == 2 ? "second" : "";
    if (!share_.empty() && share_ != name) at_entry_ = 0;
}

void Faults::AfterConfinement() {
    if (what_.rfind("try:", 0) == 0) Report(platform::TryRefused(what_, argument_), what_);
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
    if (what_ == "sleep") {
        usleep(300'000);
        at_entry_ = 0;
        return;
    }
    if (what_ == "crash") raise(SIGSEGV);
    if (what_ == "hang") for (;;) pause();
    if (what_ == "quit") std::_Exit(0);
    if (what_ == "garbage") {
        const char junk[] = "\x7f\xff\xff\xff\xff not a frame";
        if (write(kChannel, junk, sizeof junk) < 0) std::_Exit(1);
        for (;;) pause();
    }
}
