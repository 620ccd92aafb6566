// Ordering of shapes: the containment tree of a region set and the set
// rewritten in its order, sequencing by distance, dropping of leading
// islands, and removal of chains whose link to their source crosses a region.
#include <merrow1/chain_order.h>

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_location.h>
#include <merrow1/chain_source.h>

#include "chainops/chain_locations.h"
#include "chainops/shape_kind.h"
#include "internal/ring_nodes.h"
#include "internal/scratch_pool.h"

#include <stend/error.h>
#include <velte/cerr.h>
#include <velte/ring.h>
#include <velte/tree.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

namespace {

using merrow1::is_closed;
using merrow1::is_closed_pocket;
using merrow1::is_island;
using merrow1::is_periphery;
using merrow1::point_of;
using merrow1::ring_nodes;
using merrow1::shape_data;

RING_header_s* chain_of(const TREE_node_s* node) {
    return node ? static_cast<RING_header_s*>(node->data) : nullptr;
}

bool traced(const RING_header_s* chain) {
    const CHAIN_main_data_s* data = shape_data(chain);
    return data && data->kind == TRACE_CHAIN;
}

// ---------------------------------------------------------------------------
// The containment tree

// The chains placed keep their geometry while the tree is built, so each
// chain's part of a location is read once (the tree asks about every pair of
// sisters of a level).
struct Placer {
    TREE_s* tree;
    const double* tolerance;
    CHAIN__ChainLocations locations;

    CHAIN_LOCATION where(const RING_header_s* a, RING_header_s* b) { return locations.locate(a, b, tolerance); }

    TREE_node_s* last_daughter(TREE_node_s* node) const {
        TREE_node_s* d = node->daughter;
        while (d && d->sister) d = d->sister;
        return d;
    }

    // Places c on the level below `parent` (null: the top level).  Each
    // recursion goes one level down, so the depth is bounded by the tree.
    void place(TREE_node_s* parent, RING_header_s* c) {
        TREE_node_s* first = parent ? parent->daughter : tree->root;
        if (!first) {
            parent ? TREE_add_daughter(tree, parent, c) : TREE_add_sister(tree, nullptr, c);
            return;
        }
        for (TREE_node_s* s = first; s; s = s->sister) {
            RING_header_s* shape = chain_of(s);
            const CHAIN_LOCATION l = where(c, shape);
            if (l == CHAIN_LOCATION_INSIDE) {
                if (!s->daughter)
                    TREE_add_daughter(tree, s, c);
                else
                    place(s, c);
                return;
            }
            if (l == CHAIN_LOCATION_OUTSIDE) {
                if (where(shape, c) != CHAIN_LOCATION_INSIDE) continue;
                // c takes s's place; s and every later node of the level that
                // lies inside c go below c, in their order.
                TREE_node_s* n = TREE_add_sister(tree, s, c);
                TREE_move_sister_node(tree, n, s->parent, s->previous);
                std::vector<TREE_node_s*> later;
                for (TREE_node_s* t = n->sister; t; t = t->sister)
                    if (t != s && where(chain_of(t), c) == CHAIN_LOCATION_INSIDE) later.push_back(t);
                TREE_move_sister_node(tree, s, n, nullptr);
                for (TREE_node_s* t : later) TREE_move_sister_node(tree, t, n, last_daughter(n));
                return;
            }
            if (l == CHAIN_LOCATION_ON) {
                TREE_node_s* n = s->daughter ? TREE_insert_daughter(tree, s, c) : TREE_add_daughter(tree, s, c);
                // A pocket lying on an island becomes its parent.
                if (n && is_island(shape) && is_closed_pocket(c)) std::swap(s->data, n->data);
                return;
            }
        }
        TREE_add_sister(tree, first, c);
    }
};

TREE_s* build_tree(const RING_header_s* chains, const double* tolerance, CMEM_pool_s* pool) {
    TREE_s* tree = TREE_create(pool);
    if (!tree) return nullptr;
    Placer placer{tree, tolerance, {}};
    for (RING_node_s* node : ring_nodes(chains))
        if (RING_header_s* chain = RING_ask_node_subring(node))
            if (shape_data(chain)) placer.place(nullptr, chain);
    return tree;
}

// ---------------------------------------------------------------------------
// Rewriting a set in tree order

// The set's list nodes are taken out before the scan and kept; the scan
// appends new nodes.  Finished: the old nodes are freed without their chains.
// Abandoned (an error): the new nodes go, again without their chains, and the
// old ones come back in their order.
class ListRewrite {
public:
    explicit ListRewrite(RING_header_s* set) : set_(set), old_(ring_nodes(set)) {
        for (RING_node_s* node : old_) RING_disconnect_node(set_, node);
    }
    ~ListRewrite() {
        if (done_) {
            for (RING_node_s* node : old_) drop(node);
            return;
        }
        for (RING_node_s* node : ring_nodes(set_)) {
            RING_set_node_subring(node, nullptr);
            RING_delete_node(set_, node);
        }
        for (RING_node_s* node : old_) RING_connect_node(set_, set_->last, node);
    }
    ListRewrite(const ListRewrite&) = delete;
    ListRewrite& operator=(const ListRewrite&) = delete;
    void finish() { done_ = true; }

private:
    // Frees a disconnected node, keeping its chain.
    void drop(RING_node_s* node) {
        RING_set_node_subring(node, nullptr);
        RING_connect_node(set_, set_->last, node);
        RING_delete_node(set_, node);
    }
    RING_header_s* set_;
    std::vector<RING_node_s*> old_;
    bool done_ = false;
};

// Takes a node out of the set, leaving its chain alone.
void take_out(RING_header_s* set, RING_node_s* node) {
    RING_set_node_subring(node, nullptr);
    RING_delete_node(set, node);
}

bool has_key(const RING_node_s* node, int key) { return APP_DATA__ask_app_data(node->app_data, key) != nullptr; }

// The entry of the set holding the chain, searched from the end; null when
// none does.
RING_node_s* entry_from_end(const RING_header_s* set, const RING_header_s* chain) {
    const std::vector<RING_node_s*> nodes = ring_nodes(set);
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it)
        if (RING_ask_node_subring(*it) == chain) return *it;
    return nullptr;
}

