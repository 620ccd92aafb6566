// Merge callbacks, splitting at junctions and set services.
//
// The vertex-source callbacks here decide which vertex marks survive a
// boolean or a merge; they have the CHAIN_vertex_source_callback_t form
// (source node, source node of the segment, source chain, new node, new
// chain) and always answer 1.  A chain can be walked part by part between
// junction vertices chosen by a predicate, each part handed to a functor, or
// split into new chains at those junctions.
#pragma once

#include <merrow1/export.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_part.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Keys read and written here: CHAIN_APP_DATA_LOOP_CLASS,
// CHAIN_APP_DATA_HOLE_ABSORBED and CHAIN_APP_DATA_SELF_NODE (app_data_keys.h).

// Loop-class record (8 bytes, in the pool of the chain that carries it).
struct CHAIN_loop_class_s {
    // 2 undetermined, 1 the source has its material inside, 0 the source is a
    // closed loop with its material outside.
    int material_class;
    // Starts 1; cleared by the boolean merge callback when a source vertex is
    // not a dummy.
    unsigned char all_dummy;
};

namespace Korvo {
namespace Cam {

// Receives the parts of a chain one by one.
class IPartOfChainFunctor {
public:
    virtual ~IPartOfChainFunctor() {}
    virtual void operator()(const PART_OF_CHAIN_s& part) = 0;

protected:
    IPartOfChainFunctor() {}
};

}  // namespace Cam
}  // namespace Korvo

// Junction predicate: what happens at a vertex.
typedef int (*CHAIN_junction_predicate_t)(const RING_header_s* chain, const RING_node_s* vertex);
enum {
    CHAIN_JUNCTION_START = 1,       // a part starts here
    CHAIN_JUNCTION_END = 2,         // a part ends here
    CHAIN_JUNCTION_END_START = 4,   // a part ends here and the next starts here
};

// Copies the on-wall mark (0x800) of the source vertex to the new vertex;
// nothing when an argument is null.  1.
int ChainMergeWall(RING_node_s* source, RING_node_s* source_segment, RING_header_s* source_chain,
                   RING_node_s* vertex, RING_header_s* chain);
// The boolean's bookkeeping for a new vertex: a source vertex that is not a
// dummy trace vertex clears the new chain's all-dummy byte (loop-class
// record); a source key-131 mark gives the new vertex its own key-131 mark;
// the new vertex takes the source's geometry type and back-side mark.  1.
int CHAIN_boolean_merge_internal(RING_node_s* source, RING_node_s* source_segment, RING_header_s* source_chain,
                                 RING_node_s* vertex, RING_header_s* chain);
// CHAIN_boolean_merge_internal, then the on-wall and boolean marks (0x800,
// 0x4000) of the source are added to the new vertex.  1.
int CHAIN_boolean_merge(RING_node_s* source, RING_node_s* source_segment, RING_header_s* source_chain,
                        RING_node_s* vertex, RING_header_s* chain);

// Walks the chain from the first vertex the predicate answers 1 or 4 and
// hands every part between junctions to the functor: 2 or 4 ends the open
// part at the vertex, 1 or 4 opens one there.  A closed chain is walked once
// around; an open one to its last vertex.  A part still open at the end of
// the walk ends there.  Nothing for a null functor or predicate or an empty
// chain.
void CHAIN_split_at_junction_apply_ftor(RING_header_s* chain, CHAIN_junction_predicate_t predicate,
                                        Korvo::Cam::IPartOfChainFunctor* functor);
// The same walk; each part becomes a new chain in the list's pool (the source
// chain's properties, the part's vertices forward, the callback asked for
// each vertex added), appended to the list as a new last node.
void CHAIN_split_at_junction(RING_header_s* chain, RING_header_s* list, CHAIN_junction_predicate_t predicate,
                             CHAIN_vertex_source_callback_t callback);

// True for a TRACE_CHAIN whose every vertex carries a trace record marked
// dummy (an empty trace chain counts); false otherwise.
bool CHAIN_is_chain_all_dummy(const RING_header_s* chain);
// A vertex of a result chain stands on the source piece that ends at `piece`:
// when that piece is not a dummy, the chain's loop-class record (key 7), if
// any, no longer counts the chain as made of dummies alone.  The chain
// builders note every piece themselves, whatever vertex-source callback they
// were given, so the callback never decides which results are kept.
void CHAIN_note_loop_source_piece(RING_header_s* chain, const RING_node_s* piece);
// Appends the chain as the sub-ring of a new last node unless a node of the
// list already holds it; nothing for null arguments.
void CHAIN_add_chain_to_list(RING_header_s* list, RING_header_s* chain);
// Removes the header keys 10, 20 and 7 (the data itself stays in the pool).
void CHAIN_remove_source_reference(RING_header_s* chain);
// Sets the on-wall mark on every vertex that ends a segment: all vertices of
// a closed chain, all but the first of an open one.
void CHAIN_set_all_segments_on_wall(RING_header_s* chain);

// The boolean of a set of stocked chains (ChainsBoolean) into the result set,
// dropping enclosed holes: a result chain with its material outside and no
// loop-class record, or one of class 0, that lies inside a result chain with
// its material inside is unlinked from the result (once), and that chain
// gets key 39.  1 when the boolean gave chains and no hole was dropped;
// otherwise 0, and the loop-class records (key 7) of the input chains are
// deleted.  0 for a null set or result.
int ChainsStockedBoolean(RING_header_s* set, SIDE side, RING_header_s* result, CHAIN_vertex_source_callback_t callback);
// Whether the regions of two chains overlap: their intersection as region
// sets 1 and 2 (each offset by its implied offset when one is given, its
// material side swapped with its flip flag) is not empty.  The area out (may
// be null) gets the absolute area of the intersection, else 0.0.  False
// unless both chains have vertices.  The region-set ids, implied-offset words
// and values and material sides of both chains are as before the call on
// every path, an error passing included.  Scratch lists live in chain 1's
// pool for the call.
bool CHAIN_HasOverlapBetweenChains(RING_header_s* chain1, const double* offset1, bool flip1, RING_header_s* chain2,
                                   const double* offset2, bool flip2, double* area);

MERROW1_API_END
