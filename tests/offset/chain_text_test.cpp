// Text to chains, against scripted strokes of known shape.
#include "offset/fit_fixture.h"
#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <harlow/testing_rm.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_text.h>
#include <nimber/testing.h>
#include <pemmet/testing.h>
#include <quorn/testing.h>
#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <stend/testing_sm.h>
#include <velte/testing.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using fit_test::arc_sweep;
using fit_test::end_of;
using fit_test::nodes_of;
using fit_test::Pt;
namespace nt = nimber_test;

const tag_t kText = 7;
const double kTol = 1e-4;

std::vector<RING_header_s*> subrings(const RING_header_s* list) {
    std::vector<RING_header_s*> out;
    if (!list) return out;
    for (RING_node_s* node : nodes_of(list)) out.push_back(RING_ask_node_subring(node));
    return out;
}

std::vector<Pt> points(const RING_header_s* chain) {
    std::vector<Pt> out;
    for (RING_node_s* node : nodes_of(chain)) out.push_back({end_of(node)->x, end_of(node)->y});
    return out;
}

bool closed(const RING_header_s* chain) { return chain->first && chain->last->next == chain->first; }

using chain_builders::data_of;

Korvo::OM::ClassId table_class() { return Korvo::OM::FindClassId("Korvo::ANN_render_table"); }

class TextToChains : public ::testing::Test {
protected:
    void SetUp() override {
        quorn_test::set_length_tolerance(kTol);
        harlow_test::set_entity_type(kText, 25, 1);
        pool = CMEM_private_create_pool(0, "text test", __LINE__, __FILE__);
    }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    RING_header_s* convert(const std::vector<nt::Step>& script, const CSYS* csys = nullptr, bool touch = false) {
        nt::set_script(kText, script);
        return CHAIN_convert_text_to_chains(pool, kText, csys, touch);
    }

    CMEM_pool_s* pool = nullptr;
};

void expect_points(const RING_header_s* chain, const std::vector<Pt>& expected, const char* what) {
    SCOPED_TRACE(what);
    const std::vector<Pt> got = points(chain);
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_NEAR(got[i].x, expected[i].x, 1e-12) << "vertex " << i;
        EXPECT_NEAR(got[i].y, expected[i].y, 1e-12) << "vertex " << i;
    }
}

TEST_F(TextToChains, OnlyTextAnnotationsAreConverted) {
    struct Case {
        const char* what;
        tag_t tag;
        int type, subtype;  // set on the tag unless type is 0
        bool converted;
    } cases[] = {
        {"zero tag", 0, 0, 0, false},      {"unknown tag", 40, 0, 0, false},
        {"type 24", 41, 24, 1, false},     {"subtype 0", 42, 25, 0, false},
        {"subtype 5", 43, 25, 5, false},   {"subtype 1", 44, 25, 1, true},
        {"subtype 4", 45, 25, 4, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.type) harlow_test::set_entity_type(c.tag, c.type, c.subtype);
        nt::set_script(c.tag, {nt::start(0, 0), nt::draw_to(1, 0)});
        const int tables = nt::tables_made();
        RING_header_s* result = CHAIN_convert_text_to_chains(pool, c.tag, nullptr, false);
        EXPECT_EQ(result != nullptr, c.converted);
        EXPECT_EQ(nt::tables_made() - tables, c.converted ? 1 : 0);
        if (result) RING_delete(result);
    }
    EXPECT_EQ(stend_test::om_live_objects(table_class()), 0);
}

TEST_F(TextToChains, OccurrenceIsReplacedByItsPrototype) {
    pemmet_test::set_occurrence(90, kText);
    nt::set_script(kText, {nt::start(0, 0), nt::draw_to(1, 0)});
    RING_header_s* result = CHAIN_convert_text_to_chains(pool, 90, nullptr, false);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(pemmet_test::calls(),
              (std::vector<std::string>{"OCC_is_occurrence 90", "OCC_ask_prototype_of_occ 90"}));
    EXPECT_EQ(harlow_test::rm_calls(), std::vector<tag_t>{kText});
    EXPECT_EQ(nt::render_calls(), std::vector<std::string>{"render 7 0 0"});
    ASSERT_EQ(subrings(result).size(), 1u);
}

