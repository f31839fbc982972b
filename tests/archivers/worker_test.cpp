// The worker process that reads archives for our modules: its protocol, each
// layer of its confinement, and a module that survives whatever the worker
// does. The worker built for tests makes faults on request (worker_faults.h).
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "archive_bytes.h"
#include "cancel_at.h"
#include "dravolix.h"
#include "env_var.h"
#include "module_loader.h"
#include "process.h"
#include "sandbox.h"
#include "scripted_passwords.h"
#include "temp_folder.h"
#include "trash_contents.h"
#include "tree_compare.h"
#include "worker_client.h"
#include "worker_protocol.h"

namespace fs = std::filesystem;
using namespace archivers;

namespace {

const fs::path kData = KELVORA_FIXTURE_DIR;
const fs::path kTestWorker = KELVORA_TEST_WORKER;

// Every temporary file a worker may leave: ".kelvora-PID-N.part".
std::vector<fs::path> Leftovers(const fs::path& folder) {
    std::vector<fs::path> found;
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ignored))
        if (entry.path().filename().string().rfind(".kelvora-", 0) == 0) found.push_back(entry.path());
    return found;
}

wire::Request Request(wire::Operation operation, const fs::path& archive, const fs::path& destination = {}) {
    wire::Request request;
    request.operation = operation;
    request.kind = Kind::Tar;
    request.archive = archive.string();
    request.destination = destination.empty() ? "" : destination.string() + "/";
    return request;
}

// Cancels once the workers have said nothing new for a while: one of them hangs.
class CancelWhenSilent : public Progress {
public:
    bool Step(std::string_view entry, int64_t done, int64_t) override {
        const auto now = std::chrono::steady_clock::now();
        if (entry != entry_ || done != done_) {
            entry_.assign(entry);
            done_ = done;
            since_ = now;
        }
        return now - since_ < std::chrono::milliseconds(500);
    }

private:
    std::string entry_;
    int64_t done_ = -1;
    std::chrono::steady_clock::time_point since_ = std::chrono::steady_clock::now();
};

TEST(WorkerProtocol, FramesArriveWholeWhateverTheirPieces) {
    wire::Result sent{0x8019, 7, "表/ソ.txt\n"};
    const std::string bytes = wire::EncodeHello() + wire::Encode(sent);
    wire::FrameReader frames;
    std::vector<wire::Type> types;
    wire::Type type;
    std::string payload;
    for (char byte : bytes) {
        frames.Append(&byte, 1);
        while (frames.Next(type, payload)) types.push_back(type);
    }
    ASSERT_EQ(types, (std::vector<wire::Type>{wire::Type::Hello, wire::Type::Result}));
    auto received = wire::DecodeResult(payload);
    ASSERT_TRUE(received);
    EXPECT_EQ(received->code, 0x8019);
    EXPECT_EQ(received->value, 7);
    EXPECT_EQ(received->text, sent.text);
    EXPECT_TRUE(frames.Empty());
}

TEST(WorkerProtocol, MalformedStreamsAreRefused) {
    auto malformed = [](const std::string& bytes) {
        wire::FrameReader frames;
        frames.Append(bytes.data(), bytes.size());
        wire::Type type;
        std::string payload;
        while (frames.Next(type, payload)) {
        }
        return frames.Malformed();
    };
    EXPECT_TRUE(malformed(std::string("Z\0\0\0\0", 5)));                     // unknown type
    EXPECT_TRUE(malformed(std::string("R\xFF\xFF\xFF\x7F", 5)));             // a 2 GB frame
    EXPECT_FALSE(malformed(wire::Encode(wire::Progress{1, 2, "a"}).substr(0, 8)));  // only incomplete
    EXPECT_FALSE(wire::DecodeResult("\x01\x02"));                            // payload too short
    EXPECT_FALSE(wire::DecodeHello(wire::EncodeHello().substr(wire::kHeaderSize, 3) + "\x01"));  // another version
}

