// The classic build's boolean over its grid intersection, its violation
// checks and its error recovery: answers against the shared routines, the
// region chains and `out` as the caller passed them, and every error raised
// again with its code and text once the scratch pools are gone and the
// handler frames cancelled.
#include <gtest/gtest.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_location.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_set.h>
#include <merrow1/legacy/chain_classic.h>
#include <merrow1/legacy/chain_grid_intersection.h>
#include <pellam/testing.h>
#include <stend/error.h>
#include <stend/testing_error_handler.h>
#include <velte/cerr.h>
#include <velte/cmem.h>
#include <velte/testing.h>

#include "support/thirty_squares.h"
#include "support/chain_builders.h"

#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using chain_builders::list_of_chains;

namespace {

// The bytes a chain holds in memory: header record and links, application
// data entries, and per vertex its node links, record, geometry and entries.
std::string image(const RING_header_s* chain) {
    std::string out;
    auto put = [&out](const void* p, size_t n) { out.append(static_cast<const char*>(p), n); };
    auto put_entries = [&](const APP_DATA_s* e) {
        for (int k = 0; e && k < 1000; ++k, e = e->next) {
            put(&e->key, sizeof e->key);
            put(&e->data, sizeof e->data);
        }
    };
    put(chain->main_data, sizeof(CHAIN_main_data_s));
    put(&chain->first, sizeof chain->first);
    put(&chain->last, sizeof chain->last);
    put(&chain->count, sizeof chain->count);
    put_entries(chain->app_data);
    RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) {
        put(&node->next, sizeof node->next);
        put(&node->previous, sizeof node->previous);
        const auto* vertex = static_cast<const CHAIN_vertex_data_s*>(node->main_data);
        put(vertex, sizeof *vertex);
        put(vertex->geometry, CHAIN_seg_ask_type(node) == SEG_ARC ? sizeof(end_segment) : 2 * sizeof(double));
        put_entries(node->app_data);
    }
    return out;
}

std::vector<RING_header_s*> chains_of(const RING_header_s* list) {
    std::vector<RING_header_s*> out;
    RING_node_s* node = list ? list->first : nullptr;
    for (int i = 0; list && i < list->count && node; ++i, node = node->next) out.push_back(RING_ask_node_subring(node));
    return out;
}

// What an error left behind, for the error tables.
struct Raised {
    bool raised = false;
    int code = 0;
    std::string text;
};

Raised run_catching(const std::function<void()>& call) {
    Raised r;
    try {
        call();
    } catch (const Korvo::Error::Exception& e) {
        r = {true, e.askCode(), e.askText()};
    }
    return r;
}

class ClassicChecks : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "classic checks test", __LINE__, __FILE__); }
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        CMEM_private_delete_pool(pool);
    }

    // The polyline through the points with the material side.
    RING_header_s* polyline(const std::vector<std::array<double, 2>>& points, SIDE side) {
        RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
        for (const auto& p : points) {
            end_segment e = {p[0], p[1], 0, 0, 0, CCW};
            ChainAppendVertex(chain, &e, SEG_LINE);
        }
        static_cast<CHAIN_main_data_s*>(chain->main_data)->material_side = side;
        return chain;
    }
    RING_header_s* square(double x0, double y0, double x1, double y1, SIDE side) {
        RING_header_s* chain = polyline({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, side);
        CHAIN_close(chain, 0.0);
        return chain;
    }

    // Checks what every raised error must leave: the code and text, no pool
    // and no frame left, no breach of the frame protocol, and the module
    // error code holding the error.
    void expect_clean_raise(const Raised& r, int code, const std::string& text, long pools) {
        EXPECT_TRUE(r.raised);
        EXPECT_EQ(r.code, code);
        EXPECT_EQ(r.text, text);
        EXPECT_EQ(velte_test::live_pool_count(), pools);
        EXPECT_EQ(stend_test::handler_depth(), 0);
        EXPECT_TRUE(stend_test::handler_violations().empty());
        ASSERT_FALSE(stend_test::handler_calls().empty());
        EXPECT_EQ(stend_test::handler_calls().back().op, "reraise");
        EXPECT_EQ(CERR__ask_error_code(), code);
        EXPECT_EQ(std::string(CERR__ask_error_text()), text);
    }

    CMEM_pool_s* pool = nullptr;
};

