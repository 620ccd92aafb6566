// The minimal-loop road on both engines: ChainsBoolean over two region sets
// read as their union, CHAIN_boolean_between with the first set's material
// sides swapped read as A - B as air, and the region booleans on the same
// sets as the reference.  Each result is judged against answers worked out
// in the test: the exact area of the region, its loop count, the material
// of sample points by the windings of the input chains, closed loops, no
// loop of no area and no loop run twice.
#include "chain/chain_query_fixture.h"
#include "chainops/chain_samples.h"
#include "chainops/minimal_loop_cases.h"
#include "chainops/region_oracle.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_region_offset.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

using namespace chain_query_test;
using minimal_loop_cases::Built;
using minimal_loop_cases::Case;
using minimal_loop_cases::Expect;
using minimal_loop_cases::Reading;

namespace minimal_loop_road {

// An entry of the road (or the reference) and the reading of its result.
struct Entry {
    const char* name;
    Reading reading;
    bool answers_loops;  // answers 1 exactly when it appended loops (else always 1)
    std::function<int(RING_header_s* set, RING_header_s* out)> run;
};

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
    return a && !b;
}
// The layers a right result lays at a point, counted by the windings of its
// loops and their material sides (region_oracle::membership): one boundary
// crossed from air into material adds one, so with air at infinity the
// material lies at 1 and the air at 0, with material at infinity (A - B as
// air is bounded by a pocket) the material at 0 and the air at -1.  A loop
// kept twice or a face of the wrong level shows as another count.
inline int wanted_layers(Reading r, bool material) {
    const int at_infinity = r == Reading::DifferenceAsAir ? 1 : 0;
    return (material ? 1 : 0) - at_infinity;
}

// The judged result of one call.
struct Judged {
    double signed_area = 0, abs_area = 0;
    int loops = 0;
    std::vector<std::string> faults;
    bool ok() const { return faults.empty(); }
    std::string text() const {
        std::ostringstream s;
        s.precision(12);
        s << "signed area " << signed_area << ", unsigned " << abs_area << ", " << loops << " loops";
        for (const std::string& f : faults) s << "\n    " << f;
        return s.str();
    }
};

// Runs the entry on the built set in `pool` and judges the result.  The
// newer engine rounds to a grid of 31 bits over the inputs' box (enlarged by
// 1e-5 of its extent): every result vertex lies within half a cell diagonal
// of the exact boundary and a dropped small loop holds less than two cells
// times its perimeter, so the areas are right to 2 cells times the input and
// result perimeters.  `expect` (when given) fixes area and loop count;
// `probes` are points inside thin faces, judged by the inputs' windings
// like the sample grid.
inline Judged judge(const Entry& entry, const Built& built, const Expect* expect, const std::vector<minimal_loop_cases::Point>& probes) {
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
    auto fault = [&](const std::string& f) { j.faults.push_back(f); };

    for (size_t i = 0; i < result.size(); ++i) {
        if (!closed(result[i])) fault("loop " + std::to_string(i) + " is open");
    }
    if (!j.ok()) return j;
    j.signed_area = region_oracle::material_area(result);
    for (RING_header_s* c : result) j.abs_area += std::fabs(CHAIN_chainArea_chainCentroid(c, nullptr));
    const double bound = 2 * cell * (perimeter_of(inputs) + perimeter_of(result)) + 1e-12;

    const int want_answer = entry.answers_loops ? (result.empty() ? 0 : 1) : 1;
    if (answer != want_answer)
        fault("answered " + std::to_string(answer) + " with " + std::to_string(result.size()) + " loops");
    if (expect) {
        std::ostringstream s;
        s.precision(12);
        if (std::fabs(j.signed_area - expect->signed_area) > bound)
            s << "signed area " << j.signed_area << ", expected " << expect->signed_area << " (within " << bound << ")";
        else if (std::fabs(j.abs_area - expect->abs_area) > bound)
            s << "unsigned area " << j.abs_area << ", expected " << expect->abs_area << " (within " << bound << ")";
        else if (j.loops != expect->loops)
            s << j.loops << " loops, expected " << expect->loops;
        if (!s.str().empty()) fault(s.str());
    }
    for (size_t i = 0; i < result.size(); ++i) {
        const double a = std::fabs(CHAIN_chainArea_chainCentroid(result[i], nullptr));
        if (a <= bound) fault("loop " + std::to_string(i) + " has no area (" + std::to_string(a) + ")");
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

// One row: a case, an engine and an entry.
struct Row {
    size_t case_index;
    bool newer;
    size_t entry_index;
};

inline void PrintTo(const Row& r, std::ostream* os) {
    *os << "case " << r.case_index + 1 << (r.newer ? ", newer engine, " : ", older engine, ")
        << entries()[r.entry_index].name;
}

inline std::vector<Row> rows() {
    std::vector<Row> all;
    for (size_t c = 0; c < minimal_loop_cases::cases().size(); ++c)
        for (bool newer : {true, false})
            for (size_t e = 0; e < entries().size(); ++e) all.push_back({c, newer, e});
    return all;
}

// "Case5_Newer_CHAIN_boolean_between", for --gtest_filter.
inline std::string row_name(const ::testing::TestParamInfo<Row>& info) {
    std::string entry = entries()[info.param.entry_index].name;
    std::replace(entry.begin(), entry.end(), ' ', '_');
    return "Case" + std::to_string(info.param.case_index + 1) + (info.param.newer ? "_Newer_" : "_Older_") + entry;
}

class MinimalLoopRoadTest : public PoolTest, public ::testing::WithParamInterface<Row> {
protected:
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        PoolTest::TearDown();
    }
};

// Each case through each entry on each engine; a failure names the case,
// engine and entry with the areas found and expected.
TEST_P(MinimalLoopRoadTest, GivesTheExactRegion) {
    const Row row = GetParam();
    const Case c = minimal_loop_cases::cases()[row.case_index];
    const Entry& entry = entries()[row.entry_index];
    CHAIN_set_new_boolean_flag(row.newer);
    const Expect want = minimal_loop_cases::expected(c, entry.reading);
    const Built built = minimal_loop_cases::build(pool, c, entry.reading);
    const Judged j = judge(entry, built, &want, c.probes);
    EXPECT_TRUE(j.ok()) << c.name << " / " << (row.newer ? "newer" : "older") << " engine / " << entry.name << " ("
                        << minimal_loop_cases::name_of(entry.reading) << "): " << j.text();
}

INSTANTIATE_TEST_SUITE_P(Cases, MinimalLoopRoadTest, ::testing::ValuesIn(rows()), row_name);

}  // namespace minimal_loop_road
