// The catalogue tables and the result texts.
#include <gtest/gtest.h>

#include <set>

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

// Invariants a new or changed row must keep: the windows and the settings
// file find rows by these fields, and a clash picks the wrong archiver silently.
TEST(Catalogue, RowsAreFoundByTheirOwnFields) {
    std::set<int> dll_rows;
    std::set<std::string> assoc_keys;
    for (const ArchiverRow& row : Catalogue()) {
        EXPECT_EQ(&Archiver(row.index), &row) << row.index;
        if (row.dll_row >= 0) {
            EXPECT_TRUE(dll_rows.insert(row.dll_row).second) << "DLL list row shared: " << row.index;
            EXPECT_EQ(IndexOfDllRow(row.dll_row), row.index);
        }
        if (!row.assoc_key.empty()) {
            EXPECT_TRUE(assoc_keys.insert(row.assoc_key).second) << row.assoc_key;
            EXPECT_FALSE(row.assoc_caption.empty()) << row.index;
            EXPECT_EQ(row.kind, RowKind::kArchiver) << row.index;
        }
        // An archiver the program probes or names must have a row in the DLL list to select.
        if (row.probe_mode != 0 || !row.extensions.empty()) {
            EXPECT_GE(row.dll_row, 0) << row.index;
        }
    }
    // The list shows its rows without a gap.
    EXPECT_EQ(dll_rows.size(), static_cast<size_t>(*dll_rows.rbegin() + 1));
    EXPECT_EQ(IndexOfDllRow(-1), 0);
    EXPECT_EQ(IndexOfDllRow(static_cast<int>(dll_rows.size())), 0);
}

TEST(Catalogue, NoNameIsClaimedByTwoArchivers) {
    DllVersions all{};
    all.fill(999);
    for (const ArchiverRow& row : Catalogue())
        for (const Extension& extension : row.extensions) {
            if (extension.use == Extension::kListed) continue;
            const std::string name = "/in/a." + std::string(extension.text);
            const ArchiverRow* named = ArchiverNamedBy(name, all);
            ASSERT_NE(named, nullptr) << name;
            EXPECT_EQ(named->index, row.index) << name;
        }
}

TEST(Catalogue, NamesAreToldByTheirLastThreeCharacters) {
    DllVersions versions{};
    versions[kTarIndex] = 210;
    const std::pair<const char*, int> cases[] = {
        {"/in/a.tar.Z", 4}, {"/in/backup.TgZ", 4}, {"/in/backuptgz", 4}, {"/in/a.lzh", 1},
        {"/in/aZ", 0},      {"/in/a.gz2", 0},      {"/in/a.r01", 0},     {"/in/a.lzh.txt", 0},
        {"Z", 0},           {"", 0},
    };
    for (const auto& [name, index] : cases) {
        const ArchiverRow* named = ArchiverNamedBy(name, versions);
        EXPECT_EQ(named ? named->index : 0, index) << name;
    }
    versions[kTarIndex] = 209;  // RPM and DEB need TAR32 2.10
    EXPECT_EQ(ArchiverNamedBy("/in/a.rpm", versions), nullptr);
}

TEST(Catalogue, BrowserListsNamedAndListedExtensions) {
    EXPECT_EQ(BrowserPatterns(Archiver(6), 0), "*.RAR;*.R0?");
    EXPECT_EQ(BrowserPatterns(Archiver(kTarIndex), 209), "*.TAR;*.TGZ;*.TAZ;*.GZ;*.Z;*.TBZ;*.GZ2;*.BZ2");
    EXPECT_EQ(BrowserPatterns(Archiver(kTarIndex), 210), "*.TAR;*.TGZ;*.TAZ;*.GZ;*.Z;*.TBZ;*.GZ2;*.BZ2;*.RPM;*.DEB");
    EXPECT_EQ(BrowserPatterns(Archiver(kSplitSet), 0), "");
}

TEST(Catalogue, SplitSetRowJoinsIntoTheDestination) {
    const ArchiverRow& split = Archiver(kSplitSet);
    EXPECT_EQ(split.kind, RowKind::kSplitSet);
    EXPECT_TRUE(split.joins && split.writes_own_folder);
    EXPECT_FALSE(split.has_test());
    EXPECT_EQ(&Archiver(100), &Archiver(0));
    EXPECT_EQ(&Archiver(-1), &Archiver(0));
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
