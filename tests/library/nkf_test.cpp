// The library's converter exports with our nkf32 module.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "dravolix.h"
#include "module_loader.h"
#include "temp_folder.h"
#include "tree_compare.h"

namespace {

class NkfTest : public ::testing::Test {
protected:
    void SetUp() override { platform::SetModuleDirectory(KELVORA_BIN_DIR); }
    void TearDown() override { platform::SetModuleDirectory(""); }

    std::string Path(const std::string& name) const { return (folder_.Path() / name).string(); }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(Path(name), std::ios::binary) << bytes;
    }
    // Converts `from` into `to`; the answer and what the library told the user.
    std::pair<int32_t, std::string> Convert(const char* option, const std::string& to, const std::string& from) {
        ::testing::internal::CaptureStderr();
        int32_t result = DravxNkfConvertSub(nullptr, option, Path(to).c_str(), Path(from).c_str());
        return {result, ::testing::internal::GetCapturedStderr()};
    }

    TempFolder folder_{"nkf-test"};
};

// 日本語テキスト, ｶﾀｶﾅ, ①, CR LF and LF.
const std::string kShiftJis = "\x93\xfa\x96\x7b\x8c\xea\x83\x65\x83\x4c\x83\x58\x83\x67\r\n\xb6\xc0\xb6\xc5 \x87\x40\n";

TEST_F(NkfTest, RoundTripThroughEveryCodeIsByteIdentical) {
    EXPECT_EQ(DravxGetNkfVersion(), 210);
    Write("sjis.txt", kShiftJis);
    EXPECT_EQ(Convert("-j", "jis.txt", "sjis.txt").first, 0);
    EXPECT_EQ(Convert("-e", "euc.txt", "jis.txt").first, 0);
    EXPECT_EQ(Convert("-s", "back.txt", "euc.txt").first, 0);
    EXPECT_EQ(ReadFile(Path("back.txt")), kShiftJis);
    EXPECT_NE(ReadFile(Path("jis.txt")), kShiftJis);
    EXPECT_EQ(ReadFile(Path("jis.txt")).find('\x1b'), 0u);  // JIS starts with an escape
}

TEST_F(NkfTest, OutputLongerThanTwiceTheInputIsWrittenWhole) {
    // Each half-width katakana alone becomes an escape, the byte and an escape back.
    std::string katakana;
    for (int i = 0; i < 200; ++i) katakana += i % 2 ? "\xb1 " : "\xb2\n";
    Write("kana.txt", katakana);
    EXPECT_EQ(Convert("-j", "kana.jis", "kana.txt").first, 0);
    EXPECT_GT(ReadFile(Path("kana.jis")).size(), 2 * katakana.size());
    EXPECT_EQ(Convert("-s", "kana.back", "kana.jis").first, 0);
    EXPECT_EQ(ReadFile(Path("kana.back")), katakana);
}

TEST_F(NkfTest, FailuresAreToldAndLeaveNoOutput) {
    auto [missing, missingText] = Convert("-s", "out.txt", "absent.txt");
    EXPECT_EQ(missing, -1);
    EXPECT_NE(missingText.find("ファイルが開けませんでした。"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Path("out.txt")));

    Write("in.txt", std::string("ab\0cd\n", 6));
    auto [refused, refusedText] = Convert("-z", "out.txt", "in.txt");
    EXPECT_EQ(refused, -1);
    EXPECT_NE(refusedText.find("コマンド入力エラー"), std::string::npos);

    auto [unwritable, unwritableText] = Convert("-s", "no/such/folder.txt", "in.txt");
    EXPECT_EQ(unwritable, -1);
    EXPECT_NE(unwritableText.find("ファイルの書き込みエラー"), std::string::npos);

    // The converted text ends at its first zero byte.
    EXPECT_EQ(Convert("-s", "out.txt", "in.txt").first, 0);
    EXPECT_EQ(ReadFile(Path("out.txt")), "ab");

    platform::SetModuleDirectory(folder_.Path().string());  // no converter there
    EXPECT_EQ(DravxGetNkfVersion(), 0);
    EXPECT_EQ(Convert("-s", "other.txt", "in.txt"), (std::pair<int32_t, std::string>{-2, ""}));
}

}  // namespace
