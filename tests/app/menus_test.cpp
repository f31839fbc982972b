// The main window's menus, pop-up menus and buttons.
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QMenu>
#include <QTimer>

#include "frm_about.h"
#include "frm_env.h"
#include "main_window_fixture.h"

namespace {

// --- Rules without widgets -----------------------------------------------------

TEST(MenuRules, DllRowInformation) {
    const std::string credits = "\r\n" + core::DllCredit(1);
    EXPECT_EQ(DllRowInformation("UNLHA32.DLL \tVer.2.10.12.3", 1), "UNLHA32.DLL  Ver.2.10.12.3" + credits);
    EXPECT_EQ(DllRowInformation("UNLHA32.DLL \tVer.2.10.0.5", 1), "UNLHA32.DLL  Ver.2.10.0.5" + credits);
    EXPECT_EQ(DllRowInformation("UNLHA32.DLL \tVer.2.10.1.0", 1), "UNLHA32.DLL  Ver.2.10.1.0" + credits);
    // A sub-version of 0 reads as no version at all.
    EXPECT_EQ(DllRowInformation("UNLHA32.DLL \tVer.2.10.0.0", 1), "UNLHA32.DLL は見つかりませんでした。");
    EXPECT_EQ(DllRowInformation("CAB32.DLL   \tNot Installed.", 3), "CAB32.DLL   は見つかりませんでした。");
    EXPECT_EQ(DllRowInformation("NKF32.DLL   \tVer.2.01", 14), "NKF32.DLL    Ver.2.01\r\n" + core::DllCredit(14));
    EXPECT_EQ(DllListText({"A\tx", "B\ty"}), "A\tx\r\nB\ty\r\n");
}

TEST(MenuRules, FileMenuForEachKind) {
    FileMenuState archive = FileMenuFor(core::kArchive, 1, "/in/a.lzh", false, true);
    EXPECT_TRUE(archive.melt && archive.test && archive.test_enabled && archive.property_separator);
    EXPECT_FALSE(archive.open || archive.text);
    EXPECT_EQ(archive.default_item, FileMenuState::kMeltDefault);
    EXPECT_TRUE(FileMenuFor(core::kArchive, 1, "/in/setup.exe", false, false).open);
    EXPECT_TRUE(FileMenuFor(core::kArchive, 1, "/in/SETUP.Com", false, false).open);
    EXPECT_FALSE(FileMenuFor(core::kArchive, 4, "/in/a.tar", false, false).test_enabled);
    // A split set has no test command of its own.
    EXPECT_FALSE(FileMenuFor(core::kArchive, core::kSplitSet, "/in/a.000", false, false).test_enabled);

    const FileMenuState text = FileMenuFor(core::kNotArchive, 0, "/in/a.txt", true, false);
    EXPECT_TRUE(text.open && text.text && text.property_separator);
    EXPECT_FALSE(text.kanji_enabled || text.melt || text.test);
    EXPECT_EQ(text.default_item, FileMenuState::kOpenDefault);
    EXPECT_EQ(FileMenuFor(core::kNotExaminable, 0, "/in/a.txt", true, true), FileMenuState{});
}

// The build's application folder holds the help page and the archive icon;
// an installed copy keeps the page under share/doc.
TEST(MenuRules, HelpPageAndIconBesideTheProgram) {
    const fs::path bin = KELVORA_BIN_DIR;
    EXPECT_EQ(FindHelpFile(bin.string()), (bin / "zenkari.html").string());
    EXPECT_NE(ReadFile(bin / "zenkari.html").find("<title>zenkari ヘルプ</title>"), std::string::npos);
    EXPECT_TRUE(fs::exists(bin / "zenkari-archive.png"));

    TempFolder prefix("help-test");
    fs::create_directories(prefix.Path() / "bin");
    EXPECT_EQ(FindHelpFile((prefix.Path() / "bin").string()), (prefix.Path() / "bin/zenkari.html").string());
    fs::create_directories(prefix.Path() / "share/doc/zenkari");
    Touch(prefix.Path() / "share/doc/zenkari/zenkari.html");
    EXPECT_EQ(FindHelpFile((prefix.Path() / "bin").string()),
              (prefix.Path() / "bin/../share/doc/zenkari/zenkari.html").string());
}

// --- The window -------------------------------------------------------------------

class MenusTest : public MainWindowTest {
protected:
    // The file menu's shown items in order; "*" marks the default item and
    // "-" a disabled one.
    std::string FileMenuItems() {
        std::string items;
        auto* menu = Find<QMenu>("mnuFile2");
        for (QAction* action : menu->actions()) {
            if (!action->isVisible()) continue;
            items += (items.empty() ? "" : " ") + action->objectName().toStdString();
            if (menu->defaultAction() == action) items += "*";
            if (!action->isEnabled()) items += "-";
        }
        return items;
    }
    void RightClick(QWidget* viewport, QPoint at) {
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, viewport->mapToGlobal(at), Qt::RightButton,
                              type == QEvent::MouseButtonPress ? Qt::RightButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &event);
        }
    }
    // Right-clicks a file of File1 and answers the file menu's items.
    std::string RightClickFile(const QString& name) {
        auto* list = Find<QListWidget>("File1");
        const QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly);
        EXPECT_EQ(found.size(), 1) << name.toStdString();
        if (found.empty()) return {};
        RightClick(list->viewport(), list->visualItemRect(found.front()).center());
        auto* menu = Find<QMenu>("mnuFile2");
        EXPECT_TRUE(menu->isVisible());
        menu->hide();
        return FileMenuItems();
    }
    void Choose(const char* item) { Find<QAction>(item)->trigger(); }

    // Runs `check` on the modal dialog that `open` shows, once it is up.
    void WithModalDialog(const std::function<void()>& open, const std::function<void(QDialog*)>& check) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            seen = true;
            check(dialog);
            if (dialog->isVisible()) dialog->reject();
        });
        open();
        EXPECT_TRUE(seen);
    }
};

