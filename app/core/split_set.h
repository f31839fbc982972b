// Numbered split sets: a file cut into parts named "a.000", "a.001", ...
// (the program's own numbering) or "a.zip.001", "a.zip.002", ... (as 7-Zip
// and file splitters number them).
#ifndef KELVORA_CORE_SPLIT_SET_H
#define KELVORA_CORE_SPLIT_SET_H

#include <string>
#include <vector>

namespace core {

// The parts of the set that `first_part` begins: the first part itself, then
// the names with the following three-digit numbers as long as they exist as
// files, stopping at the first gap.
std::vector<std::string> SplitParts(const std::string& first_part);

// The part count when `path` is the first part of a split set of two parts or
// more, otherwise 0. A first part is a name ending in "000", or one ending in
// ".001" that has no "000" beside it (the set would begin there).
int SplitSetPartCount(const std::string& path);

// The output name a join proposes: "a.zip" for "a.zip.001" (the number and
// its dot dropped); for "a.000" the name without its number, "a.", which
// leaves the extension to the user.
std::string JoinedName(const std::string& first_part);

}  // namespace core

#endif
