// The program's start: the library checks, the quick start and the splash steps.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake_library.h"
#include "recorders.h"
#include "startup.h"
#include "startup_window.h"
#include "temp_folder.h"

namespace {

namespace fs = std::filesystem;

struct VersionedLibrary : FakeLibrary {
    int16_t core_version = 6;
    int16_t GetCoreVersion() override {
        Call("GetCoreVersion");
        return core_version;
    }
};

class StartUpTest : public ::testing::Test {
protected:
    TempFolder folder_;
    App app_;
    VersionedLibrary* library_ = nullptr;
    PrompterRecorder* prompter_ = nullptr;
    bool library_present_ = true;
    std::vector<std::string> opened_;  // command lines the main window was opened with

    void SetUp() override {
        app_.app_folder = folder_.Path().string();
        app_.settings_file = std::make_unique<core::SettingsFile>(app_.app_folder);
        auto library = std::make_unique<VersionedLibrary>();
        for (int index : {1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 13}) library->version[index] = 100;  // 11 modules
        library_ = library.get();
        app_.library = std::move(library);
        auto prompter = std::make_unique<PrompterRecorder>();
        prompter_ = prompter.get();
        app_.prompter = std::move(prompter);
    }
    void TearDown() override {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (qobject_cast<frmStartUp*>(widget)) delete widget;
    }

    void Start(const std::string& command_line) {
        RunStartUp(
            app_, command_line, [this](App&, const std::string& line) { opened_.push_back(line); },
            [this] { return library_present_; });
    }
    static frmStartUp* Splash() {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* splash = qobject_cast<frmStartUp*>(widget)) return splash;
        return nullptr;
    }
    static void Tick(frmStartUp* splash, int times = 1) {
        for (int i = 0; i < times; ++i) splash->Timer1_Timer();
    }
    // Runs the event loop, and so the splash's own timer, until `done` (at most 10 s).
    static bool RunEventsUntil(const std::function<bool()>& done, int limit_ms = 10000) {
        QTimer wake;  // the loop wakes at least this often
        wake.start(20);
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < limit_ms) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return done();
    }
    static std::string Status(frmStartUp* splash) { return splash->findChild<QLabel*>("Label4")->text().toStdString(); }
    // Whether the progress line ends at x (in twips).
    static bool ProgressEndsAt(frmStartUp* splash, int x_twips) {
        const QRect line = splash->findChild<QFrame*>("Line2")->geometry();
        return line.x() == Px(120) && line.x() + line.width() == Px(x_twips);
    }
    bool SettingsFileExists() const { return fs::exists(app_.settings_file->Path()); }
    std::string MakeFile(const std::string& name) {
        const fs::path path = folder_.Path() / name;
        std::ofstream(path) << "x";
        return path.string();
    }
    void ExpectFatal(const std::string& first_line) {
        ASSERT_EQ(prompter_->messages.size(), 1u);
        EXPECT_EQ(prompter_->messages[0].text, first_line + "\r\nプログラムを終了します。");
        EXPECT_EQ(prompter_->messages[0].title, "Kelvora？");
        EXPECT_EQ(prompter_->messages[0].icon, core::Icon::Critical);
        EXPECT_EQ(app_.exit_code, 1);
        EXPECT_TRUE(opened_.empty());
    }
};

TEST_F(StartUpTest, WithoutTheLibraryNothingElseHappens) {
    library_present_ = false;
    for (const std::string& command_line : {std::string(), MakeFile("a.lzh")}) {
        SCOPED_TRACE(command_line);
        prompter_->messages.clear();
        Start(command_line);
        RunEventsUntil([] { return false; }, 300);  // a stray step would run now
        ExpectFatal("DRAVOLIX.DLLが見つかりません。");
        EXPECT_EQ(Splash(), nullptr);
        EXPECT_FALSE(SettingsFileExists());
        EXPECT_TRUE(library_->calls.empty());
    }
}

