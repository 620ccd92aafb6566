// Intersection nodes: the order of arms around a point and the cycles of arms.
//
// The arms that leave one point form one cycle through next_around, in strict
// counter-clockwise order.  The order is decided by the exact predicate of
// pieces around a common point; that predicate compares two directions only
// within a half turn (it answers 2 for exactly opposite directions), so a
// cycle is ordered against a reference arm: first by the half turn an arm
// lies in, then by the predicate within it.
#include "polyset/psi_internal.h"

#include "exact/line_arc_seg_prd.h"

#include <stend/error.h>

#include <algorithm>
#include <vector>

using merrow1::psi::seg_index;
using merrow1::psi::seg_piece;
using merrow1::psi::seg_start;

namespace {

const char kFile[] = "psi_intxn_node";

// A node whose position is a point of both its segments exactly: a segment
// end, or a crossing recorded at one.  Pure crossings are rounded positions.
bool at_grid_point(const PSI_INTXN_NODE_s* n) {
    return ((n->flags[0] | n->flags[1]) & PSI_NODE_FLAG_VERTEX) != 0;
}

// The point flag of a crossing node (values 2 and 4) with its segs[0] given
// first.
int stored_flag(const PSI_INTXN_NODE_s* n) {
    return ((n->flags[0] & PSI_NODE_FLAG_ORIENT) ? LINE_ARC_SEG_INTXN_SIDE : 0) |
           ((n->flags[0] & PSI_NODE_FLAG_TOUCH) ? LINE_ARC_SEG_INTXN_TANGENT : 0);
}

// Upper bound on the length of any cycle: every arm of every record in use.
int cycle_bound(const PSI_s* psi) { return 4 * (psi->nodes->num_active + 1); }

// True when the two segments are lines along one line through a common
// point (parallel, exactly); *forward is turned over when they run opposite
// ways, so that an arm of the first along *forward leaves as the arm of the
// second along the new value.  The order predicate names a point off the
// grid best with the crossing's own partner, and two pieces along one line
// meet it at the same point.
bool along_same_line(const RING_node_s* p, const RING_node_s* t, bool* forward) {
    const LINE_ARC_SEG_s* pp = seg_piece(p);
    const LINE_ARC_SEG_s* pt = seg_piece(t);
    if (!LINE_ARC_SEG_is_line(pp) || !LINE_ARC_SEG_is_line(pt)) return false;
    const PNT2_s sp = seg_start(p), st = seg_start(t);
    if (LINE_ARC_SEG_prd_seg_forms_are_identical(&sp, pp, &st, pt)) return true;
    // The first line taken the other way: from its end back to its start.
    const PNT2_s ep = {pp->x, pp->y};
    // (A line record ends after its flag word: build the reversed one field
    // by field.)
    const LINE_ARC_SEG_s back = {sp.x, sp.y, LINE_ARC_SEG_LINE_H, pp->flags, 0, 0};
    if (!LINE_ARC_SEG_prd_seg_forms_are_identical(&ep, &back, &st, pt)) return false;
    *forward = !*forward;
    return true;
}

struct Arm {
    PSI_INTXN_NODE_s* node;
    int arm;
    bool operator==(const Arm& o) const { return node == o.node && arm == o.arm; }
};

Arm next_of(Arm a) { return Arm{a.node->next_around[a.arm], a.node->next_around_idx[a.arm]}; }

void set_next(Arm a, Arm b) {
    a.node->next_around[a.arm] = b.node;
    a.node->next_around_idx[a.arm] = static_cast<unsigned char>(b.arm);
}

// Order of two arms that leave along the same curve in the same direction:
// a backward arm before a forward one; arms of the same direction by the
// node_compare callback (the wrapping order without one), ascending for forward
// arms and descending for backward arms; arms of one segment (copies waiting
// to be merged) by record address.
bool tie_less(const PSI_s* psi, Arm x, Arm y) {
    const bool fx = (x.arm & 2) != 0, fy = (y.arm & 2) != 0;
    if (fx != fy) return !fx;
    RING_node_s* sx = x.node->segs[x.arm & 1];
    RING_node_s* sy = y.node->segs[y.arm & 1];
    if (sx != sy) {
        bool less;
        if (psi->node_compare)
            less = psi->node_compare(sx, sy);
        else
            less = PSI__segment_before(psi, sx, sy);
        if (!psi->node_compare || less || psi->node_compare(sy, sx)) return fx ? less : !less;
        // The callback holds the two equal: fall back on the wrapping order.
        return fx ? PSI__segment_before(psi, sx, sy) : PSI__segment_before(psi, sy, sx);
    }
    if (x.node != y.node) return x.node < y.node;
    return x.arm < y.arm;
}

}  // namespace

