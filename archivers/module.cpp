// The entry points of one archiver module. Built once per module with
// ARCHIVER_PREFIX (the name prefix), ARCHIVER_KIND and ARCHIVER_NAME (the file).
#include <archive.h>

#include <cstdio>
#include <string>

#include "archiver_api.h"
#include "module_command.h"
#include "module_settings.h"
#include "progress.h"
#include "worker_client.h"

#define ARCHIVER_CAT2(a, b) a##b
#define ARCHIVER_CAT(a, b) ARCHIVER_CAT2(a, b)
#define ARCHIVER_ENTRY(function) ARCHIVER_CAT(ARCHIVER_PREFIX, function)
#define ARCHIVER_STR2(a) #a
#define ARCHIVER_STR(a) ARCHIVER_STR2(a)

namespace {

constexpr const char* FormatsOf(archivers::Kind kind) {
    switch (kind) {
        case archivers::Kind::Lha: return "LZH / LHA (lh0, lh5, lh6, lh7), self-extracting .exe";
        case archivers::Kind::Zip: return "ZIP, JAR, self-extracting .exe";
        case archivers::Kind::Cab: return "CAB";
        case archivers::Kind::Tar: return "tar, cpio, ar, .deb, .rpm; gzip, compress, bzip2, xz, lzma, zstd; 7-Zip, ISO 9660, XAR";
        case archivers::Kind::Rar: return "RAR 4, RAR 5";
        case archivers::Kind::Arj: return "ARJ (methods 0 to 4), self-extracting .exe";
    }
    return "";
}

const archivers::ModuleInfo kModule{archivers::Kind::ARCHIVER_KIND, ARCHIVER_STR(ARCHIVER_NAME),
                                    FormatsOf(archivers::Kind::ARCHIVER_KIND)};

// Version 2.10 for every module (TAR at 2.10 or above takes .rpm and .deb);
// the sub-version is the libarchive release underneath (3.6.2 gives 362).
constexpr uint16_t kVersion = 210;

}  // namespace

extern "C" {

ARCHIVER_EXPORT int32_t ARCHIVER_CALL ARCHIVER_PREFIX(HWND owner, const char* command_line, char* output,
                                                      uint32_t output_size) {
    return archivers::RunCommand(kModule, owner, command_line, output, output_size);
}

ARCHIVER_EXPORT int32_t ARCHIVER_CALL ARCHIVER_ENTRY(CheckArchive)(const char* file_name, int32_t mode) {
    return archivers::ModuleCheckArchive(kModule.kind, file_name, mode);
}

ARCHIVER_EXPORT int32_t ARCHIVER_CALL ARCHIVER_ENTRY(GetFileCount)(const char* file_name) {
    return archivers::ModuleFileCount(kModule.kind, file_name);
}

ARCHIVER_EXPORT uint16_t ARCHIVER_CALL ARCHIVER_ENTRY(GetVersion)(void) { return kVersion; }

ARCHIVER_EXPORT uint16_t ARCHIVER_CALL ARCHIVER_ENTRY(GetSubVersion)(void) {
    int number = archive_version_number();  // 3006002
    return static_cast<uint16_t>(number / 1000000 * 100 + number / 1000 % 1000 * 10 + number % 1000);
}

ARCHIVER_EXPORT int32_t ARCHIVER_CALL ARCHIVER_ENTRY(ConfigDialog)(HWND owner, char*, int32_t) {
    char version[16];
    std::snprintf(version, sizeof version, "%d.%02d", kVersion / 100, kVersion % 100);
    std::string text = std::string(kModule.name) + " Ver " + version + " (" + archive_version_string() +
                       ")\n\n読める形式：\n" + kModule.formats + "\n\n" + archivers::DescribeConfinement();
    const std::string settings = archivers::ModuleSettingsPath();
    const archivers::NameEncoding before = archivers::ReadNameEncoding(settings, kModule.name);
    archivers::NameEncoding names = before;
    if (!archivers::ShowModuleSettings(owner, kModule.name, text, names)) return 0;
    if (names != before && !archivers::WriteNameEncoding(settings, kModule.name, names))
        archivers::ShowModuleMessage(owner, kModule.name, "設定ファイルに書き込めませんでした。\n" + settings);
    return 1;
}

ARCHIVER_EXPORT int32_t ARCHIVER_CALL ARCHIVER_ENTRY(QueryFunctionList)(int32_t function) {
    switch (function) {
        case ARCHIVER_FUNCTION_COMMAND:
        case ARCHIVER_FUNCTION_GET_VERSION:
        case ARCHIVER_FUNCTION_CHECK_ARCHIVE:
        case ARCHIVER_FUNCTION_CONFIG_DIALOG:
        case ARCHIVER_FUNCTION_GET_FILE_COUNT:
            return 1;
        default:
            return 0;
    }
}

#ifdef ARCHIVER_TAR
ARCHIVER_EXPORT int32_t ARCHIVER_CALL TarGetArchiveType(const char* file_name) {
    return archivers::ModuleTarArchiveType(file_name);
}
#endif

}  // extern "C"
