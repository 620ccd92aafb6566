// Oracles over result chains of region operations: the material area and the
// membership of sample points by the winding of the chains, read by their
// material sides.
#pragma once

#include "chain/chain_query_fixture.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_distance.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace region_oracle {

using chain_query_test::data_of;

inline std::vector<RING_header_s*> chains_in(const RING_header_s* list) {
    std::vector<RING_header_s*> out;
    RING_node_s* n = list->first;
    for (int i = 0; n && i < list->count; ++i, n = n->next) out.push_back(RING_ask_node_subring(n));
    return out;
}
inline bool is_island(RING_header_s* c) {
    const DIRECTION d = CHAIN_direction_of_chain(c);
    const SIDE s = data_of(c)->material_side;
    return (d == CW && s == RIGHT) || (d == CCW && s == LEFT);
}

// Material area of a result: islands add, holes take off.
inline double material_area(const std::vector<RING_header_s*>& chains) {
    double total = 0;
    for (RING_header_s* c : chains) {
        const double a = std::fabs(CHAIN_chainArea_chainCentroid(c, nullptr));
        total += is_island(c) ? a : -a;
    }
    return total;
}

// Membership of a point in a result: islands enclosing it less holes
// enclosing it (winding of the result chains by their material).
inline int membership(const std::vector<RING_header_s*>& chains, const double p[2]) {
    int level = 0;
    for (RING_header_s* c : chains)
        if (ChainPointLocation(c, p, nullptr) == CHAIN_LOCATION_INSIDE) level += is_island(c) ? 1 : -1;
    return level;
}

inline double distance_to(const std::vector<RING_header_s*>& chains, const double p[2]) {
    double best = 1e300;
    for (RING_header_s* c : chains) {
        POINT_ON_CHAIN_s near{};
        best = std::min(best, ChainPointMinDistance(c, p, &near));
    }
    return best;
}

}  // namespace region_oracle
