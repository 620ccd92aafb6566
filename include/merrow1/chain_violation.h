// Violation of region sets by tool motions: whether a chain crosses the
// material of a region set and where, on either boolean engine.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_part.h>
#include <merrow1/dynamic_array.h>
#include <merrow1/chain_types.h>
#include <quorn/quorn.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Acceptance of a contact: true when the motion may touch the region chain's
// segment that ends at the vertex.
typedef bool (*CHAIN_violation_accept_cb_t)(RING_header_s* chain, RING_node_s* vertex, void* data);

// The region chain whose material the chain enters, or null, on the
// polygon-set intersection: the regions are shrunk by at least twice the host
// length tolerance (more for coarse chains and grids), so a chain that only
// touches a boundary does not violate; the chain keeps its own implied offset.
// Contacts at segments that accept_cb allows are passed over.  point (may be
// null) receives the nearest chain point to the crossing; at_start (may be
// null) tells whether the violation begins at the chain's first point.  Null
// for a null chain or regions.  Errors are noted (file and line) and raised
// again once the object is gone.
RING_header_s* CHAIN_check_chain_violates_region(RING_header_s* chain, const RING_header_s* regions,
                                                 CHAIN_violation_accept_cb_t accept_cb, void* data,
                                                 Korvo::Math::Point2* point, bool* at_start);

// Whether the chain violates the regions.  False for a null chain or regions,
// a chain of fewer than 2 vertices or a region list without chains.  The
// newer engine asks CHAIN_check_chain_violates_region; the older one walks
// the junctions of the chain's split network with the regions (private pool
// "CHAIN-CHAIN_is_violate_region-check violate"), with the chain's material
// side 0 for the call: an end of the chain whose interference index is not
// the junction's, met before an accepted contact, is a violation.  The side
// comes back and the pool goes on every path; an error is noted and raised
// again, never answered.
bool CHAIN_is_violate_region(RING_header_s* chain, const RING_header_s* regions, CHAIN_violation_accept_cb_t accept_cb,
                             void* data);

// CHAIN_is_violate_region of the line from a to b (made in the coordinate
// system of the first region chain, private pool
// "CHAIN-CHAIN_line_seg_violates_region-").  False for null or empty regions.
bool CHAIN_line_seg_violates_region(const Korvo::Math::Point2* a, const Korvo::Math::Point2* b,
                                    const RING_header_s* regions, CHAIN_violation_accept_cb_t accept_cb, void* data);

// ---------------------------------------------------------------------------
// Flipped cut shapes and retained or removed regions
//
// Region results are ordered chain lists cut into groups: a node carrying key
// 116 (APP_DATA_REGION_ORDER_MARK; 115, APP_DATA_RETAINED_ORDER_MARK, for
// retained groups) starts a group, the chains from there on join it.  Chains
// taken out of a list stay in their pool: only list nodes go.

// Takes out of `result` (ordered here by CHAIN_order_regions) every group
// whose outer-or-island status flipped against the source group of
// `regions` it was made from (found through the chains' stock sources): a
// lone island made from an outer boundary with islands, a lone outer boundary
// inside an island already taken out of such a group, anything but a lone
// outer boundary made from a lone outer boundary.  Key 116 is removed from
// result's nodes at the end.  Errors are noted ("chain_region") and end the
// call; the groups taken out by then stay out.
void CHAIN_check_flipping_cut_shapes(RING_header_s* regions, RING_header_s* result);
// The same for a region set not yet ordered: its non-empty chains are listed
// and ordered in the scratch pool "CHAIN-check_flip_mach_regions" first.
void CHAIN_check_flip_mach_regions(const RING_header_s* regions, RING_header_s* result);
// Takes out of the ordered set every group (key 116) that `choose` accepts;
// nothing without choose.  Errors are noted ("chain_region") and end the call.
void CHAIN_remove_reg_fr_ord_regions(RING_header_s* set, bool (*choose)(RING_header_s* group, void* data),
                                     void* data);
// Whether the closed chain falls foul of the retained groups (key 115) of
// the regions: inside a lone island, inside an island with outers but
// outside all of them, or outside every lone outer boundary and inside none.
// 1 or 0; 0 for an open chain.  Errors are noted ("chain_region") and raised
// again once the scratch pool is gone.
int CHAIN_violates_retained_regions(const RING_header_s* chain, const RING_header_s* regions);
// Whether the closed chain violates regions that were cut away (groups by
// key 116): 0 when it lies in an outer boundary (clear of its islands) or
// around a lone island, else 1 as the rules of the walk say.  With mark, when
// a group removed by the chain is found, its first chain's sample sources get
// key 115 and, for a closed outer boundary, the chain's own key 160.  0 for an
// open chain.  Errors are noted ("chain_region") and raised again.
int CHAIN_violates_removed_regions(RING_header_s* chain, const RING_header_s* regions, bool mark);

// ---------------------------------------------------------------------------
// Embedding of a motion in regions grown by their implied offsets

