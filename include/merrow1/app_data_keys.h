// Application-data keys used by the library, with the record each one holds
// and who frees it.
//
// Policies, as the chain deletion applies them (chain/chain.cpp):
//   owned   the record belongs to the holder (vertex or header) and is freed
//           with it; copies of the holder get copies of the record;
//   shared  a reference to data owned elsewhere (the host, another chain, the
//           vertex's own node); never freed through this holder and never
//           written through it (a writer takes its own copy first);
//   silent  a shared reference added when vertex data is copied; never freed.
// A key registered with a delete function on a chain header (the ring's key
// delete registry) is freed by that function instead.
//
// Every key the library reads or writes has its name here; module headers may
// keep older names as aliases of these.
#pragma once

#include <merrow1/export.h>

MERROW1_API_BEGIN

enum {
    // Trace vertex record of an offset trace (32 bytes). Owned.
    CHAIN_APP_DATA_TRACE_VERTEX = 1,
    // Header: the cached box of the chain (CHAIN_BOX_s). Owned.
    CHAIN_BOX_APP_DATA_KEY = 2,
    // Vertex: scratch mark of the operation in progress (the twin of an
    // intersection point while a trace's embedded loops are removed: the
    // datum is the twin's node in the operation's own list; on input vertices
    // while CHAIN_FindNonOutputSegments runs: the vertex node itself when its
    // segment is wholly covered, else the head of its covered intervals in
    // the operation's block array). Shared; removed before the operation ends.
    // Split-network junction node: visited by the detour being built
    // (CHAIN_create_detour_path); the datum is the node itself, removed on
    // every exit. Shared.
    CHAIN_APP_DATA_SCRATCH_MARK = 5,
    // Point node of an intersection-point list: the junction node of its
    // point in the split-chain network built from the list (chain_split.h).
    // Shared.
    CHAIN_APP_DATA_SPLIT_JUNCTION = 6,
    // Header: loop-class record (CHAIN_loop_class_s) of a boolean result. Owned.
    CHAIN_APP_DATA_LOOP_CLASS = 7,
    // Header: the chain this one was stocked or traced from. Shared.
    APP_DATA_STOCKED_FROM = 10,
    // Vertex: a split junction (presence only). Shared.
    APP_DATA_SPLIT_VERTEX_SOURCE = 14,
    // Vertex: the connection record of a connected fpass vertex
    // (PMRP_fpass_connection_s: the chain and vertex it joins, and its vertex
    // type). Shared.
    CHAIN_APP_DATA_CONNECTION = 15,
    // Vertex: CHAIN_source_chain_source_vertex_s, the vertex this one stands
    // for. Owned.
    APP_DATA_SOURCE_VERTEX = 17,
    // Header and vertex: there-and-back mark of a chain closed from an open
    // one (at least two ints; the first is the tracer's extension mode).
    // Owned.
    CHAIN_APP_DATA_THERE_AND_BACK = 13,
    // Vertex: the 80-byte record kept by the chain-list dump. Owned by the
    // loader's chain.
    CHAIN_DUMP_KEY_19 = 19,
    // Vertex: CHAIN_source_segment_s, the segment this vertex's segment was
    // copied or stocked from. Owned.
    APP_DATA_SOURCE_SEGMENT = 20,
    // Header: set on a chain that absorbed a hole; the datum is the chain
    // itself. Shared.
    CHAIN_APP_DATA_HOLE_ABSORBED = 39,
    // Vertex: the Z value at the vertex (one double). Shared.
    CHAIN_APP_DATA_Z = 40,
    // Header: the geometry-type offset record (CHAIN_geometry_type_offsets_s)
    // while CHAIN_offset_segments_by_geometry_type runs. Owned; removed before
    // the offset returns.
    CHAIN_APP_DATA_GEOMETRY_TYPE_OFFSETS = 52,
    // Header of a source chain: two distances (the third and fourth fields of
    // the record, doubles) whose mean bounds the widening margin of an open
    // offset. Shared.
    CHAIN_APP_DATA_OPEN_OFFSET_MARGIN = 73,
    // Vertex: host segment record of the geometry source. Shared.
    CHAIN_APP_DATA_SEGMENT_SOURCE = 74,
    // Header of a raw chain of the boolean trim: its nesting level
    // (Korvo::Cam::BoolTrimRawLevel_s), set by the host. Shared.
    CHAIN_APP_DATA_RAW_CHAIN_LEVEL = 89,
    // Header: a region chain found violated by a chain taken out of a set
    // for it (the removed chain's link back to its source crossed it); the
    // datum is the region chain's pool. Shared.
    APP_DATA_VIOLATED_REGION = 104,
    // Header of an open region chain while the classic build's violation
    // check runs: the closed copy in the check's scratch pool that stands in
    // for it; the entry is made in that pool. Shared; withdrawn on every path
    // before the pool is deleted.
    CHAIN_APP_DATA_CLOSED_FOR_CHECK = 106,
    // Header: a there-and-back chain's turning vertex. Shared.
    CHAIN_APP_DATA_TURNING_VERTEX = 110,
    // Header of a chain closed back along itself (CHAIN_close_by_reverse with
    // its mark): the first vertex's own geometry record and segment type,
    // which the closing segment displaced while the chain is closed (a
    // record of chain/chain_from_chain.cpp).  Owned: registered
    // with a delete function that frees it with the chain; reopening puts the
    // record back on its vertex and frees the rest.
    CHAIN_APP_DATA_KEPT_FIRST_RECORD = 111,
    // List node of an ordered region list: the first node of a retained group
    // (115) or of a group (116); the datum is the node's chain. Shared.
    // Key 115 also marks the header of a sample source of a region found
    // removed by a chain (CHAIN_violates_removed_regions); the datum is the
    // chain itself.
    APP_DATA_RETAINED_ORDER_MARK = 115,
    APP_DATA_REGION_ORDER_MARK = 116,
    // Header of a scratch group list of the flipped-shape check: the source
    // group it was compared with (another scratch list). Shared; the group
    // lists go with the check's pool.
    APP_DATA_SOURCE_GROUP = 117,
    // Header: a sample source of a chain that removed a region; the datum is
    // the chain itself. Shared.
    APP_DATA_REMOVED_REGION_SOURCE = 160,
    // Vertex: a step-high vertex of a traced chain whose circle the standard
    // clean has still to remove (a mark: the datum is the vertex's own node).
    // Shared; the standard clean removes every one before it returns.
    APP_DATA_CLEAN_CIRCLE = 107,
    // Header: the datum the classifier of CHAIN_split_chain_into_chains
    // returned for the piece. Shared (the classifier's).
    CHAIN_APP_DATA_SPLIT_CLASS = 120,
    // Vertex: a mark whose datum is the vertex's own node; host vertex data
    // that a vertex the height map inserts shares with the vertex whose
    // segment it splits. Shared.
    CHAIN_APP_DATA_SELF_NODE = 131,
    // Header: copied from this chain. Shared.
    APP_DATA_COPIED_FROM = 137,
    // Header: a loop curve (meander, first loop of the two-loop curve); the
    // datum is the chain itself. Shared.
    CHAIN_APP_DATA_LOOP_CURVE = 143,
    // Header: a circle, spiral or meander built at checking level 1 or more;
    // the datum is the chain itself. Shared.
    CHAIN_APP_DATA_CHECKED_CURVE = 144,
    // Vertex: the vertex's CORNER_TYPE (one int) while a shortest path is
    // made (CHAIN_create_shortest_path). Owned; the path removes and frees
    // every one before it returns.
    CHAIN_APP_DATA_CORNER_TYPE = 164,
    // Header: touch record of an open text chain, a 48-byte copy of the
    // POINT_ON_CHAIN_s of the nearest place on another chain of its group
    // (CHAIN_convert_text_to_chains). Owned: registered with a delete
    // function that frees it with the chain.
    CHAIN_APP_DATA_TEXT_TOUCH = 166,
    // Header: the gap list of the contain-set processor, a type-1 ring in the
    // chain's pool of run records (CG_PROC_run_s) that lie on the chain.
    // Registered with a delete function that deletes the ring, not the
    // records (they belong to the chain's pool and the zone maps' curves).
    CG_PROC_APP_DATA_GAP_LIST = 195,
    // Vertex of a stocked chain: the source vertex (RING_node_s) after the
    // corner whose tangent extension ends at this vertex. Shared.
    APP_DATA_STOCK_EXTENSION_SOURCE = 202,
    // Header: source walks stop at a chain that carries it. Shared.
    APP_DATA_SOURCE_ROOT = 206,
    // Vertex: a second mark whose datum is the vertex's own node; marks a
    // vertex the chain height map inserted (Cam_ChainHZMap.h). Shared.
    CHAIN_APP_DATA_SELF_NODE_2 = 258,
    // Vertex: the fit gate of the arc and line fitter, 4 doubles (first gate
    // end x, y, second gate end x, y). Owned; the fitter deletes it.
    APP_DATA_FIT_GATE = 218,
    // Vertex: the Z value just after the vertex (one double). Owned.
    CHAIN_APP_DATA_Z_AFTER = 259,
    // Vertex: host segment data (machining data). Shared.
    CHAIN_APP_DATA_SEGMENT_DATA = 266,
    // Vertex: the provenance of the former first vertex of an open chain,
    // saved on the new start vertex when a strip end is added at the start
    // (CHAIN_strip_end_saved_s: its key-17, key-20 and key-1 records, its
    // flag word and source surface, its key-74 and key-266 references).
    // Owned: the record; the saved key-17, key-20 and key-1 records are owned
    // by it until the strip end is removed and they go back to their vertex.
    APP_DATA_STRIP_END_SAVED_SOURCE = 267,
    // Vertex: the embedded-path split points of the segment the vertex ends,
    // a list of CHAIN_split_point_s in parameter order, in the caller's pool
    // (the narrow marks: their scratch pool).  Owned by the marking
    // operation, which frees every list before it returns.
    CHAIN_APP_DATA_SPLIT_POINTS = 201,
    // Header: the chain carries embedded marks; datum the chain itself. Shared.
    CHAIN_APP_DATA_EMBEDDED_MARKS = 204,
    // Header: the chain is narrowly embedded; datum the chain itself. Shared.
    CHAIN_APP_DATA_NARROW_EMBEDDED = 216,
    // Header: the chain is embedded whole; datum the chain itself. Shared.
    CHAIN_APP_DATA_FULLY_EMBEDDED = 217,
    // Vertex: CHAIN_embedded_vertex_data_s (legacy/chain_tangential_loops.h),
    // the vertex's role in an embedded stretch (start, end, loop vertex) and
    // its keep mark. Owned; made in the chain's pool.
    CHAIN_APP_DATA_EMBEDDED_VERTEX = 203,
    // Vertex: CHAIN_embedded_state_s, the embedded state the marking steps
    // give a vertex (embedded flag, removable byte). Owned; the spreading of
    // loop vertices frees it.
    CHAIN_APP_DATA_EMBEDDED_STATE = 214,
    // Vertex: the vertex is kept when the embedded states are cleaned up; any
    // non-null datum. Shared.
    CHAIN_APP_DATA_EMBEDDED_KEEP = 205,
    // Node of the earlier build's section engine's set ring: the kernel set
    // of faces of the set (an int in the engine's working pool). Owned, the
    // set deleted in the kernel when the node goes.
    GEOMSEC_APP_DATA_FACE_SET = 301,
};

