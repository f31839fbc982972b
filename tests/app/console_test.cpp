// zenkari run as a user runs it on a machine without a display.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "temp_folder.h"
#include "tree_compare.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

// Runs a copy of the application folder (so that its settings file is the
// test's own) with `argument`, no display, and HOME in a folder of its own.
Outcome Zenkari(const TempFolder& home, const std::string& argument) {
    const fs::path bin = home.Path() / "bin", out = home.Path() / "stdout", err = home.Path() / "stderr";
    if (!fs::exists(bin)) {
        fs::create_directories(bin);
        for (const auto& entry : fs::directory_iterator(KELVORA_BIN_DIR)) {
            const fs::path name = entry.path().filename();
            if (name == "zenkari" || name == "zenkari-worker" || name.extension() == ".so")
                fs::copy_file(entry.path(), bin / name);
        }
    }
    std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY HOME='" + home.Path().string() + "' '" +
                          (bin / "zenkari").string() + "' " + argument + " >'" + out.string() + "' 2>'" +
                          err.string() + "'";
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

}  // namespace
