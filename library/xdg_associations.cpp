#include "xdg_associations.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "atomic_file.h"
#include "folders.h"
#include "process.h"
#include "profile.h"
#include "settings_folder.h"

namespace dravolix::xdg {
namespace {

using platform::ProfileChange;

constexpr std::string_view kOwnTypePrefix = "application/x-kelvora-";
constexpr const char* kIconName = "zenkari-archive.png";
constexpr const char* kEntry = "Desktop Entry";
constexpr const char* kDefaults = "Default Applications";
constexpr const char* kAdded = "Added Associations";
constexpr const char* kRemoved = "Removed Associations";

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

std::vector<std::string> Split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    for (size_t begin = 0;;) {
        const size_t end = text.find(separator, begin);
        parts.emplace_back(text.substr(begin, end - begin));
        if (end == std::string_view::npos) return parts;
        begin = end + 1;
    }
}

// mkdir -p, new folders private to the user as the base folders want them.
void MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0700);  // fails harmlessly for existing ones
        if (slash == std::string::npos) return;
    }
}

// ---- MIME types ----

// Types go into profile keys and ";" lists: take only plain "major/minor" ones.
bool PlainType(std::string_view type) {
    const bool chars_ok = std::all_of(type.begin(), type.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view("+-._/").find(c) != std::string_view::npos;
    });
    const size_t slash = type.find('/');
    return chars_ok && slash != std::string_view::npos && slash > 0 && slash + 1 < type.size() &&
           type.find('/', slash + 1) == std::string_view::npos;
}

bool IsOwnType(std::string_view type) { return type.substr(0, kOwnTypePrefix.size()) == kOwnTypePrefix; }

// "lzs" for ".lzs".
std::string Bare(std::string_view extension) {
    if (!extension.empty() && extension[0] == '.') extension.remove_prefix(1);
    std::string bare;
    for (char c : extension) bare += AsciiLower(c);
    return bare;
}

std::string OwnType(std::string_view extension) { return std::string(kOwnTypePrefix) + Bare(extension); }

// The type that the glob files of the shared MIME database give "*<extension>",
// matched without regard to case: the highest weight wins, and between equal
// weights the folder that comes first. Our own types are passed over, so the
// answer does not depend on whether our package has been compiled in yet.
std::optional<std::string> LookUpType(const Folders& folders, std::string_view extension) {
    const std::string glob = "*" + std::string(extension);
    std::vector<std::string> bases{folders.data_home};
    bases.insert(bases.end(), folders.data_dirs.begin(), folders.data_dirs.end());
    std::optional<std::string> best;
    int best_weight = -1;
    for (const std::string& base : bases) {
        std::ifstream globs(base + "/mime/globs2");
        for (std::string line; std::getline(globs, line);) {
            if (line.empty() || line[0] == '#') continue;
            const std::vector<std::string> fields = Split(line, ':');  // weight:type:glob[:flags]
            if (fields.size() < 3 || !SameText(fields[2], glob)) continue;
            const std::string& type = fields[1];
            int weight = 0;
            const auto [end, error] = std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), weight);
            if (error != std::errc() || end != fields[0].data() + fields[0].size()) continue;
            if (!PlainType(type) || IsOwnType(type) || weight <= best_weight) continue;
            best = type;
            best_weight = weight;
        }
    }
    return best;
}

struct Typed {
    std::string extension;  // without the dot: "lzs"
    std::string type;
    bool own;  // a type of ours, declared in our package
};

std::vector<Typed> TypesOf(const Folders& folders, const std::vector<std::string_view>& extensions) {
    std::vector<Typed> typed;
    for (std::string_view extension : extensions) {
        const std::optional<std::string> known = LookUpType(folders, extension);
        typed.push_back({Bare(extension), known.value_or(OwnType(extension)), !known});
    }
    return typed;
}

// The types in order, each once.
std::vector<std::string> Unique(std::vector<std::string> types) {
    std::vector<std::string> unique;
    for (std::string& type : types)
        if (std::find(unique.begin(), unique.end(), type) == unique.end()) unique.push_back(std::move(type));
    return unique;
}

// ---- Our MIME package ----

std::string PackagePath(const std::string& base) { return base + "/mime/packages/" + std::string(kPackageName); }
std::string PackagePath(const Folders& folders) { return PackagePath(folders.data_home); }

// The extensions whose types of ours the package declares.
std::set<std::string> PackagedExtensions(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream read;
    read << in.rdbuf();
    const std::string text = read.str();
    const std::string marker = "type=\"" + std::string(kOwnTypePrefix);
    std::set<std::string> extensions;
    for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at)) {
        at += marker.size();
        const size_t quote = text.find('"', at);
        if (quote == std::string::npos) break;
        const std::string extension = text.substr(at, quote - at);
        const bool plain = !extension.empty() && std::all_of(extension.begin(), extension.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        });
        if (plain) extensions.insert(extension);
    }
    return extensions;
}

// The extensions whose types the package of an installed copy declares.
std::set<std::string> InstalledPackageExtensions(const Folders& folders) {
    std::set<std::string> extensions;
    for (const std::string& base : folders.data_dirs) extensions.merge(PackagedExtensions(PackagePath(base)));
    return extensions;
}

