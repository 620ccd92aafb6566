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
#include "offset/trace_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_region.h>
#include <quorn/quorn.h>
#include <stend/error.h>
#include <velte/testing.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using trace_test::Seg;
using trace_test::Vertex;

const long double kPi = 3.141592653589793238462643383279502884L;

const char* control_name(CORNER_CONTROL c) {
    switch (c) {
        case ADD_ARC: return "ADD_ARC";
        case EXTEND_TANGENT: return "EXTEND_TANGENT";
        case BREAK_CORNER: return "BREAK_CORNER";
        case ALWAYS_EXTEND_TANGENT: return "ALWAYS_EXTEND_TANGENT";
        default: return "?";
    }
}

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
    for (const Vertex& v : c.vertices) out << "{" << v.x << ", " << v.y << ", " << v.bulge << "}, ";
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

// Twice the signed area of a closed chain (positive counter-clockwise): the
// chords' cross products plus, for every arc, twice the signed area between
// it and its chord, r^2 (sweep - sin sweep).
long double twice_signed_area(const std::vector<Seg>& chain) {
    long double total = 0;
    for (const Seg& s : chain) {
        total += s.ax * s.by - s.bx * s.ay;
        if (s.arc) total += s.r * s.r * (s.sweep - std::sin(s.sweep));
    }
    return total;
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
    long double lo_x = 1e9, hi_x = -1e9, lo_y = 1e9, hi_y = -1e9;

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

bool in_corner_zone(const Source& s, CORNER_CONTROL control, long double d, long double x, long double y) {
    if (control == ADD_ARC) return false;
    for (const Source::Corner& c : s.corners)
        if (std::hypot(x - c.x, y - c.y) <= corner_bound(control, d, c.phi)) return true;
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
    void fail(const std::string& what) {
        if (failures++ < 12) ADD_FAILURE() << what;
    }
};

const long double kCellBound = 4e-9L;  // the newer engine's grid cell on these chains (extent below 8)

long double band_eps() { return 2 * (static_cast<long double>(EQ_ask_length_tolerance()) + 10 * kCellBound + 3e-8L); }

// The sample grid over the source's box grown by the offset and a margin
// (the result reaches d beyond the source on the offset side).
const int kCells = 36;
const size_t kGridPoints = (kCells + 1) * (kCells + 1);
void grid_point(const Source& src, long double d, size_t k, long double* x, long double* y) {
    const long double grow = d + 0.1L;
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
    ts.erase(std::unique(ts.begin(), ts.end(), [](long double a, long double b) { return b - a < 1e-9L; }),
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
            RING_header_s* chain = trace_test::make_chain(pool, c.vertices, c.closed, c.side);
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
    void check_case(const Case& c, RING_header_s* chain, const std::string& name, Tally* tally) {
        (c.closed ? tally->closed_cases : tally->open_cases)++;
        const Source src = describe_source(chain, c.closed, c.side);
        std::vector<signed char> answers[2];
        RING_header_s* lists[2] = {nullptr, nullptr};
        bool compare = c.closed;
        for (int engine = 0; engine < 2; ++engine) {
            CHAIN_set_new_boolean_flag(engine == 1);
            const std::string on = engine ? " (newer engine)" : " (older engine)";
            for (double sign : {1.0, -1.0}) {
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
    };
    Tally tally;
    int index = 0;
    for (const Case& c : table) {
        RING_header_s* chain = trace_test::make_chain(pool, c.vertices, c.closed, c.side);
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
        RING_header_s* chain = trace_test::make_chain(pool, o.vertices, false, o.side);
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

}  // namespace
