// Embedded marks on tool paths.
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_embedded.h>
#include <merrow1/chain_from_chain.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_types.h>
#include <merrow1/segment.h>

#include <pellam/mchn_segment.h>
#include <quorn/quorn.h>
#include <velte/ring.h>

#include "../chain/chain_each.h"
#include "../internal/check.h"
#include "../internal/ring_nodes.h"
#include "../internal/scratch_pool.h"
#include "chain_embedded_internal.h"
#include "chain/chain_fields_guard.h"

#include <cmath>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

using merrow1::is_closed;
using merrow1::main_of;
using merrow1::point_of;
using merrow1::vertex_record;

// Calls fn on every vertex of the chain (a closed chain's vertices once).
template <class Fn>
void for_each_vertex(RING_header_s* chain, Fn fn) {
    RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next)
        if (CHAIN_vertex_data_s* v = vertex_record(node)) fn(v);
}

// Calls fn on the chain, or on every chain of a list and of its sub-lists.
template <class Fn>
void for_each_chain_deep(RING_header_s* chain_or_list, Fn fn, int depth = 0) {
    if (!chain_or_list || depth > 64) return;
    if (chain_or_list->type != RING_TYPE_LIST) {
        fn(chain_or_list);
        return;
    }
    RING_node_s* node = chain_or_list->first;
    for (int i = 0; i < chain_or_list->count && node; ++i, node = node->next)
        if (RING_header_s* sub = RING_ask_node_subring(node)) for_each_chain_deep(sub, fn, depth + 1);
}

}  // namespace

void CHAIN_mark_as_fully_embedded(RING_header_s* chain_or_list) {
    for_each_chain_deep(chain_or_list, [](RING_header_s* chain) {
        RING_put_header_app_data(chain, CHAIN_APP_DATA_EMBEDDED_MARKS, chain);
        RING_put_header_app_data(chain, CHAIN_APP_DATA_FULLY_EMBEDDED, chain);
        for_each_vertex(chain, [](CHAIN_vertex_data_s* v) { v->flags |= CHAIN_VERTEX_EMBEDDED; });
    });
}

void CHAIN_clear_embedded_marks(RING_header_s* chain_or_list) {
    for_each_chain_deep(chain_or_list, [](RING_header_s* chain) {
        if (!APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_EMBEDDED_MARKS)) return;
        RING_delete_app_data(chain, CHAIN_APP_DATA_FULLY_EMBEDDED);
        RING_delete_app_data(chain, CHAIN_APP_DATA_EMBEDDED_MARKS);
        for_each_vertex(chain, [](CHAIN_vertex_data_s* v) {
            v->flags &= ~(CHAIN_VERTEX_EMBEDDED | CHAIN_VERTEX_NARROW_EMBEDDED);
        });
    });
}

// ---------------------------------------------------------------------------
// Inner and gap regions
// ---------------------------------------------------------------------------

namespace {

constexpr unsigned kBackSide = 0x20000000u;  // vertex asks for the gap offset
// The inner and gap regions of a path of width w keep no region of area
// below w x this x w.
constexpr double kLeastRegionAreaShare = 1e-6;

bool empty_set(RING_header_s* set) {
    bool any = false;
    merrow1::for_each_chain(set, [&](RING_header_s*) { any = true; });
    return !any;
}

// Region sets hold closed chains only: the union refuses an open one.
bool all_closed(RING_header_s* set) {
    bool closed = true;
    merrow1::for_each_chain(set, [&](RING_header_s* chain) {
        closed = closed && is_closed(chain);
    });
    return closed;
}

// The chains of a chain or list, as a set to look chains up in.
std::unordered_set<const RING_header_s*> chain_set_of(RING_header_s* set) {
    const std::vector<RING_header_s*> chains = merrow1::chains_of(set);
    return {chains.begin(), chains.end()};
}

// Offset of a region segment: the gap offset for type-2 segments and
// back-side vertices, else the chain's implied offset when in force.
double region_offset(RING_header_s* chain, RING_node_s* vertex, void* data) {
    const double gap = *static_cast<const double*>(data);
    const CHAIN_vertex_data_s* v = vertex_record(vertex);
    if ((v && (v->flags & kBackSide)) || MCHN_ask_segment_geom_type(chain, vertex) == 2) return gap;
    const CHAIN_main_data_s* md = chain ? main_of(chain) : nullptr;
    return md && (md->use_implied_offset & CHAIN_IMPLIED_OFFSET_IN_FORCE) ? md->implied_offset : 0.0;
}

// Whether the region is too small to count: under min_area, or a sliver.
bool small_region(RING_header_s* region, double min_area, double tolerance) {
    const double area = std::fabs(CHAIN_chainArea_chainCentroid(region, nullptr));
    if (area < min_area) return true;
    if (area >= 10000.0 * min_area) return false;
    const double perimeter = CHAIN_perimeter_and_centroid(region, nullptr);
    return perimeter > 0.0 && area / (2.0 * perimeter) < 1000.0 * tolerance;
}

// Takes the node's chain out of the region list: a chain of the caller's
// sets is only unhooked, a region chain made by the union is deleted.
void drop_region(RING_header_s* regions, RING_node_s* node, const std::unordered_set<const RING_header_s*>& callers) {
    RING_header_s* chain = RING_ask_node_subring(node);
    if (chain && callers.count(chain)) RING_set_node_subring(node, nullptr);
    RING_delete_node(regions, node);
}

}  // namespace

