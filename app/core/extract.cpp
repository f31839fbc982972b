#include "extract.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "folders.h"
#include "identify.h"
#include "join.h"
#include "listing.h"
#include "move_up.h"
#include "process.h"
#include "result_text.h"
#include "trash.h"

namespace core {
namespace {

namespace fs = std::filesystem;

using platform::WithSlash;

// The archiver API's "cannot write the file": what was extracted could not be put in its place.
constexpr int32_t kWriteFailure = 0x8013;

// Where the desktop or documents go when the desktop cannot tell.
std::string HomeFolder() { return WithSlash(platform::HomeFolder()); }

std::string Destination(Context& ctx, const std::string& archive_folder) {
    switch (ctx.session.settings.ExtractNumber) {
        case 0: return GetDesktopPath(ctx);
        case 1: return platform::TemporaryFolder();
        case 2: return archive_folder;
        case 3: return ctx.screen.ManualDestination();
        default: return "";
    }
}

void ReportFailure(Context& ctx, int32_t result) {
    ctx.prompter.Message("解凍/復元に失敗しました。", "Failed", Icon::Critical);
    ctx.prompter.Message(ArchiverErrorText(result), "Failed", Icon::Critical);
    ctx.screen.SetStatusColour(kRed);
    ctx.screen.SetStatus("解凍/復元に失敗しました。");
}

}  // namespace

std::string GetDesktopPath(Context& ctx) {
    std::string folder = ctx.shell.DesktopFolder();
    return folder.empty() ? HomeFolder() : WithSlash(folder);
}

std::string GetMyDocumentsPath(Context& ctx) {
    std::string folder = ctx.shell.DocumentsFolder();
    return folder.empty() ? HomeFolder() : WithSlash(folder);
}

std::string FolderNameFor(const std::string& file_name) {
    std::string name = file_name;
    if (auto dot = name.rfind('.'); dot != std::string::npos) name.resize(dot);
    if (name.size() >= 4 && strcasecmp(name.c_str() + name.size() - 4, ".TAR") == 0) name.resize(name.size() - 4);
    return name;
}

bool RefuseQuotedPath(Context& ctx, const std::string& path) {
    if (path.find('"') == std::string::npos) return false;
    ctx.prompter.Message("パスに二重引用符 (\") が含まれているため、アーカイバに渡せません。\r\n" + path, "エラー",
                         Icon::Exclamation);
    return true;
}

bool RefuseDestination(Context& ctx, const std::string& destination) {
    if (!destination.empty() && destination.front() == '/') return false;
    ctx.prompter.Message("解凍先のフォルダが正しくありません。\r\n" + destination, "エラー", Icon::Exclamation);
    return true;
}

void ReportMissingModule(Context& ctx, int index) {
    ctx.prompter.Message(DllName(index) + "が見つかりません。", "Kelvora？", Icon::Warning);
}

ExtractionPlan PlanExtraction(const std::string& archive, const std::string& destination, const Settings& settings,
                              const ArchiverRow& row, const ArchiveShape& shape) {
    const size_t slash = archive.rfind('/');
    std::string folder = FolderNameFor(slash == std::string::npos ? archive : archive.substr(slash + 1));
    const std::string separator = row.writes_own_folder ? "" : "/";
    const bool single_entry = shape.entries == 1;
    const bool double_folder = settings.PreventDoubleFolder != 0 && !shape.sole_folder.empty();
    if (row.writes_own_folder || single_entry || settings.MakeArchiveFolder == 0 || double_folder) folder.clear();

    std::string options = row.extract;
    if (settings.NoWindow != 0) options = row.quiet_first ? row.quiet + options : options + row.quiet;
    ExtractionPlan plan;
    plan.landing = destination + folder;
    plan.shown = plan.landing + separator;
    plan.command_line = options + "\"" + archive + "\" \"" + plan.shown + "\"" + (row.wildcard ? " *.*" : "");
    plan.output = folder.empty() ? destination : plan.shown;
    if (single_entry) {
        if (!shape.only_entry.empty()) plan.output = destination + shape.only_entry;
    } else if (folder.empty() && !shape.sole_folder.empty()) {
        // The archive's own folder is what the user gets.
        plan.landing = destination + shape.sole_folder;
        plan.shown = plan.output = plan.landing + "/";
    }
    return plan;
}

namespace {

// The extraction's outcome and where its entries went.
struct Extraction {
    int32_t result = 0;
    ExtractionPlan plan;
};

// The archive's entries as its module lists them; their count alone where it cannot list them.
ArchiveShape ShapeOf(Library& library, const ArchiverRow& row, const std::string& path) {
    ArchiveShape shape;
    const std::optional<std::vector<std::string>> entries = ListEntries(library, row, path);
    if (!entries) {
        shape.entries = library.GetFileCount(row.index, path);
        return shape;
    }
    shape.entries = static_cast<int32_t>(entries->size());
    if (entries->size() == 1) shape.only_entry = EntryPath(entries->front(), row.backslash_separates);
    const std::vector<TopLevelName> top = TopLevelNames(*entries, row.backslash_separates);
    if (top.size() == 1 && top.front().folder) shape.sole_folder = top.front().name;
    return shape;
}

// Removes the folders of a tree that hold no file, deepest first, and the
// tree's top when that empties it. True when the top has gone.
bool RemoveEmptyFolders(const fs::path& top) {
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(top, ec))) return false;
    std::vector<fs::path> children;
    for (fs::directory_iterator it(top, ec), end; !ec && it != end; it.increment(ec)) children.push_back(it->path());
    if (ec) return false;
    bool emptied = true;
    for (const fs::path& child : children) emptied = RemoveEmptyFolders(child) && emptied;
    return emptied && fs::remove(top, ec);
}

