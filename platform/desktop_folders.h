// The desktop's own folders, as the user's XDG settings name them.
#ifndef KELVORA_PLATFORM_DESKTOP_FOLDERS_H
#define KELVORA_PLATFORM_DESKTOP_FOLDERS_H

#include <string>

namespace platform {

// The desktop and documents folders, each ending in "/"; empty when the
// desktop names none.
std::string DesktopFolder();
std::string DocumentsFolder();

}  // namespace platform

#endif
