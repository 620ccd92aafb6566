// Distances between chains and sets, from points to regions and sets, and the
// tangency deviation at a vertex.
#include <merrow1/chain_region_distance.h>

#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>

#include "chain/chain_record.h"
#include "internal/scratch_pool.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kFar = 1e19;
// The search box about a segment is grown by this beyond the distance, so a
// segment at exactly that distance is searched.
constexpr double kSearchSlack = 1e-10;

using merrow1::for_each_chain;
using merrow1::is_closed;
using merrow1::point_of;

int segment_count(const RING_header_s* chain) { return is_closed(chain) ? chain->count : chain->count - 1; }

// Visits the segments of a chain in order: fn(segment, node ending it).
template <class Fn>
void for_each_segment(const RING_header_s* chain, Fn fn) {
    if (!chain || !chain->first) return;
    const RING_node_s* node = chain->first->next;
    const int n = segment_count(chain);
    for (int k = 1; k <= n && node; ++k, node = node->next) {
        SEGMENT segment;
        if (ChainSegment(chain, node, &segment)) fn(segment, node);
    }
}

// A chain with the material inside it: CW with RIGHT, or CCW with LEFT.  A
// chain without a stored direction answers by its computed one.
bool material_inside(const RING_header_s* chain) {
    const auto* data = static_cast<const CHAIN_main_data_s*>(chain->main_data);
    if (!data) return false;
    DIRECTION direction = data->direction;
    if (direction != CW && direction != CCW) direction = CHAIN_direction_of_chain(chain);
    return (direction == CW && data->material_side == RIGHT) || (direction == CCW && data->material_side == LEFT);
}

// Box of a segment (x min, y min, x max, y max): its ends, an arc pushed out
// to its circle's extreme where the centre lies strictly between the end
// coordinates on the arc's side, then every side moved out by the margin.
void segment_box(const SEGMENT& segment, double margin, double box[4]) {
    const double s[2] = {segment.start[0], segment.start[1]};
    const double e[2] = {segment.end->x, segment.end->y};
    box[0] = std::min(s[0], e[0]), box[1] = std::min(s[1], e[1]);
    box[2] = std::max(s[0], e[0]), box[3] = std::max(s[1], e[1]);
    if (segment.type == SEG_ARC) {
        const end_segment& a = *segment.end;
        const bool cw = a.direction == CW;
        if (a.cx > box[0] && a.cx < box[2]) {
            if ((e[0] > s[0]) != cw) box[1] = std::min(box[1], a.cy - a.radius);
            else box[3] = std::max(box[3], a.cy + a.radius);
        }
        if (a.cy > box[1] && a.cy < box[3]) {
            if ((e[1] > s[1]) == cw) box[0] = std::min(box[0], a.cx - a.radius);
            else box[2] = std::max(box[2], a.cx + a.radius);
        }
    }
    box[0] -= margin, box[1] -= margin, box[2] += margin, box[3] += margin;
}

bool boxes_meet(const double a[4], const double b[4]) {
    return a[0] <= b[2] && b[0] <= a[2] && a[1] <= b[3] && b[1] <= a[3];
}

bool box_holds(const double box[4], const double p[2]) {
    return p[0] >= box[0] && p[0] <= box[2] && p[1] >= box[1] && p[1] <= box[3];
}

// Distance between two segments: the segment-to-segment measure when it
// settles it, else the distances from each to the other's end point.
double segment_distance(const SEGMENT& a, const SEGMENT& b) {
    double distances[2];
    if (SEGMENT_segment_distance(&a, &b, nullptr, distances, false)) return distances[0];
    const double a_end[2] = {a.end->x, a.end->y}, b_end[2] = {b.end->x, b.end->y};
    return std::min(SegmentPointMinDist(&a, b_end, nullptr), SegmentPointMinDist(&b, a_end, nullptr));
}

// Smallest distance from the chain A to the set B.
double smallest_chain_to_set(RING_header_s* chain, RING_header_s* set) {
    if (!chain->first) return kFar;
    double best = ChainsPointMinDistance(set, point_of(chain->first), nullptr);
    for_each_segment(chain, [&](const SEGMENT& s, const RING_node_s*) {
        double near[4];
        segment_box(s, best, near);
        for_each_chain(set, [&](RING_header_s* other) {
            if (!other->first) return;
            // An open chain's lone start is measured too (a one-vertex chain
            // has no segment).
            if (!is_closed(other) && box_holds(near, point_of(other->first)))
                best = std::min(best, SegmentPointMinDist(&s, point_of(other->first), nullptr));
            for_each_segment(other, [&](const SEGMENT& b, const RING_node_s*) {
                double box[4];
                segment_box(b, 0.0, box);
                if (boxes_meet(near, box)) best = std::min(best, segment_distance(s, b));
            });
        });
    });
    return best;
}

// Largest over A's vertices of the distance to B: the first vertex by the
// point-to-set distance, each later one against the segments of B whose boxes
// meet its segment's box grown by (segment length + previous distance).
double largest_chain_to_set(RING_header_s* chain, RING_header_s* set) {
    if (!chain->first) return 0.0;
    double d = ChainsPointMinDistance(set, point_of(chain->first), nullptr);
    double result = d;
    for_each_segment(chain, [&](const SEGMENT& s, const RING_node_s* vertex) {
        double search[4];
        segment_box(s, SEGMENT_swept_length(&s) + d + kSearchSlack, search);
        const double* v = point_of(vertex);
        double nearest = kFar;
        for_each_chain(set, [&](RING_header_s* other) {
            if (other->first && other->count == 1 && box_holds(search, point_of(other->first))) {
                const double* q = point_of(other->first);
                nearest = std::min(nearest, std::hypot(q[0] - v[0], q[1] - v[1]));
            }
            for_each_segment(other, [&](const SEGMENT& b, const RING_node_s*) {
                double box[4];
                segment_box(b, 0.0, box);
                if (boxes_meet(search, box)) nearest = std::min(nearest, SegmentPointMinDist(&b, v, nullptr));
            });
        });
        // The previous vertex lies within d of B, so B has a point within
        // length + d of this vertex, inside the search box.
        d = nearest;
        result = std::max(result, d);
    });
    return result;
}

