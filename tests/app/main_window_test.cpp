// The main window: layout, DLL list, destination box, browser, drops, the
// command line and the ways to end.
#include "main_window_fixture.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QThread>

#include "desktop.h"
#include "entry_counter.h"

namespace {

// --- Rules without widgets -----------------------------------------------------

TEST(MainRules, VersionTexts) {
    EXPECT_EQ(VersionText(210, 5), "Ver.2.10.0.5");
    EXPECT_EQ(VersionText(210, 6), "Ver.2.10.0.6");
    EXPECT_EQ(VersionText(210, 12), "Ver.2.10.0.12");
    EXPECT_EQ(VersionText(210, 1203), "Ver.2.10.12.3");
    EXPECT_EQ(VersionText(210, 1250), "Ver.2.10.12.50");
    EXPECT_EQ(VersionText(5, -4), "Ver.0.05");
    EXPECT_EQ(VersionText(-2, -4), "Not Installed.");
    EXPECT_EQ(VersionText(210, -1), "Not Installed.");
    EXPECT_EQ(PlainVersionText(6), "Ver.0.06");
}

TEST(MainRules, FrameLeftsForTurnOver) {
    EXPECT_EQ(ArrangeFrameLefts(1), (FrameLefts{2635, 2635, 0, 5760}));
    EXPECT_EQ(ArrangeFrameLefts(0), (FrameLefts{0, 0, 4675, 3125}));
    EXPECT_EQ(ArrangeFrameLefts(7), ArrangeFrameLefts(0));
}

TEST(MainRules, FiltersAndWildcards) {
    core::DllVersions versions{};
    EXPECT_EQ(FilterPattern(1, versions, MakeArchivePatterns(versions)), ";*.exe;*.000;*.001");
    versions[1] = versions[2] = 100;
    EXPECT_EQ(FilterPattern(1, versions, MakeArchivePatterns(versions)),
              ";*.LZH;*.LZS;*.LHA;*.ZIP;*.JAR;*.exe;*.000;*.001");
    versions[4] = 210;
    EXPECT_NE(FilterPattern(1, versions, MakeArchivePatterns(versions)).find("*.BZ2;*.RPM;*.DEB;"), std::string::npos);

    EXPECT_TRUE(MatchesPatterns("a.lzh", "*.LZH"));
    EXPECT_TRUE(MatchesPatterns("part.r01", "*.RAR;*.R0?"));
    EXPECT_TRUE(MatchesPatterns("tree.tar.gz", "*.TAR;*.GZ"));
    EXPECT_TRUE(MatchesPatterns("README", "*.*"));
    EXPECT_FALSE(MatchesPatterns("a.lzh.txt", ";*.LZH"));  // the empty entry matches nothing
    EXPECT_FALSE(MatchesPatterns("a.r100", "*.R0?"));
}

TEST(MainRules, TextTypesPathsAndVolumes) {
    EXPECT_EQ(TextFileType("readme.txt"), "テキストファイル");
    EXPECT_EQ(TextFileType("/src/main.c"), "C/C++ ｿｰｽ/ﾌﾟﾛｼﾞｪｸﾄ");
    EXPECT_EQ(TextFileType("index.html"), "HTMLドキュメント");
    EXPECT_EQ(TextFileType("index.htm"), std::nullopt);
    EXPECT_EQ(TextFileType("a.def"), std::nullopt);

    EXPECT_EQ(JoinPath("/", "A.LZH"), "/A.LZH");
    EXPECT_EQ(JoinPath("/DATA", "A.LZH"), "/DATA/A.LZH");

    EXPECT_TRUE(IsUserVolume("/media/usb", "vfat"));
    EXPECT_TRUE(IsUserVolume("/run/media/user/disk", "ext4"));
    EXPECT_FALSE(IsUserVolume("/snap/core/1", "squashfs"));
    EXPECT_FALSE(IsUserVolume("/proc", "proc"));
    EXPECT_FALSE(IsUserVolume("/boot/efi", "vfat"));
    EXPECT_FALSE(IsUserVolume("/etc/hosts", "ext4"));
}

TEST_F(MainWindowTest, LayoutInPixelsOfTheDesignedTwips) {
    app_.session.settings.TurnOver = 1;
    FrmMain& window = Open();
    EXPECT_EQ(window.objectName(), "frmMain");
    EXPECT_EQ(window.windowTitle(), "Kelvora? ");
    EXPECT_EQ(window.centralWidget()->size(), QSize(481, 313));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_EQ(Find<QGroupBox>("Frame1")->geometry(), QRect(176, 0, 305, 105));
    EXPECT_EQ(Find<QGroupBox>("Frame3")->geometry(), QRect(0, 0, 169, 289));
    EXPECT_EQ(Find<QGroupBox>("Frame4")->x(), 384);
    EXPECT_EQ(Find<QPushButton>("Command3")->geometry(), QRect(8, 128, 81, 25));
    EXPECT_EQ(Find<QToolButton>("Image2_4")->geometry(), QRect(72, 16, 17, 17));
    EXPECT_EQ(Find<QLabel>("Label5")->geometry(), QRect(136, 296, 344, 17));
    EXPECT_EQ(Find<QListWidget>("File1")->geometry(), QRect(8, 144, 153, 113));
    EXPECT_EQ(Find<QListWidget>("List1")->palette().color(QPalette::Base), QColor(192, 192, 192));
    EXPECT_EQ(Find<QAction>("mnuEnd")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F4));
    EXPECT_TRUE(window.isVisible());