struct Scan {
    RING_header_s* set;
    int key;  // the mark of new entries, 0 for none
    std::set<const TREE_node_s*> written;

    RING_node_s* mark(RING_node_s* entry) {
        if (key && entry) RING_put_node_app_data(set, entry, key, RING_ask_node_subring(entry));
        return entry;
    }
    RING_node_s* append(RING_header_s* chain, bool marked = true) {
        RING_node_s* entry = RING_insert_after(set, set->last, chain);
        return marked ? mark(entry) : entry;
    }
    RING_node_s* insert_after(RING_node_s* after, RING_header_s* chain, bool marked = true) {
        RING_node_s* entry = RING_insert_after(set, after, chain);
        return marked ? mark(entry) : entry;
    }
    bool seen(const TREE_node_s* node) const { return written.count(node) != 0; }
    void wrote(const TREE_node_s* node) { written.insert(node); }
};

// Appends the node's chain and those of its following sisters that `take`
// accepts and that are not written yet, in sister order, marking them written
// (and the entries, with `marked`).
template <class Take>
void append_with_sisters(Scan& scan, TREE_node_s* node, Take take, bool marked) {
    for (TREE_node_s* n = node; n; n = n->sister) {
        if (n != node && (!take(chain_of(n)) || scan.seen(n))) continue;
        scan.append(chain_of(n), marked);
        scan.wrote(n);
    }
}

// The steps both region orders take for a shape s below the top level, under
// the parent shape p: an island under an island waits; an island under
// anything else brings its sisters that are not closed pockets (the entries
// marked with `marked`); an open or traced shape, or one under an open, traced
// or island parent, is written as it is.  True when one of them placed the
// shape (or let it wait).
bool placed_island_or_loose_shape(Scan& scan, TREE_node_s* node, RING_header_s* s, RING_header_s* p, bool marked) {
    if (is_island(s)) {
        if (is_island(p)) return true;
        append_with_sisters(scan, node, [](const RING_header_s* c) { return !is_closed_pocket(c); }, marked);
        return true;
    }
    if (!is_closed(s) || traced(s) || !is_closed(p) || traced(p) || is_island(p)) {
        scan.append(s);
        scan.wrote(node);
        return true;
    }
    return false;
}

