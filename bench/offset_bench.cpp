// Offsets of star-shaped polygons, side by side with Clipper when installed.
//
// Input family and size: one star-shaped polygon of n vertices (n = 100,
// 1000) about the origin, radii in [25, 45] (bench/star_polygons.h),
// with lines only or with every odd edge an arc; offset outward and inward
// at d = 0.5, 2 and 8, corners joined by arcs.
//   merrow1   a closed chain (counter-clockwise; material LEFT for the outward
//             offset, RIGHT for the inward one), traced by CHAIN__offset_trace
//             with ADD_ARC and loop removal, the trace then resolved into
//             loops by CHAIN_find_minimal_loops;
//   clipper   ClipperOffset with jtRound and an arc tolerance of 1e-3 on the
//             polygon with its arcs approximated at chord error 1e-3, integer
//             coordinates times 1e6.
// One iteration is the whole offset from the prepared input; the results are
// freed inside the loop.
//
// Counters:
//   vertices       input vertices as that library receives them;
//   area           area of the offset region: for merrow1 the loops' areas,
//                  each counted by how the rule "the trace winds round at
//                  least once" changes across the loop;
//   area_mismatch  1 when clipper's area differs from merrow1's by more than
//                  1e-9 relative plus the offset's perimeter times 2e-3 (the
//                  approximation of the input and of the round joints).
//
// Second family: CHAIN_offset, the library's offset entry (trace, clean and
// the result chains), on the shapes of region_boolean_bench's grid family
// (bench/star_polygons.h star_grids, seeded as there): two grids of disjoint
// stars, n vertices in all (n = 10, 100, 1000, 10000), lines only or with
// every odd edge an arc, each star offset on its own, outward and inward at
// d = 2, with ADD_ARC or EXTEND_TANGENT corners.
//   merrow1   CHAIN_offset of each closed chain (counter-clockwise; material
//             LEFT outward, RIGHT inward), side 0, no callbacks;
//   clipper   one ClipperOffset per star on its polyline (arcs approximated
//             at chord error 1e-3, coordinates times 1e6): jtRound with arc
//             tolerance 1e-3 for ADD_ARC, jtMiter with miter limit 2 for
//             EXTEND_TANGENT.
// A benchmark is named chain_offset/family/direction/corner/n/library.
// Counters: vertices (input vertices as that library receives them), area
// (the total area the offset chains enclose) and area_mismatch (1 when
// clipper's area differs from merrow1's by more than 1e-9 relative plus the
// offsets' perimeters times 2e-3, as above).
//
// Third family: CHAIN_offset with ADD_ARC of one smooth star (bench/
// star_polygons.h smooth_star: radius 40 with ripples of 3, 2 and 1) of n
// vertices (n = 10 to 100000), lines only or with every odd edge an arc,
// outward and inward at d = 0.5; beside it one ClipperOffset of the star's
// polyline (jtRound, arc tolerance 1e-3, arcs approximated at chord error
// 1e-3, coordinates times 1e6).  A benchmark is named
// chain_offset/smooth_lines|smooth_arcs/direction/n/library; the counters as
// in the second family, and from n = 10000 on peak_bytes_per_vertex (the
// peak resident memory of the runs beyond what the process held before them,
// per input vertex as that library receives them; meaningful only with each
// case in a process of its own, bench/run_isolated.sh, and one repetition:
// a later repetition starts with the memory the earlier ones left resident,
// and in clipper's process merrow1's reference run has raised the peak).
//
// Fourth family: CHAIN_offset_region of a rectangular pocket (its outer
// boundary with the material outside) with 10 or 100 islands (material
// inside), one per cell of side 120 of a grid 20 inside the pocket: circles
// of radius 40 (four arcs), or stars of 16 vertices and radii 25 to 45 with
// lines or with every odd edge an arc; offset by 8 (0.2 of the circles'
// radius), so the pocket shrinks and the islands grow with round corners,
// nothing meeting.  Beside it one ClipperOffset of the pocket and its
// islands (run clockwise, as holes) by -8 with jtRound, arc tolerance 1e-3,
// arcs approximated at chord error 1e-3, coordinates times 1e6: the air of
// the same pocket.  A benchmark is named
// offset_region/circles|star_lines|star_arcs/islands/library; the counters
// are vertices, area (the air's area: inside the pocket, outside the
// islands) and area_mismatch (1e-9 relative plus the perimeters and the
// islands' round joins times 2e-3).
//
// Fifth family: CHAIN_offset with ADD_ARC of a circle of radius 40 and n
// vertices (n = 1000, 10000), its inscribed polygon of lines or n arcs on
// it, outward and inward by 1; beside it one ClipperOffset of its polyline
// (jtRound, arc tolerance 1e-3, the arcs approximated at chord error 1e-3,
// coordinates times 1e6).  A benchmark is named
// chain_offset/circle_lines|circle_arcs/direction/n/library.
//
// Sixth family: CHAIN_offset with ADD_ARC of the first family's single star
// (n = 10, 100, 1000 vertices, lines or every odd edge an arc) outward and
// inward at d = 0.5, 2 and 8, beside one ClipperOffset of its polyline
// (jtRound, arc tolerance 1e-3, arcs approximated at 1e-3).  A benchmark is
// named chain_offset/star_lines|star_arcs/direction/n/d/library.
//
// The third family with lines at d = 2 and 8 (n = 10, 1000) and at d = 10
// (n = 10000, 100000): named chain_offset/smooth_lines_dD/direction/n/library.  The smooth arcs at
// n = 100000 (about a minute a call) run one iteration, which also measures
// the area.
//
// The older engine: the library merrow1_older is merrow1's entry of the
// same case run with the process-wide engine switch of chain_region.h set to
// the older split-chain engine (as HVEX_CAM_USE_OLD_BOOLEAN does), on every
// CHAIN_offset family at two sizes a factor 10 apart: smooth stars 1000 and
// 10000, grids 100, 1000 and 10000, single stars 100 and 1000 (d = 2), circles 1000
// and 10000, pockets of 10 and 100 islands.
//
// The allocator: the library merrow1_notrim is merrow1's entry run after
// mallopt has turned the heap's trimming off (M_TRIM_THRESHOLD and M_TOP_PAD
// 1 GiB, M_MMAP_THRESHOLD 32 MiB, so that freed memory stays in the heap and
// is not given back or unmapped between calls), for the 1000-vertex smooth
// line star and single line star (d = 2), both directions.  mallopt lasts
// for the process: these rows are registered last and are meant to run each
// in a process of its own (bench/run_isolated.sh).
//
// Every merrow1 and clipper entry also counts faults_per_call: the minor page
// faults (getrusage) of the timed loop per iteration.
//
// The number of mismatches over the run is printed at the end.
#include <benchmark/benchmark.h>

