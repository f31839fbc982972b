#include "handmade.h"

#include <algorithm>

namespace fixtures {

namespace {

// Type bits and permissions, as Unix hosts store them.
std::uint32_t UnixMode(const Item& item) {
    return (item.kind == Kind::Directory ? 0040000u : 0100000u) | PermissionsOf(item.kind);
}

void RequireFileOrFolder(const Item& item, const char* format) {
    Require(item.kind == Kind::File || item.kind == Kind::Directory,
            std::string(format) + " fixtures hold only files and folders: " + item.path);
}

void PutSize(Bytes& out, std::size_t value, int width) {
    if (width == 2)
        PutLe16(out, static_cast<std::uint32_t>(value));
    else
        PutLe32(out, static_cast<std::uint32_t>(value));
}

}  // namespace

// Level 2 and 3 headers share one layout; level 3 widens the length fields
// of the extended headers to 4 bytes and keeps the header size at offset 24.
Bytes LzhStored(const Layout& layout, int level) {
    Require(level == 2 || level == 3, "stored LZH is written with level 2 or 3 headers");
    const int width = level == 2 ? 2 : 4;
    const std::size_t fixedSize = level == 2 ? 24 : 28;
    Bytes out;
    for (const Item& item : layout) {
        RequireFileOrFolder(item, "LZH");
        const bool folder = item.kind == Kind::Directory;
        const std::size_t slash = folder ? item.path.size() : item.path.rfind('/');
        std::string dirname = slash == std::string::npos ? "" : item.path.substr(0, slash);
        const std::string filename = folder ? "" : item.path.substr(slash + 1);
        // Folder names are separated and ended by 0xFF.
        std::replace(dirname.begin(), dirname.end(), '/', '\xFF');
        if (!dirname.empty()) dirname += '\xFF';

        Bytes mode, ids;
        PutLe16(mode, UnixMode(item));
        PutLe16(ids, 0);  // group id
        PutLe16(ids, 0);  // user id
        struct Extension {
            char type;
            Bytes data;
        };
        std::vector<Extension> extensions = {
            {0x00, Bytes(2, '\0')},  // header CRC, filled in below
            {0x01, filename},
            {0x50, mode},
            {0x51, ids},
            {0x52, "root"},  // group name
            {0x53, "root"},  // user name
        };
        if (!dirname.empty()) extensions.insert(extensions.begin() + 2, {0x02, dirname});

        Bytes header;
        PutLe16(header, level == 2 ? 0 : 4);  // level 2: header size; level 3: field width
        header += folder ? "-lhd-" : "-lh0-";
        PutLe32(header, static_cast<std::uint32_t>(item.body.size()));
        PutLe32(header, static_cast<std::uint32_t>(item.body.size()));
        PutLe32(header, static_cast<std::uint32_t>(kMtime));
        header += '\x20';
        header += static_cast<char>(level);
        PutLe16(header, Crc16(item.body));
        header += 'U';  // made on Unix
        if (level == 3) PutLe32(header, 0);  // header size
        for (const Extension& extension : extensions) {
            PutSize(header, 1 + extension.data.size() + width, width);
            header += extension.type;
            header += extension.data;
        }
        PutSize(header, 0, width);
        if (level == 2) {
            // A size whose low byte is 0 would read as the end of the archive.
            if ((header.size() & 0xFF) == 0) header += '\0';
            SetLe16(header, 0, static_cast<std::uint32_t>(header.size()));
        } else {
            SetLe32(header, 24, static_cast<std::uint32_t>(header.size()));
        }
        SetLe16(header, fixedSize + width + 1, Crc16(header));
        out += header;
        out += item.body;
    }
    out += '\0';
    return out;
}

namespace {

// `block` starts at HEAD_TYPE; HEAD_SIZE (offset 3) and HEAD_CRC are set here.
void AddRar4Block(Bytes& out, Bytes block) {
    SetLe16(block, 3, static_cast<std::uint32_t>(block.size() + 2));
    PutLe16(out, Crc32(block) & 0xFFFF);
    out += block;
}

}  // namespace

Bytes Rar4Stored(const Layout& layout) {
    Bytes out("Rar!\x1A\x07\x00", 7);
    Bytes main("\x73\0\0\0\0", 5);  // type, flags, size
    main.append(6, '\0');           // reserved
    AddRar4Block(out, main);

    for (const Item& item : layout) {
        RequireFileOrFolder(item, "RAR");
        const bool folder = item.kind == Kind::Directory;
        const auto size = static_cast<std::uint32_t>(item.body.size());
        Bytes block("\x74", 1);
        // 0x8000: a data size follows; 0x00E0: the entry is a folder.
        PutLe16(block, folder ? 0x80E0 : 0x8000);
        PutLe16(block, 0);  // size
        PutLe32(block, size);  // packed
        PutLe32(block, size);  // unpacked
        block += '\x03';  // made on Unix: the attributes are a Unix mode
        PutLe32(block, Crc32(item.body));
        PutLe32(block, DosDateTime(kMtime));
        block += '\x14';  // version 2.0 extracts it
        block += '\x30';  // stored
        PutLe16(block, static_cast<std::uint32_t>(item.path.size()));
        PutLe32(block, UnixMode(item));
        block += item.path;
        AddRar4Block(out, block);
        out += item.body;
    }

    Bytes end("\x7B", 1);
    PutLe16(end, 0x4000);
    PutLe16(end, 0);
    AddRar4Block(out, end);
    return out;
}

namespace {

// Variable-length integer: 7 bits a byte, low bits first.
void PutVint(Bytes& out, std::uint64_t value) {
    do {
        auto byte = static_cast<unsigned char>(value & 0x7F);
        value >>= 7;
        if (value != 0) byte |= 0x80;
        out += static_cast<char>(byte);
    } while (value != 0);
}

// `fields` starts at the header type; the CRC covers the size and the fields.
void AddRar5Block(Bytes& out, const Bytes& fields) {
    Bytes header;
    PutVint(header, fields.size());
    header += fields;
    PutLe32(out, Crc32(header));
    out += header;
}

}  // namespace

Bytes Rar5Stored(const Layout& layout) {
    Bytes out("Rar!\x1A\x07\x01\x00", 8);
    Bytes main;
    PutVint(main, 1);  // main archive header
    PutVint(main, 0);  // header flags
    PutVint(main, 0);  // archive flags
    AddRar5Block(out, main);

    for (const Item& item : layout) {
        RequireFileOrFolder(item, "RAR");
        const bool folder = item.kind == Kind::Directory;
        Bytes file;
        PutVint(file, 2);  // file header
        // Header flags: a data area follows, empty for a folder.
        PutVint(file, 0x0002);
        PutVint(file, item.body.size());
        // File flags: 0x0001 folder, 0x0002 mtime present, 0x0004 CRC32 present.
        PutVint(file, (folder ? 0x0001 : 0x0004) | 0x0002);
        PutVint(file, item.body.size());
        PutVint(file, UnixMode(item));
        PutLe32(file, static_cast<std::uint32_t>(kMtime));
        if (!folder) PutLe32(file, Crc32(item.body));
        PutVint(file, 0);  // compression: version 0, method 0 (store)
        PutVint(file, 1);  // made on Unix
        PutVint(file, item.path.size());
        file += item.path;
        AddRar5Block(out, file);
        out += item.body;
    }

    Bytes end;
    PutVint(end, 5);  // end of archive
    PutVint(end, 0);  // header flags
    PutVint(end, 0);  // not followed by another volume
    AddRar5Block(out, end);
    return out;
}

namespace {

struct RpmTag {
    std::uint32_t tag;
    std::uint32_t type;
    Bytes data;
};
constexpr std::uint32_t kRpmInt32 = 4;
constexpr std::uint32_t kRpmString = 6;

RpmTag StringTag(std::uint32_t tag, const std::string& value) {
    return {tag, kRpmString, value + '\0'};
}

RpmTag IntTag(std::uint32_t tag, std::size_t value) {
    Bytes data;
    PutBe32(data, static_cast<std::uint32_t>(value));
    return {tag, kRpmInt32, data};
}

// Magic, index entries (tag, type, offset, count) and the data they point into.
Bytes RpmHeader(const std::vector<RpmTag>& tags) {
    Bytes index, store;
    for (const RpmTag& tag : tags) {
        if (tag.type == kRpmInt32) store.resize((store.size() + 3) / 4 * 4, '\0');
        PutBe32(index, tag.tag);
        PutBe32(index, tag.type);
        PutBe32(index, static_cast<std::uint32_t>(store.size()));
        PutBe32(index, 1);
        store += tag.data;
    }
    Bytes header("\x8E\xAD\xE8\x01\0\0\0\0", 8);
    PutBe32(header, static_cast<std::uint32_t>(tags.size()));
    PutBe32(header, static_cast<std::uint32_t>(store.size()));
    return header + index + store;
}

}  // namespace

Bytes RpmPackage(const std::string& name, const std::string& version, const Bytes& payload) {
    Bytes lead("\xED\xAB\xEE\xDB\x03\x00", 6);  // magic, format 3.0
    PutBe16(lead, 0);  // binary package
    PutBe16(lead, 1);  // architecture number
    Bytes fullName = name + "-" + version + "-1";
    Require(fullName.size() < 66, "RPM: package name too long");
    fullName.resize(66, '\0');
    lead += fullName;
    PutBe16(lead, 1);  // Linux
    PutBe16(lead, 5);  // signature in header form
    lead.append(16, '\0');

    // Tags in ascending order, as readers expect.
    const Bytes main = RpmHeader({
        StringTag(1000, name),
        StringTag(1001, version),
        StringTag(1002, "1"),           // release
        StringTag(1021, "linux"),       // OS
        StringTag(1022, "noarch"),      // architecture
        StringTag(1124, "cpio"),        // payload format
        StringTag(1125, "gzip"),        // payload compressor
        StringTag(1126, "9"),           // payload flags
    });
    // The signature's only entry: the size of the main header and payload.
    Bytes signature = RpmHeader({IntTag(1000, main.size() + payload.size())});
    signature.resize((signature.size() + 7) / 8 * 8, '\0');  // the main header is 8-byte aligned
    return lead + signature + main + payload;
}

Span LzhMemberData(const Bytes& lzh, const std::string& path) {
    std::size_t at = 0;
    while (at < lzh.size() && lzh[at] != '\0') {
        Require(at + 24 <= lzh.size() && lzh[at + 20] == 2, "LZH: expected level 2 headers");
        const std::size_t headerSize = Le16(lzh, at);
        const std::size_t packed = Le32(lzh, at + 7);
        std::string folder, name;
        // Each extension: type, data, then the size of the next extension.
        std::size_t next = at + 26;
        for (std::size_t size = Le16(lzh, at + 24); size != 0; size = Le16(lzh, next - 2)) {
            Require(size >= 3 && next + size <= at + headerSize, "LZH: bad extended header");
            const Bytes data = lzh.substr(next + 1, size - 3);
            if (lzh[next] == 0x01) name = data;
            if (lzh[next] == 0x02) folder = data;
            next += size;
        }
        std::replace(folder.begin(), folder.end(), '\xFF', '/');
        if (folder + name == path) return {at + headerSize, packed};
        at += headerSize + packed;
    }
    throw std::runtime_error("LZH: no member " + path);
}

namespace {

constexpr std::size_t kZipEndSize = 22;

struct ZipRecord {
    std::string name;
    std::size_t at = 0;  // the central directory record
    std::size_t localHeader = 0;
    std::size_t compressedSize = 0;
};

std::vector<ZipRecord> ZipCentralDirectory(const Bytes& zip) {
    Require(zip.size() >= kZipEndSize, "ZIP: too short");
    const std::size_t end = zip.size() - kZipEndSize;
    Require(Le32(zip, end) == 0x06054B50, "ZIP: no end record where expected");
    std::vector<ZipRecord> records;
    std::size_t at = Le32(zip, end + 16);
    for (std::size_t count = Le16(zip, end + 10); count > 0; --count) {
        Require(Le32(zip, at) == 0x02014B50, "ZIP: bad central directory");
        const std::size_t nameSize = Le16(zip, at + 28);
        records.push_back({zip.substr(at + 46, nameSize), at, Le32(zip, at + 42), Le32(zip, at + 20)});
        at += 46 + nameSize + Le16(zip, at + 30) + Le16(zip, at + 32);
    }
    return records;
}

}  // namespace

Span ZipMemberData(const Bytes& zip, const std::string& path) {
    for (const ZipRecord& record : ZipCentralDirectory(zip)) {
        if (record.name != path) continue;
        const std::size_t local = record.localHeader;
        Require(Le32(zip, local) == 0x04034B50, "ZIP: bad local header");
        return {local + 30 + Le16(zip, local + 26) + Le16(zip, local + 28), record.compressedSize};
    }
    throw std::runtime_error("ZIP: no member " + path);
}

void ShiftZipOffsets(Bytes& zip, std::uint32_t delta) {
    for (const ZipRecord& record : ZipCentralDirectory(zip))
        SetLe32(zip, record.at + 42, static_cast<std::uint32_t>(record.localHeader + delta));
    const std::size_t end = zip.size() - kZipEndSize;
    SetLe32(zip, end + 16, Le32(zip, end + 16) + delta);
}

namespace {

// Traditional PKWARE encryption: three keys stirred by every plain byte.
class ZipCrypto {
public:
    explicit ZipCrypto(std::string_view password) {
        for (unsigned char c : password) Update(c);
    }
    unsigned char Encrypt(unsigned char plain) {
        const auto cipher = static_cast<unsigned char>(plain ^ Stream());
        Update(plain);
        return cipher;
    }
    unsigned char Decrypt(unsigned char cipher) {
        const auto plain = static_cast<unsigned char>(cipher ^ Stream());
        Update(plain);
        return plain;
    }

private:
    unsigned char Stream() const {
        const std::uint32_t t = (keys_[2] | 2) & 0xFFFF;
        return static_cast<unsigned char>((t * (t ^ 1)) >> 8);
    }
    void Update(unsigned char c) {
        keys_[0] = Crc32Step(keys_[0], c);
        keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
        keys_[2] = Crc32Step(keys_[2], static_cast<unsigned char>(keys_[1] >> 24));
    }
    std::uint32_t keys_[3] = {0x12345678u, 0x23456789u, 0x34567890u};
};

}  // namespace

void FixZipCryptoHeader(Bytes& zip, const std::string& path, std::string_view password) {
    const Span span = ZipMemberData(zip, path);
    Require(span.size >= 12, "ZIP: " + path + " is not encrypted");
    ZipCrypto decrypt(password), encrypt(password);
    for (std::size_t i = 0; i < span.size; ++i) {
        char& byte = zip[span.offset + i];
        auto plain = decrypt.Decrypt(static_cast<unsigned char>(byte));
        // Byte 11 is the password check byte; it stays.
        if (i < 11) plain = static_cast<unsigned char>(0xA0 + i);
        byte = static_cast<char>(encrypt.Encrypt(plain));
    }
}

namespace {

void RequireCabinet(const Bytes& cab) {
    Require(cab.size() >= 44 && cab.compare(0, 4, "MSCF") == 0, "CAB: not a cabinet");
    Require((Le16(cab, 30) & 0x0004) == 0, "CAB: reserved areas are not expected");
}

}  // namespace

std::size_t CabDataStart(const Bytes& cab) {
    RequireCabinet(cab);
    return Le32(cab, 36);  // the first CFFOLDER follows the 36-byte header
}

void ClearCabUtf8Names(Bytes& cab) {
    RequireCabinet(cab);
    std::size_t at = Le32(cab, 16);
    for (std::size_t count = Le16(cab, 28); count > 0; --count) {
        SetLe16(cab, at + 14, Le16(cab, at + 14) & ~0x80u);
        const std::size_t nul = cab.find('\0', at + 16);
        Require(nul != Bytes::npos, "CAB: unterminated file name");
        at = nul + 1;
    }
}

}  // namespace fixtures
