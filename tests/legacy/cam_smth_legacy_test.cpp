// The single-pass cleaning of point rings and its driver: each pass and the
// driver against a model of the same walk over a vector of node ids, with
// callbacks whose answers depend only on the ids they are asked about; the
// strictness of every comparison; the small rings; and the preconditions.
#include <gtest/gtest.h>

#include <merrow1/legacy/cam_smth_legacy.h>

#include <stend/system.h>
#include <stend/testing.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Callbacks: deterministic answers in [0, 1) from the ids, and a log
// ---------------------------------------------------------------------------

std::vector<std::string> g_log;
// When set, every measure answers this value instead.
bool g_fixed = false;
double g_fixed_value = 0.0;

int id_of(const RING_node_s* n) { return *static_cast<const int*>(n->main_data); }

double hashed(unsigned tag, int a, int b, int c) {
    uint64_t h = 1469598103934665603ull ^ tag;
    for (int v : {a, b, c}) h = (h ^ static_cast<uint64_t>(v + 7)) * 1099511628211ull;
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9ull;
    h ^= h >> 32;
    return static_cast<double>(h % 1000003) / 1000003.0;
}

std::string entry(const char* name, std::initializer_list<int> ids) {
    std::string s = name;
    for (int id : ids) s += " " + std::to_string(id);
    return s;
}

double corner_cb(RING_node_s* m, RING_node_s* b, RING_node_s* a) {
    g_log.push_back(entry("corner", {id_of(m), id_of(b), id_of(a)}));
    return g_fixed ? g_fixed_value : hashed(1, id_of(m), id_of(b), id_of(a));
}
double offset_cb(RING_node_s* n, RING_node_s* a, RING_node_s* b) {
    g_log.push_back(entry("offset", {id_of(n), id_of(a), id_of(b)}));
    return g_fixed ? g_fixed_value : hashed(2, id_of(n), id_of(a), id_of(b));
}
// Distances in [0.5, 1.5), so that the spark ratio offset / distance spreads
// around its threshold.
double distance_cb(RING_node_s* a, RING_node_s* b) {
    g_log.push_back(entry("distance", {id_of(a), id_of(b)}));
    return g_fixed ? g_fixed_value : 0.5 + hashed(3, id_of(a), id_of(b), 0);
}
void merge_cb(RING_node_s* a, RING_node_s* b) { g_log.push_back(entry("merge", {id_of(a), id_of(b)})); }
void smooth_cb(RING_node_s* a, RING_node_s* b) { g_log.push_back(entry("smooth", {id_of(a), id_of(b)})); }
PNT3_s* point_cb(RING_node_s*) {
    g_log.push_back("point");
    return nullptr;
}

// ---------------------------------------------------------------------------
// The model: a ring as a vector of ids
// ---------------------------------------------------------------------------

struct Model {
    std::vector<int> ids;
    bool closed;
    std::vector<std::string> log;

    int size() const { return static_cast<int>(ids.size()); }
    int pos(int id) const {
        for (int i = 0; i < size(); ++i)
            if (ids[i] == id) return i;
        return -1;
    }
    // Successor and predecessor positions, -1 where there is none.
    int next(int i) const { return i + 1 < size() ? i + 1 : (closed ? 0 : -1); }
    int prev(int i) const { return i > 0 ? i - 1 : (closed ? size() - 1 : -1); }
    void erase(int i) { ids.erase(ids.begin() + i); }

    double corner(int m, int b, int a) {
        log.push_back(entry("corner", {ids[m], ids[b], ids[a]}));
        return hashed(1, ids[m], ids[b], ids[a]);
    }
    double offset(int n, int a, int b) {
        log.push_back(entry("offset", {ids[n], ids[a], ids[b]}));
        return hashed(2, ids[n], ids[a], ids[b]);
    }
    double distance(int a, int b) {
        log.push_back(entry("distance", {ids[a], ids[b]}));
        return 0.5 + hashed(3, ids[a], ids[b], 0);
    }

