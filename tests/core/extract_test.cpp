// Extraction with the main window's check boxes, the split-file join and the archive test.
#include <dlfcn.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "archive_bytes.h"
#include "env_var.h"
#include "extract.h"
#include "fake_library.h"
#include "identify.h"
#include "join.h"
#include "listing.h"
#include "module_loader.h"
#include "move_up.h"
#include "recorders.h"
#include "result_text.h"
#include "temp_folder.h"
#include "test_archive.h"
#include "trash_contents.h"
#include "tree_compare.h"

namespace core {
namespace {

class ExtractTest : public ::testing::Test, protected CoreRecorders {
protected:
    void SetUp() override { session_.settings_folder = temp_.Path().string() + "/"; }

    // Extracts `path` as an archive of `index` with destination mode `mode`.
    std::string CommandFor(int index, const std::string& path, int mode = 2, int no_window = 0) {
        session_.file_kind = kArchive;
        session_.file_archiver = index;
        session_.settings.ExtractNumber = static_cast<uint8_t>(mode);
        session_.settings.NoWindow = static_cast<int16_t>(no_window);
        library_.calls.clear();
        ExtractArchive(ctx_, path);
        for (const auto& call : library_.calls)
            if (call.rfind("Dravx ", 0) == 0) return call.substr(call.find(' ', call.find(' ', 6) + 1) + 1);
        return "";
    }
    void Write(const std::string& name, const std::string& bytes) {
        std::ofstream(temp_.Path() / name, std::ios::binary) << bytes;
    }

