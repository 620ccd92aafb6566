// Chains made from other chains (see merrow1/chain_from_chain.h).
#include <merrow1/chain_from_chain.h>

#include "chain/chain_each.h"

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_merge.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_split.h>
#include <harlow/part.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>
#include <pellam/tool.h>
#include <quorn/mtx3.h>
#include <stend/error.h>

#include <cmath>

#include <utility>

namespace {

const char* const kFile = "chain_from_chain.cpp";
const double kCloseGap = 1e-8;
// Key 120: the classifier's datum on a piece of CHAIN_split_chain_into_chains.
const APP_DATA_key_t kPieceDatumKey = CHAIN_APP_DATA_SPLIT_CLASS;

CHAIN_main_data_s* main_data(const RING_header_s* chain) {
    return chain ? static_cast<CHAIN_main_data_s*>(chain->main_data) : nullptr;
}
CHAIN_vertex_data_s* vertex_record(const RING_node_s* node) {
    return node ? static_cast<CHAIN_vertex_data_s*>(node->main_data) : nullptr;
}
bool is_closed(const RING_header_s* chain) { return chain->last && chain->last->next == chain->first; }

RING_header_s* report(const char* label, RING_header_s* chain) {
    CHAIN_debug_report(3, label, chain, nullptr);
    return chain;
}

// The number of end records in the network that holds the junction node: the
// sum of the sub-ring counts of every junction linked with it.  The walk over
// the network ring is bounded by a count no real network reaches.
long network_end_record_count(const RING_node_s* junction) {
    const long kMaxJunctions = 1L << 26;
    long total = 0;
    auto add = [&](const RING_node_s* node) {
        if (const RING_header_s* ring = RING_ask_node_subring(node)) total += ring->count;
    };
    add(junction);
    const RING_node_s* node = junction->next;
    long steps = 0;
    for (; node && node != junction; node = node->next)
        if (++steps > kMaxJunctions) ERROR_internal(kFile, __LINE__, "split-chain network does not end");
        else add(node);
    if (!node) {
        for (node = junction->previous; node && node != junction; node = node->previous)
            if (++steps > kMaxJunctions) ERROR_internal(kFile, __LINE__, "split-chain network does not end");
            else add(node);
    }
    return total;
}

// The node after (orientation 1) or before (-1) the node in its junction ring,
// going round the ring.
RING_node_s* neighbour_in_junction(const RING_header_s* junction, RING_node_s* node, int orientation) {
    if (orientation == 1) return node->next ? node->next : junction->first;
    return node->previous ? node->previous : junction->last;
}

}  // namespace

// ===========================================================================
// Chains of split pieces and parts
// ===========================================================================

RING_header_s* CHAIN_create_splitchain_chain(const RING_node_s* split_chain, CMEM_pool_s* pool,
                                             CHAIN_vertex_source_callback_t callback) {
    const SPLIT_CHAIN_s* end = split_chain ? static_cast<const SPLIT_CHAIN_s*>(split_chain->main_data) : nullptr;
    if (!end || !end->piece || !end->piece->start || !pool) return nullptr;
    RING_header_s* chain = CHAIN_create_with_main_data_copied(end->piece->start->chain, pool);
    if (!chain) return nullptr;
    if (end->reversed) {
        SIDE& side = main_data(chain)->material_side;
        if (side != 0 && side != 2) side = 4 - side;
    }
    CHAIN__merge(chain, end->piece, end->reversed, callback, true);
    return report("CHAIN_create_splitchain_chain", chain);
}

