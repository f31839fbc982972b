// The file association exports: on Linux the desktop's associations of the
// archiver's extensions (see xdg_associations.h).
#include "archiver_table.h"
#include "dravolix.h"
#include "xdg_associations.h"

namespace {

// Unlike the other exports these take row 0, which has no extensions.
bool IsAssocIndex(int32_t index) { return index >= 0 && index <= dravolix::kLastArchiver; }

}  // namespace

extern "C" int32_t DRAVOLIX_API DravxSetAssoc(int32_t index, const char* program_path, const char* argument,
                                              int32_t /*reserved*/) {
    if (!IsAssocIndex(index) || !program_path || !*program_path || !argument) return 0;
    dravolix::xdg::Associate(dravolix::xdg::FoldersFromEnvironment(), program_path, argument,
                             dravolix::ArchiverExtensions(index));
    return 1;
}

extern "C" int32_t DRAVOLIX_API DravxGetAssoc(int32_t /*reserved1*/, int32_t /*reserved2*/) { return 0; }

extern "C" int32_t DRAVOLIX_API DravxKillAssoc(int32_t index, int32_t /*reserved1*/, int32_t /*reserved2*/,
                                               int32_t /*reserved3*/) {
    if (!IsAssocIndex(index)) return 0;
    dravolix::xdg::Dissociate(dravolix::xdg::FoldersFromEnvironment(), dravolix::ArchiverExtensions(index));
    return 1;
}
