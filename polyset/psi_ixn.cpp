// Finding intersections: laying the start nodes of wrapped polys, intersecting
// pairs of wrapped polys by a simultaneous descent of their box trees and the
// exact segment intersections, recording crossings as nodes, ordering the
// nodes along every segment, merging nodes of one point, and hiding duplicate
// segments.
//
// Unsorted lists.  Between a segment's sort and the next, the nodes added to
// it hang off its start node: the start node's forward link heads the list,
// each new node's forward link keeps the previous head and its backward link
// names the start node.  Following forward links from the start node always
// reaches every node of the segment and ends at its end node, so the sort can
// collect them.
#include "chain/chain_record.h"
#include "polyset/psi_internal.h"

#include "exact/line_arc_seg_prd.h"

#include <stend/error.h>
#include <stend/system.h>
#include <velte/cerr.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

using merrow1::psi::seg_end;
using merrow1::psi::seg_index;
using merrow1::psi::seg_piece;
using merrow1::psi::seg_start;

namespace {

const char kFile[] = "psi_ixn";

bool same_point(const PNT2_s& a, const PNT2_s& b) { return a.x == b.x && a.y == b.y; }

bool at_grid_point(const PSI_INTXN_NODE_s* n) {
    return ((n->flags[0] | n->flags[1]) & PSI_NODE_FLAG_VERTEX) != 0;
}

// Point flag (values 2, 4) of a crossing node with the given segment index's
// segment first (stored with segs[0] first).
int flag_for_base(const PSI_INTXN_NODE_s* n, int base_index) {
    int f = ((n->flags[0] & PSI_NODE_FLAG_ORIENT) ? LINE_ARC_SEG_INTXN_SIDE : 0) |
            ((n->flags[0] & PSI_NODE_FLAG_TOUCH) ? LINE_ARC_SEG_INTXN_TANGENT : 0);
    return base_index == 0 ? f : LINE_ARC_SEG_intxn_flag_for_other_order(f);
}

PSI_INTXN_NODE_s* new_node_at(PSI_s* psi, const PNT2_s& p) {
    PSI_INTXN_NODE_s* n = PSI__new_segment_intxn_node(psi);
    n->pnt = p;
    return n;
}

void set_around(PSI_INTXN_NODE_s* n, int arm, PSI_INTXN_NODE_s* to, int to_arm) {
    n->next_around[arm] = to;
    n->next_around_idx[arm] = static_cast<unsigned char>(to_arm);
}

// A poly vertex: arm 1 (backward along the ending segment) and arm 2 (forward
// along the starting one) around each other.
void make_vertex(PSI_INTXN_NODE_s* n) {
    set_around(n, 1, n, 2);
    set_around(n, 2, n, 1);
}

// A free end of the segment ending here: only arm 1.
void make_free_end(PSI_INTXN_NODE_s* n) {
    n->segs[0] = nullptr;
    n->pn_along[2] = nullptr;
    set_around(n, 1, n, 1);
    set_around(n, 2, n, 2);
}

// Records in use bound every walk along a segment.
long walk_bound(const PSI_s* psi) { return static_cast<long>(psi->nodes->num_active) + 2; }

// The node at the end of the segment: follow forward links from the start.
PSI_INTXN_NODE_s* end_node_of(const PSI_s* psi, PSI_INTXN_NODE_s* start, const RING_node_s* seg) {
    PSI_INTXN_NODE_s* n = start;
    for (long guard = 0; guard <= walk_bound(psi); ++guard) {
        const int idx = seg_index(n, seg);
        if (idx < 0) ERROR_internal(kFile, __LINE__, "PSI: segment lost along its node list");
        PSI_INTXN_NODE_s* next = n->pn_along[2 + idx];
        if (!next) return n;
        n = next;
    }
    ERROR_internal(kFile, __LINE__, "PSI: node list of a segment does not end");
}

// True when the node is the end node of the segment at the point (a vertex
// record where the segment ends: its second segment, no forward link).
bool is_end_of(const PSI_INTXN_NODE_s* n, const RING_node_s* seg, const PNT2_s& p) {
    return n && same_point(n->pnt, p) && at_grid_point(n) && n->segs[1] == seg && !n->pn_along[3];
}

// Hangs a new node on the unsorted list of the segment (index idx at the
// node) whose start node is given.
void hang_on_segment(PSI_INTXN_NODE_s* node, int idx, PSI_INTXN_NODE_s* start) {
    RING_node_s* seg = node->segs[idx];
    const int sidx = seg_index(start, seg);
    node->pn_along[idx] = start;
    node->pn_along[2 + idx] = start->pn_along[2 + sidx];
    start->pn_along[2 + sidx] = node;
    start->flags[0] |= PSI_NODE_FLAG_UNSORTED;
}

// True when some arm of the cycle of (x, ax) belongs to the segment.
bool cycle_has_segment(const PSI_s* psi, PSI_INTXN_NODE_s* x, int ax, const RING_node_s* seg) {
    PSI_INTXN_NODE_s* n = x;
    int a = ax;
    for (long guard = 0; guard <= 4 * walk_bound(psi); ++guard) {
        if (n->segs[a & 1] == seg) return true;
        PSI_INTXN_NODE_s* nn = n->next_around[a];
        a = n->next_around_idx[a];
        n = nn;
        if (n == x && a == ax) return false;
    }
    ERROR_internal(kFile, __LINE__, "PSI: cycle around a point does not close");
}

// An arm of the node that is in a cycle (has an along neighbour), preferring
// the arms of the given segment index.
int active_arm(const PSI_INTXN_NODE_s* n, int idx) {
    if (idx >= 0) {
        if (n->pn_along[idx]) return idx;
        if (n->pn_along[2 + idx]) return 2 + idx;
    }
    for (int a = 0; a < 4; ++a)
        if (n->pn_along[a]) return a;
    return -1;
}

bool boxes_meet(const double* q, const double* b) {
    return !(q[0] > b[1] || q[1] < b[0] || q[2] > b[3] || q[3] < b[2]);
}

double box_area(const double* b) { return (b[1] - b[0]) * (b[3] - b[2]); }

// ---------------------------------------------------------------------------
// Order along a segment
// ---------------------------------------------------------------------------

struct Along {
    PSI_s* psi;
    RING_node_s* seg;
    const LINE_ARC_SEG_s* base;
    PNT2_s a;  // start
    bool line;
    bool ccw;  // arcs
};

int grid_against_crossing(const Along& c, const PSI_INTXN_NODE_s* g, RING_node_s* o, int flag_y);

// Exact order of two nodes of the segment: -1 x before y, +1 after, 0 the
// same point.
int exact_order(const Along& c, const PSI_INTXN_NODE_s* x, const PSI_INTXN_NODE_s* y) {
    const bool gx = at_grid_point(x), gy = at_grid_point(y);
    const int ix = seg_index(x, c.seg), iy = seg_index(y, c.seg);
    RING_node_s* ox = x->segs[1 - ix];
    RING_node_s* oy = y->segs[1 - iy];
    const bool px = gx || !ox, py = gy || !oy;  // known as points
    if (px && py) {
        if (same_point(x->pnt, y->pnt)) return 0;
        // Two points of the piece: along a line by the direction; along an
        // arc (at most a half circle) by the turn seen from its start.
        if (same_point(x->pnt, c.a)) return -1;
        if (same_point(y->pnt, c.a)) return 1;
        const PNT2_s e = {c.base->x, c.base->y};
        if (same_point(x->pnt, e)) return 1;
        if (same_point(y->pnt, e)) return -1;
        if (c.line) {
            const double dx = e.x - c.a.x, dy = e.y - c.a.y;
            const double t = (x->pnt.x - y->pnt.x) * dx + (x->pnt.y - y->pnt.y) * dy;
            return t < 0 ? -1 : 1;
        }
        LINE_ARC_SEG_vec2_expansion_s u(x->pnt.x - c.a.x, x->pnt.y - c.a.y);
        LINE_ARC_SEG_vec2_expansion_s v(y->pnt.x - c.a.x, y->pnt.y - c.a.y);
        LINE_ARC_SEG_real_3_expansion_s out;
        const int s = MULTI_PREC_from_real_3((LINE_ARC_SEG__vec2_cross_exact(&u, &v, &out), out)).sign();
        if (s == 0) return 0;
        return (s > 0) == c.ccw ? -1 : 1;
    }
    if (px) return grid_against_crossing(c, x, oy, flag_for_base(y, iy));
    if (py) return -grid_against_crossing(c, y, ox, flag_for_base(x, ix));
    const PNT2_s bx = seg_start(ox), by = seg_start(oy);
    return LINE_ARC_SEG_prd_compare_intxns_ss(&c.a, c.base, &bx, seg_piece(ox), flag_for_base(x, ix), &by,
                                              seg_piece(oy), flag_for_base(y, iy));
}

// Order of a node at a grid point g against a crossing of the base with the
// other segment o (flag_y naming it with the base first).  A crossing is never exactly at an end of either of
// its segments (those are recorded as vertices), so the base's own ends come
// first and last.  When g is an end of o, g and y are the two meeting points
// of o with the base, and the point comparison may not tell them apart: they
// are ordered as the two named points of one pair instead.
int grid_against_crossing(const Along& c, const PSI_INTXN_NODE_s* g, RING_node_s* o, int flag_y) {
    if (same_point(g->pnt, c.a)) return -1;
    if (g->pnt.x == c.base->x && g->pnt.y == c.base->y) return 1;
    const PNT2_s co = seg_start(o);
    const int r = LINE_ARC_SEG_prd_compare_intxns_ps(&c.a, c.base, &g->pnt, &co, seg_piece(o), flag_y);
    if (r != 0 || (flag_y & LINE_ARC_SEG_INTXN_TANGENT)) return r;
    if (!same_point(g->pnt, co) && !same_point(g->pnt, seg_end(o))) return 0;
    if (c.line && LINE_ARC_SEG_is_line(seg_piece(o))) return 0;
    const int flag_g = flag_y ^ LINE_ARC_SEG_INTXN_SIDE;
    return -LINE_ARC_SEG_prd_compare_intxns_ss(&c.a, c.base, &co, seg_piece(o), flag_y, &co, seg_piece(o), flag_g);
}

int sign_of(double v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

int line_order(const Along& c, const PSI_INTXN_NODE_s* x, const PSI_INTXN_NODE_s* y) {
    const double dirx = c.a.x < c.base->x ? 1.0 : -1.0;
    const double diry = c.a.y < c.base->y ? 1.0 : -1.0;
    if (x->pnt.x != y->pnt.x) return sign_of((x->pnt.x - y->pnt.x) * dirx);
    if (x->pnt.y != y->pnt.y) return sign_of((x->pnt.y - y->pnt.y) * diry);
    return exact_order(c, x, y);
}

// Angular state of a point around the rounded centre: even on an axis ray
// (0 +x, 2 +y, 4 -x, 6 -y), odd inside a quadrant (1 to 7 counter-clockwise).
int state_of(const PNT2_s& p, double cx, double cy) {
    const double dx = p.x - cx, dy = p.y - cy;
    if (dy == 0) return dx >= 0 ? 0 : 4;
    if (dx == 0) return dy > 0 ? 2 : 6;
    if (dy > 0) return dx > 0 ? 1 : 3;
    return dx < 0 ? 5 : 7;
}

struct ArcKeys {
    double cx, cy;
    int base;  // odd state the keys count from
    bool ccw;
    int key(const PNT2_s& p) const {
        const int s = state_of(p, cx, cy);
        const int progress = ccw ? ((s - base) % 8 + 8) % 8 : ((base - s) % 8 + 8) % 8;
        return 2 + progress;
    }
};

ArcKeys arc_keys(const Along& c) {
    ArcKeys k;
    LINE_ARC_SEG_mth_ask_rnd_centre(&c.a, c.base, &k.cx, &k.cy);
    k.ccw = c.ccw;
    const int s0 = state_of(c.a, k.cx, k.cy);
    // A start on an axis counts from the quadrant before it, so that keys
    // never decrease along the arc.
    k.base = (s0 % 2 == 1) ? s0 : (k.ccw ? (s0 + 7) % 8 : (s0 + 1) % 8);
    return k;
}

// Order along an arc: by quadrant key; inside one quadrant by x or y as the
// arc moves there, where the rounded positions are at least 2 apart (closer
// positions may straddle an extreme of the circle that lies between the true
// and the rounded centre, so they go to the exact order, as do points on an
// axis).
int arc_order(const Along& c, const ArcKeys& k, const PSI_INTXN_NODE_s* x, int kx, const PSI_INTXN_NODE_s* y,
              int ky) {
    if (kx != ky) return kx < ky ? -1 : 1;
    if (kx % 2 == 0) {
        const int state = k.ccw ? (k.base + (kx - 2)) % 8 : ((k.base - (kx - 2)) % 8 + 8) % 8;
        // Counter-clockwise: x falls in states 1 and 3 and rises in 5 and 7;
        // y rises in 7 and 1 and falls in 3 and 5.  Clockwise the reverse.
        int xdir = (state == 1 || state == 3) ? -1 : 1;
        int ydir = (state == 3 || state == 5) ? -1 : 1;
        if (!k.ccw) {
            xdir = -xdir;
            ydir = -ydir;
        }
        const double dx = x->pnt.x - y->pnt.x, dy = x->pnt.y - y->pnt.y;
        if (std::fabs(dx) >= 2) return sign_of(dx) * xdir;
        if (std::fabs(dy) >= 2) return sign_of(dy) * ydir;
    }
    return exact_order(c, x, y);
}

Along along_of(PSI_s* psi, RING_node_s* seg) {
    Along c;
    c.psi = psi;
    c.seg = seg;
    c.base = seg_piece(seg);
    c.a = seg_start(seg);
    c.line = LINE_ARC_SEG_is_line(c.base);
    c.ccw = c.base->h >= 0;
    return c;
}

// Collects the start node and every node reached by forward links.
int collect_nodes(PSI_s* psi, PSI_INTXN_NODE_s* start, RING_node_s* seg, std::vector<PSI_INTXN_NODE_s*>& out) {
    out.clear();
    PSI_INTXN_NODE_s* n = start;
    for (long guard = 0; n; ++guard) {
        if (guard > walk_bound(psi)) ERROR_internal(kFile, __LINE__, "PSI: node list of a segment does not end");
        out.push_back(n);
        const int idx = seg_index(n, seg);
        if (idx < 0) ERROR_internal(kFile, __LINE__, "PSI: segment lost along its node list");
        n = n->pn_along[2 + idx];
    }
    return static_cast<int>(out.size());
}

// Sorts with a pure three-way order: insertion sort below 10 elements, the
// library sort from 10 on (same order either way).
template <class T, class Cmp>
void sort_entries(T* v, int n, Cmp cmp) {
    if (n < 10) {
        for (int i = 1; i < n; ++i) {
            T item = v[i];
            int j = i - 1;
            while (j >= 0 && cmp(item, v[j]) < 0) {
                v[j + 1] = v[j];
                --j;
            }
            v[j + 1] = item;
        }
    } else {
        std::sort(v, v + n, [&](const T& a, const T& b) { return cmp(a, b) < 0; });
    }
}

// Appends a node (and the list it heads) to the end of a ghost list.
void append_ghost(const PSI_s* psi, PSI_INTXN_NODE_s* holder, PSI_INTXN_NODE_s* ghost) {
    PSI_INTXN_NODE_s* t = holder;
    for (long guard = 0; t->next; ++guard) {
        if (guard > walk_bound(psi)) ERROR_internal(kFile, __LINE__, "PSI: ghost list does not end");
        t = t->next;
    }
    t->next = ghost;
}

// Merges node y into the keeper x at one point of the segment: y's arms on
// the segment leave the point's cycle (x's arms stand for them), y's other
// arms join x's cycle, x takes y's blank marks, and y, left without along
// links, becomes a ghost of x.
void merge_into(PSI_s* psi, PSI_INTXN_NODE_s* x, PSI_INTXN_NODE_s* y, RING_node_s* seg) {
    const int ix = seg_index(x, seg), iy = seg_index(y, seg);
    // An arm of y's cycle that is not one of y's arms on the segment.
    int oa = -1;
    PSI_INTXN_NODE_s* on = PSI__find_around(
        y, active_arm(y, iy), 4 * walk_bound(psi) + 1,
        [&](const PSI_INTXN_NODE_s* n, int a) { return !(n == y && (a & 1) == iy); }, &oa);
    PSI__unlink_around(y, iy);
    PSI__unlink_around(y, 2 + iy);
    x->flags[ix] |= static_cast<uint16_t>(y->flags[iy] & (PSI_NODE_FLAG_ARRIVE_BLANK | PSI_NODE_FLAG_LEAVE_BLANK));
    y->flags[iy] &= static_cast<uint16_t>(~PSI_NODE_FLAG_EQUAL);
    y->pn_along[iy] = nullptr;
    y->pn_along[2 + iy] = nullptr;
    const int xa = active_arm(x, ix);
    if (on && xa >= 0) PSI__join_around(psi, x, xa, on, oa);
    if (active_arm(y, -1) < 0) append_ghost(psi, x, y);
}

// Collects the nodes of the segment of `start` (its first) into `nodes` and
// sorts them into psi->line_sort; returns their number.
int sort_along_line(PSI_s* psi, PSI_INTXN_NODE_s* start, std::vector<PSI_INTXN_NODE_s*>& nodes) {
    RING_node_s* seg = start->segs[0];
    const int n = collect_nodes(psi, start, seg, nodes);
    PSI__ensure_line_sort(psi, n);
    std::copy(nodes.begin(), nodes.end(), psi->line_sort);
    const Along c = along_of(psi, seg);
    sort_entries(psi->line_sort, n,
                 [&](PSI_INTXN_NODE_s* x, PSI_INTXN_NODE_s* y) { return x == y ? 0 : line_order(c, x, y); });
    return n;
}

// The same along an arc, into psi->arc_sort; `keys` receives the quadrant
// keys of the arc.
int sort_along_arc(PSI_s* psi, PSI_INTXN_NODE_s* start, std::vector<PSI_INTXN_NODE_s*>& nodes, ArcKeys* keys_out) {
    RING_node_s* seg = start->segs[0];
    const int n = collect_nodes(psi, start, seg, nodes);
    PSI__ensure_arc_sort(psi, n);
    const Along c = along_of(psi, seg);
    const ArcKeys keys = arc_keys(c);
    for (int k = 0; k < n; ++k) psi->arc_sort[k] = PSI_arc_sort_entry_s{nodes[k], keys.key(nodes[k]->pnt)};
    // The start node's key is fixed at the smallest, whatever its state.
    psi->arc_sort[0].key = 0;
    sort_entries(psi->arc_sort, n, [&](const PSI_arc_sort_entry_s& x, const PSI_arc_sort_entry_s& y) {
        return x.node == y.node ? 0 : arc_order(c, keys, x.node, x.key, y.node, y.key);
    });
    *keys_out = keys;
    return n;
}

// Vectors of the segment sorts of one pass, kept from segment to segment and
// taken over from the object (PSI__scratch), so that the sorts of an object
// allocate them once.  They start with room for the few nodes most segments
// hold, so they grow only along a segment crossed many times.  The collected
// nodes are done with once they are in order, and the list then holds the
// kept ones.
struct SortScratch {
    std::vector<PSI_INTXN_NODE_s*> nodes;
    std::vector<PSI_INTXN_NODE_s*> order;
    std::vector<int> equal_prev;

    explicit SortScratch(PSI_s* psi) : kept_(PSI__scratch(psi)) {
        nodes.swap(kept_.sort_nodes);
        order.swap(kept_.sort_order);
        equal_prev.swap(kept_.sort_equal_prev);
    }
    SortScratch(const SortScratch&) = delete;
    SortScratch& operator=(const SortScratch&) = delete;
    ~SortScratch() {
        PSI__scratch_release(nodes);
        PSI__scratch_release(order);
        PSI__scratch_release(equal_prev);
        nodes.swap(kept_.sort_nodes);
        order.swap(kept_.sort_order);
        equal_prev.swap(kept_.sort_equal_prev);
    }

    void make_room() {
        if (nodes.capacity() > 0) return;
        const size_t room = 16;
        nodes.reserve(room);
        order.reserve(room);
        equal_prev.reserve(room);
    }

private:
    PSI_scratch_s& kept_;
};

// Orders, merges and links the nodes of one segment.
void sort_segment(PSI_s* psi, PSI_INTXN_NODE_s* start, RING_node_s* seg, SortScratch& scratch) {
    scratch.make_room();
    Along c = along_of(psi, seg);
    std::vector<PSI_INTXN_NODE_s*>& order = scratch.order;
    std::vector<int>& equal_prev = scratch.equal_prev;  // 1 where a node stands where the one before it stands
    if (c.line) {
        const int n = sort_along_line(psi, start, scratch.nodes);
        order.assign(psi->line_sort, psi->line_sort + n);
        equal_prev.assign(n, 0);
        for (int k = 1; k < n; ++k) equal_prev[k] = line_order(c, order[k - 1], order[k]) == 0;
    } else {
        ArcKeys sorted_keys;
        const int n = sort_along_arc(psi, start, scratch.nodes, &sorted_keys);
        // The sort's keys are those of this segment when it is the start's.
        const ArcKeys keys = start->segs[0] == seg ? sorted_keys : arc_keys(c);
        order.resize(n);
        equal_prev.assign(n, 0);
        for (int k = 0; k < n; ++k) order[k] = psi->arc_sort[k].node;
        for (int k = 1; k < n; ++k)
            equal_prev[k] = arc_order(c, keys, psi->arc_sort[k - 1].node, psi->arc_sort[k - 1].key,
                                      psi->arc_sort[k].node, psi->arc_sort[k].key) == 0;
    }
    const int n = static_cast<int>(order.size());
    // Second pass: mark the nodes that stand where their predecessor stands.
    for (int k = 1; k < n; ++k)
        if (equal_prev[k]) order[k]->flags[seg_index(order[k], seg)] |= PSI_NODE_FLAG_EQUAL;
    if (order.empty() || order[0] != start) ERROR_internal(kFile, __LINE__, "PSI: segment start out of order");
    // Merge runs of nodes of one point into a keeper: the segment's end node
    // when the run holds one, else a node marked 0x4000, else the first.
    std::vector<PSI_INTXN_NODE_s*>& kept = scratch.nodes;
    kept.clear();
    for (int k = 0; k < n;) {
        int e = k + 1;
        while (e < n && (order[e]->flags[seg_index(order[e], seg)] & PSI_NODE_FLAG_EQUAL)) ++e;
        PSI_INTXN_NODE_s* keeper = order[k];
        if (k != 0) {
            if (e == n) {
                keeper = order[n - 1];
            } else {
                for (int j = k; j < e; ++j)
                    if (order[j]->flags[seg_index(order[j], seg)] & PSI_NODE_FLAG_KEEPER) {
                        keeper = order[j];
                        break;
                    }
            }
        }
        for (int j = k; j < e; ++j)
            if (order[j] != keeper) merge_into(psi, keeper, order[j], seg);
        keeper->flags[seg_index(keeper, seg)] &= static_cast<uint16_t>(~PSI_NODE_FLAG_EQUAL);
        kept.push_back(keeper);
        k = e;
    }
    // Link consecutive nodes; a blank that leaves a node runs on along the
    // segment until a node where a blanked sub-segment arrives anyway.
    for (size_t k = 1; k < kept.size(); ++k) {
        PSI_INTXN_NODE_s* p = kept[k - 1];
        PSI_INTXN_NODE_s* q = kept[k];
        const int ip = seg_index(p, seg), iq = seg_index(q, seg);
        p->pn_along[2 + ip] = q;
        q->pn_along[iq] = p;
        if ((p->flags[ip] & PSI_NODE_FLAG_LEAVE_BLANK) && !(q->flags[iq] & PSI_NODE_FLAG_ARRIVE_BLANK) &&
            k + 1 < kept.size())
            q->flags[iq] |= PSI_NODE_FLAG_ARRIVE_BLANK | PSI_NODE_FLAG_LEAVE_BLANK;
    }
}

// Segments of the same form and the same ends, in the same direction.
bool identical_segments(const RING_node_s* a, const RING_node_s* b) {
    const LINE_ARC_SEG_s* pa = seg_piece(a);
    const LINE_ARC_SEG_s* pb = seg_piece(b);
    const PNT2_s sa = seg_start(a), sb = seg_start(b);
    if (!same_point(sa, sb) || pa->x != pb->x || pa->y != pb->y) return false;
    if (LINE_ARC_SEG_is_line(pa) != LINE_ARC_SEG_is_line(pb)) return false;
    return LINE_ARC_SEG_is_line(pa) || pa->h == pb->h;
}

// Hides the segment at index i of wrapper w under the kept segment.
void hide_segment(PSI_s* psi, PSI_segment_search_wrapper_s* w, int i, PSI_segment_search_wrapper_s* kept_w,
                  RING_node_s* kept, int* counter) {
    RING_node_s* hidden = w->segs[i];
    POLY_SEG_handle_coincident_segments(kept_w->poly, kept, w->poly, hidden);
    PSI__remove_segment(psi, hidden, w->first_nodes[i]);
    w->first_nodes[i] = nullptr;
    w->contiguous = 0;
    ++*counter;
}

}  // namespace

// ---------------------------------------------------------------------------
// Laying start nodes
// ---------------------------------------------------------------------------

void PSI__ixn_init_poly_intxn_nodes(void* object, PSI_segment_search_wrapper_s* w) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    if (!w || w->count == 0 || !w->first_nodes || w->first_nodes[0]) return;
    const bool closed = merrow1::is_closed(w->poly);
    PSI_INTXN_NODE_s* prev_end = nullptr;
    for (int i = 0; i < w->count; ++i) {
        RING_node_s* seg = w->segs[i];
        const PNT2_s start = seg_start(seg);
        const PNT2_s end = seg_end(seg);
        // 1. Start node: the previous end becomes a two-arm vertex when the
        // segments join, else it is closed as a free end and a new node starts.
        PSI_INTXN_NODE_s* sn;
        if (prev_end && (w->contiguous || same_point(start, prev_end->pnt))) {
            sn = prev_end;
            make_vertex(sn);
        } else {
            if (prev_end) make_free_end(prev_end);
            sn = new_node_at(psi, start);
            sn->flags[0] = PSI_NODE_FLAG_VERTEX;
        }
        sn->segs[0] = seg;
        // 2. First node of the segment.
        w->first_nodes[i] = sn;
        // 3. End node: the first node closes a closed poly.
        PSI_INTXN_NODE_s* en;
        PSI_INTXN_NODE_s* first = w->first_nodes[0];
        if (closed && i == w->count - 1 && first != sn && (w->contiguous || same_point(end, first->pnt))) {
            en = first;
            make_vertex(en);
        } else {
            en = new_node_at(psi, end);
            en->flags[0] = PSI_NODE_FLAG_VERTEX;
        }
        en->segs[1] = seg;
        // 4. Along links.
        sn->pn_along[2] = en;
        en->pn_along[1] = sn;
        // 5. Telomeres and open ends are blanked from the start.
        const uint32_t f = seg_piece(seg)->flags;
        if (f & (merrow1::psi::SEG_FLAG_START_TELOMERE | merrow1::psi::SEG_FLAG_END_TELOMERE |
                 merrow1::psi::SEG_FLAG_OPEN_END)) {
            sn->flags[0] |= PSI_NODE_FLAG_LEAVE_BLANK;
            en->flags[1] |= PSI_NODE_FLAG_ARRIVE_BLANK;
        }
        prev_end = en;
    }
    if (prev_end && prev_end != w->first_nodes[0]) make_free_end(prev_end);
}

