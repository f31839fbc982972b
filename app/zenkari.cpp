// zenkari: the program's entry point. With a display it opens its windows;
// without one (no DISPLAY nor WAYLAND_DISPLAY) it runs the same code on Qt's
// minimal platform as a console program: messages go to standard error,
// the output folder is printed, and the exit status tells the outcome. It
// hands the start-up the main window to open: the two know nothing of each
// other.
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>

#include <QApplication>

#include <cstdio>
#include <cstring>

#include "app.h"
#include "desktop.h"
#include "entry_counter.h"
#include "main_rules.h"
#include "main_window.h"
#include "process.h"
#include "startup.h"

namespace {

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"})
        if (!platform::Environment(name).empty()) return true;
    return false;
}

// Texts cross to the library and the modules in the locale's narrow encoding: make it UTF-8.
void EnsureUtf8Locale() {
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) setlocale(LC_CTYPE, "C.UTF-8");
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], kCountEntriesOption) == 0) {
        setlocale(LC_ALL, "");
        EnsureUtf8Locale();
        return CountEntriesOnCommand(argv[2]);
    }
    App app;
    app.console = !HasDisplay();
    if (app.console) {
        // The minimal platform draws nothing and so reads no font
        // configuration: half the start-up time of the offscreen one.
        platform::SetEnvironment("QT_QPA_PLATFORM", "minimal");
        // Only the program's own messages belong on standard error.
        platform::SetEnvironment("QT_LOGGING_RULES", "*.warning=false");
    }
    QApplication qt(argc, argv);
    EnsureUtf8Locale();
    TranslateQtDialogs();

    std::string command_line;
    for (int i = 1; i < argc; ++i) command_line += (i > 1 ? " " : "") + std::string(argv[i]);
    if (app.console && !IsRegularFile(command_line)) {
        std::fprintf(stderr, "zenkari: 画面がないため、解凍する書庫のファイル名を指定してください。\n"
                             "usage: zenkari ARCHIVE\n");
        return 2;
    }

    app.program_path = platform::ProgramPath();
    app.app_folder = FolderOf(app.program_path);
    app.help_file = FindHelpFile(app.app_folder);
    app.settings_file = std::make_unique<core::SettingsFile>(app.app_folder);
    app.session.settings_folder = app.settings_file->Folder();
    app.library = std::make_unique<core::DravolixLibrary>();
    app.prompter = app.console ? MakeConsolePrompter() : MakeWindowPrompter();
    app.shell = app.console ? MakeConsoleShell() : MakeDesktopShell();

    RunStartUp(app, command_line, app.console ? ExtractInConsole : OpenMainWindow);
    int status = qt.exec();
    return app.exit_code != 0 ? app.exit_code : status;
}
