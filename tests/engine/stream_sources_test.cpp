// Compressed tars read through ReadAhead: the ring handing a source's bytes
// over whole, in order, with its error last, and stopping when let go of
// while full; xz decoded on two threads and on one; and whole archives
// extracted through it, damaged ones with the codes libarchive's own
// readers gave them.
#include <gtest/gtest.h>
#include <archive.h>
#include <lzma.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "archive_bytes.h"
#include "cancel_at.h"
#include "file_source.h"
#include "operations.h"
#include "read_ahead.h"
#include "temp_folder.h"
#include "xz_source.h"

namespace archivers {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// --- ReadAhead over a made-up source -----------------------------------

// Bytes i % 251 in pieces of 1..`piece` bytes; -1 with `error` after
// `fail_at` bytes; endless when `total` is negative.
class CountingSource : public StreamSource {
public:
    struct Log {
        std::atomic<int64_t> given = 0;
        std::atomic<bool> destroyed = false;
        std::thread::id caller = std::this_thread::get_id();
        std::atomic<bool> elsewhere = false;  // read on another thread than the caller's
    };
    CountingSource(int64_t total, Log& log, int64_t fail_at = -1, size_t piece = 777,
                   std::chrono::microseconds pause = {})
        : total_(total), fail_at_(fail_at), piece_(piece), pause_(pause), log_(log) {}
    ~CountingSource() override { log_.destroyed = true; }

