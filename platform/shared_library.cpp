// Opening libraries at run time through the dynamic loader.
#include "platform/shared_library.h"

#include <dlfcn.h>

namespace zel {
namespace platform {

namespace {

// The loader's own account of the last miss names the library and what it
// lacked; it is gone once read.
void note_miss(SharedLibrary* lib, const char* fallback) {
    const char* why = dlerror();
    if (lib->failure.empty()) lib->failure = why ? why : fallback;
}

}  // namespace

SharedLibrary open_shared_library(const char* soname) {
    SharedLibrary lib;
    lib.handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!lib.handle) note_miss(&lib, soname);
    return lib;
}

void* shared_symbol(SharedLibrary* lib, const char* name) {
    if (!lib->handle) return nullptr;
    dlerror();
    void* address = dlsym(lib->handle, name);
    if (!address) note_miss(lib, name);
    return address;
}

}  // namespace platform
}  // namespace zel
