#include "settings_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "folders.h"
#include "module_loader.h"

namespace platform {
namespace {

std::string ConfigFolder() { return WithSlash(ConfigHome()) + "zenkari/"; }

// A folder one can write in, and the file there, when it exists, a regular
// file one can write.
bool CanKeepFileIn(const std::string& folder, const std::string& file) {
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || access(folder.c_str(), W_OK | X_OK) != 0)
        return false;
    if (stat(file.c_str(), &st) != 0) return errno == ENOENT;
    return S_ISREG(st.st_mode) && access(file.c_str(), W_OK) == 0;
}

bool IsFolder(const std::filesystem::path& path) {
    std::error_code ignored;
    return std::filesystem::is_directory(path, ignored);
}

}  // namespace

bool InstalledFolder(const std::string& folder) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(folder, error);
    if (error) return false;
    if (real.filename() == "bin") return IsFolder(real / kInstalledModuleFolder);
    // The module folder: "lib/zenkari" at the end.
    const std::filesystem::path modules(kInstalledModuleFolder);
    return real.filename() == modules.filename() && real.parent_path().filename() == modules.parent_path().filename();
}

std::string SettingsFolder(const std::string& preferred, const std::string& file) {
    std::string folder = WithSlash(preferred);
    if (!InstalledFolder(folder) && CanKeepFileIn(folder, folder + file)) return folder;
    folder = ConfigFolder();
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return folder;
}

}  // namespace platform
