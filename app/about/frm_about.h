// frmAbout, the About box: the program's picture and version, a link to the
// home page, and a way to the desktop's system information program.
#ifndef KELVORA_APP_FRM_ABOUT_H
#define KELVORA_APP_FRM_ABOUT_H

#include <QColor>
#include <QDialog>

#include <string>

#include "ui.h"

class QLabel;
class QPushButton;

// The program's home page: Label4's caption, the link's target and web.url's address.
inline constexpr const char* kHomePage = "https://kelvora.example/zenkari/";

// The first system-information program found on PATH ("kinfocenter",
// "hardinfo", "hardinfo2", "lshw-gtk", in this order); empty when none.
std::string FindSystemInformationTool();

class FrmAbout : public QDialog {
    Q_OBJECT
public:
    // `folder` (ending in "/") is where "web.url" is kept while the box is open.
    FrmAbout(std::string folder, core::Prompter& prompter, core::Shell& shell, QWidget* parent = nullptr);
    // Deletes folder + "web.url" when it is there.
    ~FrmAbout() override;

    // Label4's text colour: blue at rest, red under the mouse, purple while pressed.
    QColor LinkColour() const;

public slots:
    // Starts the system information program, or says that there is none.
    void cmdSysInfo_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The link's answer to the mouse; true when the event is used up.
    bool Label4_Event(QEvent* event);
    void SetLinkColour(const QColor& colour);
    std::string ShortcutPath() const;

    std::string folder_;
    bool link_pressed_ = false;  // the left button went down on the link
    core::Prompter& prompter_;
    core::Shell& shell_;

    QLabel* image1_;
    QLabel* label1_;
    QLabel* label2_;
    QLabel* label3_;
    QLabel* label4_;
    QLabel* label5_;
    QPushButton* cmd_ok_;
    QPushButton* cmd_sys_info_;
};

#endif
