// The classic build's text dump of an intersection-network loop.
#include <merrow1/legacy/chain_classic.h>

#include <merrow2/cam_file.h>

#include "legacy/psi_node_dump.h"

void PSI__debug_intxn(PSI_INTXN_NODE_s* node, int index) {
    // Appended to what the file holds; at most 1000 entries.
    merrow1::psi_dump_node_loop({CAM_FILE_ACCESS_APPEND, 1000, false}, node, index);
}