// ---------------------------------------------------------------------------
// Recording crossings
// ---------------------------------------------------------------------------

int PSI__ixn_handle_2seg_intersect(void* object, PSI_INTXN_NODE_s* start_a, PSI_INTXN_NODE_s* start_b,
                                   PSI_INTXN_NODE_s* hint, PNT2_s* points, int* point_flags, int count) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    RING_node_s* a = start_a->segs[0];
    RING_node_s* b = start_b->segs[0];
    int made = 0;
    for (int k = 0; k < count; ++k) {
        const PNT2_s p = points[k];
        const int f = point_flags[k];
        // 1. A point that may lie at a segment end: find the vertex nodes.
        PSI_INTXN_NODE_s* va = nullptr;
        PSI_INTXN_NODE_s* vb = nullptr;
        int arm_a = -1, arm_b = -1;
        if (f & LINE_ARC_SEG_INTXN_AT_END) {
            if (same_point(p, start_a->pnt)) {
                va = start_a;
                arm_a = 2;
            } else if (same_point(p, seg_end(a))) {
                va = is_end_of(hint, a, p) ? hint : end_node_of(psi, start_a, a);
                arm_a = 1;
                // A vertex record that does not end the segment: the network is
                // inconsistent; with checking on the operation stops.
                if (MACH__checking_level >= 1 && !(va->segs[1] == start_a->segs[0] && va->pn_along[1] != nullptr))
                    ERROR_internal(kFile, __LINE__, "%s",
                                   "exact->segs[1]==intxn_node_a->segs[0] && exact->pn_along[1]!=NULL");
            }
            if (same_point(p, start_b->pnt)) {
                vb = start_b;
                arm_b = 2;
            } else if (same_point(p, seg_end(b))) {
                vb = is_end_of(hint, b, p) ? hint : end_node_of(psi, start_b, b);
                arm_b = 1;
                if (MACH__checking_level >= 1 && !(vb->segs[1] == start_b->segs[0] && vb->pn_along[1] != nullptr))
                    ERROR_internal(kFile, __LINE__, "%s",
                                   "exactB->segs[1]==intxn_node_b->segs[0] && exactB->pn_along[1]!=NULL");
            }
        }
        if (va && vb) {
            // 2. A vertex of both: one cycle around the point.
            if (va != vb || arm_a != arm_b) PSI__join_around(psi, va, arm_a, vb, arm_b);
            hint = va;
            ++made;
            continue;
        }
        if (va || vb) {
            // 3. A vertex of one segment inside the other.
            PSI_INTXN_NODE_s* v = va ? va : vb;
            const int varm = va ? arm_a : arm_b;
            RING_node_s* inner = va ? b : a;      // the segment the vertex lies inside
            RING_node_s* at_vertex = va ? a : b;
            PSI_INTXN_NODE_s* inner_start = va ? start_b : start_a;
            // Point flag with the inner segment first.
            const int fi = va ? LINE_ARC_SEG_intxn_flag_for_other_order(f) : f;
            uint16_t marks = PSI_NODE_FLAG_VERTEX;
            if (fi & LINE_ARC_SEG_INTXN_TANGENT) marks |= PSI_NODE_FLAG_TOUCH;
            if (fi & LINE_ARC_SEG_INTXN_SIDE) marks |= PSI_NODE_FLAG_ORIENT;
            PSI_INTXN_NODE_s* n = new_node_at(psi, p);
            n->segs[0] = inner;
            n->segs[1] = at_vertex;
            n->flags[0] = marks;
            n->flags[1] = PSI_NODE_FLAG_VERTEX;
            if (cycle_has_segment(psi, v, varm, inner)) {
                // The inner segment passes the vertex already: a ghost.
                n->next = v->next;
                v->next = n;
            } else {
                hang_on_segment(n, 0, inner_start);
                set_around(n, 0, n, 2);
                set_around(n, 2, n, 0);
                PSI__join_around(psi, v, varm, n, 0);
            }
            hint = n;
            ++made;
            continue;
        }
        // 4. A crossing inside both segments: a node on both lists with the
        // arm cycle of the table (counter-clockwise around the point).
        PSI_INTXN_NODE_s* n = new_node_at(psi, p);
        n->segs[0] = a;
        n->segs[1] = b;
        hang_on_segment(n, 0, start_a);
        hang_on_segment(n, 1, start_b);
        const bool side = (f & LINE_ARC_SEG_INTXN_SIDE) != 0;
        uint16_t marks = side ? PSI_NODE_FLAG_ORIENT : 0;
        static const int kCycles[6][4] = {{0, 1, 2, 3}, {0, 3, 2, 1}, {0, 2, 3, 1},
                                          {0, 2, 1, 3}, {0, 1, 3, 2}, {0, 3, 1, 2}};
        int row;
        if (!(f & LINE_ARC_SEG_INTXN_TANGENT)) {
            row = side ? 0 : 1;
        } else {
            marks |= PSI_NODE_FLAG_TOUCH;
            bool second;
            if (f & 8) {
                if (!side) {
                    second = true;
                } else if (psi->node_compare) {
                    second = psi->node_compare(a, b);  // b's segment after a's
                } else {
                    second = PSI__segment_before(psi, a, b);
                }
            } else {
                second = (f & LINE_ARC_SEG_INTXN_TANGENT_SIDE) != 0;
            }
            row = second ? (side ? 4 : 5) : (side ? 2 : 3);
        }
        for (int j = 0; j < 4; ++j) set_around(n, kCycles[row][j], n, kCycles[row][(j + 1) % 4]);
        n->flags[0] = marks;
        n->flags[1] = marks;
        hint = n;
        ++made;
    }
    return made > 0 ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Intersecting wrapped polys
