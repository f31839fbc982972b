// The command export and the library's load-time set-up.
#include <dlfcn.h>

#include "archiver_api.h"
#include "dravolix.h"
#include "loader.h"
#include "wait.h"

namespace {

// The library's own instance handle: the address it is loaded at.
const void* g_instance = nullptr;

__attribute__((constructor)) void StoreInstanceHandle() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&StoreInstanceHandle), &info)) g_instance = info.dli_fbase;
}

}  // namespace

extern "C" int32_t DRAVOLIX_API Dravx(int32_t index, HWND owner, const char* command_line,
                                      char* output, uint32_t output_size) {
    if (!dravolix::IsArchiverIndex(index)) return DRAVX_ERROR_INDEX;
    if (!command_line) return DRAVX_ERROR_NULL_ARGUMENT;

    // Declared first so that it is released last: the window closes, then the module goes.
    dravolix::HeldArchiver held;
    dravolix::WaitWindowShown wait(owner, owner != nullptr);
    if (held.LoadArchiverDll(index) != 0) return DRAVX_ERROR_NOT_LOADABLE;
    auto command = held.Entry<ArchiverCommandFn>("");
    if (!command) return DRAVX_ERROR_NO_ENTRY;
    return command(owner, command_line, output, output_size);
}
