#include "main_window.h"

#include <QApplication>

#include <filesystem>
#include <system_error>

#include "extract.h"
#include "frm_main.h"
#include "main_rules.h"

namespace {

// Console mode's stand-in for the main window: nothing to show, and the
// destination box and the browser hold the folders of the settings, as the
// window fills them.
class ConsoleScreen : public core::Screen {
public:
    ConsoleScreen(const core::Settings& settings, const std::string& app_folder)
        : settings_(settings), app_folder_(app_folder) {}
    void SetFileType(const std::string&) override {}
    void SetStatus(const std::string&) override {}
    void SetStatusColour(core::Rgb) override {}
    void ShowDllList(bool) override {}
    void SelectDllRow(int) override {}
    void ShowPreview(bool, const std::string&) override {}
    void EnableDllSettings(bool) override {}
    void EnableBrowser(bool) override {}
    void SetBusy(bool) override {}
    void RefreshFileList() override {}
    std::string ManualDestination() override {
        std::string folder = settings_.ExtractDir;
        if (!folder.empty() && folder.back() != '/') folder += '/';
        return folder;
    }
    std::string BrowsedFolder() override {
        std::error_code ec;
        return std::filesystem::is_directory(settings_.FileListDir, ec) ? settings_.FileListDir : app_folder_;
    }

private:
    const core::Settings& settings_;
    const std::string& app_folder_;
};

void Quit() { QMetaObject::invokeMethod(qApp, "quit", Qt::QueuedConnection); }

}  // namespace

void OpenMainWindow(App& app, const std::string& command_line) {
    auto* window = new FrmMain(app);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (!window->Load(command_line)) {
        // The command line named a file: it has been handled, and that is all.
        delete window;
        Quit();
    }
}

void ExtractInConsole(App& app, const std::string& command_line) {
    ConsoleScreen screen(app.session.settings, app.app_folder);
    core::Context ctx{app.session, *app.library, screen, *app.prompter, *app.shell, nullptr};
    ReadDllVersions(*app.library, app.session.dll_version);
    app.exit_code = core::ExtractStartFile(ctx, LongPath(command_line));
    Quit();
}
