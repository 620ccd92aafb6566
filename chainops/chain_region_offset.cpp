// The regions between the chains of sets, detours inside regions and the
// offsets of region sets.
#include <merrow1/chain_region_offset.h>

#include <merrow1/chain.h>
#include <merrow1/bzone.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_embedded.h>
#include <merrow1/chain_fillet.h>
#include <merrow1/chain_edit.h>
#include <pellam/mchn_implicit.h>
#include <pellam/mchn_merge.h>
#include <pellam/mchn_merge_split.h>
#include <pellam/mchn_offset.h>
#include <pellam/mchn_segment.h>
#include <quorn/quorn.h>

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_closest.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_from_chain.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_order.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_violation.h>
#include <merrow1/int_grid_map.h>
#include <merrow1/poly_seg.h>
#include <merrow1/segment.h>

#include "chain/chain_check.h"
#include "chain/chain_fields_guard.h"
#include "chainops/chain_2.h"
#include "chainops/chain_poly_seg_internal.h"
#include "chainops/chain_region_internal.h"
#include "offset/chain_fillet_internal.h"
#include "chainops/shape_kind.h"
#include "internal/check.h"
#include "internal/owned.h"
#include "internal/ring_check.h"
#include "internal/ring_nodes.h"
#include "internal/scratch_pool.h"
#include "chain/split_network.h"
#include <stend/system.h>

#include <algorithm>
#include <cmath>
#include <unordered_set>
#include <vector>

using merrow1::main_of;
using merrow1::is_closed;
using merrow1::chain_region_internal::is_island;
using merrow1::other_side;
using merrow1::chain_region_internal::chain_of;
using merrow1::chain_region_internal::chains_in_order;
using merrow1::chain_region_internal::noting_errors;

// ---------------------------------------------------------------------------
// Regions between the chains of a set

namespace {

// Chain debug report kinds of the between-set boolean.
const int kReportBetweenStart = 4;
const int kReportBetweenEnd = 7;

// The first chain of a list, or null.
RING_header_s* first_chain_of(const RING_header_s* list) {
    for (RING_node_s* node : merrow1::ring_nodes(list))
        if (RING_header_s* chain = chain_of(node)) return chain;
    return nullptr;
}

// side, or the material side of the list's first chain when side is 0.
SIDE side_or_first_chain(SIDE side, const RING_header_s* list) {
    if (side != 0) return side;
    const RING_header_s* first = first_chain_of(list);
    return first && main_of(first) ? main_of(first)->material_side : side;
}

// Whether every chain of the list is closed and none is a trace.
bool closed_without_traces(const RING_header_s* list) {
    for (RING_node_s* node : merrow1::ring_nodes(list)) {
        const RING_header_s* chain = chain_of(node);
        if (!chain) continue;
        if (!is_closed(chain) || (main_of(chain) && main_of(chain)->kind == TRACE_CHAIN)) return false;
    }
    return true;
}

}  // namespace

