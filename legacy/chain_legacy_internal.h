// Internal steps of the earlier builds' chain code, reachable from tests.
#pragma once

#include <merrow1/chain_types.h>

// Whether the segment is a flat arc: an arc whose chord mid-point lies within
// 2.5e-8 of its arc mid-point (the mid-point along the arc in its own sense,
// so a major arc is never flat).
bool CHAIN__legacy_is_flat_arc(const SEGMENT* segment);

// One step of this build's network builder: labels the next connected
// component of a split-chain network (a ring of junctions whose sub-rings
// hold SPLIT_CHAIN_s end records).  The first junction of the ring without
// key 5 starts the component: the counter the network header points to (an
// int, made in the network's pool when missing) is raised, and that junction
// and every junction reached from it through the far junctions of end records
// take the counter as their number (SPLIT_JUNCTION_s::pass) and key 5.  So
// components are numbered 1, 2, ... in the ring order of their first
// junctions.  False, with nothing changed, when every junction carries key 5
// (or for a null network).  The walk labels at most as many junctions as the
// ring holds; links that lead it further raise the host error 965003.
bool CHAIN__legacy_label_next_network(RING_header_s* network);
