// The file association exports: on Linux the desktop's associations of the
// archiver's extensions (see xdg_associations.h).
#include <string_view>
#include <vector>

#include "archiver_table.h"
#include "dravolix.h"
#include "xdg_associations.h"

namespace {

// Unlike the other exports these take row 0, which has no extensions.
bool IsAssocIndex(int32_t index) { return index >= 0 && index <= dravolix::kLastArchiver; }

std::vector<std::string_view> ExtensionsOf(int32_t index) {
    std::vector<std::string_view> extensions;
    for (std::string_view extension : dravolix::kArchiverTable[static_cast<size_t>(index)].extensions) {
        if (extension.empty()) break;
        extensions.push_back(extension);
    }
    return extensions;
}

}  // namespace

extern "C" int32_t DRAVOLIX_API DravxSetAssoc(int32_t index, const char* program_path, const char* argument,
                                              int32_t /*reserved*/) {
    if (!IsAssocIndex(index) || !program_path || !*program_path || !argument) return 0;
    dravolix::xdg::Associate(dravolix::xdg::FoldersFromEnvironment(), program_path, argument, ExtensionsOf(index));
    return 1;
}

extern "C" int32_t DRAVOLIX_API DravxGetAssoc(int32_t /*reserved1*/, int32_t /*reserved2*/) { return 0; }

extern "C" int32_t DRAVOLIX_API DravxKillAssoc(int32_t index, int32_t /*reserved1*/, int32_t /*reserved2*/,
                                               int32_t /*reserved3*/) {
    if (!IsAssocIndex(index)) return 0;
    dravolix::xdg::Dissociate(dravolix::xdg::FoldersFromEnvironment(), ExtensionsOf(index));
    return 1;
}
