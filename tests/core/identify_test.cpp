// Archive identification: routing by name and by probing, the displays and
// the session values, the size and count texts, the preview; and the same
// end to end through Dravolix and our archiver modules.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>

#include "fake_library.h"
#include "extract.h"
#include "identify.h"
#include "module_loader.h"
#include "recorders.h"
#include "temp_folder.h"
#include "env_var.h"

namespace core {
namespace {

namespace fs = std::filesystem;


// Also notes what the labels said when the busy pointer came on.
struct BusyScreen : ScreenRecorder {
    std::string type_when_busy, status_when_busy;
    Rgb colour_when_busy{1, 1, 1};
    void SetBusy(bool on) override {
        if (on) type_when_busy = file_type, status_when_busy = status, colour_when_busy = status_colour;
        ScreenRecorder::SetBusy(on);
    }
};

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class IdentifyTest : public ::testing::Test {
protected:
    IdentifyTest() {
        for (int index : {1, 2, 3, 4, 6}) session_.dll_version[index] = 210;
    }

    std::string MakeFile(const std::string& name, const std::string& bytes = "some bytes") {
        fs::path path = folder_.Path() / name;
        WriteFile(path, bytes);
        return path.string();
    }

    // Identifies, and checks that the browser was off and the pointer busy
    // for exactly the duration, whatever the outcome.
    int32_t Identify(const std::string& path) {
        screen_.events.clear();
        library_.calls.clear();
        int32_t result = IdentifyArchive(ctx_, path);
        EXPECT_EQ(screen_.events, (std::vector<std::string>{"browser off", "busy on", "browser on", "busy off"}));
        EXPECT_EQ(screen_.type_when_busy, "Checking...");
        EXPECT_EQ(screen_.status_when_busy, "ファイル形式を調査しています...");
        EXPECT_EQ(screen_.colour_when_busy, kBlack);
        return result;
    }

    void ExpectSession(uint8_t kind, int32_t archiver) {
        EXPECT_EQ(session_.file_kind, kind);
        EXPECT_EQ(session_.file_archiver, archiver);
    }
    void ExpectAccessFailure(int32_t result) {
        EXPECT_EQ(result, kNotExamined);
        EXPECT_EQ(screen_.file_type, "アクセス中");
        EXPECT_EQ(screen_.status, "ファイル形式の取得に失敗しました。");
        EXPECT_EQ(screen_.status_colour, kRed);
        ExpectSession(kNotExaminable, 0);
    }
    void ExpectNotArchive(int32_t result, const std::string& preview) {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(screen_.file_type, "不明な形式");
        EXPECT_EQ(screen_.status, "このファイルは未対応です。");
        EXPECT_EQ(screen_.status_colour, kBlack);
        EXPECT_FALSE(screen_.dll_list_visible);
        EXPECT_TRUE(screen_.preview_visible);
        EXPECT_EQ(screen_.preview, preview);
        EXPECT_FALSE(screen_.dll_settings_enabled);
        ExpectSession(kNotArchive, 0);
    }
    std::string Call(const std::string& name, int index, const std::string& path, int mode) {
        return name + " " + std::to_string(index) + " " + path + " " + std::to_string(mode);
    }

    EnvVar numbers_{"LC_ALL", "C"};
    TempFolder folder_{"identify-test"};
    Session session_;
    FakeLibrary library_;
    BusyScreen screen_;
    PrompterRecorder prompter_;
    ShellRecorder shell_;
    Context ctx_{session_, library_, screen_, prompter_, shell_};
};

TEST_F(IdentifyTest, ExtensionChoosesTheArchiverToConfirm) {
    struct Row {
        const char* name;
        int index;      // what is confirmed; 0: the name says nothing and probing starts
        int mode = 1;
        int16_t tar_version = 210;
    };
    const Row rows[] = {
        {"a.lzh", 1}, {"a.LHA", 1}, {"a.lzs", 1},  {"a.zip", 2},  {"a.JAR", 2},  {"a.cab", 3},
        {"a.tar", 4}, {"a.tar.gz", 4}, {"a.tgz", 4}, {"a.TAZ", 4}, {"a.tar.Z", 4}, {"a.z", 4},
        {"a.bz2", 4}, {"a.tbz", 4}, {"a.rpm", 4},  {"a.DEB", 4},  {"a.rpm", 0, 1, 205}, {"a.deb", 0, 1, 205},
        {"a.arj", 5}, {"a.rar", 6}, {"a.bza", 7},  {"a.gza", 7},  {"a.yz1", 8},  {"a.gca", 10, 16},
        {"a.bel", 11}, {"a.jak", 13}, {"setup.exe", 0}, {"a.com", 0}, {"a.txt", 0}, {"a.xz", 0},
    };
    // Rows of the DLL list by archiver index: 9 and 12 have none.
    const std::map<int, int> dll_row = {{1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 4}, {6, 5},
                                        {7, 6}, {8, 7}, {10, 8}, {11, 9}, {13, 10}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        session_.dll_version[4] = row.tar_version;
        for (int index = 1; index <= 13; ++index) library_.check[index] = 1;
        std::string path = MakeFile(row.name);
        int expected = row.index ? row.index : 1;  // the first probe takes it
        EXPECT_EQ(Identify(path), expected);
        ASSERT_FALSE(library_.calls.empty());
        EXPECT_EQ(library_.calls.front(), Call("CheckArchive", expected, path, row.mode));
        EXPECT_EQ(screen_.selected_row, dll_row.at(expected));
        ExpectSession(kArchive, expected);
        fs::remove(path);
    }
}

TEST_F(IdentifyTest, ArchiveShowsLabelCountAndSize) {
    std::string path = MakeFile("big.lzh");
    fs::resize_file(path, 5945426);  // 5.67 MB
    library_.check[1] = 1;
    library_.count[1] = 1234;
    EXPECT_EQ(Identify(path), 1);
    EXPECT_EQ(library_.calls, (std::vector<std::string>{Call("CheckArchive", 1, path, 1), "GetFileCount 1 " + path}));
    EXPECT_EQ(screen_.file_type, "LZH書庫");
    EXPECT_EQ(screen_.status, "解凍できます。(格納ﾌｧｲﾙ数：1,234File(s),書庫ｻｲｽﾞ：5.67MB)");
    EXPECT_EQ(screen_.status_colour, kPurple);
    EXPECT_TRUE(screen_.dll_list_visible);
    EXPECT_FALSE(screen_.preview_visible);
    EXPECT_TRUE(screen_.dll_settings_enabled);
    EXPECT_EQ(screen_.selected_row, 0);
    ExpectSession(kArchive, 1);

    // Where no one sees the status line, the archive is not read to count it.
    session_.count_entries = false;
    EXPECT_EQ(Identify(path), 1);
    EXPECT_EQ(library_.calls, (std::vector<std::string>{Call("CheckArchive", 1, path, 1)}));
    EXPECT_EQ(screen_.status, "解凍できます。(書庫ｻｲｽﾞ：5.67MB)");
    ExpectSession(kArchive, 1);
}

TEST_F(IdentifyTest, TypeCodesAndJoiningArchivers) {
    // JACK32, BGA32 and YZ1 name the kind of archive in a second check.
    library_.check[13] = 1;
    std::string jack = MakeFile("a.jak");
    EXPECT_EQ(Identify(jack), 13);
    EXPECT_EQ(library_.calls, (std::vector<std::string>{Call("CheckArchive", 13, jack, 1),
                                                        Call("CheckArchive", 13, jack, 1), "GetFileCount 13 " + jack}));
    EXPECT_EQ(screen_.file_type, "JACK書庫");
    EXPECT_EQ(screen_.status.rfind("結合できます。(格納ﾌｧｲﾙ数：3File(s),", 0), 0u) << screen_.status;

    library_.check[8] = 2;
    EXPECT_EQ(Identify(MakeFile("a.yz1")), 8);
    EXPECT_EQ(screen_.file_type, "パスワード付きYZ1書庫");

    // TAR32 reports its own; a code without a label gives the bare word.
    library_.check[4] = 1;
    std::string tar = MakeFile("a.tar");
    for (auto [code, label] : {std::pair{8, "書庫"}, {5, "GZIP書庫"}, {0, "書庫"}}) {
        library_.type[4] = code;
        EXPECT_EQ(Identify(tar), 4);
        EXPECT_EQ(screen_.file_type, label);
        EXPECT_EQ(screen_.status.rfind("解凍できます。", 0), 0u);
    }
    for (int code : {56, -1}) {
        library_.type[4] = code;
        ExpectAccessFailure(Identify(tar));
    }
}

TEST_F(IdentifyTest, OldTar32ThatCannotCountIsAnError) {
    library_.check[4] = 1;
    library_.count[4] = -1;
    std::string path = MakeFile("a.tgz");
    session_.dll_version[4] = 199;
    EXPECT_EQ(Identify(path), kNotExamined);
    EXPECT_EQ(screen_.file_type, "TAR書庫(エラー)");
    EXPECT_EQ(screen_.status, "TAR32.DLL Ver 2.00以降で解凍してください。");
    EXPECT_EQ(screen_.status_colour, kRed);
    ExpectSession(kNotExaminable, 0);

    // From 2.00 on, the count is shown as it comes.
    session_.dll_version[4] = 200;
    EXPECT_EQ(Identify(path), 4);
    EXPECT_NE(screen_.status.find("：-1File(s)"), std::string::npos) << screen_.status;
}

// The main window's counter, driven by the test: a count arrives when the test says.
struct CounterRecorder : Counter {
    void Start(int32_t index, const std::string& path, std::function<void(int32_t)> done_) override {
        started.push_back(std::to_string(index) + " " + path);
        done = std::move(done_);
    }
    void Cancel() override {
        ++cancels;
        done = nullptr;
    }
    std::vector<std::string> started;
    std::function<void(int32_t)> done;
    int cancels = 0;
};

TEST_F(IdentifyTest, InTheWindowTheCountFollowsFromTheBackground) {
    CounterRecorder counter;
    ctx_.counter = &counter;
    library_.check[1] = library_.check[4] = 1;
    std::string lzh = MakeFile("big.lzh");
    fs::resize_file(lzh, 5945426);
    EXPECT_EQ(Identify(lzh), 1);
    // Label and size at once; the module is not asked to count on the spot.
    EXPECT_EQ(library_.calls, (std::vector<std::string>{Call("CheckArchive", 1, lzh, 1)}));
    EXPECT_EQ(screen_.file_type, "LZH書庫");
    EXPECT_EQ(screen_.status, "解凍できます。(書庫ｻｲｽﾞ：5.67MB)");
    ASSERT_EQ(counter.started, std::vector<std::string>{"1 " + lzh});
    ASSERT_TRUE(counter.done);
    counter.done(1234);
    EXPECT_EQ(screen_.status, "解凍できます。(格納ﾌｧｲﾙ数：1,234File(s),書庫ｻｲｽﾞ：5.67MB)");
    ExpectSession(kArchive, 1);

    // Another file cancels the count still running; so does extracting.
    const int cancels = counter.cancels;
    std::string tgz = MakeFile("a.tgz");
    EXPECT_EQ(Identify(tgz), 4);
    EXPECT_EQ(counter.cancels, cancels + 1);
    ExtractArchive(ctx_, tgz);
    EXPECT_EQ(counter.cancels, cancels + 2);
    EXPECT_FALSE(counter.done);

    // A module too old to count says so when its answer comes.
    session_.dll_version[4] = 199;
    EXPECT_EQ(Identify(tgz), 4);
    counter.done(-1);
    EXPECT_EQ(screen_.status, "TAR32.DLL Ver 2.00以降で解凍してください。");
    ExpectSession(kNotExaminable, 0);

    // A split set's count is its parts, known at once.
    counter.started.clear();
    MakeFile("s.000");
    MakeFile("s.001");
    Identify(folder_.Path().string() + "/s.000");
    EXPECT_TRUE(counter.started.empty());
}

TEST_F(IdentifyTest, MissingArchiverShowsThePreviewWithoutProbing) {
    std::string path = MakeFile("a.zip", "PK but not really\n");
    session_.file_kind = kArchive;
    session_.file_archiver = 2;
    EXPECT_EQ(Identify(path), 0);  // UnZip32 answers -2
    EXPECT_EQ(library_.calls, std::vector<std::string>{Call("CheckArchive", 2, path, 1)});
    ExpectNotArchive(0, "PK but not really\n");
}

TEST_F(IdentifyTest, RejectedArchiveIsProbedThroughEveryArchiver) {
    library_.check = {{1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, -2}, {6, 1}};
    std::string zip = MakeFile("a.zip");
    EXPECT_EQ(Identify(zip), 6);
    EXPECT_EQ(screen_.file_type, "RAR書庫");
    EXPECT_EQ(screen_.selected_row, 5);
    std::vector<std::string> expected = {Call("CheckArchive", 2, zip, 1)};
    for (int index = 1; index <= 6; ++index) expected.push_back(Call("CheckArchive", index, zip, 1));
    expected.push_back("GetFileCount 6 " + zip);
    EXPECT_EQ(library_.calls, expected);

    // Nobody takes it: every archiver but 9, 11 and 12 is asked once, in order.
    library_.check = {{1, 0}, {11, 1}};
    std::string unknown = MakeFile("a.dat", "plain");
    expected.clear();
    for (auto [index, mode] : {std::pair{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 2}, {8, 1}, {10, 24}, {13, 1}})
        expected.push_back(Call("CheckArchive", index, unknown, mode));
    EXPECT_EQ(Identify(unknown), 0);
    EXPECT_EQ(library_.calls, expected);
    ExpectNotArchive(0, "plain");
}

TEST_F(IdentifyTest, SelfExtractingAndBelArchives) {
    library_.check[1] = 1;
    EXPECT_EQ(Identify(MakeFile("setup.exe")), 1);
    EXPECT_EQ(screen_.file_type, "LZH書庫");

    // UNBEL32 is asked only about files named *.bel.
    library_.check = {{11, 1}};
    EXPECT_EQ(Identify(MakeFile("a.bel")), 11);
    EXPECT_EQ(screen_.file_type, "BEL書庫");
    EXPECT_EQ(screen_.selected_row, 9);
    ExpectNotArchive(Identify(MakeFile("bel.dat", "x")), "x");
}

TEST_F(IdentifyTest, NumberedPartsFormASplitSet) {
    std::string first = MakeFile("a.000", std::string(2048, 'x'));
    MakeFile("a.001");
    MakeFile("a.003");  // after the gap: not counted
    screen_.selected_row = 7;
    EXPECT_EQ(Identify(first), kSplitSet);
    EXPECT_TRUE(library_.calls.empty());
    EXPECT_EQ(screen_.file_type, "ノーマル分割");
    EXPECT_EQ(screen_.status, "結合できます。(格納ﾌｧｲﾙ数：2File(s),書庫ｻｲｽﾞ：2KB)");
    EXPECT_EQ(screen_.status_colour, kPurple);
    EXPECT_EQ(screen_.selected_row, 7);  // no row of the DLL list stands for it
    ExpectSession(kArchive, kSplitSet);

    // A first part alone is just an unknown name; so is one whose second part is a folder.
    std::string alone = MakeFile("b.000");
    fs::create_directory(folder_.Path() / "c.001");
    for (const std::string& path : {alone, MakeFile("c.000")}) {
        EXPECT_EQ(Identify(path), 0);
        EXPECT_EQ(library_.calls.front(), Call("CheckArchive", 1, path, 1));
    }
}

TEST_F(IdentifyTest, PartsNumberedFromOneFormASplitSet) {
    // As 7-Zip and file splitters number them: no part 000.
    std::string first = MakeFile("a.zip.001", std::string(2048, 'x'));
    MakeFile("a.zip.002");
    MakeFile("a.zip.003");
    MakeFile("a.zip.005");  // after the gap: not counted
    EXPECT_EQ(Identify(first), kSplitSet);
    EXPECT_TRUE(library_.calls.empty());
    EXPECT_EQ(screen_.file_type, "ノーマル分割");
    EXPECT_EQ(screen_.status, "結合できます。(格納ﾌｧｲﾙ数：3File(s),書庫ｻｲｽﾞ：2KB)");
    ExpectSession(kArchive, kSplitSet);

    // Probed as before: a lone 001, the 001 of a set that begins at 000, and
    // a 001 that is not an extension.
    std::string lone = MakeFile("b.zip.001");
    MakeFile("c.000");
    std::string second = MakeFile("c.001");
    MakeFile("c.002");
    std::string no_dot = MakeFile("d001");
    MakeFile("d002");
    for (const std::string& path : {lone, second, no_dot}) {
        EXPECT_EQ(Identify(path), 0) << path;
        EXPECT_EQ(library_.calls.front(), Call("CheckArchive", 1, path, 1));
    }
}

TEST_F(IdentifyTest, EmptyFileCannotBeExamined) {
    screen_.dll_list_visible = false;
    EXPECT_EQ(Identify(MakeFile("empty.lzh", "")), kNotExamined);
    EXPECT_TRUE(library_.calls.empty());
    EXPECT_EQ(screen_.file_type, "不明な形式");
    EXPECT_EQ(screen_.status, "このファイルは未対応です。");
    EXPECT_EQ(screen_.status_colour, kBlack);
    EXPECT_TRUE(screen_.dll_list_visible);
    ExpectSession(kNotExaminable, 0);
}

TEST_F(IdentifyTest, AccessFailures) {
    session_.file_kind = kArchive;
    session_.file_archiver = 1;
    ExpectAccessFailure(Identify((folder_.Path() / "missing.lzh").string()));
    EXPECT_TRUE(library_.calls.empty());

    fs::create_directory(folder_.Path() / "folder.zip");
    ExpectAccessFailure(Identify((folder_.Path() / "folder.zip").string()));
    std::string pipe = (folder_.Path() / "pipe.lzh").string();  // must not wait for a writer
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    ExpectAccessFailure(Identify(pipe));

    // The library is gone: confirming, probing and counting all fail alike.
    library_.missing = true;
    for (const char* name : {"a.lzh", "a.dat"}) ExpectAccessFailure(Identify(MakeFile(name)));
    struct CountMissing : FakeLibrary {
        int32_t GetFileCount(int32_t, const std::string&) override {
            throw LibraryMissing("Dravolix.dll に DravxGetFileCount がありません。");
        }
    } no_count;
    no_count.check[1] = 1;
    Context ctx{session_, no_count, screen_, prompter_, shell_};
    EXPECT_EQ(IdentifyArchive(ctx, MakeFile("b.lzh")), kNotExamined);
    EXPECT_EQ(screen_.file_type, "アクセス中");
    EXPECT_TRUE(screen_.browser_enabled);
    EXPECT_FALSE(screen_.busy);
}

TEST_F(IdentifyTest, PreviewReadsOnlyTheFirst4096Bytes) {
    // A Shift-JIS character across the end is left out, not shown as garbage.
    std::string text = std::string(4095, 'a') + "\x93\xFA\x96\x7B";
    ExpectNotArchive(Identify(MakeFile("long.txt", text)), std::string(4095, 'a'));
}

TEST(SizeText, UnitsAndTruncation) {
    const std::pair<uint64_t, const char*> sizes[] = {
        {0, "0バイト"},          {1023, "1023バイト"},      {1024, "1KB"},           {1025, "1.00KB"},
        {1536, "1.5KB"},         {12 * 1024 + 512, "12.5KB"}, {123456, "120KB"},     {1048575, "1023KB"},
        {1048576, "1MB"},        {5945426, "5.67MB"},       {1073741823, "1023MB"},  {1073741824, "1GB"},
        {4294967295, "3.99GB"},  {4294967296, "Unknown"},   {kUnknownSize, "Unknown"}};
    for (auto [bytes, text] : sizes) EXPECT_EQ(SizeText(bytes), text) << bytes;
}

TEST(GroupThousands, CommaWhereTheLocaleHasNoSeparator) {
    for (const char* locale : {"C", "C.UTF-8", "xx_NOWHERE.UTF-8"}) {
        EnvVar all("LC_ALL", locale);
        EXPECT_EQ(GroupThousands(0), "0");
        EXPECT_EQ(GroupThousands(999), "999");
        EXPECT_EQ(GroupThousands(1000), "1,000");
        EXPECT_EQ(GroupThousands(1234567), "1,234,567");
        EXPECT_EQ(GroupThousands(-1), "-1");
        EXPECT_EQ(GroupThousands(-123456), "-123,456");
        EXPECT_EQ(GroupThousands(std::numeric_limits<int64_t>::min()), "-9,223,372,036,854,775,808");
    }
}

TEST(GroupThousands, UsesTheSeparatorOfLcNumeric) {
    // A locale of our own with only a numeric part, built where the test runs.
    TempFolder folder("identify-locale");
    fs::path source = folder.Path() / "numbers";
    WriteFile(source, "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \"<U202F>\"\ngrouping 3;3\nEND LC_NUMERIC\n");
    std::string command = "localedef -c -i '" + source.string() + "' -f UTF-8 '" +
                          (folder.Path() / "xx_XX.UTF-8").string() + "' >/dev/null 2>&1";
    int status = system(command.c_str());
    if (!fs::exists(folder.Path() / "xx_XX.UTF-8" / "LC_NUMERIC"))
        GTEST_SKIP() << "localedef could not build a locale (status " << status << ")";
    EnvVar path("LOCPATH", folder.Path().c_str());
    EnvVar all("LC_ALL", "");
    EnvVar lang("LANG", "C.UTF-8");
    {
        EnvVar numeric("LC_NUMERIC", "xx_XX.UTF-8");
        EXPECT_EQ(GroupThousands(1234567), "1\u202F234\u202F567");
    }
    EnvVar numeric("LC_NUMERIC", "C");
    EXPECT_EQ(GroupThousands(1234567), "1,234,567");
}

TEST(PreviewText, JapaneseEncodingsBecomeUtf8) {
    const std::string nihongo = "日本語のテキスト\n";
    EXPECT_EQ(PreviewText(nihongo), nihongo);
    EXPECT_EQ(PreviewText("\xEF\xBB\xBF" + nihongo), nihongo);
    // Shift-JIS, including 0x5C as a second byte (表, ソ) and half-width katakana.
    EXPECT_EQ(PreviewText("\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x83\x65\x83\x4C\x83\x58\x83\x67\n"), nihongo);
    EXPECT_EQ(PreviewText("\x95\x5C\x8E\xA6\x83\x5C\x83\x74\x83\x67"), "表示ソフト");
    EXPECT_EQ(PreviewText("\xC3\xBD\xC4\x8A\xBF\x8E\x9A"), "ﾃｽﾄ漢字");
    // EUC-JP, also when every byte pair would read as half-width katakana in Shift-JIS.
    EXPECT_EQ(PreviewText("\xC6\xFC\xCB\xDC\xB8\xEC\xA4\xCE\xA5\xC6\xA5\xAD\xA5\xB9\xA5\xC8\n"), nihongo);
    EXPECT_EQ(PreviewText("\xA4\xA2\xA4\xA4\xA4\xA6\xA4\xA8\xA4\xAA"), "あいうえお");
    // EUC-JP that is valid UTF-8 too (表 = C9 BD is UTF-8's ɽ), and UTF-8 that reads as Shift-JIS.
    EXPECT_EQ(PreviewText("\xC9\xBD\n"), "表\n");
    EXPECT_EQ(PreviewText("caf\xC3\xA9 au lait\n"), "café au lait\n");
    // Bytes that read equally well either way are taken as Shift-JIS.
    EXPECT_EQ(PreviewText("\xE0\xA1."), "爍.");
    // A character cut at the end is dropped in each encoding.
    EXPECT_EQ(PreviewText("日本\xE8\xAA"), "日本");
    EXPECT_EQ(PreviewText("\x93\xFA\x96\x7B\x8C"), "日本");
    EXPECT_EQ(PreviewText("\xC6\xFC\xCB\xDC\xB8"), "日本");
}

TEST(PreviewText, ControlAndUndecodableBytesAreVisible) {
    EXPECT_EQ(PreviewText(std::string("\x00\x01\x1B\x7F" "A\t\r\n", 8)), "␀␁␛␡A\t\r\n");
    EXPECT_EQ(PreviewText(std::string("ELF\xFF\x80\x00" "z", 7)), std::string("ELF\uFFFD\uFFFD") + "\u2400z");
    EXPECT_EQ(PreviewText(""), "");
    // Mostly UTF-8 with one stray byte still reads as UTF-8.
    EXPECT_EQ(PreviewText("日本語のテキスト\xFF日本語のテキスト"), "日本語のテキスト\uFFFD日本語のテキスト");
}

// --- End to end: Dravolix and our modules on the fixtures --------------------

const fs::path kData = KELVORA_FIXTURE_DIR;

class IdentifyModulesTest : public ::testing::Test, protected CoreRecorders {
protected:
    void SetUp() override {
        platform::SetModuleDirectory(KELVORA_BIN_DIR);
        // As the main window fills it: the version of each module that loads, else 0.
        for (int index = 1; index <= 13; ++index) {
            int16_t version = index == 9 ? 0 : library_.GetVersion(index);
            session_.dll_version[index] = version > 0 ? version : 0;
        }
        ASSERT_GE(session_.dll_version[kTarIndex], 210);
    }
    void TearDown() override { platform::SetModuleDirectory(""); }

