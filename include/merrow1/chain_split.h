// Split-chain network: chains cut at their intersection points into pieces,
// every intersection point a junction, and at each junction the ends of the
// pieces that meet there sorted around the point.
//
// Input: an intersection-point list (chain_intersection.h).  Every point node
// of the list receives CHAIN_APP_DATA_SPLIT_JUNCTION: its junction node.
//
// The network is a ring (normally of type 2, made by the caller) whose nodes
// are junctions.  A junction node's sub-ring (type 1) has a SPLIT_JUNCTION_s as
// main data and one node per piece end meeting there, each holding a
// SPLIT_CHAIN_s.  After the build every junction's nodes form a closed ring in
// angular order: increasing angle, then increasing curvature (both compared
// within 1e-6), then material side.  Of the ends whose pieces do not run
// together (tie so and lie within the junction distance of each other), the
// builds from intersection lists order those whose branches can be read by
// the exact counter-clockwise order of the branches from the direction (1, 0).
//
// Ownership: junction records, end records, pieces and their two point copies
// all live in the network's pool.  Deleting an end record's node frees the
// record; the piece is shared by the two ends of the piece and stays in the
// pool.  Junctions that the walks drop are unlinked from the network, never
// freed, so far-junction pointers of other records stay valid.
#pragma once

#include <merrow1/export.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_part.h>
#include <velte/ring.h>

#include <cstdint>

MERROW1_API_BEGIN

// Main data of a junction's sub-ring.
struct SPLIT_JUNCTION_s {
    double point[2];
    // 0 after the build; the interference indexing writes the pass in which
    // the junction was indexed.
    std::intptr_t pass;
};

// One end of a piece at a junction.
struct SPLIT_CHAIN_s {
    // SegmentCurvature of the piece's segment at the junction, negated for a
    // reversed end.
    double curvature;
    // Direction in which the piece leaves the junction, in [0, 2 pi)
    // (ChainVectorCircularParameter of the unit tangent).
    double angle;
    // The piece.  Both ends of a piece refer to the same record.
    PART_OF_CHAIN_s* piece;
    // The junction node at the other end of the piece (null until known).
    RING_node_s* far_junction;
    // 0: the piece starts here and leaves along its chain's direction;
    // 1: the piece ends here (tangent and curvature taken backwards).
    int reversed;
    // After the build: the position of the record in its junction's ring, 1
    // to n.  Once ChainsNodeInterfIndex has run over the junction: the
    // record's interference index.
    int index;
};

// Builds the network of the intersection list into the ring: points within
// squared distance 1e-16 share a junction (the first one made); pieces run
// between consecutive points of each chain (and around from the last to the
// first on a closed chain).  Junctions left without end records are unlinked.
// Null arguments do nothing.
void ChainsSplit(const RING_header_s* intersections, RING_header_s* network);

// The same network, with the junction search through the host's interference
// grid (scratch pool "CHAIN_split"); empty junctions are kept.  Returns a new
// ring of type 1 in the network's pool listing every piece made
// (PART_OF_CHAIN_s), in the order made; null for null arguments.  Errors pass
// as Korvo::Error::Severe after the scratch pool is freed.
RING_header_s* CHAIN_split(const RING_header_s* intersections, RING_header_s* network);

// Makes the end record of the piece at the junction whose end-record ring is
// given (reversed: the piece's end lies there) in that ring's pool and inserts
// it in angular order.  Null for a null argument, or when the segment at the
// end or its tangent cannot be read.
SPLIT_CHAIN_s* PutSplitChain(RING_header_s* junction, PART_OF_CHAIN_s* piece, int reversed);

// Unlinks every junction whose sub-ring is missing or empty.
void CHAIN__remove_unneeded_splitpoints(RING_header_s* network);

// The node of the other end of the same piece (same piece, other reversed
// flag) in the piece's far junction; that junction's end-record ring goes to
// *junction (may be null).  Null when there is no such record.
RING_node_s* NextSplitChain(const SPLIT_CHAIN_s* end, RING_header_s** junction);

// NextSplitChain of the record held by the node; a missing twin is noted as
// "DUE_TO_REVERSE_SPLITCHAIN_NOT_EXISTING" under checking and answers null.
RING_node_s* CHAIN_reverse_splitchain(const RING_node_s* record_node);

// Interference indices of one junction's records, walking the ring from the
// start record (null: the first).  The effective side of a record is the
// material side of its piece's chain, RIGHT and LEFT swapped for a reversed
// end.  A running count starts at base (base + 1
// when the first record's effective side is RIGHT and its chain is not
// ethereal).  A record of side 0 or of an ethereal chain gets the count; a
// LEFT record gets the count, which then rises by one; a RIGHT record gets the
// count less one, which becomes the count; any other side keeps its index.
// Returns the lowest index given, never above `min`.  *consistent (may be
// null) is false when the junction holds more than one record and the count
// does not come back to its starting value.
int ChainsNodeInterfIndex(RING_header_s* junction, RING_node_s* start, int base, int min, bool* consistent);

// Cleans a network for a walk: drops junctions without records, indexes every
// junction from its first record with base 0 and, where it is consistent,
// keeps only the records carrying its lowest index; then deletes records
// whose piece has no other end and drops the junctions left empty.
void CHAIN_clean_split_chains(RING_header_s* network);

MERROW1_API_END
