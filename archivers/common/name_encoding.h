// The character code of archive entry names: which of UTF-8, Shift-JIS
// (CP932) and EUC-JP one archive's names are in, and the names in UTF-8.
// No Qt and nothing beyond the C library's iconv, so that the program's core
// judges text files the same way.
#ifndef KELVORA_ARCHIVERS_NAME_ENCODING_H
#define KELVORA_ARCHIVERS_NAME_ENCODING_H

#include <iconv.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace archivers {

enum class NameEncoding : uint8_t { Auto = 0, ShiftJis = 1, EucJp = 2, Utf8 = 3 };

// The encoding of one archive's raw entry names (all of them at once):
// ShiftJis, EucJp or Utf8, never Auto. An encoding that cannot decode every
// name is out; among those left the most plausible reading wins, Shift-JIS
// when in doubt. When none decodes them all, the one that leaves the fewest
// bytes undecoded.
NameEncoding GuessNameEncoding(const std::vector<std::string>& raw_names);

// One raw name decoded in `encoding` (ShiftJis = CP932, EucJp = EUC-JP with
// the NEC and IBM extensions and the user area, Utf8; Auto =
// GuessNameEncoding({raw})). The result is always valid UTF-8: a byte that
// does not decode becomes "%XX" (uppercase hex) and decoding resumes after it.
// A 0x5C second byte of a CP932 character (表 = 95 5C, ソ = 83 5C) stays part
// of the character.
std::string DecodeName(std::string_view raw, NameEncoding encoding);

// `raw` decoded in `encoding` when all of it decodes; otherwise every byte
// above 0x7F escaped, so that a name in a code of none of ours (CP866,
// Latin-1) never shows as a reading that looks right but is not.
std::string DecodeWholeOrEscape(std::string_view raw, NameEncoding encoding);

// How plausible a decoded text (UTF-8) is as a Japanese or Western file name
// or text: higher is better. Kana, common kanji and Latin letters count for
// it; half-width katakana that do not read as words, rare letters, box
// drawing, private-use and control characters count against it.
int Plausibility(std::string_view utf8);

// True when every byte is below 0x80: the same text in every encoding.
bool IsAscii(std::string_view raw);

// A byte that starts a two-byte Shift-JIS (CP932) character.
constexpr bool IsShiftJisLead(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The length of the UTF-8 sequence at the start of `text`: 1 to 4, or 0 when
// the bytes there are not well-formed UTF-8 (overlong forms, surrogates and
// values above U+10FFFF included). A well-formed beginning that `text` ends
// too early for gives the full length, more than text.size().
size_t Utf8Length(std::string_view text);

// One glibc iconv conversion into UTF-8, opened once and used for many texts.
class Utf8Converter {
public:
    explicit Utf8Converter(const char* from);
    ~Utf8Converter();
    Utf8Converter(const Utf8Converter&) = delete;
    Utf8Converter& operator=(const Utf8Converter&) = delete;

    // Appends to `out` the UTF-8 of the longest start of `in` that converts
    // and returns how many bytes of `in` that took: less than in.size() where
    // a byte does not convert or a character is cut off at the end. 0 when
    // iconv has no such conversion.
    size_t ConvertStart(std::string_view in, std::string& out) const;

    // Appends the UTF-8 of all of `in` to `out`; false, with `out` as it was,
    // when any of it does not convert.
    bool Convert(std::string_view in, std::string& out) const;

private:
    iconv_t cd_;
};

}  // namespace archivers

#endif
