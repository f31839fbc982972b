// Converting a text file in place: its line endings (done here) or its
// Japanese character code (done by nkf32 through the library). The previous
// contents are kept beside the file under its backup name; an older backup
// goes to the desktop's trash.
//
// A file is never left half-written and nothing is lost: the new contents go
// to a temporary file in the same folder first, and only once they are on
// disk is the file moved to its backup name and the temporary file renamed
// to the file's name. When a step fails, whatever was moved is put back.
#ifndef KELVORA_CORE_TEXT_CONVERT_H
#define KELVORA_CORE_TEXT_CONVERT_H

#include <cstdint>
#include <string>

#include "session.h"

namespace core {

// The file name with ".bef" appended: readme.txt.bef for readme.txt.
std::string BackupName(const std::string& path);

// The bytes of line ending 1 (CR LF), 2 (CR) or 3 (LF); empty for 0 and for
// any other index.
std::string LineEnding(int index);

// 1 if the file holds CR LF anywhere, else 2 if it holds CR, else 3 if it
// holds LF, else 0 (also when it cannot be read).
int16_t DetectLineEnding(const std::string& path);

// Replaces every LineEnding(from) in the file by LineEnding(to), comparing
// raw bytes, and keeps the old contents under the backup name (an older
// backup goes to the desktop's trash, unless it holds the same). Refreshes
// the file list. On failure the file is as it was, the user is told why, and
// the answer is false.
bool ConvertLineEnding(Context& ctx, int from, int to, const std::string& path);

// The line-ending menu entry `target` (1 CR LF, 2 CR, 3 LF) on the file:
// converts the kind of line ending found in it and reports the outcome.
void LineEndingCommand(Context& ctx, const std::string& path, int target);

// Converts `source` into `target` with nkf32 to Shift-JIS (code 1), JIS (2)
// or EUC (3). The previous contents of `target`, when it exists, are kept
// under its backup name; when the converter fails, `target` is untouched.
// Tells the user the outcome; true on success.
bool ConvertKanjiCode(Context& ctx, int code, const std::string& source, const std::string& target);

// The character-code menu entry `code` (1..3) on the file: converts it in place.
void KanjiCodeCommand(Context& ctx, const std::string& path, int code);

}  // namespace core

#endif
