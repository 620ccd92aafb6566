// Offsets of seeded random chains of lines and arcs (arcs beyond a half
// circle among them), closed and open, outward and inward, with every corner
// control, on both boolean engines, checked against brute force computed
// here: distances to the source's true arcs, winding numbers of the result
// chains (arcs counted exactly), and crossings of the result along the
// normals of the source.
//
// The region a closed offset leaves free (the side of the result chains away
// from their material) is the set of points on the offset side of the source
// at distance |d| or more.  ADD_ARC gives exactly that; the other corner
// controls add material at convex corners, never nearer than |d| to the
// source and never farther from the corner's vertex than the corner bound
// (sqrt(2)|d| BREAK_CORNER, 2|d| EXTEND_TANGENT, |d| / sin(phi/2) for
// ALWAYS_EXTEND_TANGENT with phi the corner's angle), so they match outside
// those zones.  An open chain's offset is checked along the segment from a
// point's nearest source point q to the point: it crosses the result once,
// at distance |d| from q.  A chain offset at -d must match the chain with
// the other material side at +d, its result chains carrying the source's
// own side; every offset leaves the source as it was.
//
// The band eps left out about the offset distance.  Every grid point is
// classified on its own (its distance to the source in long double, its
// winding about the result by exact crossing counts), so the spacing of the
// sample grid adds nothing to the band: it only sets how finely the region
// is probed.  What moves the result's boundary off the exact offset is:
//   - the tracer: corner points are found and trimmed, and the trace closed,
//     within the tracing tolerance t (the host length tolerance, 1e-6, as the
//     sources carry none); a piece ending within 2.5e-8 of the trace's end
//     is dropped and its neighbour refitted (below t);
//   - the older engine: the split-chain boolean merges points within the
//     host length tolerance t;
//   - the newer engine: every point is rounded onto an integer grid of 2^31
//     cells over the box (cell c = extent / 2^31, below 4e-9 here), arcs
//     re-rounded through their rounded ends (a few cells), the output made
//     with tolerance 7 c and closed within 10 c;
//   - the chord tolerances: an arc refitted onto a moved end becomes its
//     chord when its sagitta measure falls below 1e-8 of its radius (an
//     error below 1e-8 times a radius of at most a few units); an arc
//     sweeping more than pi less one degree is split at its middle (no
//     error).
// So the boundary lies within t + 10 c + 1e-8 * 3 + (rounding of the long
// double distance, 1e-15) < 1.1e-6 of the exact one, and the winding of a
// point more than that from it is decided right.  The band takes twice that
// bound, eps = 2 (t + 10 c + 3e-8), so a point at the band's edge lies at
// least the bound away from every place the result may be.
#include "chainops/region_oracle.h"
#include "offset/region_offset_oracle.h"
#include "offset/trace_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_region_offset.h>
#include <quorn/quorn.h>
#include <stend/error.h>
#include <velte/testing.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using trace_test::control_name;
using trace_test::Seg;
using trace_test::twice_signed_area;
using trace_test::Vertex;

const long double kPi = 3.141592653589793238462643383279502884L;

SIDE swapped(SIDE s) { return s == LEFT ? RIGHT : LEFT; }

struct Case {
    std::vector<Vertex> vertices;
    bool closed;
    SIDE side;
    double offset;  // the magnitude
    CORNER_CONTROL control;
};

std::string describe(const Case& c, int index) {
    std::ostringstream out;
    out.precision(17);
    out << "case " << index << ": " << (c.closed ? "closed" : "open") << (c.side == LEFT ? " LEFT" : " RIGHT")
        << " d=" << c.offset << " " << control_name(c.control) << " {";
    for (size_t k = 0; k < c.vertices.size() && k < 16; ++k)
        out << "{" << c.vertices[k].x << ", " << c.vertices[k].y << ", " << c.vertices[k].bulge << "}, ";
    if (c.vertices.size() > 16) out << "... " << c.vertices.size() << " vertices";
    out << "}";
    return out.str();
}

// A star-shaped chain about the origin: 4 to 8 vertices at sorted angles and
// radii 0.6 to 1.4, reversed at random; about a third of the pieces are arcs,
// a quarter of those sweeping more than a half circle (bulge beyond 1).
// Open chains leave out the closing piece.  Offsets from 0.01 to 0.8.
Case random_case(std::mt19937& rng) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Case c;
    const int n = 4 + static_cast<int>(unit(rng) * 5);
    std::vector<double> angles;
    for (int i = 0; i < n; ++i) angles.push_back(unit(rng) * 2 * static_cast<double>(kPi));
    std::sort(angles.begin(), angles.end());
    const bool reverse = unit(rng) < 0.5;
    for (int i = 0; i < n; ++i) {
        const double a = reverse ? -angles[i] : angles[i];
        const double r = 0.6 + 0.8 * unit(rng);
        double bulge = 0.0;
        if (unit(rng) < 0.35) {
            const double sign = unit(rng) < 0.5 ? -1.0 : 1.0;
            bulge = unit(rng) < 0.25 ? sign * (1.05 + unit(rng)) : sign * (0.05 + 0.45 * unit(rng));
        }
        c.vertices.push_back({r * std::cos(a), r * std::sin(a), bulge});
    }
    c.closed = unit(rng) < 0.6;
    c.side = unit(rng) < 0.5 ? LEFT : RIGHT;
    c.offset = std::exp(std::log(0.01) + unit(rng) * (std::log(0.8) - std::log(0.01)));
    const CORNER_CONTROL controls[] = {ADD_ARC, EXTEND_TANGENT, BREAK_CORNER, ALWAYS_EXTEND_TANGENT};
    c.control = controls[std::min(3, static_cast<int>(unit(rng) * 4))];
    return c;
}


// Unit tangent of a piece at one of its points, in the piece's direction.
void tangent_at(const Seg& s, long double x, long double y, long double* tx, long double* ty) {
    if (!s.arc) {
        const long double l = std::hypot(s.bx - s.ax, s.by - s.ay);
        *tx = (s.bx - s.ax) / l, *ty = (s.by - s.ay) / l;
        return;
    }
    const long double sense = s.sweep > 0 ? 1 : -1;
    *tx = -sense * (y - s.cy) / s.r, *ty = sense * (x - s.cx) / s.r;
}

// The nearest point of a piece to p, and whether it is the piece's start (-1)
// or end (+1) rather than an inner point (0).
long double nearest_on(const Seg& s, long double px, long double py, long double* qx, long double* qy, int* end) {
    const long double da = std::hypot(px - s.ax, py - s.ay), db = std::hypot(px - s.bx, py - s.by);
    long double best = da;
    *qx = s.ax, *qy = s.ay, *end = -1;
    if (db < best) best = db, *qx = s.bx, *qy = s.by, *end = 1;
    if (!s.arc) {
        const long double dx = s.bx - s.ax, dy = s.by - s.ay, l2 = dx * dx + dy * dy;
        const long double t = ((px - s.ax) * dx + (py - s.ay) * dy) / l2;
        if (t > 0 && t < 1) {
            const long double x = s.ax + t * dx, y = s.ay + t * dy, at = std::hypot(px - x, py - y);
            if (at < best) best = at, *qx = x, *qy = y, *end = 0;
        }
        return best;
    }
    const long double rc = std::hypot(px - s.cx, py - s.cy);
    if (rc > 0 && trace_test::within_sweep(s, px, py)) {
        const long double at = std::fabs(rc - s.r);
        if (at < best) best = at, *qx = s.cx + s.r * (px - s.cx) / rc, *qy = s.cy + s.r * (py - s.cy) / rc, *end = 0;
    }
    return best;
}