// ---------------------------------------------------------------------------

int PSI__intersect_segments(RING_node_s* sa, RING_node_s* sb, PNT2_s points[2], int flags[2]) {
    const LINE_ARC_SEG_s* pa = seg_piece(sa);
    const LINE_ARC_SEG_s* pb = seg_piece(sb);
    const PNT2_s ssa = seg_start(sa), ssb = seg_start(sb);
    // Pieces that follow each other in a poly share a vertex.
    flags[0] = sb->previous == sa ? 1 : 0;
    flags[1] = sa->previous == sb ? 1 : 0;
    if (LINE_ARC_SEG_is_line(pa) && LINE_ARC_SEG_is_line(pb)) {
        // A bound on the coordinates involved lets the kernel of two lines
        // take its plain double paths where they are exact.
        double ba[4], bb[4];
        LINE_ARC_SEG_get_bbox(pa, &ssa, true, ba);
        LINE_ARC_SEG_get_bbox(pb, &ssb, true, bb);
        double bound = 0;
        for (int k = 0; k < 4; ++k) bound = std::max(bound, std::max(std::fabs(ba[k]), std::fabs(bb[k])));
        return LINE_ARC_SEG_ixn_ll_intersect(pa, &ssa, pb, &ssb, bound + 1, points, flags);
    }
    // The kernels with an arc filter every sign and need no bound (the
    // boxes of arcs, which cost their extremes, are not worked out): they
    // are handed none.
    const double none = std::numeric_limits<double>::infinity();
    if (LINE_ARC_SEG_is_line(pa)) return LINE_ARC_SEG_ixn_la_intersect(pa, &ssa, pb, &ssb, none, points, flags, 0);
    if (LINE_ARC_SEG_is_line(pb)) return LINE_ARC_SEG_ixn_la_intersect(pb, &ssb, pa, &ssa, none, points, flags, 1);
    return LINE_ARC_SEG_ixn_aa_intersect(pa, &ssa, pb, &ssb, none, points, flags);
}

