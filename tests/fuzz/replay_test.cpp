// Damaged variants of every good fixture, run through each module that reads
// it: truncated at many points and with bytes overwritten. No run may crash,
// hang, answer something that is not an archiver result, or write outside.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "archive_fuzz.h"
#include "temp_folder.h"

namespace {

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Fixture {
    const char* name;
    int kind;
};

class ReplayTest : public ::testing::TestWithParam<Fixture> {};

// Cut and damaged variants of `good`, each through every operation of the
// module of `kind`: every answer an archiver result, no crash, no escape.
void ReplayDamage(const std::string& good, int kind, const std::string& name) {
    ASSERT_FALSE(good.empty()) << name;
    auto run = [&](const std::string& bytes, const std::string& what) {
        std::string problems = RunArchiveOperations(kind, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        EXPECT_EQ(problems, "") << name << " " << what;
    };
    constexpr size_t kVariants = 24;
    for (size_t i = 0; i < kVariants; ++i) {
        size_t at = good.size() * i / kVariants;
        run(good.substr(0, at), "cut at " + std::to_string(at));
        for (char value : {'\x00', '\xFF'}) {
            std::string damaged = good;
            size_t position = (at + 7 * i) % good.size();
            damaged[position] = value;
            damaged[(position + 1) % good.size()] ^= 0x55;
            run(damaged, "bytes at " + std::to_string(position));
        }
    }
}

TEST_P(ReplayTest, DamagedVariantsFailCleanly) {
    ReplayDamage(ReadBytes(std::filesystem::path(KELVORA_FIXTURE_DIR) / GetParam().name), GetParam().kind,
                 GetParam().name);
}

// ARJ archives come from the arj tool (Debian package arj) at test time: its
// archives carry the time they were made, so none is kept as a fixture.
TEST(ReplayArj, DamagedVariantsFailCleanly) {
    ASSERT_EQ(std::system("command -v arj >/dev/null"), 0) << "the arj tool is missing: Debian package arj";
    TempFolder folder("replay-arj");
    const std::filesystem::path tree = std::filesystem::path(KELVORA_FIXTURE_DIR) / "tree";
    for (const char* method : {"1", "4"}) {
        const std::filesystem::path archive = folder.Path() / (std::string("m") + method + ".arj");
        const std::string make = "cd '" + tree.string() + "' && arj a -r -m" + method + " '" + archive.string() +
                                 "' '*' >/dev/null";
        ASSERT_EQ(std::system(make.c_str()), 0) << make;
        ReplayDamage(ReadBytes(archive), 5, archive.filename().string());
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ReplayTest,
                         ::testing::Values(Fixture{"tree.lzh", 0}, Fixture{"tree_h0.lzh", 0},
                                           Fixture{"tree_h3.lzh", 0}, Fixture{"sfx_lzh.exe", 0},
                                           Fixture{"tree.zip", 1}, Fixture{"sfx_zip.exe", 1},
                                           Fixture{"tree.cab", 2}, Fixture{"tree.tar", 3},
                                           Fixture{"tree.tar.gz", 3}, Fixture{"tree.tar.bz2", 3},
                                           Fixture{"tree.tar.xz", 3}, Fixture{"tree.tar.zst", 3},
                                           Fixture{"tree.cpio.Z", 3}, Fixture{"tree.rpm", 3},
                                           Fixture{"flat.a", 3}, Fixture{"tree.rar", 4}, Fixture{"tree5.rar", 4}),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

}  // namespace
