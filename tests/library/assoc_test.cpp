// File associations: what DravxSetAssoc and DravxKillAssoc leave in the XDG
// folders, and the profile changes they are made with.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "dravolix.h"
#include "profile.h"
#include "temp_folder.h"
#include "tree_compare.h"
#include "env_var.h"
#include "xdg_associations.h"

namespace {

namespace fs = std::filesystem;
using platform::ReadProfileString;

constexpr const char* kProgram = "/opt/kelvora/zenkari";
constexpr const char* kOurs = "kelvora-zenkari.desktop;";
constexpr const char* kDefaults = "Default Applications";
constexpr const char* kAdded = "Added Associations";

void Spit(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}


bool OnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');)
        if (!folder.empty() && access((folder + "/" + name).c_str(), X_OK) == 0) return true;
    return false;
}

// Our own XDG folders, with a small MIME database in XDG_DATA_DIRS: it lacks
// .taz and .tbz; for "*.gz" the later folder's higher weight wins, for
// "*.tar" the earlier folder's.
class AssocTest : public ::testing::Test {
protected:
    AssocTest() {
        Spit(db_.Path() / "a/mime/globs2",
             "# weight:type:glob\n"
             "50:application/x-tar:*.tar\n50:application/gzip:*.gz\n50:application/x-compress:*.Z\n"
             "50:application/x-compressed-tar:*.tgz\n50:application/x-rpm:*.rpm\n"
             "50:application/vnd.debian.binary-package:*.deb\n50:application/zip:*.zip\n"
             "50:application/x-java-archive:*.jar\n50:application/x-lha:*.lzh\n50:application/x-lha:*.lha\n");
        Spit(db_.Path() / "b/mime/globs2", "60:application/x-gzip:*.gz\n40:application/x-ustar:*.tar\n");
    }

    fs::path EntryFile() const { return data_.Path() / "applications/kelvora-zenkari.desktop"; }
    fs::path PackageFile() const { return data_.Path() / "mime/packages/kelvora-zenkari.xml"; }
    std::string MimeApps() const { return (config_.Path() / "mimeapps.list").string(); }

    std::optional<std::string> EntryValue(const std::string& key) const {
        return ReadProfileString(EntryFile().string(), "Desktop Entry", key);
    }

    // Our three files, by name.
    std::map<std::string, std::string> Files() const {
        std::map<std::string, std::string> files;
        for (const fs::path& path : {EntryFile(), PackageFile(), fs::path(MimeApps())})
            if (fs::exists(path)) files[path.filename().string()] = ReadFile(path);
        return files;
    }

    TempFolder home_, data_, config_, db_;
    const std::string dirs_ = (db_.Path() / "a").string() + ":" + (db_.Path() / "b").string();
    EnvVar home_var_{"HOME", home_.Path().c_str()};
    EnvVar data_var_{"XDG_DATA_HOME", data_.Path().c_str()};
    EnvVar config_var_{"XDG_CONFIG_HOME", config_.Path().c_str()};
    EnvVar dirs_var_{"XDG_DATA_DIRS", dirs_.c_str()};
};

const std::vector<std::string> kTarTypes = {
    "application/x-tar", "application/x-gzip", "application/x-compress", "application/x-compressed-tar",
    "application/x-kelvora-taz", "application/x-kelvora-tbz", "application/x-rpm",
    "application/vnd.debian.binary-package"};

