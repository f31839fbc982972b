#include "frm_main.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QCursor>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "browser.h"
#include "extract.h"
#include "folders.h"
#include "frm_about.h"
#include "frm_env.h"
#include "identify.h"
#include "properties.h"
#include "test_archive.h"
#include "text_convert.h"

namespace {

// A rectangle in twips, as the window is designed.
struct Twips {
    int left, top, width, height;
    QRect ToPixels() const {
        return {TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height)};
    }
};

constexpr int kClientWidth = 7215, kClientHeight = 4695;
constexpr const char* kCaption = "Kelvora? ";
constexpr core::Rgb kLabelBlue{0, 0, 255};
constexpr int kDllRowHeight = 12;  // pixels

template <class Widget>
Widget* Place(QWidget* parent, const QString& name, Twips where) {
    auto* widget = new Widget(parent);
    widget->setObjectName(name);
    widget->setGeometry(where.ToPixels());
    return widget;
}

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }
QColor ToColor(core::Rgb rgb) { return QColor(rgb.r, rgb.g, rgb.b); }

void SetColour(QWidget* widget, QPalette::ColorRole role, QColor colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

QFont GothicFont(bool fixed_pitch) {
    QFont font;
    if (fixed_pitch)
        font.setFamilies({"ＭＳ ゴシック", "Noto Sans Mono CJK JP", "Noto Sans CJK JP"});
    else
        font.setFamilies({"ＭＳ ゴシック", "Noto Sans CJK JP"});
    font.setStyleHint(fixed_pitch ? QFont::Monospace : QFont::SansSerif);
    font.setPixelSize(12);
    return font;
}

bool IsRegularFile(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::is_regular_file(path, ignored);
}

bool IsFolder(const std::string& path) {
    std::error_code ignored;
    return !path.empty() && std::filesystem::is_directory(path, ignored);
}

std::vector<std::string> LocalPaths(const QMimeData* data) {
    std::vector<std::string> paths;
    if (!data) return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
    return paths;
}

}  // namespace

FrmMain::FrmMain(App& app)
    : app_(app), counter_(app.program_path), ctx_{app.session, *app.library, *this, *app.prompter, *app.shell, nullptr} {
    quit = [] { QMetaObject::invokeMethod(qApp, "quit", Qt::QueuedConnection); };
    setObjectName("frmMain");
    setWindowTitle(kCaption);
    setFont(GothicFont(false));
    setAcceptDrops(true);
    CreateControls();
    CreateMenus();
    ConnectControls();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
    // In console mode nothing is shown: the library and the modules get no owner window.
    ctx_.owner = app_.console ? nullptr : reinterpret_cast<HWND>(winId());
    ctx_.counter = app_.console ? nullptr : &counter_;
}

FrmMain::~FrmMain() {
    if (busy_) QApplication::restoreOverrideCursor();
}

// --- Layout ------------------------------------------------------------------

