// Stand-in for the host's string memory: zero-filled blocks with a record of
// every live block, so tests can count them and a block freed twice or never
// allocated here ends the process.
#include <stend/system.h>
#include <stend/testing_sm.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace {

struct Blocks {
    std::unordered_map<const void*, std::size_t> live;  // block -> size
    long reallocs = 0;
    long frees = 0;
    int fail_countdown = 0;
};

Blocks& blocks() {
    static Blocks* b = new Blocks;  // never destroyed: freed at exit by others
    return *b;
}

[[noreturn]] void fatal(const char* what, const void* p) {
    std::fprintf(stderr, "SM: %s %p\n", what, p);
    std::abort();
}

bool fails_now() {
    Blocks& b = blocks();
    return b.fail_countdown > 0 && --b.fail_countdown == 0;
}

}  // namespace

void* SM_alloc(size_t size) {
    if (fails_now()) return nullptr;
    void* p = std::calloc(1, size ? size : 1);
    if (p) blocks().live[p] = size;
    return p;
}

void SM_free(void* p) {
    if (!p) return;
    Blocks& b = blocks();
    auto it = b.live.find(p);
    if (it == b.live.end()) fatal("SM_free: not a live block:", p);
    b.live.erase(it);
    ++b.frees;
    std::free(p);
}

void* SM_realloc(void* p, size_t size) {
    Blocks& b = blocks();
    ++b.reallocs;
    if (!p) return SM_alloc(size);
    auto it = b.live.find(p);
    if (it == b.live.end()) fatal("SM_realloc: not a live block:", p);
    if (fails_now()) return nullptr;
    // A fresh block and a copy, so the old block stays valid on failure and
    // the record never names freed memory.
    void* q = std::calloc(1, size ? size : 1);
    if (!q) return nullptr;
    std::memcpy(q, p, it->second < size ? it->second : size);
    b.live.erase(it);
    std::free(p);
    b.live[q] = size;
    return q;
}

namespace stend_test {
long sm_live_blocks() { return static_cast<long>(blocks().live.size()); }
long sm_realloc_calls() { return blocks().reallocs; }
long sm_free_calls() { return blocks().frees; }
void sm_fail_at(int countdown) { blocks().fail_countdown = countdown > 0 ? countdown : 0; }
}  // namespace stend_test
