#include "main_window.h"

#include <QApplication>

#include "frm_main.h"

void OpenMainWindow(App& app, const std::string& command_line) {
    auto* window = new FrmMain(app);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (!window->Load(command_line)) {
        // The command line named a file: it has been handled, and that is all.
        delete window;
        QMetaObject::invokeMethod(qApp, "quit", Qt::QueuedConnection);
    }
}