    ssize_t ReadInto(unsigned char* out, size_t size) override {
        if (std::this_thread::get_id() != log_.caller) log_.elsewhere = true;
        std::this_thread::sleep_for(pause_);
        if (fail_at_ >= 0 && at_ >= fail_at_) return -1;
        size_t n = std::min(size, 1 + static_cast<size_t>(random_() % piece_));
        if (total_ >= 0) n = std::min<int64_t>(n, total_ - at_);
        if (fail_at_ >= 0) n = std::min<int64_t>(n, fail_at_ - at_);
        for (size_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>((at_ + i) % 251);
        at_ += n;
        log_.given = at_;
        return static_cast<ssize_t>(n);
    }
    const std::string& Error() const override { return error_; }
    int ErrorNumber() const override { return 42; }
    int64_t BytesRead() const override { return at_ / 2; }  // as if it were compressed to half
    std::vector<int> Filters() const override { return {ARCHIVE_FILTER_XZ}; }

private:
    int64_t total_, fail_at_;
    size_t piece_;
    std::chrono::microseconds pause_;
    Log& log_;
    int64_t at_ = 0;
    std::string error_ = "made-up damage";
    std::minstd_rand random_{7};
};

// Everything Read hands over until it answers 0 or -1, checked for the
// counting pattern; `last` is that answer.
int64_t ReadAll(ReadAhead& ahead, ssize_t& last) {
    int64_t at = 0;
    const void* block = nullptr;
    while ((last = ahead.Read(&block)) > 0) {
        const auto* bytes = static_cast<const unsigned char*>(block);
        for (ssize_t i = 0; i < last; ++i)
            if (bytes[i] != (at + i) % 251) {
                ADD_FAILURE() << "byte " << at + i << " out of order";
                return at;
            }
        at += last;
    }
    return at;
}

TEST(ReadAhead, HandsOverEveryByteInOrderAndTheErrorInsteadOfItsBlock) {
    for (size_t block : {size_t{7}, size_t{1000}, size_t{4096}, ReadAhead::kBlockSize}) {
        SCOPED_TRACE(block);
        CountingSource::Log log;
        ReadAhead whole(std::make_unique<CountingSource>(300'000, log), block, 3);
        EXPECT_EQ(whole.Filters(), std::vector<int>{ARCHIVE_FILTER_XZ});
        ssize_t last = 1;
        EXPECT_EQ(ReadAll(whole, last), 300'000);
        EXPECT_EQ(last, 0);
        EXPECT_EQ(whole.BytesRead(), 150'000);
        EXPECT_TRUE(whole.Error().empty());
        const void* block_after = nullptr;
        EXPECT_EQ(whole.Read(&block_after), 0);  // and stays at the end

        // The failure replaces the block it happened in.
        ReadAhead broken(std::make_unique<CountingSource>(-1, log, 123'457), block, 3);
        const int64_t before = ReadAll(broken, last);
        EXPECT_LE(before, 123'457);
        EXPECT_GT(before, 123'457 - static_cast<int64_t>(block));
        EXPECT_EQ(last, -1);
        EXPECT_EQ(broken.Error(), "made-up damage");
        EXPECT_EQ(broken.ErrorNumber(), 42);
        EXPECT_EQ(broken.Read(&block_after), -1);
    }
}

// A source whose decoder runs out of memory once it has given `limit` bytes.
class StarvedSource : public CountingSource {
public:
    StarvedSource(int64_t limit, Log& log) : CountingSource(-1, log), limit_(limit), given_(log.given) {}
    ssize_t ReadInto(unsigned char* out, size_t size) override {
        if (given_ >= limit_) throw std::bad_alloc();
        return CountingSource::ReadInto(out, size);
    }

private:
    int64_t limit_;
    const std::atomic<int64_t>& given_;
};

// Memory that runs out while a block is made (the block itself, or the
// decoder's) fails the read, on the caller's thread and on the reading one.
TEST(ReadAhead, RunningOutOfMemoryIsAReadError) {
    for (int64_t limit : {int64_t{1000}, int64_t{3'000'000}}) {
        SCOPED_TRACE(limit);
        CountingSource::Log log;
        ReadAhead ahead(std::make_unique<StarvedSource>(limit, log), 4096, 3);
        ssize_t last = 1;
        EXPECT_LE(ReadAll(ahead, last), limit);
        EXPECT_EQ(last, -1);
        EXPECT_EQ(ahead.ErrorNumber(), ENOMEM);
        EXPECT_FALSE(ahead.Error().empty());
        EXPECT_EQ(log.elsewhere, limit > 100'000);
    }
}

// Telling what an archive is, or reading a small one, starts no thread.
TEST(ReadAhead, TheFirstBlocksAreMadeOnTheCallersThread) {
    const int64_t alone = (1 + 2 + 4) * static_cast<int64_t>(ReadAhead::kFirstBlock);  // kAlone blocks
    for (int64_t total : {int64_t{0}, int64_t{1000}, alone - 1, alone + 1, int64_t{8} << 20}) {
        SCOPED_TRACE(total);
        CountingSource::Log log;
        ReadAhead ahead(std::make_unique<CountingSource>(total, log));
        ssize_t last = -1;
        EXPECT_EQ(ReadAll(ahead, last), total);
        EXPECT_EQ(last, 0);
        EXPECT_EQ(log.elsewhere, total > alone);
    }
}

// Pieces small enough for the bar to move often, each moving BytesRead on.
TEST(ReadAhead, PiecesAreSmallAndBytesReadFollowsThem) {
    constexpr int64_t kTotal = 16 << 20;
    CountingSource::Log log;
    ReadAhead ahead(std::make_unique<CountingSource>(kTotal, log, -1, 1 << 20));
    int64_t pieces = 0, last_read = 0;
    const void* block = nullptr;
    for (ssize_t n; (n = ahead.Read(&block)) > 0; ++pieces) {
        EXPECT_LE(n, static_cast<ssize_t>(ReadAhead::kStep));
        EXPECT_GE(ahead.BytesRead(), last_read);
        last_read = ahead.BytesRead();
    }
    EXPECT_GE(pieces, kTotal / static_cast<int64_t>(ReadAhead::kStep));
    EXPECT_EQ(ahead.BytesRead(), kTotal / 2);
}

// The thread waits for room in a full ring, or is half-way through a block:
// letting go of the reader stops it there, and the source goes with it.
TEST(ReadAhead, LettingGoStopsTheThreadWhereverItIs) {
    constexpr size_t kBlock = 64 << 10, kBlocks = 3;
    for (int taken : {0, 1, 2}) {
        SCOPED_TRACE(taken);
        CountingSource::Log log;
        {
            ReadAhead ahead(std::make_unique<CountingSource>(-1, log), kBlock, kBlocks, 0);
            const void* block = nullptr;
            for (int i = 0; i < taken; ++i) ASSERT_GT(ahead.Read(&block), 0);
            const auto deadline = std::chrono::steady_clock::now() + 5s;
            // The ring fills (the first block is smaller: sizes are not counted on).
            while (log.given < static_cast<int64_t>((kBlocks - 1) * kBlock) && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(1ms);
            std::this_thread::sleep_for(20ms);
            EXPECT_LE(log.given, static_cast<int64_t>((kBlocks + taken) * kBlock));
        }
        EXPECT_TRUE(log.destroyed);
    }
    // A slow source in the middle of a block: stopped at its next step.
    CountingSource::Log log;
    {
        ReadAhead ahead(std::make_unique<CountingSource>(-1, log, -1, 100, 1ms), ReadAhead::kBlockSize, 4, 0);
        while (log.given == 0) std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(log.destroyed);
    EXPECT_LT(log.given, static_cast<int64_t>(ReadAhead::kFirstBlock));
}

// --- xz ----------------------------------------------------------------

std::string Sample(size_t size, uint32_t seed) {
    std::minstd_rand random(seed);
    const char* const words[] = {"block ", "stream ", "index ", "check ", "ring ", "tar ", "\n"};
    std::string text;
    while (text.size() < size) {
        if (random() % 50 == 0)
            for (int i = 0; i < 64; ++i) text += static_cast<char>(random());  // some that does not compress
        text += words[random() % 7];
    }
    text.resize(size);
    return text;
}

// One xz stream in blocks of `block_size` bytes, as xz -T makes them.
std::string Xz(const std::string& data, uint64_t block_size) {
    lzma_mt options{};
    options.threads = 2;
    options.block_size = block_size;
    options.preset = 1;
    options.check = LZMA_CHECK_CRC64;
    lzma_stream stream = LZMA_STREAM_INIT;
    EXPECT_EQ(lzma_stream_encoder_mt(&stream, &options), LZMA_OK);
    std::string out(lzma_stream_buffer_bound(data.size()), '\0');
    stream.next_in = reinterpret_cast<const uint8_t*>(data.data());
    stream.avail_in = data.size();
    stream.next_out = reinterpret_cast<uint8_t*>(out.data());
    stream.avail_out = out.size();
    EXPECT_EQ(lzma_code(&stream, LZMA_FINISH), LZMA_STREAM_END);
    out.resize(stream.total_out);
    lzma_end(&stream);
    return out;
}

class XzFiles : public ::testing::Test {
protected:
    std::string Save(const std::string& bytes) {
        const fs::path path = work_.Path() / ("file" + std::to_string(saved_++) + ".xz");
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    // What the source gives in reads of odd sizes; `last` its last answer.
    static std::string Decode(const std::string& path, uint32_t threads, ssize_t& last, std::string* error = nullptr) {
        XzSource xz(path, threads, 1000);
        EXPECT_TRUE(xz.Opened());
        std::string out;
        std::vector<unsigned char> buffer(70'001);
        while ((last = xz.ReadInto(buffer.data(), buffer.size())) > 0) out.append(buffer.begin(), buffer.begin() + last);
        if (error) *error = xz.Error();
        if (last == 0) {
            EXPECT_EQ(xz.BytesRead(), static_cast<int64_t>(fs::file_size(path)));
        }
        return out;
    }

    TempFolder work_{"xz-source-test"};
    int saved_ = 0;
};

TEST_F(XzFiles, BlocksAndConcatenatedStreamsDecodeAlikeOnTwoThreadsAndOne) {
    const std::string first = Sample(3 << 20, 1), second = Sample(700'000, 2);
    const std::string path = Save(Xz(first, 256 << 10) + std::string(8, '\0') + Xz(second, 1 << 20) + Xz("", 1 << 20));
    EXPECT_TRUE(XzSource::IsXz(ReadHead(path, 6)));
    for (uint32_t threads : {1u, 2u}) {
        ssize_t last = -1;
        EXPECT_TRUE(Decode(path, threads, last) == first + second) << threads;
        EXPECT_EQ(last, 0);
    }
}

// Damage in the third of four blocks: the first two come out whole (what
// the damaged one gives before its check fails is garbage); then the error,
// in libarchive's words, as a file cut short ends too.
TEST_F(XzFiles, DamageComesAfterTheBlocksBeforeItInLibarchivesWords) {
    const std::string data = Sample(4 << 20, 3);
    const std::string xz = Xz(data, 1 << 20);
    std::string damaged = xz;
    damaged[damaged.size() * 5 / 8] ^= 0x55;
    const std::string cut = xz.substr(0, xz.size() - 30);
    for (uint32_t threads : {1u, 2u}) {
        SCOPED_TRACE(threads);
        ssize_t last = 0;
        std::string error;
        std::string out = Decode(Save(damaged), threads, last, &error);
        EXPECT_EQ(last, -1);
        EXPECT_EQ(error, "Lzma library error: Corrupted input data");
        ASSERT_GE(out.size(), size_t{2} << 20);
        EXPECT_TRUE(out.compare(0, 2 << 20, data, 0, 2 << 20) == 0);

        out = Decode(Save(cut), threads, last, &error);
        EXPECT_EQ(last, -1);
        EXPECT_EQ(error, "Lzma library error:  No progress is possible");
        EXPECT_TRUE(data.starts_with(out));
    }
    EXPECT_FALSE(XzSource::IsXz(ReadHead(Save("\xFD" "7zXY" + xz.substr(5)), 6)));
}

// --- Whole archives ------------------------------------------------------

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

la_ssize_t Append(archive*, void* out, const void* buffer, size_t length) {
    static_cast<std::string*>(out)->append(static_cast<const char*>(buffer), length);
    return static_cast<la_ssize_t>(length);
}

// `data` compressed by libarchive's writer as one raw file.
std::string Compressed(int filter, const std::string& data) {
    archive* a = archive_write_new();
    archive_write_add_filter(a, filter);
    archive_write_set_format_raw(a);
    archive_write_set_bytes_in_last_block(a, 1);
    std::string out;
    archive_write_open(a, &out, nullptr, &Append, nullptr);
    archive_entry* entry = archive_entry_new();
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_write_header(a, entry);
    archive_write_data(a, data.data(), data.size());
    archive_entry_free(entry);
    archive_write_free(a);
    return out;
}

class CompressedTars : public ::testing::Test {
protected:
    CompressedTars() {
        for (int i = 0; i < 6; ++i) items_.push_back({.path = "f" + std::to_string(i), .data = Sample(700'000, 10 + i)});
        tar_ = archive_bytes::Write("pax", items_);
    }
    std::string Save(const std::string& bytes, const std::string& name) {
        const fs::path path = work_.Path() / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    int32_t ExtractAll(const std::string& archive, Progress& progress) {
        fs::remove_all(Out());
        Command command{.action = Action::Extract, .quiet = true, .archive = archive,
                        .destination = Out().string() + "/", .patterns = {"*.*"}};
        return Extract(Kind::Tar, command, progress);
    }
    int32_t ExtractAll(const std::string& archive) {
        NoProgress quiet;
        return ExtractAll(archive, quiet);
    }
    fs::path Out() const { return work_.Path() / "out"; }

    TempFolder work_{"compressed-tar-test"};
    std::vector<archive_bytes::Item> items_;
    std::string tar_;
};

TEST_F(CompressedTars, EveryCompressionComesOutWhole) {
    const std::pair<std::string, std::string> files[] = {
        {"a.tar.xz", Xz(tar_, 512 << 10)},
        {"a.tar.zst", Compressed(ARCHIVE_FILTER_ZSTD, tar_)},
        {"a.tar.bz2", Compressed(ARCHIVE_FILTER_BZIP2, tar_)},
        {"a.tar.gz", Compressed(ARCHIVE_FILTER_GZIP, tar_)},
        {"a.tar.xz.gz", Compressed(ARCHIVE_FILTER_GZIP, Xz(tar_, 1 << 20))},
    };
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        const std::string path = Save(bytes, name);
        ASSERT_EQ(ExtractAll(path), result::kOk);
        for (const auto& item : items_) EXPECT_TRUE(ReadFile(Out() / item.path) == item.data) << item.path;
        NoProgress quiet;
        EXPECT_EQ(archivers::Test(Kind::Tar, path, quiet), result::kOk);
    }
    EXPECT_EQ(TarArchiveType(Save(Xz(tar_, 1 << 20), "t.tar.xz").c_str()), 8);
    EXPECT_EQ(TarArchiveType(Save(Compressed(ARCHIVE_FILTER_ZSTD, tar_), "t.tar.zst").c_str()), 10);
    EXPECT_EQ(TarArchiveType(Save(Compressed(ARCHIVE_FILTER_BZIP2, tar_), "t.tar.bz2").c_str()), 6);
    // A tar whose first name merely starts like a bzip2 stream is a plain tar.
    const std::string bz_named = archive_bytes::Write("ustar", {{.path = "BZh9-notes", .data = "text"}});
    EXPECT_EQ(TarArchiveType(Save(bz_named, "plain.tar").c_str()), 1);
}

// Cut short or damaged half-way, each compression fails as it did when
// libarchive undid it under the tar reader. (libarchive writes zstd without
// a checksum: damage there may go unseen.)
TEST_F(CompressedTars, DamageGivesTheCodesItGaveBefore) {
    const std::string xz = Xz(tar_, 512 << 10), zst = Compressed(ARCHIVE_FILTER_ZSTD, tar_),
                      bz2 = Compressed(ARCHIVE_FILTER_BZIP2, tar_);
    for (const auto& [name, bytes] : {std::pair{"a.tar.xz", xz}, {"a.tar.zst", zst}, {"a.tar.bz2", bz2}}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ExtractAll(Save(bytes.substr(0, bytes.size() / 2), name)), result::kReadArchive);
        EXPECT_EQ(ExtractAll(Save(bytes.substr(0, bytes.size() - 10), name)), result::kReadArchive);
        EXPECT_TRUE(fs::exists(Out() / "f1"));  // what came well before the cut
        if (name == std::string("a.tar.zst")) continue;
        std::string damaged = bytes;
        damaged[damaged.size() / 2] ^= 0x55;
        EXPECT_EQ(ExtractAll(Save(damaged, name)), result::kReadArchive);
    }
}

// Cancelled at the third entry, while the thread waits for room in a full
// ring: the extraction ends at once, and later entries are never made.
TEST_F(CompressedTars, ACancelEndsTheExtractionWhileTheRingIsFull) {
    for (const auto& [name, bytes] : {std::pair{"c.tar.xz", Xz(tar_, 1 << 20)},
                                      {"c.tar.zst", Compressed(ARCHIVE_FILTER_ZSTD, tar_)}}) {
        SCOPED_TRACE(name);
        CancelAt cancel("f2");
        EXPECT_EQ(ExtractAll(Save(bytes, name), cancel), result::kCancelled);
        EXPECT_TRUE(fs::exists(Out() / "f1"));
        EXPECT_FALSE(fs::exists(Out() / "f3"));
    }
}

}  // namespace
}  // namespace archivers
