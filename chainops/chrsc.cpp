// Provider and retainer shapes: the union of providers on a mirrored side,
// and the merge of providers with retainers by their containment trees.
//
// The merge:
//   1. The providers, listed by reference, are ordered into regions; none
//      left: false.
//   2. Without retainers the ordered providers go to the output (step 7).
//   3. The retainers are ordered likewise, and both lists become containment
//      trees; whether the retainers' first top shape is an island is noted.
//   4. The provider tree is walked in pre-order.  Each provider P is merged
//      against the top level of the retainer tree (or, once that tree is
//      empty, kept when the retainers' first top shape was an island).  A
//      level is visited shape by shape (R) with a state that starts at -1:
//        - P and R cross: both are to be combined; P is merged against R's
//          daughters; the state becomes 0.
//        - R inside P: a periphery P keeps R with its branch; the state
//          tracks whether the last enclosed shape was an island (2) or not
//          (-1); R leaves the retainer tree (its daughters take its place and
//          are visited next).
//        - apart: a closed island R turns a state of -1 into 2, anything else
//          a state of 2 into -1.
//        - P inside R: a leaf R gives 1 for a periphery, else 0; otherwise P
//          is merged against R's daughters and the state becomes 0.
//      A state above 0 after the level keeps P.
//   5. The shapes to combine go through the boolean between on the side.
//   6. The kept shapes take the first provider's side and the direction of
//      their kind, and are referred to from the output.
//   7. The output is ordered into regions and its leading islands dropped.
#include <merrow1/chrsc.h>

#include <merrow1/chain_area.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_order.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_region_offset.h>

#include <stend/system.h>
#include <velte/ring.h>
#include <velte/tree.h>

#include "chain/chain_each.h"
#include "chainops/shape_kind.h"
#include "internal/check.h"
#include "internal/ring_nodes.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>
#include <vector>

namespace {

using merrow1::is_island;
using merrow1::is_periphery;
using merrow1::ring_nodes;
using merrow1::shape_data;
using merrow1::shapes_of;

using merrow1::other_side;
DIRECTION opposite(DIRECTION direction) { return direction == CW ? CCW : direction == CCW ? CW : direction; }

RING_header_s* chain_of(const TREE_node_s* node) { return node ? static_cast<RING_header_s*>(node->data) : nullptr; }

// A list in the pool that refers to the chains and never frees them.
RING_header_s* reference_list(CMEM_pool_s* pool, const std::vector<RING_header_s*>& chains) {
    RING_header_s* list = CHAIN_create_boolean_set(pool, nullptr);
    if (list)
        for (RING_header_s* chain : chains) RING_insert_after(list, list->last, chain);
    return list;
}

// The material sides of the chains mirrored for the length of a call and
// mirrored back once each on every exit.
class MirroredSides {
public:
    explicit MirroredSides(const std::vector<RING_header_s*>& chains) {
        for (RING_header_s* chain : chains)
            if (m_chains.insert(chain).second) flip(chain);
    }
    ~MirroredSides() {
        for (RING_header_s* chain : m_chains) flip(chain);
    }
    MirroredSides(const MirroredSides&) = delete;
    MirroredSides& operator=(const MirroredSides&) = delete;
    bool holds(RING_header_s* chain) const { return m_chains.count(chain) != 0; }
    static void flip(RING_header_s* chain) {
        CHAIN_main_data_s* data = shape_data(chain);
        data->material_side = other_side(data->material_side);
    }

private:
    std::unordered_set<RING_header_s*> m_chains;
};

// A host tree made in the caller's pool, deleted on every exit.
struct OwnedTree {
    TREE_s* tree = nullptr;
    explicit OwnedTree(TREE_s* t) : tree(t) {}
    OwnedTree(const OwnedTree&) = delete;
    OwnedTree& operator=(const OwnedTree&) = delete;
    ~OwnedTree() { TREE_delete(tree); }
};

// ---------------------------------------------------------------------------
// The merge of two containment trees

class Merger {
public:
    Merger(TREE_s* retainers, bool first_retainer_island, bool debug)
        : m_retainers(retainers), m_first_island(first_retainer_island), m_debug(debug),
          m_budget(retainers ? retainers->count : 0) {}

