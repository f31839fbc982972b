#include "startup.h"

#include <QApplication>
#include <QIcon>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "library.h"
#include "load_settings.h"
#include "resources.h"
#include "startup_window.h"

namespace {

// The whole command line names an existing ordinary file: not a folder, and
// not a hidden file (a name starting with ".").
bool NamesOrdinaryFile(const std::string& command_line) {
    if (command_line.empty()) return false;
    const std::filesystem::path path(command_line);
    const std::string name = path.filename().string();
    if (name.empty() || name[0] == '.') return false;
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// The splash's steps, done with the program's own checks and hand-over.
class SplashSteps : public StartUpSteps {
public:
    SplashSteps(App& app, std::string command_line, OpenMainWindowFn open_main, LibraryCheckFn library_present)
        : app_(app),
          command_line_(std::move(command_line)),
          open_main_(std::move(open_main)),
          library_present_(std::move(library_present)) {}
    bool LibraryPresent() override { return library_present_(); }
    int32_t CountArchivers() override { return ::CountArchivers(app_); }
    void Stop(const std::string& first_line) override { StopProgram(app_, first_line); }
    void OpenMainWindow() override { open_main_(app_, command_line_); }

private:
    App& app_;
    std::string command_line_;
    OpenMainWindowFn open_main_;
    LibraryCheckFn library_present_;
};

}  // namespace

void StopProgram(App& app, const std::string& first_line) {
    app.prompter->Message(first_line + "\r\nプログラムを終了します。", "Kelvora？", core::Icon::Critical);
    app.exit_code = 1;
    // Queued, so that it ends the event loop whether or not it runs yet.
    QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
}

int32_t CountArchivers(App& app) {
    try {
        return std::max(app.library->SupportType(), int32_t{0});
    } catch (const core::LibraryMissing&) {
        return 0;  // a library without the export loads no archiver for us
    }
}

void RunStartUp(App& app, const std::string& command_line, const OpenMainWindowFn& open_main,
                const LibraryCheckFn& library_present) {
    if (!library_present()) {
        StopProgram(app, "DRAVOLIX.DLLが見つかりません。");
        return;
    }
    // The archiver catalogue and the credits are constant tables (catalogue.h),
    // and the settings file finds its own folder (SettingsFile): nothing to fill.
    // Console mode shows no window: it needs neither the pictures nor the icon.
    if (!app.console) {
        InitProgramResources();
        qApp->setWindowIcon(QIcon(QStringLiteral(":/zenkari.png")));
    }

    // Quick start: no animation. Without a display there is nothing to animate either.
    if (app.console || NamesOrdinaryFile(command_line)) {
        core::LoadSettings(*app.settings_file, app.session.settings, *app.prompter, {});
        if (CountArchivers(app) == 0) {
            StopProgram(app, "アーカイバDLLが見つかりません。");
            return;
        }
        open_main(app, command_line);
        return;
    }

    auto* splash = new frmStartUp(app, std::make_unique<SplashSteps>(app, command_line, open_main, library_present));
    splash->show();
}

void RunStartUp(App& app, const std::string& command_line, const OpenMainWindowFn& open_main) {
    RunStartUp(app, command_line, open_main, &core::DravolixLibrary::Present);
}
