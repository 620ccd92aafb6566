// Offsets of poly-segments: the raw offset of polys, sets and sets of sets
// with their corner pieces, the small offset, and the source references of
// offset pieces.
#include <merrow1/chain_types.h>
#include <merrow1/poly_seg_offset.h>

#include "internal/vec2.h"
#include "polyset/poly_seg_internal.h"

#include <quorn/quorn.h>
#include <velte/cerr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using namespace merrow1::poly_seg;

namespace {

using merrow1::kPi;
// Arcs of the joins sweeping more than this are made in two halves.  A piece's
// arc parameter is h = 0.5 / tan(sweep / 2), which changes sign at a half
// circle, and near it |h| is so small that the arc's sense would rest on
// rounding: the sweep, a difference of two atan2 values, lands a few ulps
// either side of pi for a true half circle.  The relative margin of 1e-9 lies
// far above that rounding, so every half circle is split.
const double kHalfCircleSplit = kPi * (1 - 1e-9);
// Squared cosines of 0.1 and 5 degrees: tangents agree (or are opposite)
// within those angles when their squared cosine is at least this.
const double kCos2Tenth = std::cos(0.1 * kPi / 180) * std::cos(0.1 * kPi / 180);
const double kCos2Five = std::cos(5.0 * kPi / 180) * std::cos(5.0 * kPi / 180);
// A tangent of squared length not above this cannot be formed.
const double kTinyTangent2 = 1e-20;
// Two lines are parallel when their cross product is below this fraction of
// their dot product.
const double kParallel = 1e-8;
// A corner circle's arcs span 120 degrees: |h| = 0.5 / tan(60 degrees).
const double kThirdCircleH = 0.5 / std::sqrt(3.0);

PNT2_s add(const PNT2_s& a, const PNT2_s& b) { return {a.x + b.x, a.y + b.y}; }
PNT2_s sub(const PNT2_s& a, const PNT2_s& b) { return {a.x - b.x, a.y - b.y}; }
PNT2_s mul(const PNT2_s& a, double k) { return {a.x * k, a.y * k}; }
using merrow1::cross;
using merrow1::dot;
double dist(const PNT2_s& a, const PNT2_s& b) { return std::hypot(a.x - b.x, a.y - b.y); }
PNT2_s unit(const PNT2_s& a) {
    const double l = std::hypot(a.x, a.y);
    return l > 0 ? PNT2_s{a.x / l, a.y / l} : PNT2_s{0, 0};
}
// The right-hand normal of a unit tangent: the side a positive offset moves to.
PNT2_s right_of(const PNT2_s& t) { return {t.y, -t.x}; }

bool same_point(const PNT2_s& a, const PNT2_s& b) { return a.x == b.x && a.y == b.y; }

// The offset of one piece.
struct Piece {
    RING_node_s* node = nullptr;
    PNT2_s s{0, 0}, e{0, 0};   // source start and end
    PNT2_s t_in{0, 0};         // unit source tangent at the start
    PNT2_s t_out{0, 0};        // unit source tangent at the end
    double d = 0;              // offset
    bool arc = false;
    bool reversed = false;     // an arc that shrank through zero radius
    bool collapsed = false;    // an arc shrunk to (about) zero radius
    PNT2_s centre{0, 0};
    LINE_ARC_SEG_s moved{};    // the moved piece, from ms
    PNT2_s ms{0, 0}, me{0, 0}; // moved start and end
    PNT2_s fs{0, 0}, fe{0, 0}; // final start and end after the corners

    // Unit tangents of the moved piece (opposite to the source's on a reversed arc).
    PNT2_s moved_in() const { return reversed ? mul(t_in, -1) : t_in; }
    PNT2_s moved_out() const { return reversed ? mul(t_out, -1) : t_out; }
};

// Pieces joining the end of one moved piece to the start of the next, in
// order.  `cur` is where the sequence has got to; a step shorter than the
// length tolerance is not made: the end of whatever came last is moved onto
// the step's target instead, so no zero-length piece is ever made.
struct Join {
    CMEM_pool_s* pool;
    double tol;
    PNT2_s* owner_end;  // end point of the last piece so far (the earlier piece's final end at first)
    PNT2_s cur;
    std::vector<LINE_ARC_SEG_s*> pieces;