#include "bench/families.h"
#include "bench/peak_memory.h"
#include "bench/star_polygons.h"

#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_region_offset.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_trace.h>
#include <merrow1/segment.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <map>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#if MERROW1_BENCH_HAVE_CLIPPER
#include <clipper.hpp>
#endif

namespace {

using namespace merrow1_bench;

const double kClipperScale = 1e6;  // clipper's integer unit is 1e-6
const double kOffsets[] = {0.5, 2.0, 8.0};

struct CaseKey {
    bool arcs;
    bool inward;
    int n;
    double d;
    bool operator<(const CaseKey& o) const {
        return std::tie(arcs, inward, n, d) < std::tie(o.arcs, o.inward, o.n, o.d);
    }
};

// The polygon of n vertices that make(n, arcs) gives (bench/families.h),
// made once per (n, arcs).
using PolygonMaker = Polygon (*)(int, bool);
const Polygon& cached_polygon(PolygonMaker make, int n, bool arcs) {
    static std::map<std::tuple<PolygonMaker, int, bool>, Polygon> cache;
    auto it = cache.find({make, n, arcs});
    if (it == cache.end()) it = cache.emplace(std::make_tuple(make, n, arcs), make(n, arcs)).first;
    return it->second;
}

const Polygon& polygon(int n, bool arcs) { return cached_polygon(offset_star, n, arcs); }

double perimeter(const Polygon& p) {
    double total = 0;
    for (size_t i = 0; i < p.v.size(); ++i) total += edge_length(p.v[(i + p.v.size() - 1) % p.v.size()], p.v[i], p.e[i]);
    return total;
}

std::map<CaseKey, double>& reference_areas() {
    static std::map<CaseKey, double> areas;
    return areas;
}
int g_mismatches = 0;

// ---------------------------------------------------------------------------
// merrow1

// Winding number of a closed chain about a point (arcs below a half circle).
int winding(const RING_header_s* chain, double px, double py) {
    double total = 0;
    const RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) {
        SEGMENT s;
        if (!ChainSegment(chain, node, &s)) continue;
        const double ax = s.start[0] - px, ay = s.start[1] - py, bx = s.end->x - px, by = s.end->y - py;
        double angle = std::atan2(ax * by - ay * bx, ax * bx + ay * by);
        if (s.type == SEG_ARC) {
            // Between the arc and its chord the arc turns a whole turn more.
            const end_segment& e = *s.end;
            const double cx = e.x - s.start[0], cy = e.y - s.start[1];
            const double side = cx * (py - s.start[1]) - cy * (px - s.start[0]);
            const bool bulge_left = e.direction == CW;
            if (std::hypot(px - e.cx, py - e.cy) < e.radius && side != 0 && (side > 0) == bulge_left)
                angle += e.direction == CCW ? 2 * kPi : -2 * kPi;
        }
        total += angle;
    }
    return static_cast<int>(std::lround(total / (2 * kPi)));
}

// Points just inside and just outside a loop: off the middle of its longest
// segment, to either side.
bool points_beside(const RING_header_s* loop, double inside[2], double outside[2]) {
    const double area = CHAIN_chainArea_chainCentroid(loop, nullptr);
    double best = 0;
    const RING_node_s* node = loop->first;
    for (int i = 0; i < loop->count && node; ++i, node = node->next) {
        SEGMENT s;
        if (!ChainSegment(loop, node, &s)) continue;
        double mid[2], t[2];
        if (!SegmentMidPoint(&s, mid) || !SegmentTangent(&s, mid, t)) continue;
        const double length = SegmentLength(&s);
        if (length <= best) continue;
        best = length;
        const double step = 1e-7 * (1 + std::fabs(mid[0]) + std::fabs(mid[1])) * (area > 0 ? 1 : -1);
        inside[0] = mid[0] - step * t[1], inside[1] = mid[1] + step * t[0];
        outside[0] = mid[0] + step * t[1], outside[1] = mid[1] - step * t[0];
    }
    return best > 0;
}

