// Point regions, the boolean engine switch, region-set records and the
// boolean of a chain set.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_types.h>
#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// The part of the chain between the nearest chain point to p (not wholly
// behind p along d) and the nearest one on the other side of the line through
// p along d.  On a closed chain the part is then turned to the stretch that
// the ray from p along d crosses.  `part` must point at two place records to
// fill.  0 when p lies on the chain (within max(host length tolerance, 1.5 x
// the chain's approximation tolerance)), when either place is missing, or on
// bad input; else 1.
int ChainPointRegion(RING_header_s* chain, const double p[2], const double d[2], PART_OF_CHAIN_s* part);

// The offset of one chain at the distance with the corner control
// (CHAIN_offset on the chain's own material side, new vertices taking the
// host segment data of their sources), made in the pool of out_list and
// appended to it.  1 when chains were appended; 0 when the offset gives
// nothing, or for a null chain or list.
int ChainOffsetSingle(RING_header_s* chain, double distance, CORNER_CONTROL corner, RING_header_s* out_list);

// ---------------------------------------------------------------------------
// Boolean engine switch and region-set records
//
// The booleans of chain sets run on one of two engines: the newer one on
// poly-segment sets or the older split-chain one.  A process-wide switch
// chooses; it starts undecided and is decided on the first ask from the
// environment (HVEX_CAM_USE_OLD_BOOLEAN defined, even empty: the older engine).
//
// A boolean set is a chain list made with no delete functions: it only refers
// to chains owned elsewhere, and deleting it never frees them.  The chains of
// one boolean set that share a region_set_id form one region set.  The set
// services below walk the chains of a chain list (ring type 2), skipping
// nodes without a chain; they do nothing for any other ring.
//
// Island: a closed chain whose stored clock direction and material side put
// its material inside (CW with RIGHT, CCW with LEFT).  Any other pair, an
// unset direction or side included, is not an island.

// Bits of the use_implied_offset word of the chain main data.
enum {
    CHAIN_IMPLIED_OFFSET_IN_FORCE = 1,   // implied_offset is the chain's offset as a region boundary
    CHAIN_IMPLIED_OFFSET_DUMMY_COVER = 2,  // first dummy-cover flag
    CHAIN_IMPLIED_OFFSET_NO_CIRCLE = 4,    // no-circle flag (second dummy-cover flag)
    CHAIN_IMPLIED_OFFSET_TAN_CORNER_EXT = 8,  // tangent-corner-extension flag
};

// True when booleans are to run on the newer engine.  An undecided switch is
// decided here: 0 (older engine) when HVEX_CAM_USE_OLD_BOOLEAN is defined,
// whatever its value, else 1.  The environment is read at most once per
// undecided period.
bool CHAIN_ask_use_new_boolean();
// Decides the switch: the newer engine when on, else the older one.
void CHAIN_set_new_boolean_flag(bool on);
// Makes the switch undecided again, so the next ask reads the environment.
void CHAIN_unset_new_boolean_flag();

// region_set_id := id on every chain of the set.
void CHAIN_set_region_set_id_for_set(const RING_header_s* set, int id);
// On every chain of the set: implied_offset := value, and the whole
// use_implied_offset word is replaced by 1 when |value| is greater than the
// host length tolerance, else by 0; then 2 is added when flag2 is true.
// Bits set earlier (no-circle, tangent-corner extension) are lost.
void CHAIN_set_implied_offset_for_set(const RING_header_s* set, double value, bool flag2);
// Sets (on) or clears the no-circle bit on every chain of the set; the other
// bits stay.
void CHAIN_set_implied_offset_no_circle_for_set(const RING_header_s* set, bool on);
// Sets the tangent-corner-extension bit on a chain, or on every chain of a
// list (lists within lists included); null and other rings: nothing.
void CHAIN_set_implied_offset_do_tan_corner_ext(RING_header_s* chain_or_list);

