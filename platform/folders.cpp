#include "folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace platform {
namespace {

std::optional<std::string> AbsoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    if (!value || value[0] != '/') return std::nullopt;
    return std::string(value);
}

std::string BaseFolder(const char* variable, const char* under_home) {
    if (auto value = AbsoluteVariable(variable)) return *value;
    return WithSlash(HomeFolder()) + under_home;
}

std::vector<std::string> AbsoluteEntries(const char* list) {
    std::vector<std::string> entries;
    std::string text = list ? list : "";
    for (size_t begin = 0; begin <= text.size();) {
        size_t end = text.find(':', begin);
        if (end == std::string::npos) end = text.size();
        if (end > begin && text[begin] == '/') entries.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return entries;
}

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string HomeFolder() {
    if (auto home = AbsoluteVariable("HOME")) return *home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return found->pw_dir;
    return "/";
}

std::string DataHome() { return BaseFolder("XDG_DATA_HOME", ".local/share"); }

std::string ConfigHome() { return BaseFolder("XDG_CONFIG_HOME", ".config"); }

std::vector<std::string> DataDirs() {
    std::vector<std::string> dirs = AbsoluteEntries(std::getenv("XDG_DATA_DIRS"));
    if (dirs.empty()) dirs = {"/usr/local/share", "/usr/share"};
    return dirs;
}

std::string TemporaryFolder() {
    const char* tmp = std::getenv("TMPDIR");
    return WithSlash(tmp && *tmp ? tmp : "/tmp");
}

std::optional<std::string> FindProgram(const std::string& name) {
    for (const std::string& folder : AbsoluteEntries(std::getenv("PATH"))) {
        const std::string candidate = WithSlash(folder) + name;
        if (IsExecutableFile(candidate)) return candidate;
    }
    return std::nullopt;
}

}  // namespace platform