    window.ArrangeFrames(0);
    EXPECT_EQ(Find<QGroupBox>("Frame1")->x(), 0);
    EXPECT_EQ(Find<QGroupBox>("Frame2")->x(), 0);
    EXPECT_EQ(Find<QGroupBox>("Frame3")->x(), 312);
    EXPECT_EQ(Find<QGroupBox>("Frame4")->x(), 208);
}

TEST_F(MainWindowTest, DllListRowsAndVersions) {
    Open();
    auto* list = Find<QListWidget>("List1");
    ASSERT_EQ(list->count(), 13);
    EXPECT_EQ(list->item(0)->text(), "UNLHA32.DLL \tVer.2.10.12.3");
    EXPECT_EQ(list->item(1)->text(), "UNZIP32.DLL \tVer.6.20.12.50");
    EXPECT_EQ(list->item(2)->text(), "CAB32.DLL   \tNot Installed.");
    EXPECT_EQ(list->item(3)->text(), "TAR32.DLL   \tVer.2.10.0.6");
    EXPECT_EQ(list->item(5)->text(), "UNRAR32.DLL \tVer.1.00.0.12");
    EXPECT_EQ(list->item(10)->text(), "JACK32.DLL  \tNot Installed.");
    EXPECT_EQ(list->item(11)->text(), "NKF32.DLL   \tNot Installed.");
    EXPECT_EQ(list->item(12)->text(), "DRAVOLIX.DLL\tVer.0.06");
    EXPECT_EQ(app_.session.dll_version[1], 210);
    EXPECT_EQ(app_.session.dll_version[3], 0);

    // The selected row decides whether the module's settings can be opened.
    auto* settings = Find<QPushButton>("Command1");
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_TRUE(settings->isEnabled());
    list->setCurrentRow(2);
    EXPECT_FALSE(settings->isEnabled());
    list->setCurrentRow(1);
    EXPECT_TRUE(settings->isEnabled());
    list->setCurrentRow(11);
    EXPECT_FALSE(settings->isEnabled());

    library_->nkf_version = 201;
    Open();
    EXPECT_EQ(Find<QListWidget>("List1")->item(11)->text(), "NKF32.DLL   \tVer.2.01");
    EXPECT_EQ(app_.session.dll_version[core::kNkfIndex], 201);
}

TEST_F(MainWindowTest, DestinationBoxForEachMode) {
    Open();
    auto* box = Find<QLineEdit>("Text1");
    const std::string desktop = shell_->desktop + "/";
    EXPECT_EQ(box->text().toStdString(), desktop);  // mode 0: exactly one "/" at the end
    EXPECT_FALSE(box->isEnabled());

    Find<QRadioButton>("Option1_2")->click();
    EXPECT_EQ(box->text(), "<書庫のフォルダ>");
    EXPECT_EQ(app_.session.settings.ExtractNumber, 2);

    setenv("TMPDIR", "/scratch", 1);
    Find<QRadioButton>("Option1_1")->click();
    unsetenv("TMPDIR");
    EXPECT_EQ(box->text(), "/scratch/");

    Find<QRadioButton>("Option1_3")->click();
    EXPECT_EQ(box->text(), "/manual/");
    EXPECT_TRUE(box->isEnabled());
    EXPECT_TRUE(Find<QPushButton>("Command4")->isEnabled());
    box->setText("/typed");  // what extraction uses, without changing ExtractDir
    EXPECT_EQ(window_->ManualDestination(), "/typed/");
    EXPECT_EQ(app_.session.settings.ExtractDir, "/manual");
    window_->SetManualFolder("/chosen  ");
    EXPECT_EQ(box->text(), "/chosen/");
    EXPECT_EQ(app_.session.settings.ExtractDir, "/chosen");
}

