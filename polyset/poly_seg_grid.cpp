// Poly-segments on an integer grid: scaling maps, plain and material-side
// rounding, the way back to reals, re-rounding of arcs, and small closed loops.
#include <merrow1/int_grid_map.h>
#include <merrow1/poly_seg_grid.h>
#include <merrow1/poly_seg_offset.h>
#include <merrow1/psi.h>

#include "internal/owned.h"
#include "internal/scratch_pool.h"
#include "internal/small_buffer.h"
#include "internal/tolerances.h"
#include "internal/vec2.h"
#include "exact/line_arc_seg.h"
#include "exact/line_arc_seg_prd.h"
#include "polyset/poly_seg_internal.h"
#include "polyset/psi_internal.h"

#include <quorn/quorn.h>
#include <stend/error.h>
#include <velte/cerr.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <utility>
#include <vector>

using namespace merrow1::poly_seg;
using merrow1::psi::seg_end;
using merrow1::psi::seg_start;

namespace {

INT_GRID_MAP_s* create_map_over_box(CMEM_pool_s* pool, const double box[4], double margin) {
    const double w = box[LINE_ARC_SEG_BOX_XMAX] - box[LINE_ARC_SEG_BOX_XMIN];
    const double h = box[LINE_ARC_SEG_BOX_YMAX] - box[LINE_ARC_SEG_BOX_YMIN];
    const double e = (2 * margin + std::max(w, h)) * merrow1::kGridMarginFraction + margin;
    return INT_GRID_MAP__create_uniform(pool, box[LINE_ARC_SEG_BOX_XMIN] - e, box[LINE_ARC_SEG_BOX_YMIN] - e, 0.0,
                                        box[LINE_ARC_SEG_BOX_XMAX] + e, box[LINE_ARC_SEG_BOX_YMAX] + e, 0.0, 31);
}

void put_point_to_grid(const INT_GRID_MAP_s* map, double x, double y, PNT2_s* out) {
    int gx, gy;
    INT_GRID_MAP_method<INT_GRID_MAP_SLOT_PUT_2D_TO_GRID>(map)(map, x, y, &gx, &gy);
    *out = {static_cast<double>(gx), static_cast<double>(gy)};
}

double grid_size(const INT_GRID_MAP_s* map) {
    return INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_GRID_SIZE>(map)(map, 0);
}

// Rounding a poly twice would move its grid coordinates through the map a
// second time: refused.
void refuse_scaled(const RING_header_s* poly) {
    const POLY_SEG_header_s* header = POLY_SEG_ask_header(poly);
    if (header && header->scaling) ERROR_internal(__FILE__, __LINE__, "put_to_grid: Poly is already scaled");
}

double piece_length(const PNT2_s& start, const LINE_ARC_SEG_s* s) {
    if (LINE_ARC_SEG_is_line(s)) return std::hypot(s->x - start.x, s->y - start.y);
    return LINE_ARC_SEG_arc_length(&start, s);
}

void plain_rounding(RING_header_s* poly, const INT_GRID_MAP_s* map) {
    // 1. The poly's own map.
    POLY_SEG_set_scaling(poly, map);
    const auto nodes = nodes_of(poly);
    if (nodes.empty()) return;
    // 2. A closed poly's first piece starts at the rounded last end; that end
    //    rounds to the same grid point again when its node comes.
    PNT2_s start{0, 0};
    const bool closed = POLY_SEG_is_closed(poly);
    if (closed) put_point_to_grid(map, seg_of(nodes.back())->x, seg_of(nodes.back())->y, &start);
    // 3. In ring order, each piece from the previous piece's rounded end.
    for (size_t i = 0; i < nodes.size(); ++i) {
        LINE_ARC_SEG_s* s = seg_of(nodes[i]);
        const bool has_start = closed || i > 0;
        LINE_ARC_SEG_put_to_grid(s, has_start ? &start : nullptr, map);
        start = {s->x, s->y};
    }
}

bool is_dummy(const RING_node_s* node) { return (seg_of(node)->flags & POLY_SEG_FLAG_DUMMY) != 0; }

template <class Fn>
void for_each_poly(RING_header_s* ring, Fn&& fn) {
    if (!ring) return;
    if (is_poly_ring(ring)) {
        fn(ring);
        return;
    }
    for (RING_node_s* n : nodes_of(ring))
        if (RING_header_s* sub = RING_ask_node_subring(n)) for_each_poly(sub, fn);
}

// ---------------------------------------------------------------------------
// Coincident stretches split at the same points
//
// Two stretches of one line or one circle (a shared edge drawn with other
// vertices, a circle drawn as 4 arcs against the same circle drawn as 3)
// round to two slightly different grid curves when their vertices differ:
// they cross where the rounding makes them cross and bound thin faces that
// belong to neither region.  Split at the same points, the shared parts
// round to the same grid pieces and run exactly back along each other, which
// the polygon-set intersection recognises as a face of zero width.  So before
// rounding, every piece is split at the ends of the pieces that lie along it
// (within one grid cell: closer than that, the grid cannot tell them apart).
// ---------------------------------------------------------------------------

struct PieceRef {
    RING_header_s* poly;
    RING_node_s* node;
    PNT2_s start;
    double box[4];
    bool arc;
    PNT2_s centre;
    double radius;
    bool ccw;
    double spread;  // how far the centre may lie from the circle the piece was drawn on
    double length;  // of the chord from start to the end, which splits keep
};

double distance(const PNT2_s& a, const PNT2_s& b) { return std::hypot(a.x - b.x, a.y - b.y); }

double cross(const PNT2_s& o, const PNT2_s& a, const PNT2_s& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// Distance of p from the line of the piece (its chord for a line).
double off_line(const PieceRef& a, const PNT2_s& p) {
    const PNT2_s e = end_of(a.node);
    return a.length > 0 ? std::fabs(cross(a.start, e, p)) / a.length : distance(a.start, p);
}

double off_circle(const PieceRef& a, const PNT2_s& p) {
    return std::max(0.0, std::fabs(distance(a.centre, p) - a.radius) - a.spread);
}

// The piece b lies along the line or circle of piece a.
bool lies_along(const PieceRef& a, const PieceRef& b, double cell) {
    if (a.arc != b.arc) return false;
    const PNT2_s be = end_of(b.node);
    if (!a.arc) return off_line(a, b.start) <= cell && off_line(a, be) <= cell;
    return distance(a.centre, b.centre) <= cell + a.spread + b.spread && std::fabs(a.radius - b.radius) <= cell;
}

// Position along piece a of a point p of its line or circle strictly inside
// it (more than a grid cell from both ends), or -1: the fraction of the chord
// for a line, the angle from the start for an arc.
double inside_position(const PieceRef& a, const PNT2_s& p, double cell) {
    const PNT2_s e = end_of(a.node);
    if (distance(p, a.start) <= cell || distance(p, e) <= cell) return -1;
    if (!a.arc) {
        const double dx = e.x - a.start.x, dy = e.y - a.start.y;
        const double t = ((p.x - a.start.x) * dx + (p.y - a.start.y) * dy) / (dx * dx + dy * dy);
        return t > 0 && t < 1 ? t : -1;
    }
    // A piece sweeps at most a half circle: p is inside when it lies on the
    // turning side of both the start radius and the end radius.
    const double s = cross(a.centre, a.start, p), f = cross(a.centre, p, e);
    if (a.ccw ? !(s > 0 && f > 0) : !(s < 0 && f < 0)) return -1;
    const double u = std::atan2(a.start.y - a.centre.y, a.start.x - a.centre.x);
    double angle = std::atan2(p.y - a.centre.y, p.x - a.centre.x) - u;
    if (!a.ccw) angle = -angle;
    while (angle < 0) angle += 2 * merrow1::kPi;
    return angle;
}

PieceRef piece_ref(RING_header_s* poly, RING_node_s* node, const PNT2_s& start) {
    PieceRef r{poly, node, start, {0, 0, 0, 0}, false, {0, 0}, 0.0, true, 0.0, distance(start, end_of(node))};
    const LINE_ARC_SEG_s* s = seg_of(node);
    LINE_ARC_SEG_get_bbox(s, &start, false, r.box);
    r.arc = LINE_ARC_SEG_is_arc(s);
    if (r.arc) {
        LINE_ARC_SEG_calc_arc_data(s, &start, &r.centre, &r.radius, nullptr);
        r.ccw = s->h >= 0;
        // The centre sits |h| chords off the chord's middle, h from the
        // radius and the chord.  Ends known to within e (a few units in the
        // last place of the coordinates) move it by about e / (2 |h|), and by
        // no more than sqrt(2 r e) for a piece drawn as (nearly) a half
        // circle, whose centre the ends hardly fix.
        const double e = 4 * std::ldexp(std::fabs(start.x) + std::fabs(start.y) + std::fabs(s->x) + std::fabs(s->y) +
                                             r.radius,
                                         -52);
        const double h = s->h <= -1e100 ? 0.0 : std::fabs(s->h);
        r.spread = e + std::min(h > 0 ? e / (2 * h) : r.radius, std::sqrt(2 * r.radius * e));
    }
    return r;
}

void split_piece(const PieceRef& a, std::vector<std::pair<double, PNT2_s>>& points, POLY_SEG_copy_cb_t copy_cb) {
    std::sort(points.begin(), points.end(),
              [](const std::pair<double, PNT2_s>& x, const std::pair<double, PNT2_s>& y) { return x.first < y.first; });
    LINE_ARC_SEG_s* last = seg_of(a.node);
    const uint32_t flags = last->flags & ~LINE_ARC_SEG_FLAG_MULTIPLICITY;
    RING_node_s* before = a.node->previous;
    PNT2_s from = a.start;
    for (const auto& point : points) {
        const PNT2_s& p = point.second;
        if (p.x == from.x && p.y == from.y) continue;
        LINE_ARC_SEG_s* piece = a.arc ? LINE_ARC_SEG_create_arc(a.poly->pool, &from, &p, a.radius, a.ccw ? 1 : 0)
                                      : LINE_ARC_SEG_create_line(a.poly->pool, &p);
        piece->flags = flags;
        RING_node_s* added = RING_insert_after(a.poly, before, piece);
        if (copy_cb) copy_cb(a.poly, a.node, added, nullptr, nullptr);
        before = added;
        from = p;
    }
    if (a.arc) {
        const PNT2_s e = end_of(a.node);
        last->h = LINE_ARC_SEG_calc_arc_alpha(&from, &e, a.radius, a.ccw ? 1 : 0, nullptr);
        LINE_ARC_SEG_set_centre(last, &from);
    }
}

// The pieces of the polys, with finite boxes.
std::vector<PieceRef> pieces_of_polys(const std::vector<RING_header_s*>& polys) {
    size_t count = 0;
    for (RING_header_s* poly : polys) count += static_cast<size_t>(poly->count);
    std::vector<PieceRef> pieces;
    pieces.reserve(count);
    for (RING_header_s* poly : polys) {
        const bool closed = POLY_SEG_is_closed(poly);
        const auto nodes = nodes_of(poly);
        for (size_t i = closed ? 0 : 1; i < nodes.size(); ++i) {
            const PNT2_s start = end_of(nodes[i == 0 ? nodes.size() - 1 : i - 1]);
            const PieceRef r = piece_ref(poly, nodes[i], start);
            if (std::isfinite(r.box[0]) && std::isfinite(r.box[1]) && std::isfinite(r.box[2]) &&
                std::isfinite(r.box[3]))
                pieces.push_back(r);
        }
    }
    return pieces;
}

// The pieces of every poly not yet on a grid, with finite boxes.
std::vector<PieceRef> pieces_of(RING_header_s* set_of_sets) {
    std::vector<RING_header_s*> polys;
    for (RING_node_s* n : nodes_of(set_of_sets)) {
        for_each_poly(RING_ask_node_subring(n), [&](RING_header_s* poly) {
            const POLY_SEG_header_s* header = POLY_SEG_ask_header(poly);
            if (!header || header->scaling || !poly->first) return;
            polys.push_back(poly);
        });
    }
    return pieces_of_polys(polys);
}

// A piece's box and its index among the pieces, in the order of the sweep.
struct SweepBox {
    double box[4];
    size_t piece;
};

// The boxes of the pieces by their low x.  The keys are sorted beside their
// indices, not through them; std::sort makes the same comparisons and moves
// either way, so pieces of equal low x keep the order the sort gives them.
std::vector<SweepBox> sweep_order(const std::vector<PieceRef>& pieces) {
    struct Key {
        double x;
        size_t piece;
    };
    std::vector<Key> keys(pieces.size());
    for (size_t i = 0; i < keys.size(); ++i) keys[i] = Key{pieces[i].box[0], i};
    std::sort(keys.begin(), keys.end(), [](const Key& x, const Key& y) { return x.x < y.x; });
    std::vector<SweepBox> order(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        const double* box = pieces[keys[i].piece].box;
        order[i] = SweepBox{{box[0], box[1], box[2], box[3]}, keys[i].piece};
    }
    return order;
}

// Horizontal bands over the boxes of a sweep: each box is listed, by its
// place in the sweep order, in every band that its y range widened by a cell
// reaches.  Two boxes that meet within a cell have a y in both widened ranges,
// so they share a band: the band of a y never decreases as y grows.
struct SweepBands {
    double low = 0;
    double height = 1;
    int count = 0;
    std::vector<uint32_t> start;  // band k lists places[start[k]] up to places[start[k + 1]]
    std::vector<uint32_t> places;

    int band(double y) const {
        const double t = (y - low) / height;
        return t >= count ? count - 1 : static_cast<int>(t);
    }
};

// Bands for a sweep over many boxes, about as high as a typical widened box
// (at most 4096 of them); false where they would not pay: few boxes, boxes
// that the plain sweep passes over only a few others each (sampled), no
// height, or boxes listed in more than eight bands on average.
bool make_bands(const std::vector<SweepBox>& order, double cell, SweepBands& bands) {
    const size_t n = order.size();
    if (n < 64 || n >= UINT32_MAX / 8) return false;
    size_t passed = 0, samples = 0;
    for (size_t i = 0; i < n; i += n / 64, ++samples) {
        const double reach = order[i].box[1] + cell;
        const auto first = order.begin() + static_cast<long>(i) + 1;
        passed += static_cast<size_t>(
            std::upper_bound(first, order.end(), reach, [](double x, const SweepBox& b) { return x < b.box[0]; }) -
            first);
    }
    if (passed < 32 * samples) return false;
    double low = order[0].box[2] - cell, high = order[0].box[3] + cell;
    std::vector<double> heights(n);
    for (size_t i = 0; i < n; ++i) {
        const double lo = order[i].box[2] - cell, hi = order[i].box[3] + cell;
        low = std::min(low, lo);
        high = std::max(high, hi);
        heights[i] = hi - lo;
    }
    std::nth_element(heights.begin(), heights.begin() + static_cast<long>(n / 2), heights.end());
    const double height = std::max(heights[n / 2], (high - low) / 4096);
    if (!(height > 0) || !std::isfinite(height)) return false;
    bands.low = low;
    bands.height = height;
    bands.count = static_cast<int>(std::min(4096.0, std::floor((high - low) / height) + 1));
    bands.start.assign(static_cast<size_t>(bands.count) + 1, 0);
    size_t entries = 0;
    for (const SweepBox& b : order) {
        const int k0 = bands.band(b.box[2] - cell), k1 = bands.band(b.box[3] + cell);
        for (int k = k0; k <= k1; ++k) ++bands.start[static_cast<size_t>(k) + 1];
        entries += static_cast<size_t>(k1 - k0 + 1);
    }
    if (entries > 8 * n) return false;
    for (int k = 0; k < bands.count; ++k) bands.start[k + 1] += bands.start[k];
    bands.places.resize(entries);
    std::vector<uint32_t> fill(bands.start.begin(), bands.start.end() - 1);
    for (size_t i = 0; i < n; ++i) {
        const int k0 = bands.band(order[i].box[2] - cell), k1 = bands.band(order[i].box[3] + cell);
        for (int k = k0; k <= k1; ++k) bands.places[fill[k]++] = static_cast<uint32_t>(i);
    }
    return true;
}

// Calls fn(a, b) for every pair of pieces whose boxes meet within a cell, a
// before b in the order of sweep_order: for each a in that order, the b after
// it whose low x is at most a's high x plus a cell, in that order, that meet a
// in y.  With bands, the b are sought only in a's bands.
template <class Fn>
void for_each_near_pair(const std::vector<PieceRef>& pieces, const std::vector<SweepBox>& order, double cell,
                        Fn fn) {
    SweepBands bands;
    if (!make_bands(order, cell, bands)) {
        for (size_t oi = 0; oi < order.size(); ++oi) {
            CERR_raise_on_abort();
            const double* a = order[oi].box;
            for (size_t oj = oi + 1; oj < order.size(); ++oj) {
                const double* b = order[oj].box;
                if (b[0] > a[1] + cell) break;
                if (b[2] > a[3] + cell || b[3] < a[2] - cell) continue;
                fn(pieces[order[oi].piece], pieces[order[oj].piece]);
            }
        }
        return;
    }
    // Each band's next place: a box's own place in every band it is listed
    // in when its turn comes, as the places of a band rise.
    std::vector<uint32_t> next(bands.start.begin(), bands.start.end() - 1);
    std::vector<uint32_t> found;
    for (size_t oi = 0; oi < order.size(); ++oi) {
        CERR_raise_on_abort();
        const double* a = order[oi].box;
        const int k0 = bands.band(a[2] - cell), k1 = bands.band(a[3] + cell);
        found.clear();
        for (int k = k0; k <= k1; ++k) {
            const uint32_t end = bands.start[static_cast<size_t>(k) + 1];
            for (uint32_t j = ++next[k]; j < end; ++j) {
                const uint32_t oj = bands.places[j];
                const double* b = order[oj].box;
                if (b[0] > a[1] + cell) break;
                if (b[2] > a[3] + cell || b[3] < a[2] - cell) continue;
                found.push_back(oj);
            }
        }
        if (k1 > k0) {
            std::sort(found.begin(), found.end());
            found.erase(std::unique(found.begin(), found.end()), found.end());
        }
        for (const uint32_t oj : found) fn(pieces[order[oi].piece], pieces[order[oj].piece]);
    }
}

// Two arcs between the same two points along one circle get one arc
// parameter (turned over for the one travelled the other way), so that they
// round to one grid arc: their radii may differ in the last bits when the
// circle was drawn twice.
void unify_arcs_between_the_same_points(const std::vector<PieceRef>& pieces, const std::vector<SweepBox>& order,
                                        double cell, std::vector<RING_node_s*>& unified) {
    // Only pairs of arcs are unified: the sweep keeps the arcs, in their order.
    std::vector<SweepBox> arcs;
    for (const SweepBox& box : order)
        if (pieces[box.piece].arc) arcs.push_back(box);
    if (arcs.size() < 2) return;
    std::vector<bool> done(pieces.size(), false);
    for_each_near_pair(pieces, arcs, cell, [&](const PieceRef& a, const PieceRef& b) {
        if (!a.arc || !b.arc || done[&b - pieces.data()] || !lies_along(a, b, cell)) return;
        const PNT2_s ae = end_of(a.node), be = end_of(b.node);
        const bool same = a.start.x == b.start.x && a.start.y == b.start.y && ae.x == be.x && ae.y == be.y;
        const bool turned = a.start.x == be.x && a.start.y == be.y && ae.x == b.start.x && ae.y == b.start.y;
        if (!(same && a.ccw == b.ccw) && !(turned && a.ccw != b.ccw)) return;
        LINE_ARC_SEG_s* piece = seg_of(b.node);
        const double h = seg_of(a.node)->h;
        piece->h = same ? h : LINE_ARC_SEG_reversed_h(h);
        LINE_ARC_SEG_set_centre(piece, &b.start);
        done[&b - pieces.data()] = true;
        unified.push_back(a.node);
        unified.push_back(b.node);
    });
}

// ---------------------------------------------------------------------------
// Touches kept apart
//
// Two pieces that touch without crossing (circles tangent inside or outside
// each other, a piece that starts back along the one before it from their
// shared end) cannot stay tangent on the grid: each grid curve lies up to
// about a grid unit off its piece, and two curves that meet at a small angle
// cross far from where they touch.  The lens between the two crossings is a
// face of the rounded network, with a winding the input has nowhere.  So the
// touches are found before rounding (within one grid cell, as coincident
// stretches are: closer than that the grid cannot tell a touch from a
// crossing): between an arc and an arc or line of another poly of a set of
// sets, and between any two pieces of a poly rounded to its material side.
// A piece touched at an end of a piece of another poly is split there, so
// that the touch is a vertex of both.  Only arcs are moved: a line tangent
// to an arc is kept apart by stepping the arc.  After rounding, the exact intersection of each
// pair of grid pieces tells whether they meet at a point inside both; where
// they do, an arc of the pair is flattened or rounded out by whole units of
// its arc parameter, its ends kept, to the fewest units after which the two
// no longer meet and no other touch of that arc meets anew.  A touch inside
// both pieces so becomes a gap of a few grid units at most, one at a vertex
// a vertex that the two share and nothing else.
// ---------------------------------------------------------------------------

struct Touch {
    RING_node_s* a;
    RING_node_s* b;
};

// The touches to keep apart, and the arcs not to move: those that the
// coincident stretches' pass made one grid arc with another.
struct Touches {
    std::vector<Touch> pairs;
    std::vector<RING_node_s*> fixed;
};

bool same_point(const PNT2_s& p, const PNT2_s& q) { return p.x == q.x && p.y == q.y; }

// Whether the point lies on piece a: strictly inside it, or within a cell of
// one of its ends.
bool touch_on(const PieceRef& a, const PNT2_s& t, double cell) {
    return distance(a.start, t) <= cell || distance(end_of(a.node), t) <= cell || inside_position(a, t, cell) >= 0;
}

// The point where the circles or the line and circle of two pieces touch
// within a cell; false when they do not.
bool touch_point(const PieceRef& a, const PieceRef& b, double cell, PNT2_s& t) {
    if (!a.arc && !b.arc) return false;
    if (a.arc && b.arc) {
        const double dx = b.centre.x - a.centre.x, dy = b.centre.y - a.centre.y;
        const double d = std::hypot(dx, dy), slack = cell + a.spread + b.spread;
        // Concentric within the cell: one circle, or rings apart everywhere.
        if (!(d > slack)) return false;
        const double ux = dx / d, uy = dy / d;
        if (std::fabs(d - (a.radius + b.radius)) <= slack)
            t = {a.centre.x + a.radius * ux, a.centre.y + a.radius * uy};
        else if (std::fabs(d - std::fabs(a.radius - b.radius)) <= slack)
            t = a.radius >= b.radius ? PNT2_s{a.centre.x + a.radius * ux, a.centre.y + a.radius * uy}
                                     : PNT2_s{b.centre.x - b.radius * ux, b.centre.y - b.radius * uy};
        else
            return false;
    } else {
        const PieceRef& line = a.arc ? b : a;
        const PieceRef& arc = a.arc ? a : b;
        const PNT2_s e = end_of(line.node);
        const double dx = e.x - line.start.x, dy = e.y - line.start.y, length = std::hypot(dx, dy);
        if (!(length > 0)) return false;
        if (std::fabs(off_line(line, arc.centre) - arc.radius) > cell + arc.spread) return false;
        const double along = ((arc.centre.x - line.start.x) * dx + (arc.centre.y - line.start.y) * dy) / length;
        t = {line.start.x + along * dx / length, line.start.y + along * dy / length};
    }
    return true;
}

// Whether two pieces that are not one curve touch within a cell at a point
// on both.
bool touching(const PieceRef& a, const PieceRef& b, double cell) {
    PNT2_s t;
    return !(lies_along(a, b, cell) && lies_along(b, a, cell)) && touch_point(a, b, cell, t) &&
           touch_on(a, t, cell) && touch_on(b, t, cell);
}

// Where two pieces that are not one curve touch at an end of either: that
// end (the other piece is split there where the end lies inside it).
bool touch_vertex(const PieceRef& a, const PieceRef& b, double cell, PNT2_s& vertex) {
    PNT2_s t;
    if ((lies_along(a, b, cell) && lies_along(b, a, cell)) || !touch_point(a, b, cell, t) ||
        !touch_on(a, t, cell) || !touch_on(b, t, cell))
        return false;
    for (const PNT2_s& e : {a.start, end_of(a.node), b.start, end_of(b.node)})
        if (distance(e, t) <= cell) {
            vertex = e;
            return true;
        }
    return false;
}

// The touches between the pieces near each other (pieces along one line or
// circle do not touch: they are one curve, and two lines never do): within
// one poly, any two; across polys (`across`), pieces of different polys
// only; `fixed` the arcs not to move.
Touches find_touches(const std::vector<PieceRef>& pieces, const std::vector<SweepBox>& order, double cell,
                     bool across, std::vector<RING_node_s*> fixed) {
    Touches found;
    if (std::none_of(pieces.begin(), pieces.end(), [](const PieceRef& r) { return r.arc; })) return found;
    for_each_near_pair(pieces, order, cell, [&](const PieceRef& a, const PieceRef& b) {
        if (across && a.poly == b.poly) return;
        if (touching(a, b, cell)) found.pairs.push_back(Touch{a.node, b.node});
    });
    found.fixed = std::move(fixed);
    std::sort(found.fixed.begin(), found.fixed.end());
    return found;
}

// Whether two grid pieces meet at a point inside both: where an end of one
// lies on the other, that is the touch itself on the grid.
bool grid_pieces_meet(RING_node_s* a, RING_node_s* b) {
    PNT2_s points[2];
    int flags[2];
    const int count = PSI__intersect_segments(a, b, points, flags);
    const PNT2_s ends[4] = {seg_start(a), seg_end(a), seg_start(b), seg_end(b)};
    for (int i = 0; i < count; ++i)
        if (std::none_of(ends, ends + 4, [&](const PNT2_s& e) { return same_point(e, points[i]); })) return true;
    return false;
}

// The vertices of a poly in reals (vertex i the end of node i) paired across
// its touches: where two pieces touch and an end of each lies within a cell
// of the other's, at two vertices of the poly (a point the poly passes
// twice), those vertices are partners.  Rounded to two grid points a unit
// apart across the touch, the two grid circles cross where the gap between
// them, growing with the square of the distance from the touch, reaches
// that unit: far from the ends (thousands of units for radii of a few
// hundred million), out of reach of any step of an arc parameter, which
// keeps the ends.  At one grid point the touch is a vertex the two share,
// which the stepping keeps apart.
std::vector<std::vector<size_t>> touching_vertex_partners(const std::vector<RING_node_s*>& nodes,
                                                          const std::vector<PNT2_s>& real, const Touches& touches,
                                                          bool closed, double cell) {
    const size_t n = nodes.size();
    std::vector<std::vector<size_t>> partners(n);
    if (touches.pairs.empty()) return partners;
    // Each node's place in the poly, found by a search of the nodes sorted
    // by address: no allocation per node, as a hash map would make.
    std::vector<std::pair<const RING_node_s*, size_t>> index(n);
    for (size_t i = 0; i < n; ++i) index[i] = {nodes[i], i};
    auto before = [](const std::pair<const RING_node_s*, size_t>& x, const std::pair<const RING_node_s*, size_t>& y) {
        return std::less<const RING_node_s*>()(x.first, y.first);
    };
    std::sort(index.begin(), index.end(), before);
    auto place = [&](const RING_node_s* node) {
        const auto it = std::lower_bound(index.begin(), index.end(), std::make_pair(node, size_t(0)), before);
        return it != index.end() && it->first == node ? it : index.end();
    };
    // The vertices at the two ends of the piece of node i.
    auto ends = [&](size_t i, size_t out[2]) {
        if (i == 0 && !closed) return false;
        out[0] = (i + n - 1) % n;
        out[1] = i;
        return true;
    };
    for (const Touch& t : touches.pairs) {
        const auto ia = place(t.a), ib = place(t.b);
        size_t va[2], vb[2];
        if (ia == index.end() || ib == index.end() || !ends(ia->second, va) || !ends(ib->second, vb)) continue;
        for (size_t p : va)
            for (size_t q : vb) {
                if (p == q || distance(real[p], real[q]) > cell) continue;
                if (std::find(partners[p].begin(), partners[p].end(), q) != partners[p].end()) continue;
                partners[p].push_back(q);
                partners[q].push_back(p);
            }
    }
    return partners;
}

void keep_touches_apart(const Touches& touches) {
    // Units of the arc parameter tried, in each direction.
    const int kMaxSteps = 16;
    auto movable = [&](RING_node_s* n) {
        return n->previous && LINE_ARC_SEG_is_arc(seg_of(n)) &&
               !std::binary_search(touches.fixed.begin(), touches.fixed.end(), n);
    };
    auto meet = [](const Touch& t) { return t.a->previous && t.b->previous && grid_pieces_meet(t.a, t.b); };
    // The touches of each piece, gathered at the first touch that meets on
    // the grid: most calls have none, and then pay nothing for it.
    std::unordered_map<RING_node_s*, std::vector<size_t>> of_piece;
    for (size_t i = 0; i < touches.pairs.size(); ++i) {
        const Touch& t = touches.pairs[i];
        if (!meet(t)) continue;
        if (of_piece.empty())
            for (size_t k = 0; k < touches.pairs.size(); ++k) {
                of_piece[touches.pairs[k].a].push_back(k);
                of_piece[touches.pairs[k].b].push_back(k);
            }
        bool apart = false;
        for (int steps = 1; steps <= kMaxSteps && !apart; ++steps) {
            for (RING_node_s* arc : {t.a, t.b}) {
                if (apart || !movable(arc)) continue;
                // The arc's other touches that do not meet now must not
                // meet after the step either.
                std::vector<size_t> others;
                for (size_t k : of_piece[arc])
                    if (k != i && !meet(touches.pairs[k])) others.push_back(k);
                LINE_ARC_SEG_s* piece = seg_of(arc);
                const LINE_ARC_SEG_s kept = *piece;
                const PNT2_s start = seg_start(arc);
                for (int sign : {1, -1}) {
                    if (!LINE_ARC_SEG_step_rounded_arc(&start, piece, sign * steps)) continue;
                    apart = !meet(t) && std::none_of(others.begin(), others.end(),
                                                     [&](size_t k) { return meet(touches.pairs[k]); });
                    if (apart) break;
                    *piece = kept;
                }
            }
        }
    }
}

// Splits and unifies the coincident stretches of the set of sets, splits
// pieces touched by an end of another poly's piece there, and returns the
// touches between pieces of different polys, to be kept apart once they are
// rounded.
Touches split_coincident_stretches(RING_header_s* set_of_sets, double cell, POLY_SEG_copy_cb_t copy_cb) {
    if (!(cell > 0) || !std::isfinite(cell)) return Touches{};
    std::vector<PieceRef> pieces = pieces_of(set_of_sets);
    std::vector<SweepBox> order = sweep_order(pieces);
    std::vector<std::vector<std::pair<double, PNT2_s>>> splits(pieces.size());
    for_each_near_pair(pieces, order, cell, [&](const PieceRef& a, const PieceRef& b) {
        // A piece touched by an end of a piece of another poly is split there.
        PNT2_s vertex;
        if (a.poly != b.poly && touch_vertex(a, b, cell, vertex)) {
            for (const PieceRef* x : {&a, &b}) {
                const double at = inside_position(*x, vertex, cell);
                if (at >= 0) splits[x - pieces.data()].push_back({at, vertex});
            }
        }
        if (!lies_along(a, b, cell) || !lies_along(b, a, cell)) return;
        const PieceRef* pair[2][2] = {{&a, &b}, {&b, &a}};
        for (const auto& ab : pair) {
            const PieceRef& x = *ab[0];
            const PieceRef& y = *ab[1];
            for (const PNT2_s& p : {y.start, end_of(y.node)}) {
                if ((x.arc ? off_circle(x, p) : off_line(x, p)) > cell) continue;
                const double at = inside_position(x, p, cell);
                if (at >= 0) splits[&x - pieces.data()].push_back({at, p});
            }
        }
    });
    bool split = false;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (splits[i].empty()) continue;
        split_piece(pieces[i], splits[i], copy_cb);
        split = true;
    }
    // Unsplit, the pieces and their order stand as they are.
    if (split) {
        pieces = pieces_of(set_of_sets);
        order = sweep_order(pieces);
    }
    std::vector<RING_node_s*> unified;
    unify_arcs_between_the_same_points(pieces, order, cell, unified);
    return find_touches(pieces, order, cell, true, std::move(unified));
}

}  // namespace

