#include "text_codes.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <utility>

// Conversions go through UTF-8: the input is read into UTF-8, then written in
// the output code. The iconv names:
//   CP932       Shift-JIS with the NEC and IBM extensions and the user area.
//   EUC-JP-MS   EUC-JP holding the same extensions (NEC row 13 as 0xAD..,
//               IBM extensions in the JIS X 0212 plane 0x8F.., the user area
//               in rows 0xF5..0xFE), so CP932 text survives a trip through it.
//               Plain EUC-JP would lose the extensions.
//   JIS         glibc has no CP50221 and its ISO-2022-JP variants lose the
//               extensions (ISO-2022-JP-3 has no IBM extensions and writes
//               NEC row 13 as JIS X 0213). JIS is therefore EUC-JP-MS with the
//               EUC bytes moved to 7 bits under escape sequences, the way
//               ISO-2022 and EUC share the same character sets: ESC $ B for
//               two-byte characters (NEC row 13 and the user area included),
//               ESC ( I for half-width katakana, ESC $ ( D for the 0x8F plane.
//               Reading JIS undoes exactly that, so every character comes back.
//               Input that designates JIS X 0213 (ESC $ ( O, Q or P) is read
//               through EUC-JISX0213 instead.

namespace nkf {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// GETA MARK, written for anything that cannot be read or written.
constexpr std::string_view kGetaUtf8 = "\xE3\x80\x93";
constexpr std::string_view kGetaSjis = "\x81\xAC";
constexpr std::string_view kGetaEuc = "\xA2\xAE";

// A byte that no EUC code reads: stands for a JIS byte outside its set, so
// that it turns into one GETA MARK.
constexpr char kNotEuc = '\xFF';

unsigned char Byte(std::string_view text, size_t i) {
    return static_cast<unsigned char>(text[i]);
}

bool InRange(unsigned char c, unsigned char low, unsigned char high) {
    return c >= low && c <= high;
}

// ---- iconv ---------------------------------------------------------------

class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (ok()) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

// Feeds `in` through `cd`, appending to `out`. Where iconv stops at something
// it cannot take, `span(rest)` tells how many bytes that is; they become
// `substitute`. Returns how many substitutes were written.
template <class Span>
size_t Run(const Iconv& cd, std::string_view in, std::string& out, std::string_view substitute,
           Span span) {
    // iconv's input pointer is not const, but it never writes through it.
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    size_t substitutes = 0;
    char buffer[4096];
    for (;;) {
        char* dst = buffer;
        size_t room = sizeof buffer;
        const bool done = left == 0;
        const size_t result =
            done ? iconv(cd.get(), nullptr, nullptr, &dst, &room) : iconv(cd.get(), &src, &left, &dst, &room);
        out.append(buffer, dst - buffer);
        if (done) return substitutes;
        if (result != static_cast<size_t>(-1) || errno == E2BIG) continue;
        const size_t skip = std::clamp<size_t>(span(std::string_view(src, left)), 1, left);
        out.append(substitute);
        ++substitutes;
        src += skip;
        left -= skip;
    }
}

// Length of the well-formed UTF-8 sequence that starts `text`, or 0.
size_t Utf8Length(std::string_view text) {
    const unsigned char c = Byte(text, 0);
    if (c < 0x80) return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (InRange(c, 0xC2, 0xDF)) {
        length = 2;
    } else if (InRange(c, 0xE0, 0xEF)) {
        length = 3;
        if (c == 0xE0) low = 0xA0;   // no overlong forms
        if (c == 0xED) high = 0x9F;  // no surrogates
    } else if (InRange(c, 0xF0, 0xF4)) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length || !InRange(Byte(text, 1), low, high)) return 0;
    for (size_t i = 2; i < length; ++i) {
        if (!InRange(Byte(text, i), 0x80, 0xBF)) return 0;
    }
    return length;
}

// How many bytes a character that iconv refused spans, by the shape of the code.
size_t SjisSpan(std::string_view rest) {
    const bool lead = InRange(Byte(rest, 0), 0x81, 0x9F) || InRange(Byte(rest, 0), 0xE0, 0xFC);
    if (!lead || rest.size() < 2) return 1;
    const unsigned char trail = Byte(rest, 1);
    return InRange(trail, 0x40, 0x7E) || InRange(trail, 0x80, 0xFC) ? 2 : 1;
}

size_t EucSpan(std::string_view rest) {
    const auto high = [&](size_t i) { return i < rest.size() && InRange(Byte(rest, i), 0xA1, 0xFE); };
    const unsigned char lead = Byte(rest, 0);
    if (lead == 0x8F) return high(1) && high(2) ? 3 : 1;
    if (lead == 0x8E || high(0)) return high(1) ? 2 : 1;
    return 1;
}

