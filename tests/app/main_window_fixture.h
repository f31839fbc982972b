// The main window under test: a scripted library, recorders for the user and
// the desktop, and the window opened over temporary folders.
#ifndef KELVORA_TESTS_MAIN_WINDOW_FIXTURE_H
#define KELVORA_TESTS_MAIN_WINDOW_FIXTURE_H

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QUrl>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "browser.h"
#include "fake_library.h"
#include "frm_main.h"
#include "main_rules.h"
#include "main_window.h"
#include "module_loader.h"
#include "recorders.h"
#include "temp_folder.h"

namespace fs = std::filesystem;

inline void Touch(const fs::path& path, const std::string& bytes = "text\n") {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Takes the files named *.lzh and *.EXE as archives of UNLHA32.DLL, *.tar
// as TAR32.DLL's, and nothing else.
struct ArchiveLibrary : FakeLibrary {
    int32_t CheckArchive(int32_t index, const std::string& file, int32_t mode) override {
        Call("CheckArchive " + std::to_string(index) + " " + file + " " + std::to_string(mode));
        const bool lzh = file.ends_with(".lzh") || file.ends_with(".EXE");
        return (index == 1 && lzh) || (index == 4 && file.ends_with(".tar")) ? 1 : 0;
    }
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(app_folder_);
        fs::create_directories(browse_);
        app_.app_folder = app_folder_.string();
        app_.settings_file = std::make_unique<core::SettingsFile>(app_.app_folder);
        app_.session.settings_folder = app_.settings_file->Folder();
        auto library = std::make_unique<ArchiveLibrary>();
        library_ = library.get();
        library_->version = {{1, 210}, {2, 620}, {4, 210}, {6, 100}};
        library_->sub_version = {{1, 1203}, {2, 1250}, {4, 6}, {6, 12}};
        app_.library = std::move(library);
        auto prompter = std::make_unique<PrompterRecorder>();
        prompter_ = prompter.get();
        app_.prompter = std::move(prompter);
        auto shell = std::make_unique<ShellRecorder>();
        shell_ = shell.get();
        shell_->desktop = (temp_.Path() / "desktop").string();  // no trailing "/": the window adds one
        app_.shell = std::move(shell);
        app_.session.settings.FileListDir = browse_.string();
        app_.session.settings.ExtractDir = "/manual";
    }

    FrmMain& Open(const std::string& command_line = "") {
        window_ = std::make_unique<FrmMain>(app_);
        window_->quit = [this] { ++quits_; };
        loaded_ = window_->Load(command_line);
        return *window_;
    }
    template <class Widget>
    Widget* Find(const char* name) {
        auto* widget = window_->findChild<Widget*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QString Label(const char* name) { return Find<QLabel>(name)->text(); }
    QStringList Files() {
        QStringList names;
        auto* list = Find<QListWidget>("File1");
        for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
        return names;
    }
    std::vector<std::string> Calls(const std::string& start) {
        std::vector<std::string> found;
        for (const auto& call : library_->calls)
            if (call.rfind(start, 0) == 0) found.push_back(call);
        return found;
    }
    void Key(QWidget* widget, Qt::Key key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier), release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
    }
    void Mouse(QListWidget* list, int row, QEvent::Type type) {
        const QPointF at = list->visualItemRect(list->item(row)).center();
        QMouseEvent event(type, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &event);
    }
    void Drop(const std::vector<fs::path>& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const auto& path : paths) urls << QUrl::fromLocalFile(QString::fromStdString(path.string()));
        data.setUrls(urls);
        // Over the DLL list, which hands its drops to the window.
        QWidget* target = Find<QListWidget>("List1")->viewport();
        const QPoint at(10, 10);
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        EXPECT_EQ(drop.dropAction(), Qt::CopyAction);  // never a move: the source must stay
        QCoreApplication::processEvents();
    }

    TempFolder temp_{"main-window-test"};
    fs::path app_folder_ = temp_.Path() / "app", browse_ = temp_.Path() / "browse";
    App app_;
    FakeLibrary* library_ = nullptr;
    PrompterRecorder* prompter_ = nullptr;
    ShellRecorder* shell_ = nullptr;
    std::unique_ptr<FrmMain> window_;
    bool loaded_ = false;
    int quits_ = 0;
};

#endif
