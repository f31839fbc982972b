// Our archiver modules, reached through Dravolix as the program reaches them,
// on the fixtures made at build time.
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "dravolix.h"
#include "env_var.h"
#include "module_loader.h"
#include "name_encoding.h"
#include "temp_folder.h"
#include "trash_contents.h"
#include "tree_compare.h"

namespace fs = std::filesystem;

namespace {

const fs::path kData = KELVORA_FIXTURE_DIR;

// The worker's own files (".kelvora-..."), which no extraction leaves behind.
std::vector<fs::path> WorkerFiles(const fs::path& folder) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.path().filename().string().starts_with(".kelvora-")) found.push_back(entry.path());
    return found;
}

// The program's extraction and test commands, by archiver index.
const std::map<int, std::string> kExtract = {
    {1, "x -d1 -y1 "}, {2, "-x -o -q "}, {3, "-x -k "}, {4, "-xvf "}, {5, "x "}, {6, "-x "}};
const std::map<int, std::string> kTest = {{1, "t "}, {2, "-t "}, {3, "-t "}, {5, "t "}, {6, "-t "}};

class ModulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetModuleDirectory(KELVORA_BIN_DIR);
        ASSERT_FALSE(folder_.Path().empty());
        out_ = folder_.Path();
    }
    void TearDown() override { platform::SetModuleDirectory(""); }

    int Extract(int index, const std::string& fixture, const fs::path& destination) {
        std::string line = kExtract.at(index) + "\"" + (kData / fixture).string() + "\" \"" +
                           destination.string() + "/\" *.*";
        return Dravx(index, nullptr, line.c_str(), nullptr, 0);
    }
    int TestArchive(int index, const std::string& fixture) {
        std::string line = kTest.at(index) + "\"" + (kData / fixture).string() + "\"";
        return Dravx(index, nullptr, line.c_str(), nullptr, 0);
    }
    // Extracts into a fresh folder named after the fixture and compares it.
    void ExpectExtractsTo(int index, const std::string& fixture, const std::string& tree, bool times = true) {
        fs::path destination = out_ / fixture;
        EXPECT_EQ(Extract(index, fixture, destination), 0) << fixture;
        EXPECT_EQ(CompareTrees(kData / tree, destination, times), "") << fixture;
    }

    TempFolder folder_{"modules-test"};
    fs::path out_;
};

TEST_F(ModulesTest, EveryFormatExtractsByteForByte) {
    for (const char* lzh : {"tree.lzh", "tree_lh0.lzh", "tree_lh6.lzh", "tree_lh7.lzh", "sfx_lzh.exe"})
        ExpectExtractsTo(1, lzh, "tree");
    for (const char* zip : {"tree.zip", "tree.jar", "sfx_zip.exe"}) ExpectExtractsTo(2, zip, "tree");
    ExpectExtractsTo(3, "tree.cab", "tree");
    for (const char* tar : {"tree.tar", "tree.tar.gz", "tree.tgz", "tree.tar.Z", "tree.tar.bz2", "tree.tar.xz",
                            "tree.tar.lzma", "tree.tar.zst", "tree.cpio", "tree.cpio.gz", "tree.cpio.Z",
                            "tree.cpio.bz2"})
        ExpectExtractsTo(4, tar, "tree");
    ExpectExtractsTo(4, "flat.a", "flat", false);  // ar keeps seconds only
    for (const char* other : {"tree.7z", "tree.iso", "tree.xar"}) ExpectExtractsTo(4, other, "tree");
    for (const char* rar : {"tree.rar", "tree5.rar"}) ExpectExtractsTo(6, rar, "tree");
}

