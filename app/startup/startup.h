// The program's start: the start-up window with its checks, tables and
// settings, which hands over to the main window.
#ifndef KELVORA_APP_STARTUP_H
#define KELVORA_APP_STARTUP_H

#include <functional>
#include <string>

#include "app.h"

// Opens the main window with the command line (the whole text, one path).
using OpenMainWindowFn = std::function<void(App&, const std::string&)>;

// Runs the start-up: the library check, the catalogue, the settings file,
// then either the quick start (one existing file on the command line) or the
// splash with its timer steps, and finally `open_main`. A fatal check shows
// its message, sets app.exit_code to 1 and ends the event loop.
void RunStartUp(App& app, const std::string& command_line, const OpenMainWindowFn& open_main);

#endif