struct Merrow1Run {
    double area = 0;
    int loops = 0;
};

Merrow1Run merrow1_run(const RING_header_s* source, double d, bool measure) {
    CMEM_pool_s* pool = CMEM_private_create_pool(4096, "offset bench result", __LINE__, __FILE__);
    Merrow1Run run;
    RING_header_s* trace = CHAIN__offset_trace(const_cast<RING_header_s*>(source), d, ADD_ARC, 0, nullptr, nullptr,
                                               pool, true);
    if (trace) {
        RING_header_s* set = CHAIN_create_boolean_set(pool, nullptr);
        CHAIN_add_chain_to_list(set, trace);
        RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        CHAIN_find_minimal_loops(set, CHAIN_POLY_SEG_INTERSECT_SELF, 0, nullptr, out);
        run.loops = out->count;
        if (measure) {
            // The region's indicator jumps across each loop by the difference
            // of the trace's winding rule on its two sides.
            const RING_node_s* node = out->first;
            for (int i = 0; i < out->count && node; ++i, node = node->next) {
                const RING_header_s* loop = RING_ask_node_subring(node);
                double in[2] = {0, 0}, off[2] = {0, 0};
                if (!loop || !points_beside(loop, in, off)) continue;
                const int jump = (winding(trace, in[0], in[1]) >= 1) - (winding(trace, off[0], off[1]) >= 1);
                run.area += jump * std::fabs(CHAIN_chainArea_chainCentroid(loop, nullptr));
            }
        }
        benchmark::DoNotOptimize(out->count);
    }
    CMEM_private_delete_pool(pool);
    return run;
}

struct Merrow1Input {
    CMEM_pool_s* pool = nullptr;
    RING_header_s* chain = nullptr;
};

const Merrow1Input& merrow1_input(int n, bool arcs, bool inward) {
    static std::map<std::tuple<int, bool, bool>, Merrow1Input> cache;
    auto it = cache.find({n, arcs, inward});
    if (it != cache.end()) return it->second;
    Merrow1Input mi;
    mi.pool = CMEM_private_create_pool(4096, "offset bench input", __LINE__, __FILE__);
    mi.chain = polygon_chain(polygon(n, arcs), inward ? RIGHT : LEFT, mi.pool);
    return cache.emplace(std::make_tuple(n, arcs, inward), mi).first->second;
}

void BM_merrow1(benchmark::State& state, CaseKey key) {
    const Merrow1Input& mi = merrow1_input(key.n, key.arcs, key.inward);
    const Merrow1Run first = merrow1_run(mi.chain, key.d, true);
    reference_areas()[key] = first.area;
    const long faults = minor_faults();
    for (auto _ : state) merrow1_run(mi.chain, key.d, false);
    report_faults(state, faults);
    state.counters["vertices"] = key.n;
    state.counters["area"] = first.area;
    state.counters["loops"] = first.loops;
}

[[maybe_unused]] double reference(const CaseKey& key) {
    auto it = reference_areas().find(key);
    if (it == reference_areas().end())
        it = reference_areas()
                 .emplace(key, merrow1_run(merrow1_input(key.n, key.arcs, key.inward).chain, key.d, true).area)
                 .first;
    return it->second;
}

// ---------------------------------------------------------------------------
// Clipper

#if MERROW1_BENCH_HAVE_CLIPPER
// The polygon's polyline (arcs approximated) in clipper's integer unit.
ClipperLib::Path clipper_path(const Polygon& p) {
    ClipperLib::Path path;
    for (const Pt& q : approximate(p))
        path.emplace_back(static_cast<ClipperLib::cInt>(std::llround(q.x * kClipperScale)),
                          static_cast<ClipperLib::cInt>(std::llround(q.y * kClipperScale)));
    return path;
}

void BM_clipper(benchmark::State& state, CaseKey key) {
    const Polygon& p = polygon(key.n, key.arcs);
    const ClipperLib::Path path = clipper_path(p);
    auto run = [&] {
        ClipperLib::ClipperOffset offset;
        offset.ArcTolerance = kChordError * kClipperScale;
        offset.AddPath(path, ClipperLib::jtRound, ClipperLib::etClosedPolygon);
        ClipperLib::Paths out;
        offset.Execute(out, (key.inward ? -key.d : key.d) * kClipperScale);
        return out;
    };
    double area = 0;
    for (const ClipperLib::Path& q : run()) area += ClipperLib::Area(q);
    area /= kClipperScale * kClipperScale;
    const long faults = minor_faults();
    for (auto _ : state) {
        ClipperLib::Paths out = run();
        benchmark::DoNotOptimize(out.size());
    }
    report_faults(state, faults);
    state.counters["vertices"] = static_cast<double>(path.size());
    state.counters["area"] = area;
    const double ref = reference(key);
    const double allowance = 1e-9 * std::fabs(ref) + (perimeter(p) + 2 * kPi * key.d) * 2 * kChordError;
    const bool bad = std::fabs(area - ref) > allowance;
    state.counters["area_mismatch"] = bad ? 1 : 0;
    if (bad) {
        ++g_mismatches;
        std::fprintf(stderr, "area mismatch in %s/%s/%d/%g: %.12g against %.12g\n", key.arcs ? "arcs" : "lines",
                     key.inward ? "inward" : "outward", key.n, key.d, area, ref);
    }
}
#endif

