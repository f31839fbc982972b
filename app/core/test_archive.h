// Asking an archive's module to verify it, without extracting anything.
#ifndef KELVORA_CORE_TEST_ARCHIVE_H
#define KELVORA_CORE_TEST_ARCHIVE_H

#include <string>

#include "session.h"

namespace core {

// Identifies `path` again, runs the module's test command and tells the user
// whether the archive is intact.
void TestArchive(Context& ctx, const std::string& path);

}  // namespace core

#endif
