#include "extract.h"

#include <optional>
#include <strings.h>

#include "folders.h"
#include "identify.h"
#include "join.h"
#include "result_text.h"

namespace core {
namespace {

using platform::WithSlash;

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
                              const ArchiverRow& row, bool single_entry) {
    const size_t slash = archive.rfind('/');
    std::string folder = FolderNameFor(slash == std::string::npos ? archive : archive.substr(slash + 1));
    std::string separator = "/";
    if (row.writes_own_folder) separator.clear();
    if (row.writes_own_folder || single_entry) folder.clear();

    std::string options = row.extract;
    if (settings.NoWindow != 0) options = row.quiet_first ? row.quiet + options : options + row.quiet;
    ExtractionPlan plan;
    plan.landing = destination + folder;
    plan.shown = plan.landing + separator;
    plan.command_line = options + "\"" + archive + "\" \"" + plan.shown + "\"" + (row.wildcard ? " *.*" : "");
    return plan;
}

namespace {

// The extraction's outcome and where its entries went.
struct Extraction {
    int32_t result = 0;
    ExtractionPlan plan;
};

// Runs the archiver's module with its planned command line, or the
// program's own join; the library's absence is the library's -2.
Extraction Run(Context& ctx, const ArchiverRow& row, const std::string& path, const std::string& destination) {
    const bool joined_here = row.kind == RowKind::kSplitSet;
    Extraction done;
    try {
        const bool single_entry = !joined_here && ctx.library.GetFileCount(row.index, path) == 1;
        done.plan = PlanExtraction(path, destination, ctx.session.settings, row, single_entry);
        done.result = joined_here ? JoinSplitFiles(ctx, path, "")
                                  : ctx.library.Dravx(row.index, ctx.owner, done.plan.command_line);
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
    if (done.result == 0 && GetDesktopPath(ctx) != done.plan.landing) ctx.shell.OpenFolder(done.plan.shown);
}

// The answer of ExtractArchive; nothing when the paths were refused before
// anything was tried.
std::optional<int32_t> ExtractWithBrowserOff(Context& ctx, const std::string& path) {
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

}  // namespace core