TEST_F(MainWindowTest, CheckBoxesShowTheirSettingsAndTheExitSavesThem) {
    core::Settings& settings = app_.session.settings;
    settings.PreventDoubleFolder = 1;
    settings.OpenAfterExtract = 0;
    Open();
    auto* prevent = Find<QCheckBox>("Check1");
    auto* open = Find<QCheckBox>("Check2");
    auto* folder = Find<QCheckBox>("Check3");
    EXPECT_EQ(prevent->text(), "二重フォルダ防止");
    EXPECT_TRUE(prevent->isChecked());
    EXPECT_FALSE(open->isChecked());
    EXPECT_TRUE(folder->isChecked());

    prevent->click();
    open->click();
    folder->click();
    EXPECT_EQ(settings.PreventDoubleFolder, 0);
    EXPECT_EQ(settings.OpenAfterExtract, 1);
    EXPECT_EQ(settings.MakeArchiveFolder, 0);
    window_->close();
    const std::string written = ReadFile(app_.settings_file->Path());
    EXPECT_NE(written.find("\nPreventDoubleFolder=0\nOpenAfterExtract=1\nMakeArchiveFolder=0\n"), std::string::npos)
        << written;
}

TEST_F(MainWindowTest, FiltersFollowTheInstalledArchivers) {
    for (const char* name : {"a.lzh", "b.rpm", "c.txt", "d.EXE", "e.zip", "f.cab", ".hidden.lzh"}) Touch(browse_ / name);
    library_->version[4] = 209;
    Open();
    EXPECT_EQ(Files(), QStringList({"a.lzh", "b.rpm", "c.txt", "d.EXE", "e.zip", "f.cab"}));
    window_->SelectFilter(1);  // CAB32 is not installed, TAR32 2.09 knows no RPM
    EXPECT_EQ(Files(), QStringList({"a.lzh", "d.EXE", "e.zip"}));
    window_->SelectFilter(2);
    EXPECT_EQ(Files(), QStringList({"c.txt"}));
    EXPECT_EQ(Find<QComboBox>("Combo1")->currentText(), "Text/プログラムソース");

    library_->version[4] = 210;
    app_.session.settings.FilePattern = 1;
    Open();
    EXPECT_EQ(Files(), QStringList({"a.lzh", "b.rpm", "d.EXE", "e.zip"}));
}

TEST_F(MainWindowTest, AFolderChangeClearsTheLabelsWithoutIdentifying) {
    fs::create_directories(browse_ / "sub");
    Touch(browse_ / "sub" / "x.lzh");
    Touch(browse_ / "sub" / "y.lzh");
    Open();
    window_->SetFileType("LZH書庫");
    window_->SetStatus("解凍できます。");
    library_->calls.clear();
    ASSERT_TRUE(window_->SetFolder((browse_ / "sub").string()));
    EXPECT_EQ(Label("Label3"), "");
    EXPECT_EQ(Label("Label5"), "");
    EXPECT_EQ(window_->SelectedFilePath(), (browse_ / "sub" / "x.lzh").string());
    EXPECT_TRUE(Calls("CheckArchive").empty());
    EXPECT_EQ(window_->BrowsedFolder(), (browse_ / "sub").string());

    // Enter on a folder entry goes into it.
    auto* folders = Find<QTreeWidget>("Dir1");
    window_->SetFolder(browse_.string());
    folders->setCurrentItem(folders->findItems("sub", Qt::MatchExactly | Qt::MatchRecursive).value(0));
    Key(folders, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(window_->BrowsedFolder(), (browse_ / "sub").string());

    // A shortcut icon leads back to the start folder.
    Find<QToolButton>("Image2_4")->click();
    EXPECT_EQ(window_->BrowsedFolder(), browse_.string());
    EXPECT_FALSE(window_->SetFolder((browse_ / "missing").string()));
}

TEST_F(MainWindowTest, ArrowKeysIdentifyTheFileTheyMoveTo) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) Touch(browse_ / name, name);
    Open();
    auto* files = Find<QListWidget>("File1");
    auto identified = [this] {
        const bool done = Label("Label3") == "テキストファイル";
        window_->SetFileType("");
        return done;
    };
    identified();
    Key(files, Qt::Key_Down);  // onto the middle file
    EXPECT_TRUE(identified());
    Key(files, Qt::Key_Down);  // onto the last file: its details, not the middle one's
    EXPECT_EQ(files->currentRow(), 2);
    EXPECT_TRUE(identified());
    EXPECT_EQ(Find<QPlainTextEdit>("Text2")->toPlainText(), "c.txt");
    Key(files, Qt::Key_Down);  // at the end: nothing moved
    EXPECT_FALSE(identified());
    Key(files, Qt::Key_Home);  // other keys always identify
    EXPECT_EQ(files->currentRow(), 0);
    EXPECT_TRUE(identified());
    EXPECT_EQ(Label("Label5"), "文字コードを変換できます");
    Key(files, Qt::Key_Up);
    EXPECT_FALSE(identified());

    Mouse(files, 1, QEvent::MouseButtonPress);
    Mouse(files, 1, QEvent::MouseButtonRelease);
    EXPECT_TRUE(identified());
    EXPECT_EQ(window_->SelectedFilePath(), (browse_ / "b.txt").string());
}

