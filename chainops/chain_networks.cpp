// Connected networks of a split-chain network, and the segment walk of a
// part of a chain.
#include <merrow1/chain_connect.h>
#include "chain/chain_record.h"
#include "internal/ring_nodes.h"
#include "chain/split_network.h"

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_split.h>
#include <quorn/quorn.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using merrow1::ring_nodes;
using merrow1::split_junction_marked;
using merrow1::split_junction_record;

}  // namespace

void CHAIN_build_networks(RING_header_s* network) {
    if (!network) return;
    CHAIN__remove_unneeded_splitpoints(network);
    if (!network->main_data) {
        int* counter = CMEM_NEW(network->pool, int);
        *counter = 0;
        network->main_data = counter;
    }
    int* counter = static_cast<int*>(network->main_data);
    for (RING_node_s* seed : ring_nodes(network)) {
        if (split_junction_marked(seed)) continue;
        const int number = ++*counter;
        // Every junction is stamped and visited once; the work list holds at
        // most one entry per junction of the network.
        std::vector<RING_node_s*> work{seed};
        split_junction_record(seed)->pass = number;
        while (!work.empty()) {
            RING_node_s* junction = work.back();
            work.pop_back();
            if (split_junction_marked(junction)) continue;
            for (RING_node_s* node : ring_nodes(RING_ask_node_subring(junction))) {
                const auto* end = static_cast<const SPLIT_CHAIN_s*>(node->main_data);
                RING_node_s* far = end ? end->far_junction : nullptr;
                if (!far || split_junction_marked(far) || !split_junction_record(far)) continue;
                split_junction_record(far)->pass = number;
                work.push_back(far);
            }
            RING_put_node_app_data(network, junction, CHAIN_APP_DATA_SCRATCH_MARK, junction);
        }
    }
}

void CHAIN_extract_split_net(RING_header_s* network, int number, RING_header_s* out) {
    if (!network || !out) return;
    for (RING_node_s* junction : ring_nodes(network)) {
        const SPLIT_JUNCTION_s* data = split_junction_record(junction);
        if (data && data->pass == number) RING_move_node(network, junction, out, out->last);
    }
}

namespace {

double squared_distance(const double* a, const double* b) {
    return (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]);
}

// A parameter at most this far above a whole number k still counts as whole:
// a place meant to lie at vertex k whose parameter came out of a sum (k - 1 +
// t, an added vertex count) a rounding above k is walked in segment k, so a
// part ending at an open chain's last vertex is not refused as running past
// the chain's end.  Far below the part's own parameter tolerances.
constexpr double kWholeParameterRounding = 1e-12;
// An end parameter below the start by more than this runs through the start
// of a closed chain: it is moved up by the vertex count (as the part is made).
constexpr double kEndBelowStart = 1e-10;
// Places on a chain whose parameters agree within this (and whose points
// within the host squared length tolerance) are one place.
constexpr double kSameParameter = 1e-8;

// Index of the segment holding a parameter: segment k holds (k - 1, k].
int segment_holding(double parameter) { return static_cast<int>(std::ceil(parameter - kWholeParameterRounding)); }

}  // namespace

void CHAIN_cycle_part_of_chain(const PART_OF_CHAIN_s* part, int direction, CHAIN_cycle_segment_cb_t callback,
                               void* data) {
    if (!part || !part->start || !part->end || !callback || (direction != 1 && direction != -1)) return;
    const POINT_ON_CHAIN_s* start = part->start;
    const POINT_ON_CHAIN_s* end = part->end;
    RING_header_s* chain = start->chain;
    if (!chain || chain != end->chain || chain->count < 2 || !chain->first) return;
    const int n = chain->count;
    const bool closed = merrow1::is_closed(chain);
    const double tolerance = EQ_ask_length_squared_tolerance();
    double from = start->parameter;
    double to = end->parameter;
    if (closed && to < from - kEndBelowStart) to += n;
    // One place at both ends of a closed chain's part: once all the way round.
    if (closed && to <= n && std::fabs(to - from) <= kSameParameter &&
        squared_distance(start->point, end->point) <= tolerance)
        to = from + n;
    int first = segment_holding(from);
    const int last = segment_holding(to);
    if (!closed) first = std::max(first, 1);
    if (first > last || last - first > n || (!closed && last > n - 1)) return;

    // The vertex ending segment `first`: `first` steps from the first vertex
    // (on a closed chain segment 0 is the closing segment n).
    RING_node_s* node = chain->first;
    for (int k = 0; k < ((first % n) + n) % n; ++k) node = node->next;
    std::vector<RING_node_s*> ends;  // vertex ending each segment, first to last
    for (int k = first; k <= last && node; ++k, node = closed ? node->next : (node == chain->last ? nullptr : node->next))
        ends.push_back(node);
    if (static_cast<int>(ends.size()) != last - first + 1) return;

    const int count = static_cast<int>(ends.size());
    for (int i = 0; i < count; ++i) {
        // Forward takes the segments in chain order, backward from the last.
        const int at = direction == 1 ? i : count - 1 - i;
        SEGMENT segment;
        if (!ChainSegment(chain, ends[at], &segment)) continue;
        const double* seg_start = segment.start;
        const double* seg_end = &segment.end->x;
        const bool holds_start = at == 0;
        const bool holds_end = at == count - 1;
        // The part's places inside this segment, null where it runs to the
        // segment's own end.
        const double* from_point = nullptr;
        const double* to_point = nullptr;
        if (holds_start) {
            if (squared_distance(start->point, seg_end) <= tolerance) continue;
            if (squared_distance(start->point, seg_start) > tolerance) from_point = start->point;
        }
        if (holds_end) {
            const double* begin = from_point ? from_point : seg_start;
            if (squared_distance(end->point, begin) <= tolerance) continue;
            if (squared_distance(end->point, seg_end) > tolerance) to_point = end->point;
        }
        if (direction == 1)
            callback(chain, ends[at], from_point, to_point, data, 1);
        else
            callback(chain, ends[at]->previous, to_point, from_point, data, -1);
    }
}
