// Oracles over result chains of region operations: the material area and the
// membership of sample points by the winding of the chains (computed here),
// read by their material sides.
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

// Winding number of a closed chain about a point off it, computed here: the
// polygon of its chords by crossings of the rightward ray, plus, for every
// arc, the closed curve of the arc and its chord back, which winds once
// (counter-clockwise for a CCW arc) about the points of its circle on the
// arc's side of the chord (right of the chord for CCW, left for CW).
inline int winding(const RING_header_s* chain, const double p[2]) {
    int total = 0;
    RING_node_s* v = chain->first;
    for (int i = 0; v && i < chain->count; ++i, v = v->next) {
        const double* a = chain_query_test::point_of(v->previous);
        const double* b = chain_query_test::point_of(v);
        const double cross = (b[0] - a[0]) * (p[1] - a[1]) - (b[1] - a[1]) * (p[0] - a[0]);
        if (a[1] <= p[1]) {
            if (b[1] > p[1] && cross > 0) ++total;
        } else if (b[1] <= p[1] && cross < 0) {
            --total;
        }
        if (CHAIN_seg_ask_type(v) != SEG_ARC) continue;
        const end_segment* arc = chain_query_test::arc_of(v);
        const double dx = p[0] - arc->cx, dy = p[1] - arc->cy;
        if (dx * dx + dy * dy >= arc->radius * arc->radius) continue;
        const int sense = arc->direction == CCW ? 1 : -1;
        const bool whole = a[0] == b[0] && a[1] == b[1];
        if (whole || cross * sense < 0) total += sense;
    }
    return total;
}

// Membership of a point in a result: the material layers its chains put
// there, each chain's winding counted for material on its left and against
// it for material on its right (islands enclosing the point less holes
// enclosing it, for simple chains).
inline int membership(const std::vector<RING_header_s*>& chains, const double p[2]) {
    int level = 0;
    for (RING_header_s* c : chains) level += data_of(c)->material_side == RIGHT ? -winding(c, p) : winding(c, p);
    return level;
}

// Material layers that a result's chains lay at a point off them: an island
// lays one inside itself, any other closed chain (a pocket) one outside
// itself; the point lies in the result's material when there is any.
inline int material_layers(const std::vector<RING_header_s*>& chains, const double p[2]) {
    int level = 0;
    for (RING_header_s* c : chains) level += (winding(c, p) != 0) == is_island(c);
    return level;
}

// Material (1) or air (0) of a result at the points of a grid a quarter
// step off the half units from lo to hi in x and y, so no point lies on a
// chain running along whole or half units.
inline std::vector<int> material_map(const std::vector<RING_header_s*>& chains, double lo, double hi) {
    std::vector<int> map;
    for (double x = lo + 0.25; x < hi; x += 0.5)
        for (double y = lo + 0.25; y < hi; y += 0.5) {
            const double p[2] = {x, y};
            map.push_back(material_layers(chains, p) > 0 ? 1 : 0);
        }
    return map;
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
