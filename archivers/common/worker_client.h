// The module's side of the worker process: starts the worker that sits beside
// the module, hands it one request, follows its progress and turns a worker
// that dies, hangs or talks nonsense into an archiver failure.
#ifndef KELVORA_ARCHIVERS_WORKER_CLIENT_H
#define KELVORA_ARCHIVERS_WORKER_CLIENT_H

#include <cstdint>
#include <string>

#include "progress.h"
#include "worker_protocol.h"

namespace archivers {

// The file name of the worker, installed beside the modules.
inline constexpr const char* kWorkerName = "zenkari-worker";

// A worker that makes no progress for this long is taken to hang and is
// ended. The variable ZENKARI_WORKER_TIMEOUT_MS (milliseconds) changes it.
inline constexpr int kWorkerTimeoutMs = 60'000;

// The worker's address space: a hostile size field may ask for gigabytes,
// and no archive we read needs this much.
inline constexpr uint64_t kWorkerMemoryLimit = 2ULL << 30;

// What the module answers when the worker failed: the archive could not be read.
inline constexpr int32_t kWorkerFailed = result::kReadArchive;

struct WorkerOutcome {
    bool answered = false;  // false: the worker failed (code is kWorkerFailed) or was cancelled
    int32_t code = kWorkerFailed;
    int32_t value = 0;
    std::string text;
    int workers = 1;  // two when an extraction was shared
};

// For the module's settings window: how the worker is confined on this machine.
std::string DescribeConfinement();

// The worker beside the module that holds this code.
std::string WorkerPath();

// Runs `request` in the worker at `worker`. Progress is reported as it
// comes; a cancel ends the worker and gives result::kCancelled. After a
// failure or a cancel the worker's temporary file is removed from the
// destination; finished entries stay. However the worker ends, every file of
// the user's that it set aside for an entry goes back to its name when the
// entry never took it, else to the desktop's trash (platform/trash.h). With
// `passwords` the worker may ask for the password of encrypted entries; the
// time the user takes to answer does not count as the worker's silence.
// An extraction asked with Share::First may be shared with a second worker
// (operations.h): one progress for both, a cancel, a failure or a hang of
// either ends both, and the result is the one a single worker would give.
WorkerOutcome RunWorker(const std::string& worker, wire::Request request, Progress& progress,
                        PasswordSource* passwords = nullptr);

}  // namespace archivers

#endif