int CHAIN_boolean_between(RING_header_s* set, SIDE side, RING_header_s* out, CHAIN_vertex_source_callback_t merge_cb) {
    MERROW1_REQUIRE(out, "DUE_TO_POINTER_TO_CHAIN_BEING_NULL", 0);
    MERROW1_REQUIRE_LIST(out, 0);
    // 1. What this call appends follows the node that is last now.
    if (!set || !set->first || !set->last) return 0;
    MERROW1_REQUIRE_LIST(set, 0);
    if (!CHAIN__input_usable(set, "CHAIN_boolean_between", CHAIN_INPUT_FINITE)) return 0;
    RING_node_s* before_first = out->last;
    // 2. and 3.
    CHAIN_debug_report(kReportBetweenStart, "CHAIN_boolean_between -- Start", set, nullptr);
    side = side_or_first_chain(side, set);
    if (CHAIN_ask_use_new_boolean()) {
        // 4. The newer engine hands a chain met by nothing on as itself.
        CHAIN_find_minimal_loops(set, CHAIN_POLY_SEG_INTERSECT_ALL, side, merge_cb, out);
        CHAIN__hold_reused_inputs(set, out, before_first);
    } else {
        // 5. The older engine's loops are made in out's pool, never in the
        //    private one that goes before this returns.
        //    Only the region's boundary is walked: the minimal loops would
        //    also bound faces that lie wholly in the material (where an
        //    island crosses its outer boundary, say).  The face at infinity
        //    is material as the newer engine decides it, from the region
        //    sets: one set winds below 0 on its own.  A chain with its
        //    material outside does not lay material far away by itself: a
        //    pocket inside an island of its set is a hole in that island.
        //    Traced or open chains keep the reading of any chain with its
        //    material outside (the newer engine decides nothing for them).
        noting_errors(__LINE__, [&] {
            const CHAIN__older_pairs_t far =
                !closed_without_traces(set) || CHAIN__region_sets_lay_material_at_infinity(set)
                    ? CHAIN__OLDER_BELOW_FAR
                    : CHAIN__OLDER_REGION;
            CHAIN__boolean_older(set, nullptr, CHAIN__OLDER_PAIRS_BETWEEN | far, side, out, merge_cb,
                                 "CHAIN-ChainsBoolean-", 8, nullptr);
        });
    }
    // 6. "Empty" is judged by what this call added.
    if (CHAIN__count_after(out, before_first) == 0) return 0;
    CHAIN__validate_shapes_from_boolean(set, out, before_first);
    CHAIN_debug_report(kReportBetweenEnd, "CHAIN_boolean_between -- End", out, nullptr);
    return CHAIN__count_after(out, before_first) > 0 ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Detour path inside regions

namespace {

// Within this of a length nothing is refused or accepted on its account.
const double kLengthSlack = 1e-10;

// The end of a detour: the point itself, or, when it lies in the regions'
// material, the nearest point of their chains and the distance to it.
struct DetourEnd {
    double at[2];
    double gap = 0.0;
    bool moved = false;
};

DetourEnd detour_end(const RING_header_s* regions, const Korvo::Math::Point3& p, CMEM_pool_s* scratch) {
    DetourEnd end{{p.x, p.y}};
    const Korvo::Math::Point2 point{p.x, p.y};
    RING_header_s* probe = CHAIN_create_point_chain(&main_of(first_chain_of(regions))->csys, &point, scratch);
    if (!CHAIN_check_if_violates_region(probe, const_cast<RING_header_s*>(regions), nullptr, nullptr, nullptr, nullptr))
        return end;
    POINT_ON_CHAIN_s nearest{};
    end.gap = ChainsPointMinDistance(regions, end.at, &nearest);
    end.at[0] = nearest.point[0], end.at[1] = nearest.point[1];
    end.moved = true;
    return end;
}

}  // namespace

RING_header_s* CHAIN_create_detour_path_in_region(CMEM_pool_s* pool, const RING_header_s* regions,
                                                  const Korvo::Math::Point3* from, const Korvo::Math::Point3* to,
                                                  double* max_length, double* length) {
    // 1. Arguments; every region chain closed.
    if (length) *length = 0.0;
    if (!CHAIN__input_usable(regions, "CHAIN_create_detour_path_in_region", CHAIN_INPUT_LIST)) return nullptr;
    if (!pool || !regions || !regions->first || !regions->last || !from || !to || !length) return nullptr;
    if (regions->type != RING_TYPE_LIST || !first_chain_of(regions)) return nullptr;
    for (RING_node_s* node : merrow1::ring_nodes(regions))
        if (const RING_header_s* chain = chain_of(node); chain && !is_closed(chain)) return nullptr;
    return noting_errors(__LINE__, [&]() -> RING_header_s* {
        MERROW1_SCRATCH_POOL(scratch, "CHAIN_create_detour_path_in_region");
        // 2. and 3.
        RING_header_s* path = CHAIN_create_from_csys(&main_of(first_chain_of(regions))->csys, pool);
        // The path is the caller's only once it is returned.
        merrow1::Owned<RING_header_s, RING_delete> guard(path);
        const DetourEnd start = detour_end(regions, *from, scratch);
        const DetourEnd end = detour_end(regions, *to, scratch);
        // 4.
        double len = 0.0;
        if (!CHAIN_create_detour_path(const_cast<RING_header_s*>(regions), start.at, end.at, path, &len) ||
            path->count < 2)
            return nullptr;
        // 5. The moved ends are joined back to the points asked for by lines.
        if (start.moved) {
            RING_node_s* old_first = path->first;
            RING_node_s* node = RING_insert_after(path, nullptr, nullptr);
            if (!node || !ChainVertexCopy(old_first, path, node)) return nullptr;
            CHAIN_seg_set_type(old_first, SEG_LINE);
            merrow1::point_of(node)[0] = from->x;
            merrow1::point_of(node)[1] = from->y;
            CHAIN_seg_set_type(node, SEG_POINT);
            CHAIN_drop_cached_box(path);
            len += start.gap;
        }
        if (end.moved) {
            const end_segment line{to->x, to->y, 0.0, 0.0, 0.0, 0};
            if (!ChainAppendVertexGeneral(path, &line, SEG_LINE, 1)) return nullptr;
            len += end.gap;
        }
        // 6.
        if (max_length && *max_length > kLengthSlack && len > *max_length + kLengthSlack) return nullptr;
        *length = len;
        return guard.release();
    });
}

// ---------------------------------------------------------------------------
// Between-set boolean of incomplete sets

namespace {

const char* const kPolySegModule = "chain_poly_seg";
const int kTraceNotAllowedCode = 965004;

bool empty_set(const RING_header_s* set) { return !set || !set->first || !first_chain_of(set); }

}  // namespace

void CHAIN_boolean_between_incomplete_sets(const RING_header_s** sets, bool* complete, int count, SIDE side,
                                           CHAIN_vertex_source_callback_t merge_cb, RING_header_s* out) {
    if (!sets || !complete || count <= 0 || !out) return;
    for (int i = 0; i < count; ++i)
        if (!CHAIN__input_usable(sets[i], "CHAIN_boolean_between_incomplete_sets", CHAIN_INPUT_LIST)) return;
    // 1. The non-empty sets to the front, each with its flag.
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        if (empty_set(sets[i])) continue;
        sets[kept] = sets[i];
        complete[kept] = complete[i];
        ++kept;
    }
    if (kept == 0) return;
    // 2. One set: out refers to its chains.
    if (kept == 1) {
        for (RING_node_s* node : merrow1::ring_nodes(sets[0]))
            if (RING_header_s* chain = chain_of(node)) RING_insert_after(out, out->last, RING_dup_reference(chain));
        return;
    }
    RING_node_s* const before_first = out->last;
    merrow1::run_converting_reported(kPolySegModule, __LINE__, [&] {
        // 3. Every chain numbered across the sets (the ids go back on every
        //    path, the refusal of a trace included); all chains in one set.
        MERROW1_SCRATCH_POOL_SIZED(pool, "CHAIN_boolean_between_incomplete_sets", 512);
        merrow1::ChainFieldsGuard ids(merrow1::kChainRegionFields);
        RING_header_s* all = CHAIN_create_boolean_set(pool, nullptr);
        int number = 0;
        for (int i = 0; i < kept; ++i)
            for (RING_node_s* node : merrow1::ring_nodes(sets[i])) {
                RING_header_s* chain = chain_of(node);
                if (!chain || !main_of(chain)) continue;
                ids.save_if_chain(chain);
                main_of(chain)->region_set_id = number++;
                if (main_of(chain)->kind == TRACE_CHAIN)
                    ERROR_raise(__FILE__, __LINE__, kTraceNotAllowedCode, "%s",
                                "Trace chains not allowed in CHAIN_boolean_between_incomplete_sets");
                RING_insert_after(all, all->last, chain);
            }
        // 4. and 5. The minimal loops of the network all the sets' chains
        //    form, as chains on the side (or the first chain's) in out.
        CHAIN_find_minimal_loops(all, CHAIN_POLY_SEG_INTERSECT_ALL, side_or_first_chain(side, sets[0]),
                                 merge_cb ? merge_cb : CHAIN_boolean_merge, out);
        CHAIN__hold_reused_inputs(all, out, before_first);
        // 6. Ids and pool go with their guards.
    });
}

