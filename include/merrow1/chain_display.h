// Debug displays of chains: vertices, points, segments, arc construction
// lines, boxes, coordinate systems, whole chains, regions with their
// material-side arrows and filled region sets, drawn as temporary display
// through the host.
//
// Points are chain coordinates, drawn at origin + x X + y Y of the chain's
// CSYS.  The view, colour, font, width and marker arguments pass through to
// the host unchanged (view -1 is the host's default view).  Displays only
// draw: the chain, its application data and its pool are left as they were.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_part.h>
#include <merrow1/material_at_infinity.h>
#include <quorn/quorn.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Called before each segment of a chain display; may change the colour and
// font of that segment only.
typedef void (*CHAIN_display_callback_t)(const RING_header_s* chain, const RING_node_s* vertex, void* data,
                                         int* colour, int* font);

// One marker at the vertex's point.
void CHAIN_display_vertex(const RING_header_s* chain, const RING_node_s* vertex, int view, int colour, int marker);
// CHAIN_display_vertex in view -1 with marker 3.
void CHAIN_display_basic_vertex(const RING_header_s* chain, const RING_node_s* vertex, int colour);
// A marker at every vertex.
void CHAIN_display_all_vertices(const RING_header_s* chain, int view, int colour, int marker);
// One marker at a point of the chain's coordinates.
void CHAIN_display_point(const RING_header_s* chain, const double point[2], int view, int colour, int marker);
// CHAIN_display_point at a point on its chain.
void CHAIN_display_point_on_chain(const POINT_ON_CHAIN_s* point, int view, int colour, int marker);

// A marker (view -1) at a point of the chain's coordinates and, when text is
// given, the text as temporary screen text at the same place.
void CHAIN_display_point_with_text(const RING_header_s* chain, const double point[2], int marker, int colour,
                                   const char* text);
// The chain's CSYS as a coordinate-system symbol of the given size, labelled
// with the first character of the label, in the given view; views -1 and -3
// stand for the active view sequence's view.  A null label draws nothing.
void CHAIN_display_csys_of_chain(const RING_header_s* chain, int view, int colour, const char* label, double size);

// The segment ending at the vertex; a point segment draws its marker only
// with the flag set.
void CHAIN_display_backward_segment(const RING_header_s* chain, const RING_node_s* vertex, int view, int colour,
                                    int font, int width, int flag);
// The same in view -1 with font 1, width 1 and the flag set.
void CHAIN_display_basic_backward_segment(const RING_header_s* chain, const RING_node_s* vertex, int colour);
// Every segment (a closed chain's closing one too); a one-vertex chain draws
// its point.  The callback, when given, may change the colour and font of
// each segment.  Ends with the host's flush (cg009).
void CHAIN_display_chain(const RING_header_s* chain, int view, int colour, int font, int width,
                         CHAIN_display_callback_t callback, void* data);
// CHAIN_display_chain of each chain of a chain list (ring type 2 only).
void CHAIN_display_all_chains(const RING_header_s* list, int view, int colour, int font, int width);
// With projection set: CHAIN_display_projected_chain along the CSYS Z axis
// with offsets 0.001 and 0.001, font 1, width 1 and no markers; otherwise
// CHAIN_display_chain in view -1 with font 1 and width 1.
void CHAIN_display_basic_chain(const RING_header_s* chain, int projection, int colour);

// Projected displays, in the active view: the segment ending at the vertex,
// offset by a and b to the chain's material side (arcs divided as by
// SEGMENT_init_arc_segmentation) and moved along the projection vector (null:
// the chain's CSYS Z axis), drawn with SEGMENT_display_projected_segment
// (markers of the given type at its points, lines between them).
void CHAIN_display_projected_segment(const RING_header_s* chain, const RING_node_s* vertex,
                                     const double projection[3], double a, double b, int colour, int font,
                                     int width, int marker);
// Every segment so (a one-vertex chain: its point), with the per-segment
// callback of CHAIN_display_chain.
void CHAIN_display_projected_chain(const RING_header_s* chain, const double projection[3], double a, double b,
                                   int colour, int font, int width, int marker, CHAIN_display_callback_t callback,
                                   void* data);

// The box of the segment ending at the vertex along the axis of the chain's
// cached box (the default (0, 1) without one), drawn as a closed rectangle.
void CHAIN_display_segment_box(const RING_header_s* chain, const RING_node_s* vertex, int view, int colour,
                               int font, int width);