void FrmMain::CreateControls() {
    auto* client = new QWidget(this);
    client->setObjectName("client");
    client->setFixedSize(TwipsToPixels(kClientWidth), TwipsToPixels(kClientHeight));
    // Frames with their caption set into the top line.
    client->setStyleSheet("QGroupBox { border: 1px solid palette(mid); margin-top: 6px; }"
                          "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }");
    setCentralWidget(client);

    frame1_ = Place<QGroupBox>(client, "Frame1", {0, 0, 4575, 1575});
    frame1_->setTitle("解凍先");
    const char* const options[] = {"デスクトップ", "一時フォルダ", "書庫のあるフォルダ", "手動で指定する"};
    option_group_ = new QButtonGroup(this);
    option_group_->setObjectName("Option1");
    for (int i = 0; i < 4; ++i) {
        option1_[static_cast<size_t>(i)] =
            Place<QRadioButton>(frame1_, QString("Option1_%1").arg(i), {120, 240 + 240 * i, 1920, 255});
        option1_[static_cast<size_t>(i)]->setText(options[i]);
        option_group_->addButton(option1_[static_cast<size_t>(i)], i);
    }
    check1_ = Place<QCheckBox>(frame1_, "Check1", {2040, 240, 2415, 255});
    check1_->setText("二重フォルダ防止");
    check2_ = Place<QCheckBox>(frame1_, "Check2", {2040, 480, 2415, 255});
    check2_->setText("解凍後開く");
    check3_ = Place<QCheckBox>(frame1_, "Check3", {2040, 720, 2415, 255});
    check3_->setText("書庫名でフォルダ作成");
    text1_ = Place<QLineEdit>(frame1_, "Text1", {120, 1200, 4095, 255});
    text1_->setAcceptDrops(false);  // a drop on the box goes to the window
    command4_ = Place<QPushButton>(frame1_, "Command4", {4200, 1200, 255, 255});
    command4_->setText("...");

    frame2_ = Place<QGroupBox>(client, "Frame2", {0, 1560, 3015, 2775});
    list1_ = Place<QListWidget>(frame2_, "List1", {120, 240, 2775, 2415});
    list1_->setFont(GothicFont(true));
    list1_->setUniformItemSizes(true);
    list1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    SetColour(list1_, QPalette::Base, QColor(192, 192, 192));
    text2_ = Place<QPlainTextEdit>(frame2_, "Text2", {120, 240, 2775, 2415});
    text2_->setFont(GothicFont(true));
    text2_->setReadOnly(true);
    text2_->setAcceptDrops(false);
    text2_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text2_->hide();

    frame3_ = Place<QGroupBox>(client, "Frame3", {4680, 0, 2535, 4335});
    frame3_->setTitle("ファイルリスト");
    drive1_ = Place<DriveList>(frame3_, "Drive1", {120, 240, 2295, 300});
    dir1_ = Place<FolderList>(frame3_, "Dir1", {120, 600, 2295, 1455});
    file1_ = Place<FileList>(frame3_, "File1", {120, 2160, 2295, 1695});
    combo1_ = Place<QComboBox>(frame3_, "Combo1", {120, 3960, 2295, 300});
    for (const char* name : kFilterNames) combo1_->addItem(name);

    frame4_ = Place<QGroupBox>(client, "Frame4", {3120, 1560, 1455, 2775});
    for (int i = 0; i < 5; ++i) {
        auto* icon = Place<QToolButton>(frame4_, QString("Image2_%1").arg(i), {120 + 240 * i, 240, 255, 255});
        icon->setAutoRaise(true);
        icon->setIconSize(QSize(16, 16));
        image2_[static_cast<size_t>(i)] = icon;
    }
    auto button = [this](const char* name, const char* caption, int top) {
        auto* command = Place<QPushButton>(frame4_, name, {120, top, 1215, 375});
        command->setText(caption);
        return command;
    };
    command1_ = button("Command1", "DLL設定(&S)", 480);
    command5_ = button("Command5", "環境設定(&E)", 840);
    command7_ = button("Command7", "ヘルプ(&H)", 1200);
    command6_ = button("Command6", "情報(&A)", 1560);
    command3_ = button("Command3", "処理(&F)", 1920);
    command2_ = button("Command2", "終了(&E)", 2280);

    label3_ = Place<QLabel>(client, "Label3", {0, 4440, 2055, 255});
    SetColour(label3_, QPalette::WindowText, ToColor(kLabelBlue));
    label5_ = Place<QLabel>(client, "Label5", {2040, 4440, 5160, 255});
    SetStatusColour(core::kBlack);
}

namespace {

// An item of a menu with its designer name; `handler` runs when it is chosen.
template <class Handler>
QAction* AddItem(QMenu* menu, const char* name, const char* caption, Handler handler) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    QObject::connect(action, &QAction::triggered, menu, handler);
    return action;
}

QMenu* AddMenu(QWidget* parent, const char* name, const char* caption) {
    auto* menu = new QMenu(caption, parent);
    menu->setObjectName(name);
    menu->menuAction()->setObjectName(name);
    return menu;
}