TEST_F(MainWindowTest, ProcessButtonAndDoubleClick) {
    Touch(browse_ / "a.lzh");
    Touch(browse_ / "b.txt");
    Touch(browse_ / "c.lzh", "");  // empty: cannot be examined
    Open();
    auto* files = Find<QListWidget>("File1");

    // Double-click: extracted, then the lists show what appeared meanwhile.
    Touch(browse_ / "new.txt");
    Mouse(files, 0, QEvent::MouseButtonPress);
    Mouse(files, 0, QEvent::MouseButtonRelease);
    Mouse(files, 0, QEvent::MouseButtonDblClick);
    Mouse(files, 0, QEvent::MouseButtonRelease);
    EXPECT_EQ(Calls("Dravx 1 owner").size(), 1u);
    EXPECT_TRUE(Files().contains("new.txt"));

    // Enter on a file is a double-click; its release identifies nothing more.
    library_->calls.clear();
    files->setCurrentRow(0);  // a.lzh, identified by the click before
    Key(files, Qt::Key_Return);
    EXPECT_EQ(Calls("Dravx 1 owner").size(), 1u);
    EXPECT_TRUE(Calls("CheckArchive").empty());

    files->setCurrentRow(1);  // b.txt: opened with its program
    Find<QPushButton>("Command3")->click();
    ASSERT_EQ(shell_->opened_files.size(), 1u);
    EXPECT_EQ(shell_->opened_files[0].substr(0, shell_->opened_files[0].find('|')), (browse_ / "b.txt").string());

    files->setCurrentRow(2);  // c.lzh
    Find<QPushButton>("Command3")->click();
    ASSERT_EQ(prompter_->messages.size(), 1u);
    EXPECT_EQ(prompter_->messages[0].text, "このファイルはアクセス中のため開けません。");
    EXPECT_EQ(prompter_->messages[0].icon, core::Icon::Critical);
    EXPECT_EQ(Calls("Dravx ").size(), 1u);

    // The file menu's extraction identifies a file that was only selected.
    window_->SetFolder(temp_.Path().string());
    window_->SetFolder(browse_.string());
    library_->calls.clear();
    window_->ExtractSelectedFile();
    ASSERT_EQ(Calls("CheckArchive 1").size(), 1u);
    EXPECT_EQ(Calls("Dravx 1").size(), 1u);
}

