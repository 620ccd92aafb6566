// Developer drivers of the polygon-set intersection: a boolean run from a
// poly-segment XML document, and a text dump of an intersection-node loop.
#pragma once

#include <merrow1/export.h>
#include <merrow1/psi.h>

MERROW1_API_BEGIN

// Reads the document at `input_path` into a set of sets of a new
// intersection object (size hint 1024, wrappers kept) and logs
// "Number of poly_seg sets read = %d\n".  When no poly with a piece was
// read the object is deleted and nothing more happens.  Otherwise every poly is shown
// (view -3, colour 4), the sets are put on one uniform 31-bit grid over the
// quick box of all polys, and their union, cleaned first, is formed into a
// ring of polys; the boolean's processor and elapsed times are logged as
// "Cpu (user+sys) time for boolean = %e \nReal time for boolean = %e \n".
// The result polys are shown (colour 6), taken back from the grid and
// written to `output_path` with POLY_SEG_render_xml.  The object's pool is
// deleted on every path, an error passing included.
void PSI_test(const char* input_path, const char* output_path);

// Writes the loop of arms that starts at arm `index` of `node` to
// "debug.txt" in the directory that $HVEX_CAM_FILE_SEARCH_PATH names: the
// node's point, then for each arm its node, along-neighbour and segment, the
// walk following next_around / next_around_idx.  The dump stops back at the
// start arm, after 1000 moves (1001 entries), or with an error line at a
// missing node, along-neighbour or segment, or at an arm number outside 0 to
// 3 (given or reached).  The file is closed at every stop.  A file that
// cannot be opened is the internal error
// "CAM_FILE returned error %d opening  file debug.txt".
void PSI_INTXN_NODE_debug(PSI_INTXN_NODE_s* node, int index);

MERROW1_API_END