QAction* AddSeparator(QMenu* menu, const char* name = "") {
    QAction* separator = menu->addSeparator();
    separator->setObjectName(name);
    return separator;
}

}  // namespace

void FrmMain::CreateMenus() {
    mnu_file_ = AddMenu(this, "mnuFile", "ファイル(&F)");
    menuBar()->addMenu(mnu_file_);
    AddItem(mnu_file_, "mnuNewInfo", "最新の情報に更新", [this] { RefreshLists(); })->setShortcut(Qt::Key_F5);
    AddSeparator(mnu_file_);
    mnu_end_ = AddItem(mnu_file_, "mnuEnd", "終了(&X)", [this] { close(); });
    mnu_end_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F4));

    mnu_help_ = AddMenu(this, "mnuHelp", "ヘルプ(&H)");
    menuBar()->addMenu(mnu_help_);
    AddItem(mnu_help_, "mnuTopic", "トピックの検索(&H)", [this] { ShowHelp(); })->setShortcut(Qt::Key_F1);
    AddSeparator(mnu_help_);
    AddItem(mnu_help_, "mnuArcInfo", "アーカイバDLLの情報...(&D)", [this] {
        ShowPreview(false, "");
        ShowDllList(true);
    });
    AddItem(mnu_help_, "mnuAbout", "ソフトのバージョン情報...(&A)", [this] { ShowAbout(); });

    // The pop-up menus: never on the menu bar.
    mnu_copy_ = AddMenu(this, "mnuCopy", "Dll");
    mnu_copy_->setDefaultAction(AddItem(mnu_copy_, "mnuDllListCopy", "クリップボードにコピー", [this] { CopyDllList(); }));

    mnu_dir_ = AddMenu(this, "mnuDir", "Dir");
    AddItem(mnu_dir_, "mnuOpenExp", "エクスプローラ(&E)", [this] { app_.shell->OpenFolder(BrowsedFolder()); });
    AddSeparator(mnu_dir_);
    AddItem(mnu_dir_, "mnuSupport", "対応書庫のみ表示(&S)", [this] { SelectFilter(1); });
    mnu_dir_->setDefaultAction(AddItem(mnu_dir_, "mnuAllShow", "すべて表示(&A)", [this] { SelectFilter(0); }));
    AddSeparator(mnu_dir_);
    AddItem(mnu_dir_, "mnuMeltDir", "既定の解凍先に指定(&D)", [this] { MakeFolderTheDestination(); });
    AddSeparator(mnu_dir_);
    AddItem(mnu_dir_, "mnuProperty2", "プロパティ(&P)", [this] { core::ShowProperties(ctx_, BrowsedFolder()); });

    mnu_file2_ = AddMenu(this, "mnuFile2", "File");
    mnu_melt_ = AddItem(mnu_file2_, "mnuMelt", "ファイルを解凍(&E)", [this] { ExtractSelectedFile(); });
    mnu6_ = AddSeparator(mnu_file2_, "mnu6");
    mnu_test_ = AddItem(mnu_file2_, "mnuTest", "ファイルをテスト(&T)",
                        [this] { core::TestArchive(ctx_, SelectedFilePath()); });
    mnu_exec_ = AddItem(mnu_file2_, "mnuExec", "ファイルを開く(&O)",
                        [this] { app_.shell->OpenFile(SelectedFilePath(), BrowsedFolder()); });
    mnu9_ = AddSeparator(mnu_file2_, "mnu9");
    // The two conversion menus: items 1..3 of each run one command on the selected file.
    auto conversions = [this](const char* name, const char* caption, const char* item, std::array<const char*, 3> items,
                              void (*command)(core::Context&, const std::string&, int)) {
        QMenu* menu = AddMenu(mnu_file2_, name, caption);
        mnu_file2_->addMenu(menu);
        for (int i = 1; i <= 3; ++i)
            AddItem(menu, QString("%1_%2").arg(item).arg(i).toUtf8().constData(), items[static_cast<size_t>(i - 1)],
                    [this, command, i] { command(ctx_, SelectedFilePath(), i); });
        return menu;
    };
    mnu_text_cnv_ = conversions("mnuTextCnv", "テキスト変換(&C)", "mnuCodecnv",
                                {"Shift-JISに変換(&S)", "JISに変換(&I)", "EUCに変換(&E)"}, core::KanjiCodeCommand);
    mnu_crlf_cnv_ = conversions("mnuCrLfcnv", "改行コード変換(&R)", "mnuReturn",
                                {"CR+LF(Win)(&W)", "CR(UNIX)(&U)", "LF(Mac)(&M)"}, core::LineEndingCommand);
    mnu7_ = AddSeparator(mnu_file2_, "mnu7");
    AddItem(mnu_file2_, "mnuProperty", "プロパティ(&P)", [this] { core::ShowProperties(ctx_, SelectedFilePath()); });
}

