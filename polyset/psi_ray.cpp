// Winding numbers by vertical rays through the polygon-set intersection
// network, the order of crossings along a ray, zone merges up a ray and the
// outer-boundary trace behind the material-at-infinity test.
//
// The ray is the half line from the start point P upward at abscissa
// x + side * eps (side +1 right, -1 left) for an infinitely small eps.  Every
// decision is made exactly at x with the predicates of the exact layer:
// - a crossing strictly inside a segment at x is above or below P by the
//   vertical comparison, and its sign is the segment's motion there;
// - a segment end, or a pass through P, on the abscissa x is a point Q where
//   the segment leaves Q along one or two arms; an arm that leaves toward the
//   ray's side is met by the shifted ray once, with the sign of the motion
//   along it; arms that leave toward the other side or straight up or down
//   are not met;
// - at P itself only arms on the start's side of the start arm count: the
//   ray starts in the face on the right of the start sub-segment;
// - on a vertical start, a vertical line along the start line that leaves P
//   in the start's direction counts once when the tie order of the cycle
//   around P puts it between the ray and the start's face, else not at all.
// Tangencies of an arc with the abscissa away from P are met twice with
// opposite signs and left out.
#include "polyset/psi_ray.h"

#include "exact/line_arc_seg_prd.h"
#include "polyset/psi_internal.h"

#include <stend/error.h>
#include <stend/system.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using merrow1::psi::seg_end;
using merrow1::psi::seg_index;
using merrow1::psi::seg_piece;
using merrow1::psi::seg_start;

