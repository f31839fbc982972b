#include "tree_compare.h"

#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::map<std::string, fs::directory_entry> Listing(const fs::path& root) {
    std::map<std::string, fs::directory_entry> entries;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error))
        entries[fs::relative(it->path(), root).string()] = *it;
    return entries;
}

}  // namespace

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string CompareTrees(const fs::path& expected, const fs::path& actual, bool times) {
    std::string differences;
    auto want = Listing(expected), got = Listing(actual);
    for (const auto& [name, entry] : want) {
        auto found = got.find(name);
        if (found == got.end()) {
            differences += "missing " + name + "\n";
            continue;
        }
        const fs::directory_entry& other = found->second;
        if (entry.is_directory() != other.is_directory() || entry.is_symlink() != other.is_symlink()) {
            differences += "kind differs: " + name + "\n";
        } else if (entry.is_regular_file()) {
            if (ReadFile(entry.path()) != ReadFile(other.path())) differences += "bytes differ: " + name + "\n";
            // Formats with MS-DOS times keep even seconds only.
            auto apart = entry.last_write_time() - other.last_write_time();
            if (times && (apart > std::chrono::seconds(2) || apart < -std::chrono::seconds(2)))
                differences += "time differs: " + name + "\n";
        }
    }
    for (const auto& [name, entry] : got)
        if (!want.count(name)) differences += "unexpected " + name + "\n";
    return differences;
}
