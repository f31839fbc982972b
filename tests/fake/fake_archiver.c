/* A scriptable archiver module for tests. One source is built under every
 * archiver's file name (FAKE_PREFIX, FAKE_NAME), in two variants: the full one
 * exports every entry point of the archiver API, the empty one (FAKE_EMPTY)
 * exports none.
 *
 * Answers come from the file named by $FAKE_ARCHIVER_SCRIPT, lines of the form
 * "Prefix.Function=value" (for example "Tar.GetVersion=150",
 * "Unlha.Command=0x8012", "Cab.Output=text copied to the output buffer"); a
 * later line for the same key wins.
 * Every call, load and unload is appended to the file named by
 * $FAKE_ARCHIVER_LOG, one line each. A test program may export
 * "fake_archiver_hook" (void (const char* prefix)); the command function calls
 * it while it runs. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "archiver_api.h"

#define CAT2(a, b) a##b
#define CAT(a, b) CAT2(a, b)
#define STR2(a) #a
#define STR(a) STR2(a)
#define PREFIX STR(FAKE_PREFIX)

static void Log(const char* format, ...) {
    const char* path = getenv("FAKE_ARCHIVER_LOG");
    if (!path) return;
    FILE* log = fopen(path, "a");
    if (!log) return;
    va_list args;
    va_start(args, format);
    vfprintf(log, format, args);
    va_end(args);
    fputc('\n', log);
    fclose(log);
}

__attribute__((constructor)) static void Loaded(void) { Log("load %s", STR(FAKE_NAME)); }
__attribute__((destructor)) static void Unloaded(void) { Log("unload %s", STR(FAKE_NAME)); }

#ifndef FAKE_EMPTY

/* The text after "Prefix.function=" in the script, copied into `value`. */
static int ScriptText(const char* function, char* value, size_t size) {
    const char* path = getenv("FAKE_ARCHIVER_SCRIPT");
    FILE* script = path ? fopen(path, "r") : NULL;
    if (!script) return 0;
    char key[128];
    snprintf(key, sizeof key, "%s.%s=", PREFIX, function);
    char line[4096];
    int found = 0;
    while (fgets(line, sizeof line, script)) { /* the last line for a key wins */
        if (strncmp(line, key, strlen(key)) != 0) continue;
        line[strcspn(line, "\n")] = '\0';
        snprintf(value, size, "%s", line + strlen(key));
        found = 1;
    }
    fclose(script);
    return found;
}

static int32_t Answer(const char* function, int32_t fallback) {
    char value[64];
    return ScriptText(function, value, sizeof value) ? (int32_t)strtol(value, NULL, 0) : fallback;
}

ARCHIVER_EXPORT int32_t FAKE_PREFIX(HWND owner, const char* command_line, char* output, uint32_t output_size) {
    Log("%s owner=%#lx cmd=%s output=%s size=%u", PREFIX, (unsigned long)(uintptr_t)owner, command_line,
        output ? "set" : "null", output_size);
    void (*hook)(const char*) = (void (*)(const char*))dlsym(RTLD_DEFAULT, "fake_archiver_hook");
    if (hook) hook(PREFIX);
    char text[4096];
    if (output && output_size > 0 && ScriptText("Output", text, sizeof text))
        snprintf(output, output_size, "%s", text);
    return Answer("Command", 0);
}

ARCHIVER_EXPORT int32_t CAT(FAKE_PREFIX, CheckArchive)(const char* file_name, int32_t mode) {
    Log("%sCheckArchive %s %d", PREFIX, file_name, mode);
    return Answer("CheckArchive", 0);
}

ARCHIVER_EXPORT int32_t CAT(FAKE_PREFIX, GetFileCount)(const char* file_name) {
    Log("%sGetFileCount %s", PREFIX, file_name);
    return Answer("GetFileCount", 0);
}

ARCHIVER_EXPORT uint16_t CAT(FAKE_PREFIX, GetVersion)(void) {
    Log("%sGetVersion", PREFIX);
    return (uint16_t)Answer("GetVersion", 300);
}

ARCHIVER_EXPORT uint16_t CAT(FAKE_PREFIX, GetSubVersion)(void) {
    Log("%sGetSubVersion", PREFIX);
    return (uint16_t)Answer("GetSubVersion", 0);
}

ARCHIVER_EXPORT int32_t CAT(FAKE_PREFIX, ConfigDialog)(HWND owner, char* options, int32_t mode) {
    Log("%sConfigDialog owner=%#lx options=%s mode=%d", PREFIX, (unsigned long)(uintptr_t)owner,
        options ? options : "null", mode);
    char text[4096];
    if (options && ScriptText("Options", text, sizeof text)) strcpy(options, text);
    return Answer("ConfigDialog", 0);
}

ARCHIVER_EXPORT int32_t CAT(FAKE_PREFIX, QueryFunctionList)(int32_t function) {
    Log("%sQueryFunctionList %d", PREFIX, function);
    return Answer("QueryFunctionList", 0);
}

#ifdef FAKE_TAR
ARCHIVER_EXPORT int32_t TarGetArchiveType(const char* file_name) {
    Log("TarGetArchiveType %s", file_name);
    return Answer("GetArchiveType", 1);
}
#endif

#endif /* FAKE_EMPTY */