    void snap(const PNT2_s& to) {
        if (pieces.empty()) {
            *owner_end = to;
        } else {
            pieces.back()->x = to.x;
            pieces.back()->y = to.y;
        }
        cur = to;
    }
    void push(LINE_ARC_SEG_s* rec, uint32_t flags) {
        rec->flags = flags;
        pieces.push_back(rec);
        cur = {rec->x, rec->y};
    }
    void line(const PNT2_s& to, uint32_t flags) {
        if (dist(cur, to) <= tol) {
            snap(to);
            return;
        }
        push(LINE_ARC_SEG_create_line(pool, &to), flags);
    }
    // The arc about `centre` from the current point to `to` (both about
    // `radius` from the centre), counter-clockwise when ccw.  An arc of more
    // than a half circle, or one asked to be split, goes in two halves through
    // its angular middle.
    void arc_about(const PNT2_s& centre, const PNT2_s& to, double radius, bool ccw, bool split, uint32_t flags) {
        if (dist(cur, to) <= tol && !split) {
            snap(to);
            return;
        }
        const double a = std::atan2(cur.y - centre.y, cur.x - centre.x);
        const double b = std::atan2(to.y - centre.y, to.x - centre.x);
        double sweep = ccw ? b - a : a - b;
        while (sweep < 0) sweep += 2 * kPi;
        while (sweep >= 2 * kPi) sweep -= 2 * kPi;
        if (radius * sweep <= tol) {
            snap(to);
            return;
        }
        if (split || sweep > kHalfCircleSplit) {
            const double m = a + (ccw ? sweep / 2 : -sweep / 2);
            const PNT2_s mid = {centre.x + radius * std::cos(m), centre.y + radius * std::sin(m)};
            one_arc(mid, sweep / 2, ccw, flags);
            one_arc(to, sweep / 2, ccw, flags);
        } else {
            one_arc(to, sweep, ccw, flags);
        }
    }
    void one_arc(const PNT2_s& to, double sweep, bool ccw, uint32_t flags) {
        // sweep = 2 atan2(1/2, |h|): |h| = 1 / (2 tan(sweep / 2)).
        const double h = 0.5 / std::tan(sweep / 2);
        const PNT2_s from = cur;
        push(LINE_ARC_SEG_create(pool, &from, &to, ccw ? h : -h), flags);
    }
    // The full circle of radius |d| about p + d n through p: three arcs of
    // 120 degrees, turning with the sign of d, each flagged 0x1000.
    void circle(const PNT2_s& p, double d, const PNT2_s& n, const PNT2_s& t) {
        if (std::fabs(d) <= tol) return;
        line(p, POLY_SEG_FLAG_OFFSET_CORNER_PIECE);
        const PNT2_s q1 = add(p, add(mul(n, 1.5 * d), mul(t, std::sqrt(3.0) / 2 * d)));
        const PNT2_s q2 = add(p, sub(mul(n, 1.5 * d), mul(t, std::sqrt(3.0) / 2 * d)));
        // q1 then q2 runs clockwise about the centre; a positive offset's
        // circle runs counter-clockwise, so it meets q2 first.
        const PNT2_s first = d > 0 ? q2 : q1, second = d > 0 ? q1 : q2;
        const double h = d > 0 ? kThirdCircleH : -kThirdCircleH;
        for (const PNT2_s& to : {first, second, p}) {
            const PNT2_s from = cur;
            push(LINE_ARC_SEG_create(pool, &from, &to, h), POLY_SEG_FLAG_OFFSET_CORNER_PIECE);
        }
    }
};

uint32_t connector_flags(double d) {
    return d >= 0 ? (POLY_SEG_FLAG_OFFSET_CORNER_1 | POLY_SEG_FLAG_DUMMY)
                  : (POLY_SEG_FLAG_OFFSET_CORNER_2 | POLY_SEG_FLAG_DUMMY);
}

bool turn_matches(double turn, double d) { return d > 0 ? turn > 0 : turn < 0; }

// The step between different offsets at vertex p (see the header).
void change_corner(Join& j, const PNT2_s& p, double d1, double d2, const PNT2_s& t1, const PNT2_s& t2,
                   const PNT2_s& next_start, bool circle) {
    const bool step_out = std::fabs(d2) > std::fabs(d1);
    const double big = step_out ? d2 : d1, small = step_out ? d1 : d2;
    const PNT2_s n1 = right_of(t1), n2 = right_of(t2);
    const PNT2_s ns = step_out ? n2 : n1, ts = step_out ? t2 : t1;
    const double turn = cross(t1, t2);
    if (circle && !turn_matches(turn, big)) {
        // Through the vertex, with the corner circle of the larger offset.
        uint32_t flags = connector_flags(big);
        if (std::fabs(d2) >= std::fabs(d1)) flags |= POLY_SEG_FLAG_OFFSET_CORNER_PIECE;
        j.line(p, flags);
        j.circle(p, big, ns, ts);
        j.line(next_start, flags);
        return;
    }
    // The corner at the smaller offset about p, then the radial step along
    // the normal of the piece with the larger offset (before it when that is
    // the earlier piece).
    auto corner = [&](const PNT2_s& to) {
        const double dt = dot(t1, t2);
        const bool agree = dt > 0 && dt * dt >= kCos2Tenth;
        if (std::fabs(small) <= j.tol || agree) {
            j.line(to, 0);
        } else if (turn_matches(turn, small)) {
            j.arc_about(p, to, std::fabs(small), small > 0, false, 0);
        } else {
            j.line(p, connector_flags(small));
            j.line(to, connector_flags(small));
        }
    };
    if (step_out) {
        corner(add(p, mul(n2, d1)));
        j.line(next_start, POLY_SEG_FLAG_OFFSET_CORNER_PIECE);
    } else {
        j.line(add(p, mul(n1, d2)), POLY_SEG_FLAG_OFFSET_CORNER_PIECE);
        corner(next_start);
    }
}

struct Offsetter {
    RING_header_s* poly;
    RING_header_s* set;
    POLY_SEG_header_s* header;
    POLY_SEG_corner_type_cb_t corner_cb;
    void* corner_data;
    double tol;
    std::vector<Piece> pieces;

