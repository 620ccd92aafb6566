// Intersection of a chain list over the host's interference grid.
#include <merrow1/legacy/chain_grid_intersection.h>

#include <internal/check.h>
#include <internal/flavour_intersections.h>
#include <merrow1/chain_intersection.h>
#include <pellam/grid3d_items.h>
#include <velte/cerr.h>
#include <velte/cmem.h>

#include <vector>

#include "chain/chain_record.h"
#include "error_frame.h"

namespace {

// Counts above which the grids pay: at least this many chains take the grid
// over segments; fewer chains whose average vertex count exceeds it the grid
// over chains.
const int kManyChains = 30;
const int kLongChains = 30;
// Grid parameters of the two grids.
const int kSegmentGridParameter = 50;
const int kChainGridParameter = 100;
// Chain boxes are widened by this much before they are compared.
const double kBoxSlack = 1e-8;

using merrow1::is_closed;

// The chains of the list with at least two vertices, at most node-count of them.
std::vector<RING_header_s*> chains_with_segments(const RING_header_s* list) {
    std::vector<RING_header_s*> chains;
    RING_node_s* node = list->first;
    for (int i = 0; i < list->count && node; ++i, node = node->next) {
        RING_header_s* chain = RING_ask_node_subring(node);
        if (chain && chain->count >= 2) chains.push_back(chain);
    }
    return chains;
}

// The nodes ending the chain's segments (segment i at index i - 1), at most
// node-count of them; a closed chain's closing segment ends at its first vertex.
std::vector<RING_node_s*> segment_ends(const RING_header_s* chain) {
    std::vector<RING_node_s*> nodes;
    const int count = is_closed(chain) ? chain->count : chain->count - 1;
    RING_node_s* node = chain->first ? chain->first->next : nullptr;
    for (int i = 0; i < count && node; ++i, node = node->next) nodes.push_back(node);
    return nodes;
}

// Whether [a0, a1] and [b0, b1] meet: one interval's end lies strictly inside
// the other widened by the slack, tried both ways and for both ends.
bool intervals_meet(double a0, double a1, double b0, double b1) {
    auto inside = [](double v, double lo, double hi) { return v > lo - kBoxSlack && v < hi + kBoxSlack; };
    return inside(a0, b0, b1) || inside(a1, b0, b1) || inside(b0, a0, a1) || inside(b1, a0, a1);
}

bool boxes_meet(const CHAIN_BOX_s& a, const CHAIN_BOX_s& b) {
    return intervals_meet(a.min_along, a.max_along, b.min_along, b.max_along) &&
           intervals_meet(a.min_normal, a.max_normal, b.min_normal, b.max_normal);
}

// What both grids share: the chains with segments, their cached boxes and end
// points entered; afterwards the sub-rings of closed chains made circular and
// the set's box hung on the list.
struct GridFrame {
    GridFrame(RING_header_s* chains, RING_header_s* list)
        : chains(chains_with_segments(chains)), set(chains), list(list) {
        for (RING_header_s* chain : this->chains) {
            ChainBox(chain, nullptr, nullptr);
            LoadChainEdges(chain, list);
        }
    }

    void finish() {
        RING_node_s* node = list->first;
        for (int i = 0; i < list->count && node; ++i, node = node->next) {
            RING_header_s* sub = RING_ask_node_subring(node);
            if (!sub || !sub->first || !is_closed(static_cast<const RING_header_s*>(sub->main_data))) continue;
            sub->last->next = sub->first;
            sub->first->previous = sub->last;
        }
        CHAIN_BOX_s total;
        if (ChainsBox(set, nullptr, &total)) {
            auto* record = static_cast<CHAIN_BOX_s*>(CHAIN_ask_cached_box(list));
            if (!record) {
                record = CMEM_NEW(list->pool, CHAIN_BOX_s);
                if (record) RING_put_header_app_data(list, CHAIN_BOX_APP_DATA_KEY, record);
            }
            if (record) *record = total;
        }
    }

