// Violation and gouge checks of region sets, and the split-chain networks
// they walk.
#include <merrow1/chain_violation.h>

#include <merrow1/chain.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_edit.h>
#include <pellam/mchn_implicit.h>
#include <pellam/mchn_merge.h>
#include <pellam/mchn_merge_split.h>
#include <pellam/mchn_offset.h>
#include <pellam/mchn_segment.h>
#include <quorn/quorn.h>

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_merge.h>
#include <merrow1/dynamic_array.h>
#include <merrow1/chain_order.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_split.h>
#include <merrow1/int_grid_map.h>
#include <merrow1/poly_seg.h>
#include <merrow1/poly_seg_chain.h>
#include <merrow1/poly_seg_grid.h>
#include <merrow1/poly_seg_offset.h>
#include <merrow1/psi.h>
#include <merrow1/segment.h>
#include <stend/error.h>

#include "chain/chain_fields_guard.h"
#include "chainops/chain_region_internal.h"
#include "offset/chain_fillet_internal.h"
#include "chainops/shape_kind.h"
#include "internal/check.h"
#include "internal/owned.h"
#include "internal/ring_nodes.h"
#include "internal/scratch_pool.h"
#include "chain/split_network.h"
#include "internal/tolerances.h"
#include <stend/system.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

using merrow1::main_of;
using merrow1::is_closed;
using merrow1::chain_region_internal::is_island;
using merrow1::chain_region_internal::chains_in_order;
using merrow1::chain_region_internal::for_each_chain;
using merrow1::chain_region_internal::kModule;
using merrow1::chain_region_internal::note_caught;
using merrow1::chain_region_internal::noting_errors;

// ---------------------------------------------------------------------------
// Violation of region sets

namespace {

// Chain debug report code of the inputs of a violation check.
const int kReportInput = 4;

// The intersection object, and with its pool everything made there, goes on
// every exit.
using OwnedPsi = merrow1::Owned<PSI_s, PSI_destroy>;

const CHAIN_app_poly_seg_chain_source_s* source_of(const RING_node_s* segment) {
    return segment ? static_cast<const CHAIN_app_poly_seg_chain_source_s*>(
                         APP_DATA__ask_app_data(segment->app_data, POLY_SEG_KEY_CHAIN_SOURCE))
                   : nullptr;
}

// The approximation tolerance of a chain, 0 when not set.
double own_approximation(const RING_header_s* chain) {
    const CHAIN_main_data_s* data = main_of(chain);
    return data && data->approximation_tolerance_set ? data->approximation_tolerance : 0.0;
}

// The grid of a crossing check covers the set's box grown by the two
// tolerances and this share of its larger side (an embedding check grows
// it by the common grid margin and the largest implied offset).
constexpr double kCrossingGridGrowth = 1e-8;
// A set tolerance not above this counts as unset: the set approximation
// tolerance stands in.
constexpr double kUnsetSetTolerance = 1e-10;
// A place of a crossing snaps to a vertex within the chain's approximation
// tolerance, and never within less than this.
constexpr double kLeastSnap = 1e-8;
// Gouges are bridged and kept apart from free ends only when d1 or d2 is
// above this.
constexpr double kLeastGougeDistance = 1e-10;

struct AcceptAdapter {
    CHAIN_violation_accept_cb_t accept;
    void* data;
};

// Segment filter of the gouge check: a segment counts unless the caller
// accepts a contact at its source segment.
bool counts_unless_accepted(RING_node_s* segment, void* data) {
    const auto* adapter = static_cast<const AcceptAdapter*>(data);
    const CHAIN_app_poly_seg_chain_source_s* source = source_of(segment);
    if (!source || !source->chain) return true;
    return !adapter->accept(source->chain, source->vertex, adapter->data);
}

bool uses_material_side(RING_header_s* poly) { return POLY_SEG_is_a_trace(poly); }

// The poly made from one chain with its source references, in the pool.
RING_header_s* poly_of_chain(RING_header_s* chain, CMEM_pool_s* pool) {
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_set_sub_ring_delfunc(list, nullptr);
    RING_insert_after(list, list->last, chain);
    RING_header_s* set = POLY_SEG_create_from_chain_set(list, pool, true, true, nullptr);
    return set && set->first ? RING_ask_node_subring(set->first) : nullptr;
}

// The first region chain whose material, shrunk by its amount, holds the
// chain's first point (its segment there accepted by nobody): an island's
// inside, a pocket's outside, farther than the shrink from the boundary.
RING_header_s* region_holding_start(RING_header_s* chain, const std::vector<RING_header_s*>& regions,
                                    const std::vector<double>& shrinks, CHAIN_violation_accept_cb_t accept_cb,
                                    void* data) {
    const double* start = merrow1::point_of(chain->first);
    for (std::size_t i = 0; i < regions.size() && i < shrinks.size(); ++i) {
        RING_header_s* region = regions[i];
        if (!is_closed(region)) continue;
        const CHAIN_LOCATION where = ChainPointLocation(region, start, nullptr);
        const bool material = is_island(region) ? where == CHAIN_LOCATION_INSIDE : where == CHAIN_LOCATION_OUTSIDE;
        if (!material) continue;
        POINT_ON_CHAIN_s nearest{};
        if (ChainPointMinDistance(region, start, &nearest) <= -shrinks[i]) continue;
        if (accept_cb && accept_cb(region, nearest.node, data)) continue;
        return region;
    }
    return nullptr;
}

RING_header_s* check_chain_violates(RING_header_s* chain, const RING_header_s* regions,
                                    CHAIN_violation_accept_cb_t accept_cb, void* data, Korvo::Math::Point2* point,
                                    bool* at_start) {
    // 2. The object; its pool holds everything made below.
    OwnedPsi psi(PSI_create(0, false, false, POLY_SEG_copy_chain_source_ref, nullptr));
    CMEM_pool_s* pool = psi.get()->pool;
    // 3. Tolerances.
    const double lt = EQ_ask_length_tolerance();
    const double set_tol = std::max(2.0 * CHAIN_ask_set_tolerance(regions), 2.0 * lt);
    const double chain_tol = 2.0 * own_approximation(chain);
    // 4. The regions as one poly-segment set (an empty poly for a chain that
    //    gives none, so the polys stand in the order of the chains), the
    //    chain's poly, made with material LEFT, in front.
    RING_header_s* set = POLY_SEG_create_from_chain_set(const_cast<RING_header_s*>(regions), pool, true, true, nullptr);
    if (!set) return static_cast<RING_header_s*>(nullptr);
    RING_header_s* motion = nullptr;
    {
        merrow1::ChainFieldsGuard side(merrow1::kChainFieldMaterialSide);
        side.stamp_material_side(chain, LEFT);
        motion = poly_of_chain(chain, pool);
    }
    if (!motion) return static_cast<RING_header_s*>(nullptr);
    RING_insert_after(set, nullptr, motion);
    // 5. The grid over the set's box, grown on every side.
    double box[4] = {1e19, -1e19, 1e19, -1e19};
    POLY_SEG_quick_expand_bbox_for_set(set, box);
    if (!(box[0] <= box[1] && box[2] <= box[3])) return static_cast<RING_header_s*>(nullptr);
    const double grow = chain_tol + set_tol + kCrossingGridGrowth * std::max(box[1] - box[0], box[3] - box[2]);
    INT_GRID_MAP_s* grid = INT_GRID_MAP__create_uniform(pool, box[0] - grow, box[2] - grow, 0.0, box[1] + grow,
                                                        box[3] + grow, 0.0, 31);
    const double cell = INT_GRID_MAP__get_grid_size(grid, 0);
    // 6. Every region poly shrinks; the motion keeps its own offset.
    std::vector<RING_header_s*> region_chains;
    for_each_chain(regions, [&](RING_node_s*, RING_header_s* region) { region_chains.push_back(region); });
    std::vector<double> shrinks;
    RING_node_s* node = set->first->next;
    for (std::size_t i = 0; i < region_chains.size(); ++i) {
        shrinks.push_back(std::min(-chain_tol - 3.0 * cell - 2.0 * own_approximation(region_chains[i]), -2.0 * lt));
        if (!node || node == set->first) continue;
        if (RING_header_s* poly = RING_ask_node_subring(node)) POLY_SEG_ask_header(poly)->offset = shrinks[i];
        node = node->next;
    }
    POLY_SEG_offset_set(set, POLY_SEG_copy_chain_source_ref, nullptr, nullptr, nullptr, nullptr, false);
    POLY_SEG_put_set_to_grid(set, grid, true, uses_material_side, POLY_SEG_copy_chain_source_ref, 0.0);
    // 7. The first violating crossing.
    AcceptAdapter adapter{accept_cb, data};
    PNT2_s crossing{0.0, 0.0};
    RING_node_s* hit = PSI_method<PSI_set_simple_gouge_check_fn>(psi.get(), PSI_SLOT_SET_SIMPLE_GOUGE_CHECK)(
        psi.get(), set, accept_cb ? counts_unless_accepted : nullptr, accept_cb ? &adapter : nullptr, &crossing);
    if (!hit) {
        // The crossing test finds where the motion enters material; a motion
        // that starts in material enters nowhere, and without any entry it
        // cannot have come back in: its start alone decides.
        RING_header_s* holding = region_holding_start(chain, region_chains, shrinks, accept_cb, data);
        if (holding) {
            const double* start = merrow1::point_of(chain->first);
            if (point) *point = {start[0], start[1]};
            if (at_start) *at_start = true;
        }
        return holding;
    }
    // 8. The region chain the crossing segment came from.
    const CHAIN_app_poly_seg_chain_source_s* source = source_of(hit);
    RING_header_s* region = source ? source->chain : nullptr;
    if (!region) return static_cast<RING_header_s*>(nullptr);
    // 9. The crossing as the nearest point of the chain.
    double real[2];
    INT_GRID_MAP__get_2d_from_grid(grid, static_cast<int>(crossing.x), static_cast<int>(crossing.y), &real[0],
                                   &real[1]);
    POINT_ON_CHAIN_s nearest{};
    ChainPointMinDistance(chain, real, &nearest);
    if (point) *point = {nearest.point[0], nearest.point[1]};
    // 10. Whether the violation begins at the chain's start: unless the
    //     crossing lies clear of the start and the first segment, taken from
    //     the crossing, has its midpoint clear of the region.
    if (at_start) {
        const double r = 2.0 * own_approximation(region) + chain_tol + 3.0 * cell;
        *at_start = true;
        double* start = merrow1::point_of(chain->first);
        if (std::hypot(nearest.point[0] - start[0], nearest.point[1] - start[1]) >= r && chain->first->next) {
            const double saved[2] = {start[0], start[1]};
            double mid[2] = {0.0, 0.0};
            bool have_mid = false;
            {
                // The first segment's start moved to the crossing for the
                // measurement, and back at once.
                start[0] = nearest.point[0];
                start[1] = nearest.point[1];
                SEGMENT first;
                have_mid = ChainSegment(chain, chain->first->next, &first) && SegmentMidPoint(&first, mid);
                start[0] = saved[0];
                start[1] = saved[1];
            }
            if (have_mid && ChainPointMinDistance(region, mid, nullptr) >= r) *at_start = false;
        }
    }
    return region;
}

}  // namespace