bool set_is_empty(RING_header_s* set) {
    bool empty = true;
    for_each_chain(set, [&](RING_header_s* chain) { empty = empty && !chain->first; });
    return empty;
}

}  // namespace

double CHAIN_min_distance_to_region(RING_header_s* region, const Korvo::Math::Point2& p,
                                    Korvo::Math::Point2* nearest) {
    if (nearest) *nearest = p;
    if (!region) return 0.0;
    const double e = EQ_ask_length_tolerance();
    const double q[2] = {p.x, p.y};
    double answer = 0.0;
    bool found = false;
    for_each_chain(region, [&](RING_header_s* chain) {
        if (found || !chain->first || !is_closed(chain)) return;
        const auto* data = static_cast<const CHAIN_main_data_s*>(chain->main_data);
        const bool island = material_inside(chain);
        if (!island && data && data->kind == TRACE_CHAIN) return;
        const CHAIN_LOCATION location = ChainPointLocation(chain, q, &e);
        if ((island && location == CHAIN_LOCATION_INSIDE) || (!island && location == CHAIN_LOCATION_OUTSIDE)) {
            POINT_ON_CHAIN_s place{};
            answer = ChainPointMinDistance(chain, q, &place);
            if (nearest) *nearest = Korvo::Math::Point2{place.point[0], place.point[1]};
            found = true;
        }
    });
    return answer;
}

double CHAIN_min_distance_to_chains(RING_header_s* set, const Korvo::Math::Point2& p, Korvo::Math::Point2* nearest) {
    if (nearest) *nearest = p;
    if (!set) return 0.0;
    const double e = EQ_ask_length_tolerance();
    const double q[2] = {p.x, p.y};
    double best = 0.0;
    bool taken = false, on = false;
    for_each_chain(set, [&](RING_header_s* chain) {
        if (on || !chain->first) return;
        if (is_closed(chain) && ChainPointLocation(chain, q, &e) == CHAIN_LOCATION_ON) {
            on = true;
            return;
        }
        POINT_ON_CHAIN_s place{};
        const double d = ChainPointMinDistance(chain, q, &place);
        // A distance of 0.0 on an open chain is an answer too, so the first
        // taken distance is marked rather than read from the value.
        if (!taken || d < best) {
            best = d;
            taken = true;
            if (nearest) *nearest = Korvo::Math::Point2{place.point[0], place.point[1]};
        }
    });
    if (on) {
        if (nearest) *nearest = p;
        return 0.0;
    }
    return best;
}

RING_node_s* CHAIN_vertex_having_minimum_distance_to_point(const RING_header_s* chain, const double point[2],
                                                          double* distance) {
    if (!chain || !chain->first || !point) return nullptr;
    RING_node_s* best = nullptr;
    double best_distance = 0.0;
    RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) {
        const double* v = point_of(node);
        const double d = std::hypot(v[0] - point[0], v[1] - point[1]);
        if (!best || d < best_distance) best = node, best_distance = d;
    }
    if (distance) *distance = best_distance;
    return best;
}

int CHAIN_deviation_from_tangency(const RING_header_s* chain, const RING_node_s* vertex, double* angle) {
    double in[2], out[2];
    if (!chain || !vertex) return 0;
    if (ChainVertexTangent(chain, vertex, in, out, nullptr, nullptr) != CHAIN_TANGENT_BOTH) return 0;
    if (angle) *angle = std::atan2(in[0] * out[1] - in[1] * out[0], in[0] * out[0] + in[1] * out[1]);
    return 1;
}

double CHAIN_maximum_of_minimum_distances_from_verteces_to_max_min_box(RING_header_s* chain) {
    if (!chain || !chain->first) return 0.0;
    return merrow1::run_converting([&]() {
        MERROW1_SCRATCH_POOL(scratch, "CHAIN-CHAIN_maximum_of_minimum_distances");
        RING_header_s* box = CHAIN_create_max_min_box_of_chain(chain, nullptr, scratch);
        // A chain whose box is empty (one point) has every vertex on it.
        if (!box) return 0.0;
        double largest = 0.0;
        const RING_node_s* node = chain->first;
        for (int i = 0; i < chain->count && node; ++i, node = node->next)
            largest = std::max(largest, ChainPointMinDistance(box, point_of(node), nullptr));
        return largest;
    });
}

double CHAIN_FindMinDistanceChainToChains(RING_header_s* chain_or_list, RING_header_s* set, bool largest) {
    if (!set || set_is_empty(set)) return kFar;
    if (!chain_or_list) return largest ? 0.0 : kFar;
    if (chain_or_list->type == RING_TYPE_CHAIN)
        return largest ? largest_chain_to_set(chain_or_list, set) : smallest_chain_to_set(chain_or_list, set);
    double answer = largest ? 0.0 : kFar;
    for_each_chain(chain_or_list, [&](RING_header_s* chain) {
        const double d = largest ? largest_chain_to_set(chain, set) : smallest_chain_to_set(chain, set);
        answer = largest ? std::max(answer, d) : std::min(answer, d);
    });
    return answer;
}
