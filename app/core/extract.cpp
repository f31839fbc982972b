#include "extract.h"

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

int32_t ExtractArchive(Context& ctx, const std::string& path) {
    DisableBrowser(ctx);
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string archive_folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string folder = FolderNameFor(name);
    const std::string destination = Destination(ctx, archive_folder);

    if (ctx.session.file_kind == kNotArchive) ctx.shell.OpenFile(path, destination);
    if (ctx.session.file_kind != kArchive) {
        EnableBrowser(ctx);
        ctx.screen.RefreshFileList();
        return ctx.session.file_kind == kNotArchive ? 0 : -1;
    }

    const int index = ctx.session.file_archiver;
    std::string wildcard = " *.*", separator = "/";
    if (index == 8) wildcard.clear();
    if (index == 11 || index == 13 || index == kSplitSet) {
        // These write into the destination itself.
        wildcard.clear();
        separator.clear();
        folder.clear();
    }
    int32_t result = 0;
    try {
        if (index == kSplitSet) {
            result = JoinSplitFiles(ctx, path, "");
        } else if (!RefuseQuotedPath(ctx, path) && !RefuseQuotedPath(ctx, destination) &&
                   !RefuseDestination(ctx, destination)) {
            if (ctx.library.GetFileCount(index, path) == 1) folder.clear();  // straight into the destination
            const bool quiet = ctx.session.settings.NoWindow != 0;
            std::string options = ExtractCommand(index);
            if (quiet) options = index == kTarIndex ? QuietOption(index) + options : options + QuietOption(index);
            const std::string line =
                options + "\"" + path + "\" \"" + destination + folder + separator + "\"" + wildcard;
            result = ctx.library.Dravx(index, ctx.owner, line);
        } else {
            EnableBrowser(ctx);
            return -1;
        }
    } catch (const LibraryMissing&) {
        result = -2;
    }

    if (result < 0) {
        // The library's own failures: the module (or the library) has gone.
        ReportMissingModule(ctx, index);
        ctx.screen.SetStatusColour(kRed);
        ctx.screen.SetStatus("解凍/復元に失敗しました。");
    } else if (result > 0) {
        ReportFailure(ctx, result);
    } else if (index == 13 || index == kSplitSet) {
        ctx.prompter.Message("復元に成功しました。", "Kelvora？", Icon::Information);
        ctx.screen.SetStatus("復元に成功しました。");
    } else {
        ctx.screen.SetStatus("解凍に成功しました。");
    }
    if (result == 0 && GetDesktopPath(ctx) != destination + folder)
        ctx.shell.OpenFolder(destination + folder + separator);
    EnableBrowser(ctx);
    ctx.screen.RefreshFileList();
    return result;
}

}  // namespace core
