// Chain builders: simple shapes and the special curves of machining paths.
//
// Every builder makes a new chain in the caller's pool with the given CSYS
// (null: identity), adds its vertices through the appenders of chain_build.h
// (so their coincidence rules apply), closes closed shapes with the gap 1e-8,
// and hands the chain it returns to the chain debug interface.  They report no
// errors: a vertex the appenders refuse leaves the chain shorter, and the
// count checks below turn that into a null result.  A null result may leave a
// partly built chain in the pool; the pool's owner frees it.
//
// Coordinates are 2-D in the chain's CSYS.  Direction vectors named "unit"
// must have length 1; the builders do not unit-ise them.
//
// The loop curves, the meander and the smooth connections are made segment by
// segment (SegmentUpdate, then ChainAddSegment).
#pragma once

#include <merrow1/export.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_types.h>
#include <quorn/quorn.h>
#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Header application-data keys the builders attach with the chain itself as
// datum: CHAIN_APP_DATA_LOOP_CURVE and CHAIN_APP_DATA_CHECKED_CURVE
// (app_data_keys.h).

// ---------------------------------------------------------------------------
// Basic shapes

// One SEG_POINT vertex at the point.  No debug hand-off.
RING_header_s* CHAIN_create_point_chain(const CSYS* csys, const Korvo::Math::Point2* point, CMEM_pool_s* pool);
// The line from start to end; null unless it has exactly 2 vertices (equal
// points give null).
RING_header_s* CHAIN_create_line_chain(const CSYS* csys, const Korvo::Math::Point2* start,
                                       const Korvo::Math::Point2* end, CMEM_pool_s* pool);
// A line kept whatever its length: the end is appended even when it
// coincides with the start.  Null start or end: the origin.
RING_header_s* CHAIN_create_dummy_line(const CSYS* csys, const Korvo::Math::Point2* start,
                                       const Korvo::Math::Point2* end, CMEM_pool_s* pool);
// The polyline through the n points, closed when `closed` is non-zero; null
// when it has fewer than 2 vertices.
RING_header_s* CHAIN_create_polygon(const CSYS* csys, const Korvo::Math::Point2* points, int n, int closed,
                                    CMEM_pool_s* pool);
// The closed regular n-gon about the centre whose vertex 0 is the first
// vertex, turning clockwise for CW and counter-clockwise for any other non-zero
// direction.  Null for n < 3, direction 0, the first vertex on the centre, or
// fewer than n vertices made.
RING_header_s* CHAIN_create_regular_polygon(const CSYS* csys, const Korvo::Math::Point2* centre,
                                            const Korvo::Math::Point2* first, int n, DIRECTION direction,
                                            CMEM_pool_s* pool);
// The closed circle of three 120-degree arcs starting and ending on the start
// direction from the centre, CCW for CCW and CW for any other direction.  As
// closing leaves it: three arc vertices, the first ending at the start point.
RING_header_s* CHAIN_create_circle_chain(const CSYS* csys, double radius, const Korvo::Math::Point2* centre,
                                         const Korvo::Math::Vector2* start_direction, DIRECTION direction,
                                         CMEM_pool_s* pool);
// The open arc from start to end about the centre in the direction (two arcs
// when it turns more than half a circle); start and end closer than 1e-4: the
// full circle of that radius from the start (null when the radius is not
// above 1e-8).  No debug hand-off.
RING_header_s* CHAIN_create_arc_chain(const CSYS* csys, const Korvo::Math::Point2* start,
                                      const Korvo::Math::Point2* end, const Korvo::Math::Point2* centre,
                                      double radius, DIRECTION direction, CMEM_pool_s* pool);
// The closed clockwise slot of radius r around the segment from point 1 to
// point 2 (a circle of four quarter arcs when they coincide); null unless
// r >= 1e-8.
RING_header_s* CHAIN_create_sausage_line_chain(const CSYS* csys, const Korvo::Math::Point2* point1,
                                               const Korvo::Math::Point2* point2, double radius,
                                               CMEM_pool_s* pool);
// The chain of one line or arc segment (the caller's segment is not changed);
// null for a point segment or unless the chain has exactly 2 vertices.
RING_header_s* CHAIN_create_segment_chain(const CSYS* csys, const SEGMENT* segment, CMEM_pool_s* pool);
// The closed rectangle of the box of a chain or chain list along the axis
// (null: a chain's cached box axis, else the default (0, 1)), with the CSYS
// and material side of the (first) chain.  Null for a list without chains and
// for an empty box (nothing to bound).
RING_header_s* CHAIN_create_max_min_box_of_chain(RING_header_s* chain_or_list,
                                                 const Korvo::Math::Vector2* axis, CMEM_pool_s* pool);
