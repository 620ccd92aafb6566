// Arc splitting of chains.
#include <merrow1/chain_fit.h>

#include <merrow1/chain.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_source.h>

#include "arc_sweep.h"

#include <cmath>
#include <cstring>

namespace {

// Arcs sweeping more than pi less one degree are split in two...
const double kSplitInTwo = merrow1::kArcSplitSweep;
// ...and from two pi less two degrees on in three.
const double kSplitInThree = 6.2482787221397;

using merrow1::arc_signed_sweep;

// Inserts a vertex with the given geometry before `vertex`.
RING_node_s* insert_before(RING_header_s* chain, RING_node_s* vertex, SEGMENT_TYPE type, const end_segment& end) {
    CHAIN_vertex_data_s* record = CMEM_NEW(chain->pool, CHAIN_vertex_data_s);
    if (!record) return nullptr;
    const size_t size = type == SEG_ARC ? sizeof(end_segment) : 2 * sizeof(double);
    record->geometry = static_cast<double*>(CMEM_ALLOC(chain->pool, 1, size));
    if (!record->geometry) {
        CMEM_private_delete_object(record);
        return nullptr;
    }
    std::memcpy(record->geometry, &end, size);
    RING_node_s* node = RING_insert_after(chain, vertex->previous, record);
    if (!node) {
        CMEM_private_delete_object(record->geometry);
        CMEM_private_delete_object(record);
        return nullptr;
    }
    CHAIN_seg_set_type(node, type);
    return node;
}

// Copies the vertex's source link (key 17) onto a new vertex; none: nothing.
void copy_source_link(RING_header_s* chain, const RING_node_s* from, RING_node_s* to) {
    const auto* link = static_cast<const CHAIN_source_chain_source_vertex_s*>(
        APP_DATA__ask_app_data(from->app_data, APP_DATA_SOURCE_VERTEX));
    if (!link) return;
    auto* copy = CMEM_NEW(chain->pool, CHAIN_source_chain_source_vertex_s);
    if (!copy) return;
    *copy = *link;
    RING_put_node_app_data(chain, to, APP_DATA_SOURCE_VERTEX, copy);
}

}  // namespace

void CHAIN_split_backward_segment(RING_header_s* chain, RING_node_s* vertex, int n) {
    if (!chain || !vertex || n < 2) return;
    SEGMENT segment;
    if (ChainSegment(chain, vertex, &segment) != 1) return;
    if (segment.type != SEG_LINE && segment.type != SEG_ARC) return;
    // The start and end are read before any vertex goes in: the start point
    // belongs to the previous vertex, which an insertion does not move.
    const double start[2] = {segment.start[0], segment.start[1]};
    const end_segment end = segment.type == SEG_ARC ? *segment.end : end_segment{segment.end->x, segment.end->y, 0, 0, 0, 0};
    const double sweep = segment.type == SEG_ARC ? arc_signed_sweep(segment) : 0.0;
    const double a0 = std::atan2(start[1] - end.cy, start[0] - end.cx);
    const double r = std::hypot(start[0] - end.cx, start[1] - end.cy);
    for (int k = 1; k < n; ++k) {
        const double f = static_cast<double>(k) / n;
        end_segment piece = {};
        if (segment.type == SEG_LINE) {
            piece.x = start[0] + f * (end.x - start[0]);
            piece.y = start[1] + f * (end.y - start[1]);
        } else {
            const double angle = a0 + f * sweep;
            piece.x = end.cx + r * std::cos(angle);
            piece.y = end.cy + r * std::sin(angle);
            piece.cx = end.cx;
            piece.cy = end.cy;
            piece.radius = std::hypot(piece.x - end.cx, piece.y - end.cy);
            piece.direction = end.direction;
        }
        RING_node_s* node = insert_before(chain, vertex, segment.type, piece);
        if (!node) return;
        copy_source_link(chain, vertex, node);
    }
    CHAIN_refresh_cached_box(chain);
}

void CHAIN_keep_arcs_less_than_pi(RING_header_s* chain) {
    if (!chain || !chain->first) return;
    // The vertices to visit are fixed before any split: new vertices go in
    // before the vertex split, so walking on from it never meets them.
    RING_node_s* node = chain->first;
    for (int i = 0, count = chain->count; i < count && node; ++i) {
        RING_node_s* next = node->next;
        SEGMENT segment;
        if (CHAIN_seg_ask_type(node) == SEG_ARC && ChainSegment(chain, node, &segment) == 1) {
            const double sweep = std::fabs(arc_signed_sweep(segment));
            if (sweep >= kSplitInThree)
                CHAIN_split_backward_segment(chain, node, 3);
            else if (sweep > kSplitInTwo)
                CHAIN_split_backward_segment(chain, node, 2);
        }
        node = next;
    }
}
