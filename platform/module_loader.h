// Run-time loading of modules by their Windows-style names.
//
// Callers name modules as the archiver API does ("Unlha32.dll"); on disk the
// suffix is ".so". Names match exactly, case included. One search order serves
// loading and checking:
//   1. the folder set with SetModuleDirectory (the program or a test),
//   2. the folder of the running executable,
//   3. "../lib/zenkari" beside that folder (an installed layout),
//   4. the dynamic loader's own search for the bare file name.
// The current folder is never searched.
#ifndef KELVORA_PLATFORM_MODULE_LOADER_H
#define KELVORA_PLATFORM_MODULE_LOADER_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// "Unlha32.dll" -> "Unlha32.so"; names without ".dll" are kept as they are.
std::string ModuleFileName(std::string_view dllName);

// Sets the first folder searched, for the whole process (the program and the
// library share it, so it is kept in the process environment). An empty
// folder removes it.
void SetModuleDirectory(const std::string& folder);
std::string ModuleDirectory();

// Where an installed copy keeps its modules, relative to the program's folder.
inline constexpr const char* kInstalledModuleFolder = "../lib/zenkari";

// The folders searched in steps 1 to 3, in order.
std::vector<std::string> ModuleSearchFolders();

// The path that Load would open from steps 1 to 3, or nothing when the module
// is left to the dynamic loader's search (or is nowhere).
std::optional<std::string> FindModuleFile(std::string_view dllName);

// True when Load would succeed; the module is loaded and released again.
bool ModuleLoadable(std::string_view dllName);

// The folder of the module (or program) whose code holds `address`, empty
// when it cannot be told.
std::string FolderOfCode(const void* address);

// One loaded module; released when the object goes away.
class Module {
public:
    Module() = default;
    // `for_process`: the module stays mapped after it is released, as a
    // program's own library does (its statics then live as long as the process).
    static Module Load(std::string_view dllName, bool for_process = false);

    Module(Module&& other) noexcept;
    Module& operator=(Module&& other) noexcept;
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    ~Module();

    explicit operator bool() const { return handle_ != nullptr; }
    // The address of an exported symbol, or null when the module lacks it.
    void* Symbol(const char* name) const;
    void Release();

private:
    explicit Module(void* handle) : handle_(handle) {}
    void* handle_ = nullptr;
};

}  // namespace platform

#endif
