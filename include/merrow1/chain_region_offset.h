// Regions between the chains of sets, offsets of whole region sets and the
// small region-set services around them.
//
// A region set is a chain list of closed chains with material sides: outer
// boundaries (material outside) and islands (material inside), as the island
// test of chain_region.h tells them apart.
#pragma once

#include <merrow1/chain_edit.h>
#include <merrow1/chain_types.h>
#include <quorn/quorn.h>
#include <velte/cmem.h>
#include <velte/ring.h>

// The regions between the chains of the set, appended to `out`, on the
// engine the switch names (chain_region.h): the newer engine's minimal loops
// of the set, or the older split-chain engine (the set's chains intersected
// pair by pair, never a chain with itself, in the private pool
// "CHAIN-ChainsBoolean-"; the loops are made in out's pool).  side 0 means
// the first chain's material side; merge_cb decides what each new vertex
// inherits (null: CHAIN_boolean_merge).  Of the loops, those that bound the
// set's material against its air stay (an island lays material inside
// itself, any other closed chain outside itself), and the chains this call
// appended are validated as the boolean of a chain set validates them.  A
// chain of the set handed on whole is held in out by a reference of its own.
//
// 1 when this call appended chains to `out`; 0 when it appended none
// (regions that vanish, a null or empty set), whatever out held before.  A
// null out fails the precondition "DUE_TO_POINTER_TO_CHAIN_BEING_NULL".
// Errors of the older engine are noted with the module "chain_region" and
// raised again as Korvo::Error::Severe after its pool is deleted.  With the
// chain debug status on, "CHAIN_boolean_between -- Start" (kind 4) reports
// the set and "CHAIN_boolean_between -- End" (kind 7) the output.
int CHAIN_boolean_between(RING_header_s* set, SIDE side, RING_header_s* out, CHAIN_vertex_source_callback_t merge_cb);

// A path from `from` to `to` (x and y only) around the closed chains of
// `regions`, made in `pool` with the first region chain's coordinate system
// (CHAIN_create_detour_path).  An end that lies in the regions' material
// starts (ends) the detour at the nearest point of the regions instead, and
// the path is then extended by a line to that end: the length grows by the
// distance.  When max_length is given and *max_length is above 1e-10, a path
// longer than *max_length + 1e-10 is refused.  *length (required) is 0 unless
// a path is returned, then its length.  Null for missing arguments, a region
// chain that is not closed, no path found, or a refused length.
RING_header_s* CHAIN_create_detour_path_in_region(CMEM_pool_s* pool, const RING_header_s* regions,
                                                  const Korvo::Math::Point3* from, const Korvo::Math::Point3* to,
                                                  double* max_length, double* length);