TEST_F(MenusTest, FileMenuFollowsTheIdentifiedFile) {
    Touch(browse_ / "a.lzh");
    Touch(browse_ / "b.tar");
    Touch(browse_ / "empty.bin", "");
    Touch(browse_ / "readme.txt");
    Touch(browse_ / "setup.EXE");
    Touch(browse_ / "z.dat", std::string("\x01\x02\x03", 3));
    Open();

    EXPECT_EQ(RightClickFile("a.lzh"), "mnuMelt* mnu6 mnuTest mnu7 mnuProperty");
    EXPECT_EQ(RightClickFile("setup.EXE"), "mnuMelt* mnu6 mnuTest mnuExec mnu7 mnuProperty");
    EXPECT_EQ(RightClickFile("b.tar"), "mnuMelt* mnu6 mnuTest- mnu7 mnuProperty");
    EXPECT_EQ(RightClickFile("readme.txt"), "mnuExec* mnu9 mnuTextCnv- mnuCrLfcnv mnu7 mnuProperty");
    EXPECT_EQ(Label("Label3"), "テキストファイル");
    EXPECT_EQ(Label("Label5"), "文字コードを変換できます");
    EXPECT_EQ(RightClickFile("z.dat"), "mnuExec* mnu7 mnuProperty");
    EXPECT_EQ(RightClickFile("empty.bin"), "mnuProperty");
    EXPECT_EQ(Find<QMenu>("mnuFile2")->defaultAction(), nullptr);

    // The right button picked each file: each was identified before its menu opened.
    EXPECT_EQ(app_.session.file_kind, core::kNotExaminable);
    EXPECT_EQ(Calls("CheckArchive 4 " + (browse_ / "b.tar").string()).size(), 1u);

    // With the converter the character codes can be converted too.
    library_->nkf_version = 201;
    Open();
    EXPECT_EQ(RightClickFile("readme.txt"), "mnuExec* mnu9 mnuTextCnv mnuCrLfcnv mnu7 mnuProperty");
}

