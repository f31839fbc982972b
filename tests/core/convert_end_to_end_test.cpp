// The character-code command through Dravolix and our nkf32 module.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "module_loader.h"
#include "recorders.h"
#include "temp_folder.h"
#include "text_convert.h"
#include "tree_compare.h"

namespace core {
namespace {

class ConvertEndToEndTest : public ::testing::Test, protected CoreRecorders {
protected:
    void SetUp() override { platform::SetModuleDirectory(KELVORA_BIN_DIR); }
    void TearDown() override { platform::SetModuleDirectory(""); }

    TempFolder folder_{"convert-e2e"};
    Session session_;
    DravolixLibrary library_;
    Context ctx_ = ContextOver(session_, library_);
};

TEST_F(ConvertEndToEndTest, ShiftJisToJisAndBackIsByteIdentical) {
    // 表示テスト, ﾊﾝｶｸ, CR LF.
    const std::string original = "\x95\x5c\x8e\xa6\x83\x65\x83\x58\x83\x67 \xca\xdd\xb6\xb8\r\n";
    const std::string path = (folder_.Path() / "a.txt").string();
    std::ofstream(path, std::ios::binary) << original;
    KanjiCodeCommand(ctx_, path, 2);
    EXPECT_EQ(prompter_.messages.back().text, "JISへの変換に成功しました!!");
    EXPECT_EQ(ReadFile(path + ".bef"), original);
    EXPECT_EQ(ReadFile(path).front(), '\x1b');
    KanjiCodeCommand(ctx_, path, 3);
    EXPECT_EQ(prompter_.messages.back().text, "EUCへの変換に成功しました!!");
    KanjiCodeCommand(ctx_, path, 1);
    EXPECT_EQ(prompter_.messages.back().text, "Shift-JISへの変換に成功しました!!");
    EXPECT_EQ(ReadFile(path), original);
}

TEST_F(ConvertEndToEndTest, MissingConverterOrInputLosesNothing) {
    const std::string path = (folder_.Path() / "b.txt").string();
    KanjiCodeCommand(ctx_, path, 1);  // no such file: the library says so first
    EXPECT_EQ(prompter_.messages.back().text, "変換に失敗しました。");
    EXPECT_TRUE(std::filesystem::is_empty(folder_.Path()));

    // The library without the converter beside it.
    TempFolder bare("no-converter");
    std::filesystem::copy_file(std::string(KELVORA_BIN_DIR) + "/Dravolix.so", bare.Path() / "Dravolix.so");
    platform::SetModuleDirectory(bare.Path().string());
    std::ofstream(path) << "text\n";
    DravolixLibrary library;
    Context ctx = ContextOver(session_, library);
    EXPECT_EQ(library.GetNkfVersion(), 0);
    KanjiCodeCommand(ctx, path, 2);
    EXPECT_EQ(prompter_.messages.back().text, "変換に失敗しました。");
    EXPECT_EQ(ReadFile(path), "text\n");
    EXPECT_FALSE(std::filesystem::exists(path + ".bef"));
}

}  // namespace
}  // namespace core