int PSI__compare_arms(const PSI_s* psi, const PSI_INTXN_NODE_s* x, int ax, const PSI_INTXN_NODE_s* y, int ay) {
    const PSI_INTXN_NODE_s* g = at_grid_point(x) ? x : (at_grid_point(y) ? y : nullptr);
    return PSI__compare_arms_at(psi, x, ax, y, ay, g ? &g->pnt : nullptr);
}

int PSI__compare_arms_at(const PSI_s*, const PSI_INTXN_NODE_s* x, int ax, const PSI_INTXN_NODE_s* y, int ay,
                         const PNT2_s* grid_point) {
    RING_node_s* s0 = x->segs[ax & 1];
    RING_node_s* s1 = y->segs[ay & 1];
    const LINE_ARC_SEG_s* piece0 = seg_piece(s0);
    const LINE_ARC_SEG_s* piece1 = seg_piece(s1);
    const PNT2_s p0 = seg_start(s0);
    const PNT2_s p1 = seg_start(s1);
    const bool f0 = (ax & 2) != 0, f1 = (ay & 2) != 0;
    // At a grid point the point itself is exact; two lines need no point.
    if (grid_point || (LINE_ARC_SEG_is_line(piece0) && LINE_ARC_SEG_is_line(piece1))) {
        const PNT2_s q = grid_point ? *grid_point : x->pnt;
        return LINE_ARC_SEG_prd_compare_around(&p0, piece0, f0, &p1, piece1, f1, nullptr, nullptr, 0, 0, &q);
    }
    // A crossing off the grid: the point is where the arc A among the two
    // pieces meets its partner T in A's own record, named by that record's
    // point flag (stored with segs[0] first).  The pieces are arranged so
    // that A is piece 1; the predicate then wants the flag of A and T with A
    // given first (also when T is piece 0 itself).
    const bool swap = !LINE_ARC_SEG_is_arc(piece1);
    const PSI_INTXN_NODE_s* n0 = swap ? y : x;
    const PSI_INTXN_NODE_s* an = swap ? x : y;
    const int arm0 = swap ? ay : ax;
    const int arm_a = swap ? ax : ay;
    RING_node_s* q0 = n0->segs[arm0 & 1];
    RING_node_s* qa = an->segs[arm_a & 1];
    const int a_idx = arm_a & 1;
    RING_node_s* t = an->segs[1 - a_idx];
    if (!t) {
        // No partner left (a record whose other segment was removed): its
        // rounded position is the best point there is.
        const PNT2_s q = x->pnt;
        return LINE_ARC_SEG_prd_compare_around(&p0, piece0, f0, &p1, piece1, f1, nullptr, nullptr, 0, 0, &q);
    }
    bool fq0 = (arm0 & 2) != 0;
    if (t != q0 && along_same_line(q0, t, &fq0)) q0 = t;  // leaves along T's line: ask with T itself
    int flag = stored_flag(an);
    if (a_idx == 1) flag = LINE_ARC_SEG_intxn_flag_for_other_order(flag);  // A (segs[1]) first
    const PNT2_s pq0 = seg_start(q0), pqa = seg_start(qa), pt = seg_start(t);
    const int r = LINE_ARC_SEG_prd_compare_around(&pq0, seg_piece(q0), fq0, &pqa, seg_piece(qa),
                                                  (arm_a & 2) != 0, &pt, seg_piece(t), flag, 0, nullptr);
    if (!swap) return r;
    return r == 1 ? -1 : (r == -1 ? 1 : r);
}

