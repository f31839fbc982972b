#include "properties_dialog.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QMimeDatabase>
#include <QPointer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr const char* kFileManager = "org.freedesktop.FileManager1";
constexpr const char* kFileManagerPath = "/org/freedesktop/FileManager1";
// Starting a file manager that is not running yet can take a while.
constexpr int kFileManagerTimeout = 10000;  // ms

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

bool FileManagerAvailable(const QDBusConnection& bus) {
    if (!bus.isConnected()) return false;
    QDBusConnectionInterface* names = bus.interface();
    if (!names) return false;
    if (names->isServiceRegistered(kFileManager).value()) return true;
    return names->activatableServiceNames().value().contains(kFileManager);
}

QLabel* Value(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

FrmProperty::FrmProperty(const QString& path, const core::FileProperties& properties, QWidget* parent)
    : QDialog(parent) {
    setObjectName("frmProperty");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(FromUtf8(properties.name) + " のプロパティ");

    QString type = FromUtf8(properties.kind);
    const QString comment = QMimeDatabase().mimeTypeForFile(path).comment();
    if (!comment.isEmpty()) type += " (" + comment + ")";

    auto* form = new QFormLayout;
    form->addRow("名前：", Value(FromUtf8(properties.name), this));
    form->addRow("種類：", Value(type, this));
    if (!properties.link_target.empty()) form->addRow("リンク先：", Value(FromUtf8(properties.link_target), this));
    form->addRow("サイズ：", Value(FromUtf8(properties.size_text), this));
    form->addRow("場所：", Value(FromUtf8(properties.location), this));
    form->addRow("更新日時：", Value(FromUtf8(properties.modified), this));
    form->addRow("アクセス権：", Value(FromUtf8(properties.permissions), this));
    form->addRow("所有者：", Value(FromUtf8(properties.owner), this));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

FrmProperty* ShowOwnPropertiesWindow(const QString& path, QWidget* owner) {
    const std::optional<core::FileProperties> properties = core::ReadProperties(path.toStdString());
    if (!properties) return nullptr;
    auto* window = new FrmProperty(path, *properties, owner);
    window->show();
    return window;
}

void ShowPropertiesWindow(const QString& path, QWidget* owner) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!FileManagerAvailable(bus)) {
        ShowOwnPropertiesWindow(path, owner);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kFileManager, kFileManagerPath, kFileManager, "ShowItemProperties");
    call << QStringList(QUrl::fromLocalFile(path).toString()) << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kFileManagerTimeout), owner);
    QPointer<QWidget> still_there(owner);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [path, still_there](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        // The file manager could not show it: show ours instead.
        if (done->isError()) ShowOwnPropertiesWindow(path, still_there);
    });
}
