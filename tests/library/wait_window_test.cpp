// The wait window that Dravx shows, under a real (offscreen) QApplication.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QPushButton>
#include <QScreen>

#include <functional>
#include <vector>

#include "dravolix.h"
#include "fake_archivers.h"
#include "module_loader.h"
#include "wait_window.h"

namespace {

QWidget* FindWaitWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == platform::kWaitWindowName) return widget;
    return nullptr;
}

// What the module saw of the wait window while its command ran.
struct Seen {
    bool called = false;
    bool visible = false;
    QString title, text;
    QWidget* owner = nullptr;
    int buttons = -1;
    bool textFits = false;
    QRect geometry;
} seen;

// What the module does while its command runs, after `seen` is taken.
std::function<void()> during_command;

}  // namespace

extern "C" __attribute__((visibility("default"))) void fake_archiver_hook(const char*) {
    seen.called = true;
    if (QWidget* window = FindWaitWindow()) {
        seen.visible = window->isVisible();
        seen.title = window->windowTitle();
        seen.owner = window->parentWidget();
        seen.buttons = static_cast<int>(window->findChildren<QPushButton*>().size());
        if (auto* label = window->findChild<QLabel*>()) {
            seen.text = label->text();
            QSize needed = label->sizeHint();
            seen.textFits = label->width() >= needed.width() && label->height() >= needed.height() &&
                            window->rect().contains(label->geometry());
        }
        seen.geometry = window->frameGeometry();
    }
    if (during_command) during_command();
}

namespace {

class WaitWindowTest : public FakeArchiverTest {
protected:
    void SetUp() override {
        FakeArchiverTest::SetUp();
        seen = Seen{};
        during_command = nullptr;
        owner_.show();
    }
    HWND Owner() { return reinterpret_cast<HWND>(owner_.winId()); }
    QWidget owner_;
};

TEST_F(WaitWindowTest, ShownOwnedAndCentredWhileTheCommandRuns) {
    Install({1});
    EXPECT_EQ(Dravx(1, Owner(), "x a.lzh", nullptr, 0), 0);
    ASSERT_TRUE(seen.called);
    EXPECT_TRUE(seen.visible);
    EXPECT_EQ(seen.title, QStringLiteral("Dravolix：Please Wait...."));
    EXPECT_EQ(seen.text, QStringLiteral("ファイルを処理しています。\nしばらくお待ち下さい...."));
    EXPECT_EQ(seen.owner, &owner_);
    EXPECT_EQ(seen.buttons, 0);
    EXPECT_TRUE(seen.textFits);
    QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_LE(std::abs(2 * seen.geometry.left() + seen.geometry.width() - screen.width()), 1);
    EXPECT_LE(std::abs(2 * seen.geometry.top() + seen.geometry.height() - screen.height()), 1);
    EXPECT_EQ(FindWaitWindow(), nullptr);  // gone once Dravx returns
}

// A module that shows windows of its own (its progress, a password question
// over it) has the wait window step back until the last of them is gone,
// hidden or deleted; it comes back while the command still runs.
TEST_F(WaitWindowTest, StepsBackWhileTheModuleShowsWindowsOfItsOwn) {
    Install({1});
    std::vector<bool> shown;
    during_command = [&] {
        auto note = [&] {
            QCoreApplication::processEvents();
            shown.push_back(FindWaitWindow() && FindWaitWindow()->isVisible());
        };
        QDialog progress(&owner_);
        auto* password = new QDialog(&owner_);
        progress.show();
        note();
        password->show();
        note();
        progress.hide();
        note();
        delete password;
        note();
    };
    EXPECT_EQ(Dravx(1, Owner(), "x a.lzh", nullptr, 0), 0);
    EXPECT_EQ(shown, (std::vector<bool>{false, false, false, true}));
    EXPECT_EQ(FindWaitWindow(), nullptr);
}

TEST_F(WaitWindowTest, NoWindowWithoutOwnerOrModule) {
    Install({1});
    EXPECT_EQ(Dravx(1, nullptr, "x a.lzh", nullptr, 0), 0);
    EXPECT_TRUE(seen.called);
    EXPECT_FALSE(seen.visible);

    EXPECT_EQ(Dravx(2, Owner(), "x a.zip", nullptr, 0), -2);  // not installed
    EXPECT_EQ(Dravx(0, Owner(), "x a.zip", nullptr, 0), -1);
    EXPECT_EQ(FindWaitWindow(), nullptr);
    // The probing exports never show it, not even the TAR pre-command.
    Install({4});
    Script("Tar.GetVersion", "100");
    seen = Seen{};
    EXPECT_EQ(DravxCheckArchive(4, "a.tar", 1), 0);
    EXPECT_TRUE(seen.called);
    EXPECT_FALSE(seen.visible);
}

TEST_F(WaitWindowTest, UnknownOwnerStillGetsAWindow) {
    Install({1});
    EXPECT_EQ(Dravx(1, reinterpret_cast<HWND>(0x7fff0001), "x", nullptr, 0), 0);
    EXPECT_TRUE(seen.visible);
    EXPECT_EQ(seen.owner, nullptr);
    EXPECT_EQ(FindWaitWindow(), nullptr);
}

}  // namespace

namespace {

// The converter's message boxes, answered by a timer while they are open.
TEST_F(WaitWindowTest, ConverterFailureShowsItsMessageOverTheOwner) {
    platform::SetModuleDirectory(KELVORA_BIN_DIR);
    QString title, text;
    QWidget* parent = nullptr;
    bool waitWindowOpen = true;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            title = box->windowTitle();
            text = box->text();
            parent = box->parentWidget();
            waitWindowOpen = FindWaitWindow() != nullptr;
            box->accept();
        }
    });
    std::string missing = (folder_ / "absent.txt").string(), out = (folder_ / "out.txt").string();
    EXPECT_EQ(DravxNkfConvertSub(Owner(), "-s", out.c_str(), missing.c_str()), -1);
    EXPECT_EQ(title, QStringLiteral("Dravolix Error On DravxNkfConvertSub:CreateFile=INVALID_HANDLE_VALUE"));
    EXPECT_EQ(text, QStringLiteral("ファイルが開けませんでした。"));
    EXPECT_EQ(parent, &owner_);
    EXPECT_FALSE(waitWindowOpen);  // closed before the message
    EXPECT_EQ(FindWaitWindow(), nullptr);
}

}  // namespace
