// dravx-info: shows what the library finds on this machine, binding its
// exports by name at run time as the program does.
//   dravx-info            the library's version and every archiver module
//   dravx-info FILE       also which archiver takes FILE, and its entry count
#include <cstdio>

#include "archiver_table.h"
#include "dravolix.h"
#include "module_loader.h"

namespace {

template <class Fn>
Fn Bind(const platform::Module& library, const char* name) {
    auto fn = reinterpret_cast<Fn>(library.Symbol(name));
    if (!fn) std::fprintf(stderr, "Dravolix.dll lacks %s\n", name);
    return fn;
}

}  // namespace

int main(int argc, char** argv) {
    platform::Module library = platform::Module::Load("Dravolix.dll");
    if (!library) {
        std::fprintf(stderr, "Dravolix.dll was not found beside this program.\n");
        return 2;
    }
    auto coreVersion = Bind<decltype(&DravxGetCoreVersion)>(library, "DravxGetCoreVersion");
    auto supportType = Bind<decltype(&DravxSupportType)>(library, "DravxSupportType");
    auto getVersion = Bind<decltype(&DravxGetVersion)>(library, "DravxGetVersion");
    auto checkEx = Bind<decltype(&DravxCheckArchiveEx)>(library, "DravxCheckArchiveEx");
    auto fileCount = Bind<decltype(&DravxGetFileCount)>(library, "DravxGetFileCount");
    if (!coreVersion || !supportType || !getVersion || !checkEx || !fileCount) return 2;

    std::printf("Dravolix core version %.2f, %d archiver module(s) loadable\n", coreVersion() / 100.0,
                supportType());
    for (int index = dravolix::kFirstArchiver; index <= dravolix::kLastArchiver; ++index) {
        int version = getVersion(index);
        std::string name = dravolix::ArchiverDllName(index);
        if (version == DRAVX_ERROR_NOT_LOADABLE)
            std::printf("  %2d  %-13s not installed\n", index, name.c_str());
        else
            std::printf("  %2d  %-13s version %.2f\n", index, name.c_str(), static_cast<uint16_t>(version) / 100.0);
    }
    if (argc < 2) return 0;

    int index = checkEx(argv[1], 1);
    if (index <= 0) {
        std::printf("%s: no installed archiver takes this file\n", argv[1]);
        return 1;
    }
    std::printf("%s: %s, %d entries\n", argv[1], dravolix::ArchiverDllName(index).c_str(),
                fileCount(index, argv[1]));
    return 0;
}
