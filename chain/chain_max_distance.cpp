// The farthest point of a chain from a point.
#include <merrow1/chain_distance.h>

#include <merrow1/chain.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>
#include <merrow1/segment_intersection.h>
#include <quorn/quorn.h>

#include "chain/chain_record.h"

#include <cmath>

double CHAIN_maximum_distance_to_chain(const RING_header_s* chain, const Korvo::Math::Point2& p,
                                       Korvo::Math::Point2* farthest) {
    double best = 0.0;
    if (!chain || !chain->first) return best;
    const double tolerance = EQ_ask_length_tolerance();
    const double q[2] = {p.x, p.y};
    // A candidate replaces the best only when it is strictly farther.
    auto consider = [&](const double c[2]) {
        const double d = std::hypot(c[0] - q[0], c[1] - q[1]);
        if (d > best) {
            best = d;
            if (farthest) *farthest = Korvo::Math::Point2{c[0], c[1]};
        }
    };
    const bool closed = merrow1::is_closed(chain);
    const int segments = closed ? chain->count : chain->count - 1;
    if (segments < 1) {
        consider(static_cast<const CHAIN_vertex_data_s*>(chain->first->main_data)->geometry);
        return best;
    }
    // The farthest point of a line is an end; an arc may also reach it where
    // the line from P through the centre meets the circle inside the arc.
    const RING_node_s* node = chain->first->next;
    for (int k = 1; k <= segments && node; ++k, node = node->next) {
        SEGMENT segment;
        if (!ChainSegment(chain, node, &segment)) continue;
        consider(segment.start);
        const double end[2] = {segment.end->x, segment.end->y};
        consider(end);
        if (segment.type != SEG_ARC) continue;
        const end_segment* arc = segment.end;
        const double away[2] = {q[0] - arc->cx, q[1] - arc->cy};
        double unit[2], length;
        if (!VEC2_unitize(away, tolerance, &length, unit)) continue;
        for (double sign : {1.0, -1.0}) {
            const double c[2] = {arc->cx + sign * arc->radius * unit[0], arc->cy + sign * arc->radius * unit[1]};
            if (SegmentPointLocationOn(&segment, c) == 3) consider(c);
        }
    }
    return best;
}
