// Embedded stretches of tool paths against a material boundary: the marks,
// the split points and what the marking leaves on the caller's chains.
#include <gtest/gtest.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_embedded.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_types.h>
#include <pellam/testing_segment.h>
#include <stend/error.h>
#include <velte/cmem.h>
#include <velte/ring.h>
#include <velte/testing.h>

#include "../../offset/chain_embedded_internal.h"
#include "support/chain_builders.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

using chain_builders::list_of_chains;

namespace {

using Pts = std::vector<Korvo::Math::Point2>;

constexpr double kTol = 0.001;     // approximation tolerance of the boundary
constexpr double kWidth = 4.0;
constexpr double kOffset = 10 * kTol + kWidth;  // where the marks change
constexpr double kNear = 1e-4;     // how close the marks sit to that distance

struct Vertex {
    double x, y;
    unsigned flags;
};

class EmbeddedPath : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "embedded path test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    // A closed chain through the points, CCW, material RIGHT.
    RING_header_s* closed(const Pts& pts) {
        RING_header_s* c = CHAIN_create_polygon(nullptr, pts.data(), static_cast<int>(pts.size()), 1, pool);
        auto* md = static_cast<CHAIN_main_data_s*>(c->main_data);
        md->material_side = RIGHT;
        md->direction = CHAIN_direction_of_chain(c);
        md->approximation_tolerance_set = 1;
        md->approximation_tolerance = kTol;
        return c;
    }
    RING_header_s* square(double x, double y, double s) { return closed({{x, y}, {x + s, y}, {x + s, y + s}, {x, y + s}}); }
    // The boundary chain's vertex names the path vertex as its source, as an
    // offset of the path would.
    CHAIN_source_segment_s* name_source(RING_header_s* b, RING_node_s* bv, RING_header_s* path, RING_node_s* pv) {
        auto* rec = CMEM_NEW(pool, CHAIN_source_segment_s);
        rec->source_chain = path;
        rec->source_vertex = pv;
        RING_put_node_app_data(b, bv, APP_DATA_SOURCE_SEGMENT, rec);
        return rec;
    }
public:
    static std::vector<Vertex> vertices(const RING_header_s* c) {
        std::vector<Vertex> out;
        RING_node_s* n = c->first;
        for (int i = 0; i < c->count; ++i, n = n->next) {
            auto* v = static_cast<CHAIN_vertex_data_s*>(n->main_data);
            out.push_back({v->geometry[0], v->geometry[1], v->flags});
        }
        return out;
    }
protected:
    static void* key(const RING_header_s* c, int k) { return APP_DATA__ask_app_data(c->app_data, k); }
    static RING_node_s* node(RING_header_s* c, int i) {
        RING_node_s* n = c->first;
        while (i-- > 0) n = n->next;
        return n;
    }
    CMEM_pool_s* pool = nullptr;
};

// Distance from p to the line segment a-b.
double segment_distance(const Vertex& a, const Vertex& b, double px, double py) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((px - a.x) * dx + (py - a.y) * dy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(px - a.x - t * dx, py - a.y - t * dy);
}

// Distance from p to the closed polygon chains of the set.
double boundary_distance(const std::vector<std::vector<Vertex>>& boundary, double px, double py) {
    double d = 1e300;
    for (const auto& b : boundary)
        for (size_t i = 0; i < b.size(); ++i) d = std::min(d, segment_distance(b[i], b[(i + 1) % b.size()], px, py));
    return d;
}

