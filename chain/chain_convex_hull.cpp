// Convex hulls of chains: arcs cut into lines within a tolerance, the host's
// point hull, arcs fitted again to the hull.
#include <merrow1/chain_convex_hull.h>

#include "chain/chain_each.h"

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_fit.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_set.h>
#include <merrow1/segment.h>
#include <stend/system.h>
#include <tavish/hull.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const double kDefaultTolerance = 1e-5;
const double kCloseGap = 1e-8;

double* point_of(const RING_node_s* node) { return static_cast<CHAIN_vertex_data_s*>(node->main_data)->geometry; }
bool is_closed(const RING_header_s* chain) { return chain->first && chain->last && chain->last->next == chain->first; }

// The vertices that end an arc: from the second vertex on, and on a closed
// chain also the first, whose segment is the closing one (a closing arc left
// out would cut its bulge off the hull).
std::vector<RING_node_s*> arc_vertices(const RING_header_s* chain) {
    std::vector<RING_node_s*> arcs;
    const bool closed = is_closed(chain);
    RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next)
        if ((i > 0 || closed) && CHAIN_seg_ask_type(node) == SEG_ARC) arcs.push_back(node);
    return arcs;
}

// Cuts every arc of the chain into lines whose vertices lie on the arc, each
// piece turning through at most 2 acos(r / (r + t)), so the chords stay
// within t of the arc.  The sweep is the arc's true sweep in its own sense.
// Each new vertex, the arc's own vertex and the vertex before them name the
// arc's vertex node under the approximated-arc key.  True when the chain had
// an arc.
bool approximate_arcs(RING_header_s* chain, double t) {
    bool had_arc = false;
    // The arcs are listed before any cut: a cut inserts vertices but moves none.
    const std::vector<RING_node_s*> arcs = arc_vertices(chain);
    for (RING_node_s* arc : arcs) {
        had_arc = true;
        SEGMENT segment;
        if (ChainSegment(chain, arc, &segment) != 1 || segment.type != SEG_ARC) continue;
        const double sweep = SEGMENT_arc_sweep(&segment);
        const double r = segment.end->radius;
        const double x = std::min(1.0, r / (r + t));
        const double theta = 2.0 * std::acos(x);
        if (!(theta > 0.0) || !std::isfinite(sweep)) continue;
        const double pieces = std::max(2.0, std::trunc(sweep / theta + 1.0));
        RING_node_s* before = arc->previous;
        CHAIN_split_backward_segment(chain, arc, static_cast<int>(std::min(pieces, 1e7)));
        RING_put_node_app_data(chain, before, CHAIN_APP_DATA_APPROXIMATED_ARC, arc);
        RING_node_s* piece = before->next;
        for (int k = 0; k < chain->count && piece; ++k, piece = piece->next) {
            CHAIN_seg_set_type(piece, SEG_LINE);
            RING_put_node_app_data(chain, piece, CHAIN_APP_DATA_APPROXIMATED_ARC, arc);
            if (piece == arc) break;
        }
    }
    if (had_arc) CHAIN_refresh_cached_box(chain);
    return had_arc;
}

// Frees host memory on every path.
struct SmBlock {
    void* block = nullptr;
    SmBlock() = default;
    SmBlock(const SmBlock&) = delete;
    SmBlock& operator=(const SmBlock&) = delete;
    ~SmBlock() {
        if (block) SM_free(block);
    }
};

// Deletes the scratch copies on every path.
struct Copies {
    std::vector<RING_header_s*> chains;
    Copies() = default;
    Copies(const Copies&) = delete;
    Copies& operator=(const Copies&) = delete;
    ~Copies() {
        for (RING_header_s* chain : chains) RING_delete(chain);
    }
};

}  // namespace

RING_header_s* CHAIN_create_one_convex_hull(CMEM_pool_s* pool, RING_header_s* chain_or_list,
                                            const double* tolerance) {
    const double t = tolerance ? *tolerance : kDefaultTolerance;
    if (!pool || !chain_or_list || !std::isfinite(t) || t < 0.0) return nullptr;

    // 1-2. The inputs, arc chains replaced by approximated copies; closed only
    //      when every input is closed.
    std::vector<RING_header_s*> inputs;
    Copies copies;
    bool all_closed = true, any_arc = false;
    bool failed = false;
    merrow1::for_each_chain(chain_or_list, [&](RING_header_s* chain) {
        if (failed) return;
        all_closed = all_closed && is_closed(chain);
        if (arc_vertices(chain).empty()) {
            inputs.push_back(chain);
            return;
        }
        RING_header_s* copy = CHAIN_copy(chain, pool, nullptr);
        if (!copy) {
            failed = true;
            return;
        }
        copies.chains.push_back(copy);
        any_arc = approximate_arcs(copy, t) || any_arc;
        inputs.push_back(copy);
    });
    if (failed || inputs.empty()) return nullptr;

    // 3. All vertex end points, in list and vertex order.
    long count = 0;
    for (const RING_header_s* chain : inputs) count += chain->count;
    if (count <= 0 || count > 0x7fffffff / 2) return nullptr;
    SmBlock points, indices;
    points.block = SM_alloc(static_cast<size_t>(count) * 2 * sizeof(double));
    if (!points.block) return nullptr;
    auto* xy = static_cast<double*>(points.block);
    long n = 0;
    for (const RING_header_s* chain : inputs) {
        const RING_node_s* node = chain->first;
        for (int i = 0; i < chain->count && node; ++i, node = node->next) {
            xy[2 * n] = point_of(node)[0];
            xy[2 * n + 1] = point_of(node)[1];
            ++n;
        }
    }
    int* order = nullptr;
    const int h = HULL2D_find_hull(xy, static_cast<int>(n), &order);
    indices.block = order;
    if (h <= 0 || !order) return nullptr;

    // 4. The hull chain with the first input's properties.
    RING_header_s* hull = CHAIN_create_from_chain(inputs.front(), pool);
    if (!hull) return nullptr;
    for (int i = 0; i < h; ++i) {
        const int k = order[i];
        if (k < 0 || k >= n) continue;
        const end_segment end = {xy[2 * k], xy[2 * k + 1], 0.0, 0.0, 0.0, 0};
        ChainAppendVertex(hull, &end, hull->first ? SEG_LINE : SEG_POINT);
    }
    if (any_arc) CHAIN_fit_vertices_to_arc(hull, nullptr, t, t, 10000.0, 0.0001, 6, true, true);
    if (all_closed) CHAIN_close(hull, kCloseGap);
    if (!hull->first || !hull->last) {
        RING_delete(hull);
        return nullptr;
    }
    return hull;
}

RING_header_s* CHAIN_create_convex_hulls_from_shapes(CMEM_pool_s* pool, RING_header_s* chain_or_list,
                                                     const double* tolerance) {
    if (!pool || !chain_or_list) return nullptr;
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    if (!list) return nullptr;
    merrow1::for_each_chain(chain_or_list, [&](RING_header_s* chain) {
        if (RING_header_s* hull = CHAIN_create_one_convex_hull(pool, chain, tolerance))
            CHAIN_add_chain_to_list(list, hull);
    });
    return list;
}
