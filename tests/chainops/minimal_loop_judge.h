// Judging a result of the minimal-loop road (or of the region booleans) on
// two region sets A and B against answers worked out in the test: areas and
// loop count when known, the material of sample points by the windings of
// the input chains, closed loops, no loop of no area and no loop run twice.
#pragma once

#include "chain/chain_query_fixture.h"
#include "chainops/chain_samples.h"
#include "chainops/minimal_loop_cases.h"
#include "chainops/region_oracle.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_boolean.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_region_offset.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace minimal_loop_road {

using chain_query_test::closed;
using minimal_loop_cases::Built;
using minimal_loop_cases::Expect;
using minimal_loop_cases::Reading;

// An entry of the road (or the reference) and the reading of its result.
struct Entry {
    const char* name;
    Reading reading;
    bool answers_loops;  // answers 1 exactly when it appended loops (else always 1)
    std::function<int(RING_header_s* set, RING_header_s* out)> run;
    // Takes the sets as two lists whose own chains are not intersected with
    // each other: its reading holds where no two shapes of one set meet.
    bool sets_apart = false;
};

// The boolean of the set's chains read as two lists, region set 1 against
// the others: only crossings between the lists are sought.
inline int two_lists(RING_header_s* set, RING_header_s* out) {
    std::vector<RING_header_s*> lists[2];
    for (RING_header_s* c : region_oracle::chains_in(set))
        lists[chain_query_test::data_of(c)->region_set_id == 1 ? 0 : 1].push_back(c);
    return CHAIN_boolean_two_lists(chain_query_test::list_of_chains(set->pool, lists[0]),
                                   chain_query_test::list_of_chains(set->pool, lists[1]), 0, out, nullptr);
}

inline const std::vector<Entry>& entries() {
    static const std::vector<Entry> all = {
        {"ChainsBoolean", Reading::Union, true,
         [](RING_header_s* set, RING_header_s* out) { return ChainsBoolean(set, 0, out, nullptr); }},
        {"CHAIN_boolean_between", Reading::DifferenceAsAir, true,
         [](RING_header_s* set, RING_header_s* out) { return CHAIN_boolean_between(set, 0, out, nullptr); }},
        {"CHAIN_boolean_regions union", Reading::Union, false,
         [](RING_header_s* set, RING_header_s* out) {
             return CHAIN_boolean_regions(set, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, out);
         }},
        {"CHAIN_boolean_regions intersection", Reading::DifferenceAsMaterial, false,
         [](RING_header_s* set, RING_header_s* out) {
             return CHAIN_boolean_regions(set, 0, CHAIN_BOOLEAN_INTERSECT, nullptr, nullptr, nullptr, nullptr,
                                          nullptr, out);
         }},
        // The union of the two lists on the material side; with A's
        // material sides swapped (A's outside united with B), A - B as air.
        {"CHAIN_boolean_two_lists", Reading::Union, true, two_lists, true},
        {"CHAIN_boolean_two_lists first swapped", Reading::DifferenceAsAir, true, two_lists, true},
    };
    return all;
}

struct Box {
    double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
    double extent() const { return std::max(hi[0] - lo[0], hi[1] - lo[1]); }
};

// The box of the chains from dense samples along them (arcs included).
inline Box box_of(const std::vector<RING_header_s*>& chains) {
    Box b;
    for (RING_header_s* c : chains)
        for (const auto& p : chain_samples::along(c, 64))
            for (int k = 0; k < 2; ++k) {
                b.lo[k] = std::min(b.lo[k], p[k]);
                b.hi[k] = std::max(b.hi[k], p[k]);
            }
    return b;
}

inline double perimeter_of(const std::vector<RING_header_s*>& chains) {
    double total = 0;
    for (RING_header_s* c : chains) total += CHAIN_perimeter_and_centroid(c, nullptr);
    return total;
}

// Material of the region a reading asks for at a point, from the windings of
// the input chains by their material sides (a swapped set counted back).
inline bool in_set(const std::vector<RING_header_s*>& set, bool swapped, const double p[2]) {
    const int m = region_oracle::membership(set, p);
    return (swapped ? -m : m) > 0;
}
inline bool wanted_material(const Built& built, Reading r, const double p[2]) {
    const bool a = in_set(built.a, built.a_swapped, p);
    const bool b = in_set(built.b, built.b_swapped, p);
    if (r == Reading::Union) return a || b;
    if (r == Reading::DifferenceAsAir) return !(a && !b);
    if (r == Reading::IntersectionAsAir) return !(a && b);
    return a && !b;
}
// The layers a right result lays at a point, counted by the windings of its
// loops and their material sides (region_oracle::membership): one boundary
// crossed from air into material adds one, so with air at infinity the
// material lies at 1 and the air at 0, with material at infinity (A - B or
// A n B as air is bounded by a pocket) the material at 0 and the air at -1.
// A loop kept twice or a face of the wrong level shows as another count.
inline int wanted_layers(Reading r, bool material) {
    const int at_infinity = r == Reading::DifferenceAsAir || r == Reading::IntersectionAsAir ? 1 : 0;
    return (material ? 1 : 0) - at_infinity;
}

