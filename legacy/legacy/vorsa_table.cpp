// Loading the solid kernel on first use.
#include "legacy/legacy/vorsa_table.h"

#include <merrow1/legacy/IGeomSec.h>

#include <dlfcn.h>

#include <string>

namespace merrow1 {
namespace legacy {

namespace {
const char kDefaultLibrary[] = "libvorsa.so";
std::string g_library = kDefaultLibrary;
VorsaTable g_table;
bool g_loaded = false;
}  // namespace

const VorsaTable* vorsa_table() {
    if (g_loaded) return &g_table;
    // Global, so that the host's functions that evaluate kernel entities on
    // the engine's behalf find the same kernel.
    void* library = dlopen(g_library.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!library) {
        ERROR_note(__FILE__, __LINE__, "GeomSec: cannot load the solid kernel %s", g_library.c_str());
        return nullptr;
    }
    VorsaTable table{};
    bool complete = true;
#define MERROW1_VORSA_LOOKUP(name)                                                                   \
    if (complete) {                                                                                  \
        table.name = reinterpret_cast<decltype(table.name)>(dlsym(library, #name));                  \
        if (!table.name) {                                                                           \
            ERROR_note(__FILE__, __LINE__, "GeomSec: the solid kernel %s has no %s", g_library.c_str(), \
                       #name);                                                                       \
            complete = false;                                                                        \
        }                                                                                            \
    }
    MERROW1_VORSA_ENTRIES(MERROW1_VORSA_LOOKUP)
#undef MERROW1_VORSA_LOOKUP
    if (!complete) {
        dlclose(library);
        return nullptr;
    }
    // The kernel stays loaded for the life of the process.
    g_table = table;
    g_loaded = true;
    return &g_table;
}

const VorsaTable& vq() { return g_table; }

}  // namespace legacy
}  // namespace merrow1

void GEOMSEC_set_kernel_library(const char* name) {
    merrow1::legacy::g_library = name ? name : merrow1::legacy::kDefaultLibrary;
    merrow1::legacy::g_loaded = false;
}
