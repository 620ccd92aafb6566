// The text dump of one loop of arms of a polygon-set intersection network,
// written to "debug.txt" in the directory $HVEX_CAM_FILE_SEARCH_PATH names.
// Both earlier builds' dumps walk the loop here; each brings its own file
// mode, line layout and entry count.
#pragma once

#include <merrow1/psi.h>

namespace merrow1 {

struct PsiNodeLoopDump {
    int access;       // CAM_FILE_ACCESS_WRITE (a fresh file) or CAM_FILE_ACCESS_APPEND
    int max_entries;  // node entries written at most
    bool flags;       // node and along-neighbour lines end with the flag word of the arm's side
};

// Writes the node's point, then one entry per arm (node, along-neighbour,
// segment), following next_around / next_around_idx from arm `index` of
// `node` until the walk is back at that arm or has written the entries it
// may.  A missing node, along-neighbour or segment, or an arm number outside
// 0 to 3 (given or reached), ends the dump with its error line before
// anything out of bounds is read.  The file is closed at every stop.  A file
// that cannot be opened is the internal error
// "CAM_FILE returned error %d opening  file debug.txt".
void psi_dump_node_loop(const PsiNodeLoopDump& how, const PSI_INTXN_NODE_s* node, int index);

}  // namespace merrow1
