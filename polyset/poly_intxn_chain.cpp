// Intersection loops back to chains, and the source/output records of poly
// segments.
#include <merrow1/poly_intxn_chain.h>

#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_source.h>
#include <merrow1/int_grid_map.h>

#include "chain/chain_record.h"
#include "internal/check.h"
#include "internal/scratch_pool.h"
#include "polyset/poly_seg_chain_internal.h"
#include "polyset/poly_seg_internal.h"
#include "polyset/psi_internal.h"

#include <stend/error.h>
#include <stend/system.h>
#include <velte/cerr.h>

#include <cmath>
#include <cstring>
#include <exception>
#include <vector>

using merrow1::psi::seg_index;
using merrow1::psi::seg_piece;
using merrow1::psi::seg_start;

namespace {

// Region and position of a closed loop's chain until a start is chosen.
const int kUnchosenRegion = 1000000000;
const double kUnchosenPosition = 1e9;

using merrow1::is_closed;
using merrow1::main_of;

// Number of segments of a chain: its vertex count when closed, one less when
// open, 0 below two vertices.
int segment_count(const RING_header_s* chain) {
    if (!chain || chain->count < 2) return 0;
    return is_closed(chain) ? chain->count : chain->count - 1;
}

RING_node_s* parent_of(const POLY_INTXN_node_s* e) { return e->node->segs[e->arm & 1]; }

CHAIN_app_poly_seg_chain_source_s* source_of(const RING_node_s* segment) {
    return segment ? static_cast<CHAIN_app_poly_seg_chain_source_s*>(
                         APP_DATA__ask_app_data(segment->app_data, POLY_SEG_KEY_CHAIN_SOURCE))
                   : nullptr;
}

// The segment's record when it is in source/output form.
POLY_INTXN_app_chain_src_out_s* src_out_of(const RING_node_s* segment) {
    CHAIN_app_poly_seg_chain_source_s* r = source_of(segment);
    return r && (r->flags & POLY_INTXN_SRC_OUT) ? reinterpret_cast<POLY_INTXN_app_chain_src_out_s*>(r) : nullptr;
}

// A reference the way back can use: it names a chain with main data.
CHAIN_app_poly_seg_chain_source_s* usable(CHAIN_app_poly_seg_chain_source_s* r) {
    return r && main_of(r->chain) ? r : nullptr;
}

// An entry's sub-segment in its segment's own direction: the forward end
// node and the segment's index there, and the backward end likewise.
struct SubSegment {
    RING_node_s* segment;
    PSI_INTXN_NODE_s* forward;
    int forward_index;
    PSI_INTXN_NODE_s* backward;
    int backward_index;
};

bool sub_segment_of(const POLY_INTXN_node_s* e, SubSegment* out) {
    if (!e || !e->node) return false;
    RING_node_s* segment = parent_of(e);
    PSI_INTXN_NODE_s* other = e->node->pn_along[e->arm & 3];
    if (!segment || !other) return false;
    out->segment = segment;
    // Arms with bit 2 point forward: the neighbour is the forward end.
    out->forward = (e->arm & 2) ? other : e->node;
    out->backward = (e->arm & 2) ? e->node : other;
    out->forward_index = seg_index(out->forward, segment);
    out->backward_index = seg_index(out->backward, segment);
    return out->forward_index >= 0 && out->backward_index >= 0;
}

bool has_mark(const PSI_INTXN_NODE_s* node, int index) {
    return (node->flags[index] & POLY_INTXN_NODE_FLAG_OUTPUT) != 0;
}

void set_marks(const SubSegment& s) {
    s.forward->flags[s.forward_index] |= POLY_INTXN_NODE_FLAG_OUTPUT;
    s.backward->flags[s.backward_index] |= POLY_INTXN_NODE_FLAG_OUTPUT;
}

// The output of the record keyed by the sub-segment ending (forward) at the
// node, or null.
POLY_INTXN_app_chain_output_s* output_at(POLY_INTXN_app_chain_src_out_s* record, const PSI_INTXN_NODE_s* node,
                                         int index) {
    for (POLY_INTXN_app_chain_output_s* o = &record->output; o; o = o->next)
        if (o->chain && o->node == node && o->arm == index) return o;
    return nullptr;
}

// Walks forward along the segment from the sub-segment's forward end to the
// first marked node whose sub-segment has an output of the record.  The
// nodes passed before it go to `passed` when asked.  Null when the segment
// ends first.  Along links of one segment never return to a node; a walk
// that would is an internal error rather than a hang (the slow pointer meets
// the fast one on any cycle).
POLY_INTXN_app_chain_output_s* find_output_along(POLY_INTXN_app_chain_src_out_s* record, const SubSegment& s,
                                                 std::vector<SubSegment>* passed) {
    PSI_INTXN_NODE_s* node = s.forward;
    int index = s.forward_index;
    PSI_INTXN_NODE_s* back = s.backward;
    int back_index = s.backward_index;
    PSI_INTXN_NODE_s* slow = node;
    int slow_index = index;
    for (int step = 0;; ++step) {
        if (has_mark(node, index))
            if (POLY_INTXN_app_chain_output_s* o = output_at(record, node, index)) return o;
        if (passed) passed->push_back(SubSegment{s.segment, node, index, back, back_index});
        PSI_INTXN_NODE_s* next = node->pn_along[2 | index];
        if (!next) return nullptr;
        back = node;
        back_index = index;
        index = seg_index(next, s.segment);
        if (index < 0) return nullptr;
        node = next;
        if (step & 1) {
            PSI_INTXN_NODE_s* slow_next = slow->pn_along[2 | slow_index];
            slow_index = seg_index(slow_next, s.segment);
            slow = slow_next;
        }
        if (node == slow) ERROR_internal(__FILE__, __LINE__, "Unable to find mapping");
    }
}

// Frees the further outputs of a record and empties its built-in one.
void drop_outputs(POLY_INTXN_app_chain_src_out_s* record) {
    POLY_INTXN_app_chain_output_s* o = record->output.next;
    while (o) {
        POLY_INTXN_app_chain_output_s* next = o->next;
        CMEM_private_delete_object(o);
        o = next;
    }
    std::memset(&record->output, 0, sizeof(record->output));
}

// Removes every output naming the chain from the records of the loop's
// segments (the chain is about to be deleted: its outputs would dangle).
void forget_chain_outputs(const POLY_INTXN_s* loop, const RING_header_s* chain) {
    const int n = POLY_INTXN_count(loop);
    for (int i = 0; i < n; ++i) {
        POLY_INTXN_app_chain_src_out_s* record = src_out_of(parent_of(POLY_INTXN_entry(loop, i)));
        if (!record) continue;
        POLY_INTXN_app_chain_output_s** link = &record->output.next;
        while (*link) {
            POLY_INTXN_app_chain_output_s* o = *link;
            if (o->chain == chain) {
                *link = o->next;
                CMEM_private_delete_object(o);
            } else {
                link = &o->next;
            }
        }
        if (record->output.chain == chain) {
            // The built-in output takes over the first further one.
            POLY_INTXN_app_chain_output_s* first = record->output.next;
            if (first) {
                record->output = *first;
                CMEM_private_delete_object(first);
            } else {
                std::memset(&record->output, 0, sizeof(record->output));
            }
        }
    }
}

// Shifts the outputs of the chain on the loop's segments after its closed
// ring was turned to start `shift` vertices later: segment k becomes k -
// shift (modulo the segment count).  Each record is shifted once.
void shift_outputs(const POLY_INTXN_s* loop, const RING_header_s* chain, int shift) {
    const int n = segment_count(chain);
    if (n == 0 || shift % n == 0) return;
    std::vector<POLY_INTXN_app_chain_src_out_s*> done;
    for (int i = 0; i < POLY_INTXN_count(loop); ++i) {
        POLY_INTXN_app_chain_src_out_s* record = src_out_of(parent_of(POLY_INTXN_entry(loop, i)));
        if (!record) continue;
        bool seen = false;
        for (const POLY_INTXN_app_chain_src_out_s* r : done) seen = seen || r == record;
        if (seen) continue;
        done.push_back(record);
        for (POLY_INTXN_app_chain_output_s* o = &record->output; o; o = o->next) {
            if (o->chain != chain) continue;
            o->first_index = ((o->first_index - shift) % n + n) % n;
            o->last_index = ((o->last_index - shift) % n + n) % n;
        }
    }
}

// Index of a node in a chain (0 for the first), -1 when it is not there.
int position_of(const RING_header_s* chain, const RING_node_s* node) {
    const RING_node_s* n = chain->first;
    for (int i = 0; n && i < chain->count; ++i, n = n->next)
        if (n == node) return i;
    return -1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Source/output records
// ---------------------------------------------------------------------------

int POLY_INTXN_src_out_delete_cb(void* data) {
    CHAIN_app_poly_seg_chain_source_s* record = static_cast<CHAIN_app_poly_seg_chain_source_s*>(data);
    if (!record) return 1;
    if (record->shares > 0) {
        --record->shares;
        return 1;
    }
    if (record->flags & POLY_INTXN_SRC_OUT) drop_outputs(reinterpret_cast<POLY_INTXN_app_chain_src_out_s*>(record));
    CMEM_private_delete_object(record);
    return 1;
}

void* POLY_INTXN_src_copy_chain_src_out(RING_header_s* poly, RING_node_s* from, RING_node_s* to, bool* handled,
                                        void*) {
    if (poly && (!handled || *handled)) {
        RING_set_app_data_key(poly, POLY_SEG_KEY_CHAIN_SOURCE, POLY_INTXN_src_out_delete_cb);
        if (handled) *handled = false;
    }
    if (!poly || !to) return nullptr;
    const CHAIN_app_poly_seg_chain_source_s* source = nullptr;
    if (from) {
        source = source_of(from);
        if (!source) return nullptr;
    }
    POLY_INTXN_app_chain_src_out_s* record = CMEM_NEW(poly->pool, POLY_INTXN_app_chain_src_out_s);
    if (!record) return nullptr;
    if (source) {
        record->source.flags = source->flags & ~POLY_INTXN_SRC_OUT_VISIT;
        record->source.chain = source->chain;
        record->source.vertex = source->vertex;
        record->source.segment_index = source->segment_index;
        if (source->flags & POLY_INTXN_SRC_OUT)
            record->level = reinterpret_cast<const POLY_INTXN_app_chain_src_out_s*>(source)->level;
    }
    record->source.flags |= POLY_INTXN_SRC_OUT;
    void* old = APP_DATA__ask_app_data(to->app_data, POLY_SEG_KEY_CHAIN_SOURCE);
    if (old) POLY_INTXN_src_out_delete_cb(old);
    RING_put_node_app_data(poly, to, POLY_SEG_KEY_CHAIN_SOURCE, record);
    return record;
}

void POLY_INTXN_app_data_append_output(POLY_INTXN_app_chain_src_out_s* record, const POLY_INTXN_node_s* entry,
                                       RING_header_s* chain, RING_node_s* vertex, int first_index, int last_index,
                                       void* user_data) {
    const int n = segment_count(chain);
    MERROW1_REQUIRE(record && (record->source.flags & POLY_INTXN_SRC_OUT) && entry && entry->node && vertex &&
                        first_index >= 0 && last_index >= 0 && first_index < n && last_index < n &&
                        (is_closed(chain) || first_index <= last_index),
                    "DUE_TO_INVALID_INPUT", );
    POLY_INTXN_app_chain_output_s* out = &record->output;
    if (out->chain) {
        out = static_cast<POLY_INTXN_app_chain_output_s*>(
            CMEM_private_alloc_in_same_pool(record, 1, sizeof(POLY_INTXN_app_chain_output_s), __LINE__, __FILE__));
        if (!out) return;
        out->next = record->output.next;
        record->output.next = out;
    }
    SubSegment s{};
    const bool has_sub_segment = sub_segment_of(entry, &s);
    out->chain = chain;
    out->first_vertex = out->last_vertex = vertex;
    out->first_index = out->last_index = last_index;
    out->node = has_sub_segment ? s.forward : entry->node;
    out->arm = has_sub_segment ? s.forward_index : (entry->arm & 1);
    out->user_data = user_data;
    // Step back from the last segment to the first, wrapping at 0 on a closed
    // chain; the preconditions bound the walk by the segment count.
    for (int steps = 0; out->first_index != first_index && steps < n; ++steps) {
        if (out->first_index == 0) out->first_index = n;
        --out->first_index;
        out->first_vertex = out->first_vertex->previous;
    }
    if (has_sub_segment) set_marks(s);
}

POLY_INTXN_app_chain_output_s* POLY_INTXN_app_data_get_output(const POLY_INTXN_node_s* entry,
                                                              CHAIN_app_poly_seg_chain_source_s** source) {
    if (source) *source = nullptr;
    if (!entry || !entry->node) return nullptr;
    RING_node_s* segment = parent_of(entry);
    CHAIN_app_poly_seg_chain_source_s* r = source_of(segment);
    if (source) *source = r;
    if (!r || !(r->flags & POLY_INTXN_SRC_OUT)) return nullptr;
    SubSegment s{};
    if (!sub_segment_of(entry, &s)) return nullptr;
    return find_output_along(reinterpret_cast<POLY_INTXN_app_chain_src_out_s*>(r), s, nullptr);
}

void POLY_INTXN_app_data_update_output(const POLY_INTXN_s* loop) {
    const int n = POLY_INTXN_count(loop);
    for (int i = 0; i < n; ++i) {
        const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, i);
        POLY_INTXN_app_chain_src_out_s* record = src_out_of(parent_of(e));
        SubSegment s{};
        if (!record || !sub_segment_of(e, &s)) continue;
        // A sub-segment with an output of its own needs nothing.
        if (has_mark(s.forward, s.forward_index) && output_at(record, s.forward, s.forward_index)) continue;
        // 1. The output of the marked sub-segment further along that this one
        //    was cut from, and the sub-segments passed on the way.
        std::vector<SubSegment> passed;
        const POLY_INTXN_app_chain_output_s* found = find_output_along(record, s, &passed);
        if (!found) ERROR_internal(__FILE__, __LINE__, "Unable to find mapping");
        const POLY_INTXN_app_chain_output_s copy = *found;
        // 2. Each of them gets a copy of that output, keyed by its own forward
        //    end, and its marks.
        for (const SubSegment& p : passed) {
            POLY_INTXN_app_chain_output_s* out = static_cast<POLY_INTXN_app_chain_output_s*>(
                CMEM_private_alloc_in_same_pool(record, 1, sizeof(POLY_INTXN_app_chain_output_s), __LINE__,
                                                __FILE__));
            if (!out) return;
            *out = copy;
            out->node = p.forward;
            out->arm = p.forward_index;
            out->next = record->output.next;
            record->output.next = out;
            set_marks(p);
        }
    }
}

void POLY_INTXN_app_data_reverse_output(const POLY_INTXN_s* loop, const RING_header_s* chain) {
    const int n = segment_count(chain);
    // The visit marks come off again on every exit.
    struct VisitMarks {
        std::vector<CHAIN_app_poly_seg_chain_source_s*> records;
        ~VisitMarks() {
            for (CHAIN_app_poly_seg_chain_source_s* r : records) r->flags &= ~POLY_INTXN_SRC_OUT_VISIT;
        }
    } visited;
    for (int i = 0; i < POLY_INTXN_count(loop); ++i) {
        CHAIN_app_poly_seg_chain_source_s* r = source_of(parent_of(POLY_INTXN_entry(loop, i)));
        if (!r || !(r->flags & POLY_INTXN_SRC_OUT))
            ERROR_internal(__FILE__, __LINE__, "Every seg must have srcout data if specified");
        if (r->flags & POLY_INTXN_SRC_OUT_VISIT) continue;
        r->flags |= POLY_INTXN_SRC_OUT_VISIT;
        visited.records.push_back(r);
        POLY_INTXN_app_chain_src_out_s* record = reinterpret_cast<POLY_INTXN_app_chain_src_out_s*>(r);
        for (POLY_INTXN_app_chain_output_s* o = &record->output; o; o = o->next) {
            if (o->chain != chain) continue;
            const int first = n - 1 - o->last_index;
            o->last_index = n - 1 - o->first_index;
            o->first_index = first;
            RING_node_s* v = o->first_vertex;
            o->first_vertex = o->last_vertex;
            o->last_vertex = v;
        }
    }
}

void POLY_INTXN_app_data_init_output(const POLY_INTXN_s* loop) {
    const int n = POLY_INTXN_count(loop);
    for (int i = 0; i < n; ++i) {
        const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, i);
        POLY_INTXN_app_chain_src_out_s* record = src_out_of(parent_of(e));
        if (!record) continue;
        if (record->output.chain && record->output.chain != record->source.chain) drop_outputs(record);
        if (!record->source.chain || !record->source.vertex) continue;
        POLY_INTXN_app_data_append_output(record, e, record->source.chain, record->source.vertex,
                                          record->source.segment_index, record->source.segment_index, nullptr);
    }
}