// Distances t in [0, length] along the segment from (qx, qy) in the unit
// direction (ux, uy) at which it crosses the piece.
void crossings_with(const Seg& s, long double qx, long double qy, long double ux, long double uy, long double length,
                    std::vector<long double>* out) {
    if (!s.arc) {
        const long double ex = s.bx - s.ax, ey = s.by - s.ay;
        const long double den = ux * ey - uy * ex;
        if (den == 0) return;
        const long double wx = s.ax - qx, wy = s.ay - qy;
        const long double t = (wx * ey - wy * ex) / den, u = (wx * uy - wy * ux) / den;
        if (t >= 0 && t <= length && u >= 0 && u <= 1) out->push_back(t);
        return;
    }
    const long double wx = qx - s.cx, wy = qy - s.cy;
    const long double b = ux * wx + uy * wy, c = wx * wx + wy * wy - s.r * s.r;
    const long double disc = b * b - c;
    if (disc < 0) return;
    const long double root = std::sqrt(disc);
    for (long double t : {-b - root, -b + root}) {
        if (t < 0 || t > length) continue;
        if (trace_test::within_sweep(s, qx + t * ux, qy + t * uy)) out->push_back(t);
    }
}

// The source chain and what the oracle needs of it.
struct Source {
    RING_header_s* chain = nullptr;
    std::vector<Seg> segs;
    bool closed = false;
    SIDE side = LEFT;
    long double sense = 1;  // +1 counter-clockwise, -1 clockwise (closed)
    // The vertices at which the offsets of the two pieces part (convex for
    // the side), with the angle phi between the incoming direction and the
    // outgoing one reversed.
    struct Corner {
        long double x, y, phi;
    };
    std::vector<Corner> corners;
    long double lo_x = 1e30L, hi_x = -1e30L, lo_y = 1e30L, hi_y = -1e30L;

    // Material inside the closed chain.
    bool island() const { return (sense > 0) == (side == LEFT); }
};

// The corner zone radius of a convex corner for the control: the farthest
// from the vertex that the control's corner material reaches.
long double corner_bound(CORNER_CONTROL control, long double d, long double phi) {
    switch (control) {
        case BREAK_CORNER: return std::sqrt(2.0L) * d;
        case EXTEND_TANGENT: return 2 * d;
        case ALWAYS_EXTEND_TANGENT: return d / std::sin(phi / 2);
        default: return 0;
    }
}

Source describe_source(RING_header_s* chain, bool closed, SIDE side) {
    Source s;
    s.chain = chain, s.segs = trace_test::segments_of(chain), s.closed = closed, s.side = side, s.sense = 1;
    if (closed) s.sense = twice_signed_area(s.segs) > 0 ? 1 : -1;
    const size_t n = s.segs.size();
    for (size_t k = 0; k < n; ++k) {
        if (!closed && k + 1 == n) break;
        const Seg& in = s.segs[k];
        const Seg& out = s.segs[(k + 1) % n];
        long double ix, iy, ox, oy;
        tangent_at(in, in.bx, in.by, &ix, &iy);
        tangent_at(out, out.ax, out.ay, &ox, &oy);
        const long double turn = ix * oy - iy * ox;
        // Material on the left and a left turn: the offsets (on the right)
        // part and the corner is joined.
        if ((side == LEFT ? turn : -turn) > 1e-12L) {
            const long double phi = std::acos(std::fmax(-1.0L, std::fmin(1.0L, -(ix * ox + iy * oy))));
            s.corners.push_back({in.bx, in.by, phi});
        }
    }
    for (const Seg& g : s.segs)
        for (long double u = 0; u <= 1.0L; u += 0.0625L) {
            long double x, y;
            trace_test::point_at(g, u, &x, &y);
            s.lo_x = std::fmin(s.lo_x, x), s.hi_x = std::fmax(s.hi_x, x);
            s.lo_y = std::fmin(s.lo_y, y), s.hi_y = std::fmax(s.hi_y, y);
        }
    return s;
}

// The corner zones reach this much beyond their bound.  The family runs set
// it to the band: a corner's material reaches the bound exactly at the tip of
// an extended corner, and the tip computed by the offset lies within the
// band of it, on either side.
long double g_corner_zone_slack = 0;

bool in_corner_zone(const Source& s, CORNER_CONTROL control, long double d, long double x, long double y) {
    if (control == ADD_ARC) return false;
    for (const Source::Corner& c : s.corners)
        if (std::hypot(x - c.x, y - c.y) <= corner_bound(control, d, c.phi) + g_corner_zone_slack) return true;
    return false;
}

// Material layers the result chains put at a point: the winding of each
// chain counted for material on its left and against it for material on its
// right (read with every side swapped when asked).
int level_of(const std::vector<RING_header_s*>& result, const double p[2], bool swap_sides) {
    int level = 0;
    for (RING_header_s* c : result) {
        const bool right = region_oracle::data_of(c)->material_side == RIGHT;
        const int w = region_oracle::winding(c, p);
        level += (right != swap_sides) ? -w : w;
    }
    return level;
}

long double distance_to_result(const std::vector<std::vector<Seg>>& result, long double x, long double y) {
    long double best = 1e30L;
    for (const auto& c : result) best = std::fmin(best, trace_test::distance_to(c, x, y));
    return best;
}

struct Tally {
    int failures = 0;
    int closed_cases = 0, open_cases = 0, null_results = 0, points = 0, normals = 0, engine_agreements = 0;
    // Quiet: failures are counted and the first one since `first` was last
    // cleared is kept for the caller to report.
    bool quiet = false;
    std::string first;
    void fail(const std::string& what) {
        if (quiet) {
            if (first.empty()) first = what;
            ++failures;
            return;
        }
        if (failures++ < 12) ADD_FAILURE() << what;
    }
};

const long double kCellBound = 4e-9L;  // the newer engine's grid cell on these chains (extent below 8)

// The factor by which the scaled family runs scale the outlines and offsets
// (1 elsewhere).  The grid cell and the chord errors (1e-8 of radii of a few
// units) scale with the outline; the tracing tolerance is the host's and
// does not.
long double g_scale = 1;

long double band_eps() {
    return 2 * (static_cast<long double>(EQ_ask_length_tolerance()) + 10 * kCellBound * g_scale + 3e-8L * g_scale);
}

// The sample grid over the source's box grown by the offset and a margin
// (the result reaches d beyond the source on the offset side).
const int kCells = 36;
const size_t kGridPoints = (kCells + 1) * (kCells + 1);
void grid_point(const Source& src, long double d, size_t k, long double* x, long double* y) {
    const long double grow = d + 0.1L * g_scale;
    const long double i = static_cast<long double>(k / (kCells + 1)), j = static_cast<long double>(k % (kCells + 1));
    *x = src.lo_x - grow + (src.hi_x - src.lo_x + 2 * grow) * i / kCells;
    *y = src.lo_y - grow + (src.hi_y - src.lo_y + 2 * grow) * j / kCells;
}

// What one offset is checked with: the source as the oracle reads it (with
// the swapped side for a negative offset, whose result chains carry the
// source's own side and are then read swapped too), the offset's magnitude
// and control, and the result.
struct Check {
    const Source* seen;
    bool swap_result_sides;
    long double d;
    CORNER_CONTROL control;
    std::vector<RING_header_s*> result;
    std::vector<std::vector<Seg>> result_segs;
};

// A closed source: whether the point is free by the result's winding, and
// the failure the oracle finds there (empty when none).
std::string check_closed_point(const Check& c, long double x, long double y, bool* free, Tally* tally) {
    const Source& src = *c.seen;
    const long double eps = band_eps();
    const double p[2] = {static_cast<double>(x), static_cast<double>(y)};
    const int free_level = src.island() ? 0 : -1;
    const int level = level_of(c.result, p, c.swap_result_sides);
    *free = level <= free_level;
    if (level != free_level && level != free_level + 1)
        return "lies under " + std::to_string(level - free_level) + " material layers";
    const long double at = trace_test::distance_to(src.segs, x, y);
    if (std::fabs(at - c.d) <= eps) return "";
    ++tally->points;
    const bool inside = region_oracle::winding(src.chain, p) != 0;
    const bool expected_free = (src.island() ? !inside : inside) && at >= c.d;
    const std::string distance = " at " + std::to_string(static_cast<double>(at)) + " from the source";
    if (*free && at < c.d - eps) return distance + " is free";
    if (!in_corner_zone(src, c.control, c.d, x, y) && expected_free != *free)
        return distance + " is " + (*free ? "free" : "material") + ", expected " +
               (expected_free ? "free" : "material");
    return "";
}

