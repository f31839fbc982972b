// Reading the settings file at start-up: creating it on the first start,
// rewriting it for an older program and backing it up for a newer one.
#ifndef KELVORA_CORE_LOAD_SETTINGS_H
#define KELVORA_CORE_LOAD_SETTINGS_H

#include <functional>
#include <string>

#include "settings.h"
#include "ui.h"

namespace core {

// Shows a status text at once (the start-up window's status line); may be empty.
using StatusFn = std::function<void(const std::string&)>;

// The title of messages that have no title of their own.
inline constexpr const char* kProgramTitle = "Archive Extraction Tool 「Kelvora?」";

// The program's version as a single-precision number (1.00 for version 100).
float ProgramVersion();

// The name of the backup copy of a settings file of version `file_version`:
// "zenkari." and the version x 100 in single precision ("zenkari.110" for 1.1).
std::string BackupFileName(float file_version);

// Reads the whole file into `out` and repairs the manual destination. Then a
// missing file is created, a file of an older program is rewritten with the
// creation values (`out` keeps what was read), and a file of a newer program
// is copied to its backup beside it and left alone. Failures to write or copy
// are silent: the next start tries again.
void LoadSettings(const SettingsFile& file, Settings& out, Prompter& prompter, const StatusFn& status);

}  // namespace core

#endif
