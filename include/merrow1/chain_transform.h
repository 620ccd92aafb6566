// Chain transforms: translate, scale, rotate and reflect a chain in place.
//
// The transforms work in the chain's own 2-D coordinates; the CSYS and the
// rest of the chain main data are not touched.  Every vertex point is mapped,
// and an arc's centre with it; the arc's radius is then recomputed as the
// distance from the mapped centre to the mapped end point, so radii stay
// positive under any map.  A cached box (see chain_segments.h) is recomputed
// along its own axis; a chain without one gets none.  Each chain moved is
// handed to the chain debug interface under the function's name.
#pragma once

#include <merrow1/export.h>
#include <quorn/quorn.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Moves a chain by v; for a chain list, every chain of the list that has
// vertices (the list's own cached box is recomputed too).
void CHAIN_translate_chain(RING_header_s* chain_or_list, const Korvo::Math::Vector2* v);
// Scales a chain by s about c (s = -1 is the point reflection through c).
void CHAIN_scale_chain(RING_header_s* chain, double s, const Korvo::Math::Point2* c);
// Rotates a chain counter-clockwise by the angle (radians) about c.
void CHAIN_rotate_chain(RING_header_s* chain, double angle, const Korvo::Math::Point2* c);
// Mirrors a chain about the line through p0 along u (u is used as given and
// must be of unit length).  Every arc's direction flips: CCW becomes CW, any
// other value CCW.  The chain's stored direction and material side are kept
// as they were, so after a reflection they describe the mirrored chain's
// former orientation; callers that need them right set them again.
void CHAIN_reflect_chain(RING_header_s* chain, const Korvo::Math::Point2* p0, const Korvo::Math::Vector2* u);

MERROW1_API_END