    // Pre-order walk of a level of the provider tree and the levels below.
    void merge_tree(TREE_node_s* first, bool recursive) {
        say(recursive ? "entering recursive merge_tree_by_tree\n" : "entering merge_tree_by_tree\n");
        for (TREE_node_s* node = first; node; node = node->sister) {
            RING_header_s* provider = chain_of(node);
            if (!m_retainers->root) {
                if (m_first_island) {
                    to_keep(provider);
                    say(" pShape appended\n");
                }
            } else {
                merge_shape(provider, m_retainers->root, false);
            }
            if (node->daughter) merge_tree(node->daughter, true);
        }
    }

    const std::vector<RING_header_s*>& combine() const { return m_combine; }
    const std::vector<RING_header_s*>& keep() const { return m_keep; }

private:
    // The provider against one level of the retainer tree.
    void merge_shape(RING_header_s* provider, TREE_node_s* first, bool recursive) {
        say(recursive ? "entering recursive merge_shape_by_tree\n" : "entering merge_shape_by_tree\n");
        describe("provider_shape", provider);
        int state = -1;
        // Every visit is of a node still in the tree, and a removed node is
        // never met again: the walk ends within the tree's node count.
        int visits = 0;
        for (TREE_node_s* node = first; node;) {
            if (++visits > m_budget) MERROW1_INFINITE_LOOP();
            TREE_node_s* next = node->sister;
            RING_header_s* retainer = chain_of(node);
            describe("retainer_shape", retainer);
            if (CHAIN_to_chain_has_intersections(provider, retainer, nullptr)) {
                say(" provider_shape and retainer_shape intersect\n");
                to_combine(provider);
                to_combine(retainer);
                if (node->daughter) merge_shape(provider, node->daughter, true);
                state = 0;
                node = next;
                continue;
            }
            const CHAIN_LOCATION p_in_r = ChainChainLocation(provider, retainer, nullptr);
            const CHAIN_LOCATION r_in_p = ChainChainLocation(retainer, provider, nullptr);
            if (r_in_p == CHAIN_LOCATION_INSIDE && p_in_r == CHAIN_LOCATION_OUTSIDE) {
                say(" provider_shape is enclosing retainer_shape\n");
                if (is_periphery(provider)) {
                    keep_branch(node);
                    say("  retainer_shape and daughters appended\n");
                }
                if (state == -1 || state == 2) state = is_periphery(retainer) ? -1 : 2;
                // The enclosed shape leaves the tree.  Its daughters take its
                // place and, lying inside it, are visited next; a shape with
                // nothing below it goes as its whole branch.
                if (node->daughter) {
                    next = node->daughter;
                    TREE_remove_sister(m_retainers, node);
                } else {
                    TREE_remove_branch(m_retainers, node);
                }
            } else if (p_in_r == CHAIN_LOCATION_OUTSIDE && r_in_p == CHAIN_LOCATION_OUTSIDE) {
                say("provider_shape & retainer_shape are apart\n");
                if (is_island(retainer)) {
                    if (state == -1) state = 2;
                } else if (state == 2) {
                    state = -1;
                }
            } else if (p_in_r == CHAIN_LOCATION_INSIDE && r_in_p == CHAIN_LOCATION_OUTSIDE) {
                say(" provider_shape is enclosed by retainer_shape\n");
                if (!node->daughter) {
                    state = is_periphery(retainer) ? 1 : 0;
                } else {
                    merge_shape(provider, node->daughter, true);
                    state = 0;
                }
            }
            node = next;
        }
        if (state > 0) {
            to_keep(provider);
            say("  provider_shape appended\n");
        }
    }

