// Probing and information exports: each asks one archiver module one question.
#include <string>

#include "archiver_api.h"
#include "dravolix.h"
#include "loader.h"

using dravolix::HeldArchiver;

namespace {

// Versions are compared as unsigned 16-bit values, so the library's own -1 and
// -2 count as very large versions.
uint16_t TarVersion() { return static_cast<uint16_t>(DravxGetVersion(dravolix::kTarArchiver)); }

// TAR modules older than 2.00 need a listing command run before some questions.
constexpr uint16_t kTarPreCommandBelow = 200;
// A pre-command answering this or more makes DravxGetArchiveType give up with 0.
constexpr int32_t kTarPreCommandFailure = 0x8020;

int32_t RunTarPreCommand(const char* option, const char* file_name) {
    std::string command = std::string(option) + " " + file_name;
    return Dravx(dravolix::kTarArchiver, nullptr, command.c_str(), nullptr, 0);
}

// The frame every index-taking question shares: check the index, load the
// module, find the entry point, ask, release.
template <class Fn, class Ask>
int32_t AskArchiver(int32_t index, const char* function, Ask ask) {
    if (!dravolix::IsArchiverIndex(index)) return DRAVX_ERROR_INDEX;
    HeldArchiver held;
    if (held.LoadArchiverDll(index) != 0) return DRAVX_ERROR_NOT_LOADABLE;
    Fn entry = held.Entry<Fn>(function);
    if (!entry) return DRAVX_ERROR_NO_ENTRY;
    return ask(entry);
}

bool SubVersionOffered(int32_t index) {
    switch (index) {
        case 1: return static_cast<uint16_t>(DravxGetVersion(1)) >= 20;
        case 5: return true;
        case 10: return static_cast<uint16_t>(DravxGetVersion(10)) >= 7;
        default: return false;
    }
}

}  // namespace

extern "C" {

int32_t DRAVOLIX_API DravxCheckArchive(int32_t index, const char* file_name, int32_t mode) {
    if (!dravolix::IsArchiverIndex(index)) return DRAVX_ERROR_INDEX;
    if (!file_name) return DRAVX_ERROR_NULL_ARGUMENT;
    return AskArchiver<ArchiverCheckArchiveFn>(index, "CheckArchive", [&](ArchiverCheckArchiveFn check) {
        if (index == dravolix::kTarArchiver && TarVersion() < kTarPreCommandBelow)
            RunTarPreCommand("-tnf", file_name);
        return check(file_name, mode);
    });
}

int32_t DRAVOLIX_API DravxGetArchiveType(int32_t index, const char* file_name) {
    if (!dravolix::IsArchiverIndex(index)) return DRAVX_ERROR_INDEX;
    if (!file_name) return DRAVX_ERROR_NULL_ARGUMENT;
    HeldArchiver held;
    if (held.LoadArchiverDll(index) != 0) return DRAVX_ERROR_NOT_LOADABLE;
    if (index != dravolix::kTarArchiver) return DRAVX_ERROR_NOT_APPLICABLE;
    auto type = held.Entry<ArchiverGetArchiveTypeFn>("GetArchiveType");
    if (!type) return DRAVX_ERROR_NO_ENTRY;
    if (TarVersion() < kTarPreCommandBelow && RunTarPreCommand("-tvf", file_name) >= kTarPreCommandFailure)
        return 0;
    return type(file_name);
}

int32_t DRAVOLIX_API DravxGetFileCount(int32_t index, const char* file_name) {
    if (!dravolix::IsArchiverIndex(index)) return DRAVX_ERROR_INDEX;
    if (!file_name) return DRAVX_ERROR_NULL_ARGUMENT;
    return AskArchiver<ArchiverGetFileCountFn>(index, "GetFileCount",
                                               [&](ArchiverGetFileCountFn count) { return count(file_name); });
}

int16_t DRAVOLIX_API DravxGetVersion(int32_t index) {
    return static_cast<int16_t>(AskArchiver<ArchiverGetVersionFn>(
        index, "GetVersion", [](ArchiverGetVersionFn version) { return int32_t{version()}; }));
}

int16_t DRAVOLIX_API DravxGetSubVersion(int32_t index) {
    if (!dravolix::IsArchiverIndex(index)) return DRAVX_ERROR_INDEX;
    if (!SubVersionOffered(index)) return DRAVX_ERROR_NOT_APPLICABLE;
    return static_cast<int16_t>(AskArchiver<ArchiverGetSubVersionFn>(
        index, "GetSubVersion", [](ArchiverGetSubVersionFn sub) { return int32_t{sub()}; }));
}

int16_t DRAVOLIX_API DravxGetCoreVersion(void) { return DRAVOLIX_CORE_VERSION; }

int32_t DRAVOLIX_API DravxConfigDialog(int32_t index, HWND owner, char* options, int32_t mode) {
    return AskArchiver<ArchiverConfigDialogFn>(
        index, "ConfigDialog", [&](ArchiverConfigDialogFn dialog) { return dialog(owner, options, mode); });
}

int32_t DRAVOLIX_API DravxQueryFunctionList(int32_t index, int32_t function) {
    return AskArchiver<ArchiverQueryFunctionListFn>(
        index, "QueryFunctionList", [&](ArchiverQueryFunctionListFn query) { return query(function) == 1 ? 1 : 0; });
}

int32_t DRAVOLIX_API DravxSupportType(void) {
    int32_t count = 0;
    for (int index : {1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 13}) {
        HeldArchiver held;
        if (held.LoadArchiverDll(index) == 0) {
            ++count;
            held.FreeArchiverDll();
        }
    }
    return count;
}

// The first archiver, in index order, that takes the file; 0 when none does.
int32_t DRAVOLIX_API DravxCheckArchiveEx(const char* file_name, int32_t mode) {
    if (!file_name) return DRAVX_ERROR_NULL_ARGUMENT;
    for (int32_t index = dravolix::kFirstArchiver; index <= dravolix::kLastArchiver; ++index)
        if (DravxCheckArchive(index, file_name, mode) >= 1) return index;
    return 0;
}

int32_t DRAVOLIX_API DravxOpenArchive(int32_t, HWND, const char*, uint32_t) { return 0; }
int32_t DRAVOLIX_API DravxCloseArchive(int32_t, void*) { return 0; }
int32_t DRAVOLIX_API DravxFindFirst(int32_t, void*, const char*, void*) { return 0; }
int32_t DRAVOLIX_API DravxFindNext(int32_t, void*, void*) { return 0; }

}  // extern "C"
