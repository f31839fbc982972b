/* nkf32.so, the character-code converter module: converts Japanese text among
 * Shift-JIS (CP932), EUC-JP, ISO-2022-JP (JIS) and UTF-8. Callers load it at
 * run time and find these entry points by name.
 *
 * The kind of the input is guessed from the text itself: JIS escape sequences,
 * then a UTF-8 byte order mark or well-formed UTF-8, otherwise whichever of
 * EUC-JP and CP932 reads the text more plausibly (CP932 on a tie). Pure ASCII
 * and input already in the output code are copied as they are (a UTF-8 byte
 * order mark is dropped). Line endings are never touched.
 *
 * A byte sequence that is not a character of the input's code, or a character
 * that the output code lacks, becomes one GETA MARK (U+3013, which all four
 * codes have), so nothing disappears silently.
 *
 * Size rule: converting n bytes writes at most 5 * n + 3 bytes (5 for a bad
 * byte that becomes a GETA MARK inside a JIS shift sequence, 3 for the final
 * return to ASCII in JIS output). */
#ifndef KELVORA_ARCHIVERS_NKF32_H
#define KELVORA_ARCHIVERS_NKF32_H

#include <stdint.h>

#include "archiver_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Writes a zero-terminated version text of at most 15 characters into a
 * 16-byte buffer. Characters 5, 7 and 8 are the version x 100 ("Ver. 2.10"). */
ARCHIVER_EXPORT void ARCHIVER_CALL GetNkfVersion(char* buffer);

/* Chooses the output code for the conversions that follow: blank-separated
 * options among -s (Shift-JIS, CP932), -j (JIS), -e (EUC-JP), -w (UTF-8); the
 * last one wins. Returns 0, or -1 for a null or empty text or an unknown
 * option, in which case the previous choice stays. Shift-JIS until set. */
ARCHIVER_EXPORT int32_t ARCHIVER_CALL SetNkfOption(const char* options);

/* Converts the zero-terminated `input` into `output`, zero-terminated.
 * There is no output size: `output` must hold 5 * strlen(input) + 4 bytes (the
 * size rule plus the zero). Prefer NkfConvertSafe. */
ARCHIVER_EXPORT void ARCHIVER_CALL NkfConvert(char* output, const char* input);

/* Converts `input_size` bytes of `input` into `output`, writing at most
 * `output_size` bytes and no terminating zero. Returns 1 with the byte count
 * in *written; 0 when the result does not fit (nothing is written then) or an
 * argument is null. */
ARCHIVER_EXPORT int32_t ARCHIVER_CALL NkfConvertSafe(char* output, uint32_t output_size,
                                                     uint32_t* written, const char* input,
                                                     uint32_t input_size);

#ifdef __cplusplus
}
#endif

#endif
