// Loading the settings file at start-up: creation, upgrade and backup.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "load_settings.h"
#include "recorders.h"
#include "temp_folder.h"
#include "tree_compare.h"

namespace core {
namespace {

namespace fs = std::filesystem;

class LoadSettingsTest : public ::testing::Test {
protected:
    TempFolder app_, elsewhere_;
    SettingsFile file_{app_.Path().string()};
    const std::string app_folder_ = app_.Path().string();
    PrompterRecorder prompter_;
    std::vector<std::string> statuses_;
    Settings settings_;

    void WriteFile(const std::string& body) { std::ofstream(file_.Path(), std::ios::binary) << "[Setting]\n" + body; }
    void Load() {
        LoadSettings(file_, settings_, prompter_, [this](const std::string& text) { statuses_.push_back(text); });
    }
    std::string Key(const std::string& key) { return file_.ReadSetting(key, "<missing>"); }
    std::vector<std::string> FilesInFolder() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(app_.Path())) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(LoadSettingsTest, FirstStartCreatesTheFileQuietly) {
    Load();
    EXPECT_EQ(statuses_, std::vector<std::string>{"Creating Environment File..."});
    EXPECT_TRUE(prompter_.messages.empty());
    EXPECT_EQ(Key("Version"), "1.00");
    EXPECT_EQ(Key("LeftTwip"), "4545");
    EXPECT_EQ(Key("TopTwip"), "3015");
    // The record keeps the read defaults.
    EXPECT_EQ(settings_.LeftTwip, 3000);
    EXPECT_EQ(settings_.TopTwip, 2505);
    EXPECT_EQ(settings_.ExtractDir, app_folder_ + "/");
}

TEST_F(LoadSettingsTest, OlderFileIsRewrittenButTheRecordKeepsItsValues) {
    const std::string lzh = ArchiveTypeName(1, 1) + "Assoc", zip = ArchiveTypeName(2, 1) + "Assoc";
    const std::string old_dir = elsewhere_.Path().string();
    for (const std::string version : {"0.99", "abc", ""}) {
        SCOPED_TRACE("Version=" + version);
        prompter_.messages.clear();
        WriteFile("Version=" + version + "\nExtractNumber=3\nExtractDir=" + old_dir +
                  "\nLeftTwip=1234\nFileListDir=/old/list/\nFilePattern=2\nTurnOver=1\nNoWindow=1\n" + lzh +
                  "=1\n" + zip + "=0\n");
        Load();

        ASSERT_EQ(prompter_.messages.size(), 1u);
        EXPECT_EQ(prompter_.messages[0].text, "バージョンアップのため、設定ファイルを更新します。");
        EXPECT_EQ(prompter_.messages[0].title, "Archive Extraction Tool 「Kelvora?」");
        EXPECT_TRUE(statuses_.empty());

        EXPECT_EQ(Key("Version"), "1.00");
        EXPECT_EQ(Key("ExtractNumber"), "0");
        EXPECT_EQ(Key("ExtractDir"), app_folder_ + "/");
        EXPECT_EQ(Key("LeftTwip"), "4545");
        EXPECT_EQ(Key("FileListDir"), app_folder_ + "/");
        EXPECT_EQ(Key("FilePattern"), "0");
        EXPECT_EQ(Key("TurnOver"), "1");
        EXPECT_EQ(Key("NoWindow"), "1");
        EXPECT_EQ(Key(lzh), "1");
        EXPECT_EQ(Key(zip), "0");

        EXPECT_EQ(settings_.ExtractNumber, 3);
        EXPECT_EQ(settings_.ExtractDir, old_dir + "/");
        EXPECT_EQ(settings_.LeftTwip, 1234);
        EXPECT_EQ(settings_.FileListDir, "/old/list/");
        EXPECT_EQ(settings_.FilePattern, 2);
    }
    EXPECT_EQ(FilesInFolder(), std::vector<std::string>{"zenkari.ini"});
}

TEST_F(LoadSettingsTest, SameVersionChangesNothing) {
    WriteFile("Version=1.00\nLeftTwip=77\n");
    const std::string before = ReadFile(file_.Path());
    Load();
    EXPECT_TRUE(prompter_.messages.empty());
    EXPECT_TRUE(statuses_.empty());
    EXPECT_EQ(ReadFile(file_.Path()), before);
    EXPECT_EQ(settings_.LeftTwip, 77);
    EXPECT_EQ(FilesInFolder(), std::vector<std::string>{"zenkari.ini"});
}

TEST_F(LoadSettingsTest, NewerFileIsBackedUpAndLeftAlone) {
    WriteFile("Version=1.10\nExtractNumber=2\n");
    const std::string before = ReadFile(file_.Path());
    Load();
    ASSERT_EQ(prompter_.messages.size(), 1u);
    EXPECT_EQ(prompter_.messages[0].text, "バージョンが設定ファイルより古いので、バックアップを行います。");
    EXPECT_EQ(prompter_.messages[0].title, "Archive Extraction Tool 「Kelvora?」");
    EXPECT_EQ(ReadFile(file_.Path()), before);
    EXPECT_EQ(ReadFile(app_.Path() / "zenkari.110"), before);
    EXPECT_EQ(settings_.ExtractNumber, 2);

    // A backup of the same name is replaced.
    WriteFile("Version=1.1\nExtractNumber=1\n");
    Load();
    EXPECT_EQ(ReadFile(app_.Path() / "zenkari.110"), ReadFile(file_.Path()));
}

TEST_F(LoadSettingsTest, BackupThatCannotBeMadeIsSilent) {
    fs::create_directory(app_.Path() / "zenkari.200");  // the copy cannot replace a folder
    WriteFile("Version=2\n");
    Load();
    EXPECT_EQ(prompter_.messages.size(), 1u);
    EXPECT_TRUE(fs::is_directory(app_.Path() / "zenkari.200"));
}

TEST(BackupFileName, HundredfoldVersionInSinglePrecision) {
    EXPECT_EQ(BackupFileName(1.03f), "zenkari.103");
    EXPECT_EQ(BackupFileName(1.1f), "zenkari.110");
    EXPECT_EQ(BackupFileName(1.5f), "zenkari.150");
    EXPECT_EQ(BackupFileName(2.0f), "zenkari.200");
}

TEST_F(LoadSettingsTest, ManualDestinationIsRepaired) {
    WriteFile("Version=1.00\nExtractDir=" + app_folder_ + "/gone\n");
    Load();
    EXPECT_EQ(settings_.ExtractDir, app_folder_);  // no "/" added

    const std::string existing = elsewhere_.Path().string();
    WriteFile("Version=1.00\nExtractDir=" + existing + "\n");
    Load();
    EXPECT_EQ(settings_.ExtractDir, existing + "/");
}

}  // namespace
}  // namespace core
