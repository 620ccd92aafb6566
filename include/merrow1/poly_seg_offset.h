// Offsets of poly-segments.
//
// A poly keeps its material on the left.  A positive offset moves every piece
// to its right, away from the material: a line by d times its right unit
// normal, an arc to the concentric arc whose radius changed by d (grown for a
// counter-clockwise arc, shrunk for a clockwise one; an arc shrinking through
// zero radius comes out reversed and flagged).  The moved pieces keep their
// nodes (and so their application data); at each vertex they are joined by
// new pieces: a corner arc of radius |d| about the vertex, connecting lines
// through the vertex (flagged 0x2001 or 0x4001), tangent extensions, steps
// between different offsets and corner circles (flagged 0x1000).  The result
// is a connected raw offset whose self-intersections are left to the
// polygon-set intersection; its header offset becomes 0.
//
// An open poly's first point moves with the start of its first piece and its
// last end with the end of its last piece: no end caps.
#pragma once

#include <merrow1/export.h>
#include <merrow1/app_data_keys.h>

#include <merrow1/poly_seg.h>

MERROW1_API_BEGIN

// Node application data of an offset in progress.
enum {
    POLY_SEG_KEY_TAN_EXT = POLY_SEG_APP_DATA_TAN_EXT,  // PNT2_s: extension vector of a tangent-extension corner
};

// Answer of the corner-type callback for a vertex.
enum POLY_SEG_corner_offset_type_t {
    POLY_SEG_CORNER_OFFSET_DEFAULT = 0,
    POLY_SEG_CORNER_OFFSET_TAN_EXT = 1,  // join the pieces by tangent extension
};

// Offset-value callback of poly offsets: the offset of the piece of `node`
// (the set, or the poly when offset alone; the poly; the node; client data).
// Not the chain-vertex offset-value callback of the conversions back to
// chains (poly_seg_chain.h).
typedef double (*POLY_SEG_piece_offset_cb_t)(RING_header_s* poly_or_set, RING_header_s* poly, RING_node_s* node,
                                             void* data);
// Corner kind at the vertex that ends `node`: (set or null, poly, node, client data).
typedef POLY_SEG_corner_offset_type_t (*POLY_SEG_corner_type_cb_t)(RING_header_s* set, RING_header_s* poly,
                                                                   RING_node_s* node, void* data);

// Offsets one poly in place by its header offset, or per piece by the
// offset-value callback (consulted whenever given).  `closing` asks for a
// corner circle at the vertex where a closed poly's walk returns to its start
// (not for `there_and_back` polys).  Inserted pieces are offered to the copy
// callback.  False when nothing was done: an empty poly, or an offset within
// the host length tolerance with neither copy nor offset-value callback (the
// header offset is then set to 0).
bool POLY_SEG_offset(RING_header_s* poly, RING_header_s* set, POLY_SEG_copy_cb_t copy_cb,
                     POLY_SEG_piece_offset_cb_t offset_cb, void* offset_data, POLY_SEG_corner_type_cb_t corner_cb,
                     void* corner_data, bool closing);
// POLY_SEG_offset of every poly, results ORed.  With `closing` and no
// offset-value callback, closing corners are asked for only when all polys'
// offsets agree within the host length tolerance.
bool POLY_SEG_offset_set(RING_header_s* set, POLY_SEG_copy_cb_t copy_cb, POLY_SEG_piece_offset_cb_t offset_cb,
                         void* offset_data, POLY_SEG_corner_type_cb_t corner_cb, void* corner_data, bool closing);
bool POLY_SEG_offset_set_of_sets(RING_header_s* set_of_sets, POLY_SEG_copy_cb_t copy_cb,
                                 POLY_SEG_piece_offset_cb_t offset_cb, void* offset_data,
                                 POLY_SEG_corner_type_cb_t corner_cb, void* corner_data, bool closing);

// Joins the piece of `node` (offset d1, moved end `end`, tangent t1 at the
// vertex p = its source end) to the next piece (offset d2, moved start
// `next_start`, tangent t2) where the offsets differ: a corner arc at the
// smaller offset and a radial step (flag 0x1000) along the normal of the piece
// with the larger offset; or, with `circle` set and a turn against the larger
// offset's sign, lines through the vertex (0x2001 / 0x4001) and a corner
// circle.  Returns the last node inserted (`node` when none).
RING_node_s* POLY_SEG__offset_change_corner(RING_header_s* poly, RING_node_s* node, const PNT2_s* vertex,
                                            double d1, double d2, const PNT2_s* end, const PNT2_s* next_start,
                                            const PNT2_s* t1, const PNT2_s* t2, POLY_SEG_copy_cb_t copy_cb,
                                            bool circle);

// Moves the poly's vertices by their offsets without adding pieces, except a
// step line where the normals of a vertex's two pieces differ by more than
// the squared tolerance.  A negative offset moves to the left.  True when a
// vertex moved.
bool POLY_SEG_small_offset(RING_header_s* poly, POLY_SEG_copy_cb_t copy_cb, POLY_SEG_piece_offset_cb_t offset_cb,
                           void* data, double squared_tolerance);

// Node-data copy callback for offset pieces: the new node gets a key-169
// record copied from the source node's, or without a source node from the
// node before it (the node after it when the former's chain has side RIGHT).
// `data` is an int* side, or null.  Returns the record, or null.
void* POLY_SEG_offset_vtx_handle_chain_source(RING_header_s* poly, RING_node_s* from, RING_node_s* to,
                                              bool* handled, void* data);

MERROW1_API_END