RING_header_s* CHAIN_create_chain_from_sc_loop(RING_node_s* split_chain, int orientation, CMEM_pool_s* pool) {
    const SPLIT_CHAIN_s* first = split_chain ? static_cast<const SPLIT_CHAIN_s*>(split_chain->main_data) : nullptr;
    if (!first || !first->piece || !first->piece->start || !pool) return nullptr;
    RING_header_s* chain = CHAIN_create_from_chain(first->piece->start->chain, pool);
    if (!chain) return nullptr;
    main_data(chain)->material_side = 0;
    main_data(chain)->direction = 0;
    // Each piece is entered once per step; a loop cannot take more steps than
    // the network has end records.
    const long bound = first->far_junction ? network_end_record_count(first->far_junction) : 1;
    RING_node_s* node = split_chain;
    for (long steps = 0;; ++steps) {
        if (steps > bound) {
            RING_delete(chain);
            ERROR_raise(kFile, __LINE__, ERROR_INFINITE_LOOP_CODE, "Infinite Loop Encountered");
        }
        const SPLIT_CHAIN_s* end = static_cast<const SPLIT_CHAIN_s*>(node->main_data);
        CHAIN__merge(chain, end->piece, end->reversed, nullptr, true);
        RING_header_s* junction = nullptr;
        RING_node_s* twin = NextSplitChain(end, &junction);
        if (!twin || !junction) {
            RING_delete(chain);
            return nullptr;
        }
        if (orientation != 1 && orientation != -1) break;
        node = neighbour_in_junction(junction, twin, orientation);
        if (node == split_chain) break;
    }
    CHAIN_close(chain, kCloseGap);
    return report("CHAIN_create_chain_from_sc_loop", chain);
}

RING_header_s* CHAIN_create_chain_from_part_of_chain(const PART_OF_CHAIN_s* part,
                                                     CHAIN_vertex_source_callback_t callback, CMEM_pool_s* pool) {
    if (!part || !part->start || !part->end || !part->start->chain || !pool) return nullptr;
    RING_header_s* chain = CHAIN_create_from_chain(part->start->chain, pool);
    if (!chain) return nullptr;
    CHAIN__merge(chain, part, 0, callback, true);
    if (chain->count < 2) {
        RING_delete(chain);
        return nullptr;
    }
    return report("CHAIN_create_chain_from_part_of_chain", chain);
}

RING_header_s* CHAIN_create_open_chain_from_subset_of_chain(RING_header_s* chain, RING_node_s* from,
                                                            RING_node_s* to, CHAIN_vertex_source_callback_t callback,
                                                            CMEM_pool_s* pool) {
    if (!chain || !vertex_record(from) || !vertex_record(to)) return nullptr;
    POINT_ON_CHAIN_s start{}, end{};
    PART_OF_CHAIN_s part{};
    if (!PointOnChainCreate(chain, from, 0, vertex_record(from)->geometry, &start) ||
        !PointOnChainCreate(chain, to, 0, vertex_record(to)->geometry, &end) ||
        !CreatePartOfChain(&part, &start, &end))
        return nullptr;
    return CHAIN_create_chain_from_part_of_chain(&part, callback, pool);
}

// ===========================================================================
// Close by reverse and reopen
// ===========================================================================