INT_GRID_MAP_s* POLY_SEG_create_scaling(const RING_header_s* poly_or_set, double margin) {
    if (!poly_or_set) return nullptr;
    double box[4] = {1e19, -1e19, 1e19, -1e19};
    if (is_poly_ring(poly_or_set))
        POLY_SEG_quick_expand_bbox(poly_or_set, box);
    else
        POLY_SEG_quick_expand_bbox_for_set(poly_or_set, box);
    return create_map_over_box(poly_or_set->pool, box, margin);
}

INT_GRID_MAP_s* POLY_SEG_set_scaling(RING_header_s* poly, const INT_GRID_MAP_s* map) {
    POLY_SEG_header_s* header = POLY_SEG_ask_header(poly);
    if (!header) return nullptr;
    header->grid_area_sign = 0;
    if (map) {
        if (header->scaling == map) return header->scaling;
        if (header->scaling)
            *header->scaling = *map;
        else
            header->scaling = INT_GRID_MAP_method<INT_GRID_MAP_SLOT_CREATE_COPY>(map)(map, poly->pool);
        return const_cast<INT_GRID_MAP_s*>(map);
    }
    INT_GRID_MAP_s* fresh = POLY_SEG_create_scaling(poly, 0.0);
    INT_GRID_MAP__destroy(header->scaling);
    header->scaling = fresh;
    return fresh;
}