void FrmMain::ConnectControls() {
    connect(option_group_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) DestinationSelected();
    });
    connect(command4_, &QPushButton::clicked, this, &FrmMain::BrowseForFolder);
    // The check boxes write through to the settings record, which extraction reads and the exit saves.
    for (auto [box, value] : CheckSettings())
        connect(box, &QCheckBox::toggled, this, [value](bool checked) { *value = checked ? 1 : 0; });
    connect(list1_, &QListWidget::currentRowChanged, this, &FrmMain::DllRowSelected);
    connect(drive1_, &DriveList::driveChosen, this, [this](const QString& root) { dir1_->SetPath(root); });
    connect(dir1_, &FolderList::pathChanged, this, &FrmMain::FolderChanged);
    connect(combo1_, &QComboBox::currentIndexChanged, this, &FrmMain::FilterChosen);
    connect(file1_, &FileList::mouseReleased, this, [this](Qt::MouseButton button) {
        if (!HasSelectedFile()) return;
        if (button == Qt::LeftButton) IdentifySelectedFile();
        if (button == Qt::RightButton) OpenFileMenu(QCursor::pos());
    });
    connect(file1_, &FileList::keyReleased, this, &FrmMain::FileKeyReleased);
    connect(file1_, &FileList::fileDoubleClicked, this, &FrmMain::ExtractSelectedFile);
    for (int i = 0; i < 5; ++i)
        connect(image2_[static_cast<size_t>(i)], &QToolButton::clicked, this, [this, i] { SetFolder(ShortcutFolder(i)); });
    connect(command3_, &QPushButton::clicked, this, &FrmMain::ProcessSelectedFile);
    connect(command2_, &QPushButton::clicked, this, &FrmMain::close);
    connect(command1_, &QPushButton::clicked, this, &FrmMain::ShowDllSettings);
    connect(command5_, &QPushButton::clicked, this, &FrmMain::ShowSettings);
    connect(command6_, &QPushButton::clicked, this, &FrmMain::ShowAbout);
    connect(command7_, &QPushButton::clicked, this, &FrmMain::ShowHelp);
    connect(list1_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { ShowDllRowInformation(list1_->row(item)); });
    // The right button over the folder list and the DLL list opens their menus.
    dir1_->viewport()->installEventFilter(this);
    list1_->viewport()->installEventFilter(this);
}

std::array<std::pair<QCheckBox*, int16_t*>, 3> FrmMain::CheckSettings() {
    core::Settings& settings = app_.session.settings;
    return {{{check1_, &settings.PreventDoubleFolder},
             {check2_, &settings.OpenAfterExtract},
             {check3_, &settings.MakeArchiveFolder}}};
}

void FrmMain::ArrangeFrames(int16_t turn_over) {
    const FrameLefts lefts = ArrangeFrameLefts(turn_over);
    frame1_->move(TwipsToPixels(lefts.frame1), frame1_->y());
    frame2_->move(TwipsToPixels(lefts.frame2), frame2_->y());
    frame3_->move(TwipsToPixels(lefts.frame3), frame3_->y());
    frame4_->move(TwipsToPixels(lefts.frame4), frame4_->y());
}