size_t ByteSpan(std::string_view) { return 1; }

size_t Utf8Span(std::string_view rest) { return std::max<size_t>(Utf8Length(rest), 1); }

// ---- JIS -----------------------------------------------------------------

enum class Set { Ascii, Kanji, Kana, Plane2 };

struct Designation {
    std::string_view escape;
    Set set;
    bool x0213;
};

constexpr Designation kDesignations[] = {
    {"\x1B(B", Set::Ascii, false},  {"\x1B(J", Set::Ascii, false},   // JIS X 0201 Roman as ASCII
    {"\x1B(I", Set::Kana, false},   {"\x1B$B", Set::Kanji, false},
    {"\x1B$@", Set::Kanji, false},  {"\x1B$(D", Set::Plane2, false},  // JIS X 0212
    {"\x1B$(O", Set::Kanji, true},  {"\x1B$(Q", Set::Kanji, true},    // JIS X 0213 plane 1
    {"\x1B$(P", Set::Plane2, true},                                    // JIS X 0213 plane 2
};

const Designation* DesignationAt(std::string_view rest) {
    for (const Designation& d : kDesignations) {
        if (rest.starts_with(d.escape)) return &d;
    }
    return nullptr;
}

std::string_view EscapeFor(Set set) {
    switch (set) {
    case Set::Ascii: return "\x1B(B";
    case Set::Kanji: return "\x1B$B";
    case Set::Kana: return "\x1B(I";
    case Set::Plane2: return "\x1B$(D";
    }
    return {};
}

struct Unframed {
    std::string euc;
    const char* charset;
};

bool Graphic(unsigned char c) { return InRange(c, 0x21, 0x7E); }

// JIS text as the EUC bytes of the same characters. Controls and spaces pass
// as they are in every set (line endings included); a byte that the current
// set does not define becomes kNotEuc. Unknown escape sequences are kept.
Unframed Unframe(std::string_view jis) {
    Unframed result{{}, "EUC-JP-MS"};
    std::string& out = result.euc;
    Set set = Set::Ascii;
    for (size_t i = 0; i < jis.size();) {
        if (const Designation* d = DesignationAt(jis.substr(i))) {
            set = d->set;
            if (d->x0213) result.charset = "EUC-JISX0213";
            i += d->escape.size();
            continue;
        }
        const unsigned char c = Byte(jis, i);
        if (set == Set::Ascii || !Graphic(c)) {
            out += static_cast<char>(c);
            i += 1;
        } else if (set == Set::Kana) {
            out += c <= 0x5F ? std::string{'\x8E', static_cast<char>(c | 0x80)} : std::string(1, kNotEuc);
            i += 1;
        } else if (i + 1 < jis.size() && Graphic(Byte(jis, i + 1))) {
            if (set == Set::Plane2) out += '\x8F';
            out += static_cast<char>(c | 0x80);
            out += static_cast<char>(Byte(jis, i + 1) | 0x80);
            i += 2;
        } else {
            out += kNotEuc;  // half a two-byte character
            i += 1;
        }
    }
    return result;
}

// EUC-JP-MS bytes, as iconv wrote them, in JIS. Every byte below 0x80 (line
// endings included) is written in ASCII, so each line ends back in ASCII.
std::string Frame(std::string_view euc) {
    std::string out;
    Set set = Set::Ascii;
    const auto shift = [&](Set next) {
        if (set != next) out += EscapeFor(next);
        set = next;
    };
    const auto low = [&](size_t i) { return static_cast<char>(Byte(euc, i) & 0x7F); };
    for (size_t i = 0; i < euc.size();) {
        const unsigned char c = Byte(euc, i);
        if (c < 0x80) {
            shift(Set::Ascii);
            out += static_cast<char>(c);
            i += 1;
        } else if (c == 0x8E && i + 1 < euc.size()) {
            shift(Set::Kana);
            out += low(i + 1);
            i += 2;
        } else if (c == 0x8F && i + 2 < euc.size()) {
            shift(Set::Plane2);
            out += {low(i + 1), low(i + 2)};
            i += 3;
        } else if (i + 1 < euc.size()) {
            shift(Set::Kanji);
            out += {low(i), low(i + 1)};
            i += 2;
        } else {
            i += 1;  // iconv writes whole characters; never reached
        }
    }
    shift(Set::Ascii);
    return out;
}

bool HasDesignation(std::string_view text) {
    for (size_t at = text.find('\x1B'); at != std::string_view::npos; at = text.find('\x1B', at + 1)) {
        if (DesignationAt(text.substr(at))) return true;
    }
    return false;
}

// ---- reading -------------------------------------------------------------

