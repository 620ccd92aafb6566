// Result dump: runs every family of the benchmarks at small and medium sizes
// and writes each call's result, every double as the hex of its bits, to a
// file, so that two builds can be shown to give the same answers by
// comparing their dumps byte for byte (cmp).
//
//   result_dump out.txt            every case
//   result_dump out.txt FILTER     only the cases whose name contains FILTER
//
// The cases (inputs from bench/families.h, the benchmarks' seeds):
//   offset/...          CHAIN_offset of single stars (10, 100, 1000 vertices),
//                       smooth stars (100, 1000), grid stars (10, 100, 1000
//                       in all) and circles (100, 1000), lines or arcs,
//                       outward and inward at d = 0.5, 2 and 8, with every
//                       corner control, on the newer and the older engine;
//   offset_region/...   CHAIN_offset_region of the pockets (circle, star-line
//                       and star-arc islands, 10 and 100) by 2 and 8, on
//                       both engines;
//   regions/...         CHAIN_boolean_regions, union and intersection, of
//                       the grid (10, 100, 1000), smooth star (1000, 10000)
//                       and many-shape (10, 100) families;
//   road/...            ChainsBoolean and CHAIN_boolean_between of the
//                       many-shape families (10, 100) on both engines.
// Each case writes a line "case NAME", then the return code and the result
// list: "chains N", per chain its main data (material side, direction, kind,
// region-set id, implied-offset word and value) and "vertices M", per vertex
// its flags word, source surface and geometry (x y, and for arcs centre,
// radius and direction).  A call that throws writes "thrown".
#include "bench/families.h"
#include "bench/star_polygons.h"

#include <merrow1/chain.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_region_offset.h>
#include <merrow1/chain_types.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace merrow1_bench;

std::FILE* g_out = nullptr;
const char* g_filter = nullptr;
int g_cases = 0, g_thrown = 0;

void put_double(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    std::fprintf(g_out, " %016llx", static_cast<unsigned long long>(bits));
}

void dump_chain(const RING_header_s* chain) {
    if (!chain) {
        std::fprintf(g_out, "null chain\n");
        return;
    }
    if (const auto* m = static_cast<const CHAIN_main_data_s*>(chain->main_data)) {
        std::fprintf(g_out, "chain side %d direction %d kind %d set %d implied %d", static_cast<int>(m->material_side),
                     static_cast<int>(m->direction), static_cast<int>(m->kind), m->region_set_id,
                     m->use_implied_offset);
        put_double(m->implied_offset);
        std::fprintf(g_out, "\n");
    }
    std::fprintf(g_out, "vertices %d\n", chain->count);
    const RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) {
        const auto* v = static_cast<const CHAIN_vertex_data_s*>(node->main_data);
        if (!v || !v->geometry) {
            std::fprintf(g_out, "v none\n");
            continue;
        }
        const SEGMENT_TYPE type = CHAIN_seg_ask_type(node);
        std::fprintf(g_out, "v %x %d", v->flags, v->source_surface);
        if (type == SEG_ARC) {
            const auto* e = reinterpret_cast<const end_segment*>(v->geometry);
            put_double(e->x);
            put_double(e->y);
            put_double(e->cx);
            put_double(e->cy);
            put_double(e->radius);
            std::fprintf(g_out, " %d\n", static_cast<int>(e->direction));
        } else {
            put_double(v->geometry[0]);
            put_double(v->geometry[1]);
            std::fprintf(g_out, "\n");
        }
    }
}

void dump_list(const RING_header_s* list) {
    if (!list) {
        std::fprintf(g_out, "no list\n");
        return;
    }
    std::fprintf(g_out, "chains %d\n", list->count);
    const RING_node_s* node = list->first;
    for (int i = 0; i < list->count && node; ++i, node = node->next) dump_chain(RING_ask_node_subring(node));
}

using Lists = std::vector<const RING_header_s*>;

// One case: call(pool, lists) makes its result lists in a fresh pool and
// answers the return code.
void run_case(const std::string& name, const std::function<int(CMEM_pool_s*, Lists&)>& call) {
    if (g_filter && name.find(g_filter) == std::string::npos) return;
    ++g_cases;
    std::fprintf(g_out, "case %s\n", name.c_str());
    CMEM_pool_s* pool = CMEM_private_create_pool(4096, "result dump", __LINE__, __FILE__);
    try {
        Lists lists;
        const int code = call(pool, lists);
        std::fprintf(g_out, "code %d lists %zu\n", code, lists.size());
        for (const RING_header_s* list : lists) dump_list(list);
    } catch (...) {
        ++g_thrown;
        std::fprintf(g_out, "thrown\n");
    }
    CMEM_private_delete_pool(pool);
    std::fflush(g_out);
}

struct OffsetInput {
    std::string name;
    std::vector<Polygon> polygons;
};

std::vector<OffsetInput> offset_inputs() {
    std::vector<OffsetInput> inputs;
    for (bool arcs : {false, true}) {
        const std::string kind = arcs ? "arcs" : "lines";
        for (int n : {10, 100, 1000}) inputs.push_back({"star_" + kind + "/" + std::to_string(n), {offset_star(n, arcs)}});
        for (int n : {100, 1000})
            inputs.push_back({"smooth_" + kind + "/" + std::to_string(n), {offset_smooth_star(n, arcs)}});
        for (int n : {10, 100, 1000}) inputs.push_back({"grid_" + kind + "/" + std::to_string(n), offset_grid_stars(n, arcs)});
        for (int n : {100, 1000})
            inputs.push_back({"circle_" + kind + "/" + std::to_string(n), {circle(Pt{0, 0}, 40.0, n, arcs)}});
    }
    return inputs;
}

