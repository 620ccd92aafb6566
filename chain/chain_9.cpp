// Point regions, directions at places and small chain edits.
#include <merrow1/chain_region.h>

#include <merrow1/chain.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>
// Upward call: the single-chain offset entry hands its work to the offset
// family of the offsets subsystem.
#include <merrow1/chain_offset.h>

#include "chain/chain_check.h"
#include "chain/chain_record.h"
#include "internal/vec2.h"
#include "chain/chain_readings.h"
#include <pellam/mchn_merge.h>
#include <quorn/quorn.h>
#include <velte/cerr.h>

#include <algorithm>
#include <utility>

namespace {

using merrow1::cross;
using merrow1::is_closed;

// Outcome of one pass over the segments.
enum class Pass { kFound, kNone, kOnChain };

// Nearest foot of p on the segments that do not lie wholly behind p along d
// and that `accept` takes; a later segment replaces the best only when nearer
// by more than the tolerance.  A segment within the tolerance of p ends the
// search: p lies on the chain.
template <class Accept>
Pass nearest_foot(RING_header_s* chain, const double p[2], const double d[2], double tolerance, Accept accept,
                  POINT_ON_CHAIN_s* place, double* cross_value) {
    const int segments = is_closed(chain) ? chain->count : chain->count - 1;
    double best = 1e7;
    bool found = false;
    RING_node_s* node = chain->first->next;
    for (int k = 1; k <= segments && node; ++k, node = node->next) {
        SEGMENT segment;
        if (!ChainSegment(chain, node, &segment)) continue;
        const double behind_start = (segment.start[0] - p[0]) * d[0] + (segment.start[1] - p[1]) * d[1];
        const double behind_end = (segment.end->x - p[0]) * d[0] + (segment.end->y - p[1]) * d[1];
        if (behind_start < 0.0 && behind_end < 0.0) continue;
        double foot[2];
        const double distance = SegmentPointMinDist(&segment, p, foot);
        if (distance <= tolerance) return Pass::kOnChain;
        const double offset[2] = {foot[0] - p[0], foot[1] - p[1]};
        const double c = cross(d, offset);
        if (!accept(c) || !(distance < best - tolerance)) continue;
        best = distance;
        found = PointOnChainCreate(chain, node, k, foot, place) != 0;
        *cross_value = c;
    }
    return found ? Pass::kFound : Pass::kNone;
}

}  // namespace

int ChainPointRegion(RING_header_s* chain, const double p[2], const double d[2], PART_OF_CHAIN_s* part) {
    // 1. Abort check, inputs and the tolerance.
    CERR_raise_on_abort();
    if (!part || !part->start || !part->end) return 0;
    if (!chain || !p || !d || !chain->first || !chain->main_data) return 0;
    const CHAIN_main_data_s* data = static_cast<const CHAIN_main_data_s*>(chain->main_data);
    const double approximation = data->approximation_tolerance_set ? data->approximation_tolerance : 0.0;
    const double tolerance = std::max(EQ_ask_length_tolerance(), 1.5 * approximation);
    POINT_ON_CHAIN_s* first = part->start;
    POINT_ON_CHAIN_s* second = part->end;

    // 2. The nearest foot.
    double first_cross = 0.0;
    if (nearest_foot(chain, p, d, tolerance, [](double) { return true; }, first, &first_cross) != Pass::kFound)
        return 0;
    // 3. The nearest foot on the other side of the line through p along d.
    double second_cross = 0.0;
    auto other_side = [first_cross](double c) { return first_cross * c <= 0.0; };
    if (nearest_foot(chain, p, d, tolerance, other_side, second, &second_cross) != Pass::kFound) return 0;

    // 4. The part between them.
    if (!CreatePartOfChain(part, first, second)) return 0;

    // 5. On a closed chain the part must hold the place where the ray from p
    //    along d meets the chain; otherwise the other stretch is meant.
    if (!is_closed(chain)) return 1;
    const Korvo::Math::Point2 from{p[0], p[1]};
    const Korvo::Math::Vector2 along{d[0], d[1]};
    double distance = 0.0;
    POINT_ON_CHAIN_s hit{};
    if (!ChainPointRayDistance(chain, &from, &along, &distance, &hit, nullptr)) return 1;
    const double n = chain->count;
    const double s = part->start->parameter, e = part->end->parameter, h = hit.parameter;
    const bool within = (s - tolerance < h && h < e + tolerance) || (s - tolerance < h + n && h + n < e + tolerance);
    if (within) return 1;
    // The complementary stretch: the ends change places.  A vertex place that
    // starts a part names the node whose segment follows it, one that ends a
    // part the vertex itself.
    std::swap(*part->start, *part->end);
    POINT_ON_CHAIN_s* start = part->start;
    POINT_ON_CHAIN_s* end = part->end;
    if (!start->inside && start->node) start->node = start->node->next;
    if (!end->inside && end->node) end->node = end->node->previous;
    const double length_tolerance = merrow1::length_tolerance_of(chain);
    if (end->parameter < start->parameter - length_tolerance) end->parameter += n;
    if (start->parameter >= n) {
        start->parameter -= n;
        end->parameter -= n;
    }
    return 1;
}

int ChainOffsetSingle(RING_header_s* chain, double distance, CORNER_CONTROL corner, RING_header_s* out_list) {
    if (!chain || !out_list) return 0;
    if (!CHAIN__input_usable(chain, "ChainOffsetSingle", CHAIN_INPUT_FINITE)) return 0;
    // Upward call into the offset family; new vertices take the host segment
    // data of their source vertices.
    RING_header_s* result = CHAIN_offset(chain, distance, corner, 0, nullptr, nullptr, MCHN_merge_segment_app_data,
                                         out_list->pool, nullptr);
    if (!result) return 0;
    const bool any = result->count > 0;
    RING_append_ring(out_list, result);
    // The result list is empty now; its chains belong to out_list.
    RING_delete(result);
    return any ? 1 : 0;
}