// --- Loading -----------------------------------------------------------------

bool FrmMain::Load(const std::string& command_line) {
    core::Settings& settings = app_.session.settings;
    hide();
    SetUpShortcuts();

    text1_->setText(FromUtf8(settings.ExtractDir));
    const int mode = settings.ExtractNumber <= 3 ? settings.ExtractNumber : 0;
    option1_[static_cast<size_t>(mode)]->setChecked(true);
    PathPrint(settings.ExtractNumber);
    for (auto [box, value] : CheckSettings()) box->setChecked(*value != 0);

    OpenAt(IsFolder(settings.FileListDir) ? settings.FileListDir : app_.app_folder);
    FillDllList();
    if (!HandleCommandLine(command_line)) return false;

    SelectFilter(settings.FilePattern);
    if (file1_->count() > 0) {
        file1_->setCurrentRow(0);
        Identify(SelectedFilePath());
    }
    ArrangeFrames(settings.TurnOver);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - frameGeometry().center() + pos());
    show();
    return true;
}

void FrmMain::SetUpShortcuts() {
    const char* const tips[] = {"デスクトップ", "マイ ドキュメント", "アプリケーションのパス", "一時フォルダ", "起動直後のパス"};
    const char* const letters[] = {"D", "M", "A", "T", "S"};
    for (int i = 0; i < 5; ++i) {
        QToolButton* icon = image2_[static_cast<size_t>(i)];
        const QString picture = QString(":/shortcut_%1.png").arg(201 + i);
        if (QFile::exists(picture))
            icon->setIcon(QIcon(picture));
        else
            icon->setText(letters[i]);
        icon->setToolTip(tips[i]);
    }
}

void FrmMain::FillDllList() {
    list1_->clear();
    for (const std::string& row : ReadDllVersions(*app_.library, app_.session.dll_version)) AddDllRow(row);
    SetArchivePatterns();
    list1_->setCurrentRow(0);
}

// Rows as high as the font's characters, so that all 13 show at once.
void FrmMain::AddDllRow(const std::string& text) {
    auto* row = new QListWidgetItem(FromUtf8(text), list1_);
    row->setSizeHint(QSize(0, kDllRowHeight));
}

bool FrmMain::HandleCommandLine(const std::string& command_line) {
    if (command_line.empty()) return true;
    const std::string path = LongPath(command_line);
    if (IsRegularFile(path)) {
        identified_path_ = path;
        app_.exit_code = core::ExtractStartFile(ctx_, path);
        return false;
    }
    if (IsFolder(path)) {
        OpenAt(path);
        app_.session.settings.FileListDir = dir1_->Path().toStdString();
        return true;
    }
    app_.prompter->Message("指定されたパスが見つかりません。\r\n" + command_line, "エラー", core::Icon::Exclamation);
    return true;
}

void FrmMain::OpenAt(const std::string& folder) {
    drive1_->SelectDriveOf(FromUtf8(LongPath(folder)));
    SetFolder(folder);
}

// --- Destination -------------------------------------------------------------

void FrmMain::DestinationSelected() {
    const bool manual = option1_[3]->isChecked();
    const QPalette system = QApplication::palette();
    text1_->setEnabled(manual);
    SetColour(text1_, QPalette::Text, system.color(manual ? QPalette::ButtonText : QPalette::Base));
    SetColour(text1_, QPalette::Base, manual ? QColor(Qt::white) : system.color(QPalette::Mid));
    command4_->setEnabled(manual);

    const int mode = std::max(option_group_->checkedId(), 0);
    app_.session.settings.ExtractNumber = static_cast<uint8_t>(mode);
    PathPrint(mode);
}

void FrmMain::PathPrint(int mode) {
    std::string text;
    switch (mode) {
        case 0: text = core::GetDesktopPath(ctx_); break;
        case 1: text = platform::TemporaryFolder(); break;
        case 2: text = "<書庫のフォルダ>"; break;
        case 3: text = app_.session.settings.ExtractDir; break;
        default: break;
    }
    if (mode != 2 && (text.empty() || text.back() != '/')) text += '/';
    text1_->setText(FromUtf8(text));
}

