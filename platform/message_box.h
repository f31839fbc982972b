// Message boxes shown by the library itself.
#ifndef KELVORA_PLATFORM_MESSAGE_BOX_H
#define KELVORA_PLATFORM_MESSAGE_BOX_H

#include <string>

#include "hwnd.h"

namespace platform {

// A message box with the exclamation icon and an OK button, owned by `owner`
// when that names one of the process's widgets. Without a QApplication (or
// off its thread) the title and text go to standard error instead.
void ShowExclamation(HWND owner, const std::string& text, const std::string& title);

}  // namespace platform

#endif
