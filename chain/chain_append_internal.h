// Declarations shared by the appenders and the readers and conversions that
// build chains vertex by vertex.
#pragma once

#include <merrow1/chain_debug.h>
#include <merrow1/chain_types.h>
#include <velte/ring.h>

// The sense an appended arc from `start` to the arc's end about its centre
// takes: CCW or CW by the side of the turn from start to end about the centre
// when that is clear, 0 when it is not (a half circle, or an end at the
// centre within the chain's length tolerance).  An arc longer than a half
// circle gets the sense opposite to its own.
int CHAIN__arc_sense_from_ends(const RING_header_s* chain, const double start[2], const end_segment& arc);

// Fits an arc vertex to its start (the previous vertex's point) as the
// appenders do: the direction follows the side of the turn from start to end
// about the centre when that is clear, the radius becomes the distance from
// the centre to the end, and a centre not equidistant from the ends moves
// onto the chord's bisector (on the left for CCW, the right for CW).  Nothing
// for other vertices, a vertex without a previous one, or missing geometry.
void CHAIN__fit_arc_to_start(const RING_header_s* chain, RING_node_s* node);

namespace merrow1 {

// The debug hand-off of every builder: code 3 with the chain it returns.
inline RING_header_s* hand_off(const char* label, RING_header_s* chain) {
    CHAIN_debug_report(3, label, chain, nullptr);
    return chain;
}

}  // namespace merrow1

// A new vertex after `after` in the chain's pool: a vertex record with the
// segment-type bits of `type`, all else zero, whose geometry is the whole end
// record for an arc and its end point (x, y) for any other type.  Null when
// the pool or the ring refuses it (nothing of it is left behind).  The cached
// box and the arc's fit are the caller's.
RING_node_s* CHAIN__insert_vertex_after(RING_header_s* chain, RING_node_s* after, SEGMENT_TYPE type,
                                        const end_segment& end);