    // A shape to combine is combined only: it leaves the keep list, and is
    // listed once however many shapes it crosses.
    void to_combine(RING_header_s* chain) {
        if (std::find(m_combine.begin(), m_combine.end(), chain) != m_combine.end()) return;
        m_combine.push_back(chain);
        m_keep.erase(std::remove(m_keep.begin(), m_keep.end(), chain), m_keep.end());
    }
    void to_keep(RING_header_s* chain) {
        if (std::find(m_combine.begin(), m_combine.end(), chain) != m_combine.end()) return;
        if (std::find(m_keep.begin(), m_keep.end(), chain) != m_keep.end()) return;
        m_keep.push_back(chain);
    }
    // The node's chain and every chain below it, in pre-order.
    void keep_branch(TREE_node_s* node) {
        to_keep(chain_of(node));
        int visits = 0;
        std::vector<TREE_node_s*> pending;
        if (node->daughter) pending.push_back(node->daughter);
        while (!pending.empty()) {
            if (++visits > m_budget) MERROW1_INFINITE_LOOP();
            TREE_node_s* n = pending.back();
            pending.pop_back();
            to_keep(chain_of(n));
            if (n->sister) pending.push_back(n->sister);
            if (n->daughter) pending.push_back(n->daughter);
        }
    }

    void say(const char* line) const {
        if (m_debug) std::fputs(line, stdout);
    }
    // Side, clock direction and chain kind, then the shape kind by name.
    void describe(const char* role, RING_header_s* chain) const {
        if (!m_debug) return;
        const CHAIN_main_data_s* data = shape_data(chain);
        std::printf(" %s mat side is %d, clock direction is %d, type is %d\n", role, data->material_side,
                    data->direction, data->kind);
        std::printf(" %s is %s\n", role,
                    is_island(chain) ? "island" : is_periphery(chain) ? "Periph" : "undefined");
    }

    TREE_s* m_retainers;
    bool m_first_island;
    bool m_debug;
    int m_budget;
    std::vector<RING_header_s*> m_combine;
    std::vector<RING_header_s*> m_keep;
};

// Kept shapes take the side of the first provider and the clock direction of
// their kind under that side (a periphery the periphery direction, anything
// else the other); a chain whose geometry runs the other way is reversed, so
// the stored direction matches it.
void restyle_kept(const std::vector<RING_header_s*>& kept, RING_header_s* first_provider) {
    const CHAIN_main_data_s* first = shape_data(first_provider);
    const SIDE side = first->material_side;
    const DIRECTION periphery_direction = is_periphery(first_provider) ? first->direction : opposite(first->direction);
    for (RING_header_s* chain : kept) {
        CHAIN_main_data_s* data = shape_data(chain);
        data->material_side = side;
        const DIRECTION direction = is_periphery(chain) ? periphery_direction : opposite(periphery_direction);
        const DIRECTION measured = CHAIN_direction_of_chain(chain);
        if ((measured == CW || measured == CCW) && (direction == CW || direction == CCW) && measured != direction) {
            CHAIN_reverse(chain);
            data->material_side = side;
        }
        data->direction = direction;
    }
}

// Refers to the chains from the output, and notes each reference taken.
void refer(RING_header_s* out, const std::vector<RING_header_s*>& chains, std::vector<RING_header_s*>& referred) {
    for (RING_header_s* chain : chains) {
        RING_insert_after(out, out->last, RING_dup_reference(chain));
        referred.push_back(chain);
    }
}

// The references taken for chains that the ordering then left out of the
// output are given back.
void release_dropped(const RING_header_s* out, const std::vector<RING_header_s*>& referred) {
    std::unordered_set<RING_header_s*> present;
    for (RING_node_s* node : ring_nodes(out)) present.insert(RING_ask_node_subring(node));
    for (RING_header_s* chain : referred)
        if (!present.count(chain)) RING_delete(chain);
}

}  // namespace

