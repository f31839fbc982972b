// The modules' own progress window, under a real (offscreen) QApplication.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <fstream>

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

// The settings button of a module: a window over the owner naming the
// module, its version and what it reads, with the choice of how entry names
// are read, kept in the modules' settings file beside them.
TEST_F(ProgressWindowTest, SettingsWindowDescribesTheModuleAndKeepsTheNameChoice) {
    // A copy of the module and its worker, so that its settings file is this test's own.
    TempFolder modules("settings-modules");
    for (const char* file : {"Tar32.so", "zenkari-worker"})
        fs::copy_file(fs::path(KELVORA_BIN_DIR) / file, modules.Path() / file);
    platform::SetModuleDirectory(modules.Path().string());
    const fs::path settings = modules.Path() / "zenkari-archivers.ini";

    QString title, text, shown;
    QWidget* parent = nullptr;
    auto answer = [&](const QString& choice, bool confirm) {
        QTimer::singleShot(0, [&, choice, confirm] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->objectName(), "ArchiverSettingsWindow");
            title = dialog->windowTitle();
            text = dialog->findChild<QLabel*>("ModuleDescription")->text();
            parent = dialog->parentWidget();
            auto* names = dialog->findChild<QComboBox*>("NameEncodingBox");
            shown = names->currentText();
            names->setCurrentText(choice);
            confirm ? dialog->accept() : dialog->reject();
        });
        char options[513] = "";
        return DravxConfigDialog(4, Owner(), options, 1);
    };
    EXPECT_EQ(answer("EUC-JP", false), 1);
    EXPECT_EQ(title, "Tar32");
    EXPECT_TRUE(text.startsWith("Tar32 Ver 2.10 (libarchive 3.")) << text.toStdString();
    EXPECT_TRUE(text.contains("読める形式：\ntar, cpio")) << text.toStdString();
    // How the worker is confined here; a kernel without Landlock says so instead.
    const char* files = platform::LandlockAbi() >= 2 ? "ファイル：書庫の読み取りと解凍先への書き込みのみ" : "Landlock が使えません";
    EXPECT_TRUE(text.contains("書庫は別のプロセスで読み取ります。")) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromUtf8(files))) << text.toStdString();
    EXPECT_EQ(parent, &owner_);
    EXPECT_EQ(shown, "自動");
    EXPECT_FALSE(fs::exists(settings));  // cancelled: nothing kept

    EXPECT_EQ(answer("EUC-JP", true), 1);
    EXPECT_EQ(answer("UTF-8", false), 1);
    EXPECT_EQ(shown, "EUC-JP");
    std::ifstream file(settings);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "[Tar32]\nNameEncoding=EUC-JP\n");
}

// An encrypted ZIP extracted with an owner asks in a window of the module,
// names the archive, says when a password was wrong and asks again.
TEST_F(ProgressWindowTest, APasswordWindowAsksUntilThePasswordFitsAndMayBeCancelled) {
    const std::string line = "-x \"" + std::string(KELVORA_FIXTURE_DIR) + "/encrypted.zip\" \"" + out_.string() + "/\" *.*";
    std::vector<std::string> prompts;
    std::vector<bool> wrong_shown;
    // Types each answer in turn; an empty one presses キャンセル.
    std::function<void(std::vector<QString>)> type = [&](std::vector<QString> answers) {
        QTimer::singleShot(20, [&, answers] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || dialog->objectName() != "ArchiverPasswordWindow") return type(answers);  // not yet
            auto* edit = dialog->findChild<QLineEdit*>("PasswordEdit");
            EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
            EXPECT_EQ(dialog->parentWidget(), &owner_);
            for (QLabel* label : dialog->findChildren<QLabel*>())
                if (label->text().contains("encrypted.zip")) prompts.push_back(label->text().toStdString());
            wrong_shown.push_back(dialog->findChild<QLabel*>("WrongPassword")->isVisibleTo(dialog));
            edit->setText(answers.front());
            answers.front().isEmpty() ? dialog->reject() : dialog->accept();
            if (answers.size() > 1) type(std::vector<QString>(answers.begin() + 1, answers.end()));
        });
    };
    type({"wrong", "pw"});
    EXPECT_EQ(Dravx(2, Owner(), line.c_str(), nullptr, 0), 0);
    EXPECT_EQ(wrong_shown, (std::vector<bool>{false, true}));
    EXPECT_EQ(prompts.size(), 2u);
    std::ifstream hello(out_ / "hello.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(hello), {}), "Hello, Kelvora!\n");

    fs::remove(out_ / "hello.txt");
    type({""});
    EXPECT_EQ(Dravx(2, Owner(), line.c_str(), nullptr, 0), 0x8020);
    EXPECT_FALSE(fs::exists(out_ / "hello.txt"));
}

}  // namespace
