// dravx-demo: a console demonstration of the library, binding its exports by
// name at run time as the program does.
//   dravx-demo                 the library's version and every archiver module
//   dravx-demo FILE [FOLDER]   also identifies FILE and extracts it into a new
//                              folder named after it inside FOLDER (default:
//                              the temporary folder), then prints that folder
#include <cstdio>
#include <cstdlib>
#include <string>

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

// How the program asks each of our modules to extract everything.
const char* ExtractCommand(int index) {
    switch (index) {
        case 1: return "x -d1 -y1 ";
        case 2: return "-x -o -q ";
        case 3: return "-x -k ";
        case 4: return "-xvf ";
        case 6: return "-x ";
        default: return nullptr;
    }
}

// "a.tar.gz" -> "a", "b.zip" -> "b", "README" -> "README".
std::string FolderName(const std::string& path) {
    std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    if (auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
    if (name.size() > 4 && (name.ends_with(".tar") || name.ends_with(".TAR"))) name.resize(name.size() - 4);
    return name;
}

}  // namespace

int main(int argc, char** argv) {
    platform::Module library = platform::Module::Load("Dravolix.dll");
    if (!library) {
        std::fprintf(stderr, "Dravolix.dll was not found beside this program.\n");
        return 2;
    }
    auto dravx = Bind<decltype(&Dravx)>(library, "Dravx");
    auto coreVersion = Bind<decltype(&DravxGetCoreVersion)>(library, "DravxGetCoreVersion");
    auto supportType = Bind<decltype(&DravxSupportType)>(library, "DravxSupportType");
    auto getVersion = Bind<decltype(&DravxGetVersion)>(library, "DravxGetVersion");
    auto checkEx = Bind<decltype(&DravxCheckArchiveEx)>(library, "DravxCheckArchiveEx");
    auto fileCount = Bind<decltype(&DravxGetFileCount)>(library, "DravxGetFileCount");
    if (!dravx || !coreVersion || !supportType || !getVersion || !checkEx || !fileCount) return 2;

    std::printf("Dravolix core version %.2f, %d archiver module(s) loadable\n", coreVersion() / 100.0,
                supportType());
    for (int index = dravolix::kFirstArchiver; index <= dravolix::kLastArchiver; ++index) {
        int version = getVersion(index);
        std::string name = dravolix::ArchiverDllName(index);
        if (version < 0)
            std::printf("  %2d  %-13s not installed\n", index, name.c_str());
        else
            std::printf("  %2d  %-13s version %.2f\n", index, name.c_str(), version / 100.0);
    }
    if (argc < 2) return 0;

    std::string archive = argv[1];
    if (archive.find('"') != std::string::npos) {
        std::fprintf(stderr, "%s: a path with a double quote cannot be passed to an archiver\n", argv[1]);
        return 1;
    }
    int index = checkEx(archive.c_str(), 1);
    const char* command = index > 0 ? ExtractCommand(index) : nullptr;
    if (!command) {
        std::fprintf(stderr, "%s: no installed archiver takes this file\n", argv[1]);
        return 1;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = argc > 2 ? argv[2] : (tmp && *tmp ? tmp : "/tmp");
    if (folder.back() != '/') folder += '/';
    std::string output = folder + FolderName(archive) + "/";
    std::printf("%s: %s, %d entries\n", argv[1], dravolix::ArchiverDllName(index).c_str(),
                fileCount(index, archive.c_str()));
    std::string line = std::string(command) + "\"" + archive + "\" \"" + output + "\" *.*";
    int result = dravx(index, nullptr, line.c_str(), nullptr, 0);
    if (result != 0) {
        std::fprintf(stderr, "extraction failed: archiver result 0x%X\n", static_cast<unsigned>(result));
        return 1;
    }
    std::printf("%s\n", output.c_str());
    return 0;
}