TEST_F(AssocTest, TarRowPointsEveryExtensionAtTheProgram) {
    ASSERT_EQ(DravxSetAssoc(4, kProgram, "%1", 0), 1);

    for (const std::string& type : kTarTypes) {
        EXPECT_EQ(ReadProfileString(MimeApps(), kDefaults, type), kOurs) << type;
        EXPECT_EQ(ReadProfileString(MimeApps(), kAdded, type), kOurs) << type;
    }
    EXPECT_EQ(ReadFile(EntryFile()),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Name=Kelvora\n"
              "Exec=/opt/kelvora/zenkari %f\n"
              "Icon=/opt/kelvora/zenkari-archive.png\n"
              "MimeType=application/vnd.debian.binary-package;application/x-compress;application/x-compressed-tar;"
              "application/x-gzip;application/x-kelvora-taz;application/x-kelvora-tbz;application/x-rpm;"
              "application/x-tar;\n"
              "NoDisplay=true\n"
              "Terminal=false\n");

    // Our package declares exactly the two types the database lacks.
    const std::string package = ReadFile(PackageFile());
    EXPECT_NE(package.find("<mime-type type=\"application/x-kelvora-taz\">"), std::string::npos);
    EXPECT_NE(package.find("<glob pattern=\"*.tbz\"/>"), std::string::npos);
    size_t types = 0;
    for (size_t at = 0; (at = package.find("<mime-type ", at)) != std::string::npos; ++at) ++types;
    EXPECT_EQ(types, 2u);
    // update-mime-database accepted it.
    if (OnPath("update-mime-database")) {
        EXPECT_NE(ReadFile(data_.Path() / "mime/globs2").find("application/x-kelvora-taz:*.taz"), std::string::npos);
    }
}

TEST_F(AssocTest, RegisteringAgainChangesNothingAndRemovalGivesTheFilesBack) {
    ASSERT_EQ(DravxSetAssoc(4, kProgram, "%1", 0), 1);
    const auto before = Files();
    ASSERT_EQ(before.size(), 3u);
    ASSERT_EQ(DravxSetAssoc(4, kProgram, "%1", 0), 1);
    EXPECT_EQ(Files(), before);

    // A second row adds to every file; removing it takes exactly that out again.
    ASSERT_EQ(DravxSetAssoc(1, kProgram, "%1", 0), 1);
    EXPECT_EQ(ReadProfileString(MimeApps(), kDefaults, "application/x-lha"), kOurs);
    EXPECT_EQ(ReadProfileString(MimeApps(), kDefaults, "application/x-kelvora-lzs"), kOurs);
    EXPECT_NE(EntryValue("MimeType")->find("application/x-lha;"), std::string::npos);
    EXPECT_NE(ReadFile(PackageFile()).find("*.lzs"), std::string::npos);
    ASSERT_EQ(DravxKillAssoc(1, 0, 0, 0), 1);
    EXPECT_EQ(Files(), before);
    ASSERT_EQ(DravxKillAssoc(1, 0, 0, 0), 1);
    EXPECT_EQ(Files(), before);

    // Removing the last row leaves the desktop entry without types, and no package.
    ASSERT_EQ(DravxKillAssoc(4, 0, 0, 0), 1);
    EXPECT_EQ(EntryValue("MimeType"), std::nullopt);
    EXPECT_EQ(EntryValue("Exec"), "/opt/kelvora/zenkari %f");
    EXPECT_FALSE(fs::exists(PackageFile()));
    for (const std::string& type : kTarTypes) EXPECT_EQ(ReadProfileString(MimeApps(), kDefaults, type), std::nullopt);
}