RING_header_s* CHAIN_check_chain_violates_region(RING_header_s* chain, const RING_header_s* regions,
                                                 CHAIN_violation_accept_cb_t accept_cb, void* data,
                                                 Korvo::Math::Point2* point, bool* at_start) {
    CHAIN_debug_report(kReportInput, "CHAIN_check_chain_violates_region -- input_chain", chain, nullptr);
    CHAIN_debug_report(kReportInput, "CHAIN_check_chain_violates_region -- region_chains",
                       const_cast<RING_header_s*>(regions), nullptr);
    if (!chain || !regions || !chain->first || !main_of(chain)) return nullptr;
    return noting_errors(__LINE__, [&] { return check_chain_violates(chain, regions, accept_cb, data, point, at_start); });
}

namespace {

// The vertex ending the segment of a piece at one of its ends: the segment
// the piece leaves by at its start, or arrives by at its end.
RING_node_s* end_segment_vertex(const SPLIT_CHAIN_s* record) {
    const POINT_ON_CHAIN_s* place = record->reversed ? record->piece->end : record->piece->start;
    if (!place || !place->node) return nullptr;
    if (record->reversed || place->inside) return place->node;
    return place->node->next;
}

const RING_header_s* chain_of_end(const SPLIT_CHAIN_s* record) {
    return record && record->piece && record->piece->start ? record->piece->start->chain : nullptr;
}

bool violates_by_split_network(RING_header_s* chain, const RING_header_s* regions,
                               CHAIN_violation_accept_cb_t accept_cb, void* data) {
    MERROW1_SCRATCH_POOL(pool, "CHAIN-CHAIN_is_violate_region-check violate");
    RING_header_s* intersections = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    ChainToChainsInt(chain, const_cast<RING_header_s*>(regions), intersections, true);
    RING_header_s* network = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    ChainsSplit(intersections, network);
    RING_header_s* points = nullptr;
    for (RING_node_s* node : merrow1::ring_nodes(intersections)) {
        RING_header_s* sub = RING_ask_node_subring(node);
        if (sub && sub->main_data == chain) points = sub;
    }
    for (RING_node_s* point : merrow1::ring_nodes(points)) {
        auto* junction_node =
            static_cast<RING_node_s*>(APP_DATA__ask_app_data(point->app_data, CHAIN_APP_DATA_SPLIT_JUNCTION));
        RING_header_s* junction = junction_node ? RING_ask_node_subring(junction_node) : nullptr;
        if (!junction || !junction->first) continue;
        const int index = ChainsNodeInterfIndex(junction, nullptr, 0, std::numeric_limits<int>::max(), nullptr);
        for (RING_node_s* end : merrow1::ring_nodes(junction)) {
            const auto* record = static_cast<const SPLIT_CHAIN_s*>(end->main_data);
            const RING_header_s* owner = chain_of_end(record);
            if (!owner) continue;
            if (owner != chain) {
                if (accept_cb && accept_cb(const_cast<RING_header_s*>(owner), end_segment_vertex(record), data))
                    break;
                continue;
            }
            if (record->index != index) return true;
        }
    }
    return false;
}

}  // namespace

bool CHAIN_is_violate_region(RING_header_s* chain, const RING_header_s* regions, CHAIN_violation_accept_cb_t accept_cb,
                             void* data) {
    if (!chain || !regions || !main_of(chain) || chain->count < 2 || !regions->first || !regions->last) return false;
    if (CHAIN_ask_use_new_boolean())
        return CHAIN_check_chain_violates_region(chain, regions, accept_cb, data, nullptr, nullptr) != nullptr;
    merrow1::ChainFieldsGuard side(merrow1::kChainFieldMaterialSide);
    side.stamp_material_side(chain, 0);
    return noting_errors(__LINE__, [&] { return violates_by_split_network(chain, regions, accept_cb, data); });
}

bool CHAIN_line_seg_violates_region(const Korvo::Math::Point2* a, const Korvo::Math::Point2* b,
                                    const RING_header_s* regions, CHAIN_violation_accept_cb_t accept_cb, void* data) {
    if (!a || !b || !regions || !regions->first) return false;
    RING_header_s* first = nullptr;
    for_each_chain(regions, [&](RING_node_s*, RING_header_s* chain) {
        if (!first) first = chain;
    });
    if (!first) return false;
    return noting_errors(__LINE__, [&] {
        MERROW1_SCRATCH_POOL(pool, "CHAIN-CHAIN_line_seg_violates_region-");
        RING_header_s* line = CHAIN_create_line_chain(&main_of(first)->csys, a, b, pool);
        if (!line) return false;
        const bool violates = CHAIN_is_violate_region(line, regions, accept_cb, data);
        RING_delete(line);
        return violates;
    });
}

// ---------------------------------------------------------------------------
// Flipped cut shapes and retained or removed regions

namespace {

// A closed outer boundary of this check: material outside, not a trace.
bool outer_boundary(const RING_header_s* chain) {
    const CHAIN_main_data_s* data = main_of(chain);
    return data && merrow1::is_periphery(chain) && data->kind != TRACE_CHAIN;
}

enum GroupKind { kOther, kSingleOuter, kSingleIsland, kOuterWithIslands, kIslandWithOuters };

// One group of an ordered list: its chains in order.
struct Group {
    std::vector<RING_header_s*> chains;
    RING_header_s* list = nullptr;  // the same chains as a scratch list (for callbacks)
    bool done = false;
    const Group* source = nullptr;  // of a result group taken out: the source group

