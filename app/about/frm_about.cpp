#include "frm_about.h"

#include <QEnterEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>

#include <filesystem>
#include <fstream>

#include "folders.h"
#include "process.h"
#include "resources.h"
#include "settings.h"

namespace {

// The layout in twips: the picture on the left, four lines beside it, the
// notice across the box and the two buttons at the bottom right.
constexpr int kWidth = 5400, kHeight = 3180;
constexpr int kTextLeft = 1920, kTextWidth = 3240;

const QColor kBlue(0, 0, 255), kRed(255, 0, 0), kPurple(128, 0, 128);
constexpr const char* kSystemInformationTools[] = {"kinfocenter", "hardinfo", "hardinfo2", "lshw-gtk"};

// 15 twips make one pixel.
int Px(int twips) { return (twips + 7) / 15; }
QRect PxRect(int left, int top, int width, int height) { return {Px(left), Px(top), Px(width), Px(height)}; }

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

QFont GothicFont(int point_size) {
    QFont font;
    font.setFamilies({"ＭＳ Ｐゴシック", "Noto Sans CJK JP"});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(point_size);
    return font;
}

template <class Widget>
Widget* Place(QWidget* parent, const char* name, const QString& text, QRect where) {
    auto* widget = new Widget(text, parent);
    widget->setObjectName(name);
    widget->setGeometry(where);
    return widget;
}

}  // namespace

std::string FindSystemInformationTool() {
    for (const char* name : kSystemInformationTools)
        if (auto path = platform::FindProgram(name)) return *path;
    return {};
}

FrmAbout::FrmAbout(std::string folder, core::Prompter& prompter, core::Shell& shell, QWidget* parent)
    : QDialog(parent), folder_(std::move(folder)), prompter_(prompter), shell_(shell) {
    InitProgramResources();
    setObjectName("frmAbout");
    setWindowTitle("バージョン情報");
    setModal(true);
    setFont(GothicFont(9));
    setFixedSize(Px(kWidth), Px(kHeight));

    image1_ = new QLabel(this);
    image1_->setObjectName("Image1");
    image1_->setGeometry(PxRect(240, 240, 1440, 1440));
    image1_->setAlignment(Qt::AlignCenter);
    image1_->setPixmap(QPixmap(":/splash.png"));  // a null picture shows nothing

    label2_ = Place<QLabel>(this, "Label2", "Archive Extraction Tool", PxRect(kTextLeft, 240, kTextWidth, 330));
    QFont title = GothicFont(11);
    title.setBold(true);
    label2_->setFont(title);
    label1_ = Place<QLabel>(this, "Label1", FromUtf8("Ver " + core::ProgramVersionText()),
                            PxRect(kTextLeft, 660, kTextWidth, 255));
    label3_ = Place<QLabel>(this, "Label3", "Copyright (C) 2026 Kelvora", PxRect(kTextLeft, 1020, kTextWidth, 255));
    label4_ = Place<QLabel>(this, "Label4", kHomePage, PxRect(kTextLeft, 1380, kTextWidth, 255));
    QFont link = GothicFont(9);
    link.setUnderline(true);
    label4_->setTextFormat(Qt::PlainText);
    label4_->setFont(link);
    label4_->setCursor(Qt::PointingHandCursor);
    SetLinkColour(kBlue);
    label5_ = Place<QLabel>(this, "Label5", "各アーカイバDLLは、それぞれの作者による別のプログラムです。",
                            PxRect(240, 1860, kWidth - 480, 480));
    label5_->setWordWrap(true);

    cmd_sys_info_ = Place<QPushButton>(this, "cmdSysInfo", "ｼｽﾃﾑ情報(&S)...", PxRect(2400, 2580, 1335, 375));
    cmd_ok_ = Place<QPushButton>(this, "cmdOK", "OK", PxRect(3945, 2580, 1215, 375));
    cmd_ok_->setDefault(true);
    connect(cmd_ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmd_sys_info_, &QPushButton::clicked, this, &FrmAbout::cmdSysInfo_Click);

    // The link turns back to blue when the mouse is anywhere else on the box.
    setMouseTracking(true);
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) {
        child->setMouseTracking(true);
        child->installEventFilter(this);
    }

    // The home page as an internet shortcut, kept while the box is open.
    std::ofstream shortcut(ShortcutPath(), std::ios::binary | std::ios::trunc);
    shortcut << "[InternetShortcut]\r\nURL=" << kHomePage << "\r\n";
}

FrmAbout::~FrmAbout() {
    std::error_code ignored;
    std::filesystem::remove(ShortcutPath(), ignored);
}

std::string FrmAbout::ShortcutPath() const { return folder_ + "web.url"; }

QColor FrmAbout::LinkColour() const { return label4_->palette().color(QPalette::WindowText); }

void FrmAbout::SetLinkColour(const QColor& colour) {
    QPalette palette = label4_->palette();
    palette.setColor(QPalette::WindowText, colour);
    label4_->setPalette(palette);
}

void FrmAbout::cmdSysInfo_Click() {
    const std::string tool = FindSystemInformationTool();
    if (tool.empty() || !platform::StartDetached({tool}))
        prompter_.Message("現時点ではｼｽﾃﾑ情報を使用できません", "zenkari", core::Icon::Information);
}

bool FrmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == label4_) return Label4_Event(event);
    switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        SetLinkColour(kBlue);
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

bool FrmAbout::Label4_Event(QEvent* event) {
    switch (event->type()) {
    case QEvent::Enter:
        if (LinkColour() == kBlue) SetLinkColour(kRed);
        return false;
    case QEvent::Leave:
        SetLinkColour(kBlue);
        return false;
    case QEvent::MouseMove:
        if (static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton) SetLinkColour(kRed);
        return true;
    case QEvent::MouseButtonPress:
        SetLinkColour(kPurple);
        link_pressed_ = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        return true;
    case QEvent::MouseButtonDblClick:  // the second press of a double click opens nothing more
        SetLinkColour(kPurple);
        link_pressed_ = false;
        return true;
    case QEvent::MouseButtonRelease: {
        SetLinkColour(kBlue);
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const bool click = link_pressed_ && mouse->button() == Qt::LeftButton &&
                           label4_->rect().contains(mouse->position().toPoint());
        link_pressed_ = false;
        if (click) shell_.OpenWebPage(kHomePage);
        return true;
    }
    default:
        return false;
    }
}
