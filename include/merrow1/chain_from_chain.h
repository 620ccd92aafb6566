// Chains made from other chains: the chain of a split-chain piece or of a loop
// of pieces, the chain of a part of a chain, an open chain closed by running
// back along itself and reopened, a chain cut into pieces by a classifier, and
// two open chains joined.
//
// Every chain made here lives in the pool given (or the input chain's pool for
// the in-place edits).
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_types.h>
#include <quorn/quorn.h>
#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// A chain with the main data of the piece's source chain holding the piece
// (forward, or backward when the record is the piece's far end).  A piece
// that runs reversed mirrors the material side (RIGHT <-> LEFT; 0 and 2 kept).
// Null for a null node or record.
RING_header_s* CHAIN_create_splitchain_chain(const RING_node_s* split_chain, CMEM_pool_s* pool,
                                             CHAIN_vertex_source_callback_t callback);

// Walks a loop of split-chain pieces from the given end record: each piece is
// merged, then the walk moves to the other end of the piece (NextSplitChain)
// and on to that end's successor in its junction (orientation 1) or its
// predecessor (orientation -1); any other orientation stops after the first
// piece.  The walk ends back at the start record; the chain (properties of
// the first piece's chain, side 0) is then closed with gap 1e-8.
// A piece without its other end gives null (the partial chain is deleted).
// A walk longer than the network's end-record count raises the host's error
// 965003 "Infinite Loop Encountered" after deleting the partial chain.
RING_header_s* CHAIN_create_chain_from_sc_loop(RING_node_s* split_chain, int orientation, CMEM_pool_s* pool);

// The chain of the part (forward), with the properties of the part's chain;
// null when it has fewer than two vertices.
RING_header_s* CHAIN_create_chain_from_part_of_chain(const PART_OF_CHAIN_s* part,
                                                     CHAIN_vertex_source_callback_t callback, CMEM_pool_s* pool);
// The open chain from vertex `from` to vertex `to` of the chain; null when the
// part cannot be made.
RING_header_s* CHAIN_create_open_chain_from_subset_of_chain(RING_header_s* chain, RING_node_s* from,
                                                            RING_node_s* to, CHAIN_vertex_source_callback_t callback,
                                                            CMEM_pool_s* pool);

// Closes an open chain (or each chain of a list) in place by running back
// along itself: P, Q, R becomes the closed P, Q, R, Q.  The first vertex keeps
// its node, flag word and application data and takes the closing segment's
// geometry; the return vertices are new.  The direction follows the material
// side (RIGHT: CW, LEFT: CCW, else 0).  With the mark, the turning vertex (the
// former last) is kept as header key 110 and every vertex after it up to and
// including the first gets the back-side bit 29; the first vertex's own
// geometry record and segment type are kept (header key 111) for the
// reopening.  Closed chains and chains of fewer than two vertices are left
// alone.
void CHAIN_close_by_reverse(RING_header_s* chain_or_list, bool mark);
// CHAIN_close_by_reverse with the mark.
void CHAIN_create_closed_from_open(RING_header_s* chain);
// Gives the header and every vertex but the first its own key-13 record (int
// 1, then 8 zero bytes; freed with its holder), then closes the chain from
// open.
void CHAIN_create_closed_from_open_with_key(RING_header_s* chain);
// Reopens a chain closed by reverse with the mark: the vertices after the
// turning vertex are deleted, the first vertex gets back the geometry record
// and segment type it had before the closing (a SEG_POINT start when none was
// kept), its back-side bit cleared, and keys 110 and 111 are removed.  Nothing unless
// the chain is closed and its key-110 vertex is one of its vertices.
void CHAIN_recreate_open_chain(RING_header_s* chain);
// Whether the chain is closed back along itself with the mark (it carries its
// turning vertex, header key 110).  Such a chain encloses no area: every piece
// runs once forward and once back, so a direction summed from its pieces in
// doubles is rounding alone (it grows with the square of the extent) and the
// direction given at the closing is the only one it has.
bool CHAIN_is_closed_back_along_itself(const RING_header_s* chain);

// Inserts a vertex at the point on the segment ending at the vertex; a new
// vertex takes the vertex's key-20 source record and its whole flag word.
// Returns the new vertex, or the existing vertex the point coincides with;
// null when there is no such segment.
RING_node_s* CHAIN_split_seg(RING_header_s* chain, RING_node_s* vertex, const Korvo::Math::Point2* point);

// Classifier of CHAIN_split_chain_into_chains: asked first with a null vertex
// (it must answer 2), then at the vertices; answers 0 (no cut), 1 (cut and
// emit the piece since the previous cut) or 2 (cut without emitting).  The
// datum it returns is kept on an emitted piece under header key 120 (shared:
// never freed by the chain).
typedef void* (*CHAIN_split_classifier_t)(const RING_header_s* chain, const RING_node_s* vertex,
                                          CMEM_pool_s* pool, int* answer);
