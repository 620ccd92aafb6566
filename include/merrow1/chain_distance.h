// Point-to-chain distances.
//
// Segments are visited from the first vertex's successor on; on a closed
// chain the last one visited is the closing segment.  A chain may name its
// turning vertex (header application data CHAIN_APP_DATA_TURNING_VERTEX, a
// there-and-back chain): the searches then stop after the segment that ends
// there, so only the outward half is searched.
#pragma once

#include <merrow1/export.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_types.h>
#include <quorn/quorn.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Distance from the point to the chain, with the nearest place (may be null).
// The first of equal distances is kept.  A chain of one vertex answers the
// distance to its point (place at that vertex, parameter 0).  0.0 for a null
// chain or point or a chain without nodes; 1e7 when no segment can be read.
double ChainPointMinDistance(const RING_header_s* chain, const double point[2], POINT_ON_CHAIN_s* nearest);

// Chain tolerance of the queries below, unless a call gives one: the chain's
// length tolerance when above 0, else the host length tolerance.

// Distance from the point to the segment ending at the vertex, with the
// closest point (may be null).  0.0 for a null argument or a chain of fewer
// than 2 vertices.
double ChainSegPointMinDistance(const RING_header_s* chain, const RING_node_s* vertex, const Korvo::Math::Point2& point,
                                Korvo::Math::Point2* closest);
// Smallest ChainPointMinDistance over the chains of the set (chains without
// vertices passed over), with its place (may be null); a strictly smaller
// distance replaces the best.  1e7 for a null, empty or chainless set.
double ChainsPointMinDist(const RING_header_s* set, const double point[2], POINT_ON_CHAIN_s* nearest);
// The same; 0.0 for a null set or point or a set without nodes.
double ChainsPointMinDistance(const RING_header_s* set, const double point[2], POINT_ON_CHAIN_s* nearest);

// Segment filter of the nearest-point searches: the chain and the vertex
// whose segment is asked about.
typedef bool (*CHAIN_segment_filter_t)(const RING_header_s* chain, const RING_node_s* vertex);

// Distance over the segments the callback does not skip (null: none
// skipped).  A later segment replaces the best only when it is nearer by at
// least the chain tolerance.  0.0 for a null or empty chain, and when a
// segment cannot be read.
double CHAIN_find_point_min_dis(const RING_header_s* chain, const double point[2], CHAIN_segment_filter_t skip,
                                POINT_ON_CHAIN_s* nearest);
// Distance over the segments the callback keeps (null: all), by the same
// tolerance rule; unreadable segments are passed over.  1e7 for a null or
// empty chain.
double CHAIN_find_point_min_dis(const RING_header_s* chain, const Korvo::Math::Point2& point,
                                CHAIN_segment_filter_t keep, POINT_ON_CHAIN_s* nearest);
// The first form of CHAIN_find_point_min_dis on a chain, or the strictly
// smallest over the chains of a list (chains without vertices passed over);
// 1e7 for an empty list.
double CHAIN_min_dist_point(const RING_header_s* chain_or_list, const double point[2], CHAIN_segment_filter_t skip,
                            POINT_ON_CHAIN_s* nearest);

// Distance to the nearest segment whose line or circle has the point's foot
// on the segment (not beyond either end); a later segment replaces the best
// only when nearer by the chain tolerance, and the search stops once the
// distance is within the tolerance of 0.  The place is at the foot (at the
// start vertex when the foot is the segment's start).  1 when some segment
// had the foot on it; 0 for null input or an unreadable segment.
int ChainPointNormalDistance(const RING_header_s* chain, const double point[2], double* distance,
                             POINT_ON_CHAIN_s* nearest);

// Distance to the chain, negative when the point lies off the chain's
// material side; a point within the chain tolerance of the chain, on the
// tangent line, or against a chain without material side gets the plain
// distance.  0.0 for a null or empty chain.
double ChainPointSignedDist(const RING_header_s* chain, const double point[2], POINT_ON_CHAIN_s* nearest);

// Distance to the segments of the set's chains stocked from the source chain
// (ChainSegmentStockedFrom), with the closest point (may be null).  1e7 when
// there is none.
double ChainsPointSourceMinDist(const RING_header_s* set, const RING_header_s* source, const double point[2],
                                Korvo::Math::Point2* closest);

// Where a point or chain lies against a closed chain.
typedef int CHAIN_LOCATION;
enum { CHAIN_LOCATION_ON = 0, CHAIN_LOCATION_INSIDE = 1, CHAIN_LOCATION_OUTSIDE = 2 };

// Location of the first chain against the closed second chain: 0 on, 1
// inside, 2 outside.  The tolerance: the given one alone; otherwise 1.5 times
// the sum of the chains' approximation tolerances (a chain's set
// approximation tolerance when its own is unset or below 1e-10), at least
// the first chain's length tolerance (the host's when unset) and 2.5e-8, and
// tried at 100, 10 and 1 times that.  At each step the midpoint of every
// segment of the first chain (its point for a single vertex) is located
// (ChainPointLocation); the first answer other than on is the result.  An
// open chain lying on throughout is on; a closed one is settled by region
// booleans in the scratch pool "ChainChainLocation": part of it outside the
// closed chain's region 2, the closed chain reaching beyond it 1, else 0.
// The region fields of both chains (region-set id, implied-offset word and
// value, material side) come back on every path.  -1 when the second chain
// is not closed, and for a null or empty chain; 0 for the chain itself.
CHAIN_LOCATION ChainChainLocation(const RING_header_s* chain, RING_header_s* closed, const double* tolerance);


