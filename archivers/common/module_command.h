// What an archiver module does when the program calls it: each operation
// that reads an archive is handed to the worker process.
#ifndef KELVORA_ARCHIVERS_MODULE_COMMAND_H
#define KELVORA_ARCHIVERS_MODULE_COMMAND_H

#include <cstdint>

#include "hwnd.h"
#include "reader.h"

namespace archivers {

struct ModuleInfo {
    Kind kind;
    const char* name;      // "Unlha32"
    const char* formats;   // for the settings window
};

// The command function: runs one command line, writes any listing into
// `output` (at most `output_size` bytes, zero-terminated).
int32_t RunCommand(const ModuleInfo& module, HWND owner, const char* line, char* output, uint32_t output_size);

// 1 when the file is an archive of the module's formats, else 0. Mode bit 1
// (value 2) reads every entry's data and checks it.
int32_t ModuleCheckArchive(Kind kind, const char* file, int32_t mode);
// Entries in the archive, or -1 when it cannot be read to its end.
int32_t ModuleFileCount(Kind kind, const char* file);
// TAR's archive type code, 0 when unknown.
int32_t ModuleTarArchiveType(const char* file);

}  // namespace archivers

#endif
