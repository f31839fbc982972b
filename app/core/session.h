// The program's shared values and what the core's procedures work with.
#ifndef KELVORA_CORE_SESSION_H
#define KELVORA_CORE_SESSION_H

#include <cstdint>
#include <string>

#include "catalogue.h"
#include "hwnd.h"
#include "library.h"
#include "settings.h"
#include "ui.h"

namespace core {

enum FileKind : uint8_t { kNotArchive = 0, kNotExaminable = 1, kArchive = 2 };

// Values that live as long as the program.
struct Session {
    Settings settings;
    DllVersions dll_version{};
    // The outcome of the last identification, read by extraction and the menus.
    uint8_t file_kind = kNotArchive;
    int32_t file_archiver = 0;
    // The join script of the last join, deleted at exit; empty when none.
    std::string join_batch_file;
    // Where the settings file and the join script live.
    std::string settings_folder;
    // False where no one sees the status line (console mode): the entry
    // count, which reads a compressed archive whole, is then not taken.
    bool count_entries = true;
};

// Everything one procedure of the core needs.
struct Context {
    Session& session;
    Library& library;
    Screen& screen;
    Prompter& prompter;
    Shell& shell;
    HWND owner = nullptr;  // the main window
    // Where the entry count runs in the background (the main window); the
    // count is taken on the spot where there is none.
    Counter* counter = nullptr;
};

}  // namespace core

#endif