namespace {

const char kFile[] = "psi_ray";

[[noreturn]] void unclassified(int line, const char* what) {
    ERROR_internal(kFile, line, "PSI ray: unclassified crossing (%s)", what);
}

bool same_point(const PNT2_s& a, const PNT2_s& b) { return a.x == b.x && a.y == b.y; }

bool at_grid_point(const PSI_INTXN_NODE_s* n) {
    return ((n->flags[0] | n->flags[1]) & PSI_NODE_FLAG_VERTEX) != 0;
}

int sign_of(double v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

int segment_weight(const RING_node_s* segment) {
    if (!(seg_piece(segment)->flags & merrow1::psi::SEG_FLAG_MULTIPLICITY)) return 1;
    const int* count =
        static_cast<const int*>(APP_DATA__ask_app_data(segment->app_data, merrow1::psi::KEY_MULTIPLICITY));
    return count ? *count : 1;
}

// The upward (or downward) vertical line piece from q to the given height.
LINE_ARC_SEG_s vertical_piece(const PNT2_s& q, double top) {
    LINE_ARC_SEG_s v;
    std::memset(&v, 0, sizeof v);
    v.x = q.x;
    v.y = top;
    v.h = LINE_ARC_SEG_LINE_H;
    return v;
}

// An arm of a segment at a point: it leaves along the segment (forward) or
// against it.
struct Arm {
    RING_node_s* seg;
    bool forward;
    bool operator==(const Arm& o) const { return seg == o.seg && forward == o.forward; }
};

// Order of two arms around the grid point q: +1 a leaves counter-clockwise of
// b within a half turn, -1 clockwise, 0 along the same curve, 2 opposite.
int around_at(const PNT2_s& q, const Arm& a, const PNT2_s* pb, const LINE_ARC_SEG_s* b, bool fb) {
    const PNT2_s pa = seg_start(a.seg);
    return LINE_ARC_SEG_prd_compare_around(&pa, seg_piece(a.seg), a.forward, pb, b, fb, nullptr, nullptr, 0, 0, &q);
}

enum Heading { kLeft = -1, kRight = 1, kUp = 2, kDown = -2 };

// Where an arm leaves the grid point q: toward larger x (kRight), smaller x
// (kLeft), or straight up or down along a vertical line.  An arc leaving
// along the vertical belongs to the side it bends to.
int heading_at(const PNT2_s& q, const Arm& a) {
    const LINE_ARC_SEG_s up = vertical_piece(q, q.y + 1);
    int r = around_at(q, a, &q, &up, true);
    if (r == 0) return kUp;
    if (r == 1) return kLeft;
    if (r == -1) return kRight;
    const LINE_ARC_SEG_s down = vertical_piece(q, q.y - 1);
    r = around_at(q, a, &q, &down, true);
    if (r == 0) return kDown;
    if (r == 1) return kRight;
    if (r == -1) return kLeft;
    unclassified(__LINE__, "arm leaves its point in no direction");
}

// Motion sign of the segment along an arm that leaves toward the given side:
// +1 when it moves toward smaller x, -1 toward larger x.
int motion_of(int heading, bool forward) {
    const int m = heading == kRight ? -1 : 1;
    return forward ? m : -m;
}

// The fixed order of two arms along the same curve in the same direction, as
// the cycles around a point keep it: true when a comes first counter-
// clockwise.
bool tie_first(const PSI_s* psi, const Arm& a, const Arm& b) {
    PSI_INTXN_NODE_s na, nb;
    std::memset(&na, 0, sizeof na);
    std::memset(&nb, 0, sizeof nb);
    na.segs[0] = na.segs[1] = a.seg;
    nb.segs[0] = nb.segs[1] = b.seg;
    return PSI__arm_tie_less(psi, &na, a.forward ? 2 : 0, &nb, b.forward ? 2 : 0);
}

// Counter-clockwise order (+1 a after b, -1 before) of two arms that leave
// the grid point q toward the same side; for the right side up is the most
// counter-clockwise direction, for the left side the least.
int same_side_order(const PSI_s* psi, const PNT2_s& q, const Arm& a, const Arm& b, int side) {
    if (a == b) return 0;
    const PNT2_s pb = seg_start(b.seg);
    const int r = around_at(q, a, &pb, seg_piece(b.seg), b.forward);
    if (r == 1 || r == -1) return r;
    if (r == 0) return tie_first(psi, a, b) ? -1 : 1;
    // Exactly opposite tangents, both vertical: the one heading up.
    const LINE_ARC_SEG_s up = vertical_piece(q, q.y + 1);
    const bool a_up = around_at(q, a, &q, &up, true) != 2;
    const bool b_up = around_at(q, b, &q, &up, true) != 2;
    if (a_up == b_up) unclassified(__LINE__, "two arms leave in one vertical direction");
    return (a_up == (side > 0)) ? 1 : -1;
}

// Crossing under construction.
struct Hit {
    bool exact_point;   // at the grid point q
    PNT2_s q;           // the grid point, or the rounded crossing
    int flag;           // named point (vertical first)
    bool forward;       // the crossed piece leaves toward the ray's side along the segment
    int motion;         // +1 right to left
};

// ---------------------------------------------------------------------------
// Locating a crossing among the nodes of its segment
// ---------------------------------------------------------------------------

struct Base {
    RING_node_s* seg;
    const LINE_ARC_SEG_s* piece;
    PNT2_s a, b;
    bool line;
};

int flag_for_base(const PSI_INTXN_NODE_s* n, int base_index) {
    int f = ((n->flags[0] & PSI_NODE_FLAG_ORIENT) ? LINE_ARC_SEG_INTXN_SIDE : 0) |
            ((n->flags[0] & PSI_NODE_FLAG_TOUCH) ? LINE_ARC_SEG_INTXN_TANGENT : 0);
    return base_index == 0 ? f : LINE_ARC_SEG_intxn_flag_for_other_order(f);
}

// Order along the base of two of its grid points: -1 g before q, +1 after.
int grid_order(const Base& c, const PNT2_s& g, const PNT2_s& q) {
    if (same_point(g, q)) return 0;
    if (same_point(g, c.a) || same_point(q, c.b)) return -1;
    if (same_point(q, c.a) || same_point(g, c.b)) return 1;
    if (c.line) {
        // Distinct points of one line: the projection is at least the
        // direction's length away from 0.
        const double t = (g.x - q.x) * (c.b.x - c.a.x) + (g.y - q.y) * (c.b.y - c.a.y);
        return t < 0 ? -1 : 1;
    }
    LINE_ARC_SEG_vec2_expansion_s u(g.x - c.a.x, g.y - c.a.y);
    LINE_ARC_SEG_vec2_expansion_s v(q.x - c.a.x, q.y - c.a.y);
    LINE_ARC_SEG_real_3_expansion_s out;
    LINE_ARC_SEG__vec2_cross_exact(&u, &v, &out);
    const int s = MULTI_PREC_from_real_3(out).sign();
    if (s == 0) unclassified(__LINE__, "two points of an arc in one direction from its start");
    return (s > 0) == (c.piece->h >= 0) ? -1 : 1;
}

// Order along the base of a grid point g against the crossing of the base
// with the other segment o named by flag_o (base first): -1 g before it.
int grid_against_named(const Base& c, const PNT2_s& g, RING_node_s* o_seg, const PNT2_s& o_start,
                       const LINE_ARC_SEG_s* o, int flag_o) {
    if (same_point(g, c.a)) return -1;
    if (same_point(g, c.b)) return 1;
    const int r = LINE_ARC_SEG_prd_compare_intxns_ps(&c.a, c.piece, &g, &o_start, o, flag_o);
    if (r != 0 || (flag_o & LINE_ARC_SEG_INTXN_TANGENT) || !o_seg) return r;
    // g may be the other meeting point of o with the base (an end of o): the
    // two named points of one pair are ordered against each other.
    const PNT2_s oe = seg_end(o_seg);
    if (!same_point(g, o_start) && !same_point(g, oe)) return 0;
    if (c.line && LINE_ARC_SEG_is_line(o)) return 0;
    return -LINE_ARC_SEG_prd_compare_intxns_ss(&c.a, c.piece, &o_start, o, flag_o, &o_start, o,
                                               flag_o ^ LINE_ARC_SEG_INTXN_SIDE);
}

// Order along the base of node n against the crossing h: -1 n before it, 0
// at it, +1 beyond it.
int node_against_hit(const Base& c, const PSI_INTXN_NODE_s* n, const Hit& h, const PNT2_s& p,
                     const LINE_ARC_SEG_s* ray_piece) {
    const int idx = seg_index(n, c.seg);
    RING_node_s* other = n->segs[1 - idx];
    const bool n_exact = at_grid_point(n) || !other;
    // The ray's point named on the base: bit 2 as the exact intersection gives
    // it with the base first.
    const int ray_flag = LINE_ARC_SEG_intxn_flag_for_other_order(h.flag);
    if (n_exact && h.exact_point) return grid_order(c, n->pnt, h.q);
    if (n_exact) return grid_against_named(c, n->pnt, nullptr, p, ray_piece, ray_flag);
    const PNT2_s os = seg_start(other);
    const int fo = flag_for_base(n, idx);
    if (h.exact_point) return -grid_against_named(c, h.q, other, os, seg_piece(other), fo);
    return LINE_ARC_SEG_prd_compare_intxns_ss(&c.a, c.piece, &os, seg_piece(other), fo, &p, ray_piece, ray_flag);
}

// The sub-segment of the wrapped segment that the shifted ray meets at the
// crossing: the one leaving the crossing forward when h.forward, else the one
// arriving at it.  Gives its end node and the segment's index there.
void locate_subsegment(const PSI_s* psi, PSI_segment_search_wrapper_s* w, int i, const Hit& h, const PNT2_s& p,
                       const LINE_ARC_SEG_s* ray_piece, PSI_INTXN_NODE_s** end, int* end_index) {
    Base c;
    c.seg = w->segs[i];
    c.piece = seg_piece(c.seg);
    c.a = seg_start(c.seg);
    c.b = seg_end(c.seg);
    c.line = LINE_ARC_SEG_is_line(c.piece);
    PSI_INTXN_NODE_s* n = w->first_nodes ? w->first_nodes[i] : nullptr;
    if (!n) unclassified(__LINE__, "segment without nodes");
    const long bound = static_cast<long>(psi->nodes->num_active) + 2;
    // Nodes in order n0 (the start) .. nm (the end).  Forward: the last node
    // not beyond the crossing starts the sub-segment.  Backward: the first
    // node not before it ends the sub-segment.
    for (long guard = 0; guard <= bound; ++guard) {
        const int idx = seg_index(n, c.seg);
        if (idx < 0) unclassified(__LINE__, "segment lost along its nodes");
        PSI_INTXN_NODE_s* next = n->pn_along[2 + idx];
        if (!next) break;
        const int order = node_against_hit(c, next, h, p, ray_piece);
        if (h.forward ? order > 0 : order >= 0) {
            *end = next;
            *end_index = seg_index(next, c.seg);
            return;
        }
        n = next;
    }
    unclassified(__LINE__, "no sub-segment holds the crossing");
}

// ---------------------------------------------------------------------------
// The crossing visitor
// ---------------------------------------------------------------------------

int side_heading(const PSI_wn_functor_s* wn) { return wn->side ? kRight : kLeft; }

PSI_ray_crossing_s* crossing_record(PSI_s* psi, int k) {
    PSI__ensure_ray(psi, k + 1);
    PSI_ray_entry_s& e = psi->ray[k];
    if (!e.words[0]) e.words[0] = CMEM_NEW(psi->pool, PSI_ray_crossing_s);
    return static_cast<PSI_ray_crossing_s*>(e.words[0]);
}

// Counts the crossing; with record_it (and the functor's record) it also
// goes to the ray buffer.
void add_hit(PSI_wn_functor_s* wn, PSI_segment_search_wrapper_s* w, int i, const Hit& h, bool record_it = true) {
    PSI_s* psi = wn->psi;
    RING_node_s* seg = w->segs[i];
    const LINE_ARC_SEG_s ray_piece = vertical_piece(wn->point, w->boxes[2 * i][3] + 1);
    PSI_INTXN_NODE_s* end = nullptr;
    int end_index = 0;
    locate_subsegment(psi, w, i, h, wn->point, &ray_piece, &end, &end_index);
    PSI_INTXN_NODE_s* begin = end->pn_along[end_index];
    const int begin_index = begin ? seg_index(begin, seg) : -1;
    const bool blank = (end->flags[end_index] & PSI_NODE_FLAG_ARRIVE_BLANK) ||
                       (begin && begin_index >= 0 && (begin->flags[begin_index] & PSI_NODE_FLAG_LEAVE_BLANK));
    if (wn->use_blanks && blank) return;
    const bool reversed = (end->flags[end_index] & PSI_NODE_FLAG_REVERSED) != 0;
    const int weight = h.motion * segment_weight(seg) * (reversed ? -1 : 1);
    wn->winding += weight;
    if (!wn->record || !record_it) return;
    PSI_ray_crossing_s* r = crossing_record(psi, wn->count);
    if (h.exact_point) {
        r->y[0] = r->y[1] = h.q.y;
    } else {
        // The rounded crossing lies within half a unit of the exact one.
        r->y[0] = h.q.y - 1;
        r->y[1] = h.q.y + 1;
    }
    r->segment = seg;
    r->node = end;
    r->index = end_index;
    r->exact_point = h.exact_point ? 1 : 0;
    r->flag = h.flag;
    r->forward = h.forward ? 1 : 0;
    r->motion = h.motion;
    r->weight = weight;
    PSI_ray_entry_s& e = psi->ray[wn->count];
    e.words[1] = end;
    e.words[2] = reinterpret_cast<void*>(static_cast<intptr_t>(end_index | (end_index << 16)));
    e.words[3] = nullptr;
    ++wn->count;
}

// An arm of a segment at the start point P.
void hit_at_start(PSI_wn_functor_s* wn, PSI_segment_search_wrapper_s* w, int i, const Arm& arm) {
    const Arm start{wn->start_segment, wn->start_forward_arm != 0};
    if (arm == start) return;  // the start's own contribution is counted apart
    const int heading = heading_at(wn->point, arm);
    if (heading != side_heading(wn)) return;
    bool counted;
    if (wn->vertical) {
        // Up the start line on its right nothing at P is met; down it the ray
        // starts below every arm that leaves to the left.
        counted = wn->side == 0;
    } else {
        const int order = same_side_order(wn->psi, wn->point, arm, start, wn->side ? 1 : -1);
        // Right side: the ray starts just below the start arm and meets the
        // arms counter-clockwise of it; left side: just above it, meeting the
        // arms clockwise of it.
        counted = wn->side ? order > 0 : order < 0;
    }
    if (!counted) return;
    add_hit(wn, w, i, Hit{true, wn->point, 0, arm.forward, motion_of(heading, arm.forward)});
}

// A vertical line segment on the start line of a vertical start.  Its arm
// at P that leaves in the start's direction coincides with the start arm;
// the cycle around P keeps such arms in their fixed tie order.  The start's
// face (on the right of the start arm) is bounded by the next arm clockwise,
// while the shifted ray runs beside the whole bundle of coinciding arms, on
// its clockwise side (right of an upward start, left of a downward one).  So
// every coinciding arm that the tie order puts clockwise of the start arm
// lies between the ray and the start's face and is counted once, with the
// step of winding from its right to its left; the others are not counted.
// The ray itself never meets the line, so nothing is recorded for it.
void coinciding_at_start(PSI_wn_functor_s* wn, PSI_segment_search_wrapper_s* w, int i, const PNT2_s& a,
                         const PNT2_s& b) {
    const PNT2_s& p = wn->point;
    const double lo = std::min(a.y, b.y), hi = std::max(a.y, b.y);
    if (!(lo <= p.y && p.y <= hi)) return;
    // The arm at P heading the start's way: up for side 1, down for side 0.
    const bool up = wn->side != 0;
    const bool forward = (b.y > a.y) == up;
    if (same_point(p, forward ? b : a)) return;  // the segment ends at P on that side
    const Arm arm{w->segs[i], forward};
    const Arm start{wn->start_segment, wn->start_forward_arm != 0};
    if (arm == start || !tie_first(wn->psi, arm, start)) return;
    // Left of the arm minus right of it: +1 along the segment, -1 against.
    add_hit(wn, w, i, Hit{true, p, 0, forward, forward ? 1 : -1}, false);
}

// A segment end on the ray's abscissa (or P itself).
void hit_at_end(PSI_wn_functor_s* wn, PSI_segment_search_wrapper_s* w, int i, const PNT2_s& q, const Arm& arm) {
    if (same_point(q, wn->point)) {
        hit_at_start(wn, w, i, arm);
        return;
    }
    if (!(q.y > wn->point.y)) return;
    const int heading = heading_at(q, arm);
    if (heading != side_heading(wn)) return;
    add_hit(wn, w, i, Hit{true, q, 0, arm.forward, motion_of(heading, arm.forward)});
}

// A named crossing strictly inside the segment and strictly above P.
void hit_inside(PSI_wn_functor_s* wn, PSI_segment_search_wrapper_s* w, int i, const PNT2_s& rounded, int flag,
                int motion) {
    // The shifted ray meets the part of the segment on its side of x: the
    // part after the crossing when the segment moves toward that side.
    const bool forward = (motion < 0) == (wn->side != 0);
    add_hit(wn, w, i, Hit{false, rounded, flag, forward, motion});
}

void crossing_visitor(PSI_wn_functor_s* wn, PSI_segment_search_wrapper_s* w, int i) {
    RING_node_s* seg = w->segs[i];
    const LINE_ARC_SEG_s* s = seg_piece(seg);
    const PNT2_s a = seg_start(seg);
    const PNT2_s b = seg_end(seg);
    const PNT2_s& p = wn->point;
    const double x = p.x;
    if (LINE_ARC_SEG_is_line(s)) {
        if (a.x == b.x) {
            // Vertical: the shifted ray never meets it, but on the start
            // line of a vertical start it may bound the start's face.
            if (wn->vertical && a.x == x) coinciding_at_start(wn, w, i, a, b);
            return;
        }
        if (a.x == x) hit_at_end(wn, w, i, a, Arm{seg, true});
        if (b.x == x) hit_at_end(wn, w, i, b, Arm{seg, false});
        if (std::min(a.x, b.x) < x && x < std::max(a.x, b.x)) {
            const int above = sign_of(LINE_ARC_SEG_prd_compare_vertical_ps(&p, &a, s, 0));
            if (above == 0) {
                hit_at_start(wn, w, i, Arm{seg, true});
                hit_at_start(wn, w, i, Arm{seg, false});
            } else if (above > 0) {
                const double y = a.y + (x - a.x) * (b.y - a.y) / (b.x - a.x);
                hit_inside(wn, w, i, PNT2_s{x, y}, 0, b.x > a.x ? -1 : 1);
            }
        }
        return;
    }
    if (a.x == x) hit_at_end(wn, w, i, a, Arm{seg, true});
    if (b.x == x) hit_at_end(wn, w, i, b, Arm{seg, false});
    // The vertical piece from P to above the segment's box, given first.
    const LINE_ARC_SEG_s up = vertical_piece(p, w->boxes[2 * i][3] + 1);
    PNT2_s pts[2];
    int flags[2] = {0, 0};
    const int n = LINE_ARC_SEG_ixn_la_intersect(&up, &p, s, &a, 2147483648.0, pts, flags, 0);
    for (int k = 0; k < n; ++k) {
        const int f = flags[k];
        if (f & LINE_ARC_SEG_INTXN_AT_END) {
            if ((a.x == x && same_point(pts[k], a)) || (b.x == x && same_point(pts[k], b))) continue;
            if (same_point(pts[k], p)) {
                hit_at_start(wn, w, i, Arm{seg, true});
                hit_at_start(wn, w, i, Arm{seg, false});
                continue;
            }
            unclassified(__LINE__, "end point of neither piece");
        }
        if (f & LINE_ARC_SEG_INTXN_TANGENT) continue;
        // With the upward line first, bit 2 marks the point where the arc
        // moves toward smaller x (the upper point of a counter-clockwise arc,
        // the lower one of a clockwise arc).
        hit_inside(wn, w, i, pts[k], f, (f & LINE_ARC_SEG_INTXN_SIDE) ? 1 : -1);
    }
}

// Walks the box tree of a wrapped poly and calls the visitor on every segment
// whose box spans the ray's shifted abscissa and reaches the start's height.
void cast_through(PSI_wn_functor_s* wn, PSI_segment_search_wrapper_s* w) {
    if (!w || w->count == 0) return;
    const double x = wn->point.x;
    const double y = wn->point.y;
    PSI__walk_box_tree(
        w, [&](const double* box) { return box[0] <= x && x <= box[1] && box[3] >= y; },
        [&](int i, const double* box) {
            // A segment that ends at x on the far side is never met, except a
            // vertical line on the start line of a vertical start.
            const bool start_line = wn->vertical && box[0] == x && box[1] == x;
            if (!start_line && (wn->side ? box[1] == x : box[0] == x)) return false;
            wn->callback(wn, w, i);
            return false;
        });
}

// ---------------------------------------------------------------------------
// Order along the ray
// ---------------------------------------------------------------------------

struct RayOrder {
    const PSI_s* psi;
    double x;
    int side;  // +1 right, -1 left

    // The arm of the crossing that the shifted ray meets.
    static Arm arm_of(const PSI_ray_crossing_s* c) { return Arm{c->segment, c->forward != 0}; }

    // -1 c below d, +1 above, 0 the same crossing.
    int compare(const PSI_ray_crossing_s* c, const PSI_ray_crossing_s* d) const {
        if (c == d) return 0;
        if (c->y[1] < d->y[0]) return -1;
        if (d->y[1] < c->y[0]) return 1;
        int h;
        const PNT2_s pc = seg_start(c->segment), pd = seg_start(d->segment);
        if (c->exact_point && d->exact_point) {
            h = sign_of(c->y[0] - d->y[0]);
        } else if (c->exact_point) {
            const PNT2_s q{x, c->y[0]};
            h = -sign_of(LINE_ARC_SEG_prd_compare_vertical_ps(&q, &pd, seg_piece(d->segment), d->flag));
        } else if (d->exact_point) {
            const PNT2_s q{x, d->y[0]};
            h = sign_of(LINE_ARC_SEG_prd_compare_vertical_ps(&q, &pc, seg_piece(c->segment), c->flag));
        } else {
            const double range[2] = {std::min(c->y[0], d->y[0]), std::max(c->y[1], d->y[1])};
            h = sign_of(LINE_ARC_SEG_prd_compare_vertical_ss(x, range, &pc, seg_piece(c->segment), c->flag, &pd,
                                                             seg_piece(d->segment), d->flag));
        }
        if (h != 0) return h;
        // One point of the abscissa: along the shifted ray the arms that
        // leave it are met in angular order; on the right side the arm more
        // counter-clockwise lies higher, on the left side the arm more
        // clockwise.
        const Arm ac = arm_of(c), ad = arm_of(d);
        if (ac == ad) return 0;
        int o;
        if (c->exact_point || d->exact_point) {
            const PNT2_s q{x, c->exact_point ? c->y[0] : d->y[0]};
            o = same_side_order(psi, q, ac, ad, side);
        } else {
            o = off_grid_order(c, d);
        }
        return side > 0 ? o : -o;
    }

    // Counter-clockwise order of the arms of two crossings that meet at one
    // point of the abscissa off the grid; the point is named by the vertical
    // line and the arc among the two pieces.
    int off_grid_order(const PSI_ray_crossing_s* c, const PSI_ray_crossing_s* d) const {
        const Arm ac = arm_of(c), ad = arm_of(d);
        const PNT2_s pc = seg_start(c->segment), pd = seg_start(d->segment);
        const LINE_ARC_SEG_s* sc = seg_piece(c->segment);
        const LINE_ARC_SEG_s* sd = seg_piece(d->segment);
        const PNT2_s base{x, std::min(c->y[0], d->y[0])};
        const LINE_ARC_SEG_s up = vertical_piece(base, std::max(c->y[1], d->y[1]));
        int flag = 0;
        if (LINE_ARC_SEG_is_arc(sd))
            flag = LINE_ARC_SEG_intxn_flag_for_other_order(d->flag);
        else if (LINE_ARC_SEG_is_arc(sc))
            flag = LINE_ARC_SEG_intxn_flag_for_other_order(c->flag);
        const int r = LINE_ARC_SEG_prd_compare_around(&pc, sc, ac.forward, &pd, sd, ad.forward, &base, &up, flag, 0,
                                                      nullptr);
        if (r == 1 || r == -1) return r;
        if (r == 0) return tie_first(psi, ac, ad) ? -1 : 1;
        unclassified(__LINE__, "opposite arms at a crossing off the grid");
    }
};

PSI_ray_crossing_s* crossing_at(const PSI_s* psi, int k) { return PSI_ray_entry_crossing(psi, k); }

// ---------------------------------------------------------------------------
// Zones of sub-segments
// ---------------------------------------------------------------------------

BZONE_s* zone_of(PSI_INTXN_NODE_s* node, int index, bool left);

bool subsegment_blanked(const PSI_INTXN_NODE_s* holder, int holder_index, bool reversed) {
    return (holder->flags[holder_index] & (reversed ? PSI_NODE_FLAG_LEAVE_BLANK : PSI_NODE_FLAG_ARRIVE_BLANK)) != 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Zones of sub-segments
// ---------------------------------------------------------------------------

bool PSI_ray_subsegment_holder(PSI_INTXN_NODE_s* node, int index, PSI_INTXN_NODE_s** holder, int* holder_index) {
    if (!node || index < 0 || index > 1) return false;
    if (!(node->flags[index] & PSI_NODE_FLAG_REVERSED)) {
        *holder = node;
        *holder_index = index;
        return true;
    }
    PSI_INTXN_NODE_s* prev = node->pn_along[index];
    if (!prev) return false;
    const int pi = seg_index(prev, node->segs[index]);
    if (pi < 0) return false;
    *holder = prev;
    *holder_index = pi;
    return true;
}

void PSI_ray_set_subsegment_zone(PSI_s* psi, PSI_INTXN_NODE_s* node, int index, BZONE_base_s* zone, bool boundary) {
    if (!psi->allow_extended_info) ERROR_internal(kFile, __LINE__, "Require zones but allow_extended_info flag not set");
    PSI_INTXN_NODE_s* holder;
    int hi;
    if (!PSI_ray_subsegment_holder(node, index, &holder, &hi)) ERROR_internal(kFile, __LINE__, "PSI ray: sub-segment without holder");
    holder->extended[hi] = zone;
    holder->flags[hi] = static_cast<uint16_t>(holder->flags[hi] | PSI_RAY_FLAG_ZONE);
    if (boundary)
        holder->flags[hi] = static_cast<uint16_t>(holder->flags[hi] | PSI_RAY_FLAG_ZONE_BOUNDARY);
    else
        holder->flags[hi] = static_cast<uint16_t>(holder->flags[hi] & ~PSI_RAY_FLAG_ZONE_BOUNDARY);
}

BZONE_s* PSI_ray_subsegment_zone(PSI_s* psi, PSI_INTXN_NODE_s* node, int index, bool left) {
    if (!psi->allow_extended_info) return nullptr;
    return zone_of(node, index, left);
}

namespace {
BZONE_s* zone_of(PSI_INTXN_NODE_s* node, int index, bool left) {
    PSI_INTXN_NODE_s* holder;
    int hi;
    if (!PSI_ray_subsegment_holder(node, index, &holder, &hi)) return nullptr;
    if (!(holder->flags[hi] & PSI_RAY_FLAG_ZONE) || !holder->extended[hi]) return nullptr;
    if (holder->flags[hi] & PSI_RAY_FLAG_ZONE_BOUNDARY) {
        const bool reversed = (node->flags[index] & PSI_NODE_FLAG_REVERSED) != 0;
        if (!subsegment_blanked(holder, hi, reversed)) {
            BZONE_boundary_s* b = static_cast<BZONE_boundary_s*>(holder->extended[hi]);
            return BZONE_live_zone(b->zone[left ? 1 : 0]);
        }
        // A blanked sub-segment separates nothing: both sides are the zone
        // of the material side.
        BZONE_boundary_s* b = static_cast<BZONE_boundary_s*>(holder->extended[hi]);
        return BZONE_live_zone(b->zone[1]);
    }
    return BZONE_live_zone(static_cast<BZONE_s*>(holder->extended[hi]));
}
}  // namespace

// ---------------------------------------------------------------------------
// Slot 32
// ---------------------------------------------------------------------------

void PSI__ray_calc_winding_number(void* object, PSI_INTXN_NODE_s* node, DYNAMIC_ARRAY_s** sets, int set_count,
                                  int use_blanks, bool record, PSI_wn_functor_s* wn) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    std::memset(wn, 0, sizeof *wn);
    wn->callback = &crossing_visitor;
    wn->psi = psi;
    wn->use_blanks = use_blanks;
    wn->record = record;
    wn->node = node;
    // 1. The start sub-segment: segs[0] leaving the node.
    RING_node_s* s = node ? node->segs[0] : nullptr;
    if (!s || !node->pn_along[2]) ERROR_internal(kFile, __LINE__, "PSI ray: start node without a first sub-segment");
    if (!at_grid_point(node)) ERROR_internal(kFile, __LINE__, "PSI ray: start node off the grid");
    wn->point = node->pnt;
    wn->start_segment = s;
    wn->start_forward_arm = 1;
    const uint16_t f = node->flags[0];
    const Arm start{s, true};
    const int heading = heading_at(node->pnt, start);
    int start_winding;
    if (heading == kUp || heading == kDown) {
        // 2. A vertical start line: the ray runs up along it on its right
        // (side 1) or up from its top on its right (side 0).
        wn->vertical = 1;
        wn->side = heading == kUp ? 1 : 0;
        start_winding = ((f & PSI_NODE_FLAG_REVERSED) && !(use_blanks && (f & PSI_NODE_FLAG_LEAVE_BLANK))) ? -1 : 0;
    } else {
        // 3. The side the start sub-segment leaves to; the ray starts on its
        // right: below it when it runs to the right (it is met, moving left
        // to right), above it when it runs to the left.
        wn->vertical = 0;
        wn->side = heading == kRight ? 1 : 0;
        const bool not_reversed = !(f & PSI_NODE_FLAG_REVERSED);
        start_winding = (not_reversed == (wn->side == 1) && !(use_blanks && (f & PSI_NODE_FLAG_LEAVE_BLANK))) ? -1 : 0;
    }
    wn->start_side = wn->side;
    // 4. The start's multiplicity.
    wn->winding = start_winding * segment_weight(s);
    // 5. Recording.
    wn->count = 0;
    if (record && wn->vertical) {
        wn->start_node = node;
        wn->start_forward = node->pn_along[2];
        wn->start_vertical_side = wn->side;
    }
    // 6. The ray through every wrapped poly of every set.
    for (int k = 0; k < set_count; ++k) {
        DYNAMIC_ARRAY_s* set = sets ? sets[k] : nullptr;
        if (!set) continue;
        for (int i = 0; i < set->num_active; ++i)
            cast_through(wn, static_cast<PSI_segment_search_wrapper_s*>(DYNAMIC_ARRAY_element_at(set, i)));
    }
}

// ---------------------------------------------------------------------------
// Slot 34
// ---------------------------------------------------------------------------

void PSI__ray_sort_ray_intxn(void* object, int count, int side, double x) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    if (count < 2) return;
    const RayOrder order{psi, x, side ? 1 : -1};
    PSI_ray_entry_s* e = psi->ray;
    auto less = [&](const PSI_ray_entry_s& u, const PSI_ray_entry_s& v) {
        return order.compare(static_cast<const PSI_ray_crossing_s*>(u.words[0]),
                             static_cast<const PSI_ray_crossing_s*>(v.words[0])) < 0;
    };
    if (count >= 10) {
        std::sort(e, e + count, less);
        return;
    }
    for (int i = 1; i < count; ++i) {
        const PSI_ray_entry_s key = e[i];
        int j = i - 1;
        while (j >= 0 && less(key, e[j])) {
            e[j + 1] = e[j];
            --j;
        }
        e[j + 1] = key;
    }
}

// ---------------------------------------------------------------------------
// Slot 33
// ---------------------------------------------------------------------------

namespace {

struct WalkArm {
    PSI_INTXN_NODE_s* node;
    int arm;
    bool operator==(const WalkArm& o) const { return node == o.node && arm == o.arm; }
};

bool arm_blanked(const WalkArm& a) {
    const uint16_t f = a.node->flags[a.arm & 1];
    return (a.arm & 2) ? (f & PSI_NODE_FLAG_LEAVE_BLANK) != 0 : (f & PSI_NODE_FLAG_ARRIVE_BLANK) != 0;
}

// The next arm clockwise of a in its cycle that is not blanked (a itself when
// every other arm is): the last such arm met going counter-clockwise.
WalkArm clockwise_next(const PSI_s* psi, const WalkArm& a) {
    const long bound = 4L * (psi->nodes->num_active + 1);
    WalkArm best = a;
    WalkArm cur{a.node->next_around[a.arm], a.node->next_around_idx[a.arm]};
    for (long n = 0; !(cur == a); ++n) {
        if (n > bound) ERROR_internal(kFile, __LINE__, "PSI ray: cycle around a point does not close");
        if (!arm_blanked(cur)) best = cur;
        cur = WalkArm{cur.node->next_around[cur.arm], cur.node->next_around_idx[cur.arm]};
    }
    return best;
}

double subsegment_length(const PSI_INTXN_NODE_s* u, const PSI_INTXN_NODE_s* v, RING_node_s* seg) {
    const LINE_ARC_SEG_s* s = seg_piece(seg);
    if (LINE_ARC_SEG_is_line(s)) return std::hypot(v->pnt.x - u->pnt.x, v->pnt.y - u->pnt.y);
    const PNT2_s a = seg_start(seg);
    return LINE_ARC_SEG_sub_arc_length(&u->pnt, &v->pnt, s, &a);
}

}  // namespace

void PSI__ray_trace_outer_boundary(void* object, PSI_segment_search_wrapper_s* wrapper, DYNAMIC_ARRAY_s** sets,
                                   int set_count, double* measures) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    if (!wrapper || wrapper->count == 0 || !wrapper->first_nodes || !wrapper->first_nodes[0]) return;
    // 1. A recording ray from the poly's first node; its highest crossing
    // borders the unbounded face from below.
    PSI_INTXN_NODE_s* first = wrapper->first_nodes[0];
    PSI_wn_functor_s wn;
    PSI__ray_calc_winding_number(psi, first, sets, set_count, 1, true, &wn);
    PSI__ray_sort_ray_intxn(psi, wn.count, wn.side, wn.point.x);
    // 2. The first arm of the walk: along the highest sub-segment in the
    // direction that keeps the unbounded face (above it) on the left, that is
    // toward larger x.
    WalkArm start;
    if (wn.count > 0) {
        const PSI_ray_crossing_s* top = crossing_at(psi, wn.count - 1);
        PSI_INTXN_NODE_s* end = top->node;
        const int ei = top->index;
        if (top->motion < 0) {
            PSI_INTXN_NODE_s* begin = end->pn_along[ei];
            if (!begin) ERROR_internal(kFile, __LINE__, "PSI ray: sub-segment without a start");
            start = WalkArm{begin, 2 + seg_index(begin, top->segment)};
        } else {
            start = WalkArm{end, ei};
        }
    } else if (!wn.vertical && wn.side == 1) {
        // Nothing above: the start sub-segment, which the ray met moving to
        // the right, borders the unbounded face.
        start = WalkArm{first, 2};
    } else {
        // The unbounded face lies on the start sub-segment's right: walk it
        // backward.
        PSI_INTXN_NODE_s* end = first->pn_along[2];
        start = WalkArm{end, seg_index(end, first->segs[0])};
    }
    // 3. Walk the face boundary with the face on the left: at each node leave
    // along the next arm clockwise of the arriving one.  Every sub-segment is
    // walked at most once in each direction.
    //
    //    A sub-segment followed at once by one of another segment that
    //    retraces it back to where it began is a zero-width spike of the face
    //    (a shared edge, or a chain running back along itself): both sides of
    //    it border the unbounded face, so it tells nothing of the orientation
    //    and neither step is counted.  A spike across the walk's start is
    //    found when the walk closes.
    const long bound = 8L * (psi->nodes->num_active + 1);
    struct Step {
        const PSI_INTXN_NODE_s* from;
        const PSI_INTXN_NODE_s* to;
        const RING_node_s* seg;
        int measure;
        double length;
    };
    auto is_spike = [](const Step& a, const Step& b) {
        return a.seg != b.seg && a.from->pnt.x == b.to->pnt.x && a.from->pnt.y == b.to->pnt.y &&
               a.to->pnt.x == b.from->pnt.x && a.to->pnt.y == b.from->pnt.y &&
               PSI_walks_back_along(a.seg, a.measure == 1, b.seg, b.measure == 1);
    };
    Step first_step{}, last{};
    bool have_first = false, last_counted = false, first_counted = false;
    WalkArm cur = start;
    for (long steps = 0;; ++steps) {
        if (steps > bound) ERROR_internal(kFile, __LINE__, "PSI ray: outer boundary does not close");
        PSI_INTXN_NODE_s* u = cur.node;
        RING_node_s* seg = u->segs[cur.arm & 1];
        PSI_INTXN_NODE_s* v = u->pn_along[cur.arm];
        if (!seg || !v) ERROR_internal(kFile, __LINE__, "PSI ray: walk left the network");
        const int vi = seg_index(v, seg);
        if (vi < 0) ERROR_internal(kFile, __LINE__, "PSI ray: segment lost along its nodes");
        const bool along = (cur.arm & 2) != 0;
        const Step step{u, v, seg, along ? 1 : 0, subsegment_length(u, v, seg)};
        if (have_first && last_counted && is_spike(last, step)) {
            measures[last.measure] -= last.length;
            last_counted = false;
            if (steps == 1) first_counted = false;
        } else {
            measures[step.measure] += step.length;
            last_counted = true;
            if (!have_first) first_counted = true;
        }
        if (!have_first) {
            first_step = step;
            have_first = true;
        }
        last = step;
        // The sub-segment's marks live at its end in the segment's direction.
        if (along)
            v->flags[vi] = static_cast<uint16_t>(v->flags[vi] | PSI_NODE_FLAG_INSIDE);
        else
            u->flags[cur.arm & 1] = static_cast<uint16_t>(u->flags[cur.arm & 1] | PSI_NODE_FLAG_INSIDE);
        const WalkArm back{v, along ? vi : 2 + vi};
        cur = clockwise_next(psi, back);
        if (cur == start) break;
    }
    if (last_counted && first_counted && (last.from != first_step.from || last.seg != first_step.seg) &&
        is_spike(last, first_step)) {
        measures[last.measure] -= last.length;
        measures[first_step.measure] -= first_step.length;
    }
}