// An open source: the failure the oracle finds along the segment from the
// point's nearest source point to it (empty when none, or when the point is
// not checked: nearest to an end, on the material side, in the band or in a
// corner zone).
std::string check_open_point(const Check& c, long double x, long double y, Tally* tally) {
    const Source& src = *c.seen;
    const long double eps = band_eps();
    long double best = 1e30L, qx = 0, qy = 0;
    size_t piece = 0;
    int end = 0;
    for (size_t k = 0; k < src.segs.size(); ++k) {
        long double ax, ay;
        int e;
        const long double at = nearest_on(src.segs[k], x, y, &ax, &ay, &e);
        if (at < best) best = at, qx = ax, qy = ay, piece = k, end = e;
    }
    if ((piece == 0 && end < 0) || (piece + 1 == src.segs.size() && end > 0)) return "";
    // A nearest point within the band of a chain end is that end: the point
    // lies on the end normal, where the result ends, and whether the segment
    // meets the result's last point there is decided by rounding.
    const Seg& first = src.segs.front();
    const Seg& last = src.segs.back();
    if ((piece == 0 && std::hypot(qx - first.ax, qy - first.ay) <= eps) ||
        (piece + 1 == src.segs.size() && std::hypot(qx - last.bx, qy - last.by) <= eps))
        return "";
    if (best <= eps || std::fabs(best - c.d) <= eps) return "";
    // On the offset side of the nearest piece (of both pieces at a vertex):
    // the right of the chain for material LEFT, its left for RIGHT.
    std::vector<size_t> pieces{piece};
    if (end != 0) pieces.push_back(end > 0 ? piece + 1 : piece - 1);
    for (size_t k : pieces) {
        long double tx, ty;
        tangent_at(src.segs[k], qx, qy, &tx, &ty);
        const long double cross = (tx * (y - qy) - ty * (x - qx)) / best;
        if (std::fabs(cross) < 1e-9L || (cross > 0) != (src.side == RIGHT)) return "";
    }
    if (in_corner_zone(src, c.control, c.d, x, y)) return "";
    ++tally->normals;
    const long double ux = (x - qx) / best, uy = (y - qy) / best;
    std::vector<long double> ts;
    for (const auto& chain : c.result_segs)
        for (const Seg& g : chain) crossings_with(g, qx, qy, ux, uy, best, &ts);
    std::sort(ts.begin(), ts.end());
    // A crossing through a vertex of the result is found on both its pieces.
    ts.erase(std::unique(ts.begin(), ts.end(), [](long double a, long double b) { return b - a < 1e-9L * g_scale; }),
             ts.end());
    // Every point of the segment has q as its nearest source point, so a
    // crossing at t lies t from the source: never below |d| - eps.  Outside
    // the corner zones the result crosses only at |d|, and once where the
    // point at |d| lies outside them; a corner's material may cross the
    // segment anywhere inside its zone.
    int at_d = 0;
    bool right = true;
    for (long double t : ts) {
        if (t < c.d - eps) right = false;
        if (in_corner_zone(src, c.control, c.d, qx + t * ux, qy + t * uy)) continue;
        if (std::fabs(t - c.d) <= eps) ++at_d;
        else right = false;
    }
    if (best > c.d + eps && !in_corner_zone(src, c.control, c.d, qx + c.d * ux, qy + c.d * uy) && at_d != 1)
        right = false;
    if (right) return "";
    std::ostringstream got;
    got.precision(12);
    got << " at " << static_cast<double>(best) << ": the segment from its nearest source point crosses the result";
    if (ts.empty()) got << " nowhere";
    for (long double t : ts) got << " at " << static_cast<double>(t);
    return got.str();
}

// One offset of a source, by the oracle.  `seen_side` is the side the source
// is read with.  Returns the free answer of every grid point (closed
// sources), for comparing the engines.
std::vector<signed char> check_offset(const Source& src, SIDE seen_side, bool swap_result_sides,
                                      RING_header_s* list, long double d, CORNER_CONTROL control,
                                      const std::string& label, Tally* tally) {
    const Source seen = seen_side == src.side ? src : describe_source(src.chain, src.closed, seen_side);
    Check c{&seen, swap_result_sides, d, control, {}, {}};
    if (list) c.result = region_oracle::chains_in(list);
    for (RING_header_s* r : c.result) c.result_segs.push_back(trace_test::segments_of(r));
    std::vector<signed char> answers;
    int reported = 0;
    for (size_t k = 0; k < kGridPoints; ++k) {
        long double x, y;
        grid_point(src, d, k, &x, &y);
        bool free = false;
        const std::string what = src.closed ? check_closed_point(c, x, y, &free, tally) : check_open_point(c, x, y, tally);
        if (src.closed) answers.push_back(static_cast<signed char>(free));
        if (what.empty()) continue;
        if (reported++ >= 3) {
            ++tally->failures;
            continue;
        }
        std::ostringstream where;
        where.precision(17);
        where << label << ": point (" << static_cast<double>(x) << ", " << static_cast<double>(y) << ")" << what;
        tally->fail(where.str());
    }
    return answers;
}

// The side and the vertices of a source, to see that an offset left them.
struct Snapshot {
    SIDE side;
    DIRECTION direction;
    int count;
    bool closed;
    std::vector<double> coords;
    bool there_and_back;
};
Snapshot snapshot(const RING_header_s* chain) {
    Snapshot s{trace_test::side_of(chain), region_oracle::data_of(chain)->direction, chain->count,
               trace_test::is_closed(chain), {}, false};
    s.there_and_back = APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_THERE_AND_BACK) != nullptr;
    trace_test::for_each_vertex(chain, [&](const RING_node_s* v, int) {
        // The point, and for an arc its centre, radius and sense.
        const double* g = trace_test::point_of(v);
        s.coords.insert(s.coords.end(), g, g + 2);
        s.coords.push_back(CHAIN_seg_ask_type(v));
        if (CHAIN_seg_ask_type(v) == SEG_ARC) {
            const end_segment* e = trace_test::arc_of(v);
            s.coords.insert(s.coords.end(), {e->cx, e->cy, e->radius, static_cast<double>(e->direction)});
        }
        s.there_and_back |= APP_DATA__ask_app_data(v->app_data, CHAIN_APP_DATA_THERE_AND_BACK) != nullptr;
    });
    return s;
}
bool same(const Snapshot& a, const Snapshot& b) {
    return a.side == b.side && a.direction == b.direction && a.count == b.count && a.closed == b.closed && a.coords == b.coords &&
           a.there_and_back == b.there_and_back;
}

