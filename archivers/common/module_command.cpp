#include "module_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "command_line.h"
#include "disk_writer.h"
#include "module_settings.h"
#include "progress.h"
#include "terminal.h"
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

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Asks on the controlling terminal, for a program without windows.
class TerminalPasswords : public PasswordSource {
public:
    explicit TerminalPasswords(std::string archive) : archive_(std::move(archive)) {}
    PasswordAnswer Ask(bool retry, Secret& password) override {
        const std::string prompt =
            std::string(retry ? "パスワードが違います。\n" : "") + "書庫「" + BaseName(archive_) + "」のパスワード：";
        password.Clear();
        bool read = platform::ReadHiddenLine(
            prompt, [&](char c) { return password.View().size() < kMaxPasswordLength && password.Append(c); });
        // No terminal, the end of input or an empty line: no password.
        if (read && !password.Empty()) return PasswordAnswer::Given;
        password.Clear();
        return PasswordAnswer::None;
    }

private:
    std::string archive_;
};

// Where the password of encrypted entries comes from: a window of the
// module over the owner, the terminal without one; none with the quiet option.
std::unique_ptr<PasswordSource> PasswordsFor(const ModuleInfo& module, HWND owner, const Command& command) {
    if (command.quiet) return nullptr;
    if (owner)
        if (auto window = PasswordWindow(owner, module.name, BaseName(command.archive))) return window;
    return std::make_unique<TerminalPasswords>(command.archive);
}

wire::Request ReadingRequest(const ModuleInfo& module, wire::Operation operation, const std::string& archive) {
    wire::Request request = RequestFor(operation, module.kind, archive);
    request.names = ReadNameEncoding(ModuleSettingsPath(), module.name);
    return request;
}

int32_t RunExtract(const ModuleInfo& module, const Command& command, Progress& progress, PasswordSource* passwords) {
    DestinationFolders folders(command.destination);
    wire::Request request = ReadingRequest(module, wire::Operation::Extract, command.archive);
    request.destination = command.destination;
    request.patterns = command.patterns;
    // A ZIP may be shared by two workers; the first decides (operations.h).
    if (module.kind == Kind::Zip) request.share = Share::First;
    WorkerOutcome outcome = RunWorker(WorkerPath(), std::move(request), progress, passwords);
    // An archive whose very list of entries is encrypted fails as early; a
    // cancel at the first password leaves nothing either.
    if (outcome.code == result::kOpenArchive || outcome.code == result::kNotArchive ||
        outcome.code == result::kEncrypted || outcome.code == result::kCancelled)
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
        WorkerOutcome outcome = Ask(ReadingRequest(module, wire::Operation::List, command.archive), quiet);
        CopyListing(outcome.text, output, output_size);
        return outcome.code;
    }
    std::unique_ptr<Progress> window;
    if (owner && !command.quiet)
        window = ShowProgressWindow(owner, std::string(command.action == Action::Extract ? "解凍中 - " : "テスト中 - ") +
                                               module.name);
    Progress& progress = window ? *window : static_cast<Progress&>(quiet);
    std::unique_ptr<PasswordSource> passwords = PasswordsFor(module, owner, command);
    if (command.action == Action::Extract) return RunExtract(module, command, progress, passwords.get());
    return RunWorker(WorkerPath(), ReadingRequest(module, wire::Operation::Test, command.archive), progress,
                     passwords.get())
        .code;
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