TEST_F(TextToChains, TableFillsExactlyTheStrokeSlots) {
    RING_header_s* result = convert({nt::fill(), nt::start(0, 0), nt::draw_to(1, 0)});
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(nt::last_table_slots(),
              (std::vector<std::string>{"start_stroke", "draw_to", "draw_arc", "draw_thick_arc", "draw_dashed_arc",
                                        "stroke_text", "push_matrix", "pop_matrix", "new_group", "fill_area"}));
    // The fill slot declines; the strokes after it still arrive.
    EXPECT_EQ(nt::statuses(), (std::vector<int>{2, 0, 0}));
    EXPECT_EQ(subrings(result).size(), 1u);
}

// The letter "i": a stem, then its dot as a full circle.  Every chain is on
// the absolute system with material side LEFT and kind OFFSET_CHAIN.
TEST_F(TextToChains, DotOfAnIIsACircleGroupOfItsOwn) {
    RING_header_s* result =
        convert({nt::group(), nt::start(0, 0), nt::draw_to(0, 5), nt::arc(0, 7, 0.5, 0.0, 2.0 * M_PI)});
    ASSERT_NE(result, nullptr);
    const std::vector<RING_header_s*> groups = subrings(result);
    ASSERT_EQ(groups.size(), 2u);
    ASSERT_EQ(subrings(groups[0]).size(), 1u);
    ASSERT_EQ(subrings(groups[1]).size(), 1u);
    const RING_header_s* stem = subrings(groups[0])[0];
    const RING_header_s* dot = subrings(groups[1])[0];
    expect_points(stem, {{0, 0}, {0, 5}}, "stem");
    EXPECT_FALSE(closed(stem));
    EXPECT_TRUE(closed(dot));
    ASSERT_EQ(dot->count, 3);
    for (RING_node_s* node : nodes_of(dot)) {
        EXPECT_EQ(CHAIN_seg_ask_type(node), SEG_ARC);
        EXPECT_NEAR(arc_sweep(dot, node), 2.0 * M_PI / 3.0, 1e-9);
        EXPECT_NEAR(end_of(node)->radius, 0.5, 1e-12);
        EXPECT_NEAR(end_of(node)->cx, 0.0, 1e-12);
        EXPECT_NEAR(end_of(node)->cy, 7.0, 1e-12);
    }
    for (const RING_header_s* chain : {stem, dot}) {
        EXPECT_EQ(data_of(chain)->material_side, LEFT);
        EXPECT_EQ(data_of(chain)->kind, OFFSET_CHAIN);
        for (int i = 0; i < 9; ++i) EXPECT_EQ(data_of(chain)->csys.matrix[i], i % 4 == 0 ? 1.0 : 0.0);
    }
}