// Vertex: marks a strip-end segment; the datum is the vertex's own node.
// The same key as the host segment data.
enum { APP_DATA_STRIP_END = CHAIN_APP_DATA_SEGMENT_DATA };

// Names kept for the chain-list dump's record kinds.
enum {
    CHAIN_DUMP_KEY_TRACE = CHAIN_APP_DATA_TRACE_VERTEX,
    CHAIN_DUMP_KEY_GEOM_SOURCE = CHAIN_APP_DATA_SEGMENT_SOURCE,
    CHAIN_DUMP_KEY_MARK = CHAIN_APP_DATA_SELF_NODE,
};

// Keys the chain deletion policy, the point-bound edits and the poly-segment
// code name by number; records they hold belong to the modules that attach
// them unless stated.
enum {
    // Header: a chain closed from open "with key" (16 bytes: int 1, then 8
    // zero bytes); on vertices: a special source vertex found by tracing.
    // Owned (header and vertex).
    CHAIN_APP_DATA_CLOSED_WITH_KEY = 13,
    // Vertex: a record of another module. Shared.
    CHAIN_APP_DATA_SHARED_29 = 29,
    // Vertex: a record of another module. Owned.
    CHAIN_APP_DATA_OWNED_37 = 37,
    // Vertex: point-bound records that move with the vertex point when a
    // chain is reversed or restarted. Shared.
    CHAIN_APP_DATA_POINT_54 = 54,
    CHAIN_APP_DATA_POINT_65 = 65,
    // Vertex: shared references added when vertex data is copied to another
    // vertex. Silent.
    CHAIN_APP_DATA_COPY_REFERENCE_87 = 87,
    CHAIN_APP_DATA_COPY_REFERENCE_88 = 88,
    // Vertex: the arc vertex node this vertex was approximated from. Shared.
    CHAIN_APP_DATA_APPROXIMATED_ARC = 117,
    // Vertex: records of other modules. Shared.
    CHAIN_APP_DATA_SHARED_154 = 154,
    // Vertex: a point-bound record. Shared.
    CHAIN_APP_DATA_POINT_157 = 157,
    // Poly node: CHAIN_app_poly_seg_chain_source_s, the chain vertex a piece
    // came from. Shared, counted (freed with the last reference by the
    // delete function registered on the poly).
    POLY_SEG_APP_DATA_CHAIN_SOURCE = 169,
    // Vertex: records of other modules. Shared.
    CHAIN_APP_DATA_SHARED_197 = 197,
    // Vertex: the source vertex that follows a stocked corner
    // (stock extension source). Owned.
    CHAIN_APP_DATA_STOCK_EXTENSION_SOURCE = 202,
    // Vertex: a record of another module. Shared.
    CHAIN_APP_DATA_SHARED_215 = 215,
    // Vertex: the fit gate record (4 doubles: two gate ends). Owned.
    CHAIN_APP_DATA_FIT_GATE = 218,
    // Poly node: the piece's thickness or multiplicity (one int). Owned, freed
    // by the delete function registered on the poly.
    POLY_SEG_APP_DATA_THICKNESS = 219,
    // Poly node: the extension vector of a tangent-extension corner (PNT2_s).
    // Owned, freed by the delete function registered on the poly.
    POLY_SEG_APP_DATA_TAN_EXT = 221,
    // Poly node: a point (two doubles). Owned, freed by the delete function
    // registered on the poly.
    POLY_SEG_APP_DATA_POINT = 222,
    // Vertex: point-bound records that move with the vertex point. Owned.
    CHAIN_APP_DATA_POINT_OWNED_231 = 231,
    // Vertex: a record of another module. Shared.
    CHAIN_APP_DATA_SHARED_237 = 237,
    // Poly node: the cover segment made for the piece. Shared.
    POLY_SEG_APP_DATA_COVER = 248,
    // Vertex: a point-bound record that moves with the vertex point. Owned.
    CHAIN_APP_DATA_POINT_OWNED_260 = 260,
    // Parent vertex of a child offset map: the list of
    // ChildOffsetMap::ParentSplitPt records of the children split there.
    // Owned, freed by the delete function the map registers on the parent.
    CHAIN_APP_DATA_PARENT_SPLIT_POINT = 262,
    // Vertex: a point-bound record that moves with the vertex point; not in
    // the deletion policy (left alone, reported at checking level 1).
    CHAIN_APP_DATA_POINT_263 = 263,
    // Poly node: POLY_SEG_node_link_s (a node pointer and a word: 0/1 as a
    // link; the piece type 0..3 on the bands of the overlap finders). Owned,
    // freed by the delete function registered on the poly.
    POLY_SEG_APP_DATA_NODE_LINK = 265,
};

MERROW1_API_END
