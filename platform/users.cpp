#include "users.h"

#include <grp.h>
#include <pwd.h>

#include <array>

namespace platform {

std::optional<std::string> UserName(uid_t uid) {
    std::array<char, 4096> buffer{};
    passwd user{};
    passwd* found = nullptr;
    if (getpwuid_r(uid, &user, buffer.data(), buffer.size(), &found) != 0 || !found) return std::nullopt;
    return std::string(found->pw_name);
}

std::optional<std::string> GroupName(gid_t gid) {
    std::array<char, 4096> buffer{};
    group team{};
    group* found = nullptr;
    if (getgrgid_r(gid, &team, buffer.data(), buffer.size(), &found) != 0 || !found) return std::nullopt;
    return std::string(found->gr_name);
}

}  // namespace platform
