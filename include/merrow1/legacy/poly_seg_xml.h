// Reader of the poly-segment XML documents that POLY_SEG_render_xml writes.
#pragma once

#include <merrow1/export.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Appends the sets of the document at `path` to the set of sets (a ring list
// of sets), all made in the set of sets' pool.  Nothing happens when the file
// cannot be opened or is empty.
//
// The reader works on blank-separated tokens, not on XML structure.
// "<RegionSet>" starts a new set and "</RegionSet>" ends it; "<PolySeg"
// inside a set starts a poly, "closed=true>" marks it closed, each
// "<LineArcSeg>" inside a poly is followed by three finite numbers (end x,
// end y, arc parameter) and "</PolySeg>" finishes the poly.  Every other
// token is ignored, as are a token too long for the reader's buffer, a
// "<LineArcSeg>" outside a poly and a "<PolySeg" outside a set.  A piece
// starts at the previous piece's end point; the first piece of an open poly
// is its start point (a line).  A closed poly's first piece is made last,
// from its last piece's end, and put in front, and the ring is closed; a
// closed poly without pieces is kept empty.
//
// Only finished polys are kept.  A poly that another "<PolySeg",
// "<RegionSet>", "</RegionSet>" or the end of the file interrupts is
// dropped with a note, and bad numbers after "<LineArcSeg>" (too few, not a
// number, not finite) stop the reading with a note; the unfinished poly is
// dropped then too, and what was read before stays.
void POLY_SEG_read_xml(RING_header_s* set_of_sets, const char* path);

MERROW1_API_END