void FrmMain::BrowseForFolder() {
    const QString folder = QFileDialog::getExistingDirectory(this, "フォルダの参照：");
    if (!folder.isEmpty()) SetManualFolder(folder.toStdString());
}

void FrmMain::SetManualFolder(const std::string& folder) {
    std::string text = folder;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    text1_->setText(FromUtf8(text));
    app_.session.settings.ExtractDir = text;
    PathPrint(3);
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        if (watched == dir1_->viewport() && !dir1_->Path().isEmpty()) mnu_dir_->popup(QCursor::pos());
        if (watched == list1_->viewport()) mnu_copy_->popup(QCursor::pos());
    }
    return QMainWindow::eventFilter(watched, event);
}

void FrmMain::DllRowSelected(int row) {
    if (row < 0) return;
    const int index = DllRowToIndex(row);
    command1_->setEnabled(core::Archiver(index).kind == core::RowKind::kArchiver &&
                          app_.session.dll_version[static_cast<size_t>(index)] != 0);
}

// --- Browser -----------------------------------------------------------------

std::string FrmMain::SelectedFilePath() const {
    return JoinPath(dir1_->Path().toStdString(), file1_->FileName().toStdString());
}

bool FrmMain::HasSelectedFile() const { return !file1_->FileName().isEmpty(); }

void FrmMain::RefreshLists() {
    drive1_->Refresh();
    dir1_->Refresh();
    file1_->Refresh();
}

void FrmMain::SetArchivePatterns() { archive_pattern_ = MakeArchivePatterns(app_.session.dll_version); }

bool FrmMain::ShowTextFileType(const std::string& name) {
    const std::optional<std::string> type = TextFileType(name);
    if (!type) return false;
    label3_->setText(FromUtf8(*type));
    label5_->setText("文字コードを変換できます");
    return true;
}

void FrmMain::SelectFilter(int filter) {
    if (filter < 0 || filter >= kFilterCount) filter = 0;
    {
        const QSignalBlocker quiet(combo1_);
        combo1_->setCurrentIndex(filter);
    }
    FilterChosen(filter);
}

void FrmMain::FilterChosen(int filter) {
    file1_->SetPattern(FromUtf8(FilterPattern(filter, app_.session.dll_version, archive_pattern_)));
}

bool FrmMain::SetFolder(const std::string& folder) { return dir1_->SetPath(FromUtf8(folder)); }

void FrmMain::FolderChanged() {
    file1_->SetFolder(dir1_->Path());
    PathPrint(app_.session.settings.ExtractNumber);
    counter_.Cancel();  // a count of a file of the folder left would fill the emptied status line
    label3_->clear();
    label5_->clear();
    if (file1_->count() > 0) file1_->setCurrentRow(0);
}

int32_t FrmMain::Identify(const std::string& path, bool to_show) {
    identified_path_ = path;
    app_.session.count_entries = to_show && !app_.console;
    return core::IdentifyArchive(ctx_, path);
}

void FrmMain::IdentifySelectedFile() {
    const std::string path = SelectedFilePath();
    Identify(path);
    ShowTextFileType(path);
}

void FrmMain::FileKeyReleased(int key, bool moved) {
    if (!HasSelectedFile()) return;
    const bool arrow = key == Qt::Key_Left || key == Qt::Key_Up || key == Qt::Key_Right || key == Qt::Key_Down;
    // An arrow key that moved nothing (at either end of the list) leaves the
    // shown file as it is; one that reached the first or last file shows it.
    if (arrow && !moved) return;
    IdentifySelectedFile();
}

std::string FrmMain::ShortcutFolder(int index) {
    switch (index) {
        case 0: return core::GetDesktopPath(ctx_);
        case 1: return core::GetMyDocumentsPath(ctx_);
        case 2: return app_.app_folder;
        case 3: return platform::TemporaryFolder();
        default: return app_.session.settings.FileListDir;
    }
}