    bool tangent_extension(const Piece& a) const {
        if (corner_cb) return corner_cb(set, poly, a.node, corner_data) == POLY_SEG_CORNER_OFFSET_TAN_EXT;
        return header->do_tan_corner_ext;
    }

    // Both moved pieces extended along their tangents to where they meet;
    // when they meet too far out (or never), each is extended by |d| and the
    // two extensions are joined.
    void line_line(Join& j, Piece& a, Piece& b, double d, uint32_t mark_node) {
        const PNT2_s u1 = a.moved_out(), u2 = b.moved_in();
        const double c = cross(u1, u2), dt = dot(u1, u2);
        const double reach = std::fabs(d);
        seg_of(a.node)->flags |= mark_node;
        if (std::fabs(c) >= kParallel * std::fabs(dt) && c != 0) {
            const double s = cross(sub(b.ms, a.me), u2) / c;
            const double u = cross(sub(b.ms, a.me), u1) / c;
            const PNT2_s x = add(a.me, mul(u1, s));
            const bool far = dt < 0 && dist(x, a.e) > std::sqrt(3.0) * reach;
            if (s >= 0 && u <= 0 && !far) {
                j.line(x, 0);
                j.line(b.ms, 0);
                return;
            }
        } else if (dt > 0) {
            j.line(b.ms, 0);
            return;
        }
        j.line(add(a.me, mul(u1, reach)), 0);
        j.line(sub(b.ms, mul(u2, reach)), 0);
        j.line(b.ms, 0);
    }

    // Tangent extension where the offsets differ.
    void tangent_change(Join& j, Piece& a, Piece& b) {
        const double d1 = a.d, d2 = b.d;
        const PNT2_s t1 = a.t_out, t2 = b.t_in;
        const PNT2_s p = a.e;
        if (!(d1 > 0 && d2 > 0) && !(d1 < 0 && d2 < 0)) {
            const double big = std::fabs(d2) > std::fabs(d1) ? d2 : d1;
            j.line(p, connector_flags(big));
            j.line(b.ms, connector_flags(big));
            return;
        }
        const double dt = dot(t1, t2);
        if (dt > 0 && dt * dt >= kCos2Tenth) {
            j.line(b.ms, POLY_SEG_FLAG_OFFSET_CORNER_PIECE);
            return;
        }
        if (turn_matches(cross(t1, t2), d1)) {
            line_line(j, a, b, std::max(std::fabs(d1), std::fabs(d2)), POLY_SEG_FLAG_TAN_EXT_1);
            return;
        }
        // Against the turn the piece with the larger offset lies beyond the
        // other's moved end: the earlier piece is extended forward (or the
        // later one backward) along its tangent, by at most 2 |d1 - d2|, to
        // where it meets the other moved piece, which is cut there.  When it
        // does not meet it, the join runs through the vertex.
        const double reach = 2 * std::fabs(d1 - d2);
        const uint32_t flags = connector_flags(d1);
        PNT2_s pts[2];
        if (std::fabs(d1) > std::fabs(d2)) {
            const PNT2_s u = a.moved_out();
            seg_of(a.node)->flags |= POLY_SEG_FLAG_TAN_EXT_1;
            const int n = LINE_ARC_SEG_approx_intxn_with_line(&b.ms, &b.moved, &a.me, &u, tol, pts);
            for (int i = 0; i < n; ++i) {
                const double s = dot(sub(pts[i], a.me), u);
                if (s > 0 && s <= reach && !same_point(pts[i], b.me)) {
                    j.line(pts[i], 0);
                    b.fs = pts[i];
                    return;
                }
            }
            j.line(add(a.me, mul(u, reach)), 0);
            j.line(p, flags);
            j.line(b.ms, flags);
        } else {
            const PNT2_s u = mul(b.moved_in(), -1);
            seg_of(a.node)->flags |= POLY_SEG_FLAG_TAN_EXT_2;
            const int n = LINE_ARC_SEG_approx_intxn_with_line(&a.ms, &a.moved, &b.ms, &u, tol, pts);
            for (int i = 0; i < n; ++i) {
                const double s = dot(sub(pts[i], b.ms), u);
                if (s > 0 && s <= reach && !same_point(pts[i], a.ms)) {
                    j.snap(pts[i]);
                    j.line(b.ms, 0);
                    return;
                }
            }
            j.line(p, flags);
            j.line(add(b.ms, mul(u, reach)), 0);
            j.line(b.ms, 0);
        }
    }

