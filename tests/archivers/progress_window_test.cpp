// The modules' own progress window, under a real (offscreen) QApplication.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <filesystem>

#include <gtest/gtest.h>

#include "dravolix.h"
#include "module_loader.h"
#include "sandbox.h"
#include "temp_folder.h"

namespace fs = std::filesystem;

namespace {

class ShowCounter : public QObject {
public:
    int shown = 0;
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Show && object->objectName() == "ArchiverProgressWindow") ++shown;
        return false;
    }
};

class ProgressWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetModuleDirectory(KELVORA_BIN_DIR);
        ASSERT_FALSE(folder_.Path().empty());
        out_ = folder_.Path();
        qApp->installEventFilter(&counter_);
        owner_.show();
    }
    void TearDown() override {
        qApp->removeEventFilter(&counter_);
        platform::SetModuleDirectory("");
    }
    int Extract(HWND owner, const std::string& options) {
        std::string line = options + "-xvf \"" + std::string(KELVORA_FIXTURE_DIR) + "/tree.tar\" \"" +
                           out_.string() + "/\" *.*";
        return Dravx(4, owner, line.c_str(), nullptr, 0);
    }
    HWND Owner() { return reinterpret_cast<HWND>(owner_.winId()); }

    QWidget owner_;
    ShowCounter counter_;
    TempFolder folder_{"progress-test"};
    fs::path out_;
};

QWidget* ProgressWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == "ArchiverProgressWindow" && widget->isVisible()) return widget;
    return nullptr;
}

TEST_F(ProgressWindowTest, ShownOwnedAndCancellable) {
    QWidget* seenOwner = nullptr;
    // Runs inside the module's event processing, while it works.
    QTimer::singleShot(0, [&] {
        if (QWidget* window = ProgressWindow()) {
            seenOwner = window->parentWidget();
            if (auto* cancel = window->findChild<QPushButton*>()) cancel->click();
        }
    });
    EXPECT_EQ(Extract(Owner(), ""), 0x8020);
    EXPECT_EQ(seenOwner, &owner_);
    EXPECT_EQ(ProgressWindow(), nullptr);
}

TEST_F(ProgressWindowTest, QuietOptionOrNoOwnerShowsNothing) {
    EXPECT_EQ(Extract(Owner(), "--display-dialog=0 "), 0);
    EXPECT_EQ(Extract(nullptr, ""), 0);
    EXPECT_EQ(counter_.shown, 0);
    EXPECT_EQ(Extract(Owner(), ""), 0);
    EXPECT_EQ(counter_.shown, 1);
}

// The settings button of a module: a small window naming the module, its
// version and what it reads, over the owner.
TEST_F(ProgressWindowTest, SettingsWindowDescribesTheModule) {
    QString title, text;
    QWidget* parent = nullptr;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->objectName(), "ArchiverSettingsWindow");
        title = box->windowTitle();
        text = box->text();
        parent = box->parentWidget();
        box->accept();
    });
    char options[513] = "";
    EXPECT_EQ(DravxConfigDialog(4, Owner(), options, 1), 1);
    EXPECT_EQ(title, "Tar32");
    EXPECT_TRUE(text.startsWith("Tar32 Ver 2.10 (libarchive 3.")) << text.toStdString();
    EXPECT_TRUE(text.contains("読める形式：\ntar, cpio")) << text.toStdString();
    // How the worker is confined here; a kernel without Landlock says so instead.
    const char* files = platform::LandlockAbi() >= 2 ? "ファイル：書庫の読み取りと解凍先への書き込みのみ" : "Landlock が使えません";
    EXPECT_TRUE(text.contains("書庫は別のプロセスで読み取ります。")) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromUtf8(files))) << text.toStdString();
    EXPECT_EQ(parent, &owner_);
}

}  // namespace