namespace {
long g_poly_pairs_descended = 0;
}  // namespace

long PSI__poly_pairs_descended() { return g_poly_pairs_descended; }

void PSI__ixn_intersect_2_poly(void* object, PSI_segment_search_wrapper_s* a, PSI_segment_search_wrapper_s* b,
                               int* hidden) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    if (!a || !b || a->count == 0 || b->count == 0 || !a->first_nodes || !b->first_nodes) return;
    const bool same = a == b;
    if (!same) ++g_poly_pairs_descended;
    const int last_a = 2 * a->count - 2, last_b = 2 * b->count - 2;
    struct Pair {
        int pa, sa, pb, sb;
    };
    // Each step pops one pair and pushes at most two, one level down on one
    // side: the stack never holds more than the two depths together (< 64).
    Pair stack[128];
    int top = 0;
    stack[top++] = Pair{a->root_span - 1, a->root_span, b->root_span - 1, b->root_span};
    bool crossed = false;
    while (top > 0) {
        Pair q = stack[--top];
        while (q.pa > last_a) {
            q.sa /= 2;
            q.pa -= q.sa;
        }
        while (q.pb > last_b) {
            q.sb /= 2;
            q.pb -= q.sb;
        }
        // The same wrapper: only pairs whose first leaf lies before the second.
        if (same && q.pa - (q.sa - 1) >= q.pb + (q.sb - 1)) continue;
        if (!boxes_meet(a->boxes[q.pa], b->boxes[q.pb])) continue;
        if (q.sa == 1 && q.sb == 1) {
            const int i = q.pa / 2, j = q.pb / 2;
            PSI_INTXN_NODE_s* na = a->first_nodes[i];
            PSI_INTXN_NODE_s* nb = b->first_nodes[j];
            if (!na || !nb) continue;
            RING_node_s* sa = a->segs[i];
            RING_node_s* sb = b->segs[j];
            if (hidden && identical_segments(sa, sb)) {
                // Hiding mode: the segment later in the order of the records
                // goes (b's, or the later one of a poly met with itself), so
                // that a whole duplicate poly vanishes as one.
                hide_segment(psi, b, j, a, sa, same ? &hidden[0] : &hidden[1]);
                continue;
            }
            PNT2_s pts[2];
            int fl[2];
            const int n = PSI__intersect_segments(sa, sb, pts, fl);
            if (n > 0) {
                PSI__ixn_handle_2seg_intersect(psi, na, nb, nullptr, pts, fl, n);
                na->flags[0] |= PSI_NODE_FLAG_UNSORTED;
                nb->flags[0] |= PSI_NODE_FLAG_UNSORTED;
                crossed = true;
            }
            continue;
        }
        bool split_a;
        if (q.sa == 1)
            split_a = false;
        else if (q.sb == 1)
            split_a = true;
        else
            split_a = box_area(a->boxes[q.pa]) > box_area(b->boxes[q.pb]);
        if (split_a) {
            stack[top++] = Pair{q.pa + q.sa / 2, q.sa / 2, q.pb, q.sb};
            stack[top++] = Pair{q.pa - q.sa / 2, q.sa / 2, q.pb, q.sb};
        } else {
            stack[top++] = Pair{q.pa, q.sa, q.pb + q.sb / 2, q.sb / 2};
            stack[top++] = Pair{q.pa, q.sa, q.pb - q.sb / 2, q.sb / 2};
        }
    }
    if (crossed) {
        a->pending = 1;
        b->pending = 1;
    }
}

