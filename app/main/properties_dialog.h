// The properties window of a file or a folder: the file manager's own,
// asked for over D-Bus, or a small window of ours when no file manager
// answers. Neither is waited for: the call returns at once.
#ifndef KELVORA_APP_PROPERTIES_DIALOG_H
#define KELVORA_APP_PROPERTIES_DIALOG_H

#include <QDialog>
#include <QString>

#include "properties.h"

// Our own window: name, type, size, location, modified time, permissions
// and owner. Not modal; it deletes itself when closed.
class FrmProperty : public QDialog {
    Q_OBJECT
public:
    FrmProperty(const QString& path, const core::FileProperties& properties, QWidget* parent = nullptr);
};

// Asks the file manager (org.freedesktop.FileManager1.ShowItemProperties on
// the session bus) and falls back to FrmProperty when no file manager is
// there or the call fails. A path that has gone shows nothing.
void ShowPropertiesWindow(const QString& path, QWidget* owner);

// FrmProperty straight away; nullptr when the path has gone.
FrmProperty* ShowOwnPropertiesWindow(const QString& path, QWidget* owner);

#endif