RING_header_s* CHAIN__inner_and_gap_regions(RING_header_s* path, RING_header_s* boundary, double width, double gap,
                                            double min_area, bool gap_callback, CMEM_pool_s* pool,
                                            double* offset) {
    if (!path || !boundary || !pool || empty_set(path) || empty_set(boundary)) return nullptr;
    MERROW1_REQUIRE(std::isfinite(width) && std::isfinite(gap) && std::isfinite(min_area), "DUE_TO_INVALID_INPUT",
                    nullptr);
    MERROW1_REQUIRE(all_closed(path) && all_closed(boundary), "DUE_TO_CHAIN_BEING_OPEN", nullptr);
    // 1-2. The tolerance and the boundary offset.
    double t = CHAIN_ask_set_tolerance(boundary);
    if (!(t > EQ_ask_length_tolerance())) t = CHAIN_ask_set_approx_tolerance(boundary);
    double o = 10.0 * t + width;
    if (gap > o) o = gap;
    if (offset) *offset = o;
    double gap_offset = width > 0.0 ? 0.7 * width : 10.0 * o;

    std::unordered_set<const RING_header_s*> callers = chain_set_of(path);
    for (const RING_header_s* c : chain_set_of(boundary)) callers.insert(c);
    RING_header_s* regions = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    try {
        merrow1::run_converting([&]() {
            MERROW1_SCRATCH_POOL(scratch, "CHAIN_fillet_region");
            merrow1::ChainFieldsGuard stamped(merrow1::kChainAllFields);
            stamped.save_each(path);
            stamped.save_each(boundary);
            // 3. The path at offset 0 without end circles as region set 0,
            //    the boundary on its other side grown by o as region set 1.
            RING_header_s* set = CHAIN_create_boolean_set(scratch, nullptr);
            CHAIN_append_region_set(set, path, 0, CHAIN_IMPLIED_OFFSET_IN_FORCE | CHAIN_IMPLIED_OFFSET_NO_CIRCLE, 0.0,
                                    false, false);
            CHAIN_append_region_set(set, boundary, 1, CHAIN_IMPLIED_OFFSET_IN_FORCE, o, false, true);
            // 4. The union keeps the sources: the split points read them.
            CHAIN_union_regions(set, 0, true, nullptr, gap_callback ? region_offset : nullptr, &gap_offset, regions);
            RING_delete(set);
            // 5. Small regions and slivers go.
            for (RING_node_s* node : merrow1::ring_nodes(regions)) {
                RING_header_s* chain = RING_ask_node_subring(node);
                if (!chain || small_region(chain, min_area, t)) drop_region(regions, node, callers);
            }
            // 6. The stamps go back with the guard.
            CHAIN_debug_report(3, "inner and gap regions", regions, nullptr);
        });
    } catch (...) {
        CHAIN__release_embedded_regions(regions, path, boundary);
        throw;
    }
    return regions;
}

