// The line and arc pieces are part of the public interface; the kernel
// sources include them by this path.
#pragma once

#include <merrow1/line_arc_seg.h>

// Kept inside the library: the grid rounding's own step.
// Moves the arc parameter of an arc on the grid by `steps` units of the
// dyadic grid its re-rounding uses, keeping its ends: positive steps flatten
// the arc (|h| grows), negative ones round it out.  False, with the piece
// unchanged, for a line, or when h would change sign (a half circle can
// only be flattened) or make the arc flatter than the re-rounding keeps arcs.
bool LINE_ARC_SEG_step_rounded_arc(const PNT2_s* start, LINE_ARC_SEG_s* piece, int steps);
