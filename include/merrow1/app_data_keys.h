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

enum {
    // Trace vertex record of an offset trace (32 bytes). Owned.
    CHAIN_APP_DATA_TRACE_VERTEX = 1,
    // Header: the cached box of the chain (CHAIN_BOX_s). Owned.
    CHAIN_BOX_APP_DATA_KEY = 2,
    // Vertex: scratch mark of the operation in progress (the twin of an
    // intersection point while a trace's embedded loops are removed: the
    // datum is the twin's node in the operation's own list). Shared.
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
    // Vertex: host segment record of the geometry source. Shared.
    CHAIN_APP_DATA_SEGMENT_SOURCE = 74,
    // Header: a there-and-back chain's turning vertex. Shared.
    CHAIN_APP_DATA_TURNING_VERTEX = 110,
    // Vertex: a mark whose datum is the vertex's own node. Shared.
    CHAIN_APP_DATA_SELF_NODE = 131,
    // Header: copied from this chain. Shared.
    APP_DATA_COPIED_FROM = 137,
    // Header: a loop curve (meander, first loop of the two-loop curve); the
    // datum is the chain itself. Shared.
    CHAIN_APP_DATA_LOOP_CURVE = 143,
    // Header: a circle, spiral or meander built at checking level 1 or more;
    // the datum is the chain itself. Shared.
    CHAIN_APP_DATA_CHECKED_CURVE = 144,
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
    // Vertex: a second mark whose datum is the vertex's own node. Shared.
    CHAIN_APP_DATA_SELF_NODE_2 = 258,
    // Vertex: the Z value just after the vertex (one double). Owned.
    CHAIN_APP_DATA_Z_AFTER = 259,
    // Vertex: host segment data (machining data). Shared.
    CHAIN_APP_DATA_SEGMENT_DATA = 266,
};

// Names kept for the chain-list dump's record kinds.
enum {
    CHAIN_DUMP_KEY_TRACE = CHAIN_APP_DATA_TRACE_VERTEX,
    CHAIN_DUMP_KEY_GEOM_SOURCE = CHAIN_APP_DATA_SEGMENT_SOURCE,
    CHAIN_DUMP_KEY_MARK = CHAIN_APP_DATA_SELF_NODE,
};
