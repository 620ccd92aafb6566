// Contain-set processor: region levels processed one after the other.
//
// The host adds contain sets first (region chains that bound where material
// may be), then hands the processor the chains of one level at a time.  The
// processor keeps the previous level's output and the contain sets wrapped in
// one polygon-set intersection object, unites each level with the previous
// level's output into output level chains, and, when asked for zones, fills
// a boundary-zone map whose boundary curves are run records (curve type 4):
// stretches of output, contain or guard chains between two places.  Each run
// is also listed on the chain it lies on, in the gap list under application
// data key 195 (CG_PROC_APP_DATA_GAP_LIST).
//
// Ownership: the processor's own records live in its private pool "pool for
// CG_PROC".  Output chains are made in the output ring's pool; run records
// and gap lists in the pools of the chains they lie on, and outlast the
// processor.
#pragma once

#include <merrow1/export.h>
#include <merrow1/bzone.h>
#include <merrow1/material_at_infinity.h>

#include <velte/ring.h>

MERROW1_API_BEGIN

struct CG_PROC_s;

// A new processor for geometry inside box (xmin, xmax, ymin, ymax).  The
// three distances are the guard offset, the match distance of cover pieces
// and the contain offset.  Null, with a note, for a box with a non-finite or
// inverted bound.  Errors while building are raised as Korvo::Error::Severe
// after everything made is freed.
CG_PROC_s* CG_PROC_create(double box[4], double guard_offset, double match_distance, double contain_offset);
// Frees the processor, its intersection object and its pool.  Stored paths of
// runs that are still outstanding are destroyed.  Null is ignored.
void CG_PROC_destroy(CG_PROC_s* proc);

// Adds one contain set (a chain list) with its material at infinity (2: found
// from the geometry).  Only before the first level that had chains; with keep
// the chains are remembered and get the contain offset during zone passes.
// The chains' material sides are put back on every path.
void CG_PROC_add_contain(CG_PROC_s* proc, RING_header_s* chains, Korvo::Cam::MaterialAtInfinity material, bool keep);

// Processes the next level: the union of the level chains and the previous
// level's output is appended to `output` as chains made in its pool.  With
// a zone map, the zones of the level's new material are extracted into it
// and its boundaries get run curves (client stored in the zones' second
// client field), and the gap lists of gap_chains are brought up to date.
// Guard chains bound regions the zones keep away from.  zones, client,
// gap_chains and guard_chains may be null.  The material sides and implied
// offsets of guard and kept contain chains are put back on every path.
void CG_PROC_process_level(CG_PROC_s* proc, RING_header_s* level_chains, RING_header_s* output, BZONE_map_s* zones,
                           void* client, RING_header_s* gap_chains, RING_header_s* guard_chains);

// Restarts a closed chain at new_start, whose position in the chain is index
// (counted from 0; the node count also names the first node), and moves the
// places of the chain's gap list with it.  An open chain keeps its start and
// its gaps.  An index that does not name new_start's position is the
// internal error "CG_PROC_set_start_reparam_gaps: index does not name the
// new start", raised before anything changes.
void CG_PROC_set_start_reparam_gaps(RING_header_s* chain, RING_node_s* new_start, int index);

MERROW1_API_END
