// Merge callbacks, splitting at junctions and set services.
#include <merrow1/chain_set.h>

#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_merge.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_trace.h>
#include <quorn/quorn.h>

#include "chain/chain_check.h"
#include "chain/chain_fields_guard.h"
#include "chain/chain_record.h"
#include "internal/owned.h"
#include "internal/ring_check.h"

#include <cmath>
#include <cstddef>
#include <initializer_list>

namespace {

using merrow1::is_closed;
using merrow1::main_of;
using merrow1::point_of;
using merrow1::vertex_record;

// True when the vertex carries a trace record marked dummy.
bool is_dummy_vertex(const RING_node_s* node) {
    const void* record = APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_TRACE_VERTEX);
    return record && static_cast<const CHAIN_trace_vertex_data_s*>(record)->dummy != 0;
}

// Each part becomes a new chain appended to the output list.
class ExtractPOCAsChain : public Korvo::Cam::IPartOfChainFunctor {
public:
    ExtractPOCAsChain(RING_header_s* list, CHAIN_vertex_source_callback_t callback)
        : list_(list), callback_(callback) {}
    ~ExtractPOCAsChain() override {}

    void operator()(const PART_OF_CHAIN_s& part) override {
        if (!list_ || !part.start || !part.start->chain) return;
        RING_header_s* chain = CHAIN_create_from_chain(part.start->chain, list_->pool);
        if (!chain) return;
        CHAIN__merge(chain, &part, 0, callback_, true);
        RING_insert_after(list_, list_->last, chain);
    }

private:
    RING_header_s* list_;
    CHAIN_vertex_source_callback_t callback_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Vertex-source callbacks

int ChainMergeWall(RING_node_s* source, RING_node_s* source_segment, RING_header_s* source_chain,
                   RING_node_s* vertex, RING_header_s* chain) {
    if (!source || !source_segment || !source_chain || !vertex || !chain) return 1;
    const CHAIN_vertex_data_s* from = vertex_record(source);
    CHAIN_vertex_data_s* to = vertex_record(vertex);
    if (!from || !to) return 1;
    to->flags = (to->flags & ~CHAIN_VERTEX_ON_BOUNDARY) | (from->flags & CHAIN_VERTEX_ON_BOUNDARY);
    return 1;
}

int CHAIN_boolean_merge_internal(RING_node_s* source, RING_node_s* source_segment, RING_header_s*,
                                 RING_node_s* vertex, RING_header_s* chain) {
    if (!source || !vertex || !chain) return 1;
    // 1. A source piece that is not a dummy means the result is not made of
    //    dummies alone.  The piece is the one of the source segment's vertex
    //    when it is given: the vertex the new vertex stands on is the one
    //    before it on a source walked backward (side RIGHT), whose record
    //    tells of the neighbouring piece.
    CHAIN_note_loop_source_piece(chain, source_segment ? source_segment : source);
    // 2. The self-referring mark follows the vertex.
    if (APP_DATA__ask_app_data(source->app_data, CHAIN_APP_DATA_SELF_NODE))
        RING_put_node_app_data(chain, vertex, CHAIN_APP_DATA_SELF_NODE, vertex);
    // 3. Geometry type and back side as the source has them.
    const CHAIN_vertex_data_s* from = vertex_record(source);
    CHAIN_vertex_data_s* to = vertex_record(vertex);
    if (from && to) {
        const unsigned int kept = CHAIN_VERTEX_GEOM_TYPE_MASK | CHAIN_VERTEX_BACK_SIDE;
        to->flags = (to->flags & ~kept) | (from->flags & kept);
    }
    return 1;
}

int CHAIN_boolean_merge(RING_node_s* source, RING_node_s* source_segment, RING_header_s* source_chain,
                        RING_node_s* vertex, RING_header_s* chain) {
    CHAIN_boolean_merge_internal(source, source_segment, source_chain, vertex, chain);
    const CHAIN_vertex_data_s* from = vertex_record(source);
    CHAIN_vertex_data_s* to = vertex_record(vertex);
    if (from && to) to->flags |= from->flags & (CHAIN_VERTEX_ON_BOUNDARY | CHAIN_VERTEX_BOOLEAN_MARK);
    return 1;
}

// ---------------------------------------------------------------------------
// Splitting at junctions

void CHAIN_split_at_junction_apply_ftor(RING_header_s* chain, CHAIN_junction_predicate_t predicate,
                                        Korvo::Cam::IPartOfChainFunctor* functor) {
    if (!functor || !predicate || !chain || !chain->first || chain->count < 1) return;
    const bool closed = is_closed(chain);
    const int n = chain->count;
    auto opens = [](int answer) { return answer == CHAIN_JUNCTION_START || answer == CHAIN_JUNCTION_END_START; };
    auto ends = [](int answer) { return answer == CHAIN_JUNCTION_END || answer == CHAIN_JUNCTION_END_START; };

    // 1. The first vertex that opens a part.
    RING_node_s* v0 = chain->first;
    int i0 = 0;
    while (i0 < n && v0 && !opens(predicate(chain, v0))) {
        v0 = v0->next;
        ++i0;
    }
    if (i0 >= n || !v0) return;

    // Segment k ends at the k-th vertex after the first; on a closed chain the
    // first vertex ends segment n.
    auto segment_ending_at = [&](int index) { return closed && index == 0 ? n : index; };
    POINT_ON_CHAIN_s start{}, end{};
    PART_OF_CHAIN_s part{};
    bool open = false;
    auto open_at = [&](RING_node_s* vertex, int index) {
        // At fraction 0 of the following segment: the vertex itself.
        open = vertex->next && PointOnChainCreate1(chain, vertex->next, index + 1, 0.0, point_of(vertex), &start);
    };
    auto close_at = [&](RING_node_s* vertex, int index) {
        open = false;
        if (!PointOnChainCreate1(chain, vertex, segment_ending_at(index), 1.0, point_of(vertex), &end)) return;
        // A part that runs from a vertex once around back to it.
        if (closed && end.parameter <= start.parameter) end.parameter += n;
        if (CreatePartOfChain(&part, &start, &end)) (*functor)(part);
    };

    // 2. The walk: a closed chain once around from V0 back to it, an open one
    //    from V0 up to its last vertex, each vertex asked once.
    const int steps = closed ? n : n - 1 - i0;
    RING_node_s* node = v0;
    int index = i0;
    for (int step = 0; step < steps && node; ++step) {
        const int answer = predicate(chain, node);
        if (open && ends(answer)) close_at(node, index);
        if (opens(answer)) open_at(node, index);
        node = node->next;
        index = closed ? (index + 1) % n : index + 1;
    }
    // 3. A part still open ends where the walk stopped.
    if (open && node) close_at(node, index);
}

void CHAIN_split_at_junction(RING_header_s* chain, RING_header_s* list, CHAIN_junction_predicate_t predicate,
                             CHAIN_vertex_source_callback_t callback) {
    if (!list) return;
    ExtractPOCAsChain extract(list, callback);
    CHAIN_split_at_junction_apply_ftor(chain, predicate, &extract);
}

// ---------------------------------------------------------------------------
// Set services

bool CHAIN_is_chain_all_dummy(const RING_header_s* chain) {
    if (!chain || !chain->main_data) return false;
    if (static_cast<const CHAIN_main_data_s*>(chain->main_data)->kind != TRACE_CHAIN) return false;
    const RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next)
        if (!is_dummy_vertex(node)) return false;
    return true;
}