    TempFolder temp_{"extract-test"};
    Session session_;
    FakeLibrary library_;
    Context ctx_ = ContextOver(session_, library_, reinterpret_cast<HWND>(0x10));
};

TEST_F(ExtractTest, CommandLinesAreByteExact) {
    EXPECT_EQ(CommandFor(1, "/in/a.lzh"), "x -d1 -y1 \"/in/a.lzh\" \"/in/a/\" *.*");
    EXPECT_EQ(CommandFor(1, "/in/a.lzh", 2, 1), "x -d1 -y1 -n \"/in/a.lzh\" \"/in/a/\" *.*");
    EXPECT_EQ(CommandFor(4, "/in/a.tgz", 2, 1), "--display-dialog=0 -xvf \"/in/a.tgz\" \"/in/a/\" *.*");
    EXPECT_EQ(CommandFor(4, "/in/a.tar.gz"), "-xvf \"/in/a.tar.gz\" \"/in/a/\" *.*");
    EXPECT_EQ(CommandFor(2, "/in/a.b.zip"), "-x -o -q \"/in/a.b.zip\" \"/in/a.b/\" *.*");
    EXPECT_EQ(CommandFor(3, "/in/README", 2, 1), "-x -k -i \"/in/README\" \"/in/README/\" *.*");
    EXPECT_EQ(CommandFor(13, "/in/a.jak"), "-c \"/in/a.jak\" \"/in/\"");
    EXPECT_EQ(CommandFor(8, "/in/a.yz1"), "x \"/in/a.yz1\" \"/in/a/\"");
    EXPECT_EQ(CommandFor(11, "/in/a.bel", 2, 1), " \"/in/a.bel\" \"/in/\"");
    EXPECT_EQ(CommandFor(6, "/in/a b.rar", 2, 1), "-x \"/in/a b.rar\" \"/in/a b/\" *.*");
    // Into a folder that is not there yet the archive is neither counted nor listed first.
    EXPECT_EQ(std::count_if(library_.calls.begin(), library_.calls.end(),
                            [](const std::string& call) { return call.rfind("Dravx ", 0) != 0; }),
              0);
    EXPECT_EQ(screen_.events.back(), "browser on");
    EXPECT_GT(screen_.refreshes, 0);
}

TEST_F(ExtractTest, DestinationModesAndTheOpenedFolder) {
    setenv("TMPDIR", "/scratch", 1);
    EXPECT_EQ(CommandFor(1, "/in/a.lzh", 0), "x -d1 -y1 \"/in/a.lzh\" \"/desktop/a/\" *.*");
    EXPECT_EQ(CommandFor(1, "/in/a.lzh", 1), "x -d1 -y1 \"/in/a.lzh\" \"/scratch/a/\" *.*");
    EXPECT_EQ(CommandFor(1, "/in/a.lzh", 3), "x -d1 -y1 \"/in/a.lzh\" \"/manual/a/\" *.*");
    unsetenv("TMPDIR");
    EXPECT_EQ(shell_.opened_folders, (std::vector<std::string>{"/desktop/a/", "/scratch/a/", "/manual/a/"}));
    EXPECT_EQ(screen_.status, "解凍に成功しました。");
    // Onto the desktop itself nothing is opened.
    session_.settings.MakeArchiveFolder = 0;
    CommandFor(1, "/in/b.lzh", 0);
    EXPECT_EQ(shell_.opened_folders.size(), 3u);
}

TEST_F(ExtractTest, FailuresAreReported) {
    library_.command[2] = 0x800A;
    CommandFor(2, "/in/a.zip");
    ASSERT_EQ(prompter_.messages.size(), 2u);
    EXPECT_EQ(prompter_.messages[0].text, "解凍/復元に失敗しました。");
    EXPECT_EQ(prompter_.messages[1].text, ArchiverErrorText(0x800A));
    EXPECT_EQ(prompter_.messages[1].title, "Failed");
    EXPECT_EQ(screen_.status_colour, kRed);
    EXPECT_TRUE(shell_.opened_folders.empty());

    // The library's own -2 after identification: the module has gone.
    prompter_.messages.clear();
    library_.command[1] = -2;
    CommandFor(1, "/in/a.lzh");
    ASSERT_EQ(prompter_.messages.size(), 1u);
    EXPECT_EQ(prompter_.messages[0].text, "UNLHA32.DLL が見つかりません。");
    EXPECT_EQ(screen_.status, "解凍/復元に失敗しました。");

    // A manual destination emptied or made relative reaches no module.
    prompter_.messages.clear();
    screen_.manual_destination = "";
    EXPECT_EQ(CommandFor(1, "/in/a.lzh", 3), "");
    screen_.manual_destination = "out/";
    EXPECT_EQ(CommandFor(1, "/in/a.lzh", 3), "");
    EXPECT_EQ(prompter_.messages.size(), 2u);
    EXPECT_EQ(prompter_.messages.at(0).title, "エラー");

    // A path that cannot be quoted reaches no module.
    prompter_.messages.clear();
    EXPECT_EQ(CommandFor(1, "/in/a\"b.lzh"), "");
    EXPECT_EQ(prompter_.messages.at(0).title, "エラー");
}

TEST_F(ExtractTest, TheBrowserComesBackOnEveryExit) {
    auto expect_browser_back = [&](const char* exit) {
        EXPECT_TRUE(screen_.browser_enabled) << exit;
        ASSERT_FALSE(screen_.events.empty()) << exit;
        EXPECT_EQ(screen_.events.front(), "browser off") << exit;
        EXPECT_EQ(screen_.events.back(), "browser on") << exit;
        screen_.events.clear();
    };
    EXPECT_EQ(CommandFor(1, "/in/a\"b.lzh"), "");
    expect_browser_back("refused path");
    session_.file_kind = kNotExaminable;
    EXPECT_EQ(ExtractArchive(ctx_, "/in/locked.bin"), -1);
    expect_browser_back("not examined");
    library_.missing = true;
    CommandFor(2, "/in/a.zip");
    EXPECT_EQ(prompter_.messages.back().text, "UNZIP32.DLL が見つかりません。");
    expect_browser_back("library gone");
}

// The main window's three check boxes over a module that writes the entries
// of a listing the test gives, into a destination folder of the test's own.
class WritingLibrary : public FakeLibrary {
public:
    explicit WritingLibrary(std::filesystem::path root) : root_(std::move(root)) {}
    int32_t Dravx(int32_t index, HWND owner, const std::string& line) override {
        const size_t end = line.rfind('"'), start = line.rfind('"', end - 1) + 1;
        const std::string target = line.substr(start, end - start);
        std::istringstream entries(listing.count(index) ? listing[index] : "");
        if (target.rfind(root_.string(), 0) == 0) {
            for (std::string entry; std::getline(entries, entry);) {
                const std::filesystem::path at = target + "/" + entry;
                if (entry.back() == '/') {
                    std::filesystem::create_directories(at);
                } else {
                    std::filesystem::create_directories(at.parent_path());
                    std::ofstream(at) << entry;
                }
            }
        }
        return FakeLibrary::Dravx(index, owner, line);
    }

private:
    std::filesystem::path root_;
};

class CheckBoxTest : public ::testing::Test, protected CoreRecorders {
protected:
    CheckBoxTest() {
        library_.listing[2] = "a/\na/b.txt\na/c/d.txt\n";
        screen_.manual_destination = out_ + "/";
        settings_.ExtractNumber = 3;
        session_.file_kind = kArchive;
        session_.file_archiver = 2;
    }
    // The folder the module was told to extract into.
    std::string Extract(const std::string& name) {
        library_.calls.clear();
        ExtractArchive(ctx_, "/in/" + name);
        for (const auto& call : library_.calls)
            if (call.rfind("Dravx ", 0) == 0) return call.substr(call.rfind('"', call.rfind('"') - 1) + 1);
        return "";
    }
    bool Exists(const std::string& path) const { return std::filesystem::exists(out_ + "/" + path); }