std::string PackageText(const std::set<std::string>& extensions) {
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!-- Archive types of Kelvora that the shared MIME database lacks. -->\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    for (const std::string& extension : extensions) {
        std::string upper = extension;
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
        text += "  <mime-type type=\"" + OwnType(extension) + "\">\n";
        text += "    <comment>" + upper + " archive</comment>\n";
        text += "    <generic-icon name=\"package-x-generic\"/>\n";
        text += "    <glob pattern=\"*." + extension + "\"/>\n";
        text += "  </mime-type>\n";
    }
    return text + "</mime-info>\n";
}

// Writes the package with these extensions' types, or removes it when there
// are none, and has the database rebuilt: a package does nothing until then.
void StorePackage(const Folders& folders, const std::set<std::string>& extensions) {
    const std::string path = PackagePath(folders);
    if (extensions == PackagedExtensions(path)) return;
    if (extensions.empty()) {
        unlink(path.c_str());
    } else {
        MakeFolders(folders.data_home + "/mime/packages");
        platform::ReplaceFileAtomically(path, PackageText(extensions));
    }
    if (const auto tool = platform::FindProgram("update-mime-database"))
        platform::RunHidden({*tool, folders.data_home + "/mime"}, "");
}

// ---- Desktop id lists ----

std::vector<std::string> Ids(std::string_view list) {
    std::vector<std::string> ids;
    for (std::string id : Split(list, ';')) {
        const size_t first = id.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        ids.push_back(id.substr(first, id.find_last_not_of(" \t") - first + 1));
    }
    return ids;
}

// "a;b;", or nothing (the key goes) for no ids.
template <typename Container>
std::optional<std::string> IdList(const Container& ids) {
    if (ids.empty()) return std::nullopt;
    std::string list;
    for (const std::string& id : ids) list += id + ";";
    return list;
}

// Either of our entries: the user's own or an installed copy's.
bool IsOurs(const std::string& id) { return id == kDesktopId || id == kInstalledDesktopId; }

bool HasOurs(const std::vector<std::string>& ids) { return std::any_of(ids.begin(), ids.end(), IsOurs); }

std::vector<std::string> WithoutOurs(std::vector<std::string> ids) {
    ids.erase(std::remove_if(ids.begin(), ids.end(), IsOurs), ids.end());
    return ids;
}

// `ours` first, in place of any entry of ours the list had.
std::string OursFirst(std::string_view ours, const std::optional<std::string>& list) {
    std::vector<std::string> ids = WithoutOurs(Ids(list.value_or("")));
    ids.insert(ids.begin(), std::string(ours));
    return *IdList(ids);
}

std::string MimeAppsPath(const Folders& folders) { return folders.config_home + "/mimeapps.list"; }

std::string EntryPath(const Folders& folders) {
    return folders.data_home + "/applications/" + std::string(kDesktopId);
}

// ---- Desktop entry values ----

bool Reserved(char c) { return std::string_view(" \t\n\"'\\><~|&;$*?#`()").find(c) != std::string_view::npos; }

// One Exec argument: quoted when it holds a reserved character, "%" doubled.
std::string ExecArgument(std::string_view text) {
    const bool quote = text.empty() || std::any_of(text.begin(), text.end(), Reserved);
    std::string out = quote ? "\"" : "";
    for (char c : text) {
        if (c == '%')
            out += '%';
        else if (quote && std::string_view("\"`$\\").find(c) != std::string_view::npos)
            out += '\\';
        out += c;
    }
    return quote ? out + "\"" : out;
}

std::vector<std::string> Words(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false, quoted = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            in_word = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (in_word) words.push_back(word);
            word.clear();
            in_word = false;
        } else {
            word += c;
            in_word = true;
        }
    }
    if (in_word) words.push_back(word);
    return words;
}

// A value as a desktop entry string keeps it: backslashes and control
// characters escaped.
std::string EntryString(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

// The picture beside a portable copy; an installed copy's icon is in the theme.
std::string Icon(const std::string& program) {
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(program, error);
    if (error) path = program;
    if (platform::InstalledFolder(path.parent_path().string())) return std::string(kThemeIcon);
    return (path.parent_path() / kIconName).string();
}

// Two paths that name one file.
bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The program that a desktop entry runs: the first word of its Exec, looked
// up on PATH when it names no folder.
std::optional<std::string> ExecProgram(const std::string& entry) {
    const std::vector<std::string> words = Words(platform::ReadProfileString(entry, kEntry, "Exec").value_or(""));
    if (words.empty()) return std::nullopt;
    if (words[0].find('/') != std::string::npos) return words[0];
    return platform::FindProgram(words[0]);
}

// True when the installed copy's desktop entry that the desktop sees (the
// first in $XDG_DATA_DIRS) runs `program`.
bool InstalledEntryRuns(const Folders& folders, const std::string& program) {
    for (const std::string& base : folders.data_dirs) {
        const std::string entry = base + "/applications/" + std::string(kInstalledDesktopId);
        if (access(entry.c_str(), R_OK) != 0) continue;
        const std::optional<std::string> runs = ExecProgram(entry);
        return runs && SameFile(*runs, program);
    }
    return false;
}

std::set<std::string> ListedTypes(const std::string& entry) {
    const std::vector<std::string> ids = Ids(platform::ReadProfileString(entry, kEntry, "MimeType").value_or(""));
    return {ids.begin(), ids.end()};
}

// The user's desktop entry for `program`, listing `types` besides those it had.
void WriteEntry(const Folders& folders, const std::string& program, const std::string& argument,
                const std::vector<std::string>& types) {
    const std::string entry = EntryPath(folders);
    std::set<std::string> listed = ListedTypes(entry);
    listed.insert(types.begin(), types.end());
    MakeFolders(folders.data_home + "/applications");
    platform::ChangeProfile(entry, {{kEntry, "Type", "Application"},
                                    {kEntry, "Name", "Kelvora"},
                                    {kEntry, "Exec", EntryString(DesktopExec(program, argument))},
                                    {kEntry, "Icon", EntryString(Icon(program))},
                                    {kEntry, "MimeType", IdList(listed)},
                                    {kEntry, "NoDisplay", "true"},
                                    {kEntry, "Terminal", "false"}});
}

}  // namespace

