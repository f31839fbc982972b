#include "join.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "identify.h"
#include "process.h"
#include "split_set.h"
#include "trash.h"

namespace core {
namespace {

constexpr int32_t kNoName = 0x8020;
constexpr int32_t kScriptNotWritten = 0x8022;
constexpr int32_t kJoinFailed = 0x8013;

// The script: parts appended to a temporary name beside the output, which is
// renamed into place only when every part is in; any failure stops it.
std::string Script(const std::vector<std::string>& parts, const std::string& output, const std::string& partial) {
    std::string script = "#!/bin/sh\nset -e\n";
    script += "cat " + ShellQuote(parts.front()) + " > " + ShellQuote(partial) + "\n";
    for (size_t i = 1; i < parts.size(); ++i)
        script += "cat " + ShellQuote(parts[i]) + " >> " + ShellQuote(partial) + "\n";
    script += "mv -f -T " + ShellQuote(partial) + " " + ShellQuote(output) + "\n";
    return script;
}

}  // namespace

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

int32_t JoinSplitFiles(Context& ctx, const std::string& first_part, std::string output_name, std::string* joined) {
    DisableBrowser(ctx);
    if (output_name.empty()) {
        auto answer = ctx.prompter.Input("解凍後のファイル名を入力してください。", "ファイル名の入力",
                                         JoinedName(first_part));
        if (!answer || answer->empty()) return kNoName;
        output_name = *answer;
    }
    ctx.session.join_batch_file = ctx.session.settings_folder + "tmpexec.sh";
    const std::string folder = ctx.screen.BrowsedFolder();
    // A relative output name is taken in the browsed folder, as the script runs there.
    const std::string output_path = output_name.front() == '/' ? output_name : folder + "/" + output_name;
    const std::string partial = output_path + ".kelvora-join";
    struct stat st {};
    if (stat(output_path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        EnableBrowser(ctx);
        return kJoinFailed;  // a folder of that name would take the output inside it
    }
    {
        std::ofstream script(ctx.session.join_batch_file, std::ios::binary | std::ios::trunc);
        script << Script(SplitParts(first_part), output_path, partial);
        script.close();
        if (!script) {
            EnableBrowser(ctx);
            return kScriptNotWritten;
        }
    }
    // The script's last step renames over the output: a file of that name goes to the trash first.
    if (lstat(output_path.c_str(), &st) == 0 && !platform::PutAway(output_path)) {
        EnableBrowser(ctx);
        return kJoinFailed;
    }
    int status = platform::RunHidden({"/bin/sh", ctx.session.join_batch_file}, folder);
    if (status != 0) unlink(partial.c_str());
    if (status == 0 && joined) *joined = output_path;
    EnableBrowser(ctx);
    return status == 0 ? 0 : kJoinFailed;
}

}  // namespace core
