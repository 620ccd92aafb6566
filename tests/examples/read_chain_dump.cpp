// Reads a chain-list dump back and prints what it holds, so the example
// tests can check a dump the example program wrote: the chain count, then
// per chain whether it is closed, its vertex count and its area (six
// decimals).  Exit status 0 when the dump was read whole, else 1.
#include <merrow1/chain_area.h>
#include <merrow1/chain_load.h>

#include <sorrel/cam_file.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: read_chain_dump <dump>\n", stderr);
        return 2;
    }
    CAM_FILE_s* file = nullptr;
    if (CAM_FILE_open_binary(argv[1], CAM_FILE_ACCESS_READ, &file) != CAM_FILE_SUCCESS) {
        std::fprintf(stderr, "read_chain_dump: cannot open '%s'\n", argv[1]);
        return 1;
    }
    CMEM_pool_s* pool = CMEM_private_create_pool(0, "read_chain_dump", __LINE__, __FILE__);
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    const bool read = CHAIN_load_list_of_chains(list, file);
    CAM_FILE_close(&file);
    if (read) {
        std::printf("%d chains\n", list->count);
        int k = 0;
        for (const RING_node_s* n = list->first; n != nullptr && k < list->count; n = n->next) {
            const RING_header_s* chain = RING_ask_node_subring(n);
            if (chain == nullptr) continue;
            const bool closed = chain->last != nullptr && chain->last->next == chain->first;
            std::printf("chain %d: %s, %d vertices, area %.6f\n", ++k, closed ? "closed" : "open", chain->count,
                        CHAIN_chainArea_chainCentroid(chain, nullptr));
        }
    } else {
        std::fprintf(stderr, "read_chain_dump: '%s' is no whole chain-list dump\n", argv[1]);
    }
    CMEM_private_delete_pool(pool);
    return read ? 0 : 1;
}
