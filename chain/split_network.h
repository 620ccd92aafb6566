// Building blocks of split-chain networks shared by the builds that make them
// (chain/chain_split.cpp from intersection lists, chainops/chain_region.cpp
// from polygon-set networks) and by the walks that cut their pieces.
#pragma once

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_split.h>

#include "chain/chain_winding.h"

#include <cmath>

namespace merrow1 {

// A new, empty junction at the point, appended to the network: its end-record
// ring (type 1, a SPLIT_JUNCTION_s as main data) frees its junction record and
// its end records with itself.  All in the network's pool.
RING_node_s* add_split_junction(RING_header_s* network, const double point[2]);

// Makes the end record of the piece at the junction (reversed: the piece's
// end lies there) from the curvature and unit tangent with which the piece
// leaves the junction (already negated for a reversed end) and inserts it in
// angular order.  With `exact_order` (the junction's point lies on every piece
// that meets there, within rounding) two records whose pieces do not run
// together go in the exact order of their branches where both can be read.
// Null when the record cannot be allocated.
SPLIT_CHAIN_s* put_split_end(RING_header_s* junction, PART_OF_CHAIN_s* piece, int reversed, double curvature,
                             const double tangent[2], bool exact_order = false);

// Tangent angles and curvatures of end records tie within this in a
// junction's order.
constexpr double split_end_tie = 1e-6;

// Whether two end records of a junction leave it as one: tangent angle and
// curvature each within the tie.
inline bool split_ends_tie(const SPLIT_CHAIN_s* a, const SPLIT_CHAIN_s* b) {
    return std::fabs(a->angle - b->angle) <= split_end_tie && std::fabs(a->curvature - b->curvature) <= split_end_tie;
}

// Whether two end records of a junction run together: they tie, their
// pieces end at one place (within the junction distance) and the middle of
// each lies within that distance of the other piece.  Pieces that merely
// leave with tangents and curvatures within the tie (two curves crossing at
// a small angle, or parting slowly) do not: their order is the exact order
// of their branches, and the face between them is a face of width.
bool split_ends_run_together(const SPLIT_CHAIN_s* a, const SPLIT_CHAIN_s* b);

// Whether the pieces of two end records end at one place (within the
// junction distance) and the middle of each lies within that distance of
// the other piece, whatever their tangents.
bool split_ends_lie_together(const SPLIT_CHAIN_s* a, const SPLIT_CHAIN_s* b);

// The branch along which the record's piece leaves the point `at` of its
// junction: from a vertex lying on the point itself (the place's node, or
// the vertex before it, whose segment the place opens), or, with `inside`,
// from inside the segment that holds the place, taken to run through the
// point.  False when the piece leaves from neither.
bool split_end_branch(const SPLIT_CHAIN_s* end, const double at[2], bool inside, CHAIN__branch_s* branch);

// Closes a junction's end records into a ring and numbers them 1 to n.
void close_split_junction(RING_header_s* junction);

// A piece between two places of one chain, on fresh copies of both, in the
// pool.  With `around`, a piece from a place of a closed chain round to the
// same place is the whole chain.  Null when the places do not make a part.
PART_OF_CHAIN_s* make_split_piece(const POINT_ON_CHAIN_s* from, const POINT_ON_CHAIN_s* to, bool around,
                                  CMEM_pool_s* pool);

// The end record a node of a junction's ring carries; null for a null node.
inline SPLIT_CHAIN_s* split_end_record(const RING_node_s* node) {
    return node ? static_cast<SPLIT_CHAIN_s*>(node->main_data) : nullptr;
}

// The junction record of a network node (main data of its end-record ring),
// or null when the node has no ring.
inline SPLIT_JUNCTION_s* split_junction_record(const RING_node_s* junction) {
    RING_header_s* ends = RING_ask_node_subring(junction);
    return ends ? static_cast<SPLIT_JUNCTION_s*>(ends->main_data) : nullptr;
}

// Whether a walk over the network has marked the junction (key 5).
inline bool split_junction_marked(const RING_node_s* junction) {
    return APP_DATA__ask_app_data(junction->app_data, CHAIN_APP_DATA_SCRATCH_MARK) != nullptr;
}

}  // namespace merrow1
