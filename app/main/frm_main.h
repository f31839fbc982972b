// frmMain, the program's one working window: destination choice, the list of
// archiver modules, the file browser, and the drop target. It is also the
// core's screen.
#ifndef KELVORA_APP_FRM_MAIN_H
#define KELVORA_APP_FRM_MAIN_H

#include <QMainWindow>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app.h"
#include "entry_counter.h"
#include "main_rules.h"
#include "session.h"
#include "ui.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class DriveList;
class FolderList;
class FileList;

class FrmMain : public QMainWindow, public core::Screen {
    Q_OBJECT
public:
    explicit FrmMain(App& app);
    ~FrmMain() override;

    // The loading steps, the command line included. False when the command
    // line named a file: it has been handled and the program is to end
    // without showing the window. Otherwise the window is shown.
    bool Load(const std::string& command_line);

    core::Context& context() { return ctx_; }

    // Destination box for a destination mode 0..3.
    void PathPrint(int mode);
    // Places the four frames for a TurnOver value.
    void ArrangeFrames(int16_t turn_over);
    // The browse button's result: becomes the manual folder.
    void SetManualFolder(const std::string& folder);

    // Dir1's path and File1's selected name joined with one "/".
    std::string SelectedFilePath() const;
    bool HasSelectedFile() const;
    // Drive1, Dir1 and File1 read again, in that order.
    void RefreshLists();
    // Fills the archive pattern table from the TAR32 version.
    void SetArchivePatterns();
    const ArchivePatterns& archive_patterns() const { return archive_pattern_; }
    // For a text file name: the type label and the conversion hint; true then.
    bool ShowTextFileType(const std::string& name);
    // Selects a Combo1 entry and applies its filter.
    void SelectFilter(int filter);
    // Dir1 moves to `folder`; false when it is not a folder that can be read.
    bool SetFolder(const std::string& folder);
    // Identifies a file; the window remembers which file it identified last.
    // Identifies `path`; the entry count is only taken to be shown, when
    // the user is not about to act on the file at once.
    int32_t Identify(const std::string& path, bool to_show = true);

    // What happens to dropped paths, in order: folders open in the browser,
    // files are identified and extracted.
    void DropPaths(const std::vector<std::string>& paths);
    // Command3 "処理(&F)": identify the selected file, then hand it to extraction.
    void ProcessSelectedFile();
    // Double-click in File1 and "ファイルを解凍(&E)": extract the selected file
    // (identified first unless it was the last file identified), then refresh.
    void ExtractSelectedFile();

    // The file list's pop-up menu, opened at `at` (global coordinates). It
    // needs a selected file; when that is not the file identified last, it is
    // identified first, so that the items fit the file they act on.
    void OpenFileMenu(const QPoint& at);
    // List1's double-click on a row: its credits or "not found".
    void ShowDllRowInformation(int row);
    // "クリップボードにコピー": the 13 rows, each followed by CR LF.
    void CopyDllList();
    // "既定の解凍先に指定(&D)": Dir1's folder becomes the manual destination.
    void MakeFolderTheDestination();
    // Command1: the selected module's own settings window.
    void ShowDllSettings();
    // "トピックの検索(&H)" and Command7.
    void ShowHelp();
    // Command5: the settings dialog, then the frames where TurnOver puts them.
    void ShowSettings();
    // Command6 and "ソフトのバージョン情報...(&A)".
    void ShowAbout();

    // Deletes the join script and writes the settings, once; then `quit`.
    void EndProgram();
    // How the program ends; tests replace it.
    std::function<void()> quit;

    // core::Screen
    void SetFileType(const std::string& text) override;
    void SetStatus(const std::string& text) override;
    void SetStatusColour(core::Rgb colour) override;
    void ShowDllList(bool visible) override;
    void SelectDllRow(int row) override;
    void ShowPreview(bool visible, const std::string& text) override;
    void EnableDllSettings(bool enabled) override;
    void EnableBrowser(bool enabled) override;
    void SetBusy(bool busy) override;
    void RefreshFileList() override;
    std::string ManualDestination() override;
    std::string BrowsedFolder() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateControls();
    void CreateMenus();
    void ConnectControls();
    void SetUpShortcuts();
    void FillDllList();
    void AddDllRow(const std::string& text);
    bool HandleCommandLine(const std::string& command_line);
    void OpenAt(const std::string& folder);
    void DestinationSelected();
    // Check1..Check3 with the setting each one stands for.
    std::array<std::pair<QCheckBox*, int16_t*>, 3> CheckSettings();
    void BrowseForFolder();
    void DllRowSelected(int row);
    void FolderChanged();
    void FilterChosen(int filter);
    void IdentifySelectedFile();
    void FileKeyReleased(int key, bool moved);
    std::string ShortcutFolder(int index);
    // The items of the file menu for the file identified last.
    void PrepareFileMenu();

    App& app_;
    EntryCounter counter_;
    core::Context ctx_;
    ArchivePatterns archive_pattern_{};
    std::string identified_path_;
    bool busy_ = false, ended_ = false;
    QWidget* focus_before_busy_ = nullptr;

    QGroupBox *frame1_ = nullptr, *frame2_ = nullptr, *frame3_ = nullptr, *frame4_ = nullptr;
    std::array<QRadioButton*, 4> option1_{};
    QButtonGroup* option_group_ = nullptr;
    QCheckBox *check1_ = nullptr, *check2_ = nullptr, *check3_ = nullptr;
    QLineEdit* text1_ = nullptr;
    QPushButton *command1_ = nullptr, *command2_ = nullptr, *command3_ = nullptr, *command4_ = nullptr,
                *command5_ = nullptr, *command6_ = nullptr, *command7_ = nullptr;
    QListWidget* list1_ = nullptr;
    QPlainTextEdit* text2_ = nullptr;
    QLabel *label3_ = nullptr, *label5_ = nullptr;
    DriveList* drive1_ = nullptr;
    FolderList* dir1_ = nullptr;
    FileList* file1_ = nullptr;
    QComboBox* combo1_ = nullptr;
    std::array<QToolButton*, 5> image2_{};
    QMenu *mnu_file_ = nullptr, *mnu_help_ = nullptr, *mnu_copy_ = nullptr, *mnu_dir_ = nullptr,
          *mnu_file2_ = nullptr, *mnu_text_cnv_ = nullptr, *mnu_crlf_cnv_ = nullptr;
    QAction *mnu_end_ = nullptr, *mnu_melt_ = nullptr, *mnu6_ = nullptr, *mnu_test_ = nullptr, *mnu_exec_ = nullptr,
            *mnu9_ = nullptr, *mnu7_ = nullptr;
};

#endif