    // The pieces joining a to b at their common source vertex.
    void join(Join& j, Piece& a, Piece& b, bool closing) {
        const double d1 = a.d, d2 = b.d;
        const PNT2_s t1 = a.t_out, t2 = b.t_in;
        const PNT2_s p = a.e;
        const bool ext = tangent_extension(a);
        const bool differ = std::fabs(d1 - d2) > tol || (ext && ((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)));
        // A turn back along the piece (at the closing vertex too): the sign
        // of the turn says nothing there, and the round corner is the half
        // circle about the vertex from one side of the piece to the other.
        const double back = dot(t1, t2);
        if (!differ && !ext && back < 0 && back * back >= kCos2Five && std::fabs(d1) > tol &&
            dist(a.me, b.ms) > tol) {
            const double d = (d1 + d2) / 2;
            j.arc_about(p, b.ms, std::fabs(d), d > 0, true, 0);
            return;
        }
        // The closing vertex in the middle of a straight run is no corner:
        // it gets no corner circle.
        if (closing && !differ && !ext && back > 0 && back * back >= kCos2Tenth) {
            j.line(b.ms, 0);
            return;
        }
        if (differ || (closing && !ext)) {
            if (ext)
                tangent_change(j, a, b);
            else
                change_corner(j, p, d1, d2, t1, t2, b.ms, closing || !header->no_circle);
            return;
        }
        const double d = (d1 + d2) / 2;
        const double dt = dot(t1, t2), turn = cross(t1, t2);
        bool need, near_reversal = false;
        if (dt > 0) {
            need = header->skip_max_offset || dt * dt < kCos2Tenth;
        } else {
            need = true;
            near_reversal = dt * dt >= (ext ? kCos2Tenth : kCos2Five);
        }
        // An offset of about zero leaves nothing to fill: no corner piece of
        // zero radius.
        if (std::fabs(d) <= tol || dist(a.me, b.ms) <= tol) need = false;
        if (!need) {
            j.line(b.ms, 0);
            return;
        }
        if (!near_reversal && !turn_matches(turn, d)) {
            j.line(p, connector_flags(d));
            // e. The closing vertex also gets the corner circle, hung on the
            //    join where it passes through the vertex.
            if (closing) j.circle(p, d, right_of(t1), t1);
            j.line(b.ms, connector_flags(d));
        } else if (!ext) {
            j.arc_about(p, b.ms, std::fabs(d), d > 0, near_reversal, 0);
        } else {
            line_line(j, a, b, d, POLY_SEG_FLAG_TAN_EXT_1);
        }
    }
};

double offset_of(RING_header_s* poly, RING_header_s* set, RING_node_s* node, POLY_SEG_piece_offset_cb_t cb,
                 void* data, double header_offset) {
    return cb ? cb(set ? set : poly, poly, node, data) : header_offset;
}

// Source start of each node's piece (the open poly's first node has none).
PNT2_s start_of(const std::vector<RING_node_s*>& nodes, size_t i) {
    return end_of(nodes[i == 0 ? nodes.size() - 1 : i - 1]);
}

bool tangents_of(const RING_node_s* node, const PNT2_s& start, PNT2_s* t_in, PNT2_s* t_out) {
    PNT2_s a, b;
    LINE_ARC_SEG_tangents(seg_of(node), &start, &a, &b);
    if (dot(a, a) <= kTinyTangent2 || dot(b, b) <= kTinyTangent2) return false;
    *t_in = unit(a);
    *t_out = unit(b);
    return true;
}

// Removes the pieces that have no tangents (from the second node on an open
// poly), walking on while more than `keep` nodes are left.
void drop_pieces_without_tangents(RING_header_s* poly, std::vector<RING_node_s*>& nodes, bool closed, size_t keep) {
    for (size_t i = closed ? 0 : 1; i < nodes.size() && nodes.size() > keep;) {
        PNT2_s a, b;
        if (!tangents_of(nodes[i], start_of(nodes, i), &a, &b)) {
            RING_delete_node(poly, nodes[i]);
            nodes.erase(nodes.begin() + static_cast<long>(i));
        } else {
            ++i;
        }
    }
}

template <class Fn>
void for_each_poly_of_set(RING_header_s* set, Fn&& fn) {
    for (RING_node_s* n : nodes_of(set)) {
        RING_header_s* sub = RING_ask_node_subring(n);
        if (sub && is_poly_ring(sub)) fn(sub);
    }
}

}  // namespace

