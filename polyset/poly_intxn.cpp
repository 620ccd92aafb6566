// Intersection loops: records, rings of loops, measures, small-loop tests,
// inserted connectors and paired copies.
#include <merrow1/poly_intxn.h>

#include <merrow1/poly_seg.h>
#include <merrow1/psi.h>

#include "internal/check.h"
#include "polyset/psi_internal.h"

#include <cmath>
#include <cstring>

using merrow1::psi::seg_piece;
using merrow1::psi::seg_start;

namespace {

// Perimeter limit and area ratio of the small-loop test when none is given.
const double kDefaultPerimeterLimit = 200000.0;
const double kDefaultHalfRatio = 2.0;
// A closed loop shorter than this is small whatever its area.
const double kTinyPerimeter = 1.0;

// Element size and block parameters of the entry array.
const int kEntrySize = 16;
const int kEntryShift = 10;
const int kEntryTable = 10;
static_assert(sizeof(POLY_INTXN_node_s) == kEntrySize || sizeof(void*) != 8,
              "an entry is a node pointer and an arm (16 bytes)");

PNT2_s node_point(const PSI_INTXN_NODE_s* node) { return node->pnt; }

// The entry's parent segment.
RING_node_s* parent_of(const POLY_INTXN_node_s* e) { return e->node->segs[e->arm & 1]; }

// The start of the entry's sub-segment: the neighbour along its arm.  An arm
// without a neighbour (which a well-formed loop never holds) gives an empty
// sub-segment at the node.
PNT2_s start_of(const POLY_INTXN_node_s* e) {
    const PSI_INTXN_NODE_s* n = e->node->pn_along[e->arm];
    return n ? n->pnt : e->node->pnt;
}

bool is_reversed(int arm) { return (arm & 2) != 0; }

// Index of the segment at a node: 1 when the node's second entry is the
// segment, else 0.
int index_at(const PSI_INTXN_NODE_s* node, const RING_node_s* segment) { return node->segs[1] == segment ? 1 : 0; }

double distance(const PNT2_s& a, const PNT2_s& b) { return std::hypot(b.x - a.x, b.y - a.y); }

uint32_t insert_flags_of(const POLY_INTXN_node_s* e) {
    return seg_piece(parent_of(e))->flags & POLY_INTXN_INSERT_FLAGS;
}

// The index after i in a walk of n entries, wrapping for a closed loop; -1
// at the end of an open loop.
int following(int i, int n, bool closed) {
    if (i + 1 < n) return i + 1;
    return closed ? 0 : -1;
}

// The entry that gives the start of entry e's sub-segment, as an entry at
// the neighbour node: the same segment there, pointing back along it.
POLY_INTXN_node_s start_entry_of(const POLY_INTXN_node_s* e) {
    PSI_INTXN_NODE_s* n = e->node->pn_along[e->arm];
    if (!n) return *e;  // no neighbour: the node itself stands for the start
    const int s = index_at(n, parent_of(e));
    return POLY_INTXN_node_s{n, s | ((e->arm & 2) ^ 2)};
}

int delete_loop_of_node(RING_header_s*, RING_node_s* node) {
    POLY_INTXN_destroy(static_cast<POLY_INTXN_s*>(node->main_data));
    node->main_data = nullptr;
    return 1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Loops and rings of loops
// ---------------------------------------------------------------------------

POLY_INTXN_s* POLY_INTXN_create(CMEM_pool_s* pool) {
    MERROW1_REQUIRE(pool != nullptr, "DUE_TO_INVALID_INPUT", nullptr);
    POLY_INTXN_s* loop = CMEM_NEW(pool, POLY_INTXN_s);
    if (!loop) return nullptr;
    loop->entries = DYNAMIC_ARRAY__create(pool, kEntrySize, kEntryShift, kEntryTable);
    if (!loop->entries) {
        CMEM_private_delete_object(loop);
        return nullptr;
    }
    loop->closed = 1;
    loop->loop_number = 0;
    loop->paired = 0;
    return loop;
}

void POLY_INTXN_destroy(POLY_INTXN_s* loop) {
    if (!loop) return;
    DYNAMIC_ARRAY__destroy(loop->entries);
    CMEM_private_delete_object(loop);
}

RING_header_s* POLY_INTXN_create_ring_of(CMEM_pool_s* pool) {
    MERROW1_REQUIRE(pool != nullptr, "DUE_TO_INVALID_INPUT", nullptr);
    RING_header_s* ring = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
    if (ring) RING_set_node_main_data_delfunc(ring, delete_loop_of_node);
    return ring;
}

void POLY_INTXN_remove_entry(POLY_INTXN_s* loop, int index) {
    const int n = POLY_INTXN_count(loop);
    if (index < 0 || index >= n) return;
    for (int i = index; i + 1 < n; ++i) *POLY_INTXN_entry(loop, i) = *POLY_INTXN_entry(loop, i + 1);
    DA_set_num_active(loop->entries, n - 1);
}

// ---------------------------------------------------------------------------
// Sub-segments
// ---------------------------------------------------------------------------

LINE_ARC_SEG_s* POLY_INTXN_node_create_seg(const POLY_INTXN_node_s* entry, CMEM_pool_s* pool) {
    MERROW1_REQUIRE(entry != nullptr && entry->node != nullptr, "DUE_TO_INVALID_INPUT", nullptr);
    const RING_node_s* parent = parent_of(entry);
    const LINE_ARC_SEG_s* piece = seg_piece(parent);
    const PNT2_s end = node_point(entry->node);
    if (LINE_ARC_SEG_is_arc(piece)) {
        const PNT2_s start = start_of(entry);
        const PNT2_s parent_start = seg_start(parent);
        return LINE_ARC_SEG_create_arc_from_arc(pool, &start, &end, piece, &parent_start,
                                                is_reversed(entry->arm) ? 1 : 0);
    }
    return LINE_ARC_SEG_create_line_from_line(pool, &end, piece);
}

void POLY_INTXN_visit_subsegments(const POLY_INTXN_s* loop, POLY_INTXN_visit_cb_t callback, void* data) {
    if (!callback) return;
    const int n = POLY_INTXN_count(loop);
    for (int i = 0; i < n; ++i) {
        const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, i);
        PSI_INTXN_NODE_s* neighbour = e->node->pn_along[e->arm];
        if (!neighbour) continue;  // no sub-segment to name
        const int s = index_at(neighbour, parent_of(e));
        if (is_reversed(e->arm))
            callback(neighbour, s, e->arm, data);  // runs against its segment: the far end comes first
        else
            callback(e->node, e->arm, s + 2, data);
    }
}

void POLY_INTXN_display(const POLY_INTXN_s* loop, const INT_GRID_MAP_s* map, int view, int colour, int font,
                        int width) {
    const int n = POLY_INTXN_count(loop);
    for (int i = 0; i < n; ++i) {
        const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, i);
        const RING_node_s* parent = parent_of(e);
        const PNT2_s parent_start = seg_start(parent);
        const PNT2_s a = start_of(e), b = node_point(e->node);
        LINE_ARC_SEG_display_sub_segment(&parent_start, seg_piece(parent), &a, &b, is_reversed(e->arm) ? 1 : 0, map,
                                         view, colour, font, width);
    }
}