// Runs one scan rule over the tree of the set's chains, the set emptied
// before and rewritten by the rule; the scratch pool "order_cut_shapes".
template <class Rule>
void rewrite_in_tree_order(RING_header_s* set, int key, Rule rule) {
    merrow1::run_converting([&] {
        MERROW1_SCRATCH_POOL(pool, "order_cut_shapes");
        for (RING_node_s* node : ring_nodes(set)) {
            RING_delete_app_data_of_node(set, node, APP_DATA_REGION_ORDER_MARK);
            RING_delete_app_data_of_node(set, node, APP_DATA_RETAINED_ORDER_MARK);
        }
        TREE_s* tree = build_tree(set, nullptr, pool);
        if (!tree) return;
        ListRewrite rewrite(set);
        Scan scan{set, key, {}};
        struct Context {
            Scan* scan;
            Rule* rule;
        } context{&scan, &rule};
        TREE_scan_down_left_right(
            tree,
            [](TREE_s*, TREE_node_s* node, void* data) {
                auto* c = static_cast<Context*>(data);
                if (c->scan->seen(node)) return;
                (*c->rule)(*c->scan, node);
            },
            &context);
        rewrite.finish();
        TREE_delete(tree);
    });
}

RING_header_s* parent_chain(const TREE_node_s* node) { return node->parent ? chain_of(node->parent) : nullptr; }

}  // namespace

TREE_s* ChainOrderShapes(const RING_header_s* chains, const double* tolerance, CMEM_pool_s* pool) {
    if (!chains || !pool) return nullptr;
    return merrow1::run_converting([&] { return build_tree(chains, tolerance, pool); });
}

void CHAIN_order_regions(RING_header_s* chains) {
    if (!chains || !chains->first) return;
    rewrite_in_tree_order(chains, APP_DATA_REGION_ORDER_MARK, [](Scan& scan, TREE_node_s* node) {
        RING_header_s* s = chain_of(node);
        RING_header_s* p = parent_chain(node);
        // 1. The top level: islands in front.
        if (!node->parent) {
            if (is_island(s))
                scan.mark(RING_insert_after(scan.set, nullptr, s));
            else
                scan.append(s);
            scan.wrote(node);
            return;
        }
        // 2. An island under something other than an island brings its
        //    sisters that are not closed pockets, unmarked.  3. and 4.
        if (placed_island_or_loose_shape(scan, node, s, p, false)) return;
        // 5. A closed pocket under a closed pocket takes its parent's entry;
        //    the islands written after that entry go, up to the next group.
        RING_node_s* entry = entry_from_end(scan.set, p);
        if (!entry) {
            scan.append(s);
            scan.wrote(node);
            return;
        }
        RING_set_node_subring(entry, s);
        const std::vector<RING_node_s*> nodes = ring_nodes(scan.set);
        auto at = std::find(nodes.begin(), nodes.end(), entry);
        for (++at; at != nodes.end(); ++at) {
            if (has_key(*at, APP_DATA_REGION_ORDER_MARK)) break;
            if (is_island(RING_ask_node_subring(*at))) take_out(scan.set, *at);
        }
    });
}

void CHAIN_order_retained_regions(RING_header_s* chains) {
    if (!chains || !chains->first) return;
    rewrite_in_tree_order(chains, APP_DATA_RETAINED_ORDER_MARK, [](Scan& scan, TREE_node_s* node) {
        RING_header_s* s = chain_of(node);
        RING_header_s* p = parent_chain(node);
        auto closed_island = [](const RING_header_s* c) { return is_closed(c) && is_island(c); };
        // 1. The top level.
        if (!node->parent) {
            scan.append(s);
            scan.wrote(node);
            return;
        }
        // 2. Nothing without vertices.
        if (!s->first) return;
        // 3. A closed island brings its closed-island sisters.
        if (closed_island(s)) {
            if (closed_island(p)) return;
            append_with_sisters(scan, node, closed_island, true);
            return;
        }
        // 4. Open chains and closed chains that are not peripheries.
        if (!is_periphery(s)) return;
        RING_node_s* taker = nullptr;  // the entry that took S in place
        RING_node_s* last = nullptr;
        if (is_periphery(p)) {
            // 5. Under a closed periphery: its entry now holds S.
            RING_node_s* entry = entry_from_end(scan.set, p);
            if (!entry) {
                scan.append(s);
                scan.wrote(node);
                return;
            }
            RING_set_node_subring(entry, s);
            taker = last = entry;
        } else if (closed_island(p)) {
            // 6. Under a closed island: right after it, unless that island
            //    lies in a closed island itself.
            if (node->parent->parent && closed_island(chain_of(node->parent->parent))) return;
            RING_node_s* entry = entry_from_end(scan.set, p);
            if (!entry) {
                scan.append(s);
                scan.wrote(node);
                return;
            }
            taker = last = scan.insert_after(entry, s);
        } else {
            // 7.
            scan.append(s);
            scan.wrote(node);
            return;
        }
        // 8. The sisters that are not closed islands follow S.
        const bool carried = has_key(taker, APP_DATA_RETAINED_ORDER_MARK);
        for (TREE_node_s* n = node->sister; n; n = n->sister) {
            if (closed_island(chain_of(n)) || scan.seen(n)) continue;
            last = scan.insert_after(last, chain_of(n), carried);
            scan.wrote(n);
        }
    });
}