#if MERROW1_BENCH_HAVE_CLIPPER
// One ClipperOffset per path (round joins with arc tolerance 1e-3, or miters
// with limit 2) by d (negative: inward); the area the results enclose.
double clipper_offset_area(const std::vector<ClipperLib::Path>& paths, double d, bool round, bool measure) {
    double area = 0;
    for (const ClipperLib::Path& path : paths) {
        ClipperLib::ClipperOffset offset;
        offset.ArcTolerance = kChordError * kClipperScale;
        offset.MiterLimit = 2.0;
        offset.AddPath(path, round ? ClipperLib::jtRound : ClipperLib::jtMiter, ClipperLib::etClosedPolygon);
        ClipperLib::Paths out;
        offset.Execute(out, d * kClipperScale);
        benchmark::DoNotOptimize(out.size());
        if (!measure) continue;
        double a = 0;
        for (const ClipperLib::Path& q : out) a += ClipperLib::Area(q);
        area += std::fabs(a);
    }
    return area / (kClipperScale * kClipperScale);
}
#endif

// Counts and reports a peer's area that differs from merrow1's by more than
// 1e-9 relative plus the allowance.
[[maybe_unused]] void check_area(benchmark::State& state, const std::string& name, double area, double ref,
                                 double allowance) {
    const bool bad = std::fabs(area - ref) > 1e-9 * std::fabs(ref) + allowance;
    state.counters["area_mismatch"] = bad ? 1 : 0;
    if (!bad) return;
    ++g_mismatches;
    std::fprintf(stderr, "area mismatch in %s: %.12g against %.12g\n", name.c_str(), area, ref);
}

// ---------------------------------------------------------------------------
// CHAIN_offset on the grid family of the region bench

const double kGridOffset = 2.0;

struct GridKey {
    bool arcs;
    bool inward;
    CORNER_CONTROL corner;
    int n;
    bool operator<(const GridKey& o) const {
        return std::tie(arcs, inward, corner, n) < std::tie(o.arcs, o.inward, o.corner, o.n);
    }
};

// The name of a case without the library: chain_offset/family/direction/corner/n/.
std::string grid_name(const GridKey& key) {
    char name[96];
    std::snprintf(name, sizeof name, "chain_offset/%s/%s/%s/%d/", key.arcs ? "arcs" : "lines",
                  key.inward ? "inward" : "outward", key.corner == ADD_ARC ? "add_arc" : "extend_tangent", key.n);
    return name;
}

// The stars of both grids of region_boolean_bench's grid family.
const std::vector<Polygon>& grid_stars(int n, bool arcs) {
    static std::map<std::pair<int, bool>, std::vector<Polygon>> cache;
    auto it = cache.find({n, arcs});
    if (it == cache.end()) it = cache.emplace(std::make_pair(n, arcs), offset_grid_stars(n, arcs)).first;
    return it->second;
}

// The chains of the stars, made once per family, size and material side.
const std::vector<RING_header_s*>& grid_chains(int n, bool arcs, bool inward) {
    static std::map<std::tuple<int, bool, bool>, std::vector<RING_header_s*>> cache;
    auto it = cache.find({n, arcs, inward});
    if (it != cache.end()) return it->second;
    CMEM_pool_s* pool = CMEM_private_create_pool(4096, "offset bench grid input", __LINE__, __FILE__);
    std::vector<RING_header_s*> chains;
    for (const Polygon& p : grid_stars(n, arcs)) chains.push_back(polygon_chain(p, inward ? RIGHT : LEFT, pool));
    return cache.emplace(std::make_tuple(n, arcs, inward), std::move(chains)).first->second;
}

std::map<GridKey, double>& grid_reference_areas() {
    static std::map<GridKey, double> areas;
    return areas;
}

// One CHAIN_offset of every chain into a fresh pool; the area the result
// chains enclose.
double chain_offset_area(const std::vector<RING_header_s*>& chains, double d, CORNER_CONTROL corner, bool measure) {
    CMEM_pool_s* pool = CMEM_private_create_pool(4096, "offset bench chain_offset result", __LINE__, __FILE__);
    double area = 0;
    for (RING_header_s* chain : chains) {
        RING_header_s* out = CHAIN_offset(chain, d, corner, 0, nullptr, nullptr, nullptr, pool, nullptr);
        if (!out) continue;
        benchmark::DoNotOptimize(out->count);
        if (!measure) continue;
        const RING_node_s* node = out->first;
        for (int i = 0; i < out->count && node; ++i, node = node->next)
            if (const RING_header_s* result = RING_ask_node_subring(node))
                area += std::fabs(CHAIN_chainArea_chainCentroid(result, nullptr));
    }
    CMEM_private_delete_pool(pool);
    return area;
}

