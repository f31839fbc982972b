#include "operations.h"

#include <fnmatch.h>
#include <locale.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <unordered_set>
#include <vector>

#include "disk_writer.h"
#include "entry_names.h"
#include "names.h"

namespace archivers {
namespace {

// The module works in a UTF-8 locale on its own thread, whatever the program's.
class ThreadLocale {
public:
    ThreadLocale() : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr)) {
        if (locale_) previous_ = uselocale(locale_);
    }
    ~ThreadLocale() {
        if (!locale_) return;
        uselocale(previous_);
        freelocale(locale_);
    }
    ThreadLocale(const ThreadLocale&) = delete;
    ThreadLocale& operator=(const ThreadLocale&) = delete;

private:
    locale_t locale_;
    locale_t previous_ = nullptr;
};

int64_t FileSize(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_size : 0;
}

std::string BaseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A compressed single file is named after the archive without its compression suffix.
std::string RawFileName(const std::string& archive) {
    std::string name = BaseName(archive);
    for (const char* suffix : {".gz", ".z", ".bz2", ".xz", ".lzma", ".zst"}) {
        size_t length = std::strlen(suffix);
        if (name.size() > length && strcasecmp(name.c_str() + name.size() - length, suffix) == 0)
            return name.substr(0, name.size() - length);
    }
    return name + ".out";
}

std::string EntryName(const Reader& reader, EntryNames* names, const std::string& archive) {
    if (reader.IsRawFile()) return RawFileName(archive);
    return names ? names->Path(reader) : std::string();
}

// Archives made on Windows may separate folders with "\".
bool BackslashSeparates(Kind kind) { return kind != Kind::Tar; }

bool Selected(const std::string& name, const std::vector<std::string>& patterns) {
    if (patterns.empty()) return true;
    std::string base = name.substr(name.rfind('/') == std::string::npos ? 0 : name.rfind('/') + 1);
    for (const auto& pattern : patterns) {
        if (pattern == "*.*" || pattern == "*") return true;
        if (fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0 ||
            fnmatch(pattern.c_str(), base.c_str(), FNM_CASEFOLD) == 0)
            return true;
    }
    return false;
}

timespec EntryTime(archive_entry* entry) {
    if (!archive_entry_mtime_is_set(entry)) return {0, UTIME_OMIT};
    return {archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)};
}

// Reports how far the archive has been read while one entry's data is read,
// so that a long entry still moves the bar and can be cancelled.
struct Beat {
    Progress& progress;
    const Reader& reader;
    const std::string& name;
    int64_t total;
    bool operator()() const { return progress.Step(name, reader.BytesRead(), total); }
};

// The size a sparse file ends at (it may end in a hole); 0 for any other.
int64_t SparseSize(archive_entry* entry) {
    if (archive_entry_sparse_count(entry) == 0 || !archive_entry_size_is_set(entry)) return 0;
    return archive_entry_size(entry);
}

int32_t WriteData(Reader& reader, PendingFile& file, const Beat& beat) {
    int32_t code = reader.ReadData([&](const char* data, size_t size, int64_t offset) {
        return beat() ? file.Write(data, size, offset) : result::kCancelled;
    });
    if (code != result::kOk) return code;
    return file.Commit(SparseSize(reader.Entry()), EntryTime(reader.Entry()));
}

int32_t WriteFile(Reader& reader, DiskWriter& disk, const Parts& parts, const Beat& beat) {
    archive_entry* entry = reader.Entry();
    if (!reader.CanRead()) return result::kEncrypted;
    // Only an empty file with other names may later get its data from one of
    // them (cpio keeps it with the last name); remembering only those keeps
    // the writer's memory from growing with the number of entries.
    const bool linkable = archive_entry_size(entry) == 0 && archive_entry_nlink(entry) != 1;
    std::optional<PendingFile> file;
    if (int32_t code = disk.BeginFile(parts, archive_entry_perm(entry), file, linkable); code != result::kOk)
        return code;
    return WriteData(reader, *file, beat);
}