void CHAIN_order_shapes_into_regions(RING_header_s* chains) {
    if (!chains) return;
    try {
        rewrite_in_tree_order(chains, 0, [](Scan& scan, TREE_node_s* node) {
            RING_header_s* s = chain_of(node);
            RING_header_s* p = parent_chain(node);
            // 1. An island with a closed pocket among its sisters waits.
            if (is_island(s)) {
                const TREE_node_s* first = node->parent ? node->parent->daughter : nullptr;
                if (!first)
                    for (first = node; first->previous;) first = first->previous;
                for (const TREE_node_s* n = first; n; n = n->sister)
                    if (n != node && is_closed_pocket(chain_of(n))) return;
            }
            // 2.
            if (!node->parent) {
                scan.append(s);
                scan.wrote(node);
                return;
            }
            // 3. (the sisters marked), 4. and 5.
            if (placed_island_or_loose_shape(scan, node, s, p, true)) return;
            // 6. A closed pocket under the last closed pocket written takes
            //    its entry, the islands after that entry going.
            RING_node_s* last_pocket = nullptr;
            for (RING_node_s* entry : ring_nodes(scan.set))
                if (is_closed_pocket(RING_ask_node_subring(entry))) last_pocket = entry;
            if (!last_pocket || RING_ask_node_subring(last_pocket) != p) {
                scan.append(s);
                scan.wrote(node);
                return;
            }
            const std::vector<RING_node_s*> nodes = ring_nodes(scan.set);
            for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
                RING_header_s* held = RING_ask_node_subring(*it);
                if (is_closed_pocket(held)) {
                    RING_set_node_subring(*it, s);
                    break;
                }
                if (is_island(held)) take_out(scan.set, *it);
            }
        });
    } catch (const Korvo::Error::Exception& error) {
        ERROR_note("chain_order", __LINE__, "%s", error.askText().c_str());
        throw;
    }
}

void CHAIN_remove_islands_at_start(RING_header_s* chains) {
    if (!chains) return;
    const std::vector<RING_node_s*> nodes = ring_nodes(chains);
    std::size_t first_pocket = nodes.size();
    for (std::size_t i = 0; i < nodes.size(); ++i)
        if (is_closed_pocket(RING_ask_node_subring(nodes[i]))) {
            first_pocket = i;
            break;
        }
    if (first_pocket == nodes.size()) return;
    for (std::size_t i = 0; i < first_pocket; ++i) take_out(chains, nodes[i]);
}

void ChainSequenceShapesByStartEndDistance(const Korvo::Math::Point3& start, RING_header_s* chains) {
    if (!chains || chains->count < 2) return;
    RING_header_s* ordered = RING_create_in_pool(nullptr, RING_TYPE_LIST, chains->pool);
    RING_set_sub_ring_delfunc(ordered, nullptr);
    Korvo::Math::Point3 at = start;
    for (int guard = chains->count; guard > 0 && chains->first; --guard) {
        RING_node_s* nearest = CHAIN_find_chain_starting_nearest_point(chains, at);
        if (!nearest) break;
        RING_header_s* chain = RING_ask_node_subring(nearest);
        RING_move_node(chains, nearest, ordered, ordered->last);
        const RING_node_s* end = chain && chain->first ? (is_closed(chain) ? chain->first : chain->last) : nullptr;
        if (end) {
            const double* p = point_of(end);
            at = {p[0], p[1], 0.0};
        }
    }
    RING_append_ring(chains, ordered);
    RING_delete(ordered);
}

