// GzipSource over hand-made gzip files: members one after another, what may
// follow the last one, and damage, each read with the file handed over in
// reads of many sizes, so that a read ends inside every header, body and
// trailer (the inflater must carry a member's end and the next one's start
// across reads).
#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "gzip_source.h"
#include "temp_folder.h"

namespace archivers {
namespace {

namespace fs = std::filesystem;

std::string Le32(uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
    return bytes;
}

std::string RawDeflate(const std::string& data) {
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, data.size()) + 16, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

uint32_t Crc(const std::string& data) {
    return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

struct Damage {
    uint32_t crc_xor = 0;
    uint32_t size_xor = 0;
    bool header_crc_wrong = false;
};

// One member. With `every_field` the header carries FEXTRA, FNAME, FCOMMENT
// and FHCRC, so that a read can end inside each of them.
std::string Member(const std::string& data, bool every_field = false, Damage damage = {}) {
    std::string header = std::string("\x1F\x8B\x08", 3) + static_cast<char>(every_field ? 0x1E : 0) +
                         std::string("\0\0\0\0\0\x03", 6);
    if (every_field) {
        header += std::string("\x05\0", 2) + "extra" + std::string("name.tar\0", 9) + std::string("a comment\0", 10);
        uint16_t crc16 = static_cast<uint16_t>(Crc(header) ^ (damage.header_crc_wrong ? 1 : 0));
        header += std::string{static_cast<char>(crc16), static_cast<char>(crc16 >> 8)};
    }
    return header + RawDeflate(data) + Le32(Crc(data) ^ damage.crc_xor) +
           Le32(static_cast<uint32_t>(data.size()) ^ damage.size_xor);
}

std::string Text(size_t size) {
    std::string text;
    for (size_t i = 0; text.size() < size; ++i) text += "line " + std::to_string(i * 7919 % 1000) + " of a tar\n";
    text.resize(size);
    return text;
}

std::string Random(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

struct Outcome {
    std::string data;
    std::string error;  // empty when every read succeeded
    int64_t bytes_read = 0;
};

Outcome ReadAll(const fs::path& file, size_t read_size) {
    GzipSource source(file.string(), read_size);
    Outcome outcome;
    EXPECT_TRUE(source.Opened());
    const void* block = nullptr;
    ssize_t n;
    while ((n = source.Read(&block)) > 0) outcome.data.append(static_cast<const char*>(block), n);
    if (n < 0) outcome.error = source.Error();
    outcome.bytes_read = source.BytesRead();
    return outcome;
}

struct Case {
    const char* name;
    std::string file;
    std::string data;   // what comes out when nothing is wrong
    const char* error;  // a word of the error, or null
};

class GzipSourceTest : public ::testing::TestWithParam<Case> {
protected:
    fs::path Write(const std::string& bytes) {
        fs::path path = work_.Path() / "a.tar.gz";
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    TempFolder work_{"gzip-source-test"};
};

// Every read size from 1 to 40 bytes puts a read's end at every offset of the
// small members' headers and trailers; the default size is read too.
TEST_P(GzipSourceTest, GivesTheSameOutcomeWhereverAReadEnds) {
    const Case& test = GetParam();
    const fs::path path = Write(test.file);
    std::vector<size_t> sizes{GzipSource::kReadSize};
    for (size_t size = 1; size <= 40; ++size) sizes.push_back(size);
    for (size_t size : sizes) {
        SCOPED_TRACE("read size " + std::to_string(size));
        Outcome outcome = ReadAll(path, size);
        if (test.error) {
            EXPECT_NE(outcome.error.find(test.error), std::string::npos) << outcome.error;
            continue;
        }
        ASSERT_EQ(outcome.error, "");
        EXPECT_TRUE(outcome.data == test.data) << outcome.data.size() << " bytes instead of " << test.data.size();
        EXPECT_LE(outcome.bytes_read, static_cast<int64_t>(test.file.size()));
    }
}

const std::string kFirst = Text(3000), kSecond = Random(700, 1), kThird = Text(50);
const std::string kThree = Member(kFirst) + Member(kSecond, true) + Member(kThird);

INSTANTIATE_TEST_SUITE_P(
    Members, GzipSourceTest,
    ::testing::Values(
        Case{"OneMember", Member(kFirst), kFirst, nullptr},
        Case{"ThreeMembersOneWithEveryHeaderField", kThree, kFirst + kSecond + kThird, nullptr},
        Case{"AnEmptyMemberBetweenTwo", Member(kFirst) + Member("") + Member(kThird), kFirst + kThird, nullptr},
        Case{"OnlyAnEmptyMember", Member(""), "", nullptr},
        // A member larger than a default read, stored blocks and all, then a small one.
        Case{"ALargeMemberThenASmallOne", Member(Random(300000, 2)) + Member(kThird), Random(300000, 2) + kThird,
             nullptr},
        // What follows the last member and is not a gzip signature is left unread.
        Case{"ZeroPaddingAfterTheLastMember", kThree + std::string(10240, '\0'), kFirst + kSecond + kThird, nullptr},
        Case{"GarbageAfterTheLastMember", kThree + "garbage\n", kFirst + kSecond + kThird, nullptr},
        Case{"OneStrayByteAfterTheLastMember", kThree + "\x1F", kFirst + kSecond + kThird, nullptr},
        // Damage in a later member is found as surely as in the first.
        Case{"SecondMembersCrcWrong", Member(kFirst) + Member(kSecond, false, {.crc_xor = 1}) + Member(kThird), "",
             "CRC"},
        Case{"SecondMembersLengthWrong", Member(kFirst) + Member(kSecond, false, {.size_xor = 0x100}), "", "CRC"},
        Case{"EmptyMembersCrcWrong", Member(kFirst) + Member("", false, {.crc_xor = 0x80000000}), "", "CRC"},
        Case{"SecondMembersHeaderCrcWrong", Member(kFirst) + Member(kSecond, true, {.header_crc_wrong = true}), "",
             "gzip data error"},
        Case{"SecondMembersReservedFlagSet",
             Member(kFirst) + std::string("\x1F\x8B\x08\x20\0\0\0\0\0\x03", 10) + RawDeflate(kThird) +
                 Le32(Crc(kThird)) + Le32(static_cast<uint32_t>(kThird.size())),
             "", "gzip data error"},
        Case{"SecondMembersBodyBroken",
             Member(kFirst) + std::string("\x1F\x8B\x08\0\0\0\0\0\0\x03\xFF\xFF\xFF\xFF", 14), "",
             "gzip data error"},
        // The file ends inside a member: in the body, in the trailer, in a later header.
        Case{"EndsInTheBody", Member(kFirst).substr(0, 200), "", "truncated"},
        Case{"EndsInTheTrailer", Member(kFirst).substr(0, Member(kFirst).size() - 3), "", "truncated"},
        Case{"EndsInTheSecondHeader", Member(kFirst) + Member(kSecond, true).substr(0, 15), "", "truncated"},
        Case{"EndsAfterTheSecondSignature", Member(kFirst) + "\x1F\x8B", "", "truncated"}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace archivers
