// Debug displays of the earlier builds over lists of split points, split
// chains and intersection points.  Each draws temporary markers or chains and
// does nothing for a null or empty list.
#pragma once

#include <merrow1/export.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// CHAIN_display_splitpoint(junction, view, colour, marker) for every split
// point (junction node) of every list of the list.
void CHAIN_display_all_splitpoints(const RING_header_s* lists, int view, int colour, int marker);
// CHAIN_display_splitchain(node, view, colour, font, width) for every node of
// the split-chain list.
void CHAIN_display_sp_splitchains(const RING_header_s* split_chains, int view, int colour, int font, int width);
// CHAIN_display_sp_splitchains for every split-chain list of the list.
void CHAIN_display_all_splitchains(const RING_header_s* lists, int view, int colour, int font, int width);
// One marker per intersection point of every intersection-point list of the
// list, at the point mapped into 3D by its chain's CSYS: display `view`, marker
// kind `marker`, colour `colour`, or `flagged_colour` for a point whose flag
// (it lies strictly inside its segment) is set.
void CHAIN_display_int_points(const RING_header_s* lists, int view, int colour, int flagged_colour, int marker);

MERROW1_API_END