// The judged result of one call.
struct Judged {
    double signed_area = 0, abs_area = 0;
    int loops = 0;
    bool pinched = false;  // two loops, or one loop twice, pass through one vertex point
    std::vector<std::string> faults;
    std::string chains;  // the input and result chains, when asked for
    bool ok() const { return faults.empty(); }
    std::string text() const {
        std::ostringstream s;
        s.precision(12);
        s << "signed area " << signed_area << ", unsigned " << abs_area << ", " << loops << " loops";
        for (const std::string& f : faults) s << "\n    " << f;
        if (!chains.empty()) s << "\n" << chains;
        return s.str();
    }
};

// Signed area of a closed chain from its vertex records, with no tolerance
// (the chain's own area answers 0 below the length tolerance, and slivers
// of the grid's resolution lie below it).
inline double area_of(const RING_header_s* chain) {
    std::vector<chain_query_test::V> vs;
    RING_node_s* v = chain->first;
    for (int i = 0; v && i < chain->count; ++i, v = v->next) {
        const double* p = chain_query_test::point_of(v);
        if (CHAIN_seg_ask_type(v) == SEG_ARC) {
            const end_segment* a = chain_query_test::arc_of(v);
            vs.push_back(chain_query_test::A(p[0], p[1], a->cx, a->cy, a->direction));
        } else {
            vs.push_back(chain_query_test::L(p[0], p[1]));
        }
    }
    return minimal_loop_cases::shape_area(vs);
}

// The vertices of chains, one chain a line, for the output of a single case.
inline std::string listing(const std::vector<RING_header_s*>& chains) {
    std::ostringstream s;
    s.precision(17);
    for (RING_header_s* c : chains) {
        const CHAIN_main_data_s* md = chain_query_test::data_of(c);
        s << "      [" << (md->direction == CW ? "CW" : md->direction == CCW ? "CCW" : "-") << " "
          << (md->material_side == LEFT ? "LEFT" : md->material_side == RIGHT ? "RIGHT" : "-") << " id "
          << md->region_set_id << "]";
        RING_node_s* v = c->first;
        for (int i = 0; v && i < c->count; ++i, v = v->next) {
            const double* p = chain_query_test::point_of(v);
            s << " (" << p[0] << ", " << p[1];
            if (CHAIN_seg_ask_type(v) == SEG_ARC) {
                const end_segment* a = chain_query_test::arc_of(v);
                s << " arc " << (a->direction == CCW ? "CCW" : "CW") << " about " << a->cx << ", " << a->cy;
            }
            s << ")";
        }
        s << "\n";
    }
    return s.str();
}

// Whether a vertex point recurs in the loops of a result: loops touching at
// a point (or one loop through it twice) may come back as one loop or
// several, so their count is no measure there; nor is the sum of their
// unsigned areas where a pocket touches an island (a pocket and an island
// touching at a point count both areas, one loop through the point twice
// only their difference), while the signed area and the layers are the
// same either way.
inline bool pinched(const std::vector<RING_header_s*>& loops) {
    std::set<std::pair<double, double>> seen;
    for (RING_header_s* c : loops) {
        RING_node_s* v = c->first;
        for (int i = 0; v && i < c->count; ++i, v = v->next) {
            const double* p = chain_query_test::point_of(v);
            if (!seen.insert({p[0], p[1]}).second) return true;
        }
    }
    return false;
}

