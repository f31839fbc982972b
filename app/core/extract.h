// Extraction of the file identified last, and the folders it goes to.
#ifndef KELVORA_CORE_EXTRACT_H
#define KELVORA_CORE_EXTRACT_H

#include <string>

#include "session.h"

namespace core {

// Acts on `path` as identification left it (FileKind, FileArchiver): an
// archive is extracted into the destination of the destination mode, in a
// new folder named after it as the settings and its entries decide, and the
// output is shown; a split set is joined; a file that is not an archive is
// opened with its program. Everything is reported to the user. The answer is
// 0 when the archive was extracted (or the set joined, or the file handed to
// its program), the archiver's code when that failed, and -1 when nothing
// could be done. A folder that a failed extraction made and left empty is
// removed again.
int32_t ExtractArchive(Context& ctx, const std::string& path);

// The file the program was started with, by the main window or in console
// mode: identified without counting its entries and, when it is an archive,
// extracted. The process's exit status: 0 on success, 1 when it is no
// archive (the user is told) or did not extract.
int ExtractStartFile(Context& ctx, const std::string& path);

// What extraction knows of an archive's entries before it runs.
struct ArchiveShape {
    int32_t entries = -1;       // how many; -1 when unknown
    std::string only_entry{};   // the path of the one entry ("dir/a.txt"), when listed
    std::string sole_folder{};  // the one folder at the top that holds every entry, when listed
};

// One extraction worked out from the archive, the settings and the
// archiver's row alone.
struct ExtractionPlan {
    std::string command_line;  // for the archiver's module; unused for the program's own join
    std::string landing;       // the folder the entries go into as the user sees it, without its last "/"
    std::string shown;         // the folder opened for the user afterwards
    std::string output;        // what the extraction makes: the folder of its entries, or the one entry
};
// `destination` is the folder of the destination mode. A folder named after
// the archive is made unless the module makes its own, the archive holds a
// single entry, the settings ask for none, or they prevent a double folder
// and every entry already lies in one folder.
ExtractionPlan PlanExtraction(const std::string& archive, const std::string& destination, const Settings& settings,
                              const ArchiverRow& row, const ArchiveShape& shape);

// The desktop and documents folders, each ending in "/"; the home folder when
// the desktop cannot tell.
std::string GetDesktopPath(Context& ctx);
std::string GetMyDocumentsPath(Context& ctx);

// The folder named after an archive: "a.tar.gz" -> "a", "a.b.zip" -> "a.b".
std::string FolderNameFor(const std::string& file_name);

// True, after telling the user, when `path` holds a double quote and so
// cannot be put in a command line.
bool RefuseQuotedPath(Context& ctx, const std::string& path);

// True, after telling the user, when `destination` is not a full folder path
// (an emptied or relative manual destination would land anywhere).
bool RefuseDestination(Context& ctx, const std::string& destination);

// Tells the user that the module of `index` has gone ("UNLHA32.DLL が見つかりません。").
void ReportMissingModule(Context& ctx, int index);

}  // namespace core

#endif
