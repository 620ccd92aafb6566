// Union and intersection of two region sets of random polygons, side by side
// with the peer libraries that are installed.
//
// Input family and size: two region sets A and B of n vertices in all.  Each
// set is a row-major grid of P disjoint star-shaped polygons (P = 1 up to
// n = 100, 3 at 1000, 10 at 10000), one per cell of side 100; B's grid is
// shifted by (30, 20), so every polygon of B overlaps up to four of A.  A
// polygon of m vertices takes m angles about its cell's centre, each moved by
// up to a fifth of the even step, and radii in [25, 45].
//   lines  every edge is a line;
//   arcs   every odd edge is a circular arc bulging in or out, its sweep kept
//          below the bound under which each ray from the centre still meets
//          the edge once (so the polygon stays simple and star-shaped).
// The inputs come from fixed seeds, and every library gets the same polygons
// in its own representation, built before timing:
//   merrow1   closed chains (material LEFT, counter-clockwise), region-set
//             ids 1 and 2, through CHAIN_boolean_regions;
//   boost     Boost.Geometry multi-polygons of doubles, arcs approximated;
//   clipper   Clipper 1 integer paths (coordinates times 1e6), arcs approximated;
//   cgal      CGAL exact polygon sets (lines) or general polygon sets of
//             circle segments (arcs through their end and mid points).
// Arcs are approximated by inscribed polylines with chord error <= 1e-3.
//
// One iteration is the whole boolean from the prepared inputs to the result
// (for merrow1 and CGAL the conversion into their internal sets is part of
// it); the result is freed inside the loop too.
//
// Counters:
//   vertices       input vertices as that library receives them (arcs
//                  approximated for boost and clipper);
//   area           material area of the result;
//   area_mismatch  1 when the area differs from merrow1's by more than
//                  1e-9 relative plus the input perimeter times the position
//                  errors of both sides (1e-3 for approximated arcs, 1e-6 for
//                  clipper's integer coordinates, two grid cells for
//                  merrow1); merrow1's own entry compares with CGAL's exact
//                  area when CGAL is built.
// The number of mismatches over the run is printed at the end.
#include <benchmark/benchmark.h>

#include "bench/families.h"
#include "bench/peak_memory.h"
#include "bench/star_polygons.h"

#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_region_offset.h>
#include <merrow1/chain_types.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <tuple>
#include <vector>

#if MERROW1_BENCH_HAVE_BOOST
#include <boost/geometry.hpp>
#include <boost/geometry/geometries/multi_polygon.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#include <boost/geometry/geometries/polygon.hpp>
#endif
#if MERROW1_BENCH_HAVE_CLIPPER
#include <clipper.hpp>
#endif
#if MERROW1_BENCH_HAVE_CGAL
#include <CGAL/Boolean_set_operations_2.h>
#include <CGAL/Exact_predicates_exact_constructions_kernel.h>
#include <CGAL/General_polygon_set_2.h>
#include <CGAL/Gps_circle_segment_traits_2.h>
#include <CGAL/Polygon_set_2.h>
#endif

