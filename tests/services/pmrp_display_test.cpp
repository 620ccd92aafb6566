// Region-tree displays: vertex-type styles, connected vertices and their
// connection lines, trees and split vertices.
#include <gtest/gtest.h>
#include <glimra/testing.h>
#include <glimra/testing_color.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_create.h>
#include <merrow1/pmrp_display.h>
#include <velte/cerr.h>
#include <velte/testing.h>
#include <velte/tree.h>

#include <array>
#include <vector>

namespace {

using Korvo::Math::Point2;
typedef std::array<double, 3> V3;

class PmrpDisplay : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "pmrp display test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    RING_header_s* chain(const CSYS& csys, std::vector<Point2> points, bool closed = false) {
        return CHAIN_create_polygon(&csys, points.data(), static_cast<int>(points.size()), closed ? 1 : 0, pool);
    }
    static RING_node_s* vertex(RING_header_s* chain, int index) {
        RING_node_s* node = chain->first;
        for (int i = 0; i < index; ++i) node = node->next;
        return node;
    }
    static void connect(RING_header_s* chain, RING_node_s* node, PMRP_fpass_connection_s* record) {
        RING_put_node_app_data(chain, node, CHAIN_APP_DATA_CONNECTION, record);
    }

    CMEM_pool_s* pool = nullptr;
};

CSYS frame(V3 origin, V3 x = {1, 0, 0}, V3 y = {0, 1, 0}) {
    CSYS c;
    const V3 z = {x[1] * y[2] - x[2] * y[1], x[2] * y[0] - x[0] * y[2], x[0] * y[1] - x[1] * y[0]};
    for (int k = 0; k < 3; ++k) {
        c.origin[k] = origin[k];
        c.matrix[k] = x[k], c.matrix[3 + k] = y[k], c.matrix[6 + k] = z[k];
    }
    return c;
}

std::vector<glimra_test::Call> calls_of(const std::string& op) {
    std::vector<glimra_test::Call> out;
    for (const auto& c : glimra_test::calls())
        if (c.op == op) out.push_back(c);
    return out;
}

void expect_point(V3 want, const std::vector<double>& values, size_t at) {
    ASSERT_GE(values.size(), at + 3);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(want[k], values[at + k], 1e-12) << k;
}

TEST_F(PmrpDisplay, VertexTypeColourAndMarker) {
    struct Row {
        int type, colour, marker;
    } rows[] = {{0, 95, 6}, {1, 92, 8}, {2, 151, 9}, {3, 39, 4}, {5, 78, 5}, {6, 148, 3}, {4, 127, 1}, {-7, 127, 1}};
    // The colours go through the displayed part's palette.
    for (const Row& r : rows) glimra_test::set_closest_color(r.colour, 1000 + r.colour);
    RING_header_s* c = chain(frame({0, 0, 0}), {{1, 2}, {3, 4}});
    for (const Row& r : rows) {
        glimra_test::clear();
        PMRP_fpass_connection_s record = {nullptr, nullptr, r.type};
        connect(c, c->first, &record);
        PMRP_display_fpass_reg_conn_vertex(c, c->first, true, nullptr);
        const auto markers = calls_of("markers");
        ASSERT_EQ(1u, markers.size()) << r.type;
        EXPECT_EQ((std::vector<int>{r.marker, 1000 + r.colour, 3, 1}), markers[0].ints) << r.type;
        expect_point({1, 2, 0}, markers[0].values, 0);
    }
    RING_delete_app_data_of_node(c, c->first, CHAIN_APP_DATA_CONNECTION);
}

TEST_F(PmrpDisplay, NothingWithoutAChainVertexOrRecord) {
    RING_header_s* c = chain(frame({0, 0, 0}), {{1, 2}, {3, 4}});
    PMRP_display_fpass_reg_conn_vertex(nullptr, c->first, true, nullptr);
    PMRP_display_fpass_reg_conn_vertex(c, nullptr, true, nullptr);
    PMRP_display_fpass_reg_conn_vertex(c, c->first, true, nullptr);
    PMRP_display_fpass_reg_conn_vertices(nullptr, true);
    PMRP_display_fpass_shape(nullptr, 3, true, true);
    EXPECT_TRUE(glimra_test::calls().empty());
}

TEST_F(PmrpDisplay, CoincidentConnectionDrawsBothMarkersAndNoLine) {
    // The same point in space, given in two frames: (0, 0) of a plane whose
    // origin is (5, 0, 0), and (5, 0) of the plane at the origin.  Taken
    // unmapped into the second frame the first would be 5 away.
    RING_header_s* here = chain(frame({5, 0, 0}), {{0, 0}, {0, 3}});
    RING_header_s* there = chain(frame({0, 0, 0}), {{5, 0}, {9, 0}});
    PMRP_fpass_connection_s record = {there, there->first, 2};
    connect(here, here->first, &record);
    const long objects = velte_test::live_object_count();
    PMRP_display_fpass_reg_conn_vertex(here, here->first, true, nullptr);
    EXPECT_EQ(1u, calls_of("markers").size());
    EXPECT_TRUE(calls_of("polyline").empty());
    EXPECT_EQ(objects, velte_test::live_object_count());
    // With a connected-chain colour: the connected chain and, in this
    // vertex's style, the connected vertex.
    glimra_test::clear();
    int connected_colour = 17;
    PMRP_display_fpass_reg_conn_vertex(here, here->first, true, &connected_colour);
    const auto markers = calls_of("markers");
    ASSERT_EQ(2u, markers.size());
    EXPECT_EQ(markers[0].ints, markers[1].ints);
    expect_point({5, 0, 0}, markers[0].values, 0);
    expect_point({5, 0, 0}, markers[1].values, 0);
    const auto lines = calls_of("polyline");
    ASSERT_EQ(1u, lines.size());  // the connected chain's one segment
    EXPECT_EQ(17, lines[0].ints[0]);
    expect_point({5, 0, 0}, lines[0].values, 0);
    expect_point({9, 0, 0}, lines[0].values, 3);
    EXPECT_EQ(objects, velte_test::live_object_count());
}