TEST_F(TextToChains, StrokesMeetingAtTheirEndsBecomeOneChain) {
    const double gap = 0.5 * kTol;  // ends apart by less than the tolerance still meet
    struct Case {
        const char* what;
        std::vector<nt::Step> script;
        std::vector<Pt> expected;
        bool closed;
    } cases[] = {
        {"end to start", {nt::start(0, 0), nt::draw_to(1, 0), nt::start(1, gap), nt::draw_to(1, 1)},
         {{0, 0}, {1, 0}, {1, 1}}, false},
        {"start to start", {nt::start(0, 0), nt::draw_to(1, 0), nt::start(0, 0), nt::draw_to(0, 1)},
         {{1, 0}, {0, 0}, {0, 1}}, false},
        {"end to end", {nt::start(0, 0), nt::draw_to(1, 0), nt::start(1, 1), nt::draw_to(1, 0)},
         {{0, 0}, {1, 0}, {1, 1}}, false},
        {"draw-to without a stroke opens one", {nt::draw_to(1, 1), nt::draw_to(2, 2)}, {{1, 1}, {2, 2}}, false},
        {"outline of four strokes",
         {nt::start(0, 0), nt::draw_to(2, 0), nt::start(2, 2), nt::draw_to(2, 0), nt::start(0, 2),
          nt::draw_to(2, 2), nt::start(0, 2), nt::draw_to(0, gap)},
         {{2, 0}, {2, 2}, {0, 2}, {0, 0}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RING_header_s* result = convert(c.script);
        ASSERT_NE(result, nullptr);
        const std::vector<RING_header_s*> groups = subrings(result);
        ASSERT_EQ(groups.size(), 1u);
        const std::vector<RING_header_s*> chains = subrings(groups[0]);
        ASSERT_EQ(chains.size(), 1u);
        EXPECT_EQ(closed(chains[0]), c.closed);
        EXPECT_EQ(data_of(chains[0])->material_side, LEFT);
        // An open chain in order; a closing may start anywhere on the outline.
        const std::vector<Pt> got = points(chains[0]);
        ASSERT_EQ(got.size(), c.expected.size());
        for (size_t i = 0; i < got.size(); ++i) {
            if (!c.closed) {
                EXPECT_NEAR(got[i].x, c.expected[i].x, kTol) << "vertex " << i;
                EXPECT_NEAR(got[i].y, c.expected[i].y, kTol) << "vertex " << i;
                continue;
            }
            bool found = false;
            for (const Pt& q : got) found |= std::hypot(q.x - c.expected[i].x, q.y - c.expected[i].y) <= kTol;
            EXPECT_TRUE(found) << "corner " << i;
        }
        RING_delete(result);
    }
}

TEST_F(TextToChains, GroupsAndShortStrokes) {
    // A lone start-stroke is a chain of one vertex and goes; its group with it.
    RING_header_s* result = convert({nt::start(5, 5), nt::group(), nt::start(0, 0), nt::draw_to(1, 0), nt::group(),
                                     nt::start(3, 0), nt::draw_to(4, 0)});
    ASSERT_NE(result, nullptr);
    const std::vector<RING_header_s*> groups = subrings(result);
    ASSERT_EQ(groups.size(), 2u);
    expect_points(subrings(groups[0])[0], {{0, 0}, {1, 0}}, "first group");
    expect_points(subrings(groups[1])[0], {{3, 0}, {4, 0}}, "second group");
}

// Matrix of (x, y, 1) -> (a x + b y + c, d x + e y + f).
void affine(const double m[9], double x, double y, double out[2]) {
    out[0] = m[0] * x + m[1] * y + m[2];
    out[1] = m[3] * x + m[4] * y + m[5];
}

TEST_F(TextToChains, PointsFollowTheTopMatrixAndThePlacement) {
    const double scale_move[9] = {2, 0, 10, 0, 2, 20, 0, 0, 1};
    const double turn[9] = {0, -1, 1, 1, 0, 0, 0, 0, 1};  // quarter turn, then 1 along x
    // A CSYS turned a quarter about Z, far from the origin: it rotates only.
    CSYS csys = {{100, 200, 300}, {0, 1, 0, -1, 0, 0, 0, 0, 1}};
    struct Case {
        const char* what;
        const CSYS* csys;
    } cases[] = {{"absolute", nullptr}, {"placed", &csys}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RING_header_s* result = convert({nt::push(scale_move), nt::start(1, 2), nt::push(turn), nt::draw_to(3, 4),
                                         nt::pop(), nt::draw_to(5, 6), nt::pop(), nt::draw_to(7, 8)},
                                        c.csys);
        ASSERT_NE(result, nullptr);
        double p[4][2];
        affine(scale_move, 1, 2, p[0]);
        affine(turn, 3, 4, p[1]);
        affine(scale_move, 5, 6, p[2]);
        p[3][0] = 7;
        p[3][1] = 8;
        std::vector<Pt> expected;
        for (auto& q : p) {
            if (c.csys) expected.push_back({csys.matrix[0] * q[0] + csys.matrix[1] * q[1],
                                            csys.matrix[3] * q[0] + csys.matrix[4] * q[1]});
            else expected.push_back({q[0], q[1]});
        }
        const RING_header_s* chain = subrings(subrings(result)[0])[0];
        expect_points(chain, expected, "stroke");
        for (int i = 0; i < 3; ++i) EXPECT_EQ(data_of(chain)->csys.origin[i], c.csys ? csys.origin[i] : 0.0);
        RING_delete(result);
    }
}

// Arcs go in counter-clockwise as the renderer draws them, also beyond a half
// circle (an appender that took the sense from the chord would turn a
// 270-degree arc into the 90-degree one the other way), and a mirroring
// matrix turns them clockwise.
TEST_F(TextToChains, ArcsKeepTheirSweepUnderTheTransform) {
    const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const double mirror[9] = {-1, 0, 3, 0, 1, 0, 0, 0, 1};
    struct Case {
        const char* what;
        const double* matrix;
        nt::Step::Kind slot;
        double start, end;  // angles
        DIRECTION sense;
    } cases[] = {
        {"quarter", identity, nt::Step::Arc, 0.0, M_PI / 2, CCW},
        {"270 degrees", identity, nt::Step::ThickArc, 0.0, 1.5 * M_PI, CCW},
        {"across zero", identity, nt::Step::DashedArc, 1.5 * M_PI, 0.25 * M_PI, CCW},
        {"359 degrees", identity, nt::Step::Arc, 0.0, 359.0 * M_PI / 180.0, CCW},
        {"mirrored 270 degrees", mirror, nt::Step::Arc, 0.0, 1.5 * M_PI, CW},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RING_header_s* result = convert({nt::push(c.matrix), nt::arc(1, 2, 3, c.start, c.end, c.slot), nt::pop()});
        ASSERT_NE(result, nullptr);
        const RING_header_s* chain = subrings(subrings(result)[0])[0];
        double sweep = std::fmod(c.end - c.start, 2 * M_PI);
        if (sweep <= 0) sweep += 2 * M_PI;
        double total = 0.0;
        const std::vector<RING_node_s*> nodes = nodes_of(chain);
        for (size_t i = 1; i < nodes.size(); ++i) {
            EXPECT_EQ(CHAIN_seg_ask_type(nodes[i]), SEG_ARC);
            EXPECT_EQ(end_of(nodes[i])->direction, c.sense);
            EXPECT_LT(arc_sweep(chain, nodes[i]), M_PI);
            total += arc_sweep(chain, nodes[i]);
        }
        EXPECT_NEAR(total, sweep, 1e-9);
        // Points along the drawn arc lie on the chain.
        for (int k = 0; k <= 8; ++k) {
            const double a = c.start + sweep * k / 8.0;
            double q[2];
            affine(c.matrix, 1 + 3 * std::cos(a), 2 + 3 * std::sin(a), q);
            EXPECT_LT(ChainPointMinDistance(chain, q, nullptr), 1e-9) << "sample " << k;
        }
        RING_delete(result);
    }
}

TEST_F(TextToChains, TextStringsAreStrokedByTheHost) {
    nt::set_text_strokes("ab", {nt::start(0, 0), nt::draw_to(0, 1)});
    RING_header_s* result = convert({nt::text("ab")});
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(nt::stroked_texts(), std::vector<std::string>{"ab"});
    EXPECT_TRUE(nt::fonts_passed_back());
    expect_points(subrings(subrings(result)[0])[0], {{0, 0}, {0, 1}}, "text stroke");
}

// A "T": the bar ends on the stem.  With the bool the bar is turned to start
// there and records the place on the stem; the stem touches nothing at its
// ends.  A closed chain never gets a record.
TEST_F(TextToChains, TouchRecordsOfOpenStrokes) {
    const std::vector<nt::Step> script = {nt::start(0, 0), nt::draw_to(0, 2), nt::start(1, 1),
                                          nt::draw_to(0, 1), nt::start(-3, 0), nt::draw_to(-3, 1),
                                          nt::draw_to(-4, 1), nt::draw_to(-3, 0)};
    for (bool touch : {false, true}) {
        SCOPED_TRACE(touch ? "with records" : "without records");
        RING_header_s* result = convert(script, nullptr, touch);
        ASSERT_NE(result, nullptr);
        const std::vector<RING_header_s*> chains = subrings(subrings(result)[0]);
        ASSERT_EQ(chains.size(), 3u);
        RING_header_s *stem = chains[0], *bar = chains[1], *triangle = chains[2];
        EXPECT_TRUE(closed(triangle));
        EXPECT_EQ(APP_DATA__ask_app_data(stem->app_data, CHAIN_APP_DATA_TEXT_TOUCH), nullptr);
        EXPECT_EQ(APP_DATA__ask_app_data(triangle->app_data, CHAIN_APP_DATA_TEXT_TOUCH), nullptr);
        const auto* record =
            static_cast<const POINT_ON_CHAIN_s*>(APP_DATA__ask_app_data(bar->app_data, CHAIN_APP_DATA_TEXT_TOUCH));
        if (!touch) {
            EXPECT_EQ(record, nullptr);
            expect_points(bar, {{1, 1}, {0, 1}}, "bar as drawn");
        } else {
            ASSERT_NE(record, nullptr);
            expect_points(bar, {{0, 1}, {1, 1}}, "bar turned");
            EXPECT_EQ(data_of(bar)->material_side, LEFT);
            EXPECT_EQ(record->chain, stem);
            EXPECT_NEAR(record->point[0], 0.0, 1e-12);
            EXPECT_NEAR(record->point[1], 1.0, 1e-12);
            EXPECT_NEAR(record->parameter, 0.5, 1e-12);
        }
        RING_delete(result);  // frees the record with its chain
    }
}

// The table is deleted once and the matrix stack freed once on every path:
// a balanced stack frees when it empties, an unbalanced one after rendering,
// a renderer error and a failing push free too and leave nothing in the pool.
TEST_F(TextToChains, TableAndStackAreFreedOnce) {
    const double m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    struct Case {
        const char* what;
        std::vector<nt::Step> script;
        int fail_sm_at;  // SM allocation to fail, 0 none
        bool raises, converted;
        bool circle;  // closing a circle leaves the node it drops in the pool
    } cases[] = {
        {"balanced", {nt::push(m), nt::push(m), nt::start(0, 0), nt::pop(), nt::draw_to(1, 0), nt::pop()}, 0, false,
         true, false},
        {"left pushed", {nt::push(m), nt::start(0, 0), nt::push(m), nt::draw_to(1, 0)}, 0, false, true, false},
        {"renderer error", {nt::push(m), nt::start(0, 0), nt::draw_to(1, 0), nt::fail()}, 0, true, false, false},
        {"renderer error in a circle group", {nt::push(m), nt::arc(0, 0, 1, 0, 2 * M_PI), nt::fail()}, 0, true, false, true},
        {"second push fails", {nt::push(m), nt::start(0, 0), nt::push(m), nt::draw_to(1, 0)}, 2, false, false, false},
    };
    const Korvo::Math::Point2 centre = {0, 0};
    const Korvo::Math::Vector2 along = {1, 0};
    long before = velte_test::live_object_count();
    RING_delete(CHAIN_create_circle_chain(nullptr, 1.0, &centre, &along, CCW, pool));
    const long circle_leftover = velte_test::live_object_count() - before;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const long pools = velte_test::live_pool_count();
        const long objects = velte_test::live_object_count();
        const long blocks = stend_test::sm_live_blocks();
        const long frees = stend_test::sm_free_calls();
        const int tables = nt::tables_made();
        nt::set_script(kText, c.script);
        stend_test::sm_fail_at(c.fail_sm_at);
        RING_header_s* result = nullptr;
        bool raised = false;
        try {
            result = CHAIN_convert_text_to_chains(pool, kText, nullptr, true);
        } catch (const Korvo::Error::Exception& e) {
            raised = true;
            EXPECT_EQ(e.askText(), "render failed");
        }
        stend_test::sm_fail_at(0);
        EXPECT_EQ(raised, c.raises);
        EXPECT_EQ(result != nullptr, c.converted);
        EXPECT_EQ(nt::tables_made() - tables, 1);
        EXPECT_EQ(stend_test::om_live_objects(table_class()), 0);
        EXPECT_EQ(stend_test::sm_live_blocks(), blocks);
        EXPECT_EQ(stend_test::sm_free_calls() - frees, 1);
        EXPECT_EQ(velte_test::live_pool_count(), pools);
        if (result) RING_delete(result);
        EXPECT_EQ(velte_test::live_object_count(), objects + (c.circle ? circle_leftover : 0));
    }
}

TEST_F(TextToChains, PopOfAnEmptyStackIsIgnoredWithANote) {
    MACH__checking_level = 1;
    RING_header_s* result = convert({nt::pop(), nt::start(0, 0), nt::draw_to(1, 0)});
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note),
              std::vector<std::string>{"Assertion failed: pop of an empty matrix stack"});
    expect_points(subrings(subrings(result)[0])[0], {{0, 0}, {1, 0}}, "stroke");
}

}  // namespace
