// What a test's desktop trash holds, read as a file manager reads it.
#ifndef KELVORA_TESTS_TRASH_CONTENTS_H
#define KELVORA_TESTS_TRASH_CONTENTS_H

#include <filesystem>
#include <string>
#include <vector>

struct Trashed {
    std::string name;      // in files/
    std::string contents;  // a symbolic link's target
    std::string path;      // Path= as written; empty when the info file is missing or malformed
    std::string date;      // DeletionDate=
};

// The trash in `trash` (for example XDG_DATA_HOME/Trash), sorted by name;
// each file with what its info file records.
std::vector<Trashed> TrashContents(const std::filesystem::path& trash);

#endif