// Two checks of one offset that need no sample grid of the region:
//   - distances: points sampled along every result piece (its ends and 7
//     between) lie at |d| from the source within the band with ADD_ARC, and
//     never nearer than |d| less the band with every control;
//   - emptiness: for a closed source offset into the area it encloses, the
//     largest distance r from the source of the grid points inside it
//     bounds the inscribed radius: the true one lies within h (half a grid
//     cell's diagonal) above r, as every point lies within h of a grid point.
//     Beyond r + h + the band nothing is left: the result must be null.  Below
//     r less the band a disk of radius r - d is left (ADD_ARC, whose result is
//     exactly the points at d or more): the result must not be null.
void check_distances_and_emptiness(const Source& src, SIDE seen_side, const RING_header_s* list, long double d,
                                   CORNER_CONTROL control, const std::string& label, Tally* tally) {
    const long double eps = band_eps();
    int reported = 0;
    const std::vector<RING_header_s*> result =
        list ? region_oracle::chains_in(list) : std::vector<RING_header_s*>{};
    for (RING_header_s* r : result)
        for (const Seg& g : trace_test::segments_of(r))
            for (int k = 0; k <= 8; ++k) {
                long double x, y;
                trace_test::point_at(g, k / 8.0L, &x, &y);
                const long double at = trace_test::distance_to(src.segs, x, y);
                const bool wrong = control == ADD_ARC ? std::fabs(at - d) > eps : at < d - eps;
                if (!wrong) continue;
                if (reported++ < 2) {
                    std::ostringstream what;
                    what.precision(17);
                    what << label << ": result point (" << static_cast<double>(x) << ", " << static_cast<double>(y)
                         << ") lies " << static_cast<double>(at) << " from the source";
                    tally->fail(what.str());
                } else {
                    ++tally->failures;
                }
            }
    // No result chain is a closed chain of no area (a chain along a line and
    // back, or a strip narrower than the host's length tolerance, which no
    // tool can follow): its mean width, twice its area over its length,
    // stays within the tolerance.  The sampling band is no measure here: a
    // strip a little wider than the tolerance (d that much short of half a
    // width) is a region, and every point of it lies at d.
    for (RING_header_s* r : result) {
        if (!trace_test::is_closed(r)) continue;
        const std::vector<Seg> segs = trace_test::segments_of(r);
        long double length = 0;
        for (const Seg& g : segs)
            length += g.arc ? std::fabs(g.sweep) * g.r : std::hypot(g.bx - g.ax, g.by - g.ay);
        if (std::fabs(twice_signed_area(segs)) <= static_cast<long double>(EQ_ask_length_tolerance()) * length)
            tally->fail(label + ": a closed result chain of no area, " + std::to_string(r->count) + " vertices");
    }
    if (!src.closed) return;
    const Source seen = seen_side == src.side ? src : describe_source(src.chain, src.closed, seen_side);
    if (seen.island()) return;
    long double inscribed = 0, cell = 0;
    for (size_t k = 0; k < kGridPoints; ++k) {
        long double x, y;
        grid_point(src, d, k, &x, &y);
        const double p[2] = {static_cast<double>(x), static_cast<double>(y)};
        if (region_oracle::winding(src.chain, p) == 0) continue;
        inscribed = std::fmax(inscribed, trace_test::distance_to(src.segs, x, y));
    }
    {
        long double x0, y0, x1, y1;
        grid_point(src, d, 0, &x0, &y0);
        grid_point(src, d, kCells + 2, &x1, &y1);
        cell = std::hypot(x1 - x0, y1 - y0) / 2;
    }
    if (list && d > inscribed + cell + eps)
        tally->fail(label + ": a result where nothing is left (inscribed radius below " +
                    std::to_string(static_cast<double>(inscribed + cell)) + ")");
    if (!list && control == ADD_ARC && d < inscribed - eps)
        tally->fail(label + ": null where a disk of radius " + std::to_string(static_cast<double>(inscribed - d)) +
                    " is left");
}

class OffsetOracle : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "offset oracle test", __LINE__, __FILE__); }
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        CMEM_private_delete_pool(pool);
    }

    // Offsets `cases` random chains from the seed at +d and -d on both
    // engines and checks every result by the oracle.
    void run(unsigned seed, int cases, Tally* tally) {
        std::mt19937 rng(seed);
        for (int index = 0, done = 0; done < cases; ++index) {
            const Case c = random_case(rng);
            RING_header_s* chain = trace_test::appended_chain(pool, c.vertices, c.closed, c.side);
            const std::vector<Seg> segs = trace_test::segments_of(chain);
            bool short_piece = false;
            for (const Seg& s : segs) short_piece |= std::hypot(s.bx - s.ax, s.by - s.ay) < 0.05;
            if (short_piece || CHAIN_has_self_intersections(chain)) continue;
            ++done;
            check_case(c, chain, describe(c, index), tally);
        }
    }

    // One chain at +d and -d on both engines: the source is left as it was,
    // the result chains carry its side, every result passes the oracle, and
    // for a closed chain the engines agree off both results' boundaries.
    // With `calls`, each offset is also checked by its sampled distances and
    // its emptiness (check_distances_and_emptiness) and its verdict handed
    // to calls(engine, negative, wrong); a disagreement of the engines is
    // handed over as engine 2.
    void check_case(const Case& c, RING_header_s* chain, const std::string& name, Tally* tally,
                    const std::function<void(int, bool, bool)>& calls = nullptr) {
        (c.closed ? tally->closed_cases : tally->open_cases)++;
        const Source src = describe_source(chain, c.closed, c.side);
        std::vector<signed char> answers[2];
        RING_header_s* lists[2] = {nullptr, nullptr};
        bool compare = c.closed;
        for (int engine = 0; engine < 2; ++engine) {
            CHAIN_set_new_boolean_flag(engine == 1);
            const std::string on = engine ? " (newer engine)" : " (older engine)";
            for (double sign : {1.0, -1.0}) {
                const int failures_before = tally->failures;
                struct Verdict {
                    const std::function<void(int, bool, bool)>& calls;
                    const Tally* tally;
                    int before, engine;
                    bool negative;
                    ~Verdict() {
                        if (calls) calls(engine, negative, tally->failures > before);
                    }
                } verdict{calls, tally, failures_before, engine, sign < 0};
                const Snapshot before = snapshot(chain);
                const std::string label = name + on + (sign < 0 ? " at -d" : " at +d");
                RING_header_s* list = nullptr;
                const SIDE seen = sign < 0 ? swapped(c.side) : c.side;
                try {
                    list = CHAIN_offset(chain, sign * c.offset, c.control, c.side, nullptr, nullptr, nullptr, pool,
                                        nullptr);
                } catch (const Korvo::Error::Exception& e) {
                    // A valid chain and offset: an error is a fault.
                    tally->fail(label + ": raised " + std::to_string(e.askCode()) + " \"" + e.askText() + "\"");
                    if (!same(before, snapshot(chain))) tally->fail(label + ": the error left the source changed");
                    if (sign > 0) compare = false;
                    continue;
                }
                if (!same(before, snapshot(chain))) tally->fail(label + ": the source was not left as it was");
                if (!list) ++tally->null_results;
                if (list && list->count == 0) tally->fail(label + ": an empty list instead of null");
                if (list)
                    for (RING_header_s* r : region_oracle::chains_in(list))
                        if (trace_test::side_of(r) != c.side)
                            tally->fail(label + ": a result chain carries side " +
                                        std::to_string(trace_test::side_of(r)));
                // A chain at -d is the chain with the other side at +d, its
                // result chains read with that side.
                std::vector<signed char> got = check_offset(src, seen, sign < 0, list, c.offset, c.control, label, tally);
                if (calls) check_distances_and_emptiness(src, seen, list, c.offset, c.control, label, tally);
                if (sign > 0) answers[engine] = std::move(got), lists[engine] = list;
            }
        }
        if (!compare) return;
        // The engines agree on every grid point off both results'
        // boundaries, corner zones included.
        ++tally->engine_agreements;
        std::vector<std::vector<Seg>> both;
        for (RING_header_s* l : lists)
            if (l)
                for (RING_header_s* r : region_oracle::chains_in(l)) both.push_back(trace_test::segments_of(r));
        int differ = 0;
        for (size_t k = 0; k < answers[0].size(); ++k) {
            if (answers[0][k] == answers[1][k]) continue;
            long double x, y;
            grid_point(src, c.offset, k, &x, &y);
            differ += distance_to_result(both, x, y) > band_eps();
        }
        if (differ) tally->fail(name + ": the engines differ at " + std::to_string(differ) + " grid points");
        if (calls) calls(2, false, differ != 0);
    }

    CMEM_pool_s* pool = nullptr;
};

TEST_F(OffsetOracle, RandomChainsMatchTheBruteForceOffsetRegion) {
    Tally tally;
    run(20261210u, 400, &tally);
    EXPECT_EQ(tally.failures, 0);
    std::printf("closed %d, open %d, null results %d, region points %d, normals %d, engine comparisons %d\n",
                tally.closed_cases, tally.open_cases, tally.null_results, tally.points, tally.normals,
                tally.engine_agreements);
    // The run covers what it claims to.
    EXPECT_GT(tally.closed_cases, 200);
    EXPECT_GT(tally.open_cases, 120);
    EXPECT_GT(tally.points, 1000000);
    EXPECT_GT(tally.normals, 200000);
    EXPECT_GT(tally.engine_agreements, 150);
}

