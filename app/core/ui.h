// How the core reaches the screen, the user and the desktop. The main window,
// the console mode and the tests each implement these.
#ifndef KELVORA_CORE_UI_H
#define KELVORA_CORE_UI_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "hwnd.h"

namespace core {

struct Rgb {
    int r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kPurple{128, 0, 128};

// The main window's controls that the core writes.
class Screen {
public:
    virtual ~Screen() = default;
    virtual void SetFileType(const std::string& text) = 0;                 // Label3
    virtual void SetStatus(const std::string& text) = 0;                   // Label5's caption
    virtual void SetStatusColour(Rgb colour) = 0;                          // Label5's text colour
    virtual void ShowDllList(bool visible) = 0;                            // List1
    virtual void SelectDllRow(int row) = 0;                                // List1's selected row
    virtual void ShowPreview(bool visible, const std::string& text) = 0;   // Text2
    virtual void EnableDllSettings(bool enabled) = 0;                      // Command1
    virtual void EnableBrowser(bool enabled) = 0;  // Drive1, Dir1, File1, Combo1, in this order
    virtual void SetBusy(bool busy) = 0;           // the hourglass pointer
    virtual void RefreshFileList() = 0;            // File1 shows new files
    virtual std::string ManualDestination() = 0;   // Text1, ending in "/"
    virtual std::string BrowsedFolder() = 0;       // Dir1's path
};

enum class Icon { Information, Warning, Exclamation, Critical };

// Message boxes and the input box.
class Prompter {
public:
    virtual ~Prompter() = default;
    virtual void Message(const std::string& text, const std::string& title, Icon icon) = 0;
    // The text typed, or nothing when the user cancels.
    virtual std::optional<std::string> Input(const std::string& prompt, const std::string& title,
                                             const std::string& proposal) = 0;
};

// The desktop: opening things and where its folders are.
class Shell {
public:
    virtual ~Shell() = default;
    // Opens a file with the program the desktop associates with it.
    virtual void OpenFile(const std::string& path, const std::string& working_folder) = 0;
    // Shows a folder in the file manager (in console mode: prints it).
    virtual void OpenFolder(const std::string& folder) = 0;
    // After a successful extraction: `output` is what it made (the folder of
    // its entries, the one file of a single-entry archive, a joined file);
    // `folder` is shown in the file manager unless it is empty. In console
    // mode `output` is printed instead, whatever `folder` says.
    virtual void ShowExtracted(const std::string& output, const std::string& folder) = 0;
    // Opens an internet address in the user's web browser.
    virtual void OpenWebPage(const std::string& address) = 0;
    // The file manager's properties window for a file or a folder; nothing
    // at all when the path has gone.
    virtual void ShowProperties(const std::string& path) = 0;
    // The desktop and documents folders, each ending in "/".
    virtual std::string DesktopFolder() = 0;
    virtual std::string DocumentsFolder() = 0;
};

// Counts an archive's entries away from the window, which shows the rest at
// once: a compressed archive can only be counted by reading it whole.
class Counter {
public:
    virtual ~Counter() = default;
    // Counts the entries of `path` with the module of `index`, after
    // cancelling any count still running. `done` gets the count (the module's
    // answer: negative on a failure) on the program's own thread, possibly
    // before Start returns, and never after Cancel.
    virtual void Start(int32_t index, const std::string& path, std::function<void(int32_t)> done) = 0;
    virtual void Cancel() = 0;
};

}  // namespace core

#endif