// ---------------------------------------------------------------------------
// Offsets of region sets

namespace {

// Chains of out after the node (null: from the first), as a count.
bool received(const RING_header_s* out, const RING_node_s* before_first) {
    return CHAIN__count_after(out, before_first) > 0;
}

typedef RING_header_s* (*offset_fn)(RING_header_s* chain, double offset, CORNER_CONTROL corner, SIDE side,
                                    CHAIN_trace_vertex_source_cb_t, CHAIN_trace_vertex_cb_t,
                                    CHAIN_vertex_source_callback_t, CMEM_pool_s* pool);

RING_header_s* offset_plain(RING_header_s* chain, double offset, CORNER_CONTROL corner, SIDE side,
                            CHAIN_trace_vertex_source_cb_t source_cb, CHAIN_trace_vertex_cb_t vertex_cb,
                            CHAIN_vertex_source_callback_t merge_cb, CMEM_pool_s* pool) {
    return CHAIN_offset(chain, offset, corner, side, source_cb, vertex_cb, merge_cb, pool, nullptr);
}

// The worker of CHAIN_offset_region and CHAIN_offset_region_pattern.
int offset_region(const RING_header_s* regions, RING_header_s* out, double distance, bool order, offset_fn offset) {
    if (!regions || !out || out->type != RING_TYPE_LIST) return 0;
    RING_node_s* before_first = out->last;
    // 1. L owns the offsets.  It stays in out's pool: the regions made
    //    from them name them as their sources (key 10), and the flipping
    //    check follows those links back to the input.
    RING_header_s* offsets = RING_create_in_pool(nullptr, RING_TYPE_LIST, out->pool);
    // 2. Every region chain with arc corners on its own side.
    bool outer = false, island = false;
    for (RING_node_s* node : merrow1::ring_nodes(regions)) {
        RING_header_s* chain = chain_of(node);
        if (!chain) continue;
        outer = outer || merrow1::is_closed_pocket(chain);
        island = island || merrow1::is_island(chain);
        RING_header_s* list = offset(chain, distance, ADD_ARC, 0, MCHN_assign_seg_to_stocked_seg,
                                     MCHN_trace_vertex_same_ent_ang, MCHN_merge_segment_app_data, out->pool);
        if (!list) continue;
        // The chains move to L: the list's nodes let go of them first.
        for (RING_node_s* result : merrow1::ring_nodes(list))
            if (RING_header_s* piece = chain_of(result)) {
                RING_set_node_subring(result, nullptr);
                RING_insert_after(offsets, offsets->last, piece);
            }
        RING_delete(list);
    }
    // 3. The regions between the offsets.
    if (!offsets->first) return 0;
    if (!CHAIN_boolean_between(offsets, 0, out, MCHN_merge_segment_app_data)) return 0;
    // 4. Flipped groups out, when the input mixes outer boundaries and
    //    islands.  The check lists and orders the input itself, so it finds
    //    the source groups also on an input that carries no order marks.
    if (outer && island) CHAIN_check_flip_mach_regions(regions, out);
    // 5.
    if (!received(out, before_first)) return 0;
    if (order) CHAIN_order_regions(out);
    return 1;
}

}  // namespace

