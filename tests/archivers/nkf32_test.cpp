// nkf32.so, loaded with dlopen and called through dlsym as its callers do.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "nkf32.h"

namespace {

// One text in each code: kanji, kana, half-width katakana, NEC special
// characters (circled 1, parenthesised "kabu"), an IBM extension kanji, and CR LF,
// LF and CR line endings.
const std::string kSjis =
    "\x8a\xbf\x8e\x9a\x82\xa9\x82\xc8\x83\x4a\x83\x69"  // kanji, hiragana, katakana
    "\xb6\xc0\xb6\xc5"                                  // half-width katakana
    "\x87\x40\x87\x8a\xfb\xfc"                          // NEC specials, IBM extension
    "\r\nABC\n\x81\x60\rend\r\n";
const std::string kEuc =
    "\xb4\xc1\xbb\xfa\xa4\xab\xa4\xca\xa5\xab\xa5\xca"
    "\x8e\xb6\x8e\xc0\x8e\xb6\x8e\xc5"
    "\xad\xa1\xad\xea\x8f\xf4\xfb"
    "\r\nABC\n\xa1\xc1\rend\r\n";
const std::string kJis =
    "\x1b$B" "4A;z$+$J%+%J"
    "\x1b(I" "6@6E"
    "\x1b$B" "-!-j"
    "\x1b$(D" "t{"
    "\x1b(B" "\r\nABC\n"
    "\x1b$B" "!A"
    "\x1b(B" "\rend\r\n";
const std::string kUtf8 =
    "\xe6\xbc\xa2\xe5\xad\x97\xe3\x81\x8b\xe3\x81\xaa\xe3\x82\xab\xe3\x83\x8a"
    "\xef\xbd\xb6\xef\xbe\x80\xef\xbd\xb6\xef\xbe\x85"
    "\xe2\x91\xa0\xe3\x88\xb1\xe9\xab\x99"
    "\r\nABC\n\xef\xbd\x9e\rend\r\n";

// GETA MARK, the substitute, in each code.
const std::string kGetaUtf8 = "\xe3\x80\x93";
const std::string kGetaSjis = "\x81\xac";

// The size rule of nkf32.h.
uint32_t WorstCase(size_t input_size) { return static_cast<uint32_t>(5 * input_size + 3); }

class nkf32 : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = dlopen(NKF32_MODULE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module_, nullptr) << dlerror();
        get_version_ = Entry<decltype(&GetNkfVersion)>("GetNkfVersion");
        set_option_ = Entry<decltype(&SetNkfOption)>("SetNkfOption");
        convert_ = Entry<decltype(&NkfConvert)>("NkfConvert");
        convert_safe_ = Entry<decltype(&NkfConvertSafe)>("NkfConvertSafe");
        ASSERT_TRUE(get_version_ && set_option_ && convert_ && convert_safe_);
    }
    void TearDown() override {
        if (module_) dlclose(module_);
    }

    template <class Fn>
    Fn Entry(const char* name) {
        return reinterpret_cast<Fn>(dlsym(module_, name));
    }

    // `input` converted under the current option, through the bounded entry point.
    std::string Convert(const std::string& input) {
        std::string output(WorstCase(input.size()), '\0');
        uint32_t written = 0;
        EXPECT_EQ(convert_safe_(output.data(), static_cast<uint32_t>(output.size()), &written, input.data(),
                                static_cast<uint32_t>(input.size())),
                  1);
        output.resize(written);
        return output;
    }

    std::string Convert(const char* options, const std::string& input) {
        EXPECT_EQ(set_option_(options), 0) << options;
        return Convert(input);
    }

    void* module_ = nullptr;
    decltype(&GetNkfVersion) get_version_ = nullptr;
    decltype(&SetNkfOption) set_option_ = nullptr;
    decltype(&NkfConvert) convert_ = nullptr;
    decltype(&NkfConvertSafe) convert_safe_ = nullptr;
};

TEST_F(nkf32, VersionTextCarriesVersionTimes100AndFits16Bytes) {
    char buffer[32] = {};
    std::memset(buffer + 16, 0x5A, 16);
    get_version_(buffer);
    EXPECT_LE(std::strlen(buffer), 15u);
    EXPECT_EQ(std::string({buffer[5], buffer[7], buffer[8]}), "210");
    EXPECT_EQ(buffer[6], '.');
    for (int i = 16; i < 32; ++i) EXPECT_EQ(buffer[i], 0x5A) << i;
}

TEST_F(nkf32, OptionsChooseTheOutputAndRefusedOnesKeepThePrevious) {
    const std::string a = "\xe3\x81\x82";  // HIRAGANA A in UTF-8
    EXPECT_EQ(Convert(a), "\x82\xa0");      // Shift-JIS until set
    EXPECT_EQ(Convert("-e", a), "\xa4\xa2");
    EXPECT_EQ(Convert("-w", a), a);
    EXPECT_EQ(Convert("-s", a), "\x82\xa0");
    EXPECT_EQ(Convert("-w -s  -j", a), "\x1b$B$\"\x1b(B");
    EXPECT_EQ(Convert(" \t-s\t-e ", a), "\xa4\xa2");

    for (const char* bad : {"", "  ", "-x", "-e -z", "-E", "-ew", "s", "-s-j"}) {
        EXPECT_EQ(set_option_(bad), -1) << '"' << bad << '"';
    }
    EXPECT_EQ(set_option_(nullptr), -1);
    EXPECT_EQ(Convert(a), "\xa4\xa2");  // still EUC-JP
}