void CHAIN_note_loop_source_piece(RING_header_s* chain, const RING_node_s* piece) {
    if (!chain || !piece) return;
    if (CHAIN_loop_class_s* loop_class =
            static_cast<CHAIN_loop_class_s*>(APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_LOOP_CLASS)))
        if (loop_class->all_dummy && !is_dummy_vertex(piece)) loop_class->all_dummy = 0;
}

void CHAIN_add_chain_to_list(RING_header_s* list, RING_header_s* chain) {
    if (!list || !chain) return;
    const RING_node_s* node = list->first;
    for (int i = 0; i < list->count && node; ++i, node = node->next)
        if (RING_ask_node_subring(node) == chain) return;
    RING_insert_after(list, list->last, chain);
}

void CHAIN_remove_source_reference(RING_header_s* chain) {
    if (!chain) return;
    RING_delete_app_data(chain, APP_DATA_STOCKED_FROM);
    RING_delete_app_data(chain, APP_DATA_SOURCE_SEGMENT);
    merrow1::delete_loop_class(chain);
}

void CHAIN_set_all_segments_on_wall(RING_header_s* chain) {
    if (!chain || !chain->first) return;
    RING_node_s* node = is_closed(chain) ? chain->first : chain->first->next;
    const int count = is_closed(chain) ? chain->count : chain->count - 1;
    for (int i = 0; i < count && node; ++i, node = node->next)
        if (CHAIN_vertex_data_s* record = vertex_record(node)) record->flags |= CHAIN_VERTEX_ON_BOUNDARY;
}