// ---------------------------------------------------------------------------
// Measures
// ---------------------------------------------------------------------------

double POLY_INTXN_length(const POLY_INTXN_s* loop) {
    const int n = POLY_INTXN_count(loop);
    if (n == 0) return 0.0;
    // Each sub-segment runs from the previous end (first: the first entry's
    // start) to its node.
    PNT2_s p = start_of(POLY_INTXN_entry(loop, 0));
    double length = 0.0;
    for (int i = 0; i < n; ++i) {
        const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, i);
        const RING_node_s* parent = parent_of(e);
        const LINE_ARC_SEG_s* piece = seg_piece(parent);
        const PNT2_s q = node_point(e->node);
        if (LINE_ARC_SEG_is_arc(piece)) {
            const PNT2_s parent_start = seg_start(parent);
            length += LINE_ARC_SEG_sub_arc_length(&p, &q, piece, &parent_start);
        } else {
            length += distance(p, q);
        }
        p = q;
    }
    return length;
}

double POLY_INTXN_area(const POLY_INTXN_s* loop) {
    const int n = POLY_INTXN_count(loop);
    if (n < 2 || !loop->closed) return 0.0;
    // Shoelace over the sub-segment ends relative to x0 (which keeps the
    // products small on a large grid), plus twice the area between each arc
    // sub-segment and its chord.
    PNT2_s prev = start_of(POLY_INTXN_entry(loop, 0));
    const double x0 = prev.x;
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, i);
        const PNT2_s q = node_point(e->node);
        sum += (q.x + prev.x - 2 * x0) * (q.y - prev.y);
        if (LINE_ARC_SEG_is_arc(seg_piece(parent_of(e)))) {
            const PNT2_s start = start_of(e);
            sum += POLY_SEG_arc_area_term(&start, POLY_INTXN_node_create_seg(e, nullptr));
        }
        prev = q;
    }
    return sum / 2;
}

