// Damaged variants of every good fixture, run through each module that reads
// it: truncated at many points and with bytes overwritten. No run may crash,
// hang, answer something that is not an archiver result, or write outside.
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "archive_fuzz.h"

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

TEST_P(ReplayTest, DamagedVariantsFailCleanly) {
    const std::string good = ReadBytes(std::filesystem::path(KELVORA_FIXTURE_DIR) / GetParam().name);
    ASSERT_FALSE(good.empty());
    auto run = [&](const std::string& bytes, const std::string& what) {
        std::string problems =
            RunArchiveOperations(GetParam().kind, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        EXPECT_EQ(problems, "") << GetParam().name << " " << what;
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