int CHAIN_offset_region(const RING_header_s* regions, RING_header_s* out, double distance, bool order) {
    MERROW1_REQUIRE_LIST(out, 0);
    if (!CHAIN__input_usable(regions, "CHAIN_offset_region", CHAIN_INPUT_LIST | CHAIN_INPUT_CLOSED)) return 0;
    return offset_region(regions, out, distance, order, offset_plain);
}

int CHAIN_offset_region_pattern(const RING_header_s* regions, RING_header_s* out, double distance, bool order) {
    MERROW1_REQUIRE_LIST(out, 0);
    if (!CHAIN__input_usable(regions, "CHAIN_offset_region_pattern", CHAIN_INPUT_LIST | CHAIN_INPUT_CLOSED)) return 0;
    return offset_region(regions, out, distance, order, CHAIN_offset_pattern);
}

// ---------------------------------------------------------------------------
// Offset of one shape by a constant

RING_header_s* CHAIN_offset_shape_by_constant(CMEM_pool_s* pool, RING_header_s* chain, double offset, double extra,
                                              CORNER_CONTROL corner, SIDE side,
                                              CHAIN_trace_vertex_source_cb_t vsrc_cb,
                                              CHAIN_vertex_source_callback_t merge_cb) {
    // 1. and 2. An offset within 1e-6 of 0 counts as 0.
    constexpr double kZeroOffset = 1e-6;
    if (!chain || !chain->first || !chain->last) return nullptr;
    if (!CHAIN__input_usable(chain, "CHAIN_offset_shape_by_constant", CHAIN_INPUT_FINITE)) return nullptr;
    double d = std::fabs(offset) > kZeroOffset ? offset : 0.0;
    d += extra;
    // 3.
    RING_header_s* result =
        CHAIN_offset(chain, d, corner, side, vsrc_cb, MCHN_trace_vertex_same_ent_ang, merge_cb, pool, nullptr);
    if (!result) return nullptr;
    // 4. Only the growth of a closed outer boundary is looked at.
    const CHAIN_main_data_s* data = main_of(chain);
    if (merrow1::is_island(chain) || !is_closed(chain) || (data && data->kind == TRACE_CHAIN) || !(d > 0))
        return result;
    // 5. A closed result of no clock direction whose start lies outside
    //    the source is no offset of it.
    for (RING_node_s* node : merrow1::ring_nodes(result)) {
        RING_header_s* piece = chain_of(node);
        if (!piece || !is_closed(piece) || piece->count < 2 || main_of(piece)->direction != 0) continue;
        const double* start = merrow1::point_of(piece->first);
        if (ChainPointLocation(chain, start, nullptr) != CHAIN_LOCATION_OUTSIDE) continue;
        MERROW1_NOTE_FAILURE("DUE_TO_UNDEFDIR_OFFSETSHAPE_OUTSIDE_PERIPHSHAPE");
        RING_delete_node(result, node);
    }
    return result;
}

