// Points and parts of chains, vertex copies and approximation.
//
// A place on a chain (POINT_ON_CHAIN_s) and a stretch between two places
// (PART_OF_CHAIN_s) are how the chain algorithms pass positions around:
// intersection lists, split pieces, trimming and distances.
//
// Chain parameters.  Segment k is the segment that ends at the k-th vertex
// after the first; a place on it at fraction t has parameter k - 1 + t, so
// the start point of an open chain is 0.0 and the end of segment k is k.0.
// On a closed chain the start point is the end of the last segment and still
// gets 0.0.  A part of a closed chain may end above the vertex count: it then
// runs through the start point.
#pragma once

#include <merrow1/export.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_types.h>
#include <quorn/quorn.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// A place on a chain.
struct POINT_ON_CHAIN_s {
    double point[2];
    double parameter;
    RING_header_s* chain;
    // At a vertex: that vertex's node; inside a segment: the node whose
    // segment holds the point.
    RING_node_s* node;
    // 0 when the point is the vertex of the node, 1 when it lies strictly
    // inside the node's segment.
    int inside;
};

// A stretch of one chain between two places.  The records belong to whoever
// made them; the part only points at them.
struct PART_OF_CHAIN_s {
    POINT_ON_CHAIN_s* start;
    POINT_ON_CHAIN_s* end;
};

// ---------------------------------------------------------------------------
// Places

// Fills the place at fraction t of the k-th segment (the one ending at node).
// A fraction at or within 1e-8 of an end whose point lies within squared 1e-16
// of the given point snaps to that vertex.  1.
int PointOnChainCreate1(RING_header_s* chain, RING_node_s* node, int k, double t, const double point[2],
                        POINT_ON_CHAIN_s* out);
// The place of a point known to lie on the segment ending at node; k may be 0,
// then it is found by walking the chain.  The first node of an open chain is
// the start (parameter 0.0).  0 for a null chain, node or output, or a node
// that is not in the chain.
int PointOnChainCreate(RING_header_s* chain, RING_node_s* node, int k, const double point[2],
                       POINT_ON_CHAIN_s* out);
// Parameters of equal places differ by at most this (PointOnChainEq).
constexpr double POINT_ON_CHAIN_PARAMETER_SLACK = 1e-8;
// Same node, points within squared distance 1e-16, parameters within
// POINT_ON_CHAIN_PARAMETER_SLACK (|a - b| computed as fabs(a - b)).
bool PointOnChainEq(const POINT_ON_CHAIN_s* a, const POINT_ON_CHAIN_s* b);
// A place inside a segment that lies within tol of the vertex its parameter
// rounds to (an exact half rounds down) becomes that vertex.
void PointOnChainSnapToVertex(POINT_ON_CHAIN_s* place, double tol);

// ---------------------------------------------------------------------------
// Parts

// Makes the part from start to end: stores the two pointers; an end below the
// start by more than 1e-10 is raised by the vertex count on a closed chain
// (0 on an open one); a start at a vertex moves to the next node, the node
// whose segment the part begins on (0 when there is none).  Only the two
// records given are written.  0 as well for places on different chains.
int CreatePartOfChain(PART_OF_CHAIN_s* out, POINT_ON_CHAIN_s* start, POINT_ON_CHAIN_s* end);
// Length of the part, arcs by their true sweep; 0.0 for an empty chain or an
// unreadable segment.
double CHAIN_length_of_part_of_chain(const PART_OF_CHAIN_s* part);
// Appends the part to the (empty) output chain: the output takes the source's
// main data with direction 0, a SEG_POINT at the start point, then copies of
// the part's vertices with their application data, the last one ending at the
// end point.  0 for places on different chains, else 1.
int PartOfChainToChain(const PART_OF_CHAIN_s* part, RING_header_s* out);
// Smallest (largest) distance from the point to the part, with the place where
// it is reached (may be null).  1e7 (0.0) when the part has no segment.
double PartOfChainPointMinDis(const PART_OF_CHAIN_s* part, const double point[2], POINT_ON_CHAIN_s* nearest);
double PartOfChainPointMaxDis(const PART_OF_CHAIN_s* part, const double point[2], POINT_ON_CHAIN_s* farthest);

// The point at a chain parameter; false for a parameter below 0 or above the
// segment count.
bool ChainGetParamPoint(const RING_header_s* chain, double parameter, Korvo::Math::Point2* out);

// Sets the direction of every chain of the list to its computed orientation.
void ChainsDirection(const RING_header_s* list);

// ---------------------------------------------------------------------------
// Vertex application data

// Copies a vertex's source description, source links and shared references to
// another vertex (new data in the destination chain's pool; owned records are
// duplicated, shared ones referenced), then lets the host interpolate the rest
// from the destination's neighbours.  A source node without a vertex record
// reads as flag word 0 and source surface 0.  0 for a null node, else 1.
int ChainVertexAppCopy(const RING_node_s* from, const RING_header_s* to_chain, RING_node_s* to);
// Strips the source description from a vertex: keys 74 and 266 removed (data
// left alone), keys 17, 20 and 1 freed and removed, the source bits cleared
// with the inherited-source bit set, the source surface 0 and the boundary,
// close-by-reverse, vertex, embedded, fillet and back-side marks cleared.
void CHAIN_RemoveSegAppData(RING_node_s* vertex);

// ---------------------------------------------------------------------------
// Approximation

// Line approximation of the chain into the (empty) output chain.  Runs of
// vertices whose points and segments stay within tol of the line from an
// anchor vertex to a later one, and that share one source description, become
// that line; arcs and vertices that fit no line are kept as they are.  The
// output is an APPROX_CHAIN (direction 0 until closed) naming its input under
// header key 10; every output vertex carries the source description of the
// vertex it stands for and a key-17 link to it.  A closed input gives a closed
// output; when that output's loop type (material inside: CW with RIGHT, CCW
// with LEFT) differs from the input's, taken from the input's computed
// direction, or when the output intersects itself, the output is emptied with
// a note.  1 when the output has at least two vertices, else 0.
int ChainApprox(RING_header_s* chain, double tol, RING_header_s* out);

// The vertex copies read CHAIN_APP_DATA_TRACE_VERTEX (owned),
// CHAIN_APP_DATA_SEGMENT_SOURCE and CHAIN_APP_DATA_SEGMENT_DATA (shared; see
// app_data_keys.h).

MERROW1_API_END