    std::vector<RING_header_s*> chains;
    RING_header_s* set;
    RING_header_s* list;
};

int total_vertices(const std::vector<RING_header_s*>& chains) {
    int total = 0;
    for (const RING_header_s* chain : chains) total += chain->count;
    return total;
}

template <class Item>
void* next_in(void* item, void* items) {
    const CARR_array_t* array = static_cast<const CARR_array_t*>(items);
    const int at = static_cast<Item*>(item)->serial + 1;
    return at < CARR_ask_ptrarray_length(array) ? CARR_ask_ptrarray_item(array, at) : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Grid callbacks

void* CHAIN__grid_segment_next_item(void* item, void* items) { return next_in<CHAIN_grid_segment_item_s>(item, items); }

const double* CHAIN__grid_segment_box(void* item, void*) {
    auto* segment_item = static_cast<CHAIN_grid_segment_item_s*>(item);
    CHAIN_BOX_s* box =
        static_cast<CHAIN_BOX_s*>(APP_DATA__ask_app_data(segment_item->vertex->app_data, CHAIN_BOX_APP_DATA_KEY));
    if (box) return &box->min_along;
    return &segment_item->box->min_along;
}

int CHAIN__grid_segment_ask_mark(void* item, void*) { return static_cast<CHAIN_grid_segment_item_s*>(item)->mark; }

void CHAIN__grid_segment_set_mark(void* item, void*, int mark) {
    static_cast<CHAIN_grid_segment_item_s*>(item)->mark = mark;
}

void* CHAIN__grid_chain_next_item(void* item, void* items) { return next_in<CHAIN_grid_chain_item_s>(item, items); }

const double* CHAIN__grid_chain_box(void* item, void*) {
    return &CHAIN_ask_cached_box(static_cast<CHAIN_grid_chain_item_s*>(item)->chain)->min_along;
}

int CHAIN__grid_chain_ask_mark(void* item, void*) { return static_cast<CHAIN_grid_chain_item_s*>(item)->mark; }

void CHAIN__grid_chain_set_mark(void* item, void*, int mark) { static_cast<CHAIN_grid_chain_item_s*>(item)->mark = mark; }

// ---------------------------------------------------------------------------
// The two grids

int CHAIN__intersection_with_grid_chain(RING_header_s* chains, RING_header_s* intersections) {
    MERROW1_REQUIRE(chains && intersections, "DUE_TO_INVALID_INPUT", 0);
    const int total = total_vertices(chains_with_segments(chains));
    merrow1::classic::ErrorFrame error_frame("CHAIN__intersection_with_grid_chain", __FILE__, __LINE__, total / 20);
    CMEM_pool_s* pool = error_frame.pool();
    error_frame.run([&] {
        GridFrame frame(chains, intersections);
        CARR_array_t* items = CARR_create_pool_ptrarray(total > 0 ? total : 1, 100, pool);
        CARR_array_t* results = CARR_create_pool_ptrarray(100, 50, pool);
        // One item per segment; a vertex without a cached box gets its segment's
        // box in the scratch pool.
        for (RING_header_s* chain : frame.chains) {
            const std::vector<RING_node_s*> ends = segment_ends(chain);
            for (size_t i = 0; i < ends.size(); ++i) {
                auto* item = CMEM_NEW(pool, CHAIN_grid_segment_item_s);
                *item = {chain, ends[i], static_cast<int>(i + 1), CARR_ask_ptrarray_length(items), 0, nullptr};
                if (!APP_DATA__ask_app_data(ends[i]->app_data, CHAIN_BOX_APP_DATA_KEY)) {
                    SEGMENT segment;
                    item->box = CMEM_NEW(pool, CHAIN_BOX_s);
                    if (!ChainSegment(chain, ends[i], &segment) || !SegmentBox(&segment, nullptr, item->box))
                        *item->box = CHAIN_BOX_s{{0, 1}, 0, 0, 0, 0};
                }
                CARR_append_to_ptrarray(items, item);
            }
        }
        const int n = CARR_ask_ptrarray_length(items);
        GRID3D_s* grid = GRID3D_create(pool, 0, n ? CARR_ask_ptrarray_item(items, 0) : nullptr,
                                       CHAIN__grid_segment_next_item, CHAIN__grid_segment_box,
                                       CHAIN__grid_segment_ask_mark, CHAIN__grid_segment_set_mark, items,
                                       kSegmentGridParameter);
        for (int k = 0; k < n && grid; ++k) {
            auto* item = static_cast<CHAIN_grid_segment_item_s*>(CARR_ask_ptrarray_item(items, k));
            GRID3D_ask_interference(CHAIN__grid_segment_box(item, items), grid, results);
            for (int r = 0; r < CARR_ask_ptrarray_length(results); ++r) {
                auto* other = static_cast<CHAIN_grid_segment_item_s*>(CARR_ask_ptrarray_item(results, r));
                // A segment is never paired with itself, and each pair once.
                if (other->serial <= item->serial) continue;
                ChainSegmentInt(item->chain, other->chain, item->segment, other->segment, item->vertex, other->vertex,
                                intersections, CHAIN_INTERSECTION_TOLERANCE);
            }
        }
        frame.finish();
    });
    CERR__set_error_code(0);
    return 1;
}

int ChainToChainsIntList(CHAIN_grid_chain_item_s* item, CARR_array_t* interfering, RING_header_s* intersections) {
    MERROW1_REQUIRE(item && item->chain && intersections, "DUE_TO_INVALID_INPUT", 0);
    RING_header_s* chain = item->chain;
    const std::vector<RING_node_s*> segments = segment_ends(chain);
    const CHAIN_BOX_s* box = CHAIN_ask_cached_box(chain);
    std::vector<std::pair<RING_header_s*, std::vector<RING_node_s*>>> others;
    const int found = interfering ? CARR_ask_ptrarray_length(interfering) : 0;
    for (int r = 0; r < found; ++r) {
        auto* other = static_cast<CHAIN_grid_chain_item_s*>(CARR_ask_ptrarray_item(interfering, r));
        if (other->serial <= item->serial) continue;
        const CHAIN_BOX_s* other_box = CHAIN_ask_cached_box(other->chain);
        if (!box || !other_box || !boxes_meet(*box, *other_box)) continue;
        others.emplace_back(other->chain, segment_ends(other->chain));
    }
    for (size_t i = 0; i < segments.size(); ++i) {
        for (size_t j = i + 1; j < segments.size(); ++j)
            ChainSegmentInt(chain, chain, int(i + 1), int(j + 1), segments[i], segments[j], intersections,
                            CHAIN_INTERSECTION_TOLERANCE);
        for (const auto& other : others)
            for (size_t j = 0; j < other.second.size(); ++j)
                ChainSegmentInt(chain, other.first, int(i + 1), int(j + 1), segments[i], other.second[j],
                                intersections, CHAIN_INTERSECTION_TOLERANCE);
    }
    return 1;
}

int CHAIN__intersection_with_grid_segment(RING_header_s* chains, RING_header_s* intersections) {
    MERROW1_REQUIRE(chains && intersections, "DUE_TO_INVALID_INPUT", 0);
    const int n = static_cast<int>(chains_with_segments(chains).size());
    merrow1::classic::ErrorFrame error_frame("CHAIN__intersection_with_grid_segment", __FILE__, __LINE__, n / 20);
    CMEM_pool_s* pool = error_frame.pool();
    error_frame.run([&] {
        GridFrame frame(chains, intersections);
        CARR_array_t* items = CARR_create_pool_ptrarray(n > 0 ? n : 1, 100, pool);
        CARR_array_t* results = CARR_create_pool_ptrarray(100, 50, pool);
        for (RING_header_s* chain : frame.chains) {
            auto* item = CMEM_NEW(pool, CHAIN_grid_chain_item_s);
            const int position = CARR_ask_ptrarray_length(items) + 1;
            *item = {chains, chain, position, position - 1, 0};
            CARR_append_to_ptrarray(items, item);
        }
        GRID3D_s* grid = GRID3D_create(pool, 0, n ? CARR_ask_ptrarray_item(items, 0) : nullptr,
                                       CHAIN__grid_chain_next_item, CHAIN__grid_chain_box, CHAIN__grid_chain_ask_mark,
                                       CHAIN__grid_chain_set_mark, items, kChainGridParameter);
        for (int k = 0; k < n && grid; ++k) {
            auto* item = static_cast<CHAIN_grid_chain_item_s*>(CARR_ask_ptrarray_item(items, k));
            GRID3D_ask_interference(CHAIN__grid_chain_box(item, items), grid, results);
            ChainToChainsIntList(item, results, intersections);
        }
        frame.finish();
    });
    CERR__set_error_code(0);
    return 1;
}

// ---------------------------------------------------------------------------
// The entry

int CHAIN_find_intersection(RING_header_s* chains, RING_header_s* intersections) {
    MERROW1_REQUIRE(chains && intersections, "DUE_TO_INVALID_INPUT", 0);
    // n and T count every chain of the list.
    int n = 0, total = 0;
    RING_node_s* node = chains->first;
    for (int i = 0; i < chains->count && node; ++i, node = node->next)
        if (const RING_header_s* chain = RING_ask_node_subring(node)) {
            ++n;
            total += chain->count;
        }
    int answer = 1;
    if (n == 0)
        answer = 1;
    else if (n >= kManyChains)
        answer = CHAIN__intersection_with_grid_chain(chains, intersections);
    else if (total / n > kLongChains)
        answer = CHAIN__intersection_with_grid_segment(chains, intersections);
    else
        answer = ChainsIntersection(chains, intersections);
    if (answer == 1) CERR__set_error_code(0);
    return answer;
}

// The classic build's intersections for the loop forming and the offset
// tracer.
int merrow1::flavour_intersections(RING_header_s* chains, RING_header_s* intersections) {
    return CHAIN_find_intersection(chains, intersections);
}
