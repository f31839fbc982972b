#include "module_loader.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <utility>

#include "process.h"

namespace platform {
namespace {

// The process-wide first search folder. Kept in the environment because the
// program and the library each carry their own copy of this code.
constexpr const char* kDirectoryVariable = "ZENKARI_DLL_DIRECTORY";

std::string ExecutableFolder() {
    const std::string path = ProgramPath();
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

}  // namespace

std::string ModuleFileName(std::string_view dllName) {
    constexpr std::string_view dll = ".dll";
    if (dllName.size() >= dll.size() && dllName.substr(dllName.size() - dll.size()) == dll)
        return std::string(dllName.substr(0, dllName.size() - dll.size())) + ".so";
    return std::string(dllName);
}

void SetModuleDirectory(const std::string& folder) {
    if (folder.empty())
        unsetenv(kDirectoryVariable);
    else
        setenv(kDirectoryVariable, folder.c_str(), 1);
}

std::string ModuleDirectory() {
    const char* value = std::getenv(kDirectoryVariable);
    return value ? std::string(value) : std::string();
}

std::vector<std::string> ModuleSearchFolders() {
    std::vector<std::string> folders;
    if (std::string set = ModuleDirectory(); !set.empty()) folders.push_back(set);
    if (std::string exe = ExecutableFolder(); !exe.empty()) {
        folders.push_back(exe);
        folders.push_back(JoinPath(exe, kInstalledModuleFolder));
    }
    return folders;
}

std::optional<std::string> FindModuleFile(std::string_view dllName) {
    const std::string file = ModuleFileName(dllName);
    // A name with a folder in it is not a bare module name; refuse it rather
    // than letting it reach outside the search folders.
    if (file.empty() || file.find('/') != std::string::npos) return std::nullopt;
    for (const auto& folder : ModuleSearchFolders()) {
        std::string candidate = JoinPath(folder, file);
        if (IsRegularFile(candidate)) return candidate;
    }
    return std::nullopt;
}

Module Module::Load(std::string_view dllName, bool for_process) {
    const std::string file = ModuleFileName(dllName);
    if (file.empty() || file.find('/') != std::string::npos) return Module();
    // The first file found is the one loaded; when it is broken the load fails,
    // as it would on Windows, rather than falling through to another copy.
    const int flags = RTLD_NOW | RTLD_LOCAL | (for_process ? RTLD_NODELETE : 0);
    if (auto path = FindModuleFile(dllName)) return Module(dlopen(path->c_str(), flags));
    return Module(dlopen(file.c_str(), flags));
}

std::string FolderOfCode(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || !info.dli_fname) return "";
    char resolved[PATH_MAX];
    if (!realpath(info.dli_fname, resolved)) return "";
    std::string path = resolved;
    return path.substr(0, path.rfind('/'));
}

bool ModuleLoadable(std::string_view dllName) {
    return static_cast<bool>(Module::Load(dllName));
}

Module::Module(Module&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

Module& Module::operator=(Module&& other) noexcept {
    if (this != &other) {
        Release();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

Module::~Module() { Release(); }

void* Module::Symbol(const char* name) const {
    return handle_ && name ? dlsym(handle_, name) : nullptr;
}

void Module::Release() {
    if (handle_) dlclose(std::exchange(handle_, nullptr));
}

}  // namespace platform
