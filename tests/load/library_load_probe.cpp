// Loads the library at run time (the program does not link it) and checks the
// load-time registration: both persistent classes registered in order while
// it is loaded, none after it is closed (the library really unloads), and
// both again after a second load.
#include <stend/testing_om.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

// Position of the class in the registry, or -1.
long position(const char* name) {
    const auto names = stend_test::om_class_names();
    const auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : it - names.begin();
}

int fail(const char* what) {
    std::fprintf(stderr, "library_load_probe: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return fail("usage: library_load_probe <path of libmerrow1>");
    if (position("Korvo::Cam::VmExportData") >= 0 || position("Korvo::SSP") >= 0)
        return fail("classes registered before the library is loaded");
    for (int round = 0; round < 2; ++round) {
        void* handle = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
        if (!handle) return fail(dlerror());
        const long vm = position("Korvo::Cam::VmExportData"), ssp = position("Korvo::SSP");
        if (vm < 0 || ssp < 0) return fail("a class is not registered after loading");
        if (vm > ssp) return fail("Korvo::SSP registered before Korvo::Cam::VmExportData");
        if (dlclose(handle) != 0) return fail(dlerror());
        if (dlopen(argv[1], RTLD_NOW | RTLD_NOLOAD)) return fail("the library stays loaded after dlclose");
        if (position("Korvo::Cam::VmExportData") >= 0 || position("Korvo::SSP") >= 0)
            return fail("a class is still registered after unloading");
    }
    std::puts("library_load_probe: loaded, unloaded and loaded again");
    return 0;
}