// ---------------------------------------------------------------------------
// Closing open chains and islands into regions

namespace {

const unsigned kBackSideFlag = 0x20000000;
// An island stays with the outer boundary whose Z its own matches within this.
constexpr double kSameZ = 1e-10;

}  // namespace

void CHAIN_closeOpenAndIslandRegions(RING_header_s* set, double /*width: not used*/, bool ignore_z, bool copy) {
    if (!CHAIN__input_usable(set, "CHAIN_closeOpenAndIslandRegions", CHAIN_INPUT_LIST)) return;
    if (!set || set->type != RING_TYPE_LIST) return;
    const RING_header_s* outer = nullptr;
    double outer_z = 0.0;
    RING_node_s* node = set->first;
    // Each step passes one node of the input, and a partner adds one more:
    // twice the count bounds the walk.
    const int bound = 2 * set->count + 1;
    for (int steps = 0; node && set->count > 0; ++steps) {
        if (steps > bound) MERROW1_INFINITE_LOOP();
        RING_node_s* next = node == set->last ? nullptr : node->next;
        RING_header_s* chain = chain_of(node);
        if (!chain || !main_of(chain)) {
            node = next;
            continue;
        }
        if (merrow1::is_periphery(chain)) {
            // 1.
            outer = chain;
            outer_z = CHAIN_ask_z_value(chain);
        } else if (merrow1::is_island(chain)) {
            // 2. An island of the current outer boundary stays as it is.
            const bool held = outer && ChainChainLocation(chain, const_cast<RING_header_s*>(outer), nullptr) !=
                                           CHAIN_LOCATION_OUTSIDE;
            const bool level = ignore_z || std::fabs(CHAIN_ask_z_value(chain) - outer_z) <= kSameZ;
            if (!(held && level)) {
                // 3. Any other island gets a partner with the sides
                //    exchanged and the back-side mark, right after it.
                RING_header_s* partner = CHAIN_copy_no_link(chain, chain->pool, nullptr);
                if (partner) {
                    main_of(partner)->material_side = other_side(main_of(partner)->material_side);
                    for (RING_node_s* vertex : merrow1::ring_nodes(partner))
                        merrow1::vertex_record(vertex)->flags |= kBackSideFlag;
                    RING_insert_after(set, node, partner);
                }
            }
        } else {
            // 4. Open chains, and closed ones without a direction or side.
            if (copy) {
                RING_header_s* fresh = CHAIN_copy_no_link(chain, chain->pool, nullptr);
                if (fresh) {
                    RING_set_node_subring(node, fresh);
                    chain = fresh;
                }
            }
            if (!is_closed(chain)) CHAIN_close_by_reverse(chain, true);
            CHAIN_main_data_s* data = main_of(chain);
            data->direction = data->material_side == RIGHT ? CCW : data->material_side == LEFT ? CW : 0;
        }
        node = next;
    }
}