// ---------------------------------------------------------------------------
// Slots 35 and 36
// ---------------------------------------------------------------------------

namespace {

// Whether the sub-segment of a delayed merge has its zone now.
bool delayed_zoned(const PSI_ray_delayed_zone_merge_node_s* d) {
    PSI_INTXN_NODE_s* holder;
    int hi;
    return PSI_ray_subsegment_holder(d->node, d->segment_index, &holder, &hi) &&
           (holder->flags[hi] & PSI_RAY_FLAG_ZONE) && holder->extended[hi];
}

void free_delayed(PSI_ray_delayed_zone_merge_node_s* d) {
    if (d->above) CMEM_private_delete_object(d->above);
    CMEM_private_delete_object(d);
}

// Walks up the crossings c[0..n) from the face below the first one, whose
// zone is z: the face below each crossing is the face above the one before,
// so its zones are one.  A crossing whose sub-segment has no zone yet ends
// the walk with a delayed merge at the head of the list, which keeps the
// crossings above it.  Above the last crossing lies the unbounded face: its
// zone is the map's zone at infinity.  Returns the number of crossings the
// walk reached (the one it ended at included).
int walk_up(PSI_s* psi, const PSI_ray_kept_crossing_s* c, int n, BZONE_s* z, BZONE_map_s* map,
            PSI_ray_delayed_zone_merge_node_s** delayed) {
    for (int k = 0; k < n; ++k) {
        BZONE_s* near = PSI_ray_subsegment_zone(psi, c[k].node, c[k].index, c[k].near_left != 0);
        if (!near) {
            auto* d = CMEM_NEW(psi->pool, PSI_ray_delayed_zone_merge_node_s);
            d->zone = z;
            d->node = c[k].node;
            d->segment_index = c[k].index;
            d->side = c[k].near_left;
            d->above_count = n - k - 1;
            d->above = d->above_count > 0 ? CMEM_NEW_ARRAY(psi->pool, PSI_ray_kept_crossing_s, d->above_count)
                                           : nullptr;
            for (int j = 0; j < d->above_count; ++j) d->above[j] = c[k + 1 + j];
            d->next = delayed ? *delayed : nullptr;
            if (delayed) *delayed = d;
            return k + 1;
        }
        if (BZONE_live_zone(near) != BZONE_live_zone(z)) z = BZONE_merge_zones(near, z);
        z = PSI_ray_subsegment_zone(psi, c[k].node, c[k].index, c[k].near_left == 0);
        if (!z) return k + 1;
    }
    if (!map) return n;
    if (!map->first_zone)
        map->first_zone = BZONE_live_zone(z);
    else if (BZONE_live_zone(map->first_zone) != BZONE_live_zone(z))
        map->first_zone = BZONE_merge_zones(map->first_zone, z);
    return n;
}

// One pass over the delayed merges: each one whose sub-segment has its zone
// now is done and leaves the list; with resume, its ray's walk goes on from
// the face above that sub-segment over the kept crossings (new delayed
// merges go to the head of the list).  Whether any merge was done.
bool delayed_pass(PSI_s* psi, PSI_ray_delayed_zone_merge_node_s** delayed, BZONE_map_s* map, bool resume) {
    bool done = false;
    PSI_ray_delayed_zone_merge_node_s** link = delayed;
    while (*link) {
        PSI_ray_delayed_zone_merge_node_s* d = *link;
        if (!delayed_zoned(d)) {
            link = &d->next;
            continue;
        }
        *link = d->next;
        done = true;
        BZONE_s* y = zone_of(d->node, d->segment_index, d->side != 0);
        if (y) BZONE_merge_zones(y, d->zone);
        if (resume) {
            BZONE_s* above = zone_of(d->node, d->segment_index, d->side == 0);
            if (above) walk_up(psi, d->above, d->above_count, above, map, delayed);
        }
        free_delayed(d);
    }
    return done;
}

// Slot 35 after its delayed merges: the crossings in order, the first face
// of the walk (start_zone, or the start sub-segment's zone on the side just
// above the start point) and the walk up.
void merge_up_from(PSI_s* psi, PSI_wn_functor_s* wn, int winding, BZONE_s* start_zone, BZONE_map_s* map,
                   PSI_ray_delayed_zone_merge_node_s** delayed) {
    PSI__ray_sort_ray_intxn(psi, wn->count, wn->side, wn->point.x);
    // The first face of the walk: the face just above the start point on
    // the ray's side: on the left of a start line that runs to the right, on
    // the right of one that runs to the left or vertically.
    BZONE_s* z = start_zone;
    int level = winding;
    {
        PSI_INTXN_NODE_s* start = wn->node;
        PSI_INTXN_NODE_s* end = start ? start->pn_along[2] : nullptr;
        if (end) {
            const int ei = seg_index(end, start->segs[0]);
            const bool reversed = (end->flags[ei] & PSI_NODE_FLAG_REVERSED) != 0;
            const bool left_of_segment = !wn->vertical && wn->side == 1;
            if (!z) z = PSI_ray_subsegment_zone(psi, end, ei, left_of_segment != reversed);
            // The level `winding` is that of the face on the right of the
            // start's working direction; the face above the start differs
            // from it by the start's own contribution, which is what the
            // recorded crossings do not account for.
            int recorded = 0;
            for (int k = 0; k < wn->count; ++k) recorded += crossing_at(psi, k)->weight;
            level -= wn->winding - recorded;
        }
    }
    if (!z) return;
    // Up the ray.  The caller's word of each entry the walk reaches gets the
    // level above the crossing.
    std::vector<PSI_ray_kept_crossing_s> up(static_cast<size_t>(wn->count));
    for (int k = 0; k < wn->count; ++k) {
        const PSI_ray_crossing_s* c = crossing_at(psi, k);
        const bool reversed = (c->node->flags[c->index] & PSI_NODE_FLAG_REVERSED) != 0;
        // The working direction moves right to left: its left side is below.
        const int working_motion = reversed ? -c->motion : c->motion;
        up[static_cast<size_t>(k)] = PSI_ray_kept_crossing_s{c->node, c->index, working_motion > 0 ? 1 : 0};
    }
    const int reached = walk_up(psi, up.data(), wn->count, z, map, delayed);
    for (int k = 0; k < reached; ++k) {
        level -= crossing_at(psi, k)->weight;
        PSI_ray_set_entry_word(psi, k, level);
    }
}

}  // namespace