// Small chains where a fault shows plainly, through the same oracle.
TEST_F(OffsetOracle, SmallChainsMatchTheBruteForceOffsetRegion) {
    const Case table[] = {
        // A pocket with a slot narrower than 2d: at -d the slot closes up.
        {{{0, 0}, {3, 0}, {3, 2}, {1.6, 2}, {1.6, 0.5}, {1.4, 0.5}, {1.4, 2}, {0, 2}}, true, RIGHT, 0.3, ADD_ARC},
        // A square island with an arc beyond a half circle on one side.
        {{{0, 0}, {2, 0}, {2, 2, 1.5}, {0, 2}}, true, LEFT, 0.25, EXTEND_TANGENT},
        // The same square as a pocket: inward the arc's lobe narrows.
        {{{0, 0}, {2, 0}, {2, 2, 1.5}, {0, 2}}, true, RIGHT, 0.4, ALWAYS_EXTEND_TANGENT},
        // An open corner with broken corners.
        {{{0, 0}, {1, 0}, {1, 1}}, false, LEFT, 0.1, BREAK_CORNER},
        // An open chain through an arc beyond a half circle.
        {{{0, 0}, {1, 0}, {2, 0, -1.3}, {3, 0.5}}, false, RIGHT, 0.2, ADD_ARC},
        // Open chains the newer engine's special tracing raised on.
        {{{0.25, 0.56}, {0, -0.6}, {0.37, -0.68}}, false, LEFT, 0.6, ADD_ARC},
        {{{-0.78219715767953502, -1.0635076482921797},
          {-0.70318025538518392, -0.38707593257554368, 1.7916316576135292},
          {-1.0581865149271346, -0.5396201825973983}},
         false,
         LEFT,
         0.34222309055077371,
         ADD_ARC},
        // An open chain through an arc, offset beyond that arc's radius,
        // whose kept run the trimming cut twice at one point near its end:
        // the newer engine once offset it to nothing.
        {{{0.71015985569754392, -0.6678840480128081},
          {-0.32302342654811617, 1.0189043120382986},
          {0.94669414132561835, 0.29008503293594845, 0.21301027931733341},
          {0.66998665211331099, 0.15863604238268936}},
         false,
         RIGHT,
         0.55450267445691048,
         ALWAYS_EXTEND_TANGENT},
        // An open chain of lines and arcs with broken corners whose stocked
        // walk, cleaned as an open chain, kept on the newer engine stretches
        // that run into the material and a cap about its end (at -d).
        {{{0.76329059793124454, -0.0623781853186227},
          {1.3563889927387507, -0.34248725976461192},
          {0.073527495414567975, -1.0668161767263047},
          {0.014217938865663278, -0.66411255375958567, 0.42249777366279517},
          {-0.61106648372879357, 0.082137785444437339, 1.1070306916258847},
          {-1.0842694881987014, 0.75555118481561334, -0.32061266603934185},
          {0.76908064945034627, 0.67915492272072286, -0.47231335674202107},
          {0.90289961176046385, 0.12957488075593829}},
         false,
         RIGHT,
         0.42875119112938387,
         BREAK_CORNER},
        // An open chain of lines and arcs with broken corners whose stocked
        // walk, cleaned as an open chain, kept on the older engine a stretch
        // inside the material.
        {{{0.63021416245158057, -0.2314875413590376},
          {0.89616832269171987, -0.40268123211988921, -0.12042890690986398},
          {0.97005388348992705, -0.73523193379902796},
          {0.64758336750487622, -0.53473045822873677},
          {0.35367261145091677, -1.079790426215975},
          {-0.55408758994491281, -0.94306996403181753},
          {-0.081723709462810198, 1.3582438700644122},
          {0.54855832588274389, 0.44499933090949068, -0.38192661402208306}},
         false,
         LEFT,
         0.68176979528955284,
         BREAK_CORNER},
        // Open chains with a sharp turn whose corner, on the side an open
        // offset drops, the newer engine once extended: at a near-reversal
        // (first) the extension reached across the chain to its last piece,
        // at -d (second) across to the arc, and the clean cut the kept offset
        // there.
        {{{0.70503342680506875, -0.46453197502938359},
          {0.52108855302148149, -0.36655314213831319},
          {0.56234626690655398, -0.3975619262372862},
          {0.25390703727109892, -0.57825425052136625, 0.31225138688596732},
          {0.071540357481502795, -0.65465367131399899, 1.9188065202517297},
          {-0.61152049035324285, -0.12367351492380577, 0.2931492958306719},
          {-1.394930975106037, -0.069349373308721721},
          {-0.4795929288214365, 0.74948304048749059, -0.36152140519669201}},
         false,
         RIGHT,
         0.17874096882319404,
         ALWAYS_EXTEND_TANGENT},
        {{{-0.78333767367974105, -0.40019685393061971},
          {-0.69506551918382153, -0.34434898784893631},
          {-1.3289187039546637, -0.0089974946080631519, 1.1936758660289106},
          {-0.073754218960473336, 1.0248235482123742},
          {1.2499648122244444, 0.21131965392580393}},
         false,
         RIGHT,
         0.64562444058070734,
         ALWAYS_EXTEND_TANGENT},
        // Open chains with broken corners whose first arc collapses at -d:
        // the newer engine joined the cap round the chain's start to the
        // circle about the arc's far end by a notch into the material.
        {{{-0.71049896941648161, -0.044521975966925524},
          {-0.59050996255992205, -0.33053161761414429, -0.23386020961198783},
          {0.93716984102688583, -1.0033478512299256, 0.32772677228527525},
          {1.0546663368498059, -0.047195634430424308}},
         false,
         RIGHT,
         0.51352267552606878,
         BREAK_CORNER},
        {{{-0.70972493623707544, -0.89820839264973362},
          {-0.96050739259047735, -0.68040287383868969, 0.44536827181263555},
          {-0.6258275827032127, 0.24359171235275004},
          {-0.83309915982874694, 0.59854016207861704, 0.49007562053672138}},
         false,
         LEFT,
         0.72919504467407226,
         BREAK_CORNER},
        // An open chain of lines with broken corners whose walk swallows the
        // offset of its second piece at a sharp concave turn: the join arc at
        // the next corner grazes the end of the turn's incoming offset, the
        // loop was left uncut and the older engine's clean found no loop.
        {{{0.75277745585285405, 0.25721547746736456},
          {0.37444361791286457, 0.73323604961492261},
          {-0.32015097531741937, 0.85819197267719771},
          {0.032198935739165109, -0.81895154228421496}},
         false,
         LEFT,
         0.4754345331507967,
         BREAK_CORNER},
        // An open arc and line the newer engine once offset to nothing.
        {{{-0.25230595921676768, -0.79068001074799432},
          {-0.65574524241647958, -0.49637168052958586, -0.41442995020709938},
          {-0.79694290950397728, 0.40823074552137723}},
         false,
         RIGHT,
         0.056213848652772631,
         ADD_ARC},
        // A pocket a thousandth of a unit across with broken corners, whose
        // wall runs into it as a spike: an arc down to the tip and a line back
        // up, their tangents 1 degree short of a reversal.  The arc bends
        // across the line 4e-5 from the tip, a sliver 2e-7 wide, below the
        // length tolerance: the spike parts as material, and the half circles
        // about its tip are the offset there.  Read by its tangents alone, as
        // a slit, the tip's half circles were connecting pieces, and the
        // newer engine's clean cut the offset back to the tip.
        {{{-0.0008, 0.0},
          {0.0004, 0.0},
          {0.0004, 0.001},
          {-0.00029735511992775221, 0.001138688746052764},
          {-0.00020228283823224289, 0.00066318877465194035, 0.11080116481554214},
          {-0.00042128879109099655, 0.0011812799407916724},
          {-0.0008, 0.0012}},
         true,
         RIGHT,
         0.00032672105629352212,
         BREAK_CORNER},
    };
    Tally tally;
    int index = 0;
    for (const Case& c : table) {
        RING_header_s* chain = trace_test::appended_chain(pool, c.vertices, c.closed, c.side);
        ASSERT_FALSE(CHAIN_has_self_intersections(chain)) << describe(c, index);
        check_case(c, chain, describe(c, index++), &tally);
    }
    EXPECT_EQ(tally.failures, 0);
}