// Location of the point against the closed chain: 0 on it (within the
// tolerance: the given one, else the chain tolerance), 1 inside, 2 outside,
// whatever the chain's direction and material side (a chain with a stored
// direction answers by it).  A point outside the chain's box widened by the
// tolerance (1e-8 without one) is 2 at once; a chain whose box has no width
// answers 0 inside its box.  Otherwise a ray from the point is split against
// the chain in the scratch pool "CHAIN-ChainPointLocation-" (a ray that only
// touches the chain, at a vertex or on an arc, is turned until it crosses
// cleanly); errors pass as Korvo::Error::Severe after the pool is freed.
CHAIN_LOCATION ChainPointLocation(RING_header_s* chain, const double point[2], const double* tolerance);

// Side of the chain the point lies on: RIGHT, LEFT, 2 on the chain (within
// the chain tolerance; 1e-8 for a closed chain), 0 for a null or empty chain.
// An open chain answers by its nearest segment; a closed one by the location
// of the point and its material side (0 for side 0).
SIDE ChainPointSide(RING_header_s* chain, const double point[2]);

// Radius of the largest circle through P with its centre at P + r D (D a
// unit direction) that stays clear of the segments of a chain, or of the
// chains of a list in order; never above the bound (null: 1e19).  A zero or
// non-finite direction, or a bound below 0 or NaN, answers 0.0 (note
// "DUE_TO_INVALID_DATA" under checking).
double CHAIN_min_loop_through_point(const RING_header_s* chain_or_list, const Korvo::Math::Point2& p,
                                    const Korvo::Math::Vector2& d, const double* bound);

// The node of the list whose chain's first vertex lies nearest the point
// (the chain at z = 0), the first on ties; a one-chain list gives its node.
// Null for a plain chain, an empty list or null.
RING_node_s* CHAIN_find_chain_starting_nearest_point(const RING_header_s* list, const Korvo::Math::Point3& point);

// After a vertex was inserted at a place strictly inside a segment, the
// places of that chain in the intersection-point list are renumbered: places
// on the split segment move onto the new vertex or the half before or after
// it, places on later segments move one segment on; the rest stay.
void CHAIN_update_ptonchain_in_intpoint_list(RING_header_s* list, const POINT_ON_CHAIN_s* at, RING_node_s* new_vertex);

// ---------------------------------------------------------------------------
// Directional distances

// Angle of the vector in [0, 2 pi): atan2(y, x), plus 2 pi when negative; a
// value within 1e-5 of 2 pi is 0.0.
double ChainVectorCircularParameter(const double v[2]);

// Direction modes of the distances below: 0 along the whole line through the
// point, 1 along the ray in the direction, -1 along the ray against it.

// Nearest hit over the chains of the set along the direction from the point:
// per chain the line distance (mode 0; unsigned, the nearer side), the ray
// distance (mode 1 and any mode other than 0 and -1) or the ray distance
// against the direction (mode -1), each counting both crossings of an arc
// and ignoring hits within the chain's tolerance of the point; a chain's hit
// replaces the best only when nearer by more than the host length tolerance.
// The distance starts at 1e7; every hit goes to `all` when given (ray modes).
// 1 when a chain was hit.
int ChainsPointDirectDis(const double point[2], RING_header_s* set, const double direction[2], int mode,
                         double* distance, POINT_ON_CHAIN_s* nearest, RING_header_s* all);

// Signed distance d = (hit - point) . direction to the chain's segments
// along the line through the point (both crossings of an arc count; a segment
// running along the direction, or holding the point, gives no hit).  The
// point must lie strictly inside the chain's extent across the direction
// (widened by 1e-8).  Mode 0 and mode -1 keep the smallest signed hit (mode -1
// only hits below minus the host length tolerance, so the one farthest behind
// the point); mode 1 keeps the nearest hit ahead beyond that tolerance; other
// modes take nothing.  The distance starts at 1e7; 1 when a hit was taken.
int ChainPointDirectDistance(RING_header_s* chain, const double point[2], int mode,
                             const Korvo::Math::Vector2& direction, double* distance, POINT_ON_CHAIN_s* nearest);

// Where a tool leaving the chain at the place along its clearing direction
// first meets the set.  The clearing direction: the bisector towards the
// offset side inside a segment; at a corner the incoming tangent (mode other
// than 1) or the reversed outgoing tangent (mode 1) when it points into the
// offset side's opening, else the corner bisector.  The answer is the place's
// own point when the own chain and the set are met at the same distance, the
// set's hit when the set is met first (or only), else the nearest point of
// the set.  1 with a point; 0 for a null place, set or output, when no
// clearing direction exists, or when the set has no vertices to be near.
int ChainClearPoint(const POINT_ON_CHAIN_s* place, int mode, RING_header_s* set, Korvo::Math::Point2* out);
// Largest distance from the point to the chain (0.0 for a null or empty
// chain), with the farthest point (may be null): the segments' ends and, on an
// arc, the points of its circle on the line through P and the centre that lie
// strictly inside the arc.  Of equal distances the first is kept.
double CHAIN_maximum_distance_to_chain(const RING_header_s* chain, const Korvo::Math::Point2& p,
                                       Korvo::Math::Point2* farthest);

MERROW1_API_END
