// The region gouge check of a tool poly against a region set: the answers for
// tools inside, outside, crossing and on the boundary (the set is shrunk by
// the tolerance), a set already on its grid, tools beyond the grid, a set
// scaled in part, and that the caller's set and tool come back as they went
// in on every path, the raising ones included.
#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/int_grid_map.h>
#include <merrow1/poly_seg.h>
#include <merrow1/poly_seg_grid.h>
#include <quorn/testing.h>
#include <stend/error.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <string>
#include <vector>

namespace {

using Korvo::Cam::MaterialAtInfinity;
const MaterialAtInfinity kNone = Korvo::Cam::NoMaterialAtInfinity;
const MaterialAtInfinity kPresent = Korvo::Cam::MaterialAtInfinityPresent;
const MaterialAtInfinity kUndetermined = Korvo::Cam::MaterialAtInfinityUndetermined;

// Everything of a poly or set that the check could disturb.
struct Snapshot {
    std::vector<double> values;  // per piece: x, y, h, flags (cx, cy of arcs); per poly: count, closed, offset
    std::vector<const void*> maps;
    bool operator==(const Snapshot& o) const { return values == o.values && maps == o.maps; }
};

void take(const RING_header_s* ring, Snapshot* s) {
    if (ring->type == RING_TYPE_CHAIN) {
        const POLY_SEG_header_s* h = POLY_SEG_ask_header(ring);
        s->values.push_back(ring->count);
        s->values.push_back(POLY_SEG_is_closed(ring));
        s->values.push_back(h->offset);
        s->maps.push_back(h->scaling);
        RING_node_s* n = ring->first;
        for (int i = 0; n && i < ring->count; ++i, n = n->next) {
            const LINE_ARC_SEG_s* p = static_cast<const LINE_ARC_SEG_s*>(n->main_data);
            s->values.insert(s->values.end(), {p->x, p->y, p->h, static_cast<double>(p->flags)});
            if (LINE_ARC_SEG_is_arc(p)) s->values.insert(s->values.end(), {p->cx, p->cy});  // lines end before
        }
        return;
    }
    s->values.push_back(ring->count);
    RING_node_s* n = ring->first;
    for (int i = 0; n && i < ring->count; ++i, n = n->next)
        if (const RING_header_s* sub = RING_ask_node_subring(n)) take(sub, s);
}

Snapshot snapshot(const RING_header_s* ring) {
    Snapshot s;
    take(ring, &s);
    return s;
}

class RegionGouge : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "region gouge test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    RING_header_s* polygon(const std::vector<PNT2_s>& pts, bool closed = true) {
        return chain_builders::line_poly(pool, pts, closed);
    }
    // Counter-clockwise square: material inside.
    RING_header_s* square(double x0, double y0, double x1, double y1) {
        return chain_builders::box_poly(pool, x0, y0, x1, y1);
    }
    // Clockwise square: a hole in material at infinity.
    RING_header_s* hole(double x0, double y0, double x1, double y1) {
        return chain_builders::box_poly(pool, x0, y0, x1, y1, false);
    }
    RING_header_s* set_of(std::vector<RING_header_s*> polys, MaterialAtInfinity mai) {
        return chain_builders::poly_set(pool, polys, mai);
    }
    // Two material squares whose box, (0, 0) to (100, 100), holds clear
    // ground between them.
    RING_header_s* two_squares(MaterialAtInfinity mai = kNone) {
        return set_of({square(0, 0, 40, 40), square(60, 60, 100, 100)}, mai);
    }
    RING_header_s* path(const std::vector<PNT2_s>& pts) { return polygon(pts, false); }

    CMEM_pool_s* pool = nullptr;
};

struct GougeCase {
    const char* name;
    std::vector<PNT2_s> tool;
    double tolerance;
    MaterialAtInfinity mai;
    bool gouges;
};

