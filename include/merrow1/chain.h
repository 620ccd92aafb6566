// The chain record: creation of empty chains, the vertex flag word and its
// accessors, chain-wide flags and the delete hooks that free a chain's records
// and application data when the host deletes its ring.
//
// A chain is a host ring of type 1 whose header carries a CHAIN_main_data_s and
// whose nodes carry CHAIN_vertex_data_s records; a chain list is a ring of type
// 2 whose nodes carry chains as sub-rings.  Every record of a chain lives in the
// ring's pool.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_types.h>
#include <quorn/quorn.h>
#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Geometry type kept in bits 4-6 of a vertex's flag word (values 0 to 5).
typedef int CHAIN_geom_type_t;
// Geometry type of the source a vertex came from, bits 7-9 (values 0 to 7).
typedef int CHAIN_source_geom_type_t;

// The vertex flag word.  Bit 0 is the least significant.
enum CHAIN_vertex_flag_e : unsigned int {
    CHAIN_VERTEX_SEG_TYPE_MASK = 0x3u,              // bits 0-1: SEGMENT_TYPE + 1, 0 unset
    CHAIN_VERTEX_SOURCE_SEG_TYPE_SHIFT = 2u,
    CHAIN_VERTEX_SOURCE_SEG_TYPE_MASK = 0x3u << 2,  // bits 2-3: source SEGMENT_TYPE + 1
    CHAIN_VERTEX_GEOM_TYPE_SHIFT = 4u,
    CHAIN_VERTEX_GEOM_TYPE_MASK = 0x7u << 4,        // bits 4-6: CHAIN_geom_type_t
    CHAIN_VERTEX_SOURCE_GEOM_TYPE_SHIFT = 7u,
    CHAIN_VERTEX_SOURCE_GEOM_TYPE_MASK = 0x7u << 7, // bits 7-9: CHAIN_source_geom_type_t
    CHAIN_VERTEX_INHERITED_SOURCE = 1u << 10,       // source description copied from another vertex
    CHAIN_VERTEX_ON_BOUNDARY = 1u << 11,            // the segment lies on a boundary (wall)
    CHAIN_VERTEX_POINT_MARK = 1u << 12,             // moves with the point when a chain is reversed
    CHAIN_VERTEX_CLOSE_BY_REVERSE = 1u << 13,       // vertices of an open chain closed by reverse
    CHAIN_VERTEX_BOOLEAN_MARK = 1u << 14,           // carried through booleans
    CHAIN_VERTEX_LOOP_CENTRE = 1u << 15,            // loop-centre vertex of a trochoidal frame
    CHAIN_VERTEX_MARK = 1u << 16,                   // cleared with the source description
    CHAIN_VERTEX_TRACED_SOURCE = 1u << 17,          // set by source tracking and tracing
    CHAIN_VERTEX_BACK_SIDE = 1u << 29,              // the segment lies on the back side
};

// Flag accessors.  A null node (or a node without a vertex record) reads as the
// "none" value (-1 for segment types, 0 otherwise) and is ignored by setters.
SEGMENT_TYPE CHAIN_seg_ask_type(const RING_node_s* vertex);
// Stores type + 1 in bits 0-1; a value other than SEG_POINT, SEG_LINE, SEG_ARC stores 0.
void CHAIN_seg_set_type(RING_node_s* vertex, SEGMENT_TYPE type);
SEGMENT_TYPE CHAIN_seg_ask_source_type(const RING_node_s* vertex);
// 1 to 5 as stored, anything else 0.
CHAIN_geom_type_t CHAIN_seg_ask_geom_type(const RING_node_s* vertex);
// 1 to 5 are stored; 0 and any other value clear the field.
void CHAIN_seg_set_geom_type(RING_node_s* vertex, CHAIN_geom_type_t type);
// 1 to 7 as stored, else 0.
CHAIN_source_geom_type_t CHAIN_seg_ask_source_geom_type(const RING_node_s* vertex);
// 1 to 7 are stored; 0 and any value outside 0 to 7 clear the field (never
// touching bit 10 and above).
void CHAIN_seg_set_source_geom_type(RING_node_s* vertex, CHAIN_source_geom_type_t type);
int CHAIN_seg_ask_source_surface(const RING_node_s* vertex);
bool CHAIN_seg_is_on_bnd(const RING_node_s* vertex);
void CHAIN_seg_set_on_bnd(RING_node_s* vertex, bool on);

// A new empty, open chain in the pool.  A null CSYS gives origin (0, 0, 0) and
// the identity matrix; material side 0, direction 0, kind OFFSET_CHAIN, the
// host's length tolerance.
RING_header_s* CHAIN_create_from_csys(const CSYS* csys, CMEM_pool_s* pool);
RING_header_s* CHAIN_create_empty_chain(const CSYS* csys, CMEM_pool_s* pool);
// A new empty chain with the model's CSYS, material side and kind, the model's
// approximation tolerance when set (else 0.0) with the "set" flag on, and
// ethereal when the model is.  A null model (or one without main data) gives
// the defaults of CHAIN_create_from_csys.
RING_header_s* CHAIN_create_from_chain(const RING_header_s* model, CMEM_pool_s* pool);
// A new empty chain whose main data is a copy of the model's whole record.  A
// null model (or one without main data) gives the defaults of CHAIN_create_from_csys.
RING_header_s* CHAIN_create_with_main_data_copied(const RING_header_s* model, CMEM_pool_s* pool);

// False for a null or empty list; otherwise true unless a chain of the list is
// open.  A chain (ring type 1) is answered for itself; other ring types are false.
bool CHAIN_all_chains_are_closed(const RING_header_s* list);
// Whether every vertex of a chain (the start vertex of an open chain excepted)
// carries the back-side mark, or of every non-empty chain of a list.
bool CHAIN_allChainsAreBackSide(const RING_header_s* ring);
// Writes the geometry type into every vertex (values outside 0 to 5 store 0).
void CHAIN_set_all_geom_type(RING_header_s* chain, CHAIN_geom_type_t type);
// Sets the CSYS origin of a chain, or of every chain of a list.
void CHAIN_setOrigin(RING_header_s* ring, const Korvo::Math::Point3* origin);
// Ethereal byte to 1 / 0 on a chain or on every chain of a list; null and other
// ring types: nothing.
void CHAIN_set_ethereal(RING_header_s* ring);
void CHAIN_unset_ethereal(RING_header_s* ring);

// Deletes all header application data of a chain, or of every chain of a list:
// data under a key with a registered delete function goes to that function,
// keys 2 and 13 are freed, other data is left alone.
void CHAIN_delete_app_data(RING_header_s* ring);
// Deletes all application data of every vertex of a chain, or of every chain of
// a list: a registered delete function first, else the data of keys owned by
// the vertex is freed and the rest left alone (unknown keys are listed at
// checking level 1 or more).
void CHAIN_delete_vertex_app_data(RING_header_s* ring);

MERROW1_API_END
