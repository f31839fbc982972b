#include "entry_names.h"


namespace archivers {
namespace {

// Names that the choice reads at most: enough to tell, bounded in memory.
constexpr size_t kMaxSampleBytes = 8u << 20;

// LZH names are read by libarchive as ISO-8859-1, one character per byte,
// so that their bytes come back whole; a name that has characters beyond
// U+00FF came from a header that gives its own code page, and is Unicode.
// libarchive turns the "\" of a level 0 header into "/", also where "\" was
// the second byte of a Shift-JIS character (表 = 95 5C): a "/" straight
// after a lead byte is never text of any encoding, and is put back.
RawName LzhRawName(std::string_view utf8) {
    RawName raw;
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            raw.bytes += static_cast<char>(lead);
        } else if ((lead == 0xC2 || lead == 0xC3) && i + 1 < utf8.size()) {
            raw.bytes += static_cast<char>(((lead & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        } else {
            return {std::string(utf8), true};
        }
    }
    for (size_t i = 0; i + 1 < raw.bytes.size(); ++i) {
        if (!IsShiftJisLead(static_cast<unsigned char>(raw.bytes[i]))) continue;
        if (raw.bytes[i + 1] == '/') raw.bytes[i + 1] = '\\';
        ++i;
    }
    return raw;
}

}  // namespace

RawName RawNameOf(Kind kind, int format, const char* name) {
    std::string_view text = name ? name : "";
    if (kind == Kind::Lha) return LzhRawName(text);
    const int base = format & ARCHIVE_FORMAT_BASE_MASK;
    const bool unicode = base == ARCHIVE_FORMAT_7ZIP || base == ARCHIVE_FORMAT_XAR || format == ARCHIVE_FORMAT_RAR_V5;
    return {std::string(text), unicode};
}

std::string EntryNames::Path(const Reader& reader) {
    const char* name = archive_entry_pathname(reader.Entry());
    return Decode(reader, name ? name : archive_entry_pathname_utf8(reader.Entry()));
}

std::string EntryNames::Symlink(const Reader& reader) { return Decode(reader, archive_entry_symlink(reader.Entry())); }

std::string EntryNames::Hardlink(const Reader& reader) { return Decode(reader, archive_entry_hardlink(reader.Entry())); }

std::string EntryNames::Decode(const Reader& reader, const char* name) {
    RawName raw = RawNameOf(kind_, reader.Format(), name);
    // Text libarchive decoded is kept, bytes that are not UTF-8 escaped.
    if (raw.unicode) return DecodeName(raw.bytes, NameEncoding::Utf8);
    if (setting_ != NameEncoding::Auto) return DecodeName(raw.bytes, setting_);
    if (!chosen_ && IsAscii(raw.bytes)) return raw.bytes;
    if (!chosen_) chosen_ = Choose();
    return DecodeWholeOrEscape(raw.bytes, *chosen_);
}

// Reads every entry's names once, without their data, and lets the
// scorer choose. Only names that are not plain ASCII tell anything.
NameEncoding EntryNames::Choose() {
    std::vector<std::string> names;
    size_t bytes = 0;
    Reader reader;
    if (reader.Open(kind_, archive_) == result::kOk) {
        while (reader.Entry() && bytes < kMaxSampleBytes) {
            archive_entry* entry = reader.Entry();
            for (const char* name : {archive_entry_pathname(entry), archive_entry_symlink(entry), archive_entry_hardlink(entry)}) {
                RawName raw = RawNameOf(kind_, reader.Format(), name);
                if (raw.unicode || IsAscii(raw.bytes)) continue;
                bytes += raw.bytes.size();
                names.push_back(std::move(raw.bytes));
            }
            if (reader.Next() != result::kOk) break;
        }
    }
    return GuessNameEncoding(names);
}

}  // namespace archivers