namespace {

void close_one_by_reverse(RING_header_s* chain, bool mark) {
    if (!chain->first || is_closed(chain) || chain->count < 2) return;
    CHAIN_debug_report(3, "CHAIN_close_by_reverse: input", chain, nullptr);
    RING_header_s* back = CHAIN_create_reversed_chain(chain, chain->pool);
    if (!back || back->count != chain->count) {
        if (back) RING_delete(back);
        return;
    }
    RING_node_s* turn = chain->last;
    RING_node_s* first = chain->first;
    // The reversed copy's last vertex is the closing segment back to the
    // start.  The first vertex takes its geometry and segment type and keeps
    // its own flag word and data; its old point record goes with the copy.
    CHAIN_vertex_data_s* closing = vertex_record(back->last);
    CHAIN_vertex_data_s* own = vertex_record(first);
    const SEGMENT_TYPE closing_type = CHAIN_seg_ask_type(back->last);
    std::swap(own->geometry, closing->geometry);
    CHAIN_seg_set_type(first, closing_type);
    // The copy's vertices between its first (a duplicate of the turning
    // point) and its last are the return vertices.
    const int inner = back->count - 2;
    for (int i = 0; i < inner; ++i) RING_move_node(back, back->first->next, chain, chain->last);
    RING_delete(back);
    chain->last->next = chain->first;
    chain->first->previous = chain->last;
    const SIDE side = main_data(chain)->material_side;
    main_data(chain)->direction = side == RIGHT ? CW : side == LEFT ? CCW : 0;
    if (mark) {
        RING_put_header_app_data(chain, CHAIN_APP_DATA_TURNING_VERTEX, turn);
        RING_node_s* node = turn;
        for (int i = 0; i < chain->count; ++i) {
            node = node->next;
            vertex_record(node)->flags |= CHAIN_VERTEX_BACK_SIDE;
            if (node == first) break;
        }
    }
    CHAIN_debug_report(3, "CHAIN_close_by_reverse: output", chain, nullptr);
}

}  // namespace

void CHAIN_close_by_reverse(RING_header_s* chain_or_list, bool mark) {
    merrow1::for_each_chain(chain_or_list, [&](RING_header_s* chain) { close_one_by_reverse(chain, mark); });
}

void CHAIN_create_closed_from_open(RING_header_s* chain) { CHAIN_close_by_reverse(chain, true); }

void CHAIN_create_closed_from_open_with_key(RING_header_s* chain) {
    if (!chain || chain->type == RING_TYPE_LIST) return;
    // Each holder owns its record, so deleting the chain frees each once.
    auto new_record = [&]() {
        int* record = static_cast<int*>(CMEM_private_alloc_in_pool(chain->pool, 1, 16, __LINE__, kFile));
        record[0] = 1;
        record[1] = record[2] = record[3] = 0;
        return record;
    };
    RING_put_header_app_data(chain, CHAIN_APP_DATA_THERE_AND_BACK, new_record());
    RING_node_s* node = chain->first;
    for (int i = 1; node && i < chain->count; ++i) {
        node = node->next;
        if (!node) break;
        RING_put_node_app_data(chain, node, CHAIN_APP_DATA_THERE_AND_BACK, new_record());
    }
    CHAIN_create_closed_from_open(chain);
}

void CHAIN_recreate_open_chain(RING_header_s* chain) {
    if (!chain || !chain->first || !is_closed(chain)) return;
    RING_node_s* turn =
        static_cast<RING_node_s*>(APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_TURNING_VERTEX));
    if (!turn) return;
    CHAIN_debug_report(3, "CHAIN_recreate_open_chain: input", chain, nullptr);
    int position = 0;
    RING_node_s* node = chain->first;
    for (int i = 1; i <= chain->count; ++i, node = node->next)
        if (node == turn) {
            position = i;
            break;
        }
    if (position == 0) return;
    // Unlink the vertices after the turn, then delete them as a ring of their
    // own so the chain's count and links stay consistent.
    while (chain->last != turn) RING_delete_node(chain, chain->last);
    turn->next = nullptr;
    chain->first->previous = nullptr;
    CHAIN_seg_set_type(chain->first, SEG_POINT);
    vertex_record(chain->first)->flags &= ~static_cast<unsigned int>(CHAIN_VERTEX_BACK_SIDE);
    RING_delete_app_data(chain, CHAIN_APP_DATA_TURNING_VERTEX);
    CHAIN_debug_report(3, "CHAIN_recreate_open_chain: output", chain, nullptr);
}

// ===========================================================================
// Cutting and joining
// ===========================================================================

