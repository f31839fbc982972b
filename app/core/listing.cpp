#include "listing.h"

#include <algorithm>

namespace core {
namespace {

// A listing that fills the first buffer is asked for once more with the
// largest the worker can send.
constexpr uint32_t kListingSizes[] = {1u << 20, 64u << 20};

bool IsSeparator(char c, bool backslash_separates) { return c == '/' || (backslash_separates && c == '\\'); }

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The parts of an entry name, "." and empty parts dropped.
std::vector<std::string> EntryParts(const std::string& name, bool backslash_separates) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !IsSeparator(name[i], backslash_separates)) continue;
        std::string part = name.substr(start, i - start);
        if (!part.empty() && part != ".") parts.push_back(std::move(part));
        start = i + 1;
    }
    return parts;
}

}  // namespace

std::optional<std::vector<std::string>> ListEntries(Library& library, const ArchiverRow& row,
                                                    const std::string& path) {
    // A path with a double quote cannot be put in a command line.
    if (row.list.empty() || path.find('"') != std::string::npos) return std::nullopt;
    const std::string command_line = row.list + "\"" + path + "\"";
    for (uint32_t size : kListingSizes) {
        std::string listing;
        if (library.DravxText(row.index, command_line, size, listing) != 0) return std::nullopt;
        if (listing.size() + 1 < size) return Lines(listing);
    }
    return std::nullopt;  // cut off: what is missing could be anywhere
}

std::string EntryPath(const std::string& name, bool backslash_separates) {
    std::string path;
    for (const std::string& part : EntryParts(name, backslash_separates)) path += (path.empty() ? "" : "/") + part;
    return path;
}

std::vector<TopLevelName> TopLevelNames(const std::vector<std::string>& entries, bool backslash_separates) {
    std::vector<TopLevelName> names;
    for (const std::string& entry : entries) {
        const std::vector<std::string> parts = EntryParts(entry, backslash_separates);
        if (parts.empty()) continue;  // "./": the archive's own top
        const bool folder = parts.size() > 1 || IsSeparator(entry.back(), backslash_separates);
        auto known =
            std::find_if(names.begin(), names.end(), [&](const TopLevelName& n) { return n.name == parts[0]; });
        if (known == names.end())
            names.push_back({parts[0], folder});
        else
            known->folder = known->folder || folder;
    }
    return names;
}

}  // namespace core
