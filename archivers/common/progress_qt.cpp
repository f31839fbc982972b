#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QDialog>
#include <QElapsedTimer>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>

#include "module_settings.h"
#include "progress.h"

namespace archivers {
namespace {

bool OnGuiThread() {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    return app && QThread::currentThread() == app->thread();
}

QWidget* OwnerWidget(HWND owner) { return owner ? QWidget::find(reinterpret_cast<WId>(owner)) : nullptr; }

// Esc, the window's close button and キャンセル all cancel the work; the
// window stays up until the module has stopped it.
class CancellableDialog : public QDialog {
public:
    explicit CancellableDialog(QWidget* owner) : QDialog(owner) {}
    bool Cancelled() const { return cancelled_; }
    void reject() override { cancelled_ = true; }

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        reject();
    }

private:
    bool cancelled_ = false;
};

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
        bar_->setRange(0, kBarEnd);
        auto* cancel = new QPushButton(QStringLiteral("キャンセル"), &dialog_);
        QObject::connect(cancel, &QPushButton::clicked, &dialog_, &QDialog::reject);
        layout->addWidget(entry_);
        layout->addWidget(bar_);
        layout->addWidget(cancel, 0, Qt::AlignRight);
        dialog_.show();
        QCoreApplication::processEvents();
        shown_.start();
    }

    bool Step(std::string_view entry, int64_t done, int64_t total) override {
        entry_->setText(QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size())));
        bar_->setValue(BarValue(done, total));
        // The user is heard a few times a second, not at every step.
        if (shown_.elapsed() - last_events_ >= 50) {
            last_events_ = shown_.elapsed();
            QCoreApplication::processEvents();
        }
        return !dialog_.Cancelled();
    }

private:
    // The bar counts in thousandths of the archive, whatever its size.
    static constexpr int kBarEnd = 1000;
    static int BarValue(int64_t done, int64_t total) {
        if (total <= 0) return 0;
        return static_cast<int>(std::clamp<int64_t>(done, 0, total) * kBarEnd / total);
    }

    CancellableDialog dialog_;
    QLabel* entry_;
    QProgressBar* bar_;
    QElapsedTimer shown_;
    qint64 last_events_ = -1000;
};

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// "OK" and "キャンセル" that accept and reject `dialog`.
QDialogButtonBox* OkCancelButtons(QDialog& dialog) {
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return buttons;
}

// Overwrites a text that held a password.
void Wipe(QString& text) {
    text.fill(QChar(u'\0'));
    text.clear();
}

class PasswordDialog : public PasswordSource {
public:
    PasswordDialog(QWidget* owner, const QString& module, const QString& archive)
        : owner_(owner), module_(module), archive_(archive) {}

    PasswordAnswer Ask(bool retry, Secret& password) override {
        QDialog dialog(owner_);
        dialog.setObjectName(QStringLiteral("ArchiverPasswordWindow"));
        dialog.setWindowTitle(QStringLiteral("パスワードの入力 - ") + module_);
        dialog.setWindowModality(Qt::ApplicationModal);
        auto* layout = new QVBoxLayout(&dialog);
        auto* wrong = new QLabel(QStringLiteral("パスワードが違います。"), &dialog);
        wrong->setObjectName(QStringLiteral("WrongPassword"));
        wrong->setStyleSheet(QStringLiteral("color: #c00000"));
        wrong->setVisible(retry);
        auto* prompt = new QLabel(QStringLiteral("書庫「%1」はパスワードで保護されています。\nパスワードを入力してください。").arg(archive_),
                                  &dialog);
        prompt->setTextFormat(Qt::PlainText);
        auto* edit = new QLineEdit(&dialog);
        edit->setObjectName(QStringLiteral("PasswordEdit"));
        edit->setEchoMode(QLineEdit::Password);
        edit->setMaxLength(static_cast<int>(kMaxPasswordLength / 4));
        edit->setMinimumWidth(320);
        auto* buttons = OkCancelButtons(dialog);
        layout->addWidget(wrong);
        layout->addWidget(prompt);
        layout->addWidget(edit);
        layout->addWidget(buttons);
        edit->setFocus();
        const bool accepted = dialog.exec() == QDialog::Accepted;
        QString text = edit->text();
        edit->clear();
        password.Clear();
        if (accepted) {
            QByteArray utf8 = text.toUtf8();
            password.Assign(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
            utf8.fill('\0');
        }
        Wipe(text);
        return accepted ? PasswordAnswer::Given : PasswordAnswer::Cancelled;
    }

private:
    QWidget* owner_;
    QString module_, archive_;
};

}  // namespace

std::unique_ptr<PasswordSource> PasswordWindow(HWND owner, std::string_view module, std::string_view archive) {
    if (!OnGuiThread()) return nullptr;
    return std::make_unique<PasswordDialog>(OwnerWidget(owner), FromUtf8(module), FromUtf8(archive));
}

std::unique_ptr<Progress> ShowProgressWindow(HWND owner, std::string_view caption) {
    if (!OnGuiThread()) return nullptr;
    return std::make_unique<ProgressWindow>(
        OwnerWidget(owner), QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
}

bool ShowModuleSettings(HWND owner, std::string_view title, std::string_view text, NameEncoding& names) {
    if (!OnGuiThread()) return false;
    QDialog dialog(OwnerWidget(owner));
    dialog.setObjectName(QStringLiteral("ArchiverSettingsWindow"));
    dialog.setWindowTitle(FromUtf8(title));
    auto* layout = new QVBoxLayout(&dialog);
    auto* description = new QLabel(FromUtf8(text), &dialog);
    description->setObjectName(QStringLiteral("ModuleDescription"));
    description->setTextFormat(Qt::PlainText);
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("ファイル名の文字コード(&N)："), &dialog);
    auto* box = new QComboBox(&dialog);
    box->setObjectName(QStringLiteral("NameEncodingBox"));
    label->setBuddy(box);
    for (NameEncoding encoding : kNameEncodings) {
        box->addItem(QString::fromUtf8(NameEncodingLabel(encoding)), static_cast<int>(encoding));
        if (encoding == names) box->setCurrentIndex(box->count() - 1);
    }
    row->addWidget(label);
    row->addWidget(box, 1);
    auto* buttons = OkCancelButtons(dialog);
    layout->addWidget(description);
    layout->addLayout(row);
    layout->addWidget(buttons);
    if (dialog.exec() == QDialog::Accepted) names = static_cast<NameEncoding>(box->currentData().toInt());
    return true;
}

void ShowModuleMessage(HWND owner, std::string_view title, std::string_view text) {
    if (!OnGuiThread()) return;
    QMessageBox::warning(OwnerWidget(owner), FromUtf8(title), FromUtf8(text));
}

}  // namespace archivers