TEST_F(ModulesTest, PackagesExtractTheirMembers) {
    EXPECT_EQ(Extract(4, "tree.deb", out_ / "deb"), 0);
    EXPECT_EQ(ReadFile(out_ / "deb/debian-binary"), "2.0\n");
    EXPECT_EQ(Extract(4, "tree.rpm", out_ / "rpm"), 0);
    EXPECT_EQ(CompareTrees(kData / "tree", out_ / "rpm/usr/share/kelvora-fixture"), "");
    EXPECT_EQ(DravxGetFileCount(4, (kData / "tree.rpm").c_str()), 5);
}

TEST_F(ModulesTest, CompressedSingleFileIsOneEntryNamedAfterTheArchive) {
    for (const char* file : {"hello.txt.gz", "hello.txt.Z", "hello.txt.bz2", "hello.txt.xz", "hello.txt.lzma",
                             "hello.txt.zst"}) {
        EXPECT_EQ(DravxGetFileCount(4, (kData / file).c_str()), 1) << file;
        EXPECT_EQ(Extract(4, file, out_ / file), 0) << file;
        EXPECT_EQ(ReadFile(out_ / file / "hello.txt"), "Hello, Kelvora!\n") << file;
    }
}

TEST_F(ModulesTest, TarTypeCodesReadAsTheProgramsLabels) {
    const std::map<std::string, int> labelled = {
        {"tree.tar", 1},     {"tree.tar.gz", 2},  {"tree.tar.Z", 3},    {"hello.txt.Z", 4},
        {"hello.txt.gz", 5}, {"tree.tar.bz2", 6}, {"hello.txt.bz2", 7}, {"tree.cpio", 32},
        {"tree.cpio.gz", 36}, {"tree.cpio.Z", 37}, {"tree.cpio.bz2", 39}, {"flat.a", 48},
        {"flat.a.gz", 52},   {"tree.deb", 48}};
    for (const auto& [file, code] : labelled) EXPECT_EQ(DravxGetArchiveType(4, (kData / file).c_str()), code) << file;
    // Forms without a label get codes that have none, inside 0..55.
    const std::set<int> codesWithLabels = {1, 2, 3, 4, 5, 6, 7, 32, 36, 37, 39, 48, 52, 53, 55};
    std::set<int> seen;
    for (const char* file : {"tree.tar.xz", "tree.tar.lzma", "tree.tar.zst", "hello.txt.xz", "hello.txt.zst"}) {
        int code = DravxGetArchiveType(4, (kData / file).c_str());
        EXPECT_TRUE(code > 0 && code <= 55 && !codesWithLabels.count(code)) << file << " " << code;
        seen.insert(code);
    }
    EXPECT_EQ(seen.size(), 5u);
    // 7-Zip, ISO 9660 and XAR have a code each, none with a label.
    const std::map<std::string, int> unlabelled = {
        {"tree.7z", 16}, {"japanese.7z", 16}, {"encrypted.7z", 16}, {"tree.iso", 17}, {"tree.xar", 18}};
    for (const auto& [file, code] : unlabelled) {
        EXPECT_EQ(DravxGetArchiveType(4, (kData / file).c_str()), code) << file;
        EXPECT_FALSE(codesWithLabels.count(code)) << file;
    }
}

TEST_F(ModulesTest, SevenZipIsoAndXarListAndCountTheirMembers) {
    for (const char* file : {"tree.7z", "tree.iso", "tree.xar"}) {
        char listing[256] = "";
        EXPECT_EQ(Dravx(4, nullptr, ("-tvf \"" + (kData / file).string() + "\"").c_str(), listing, sizeof listing), 0)
            << file;
        std::istringstream lines(listing);
        std::set<std::string> names;
        for (std::string line; std::getline(lines, line);) names.insert(line.substr(0, line.find_last_not_of('/') + 1));
        // A folder is "dir" or "dir/" as the format has it; an image's root is no member.
        EXPECT_EQ(names, (std::set<std::string>{"dir", "dir/data.bin", "dir/empty.txt", "hello.txt"})) << file;
        EXPECT_EQ(DravxGetFileCount(4, (kData / file).c_str()), 4) << file;
    }
}

