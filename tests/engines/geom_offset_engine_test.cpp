// The geometry offset engine against the section engine stand-in: the
// section pass and its clean-up on every way out, the offset of the nearest
// section chain, orientation, positions, trim and extension, and the
// assertion texts.
#include <merrow1/Cam_GeomOffsetEngine.h>

#include <dunmore/testing.h>
#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_position.h>
#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Korvo::Cam::GeomOffsetEngine;
using Korvo::Cam::IGeomOffsetEngine;
using Korvo::Math::Point3;
using Korvo::Math::Vector3;

const double kPi = 3.14159265358979323846;
const double kTol = 0.001;
const Vector3 kUp = {0, 0, 1};
// On the side x = 10 of the box [0,10]^3, half way up.
const Point3 kOnSide = {10, 5, 5};

std::vector<RING_header_s*> chains_of(const RING_header_s* list) {
    std::vector<RING_header_s*> out;
    const RING_node_s* node = list ? list->first : nullptr;
    for (int i = 0; list && i < list->count; ++i, node = node->next) out.push_back(RING_ask_node_subring(node));
    return out;
}

double open_length(RING_header_s* chain) { return CHAIN_length_between_vertices(chain, chain->first, chain->last); }

Point3 world_point(const RING_header_s* chain, const RING_node_s* v) {
    const double* g = static_cast<const CHAIN_vertex_data_s*>(v->main_data)->geometry;
    return GeomOffsetEngine::TransformPoint(chain, {g[0], g[1], 0.0}, false);
}

class GeomOffsetEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "geom offset test", __LINE__, __FILE__);
        geometry = RING_create_in_pool(nullptr, 0, pool);
        RING_insert_after(geometry, geometry->last, &items[0]);
        RING_insert_after(geometry, geometry->last, &items[1]);
        const double lo[3] = {0, 0, 0}, hi[3] = {10, 10, 10};
        dunmore_test::add_box(&items[0], lo, hi);
    }
    void TearDown() override { CMEM_private_delete_pool(pool); }
    std::unique_ptr<GeomOffsetEngine> make(double offset) {
        return std::unique_ptr<GeomOffsetEngine>(
            static_cast<GeomOffsetEngine*>(IGeomOffsetEngine::GeomOffsetEngineFactory(geometry, kTol, offset)));
    }
    CMEM_pool_s* pool = nullptr;
    RING_header_s* geometry = nullptr;
    int items[2] = {};
};

TEST_F(GeomOffsetEngineTest, GetOffsetRunsOneSectionPassAndOffsetsTheBox) {
    auto engine = make(1.0);
    RING_header_s* list = engine->GetOffset(kOnSide, kUp, 1.0);
    ASSERT_NE(list, nullptr);
    const std::vector<std::string> pass = {"PreSection", "BeginSection", "SimplifyAndSection", "Output",
                                           "PostSection", "delete"};
    EXPECT_EQ(dunmore_test::ops(), pass);
    EXPECT_TRUE(dunmore_test::violations().empty());
    ASSERT_EQ(dunmore_test::loader_calls().size(), 1u);
    const dunmore_test::LoaderCall& load = dunmore_test::loader_calls()[0];
    EXPECT_EQ(load.geometry, geometry);
    EXPECT_EQ(load.accuracy, kTol);
    EXPECT_EQ(load.factor, 10 * kTol);
    EXPECT_EQ(load.context, nullptr);
    // The plane through the point across z: origin (0, 0, 5), normal z; 10
    // attempts 0.1 x tolerance apart.
    const dunmore_test::Call& cut = dunmore_test::calls()[2];
    EXPECT_EQ(std::vector<double>(cut.numbers.begin(), cut.numbers.begin() + 6), (std::vector<double>{0, 0, 5, 0, 0, 1}));
    EXPECT_EQ(cut.numbers.back(), 0.1 * kTol);
    EXPECT_EQ(cut.ints, std::vector<long>{10});
    // PostSection gets the address of the mark PreSection returned.
    const dunmore_test::Call& post = dunmore_test::calls()[4];
    EXPECT_NE(post.pointer, nullptr);
    EXPECT_EQ(post.ints, std::vector<long>{100 + 0});
    // The rounded 12 x 12 square.
    const auto chains = chains_of(list);
    ASSERT_EQ(chains.size(), 1u);
    EXPECT_EQ(chains[0]->last->next, chains[0]->first);
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(chains[0], nullptr)), 100 + 40 + kPi, 1e-6);
    EXPECT_EQ(dunmore_test::live_engines(), 0);
}