// On the newer engine an open chain offset at -d comes back open, without
// its there-and-back marks, with its side and vertices, and its offset passes
// the oracle; so it does when a host abort is raised at any of the checks the
// open road makes (each run of the sweep raises at a later check).
TEST_F(OffsetOracle, NegativeOpenOffsetOnTheNewerEngineLeavesTheSource) {
    struct Open {
        std::vector<Vertex> vertices;
        SIDE side;
        double d;
        CORNER_CONTROL control;
    };
    const Open table[] = {
        // A zigzag of lines.
        {{{0, 0}, {1, 0.4}, {2, -0.3}, {3, 0.5}}, LEFT, 0.3, ADD_ARC},
        // Lines and an arc beyond a half circle, material on the right.
        {{{0, 0}, {1, 0}, {1.6, 0.8, 1.4}, {2.4, 0.2}}, RIGHT, 0.2, EXTEND_TANGENT},
        // A shallow arc between lines, offset past its radius on the inside.
        {{{0, 0}, {1, 1, -0.4}, {2, 0}}, LEFT, 0.9, ALWAYS_EXTEND_TANGENT},
    };
    CHAIN_set_new_boolean_flag(true);
    Tally tally;
    for (const Open& o : table) {
        RING_header_s* chain = trace_test::appended_chain(pool, o.vertices, false, o.side);
        const Source src = describe_source(chain, false, o.side);
        const Snapshot before = snapshot(chain);
        const std::string label = "open chain of " + std::to_string(o.vertices.size()) + " vertices at -" +
                                  std::to_string(o.d) + " " + control_name(o.control);
        velte_test::cancel_abort();
        RING_header_s* list = CHAIN_offset(chain, -o.d, o.control, o.side, nullptr, nullptr, nullptr, pool, nullptr);
        const long checks = velte_test::abort_checks();
        ASSERT_NE(list, nullptr) << label;
        EXPECT_TRUE(same(before, snapshot(chain))) << label;
        for (RING_header_s* r : region_oracle::chains_in(list)) EXPECT_EQ(trace_test::side_of(r), o.side) << label;
        check_offset(src, swapped(o.side), true, list, o.d, o.control, label, &tally);
        int raised = 0;
        for (long k = 0; k < checks; ++k) {
            const long pools = velte_test::live_pool_count();
            velte_test::request_abort(static_cast<int>(k));
            try {
                CHAIN_offset(chain, -o.d, o.control, o.side, nullptr, nullptr, nullptr, pool, nullptr);
            } catch (...) {
                ++raised;
            }
            velte_test::cancel_abort();
            EXPECT_TRUE(same(before, snapshot(chain))) << label << ", abort at check " << k;
            EXPECT_EQ(velte_test::live_pool_count(), pools) << label << ", abort at check " << k;
        }
        EXPECT_GT(raised, 0) << label << ": the open road made no abort check";
    }
    EXPECT_EQ(tally.failures, 0);
    EXPECT_GT(tally.normals, 100);
}

// Many more seeds: run with ctest -L long.
TEST_F(OffsetOracle, LongRandomChainsMatchTheBruteForceOffsetRegion) {
    const char* on = std::getenv("MERROW1_LONG_TESTS");
    if (on == nullptr || *on == '\0') GTEST_SKIP() << "set MERROW1_LONG_TESTS to run";
    Tally tally;
    for (unsigned seed = 1; seed <= 20; ++seed) run(seed * 7919u, 250, &tally);
    EXPECT_EQ(tally.failures, 0);
}

// ---------------------------------------------------------------------------
// Families of the inputs that break offset code, each offset with every
// corner control at +d and -d on both engines and checked by the oracle
// above, with the sampled distances, the emptiness and the zero-area check.
// The verdicts are counted per family, engine and corner control.

struct Family {
    const char* name;
    // A case of the family (its control is replaced by each control in turn).
    Case (*make)(std::mt19937& rng);
};

double uniform(std::mt19937& rng, double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
}
double log_uniform(std::mt19937& rng, double lo, double hi) {
    return std::exp(uniform(rng, std::log(lo), std::log(hi)));
}
SIDE any_side(std::mt19937& rng) { return uniform(rng, 0, 1) < 0.5 ? LEFT : RIGHT; }
// The side that puts the material outside a chain of the sense: a pocket.
SIDE pocket_side(bool ccw) { return ccw ? RIGHT : LEFT; }

// A star about the origin of n vertices at sorted angles and radii in
// [r_lo, r_hi], with arcs among the pieces when asked.
std::vector<Vertex> star(std::mt19937& rng, int n, double r_lo, double r_hi, bool arcs) {
    std::vector<double> angles;
    for (int i = 0; i < n; ++i) angles.push_back(uniform(rng, 0, 2 * static_cast<double>(kPi)));
    std::sort(angles.begin(), angles.end());
    std::vector<Vertex> v;
    for (double a : angles) {
        const double r = uniform(rng, r_lo, r_hi);
        double bulge = 0;
        if (arcs && uniform(rng, 0, 1) < 0.35) {
            const double sign = uniform(rng, 0, 1) < 0.5 ? -1.0 : 1.0;
            bulge = uniform(rng, 0, 1) < 0.25 ? sign * uniform(rng, 1.05, 2.05) : sign * uniform(rng, 0.05, 0.5);
        }
        v.push_back({r * std::cos(a), r * std::sin(a), bulge});
    }
    return v;
}

Case star_case(std::mt19937& rng, int n, bool arcs) {
    return {star(rng, n, 0.6, 1.4, arcs), true, any_side(rng), log_uniform(rng, 0.01, 0.8), ADD_ARC};
}
Case stars_with_lines(std::mt19937& rng) { return star_case(rng, 3 + static_cast<int>(uniform(rng, 0, 58)), false); }
Case stars_with_arcs(std::mt19937& rng) { return star_case(rng, 3 + static_cast<int>(uniform(rng, 0, 58)), true); }
Case stars_of_1000(std::mt19937& rng) {
    return {star(rng, 1000, 0.9, 1.1, false), true, any_side(rng), log_uniform(rng, 0.01, 0.3), ADD_ARC};
}

// A convex pocket: 3 to 14 vertices on an ellipse, material outside,
// offset into it up to beyond its inscribed radius.
Case convex_pockets(std::mt19937& rng) {
    const int n = 3 + static_cast<int>(uniform(rng, 0, 12));
    const double a = uniform(rng, 0.6, 1.4), b = uniform(rng, 0.6, 1.4);
    std::vector<double> angles;
    for (int i = 0; i < n; ++i) angles.push_back(uniform(rng, 0, 2 * static_cast<double>(kPi)));
    std::sort(angles.begin(), angles.end());
    std::vector<Vertex> v;
    for (double t : angles) v.push_back({a * std::cos(t), b * std::sin(t)});
    return {v, true, pocket_side(true), uniform(rng, 0.02, 1.2) * std::fmin(a, b), ADD_ARC};
}

// A rectangle or a slot (half circles at its ends) of width w as a pocket,
// offset into it at exactly half its width, or a little less or more.
Case rectangles_and_slots(std::mt19937& rng) {
    const double w = uniform(rng, 0.2, 1.0), l = uniform(rng, 1.0, 3.0);
    const double x0 = uniform(rng, -1, 0), y0 = uniform(rng, -1, 0);
    std::vector<Vertex> v;
    if (uniform(rng, 0, 1) < 0.5) {
        v = {{x0, y0}, {x0 + l, y0}, {x0 + l, y0 + w}, {x0, y0 + w}};
    } else {
        v = {{x0, y0}, {x0 + l, y0}, {x0 + l, y0 + w, 1.0}, {x0, y0 + w}};
        v[0].bulge = 1.0;
    }
    const double near[] = {0.0, 0.0, -1e-9, 1e-9, -1e-6, 1e-6, -1e-3, 1e-3};
    const double d = w / 2 + near[static_cast<int>(uniform(rng, 0, 8))];
    return {v, true, pocket_side(true), d, ADD_ARC};
}

