// Entry names as archives store them, made safe to write on this system.
#ifndef KELVORA_ARCHIVERS_NAMES_H
#define KELVORA_ARCHIVERS_NAMES_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace archivers {

// A stored name in UTF-8, its encoding guessed from the name alone (see
// name_encoding.h; an archive's names are better guessed all together).
// Bytes that do not decode are kept visible as "%XX".
std::string DecodeEntryName(std::string_view raw);

// The folders and name of an entry below the destination: "/" separates, and
// so does "\" where `backslash_separates` (archives made on Windows). Empty
// and "." parts are dropped, so "./" gives no parts: the destination itself.
// Nothing when the name would leave the destination (an absolute name, a
// drive, a ".." part).
std::optional<std::vector<std::string>> SafeParts(std::string_view name, bool backslash_separates);

// True when a symbolic link at `link_parts` (its own name last) pointing at
// `target` resolves to a place inside the destination.
bool LinkStaysInside(const std::vector<std::string>& link_parts, std::string_view target);

}  // namespace archivers

#endif
