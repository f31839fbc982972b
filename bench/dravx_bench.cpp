// dravx-bench INDEX "COMMAND LINE": runs one archiver command through
// Dravolix, bound by name at run time as the program binds it, with no owner
// window and no output buffer. Prints the result; exits 1 unless it is 0.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "dravolix.h"
#include "module_loader.h"

int main(int argc, char** argv) {
    char* end = nullptr;
    const long index = argc == 3 ? std::strtol(argv[1], &end, 10) : 0;
    if (argc != 3 || end == argv[1] || *end != '\0') {
        std::fprintf(stderr, "usage: dravx-bench INDEX \"COMMAND LINE\"\n");
        return 2;
    }
    platform::Module library = platform::Module::Load("Dravolix.dll");
    if (!library) {
        std::fprintf(stderr, "Dravolix.dll was not found beside this program.\n");
        return 2;
    }
    auto dravx = reinterpret_cast<decltype(&Dravx)>(library.Symbol("Dravx"));
    if (!dravx) {
        std::fprintf(stderr, "Dravolix.dll lacks Dravx\n");
        return 2;
    }
    const int32_t code = dravx(static_cast<int32_t>(index), nullptr, argv[2], nullptr, 0);
    std::printf("Dravx(%ld) = %d (0x%X)\n", index, code, static_cast<unsigned>(code));
    return code == 0 ? 0 : 1;
}
