#include "properties.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <ctime>

#include "identify.h"
#include "users.h"

namespace core {

namespace {

std::string KindOf(mode_t mode) {
    if (S_ISREG(mode)) return "ファイル";
    if (S_ISDIR(mode)) return "フォルダ";
    if (S_ISLNK(mode)) return "シンボリックリンク";
    return "その他";
}

std::string TimeText(time_t when) {
    std::tm local{};
    if (!localtime_r(&when, &local)) return {};
    char text[32];
    std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &local);
    return text;
}

std::string PermissionText(mode_t mode) {
    static constexpr std::array<mode_t, 9> kBits = {S_IRUSR, S_IWUSR, S_IXUSR, S_IRGRP, S_IWGRP,
                                                    S_IXGRP, S_IROTH, S_IWOTH, S_IXOTH};
    std::string text;
    for (size_t i = 0; i < kBits.size(); ++i) text += (mode & kBits[i]) ? "rwx"[i % 3] : '-';
    char octal[16];
    std::snprintf(octal, sizeof octal, " (%03o)", static_cast<unsigned>(mode & 07777));
    return text + octal;
}

std::string OwnerText(uid_t uid, gid_t gid) {
    return platform::UserName(uid).value_or(std::to_string(uid)) + " / " +
           platform::GroupName(gid).value_or(std::to_string(gid));
}

}  // namespace

std::optional<FileProperties> ReadProperties(const std::string& path) {
    struct stat own {};
    if (path.empty() || lstat(path.c_str(), &own) != 0) return std::nullopt;
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();

    FileProperties properties;
    const size_t slash = trimmed.rfind('/');
    if (trimmed == "/") {
        properties.name = "/";
    } else if (slash == std::string::npos) {
        properties.name = trimmed;
    } else {
        properties.name = trimmed.substr(slash + 1);
        properties.location = slash == 0 ? "/" : trimmed.substr(0, slash);
    }
    properties.kind = KindOf(own.st_mode);

    // A link is described by what it points at, except for its own kind and target.
    struct stat shown = own;
    if (S_ISLNK(own.st_mode)) {
        std::array<char, 4096> target{};
        const ssize_t length = readlink(path.c_str(), target.data(), target.size() - 1);
        if (length > 0) properties.link_target.assign(target.data(), static_cast<size_t>(length));
        struct stat pointed {};
        if (stat(path.c_str(), &pointed) == 0) shown = pointed;
    }
    properties.size = static_cast<uint64_t>(shown.st_size);
    properties.size_text = GroupThousands(static_cast<int64_t>(shown.st_size)) + " バイト";
    properties.modified = TimeText(shown.st_mtime);
    properties.permissions = PermissionText(shown.st_mode);
    properties.owner = OwnerText(shown.st_uid, shown.st_gid);
    return properties;
}

void ShowProperties(Context& ctx, const std::string& path) {
    if (!ReadProperties(path)) return;
    ctx.shell.ShowProperties(path);
}

}  // namespace core
