// Writes the minimal-area loops of seeded random chain sets, in a form that
// does not depend on where a loop starts or the order loops come in, to the
// file named by the first argument.  Built once against the newest build and
// once against the classic one, whose loop forming takes its intersections
// from the grid: the two files must be equal.
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_boolean.h>
#include <merrow1/chain_build.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

// A closed star-shaped polygon about a random centre; now and then one of its
// sides is an arc sweeping more than a half circle outwards.
RING_header_s* random_chain(std::mt19937& rng, int vertices, CMEM_pool_s* pool) {
    std::uniform_real_distribution<double> centre(-6, 6), radius(1.5, 4.5), coin(0, 1);
    const double cx = centre(rng), cy = centre(rng);
    RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
    double px = 0, py = 0;
    for (int v = 0; v < vertices; ++v) {
        const double a = 2 * M_PI * (v + 0.8 * coin(rng)) / vertices, r = radius(rng);
        const double x = cx + r * std::cos(a), y = cy + r * std::sin(a);
        if (v > 0 && coin(rng) < 0.15) {
            // The arc through both ends bulging away from the centre.
            const double mx = (px + x) / 2, my = (py + y) / 2, half = std::hypot(x - px, y - py) / 2;
            const double nx = (mx - cx), ny = (my - cy), n = std::hypot(nx, ny);
            const double depth = 0.4 * half;  // centre inside the chord's outer side: sweep above a half circle
            const double ox = mx + nx / n * depth, oy = my + ny / n * depth;
            const double rr = std::hypot(x - ox, y - oy);
            const double cross = (px - ox) * (y - oy) - (py - oy) * (x - ox);
            end_segment arc = {x, y, ox, oy, rr, cross > 0 ? CW : CCW};
            ChainAppendVertex(chain, &arc, SEG_ARC);
        } else {
            end_segment line = {x, y, 0, 0, 0, CCW};
            ChainAppendVertex(chain, &line, SEG_LINE);
        }
        px = x, py = y;
    }
    CHAIN_close(chain, 0.0);
    static_cast<CHAIN_main_data_s*>(chain->main_data)->material_side = coin(rng) < 0.5 ? LEFT : RIGHT;
    return chain;
}

std::string loop_text(const RING_header_s* loop) {
    std::vector<std::string> points;
    RING_node_s* v = loop->first;
    for (int i = 0; i < loop->count && v; ++i, v = v->next) {
        const double* g = static_cast<const CHAIN_vertex_data_s*>(v->main_data)->geometry;
        char text[64];
        std::snprintf(text, sizeof text, "(%.6f %.6f)", g[0] + 0.0, g[1] + 0.0);
        points.push_back(text);
    }
    std::sort(points.begin(), points.end());
    double centroid[2];
    char head[64];
    std::snprintf(head, sizeof head, "%d vertices, area %.6f:", loop->count,
                  std::fabs(CHAIN_chainArea_chainCentroid(loop, centroid)));
    std::string text = head;
    for (const std::string& p : points) text += " " + p;
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: min_area_loops_probe <output file>\n");
        return 2;
    }
    std::FILE* file = std::fopen(argv[1], "w");
    if (!file) return 1;
    // Set sizes that take each intersection path of the classic build: few
    // short chains (every pair), 29 long chains (the grid over chains) and 30
    // or more chains (the grid over segments).
    const int sizes[][2] = {{6, 7}, {29, 32}, {30, 5}, {34, 6}};
    for (unsigned seed = 1; seed <= 12; ++seed) {
        CMEM_pool_s* pool = CMEM_private_create_pool(0, "min area loops probe", __LINE__, __FILE__);
        std::mt19937 rng(seed);
        const int* size = sizes[seed % 4];
        RING_header_s* set = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_set_sub_ring_delfunc(set, nullptr);
        for (int c = 0; c < size[0]; ++c) RING_insert_after(set, set->last, random_chain(rng, size[1], pool));
        RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        const int answer = ChainsFormMinAreaLoops(set, out);
        std::vector<std::string> loops;
        RING_node_s* node = out->first;
        for (int i = 0; i < out->count && node; ++i, node = node->next)
            loops.push_back(loop_text(RING_ask_node_subring(node)));
        std::sort(loops.begin(), loops.end());
        std::fprintf(file, "seed %u: %d chains of %d vertices, answer %d, %zu loops\n", seed, size[0], size[1], answer,
                     loops.size());
        for (const std::string& l : loops) std::fprintf(file, "  %s\n", l.c_str());
        CMEM_private_delete_pool(pool);
    }
    return std::fclose(file) == 0 ? 0 : 1;
}