// ---------------------------------------------------------------------------
// Sorting
// ---------------------------------------------------------------------------

int PSI__ixn_sort_intersects_along_line(void* object, PSI_INTXN_NODE_s* start, int* count) {
    std::vector<PSI_INTXN_NODE_s*> nodes;
    const int n = sort_along_line(static_cast<PSI_s*>(object), start, nodes);
    if (count) *count = n - 1;
    return n - 1;
}

int PSI__ixn_sort_intersects_along_arc(void* object, PSI_INTXN_NODE_s* start, int* count) {
    std::vector<PSI_INTXN_NODE_s*> nodes;
    ArcKeys keys;
    const int n = sort_along_arc(static_cast<PSI_s*>(object), start, nodes, &keys);
    if (count) *count = n - 1;
    return n - 1;
}

void PSI__ixn_sort_intersects(void* object, PSI_segment_search_wrapper_s* w) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    if (!w || w->count == 0 || !w->first_nodes) return;
    SortScratch scratch(psi);
    for (int i = 0; i < w->count; ++i) {
        PSI_INTXN_NODE_s* start = w->first_nodes[i];
        if (!start || !(start->flags[0] & PSI_NODE_FLAG_UNSORTED)) continue;
        start->flags[0] &= static_cast<uint16_t>(~PSI_NODE_FLAG_UNSORTED);
        sort_segment(psi, start, w->segs[i], scratch);
    }
    w->pending = 0;
}

