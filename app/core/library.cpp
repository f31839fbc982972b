#include "library.h"

#include "dravolix.h"

namespace core {

// Loaded as the binding loads it, for the life of the process: a library
// loaded and unloaded again would take its window system with it.
bool DravolixLibrary::Present() { return static_cast<bool>(platform::Module::Load("Dravolix.dll", true)); }

template <class Fn>
Fn DravolixLibrary::Bind(const char* name) {
    if (!module_) {
        module_ = platform::Module::Load("Dravolix.dll", true);
        if (!module_) throw LibraryMissing("Dravolix.dll が見つかりません。");
    }
    auto fn = reinterpret_cast<Fn>(module_.Symbol(name));
    if (!fn) throw LibraryMissing(std::string("Dravolix.dll に ") + name + " がありません。");
    return fn;
}

int32_t DravolixLibrary::Dravx(int32_t index, HWND owner, const std::string& command_line) {
    return Bind<decltype(&::Dravx)>("Dravx")(index, owner, command_line.c_str(), nullptr, 0);
}

int32_t DravolixLibrary::DravxText(int32_t index, const std::string& command_line, uint32_t output_size,
                                   std::string& output) {
    auto dravx = Bind<decltype(&::Dravx)>("Dravx");
    std::string buffer(output_size, '\0');
    const int32_t result = dravx(index, nullptr, command_line.c_str(), buffer.data(), output_size);
    output.assign(buffer.c_str());
    return result;
}

int32_t DravolixLibrary::CheckArchive(int32_t index, const std::string& file, int32_t mode) {
    return Bind<decltype(&::DravxCheckArchive)>("DravxCheckArchive")(index, file.c_str(), mode);
}

int32_t DravolixLibrary::GetArchiveType(int32_t index, const std::string& file) {
    return Bind<decltype(&::DravxGetArchiveType)>("DravxGetArchiveType")(index, file.c_str());
}

int32_t DravolixLibrary::GetFileCount(int32_t index, const std::string& file) {
    return Bind<decltype(&::DravxGetFileCount)>("DravxGetFileCount")(index, file.c_str());
}

int16_t DravolixLibrary::GetVersion(int32_t index) {
    return Bind<decltype(&::DravxGetVersion)>("DravxGetVersion")(index);
}

int16_t DravolixLibrary::GetSubVersion(int32_t index) {
    return Bind<decltype(&::DravxGetSubVersion)>("DravxGetSubVersion")(index);
}

int16_t DravolixLibrary::GetCoreVersion() { return Bind<decltype(&::DravxGetCoreVersion)>("DravxGetCoreVersion")(); }

int32_t DravolixLibrary::SupportType() { return Bind<decltype(&::DravxSupportType)>("DravxSupportType")(); }

int32_t DravolixLibrary::ConfigDialog(int32_t index, HWND owner, int32_t mode) {
    char options[513] = "";
    return Bind<decltype(&::DravxConfigDialog)>("DravxConfigDialog")(index, owner, options, mode);
}

int16_t DravolixLibrary::GetNkfVersion() { return Bind<decltype(&::DravxGetNkfVersion)>("DravxGetNkfVersion")(); }

int32_t DravolixLibrary::NkfConvertSub(HWND owner, const std::string& option, const std::string& output_file,
                                       const std::string& input_file) {
    return Bind<decltype(&::DravxNkfConvertSub)>("DravxNkfConvertSub")(owner, option.c_str(), output_file.c_str(),
                                                                      input_file.c_str());
}

int32_t DravolixLibrary::SetAssoc(int32_t index, const std::string& program_path, const std::string& argument) {
    return Bind<decltype(&::DravxSetAssoc)>("DravxSetAssoc")(index, program_path.c_str(), argument.c_str(), 0);
}

int32_t DravolixLibrary::KillAssoc(int32_t index) {
    return Bind<decltype(&::DravxKillAssoc)>("DravxKillAssoc")(index, 0, 0, 0);
}

}  // namespace core
