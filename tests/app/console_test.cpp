// zenkari run as a user runs it on a machine without a display.
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include "temp_folder.h"
#include "tree_compare.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

// A copy of the application folder in `home`, so that its settings file is the test's own.
fs::path CopyApplication(const TempFolder& home) {
    const fs::path bin = home.Path() / "bin";
    if (!fs::exists(bin)) {
        fs::create_directories(bin);
        for (const auto& entry : fs::directory_iterator(KELVORA_BIN_DIR)) {
            const fs::path name = entry.path().filename();
            if (name == "zenkari" || name == "zenkari-worker" || name.extension() == ".so")
                fs::copy_file(entry.path(), bin / name);
        }
    }
    return bin;
}

// Runs the copy with `argument` and `input` on standard input, in `folder`,
// no display, no terminal, and HOME in a folder of its own.
Outcome Zenkari(const TempFolder& home, const std::string& argument, const std::string& input = "",
                const fs::path& folder = ".") {
    const fs::path bin = CopyApplication(home), out = home.Path() / "stdout", err = home.Path() / "stderr",
                   in = home.Path() / "stdin";
    std::ofstream(in, std::ios::binary) << input;
    std::string command = "cd '" + folder.string() + "' && setsid -w env -u DISPLAY -u WAYLAND_DISPLAY HOME='" + home.Path().string() + "' '" +
                          (bin / "zenkari").string() + "' " + argument + " <'" + in.string() + "' >'" + out.string() +
                          "' 2>'" + err.string() + "'";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
}

TEST(ConsoleMode, ExtractsTheArchiveAndPrintsTheFolder) {
    TempFolder home("console-home");
    fs::copy_file(fs::path(KELVORA_FIXTURE_DIR) / "tree.tar.gz", home.Path() / "a b.tar.gz");
    Outcome run = Zenkari(home, "'" + (home.Path() / "a b.tar.gz").string() + "'");
    EXPECT_EQ(run.status, 0) << run.err;
    // A first start extracts to the desktop folder.
    EXPECT_EQ(run.out, (home.Path() / "Desktop/a b/").string() + "\n");
    EXPECT_EQ(CompareTrees(fs::path(KELVORA_FIXTURE_DIR) / "tree", home.Path() / "Desktop/a b"), "");
}

TEST(ConsoleMode, FailuresGiveTheirMessagesAndANonZeroStatus) {
    TempFolder home("console-home");
    Outcome damaged = Zenkari(home, "'" + std::string(KELVORA_FIXTURE_DIR) + "/crc.zip'");
    EXPECT_EQ(damaged.status, 1);
    EXPECT_NE(damaged.err.find("Failed: ファイルのチェックサムエラーです。"), std::string::npos) << damaged.err;
    Outcome text = Zenkari(home, "'" + std::string(KELVORA_FIXTURE_DIR) + "/not_archive.txt'");
    EXPECT_EQ(text.status, 1);
    EXPECT_NE(text.err.find("エラー: 指定されたファイルは書庫ではありません。"), std::string::npos) << text.err;
    Outcome nothing = Zenkari(home, "");
    EXPECT_EQ(nothing.status, 2);
    EXPECT_TRUE(nothing.out.empty());
}

TEST(ConsoleMode, ASingleFileArchivePrintsThePathOfTheFile) {
    TempFolder home("console-home");
    Outcome run = Zenkari(home, "'" + std::string(KELVORA_FIXTURE_DIR) + "/hello.txt.gz'");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, (home.Path() / "Desktop/hello.txt").string() + "\n");
    EXPECT_EQ(ReadFile(home.Path() / "Desktop/hello.txt"), "Hello, Kelvora!\n");
}

// Destination mode 3: the folder of the settings, written there without its
// last "/"; the archive named relative to the current folder.
TEST(ConsoleMode, TheFolderOfTheSettingsIsTheDestination) {
    TempFolder home("console-home");
    const fs::path bin = CopyApplication(home), into = home.Path() / "chosen";
    fs::create_directories(into);
    std::ofstream(bin / "zenkari.ini") << "[Setting]\nExtractNumber=3\nExtractDir=" << into.string()
                                       << "\nOpenAfterExtract=0\nMakeArchiveFolder=1\n";
    fs::copy_file(fs::path(KELVORA_FIXTURE_DIR) / "tree.zip", home.Path() / "t.zip");
    Outcome run = Zenkari(home, "t.zip", "", home.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, (into / "t/").string() + "\n");
    EXPECT_EQ(CompareTrees(fs::path(KELVORA_FIXTURE_DIR) / "tree", into / "t"), "");
    EXPECT_FALSE(fs::exists(home.Path() / "Desktop"));
}

// A ZIP cut into parts as file splitters number them: an empty line takes
// the proposed name, the end of input cancels.
TEST(ConsoleMode, AnEmptyLineAcceptsTheJoinsProposedName) {
    TempFolder home("console-home");
    const std::string zip = ReadFile(fs::path(KELVORA_FIXTURE_DIR) / "tree.zip");
    const size_t half = zip.size() / 2 + 1;
    std::ofstream(home.Path() / "t.zip.001", std::ios::binary) << zip.substr(0, half);
    std::ofstream(home.Path() / "t.zip.002", std::ios::binary) << zip.substr(half);
    const std::string first = "'" + (home.Path() / "t.zip.001").string() + "'";

    Outcome cancelled = Zenkari(home, first);
    EXPECT_EQ(cancelled.status, 1);
    EXPECT_NE(cancelled.err.find("ユーザーにより処理が中断されました。"), std::string::npos) << cancelled.err;
    EXPECT_FALSE(fs::exists(home.Path() / "t.zip"));

    Outcome joined = Zenkari(home, first, "\n");
    EXPECT_EQ(joined.status, 0) << joined.err;
    EXPECT_NE(joined.err.find("[" + (home.Path() / "t.zip").string() + "]"), std::string::npos) << joined.err;
    EXPECT_EQ(joined.out, (home.Path() / "t.zip").string() + "\n");
    EXPECT_EQ(ReadFile(home.Path() / "t.zip"), zip);
}

