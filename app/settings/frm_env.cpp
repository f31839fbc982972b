#include "frm_env.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <filesystem>

#include "catalogue.h"
#include "folders.h"
#include "process.h"

namespace {

constexpr int kVisibleRows = 11;

// 15 twips make one pixel.
int Px(int twips) { return (twips + 7) / 15; }

constexpr int kListWidth = 1800, kButtonWidth = 1215, kButtonHeight = 375, kSpacing = 120;

QFont GothicFont() {
    QFont font;
    font.setFamilies({"ＭＳ ゴシック", "Noto Sans CJK JP"});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(12);
    return font;
}

std::string WithoutTrailingBlanks(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

int RowIndex(const QListWidgetItem* item) { return item->data(Qt::UserRole).toInt(); }
bool IsChecked(const QListWidgetItem* item) { return item->checkState() == Qt::Checked; }

// Runs `program` on `folder` when both are there.
void RunOnFolder(const char* program, const std::string& folder) {
    std::error_code ignored;
    if (!std::filesystem::is_directory(folder, ignored)) return;
    if (const auto path = platform::FindProgram(program)) platform::RunHidden({*path, folder}, "");
}

}  // namespace

void NotifyAssociationsChanged() {
    const std::string data_home = platform::DataHome();
    RunOnFolder("update-desktop-database", data_home + "/applications");
    RunOnFolder("update-mime-database", data_home + "/mime");
}

FrmEnv::FrmEnv(core::Session& session, core::Library& library, core::Prompter& prompter, std::string program_path,
               std::function<void()> notify_desktop, QWidget* parent)
    : QDialog(parent),
      session_(session),
      library_(library),
      prompter_(prompter),
      program_path_(std::move(program_path)),
      notify_desktop_(std::move(notify_desktop)) {
    setObjectName("frmEnv");
    setWindowTitle("環境設定");
    setModal(true);
    setFont(GothicFont());

    label1_ = new QLabel("関連付け(&A)：", this);
    label1_->setObjectName("Label1");
    list1_ = new QListWidget(this);
    list1_->setObjectName("List1");
    list1_->setToolTip("書庫の関連付けを行います。アーカイバDLLが見つからない場合は設定できません。");
    list1_->setUniformItemSizes(true);
    list1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    label1_->setBuddy(list1_);

    const core::Settings& settings = session_.settings;
    // One row of List1 for each archiver whose association is kept.
    for (const core::ArchiverRow& row : core::Catalogue()) {
        if (row.assoc_key.empty()) continue;
        auto* item = new QListWidgetItem(QString::fromStdString(row.assoc_caption), list1_);
        item->setData(Qt::UserRole, row.index);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        const auto k = static_cast<size_t>(row.index);
        const bool on = settings.Assoc[k] == 1 && session_.dll_version[k] != 0;
        item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    list1_->setFixedSize(Px(kListWidth),
                         list1_->sizeHintForRow(0) * kVisibleRows + 2 * list1_->frameWidth());

    check1_ = new QCheckBox("ファイルリストを左端に変更", this);
    check1_->setObjectName("Check1");
    check1_->setToolTip("通常右端にあるリスト表示を左端に変更します。使いやすいほうを選んでください。");
    check1_->setChecked(settings.TurnOver == 1);
    check2_ = new QCheckBox("DLLの状況表示を非表示", this);
    check2_->setObjectName("Check2");
    check2_->setToolTip("アーカイバDLLが利用する状況表示をOFFにします。(一部のDLLを除く)　"
                        "変わりに自前のダイアログが表示されます。");
    check2_->setChecked(settings.NoWindow == 1);

    command1_ = new QPushButton("OK", this);
    command1_->setObjectName("Command1");
    command1_->setDefault(true);
    command2_ = new QPushButton("キャンセル", this);
    command2_->setObjectName("Command2");
    for (QPushButton* button : {command1_, command2_}) button->setFixedSize(Px(kButtonWidth), Px(kButtonHeight));

    // The list on the left; the check boxes beside it, the buttons at the bottom right.
    auto* left = new QVBoxLayout;
    left->setSpacing(Px(60));
    left->addWidget(label1_);
    left->addWidget(list1_);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(Px(kSpacing));
    buttons->addStretch();
    buttons->addWidget(command1_);
    buttons->addWidget(command2_);
    auto* right = new QVBoxLayout;
    right->setSpacing(Px(kSpacing));
    right->addSpacing(label1_->sizeHint().height() + Px(60) - Px(kSpacing));
    right->addWidget(check1_);
    right->addWidget(check2_);
    right->addStretch();
    right->addLayout(buttons);
    auto* whole = new QHBoxLayout(this);
    whole->setContentsMargins(Px(kSpacing), Px(kSpacing), Px(kSpacing), Px(kSpacing));
    whole->setSpacing(Px(kSpacing * 2));
    whole->addLayout(left);
    whole->addLayout(right);
    whole->setSizeConstraint(QLayout::SetFixedSize);

    connect(list1_, &QListWidget::itemChanged, this, &FrmEnv::List1_ItemChanged);
    connect(command1_, &QPushButton::clicked, this, &FrmEnv::Command1_Click);
    connect(command2_, &QPushButton::clicked, this, &QDialog::reject);
}

void FrmEnv::List1_ItemChanged(QListWidgetItem* item) {
    const int k = RowIndex(item);
    if (!IsChecked(item) || session_.dll_version[static_cast<size_t>(k)] != 0) return;
    prompter_.Message(WithoutTrailingBlanks(core::DllName(k)) + "が導入されていないため、関連付けができません。",
                      "エラー", core::Icon::Exclamation);
    const QSignalBlocker quiet(list1_);
    item->setCheckState(Qt::Unchecked);
}

void FrmEnv::Command1_Click() {
    core::Settings& settings = session_.settings;
    bool changed = false;
    try {
        for (int row = 0; row < list1_->count(); ++row) {
            const QListWidgetItem* item = list1_->item(row);
            const int k = RowIndex(item);
            uint8_t& flag = settings.Assoc[static_cast<size_t>(k)];
            if (flag == 0 && IsChecked(item)) {
                library_.SetAssoc(k, program_path_, "%1");
                flag = 1;
                changed = true;
            } else if (flag == 1 && !IsChecked(item)) {
                library_.KillAssoc(k);
                flag = 0;
                changed = true;
            }
        }
    } catch (const core::LibraryMissing& missing) {
        prompter_.Message(missing.what(), "エラー", core::Icon::Exclamation);
    }
    settings.TurnOver = check1_->isChecked() ? 1 : 0;
    settings.NoWindow = check2_->isChecked() ? 1 : 0;
    if (changed && notify_desktop_) notify_desktop_();
    accept();
}
