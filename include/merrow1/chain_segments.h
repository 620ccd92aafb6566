// Segments of a chain, boxes and chain placement.
//
// The readers that turn a chain's vertices into SEGMENT records, the boxes of
// chains and chain sets with their cached copy, and the chain-wide values and
// moves other modules ask for: set tolerances, the plane height, origin moves
// and shifts, the copy of one vertex, extending an open chain, and the queries
// that walk all segments (extent along a direction, ray and line distances,
// whether a chain is a circle).
//
// The cached box.  A chain (or a chain list) keeps the box last computed for
// it as header application data under CHAIN_BOX_APP_DATA_KEY, one CHAIN_BOX_s
// in the ring's pool.  It must never describe geometry the chain no longer
// has: every operation that moves, adds or removes vertices either refreshes
// it (CHAIN_refresh_cached_box) or drops it (CHAIN_drop_cached_box).
#pragma once

#include <merrow1/export.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_types.h>
#include <quorn/quorn.h>
#include <velte/ring.h>

#include <vector>

MERROW1_API_BEGIN

struct POINT_ON_CHAIN_s;

// The cached box is header application data under CHAIN_BOX_APP_DATA_KEY
// (app_data_keys.h).

// Box of a chain along an axis: the axis (default (0, 1)), the extent along
// it, and the extent along the axis turned a quarter turn clockwise, that is
// along (y, -x).  With the default axis the first pair is the Y range and the
// second pair the X range.
struct CHAIN_BOX_s {
    double direction[2];
    double min_along, max_along;
    double min_normal, max_normal;
};

// A point on a chain and the vertex whose segment holds it.
struct CHAIN_LOC_s {
    double point[2];
    RING_node_s* vertex;
};

// Which ends ChainExtend extends.
typedef int CHAIN_extension_type_t;
enum { CHAIN_EXTEND_BOTH_ENDS = 0, CHAIN_EXTEND_START = 1, CHAIN_EXTEND_END = 2 };

// ---------------------------------------------------------------------------
// Segments

// The segment that ends at the node: start = the previous node's point, end
// data = the node's geometry (no copy), application data = the node's list,
// type = the node's SEGMENT_TYPE (-1 for unset bits); 1.  A SEG_POINT vertex
// with a vertex before it other than itself (the first vertex of a closed
// chain a caller built with a point there) ends a SEG_LINE from that vertex's
// point: every consumer reads the closing side of such a chain as a line.  The
// first vertex of an open chain gives 0; when it is a SEG_POINT the record is
// still filled as a point segment at the start point.  A null node gives 0
// (note "DUE_TO_VERTEX_BEING_NULL").
int ChainSegment(const RING_header_s* chain, const RING_node_s* node, SEGMENT* out);
// The segment that starts at the node (ChainSegment of the next node); 0 for
// the last vertex of an open chain and for a null node.
int ChainForwardSegment(const RING_header_s* chain, const RING_node_s* node, SEGMENT* out);
// Start, end and middle (chord midpoint, or the centre of an arc) of a segment
// in 3D at the chain's plane height; each output is optional.
void CHAIN_ask_segment_points(const RING_header_s* chain, const SEGMENT* segment, Korvo::Math::Point3* start,
                              Korvo::Math::Point3* end, Korvo::Math::Point3* middle);

// ---------------------------------------------------------------------------
// Boxes

// Box over all segments of the chain (the closing segment of a closed chain
// included) along the direction (null: (0, 1)); stored as the cached box and
// copied to `out` when given; 1.  0 for null (note "DUE_TO_INVALID_INPUT")
// and for chains of fewer than two nodes (nothing stored).
int ChainBox(RING_header_s* chain, const double direction[2], CHAIN_BOX_s* out);
// As ChainBox; each given CHAIN_LOC_s receives the point where that extreme
// is reached and the vertex whose segment holds it.
int ChainBoxWithMinMaxPoints(RING_header_s* chain, const double direction[2], CHAIN_BOX_s* out,
                             CHAIN_LOC_s* min1, CHAIN_LOC_s* max1, CHAIN_LOC_s* min2, CHAIN_LOC_s* max2);
// Union of ChainBox of every chain of the list with at least two nodes,
// stored as the list's cached box and copied out.  A list without such chains
// gives minima 1e7 and maxima -1e7.  0 only for a null list.
int ChainsBox(RING_header_s* list, const Korvo::Math::Vector2* direction, CHAIN_BOX_s* out);
// Box of one segment along the direction (null: (0, 1)), in the layout of a
// chain box (SEGMENT_calc_max_min_box), nothing cached; 1.  0 when the segment
// or `out` is null or the segment has no points.
int SegmentBox(const SEGMENT* segment, const double direction[2], CHAIN_BOX_s* out);
// Moves both minima down by d and both maxima up by d; false for null.
bool CHAIN_offset_box(CHAIN_BOX_s* box, double d);
// Minimum and maximum of the chain along the direction (null: (0, 1)) over the
// forward segments of its vertices, with where they are reached; 0 when no
// segment was read.
int ChainMinMax(const RING_header_s* chain, const double direction[2], double* min, double* max,
                CHAIN_LOC_s* at_min, CHAIN_LOC_s* at_max);

