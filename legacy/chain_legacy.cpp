// Chain routines of the earlier build: the zone-order extraction of chains,
// the offset value callback of its variable offsets, the list-wide source
// clean-up, the update of a place on a chain after a split, the removal of
// doubled-back segments and the flat-arc test of this build's tracer.
#include <merrow1/legacy/legacy_routines.h>

#include <merrow1/chain_from_chain.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_source.h>
#include <merrow1/segment.h>
#include <merrow1/poly_seg.h>

#include "chain_legacy_internal.h"
#include "chainops/chain_poly_seg_internal.h"
#include "internal/check.h"
#include "internal/ring_nodes.h"
#include "offset/chain_fit_internal.h"

#include <stend/error.h>

#include <cmath>

void CHAIN_zone_order_extract_chains(void* resultList, BZONE_s* zone, BZONE_s*) {
    RING_header_s* out = static_cast<RING_header_s*>(resultList);
    if (!out || !zone || zone->merged_into) return;
    CHAIN__zone_take_chains_in_order(out, zone);
}

namespace {

// Bit 17 of the flag word of the node's source vertex.
int source_mark(const RING_node_s* node) {
    const CHAIN_app_poly_seg_chain_source_s* source = static_cast<const CHAIN_app_poly_seg_chain_source_s*>(
        APP_DATA__ask_app_data(node->app_data, POLY_SEG_KEY_CHAIN_SOURCE));
    if (!source || !source->vertex || !source->vertex->main_data)
        ERROR_internal(__FILE__, __LINE__, "No app data during offsetting.");
    const CHAIN_vertex_data_s* vertex = static_cast<const CHAIN_vertex_data_s*>(source->vertex->main_data);
    return (vertex->flags >> 17) & 1u;
}

}  // namespace

double CHAIN_offset_value_by_source_mark(RING_header_s*, RING_node_s* node, RING_node_s*, void* data) {
    const CHAIN_offset_mark_value_s* client = static_cast<const CHAIN_offset_mark_value_s*>(data);
    // The node's own mark when it has a predecessor and the mark is set, else
    // its successor's.
    int mark = node->previous ? source_mark(node) : 0;
    if (!mark) mark = node->next ? source_mark(node->next) : 0;
    return mark == client->mark ? client->value : 0.0;
}

void CHAIN_create_closed_from_opens(RING_header_s* list) {
    if (!list) return;
    for (RING_node_s* node : merrow1::ring_nodes(list))
        if (RING_header_s* chain = RING_ask_node_subring(node)) CHAIN_create_closed_from_open(chain);
}

void CHAIN_reverse_chains_wrt_cut_dir(RING_header_s* list, SIDE cut_side) {
    if (!list) return;
    for (RING_node_s* node : merrow1::ring_nodes(list))
        if (RING_header_s* chain = RING_ask_node_subring(node)) CHAIN_reverse_wrt_cut_dir(chain, cut_side);
}

void CHAIN_remove_intermediate_source_list(RING_header_s* list) {
    if (!list) return;
    for (RING_node_s* node : merrow1::ring_nodes(list))
        if (RING_header_s* chain = RING_ask_node_subring(node)) CHAIN_remove_intermediate_source(chain, nullptr);
}

namespace {

// A chain parameter as segment index (0 for the segment ending at the second
// vertex) and fraction; on an open chain the last segment holds the end.
void split_parameter(const RING_header_s* chain, double parameter, long* segment, double* fraction) {
    long s = static_cast<long>(std::floor(parameter));
    const bool closed = chain->last && chain->last->next == chain->first;
    const long bound = static_cast<long>(chain->count) - 1;
    if (!closed && bound >= 1 && s >= bound) s = bound - 1;
    *segment = s;
    *fraction = parameter - static_cast<double>(s);
}

}  // namespace

void CHAIN_update_point_on_chain(POINT_ON_CHAIN_s* point, const POINT_ON_CHAIN_s* reference, RING_node_s* node) {
    if (!point || !reference || !reference->chain || point->chain != reference->chain) return;
    long sp = 0, sq = 0;
    double fp = 0.0, fq = 0.0;
    split_parameter(reference->chain, point->parameter, &sp, &fp);
    split_parameter(reference->chain, reference->parameter, &sq, &fq);
    if (sp > sq) {
        point->parameter += 1.0;
        return;
    }
    if (sp < sq) return;
    if (fp == fq) {
        // At the split point: the new vertex, the end of the first half.
        point->parameter = static_cast<double>(sp + 1);
        point->node = node;
        point->inside = 0;
    } else if (fp < fq) {
        // Before Q (so fq > 0): on the first half, which ends at the new vertex.
        point->parameter = static_cast<double>(sp) + fp / fq;
        point->node = node;
    } else {
        // After Q (so fq < 1 unless P lies past the end): on the second half.
        point->parameter = static_cast<double>(sp + 1) + (fq < 1.0 ? (fp - fq) / (1.0 - fq) : fp - fq);
    }
}

void CHAIN_remove_coinciding_segments(RING_header_s* chain, double tolerance) {
    MERROW1_REQUIRE(std::isfinite(tolerance) && tolerance >= 0.0, "DUE_TO_INVALID_DATA", );
    if (!chain || chain->count < 4) return;
    CHAIN__cut_doubling_back(chain, tolerance);
}

bool CHAIN__legacy_is_flat_arc(const SEGMENT* segment) {
    if (!segment || segment->type != SEG_ARC || !segment->start || !segment->end) return false;
    double mid[2];
    if (!SegmentMidPoint(segment, mid)) return false;
    const double chord_mid[2] = {0.5 * (segment->start[0] + segment->end->x),
                                 0.5 * (segment->start[1] + segment->end->y)};
    return std::hypot(mid[0] - chord_mid[0], mid[1] - chord_mid[1]) <= 2.5e-8;
}
