#include "desktop_folders.h"

#include <QStandardPaths>

#include "folders.h"

namespace platform {
namespace {

std::string StandardFolder(QStandardPaths::StandardLocation location) {
    const QString folder = QStandardPaths::writableLocation(location);
    return folder.isEmpty() ? std::string() : WithSlash(folder.toStdString());
}

}  // namespace

std::string DesktopFolder() { return StandardFolder(QStandardPaths::DesktopLocation); }

std::string DocumentsFolder() { return StandardFolder(QStandardPaths::DocumentsLocation); }

}  // namespace platform
