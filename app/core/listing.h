// What an archive holds, as its module lists it: enough for extraction to
// tell an archive of one entry, or of one folder that holds everything.
#ifndef KELVORA_CORE_LISTING_H
#define KELVORA_CORE_LISTING_H

#include <optional>
#include <string>
#include <vector>

#include "catalogue.h"
#include "library.h"

namespace core {

// The entry names of the archive at `path` as the module of `row` lists them
// ("dir/", "dir/a.txt"), or nothing when they cannot be had: the row has no
// list command, the path holds a double quote, the module fails, or the
// listing outgrows what is read.
std::optional<std::vector<std::string>> ListEntries(Library& library, const ArchiverRow& row,
                                                    const std::string& path);

// Where an entry goes below the output folder: its parts joined by "/",
// "." and empty parts dropped, "\" a separator too where
// `backslash_separates` ("./a\b/" gives "a/b").
std::string EntryPath(const std::string& name, bool backslash_separates);

// A name at the top of an archive; a folder when an entry lies inside it or
// its own entry ends in a separator.
struct TopLevelName {
    std::string name;
    bool folder = false;
    bool operator==(const TopLevelName&) const = default;
};

// The distinct first parts of the entries, in the order first met.
std::vector<TopLevelName> TopLevelNames(const std::vector<std::string>& entries, bool backslash_separates);

}  // namespace core

#endif
