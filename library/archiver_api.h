/* The contract between Dravolix and an archiver module of the common archiver
 * API. For module authors: export these entry points with C linkage.
 *
 * Names are formed from the archiver's prefix P and suffix S (see the table in
 * archiver_table.h): the module file is P + S + ".dll" (".so" on disk), the
 * command function is P alone, every other entry point is P followed by the
 * function name ("UnlhaCheckArchive"). Names match exactly, case included.
 * Texts are zero-terminated in the locale's narrow encoding (UTF-8 on Linux).
 *
 * The library loads the module at the start of each request and releases it
 * before it returns, so a module keeps no state between requests. */
#ifndef KELVORA_ARCHIVER_API_H
#define KELVORA_ARCHIVER_API_H

#include <stdint.h>

#include "hwnd.h"

#if defined(_WIN32)
#define ARCHIVER_CALL __stdcall
#define ARCHIVER_EXPORT __declspec(dllexport)
#else
#define ARCHIVER_CALL
#define ARCHIVER_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* P: runs one command line. `output` may be null when `output_size` is 0.
 * Returns 0 on success, otherwise the archiver's result code (errors are
 * 0x8000 and above). */
typedef int32_t(ARCHIVER_CALL* ArchiverCommandFn)(HWND owner, const char* command_line,
                                                  char* output, uint32_t output_size);

/* PCheckArchive: 1 or more when the module takes the file, 0 otherwise. */
typedef int32_t(ARCHIVER_CALL* ArchiverCheckArchiveFn)(const char* file_name, int32_t mode);

/* TarGetArchiveType (TAR module only, fixed name): archive type code. */
typedef int32_t(ARCHIVER_CALL* ArchiverGetArchiveTypeFn)(const char* file_name);

/* PGetFileCount: number of entries. */
typedef int32_t(ARCHIVER_CALL* ArchiverGetFileCountFn)(const char* file_name);

/* PGetVersion: version x 100 (200 is 2.00); PGetSubVersion: sub-version. */
typedef uint16_t(ARCHIVER_CALL* ArchiverGetVersionFn)(void);
typedef uint16_t(ARCHIVER_CALL* ArchiverGetSubVersionFn)(void);

/* PConfigDialog: the module's own settings window. */
typedef int32_t(ARCHIVER_CALL* ArchiverConfigDialogFn)(HWND owner, char* options, int32_t mode);

/* PQueryFunctionList: exactly 1 when the function numbered `function` exists.
 * Numbers of the functions our modules offer: */
#define ARCHIVER_FUNCTION_COMMAND 0
#define ARCHIVER_FUNCTION_GET_VERSION 1
#define ARCHIVER_FUNCTION_CHECK_ARCHIVE 16
#define ARCHIVER_FUNCTION_CONFIG_DIALOG 17
#define ARCHIVER_FUNCTION_GET_FILE_COUNT 18
typedef int32_t(ARCHIVER_CALL* ArchiverQueryFunctionListFn)(int32_t function);

#ifdef __cplusplus
}
#endif

#endif