TEST_F(ModulesTest, EachModuleTakesOnlyItsOwnFormats) {
    const std::map<std::string, int> owner = {
        {"tree.lzh", 1}, {"tree_lh0.lzh", 1}, {"sjis.lzh", 1}, {"sfx_lzh.exe", 1}, {"tree.zip", 2},
        {"tree.jar", 2}, {"sjis.zip", 2},     {"sfx_zip.exe", 2}, {"tree.cab", 3}, {"sjis.cab", 3},
        {"tree.tar", 4}, {"tree.tar.gz", 4},  {"hello.txt.gz", 4}, {"tree.cpio", 4}, {"flat.a", 4},
        {"tree.deb", 4}, {"tree.rpm", 4},     {"tree.rar", 6},   {"tree5.rar", 6},  {"not_archive.txt", 0},
        {"empty.bin", 0}, {"tree.7z", 4},     {"encrypted.7z", 4}, {"tree.iso", 4}, {"tree.xar", 4}};
    for (const auto& [file, index] : owner) {
        for (int module : {1, 2, 3, 4, 6})
            EXPECT_EQ(DravxCheckArchive(module, (kData / file).c_str(), 1), module == index ? 1 : 0)
                << file << " by module " << module;
        EXPECT_EQ(DravxCheckArchiveEx((kData / file).c_str(), 1), index) << file;
    }
    EXPECT_EQ(DravxGetFileCount(1, (kData / "tree.lzh").c_str()), 4);
    EXPECT_EQ(DravxGetFileCount(2, (kData / "tree.zip").c_str()), DravxGetFileCount(6, (kData / "tree5.rar").c_str()));
}

TEST_F(ModulesTest, JapaneseNamesBecomeUtf8Names) {
    ExpectExtractsTo(1, "sjis.lzh", "sjis", false);
    ExpectExtractsTo(2, "sjis.zip", "sjis", false);
    ExpectExtractsTo(2, "utf8.zip", "sjis", false);
    ExpectExtractsTo(3, "sjis.cab", "sjis", false);
    ExpectExtractsTo(4, "japanese.7z", "sjis");
    // EUC-JP from old Unix machines, UTF-8 that nothing marks: told apart by the names themselves.
    ExpectExtractsTo(4, "euc.tar", "sjis", false);
    ExpectExtractsTo(4, "euc.cpio", "sjis", false);
    ExpectExtractsTo(2, "utf8_noflag.zip", "sjis", false);
}

bool IsUtf8(std::string_view text) {
    for (size_t length = 0; !text.empty(); text.remove_prefix(length)) {
        length = archivers::Utf8Length(text);
        if (length == 0 || length > text.size()) return false;
    }
    return true;
}

// Names in codes that are none of ours come out escaped byte by byte, never
// as a reading that looks right; and after every fixture has been extracted
// by the module that takes it, no name on disk is anything but UTF-8.
TEST_F(ModulesTest, NoNameOnDiskIsAnythingButUtf8) {
    EXPECT_EQ(Extract(2, "cp866.zip", out_ / "cp866"), 0);
    EXPECT_TRUE(fs::exists(out_ / "cp866" / "%8F%E0%A8%A2%A5%E2.txt"));
    EXPECT_EQ(Extract(2, "latin1.zip", out_ / "latin1"), 0);
    EXPECT_TRUE(fs::exists(out_ / "latin1" / "caf%E9.txt"));
    EXPECT_TRUE(fs::exists(out_ / "latin1" / "M%FCller.txt"));

    int extracted = 0;
    for (const auto& fixture : fs::directory_iterator(kData)) {
        if (!fixture.is_regular_file()) continue;
        const int index = DravxCheckArchiveEx(fixture.path().c_str(), 1);
        if (index <= 0 || index == 13) continue;
        const std::string line = "--display-dialog=0 " + kExtract.at(index) + "\"" + fixture.path().string() +
                                 "\" \"" + (out_ / "all" / fixture.path().filename()).string() + "/\" *.*";
        Dravx(index, nullptr, line.c_str(), nullptr, 0);
        ++extracted;
    }
    EXPECT_GT(extracted, 40);
    for (const auto& entry : fs::recursive_directory_iterator(out_)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(IsUtf8(name)) << entry.path();
    }
}

