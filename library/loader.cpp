#include "loader.h"

namespace dravolix {

int HeldArchiver::LoadArchiverDll(int index) {
    if (!IsArchiverIndex(index)) return -1;
    platform::Module module = platform::Module::Load(ArchiverDllName(index));
    if (!module) return -1;
    module_ = std::move(module);
    index_ = index;
    return 0;
}

int HeldArchiver::FreeArchiverDll() {
    if (!module_) return -1;
    module_.Release();
    index_ = 0;
    return 0;
}

}  // namespace dravolix
