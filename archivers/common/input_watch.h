// A sign of life from the reading of an archive: whoever runs the engine may
// be told, block by block, how many bytes of the archive have been read. The
// worker uses it so that a long entry or a long skip still shows that work
// goes on, while a decoder caught in a loop falls silent.
#ifndef KELVORA_ARCHIVERS_INPUT_WATCH_H
#define KELVORA_ARCHIVERS_INPUT_WATCH_H

#include <cstdint>

namespace archivers {

using InputWatcher = void (*)(int64_t bytes_read);

// One watcher for the process (the worker reads one archive at a time).
void WatchInput(InputWatcher watcher);
void NoteInput(int64_t bytes_read);

}  // namespace archivers

#endif
