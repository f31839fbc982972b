#include "fixture_kit.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

extern char** environ;

// libarchive's ISO 9660 writer dates the volume, and its XAR writer the
// table of contents, with time(); this definition in the generator takes the
// place of the C library's for libarchive too, so those dates are kMtime.
extern "C" time_t time(time_t* now) noexcept {
    if (now) *now = static_cast<time_t>(fixtures::kMtime);
    return static_cast<time_t>(fixtures::kMtime);
}

namespace fixtures {

unsigned PermissionsOf(Kind kind) {
    switch (kind) {
    case Kind::Directory: return 0755;
    case Kind::Symlink: return 0777;
    default: return 0644;
    }
}

void Require(bool condition, const std::string& message) {
    if (!condition) throw std::runtime_error(message);
}

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    Require(in.good(), "cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, std::string_view data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.close();
    Require(out.good(), "cannot write " + path.string());
}

namespace {

void SetTimeAndMode(const fs::path& path, Kind kind) {
    if (kind != Kind::Symlink)
        fs::permissions(path, static_cast<fs::perms>(PermissionsOf(kind)));
    const timespec times[2] = {{kMtime, 0}, {kMtime, 0}};
    Require(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0,
            "cannot set the time of " + path.string());
}

}  // namespace

void Materialize(const fs::path& root, const Layout& layout) {
    fs::create_directories(root);
    for (const Item& item : layout) {
        const fs::path path = root / item.path;
        switch (item.kind) {
        case Kind::File: WriteFile(path, item.body); break;
        case Kind::Directory: fs::create_directories(path); break;
        case Kind::Symlink: fs::create_symlink(item.body, path); break;
        case Kind::Hardlink: fs::create_hard_link(root / item.body, path); break;
        }
    }
    // Times last: creating an entry changes its folder's time.
    for (const Item& item : layout) SetTimeAndMode(root / item.path, item.kind);
    SetTimeAndMode(root, Kind::Directory);
}

namespace {

std::array<std::uint32_t, 256> MakeCrcTable(std::uint32_t polynomial) {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ polynomial : c >> 1;
        table[i] = c;
    }
    return table;
}

const std::array<std::uint32_t, 256> kCrc32Table = MakeCrcTable(0xEDB88320u);
const std::array<std::uint32_t, 256> kCrc16Table = MakeCrcTable(0xA001u);

}  // namespace

std::uint32_t Crc32Step(std::uint32_t crc, unsigned char byte) {
    return kCrc32Table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

std::uint32_t Crc32(std::string_view data, std::uint32_t crc) {
    crc = ~crc;
    for (unsigned char c : data) crc = Crc32Step(crc, c);
    return ~crc;
}

std::uint16_t Crc16(std::string_view data) {
    std::uint32_t crc = 0;
    for (unsigned char c : data) crc = kCrc16Table[(crc ^ c) & 0xFF] ^ (crc >> 8);
    return static_cast<std::uint16_t>(crc);
}

void PutLe16(Bytes& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void PutLe32(Bytes& out, std::uint32_t value) {
    PutLe16(out, value & 0xFFFF);
    PutLe16(out, value >> 16);
}

void PutBe16(Bytes& out, std::uint32_t value) {
    out += static_cast<char>((value >> 8) & 0xFF);
    out += static_cast<char>(value & 0xFF);
}

void PutBe32(Bytes& out, std::uint32_t value) {
    PutBe16(out, value >> 16);
    PutBe16(out, value & 0xFFFF);
}

std::uint32_t Le16(const Bytes& data, std::size_t at) {
    Require(at + 2 <= data.size(), "read past the end of an archive");
    return static_cast<unsigned char>(data[at]) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 1])) << 8;
}

std::uint32_t Le32(const Bytes& data, std::size_t at) {
    return Le16(data, at) | Le16(data, at + 2) << 16;
}

void SetLe16(Bytes& data, std::size_t at, std::uint32_t value) {
    Bytes field;
    PutLe16(field, value);
    data.replace(at, 2, field);
}

void SetLe32(Bytes& data, std::size_t at, std::uint32_t value) {
    Bytes field;
    PutLe32(field, value);
    data.replace(at, 4, field);
}

std::uint32_t DosDateTime(std::int64_t unixTime) {
    const std::time_t t = static_cast<std::time_t>(unixTime);
    std::tm tm{};
    gmtime_r(&t, &tm);
    const std::uint32_t date = static_cast<std::uint32_t>(
        (tm.tm_year - 80) << 9 | (tm.tm_mon + 1) << 5 | tm.tm_mday);
    const std::uint32_t time = static_cast<std::uint32_t>(
        tm.tm_hour << 11 | tm.tm_min << 5 | tm.tm_sec / 2);
    return date << 16 | time;
}

Bytes Cut(const Bytes& data, std::size_t length) {
    Require(length < data.size(), "cut point past the end");
    return data.substr(0, length);
}

Bytes Flip(Bytes data, std::size_t at) {
    Require(at < data.size(), "flip point past the end");
    data[at] = static_cast<char>(data[at] ^ 1);
    return data;
}

