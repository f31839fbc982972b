// Whole archives through the engine's operations: what ends up on disk and
// the result code.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "archive_bytes.h"
#include "operations.h"
#include "scripted_passwords.h"
#include "temp_folder.h"

namespace archivers {
namespace {

namespace fs = std::filesystem;
using archive_bytes::Item;
using archive_bytes::kTime;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ino_t Inode(const fs::path& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class Extraction : public ::testing::Test {
protected:
    // `bytes` saved as the archive; its extraction goes to out/.
    fs::path Save(const std::string& bytes, const std::string& name = "archive") {
        archive_ = work_.Path() / name;
        std::ofstream(archive_, std::ios::binary) << bytes;
        return archive_;
    }
    int32_t ExtractAll(Kind kind, const fs::path& archive) {
        NoProgress quiet;
        Command command{.action = Action::Extract, .quiet = true, .archive = archive.string(),
                        .destination = Out().string() + "/", .patterns = {"*.*"}};
        return Extract(kind, command, quiet);
    }
    int32_t ExtractAll(Kind kind) { return ExtractAll(kind, archive_); }
    int32_t TestAll(Kind kind) {
        NoProgress quiet;
        return archivers::Test(kind, archive_.string(), quiet);
    }
    fs::path Out() const { return work_.Path() / "out"; }
    // Files in out/, temporary ones included.
    std::vector<std::string> Made() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(Out()))
            names.push_back(entry.path().lexically_relative(Out()).string());  // links named, not followed
        std::sort(names.begin(), names.end());
        return names;
    }

    // The writer's temporary files are named ".kelvora-PID-N...".
    bool LeftTemporaries() const {
        for (const std::string& name : Made())
            if (fs::path(name).filename().string().starts_with(".kelvora-")) return true;
        return false;
    }

