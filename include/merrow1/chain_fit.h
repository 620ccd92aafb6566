// Arc and line fitting of chains, arc splitting and tessellation.
//
// These operations rewrite the vertices of one chain in place, in the chain's
// own pool: runs of short lines lying on a circle become one arc, runs of
// nearly collinear lines become one line, arcs too flat to matter become
// lines, arcs are tessellated into lines, arcs of more than a half circle are
// split, and short segments are dropped.  After any change of the vertex
// count a cached box (header key 2) is recomputed along its stored axis.
//
// A vertex filter says where a run may extend: it is asked for the vertex
// before the one that would extend a run, and a false answer ends the run
// there.  MCHN_segs_have_same_mchn_data serves as the filter of machining
// chains, so no run spans a change of machining data.  A null filter accepts
// every vertex.
//
// With the chain debug status on, the fits report their start and end through
// the chain debug interface, and ask it (code CHAIN_FIT_DEBUG_QUERY, the
// label "<operation>: fitting inactive", an int answer through pointer_value
// that callbacks set with CHAIN_debug_function_set_int_value) whether fitting
// is switched off; a non-zero answer prints the label and leaves the chain.
#pragma once

#include <merrow1/export.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

typedef bool (*CHAIN_vertex_filter_t)(const RING_header_s* chain, const RING_node_s* vertex);

// Debug-interface code of the "fitting inactive" query.
constexpr int CHAIN_FIT_DEBUG_QUERY = 2;

// Splits the segment ending at the vertex into n equal parts (lines by length,
// arcs by angle), inserting the n - 1 new vertices before it; each new vertex
// gets a copy of the vertex's source link (key 17).  Fewer than 2 parts, a
// null argument or a vertex without a line or arc segment: nothing.
void CHAIN_split_backward_segment(RING_header_s* chain, RING_node_s* vertex, int n);

// Splits every arc whose full sweep (taken in the arc's own sense) exceeds
// pi less one degree into 2 parts, or into 3 parts from two pi less two
// degrees on.
void CHAIN_keep_arcs_less_than_pi(RING_header_s* chain);

// Copies the key-17 source record of `from` onto `to` (a new record in the
// chain's pool); a vertex without one copies nothing.
void CHAIN__copy_source_vertex_pc_data(RING_header_s* chain, const RING_node_s* from, RING_node_s* to);

// Runs of line vertices that lie on a circle become one arc vertex.
//
// Tolerances: the point tolerance min(tolerance, second) bounds each vertex's
// distance to the circle; the mid tolerance `second` bounds each line piece's
// distance to it at its point nearest the centre.  Radii outside [minimum,
// maximum] are refused and a fitted arc turns through at most 125 degrees.  A
// run is fitted when it has at least minimum count + 1 vertices (the minimum
// count at the chain's end).  With either check flag, on a chain with a
// material side, no vertex of a run may lie beyond the circle on the side away
// from the material; with the corner check also no vertex of a run may have a
// vertex angle below pi + 0.001 (the side and corner checks act only on a
// chain with a material side).  A run whose vertices all lie within the
// corridor of its chord (half-width the mid tolerance) becomes one line
// instead.  The filter is asked at every extension of a run, also within its
// first three vertices.  Nothing happens for a
// null chain, a tolerance not above 0 or a chain of at most max(3, minimum
// count) vertices.
void CHAIN_fit_vertices_to_arc(RING_header_s* chain, CHAIN_vertex_filter_t filter, double tolerance,
                               double second_tolerance, double maximum_radius, double minimum_radius,
                               int minimum_count, bool side_check, bool corner_check);

