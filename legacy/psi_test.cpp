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

#include "internal/ring_nodes.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

const char* const kFile = __FILE__;

// Deletes the intersection object, and with it its pool, on every exit.
struct PsiGuard {
    PSI_s* psi;
    ~PsiGuard() { PSI_destroy(psi); }
};

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

// The debug file, closed on every exit; each line is formatted and written
// as text.
class DebugFile {
public:
    explicit DebugFile(CAM_FILE_s* file) : m_file(file) {}
    ~DebugFile() { CAM_FILE_close(&m_file); }
    DebugFile(const DebugFile&) = delete;
    DebugFile& operator=(const DebugFile&) = delete;

    void write(const char* format, ...) STEND_PRINTF(2, 3) {
        char text[256];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        CAM_FILE_write_text(m_file, text);
    }

private:
    CAM_FILE_s* m_file;
};

// A pointer as "%lx" prints it.
unsigned long address(const void* p) { return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p)); }

const int kMaxMoves = 1000;

}  // namespace

void PSI_test(const char* input_path, const char* output_path) {
    PsiGuard guard{PSI_create(1024, true, false, nullptr, nullptr)};
    PSI_s* psi = guard.psi;
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
    char* name = CAM_FILE_make_filename("$HVEX_CAM_FILE_SEARCH_PATH", "debug.txt");
    CAM_FILE_s* opened = nullptr;
    const int status = CAM_FILE_open_text(name, CAM_FILE_ACCESS_WRITE, &opened);
    SM_free(name);
    if (status != CAM_FILE_SUCCESS) {
        CAM_FILE_close(&opened);
        ERROR_internal(kFile, __LINE__, "CAM_FILE returned error %d opening  file debug.txt", status);
    }
    DebugFile file(opened);
    if (node) {
        file.write("Intersection at %f, %f\n", node->pnt.x, node->pnt.y);
        file.write("==================================\n\n");
    }

    PSI_INTXN_NODE_s* current = node;
    int idx = index;
    for (int moves = 0;; ++moves) {
        // A missing node and an arm number out of range both end the walk
        // before anything of the node is read.
        if (!current || idx < 0 || idx > 3) {
            file.write("ERROR - null node pointer \n\n");
            return;
        }
        const int side = idx % 2;
        file.write("Node Address %lx, Id %d, Index %d, Flags %x\n", address(current), current->id, idx,
                   static_cast<unsigned>(current->flags[side]));
        const PSI_INTXN_NODE_s* along = current->pn_along[idx];
        if (!along) {
            file.write("ERROR - null pn_along pointer - idx %d \n\n", idx);
            return;
        }
        file.write("PN_along Address %lx, Id %d, Coords %f, %f Flags %x\n", address(along), along->id, along->pnt.x,
                   along->pnt.y, static_cast<unsigned>(along->flags[side]));
        const RING_node_s* seg = current->segs[side];
        const LINE_ARC_SEG_s* piece = seg ? static_cast<const LINE_ARC_SEG_s*>(seg->main_data) : nullptr;
        if (!piece) {
            file.write("ERROR - null seg pointer \n\n");
            return;
        }
        file.write("Seg Address %lx, %s\n\n", address(seg), LINE_ARC_SEG_is_line(piece) ? "is line" : "is arc");

        PSI_INTXN_NODE_s* next = current->next_around[idx];
        const int next_idx = current->next_around_idx[idx];
        if ((next == node && next_idx == index) || moves == kMaxMoves) return;
        current = next;
        idx = next_idx;
    }
}