// Checks the marks of a closed path against dense samples: a segment is
// flagged embedded exactly when its points lie farther than the offset from
// the boundary, and the flag changes only at vertices at that distance.
void expect_marks_follow_distance(const RING_header_s* path, const std::vector<std::vector<Vertex>>& boundary) {
    const std::vector<Vertex> v = EmbeddedPath::vertices(path);
    for (size_t i = 0; i < v.size(); ++i) {
        const Vertex& a = v[(i + v.size() - 1) % v.size()];
        const Vertex& b = v[i];
        const bool embedded = b.flags & CHAIN_VERTEX_EMBEDDED;
        for (int k = 1; k < 400; ++k) {
            const double t = k / 400.0;
            const double d = boundary_distance(boundary, a.x + t * (b.x - a.x), a.y + t * (b.y - a.y));
            if (embedded)
                EXPECT_GT(d, kOffset - kNear) << "segment ending at (" << b.x << ", " << b.y << ") t=" << t;
            else
                EXPECT_LT(d, kOffset + kNear) << "segment ending at (" << b.x << ", " << b.y << ") t=" << t;
        }
        const bool before = v[(i + v.size() - 1) % v.size()].flags & CHAIN_VERTEX_EMBEDDED;
        if (before != embedded) {
            EXPECT_NEAR(boundary_distance(boundary, a.x, a.y), kOffset, kNear)
                << "flag changes at (" << a.x << ", " << a.y << ")";
        }
    }
}

TEST_F(EmbeddedPath, AnEmptyBoundaryLeavesEveryPathFullyEmbedded) {
    for (int form = 0; form < 2; ++form) {
        RING_header_s* a = square(0, 0, 5);
        RING_header_s* b = square(20, 0, 5);
        RING_header_s* path = list_of_chains(pool, {a, b});
        RING_header_s* boundary = form == 0 ? nullptr : list_of_chains(pool, {});
        CHAIN_mark_embedded_path(path, boundary, kWidth, 0.0, false, pool);
        for (RING_header_s* c : {a, b}) {
            EXPECT_EQ(key(c, CHAIN_APP_DATA_FULLY_EMBEDDED), c);
            EXPECT_EQ(key(c, CHAIN_APP_DATA_EMBEDDED_MARKS), c);
            for (const Vertex& v : vertices(c)) EXPECT_TRUE(v.flags & CHAIN_VERTEX_EMBEDDED);
        }
        // Narrow marks without a boundary: every marked chain is narrow whole.
        RING_header_s* unmarked = square(40, 0, 5);
        CHAIN_mark_narrow_embedded_path(list_of_chains(pool, {a, unmarked}), boundary, kWidth);
        EXPECT_EQ(key(a, CHAIN_APP_DATA_NARROW_EMBEDDED), a);
        for (const Vertex& v : vertices(a)) EXPECT_TRUE(v.flags & CHAIN_VERTEX_NARROW_EMBEDDED);
        EXPECT_EQ(key(unmarked, CHAIN_APP_DATA_NARROW_EMBEDDED), nullptr);
        for (const Vertex& v : vertices(unmarked)) EXPECT_FALSE(v.flags & CHAIN_VERTEX_NARROW_EMBEDDED);
    }
}

