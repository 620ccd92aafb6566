// Chain intersections and intersection-point lists.
//
// Finds where chains cross or touch: one chain against itself, one chain
// against a chain list, the chains of a set among themselves, and two lists.
// The results are gathered in an intersection-point list, the input of the
// split-chain network.
//
// Intersection-point list.  A ring of type 2 (make it with
// RING_create_in_pool(nullptr, RING_TYPE_LIST, pool)).  Each node carries a
// sub-ring of type 1 whose main data is one chain (not owned: its main-data
// delete function is null) and whose nodes each carry an owned copy of a
// POINT_ON_CHAIN_s on that chain, made in the list's pool.  Invariants:
// - at most one sub-ring per chain, in the order in which the chains first
//   received a point;
// - inside a sub-ring the points ascend by chain parameter and no two are
//   equal by PointOnChainEq (among equal parameters the newest stands first);
// - when an operation finishes, the sub-ring of a closed chain is circular
//   (its last node's next is its first); that of an open chain stays open.
//
// Segment numbers count from 1: segment i ends at the i-th vertex after the
// first, so a closed chain's last segment (number = vertex count) ends at the
// first vertex.
//
// Chain boxes.  The list operations test chain boxes (CHAIN_BOX_s along one
// axis, widened by 1e-8) before any pair of segments; boxes computed along
// the default axis are left cached on the chains.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_part.h>
#include <quorn/quorn.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Default tolerance of segment intersections and of the chain box tests.
constexpr double CHAIN_INTERSECTION_TOLERANCE = 1e-8;

// Adds a copy of the point to the chain's sub-ring (made, as a new last node,
// when the chain has none), in parameter order, unless an equal point is
// there.  Asks the host first whether the user wants to abort (and raises
// then).  1; 0 for null arguments.
int InsertIntersectionPoint(const POINT_ON_CHAIN_s* point, RING_header_s* list);

// Enters the chain's start point (parameter 0, first vertex) and, for an open
// chain, its end point (parameter vertex count - 1, last vertex).  1; 0 for a
// null argument or an empty chain.
int LoadChainEdges(RING_header_s* chain, RING_header_s* list);

// Enters the intersections of segment i of chain A (ending at node a) with
// segment j of chain B (ending at node b), found with the tolerance: for two
// chains, whether the segments run together (on one line or circle), touch or
// lie on one centre is decided within it too, not within the host length
// tolerance, so segments of two chains apart by more than it cross or miss
// each other.  Within
// one chain, neighbouring segments are not tested at a smooth joint or at a
// turning corner of two lines, and their joint is never entered; an overlap
// within one chain enters nothing.  Overlapping segments of different chains
// enter the ends of the overlap on both chains.  Unreadable segments are
// passed over.  1; 0 for null arguments.
int ChainSegmentInt(RING_header_s* chain_a, RING_header_s* chain_b, int i, int j, RING_node_s* a, RING_node_s* b,
                    RING_header_s* list, double tolerance);

// Intersections of one chain with every chain of a list (which may hold the
// chain itself).  Own ends: the chain's end points are entered first.
// Others' ends: afterwards, the end points of every other chain that has a
// sub-ring are entered.  The chain's box runs along its cached box's axis when
// it has one, else along the direction (null: (0, 1)).  Sets the list's node
// main-data delete function to null.  1; 0 for null arguments.
int CHAIN_chain_chains_intersections(RING_header_s* chain, RING_header_s* chains, bool own_ends, bool others_ends,
                                     const Korvo::Math::Vector2* direction, RING_header_s* list, double tolerance);
// The same with the tolerance 1e-8.
int CHAIN_chain_chains_intersections(RING_header_s* chain, RING_header_s* chains, bool own_ends, bool others_ends,
                                     const Korvo::Math::Vector2* direction, RING_header_s* list);
// CHAIN_chain_chains_intersections with own ends, the default axis and 1e-8; 1.
int ChainToChainsInt(RING_header_s* chain, RING_header_s* chains, RING_header_s* list, bool others_ends);
// ChainToChainsInt for every chain of list 1 against list 2, then the end
// points of every chain of list 2; 1.
int ChainsToChainsInt(RING_header_s* list1, RING_header_s* list2, RING_header_s* result, bool others_ends);
// Both chains' end points, then every pair of segments of the two; 1.
int ChainToChainInt(RING_header_s* chain1, RING_header_s* chain2, RING_header_s* list);
// Self-intersections of one chain (its end points entered first); 1.
int ChainIntersection(RING_header_s* chain, RING_header_s* list);
// Every chain of the set against itself and every later chain (chains of
// fewer than two vertices passed over); a copy of the set's box hangs on the
// list header under key 2 afterwards.  1.
int ChainsIntersection(RING_header_s* set, RING_header_s* list);
// As ChainsIntersection without the pairs inside one chain.  End points are
// entered for every chain before the search, or, with ends_after, after it and
// only for chains that received a point.  1.
int ChainsIntersectionBetween(RING_header_s* set, RING_header_s* list, bool ends_after);

// Whether the two chains (or one chain with itself) cross or touch; the first
// point found on chain 1 goes to `first` (may be null), which is cleared
// otherwise.
bool CHAIN_to_chain_has_intersections(RING_header_s* chain1, RING_header_s* chain2, POINT_ON_CHAIN_s* first);
// Whether a chain, or any chain of a list, intersects itself.
bool CHAIN_has_self_intersections(RING_header_s* chain_or_list);
// Number of intersection points of the chain with the chains of the list
// (its own end points not counted).
int CHAIN_number_of_intersections_between_chain_and_chains_in_list(RING_header_s* chain, RING_header_s* chains);
// Number of intersection points of chain 1 with chain 2, counted on chain 1.
int CHAIN_number_of_intersection_points_in_common(RING_header_s* chain1, RING_header_s* chain2);

MERROW1_API_END