struct Decoded {
    Code from;
    std::string utf8;
    size_t bad = 0;  // characters that could not be read
};

std::optional<Decoded> Decode(std::string_view text, Code from) {
    Decoded result{from, {}, 0};
    if (from == Code::Jis) {
        const Unframed unframed = Unframe(text);
        const Iconv cd("UTF-8", unframed.charset);
        if (!cd.ok()) return std::nullopt;
        result.bad = Run(cd, unframed.euc, result.utf8, kGetaUtf8, EucSpan);
    } else if (from == Code::Euc) {
        const Iconv cd("UTF-8", "EUC-JP-MS");
        if (!cd.ok()) return std::nullopt;
        result.bad = Run(cd, text, result.utf8, kGetaUtf8, EucSpan);
    } else if (from == Code::Sjis) {
        const Iconv cd("UTF-8", "CP932");
        if (!cd.ok()) return std::nullopt;
        result.bad = Run(cd, text, result.utf8, kGetaUtf8, SjisSpan);
    } else if (from == Code::Utf8) {
        const Iconv cd("UTF-8", "UTF-8");  // well-formed after this
        if (!cd.ok()) return std::nullopt;
        result.bad = Run(cd, text, result.utf8, kGetaUtf8, ByteSpan);
    } else {
        result.utf8 = text;
    }
    return result;
}

// How unlikely a reading is as Japanese text; lower is likelier. A byte that
// is no character weighs most. Half-width katakana and user-defined characters
// are rare in real text, while EUC-JP read as CP932 is mostly half-width
// katakana; full-width kana are the commonest characters of all.
long Penalty(const Decoded& decoded) {
    long penalty = 100 * static_cast<long>(decoded.bad);
    const std::string_view text = decoded.utf8;
    for (size_t i = 0; i < text.size(); i += Utf8Span(text.substr(i))) {
        // Only the three-byte forms matter here: U+0800..U+FFFF.
        if (Utf8Length(text.substr(i)) != 3) continue;
        const unsigned cp = (Byte(text, i) & 0x0F) << 12 | (Byte(text, i + 1) & 0x3F) << 6 |
                            (Byte(text, i + 2) & 0x3F);
        if (cp >= 0xFF61 && cp <= 0xFF9F) penalty += 1;
        else if (cp >= 0xE000 && cp <= 0xF8FF) penalty += 2;
        else if (cp >= 0x3041 && cp <= 0x30FF) penalty -= 1;
    }
    return penalty;
}

bool AllAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool WellFormedUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const size_t length = Utf8Length(text.substr(i));
        if (length == 0) return false;
        i += length;
    }
    return true;
}

// Guesses the code of `text` (without a byte order mark) and reads it.
std::optional<Decoded> DetectAndDecode(std::string_view text) {
    if (HasDesignation(text)) return Decode(text, Code::Jis);
    if (AllAscii(text)) return Decode(text, Code::Ascii);
    if (WellFormedUtf8(text)) return Decode(text, Code::Utf8);
    std::optional<Decoded> euc = Decode(text, Code::Euc);
    std::optional<Decoded> sjis = Decode(text, Code::Sjis);
    if (!euc || !sjis) return std::nullopt;
    return Penalty(*euc) < Penalty(*sjis) ? std::move(euc) : std::move(sjis);
}

// ---- writing -------------------------------------------------------------

std::optional<std::string> Encode(const std::string& utf8, const char* charset, std::string_view geta) {
    const Iconv cd(charset, "UTF-8");
    if (!cd.ok()) return std::nullopt;
    std::string out;
    Run(cd, utf8, out, geta, Utf8Span);
    return out;
}

}  // namespace

std::optional<std::string> Convert(std::string_view text, Code to) {
    const bool bom = text.starts_with(kBom);
    if (bom) text.remove_prefix(kBom.size());
    const std::optional<Decoded> decoded = bom ? Decode(text, Code::Utf8) : DetectAndDecode(text);
    if (!decoded) return std::nullopt;
    if (decoded->from == Code::Ascii || decoded->from == to || to == Code::Ascii) return std::string(text);
    switch (to) {
    case Code::Utf8: return decoded->utf8;
    case Code::Sjis: return Encode(decoded->utf8, "CP932", kGetaSjis);
    case Code::Euc: return Encode(decoded->utf8, "EUC-JP-MS", kGetaEuc);
    case Code::Jis: {
        std::optional<std::string> euc = Encode(decoded->utf8, "EUC-JP-MS", kGetaEuc);
        if (!euc) return std::nullopt;
        return Frame(*euc);
    }
    case Code::Ascii: break;
    }
    return std::string(text);
}

}  // namespace nkf
