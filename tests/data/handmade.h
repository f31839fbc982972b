// Archives that no Debian tool writes, built byte by byte (stored entries
// only), and small walkers that find a member's data inside an archive so
// that the damaged fixtures can be cut or flipped at a chosen place.
#pragma once

#include "fixture_kit.h"

namespace fixtures {

// Stored (-lh0-/-lhd-) LZH archive with level 2 or level 3 headers.
Bytes LzhStored(const Layout& layout, int level);

// RAR 4 archive, every entry stored (method 0x30).
Bytes Rar4Stored(const Layout& layout);

// RAR 5 archive, every entry stored.
Bytes Rar5Stored(const Layout& layout);

// RPM package (lead, signature header, main header) around `payload`,
// a gzip-compressed cpio archive.
Bytes RpmPackage(const std::string& name, const std::string& version, const Bytes& payload);

// Where a member's stored or compressed data sits in an archive.
struct Span {
    std::size_t offset = 0;
    std::size_t size = 0;
};

// For an LZH archive with level 2 headers.
Span LzhMemberData(const Bytes& lzh, const std::string& path);
// For a ZIP archive without an archive comment.
Span ZipMemberData(const Bytes& zip, const std::string& path);

// Moves every offset of a ZIP archive by `delta`, for data put in front of it.
void ShiftZipOffsets(Bytes& zip, std::uint32_t delta);

// libarchive fills the 12-byte header of traditional PKWARE encryption with
// random bytes; this re-encrypts `path` with fixed ones instead.
void FixZipCryptoHeader(Bytes& zip, const std::string& path, std::string_view password);

// Offset of the first CFDATA block of a cabinet.
std::size_t CabDataStart(const Bytes& cab);
// Clears the "name is UTF-8" attribute of every file of a cabinet.
void ClearCabUtf8Names(Bytes& cab);

}  // namespace fixtures