// A path whose lower corner dips to 2 above a square of material: the
// stretch within the offset of the square is split off and not embedded.
// A second path that no boundary vertex came from is embedded whole, and a
// boundary reference to the split vertex moves to the vertex that starts
// the embedded stretch.
TEST_F(EmbeddedPath, SplitPointsSitWhereTheDistanceToTheBoundaryCrossesTheOffset) {
    RING_header_s* p = closed({{-10, 20}, {5, 12}, {20, 20}, {5, 30}});
    RING_header_s* far = square(40, 40, 5);
    RING_header_s* b = square(0, 0, 10);
    name_source(b, node(b, 0), p, node(p, 1));
    CHAIN_source_segment_s* moved = name_source(b, node(b, 1), p, node(p, 2));
    RING_header_s* kept = list_of_chains(pool, {b});
    CHAIN_mark_embedded_path(list_of_chains(pool, {p, far}), kept, kWidth, 0.0, false, pool);

    EXPECT_EQ(key(far, CHAIN_APP_DATA_FULLY_EMBEDDED), far);
    EXPECT_EQ(key(p, CHAIN_APP_DATA_FULLY_EMBEDDED), nullptr);
    EXPECT_EQ(key(p, CHAIN_APP_DATA_EMBEDDED_MARKS), p);
    const std::vector<Vertex> v = vertices(p);
    ASSERT_EQ(v.size(), 6u);
    // Where y = 14.01 meets the two slanted sides.
    const double x1 = -10 + 15 * (20 - (10 + kOffset)) / 8, x2 = 20 - 15 * (20 - (10 + kOffset)) / 8;
    const double want[6][3] = {{-10, 20, 1}, {x1, 10 + kOffset, 1}, {5, 12, 0},
                               {x2, 10 + kOffset, 0}, {20, 20, 1}, {5, 30, 1}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_NEAR(v[i].x, want[i][0], kNear) << i;
        EXPECT_NEAR(v[i].y, want[i][1], kNear) << i;
        EXPECT_EQ(bool(v[i].flags & CHAIN_VERTEX_EMBEDDED), want[i][2] != 0) << i;
        EXPECT_EQ(APP_DATA__ask_app_data(node(p, i)->app_data, CHAIN_APP_DATA_SPLIT_POINTS), nullptr) << i;
    }
    EXPECT_EQ(moved->source_vertex, node(p, 3));
    expect_marks_follow_distance(p, {vertices(b)});
}

// Seeded star-shaped paths around a point above two squares of material
// that come within the offset of the boundary (a path that never does has no
// split points and loses its marks):
// the marks follow the distance to the boundary set on dense samples.
TEST_F(EmbeddedPath, MarksFollowTheDistanceToTheBoundarySetOnRandomPaths) {
    std::mt19937 rng(32);
    std::uniform_real_distribution<double> radius(8.0, 14.5);
    for (int round = 0; round < 20; ++round) {
        Pts pts;
        const int n = 7 + round % 9;
        for (int i = 0; i < n; ++i) {
            const double a = 2 * M_PI * i / n + 0.1 * round;
            const double r = radius(rng);
            // The vertex pointing down-left dips to 1.5 above the first
            // square, so every path crosses the offset.
            if (std::fabs(a - 250 * M_PI / 180) <= M_PI / n)
                pts.push_back({0.0, 11.5});
            else
                pts.push_back({5 + r * std::cos(a), 25 + r * std::sin(a)});
        }
        RING_header_s* p = closed(pts);
        RING_header_s* b1 = square(-6, 0, 10);
        RING_header_s* b2 = square(8, -2, 8);
        name_source(b1, node(b1, 0), p, node(p, 0));
        CHAIN_mark_embedded_path(list_of_chains(pool, {p}), list_of_chains(pool, {b1, b2}), kWidth, 0.0, false, pool);
        SCOPED_TRACE(round);
        ASSERT_EQ(key(p, CHAIN_APP_DATA_FULLY_EMBEDDED), nullptr);
        expect_marks_follow_distance(p, {vertices(b1), vertices(b2)});
    }
}