RING_node_s* CHAIN_split_seg(RING_header_s* chain, RING_node_s* vertex, const Korvo::Math::Point2* point) {
    if (!chain || !vertex || !point) return nullptr;
    bool inserted = false;
    RING_node_s* node = CHAIN_insert_vertex(chain, vertex, point, nullptr, &inserted);
    if (node && inserted) {
        CHAIN_copy_source_seg_app_data(chain, vertex, node);
        vertex_record(node)->flags = vertex_record(vertex)->flags;
    }
    return node;
}

RING_header_s* CHAIN_split_chain_into_chains(RING_header_s* chain, CHAIN_split_classifier_t classifier,
                                             CHAIN_vertex_source_callback_t callback, CMEM_pool_s* pool,
                                             int* answer) {
    int status = 0;
    if (answer) *answer = 0;
    if (!chain || !classifier || !pool || !chain->first) return nullptr;
    CHAIN_debug_report(3, "CHAIN_split_chain_into_chains: chain", chain, nullptr);
    int reply = 0;
    classifier(chain, nullptr, pool, &reply);
    if (reply != 2) return nullptr;
    const bool closed = is_closed(chain);
    // The caller's start comes back on every exit, errors of the classifier
    // or the callback included.
    struct StartGuard {
        RING_header_s* chain;
        RING_node_s* first;
        RING_node_s* last;
        ~StartGuard() {
            chain->first = first;
            chain->last = last;
        }
    } start_guard{chain, chain->first, chain->last};
    // A closed chain starts at the first vertex the classifier cuts at
    // without emitting; every vertex of it holds its incoming segment, so
    // moving the header's ends moves the start.
    if (closed) {
        RING_node_s* node = chain->first;
        for (int i = 0; i < chain->count; ++i, node = node->next) {
            int a = 0;
            classifier(chain, node, pool, &a);
            if (a == 2) {
                chain->first = node;
                chain->last = node->previous;
                break;
            }
        }
    }
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    bool failed = false;
    POINT_ON_CHAIN_s places[2]{};
    POINT_ON_CHAIN_s* previous = &places[0];
    POINT_ON_CHAIN_s* current = &places[1];
    failed = !PointOnChainCreate(chain, chain->first, 0, vertex_record(chain->first)->geometry, previous);
    // The vertices from the second; a closed chain ends with its first again
    // (the closing segment).
    const int steps = closed ? chain->count : chain->count - 1;
    RING_node_s* node = chain->first;
    for (int i = 0; i < steps && !failed; ++i) {
        node = node->next;
        int a = 0;
        void* datum = classifier(chain, node, pool, &a);
        if (a == 0) continue;
        if (!PointOnChainCreate(chain, node, 0, vertex_record(node)->geometry, current)) {
            failed = true;
            break;
        }
        if (a == 1) {
            PART_OF_CHAIN_s part{};
            RING_header_s* piece = nullptr;
            if (CreatePartOfChain(&part, previous, current))
                piece = CHAIN_create_chain_from_part_of_chain(&part, callback, pool);
            if (!piece) {
                failed = true;
                break;
            }
            if (datum) RING_put_header_app_data(piece, kPieceDatumKey, datum);
            RING_insert_after(list, list->last, piece);
        }
        std::swap(previous, current);
    }
    if (failed || list->count == 0) {
        RING_delete(list);
        if (answer) *answer = failed ? 0 : 1;
        return nullptr;
    }
    status = 2;
    if (answer) *answer = status;
    CHAIN_debug_report(3, "CHAIN_split_chain_into_chains: list_of_chains", list, nullptr);
    return list;
}

void CHAIN_append_chain_to_chain(RING_header_s* chain1, RING_header_s* chain2, double tolerance) {
    if (!chain1 || !chain2 || chain1 == chain2 || chain1->pool != chain2->pool) return;
    if ((chain1->first && is_closed(chain1)) || !chain2->first || is_closed(chain2) || chain2->count < 2) return;
    if (chain1->first) {
        const double* end = vertex_record(chain1->last)->geometry;
        const double* start = vertex_record(chain2->first)->geometry;
        const double dx = start[0] - end[0], dy = start[1] - end[1];
        if (dx * dx + dy * dy <= tolerance * tolerance)
            RING_delete_node(chain2, chain2->first);
        else
            CHAIN_seg_set_type(chain2->first, SEG_LINE);
    }
    RING_append_ring(chain1, chain2);
}

