// The module's own progress window, seen from the operations.
#ifndef KELVORA_ARCHIVERS_PROGRESS_H
#define KELVORA_ARCHIVERS_PROGRESS_H

#include <cstdint>
#include <memory>
#include <string_view>

#include "hwnd.h"
#include "name_encoding.h"
#include "password.h"

namespace archivers {

class Progress {
public:
    virtual ~Progress() = default;
    // Reports the entry being worked on and the archive bytes read so far;
    // false once the user has cancelled.
    virtual bool Step(std::string_view entry, int64_t done, int64_t total) = 0;
};

class NoProgress : public Progress {
public:
    bool Step(std::string_view, int64_t, int64_t) override { return true; }
};

// A window owned by `owner` with the entry, a bar and a cancel button; null
// when none can be shown (no QApplication, or not on its thread).
std::unique_ptr<Progress> ShowProgressWindow(HWND owner, std::string_view caption);

// Asks for an archive's password in a small modal window owned by `owner`,
// naming the archive; null when no window can be shown.
std::unique_ptr<PasswordSource> PasswordWindow(HWND owner, std::string_view module, std::string_view archive);

// The module's settings window: its name, version and the formats it reads,
// and how entry names are read. `names` changes only when the user confirms.
// False when no window can be shown.
bool ShowModuleSettings(HWND owner, std::string_view title, std::string_view text, NameEncoding& names);
// A warning over `owner`, when a window can be shown.
void ShowModuleMessage(HWND owner, std::string_view title, std::string_view text);

}  // namespace archivers

#endif
