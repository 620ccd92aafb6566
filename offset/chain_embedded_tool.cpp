// The fraction of a tool circle that lies in material.
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_embedded.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_types.h>

#include "chain/chain_each.h"
#include "internal/check.h"
#include "internal/scratch_pool.h"

#include "internal/vec2.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kTwoPi = 2 * merrow1::kPi;

using merrow1::is_closed;
using merrow1::main_of;

// Whether the point is in material for the region (a chain list or a single
// chain): no closed chain of it excludes the point.
bool in_material(RING_header_s* region, const double point[2]) {
    bool excluded = false;
    merrow1::for_each_chain(region, [&](RING_header_s* chain) {
        if (excluded || !is_closed(chain)) return;
        const CHAIN_main_data_s* md = main_of(chain);
        if (!md) return;
        const DIRECTION dir = CHAIN_direction_of_chain(chain);
        const bool island = (dir == CW && md->material_side == RIGHT) || (dir == CCW && md->material_side == LEFT);
        if (!island && md->kind == TRACE_CHAIN) return;
        const CHAIN_LOCATION where = ChainPointLocation(chain, point, nullptr);
        excluded = island ? where == 1 : where == 2;
    });
    return !excluded;
}

// Fraction of the circle that lies in material for one region.
double region_fraction(double r, const Korvo::Math::Point2& c, RING_header_s* region, CMEM_pool_s* pool) {
    RING_header_s* first = nullptr;
    merrow1::for_each_chain(region, [&](RING_header_s* chain) {
        if (!first) first = chain;
    });
    if (!first) return 0.0;
    const CHAIN_main_data_s* md = main_of(first);
    const Korvo::Math::Vector2 start{1.0, 0.0};
    RING_header_s* circle = CHAIN_create_circle_chain(md ? &md->csys : nullptr, r, &c, &start, CCW, pool);
    if (!circle) return 0.0;

    // The region's chains as a list that only refers to them.
    RING_header_s* chains = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_header_s* points = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_set_sub_ring_delfunc(chains, nullptr);
    merrow1::for_each_chain(region, [&](RING_header_s* chain) { CHAIN_add_chain_to_list(chains, chain); });
    CHAIN_chain_chains_intersections(circle, chains, false, false, nullptr, points);

    // Angles about the centre of the crossings on the circle, ascending.
    std::vector<double> angles;
    for (RING_node_s* n = points->first; n && angles.empty(); n = n->next == points->first ? nullptr : n->next) {
        RING_header_s* sub = RING_ask_node_subring(n);
        if (!sub || sub->main_data != circle) continue;
        RING_node_s* p = sub->first;
        for (int i = 0; i < sub->count && p; ++i, p = p->next) {
            const auto* place = static_cast<const POINT_ON_CHAIN_s*>(p->main_data);
            double a = std::atan2(place->point[1] - c.y, place->point[0] - c.x);
            if (a < 0.0) a += kTwoPi;
            angles.push_back(a);
        }
    }
    if (angles.empty()) {
        const double p0[2] = {c.x + r, c.y};
        return in_material(region, p0) ? 1.0 : 0.0;
    }
    std::sort(angles.begin(), angles.end());
    double sum = 0.0;
    const size_t n = angles.size();
    for (size_t i = 0; i < n; ++i) {
        // From each crossing to the next counter-clockwise; the last one runs
        // round to the first (a single crossing: the whole circle).
        const double sweep = i + 1 < n ? angles[i + 1] - angles[i] : kTwoPi - (angles[n - 1] - angles[0]);
        if (sweep <= 0.0) continue;
        const double mid = angles[i] + 0.5 * sweep;
        const double q[2] = {c.x + r * std::cos(mid), c.y + r * std::sin(mid)};
        if (in_material(region, q)) sum += sweep / kTwoPi;
    }
    return sum;
}

}  // namespace

double CHAIN_portion_of_tool_that_is_embedded(double radius, const Korvo::Math::Point2* centre,
                                              RING_header_s* regions) {
    MERROW1_REQUIRE(centre && std::isfinite(centre->x) && std::isfinite(centre->y), "DUE_TO_INVALID_INPUT", 0.0);
    MERROW1_REQUIRE(std::isfinite(radius) && radius > 0.0, "DUE_TO_INVALID_INPUT", 0.0);
    if (!regions) return 0.0;
    return merrow1::run_converting([&]() -> double {
        MERROW1_SCRATCH_POOL(pool, "CHAIN-CHAIN_portion_of_tool_that_is_embedded");
        double sum = 0.0;
        // The regions' fractions add up; the sum stops at a full circle.
        if (regions->type != RING_TYPE_LIST) return std::min(1.0, region_fraction(radius, *centre, regions, pool));
        RING_node_s* node = regions->first;
        for (int i = 0; i < regions->count && node && sum < 1.0; ++i, node = node->next)
            if (RING_header_s* region = RING_ask_node_subring(node))
                sum += region_fraction(radius, *centre, region, pool);
        return std::min(1.0, sum);
    });
}