// Line fit of a chain of at least 4 vertices, tolerance t above 0:
// 1. flat arcs become lines: an arc whose sagitta (measured as the arc runs)
//    is below X + max(0.01 t, 1e-8), or a minor arc whose chord is below
//    X + 2.5e-8, with X twice the chain's approximation tolerance (at least
//    1e-8); with the material-side flag only CCW arcs of a RIGHT chain and
//    CW arcs of a LEFT chain;
// 2. runs of lines whose inner vertices lie in the corridor of half-width t
//    about the run's chord become one line; with the material-side flag a
//    vertex more than the length tolerance to the left of the chord (RIGHT)
//    or to its right (LEFT) ends the run, so the path never moves into the
//    material;
// 3. runs of collinear lines (inner vertices on the span within 1e-8) merge;
// 4. a spike that doubles back within the corridor is cut off;
// 5. a short line next to an arc is absorbed by it when the arc, re-centred
//    through the line's far end, moves its centre by at most 0.1 t and passes
//    within t of the whole line.
void CHAIN_fit_vertices_to_line(RING_header_s* chain, CHAIN_vertex_filter_t filter, double tolerance,
                                bool material_side);
// The line fit of a 3D path: besides the tests above, the Z value of every
// inner vertex (MCHN_ask_vertex_z_coordinate and the Z just after it) lies
// within the Z tolerance of the straight line between the run's ends, measured
// across the slope.  Vertices without a recorded Z read as Z 0.
void CHAIN_fit_vertices_to_3dline(RING_header_s* chain, CHAIN_vertex_filter_t filter, double tolerance,
                                  double z_tolerance, bool material_side);
// Line fit without filter or side flag; then on a closed chain of at least 3
// vertices whose first two vertices are lines and whose first vertex is
// smooth, the first vertex is deleted.
void CHAIN_fit_all_vertices_to_line(RING_header_s* chain, double tolerance);

// The standard sequence at tolerance T: arc fit (point tolerance the length
// tolerance, mid tolerance T, radii 0.0001 to 10000, minimum count 4, the
// side check as given); line fit at max(0.001 T, 1e-8); arc fit (both
// tolerances T, minimum count 6); line fit at T.
void CHAIN_do_arc_fit_and_line_fit(RING_header_s* chain, CHAIN_vertex_filter_t filter, double tolerance,
                                   bool side_check);
// The standard sequence on a chain or every chain of a list, with
// MCHN_segs_have_same_mchn_data as filter and the side check on.
void CHAIN_arc_and_line_fit_shapes(RING_header_s* chain_or_list, double tolerance);

// Replaces one arc: an arc of radius below R becomes its chord.  Otherwise
// the arc is tessellated when `all` is set, and without it only a CW arc of
// radius below T: it is divided into points for the chord tolerance R, each
// point inserted as a line vertex before the arc's end with a copy of the
// arc vertex's application data, and the arc vertex becomes a line.  True when
// the arc was replaced; false (chain unchanged) for a vertex that is not an
// arc, an arc left as it is, or a T or R that is not a finite number above 0.
bool CHAIN_ReplaceArc(RING_header_s* chain, RING_node_s* arc_vertex, double tolerance, bool all,
                      double minimum_radius);
// CHAIN_ReplaceArc on every arc of the chain; true when the chain had an arc.
// A T or R that is not a finite number above 0 leaves the chain unchanged and
// answers false.
bool CHAIN_ConvertArcs2Lines(RING_header_s* chain, double tolerance, bool all, double minimum_radius);
// On a chain or every chain of a list: CHAIN_ConvertArcs2Lines with the
// tolerance as both T and R, then the line fit without filter.  False (nothing
// changed) for a tolerance that is not a finite number above 0.
bool CHAIN_TessellateArcsAndFit(RING_header_s* chain_or_list, double tolerance, bool all);

// On a chain of more than 2 vertices, walking from the start while at least 3
// vertices remain: a line segment no longer than the length is removed by
// deleting its end vertex, unless the vertex after it ends an arc; the
// chain's last segment by deleting its start vertex, unless that ends an arc.
// Point and arc segments are never removed.
void CHAIN_delete_short_segments(RING_header_s* chain, double length);

MERROW1_API_END