    // The walk: from the first node, a counter from 1 that may not pass the
    // current size; `step` answers the id to go on from, or -1 to stop.
    void walk(const std::function<int(int)>& step) {
        int id = ids.empty() ? -1 : ids[0];
        for (int counter = 1; id >= 0 && counter <= size(); ++counter) id = step(id);
    }
    int id_after(int id) const {
        const int n = next(pos(id));
        return n < 0 ? -1 : ids[n];
    }

    void sharpcorner(double limit) {
        walk([&](int nid) {
            const int n = pos(nid), m = next(n);
            if (m < 0 || m == n) return -1;
            const int k = next(m);
            if (k < 0) return -1;
            if (corner(m, n, k) < limit) erase(m);
            return id_after(nid);
        });
    }
    void sparks(double a, double b, double c) {
        if (size() == 2) return;
        walk([&](int nid) {
            const int n = pos(nid), p1 = prev(n);
            if (p1 == n) return -1;
            const int p2 = p1 < 0 ? -1 : prev(p1), p3 = p2 < 0 ? -1 : prev(p2), p4 = p3 < 0 ? -1 : prev(p3);
            if (p4 < 0) return id_after(nid);
            if (corner(p1, n, p2) < a) {
                bool spark = offset(n, p1, p2) < b;
                if (!spark) {
                    const double off = offset(p1, p3, p4);
                    spark = off / distance(p3, p4) < c && corner(p1, p3, p4) < a;
                }
                if (spark) erase(p1);
            }
            return id_after(nid);
        });
    }
    void mergep(double limit, const char* merge_name) {
        walk([&](int nid) {
            const int n = pos(nid), m = next(n);
            if (m < 0 || m == n) return -1;
            if (distance(n, m) < limit) {
                log.push_back(entry(merge_name, {ids[n], ids[m]}));
                erase(m);
            }
            return id_after(nid);
        });
    }
    void linear_smooth(double limit, const char* smooth_name) {
        walk([&](int nid) {
            const int n = pos(nid), m = next(n);
            if (m < 0 || m == n) return -1;
            if (distance(n, m) < limit) log.push_back(entry(smooth_name, {ids[n], ids[m]}));
            return ids[m];
        });
    }
};

// ---------------------------------------------------------------------------
// Fixture: a real ring of the same ids
// ---------------------------------------------------------------------------

class SmoothingPasses : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "smoothing test", __LINE__, __FILE__);
        g_log.clear();
        g_fixed = false;
        storage.reserve(64);
    }
    void TearDown() override {
        for (RING_header_s* r : rings) RING_delete(r);
        CMEM_private_delete_pool(pool);
        g_fixed = false;
    }

    RING_header_s* ring(const std::vector<int>& ids, bool closed) {
        RING_header_s* r = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
        for (int id : ids) {
            storage.push_back(id);
            RING_insert_after(r, r->last, &storage.back());
        }
        if (closed && r->first) {
            r->last->next = r->first;
            r->first->previous = r->last;
        }
        rings.push_back(r);
        return r;
    }
    // The ids from the first node, and whether the ring is still closed.
    static std::vector<int> ids_of(const RING_header_s* r) {
        std::vector<int> out;
        const RING_node_s* n = r->first;
        for (int i = 0; n && i < r->count; ++i, n = n->next) out.push_back(id_of(n));
        return out;
    }
    static bool closed_of(const RING_header_s* r) { return r->last && r->last->next == r->first; }

    CMEM_pool_s* pool = nullptr;
    std::vector<int> storage;  // reserved: node data addresses stay put
    std::vector<RING_header_s*> rings;
};

// One case of the random comparison.
struct Pass {
    const char* name;
    std::function<void(RING_header_s*, const double*)> run;
    std::function<void(Model&, const double*)> model;
};

