#include "names.h"

#include "name_encoding.h"

namespace archivers {
namespace {

// Removes "." and empty parts and appends the rest to `parts`. ".." is
// refused, or with `allow_up` taken back off `parts`, but only before the
// first ordinary part: after one, the part before it may itself be a link,
// and ".." would then lead wherever that link points.
bool AddParts(std::vector<std::string>& parts, std::string_view name, bool backslash_separates, bool allow_up) {
    size_t start = 0;
    bool named = false;
    for (size_t i = 0; i <= name.size(); ++i) {
        bool separator = i == name.size() || name[i] == '/' || (backslash_separates && name[i] == '\\');
        if (!separator) continue;
        std::string_view part = name.substr(start, i - start);
        start = i + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!allow_up || named || parts.empty()) return false;
            parts.pop_back();
            continue;
        }
        parts.emplace_back(part);
        named = true;
    }
    return true;
}

}  // namespace

std::string DecodeEntryName(std::string_view raw) { return DecodeName(raw, NameEncoding::Auto); }

std::optional<std::vector<std::string>> SafeParts(std::string_view name, bool backslash_separates) {
    if (name.empty() || name.front() == '/' || (backslash_separates && name.front() == '\\')) return std::nullopt;
    // "C:" at the start is a Windows drive, never a folder of ours.
    if (name.size() >= 2 && name[1] == ':') return std::nullopt;
    std::vector<std::string> parts;
    if (!AddParts(parts, name, backslash_separates, false)) return std::nullopt;
    return parts;
}

bool LinkStaysInside(const std::vector<std::string>& link_parts, std::string_view target) {
    if (target.empty() || target.front() == '/') return false;
    std::vector<std::string> resolved(link_parts.begin(), link_parts.end() - (link_parts.empty() ? 0 : 1));
    return AddParts(resolved, target, false, true);
}

}  // namespace archivers
