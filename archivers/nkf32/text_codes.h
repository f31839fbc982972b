// Guessing the character code of Japanese text and converting it, over glibc iconv.
#ifndef KELVORA_ARCHIVERS_NKF32_TEXT_CODES_H
#define KELVORA_ARCHIVERS_NKF32_TEXT_CODES_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nkf {

enum class Code { Ascii, Jis, Euc, Sjis, Utf8 };

// Converting n bytes never yields more than kWorstCaseFactor * n + kWorstCaseExtra
// bytes. The worst byte is one that is not a character: it becomes a GETA MARK,
// which JIS output writes as ESC $ B 22 2E (5 bytes); the next ASCII byte costs
// ESC ( B plus itself (4), and JIS output ends with one more ESC ( B (the 3).
// Everything else grows less: at most 4 bytes per byte in JIS (a half-width
// katakana byte of CP932 becomes ESC ( I xx), 3 in UTF-8, 2 in CP932 or EUC-JP.
inline constexpr uint64_t kWorstCaseFactor = 5;
inline constexpr uint64_t kWorstCaseExtra = 3;

// `text` converted into `to` (Ascii means "leave as it is"). Nothing only when
// iconv lacks one of the conversions needed.
std::optional<std::string> Convert(std::string_view text, Code to);

}  // namespace nkf

#endif