    GroupKind kind() const {
        if (chains.empty()) return kOther;
        if (chains.size() == 1) {
            if (outer_boundary(chains[0])) return kSingleOuter;
            if (merrow1::is_island(chains[0])) return kSingleIsland;
            return kOther;
        }
        const bool outer_first = outer_boundary(chains[0]);
        const bool island_first = merrow1::is_island(chains[0]);
        bool all_islands = true, all_outers = true;
        for (std::size_t i = 1; i < chains.size(); ++i) {
            all_islands = all_islands && merrow1::is_island(chains[i]);
            all_outers = all_outers && outer_boundary(chains[i]);
        }
        if (outer_first && all_islands) return kOuterWithIslands;
        if (island_first && all_outers) return kIslandWithOuters;
        return kOther;
    }
    bool holds(const RING_header_s* chain) const {
        return std::find(chains.begin(), chains.end(), chain) != chains.end();
    }
};

// The groups of a list by the key: each marked node starts one; chains before
// the first marked node belong to none.  Each group's chains also go into a
// scratch list in the pool that only refers to them.
std::vector<Group> groups_of(const RING_header_s* list, int key, CMEM_pool_s* pool) {
    std::vector<Group> groups;
    for (RING_node_s* node : merrow1::ring_nodes(list)) {
        if (APP_DATA__ask_app_data(node->app_data, key)) groups.emplace_back();
        RING_header_s* chain = RING_ask_node_subring(node);
        if (groups.empty() || !chain || !main_of(chain)) continue;
        groups.back().chains.push_back(chain);
    }
    for (Group& group : groups) {
        group.list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_set_sub_ring_delfunc(group.list, nullptr);
        for (RING_header_s* chain : group.chains) RING_insert_after(group.list, group.list->last, chain);
    }
    return groups;
}

CHAIN_LOCATION loc(const RING_header_s* a, const RING_header_s* b) {
    return ChainChainLocation(a, const_cast<RING_header_s*>(b), nullptr);
}

bool inside_or_on(CHAIN_LOCATION where) { return where == CHAIN_LOCATION_INSIDE || where == CHAIN_LOCATION_ON; }

// Takes the first node holding the chain out of the list; the chain stays.
void disconnect_chain(RING_header_s* list, const RING_header_s* chain) {
    for (RING_node_s* node : merrow1::ring_nodes(list))
        if (RING_ask_node_subring(node) == chain) {
            RING_set_node_subring(node, nullptr);
            RING_delete_node(list, node);
            return;
        }
}

void remove_key(RING_header_s* list, int key) {
    for (RING_node_s* node : merrow1::ring_nodes(list)) RING_delete_app_data_of_node(list, node, key);
}

// The source groups of a result group: per chain, the group holding its
// precise stock source when it has one, else every group holding one of its
// stocked sources; each group once, in the order met.
std::vector<Group*> sources_of(const Group& g, std::vector<Group>& sources, CMEM_pool_s* pool) {
    std::vector<Group*> out;
    auto add = [&](Group* group) {
        if (std::find(out.begin(), out.end(), group) == out.end()) out.push_back(group);
    };
    for (RING_header_s* chain : g.chains) {
        // The precise source, or the first chain along its own precise
        // links that a source group holds (a region made by a boolean of
        // offsets names the offset, which names the input chain).  A chain
        // met twice ends the walk: the links are finite.
        RING_header_s* precise = ChainStockedFromPrecise(chain);
        Group* found = nullptr;
        std::unordered_set<const RING_header_s*> met;
        for (RING_header_s* link = precise; link && !found && met.insert(link).second;
             link = ChainStockedFromPrecise(link))
            for (Group& group : sources)
                if (group.holds(link)) {
                    found = &group;
                    break;
                }
        if (found) add(found);
        if (precise) continue;
        RING_header_s* stocked = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_set_sub_ring_delfunc(stocked, nullptr);
        CHAIN_ask_stocked_source(chain, stocked);
        for (RING_node_s* node : merrow1::ring_nodes(stocked))
            for (Group& group : sources)
                if (group.holds(RING_ask_node_subring(node))) add(&group);
    }
    return out;
}

// Runs body, noting an error with the module and line and ending the call
// (the entries of this family that report and end).
template <class Body>
void noting_and_ending(int line, Body&& body) {
    try {
        merrow1::run_converting(std::forward<Body>(body));
    } catch (const Korvo::Error::Exception& error) {
        note_caught(line, error);
    }
}

}  // namespace

void CHAIN_check_flipping_cut_shapes(RING_header_s* regions, RING_header_s* result) {
    if (!regions || !result || !regions->first || !regions->last || !result->first || !result->last) return;
    noting_and_ending(__LINE__, [&] {
        MERROW1_SCRATCH_POOL(pool, "CHAIN-check_flipping_cut_shapes-");
        // Key 116 leaves result's nodes on every path.
        struct Unmark {
            RING_header_s* list;
            ~Unmark() { remove_key(list, APP_DATA_REGION_ORDER_MARK); }
        } unmark{result};
        std::vector<Group> sources = groups_of(regions, APP_DATA_REGION_ORDER_MARK, pool);
        CHAIN_order_regions(result);
        std::vector<Group> results = groups_of(result, APP_DATA_REGION_ORDER_MARK, pool);
        std::vector<const Group*> taken;
        for (Group& g : results) {
            const GroupKind kind = g.kind();
            for (Group* o : sources_of(g, sources, pool)) {
                const GroupKind source_kind = o->kind();
                bool flipped = false;
                if (source_kind == kOuterWithIslands && kind == kSingleIsland) {
                    flipped = true;
                } else if (source_kind == kOuterWithIslands && kind == kSingleOuter && o->done) {
                    for (const Group* t : taken) {
                        if (t->source != o) continue;
                        for (RING_header_s* chain : t->chains)
                            if (merrow1::is_island(chain) && loc(g.chains[0], chain) == CHAIN_LOCATION_INSIDE)
                                flipped = true;
                    }
                } else if (source_kind == kSingleOuter && kind != kSingleOuter) {
                    flipped = true;
                }
                if (!flipped) continue;
                o->done = true;
                for (RING_header_s* chain : g.chains) disconnect_chain(result, chain);
                RING_put_header_app_data(g.list, APP_DATA_SOURCE_GROUP, o->list);
                g.source = o;
                taken.push_back(&g);
                break;
            }
        }
    });
}

void CHAIN_check_flip_mach_regions(const RING_header_s* regions, RING_header_s* result) {
    if (!regions || !result) return;
    noting_and_ending(__LINE__, [&] {
        MERROW1_SCRATCH_POOL(pool, "CHAIN-check_flip_mach_regions");
        RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_set_sub_ring_delfunc(list, nullptr);
        for_each_chain(regions, [&](RING_node_s*, RING_header_s* chain) {
            if (chain->first) RING_insert_after(list, list->last, chain);
        });
        CHAIN_order_regions(list);
        CHAIN_check_flipping_cut_shapes(list, result);
        remove_key(list, APP_DATA_REGION_ORDER_MARK);
    });
}

void CHAIN_remove_reg_fr_ord_regions(RING_header_s* set, bool (*choose)(RING_header_s* group, void* data),
                                     void* data) {
    if (!set || !choose) return;
    noting_and_ending(__LINE__, [&] {
        MERROW1_SCRATCH_POOL(pool, "CHAIN-remove_reg_fr_ord_regions");
        for (Group& group : groups_of(set, APP_DATA_REGION_ORDER_MARK, pool))
            if (choose(group.list, data))
                for (RING_header_s* chain : group.chains) disconnect_chain(set, chain);
    });
}

int CHAIN_violates_retained_regions(const RING_header_s* chain, const RING_header_s* regions) {
    if (!chain || !regions || !main_of(chain) || !is_closed(chain)) return 0;
    return noting_errors(__LINE__, [&] {
        MERROW1_SCRATCH_POOL(pool, "CHAIN-violates_retained_regions");
        bool outside_seen = false, inside_seen = false;
        for (const Group& group : groups_of(regions, APP_DATA_RETAINED_ORDER_MARK, pool)) {
            if (group.chains.empty()) continue;
            RING_header_s* g0 = group.chains[0];
            switch (group.kind()) {
            case kIslandWithOuters: {
                if (loc(chain, g0) != CHAIN_LOCATION_INSIDE) break;
                bool outside_outer = false, held = false;
                for (std::size_t i = 1; i < group.chains.size() && !held; ++i) {
                    const CHAIN_LOCATION where = loc(chain, group.chains[i]);
                    if (inside_or_on(where)) held = true;
                    if (where == CHAIN_LOCATION_OUTSIDE) outside_outer = true;
                }
                if (!held && outside_outer) return 1;
                break;
            }
            case kSingleOuter: {
                const CHAIN_LOCATION where = loc(chain, g0);
                if (where == CHAIN_LOCATION_OUTSIDE) outside_seen = true;
                if (inside_or_on(where)) inside_seen = true;
                break;
            }
            case kSingleIsland:
                if (loc(chain, g0) == CHAIN_LOCATION_INSIDE) return 1;
                break;
            default: break;
            }
        }
        return outside_seen && !inside_seen ? 1 : 0;
    });
}

