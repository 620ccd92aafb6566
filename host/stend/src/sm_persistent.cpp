// Stand-in for the host's persistent string memory, with a live count and a
// chosen allocation that fails.
#include <stend/sm_persistent.h>
#include <stend/testing_om.h>

#include <cstdlib>

namespace {
long g_live = 0;
int g_fail_countdown = 0;
}  // namespace

void* SM_alloc_persistent(std::size_t size) {
    if (g_fail_countdown > 0 && --g_fail_countdown == 0) return nullptr;
    void* p = std::calloc(1, size ? size : 1);
    if (p) ++g_live;
    return p;
}

void SM_free_persistent(void* p) {
    if (!p) return;
    --g_live;
    std::free(p);
}

namespace stend_test {
long sm_persistent_live() { return g_live; }
void sm_persistent_fail_at(int countdown) { g_fail_countdown = countdown > 0 ? countdown : 0; }
}  // namespace stend_test