double chain_offset_run(const GridKey& key, bool measure) {
    return chain_offset_area(grid_chains(key.n, key.arcs, key.inward), kGridOffset, key.corner, measure);
}

void BM_chain_offset(benchmark::State& state, GridKey key) {
    const double area = chain_offset_run(key, true);
    // The clipper entry compares with the engine the switch names outside
    // the older engine's rows.
    if (CHAIN_ask_use_new_boolean()) grid_reference_areas()[key] = area;
    const long faults = minor_faults();
    for (auto _ : state) chain_offset_run(key, false);
    report_faults(state, faults);
    double vertices = 0;
    for (const Polygon& p : grid_stars(key.n, key.arcs)) vertices += static_cast<double>(p.v.size());
    state.counters["vertices"] = vertices;
    state.counters["area"] = area;
}

#if MERROW1_BENCH_HAVE_CLIPPER
void BM_chain_offset_clipper(benchmark::State& state, GridKey key) {
    const std::vector<Polygon>& stars = grid_stars(key.n, key.arcs);
    std::vector<ClipperLib::Path> paths;
    double vertices = 0, perimeters = 0;
    for (const Polygon& p : stars) {
        paths.push_back(clipper_path(p));
        vertices += static_cast<double>(paths.back().size());
        perimeters += perimeter(p) + 2 * kPi * kGridOffset;
    }
    const bool round = key.corner == ADD_ARC;
    auto run = [&](bool measure) {
        return clipper_offset_area(paths, key.inward ? -kGridOffset : kGridOffset, round, measure);
    };
    const double area = run(true);
    const long faults = minor_faults();
    for (auto _ : state) run(false);
    report_faults(state, faults);
    state.counters["vertices"] = vertices;
    state.counters["area"] = area;
    auto it = grid_reference_areas().find(key);
    const double ref = it != grid_reference_areas().end() ? it->second : chain_offset_run(key, true);
    check_area(state, grid_name(key) + "clipper", area, ref, perimeters * 2 * kChordError);
}
#endif

#if MERROW1_BENCH_HAVE_CLIPPER
// One ClipperOffset (round joins) of one polygon's polyline by d, negative
// inward: the timed loop and its counters, with the peak memory when peak is
// set; its area is checked against reference(), merrow1's area of the same
// case, which runs after the loop and the peak.
template <class Reference>
void clipper_single_offset(benchmark::State& state, const Polygon& p, double d, const std::string& name,
                           Reference reference, bool peak) {
    const std::vector<ClipperLib::Path> paths{clipper_path(p)};
    const double vertices = static_cast<double>(paths[0].size());
    const size_t before = resident_bytes();
    const double area = clipper_offset_area(paths, d, true, true);
    const long faults = minor_faults();
    for (auto _ : state) clipper_offset_area(paths, d, true, false);
    report_faults(state, faults);
    state.counters["vertices"] = vertices;
    state.counters["area"] = area;
    if (peak) report_peak(state, before, vertices);
    check_area(state, name + "clipper", area, reference(), (perimeter(p) + 2 * kPi * std::fabs(d)) * 2 * kChordError);
}
#endif

// ---------------------------------------------------------------------------
// CHAIN_offset of one smooth star

const double kSmoothOffset = 0.5, kSmoothLargeOffset = 10.0;

struct SmoothKey {
    bool arcs;
    bool inward;
    int n;
    double d;
    bool operator<(const SmoothKey& o) const {
        return std::tie(arcs, inward, n, d) < std::tie(o.arcs, o.inward, o.n, o.d);
    }
};

// The name of a case without the library: chain_offset/family/direction/n/.
std::string smooth_name(const SmoothKey& key) {
    char family[32] = "";
    if (key.d != kSmoothOffset) std::snprintf(family, sizeof family, "_d%g", key.d);
    char name[96];
    std::snprintf(name, sizeof name, "chain_offset/%s%s/%s/%d/", key.arcs ? "smooth_arcs" : "smooth_lines", family,
                  key.inward ? "inward" : "outward", key.n);
    return name;
}

const Polygon& smooth_polygon(int n, bool arcs) { return cached_polygon(offset_smooth_star, n, arcs); }

const std::vector<RING_header_s*>& smooth_chains(const SmoothKey& key) {
    static std::map<std::tuple<bool, bool, int>, std::vector<RING_header_s*>> cache;
    const auto k = std::make_tuple(key.arcs, key.inward, key.n);
    auto it = cache.find(k);
    if (it != cache.end()) return it->second;
    CMEM_pool_s* pool = CMEM_private_create_pool(4096, "offset bench smooth input", __LINE__, __FILE__);
    std::vector<RING_header_s*> chains{polygon_chain(smooth_polygon(key.n, key.arcs), key.inward ? RIGHT : LEFT, pool)};
    return cache.emplace(k, std::move(chains)).first->second;
}

// The peak memory counter where the inputs are large enough for it to mean
// something.
bool reports_peak(int n) { return n >= 10000; }

// The cases of about a minute a call, run for one iteration that also
// measures the area.
bool one_iteration(const SmoothKey& key) { return key.arcs && key.n >= 100000; }