bool PSI__in_same_cycle(const PSI_INTXN_NODE_s* x, int ax, const PSI_INTXN_NODE_s* y, int ay) {
    const PSI_INTXN_NODE_s* n = x;
    int a = ax;
    // A cycle visits each arm once; 4 arms per record and a generous record
    // bound keep a broken cycle from running on.
    for (long guard = 0; guard < (1L << 30); ++guard) {
        if (n == y && a == ay) return true;
        const PSI_INTXN_NODE_s* nn = n->next_around[a];
        a = n->next_around_idx[a];
        n = nn;
        if (n == x && a == ax) return false;
    }
    ERROR_internal(kFile, __LINE__, "PSI: cycle around a point does not close");
}

void PSI__unlink_around(PSI_INTXN_NODE_s* x, int ax) {
    Arm self{x, ax};
    Arm prev = self;
    for (long guard = 0;; ++guard) {
        Arm nx = next_of(prev);
        if (nx == self) break;
        prev = nx;
        if (guard > (1L << 30)) ERROR_internal(kFile, __LINE__, "PSI: cycle around a point does not close");
    }
    if (!(prev == self)) set_next(prev, next_of(self));
    set_next(self, self);
}

void PSI__join_around(PSI_s* psi, PSI_INTXN_NODE_s* x, int ax, PSI_INTXN_NODE_s* y, int ay) {
    if (PSI__in_same_cycle(x, ax, y, ay)) return;
    // 1. Collect the arms of both cycles.
    std::vector<Arm> arms;
    const int bound = cycle_bound(psi);
    for (Arm start : {Arm{x, ax}, Arm{y, ay}}) {
        Arm a = start;
        do {
            arms.push_back(a);
            a = next_of(a);
            if (static_cast<int>(arms.size()) > bound)
                ERROR_internal(kFile, __LINE__, "PSI: cycle around a point does not close");
        } while (!(a == start));
    }
    // A point where any record stands at a grid point is that grid point.
    const PNT2_s* grid = nullptr;
    for (const Arm& a : arms)
        if (at_grid_point(a.node)) grid = &a.node->pnt;
    auto compare = [&](const Arm& a, const Arm& b) { return PSI__compare_arms_at(psi, a.node, a.arm, b.node, b.arm, grid); };
    // 2. Half-turn class of every arm against the reference arm r = (x, ax):
    // 0 along r, 1 within the half turn counter-clockwise of r, 2 opposite,
    // 3 within the half turn clockwise of r.  Arms along r's tangent that bend
    // away from it fall into 1 or 3 by curvature, so every class holds a
    // stretch of directions less than a half turn wide and the predicate
    // orders it strictly.
    const Arm r = arms[0];
    std::vector<int> cls(arms.size(), 0);
    for (size_t i = 1; i < arms.size(); ++i) {
        const int c = compare(arms[i], r);
        cls[i] = c == 0 ? 0 : c == 1 ? 1 : c == 2 ? 2 : 3;
    }
    // 3. Sort by class, then counter-clockwise within the class; ties (the
    // same curve in the same direction) by the fixed tie order.
    std::vector<int> order(arms.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::sort(order.begin(), order.end(), [&](int i, int j) {
        if (cls[i] != cls[j]) return cls[i] < cls[j];
        const Arm a = arms[i], b = arms[j];
        if (a == b) return false;
        const int c = cls[i] == 0 ? 0 : compare(a, b);
        if (c == -1) return true;
        if (c == 1) return false;
        return tie_less(psi, a, b);
    });
    // 4. Relink as one cycle.
    for (size_t k = 0; k < order.size(); ++k) set_next(arms[order[k]], arms[order[(k + 1) % order.size()]]);
}

bool PSI__arm_tie_less(const PSI_s* psi, const PSI_INTXN_NODE_s* x, int ax, const PSI_INTXN_NODE_s* y, int ay) {
    return tie_less(psi, Arm{const_cast<PSI_INTXN_NODE_s*>(x), ax}, Arm{const_cast<PSI_INTXN_NODE_s*>(y), ay});
}