TEST_F(MenusTest, FileMenuItemsActOnTheSelectedFile) {
    Touch(browse_ / "a.lzh");
    Touch(browse_ / "unix.txt", "one\ntwo\n");
    Open();
    const std::string archive = (browse_ / "a.lzh").string(), text = (browse_ / "unix.txt").string();

    RightClickFile("a.lzh");
    Choose("mnuTest");
    EXPECT_EQ(Calls("Dravx 1").back(), "Dravx 1 owner t \"" + archive + "\"");
    Choose("mnuMelt");
    EXPECT_NE(Calls("Dravx 1").back().find("x -d1 -y1 \"" + archive + "\""), std::string::npos);
    Choose("mnuProperty");
    EXPECT_EQ(shell_->properties, std::vector<std::string>{archive});

    RightClickFile("unix.txt");
    Choose("mnuExec");
    EXPECT_EQ(shell_->opened_files.back(), text + "|" + browse_.string());
    Choose("mnuReturn_1");
    EXPECT_EQ(ReadFile(text), "one\r\ntwo\r\n");
    EXPECT_EQ(ReadFile(text + ".bef"), "one\ntwo\n");
    Choose("mnuCodecnv_2");
    ASSERT_EQ(Calls("NkfConvertSub").size(), 1u);
    EXPECT_NE(Calls("NkfConvertSub").front().find(text), std::string::npos);
}

TEST_F(MenusTest, FolderMenu) {
    Touch(browse_ / "a.lzh");
    Touch(browse_ / "readme.txt");
    Open();
    auto* folders = Find<FolderList>("Dir1");
    RightClick(folders->viewport(), QPoint(5, 5));
    auto* menu = Find<QMenu>("mnuDir");
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(menu->defaultAction(), Find<QAction>("mnuAllShow"));
    menu->hide();

    Choose("mnuSupport");
    EXPECT_EQ(Find<QComboBox>("Combo1")->currentIndex(), 1);
    EXPECT_EQ(Files(), QStringList{"a.lzh"});
    Choose("mnuAllShow");
    EXPECT_EQ(Files(), (QStringList{"a.lzh", "readme.txt"}));
    Choose("mnuOpenExp");
    EXPECT_EQ(shell_->opened_folders, std::vector<std::string>{browse_.string()});
    Choose("mnuProperty2");
    EXPECT_EQ(shell_->properties, std::vector<std::string>{browse_.string()});

    // The folder becomes the manual destination; the box shows it with a "/".
    Choose("mnuMeltDir");
    EXPECT_TRUE(Find<QRadioButton>("Option1_3")->isChecked());
    EXPECT_TRUE(Find<QLineEdit>("Text1")->isEnabled());
    EXPECT_EQ(Find<QLineEdit>("Text1")->text().toStdString(), browse_.string() + "/");
    EXPECT_EQ(app_.session.settings.ExtractDir, browse_.string());
    EXPECT_EQ(app_.session.settings.ExtractNumber, 3);
}