RING_node_s* POLY_SEG__offset_change_corner(RING_header_s* poly, RING_node_s* node, const PNT2_s* vertex,
                                            double d1, double d2, const PNT2_s* end, const PNT2_s* next_start,
                                            const PNT2_s* t1, const PNT2_s* t2, POLY_SEG_copy_cb_t copy_cb,
                                            bool circle) {
    if (!poly || !node || !vertex || !end || !next_start || !t1 || !t2) return node;
    LINE_ARC_SEG_s* s = seg_of(node);
    PNT2_s owner = *end;
    Join j{poly->pool, EQ_ask_length_tolerance(), &owner, *end, {}};
    change_corner(j, *vertex, d1, d2, unit(*t1), unit(*t2), *next_start, circle);
    s->x = owner.x;
    s->y = owner.y;
    bool handled = true;
    RING_node_s* last = node;
    PNT2_s start = owner;
    for (LINE_ARC_SEG_s* rec : j.pieces) {
        LINE_ARC_SEG_set_centre(rec, &start);
        last = RING_insert_after(poly, last, rec);
        if (copy_cb) copy_cb(poly, nullptr, last, &handled, nullptr);
        start = {rec->x, rec->y};
    }
    return last;
}

bool POLY_SEG_offset(RING_header_s* poly, RING_header_s* set, POLY_SEG_copy_cb_t copy_cb,
                     POLY_SEG_piece_offset_cb_t offset_cb, void* offset_data, POLY_SEG_corner_type_cb_t corner_cb,
                     void* corner_data, bool closing) {
    POLY_SEG_header_s* header = POLY_SEG_ask_header(poly);
    if (!header) return false;
    const double tol = EQ_ask_length_tolerance();
    // 1. Nothing to move.  Per-piece offsets are always asked for.
    if (std::fabs(header->offset) <= tol && !copy_cb && !offset_cb) {
        header->offset = 0;
        return false;
    }
    if (!poly->first) return false;
    const bool closed = POLY_SEG_is_closed(poly);

    // 2. The pieces that have tangents; the others are removed.
    std::vector<RING_node_s*> nodes = nodes_of(poly);
    drop_pieces_without_tangents(poly, nodes, closed, 0);
    const size_t first = closed ? 0 : 1;
    if (nodes.size() <= first) {
        header->offset = 0;
        return true;
    }

    RING_node_s* head = closed ? nullptr : nodes.front();
    // The keys of the offset's node data.
    const bool keys = copy_cb || offset_cb || corner_cb || header->no_circle || header->do_tan_corner_ext;
    if (keys) {
        RING_set_app_data_key(poly, POLY_SEG_KEY_TAN_EXT, POLY_SEG_destroy_app_data_cb);
        RING_set_app_data_key(poly, POLY_SEG_KEY_POINT, POLY_SEG_destroy_app_data_cb);
    }

    // 3. Every piece moved sideways by its offset.
    Offsetter o{poly, set, header, corner_cb, corner_data, tol, {}};
    for (size_t i = first; i < nodes.size(); ++i) {
        Piece pc;
        pc.node = nodes[i];
        pc.s = start_of(nodes, i);
        pc.e = end_of(nodes[i]);
        tangents_of(nodes[i], pc.s, &pc.t_in, &pc.t_out);
        pc.d = offset_of(poly, set, nodes[i], offset_cb, offset_data, header->offset);
        const LINE_ARC_SEG_s* src = seg_of(nodes[i]);
        // A line record ends before the centre vector.
        std::memcpy(&pc.moved, src,
                    LINE_ARC_SEG_is_arc(src) ? LINE_ARC_SEG_ARC_RECORD_SIZE : LINE_ARC_SEG_LINE_RECORD_SIZE);
        pc.ms = add(pc.s, mul(right_of(pc.t_in), pc.d));
        pc.me = add(pc.e, mul(right_of(pc.t_out), pc.d));
        if (LINE_ARC_SEG_is_arc(src)) {
            pc.arc = true;
            double r;
            LINE_ARC_SEG_calc_arc_data(src, &pc.s, &pc.centre, &r, nullptr);
            // The right-hand side is outward on a counter-clockwise arc.
            const double r_new = src->h >= 0 ? r + pc.d : r - pc.d;
            pc.reversed = r_new < 0;
            pc.collapsed = std::fabs(r_new) <= tol;
            if (pc.collapsed) pc.ms = pc.me = pc.centre;
            pc.moved.cx = pc.centre.x - pc.ms.x;
            pc.moved.cy = pc.centre.y - pc.ms.y;
        }
        pc.moved.x = pc.me.x;
        pc.moved.y = pc.me.y;
        pc.fs = pc.ms;
        pc.fe = pc.me;
        o.pieces.push_back(pc);
    }

    // 4. The corners: the joins of piece k to piece k + 1.  The closing
    //    vertex is where a closed poly's walk returns to its start.
    const size_t m = o.pieces.size();
    const size_t vertices = closed ? m : m - 1;
    const bool closing_asked = closing && !header->there_and_back;
    std::vector<std::vector<LINE_ARC_SEG_s*>> joins(m);
    for (size_t k = 0; k < vertices; ++k) {
        Piece& a = o.pieces[k];
        Piece& b = o.pieces[(k + 1) % m];
        Join j{poly->pool, tol, &a.fe, a.fe, {}};
        o.join(j, a, b, closed && closing_asked && k == m - 1);
        // The join ends where b starts.
        j.line(b.fs, 0);
        joins[k] = j.pieces;
    }

    // 5, 6. Final geometry.  The order of pieces: each moved piece followed by
    //    its join; a collapsed arc gives way to the point it shrank to.
    struct Item {
        int piece;             // index into o.pieces, or -1
        LINE_ARC_SEG_s* rec;   // an inserted piece
    };
    std::vector<Item> items;
    for (size_t k = 0; k < m; ++k) {
        items.push_back({static_cast<int>(k), nullptr});
        for (LINE_ARC_SEG_s* rec : joins[k]) items.push_back({-1, rec});
    }
    auto end_ref = [&](const Item& it) -> PNT2_s {
        return it.piece >= 0 ? o.pieces[it.piece].fe : PNT2_s{it.rec->x, it.rec->y};
    };
    // Collapsed arcs: the item before takes the point.
    for (size_t i = 0; i < items.size();) {
        if (items[i].piece >= 0 && o.pieces[items[i].piece].collapsed && items.size() > 1) {
            const Piece& c = o.pieces[items[i].piece];
            const size_t before = i == 0 ? items.size() - 1 : i - 1;
            if (closed || i > 0) {
                Item& it = items[before];
                if (it.piece >= 0)
                    o.pieces[it.piece].fe = c.fe;
                else {
                    it.rec->x = c.fe.x;
                    it.rec->y = c.fe.y;
                }
            }
            RING_delete_node(poly, c.node);
            items.erase(items.begin() + static_cast<long>(i));
        } else {
            ++i;
        }
    }
    if (items.empty()) {
        header->offset = 0;
        return true;
    }
    // The open poly's first point is the first piece's final start.
    if (head) {
        const PNT2_s s0 = items.front().piece >= 0 ? o.pieces[items.front().piece].fs : o.pieces.front().fs;
        seg_of(head)->x = s0.x;
        seg_of(head)->y = s0.y;
    }
    PNT2_s start = closed ? end_ref(items.back()) : end_of(head);
    for (Item& it : items) {
        if (it.piece >= 0) {
            Piece& pc = o.pieces[it.piece];
            LINE_ARC_SEG_s* s = seg_of(pc.node);
            const uint32_t flags = s->flags;
            if (pc.arc) {
                const PNT2_s fs = start, fe = pc.fe;
                if (same_point(fs, pc.ms) && same_point(fe, pc.me)) {
                    *s = pc.moved;
                } else {
                    double h;
                    PNT2_s c;
                    LINE_ARC_SEG__calc_sub_arc_from_centre(&pc.ms, &pc.moved, &fs, &fe, 0, &h, &c);
                    *s = pc.moved;
                    s->h = h;
                    s->cx = c.x;
                    s->cy = c.y;
                }
                s->x = fe.x;
                s->y = fe.y;
                s->flags = flags;
                if (pc.reversed) {
                    // An arc that shrank through zero radius runs against its source.
                    s->flags |= pc.d >= 0 ? (POLY_SEG_FLAG_OFFSET_CORNER_1 | POLY_SEG_FLAG_DUMMY)
                                          : (POLY_SEG_FLAG_OFFSET_CORNER_2 | POLY_SEG_FLAG_DUMMY);
                    if (keys) POLY_SEG_set_point_data(pc.node, {pc.centre.x, pc.centre.y}, poly->pool);
                }
            } else {
                s->x = pc.fe.x;
                s->y = pc.fe.y;
            }
        } else {
            LINE_ARC_SEG_set_centre(it.rec, &start);
        }
        start = end_ref(it);
    }

    // The ring in the new order; inserted pieces get nodes and are offered
    // to the copy callback in ring order.
    std::vector<RING_node_s*> order;
    std::vector<RING_node_s*> added;
    if (head) order.push_back(head);
    for (Item& it : items) {
        if (it.piece >= 0) {
            order.push_back(o.pieces[it.piece].node);
        } else {
            RING_node_s* n = RING_insert_after(poly, poly->last, it.rec);
            order.push_back(n);
            added.push_back(n);
        }
    }
    for (RING_node_s* n : order) {
        RING_disconnect_node(poly, n);
        RING_connect_node(poly, poly->last, n);
    }
    if (closed) close_ring(poly);
    if (copy_cb) {
        bool handled = true;
        for (RING_node_s* n : added) copy_cb(poly, nullptr, n, &handled, nullptr);
    }

    // 7. The poly now lies at its offset.
    header->offset = 0;
    return true;
}