int CHAIN_violates_removed_regions(RING_header_s* chain, const RING_header_s* regions, bool mark) {
    if (!chain || !regions || !main_of(chain) || !is_closed(chain)) return 0;
    return noting_errors(__LINE__, [&] {
        MERROW1_SCRATCH_POOL(pool, "CHAIN-violates_removed_regions");
        bool found = false, outer_tested = false, island_outside = false;
        RING_header_s* g0 = nullptr;
        for (const Group& group : groups_of(regions, APP_DATA_REGION_ORDER_MARK, pool)) {
            if (group.chains.empty()) continue;
            g0 = group.chains[0];
            switch (group.kind()) {
            case kOuterWithIslands: {
                outer_tested = true;
                if (!inside_or_on(loc(chain, g0))) break;
                bool clear = true;
                for (std::size_t i = 1; i < group.chains.size() && clear; ++i)
                    clear = !inside_or_on(loc(chain, group.chains[i]));
                if (clear) return 0;
                break;
            }
            case kSingleOuter:
                outer_tested = true;
                if (inside_or_on(loc(chain, g0))) return 0;
                if (inside_or_on(loc(g0, chain))) found = true;
                break;
            case kSingleIsland: {
                const CHAIN_LOCATION where = loc(chain, g0);
                if (where == CHAIN_LOCATION_INSIDE) {
                    found = true;
                } else if (where == CHAIN_LOCATION_OUTSIDE) {
                    island_outside = true;
                    if (loc(g0, chain) == CHAIN_LOCATION_INSIDE) return 0;
                }
                break;
            }
            default: break;
            }
            if (found) break;
        }
        if (found) {
            if (mark) {
                auto mark_sources = [&](RING_header_s* of, int key) {
                    RING_header_s* sources = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
                    RING_set_sub_ring_delfunc(sources, nullptr);
                    CHAIN_ask_sample_stocked_source(of, sources);
                    for (RING_node_s* node : merrow1::ring_nodes(sources))
                        if (RING_header_s* source = RING_ask_node_subring(node))
                            RING_put_header_app_data(source, key, source);
                };
                mark_sources(g0, APP_DATA_RETAINED_ORDER_MARK);
                if (outer_boundary(chain)) mark_sources(chain, APP_DATA_REMOVED_REGION_SOURCE);
            }
            return 1;
        }
        if (island_outside) return outer_tested ? 1 : 0;
        return 1;
    });
}

// ---------------------------------------------------------------------------
// Embedding of a motion in regions grown by their implied offsets

namespace {

typedef PSI_segment_search_wrapper_s* (*wrap_poly_fn)(void* psi, RING_header_s* poly);
typedef DYNAMIC_ARRAY_s* (*wrap_set_fn)(void* psi, RING_header_s* set);

// The crossings of a motion with the grown regions: records in motion order,
// each with its place (grid units) and whether the section ending there lies
// outside material.  The first record is the motion's start.
struct Embedding {
    std::vector<const PSI_path_record_s*> records;
    INT_GRID_MAP_s* grid = nullptr;
    double grow = 0.0;
    bool single = false;
};

// The implied offset a chain's region takes, 0 unless its flag is set.
double implied_of(const RING_header_s* chain) {
    const CHAIN_main_data_s* data = main_of(chain);
    return data && (data->use_implied_offset & CHAIN_IMPLIED_OFFSET_IN_FORCE) ? data->implied_offset : 0.0;
}

// The embedding test: false when there is nothing to test.  Everything is
// made in the object's pool.
bool embed(RING_header_s* motion, const RING_header_s* regions, PSI_s* psi, Embedding& e) {
    if (!regions->first || !regions->last || !motion->first || !motion->last) return false;
    CMEM_pool_s* pool = psi->pool;
    RING_header_s* set = POLY_SEG_create_from_chain_set(const_cast<RING_header_s*>(regions), pool, true, false, nullptr);
    if (!set || !set->first) return false;
    const SIDE side = main_of(motion)->material_side;
    RING_header_s* path = nullptr;
    {
        merrow1::ChainFieldsGuard guard(merrow1::kChainFieldMaterialSide);
        guard.stamp_material_side(motion, LEFT);
        path = poly_of_chain(motion, pool);
    }
    if (!path) return false;
    // The growth: the largest implied offset in force.
    e.grow = std::fabs(implied_of(motion));
    for_each_chain(regions, [&](RING_node_s*, RING_header_s* region) {
        e.grow = std::max(e.grow, std::fabs(implied_of(region)));
    });
    double box[4] = {1e19, -1e19, 1e19, -1e19};
    POLY_SEG_quick_expand_bbox_for_set(set, box);
    POLY_SEG_quick_expand_bbox(path, box);
    if (!(box[0] <= box[1] && box[2] <= box[3])) return false;
    const double margin = merrow1::kGridMarginFraction * std::max(box[1] - box[0], box[3] - box[2]) + e.grow;
    e.grid = INT_GRID_MAP__create_uniform(pool, box[0] - margin, box[2] - margin, 0.0, box[1] + margin,
                                          box[3] + margin, 0.0, 31);
    // Every region by its own offset; the motion by its implied offset,
    // negated for material on the right, none without a side.
    POLY_SEG_offset_set(set, POLY_SEG_copy_chain_source_ref, nullptr, nullptr, nullptr, nullptr, false);
    POLY_SEG_put_set_to_grid(set, e.grid, false, nullptr, POLY_SEG_copy_chain_source_ref, 0.0);
    POLY_SEG_ask_header(path)->offset = side == 0 ? 0.0 : side == RIGHT ? -implied_of(motion) : implied_of(motion);
    if (POLY_SEG_ask_header(path)->offset != 0.0)
        POLY_SEG_offset(path, nullptr, POLY_SEG_copy_chain_source_ref, nullptr, nullptr, nullptr, nullptr, false);
    POLY_SEG_put_to_grid(path, e.grid);
    // A motion of one point is tested as a line one grid unit long in +x.
    if (path->count == 1) {
        e.single = true;
        const auto* p = static_cast<const LINE_ARC_SEG_s*>(path->first->main_data);
        const PNT2_s q{p->x + 1.0, p->y};
        POLY_SEG_append_line(path, &q);
    }
    // Material at infinity first (it works on the object's network), then
    // the path and the set wrapped, as the degouge pass takes them.
    const int material = PSI_method<PSI_set_is_material_at_inf_fn>(psi, PSI_SLOT_SET_IS_MATERIAL_AT_INF)(psi, set,
                                                                                                      nullptr);
    PSI_segment_search_wrapper_s* wrapper = PSI_method<wrap_poly_fn>(psi, PSI_SLOT_WRAP_INIT_POLY)(psi, path);
    DYNAMIC_ARRAY_s* wrapped = PSI_method<wrap_set_fn>(psi, PSI_SLOT_WRAP_INIT_POLY_SET)(psi, set);
    RING_header_s* records = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
    PSI_method<PSI_set_degouge_poly_seg_fn>(psi, PSI_SLOT_SET_DEGOUGE_POLY_SEG)(
        psi, wrapped, material == Korvo::Cam::MaterialAtInfinityPresent ? 1 : 0, wrapper, true, records);
    for (RING_node_s* node : merrow1::ring_nodes(records))
        e.records.push_back(static_cast<const PSI_path_record_s*>(node->main_data));
    return !e.records.empty();
}

// The chain point of a crossing: back from the grid, the nearest place of
// the motion.
POINT_ON_CHAIN_s chain_point(RING_header_s* motion, const Embedding& e, const PNT2_s& at) {
    double real[2];
    INT_GRID_MAP__get_2d_from_grid(e.grid, static_cast<int>(at.x), static_cast<int>(at.y), &real[0], &real[1]);
    POINT_ON_CHAIN_s place{};
    ChainPointMinDistance(motion, real, &place);
    return place;
}

bool check_if_violates(RING_header_s* motion, const RING_header_s* regions, POINT_ON_CHAIN_s* first,
                       POINT_ON_CHAIN_s* last, bool* at_start) {
    OwnedPsi psi(PSI_create(0, false, false, POLY_SEG_copy_chain_source_ref, nullptr));
    const bool closed = is_closed(motion);
    Embedding e;
    if (!embed(motion, regions, psi.get(), e)) return false;
    if (at_start) *at_start = false;
    const std::vector<const PSI_path_record_s*>& r = e.records;
    bool violates = false, by_section = false;
    if (e.single) {
        violates = by_section = r.size() >= 2 && !r[1]->outside;
    } else if (r.size() > (closed ? 1u : 2u)) {
        violates = true;
    } else {
        violates = by_section = !r.back()->outside;
    }
    if (!violates) return false;
    if (by_section && at_start) *at_start = true;
    if (!first && !last && (!at_start || *at_start)) return true;
    // The start of the first section in material and the end of the last.
    std::size_t first_end = 0, last_end = 0;
    for (std::size_t i = 1; i < r.size(); ++i)
        if (!r[i]->outside) {
            if (!first_end) first_end = i;
            last_end = i;
        }
    if (!first_end && closed && !r.front()->outside) first_end = last_end = 0;
    const POINT_ON_CHAIN_s from = chain_point(motion, e, r[first_end ? first_end - 1 : 0]->pnt);
    const POINT_ON_CHAIN_s to = chain_point(motion, e, r[last_end]->pnt);
    if (at_start && !*at_start) {
        const double lt = EQ_ask_length_tolerance();
        if (from.parameter >= lt) {
            // The first segment taken from the first crossing: its middle
            // near the regions means the motion runs in along them.
            double* start = merrow1::point_of(motion->first);
            const double saved[2] = {start[0], start[1]};
            double mid[2] = {0.0, 0.0};
            SEGMENT segment;
            start[0] = from.point[0];
            start[1] = from.point[1];
            const bool have = ChainSegment(motion, motion->first->next, &segment) && SegmentMidPoint(&segment, mid);
            start[0] = saved[0];
            start[1] = saved[1];
            if (have && ChainsPointMinDist(regions, mid, nullptr) < e.grow) *at_start = true;
        } else {
            // The violation begins at the motion's start.
            *at_start = true;
        }
    }
    if (first) *first = from;
    if (last) *last = to;
    return true;
}

// The set tolerance the growth of a region set is measured in.
double set_tolerance(const RING_header_s* set) {
    const double tol = CHAIN_ask_set_tolerance(set);
    return tol > kUnsetSetTolerance ? tol : CHAIN_ask_set_approx_tolerance(const_cast<RING_header_s*>(set)) + tol;
}

}  // namespace