double material_area(const RING_header_s* list) {
    double total = 0;
    for (RING_header_s* chain : chains_of(list)) {
        double centroid[2];
        total += std::fabs(CHAIN_chainArea_chainCentroid(chain, centroid));
    }
    return total;
}

// ---------------------------------------------------------------------------
// The grid boolean

TEST_F(ClassicChecks, BooleanGridRefusesAnEmptyListThroughTheModuleErrorCode) {
    RING_header_s* out = list_of_chains(pool);
    RING_header_s* only_null = list_of_chains(pool);
    RING_insert_after(only_null, nullptr, nullptr);
    for (RING_header_s* list : {static_cast<RING_header_s*>(nullptr), list_of_chains(pool), only_null}) {
        CERR__set_error_code(0);
        EXPECT_EQ(CHAIN_boolean_grid(list, 0, out, nullptr), 0);
        EXPECT_EQ(CERR__ask_error_code(), 1);
        EXPECT_STREQ(CERR__ask_error_text(), "empty list of chains entered");
        EXPECT_EQ(out->count, 0);
    }
}

TEST_F(ClassicChecks, BooleanGridUnitesTwoSquaresAsTheOlderEngineDoes) {
    RING_header_s* set = list_of_chains(pool, {square(0, 0, 2, 2, LEFT), square(1, 1, 3, 3, LEFT)});
    const long pools = velte_test::live_pool_count();
    RING_header_s* out = list_of_chains(pool);
    CERR__set_error_code(5);
    ASSERT_EQ(CHAIN_boolean_grid(set, 0, out, nullptr), 1);
    EXPECT_EQ(CERR__ask_error_code(), 0);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    EXPECT_EQ(stend_test::handler_depth(), 0);
    EXPECT_TRUE(stend_test::handler_violations().empty());
    EXPECT_NEAR(material_area(out), 7.0, 1e-9);

    CHAIN_set_new_boolean_flag(false);
    RING_header_s* older = list_of_chains(pool);
    ASSERT_EQ(ChainsBoolean(list_of_chains(pool, {square(0, 0, 2, 2, LEFT), square(1, 1, 3, 3, LEFT)}), 0, older, nullptr), 1);
    EXPECT_EQ(out->count, older->count);
    EXPECT_NEAR(material_area(older), 7.0, 1e-9);
    for (RING_header_s* chain : chains_of(out)) EXPECT_EQ(chain->pool, out->pool);
}

TEST_F(ClassicChecks, BooleanGridWithoutLoopsIsAnErrorInBoolean) {
    RING_header_s* out = list_of_chains(pool);
    RING_header_s* kept = square(10, 10, 11, 11, RIGHT);
    RING_insert_after(out, nullptr, kept);
    EXPECT_EQ(CHAIN_boolean_grid(list_of_chains(pool, {polyline({{0, 0}}, LEFT)}), 0, out, nullptr), 0);
    EXPECT_EQ(CERR__ask_error_code(), 1);
    EXPECT_STREQ(CERR__ask_error_text(), "Error in boolean");
    // A chain the caller had in out does not make the call a success.
    ASSERT_EQ(out->count, 1);
    EXPECT_EQ(RING_ask_node_subring(out->first), kept);
}

// Merge callback that counts its calls and raises on the nth (0: never).
int g_merges_left = 0;
int g_merge_calls = 0;
int merge_then_fail(RING_node_s* source, RING_node_s* segment, RING_header_s* source_chain, RING_node_s* vertex,
                    RING_header_s* chain) {
    ++g_merge_calls;
    if (--g_merges_left == 0) ERROR_raise(__FILE__, __LINE__, 4703, "merge fault");
    return CHAIN_boolean_merge(source, segment, source_chain, vertex, chain);
}

