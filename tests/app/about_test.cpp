// The About box: the shortcut file, the link and the system information.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QEventLoop>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "env_var.h"
#include "frm_about.h"
#include "recorders.h"
#include "temp_folder.h"

namespace {

namespace fs = std::filesystem;

const QColor kBlue(0, 0, 255), kRed(255, 0, 0), kPurple(128, 0, 128);

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteScript(const fs::path& path, const std::string& body) {
    std::ofstream(path, std::ios::binary) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, fs::perms::owner_all);
}

// Lets the event loop run until `done` holds, for five seconds at most.
bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.hasExpired(5000)) return false;
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

class AboutTest : public ::testing::Test {
protected:
    FrmAbout& Open() {
        box_ = std::make_unique<FrmAbout>(folder_.Path().string() + "/", prompter_, shell_);
        return *box_;
    }
    QWidget* Find(const char* name) {
        auto* widget = box_->findChild<QWidget*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    template <class Widget>
    QString TextOf(const char* name) {
        auto* widget = qobject_cast<Widget*>(Find(name));
        return widget ? widget->text() : QString();
    }
    fs::path Shortcut() const { return folder_.Path() / "web.url"; }

    void Enter(QWidget* widget) {
        QEnterEvent event(QPointF(2, 2), QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)));
        QApplication::sendEvent(widget, &event);
    }
    void Leave(QWidget* widget) {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(widget, &event);
    }
    void Mouse(QWidget* widget, QEvent::Type type, QPoint at = {2, 2}, Qt::MouseButton button = Qt::LeftButton) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
        QMouseEvent event(type, QPointF(at), widget->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }
    void Move(QWidget* widget) { Mouse(widget, QEvent::MouseMove, {2, 2}, Qt::NoButton); }
    QColor Link() const { return box_->LinkColour(); }

    TempFolder folder_;
    PrompterRecorder prompter_;
    ShellRecorder shell_;
    std::unique_ptr<FrmAbout> box_;
};

TEST_F(AboutTest, ShowsTheProgram) {
    Open();
    EXPECT_EQ(box_->objectName(), "frmAbout");
    EXPECT_EQ(box_->windowTitle(), "バージョン情報");
    EXPECT_TRUE(box_->isModal());
    EXPECT_EQ(TextOf<QLabel>("Label1"), "Ver 1.00");
    EXPECT_EQ(TextOf<QLabel>("Label2"), "Archive Extraction Tool");
    EXPECT_EQ(TextOf<QLabel>("Label4"), kHomePage);
    EXPECT_TRUE(Find("Label4")->font().underline());
    EXPECT_EQ(TextOf<QPushButton>("cmdSysInfo"), "ｼｽﾃﾑ情報(&S)...");
    auto* image = qobject_cast<QLabel*>(Find("Image1"));
    ASSERT_NE(image, nullptr);
    EXPECT_FALSE(image->pixmap().isNull());
    EXPECT_EQ(Link(), kBlue);

    qobject_cast<QPushButton*>(Find("cmdOK"))->click();
    EXPECT_EQ(box_->result(), QDialog::Accepted);
}

TEST_F(AboutTest, ShortcutLivesWhileTheBoxIsOpen) {
    std::ofstream(Shortcut(), std::ios::binary) << "an older and much longer shortcut file\r\n\r\n\r\n";
    Open();
    EXPECT_EQ(ReadFile(Shortcut()), "[InternetShortcut]\r\nURL=https://kelvora.example/zenkari/\r\n");
    box_.reset();
    EXPECT_FALSE(fs::exists(Shortcut()));

    Open();
    fs::remove(Shortcut());
    box_.reset();  // already gone: nothing to do, nothing said
    EXPECT_FALSE(fs::exists(Shortcut()));
    EXPECT_TRUE(prompter_.messages.empty());
}

TEST_F(AboutTest, FolderThatCannotBeWritten) {
    box_ = std::make_unique<FrmAbout>((folder_.Path() / "gone").string() + "/", prompter_, shell_);
    auto* link = Find("Label4");
    Mouse(link, QEvent::MouseButtonPress);
    Mouse(link, QEvent::MouseButtonRelease);
    EXPECT_EQ(shell_.web_pages, std::vector<std::string>{kHomePage});
    box_.reset();
    EXPECT_TRUE(prompter_.messages.empty());
    EXPECT_FALSE(fs::exists(folder_.Path() / "gone"));
}

