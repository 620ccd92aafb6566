// Chain routines of the earlier build: the zone-order extraction of chains,
// the offset value callback of its variable offsets, the list-wide source
// clean-up, the update of a place on a chain after a split, the removal of
// doubled-back segments, the fillet of a chain set, the retraction of a move
// against a region set, the flat-arc test of this build's tracer and the
// component labelling of its network builder.
#include <merrow1/legacy/legacy_routines.h>

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_boolean.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_fillet.h>
#include <merrow1/chain_from_chain.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_location.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_split.h>
#include <merrow1/chain_violation.h>
#include <merrow1/chain_source.h>
#include <merrow1/segment.h>
#include <merrow1/poly_seg.h>

#include "chain_legacy_internal.h"
#include "chain/chain_record.h"
#include "chainops/chain_poly_seg_internal.h"
#include "internal/check.h"
#include "internal/ring_nodes.h"
#include "internal/scratch_pool.h"
#include "chain/split_network.h"
#include "offset/chain_fit_internal.h"

#include <stend/error.h>

#include <algorithm>
#include <cmath>
#include <vector>

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
    const CHAIN_vertex_data_s* vertex = merrow1::vertex_record(source->vertex);
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
    const bool closed = merrow1::is_closed(chain);
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
    return std::hypot(mid[0] - chord_mid[0], mid[1] - chord_mid[1]) <= CHAIN_COINCIDENT_DISTANCE;
}

// ---------------------------------------------------------------------------
// Fillet of a chain set

namespace {

using merrow1::chains_of;

// Drops the source links (keys 17 and 20) of the chain's vertices that name a
// chain of the work pool, which goes before the chain is handed out.
void drop_links_into(RING_header_s* chain, const CMEM_pool_s* work) {
    for (RING_node_s* vertex : merrow1::ring_nodes(chain)) {
        for (APP_DATA_key_t key : {APP_DATA_SOURCE_VERTEX, APP_DATA_SOURCE_SEGMENT}) {
            // Both records start with the source chain.
            void* link = APP_DATA__ask_app_data(vertex->app_data, key);
            const RING_header_s* source = link ? *static_cast<RING_header_s* const*>(link) : nullptr;
            if (!source || CMEM_private_ask_pool_of_object(source) != work) continue;
            if (APP_DATA__remove_app_data(&vertex->app_data, key)) CMEM_private_delete_object(link);
        }
    }
}

// A new list in the pool holding copies of the work list's chains.
RING_header_s* hand_out(const RING_header_s* work_list, CMEM_pool_s* pool, CHAIN_vertex_source_callback_t node_cb,
                        const CMEM_pool_s* work) {
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    try {
        for (RING_header_s* chain : chains_of(work_list)) {
            RING_header_s* copy = CHAIN_copy_no_link(chain, pool, node_cb);
            if (!copy) continue;
            RING_insert_after(out, out->last, copy);
            drop_links_into(copy, work);
        }
    } catch (...) {
        RING_delete(out);
        throw;
    }
    return out;
}

}  // namespace

RING_header_s* CHAIN_fillet_all(RING_header_s* list, double radius, double min_radius,
                                CHAIN_trace_vertex_source_cb_t vertex_source_cb, CHAIN_vertex_source_callback_t node_cb,
                                CHAIN_split_classifier_t classifier, int depth) {
    if (!list) return nullptr;
    return merrow1::run_converting([&]() -> RING_header_s* {
        MERROW1_SCRATCH_POOL(work, "CHAIN-CHAIN_fillet_all-");
        // The input of the current step: the caller's list, then a union made
        // in the work pool.  Every step works on copies, so nothing of the
        // caller's is touched.
        RING_header_s* step_input = list;
        auto answer = [&](const RING_header_s* work_list) {
            return work_list == list ? list : hand_out(work_list, list->pool, node_cb, work);
        };
        for (int left = std::max(depth, 0);; --left) {
            RING_header_s* filleted = RING_create_in_pool(nullptr, RING_TYPE_LIST, work);
            bool changed = false;
            for (RING_header_s* chain : chains_of(step_input)) {
                RING_header_s* copy = CHAIN_copy(chain, work, node_cb);
                if (!copy) continue;
                RING_header_s* rounded =
                    CHAIN_fillet(copy, radius, min_radius, vertex_source_cb, node_cb, classifier);
                if (rounded) changed = true;
                RING_insert_after(filleted, filleted->last, rounded ? rounded : copy);
            }
            if (!changed) return answer(step_input);
            if (filleted->count == 1) return answer(filleted);
            RING_header_s* united = RING_create_in_pool(nullptr, RING_TYPE_LIST, work);
            if (!ChainsBoolean(filleted, 0, united, node_cb)) return answer(step_input);
            if (united->count <= filleted->count || left < 1) return answer(united);
            step_input = united;
        }
    });
}