TEST_F(ModulesTest, DamagedArchivesGiveTheirCodes) {
    EXPECT_EQ(Extract(2, "crc.zip", out_ / "crc.zip"), 0x800C);
    EXPECT_EQ(Extract(1, "crc.lzh", out_ / "crc.lzh"), 0x800C);
    EXPECT_EQ(Extract(4, "crc.tar.gz", out_ / "crc.tar.gz"), 0x800C);
    EXPECT_EQ(TestArchive(1, "crc.lzh"), 0x800C);
    EXPECT_EQ(TestArchive(2, "tree.zip"), 0);
    EXPECT_EQ(TestArchive(6, "tree5.rar"), 0);
    // The damaged entry never appears as if complete.
    EXPECT_FALSE(fs::exists(out_ / "crc.zip/dir/data.bin"));
    for (auto [index, file] : std::initializer_list<std::pair<int, const char*>>{
             {1, "truncated.lzh"}, {2, "truncated.zip"}, {3, "truncated.cab"}, {4, "truncated.tar.gz"},
             {6, "truncated.rar"}}) {
        int code = Extract(index, file, out_ / file);
        EXPECT_GE(code, 0x8000) << file;
        EXPECT_FALSE(fs::exists(out_ / file / "dir/data.bin")) << file;
    }
    // Quiet: no password is asked (a window or the terminal would ask).
    const std::string encrypted = "--display-dialog=0 -x \"" + (kData / "encrypted.zip").string() + "\" \"" +
                                  (out_ / "encrypted").string() + "/\" *.*";
    EXPECT_EQ(Dravx(2, nullptr, encrypted.c_str(), nullptr, 0), 0x800A);
    EXPECT_EQ(Extract(2, "missing.zip", out_ / "missing"), 0x8018);
    EXPECT_FALSE(fs::exists(out_ / "missing"));
    EXPECT_EQ(Extract(2, "not_archive.txt", out_ / "text"), 0x801A);
    EXPECT_FALSE(fs::exists(out_ / "text"));  // nothing is left of an attempt on a file that is no archive
    EXPECT_EQ(Dravx(2, nullptr, "-z \"x.zip\"", nullptr, 0), 0x801C);
}

// libarchive decrypts no 7-Zip archive (7z -ppw). With the list of entries
// in the clear the file is still one of Tar32's; with it encrypted too
// (-mhe=on) nothing can be read but that it is encrypted.
TEST_F(ModulesTest, EncryptedSevenZipIsReportedEncrypted) {
    const std::string encrypted = (kData / "encrypted.7z").string();
    EXPECT_EQ(DravxCheckArchive(4, encrypted.c_str(), 1), 1);
    EXPECT_EQ(DravxCheckArchive(4, encrypted.c_str(), 2), 0);  // reading the data fails
    EXPECT_EQ(DravxGetFileCount(4, encrypted.c_str()), 4);
    EXPECT_EQ(Extract(4, "encrypted.7z", out_ / "encrypted"), 0x800A);
    EXPECT_EQ(Dravx(4, nullptr, ("-t \"" + encrypted + "\"").c_str(), nullptr, 0), 0x800A);
    // Nothing that should have been decrypted appears as if it had been.
    EXPECT_FALSE(fs::exists(out_ / "encrypted/hello.txt"));
    EXPECT_FALSE(fs::exists(out_ / "encrypted/dir/data.bin"));

    const std::string headers = (kData / "encrypted_headers.7z").string();
    EXPECT_EQ(DravxCheckArchive(4, headers.c_str(), 1), 0);
    EXPECT_EQ(Extract(4, "encrypted_headers.7z", out_ / "headers"), 0x800A);
    EXPECT_EQ(Dravx(4, nullptr, ("-t \"" + headers + "\"").c_str(), nullptr, 0), 0x800A);
    EXPECT_FALSE(fs::exists(out_ / "headers"));
}