void BM_smooth_offset(benchmark::State& state, SmoothKey key) {
    const std::vector<RING_header_s*>& chains = smooth_chains(key);
    const size_t before = resident_bytes();
    const bool once = one_iteration(key);
    double area = once ? 0.0 : chain_offset_area(chains, key.d, ADD_ARC, true);
    const long faults = minor_faults();
    for (auto _ : state) {
        if (once)
            area = chain_offset_area(chains, key.d, ADD_ARC, true);
        else
            chain_offset_area(chains, key.d, ADD_ARC, false);
    }
    report_faults(state, faults);
    state.counters["vertices"] = key.n;
    state.counters["area"] = area;
    if (reports_peak(key.n)) report_peak(state, before, key.n);
}

#if MERROW1_BENCH_HAVE_CLIPPER
void BM_smooth_offset_clipper(benchmark::State& state, SmoothKey key) {
    // merrow1's area once per case (the large cases take seconds).
    auto reference = [&key] {
        static std::map<SmoothKey, double> references;
        auto it = references.find(key);
        if (it == references.end())
            it = references.emplace(key, chain_offset_area(smooth_chains(key), key.d, ADD_ARC, true)).first;
        return it->second;
    };
    clipper_single_offset(state, smooth_polygon(key.n, key.arcs), key.inward ? -key.d : key.d, smooth_name(key),
                          reference, reports_peak(key.n));
}
#endif

// ---------------------------------------------------------------------------
// CHAIN_offset of the single star at every d

// Keyed like the first family (CaseKey), on the same stars.

// The name of a case without the library: chain_offset/family/direction/n/d/.
std::string star_name(const CaseKey& key) {
    char name[96];
    std::snprintf(name, sizeof name, "chain_offset/%s/%s/%d/%g/", key.arcs ? "star_arcs" : "star_lines",
                  key.inward ? "inward" : "outward", key.n, key.d);
    return name;
}

double star_offset_area(const CaseKey& key, bool measure) {
    const std::vector<RING_header_s*> chains{merrow1_input(key.n, key.arcs, key.inward).chain};
    return chain_offset_area(chains, key.d, ADD_ARC, measure);
}

void BM_star_offset(benchmark::State& state, CaseKey key) {
    const double area = star_offset_area(key, true);
    const long faults = minor_faults();
    for (auto _ : state) star_offset_area(key, false);
    report_faults(state, faults);
    state.counters["vertices"] = key.n;
    state.counters["area"] = area;
}

#if MERROW1_BENCH_HAVE_CLIPPER
void BM_star_offset_clipper(benchmark::State& state, CaseKey key) {
    clipper_single_offset(state, polygon(key.n, key.arcs), key.inward ? -key.d : key.d, star_name(key),
                          [&key] { return star_offset_area(key, true); }, false);
}
#endif

// ---------------------------------------------------------------------------
// CHAIN_offset_region of a pocket with islands

// The pockets of bench/families.h, offset by kRegionOffset.
struct RegionKey {
    Islands islands;
    int count;
    bool operator<(const RegionKey& o) const { return std::tie(islands, count) < std::tie(o.islands, o.count); }
};

// The name of a case without the library: offset_region/islands/count/.
std::string region_name(const RegionKey& key) {
    return std::string("offset_region/") + islands_name(key.islands) + "/" + std::to_string(key.count) + "/";
}

// The pocket first (counter-clockwise), then the islands (counter-clockwise).
struct Pocket {
    std::vector<Polygon> polygons;
    double perimeter = 0;  // of all the polygons
};

const Pocket& pocket(const RegionKey& key) {
    static std::map<RegionKey, Pocket> cache;
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    Pocket pk;
    pk.polygons = pocket_polygons(key.islands, key.count);
    for (const Polygon& p : pk.polygons) pk.perimeter += perimeter(p);
    return cache.emplace(key, std::move(pk)).first->second;
}

// The region set: the pocket's outer boundary with its material outside
// (RIGHT), the islands with their material inside (LEFT).
const RING_header_s* region_set(const RegionKey& key) {
    static std::map<RegionKey, RING_header_s*> cache;
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    CMEM_pool_s* pool = CMEM_private_create_pool(4096, "offset bench region input", __LINE__, __FILE__);
    return cache.emplace(key, pocket_chain_set(pocket(key).polygons, pool)).first->second;
}

// One CHAIN_offset_region into a fresh pool; the area of the air (the
// pocket's inside less the islands) of the result.
double region_offset_area(const RegionKey& key, bool measure) {
    CMEM_pool_s* pool = CMEM_private_create_pool(4096, "offset bench region result", __LINE__, __FILE__);
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    CHAIN_offset_region(region_set(key), out, kRegionOffset, false);
    // Chains with material on their right count negatively.
    const double area = measure ? -CHAIN_area_centroid(out, nullptr) : 0.0;
    benchmark::DoNotOptimize(out->count);
    CMEM_private_delete_pool(pool);
    return area;
}

double pocket_vertices(const RegionKey& key) {
    double vertices = 0;
    for (const Polygon& p : pocket(key).polygons) vertices += static_cast<double>(p.v.size());
    return vertices;
}

void BM_region_offset(benchmark::State& state, RegionKey key) {
    const double area = region_offset_area(key, true);
    const long faults = minor_faults();
    for (auto _ : state) region_offset_area(key, false);
    report_faults(state, faults);
    state.counters["vertices"] = pocket_vertices(key);
    state.counters["area"] = area;
}