bool POLY_SEG_offset_set(RING_header_s* set, POLY_SEG_copy_cb_t copy_cb, POLY_SEG_piece_offset_cb_t offset_cb,
                         void* offset_data, POLY_SEG_corner_type_cb_t corner_cb, void* corner_data, bool closing) {
    if (!set) return false;
    bool pass = closing;
    if (closing && !offset_cb) {
        const double tol = EQ_ask_length_tolerance();
        bool have = false;
        double first = 0;
        for_each_poly_of_set(set, [&](RING_header_s* poly) {
            const double d = POLY_SEG_ask_header(poly)->offset;
            if (!have) {
                first = d;
                have = true;
            } else if (std::fabs(d - first) > tol) {
                pass = false;
            }
        });
    }
    bool any = false;
    for_each_poly_of_set(set, [&](RING_header_s* poly) {
        CERR_raise_on_abort();
        if (POLY_SEG_offset(poly, set, copy_cb, offset_cb, offset_data, corner_cb, corner_data, pass)) any = true;
    });
    return any;
}

bool POLY_SEG_offset_set_of_sets(RING_header_s* set_of_sets, POLY_SEG_copy_cb_t copy_cb,
                                 POLY_SEG_piece_offset_cb_t offset_cb, void* offset_data,
                                 POLY_SEG_corner_type_cb_t corner_cb, void* corner_data, bool closing) {
    if (!set_of_sets) return false;
    bool any = false;
    for (RING_node_s* n : nodes_of(set_of_sets)) {
        RING_header_s* set = RING_ask_node_subring(n);
        if (set && POLY_SEG_offset_set(set, copy_cb, offset_cb, offset_data, corner_cb, corner_data, closing))
            any = true;
    }
    return any;
}