void CHAIN__release_embedded_regions(RING_header_s* regions, RING_header_s* path, RING_header_s* boundary) {
    if (!regions) return;
    std::unordered_set<const RING_header_s*> callers = chain_set_of(path);
    for (const RING_header_s* c : chain_set_of(boundary)) callers.insert(c);
    for (RING_node_s* node : merrow1::ring_nodes(regions)) {
        RING_header_s* chain = RING_ask_node_subring(node);
        if (chain && callers.count(chain)) RING_set_node_subring(node, nullptr);
    }
    RING_delete(regions);
}

// ---------------------------------------------------------------------------
// Split points
// ---------------------------------------------------------------------------

namespace {

const CHAIN_source_segment_s* source_of(const RING_node_s* vertex) {
    return static_cast<const CHAIN_source_segment_s*>(APP_DATA__ask_app_data(vertex->app_data, APP_DATA_SOURCE_SEGMENT));
}

// Which set a region vertex's source lies in: 0 the path, 1 the boundary,
// -1 neither (or no source).
struct SetOf {
    std::unordered_set<const RING_header_s*> path, boundary;
    int operator()(const CHAIN_source_segment_s* s) const {
        if (!s || !s->source_chain || !s->source_vertex) return -1;
        if (path.count(s->source_chain)) return 0;
        if (boundary.count(s->source_chain)) return 1;
        return -1;
    }
};


// Hangs the record into the vertex's key-201 list in parameter order.
void insert_split_point(RING_header_s* chain, RING_node_s* vertex, CHAIN_split_point_s* record) {
    auto* head = static_cast<CHAIN_split_point_s*>(APP_DATA__ask_app_data(vertex->app_data, CHAIN_APP_DATA_SPLIT_POINTS));
    if (!head || record->parameter < head->parameter) {
        record->next = head;
        RING_put_node_app_data(chain, vertex, CHAIN_APP_DATA_SPLIT_POINTS, record);
        return;
    }
    CHAIN_split_point_s* at = head;
    while (at->next && at->next->parameter <= record->parameter) at = at->next;
    record->next = at->next;
    at->next = record;
}

}  // namespace

int CHAIN__split_points_from_regions(RING_header_s* regions, RING_header_s* path, RING_header_s* boundary,
                                     CMEM_pool_s* pool) {
    if (!regions || !path || !pool) return 0;
    SetOf set_of{chain_set_of(path), chain_set_of(boundary)};
    int made = 0;
    merrow1::for_each_chain(regions, [&](RING_header_s* region) {
        const std::vector<RING_node_s*> nodes = merrow1::ring_nodes(region);
        const size_t n = nodes.size();
        if (n < 2) return;
        const CHAIN_main_data_s* rmd = main_of(region);
        const double near = 10.0 * (rmd && rmd->approximation_tolerance_set ? rmd->approximation_tolerance : 0.0);
        // The walk carries the last vertex with a source of either set,
        // starting from the region's end; vertices without one (corner
        // pieces of the grown boundary) are passed over.
        size_t last = n;
        for (size_t k = n; k-- > 0 && last == n;)
            if (set_of(source_of(nodes[k])) >= 0) last = k;
        if (last == n) return;
        for (size_t i = 0; i < n; ++i) {
            RING_node_s* cur = nodes[i];
            const CHAIN_source_segment_s* cs = source_of(cur);
            const int cset = set_of(cs);
            if (cset < 0) continue;
            const size_t prev_index = last;
            last = i;
            const CHAIN_source_segment_s* ps = source_of(nodes[prev_index]);
            const int pset = set_of(ps);
            if (pset == cset) continue;
            // The boundary passes from one set to the other: where the path
            // piece begins (entering) or ends (leaving).
            const bool entering = pset == 1;
            const CHAIN_source_segment_s* on_path = entering ? cs : ps;
            RING_header_s* path_chain = on_path->source_chain;
            RING_node_s* path_vertex = on_path->source_vertex;
            const double* at = entering ? point_of(nodes[(i + n - 1) % n]) : point_of(nodes[prev_index]);
            double p[2] = {at[0], at[1]};
            SEGMENT seg{};
            if (!ChainSegment(path_chain, path_vertex, &seg)) continue;
            if (SegmentPointMinDist(&seg, p, nullptr) >= near) {
                // Off its own source segment: the neighbouring region piece
                // on the same path chain names the segment, and the point
                // moves to the end of that piece where it meets this one.
                RING_node_s* other = entering ? nodes[(i + 1) % n] : nodes[(prev_index + n - 1) % n];
                const CHAIN_source_segment_s* os = source_of(other);
                if (!os || os->source_chain != path_chain || !os->source_vertex) continue;
                path_vertex = os->source_vertex;
                const double* q = entering ? point_of(cur) : point_of(other);
                p[0] = q[0];
                p[1] = q[1];
                if (!ChainSegment(path_chain, path_vertex, &seg)) continue;
            }
            auto* record = CMEM_NEW(pool, CHAIN_split_point_s);
            record->point[0] = p[0];
            record->point[1] = p[1];
            record->parameter = SegmentPointParameter(&seg, p);
            record->entering = entering ? 1 : 0;
            record->next = nullptr;
            insert_split_point(path_chain, path_vertex, record);
            ++made;
        }
    });
    return made;
}