// With the gap callback, type-2 boundary segments and back-side vertices
// are grown by 0.7 x width instead; a gap above the offset raises it.
TEST_F(EmbeddedPath, GapOffsetsMoveTheSplitPoints) {
    struct Case {
        const char* name;
        bool callback;
        unsigned flags;  // on the vertex ending the square's top edge
        int geom_type;
        double gap;
        double distance;  // of the split points from the square
    } cases[] = {
        {"plain", false, 0, 0, 0.0, kOffset},
        {"back side without callback", false, 0x20000000u, 0, 0.0, kOffset},
        {"back side", true, 0x20000000u, 0, 0.0, 0.7 * kWidth},
        {"type 2", true, 0, 2, 0.0, 0.7 * kWidth},
        {"gap above the offset", false, 0, 0, 6.0, 6.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        pellam_test::reset_segment_geom_types();
        RING_header_s* p = closed({{-10, 20}, {5, 12}, {20, 20}, {5, 30}});
        RING_header_s* b = square(0, 0, 10);
        static_cast<CHAIN_vertex_data_s*>(node(b, 3)->main_data)->flags |= c.flags;
        if (c.geom_type) pellam_test::set_segment_geom_type(node(b, 3), c.geom_type);
        RING_header_s* path = list_of_chains(pool, {p});
        RING_header_s* boundary = list_of_chains(pool, {b});
        RING_header_s* regions =
            CHAIN__inner_and_gap_regions(path, boundary, kWidth, c.gap, kWidth * 1e-6 * kWidth, c.callback, pool);
        ASSERT_NE(regions, nullptr);
        EXPECT_EQ(CHAIN__split_points_from_regions(regions, path, boundary, pool), 2);
        int seen = 0;
        for (int i = 0; i < p->count; ++i)
            for (auto* r = static_cast<CHAIN_split_point_s*>(
                     APP_DATA__ask_app_data(node(p, i)->app_data, CHAIN_APP_DATA_SPLIT_POINTS));
                 r; r = r->next, ++seen) {
                EXPECT_NEAR(boundary_distance({vertices(b)}, r->point[0], r->point[1]), c.distance, kNear);
                EXPECT_EQ(r->entering, i == 2) << "the boundary hands over to the path after the dip";
                EXPECT_GT(r->parameter, 0.0);
                EXPECT_LT(r->parameter, 1.0);
            }
        EXPECT_EQ(seen, 2);
        CHAIN__remove_split_points(path);
        CHAIN__release_embedded_regions(regions, path, boundary);
    }
    pellam_test::reset_segment_geom_types();
}

}  // namespace

namespace {

// Narrow marks after the embedded marks, with width and gap 0 (offset 10 t).
TEST_F(EmbeddedPath, NarrowMarks) {
    // The path dips to 0.005 above the square (within 10 t): the embedded
    // vertices before the first entering point turn narrow.
    RING_header_s* touching = closed({{-10, 20}, {5, 10.005}, {20, 20}, {5, 30}});
    // The same dip with the there-and-back mark: narrow whole.
    RING_header_s* marked = closed({{30, 20}, {45, 10.005}, {60, 20}, {45, 30}});
    RING_put_header_app_data(marked, CHAIN_APP_DATA_TURNING_VERTEX, node(marked, 2));
    // A path 2 above the square: its region is its own, so narrow whole.
    RING_header_s* apart = closed({{70, 20}, {85, 12}, {100, 20}, {85, 30}});
    // Not marked embedded: left alone.
    RING_header_s* unmarked = square(100, 100, 5);
    RING_header_s* b = square(0, 0, 10);
    RING_header_s* b2 = square(40, 0, 10);
    RING_header_s* b3 = square(80, 0, 10);
    name_source(b, node(b, 0), touching, node(touching, 0));
    name_source(b3, node(b3, 1), apart, node(apart, 0));
    name_source(b2, node(b2, 0), marked, node(marked, 0));
    RING_header_s* path = list_of_chains(pool, {touching, marked, apart});
    RING_header_s* boundary = list_of_chains(pool, {b, b2, b3});
    CHAIN_mark_embedded_path(path, boundary, kWidth, 0.0, false, pool);
    for (RING_header_s* c : {touching, marked, apart}) {
        ASSERT_EQ(key(c, CHAIN_APP_DATA_EMBEDDED_MARKS), c);
        ASSERT_EQ(c->count, 6);
    }
    const std::vector<Vertex> before = vertices(touching);
    CHAIN_mark_narrow_embedded_path(list_of_chains(pool, {touching, marked, apart, unmarked}), boundary, kWidth);

    const std::vector<Vertex> after = vertices(touching);
    const bool narrow[6] = {true, true, false, false, false, false};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(bool(before[i].flags & CHAIN_VERTEX_EMBEDDED), i < 2 || i > 3) << i;
        EXPECT_EQ(after[i].flags, before[i].flags | (narrow[i] ? CHAIN_VERTEX_NARROW_EMBEDDED : 0u)) << i;
        EXPECT_EQ(APP_DATA__ask_app_data(node(touching, i)->app_data, CHAIN_APP_DATA_SPLIT_POINTS), nullptr) << i;
    }
    EXPECT_EQ(key(touching, CHAIN_APP_DATA_NARROW_EMBEDDED), nullptr);
    for (RING_header_s* c : {marked, apart}) {
        EXPECT_EQ(key(c, CHAIN_APP_DATA_NARROW_EMBEDDED), c);
        for (const Vertex& v : vertices(c)) EXPECT_TRUE(v.flags & CHAIN_VERTEX_NARROW_EMBEDDED);
    }
    EXPECT_EQ(key(unmarked, CHAIN_APP_DATA_NARROW_EMBEDDED), nullptr);
    for (const Vertex& v : vertices(unmarked)) EXPECT_FALSE(v.flags & CHAIN_VERTEX_NARROW_EMBEDDED);
}

}  // namespace

