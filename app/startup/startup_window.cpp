#include "startup_window.h"

#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include "library.h"
#include "load_settings.h"

namespace {

// The layout in twips: a picture on the left, four lines of text beside it,
// and the progress track under them.
constexpr int kWidth = 4680, kHeight = 2000;
constexpr int kTextLeft = 1740, kTextWidth = 2820;
constexpr int kLineLeft = 120, kLineRight = 4560, kLineY = 1680, kLineThickness = 30;
constexpr int kOldestCoreVersion = 5;

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// A value x 100 as "0.00": 6 gives "0.06".
std::string Hundredths(int value) {
    const int part = value % 100;
    return std::to_string(value / 100) + (part < 10 ? ".0" : ".") + std::to_string(part);
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int top_twips, int height_twips,
                  int point_size, bool bold, const QColor& colour) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(Px(kTextLeft), Px(top_twips), Px(kTextWidth), Px(height_twips));
    QFont font = label->font();
    font.setPointSize(point_size);
    font.setBold(bold);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

QFrame* MakeLine(QWidget* parent, const char* name, int right_twips, const QColor& colour) {
    auto* line = new QFrame(parent);
    line->setObjectName(QString::fromLatin1(name));
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, colour);
    line->setPalette(palette);
    line->setGeometry(Px(kLineLeft), Px(kLineY), Px(right_twips) - Px(kLineLeft), Px(kLineThickness));
    return line;
}

}  // namespace

frmStartUp::frmStartUp(App& app, std::unique_ptr<StartUpSteps> steps)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint), app_(app), steps_(std::move(steps)) {
    setObjectName(QStringLiteral("frmStartUp"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(Px(kWidth), Px(kHeight));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    setPalette(palette);
    setAutoFillBackground(true);

    image1_ = new QLabel(this);
    image1_->setObjectName(QStringLiteral("Image1"));
    image1_->setGeometry(Px(120), Px(120), Px(1440), Px(1440));
    image1_->setPixmap(QPixmap(QStringLiteral(":/splash.png")));

    label2_ = MakeLabel(this, "Label2", QStringLiteral("Archive Extraction Tool"), 180, 360, 10, true, Qt::white);
    label3_ = MakeLabel(this, "Label3", FromUtf8("Ver " + core::ProgramVersionText()), 540, 300, 9, false,
                        QColor(220, 220, 220));
    label1_ = MakeLabel(this, "Label1", QStringLiteral("Copyright (C) 2026 Kelvora"), 900, 300, 8, false,
                        QColor(160, 160, 160));
    label4_ = MakeLabel(this, "Label4", QStringLiteral("Initalizing..."), 1260, 300, 9, false,
                        QColor(240, 200, 120));
    line1_ = MakeLine(this, "Line1", kLineRight, QColor(70, 70, 70));
    line2_ = MakeLine(this, "Line2", 240, QColor(240, 170, 40));

    if (const QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());

    timer1_ = new QTimer(this);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer1_->setInterval(100);
    connect(timer1_, &QTimer::timeout, this, &frmStartUp::Timer1_Timer);
    timer1_->start();
}

void frmStartUp::MoveProgress(int x_twips) { line2_->resize(Px(x_twips) - Px(kLineLeft), line2_->height()); }

void frmStartUp::ShowStatus(const std::string& text) {
    label4_->setText(FromUtf8(text));
    label4_->repaint();
}

void frmStartUp::Fail(const std::string& first_line) {
    timer1_->stop();
    steps_->Stop(first_line);
    hide();
    deleteLater();
}

void frmStartUp::Timer1_Timer() {
    switch (step_) {
    case 0:
        timer1_->stop();
        core::LoadSettings(*app_.settings_file, app_.session.settings, *app_.prompter,
                           [this](const std::string& text) { ShowStatus(text); });
        timer1_->start();
        MoveProgress(500);
        ShowStatus("Initalizing...");
        break;
    case 1:
        break;
    case 2: {
        if (!steps_->LibraryPresent()) return Fail("DRAVOLIX.DLLが見つかりません。");
        MoveProgress(1500);
        int version = 0;  // a library without the export is too old
        try {
            version = app_.library->GetCoreVersion();
        } catch (const core::LibraryMissing&) {
        }
        if (version < kOldestCoreVersion) return Fail("DRAVOLIX.DLLのバージョンが最新ではありません。");
        ShowStatus("Dravolix.dll Ver." + Hundredths(version) + " OK!");
        break;
    }
    case 3: {
        const int32_t count = steps_->CountArchivers();
        if (count == 0) return Fail("アーカイバDLLが見つかりません。");
        MoveProgress(2500);
        ShowStatus("Support DLL:" + std::to_string(count) + "DLLs");
        break;
    }
    case 4:
        MoveProgress(kLineRight);
        ShowStatus("Running Program...");
        activateWindow();
        setFocus();
        break;
    default:
        timer1_->stop();
        timer1_->setInterval(0);
        steps_->OpenMainWindow();
        step_ = 0;
        close();
        return;
    }
    ++step_;
}