// cpio (and pax) may store a file's data with a later name that is a hard
// link to the first: every name of the file must end up with it.
int32_t WriteLinkWithData(Reader& reader, DiskWriter& disk, const Parts& parts, const Parts& target,
                          const Beat& beat) {
    archive_entry* entry = reader.Entry();
    if (!reader.CanRead()) return result::kEncrypted;
    std::optional<PendingFile> file;
    if (int32_t code = disk.BeginLinkedFile(parts, target, archive_entry_perm(entry), file); code != result::kOk)
        return code;
    if (int32_t code = WriteData(reader, *file, beat); code != result::kOk) return code;
    return disk.FinishLinkedFile(parts, target);
}

int32_t WriteEntry(Kind kind, Reader& reader, DiskWriter& disk, EntryNames& names, const std::string& name,
                   const Beat& beat) {
    archive_entry* entry = reader.Entry();
    auto parts = SafeParts(name, BackslashSeparates(kind));
    if (!parts) return result::kBrokenHeader;  // would land outside the destination
    if (parts->empty()) return result::kOk;     // "./": the destination itself

    if (archive_entry_hardlink(entry)) {
        auto target = SafeParts(names.Hardlink(reader), BackslashSeparates(kind));
        if (!target || target->empty()) return result::kBrokenHeader;
        if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > 0)
            return WriteLinkWithData(reader, disk, *parts, *target, beat);
        return disk.MakeHardLink(*parts, *target);
    }
    switch (archive_entry_filetype(entry)) {
        case AE_IFDIR:
            return disk.MakeFolder(*parts, archive_entry_perm(entry), EntryTime(entry));
        case AE_IFLNK: {
            std::string decoded = names.Symlink(reader);
            if (!LinkStaysInside(*parts, decoded)) return result::kBrokenHeader;
            return disk.MakeSymlink(*parts, decoded);
        }
        case AE_IFREG:
        case 0:
            return WriteFile(reader, disk, *parts, beat);
        default:
            return result::kWrite;  // devices and pipes are not made
    }
}

// Walks every entry of an opened archive; `visit` returns a result code and
// gets each entry's number (from 0). The first failure is the result; a
// failure marked fatal (cancel, full disk) stops the walk, and so does an
// archive that cannot be read any further. `outcome`, when given, is told
// where the first failure was and where and why the walk stopped.
// Without `names` the entries go unnamed (a count needs none).
template <class Visit>
int32_t ForEachEntry(Reader& reader, const std::string& archive, EntryNames* names, Progress& progress, Visit visit,
                     ShareOutcome* outcome = nullptr) {
    ShareOutcome walk;
    auto stop = [&](int32_t index, Stop kind, int32_t code) {
        walk.stop_index = index;
        walk.stop = kind;
        walk.stop_code = code;
        if (outcome) *outcome = walk;
        return kind == Stop::Fatal || walk.first_index < 0 ? code : walk.first_code;
    };
    const int64_t total = FileSize(archive);
    int32_t index = 0;
    for (; reader.Entry(); ++index) {
        std::string name = EntryName(reader, names, archive);
        if (!progress.Step(name, reader.BytesRead(), total)) return stop(index, Stop::Fatal, result::kCancelled);
        int32_t code = visit(reader, index, name, Beat{progress, reader, name, total});
        if (code == result::kCancelled || code == result::kDiskFull) return stop(index, Stop::Fatal, code);
        if (walk.first_index < 0 && code != result::kOk) {
            walk.first_index = index;
            walk.first_code = code;
        }
        if (reader.Broken()) return stop(index, Stop::Broken, result::kReadArchive);
        if (int32_t next = reader.Next(); next != result::kOk) return stop(index, Stop::Unreadable, next);
    }
    const int32_t rest = reader.Finish();
    progress.Step("", total, total);
    return stop(index, Stop::End, rest);
}

template <class Visit>
int32_t ForEachEntry(Kind kind, const std::string& archive, EntryNames* names, Progress& progress, Visit visit,
                     PasswordSource* passwords = nullptr) {
    Reader reader;
    if (int32_t code = reader.Open(kind, archive, passwords); code != result::kOk) return code;
    return ForEachEntry(reader, archive, names, progress, visit);
}

bool IsFolder(archive_entry* entry) {
    return !archive_entry_hardlink(entry) && archive_entry_filetype(entry) == AE_IFDIR;
}

struct FolderEntry {
    int32_t index;
    Parts parts;
    mode_t mode;
    timespec mtime;
};

