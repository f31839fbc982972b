// The core's prompter and shell for the windowed program and for the console.
#ifndef KELVORA_APP_DESKTOP_H
#define KELVORA_APP_DESKTOP_H

#include <cstdio>
#include <memory>

#include "ui.h"

// Message boxes and the input box of Qt; owned by the active window.
std::unique_ptr<core::Prompter> MakeWindowPrompter();
// The desktop's default applications and file manager (xdg-open through Qt).
std::unique_ptr<core::Shell> MakeDesktopShell();

// Qt's own texts (standard buttons, the folder chooser) in the language of
// the default locale, when Qt has a translation for it.
void TranslateQtDialogs();

// Messages go to `errors` as "title: text"; an input box reads one line from
// `input` (an empty line accepts the proposal shown; the end of input cancels).
std::unique_ptr<core::Prompter> MakeConsolePrompter(std::FILE* errors = stderr, std::FILE* input = stdin);
// Folders and files are printed to `out` instead of opened, and so is what
// each extraction made.
std::unique_ptr<core::Shell> MakeConsoleShell(std::FILE* out = stdout);

#endif
