// Library-internal: the winding number of a closed chain about a point.
#pragma once

#include <velte/ring.h>

// Winding number of the closed chain about the point p moved off it by an
// infinitesimal step (e, e^3), 0 < e: decided exactly (exact/orient2d) for any
// p, on the chain or off it, by the chords of the chain (crossings of the
// rightward ray) and, for each arc, the region between the arc and its chord
// (the points of its circle on the arc's side of the chord), which the arc
// and the chord back wind about once in the arc's sense.  The circle of an
// arc runs through p when p is one of its ends, else through its start.  The
// segments ending at the `through_p` nodes are taken to run through p itself
// (p found on them by an intersection, within its rounding): a line as if p
// lay on it, an arc's circle through p.
int CHAIN__winding_number_beside(const RING_header_s* closed, const double p[2],
                                 const RING_node_s* const* through_p = nullptr, int through_count = 0);

// One branch of a chain leaving a point: along a segment from its start, or
// back along it from its end.
struct CHAIN__branch_s {
    const double* at;     // the point left
    const double* other;  // a line's far end; null for an arc
    double centre[2];     // an arc's centre
    int turn;             // +1 an arc turning counter-clockwise as it leaves, -1 clockwise, 0 a line
};

// The branch leaving the point `at` of the segment ending at `end_node`
// towards the segment's end (`forward`) or its start; false for a segment of
// no length, an arc without a sense, or a line's far end at `at`.
bool CHAIN__branch_along_segment(const RING_header_s* chain, const RING_node_s* end_node, const double at[2],
                                 bool forward, CHAIN__branch_s* branch);

// The branch leaving the vertex along the segment ending at `end_node` (from
// its start when `from_start`, else back from its end); false for a segment
// of no length or an arc without a sense.
bool CHAIN__branch_of_segment(const RING_header_s* chain, const RING_node_s* end_node, bool from_start,
                              CHAIN__branch_s* branch);

// Exact order of two branches leaving one point, counter-clockwise from the
// direction (1, 0+) just above the positive x axis: -1 when a comes first, 1
// when b does, 0 when they leave with one tangent and one curvature.
int CHAIN__compare_branches(const CHAIN__branch_s& a, const CHAIN__branch_s& b);

// The same order counter-clockwise from the direction (1, 0) itself, the
// order of increasing tangent angle in [0, 2 pi) and then curvature: the
// branches leaving along +x without turning up come first.
int CHAIN__compare_branches_from_axis(const CHAIN__branch_s& a, const CHAIN__branch_s& b);
