// Spike removal on rings: both functions against a list-based model of the
// same walk with the same measures, and the rings too small to walk.
#include <gtest/gtest.h>

#include <merrow1/cam_smth.h>

#include <cmath>
#include <random>
#include <vector>
#include <velte/ring.h>

namespace {

struct Pt {
    double x, y;
};

const Pt& pt(const RING_node_s* n) { return *static_cast<const Pt*>(n->main_data); }

double angle_at(const Pt& m, const Pt& a, const Pt& b) {
    const double ux = a.x - m.x, uy = a.y - m.y, vx = b.x - m.x, vy = b.y - m.y;
    return std::atan2(std::fabs(ux * vy - uy * vx), ux * vx + uy * vy) * 180.0 / M_PI;
}

// The angle at the middle (degrees): a spike is sharp.
double measure(RING_node_s* middle, RING_node_s* after, RING_node_s* before) {
    return angle_at(pt(middle), pt(after), pt(before));
}
// The length from the middle to its successor: a long edge keeps the node.
double second(RING_node_s* after, RING_node_s* middle, RING_node_s*) {
    return std::hypot(pt(after).x - pt(middle).x, pt(after).y - pt(middle).y);
}
bool g_ignored_called = false;
void ignored(RING_node_s*) { g_ignored_called = true; }

const double kMin = 20, kKeep = 60, kKeepSecond = 15;

bool model_is_spike(const std::vector<Pt>& pts, int middle, int after, int before) {
    const double m = angle_at(pts[middle], pts[after], pts[before]);
    const double s = std::hypot(pts[after].x - pts[middle].x, pts[after].y - pts[middle].y);
    return !(m >= kMin && (m >= kKeep || s >= kKeepSecond));
}

// The ring as a list of point indices.
struct ModelRing {
    std::vector<int> ids;
    bool closed;
    int prev(int i) const { return i > 0 ? i - 1 : (closed ? static_cast<int>(ids.size()) - 1 : -1); }
};

// Passes of the first function on the model: positions removed per pass.
std::vector<std::vector<int>> model_remove(const std::vector<Pt>& pts, ModelRing& r) {
    std::vector<std::vector<int>> passes;
    while (r.ids.size() >= 3) {
        std::vector<int> removed;
        int cur = 0, position = -1;
        while (true) {
            const int m = r.prev(cur), b = m >= 0 ? r.prev(m) : -1;
            if (m >= 0 && b >= 0 && m != cur && b != cur && b != m &&
                model_is_spike(pts, r.ids[m], r.ids[cur], r.ids[b])) {
                r.ids.erase(r.ids.begin() + m);
                removed.push_back(position);
                if (m < cur) --cur;
            }
            ++cur;
            if (cur == static_cast<int>(r.ids.size())) {
                if (!r.closed) break;
                cur = 0;
            }
            ++position;
            if (position + 2 > static_cast<int>(r.ids.size())) break;
        }
        passes.push_back(removed);
        if (removed.empty()) break;
    }
    return passes;
}

// The second function on the model: one pass with repeated tests.
int model_remove2(const std::vector<Pt>& pts, ModelRing& r) {
    if (r.ids.size() == 2 || r.ids.empty()) return 0;
    const int steps = static_cast<int>(r.ids.size());
    int total = 0, cur = 0;
    for (int step = 1; step <= steps; ++step) {
        while (r.ids.size() > 2) {
            const int m = r.prev(cur), b = m >= 0 ? r.prev(m) : -1;
            if (m < 0 || b < 0 || m == cur || b == cur || b == m ||
                !model_is_spike(pts, r.ids[m], r.ids[cur], r.ids[b]))
                break;
            r.ids.erase(r.ids.begin() + m);
            if (m < cur) --cur;
            ++total;
        }
        ++cur;
        if (cur == static_cast<int>(r.ids.size())) {
            if (!r.closed) break;
            cur = 0;
        }
    }
    return total;
}

RING_header_s* make_ring(std::vector<Pt>& pts, const std::vector<int>& ids, bool closed) {
    RING_header_s* ring = RING_create_private(nullptr, RING_TYPE_CHAIN, __FILE__, __LINE__);
    for (int id : ids) RING_insert_after(ring, ring->last, &pts[id]);
    if (closed && ring->first) {
        ring->last->next = ring->first;
        ring->first->previous = ring->last;
    }
    return ring;
}

// Point indices of the ring in order, checking its links on the way.
std::vector<int> ring_ids(const std::vector<Pt>& pts, const RING_header_s* ring) {
    std::vector<int> ids;
    const RING_node_s* n = ring->first;
    for (int i = 0; i < ring->count && n; ++i, n = n->next) ids.push_back(static_cast<int>(&pt(n) - pts.data()));
    EXPECT_EQ(static_cast<int>(ids.size()), ring->count);
    return ids;
}

std::vector<int> iota(int n) {
    std::vector<int> v(n);
    for (int i = 0; i < n; ++i) v[i] = i;
    return v;
}

struct RingCase {
    const char* name;
    std::vector<Pt> pts;
    bool closed;
};

// A square with a thin spike on its top edge, and a spike whose removal
// makes its neighbour a spike (the cascade); open and closed.
std::vector<RingCase> ring_cases() {
    const std::vector<Pt> spike = {{0, 0}, {10, 0}, {10, 10}, {6, 10}, {5, 30}, {4, 10}};
    const std::vector<Pt> cascade = {{0, 0},    {10, 0},      {10, 10},   {6, 10},
                                     {5.5, 30}, {5.45, 40},   {5.4, 29},  {4, 10}};
    const std::vector<Pt> spike_at_seam = {{4, 10}, {0, 0}, {10, 0}, {10, 10}, {6, 10}, {5, 30}};
    const std::vector<Pt> square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    return {{"spike closed", spike, true},           {"spike open", spike, false},
            {"cascade closed", cascade, true},       {"cascade open", cascade, false},
            {"spike at the seam", spike_at_seam, true}, {"square", square, true},
            {"square open", square, false}};
}

TEST(CamSmthRemoveSpikes, MatchesTheModelPassByPass) {
    std::vector<RingCase> cases = ring_cases();
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> coord(0, 20);
    for (int i = 0; i < 200; ++i) {
        std::vector<Pt> pts(3 + i % 12);
        for (Pt& p : pts) p = {coord(rng), coord(rng)};
        cases.push_back({"random", pts, i % 2 == 0});
    }
    for (RingCase& c : cases) {
        SCOPED_TRACE(c.name);
        ModelRing model{iota(static_cast<int>(c.pts.size())), c.closed};
        const std::vector<std::vector<int>> passes = model_remove(c.pts, model);
        std::vector<int> expected;
        for (const auto& p : passes) expected.insert(expected.end(), p.begin(), p.end());

        RING_header_s* ring = make_ring(c.pts, iota(static_cast<int>(c.pts.size())), c.closed);
        std::vector<int> removed(c.pts.size(), -99);
        g_ignored_called = false;
        const int n = CAM_SMTH_remove_spikes(ring, kMin, kKeep, kKeepSecond, measure, second, ignored, removed.data());
        ASSERT_EQ(n, static_cast<int>(expected.size()));
        removed.resize(n);
        EXPECT_EQ(removed, expected);
        EXPECT_EQ(ring_ids(c.pts, ring), model.ids);
        EXPECT_FALSE(g_ignored_called);
        RING_delete(ring);
    }
}

// The crafted rings do what they are named for: the seam spike is the last
// node, reported as -1; the cascade needs a second pass.
TEST(CamSmthRemoveSpikes, SeamSpikeAndCascade) {
    std::vector<RingCase> cases = ring_cases();
    ModelRing seam{iota(6), true};
    EXPECT_EQ(model_remove(cases[4].pts, seam), (std::vector<std::vector<int>>{{-1}, {}}));
    ModelRing cascade{iota(8), true};
    const auto passes = model_remove(cases[2].pts, cascade);
    EXPECT_EQ(passes, (std::vector<std::vector<int>>{{5}, {4}, {4}, {}}));
    EXPECT_EQ(cascade.ids, (std::vector<int>{0, 1, 2, 3, 7}));

    // A null `removed` only counts.
    RING_header_s* ring = make_ring(cases[2].pts, iota(8), true);
    EXPECT_EQ(CAM_SMTH_remove_spikes(ring, kMin, kKeep, kKeepSecond, measure, second, ignored, nullptr), 3);
    RING_delete(ring);
}

TEST(CamSmthRemoveSpikes2, MatchesTheModelAndRemovesFromBothRings) {
    std::vector<RingCase> cases = ring_cases();
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> coord(0, 20);
    for (int i = 0; i < 200; ++i) {
        std::vector<Pt> pts(3 + i % 12);
        for (Pt& p : pts) p = {coord(rng), coord(rng)};
        cases.push_back({"random", pts, i % 2 == 0});
    }
    for (RingCase& c : cases) {
        SCOPED_TRACE(c.name);
        const int n = static_cast<int>(c.pts.size());
        ModelRing model{iota(n), c.closed};
        const int expected = model_remove2(c.pts, model);
        // The parallel ring carries copies: node k of it stands beside node k of the ring.
        std::vector<Pt> copies = c.pts;
        RING_header_s* ring = make_ring(c.pts, iota(n), c.closed);
        RING_header_s* parallel = make_ring(copies, iota(n), c.closed);
        EXPECT_EQ(CAM_SMTH_remove_spikes2(ring, parallel, kMin, kKeep, kKeepSecond, measure, second, ignored),
                  expected);
        EXPECT_EQ(ring_ids(c.pts, ring), model.ids);
        EXPECT_EQ(ring_ids(copies, parallel), model.ids);
        RING_delete(ring);
        RING_delete(parallel);
    }
    // The cascade goes in the one pass, by the repeated test of the same node.
    ModelRing cascade{iota(8), true};
    EXPECT_EQ(model_remove2(ring_cases()[2].pts, cascade), 3);
    EXPECT_EQ(cascade.ids, (std::vector<int>{0, 1, 2, 3, 7}));
}

// Rings too small or unequal: nothing changes; tiny closed rings are walked
// safely (a 1-node ring is its own neighbour, a 3-node ring falls to 2).
TEST(CamSmthRemoveSpikes, SmallAndUnequalRings) {
    std::vector<Pt> pts = {{0, 0}, {5, 30}, {10, 0}, {5, 1}};
    for (bool closed : {true, false}) {
        for (int n : {0, 1, 2, 3}) {
            SCOPED_TRACE(std::to_string(n) + (closed ? " closed" : " open"));
            ModelRing model{iota(n), closed};
            const auto passes = model_remove(pts, model);
            int expected = 0;
            for (const auto& p : passes) expected += static_cast<int>(p.size());
            RING_header_s* ring = make_ring(pts, iota(n), closed);
            std::vector<int> removed(4);
            EXPECT_EQ(CAM_SMTH_remove_spikes(ring, kMin, kKeep, kKeepSecond, measure, second, ignored,
                                             removed.data()),
                      expected);
            EXPECT_EQ(ring_ids(pts, ring), model.ids);
            RING_delete(ring);

            ModelRing model2{iota(n), closed};
            const int expected2 = model_remove2(pts, model2);
            RING_header_s* a = make_ring(pts, iota(n), closed);
            RING_header_s* b = make_ring(pts, iota(n), closed);
            EXPECT_EQ(CAM_SMTH_remove_spikes2(a, b, kMin, kKeep, kKeepSecond, measure, second, ignored), expected2);
            EXPECT_EQ(ring_ids(pts, a), model2.ids);
            RING_delete(a);
            RING_delete(b);
        }
    }
    // The 2-node ring is returned unchanged, and so are rings of unequal length.
    RING_header_s* a = make_ring(pts, {0, 1, 2}, true);
    RING_header_s* b = make_ring(pts, {0, 1, 2, 3}, true);
    EXPECT_EQ(CAM_SMTH_remove_spikes2(a, b, kMin, kKeep, kKeepSecond, measure, second, ignored), 0);
    EXPECT_EQ(ring_ids(pts, a), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(ring_ids(pts, b), (std::vector<int>{0, 1, 2, 3}));
    RING_delete(a);
    RING_delete(b);
}

}  // namespace
