// The names of users and groups, as the file manager shows a file's owner.
#ifndef KELVORA_PLATFORM_USERS_H
#define KELVORA_PLATFORM_USERS_H

#include <sys/types.h>

#include <optional>
#include <string>

namespace platform {

// The name of user `uid` or group `gid`, nothing when the system has none.
std::optional<std::string> UserName(uid_t uid);
std::optional<std::string> GroupName(gid_t gid);

}  // namespace platform

#endif
