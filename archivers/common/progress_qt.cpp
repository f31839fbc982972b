#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include "progress.h"

namespace archivers {
namespace {

bool OnGuiThread() {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    return app && QThread::currentThread() == app->thread();
}

QWidget* OwnerWidget(HWND owner) { return owner ? QWidget::find(reinterpret_cast<WId>(owner)) : nullptr; }

class ProgressWindow : public Progress {
public:
    ProgressWindow(QWidget* owner, const QString& caption) : dialog_(owner) {
        dialog_.setObjectName(QStringLiteral("ArchiverProgressWindow"));
        dialog_.setWindowTitle(caption);
        dialog_.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        // Events are processed while the module works: only this window takes input meanwhile.
        dialog_.setWindowModality(Qt::ApplicationModal);
        auto* layout = new QVBoxLayout(&dialog_);
        entry_ = new QLabel(&dialog_);
        entry_->setMinimumWidth(360);
        entry_->setTextFormat(Qt::PlainText);
        bar_ = new QProgressBar(&dialog_);
        bar_->setRange(0, 1000);
        auto* cancel = new QPushButton(QStringLiteral("キャンセル"), &dialog_);
        QObject::connect(cancel, &QPushButton::clicked, [this] { cancelled_ = true; });
        layout->addWidget(entry_);
        layout->addWidget(bar_);
        layout->addWidget(cancel, 0, Qt::AlignRight);
        dialog_.show();
        QCoreApplication::processEvents();
        shown_.start();
    }

    bool Step(std::string_view entry, int64_t done, int64_t total) override {
        // Repaint a few times a second, not for every entry.
        if (shown_.elapsed() - last_paint_ >= 50 || cancelled_) {
            last_paint_ = shown_.elapsed();
            entry_->setText(QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size())));
            bar_->setValue(total > 0 ? static_cast<int>(std::min<int64_t>(done, total) * 1000 / total) : 0);
            QCoreApplication::processEvents();
        }
        return !cancelled_;
    }

private:
    QDialog dialog_;
    QLabel* entry_;
    QProgressBar* bar_;
    QElapsedTimer shown_;
    qint64 last_paint_ = -1000;
    bool cancelled_ = false;
};

}  // namespace

std::unique_ptr<Progress> ShowProgressWindow(HWND owner, std::string_view caption) {
    if (!OnGuiThread()) return nullptr;
    return std::make_unique<ProgressWindow>(
        OwnerWidget(owner), QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
}

bool ShowModuleInformation(HWND owner, std::string_view title, std::string_view text) {
    if (!OnGuiThread()) return false;
    QMessageBox box(QMessageBox::Information, QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())),
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), QMessageBox::Ok,
                    OwnerWidget(owner));
    box.setObjectName(QStringLiteral("ArchiverSettingsWindow"));
    box.exec();
    return true;
}

}  // namespace archivers