    TempFolder work_{"engine-test"};
    fs::path archive_;
};

// --- Archives libarchive cannot read on after a failed data read ----------

// An entry whose deflate data is broken from its first byte (a reserved
// block type), then a good one. Data starts after the 30-byte local header,
// the name and the extra field.
std::string ZipWithBrokenFirstEntry() {
    std::string zip = archive_bytes::Write("zip", {{.path = "broken.bin", .data = std::string(4096, 'x')},
                                                   {.path = "after.txt", .data = "after\n"}});
    const size_t data = 30 + (zip[26] & 0xFF) + (zip[28] & 0xFF);
    zip[data] = '\xFF';
    return zip;
}

TEST_F(Extraction, AFailedDataReadEndsTheWalkOverTheArchive) {
    Save(ZipWithBrokenFirstEntry());
    EXPECT_EQ(ExtractAll(Kind::Zip), result::kReadArchive);
    // libarchive is asked for nothing more: the good entry after it is not read.
    EXPECT_EQ(Made(), std::vector<std::string>{});
    EXPECT_EQ(TestAll(Kind::Zip), result::kReadArchive);
    EXPECT_EQ(FileCount(Kind::Zip, archive_.c_str()), 2);  // listing reads no data
}

// libarchive 3.6.2's CAB reader crashes or overruns its buffers when it has
// to skip the rest of an entry whose data read failed.
TEST_F(Extraction, ACabEntryThatFailedToReadIsNeverSkipped) {
    for (const char* name : {"2-skip-null-after-failed-read.cab", "2-lzx-overflow-after-failed-read.cab",
                             "2-mszip-overflow-after-failed-read.cab"}) {
        SCOPED_TRACE(name);
        archive_ = fs::path(KELVORA_REGRESSIONS_DIR) / name;
        EXPECT_EQ(TestAll(Kind::Cab), result::kReadArchive);
        EXPECT_EQ(ExtractAll(Kind::Cab), result::kReadArchive);
        EXPECT_FALSE(LeftTemporaries());
    }
}

TEST_F(Extraction, AReaderThatFailedAnswersWithoutLibarchive) {
    Save(ZipWithBrokenFirstEntry());
    Reader reader;
    ASSERT_EQ(reader.Open(Kind::Zip, archive_.string()), result::kOk);
    EXPECT_EQ(reader.ReadData([](const char*, size_t, int64_t) { return result::kOk; }), result::kReadArchive);
    EXPECT_TRUE(reader.Broken());
    EXPECT_EQ(reader.Next(), result::kReadArchive);
    EXPECT_EQ(reader.Entry(), nullptr);
    EXPECT_EQ(reader.ReadData([](const char*, size_t, int64_t) { return result::kOk; }), result::kReadArchive);
    EXPECT_EQ(reader.BytesRead(), -1);
    EXPECT_FALSE(reader.HasFilter(ARCHIVE_FILTER_GZIP));
}

// A checksum that does not match is reported once the entry is read to its
// end: the other entries still come out.
TEST_F(Extraction, AChecksumErrorLeavesTheLaterEntriesReadable) {
    EXPECT_EQ(ExtractAll(Kind::Lha, fs::path(KELVORA_FIXTURE_DIR) / "crc.lzh"), result::kChecksum);
    EXPECT_FALSE(fs::exists(Out() / "dir/data.bin"));
    EXPECT_TRUE(fs::exists(Out() / "dir/empty.txt"));
}

// --- Hard links that bring the file's data ----------------------------------

const std::string kData = "shared by every name\n";

// As cpio writes a file of three names: the data with the last one.
std::string NewcGroup() {
    return archive_bytes::Write("newc", {{.path = "a", .inode = 7, .links = 3},
                                         {.path = "dir", .type = AE_IFDIR},
                                         {.path = "dir/b", .inode = 7, .links = 3},
                                         {.path = "c", .data = kData, .inode = 7, .links = 3}});
}

TEST_F(Extraction, EveryNameOfAFileGetsTheDataItsLastLinkBrings) {
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"cpio newc", NewcGroup()},
        {"cpio crc", archive_bytes::NewcToCrc(NewcGroup())},
        {"pax", archive_bytes::LinkKeepingData(archive_bytes::Write("pax", {{.path = "a", .size = 0},
                                                                          {.path = "dir", .type = AE_IFDIR},
                                                                          {.path = "dir/b", .hardlink = "a"},
                                                                          {.path = "c", .data = kData}}),
                                               "c", "a")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Out());
        Save(c.bytes);
        ASSERT_EQ(ExtractAll(Kind::Tar), result::kOk);
        for (const char* name : {"a", "dir/b", "c"}) EXPECT_EQ(ReadFile(Out() / name), kData) << name;
        EXPECT_EQ(Inode(Out() / "a"), Inode(Out() / "c"));
        EXPECT_EQ(Inode(Out() / "dir/b"), Inode(Out() / "c"));
        EXPECT_EQ(Made(), (std::vector<std::string>{"a", "c", "dir", "dir/b"}));
        EXPECT_EQ(TestAll(Kind::Tar), result::kOk);
    }
}

TEST_F(Extraction, DataOfALinkWhoseFirstNameWasNotExtractedStaysWithTheLink) {
    Save(NewcGroup());
    NoProgress quiet;
    fs::create_directories(Out());
    std::ofstream(Out() / "a") << "the user's own file\n";
    Command command{.action = Action::Extract, .quiet = true, .archive = archive_.string(),
                    .destination = Out().string() + "/", .patterns = {"c"}};
    ASSERT_EQ(Extract(Kind::Tar, command, quiet), result::kOk);
    EXPECT_EQ(ReadFile(Out() / "c"), kData);
    EXPECT_EQ(ReadFile(Out() / "a"), "the user's own file\n");
}

// --- Files the user had ----------------------------------------------------

