// Records of the contain-set processor shared with its tests.
#pragma once

#include <merrow1/bzone.h>
#include <merrow1/cg_proc.h>
#include <merrow1/chain_part.h>
#include <merrow1/poly_intxn.h>

// A run: one boundary curve of representation type CG_PROC_RUN_CURVE and an
// entry of the gap list of the chain it lies on.  Allocated singly in that
// chain's pool.
struct CG_PROC_run_s {
    PART_OF_CHAIN_s part;               // points at first_place and last_place, start first along the chain
    BZONE_boundary_s* passive;          // bounded boundary of a run on a reversed, contain or guard piece
    BZONE_boundary_s* active;           // bounded boundary of a run on the current level's output
    int plain;                          // 1 on a contain or guard chain
    POINT_ON_CHAIN_s first_place;       // where the run begins in boundary-loop order
    POINT_ON_CHAIN_s last_place;        // where it ends
    POLY_INTXN_s* stored_path;          // current-level run: paired copy of its loop range, else null
    double offset;                      // plain run: the chain's implied offset when in use, else 0
};

// Curve type of run curves in a zone map.
const BZONE_curve_type_t CG_PROC_RUN_CURVE = static_cast<BZONE_curve_type_t>(4);
// Flag of a cover piece in its LINE_ARC_SEG_s flag word.
const unsigned int CG_PROC_COVER_PIECE = 0x800000u;

// The gap list of a chain (a type-1 ring of CG_PROC_run_s), or null.
RING_header_s* CG_PROC_ask_gap_list(const RING_header_s* chain);
// The number of the level processed last (-1 before the first; a null
// processor gives -1).
int CG_PROC_ask_level(const CG_PROC_s* proc);