    TempFolder temp_{"check-box-test"};
    const std::string out_ = temp_.Path().string();
    Session session_;
    Settings& settings_ = session_.settings;
    WritingLibrary library_{temp_.Path()};
    Context ctx_ = ContextOver(session_, library_);
};

TEST_F(CheckBoxTest, PreventDoubleFolderExtractsTheArchivesOwnFolderStraightIn) {
    EXPECT_EQ(Extract("a.zip"), out_ + "/a/\" *.*");  // off: in a/ again
    EXPECT_TRUE(Exists("a/a/c/d.txt"));
    EXPECT_EQ(shell_.opened_folders.back(), out_ + "/a/");
    std::filesystem::remove_all(out_ + "/a");

    settings_.PreventDoubleFolder = 1;
    EXPECT_EQ(Extract("a.zip"), out_ + "/a/\" *.*");
    EXPECT_TRUE(Exists("a/c/d.txt"));
    EXPECT_FALSE(Exists("a/a"));
    EXPECT_EQ(shell_.opened_folders.back(), out_ + "/a/");
    // The folder the archive brings is what is opened, whatever its name; it
    // joins the one already there, and the folder named after the archive goes.
    EXPECT_EQ(Extract("other.zip"), out_ + "/other/\" *.*");
    EXPECT_FALSE(Exists("other"));
    EXPECT_TRUE(Exists("a/b.txt"));
    EXPECT_EQ(shell_.extracted.back(), out_ + "/a/");
    EXPECT_EQ(screen_.status, "解凍に成功しました。");
}

TEST_F(CheckBoxTest, PreventDoubleFolderKeepsTheFolderForAnythingElse) {
    settings_.PreventDoubleFolder = 1;
    for (const char* listing : {"a/b.txt\nreadme.txt\n",  // a file beside the folder
                                "a/b.txt\nb/c.txt\n",      // two folders
                                "a\nb\n",                  // two files
                                ""}) {                     // nothing at all
        library_.listing[2] = listing;
        EXPECT_EQ(Extract("x.zip"), out_ + "/x/\" *.*") << listing;
        EXPECT_EQ(shell_.extracted.back(), out_ + "/x/") << listing;
        std::filesystem::remove_all(out_ + "/x");
    }
}

TEST_F(CheckBoxTest, AFolderAlreadyThereIsExtractedIntoAsTheListingDecides) {
    settings_.PreventDoubleFolder = 1;
    std::filesystem::create_directories(out_ + "/x");
    EXPECT_EQ(Extract("x.zip"), out_ + "//\" *.*");
    EXPECT_EQ(library_.calls.front(), "DravxText 2 -l \"/in/x.zip\"");
    EXPECT_EQ(shell_.extracted.back(), out_ + "/a/");
}

TEST_F(CheckBoxTest, OpenAfterExtractOffOpensNothingButTellsTheOutput) {
    settings_.OpenAfterExtract = 0;
    Extract("x.zip");
    EXPECT_TRUE(shell_.opened_folders.empty());
    EXPECT_EQ(shell_.extracted, std::vector<std::string>{out_ + "/x/"});
    EXPECT_EQ(screen_.status, "解凍に成功しました。");
}

TEST_F(CheckBoxTest, WithoutTheArchiveFolderEntriesGoStraightIntoTheDestination) {
    settings_.MakeArchiveFolder = 0;
    library_.listing[2] = "b.txt\nc/d.txt\n";
    EXPECT_EQ(Extract("x.zip"), out_ + "//\" *.*");
    EXPECT_TRUE(Exists("c/d.txt"));
    EXPECT_EQ(shell_.extracted.back(), out_ + "/");
    // Onto the desktop itself nothing is opened.
    settings_.ExtractNumber = 0;
    Extract("x.zip");
    EXPECT_EQ(shell_.opened_folders, std::vector<std::string>{out_ + "//"});
    EXPECT_EQ(shell_.extracted.back(), "/desktop/");
    // An archive of one folder: that folder is what the user gets.
    settings_.ExtractNumber = 3;
    library_.listing[2] = "a/b.txt\na/c.txt\n";
    EXPECT_EQ(Extract("x.zip"), out_ + "//\" *.*");
    EXPECT_EQ(shell_.extracted.back(), out_ + "/a/");
}

TEST_F(CheckBoxTest, ASingleFileMovesUpIntoTheDestination) {
    library_.listing[2] = "dir/only.txt\n";
    EXPECT_EQ(Extract("x.zip"), out_ + "/x/\" *.*");
    EXPECT_FALSE(Exists("x"));
    EXPECT_EQ(shell_.extracted, std::vector<std::string>{out_ + "/dir/only.txt"});
    EXPECT_EQ(shell_.opened_folders, std::vector<std::string>{out_ + "//"});

    // Over a file of the user's with other bytes: that file goes to the trash.
    TempFolder data("trash");
    EnvVar data_home("XDG_DATA_HOME", data.Path().c_str());
    library_.listing[2] = "note.txt\n";
    std::ofstream(out_ + "/note.txt") << "the user's";
    Extract("x.zip");
    EXPECT_EQ(ReadFile(out_ + "/note.txt"), "note.txt");
    const std::vector<Trashed> trashed = TrashContents(data.Path() / "Trash");
    ASSERT_EQ(trashed.size(), 1u);
    EXPECT_EQ(trashed.front().path, out_ + "/note.txt");
    EXPECT_EQ(trashed.front().contents, "the user's");
    EXPECT_EQ(screen_.status, "解凍に成功しました。");
    // The same bytes once more: nothing is put away.
    Extract("x.zip");
    EXPECT_EQ(TrashContents(data.Path() / "Trash").size(), 1u);
    EXPECT_FALSE(Exists("x"));

    // An entry by the archive's own name and place leaves the archive alone
    // and stays in the folder it was written into.
    std::ofstream(out_ + "/y.zip") << "the archive";
    library_.listing[2] = "y.zip\n";
    session_.settings.ExtractNumber = 3;
    library_.calls.clear();
    ExtractArchive(ctx_, out_ + "/y.zip");
    EXPECT_EQ(ReadFile(out_ + "/y.zip"), "the archive");
    EXPECT_EQ(ReadFile(out_ + "/y/y.zip"), "y.zip");
    EXPECT_EQ(shell_.extracted.back(), out_ + "/y/");
}

// What an extraction wrote joins what the user has, and nothing of the user's is lost.
TEST(MoveUp, MergesFoldersAndPutsAwayWhatItReplaces) {
    TempFolder temp("move-up");
    TempFolder data("trash");
    EnvVar data_home("XDG_DATA_HOME", data.Path().c_str());
    const std::filesystem::path new_tree = temp.Path() / "new/d", old_tree = temp.Path() / "d";
    auto write = [](const std::filesystem::path& path, const std::string& bytes) {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << bytes;
    };
    write(new_tree / "same.txt", "same");
    write(new_tree / "changed.txt", "new");
    write(new_tree / "sub/added.txt", "added");
    write(new_tree / "was_a_folder", "file now");
    write(old_tree / "same.txt", "same");
    write(old_tree / "changed.txt", "old");
    write(old_tree / "sub/kept.txt", "kept");
    write(old_tree / "was_a_folder/inside.txt", "inside");
    write(temp.Path() / "archive.zip", "the archive");
    write(new_tree / "archive.zip", "an entry");
    std::filesystem::create_symlink("../archive.zip", old_tree / "archive.zip");

    EXPECT_TRUE(MoveUp(new_tree.string(), old_tree.string(), (temp.Path() / "archive.zip").string()));
    EXPECT_FALSE(std::filesystem::exists(new_tree));
    EXPECT_EQ(ReadFile(old_tree / "same.txt"), "same");
    EXPECT_EQ(ReadFile(old_tree / "changed.txt"), "new");
    EXPECT_EQ(ReadFile(old_tree / "sub/kept.txt"), "kept");
    EXPECT_EQ(ReadFile(old_tree / "sub/added.txt"), "added");
    EXPECT_EQ(ReadFile(old_tree / "was_a_folder"), "file now");
    EXPECT_EQ(ReadFile(old_tree / "archive.zip"), "an entry");  // a link to the archive is only a link
    EXPECT_EQ(ReadFile(temp.Path() / "archive.zip"), "the archive");
    std::vector<std::string> trashed;
    for (const Trashed& file : TrashContents(data.Path() / "Trash")) trashed.push_back(file.path);
    std::sort(trashed.begin(), trashed.end());
    EXPECT_EQ(trashed, (std::vector<std::string>{(old_tree / "archive.zip").string(), (old_tree / "changed.txt").string(),
                                                 (old_tree / "was_a_folder").string()}));

    // The archive itself is never put away: the entry stays where it was written.
    write(temp.Path() / "new/archive.zip", "an entry");
    EXPECT_FALSE(MoveUp((temp.Path() / "new/archive.zip").string(), (temp.Path() / "archive.zip").string(),
                        (temp.Path() / "archive.zip").string()));
    EXPECT_EQ(ReadFile(temp.Path() / "archive.zip"), "the archive");
    EXPECT_EQ(ReadFile(temp.Path() / "new/archive.zip"), "an entry");

    // Nor is a folder that holds it, for a file of the folder's name.
    write(temp.Path() / "box/deep/x.zip", "the archive");
    write(temp.Path() / "new/box", "an entry");
    EXPECT_FALSE(MoveUp((temp.Path() / "new/box").string(), (temp.Path() / "box").string(),
                        (temp.Path() / "box/deep/x.zip").string()));
    EXPECT_EQ(ReadFile(temp.Path() / "box/deep/x.zip"), "the archive");
    EXPECT_EQ(ReadFile(temp.Path() / "new/box"), "an entry");
}

TEST(TopLevelNames, FirstPartsOfTheEntries) {
    using Names = std::vector<TopLevelName>;
    EXPECT_EQ(TopLevelNames({"a/", "a/b.txt", "a/c/d"}, true), (Names{{"a", true}}));
    EXPECT_EQ(TopLevelNames({"./", "./a/b"}, true), (Names{{"a", true}}));
    EXPECT_EQ(TopLevelNames({"a", "b/", "a"}, true), (Names{{"a", false}, {"b", true}}));
    EXPECT_EQ(TopLevelNames({"a\\b.txt", "a\\c.txt"}, true), (Names{{"a", true}}));
    // Where a backslash is part of a name (tar), each entry is a file of its own.
    EXPECT_EQ(TopLevelNames({"a\\b.txt", "a\\c.txt"}, false), (Names{{"a\\b.txt", false}, {"a\\c.txt", false}}));
}

// The folders a failed extraction made are removed while they hold no file.
class FolderMakingLibrary : public FakeLibrary {
public:
    int32_t Dravx(int32_t index, HWND owner, const std::string& line) override {
        const size_t end = line.rfind('"'), start = line.rfind('"', end - 1) + 1;
        const std::filesystem::path target = line.substr(start, end - start);
        std::filesystem::create_directories(target / "sub");
        if (write_a_file) std::ofstream(target / "sub/part.bin") << "x";
        return FakeLibrary::Dravx(index, owner, line);
    }
    bool write_a_file = false;
};

class NewFolderTest : public ::testing::Test, protected CoreRecorders {
protected:
    NewFolderTest() {
        library_.command[2] = 0x8012;
        screen_.manual_destination = temp_.Path().string() + "/new/";
        session_.settings.ExtractNumber = 3;
    }
    void Extract() {
        session_.file_kind = kArchive;
        session_.file_archiver = 2;
        ExtractArchive(ctx_, "/in/x.zip");
    }