// Whether the motion (its material side ignored) runs into the material of
// the regions, each grown by its implied offset (the motion offset by its
// own): more crossings than its two ends (one for a closed motion), or its
// last section in material.  first and last (may be null) receive the start
// of the first section in material and the end of the last; at_start (may
// be null) whether the violation begins at the motion's start.  count is
// not used.  Private pool "CHAIN_check_if_violates_region"; errors are noted
// ("chain_region") and raised again.
bool CHAIN_check_if_violates_region(RING_header_s* motion, RING_header_s* regions, int* count, POINT_ON_CHAIN_s* first,
                                    POINT_ON_CHAIN_s* last, bool* at_start);
// CHAIN_check_if_violates_region against n region sets, set i grown by
// offsets[i] (0 without offsets) less 10 times its set tolerance; a set
// passed twice counts once.  False for a null motion, one of fewer than 2
// vertices or n < 1.  The motion's side and every region chain's implied
// offset, flag word, region-set id and side come back on every path.
bool CHAIN_check_violates_region_sets(const RING_header_s* motion, int n, const RING_header_s** sets,
                                      const double* offsets, const int* count, POINT_ON_CHAIN_s* first,
                                      POINT_ON_CHAIN_s* last, bool* at_start);
bool CHAIN_check_violates_region_sets(const RING_header_s* motion, int n, const RING_header_s** sets,
                                      const double* offsets);

// The sections of a chain, or of a part of one, that run clear of the grown
// regions.  With d1 or d2 above 1e-10, gouges not longer than 2 d1 + d2 (and
// 100 grid units) between free sections are bridged, and free sections end
// d1 short of the other gouges.  Each free section longer than 10 grid units
// adds its two places to points and a part between them to parts (both may
// be null: then nothing is recorded, the answer is the same).  True when the
// whole motion is one free section.  Private pool
// "CHAIN_FindGougeFreeSections"; count is not used; errors are noted and
// raised again.
bool CHAIN_FindGougeFreeSections(RING_header_s* chain, PART_OF_CHAIN_s* part, RING_header_s* regions, int* count,
                                 double d1, double d2, DYNAMIC_ARRAY_s* parts, DYNAMIC_ARRAY_s* points);
// For a chain, or each chain of a list: its gouge-free sections as new chains
// appended to out (made in out's pool; a wholly free chain as a deep copy),
// the merge callback asked for every vertex.  True when every chain is wholly
// free.
bool CHAIN_FindGougeFreeChains(RING_header_s* chain_or_list, RING_header_s* regions, int* count, double d1, double d2,
                               CHAIN_vertex_source_callback_t merge_cb, RING_header_s* out);

// Walks the junctions of a split-chain network (a list of junctions, each a
// ring of end records) and cuts the pieces whose ends the filter accepts
// (null: every end) at the ends of their gouge-free sections
// (CHAIN_FindGougeFreeSections with d1, d2 on the piece): each free section
// becomes a piece of its own, new junctions (appended to the network, two end
// records each) standing where a section ends inside the piece; the stretches
// between them stay as pieces.  A piece that is a loop at one junction and has
// no free section is deleted with its twin.  Every end record handled or made
// gets key 5 (CHAIN_APP_DATA_SCRATCH_MARK); ends already carrying it are passed
// over.  count is not used.  Errors are noted and raised again.
void CHAIN_FindGougeFreeSplitChains(RING_header_s* lists, RING_header_s* regions, int* count, double d1, double d2,
                                    bool (*filter)(RING_node_s*));

// The split-chain network (chain_split.h) of the chains of set, made in pool:
// the chains (and those of second, when given) become polys with source
// references, open ones that meet end to start joined, put on one grid and
// intersected; every position where polys meet, and every open end, is a
// junction (the network's order), each holding one end record per piece that
// meets there, with its curvature and the angle of its tangent (a zero tangent
// takes the neighbouring segment's, else (1, 0)); a closed chain that meets
// nothing has one junction, at the end of its first segment.  The
// intersection takes open chains of two segments or more: a one-segment open
// chain is its internal error.  A piece is
// the stretch of a chain between two junctions, made in pool; with a second
// set, only the pieces of the first set's chains are kept.  Coinciding
// segments of different chains are ordered by pair_cb (null: by their
// records).  *resolution (may be null) receives 6 grid cells.  Null for a
// null set or pool.  pair_cb is held in a module value for the time of the
// call, so one network build runs at a time in the process; the earlier value
// comes back on every exit.  Errors are noted (file and line) and raised again
// once the intersection object is gone.
RING_header_s* CHAIN_build_split_chain_network(RING_header_s* set, CMEM_pool_s* pool, double* resolution,
                                               bool (*pair_cb)(const RING_header_s*, const RING_header_s*),
                                               RING_header_s* second);

MERROW1_API_END

#include <merrow1/PolySegNetworkPoint.h>

MERROW1_API_BEGIN

// Keeps apart, at a network position, segments of different source chains:
// false for the same segment, true exactly when the two segments' source
// references (key 169) name different chains.  A null segment is the
// internal error "Missing seg data during network building", a segment
// without a source reference "Missing app data during network building".
class CHAIN__SegCmpFunctor : public Korvo::Cam::PolySegNetworkPoint::SegmentCompareFunctor {
public:
    bool operator()(RING_node_s* a, RING_node_s* b) override;
};

MERROW1_API_END
