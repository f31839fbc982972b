// The folders, programs, users and process starts that platform/ answers.
#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "env_var.h"
#include "folders.h"
#include "process.h"
#include "settings_folder.h"
#include "temp_folder.h"
#include "users.h"

namespace fs = std::filesystem;

namespace {

std::string HomeInUserDatabase() {
    const passwd* entry = getpwuid(getuid());
    return entry && entry->pw_dir ? entry->pw_dir : "/";
}

void WriteScript(const fs::path& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, fs::perms::owner_all);
}

// --- The home folder -------------------------------------------------------------

TEST(HomeFolder, IsHomeWhenItIsAnAbsolutePath) {
    EnvVar home("HOME", "/srv/someone");
    EXPECT_EQ(platform::HomeFolder(), "/srv/someone");
}

TEST(HomeFolder, ComesFromTheUserDatabaseWhenHomeIsUnsetEmptyOrRelative) {
    for (const char* value : {static_cast<const char*>(nullptr), "", "relative/home"}) {
        SCOPED_TRACE(value ? value : "(unset)");
        EnvVar home("HOME", value);
        EXPECT_EQ(platform::HomeFolder(), HomeInUserDatabase());
    }
}

// --- XDG base folders -------------------------------------------------------------

// One row: the environment, and the data and config homes it gives.
struct XdgRow {
    const char* name;
    const char* home;
    const char* data_home;
    const char* config_home;
    std::string data, config;
};

class XdgHomes : public ::testing::TestWithParam<XdgRow> {};

TEST_P(XdgHomes, FollowTheEnvironment) {
    const XdgRow& row = GetParam();
    EnvVar home("HOME", row.home);
    EnvVar data("XDG_DATA_HOME", row.data_home);
    EnvVar config("XDG_CONFIG_HOME", row.config_home);
    EXPECT_EQ(platform::DataHome(), row.data);
    EXPECT_EQ(platform::ConfigHome(), row.config);
}

INSTANTIATE_TEST_SUITE_P(
    XdgFolders, XdgHomes,
    ::testing::Values(XdgRow{"DefaultBeneathHome", "/home/u", nullptr, "", "/home/u/.local/share", "/home/u/.config"},
                      XdgRow{"RelativeValuesCountAsUnset", "/home/u/", "share", "~/.config", "/home/u/.local/share",
                             "/home/u/.config"},
                      XdgRow{"AbsoluteValuesWin", "/home/u", "/data", "/config", "/data", "/config"},
                      XdgRow{"DefaultBeneathTheRootWithoutAHome", "/", nullptr, nullptr, "/.local/share",
                             "/.config"}),
    [](const ::testing::TestParamInfo<XdgRow>& info) { return std::string(info.param.name); });

TEST(XdgFolders, DataDirsKeepTheirOrderAndDropRelativeAndEmptyEntries) {
    EnvVar dirs("XDG_DATA_DIRS", "/opt/share::relative:/usr/share:");
    EXPECT_EQ(platform::DataDirs(), (std::vector<std::string>{"/opt/share", "/usr/share"}));
}

TEST(XdgFolders, DataDirsWithNothingUsableAreTheDefaults) {
    const std::vector<std::string> defaults{"/usr/local/share", "/usr/share"};
    for (const char* value : {static_cast<const char*>(nullptr), "", "relative:also/relative"}) {
        SCOPED_TRACE(value ? value : "(unset)");
        EnvVar dirs("XDG_DATA_DIRS", value);
        EXPECT_EQ(platform::DataDirs(), defaults);
    }
}

// --- The temporary folder ----------------------------------------------------------

TEST(TemporaryFolder, IsTmpdirWithOneTrailingSlash) {
    {
        EnvVar tmp("TMPDIR", "/scratch");
        EXPECT_EQ(platform::TemporaryFolder(), "/scratch/");
    }
    EnvVar tmp("TMPDIR", "/scratch/");
    EXPECT_EQ(platform::TemporaryFolder(), "/scratch/");
}

TEST(TemporaryFolder, IsSlashTmpWhenTmpdirIsUnsetOrEmpty) {
    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        EnvVar tmp("TMPDIR", value);
        EXPECT_EQ(platform::TemporaryFolder(), "/tmp/");
    }
}

// --- Programs on PATH ------------------------------------------------------------------

class FindProgramTest : public ::testing::Test {
protected:
    TempFolder temp_;
    fs::path first_ = temp_.Path() / "first", second_ = temp_.Path() / "second";
    void SetUp() override {
        fs::create_directories(first_);
        fs::create_directories(second_);
    }
};

TEST_F(FindProgramTest, TakesTheFirstFolderThatHasAnExecutableFile) {
    EnvVar path("PATH", (first_.string() + ":" + second_.string()).c_str());
    EXPECT_EQ(platform::FindProgram("tool"), std::nullopt);
    WriteScript(second_ / "tool", "");
    EXPECT_EQ(platform::FindProgram("tool"), (second_ / "tool").string());
    WriteScript(first_ / "tool", "");
    EXPECT_EQ(platform::FindProgram("tool"), (first_ / "tool").string());
}