namespace {

using namespace merrow1_bench;

const double kClipperScale = 1e6;    // clipper's integer unit is 1e-6

struct Input {
    std::vector<std::vector<Polygon>> sets;  // region sets
    double perimeter = 0;  // both sets, arcs at their length
    double extent = 0;     // largest coordinate
};

void finish_input(Input& in);

Input make_input(Family family, int n, bool arcs) {
    Input in;
    in.sets = region_sets(family, n, arcs);
    finish_input(in);
    return in;
}

void finish_input(Input& in) {
    for (const auto& set : in.sets)
        for (const Polygon& p : set)
            for (size_t i = 0; i < p.v.size(); ++i) {
                in.perimeter += edge_length(p.v[(i + p.v.size() - 1) % p.v.size()], p.v[i], p.e[i]);
                in.extent = std::max({in.extent, p.v[i].x, p.v[i].y});
            }
}

size_t input_vertices(const Input& in) {
    size_t total = 0;
    for (const auto& set : in.sets)
        for (const Polygon& p : set) total += p.v.size();
    return total;
}

size_t approximated_vertices(const Input& in) {
    size_t total = 0;
    for (const auto& set : in.sets)
        for (const Polygon& p : set) total += approximate(p).size();
    return total;
}

// ---------------------------------------------------------------------------
// Area bookkeeping: merrow1's area per case is the reference of the peers.

struct CaseKey {
    bool intersection;
    bool arcs;
    int n;
    Family family;
    bool operator<(const CaseKey& o) const {
        return std::tie(family, intersection, arcs, n) < std::tie(o.family, o.intersection, o.arcs, o.n);
    }
};

const Input& input(const CaseKey& key) {
    static std::map<std::tuple<Family, int, bool>, Input> cache;
    const auto k = std::make_tuple(key.family, key.n, key.arcs);
    auto it = cache.find(k);
    if (it == cache.end()) it = cache.emplace(k, make_input(key.family, key.n, key.arcs)).first;
    return it->second;
}

std::map<CaseKey, double>& reference_areas() {
    static std::map<CaseKey, double> areas;
    return areas;
}
int g_mismatches = 0;

// The allowance is 1e-9 relative, plus the input perimeter times the sum of
// the two sides' position errors: `error` for the compared library, and for
// merrow1 (always one of the two) two cells of its 31-bit grid, since its
// vertices are rounded onto that grid.
void check_area(benchmark::State& state, const char* library, const CaseKey& key, double area, double reference,
                double error) {
    const Input& in = input(key);
    const double grid_error = 2 * in.extent / 2147483648.0;
    const bool bad =
        std::fabs(area - reference) > 1e-9 * std::fabs(reference) + in.perimeter * (error + grid_error);
    state.counters["area"] = area;
    state.counters["area_mismatch"] = bad ? 1 : 0;
    if (bad) {
        ++g_mismatches;
        std::fprintf(stderr, "area mismatch in %s/%s/%d/%s: %.12g against %.12g\n",
                     key.intersection ? "intersection" : "union", family_name(key.family, key.arcs), key.n, library,
                     area, reference);
    }
}

// ---------------------------------------------------------------------------
// merrow1

struct Merrow1Input {
    CMEM_pool_s* pool = nullptr;
    RING_header_s* set = nullptr;
};

const Merrow1Input& merrow1_input(const CaseKey& key) {
    static std::map<std::tuple<Family, int, bool>, Merrow1Input> cache;
    const auto k = std::make_tuple(key.family, key.n, key.arcs);
    auto it = cache.find(k);
    if (it != cache.end()) return it->second;
    const Input& in = input(key);
    Merrow1Input mi;
    mi.pool = CMEM_private_create_pool(4096, "region boolean bench input", __LINE__, __FILE__);
    mi.set = region_chain_set(in.sets, mi.pool);
    return cache.emplace(k, mi).first->second;
}

// One boolean into a fresh pool; answers the material area of the result.
double merrow1_run(const Merrow1Input& mi, bool intersection, bool measure) {
    CMEM_pool_s* pool = CMEM_private_create_pool(4096, "region boolean bench result", __LINE__, __FILE__);
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    CHAIN_boolean_regions(mi.set, 0, intersection ? CHAIN_BOOLEAN_INTERSECT : 0u, nullptr, nullptr, nullptr, nullptr,
                          nullptr, out);
    const double area = measure ? CHAIN_area_centroid(out, nullptr) : 0.0;
    benchmark::DoNotOptimize(out->count);
    CMEM_private_delete_pool(pool);
    return area;
}

#if MERROW1_BENCH_HAVE_CGAL
double cgal_exact_area(const CaseKey& key);
#endif

void BM_merrow1(benchmark::State& state, CaseKey key) {
    const Merrow1Input& mi = merrow1_input(key);
    const size_t before = resident_bytes();
    const double area = merrow1_run(mi, key.intersection, true);
    reference_areas()[key] = area;
    const long faults = minor_faults();
    for (auto _ : state) merrow1_run(mi, key.intersection, false);
    report_faults(state, faults);
    const double vertices = static_cast<double>(input_vertices(input(key)));
    state.counters["vertices"] = vertices;
    report_peak(state, before, vertices);
#if MERROW1_BENCH_HAVE_CGAL
    check_area(state, "merrow1", key, area, cgal_exact_area(key), 0.0);
#else
    state.counters["area"] = area;
#endif
}

// The minimal-loop road on the same chains as the region booleans:
// ChainsBoolean (the chains read as the union of their sets) or
// CHAIN_boolean_between (the regions between the chains, which for shapes
// that all lay material inside is their union too), on the newer or the
// older engine.  Its area is checked against the region booleans' union.
enum class Road { kChainsBoolean, kBetween };

double road_run(const Merrow1Input& mi, Road road, bool measure) {
    CMEM_pool_s* pool = CMEM_private_create_pool(4096, "region boolean bench road", __LINE__, __FILE__);
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    if (road == Road::kChainsBoolean)
        ChainsBoolean(mi.set, 0, out, nullptr);
    else
        CHAIN_boolean_between(mi.set, 0, out, nullptr);
    const double area = measure ? CHAIN_area_centroid(out, nullptr) : 0.0;
    benchmark::DoNotOptimize(out->count);
    CMEM_private_delete_pool(pool);
    return area;
}

double reference(const CaseKey& key);

void BM_road(benchmark::State& state, CaseKey key, Road road, bool newer) {
    const Merrow1Input& mi = merrow1_input(key);
    CHAIN_set_new_boolean_flag(newer);
    const double area = road_run(mi, road, true);
    for (auto _ : state) road_run(mi, road, false);
    CHAIN_unset_new_boolean_flag();
    state.counters["vertices"] = static_cast<double>(input_vertices(input(key)));
    check_area(state, road == Road::kChainsBoolean ? "chains_boolean" : "boolean_between", key, area, reference(key),
               0.0);
}

// Peers run after merrow1 on the same case, so the reference is there.
double reference(const CaseKey& key) {
    auto it = reference_areas().find(key);
    if (it == reference_areas().end())
        it = reference_areas().emplace(key, merrow1_run(merrow1_input(key), key.intersection, true)).first;
    return it->second;
}

// ---------------------------------------------------------------------------
// Boost.Geometry

#if MERROW1_BENCH_HAVE_BOOST
namespace bg = boost::geometry;
using BPoint = bg::model::d2::point_xy<double>;
using BPolygon = bg::model::polygon<BPoint, false, true>;  // counter-clockwise, closed
using BMulti = bg::model::multi_polygon<BPolygon>;

BMulti boost_set(const std::vector<Polygon>& set) {
    BMulti out;
    for (const Polygon& p : set) {
        BPolygon poly;
        for (const Pt& q : approximate(p)) bg::append(poly.outer(), BPoint(q.x, q.y));
        out.push_back(poly);
    }
    bg::correct(out);
    return out;
}

void BM_boost(benchmark::State& state, CaseKey key) {
    const Input& in = input(key);
    const BMulti a = boost_set(in.sets[0]), b = boost_set(in.sets[1]);
    const size_t before = resident_bytes();
    auto run = [&]() {
        BMulti out;
        if (key.intersection)
            bg::intersection(a, b, out);
        else
            bg::union_(a, b, out);
        return out;
    };
    const double area = bg::area(run());
    for (auto _ : state) {
        BMulti out = run();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["vertices"] = static_cast<double>(approximated_vertices(in));
    report_peak(state, before, state.counters["vertices"]);
    check_area(state, "boost", key, area, reference(key), key.arcs ? kChordError : 0.0);
}
#endif

// ---------------------------------------------------------------------------
// Clipper 1

#if MERROW1_BENCH_HAVE_CLIPPER
ClipperLib::Paths clipper_set(const std::vector<Polygon>& set) {
    ClipperLib::Paths out;
    for (const Polygon& p : set) {
        ClipperLib::Path path;
        for (const Pt& q : approximate(p))
            path.emplace_back(static_cast<ClipperLib::cInt>(std::llround(q.x * kClipperScale)),
                              static_cast<ClipperLib::cInt>(std::llround(q.y * kClipperScale)));
        out.push_back(std::move(path));
    }
    return out;
}

void BM_clipper(benchmark::State& state, CaseKey key) {
    const Input& in = input(key);
    // Many shapes are all subject paths, joined by the non-zero rule.
    ClipperLib::Paths a, b;
    for (size_t s = 0; s < in.sets.size(); ++s) {
        ClipperLib::Paths paths = clipper_set(in.sets[s]);
        ClipperLib::Paths& to = s == 1 && !one_set_per_shape(key.family) ? b : a;
        to.insert(to.end(), paths.begin(), paths.end());
    }
    const size_t before = resident_bytes();
    auto run = [&]() {
        ClipperLib::Clipper c;
        c.AddPaths(a, ClipperLib::ptSubject, true);
        c.AddPaths(b, ClipperLib::ptClip, true);
        ClipperLib::Paths out;
        c.Execute(key.intersection ? ClipperLib::ctIntersection : ClipperLib::ctUnion, out, ClipperLib::pftNonZero,
                  ClipperLib::pftNonZero);
        return out;
    };
    double area = 0;
    for (const ClipperLib::Path& p : run()) area += ClipperLib::Area(p);
    area /= kClipperScale * kClipperScale;
    const long faults = minor_faults();
    for (auto _ : state) {
        ClipperLib::Paths out = run();
        benchmark::DoNotOptimize(out.data());
    }
    report_faults(state, faults);
    state.counters["vertices"] = static_cast<double>(approximated_vertices(in));
    report_peak(state, before, state.counters["vertices"]);
    check_area(state, "clipper", key, area, reference(key), (key.arcs ? kChordError : 0.0) + 1.0 / kClipperScale);
}
#endif

// ---------------------------------------------------------------------------
// CGAL

#if MERROW1_BENCH_HAVE_CGAL
using Kernel = CGAL::Exact_predicates_exact_constructions_kernel;
using LinePolygon = CGAL::Polygon_2<Kernel>;
using LineSet = CGAL::Polygon_set_2<Kernel>;
using LineWithHoles = CGAL::Polygon_with_holes_2<Kernel>;
using CircleTraits = CGAL::Gps_circle_segment_traits_2<Kernel>;
using CircleSet = CGAL::General_polygon_set_2<CircleTraits>;
using CirclePolygon = CircleTraits::General_polygon_2;
using CircleWithHoles = CircleTraits::General_polygon_with_holes_2;

std::vector<LinePolygon> cgal_line_set(const std::vector<Polygon>& set) {
    std::vector<LinePolygon> out;
    for (const Polygon& p : set) {
        LinePolygon poly;
        for (const Pt& q : p.v) poly.push_back(Kernel::Point_2(q.x, q.y));
        out.push_back(poly);
    }
    return out;
}

std::vector<CirclePolygon> cgal_circle_set(const std::vector<Polygon>& set) {
    const CircleTraits traits;
    std::vector<CirclePolygon> out;
    for (const Polygon& p : set) {
        CirclePolygon poly;
        const size_t m = p.v.size();
        for (size_t i = 0; i < m; ++i) {
            const Pt& a = p.v[(i + m - 1) % m];
            const Pt& b = p.v[i];
            const Edge& e = p.e[i];
            const Kernel::Point_2 ka(a.x, a.y), kb(b.x, b.y);
            CircleTraits::Curve_2 curve;
            if (e.arc) {
                // The arc through its ends and its mid point.
                const double t = std::atan2(a.y - e.centre.y, a.x - e.centre.x) + 0.5 * e.sense * sweep(a, b, e);
                const Kernel::Point_2 mid(e.centre.x + e.radius * std::cos(t), e.centre.y + e.radius * std::sin(t));
                curve = CircleTraits::Curve_2(ka, mid, kb);
            } else {
                curve = CircleTraits::Curve_2(ka, kb);
            }
            std::vector<boost::variant<CircleTraits::Point_2, CircleTraits::X_monotone_curve_2>> pieces;
            traits.make_x_monotone_2_object()(curve, std::back_inserter(pieces));
            for (const auto& piece : pieces)
                if (const auto* xc = boost::get<CircleTraits::X_monotone_curve_2>(&piece)) poly.push_back(*xc);
        }
        out.push_back(poly);
    }
    return out;
}

// Shoelace in doubles over the rounded vertices: the polygon's own exact
// area() builds one lazy sum of all its terms, whose recursive destruction
// overflows the stack at a million vertices.
double signed_area(const LinePolygon& p) {
    double area = 0;
    for (auto e = p.edges_begin(); e != p.edges_end(); ++e) {
        const double sx = CGAL::to_double(e->source().x()), sy = CGAL::to_double(e->source().y());
        const double tx = CGAL::to_double(e->target().x()), ty = CGAL::to_double(e->target().y());
        area += 0.5 * (sx * ty - tx * sy);
    }
    return area;
}

// Green's formula over the x-monotone pieces: the chord term of every piece
// plus the circular segment between chord and arc, signed by the arc's sense.
double signed_area(const CirclePolygon& p) {
    double area = 0;
    for (auto it = p.curves_begin(); it != p.curves_end(); ++it) {
        const double sx = CGAL::to_double(it->source().x()), sy = CGAL::to_double(it->source().y());
        const double tx = CGAL::to_double(it->target().x()), ty = CGAL::to_double(it->target().y());
        area += 0.5 * (sx * ty - tx * sy);
        if (it->is_circular()) {
            const auto circle = it->supporting_circle();
            const double cx = CGAL::to_double(circle.center().x()), cy = CGAL::to_double(circle.center().y());
            const double r2 = CGAL::to_double(circle.squared_radius());
            const int sense = it->orientation() == CGAL::COUNTERCLOCKWISE ? 1 : -1;
            Edge e;
            e.arc = true;
            e.centre = {cx, cy};
            e.sense = sense;
            const double phi = sweep(Pt{sx, sy}, Pt{tx, ty}, e);
            area += sense * 0.5 * r2 * (phi - std::sin(phi));
        }
    }
    return area;
}

template <class Set, class WithHoles>
double set_area(const Set& s) {
    std::vector<WithHoles> parts;
    s.polygons_with_holes(std::back_inserter(parts));
    double area = 0;
    for (const WithHoles& p : parts) {
        area += signed_area(p.outer_boundary());
        for (auto h = p.holes_begin(); h != p.holes_end(); ++h) area += signed_area(*h);
    }
    return area;
}

// Forms the boolean from the polygons: both sets are built, then joined or
// intersected.
template <class Set, class Poly>
Set cgal_boolean(const CaseKey& key, const std::vector<Poly>& a, const std::vector<Poly>& b) {
    if (one_set_per_shape(key.family)) {
        // Many shapes, all in a, overlapping: one aggregated join.
        Set s;
        s.join(a.begin(), a.end());
        return s;
    }
    Set sa, sb;
    sa.insert(a.begin(), a.end());
    sb.insert(b.begin(), b.end());
    if (key.intersection)
        sa.intersection(sb);
    else
        sa.join(sb);
    return sa;
}

template <class Set, class WithHoles, class Poly>
void cgal_case(benchmark::State& state, const CaseKey& key, const std::vector<Poly>& a, const std::vector<Poly>& b) {
    const size_t before = resident_bytes();
    const double area = set_area<Set, WithHoles>(cgal_boolean<Set>(key, a, b));
    for (auto _ : state) {
        Set out = cgal_boolean<Set>(key, a, b);
        benchmark::DoNotOptimize(out.number_of_polygons_with_holes());
    }
    state.counters["vertices"] = static_cast<double>(input_vertices(input(key)));
    report_peak(state, before, state.counters["vertices"]);
    check_area(state, "cgal", key, area, reference(key), 0.0);
}

// The first set, or every shape when each is its own set; the second set or
// nothing.
std::vector<Polygon> cgal_first(const CaseKey& key) {
    const Input& in = input(key);
    if (!one_set_per_shape(key.family)) return in.sets[0];
    std::vector<Polygon> all;
    for (const auto& set : in.sets) all.insert(all.end(), set.begin(), set.end());
    return all;
}
std::vector<Polygon> cgal_second(const CaseKey& key) {
    return one_set_per_shape(key.family) ? std::vector<Polygon>() : input(key).sets[1];
}

void BM_cgal(benchmark::State& state, CaseKey key) {
    if (key.arcs)
        cgal_case<CircleSet, CircleWithHoles>(state, key, cgal_circle_set(cgal_first(key)),
                                              cgal_circle_set(cgal_second(key)));
    else
        cgal_case<LineSet, LineWithHoles>(state, key, cgal_line_set(cgal_first(key)), cgal_line_set(cgal_second(key)));
}

// CGAL's exact area of a case, for merrow1's own check (untimed).
double cgal_exact_area(const CaseKey& key) {
    if (key.arcs)
        return set_area<CircleSet, CircleWithHoles>(
            cgal_boolean<CircleSet>(key, cgal_circle_set(cgal_first(key)), cgal_circle_set(cgal_second(key))));
    return set_area<LineSet, LineWithHoles>(
        cgal_boolean<LineSet>(key, cgal_line_set(cgal_first(key)), cgal_line_set(cgal_second(key))));
}
#endif

// Registers one case, the libraries next to each other; boost only takes
// two sets.
void register_case(const CaseKey& key) {
    const std::string base = std::string(key.intersection ? "intersection" : "union") + "/" +
                             family_name(key.family, key.arcs) + "/" + std::to_string(key.n) + "/";
    configure(benchmark::RegisterBenchmark((base + "merrow1").c_str(), BM_merrow1, key), benchmark::kMicrosecond);
    // The road beside the region booleans on many shapes, up to 1000.
    if (one_set_per_shape(key.family) && key.n <= 1000)
        for (Road road : {Road::kChainsBoolean, Road::kBetween})
            for (bool newer : {true, false}) {
                const std::string name = base + (road == Road::kChainsBoolean ? "chains_boolean" : "boolean_between") +
                                         (newer ? "_newer" : "_older");
                configure(benchmark::RegisterBenchmark(name.c_str(), BM_road, key, road, newer), benchmark::kMicrosecond);
            }
#if MERROW1_BENCH_HAVE_BOOST
    if (!one_set_per_shape(key.family))
        configure(benchmark::RegisterBenchmark((base + "boost").c_str(), BM_boost, key), benchmark::kMicrosecond);
#endif
#if MERROW1_BENCH_HAVE_CLIPPER
    configure(benchmark::RegisterBenchmark((base + "clipper").c_str(), BM_clipper, key), benchmark::kMicrosecond);
#endif
#if MERROW1_BENCH_HAVE_CGAL
    configure(benchmark::RegisterBenchmark((base + "cgal").c_str(), BM_cgal, key), benchmark::kMicrosecond);
#endif
}

int register_all() {
    for (bool intersection : {false, true})
        for (bool arcs : {false, true})
            for (int n : {10, 100, 1000, 10000}) register_case(CaseKey{intersection, arcs, n, kGrid});
    // Many shapes, each its own region set (n shapes; the circles have arcs).
    for (Family f : {kCircles, kRectangles, kStars})
        for (int n : {10, 40, 100, 300, 1000, 3000, 10000})
            if (f != kStars || n <= 1000) register_case(CaseKey{false, f != kRectangles, n, f});
    for (bool arcs : {false, true})
        for (int n : {100, 1000, 10000, 100000, 1000000}) register_case(CaseKey{false, arcs, n, kSmoothStars});
    return 0;
}

const int registered = register_all();

struct ReportAtExit {
    ~ReportAtExit() {
        std::fprintf(stderr, "region_boolean_bench: %d area mismatches\n", g_mismatches);
    }
} report_at_exit;

}  // namespace
