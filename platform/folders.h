// The user's folders: home, the XDG base folders, the temporary folder, and
// the programs on PATH. Each is read from the environment when it is asked
// for, so a test that points a variable elsewhere sees the change at once.
#ifndef KELVORA_PLATFORM_FOLDERS_H
#define KELVORA_PLATFORM_FOLDERS_H

#include <optional>
#include <string>
#include <vector>

namespace platform {

// `folder` ending in "/".
std::string WithSlash(std::string folder);

// $HOME when it is an absolute path; otherwise the home folder in the user
// database; "/" when neither tells. As $HOME gives it (no "/" is added).
std::string HomeFolder();

// $XDG_DATA_HOME, default ~/.local/share, and $XDG_CONFIG_HOME, default
// ~/.config. A value that is not an absolute path counts as unset, as the
// XDG rules ask. No trailing "/".
std::string DataHome();
std::string ConfigHome();

// $XDG_DATA_DIRS, absolute entries only, in order; /usr/local/share and
// /usr/share when none is left.
std::vector<std::string> DataDirs();

// $TMPDIR, or /tmp when it is unset or empty, ending in "/".
std::string TemporaryFolder();

// The full path of the executable `name` in one of $PATH's absolute folders,
// the first one that has it.
std::optional<std::string> FindProgram(const std::string& name);

}  // namespace platform

#endif
