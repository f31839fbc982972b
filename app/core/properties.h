// What the properties window shows about a file or a folder, read without
// any window; and the menu entries' way to ask the desktop for that window.
#ifndef KELVORA_CORE_PROPERTIES_H
#define KELVORA_CORE_PROPERTIES_H

#include <cstdint>
#include <optional>
#include <string>

#include "session.h"

namespace core {

struct FileProperties {
    std::string name;         // the last part of the path; "/" for the root
    std::string location;     // the folder holding it; empty for the root
    std::string kind;         // "ファイル", "フォルダ", "シンボリックリンク" or "その他"
    uint64_t size = 0;        // bytes; for a link, the size of what it points at
    std::string size_text;    // "1,234 バイト"
    std::string modified;     // "2026/12/07 07:32:26", local time
    std::string permissions;  // "rw-r--r-- (644)"
    std::string owner;        // user and group names, "user / group"
    std::string link_target;  // for a symbolic link, where it points
};

// The properties of `path`, or nothing when it does not exist (a dangling
// link still has properties of its own).
std::optional<FileProperties> ReadProperties(const std::string& path);

// The desktop's properties window for `path`. A path that has gone shows
// nothing and no message.
void ShowProperties(Context& ctx, const std::string& path);

}  // namespace core

#endif