TEST_F(GeomOffsetEngineTest, OffsetWithinTheNumberToleranceGivesTheNearestSectionChain) {
    const double lo[3] = {20, 0, 0}, hi[3] = {30, 10, 10};
    dunmore_test::add_box(&items[1], lo, hi);
    auto engine = make(0.0);
    // Nearer the second box: only its rectangle is kept, not offset.
    RING_header_s* list = engine->GetOffset({18, 5, 5}, kUp, 1e-12);
    const auto chains = chains_of(list);
    ASSERT_EQ(chains.size(), 1u);
    EXPECT_EQ(chains[0]->count, 4);
    double c[2];
    EXPECT_NEAR(CHAIN_chainArea_chainCentroid(chains[0], c), 100.0, 1e-7);
    EXPECT_NEAR(c[0], 25.0, 1e-7);
    EXPECT_FALSE(engine->FilterOnClosest(list, {18, 5, 5})) << "a single chain is kept without measuring";
}

TEST_F(GeomOffsetEngineTest, NoSectionGivesNull) {
    auto engine = make(1.0);
    // Above the box: the pass still runs and is closed.
    EXPECT_EQ(engine->GetOffset({5, 5, 20}, kUp, 1.0), nullptr);
    EXPECT_EQ(dunmore_test::ops().back(), "delete");
    EXPECT_TRUE(dunmore_test::violations().empty());
    // A loader that makes no engine: nothing is called or deleted.
    dunmore_test::reset();
    dunmore_test::set_loader_returns_null(true);
    EXPECT_EQ(engine->GetOffset(kOnSide, kUp, 1.0), nullptr);
    EXPECT_EQ(engine->GetTrimmedOffset(kOnSide, kUp, kOnSide, 1, 0, 0), nullptr);
    EXPECT_TRUE(dunmore_test::calls().empty());
    // No geometry: the assertion, no loader call.
    MACH__checking_level = 1;
    dunmore_test::reset();
    engine->SetGeometry(nullptr);
    EXPECT_EQ(engine->GetOffset(kOnSide, kUp, 1.0), nullptr);
    EXPECT_TRUE(dunmore_test::loader_calls().empty());
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Assertion),
              std::vector<std::string>{"pGeomList != NULL\nGeomOffsetEngine::InitGeomSecEngine() - no input geometry"});
}

TEST_F(GeomOffsetEngineTest, AnErrorInThePassIsRaisedAfterTheCleanUp) {
    struct Case {
        const char* op;
        bool local;
        std::vector<std::string> ops;
    };
    const std::vector<Case> cases = {
        {"PreSection", false, {"PreSection", "delete"}},
        {"BeginSection", false, {"PreSection", "BeginSection", "PostSection", "delete"}},
        {"Simplify(box)", true, {"PreSection", "BeginSection", "Simplify(box)", "PostSection", "delete"}},
        {"SimplifyAndSection", false, {"PreSection", "BeginSection", "SimplifyAndSection", "PostSection", "delete"}},
        {"Output", false, {"PreSection", "BeginSection", "SimplifyAndSection", "Output", "PostSection", "delete"}},
        {"PostSection", false, {"PreSection", "BeginSection", "SimplifyAndSection", "Output", "PostSection", "delete"}},
    };
    auto engine = make(1.0);
    const long pools = velte_test::live_pool_count();
    const long objects = velte_test::live_object_count();
    for (const Case& c : cases) {
        dunmore_test::reset();
        const double lo[3] = {0, 0, 0}, hi[3] = {10, 10, 10};
        dunmore_test::add_box(&items[0], lo, hi);
        dunmore_test::fail_at(c.op, 4242);
        std::vector<Point3> positions;
        std::vector<Vector3> directions;
        try {
            if (c.local) engine->GetOffsetPositions(kOnSide, kUp, true, positions, directions);
            else engine->GetOffset(kOnSide, kUp, 1.0);
            ADD_FAILURE() << c.op << ": no error";
        } catch (const Korvo::Error::Severe& e) {
            EXPECT_EQ(e.askCode(), 4242) << c.op;
        }
        EXPECT_EQ(dunmore_test::ops(), c.ops) << c.op;
        EXPECT_TRUE(dunmore_test::violations().empty()) << c.op;
        EXPECT_EQ(dunmore_test::live_engines(), 0) << c.op;
        EXPECT_EQ(velte_test::live_pool_count(), pools) << c.op;
        EXPECT_EQ(velte_test::live_object_count(), objects) << c.op;
    }
}

