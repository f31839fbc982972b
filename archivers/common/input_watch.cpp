#include "input_watch.h"

namespace archivers {
namespace {

InputWatcher watcher_ = nullptr;

}  // namespace

void WatchInput(InputWatcher watcher) { watcher_ = watcher; }

void NoteInput(int64_t bytes_read) {
    if (watcher_) watcher_(bytes_read);
}

}  // namespace archivers