TEST_F(ModulesTest, HostileArchivesWriteNothingOutside) {
    fs::path outside = out_ / "outside";
    fs::create_directories(outside);
    for (auto [index, file] : std::initializer_list<std::pair<int, const char*>>{
             {1, "dotdot.lzh"}, {2, "dotdot.zip"}, {2, "absolute.zip"}, {4, "dotdot.tar"}, {4, "absolute.tar"},
             {4, "link_escape.tar"}, {4, "abs_symlink.tar"}, {4, "write_through_link.tar"}, {4, "dotdot.7z"},
             {4, "absolute.7z"}, {4, "abs_symlink.iso"}}) {
        fs::path destination = outside / "in" / file;
        EXPECT_EQ(Extract(index, file, destination), 0x8017) << file;
        EXPECT_FALSE(fs::exists(outside / "in" / "evil.txt")) << file;
        EXPECT_FALSE(fs::exists(destination / "passwd")) << file;
    }
    EXPECT_FALSE(fs::exists("/tmp/kelvora-evil.txt"));
    EXPECT_FALSE(fs::exists(out_.parent_path() / "evil.txt"));

    // A link that stays inside is made as it is.
    EXPECT_EQ(Extract(4, "link_inside.tar", out_ / "inside"), 0);
    EXPECT_EQ(fs::read_symlink(out_ / "inside/dir/link"), "../hello.txt");
    EXPECT_EQ(ReadFile(out_ / "inside/dir/link"), ReadFile(out_ / "inside/hello.txt"));
    EXPECT_EQ(ReadFile(out_ / "inside/dir/hard.txt"), ReadFile(out_ / "inside/hello.txt"));
}

TEST_F(ModulesTest, ExtractingAgainReplacesFilesButNeverFollowsLinks) {
    TempFolder data("modules-test-data");
    EnvVar data_home("XDG_DATA_HOME", data.Path().c_str());
    fs::path destination = out_ / "again";
    ASSERT_EQ(Extract(4, "tree.tar", destination), 0);
    fs::permissions(destination / "hello.txt", fs::perms::owner_read);
    fs::path victim = out_ / "victim.txt";
    std::ofstream(victim) << "keep";
    fs::remove(destination / "dir/empty.txt");
    fs::create_symlink(victim, destination / "dir/empty.txt");
    EXPECT_EQ(Extract(4, "tree.tar", destination), 0);
    EXPECT_EQ(CompareTrees(kData / "tree", destination), "");
    EXPECT_EQ(ReadFile(victim), "keep");
    // The link the entry replaced is in the trash, as it was.
    const auto trashed = TrashContents(data.Path() / "Trash");
    ASSERT_EQ(trashed.size(), 1u);
    EXPECT_EQ(trashed[0].contents, victim.string());
    EXPECT_EQ(trashed[0].path, (destination / "dir/empty.txt").string());
    // No temporary files are left behind.
    EXPECT_EQ(WorkerFiles(destination), std::vector<fs::path>{});
}

