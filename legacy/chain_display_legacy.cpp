// Debug displays of the earlier builds over lists of split points, split
// chains and intersection points.
#include <merrow1/legacy/chain_display_legacy.h>

#include <merrow1/chain_display.h>
#include <merrow1/chain_part.h>

#include "internal/ring_nodes.h"

using merrow1::ring_nodes;

void CHAIN_display_all_splitpoints(const RING_header_s* lists, int view, int colour, int marker) {
    for (RING_node_s* list : ring_nodes(lists))
        for (RING_node_s* junction : ring_nodes(RING_ask_node_subring(list)))
            CHAIN_display_splitpoint(junction, view, colour, marker);
}

void CHAIN_display_sp_splitchains(const RING_header_s* split_chains, int view, int colour, int font, int width) {
    for (RING_node_s* node : ring_nodes(split_chains)) CHAIN_display_splitchain(node, view, colour, font, width);
}

void CHAIN_display_all_splitchains(const RING_header_s* lists, int view, int colour, int font, int width) {
    for (RING_node_s* list : ring_nodes(lists))
        CHAIN_display_sp_splitchains(RING_ask_node_subring(list), view, colour, font, width);
}

void CHAIN_display_int_points(const RING_header_s* lists, int view, int colour, int flagged_colour, int marker) {
    for (RING_node_s* list : ring_nodes(lists))
        for (RING_node_s* per_chain : ring_nodes(RING_ask_node_subring(list))) {
            const RING_header_s* points = RING_ask_node_subring(per_chain);
            if (!points) continue;
            const RING_header_s* chain = static_cast<const RING_header_s*>(points->main_data);
            for (RING_node_s* node : ring_nodes(points)) {
                const POINT_ON_CHAIN_s* p = static_cast<const POINT_ON_CHAIN_s*>(node->main_data);
                if (!p) continue;
                CHAIN_display_point(chain ? chain : p->chain, p->point, view, p->inside ? flagged_colour : colour,
                                    marker);
            }
        }
}