// ---------------------------------------------------------------------------
// Retraction of a move against a region set

namespace {

constexpr double kFarAway = 1e7;

using merrow1::is_closed;
using merrow1::main_of;
using merrow1::point_of;

const CSYS* csys_of(const RING_header_s* chain) {
    const CHAIN_main_data_s* md = main_of(chain);
    return md ? &md->csys : nullptr;
}

// The move as a chain: a line for a line segment, the segment's own chain for
// an arc; `end` replaces the segment's end point when given.
RING_header_s* move_chain(const CSYS* csys, const SEGMENT& segment, const Korvo::Math::Point2* end,
                          CMEM_pool_s* pool) {
    end_segment to = *segment.end;
    if (end) {
        to.x = end->x;
        to.y = end->y;
    }
    if (segment.type == SEG_LINE) {
        const Korvo::Math::Point2 a{segment.start[0], segment.start[1]};
        const Korvo::Math::Point2 b{to.x, to.y};
        return CHAIN_create_line_chain(csys, &a, &b, pool);
    }
    if (segment.type != SEG_ARC) return nullptr;
    SEGMENT cut = segment;
    cut.end = &to;
    return CHAIN_create_segment_chain(csys, &cut, pool);
}

// The first crossing along the move chain (a point of its intersection list
// strictly inside it, at neither end), in the list made against the chains.
bool first_crossing(RING_header_s* move, RING_header_s* chains, CMEM_pool_s* pool, Korvo::Math::Point2* at) {
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    ChainToChainsInt(move, chains, list, false);
    const double* start = point_of(move->first);
    const double* end = point_of(move->last);
    for (RING_node_s* sub : merrow1::ring_nodes(list)) {
        RING_header_s* points = RING_ask_node_subring(sub);
        if (!points || points->main_data != move) continue;
        // The points ascend by parameter: the first inner one is the first.
        for (RING_node_s* node : merrow1::ring_nodes(points)) {
            const auto* p = static_cast<const POINT_ON_CHAIN_s*>(node->main_data);
            if (!p) continue;
            const double ds = std::hypot(p->point[0] - start[0], p->point[1] - start[1]);
            const double de = std::hypot(p->point[0] - end[0], p->point[1] - end[1]);
            if (ds <= CHAIN_INTERSECTION_TOLERANCE || de <= CHAIN_INTERSECTION_TOLERANCE) continue;
            at->x = p->point[0];
            at->y = p->point[1];
            return true;
        }
    }
    return false;
}

RING_header_s* single_set(RING_header_s* chain, CMEM_pool_s* pool) {
    RING_header_s* set = CHAIN_create_boolean_set(pool, nullptr);
    RING_insert_after(set, set->last, chain);
    return set;
}

// The end of the move's first piece that lies outside the material of the
// closed chains: the move and the set split into a network whose groups are
// indexed in turn.  Indices count material layers from an arbitrary base, and
// the indexing keeps only the records of the group's lowest index (no
// material): of the move's pieces left there, the one starting first along
// the move, unless it runs to the move's end.
bool first_entry_by_network(RING_header_s* move, RING_header_s* set, CMEM_pool_s* pool, Korvo::Math::Point2* at) {
    RING_header_s* both = CHAIN_create_boolean_set(pool, nullptr);
    RING_insert_after(both, both->last, move);
    for (RING_header_s* chain : chains_of(set)) RING_insert_after(both, both->last, chain);
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    ChainToChainsInt(move, set, list, false);
    RING_header_s* network = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    ChainsSplit(list, network);
    bool found = false;
    double best = 0.0;
    int index = 0;
    // Each call isolates one group; there are at most as many as junctions.
    for (int groups = network->count + 1; ChainInterfIndex(network, &index);) {
        if (--groups < 0) MERROW1_INFINITE_LOOP();
        for (RING_node_s* junction : merrow1::ring_nodes(network)) {
            for (RING_node_s* node : merrow1::ring_nodes(RING_ask_node_subring(junction))) {
                const auto* end = static_cast<const SPLIT_CHAIN_s*>(node->main_data);
                if (!end || end->reversed || end->index != index || !end->piece || !end->piece->start ||
                    !end->piece->end || end->piece->start->chain != move)
                    continue;
                // A piece that runs to the move's own end enters nothing.
                if (end->piece->end->parameter >= static_cast<double>(move->count - 1)) continue;
                if (found && end->piece->start->parameter >= best) continue;
                found = true;
                best = end->piece->start->parameter;
                at->x = end->piece->end->point[0];
                at->y = end->piece->end->point[1];
            }
        }
    }
    return found;
}

}  // namespace