bool POLY_SEG_small_offset(RING_header_s* poly, POLY_SEG_copy_cb_t copy_cb, POLY_SEG_piece_offset_cb_t offset_cb,
                           void* data, double squared_tolerance) {
    POLY_SEG_header_s* header = POLY_SEG_ask_header(poly);
    if (!header) return false;
    // 1. Nothing to move.
    if (std::fabs(header->offset) <= EQ_ask_length_tolerance() && !copy_cb && !offset_cb) {
        header->offset = 0;
        return false;
    }
    if (poly->count < 2) return false;
    const bool closed = POLY_SEG_is_closed(poly);

    // 2. Pieces without a tangent go; every vertex left has tangents on both
    //    sides that it has pieces on.
    std::vector<RING_node_s*> nodes = nodes_of(poly);
    drop_pieces_without_tangents(poly, nodes, closed, 1);
    const size_t n = nodes.size();
    if (n < 2) {
        header->offset = 0;
        return false;
    }
    // Every vertex's move, from the geometry before any vertex moved.
    struct Move {
        PNT2_s by{0, 0};
        bool step = false;
        PNT2_s step_by{0, 0};
    };
    std::vector<Move> moves(n);
    std::vector<double> d(n, 0.0);
    for (size_t i = closed ? 0 : 1; i < n; ++i)
        d[i] = offset_of(poly, nullptr, nodes[i], offset_cb, data, header->offset);
    bool moved = false;
    for (size_t i = 0; i < n; ++i) {
        const bool has_in = closed || i > 0;
        const bool has_out = closed || i + 1 < n;
        const size_t next = (i + 1) % n;
        PNT2_s a{0, 0}, b{0, 0}, tmp;
        // The vertex takes the offset of the piece it ends, or of the piece
        // it starts at an open poly's first point.
        const double di = has_in ? d[i] : d[next];
        // A zero offset leaves the vertex; a negative one moves it to the left.
        if (di == 0) continue;
        if (has_in) {
            PNT2_s t;
            tangents_of(nodes[i], start_of(nodes, i), &tmp, &t);
            a = mul(right_of(t), di);
        }
        if (has_out) {
            PNT2_s t;
            tangents_of(nodes[next], end_of(nodes[i]), &t, &tmp);
            b = mul(right_of(t), di);
        }
        Move& mv = moves[i];
        if (has_in && has_out) {
            const PNT2_s gap = sub(a, b);
            // A turn of half a circle or more has no mitre (the formula's
            // denominator is not positive): it takes the step whatever the
            // tolerance.
            if (dot(gap, gap) > squared_tolerance || !(dot(a, b) + di * di > 0)) {
                mv.by = a;
                mv.step = true;
                mv.step_by = b;
            } else {
                // The mitre: along a + b, |d| / cos(half the turn) long.
                mv.by = mul(add(a, b), di * di / (dot(a, b) + di * di));
            }
        } else {
            mv.by = has_in ? a : b;
        }
        moved = true;
    }
    // Apply: vertices move, step lines go in after their vertex, arcs get
    // their centres for their new starts.
    std::vector<PNT2_s> original(n);
    for (size_t i = 0; i < n; ++i) original[i] = end_of(nodes[i]);
    bool handled = true;
    for (size_t i = 0; i < n; ++i) {
        LINE_ARC_SEG_s* s = seg_of(nodes[i]);
        s->x = original[i].x + moves[i].by.x;
        s->y = original[i].y + moves[i].by.y;
    }
    std::vector<RING_node_s*> steps;
    for (size_t i = 0; i < n; ++i) {
        if (!moves[i].step) continue;
        const PNT2_s to = add(original[i], moves[i].step_by);
        LINE_ARC_SEG_s* rec = LINE_ARC_SEG_create_line(poly->pool, &to);
        rec->flags = 0;
        RING_node_s* added = RING_insert_after(poly, nodes[i], rec);
        steps.push_back(added);
        if (copy_cb) copy_cb(poly, nodes[i], added, &handled, nullptr);
    }
    const auto all = nodes_of(poly);
    for (size_t i = closed ? 0 : 1; i < all.size(); ++i) {
        LINE_ARC_SEG_s* s = seg_of(all[i]);
        if (LINE_ARC_SEG_is_arc(s)) {
            const PNT2_s start = start_of(all, i);
            LINE_ARC_SEG_set_centre(s, &start);
        }
    }
    // 3. The poly now lies at its offset.
    header->offset = 0;
    return moved;
}

