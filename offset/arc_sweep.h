// The sweep of an arc in its own sense, for the offset modules.  Arcs may
// sweep more than a half circle, so the angle is never folded into 0..pi.
#pragma once

#include <merrow1/chain_types.h>
#include <merrow1/segment.h>

namespace merrow1 {

// Pi less one degree: arcs sweeping more are split in two by the offset
// modules.
constexpr double kArcSplitSweep = 3.12413936106985;

// Signed sweep of an arc in its own sense: positive up to a full turn for
// CCW, negative for CW; 0.0 when the centre coincides with an end.
inline double arc_signed_sweep(const SEGMENT& arc) {
    const double sweep = SEGMENT_arc_sweep(&arc);
    return arc.end->direction == CW ? -sweep : sweep;
}

}  // namespace merrow1