void POLY_SEG_put_to_grid(RING_header_s* poly, const INT_GRID_MAP_s* map) {
    if (!POLY_SEG_ask_header(poly) || !map) return;
    refuse_scaled(poly);
    plain_rounding(poly, map);
}

void POLY_SEG_put_to_grid_material_side(RING_header_s* poly, const INT_GRID_MAP_s* map, bool side,
                                        POLY_SEG_copy_cb_t copy_cb) {
    if (!POLY_SEG_ask_header(poly) || !map) return;
    refuse_scaled(poly);
    // 1. Too short to have shared points.
    if (poly->count < 2) {
        plain_rounding(poly, map);
        return;
    }
    // 2. The poly's own map and the cell size.
    POLY_SEG_set_scaling(poly, map);
    const double g = grid_size(map);
    // 3. An open poly whose ends share a cell is closed.
    if (!POLY_SEG_is_closed(poly)) {
        const PNT2_s a = end_of(poly->first), b = end_of(poly->last);
        const double dx = b.x - a.x, dy = b.y - a.y;
        if (dx * dx + dy * dy <= g * g) {
            RING_delete_node(poly, poly->first);
            close_ring(poly);
        }
    }
    const bool closed = POLY_SEG_is_closed(poly);
    std::vector<RING_node_s*> nodes = nodes_of(poly);
    // 4. A closed poly starts at its first piece longer than ten cells.
    size_t first = 0;
    if (closed) {
        size_t found = nodes.size();
        for (size_t i = 0; i < nodes.size() && found == nodes.size(); ++i) {
            const PNT2_s start = end_of(nodes[(i + nodes.size() - 1) % nodes.size()]);
            if (piece_length(start, seg_of(nodes[i])) > 10 * g) found = i;
        }
        if (found == nodes.size()) {
            plain_rounding(poly, map);
            return;
        }
        first = found;
    }
    // 5, 6. One walk in ring order from the chosen node.  `real` holds every
    // node's end before rounding: the arcs' centre vectors refer to those
    // starts, and the next piece's normal is taken from real coordinates.
    // The touches between the poly's own pieces, while they are in reals.
    const std::vector<PieceRef> own = pieces_of_polys({poly});
    const Touches touches = find_touches(own, sweep_order(own), g, false, {});
    const size_t n = nodes.size();
    std::vector<PNT2_s> real(n);
    for (size_t i = 0; i < n; ++i) real[i] = end_of(nodes[i]);
    const std::vector<std::vector<size_t>> partners = touching_vertex_partners(nodes, real, touches, closed, g);
    // The grid point of each vertex rounded to one point (no connector).
    std::vector<bool> single(n, false);
    const bool side_of_dummies = side;
    auto piece_side = [&](size_t i) { return side_of_dummies && is_dummy(nodes[i]); };

    // Chord check and arc re-rounding of node i, whose rounded start is
    // `start` and whose real start was `old_start`.
    auto finish_piece = [&](size_t i, const PNT2_s& start, const PNT2_s& old_start) {
        LINE_ARC_SEG_s* s = seg_of(nodes[i]);
        PNT2_s rs, re;
        INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_2D_FROM_GRID>(map)(map, static_cast<int>(start.x),
                                                                     static_cast<int>(start.y), &rs.x, &rs.y);
        INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_2D_FROM_GRID>(map)(map, static_cast<int>(s->x),
                                                                     static_cast<int>(s->y), &re.x, &re.y);
        const double dot = (re.x - rs.x) * (real[i].x - old_start.x) + (re.y - rs.y) * (real[i].y - old_start.y);
        if (!(dot > 0)) {
            // The rounded chord no longer runs the piece's way: it collapses.
            s->x = start.x;
            s->y = start.y;
            s->h = LINE_ARC_SEG_LINE_H;
        } else if (LINE_ARC_SEG_is_arc(s)) {
            LINE_ARC_SEG_round_arc_material_side(s, &start, &old_start, piece_side(i), map);
        }
    };

    bool have_prev = false;
    PNT2_s prev_rounded{0, 0};  // the rounded end of the piece before (a connector's end after one)
    PNT2_s prev_real{0, 0};     // the real end of the previous node
    // The walk's first piece of a closed poly is not yet preceded by a rounded
    // piece: its normal is taken from its start put plainly on the grid, so
    // that its end, too, goes to its material side.
    PNT2_s first_start{0, 0};
    if (closed) put_point_to_grid(map, real[(first + n - 1) % n].x, real[(first + n - 1) % n].y, &first_start);
    for (size_t k = 0; k < n; ++k) {
        const size_t i = (first + k) % n;
        LINE_ARC_SEG_s* s = seg_of(nodes[i]);
        const bool has_next = closed || i + 1 < n;
        const size_t j = (i + 1) % n;
        // The next piece: its end in reals (the walk's first node is already
        // rounded when the walk comes back to it).
        const LINE_ARC_SEG_s* next = has_next ? seg_of(nodes[j]) : nullptr;
        const PNT2_s* next_end = has_next ? &real[j] : nullptr;
        // A vertex where two pieces touch at the ends they have at another
        // vertex takes that vertex's grid point when it can.
        const PNT2_s* preferred = nullptr;
        PNT2_s partner_point{0, 0};
        for (size_t k : partners[i])
            if (single[k]) {
                partner_point = end_of(nodes[k]);
                preferred = &partner_point;
                break;
            }
        LINE_ARC_SEG_s* connector =
            LINE_ARC_SEG_put_end_to_grid(s, have_prev ? &prev_rounded : closed ? &first_start : nullptr,
                                         piece_side(i), next, next_end,
                                         has_next && piece_side(j), map, poly->pool, preferred);
        if (have_prev) finish_piece(i, prev_rounded, prev_real);
        prev_rounded = end_of(nodes[i]);
        single[i] = !connector;
        if (connector) {
            RING_node_s* added = RING_insert_after(poly, nodes[i], connector);
            if (copy_cb) copy_cb(poly, has_next ? nodes[j] : nullptr, added, nullptr, nullptr);
            prev_rounded = {connector->x, connector->y};
        }
        prev_real = real[i];
        have_prev = true;
    }
    // The piece that closes the ring is re-rounded last, from the walk's
    // final rounded end.
    if (closed) finish_piece(first, prev_rounded, prev_real);
    keep_touches_apart(touches);
}