TEST_F(SmoothingPasses, EachPassAndTheDriverWalkAsTheModelOverRandomRings) {
    const Pass passes[] = {
        {"sharpcorner", [](RING_header_s* r, const double* t) { CAM_SMTH_remove_sharpcorner(r, t[0], corner_cb); },
         [](Model& m, const double* t) { m.sharpcorner(t[0]); }},
        {"sparks",
         [](RING_header_s* r, const double* t) {
             CAM_SMTH_remove_sparks(r, t[1], t[2], t[4], corner_cb, offset_cb, distance_cb);
         },
         [](Model& m, const double* t) { m.sparks(t[1], t[2], t[4]); }},
        {"mergep", [](RING_header_s* r, const double* t) { CAM_SMTH_mergep(r, t[3], distance_cb, merge_cb); },
         [](Model& m, const double* t) { m.mergep(t[3], "merge"); }},
        {"linear_smooth",
         [](RING_header_s* r, const double* t) { CAM_SMTH_linear_smooth(r, t[4], distance_cb, smooth_cb); },
         [](Model& m, const double* t) { m.linear_smooth(t[4], "smooth"); }},
        {"curves",
         [](RING_header_s* r, const double* t) {
             CAM_SMTH_curves(r, t[0], t[1], t[2], t[3], t[4], corner_cb, offset_cb, distance_cb, merge_cb, point_cb);
         },
         [](Model& m, const double* t) {
             // d5 is both the spark pass's third threshold and the smoothing
             // limit; merge serves the merging and the smoothing pass.
             m.sharpcorner(t[0]);
             m.sparks(t[1], t[2], t[4]);
             m.mergep(t[3], "merge");
             m.linear_smooth(t[4], "merge");
         }},
    };
    std::mt19937 rng(4501);
    std::uniform_real_distribution<double> threshold(0.0, 1.0);
    std::uniform_int_distribution<int> length(0, 14);
    int acted = 0;
    for (const Pass& pass : passes) {
        for (int trial = 0; trial < 400; ++trial) {
            SCOPED_TRACE(std::string(pass.name) + " trial " + std::to_string(trial));
            const bool closed = trial % 2 == 0;
            std::vector<int> ids(length(rng));
            for (size_t i = 0; i < ids.size(); ++i) ids[i] = static_cast<int>(i) + 100 * (trial % 3);
            double t[5];
            for (double& v : t) v = threshold(rng);
            // The spark ratio's threshold is spread over the ratio's range.
            t[4] *= 1.5;

            storage.clear();
            RING_header_s* r = ring(ids, closed);
            g_log.clear();
            pass.run(r, t);
            Model model{ids, closed, {}};
            pass.model(model, t);
            ASSERT_EQ(g_log, model.log);
            ASSERT_EQ(ids_of(r), model.ids);
            ASSERT_EQ(r->count, model.size());
            if (!model.ids.empty()) {
                ASSERT_EQ(closed_of(r), closed);
            }
            if (model.size() < static_cast<int>(ids.size())) ++acted;
            RING_delete(r);
            rings.pop_back();
        }
    }
    // The random thresholds make the passes remove nodes in many cases.
    EXPECT_GT(acted, 300);
}