TEST_F(ClassicChecks, BooleanGridRaisesEveryErrorAgainWithOutAsItWas) {
    // Fifteen pairs of overlapping squares, thirty chains: the grid over
    // segments, and fifteen groups whose loops come one group after another.
    auto pairs = [this] {
        RING_header_s* set = list_of_chains(pool);
        for (int p = 0; p < 15; ++p) {
            RING_insert_after(set, set->last, square(3 * p, 0, 3 * p + 1, 1, LEFT));
            RING_insert_after(set, set->last, square(3 * p + 0.5, 0.5, 3 * p + 1.5, 1.5, LEFT));
        }
        return set;
    };
    g_merges_left = 0;
    g_merge_calls = 0;
    RING_header_s* whole = list_of_chains(pool);
    ASSERT_EQ(CHAIN_boolean_grid(pairs(), 0, whole, merge_then_fail), 1);
    ASSERT_EQ(whole->count, 15);
    const int merges = g_merge_calls;
    struct Row {
        const char* where;
        std::function<void()> arm;
        int code;
        const char* text;
        bool with_merge;
    };
    const Row rows[] = {
        {"a query of the segment grid",
         [] { pellam_test::fail_grid_query(pellam_test::GridKind::Items, 40, 4701, "grid fault"); }, 4701,
         "grid fault", false},
        {"a junction search of CHAIN_split",
         [] { pellam_test::fail_grid_query(pellam_test::GridKind::Records, 20, 4702, "split fault"); }, 4702,
         "split fault", false},
        {"the minimal loops, after loops were added", [merges] { g_merges_left = merges / 2; }, 4703, "merge fault",
         true},
        {"the minimal loops, at the first merge", [] { g_merges_left = 1; }, 4703, "merge fault", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.where);
        // Out holds a chain of the caller's already.
        RING_header_s* set = pairs();
        RING_header_s* out = list_of_chains(pool);
        RING_insert_after(out, nullptr, square(50, 50, 51, 51, RIGHT));
        const std::string before = image(RING_ask_node_subring(out->first));
        const long pools = velte_test::live_pool_count();
        pellam_test::clear_grid_calls();
        stend_test::reset_handlers();
        row.arm();
        const Raised r =
            run_catching([&] { CHAIN_boolean_grid(set, 0, out, row.with_merge ? merge_then_fail : nullptr); });
        expect_clean_raise(r, row.code, row.text, pools);
        ASSERT_EQ(out->count, 1);
        EXPECT_EQ(image(RING_ask_node_subring(out->first)), before);
        EXPECT_EQ(out->last, out->first);
    }
}

TEST_F(ClassicChecks, BooleanGridRaisesAnAbortAtEveryCheckAgain) {
    RING_header_s* set = list_of_chains(pool, {square(0, 0, 2, 2, LEFT), square(1, 1, 3, 3, LEFT), square(2.5, 0, 4, 1.5, LEFT)});
    int raised = 0;
    for (int after = 0; after < 10000; ++after) {
        SCOPED_TRACE(after);
        RING_header_s* out = list_of_chains(pool);
        const long pools = velte_test::live_pool_count();
        stend_test::reset_handlers();
        velte_test::request_abort(after);
        const Raised r = run_catching([&] { CHAIN_boolean_grid(set, 0, out, nullptr); });
        velte_test::cancel_abort();
        if (!r.raised) break;
        ++raised;
        expect_clean_raise(r, ERROR_USER_ABORT_CODE, "User abort", pools);
        EXPECT_EQ(out->count, 0);
    }
    EXPECT_GT(raised, 3);
}

// ---------------------------------------------------------------------------
// Violation checks

// Region sets given open in the two ways an open chain closes: ends within
// 1e-8 (merged) and ends apart (a closing line).
struct OpenRegions {
    std::vector<RING_header_s*> open;    // the caller's open chains
    std::vector<RING_header_s*> closed;  // the same chains closed
};