// ---------------------------------------------------------------------------
// Loops to chains
// ---------------------------------------------------------------------------

RING_header_s* POLY_INTXN_create_chain(POLY_INTXN_s* loop, const INT_GRID_MAP_s* map, const CSYS* csys,
                                       CMEM_pool_s* pool, CHAIN_proc_app_data_spec_e spec,
                                       CHAIN_vertex_source_callback_t vertex_cb, double tolerance, SIDE side,
                                       bool offset, bool skip_inserts, POLY_SEG_output_order_data_s* order,
                                       POLY_INTXN_segment_create_cb_t segment_cb, void* segment_data,
                                       POLY_SEG_offset_value_cb_t, void*) {
    // 1. The start of the walk.
    const int n = POLY_INTXN_count(loop);
    if (n == 0) return nullptr;
    MERROW1_REQUIRE(map != nullptr && pool != nullptr, "DUE_TO_INVALID_INPUT", nullptr);
    const bool closed = loop->closed != 0;
    int s = POLY_INTXN_get_first_parental_discont(loop);
    if (s < 0) return nullptr;
    Korvo::Math::Point2 grid_start{0.0, 0.0};
    if (skip_inserts) {
        s = POLY_INTXN_find_non_insert(loop, s, &grid_start);
        if (s < 0) return nullptr;
    } else {
        const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, s);
        const PSI_INTXN_NODE_s* from = e->node->pn_along[e->arm & 3];
        const PNT2_s p = from ? from->pnt : e->node->pnt;
        grid_start = Korvo::Math::Point2{p.x, p.y};
    }
    const bool sources = spec != 0;
    int escaped = 0;
    bool outputs = false;

    RING_header_s* chain = nullptr;
    CHAIN_loop_class_s* loop_class = nullptr;
    // Deletes the new chain (its loop-class record with it); outputs naming
    // it go first so none dangles.
    auto discard_new_chain = [&]() {
        if (!chain) return;
        if (outputs) forget_chain_outputs(loop, chain);
        loop_class = nullptr;
        RING_delete(chain);
        chain = nullptr;
    };

    RING_header_s* result = nullptr;
    try {
        result = [&]() -> RING_header_s* {
            // 2. The empty chain, its loop-class record and the order record.
            chain = POLY_SEG_create_result_chain(csys, pool, tolerance, sources, &loop_class);
            if (!chain) return nullptr;
            CHAIN_main_data_s* md = main_of(chain);
            if (order) {
                order->loop_number = loop->loop_number;
                if (closed) {
                    order->region = kUnchosenRegion;
                    order->position = kUnchosenPosition;
                }
            }

            // 3. The start vertex at the grid start, in real coordinates.
            PNT2_s grid_from{std::trunc(grid_start.x), std::trunc(grid_start.y)};
            PNT2_s from{0.0, 0.0};
            INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_2D_FROM_GRID>(map)(
                map, static_cast<int>(grid_from.x), static_cast<int>(grid_from.y), &from.x, &from.y);
            end_segment start_end{};
            start_end.x = from.x;
            start_end.y = from.y;
            RING_node_s* start_vertex = ChainAppendVertex(chain, &start_end, SEG_POINT);
            POLY_SEG_source_walk_s w(chain, pool, spec, vertex_cb, tolerance, side, closed, offset, order);
            POLY_SEG_source_walk_start(
                w, sources ? POLY_SEG_usable_source(parent_of(POLY_INTXN_entry(loop, s))) : nullptr, start_vertex);

            // 4. The walk: every entry once from s, wrapping on a closed loop;
            //    an open loop ends at its last entry.
            const int walk = closed ? n : n - s;
            int unmapped = s;  // first entry whose sub-segment has no output yet
            std::vector<PNT2_s> grid_starts;  // the pieces on the grid, for the direction
            std::vector<LINE_ARC_SEG_s> grid_pieces;
            bool first_call = true;
            for (int k = 0; k < walk; ++k) {
                const int i = (s + k) % n;
                const int j = (i + 1) % n;
                const bool last = k == walk - 1;
                const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, i);
                RING_node_s* parent = parent_of(e);
                LINE_ARC_SEG_s* parent_piece = seg_piece(parent);
                // a. Short inserts make nothing of their own.
                if (skip_inserts && POLY_INTXN_is_short_insert(loop, i, nullptr)) continue;
                // b. Only the last entry of a run on one parent makes a piece.
                const bool run_ends = last || (skip_inserts && (parent_piece->flags & POLY_INTXN_INSERT_FLAGS)) ||
                                      parent_of(POLY_INTXN_entry(loop, j)) != parent;
                if (!run_ends) continue;
                // c. The grid end, carried over the short inserts that follow.
                PNT2_s grid_to = e->node->pnt;
                if (skip_inserts) {
                    Korvo::Math::Point2 p{0.0, 0.0};
                    POLY_INTXN_calc_insert_start_point(loop, i, &p);
                    grid_to = PNT2_s{p.x, p.y};
                }
                // d. The piece on the grid, then in real coordinates.  Rounded
                //    run ends may lie off the parent's circle: an arc is sized
                //    from the parent's centre.
                LINE_ARC_SEG_s piece;
                if (LINE_ARC_SEG_is_arc(parent_piece)) {
                    const PNT2_s parent_start = seg_start(parent);
                    piece = *LINE_ARC_SEG_create_arc_from_arc_centre(nullptr, &grid_from, &grid_to, parent_piece,
                                                                     &parent_start, (e->arm & 2) ? 1 : 0);
                } else {
                    piece = *LINE_ARC_SEG_create_line_from_line(nullptr, &grid_to, parent_piece);
                }
                grid_starts.push_back(grid_from);
                grid_pieces.push_back(piece);
                grid_from = grid_to;
                LINE_ARC_SEG_get_from_grid(&piece, map);
                const PNT2_s to{piece.x, piece.y};

                // e. The vertex geometry, and the source reference R; an
                //    escaped dummy with a zero chord makes no vertex.
                CHAIN_app_poly_seg_chain_source_s* ref = sources ? POLY_SEG_usable_source(parent) : nullptr;
                end_segment geometry;
                SEGMENT_TYPE type;
                const bool make = POLY_SEG_vertex_geometry(&piece, from, ref, &geometry, &type, &escaped);

                // f-g. The new vertices and their sources.
                int first_output = -1;
                auto handle = [&](RING_node_s* vertex, const CHAIN_app_poly_seg_chain_source_s* r) {
                    if (first_output < 0) first_output = segment_count(chain) - 1;
                    POLY_SEG_source_walk_vertex(w, r, vertex);
                };
                if (make) {
                    if (!segment_cb) {
                        if (RING_node_s* vertex = ChainAppendVertex(chain, &geometry, type)) handle(vertex, ref);
                    } else {
                        // Each node the callback returns must be a new vertex:
                        // a call that does not grow the chain ends the piece.
                        for (;;) {
                            Korvo::Math::Point2 start{from.x, from.y};
                            CHAIN_app_poly_seg_chain_source_s* r = ref;
                            const int before = chain->count;
                            RING_node_s* vertex = segment_cb(segment_data, first_call, chain, &geometry, &start, type,
                                                             parent_piece, &r);
                            first_call = false;
                            if (!vertex || chain->count <= before) break;
                            if (r != ref) {
                                ref = usable(r);
                                w.single_source = false;
                            }
                            handle(vertex, ref);
                        }
                    }

                    // h. Outputs of every entry not yet mapped up to i.
                    const int segments = segment_count(chain);
                    if (first_output < 0) first_output = segments - 1;
                    POLY_INTXN_app_chain_src_out_s* own = src_out_of(parent);
                    if (sources && own && segments >= 1) {
                        for (int m = unmapped, steps = n; steps > 0; --steps, m = (m + 1) % n) {
                            const POLY_INTXN_node_s* em = POLY_INTXN_entry(loop, m);
                            POLY_INTXN_app_chain_src_out_s* record = m == i ? own : src_out_of(parent_of(em));
                            if (record) {
                                POLY_INTXN_app_data_append_output(record, em, chain, chain->last, first_output,
                                                                  segments - 1, nullptr);
                                outputs = true;
                            }
                            if (m == i) break;
                        }
                        unmapped = j;
                    }
                }
                // i.
                from = to;
            }

            // 5. A closed loop: the start vertex goes, the ring closes and
            //    turns to start at its last vertex, the loop's start point.
            if (closed && start_vertex && chain->count > 1) {
                RING_delete_node(chain, start_vertex);
                RING_node_s* first = chain->first;
                chain->last->next = first;
                first->previous = chain->last;
                chain->first = chain->last;
                chain->last = chain->first->previous;
                CHAIN_drop_cached_box(chain);
            }
            // 6. Direction: the sign of the loop's area on the grid, which is
            //    exact, unless it cannot be told from zero.
            std::vector<const LINE_ARC_SEG_s*> on_grid;
            for (const LINE_ARC_SEG_s& piece : grid_pieces) on_grid.push_back(&piece);
            const int sign = closed ? merrow1::poly_seg::grid_loop_area_sign(grid_starts.data(), on_grid.data(),
                                                                              static_cast<int>(on_grid.size()))
                                    : 0;
            md->direction = sign != 0 ? (sign > 0 ? CCW : CW) : CHAIN_direction_of_chain(chain);
            // 7.
            if (!sources || !w.first_source) return chain;
            if (chain->count < 2) return chain;
            // 7a. The closing junction at the first vertex.
            if (is_closed(chain)) POLY_SEG_source_walk_close(w, chain->first, chain->first->next);
            // 7b. The chosen start; outputs follow the new numbering.
            if (closed && w.candidate && is_closed(chain) && w.candidate != chain->first) {
                const int shift = position_of(chain, w.candidate);
                if (shift > 0) {
                    chain->first = w.candidate;
                    chain->last = w.candidate->previous;
                    if (outputs) shift_outputs(loop, chain, shift);
                }
            }
            // 7c-d. Blank segments, then the reuse of the single source chain
            //       (its outputs go back to the source chain) or the class and
            //       kind of the new one.
            return POLY_SEG_source_walk_finish(w, spec, loop_class, [&](bool reused) {
                discard_new_chain();
                if (reused && outputs) POLY_INTXN_app_data_init_output(loop);
            });
        }();
    } catch (const Korvo::Error::Exception&) {
        discard_new_chain();
        throw;
    } catch (const std::exception& e) {
        discard_new_chain();
        Korvo::Error::Severe severe;
        severe.Convert(e);
        severe.Rethrow();
    }

    // 8. The side asked for, and the order of an open chain.
    if (result && result->count >= 2) {
        const CHAIN_main_data_s* rmd = main_of(result);
        if (side != 0 && side != rmd->material_side) {
            POLY_SEG_chain_reverse_incorrectly(result, pool);
            if (outputs) POLY_INTXN_app_data_reverse_output(loop, result);
        }
        if (order && sources && !is_closed(result)) POLY_SEG_order_open_chain(result, order);
    }
    // 9.
    if (escaped != 0 && RDEBUG_ask_flag("cam_poly_seg"))
        ERROR_lprintf("Number of escaped dummies in POLY_INTXN_create_chain = %d\n", escaped);
    return result;
}