// L and U shapes with arms of random widths, pockets or islands, closed
// or open along their outline.
Case l_and_u_shapes(std::mt19937& rng) {
    const double a = uniform(rng, 0.8, 2), b = uniform(rng, 0.8, 2);
    const double t1 = uniform(rng, 0.15, 0.6), t2 = uniform(rng, 0.15, 0.6);
    std::vector<Vertex> v;
    if (uniform(rng, 0, 1) < 0.5)
        v = {{0, 0}, {a, 0}, {a, t1}, {t2, t1}, {t2, b}, {0, b}};
    else
        v = {{0, 0}, {a, 0}, {a, b}, {a - t2, b}, {a - t2, t1}, {t2, t1}, {t2, b}, {0, b}};
    const bool closed = uniform(rng, 0, 1) < 0.7;
    return {v, closed, any_side(rng), log_uniform(rng, 0.01, 0.7), ADD_ARC};
}

// Tangent arc-line-arc profiles: a rectangle with its corners rounded by
// quarter circles tangent to its sides (closed), or a line, a tangent arc
// and a line (open).
Case tangent_profiles(std::mt19937& rng) {
    const double w = uniform(rng, 1, 2.5), h = uniform(rng, 0.8, 2);
    const double r = uniform(rng, 0.05, 0.45) * std::fmin(w, h);
    const double q = std::tan(static_cast<double>(kPi) / 8);  // the bulge of a quarter circle
    if (uniform(rng, 0, 1) < 0.7) {
        std::vector<Vertex> v = {{r, 0},     {w - r, 0}, {w, r, q},     {w, h - r},
                                 {w - r, h, q}, {r, h},     {0, h - r, q}, {0, r}};
        v[0].bulge = q;
        return {v, true, any_side(rng), log_uniform(rng, 0.01, 0.6), ADD_ARC};
    }
    const double s = uniform(rng, 0, 1) < 0.5 ? 1.0 : -1.0;
    std::vector<Vertex> v = {{0, 0}, {w - r, 0}, {w, s * r, s * q}, {w, s * h}};
    return {v, false, any_side(rng), log_uniform(rng, 0.01, 0.6), ADD_ARC};
}

// A star of lines with one vertex split into two 1.2e-7 apart.
Case tiny_segments(std::mt19937& rng) {
    std::vector<Vertex> v = star(rng, 4 + static_cast<int>(uniform(rng, 0, 5)), 0.6, 1.4, false);
    const size_t k = static_cast<size_t>(uniform(rng, 0, static_cast<double>(v.size())));
    const double t = uniform(rng, 0, 2 * static_cast<double>(kPi));
    v.insert(v.begin() + static_cast<long>(k) + 1, {v[k].x + 1.2e-7 * std::cos(t), v[k].y + 1.2e-7 * std::sin(t)});
    return {v, true, any_side(rng), log_uniform(rng, 0.01, 0.8), ADD_ARC};
}

// A convex polygon whose sides get vertices between their ends (`between`
// appends them for the side from a to b), either material side, offsets
// from 0.01 to 0.8.
template <class Between>
Case convex_with_points_on_sides(std::mt19937& rng, Between between) {
    Case c = convex_pockets(rng);
    std::vector<Vertex> v;
    for (size_t i = 0; i < c.vertices.size(); ++i) {
        const Vertex& a = c.vertices[i];
        v.push_back(a);
        between(a, c.vertices[(i + 1) % c.vertices.size()], &v);
    }
    c.vertices = v;
    c.side = any_side(rng);
    c.offset = log_uniform(rng, 0.01, 0.8);
    return c;
}

// A convex polygon with up to two extra vertices on each side.
Case collinear_vertices(std::mt19937& rng) {
    return convex_with_points_on_sides(rng, [&](const Vertex& a, const Vertex& b, std::vector<Vertex>* v) {
        const int extra = static_cast<int>(uniform(rng, 0, 3));
        for (int k = 1; k <= extra; ++k) {
            const double t = static_cast<double>(k) / (extra + 1);
            v->push_back({a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)});
        }
    });
}

// A convex polygon whose sides bend by 0.01 degrees at a vertex in their
// middle, either way.
Case near_straight_turns(std::mt19937& rng) {
    return convex_with_points_on_sides(rng, [&](const Vertex& a, const Vertex& b, std::vector<Vertex>* v) {
        const double lx = b.x - a.x, ly = b.y - a.y, l = std::hypot(lx, ly);
        const double sag = (l / 2) * std::tan(0.005 * static_cast<double>(kPi) / 180);
        const double sign = uniform(rng, 0, 1) < 0.5 ? -1.0 : 1.0;
        v->push_back({(a.x + b.x) / 2 + sign * sag * ly / l, (a.y + b.y) / 2 - sign * sag * lx / l});
    });
}

// A star of lines and arcs moved to about (1e6, 1e6).
Case coordinates_near_1e6(std::mt19937& rng) {
    Case c = star_case(rng, 4 + static_cast<int>(uniform(rng, 0, 8)), true);
    const double dx = 1e6 + uniform(rng, -10, 10), dy = 1e6 + uniform(rng, -10, 10);
    for (Vertex& v : c.vertices) v.x += dx, v.y += dy;
    return c;
}

// Open chains: stars of lines and arcs without their closing piece.
Case open_chains(std::mt19937& rng) {
    Case c = star_case(rng, 3 + static_cast<int>(uniform(rng, 0, 10)), true);
    c.closed = false;
    return c;
}

const Family kFamilies[] = {
    {"stars with lines", stars_with_lines},
    {"stars with arcs", stars_with_arcs},
    {"stars of 1000 vertices", stars_of_1000},
    {"convex pockets", convex_pockets},
    {"rectangles and slots at collapse", rectangles_and_slots},
    {"L and U shapes", l_and_u_shapes},
    {"tangent arc-line-arc profiles", tangent_profiles},
    {"tiny segments", tiny_segments},
    {"collinear vertices", collinear_vertices},
    {"near-straight turns", near_straight_turns},
    {"coordinates near 1e6", coordinates_near_1e6},
    {"open chains", open_chains},
};

// Calls and wrong calls per family, engine (0 older, 1 newer, 2 the engines
// disagree) and corner control.
struct Counts {
    struct Cell {
        int calls = 0, wrong = 0;
    };
    std::map<std::string, std::map<int, std::map<int, Cell>>> cells;
    int wrong() const {
        int n = 0;
        for (const auto& f : cells)
            for (const auto& e : f.second)
                for (const auto& c : e.second) n += c.second.wrong;
        return n;
    }
    void print() const {
        const char* engines[] = {"older", "newer", "engines differ"};
        for (const auto& f : cells)
            for (const auto& e : f.second) {
                std::printf("%-34s %-15s", f.first.c_str(), engines[e.first]);
                for (const auto& c : e.second)
                    std::printf("  %s %d/%d", control_name(static_cast<CORNER_CONTROL>(c.first)), c.second.wrong,
                                c.second.calls);
                std::printf("\n");
            }
    }
};

// Regions with islands: a pocket (a rectangle, material outside) holding 1
// to 5 islands (circles, rectangles and triangles, material inside, apart
// from each other and from the wall), offset by CHAIN_offset_region at +d
// (the free region shrinks) or -d (it grows), round corners, the host's
// callbacks.  The free region of the input F is inside the pocket and
// outside every island; the exact result at +d is the points of F at d or
// more from the boundaries, at -d the points of F or within d of them.  A
// grid point off the band about d is free in the result when the result's
// chains put it below the level of the material (inside a pocket more often
// than inside an island), as the result may hold several pockets; nothing is
// free when the call answers 0.
struct Regions {
    std::vector<std::vector<Vertex>> chains;  // the pocket first
    double d;                                 // signed
};