namespace {

// What the marking stamps on the caller's chains for its regions goes back,
// on success and when an error passes (an abort inside the union); no scratch
// pool outlives a call and no split-point list stays on the path.  An open
// path chain is refused before anything changes.
TEST_F(EmbeddedPath, CallerFieldsComeBackAfterEveryEntry) {
    struct Fields {
        SIDE side;
        int use;
        double offset;
        int region;
        bool operator==(const Fields& o) const {
            return side == o.side && use == o.use && offset == o.offset && region == o.region;
        }
    };
    auto fields = [](RING_header_s* c) {
        auto* md = static_cast<CHAIN_main_data_s*>(c->main_data);
        return Fields{md->material_side, md->use_implied_offset, md->implied_offset, md->region_set_id};
    };
    auto stamp = [](RING_header_s* c, Fields f) {
        auto* md = static_cast<CHAIN_main_data_s*>(c->main_data);
        md->material_side = f.side;
        md->use_implied_offset = f.use;
        md->implied_offset = f.offset;
        md->region_set_id = f.region;
    };
    enum Entry { MARK, MARK_WITH_GAP_CALLBACK, NARROW, REGIONS };
    enum Fault { NONE, ABORT, OPEN_PATH };
    for (Entry entry : {MARK, MARK_WITH_GAP_CALLBACK, NARROW, REGIONS})
        for (Fault fault : {NONE, ABORT, OPEN_PATH}) {
            SCOPED_TRACE(testing::Message() << "entry " << entry << " fault " << fault);
            RING_header_s* p = closed({{-10, 20}, {5, 12}, {20, 20}, {5, 30}});
            RING_header_s* b = square(0, 0, 10);
            name_source(b, node(b, 0), p, node(p, 0));
            std::vector<RING_header_s*> paths{p};
            if (fault == OPEN_PATH) {
                const Pts line{{-20, 40}, {30, 40}};
                paths.push_back(CHAIN_create_polygon(nullptr, line.data(), 2, 0, pool));
            }
            RING_header_s* path = list_of_chains(pool, {});
            for (RING_header_s* c : paths) {
                RING_insert_after(path, path->last, c);
                stamp(c, {RIGHT, 8, 0.25, 7});
                CHAIN_mark_as_fully_embedded(c);  // the narrow marks need key 204
            }
            stamp(b, {LEFT, 2, 1.5, 9});
            RING_header_s* boundary = list_of_chains(pool, {b});
            std::vector<Fields> before;
            for (RING_header_s* c : paths) before.push_back(fields(c));
            const Fields b_before = fields(b);
            const long pools = velte_test::live_pool_count();
            const long objects = velte_test::live_object_count();
            const long region_pools = velte_test::pools_created("CHAIN_fillet_region");
            const long narrow_pools = velte_test::pools_created("CHAIN_mark_narrow_embedded_path");

            if (fault == ABORT) velte_test::request_abort(0);
            auto run = [&]() {
                switch (entry) {
                case MARK: CHAIN_mark_embedded_path(path, boundary, kWidth, 0.0, false, pool); break;
                case MARK_WITH_GAP_CALLBACK: CHAIN_mark_embedded_path(path, boundary, kWidth, 1.0, true, pool); break;
                case NARROW: CHAIN_mark_narrow_embedded_path(path, boundary, kWidth); break;
                case REGIONS:
                    CHAIN__release_embedded_regions(
                        CHAIN__inner_and_gap_regions(path, boundary, kWidth, 0.0, 0.0, true, pool), path, boundary);
                    break;
                }
            };
            if (fault == ABORT)
                EXPECT_THROW(run(), Korvo::Error::Severe);
            else
                EXPECT_NO_THROW(run());
            velte_test::cancel_abort();
            // An open chain cannot bound a region: refused before any mark
            // changes.
            if (fault == OPEN_PATH) {
                for (RING_header_s* c : paths) EXPECT_EQ(key(c, CHAIN_APP_DATA_FULLY_EMBEDDED), c);
            }

            for (size_t i = 0; i < paths.size(); ++i) {
                EXPECT_TRUE(fields(paths[i]) == before[i]) << "path chain " << i;
                for (int k = 0; k < paths[i]->count; ++k)
                    EXPECT_EQ(APP_DATA__ask_app_data(node(paths[i], k)->app_data, CHAIN_APP_DATA_SPLIT_POINTS), nullptr);
            }
            EXPECT_TRUE(fields(b) == b_before);
            EXPECT_EQ(velte_test::live_pool_count(), pools);
            // The region list and the region chains it made are freed.
            if (entry == REGIONS) {
                EXPECT_EQ(velte_test::live_object_count(), objects);
            }
            // The regions work in their own named pool.
            const bool built = fault != OPEN_PATH;
            EXPECT_EQ(velte_test::pools_created("CHAIN_fillet_region"), region_pools + built);
            EXPECT_EQ(velte_test::pools_created("CHAIN_mark_narrow_embedded_path"),
                      narrow_pools + (built && entry == NARROW));
        }
}

}  // namespace

