#include "trash_contents.h"

#include <algorithm>
#include <regex>

#include "tree_compare.h"

namespace fs = std::filesystem;

std::vector<Trashed> TrashContents(const fs::path& trash) {
    static const std::regex kInfo(
        "\\[Trash Info\\]\nPath=([^\n]+)\nDeletionDate=(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d)\n");
    std::vector<Trashed> found;
    std::error_code none;
    for (const auto& entry : fs::directory_iterator(trash / "files", none)) {
        Trashed item{entry.path().filename().string(), {}, {}, {}};
        item.contents = entry.is_symlink() ? fs::read_symlink(entry.path()).string() : ReadFile(entry.path());
        std::smatch match;
        const std::string info = ReadFile(trash / "info" / (item.name + ".trashinfo"));
        if (std::regex_match(info, match, kInfo)) {
            item.path = match[1];
            item.date = match[2];
        }
        found.push_back(std::move(item));
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return found;
}