void CHAIN__remove_split_points(RING_header_s* path) {
    for_each_chain_deep(path, [](RING_header_s* chain) {
        for (RING_node_s* v : merrow1::ring_nodes(chain)) {
            auto* r = static_cast<CHAIN_split_point_s*>(APP_DATA__ask_app_data(v->app_data, CHAIN_APP_DATA_SPLIT_POINTS));
            if (!r) continue;
            RING_delete_app_data_of_node(chain, v, CHAIN_APP_DATA_SPLIT_POINTS);
            for (int guard = 0; r; ++guard) {
                if (guard > 1 << 24) MERROW1_INFINITE_LOOP();
                CHAIN_split_point_s* next = r->next;
                CMEM_private_delete_object(r);
                r = next;
            }
        }
    });
}

// ---------------------------------------------------------------------------
// Marking entries
// ---------------------------------------------------------------------------

namespace {

bool has_key(const RING_header_s* chain, int key) { return APP_DATA__ask_app_data(chain->app_data, key) != nullptr; }

void set_flag(RING_node_s* v, unsigned flag, bool on) {
    if (on)
        vertex_record(v)->flags |= flag;
    else
        vertex_record(v)->flags &= ~flag;
}

// Key-20 and key-17 records of the boundary set by the path vertex they name,
// so the records that named a split vertex can move to the new vertex.
class BoundaryReferences {
public:
    explicit BoundaryReferences(RING_header_s* boundary) {
        merrow1::for_each_chain(boundary, [&](RING_header_s* chain) {
            for (RING_node_s* v : merrow1::ring_nodes(chain)) {
                if (auto* s = static_cast<CHAIN_source_segment_s*>(
                        APP_DATA__ask_app_data(v->app_data, APP_DATA_SOURCE_SEGMENT)))
                    if (s->source_vertex) m_segment.emplace(s->source_vertex, s);
                if (auto* s = static_cast<CHAIN_source_chain_source_vertex_s*>(
                        APP_DATA__ask_app_data(v->app_data, APP_DATA_SOURCE_VERTEX)))
                    if (s->source_vertex) m_vertex.emplace(s->source_vertex, s);
            }
        });
    }
    void move(RING_header_s* chain, RING_node_s* from, RING_node_s* to) {
        move_in(m_segment, chain, from, to);
        move_in(m_vertex, chain, from, to);
    }

private:
    template <class Map>
    static void move_in(Map& map, RING_header_s* chain, RING_node_s* from, RING_node_s* to) {
        auto range = map.equal_range(from);
        std::vector<typename Map::mapped_type> moved;
        for (auto it = range.first; it != range.second;) {
            if (it->second->source_chain == chain) {
                it->second->source_vertex = to;
                moved.push_back(it->second);
                it = map.erase(it);
            } else {
                ++it;
            }
        }
        for (auto* r : moved) map.emplace(to, r);
    }
    std::unordered_multimap<const RING_node_s*, CHAIN_source_segment_s*> m_segment;
    std::unordered_multimap<const RING_node_s*, CHAIN_source_chain_source_vertex_s*> m_vertex;
};

// Applies the key-201 split points of one path chain: splits its segments at
// them and sets the embedded flag stretch by stretch.  True when the chain
// had split points.
bool apply_split_points(RING_header_s* chain, BoundaryReferences& refs) {
    bool state = false;  // inside an embedded stretch
    bool had = false;
    const std::vector<RING_node_s*> vertices = merrow1::ring_nodes(chain);
    for (RING_node_s* v : vertices) {
        auto* r = static_cast<CHAIN_split_point_s*>(APP_DATA__ask_app_data(v->app_data, CHAIN_APP_DATA_SPLIT_POINTS));
        bool v_at_point = false;
        if (r) RING_delete_app_data_of_node(chain, v, CHAIN_APP_DATA_SPLIT_POINTS);
        for (int guard = 0; r; ++guard) {
            if (guard > chain->count + (1 << 20)) MERROW1_INFINITE_LOOP();
            CHAIN_split_point_s* next = r->next;
            RING_node_s* before = v->previous;
            const Korvo::Math::Point2 at{r->point[0], r->point[1]};
            RING_node_s* node = CHAIN_split_seg(chain, v, &at);
            if (node) {
                const bool new_vertex = node != v && node != before;
                if (r->entering && new_vertex) refs.move(chain, v, node);
                if (!had && !r->entering) {
                    // The chain starts inside an embedded stretch.
                    for (RING_node_s* w : merrow1::ring_nodes(chain)) {
                        set_flag(w, CHAIN_VERTEX_EMBEDDED, true);
                        if (w == node) break;
                    }
                }
                had = true;
                set_flag(node, CHAIN_VERTEX_EMBEDDED, !r->entering);
                state = r->entering;
                v_at_point = v_at_point || node == v;
            }
            CMEM_private_delete_object(r);
            r = next;
        }
        if (!v_at_point) set_flag(v, CHAIN_VERTEX_EMBEDDED, state);
    }
    return had;
}

// The regions of one marking call and the split points on the path: the
// split points leave the path and the regions go when the call ends, also
// while an error passes.
struct RegionsAndSplitPoints {
    RING_header_s* path;
    RING_header_s* boundary;
    RING_header_s* regions = nullptr;
    ~RegionsAndSplitPoints() {
        CHAIN__remove_split_points(path);
        CHAIN__release_embedded_regions(regions, path, boundary);
    }
};

}  // namespace