// A new, empty boolean set in the pool with the header data given.
RING_header_s* CHAIN_create_boolean_set(CMEM_pool_s* pool, void* header_data);
// Appends the chain (ring type 1), or each non-null chain of a list (ring
// type 2) in order, as new last nodes of the boolean set, and stamps each:
// region_set_id := id, use_implied_offset := flags (the whole word),
// implied_offset := the value, and with swap_side RIGHT <-> LEFT.  With
// skip_small a chain of fewer than 3 vertices is passed over unless its
// header carries key 110 (a chain closed by running back along itself).
// True when at least one chain was appended.
bool CHAIN_append_region_set(RING_header_s* bset, RING_header_s* chain_or_list, int region_set_id, unsigned flags,
                             double implied_offset, bool skip_small, bool swap_side);
// Afterwards no chain is referred to by both sets: region_set_id := 1 on the
// chains of the second set, then := 2 on those of the first; every node of
// the second set whose chain carries 2 is emptied (null chain; the node
// stays).  The ids stay on the chains.
void CHAIN_decouple_boolean_set(RING_header_s* first, RING_header_s* second);

// How CHAIN_unique_boolean_set copies a shared chain.
typedef int CHAIN_copy_type_t;
enum {
    CHAIN_COPY_LINKED = 0,   // CHAIN_copy: the copy names its source (key 10)
    CHAIN_COPY_NO_LINK = 1,  // CHAIN_copy_no_link
    CHAIN_COPY_DEEP = 2,     // CHAIN_copy_deep: every vertex names its source vertex too
};
// Afterwards the second set refers only to chains of its own: stamped as by
// CHAIN_decouple_boolean_set, then every chain it shares with the first set
// is replaced on its node by a copy in the second set's pool (the callback
// asked for each vertex).  When the copy fails, or the copy type is none of
// the three, the node keeps the shared chain.
void CHAIN_unique_boolean_set(RING_header_s* first, RING_header_s* second, CHAIN_copy_type_t copy_type,
                              CHAIN_vertex_source_callback_t callback);
// The same with CHAIN_COPY_NO_LINK when no_link is true, else CHAIN_COPY_LINKED.
void CHAIN_unique_boolean_set(RING_header_s* first, RING_header_s* second, bool no_link,
                              CHAIN_vertex_source_callback_t callback);

// The regions of a set as a new list in the set's pool whose nodes each carry
// a group (a boolean set with the set's header data): walking the chains in
// order, a closed chain that is not an island opens a new group (a
// TRACE_CHAIN one is left out); an island joins the open group, or opens one
// when there is none yet; an open chain gets a group of its own and leaves
// the open group as it was.  Chains are referred to, not copied.  Deleting
// the list frees the groups, never the chains.  Null for a null set.
RING_header_s* CHAIN_build_list_of_regions(const RING_header_s* set);
// Reverses (CHAIN_reverse) every chain of the set whose material side is not
// the side.
void CHAIN_reverse_chains_wrt_mside(const RING_header_s* set, SIDE side);
// Reverses the chain when its material side is not the wanted one: the cut
// side for a chain that is not an island, the cut side with RIGHT and LEFT
// swapped for an island.  Null: nothing.
void CHAIN_reverse_wrt_cut_dir(RING_header_s* chain, SIDE cut_side);
// Whether the host's segment geometry type of the place's vertex is the type;
// at a vertex (not inside a segment) the vertex that follows is asked too.
bool CHAIN_point_has_specified_geometry_type(const POINT_ON_CHAIN_s* point, CHAIN_geom_type_t type);

// ---------------------------------------------------------------------------
// Boolean of a chain set

// The boolean of the chains of the set on a material side (0: the first
// chain's), appended to `out`, on the engine the switch names: the older
// split-chain engine (chain_boolean.h; private pool "CHAIN-ChainsBoolean-",
// a closed chain met by nothing comes back as itself, by reference) or the
// newer minimal loops.  The callback decides what each new vertex inherits
// (null: CHAIN_boolean_merge).  Of the loops, only those with the input's
// material on their material side and none on the other stay (the region's
// own boundary).  The chains that this call appended are then validated:
// empty or one-point chains, null entries and (when the input is all closed)
// open chains are removed.  1 when this call added chains to `out`, else 0.
// A null set or output fails the precondition
// "DUE_TO_POINTER_TO_CHAIN_BEING_NULL"; an empty set answers 0.
int ChainsBoolean(RING_header_s* chains, SIDE side, RING_header_s* out, CHAIN_vertex_source_callback_t merge);

MERROW1_API_END
