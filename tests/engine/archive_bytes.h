// Small archives built in a test: with libarchive's writer, or byte by byte
// where the damage must sit in a header field.
#ifndef KELVORA_TESTS_ARCHIVE_BYTES_H
#define KELVORA_TESTS_ARCHIVE_BYTES_H

#include <cstdint>
#include <string>
#include <vector>

namespace archive_bytes {

inline constexpr int64_t kTime = 1577934245;  // 2020-01-02 03:04:05 UTC

// One entry as libarchive's writer takes it. Entries of one cpio file share
// `inode` and `links`; `size` is the header's size when it is not data's.
struct Item {
    std::string path{};
    unsigned type = 0100000;  // AE_IFREG
    std::string data{};
    std::string hardlink{};
    std::string symlink{};
    int64_t inode = 0;
    unsigned links = 1;
    int64_t size = -1;
    unsigned perm = 0;  // 0: 0755 for a folder, 0644 for anything else
    // A sparse file: the data regions (offset, length) of a file of `size`.
    std::vector<std::pair<int64_t, int64_t>> regions{};
};

// `format` by libarchive's name: "newc", "pax", "ustar", "zip", ...; with
// libarchive's writer `options` ("zip:encryption=aes256") and `password`.
std::string Write(const std::string& format, const std::vector<Item>& items, const std::string& options = {},
                  const std::string& password = {});

// `tar` (libarchive's "pax" output) with the regular file `name` turned into
// a hard link to `target` that keeps its data, after a pax header: what
// libarchive's writer never makes but pax allows.
std::string LinkKeepingData(std::string tar, const std::string& name, const std::string& target);

// newc turned into the "crc" variant: other magic, a sum of each file's bytes.
std::string NewcToCrc(std::string newc);

// An LZH archive of one stored (-lh0-) entry with a level 0 header: `data`
// as stored, with its CRC-16, and `original` as the size the header claims.
std::string LzhLevel0(const std::string& name, const std::string& data, uint32_t original);

// A BSD ar archive of (name, data) members; names over 15 bytes as "#1/N".
std::string BsdAr(const std::vector<std::pair<std::string, std::string>>& members);

}  // namespace archive_bytes

#endif