// The closed rectangle (x min, y min), (x max, y min), (x max, y max),
// (x min, y max) in a CSYS at the origin whose Z axis is the one given, with
// the material side given; every vertex gets a host machining-segment record
// carrying the geometry type.  Null when the rectangle cannot be built.
RING_header_s* CHAIN_create_box_chain(const Korvo::Math::Vector3* z_axis, double x_min, double x_max, double y_min,
                                      double y_max, CHAIN_geom_type_t geom_type, SIDE side, CMEM_pool_s* pool);

// A reversed copy of the chain in the pool: the same points run backwards,
// arcs turned, material side and clock direction swapped; no vertex
// application data.  A closed chain gives a closed copy starting at its start
// point.  Null for a null chain.
RING_header_s* CHAIN_create_reversed_chain(const RING_header_s* chain, CMEM_pool_s* pool);

// ---------------------------------------------------------------------------
// Spirals, loops, meanders and smooth connections

// A spiral of n half turns, each of two quarter arcs about alternating
// centres, outwards from the centre c along the unit vector u, turning in the
// turn direction (CCW or CW); the radius grows by the pitch per full turn.
// Sense -1 gives the reversed spiral (u negated, turn reversed), which runs
// inwards and ends at c.  Null unless the CSYS, u and pool are given, the
// sense is 1 or -1, the pitch is above 0 and n >= 1.
RING_header_s* CHAIN_create_circular_spiral(const CSYS* csys, const Korvo::Math::Point2* centre,
                                            const Korvo::Math::Vector2* u, DIRECTION turn, int sense, double pitch,
                                            int n, CMEM_pool_s* pool);
// A spiral of quarter arcs from c - inner u on the inner circle to c + outer u
// on the outer circle, advancing at most the pitch per full turn.  Sense -1
// runs it the other way (turn reversed, then the reversed copy).  Null unless
// the CSYS and pool are given, the sense is 1 or -1, the turn CCW or CW, the
// pitch above 0, and inner <= outer - the host length tolerance.
RING_header_s* CHAIN_create_spiral_tangent_to_concentric_circles(const CSYS* csys, const Korvo::Math::Point2* centre,
                                                                 const Korvo::Math::Vector2* u, DIRECTION turn,
                                                                 double inner_radius, double outer_radius,
                                                                 double pitch, int sense, CMEM_pool_s* pool);
// A closed teardrop loop at the apex between the unit rays a and b: out along
// a, round a circle touching both rays, back along b; scaled about the apex
// so that it reaches `size` from it along the bisector.  Null for parallel
// rays or an opening angle outside [pi/100, 0.99 pi].
RING_header_s* CHAIN_create_raindrop_shaped_curve(const Korvo::Math::Point2* apex, const Korvo::Math::Vector2* a,
                                                  const Korvo::Math::Vector2* b, const CSYS* csys, double size,
                                                  CMEM_pool_s* pool);
// The teardrop loop at a vertex with both tangents, leaving along the
// incoming tangent and returning against the outgoing one.
RING_header_s* CHAIN_create_vertex_loop_curve(const RING_header_s* chain, const RING_node_s* vertex, double size,
                                              CMEM_pool_s* pool);
// Two teardrop loops at a vertex with both tangents, joined into one closed
// chain that leaves along the incoming tangent and returns along the outgoing.
RING_header_s* CHAIN_create_two_loop_vertex_curve(const RING_header_s* chain, const RING_node_s* vertex,
                                                  double size, CMEM_pool_s* pool);
// A meander of n half circles from S, alternately forwards and back along
// the unit vector u, all tangent at S; the radii grow so that the last
// reaches length / 2.  Null unless n >= 1 and length > 0.
RING_header_s* CHAIN_create_tangential_circles_curve(const CSYS* csys, const Korvo::Math::Point2* start,
                                                     const Korvo::Math::Vector2* u, double length, int n,
                                                     DIRECTION direction, CMEM_pool_s* pool);
// A tangent-continuous path from P1 to P2 of arcs of the radius turning in the
// direction and a line, leaving P1 along the unit tangent t1 and arriving at
// P2 along the unit tangent t2 when they are given; without tangents, the
// line.  Null when no such path of the direction exists.
RING_header_s* CHAIN_create_smooth_connection(const Korvo::Math::Point2* p1, const Korvo::Math::Vector2* t1,
                                              const Korvo::Math::Point2* p2, const Korvo::Math::Vector2* t2,
                                              double radius, DIRECTION direction, const CSYS* csys,
                                              CMEM_pool_s* pool);

MERROW1_API_END
