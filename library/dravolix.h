/* Dravolix: flat exports through which a program reaches the archiver modules
 * of the common archiver API, by a small archiver index (1..13, see
 * archiver_table.h). Every buffer belongs to the caller; the library returns
 * no memory and keeps no module loaded between calls. Enter it from one thread
 * at a time.
 *
 * Results of the library's own, beside those passed through from a module:
 *   -1  index outside 1..13
 *   -2  the archiver module cannot be loaded
 *   -3  the module loads but lacks the entry point asked for (it is not called)
 *   -4  the question does not apply to this archiver
 *   -6  a null text where a file name or command line is needed
 * The 16-bit exports carry them as 0xFFFF, 0xFFFE, 0xFFFD, 0xFFFC, 0xFFFA. */
#ifndef KELVORA_DRAVOLIX_H
#define KELVORA_DRAVOLIX_H

#include <stdint.h>

#include "hwnd.h"

#if defined(_WIN32)
#define DRAVOLIX_API __stdcall
#define DRAVOLIX_EXPORT
#else
#define DRAVOLIX_API
#define DRAVOLIX_EXPORT __attribute__((visibility("default")))
#endif

#define DRAVX_ERROR_INDEX (-1)
#define DRAVX_ERROR_NOT_LOADABLE (-2)
#define DRAVX_ERROR_NO_ENTRY (-3)
#define DRAVX_ERROR_NOT_APPLICABLE (-4)
#define DRAVX_ERROR_NULL_ARGUMENT (-6)

/* The library's own version x 100, as DravxGetCoreVersion answers it. */
#define DRAVOLIX_CORE_VERSION 6

#ifdef __cplusplus
extern "C" {
#endif

/* Runs one command of the archiver: shows the wait window while it works when
 * `owner` is not null, and returns the module's result unchanged. */
DRAVOLIX_EXPORT int32_t DRAVOLIX_API Dravx(int32_t index, HWND owner, const char* command_line, char* output,
                           uint32_t output_size);

/* Probing and information. */
DRAVOLIX_EXPORT int32_t DRAVOLIX_API DravxCheckArchive(int32_t index, const char* file_name, int32_t mode);
DRAVOLIX_EXPORT int32_t DRAVOLIX_API DravxGetArchiveType(int32_t index, const char* file_name);
DRAVOLIX_EXPORT int32_t DRAVOLIX_API DravxGetFileCount(int32_t index, const char* file_name);
DRAVOLIX_EXPORT int16_t DRAVOLIX_API DravxGetVersion(int32_t index);
DRAVOLIX_EXPORT int16_t DRAVOLIX_API DravxGetSubVersion(int32_t index);
DRAVOLIX_EXPORT int16_t DRAVOLIX_API DravxGetCoreVersion(void);
DRAVOLIX_EXPORT int32_t DRAVOLIX_API DravxConfigDialog(int32_t index, HWND owner, char* options, int32_t mode);
DRAVOLIX_EXPORT int32_t DRAVOLIX_API DravxQueryFunctionList(int32_t index, int32_t function);
DRAVOLIX_EXPORT int32_t DRAVOLIX_API DravxSupportType(void);
DRAVOLIX_EXPORT int32_t DRAVOLIX_API DravxCheckArchiveEx(const char* file_name, int32_t mode);

/* File associations: make the desktop open the archiver's extensions with
 * `program_path` (its file argument written as `argument`, "%1"), or stop
 * doing so. Indexes 0..13 (row 0 has no extensions); 1 done, 0 index refused.
 * DravxGetAssoc reads nothing and answers 0. */
DRAVOLIX_EXPORT int32_t DRAVOLIX_API DravxSetAssoc(int32_t index, const char* program_path, const char* argument,
                                                   int32_t reserved);
DRAVOLIX_EXPORT int32_t DRAVOLIX_API DravxGetAssoc(int32_t reserved1, int32_t reserved2);
DRAVOLIX_EXPORT int32_t DRAVOLIX_API DravxKillAssoc(int32_t index, int32_t reserved1, int32_t reserved2,
                                                    int32_t reserved3);

/* Character-code conversion through the converter module "nkf32.dll".
 * DravxGetNkfVersion: its version x 100, 0 when it cannot be loaded.
 * DravxNkfConvertSub: converts `input_file` into `output_file` under the nkf
 * option text ("-s", "-j", "-e"); 0 success, -1 input not readable, option
 * refused, result too large or output not writable (each told to the user),
 * -2 converter not loadable, -8 memory. */
DRAVOLIX_EXPORT int16_t DRAVOLIX_API DravxGetNkfVersion(void);
DRAVOLIX_EXPORT int32_t DRAVOLIX_API DravxNkfConvertSub(HWND owner, const char* option, const char* output_file,
                                                        const char* input_file);

/* Kept for callers of the older interface: they do nothing and return 0. */
DRAVOLIX_EXPORT int32_t DRAVOLIX_API DravxOpenArchive(int32_t index, HWND owner, const char* file_name,
                                      uint32_t mode);
DRAVOLIX_EXPORT int32_t DRAVOLIX_API DravxCloseArchive(int32_t index, void* archive);
DRAVOLIX_EXPORT int32_t DRAVOLIX_API DravxFindFirst(int32_t index, void* archive, const char* wild_name,
                                    void* info);
DRAVOLIX_EXPORT int32_t DRAVOLIX_API DravxFindNext(int32_t index, void* archive, void* info);

#ifdef __cplusplus
}
#endif

#endif
