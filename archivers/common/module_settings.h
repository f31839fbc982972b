// The settings our modules keep: one small file for all of them, a section
// per module, in the modules' folder when it can be written (a portable
// copy), otherwise in the user's configuration folder.
#ifndef KELVORA_ARCHIVERS_MODULE_SETTINGS_H
#define KELVORA_ARCHIVERS_MODULE_SETTINGS_H

#include <array>
#include <string>

#include "name_encoding.h"

namespace archivers {

inline constexpr const char* kModuleSettingsFile = "zenkari-archivers.ini";

// The choices for entry names, in the order the settings window lists them.
inline constexpr std::array<NameEncoding, 4> kNameEncodings = {NameEncoding::Auto, NameEncoding::ShiftJis,
                                                               NameEncoding::EucJp, NameEncoding::Utf8};
// "自動", "Shift_JIS", "EUC-JP", "UTF-8".
const char* NameEncodingLabel(NameEncoding encoding);

// The file that holds the settings of the modules beside this code.
std::string ModuleSettingsPath();

// How `module` ("UnZip32") reads entry names: Auto when nothing (or nothing
// known) is set.
NameEncoding ReadNameEncoding(const std::string& path, const std::string& module);
// Keeps the choice, replacing the file at once; false when it cannot be written.
bool WriteNameEncoding(const std::string& path, const std::string& module, NameEncoding encoding);

}  // namespace archivers

#endif