// Each pass with every measure answering exactly its threshold leaves the
// ring alone and changes no node; just below the threshold it acts.
TEST_F(SmoothingPasses, AValueEqualToItsThresholdNeverActs) {
    struct Row {
        const char* name;
        std::function<void(RING_header_s*, double)> run;
        const char* action;  // the callback that acts, or "" when the pass only removes
    };
    const Row rows[] = {
        {"sharpcorner", [](RING_header_s* r, double v) { CAM_SMTH_remove_sharpcorner(r, v, corner_cb); }, ""},
        // The spark ratio offset / distance equals the value only when the
        // distance is 1: the third threshold is 1, the others the value.
        {"sparks first test",
         [](RING_header_s* r, double v) { CAM_SMTH_remove_sparks(r, v, v, -1.0, corner_cb, offset_cb, distance_cb); },
         ""},
        {"mergep", [](RING_header_s* r, double v) { CAM_SMTH_mergep(r, v, distance_cb, merge_cb); }, "merge"},
        {"linear_smooth", [](RING_header_s* r, double v) { CAM_SMTH_linear_smooth(r, v, distance_cb, smooth_cb); },
         "smooth"},
        {"curves",
         [](RING_header_s* r, double v) {
             CAM_SMTH_curves(r, v, v, v, v, v, corner_cb, offset_cb, distance_cb, merge_cb, point_cb);
         },
         "merge"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (bool closed : {false, true}) {
            g_fixed = true;
            g_fixed_value = 0.25;
            storage.clear();
            RING_header_s* r = ring({1, 2, 3, 4, 5, 6, 7}, closed);
            g_log.clear();
            row.run(r, 0.25);
            EXPECT_EQ(ids_of(r), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
            for (const std::string& e : g_log) {
                if (row.action[0]) {
                    EXPECT_NE(e.find(row.action), 0u) << e;
                }
            }
            EXPECT_FALSE(g_log.empty());

            // Just below: the pass acts.
            g_fixed_value = 0.25 - 1e-12;
            g_log.clear();
            row.run(r, 0.25);
            bool called = false;
            for (const std::string& e : g_log) called = called || (row.action[0] && e.find(row.action) == 0);
            EXPECT_TRUE(r->count < 7 || called);
        }
    }
}

TEST_F(SmoothingPasses, SparkThirdTestRatioEqualToItsThresholdDoesNotRemove) {
    // corner below a, offset(n, p1, p2) not below b, the ratio 0.5 / 1.0 equal
    // to c: nothing goes.  Offsets answer 0.5, distances 1, corners 0.
    struct Fixed {
        static double corner(RING_node_s*, RING_node_s*, RING_node_s*) { return 0.0; }
        static double offset(RING_node_s*, RING_node_s*, RING_node_s*) { return 0.5; }
        static double distance(RING_node_s*, RING_node_s*) { return 1.0; }
    };
    RING_header_s* r = ring({1, 2, 3, 4, 5, 6}, true);
    CAM_SMTH_remove_sparks(r, 0.1, 0.5, 0.5, Fixed::corner, Fixed::offset, Fixed::distance);
    EXPECT_EQ(r->count, 6);
    CAM_SMTH_remove_sparks(r, 0.1, 0.5, 0.5 + 1e-12, Fixed::corner, Fixed::offset, Fixed::distance);
    EXPECT_LT(r->count, 6);
}

TEST_F(SmoothingPasses, ARingOfTwoNodesPassesTheSparkPassUnchanged) {
    for (bool closed : {false, true}) {
        RING_header_s* r = ring({1, 2}, closed);
        g_fixed = true;
        g_fixed_value = 0.0;  // every test would remove
        g_log.clear();
        CAM_SMTH_remove_sparks(r, 1.0, 1.0, 1.0, corner_cb, offset_cb, distance_cb);
        EXPECT_EQ(ids_of(r), (std::vector<int>{1, 2}));
        EXPECT_TRUE(g_log.empty());
    }
}

TEST_F(SmoothingPasses, TheFirstOfThreeCloseNodesAbsorbsTheSecondAndTheThirdMeetsItsOwnSuccessor) {
    // Nodes 1, 2 and 3 are all closer than the limit to each other, 4 and 5
    // far from everything.  1 absorbs 2; the walk goes on from 3, which is
    // compared with 4, not with 1.
    struct Close {
        static double distance(RING_node_s* a, RING_node_s* b) {
            g_log.push_back(entry("distance", {id_of(a), id_of(b)}));
            return id_of(a) <= 3 && id_of(b) <= 3 ? 0.1 : 5.0;
        }
    };
    RING_header_s* r = ring({1, 2, 3, 4, 5}, false);
    g_log.clear();
    CAM_SMTH_mergep(r, 1.0, Close::distance, merge_cb);
    EXPECT_EQ(g_log, (std::vector<std::string>{"distance 1 2", "merge 1 2", "distance 3 4", "distance 4 5"}));
    EXPECT_EQ(ids_of(r), (std::vector<int>{1, 3, 4, 5}));
}

TEST_F(SmoothingPasses, ARingOfOneNodeIsLeftUnchangedByEveryPass) {
    g_fixed = true;
    g_fixed_value = -1.0;  // every test would act
    for (bool closed : {false, true}) {
        RING_header_s* r = ring({7}, closed);
        RING_node_s* only = r->first;
        g_log.clear();
        CAM_SMTH_remove_sharpcorner(r, 1.0, corner_cb);
        CAM_SMTH_remove_sparks(r, 1.0, 1.0, 1.0, corner_cb, offset_cb, distance_cb);
        CAM_SMTH_mergep(r, 1.0, distance_cb, merge_cb);
        CAM_SMTH_linear_smooth(r, 1.0, distance_cb, smooth_cb);
        CAM_SMTH_curves(r, 1, 1, 1, 1, 1, corner_cb, offset_cb, distance_cb, merge_cb, point_cb);
        EXPECT_TRUE(g_log.empty());
        ASSERT_EQ(r->count, 1);
        EXPECT_EQ(r->first, only);
        EXPECT_EQ(closed_of(r), closed);
    }
}

TEST_F(SmoothingPasses, ANullRingOrANeededNullCallbackIsAFailedPrecondition) {
    MACH__checking_level = 1;
    RING_header_s* r = ring({1, 2, 3, 4, 5, 6}, true);
    g_fixed = true;
    g_fixed_value = -1.0;
    const std::function<void()> calls[] = {
        [] { CAM_SMTH_remove_sharpcorner(nullptr, 1, corner_cb); },
        [&] { CAM_SMTH_remove_sharpcorner(r, 1, nullptr); },
        [] { CAM_SMTH_remove_sparks(nullptr, 1, 1, 1, corner_cb, offset_cb, distance_cb); },
        [&] { CAM_SMTH_remove_sparks(r, 1, 1, 1, nullptr, offset_cb, distance_cb); },
        [&] { CAM_SMTH_remove_sparks(r, 1, 1, 1, corner_cb, nullptr, distance_cb); },
        [&] { CAM_SMTH_remove_sparks(r, 1, 1, 1, corner_cb, offset_cb, nullptr); },
        [] { CAM_SMTH_mergep(nullptr, 1, distance_cb, merge_cb); },
        [&] { CAM_SMTH_mergep(r, 1, nullptr, merge_cb); },
        [&] { CAM_SMTH_mergep(r, 1, distance_cb, nullptr); },
        [] { CAM_SMTH_linear_smooth(nullptr, 1, distance_cb, smooth_cb); },
        [&] { CAM_SMTH_linear_smooth(r, 1, nullptr, smooth_cb); },
        [&] { CAM_SMTH_linear_smooth(r, 1, distance_cb, nullptr); },
        [] { CAM_SMTH_curves(nullptr, 1, 1, 1, 1, 1, corner_cb, offset_cb, distance_cb, merge_cb, point_cb); },
        [&] { CAM_SMTH_curves(r, 1, 1, 1, 1, 1, nullptr, offset_cb, distance_cb, merge_cb, point_cb); },
        [&] { CAM_SMTH_curves(r, 1, 1, 1, 1, 1, corner_cb, nullptr, distance_cb, merge_cb, point_cb); },
        [&] { CAM_SMTH_curves(r, 1, 1, 1, 1, 1, corner_cb, offset_cb, nullptr, merge_cb, point_cb); },
        [&] { CAM_SMTH_curves(r, 1, 1, 1, 1, 1, corner_cb, offset_cb, distance_cb, nullptr, point_cb); },
    };
    int i = 0;
    for (const auto& call : calls) {
        SCOPED_TRACE(i++);
        stend_test::clear();
        g_log.clear();
        call();
        EXPECT_EQ(stend_test::texts(stend_test::Kind::Note),
                  std::vector<std::string>{"Assertion failed: DUE_TO_INVALID_INPUT"});
        EXPECT_TRUE(g_log.empty());
        EXPECT_EQ(r->count, 6);
    }
    // The point callback is not needed: the driver runs without it.
    stend_test::clear();
    CAM_SMTH_curves(r, 1, 1, 1, 1, 1, corner_cb, offset_cb, distance_cb, merge_cb, nullptr);
    EXPECT_TRUE(stend_test::texts(stend_test::Kind::Note).empty());
    EXPECT_LT(r->count, 6);
}

}  // namespace