// The folders an extraction is about to make: its output folder and any
// missing folder above it. Unless kept, whatever of them holds no file at
// the end is removed again; a folder that was there before is never touched.
class NewFolders {
public:
    explicit NewFolders(const std::string& folder) {
        std::error_code ec;
        for (fs::path path = fs::path(folder).lexically_normal(); path.has_relative_path() && !fs::exists(path, ec);
             path = path.parent_path())
            if (!path.filename().empty()) top_ = path;  // not the trailing "/" of a folder path
    }
    NewFolders(const NewFolders&) = delete;
    NewFolders& operator=(const NewFolders&) = delete;
    ~NewFolders() {
        if (!top_.empty()) RemoveEmptyFolders(top_);
    }
    void Keep() { top_.clear(); }

private:
    fs::path top_;  // the outermost missing folder; empty when none
};

// What a fresh folder holds after an extraction into it: one file (along
// the folders of its path), or one folder that holds everything, or else more.
ArchiveShape ShapeOfWritten(const fs::path& folder) {
    ArchiveShape shape;
    std::error_code ec;
    std::string path;
    for (fs::path at = folder;;) {
        std::vector<fs::directory_entry> children;
        for (fs::directory_iterator it(at, ec), end; !ec && it != end && children.size() < 2; it.increment(ec))
            children.push_back(*it);
        if (ec || children.size() != 1) break;
        const fs::directory_entry& only = children.front();
        path += (path.empty() ? "" : "/") + only.path().filename().string();
        if (shape.sole_folder.empty() && only.is_directory(ec) && !only.is_symlink(ec)) {
            shape.sole_folder = path;
        } else if (!only.is_directory(ec) || only.is_symlink(ec)) {
            shape.entries = 1;  // a chain of folders down to one file
            shape.only_entry = path;
            shape.sole_folder.clear();
            break;
        }
        at = only.path();
    }
    return shape;
}

// The entries written into the fresh folder `plan.landing` go where the
// settings want them now that their shape is known: one file, or the
// archive's own folder when double folders are prevented, moves up into the
// destination and the fresh folder goes. False when something could not be
// moved; it is then still in the folder, which stays.
bool Settle(const Settings& settings, const std::string& path, const std::string& destination, const ArchiverRow& row,
            ExtractionPlan& plan) {
    const ArchiveShape shape = ShapeOfWritten(plan.landing);
    const ExtractionPlan settled = PlanExtraction(path, destination, settings, row, shape);
    if (settled.command_line == plan.command_line) return true;  // the folder is where they belong
    const std::string top = (shape.entries == 1 ? shape.only_entry : shape.sole_folder);
    const std::string name = top.substr(0, top.find('/'));
    // The archive itself is never put away for one of its entries: that entry stays in the folder.
    std::error_code ec;
    if (fs::equivalent(destination + name, path, ec)) return true;
    // An entry named like the folder it was written into first leaves that folder.
    std::string holder = plan.landing;
    if (name == fs::path(holder).filename()) {
        const std::string aside = destination + "." + name + ".kelvora-" + std::to_string(platform::ProcessId());
        if (platform::RenameNoReplace(AT_FDCWD, holder, AT_FDCWD, aside) != 0) return false;
        holder = aside;
    }
    plan.landing = holder;  // where anything that could not be moved is left
    if (!MoveUp(holder + "/" + name, destination + name, path) || rmdir(holder.c_str()) != 0) return false;
    plan = settled;
    return true;
}

