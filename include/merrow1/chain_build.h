// Building, closing and opening chains.
//
// The appenders add vertices at the end of an open chain, insert vertices into
// a segment, move a vertex, close a chain (merging ends that meet or adding a
// closing line) and open a closed one.  All records are made in the chain's
// own pool.
//
// Rules every appender keeps:
// - Two points are one when their squared distance is not above
//   CHAIN_COINCIDENT_SQUARED_DISTANCE (2.5e-8 squared, the double just below).
// - An arc whose radius is not above CHAIN_MIN_ARC_RADIUS is stored as a line.
// - Arcs span at most a half circle: an appended arc takes its direction from
//   its centre, start and end, and a centre that is not equidistant from both
//   ends is moved onto the chord's bisector.
// - Geometry edits drop the chain's cached box (see chain_segments.h).
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_types.h>
#include <quorn/quorn.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

const double CHAIN_COINCIDENT_DISTANCE = 2.5e-8;
const double CHAIN_COINCIDENT_SQUARED_DISTANCE = 6.249999999999999e-16;
const double CHAIN_MIN_ARC_RADIUS = 2.5e-8;

// Appends a vertex ending at `end` (only the point is read for SEG_POINT and
// SEG_LINE; an arc also gives centre, radius and direction) and returns its
// node.  Null for a null or closed chain, a SEG_POINT after the first vertex,
// and for an end that coincides with the last vertex (unless
// allow_coincident): then the last vertex is moved onto it instead (chains of
// two or more nodes).
RING_node_s* ChainAppendVertexGeneral(RING_header_s* chain, const end_segment* end, SEGMENT_TYPE type,
                                      int allow_coincident);
// The general appender without coincident vertices; the type is used as given,
// also for the first vertex of an empty chain.
RING_node_s* ChainAppendVertex(RING_header_s* chain, const end_segment* end, SEGMENT_TYPE type);
// As ChainAppendVertex, but the first vertex of an empty chain is a SEG_POINT.
RING_node_s* ChainAddVertex(RING_header_s* chain, const end_segment* end, SEGMENT_TYPE type);
// Appends a whole segment, joined to the chain's end; 1 when the node count
// grew.  May rewrite the start point of the caller's segment.  The new end
// vertex gets its own copy of the segment's application data.
int ChainAddSegment(RING_header_s* chain, SEGMENT* segment);

// Splits the segment ending at the node at the point; returns the new vertex,
// or the existing vertex when the point coincides with an end of the segment
// (the inserted flag then stays false); null when there is no such segment.
RING_node_s* CHAIN_insert_vertex(RING_header_s* chain, RING_node_s* node, const Korvo::Math::Point2* point,
                                 void (*callback)(const RING_header_s*, RING_node_s*), bool* inserted);
// CHAIN_insert_vertex without callback and flag.
RING_node_s* ChainInsertVertex(RING_header_s* chain, RING_node_s* node, const double point[2]);
// Inserts a vertex (CHAIN_insert_vertex with the callback) at every point
// where the chain crosses or touches the chains of the list (which may hold
// the chain itself), in chain order; points at vertices add nothing.  Works
// in a private pool; an error on the way deletes it and passes on as
// Korvo::Error::Severe.
void CHAIN_insert_list_intersection_points_into_chain(RING_header_s* chain, const RING_header_s* chain_list,
                                                      void (*callback)(const RING_header_s*, RING_node_s*));

// Moves a vertex to the point (an arc keeps the direction of its start
// tangent); a following arc is re-centred to its moved start.
void CHAIN_modify_vertex_point(const RING_header_s* chain, const RING_node_s* node,
                               const Korvo::Math::Point2* point);

// Closes an open chain: ends within the tolerance (at least 2.5e-8) are
// merged, otherwise the first vertex becomes a closing line.  The direction
// becomes the chain's computed orientation.
void CHAIN_close(RING_header_s* chain, double tolerance);
// Closes the chain when its ends lie within the tolerance (at least 2.5e-8);
// true when the chain is closed afterwards.
bool CHAIN_close_within_tol(RING_header_s* chain, double tolerance);
// Closes by dropping the first vertex, with no distance test and no geometry
// change.
void CloseChainVertex(RING_header_s* chain);
// Opens a closed chain at the node (null: the first node): the chain then
// starts with a new SEG_POINT at the node's point and ends at the node.
void CHAIN_open(RING_header_s* chain, RING_node_s* node);

MERROW1_API_END
