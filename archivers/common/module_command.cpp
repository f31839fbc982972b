#include "module_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "command_line.h"
#include "disk_writer.h"
#include "progress.h"
#include "worker_client.h"

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

// The destination's folders that an extraction makes, removed again (while
// still empty) when the archive turned out not to be readable at all, so
// that a failed attempt leaves nothing behind.
class DestinationFolders {
public:
    explicit DestinationFolders(const std::string& destination)
        : made_(MakeDestination(destination.empty() ? "." : destination)) {}
    void RemoveIfEmpty() {
        for (auto folder = made_.rbegin(); folder != made_.rend(); ++folder) rmdir(folder->c_str());
    }

private:
    std::vector<std::string> made_;
};

wire::Request RequestFor(wire::Operation operation, Kind kind, const std::string& archive) {
    wire::Request request;
    request.operation = operation;
    request.kind = kind;
    request.archive = archive;
    return request;
}

WorkerOutcome Ask(wire::Request request, Progress& progress) { return RunWorker(WorkerPath(), std::move(request), progress); }

WorkerOutcome Ask(wire::Operation operation, Kind kind, const char* file, int32_t mode = 0) {
    NoProgress quiet;
    wire::Request request = RequestFor(operation, kind, file);
    request.mode = mode;
    return Ask(std::move(request), quiet);
}

int32_t RunExtract(Kind kind, const Command& command, Progress& progress) {
    DestinationFolders folders(command.destination);
    wire::Request request = RequestFor(wire::Operation::Extract, kind, command.archive);
    request.destination = command.destination;
    request.patterns = command.patterns;
    WorkerOutcome outcome = Ask(std::move(request), progress);
    // An archive whose very list of entries is encrypted fails as early.
    if (outcome.code == result::kOpenArchive || outcome.code == result::kNotArchive ||
        outcome.code == result::kEncrypted)
        folders.RemoveIfEmpty();
    return outcome.code;
}

}  // namespace

int32_t RunCommand(const ModuleInfo& module, HWND owner, const char* line, char* output, uint32_t output_size) {
    if (output && output_size > 0) output[0] = '\0';
    if (!line) return result::kBadCommand;
    Command command = ParseCommand(line);
    if (command.action == Action::Unknown) return result::kBadCommand;
    NoProgress quiet;
    if (command.action == Action::List) {
        WorkerOutcome outcome = Ask(RequestFor(wire::Operation::List, module.kind, command.archive), quiet);
        CopyListing(outcome.text, output, output_size);
        return outcome.code;
    }
    std::unique_ptr<Progress> window;
    if (owner && !command.quiet)
        window = ShowProgressWindow(owner, std::string(command.action == Action::Extract ? "解凍中 - " : "テスト中 - ") +
                                               module.name);
    Progress& progress = window ? *window : static_cast<Progress&>(quiet);
    if (command.action == Action::Extract) return RunExtract(module.kind, command, progress);
    return Ask(RequestFor(wire::Operation::Test, module.kind, command.archive), progress).code;
}

// A file that is not a regular file is no archive: no worker is started for it.
bool IsRegularFile(const char* file) {
    struct stat st {};
    return file && stat(file, &st) == 0 && S_ISREG(st.st_mode);
}

int32_t ModuleCheckArchive(Kind kind, const char* file, int32_t mode) {
    if (!IsRegularFile(file)) return 0;
    WorkerOutcome outcome = Ask(wire::Operation::Check, kind, file, mode);
    return outcome.answered ? outcome.code : 0;
}

int32_t ModuleFileCount(Kind kind, const char* file) {
    if (!IsRegularFile(file)) return -1;
    WorkerOutcome outcome = Ask(wire::Operation::Count, kind, file);
    return outcome.answered ? outcome.code : -1;
}

int32_t ModuleTarArchiveType(const char* file) {
    if (!IsRegularFile(file)) return 0;
    WorkerOutcome outcome = Ask(wire::Operation::TarType, Kind::Tar, file);
    return outcome.answered ? outcome.code : 0;
}

}  // namespace archivers
