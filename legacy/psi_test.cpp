// Developer drivers of the polygon-set intersection.
#include <merrow1/legacy/psi_test.h>

#include <merrow1/int_grid_map.h>
#include <merrow1/legacy/poly_seg_xml.h>
#include <merrow1/line_arc_seg.h>
#include <merrow1/poly_seg.h>
#include <merrow1/poly_seg_grid.h>

#include <merrow2/cam_file.h>
#include <stend/clock.h>
#include <stend/error.h>
#include <stend/system.h>

#include "internal/owned.h"
#include "internal/ring_nodes.h"
#include "psi_node_dump.h"

#include <vector>

namespace {

// The polys of a set of sets that hold a piece, set by set.
std::vector<RING_header_s*> polys_of(const RING_header_s* set_of_sets) {
    std::vector<RING_header_s*> out;
    for (RING_node_s* s : merrow1::ring_nodes(set_of_sets))
        for (RING_node_s* p : merrow1::ring_nodes(RING_ask_node_subring(s))) {
            RING_header_s* poly = RING_ask_node_subring(p);
            if (poly && poly->first) out.push_back(poly);
        }
    return out;
}

}  // namespace

void PSI_test(const char* input_path, const char* output_path) {
    // The object, and with it its pool, goes on every exit.
    merrow1::Owned<PSI_s, PSI_destroy> guard(PSI_create(1024, true, false, nullptr, nullptr));
    PSI_s* psi = guard.get();
    CMEM_pool_s* pool = psi->pool;

    // 1. The document into a set of sets in the object's pool.
    RING_header_s* sets = POLY_SEG_create_set_of_sets(pool);
    POLY_SEG_read_xml(sets, input_path);
    ERROR_lprintf("Number of poly_seg sets read = %d\n", sets->count);
    const std::vector<RING_header_s*> polys = polys_of(sets);
    // Without a piece the box below would stay inverted: nothing to grid.
    if (polys.empty()) return;

    // 2. Show every poly and grow one box over all of them.
    double box[4] = {1e100, -1e100, 1e100, -1e100};
    for (RING_header_s* poly : polys) {
        POLY_SEG_display(poly, -3, 4, 1, 0);
        POLY_SEG_quick_expand_bbox(poly, box);
    }

    // 3. The timer, one uniform grid over the box, every set on it.
    CLOCK_timer_s timer;
    CLOCK_create_timer(&timer);
    INT_GRID_MAP_s* map = INT_GRID_MAP__create_uniform(pool, box[LINE_ARC_SEG_BOX_XMIN], box[LINE_ARC_SEG_BOX_YMIN],
                                                       0.0, box[LINE_ARC_SEG_BOX_XMAX], box[LINE_ARC_SEG_BOX_YMAX],
                                                       0.0, 31);
    for (RING_node_s* s : merrow1::ring_nodes(sets))
        POLY_SEG_put_set_to_grid(RING_ask_node_subring(s), map, false, nullptr, nullptr, 0.0);

    // 4. The union, each set cleaned first, into a ring of polys.
    RING_header_s* result = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
    PSI_set_output_s output{result, -1, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_SET, nullptr};
    PSI_method<PSI_set_boolean_fn>(psi, PSI_SLOT_SET_BOOLEAN)(psi, sets, nullptr, true, true, false, nullptr, false,
                                                              &output);
    CLOCK_stop_timer(&timer);
    double cpu = 0.0, real = 0.0;
    CLOCK_read_timer(&timer, &cpu, &real);
    ERROR_lprintf("Cpu (user+sys) time for boolean = %e \nReal time for boolean = %e \n", cpu, real);

    // 5. Show the result, back from the grid, and write it.
    for (RING_node_s* n : merrow1::ring_nodes(result)) {
        RING_header_s* poly = RING_ask_node_subring(n);
        if (!poly) continue;
        POLY_SEG_display(poly, -3, 6, 1, 0);
        POLY_SEG_get_from_grid(poly);
    }
    POLY_SEG_render_xml(result, output_path);
}

void PSI_INTXN_NODE_debug(PSI_INTXN_NODE_s* node, int index) {
    // A fresh file; the walk stops after 1000 moves (1001 entries).
    merrow1::psi_dump_node_loop({CAM_FILE_ACCESS_WRITE, 1001, true}, node, index);
}