// ===========================================================================
// Projection and tool profiles
// ===========================================================================

namespace {

struct Projection {
    double n[3];
    double d;
    double v[3];
    CSYS out;

    // The point moved along the direction onto the plane, in the output CSYS.
    Korvo::Math::Point2 map(const double p[3]) const {
        const double s = v[0] * n[0] + v[1] * n[1] + v[2] * n[2];
        double q[3] = {p[0], p[1], p[2]};
        if (std::fabs(s) > 1e-10) {
            const double t = (d - (p[0] * n[0] + p[1] * n[1] + p[2] * n[2])) / s;
            for (int k = 0; k < 3; ++k) q[k] += t * v[k];
        }
        for (int k = 0; k < 3; ++k) q[k] -= out.origin[k];
        const double* m = out.matrix;
        return {q[0] * m[0] + q[1] * m[1] + q[2] * m[2], q[0] * m[3] + q[1] * m[4] + q[2] * m[5]};
    }
};

void to_absolute(const RING_header_s* chain, const double xy[2], double out[3]) {
    const CSYS& csys = main_data(chain)->csys;
    for (int k = 0; k < 3; ++k) out[k] = csys.origin[k] + xy[0] * csys.matrix[k] + xy[1] * csys.matrix[3 + k];
}

RING_header_s* project_one(RING_header_s* chain, CMEM_pool_s* pool, const Projection& projection, double tolerance,
                           CHAIN_vertex_source_callback_t callback) {
    if (!main_data(chain)) return nullptr;
    RING_header_s* out = CHAIN_create_from_chain(chain, pool);
    if (!out) return nullptr;
    main_data(out)->csys = projection.out;
    const bool closed = chain->first && is_closed(chain);
    auto append = [&](RING_node_s* source, const double xy[2], SEGMENT_TYPE type) {
        double p[3];
        to_absolute(chain, xy, p);
        const Korvo::Math::Point2 q = projection.map(p);
        end_segment end{q.x, q.y, 0, 0, 0, 0};
        RING_node_s* made = ChainAppendVertexGeneral(out, &end, out->first ? type : SEG_POINT, 0);
        if (callback) callback(source, source, chain, made ? made : out->last, out);
    };
    RING_node_s* node = chain->first;
    const int steps = closed ? chain->count + 1 : chain->count;
    for (int i = 0; i < steps && node; ++i, node = node->next) {
        const SEGMENT_TYPE type = CHAIN_seg_ask_type(node);
        if (i == 0 || type == SEG_POINT) {
            append(node, vertex_record(node)->geometry, SEG_POINT);
        } else if (type == SEG_ARC) {
            SEGMENT arc{};
            if (ChainSegment(chain, node, &arc) != 1) continue;
            Korvo::Math::Point2 first{}, last{}, p{};
            // Points on the arc itself, chords within the tolerance.
            const SIDE inside = arc.end->direction == CW ? LEFT : RIGHT;
            const int n = SEGMENT_init_arc_segmentation(&arc, inside, 0.0, tolerance, &first, &last);
            for (int k = 1; k < n; ++k)
                if (SEGMENT_get_segmentation_point(&arc, n, &first, &last, k, &p)) {
                    const double xy[2] = {p.x, p.y};
                    append(node, xy, SEG_LINE);
                }
            append(node, vertex_record(node)->geometry, SEG_LINE);
        } else {
            append(node, vertex_record(node)->geometry, SEG_LINE);
        }
    }
    if (closed) CHAIN_close(out, kCloseGap);
    return out;
}

}  // namespace