Folders FoldersFromEnvironment() {
    return Folders{platform::DataHome(), platform::ConfigHome(), platform::DataDirs()};
}

std::string DesktopExec(std::string_view program, std::string_view argument) {
    std::string exec = ExecArgument(program);
    for (const std::string& word : Words(argument)) exec += " " + (word == "%1" ? std::string("%f") : ExecArgument(word));
    return exec;
}

std::vector<std::string> MimeTypes(const Folders& folders, const std::vector<std::string_view>& extensions) {
    std::vector<std::string> types;
    for (const Typed& t : TypesOf(folders, extensions)) types.push_back(t.type);
    return Unique(std::move(types));
}

std::string MimePackage(const Folders& folders, const std::vector<std::string_view>& extensions) {
    std::set<std::string> own;
    for (const Typed& t : TypesOf(folders, extensions))
        if (t.own) own.insert(t.extension);
    return PackageText(own);
}

void Associate(const Folders& folders, const std::string& program, const std::string& argument,
               const std::vector<std::string_view>& extensions) {
    const std::vector<Typed> typed = TypesOf(folders, extensions);
    std::vector<std::string> types;
    std::set<std::string> packaged = PackagedExtensions(PackagePath(folders));
    const std::set<std::string> installed_package = InstalledPackageExtensions(folders);
    for (const Typed& t : typed) {
        types.push_back(t.type);
        if (t.own && !installed_package.count(t.extension))
            packaged.insert(t.extension);
        else
            packaged.erase(t.extension);  // the database or an installed package has it meanwhile
    }
    types = Unique(std::move(types));
    StorePackage(folders, packaged);

    // An installed copy's own entry serves its program; any other copy gets one of the user's.
    const bool installed = InstalledEntryRuns(folders, program);
    if (!installed) WriteEntry(folders, program, argument, types);

    const std::string_view ours = installed ? kInstalledDesktopId : kDesktopId;
    const std::string mimeapps = MimeAppsPath(folders);
    std::vector<ProfileChange> changes;
    for (const std::string& type : types) {
        for (const char* section : {kDefaults, kAdded})
            changes.push_back({section, type, OursFirst(ours, platform::ReadProfileString(mimeapps, section, type))});
        // A removed association would outvote the default.
        const std::vector<std::string> removed = Ids(platform::ReadProfileString(mimeapps, kRemoved, type).value_or(""));
        if (HasOurs(removed)) changes.push_back({kRemoved, type, IdList(WithoutOurs(removed))});
    }
    if (!changes.empty()) MakeFolders(folders.config_home);
    platform::ChangeProfile(mimeapps, changes);
}

void Dissociate(const Folders& folders, const std::vector<std::string_view>& extensions) {
    // Our own type too, in case the database has learnt the extension since it was registered.
    std::vector<std::string> types;
    std::set<std::string> packaged = PackagedExtensions(PackagePath(folders));
    for (const Typed& t : TypesOf(folders, extensions)) {
        types.push_back(t.type);
        types.push_back(OwnType(t.extension));
        packaged.erase(t.extension);
    }
    types = Unique(std::move(types));

    const std::string mimeapps = MimeAppsPath(folders);
    std::vector<ProfileChange> changes;
    for (const std::string& type : types) {
        for (const char* section : {kDefaults, kAdded}) {
            const std::vector<std::string> ids = Ids(platform::ReadProfileString(mimeapps, section, type).value_or(""));
            if (HasOurs(ids)) changes.push_back({section, type, IdList(WithoutOurs(ids))});
        }
    }
    platform::ChangeProfile(mimeapps, changes);

    const std::string entry = EntryPath(folders);
    std::set<std::string> listed = ListedTypes(entry);
    for (const std::string& type : types) listed.erase(type);
    platform::ChangeProfile(entry, {{kEntry, "MimeType", IdList(listed)}});

    StorePackage(folders, packaged);
}

}  // namespace dravolix::xdg