int merrow1::poly_seg::grid_loop_area_sign(const PNT2_s* starts, const LINE_ARC_SEG_s* const* pieces, int count) {
    double arcs = 0, error = 0;
    for (int i = 0; i < count; ++i) {
        if (!LINE_ARC_SEG_is_arc(pieces[i])) continue;
        // The term's factors each carry a few roundings: its error stays
        // below 2^-50 of the chord squared times (4 |h| + 4).
        const double dx = pieces[i]->x - starts[i].x, dy = pieces[i]->y - starts[i].y;
        const double a = pieces[i]->h <= -1e100 ? 0.0 : std::fabs(pieces[i]->h);
        arcs += POLY_SEG_arc_area_term(&starts[i], pieces[i]);
        error += (dx * dx + dy * dy) * (4 * a + 4) * 0x1p-50;
    }
    return LINE_ARC_SEG_prd_grid_loop_area_sign(starts, count, arcs, error + std::fabs(arcs) * 0x1p-50);
}

namespace {

// The sign of a closed poly's area while it is on its grid.
int area_sign_on_grid(const RING_header_s* poly) {
    if (!POLY_SEG_is_closed(poly)) return 0;
    const auto nodes = nodes_of(poly);
    merrow1::SmallBuffer<PNT2_s, 16> starts(nodes.size());
    merrow1::SmallBuffer<const LINE_ARC_SEG_s*, 16> pieces(nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
        starts[i] = end_of(nodes[i == 0 ? nodes.size() - 1 : i - 1]);
        pieces[i] = seg_of(nodes[i]);
    }
    return grid_loop_area_sign(starts.data(), pieces.data(), static_cast<int>(nodes.size()));
}

}  // namespace

