// frmEnv, the settings dialog: which archive types open with the program,
// where the file list sits, and whether the modules show their own progress.
#ifndef KELVORA_APP_FRM_ENV_H
#define KELVORA_APP_FRM_ENV_H

#include <QDialog>

#include <functional>
#include <string>

#include "library.h"
#include "session.h"
#include "ui.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// Runs update-desktop-database on $XDG_DATA_HOME/applications and
// update-mime-database on $XDG_DATA_HOME/mime (default ~/.local/share), each
// only when the program is on PATH and the folder exists; waits for them.
void NotifyAssociationsChanged();

class FrmEnv : public QDialog {
    Q_OBJECT
public:
    FrmEnv(core::Session& session, core::Library& library, core::Prompter& prompter, std::string program_path,
           std::function<void()> notify_desktop = NotifyAssociationsChanged, QWidget* parent = nullptr);

public slots:
    // OK: associations made or removed as the rows say, the check boxes taken.
    void Command1_Click();

private:
    // A row whose check mark the user changed: a module that is not
    // installed cannot take an association.
    void List1_ItemChanged(QListWidgetItem* item);

    core::Session& session_;
    core::Library& library_;
    core::Prompter& prompter_;
    std::string program_path_;
    std::function<void()> notify_desktop_;

    QLabel* label1_;
    QListWidget* list1_;
    QCheckBox* check1_;
    QCheckBox* check2_;
    QPushButton* command1_;
    QPushButton* command2_;
};

#endif
