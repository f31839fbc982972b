// The start-up window: a small splash whose status line and progress line
// advance in six timer steps before it hands over to the main window.
#ifndef KELVORA_APP_STARTUP_WINDOW_H
#define KELVORA_APP_STARTUP_WINDOW_H

#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>

#include "startup.h"

class QFrame;
class QLabel;
class QTimer;

// Whether the library file can be found (DLLCheck).
using LibraryCheckFn = std::function<bool()>;

// RunStartUp with the library check given; the program passes
// core::DravolixLibrary::Present.
void RunStartUp(App& app, const std::string& command_line, const OpenMainWindowFn& open_main,
                const LibraryCheckFn& library_present);

// Shared by the quick start and the splash. StopProgram shows the fatal
// message (first line, then "プログラムを終了します。"), sets the exit code 1
// and ends the event loop; nothing is saved. CountArchivers is SupportDLL:
// the number of archiver modules the library can load.
void StopProgram(App& app, const std::string& first_line);
int32_t CountArchivers(App& app);

// Twips as the window lays them out: 15 twips to a pixel, rounded.
constexpr int Px(int twips) { return (twips + 7) / 15; }

class frmStartUp : public QWidget {
    Q_OBJECT
public:
    frmStartUp(App& app, std::string command_line, OpenMainWindowFn open_main, LibraryCheckFn library_present);

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
    std::string command_line_;
    OpenMainWindowFn open_main_;
    LibraryCheckFn library_present_;
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