const char* corner_name(CORNER_CONTROL corner) {
    switch (corner) {
    case ADD_ARC: return "add_arc";
    case EXTEND_TANGENT: return "extend_tangent";
    case BREAK_CORNER: return "break_corner";
    case ALWAYS_EXTEND_TANGENT: return "always_extend_tangent";
    }
    return "corner";
}

void dump_offsets() {
    for (const OffsetInput& input : offset_inputs())
        for (bool inward : {false, true}) {
            CMEM_pool_s* in_pool = CMEM_private_create_pool(4096, "result dump input", __LINE__, __FILE__);
            std::vector<RING_header_s*> chains;
            for (const Polygon& p : input.polygons) chains.push_back(polygon_chain(p, inward ? RIGHT : LEFT, in_pool));
            for (double d : {0.5, 2.0, 8.0})
                for (CORNER_CONTROL corner : {ADD_ARC, EXTEND_TANGENT, BREAK_CORNER, ALWAYS_EXTEND_TANGENT})
                    for (bool newer : {true, false}) {
                        char name[160];
                        std::snprintf(name, sizeof name, "offset/%s/%s/%g/%s/%s", input.name.c_str(),
                                      inward ? "inward" : "outward", d, corner_name(corner), newer ? "newer" : "older");
                        CHAIN_set_new_boolean_flag(newer);
                        // One result list per input chain (null where the
                        // offset gives none).
                        run_case(name, [&](CMEM_pool_s* pool, Lists& lists) {
                            int made = 0;
                            for (RING_header_s* chain : chains) {
                                lists.push_back(
                                    CHAIN_offset(chain, d, corner, 0, nullptr, nullptr, nullptr, pool, nullptr));
                                made += lists.back() != nullptr;
                            }
                            return made;
                        });
                    }
            CHAIN_unset_new_boolean_flag();
            CMEM_private_delete_pool(in_pool);
        }
}

void dump_region_offsets() {
    for (Islands islands : {Islands::kCircles, Islands::kStarLines, Islands::kStarArcs})
        for (int count : {10, 100}) {
            CMEM_pool_s* in_pool = CMEM_private_create_pool(4096, "result dump input", __LINE__, __FILE__);
            const RING_header_s* set = pocket_chain_set(pocket_polygons(islands, count), in_pool);
            for (double d : {2.0, kRegionOffset})
                for (bool newer : {true, false}) {
                    char name[160];
                    std::snprintf(name, sizeof name, "offset_region/%s/%d/%g/%s", islands_name(islands), count, d,
                                  newer ? "newer" : "older");
                    CHAIN_set_new_boolean_flag(newer);
                    run_case(name, [&](CMEM_pool_s* pool, Lists& lists) {
                        RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
                        lists.push_back(out);
                        return CHAIN_offset_region(set, out, d, false);
                    });
                }
            CHAIN_unset_new_boolean_flag();
            CMEM_private_delete_pool(in_pool);
        }
}

void dump_region_booleans() {
    struct Case {
        Family family;
        bool arcs;
        int n;
    };
    std::vector<Case> cases;
    for (bool arcs : {false, true}) {
        for (int n : {10, 100, 1000}) cases.push_back({kGrid, arcs, n});
        for (int n : {1000, 10000}) cases.push_back({kSmoothStars, arcs, n});
    }
    for (Family f : {kCircles, kRectangles, kStars})
        for (int n : {10, 100}) cases.push_back({f, f != kRectangles, n});
    for (const Case& c : cases) {
        CMEM_pool_s* in_pool = CMEM_private_create_pool(4096, "result dump input", __LINE__, __FILE__);
        RING_header_s* set = region_chain_set(region_sets(c.family, c.n, c.arcs), in_pool);
        const std::string base = std::string(family_name(c.family, c.arcs)) + "/" + std::to_string(c.n);
        for (bool intersection : {false, true})
            run_case(std::string("regions/") + (intersection ? "intersection/" : "union/") + base,
                     [&](CMEM_pool_s* pool, Lists& lists) {
                         RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
                         lists.push_back(out);
                         return CHAIN_boolean_regions(set, 0, intersection ? CHAIN_BOOLEAN_INTERSECT : 0u, nullptr,
                                                      nullptr, nullptr, nullptr, nullptr, out);
                     });
        if (one_set_per_shape(c.family))
            for (bool between : {false, true})
                for (bool newer : {true, false}) {
                    CHAIN_set_new_boolean_flag(newer);
                    run_case(std::string("road/") + (between ? "boolean_between/" : "chains_boolean/") + base + "/" +
                                 (newer ? "newer" : "older"),
                             [&](CMEM_pool_s* pool, Lists& lists) {
                                 RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
                                 lists.push_back(out);
                                 return between ? CHAIN_boolean_between(set, 0, out, nullptr)
                                                : ChainsBoolean(set, 0, out, nullptr);
                             });
                    CHAIN_unset_new_boolean_flag();
                }
        CMEM_private_delete_pool(in_pool);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT [FILTER]\n", argv[0]);
        return 2;
    }
    g_out = std::fopen(argv[1], "w");
    if (!g_out) {
        std::perror(argv[1]);
        return 1;
    }
    g_filter = argc > 2 ? argv[2] : nullptr;
    dump_offsets();
    dump_region_offsets();
    dump_region_booleans();
    std::fclose(g_out);
    std::fprintf(stderr, "result_dump: %d cases written to %s (%d thrown)\n", g_cases, argv[1], g_thrown);
    return 0;
}