INT_GRID_MAP_s* POLY_SEG_put_set_to_grid(RING_header_s* set, const INT_GRID_MAP_s* map, bool material_side,
                                         POLY_SEG_poly_filter_t filter, POLY_SEG_copy_cb_t copy_cb, double margin) {
    if (!set) return const_cast<INT_GRID_MAP_s*>(map);
    INT_GRID_MAP_s* used = map ? const_cast<INT_GRID_MAP_s*>(map) : POLY_SEG_create_scaling(set, margin);
    // A set rounded plainly on a map of its own: its stretches that coincide
    // are split alike first (a set of sets is split over all its sets before
    // its sets come here on its map).
    Touches touches;
    if (!map && !material_side && !is_poly_ring(set)) touches = split_coincident_stretches(set, grid_size(used), copy_cb);
    for_each_poly(set, [&](RING_header_s* poly) {
        CERR_raise_on_abort();
        if (!poly->first) return;
        const POLY_SEG_header_s* header = POLY_SEG_ask_header(poly);
        if (!material_side || header->there_and_back)
            POLY_SEG_put_to_grid(poly, used);
        else
            POLY_SEG_put_to_grid_material_side(poly, used, filter ? filter(poly) : false, copy_cb);
    });
    keep_touches_apart(touches);
    return used;
}

