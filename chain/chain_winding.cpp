// Exact local geometry of chains at a point: the winding number about a point
// moved off it by an infinitesimal step, and the order of the branches that
// leave one point.  Signs come from exact/orient2d alone; the infinitesimal
// step (e, e^3) decides every tie, so the moved point lies on no chain.
#include "chain/chain_winding.h"

#include "chain/chain_record.h"

#include "exact/orient2d.h"

#include <merrow1/chain.h>
#include <merrow1/chain_segments.h>

#include <algorithm>

namespace {

using merrow1::arc_of;
using merrow1::point_of;

bool same_point(const double a[2], const double b[2]) { return a[0] == b[0] && a[1] == b[1]; }

int sign_of(double v) { return v > 0 ? 1 : v < 0 ? -1 : 0; }

// Side of a -> b on which q + (e, e^3) lies when q itself is on the line:
// the first-order change alone.
int orient_at(const double a[2], const double b[2]) {
    if (b[1] != a[1]) return b[1] > a[1] ? -1 : 1;
    return sign_of(b[0] - a[0]);
}

// Side of a -> b on which q + (e, e^3) lies (+1 left): the orientation of q,
// else its first-order change -e (b.y - a.y), else the e^3 term e^3 (b.x - a.x).
int orient_beside(const double a[2], const double b[2], const double q[2]) {
    if (const int s = ORIENT2D_sign(a, b, q)) return s;
    return orient_at(a, b);
}

// Whether q + (e, e^3) lies strictly inside the circle about c through s: on
// the circle, the first-order change 2 e (q.x - c.x) decides, and when that is
// 0 the e^2 term puts the point outside.
bool inside_circle_beside(const double c[2], const double s[2], const double q[2]) {
    if (const int d = ORIENT2D_distance_sign(c, s, q)) return d < 0;
    return q[0] < c[0];
}

}  // namespace

int CHAIN__winding_number_beside(const RING_header_s* closed, const double q[2], const RING_node_s* const* through_q,
                                 int through_count) {
    int total = 0;
    RING_node_s* node = closed->first;
    for (int k = 0; node && k < closed->count; ++k, node = node->next) {
        if (!node->previous) continue;
        const double* a = point_of(node->previous);
        const double* b = point_of(node);
        const bool on = std::find(through_q, through_q + through_count, node) != through_q + through_count;
        const bool arc_segment = CHAIN_seg_ask_type(node) == SEG_ARC;
        // The chord a -> b against the rightward ray from the moved point, whose
        // height lies above q's by e^3: an end at q's height counts as below.
        // A line taken through q (bent there) meets the ray nowhere: its two
        // halves reach q's height at q only, left of the moved point.
        const bool a_above = a[1] > q[1];
        const bool b_above = b[1] > q[1];
        if (!(on && !arc_segment)) {
            if (!a_above && b_above && orient_beside(a, b, q) > 0) ++total;
            if (a_above && !b_above && orient_beside(a, b, q) < 0) --total;
        }
        if (!arc_segment) continue;
        const auto* arc = arc_of(node);
        if (arc->direction != CCW && arc->direction != CW) continue;
        const double centre[2] = {arc->cx, arc->cy};
        const double* through = on || same_point(b, q) ? q : a;
        if (!inside_circle_beside(centre, through, q)) continue;
        // A whole circle (ends together) winds about all of its disc.
        const int side = same_point(a, b) ? 0 : orient_beside(a, b, q);
        if (arc->direction == CCW && side <= 0) ++total;
        if (arc->direction == CW && side >= 0) --total;
    }
    return total;
}

bool CHAIN__branch_along_segment(const RING_header_s* chain, const RING_node_s* end_node, const double at[2],
                                 bool forward, CHAIN__branch_s* branch) {
    SEGMENT segment;
    if (!chain || !end_node || !ChainSegment(chain, end_node, &segment) || !segment.start || !segment.end) return false;
    const double* start = segment.start;
    const double* end = &segment.end->x;
    if (same_point(start, end)) return false;
    branch->at = at;
    branch->other = nullptr;
    branch->turn = 0;
    if (segment.type == SEG_ARC) {
        const DIRECTION d = segment.end->direction;
        if (d != CCW && d != CW) return false;
        branch->centre[0] = segment.end->cx;
        branch->centre[1] = segment.end->cy;
        if (same_point(at, branch->centre)) return false;
        branch->turn = (d == CCW) == forward ? 1 : -1;
        return true;
    }
    if (segment.type != SEG_LINE) return false;
    branch->other = forward ? end : start;
    return !same_point(at, branch->other);
}