// ---------------------------------------------------------------------------
// Overlap of two region sets

namespace {

// Whether the chain lies in the region set: inside every closed outer
// boundary (not a trace) and outside every other chain; an answer of "on"
// agrees with either.
bool inside_region_set(const RING_header_s* chain, const RING_header_s* set) {
    for (RING_node_s* node : merrow1::ring_nodes(set)) {
        RING_header_s* other = chain_of(node);
        if (!other) continue;
        const CHAIN_LOCATION want = merrow1::is_closed_pocket(other) ? CHAIN_LOCATION_INSIDE : CHAIN_LOCATION_OUTSIDE;
        const CHAIN_LOCATION where = ChainChainLocation(chain, other, nullptr);
        if (where != CHAIN_LOCATION_ON && where != want) return false;
    }
    return true;
}

}  // namespace

bool CHAIN_regions_overlap(const RING_header_s* a, const RING_header_s* b) {
    if (!CHAIN__input_usable(a, "CHAIN_regions_overlap", CHAIN_INPUT_LIST) ||
        !CHAIN__input_usable(b, "CHAIN_regions_overlap", CHAIN_INPUT_LIST))
        return false;
    if (empty_set(a) || empty_set(b)) return false;
    const std::vector<RING_node_s*> nodes_a = merrow1::ring_nodes(a), nodes_b = merrow1::ring_nodes(b);
    for (RING_node_s* na : nodes_a)
        for (RING_node_s* nb : nodes_b)
            if (chain_of(na) && chain_of(na) == chain_of(nb)) return true;
    for (RING_node_s* na : nodes_a)
        for (RING_node_s* nb : nodes_b)
            if (chain_of(na) && chain_of(nb) && CHAIN_to_chain_has_intersections(chain_of(na), chain_of(nb), nullptr))
                return true;
    return inside_region_set(first_chain_of(a), b) || inside_region_set(first_chain_of(b), a);
}

// ---------------------------------------------------------------------------
// Region offset with fillets, zones and embedding marks

namespace {

const double kNoOffset = 1e-10;
// Open chains are closed back along themselves at a width of 25 or 5 times
// the tolerance plus this, so the width is never nothing.
constexpr double kLeastBackWidth = 2.5e-8;

void set_region_id(const std::vector<RING_header_s*>& chains, int id) {
    for (RING_header_s* chain : chains)
        if (CHAIN_main_data_s* data = main_of(chain)) data->region_set_id = id;
}

// The air regions of the set as a union of zones (the operation word and
// merge callback given), extracted in zone order into `air` (chains made in
// the pool, which must outlive them).
void air_regions_of(RING_header_s* set, unsigned op, CHAIN_vertex_source_callback_t merge, CHAIN_trace_vertex_cb_t trace,
                    CMEM_pool_s* pool, RING_header_s* air) {
    merrow1::Owned<BZONE_map_s, BZONE_destroy_map> zones(BZONE_create_map(pool, 4));
    CHAIN_boolean_regions_to_zones(set, 0, op, merge, trace, nullptr, nullptr, zones.get());
    BZONE_map_apply_zone_boundary_functors(zones.get(), air, CHAIN_zone_order_extract_air_regions, nullptr);
}

// Appends the chain to the owning list out; a chain of the caller's gets a
// reference of its own, so that deleting out leaves it.
void hand_out(RING_header_s* out, RING_header_s* chain, const std::unordered_set<const RING_header_s*>& callers) {
    RING_insert_after(out, out->last, callers.count(chain) ? RING_dup_reference(chain) : chain);
}

// Without an offset the regions are the closed strips made in the call's
// scratch pool, and a fillet that leaves one as it is hands it back itself:
// every chain this call put in out that still lives in that pool is replaced
// by a copy in out's pool before the pool goes.
void adopt_scratch_chains(RING_header_s* out, RING_node_s* before_first, CMEM_pool_s* scratch) {
    for (RING_node_s* node = before_first ? before_first->next : out->first; node;
         node = node == out->last ? nullptr : node->next) {
        RING_header_s* chain = chain_of(node);
        if (!chain || chain->pool != scratch) continue;
        RING_set_node_subring(node, CHAIN_copy_no_link(chain, out->pool, nullptr));
    }
}

}  // namespace

