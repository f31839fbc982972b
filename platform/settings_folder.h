// Where the program and its modules keep their settings files.
#ifndef KELVORA_PLATFORM_SETTINGS_FOLDER_H
#define KELVORA_PLATFORM_SETTINGS_FOLDER_H

#include <string>

namespace platform {

// The folder for the settings file `file`, with a trailing "/": `preferred`
// (the folder the program or module sits in) when the file can be kept there,
// a portable copy; otherwise $XDG_CONFIG_HOME/zenkari/ (default
// ~/.config/zenkari/; a relative $XDG_CONFIG_HOME is ignored, as the XDG
// rules ask), made when missing. A folder that cannot be made shows up as a
// failed write.
std::string SettingsFolder(const std::string& preferred, const std::string& file);

}  // namespace platform

#endif