// Runs the entry on the built set (its result list in the set's pool) and
// judges the result.  The newer engine rounds to a grid of 31 bits over the
// inputs' box (enlarged by 1e-5 of its extent): every result vertex lies
// within half a cell diagonal of the exact boundary and a dropped small loop
// holds less than two cells times its perimeter, so the areas are right to
// 2 cells times the input and result perimeters.  `expect` (when given)
// fixes the areas and the loop count (a NaN area or a negative count is not
// judged); `probes` are points inside thin faces, judged by the inputs'
// windings like the sample grid.  With `list_chains` the judged result
// carries the input and result chains.
inline Judged judge(const Entry& entry, const Built& built, const Expect* expect,
                    const std::vector<minimal_loop_cases::Point>& probes, bool list_chains = false) {
    Judged j;
    std::vector<RING_header_s*> inputs = built.a;
    inputs.insert(inputs.end(), built.b.begin(), built.b.end());
    const Box box = box_of(inputs);
    const double cell = 1.001 * box.extent() / 2147483647.0;

    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, built.list->pool);
    RING_set_sub_ring_delfunc(out, nullptr);
    const int answer = entry.run(built.list, out);
    const std::vector<RING_header_s*> result = region_oracle::chains_in(out);
    j.loops = static_cast<int>(result.size());
    if (list_chains) j.chains = "    input:\n" + listing(inputs) + "    result:\n" + listing(result);
    auto fault = [&](const std::string& f) { j.faults.push_back(f); };

    for (size_t i = 0; i < result.size(); ++i) {
        if (!closed(result[i])) fault("loop " + std::to_string(i) + " is open");
    }
    if (!j.ok()) return j;
    std::vector<double> areas;
    for (RING_header_s* c : result) {
        const double a = area_of(c);
        areas.push_back(std::fabs(a));
        j.abs_area += std::fabs(a);
        // Material on the left of a counter-clockwise loop or the right of a
        // clockwise one lies inside it.
        const SIDE side = chain_query_test::data_of(c)->material_side;
        j.signed_area += (a > 0) == (side == LEFT) ? std::fabs(a) : -std::fabs(a);
    }
    const double bound = 2 * cell * (perimeter_of(inputs) + perimeter_of(result)) + 1e-12;

    const int want_answer = entry.answers_loops ? (result.empty() ? 0 : 1) : 1;
    if (answer != want_answer)
        fault("answered " + std::to_string(answer) + " with " + std::to_string(result.size()) + " loops");
    j.pinched = pinched(result);
    if (expect) {
        std::ostringstream s;
        s.precision(12);
        if (!std::isnan(expect->signed_area) && std::fabs(j.signed_area - expect->signed_area) > bound)
            s << "signed area " << j.signed_area << ", expected " << expect->signed_area << " (within " << bound << ")";
        else if (!std::isnan(expect->abs_area) && (expect->loops_at_touch || !j.pinched) &&
                 std::fabs(j.abs_area - expect->abs_area) > bound)
            s << "unsigned area " << j.abs_area << ", expected " << expect->abs_area << " (within " << bound << ")";
        else if (expect->loops >= 0 && (expect->loops_at_touch || !j.pinched) && j.loops != expect->loops)
            s << j.loops << " loops, expected " << expect->loops;
        if (!s.str().empty()) fault(s.str());
    }
    // A loop of no area at the grid's resolution: under two cells times its
    // perimeter, so narrower than about four cells (no input here bounds a
    // face so narrow).
    for (size_t i = 0; i < result.size(); ++i) {
        const double a = areas[i];
        if (a <= 2 * cell * CHAIN_perimeter_and_centroid(result[i], nullptr)) {
            std::ostringstream s;
            s << "loop " << i << " has no area (" << a << ")";
            fault(s.str());
        }
    }
    // A loop run twice: every sample of each lies on the other.
    const double near = 4 * cell + 1e-12;
    for (size_t i = 0; i < result.size(); ++i)
        for (size_t k = i + 1; k < result.size(); ++k) {
            bool same = true;
            for (size_t m : {i, k}) {
                const std::vector<RING_header_s*> other = {result[m == i ? k : i]};
                for (const auto& p : chain_samples::along(result[m], 8))
                    if (region_oracle::distance_to(other, p.data()) > near) {
                        same = false;
                        break;
                    }
                if (!same) break;
            }
            if (same) fault("loops " + std::to_string(i) + " and " + std::to_string(k) + " run along each other");
        }
    // Material of sample points: a grid over the box (points within 16 cells
    // of an input chain passed over) and the probes.
    int wrong = 0;
    std::string first_wrong;
    auto sample = [&](const double p[2], bool must) {
        if (!must && region_oracle::distance_to(inputs, p) < 16 * cell) return;
        const bool material = wanted_material(built, entry.reading, p);
        const int want = wanted_layers(entry.reading, material);
        const int got = region_oracle::membership(result, p);
        if (want == got) return;
        if (wrong++ == 0) {
            std::ostringstream s;
            s.precision(17);
            s << "(" << p[0] << ", " << p[1] << ") in " << (material ? "material" : "air") << ": " << got
              << " layers, expected " << want;
            first_wrong = s.str();
        }
    };
    const int n = 23;
    for (int ix = 0; ix <= n; ++ix)
        for (int iy = 0; iy <= n; ++iy) {
            const double p[2] = {box.lo[0] - 0.05 * box.extent() + (ix + 0.3183) * 1.1 * box.extent() / n,
                                 box.lo[1] - 0.05 * box.extent() + (iy + 0.2718) * 1.1 * box.extent() / n};
            sample(p, false);
        }
    for (const auto& p : probes) sample(p.data(), true);
    if (wrong) fault(std::to_string(wrong) + " sample points wrong, first " + first_wrong);
    return j;
}

}  // namespace minimal_loop_road
