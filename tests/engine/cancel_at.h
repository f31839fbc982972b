// A progress that cancels at the first step reporting the entry it is told.
#ifndef KELVORA_TESTS_CANCEL_AT_H
#define KELVORA_TESTS_CANCEL_AT_H

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "progress.h"

class CancelAt : public archivers::Progress {
public:
    explicit CancelAt(std::string entry) : entry_(std::move(entry)) {}
    bool Step(std::string_view entry, int64_t, int64_t) override { return entry != entry_; }

private:
    std::string entry_;
};

#endif
