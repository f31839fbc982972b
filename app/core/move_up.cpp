#include "move_up.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>
#include <vector>

#include "trash.h"

namespace core {
namespace {

namespace fs = std::filesystem;

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// True when `keep` is the file `put_away` or lies in it, at any depth.
bool Holds(const struct stat& put_away, const std::string& keep) {
    std::error_code ec;
    for (fs::path at = fs::canonical(keep, ec); !ec; at = at.parent_path()) {
        struct stat st {};
        if (lstat(at.c_str(), &st) == 0 && SameFile(st, put_away)) return true;
        if (at == at.parent_path()) break;
    }
    return false;
}

}  // namespace

bool MoveUp(const std::string& from, const std::string& to, const std::string& keep) {
    int error = platform::RenameNoReplace(AT_FDCWD, from, AT_FDCWD, to);
    if (error == 0) return true;
    if (error != EEXIST) return false;

    struct stat new_one {}, old_one {};
    if (lstat(from.c_str(), &new_one) != 0 || lstat(to.c_str(), &old_one) != 0) return false;
    if (S_ISDIR(new_one.st_mode) && S_ISDIR(old_one.st_mode)) {
        std::vector<std::string> names;
        std::error_code ec;
        for (fs::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec))
            names.push_back(it->path().filename());
        if (ec) return false;
        bool moved = true;
        for (const std::string& name : names) moved = MoveUp(from + "/" + name, to + "/" + name, keep) && moved;
        return moved && rmdir(from.c_str()) == 0;
    }
    if (platform::SameContents(AT_FDCWD, from, AT_FDCWD, to)) return unlink(from.c_str()) == 0;
    if (Holds(old_one, keep)) return false;
    return platform::PutAway(to) && platform::RenameNoReplace(AT_FDCWD, from, AT_FDCWD, to) == 0;
}

}  // namespace core