TEST(WorkerProtocol, RequestsKeepEveryField) {
    wire::Request sent = Request(wire::Operation::Extract, "/in/a \"b\".tar", "/out/表");
    sent.kind = Kind::Lha;
    sent.mode = 2;
    sent.parent = 1234;
    sent.patterns = {"*.*", "b c.txt"};
    sent.names = NameEncoding::EucJp;
    sent.ask_password = true;
    sent.share = Share::Second;
    sent.chosen = NameEncoding::ShiftJis;
    std::string frame = wire::Encode(sent);
    auto received = wire::DecodeRequest(std::string_view(frame).substr(wire::kHeaderSize));
    ASSERT_TRUE(received);
    EXPECT_EQ(received->operation, wire::Operation::Extract);
    EXPECT_EQ(received->kind, Kind::Lha);
    EXPECT_EQ(received->mode, 2);
    EXPECT_EQ(received->parent, 1234);
    EXPECT_EQ(received->archive, sent.archive);
    EXPECT_EQ(received->destination, sent.destination);
    EXPECT_EQ(received->patterns, sent.patterns);
    EXPECT_EQ(received->names, NameEncoding::EucJp);
    EXPECT_TRUE(received->ask_password);
    EXPECT_EQ(received->share, Share::Second);
    EXPECT_EQ(received->chosen, NameEncoding::ShiftJis);
}

TEST(WorkerProtocol, ShareFramesKeepEveryField) {
    const ShareOutcome sent{7, 0x8013, 99, Stop::Unreadable, 0x8017};
    wire::FrameReader frames;
    const std::string bytes = wire::EncodePlan(NameEncoding::EucJp) + wire::Encode(sent) + wire::EncodeFinish();
    frames.Append(bytes.data(), bytes.size());
    wire::Type type;
    std::string payload;
    ASSERT_TRUE(frames.Next(type, payload));
    EXPECT_EQ(type, wire::Type::Plan);
    EXPECT_EQ(wire::DecodePlan(payload), NameEncoding::EucJp);
    ASSERT_TRUE(frames.Next(type, payload));
    EXPECT_EQ(type, wire::Type::ShareEnd);
    auto received = wire::DecodeShareOutcome(payload);
    EXPECT_FALSE(wire::DecodeShareOutcome(payload + "x"));
    ASSERT_TRUE(received);
    EXPECT_EQ(received->first_index, 7);
    EXPECT_EQ(received->first_code, 0x8013);
    EXPECT_EQ(received->stop_index, 99);
    EXPECT_EQ(received->stop, Stop::Unreadable);
    EXPECT_EQ(received->stop_code, 0x8017);
    ASSERT_TRUE(frames.Next(type, payload));
    EXPECT_EQ(type, wire::Type::Finish);
    EXPECT_TRUE(wire::DecodeFinish(payload));
    EXPECT_FALSE(wire::DecodePlan(std::string(1, '\x09')));
}

TEST(WorkerProtocol, PasswordAnswersParseOnlyWhenWhole) {
    Secret password("pass word"), frame, received;
    wire::EncodePassword(PasswordAnswer::Given, password, frame);
    const std::string_view payload = frame.View().substr(wire::kHeaderSize);
    EXPECT_EQ(frame.View()[0], static_cast<char>(wire::Type::Password));
    EXPECT_EQ(wire::DecodePassword(payload, received), PasswordAnswer::Given);
    EXPECT_EQ(received.View(), "pass word");
    EXPECT_FALSE(wire::DecodePassword(payload.substr(0, payload.size() - 1), received));  // cut short
    EXPECT_TRUE(received.Empty());
    wire::EncodePassword(PasswordAnswer::Cancelled, password, frame);  // the password is not sent
    EXPECT_EQ(frame.View().size(), wire::kHeaderSize + 5);
    EXPECT_EQ(wire::DecodePassword(frame.View().substr(wire::kHeaderSize), received), PasswordAnswer::Cancelled);
    EXPECT_FALSE(wire::DecodePassword(std::string("\x07\0\0\0\0", 5), received));  // no such answer
}

// One forbidden thing the test worker tries right after it is confined.
struct Attempt {
    const char* name;
    const char* fault;    // "{out}" stands for a folder outside the destination
    bool extracting;      // confined for an extraction into {out}/dest
    int expected_error;   // 0: it must be allowed
    bool needs_landlock;
};

class ConfinementTest : public ::testing::TestWithParam<Attempt> {};

