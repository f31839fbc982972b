// What an archiver module does, whatever its prefix.
#ifndef KELVORA_ARCHIVERS_OPERATIONS_H
#define KELVORA_ARCHIVERS_OPERATIONS_H

#include <cstdint>
#include <string>

#include "command_line.h"
#include "disk_writer.h"
#include "name_encoding.h"
#include "password.h"
#include "progress.h"
#include "reader.h"

namespace archivers {

// How entries are read: the encoding of their names, and where a password
// for encrypted ones comes from (none: they fail with kEncrypted).
struct ReadOptions {
    NameEncoding names = NameEncoding::Auto;
    PasswordSource* passwords = nullptr;
};

// The work of each operation, done where the archive is read (the worker).
// `listener`, when given, hears of every temporary file before it is made.
int32_t Extract(Kind kind, const Command& command, Progress& progress, TemporaryListener* listener = nullptr,
                const ReadOptions& options = {});
int32_t Test(Kind kind, const std::string& archive, Progress& progress, const ReadOptions& options = {});
// Every entry's name, one a line.
int32_t List(Kind kind, const std::string& archive, std::string& listing, NameEncoding names = NameEncoding::Auto);

// 1 when the file is an archive of the module's formats, else 0. Mode bit 1
// (value 2) reads every entry's data and checks it.
int32_t CheckArchive(Kind kind, const char* file, int32_t mode);
// Entries in the archive, or -1 when it cannot be read to its end.
int32_t FileCount(Kind kind, const char* file);
// TAR's archive type code (tar 1, tar.gz 2, ..., 7-Zip 16, ISO 9660 17, XAR 18;
// see the source), 0 when unknown.
int32_t TarArchiveType(const char* file);

}  // namespace archivers

#endif
