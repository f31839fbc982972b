#include "module_command.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "command_line.h"
#include "operations.h"
#include "progress.h"

namespace archivers {
namespace {

void CopyListing(const std::string& listing, char* output, uint32_t output_size) {
    if (!output || output_size == 0) return;
    size_t length = std::min<size_t>(listing.size(), output_size - 1);
    // Cut at a character boundary, never inside a UTF-8 sequence.
    while (length > 0 && length < listing.size() && (static_cast<unsigned char>(listing[length]) & 0xC0) == 0x80)
        --length;
    std::memcpy(output, listing.data(), length);
    output[length] = '\0';
}

}  // namespace

int32_t RunCommand(const ModuleInfo& module, HWND owner, const char* line, char* output, uint32_t output_size) {
    if (output && output_size > 0) output[0] = '\0';
    if (!line) return result::kBadCommand;
    Command command = ParseCommand(line);
    if (command.action == Action::Unknown) return result::kBadCommand;
    if (command.action == Action::List) {
        std::string listing;
        int32_t code = List(module.kind, command.archive, listing);
        CopyListing(listing, output, output_size);
        return code;
    }
    std::unique_ptr<Progress> window;
    if (owner && !command.quiet)
        window = ShowProgressWindow(owner, std::string(command.action == Action::Extract ? "解凍中 - " : "テスト中 - ") +
                                               module.name);
    NoProgress quiet;
    Progress& progress = window ? *window : static_cast<Progress&>(quiet);
    return command.action == Action::Extract ? Extract(module.kind, command, progress)
                                             : Test(module.kind, command.archive, progress);
}

int32_t ModuleCheckArchive(Kind kind, const char* file, int32_t mode) {
    return file ? CheckArchive(kind, file, mode) : 0;
}

int32_t ModuleFileCount(Kind kind, const char* file) { return file ? FileCount(kind, file) : -1; }

int32_t ModuleTarArchiveType(const char* file) { return file ? TarArchiveType(file) : 0; }

}  // namespace archivers