bool CHAIN_check_if_violates_region(RING_header_s* motion, RING_header_s* regions, int* count, POINT_ON_CHAIN_s* first,
                                    POINT_ON_CHAIN_s* last, bool* at_start) {
    (void)count;
    if (!motion || !regions || !main_of(motion)) return false;
    return noting_errors(__LINE__, [&] {
        MERROW1_SCRATCH_POOL(pool, "CHAIN_check_if_violates_region");
        return check_if_violates(motion, regions, first, last, at_start);
    });
}

bool CHAIN_check_violates_region_sets(const RING_header_s* motion, int n, const RING_header_s** sets,
                                      const double* offsets, const int* count, POINT_ON_CHAIN_s* first,
                                      POINT_ON_CHAIN_s* last, bool* at_start) {
    if (!motion || !main_of(motion) || motion->count < 2 || n < 1 || !sets) return false;
    RING_header_s* moving = const_cast<RING_header_s*>(motion);
    // The motion and every tested region chain get their region fields back
    // on every path.
    merrow1::ChainFieldsGuard restore(merrow1::kChainRegionFields);
    restore.save_if_chain(moving);
    for (int i = 0; i < n; ++i)
        for_each_chain(sets[i], [&](RING_node_s*, RING_header_s* chain) { restore.save_if_chain(chain); });
    main_of(moving)->material_side = 0;
    int known = count ? *count : 0;
    return noting_errors(__LINE__, [&] {
        auto grow_of = [&](int i) { return (offsets ? offsets[i] : 0.0) - 10.0 * set_tolerance(sets[i]); };
        if (n == 1) {
            RING_header_s* set = const_cast<RING_header_s*>(sets[0]);
            if (!set || !set->first || !set->last) return false;
            CHAIN_set_implied_offset_for_set(set, grow_of(0), true);
            return CHAIN_check_if_violates_region(moving, set, count ? &known : nullptr, first, last, at_start);
        }
        MERROW1_SCRATCH_POOL(pool, "CHAIN_check_violates_region_sets: Multiple sets");
        RING_header_s* set = CHAIN_create_boolean_set(pool, nullptr);
        bool any = false;
        for (int i = 0; i < n; ++i) {
            if (!sets[i] || !sets[i]->first) continue;
            if (std::find(sets, sets + i, sets[i]) != sets + i) continue;
            any = CHAIN_append_region_set(set, const_cast<RING_header_s*>(sets[i]), i, 3, grow_of(i), false, false) ||
                  any;
        }
        if (!any) return false;
        return CHAIN_check_if_violates_region(moving, set, count ? &known : nullptr, first, last, at_start);
    });
}

bool CHAIN_check_violates_region_sets(const RING_header_s* motion, int n, const RING_header_s** sets,
                                      const double* offsets) {
    return CHAIN_check_violates_region_sets(motion, n, sets, offsets, nullptr, nullptr, nullptr, nullptr);
}

// ---------------------------------------------------------------------------
// Gouge-free sections

namespace {

// Two scratch arrays, destroyed on every exit.
struct ScratchArrays {
    DYNAMIC_ARRAY_s* parts;
    DYNAMIC_ARRAY_s* points;
    explicit ScratchArrays(CMEM_pool_s* pool)
        : parts(DYNAMIC_ARRAY__create(pool, sizeof(PART_OF_CHAIN_s), 5, 0)),
          points(DYNAMIC_ARRAY__create(pool, sizeof(POINT_ON_CHAIN_s), 10, 0)) {}
    ~ScratchArrays() {
        DYNAMIC_ARRAY__destroy(parts);
        DYNAMIC_ARRAY__destroy(points);
    }
    ScratchArrays(const ScratchArrays&) = delete;
    ScratchArrays& operator=(const ScratchArrays&) = delete;
};

// A section of a motion between two chain parameters, free of material or
// not.
struct Section {
    double from, to;
    bool free;
};

// The parameter reached from t by a signed distance along the chain, within
// [lo, hi]; segment by segment, the parameter in a segment following its
// length (arcs by their sweep).
double advance(const RING_header_s* chain, double t, double distance, double lo, double hi) {
    const int segments = is_closed(chain) ? chain->count : chain->count - 1;
    for (int guard = 0; guard <= segments + 1 && std::fabs(distance) > 0.0; ++guard) {
        int k = static_cast<int>(std::floor(t));
        if (distance < 0 && t == std::floor(t)) --k;
        if (k < 0 || k >= segments) break;
        RING_node_s* node = chain->first;
        for (int i = 0; i <= k && node; ++i) node = node->next;
        SEGMENT segment;
        if (!node || !ChainSegment(chain, node, &segment)) break;
        const double length = SegmentLength(&segment);
        if (length <= 0.0) {
            t = distance > 0 ? k + 1 : k;
            continue;
        }
        const double room = distance > 0 ? (k + 1 - t) * length : (t - k) * length;
        if (std::fabs(distance) <= room) {
            t += distance / length;
            distance = 0.0;
        } else {
            t = distance > 0 ? k + 1 : k;
            distance += distance > 0 ? -room : room;
        }
    }
    return std::min(std::max(t, lo), hi);
}

double length_between(const RING_header_s* chain, double from, double to) {
    double total = 0.0;
    const int segments = is_closed(chain) ? chain->count : chain->count - 1;
    RING_node_s* node = chain->first ? chain->first->next : nullptr;
    for (int k = 0; k < segments && node; ++k, node = node->next) {
        const double a = std::max(from, double(k)), b = std::min(to, double(k + 1));
        if (b <= a) continue;
        SEGMENT segment;
        if (ChainSegment(chain, node, &segment)) total += (b - a) * SegmentLength(&segment);
    }
    return total;
}

// The place at a chain parameter: the whole vertex number within the
// chain's approximation tolerance (at least 1e-8) of a vertex.
POINT_ON_CHAIN_s place_at(RING_header_s* chain, double t) {
    POINT_ON_CHAIN_s place{};
    const int segments = is_closed(chain) ? chain->count : chain->count - 1;
    int k = std::min(std::max(static_cast<int>(std::floor(t)), 0), std::max(segments - 1, 0));
    RING_node_s* node = chain->first;
    for (int i = 0; i <= k && node && node->next; ++i) node = node->next;
    Korvo::Math::Point2 p{0.0, 0.0};
    ChainGetParamPoint(chain, t, &p);
    const double xy[2] = {p.x, p.y};
    PointOnChainCreate1(chain, node, k + 1, t - k, xy, &place);
    PointOnChainSnapToVertex(&place, std::max(own_approximation(chain), kLeastSnap));
    return place;
}

}  // namespace