// Run without a worker's module, nobody takes what is set aside to the
// trash: the user's file keeps a numbered name beside the entry's. What an
// earlier entry of the same run made is simply replaced.
TEST_F(Extraction, TheUsersFilesAreKeptAndOnlyTheArchivesOwnAreReplaced) {
    Save(archive_bytes::Write("pax", {{.path = "same.txt", .data = "same"},
                                      {.path = "link", .type = AE_IFLNK, .symlink = "same.txt"},
                                      {.path = "changed.txt", .data = "new"},
                                      {.path = "twice.txt", .data = "first"},
                                      {.path = "twice.txt", .data = "second"},
                                      {.path = "folder", .data = "a file"}}));
    fs::create_directories(Out() / "folder");
    std::ofstream(Out() / "same.txt") << "same";
    std::ofstream(Out() / "changed.txt") << "old";
    fs::create_symlink("same.txt", Out() / "link");
    const ino_t same = Inode(Out() / "same.txt"), link = Inode(Out() / "link");

    EXPECT_EQ(ExtractAll(Kind::Tar), result::kWrite);  // the folder stays in the way
    EXPECT_EQ(Made(), (std::vector<std::string>{"changed (1).txt", "changed.txt", "folder", "link", "same.txt",
                                                "twice.txt"}));
    EXPECT_EQ(ReadFile(Out() / "changed (1).txt"), "old");
    EXPECT_EQ(ReadFile(Out() / "changed.txt"), "new");
    EXPECT_EQ(ReadFile(Out() / "twice.txt"), "second");
    EXPECT_EQ(Inode(Out() / "same.txt"), same);
    EXPECT_EQ(Inode(Out() / "link"), link);
}

// --- Hard links to symbolic links ---------------------------------------

// d0/d1/.../d11/l points up twelve folders to etc/passwd: inside from there,
// but the same link made at the top leads out.
std::vector<Item> DeepLinkThenHardLinkAtTheTop(bool cpio) {
    std::vector<Item> items;
    std::string folder;
    for (int depth = 0; depth < 12; ++depth) {
        folder += (folder.empty() ? "" : "/") + ("d" + std::to_string(depth));
        items.push_back({.path = folder, .type = AE_IFDIR});
    }
    std::string up;
    for (int depth = 0; depth < 12; ++depth) up += "../";
    const std::string link = folder + "/l";
    Item symlink{.path = link, .type = AE_IFLNK, .symlink = up + "etc/passwd", .inode = 9, .links = cpio ? 2u : 1u};
    Item hard = symlink;
    hard.path = "h";
    if (!cpio) hard.hardlink = link;
    items.push_back(symlink);
    items.push_back(hard);
    items.push_back({.path = "after.txt", .data = "after\n"});
    return items;
}

TEST_F(Extraction, AHardLinkToASymlinkStaysInside) {
    for (const char* format : {"pax", "newc"}) {
        SCOPED_TRACE(format);
        fs::remove_all(Out());
        Save(archive_bytes::Write(format, DeepLinkThenHardLinkAtTheTop(std::string(format) == "newc")));
        EXPECT_EQ(ExtractAll(Kind::Tar), result::kBrokenHeader);
        EXPECT_FALSE(fs::exists(fs::symlink_status(Out() / "h")));
        EXPECT_TRUE(fs::is_symlink(Out() / "d0/d1/d2/d3/d4/d5/d6/d7/d8/d9/d10/d11/l"));
        EXPECT_EQ(ReadFile(Out() / "after.txt"), "after\n");
        EXPECT_FALSE(LeftTemporaries());
    }
}

TEST_F(Extraction, AHardLinkToASymlinkThatStaysInsideIsMade) {
    Save(archive_bytes::Write("pax", {{.path = "dir", .type = AE_IFDIR},
                                      {.path = "dir/l", .type = AE_IFLNK, .symlink = "x"},
                                      {.path = "dir/h", .type = AE_IFLNK, .hardlink = "dir/l"}}));
    EXPECT_EQ(ExtractAll(Kind::Tar), result::kOk);
    EXPECT_EQ(fs::read_symlink(Out() / "dir/h"), "x");
    EXPECT_EQ(Inode(Out() / "dir/h"), Inode(Out() / "dir/l"));
}

// --- ar name tables --------------------------------------------------------

