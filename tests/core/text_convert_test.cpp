// Line-ending and character-code conversions of text files, against a fake
// library whose converter writes scripted bytes.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include <gtest/gtest.h>

#include "env_var.h"
#include "fake_library.h"
#include "recorders.h"
#include "temp_folder.h"
#include "text_convert.h"
#include "trash_contents.h"

namespace core {
namespace {

namespace fs = std::filesystem;

std::optional<std::string> Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A converter that writes `converted` into its output file and answers
// nkf_result; like the library, it complains itself about a missing input.
struct ConvertingLibrary : FakeLibrary {
    explicit ConvertingLibrary(Prompter& prompter) : prompter(prompter) {}
    Prompter& prompter;
    std::string converted = "converted";
    std::optional<std::string> input_seen;  // the input's contents during the call

    int32_t NkfConvertSub(HWND owner, const std::string& option, const std::string& output_file,
                          const std::string& input_file) override {
        const int32_t result = FakeLibrary::NkfConvertSub(owner, option, output_file, input_file);
        input_seen = Read(input_file);
        if (!input_seen) {
            prompter.Message("ファイルが開けませんでした。", "Dravolix Error", Icon::Exclamation);
            return -1;
        }
        std::ofstream(output_file, std::ios::binary | std::ios::trunc) << converted;
        return result;
    }
};

class TextConvertTest : public ::testing::Test, protected CoreRecorders {
protected:
    std::string Write(const std::string& name, const std::string& bytes) {
        std::ofstream(temp_.Path() / name, std::ios::binary) << bytes;
        return (temp_.Path() / name).string();
    }
    // The folder's entries, sorted: shows leftovers of a conversion.
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(temp_.Path())) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Converts the file's line endings with entry `target`; its new contents.
    std::optional<std::string> Convert(const std::string& path, int target) {
        LineEndingCommand(ctx_, path, target);
        return Read(path);
    }
    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (const auto& shown : prompter_.messages) texts.push_back(shown.text);
        return texts;
    }

    TempFolder temp_{"text-convert-test"};
    TempFolder data_{"text-convert-data"};
    EnvVar data_home_{"XDG_DATA_HOME", data_.Path().c_str()};
    Session session_;
    ConvertingLibrary library_{prompter_};
    Context ctx_ = ContextOver(session_, library_, reinterpret_cast<HWND>(0x10));
    const std::vector<std::string> browser_off_on_{"browser off", "browser on"};
};

TEST_F(TextConvertTest, DetectsTheFirstKindInOrder) {
    EXPECT_EQ(DetectLineEnding(Write("1", "a\nb\rc\r\n")), 1);
    EXPECT_EQ(DetectLineEnding(Write("2", "a\nb\rc")), 2);
    EXPECT_EQ(DetectLineEnding(Write("3", "a\nb")), 3);
    EXPECT_EQ(DetectLineEnding(Write("0", "ab")), 0);
    EXPECT_EQ(DetectLineEnding(Write("e", "")), 0);
    EXPECT_EQ(DetectLineEnding((temp_.Path() / "missing").string()), 0);
}

TEST_F(TextConvertTest, LfToCrToCrLfAndBack) {
    const std::string path = Write("a.txt", "a\nb\n");
    EXPECT_EQ(Convert(path, 2), "a\rb\r");
    EXPECT_EQ(Read(path + ".bef"), "a\nb\n");
    ASSERT_EQ(prompter_.messages.size(), 1u);
    EXPECT_EQ(prompter_.messages[0].text, "改行コードを変換しました。");
    EXPECT_EQ(prompter_.messages[0].title, "Kelvora?");
    EXPECT_EQ(prompter_.messages[0].icon, Icon::Information);
    EXPECT_EQ(screen_.events, browser_off_on_);
    EXPECT_GE(screen_.refreshes, 1);

    Write("a.txt", "a\nb\n");
    EXPECT_EQ(Convert(path, 1), "a\r\nb\r\n");
    EXPECT_EQ(Convert(path, 3), "a\nb\n");
    EXPECT_EQ(Read(path + ".bef"), "a\r\nb\r\n");
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.txt", "a.txt.bef"}));  // no temporary file left
}

