// Trochoidal chains: a guide chain turned into a path of small circular loops
// whose centres advance along the guide by a fixed step.
#pragma once

#include <merrow1/export.h>
#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// The trochoidal path of the guide for the width a and the step s, as a new
// chain in the pool, or null.
//
// The loops turn CCW for material RIGHT and CW for material LEFT; their
// radius is rho = a / 2 - s / 4.  Each loop from a centre A to the next
// centre B (d the unit direction A -> B) is a half circle from A - rho d to
// B + rho d followed by a half circle of radius rho about B back to B - rho d;
// where the guide turns, an arc of radius rho about A joins the loops.  An
// open guide starts with a loop from one step before its first centre and
// ends with the forward half circle of a loop one step beyond its last; a
// closed guide gives a closed path.  Arcs of more than 170 degrees are split
// (by their true sweep), so no arc of the result turns more than that.
//
// The centres form the frame: a copy of the guide in the pool reduced to the
// polyline of its loop centres (its ends, its corners of more than 18
// degrees, the ends of its arcs of more than 18 degrees and of its segments
// longer than 5 s, and points in between at most s apart).  The result names
// the frame under key 10 (APP_DATA_STOCKED_FROM) and every result vertex names
// the frame and its centre under key 17; the frame therefore stays in the
// pool and lives as long as the pool.  The result carries key 143 (itself),
// and key 144 (itself) at checking level 1 or more.
//
// Null for a null guide or pool, a guide without vertices, a or s not finite
// or not above 0, a not above s / 2 (or so little above that 2 rho is within
// 2.5e-8, two coincident points), and a guide whose material side is neither
// RIGHT nor LEFT.  When the frame has no tangent at its first vertex
// the result is null; when it has none at its last, the path built so far.
RING_header_s* CHAIN_create_trochoidal_chain(RING_header_s* guide, double a, double s, CMEM_pool_s* pool);

MERROW1_API_END
