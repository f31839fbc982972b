// The program's one working window.
#ifndef KELVORA_APP_MAIN_WINDOW_H
#define KELVORA_APP_MAIN_WINDOW_H

#include <string>

#include "app.h"

// Loads the main window with the command line (the whole text, one path):
// a file is identified and extracted and the program ends (app.exit_code 0
// on success, 1 otherwise) without showing the window; otherwise the window
// is shown and lives until the program ends.
void OpenMainWindow(App& app, const std::string& command_line);

// Console mode: the archive the command line names is identified and
// extracted as the main window would do it, without building the window;
// app.exit_code as above, and the program ends.
void ExtractInConsole(App& app, const std::string& command_line);

#endif