#if MERROW1_BENCH_HAVE_CLIPPER
// The pocket and its islands in one ClipperOffset, the islands run clockwise
// as holes, offset by -d: the pocket shrinks and the islands grow, and the
// offset's union gives the air of the pocket.
void BM_region_offset_clipper(benchmark::State& state, RegionKey key) {
    const Pocket& pk = pocket(key);
    ClipperLib::Paths paths;
    double vertices = 0;
    for (size_t i = 0; i < pk.polygons.size(); ++i) {
        paths.push_back(clipper_path(pk.polygons[i]));
        if (i > 0) ClipperLib::ReversePath(paths.back());
        vertices += static_cast<double>(paths.back().size());
    }
    auto run = [&] {
        ClipperLib::ClipperOffset offset;
        offset.ArcTolerance = kChordError * kClipperScale;
        offset.AddPaths(paths, ClipperLib::jtRound, ClipperLib::etClosedPolygon);
        ClipperLib::Paths out;
        offset.Execute(out, -kRegionOffset * kClipperScale);
        return out;
    };
    double area = 0;
    for (const ClipperLib::Path& q : run()) area += ClipperLib::Area(q);
    area /= kClipperScale * kClipperScale;
    const long faults = minor_faults();
    for (auto _ : state) {
        ClipperLib::Paths out = run();
        benchmark::DoNotOptimize(out.size());
    }
    report_faults(state, faults);
    state.counters["vertices"] = vertices;
    state.counters["area"] = area;
    const double allowance =
        (pk.perimeter + 2 * kPi * kRegionOffset * static_cast<double>(key.count)) * 2 * kChordError;
    check_area(state, region_name(key) + "clipper", area, region_offset_area(key, true), allowance);
}
#endif

// ---------------------------------------------------------------------------
// CHAIN_offset of a circle on either boolean engine

const double kCircleRadius = 40.0, kCircleOffset = 1.0;

struct CircleKey {
    bool arcs;
    bool inward;
    int n;
    bool operator<(const CircleKey& o) const {
        return std::tie(arcs, inward, n) < std::tie(o.arcs, o.inward, o.n);
    }
};

// The name of a case without the library: chain_offset/family/direction/n/.
std::string circle_name(const CircleKey& key) {
    return std::string("chain_offset/") + (key.arcs ? "circle_arcs" : "circle_lines") + "/" +
           (key.inward ? "inward" : "outward") + "/" + std::to_string(key.n) + "/";
}

const Polygon& circle_polygon(int n, bool arcs) {
    static std::map<std::pair<int, bool>, Polygon> cache;
    auto it = cache.find({n, arcs});
    if (it == cache.end()) it = cache.emplace(std::make_pair(n, arcs), circle(Pt{0, 0}, kCircleRadius, n, arcs)).first;
    return it->second;
}

const std::vector<RING_header_s*>& circle_chains(const CircleKey& key) {
    static std::map<CircleKey, std::vector<RING_header_s*>> cache;
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    CMEM_pool_s* pool = CMEM_private_create_pool(4096, "offset bench circle input", __LINE__, __FILE__);
    std::vector<RING_header_s*> chains{
        polygon_chain(circle_polygon(key.n, key.arcs), key.inward ? RIGHT : LEFT, pool)};
    return cache.emplace(key, std::move(chains)).first->second;
}

void BM_circle_offset(benchmark::State& state, CircleKey key) {
    const std::vector<RING_header_s*>& chains = circle_chains(key);
    const double area = chain_offset_area(chains, kCircleOffset, ADD_ARC, true);
    const long faults = minor_faults();
    for (auto _ : state) chain_offset_area(chains, kCircleOffset, ADD_ARC, false);
    report_faults(state, faults);
    state.counters["vertices"] = key.n;
    state.counters["area"] = area;
}

#if MERROW1_BENCH_HAVE_CLIPPER
void BM_circle_offset_clipper(benchmark::State& state, CircleKey key) {
    clipper_single_offset(state, circle_polygon(key.n, key.arcs), key.inward ? -kCircleOffset : kCircleOffset,
                          circle_name(key),
                          [&key] { return chain_offset_area(circle_chains(key), kCircleOffset, ADD_ARC, true); },
                          false);
}
#endif

// merrow1's entry of a case on the older engine (the switch set for it, as
// HVEX_CAM_USE_OLD_BOOLEAN would set it).
template <class Key>
void BM_older(benchmark::State& state, void (*mine)(benchmark::State&, Key), Key key) {
    CHAIN_set_new_boolean_flag(false);
    mine(state, key);
    CHAIN_unset_new_boolean_flag();
}

// merrow1's entry of a case with the heap's trimming off for the rest of the
// process: freed memory stays in the heap instead of going back to the
// system between calls.
template <class Key>
void BM_notrim(benchmark::State& state, void (*mine)(benchmark::State&, Key), Key key) {
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_TOP_PAD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mine(state, key);
}