void PSI__ray_do_delayed_region_merges(PSI_ray_delayed_zone_merge_node_s** delayed) {
    if (delayed) delayed_pass(nullptr, delayed, nullptr, false);
}

void PSI_ray_resume_delayed_region_merges(PSI_s* psi, PSI_ray_delayed_zone_merge_node_s** delayed, BZONE_map_s* map) {
    if (!delayed) return;
    // Each merge done gives at most one new delayed merge, with fewer kept
    // crossings: the passes end.
    while (delayed_pass(psi, delayed, map, true)) {
    }
}

void PSI__ray_merge_region_up_ray(void* object, PSI_wn_functor_s* wn, int winding, BZONE_map_s* map,
                                  PSI_ray_delayed_zone_merge_node_s** delayed) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    // Delayed merges that can be done now, then the walk up from the start
    // sub-segment's zone.
    PSI__ray_do_delayed_region_merges(delayed);
    merge_up_from(psi, wn, winding, nullptr, map, delayed);
}

void PSI_ray_merge_region_up_ray_from(PSI_s* psi, PSI_wn_functor_s* wn, int winding, BZONE_s* start_zone,
                                      BZONE_map_s* map, PSI_ray_delayed_zone_merge_node_s** delayed) {
    merge_up_from(psi, wn, winding, start_zone, map, delayed);
}