namespace {

// Regions under the minimum area go.  A path 2 above the square with width 0
// comes back as the one region, the path chain itself: dropping it only
// unhooks it, and releasing the list never frees a caller's chain.
TEST_F(EmbeddedPath, SmallRegionsGoAndCallerChainsSurvive) {
    struct Case {
        double min_area;
        int regions;
    } cases[] = {{0.0, 1}, {269.0, 1}, {271.0, 0}};  // the path's area is 270
    for (const Case& c : cases) {
        SCOPED_TRACE(c.min_area);
        RING_header_s* p = closed({{-10, 20}, {5, 12}, {20, 20}, {5, 30}});
        RING_header_s* b = square(0, 0, 10);
        RING_header_s* path = list_of_chains(pool, {p});
        RING_header_s* boundary = list_of_chains(pool, {b});
        const long objects = velte_test::live_object_count();
        RING_header_s* regions = CHAIN__inner_and_gap_regions(path, boundary, 0.0, 0.0, c.min_area, false, pool);
        ASSERT_NE(regions, nullptr);
        EXPECT_EQ(regions->count, c.regions);
        bool path_itself = false;
        for (RING_node_s* n = regions->first; n && !path_itself; n = n->next == regions->first ? nullptr : n->next)
            path_itself = RING_ask_node_subring(n) == p;
        EXPECT_EQ(path_itself, c.regions == 1);
        CHAIN__release_embedded_regions(regions, path, boundary);
        EXPECT_EQ(vertices(p).size(), 4u);
        EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(p, nullptr)), 270.0, 1e-9);
        // What stays is the loop-class record the union hangs on the path
        // chain it hands back, with its entry.
        EXPECT_LE(velte_test::live_object_count(), objects + 2);
    }
}

}  // namespace