INT_GRID_MAP_s* POLY_SEG_put_set_of_sets_to_grid(RING_header_s* set_of_sets, const INT_GRID_MAP_s* map,
                                                 bool material_side, POLY_SEG_poly_filter_t filter,
                                                 POLY_SEG_copy_cb_t copy_cb, double margin) {
    if (!set_of_sets) return const_cast<INT_GRID_MAP_s*>(map);
    INT_GRID_MAP_s* used = map ? const_cast<INT_GRID_MAP_s*>(map) : POLY_SEG_create_scaling(set_of_sets, margin);
    const Touches touches = split_coincident_stretches(set_of_sets, grid_size(used), copy_cb);
    // Closed loops that enclose an area here but none on the grid: the
    // caller learns that part of its input fell below the grid's resolution.
    std::vector<RING_header_s*> loops;
    for_each_poly(set_of_sets, [&](RING_header_s* poly) {
        const POLY_SEG_header_s* header = POLY_SEG_ask_header(poly);
        if (header && !header->scaling && !header->there_and_back && POLY_SEG_area(poly) != 0) loops.push_back(poly);
    });
    for (RING_node_s* n : nodes_of(set_of_sets))
        if (RING_header_s* set = RING_ask_node_subring(n))
            POLY_SEG_put_set_to_grid(set, used, material_side, filter, copy_cb, margin);
    keep_touches_apart(touches);
    const long collapsed = std::count_if(loops.begin(), loops.end(), [](const RING_header_s* poly) {
        return POLY_SEG_ask_header(poly)->scaling && area_sign_on_grid(poly) == 0;
    });
    if (collapsed > 0)
        ERROR_note(__FILE__, __LINE__, "Poly-segment grid: %ld closed loop(s) of the input collapse to nothing on the grid",
                   collapsed);
    return used;
}