void CHAIN_mark_embedded_path(RING_header_s* path, RING_header_s* boundary, double width, double gap,
                              bool gap_callback, CMEM_pool_s* pool) {
    if (!path || empty_set(path)) return;
    MERROW1_REQUIRE(std::isfinite(width) && std::isfinite(gap), "DUE_TO_INVALID_INPUT", );
    // Input the regions cannot be built from is refused before any mark changes.
    const bool with_boundary = boundary && !empty_set(boundary);
    MERROW1_REQUIRE(!with_boundary || pool, "DUE_TO_INVALID_INPUT", );
    MERROW1_REQUIRE(!with_boundary || (all_closed(path) && all_closed(boundary)), "DUE_TO_CHAIN_BEING_OPEN", );
    // 1. Old marks go; a path chain that no boundary vertex came from is
    //    embedded whole.  The chains are told apart by the sources alone, so
    //    their region-set ids are never touched.
    CHAIN_clear_embedded_marks(path);
    std::unordered_set<const RING_header_s*> unnamed = chain_set_of(path);
    merrow1::for_each_chain(boundary, [&](RING_header_s* chain) {
        for (RING_node_s* v : merrow1::ring_nodes(chain)) {
            if (unnamed.empty()) return;
            if (const CHAIN_source_segment_s* s = source_of(v)) unnamed.erase(s->source_chain);
        }
    });
    merrow1::for_each_chain(path, [&](RING_header_s* chain) {
        if (unnamed.count(chain)) CHAIN_mark_as_fully_embedded(chain);
    });
    // 2. With a boundary: split at the regions' split points and mark.
    if (!with_boundary) return;
    merrow1::run_converting([&]() {
        RegionsAndSplitPoints cleanup{path, boundary};
        cleanup.regions = CHAIN__inner_and_gap_regions(path, boundary, width, gap,
                                                       width * kLeastRegionAreaShare * width, gap_callback, pool);
        CHAIN__split_points_from_regions(cleanup.regions, path, boundary, pool);
        BoundaryReferences refs(boundary);
        merrow1::for_each_chain(path, [&](RING_header_s* chain) {
            if (has_key(chain, CHAIN_APP_DATA_FULLY_EMBEDDED)) return;
            if (apply_split_points(chain, refs)) RING_put_header_app_data(chain, CHAIN_APP_DATA_EMBEDDED_MARKS, chain);
        });
    });
}

