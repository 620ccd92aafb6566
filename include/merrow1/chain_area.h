// Chain areas, centroids, directions and shape tests.
//
// Signs: the area of a closed chain is positive when it runs counter-clockwise
// and negative when it runs clockwise; an arc sweeps a positive angle when CCW
// and a negative one when CW.  Segments are visited from the first vertex's
// successor on.  The tolerance e below is the host length tolerance and a the
// chain's approximation tolerance (0 when it has none).
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_types.h>
#include <quorn/quorn.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Signed area of a closed chain of two or more vertices, 0.0 otherwise (the
// centroid then untouched).  The centroid (may be null) is the area centroid;
// when |area| <= e^2 (an area is a length squared) it is the curve centroid
// and the result 0.0.
double CHAIN_chainArea_chainCentroid(const RING_header_s* chain, double centroid[2]);
// CCW for a positive area, CW for a negative one, 0 for zero area or an open chain.
DIRECTION CHAIN_direction_of_chain(const RING_header_s* chain);
// Total area of a chain set, each chain's area negated when its material side
// is RIGHT, and the area-weighted centroid (may be null).  An open chain, or a
// total within e^2 of 0, answers 0.0 with the centroid (0, 0).
double CHAIN_area_centroid(const RING_header_s* set, Korvo::Math::Point2* centroid);
// The absolute value of CHAIN_area_centroid.
double CHAIN_chainsArea_chainsCentroid(const RING_header_s* set, Korvo::Math::Point2* centroid);
// Total length of a chain or chain set with its curve centroid (may be null).
double CHAIN_perimeter_and_centroid(const RING_header_s* chain_or_set, Korvo::Math::Point2* centroid);

// Midpoint of the longest segment (all, arcs only, lines only; the first of
// equal lengths) as a place at local parameter 0.5; 1 when its length is above 0.
int CHAIN_midpoint_of_longest_segment(const RING_header_s* chain, POINT_ON_CHAIN_s* out);
int CHAIN_midpoint_of_longest_arc_segment(const RING_header_s* chain, POINT_ON_CHAIN_s* out);
int CHAIN_midpoint_of_longest_linear_segment(const RING_header_s* chain, POINT_ON_CHAIN_s* out);
// End vertex of the longest line, with its unit tangent and length (each may
// be null); null when the chain has no line.
RING_node_s* CHAIN_vertex_of_longest_linear_segment(const RING_header_s* chain, Korvo::Math::Vector2* tangent,
                                                    double* length);
// Unit tangent and length (may be null; 0.0 when none) of the longest line over
// the chains of a set; 1 when found.
int CHAIN_direction_of_longest_linear_segment(const RING_header_s* set, Korvo::Math::Vector2* tangent,
                                              double* length);

// 1 when the closed chain bounds a convex region (within the chain's
// approximation tolerance), else 0.
int CHAIN_bounded_region_is_convex(const RING_header_s* chain);
// Whether every chain of the set turns smoothly (within the angle tolerance in
// radians) between its segments of host geometry types 1 and 4.
bool CHAIN_check_if_set_smooth(const RING_header_s* set, double angle_tolerance);

// The two extreme tangents from P to the chain: point 1 and direction 1 at the
// largest angle seen from P, point 2 and direction 2 at the smallest, and the
// angle between them.  0 when P is inside, the chain has no area or no clear
// reference direction from P exists.
int CHAIN_find_tangents_to_chain(const RING_header_s* chain, const Korvo::Math::Point2* p,
                                 Korvo::Math::Vector2* direction1, Korvo::Math::Point2* point1,
                                 Korvo::Math::Vector2* direction2, Korvo::Math::Point2* point2, double* angle);

// The point half way along the chain; returns half the perimeter.
double CHAIN_distance_to_mid_point_of_chain(const RING_header_s* chain, Korvo::Math::Point2* out);

// An interior centre of a region: the region (a chain set whose first chain
// bounds it with the material outside and whose further chains are islands
// with the material inside, all closed, each with a material side) is shrunk
// by repeated inward region offsets, a quarter of the first chain's smaller
// box side at first and a tenth of the step after each step stops
// succeeding, down to 1e-6.  Of the last region's first chain, its area
// centroid or its curve centroid, whichever lies in the given region and
// farther from that chain, is the centre.  1 with the point, or 0 (out
// untouched) when the set breaks these rules, has no area, or neither point
// lies in the region.  Errors pass on as Korvo::Error::Severe.
int CHAIN_center_of_region(const RING_header_s* region, Korvo::Math::Point2* out);
// The centre of the region a closed chain bounds (its material side taken as
// outside, whatever it is), with the distance from the centre to the chain
// (may be null).  0 for an open chain or as CHAIN_center_of_region.
int CHAIN_center_of_chain(const RING_header_s* chain, Korvo::Math::Point2* out, double* distance);

MERROW1_API_END
