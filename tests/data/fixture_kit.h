// Helpers shared by the fixture generator: file trees, byte buffers,
// checksums, libarchive output and running Debian tools.
#pragma once

#include <clocale>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace fixtures {

namespace fs = std::filesystem;

// Every entry of every fixture carries this time: 2020-01-02 03:04:05 UTC.
constexpr std::int64_t kMtime = 1577934245;

// Archive contents are handled as plain byte strings.
using Bytes = std::string;

enum class Kind { File, Directory, Symlink, Hardlink };

// One entry of a file tree. `body` is a file's contents or a link's target
// (for a hard link: the path of the entry it links to).
struct Item {
    std::string path;
    Kind kind = Kind::File;
    std::string body;
};
using Layout = std::vector<Item>;

// 0644 for files, 0755 for directories, 0777 for symbolic links.
unsigned PermissionsOf(Kind kind);

// Throws std::runtime_error with `message` unless `condition` holds.
void Require(bool condition, const std::string& message);

Bytes ReadFile(const fs::path& path);
void WriteFile(const fs::path& path, std::string_view data);

// Creates the items under `root` with their permissions and kMtime.
void Materialize(const fs::path& root, const Layout& layout);

// Plain CRC-32 (zlib, gzip, ZIP, RAR) and one raw table step of it.
std::uint32_t Crc32(std::string_view data, std::uint32_t crc = 0);
std::uint32_t Crc32Step(std::uint32_t crc, unsigned char byte);
// The CRC-16 of LZH archives (reflected polynomial 0xA001, start 0).
std::uint16_t Crc16(std::string_view data);

void PutLe16(Bytes& out, std::uint32_t value);
void PutLe32(Bytes& out, std::uint32_t value);
void PutBe16(Bytes& out, std::uint32_t value);
void PutBe32(Bytes& out, std::uint32_t value);
std::uint32_t Le16(const Bytes& data, std::size_t at);
std::uint32_t Le32(const Bytes& data, std::size_t at);
void SetLe16(Bytes& data, std::size_t at, std::uint32_t value);
void SetLe32(Bytes& data, std::size_t at, std::uint32_t value);

// MS-DOS time of a Unix time taken as UTC: the date in the high word.
std::uint32_t DosDateTime(std::int64_t unixTime);

// Damage: the first `length` bytes; the bytes with the low bit of the one
// at `at` inverted.
Bytes Cut(const Bytes& data, std::size_t length);
Bytes Flip(Bytes data, std::size_t at);

// What libarchive should write, by libarchive's names: a format ("ustar",
// "zip", "newc", "argnu", "raw"), filters applied from the inside out
// ("gzip", "xz"), format or filter options, and a passphrase.
struct ArchiveFormat {
    std::string format;
    std::vector<std::string> filters;
    std::string options;
    std::string passphrase;
};

// Writes `layout` with libarchive: owner root (0/0), kMtime everywhere.
Bytes WriteArchive(const Layout& layout, const ArchiveFormat& format);

// Fails with the Debian package to install when `tool` is not on PATH.
void RequireTool(const std::string& tool, const std::string& debianPackage);

// Runs argv[0] from PATH in `workDir`, its standard output discarded.
// Throws when it cannot be started or does not exit with status 0.
void RunTool(const std::vector<std::string>& argv, const fs::path& workDir);

// Makes this thread use the C.UTF-8 locale until destroyed. libarchive
// takes the charset of names from the locale; the program runs in "C".
class Utf8Locale {
public:
    Utf8Locale();
    ~Utf8Locale();
    Utf8Locale(const Utf8Locale&) = delete;
    Utf8Locale& operator=(const Utf8Locale&) = delete;

private:
    locale_t utf8_;
    locale_t previous_;
};

// A private temporary folder, removed with everything in it.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

}  // namespace fixtures
