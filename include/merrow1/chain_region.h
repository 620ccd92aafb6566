// Point regions: the stretch of a chain that bounds a point along a direction.
#pragma once

#include <merrow1/chain_part.h>
#include <velte/ring.h>

// The part of the chain between the nearest chain point to p (not wholly
// behind p along d) and the nearest one on the other side of the line through
// p along d.  On a closed chain the part is then turned to the stretch that
// the ray from p along d crosses.  `part` must point at two place records to
// fill.  0 when p lies on the chain (within max(host length tolerance, 1.5 x
// the chain's approximation tolerance)), when either place is missing, or on
// bad input; else 1.
int ChainPointRegion(RING_header_s* chain, const double p[2], const double d[2], PART_OF_CHAIN_s* part);