TEST_F(AboutTest, LinkColoursFollowTheMouse) {
    Open();
    auto* link = Find("Label4");
    Enter(link);
    EXPECT_EQ(Link(), kRed);
    Mouse(link, QEvent::MouseButtonPress);
    EXPECT_EQ(Link(), kPurple);
    Mouse(link, QEvent::MouseButtonRelease);
    EXPECT_EQ(Link(), kBlue);
    EXPECT_EQ(shell_.web_pages, std::vector<std::string>{kHomePage});

    Enter(link);
    Leave(link);
    EXPECT_EQ(Link(), kBlue);
    Move(link);
    EXPECT_EQ(Link(), kRed);
    Move(box_.get());
    EXPECT_EQ(Link(), kBlue);
    Enter(link);
    Move(Find("Label2"));
    EXPECT_EQ(Link(), kBlue);
    Enter(link);
    Move(Find("cmdOK"));
    EXPECT_EQ(Link(), kBlue);
    Enter(link);
    Mouse(Find("Label1"), QEvent::MouseButtonPress);
    EXPECT_EQ(Link(), kBlue);
    EXPECT_EQ(shell_.web_pages.size(), 1u);
}

TEST_F(AboutTest, OnlyAClickOnTheLinkOpensThePage) {
    Open();
    auto* link = Find("Label4");
    // Released outside the link.
    Mouse(link, QEvent::MouseButtonPress);
    Mouse(link, QEvent::MouseButtonRelease, {-5, -5});
    EXPECT_EQ(Link(), kBlue);
    // The right button, and a release with no press before it.
    Mouse(link, QEvent::MouseButtonPress, {2, 2}, Qt::RightButton);
    EXPECT_EQ(Link(), kPurple);
    Mouse(link, QEvent::MouseButtonRelease, {2, 2}, Qt::RightButton);
    Mouse(link, QEvent::MouseButtonRelease);
    EXPECT_TRUE(shell_.web_pages.empty());
}

// --- System information ---------------------------------------------------------

TEST(SystemInformation, FirstToolOnThePathWins) {
    TempFolder bin;
    EnvVar path("PATH", bin.Path().c_str());
    EXPECT_EQ(FindSystemInformationTool(), "");

    WriteScript(bin.Path() / "lshw-gtk", "");
    WriteScript(bin.Path() / "hardinfo2", "");
    EXPECT_EQ(FindSystemInformationTool(), (bin.Path() / "hardinfo2").string());
    WriteScript(bin.Path() / "hardinfo", "");
    EXPECT_EQ(FindSystemInformationTool(), (bin.Path() / "hardinfo").string());
    std::ofstream(bin.Path() / "kinfocenter") << "not a program\n";  // not executable: passed over
    EXPECT_EQ(FindSystemInformationTool(), (bin.Path() / "hardinfo").string());
    fs::permissions(bin.Path() / "kinfocenter", fs::perms::owner_all);
    EXPECT_EQ(FindSystemInformationTool(), (bin.Path() / "kinfocenter").string());
}

TEST_F(AboutTest, NoSystemInformationTool) {
    TempFolder bin;
    EnvVar path("PATH", bin.Path().c_str());
    Open();
    qobject_cast<QPushButton*>(Find("cmdSysInfo"))->click();
    ASSERT_EQ(prompter_.messages.size(), 1u);
    EXPECT_EQ(prompter_.messages[0].text, "現時点ではｼｽﾃﾑ情報を使用できません");
    EXPECT_EQ(prompter_.messages[0].title, "zenkari");
    EXPECT_EQ(prompter_.messages[0].icon, core::Icon::Information);
}

TEST_F(AboutTest, StartsTheSystemInformationTool) {
    TempFolder bin;
    const fs::path marker = bin.Path() / "started";
    WriteScript(bin.Path() / "hardinfo", ": > '" + marker.string() + "'");
    EnvVar path("PATH", bin.Path().c_str());
    Open();
    qobject_cast<QPushButton*>(Find("cmdSysInfo"))->click();
    EXPECT_TRUE(WaitFor([&] { return fs::exists(marker); }));
    EXPECT_TRUE(prompter_.messages.empty());
}

}  // namespace
