// Shared libraries through the dynamic loader. The library's symbols stay local to it, so they
// never take the place of the program's own.
#include "core/os/shared_library.hpp"

#include <dlfcn.h>

namespace vyn::os {

bool SharedLibrary::open() {
    if (!tried_) {
        tried_ = true;
        handle_ = dlopen(soname_, RTLD_NOW | RTLD_LOCAL);
    }
    return handle_ != nullptr;
}

void* SharedLibrary::address_of(const char* name) { return open() ? dlsym(handle_, name) : nullptr; }

}  // namespace vyn::os
