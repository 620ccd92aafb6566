// Module-internal: the check a public entry makes of the chains it is given,
// once, before any work, so that nothing downstream meets a vertex it cannot
// compute with or a ring of the wrong kind.
#pragma once

#include <merrow1/chain_types.h>
#include <velte/ring.h>

#include <cmath>

// Whether the vertex data can be computed with: the end point finite, and for
// an arc also its centre and radius.
inline bool CHAIN__end_is_finite(const end_segment& end, SEGMENT_TYPE type) {
    return std::isfinite(end.x) && std::isfinite(end.y) &&
           (type != SEG_ARC || (std::isfinite(end.cx) && std::isfinite(end.cy) && std::isfinite(end.radius)));
}

// What CHAIN__input_usable checks besides finite vertices (bits).
enum CHAIN_input_check_t : unsigned {
    CHAIN_INPUT_FINITE = 0,  // every vertex point, arc centre and radius is finite
    CHAIN_INPUT_LIST = 1,    // the ring is a chain list, not a chain
    // Every chain of it is closed (a region chain).  The region booleans
    // need it whatever they offset: the polygon-set intersection prepares the
    // region sets from the chains as they come, and an open one there is an
    // internal error.
    CHAIN_INPUT_CLOSED = 2,
};

// True when the chain, or every chain of the list, passes the checks.  A
// failure answers false and, at checking level 1 or more, notes "Assertion
// failed: <reason> (<entry>: chain <k>, vertex <n>)" (positions counted from
// 1; no chain position for a single chain, no vertex for a whole chain):
// DUE_TO_VERTEX_NOT_FINITE, DUE_TO_ARC_END_OFF_CIRCLE (an arc vertex one of
// whose ends lies farther than the host length tolerance off the circle of
// its stored centre and radius) or DUE_TO_CHAIN_BEING_OPEN (any open chain
// with a vertex, a lone start point too, where a closed one is needed); a
// chain given where a list belongs gets the list entries' plain
// "DUE_TO_INVALID_RING_TYPE".  A vertex without geometry or type gets the
// readers' plain "DUE_TO_VERTEX_WITHOUT_GEOMETRY".  A null ring passes: the
// entry's own rule for missing input applies.
bool CHAIN__input_usable(const RING_header_s* chain_or_list, const char* entry, unsigned checks);

// True when an offset of the chain by offset keeps its computations in
// range: every squared distance between points of the chain moved by the
// offset stays a finite double.  Otherwise notes, at checking level 1 or
// more, "Assertion failed: DUE_TO_OFFSET_OUT_OF_RANGE (<entry>)" and answers
// false.  The offset itself and the vertices are taken as finite.
bool CHAIN__offset_in_range(const RING_header_s* chain, double offset, const char* entry);
