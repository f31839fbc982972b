// The wait window for the length of one export call.
#ifndef KELVORA_LIBRARY_WAIT_H
#define KELVORA_LIBRARY_WAIT_H

#include "wait_window.h"

namespace dravolix {

class WaitWindowShown {
public:
    WaitWindowShown(HWND owner, bool show) : window_(show ? platform::ShowWaitWindow(owner) : nullptr) {}
    ~WaitWindowShown() { Close(); }
    WaitWindowShown(const WaitWindowShown&) = delete;
    WaitWindowShown& operator=(const WaitWindowShown&) = delete;

    void Close() {
        platform::CloseWaitWindow(window_);
        window_ = nullptr;
    }

private:
    HWND window_;
};

}  // namespace dravolix

#endif