// ---------------------------------------------------------------------------
// Candidate pairs of polys by their boxes
// ---------------------------------------------------------------------------

namespace {

PSI_segment_search_wrapper_s* wrapper_in(DYNAMIC_ARRAY_s* s, int i) {
    return static_cast<PSI_segment_search_wrapper_s*>(DYNAMIC_ARRAY_element_at(s, i));
}

// A wrapped poly with segments and laid nodes, its root box and its place.
struct BoxedPoly {
    const double* box;
    int set;
    int index;
};

// Box at the root of a wrapper's tree: the position the descent of
// PSI__ixn_intersect_2_poly starts from.
const double* root_box(const PSI_segment_search_wrapper_s* w) {
    int p = w->root_span - 1, s = w->root_span;
    const int last = 2 * w->count - 2;
    while (p > last) {
        s /= 2;
        p -= s;
    }
    return w->boxes[p];
}

// Appends the polys of a set that the descent would look at (segments and
// laid nodes).
void add_boxed_polys(DYNAMIC_ARRAY_s* set, int set_number, std::vector<BoxedPoly>& out) {
    for (int i = 0; i < set->num_active; ++i) {
        const PSI_segment_search_wrapper_s* w = wrapper_in(set, i);
        if (w->count > 0 && w->first_nodes) out.push_back(BoxedPoly{root_box(w), set_number, i});
    }
}

// Calls take(p, q) once for every two entries whose closed boxes meet, the
// test the descent makes at the roots.  After sorting on the low x, an entry
// meets in x exactly the later entries whose low x is at most its high x, so
// only those are compared; the work is the sort plus the pairs that overlap
// in x.
template <class F>
void sweep_box_pairs(std::vector<BoxedPoly>& polys, F&& take) {
    std::sort(polys.begin(), polys.end(), [](const BoxedPoly& p, const BoxedPoly& q) {
        if (p.box[0] != q.box[0]) return p.box[0] < q.box[0];
        return p.set != q.set ? p.set < q.set : p.index < q.index;
    });
    const size_t n = polys.size();
    for (size_t k = 0; k < n; ++k) {
        const double* b = polys[k].box;
        for (size_t l = k + 1; l < n && polys[l].box[0] <= b[1]; ++l) {
            const double* c = polys[l].box;
            if (c[2] > b[3] || c[3] < b[2]) continue;
            take(polys[k], polys[l]);
        }
    }
}

// Candidate pair (first set, second set, poly of the first, poly of the
// second), ordered as nested loops visit them: first set, second set, first
// poly ascending, second poly descending.
struct PolyPair {
    int set_a, set_b, a, b;
    bool operator<(const PolyPair& o) const {
        if (set_a != o.set_a) return set_a < o.set_a;
        if (set_b != o.set_b) return set_b < o.set_b;
        if (a != o.a) return a < o.a;
        return b > o.b;
    }
};

// Below this many pairs of polys, the plain nested loops cost less than the
// sweep.
const long kSweepFrom = 64;

// The lists of a search for candidate pairs: the boxed polys swept and the
// pairs found.
struct PairLists {
    std::vector<BoxedPoly> polys;
    std::vector<PolyPair> pairs;
};

// The thread's lists, kept from one search to the next so that the many
// small operations of a run allocate them once.
thread_local PairLists t_pair_lists;

// Takes the thread's kept lists over for one search (a search inside it gets
// lists of its own) and hands them back emptied, giving back the memory of a
// list that grew large.
class KeptPairLists : public PairLists {
public:
    KeptPairLists() { swap_kept(); }
    ~KeptPairLists() {
        PSI__scratch_release(polys);
        PSI__scratch_release(pairs);
        swap_kept();
    }
    KeptPairLists(const KeptPairLists&) = delete;
    KeptPairLists& operator=(const KeptPairLists&) = delete;

private:
    void swap_kept() {
        polys.swap(t_pair_lists.polys);
        pairs.swap(t_pair_lists.pairs);
    }
};

// The pairs of polys of set_a against set_b (numbered 0 and 1, or 0 and 0
// when they are one set) in the order of the nested loops: within one set
// only the pairs b > a, and b == a as well when `self`.  With `all` every
// such pair, else only those whose root boxes meet.  The pairs are left in
// lists.pairs (what the lists held is dropped).
const std::vector<PolyPair>& pairs_of_2_sets(DYNAMIC_ARRAY_s* set_a, DYNAMIC_ARRAY_s* set_b, bool self, bool all,
                                             PairLists& lists) {
    const bool same = set_a == set_b;
    const int sb = same ? 0 : 1;
    std::vector<PolyPair>& pairs = lists.pairs;
    pairs.clear();
    if (all) {
        for (int i = 0; i < set_a->num_active; ++i)
            for (int j = set_b->num_active - 1; j >= (same ? (self ? i : i + 1) : 0); --j)
                pairs.push_back(PolyPair{0, sb, i, j});
        return pairs;
    }
    std::vector<BoxedPoly>& polys = lists.polys;
    polys.clear();
    add_boxed_polys(set_a, 0, polys);
    if (!same) add_boxed_polys(set_b, 1, polys);
    sweep_box_pairs(polys, [&](const BoxedPoly& p, const BoxedPoly& q) {
        if (same) {
            pairs.push_back(PolyPair{0, 0, std::min(p.index, q.index), std::max(p.index, q.index)});
        } else if (p.set != q.set) {
            const BoxedPoly& pa = p.set == 0 ? p : q;
            const BoxedPoly& pb = p.set == 0 ? q : p;
            pairs.push_back(PolyPair{0, 1, pa.index, pb.index});
        }
    });
    // A poly always meets itself.
    if (same && self)
        for (const BoxedPoly& p : polys) pairs.push_back(PolyPair{0, 0, p.index, p.index});
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

// The pairs of polys of different sets whose root boxes meet, the later set
// first (as the loops over sets i > j, j ascending), from one sweep over the
// polys of all sets.  The pairs are left in lists.pairs (what the lists held
// is dropped).
const std::vector<PolyPair>& pairs_across_sets(DYNAMIC_ARRAY_s** sets, int count, PairLists& lists) {
    std::vector<BoxedPoly>& polys = lists.polys;
    polys.clear();
    for (int s = 0; s < count; ++s)
        if (sets[s]) add_boxed_polys(sets[s], s, polys);
    std::vector<PolyPair>& pairs = lists.pairs;
    pairs.clear();
    sweep_box_pairs(polys, [&](const BoxedPoly& p, const BoxedPoly& q) {
        if (p.set == q.set) return;
        const BoxedPoly& hi = p.set > q.set ? p : q;
        const BoxedPoly& lo = p.set > q.set ? q : p;
        pairs.push_back(PolyPair{hi.set, lo.set, hi.index, lo.index});
    });
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

}  // namespace

void PSI__ixn_intersect_2_sets(void* object, DYNAMIC_ARRAY_s* set_a, DYNAMIC_ARRAY_s* set_b, bool sort_a,
                               bool sort_b) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    if (!set_a || !set_b) return;
    const bool same = set_a == set_b;
    if (same) {
        sort_a = sort_a || sort_b;
        sort_b = false;
    }
    const int na = set_a->num_active, nb = set_b->num_active;
    // Poly i of set_a meets the polys j of set_b (j >= i within one set) in
    // the order j descending, and is sorted once its pairs are done.  Pairs
    // whose root boxes do not meet add nothing, so only the candidates of a
    // sweep are visited when there are many pairs, in the same order.
    if (static_cast<long>(na) * nb < kSweepFrom) {
        for (int i = 0; i < na; ++i) {
            CERR_raise_on_abort();
            PSI_segment_search_wrapper_s* wa = wrapper_in(set_a, i);
            const int low = same ? i : 0;
            for (int j = nb - 1; j >= low; --j) PSI__ixn_intersect_2_poly(psi, wa, wrapper_in(set_b, j), nullptr);
            if (sort_a) PSI__ixn_sort_intersects(psi, wa);
        }
    } else {
        KeptPairLists lists;
        const std::vector<PolyPair>& pairs = pairs_of_2_sets(set_a, set_b, true, false, lists);
        size_t next = 0;
        for (int i = 0; i < na; ++i) {
            CERR_raise_on_abort();
            PSI_segment_search_wrapper_s* wa = wrapper_in(set_a, i);
            for (; next < pairs.size() && pairs[next].a == i; ++next)
                PSI__ixn_intersect_2_poly(psi, wa, wrapper_in(set_b, pairs[next].b), nullptr);
            if (sort_a) PSI__ixn_sort_intersects(psi, wa);
        }
    }
    if (sort_b)
        for (int j = 0; j < nb; ++j) PSI__ixn_sort_intersects(psi, wrapper_in(set_b, j));
}

void PSI__ixn_intersect_across_sets(void* object, DYNAMIC_ARRAY_s** sets, int count) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    if (!sets || count < 2) return;
    // One sweep over the polys of all sets; pairs within one set are left to
    // the set's own intersection.
    KeptPairLists lists;
    const std::vector<PolyPair>& pairs = pairs_across_sets(sets, count, lists);
    for (size_t k = 0; k < pairs.size(); ++k) {
        const PolyPair& q = pairs[k];
        // One abort check per poly of a set meeting another set.
        if (k == 0 || q.set_a != pairs[k - 1].set_a || q.set_b != pairs[k - 1].set_b || q.a != pairs[k - 1].a)
            CERR_raise_on_abort();
        PSI__ixn_intersect_2_poly(psi, wrapper_in(sets[q.set_a], q.a), wrapper_in(sets[q.set_b], q.b), nullptr);
    }
}