// The user edited one file since the first extraction: the second puts the
// edited one in the trash, where the file manager can restore it to its
// place, and leaves the files that are the same untouched.
TEST_F(ModulesTest, ExtractingOverTheUsersChangesPutsThemInTheTrash) {
    TempFolder data("modules-test-data");
    EnvVar data_home("XDG_DATA_HOME", data.Path().c_str());
    const fs::path destination = out_ / "again";
    ASSERT_EQ(Extract(2, "tree.zip", destination), 0);
    std::ofstream(destination / "hello.txt") << "edited by the user";
    struct stat before {}, after {};
    ASSERT_EQ(stat((destination / "dir/data.bin").c_str(), &before), 0);

    ASSERT_EQ(Extract(2, "tree.zip", destination), 0);
    EXPECT_EQ(CompareTrees(kData / "tree", destination), "");
    ASSERT_EQ(stat((destination / "dir/data.bin").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_ctim.tv_sec, before.st_ctim.tv_sec);
    EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
    const auto trashed = TrashContents(data.Path() / "Trash");
    ASSERT_EQ(trashed.size(), 1u);
    EXPECT_EQ(trashed[0].name, "hello.txt");
    EXPECT_EQ(trashed[0].contents, "edited by the user");
    EXPECT_EQ(trashed[0].path, (destination / "hello.txt").string());
    EXPECT_EQ(WorkerFiles(destination), std::vector<fs::path>{});
}

TEST_F(ModulesTest, NeitherTheArchiveNorALinkedFileIsLost) {
    // An archive whose only entry has its own name, extracted beside itself.
    fs::copy_file(kData / "tree.zip", out_ / "pack.zip");
    ASSERT_EQ(std::system(("cd '" + out_.string() + "' && bsdtar --format zip -cf outer.zip pack.zip && mv outer.zip pack.zip")
                              .c_str()),
              0);
    const std::string before = ReadFile(out_ / "pack.zip");
    std::string line = "-x -o -q \"" + (out_ / "pack.zip").string() + "\" \"" + out_.string() + "//\" *.*";
    EXPECT_EQ(Dravx(2, nullptr, line.c_str(), nullptr, 0), 0x8010);
    EXPECT_EQ(ReadFile(out_ / "pack.zip"), before);

    // A tar entry stored as a hard link to itself keeps the file.
    fs::create_directories(out_ / "self");
    ASSERT_EQ(std::system(("cd '" + (out_ / "self").string() +
                           "' && echo x > a.txt && ln a.txt b.txt && tar cf ../self.tar a.txt a.txt")
                              .c_str()),
              0);
    EXPECT_EQ(Dravx(4, nullptr, ("-xvf \"" + (out_ / "self.tar").string() + "\" \"" + (out_ / "selfout").string() + "/\" *.*").c_str(),
                    nullptr, 0),
              0);
    EXPECT_EQ(ReadFile(out_ / "selfout/a.txt"), "x\n");
}

TEST_F(ModulesTest, DestinationThatCannotBeMadeIsReported) {
    std::ofstream(out_ / "file") << "x";
    EXPECT_EQ(Extract(4, "tree.tar", out_ / "file" / "sub"), 0x8012);
}

TEST_F(ModulesTest, ListingFitsTheCallersBuffer) {
    std::string line = "-tvf " + (kData / "tree.tar").string();
    char whole[256] = "";
    EXPECT_EQ(Dravx(4, nullptr, line.c_str(), whole, sizeof whole), 0);
    EXPECT_NE(std::string(whole).find("dir/data.bin\n"), std::string::npos);
    char cut[12];
    std::memset(cut, 'X', sizeof cut);
    EXPECT_EQ(Dravx(4, nullptr, line.c_str(), cut, 8), 0);
    EXPECT_EQ(std::string(cut), std::string(whole).substr(0, 7));
    EXPECT_EQ(cut[8], 'X');
}

// ARJ, which libarchive cannot read, through our own reader: archives the
// arj tool makes (Debian package arj) with every method, from files whose
// names on disk are Shift-JIS, come out as the sjis/ tree with UTF-8 names.
TEST_F(ModulesTest, ArjArchivesOfEveryMethodExtractByteForByte) {
    ASSERT_EQ(std::system("command -v arj >/dev/null"), 0) << "the arj tool is missing: Debian package arj";
    const fs::path source = out_ / "arj-source";
    fs::create_directories(source / "\x95\x5C");
    auto put = [&](const fs::path& name, const std::string& text) { std::ofstream(source / name, std::ios::binary) << text; };
    put("\x95\x5C/\x83\x5C.txt", "sjis\n");
    put("\x93\xFA\x96\x7B\x8C\xEA.txt", "nihongo\n");
    put("\xCA\xDD\xB6\xB8.txt", "hankaku\n");
    // The fixture trees' time: the tree comparison checks it on every file.
    for (const auto& file : fs::recursive_directory_iterator(source))
        fs::last_write_time(file.path(), fs::file_time_type::clock::from_sys(std::chrono::sys_seconds{std::chrono::seconds{1577934245}}));
    for (int method = 0; method <= 4; ++method) {
        const std::string name = "m" + std::to_string(method) + ".arj";
        const fs::path archive = out_ / name;
        const std::string make = "cd '" + source.string() + "' && arj a -r -m" + std::to_string(method) + " '" +
                                 archive.string() + "' '*' >/dev/null";
        ASSERT_EQ(std::system(make.c_str()), 0) << make;
        EXPECT_EQ(DravxCheckArchive(5, archive.c_str(), 1), 1) << name;
        EXPECT_EQ(DravxCheckArchiveEx(archive.c_str(), 1), 5) << name;
        EXPECT_EQ(DravxGetFileCount(5, archive.c_str()), 3) << name;  // the files; arj keeps no folder entries by default
        const std::string test = "t -i \"" + archive.string() + "\"";
        EXPECT_EQ(Dravx(5, nullptr, test.c_str(), nullptr, 0), 0) << name;
        const std::string extract = "x -i \"" + archive.string() + "\" \"" + (out_ / ("x" + name)).string() + "/\" *.*";
        EXPECT_EQ(Dravx(5, nullptr, extract.c_str(), nullptr, 0), 0) << name;
        EXPECT_EQ(CompareTrees(kData / "sjis", out_ / ("x" + name)), "") << name;
    }
    // A flipped byte in the last file's data is a CRC error, and that file never looks whole.
    std::string bytes;
    {
        std::ifstream in(out_ / "m1.arj", std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const size_t at = bytes.find("\xCA\xDD\xB6\xB8.txt");
    ASSERT_NE(at, std::string::npos);
    bytes[bytes.size() - 8] ^= 0x01;  // inside the last entry's data, before the end header
    std::ofstream(out_ / "damaged.arj", std::ios::binary) << bytes;
    const std::string damaged = "x -i \"" + (out_ / "damaged.arj").string() + "\" \"" + (out_ / "damaged").string() + "/\" *.*";
    EXPECT_EQ(Dravx(5, nullptr, damaged.c_str(), nullptr, 0), 0x800C);
}

// A 50 MB file, half text and half random bytes, comes out whole: the
// decoder's window wraps thousands of times.
TEST_F(ModulesTest, ALargeArjFileComesOutWhole) {
    ASSERT_EQ(std::system("command -v arj >/dev/null"), 0) << "the arj tool is missing: Debian package arj";
    const fs::path source = out_ / "large-source";
    fs::create_directories(source);
    std::string data;
    data.reserve(50u << 20);
    uint32_t state = 12345;
    while (data.size() < (25u << 20)) data += "line " + std::to_string(data.size() % 9973) + " of the large file\n";
    while (data.size() < (50u << 20)) {
        state = state * 1664525 + 1013904223;
        data += static_cast<char>(state >> 24);
    }
    std::ofstream(source / "large.bin", std::ios::binary) << data;
    const fs::path archive = out_ / "large.arj";
    const std::string make = "cd '" + source.string() + "' && arj a -m1 '" + archive.string() + "' large.bin >/dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
    const std::string extract = "x -i \"" + archive.string() + "\" \"" + (out_ / "large").string() + "/\" *.*";
    EXPECT_EQ(Dravx(5, nullptr, extract.c_str(), nullptr, 0), 0);
    EXPECT_EQ(CompareTrees(source, out_ / "large", false), "");
}

}  // namespace
