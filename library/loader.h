// Loading and releasing one archiver module for the export that is running.
#ifndef KELVORA_LIBRARY_LOADER_H
#define KELVORA_LIBRARY_LOADER_H

#include <string_view>

#include "archiver_table.h"
#include "module_loader.h"

namespace dravolix {

// The archiver module held by one running export. Every export call has its
// own, so an export called from inside another (the TAR cases) neither
// replaces nor releases the outer one's module. Whatever is still held when
// the export returns is released then.
class HeldArchiver {
public:
    // 0 on success; -1 for an index outside 1..13 or a module that does not load.
    int LoadArchiverDll(int index);
    // 0 when a module was held and is now released; -1 when none was held.
    int FreeArchiverDll();

    // The entry point "prefix + function" of the held module, or null.
    template <class Fn>
    Fn Entry(std::string_view function) const {
        return reinterpret_cast<Fn>(module_.Symbol(EntryPointName(index_, function).c_str()));
    }

private:
    platform::Module module_;
    int index_ = 0;
};

}  // namespace dravolix

#endif