TEST_F(AssocTest, RemovalKeepsOtherProgramsAssociations) {
    const std::string original =
        "[Default Applications]\n"
        "application/zip=other.desktop;\n"
        "text/plain=editor.desktop;\n"
        "\n"
        "[Added Associations]\n"
        "application/zip=other.desktop;archiver.desktop;\n"
        "\n"
        "[Removed Associations]\n"
        "application/x-java-archive=kelvora-zenkari.desktop;old.desktop;\n";
    Spit(MimeApps(), original);

    ASSERT_EQ(DravxSetAssoc(2, kProgram, "%1", 0), 1);
    EXPECT_EQ(ReadProfileString(MimeApps(), kDefaults, "application/zip"), "kelvora-zenkari.desktop;other.desktop;");
    EXPECT_EQ(ReadProfileString(MimeApps(), kAdded, "application/zip"),
              "kelvora-zenkari.desktop;other.desktop;archiver.desktop;");
    EXPECT_EQ(ReadProfileString(MimeApps(), kDefaults, "application/x-java-archive"), kOurs);
    // The user's earlier removal of us for .jar no longer stands against the new default.
    EXPECT_EQ(ReadProfileString(MimeApps(), "Removed Associations", "application/x-java-archive"), "old.desktop;");

    ASSERT_EQ(DravxKillAssoc(2, 0, 0, 0), 1);
    std::string expected = original;
    expected.replace(expected.find("kelvora-zenkari.desktop;old"), 24, "");
    EXPECT_EQ(ReadFile(MimeApps()), expected);
    ASSERT_EQ(DravxKillAssoc(2, 0, 0, 0), 1);
    ASSERT_EQ(DravxKillAssoc(5, 0, 0, 0), 1);  // never registered
    EXPECT_EQ(ReadFile(MimeApps()), expected);
}

TEST_F(AssocTest, RefusedCallsTouchNothing) {
    EXPECT_EQ(DravxSetAssoc(-1, kProgram, "%1", 0), 0);
    EXPECT_EQ(DravxSetAssoc(14, kProgram, "%1", 0), 0);
    EXPECT_EQ(DravxKillAssoc(-1, 0, 0, 0), 0);
    EXPECT_EQ(DravxKillAssoc(14, 0, 0, 0), 0);
    EXPECT_EQ(DravxSetAssoc(4, nullptr, "%1", 0), 0);
    EXPECT_EQ(DravxSetAssoc(4, kProgram, nullptr, 0), 0);
    EXPECT_EQ(DravxSetAssoc(4, "", "%1", 0), 0);
    EXPECT_EQ(DravxGetAssoc(0, 0), 0);
    EXPECT_TRUE(fs::is_empty(data_.Path()));
    EXPECT_TRUE(fs::is_empty(config_.Path()));
}

TEST_F(AssocTest, RowZeroWritesTheDesktopEntryOnly) {
    ASSERT_EQ(DravxSetAssoc(0, kProgram, "%1", 0), 1);
    EXPECT_EQ(EntryValue("Exec"), "/opt/kelvora/zenkari %f");
    EXPECT_EQ(EntryValue("MimeType"), std::nullopt);
    EXPECT_FALSE(fs::exists(MimeApps()));
    EXPECT_FALSE(fs::exists(PackageFile()));

    ASSERT_EQ(DravxSetAssoc(3, kProgram, "%1", 0), 1);
    const auto before = Files();
    ASSERT_EQ(DravxKillAssoc(0, 0, 0, 0), 1);
    ASSERT_EQ(DravxSetAssoc(0, kProgram, "%1", 0), 1);
    EXPECT_EQ(Files(), before);
}

TEST_F(AssocTest, BothZipRowsShareTheirTypes) {
    ASSERT_EQ(DravxSetAssoc(9, kProgram, "%1", 0), 1);
    const auto before = Files();
    ASSERT_EQ(DravxSetAssoc(2, kProgram, "%1", 0), 1);
    EXPECT_EQ(Files(), before);
    ASSERT_EQ(DravxKillAssoc(2, 0, 0, 0), 1);
    for (const char* type : {"application/zip", "application/x-java-archive"}) {
        EXPECT_EQ(ReadProfileString(MimeApps(), kDefaults, type), std::nullopt);
        EXPECT_EQ(ReadProfileString(MimeApps(), kAdded, type), std::nullopt);
    }
    EXPECT_EQ(EntryValue("MimeType"), std::nullopt);
}

