#include "test_archive.h"

#include <cstdio>

#include "catalogue.h"
#include "extract.h"
#include "identify.h"
#include "result_text.h"

namespace core {

void TestArchive(Context& ctx, const std::string& path) {
    DisableBrowser(ctx);
    const int32_t index = IdentifyArchive(ctx, path);
    if (index == -99) {
        EnableBrowser(ctx);
        return;
    }
    if (index < 1 || index > 13 || TestCommand(index).empty()) {
        // Not an archive any more, or one whose module has no test.
        ctx.prompter.Message("この書庫はテストできません。", "Kelvora？", Icon::Exclamation);
        EnableBrowser(ctx);
        return;
    }
    if (RefuseQuotedPath(ctx, path)) {
        EnableBrowser(ctx);
        return;
    }
    std::string line = TestCommand(index);
    if (ctx.session.settings.NoWindow == 1) line += QuietOption(index);
    line += "\"" + path + "\"";
    int32_t result = -2;
    try {
        result = ctx.library.Dravx(index, ctx.owner, line);
    } catch (const LibraryMissing&) {
    }
    if (result == 0) {
        ctx.prompter.Message("テストに成功しました。", "Kelvora？", Icon::Information);
    } else if (result < 0) {
        ReportMissingModule(ctx, index);
    } else {
        char code[16];
        std::snprintf(code, sizeof code, "%X", static_cast<uint32_t>(result));
        ctx.prompter.Message("テストに失敗しました。DLL:" + DllName(index) + "Error Code:0x" + code, "Failed",
                             Icon::Critical);
        ctx.prompter.Message(ArchiverErrorText(result), "Failed", Icon::Critical);
    }
    EnableBrowser(ctx);
}

}  // namespace core
