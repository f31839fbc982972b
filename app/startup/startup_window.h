// The start-up window: a small splash whose status line and progress line
// advance in six timer steps before it hands over to the main window.
#ifndef KELVORA_APP_STARTUP_WINDOW_H
#define KELVORA_APP_STARTUP_WINDOW_H

#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

#include "app.h"

class QFrame;
class QLabel;
class QTimer;

// What the splash asks of the start-up that shows it; the start-up
// implements it, so the window needs nothing of the start-up's code.
class StartUpSteps {
public:
    virtual ~StartUpSteps() = default;
    virtual bool LibraryPresent() = 0;                     // DLLCheck
    virtual int32_t CountArchivers() = 0;                  // SupportDLL
    virtual void Stop(const std::string& first_line) = 0;  // the fatal message; the program ends
    virtual void OpenMainWindow() = 0;                     // the hand-over, with the command line
};

// Twips as the window lays them out: 15 twips to a pixel, rounded.
constexpr int Px(int twips) { return (twips + 7) / 15; }

class frmStartUp : public QWidget {
    Q_OBJECT
public:
    frmStartUp(App& app, std::unique_ptr<StartUpSteps> steps);

    // Moves the right end of the progress line.
    void MoveProgress(int x_twips);
    // Shows `text` in the status line and paints it at once.
    void ShowStatus(const std::string& text);

public slots:
    // One tick of Timer1: the work of the current step.
    void Timer1_Timer();

private:
    // Stops the timer, shows the fatal message and ends the program.
    void Fail(const std::string& first_line);

    App& app_;
    std::unique_ptr<StartUpSteps> steps_;
    uint8_t step_ = 0;  // StartupStep

    QLabel* image1_;
    QLabel* label1_;
    QLabel* label2_;
    QLabel* label3_;
    QLabel* label4_;
    QFrame* line1_;
    QFrame* line2_;
    QTimer* timer1_;
};

#endif
