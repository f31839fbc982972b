#include "module_settings.h"

#include "module_loader.h"
#include "profile.h"
#include "settings_folder.h"

namespace archivers {
namespace {

constexpr const char* kNameEncodingKey = "NameEncoding";

// As the file keeps them: plain ASCII, whatever the labels become.
const char* StoredName(NameEncoding encoding) {
    switch (encoding) {
        case NameEncoding::Auto: return "Auto";
        case NameEncoding::ShiftJis: return "Shift_JIS";
        case NameEncoding::EucJp: return "EUC-JP";
        case NameEncoding::Utf8: return "UTF-8";
    }
    return "Auto";
}

}  // namespace

const char* NameEncodingLabel(NameEncoding encoding) {
    return encoding == NameEncoding::Auto ? "自動" : StoredName(encoding);
}

std::string ModuleSettingsPath() {
    const std::string folder = platform::FolderOfCode(reinterpret_cast<const void*>(&ModuleSettingsPath));
    return platform::SettingsFolder(folder.empty() ? "." : folder, kModuleSettingsFile) + kModuleSettingsFile;
}

NameEncoding ReadNameEncoding(const std::string& path, const std::string& module) {
    const auto value = platform::ReadProfileString(path, module, kNameEncodingKey);
    for (NameEncoding encoding : kNameEncodings)
        if (value && *value == StoredName(encoding)) return encoding;
    return NameEncoding::Auto;
}

bool WriteNameEncoding(const std::string& path, const std::string& module, NameEncoding encoding) {
    return platform::WriteProfileString(path, module, kNameEncodingKey, StoredName(encoding));
}

}  // namespace archivers