TEST_F(AssocTest, ExecQuotesTheProgramAndMapsTheFileArgument) {
    ASSERT_EQ(DravxSetAssoc(1, "/opt/my \"apps\"/zen kari", "%1", 0), 1);
    // Quoted for the command line, then backslashes doubled for the entry's string.
    EXPECT_EQ(EntryValue("Exec"), R"("/opt/my \\"apps\\"/zen kari" %f)");
    EXPECT_EQ(EntryValue("Icon"), "/opt/my \"apps\"/zenkari-archive.png");

    ASSERT_EQ(DravxSetAssoc(1, "/opt/$a\\b`%/zenkari", "-e \"%1\" 100%", 0), 1);
    EXPECT_EQ(EntryValue("Exec"), R"("/opt/\\$a\\\\b\\`%%/zenkari" -e %f 100%%)");
    EXPECT_EQ(EntryValue("Icon"), R"(/opt/$a\\b`%/zenkari-archive.png)");
}

TEST_F(AssocTest, ATypeTheDatabaseLearnsLaterReplacesOurs) {
    ASSERT_EQ(DravxSetAssoc(4, kProgram, "%1", 0), 1);
    std::ofstream(db_.Path() / "b/mime/globs2", std::ios::app) << "50:application/x-tarz:*.taz\n";

    ASSERT_EQ(DravxSetAssoc(4, kProgram, "%1", 0), 1);
    EXPECT_EQ(ReadProfileString(MimeApps(), kDefaults, "application/x-tarz"), kOurs);
    EXPECT_EQ(ReadFile(PackageFile()).find("x-kelvora-taz"), std::string::npos);
    EXPECT_NE(ReadFile(PackageFile()).find("x-kelvora-tbz"), std::string::npos);

    // Removal takes out the old type of ours as well.
    ASSERT_EQ(DravxKillAssoc(4, 0, 0, 0), 1);
    for (const char* type : {"application/x-tarz", "application/x-kelvora-taz"})
        EXPECT_EQ(ReadProfileString(MimeApps(), kDefaults, type), std::nullopt) << type;
    EXPECT_EQ(EntryValue("MimeType"), std::nullopt);
}

// ---- An installed copy: PREFIX/bin/zenkari with PREFIX/lib/zenkari, and its
// desktop entry in the first folder of XDG_DATA_DIRS ----

class InstalledCopyTest : public AssocTest {
protected:
    InstalledCopyTest() {
        fs::create_directories(prefix_.Path() / "lib/zenkari");
        Spit(program_, "#!/bin/sh\n");
        fs::permissions(program_, fs::perms::owner_all);
    }

    void InstallEntry(const std::string& exec) {
        Spit(db_.Path() / "a/applications" / dravolix::xdg::kInstalledDesktopId,
             "[Desktop Entry]\nType=Application\nName=Kelvora\nExec=" + exec + "\n");
    }

    TempFolder prefix_;
    const fs::path program_ = prefix_.Path() / "bin/zenkari";
    const std::string installed_ = std::string(dravolix::xdg::kInstalledDesktopId) + ";";
};

TEST_F(InstalledCopyTest, ItsOwnEntryIsTheDefaultAndTheUserGetsNone) {
    InstallEntry(program_.string() + " %f");
    ASSERT_EQ(DravxSetAssoc(4, program_.c_str(), "%1", 0), 1);
    EXPECT_FALSE(fs::exists(EntryFile()));
    for (const std::string& type : kTarTypes) {
        EXPECT_EQ(ReadProfileString(MimeApps(), kDefaults, type), installed_) << type;
        EXPECT_EQ(ReadProfileString(MimeApps(), kAdded, type), installed_) << type;
    }
    EXPECT_NE(ReadFile(PackageFile()).find("x-kelvora-taz"), std::string::npos);  // the database still lacks it

    ASSERT_EQ(DravxKillAssoc(4, 0, 0, 0), 1);
    for (const std::string& type : kTarTypes) EXPECT_EQ(ReadProfileString(MimeApps(), kDefaults, type), std::nullopt);
    EXPECT_FALSE(fs::exists(EntryFile()));
}

