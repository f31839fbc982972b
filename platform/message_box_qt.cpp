#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include <cstdio>

#include "message_box.h"

namespace platform {

void ShowExclamation(HWND owner, const std::string& text, const std::string& title) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app || QThread::currentThread() != app->thread()) {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
        return;
    }
    QWidget* parent = owner ? QWidget::find(reinterpret_cast<WId>(owner)) : nullptr;
    QMessageBox::warning(parent, QString::fromStdString(title), QString::fromStdString(text));
}

}  // namespace platform