    TempFolder temp_{"new-folder-test"};
    Session session_;
    FolderMakingLibrary library_;
    Context ctx_ = ContextOver(session_, library_);
};

TEST_F(NewFolderTest, AFailureRemovesTheEmptyFoldersItMade) {
    Extract();
    EXPECT_FALSE(std::filesystem::exists(temp_.Path() / "new"));
    EXPECT_EQ(prompter_.messages.at(0).text, "解凍/復元に失敗しました。");
}

TEST_F(NewFolderTest, AFailureKeepsWhatWasWrittenAndWhatWasThere) {
    library_.write_a_file = true;
    Extract();
    EXPECT_TRUE(std::filesystem::exists(temp_.Path() / "new/x/sub/part.bin"));

    library_.write_a_file = false;
    std::filesystem::remove_all(temp_.Path() / "new");
    std::filesystem::create_directories(temp_.Path() / "new/x");
    Extract();
    EXPECT_TRUE(std::filesystem::exists(temp_.Path() / "new/x/sub"));
}

// The plan alone, on rows made for the purpose: no library, no windows.
class PlanTest : public ::testing::Test {
protected:
    ExtractionPlan Plan(const ArchiverRow& row, bool quiet = false, bool single_entry = false) {
        settings_.NoWindow = quiet ? 1 : 0;
        return PlanExtraction("/in/a.tar.gz", "/out/", settings_, row, {.entries = single_entry ? 1 : 3});
    }
    Settings settings_;
};

TEST_F(PlanTest, QuietOptionFollowsOrLeadsTheCommand) {
    ArchiverRow row{.extract = "x ", .quiet = "-q "};
    EXPECT_EQ(Plan(row).command_line, "x \"/in/a.tar.gz\" \"/out/a/\" *.*");
    EXPECT_EQ(Plan(row, true).command_line, "x -q \"/in/a.tar.gz\" \"/out/a/\" *.*");
    row.quiet_first = true;
    EXPECT_EQ(Plan(row, true).command_line, "-q x \"/in/a.tar.gz\" \"/out/a/\" *.*");
}

TEST_F(PlanTest, FolderNamedAfterTheArchiveUnlessTheModuleMakesItsOwn) {
    ArchiverRow row{.extract = "x "};
    ExtractionPlan plan = Plan(row);
    EXPECT_EQ(plan.landing, "/out/a");
    EXPECT_EQ(plan.shown, "/out/a/");

    // A single entry lands in the destination itself; the separator stays.
    plan = Plan(row, false, true);
    EXPECT_EQ(plan.landing, "/out/");
    EXPECT_EQ(plan.shown, "/out//");
    EXPECT_EQ(plan.command_line, "x \"/in/a.tar.gz\" \"/out//\" *.*");

    row.writes_own_folder = true;
    row.wildcard = false;
    plan = Plan(row);
    EXPECT_EQ(plan.landing, "/out/");
    EXPECT_EQ(plan.shown, "/out/");
    EXPECT_EQ(plan.command_line, "x \"/in/a.tar.gz\" \"/out/\"");
}

TEST_F(PlanTest, AJoinedSplitSetShowsTheDestination) {
    const ExtractionPlan plan = PlanExtraction("/in/a.000", "/manual", settings_, Archiver(kSplitSet), {});
    EXPECT_EQ(plan.landing, "/manual");
    EXPECT_EQ(plan.shown, "/manual");
}

TEST_F(ExtractTest, NonArchivesAreOpenedOrSkipped) {
    session_.file_kind = kNotArchive;
    session_.settings.ExtractNumber = 2;
    ExtractArchive(ctx_, "/in/readme.txt");
    EXPECT_EQ(shell_.opened_files, std::vector<std::string>{"/in/readme.txt|/in/"});
    session_.file_kind = kNotExaminable;
    ExtractArchive(ctx_, "/in/locked.bin");
    EXPECT_EQ(shell_.opened_files.size(), 1u);
    EXPECT_TRUE(library_.calls.empty());
}

TEST_F(ExtractTest, SplitSetsAreJoinedByteForByte) {
    const std::string dir = temp_.Path().string();
    Write("a 'x'.000", "one-");
    Write("a 'x'.001", "two-");
    Write("a 'x'.002", "three");
    Write("a 'x'.004", "after a gap");
    screen_.browsed_folder = dir;
    prompter_.answers.push_back("joined $(touch pwned).bin");
    session_.file_kind = kArchive;
    session_.file_archiver = kSplitSet;
    ExtractArchive(ctx_, dir + "/a 'x'.000");
    EXPECT_EQ(ReadFile(temp_.Path() / "joined $(touch pwned).bin"), "one-two-three");
    EXPECT_FALSE(std::filesystem::exists(temp_.Path() / "pwned"));
    EXPECT_EQ(prompter_.prompts.at(0), "解凍後のファイル名を入力してください。|ファイル名の入力|" + dir + "/a 'x'.");
    EXPECT_EQ(prompter_.messages.at(0).text, "復元に成功しました。");
    EXPECT_EQ(session_.join_batch_file, dir + "/tmpexec.sh");
    EXPECT_TRUE(library_.calls.empty());
}

TEST_F(ExtractTest, JoinFailuresLeaveNothingLookingComplete) {
    const std::string dir = temp_.Path().string();
    Write("b.000", "x");
    Write("b.001", "y");
    screen_.browsed_folder = dir;
    // Cancelled: no script, the join file name kept.
    EXPECT_EQ(JoinSplitFiles(ctx_, dir + "/b.000", ""), 0x8020);
    EXPECT_TRUE(session_.join_batch_file.empty());
    // The output cannot be written: a failure, and no output.
    EXPECT_EQ(JoinSplitFiles(ctx_, dir + "/b.000", dir + "/missing/out.bin"), 0x8013);
    EXPECT_FALSE(std::filesystem::exists(dir + "/missing"));
    // An output name that is a folder would swallow the output.
    EXPECT_EQ(JoinSplitFiles(ctx_, dir + "/b.000", dir), 0x8013);
    // The script cannot be written.
    session_.settings_folder = dir + "/b.000/";
    EXPECT_EQ(JoinSplitFiles(ctx_, dir + "/b.000", dir + "/out.bin"), 0x8022);
    EXPECT_FALSE(std::filesystem::exists(dir + "/out.bin"));
}

TEST_F(ExtractTest, AJoinOverAnExistingFilePutsThatFileInTheTrash) {
    TempFolder data("extract-test-data");
    EnvVar data_home("XDG_DATA_HOME", data.Path().c_str());
    const std::string dir = temp_.Path().string();
    Write("c.000", "x");
    Write("c.001", "y");
    Write("joined.bin", "the user's own");
    screen_.browsed_folder = dir;
    EXPECT_EQ(JoinSplitFiles(ctx_, dir + "/c.000", "joined.bin"), 0);
    EXPECT_EQ(ReadFile(temp_.Path() / "joined.bin"), "xy");
    const auto trashed = TrashContents(data.Path() / "Trash");
    ASSERT_EQ(trashed.size(), 1u);
    EXPECT_EQ(trashed[0].contents, "the user's own");
    EXPECT_EQ(trashed[0].path, dir + "/joined.bin");
}

TEST_F(ExtractTest, TestCommandsAndTheirReports) {
    Write("a.lzh", "archive bytes");
    Write("a.cab", "archive bytes");
    const std::string lzh = temp_.Path().string() + "/a.lzh", cab = temp_.Path().string() + "/a.cab";
    library_.check[1] = 1;
    library_.check[3] = 1;
    auto lastDravx = [&] { return library_.calls.back(); };

    TestArchive(ctx_, lzh);
    EXPECT_EQ(lastDravx(), "Dravx 1 owner t \"" + lzh + "\"");
    EXPECT_EQ(prompter_.messages.back().text, "テストに成功しました。");
    session_.settings.NoWindow = 1;
    TestArchive(ctx_, cab);
    EXPECT_EQ(lastDravx(), "Dravx 3 owner -t -i \"" + cab + "\"");

    prompter_.messages.clear();
    library_.command[1] = 0x800C;
    TestArchive(ctx_, lzh);
    ASSERT_EQ(prompter_.messages.size(), 2u);
    EXPECT_EQ(prompter_.messages[0].text, "テストに失敗しました。DLL:UNLHA32.DLL Error Code:0x800C");
    EXPECT_EQ(prompter_.messages[1].text, "ファイルのチェックサムエラーです。");
    EXPECT_EQ(prompter_.messages[1].icon, Icon::Critical);

    prompter_.messages.clear();
    library_.command[1] = -2;
    TestArchive(ctx_, lzh);
    EXPECT_EQ(prompter_.messages.at(0).text, "UNLHA32.DLL が見つかりません。");
}

}  // namespace
}  // namespace core

