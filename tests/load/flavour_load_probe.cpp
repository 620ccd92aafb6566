// Loads one flavour of the library at run time (the program does not link
// it), resolves an exported name and unloads it again.  With --no-classes it
// also checks that the library registered no persistent class of its own
// while it was loaded, as the classic build has no classes.
#include <stend/testing_om.h>

#include <dlfcn.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

int fail(const char* library, const char* what) {
    std::fprintf(stderr, "flavour_load_probe %s: %s\n", library, what);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4 || (argc == 4 && std::strcmp(argv[3], "--no-classes") != 0)) {
        std::fprintf(stderr, "usage: flavour_load_probe <library> <exported name> [--no-classes]\n");
        return 2;
    }
    const char* library = argv[1];
    const bool no_classes = argc == 4;
    const std::size_t classes_before = stend_test::om_class_names().size();
    void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (!handle) return fail(library, dlerror());
    if (!dlsym(handle, argv[2])) return fail(library, dlerror());
    // The host libraries loaded with it register their own classes; the
    // library's classes are those in the Korvo namespace.
    const auto classes = stend_test::om_class_names();
    for (std::size_t i = classes_before; no_classes && i < classes.size(); ++i)
        if (classes[i].compare(0, 7, "Korvo::") == 0) {
            std::fprintf(stderr, "registered: %s\n", classes[i].c_str());
            return fail(library, "a class was registered at load");
        }
    if (dlclose(handle) != 0) return fail(library, dlerror());
    if (dlopen(library, RTLD_NOW | RTLD_NOLOAD)) return fail(library, "the library stays loaded after dlclose");
    return 0;
}