namespace {

using WriteHandle = std::unique_ptr<archive, decltype(&archive_write_free)>;
using EntryHandle = std::unique_ptr<archive_entry, decltype(&archive_entry_free)>;

void Check(archive* a, int status, const char* what) {
    if (status != ARCHIVE_OK) {
        const char* error = archive_error_string(a);
        throw std::runtime_error(std::string("libarchive: ") + what + ": " +
                                 (error ? error : "unknown error"));
    }
}

la_ssize_t AppendToBytes(archive*, void* client, const void* buffer, size_t length) {
    static_cast<Bytes*>(client)->append(static_cast<const char*>(buffer), length);
    return static_cast<la_ssize_t>(length);
}

EntryHandle MakeEntry(const Item& item, la_int64_t inode) {
    EntryHandle entry(archive_entry_new(), archive_entry_free);
    archive_entry* e = entry.get();
    archive_entry_copy_pathname(e, item.path.c_str());
    archive_entry_set_mtime(e, kMtime, 0);
    archive_entry_set_uid(e, 0);
    archive_entry_set_gid(e, 0);
    archive_entry_copy_uname(e, "root");
    archive_entry_copy_gname(e, "root");
    archive_entry_set_ino(e, inode);
    archive_entry_set_nlink(e, item.kind == Kind::Directory ? 2 : 1);
    archive_entry_set_perm(e, PermissionsOf(item.kind));
    archive_entry_set_size(e, 0);
    switch (item.kind) {
    case Kind::File:
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_size(e, static_cast<la_int64_t>(item.body.size()));
        break;
    case Kind::Directory:
        archive_entry_set_filetype(e, AE_IFDIR);
        break;
    case Kind::Symlink:
        archive_entry_set_filetype(e, AE_IFLNK);
        archive_entry_copy_symlink(e, item.body.c_str());
        break;
    case Kind::Hardlink:
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_copy_hardlink(e, item.body.c_str());
        break;
    }
    return entry;
}

}  // namespace

Bytes WriteArchive(const Layout& layout, const ArchiveFormat& format) {
    Bytes out;
    WriteHandle handle(archive_write_new(), archive_write_free);
    archive* a = handle.get();
    Require(a != nullptr, "libarchive: out of memory");
    Check(a, archive_write_set_format_by_name(a, format.format.c_str()), "format");
    std::string options = format.options;
    for (const std::string& filter : format.filters) {
        Check(a, archive_write_add_filter_by_name(a, filter.c_str()), "filter");
        // Without this, gzip stores the current time in its header.
        if (filter == "gzip")
            options += std::string(options.empty() ? "" : ",") + "gzip:!timestamp";
    }
    if (!options.empty()) Check(a, archive_write_set_options(a, options.c_str()), "options");
    if (!format.passphrase.empty())
        Check(a, archive_write_set_passphrase(a, format.passphrase.c_str()), "passphrase");
    // No padding of the last block: the file ends where the archive ends.
    Check(a, archive_write_set_bytes_in_last_block(a, 1), "block size");
    Check(a, archive_write_open(a, &out, nullptr, AppendToBytes, nullptr), "open");

    la_int64_t inode = 0;
    for (const Item& item : layout) {
        EntryHandle entry = MakeEntry(item, ++inode);
        Check(a, archive_write_header(a, entry.get()), item.path.c_str());
        if (item.kind == Kind::File && !item.body.empty()) {
            const la_ssize_t written = archive_write_data(a, item.body.data(), item.body.size());
            Require(written == static_cast<la_ssize_t>(item.body.size()),
                    "libarchive: short write of " + item.path);
        }
    }
    Check(a, archive_write_close(a), "close");
    return out;
}

void RequireTool(const std::string& tool, const std::string& debianPackage) {
    const char* path = std::getenv("PATH");
    std::string_view folders = path ? path : "/usr/bin:/bin";
    while (!folders.empty()) {
        const std::size_t colon = folders.find(':');
        const std::string folder(folders.substr(0, colon));
        if (!folder.empty() && access((fs::path(folder) / tool).c_str(), X_OK) == 0) return;
        folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
    }
    throw std::runtime_error("the tool '" + tool + "' is missing: install the Debian package " +
                             debianPackage);
}

namespace {

class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

}  // namespace

void RunTool(const std::vector<std::string>& argv, const fs::path& workDir) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    SpawnActions actions;
    posix_spawn_file_actions_addchdir_np(actions.get(), workDir.c_str());
    posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, args[0], actions.get(), nullptr, args.data(), environ);
    Require(error == 0, "cannot start " + argv[0] + ": " + std::strerror(error));

    int status = 0;
    Require(waitpid(pid, &status, 0) == pid, "lost track of " + argv[0]);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
    std::string command;
    for (const std::string& arg : argv) command += (command.empty() ? "" : " ") + arg;
    const std::string how = WIFEXITED(status)
                                ? "exited with status " + std::to_string(WEXITSTATUS(status))
                                : "was killed by signal " + std::to_string(WTERMSIG(status));
    throw std::runtime_error("'" + command + "' " + how + " in " + workDir.string());
}

Utf8Locale::Utf8Locale() : utf8_(newlocale(LC_ALL_MASK, "C.UTF-8", locale_t{})) {
    Require(utf8_ != locale_t{}, "the locale C.UTF-8 is missing");
    previous_ = uselocale(utf8_);
}

Utf8Locale::~Utf8Locale() {
    uselocale(previous_);
    freelocale(utf8_);
}

ScratchDir::ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "kelvora-fixtures-XXXXXX").string();
    Require(mkdtemp(pattern.data()) != nullptr, "cannot create a temporary folder");
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

}  // namespace fixtures