// ---------------------------------------------------------------------------
// Hiding duplicates
// ---------------------------------------------------------------------------

namespace {

// Removes the entries of hidden segments (first node cleared) from a
// wrapper, keeping the order, joins the segments on both sides of a gap when
// their ends meet as lone free ends, and rebuilds the box tree.
void compact_wrapper(PSI_s* psi, PSI_segment_search_wrapper_s* w) {
    int k = 0;
    bool gap = false;
    for (int i = 0; i < w->count; ++i) {
        PSI_INTXN_NODE_s* sn = w->first_nodes[i];
        if (!sn) {
            gap = true;
            continue;
        }
        if (gap && k > 0) {
            PSI_INTXN_NODE_s* pe = end_node_of(psi, w->first_nodes[k - 1], w->segs[k - 1]);
            const bool pe_lone = pe->next_around[1] == pe && pe->next_around_idx[1] == 1 && !pe->pn_along[0] &&
                                 !pe->pn_along[2] && !pe->pn_along[3];
            if (same_point(sn->pnt, pe->pnt) && pe_lone && pe != sn) {
                PSI_INTXN_NODE_s* curr = sn;
                const bool lone = curr->next_around[2] == curr && curr->next_around_idx[2] == 2 &&
                                  curr->pn_along[0] == nullptr && curr->pn_along[1] == nullptr &&
                                  curr->pn_along[3] == nullptr;
                if (!lone) {
                    // Further arms meet at the gap (another poly passes there):
                    // the two records stay apart, which the network allows.
                    if (MACH__checking_level >= 1)
                        ERROR_assertion_failed(
                            kFile, __LINE__, "%s",
                            "curr->next_around[2] == curr && curr->next_around_idx[2] == 2 && curr->pn_along[0] == "
                            "NULL && curr->pn_along[1] == NULL && curr->pn_along[3] == NULL && "
                            "prevNonGap->pn_along[2]->next_around[1] == prevNonGap->pn_along[2] && "
                            "prevNonGap->pn_along[2]->next_around_idx[1] == 1");
                } else {
                    // The start node takes the place of the previous end node.
                    PSI_INTXN_NODE_s* before = pe->pn_along[1];
                    RING_node_s* ending = pe->segs[1];
                    sn->segs[1] = ending;
                    sn->pn_along[1] = before;
                    sn->flags[1] = pe->flags[1];
                    const int bi = seg_index(before, ending);
                    before->pn_along[2 + bi] = sn;
                    make_vertex(sn);
                    if (pe->next) append_ghost(psi, sn, pe->next);
                    if (w->first_nodes[k - 1] == pe) w->first_nodes[k - 1] = sn;
                    PSI__free_segment_intxn_node(psi, pe);
                }
            }
        }
        if (k != i) {
            w->segs[k] = w->segs[i];
            w->first_nodes[k] = w->first_nodes[i];
            std::copy(w->boxes[2 * i], w->boxes[2 * i] + 4, w->boxes[2 * k]);
            w->sizes[k] = w->sizes[i];
        }
        ++k;
        gap = false;
    }
    w->count = k;
    if (k > 0) PSI__build_box_tree(w);
}

PSI_segment_search_wrapper_s* wrapper_at(DYNAMIC_ARRAY_s* s, int i) {
    return static_cast<PSI_segment_search_wrapper_s*>(DYNAMIC_ARRAY_element_at(s, i));
}
int* count_at(DYNAMIC_ARRAY_s* s, int i) { return static_cast<int*>(DYNAMIC_ARRAY_element_at(s, i)); }

bool has_empty_wrapper(DYNAMIC_ARRAY_s* set) {
    for (int i = 0; set && i < set->num_active; ++i)
        if (wrapper_at(set, i)->count == 0) return true;
    return false;
}

// Hides the duplicate segments of given pairs of polys exactly as nested
// loops over the pairs of sets and their polys do, visiting only the pairs
// handed in (those whose root boxes meet at the start; segments only go,
// so boxes only shrink and no other pair can meet later).  The pairs come
// in PolyPair order, one run of them per pair of sets (set_a, set_b):
//   - of each pair the segments of the second poly identical to one of the
//     first go, counted as hidden in the second poly;
//   - a poly that loses all its segments is unwrapped and leaves its set
//     (marked gone, the sets close their gaps at the end keeping their
//     order, on an error too);
//   - within one set, a poly's pairs start from what it lost to earlier
//     polys and a poly that lost segments is compacted after its own pairs;
//     of two sets, the polys of set_b that lost segments are compacted once
//     the run is done, and their counts start at 0 in each run.
class DuplicateHider {
  public:
    DuplicateHider(PSI_s* psi, DYNAMIC_ARRAY_s** sets, int count)
        : psi_(psi), sets_(sets), hidden_(count), gone_(count) {
        for (int s = 0; s < count; ++s) {
            const int n = sets[s] ? sets[s]->num_active : 0;
            hidden_[s].assign(n, 0);
            gone_[s].assign(n, 0);
        }
    }
    DuplicateHider(const DuplicateHider&) = delete;
    DuplicateHider& operator=(const DuplicateHider&) = delete;