TEST_F(MenusTest, DllListDoubleClickAndCopy) {
    library_->sub_version[6] = 0;  // UNRAR32.DLL reports Ver.1.00.0.0
    Open();
    auto* list = Find<QListWidget>("List1");
    auto double_click = [&](int row) {
        Mouse(list, row, QEvent::MouseButtonPress);
        Mouse(list, row, QEvent::MouseButtonRelease);
        Mouse(list, row, QEvent::MouseButtonDblClick);
        EXPECT_EQ(prompter_->messages.back().title, "アーカイバ情報");
        EXPECT_EQ(prompter_->messages.back().icon, core::Icon::Information);
        return prompter_->messages.back().text;
    };
    EXPECT_EQ(double_click(0), "UNLHA32.DLL  Ver.2.10.12.3\r\n" + core::DllCredit(1));
    EXPECT_EQ(double_click(2), "CAB32.DLL   は見つかりませんでした。");
    EXPECT_EQ(double_click(5), "UNRAR32.DLL は見つかりませんでした。");

    RightClick(list->viewport(), QPoint(5, 5));
    auto* menu = Find<QMenu>("mnuCopy");
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(menu->defaultAction(), Find<QAction>("mnuDllListCopy"));
    menu->hide();
    Choose("mnuDllListCopy");
    const QStringList lines = QGuiApplication::clipboard()->text().split("\r\n");
    ASSERT_EQ(lines.size(), 14);  // 13 rows, each ending in CR LF
    EXPECT_EQ(lines[0], "UNLHA32.DLL \tVer.2.10.12.3");
    EXPECT_EQ(lines[12], "DRAVOLIX.DLL\tVer.0.06");
    EXPECT_EQ(lines[13], "");
}

TEST_F(MenusTest, MenuBarAndButtons) {
    Touch(browse_ / "z.dat", std::string("\x01\x02\x03", 3));
    app_.help_file = (app_folder_ / "zenkari.html").string();
    Open();
    EXPECT_EQ(Find<QAction>("mnuNewInfo")->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(Find<QAction>("mnuTopic")->shortcut(), QKeySequence(Qt::Key_F1));

    Touch(browse_ / "new.lzh");
    Choose("mnuNewInfo");
    EXPECT_TRUE(Files().contains("new.lzh"));

    // A non-archive's preview replaces the DLL list until it is asked for.
    window_->Identify((browse_ / "z.dat").string());
    EXPECT_TRUE(Find<QPlainTextEdit>("Text2")->isVisibleTo(window_.get()));
    Choose("mnuArcInfo");
    EXPECT_FALSE(Find<QPlainTextEdit>("Text2")->isVisibleTo(window_.get()));
    EXPECT_TRUE(Find<QListWidget>("List1")->isVisibleTo(window_.get()));

    Choose("mnuTopic");
    Find<QPushButton>("Command7")->click();
    const std::string help = app_.help_file + "|" + app_.app_folder;
    EXPECT_EQ(shell_->opened_files, (std::vector<std::string>{help, help}));

    Find<QListWidget>("List1")->setCurrentRow(1);
    Find<QPushButton>("Command1")->click();
    EXPECT_EQ(Calls("ConfigDialog"), std::vector<std::string>{"ConfigDialog 2 1"});
}

TEST_F(MenusTest, SettingsDialogRearrangesTheFrames) {
    Open();
    EXPECT_EQ(Find<QGroupBox>("Frame3")->x(), TwipsToPixels(4675));
    WithModalDialog([&] { Find<QPushButton>("Command5")->click(); },
                    [](QDialog* dialog) {
                        EXPECT_EQ(dialog->objectName(), "frmEnv");
                        dialog->findChild<QCheckBox*>("Check1")->setChecked(true);
                        dialog->findChild<QPushButton*>("Command1")->click();
                    });
    EXPECT_EQ(app_.session.settings.TurnOver, 1);
    EXPECT_EQ(Find<QGroupBox>("Frame3")->x(), 0);
}

TEST_F(MenusTest, AboutBoxKeepsItsShortcutWhileOpen) {
    Open();
    const fs::path shortcut = fs::path(app_.session.settings_folder) / "web.url";
    for (const char* way : {"button", "menu"}) {
        WithModalDialog([&] {
            if (std::string(way) == "button")
                Find<QPushButton>("Command6")->click();
            else
                Choose("mnuAbout");
        },
                        [&](QDialog* dialog) {
                            EXPECT_EQ(dialog->objectName(), "frmAbout");
                            EXPECT_TRUE(fs::exists(shortcut));
                        });
        EXPECT_FALSE(fs::exists(shortcut)) << way;
    }
}

}  // namespace