TEST_F(PmrpDisplay, ConnectionLineJoinsTheTwoMarkers) {
    // This vertex lies in a plane turned 90 degrees about Z with origin (1,
    // 1, 0): its (2, 0) is (1, 3, 0) in space.
    RING_header_s* here = chain(frame({1, 1, 0}, {0, 1, 0}, {-1, 0, 0}), {{2, 0}, {2, 5}});
    RING_header_s* there = chain(frame({0, 0, 0}), {{0, 0}, {4, 4}});
    PMRP_fpass_connection_s record = {there, vertex(there, 1), 0};
    connect(here, here->first, &record);
    glimra_test::set_closest_color(95, 300);
    const long objects = velte_test::live_object_count();
    PMRP_display_fpass_reg_conn_vertex(here, here->first, true, nullptr);
    const auto markers = calls_of("markers");
    ASSERT_EQ(1u, markers.size());
    expect_point({1, 3, 0}, markers[0].values, 0);
    const auto lines = calls_of("polyline");
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(300, lines[0].ints[0]);
    expect_point({1, 3, 0}, lines[0].values, 0);
    expect_point({4, 4, 0}, lines[0].values, 3);
    // The line chain made in the chain's pool is gone again.
    EXPECT_EQ(objects, velte_test::live_object_count());
    // Without showConnection: the marker only.
    glimra_test::clear();
    PMRP_display_fpass_reg_conn_vertex(here, here->first, false, nullptr);
    EXPECT_EQ(1u, calls_of("markers").size());
    EXPECT_TRUE(calls_of("polyline").empty());
}

TEST_F(PmrpDisplay, ShapeShowsItsConnectedVerticesOnlyWhenAsked) {
    RING_header_s* c = chain(frame({0, 0, 0}), {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, true);
    PMRP_fpass_connection_s first = {nullptr, nullptr, 1}, third = {nullptr, nullptr, 3};
    connect(c, vertex(c, 0), &first);
    connect(c, vertex(c, 2), &third);
    PMRP_display_fpass_shape(c, 8, false, true);
    EXPECT_TRUE(calls_of("markers").empty());
    EXPECT_EQ(4u, calls_of("polyline").size());
    glimra_test::clear();
    PMRP_display_fpass_shape(c, 8, true, true);
    const auto markers = calls_of("markers");
    ASSERT_EQ(2u, markers.size());
    EXPECT_EQ(8, markers[0].ints[0]);
    EXPECT_EQ(4, markers[1].ints[0]);
    expect_point({1, 1, 0}, markers[1].values, 0);
}

TEST_F(PmrpDisplay, TreeVisitsDownLeftRightAndClearsTheErrorCode) {
    // Root A with daughters B (daughter D) and C; E a sister of the root.
    // Each chain is one segment starting at x = its letter's rank.
    std::vector<RING_header_s*> chains;
    for (int i = 0; i < 5; ++i) chains.push_back(chain(frame({0, 0, 0}), {{double(i), 0}, {double(i), 1}}));
    TREE_s* tree = TREE_create(pool);
    TREE_node_s* a = TREE_add_sister(tree, nullptr, chains[0]);
    TREE_node_s* b = TREE_add_daughter(tree, a, chains[1]);
    TREE_add_daughter(tree, a, chains[2]);
    TREE_add_daughter(tree, b, chains[3]);
    TREE_add_sister(tree, a, chains[4]);
    CERR__set_error_code(42);
    PMRP_display_fpass_tree(tree, 6, false, false);
    EXPECT_EQ(0, CERR__ask_error_code());
    std::vector<double> order;
    for (const auto& line : calls_of("polyline")) order.push_back(line.values[0]);
    EXPECT_EQ((std::vector<double>{0, 1, 3, 2, 4}), order);
    TREE_delete(tree);
}

TEST_F(PmrpDisplay, SplitVerticesWithMarkerFourInTheSplitColour) {
    RING_header_s* c = chain(frame({0, 0, 2}), {{0, 0}, {2, 0}, {2, 2}});
    RING_header_s* d = chain(frame({0, 0, 0}), {{7, 7}, {8, 8}});
    RING_put_node_app_data(c, vertex(c, 1), APP_DATA_SPLIT_VERTEX_SOURCE, vertex(c, 1));
    RING_put_node_app_data(d, vertex(d, 0), APP_DATA_SPLIT_VERTEX_SOURCE, vertex(d, 0));
    PMRP_fpass_connection_s record = {nullptr, nullptr, 0};
    connect(c, vertex(c, 2), &record);  // not shown: the split display draws no connected vertices
    TREE_s* tree = TREE_create(pool);
    TREE_node_s* root = TREE_add_sister(tree, nullptr, c);
    TREE_add_daughter(tree, root, d);
    PMRP_display_fpass_tree_split_vertices(tree, 5, 66);
    const auto markers = calls_of("markers");
    ASSERT_EQ(2u, markers.size());
    for (const auto& m : markers) EXPECT_EQ((std::vector<int>{4, 66, 3, 1}), m.ints);
    expect_point({2, 0, 2}, markers[0].values, 0);
    expect_point({7, 7, 0}, markers[1].values, 0);
    const auto lines = calls_of("polyline");
    ASSERT_EQ(3u, lines.size());
    for (const auto& l : lines) EXPECT_EQ(5, l.ints[0]);
    TREE_delete(tree);
}

}  // namespace