void CHAIN_mark_narrow_embedded_path(RING_header_s* path, RING_header_s* boundary, double width) {
    if (!path || empty_set(path)) return;
    MERROW1_REQUIRE(std::isfinite(width), "DUE_TO_INVALID_INPUT", );
    auto mark_narrow_whole = [](RING_header_s* chain) {
        RING_put_header_app_data(chain, CHAIN_APP_DATA_NARROW_EMBEDDED, chain);
        for_each_vertex(chain, [](CHAIN_vertex_data_s* v) { v->flags |= CHAIN_VERTEX_NARROW_EMBEDDED; });
    };
    // 1. Without a boundary every marked chain is narrow whole.
    if (!boundary || empty_set(boundary)) {
        merrow1::for_each_chain(path, [&](RING_header_s* chain) {
            if (has_key(chain, CHAIN_APP_DATA_EMBEDDED_MARKS)) mark_narrow_whole(chain);
        });
        return;
    }
    MERROW1_REQUIRE(all_closed(path) && all_closed(boundary), "DUE_TO_CHAIN_BEING_OPEN", );
    // 2. Nothing to do unless some chain is marked.
    bool marked = false, there_and_back = false;
    merrow1::for_each_chain(path, [&](RING_header_s* chain) {
        marked = marked || has_key(chain, CHAIN_APP_DATA_EMBEDDED_MARKS);
        there_and_back = there_and_back || CHAIN_is_closed_back_along_itself(chain);
    });
    if (!marked) return;
    merrow1::run_converting([&]() {
        MERROW1_SCRATCH_POOL(scratch, "CHAIN_mark_narrow_embedded_path");
        // The split points live in the scratch pool: they leave the path
        // before the pool goes, on every exit.
        RegionsAndSplitPoints cleanup{path, boundary};
        cleanup.regions =
            CHAIN__inner_and_gap_regions(path, boundary, 0.0, 0.0, width * kLeastRegionAreaShare * width, there_and_back,
                                         scratch);
        CHAIN__split_points_from_regions(cleanup.regions, path, boundary, scratch);
        // A chain that a region is, or that a region was made from alone
        // (its key-10 source): the boundary never came near it.
        std::unordered_set<const RING_header_s*> region_of;
        merrow1::for_each_chain(cleanup.regions, [&](RING_header_s* region) {
            region_of.insert(region);
            if (void* from = APP_DATA__ask_app_data(region->app_data, APP_DATA_STOCKED_FROM))
                region_of.insert(static_cast<const RING_header_s*>(from));
        });
        merrow1::for_each_chain(path, [&](RING_header_s* chain) {
            if (!has_key(chain, CHAIN_APP_DATA_EMBEDDED_MARKS)) return;
            // Embedded vertices up to the first entering split point are narrow.
            const std::vector<RING_node_s*> vertices = merrow1::ring_nodes(chain);
            size_t stop = vertices.size();
            bool split = false;
            for (size_t i = 0; i < vertices.size() && stop == vertices.size(); ++i) {
                auto* r = static_cast<const CHAIN_split_point_s*>(
                    APP_DATA__ask_app_data(vertices[i]->app_data, CHAIN_APP_DATA_SPLIT_POINTS));
                split = split || r;
                for (int guard = 0; r && stop == vertices.size(); r = r->next, ++guard) {
                    if (guard > 1 << 20) MERROW1_INFINITE_LOOP();
                    if (r->entering) stop = i + 1;
                }
            }
            if (split)
                for (size_t i = 0; i < stop; ++i)
                    if (vertex_record(vertices[i])->flags & CHAIN_VERTEX_EMBEDDED)
                        set_flag(vertices[i], CHAIN_VERTEX_NARROW_EMBEDDED, true);
            if (CHAIN_is_closed_back_along_itself(chain) || region_of.count(chain)) mark_narrow_whole(chain);
        });
        CHAIN_debug_report(3, "Chains - narrow embedded", path, nullptr);
    });
}