    int32_t Identify(const std::string& fixture) { return IdentifyArchive(ctx_, (kData / fixture).string()); }
    std::string Status(const std::string& count, const std::string& fixture) {
        return "解凍できます。(格納ﾌｧｲﾙ数：" + count + "File(s),書庫ｻｲｽﾞ：" + SizeText(fs::file_size(kData / fixture)) +
               ")";
    }

    EnvVar numbers_{"LC_ALL", "C"};
    Session session_;
    DravolixLibrary library_;
    Context ctx_ = ContextOver(session_, library_);
};

TEST_F(IdentifyModulesTest, FixturesAreIdentified) {
    EXPECT_EQ(Identify("tree.lzh"), 1);
    EXPECT_EQ(screen_.file_type, "LZH書庫");
    EXPECT_EQ(screen_.status, Status("4", "tree.lzh"));
    EXPECT_EQ(screen_.status_colour, kPurple);
    EXPECT_EQ(session_.file_kind, kArchive);
    EXPECT_EQ(session_.file_archiver, 1);

    const struct {
        const char* fixture;
        int index;
        const char* label;
    } fixtures[] = {{"tree.tar.gz", 4, "GZIP書庫"}, {"hello.txt.gz", 4, "GZIP書庫"}, {"tree.deb", 4, "AR-TAR書庫"},
                    {"sfx_zip.exe", 2, "ZIP書庫"},  {"sfx_lzh.exe", 1, "LZH書庫"},  {"tree.rar", 6, "RAR書庫"},
                    {"tree.cab", 3, "CAB書庫"},
                    // Type codes that the catalogue leaves without a label: the bare word.
                    {"tree.7z", 4, "書庫"},      {"tree.iso", 4, "書庫"},        {"tree.xar", 4, "書庫"}};
    for (const auto& f : fixtures) {
        EXPECT_EQ(Identify(f.fixture), f.index) << f.fixture;
        EXPECT_EQ(screen_.file_type, f.label) << f.fixture;
        EXPECT_EQ(screen_.selected_row, f.index - 1) << f.fixture;
    }
    EXPECT_EQ(Identify("hello.txt.gz"), 4);
    EXPECT_EQ(screen_.status, Status("1", "hello.txt.gz"));
}

TEST_F(IdentifyModulesTest, TextAndEmptyFiles) {
    EXPECT_EQ(Identify("not_archive.txt"), 0);
    EXPECT_EQ(screen_.file_type, "不明な形式");
    EXPECT_TRUE(screen_.preview_visible);
    EXPECT_EQ(screen_.preview, "just text\n");
    EXPECT_EQ(session_.file_kind, kNotArchive);

    EXPECT_EQ(Identify("empty.bin"), kNotExamined);
    EXPECT_EQ(session_.file_kind, kNotExaminable);
    EXPECT_EQ(screen_.events.back(), "busy off");
}

}  // namespace
}  // namespace core