// The box of a chain (or chain list) along its cached box's axis (the default
// (0, 1) without one): the rectangle drawn as a chain, a marker of type
// vertex_marker at its vertices and one of type point_marker at the four
// corners of the box.  Works on a copy in a scratch pool: the chain keeps its
// cached box as it was.
void CHAIN_display_chain_box(const RING_header_s* chain, int view, int colour, int font, int width,
                             int vertex_marker, int point_marker);

// The offset box of a chain (or chain list): the rectangle of its box along
// the cached box's axis, run there and back and offset by the distance with
// ADD_ARC corners, drawn with CHAIN_display_all_chains in view -3 (font 1,
// width 1).  Works in a scratch pool "CHAIN__display_offset_chain_box"; the
// chain is not changed.  Nothing when the offset gives nothing.
void CHAIN_display_offset_chain_box(const RING_header_s* chain, double distance, int colour);

// Arc construction lines of the arc ending at the vertex (nothing for other
// segments): its chord; the radius line from the centre to its start, end or
// middle (by the arc's own sweep).
void CHAIN_display_chord_of_arc_seg(const RING_header_s* chain, const RING_node_s* vertex, int view, int colour,
                                    int font, int width);
void CHAIN_display_bseg_start_radius(const RING_header_s* chain, const RING_node_s* vertex, int view, int colour,
                                     int font, int width);
void CHAIN_display_bseg_end_radius(const RING_header_s* chain, const RING_node_s* vertex, int view, int colour,
                                   int font, int width);
void CHAIN_display_bseg_mid_radius(const RING_header_s* chain, const RING_node_s* vertex, int view, int colour,
                                   int font, int width);
// A marker at the centre of the arc ending at the vertex; nothing for marker 0.
void CHAIN_display_backward_center(const RING_header_s* chain, const RING_node_s* vertex, int view, int colour,
                                   int marker);
// A marker at the middle of the segment ending at the vertex; nothing for
// marker 0.
void CHAIN_display_segment_mid_point(const RING_header_s* chain, const RING_node_s* vertex, int view, int colour,
                                     int marker);

// A marker (view -1) at every vertex carrying a split-vertex source (key 14),
// through every chain of a chain list.
void CHAIN_display_all_split_vertices(const RING_header_s* chain_or_list, int marker, int colour);
// One marker at a junction of a split-chain network (a network node), mapped
// through the CSYS of the chain of its first piece end.  A junction without
// piece ends draws nothing.
void CHAIN_display_splitpoint(const RING_node_s* junction, int view, int colour, int marker);
// The piece of a split chain drawn as a chain (made in a scratch pool that is
// deleted before return).
void CHAIN_display_splitchain(const RING_node_s* split_chain, int view, int colour, int font, int width);
// A part of a chain drawn with CHAIN_display_basic_chain (the part's chain
// made in a scratch pool that is deleted before return).
void CHAIN_display_part_of_chain(const PART_OF_CHAIN_s* part, int colour);

// A region: with a projection vector the chain drawn projected along it
// (CHAIN_display_projected_chain, offsets 0.001, no markers), otherwise with
// CHAIN_display_chain in view -1; the host's MCHN_get_segment_font chooses
// each segment's font.  Then the material-side arrow: a cone head at the
// first vertex (midway between the first two vertex points when the first
// vertex is a line), in view -1, pointing along the unit normal to the material side for
// LEFT or RIGHT, along the chain otherwise.  The first form draws with font
// 1 and width 1.
void CHAIN_display_region(const RING_header_s* chain, const Korvo::Math::Point3* projection, int colour);
void CHAIN_display_region(const RING_header_s* chain, const Korvo::Math::Point3* projection, int colour, int font,
                          int width);
// CHAIN_display_region of every chain of a chain list.
void CHAIN_display_region_set(const RING_header_s* set, const Korvo::Math::Point3* projection, int colour);
void CHAIN_display_region_set(const RING_header_s* set, const Korvo::Math::Point3* projection, int colour, int font,
                              int width);

// The regions of a set filled: the set is split into simply connected
// regions (CHAIN_SplitSetIntoSimplyConnectedRegions with the given material
// at infinity, in a scratch pool deleted before return), every closed region
// chain becomes one polygon (arcs cut into chords within the tolerance,
// points mapped through the CSYS) drawn with DSS_PRIM_draw_polygon_region in
// the colour.  View -1 draws in every view of the host's view list, any
// other view in that view alone.  The point is not used.  A tolerance that
// is not a positive finite number draws nothing (precondition note).
void CHAIN_DisplayFilledChainSet(RING_header_s* set, Korvo::Cam::MaterialAtInfinity mai,
                                 const Korvo::Math::Point3* point, double tolerance, int view, int colour);

MERROW1_API_END
