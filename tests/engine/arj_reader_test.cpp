// The ARJ reader against archives that the arj tool (Debian package arj)
// makes at test time: every method's data decoded back to the source files,
// and damaged, cut or garbled archives reported, never crashed on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <vector>

#include "arj_decoder.h"
#include "arj_reader.h"
#include "temp_folder.h"

namespace archivers::arj {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void Spill(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool HaveArj() { return std::system("command -v arj >/dev/null 2>&1") == 0; }

// Runs arj in `folder` with `arguments`; true when it succeeded.
bool Arj(const fs::path& folder, const std::string& arguments) {
    std::string command = "cd '" + folder.string() + "' && arj " + arguments + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

struct Read {
    Entry entry;
    Status status = Status::Ok;  // of ReadData
    std::string data;
};

// Every entry of `archive` with its data, and the status that ended the walk.
std::vector<Read> ReadAll(const fs::path& archive, Status& last) {
    std::vector<Read> out;
    Reader reader;
    last = reader.Open(archive.string());
    if (last != Status::Ok) return out;
    for (;;) {
        Read read;
        last = reader.Next(read.entry);
        if (last != Status::Ok) break;
        read.status = reader.ReadData([&](const char* data, size_t size) {
            read.data.append(data, size);
            return true;
        });
        out.push_back(std::move(read));
        if (out.size() > 1000) break;  // a walk that never ends
    }
    return out;
}

// The offset of `name`'s local header in `archive`, and its entry.
void Locate(const fs::path& archive, const std::string& name, uint64_t& header, Entry& found) {
    Reader reader;
    ASSERT_EQ(reader.Open(archive.string()), Status::Ok);
    Entry entry;
    std::string bytes = Slurp(archive);
    while (reader.Next(entry) == Status::Ok) {
        if (entry.raw_name != name) continue;
        found = entry;
        header = bytes.rfind("\x60\xEA", entry.data_offset);
        return;
    }
    FAIL() << name << " not found";
}

// Source files in a temporary folder, and archives of them made with arj.
class ArjTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(HaveArj()) << "the arj tool is missing: install the Debian package arj (scripts/setup.sh)";
        ASSERT_FALSE(temp_.Path().empty());
        src_ = temp_.Path() / "src";
        fs::create_directories(src_ / "sub" / "deeper");
        fs::create_directories(src_ / "empty folder");
        std::string text;
        for (int i = 0; text.size() < 1000000; ++i)
            text += "line " + std::to_string(i) + " of a rather repetitive text, " + std::to_string(i % 97) + "\n";
        std::string random(200000, '\0');
        std::mt19937 generator(7);
        for (char& c : random) c = static_cast<char>(generator());
        files_ = {
            {"big.txt", text},
            {"random.bin", random},
            {"empty", ""},
            {"sub/short.txt", "hello\n"},
            {"sub/deeper/notes.txt", "first line\r\nsecond line\r\n"},
            {"sub/deeper/one", "x"},
            {"\x83\x65\x83\x58\x83\x67.txt", "a name in Shift-JIS, kept as its bytes\n"},
        };
        for (const auto& [name, bytes] : files_) Spill(src_ / name, bytes);
    }

    // An archive of every source file and folder, made with `options`.
    fs::path Make(const std::string& name, const std::string& options) {
        fs::path archive = temp_.Path() / name;
        EXPECT_TRUE(Arj(src_, "a -y -r -a1 " + options + " '" + archive.string() + "' '*'")) << options;
        return archive;
    }

    fs::path Damaged(const std::string& bytes, const std::string& name) {
        fs::path out = temp_.Path() / name;
        Spill(out, bytes);
        return out;
    }

    TempFolder temp_{"kelvora-arj"};
    fs::path src_;
    std::map<std::string, std::string> files_;
};

// Every method gives back every file, byte for byte, with the right fields.
TEST_F(ArjTest, DecodesEveryMethodToTheSourceFiles) {
    for (int method = 0; method <= 4; ++method) {
        SCOPED_TRACE("method " + std::to_string(method));
        fs::path archive = Make("m" + std::to_string(method) + ".arj", "-m" + std::to_string(method));
        Status last;
        std::vector<Read> reads = ReadAll(archive, last);
        EXPECT_EQ(last, Status::End) << StatusName(last);
        std::map<std::string, std::string> got;
        std::vector<std::string> folders;
        for (const Read& read : reads) {
            SCOPED_TRACE(read.entry.raw_name);
            EXPECT_EQ(read.status, Status::Ok) << StatusName(read.status);
            EXPECT_EQ(read.entry.host_os, 2);  // made on Unix
            EXPECT_NE(read.entry.dos_time, 0u);
            if (read.entry.IsFolder()) {
                folders.push_back(read.entry.raw_name);
                continue;
            }
            // arj on Unix keeps the permission bits as they are.
            auto perms = fs::status(src_ / read.entry.raw_name).permissions();
            EXPECT_EQ(read.entry.file_mode & 0777, static_cast<unsigned>(perms) & 0777);
            EXPECT_EQ(read.entry.original_size, read.data.size());
            got[read.entry.raw_name] = read.data;
        }
        EXPECT_EQ(got, files_);
        std::sort(folders.begin(), folders.end());
        EXPECT_EQ(folders, (std::vector<std::string>{"empty folder", "sub", "sub/deeper"}));
        for (const Read& read : reads) {
            if (read.entry.raw_name != "big.txt") continue;
            EXPECT_EQ(read.entry.method, method);
            if (method > 0) {
                EXPECT_LT(read.entry.compressed_size, read.entry.original_size / 2);
            }
        }
    }
}

TEST_F(ArjTest, TextModeAndSelfExtractingArchives) {
    fs::path text = Make("text.arj", "-t1 -m1");
    Status last;
    std::vector<Read> reads = ReadAll(text, last);
    EXPECT_EQ(last, Status::End);
    int text_entries = 0;
    for (const Read& read : reads) {
        if (read.entry.IsFolder()) continue;
        EXPECT_EQ(read.status, Status::Ok) << read.entry.raw_name;
        EXPECT_EQ(read.data, files_[read.entry.raw_name]) << read.entry.raw_name;
        text_entries += read.entry.file_type == 1;
    }
    EXPECT_GT(text_entries, 0);

    // The main header follows a program here.
    fs::path sfx = temp_.Path() / "sfx.exe";
    ASSERT_TRUE(Arj(src_, "a -y -je -m2 '" + sfx.string() + "' sub/short.txt big.txt"));
    Reader reader;
    ASSERT_EQ(reader.Open(sfx.string()), Status::Ok);
    EXPECT_GT(reader.ArchiveOffset(), 1000u);
    std::map<std::string, std::string> got;
    Entry entry;
    while (reader.Next(entry) == Status::Ok) {
        std::string data;
        EXPECT_EQ(reader.ReadData([&](const char* p, size_t n) { return data.append(p, n), true; }), Status::Ok);
        got[entry.raw_name] = data;
    }
    EXPECT_EQ(got, (std::map<std::string, std::string>{{"big.txt", files_["big.txt"]},
                                                       {"sub/short.txt", files_["sub/short.txt"]}}));
}

TEST_F(ArjTest, SkippingAndStoppingLeaveTheNextEntryReadable) {
    fs::path archive = Make("skip.arj", "-m3");
    Reader reader;
    ASSERT_EQ(reader.Open(archive.string()), Status::Ok);
    Entry entry;
    int checked = 0;
    for (int i = 0; reader.Next(entry) == Status::Ok; ++i) {
        if (entry.IsFolder() || entry.original_size == 0) continue;
        if (i % 3 == 0) {
            EXPECT_EQ(reader.Skip(), Status::Ok);
        } else if (i % 3 == 1) {
            EXPECT_EQ(reader.ReadData([](const char*, size_t) { return false; }), Status::Cancelled);
        } else {
            std::string data;
            EXPECT_EQ(reader.ReadData([&](const char* p, size_t n) { return data.append(p, n), true; }), Status::Ok);
            EXPECT_EQ(data, files_[entry.raw_name]);
            ++checked;
        }
    }
    EXPECT_EQ(reader.Next(entry), Status::End);
    EXPECT_GT(checked, 0);
}

TEST_F(ArjTest, GarbledAndSplitEntriesAreUnsupportedAndPassedOver) {
    fs::path archive = Make("garbled.arj", "-gsecret -m1");
    Status last;
    std::vector<Read> reads = ReadAll(archive, last);
    EXPECT_EQ(last, Status::End);
    int garbled = 0;
    for (const Read& read : reads) {
        if (read.entry.IsFolder()) continue;
        EXPECT_TRUE(read.entry.IsGarbled()) << read.entry.raw_name;
        EXPECT_EQ(read.status, Status::Unsupported) << read.entry.raw_name;
        EXPECT_TRUE(read.data.empty());
        ++garbled;
    }
    EXPECT_EQ(garbled, static_cast<int>(files_.size()));

    // Volumes of 120 kB: random.bin goes on into the second.
    fs::path first = temp_.Path() / "split.arj";
    ASSERT_TRUE(Arj(src_, "a -y -v120k -m1 '" + first.string() + "' sub/short.txt random.bin"));
    for (const char* volume : {"split.arj", "split.a01"}) {
        SCOPED_TRACE(volume);
        reads = ReadAll(temp_.Path() / volume, last);
        EXPECT_EQ(last, Status::End);
        ASSERT_FALSE(reads.empty());
        for (const Read& read : reads) {
            if (read.entry.raw_name == "random.bin") {
                EXPECT_TRUE(read.entry.ContinuesInNextVolume() || read.entry.ContinuesFromLastVolume());
                EXPECT_EQ(read.status, Status::Unsupported);
            } else {
                EXPECT_EQ(read.status, Status::Ok);
                EXPECT_EQ(read.data, files_[read.entry.raw_name]);
            }
        }
    }
}

// The compressed data of big.txt, cut and damaged at random, straight into
// the decoder: code tables and distances that look almost right end in
// BadData or in exactly the size asked for, never more.
TEST_F(ArjTest, DamagedStreamsStayInBounds) {
    for (int method = 1; method <= 4; ++method) {
        SCOPED_TRACE("method " + std::to_string(method));
        fs::path archive = Make("s" + std::to_string(method) + ".arj", "-m" + std::to_string(method));
        uint64_t header = 0;
        Entry big;
        Locate(archive, "big.txt", header, big);
        std::string good = Slurp(archive).substr(big.data_offset, big.compressed_size);
        std::mt19937 generator(method);
        int broken = 0;
        for (int round = 0; round < 60; ++round) {
            std::string stream = good.substr(0, 200 + generator() % 20000);
            // Half the rounds hit the first block's code tables.
            size_t span = round % 2 ? 64 : stream.size();
            for (int i = 1 + round % 4; i > 0; --i) stream[generator() % span] ^= 1 << (generator() % 8);
            size_t at = 0;
            DecoderInput input = [&](unsigned char* buffer, size_t room) -> long {
                size_t n = std::min(room, stream.size() - at);
                std::copy_n(stream.data() + at, n, buffer);
                at += n;
                return static_cast<long>(n);
            };
            uint64_t produced = 0;
            DecodeResult result = Decode(method, big.original_size, input, [&](const unsigned char*, size_t n) {
                produced += n;
                return true;
            });
            EXPECT_LE(produced, big.original_size);
            if (result == DecodeResult::Ok) {
                EXPECT_EQ(produced, big.original_size);
            }
            broken += result == DecodeResult::BadData;
        }
        // Cut short, most of them run out of data or meet a bad table.
        EXPECT_GT(broken, 30);
    }
}

TEST_F(ArjTest, DamagedDataAndHeadersAreReported) {
    for (int method = 0; method <= 4; ++method) {
        SCOPED_TRACE("method " + std::to_string(method));
        fs::path archive = Make("d" + std::to_string(method) + ".arj", "-m" + std::to_string(method));
        std::string bytes = Slurp(archive);
        uint64_t header = 0;
        Entry big;
        Locate(archive, "big.txt", header, big);
        uint64_t data = big.data_offset;

        // A byte of the data flipped: at the start, in the middle, near the end.
        std::mt19937 generator(method);
        std::vector<uint64_t> flips = {data + 3, data + big.compressed_size / 2, data + big.compressed_size - 5};
        for (int i = 0; i < 6; ++i) flips.push_back(data + generator() % big.compressed_size);
        for (uint64_t at : flips) {
            std::string damaged = bytes;
            damaged[at] ^= 0x10;
            Status last;
            std::vector<Read> reads = ReadAll(Damaged(damaged, "flipped.arj"), last);
            EXPECT_EQ(last, Status::End);
            for (const Read& read : reads) {
                EXPECT_EQ(read.status, read.entry.raw_name == "big.txt" ? Status::Checksum : Status::Ok)
                    << read.entry.raw_name << " flipped at " << at - data;
            }
        }

        // A byte of big.txt's header flipped: its name, its size, its id.
        for (uint64_t at : {data - 12, header + 20, header + 1}) {
            std::string damaged = bytes;
            damaged[at] ^= 0x01;
            Status last;
            std::vector<Read> reads = ReadAll(Damaged(damaged, "header.arj"), last);
            EXPECT_EQ(last, Status::BrokenHeader) << "flipped at " << at - header;
            for (const Read& read : reads) EXPECT_NE(read.entry.raw_name, "big.txt");
        }
    }
}

// Cut anywhere, an archive reads up to the cut and says so.
TEST_F(ArjTest, TruncatedArchivesEndInTruncated) {
    for (int method : {0, 1, 4}) {
        fs::path archive = Make("t" + std::to_string(method) + ".arj", "-m" + std::to_string(method));
        std::string bytes = Slurp(archive);
        std::mt19937 generator(method);
        std::vector<size_t> cuts = {0, 1, 3, 4, 50, bytes.size() - 1, bytes.size() - 4};
        for (int i = 0; i < 40; ++i) cuts.push_back(generator() % bytes.size());
        for (size_t cut : cuts) {
            SCOPED_TRACE("method " + std::to_string(method) + " cut at " + std::to_string(cut));
            Status last;
            std::vector<Read> reads = ReadAll(Damaged(bytes.substr(0, cut), "cut.arj"), last);
            if (cut < 64) {
                EXPECT_TRUE(last == Status::NotArj || last == Status::Truncated) << StatusName(last);
                continue;
            }
            EXPECT_TRUE(last == Status::Truncated || last == Status::BrokenHeader) << StatusName(last);
            for (const Read& read : reads) {
                if (read.status == Status::Ok) {
                    EXPECT_EQ(read.data, files_.count(read.entry.raw_name) ? files_[read.entry.raw_name] : "");
                } else {
                    EXPECT_EQ(read.status, Status::Truncated);
                }
            }
        }
    }
}

TEST(ArjReader, NotAnArchive) {
    TempFolder temp("kelvora-arj");
    Reader reader;
    EXPECT_EQ(reader.Open((temp.Path() / "missing.arj").string()), Status::ReadError);
    Spill(temp.Path() / "plain.txt", std::string(5000, 'a') + "\x60\xEA" + std::string(3000, '\0'));
    EXPECT_EQ(reader.Open((temp.Path() / "plain.txt").string()), Status::NotArj);
    Entry entry;
    EXPECT_EQ(reader.Next(entry), Status::NotArj);
}

}  // namespace
}  // namespace archivers::arj