TEST_F(GeomOffsetEngineTest, UpdateOffsetDirection) {
    auto engine = make(1.0);
    // A CCW and a CW square and an open line.
    const Korvo::Math::Point2 square[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const Korvo::Math::Point2 turned[4] = {{5, 0}, {5, 1}, {6, 1}, {6, 0}};
    struct Case {
        int direction;
        bool answer;
        DIRECTION first, second;
    };
    const std::vector<Case> cases = {{1, true, CCW, CCW}, {2, true, CW, CW}, {0, false, CCW, CW}, {3, true, CW, CCW}};
    for (const Case& c : cases) {
        RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_insert_after(list, list->last, CHAIN_create_polygon(nullptr, square, 4, 1, pool));
        RING_insert_after(list, list->last, CHAIN_create_polygon(nullptr, turned, 4, 1, pool));
        RING_insert_after(list, list->last, CHAIN_create_polygon(nullptr, square, 2, 0, pool));
        RING_header_s* open = RING_ask_node_subring(list->last);
        const double* start = static_cast<CHAIN_vertex_data_s*>(open->first->main_data)->geometry;
        EXPECT_EQ(engine->UpdateOffsetDirection(&list, c.direction), c.answer) << c.direction;
        const auto chains = chains_of(list);
        EXPECT_EQ(CHAIN_direction_of_chain(chains[0]), c.first) << c.direction;
        EXPECT_EQ(CHAIN_direction_of_chain(chains[1]), c.second) << c.direction;
        // The open chain stays as it was.
        EXPECT_EQ(static_cast<CHAIN_vertex_data_s*>(chains[2]->first->main_data)->geometry, start) << c.direction;
    }
    // Through the oriented offset: the rounded square CW.
    RING_header_s* oriented = engine->GetOrientedOffset(kOnSide, kUp, 2);
    ASSERT_NE(oriented, nullptr);
    EXPECT_EQ(CHAIN_direction_of_chain(chains_of(oriented)[0]), CW);
}

TEST_F(GeomOffsetEngineTest, GetOffsetPositions) {
    struct Case {
        double offset;
        bool local;
        double x;  // of the one position, at (x, 5, 5)
    };
    // Outside and inside the side; local or not, the contact both planes see
    // is reported once.  A negative offset keeps its positions near the
    // point and reduces to a box of 4 x |offset| as a positive one does.
    const std::vector<Case> cases = {{1.0, false, 11.0}, {1.0, true, 11.0}, {-1.0, true, 9.0}, {-1.0, false, 9.0}};
    for (const Case& c : cases) {
        dunmore_test::reset();
        const double lo[3] = {0, 0, 0}, hi[3] = {10, 10, 10};
        dunmore_test::add_box(&items[0], lo, hi);
        auto engine = make(c.offset);
        std::vector<Point3> positions;
        std::vector<Vector3> directions;
        EXPECT_TRUE(engine->GetOffsetPositions(kOnSide, kUp, c.local, positions, directions)) << c.offset;
        ASSERT_EQ(positions.size(), 1u) << c.offset << " " << c.local;
        ASSERT_EQ(directions.size(), 1u);
        EXPECT_NEAR(positions[0].x, c.x, 1e-7);
        EXPECT_NEAR(positions[0].y, 5.0, 1e-7);
        EXPECT_NEAR(positions[0].z, 5.0, 1e-7);
        EXPECT_NEAR(std::fabs(directions[0].y), 1.0, 1e-7);
        // Two passes, the second a tenth of the tolerance along z.
        std::vector<const dunmore_test::Call*> cuts, boxes;
        for (const dunmore_test::Call& call : dunmore_test::calls()) {
            if (call.op == "SimplifyAndSection") cuts.push_back(&call);
            if (call.op == "Simplify(box)") boxes.push_back(&call);
        }
        ASSERT_EQ(cuts.size(), 2u);
        EXPECT_NEAR(cuts[1]->numbers[2] - cuts[0]->numbers[2], 0.1 * kTol, 1e-15);
        ASSERT_EQ(boxes.size(), c.local ? 2u : 0u);
        for (const dunmore_test::Call* box : boxes) {
            // c - x, c - y, c + x, c + y about the point's foot one unit below the plane.
            const std::vector<double>& b = box->numbers;
            ASSERT_EQ(b.size(), 12u);
            EXPECT_NEAR(std::hypot(b[6] - b[0], b[7] - b[1]), 8.0, 1e-12);
            EXPECT_NEAR((b[0] + b[6]) / 2, 10.0, 1e-12);
            EXPECT_NEAR(b[2], box == boxes[0] ? 4.0 : 4.0 + 0.1 * kTol, 1e-12);
            EXPECT_EQ(box->ints, std::vector<long>{0});
        }
        // The box flag is on only inside the call: a later offset is unreduced.
        dunmore_test::reset();
        dunmore_test::add_box(&items[0], lo, hi);
        engine->GetOffset(kOnSide, kUp, c.offset);
        EXPECT_EQ(dunmore_test::ops().size(), 6u);
    }
}

TEST_F(GeomOffsetEngineTest, TrimmedAndExtendedOffset) {
    struct Case {
        int direction;
        double startExtension, endExtension;
        double length;
        Point3 first, last;
    };
    // From (11, 5) to (5, 11) on the rounded 12 x 12 square: CCW over one
    // corner, CW over three.
    const std::vector<Case> cases = {
        {1, 0.0, 0.0, 10 + kPi / 2, {11, 5, 5}, {5, 11, 5}},
        {1, 2.0, 3.0, 15 + kPi / 2, {11, 3, 5}, {2, 11, 5}},
        {2, 0.0, 0.0, 30 + 3 * kPi / 2, {11, 5, 5}, {5, 11, 5}},
    };
    for (const Case& c : cases) {
        std::unique_ptr<IGeomOffsetEngine> engine(IGeomOffsetEngine::GeomOffsetEngineFactory(
            geometry, kTol, 1.0, kOnSide, kUp, {5, 10, 5}, c.direction, c.startExtension, c.endExtension));
        RING_header_s* chain = engine->GetTrimmedOffset();
        ASSERT_NE(chain, nullptr) << c.direction;
        EXPECT_NE(chain->last->next, chain->first);
        EXPECT_NEAR(open_length(chain), c.length, 1e-7) << c.direction;
        const Point3 a = world_point(chain, chain->first), b = world_point(chain, chain->last);
        EXPECT_NEAR(a.x, c.first.x, 1e-7);
        EXPECT_NEAR(a.y, c.first.y, 1e-7);
        EXPECT_NEAR(a.z, c.first.z, 1e-7);
        EXPECT_NEAR(b.x, c.last.x, 1e-7);
        EXPECT_NEAR(b.y, c.last.y, 1e-7);
    }
}

TEST_F(GeomOffsetEngineTest, TrimKeepsTheChainWhenThePartIsDegenerate) {
    auto engine = make(1.0);
    RING_header_s* list = engine->GetOrientedOffset(kOnSide, kUp, 1);
    RING_header_s* chain = chains_of(list)[0];
    RING_header_s* before = chain;
    const int count = chain->count;
    // From the point to itself: no part of two vertices.
    EXPECT_FALSE(engine->Trim(&chain, kOnSide, kOnSide));
    EXPECT_EQ(chain, before);
    EXPECT_EQ(chain->count, count);
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(chain, nullptr)), 140 + kPi, 1e-6);
    EXPECT_EQ(engine->GetTrimmedOffset(kOnSide, kUp, kOnSide, 1, 0.0, 0.0), nullptr);
    // A proper trim replaces the chain.
    EXPECT_TRUE(engine->Trim(&chain, kOnSide, {5, 10, 5}));
    EXPECT_NE(chain, before);
    EXPECT_NEAR(open_length(chain), 10 + kPi / 2, 1e-7);
    // Extensions within the number tolerance change nothing; a null chain is extended.
    EXPECT_TRUE(engine->Extend(&chain, 1e-13, -1e-13));
    EXPECT_NEAR(open_length(chain), 10 + kPi / 2, 1e-7);
    RING_header_s* none = nullptr;
    EXPECT_TRUE(engine->Extend(&none, 1.0, 1.0));
    // A closed chain cannot be extended.
    RING_header_s* closed = chains_of(engine->GetOffset(kOnSide, kUp, 1.0))[0];
    EXPECT_FALSE(engine->Extend(&closed, 1.0, 0.0));
}