bool CHAIN__branch_of_segment(const RING_header_s* chain, const RING_node_s* end_node, bool from_start,
                              CHAIN__branch_s* branch) {
    SEGMENT segment;
    if (!chain || !end_node || !ChainSegment(chain, end_node, &segment) || !segment.start || !segment.end) return false;
    return CHAIN__branch_along_segment(chain, end_node, from_start ? segment.start : &segment.end->x, from_start,
                                       branch);
}

namespace {

// Signs of the tangent's components: a line's towards its far end, an arc's
// turn x (the radius from the centre turned a quarter counter-clockwise).
void tangent_signs(const CHAIN__branch_s& b, int* tx, int* ty) {
    const double* v = b.at;
    if (!b.turn) {
        *tx = sign_of(b.other[0] - v[0]);
        *ty = sign_of(b.other[1] - v[1]);
        return;
    }
    *tx = b.turn * sign_of(b.centre[1] - v[1]);
    *ty = b.turn * sign_of(v[0] - b.centre[0]);
}

// Half of the turn from (1, 0+): 0 the upper half (a tangent along +x that
// turns up included), 1 the lower half with -x, 2 along +x not turning up
// (just below the start direction, so last).
int half_of(const CHAIN__branch_s& b) {
    int tx = 0, ty = 0;
    tangent_signs(b, &tx, &ty);
    if (ty > 0) return 0;
    if (ty < 0 || tx < 0) return 1;
    return b.turn > 0 ? 0 : 2;
}

// Sign of the cross product of the two tangents at the common point v.
int cross_sign(const CHAIN__branch_s& a, const CHAIN__branch_s& b) {
    const double* v = a.at;
    if (!a.turn && !b.turn) return ORIENT2D_sign(v, a.other, b.other);
    if (a.turn && b.turn) return a.turn * b.turn * ORIENT2D_sign(v, a.centre, b.centre);
    // A line's direction o - v against an arc's turn x rot(v - c): the cross
    // product is turn x (o - v).(v - c).
    if (!a.turn) return -b.turn * ORIENT2D_dot_sign(v, a.other, b.centre);
    return a.turn * ORIENT2D_dot_sign(v, b.other, a.centre);
}

// Order of the curvatures turn / radius: -1 when a's is the smaller.
int compare_curvature(const CHAIN__branch_s& a, const CHAIN__branch_s& b) {
    if (a.turn != b.turn) return a.turn < b.turn ? -1 : 1;
    if (!a.turn) return 0;
    // Same sense: the smaller radius bends more.
    const int nearer = ORIENT2D_distance_sign(a.at, a.centre, b.centre);  // +1: a's radius is the smaller
    return a.turn > 0 ? nearer : -nearer;
}

// Order of two branches counter-clockwise from (1, 0+), or with
// `axis_first` from (1, 0) itself: the branches leaving along +x without
// turning up come first instead of last.
int compare_from(const CHAIN__branch_s& a, const CHAIN__branch_s& b, bool axis_first) {
    int ha = half_of(a), hb = half_of(b);
    if (axis_first) {
        if (ha == 2) ha = -1;
        if (hb == 2) hb = -1;
    }
    if (ha != hb) return ha < hb ? -1 : 1;
    if (ha >= 0 && ha != 2) {
        // Within one half the counter-clockwise turn from a to b is below pi.
        if (const int c = cross_sign(a, b)) return c > 0 ? -1 : 1;
    }
    // One tangent: the branch that bends more to the left lies farther on.
    return compare_curvature(a, b);
}

}  // namespace

int CHAIN__compare_branches(const CHAIN__branch_s& a, const CHAIN__branch_s& b) { return compare_from(a, b, false); }

int CHAIN__compare_branches_from_axis(const CHAIN__branch_s& a, const CHAIN__branch_s& b) {
    return compare_from(a, b, true);
}
