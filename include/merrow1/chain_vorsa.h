// Closed planar chains as bodies of the solid-modelling kernel: a trimmed
// planar sheet bounded by the chains, extruded along the chains' plane normal.
#pragma once

#include <merrow1/export.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// The body of the closed chains of a chain or chain list (open chains and
// points are skipped), in the plane of the first chain, every length times
// `scale`: the sheet extruded by scale x height along the first chain's third
// matrix row, or the sheet itself when |height| <= 1e-10.  With a tolerance,
// arcs are tessellated and fitted within it; when the sheet then fails the
// kernel's body check, it is built again from the union of the chains'
// regions.  The caller owns the body; 0 on failure, with every kernel entity
// made on the way deleted and the error reported to the host.
int CHAIN_CreateExtrudedBody(const RING_header_s* chains, double scale, double height, double* tolerance, bool fit);
int CHAIN_CreateExtrudedBody(const RING_header_s* chains, double scale, double height, double* tolerance);

MERROW1_API_END