// The cached box of a chain or list, or null.
CHAIN_BOX_s* CHAIN_ask_cached_box(const RING_header_s* ring);
// Removes and frees the cached box of a chain or list (nothing when none).
// Every edit that moves, adds or removes geometry calls it (or refreshes).
void CHAIN_drop_cached_box(RING_header_s* ring);
// Recomputes a cached box along its own axis (a chain with ChainBox, a list
// with ChainsBox); a chain that no longer has a box (fewer than two nodes)
// loses it.  Nothing when there is no cached box.
void CHAIN_refresh_cached_box(RING_header_s* ring);

// ---------------------------------------------------------------------------
// Chain-wide values and moves

// Largest approximation tolerance among the chains of a list (a chain counts
// only with its "set" flag on); a single chain answers for itself; 0.0 for
// null, empty or none set.
double CHAIN_ask_set_tolerance(const RING_header_s* list);
// The length of one unit of the 31-bit uniform integer grid laid over the
// axis box of the data grown for the offset: 0.0 for null or empty data.
double CHAIN_ask_expanded_set_approx_tolerance(RING_header_s* chain_or_list, double offset);
// CHAIN_ask_expanded_set_approx_tolerance with offset 0.0.
double CHAIN_ask_set_approx_tolerance(RING_header_s* chain_or_list);
// Height of the chain's plane: origin . third matrix row (the first chain of a
// list); 0.0 for null or a list without a chain.
double CHAIN_ask_z_value(const RING_header_s* chain_or_list);
// Adds h times the third matrix row to the origin of the chain, or of every
// chain of a list.
void CHAIN_LiftOrigin(RING_header_s* chain_or_list, double h);
// Moves the origin along the plane normal so the plane passes through the point.
void CHAIN_raise_to_point(const RING_header_s* chain, const double point[3]);
// Gives the chain the origin p without moving it in space (vertex points and
// centres are shifted by the old-minus-new origin in plane axes).
void CHAIN_translate_to_point(RING_header_s* chain, const Korvo::Math::Point3* p);
// The vertex point in absolute space: origin + x row1 + y row2.
void CHAIN_ask_vertex_point_abs(const RING_header_s* chain, const RING_node_s* node, double out[3]);
// Appends the absolute point of every vertex (every chain of a list), scaled.
void CHAIN_ask3DPoints(const RING_header_s* chain_or_list, double scale,
                       std::vector<Korvo::Math::Point3>& out);
// Adds distance x direction to every vertex point and arc centre and shifts a
// cached box by the same vector; 0 for null, else 1.
int ChainShift(RING_header_s* chain, const double direction[2], double distance);
// Material side RIGHT <-> LEFT of a chain or every chain of a list.
void CHAIN_flip_material_side_for_set(RING_header_s* chain_or_list);

// ---------------------------------------------------------------------------
// Vertices and extension

// A new vertex record in the destination chain's pool with the source's
// segment type and a copy of its geometry, stored as the destination node's
// data; no application data and no other flag bits.  0 when a node is null.
int ChainVertexCopy(const RING_node_s* from, const RING_header_s* to_chain, RING_node_s* to);
// Extends an open chain by the distance along its end tangents (0 both ends,
// 1 start, 2 end); a closed chain gives 0 (note "DUE_TO_CHAIN_BEING_CLOSED").
int ChainExtend(RING_header_s* chain, double distance, CHAIN_extension_type_t which);

// ---------------------------------------------------------------------------
// Distances along a direction

// Nearest hit of the ray from p along the direction (hits within the chain's
// length tolerance ignored); every hit is appended to `all` when given.
// The distance starts at 1e7; 1 when a hit was found.
int ChainPointRayDistance(RING_header_s* chain, const Korvo::Math::Point2* p, const Korvo::Math::Vector2* direction,
                          double* distance, POINT_ON_CHAIN_s* nearest, RING_header_s* all);
// Nearest hit of the line through p along the direction.
int ChainPointLineDistance(RING_header_s* chain, const Korvo::Math::Point2* p, const Korvo::Math::Vector2* direction,
                           double* distance, POINT_ON_CHAIN_s* nearest);

// Whether a closed chain lies on one circle (centre and radius of its arc of
// longest chord).
bool CHAIN_is_from_a_circle(const RING_header_s* chain, Korvo::Math::Point2* centre, double* radius);

MERROW1_API_END