// --- Drop and process --------------------------------------------------------

void FrmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (LocalPaths(event->mimeData()).empty()) return event->ignore();
    // Copy, never move: the file manager must not delete what was dropped.
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void FrmMain::dragMoveEvent(QDragMoveEvent* event) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void FrmMain::dropEvent(QDropEvent* event) {
    const std::vector<std::string> paths = LocalPaths(event->mimeData());
    if (paths.empty()) return event->ignore();
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // The work runs after the drop has been answered, so that the file
    // manager is not kept waiting while the archives are extracted.
    QMetaObject::invokeMethod(this, [this, paths] { DropPaths(paths); }, Qt::QueuedConnection);
}

void FrmMain::DropPaths(const std::vector<std::string>& paths) {
    try {
        for (const std::string& path : paths) {
            if (IsRegularFile(path)) {
                if (Identify(path, false) != 0) {
                    core::ExtractArchive(ctx_, path);
                } else {
                    app_.prompter->Message(core::kNotArchiveMessage, "エラー", core::Icon::Exclamation);
                    ShowPreview(false, "");
                    ShowDllList(true);
                }
            } else if (!SetFolder(path)) {
                return;  // neither a file nor a folder: the rest of the drop is dropped too
            }
        }
    } catch (const std::exception&) {
        // A failure ends the handling quietly.
    }
}

void FrmMain::ProcessSelectedFile() {
    if (!HasSelectedFile()) return;
    if (Identify(SelectedFilePath(), false) == core::kNotExamined) {
        app_.prompter->Message("このファイルはアクセス中のため開けません。", "エラー", core::Icon::Critical);
        return;
    }
    core::ExtractArchive(ctx_, SelectedFilePath());
}

void FrmMain::ExtractSelectedFile() {
    if (!HasSelectedFile()) return;
    const std::string path = SelectedFilePath();
    if (path != identified_path_) Identify(path, false);
    core::ExtractArchive(ctx_, path);
    RefreshLists();
}

// --- Menus and buttons -------------------------------------------------------

void FrmMain::OpenFileMenu(const QPoint& at) {
    if (!HasSelectedFile()) return;
    // The right button selects the file under the mouse: the menu must fit that file.
    if (SelectedFilePath() != identified_path_) IdentifySelectedFile();
    PrepareFileMenu();
    mnu_file2_->popup(at);
}

void FrmMain::PrepareFileMenu() {
    const core::Session& session = app_.session;
    const std::string path = SelectedFilePath();
    const bool text_file = session.file_kind == core::kNotArchive && ShowTextFileType(path);
    const FileMenuState state = FileMenuFor(session.file_kind, session.file_archiver, path, text_file,
                                            session.dll_version[core::kNkfIndex] > 0);
    mnu_melt_->setVisible(state.melt);
    mnu6_->setVisible(state.melt);
    mnu_test_->setVisible(state.test);
    mnu_test_->setEnabled(state.test_enabled);
    mnu_exec_->setVisible(state.open);
    mnu9_->setVisible(state.text);
    mnu_text_cnv_->menuAction()->setVisible(state.text);
    mnu_text_cnv_->menuAction()->setEnabled(state.kanji_enabled);
    mnu_crlf_cnv_->menuAction()->setVisible(state.text);
    mnu7_->setVisible(state.property_separator);
    mnu_file2_->setDefaultAction(state.default_item == FileMenuState::kMeltDefault   ? mnu_melt_
                                 : state.default_item == FileMenuState::kOpenDefault ? mnu_exec_
                                                                                     : nullptr);
}

void FrmMain::ShowDllRowInformation(int row) {
    const QListWidgetItem* item = list1_->item(row);
    if (!item) return;
    app_.prompter->Message(DllRowInformation(item->text().toStdString(), DllRowToIndex(row)), "アーカイバ情報",
                           core::Icon::Information);
}