TEST_F(GeomOffsetEngineTest, AssertionTexts) {
    MACH__checking_level = 1;
    auto engine = make(1.0);
    RING_header_s* chain = CHAIN_create_empty_chain(nullptr, pool);
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    std::vector<Point3> points(1);
    std::vector<Vector3> vectors;
    struct Case {
        std::function<bool()> call;
        const char* text;
    };
    const std::vector<Case> cases = {
        {[&] { return engine->UpdateOffsetDirection(&chain, 1); },
         "RING_ask_type( pOffset ) == RING_double\nGeomOffsetEngine::UpdateOffsetDirection() - input ring should be a "
         "double ring"},
        {[&] { return engine->Extend(&list, 1, 1); },
         "RING_ask_type( pChain ) == RING_single\nGeomOffsetEngine::Extend() - input ring should be a single ring "
         "(chain)"},
        {[&] { return engine->Trim(&list, kOnSide, kOnSide); },
         "RING_ask_type( pChain ) == RING_single\nGeomOffsetEngine::Trim() - input ring should be a single ring "
         "(chain)"},
        {[&] { return engine->GetOffsetClosestPositions(list, kOnSide, points, vectors); },
         "RING_ask_type( pChain ) == RING_single\nGeomOffsetEngine::GetOffsetClosestPositions() - input ring should "
         "be a single ring (chain)"},
        {[&] { return engine->SimplifyBox(nullptr, zql::Plane(), kOnSide, 1.0); },
         "pIGeomSec != NULL\nGeomOffsetEngine::SimplifyBox() - invalid IGeomSec supplied."},
        {[&] { return engine->CalculateSections(nullptr, kOnSide, kUp); },
         "pIGeomSec != NULL\nGeomOffsetEngine::CalculateSections() - invalid IGeomSec supplied."},
        {[&] { return engine->SimplifyBox(reinterpret_cast<Korvo::Cam::IGeomSec*>(8), zql::Plane(), kOnSide, 0.0); },
         "dBoxSize > 0.0\nGeomOffsetEngine::SimplifyBox() - invalid dBoxSize supplied."},
        {[&] { return engine->FilterOnClosest(chain, kOnSide); },
         "RING_ask_type( pSections ) == RING_double\nGeomOffsetEngine::FilterOnClosest() - input ring should be a "
         "double ring"},
        {[&] { return engine->Offset(&list, 1e-13); },
         "!EQ_is_zero( dGeomOffset, EQ_TOL_NUMBER )\nGeomOffsetEngine::Offset() is called with zero offset."},
        {[&] { return engine->FilterOnDistance(kOnSide, 1.0, points, vectors); },
         "vecPoints.size() == vecDirections.size()\nGeomOffsetEngine::FilterOnDistance() - non synchronized vectors."},
    };
    for (const Case& c : cases) {
        stend_test::clear();
        EXPECT_FALSE(c.call()) << c.text;
        EXPECT_EQ(stend_test::texts(stend_test::Kind::Assertion), std::vector<std::string>{c.text});
    }
    // Silent at checking level 0.
    MACH__checking_level = 0;
    stend_test::clear();
    EXPECT_FALSE(engine->FilterOnDistance(kOnSide, 1.0, points, vectors));
    EXPECT_TRUE(stend_test::records().empty());
    EXPECT_TRUE(dunmore_test::calls().empty());
}

TEST_F(GeomOffsetEngineTest, CylinderSectionOffset) {
    const double base[3] = {40, 0, 0}, axis[3] = {0, 0, 1};
    dunmore_test::add_cylinder(&items[1], base, axis, 2.0, 10.0);
    auto engine = make(1.0);
    RING_header_s* list = engine->GetOffset({43, 0, 5}, kUp, 1.0);
    const auto chains = chains_of(list);
    ASSERT_EQ(chains.size(), 1u);
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(chains[0], nullptr)), 9 * kPi, 1e-6);
    std::vector<Point3> positions;
    std::vector<Vector3> directions;
    EXPECT_TRUE(engine->GetOffsetClosestPositions(chains[0], {45, 0, 5}, positions, directions));
    ASSERT_EQ(positions.size(), 1u);
    EXPECT_NEAR(positions[0].x, 43.0, 1e-7);
    EXPECT_NEAR(positions[0].z, 5.0, 1e-7);
}

}  // namespace