TEST_F(StartUpTest, SplashStepsAdvanceStatusAndProgress) {
    Start("");
    frmStartUp* splash = Splash();
    ASSERT_NE(splash, nullptr);
    EXPECT_TRUE(splash->isVisible());
    EXPECT_TRUE(splash->findChild<QTimer*>("Timer1")->isActive());
    EXPECT_EQ(splash->findChild<QLabel*>("Label2")->text(), "Archive Extraction Tool");
    EXPECT_EQ(splash->findChild<QLabel*>("Label3")->text(), "Ver 1.00");
    EXPECT_FALSE(splash->findChild<QLabel*>("Image1")->pixmap().isNull());
    EXPECT_EQ(Status(splash), "Initalizing...");
    EXPECT_TRUE(ProgressEndsAt(splash, 240));
    EXPECT_FALSE(SettingsFileExists());

    const std::vector<std::pair<std::string, int>> after = {{"Initalizing...", 500},
                                                            {"Initalizing...", 500},
                                                            {"Dravolix.dll Ver.0.06 OK!", 1500},
                                                            {"Support DLL:11DLLs", 2500},
                                                            {"Running Program...", 4560}};
    for (size_t step = 0; step < after.size(); ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        Tick(splash);
        EXPECT_EQ(Status(splash), after[step].first);
        EXPECT_TRUE(ProgressEndsAt(splash, after[step].second));
        EXPECT_TRUE(SettingsFileExists());
        EXPECT_TRUE(opened_.empty());
    }

    QPointer<frmStartUp> watch(splash);
    Tick(splash);  // step 5 hands over and closes the splash
    EXPECT_EQ(opened_, std::vector<std::string>{""});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watch.isNull());
    EXPECT_TRUE(prompter_->messages.empty());
    EXPECT_EQ(app_.exit_code, 0);
}

TEST_F(StartUpTest, TimerRunsTheStepsByItself) {
    const std::string folder = folder_.Path().string();
    Start(folder);
    ASSERT_NE(Splash(), nullptr);
    ASSERT_TRUE(RunEventsUntil([this] { return !opened_.empty(); }));
    EXPECT_EQ(opened_, std::vector<std::string>{folder});
    EXPECT_TRUE(RunEventsUntil([] { return Splash() == nullptr; }));
    EXPECT_EQ(app_.exit_code, 0);
}

TEST_F(StartUpTest, CoreVersionBelowFiveStopsAtStepTwo) {
    Start("");
    frmStartUp* splash = Splash();
    library_->core_version = 4;
    Tick(splash, 3);
    ExpectFatal("DRAVOLIX.DLLのバージョンが最新ではありません。");
    EXPECT_FALSE(splash->findChild<QTimer*>("Timer1")->isActive());
    EXPECT_TRUE(ProgressEndsAt(splash, 1500));  // moved before the check
    EXPECT_FALSE(splash->isVisible());
}

TEST_F(StartUpTest, CoreVersionFivePasses) {
    Start("");
    library_->core_version = 5;
    Tick(Splash(), 3);
    EXPECT_EQ(Status(Splash()), "Dravolix.dll Ver.0.05 OK!");
    EXPECT_TRUE(prompter_->messages.empty());
}

TEST_F(StartUpTest, LibraryGoneByStepTwo) {
    Start("");
    Tick(Splash(), 2);
    library_present_ = false;
    Tick(Splash());
    ExpectFatal("DRAVOLIX.DLLが見つかりません。");
    EXPECT_TRUE(ProgressEndsAt(Splash(), 500));
}

TEST_F(StartUpTest, NoArchiverStopsAtStepThreeAfterTheSettingsAreWritten) {
    library_->version.clear();
    Start("");
    Tick(Splash(), 3);
    EXPECT_TRUE(prompter_->messages.empty());
    EXPECT_TRUE(SettingsFileExists());
    Tick(Splash());
    ExpectFatal("アーカイバDLLが見つかりません。");
}

TEST_F(StartUpTest, OneExistingFileStartsWithoutSplash) {
    const std::string file = MakeFile("書庫 1.lzh");  // the blank is part of the one path
    Start(file);
    EXPECT_EQ(opened_, std::vector<std::string>{file});
    EXPECT_EQ(Splash(), nullptr);
    EXPECT_TRUE(SettingsFileExists());
    // Only the archiver count is asked, not the core version.
    EXPECT_EQ(library_->calls, std::vector<std::string>{"SupportType"});

    library_->version.clear();
    opened_.clear();
    Start(file);
    ExpectFatal("アーカイバDLLが見つかりません。");
}

TEST_F(StartUpTest, EverythingElseShowsTheSplash) {
    const std::string a = MakeFile("a.zip"), b = MakeFile("b.zip"), hidden = MakeFile(".hidden.zip");
    for (const std::string& command_line : {a + " " + b, folder_.Path().string(), a + ".missing", hidden}) {
        SCOPED_TRACE(command_line);
        Start(command_line);
        frmStartUp* splash = Splash();
        ASSERT_NE(splash, nullptr);
        EXPECT_TRUE(opened_.empty());
        delete splash;
    }
}

TEST_F(StartUpTest, ConsoleModeNeverShowsTheSplash) {
    app_.console = true;
    const std::string hidden = MakeFile(".hidden.zip");
    Start(hidden);
    EXPECT_EQ(opened_, std::vector<std::string>{hidden});
    EXPECT_EQ(Splash(), nullptr);
}

}  // namespace
