// Trochoidal tool paths of the earlier builds: loop vertices spread evenly
// along the embedded stretches of a path, full circular loops inserted at
// them (each loop leaves and rejoins the path tangentially), and a chain of
// nested tangential loops about one point.
//
// Loop placement at a vertex V for radius r: the tangent t at V (the outgoing
// one for a chain's first vertex, else the incoming one) turned by +90 degrees
// for material side RIGHT and by -90 degrees otherwise gives n; the loop's
// centre is V + r n and its start direction -n, so it passes through V
// tangent to the path.  Loops run CCW for RIGHT and CW otherwise.
//
// The closing tolerance of a chain is its approximation tolerance when set
// and not below 1e-8, else 1e-8.
#pragma once

#include <merrow1/export.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_types.h>
#include <quorn/quorn.h>
#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Role of a vertex in an embedded stretch.
typedef int CHAIN_embedded_vertex_type_t;
enum {
    CHAIN_EMBEDDED_STRETCH_START = -1,
    CHAIN_EMBEDDED_LOOP_VERTEX = 0,
    CHAIN_EMBEDDED_STRETCH_END = 1,
};

// Vertex record under CHAIN_APP_DATA_EMBEDDED_VERTEX (203).
struct CHAIN_embedded_vertex_data_s {
    CHAIN_embedded_vertex_type_t type;
    int keep;  // 1: the clean-up keeps the vertex
};

// Vertex record under CHAIN_APP_DATA_EMBEDDED_STATE (214), written by the
// marking steps that precede the spreading.
struct CHAIN_embedded_state_s {
    int embedded;
    unsigned char removable;
};

// Hangs a new record of the type (keep 0) on the node under key 203, made in
// the pool; a record the node had is freed first.  Null for a null node.
CHAIN_embedded_vertex_data_s* CHAIN_add_embedded_vertex_data(RING_node_s* node, CHAIN_embedded_vertex_type_t type,
                                                             CMEM_pool_s* pool);

// Spreads loop vertices (key-203 records of type 0) along every embedded
// stretch, from a start mark (-1) to the following end mark (1), so that they
// lie at equal lengths along the chain, about `spacing` apart: a stretch of
// length L gets n - 1 inner vertices at L / n steps, n being L / spacing
// (rounded when it is whole within 1e-7, else raised to the next whole number,
// and at least 1).  Inner type-0 records a stretch had are removed first; a
// stretch shorter than 1e-7 loses both its marks.  A second start mark while a
// stretch is open, and an end mark with none open, lose their records.  A
// closed chain with no start mark is one stretch over its whole perimeter from
// its first vertex, which gets a type-0 record.  New vertices are made by
// CHAIN_insert_vertex with the callback (may be null) and copy their source
// segment's key-20 data.  A closed chain keeps its start vertex.
//
// Then, on a chain with header key 204, the embedded states are cleaned up:
// on a narrowly embedded chain (key 216) every key-203 record is kept, else
// every vertex where the key-214 embedded state changes keeps its record;
// every key-214 record is freed, and a vertex whose record was removable and
// that has neither key 203 nor key 205 is deleted (the next vertex becomes the
// start point when it was the first vertex of an open chain).
//
// Chain debug reports frame the call: "chain before evenly distribute" (code
// 16) and "chain - after evenly distribute" (19), with "Chain - narrow
// embedded" (19) before the last after the clean-up of a narrowly embedded
// chain.
//
// Refused, with the chain unchanged and the note "Assertion failed:
// DUE_TO_INVALID_DATA": a null chain, a spacing that is not finite or at most
// 1e-8, and a spacing for which the chain's whole length would need more than
// 1,000,000 vertices.
void CHAIN_evenly_distribute_embedded_vertices(RING_header_s* chain, double spacing,
                                               void (*callback)(const RING_header_s*, RING_node_s*));

// Inserts a full loop of the radius after every vertex with a key-203 record
// (loop placement above); the looped chain passes each such vertex twice.  A
// closed chain is opened at its first vertex for the duration and closed again
// with its closing tolerance, also when an error passes.  A radius that is not
// finite or at most 0 changes nothing (note "Assertion failed:
// DUE_TO_INVALID_RADIUS").
void CHAIN_insert_tangential_loops(RING_header_s* chain, double radius);

// A new chain in the pool: the source with a loop at every loop vertex.  The
// loop vertices are first spread on the source itself
// (CHAIN_evenly_distribute_embedded_vertices with the spacing and no
// callback), so the source gains vertices and key-203 records.  Then the
// result takes, vertex by vertex, the piece of the source up to the vertex
// (ChainMerge with the callback) and, when the vertex carries key 203, the
// loop at it (the first vertex of an open source first).  A closed source
// gives a closed result (closing tolerance).  Null, with the source unchanged
// and a note, for a null chain, a spacing the spreading refuses, or a radius
// that is not finite or at most 0; null for an empty chain.  Nothing of the
// result is left in the pool when an error passes.
RING_header_s* CHAIN_create_tangential_trochoidal_chain(RING_header_s* chain, double radius, double spacing,
                                                        CHAIN_vertex_source_callback_t callback, CMEM_pool_s* pool);

// The open loop of the radius at the vertex's loop placement, in the pool,
// starting and ending at the vertex; the centre and the direction n are
// written to the optional outputs.  Null for a null chain or vertex, or a
// radius that is not finite or at most 0 (note).
RING_header_s* CHAIN_create_tangential_vertex_loop(const RING_header_s* chain, const RING_node_s* vertex,
                                                   double radius, CMEM_pool_s* pool, Korvo::Math::Point2* centre,
                                                   Korvo::Math::Vector2* direction);

// A chain on the system starting at the point, followed for k = 0 to count by
// the loops of radius r0 + k (R - r0) / count that are at least 1e-6, each
// centred at point + radius D with start direction -D (so each passes through
// the point) in the sense.  D is normalised.  A count of 0 or below gives the
// bare start point.  Null (note "Assertion failed: DUE_TO_INVALID_DATA") for a
// zero or non-finite direction, a largest radius that is not finite or at
// most 0, or a smallest radius that is not finite.
RING_header_s* CHAIN_create_chain_from_tangential_loops(const Korvo::Math::Point2* point,
                                                        const Korvo::Math::Vector2* direction, double largest_radius,
                                                        double smallest_radius, DIRECTION sense, int count,
                                                        const CSYS* csys, CMEM_pool_s* pool);

MERROW1_API_END
