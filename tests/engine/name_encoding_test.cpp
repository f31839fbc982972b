// Which encoding an archive's entry names are in, and the names decoded.
// Names are written here in UTF-8 and turned into Shift-JIS or EUC-JP by
// iconv, as the archivers that made them would have.
#include <gtest/gtest.h>

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <iostream>

#include "name_encoding.h"

namespace archivers {
namespace {

using Names = std::vector<std::string>;

// `utf8` in the character code `code`; empty when it cannot be written in it.
std::string Encode(const std::string& utf8, const char* code) {
    iconv_t cd = iconv_open(code, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) ADD_FAILURE() << "iconv cannot write " << code;
    std::string out(utf8.size() * 4, '\0');
    char* src = const_cast<char*>(utf8.data());
    size_t left = utf8.size();
    char* dst = out.data();
    size_t room = out.size();
    bool done = iconv(cd, &src, &left, &dst, &room) != static_cast<size_t>(-1);
    iconv_close(cd);
    out.resize(out.size() - room);
    return done ? out : "";
}

Names EncodeAll(const Names& names, const char* code) {
    Names raw;
    for (const std::string& name : names) raw.push_back(Encode(name, code));
    return raw;
}

const char* NameOf(NameEncoding encoding) {
    return std::array{"Auto", "ShiftJis", "EucJp", "Utf8"}[static_cast<int>(encoding)];
}

// The code points of `text`; nothing when it is not valid UTF-8.
std::vector<char32_t> CodePoints(const std::string& text) {
    std::vector<char32_t> points;
    for (size_t i = 0; i < text.size();) {
        size_t length = Utf8Length(std::string_view(text).substr(i));
        if (length == 0 || length > text.size() - i) return {};
        char32_t c = static_cast<unsigned char>(text[i]) & (0xFF >> (length + (length > 1)));
        for (size_t k = 1; k < length; ++k) c = (c << 6) | (text[i + k] & 0x3F);
        points.push_back(c);
        i += length;
    }
    return points;
}

bool IsUtf8(const std::string& text) { return text.empty() || !CodePoints(text).empty(); }

bool Has(const std::string& text, bool (*is)(char32_t)) {
    std::vector<char32_t> points = CodePoints(text);
    return std::any_of(points.begin(), points.end(), is);
}

bool IsKanaOrKanji(char32_t c) {
    return (c >= 0x3040 && c <= 0x30FF) || (c >= 0x3400 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFF61 && c <= 0xFF9F) || c >= 0x20000;
}

bool IsC1Control(char32_t c) { return c >= 0x80 && c <= 0x9F; }

// Every byte above 0x7F as "%XX".
std::string Escaped(const std::string& raw) {
    std::string out;
    for (unsigned char b : raw) {
        char hex[4];
        std::snprintf(hex, sizeof hex, b < 0x80 ? "%c" : "%%%02X", b);
        out += hex;
    }
    return out;
}

// --- One archive's names ---------------------------------------------------

constexpr const char* kCodes[] = {"CP932", "EUC-JP-MS", "UTF-8"};
constexpr NameEncoding kEncodings[] = {NameEncoding::ShiftJis, NameEncoding::EucJp, NameEncoding::Utf8};

struct Archive {
    const char* what;
    Names names;
    int code;  // into kCodes; -1: each of them
    NameEncoding expected = NameEncoding::Auto;  // Auto: the encoding of the code
};

const Archive kArchives[] = {
    {"kanji", {"表示/ソフト.txt", "能力.doc", "日本語.txt"}, -1},
    {"hiragana", {"あいさつ.txt", "おしらせ/きろく.txt"}, -1},
    {"katakana", {"データ/テスト.csv", "ファイル一覧.txt"}, -1},
    {"kanji and ASCII", {"第1回_議事録.txt", "報告書(最終版).docx", "2024年度/予算案.xlsx"}, -1},
    {"folders", {"資料/", "資料/会議メモ.txt", "資料/写真/IMG_0001.JPG", "readme.txt"}, -1},
    {"NEC and IBM extensions", {"①会議.txt", "髙橋.doc", "﨑.txt"}, 0},
    {"NEC and IBM extensions", {"①会議.txt", "髙橋.doc", "﨑.txt"}, 1},
    {"half-width katakana", {"ﾊﾝｶｸ.txt", "ﾃﾞｰﾀ/ｻﾝﾌﾟﾙ.csv"}, 0},
    // EUC-JP's half-width katakana alone read as Shift-JIS kanji just as well.
    {"half-width and other katakana", {"ﾊﾝｶｸ.txt", "ﾃﾞｰﾀ/サンプル.csv"}, 1},
    {"0x5C second bytes", {"表", "ソ", "能"}, 0},
    {"one kanji whose EUC-JP bytes are UTF-8 too", {"表"}, 1},
    // UTF-8 names that Shift-JIS reads too, as rare kanji (蜀咏悄) and half-width signs.
    {"UTF-8 that Shift-JIS reads too", {"写真", "あいさつ.txt"}, 2},
    {"Latin letters", {"café.txt", "naïve.txt", "Müller.txt"}, 2},
    {"Cyrillic", {"Привет.txt", "Документ.doc"}, -1},
    {"ASCII only", {"readme.txt", "src/main.c", "Makefile"}, 2, NameEncoding::ShiftJis},
    {"no names", {}, 2, NameEncoding::ShiftJis},
};

// Each archive in each of its codes: the names, their encoding, and whether
// all of them came out right with the guess.
template <class Check>
void ForEachArchive(Check check) {
    for (const Archive& archive : kArchives) {
        for (int code = 0; code < 3; ++code) {
            if (archive.code != -1 && archive.code != code) continue;
            Names raw = EncodeAll(archive.names, kCodes[code]);
            if (std::count(raw.begin(), raw.end(), "") > 0) continue;  // not written in this code
            NameEncoding expected = archive.expected == NameEncoding::Auto ? kEncodings[code] : archive.expected;
            SCOPED_TRACE(std::string(archive.what) + " in " + kCodes[code]);
            NameEncoding guess = GuessNameEncoding(raw);
            bool right = guess == expected;
            for (size_t i = 0; i < raw.size(); ++i) right = right && DecodeName(raw[i], guess) == archive.names[i];
            check(archive, raw, guess, expected, right);
        }
    }
}

TEST(NameEncoding, AnArchivesNamesAreGuessedTogether) {
    ForEachArchive([](const Archive& archive, const Names& raw, NameEncoding guess, NameEncoding expected, bool) {
        EXPECT_STREQ(NameOf(guess), NameOf(expected));
        for (size_t i = 0; i < raw.size(); ++i) EXPECT_EQ(DecodeName(raw[i], guess), archive.names[i]);
    });
}

TEST(NameEncoding, OneUndecodableNameLeavesTheEncodingThatDecodesMost) {
    for (int code : {0, 1}) {
        Names raw = EncodeAll({"表示.txt", "壊れ.txt"}, kCodes[code]);
        raw[1].insert(4, "\xFF");
        ASSERT_EQ(GuessNameEncoding(raw), kEncodings[code]) << kCodes[code];
        EXPECT_EQ(DecodeName(raw[1], kEncodings[code]), "壊れ%FF.txt");
    }
}

// --- Single names, and how often the guess is right --------------------------

const Names kSingleNames = {
    "表", "ソ", "能", "ﾊﾝｶｸ", "日本語", "あ", "ア", "亜", "ﾃﾞｰﾀ", "表示", "写真", "会議メモ.txt",
    "あいさつ.txt", "きろく", "データ.csv", "テスト", "ファイル一覧.txt", "ｻﾝﾌﾟﾙ.csv", "第1回_議事録.txt",
    "報告書(最終版).docx", "①会議.txt", "Привет.txt", "readme.txt", "café.txt", "naïve.txt", "新しいフォルダ",
    "画像001.jpg", "見積書.pdf", "ｱﾙﾊﾞﾑ", "ﾒﾓ.txt", "表計算.xls", "ソース.zip", "お知らせ", "音楽", "東京",
};

TEST(NameEncoding, SingleNamesAndTheHitRate) {
    // The ones that have to come out right.
    EXPECT_EQ(DecodeName(Encode("表", "EUC-JP-MS"), NameEncoding::Auto), "表");
    EXPECT_EQ(DecodeName(Encode("ソ", "CP932"), NameEncoding::Auto), "ソ");
    EXPECT_EQ(DecodeName(Encode("ﾊﾝｶｸ", "CP932"), NameEncoding::Auto), "ﾊﾝｶｸ");

    int names = 0, names_right = 0;
    for (const char* code : kCodes) {
        for (const std::string& name : kSingleNames) {
            std::string raw = Encode(name, code);
            if (raw.empty()) continue;
            std::string decoded = DecodeName(raw, NameEncoding::Auto);
            ++names;
            names_right += decoded == name;
            if (decoded != name) std::cout << "  missed: " << name << " in " << code << " as " << decoded << "\n";
        }
    }
    int archives = 0, archives_right = 0;
    ForEachArchive([&](const Archive&, const Names&, NameEncoding, NameEncoding, bool right) {
        ++archives;
        archives_right += right;
    });
    std::string single = std::to_string(names_right) + "/" + std::to_string(names);
    std::string whole = std::to_string(archives_right) + "/" + std::to_string(archives);
    std::cout << "Auto hit rate: single names " << single << ", archives " << whole << "\n";
    RecordProperty("single_names_right", single);
    RecordProperty("archives_right", whole);
}

// --- Names in none of our encodings ----------------------------------------

TEST(NameEncoding, NamesInOtherCodesStayEscaped) {
    // Latin-1 letters before ASCII read in no encoding of ours.
    Names raw = EncodeAll({"café.txt", "Müller.txt", "naïve.txt"}, "ISO-8859-1");
    NameEncoding guess = GuessNameEncoding(raw);
    for (const std::string& name : raw) {
        EXPECT_EQ(DecodeName(name, NameEncoding::Auto), Escaped(name));
        EXPECT_EQ(DecodeName(name, guess), Escaped(name));
    }
    // CP866 pairs partly read as Shift-JIS or EUC-JP; what comes out of them
    // is never shown as though the whole name had decoded.
    raw = EncodeAll({"Привет.txt", "Документ.doc"}, "CP866");
    guess = GuessNameEncoding(raw);
    for (const std::string& name : raw) {
        for (const std::string& decoded : {DecodeName(name, NameEncoding::Auto), DecodeName(name, guess)}) {
            EXPECT_TRUE(IsUtf8(decoded)) << decoded;
            EXPECT_TRUE(!Has(decoded, IsKanaOrKanji) || decoded.find('%') != std::string::npos) << decoded;
        }
        // As an archive's names are read: escaped whole, with no reading at all.
        EXPECT_EQ(DecodeWholeOrEscape(name, guess), Escaped(name));
    }
}

// --- Byte by byte ------------------------------------------------------------

TEST(NameEncoding, UndecodableBytesAreEscapedOneByOne) {
    struct Row {
        const char* raw;
        NameEncoding encoding;
        const char* decoded;
    };
    for (const Row& row : std::initializer_list<Row>{
             {"\x95\x5C\xA0", NameEncoding::ShiftJis, "表%A0"},
             {"\x85\x40", NameEncoding::ShiftJis, "%85@"},    // unassigned: its ASCII second byte is read again
             {"a\x81", NameEncoding::ShiftJis, "a%81"},       // cut off at the end
             {"\xF0\x40", NameEncoding::ShiftJis, "\uE000"},  // the user area
             {"\xA4\xA2\x84z", NameEncoding::EucJp, "あ%84z"},  // glibc would pass 84 as a C1 control
             {"\x8E\xB1\x8F\xB0\xA1\xA4", NameEncoding::EucJp, "ｱ丂%A4"},
             {"\xE8\xA1", NameEncoding::Utf8, "%E8%A1"},
             {"\xED\xA0\x80", NameEncoding::Utf8, "%ED%A0%80"},  // a surrogate
             {"\xC0\xAF", NameEncoding::Utf8, "%C0%AF"},          // overlong
             {"\xF4\x90\x80\x80", NameEncoding::Utf8, "%F4%90%80%80"},
             {"a\x80z\xFD.txt", NameEncoding::Auto, "a%80z%FD.txt"},
         })
        EXPECT_EQ(DecodeName(row.raw, row.encoding), row.decoded) << NameOf(row.encoding);
}

TEST(NameEncoding, EveryPairOfBytesDecodesToValidUtf8) {
    for (NameEncoding encoding : {NameEncoding::ShiftJis, NameEncoding::EucJp, NameEncoding::Utf8, NameEncoding::Auto}) {
        for (int first = 0x80; first < 0x100; ++first) {
            for (int second = 0x20; second < 0x100; ++second) {
                std::string raw = {static_cast<char>(first), static_cast<char>(second), 'x'};
                std::string decoded = DecodeName(raw, encoding);
                // A C1 control only where UTF-8 itself writes one (C2 80 to C2 9F).
                bool utf8_c1 = (encoding == NameEncoding::Utf8 || encoding == NameEncoding::Auto) && first == 0xC2 &&
                               second < 0xA0;
                ASSERT_TRUE(IsUtf8(decoded) && (utf8_c1 || !Has(decoded, IsC1Control)))
                    << NameOf(encoding) << " " << Escaped(raw) << " -> " << decoded;
            }
        }
    }
}

}  // namespace
}  // namespace archivers