bool CHAIN_FindGougeFreeSections(RING_header_s* chain, PART_OF_CHAIN_s* part, RING_header_s* regions, int* count,
                                 double d1, double d2, DYNAMIC_ARRAY_s* parts, DYNAMIC_ARRAY_s* points) {
    (void)count;
    if (!regions || (!chain && !(part && part->start && part->start->chain))) return false;
    return noting_errors(__LINE__, [&]() -> bool {
        MERROW1_SCRATCH_POOL(pool, "CHAIN_FindGougeFreeSections");
        // A part is tested as a chain of its own; its places are found on the
        // part's chain afterwards.
        RING_header_s* motion = chain;
        if (part) {
            motion = CHAIN_create_from_chain(part->start->chain, pool);
            PartOfChainToChain(part, motion);
        }
        if (!motion || motion->count < 2) return false;
        OwnedPsi psi(PSI_create(0, false, false, POLY_SEG_copy_chain_source_ref, nullptr));
        Embedding e;
        if (!embed(motion, regions, psi.get(), e)) return false;
        const double cell = INT_GRID_MAP__get_grid_size(e.grid, 0);
        // 1. The sections between the crossings, on chain parameters.
        std::vector<double> at;
        for (const PSI_path_record_s* r : e.records) at.push_back(chain_point(motion, e, r->pnt).parameter);
        const double end = is_closed(motion) ? motion->count : motion->count - 1;
        if (!is_closed(motion)) {
            at.front() = 0.0;
            at.back() = end;
        }
        std::vector<Section> sections;
        for (std::size_t i = 1; i < at.size(); ++i) sections.push_back({at[i - 1], at[i], e.records[i]->outside != 0});
        if (is_closed(motion) && !at.empty()) sections.push_back({at.back(), end + at.front(), e.records[0]->outside != 0});
        // 2. Short gouges between free sections are bridged; the free ends
        //    next to other gouges move away from them.
        if (d1 > kLeastGougeDistance || d2 > kLeastGougeDistance) {
            if (d1 < 0) d1 = 0;
            else if (d2 < 0) d2 = 0;
            const double long_gouge = 2 * d1 + d2 + 100 * cell;
            for (std::size_t i = 1; i + 1 < sections.size();) {
                if (!sections[i].free && sections[i - 1].free && sections[i + 1].free &&
                    length_between(motion, sections[i].from, sections[i].to) <= long_gouge) {
                    sections[i - 1].to = sections[i + 1].to;
                    sections.erase(sections.begin() + static_cast<long>(i), sections.begin() + static_cast<long>(i) + 2);
                    continue;
                }
                ++i;
            }
            for (std::size_t i = 0; i < sections.size(); ++i) {
                if (sections[i].free) continue;
                if (i > 0 && sections[i - 1].free)
                    sections[i - 1].to = advance(motion, sections[i - 1].to, -d1, sections[i - 1].from, sections[i - 1].to);
                if (i + 1 < sections.size() && sections[i + 1].free)
                    sections[i + 1].from =
                        advance(motion, sections[i + 1].from, d1, sections[i + 1].from, sections[i + 1].to);
            }
        }
        // 3. Wholly free: one section, free.
        const bool wholly_free = sections.size() == 1 && sections[0].free;
        // 4. The free sections longer than 10 grid units.
        if (parts && points) {
            for (const Section& s : sections) {
                if (!s.free || length_between(motion, s.from, s.to) <= 10 * cell) continue;
                auto* start = static_cast<POINT_ON_CHAIN_s*>(DYNAMIC_ARRAY_take_element(points));
                auto* stop = static_cast<POINT_ON_CHAIN_s*>(DYNAMIC_ARRAY_take_element(points));
                auto* piece = static_cast<PART_OF_CHAIN_s*>(DYNAMIC_ARRAY_take_element(parts));
                if (!start || !stop || !piece) ERROR_internal(kModule, __LINE__, "No room for a gouge-free part");
                *start = place_at(motion, s.from);
                *stop = place_at(motion, std::min(s.to, end));
                if (part) {
                    // Back onto the part's own chain.
                    POINT_ON_CHAIN_s on{};
                    PartOfChainPointMinDis(part, start->point, &on);
                    *start = on;
                    PartOfChainPointMinDis(part, stop->point, &on);
                    *stop = on;
                }
                CreatePartOfChain(piece, start, stop);
            }
        }
        return wholly_free;
    });
}

bool CHAIN_FindGougeFreeChains(RING_header_s* chain_or_list, RING_header_s* regions, int* count, double d1, double d2,
                               CHAIN_vertex_source_callback_t merge_cb, RING_header_s* out) {
    if (!chain_or_list || !regions || !out) return false;
    if (chain_or_list->type == RING_TYPE_LIST) {
        bool all = true;
        for (RING_header_s* chain : chains_in_order(chain_or_list))
            all = CHAIN_FindGougeFreeChains(chain, regions, count, d1, d2, merge_cb, out) && all;
        return all;
    }
    RING_header_s* chain = chain_or_list;
    ScratchArrays arrays(out->pool);
    DYNAMIC_ARRAY_s* parts = arrays.parts;
    DYNAMIC_ARRAY_s* points = arrays.points;
    const bool wholly_free = CHAIN_FindGougeFreeSections(chain, nullptr, regions, count, d1, d2, parts, points);
    for (int i = 0; i < parts->num_active; ++i) {
        const auto* piece = static_cast<const PART_OF_CHAIN_s*>(DYNAMIC_ARRAY_element_at(parts, i));
        RING_header_s* made = nullptr;
        if (wholly_free) {
            made = CHAIN_copy_deep(chain, out->pool, merge_cb);
        } else {
            made = CHAIN_create_from_chain(chain, out->pool);
            ChainMerge(made, piece, 0, merge_cb);
        }
        if (made) RING_insert_after(out, out->last, made);
    }
    return wholly_free;
}

// ---------------------------------------------------------------------------
// Segment comparison of split-chain networks

bool CHAIN__SegCmpFunctor::operator()(RING_node_s* a, RING_node_s* b) {
    if (a == b) return false;
    if (!a || !b) ERROR_internal(kModule, __LINE__, "Missing seg data during network building");
    const CHAIN_app_poly_seg_chain_source_s* source_a = source_of(a);
    const CHAIN_app_poly_seg_chain_source_s* source_b = source_of(b);
    if (!source_a || !source_b) ERROR_internal(kModule, __LINE__, "Missing app data during network building");
    return source_a->chain != source_b->chain;
}

// ---------------------------------------------------------------------------
// Split-chain networks from polygon-set networks