class ClassicViolateCheck : public ClassicChecks {
protected:
    // A pocket [0,10]^2 and an island [4,6]^2 (material inside); the open
    // forms either stop 5e-9 short of their start or lack their last side.
    OpenRegions regions(bool need_line) {
        OpenRegions r;
        const std::vector<std::array<double, 2>> pocket = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
        const std::vector<std::array<double, 2>> island = {{4, 4}, {4, 6}, {6, 6}, {6, 4}};
        for (const auto* points : {&pocket, &island}) {
            const SIDE side = points == &pocket ? RIGHT : RIGHT;
            std::vector<std::array<double, 2>> open = *points;
            if (!need_line) open.push_back({(*points)[0][0] + 5e-9, (*points)[0][1]});
            r.open.push_back(polyline(open, side));
            RING_header_s* closed = polyline(*points, side);
            CHAIN_close(closed, 0.0);
            r.closed.push_back(closed);
        }
        return r;
    }
    static int index_of(const std::vector<RING_header_s*>& chains, const RING_header_s* found) {
        for (size_t i = 0; i < chains.size(); ++i)
            if (chains[i] == found) return static_cast<int>(i);
        return found ? -2 : -1;
    }
    static bool any_key_106(const std::vector<RING_header_s*>& chains) {
        for (const RING_header_s* c : chains)
            if (APP_DATA__ask_app_data(c->app_data, CHAIN_APP_DATA_CLOSED_FOR_CHECK)) return true;
        return false;
    }
    // The chains that are checked: lines and a small square.
    std::vector<RING_header_s*> moves() {
        return {polyline({{1, 1}, {2, 2}}, 0),       polyline({{3, 5}, {5, 5}}, 0),
                polyline({{4.5, 4.5}, {5.5, 5.5}}, 0), polyline({{8, 5}, {12, 5}}, 0),
                polyline({{-3, -3}, {-2, -1}}, 0),    square(7, 7, 8, 8, RIGHT)};
    }
};

TEST_F(ClassicViolateCheck, OpenRegionChainsAnswerAsClosedOnesAndComeBackByteEqual) {
    for (bool older : {false, true}) {
        CHAIN_set_new_boolean_flag(!older);
        for (bool need_line : {false, true}) {
            SCOPED_TRACE(testing::Message() << (older ? "older engine, " : "newer engine, ")
                                            << (need_line ? "closing line" : "ends within 1e-8"));
            OpenRegions r = regions(need_line);
            std::vector<std::string> before;
            for (RING_header_s* c : r.open) before.push_back(image(c));
            RING_header_s* open_list = list_of_chains(pool, r.open);
            RING_header_s* closed_list = list_of_chains(pool, r.closed);
            const long pools = velte_test::live_pool_count();
            int violations = 0;
            for (RING_header_s* move : moves()) {
                const int got = index_of(r.open, CHAIN_violate_check(move, open_list));
                const int want = index_of(r.closed, CHAIN_violate_check(move, closed_list));
                EXPECT_EQ(got, want);
                if (want >= 0) ++violations;
            }
            EXPECT_GE(violations, 3);
            EXPECT_EQ(velte_test::live_pool_count(), pools);
            EXPECT_EQ(stend_test::handler_depth(), 0);
            EXPECT_FALSE(any_key_106(r.open));
            for (size_t i = 0; i < r.open.size(); ++i) EXPECT_EQ(image(r.open[i]), before[i]);
        }
    }
}

TEST_F(ClassicViolateCheck, AChainListedTwiceAnswersWithTheCallersChain) {
    // Orders of the pocket (0) and the island (1) in the region list.
    const std::vector<std::vector<int>> orders = {{0, 0}, {1, 1}, {0, 1, 1}, {1, 0, 1}, {0, 1, 0}};
    for (bool older : {false, true}) {
        CHAIN_set_new_boolean_flag(!older);
        for (const std::vector<int>& order : orders) {
            SCOPED_TRACE(testing::Message() << (older ? "older engine, " : "newer engine, ") << order.size()
                                            << " chains, first " << order[0]);
            OpenRegions r = regions(true);
            std::vector<RING_header_s*> open, closed;
            for (int i : order) {
                open.push_back(r.open[i]);
                closed.push_back(r.closed[i]);
            }
            RING_header_s* open_list = list_of_chains(pool, open);
            RING_header_s* closed_list = list_of_chains(pool, closed);
            for (RING_header_s* move : moves()) {
                const int got = index_of(r.open, CHAIN_violate_check(move, open_list));
                EXPECT_NE(got, -2) << "a chain of the check's own came back";
                EXPECT_EQ(got, index_of(r.closed, CHAIN_violate_check(move, closed_list)));
            }
            EXPECT_FALSE(any_key_106(r.open));
        }
    }
}