namespace core {
namespace {

// Identification and extraction through Dravolix and our modules, as the
// main window runs them, on the fixtures.
class EndToEndTest : public ::testing::Test, protected CoreRecorders {
protected:
    void SetUp() override {
        platform::SetModuleDirectory(KELVORA_BIN_DIR);
        for (int index : {1, 2, 3, 4, 6}) session_.dll_version[static_cast<size_t>(index)] = library_.GetVersion(index);
        session_.settings_folder = temp_.Path().string() + "/";
        shell_.desktop = temp_.Path().string() + "/desktop/";
        std::filesystem::create_directories(shell_.desktop);
    }
    void TearDown() override { platform::SetModuleDirectory(""); }
    void Write(const std::string& name, const std::string& bytes) {
        std::ofstream(temp_.Path() / name, std::ios::binary) << bytes;
    }

    // Copies the fixture into the work folder and identifies and extracts it there.
    std::string Run(const std::string& fixture, int mode = 2) {
        std::filesystem::copy_file(std::filesystem::path(KELVORA_FIXTURE_DIR) / fixture, temp_.Path() / fixture,
                                   std::filesystem::copy_options::overwrite_existing);
        const std::string path = (temp_.Path() / fixture).string();
        session_.settings.ExtractNumber = static_cast<uint8_t>(mode);
        int32_t index = IdentifyArchive(ctx_, path);
        ExtractArchive(ctx_, path);
        return std::to_string(index) + " " + screen_.file_type;
    }

