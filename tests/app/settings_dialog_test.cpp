// The settings dialog: associations, the two options, OK and キャンセル.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "env_var.h"
#include "fake_library.h"
#include "frm_env.h"
#include "recorders.h"
#include "temp_folder.h"

namespace {

namespace fs = std::filesystem;

class SettingsDialogTest : public ::testing::Test {
protected:
    SettingsDialogTest() {
        for (int k : {1, 2, 4, 7}) session_.dll_version[static_cast<size_t>(k)] = 100;  // 3, 6 and the rest absent
    }

    FrmEnv& Open() {
        dialog_ = std::make_unique<FrmEnv>(session_, library_, prompter_, "/app/zenkari", [this] { ++notified_; });
        return *dialog_;
    }
    template <class Widget>
    Widget* Find(const char* name) {
        auto* widget = dialog_->findChild<Widget*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QListWidgetItem* Row(const char* caption) {
        const auto found = Find<QListWidget>("List1")->findItems(caption, Qt::MatchExactly);
        EXPECT_EQ(found.size(), 1) << caption;
        return found.value(0);
    }
    bool Checked(const char* caption) { return Row(caption)->checkState() == Qt::Checked; }
    // As the user ticks or clears a row's box.
    void Tick(const char* caption, bool on) { Row(caption)->setCheckState(on ? Qt::Checked : Qt::Unchecked); }
    void Click(const char* button) { Find<QPushButton>(button)->click(); }
    uint8_t Flag(int k) const { return session_.settings.Assoc[static_cast<size_t>(k)]; }
    void SetFlag(int k, uint8_t value) { session_.settings.Assoc[static_cast<size_t>(k)] = value; }

    core::Session session_;
    FakeLibrary library_;
    PrompterRecorder prompter_;
    int notified_ = 0;
    std::unique_ptr<FrmEnv> dialog_;
};

TEST_F(SettingsDialogTest, ShowsRowsAndOptions) {
    SetFlag(1, 1);  // installed: ticked
    SetFlag(3, 1);  // not installed: shown clear
    session_.settings.TurnOver = 1;
    Open();

    EXPECT_EQ(dialog_->objectName(), "frmEnv");
    EXPECT_EQ(dialog_->windowTitle(), "環境設定");
    EXPECT_TRUE(dialog_->isModal());
    auto* list = Find<QListWidget>("List1");
    std::vector<std::string> rows;
    for (int i = 0; i < list->count(); ++i) rows.push_back(list->item(i)->text().toStdString());
    EXPECT_EQ(rows, (std::vector<std::string>{"LZH形式", "ZIP形式", "CAB形式", "TAR形式", "ARJ形式", "RAR形式",
                                              "BGA形式", "YZ1形式", "GCA形式", "BEL形式", "JAK形式"}));
    EXPECT_EQ(Find<QLabel>("Label1")->buddy(), list);
    EXPECT_TRUE(Find<QPushButton>("Command1")->isDefault());

    EXPECT_TRUE(Checked("LZH形式"));
    EXPECT_FALSE(Checked("CAB形式"));
    EXPECT_FALSE(Checked("ZIP形式"));
    EXPECT_TRUE(Find<QCheckBox>("Check1")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("Check2")->isChecked());

    session_.settings.TurnOver = 0;
    session_.settings.NoWindow = 1;
    Open();
    EXPECT_FALSE(Find<QCheckBox>("Check1")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>("Check2")->isChecked());
}

TEST_F(SettingsDialogTest, AbsentModuleCannotBeTicked) {
    Open();
    Tick("CAB形式", true);
    ASSERT_EQ(prompter_.messages.size(), 1u);
    EXPECT_EQ(prompter_.messages[0].text, "CAB32.DLLが導入されていないため、関連付けができません。");
    EXPECT_EQ(prompter_.messages[0].title, "エラー");
    EXPECT_EQ(prompter_.messages[0].icon, core::Icon::Exclamation);
    EXPECT_FALSE(Checked("CAB形式"));

    Tick("RAR形式", true);
    ASSERT_EQ(prompter_.messages.size(), 2u);
    EXPECT_EQ(prompter_.messages[1].text, "UNRAR32.DLLが導入されていないため、関連付けができません。");

    // Installed modules and clearing a box say nothing.
    Tick("ZIP形式", true);
    Tick("ZIP形式", false);
    Tick("CAB形式", false);
    EXPECT_EQ(prompter_.messages.size(), 2u);
    EXPECT_TRUE(library_.calls.empty());
}

TEST_F(SettingsDialogTest, OkMakesAndRemovesAssociations) {
    SetFlag(1, 1);
    SetFlag(4, 1);
    SetFlag(6, 1);  // set once, but the module has gone since: shown clear, so OK removes it
    Open();
    Tick("ZIP形式", true);
    Tick("TAR形式", false);
    Tick("BGA形式", true);
    Find<QCheckBox>("Check2")->setChecked(true);
    Click("Command1");

    EXPECT_EQ(library_.calls, (std::vector<std::string>{"SetAssoc 2 /app/zenkari %1", "KillAssoc 4", "KillAssoc 6",
                                                        "SetAssoc 7 /app/zenkari %1"}));
    EXPECT_EQ(Flag(1), 1);
    EXPECT_EQ(Flag(2), 1);
    EXPECT_EQ(Flag(4), 0);
    EXPECT_EQ(Flag(6), 0);
    EXPECT_EQ(Flag(7), 1);
    EXPECT_EQ(session_.settings.NoWindow, 1);
    EXPECT_EQ(notified_, 1);
    EXPECT_EQ(dialog_->result(), QDialog::Accepted);
    EXPECT_TRUE(prompter_.messages.empty());
}

TEST_F(SettingsDialogTest, OkWithoutChangesTakesOnlyTheOptions) {
    SetFlag(1, 1);
    session_.settings.TurnOver = 1;
    Open();
    Find<QCheckBox>("Check1")->setChecked(false);
    Find<QCheckBox>("Check2")->setChecked(true);
    Click("Command1");

    EXPECT_TRUE(library_.calls.empty());
    EXPECT_EQ(notified_, 0);
    EXPECT_EQ(Flag(1), 1);
    EXPECT_EQ(session_.settings.TurnOver, 0);
    EXPECT_EQ(session_.settings.NoWindow, 1);
    EXPECT_EQ(dialog_->result(), QDialog::Accepted);
}

TEST_F(SettingsDialogTest, CancelAndClosingChangeNothing) {
    SetFlag(4, 1);
    SetFlag(6, 1);
    session_.settings.NoWindow = 1;
    const core::Settings before = session_.settings;
    for (bool close_window : {false, true}) {
        Open();
        std::vector<int> finished;
        QObject::connect(dialog_.get(), &QDialog::finished, [&](int result) { finished.push_back(result); });
        dialog_->show();
        Tick("ZIP形式", true);
        Tick("TAR形式", false);
        Find<QCheckBox>("Check1")->setChecked(true);
        Find<QCheckBox>("Check2")->setChecked(false);
        close_window ? void(dialog_->close()) : Click("Command2");

        EXPECT_EQ(finished, std::vector<int>{QDialog::Rejected});
        EXPECT_EQ(session_.settings.Assoc, before.Assoc);
        EXPECT_EQ(session_.settings.TurnOver, 0);
        EXPECT_EQ(session_.settings.NoWindow, 1);
    }
    EXPECT_TRUE(library_.calls.empty());
    EXPECT_EQ(notified_, 0);
}

TEST_F(SettingsDialogTest, MissingLibraryStopsAtTheFirstCall) {
    library_.missing = true;
    Open();
    Tick("LZH形式", true);
    Tick("ZIP形式", true);
    Find<QCheckBox>("Check1")->setChecked(true);
    Click("Command1");

    EXPECT_EQ(library_.calls, (std::vector<std::string>{"SetAssoc 1 /app/zenkari %1"}));
    ASSERT_EQ(prompter_.messages.size(), 1u);
    EXPECT_EQ(prompter_.messages[0].text, "Dravolix.dll が見つかりません。");
    EXPECT_EQ(prompter_.messages[0].title, "エラー");
    EXPECT_EQ(prompter_.messages[0].icon, core::Icon::Exclamation);
    EXPECT_EQ(Flag(1), 0);
    EXPECT_EQ(Flag(2), 0);
    EXPECT_EQ(session_.settings.TurnOver, 1);
    EXPECT_EQ(notified_, 0);
    EXPECT_EQ(dialog_->result(), QDialog::Accepted);
}

// The library goes missing between two calls: what was done stays done.
struct KillFailsLibrary : FakeLibrary {
    int32_t KillAssoc(int32_t index) override {
        missing = true;
        return FakeLibrary::KillAssoc(index);
    }
};

TEST(SettingsDialog, CallsBeforeAFailureCount) {
    core::Session session;
    session.dll_version[1] = session.dll_version[4] = session.dll_version[7] = 100;
    session.settings.Assoc[4] = 1;
    KillFailsLibrary library;
    PrompterRecorder prompter;
    int notified = 0;
    FrmEnv dialog(session, library, prompter, "/app/zenkari", [&] { ++notified; });
    auto* list = dialog.findChild<QListWidget*>("List1");
    list->item(0)->setCheckState(Qt::Checked);  // LZH
    list->item(3)->setCheckState(Qt::Unchecked);  // TAR
    list->item(6)->setCheckState(Qt::Checked);  // BGA
    dialog.findChild<QPushButton*>("Command1")->click();

    EXPECT_EQ(library.calls, (std::vector<std::string>{"SetAssoc 1 /app/zenkari %1", "KillAssoc 4"}));
    EXPECT_EQ(session.settings.Assoc[1], 1);
    EXPECT_EQ(session.settings.Assoc[4], 1);
    EXPECT_EQ(session.settings.Assoc[7], 0);
    EXPECT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(notified, 1);
}

// --- Telling the desktop ------------------------------------------------------

TEST(NotifyAssociationsChanged, RunsTheToolsThatAreThereOnFoldersThatAreThere) {
    TempFolder temp;
    const fs::path bin = temp.Path() / "bin", data = temp.Path() / "data", log = temp.Path() / "log";
    fs::create_directories(bin);
    fs::create_directories(data / "applications");
    for (const char* tool : {"update-desktop-database", "update-mime-database"}) {
        std::ofstream(bin / tool) << "#!/bin/sh\necho \"" << tool << " $*\" >> '" << log.string() << "'\n";
        fs::permissions(bin / tool, fs::perms::owner_all);
    }
    EnvVar path("PATH", bin.c_str());
    EnvVar data_home("XDG_DATA_HOME", data.c_str());

    NotifyAssociationsChanged();  // no mime folder yet
    fs::create_directories(data / "mime");
    NotifyAssociationsChanged();

    std::ifstream in(log);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    const std::string apps = (data / "applications").string(), mime = (data / "mime").string();
    EXPECT_EQ(text, "update-desktop-database " + apps + "\nupdate-desktop-database " + apps +
                        "\nupdate-mime-database " + mime + "\n");
}

}  // namespace
