// Directions at places on a chain, small chain edits around a point, the
// 2-D linear transform of a chain, tangent circle arcs and ray intersection.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_types.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Replaces every vertex point and arc centre (x, y) by (m0 x + m1 y,
// m2 x + m3 y).  Arcs stay arcs only under a similarity (m0 = m3 and
// m1 = -m2, or m0 = -m3 and m1 = m2, with det m != 0): their radii are scaled
// by sqrt(|det m|) and their direction flips when det m < 0.  A chain with
// arcs and any other matrix answers 0 and is left unchanged; a chain of
// points and lines takes any matrix.  0 for a null chain or matrix, else 1.
int Chain2DTrans(RING_header_s* chain, const double m[4]);

// The unit tangent of the segment that continues forward (backward) from the
// place: inside a segment that segment; at a vertex the segment starting
// (ending) there, or at the end (start) of an open chain the other one.  With
// a distance, when that segment is a line shorter than the distance, the
// tangent at the place that far along the chain (backward: that far back)
// instead, when there is one.  The tangent always points along the chain.
// 0 when no tangent could be formed (a null place, a one-vertex chain, a
// zero-length segment); direction untouched then.
int PointOnChainForwardDirection(const POINT_ON_CHAIN_s* place, const double* distance, double direction[2]);
int PointOnChainForwardDirection(const POINT_ON_CHAIN_s* place, double direction[2]);
int PointOnChainBackwardDirection(const POINT_ON_CHAIN_s* place, const double* distance, double direction[2]);
int PointOnChainBackwardDirection(const POINT_ON_CHAIN_s* place, double direction[2]);

// The arc of the radius tangent at p to the unit direction t, its centre
// p + radius n with n = (t.y, -t.x) for LEFT and (-t.y, t.x) otherwise, turning
// in that side's sense (CW for LEFT, CCW otherwise) through the angle: from p
// to q = c - radius cos(angle) n + radius sin(angle) t, or for direction -1
// from q = c - radius cos(angle) n - radius sin(angle) t to p.  The result of
// SegmentUpdate (0 for a bad radius or angle).
int SegmentCreateTangentCircle(const double p[2], const double t[2], SIDE side, int direction, double radius,
                               double angle, SEGMENT* out);

// Puts a line from the point to the start in front of an open chain: a copy
// of the first vertex at the point becomes the new first vertex and the old
// first vertex a SEG_LINE.  A closed chain, or a point within squared distance
// 1e-16 of the start point, changes nothing.  0 for null input, else 1.
int ChainAddLineBegin(RING_header_s* chain, const double point[2]);

// The intersection of the ray from p1 along d1 with the ray from p2 along d2
// (host routine h600 on the points p and p + d): 1 when the lines meet in one
// point lying ahead of both starts ((out - p) . d above minus the host length
// tolerance for both rays), else 0.
int VEC2_intersection(const double p1[2], const double d1[2], const double p2[2], const double d2[2],
                      double out[2]);

// Makes p's nearest place on an open chain its perpendicular foot: when the
// nearest place is an end of the chain, a line is added there along the end
// direction up to the foot of the perpendicular from p, and the place becomes
// that new end vertex.  A nearest place inside the chain, and any place on a
// closed chain (whose end is its start), leave the chain unchanged.  The place
// receives the nearest place.  0 for null input, else 1.
int ChainPointExtendToShortestDis(RING_header_s* chain, const double p[2], POINT_ON_CHAIN_s* place);

MERROW1_API_END