namespace {

typedef bool (*CHAIN_split_pair_cb_t)(const RING_header_s*, const RING_header_s*);
typedef Korvo::Cam::PolySegNetworkPoint NetworkPoint;
typedef NetworkPoint::HalfEdge HalfEdge;
typedef void (*preprocess_region_sets_fn)(void* psi, RING_header_s* set_of_sets, int* material,
                                          DYNAMIC_ARRAY_s*** wrapped, int* m, bool hide_duplicates);
typedef void (*extract_final_boundaries_fn)(void* psi, DYNAMIC_ARRAY_s** wrapped, int count, int offset,
                                            PSI_set_output_s* output, RING_header_s* dummy_ring, bool second_pass,
                                            bool* needs_another_pass);

// The pair callback of the network build in progress.
CHAIN_split_pair_cb_t g_pair_cb = nullptr;

// Holds the pair callback for the time of a build and puts the earlier value
// back on every exit.
class PairCallbackScope {
public:
    explicit PairCallbackScope(CHAIN_split_pair_cb_t cb) : saved_(g_pair_cb) { g_pair_cb = cb; }
    ~PairCallbackScope() { g_pair_cb = saved_; }
    PairCallbackScope(const PairCallbackScope&) = delete;
    PairCallbackScope& operator=(const PairCallbackScope&) = delete;

private:
    CHAIN_split_pair_cb_t saved_;
};

// Order of two coinciding segments of the network build.
bool network_segment_order(RING_node_s* a, RING_node_s* b) {
    const CHAIN_app_poly_seg_chain_source_s* source_a = source_of(a);
    const CHAIN_app_poly_seg_chain_source_s* source_b = source_of(b);
    if (!source_a || !source_b) ERROR_internal(kModule, __LINE__, "Missing app data during network building");
    if (!g_pair_cb || source_a->chain == source_b->chain) return std::less<RING_node_s*>()(a, b);
    return g_pair_cb(source_a->chain, source_b->chain);
}

// The chain segment a network segment came from; a segment without one is an
// internal error.
const CHAIN_app_poly_seg_chain_source_s* chain_source_of(const RING_node_s* segment, SEGMENT* chain_segment) {
    const CHAIN_app_poly_seg_chain_source_s* source = source_of(segment);
    if (!source || !source->chain || !source->vertex || !ChainSegment(source->chain, source->vertex, chain_segment))
        ERROR_internal(kModule, __LINE__, "No chain segment at split chain");
    return source;
}

// The place of a network position on the source segment of a network
// segment, in the pool: snapped onto the segment, a whole vertex within the
// chain's approximation tolerance (at least 1e-8) of an end.
POINT_ON_CHAIN_s source_place(const RING_node_s* segment, const Korvo::Math::Point2& at) {
    SEGMENT chain_segment;
    const CHAIN_app_poly_seg_chain_source_s* source = chain_source_of(segment, &chain_segment);
    const double point[2] = {at.x, at.y};
    double closest[2] = {at.x, at.y};
    SegmentPointMinDist(&chain_segment, point, closest);
    POINT_ON_CHAIN_s place{};
    if (!PointOnChainCreate(source->chain, source->vertex, 0, closest, &place))
        ERROR_internal(kModule, __LINE__, "No chain segment at split chain");
    PointOnChainSnapToVertex(&place, std::max(own_approximation(source->chain), kLeastSnap));
    return place;
}

// Curvature and unit tangent with which the piece leaves its start
// (reversed: its end, both negated).  A zero tangent takes the neighbouring
// segment's, and (1, 0) when that fails too; a place without a chain segment
// is an internal error.
void leaving_geometry(const PART_OF_CHAIN_s* piece, int reversed, double* curvature, double tangent[2]) {
    const POINT_ON_CHAIN_s* at = reversed ? piece->end : piece->start;
    SEGMENT segment;
    if (!at || !at->chain || !at->node || !ChainSegment(at->chain, at->node, &segment))
        ERROR_internal(kModule, __LINE__, "No chain segment at split chain");
    *curvature = SegmentCurvature(&segment);
    if (!SegmentTangent(&segment, at->point, tangent)) {
        const RING_node_s* neighbour = reversed ? at->node->previous : at->node->next;
        SEGMENT other;
        if (!neighbour || !ChainSegment(at->chain, neighbour, &other) || !SegmentTangent(&other, at->point, tangent)) {
            tangent[0] = 1.0;
            tangent[1] = 0.0;
        }
    }
    if (reversed) {
        tangent[0] = -tangent[0];
        tangent[1] = -tangent[1];
        *curvature = -*curvature;
    }
}

SPLIT_CHAIN_s* put_end(RING_header_s* junction, PART_OF_CHAIN_s* piece, int reversed) {
    double curvature = 0.0, tangent[2] = {1.0, 0.0};
    leaving_geometry(piece, reversed, &curvature, tangent);
    SPLIT_CHAIN_s* record = merrow1::put_split_end(junction, piece, reversed, curvature, tangent);
    if (!record) ERROR_internal(kModule, __LINE__, "No room for a split chain");
    return record;
}

std::vector<NetworkPoint*> points_of_list(const RING_header_s* list) {
    std::vector<NetworkPoint*> out;
    for (RING_node_s* node : merrow1::ring_nodes(list))
        out.push_back(static_cast<NetworkPoint*>(Korvo::Cam::PolySegPoint::GetFromList(node)));
    return out;
}

// The split-chain network of the polygon-set network, in pool: one junction
// per position (the half-edges of one next-around cycle), one end record per
// half-edge that has a section (of a kept poly, when kept is given), far
// junctions linked.
RING_header_s* junctions_of(RING_header_s* network, CMEM_pool_s* pool, const std::vector<const RING_header_s*>* kept) {
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    std::vector<NetworkPoint*> points;
    // Points of polys whose records are kept.
    std::unordered_set<const NetworkPoint*> recorded;
    for (RING_node_s* node : merrow1::ring_nodes(network)) {
        RING_header_s* list = RING_ask_node_subring(node);
        const auto* poly = static_cast<const RING_header_s*>(list ? list->main_data : nullptr);
        const bool keep = !kept || std::find(kept->begin(), kept->end(), poly) != kept->end();
        for (NetworkPoint* p : points_of_list(list)) {
            points.push_back(p);
            if (keep) recorded.insert(p);
        }
    }
    const std::size_t half_edges = 2 * points.size();
    // The piece of the section that ends at a point, made once for both of
    // its ends.
    std::unordered_map<const NetworkPoint*, PART_OF_CHAIN_s*> pieces;
    auto piece_ending_at = [&](NetworkPoint* b) -> PART_OF_CHAIN_s* {
        auto found = pieces.find(b);
        if (found != pieces.end()) return found->second;
        NetworkPoint* a = b->Prev();
        PART_OF_CHAIN_s* piece = nullptr;
        if (a) {
            const POINT_ON_CHAIN_s from = source_place(a->GetSegNodeAfter(), a->GetCoords());
            const POINT_ON_CHAIN_s to = source_place(b->GetSegNode(), b->GetCoords());
            // A point alone on a closed list, or an inverted section, goes
            // once round.
            piece = merrow1::make_split_piece(&from, &to, a == b || b->IsInverted(), pool);
        }
        pieces.emplace(b, piece);
        return piece;
    };
    struct End {
        RING_node_s* junction;
        SPLIT_CHAIN_s* record;
    };
    std::unordered_map<const HalfEdge*, End> ends;
    std::vector<HalfEdge*> order;
    std::unordered_set<const HalfEdge*> seen;
    for (NetworkPoint* p : points) {
        for (HalfEdge* h : {p->Before(), p->After()}) {
            if (seen.count(h)) continue;
            const double at[2] = {p->GetCoords().x, p->GetCoords().y};
            RING_node_s* junction = merrow1::add_split_junction(out, at);
            RING_header_s* records = RING_ask_node_subring(junction);
            HalfEdge* m = h;
            for (std::size_t guard = 0;; ++guard) {
                if (guard > half_edges) MERROW1_INFINITE_LOOP();
                seen.insert(m);
                if (HalfEdge* other = m->OtherEnd()) {
                    NetworkPoint* b = m->IsBefore() ? m->GetVtx() : other->GetVtx();
                    if (PART_OF_CHAIN_s* piece = recorded.count(b) ? piece_ending_at(b) : nullptr) {
                        ends[m] = End{junction, put_end(records, piece, m->IsBefore() ? 1 : 0)};
                        order.push_back(m);
                    }
                }
                m = m->NextAround();
                if (!m || m == h) break;
            }
        }
    }
    for (HalfEdge* m : order) {
        auto far = ends.find(m->OtherEnd());
        if (far != ends.end()) ends[m].record->far_junction = far->second.junction;
    }
    for (RING_node_s* junction : merrow1::ring_nodes(out)) merrow1::close_split_junction(RING_ask_node_subring(junction));
    CHAIN__remove_unneeded_splitpoints(out);
    return out;
}

RING_header_s* build_split_chain_network(RING_header_s* set, CMEM_pool_s* pool, double* resolution,
                                         RING_header_s* second) {
    OwnedPsi psi(PSI_create(0, true, true, POLY_SEG_copy_chain_source_ref, network_segment_order));
    CMEM_pool_s* scratch = psi.get()->pool;
    // The polys of the set, open ones that meet end to start joined; those of
    // the second set after them.
    RING_header_s* polys = POLY_SEG_create_from_chain_set(set, scratch, true, false, nullptr);
    if (!polys) return RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    POLY_SEG_joinup_open_material(polys, POLY_SEG_copy_chain_source_ref);
    std::vector<const RING_header_s*> first_polys;
    for (RING_node_s* node : merrow1::ring_nodes(polys)) first_polys.push_back(RING_ask_node_subring(node));
    if (second) {
        RING_header_s* more = POLY_SEG_create_from_chain_set(second, scratch, true, false, nullptr);
        if (more) {
            POLY_SEG_joinup_open_material(more, POLY_SEG_copy_chain_source_ref);
            for (RING_node_s* node : merrow1::ring_nodes(more)) {
                RING_header_s* poly = RING_ask_node_subring(node);
                RING_set_node_subring(node, nullptr);
                if (poly) RING_insert_after(polys, polys->last, poly);
            }
        }
    }
    if (!polys->first) return RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    // The grid, with material-side rounding.
    INT_GRID_MAP_s* grid =
        POLY_SEG_put_set_to_grid(polys, nullptr, true, uses_material_side, POLY_SEG_copy_chain_source_ref, 0.0);
    if (resolution) *resolution = 6.0 * INT_GRID_MAP__get_grid_size(grid, 0);
    // Intersections within the set, then the final boundaries.
    RING_header_s* sets = POLY_SEG_create_set_of_sets(scratch);
    POLY_SEG_append_to_set_of_sets(sets, polys);
    DYNAMIC_ARRAY_s** wrapped = nullptr;
    int m = 0;
    PSI_method<preprocess_region_sets_fn>(psi.get(), PSI_SLOT_SET_PREPROCESS_REGION_SETS)(psi.get(), sets, nullptr,
                                                                                               &wrapped, &m, false);
    if (!wrapped || !wrapped[0]) return RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_header_s* boundaries = POLY_SEG_create_set(scratch, Korvo::Cam::NoMaterialAtInfinity);
    PSI_set_output_s output{boundaries, 0, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_SET, psi.get()->create_data};
    PSI_method<extract_final_boundaries_fn>(psi.get(), PSI_SLOT_SET_EXTRACT_FINAL_BOUNDARIES)(
        psi.get(), wrapped, 1, m, &output, nullptr, false, nullptr);
    // The network of meeting points, back from the grid.
    CHAIN__SegCmpFunctor compare;
    RING_header_s* network = NetworkPoint::BuildNetwork(wrapped[0], compare, scratch);
    NetworkPoint::NetworkRemoveCoincidences(network, compare);
    NetworkPoint::NetworkGetFromGrid(network);
    NetworkPoint::NetworkMovePointsPastMissingToStartEnds(network);
    // With a second set, its polys cut those of the first but the records
    // are only those of the first set's non-degenerate polys.
    std::vector<const RING_header_s*> kept;
    if (second)
        for (const RING_header_s* poly : first_polys)
            if (!POLY_SEG_is_degenerate(poly)) kept.push_back(poly);
    return junctions_of(network, pool, second ? &kept : nullptr);
}

}  // namespace