TEST_F(InstalledCopyTest, AnEntryRunningTheProgramFromPathIsItsEntry) {
    InstallEntry("zenkari %f");
    {
        EnvVar path("PATH", (prefix_.Path() / "bin").c_str());
        ASSERT_EQ(DravxSetAssoc(1, program_.c_str(), "%1", 0), 1);
    }
    EXPECT_EQ(ReadProfileString(MimeApps(), kDefaults, "application/x-lha"), installed_);
    EXPECT_FALSE(fs::exists(EntryFile()));

    // Where PATH leads elsewhere, the entry is another copy's.
    EnvVar path("PATH", "/nonexistent");
    ASSERT_EQ(DravxSetAssoc(1, program_.c_str(), "%1", 0), 1);
    EXPECT_EQ(ReadProfileString(MimeApps(), kDefaults, "application/x-lha"), kOurs);
    EXPECT_TRUE(fs::exists(EntryFile()));
}

TEST_F(InstalledCopyTest, AnotherCopyWritesItsOwnEntryAndTakesTheDefaultsOver) {
    InstallEntry(program_.string() + " %f");
    ASSERT_EQ(DravxSetAssoc(2, program_.c_str(), "%1", 0), 1);
    ASSERT_EQ(ReadProfileString(MimeApps(), kDefaults, "application/zip"), installed_);

    ASSERT_EQ(DravxSetAssoc(2, kProgram, "%1", 0), 1);
    EXPECT_EQ(EntryValue("Exec"), "/opt/kelvora/zenkari %f");
    for (const char* section : {kDefaults, kAdded})
        EXPECT_EQ(ReadProfileString(MimeApps(), section, "application/zip"), kOurs) << section;

    // And back: the installed copy's entry replaces the user's in the lists.
    ASSERT_EQ(DravxSetAssoc(2, program_.c_str(), "%1", 0), 1);
    for (const char* section : {kDefaults, kAdded})
        EXPECT_EQ(ReadProfileString(MimeApps(), section, "application/zip"), installed_) << section;
}

TEST_F(InstalledCopyTest, TypesItsPackageDeclaresAreNotRepeatedInTheUsers) {
    Spit(db_.Path() / "a/mime/packages" / dravolix::xdg::kPackageName,
         "<mime-info><mime-type type=\"application/x-kelvora-taz\"><glob pattern=\"*.taz\"/></mime-type>"
         "</mime-info>\n");
    ASSERT_EQ(DravxSetAssoc(4, kProgram, "%1", 0), 1);
    const std::string package = ReadFile(PackageFile());
    EXPECT_EQ(package.find("x-kelvora-taz"), std::string::npos);
    EXPECT_NE(package.find("x-kelvora-tbz"), std::string::npos);
    EXPECT_EQ(ReadProfileString(MimeApps(), kDefaults, "application/x-kelvora-taz"), kOurs);
}

TEST_F(InstalledCopyTest, WithoutItsEntryTheUsersEntryShowsTheThemeIcon) {
    ASSERT_EQ(DravxSetAssoc(3, program_.c_str(), "%1", 0), 1);
    EXPECT_EQ(EntryValue("Icon"), dravolix::xdg::kThemeIcon);
    EXPECT_EQ(ReadProfileString(MimeApps(), kDefaults, "application/x-kelvora-cab"), kOurs);
}

