// Callbacks decide what a traced vertex inherits, never which geometry
// results: an offset with the host's standard callbacks, or with a
// vertex-source callback that does nothing, gives the geometry it gives
// without them.
#include "offset/trace_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_region_offset.h>
#include <pellam/mchn_merge.h>
#include <pellam/mchn_offset.h>
#include <pellam/mchn_segment.h>
#include <velte/cmem.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using trace_test::Vertex;

int traces_nothing(const RING_header_s*, const RING_node_s*, bool, RING_header_s*, RING_node_s*) { return 1; }
int merges_nothing(RING_node_s*, RING_node_s*, RING_header_s*, RING_node_s*, RING_header_s*) { return 1; }

// Twice the signed area of the closed chains of a list, arcs included.
long double twice_area(const RING_header_s* list) {
    long double total = 0;
    for (RING_header_s* chain : trace_test::chains_of(list))
        if (trace_test::is_closed(chain)) total += trace_test::twice_signed_area(trace_test::segments_of(chain));
    return total;
}

class OffsetCallbacks : public trace_test::EnginePoolTest {};

// A 120 x 80 pocket whose top-right corner is rounded with radius 10, offset
// into it past the corner's radius: with no callbacks, with a vertex-source
// callback that does nothing, and with the host's standard callbacks, on
// both engines, the result is the same, and CHAIN_offset_region finds it.
TEST_F(OffsetCallbacks, RoundedPocketOffsetIsTheSameWithAndWithoutCallbacks) {
    const double q = std::tan(std::atan(1.0) / 2);  // the bulge of a quarter circle
    const std::vector<Vertex> pocket = {{0, 0}, {120, 0}, {120, 70}, {110, 80, q}, {0, 80}};
    struct Callbacks {
        const char* name;
        CHAIN_trace_vertex_source_cb_t source;
        CHAIN_trace_vertex_cb_t vertex;
        CHAIN_vertex_source_callback_t merge;
    };
    const Callbacks with[] = {
        {"none", nullptr, nullptr, nullptr},
        {"a trace vertex-source callback that does nothing", traces_nothing, nullptr, nullptr},
        {"a vertex-source callback that does nothing", nullptr, nullptr, merges_nothing},
        {"the host's standard callbacks", MCHN_assign_seg_to_stocked_seg, MCHN_trace_vertex_same_ent_ang,
         MCHN_merge_segment_app_data},
        {"the host's segment merge alone", nullptr, nullptr, MCHN_merge_segment_app_data},
    };
    for (bool newer : {false, true}) {
        CHAIN_set_new_boolean_flag(newer);
        for (double d : {5.0, 10.0, 11.0, 12.0, 13.0, 15.0, 20.0, 35.0}) {
            // The pocket offset by d: a (120 - 2d) x (80 - 2d) rectangle whose
            // top-right corner keeps the radius 10 - d while d is below 10.
            const double w = 120 - 2 * d, h = 80 - 2 * d, r = std::fmax(10 - d, 0.0);
            const long double expected = 2 * (w * h - (1 - std::atan(1.0)) * r * r);
            for (const Callbacks& cb : with) {
                RING_header_s* chain = trace_test::appended_chain(pool, pocket, true, RIGHT);
                const std::string label = std::string(cb.name) + " at d = " + std::to_string(d) +
                                          (newer ? " (newer engine)" : " (older engine)");
                RING_header_s* list = CHAIN_offset(chain, d, ADD_ARC, 0, cb.source, cb.vertex, cb.merge, pool, nullptr);
                ASSERT_NE(list, nullptr) << label;
                EXPECT_NEAR(static_cast<double>(std::fabs(twice_area(list))), static_cast<double>(expected), 1e-4)
                    << label;
            }
            // The region offset passes the host's callbacks.
            RING_header_s* chain = trace_test::appended_chain(pool, pocket, true, RIGHT);
            RING_header_s* regions = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
            RING_set_sub_ring_delfunc(regions, nullptr);
            RING_insert_after(regions, nullptr, chain);
            RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
            ASSERT_EQ(CHAIN_offset_region(regions, out, d, false), 1)
                << "region offset at d = " << d << (newer ? " (newer engine)" : " (older engine)");
            EXPECT_NEAR(static_cast<double>(std::fabs(twice_area(out))), static_cast<double>(expected), 1e-4);
        }
    }
}

}  // namespace