TEST_F(MainWindowTest, DropsOfFoldersArchivesAndTexts) {
    fs::create_directories(temp_.Path() / "dropped");
    Touch(temp_.Path() / "a.lzh");
    Touch(temp_.Path() / "notes.txt");
    Open();

    Drop({temp_.Path() / "dropped", temp_.Path() / "a.lzh"});
    EXPECT_EQ(window_->BrowsedFolder(), (temp_.Path() / "dropped").string());
    EXPECT_EQ(Calls("Dravx 1 owner").size(), 1u);

    // A text file: told, and the DLL list comes back in place of the preview.
    // A path that names nothing ends the handling.
    Drop({temp_.Path() / "notes.txt", temp_.Path() / "gone", temp_.Path() / "a.lzh"});
    ASSERT_EQ(prompter_->messages.size(), 1u);
    EXPECT_EQ(prompter_->messages[0].text, "指定されたファイルは書庫ではありません。");
    EXPECT_EQ(prompter_->messages[0].title, "エラー");
    EXPECT_EQ(prompter_->messages[0].icon, core::Icon::Exclamation);
    EXPECT_FALSE(Find<QListWidget>("List1")->isHidden());
    EXPECT_TRUE(Find<QPlainTextEdit>("Text2")->isHidden());
    EXPECT_EQ(Calls("Dravx ").size(), 1u);
}

TEST_F(MainWindowTest, CommandLineFileEndsTheProgramUnseen) {
    Touch(temp_.Path() / "notes.txt");
    Open((temp_.Path() / "notes.txt").string());
    EXPECT_FALSE(loaded_);
    EXPECT_FALSE(window_->isVisible());
    ASSERT_EQ(prompter_->messages.size(), 1u);
    EXPECT_EQ(prompter_->messages[0].text, "指定されたファイルは書庫ではありません。");
    EXPECT_EQ(app_.exit_code, 1);

    // Through the program's entry: the window goes, the settings stay unwritten.
    Touch(temp_.Path() / "a.lzh");
    library_->command[1] = 0x8020;
    OpenMainWindow(app_, (temp_.Path() / "a.lzh").string());
    EXPECT_EQ(app_.exit_code, 1);
    library_->command[1] = 0;
    OpenMainWindow(app_, (temp_.Path() / "a.lzh").string());
    EXPECT_EQ(app_.exit_code, 0);
    EXPECT_EQ(Calls("Dravx 1").size(), 2u);
    QCoreApplication::removePostedEvents(qApp, QEvent::MetaCall);  // the quit, with no loop to end
    window_.reset();
    for (QWidget* widget : QApplication::topLevelWidgets()) EXPECT_NE(widget->objectName(), "frmMain");
    EXPECT_FALSE(fs::exists(app_.settings_file->Path()));
}

TEST_F(MainWindowTest, CommandLineFolderOrNothing) {
    fs::create_directories(temp_.Path() / "given");
    Open((temp_.Path() / "given/").string());
    EXPECT_TRUE(loaded_);
    EXPECT_EQ(window_->BrowsedFolder(), (temp_.Path() / "given").string());
    EXPECT_EQ(app_.session.settings.FileListDir, (temp_.Path() / "given").string());
    window_->SetFolder(browse_.string());
    Find<QToolButton>("Image2_4")->click();
    EXPECT_EQ(window_->BrowsedFolder(), (temp_.Path() / "given").string());

    app_.session.settings.FileListDir = browse_.string();
    const std::string missing = (temp_.Path() / "missing").string();
    Open(missing);
    EXPECT_TRUE(loaded_);
    ASSERT_EQ(prompter_->messages.size(), 1u);
    EXPECT_EQ(prompter_->messages[0].text, "指定されたパスが見つかりません。\r\n" + missing);
    EXPECT_EQ(window_->BrowsedFolder(), browse_.string());
}

TEST_F(MainWindowTest, EachWayToEndWritesTheSettingsOnce) {
    const fs::path script = temp_.Path() / "tmpexec.sh";
    const std::vector<std::function<void(FrmMain&)>> ways = {
        [this](FrmMain&) { Find<QPushButton>("Command2")->click(); },
        [this](FrmMain&) { Find<QAction>("mnuEnd")->trigger(); },
        [](FrmMain& window) { window.close(); },
    };
    for (const auto& end : ways) {
        fs::remove(app_.settings_file->Path());
        Touch(script);
        app_.session.join_batch_file = script.string();
        quits_ = 0;
        app_.session.settings.FilePattern = 2;
        Open();
        end(*window_);
        EXPECT_FALSE(fs::exists(script));
        const std::string written = ReadFile(app_.settings_file->Path());
        EXPECT_NE(written.find("FileListDir=" + browse_.string()), std::string::npos) << written;
        EXPECT_NE(written.find("FilePattern=2"), std::string::npos) << written;
        EXPECT_EQ(quits_, 1);
        fs::remove(app_.settings_file->Path());
        window_->close();
        window_->EndProgram();
        EXPECT_FALSE(fs::exists(app_.settings_file->Path()));
        EXPECT_EQ(quits_, 1);
    }
}