RING_header_s* CHAIN_build_split_chain_network(RING_header_s* set, CMEM_pool_s* pool, double* resolution,
                                               bool (*pair_cb)(const RING_header_s*, const RING_header_s*),
                                               RING_header_s* second) {
    CHAIN_debug_report(kReportInput, "CHAIN_build_split_chain_network -- Start", set, nullptr);
    if (!set || !pool) return nullptr;
    PairCallbackScope scope(pair_cb);
    return noting_errors(__LINE__, [&] { return build_split_chain_network(set, pool, resolution, second); });
}

// ---------------------------------------------------------------------------
// Gouge-free split chains

namespace {

// Section ends nearer than this (squared) to a junction end there.
const double kSplitSquared = 6.25e-16;

bool end_marked(const RING_node_s* node) {
    return APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_SCRATCH_MARK) != nullptr;
}

void mark_end(RING_header_s* junction, RING_node_s* node) {
    RING_put_node_app_data(junction, node, CHAIN_APP_DATA_SCRATCH_MARK, node);
}

double squared_gap(const double a[2], const double b[2]) {
    const double dx = a[0] - b[0], dy = a[1] - b[1];
    return dx * dx + dy * dy;
}

const double* point_of_junction(const RING_node_s* junction) {
    return static_cast<const SPLIT_JUNCTION_s*>(RING_ask_node_subring(junction)->main_data)->point;
}

// Cuts the piece between its two end records at the ends of its free
// sections (places in piece order) that lie inside it: each cut is a new
// junction holding the end of the stretch before it and the start of the
// stretch after it.  The old records keep their ends and take the first and
// the last stretch.
void cut_at_sections(RING_header_s* network, RING_node_s* start_junction, SPLIT_CHAIN_s* start_record,
                     RING_node_s* end_junction, SPLIT_CHAIN_s* end_record, const std::vector<POINT_ON_CHAIN_s>& cuts) {
    if (cuts.empty()) return;
    CMEM_pool_s* pool = network->pool;
    const PART_OF_CHAIN_s original = *start_record->piece;
    std::vector<RING_node_s*> made;
    RING_node_s* previous_junction = start_junction;
    SPLIT_CHAIN_s* previous_forward = start_record;
    const POINT_ON_CHAIN_s* from = original.start;
    for (const POINT_ON_CHAIN_s& cut : cuts) {
        PART_OF_CHAIN_s* stretch = merrow1::make_split_piece(from, &cut, false, pool);
        if (!stretch) ERROR_internal(kModule, __LINE__, "No chain segment at split chain");
        RING_node_s* junction = merrow1::add_split_junction(network, cut.point);
        made.push_back(junction);
        RING_header_s* records = RING_ask_node_subring(junction);
        previous_forward->piece = stretch;
        previous_forward->far_junction = junction;
        SPLIT_CHAIN_s* arriving = put_end(records, stretch, 1);
        arriving->far_junction = previous_junction;
        // The stretch after the cut runs to the piece's end until the next
        // cut shortens it.
        PART_OF_CHAIN_s* rest = merrow1::make_split_piece(&cut, original.end, false, pool);
        if (!rest) ERROR_internal(kModule, __LINE__, "No chain segment at split chain");
        previous_forward = put_end(records, rest, 0);
        previous_forward->far_junction = end_junction;
        previous_junction = junction;
        from = rest->start;
    }
    end_record->piece = previous_forward->piece;
    end_record->far_junction = previous_junction;
    for (RING_node_s* junction : made) {
        RING_header_s* records = RING_ask_node_subring(junction);
        merrow1::close_split_junction(records);
        for (RING_node_s* node : merrow1::ring_nodes(records)) mark_end(records, node);
    }
}

void find_gouge_free_split_chains(RING_header_s* network, RING_header_s* regions, int* count, double d1, double d2,
                                  bool (*filter)(RING_node_s*)) {
    ScratchArrays arrays(network->pool);
    // Junctions made on the way hold only ends already handled.
    for (RING_node_s* junction : merrow1::ring_nodes(network)) {
        RING_header_s* ends = RING_ask_node_subring(junction);
        if (!ends) continue;
        const int records = ends->count;
        RING_node_s* node = ends->first;
        for (int i = 0; i < records && node && ends->count > 0; ++i) {
            // The next record is taken before this one can go.
            RING_node_s* next = node->next;
            auto* record = static_cast<SPLIT_CHAIN_s*>(node->main_data);
            if (!record || !record->piece || end_marked(node) || (filter && !filter(node))) {
                node = next;
                continue;
            }
            RING_header_s* far_ends = nullptr;
            RING_node_s* twin = NextSplitChain(record, &far_ends);
            mark_end(ends, node);
            if (twin) mark_end(far_ends, twin);
            DA_set_num_active(arrays.parts, 0);
            DA_set_num_active(arrays.points, 0);
            if (CHAIN_FindGougeFreeSections(nullptr, record->piece, regions, count, d1, d2, arrays.parts,
                                            arrays.points)) {
                node = next;
                continue;
            }
            if (arrays.parts->num_active == 0) {
                // A loop without a free section goes with its twin.
                if (record->far_junction == junction) {
                    if (!twin) MERROW1_NOTE_FAILURE("DueToReverseSplitchainNotExisting");
                    if (twin && twin == next) next = twin->next;
                    if (next == node) next = nullptr;
                    if (twin) RING_delete_node(far_ends, twin);
                    RING_delete_node(ends, node);
                    merrow1::close_split_junction(ends);
                    if (far_ends != ends) merrow1::close_split_junction(far_ends);
                }
                node = next;
                continue;
            }
            if (!twin) {
                MERROW1_NOTE_FAILURE("DueToReverseSplitchainNotExisting");
                node = next;
                continue;
            }
            SPLIT_CHAIN_s* other = static_cast<SPLIT_CHAIN_s*>(twin->main_data);
            const bool reversed = record->reversed != 0;
            RING_node_s* start_junction = reversed ? record->far_junction : junction;
            RING_node_s* end_junction = reversed ? junction : record->far_junction;
            SPLIT_CHAIN_s* start_record = reversed ? other : record;
            SPLIT_CHAIN_s* end_record = reversed ? record : other;
            const PART_OF_CHAIN_s piece = *record->piece;
            // The section ends inside the piece, in order, as places of their
            // own on the piece's chain.
            std::vector<POINT_ON_CHAIN_s> cuts;
            const double* last_cut = point_of_junction(start_junction);
            const double* far_point = point_of_junction(end_junction);
            auto place_on_piece = [&](const double point[2]) {
                POINT_ON_CHAIN_s place{};
                PartOfChainPointMinDis(&piece, point, &place);
                return place;
            };
            for (int k = 0; k < arrays.parts->num_active; ++k) {
                const auto* section = static_cast<const PART_OF_CHAIN_s*>(DYNAMIC_ARRAY_element_at(arrays.parts, k));
                if (squared_gap(section->start->point, last_cut) > kSplitSquared) {
                    cuts.push_back(place_on_piece(section->start->point));
                    last_cut = cuts.back().point;
                }
                if (squared_gap(section->end->point, far_point) > kSplitSquared) {
                    cuts.push_back(place_on_piece(section->end->point));
                    last_cut = cuts.back().point;
                }
            }
            cut_at_sections(network, start_junction, start_record, end_junction, end_record, cuts);
            node = next;
        }
    }
}

}  // namespace

void CHAIN_FindGougeFreeSplitChains(RING_header_s* lists, RING_header_s* regions, int* count, double d1, double d2,
                                    bool (*filter)(RING_node_s*)) {
    if (!lists || !regions || !regions->first) return;
    noting_errors(__LINE__, [&] { find_gouge_free_split_chains(lists, regions, count, d1, d2, filter); });
}