int CHAIN_offset_region_fillet(const RING_header_s* regions, RING_header_s* out, double offset, double fillet,
                               bool corners, const double* corner_a, const double* corner_b, bool fillet_a,
                               bool fillet_b, bool reopen, double embed_factor, bool finish, bool keep_offsets) {
    if (!CHAIN__input_usable(regions, "CHAIN_offset_region_fillet", CHAIN_INPUT_LIST)) return 0;
    // 1. and 2.
    if (!regions || !regions->first || !regions->last || !first_chain_of(regions)) return 1;
    if (!out || out->type != RING_TYPE_LIST) return 0;
    const bool fillet_on = std::fabs(fillet) > EQ_ask_length_tolerance();
    const std::vector<RING_header_s*> inputs = chains_in_order(regions);
    const std::unordered_set<const RING_header_s*> callers(inputs.begin(), inputs.end());
    bool marked_input = false;
    if (reopen)
        for (RING_header_s* chain : inputs)
            marked_input = marked_input || CHAIN_is_closed_back_along_itself(chain);
    // 3.
    const double tol = CHAIN__fillet_tolerance(const_cast<RING_header_s*>(regions));
    RING_node_s* const before_first = out->last;
    return noting_errors(__LINE__, [&]() -> int {
        MERROW1_SCRATCH_POOL(pool, "CHAIN_offset_region_fillet");
        // Every field this call stamps on the caller's chains (through K,
        // which refers to the closed ones) comes back on every exit.
        merrow1::ChainFieldsGuard caller(merrow1::kChainRegionFields);
        for (RING_header_s* chain : inputs) caller.save_if_chain(chain);
        // 4. Open chains closed by an offset back along them; closed ones
        //    are referred to as they are.
        RING_header_s* k = CHAIN_create_boolean_set(pool, nullptr);
        const double width = (corners ? 25 : 5) * tol + kLeastBackWidth;
        const bool closed_any = CHAIN_create_closed_by_offset_reverse(regions, width, k, false);
        for (RING_header_s* chain : chains_in_order(k)) caller.save_if_chain(chain);
        const bool embedding = !closed_any && reopen;
        // 5. and 6. The air regions, in zone order.
        RING_header_s* air = CHAIN_create_boolean_set(pool, nullptr);
        if (!keep_offsets && std::fabs(offset) <= kNoOffset) {
            air = k;
        } else {
            if (!keep_offsets) {
                CHAIN_set_implied_offset_for_set(k, offset, true);
                CHAIN_set_region_set_id_for_set(k, 0);
            }
            air_regions_of(k, CHAIN_BOOLEAN_CARRY_SOURCES, MCHN_merge_implicit_offset_app_data,
                           MCHN_trace_vertex_same_ent_ang, out->pool, air);
            if (keep_offsets) CHAIN_set_region_set_id_for_set(air, 0);
        }
        // 7. Fillets group by group; a group opens at a closed chain with
        //    its material outside.
        if (fillet_on) {
            std::vector<std::vector<RING_header_s*>> groups;
            for (RING_header_s* chain : chains_in_order(air)) {
                if (groups.empty() || merrow1::is_periphery(chain)) groups.emplace_back();
                groups.back().push_back(chain);
            }
            for (const std::vector<RING_header_s*>& chains : groups) {
                RING_header_s* group = CHAIN_create_boolean_set(pool, nullptr);
                for (RING_header_s* chain : chains) RING_insert_after(group, group->last, chain);
                if (corners) {
                    const int answer = CHAIN_fillet_corners_region(group, fillet, corner_a, corner_b, fillet_a, fillet_b);
                    if (answer != 1) return answer;
                    for (RING_header_s* chain : chains_in_order(group)) hand_out(out, chain, callers);
                    continue;
                }
                RING_header_s* filleted = RING_create_in_pool(nullptr, RING_TYPE_LIST, out->pool);
                const int answer = CHAIN_fillet_region(group, fillet, fillet_a, fillet_b, filleted);
                if (answer != 1) return answer;
                const std::vector<RING_header_s*> made = chains_in_order(filleted);
                set_region_id(made, 0);
                set_region_id(chains, 1);
                int group_id = 1;
                for (RING_header_s* chain : made) {
                    if (std::find(chains.begin(), chains.end(), chain) != chains.end())
                        main_of(chain)->region_set_id = 0;
                    else
                        CHAIN_remove_intermediate_source(chain, &group_id);
                }
                // out takes over what the fillet's list held.
                for (RING_node_s* node : merrow1::ring_nodes(filleted)) {
                    if (RING_header_s* chain = chain_of(node)) {
                        RING_set_node_subring(node, nullptr);
                        RING_insert_after(out, out->last, chain);
                    }
                }
                RING_delete(filleted);
            }
        } else {
            for (RING_header_s* chain : chains_in_order(air)) hand_out(out, chain, callers);
        }
        // 8. Results of the closed open chains cut back open.
        if (closed_any) {
            // Reopening keeps the runs of vertices on their source: the new
            // vertices first take over the source description that their
            // former source vertices name.
            for (RING_node_s* node = before_first ? before_first->next : out->first; node;
                 node = node == out->last ? nullptr : node->next)
                if (RING_header_s* chain = chain_of(node); chain && !callers.count(chain))
                    CHAIN__take_former_sources(chain);
            // The reopening puts an input chain in place of the region it
            // was closed into (with no offset, those regions are the
            // results): such a node gets a reference of its own, as every
            // caller's chain in out has, so deleting out leaves the input.
            std::unordered_set<const RING_node_s*> holding;
            for (RING_node_s* node = before_first ? before_first->next : out->first; node;
                 node = node == out->last ? nullptr : node->next)
                if (callers.count(chain_of(node))) holding.insert(node);
            CHAIN_open_closed_by_offset_reverse(regions, k, out);
            for (RING_node_s* node = before_first ? before_first->next : out->first; node;
                 node = node == out->last ? nullptr : node->next)
                if (RING_header_s* chain = chain_of(node); callers.count(chain) && !holding.count(node))
                    RING_dup_reference(chain);
            CHAIN_set_region_set_id_for_set(k, 2);
            set_region_id(inputs, 1);
            int closed_id = 2;
            CHAIN_remove_intermediate_source(out, &closed_id);
        }
        // 9. Embedding marks of the input in the result.
        if (embedding) {
            double along = offset;
            if (keep_offsets)
                for (RING_header_s* chain : inputs)
                    if (main_of(chain)->use_implied_offset & CHAIN_IMPLIED_OFFSET_IN_FORCE) {
                        along = main_of(chain)->implied_offset;
                        break;
                    }
            CHAIN_mark_embedded_path(const_cast<RING_header_s*>(regions), out, along, along * embed_factor,
                                     marked_input, pool);
        }
        // 10. and 11.
        if (!received(out, before_first) || !finish) {
            adopt_scratch_chains(out, before_first, pool);
            return 1;
        }
        if (closed_any) {
            CHAIN_order_regions(out);
            adopt_scratch_chains(out, before_first, pool);
            return 1;
        }
        // The regions this call made are united once more into zones and
        // come back in zone order, each closed outer boundary marked as a
        // group start.
        RING_header_s* again = CHAIN_create_boolean_set(pool, nullptr);
        std::vector<RING_node_s*> made;
        for (RING_node_s* node = before_first ? before_first->next : out->first; node;
             node = node == out->last ? nullptr : node->next)
            made.push_back(node);
        for (RING_node_s* node : made) {
            RING_header_s* chain = chain_of(node);
            // The node lets go; a caller's chain loses the reference out held.
            RING_set_node_subring(node, nullptr);
            RING_delete_node(out, node);
            if (!chain) continue;
            if (callers.count(chain)) RING_delete(chain);
            CHAIN_append_region_set(again, chain, 0, 0, 0.0, false, false);
        }
        air_regions_of(again, CHAIN_BOOLEAN_CARRY_SOURCES | CHAIN_BOOLEAN_SECOND_OUTPUT,
                       MCHN_merge_segment_app_data_and_split_vertex_data, nullptr, out->pool, out);
        for (RING_node_s* node : merrow1::ring_nodes(out)) {
            RING_header_s* chain = chain_of(node);
            if (chain && merrow1::is_periphery(chain) && !callers.count(chain))
                RING_put_node_app_data(out, node, APP_DATA_REGION_ORDER_MARK, node);
        }
        return 1;
    });
}

