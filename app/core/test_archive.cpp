#include "test_archive.h"

#include <cstdio>
#include <utility>

#include "catalogue.h"
#include "extract.h"
#include "identify.h"
#include "result_text.h"

namespace core {

void TestArchive(Context& ctx, const std::string& path) {
    BrowserOff browser(ctx);
    // The test reads the archive whole anyway: identification does not count it too.
    const bool count = std::exchange(ctx.session.count_entries, false);
    const int32_t identified = IdentifyArchive(ctx, path);
    ctx.session.count_entries = count;
    if (identified == kNotExamined) return;
    const ArchiverRow& row = Archiver(identified);
    if (row.kind != RowKind::kArchiver || !row.has_test()) {
        // Not an archive any more, or one whose module has no test.
        ctx.prompter.Message("この書庫はテストできません。", "Kelvora？", Icon::Exclamation);
        return;
    }
    if (RefuseQuotedPath(ctx, path)) return;
    std::string line = row.test;
    if (ctx.session.settings.NoWindow == 1) line += row.quiet;
    line += "\"" + path + "\"";
    int32_t result = -2;
    try {
        result = ctx.library.Dravx(row.index, ctx.owner, line);
    } catch (const LibraryMissing&) {
    }
    if (result == 0) {
        ctx.prompter.Message("テストに成功しました。", "Kelvora？", Icon::Information);
    } else if (result < 0) {
        ReportMissingModule(ctx, row.index);
    } else {
        char code[16];
        std::snprintf(code, sizeof code, "%X", static_cast<uint32_t>(result));
        ctx.prompter.Message("テストに失敗しました。DLL:" + row.dll_name + "Error Code:0x" + code, "Failed",
                             Icon::Critical);
        ctx.prompter.Message(ArchiverErrorText(result), "Failed", Icon::Critical);
    }
}

}  // namespace core