RING_header_s* CHAIN_create_projected_chain(RING_header_s* chain_or_list, CMEM_pool_s* pool, const double plane[4],
                                            const Korvo::Math::Vector3& direction,
                                            const Korvo::Math::Vector3* offset_point, const double* tolerance,
                                            CHAIN_vertex_source_callback_t callback) {
    if (!chain_or_list || !plane) return nullptr;
    const double length = std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
    if (!(length > 0.0) || !std::isfinite(length) || !std::isfinite(plane[3])) return nullptr;
    Projection projection{};
    for (int k = 0; k < 3; ++k) projection.n[k] = plane[k] / length;
    projection.d = plane[3] / length;
    projection.v[0] = direction.x;
    projection.v[1] = direction.y;
    projection.v[2] = direction.z;
    if (!MTX3_init_z(projection.n, projection.out.matrix)) return nullptr;
    for (int k = 0; k < 3; ++k) projection.out.origin[k] = projection.d * projection.n[k];
    if (offset_point) {
        projection.out.origin[0] -= offset_point->x;
        projection.out.origin[1] -= offset_point->y;
        projection.out.origin[2] -= offset_point->z;
    }
    const double tol = tolerance ? *tolerance : PART_ask_units(0) == 1 ? 0.001 : 0.03;
    if (chain_or_list->type != RING_TYPE_LIST)
        return project_one(chain_or_list, pool ? pool : chain_or_list->pool, projection, tol, callback);
    CMEM_pool_s* list_pool = pool ? pool : chain_or_list->pool;
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, list_pool);
    RING_node_s* node = chain_or_list->first;
    for (int i = 0; i < chain_or_list->count && node; ++i, node = node->next)
        if (RING_header_s* chain = RING_ask_node_subring(node))
            if (RING_header_s* made = project_one(chain, list_pool, projection, tol, callback))
                RING_insert_after(list, list->last, made);
    const bool circular = chain_or_list->last && chain_or_list->last->next == chain_or_list->first;
    if (circular && list->first) {
        list->last->next = list->first;
        list->first->previous = list->last;
    }
    return list;
}

RING_header_s* CHAIN_convert_tool_to_chains(TOOL_s* tools, const CSYS* csys, CMEM_pool_s* pool) {
    if (!tools || !csys || !pool) return nullptr;
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    const int kMaxElements = 1 << 20;  // bounds each walk over host links
    int tool_count = 0;
    for (TOOL_s* tool = tools; tool; tool = tool->next) {
        if (++tool_count > kMaxElements) ERROR_internal(kFile, __LINE__, "tool list does not end");
        RING_header_s* chain = nullptr;
        int element_count = 0;
        for (TOOL_profile_element_s* e = tool->profile; e; e = e->next) {
            if (++element_count > kMaxElements) ERROR_internal(kFile, __LINE__, "tool profile does not end");
            SEGMENT segment{};
            double start[2] = {e->point[0], e->point[1]};
            double end[2];
            SEGMENT_TYPE type = SEG_LINE;
            double centre[2] = {e->centre[0], e->centre[1]};
            if (e->next) {
                end[0] = e->next->point[0];
                end[1] = e->next->point[1];
                if (e->kind == 1) type = SEG_ARC;
            } else if (e->kind == 0) {
                end[0] = e->point[0] + e->direction[0] * tool->length;
                end[1] = e->point[1] + e->direction[1] * tool->length;
            } else {
                break;
            }
            end_segment arc_end{end[0], end[1], centre[0], centre[1], e->radius, CCW};
            segment.start = start;
            segment.end = &arc_end;
            segment.type = type;
            if (!chain) {
                const Korvo::Math::Point2 p{start[0], start[1]};
                chain = CHAIN_create_point_chain(csys, &p, pool);
                if (!chain) break;
                RING_insert_after(list, list->last, chain);
            }
            ChainAddSegment(chain, &segment);
        }
    }
    return list;
}