// Reads every header of the archive (names decoded with `names`, which keeps
// its choice of encoding for the extraction) and answers the selected folder
// entries when the extraction may be split (see operations.h), else nothing.
// Headers only: no entry's data is read.
std::optional<std::vector<FolderEntry>> SplitPlan(Kind kind, const Command& command, EntryNames& names) {
    if (kind != Kind::Zip) return std::nullopt;
    Reader reader;
    if (reader.Open(kind, command.archive) != result::kOk) return std::nullopt;
    std::vector<FolderEntry> folders;
    std::unordered_set<std::string> paths, parents;
    std::vector<std::string> others;  // every entry that is not a folder
    int32_t index = 0;
    for (; reader.Entry(); ++index) {
        archive_entry* entry = reader.Entry();
        // A hard link's target may fall to the other share, and be written after it.
        if (archive_entry_is_encrypted(entry) || archive_entry_hardlink(entry)) return std::nullopt;
        const std::string name = names.Path(reader);
        std::optional<Parts> parts = SafeParts(name, BackslashSeparates(kind));
        if (parts && !parts->empty() && Selected(name, command.patterns)) {
            std::string path = Joined(*parts);
            if (!paths.insert(path).second) return std::nullopt;
            // Longest first: once one is known, so are the folders above it.
            for (size_t n = parts->size() - 1; n > 0 && parents.insert(Joined(*parts, n)).second; --n) {
            }
            if (IsFolder(entry))
                folders.push_back({index, std::move(*parts), archive_entry_perm(entry), EntryTime(entry)});
            else
                others.push_back(std::move(path));
        }
        // A damaged archive is read by one worker, which stops where it must.
        if (reader.Next() != result::kOk || reader.Broken()) return std::nullopt;
    }
    // Only the selected files and links are shared out: folders are the first's.
    if (others.size() < static_cast<size_t>(kMinimumSplitEntries)) return std::nullopt;
    for (const std::string& path : others)
        if (parents.count(path)) return std::nullopt;
    return folders;
}

}  // namespace

int32_t Extract(Kind kind, const Command& command, Progress& progress, TemporaryListener* listener,
                const ReadOptions& options, const ShareOptions& shares) {
    ThreadLocale locale;
    // Nothing is made before the archive is known to be readable.
    Reader reader;
    if (int32_t code = reader.Open(kind, command.archive, options.passwords); code != result::kOk) return code;
    DiskWriter disk;
    disk.SetListener(listener);
    if (int32_t code = disk.Open(command.destination, command.archive); code != result::kOk) return code;
    EntryNames names(kind, command.archive, options.names);
    if (shares.chosen != NameEncoding::Auto) names.Adopt(shares.chosen);
    Share share = shares.listener ? shares.share : Share::Whole;
    // The first share's folder entries, made before the second worker starts: their results.
    std::map<int32_t, int32_t> folder_codes;
    if (share == Share::First) {
        shares.listener->Surveying(true);
        std::optional<std::vector<FolderEntry>> folders = SplitPlan(kind, command, names);
        shares.listener->Surveying(false);
        if (!folders) {
            share = Share::Whole;
        } else {
            for (const FolderEntry& folder : *folders)
                folder_codes[folder.index] = disk.MakeFolder(folder.parts, folder.mode, folder.mtime);
            shares.listener->Splitting(names.Chosen().value_or(NameEncoding::Auto));
        }
    }
    auto write = [&](Reader& entry, int32_t index, const std::string& name, const Beat& beat) {
        if (!Selected(name, command.patterns)) return result::kOk;
        if (share == Share::Whole) return WriteEntry(kind, entry, disk, names, name, beat);
        if (IsFolder(entry.Entry())) {
            if (share == Share::Second) return result::kOk;
            auto made = folder_codes.find(index);
            if (made != folder_codes.end()) return made->second;
        } else if (index % 2 != (share == Share::Second ? 1 : 0)) {
            return result::kOk;
        }
        return WriteEntry(kind, entry, disk, names, name, beat);
    };
    ShareOutcome outcome;
    int32_t code = ForEachEntry(reader, command.archive, &names, progress, write, &outcome);
    if (share != Share::Whole) shares.listener->Written(outcome);
    disk.FinishFolders();
    return code;
}

