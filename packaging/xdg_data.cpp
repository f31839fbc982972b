// kelvora-xdg-data: writes, at build time, the desktop entry and the MIME
// package that an installed copy brings, by the rules the library follows
// when 環境設定 registers the program for one user (xdg_associations.h), so
// that the installed files and the program agree:
//
//   kelvora-xdg-data DATA_DIR TEMPLATE ENTRY PACKAGE MODULE...
//
// DATA_DIR is the data folder whose shared MIME database (mime/globs2) the
// package is built for, /usr/share. ENTRY is TEMPLATE with "@MIME_TYPES@"
// replaced by the types of the extensions of the MODULEs built ("Unlha32"),
// in the ";"-ended list of a desktop entry. PACKAGE declares a type of ours
// for every extension in the archiver table that the database lacks, so that
// the desktop knows these archives whichever modules a machine has.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "archiver_table.h"
#include "xdg_associations.h"

namespace {

constexpr std::string_view kPlaceholder = "@MIME_TYPES@";

bool Built(int index, const std::vector<std::string>& modules) {
    const std::string name = dravolix::ArchiverDllName(index);
    return std::any_of(modules.begin(), modules.end(),
                       [&](const std::string& module) { return module + ".dll" == name; });
}

std::string TypeList(const dravolix::xdg::Folders& folders, const std::vector<std::string>& modules) {
    std::set<std::string> types;
    for (int index = dravolix::kFirstArchiver; index <= dravolix::kLastArchiver; ++index) {
        if (!Built(index, modules)) continue;
        for (std::string& type : dravolix::xdg::MimeTypes(folders, dravolix::ArchiverExtensions(index)))
            types.insert(std::move(type));
    }
    std::string list;
    for (const std::string& type : types) list += type + ";";
    return list;
}

std::string AllPackaged(const dravolix::xdg::Folders& folders) {
    std::vector<std::string_view> extensions;
    for (int index = dravolix::kFirstArchiver; index <= dravolix::kLastArchiver; ++index)
        for (std::string_view extension : dravolix::ArchiverExtensions(index)) extensions.push_back(extension);
    return dravolix::xdg::MimePackage(folders, extensions);
}

bool Write(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s DATA_DIR TEMPLATE ENTRY PACKAGE MODULE...\n", argv[0]);
        return 2;
    }
    // The database of the system alone: nobody's own folders.
    const dravolix::xdg::Folders folders{argv[1], "", {}};
    const std::vector<std::string> modules(argv + 5, argv + argc);

    std::ifstream in(argv[2], std::ios::binary);
    std::ostringstream read;
    read << in.rdbuf();
    std::string entry = read.str();
    const size_t at = entry.find(kPlaceholder);
    if (!in || at == std::string::npos) {
        std::fprintf(stderr, "%s: no %s in %s\n", argv[0], kPlaceholder.data(), argv[2]);
        return 1;
    }
    const std::string types = TypeList(folders, modules);
    if (types.empty()) {
        std::fprintf(stderr, "%s: none of the modules is in the archiver table\n", argv[0]);
        return 1;
    }
    entry.replace(at, kPlaceholder.size(), types);
    if (!Write(argv[3], entry) || !Write(argv[4], AllPackaged(folders))) {
        std::fprintf(stderr, "%s: cannot write %s or %s\n", argv[0], argv[3], argv[4]);
        return 1;
    }
    return 0;
}
