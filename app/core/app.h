// What the program's windows share: the core's session, the library, and the
// ways to reach the user and the desktop (windows, or the console).
#ifndef KELVORA_APP_APP_H
#define KELVORA_APP_APP_H

#include <memory>
#include <string>

#include "library.h"
#include "session.h"
#include "settings.h"
#include "ui.h"

struct App {
    core::Session session;
    std::unique_ptr<core::Library> library;
    std::unique_ptr<core::Prompter> prompter;
    std::unique_ptr<core::Shell> shell;
    std::unique_ptr<core::SettingsFile> settings_file;
    // The folder holding the program, without a trailing "/" (except "/").
    std::string app_folder;
    // The program's own file, handed to the desktop when it becomes the
    // opener of archive types.
    std::string program_path;
    // The help page: beside the program, or where an installed copy keeps it.
    std::string help_file;
    // No display: messages go to standard error, folders are printed.
    bool console = false;
    // The process's exit status once the event loop ends.
    int exit_code = 0;
};

#endif
