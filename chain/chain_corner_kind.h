// The kind of a corner from its two unit tangents: the one rule behind
// ChainCornerType and the corners the offsets join from another vertex.
#pragma once

#include <merrow1/chain_corner.h>
#include <merrow1/chain_types.h>
#include <velte/ring.h>

#include "chain/chain_record.h"

#include <cmath>

namespace merrow1 {

// The kind of corner that the tangent status and the unit tangents a
// (incoming) and b (outgoing) give on the chain: the start or the end of an
// open chain; none without tangents or where the chain doubles back (a . b
// below CHAIN_CORNER_REVERSAL_DOT); smooth where |b x a| is not above
// CHAIN_CORNER_SMOOTH_CROSS; else concave or convex by the turn and the
// chain's material side (none for a side that is neither LEFT nor RIGHT, or
// a chain without main data).  a and b are read only for both tangents.
inline CORNER_TYPE corner_kind(const RING_header_s* chain, CHAIN_tangent_status_t tangents, const double a[2],
                               const double b[2]) {
    switch (tangents) {
    case CHAIN_TANGENT_OUTGOING: return CORNER_TYPE_START;
    case CHAIN_TANGENT_INCOMING: return CORNER_TYPE_END;
    case CHAIN_TANGENT_BOTH: break;
    default: return CORNER_TYPE_NONE;
    }
    if (a[0] * b[0] + a[1] * b[1] < CHAIN_CORNER_REVERSAL_DOT) return CORNER_TYPE_NONE;
    // c = b x a: negative for a turn to the left.
    const double c = a[1] * b[0] - a[0] * b[1];
    if (std::fabs(c) <= CHAIN_CORNER_SMOOTH_CROSS) return CORNER_TYPE_SMOOTH;
    const CHAIN_main_data_s* data = main_of(chain);
    const SIDE side = data ? data->material_side : 0;
    // A turn to the right (c > 0) puts the offset side of LEFT material inside
    // the turn; a turn to the left does so for RIGHT material.
    if (c > 0.0) return side == LEFT ? CORNER_TYPE_CONCAVE : side == RIGHT ? CORNER_TYPE_CONVEX : CORNER_TYPE_NONE;
    return side == RIGHT ? CORNER_TYPE_CONCAVE : side == LEFT ? CORNER_TYPE_CONVEX : CORNER_TYPE_NONE;
}

}  // namespace merrow1
