// Module-internal pieces of the region fillets, declared for their tests.
#pragma once

#include <velte/ring.h>

// Vertex flag of a segment that is a fillet arc made by the region fillets,
// carried through booleans by their merge callback.
constexpr unsigned CHAIN_VERTEX_FILLET_ARC = 0x10000000u;

// Whether the segment ending at the vertex may be filleted: its geometry
// type (the host's, else the flag field) is not 0, not 3 unless allow3, not
// 2 unless allow2, and the back-side bit 29 is clear.
bool CHAIN__vertex_is_filletable(const RING_header_s* chain, const RING_node_s* vertex, bool allow3, bool allow2);

// The shapes of one closed union chain that the fillet offsets.  Every vertex
// filletable: the chain itself goes to `shapes` (answer 1) and, when the chain
// is a hole (CCW with RIGHT or CW with LEFT), *no_hole_taken_whole becomes
// false.  No vertex filletable (or an open or too short chain): nothing
// (answer 0).  Otherwise each maximal run of filletable vertices, with the
// vertex before the run as its start, becomes a new open chain in the pool of
// `shapes` closed there and back with the back-side mark and given the
// chain's material side (answer 2).
int CHAIN__select_fillet_shapes(RING_header_s* chain, bool allow3, bool allow2, RING_header_s* shapes,
                                bool* no_hole_taken_whole);

struct POINT_ON_CHAIN_s;

// Puts a fillet arc into a chain between two places on it, around the centre.
// Both places become vertices (a new vertex takes the key-131 datum of the
// vertex whose segment it splits).  When they differ, every vertex strictly
// between them goes (a closed chain whose first vertex goes starts at the first
// place's vertex), the segment ending at the second vertex becomes the arc
// from the first vertex about the centre, turning the short way, and the
// second vertex gets the fillet-arc flag, copies of the first vertex's key-20
// and key-17 links (the key-17 copy marked; links removed where the first has
// none), loses key 131 unless the first has it, and takes the better geometry
// type of the two vertices (type 2 first, then 3, 4 and 1, any other last; a
// key-74 record is cloned).  Both vertices get a zeroed key-14 record.  The
// second vertex, or null when a place is not on the chain or cannot be
// inserted, or the second place does not follow the first on an open chain.
RING_node_s* CHAIN__insert_fillet_arc(const POINT_ON_CHAIN_s* first, const POINT_ON_CHAIN_s* second,
                                      const double centre[2]);

// Merge callback of the corner pass's union: the new vertex takes the
// fillet-arc flag of the source segment's vertex, then the host's implied-
// offset merge runs.  The host's answer.
int CHAIN__fillet_merge(RING_node_s* source, RING_node_s* source_segment, RING_header_s* source_chain,
                        RING_node_s* vertex, RING_header_s* chain);

// Gives the pieces of a filleted result their sources among the input
// chains (region-set id 1).  A chain of the list with id 1 stays as it is.
// Any other chain needs a vertex whose key-17 source chain has id 1, else it
// is removed from the list (and deleted with its node when the list owns
// its chains).  Walking round from that vertex, each vertex
// whose key-17 source is not such a chain takes copies of the key-17 and
// key-20 links of the last vertex that had one, receives the fillet-arc flag
// when the vertex its key-20 link named had it, and takes that vertex's
// key-74 record (a shared reference) or, without one, its flag bits 2-9 and
// source surface with the inherited-source bit 0x400 set.  The number of
// chains removed.
int CHAIN__relink_fillet_sources(RING_header_s* list);

// Chains of the region list that the fillet result F draws on nothing from:
// an input chain yields when it is the key-10 source of a chain of F that has
// a segment of geometry type 2, or the key-20 source of a vertex of a chain
// of F.  Without a sliver width the others are removed from the list (and
// deleted with their nodes when the list owns its chains); with one, nothing
// is removed and *retry is set when there is any.  The number of chains that
// yield nothing.
int CHAIN__drop_unfilleted_chains(RING_header_s* list, RING_header_s* fillet, bool have_width, bool* retry);
