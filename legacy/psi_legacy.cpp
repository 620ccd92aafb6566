// The earlier build's writer of two-segment intersection nodes.  The nodes
// are the shared records of the PSI object; what that record does not hold
// (the segments' ids, a second flag word, the links of each segment's node
// list) lives in a PSI_LEGACY_NODE_s beside each node, in the object's pool.
#include <merrow1/legacy/legacy_routines.h>

#include "polyset/psi_internal.h"

#include <velte/cmem.h>

namespace {

// Arm orders of a node by the point's kind (see the writer below).
const unsigned char kPlainOrder[2][4] = {{3, 0, 1, 2}, {1, 2, 3, 0}};           // without / with side
const unsigned char kOverlapOrder[2][2][4] = {{{2, 3, 1, 0}, {2, 0, 3, 1}},     // first orientation
                                              {{3, 2, 0, 1}, {1, 3, 0, 2}}};    // second orientation

// Whether an overlap takes the first orientation: a kind with neither 8 nor
// 16, or one with 8 and the side bit whose segments compare so.
bool first_orientation(const PSI_s* psi, const PSI_LEGACY_SEGMENT_s* s1, const PSI_LEGACY_SEGMENT_s* s2, int kind) {
    if (!(kind & PSI_LEGACY_KIND_8) && !(kind & PSI_LEGACY_KIND_16)) return true;
    if ((kind & PSI_LEGACY_KIND_8) && (kind & PSI_LEGACY_KIND_SIDE))
        return psi->node_compare ? !psi->node_compare(s2->segment, s1->segment) : s1->id >= s2->id;
    return false;
}

}  // namespace

void PSI__ixn_handle_2seg_intersect(PSI_s* psi, PSI_LEGACY_SEGMENT_s* segment1, PSI_LEGACY_SEGMENT_s* segment2,
                                    PNT2_s* points, int* kinds, int count) {
    for (int k = 0; k < count; ++k) {
        const int kind = kinds[k];
        const bool side = (kind & PSI_LEGACY_KIND_SIDE) != 0;
        PSI_INTXN_NODE_s* node = PSI__new_segment_intxn_node(psi);
        PSI_LEGACY_NODE_s* extra = CMEM_NEW(psi->pool, PSI_LEGACY_NODE_s);
        node->pnt = points[k];
        node->segs[0] = segment1->segment;
        node->segs[1] = segment2->segment;
        extra->node = node;
        extra->segment_ids[0] = segment1->id;
        extra->segment_ids[1] = segment2->id;
        extra->second_flags = 0;
        // At the head of both segments' lists.
        extra->next_on[0] = segment1->nodes;
        segment1->nodes = extra;
        extra->next_on[1] = segment2->nodes;
        segment2->nodes = extra;

        uint16_t flags = (kind & PSI_LEGACY_KIND_VERTEX) ? PSI_NODE_FLAG_VERTEX : 0;
        if (side) flags |= PSI_NODE_FLAG_ORIENT;
        const unsigned char* order = kPlainOrder[side];
        if (kind & PSI_LEGACY_KIND_OVERLAP) {
            order = kOverlapOrder[first_orientation(psi, segment1, segment2, kind) ? 0 : 1][side];
            extra->second_flags |= PSI_LEGACY_NODE_OVERLAP;
        }
        for (int arm = 0; arm < 4; ++arm) {
            node->next_around[arm] = node;
            node->next_around_idx[arm] = order[arm];
        }
        node->flags[0] = flags;
    }
    segment1->flags |= PSI_LEGACY_SEGMENT_INTERSECTED;
    segment2->flags |= PSI_LEGACY_SEGMENT_INTERSECTED;
}