int32_t CombineShares(const ShareOutcome& a, const ShareOutcome& b) {
    const ShareOutcome& stop =
        a.stop_index < b.stop_index || (a.stop_index == b.stop_index && a.stop <= b.stop) ? a : b;
    if (stop.stop == Stop::Fatal) return stop.stop_code;
    const ShareOutcome* first = nullptr;
    for (const ShareOutcome* share : {&a, &b})
        if (share->first_index >= 0 && share->first_index <= stop.stop_index &&
            (!first || share->first_index < first->first_index))
            first = share;
    return first ? first->first_code : stop.stop_code;
}

int32_t Test(Kind kind, const std::string& archive, Progress& progress, const ReadOptions& options) {
    ThreadLocale locale;
    EntryNames names(kind, archive, options.names);
    return ForEachEntry(
        kind, archive, &names, progress,
        [](Reader& reader, int32_t, const std::string&, const Beat& beat) {
            if (archive_entry_filetype(reader.Entry()) != AE_IFREG) return result::kOk;
            return reader.ReadData([&](const char*, size_t, int64_t) { return beat() ? result::kOk : result::kCancelled; });
        },
        options.passwords);
}

int32_t List(Kind kind, const std::string& archive, std::string& listing, NameEncoding encoding) {
    ThreadLocale locale;
    NoProgress quiet;
    EntryNames names(kind, archive, encoding);
    return ForEachEntry(kind, archive, &names, quiet, [&](Reader&, int32_t, const std::string& name, const Beat&) {
        listing += name + "\n";
        return result::kOk;
    });
}

int32_t CheckArchive(Kind kind, const char* file, int32_t mode) {
    if (!file) return 0;
    ThreadLocale locale;
    Reader reader;
    if (reader.Open(kind, file) != result::kOk) return 0;
    if (mode & 2) {
        NoProgress quiet;
        return Test(kind, file, quiet) == result::kOk ? 1 : 0;
    }
    return 1;
}

int32_t FileCount(Kind kind, const char* file) {
    if (!file) return -1;
    ThreadLocale locale;
    int32_t count = 0;
    NoProgress quiet;
    int32_t code = ForEachEntry(kind, file, nullptr, quiet, [&](Reader&, int32_t, const std::string&, const Beat&) {
        ++count;
        return result::kOk;
    });
    return code == result::kOk ? count : -1;
}

int32_t TarArchiveType(const char* file) {
    if (!file) return 0;
    ThreadLocale locale;
    Reader reader;
    if (reader.Open(Kind::Tar, file) != result::kOk) return 0;
    // Per format: the code alone, then gzip, compress, bzip2, xz, lzma, zstd.
    struct Codes { int plain, gzip, compress, bzip2, xz, lzma, zstd; };
    constexpr Codes kTar{1, 2, 3, 6, 8, 9, 10}, kRaw{0, 5, 4, 7, 11, 12, 13};
    constexpr Codes kCpio{32, 36, 37, 39, 40, 41, 42}, kAr{48, 52, 53, 55, 49, 50, 51};
    const int base = reader.Format() & ARCHIVE_FORMAT_BASE_MASK;
    // 7-Zip, ISO 9660 and XAR compress inside the format, if at all: one code
    // each, whatever is around them, so that a caller can still tell them
    // apart. tar, cpio and ar each have a block of sixteen codes, from 0, 32
    // and 48; these three take the first codes of the block from 16, which
    // none uses. The program's catalogue has no label in that block, so it
    // names each of them just "書庫".
    switch (base) {
        case ARCHIVE_FORMAT_7ZIP: return 16;
        case ARCHIVE_FORMAT_ISO9660: return 17;
        case ARCHIVE_FORMAT_XAR: return 18;
    }
    const Codes& codes = base == ARCHIVE_FORMAT_RAW ? kRaw : base == ARCHIVE_FORMAT_CPIO ? kCpio
                         : base == ARCHIVE_FORMAT_AR ? kAr : kTar;
    if (reader.HasFilter(ARCHIVE_FILTER_GZIP)) return codes.gzip;
    if (reader.HasFilter(ARCHIVE_FILTER_COMPRESS)) return codes.compress;
    if (reader.HasFilter(ARCHIVE_FILTER_BZIP2)) return codes.bzip2;
    if (reader.HasFilter(ARCHIVE_FILTER_XZ)) return codes.xz;
    if (reader.HasFilter(ARCHIVE_FILTER_LZMA)) return codes.lzma;
    if (reader.HasFilter(ARCHIVE_FILTER_ZSTD)) return codes.zstd;
    return codes.plain;
}

}  // namespace archivers