bool CHRSC_union_providers(RING_header_s* providers, SIDE side, RING_header_s* out,
                           CHAIN_vertex_source_callback_t merge) {
    if (!providers) return false;
    MERROW1_REQUIRE(out, "DUE_TO_POINTER_TO_CHAIN_BEING_NULL", false);
    const std::vector<RING_header_s*> chains = shapes_of(providers);
    if (chains.empty()) return out->first != nullptr;
    const int before = out->count;
    MirroredSides sides(chains);
    // The chains this call appends come back on the mirrored side; each is
    // mirrored back once (a provider among them by the guard).
    auto mirror_appended = [&] {
        std::unordered_set<RING_header_s*> done;
        const std::vector<RING_node_s*> nodes = ring_nodes(out);
        for (std::size_t i = static_cast<std::size_t>(before); i < nodes.size(); ++i) {
            RING_header_s* chain = RING_ask_node_subring(nodes[i]);
            if (chain && shape_data(chain) && !sides.holds(chain) && done.insert(chain).second)
                MirroredSides::flip(chain);
        }
    };
    try {
        CHAIN_boolean_between(providers, other_side(side), out, merge);
    } catch (...) {
        mirror_appended();
        throw;
    }
    mirror_appended();
    return out->first != nullptr;
}

bool CHRSC_merge_providers_retainers(RING_header_s* providers, RING_header_s* retainers, SIDE side,
                                     CMEM_pool_s* pool, RING_header_s* out, CHAIN_vertex_source_callback_t merge) {
    if (!providers || !providers->first) return false;
    MERROW1_REQUIRE(out && pool, "DUE_TO_POINTER_TO_CHAIN_BEING_NULL", false);
    const bool debug = RDEBUG_ask_flag("cam_surf_cont");
    // 1. The ordered providers.
    merrow1::OwnedChain ordered_providers(reference_list(pool, shapes_of(providers)));
    CHAIN_order_shapes_into_regions(ordered_providers.get());
    const std::vector<RING_header_s*> provider_chains = shapes_of(ordered_providers.get());
    if (provider_chains.empty()) return false;
    std::vector<RING_header_s*> referred;
    const std::vector<RING_header_s*> retainer_list = shapes_of(retainers);
    if (retainer_list.empty()) {
        // 2. No retainers: the providers themselves.
        refer(out, provider_chains, referred);
    } else {
        // 3. Both trees.
        merrow1::OwnedChain ordered_retainers(reference_list(pool, retainer_list));
        CHAIN_order_shapes_into_regions(ordered_retainers.get());
        OwnedTree provider_tree(ChainOrderShapes(ordered_providers.get(), nullptr, pool));
        OwnedTree retainer_tree(ChainOrderShapes(ordered_retainers.get(), nullptr, pool));
        if (!provider_tree.tree || !retainer_tree.tree) return out->first != nullptr;
        const bool first_island = retainer_tree.tree->root && is_island(chain_of(retainer_tree.tree->root));
        // 4. The walk.
        Merger merger(retainer_tree.tree, first_island, debug);
        if (provider_tree.tree->root) merger.merge_tree(provider_tree.tree->root, false);
        // 5. The shapes that cross.
        if (!merger.combine().empty()) {
            merrow1::OwnedChain combine(reference_list(pool, merger.combine()));
            CHAIN_boolean_between(combine.get(), side, out, merge);
        }
        // 6. The shapes kept as they are.
        if (!merger.keep().empty()) {
            restyle_kept(merger.keep(), provider_chains.front());
            refer(out, merger.keep(), referred);
        }
    }
    // 7. Regions, without leading islands.
    CHAIN_order_shapes_into_regions(out);
    CHAIN_remove_islands_at_start(out);
    release_dropped(out, referred);
    return out->first != nullptr;
}