void POLY_SEG_get_from_grid(RING_header_s* poly) {
    POLY_SEG_header_s* header = POLY_SEG_ask_header(poly);
    if (!header || !header->scaling) return;
    header->grid_area_sign = area_sign_on_grid(poly);
    for (RING_node_s* n : nodes_of(poly)) LINE_ARC_SEG_get_from_grid(seg_of(n), header->scaling);
    INT_GRID_MAP__destroy(header->scaling);
    header->scaling = nullptr;
}

void POLY_SEG_get_set_from_grid(RING_header_s* set) { for_each_poly(set, POLY_SEG_get_from_grid); }

void POLY_SEG_get_set_of_sets_from_grid(RING_header_s* set_of_sets) {
    for_each_poly(set_of_sets, POLY_SEG_get_from_grid);
}

void POLY_SEG_reround_arcs(RING_header_s* poly) {
    if (!poly || !poly->first) return;
    const auto nodes = nodes_of(poly);
    const bool closed = POLY_SEG_is_closed(poly);
    for (size_t i = closed ? 0 : 1; i < nodes.size(); ++i) {
        LINE_ARC_SEG_s* s = seg_of(nodes[i]);
        if (!LINE_ARC_SEG_is_arc(s)) continue;
        const PNT2_s start = end_of(nodes[i == 0 ? nodes.size() - 1 : i - 1]);
        LINE_ARC_SEG_reround_arc(&start, s);
    }
}

void POLY_SEG_reround_arcs_in_set(RING_header_s* set) { for_each_poly(set, POLY_SEG_reround_arcs); }