bool POLY_INTXN_is_small_closed_loop(const POLY_INTXN_s* loop, const double* perimeter_limit, const double* ratio) {
    // 1. Null and open loops are not small.
    if (!loop || !loop->closed) return false;
    // 2. A loop without entries is small.
    const double limit = perimeter_limit ? *perimeter_limit : kDefaultPerimeterLimit;
    const int n = POLY_INTXN_count(loop);
    if (n == 0) return true;
    // 3. Perimeter, given up as soon as it reaches the limit.
    double perimeter = 0.0;
    for (int i = 0; i < n; ++i) {
        const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, i);
        const PNT2_s a = start_of(e), b = node_point(e->node);
        if (LINE_ARC_SEG_is_arc(seg_piece(parent_of(e))))
            perimeter += LINE_ARC_SEG_arc_length(&a, POLY_INTXN_node_create_seg(e, nullptr));
        else
            perimeter += distance(a, b);
        if (perimeter >= limit) return false;
    }
    // 4. A tiny perimeter is small.
    if (perimeter < kTinyPerimeter) return true;
    // 5. Thin loops: |area| / perimeter below half the ratio.
    const double half_ratio = ratio ? *ratio / 2 : kDefaultHalfRatio;
    return std::fabs(POLY_INTXN_area(loop)) / perimeter < half_ratio;
}

void POLY_INTXN_remove_small_closed_loops(RING_header_s* ring, const double* perimeter_limit, const double* ratio) {
    if (!ring) return;
    // One pass over the nodes present at the start; the successor is taken
    // before a node goes.
    RING_node_s* node = ring->first;
    for (int k = ring->count; node && k > 0; --k) {
        RING_node_s* next = node == ring->last ? nullptr : node->next;
        const POLY_INTXN_s* loop = static_cast<const POLY_INTXN_s*>(node->main_data);
        if (!loop || POLY_INTXN_is_small_closed_loop(loop, perimeter_limit, ratio)) RING_delete_node(ring, node);
        node = next;
    }
}

int POLY_INTXN_get_first_parental_discont(const POLY_INTXN_s* loop) {
    const int n = POLY_INTXN_count(loop);
    if (n == 0) return -1;
    if (!loop->closed) return 0;
    const RING_node_s* before = parent_of(POLY_INTXN_entry(loop, n - 1));
    for (int i = 0; i < n; ++i) {
        const RING_node_s* parent = parent_of(POLY_INTXN_entry(loop, i));
        if (parent != before) return i;
        before = parent;
    }
    return -1;
}

// ---------------------------------------------------------------------------
// Inserted connectors
// ---------------------------------------------------------------------------

bool POLY_INTXN_is_short_insert(const POLY_INTXN_s* loop, int index, bool* is_insert) {
    if (is_insert) *is_insert = false;
    if (index < 0 || index >= POLY_INTXN_count(loop)) return false;
    const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, index);
    const bool insert = insert_flags_of(e) != 0;
    if (is_insert) *is_insert = insert;
    if (!insert) return false;
    const PNT2_s a = start_of(e), b = node_point(e->node);
    const double dx = b.x - a.x, dy = b.y - a.y;
    return dx * dx + dy * dy < POLY_INTXN_SHORT_INSERT_CHORD * POLY_INTXN_SHORT_INSERT_CHORD;
}