// --- Drops through the real library and our modules -----------------------------

class MainWindowEndToEnd : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        platform::SetModuleDirectory(KELVORA_BIN_DIR);
        app_.library = std::make_unique<core::DravolixLibrary>();
        library_ = nullptr;
        app_.session.settings.ExtractNumber = 2;  // into the archive's own folder
    }
    void TearDown() override { platform::SetModuleDirectory(""); }
};

TEST_F(MainWindowEndToEnd, DroppingThreeArchivesExtractsEach) {
    const fs::path in = temp_.Path() / "in";
    fs::create_directories(in);
    const std::vector<std::pair<const char*, const char*>> copies = {
        {"tree.lzh", "a.lzh"}, {"tree.zip", "b.zip"}, {"tree.tar.gz", "c.tar.gz"}};
    std::vector<fs::path> dropped;
    for (const auto& [fixture, name] : copies) {
        fs::copy_file(fs::path(KELVORA_FIXTURE_DIR) / fixture, in / name);
        dropped.push_back(in / name);
    }
    Open();
    Drop(dropped);
    for (const char* folder : {"a", "b", "c"}) {
        EXPECT_EQ(ReadFile(in / folder / "hello.txt"), "Hello, Kelvora!\n") << folder;
        EXPECT_EQ(fs::file_size(in / folder / "dir" / "data.bin"), 65536u) << folder;
    }
    EXPECT_EQ(shell_->opened_folders,
              (std::vector<std::string>{(in / "a/").string(), (in / "b/").string(), (in / "c/").string()}));
    EXPECT_TRUE(prompter_->messages.empty());
    EXPECT_EQ(Label("Label5"), "解凍に成功しました。");
}

// Qt's standard buttons and the folder chooser follow a Japanese locale.
TEST(QtTranslationTest, StandardButtonsAndTheFolderChooserInJapanese) {
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    TranslateQtDialogs();
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), "キャンセル");
    QFileDialog chooser(nullptr, "", "/");
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setFileMode(QFileDialog::Directory);
    const auto* look_in = chooser.findChild<QLabel*>("lookInLabel");
    ASSERT_NE(look_in, nullptr);
    EXPECT_NE(look_in->text(), "Look in:");
    EXPECT_FALSE(look_in->text().isEmpty());
}

}  // namespace

namespace {

// The window's entry count, in a process of the program's own.
TEST(EntryCounterTest, CountsInAProcessOfItsOwnUntilCancelled) {
    TempFolder temp("entry-counter");
    const fs::path plain = temp.Path() / "tree.tar.gz", sjis = temp.Path() / "\x95\x5c.tar.gz";  // 表: not UTF-8
    fs::copy_file(fs::path(KELVORA_FIXTURE_DIR) / "tree.tar.gz", plain);
    fs::copy_file(plain, sjis);
    fs::copy_file(fs::path(KELVORA_FIXTURE_DIR) / "not_archive.txt", temp.Path() / "a.tar.gz");
    EntryCounter counter(std::string(KELVORA_BIN_DIR) + "/zenkari");
    auto count = [&](const fs::path& path) {
        std::vector<int32_t> counts;
        counter.Start(4, path.string(), [&](int32_t n) { counts.push_back(n); });
        for (int i = 0; i < 1000 && counts.empty(); ++i) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(10);
        }
        return counts;
    };
    const std::vector<int32_t> counted = count(plain);
    ASSERT_EQ(counted.size(), 1u);
    EXPECT_GT(counted.front(), 1);
    EXPECT_EQ(count(sjis), counted);
    const std::vector<int32_t> failed = count(temp.Path() / "a.tar.gz");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_LT(failed.front(), 0);

    // Cancelled, or followed by another count, a count never answers
    // (unless it did so at once, within its start).
    int late = 0;
    bool returned = false;
    auto answer = [&](int32_t) { late += returned ? 1 : 0; };
    counter.Start(4, plain.string(), answer);
    returned = true;
    counter.Cancel();
    returned = false;
    counter.Start(4, plain.string(), answer);
    returned = true;
    EXPECT_EQ(count(plain), counted);
    for (int i = 0; i < 30; ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(late, 0);
}

}  // namespace
