// Putting files out of the way: the desktop's trash and the numbered names
// beside a file, each in a temporary home of the test's own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>

#include "env_var.h"
#include "temp_folder.h"
#include "trash.h"
#include "trash_contents.h"
#include "tree_compare.h"

namespace fs = std::filesystem;

namespace {

class TrashTest : public ::testing::Test {
protected:
    std::string Write(const fs::path& relative, const std::string& bytes) {
        const fs::path path = user_.Path() / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    std::vector<std::string> UserFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(user_.Path())) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path Trash() const { return data_.Path() / "Trash"; }

    TempFolder user_{"trash-test-files"};
    TempFolder data_{"trash-test-data"};
    EnvVar data_home_{"XDG_DATA_HOME", data_.Path().c_str()};
};

std::string Utc(time_t when, const char* format) {
    tm utc{};
    gmtime_r(&when, &utc);
    char text[32];
    strftime(text, sizeof text, format, &utc);
    return text;
}

TEST_F(TrashTest, AFileGoesToTheHomeTrashWithItsEscapedPathAndLocalTime) {
    EnvVar zone("TZ", "JST-9");
    tzset();
    const std::string path = Write("読んで ください.txt", "old");
    const time_t before = time(nullptr);
    ASSERT_TRUE(platform::MoveToTrash(path));
    const time_t after = time(nullptr);
    EXPECT_FALSE(fs::exists(path));

    const auto trashed = TrashContents(Trash());
    ASSERT_EQ(trashed.size(), 1u);
    EXPECT_EQ(trashed[0].name, "読んで ください.txt");
    EXPECT_EQ(trashed[0].contents, "old");
    EXPECT_EQ(trashed[0].path,
              user_.Path().string() + "/%E8%AA%AD%E3%82%93%E3%81%A7%20%E3%81%8F%E3%81%A0%E3%81%95%E3%81%84.txt");
    const char* kFormat = "%Y-%m-%dT%H:%M:%S";
    EXPECT_TRUE(trashed[0].date == Utc(before + 9 * 3600, kFormat) || trashed[0].date == Utc(after + 9 * 3600, kFormat))
        << trashed[0].date;
}

TEST_F(TrashTest, NamesInTheTrashNeverCollide) {
    // What another program left in files/ without its info file is no free name.
    fs::create_directories(Trash() / "files");
    std::ofstream(Trash() / "files" / "readme.3.txt") << "left";
    for (const char* folder : {"a", "b", "c"})
        ASSERT_TRUE(platform::MoveToTrash(Write(fs::path(folder) / "readme.txt", folder)));

    const auto trashed = TrashContents(Trash());
    ASSERT_EQ(trashed.size(), 4u);
    const std::string base = user_.Path().string();
    EXPECT_EQ(trashed[0].name, "readme.2.txt");
    EXPECT_EQ(trashed[0].path, base + "/b/readme.txt");
    EXPECT_EQ(trashed[1].contents, "left");
    EXPECT_EQ(trashed[1].path, "");
    EXPECT_EQ(trashed[2].name, "readme.4.txt");
    EXPECT_EQ(trashed[2].contents, "c");
    EXPECT_EQ(trashed[2].path, base + "/c/readme.txt");
    EXPECT_EQ(trashed[3].name, "readme.txt");
    EXPECT_EQ(trashed[3].path, base + "/a/readme.txt");
    EXPECT_FALSE(fs::exists(Trash() / "info" / "readme.3.txt.trashinfo"));
}

TEST_F(TrashTest, ALongNameIsShortenedInTheTrashButRecordedWhole) {
    std::string name;
    for (int i = 0; i < 83; ++i) name += "長";
    name += ".txt";  // 253 bytes: with ".trashinfo" too long for one name
    ASSERT_TRUE(platform::MoveToTrash(Write(name, "x")));
    const auto trashed = TrashContents(Trash());
    ASSERT_EQ(trashed.size(), 1u);
    EXPECT_EQ(trashed[0].name.size() % 3, 1u) << "cut inside a character";  // whole characters and ".txt"
    EXPECT_TRUE(trashed[0].name.ends_with("長.txt"));
    EXPECT_EQ(trashed[0].path.size(), user_.Path().string().size() + 1 + 83 * 9 + 4);
}

// A file where XDG_DATA_HOME should be: no trash can be made, even by root.
TEST_F(TrashTest, WithoutATrashAFileStaysBesideUnderANumberedName) {
    const std::string blocked = Write("not-a-folder", "");
    EnvVar data_home("XDG_DATA_HOME", blocked.c_str());
    const std::string readme = Write("readme.txt", "first");
    EXPECT_FALSE(platform::MoveToTrash(readme));
    EXPECT_EQ(ReadFile(readme), "first");

    EXPECT_TRUE(platform::PutAway(readme));
    Write("readme.txt", "second");
    EXPECT_TRUE(platform::PutAway(readme));
    for (const char* name : {".bashrc", "notes", "archive.tar.gz"})
        EXPECT_TRUE(platform::KeepBeside(Write(name, name)));

    EXPECT_EQ(UserFiles(), (std::vector<std::string>{".bashrc (1)", "archive.tar (1).gz", "not-a-folder", "notes (1)",
                                                     "readme (1).txt", "readme (2).txt"}));
    EXPECT_EQ(ReadFile(user_.Path() / "readme (1).txt"), "first");
    EXPECT_EQ(ReadFile(user_.Path() / "readme (2).txt"), "second");
}

TEST_F(TrashTest, AVolumesSharedTrashIsUsedOnlyWhenItIsARealStickyFolder) {
    const std::string uid = std::to_string(getuid());
    const fs::path sticky = user_.Path() / "sticky", plain = user_.Path() / "plain", linked = user_.Path() / "linked";
    fs::create_directories(sticky / ".Trash");
    fs::permissions(sticky / ".Trash", fs::perms::all | fs::perms::sticky_bit);
    fs::create_directories(plain / ".Trash");
    fs::create_directories(linked);
    fs::create_directory_symlink(sticky / ".Trash", linked / ".Trash");

    EXPECT_EQ(platform::VolumeTrashFolder(sticky.string()), (sticky / ".Trash" / uid).string());
    EXPECT_EQ(fs::status(sticky / ".Trash" / uid).permissions(), fs::perms::owner_all);
    EXPECT_EQ(platform::VolumeTrashFolder(plain.string()), (plain / (".Trash-" + uid)).string());
    EXPECT_EQ(platform::VolumeTrashFolder(linked.string()), (linked / (".Trash-" + uid)).string());
    EXPECT_EQ(fs::status(linked / (".Trash-" + uid)).permissions(), fs::perms::owner_all);
}

TEST_F(TrashTest, ContentsCompareByteForByteAndLinksByTheirTargets) {
    auto same = [&](const std::string& a, const std::string& b) {
        return platform::SameContents(AT_FDCWD, (user_.Path() / a).string(), AT_FDCWD, (user_.Path() / b).string());
    };
    Write("a", "same bytes");
    Write("b", "same bytes");
    Write("c", "same bytez");
    fs::create_symlink("a", user_.Path() / "to-a");
    fs::create_symlink("a", user_.Path() / "also-to-a");
    fs::create_symlink("b", user_.Path() / "to-b");
    EXPECT_TRUE(same("a", "b"));
    EXPECT_FALSE(same("a", "c"));
    EXPECT_TRUE(same("to-a", "also-to-a"));
    EXPECT_FALSE(same("to-a", "to-b"));
    EXPECT_FALSE(same("a", "to-a"));  // never followed
    EXPECT_FALSE(same("a", "missing"));
}

}  // namespace