// The entry of merrow1 under base + "merrow1" and, when Clipper is
// installed, the peer's entry of the same case under base + "clipper".
#if MERROW1_BENCH_HAVE_CLIPPER
#define MERROW1_BENCH_PEER(fn) fn
#else
#define MERROW1_BENCH_PEER(fn) nullptr
#endif
// With older, merrow1's entry on the older engine follows under
// base + "merrow1_older".
template <class Key, class Peer>
benchmark::internal::Benchmark* register_beside_peer(const std::string& base, void (*mine)(benchmark::State&, Key),
                                                     Peer peer, const Key& key, bool older = false,
                                                     benchmark::TimeUnit unit = benchmark::kMicrosecond) {
    benchmark::internal::Benchmark* b = configure(benchmark::RegisterBenchmark((base + "merrow1").c_str(), mine, key), unit);
    if (older) configure(benchmark::RegisterBenchmark((base + "merrow1_older").c_str(), BM_older<Key>, mine, key), unit);
    if constexpr (!std::is_same_v<Peer, std::nullptr_t>)
        configure(benchmark::RegisterBenchmark((base + "clipper").c_str(), peer, key), unit);
    return b;
}

template <class Key>
void register_notrim(const std::string& base, void (*mine)(benchmark::State&, Key), const Key& key) {
    configure(benchmark::RegisterBenchmark((base + "merrow1_notrim").c_str(), BM_notrim<Key>, mine, key),
              benchmark::kMicrosecond);
}

bool fixed_iterations() { return std::getenv("MERROW1_BENCH_ITERATIONS") != nullptr; }

struct Registrar {
    Registrar() {
        for (bool arcs : {false, true})
            for (bool inward : {false, true})
                for (int n : {100, 1000})
                    for (double d : kOffsets) {
                        const CaseKey key{arcs, inward, n, d};
                        char name[96];
                        std::snprintf(name, sizeof name, "offset/%s/%s/%d/%g/", arcs ? "arcs" : "lines",
                                      inward ? "inward" : "outward", n, d);
                        register_beside_peer(name, BM_merrow1, MERROW1_BENCH_PEER(BM_clipper), key);
                    }
        for (bool arcs : {false, true})
            for (bool inward : {false, true})
                for (CORNER_CONTROL corner : {ADD_ARC, EXTEND_TANGENT})
                    for (int n : {10, 100, 1000, 10000}) {
                        const GridKey key{arcs, inward, corner, n};
                        register_beside_peer(grid_name(key), BM_chain_offset,
                                             MERROW1_BENCH_PEER(BM_chain_offset_clipper), key, n >= 100);
                    }
        for (bool arcs : {false, true})
            for (bool inward : {false, true})
                for (int n : {10, 100, 1000, 10000, 100000}) {
                    const SmoothKey key{arcs, inward, n, kSmoothOffset};
                    benchmark::internal::Benchmark* b =
                        register_beside_peer(smooth_name(key), BM_smooth_offset,
                                             MERROW1_BENCH_PEER(BM_smooth_offset_clipper), key, n == 1000 || n == 10000);
                    if (one_iteration(key) && !fixed_iterations()) b->Iterations(1);
                }
        for (bool inward : {false, true})
            for (int n : {10, 1000})
                for (double d : {2.0, 8.0}) {
                    const SmoothKey key{false, inward, n, d};
                    register_beside_peer(smooth_name(key), BM_smooth_offset,
                                         MERROW1_BENCH_PEER(BM_smooth_offset_clipper), key);
                }
        for (bool inward : {false, true})
            for (int n : {10000, 100000}) {
                const SmoothKey key{false, inward, n, kSmoothLargeOffset};
                register_beside_peer(smooth_name(key), BM_smooth_offset, MERROW1_BENCH_PEER(BM_smooth_offset_clipper),
                                     key);
            }
        for (bool arcs : {false, true})
            for (bool inward : {false, true})
                for (int n : {10, 100, 1000})
                    for (double d : kOffsets) {
                        const CaseKey key{arcs, inward, n, d};
                        register_beside_peer(star_name(key), BM_star_offset, MERROW1_BENCH_PEER(BM_star_offset_clipper),
                                             key, d == 2.0 && n >= 100);
                    }
        for (Islands islands : {Islands::kCircles, Islands::kStarLines, Islands::kStarArcs})
            for (int count : {10, 100}) {
                const RegionKey key{islands, count};
                register_beside_peer(region_name(key), BM_region_offset,
                                     MERROW1_BENCH_PEER(BM_region_offset_clipper), key, true);
            }
        for (bool arcs : {false, true})
            for (bool inward : {false, true})
                for (int n : {1000, 10000}) {
                    const CircleKey key{arcs, inward, n};
                    register_beside_peer(circle_name(key), BM_circle_offset,
                                         MERROW1_BENCH_PEER(BM_circle_offset_clipper), key, true);
                }
        // Last: mallopt lasts for the rest of the process.
        for (bool inward : {false, true}) {
            const SmoothKey smooth{false, inward, 1000, kSmoothOffset};
            register_notrim(smooth_name(smooth), BM_smooth_offset, smooth);
            const CaseKey single{false, inward, 1000, 2.0};
            register_notrim(star_name(single), BM_star_offset, single);
        }
    }
    ~Registrar() {
        if (g_mismatches) std::fprintf(stderr, "%d area mismatches\n", g_mismatches);
    }
} g_registrar;

}  // namespace