TEST_F(ClassicViolateCheck, AnErrorOnTheWayLeavesTheRegionsAsTheyWereAndIsRaisedAgain) {
    for (bool older : {false, true}) {
        CHAIN_set_new_boolean_flag(!older);
        SCOPED_TRACE(older ? "older engine" : "newer engine");
        OpenRegions r = regions(true);
        std::vector<std::string> before;
        for (RING_header_s* c : r.open) before.push_back(image(c));
        RING_header_s* open_list = list_of_chains(pool, r.open);
        RING_header_s* move = polyline({{3, 5}, {5, 5}}, 0);
        int raised = 0;
        for (int after = 0; after < 10000; ++after) {
            SCOPED_TRACE(after);
            const long pools = velte_test::live_pool_count();
            stend_test::reset_handlers();
            velte_test::request_abort(after);
            RING_header_s* found = nullptr;
            const Raised e = run_catching([&] { found = CHAIN_violate_check(move, open_list); });
            velte_test::cancel_abort();
            if (!e.raised) {
                EXPECT_EQ(index_of(r.open, found), 1);
                break;
            }
            ++raised;
            expect_clean_raise(e, ERROR_USER_ABORT_CODE, "User abort", pools);
            EXPECT_FALSE(any_key_106(r.open));
            for (size_t i = 0; i < r.open.size(); ++i) EXPECT_EQ(image(r.open[i]), before[i]);
        }
        EXPECT_GT(raised, 0);
    }
}

TEST_F(ClassicViolateCheck, LineGougeAnswersWhetherTheLineCrossesARegion) {
    OpenRegions r = regions(true);
    RING_header_s* set = list_of_chains(pool, r.closed);
    struct Case {
        const char* name;
        RING_header_s* regions;
        Korvo::Math::Point2 from, to;
        bool gouges;
    };
    const Case cases[] = {
        {"equal points", set, {5, 5}, {5, 5}, false},
        {"empty set", list_of_chains(pool), {-1, 5}, {11, 5}, false},
        {"null set", nullptr, {-1, 5}, {11, 5}, false},
        {"across the island", set, {3, 5}, {7, 5}, true},
        {"out through the pocket wall", set, {8, 8}, {12, 8}, true},
        {"in the free part", set, {1, 1}, {2, 3}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const long pools = velte_test::live_pool_count();
        EXPECT_EQ(ChainsLineGouge(c.regions, &c.from, &c.to), c.gouges);
        EXPECT_EQ(velte_test::live_pool_count(), pools);
        EXPECT_EQ(stend_test::handler_depth(), 0);
    }
    // An error is raised again, never answered as "no gouge".
    int raised = 0;
    const Korvo::Math::Point2 from{1, 1}, to{2, 3};
    for (int after = 0; after < 10000; ++after) {
        const long pools = velte_test::live_pool_count();
        stend_test::reset_handlers();
        velte_test::request_abort(after);
        const Raised e = run_catching([&] { ChainsLineGouge(set, &from, &to); });
        velte_test::cancel_abort();
        if (!e.raised) break;
        ++raised;
        expect_clean_raise(e, ERROR_USER_ABORT_CODE, "User abort", pools);
    }
    EXPECT_GT(raised, 0);
}

// ---------------------------------------------------------------------------
// The grid intersection under its frame

TEST_F(ClassicChecks, GridIntersectionRaisesAGridErrorAgainWithItsPoolGone) {
    // 29 chains of 31 vertices take the grid over chains.
    auto long_chains = [this] {
        RING_header_s* set = list_of_chains(pool);
        for (int k = 0; k < 29; ++k) {
            std::vector<std::array<double, 2>> points;
            for (int v = 0; v < 31; ++v) points.push_back({double(v), k + 0.7 * (v % 2)});
            RING_insert_after(set, set->last, polyline(points, RIGHT));
        }
        return set;
    };
    struct Row {
        const char* path;
        std::function<RING_header_s*()> set;
        int after;
    };
    const Row rows[] = {
        {"grid over segments, first query", [this] { return thirty_squares(pool); }, 0},
        {"grid over segments, a later query", [this] { return thirty_squares(pool); }, 17},
        {"grid over chains, a later query", long_chains, 11},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        RING_header_s* set = row.set();
        RING_header_s* list = list_of_chains(pool);
        const long pools = velte_test::live_pool_count();
        stend_test::reset_handlers();
        pellam_test::fail_grid_query(pellam_test::GridKind::Items, row.after, 4710, "query fault");
        const Raised r = run_catching([&] { CHAIN_find_intersection(set, list); });
        expect_clean_raise(r, 4710, "query fault", pools);
    }
}

}  // namespace
