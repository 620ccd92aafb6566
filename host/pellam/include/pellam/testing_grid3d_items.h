// Test controls of the item grids (GRID3D_create).  Not part of the host's
// interface.
#pragma once

#include <string>
#include <vector>

namespace pellam_test {

// What the item grids saw: the last GRID3D_create's options, parameter and
// item count, and every breach of the mark protocol found since the last
// clear ("mark not 0 before a query", "mark not kept", "item reported twice",
// "mark not back to 0").
struct ItemGridRecord {
    int creates = 0;
    int options = -1;
    int parameter = -1;
    int items = -1;
    int queries = 0;
    std::vector<std::string> violations;
};

const ItemGridRecord& item_grid_record();
void clear_item_grid_record();

}  // namespace pellam_test
