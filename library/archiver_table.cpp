#include "archiver_table.h"

namespace dravolix {

const std::array<ArchiverRow, kLastArchiver + 1> kArchiverTable = {{
    {"", "", {}},
    {"Unlha", "32", {".lzh", ".lzs", ".lha"}},
    {"UnZip", "32", {".zip", ".jar"}},
    {"Cab", "32", {".cab"}},
    {"Tar", "32", {".tar", ".gz", ".z", ".tgz", ".taz", ".tbz", ".rpm", ".deb"}},
    {"Unarj", "32j", {".arj"}},
    {"Unrar", "32", {".rar"}},
    {"Bga", "32", {".bza", ".gza"}},
    {"Yz1", "", {".yz1"}},
    {"Zip", "32j", {".zip", ".jar"}},
    {"UnGCA", "32", {".gca"}},
    {"Unbel", "32", {".bel"}},
    {"Unjam", "32", {".jam"}},
    {"Jack", "32", {".jak"}},
}};

std::vector<std::string_view> ArchiverExtensions(int index) {
    std::vector<std::string_view> extensions;
    for (std::string_view extension : kArchiverTable.at(static_cast<size_t>(index)).extensions) {
        if (extension.empty()) break;
        extensions.push_back(extension);
    }
    return extensions;
}

std::string ArchiverDllName(int index) {
    const ArchiverRow& row = kArchiverTable.at(static_cast<size_t>(index));
    return std::string(row.prefix) + std::string(row.suffix) + ".dll";
}

std::string EntryPointName(int index, std::string_view function) {
    return std::string(kArchiverTable.at(static_cast<size_t>(index)).prefix) + std::string(function);
}

}  // namespace dravolix