// A chain whose test point lies within this of a region touches it and stays.
constexpr double kOnARegion = 1e-6;

bool CHAIN_remove_violate_chains(RING_header_s* chains, RING_header_s* regions) {
    if (!chains || !regions) return false;
    bool removed = false;
    for (RING_node_s* node : ring_nodes(chains)) {
        RING_header_s* chain = RING_ask_node_subring(node);
        if (!chain || !chain->first || !shape_data(chain)) continue;
        // The test point: the middle of the longest line, else of the longest
        // arc, else the first vertex.
        POINT_ON_CHAIN_s place{};
        if (!CHAIN_midpoint_of_longest_linear_segment(chain, &place) &&
            !CHAIN_midpoint_of_longest_arc_segment(chain, &place)) {
            const double* p = point_of(chain->first);
            place.point[0] = p[0];
            place.point[1] = p[1];
            place.node = chain->first;
        }
        if (ChainsPointMinDist(regions, place.point, nullptr) <= kOnARegion) continue;
        RING_header_s* source = place.node ? ChainSegmentStockedFromPrecise(chain, place.node) : nullptr;
        if (!source || !source->first) continue;
        POINT_ON_CHAIN_s near{};
        ChainPointMinDistance(source, place.point, &near);
        RING_header_s* violated = merrow1::run_converting([&]() -> RING_header_s* {
            MERROW1_SCRATCH_POOL(pool, "CHAIN_remove_violate_chains");
            const Korvo::Math::Point2 a{place.point[0], place.point[1]}, b{near.point[0], near.point[1]};
            RING_header_s* link = CHAIN_create_line_chain(&shape_data(chain)->csys, &a, &b, pool);
            return link ? CHAIN_chain_violate_region(link, regions) : nullptr;
        });
        if (!violated) continue;
        RING_put_header_app_data(violated, APP_DATA_VIOLATED_REGION, violated->pool);
        take_out(chains, node);
        removed = true;
    }
    return removed;
}

namespace {

// The search of one level of the shape tree for chain x (ChainOrderTrimShapes);
// answers whether the search of x has ended.  A chain lying on a shape
// counts as inside it.
bool trim_search(TREE_node_s* first, RING_header_s* x, const double* tolerance, RING_header_s* list) {
    auto add = [&](RING_header_s* chain) { RING_insert_after(list, list->last, chain); };
    for (TREE_node_s* s = first; s; s = s->sister) {
        RING_header_s* shape = chain_of(s);
        CHAIN_LOCATION l = ChainChainLocation(x, shape, tolerance);
        if (l == CHAIN_LOCATION_ON) l = CHAIN_LOCATION_INSIDE;
        if (l == CHAIN_LOCATION_INSIDE) {
            if (is_island(shape) || !is_closed(shape) || traced(shape)) {
                // The search of this level stops here.
                if (is_island(x)) add(shape);
                return false;
            }
            if (!s->daughter) {
                add(x);
                if (!is_island(x)) return true;
                if (is_island(x)) add(shape);
                return false;
            }
            if (trim_search(s->daughter, x, tolerance, list)) return true;
            continue;
        }
        if (l == CHAIN_LOCATION_OUTSIDE) {
            const CHAIN_LOCATION back = ChainChainLocation(shape, x, tolerance);
            if (back == CHAIN_LOCATION_INSIDE && is_closed_pocket(x)) add(shape);
            if ((back == CHAIN_LOCATION_INSIDE || back == CHAIN_LOCATION_OUTSIDE) && is_island(shape)) {
                add(x);
                return true;
            }
        }
    }
    return false;
}

}  // namespace

RING_header_s* ChainOrderTrimShapes(const RING_header_s* chains, const RING_header_s* shapes, const double* tolerance,
                                    CMEM_pool_s* pool) {
    if (!chains || !shapes || !pool) return nullptr;
    return merrow1::run_converting([&] {
        TREE_s* tree = build_tree(shapes, tolerance, pool);
        RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_set_sub_ring_delfunc(list, nullptr);
        try {
            for (RING_node_s* node : ring_nodes(chains))
                if (RING_header_s* x = RING_ask_node_subring(node))
                    if (shape_data(x) && tree) trim_search(tree->root, x, tolerance, list);
        } catch (...) {
            RING_delete(list);
            TREE_delete(tree);
            throw;
        }
        TREE_delete(tree);
        return list;
    });
}
