#include "archive_bytes.h"

#include <archive.h>
#include <archive_entry.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace archive_bytes {
namespace {

la_ssize_t Append(archive*, void* out, const void* buffer, size_t length) {
    static_cast<std::string*>(out)->append(static_cast<const char*>(buffer), length);
    return static_cast<la_ssize_t>(length);
}

void Check(archive* a, int status, const std::string& what) {
    if (status >= ARCHIVE_WARN) return;
    const char* error = archive_error_string(a);
    throw std::runtime_error(what + ": " + (error ? error : "?"));
}

using Entry = std::unique_ptr<archive_entry, decltype(&archive_entry_free)>;

Entry MakeEntry(const Item& item, int64_t inode) {
    Entry entry(archive_entry_new(), archive_entry_free);
    archive_entry* e = entry.get();
    archive_entry_copy_pathname(e, item.path.c_str());
    archive_entry_set_filetype(e, item.type);
    archive_entry_set_perm(e, item.perm ? item.perm : item.type == AE_IFDIR ? 0755 : 0644);
    archive_entry_set_mtime(e, kTime, 0);
    archive_entry_set_ino(e, item.inode ? item.inode : inode);
    archive_entry_set_nlink(e, item.links);
    const bool file = item.type == AE_IFREG;
    archive_entry_set_size(e, item.size >= 0 ? item.size : file ? static_cast<int64_t>(item.data.size()) : 0);
    if (!item.hardlink.empty()) archive_entry_copy_hardlink(e, item.hardlink.c_str());
    if (!item.symlink.empty()) archive_entry_copy_symlink(e, item.symlink.c_str());
    for (auto [offset, length] : item.regions) archive_entry_sparse_add_entry(e, offset, length);
    return entry;
}

void PutLe(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint16_t Crc16(const std::string& data) {
    uint32_t crc = 0;
    for (unsigned char c : data) {
        crc ^= c;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return static_cast<uint16_t>(crc);
}

std::string Field(const std::string& text, size_t width) {
    std::string field = text.substr(0, width);
    field.resize(width, ' ');
    return field;
}

// A ustar header's checksum: the sum of its bytes, the field counted as blanks.
void SetTarChecksum(std::string& tar, size_t header) {
    tar.replace(header + 148, 8, 8, ' ');
    unsigned sum = 0;
    for (size_t i = 0; i < 512; ++i) sum += static_cast<unsigned char>(tar[header + i]);
    char field[8];
    std::snprintf(field, sizeof field, "%06o", sum);
    tar.replace(header + 148, 8, std::string(field, 7) + ' ');
}

// A pax record is "LENGTH key=value\n", LENGTH counting itself.
std::string PaxRecord(const std::string& key, const std::string& value) {
    const std::string rest = " " + key + "=" + value + "\n";
    size_t length = rest.size() + 1;
    while (std::to_string(length).size() + rest.size() != length) ++length;
    return std::to_string(length) + rest;
}

}  // namespace

std::string LinkKeepingData(std::string tar, const std::string& name, const std::string& target) {
    size_t header = 0;
    while (header < tar.size() && tar.compare(header, name.size() + 1, name.c_str(), name.size() + 1) != 0)
        header += 512;
    if (header >= tar.size()) throw std::runtime_error("no header of " + name);
    tar[header + 156] = '1';
    tar.replace(header + 157, target.size(), target);
    SetTarChecksum(tar, header);

    const std::string records = PaxRecord("linkpath", target);
    std::string pax = tar.substr(header, 512);
    pax.replace(0, 100, 100, '\0');
    pax.replace(0, 10, "PaxHeader/");
    pax.replace(10, name.size(), name);
    pax.replace(157, 100, 100, '\0');
    char size[12];
    std::snprintf(size, sizeof size, "%011o", static_cast<unsigned>(records.size()));
    pax.replace(124, 12, std::string(size, 11) + ' ');
    pax[156] = 'x';
    SetTarChecksum(pax, 0);
    std::string block = records;
    block.resize((records.size() + 511) / 512 * 512, '\0');
    return tar.insert(header, pax + block);
}

std::string Write(const std::string& format, const std::vector<Item>& items, const std::string& options,
                  const std::string& password) {
    std::string out;
    std::unique_ptr<archive, decltype(&archive_write_free)> handle(archive_write_new(), archive_write_free);
    archive* a = handle.get();
    Check(a, archive_write_set_format_by_name(a, format.c_str()), format);
    if (!options.empty()) Check(a, archive_write_set_options(a, options.c_str()), options);
    if (!password.empty()) Check(a, archive_write_set_passphrase(a, password.c_str()), "password");
    Check(a, archive_write_set_bytes_in_last_block(a, 1), "block size");
    Check(a, archive_write_open(a, &out, nullptr, Append, nullptr), "open");
    int64_t inode = 1000;
    for (const Item& item : items) {
        Entry entry = MakeEntry(item, ++inode);
        Check(a, archive_write_header(a, entry.get()), item.path);
        if (!item.data.empty() && archive_write_data(a, item.data.data(), item.data.size()) < 0)
            throw std::runtime_error("data of " + item.path);
    }
    Check(a, archive_write_close(a), "close");
    return out;
}

// Header: magic (6), then 13 fields of 8 hex digits; the file size is the
// 7th, the name size the 12th, the check the 13th. Name and data are padded
// to 4 bytes.
std::string NewcToCrc(std::string newc) {
    auto number = [&](size_t at) { return std::stoul(newc.substr(at, 8), nullptr, 16); };
    for (size_t at = 0; at + 110 <= newc.size() && newc.compare(at, 6, "070701") == 0;) {
        const size_t name = number(at + 94), size = number(at + 54);
        const size_t data = (at + 110 + name + 3) / 4 * 4;
        uint32_t sum = 0;
        for (size_t i = 0; i < size; ++i) sum += static_cast<unsigned char>(newc[data + i]);
        char check[9];
        std::snprintf(check, sizeof check, "%08X", sum);
        newc.replace(at, 6, "070702");
        newc.replace(at + 102, 8, check);
        at = (data + size + 3) / 4 * 4;
    }
    return newc;
}

// Level 0: header size (from byte 2 on) and the sum of those bytes, method,
// packed and original size, MS-DOS time, attribute, level, name, CRC-16.
std::string LzhLevel0(const std::string& name, const std::string& data, uint32_t original) {
    std::string body = "-lh0-";
    PutLe(body, static_cast<uint32_t>(data.size()), 4);
    PutLe(body, original, 4);
    PutLe(body, 0x50220000, 4);  // 2020-01-02 00:00
    body += '\x20';
    body += '\x00';
    body += static_cast<char>(name.size());
    body += name;
    PutLe(body, Crc16(data), 2);
    unsigned sum = 0;
    for (unsigned char c : body) sum += c;
    std::string lzh;
    lzh += static_cast<char>(body.size());
    lzh += static_cast<char>(sum & 0xFF);
    return lzh + body + data + '\0';
}

std::string BsdAr(const std::vector<std::pair<std::string, std::string>>& members) {
    std::string ar = "!<arch>\n";
    for (const auto& [name, data] : members) {
        const bool long_name = name.size() > 15;
        const std::string stored = long_name ? name + data : data;
        ar += Field(long_name ? "#1/" + std::to_string(name.size()) : name, 16);
        ar += Field(std::to_string(kTime), 12) + Field("0", 6) + Field("0", 6) + Field("100644", 8);
        ar += Field(std::to_string(stored.size()), 10) + "`\n";
        ar += stored;
        if (stored.size() % 2) ar += '\n';
    }
    return ar;
}

}  // namespace archive_bytes