TEST_F(nkf32, EachInputKindIsRecognised) {
    // kEuc also reads as (odd) CP932, and kSjis's half-width katakana reads as
    // EUC-JP kanji: the guess has to weigh the readings, not just their validity.
    for (const std::string& input : {kSjis, kEuc, kJis, kUtf8, "\xef\xbb\xbf" + kUtf8}) {
        EXPECT_EQ(Convert("-w", input), kUtf8);
        EXPECT_EQ(Convert("-s", input), kSjis);
    }
    // Text already in the output code is copied as it is.
    EXPECT_EQ(Convert("-j", kJis), kJis);
    EXPECT_EQ(Convert("-e", kEuc), kEuc);
}

TEST_F(nkf32, SjisJisEucSjisComesBackByteForByte) {
    const std::string jis = Convert("-j", kSjis);
    EXPECT_EQ(jis, kJis);
    const std::string euc = Convert("-e", jis);
    EXPECT_EQ(euc, kEuc);
    EXPECT_EQ(Convert("-s", euc), kSjis);
}

TEST_F(nkf32, AsciiIsCopiedUnderEveryOption) {
    const std::string ascii = "a\\b~c\r\n\tx\x1b[0m\x7f\r";  // an escape that is no designation
    for (const char* option : {"-s", "-j", "-e", "-w"}) EXPECT_EQ(Convert(option, ascii), ascii) << option;
    EXPECT_EQ(Convert("-j", ""), "");
}

TEST_F(nkf32, WhatCannotBeConvertedBecomesAGetaMark) {
    // 0xFF is no character of CP932 or EUC-JP; the emoji has no place in CP932.
    EXPECT_EQ(Convert("-w", "\x82\xa0\xff\x82\xa0"), "\xe3\x81\x82" + kGetaUtf8 + "\xe3\x81\x82");
    EXPECT_EQ(Convert("-s", "a\xf0\x9f\x98\x80z"), "a" + kGetaSjis + "z");
    // A JIS byte outside its set, and half a two-byte character.
    EXPECT_EQ(Convert("-w", "\x1b(I\x7e\x1b$B\x30\r\n"), kGetaUtf8 + kGetaUtf8 + "\r\n");
}

TEST_F(nkf32, SafeFormWritesNothingWhenTheResultDoesNotFit) {
    ASSERT_EQ(set_option_("-j"), 0);
    const std::string input = "\x82\xa0";
    const std::string expected = "\x1b$B$\"\x1b(B";
    std::vector<char> buffer(expected.size() + 8, '\x5a');
    uint32_t written = 99;
    EXPECT_EQ(convert_safe_(buffer.data(), static_cast<uint32_t>(expected.size() - 1), &written, input.data(),
                            static_cast<uint32_t>(input.size())),
              0);
    EXPECT_EQ(written, 0u);
    for (char c : buffer) EXPECT_EQ(c, '\x5a');

    EXPECT_EQ(convert_safe_(buffer.data(), static_cast<uint32_t>(expected.size()), &written, input.data(),
                            static_cast<uint32_t>(input.size())),
              1);
    ASSERT_EQ(written, expected.size());
    EXPECT_EQ(std::string(buffer.data(), written), expected);
    for (size_t i = written; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], '\x5a') << i;

    EXPECT_EQ(convert_safe_(nullptr, 8, &written, "a", 1), 0);
    EXPECT_EQ(convert_safe_(buffer.data(), 8, nullptr, "a", 1), 0);
    EXPECT_EQ(convert_safe_(buffer.data(), 8, &written, nullptr, 1), 0);
}

TEST_F(nkf32, WorstCaseInputMeetsTheSizeRuleExactly) {
    // A bad byte costs ESC $ B plus a GETA MARK, and JIS output ends in ESC ( B.
    ASSERT_EQ(set_option_("-j"), 0);
    char out[8];
    uint32_t written = 0;
    EXPECT_EQ(convert_safe_(out, 7, &written, "\xff", 1), 0);
    EXPECT_EQ(convert_safe_(out, 8, &written, "\xff", 1), 1);
    EXPECT_EQ(written, WorstCase(1));

    const std::string input = "\xff" "a\xff" "a\xff" "a\xb6" "a\xb6";
    EXPECT_LE(Convert(input).size(), WorstCase(input.size()));
}

TEST_F(nkf32, UnboundedFormZeroTerminatesWithinTheSizeRule) {
    ASSERT_EQ(set_option_("-j"), 0);
    const std::string input = "\xff" "a\xff";
    std::vector<char> buffer(WorstCase(input.size()) + 1 + 8, '\x5a');
    convert_(buffer.data(), input.c_str());
    const std::string output(buffer.data());
    EXPECT_EQ(output, Convert(input));
    for (size_t i = WorstCase(input.size()) + 1; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], '\x5a') << i;

    ASSERT_EQ(set_option_("-s"), 0);
    buffer.assign(WorstCase(kEuc.size()) + 1, '\x5a');
    convert_(buffer.data(), kEuc.c_str());
    EXPECT_EQ(std::string(buffer.data()), kSjis);
}

}  // namespace