TEST_F(RegionGouge, AnswersWhetherTheToolEntersMaterialOfTheShrunkSet) {
    const std::vector<GougeCase> cases = {
        {"inside the first square", {{10, 10}, {30, 20}}, 0.01, kNone, true},
        {"between the squares", {{50, 5}, {50, 95}}, 0.01, kNone, false},
        {"from one square to the other", {{20, 20}, {80, 80}}, 0.01, kNone, true},
        {"entering from clear ground", {{50, 20}, {30, 20}}, 0.01, kNone, true},
        {"along a boundary", {{40, 5}, {40, 35}}, 0.01, kNone, false},
        {"within the tolerance of a boundary", {{39.995, 5}, {39.995, 35}}, 0.01, kNone, false},
        {"beyond a smaller tolerance", {{39.995, 5}, {39.995, 35}}, 0.001, kNone, true},
        {"undetermined, worked out as none", {{50, 5}, {50, 95}}, 0.01, kUndetermined, false},
        {"undetermined, inside", {{10, 10}, {30, 20}}, 0.01, kUndetermined, true},
    };
    for (const GougeCase& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* set = two_squares(c.mai);
        RING_header_s* tool = path(c.tool);
        const Snapshot set_before = snapshot(set), tool_before = snapshot(tool);
        EXPECT_EQ(POLY_SEG_region_gouge_check(set, c.mai, c.tolerance, tool), c.gouges);
        EXPECT_TRUE(snapshot(set) == set_before);
        EXPECT_TRUE(snapshot(tool) == tool_before);
    }
}

TEST_F(RegionGouge, TheToleranceIsAtLeastTwiceTheHostLengthTolerance) {
    quorn_test::set_length_tolerance(0.01);
    const std::vector<PNT2_s> near_boundary = {{39.995, 5}, {39.995, 35}};
    EXPECT_FALSE(POLY_SEG_region_gouge_check(two_squares(), kNone, 0.0, path(near_boundary)));
    quorn_test::set_length_tolerance(1e-6);
    EXPECT_TRUE(POLY_SEG_region_gouge_check(two_squares(), kNone, 0.0, path(near_boundary)));
}

TEST_F(RegionGouge, ASetOnItsGridIsUsedAsItStands) {
    RING_header_s* set = two_squares();
    POLY_SEG_put_set_to_grid(set, nullptr, false, nullptr, nullptr, 0.0);
    const Snapshot before = snapshot(set);
    EXPECT_TRUE(POLY_SEG_region_gouge_check(set, kNone, 0.01, path({{10, 10}, {30, 20}})));
    EXPECT_FALSE(POLY_SEG_region_gouge_check(set, kNone, 0.01, path({{50, 5}, {50, 95}})));
    // A tool already on the same grid is taken as well, and left there.
    RING_header_s* tool = path({{20, 20}, {80, 80}});
    POLY_SEG_put_to_grid(tool, POLY_SEG_ask_header(RING_ask_node_subring(set->first))->scaling);
    const Snapshot tool_before = snapshot(tool);
    EXPECT_TRUE(POLY_SEG_region_gouge_check(set, kNone, 0.01, tool));
    EXPECT_TRUE(snapshot(tool) == tool_before);
    EXPECT_TRUE(snapshot(set) == before);
}

