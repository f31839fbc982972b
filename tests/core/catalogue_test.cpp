// The catalogue tables and the result texts.
#include <gtest/gtest.h>

#include "catalogue.h"
#include "result_text.h"

namespace core {
namespace {

TEST(Catalogue, NamesAndCommandsAreExact) {
    for (int index = 1; index < kCatalogueSize; ++index) {
        if (index == 9) continue;
        EXPECT_EQ(DllName(index).size(), 12u) << index;
        // Only UNARJ32J.DLL and DRAVOLIX.DLL fill all twelve characters.
        EXPECT_EQ(DllName(index).back() == ' ', index != 5 && index != 15) << index;
        for (const std::string* part : {&ExtractCommand(index), &TestCommand(index), &QuietOption(index)})
            EXPECT_TRUE(part->empty() || part->back() == ' ') << index;
    }
    EXPECT_EQ(DllName(3), "CAB32.DLL   ");
    EXPECT_EQ(ExtractCommand(11), " ");
    EXPECT_EQ(ExtractCommand(10) + QuietOption(10), "e -xx1 -sx0 ");
    EXPECT_EQ(QuietOption(4) + ExtractCommand(4), "--display-dialog=0 -xvf ");
    EXPECT_EQ(QuietOption(6), "");
    EXPECT_EQ(TestCommand(4), "");
    EXPECT_EQ(DllName(9), "");
    EXPECT_EQ(ExtractCommand(12), "");
    EXPECT_EQ(DllName(99), "");
}

TEST(Catalogue, TypeLabels) {
    EXPECT_EQ(ArchiveTypeName(4, 2), "GZIP");
    EXPECT_EQ(ArchiveTypeName(4, 53), "AR-Z");
    EXPECT_EQ(ArchiveTypeName(8, 2), "パスワード付きYZ1");
    EXPECT_EQ(ArchiveTypeName(7, 1) + "Assoc", "GZAAssoc");
    EXPECT_EQ(ArchiveTypeName(13, 1) + "Assoc", "JACKAssoc");
    for (auto [index, code] : {std::pair{4, 8}, {4, 0}, {1, 2}, {9, 1}, {4, 56}, {-1, 1}})
        EXPECT_EQ(ArchiveTypeName(index, code), "") << index << "," << code;
    for (int index : {1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 13, 14, 15}) EXPECT_FALSE(DllCredit(index).empty());
}

TEST(ResultText, KnownAndOtherCodes) {
    EXPECT_EQ(ArchiverErrorText(0x800C), "ファイルのチェックサムエラーです。");
    EXPECT_EQ(ArchiverErrorText(0x8020), "ユーザーにより処理が中断されました。");
    EXPECT_EQ(ArchiverErrorText(0x8016), ArchiverErrorText(0x801B));
    EXPECT_EQ(ArchiverErrorText(0x8005), "ディスクの空き容量が不足しています。");
    EXPECT_EQ(ArchiverErrorText(0x8021), "キャンセルキーが押されました。");
    for (auto [code, hex] : {std::pair{0x8004, "8004"}, {0x800B, "800B"}, {0x8011, "8011"}, {0x8022, "8022"},
                             {0, "0"}, {-1, "FFFFFFFF"}})
        EXPECT_EQ(ArchiverErrorText(code), std::string("その他のエラー : 0x") + hex);
}

}  // namespace
}  // namespace core
