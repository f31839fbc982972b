// Where the program and its modules keep their settings files.
#ifndef KELVORA_PLATFORM_SETTINGS_FOLDER_H
#define KELVORA_PLATFORM_SETTINGS_FOLDER_H

#include <string>

namespace platform {

// True for the folders of an installed copy: PREFIX/bin when
// PREFIX/lib/zenkari is beside it, and PREFIX/lib/zenkari itself (links
// followed). Such folders belong to the whole machine, and bin/ to every
// program in it, so no user's settings go there, whoever can write them.
bool InstalledFolder(const std::string& folder);

// The folder for the settings file `file`, with a trailing "/": `preferred`
// (the folder the program or module sits in) when the file can be kept there
// and the folder is not an installed copy's, a portable copy; otherwise
// $XDG_CONFIG_HOME/zenkari/ (default ~/.config/zenkari/; a relative
// $XDG_CONFIG_HOME is ignored, as the XDG rules ask), made when missing. A
// folder that cannot be made shows up as a failed write.
std::string SettingsFolder(const std::string& preferred, const std::string& file);

}  // namespace platform

#endif