// End to end with the machine's MIME database and the desktop's own tool.
TEST(AssocDesktop, XdgMimeAnswersWithOurDesktopEntry) {
    if (!OnPath("xdg-mime")) GTEST_SKIP() << "xdg-mime is not installed (package xdg-utils)";
    if (!fs::exists("/usr/share/mime/globs2")) GTEST_SKIP() << "no shared MIME database (package shared-mime-info)";
    TempFolder home, data, config, bin;
    const fs::path program = bin.Path() / "zenkari";
    Spit(program, "#!/bin/sh\n");
    fs::permissions(program, fs::perms::owner_all);
    EnvVar vars[] = {{"HOME", home.Path().c_str()},
                     {"XDG_DATA_HOME", data.Path().c_str()},
                     {"XDG_CONFIG_HOME", config.Path().c_str()},
                     {"XDG_DATA_DIRS", nullptr},
                     {"XDG_CONFIG_DIRS", nullptr},
                     {"XDG_CURRENT_DESKTOP", "X-Generic"}};  // xdg-mime's own reading of mimeapps.list

    ASSERT_EQ(DravxSetAssoc(1, program.c_str(), "%1", 0), 1);
    const auto listed = ReadProfileString((data.Path() / "applications/kelvora-zenkari.desktop").string(),
                                          "Desktop Entry", "MimeType");
    ASSERT_TRUE(listed);
    // The database knows .lzh, so at least one type is not ours.
    EXPECT_NE(listed->find("application/x-lha;"), std::string::npos) << *listed;
    std::istringstream types(*listed);
    for (std::string type; std::getline(types, type, ';');) {
        FILE* query = popen(("xdg-mime query default '" + type + "' 2>/dev/null").c_str(), "r");
        ASSERT_NE(query, nullptr);
        char line[256] = {};
        const bool got = fgets(line, sizeof line, query) != nullptr;
        pclose(query);
        EXPECT_TRUE(got);
        EXPECT_EQ(std::string(line), "kelvora-zenkari.desktop\n") << type;
    }
}

// ---- The profile changes underneath ----

TEST(ProfileChange, DeletesEveryOccurrenceAndKeepsEveryOtherByte) {
    TempFolder folder;
    const fs::path ini = folder.Path() / "a.ini";
    Spit(ini, "[A]\r\nx=1\r\ny=2\r\n[B]\r\nx=3\r\n[a]\r\n X = 4\r\n; x=5\r\n");
    EXPECT_TRUE(platform::DeleteProfileKey(ini.string(), "a", "x"));
    EXPECT_EQ(ReadFile(ini), "[A]\r\ny=2\r\n[B]\r\nx=3\r\n[a]\r\n; x=5\r\n");
    EXPECT_EQ(ReadProfileString(ini.string(), "A", "x"), std::nullopt);

    // Sets and deletions in one replacement, in order.
    EXPECT_TRUE(platform::ChangeProfile(ini.string(), {{"B", "x", std::nullopt}, {"B", "z", "5"}, {"A", "y", "6"}}));
    EXPECT_EQ(ReadFile(ini), "[A]\r\ny=6\r\n[B]\r\nz=5\r\n[a]\r\n; x=5\r\n");

    // A refused name changes nothing at all.
    EXPECT_FALSE(platform::ChangeProfile(ini.string(), {{"A", "y", "7"}, {"A", "k=v", std::nullopt}}));
    EXPECT_EQ(ReadProfileString(ini.string(), "A", "y"), "6");
}

TEST(ProfileChange, NoChangeWritesNothing) {
    TempFolder folder;
    const fs::path ini = folder.Path() / "a.ini";
    Spit(ini, "[A]\nx=1\n");
    struct stat before {}, after {};
    ASSERT_EQ(stat(ini.c_str(), &before), 0);
    EXPECT_TRUE(platform::ChangeProfile(ini.string(), {{"A", "x", "1"}, {"A", "gone", std::nullopt}}));
    ASSERT_EQ(stat(ini.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);  // a replacement would bring a new file

    EXPECT_TRUE(platform::DeleteProfileKey((folder.Path() / "new.ini").string(), "A", "x"));
    EXPECT_FALSE(fs::exists(folder.Path() / "new.ini"));
}

TEST(AtomicFile, ReplacementKeepsThePermissionsAndFailsWhole) {
    TempFolder folder;
    const fs::path file = folder.Path() / "a.xml";
    Spit(file, "old");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(platform::ReplaceFileAtomically(file.string(), "new"));
    EXPECT_EQ(ReadFile(file), "new");
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_FALSE(platform::ReplaceFileAtomically((folder.Path() / "missing/b.xml").string(), "x"));
}

}  // namespace