TEST_F(Extraction, ArNameTablesAreNoEntries) {
    const fs::path fixtures = KELVORA_FIXTURE_DIR;
    const fs::path bsd = Save(archive_bytes::BsdAr({{"__.SYMDEF", "\0\0\0\0"},
                                                    {"__.SYMDEF SORTED", "\0\0\0\0"},
                                                    {"a_long_member_name.txt", "Hello, Kelvora!\n"}}),
                              "bsd.a");
    const struct {
        fs::path archive;
        std::string listing;
    } cases[] = {
        {fixtures / "long_names.a", "symbol.o\na_long_member_name.txt\n"},
        {bsd, "a_long_member_name.txt\n"},
        {fixtures / "tree.deb", "debian-binary\ncontrol.tar.gz\ndata.tar.gz\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.archive.filename().string());
        fs::remove_all(Out());
        std::string listing;
        EXPECT_EQ(List(Kind::Tar, c.archive, listing), result::kOk);
        EXPECT_EQ(listing, c.listing);
        EXPECT_EQ(FileCount(Kind::Tar, c.archive.c_str()), std::count(listing.begin(), listing.end(), '\n'));
        NoProgress quiet;
        EXPECT_EQ(archivers::Test(Kind::Tar, c.archive, quiet), result::kOk);
        EXPECT_EQ(ExtractAll(Kind::Tar, c.archive), result::kOk);
    }
    EXPECT_EQ(ReadFile(Out() / "debian-binary"), "2.0\n");
    ASSERT_EQ(ExtractAll(Kind::Tar, fixtures / "long_names.a"), result::kOk);
    EXPECT_EQ(ReadFile(Out() / "a_long_member_name.txt"), "Hello, Kelvora!\n");
}

// --- Data shorter than the header says -------------------------------------

TEST_F(Extraction, AFileShorterThanItsHeaderIsNoPaddedFile) {
    // 12 bytes with their right CRC under a header that claims 4,000,000,000.
    Save(archive_bytes::LzhLevel0("big.bin", "twelve bytes", 4000000000u), "short.lzh");
    EXPECT_EQ(ExtractAll(Kind::Lha), result::kBrokenHeader);
    EXPECT_EQ(Made(), std::vector<std::string>{});
    EXPECT_EQ(TestAll(Kind::Lha), result::kBrokenHeader);
}

TEST_F(Extraction, ASparseFileEndingInAHoleKeepsItsSize) {
    const int64_t size = 1 << 20;
    std::string data(size, '\0');
    data.replace(0, 5, "start");
    Save(archive_bytes::Write("pax", {{.path = "sparse.bin", .data = data, .regions = {{0, 4096}}}}));
    ASSERT_EQ(ExtractAll(Kind::Tar), result::kOk);
    EXPECT_EQ(ReadFile(Out() / "sparse.bin"), data);
    EXPECT_EQ(TestAll(Kind::Tar), result::kOk);
}

// --- Deep trees --------------------------------------------------------------

// A chain of `depth` folders named `name` below `top`, opened one from the
// other (whole paths would cost the kernel as much again as the extraction).
std::vector<platform::UniqueFd> OpenChain(const fs::path& top, const char* name, int depth) {
    std::vector<platform::UniqueFd> chain;
    chain.emplace_back(open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (int i = 0; i < depth && chain.back(); ++i)
        chain.emplace_back(openat(chain.back().Get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return chain;
}

// Removed from the bottom up, for the same reason.
void RemoveChain(const fs::path& top, const char* name, const char* file, int depth) {
    std::vector<platform::UniqueFd> chain = OpenChain(top, name, depth);
    unlinkat(chain.back().Get(), file, 0);
    for (size_t i = chain.size() - 1; i > 0; --i) unlinkat(chain[i - 1].Get(), name, AT_REMOVEDIR);
}

TEST(DeepTrees, EachFolderIsOpenedOnce) {
    TempFolder work("engine-test");
    DiskWriter disk;
    ASSERT_EQ(disk.Open((work.Path() / "out").string(), ""), result::kOk);
    const timespec time{kTime, 0};
    Parts path;
    for (int depth = 0; depth < 1000; ++depth) {
        path.push_back("d");
        ASSERT_EQ(disk.MakeFolder(path, 0755, time), result::kOk) << depth;
    }
    path.push_back("file.txt");
    std::optional<PendingFile> file;
    ASSERT_EQ(disk.BeginFile(path, 0644, file), result::kOk);
    ASSERT_EQ(file->Commit(0, time), result::kOk);
    disk.FinishFolders();
    EXPECT_LE(disk.FoldersOpened(), 1001u);
    RemoveChain(work.Path() / "out", "d", "file.txt", 1000);
}

std::string NestedTar(int depth) {
    std::vector<Item> items;
    std::string folder;
    for (int i = 0; i < depth; ++i) {
        folder += (folder.empty() ? "" : "/") + std::string("d");
        items.push_back({.path = folder, .type = AE_IFDIR});
    }
    items.push_back({.path = folder + "/bottom.txt", .data = "bottom\n"});
    return archive_bytes::Write("pax", items);
}

TEST_F(Extraction, AThousandNestedFoldersComeOutWithTheirTimes) {
    Save(NestedTar(1000));
    ASSERT_EQ(ExtractAll(Kind::Tar), result::kOk);
    std::vector<platform::UniqueFd> chain = OpenChain(Out(), "d", 1000);
    ASSERT_EQ(chain.size(), 1001u);
    for (size_t depth = 1; depth < chain.size(); ++depth) {
        struct stat st {};
        ASSERT_EQ(fstat(chain[depth].Get(), &st), 0) << depth;
        EXPECT_EQ(st.st_mtim.tv_sec, kTime) << depth;
    }
    struct stat st {};
    EXPECT_EQ(fstatat(chain.back().Get(), "bottom.txt", &st, 0), 0);
    EXPECT_EQ(st.st_size, 7);
    chain.clear();
    RemoveChain(Out(), "d", "bottom.txt", 1000);
}

// Raising the limit is the worker's business; the writer only has to fail.
class FileLimit {
public:
    explicit FileLimit(rlim_t soft) {
        getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = soft;
        setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~FileLimit() { setrlimit(RLIMIT_NOFILE, &saved_); }
    FileLimit(const FileLimit&) = delete;
    FileLimit& operator=(const FileLimit&) = delete;

private:
    rlimit saved_{};
};

TEST_F(Extraction, RunningOutOfDescriptorsIsAFolderThatCannotBeMade) {
    Save(NestedTar(300));
    FileLimit limit(64);
    EXPECT_EQ(ExtractAll(Kind::Tar), result::kMakeFolder);
}


// --- Encrypted ZIP entries ---------------------------------------------------

struct Encryption {
    const char* option;
};

class EncryptedZip : public Extraction, public ::testing::WithParamInterface<Encryption> {
protected:
    // Two encrypted files around a plain one (a ZIP may mix them).
    void SetUp() override {
        const std::string secret = archive_bytes::Write(
            "zip", {{.path = "a.txt", .data = "first secret\n"}, {.path = "b.bin", .data = std::string(70000, 'b')}},
            std::string("zip:encryption=") + GetParam().option, "pass word");
        Save(secret);
    }
    int32_t ExtractWith(PasswordSource* passwords) {
        NoProgress quiet;
        Command command{.action = Action::Extract, .quiet = true, .archive = archive_.string(),
                        .destination = Out().string() + "/", .patterns = {"*.*"}};
        return Extract(Kind::Zip, command, quiet, nullptr, ReadOptions{.passwords = passwords});
    }
};

TEST_P(EncryptedZip, AWrongPasswordIsAskedAgainAndTheRightOneOpensEveryEntry) {
    ScriptedPasswords passwords({"wrong", "pass word"});
    EXPECT_EQ(ExtractWith(&passwords), result::kOk);
    EXPECT_EQ(ReadFile(Out() / "a.txt"), "first secret\n");
    EXPECT_EQ(ReadFile(Out() / "b.bin"), std::string(70000, 'b'));
    // Asked once for the archive, once more after the wrong one; the second
    // entry takes the password already given.
    EXPECT_EQ(passwords.retries, (std::vector<bool>{false, true}));
}

TEST_P(EncryptedZip, NoPasswordFailsAsBeforeAndACancelStopsAtOnce) {
    ScriptedPasswords none({});
    EXPECT_EQ(ExtractWith(&none), result::kEncrypted);
    EXPECT_EQ(none.retries.size(), 1u);  // not asked again for the second entry
    EXPECT_FALSE(LeftTemporaries());
    EXPECT_EQ(ExtractWith(nullptr), result::kEncrypted);

    ScriptedPasswords cancelled({"wrong"}, PasswordAnswer::Cancelled);
    EXPECT_EQ(ExtractWith(&cancelled), result::kCancelled);
    EXPECT_TRUE(Made().empty());
}

TEST_P(EncryptedZip, TestReadsEncryptedDataWithThePassword) {
    ScriptedPasswords right({"pass word"});
    NoProgress quiet;
    EXPECT_EQ(archivers::Test(Kind::Zip, archive_.string(), quiet, ReadOptions{.passwords = &right}), result::kOk);
    EXPECT_EQ(TestAll(Kind::Zip), result::kEncrypted);
}

INSTANTIATE_TEST_SUITE_P(Zip, EncryptedZip, ::testing::Values(Encryption{"zipcrypt"}, Encryption{"aes256"}),
                         [](const auto& info) { return std::string(info.param.option); });

void PutLe32(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

uint32_t Le32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// Two one-entry ZIP archives made into one: local parts, then both central
// directory records (the second's offset moved), then one end record.
std::string JoinZips(const std::string& first, const std::string& second) {
    auto parts = [](const std::string& zip) {
        const size_t end = zip.rfind("PK\x05\x06"), directory = Le32(zip, end + 16);
        return std::array<std::string, 3>{zip.substr(0, directory), zip.substr(directory, end - directory),
                                          zip.substr(end)};
    };
    auto [first_local, first_directory, end] = parts(first);
    auto [second_local, second_directory, unused] = parts(second);
    PutLe32(second_directory, 42, Le32(second_directory, 42) + static_cast<uint32_t>(first_local.size()));
    end[8] = end[10] = 2;  // entries on this disk, in all
    PutLe32(end, 12, static_cast<uint32_t>(first_directory.size() + second_directory.size()));
    PutLe32(end, 16, static_cast<uint32_t>(first_local.size() + second_local.size()));
    return first_local + second_local + first_directory + second_directory + end;
}

TEST_F(Extraction, EntriesAfterAnEncryptedOneStillComeOutWithoutItsPassword) {
    Save(JoinZips(archive_bytes::Write("zip", {{.path = "secret.txt", .data = "hidden\n"}}, "zip:encryption=zipcrypt", "pw"),
                  archive_bytes::Write("zip", {{.path = "plain.txt", .data = "open\n"}})));
    ScriptedPasswords none({});
    NoProgress quiet;
    Command command{.action = Action::Extract, .quiet = true, .archive = archive_.string(),
                    .destination = Out().string() + "/", .patterns = {"*.*"}};
    EXPECT_EQ(Extract(Kind::Zip, command, quiet, nullptr, ReadOptions{.passwords = &none}), result::kEncrypted);
    EXPECT_EQ(Made(), std::vector<std::string>{"plain.txt"});
    EXPECT_EQ(ReadFile(Out() / "plain.txt"), "open\n");
}

// --- Folders' modes -----------------------------------------------------------

mode_t ModeOf(const fs::path& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// A folder gets the archive's mode (less the umask, as a file does) once its
// contents are written, also when an entry inside came first and made it; a
// folder the user had keeps its own mode.
TEST_F(Extraction, FoldersGetTheArchivesModesOnceFilled) {
    const mode_t previous = umask(022);
    fs::create_directories(Out() / "mine");
    fs::permissions(Out() / "mine", fs::perms(0700));
    Save(archive_bytes::Write("pax", {{.path = "ro", .type = AE_IFDIR, .perm = 0555},
                                      {.path = "ro/a.txt", .data = "a\n"},
                                      {.path = "ro/sub/b.txt", .data = "b\n"},
                                      {.path = "ro/sub", .type = AE_IFDIR, .perm = 0500},
                                      {.path = "open", .type = AE_IFDIR, .perm = 0777},
                                      {.path = "mine", .type = AE_IFDIR, .perm = 0555}}));
    EXPECT_EQ(ExtractAll(Kind::Tar), result::kOk);
    umask(previous);
    EXPECT_EQ(ReadFile(Out() / "ro/sub/b.txt"), "b\n");
    EXPECT_EQ(ModeOf(Out() / "ro"), 0555u);
    EXPECT_EQ(ModeOf(Out() / "ro/sub"), 0500u);
    EXPECT_EQ(ModeOf(Out() / "open"), 0755u);
    EXPECT_EQ(ModeOf(Out() / "mine"), 0700u);
    // Writable again, so that the test's folder can be removed by anyone.
    for (const char* folder : {"ro", "ro/sub"}) fs::permissions(Out() / folder, fs::perms(0755));
}

// --- Names -------------------------------------------------------------------

// A level 0 LZH header separates folders with "\"; libarchive makes every
// "\" a "/", also the second byte of 表 (95 5C) and ソ (83 5C).
TEST_F(Extraction, ShiftJisNamesOfALevel0LzhHeaderKeepTheirSecondByte) {
    Save(archive_bytes::LzhLevel0("\x95\x5C\\\x83\x5C.txt", "sjis\n", 5));
    EXPECT_EQ(ExtractAll(Kind::Lha), result::kOk);
    EXPECT_EQ(ReadFile(Out() / "表" / "ソ.txt"), "sjis\n");
}

// --- Two shares of one extraction --------------------------------------------

// What one worker walking all 100 entries would have answered, from how two
// shares' walks went, whichever share is named first.
TEST(CombineShares, GiveWhatOneWalkWouldHaveGiven) {
    const ShareOutcome clean{-1, 0, 100, Stop::End, 0};
    struct Case {
        const char* what;
        ShareOutcome a, b;
        int32_t expected;
    } cases[] = {
        {"both clean", clean, clean, result::kOk},
        {"the earlier failure", {8, result::kWrite, 100, Stop::End, 0}, {3, result::kBrokenHeader, 100, Stop::End, 0},
         result::kBrokenHeader},
        {"a fatal stop over an earlier failure", {-1, 0, 8, Stop::Fatal, result::kDiskFull},
         {3, result::kWrite, 100, Stop::End, 0}, result::kDiskFull},
        {"no failure after the stop", {-1, 0, 5, Stop::Broken, result::kReadArchive},
         {7, result::kWrite, 100, Stop::End, 0}, result::kReadArchive},
        {"a failure before the stop", {-1, 0, 5, Stop::Broken, result::kReadArchive},
         {3, result::kWrite, 100, Stop::End, 0}, result::kWrite},
        {"the damaged entry itself", {5, result::kChecksum, 5, Stop::Broken, result::kReadArchive},
         {-1, 0, 5, Stop::Unreadable, result::kBrokenHeader}, result::kChecksum},
        {"a fatal entry before the header after it", {-1, 0, 4, Stop::Fatal, result::kDiskFull},
         {-1, 0, 4, Stop::Unreadable, result::kBrokenHeader}, result::kDiskFull},
        {"a header both could not read", {-1, 0, 50, Stop::Unreadable, result::kBrokenHeader},
         {-1, 0, 50, Stop::Unreadable, result::kBrokenHeader}, result::kBrokenHeader},
        {"the end's own failure", {-1, 0, 100, Stop::End, result::kChecksum}, {-1, 0, 100, Stop::End, result::kChecksum},
         result::kChecksum},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CombineShares(c.a, c.b), c.expected) << c.what;
        EXPECT_EQ(CombineShares(c.b, c.a), c.expected) << c.what << ", the other way round";
    }
}

}  // namespace
}  // namespace archivers