TEST_P(ConfinementTest, ForbiddenThingsFail) {
    const Attempt& attempt = GetParam();
    if (attempt.needs_landlock && platform::LandlockAbi() < 2) GTEST_SKIP() << "this kernel has no Landlock";
    TempFolder folder("worker-confinement");
    const fs::path destination = folder.Path() / "dest";
    fs::create_directories(destination);
    std::ofstream(folder.Path() / "secret.txt") << "the user's own";
    std::string fault = attempt.fault;
    if (size_t at = fault.find("{out}"); at != std::string::npos) fault.replace(at, 5, folder.Path().string());
    EnvVar set("ZENKARI_WORKER_FAULT", fault.c_str());

    NoProgress quiet;
    auto operation = attempt.extracting ? wire::Operation::Extract : wire::Operation::Check;
    WorkerOutcome outcome = RunWorker(kTestWorker, Request(operation, kData / "tree.tar", destination), quiet);
    ASSERT_TRUE(outcome.answered) << outcome.code;
    EXPECT_EQ(outcome.value, attempt.expected_error) << outcome.text << ": " << strerror(outcome.value);
    if (attempt.expected_error != 0) {
        EXPECT_FALSE(fs::exists(folder.Path() / "planted.txt"));
        EXPECT_FALSE(fs::exists(destination / "planted.txt"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layers, ConfinementTest,
    ::testing::Values(Attempt{"RunAnotherProgram", "try:exec", false, EPERM, false},
                      Attempt{"OpenANetworkSocket", "try:socket", false, EPERM, false},
                      Attempt{"TraceTheModulesProcess", "try:ptrace", false, EPERM, false},
                      Attempt{"ReadAFileOfTheUser", "try:read={out}/secret.txt", false, EACCES, true},
                      Attempt{"WriteWhileOnlyChecking", "try:write={out}/dest/planted.txt", false, EACCES, true},
                      Attempt{"WriteBesideTheDestination", "try:write={out}/planted.txt", true, EACCES, true},
                      Attempt{"WriteBeneathTheDestination", "try:write={out}/dest/ok.txt", true, 0, true},
                      Attempt{"ReadTheArchive", "try:read=" KELVORA_FIXTURE_DIR "/tree.tar", false, 0, true}
#if !defined(__SANITIZE_ADDRESS__)
                      ,
                      Attempt{"TakeGigabytesOfMemory", "try:memory", false, ENOMEM, false}
#endif
                      ),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WorkerTest, ACancelEndsTheWorkerAndRemovesItsHalfWrittenFile) {
    TempFolder folder("worker-cancel");
    EnvVar hang("ZENKARI_WORKER_FAULT", "hang:3");  // stops inside dir/data.bin, its file begun
    CancelAt cancel("dir/data.bin");
    WorkerOutcome outcome =
        RunWorker(kTestWorker, Request(wire::Operation::Extract, kData / "tree.tar", folder.Path()), cancel);
    EXPECT_FALSE(outcome.answered);
    EXPECT_EQ(outcome.code, result::kCancelled);
    EXPECT_EQ(Leftovers(folder.Path()), std::vector<fs::path>{});
    EXPECT_EQ(CompareTrees(kData / "tree" / "hello.txt", folder.Path() / "hello.txt"), "");  // finished stays
}

// The worker set the user's hello.txt aside for the archive's, then died:
// the module still puts the user's file in the trash under its own name.
TEST(WorkerTest, AFileSetAsideBeforeTheWorkerCrashedStillReachesTheTrash) {
    TempFolder folder("worker-aside"), data("worker-aside-data");
    EnvVar data_home("XDG_DATA_HOME", data.Path().c_str());
    std::ofstream(folder.Path() / "hello.txt") << "the user's";
    EnvVar crash("ZENKARI_WORKER_FAULT", "crash:3");  // inside dir/data.bin
    NoProgress quiet;
    WorkerOutcome outcome =
        RunWorker(kTestWorker, Request(wire::Operation::Extract, kData / "tree.tar", folder.Path()), quiet);
    EXPECT_FALSE(outcome.answered);
    EXPECT_EQ(Leftovers(folder.Path()), std::vector<fs::path>{});
    EXPECT_EQ(CompareTrees(kData / "tree" / "hello.txt", folder.Path() / "hello.txt"), "");
    const auto trashed = TrashContents(data.Path() / "Trash");
    ASSERT_EQ(trashed.size(), 1u);
    EXPECT_EQ(trashed[0].contents, "the user's");
    EXPECT_EQ(trashed[0].path, (folder.Path() / "hello.txt").string());
}

TEST(WorkerTest, QuestionsAboutOneArchiveShareAWorkerUntilTheArchiveChanges) {
    TempFolder folder("worker-reuse");
    const fs::path archive = folder.Path() / "tree.tar", other = folder.Path() / "other.tar";
    fs::copy_file(kData / "tree.tar", archive);
    fs::copy_file(kData / "tree.tar", other);
    NoProgress quiet;
    auto count = [&](const fs::path& file) { return RunWorker(kTestWorker, Request(wire::Operation::Count, file), quiet).code; };
    // Workers started while this is set crash at the first entry that a test reads.
    auto test_with_crashing_workers = [&](const fs::path& file) {
        EnvVar crash("ZENKARI_WORKER_FAULT", "crash:1");
        return RunWorker(kTestWorker, Request(wire::Operation::Test, file), quiet).code;
    };
    ASSERT_EQ(count(archive), 4);
    EXPECT_EQ(test_with_crashing_workers(archive), 0);  // the worker kept for the archive answers
    EXPECT_EQ(test_with_crashing_workers(other), kWorkerFailed);  // another archive: a new worker
    ASSERT_EQ(count(archive), 4);
    fs::last_write_time(archive, fs::last_write_time(archive) - std::chrono::hours(1));
    EXPECT_EQ(test_with_crashing_workers(archive), kWorkerFailed);  // changed since: a new worker
}

// The worker asks the module, which asks the user; the password never
// reaches the worker's command line or environment.
TEST(WorkerTest, AnEncryptedEntryAsksTheModuleUntilThePasswordFitsOrTheUserCancels) {
    TempFolder folder("worker-password");
    NoProgress quiet;
    auto extract = [&](PasswordSource* passwords, const fs::path& into) {
        wire::Request request = Request(wire::Operation::Extract, kData / "encrypted.zip", into);
        request.kind = Kind::Zip;
        fs::create_directory(into);
        return RunWorker(kTestWorker, request, quiet, passwords);
    };
    ScriptedPasswords right({"wrong", "pw"}, PasswordAnswer::None);
    EXPECT_EQ(extract(&right, folder.Path() / "right").code, result::kOk);
    EXPECT_EQ(right.retries, (std::vector<bool>{false, true}));
    std::ifstream hello(folder.Path() / "right" / "hello.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(hello), {}), "Hello, Kelvora!\n");

    ScriptedPasswords cancel({"wrong"}, PasswordAnswer::Cancelled);
    EXPECT_EQ(extract(&cancel, folder.Path() / "cancel").code, result::kCancelled);
    EXPECT_EQ(Leftovers(folder.Path() / "cancel"), std::vector<fs::path>{});
    EXPECT_EQ(extract(nullptr, folder.Path() / "none").code, result::kEncrypted);
}

TEST(WorkerTest, AMissingWorkerIsAFailureNotACrash) {
    NoProgress quiet;
    WorkerOutcome outcome = RunWorker("/nonexistent/zenkari-worker", Request(wire::Operation::Count, kData / "tree.tar"), quiet);
    EXPECT_FALSE(outcome.answered);
    EXPECT_EQ(outcome.code, kWorkerFailed);
}

// --- A ZIP extraction shared by two workers --------------------------------

using archive_bytes::Item;

// `count` files f0.txt ... in four folders (d0/ to d3/, entries of their own
// with modes that are not the default, d3/ not writable), a link among them.
std::vector<Item> ManyFiles(int count) {
    std::vector<Item> items;
    for (int folder = 0; folder < 4; ++folder)
        items.push_back({.path = "d" + std::to_string(folder) + "/", .type = 040000, .perm = folder < 3 ? 0750u - folder * 010u : 0550u});
    for (int i = 0; i < count; ++i)
        items.push_back({.path = "d" + std::to_string(i % 4) + "/f" + std::to_string(i) + ".txt",
                         .data = std::string(static_cast<size_t>(i * 37 % 3000), static_cast<char>('a' + i % 26))});
    items.push_back({.path = "d0/link", .type = 0120000, .symlink = "f0.txt"});
    return items;
}

// `count` files f0 ... at the top, no folders.
std::vector<Item> FlatFiles(int count) {
    std::vector<Item> items;
    for (int i = 0; i < count; ++i) items.push_back({.path = "f" + std::to_string(i), .data = "file " + std::to_string(i)});
    return items;
}

mode_t ModeOf(const fs::path& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class SharedExtraction : public ::testing::Test {
protected:
    void Save(const std::vector<Item>& items, const std::string& options = {}, const std::string& password = {}) {
        std::ofstream(archive_, std::ios::binary) << archive_bytes::Write("zip", items, options, password);
    }
    WorkerOutcome Extract(const fs::path& into, Share share, Progress& progress, PasswordSource* passwords = nullptr) {
        wire::Request request = Request(wire::Operation::Extract, archive_, into);
        request.kind = Kind::Zip;
        request.share = share;
        fs::create_directories(into);  // as the module makes it, before the worker is confined to it
        return RunWorker(kTestWorker, request, progress, passwords);
    }
    WorkerOutcome Extract(const fs::path& into, Share share = Share::First) {
        NoProgress quiet;
        return Extract(into, share, quiet);
    }

    TempFolder work_{"shared-extraction"};
    const fs::path archive_ = work_.Path() / "many.zip";
};

// What the progress window would show last.
class ProgressRecorder : public Progress {
public:
    bool Step(std::string_view, int64_t done, int64_t total) override {
        last = done;
        last_total = total;
        return true;
    }
    int64_t last = 0, last_total = 0;
};

TEST_F(SharedExtraction, TwoWorkersWriteWhatOneWrites) {
    Save(ManyFiles(300));
    NoProgress quiet;
    ProgressRecorder progress;
    const WorkerOutcome one = Extract(work_.Path() / "one", Share::Whole);
    // The second share ends well after the first: the first must wait for it
    // before the folders get their times and d3/ loses its write bit.
    EnvVar later("ZENKARI_WORKER_FAULT", "sleep:250:second");
    const WorkerOutcome two = Extract(work_.Path() / "two", Share::First, progress);
    EXPECT_EQ(one.code, result::kOk);
    EXPECT_EQ(one.workers, 1);
    EXPECT_EQ(two.code, result::kOk);
    EXPECT_EQ(two.workers, 2);
    // Folder times too: set once both workers had written into them.
    EXPECT_EQ(CompareTrees(work_.Path() / "one", work_.Path() / "two"), "");
    for (const char* folder : {"d0", "d1", "d2", "d3"}) {
        EXPECT_EQ(ModeOf(work_.Path() / "two" / folder), ModeOf(work_.Path() / "one" / folder)) << folder;
        EXPECT_EQ(fs::last_write_time(work_.Path() / "two" / folder), fs::last_write_time(work_.Path() / "one" / folder))
            << folder;
    }
    EXPECT_EQ(ModeOf(work_.Path() / "two" / "d3"), 0550u & ~platform::FileCreationMask());
    EXPECT_EQ(Leftovers(work_.Path()), std::vector<fs::path>{});
    for (const char* tree : {"one", "two"}) fs::permissions(work_.Path() / tree / "d3", fs::perms(0755));
    // One bar for both, at its end when both are.
    EXPECT_EQ(progress.last, progress.last_total);
    EXPECT_GT(progress.last_total, 0);

    Save(ManyFiles(kMinimumSplitEntries - 10));
    EXPECT_EQ(Extract(work_.Path() / "small").workers, 1);

    // So do fewer files picked by a pattern, however many entries there are.
    Save(FlatFiles(300));
    wire::Request picked = Request(wire::Operation::Extract, archive_, work_.Path() / "picked");
    picked.kind = Kind::Zip;
    picked.share = Share::First;
    picked.patterns = {"f1*"};
    fs::create_directories(work_.Path() / "picked");
    const WorkerOutcome few = RunWorker(kTestWorker, picked, quiet, nullptr);
    EXPECT_EQ(few.code, result::kOk);
    EXPECT_EQ(few.workers, 1);
    EXPECT_EQ(ReadFile(work_.Path() / "picked" / "f150"), "file 150");
    EXPECT_FALSE(fs::exists(work_.Path() / "picked" / "f2"));
}

// Entry 1 (the second worker's) leaves the destination; a folder of the
// user's stands where entry 6 or entry 0 (the first worker's) goes.
TEST_F(SharedExtraction, TheFailureEarlierInTheArchiveWinsWhicheverWorkerMetIt) {
    std::vector<Item> items = FlatFiles(300);
    items[1].path = "../f1";
    Save(items);
    for (const auto& [blocked, expected] : {std::pair{"f6", result::kBrokenHeader}, std::pair{"f0", result::kWrite}}) {
        for (Share share : {Share::Whole, Share::First}) {
            const fs::path into = work_.Path() / (std::string(blocked) + std::to_string(static_cast<int>(share)));
            fs::create_directories(into / blocked);
            const WorkerOutcome outcome = Extract(into, share);
            EXPECT_EQ(outcome.code, expected) << blocked;
            EXPECT_EQ(outcome.workers, share == Share::First ? 2 : 1);
            EXPECT_EQ(ReadFile(into / "f99"), "file 99");
        }
    }
    EXPECT_FALSE(fs::exists(work_.Path() / "f1"));
}

TEST_F(SharedExtraction, NamesThatMeetAndEncryptedEntriesKeepOneWorker) {
    std::vector<Item> twice = FlatFiles(300);
    twice.push_back({.path = "f3", .data = "the later f3"});
    Save(twice);
    WorkerOutcome outcome = Extract(work_.Path() / "twice");
    EXPECT_EQ(outcome.workers, 1);
    EXPECT_EQ(ReadFile(work_.Path() / "twice" / "f3"), "the later f3");

    std::vector<Item> folder_in_the_way = FlatFiles(300);
    folder_in_the_way.push_back({.path = "f5/inside", .data = "x"});
    Save(folder_in_the_way);
    outcome = Extract(work_.Path() / "in-the-way");
    EXPECT_EQ(outcome.workers, 1);
    EXPECT_EQ(outcome.code, result::kMakeFolder);

    Save(FlatFiles(300), "zip:encryption=zipcrypt", "pw");
    ScriptedPasswords once({"pw"});
    NoProgress quiet;
    outcome = Extract(work_.Path() / "encrypted", Share::First, quiet, &once);
    EXPECT_EQ(outcome.code, result::kOk);
    EXPECT_EQ(outcome.workers, 1);
    EXPECT_EQ(once.retries, std::vector<bool>{false});
    EXPECT_EQ(ReadFile(work_.Path() / "encrypted" / "f42"), "file 42");
}

// The second worker stops inside f3, its file begun, and the first at f4;
// f3 is cancelled once shown.
TEST_F(SharedExtraction, ACancelEndsBothWorkers) {
    Save(FlatFiles(300));
    EnvVar hang("ZENKARI_WORKER_FAULT", "hang:4");
    CancelWhenSilent cancel;
    const auto started = std::chrono::steady_clock::now();
    const WorkerOutcome outcome = Extract(work_.Path() / "out", Share::First, cancel);
    EXPECT_EQ(outcome.code, result::kCancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_EQ(Leftovers(work_.Path()), std::vector<fs::path>{});
    EXPECT_EQ(ReadFile(work_.Path() / "out" / "f0"), "file 0");
}

TEST_F(SharedExtraction, AWorkerThatCrashesOrHangsEndsBoth) {
    Save(FlatFiles(300));
    EnvVar timeout("ZENKARI_WORKER_TIMEOUT_MS", "500");
    for (const char* fault : {"crash:3:second", "hang:3:first", "hang:3:second"}) {
        EnvVar set("ZENKARI_WORKER_FAULT", fault);
        const fs::path into = work_.Path() / fault;
        const WorkerOutcome outcome = Extract(into);
        EXPECT_FALSE(outcome.answered) << fault;
        EXPECT_EQ(outcome.code, kWorkerFailed) << fault;
        EXPECT_EQ(Leftovers(into), std::vector<fs::path>{}) << fault;
    }
}

// f0 is the first worker's entry, f1 the second's: each sets the user's file
// aside, and the module puts both in the trash when the workers are done.
TEST_F(SharedExtraction, TheUsersFilesSetAsideByBothWorkersReachTheTrash) {
    TempFolder data("shared-aside-data");
    EnvVar data_home("XDG_DATA_HOME", data.Path().c_str());
    Save(FlatFiles(300));
    const fs::path into = work_.Path() / "out";
    fs::create_directories(into);
    std::ofstream(into / "f0") << "the user's f0";
    std::ofstream(into / "f1") << "the user's f1";
    const WorkerOutcome outcome = Extract(into);
    EXPECT_EQ(outcome.code, result::kOk);
    EXPECT_EQ(outcome.workers, 2);
    EXPECT_EQ(ReadFile(into / "f0"), "file 0");
    EXPECT_EQ(ReadFile(into / "f1"), "file 1");
    EXPECT_EQ(Leftovers(into), std::vector<fs::path>{});
    const auto trashed = TrashContents(data.Path() / "Trash");
    ASSERT_EQ(trashed.size(), 2u);
    std::set<std::pair<std::string, std::string>> seen;
    for (const Trashed& file : trashed) seen.insert({file.path, file.contents});
    EXPECT_EQ(seen, (std::set<std::pair<std::string, std::string>>{{(into / "f0").string(), "the user's f0"},
                                                                   {(into / "f1").string(), "the user's f1"}}));
}

// An application folder whose modules start the test build of the worker.
class FaultyApplication {
public:
    FaultyApplication() {
        for (const auto& entry : fs::directory_iterator(KELVORA_BIN_DIR))
            if (entry.path().extension() == ".so" || entry.path().filename() == "zenkari")
                fs::copy_file(entry.path(), Bin() / entry.path().filename());
        fs::copy_file(kTestWorker, Bin() / kWorkerName);
    }
    fs::path Bin() const { return folder_.Path(); }

private:
    TempFolder folder_{"faulty-application"};
};

struct Fault {
    const char* name;
    const char* setting;
};

class WorkerFaultTest : public ::testing::TestWithParam<Fault> {
protected:
    void SetUp() override { platform::SetModuleDirectory(application_.Bin().string()); }
    void TearDown() override { platform::SetModuleDirectory(""); }
    int ExtractTree(const fs::path& destination) {
        std::string line = "-xvf \"" + (kData / "tree.tar").string() + "\" \"" + destination.string() + "/\" *.*";
        return Dravx(4, nullptr, line.c_str(), nullptr, 0);
    }

    FaultyApplication application_;
    TempFolder out_{"worker-fault"};
};

TEST_P(WorkerFaultTest, TheModuleFailsCleanlyAndTheNextArchiveExtracts) {
    {
        EnvVar fault("ZENKARI_WORKER_FAULT", GetParam().setting);
        EnvVar timeout("ZENKARI_WORKER_TIMEOUT_MS", "500");
        EXPECT_EQ(ExtractTree(out_.Path() / "first"), kWorkerFailed);
        EXPECT_EQ(Leftovers(out_.Path()), std::vector<fs::path>{});
    }
    EXPECT_EQ(ExtractTree(out_.Path() / "second"), 0);
    EXPECT_EQ(CompareTrees(kData / "tree", out_.Path() / "second"), "");
}

INSTANTIATE_TEST_SUITE_P(Faults, WorkerFaultTest,
                         ::testing::Values(Fault{"CrashInsideAnEntry", "crash:3"}, Fault{"CrashAtTheFirstEntry", "crash:1"},
                                           Fault{"Hang", "hang:1"}, Fault{"GarbageOnThePipe", "garbage:1"},
                                           Fault{"ExitWithoutAResult", "quit:1"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The console program ended from outside while its worker writes: the
// worker dies with it and leaves no temporary file.
class InterruptTest : public ::testing::TestWithParam<int> {};

TEST_P(InterruptTest, AnInterruptedConsoleRunLeavesNoTemporaryFile) {
    FaultyApplication application;
    TempFolder home("interrupted-home");
    EnvVar fault("ZENKARI_WORKER_FAULT", "hang:3");  // waits inside dir/data.bin, its file begun
    EnvVar home_variable("HOME", home.Path().c_str());
    EnvVar no_display("DISPLAY", nullptr);
    EnvVar no_wayland("WAYLAND_DISPLAY", nullptr);
    auto zenkari = platform::ChildProcess::Start((application.Bin() / "zenkari").string(), {(kData / "tree.tar").string()});
    ASSERT_TRUE(zenkari);
    const fs::path destination = home.Path() / "Desktop" / "tree";
    // Bounded waits for what the processes do, never for a time. Only the
    // file begun in dir/ counts: hello.txt's is there for a moment before.
    for (int i = 0; i < 2000 && Leftovers(destination / "dir").empty(); ++i) usleep(5000);
    ASSERT_EQ(Leftovers(destination / "dir").size(), 1u) << "the worker never began dir/data.bin";
    kill(zenkari->Pid(), GetParam());
    auto ended = zenkari->Wait(10'000);
    ASSERT_TRUE(ended);
    EXPECT_FALSE(ended->exited);
    for (int i = 0; i < 2000 && !Leftovers(destination).empty(); ++i) usleep(5000);
    EXPECT_EQ(Leftovers(destination), std::vector<fs::path>{});
    EXPECT_TRUE(fs::exists(destination / "hello.txt"));
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptTest, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& info) { return std::string("SIG") + sigabbrev_np(info.param); });

}  // namespace