bool POLY_SEG_is_small_closed_loop(const RING_header_s* poly, const double* limits) {
    const POLY_SEG_header_s* header = POLY_SEG_ask_header(poly);
    if (!header) return false;
    // 1. Limits: a scaled poly has defaults in grid units, only ever raised.
    double L, R;
    if (header->scaling) {
        L = POLY_SEG_SMALL_LOOP_PERIMETER;
        R = POLY_SEG_SMALL_LOOP_RATIO;
        if (limits) {
            L = std::max(L, limits[0]);
            R = std::max(R, limits[1]);
        }
    } else {
        if (!limits) ERROR_internal(__FILE__, __LINE__, "is_small_closed_loop: Non-scaled poly with no limits");
        L = limits[0];
        R = limits[1];
    }
    // 2. Only closed loops.
    if (!POLY_SEG_is_closed(poly)) return false;
    // 3. The perimeter, given up as soon as it reaches the limit.
    const auto nodes = nodes_of(poly);
    PNT2_s start = end_of(nodes.back());
    double perimeter = 0.0;
    bool dummy = false;
    for (RING_node_s* n : nodes) {
        perimeter += piece_length(start, seg_of(n));
        if (perimeter >= L) return false;
        dummy = dummy || is_dummy(n);
        start = end_of(n);
    }
    // 4. A dummy, a loop under one grid unit around, or a sliver.  A loop of
    //    no length at all has no area either: small.
    if (dummy) return true;
    if (header->scaling && perimeter < 1.0) return true;
    if (perimeter == 0.0) return true;
    return std::fabs(POLY_SEG_area(poly)) / perimeter < R;
}

void POLY_SEG_remove_small_closed_loops(RING_header_s* set, const double* limits) {
    if (!set) return;
    for (RING_node_s* n : nodes_of(set)) {
        CERR_raise_on_abort();
        RING_header_s* poly = RING_ask_node_subring(n);
        if (!poly) {
            RING_delete_node(set, n);
        } else if (is_poly_ring(poly) && POLY_SEG_is_small_closed_loop(poly, limits)) {
            POLY_SEG_destroy(poly);
            RING_set_node_subring(n, nullptr);
            RING_delete_node(set, n);
        }
    }
}

namespace {

// A copy of the poly in the pool with every piece (telomeres too), its
// closure, header and scaling: the gouge check works on such copies so that
// the caller's polys are never offset or rounded.
RING_header_s* copy_poly_whole(const RING_header_s* poly, CMEM_pool_s* pool) {
    RING_header_s* copy = POLY_SEG_create(pool);
    for (RING_node_s* n : nodes_of(poly)) RING_insert_after(copy, copy->last, LINE_ARC_SEG_copy(seg_of(n), pool));
    if (copy->first && POLY_SEG_is_closed(poly)) close_ring(copy);
    POLY_SEG_copy_header(poly, copy);
    return copy;
}

RING_header_s* copy_set_whole(const RING_header_s* set, CMEM_pool_s* pool) {
    RING_header_s* copy = POLY_SEG_create_set(pool, POLY_SEG_ask_material_at_inf(set));
    for (RING_node_s* n : nodes_of(set)) {
        const RING_header_s* sub = RING_ask_node_subring(n);
        if (!sub) continue;
        POLY_SEG_append_to_set(copy, is_poly_ring(sub) ? copy_poly_whole(sub, pool) : copy_set_whole(sub, pool));
    }
    return copy;
}

}  // namespace

bool POLY_SEG_region_gouge_check(RING_header_s* set, Korvo::Cam::MaterialAtInfinity material, double tolerance,
                                 RING_header_s* tool) {
    return merrow1::run_converting([&]() -> bool {
        // 1. The tolerance.
        tolerance = std::max(tolerance, 2.0 * EQ_ask_length_tolerance());
        if (!tool || !tool->first) return false;
        // A set is scaled all or nothing: decided before anything is made, so
        // the refusal leaves the set as it came.
        std::vector<RING_header_s*> polys;
        for_each_poly(set, [&](RING_header_s* poly) { polys.push_back(poly); });
        if (polys.empty()) return material == Korvo::Cam::MaterialAtInfinityPresent;
        const INT_GRID_MAP_s* map = POLY_SEG_ask_header(polys.front())->scaling;
        for (const RING_header_s* poly : polys)
            if ((POLY_SEG_ask_header(poly)->scaling != nullptr) != (map != nullptr))
                ERROR_internal(__FILE__, __LINE__, "Partially scaled set.");

        // Everything made below lives in the scratch pool (the copies, and a
        // map made here) or in the object's pool; the guards free both on
        // every exit, the object first.
        MERROW1_SCRATCH_POOL(scratch, "POLY_SEG_region_gouge_check");
        // 2. An unscaled set: a copy, each poly offset into its material by
        //    the tolerance, on a new grid over the copy.  A scaled set is used
        //    on its own map as it stands.
        RING_header_s* work = set;
        if (!map) {
            work = copy_set_whole(set, scratch);
            for_each_poly(work, [&](RING_header_s* poly) {
                CERR_raise_on_abort();
                POLY_SEG_ask_header(poly)->offset = -tolerance;
                POLY_SEG_offset(poly, work, nullptr, nullptr, nullptr, nullptr, nullptr, false);
            });
            map = POLY_SEG_put_set_to_grid(work, nullptr, false, nullptr, nullptr, 0.0);
        }
        // 3. The object, a copy of the tool on the same map, and the check.
        //    A tool copy that came on a grid goes back to reals first.
        merrow1::Owned<PSI_s, PSI_destroy> guard(PSI_create(0, false, false, nullptr, nullptr));
        RING_header_s* path = copy_poly_whole(tool, scratch);
        POLY_SEG_get_from_grid(path);
        try {
            POLY_SEG_put_to_grid(path, map);
            return PSI_method<PSI_set_region_gouge_check_fn>(guard.get(), PSI_SLOT_SET_REGION_GOUGE_CHECK)(
                guard.get(), work, material, path);
        } catch (const Korvo::Error::Exception& e) {
            if (e.askCode() != INT_GRID_MAP_ERROR_OUT_OF_RANGE) throw;
        }
        // 4. The tool reaches beyond the grid, which covers the set's box.
        //    With material at infinity the part beyond is in material: a
        //    gouge.  With finite material the part beyond is clear of it and
        //    the part within is not examined: answered as no gouge, noted.
        int mai = material;
        if (mai == Korvo::Cam::MaterialAtInfinityUndetermined)
            mai = PSI_method<PSI_set_is_material_at_inf_fn>(guard.get(), PSI_SLOT_SET_IS_MATERIAL_AT_INF)(
                guard.get(), work, nullptr);
        if (mai == Korvo::Cam::MaterialAtInfinityPresent) return true;
        ERROR_note(__FILE__, __LINE__, "%s",
                   "region_gouge_check: tool beyond the grid of a finite region, answered as no gouge");
        return false;
    });
}