void FrmMain::CopyDllList() {
    std::vector<std::string> rows;
    for (int row = 0; row < list1_->count(); ++row) rows.push_back(list1_->item(row)->text().toStdString());
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(FromUtf8(DllListText(rows)));
}

void FrmMain::MakeFolderTheDestination() {
    option1_[3]->setChecked(true);
    const std::string folder = BrowsedFolder();
    text1_->setText(FromUtf8(folder));
    app_.session.settings.ExtractDir = folder;
    PathPrint(3);
}

void FrmMain::ShowDllSettings() {
    const int row = list1_->currentRow();
    if (row < 0) return;
    AskLibrary([&] { return static_cast<int16_t>(app_.library->ConfigDialog(DllRowToIndex(row), ctx_.owner, 1)); });
}

void FrmMain::ShowHelp() {
    if (!app_.help_file.empty()) app_.shell->OpenFile(app_.help_file, app_.app_folder);
}

void FrmMain::ShowSettings() {
    FrmEnv dialog(app_.session, *app_.library, *app_.prompter, app_.program_path, NotifyAssociationsChanged, this);
    dialog.exec();
    ArrangeFrames(app_.session.settings.TurnOver);
}

void FrmMain::ShowAbout() {
    FrmAbout dialog(app_.session.settings_folder, *app_.prompter, *app_.shell, this);
    dialog.exec();
}

// --- Ending ------------------------------------------------------------------

void FrmMain::closeEvent(QCloseEvent* event) {
    EndProgram();
    event->accept();
}

void FrmMain::EndProgram() {
    if (ended_) return;
    ended_ = true;
    const std::string& join_script = app_.session.join_batch_file;
    if (!join_script.empty()) std::remove(join_script.c_str());  // already gone: nothing to do
    core::WindowState state;
    state.left_twip = frameGeometry().x() * 15;
    state.top_twip = frameGeometry().y() * 15;
    state.file_list_dir = dir1_->Path().toStdString();
    state.file_pattern = combo1_->currentIndex();
    core::SaveSettings(*app_.settings_file, app_.session.settings, state);
    if (quit) quit();
}

// --- The core's screen -------------------------------------------------------

void FrmMain::SetFileType(const std::string& text) { label3_->setText(FromUtf8(text)); }
void FrmMain::SetStatus(const std::string& text) { label5_->setText(FromUtf8(text)); }

void FrmMain::SetStatusColour(core::Rgb colour) {
    SetColour(label5_, QPalette::WindowText, ToColor(colour));
}

void FrmMain::ShowDllList(bool visible) { list1_->setVisible(visible); }
void FrmMain::SelectDllRow(int row) { list1_->setCurrentRow(row); }

void FrmMain::ShowPreview(bool visible, const std::string& text) {
    if (visible) text2_->setPlainText(FromUtf8(text));
    text2_->setVisible(visible);
}

void FrmMain::EnableDllSettings(bool enabled) { command1_->setEnabled(enabled); }

void FrmMain::EnableBrowser(bool enabled) {
    QWidget* const controls[] = {drive1_, dir1_, file1_, combo1_};
    // Disabling the control that has the focus moves the focus away: bring it back afterwards.
    if (!enabled) {
        QWidget* focus = QApplication::focusWidget();
        focus_before_busy_ = std::find(std::begin(controls), std::end(controls), focus) != std::end(controls) ? focus
                                                                                                               : nullptr;
    }
    for (QWidget* control : controls) control->setEnabled(enabled);
    if (enabled && focus_before_busy_) {
        focus_before_busy_->setFocus();
        focus_before_busy_ = nullptr;
    }
}

void FrmMain::SetBusy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void FrmMain::RefreshFileList() { file1_->Refresh(); }

std::string FrmMain::ManualDestination() {
    std::string text = text1_->text().toStdString();
    if (!text.empty() && text.back() != '/') text += '/';
    return text;
}

std::string FrmMain::BrowsedFolder() { return dir1_->Path().toStdString(); }