// ---------------------------------------------------------------------------
// Booleans of stocked chains and region overlap
//
// These two call up into the chain booleans (ChainsBoolean and the region
// booleans on poly-segment sets); they are the module's only upward calls.

namespace {

bool material_inside(const RING_header_s* chain) {
    const CHAIN_main_data_s* data = main_of(chain);
    return data && ((data->direction == CW && data->material_side == RIGHT) ||
                    (data->direction == CCW && data->material_side == LEFT));
}

// A result chain that may be a hole to drop: material outside, and no loop
// class record or one of class 0.
bool droppable_hole(const RING_header_s* chain) {
    if (material_inside(chain)) return false;
    const auto* loop_class =
        static_cast<const CHAIN_loop_class_s*>(APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_LOOP_CLASS));
    return !loop_class || loop_class->material_class == 0;
}

// A ring deleted when its owner goes, also when an error passes.
using OwnedRing = merrow1::Owned<RING_header_s, RING_delete>;

}  // namespace

int ChainsStockedBoolean(RING_header_s* set, SIDE side, RING_header_s* result, CHAIN_vertex_source_callback_t callback) {
    if (!set || !result) return 0;
    MERROW1_REQUIRE_LIST(set, 0);
    MERROW1_REQUIRE_LIST(result, 0);
    if (!CHAIN__input_usable(set, "ChainsStockedBoolean", CHAIN_INPUT_FINITE)) return 0;
    RING_node_s* before_first = result->last;
    const int ok = ChainsBoolean(set, side, result, callback);
    bool dropped = false;
    if (ok) {
        // Holes enclosed by a result chain with its material inside go.  The
        // walk covers the nodes this call appended, each once.
        RING_node_s* node = before_first ? before_first->next : result->first;
        for (int steps = result->count; node && steps > 0; --steps) {
            RING_node_s* next = node == result->last ? nullptr : node->next;
            RING_header_s* hole = RING_ask_node_subring(node);
            if (hole && droppable_hole(hole)) {
                const RING_node_s* other = result->first;
                for (int i = 0; i < result->count && other; ++i, other = other->next) {
                    RING_header_s* outer = RING_ask_node_subring(other);
                    if (!outer || outer == hole || !material_inside(outer)) continue;
                    if (ChainChainLocation(hole, outer, nullptr) != 1) continue;
                    RING_disconnect_node(result, node);
                    RING_put_header_app_data(outer, CHAIN_APP_DATA_HOLE_ABSORBED, outer);
                    dropped = true;
                    break;
                }
            }
            node = next;
        }
    }
    if (ok && !dropped) return 1;
    // The stock records of the input are stale now.
    const RING_node_s* node = set->first;
    for (int i = 0; i < set->count && node; ++i, node = node->next)
        if (RING_header_s* chain = RING_ask_node_subring(node)) merrow1::delete_loop_class(chain);
    return 0;
}

bool CHAIN_HasOverlapBetweenChains(RING_header_s* chain1, const double* offset1, bool flip1, RING_header_s* chain2,
                                   const double* offset2, bool flip2, double* area) {
    if (area) *area = 0.0;
    if (!chain1 || !chain2 || !chain1->first || !chain2->first || !main_of(chain1) || !main_of(chain2)) return false;
    // Region ids, implied offsets and sides are stamped for the boolean and
    // put back afterwards, whatever happens.
    merrow1::ChainFieldsGuard restore(merrow1::kChainRegionFields);
    restore.save_if_chain(chain1);
    restore.save_if_chain(chain2);
    OwnedRing set(CHAIN_create_boolean_set(chain1->pool, nullptr));
    OwnedRing intersection(RING_create_in_pool(nullptr, RING_TYPE_LIST, chain1->pool));
    if (!set.get() || !intersection.get()) return false;
    const unsigned in_force = CHAIN_IMPLIED_OFFSET_IN_FORCE;
    CHAIN_append_region_set(set.get(), chain1, 1, offset1 ? in_force : 0u, offset1 ? *offset1 : 0.0, false, flip1);
    CHAIN_append_region_set(set.get(), chain2, 2, offset2 ? in_force : 0u, offset2 ? *offset2 : 0.0, false, flip2);
    CHAIN_boolean_regions(set.get(), 0, CHAIN_BOOLEAN_INTERSECT, nullptr, nullptr, nullptr, nullptr, nullptr,
                          intersection.get());
    const bool overlap = intersection.get()->count > 0;
    if (area && overlap) *area = CHAIN_chainsArea_chainsCentroid(intersection.get(), nullptr);
    return overlap;
}