TEST_F(RegionGouge, AToolBeyondTheGridGougesOnlyUnboundedMaterial) {
    struct Case {
        const char* name;
        bool holes;  // clockwise squares: holes in material at infinity
        MaterialAtInfinity mai;
        bool gouges;
    };
    const Case cases[] = {
        {"material at infinity", true, kPresent, true},
        {"undetermined, worked out as material at infinity", true, kUndetermined, true},
        {"finite material", false, kNone, false},
        {"undetermined, worked out as finite", false, kUndetermined, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stend_test::clear();
        RING_header_s* set = c.holes ? set_of({hole(0, 0, 40, 40), hole(60, 60, 100, 100)}, c.mai)
                                     : two_squares(c.mai);
        RING_header_s* tool = path({{150, 50}, {300, 50}});
        const Snapshot set_before = snapshot(set), tool_before = snapshot(tool);
        EXPECT_EQ(POLY_SEG_region_gouge_check(set, c.mai, 0.01, tool), c.gouges);
        EXPECT_TRUE(snapshot(set) == set_before);
        EXPECT_TRUE(snapshot(tool) == tool_before);
        EXPECT_TRUE(stend_test::texts(stend_test::Kind::Internal).empty());
        const std::vector<std::string> notes = stend_test::texts(stend_test::Kind::Note);
        if (c.gouges) {
            EXPECT_TRUE(notes.empty());
        } else {
            EXPECT_EQ(notes, std::vector<std::string>{
                                 "region_gouge_check: tool beyond the grid of a finite region, answered as no gouge"});
        }
    }
}

TEST_F(RegionGouge, ASetScaledInPartIsRefusedUntouched) {
    for (bool first_scaled : {false, true}) {
        SCOPED_TRACE(first_scaled ? "first poly scaled" : "later poly scaled");
        RING_header_s* a = square(0, 0, 40, 40);
        RING_header_s* b = square(60, 60, 100, 100);
        RING_header_s* set = set_of({a, b}, kNone);
        POLY_SEG_put_to_grid(first_scaled ? a : b, POLY_SEG_create_scaling(set, 0.0));
        const Snapshot before = snapshot(set);
        try {
            POLY_SEG_region_gouge_check(set, kNone, 0.01, path({{10, 10}, {30, 20}}));
            ADD_FAILURE() << "no error";
        } catch (const Korvo::Error::Exception& e) {
            EXPECT_EQ(e.askCode(), ERROR_INTERNAL_CODE);
        }
        EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal).back(), "Partially scaled set.");
        EXPECT_TRUE(snapshot(set) == before);
    }
}

TEST_F(RegionGouge, AnErrorInsideLeavesTheSetAndToolAsTheyCameAndFreesEverything) {
    // The abort is raised at the first, second, ... check: during the offsets
    // of the copy and inside the intersection object.
    for (int after = 0; after < 4; ++after) {
        SCOPED_TRACE(after);
        RING_header_s* set = two_squares();
        RING_header_s* tool = path({{20, 20}, {80, 80}});
        const Snapshot set_before = snapshot(set), tool_before = snapshot(tool);
        const long pools = velte_test::live_pool_count();
        const long objects = velte_test::live_object_count();
        velte_test::request_abort(after);
        try {
            POLY_SEG_region_gouge_check(set, kNone, 0.01, tool);
            ADD_FAILURE() << "no error";
        } catch (const Korvo::Error::Exception& e) {
            EXPECT_EQ(e.askCode(), ERROR_USER_ABORT_CODE);
        }
        velte_test::cancel_abort();
        EXPECT_TRUE(snapshot(set) == set_before);
        EXPECT_TRUE(snapshot(tool) == tool_before);
        EXPECT_EQ(velte_test::live_pool_count(), pools);
        EXPECT_EQ(velte_test::live_object_count(), objects);
    }
}

TEST_F(RegionGouge, EmptyToolsAndEmptySets) {
    EXPECT_FALSE(POLY_SEG_region_gouge_check(two_squares(), kNone, 0.01, nullptr));
    EXPECT_FALSE(POLY_SEG_region_gouge_check(two_squares(), kPresent, 0.01, POLY_SEG_create(pool)));
    // No boundary at all: the material is everywhere or nowhere.
    EXPECT_TRUE(POLY_SEG_region_gouge_check(set_of({}, kPresent), kPresent, 0.01, path({{0, 0}, {1, 1}})));
    EXPECT_FALSE(POLY_SEG_region_gouge_check(set_of({}, kNone), kNone, 0.01, path({{0, 0}, {1, 1}})));
}

}  // namespace
