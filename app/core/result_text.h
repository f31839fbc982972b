// The one-line Japanese text for an archiver result code.
#ifndef KELVORA_CORE_RESULT_TEXT_H
#define KELVORA_CORE_RESULT_TEXT_H

#include <cstdint>
#include <string>

namespace core {

// "ファイルのチェックサムエラーです。" for 0x800C; for a code without a text of
// its own, "その他のエラー : 0x" and the code in upper-case hexadecimal
// (a negative code as its 32-bit two's complement).
std::string ArchiverErrorText(int32_t code);

}  // namespace core

#endif