// Each conversion keeps what the file held before it as the backup; the
// older backup goes to the trash, so the very first original can be restored.
TEST_F(TextConvertTest, TwoConversionsInARowLeaveTheFirstOriginalInTheTrash) {
    const std::string path = Write("a.txt", "a\nb\n");
    EXPECT_EQ(Convert(path, 1), "a\r\nb\r\n");
    EXPECT_EQ(Convert(path, 2), "a\rb\r");
    EXPECT_EQ(Read(path + ".bef"), "a\r\nb\r\n");
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.txt", "a.txt.bef"}));
    const auto trashed = TrashContents(data_.Path() / "Trash");
    ASSERT_EQ(trashed.size(), 1u);
    EXPECT_EQ(trashed[0].name, "a.txt.bef");
    EXPECT_EQ(trashed[0].contents, "a\nb\n");
    EXPECT_EQ(trashed[0].path, path + ".bef");

    // A backup that already holds the file's contents stays as it is.
    const std::string plain = Write("plain", "abc");
    Convert(plain, 1);
    const fs::file_time_type backed_up = fs::last_write_time(plain + ".bef");
    fs::permissions(plain + ".bef", fs::perms::owner_read);
    Convert(plain, 1);
    EXPECT_EQ(fs::status(plain + ".bef").permissions(), fs::perms::owner_read);
    EXPECT_EQ(fs::last_write_time(plain + ".bef"), backed_up);
    EXPECT_EQ(TrashContents(data_.Path() / "Trash").size(), 1u);
}

TEST_F(TextConvertTest, OnlyTheDetectedKindIsReplaced) {
    EXPECT_EQ(Convert(Write("m1", "a\r\nb\nc\rd\r\n"), 3), "a\nb\nc\rd\n");
    EXPECT_EQ(Convert(Write("m2", "a\rb\nc"), 1), "a\r\nb\nc");
    EXPECT_EQ(Convert(Write("m3", "a\rb\nc"), 2), "a\rb\nc");
}

TEST_F(TextConvertTest, FilesWithoutLineEndingsAreRewrittenUnchanged) {
    const std::string plain = Write("plain", "abc");
    EXPECT_EQ(Convert(plain, 1), "abc");
    EXPECT_EQ(Read(plain + ".bef"), "abc");

    const std::string empty = Write("empty", "");
    EXPECT_EQ(Convert(empty, 2), "");
    EXPECT_EQ(Read(empty + ".bef"), "");

    const std::string crlf = Write("crlf", "x\r\ny\r\n");
    Write("crlf.bef", "older backup");
    EXPECT_EQ(Convert(crlf, 1), "x\r\ny\r\n");
    EXPECT_EQ(Read(crlf + ".bef"), "x\r\ny\r\n");

    EXPECT_EQ(Texts(), std::vector<std::string>(3, "改行コードを変換しました。"));
}

TEST_F(TextConvertTest, ShiftJisCharactersPassUnchanged) {
    // 表 and ソ: second bytes 0x5C, none of them CR or LF.
    const std::string path = Write("sjis.txt", "\x95\x5C\r\n\x83\x5C\r\n");
    EXPECT_EQ(Convert(path, 3), "\x95\x5C\n\x83\x5C\n");
    EXPECT_EQ(Convert(path, 2), "\x95\x5C\r\x83\x5C\r");
    EXPECT_EQ(Convert(path, 1), "\x95\x5C\r\n\x83\x5C\r\n");
}

TEST_F(TextConvertTest, ConvertedFilesKeepTheirPermissionBits) {
    const std::string text = Write("text", "a\n");
    fs::permissions(text, fs::perms(0754));
    Convert(text, 1);
    EXPECT_EQ(fs::status(text).permissions(), fs::perms(0754));

    const std::string code = Write("code", "a");
    fs::permissions(code, fs::perms(0640));
    KanjiCodeCommand(ctx_, code, 1);
    EXPECT_EQ(fs::status(code).permissions(), fs::perms(0640));
}

TEST_F(TextConvertTest, UnreadableFileIsReportedAndNothingIsMade) {
    const std::string missing = (temp_.Path() / "missing.txt").string();
    LineEndingCommand(ctx_, missing, 1);
    const std::string below_file = Write("file", "x") + "/inner.txt";
    LineEndingCommand(ctx_, below_file, 1);

    ASSERT_EQ(prompter_.messages.size(), 2u);
    EXPECT_EQ(prompter_.messages[0].text, "ファイルを読み込めませんでした。\n" + missing);
    EXPECT_EQ(prompter_.messages[0].title, "Kelvora?");
    EXPECT_EQ(prompter_.messages[0].icon, Icon::Exclamation);
    EXPECT_EQ(prompter_.messages[1].text, "ファイルを読み込めませんでした。\n" + below_file);
    EXPECT_EQ(Names(), std::vector<std::string>{"file"});
    EXPECT_TRUE(screen_.browser_enabled);
}

