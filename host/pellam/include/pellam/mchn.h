// Host CAM core: machining-chain data kept with chain vertices (MCHN_ family).
//
// The chain code calls these when vertices are merged, split apart or made
// between others, so the host can keep its per-vertex machining data (Z
// values and the like) in step.  The chain model treats them as opaque.
#pragma once

struct RING_header_s;
struct RING_node_s;

// Two vertices of a chain become one: the host merges the data of `a` and `b`
// into `into`.
void MCHN_combine_z_data(RING_header_s* chain, RING_node_s* a, RING_node_s* b, RING_node_s* into);
// A vertex is split into two at the same point: the host gives `second` its
// share of the data of `vertex` (`first` keeps the rest).
void MCHN_separate_z_data(RING_header_s* chain, RING_node_s* vertex, RING_node_s* first, RING_node_s* second);
// A vertex was made between two others: the host interpolates its data from
// the neighbours (either may be null).
void MCHN_interpolate_vertex_app_data(const RING_node_s* previous, const RING_node_s* next,
                                      const RING_header_s* chain, RING_node_s* vertex);
