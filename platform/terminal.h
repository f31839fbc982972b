// The controlling terminal, for questions asked when there is no window.
#ifndef KELVORA_PLATFORM_TERMINAL_H
#define KELVORA_PLATFORM_TERMINAL_H

#include <functional>
#include <string_view>

namespace platform {

// Shows `prompt` on the controlling terminal and reads one line from it with
// echo off, handing each character to `take` (which returns false to refuse
// more). False when the process has no controlling terminal, or the input
// ended before a line did. Standard input and output are not used, so this
// works in a pipeline too.
bool ReadHiddenLine(std::string_view prompt, const std::function<bool(char)>& take);

}  // namespace platform

#endif
