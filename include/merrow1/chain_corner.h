// Vertex tangents, bisectors and corner types.
//
// The local shape of a chain at a vertex: the unit tangents of the segment
// that arrives at it and of the segment that leaves it, the bisector of the
// corner with its opening angle, and the kind of corner.  Offsets, fillets and
// cleaning ask these questions at every corner.
//
// Sides of a corner.  With material on the RIGHT the offset side of a chain
// is its left; the bisector points to the offset side (away from the
// material) and the corner angle is the opening between the two segments on
// that side: pi for a straight run, below pi where the chain turns towards
// the offset side, above pi where it turns away from it.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_types.h>
#include <quorn/quorn.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Which tangents exist at a vertex.
typedef int CHAIN_tangent_status_t;
enum {
    CHAIN_TANGENT_NONE = 0,
    CHAIN_TANGENT_OUTGOING = 1,  // only the segment that leaves the vertex (start of an open chain)
    CHAIN_TANGENT_INCOMING = 2,  // only the segment that arrives (end of an open chain)
    CHAIN_TANGENT_BOTH = 3,
};

// Kind of corner at a vertex.  Concave: the offset side lies inside the turn
// (a RIGHT-material chain turning left); convex: it lies outside.
typedef int CORNER_TYPE;
enum {
    CORNER_TYPE_NONE = 0,     // no tangent, a reversal, or no material side
    CORNER_TYPE_START = 1,    // outgoing tangent only
    CORNER_TYPE_END = 2,      // incoming tangent only
    CORNER_TYPE_CONCAVE = 3,
    CORNER_TYPE_CONVEX = 4,
    CORNER_TYPE_SMOOTH = 5,   // tangent-continuous
};

// Thresholds on the unit tangents a (incoming) and b (outgoing).
constexpr double CHAIN_CORNER_REVERSAL_DOT = -0.995;  // a . b below it: the chain doubles back
constexpr double CHAIN_CORNER_SMOOTH_CROSS = 0.0001;  // |a x b| not above it: smooth

// Unit tangents at the vertex: `in` of the segment ending there (at the vertex
// point), `out` of the segment starting there (at its start), and each
// segment's curvature (optional; 1/r CCW, -1/r CW, 0 for lines).  A side that
// cannot be read (no segment, zero length) is zeroed with curvature 0.0.
CHAIN_tangent_status_t ChainVertexTangent(const RING_header_s* chain, const RING_node_s* node, double in[2],
                                          double out[2], double* in_curvature, double* out_curvature);
// One tangent for the vertex: the incoming or outgoing one when only that
// exists, else in + out unit-ised with the tolerance (the unitize result is
// returned).  0 for null input or no tangent.
int CHAIN_get_combined_vertex_tangent(const RING_header_s* chain, const RING_node_s* node, double tolerance,
                                      Korvo::Math::Vector2* out);
// Tangents at a place: a vertex place as ChainVertexTangent; a place inside a
// segment gives that segment's tangent there as both and status 3.  Failure
// (or a place without chain) gives 0 with both zeroed.  Outputs may be null.
CHAIN_tangent_status_t CHAIN_point_tangent(const POINT_ON_CHAIN_s* place, Korvo::Math::Vector2* in,
                                           Korvo::Math::Vector2* out);

// Unit bisector of the corner towards the offset side and the corner angle
// (optional; see the header comment).  A reversal takes one of the tangents
// as bisector with angle 0 or 2 pi, chosen by the curvatures: tangents that
// reverse within the length tolerance, or segments nearly reversed (corner
// type 0) that bend across each other so near the vertex that the sliver
// between them is no wider than that tolerance.  The first (last) vertex of
// an open chain gives the normal of its one tangent, angle 0.
// 0 (note "DUE_TO_INVALID_INPUT") for null input, 0 for a vertex without
// tangents and for an inner vertex with only one; else 1.
int ChainVertexBiSector(const RING_header_s* chain, const RING_node_s* node, double bisector[2], double* angle);
// The bisector at a place: a vertex place as ChainVertexBiSector; a place
// inside a segment gives the segment's normal towards the offset side and the
// angle pi.  0 for null input (note "DUE_TO_INVALID_INPUT") or an unreadable
// segment.
int PointOnChainBiSector(const POINT_ON_CHAIN_s* place, double bisector[2], double* angle);

// Kind of corner at the vertex (CORNER_TYPE values).
CORNER_TYPE ChainCornerType(const RING_header_s* chain, const RING_node_s* node);

// Whether the vertex is a split vertex between two source chains (a junction
// marked with key 14 whose provenance links lead to two sources), and where
// it meets them.  The vertex needs both
// tangents and, unless it is a fillet vertex (flag bit 28), a real corner (a
// tangent dot product not above CHAIN_SPLIT_VERTEX_MAX_DOT).  With one source
// chain for both sides (not a fillet vertex) the two places bound the vertex
// point on that chain against its reversed bisector (ChainPointRegion);
// otherwise they are its nearest places on the back and forward source
// chains.  `sources` (may be null) limits the source search to a chain set.
// False for null input or when a step fails.
constexpr double CHAIN_SPLIT_VERTEX_MAX_DOT = 0.9962;
bool ChainVertexIsSplitVertex(const RING_header_s* chain, const RING_node_s* node, const RING_header_s* sources,
                              POINT_ON_CHAIN_s* on_first, POINT_ON_CHAIN_s* on_second);

MERROW1_API_END
