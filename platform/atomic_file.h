// Replacing a file's contents so that it is never seen half-written.
#ifndef KELVORA_PLATFORM_ATOMIC_FILE_H
#define KELVORA_PLATFORM_ATOMIC_FILE_H

#include <sys/types.h>

#include <string>
#include <string_view>

namespace platform {

// Writes all of `text` to `fd`, going on after an interruption; false on an error.
bool WriteAll(int fd, std::string_view text);

// The permission bits a new file gets: 0666 less the process's umask.
mode_t NewFileMode();

// Writes `contents` to a temporary file beside `path`, flushes it and renames
// it over `path` (through a link, the link's target is replaced). The file
// keeps its permission bits, a new one gets NewFileMode(). On any failure
// (missing folder, read-only folder, full disk) `path` is left as it was, the
// temporary file is removed and the answer is false.
bool ReplaceFileAtomically(const std::string& path, std::string_view contents);

}  // namespace platform

#endif