void POLY_INTXN_create_chain_set(RING_header_s* loops, const INT_GRID_MAP_s* map, const CSYS* csys,
                                 CHAIN_proc_app_data_spec_e spec, CHAIN_vertex_source_callback_t vertex_cb,
                                 double tolerance, SIDE side, bool offset, bool skip_inserts,
                                 POLY_INTXN_segment_create_cb_t segment_cb, void* segment_data,
                                 POLY_SEG_offset_value_cb_t offset_cb, void* offset_data,
                                 RING_header_s* chain_list) {
    if (!loops || loops->count == 0 || !loops->first || !chain_list) return;
    // The order records live in the ring's pool for the length of the call.
    POLY_SEG_output_list_s out(chain_list, loops->pool, loops->count, spec != 0, false);
    merrow1::run_converting([&]() {
        RING_node_s* node = loops->first;
        for (int i = 0; node && i < loops->count; ++i, node = node->next) {
            CERR_raise_on_abort();
            POLY_INTXN_s* loop = static_cast<POLY_INTXN_s*>(node->main_data);
            if (!loop) continue;
            POLY_SEG_output_order_data_s* order = out.order(i);
            RING_header_s* chain =
                POLY_INTXN_create_chain(loop, map, csys, chain_list->pool, spec, vertex_cb, tolerance, side, offset,
                                        skip_inserts, order, segment_cb, segment_data, offset_cb, offset_data);
            if (!chain) continue;
            if (chain->count < 2) {
                forget_chain_outputs(loop, chain);
                RING_delete(chain);
                continue;
            }
            out.add(chain, order);
        }
    });
}
