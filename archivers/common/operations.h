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

// A ZIP with many entries is extracted by two workers at once. Each reads
// every header (skipping an entry of a ZIP is a seek) and numbers the
// entries alike; the first takes the even ones and every folder, the second
// the odd files and links. Only the first worker may split (Share::First):
// it reads every header once more beforehand and splits only an archive of
// at least kMinimumSplitEntries selected files and links, with no encrypted
// entry (one password question is all the user sees), no hard link (its
// target may fall to the other share), no two entries of the same name
// (the later must win, as it does in order) and no file or link where
// another entry needs a folder (which of them fails depends on the order).
// It then makes the folder entries, so that which folders this extraction
// made is known to it alone, and gives them their times and modes after the
// second worker has written everything into them.
enum class Share : uint8_t { Whole = 0, First = 1, Second = 2 };

// Entries from which a second worker pays (bench/README.md): it costs a
// second reading of every header (3.4 us an entry) before it starts, its
// own start (6 ms) and its own reading of every header, and saves half of
// the writing, some 66 us of CPU an entry on tmpfs.
inline constexpr int32_t kMinimumSplitEntries = 256;

// How one share's walk went, entries numbered from 0 in archive order: the
// first entry of the share that failed, and where and why the walk stopped
// (after entry stop_index; at the end, stop_index is the number of entries).
// The kinds are in the order one walk meets them at one entry.
enum class Stop : uint8_t {
    Fatal = 0,       // cancelled, disk full: the walk's result is stop_code
    Broken = 1,      // the entry's data left the archive unreadable
    Unreadable = 2,  // the next header could not be read (stop_code)
    End = 3,         // stop_code is what the end of the archive gave
};
struct ShareOutcome {
    int32_t first_index = -1;  // -1: none failed
    int32_t first_code = 0;
    int32_t stop_index = 0;
    Stop stop = Stop::End;
    int32_t stop_code = 0;
};

// The result one worker walking the whole archive would have given: the
// walk stops where the earlier share stopped, and the first failure in
// archive order before it wins, unless the stop was fatal. Entries the other
// worker wrote after that stop stay.
int32_t CombineShares(const ShareOutcome& a, const ShareOutcome& b);

// Told of a shared extraction's steps by the walk that does one share.
class ShareListener {
public:
    virtual ~ShareListener() = default;
    // While the first worker reads the headers to decide: no archive bytes
    // of the extraction are read meanwhile.
    virtual void Surveying(bool surveying) = 0;
    // The first worker splits: the second may start, with names read as `chosen`.
    virtual void Splitting(NameEncoding chosen) = 0;
    // The share is written. The first worker's returns once the second
    // share is written too.
    virtual void Written(const ShareOutcome& outcome) = 0;
};

struct ShareOptions {
    Share share = Share::Whole;
    NameEncoding chosen = NameEncoding::Auto;  // the second share: as the first chose
    ShareListener* listener = nullptr;  // required but for Share::Whole
};

// The work of each operation, done where the archive is read (the worker).
// `listener`, when given, hears of every temporary file before it is made.
int32_t Extract(Kind kind, const Command& command, Progress& progress, TemporaryListener* listener = nullptr,
                const ReadOptions& options = {}, const ShareOptions& shares = {});
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
