// One reading of an arc record: a chain read from a listing has the same area
// through the chain measures as through the region boolean, and a listing
// whose arc leaves its sense open is refused with a note naming the vertex.
#include "chain/chain_query_fixture.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_load.h>
#include <merrow1/chain_poly_seg.h>

#include <sorrel/cam_file.h>
#include <stend/system.h>
#include <stend/testing.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace chain_query_test;

namespace {

const double kPi = 3.14159265358979323846;

// A 2 x 2 square whose top edge is an arc from (2, 2) to (0, 2): `arc` holds
// the arc's listing lines.  With `closing`, the arc is the first vertex (the
// closing segment, from the last vertex (2, 2)); otherwise the third.
std::string d_listing(const std::string& arc, bool closing) {
    std::string text =
        "The chain is a closed chain\n"
        "Chain type is OFFSET_CHAIN with 4 vertices\n"
        "Chain material side is LEFT\n"
        "Chain Clock direction is CCW\n"
        "region_set_id = 1\n";
    auto line_vertex = [](int n, const char* point) {
        return "Vertex number " + std::to_string(n) + "\nThe vertex type is SEG_LINE\npoint: " + point + "\nCorner\n";
    };
    auto arc_vertex = [&](int n) {
        return "Vertex number " + std::to_string(n) + "\nThe vertex type is SEG_ARC\npoint: 0 2\n" + arc + "Corner\n";
    };
    if (closing)
        return text + arc_vertex(1) + line_vertex(2, "0 0") + line_vertex(3, "2 0") + line_vertex(4, "2 2");
    return text + line_vertex(1, "0 0") + line_vertex(2, "2 0") + line_vertex(3, "2 2") + arc_vertex(4);
}

class ArcReadingTest : public PoolTest {
protected:
    void SetUp() override {
        PoolTest::SetUp();
        MACH__checking_level = 1;
        char pattern[] = "/tmp/merrow1-arc-XXXXXX";
        dir = mkdtemp(pattern);
    }
    void TearDown() override {
        std::filesystem::remove_all(dir);
        PoolTest::TearDown();
    }
    RING_header_s* load(const std::string& text) {
        const std::string name = dir + "/listing.txt";
        std::ofstream(name) << text;
        CAM_FILE_s* file = nullptr;
        EXPECT_EQ(CAM_FILE_open_text(name.c_str(), CAM_FILE_ACCESS_READ, &file), CAM_FILE_SUCCESS);
        RING_header_s* chain = CHAIN_load_text(nullptr, file, pool);
        CAM_FILE_close(&file);
        return chain;
    }
    // The area of the chain as a region: the union of the set holding it.
    double boolean_area(RING_header_s* chain) {
        RING_header_s* set = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_set_sub_ring_delfunc(set, nullptr);
        RING_set_node_subring(RING_insert_after(set, nullptr, nullptr), chain);
        RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        EXPECT_EQ(CHAIN_boolean_regions(set, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, out), 1);
        double total = 0.0;
        const RING_node_s* node = out->first;
        for (int i = 0; i < out->count; ++i, node = node->next)
            total += CHAIN_chainArea_chainCentroid(RING_ask_node_subring(node), nullptr);
        return total;
    }
    std::string dir;
};

// The area of a circular segment of radius r over a chord of length 2.
double segment_area(double r) {
    const double theta = 2.0 * std::asin(1.0 / r);
    return r * r / 2.0 * (theta - std::sin(theta));
}

TEST_F(ArcReadingTest, ListingChainsMeasureAsTheBooleanReadsThem) {
    struct Case {
        const char* name;
        std::string listing;
        double area;
    } cases[] = {
        {"half circle outward, CCW",
         d_listing("center: 1 2\nradius: 1\nvertex Clock direction is CCW\n", false), 4.0 + kPi / 2},
        {"half circle inward, CW", d_listing("center: 1 2\nradius: 1\nvertex Clock direction is CW\n", false),
         4.0 - kPi / 2},
        // The closing arc's centre lies off the bisector of its ends: it is
        // fitted as the appenders fit one, radius 1.3 from the centre to the
        // end and the centre moved onto the bisector, a dent for CW.
        {"closing arc with its centre off the bisector",
         d_listing("center: 1.3 2\nradius: 1\nvertex Clock direction is CW\n", true), 4.0 - segment_area(1.3)},
        // An arc without a direction line that is not a half circle: the
        // side of its centre decides (below the chord from (2, 2) to (0, 2)
        // is its left: CCW, bulging outward).
        {"arc without a direction, centre below the chord",
         d_listing("center: 1 1\nradius: 1.4142135623730951\n", false), 4.0 + segment_area(std::sqrt(2.0))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = load(c.listing);
        ASSERT_NE(chain, nullptr);
        EXPECT_NEAR(CHAIN_chainArea_chainCentroid(chain, nullptr), c.area, 1e-9);
        EXPECT_NEAR(boolean_area(chain), c.area, 1e-6);
    }
}

TEST_F(ArcReadingTest, HalfCircleWithoutDirectionIsRefusedNamingItsVertex) {
    for (bool closing : {false, true}) {
        SCOPED_TRACE(closing ? "closing arc" : "last vertex");
        stend_test::clear();
        EXPECT_EQ(load(d_listing("center: 1 2\nradius: 1\n", closing)), nullptr);
        const std::string expected = std::string("Chain listing: the arc of vertex ") + (closing ? "1" : "4") +
                                     " has no direction to decide its sense";
        bool found = false;
        for (const std::string& t : stend_test::texts(stend_test::Kind::Note)) found |= t == expected;
        EXPECT_TRUE(found);
    }
}

}  // namespace
