// The text dump of one loop of arms of an intersection network.
#include "psi_node_dump.h"

#include <merrow1/line_arc_seg.h>

#include <merrow2/cam_file.h>
#include <stend/error.h>
#include <stend/system.h>

#include "polyset/poly_seg_internal.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>

namespace {

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

}  // namespace

void merrow1::psi_dump_node_loop(const PsiNodeLoopDump& how, const PSI_INTXN_NODE_s* node, int index) {
    char* name = CAM_FILE_make_filename("$HVEX_CAM_FILE_SEARCH_PATH", "debug.txt");
    CAM_FILE_s* opened = nullptr;
    const int status = CAM_FILE_open_text(name, how.access, &opened);
    SM_free(name);
    if (status != CAM_FILE_SUCCESS) {
        CAM_FILE_close(&opened);
        ERROR_internal(__FILE__, __LINE__, "CAM_FILE returned error %d opening  file debug.txt", status);
    }
    DebugFile file(opened);
    if (node) {
        file.write("Intersection at %f, %f\n", node->pnt.x, node->pnt.y);
        file.write("==================================\n\n");
    }

    // Each entry is one arm; the walk ends back at the first arm or after
    // the entries the dump may write.
    const PSI_INTXN_NODE_s* current = node;
    int idx = index;
    for (int entries = 1;; ++entries) {
        // A missing node and an arm number out of range both end the walk
        // before anything of the node is read.
        if (!current || idx < 0 || idx > 3) {
            file.write("ERROR - null node pointer \n\n");
            return;
        }
        const int side = idx % 2;
        if (how.flags)
            file.write("Node Address %lx, Id %d, Index %d, Flags %x\n", address(current), current->id, idx,
                       static_cast<unsigned>(current->flags[side]));
        else
            file.write("Node Address %lx, Id %d, Index %d\n", address(current), current->id, idx);
        const PSI_INTXN_NODE_s* along = current->pn_along[idx];
        if (!along) {
            file.write("ERROR - null pn_along pointer - idx %d \n\n", idx);
            return;
        }
        if (how.flags)
            file.write("PN_along Address %lx, Id %d, Coords %f, %f Flags %x\n", address(along), along->id,
                       along->pnt.x, along->pnt.y, static_cast<unsigned>(along->flags[side]));
        else
            file.write("PN_along Address %lx, Id %d, Coords %f, %f\n", address(along), along->id, along->pnt.x,
                       along->pnt.y);
        const RING_node_s* seg = current->segs[side];
        const LINE_ARC_SEG_s* piece = seg ? merrow1::poly_seg::seg_of(seg) : nullptr;
        if (!piece) {
            file.write("ERROR - null seg pointer \n\n");
            return;
        }
        file.write("Seg Address %lx, %s\n\n", address(seg), LINE_ARC_SEG_is_arc(piece) ? "is arc" : "is line");

        const PSI_INTXN_NODE_s* next = current->next_around[idx];
        const int next_idx = current->next_around_idx[idx];
        if ((next == node && next_idx == index) || entries >= how.max_entries) return;
        current = next;
        idx = next_idx;
    }
}