int ChainRetractPointOnSegment(RING_header_s* set, RING_header_s* chain, const SEGMENT* segment,
                               Korvo::Math::Point2* point, double* distance) {
    if (!set || !segment || !segment->start || !segment->end || !point) return 0;
    point->x = segment->end->x;
    point->y = segment->end->y;
    if (distance) *distance = kFarAway;
    const std::vector<RING_header_s*> regions = chains_of(set);
    const CSYS* csys = csys_of(chain ? chain : (regions.empty() ? nullptr : regions.front()));
    if (!csys) return 0;
    return merrow1::run_converting([&]() -> int {
        MERROW1_SCRATCH_POOL(work, "CHAIN-ChainRetractPointOnSegment-");
        RING_header_s* move = move_chain(csys, *segment, nullptr, work);
        if (!move || move->count < 2) return 0;
        // Cuts the move at its first crossing with the chains: true when cut.
        auto cut_at_first_crossing = [&](RING_header_s* chains) {
            Korvo::Math::Point2 at{};
            if (!first_crossing(move, chains, work, &at)) return false;
            RING_header_s* shorter = move_chain(csys, *segment, &at, work);
            if (!shorter || shorter->count < 2) return false;
            *point = at;
            move = shorter;
            return true;
        };
        if (chain) {
            cut_at_first_crossing(single_set(chain, work));
            const CHAIN_main_data_s* md = main_of(chain);
            CHAIN_main_data_s* mmd = main_of(move);
            mmd->approximation_tolerance = 2.0 * md->approximation_tolerance + CHAIN_ask_set_tolerance(set);
            mmd->approximation_tolerance_set = 1;
            if (is_closed(chain) && CHAIN_chain_violate_region(move, single_set(chain, work))) return 0;
            if (CHAIN_ask_use_new_boolean()) {
                Korvo::Math::Point2 at{};
                if (CHAIN_check_chain_violates_region(move, set, nullptr, nullptr, &at, nullptr)) *point = at;
            } else if (CHAIN_chain_violate_region(move, set)) {
                for (RING_header_s* region : regions) cut_at_first_crossing(single_set(region, work));
                if (CHAIN_chain_violate_region(move, set)) return 0;
            }
        } else {
            const bool all_closed = std::all_of(regions.begin(), regions.end(), is_closed);
            if (!all_closed) {
                cut_at_first_crossing(set);
            } else {
                Korvo::Math::Point2 at{};
                if (first_crossing(move, set, work, &at) && first_entry_by_network(move, set, work, &at)) *point = at;
            }
        }
        if (distance) {
            const double p[2] = {point->x, point->y};
            double d = ChainsPointMinDist(set, p, nullptr);
            if (chain) d = std::min(d, ChainPointMinDistance(chain, p, nullptr));
            *distance = d;
        }
        return 1;
    });
}

// ---------------------------------------------------------------------------
// Component labelling of this build's network builder

bool CHAIN__legacy_label_next_network(RING_header_s* network) {
    if (!network) return false;
    const std::vector<RING_node_s*> junctions = merrow1::ring_nodes(network);
    const auto seed = std::find_if(junctions.begin(), junctions.end(), [](RING_node_s* j) { return !merrow1::split_junction_marked(j); });
    if (seed == junctions.end()) return false;
    if (!network->main_data) network->main_data = CMEM_NEW(network->pool, int);
    int* counter = static_cast<int*>(network->main_data);
    const int number = ++*counter;
    // Each junction is labelled when it is put on the work list, so no
    // junction is labelled twice; more labels than junctions in the ring means
    // a record leads out of it.
    int labels = 0;
    auto label = [&](RING_node_s* junction) {
        if (++labels > network->count) MERROW1_INFINITE_LOOP();
        RING_put_node_app_data(network, junction, CHAIN_APP_DATA_SCRATCH_MARK, junction);
        if (SPLIT_JUNCTION_s* record = merrow1::split_junction_record(junction)) record->pass = number;
    };
    std::vector<RING_node_s*> work{*seed};
    label(*seed);
    while (!work.empty()) {
        RING_node_s* junction = work.back();
        work.pop_back();
        for (RING_node_s* node : merrow1::ring_nodes(RING_ask_node_subring(junction))) {
            const auto* end = static_cast<const SPLIT_CHAIN_s*>(node->main_data);
            RING_node_s* far = end ? end->far_junction : nullptr;
            if (!far || merrow1::split_junction_marked(far)) continue;
            label(far);
            work.push_back(far);
        }
    }
    return true;
}
