// The modules' own progress window, under a real (offscreen) QApplication.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <random>

#include <gtest/gtest.h>

#include "dravolix.h"
#include "module_loader.h"
#include "sandbox.h"
#include "temp_folder.h"
#include "wait_window.h"

namespace fs = std::filesystem;

namespace {

// Counts the module's progress windows shown, and hands `on_value` every
// value their bar takes, from inside the module's work.
class ProgressWatch : public QObject {
public:
    int shown = 0;
    std::function<void(QWidget* window, int value)> on_value = [](QWidget*, int) {};
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() != QEvent::Show || object->objectName() != "ArchiverProgressWindow") return false;
        ++shown;
        auto* window = static_cast<QWidget*>(object);
        QObject::connect(window->findChild<QProgressBar*>(), &QProgressBar::valueChanged, window,
                         [this, window](int value) { on_value(window, value); });
        return false;
    }
};

// 6 MB that hardly compress, the same bytes every run, in one tar.gz.
fs::path WriteLargeTarGz(const fs::path& folder) {
    std::string data(6 << 20, '\0');
    std::mt19937 noise(7);
    for (char& byte : data) byte = static_cast<char>(noise());
    const fs::path path = folder / "large.tar.gz";
    archive* a = archive_write_new();
    archive_write_set_format_pax_restricted(a);
    archive_write_add_filter_gzip(a);
    archive_write_open_filename(a, path.c_str());
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, "large.bin");
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_entry_set_size(entry, static_cast<la_int64_t>(data.size()));
    archive_write_header(a, entry);
    archive_write_data(a, data.data(), data.size());
    archive_entry_free(entry);
    archive_write_free(a);
    return path;
}

class ProgressWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetModuleDirectory(KELVORA_BIN_DIR);
        ASSERT_FALSE(folder_.Path().empty());
        out_ = folder_.Path();
        qApp->installEventFilter(&watch_);
        owner_.show();
    }
    void TearDown() override {
        qApp->removeEventFilter(&watch_);
        platform::SetModuleDirectory("");
    }
    int Extract(HWND owner, const std::string& options,
                const fs::path& archive = fs::path(KELVORA_FIXTURE_DIR) / "tree.tar") {
        std::string line = options + "-xvf \"" + archive.string() + "\" \"" + out_.string() + "/\" *.*";
        return Dravx(4, owner, line.c_str(), nullptr, 0);
    }
    HWND Owner() { return reinterpret_cast<HWND>(owner_.winId()); }

    QWidget owner_;
    ProgressWatch watch_;
    TempFolder folder_{"progress-test"};
    fs::path out_;
};

QWidget* ShownWindow(const char* name) {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == name && widget->isVisible()) return widget;
    return nullptr;
}

QWidget* ProgressWindow() { return ShownWindow("ArchiverProgressWindow"); }

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
    EXPECT_EQ(watch_.shown, 0);
    EXPECT_EQ(Extract(Owner(), ""), 0);
    EXPECT_EQ(watch_.shown, 1);
}

// The bar follows the compressed bytes read, in many steps even when the
// archive is read faster than the window repaints, to its end; the library's
// wait window stays out of its way meanwhile.
TEST_F(ProgressWindowTest, ALargeTarGzMovesTheBarToItsEndWithTheWaitWindowAside) {
    std::vector<int> values;
    int wait_window_shown = 0;
    watch_.on_value = [&](QWidget*, int value) {
        values.push_back(value);
        wait_window_shown += ShownWindow(platform::kWaitWindowName) != nullptr;
    };
    EXPECT_EQ(Extract(Owner(), "", WriteLargeTarGz(folder_.Path())), 0);
    ASSERT_FALSE(values.empty());
    EXPECT_EQ(values.back(), 1000);
    EXPECT_GE(std::count_if(values.begin(), values.end(), [](int value) { return value > 0 && value < 1000; }), 10);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_EQ(wait_window_shown, 0);
}

// Esc is キャンセル: the worker is stopped and its half-written file removed,
// and the window stays until then instead of hiding while the work goes on.
TEST_F(ProgressWindowTest, EscCancelsLikeTheButtonAndLeavesNoTemporaryFile) {
    bool pressed = false, stayed = false;
    watch_.on_value = [&](QWidget* window, int value) {
        if (pressed || value <= 0) return;
        pressed = true;
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(window, &escape);
        stayed = window->isVisible();
    };
    EXPECT_EQ(Extract(Owner(), "", WriteLargeTarGz(folder_.Path())), 0x8020);
    EXPECT_TRUE(stayed);
    for (const auto& entry : fs::recursive_directory_iterator(out_))
        EXPECT_NE(entry.path().filename().string().rfind(".kelvora-", 0), 0u) << entry.path();
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
