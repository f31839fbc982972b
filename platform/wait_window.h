// The library's "please wait" window, shown while an archiver command runs.
#ifndef KELVORA_PLATFORM_WAIT_WINDOW_H
#define KELVORA_PLATFORM_WAIT_WINDOW_H

#include "hwnd.h"

namespace platform {

// Object name of the window, so that tests and screenshots can find it.
inline constexpr const char* kWaitWindowName = "DravolixWaitWindow";

// Shows the window, owned by `owner` when that names one of the process's
// widgets, centred on the screen and raised. Returns its handle, or null when
// no window can be shown: no QApplication, or not on its thread.
HWND ShowWaitWindow(HWND owner);

// Destroys a window returned by ShowWaitWindow; null is ignored.
void CloseWaitWindow(HWND window);

}  // namespace platform

#endif
