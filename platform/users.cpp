#include "users.h"

#include <grp.h>
#include <pwd.h>

#include <array>

namespace platform {
namespace {

// One entry of the user or group database, looked up with its *_r function.
template <class Entry, class Id>
std::optional<std::string> NameIn(int (*lookup)(Id, Entry*, char*, size_t, Entry**), Id id, char* Entry::*name) {
    std::array<char, 4096> buffer{};
    Entry entry{};
    Entry* found = nullptr;
    if (lookup(id, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return std::nullopt;
    return std::string(found->*name);
}

}  // namespace

std::optional<std::string> UserName(uid_t uid) { return NameIn(getpwuid_r, uid, &passwd::pw_name); }

std::optional<std::string> GroupName(gid_t gid) { return NameIn(getgrgid_r, gid, &group::gr_name); }

}  // namespace platform