void* POLY_SEG_offset_vtx_handle_chain_source(RING_header_s* poly, RING_node_s* from, RING_node_s* to,
                                              bool* handled, void* data) {
    if (poly && (!handled || *handled)) {
        RING_set_app_data_key(poly, POLY_SEG_KEY_CHAIN_SOURCE, POLY_SEG_release_chain_source_cb);
        if (handled) *handled = false;
    }
    if (!poly || !to) return nullptr;
    const int* side = static_cast<const int*>(data);
    auto record_of = [](const RING_node_s* n) {
        return n ? static_cast<const CHAIN_app_poly_seg_chain_source_s*>(
                       APP_DATA__ask_app_data(n->app_data, POLY_SEG_KEY_CHAIN_SOURCE))
                 : nullptr;
    };
    auto chain_side = [](const CHAIN_app_poly_seg_chain_source_s* r) -> SIDE {
        const CHAIN_main_data_s* md =
            r && r->chain ? static_cast<const CHAIN_main_data_s*>(r->chain->main_data) : nullptr;
        return md ? md->material_side : 0;
    };
    const CHAIN_app_poly_seg_chain_source_s* source = nullptr;
    if (from) {
        source = record_of(from);
    } else {
        source = record_of(to->previous);
        if (source && chain_side(source) == RIGHT && record_of(to->next)) source = record_of(to->next);
        if (!source) source = record_of(to->next);
    }
    if (!source) return nullptr;
    CHAIN_app_poly_seg_chain_source_s* record = POLY_SEG_new_chain_source(poly);
    record->chain = source->chain;
    record->vertex = source->vertex;
    record->segment_index = source->segment_index;
    record->flags = (!from || side) ? 1u : 0u;
    const bool marked = side ? ((chain_side(source) == LEFT) == (*side == 1)) : (source->flags & 8u) != 0;
    if (marked) record->flags |= 8u;
    void* old = APP_DATA__ask_app_data(to->app_data, POLY_SEG_KEY_CHAIN_SOURCE);
    if (old) POLY_SEG_release_chain_source_cb(old);
    RING_put_node_app_data(poly, to, POLY_SEG_KEY_CHAIN_SOURCE, record);
    return record;
}