// What a pseudo-terminal has shown so far; reads until `text` shows up or
// the program ends.
bool WaitFor(int terminal, std::string& shown, const std::string& text) {
    char buffer[512];
    while (shown.find(text) == std::string::npos) {
        pollfd ready{terminal, POLLIN, 0};
        if (poll(&ready, 1, 20'000) <= 0) return false;
        ssize_t n = read(terminal, buffer, sizeof buffer);
        if (n <= 0) return false;
        shown.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

// Without a window the password is asked on the terminal, with echo off;
// without a terminal the extraction fails as one that needs a password.
TEST(ConsoleMode, APasswordIsAskedOnTheTerminalOnly) {
    TempFolder home("console-home");
    const fs::path archive = fs::path(KELVORA_FIXTURE_DIR) / "encrypted.zip";
    const fs::path bin = CopyApplication(home);
    int terminal = -1;
    pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        setenv("HOME", home.Path().c_str(), 1);
        execl((bin / "zenkari").c_str(), "zenkari", archive.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string shown;
    const std::string prompt = "書庫「encrypted.zip」のパスワード：";
    EXPECT_TRUE(WaitFor(terminal, shown, prompt)) << shown;
    ASSERT_EQ(write(terminal, "wrong\n", 6), 6);
    EXPECT_TRUE(WaitFor(terminal, shown, "パスワードが違います。\r\n" + prompt)) << shown;
    ASSERT_EQ(write(terminal, "pw\n", 3), 3);
    WaitFor(terminal, shown, "\x04");  // to the end
    int status = 0;
    waitpid(child, &status, 0);
    close(terminal);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << shown;
    EXPECT_EQ(shown.find("wrong"), std::string::npos);  // never echoed
    EXPECT_EQ(ReadFile(home.Path() / "Desktop/hello.txt"), "Hello, Kelvora!\n");

    Outcome alone = Zenkari(home, "'" + archive.string() + "'");
    EXPECT_EQ(alone.status, 1);
    EXPECT_NE(alone.err.find("パスワードが設定されています。"), std::string::npos) << alone.err;
}

// An archive whose second entry expands far beyond its own size: `size`
// bytes of zeros, after a small first entry.
void WriteBomb(const fs::path& path, bool zip, size_t size) {
    archive* a = archive_write_new();
    if (zip) {
        archive_write_set_format_zip(a);
    } else {
        archive_write_set_format_pax_restricted(a);
        archive_write_add_filter_gzip(a);
    }
    archive_write_open_filename(a, path.c_str());
    const std::string first = "complete before the disk filled up\n";
    const std::string zeros(size, '\0');
    for (const std::string* data : {&first, &zeros}) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, data == &first ? "first.txt" : "bomb.bin");
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, static_cast<la_int64_t>(data->size()));
        archive_write_header(a, entry);
        archive_write_data(a, data->data(), data->size());
        archive_entry_free(entry);
    }
    archive_write_close(a);
    archive_write_free(a);
}

class DiskFullTest : public ::testing::TestWithParam<bool> {};

// The console program extracts onto a 1 MB file system of its own (a tmpfs
// in a private mount namespace), so that the disk really fills up.
TEST_P(DiskFullTest, ABombEndsWithDiskFullAndLeavesNoPartialEntry) {
    TempFolder home("disk-full-home");
    const fs::path bin = CopyApplication(home), archive = home.Path() / (GetParam() ? "bomb.zip" : "bomb.tar.gz");
    WriteBomb(archive, GetParam(), 16 << 20);
    fs::create_directories(home.Path() / "disk");
    const std::string script =
        "mount -t tmpfs -o size=1m kelvora \"$1/disk\" || exit 99\n"
        "env -u DISPLAY -u WAYLAND_DISPLAY HOME=\"$1/disk\" \"$1/bin/zenkari\" \"$2\" >\"$1/stdout\" 2>\"$1/stderr\"\n"
        "status=$?\n"
        "(cd \"$1/disk\" && find . -type f | sort) >\"$1/left\"\n"
        "exit $status\n";
    std::ofstream(home.Path() / "run.sh") << script;
    std::string command = "unshare -rm sh '" + (home.Path() / "run.sh").string() + "' '" + home.Path().string() +
                          "' '" + archive.string() + "'";
    int status = std::system(command.c_str());
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code == 99) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(code, 1);
    EXPECT_NE(ReadFile(home.Path() / "stderr").find("ディスクの空き容量が不足しています。"), std::string::npos)
        << ReadFile(home.Path() / "stderr");
    EXPECT_EQ(ReadFile(home.Path() / "left"), "./Desktop/bomb/first.txt\n");
}

INSTANTIATE_TEST_SUITE_P(Formats, DiskFullTest, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "Zip" : "TarGz"); });

}  // namespace
