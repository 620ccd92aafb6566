// Boolean of a chain set: the engine chosen by the switch, then the output
// validation.
#include "chainops/chain_2.h"

#include <merrow1/chain_debug.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>

#include "internal/check.h"
#include "internal/ring_check.h"

#include <stend/error.h>

namespace {

bool is_closed(const RING_header_s* chain) { return chain->first && chain->last && chain->last->next == chain->first; }

// Debug code of a report that shows a chain or a list.
constexpr int kReportChain = 3;

bool input_all_closed(const RING_header_s* input) {
    if (!input) return false;
    if (input->type == RING_TYPE_CHAIN) return is_closed(input);
    if (input->type != RING_TYPE_LIST) return false;
    const RING_node_s* node = input->first;
    for (int i = 0; i < input->count && node; ++i, node = node->next) {
        const RING_header_s* chain = RING_ask_node_subring(node);
        if (chain && chain->count >= 2 && !is_closed(chain)) return false;
    }
    return true;
}

}  // namespace

void CHAIN__validate_shapes_from_boolean(const RING_header_s* input, RING_header_s* out, RING_node_s* before_first) {
    if (!out) return;
    const bool all_closed = input_all_closed(input);
    RING_node_s* node = before_first ? before_first->next : out->first;
    // The nodes from the first new one to the end of the list; a bound by the
    // list's count keeps a damaged (circular) list from holding the walk.
    for (int steps = out->count; node && steps > 0; --steps) {
        RING_node_s* next = node == out->last ? nullptr : node->next;
        RING_header_s* chain = RING_ask_node_subring(node);
        const char* reason = nullptr;
        bool open = false;
        if (!chain) {
            reason = "DUE_TO_OUTPUT_CHAIN_POINTER_BEING_NULL";
        } else if (chain->count < 2) {
            reason = "DUE_TO_OUTPUT_CHAIN_BEING_EMPTY_OR_A_POINT";
        } else if (all_closed && !is_closed(chain)) {
            reason = "DUE_TO_OUTPUT_CHAIN_BEING_OPEN_WHEN_IT_SHOULD_BE_CLOSED";
            open = true;
        }
        if (reason) {
            MERROW1_NOTE_FAILURE(reason);
            CHAIN_debug_report(kReportChain, "CHAIN__validate_shapes_from_boolean: chain removed", chain, nullptr);
            if (open)
                CHAIN_debug_report(kReportChain, "CHAIN__validate_shapes_from_boolean: input chain(s)",
                                   const_cast<RING_header_s*>(input), nullptr);
            RING_delete_node(out, node);
        }
        node = next;
    }
}

int ChainsBoolean(RING_header_s* chains, SIDE side, RING_header_s* out, CHAIN_vertex_source_callback_t merge) {
    MERROW1_REQUIRE(chains && out, "DUE_TO_POINTER_TO_CHAIN_BEING_NULL", 0);
    MERROW1_REQUIRE_LIST(chains, 0);
    MERROW1_REQUIRE_LIST(out, 0);
    if (!chains->first || chains->count < 1) return 0;
    if (!CHAIN_ask_use_new_boolean()) {
        ERROR_note(__FILE__, __LINE__, "ChainsBoolean: the older boolean engine is not available");
        return 0;
    }
    RING_node_s* before_first = out->last;
    CHAIN_find_minimal_loops(chains, CHAIN_POLY_SEG_INTERSECT_ALL, side, merge, out);
    CHAIN_debug_report(kReportChain, "ChainsBoolean uses poly_seg", out, nullptr);
    CHAIN__validate_shapes_from_boolean(chains, out, before_first);
    return out->count > 0 ? 1 : 0;
}