// Runs the archiver's module with its planned command line, or the
// program's own join; the library's absence is the library's -2. Into a
// folder named after the archive that is not there yet, the module extracts
// without a look at the archive beforehand, and what it wrote is settled
// afterwards; otherwise the archive is listed first.
Extraction Run(Context& ctx, const ArchiverRow& row, const std::string& path, const std::string& destination) {
    const Settings& settings = ctx.session.settings;
    Extraction done;
    try {
        if (row.kind == RowKind::kSplitSet) {
            done.plan = PlanExtraction(path, destination, settings, row, {});
            done.result = JoinSplitFiles(ctx, path, "", &done.plan.output);
            return done;
        }
        done.plan = PlanExtraction(path, destination, settings, row, {});
        std::error_code ec;
        const bool settle_after = done.plan.landing != destination && !row.writes_own_folder &&
                                  !fs::exists(fs::symlink_status(done.plan.landing, ec));
        if (!settle_after) done.plan = PlanExtraction(path, destination, settings, row, ShapeOf(ctx.library, row, path));
        NewFolders made(done.plan.landing);
        done.result = ctx.library.Dravx(row.index, ctx.owner, done.plan.command_line);
        if (done.result != 0) return done;
        made.Keep();
        if (settle_after && !Settle(settings, path, destination, row, done.plan)) {
            ctx.prompter.Message("展開したファイルを移動できませんでした。次のフォルダに残っています。\r\n" + done.plan.landing,
                                 "エラー", Icon::Exclamation);
            done.result = kWriteFailure;
        }
    } catch (const LibraryMissing&) {
        done.result = -2;
    }
    return done;
}

void Report(Context& ctx, const ArchiverRow& row, const Extraction& done) {
    if (done.result < 0) {
        // The library's own failures: the module (or the library) has gone.
        ReportMissingModule(ctx, row.index);
        ctx.screen.SetStatusColour(kRed);
        ctx.screen.SetStatus("解凍/復元に失敗しました。");
    } else if (done.result > 0) {
        ReportFailure(ctx, done.result);
    } else if (row.joins) {
        ctx.prompter.Message("復元に成功しました。", "Kelvora？", Icon::Information);
        ctx.screen.SetStatus("復元に成功しました。");
    } else {
        ctx.screen.SetStatus("解凍に成功しました。");
    }
    if (done.result != 0) return;
    // Output written onto the desktop itself opens nothing.
    const bool open = ctx.session.settings.OpenAfterExtract != 0 && GetDesktopPath(ctx) != done.plan.landing;
    ctx.shell.ShowExtracted(done.plan.output, open ? done.plan.shown : "");
}

// The answer of ExtractArchive; nothing when the paths were refused before
// anything was tried.
std::optional<int32_t> ExtractWithBrowserOff(Context& ctx, const std::string& path) {
    if (ctx.counter) ctx.counter->Cancel();  // the user acts: no one waits for the count any more
    BrowserOff browser(ctx);
    const size_t slash = path.rfind('/');
    const std::string destination = Destination(ctx, slash == std::string::npos ? "" : path.substr(0, slash + 1));

    if (ctx.session.file_kind == kNotArchive) ctx.shell.OpenFile(path, destination);
    if (ctx.session.file_kind != kArchive) return ctx.session.file_kind == kNotArchive ? 0 : -1;

    const ArchiverRow& row = Archiver(ctx.session.file_archiver);
    // The program's own join writes no command line.
    if (row.kind != RowKind::kSplitSet &&
        (RefuseQuotedPath(ctx, path) || RefuseQuotedPath(ctx, destination) || RefuseDestination(ctx, destination)))
        return std::nullopt;
    const Extraction done = Run(ctx, row, path, destination);
    Report(ctx, row, done);
    return done.result;
}

}  // namespace

int32_t ExtractArchive(Context& ctx, const std::string& path) {
    const std::optional<int32_t> result = ExtractWithBrowserOff(ctx, path);
    if (!result) return -1;
    ctx.screen.RefreshFileList();
    return *result;
}

int ExtractStartFile(Context& ctx, const std::string& path) {
    ctx.session.count_entries = false;
    if (IdentifyArchive(ctx, path) < 1) {
        ctx.prompter.Message(kNotArchiveMessage, "エラー", Icon::Exclamation);
        return 1;
    }
    return ExtractArchive(ctx, path) == 0 ? 0 : 1;
}

}  // namespace core