// A backup name held by a non-empty folder cannot be replaced, even by root.
TEST_F(TextConvertTest, BlockedBackupKeepsTheOriginal) {
    const std::string path = Write("a.txt", "a\nb\n");
    fs::create_directory(temp_.Path() / "a.txt.bef");
    Write("a.txt.bef/keep", "k");

    LineEndingCommand(ctx_, path, 1);
    EXPECT_EQ(Read(path), "a\nb\n");
    EXPECT_EQ(Read(path + ".bef/keep"), "k");
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.txt", "a.txt.bef"}));
    ASSERT_EQ(prompter_.messages.size(), 1u);
    EXPECT_EQ(prompter_.messages[0].text.rfind("改行コードを変換できませんでした。\n", 0), 0u)
        << prompter_.messages[0].text;
    EXPECT_NE(prompter_.messages[0].text.find(path + ".bef"), std::string::npos);
    EXPECT_EQ(prompter_.messages[0].title, "Kelvora?");
    EXPECT_EQ(prompter_.messages[0].icon, Icon::Exclamation);
    EXPECT_EQ(screen_.events, browser_off_on_);

    prompter_.messages.clear();
    KanjiCodeCommand(ctx_, path, 2);
    EXPECT_EQ(Read(path), "a\nb\n");
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.txt", "a.txt.bef"}));
    ASSERT_EQ(prompter_.messages.size(), 1u);
    EXPECT_EQ(prompter_.messages[0].text.rfind("変換に失敗しました。\n", 0), 0u) << prompter_.messages[0].text;
    EXPECT_TRUE(screen_.browser_enabled);
}

TEST_F(TextConvertTest, KanjiCodesConvertThroughATemporaryOutput) {
    const std::string path = Write("k.txt", "original");
    const char* const expected[] = {"Shift-JISへの変換に成功しました!!", "JISへの変換に成功しました!!",
                                    "EUCへの変換に成功しました!!"};
    const char* const options[] = {"-s", "-j", "-e"};
    for (int code = 1; code <= 3; ++code) {
        SCOPED_TRACE(code);
        Write("k.txt", "original");
        library_.calls.clear();
        prompter_.messages.clear();
        library_.converted = "converted " + std::to_string(code);

        KanjiCodeCommand(ctx_, path, code);
        EXPECT_EQ(library_.input_seen, "original");
        EXPECT_EQ(Read(path), library_.converted);
        EXPECT_EQ(Read(path + ".bef"), "original");
        EXPECT_EQ(Names(), (std::vector<std::string>{"k.txt", "k.txt.bef"}));

        // The converter wrote to a fresh file beside the original, not over it.
        ASSERT_EQ(library_.calls.size(), 1u);
        EXPECT_TRUE(library_.calls[0].starts_with(std::string("NkfConvertSub owner ") + options[code - 1] + " " +
                                                  temp_.Path().string() + "/."))
            << library_.calls[0];
        EXPECT_TRUE(library_.calls[0].ends_with(" " + path));

        ASSERT_EQ(prompter_.messages.size(), 1u);
        EXPECT_EQ(prompter_.messages[0].text, expected[code - 1]);
        EXPECT_EQ(prompter_.messages[0].title, "Kelvora?");
        EXPECT_EQ(prompter_.messages[0].icon, Icon::Information);
    }
    EXPECT_EQ(screen_.refreshes, 0);
}

TEST_F(TextConvertTest, FailedKanjiConversionLeavesTheFileAlone) {
    const std::string path = Write("k.txt", "original");
    Write("k.txt.bef", "older backup");
    library_.nkf_result = -1;  // the converter wrote its output, yet answers failure
    KanjiCodeCommand(ctx_, path, 3);
    EXPECT_EQ(Read(path), "original");
    EXPECT_EQ(Read(path + ".bef"), "older backup");
    EXPECT_EQ(Names(), (std::vector<std::string>{"k.txt", "k.txt.bef"}));
    EXPECT_EQ(Texts(), std::vector<std::string>{"変換に失敗しました。"});
    EXPECT_EQ(prompter_.messages[0].title, "Kelvora?");
    EXPECT_EQ(prompter_.messages[0].icon, Icon::Information);
    EXPECT_EQ(screen_.events, browser_off_on_);

    prompter_.messages.clear();
    library_.missing = true;  // Dravolix itself is gone
    KanjiCodeCommand(ctx_, path, 1);
    EXPECT_EQ(Read(path), "original");
    EXPECT_EQ(Names(), (std::vector<std::string>{"k.txt", "k.txt.bef"}));
    ASSERT_EQ(prompter_.messages.size(), 1u);
    EXPECT_EQ(prompter_.messages[0].text.rfind("変換に失敗しました。", 0), 0u);
    EXPECT_TRUE(screen_.browser_enabled);
}

TEST_F(TextConvertTest, MissingInputIsReportedByTheLibraryOnly) {
    const std::string path = (temp_.Path() / "gone.txt").string();
    KanjiCodeCommand(ctx_, path, 2);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"ファイルが開けませんでした。", "変換に失敗しました。"}));
    EXPECT_TRUE(Names().empty());
    EXPECT_EQ(screen_.events, browser_off_on_);
}

}  // namespace
}  // namespace core
