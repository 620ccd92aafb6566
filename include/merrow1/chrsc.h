// Provider and retainer shapes: sets of closed shapes that a CAM operation
// cuts (providers) and shapes whose material it must keep (retainers).
//
// Shape kinds come from a chain's main data: an island has its material
// inside (CW with RIGHT, CCW with LEFT), a periphery outside (a closed chain
// with CCW and RIGHT, or CW and LEFT); anything else, open chains included,
// is undefined.
//
// With the host debug token "cam_surf_cont" set, the merge prints its steps
// to standard output.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_types.h>
#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Unites the provider shapes on the material side (0: the first provider's).
// The boolean between the providers runs with every provider's side, and the
// side argument, mirrored (RIGHT and LEFT exchanged); the chains this call
// appends to `out` get their sides mirrored back, and every provider has its
// own side again on return, errors included.  A chain of `out` that is a
// provider itself (the older engine hands an untouched shape back by
// reference) is put back once.  An empty set appends nothing.  Whether `out`
// holds chains afterwards; false for a null set or output.
bool CHRSC_union_providers(RING_header_s* providers, SIDE side, RING_header_s* out,
                           CHAIN_vertex_source_callback_t merge);

// Merges the providers with the retainers into regions appended to `out`:
// providers and retainers that cross go through the boolean between on the
// side (0: the first shape's), shapes that nest or lie apart are kept or
// dropped by their containment, then `out` is ordered into regions and its
// leading islands dropped.  The two containment trees and the work lists are
// made in `pool` and freed before returning; the caller's provider and
// retainer lists are not reordered (the ordering works on lists of
// references).
//
// The kept shapes are the caller's own chains, referred to from `out`
// (RING_dup_reference: deleting `out` leaves them): each gets the first
// provider's material side and the clock direction of its kind, and where
// that direction disagrees with the chain's geometry its vertex order is
// reversed, so the stored direction always matches the geometry.
//
// Whether `out` holds chains afterwards; false for a null or empty provider
// set, a null output or pool.
bool CHRSC_merge_providers_retainers(RING_header_s* providers, RING_header_s* retainers, SIDE side,
                                     CMEM_pool_s* pool, RING_header_s* out, CHAIN_vertex_source_callback_t merge);

MERROW1_API_END
