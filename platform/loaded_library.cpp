// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/loaded_library.h"

#include <dlfcn.h>

void KeepLibraryLoaded(const void* addressInLibrary) {
    Dl_info info{};
    if (dladdr(addressInLibrary, &info) && info.dli_fname)
        dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}
