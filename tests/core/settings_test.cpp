// The profile reader/writer and the settings file on top of it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "profile.h"
#include "settings.h"
#include "temp_folder.h"
#include "tree_compare.h"
#include "env_var.h"

namespace core {
namespace {

namespace fs = std::filesystem;
using platform::ReadProfileString;
using platform::WriteProfileString;

void Spit(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string WithEol(std::string text, const std::string& eol) {
    for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += eol.size()) text.replace(at, 1, eol);
    return text;
}


// An application folder we can write in, with HOME and XDG_CONFIG_HOME kept
// away from the real ones.
class SettingsTest : public ::testing::Test {
protected:
    TempFolder app_, home_;
    EnvVar home_var_{"HOME", home_.Path().c_str()};
    EnvVar xdg_var_{"XDG_CONFIG_HOME", nullptr};
    SettingsFile file_{app_.Path().string()};
    std::string app_slash_ = app_.Path().string() + "/";

    void WriteSettingFile(const std::string& body) { Spit(file_.Path(), "[Setting]\n" + body); }
};

TEST(Profile, LookupRules) {
    TempFolder folder;
    const fs::path ini = folder.Path() / "a.ini";
    Spit(ini, "Top=before any section\n"
              "[Other]\nKey=other\n"
              "  [ setting ]  ; a comment\n"
              "; Key=commented\n"
              "  kEY  =  first value  \r\n"
              "Key=second\n"
              "Empty=\n"
              "NoEquals\n"
              "[Setting]\nKey=third\nLater=from a second copy of the section\n"
              "[Tail]\nLast=no final line ending");
    struct Case {
        const char* section;
        const char* key;
        std::optional<std::string> value;
    };
    const Case cases[] = {
        {"Setting", "Key", "first value"},  {" SETTING ", "key ", "first value"},
        {"Setting", "Empty", ""},           {"Setting", "Later", "from a second copy of the section"},
        {"Other", "Key", "other"},          {"Tail", "Last", "no final line ending"},
        {"Setting", "Top", std::nullopt},   {"Setting", "NoEquals", std::nullopt},
        {"Setting", "Missing", std::nullopt}, {"Nowhere", "Key", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ReadProfileString(ini.string(), c.section, c.key), c.value) << c.key;
    EXPECT_EQ(ReadProfileString((folder.Path() / "missing.ini").string(), "Setting", "Key"), std::nullopt);
    EXPECT_EQ(ReadProfileString(folder.Path().string(), "Setting", "Key"), std::nullopt);  // a folder
}

TEST(Profile, WritesKeepEveryOtherByteAndTheLineEnding) {
    for (const std::string eol : {"\n", "\r\n"}) {
        TempFolder folder;
        const fs::path ini = folder.Path() / "a.ini";
        Spit(ini, WithEol("; written by hand\n[Setting]\n  Dir = /old/dir/   \nA=1\n; last word\n\n\n"
                          "[Other]\nDir=untouched\n",
                          eol));
        EXPECT_TRUE(WriteProfileString(ini.string(), "setting", "DIR", "/new/dir/"));
        EXPECT_TRUE(WriteProfileString(ini.string(), "Setting", "B", "2"));
        EXPECT_TRUE(WriteProfileString(ini.string(), "Other", "C", ""));
        EXPECT_TRUE(WriteProfileString(ini.string(), "New", "D", "4"));
        EXPECT_EQ(ReadFile(ini), WithEol("; written by hand\n[Setting]\n  Dir = /new/dir/\nA=1\nB=2\n; last word\n\n\n"
                                      "[Other]\nDir=untouched\nC=\n\n[New]\nD=4\n",
                                      eol));
    }
    TempFolder folder;
    const fs::path ini = folder.Path() / "b.ini";
    Spit(ini, "[S]\nA=1");  // no final line ending
    EXPECT_TRUE(WriteProfileString(ini.string(), "S", "B", "2"));
    EXPECT_EQ(ReadFile(ini), "[S]\nA=1\nB=2");
    EXPECT_TRUE(WriteProfileString((folder.Path() / "new.ini").string(), "S", "A", "1"));
    EXPECT_EQ(ReadFile(folder.Path() / "new.ini"), "[S]\nA=1\n");
    for (const char* bad : {"a\rb", "a\nb"}) EXPECT_FALSE(WriteProfileString(ini.string(), "S", "A", bad));
    EXPECT_FALSE(WriteProfileString(ini.string(), "S", "A=B", "1"));
    EXPECT_FALSE(WriteProfileString(ini.string(), "S]", "A", "1"));
    EXPECT_EQ(ReadFile(ini), "[S]\nA=1\nB=2");
}

TEST(Profile, ReplacementKeepsPermissionsAndWritesThroughLinks) {
    TempFolder folder;
    const fs::path ini = folder.Path() / "a.ini", link = folder.Path() / "link.ini";
    Spit(ini, "[S]\nA=1\n");
    chmod(ini.c_str(), 0640);
    fs::create_symlink(ini, link);
    EXPECT_TRUE(WriteProfileString(link.string(), "S", "A", "2"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(ini), "[S]\nA=2\n");
    struct stat st {};
    ASSERT_EQ(stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(Profile, FailedWritesLeaveTheFileAlone) {
    TempFolder folder;
    const fs::path ini = folder.Path() / "a.ini";
    const std::string before = "[S]\nA=1\n";
    Spit(ini, before);
    // A full disk, simulated with a file size limit (which holds for root too).
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = before.size();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = WriteProfileString(ini.string(), "S", "A", std::string(100, 'x'));
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadFile(ini), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), fs::directory_iterator()), 1);  // no temporary left

    // The file is a folder, or its folder is a regular file.
    EXPECT_FALSE(WriteProfileString(folder.Path().string(), "S", "A", "1"));
    EXPECT_FALSE(WriteProfileString((ini / "b.ini").string(), "S", "A", "1"));
    EXPECT_EQ(ReadFile(ini), before);
}

TEST_F(SettingsTest, FirstStartWritesTheCreationValuesInOrder) {
    const Settings defaults = file_.Read();  // no file yet
    EXPECT_FLOAT_EQ(defaults.Version, 1.0f);
    EXPECT_EQ(defaults.LeftTwip, 3000);
    EXPECT_EQ(defaults.TopTwip, 2505);
    EXPECT_EQ(defaults.ExtractDir, app_slash_);
    EXPECT_EQ(defaults.FileListDir, app_slash_);

    Settings current;
    current.TurnOver = 1;
    current.Assoc[2] = 1;
    current.Assoc[13] = 7;  // any non-zero flag is written as 1
    current.Assoc[9] = 1;   // not a kept archiver
    current.PreventDoubleFolder = 1;  // the check boxes start from their defaults
    current.OpenAfterExtract = 0;
    ASSERT_TRUE(file_.WriteDefaultSettings(current));
    EXPECT_EQ(ReadFile(file_.Path()), "[Setting]\nVersion=1.00\nExtractNumber=0\nExtractDir=" + app_slash_ +
                                       "\nLeftTwip=4545\nTopTwip=3015\nFileListDir=" + app_slash_ +
                                       "\nFilePattern=0\nTurnOver=1\nNoWindow=0\nLZHAssoc=0\nZIPAssoc=1\n"
                                       "CABAssoc=0\nTARAssoc=0\nARJAssoc=0\nRARAssoc=0\nGZAAssoc=0\nYZ1Assoc=0\n"
                                       "GCAAssoc=0\nBELAssoc=0\nJACKAssoc=1\n"
                                       "PreventDoubleFolder=0\nOpenAfterExtract=1\nMakeArchiveFolder=1\n");
    EXPECT_EQ(file_.Read().LeftTwip, 4545);
}

TEST_F(SettingsTest, SavedStateReadsBack) {
    Settings settings;
    settings.Version = 0.5f;  // the program's version is written, not this
    settings.ExtractNumber = 3;
    settings.ExtractDir = " \t/home/ユーザー/解凍先/  ";
    settings.NoWindow = 1;
    settings.Assoc[10] = 1;
    settings.PreventDoubleFolder = 1;
    settings.OpenAfterExtract = 0;
    settings.MakeArchiveFolder = 0;
    const WindowState window{-120, 7000, "/home/ユーザー/", 2};
    ASSERT_TRUE(SaveSettings(file_, settings, window));
    const Settings read = file_.Read();
    EXPECT_FLOAT_EQ(read.Version, 1.0f);
    EXPECT_EQ(read.ExtractNumber, 3);
    EXPECT_EQ(read.ExtractDir, "/home/ユーザー/解凍先/");
    EXPECT_EQ(read.LeftTwip, -120);
    EXPECT_EQ(read.TopTwip, 7000);
    EXPECT_EQ(read.FileListDir, "/home/ユーザー/");
    EXPECT_EQ(read.FilePattern, 2);
    EXPECT_EQ(read.NoWindow, 1);
    EXPECT_EQ(read.Assoc, (decltype(read.Assoc){0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(read.PreventDoubleFolder, 1);
    EXPECT_EQ(read.OpenAfterExtract, 0);
    EXPECT_EQ(read.MakeArchiveFolder, 0);
}

TEST_F(SettingsTest, AFileWithoutTheCheckBoxKeysReadsTheirDefaults) {
    WriteSettingFile("Version=1.00\nJACKAssoc=1\n");
    Settings read = file_.Read();
    EXPECT_EQ(read.PreventDoubleFolder, 0);
    EXPECT_EQ(read.OpenAfterExtract, 1);
    EXPECT_EQ(read.MakeArchiveFolder, 1);
    // Anything but 0 or 1 is the default too.
    WriteSettingFile("PreventDoubleFolder=yes\nOpenAfterExtract=2\nMakeArchiveFolder=\n");
    read = file_.Read();
    EXPECT_EQ(read.PreventDoubleFolder, 0);
    EXPECT_EQ(read.OpenAfterExtract, 1);
    EXPECT_EQ(read.MakeArchiveFolder, 1);
}

TEST_F(SettingsTest, EmptyAndMissingValues) {
    WriteSettingFile("Version=\nExtractDir=\nLeftTwip=\nFileListDir=\n");
    const Settings read = file_.Read();
    EXPECT_EQ(read.Version, 0.0f);
    EXPECT_EQ(read.ExtractDir, app_slash_);
    EXPECT_EQ(read.LeftTwip, 0);
    EXPECT_EQ(read.TopTwip, 2505);
    EXPECT_EQ(read.FileListDir, "");
    EXPECT_EQ(file_.ReadSetting("FileListDir", "fallback"), "");
    EXPECT_EQ(file_.ReadSetting("TopTwip", "fallback"), "fallback");
}

TEST_F(SettingsTest, BadNumbersFallBackToTheReadDefaults) {
    struct Case {
        const char* key;
        const char* text;
        long long expected;
    };
    const Case cases[] = {
        {"ExtractNumber", "3", 3}, {"ExtractNumber", "4", 0}, {"ExtractNumber", "-1", 0}, {"ExtractNumber", "2x", 0},
        {"ExtractNumber", "1.0", 0}, {"ExtractNumber", "+2", 2}, {"ExtractNumber", "99999999999999999999", 0},
        {"FilePattern", "2", 2}, {"FilePattern", "3", 0}, {"ZIPAssoc", "1", 1}, {"ZIPAssoc", "2", 0},
        {"ZIPAssoc", "yes", 0}, {"LeftTwip", "12.5", 12}, {"LeftTwip", "13.5", 14}, {"LeftTwip", "-2.5", -2},
        {"LeftTwip", "100abc", 100}, {"LeftTwip", "abc", 0}, {"LeftTwip", "1e3", 1}, {"LeftTwip", "1.2.3", 1},
        {"LeftTwip", "99999999999", INT32_MAX}, {"LeftTwip", "-99999999999", INT32_MIN}, {"TurnOver", "1", 1},
        {"TurnOver", "2", 0}, {"TurnOver", "0.6", 1}, {"TurnOver", "1 time", 1}, {"TurnOver", "-1", 0},
    };
    for (const Case& c : cases) {
        WriteSettingFile(std::string(c.key) + "=" + c.text + "\n");
        const Settings s = file_.Read();
        const std::string key = c.key;
        const long long got = key == "ExtractNumber" ? s.ExtractNumber
                              : key == "FilePattern" ? s.FilePattern
                              : key == "ZIPAssoc"    ? s.Assoc[2]
                              : key == "LeftTwip"    ? s.LeftTwip
                                                     : s.TurnOver;
        EXPECT_EQ(got, c.expected) << c.key << "=" << c.text;
    }
    for (auto [text, expected] : {std::pair{"1.5abc", 1.5f}, {"-0.25", -0.25f}, {".", 0.0f}, {"+3.", 3.0f}}) {
        WriteSettingFile(std::string("Version=") + text + "\n");
        EXPECT_FLOAT_EQ(file_.Read().Version, expected) << text;
    }
}

TEST_F(SettingsTest, WriteSettingTrimsAndEditsInPlace) {
    const std::string eol = "\r\n";
    Spit(file_.Path(), WithEol("[Setting]\nExtractDir=/old/\nLeftTwip=1\n\n[Mine]\n; keep me\nExtractDir=x\n", eol));
    std::string value = " \t/new dir/ \t";
    ASSERT_TRUE(file_.WriteSetting("ExtractDir", value));
    EXPECT_EQ(value, "/new dir/");
    std::string top = "2505";
    ASSERT_TRUE(file_.WriteSetting("TopTwip", top));
    EXPECT_EQ(ReadFile(file_.Path()),
              WithEol("[Setting]\nExtractDir=/new dir/\nLeftTwip=1\nTopTwip=2505\n\n[Mine]\n; keep me\nExtractDir=x\n", eol));
}

TEST_F(SettingsTest, LongValuesAreCutAtACharacterBoundary) {
    const auto repeat = [](const std::string& s, int n) {
        std::string out;
        while (n-- > 0) out += s;
        return out;
    };
    const std::pair<std::string, size_t> cases[] = {
        {std::string(300, 'a'), 254},         {repeat("解", 100), 252},
        {"ab" + repeat("解", 100), 254},      {"a" + repeat("😀", 80), 253},
        {std::string(300, '\x80'), 254},  // not UTF-8: cut at the limit
    };
    for (const auto& [value, length] : cases) {
        WriteSettingFile("ExtractDir=" + value + "\n");
        EXPECT_EQ(file_.ReadSetting("ExtractDir", ""), value.substr(0, length));
        EXPECT_EQ(file_.Read().ExtractDir, value.substr(0, length) + "/");
    }
}

TEST_F(SettingsTest, FolderNamesReadBackExactly) {
    // ユーザー/ソ in Shift-JIS (ソ ends in the byte of "\"), then UTF-8, then
    // characters the profile syntax uses.
    for (std::string name : {"/home/\x83\x86\x81\x5B\x83\x55\x81\x5B/\x83\x5C/", "/home/ユーザー/解凍先/",
                             "/a=b;c[d]#e/"}) {
        std::string value = name;
        ASSERT_TRUE(file_.WriteSetting("ExtractDir", value));
        EXPECT_EQ(file_.ReadSetting("ExtractDir", ""), name);
        EXPECT_EQ(file_.Read().ExtractDir, name);
    }
}

TEST(SettingsLocation, ApplicationFolderOrConfigFolder) {
    TempFolder app, home, xdg;
    EnvVar home_var("HOME", home.Path().c_str());
    const std::string app_path = app.Path().string();
    EXPECT_EQ(SettingsFile(app_path).Path(), app_path + "/zenkari.ini");
    EXPECT_EQ(SettingsFile(app_path).Folder(), app_path + "/");
    if (access("/", W_OK) == 0) {
        EXPECT_EQ(SettingsFile("/").Path(), "/zenkari.ini");
    }

    // A folder below a regular file cannot be written, whoever we are.
    Spit(app.Path() / "file", "");
    const std::string unwritable = app_path + "/file/app";
    {
        EnvVar xdg_var("XDG_CONFIG_HOME", (xdg.Path() / "deep" / "config").c_str());
        const SettingsFile file(unwritable);
        EXPECT_EQ(file.Folder(), xdg.Path().string() + "/deep/config/zenkari/");
        EXPECT_TRUE(fs::is_directory(file.Folder()));
        std::string value = "1";
        EXPECT_TRUE(file.WriteSetting("LeftTwip", value));
        EXPECT_EQ(file.Read().ExtractDir, unwritable + "/");
    }
    for (const char* xdg_value : {static_cast<const char*>(nullptr), "", "relative/path"}) {
        EnvVar xdg_var("XDG_CONFIG_HOME", xdg_value);
        EXPECT_EQ(SettingsFile(unwritable).Path(), home.Path().string() + "/.config/zenkari/zenkari.ini");
    }
    {
        EnvVar xdg_var("XDG_CONFIG_HOME", (app.Path() / "file" / "config").c_str());
        std::string value = "1";
        EXPECT_FALSE(SettingsFile(unwritable).WriteSetting("LeftTwip", value));
    }
}

}  // namespace
}  // namespace core