Regions random_regions(std::mt19937& rng) {
    Regions r;
    const double w = uniform(rng, 3, 5), h = uniform(rng, 2.5, 4);
    r.chains.push_back({{0, 0}, {w, 0}, {w, h}, {0, h}});
    struct Disk {
        double x, y, rad;
    };
    std::vector<Disk> placed;
    const int islands = 1 + static_cast<int>(uniform(rng, 0, 5));
    for (int tries = 0; static_cast<int>(placed.size()) < islands && tries < 200; ++tries) {
        const double rad = uniform(rng, 0.2, 0.7);
        const double x = uniform(rng, rad + 0.1, w - rad - 0.1), y = uniform(rng, rad + 0.1, h - rad - 0.1);
        bool apart = true;
        for (const Disk& o : placed) apart = apart && std::hypot(x - o.x, y - o.y) > rad + o.rad + 0.1;
        if (!apart) continue;
        placed.push_back({x, y, rad});
        const int kind = static_cast<int>(uniform(rng, 0, 3));
        if (kind == 0) {
            r.chains.push_back({{x + rad, y, 1.0}, {x - rad, y, 1.0}});
        } else if (kind == 1) {
            const double a = rad * 0.7, b = rad * uniform(rng, 0.3, 0.7);
            r.chains.push_back({{x - a, y - b}, {x + a, y - b}, {x + a, y + b}, {x - a, y + b}});
        } else {
            const double t = uniform(rng, 0, 2 * static_cast<double>(kPi));
            std::vector<Vertex> tri;
            for (int k = 0; k < 3; ++k) {
                const double u = t + 2 * static_cast<double>(kPi) * k / 3;
                tri.push_back({x + rad * std::cos(u), y + rad * std::sin(u)});
            }
            r.chains.push_back(tri);
        }
    }
    r.d = (uniform(rng, 0, 1) < 0.5 ? -1 : 1) * log_uniform(rng, 0.01, 1.2);
    return r;
}

// The verdict of one region offset: empty when right.  The samples cover the
// pocket's box (from the origin to its far corner) and a margin.
std::string check_regions(const std::vector<RING_header_s*>& inputs, const RING_header_s* out, int answer,
                          double signed_d) {
    const double* box = trace_test::point_of(inputs[0]->first->next->next);  // the pocket's far corner
    return region_offset_oracle::misjudged(inputs, out, answer, signed_d,
                                           {-1.3L, -1.3L, box[0] + 2.6L, box[1] + 2.6L, 60, band_eps()});
}

class OffsetFamilyOracle : public OffsetOracle {
protected:
    // `cases` region sets from the seed, each on both engines.
    void run_regions(unsigned seed, int cases, Counts* counts) {
        std::mt19937 rng(seed);
        int reported = 0;
        for (int index = 0; index < cases; ++index) {
            const Regions r = random_regions(rng);
            std::vector<RING_header_s*> inputs;
            for (size_t k = 0; k < r.chains.size(); ++k)
                inputs.push_back(trace_test::appended_chain(pool, r.chains[k], true, k == 0 ? RIGHT : LEFT));
            RING_header_s* set = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
            RING_set_sub_ring_delfunc(set, nullptr);
            for (RING_header_s* c : inputs) RING_insert_after(set, set->last, c);
            for (int engine = 0; engine < 2; ++engine) {
                CHAIN_set_new_boolean_flag(engine == 1);
                RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
                std::string what;
                try {
                    const int answer = CHAIN_offset_region(set, out, r.d, false);
                    what = check_regions(inputs, out, answer, r.d);
                } catch (const Korvo::Error::Exception& e) {
                    what = std::string("raised \"") + e.askText() + "\"";
                }
                Counts::Cell& cell = counts->cells["regions with 1-5 islands"][engine][ADD_ARC];
                ++cell.calls;
                if (what.empty()) continue;
                ++cell.wrong;
                if (reported++ < 12)
                    ADD_FAILURE() << "regions case " << index << " with " << inputs.size() - 1 << " islands at d "
                                  << r.d << (engine ? " (newer engine): " : " (older engine): ") << what;
            }
        }
    }

    // `cases` cases of the family from the seed, each with every control,
    // the outlines and offsets scaled by `scale`.
    void run_family(const Family& family, unsigned seed, int cases, Counts* counts, double scale = 1) {
        std::mt19937 rng(seed);
        Tally tally;
        tally.quiet = true;
        struct Slack {
            explicit Slack(double scale) {
                g_scale = scale;
                g_corner_zone_slack = band_eps();
            }
            ~Slack() { g_corner_zone_slack = 0, g_scale = 1; }
        } slack(scale);
        const std::string name = scale == 1 ? std::string(family.name)
                                            : std::string(family.name) + " scaled by " + std::to_string(scale);
        for (int index = 0, done = 0; done < cases && index < 50 * cases; ++index) {
            Case c = family.make(rng);
            for (Vertex& v : c.vertices) v.x *= scale, v.y *= scale;
            c.offset *= scale;
            RING_header_s* chain = trace_test::appended_chain(pool, c.vertices, c.closed, c.side);
            if (CHAIN_has_self_intersections(chain)) continue;
            ++done;
            for (CORNER_CONTROL control : trace_test::kControls) {
                c.control = control;
                check_case(c, chain, name + ", " + describe(c, index), &tally,
                           [&](int engine, bool, bool wrong) {
                               Counts::Cell& cell = counts->cells[name][engine][control];
                               ++cell.calls;
                               cell.wrong += wrong;
                               // The first fault of the first two wrong
                               // calls of each family, engine and control.
                               if (wrong && cell.wrong <= 2) ADD_FAILURE() << tally.first;
                               tally.first.clear();
                           });
            }
        }
    }
};

// The families that every engine and control offsets right in the long run,
// its first few cases each.
TEST_F(OffsetFamilyOracle, QuickSampleOfTheFamilies) {
    const char* passing[] = {"stars with arcs", "tangent arc-line-arc profiles", "collinear vertices"};
    Counts counts;
    for (const Family& family : kFamilies)
        for (const char* name : passing)
            if (std::string(family.name) == name) run_family(family, 7919u, 3, &counts);
    run_regions(7919u, 10, &counts);
    counts.print();
    EXPECT_EQ(counts.wrong(), 0);
}

// Every family, many cases: run with ctest -L long.  The counts of wrong
// calls per family, engine and control are printed.
TEST_F(OffsetFamilyOracle, LongAllFamilies) {
    const char* on = std::getenv("MERROW1_LONG_TESTS");
    if (on == nullptr || *on == '\0') GTEST_SKIP() << "set MERROW1_LONG_TESTS to run";
    const char* only = std::getenv("MERROW1_OFFSET_FAMILY");
    Counts counts;
    for (const Family& family : kFamilies) {
        if (only && *only && std::string(family.name) != only) continue;
        const bool large = std::string(family.name) == "stars of 1000 vertices";
        run_family(family, 7919u, large ? 2 : 100, &counts);
        std::fflush(stdout);
    }
    if (!only || !*only || std::string(only) == "regions with 1-5 islands") run_regions(7919u, 300, &counts);
    counts.print();
    EXPECT_EQ(counts.wrong(), 0);
}

// The outlines of every family scaled to parts a thousandth as large (whose
// shortest edges come within tens of the host's length tolerance) and a
// million times as large, a few cases each: run with ctest -L long.  The
// coordinates near 1e6 are left out at 1e6, where they would lie near 1e12
// and a double could no longer resolve the length tolerance there; so are
// the stars of 1000 vertices at 1e-3, whose notches between spikes are 6e-6
// wide, six tolerances: the older engine offsets them wrongly.
TEST_F(OffsetFamilyOracle, LongScaledFamilies) {
    const char* on = std::getenv("MERROW1_LONG_TESTS");
    if (on == nullptr || *on == '\0') GTEST_SKIP() << "set MERROW1_LONG_TESTS to run";
    const char* only = std::getenv("MERROW1_OFFSET_FAMILY");
    Counts counts;
    for (double scale : {1e-3, 1e6})
        for (const Family& family : kFamilies) {
            if (only && *only && std::string(family.name) != only) continue;
            const bool large = std::string(family.name) == "stars of 1000 vertices";
            if ((scale > 1 && std::string(family.name) == "coordinates near 1e6") || (scale < 1 && large)) continue;
            run_family(family, 104729u, large ? 1 : 20, &counts, scale);
            std::fflush(stdout);
        }
    counts.print();
    EXPECT_EQ(counts.wrong(), 0);
}

}  // namespace