void POLY_INTXN_calc_insert_start_point(const POLY_INTXN_s* loop, int j, Korvo::Math::Point2* out) {
    const int n = POLY_INTXN_count(loop);
    if (!out || n == 0 || j >= n) return;
    const bool closed = loop->closed != 0;
    // 1. The end of entry j, or the start of the first entry.
    const PNT2_s p0 = j < 0 ? start_of(POLY_INTXN_entry(loop, 0)) : node_point(POLY_INTXN_entry(loop, j)->node);
    double x = p0.x, y = p0.y;
    // 2. Carry the point over the short inserts that follow: to a
    //    midpoint-joint connector's midpoint, to an end-joint connector's end.
    //    The walk meets every other entry at most once.
    bool took_midpoint = false;
    int i = j < 0 ? 0 : following(j, n, closed);
    for (int steps = j < 0 ? n : n - 1; i >= 0 && steps > 0; --steps) {
        if (!POLY_INTXN_is_short_insert(loop, i, nullptr)) break;
        const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, i);
        const uint32_t flags = insert_flags_of(e);
        const PNT2_s q = node_point(e->node);
        if (flags & POLY_INTXN_INSERT_MID) {
            x = (x + q.x) / 2;
            y = (y + q.y) / 2;
            took_midpoint = true;
        } else if (flags & POLY_INTXN_INSERT_END) {
            x = q.x;
            y = q.y;
        }
        i = following(i, n, closed);
    }
    // 3. A midpoint goes back to the grid, halves upward.
    if (took_midpoint) {
        x = std::floor(x + 0.5);
        y = std::floor(y + 0.5);
    }
    out->x = x;
    out->y = y;
}

int POLY_INTXN_find_non_insert(const POLY_INTXN_s* loop, int start, Korvo::Math::Point2* out) {
    const int n = POLY_INTXN_count(loop);
    // 1. Nothing to find in an empty loop.
    if (n == 0 || start < 0 || start >= n) return -1;
    const bool closed = loop->closed != 0;
    // 2. Forward from start: remember the first entry that is not a short
    //    insert; the walk must reach an entry that is no insert at all.
    int found = -1;
    bool reached_non_insert = false;
    for (int i = start, steps = n; i >= 0 && steps > 0; --steps, i = following(i, n, closed)) {
        bool insert = false;
        const bool short_insert = POLY_INTXN_is_short_insert(loop, i, &insert);
        if (!short_insert && found < 0) found = i;
        if (!insert) {
            reached_non_insert = true;
            break;
        }
    }
    if (!reached_non_insert) return -1;
    // 3. Backward from start - 1 past the short inserts; the start point is
    //    carried over them from the entry reached (-1: the loop's start).
    int k = start - 1;
    if (k < 0 && closed) k = n - 1;
    for (int steps = n; k >= 0 && steps > 0 && POLY_INTXN_is_short_insert(loop, k, nullptr); --steps) {
        --k;
        if (k < 0 && closed) k = n - 1;
    }
    if (out) POLY_INTXN_calc_insert_start_point(loop, k, out);
    // 4.
    return found;
}

// ---------------------------------------------------------------------------
// Paired copies
// ---------------------------------------------------------------------------

POLY_INTXN_s* POLY_INTXN_create_non_trivial_path(const POLY_INTXN_s* loop, int from, int to, CMEM_pool_s* pool) {
    const int n = POLY_INTXN_count(loop);
    MERROW1_REQUIRE(n > 0 && from >= 0 && from < n && to >= 0 && to < n && pool != nullptr, "DUE_TO_INVALID_INPUT",
                    nullptr);
    // 1. A paired loop; closed only over the whole of a closed loop.
    POLY_INTXN_s* path = POLY_INTXN_create(pool);
    if (!path) return nullptr;
    path->paired = 1;
    path->closed = loop->closed && (to + 1 == from || (from == 0 && to + 1 == n)) ? 1 : 0;
    // 2. The start of the first run.
    const POLY_INTXN_node_s* prev = POLY_INTXN_entry(loop, from);
    const POLY_INTXN_node_s first = start_entry_of(prev);
    POLY_INTXN_append(path, first.node, first.arm);
    // 3. At every change of parent: the end of the run, then the start of
    //    the next one.  The walk takes each index of the range once.
    for (int i = from, steps = n; i != to && steps > 0; --steps) {
        i = (i + 1) % n;
        const POLY_INTXN_node_s* cur = POLY_INTXN_entry(loop, i);
        if (parent_of(cur) != parent_of(prev)) {
            POLY_INTXN_append(path, prev->node, prev->arm);
            const POLY_INTXN_node_s s = start_entry_of(cur);
            POLY_INTXN_append(path, s.node, s.arm);
        }
        prev = cur;
    }
    // 4. The end of the last run.
    POLY_INTXN_append(path, prev->node, prev->arm);
    return path;
}
