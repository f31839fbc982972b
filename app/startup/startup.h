// The program's start: the start-up window with its checks, tables and
// settings, which hands over to the main window.
#ifndef KELVORA_APP_STARTUP_H
#define KELVORA_APP_STARTUP_H

#include <cstdint>
#include <functional>
#include <string>

#include "app.h"

// Opens the main window with the command line (the whole text, one path).
// The program's entry point passes the main window's own; the start-up knows
// the main window only through it.
using OpenMainWindowFn = std::function<void(App&, const std::string&)>;

// Whether the library file can be found (DLLCheck).
using LibraryCheckFn = std::function<bool()>;

// Runs the start-up: the library check, the catalogue, the settings file,
// then either the quick start (one existing file on the command line) or the
// splash with its timer steps, and finally `open_main`. A fatal check shows
// its message, sets app.exit_code to 1 and ends the event loop.
void RunStartUp(App& app, const std::string& command_line, const OpenMainWindowFn& open_main);

// RunStartUp with the library check given; the program passes
// core::DravolixLibrary::Present.
void RunStartUp(App& app, const std::string& command_line, const OpenMainWindowFn& open_main,
                const LibraryCheckFn& library_present);

// Shared by the quick start and the splash. StopProgram shows the fatal
// message (first line, then "プログラムを終了します。"), sets the exit code 1
// and ends the event loop; nothing is saved. CountArchivers is SupportDLL:
// the number of archiver modules the library can load.
void StopProgram(App& app, const std::string& first_line);
int32_t CountArchivers(App& app);

#endif