// Cuts the chain into a new chain list (in the pool) by the classifier.  A
// closed chain is walked from the first vertex the classifier answers 2 for,
// through its closing segment back to that vertex; its start is restored
// before returning.  *answer (may be null): 2 with a non-empty list, 1 and
// null when nothing was emitted, 0 and null when the classifier refused the
// null vertex or a point, part or piece could not be made.
RING_header_s* CHAIN_split_chain_into_chains(RING_header_s* chain, CHAIN_split_classifier_t classifier,
                                             CHAIN_vertex_source_callback_t callback, CMEM_pool_s* pool,
                                             int* answer);

// Moves the vertices of open chain 2 onto the end of open chain 1: chain 2's
// first vertex is deleted when it lies within the tolerance of chain 1's last
// point, otherwise it becomes a line bridging the gap (an empty chain 1 takes
// the vertices as they are).  Nothing when a chain is closed or null, chain 2
// has no segment, or the chains live in different pools (the moved records
// would stay in chain 2's pool).
void CHAIN_append_chain_to_chain(RING_header_s* chain1, RING_header_s* chain2, double tolerance);

// The chain (or each chain of a list) projected along the direction onto the
// plane a x + b y + c z = d (plane normalised first; a zero normal gives
// null).  The output CSYS has the orientation MTX3_init_z makes from the
// normal and the origin d n, less the offset point when given; output points
// are expressed in it (their normal component dropped).  A point p moves to
// p + direction (d - p.n) / s with s = direction.n, and keeps its place
// (projected orthogonally into the plane) when |s| <= 1e-10.  Points stay
// points, lines end at their projected end; arcs are divided into lines at
// the tolerance (by default 0.001 when the work part's units are 1, else
// 0.03).  The callback is asked after each vertex added.  A closed chain
// gives a closed chain.  For a list: a new list in the pool (the input's when
// null), circular when the input's is.
RING_header_s* CHAIN_create_projected_chain(RING_header_s* chain_or_list, CMEM_pool_s* pool, const double plane[4],
                                            const Korvo::Math::Vector3& direction,
                                            const Korvo::Math::Vector3* offset_point, const double* tolerance,
                                            CHAIN_vertex_source_callback_t callback);

struct TOOL_s;
// A chain list (in the pool) with one open chain per tool of the host's tool
// list: each profile element runs from its point to the next element's point,
// as a CCW arc about its centre when its kind is 1, else as a line; a last
// element of kind 0 runs along its direction for the tool's length.  Null for
// null arguments.
RING_header_s* CHAIN_convert_tool_to_chains(TOOL_s* tools, const CSYS* csys, CMEM_pool_s* pool);

// The region of an open chain offset back along itself, for each chain of a
// list.  An open chain is closed by reverse (its vertices marked with bit 13,
// the turn kept under key 110) and resolved by the union region boolean into
// `out`, its own segments at offset 0 and the return segments (the closing
// one included) at `offset`: a strip of that width on the material side whose
// near edge is the chain itself, with round caps at the ends; then it is
// reopened with its flag words, material side, direction, implied
// offset and region-set id as they came (also when the boolean raises an
// error, which then passes on).  The new region chains take the chain's
// region-set id and implied offset; a region vertex whose key-20 source is a
// vertex of the chain after the first takes that vertex's flag word (its own
// segment type kept); a region vertex made from a return segment is marked
// back side (bit 29) without a geometry type, and its key-20 and key-17 links
// are pointed at the chain's vertex whose segment it ran back along (the
// return vertices are dropped when the chain reopens).
// A closed chain is appended to `out` itself (a reference: `out` then shares
// the caller's chain) and, with `flip`, also resolved at the offset with its
// material side swapped for the call.
// True when some chain was open; false for a null chain or output or an
// empty chain, and false with the note "Assertion failed:
// DUE_TO_INVALID_RING_TYPE" when `out` is not a chain list.
bool CHAIN_create_closed_by_offset_reverse(const RING_header_s* chain_or_list, double offset, RING_header_s* out,
                                           bool flip);

// Turns the results of region offsets of open chains back into open pieces.
// For the call, the results get region-set id 0, the chains of `second` 2 and
// the input's 1 (the caller's ids come back afterwards).  A result chain of
// the second set with a vertex on its source (key-74 record with a non-zero
// second int, or else geometry type 1 to 5) is replaced in its result node by
// its key-10 source chain (when it has one); without such a vertex it is
// deleted and its nodes leave the results and the second set.  Any other
// result chain (id 0) is cut into open chains, one per run of vertices on
// their source, each starting at the vertex before its run; a closed chain is
// opened where a run ends, so that no run is cut at its seam.  The first
// piece stays in the chain, the others are appended to the results; a chain
// with no such run is deleted with its node.  Input chains among the results
// are left alone.  Nothing for null results; nothing, with the note
// "Assertion failed: DUE_TO_INVALID_RING_TYPE", when the results or the
// second set are rings other than chain lists.
void CHAIN_open_closed_by_offset_reverse(const RING_header_s* input, RING_header_s* second, RING_header_s* results);

MERROW1_API_END