    // One run for each pair of sets the pairs name.
    void run_each(const std::vector<PolyPair>& pairs) {
        for (size_t k = 0; k < pairs.size();) {
            size_t end = k;
            while (end < pairs.size() && pairs[end].set_a == pairs[k].set_a && pairs[end].set_b == pairs[k].set_b)
                ++end;
            run(pairs[k].set_a, pairs[k].set_b, pairs, k, end, false);
            k = end;
        }
    }

    // The run of sets sa and sb over pairs [next, end); with every_poly each
    // poly of set sa takes its turn (an empty one leaves), else only those
    // the pairs name.
    void run(int sa, int sb, const std::vector<PolyPair>& pairs, size_t next, size_t end, bool every_poly) {
        const bool same = sa == sb;
        DYNAMIC_ARRAY_s* set_a = sets_[sa];
        DYNAMIC_ARRAY_s* set_b = sets_[sb];
        std::vector<int>& hb = hidden_[sb];
        for (const auto& t : touched_) hidden_[t.first][t.second] = 0;
        touched_.clear();
        const int na = static_cast<int>(gone_[sa].size());
        const bool each = same || every_poly;
        auto next_poly = [&](int i) { return each ? i + 1 : (next < end ? pairs[next].a : na); };
        for (int i = next_poly(-1); i < na; i = next_poly(i)) {
            while (next < end && pairs[next].a < i) ++next;
            if (gone_[sa][i]) continue;
            CERR_raise_on_abort();
            PSI_segment_search_wrapper_s* wa = wrapper_at(set_a, i);
            int counts[2] = {same ? hidden_[sa][i] : 0, 0};
            for (; next < end && pairs[next].a == i; ++next) {
                const int j = pairs[next].b;
                if (gone_[sb][j]) continue;
                if (counts[0] >= wa->count) break;
                PSI_segment_search_wrapper_s* wb = wrapper_at(set_b, j);
                counts[1] = hb[j];
                PSI__ixn_intersect_2_poly(psi_, wa, wb, counts);
                if (counts[1] >= wb->count) {
                    PSI__unwrap_poly(wb);
                    gone_[sb][j] = 1;
                } else {
                    if (!same && hb[j] == 0 && counts[1] > 0) touched_.emplace_back(sb, j);
                    hb[j] = counts[1];
                }
            }
            while (next < end && pairs[next].a == i) ++next;
            if (counts[0] >= wa->count) {
                PSI__unwrap_poly(wa);
                gone_[sa][i] = 1;
                continue;
            }
            if (counts[0] > 0) compact_wrapper(psi_, wa);
            if (same) hidden_[sa][i] = 0;
        }
        if (same) return;
        std::sort(touched_.begin(), touched_.end());
        for (const auto& t : touched_)
            if (!gone_[sb][t.second]) compact_wrapper(psi_, wrapper_at(set_b, t.second));
    }

    // Drops the gone polys from their sets, keeping the order of the rest.
    void close_gaps() {
        for (size_t s = 0; s < gone_.size(); ++s) {
            int out = 0;
            for (size_t k = 0; k < gone_[s].size(); ++k) {
                if (gone_[s][k]) continue;
                if (out != static_cast<int>(k)) {
                    *wrapper_at(sets_[s], out) = *wrapper_at(sets_[s], static_cast<int>(k));
                    hidden_[s][out] = hidden_[s][k];
                }
                ++out;
            }
            if (sets_[s]) DA_set_num_active(sets_[s], out);
            hidden_[s].resize(out);
            gone_[s].assign(out, 0);
        }
        touched_.clear();
    }

    // Counts of the polys left in set s (after the gaps are closed).
    const std::vector<int>& hidden(int s) const { return hidden_[s]; }

  private:
    PSI_s* psi_;
    DYNAMIC_ARRAY_s** sets_;
    std::vector<std::vector<int>> hidden_;
    std::vector<std::vector<char>> gone_;
    std::vector<std::pair<int, int>> touched_;  // (set, poly) that lost segments in the current run
};

}  // namespace

void PSI__ixn_hide_duplicates(void* object, DYNAMIC_ARRAY_s* set_a, DYNAMIC_ARRAY_s* set_b,
                              DYNAMIC_ARRAY_s* hidden_counts) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    if (!set_a || !set_b || !hidden_counts) return;
    const bool same = set_a == set_b;
    // Pairs whose root boxes do not meet hide nothing, so only the
    // candidates of a sweep are visited when there are many pairs.  A poly
    // without segments leaves its set when met: then every pair is.
    const bool empties = has_empty_wrapper(set_a) || has_empty_wrapper(set_b);
    const bool all = static_cast<long>(set_a->num_active) * set_b->num_active < kSweepFrom || empties;
    KeptPairLists lists;
    const std::vector<PolyPair>& pairs = pairs_of_2_sets(set_a, set_b, false, all, lists);
    // The counts of the polys of set_b left (all 0 within one set).
    auto report = [&](const int* counts) {
        DA_set_num_active(hidden_counts, set_b->num_active);
        for (int j = 0; j < set_b->num_active; ++j) *count_at(hidden_counts, j) = counts ? counts[j] : 0;
    };
    // Nothing meets: nothing is hidden and every poly stays.
    if (pairs.empty() && !empties) return report(nullptr);
    DYNAMIC_ARRAY_s* sets[2] = {set_a, set_b};
    DuplicateHider hider(psi, sets, same ? 1 : 2);
    try {
        hider.run(0, same ? 0 : 1, pairs, 0, pairs.size(), all);
    } catch (...) {
        hider.close_gaps();
        throw;
    }
    hider.close_gaps();
    report(hider.hidden(same ? 0 : 1).data());
}

void PSI__ixn_hide_duplicates_across_sets(void* object, DYNAMIC_ARRAY_s** sets, int count) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    if (!sets || count < 2) return;
    bool all = false;
    for (int s = 0; s < count; ++s) all = all || has_empty_wrapper(sets[s]);
    DuplicateHider hider(psi, sets, count);
    KeptPairLists lists;
    try {
        if (!all) {
            hider.run_each(pairs_across_sets(sets, count, lists));
        } else {
            // Every set against every earlier one, every pair of polys.
            for (int i = 1; i < count; ++i)
                for (int j = 0; j < i; ++j) {
                    if (!sets[i] || !sets[j]) continue;
                    const std::vector<PolyPair>& pairs = pairs_of_2_sets(sets[i], sets[j], false, true, lists);
                    hider.run(i, j, pairs, 0, pairs.size(), true);
                }
        }
    } catch (...) {
        hider.close_gaps();
        throw;
    }
    hider.close_gaps();
}
