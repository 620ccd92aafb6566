// The classic build's boolean of a chain list over its grid intersection.
#include <merrow1/legacy/chain_classic.h>

#include <internal/check.h>
#include <merrow1/chain_boolean.h>
#include <merrow1/chain_split.h>
#include <merrow1/legacy/chain_grid_intersection.h>
#include <velte/cerr.h>
#include <velte/ring.h>

#include "chain/chain_record.h"
#include "error_frame.h"

namespace {

const char* const kEmptyList = "empty list of chains entered";
const char* const kBooleanFailed = "Error in boolean";

using merrow1::first_chain;

// The chains this call appends to out.  Unless kept, they are taken off out
// and deleted again (a chain taken by reference loses that reference), so out
// is as the caller passed it.
class AddedToOut {
public:
    explicit AddedToOut(RING_header_s* out) : m_out(out), m_last(out->last), m_count(out->count) {}
    ~AddedToOut() {
        if (m_kept) return;
        for (int k = added(); k > 0 && m_out->last && m_out->last != m_last; --k) {
            RING_node_s* node = m_out->last;
            RING_header_s* chain = RING_ask_node_subring(node);
            RING_set_node_subring(node, nullptr);
            RING_delete_node(m_out, node);
            RING_delete(chain);
        }
    }
    AddedToOut(const AddedToOut&) = delete;
    AddedToOut& operator=(const AddedToOut&) = delete;

    int added() const { return m_out->count - m_count; }
    void keep() { m_kept = true; }

private:
    RING_header_s* m_out;
    RING_node_s* m_last;
    int m_count;
    bool m_kept = false;
};

}  // namespace

int CHAIN_boolean_grid(RING_header_s* chains, SIDE side, RING_header_s* out, CHAIN_vertex_source_callback_t merge) {
    // 1. Something to work on.
    RING_header_s* first = chains ? first_chain(chains) : nullptr;
    if (!first) {
        CERR__set_error_code_and_text(1, kEmptyList);
        return 0;
    }
    MERROW1_REQUIRE(out, "DUE_TO_POINTER_TO_CHAIN_BEING_NULL", 0);
    // 2. Side 0 is the first chain's material side.
    if (side == 0) side = merrow1::main_of(first)->material_side;
    // 3. Intersections, split and minimal loops in the scratch pool.
    merrow1::classic::ErrorFrame frame("CHAIN-ChainsBoolean-", __FILE__, __LINE__);
    const int added = frame.run([&] {
        AddedToOut result(out);
        RING_header_s* intersections = RING_create_in_pool(nullptr, RING_TYPE_LIST, frame.pool());
        RING_header_s* network = RING_create_in_pool(nullptr, RING_TYPE_LIST, frame.pool());
        RING_set_sub_ring_delfunc(network, nullptr);
        CHAIN_find_intersection(chains, intersections);
        CHAIN_split(intersections, network);
        // Every group removes at least one junction's records: the junction
        // count bounds the groups.
        int index = 0;
        const int bound = network->count;
        for (int groups = 0; ChainInterfIndex(network, &index);) {
            if (++groups > bound) MERROW1_INFINITE_LOOP();
            ChainsMinimalLoops(intersections, network, side, out, merge);
        }
        result.keep();
        return result.added();
    });
    // 4. The pool is gone; 5. the answer.
    if (added > 0) {
        CERR__set_error_code(0);
        return 1;
    }
    CERR__set_error_code_and_text(1, kBooleanFailed);
    return 0;
}