    TempFolder temp_{"end-to-end"};
    Session session_;
    DravolixLibrary library_;
    Context ctx_ = ContextOver(session_, library_);
};

TEST_F(EndToEndTest, EveryGoodFixtureLandsInAFolderNamedAfterIt) {
    const std::filesystem::path tree = std::filesystem::path(KELVORA_FIXTURE_DIR) / "tree";
    struct Case {
        const char* fixture;
        const char* identified;
        const char* folder;
    };
    for (const Case& c : {Case{"tree.lzh", "1 LZH書庫", "tree"}, Case{"tree_lh7.lzh", "1 LZH書庫", "tree_lh7"},
                          Case{"sfx_lzh.exe", "1 LZH書庫", "sfx_lzh"}, Case{"tree.zip", "2 ZIP書庫", "tree"},
                          Case{"tree.jar", "2 ZIP書庫", "tree"}, Case{"sfx_zip.exe", "2 ZIP書庫", "sfx_zip"},
                          Case{"tree.cab", "3 CAB書庫", "tree"}, Case{"tree.tar", "4 TAR書庫", "tree"},
                          Case{"tree.tar.gz", "4 GZIP書庫", "tree"}, Case{"tree.tgz", "4 GZIP書庫", "tree"},
                          Case{"tree.tar.bz2", "4 BZIP2書庫", "tree"}, Case{"tree.tar.Z", "4 Compress書庫", "tree"},
                          Case{"tree.tar.xz", "4 書庫", "tree"}, Case{"tree.cpio.gz", "4 CPIO-GZ書庫", "tree.cpio"},
                          Case{"tree.rar", "6 RAR書庫", "tree"}, Case{"tree5.rar", "6 RAR書庫", "tree5"}}) {
        std::filesystem::remove_all(temp_.Path() / c.folder);
        EXPECT_EQ(Run(c.fixture), c.identified) << c.fixture;
        EXPECT_EQ(screen_.status, "解凍に成功しました。") << c.fixture;
        EXPECT_EQ(CompareTrees(tree, temp_.Path() / c.folder), "") << c.fixture;
        EXPECT_EQ(shell_.opened_folders.back(), temp_.Path().string() + "/" + c.folder + "/") << c.fixture;
    }
    // A single entry goes straight into the destination, here the desktop: no folder is opened.
    size_t opened = shell_.opened_folders.size();
    EXPECT_EQ(Run("hello.txt.gz", 0), "4 GZIP書庫");
    EXPECT_EQ(ReadFile(shell_.desktop + "hello.txt"), "Hello, Kelvora!\n");
    EXPECT_EQ(shell_.opened_folders.size(), opened);
    EXPECT_EQ(shell_.extracted.back(), shell_.desktop + "hello.txt");
    EXPECT_TRUE(prompter_.messages.empty());
}

TEST_F(EndToEndTest, DestinationModesAndADamagedArchive) {
    setenv("TMPDIR", (temp_.Path() / "tmp").c_str(), 1);
    std::filesystem::create_directories(temp_.Path() / "tmp");
    Run("tree.zip", 1);
    unsetenv("TMPDIR");
    EXPECT_TRUE(std::filesystem::exists(temp_.Path() / "tmp/tree/dir/data.bin"));
    screen_.manual_destination = temp_.Path().string() + "/manual/";
    Run("tree.lzh", 3);
    EXPECT_TRUE(std::filesystem::exists(temp_.Path() / "manual/tree/dir/data.bin"));
    Run("tree.tar.gz", 0);
    EXPECT_TRUE(std::filesystem::exists(temp_.Path() / "desktop/tree/hello.txt"));

    Run("crc.zip");
    ASSERT_EQ(prompter_.messages.size(), 2u);
    EXPECT_EQ(prompter_.messages[1].text, "ファイルのチェックサムエラーです。");
    EXPECT_EQ(screen_.status, "解凍/復元に失敗しました。");
    EXPECT_EQ(screen_.status_colour, kRed);
}

// Each of our modules answers its row's list command with a name a line.
TEST_F(EndToEndTest, OurModulesListTheirEntries) {
    using Names = std::vector<TopLevelName>;
    for (const auto& [fixture, index] : {std::pair{"tree.lzh", 1}, {"tree.zip", 2}, {"tree.cab", 3},
                                         {"tree.tar.gz", 4}, {"tree.rar", 6}}) {
        const auto entries = ListEntries(library_, Archiver(index), std::string(KELVORA_FIXTURE_DIR) + "/" + fixture);
        ASSERT_TRUE(entries) << fixture;
        Names top = TopLevelNames(*entries, Archiver(index).backslash_separates);
        std::sort(top.begin(), top.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
        EXPECT_EQ(top, (Names{{"dir", true}, {"hello.txt", false}})) << fixture;
    }
}

// A real ZIP cut into a.zip.001, .002, .003 as a file splitter cuts it.
TEST_F(EndToEndTest, ASplitZipIsJoinedByteForByte) {
    const std::string zip = ReadFile(std::filesystem::path(KELVORA_FIXTURE_DIR) / "tree.zip");
    const size_t third = zip.size() / 3 + 1;
    for (size_t part = 0; part < 3; ++part)
        Write("a.zip.00" + std::to_string(part + 1), zip.substr(part * third, third));
    const std::string dir = temp_.Path().string();
    EXPECT_EQ(IdentifyArchive(ctx_, dir + "/a.zip.001"), kSplitSet);
    EXPECT_EQ(screen_.status.substr(0, screen_.status.find("書庫ｻｲｽﾞ")), "結合できます。(格納ﾌｧｲﾙ数：3File(s),");
    screen_.browsed_folder = dir;
    prompter_.answers.push_back(dir + "/a.zip");  // the proposal, taken as it is
    EXPECT_EQ(ExtractArchive(ctx_, dir + "/a.zip.001"), 0);
    EXPECT_EQ(prompter_.prompts.at(0), "解凍後のファイル名を入力してください。|ファイル名の入力|" + dir + "/a.zip");
    EXPECT_EQ(ReadFile(temp_.Path() / "a.zip"), zip);
    EXPECT_EQ(shell_.extracted, std::vector<std::string>{dir + "/a.zip"});
}

// A ZIP of `entries` (name, bytes); a name ending in "/" is a folder.
void WriteZip(const std::filesystem::path& path, const std::vector<std::pair<std::string, std::string>>& entries) {
    std::vector<archive_bytes::Item> items;
    for (const auto& [name, bytes] : entries)
        items.push_back({.path = name, .type = name.back() == '/' ? 040000u : 0100000u, .data = bytes, .perm = 0755});
    std::ofstream(path, std::ios::binary) << archive_bytes::Write("zip", items);
}

// The first part alone is probed and taken for the ZIP it begins; it ends
// inside the first file, so extracting it fails and leaves no folder behind.
TEST_F(EndToEndTest, ALoneFirstPartLeavesNoFolder) {
    std::string noise(65536, '\0');
    uint32_t state = 1;
    for (char& c : noise) c = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
    WriteZip(temp_.Path() / "b.zip", {{"b/", ""}, {"b/noise.bin", noise}});
    const std::string zip = ReadFile(temp_.Path() / "b.zip");
    std::filesystem::remove(temp_.Path() / "b.zip");
    Write("b.zip.001", zip.substr(0, zip.size() / 2));
    const std::string path = temp_.Path().string() + "/b.zip.001";
    ASSERT_EQ(IdentifyArchive(ctx_, path), 2);
    session_.settings.ExtractNumber = 2;
    EXPECT_NE(ExtractArchive(ctx_, path), 0);
    EXPECT_FALSE(std::filesystem::exists(temp_.Path() / "b.zip"));
}

// An archive that brings its own folder, as most do.
TEST_F(EndToEndTest, PreventDoubleFolderOnAnArchiveOfOneFolder) {
    const std::string path = (temp_.Path() / "a.zip").string();
    WriteZip(path, {{"a/", ""}, {"a/one.txt", "one\n"}, {"a/sub/two.txt", "two\n"}});
    session_.settings.ExtractNumber = 2;
    session_.settings.PreventDoubleFolder = 1;
    ASSERT_EQ(IdentifyArchive(ctx_, path), 2);
    EXPECT_EQ(ExtractArchive(ctx_, path), 0);
    EXPECT_EQ(ReadFile(temp_.Path() / "a/sub/two.txt"), "two\n");
    EXPECT_FALSE(std::filesystem::exists(temp_.Path() / "a/a"));
    EXPECT_EQ(shell_.extracted.back(), temp_.Path().string() + "/a/");
}

}  // namespace
}  // namespace core

namespace core {
namespace {

TEST(LibraryBinding, AMissingLibraryIsAClearError) {
    // The program keeps its library for the life of the process; ctest runs
    // each case alone, but a whole run of this file may have loaded it already.
    if (void* loaded = dlopen("Dravolix.so", RTLD_LAZY | RTLD_NOLOAD)) {
        dlclose(loaded);
        GTEST_SKIP() << "Dravolix.so was loaded by an earlier case of this process";
    }
    TempFolder empty("no-library");
    platform::SetModuleDirectory(empty.Path().string());
    DravolixLibrary library;
    EXPECT_FALSE(DravolixLibrary::Present());
    EXPECT_THROW(library.GetCoreVersion(), LibraryMissing);
    platform::SetModuleDirectory(KELVORA_BIN_DIR);
    EXPECT_TRUE(DravolixLibrary::Present());
    DravolixLibrary present;
    EXPECT_EQ(present.GetCoreVersion(), 6);
    platform::SetModuleDirectory("");
}

}  // namespace
}  // namespace core