TEST_F(FindProgramTest, PassesOverFilesThatCannotRunAndFolders) {
    EnvVar path("PATH", (first_.string() + ":" + second_.string()).c_str());
    std::ofstream(first_ / "tool") << "data\n";
    fs::create_directories(first_ / "other");
    WriteScript(second_ / "tool", "");
    WriteScript(second_ / "other", "");
    EXPECT_EQ(platform::FindProgram("tool"), (second_ / "tool").string());
    EXPECT_EQ(platform::FindProgram("other"), (second_ / "other").string());
}

// A relative entry (or an empty one, the current folder) would run whatever a
// stranger left in the folder the program happens to be in.
TEST_F(FindProgramTest, NeverLooksInTheCurrentFolder) {
    WriteScript(first_ / "tool", "");
    const fs::path was = fs::current_path();
    fs::current_path(temp_.Path());
    {
        EnvVar path("PATH", ":first:.");
        EXPECT_EQ(platform::FindProgram("tool"), std::nullopt);
    }
    fs::current_path(was);
}

// --- Starting a program on its own ---------------------------------------------------

TEST(StartDetached, RunsTheProgramWithItsArguments) {
    TempFolder temp;
    const fs::path script = temp.Path() / "tool", marker = temp.Path() / "ran";
    WriteScript(script, "echo \"$1 $2\" > '" + marker.string() + ".part' && mv '" + marker.string() + ".part' '" +
                            marker.string() + "'");
    ASSERT_TRUE(platform::StartDetached({script.string(), "one", "two words"}));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(marker) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(marker);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "one two words");
}

TEST(StartDetached, SaysSoWhenTheProgramCannotStart) {
    TempFolder temp;
    std::ofstream(temp.Path() / "not-a-program") << "data\n";
    EXPECT_FALSE(platform::StartDetached({(temp.Path() / "missing").string()}));
    EXPECT_FALSE(platform::StartDetached({(temp.Path() / "not-a-program").string()}));
    EXPECT_FALSE(platform::StartDetached({}));
}

// --- The settings folder ----------------------------------------------------------------

// One row: folders made under a writable temporary root (and a link to one of
// them), the folder a program or module sits in, and whether its settings stay
// there (a portable copy) or go to ~/.config/zenkari/.
struct SettingsRow {
    const char* name;
    std::vector<std::string> folders;
    std::pair<std::string, std::string> link;  // link -> target, none when empty
    std::string sits_in;
    bool beside;
};

void PrintTo(const SettingsRow& row, std::ostream* out) { *out << row.name; }

class SettingsFolderTest : public ::testing::TestWithParam<SettingsRow> {};

TEST_P(SettingsFolderTest, StaysBesideOnlyAPortableCopy) {
    const SettingsRow& row = GetParam();
    TempFolder root, home;
    EnvVar home_var("HOME", home.Path().c_str());
    EnvVar config_var("XDG_CONFIG_HOME", nullptr);
    for (const std::string& folder : row.folders) fs::create_directories(root.Path() / folder);
    if (!row.link.first.empty())
        fs::create_directory_symlink(root.Path() / row.link.second, root.Path() / row.link.first);

    const std::string folder = (root.Path() / row.sits_in).string();
    const std::string expected = row.beside ? folder + "/" : home.Path().string() + "/.config/zenkari/";
    EXPECT_EQ(platform::SettingsFolder(folder, "zenkari.ini"), expected);
    EXPECT_EQ(platform::InstalledFolder(folder), !row.beside);
}

INSTANTIATE_TEST_SUITE_P(
    SettingsFolder, SettingsFolderTest,
    ::testing::Values(
        SettingsRow{"TheBuildFolderKeepsThemBesideTheProgram", {"build/bin"}, {}, "build/bin", true},
        SettingsRow{"AFolderNamedZenkariOutsideLibIsPortable", {"opt/zenkari"}, {}, "opt/zenkari", true},
        SettingsRow{"AnInstalledProgramsBinNeverGetsThem", {"usr/bin", "usr/lib/zenkari"}, {}, "usr/bin", false},
        SettingsRow{"AnInstalledModuleFolderNeverGetsThem", {"usr/lib/zenkari"}, {}, "usr/lib/zenkari", false},
        SettingsRow{"ALinkToAnInstalledBinIsThatBin", {"usr/bin", "usr/lib/zenkari"}, {"bin", "usr/bin"}, "bin",
                    false}),
    [](const ::testing::TestParamInfo<SettingsRow>& info) { return std::string(info.param.name); });

// --- Users and groups -------------------------------------------------------------------

TEST(Users, NamesTheSuperuserAndItsGroup) {
    EXPECT_EQ(platform::UserName(0), "root");
    EXPECT_EQ(platform::GroupName(0), "root");
}

TEST(Users, NothingForIdsTheSystemDoesNotKnow) {
    EXPECT_EQ(platform::UserName(3999999999u), std::nullopt);
    EXPECT_EQ(platform::GroupName(3999999999u), std::nullopt);
}

}  // namespace
