// Region booleans of chains on poly-segment sets: the chain side of the
// polygon-set intersection.
//
// A call converts the chains of its input into poly-segment sets (one set per
// region-set id), optionally offsets every segment, puts everything on one
// integer grid, lets a polygon-set intersection object form the union or the
// intersection of the region sets, and converts the resulting polys back into
// chains in the caller's list.  All scratch data lives in one private pool and
// in the object's own pool; both go on every exit.  What the call stamps on
// the caller's chains (region-set ids, implied offsets, flag bits) is put
// back by guards, so an error leaves the chains as they came.
#include <merrow1/chain_poly_seg.h>

#include "chain/chain_record.h"
#include "chain/chain_check.h"
#include "chain/chain_fields_guard.h"
#include "chain/chain_readings.h"
#include "chainops/chain_2.h"
#include "chainops/chain_backtrack.h"
#include "chainops/chain_poly_seg_internal.h"
#include "polyset/psi_set.h"
#include "polyset/psi_set_minimal.h"
#include "internal/owned.h"
#include "internal/ring_check.h"
#include "internal/scratch_pool.h"
#include "internal/ring_nodes.h"

#include <merrow1/chain.h>
#include <merrow1/PolySegPoint.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_trace.h>
#include <merrow1/dynamic_array.h>
#include <merrow1/chain_set.h>
#include <merrow1/int_grid_map.h>
#include <merrow1/poly_intxn.h>
#include <merrow1/poly_intxn_chain.h>
#include <merrow1/poly_seg.h>
#include <merrow1/poly_seg_chain.h>
#include <merrow1/poly_seg_grid.h>
#include <merrow1/poly_seg_offset.h>
#include <merrow1/psi.h>

#include <pellam/mchn_segment.h>
#include <quorn/quorn.h>
#include <stend/error.h>
#include <velte/cerr.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

const char* const kFile = "chain_poly_seg";

// Chain debug report codes of the start and end of an entry.
const int kDebugStart = 4;
const int kDebugEnd = 7;

// Flag bits of use_implied_offset.
const int kImpliedOffsetInForce = 1;
const int kNoCircle = 4;

using merrow1::arc_of;
using merrow1::chains_of;
using merrow1::is_closed;
using merrow1::main_of;
using merrow1::point_of;
using merrow1::vertex_record;

using merrow1::ring_nodes;

// The first chain of the list, skipping nodes without one (as chains_of).
RING_header_s* first_chain(const RING_header_s* list) {
    if (!list) return nullptr;
    RING_node_s* node = list->first;
    for (int i = 0; node && i < list->count; ++i, node = node->next)
        if (RING_header_s* chain = RING_ask_node_subring(node)) return chain;
    return nullptr;
}

bool is_island(const RING_header_s* chain) {
    const CHAIN_main_data_s* md = main_of(chain);
    if (!md) return false;
    return (md->direction == CW && md->material_side == RIGHT) || (md->direction == CCW && md->material_side == LEFT);
}

const CHAIN_app_poly_seg_chain_source_s* source_of(const RING_node_s* node) {
    return node ? static_cast<const CHAIN_app_poly_seg_chain_source_s*>(
                      APP_DATA__ask_app_data(node->app_data, POLY_SEG_KEY_CHAIN_SOURCE))
                : nullptr;
}

using OwnedPsi = merrow1::Owned<PSI_s, PSI_destroy>;

// Numbers the chains of a set by their position (1 for the first) for the
// length of a call; the guard saved each chain's id first and puts the ids
// back on every exit (a chain that appears twice ends with the id it came
// with).
void renumber_by_position(merrow1::ChainFieldsGuard& ids, const RING_header_s* set) {
    int position = 0;
    for (RING_header_s* chain : chains_of(set))
        if (main_of(chain)) ids.stamp_region_set_id(chain, ++position);
}

// A chain list that only refers to its chains: deleting it leaves them alone.
RING_header_s* referring_list(CMEM_pool_s* pool, RING_header_s* chain) {
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_set_sub_ring_delfunc(list, nullptr);
    if (chain) RING_insert_after(list, list->last, chain);
    return list;
}

// ---------------------------------------------------------------------------
// Offset adapters: the poly offset asks per piece; the caller's callbacks
// answer per chain vertex, found through the piece's source reference.
// ---------------------------------------------------------------------------

struct OffsetAdapter {
    POLY_SEG_offset_value_cb_t offset_cb;
    void* data;
    CHAIN_trace_vertex_cb_t trace_cb;
};

const CHAIN_app_poly_seg_chain_source_s* required_source(const RING_node_s* node) {
    const CHAIN_app_poly_seg_chain_source_s* ref = source_of(node);
    if (!ref || !ref->chain) ERROR_internal(kFile, __LINE__, "No app data during offsetting.");
    return ref;
}

double piece_offset(RING_header_s*, RING_header_s*, RING_node_s* node, void* data) {
    const OffsetAdapter* adapter = static_cast<const OffsetAdapter*>(data);
    const CHAIN_app_poly_seg_chain_source_s* ref = required_source(node);
    return adapter->offset_cb(ref->chain, ref->vertex, adapter->data);
}

// Corner kind at the vertex that ends the piece.  A chain with material RIGHT
// is walked backward, so its piece ends at the vertex before the source one.
POLY_SEG_corner_offset_type_t piece_corner(RING_header_s*, RING_header_s* poly, RING_node_s* node, void* data) {
    const POLY_SEG_header_s* header = POLY_SEG_ask_header(poly);
    if (header && header->do_tan_corner_ext) return POLY_SEG_CORNER_OFFSET_TAN_EXT;
    const OffsetAdapter* adapter = static_cast<const OffsetAdapter*>(data);
    const CHAIN_app_poly_seg_chain_source_s* ref = required_source(node);
    const RING_node_s* vertex = ref->vertex;
    const CHAIN_main_data_s* md = main_of(ref->chain);
    if (md && md->material_side == RIGHT && vertex && vertex->previous) vertex = vertex->previous;
    const CHAIN_trace_vertex_t answer = adapter->trace_cb(ref->chain, vertex);
    return answer == CHAIN_TRACE_VERTEX_EXTEND_LIMITED || answer == CHAIN_TRACE_VERTEX_EXTEND
               ? POLY_SEG_CORNER_OFFSET_TAN_EXT
               : POLY_SEG_CORNER_OFFSET_DEFAULT;
}

// ---------------------------------------------------------------------------
// The common front of the booleans: region sets, offsets, grid.
// ---------------------------------------------------------------------------

struct BooleanInput {
    RING_header_s* set;
    unsigned op;
    CHAIN_trace_vertex_cb_t trace_cb;
    POLY_SEG_offset_value_cb_t offset_cb;
    void* data;
};

struct Prepared {
    RING_header_s* sets = nullptr;  // region sets, on the grid after step 11
    int set_count = 0;
    int* material = nullptr;        // one MaterialAtInfinity per region set
    bool copied = false;
    bool has_offset = false;        // dummy covers of offsets are needed
    bool max_found = false;
    double max_offset = 0.0;
    bool offset_done = false;
    INT_GRID_MAP_s* grid = nullptr;
    double tolerance = 0.0;
    double rounding = 0.0;
    OffsetAdapter adapter{nullptr, nullptr, nullptr};
};

// Steps 5 to 11 of a region boolean.  False when the conversion gave no
// region sets (the call then ends quietly).  `material_in` may be null.
bool prepare_region_sets(const BooleanInput& in, CMEM_pool_s* pool, PSI_s* psi, merrow1::ChainFieldsGuard& ids,
                         const Korvo::Cam::MaterialAtInfinity* material_in, Prepared& p) {
    const bool carry = (in.op & CHAIN_BOOLEAN_CARRY_SOURCES) != 0;
    // 5. One poly-segment set per region-set id; sources are kept whenever a
    //    callback will need them.
    const bool keep_sources = carry || in.offset_cb || in.trace_cb;
    p.sets = POLY_SEG_create_set_from_chain_set(in.set, pool, keep_sources, nullptr);
    if (!p.sets) return false;
    p.set_count = static_cast<int>(ring_nodes(p.sets).size());

    // 6. Tolerance; the chains are numbered by position for the output order.
    p.tolerance = CHAIN_ask_set_tolerance(in.set);
    renumber_by_position(ids, in.set);

    // 7. An un-offset copy for the material-at-infinity preparation.
    RING_header_s* prepared = p.sets;
    if (carry && !(in.op & CHAIN_BOOLEAN_NO_UNOFFSET_COPY)) {
        prepared = POLY_SEG_copy_set(p.sets, pool, POLY_SEG_copy_chain_source_ref);
        p.copied = true;
    }

    // 8. Material at infinity of each region set: given entries stay, the
    //    others (2) are worked out on the geometry before any offset.
    if (p.set_count > 0) {
        p.material = CMEM_NEW_ARRAY(pool, int, p.set_count);
        for (int i = 0; i < p.set_count; ++i)
            p.material[i] = material_in ? material_in[i] : Korvo::Cam::MaterialAtInfinityUndetermined;
    }
    PSI_method<PSI_set_calc_inf_for_offsets_fn>(psi, PSI_SLOT_SET_CALC_INF_FOR_OFFSETS)(
        psi, pool, prepared, in.offset_cb != nullptr, p.copied, &p.material);

    // 9. Dummy covers and the largest offset.
    p.has_offset = in.offset_cb && (in.trace_cb || POLY_SEG_set_of_sets_needs_full_dummy_covers(p.sets));
    p.max_found = POLY_SEG_get_set_of_sets_max_offset(p.sets, &p.max_offset);

    // 10. Every poly offset by its own distance (per piece through the
    //     callbacks when given).
    p.adapter = OffsetAdapter{in.offset_cb, in.data, in.trace_cb};
    const bool closing = !in.offset_cb && !(in.op & CHAIN_BOOLEAN_NO_IMPLIED_OFFSET);
    p.offset_done = POLY_SEG_offset_set_of_sets(p.sets, carry ? POLY_SEG_copy_chain_source_ref : nullptr,
                                                in.offset_cb ? piece_offset : nullptr, &p.adapter,
                                                in.trace_cb ? piece_corner : nullptr, &p.adapter, closing);

    // 11. One grid for all sets; the result tolerance grows by the rounding.
    p.grid = POLY_SEG_put_set_of_sets_to_grid(p.sets, nullptr, p.copied, nullptr,
                                              carry ? POLY_SEG_copy_chain_source_ref : nullptr,
                                              p.has_offset ? p.max_offset : 0.0);
    p.rounding = POLY_SEG_get_set_of_sets_rounding_tol(p.sets);
    p.tolerance += p.copied ? 2 * p.rounding : p.rounding;
    return true;
}

// What both region-boolean entries hold for one call: the intersection
// object, the renumbered region-set ids, the merge callback (the boolean's
// own when sources are carried and none is given) and the prepared sets.
// The ids go back before the object is destroyed.
// Size hint of the intersection object of a region boolean: the object holds
// a node at the start of every piece and one or more at each crossing, so
// twice the chains' vertices is a fair first size of its node array.
int node_hint(const RING_header_s* set) {
    long vertices = 0;
    for (RING_node_s* node : ring_nodes(set)) {
        const RING_header_s* chain = RING_ask_node_subring(node);
        if (chain && chain->count > 0) vertices += chain->count;
    }
    return static_cast<int>(std::min(2 * vertices + 16, 1L << 16));
}

struct RegionBoolean {
    RegionBoolean(unsigned op_, bool extended, CHAIN_vertex_source_callback_t merge_cb, int size_hint)
        : op(op_),
          carry((op_ & CHAIN_BOOLEAN_CARRY_SOURCES) != 0),
          psi(PSI_create(size_hint, true, extended, carry ? POLY_SEG_copy_chain_source_ref : nullptr, nullptr)),
          merge(merge_cb ? merge_cb : carry ? CHAIN_boolean_merge : nullptr) {}

    bool prepare(const BooleanInput& in, CMEM_pool_s* pool, const Korvo::Cam::MaterialAtInfinity* mai) {
        return prepare_region_sets(in, pool, psi.get(), ids, mai, p);
    }
    // The union (op bit 0 clear) or intersection into the output record.
    void run(PSI_set_output_s* output) {
        PSI_method<PSI_set_boolean_fn>(psi.get(), PSI_SLOT_SET_BOOLEAN)(
            psi.get(), p.sets, p.material, !(op & CHAIN_BOOLEAN_INTERSECT), true, true,
            p.has_offset ? POLY_SEG_dummy_src_eval_using_point_data : nullptr, false, output);
    }
    // The same, deleting the prepared sets once the boolean has cleaned
    // copies of them (p.sets is then null): the result loops, stored at the
    // boolean's peak, reuse their records in the pool.
    void run_releasing_sets(PSI_set_output_s* output) {
        PSI__set_boolean_releasing_sets(psi.get(), &p.sets, p.material, !(op & CHAIN_BOOLEAN_INTERSECT), true, true,
                                        p.has_offset ? POLY_SEG_dummy_src_eval_using_point_data : nullptr, false,
                                        output);
    }
    POLY_SEG_copy_cb_t source_copier() const { return carry ? POLY_SEG_copy_chain_source_ref : nullptr; }

    const unsigned op;
    const bool carry;
    OwnedPsi psi;
    merrow1::ChainFieldsGuard ids{merrow1::kChainFieldRegionSetId};
    const CHAIN_vertex_source_callback_t merge;
    Prepared p;
};

// Limits of the small closed loops after an offset: perimeter 0.007 g and
// area-to-perimeter ratio 3e-6 g, g the largest offset in grid cells.
constexpr double kSmallLoopPerimeter = 0.007, kSmallLoopAreaRatio = 3e-6;  // per grid cell of offset
void offset_loop_limits(const Prepared& p, double limits[2]) {
    const double cell = p.grid ? INT_GRID_MAP__get_grid_size(p.grid, 0) : 0.0;
    const double g = cell > 0 ? p.max_offset / cell : 0.0;
    limits[0] = kSmallLoopPerimeter * g;
    limits[1] = kSmallLoopAreaRatio * g;
}

SIDE side_or_first(SIDE side, const RING_header_s* set) {
    if (side != 0) return side;
    const CHAIN_main_data_s* md = main_of(first_chain(set));
    return md ? md->material_side : 0;
}

const CSYS* csys_of_first(const RING_header_s* set) {
    const CHAIN_main_data_s* md = main_of(first_chain(set));
    return md ? &md->csys : nullptr;
}

// The boundaries of a zone in list order.  Each boundary sits once in the
// list of each of its zones, so meeting one again means a broken list.
std::vector<BZONE_boundary_s*> boundaries_of(const BZONE_s* zone) {
    std::vector<BZONE_boundary_s*> out;
    std::unordered_set<const BZONE_boundary_s*> seen;
    for (BZONE_boundary_s* b = zone->first_boundary; b; b = b->next[zone->value]) {
        if (!seen.insert(b).second) ERROR_internal(kFile, __LINE__, "Zone boundary list does not end.");
        out.push_back(b);
    }
    return out;
}

bool empty_set(const RING_header_s* set) { return !set || !set->first || set->count <= 0; }

}  // namespace

CHAIN_proc_app_data_spec_e CHAIN__boolean_output_spec(unsigned op, bool has_offset_cb, bool offset_done) {
    if (!(op & CHAIN_BOOLEAN_CARRY_SOURCES)) return CHAIN_PROC_APP_DATA_GEOMETRY;
    if (has_offset_cb) return CHAIN_PROC_APP_DATA_SOURCES;
    if (op & CHAIN_BOOLEAN_SECOND_OUTPUT) return static_cast<CHAIN_proc_app_data_spec_e>(offset_done ? 5 : 9);
    return static_cast<CHAIN_proc_app_data_spec_e>(offset_done ? 7 : 11);
}

// ---------------------------------------------------------------------------
// CHAIN_boolean_regions
// ---------------------------------------------------------------------------

int CHAIN_boolean_regions(RING_header_s* set, SIDE side, unsigned op, CHAIN_vertex_source_callback_t merge_cb,
                          CHAIN_trace_vertex_cb_t trace_cb, POLY_SEG_offset_value_cb_t offset_cb, void* data,
                          Korvo::Cam::MaterialAtInfinity* mai, RING_header_s* out) {
    // 1. Sets and output are lists; start report.
    MERROW1_REQUIRE_LIST(set, 0);
    MERROW1_REQUIRE_LIST(out, 0);
    if (!CHAIN__input_usable(set, "CHAIN_boolean_regions", CHAIN_INPUT_CLOSED)) return 0;
    CHAIN_debug_report(kDebugStart, "CHAIN_boolean_regions -- Start", set, nullptr);
    // 2. Nothing to do.
    if (empty_set(set)) {
        CERR__set_error_code(0);
        return 1;
    }
    merrow1::run_converting([&]() {
        // 3. Scratch pool and the intersection object.
        MERROW1_SCRATCH_POOL(pool, "CHAIN_boolean_regions");
        // 4. Sources carried: the boolean's own merge by default.
        RegionBoolean b(op, false, merge_cb, node_hint(set));
        const Prepared& p = b.p;

        // 5-11. Region sets, offsets, grid.
        if (!b.prepare(BooleanInput{set, op, trace_cb, offset_cb, data}, pool, mai)) return;

        // 12. The boolean into a poly-segment set of the pool.
        RING_header_s* result = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
        PSI_set_output_s output{result, Korvo::Cam::MaterialAtInfinityUndetermined, PSI_SET_OUTPUT_POLYS,
                                PSI_SET_OUTPUT_SET, b.source_copier()};
        b.run_releasing_sets(&output);
        // The caller's array receives the values worked out.
        if (mai && p.material)
            for (int i = 0; i < p.set_count; ++i) mai[i] = static_cast<Korvo::Cam::MaterialAtInfinity>(p.material[i]);
        b.psi.reset();

        // 13. Small closed loops, back to reals, short inserted connectors.
        double limits[2];
        offset_loop_limits(p, limits);
        POLY_SEG_remove_small_closed_loops(result, p.max_found ? limits : nullptr);
        POLY_SEG_get_set_from_grid(result);
        POLY_SEG_remove_inserts(result, p.rounding);

        // 14. Back to chains in the caller's list.
        POLY_SEG_create_chain_set(result, csys_of_first(set), CHAIN__boolean_output_spec(op, offset_cb, p.offset_done),
                                  b.merge, nullptr, nullptr, p.tolerance, side_or_first(side, set),
                                  offset_cb != nullptr, offset_cb, data, out);
        if (p.grid) INT_GRID_MAP__destroy(p.grid);
        // 15. Ids, object and pool go with the guards.
    });
    CHAIN_debug_report(kDebugEnd, "CHAIN_boolean_regions -- End", out, nullptr);
    CERR__set_error_code(0);
    return 1;
}

int CHAIN_union_regions(RING_header_s* set, SIDE side, bool carry, CHAIN_vertex_source_callback_t merge_cb,
                        POLY_SEG_offset_value_cb_t offset_cb, void* data, RING_header_s* out) {
    if (!CHAIN__input_usable(set, "CHAIN_union_regions", CHAIN_INPUT_CLOSED)) return 0;
    const int done = CHAIN_boolean_regions(set, side, carry ? CHAIN_BOOLEAN_CARRY_SOURCES : 0u, merge_cb, nullptr,
                                           offset_cb, data, nullptr, out);
    CERR__set_error_code(0);
    return done;
}

int CHAIN_intersect_regions(RING_header_s* set, SIDE side, bool carry, CHAIN_vertex_source_callback_t merge_cb,
                            RING_header_s* out) {
    if (!CHAIN__input_usable(set, "CHAIN_intersect_regions", CHAIN_INPUT_CLOSED)) return 0;
    const unsigned op = CHAIN_BOOLEAN_INTERSECT | (carry ? CHAIN_BOOLEAN_CARRY_SOURCES : 0u);
    const int done = CHAIN_boolean_regions(set, side, op, merge_cb, nullptr, nullptr, nullptr, nullptr, out);
    CERR__set_error_code(0);
    return done;
}

// ---------------------------------------------------------------------------
// CHAIN_boolean_regions_to_zones
// ---------------------------------------------------------------------------

namespace {

struct ZoneOrder {
    int region;
    double position;
};

struct ZoneContext {
    const CSYS* csys;
    CMEM_pool_s* pool;                 // the map's pool: the chains live there
    CHAIN_proc_app_data_spec_e spec;
    CHAIN_vertex_source_callback_t merge;
    double tolerance;
    double max_offset;
    const double* limits;              // small-loop limits, null for the defaults
    SIDE side;
    const INT_GRID_MAP_s* grid;
    POLY_SEG_offset_value_cb_t offset_cb;
    void* data;
    std::unordered_map<const BZONE_boundary_s*, ZoneOrder> order;
};

// Turns the intersection loop of a boundary into a chain of the map's pool:
// a small loop is freed and leaves the boundary inactive, a chain of fewer
// than two vertices is deleted, any other chain becomes the boundary's curve.
void convert_boundary(ZoneContext& ctx, BZONE_boundary_s* boundary) {
    if (boundary->curve.type != BZONE_CURVE_POLY_INTXN || boundary->curve.next != &boundary->curve) return;
    POLY_INTXN_s* loop = static_cast<POLY_INTXN_s*>(boundary->curve.representation);
    if (!loop) return;
    const double* limit = ctx.limits ? &ctx.limits[0] : nullptr;
    const double* ratio = ctx.limits ? &ctx.limits[1] : nullptr;
    if (POLY_INTXN_is_small_closed_loop(loop, limit, ratio)) {
        BZONE_boundary_free_rep(boundary);
        return;
    }
    POLY_SEG_output_order_data_s order{0, 0, 0.0};
    RING_header_s* chain = POLY_INTXN_create_chain(loop, ctx.grid, ctx.csys, ctx.pool, ctx.spec, ctx.merge,
                                                   ctx.tolerance, ctx.side, ctx.offset_cb != nullptr, false,
                                                   ctx.spec != 0 ? &order : nullptr, nullptr, nullptr,
                                                   ctx.offset_cb, ctx.data);
    BZONE_boundary_free_rep(boundary);
    if (!chain) return;
    if (chain->count < 2) {
        RING_delete(chain);
        return;
    }
    BZONE_map_create_boundary_curve(ctx.pool, boundary, nullptr, chain, BZONE_CURVE_RING);
    if (ctx.spec != 0) ctx.order[boundary] = ZoneOrder{order.region, order.position};
}

// Sorts the zone's boundary list by the order records of their chains,
// ascending; equal ones keep their order, and boundaries without a record
// stay in front in their order.
void sort_zone_boundaries(ZoneContext& ctx, BZONE_s* zone) {
    const int v = zone->value;
    std::vector<BZONE_boundary_s*> list = boundaries_of(zone);
    auto key = [&](const BZONE_boundary_s* b, ZoneOrder* o) {
        auto it = ctx.order.find(b);
        if (it == ctx.order.end()) return false;
        *o = it->second;
        return true;
    };
    std::stable_sort(list.begin(), list.end(), [&](const BZONE_boundary_s* a, const BZONE_boundary_s* b) {
        ZoneOrder oa{0, 0}, ob{0, 0};
        const bool ha = key(a, &oa), hb = key(b, &ob);
        if (ha != hb) return !ha;
        if (!ha) return false;
        if (oa.region != ob.region) return oa.region < ob.region;
        return oa.position < ob.position;
    });
    zone->first_boundary = list.empty() ? nullptr : list.front();
    for (size_t i = 0; i < list.size(); ++i) list[i]->next[v] = i + 1 < list.size() ? list[i + 1] : nullptr;
}

// Every boundary of the map is converted, also those behind a boundary that
// a small loop left inactive, so that no loop outlives the intersection
// object whose network it walks.
void convert_map(ZoneContext& ctx, BZONE_map_s* map) {
    for (int i = 0; i < map->boundaries->num_active; ++i) {
        CERR_raise_on_abort();
        convert_boundary(ctx, static_cast<BZONE_boundary_s*>(DYNAMIC_ARRAY_element_at(map->boundaries, i)));
    }
    if (ctx.spec == 0) return;
    for (int i = 0; i < map->zones->num_active; ++i) {
        BZONE_s* zone = static_cast<BZONE_s*>(DYNAMIC_ARRAY_element_at(map->zones, i));
        if (!zone->merged_into) sort_zone_boundaries(ctx, zone);
    }
}

}  // namespace

int CHAIN_boolean_regions_to_zones(RING_header_s* set, SIDE side, unsigned op,
                                   CHAIN_vertex_source_callback_t merge_cb, CHAIN_trace_vertex_cb_t trace_cb,
                                   POLY_SEG_offset_value_cb_t offset_cb, void* data, BZONE_map_s* map) {
    MERROW1_REQUIRE_LIST(set, 0);
    if (!CHAIN__input_usable(set, "CHAIN_boolean_regions_to_zones", CHAIN_INPUT_CLOSED)) return 0;
    CHAIN_debug_report(kDebugStart, "CHAIN_boolean_regions_to_zones -- Start", set, nullptr);
    if (empty_set(set) || !map) {
        CERR__set_error_code(0);
        return 1;
    }
    merrow1::run_converting([&]() {
        MERROW1_SCRATCH_POOL(pool, "CHAIN_boolean_regions_to_zones");
        RegionBoolean b(op, true, merge_cb, node_hint(set));
        const Prepared& p = b.p;
        if (!b.prepare(BooleanInput{set, op, trace_cb, offset_cb, data}, pool, nullptr)) return;
        // 1. The boolean writes intersection loops on the boundaries of the map.
        PSI_set_output_s output{map, Korvo::Cam::MaterialAtInfinityUndetermined, PSI_SET_OUTPUT_LOOPS,
                                PSI_SET_OUTPUT_ZONES, b.source_copier()};
        b.run(&output);
        // 2. The loops become chains while the network they walk still exists.
        double limits[2];
        offset_loop_limits(p, limits);
        ZoneContext ctx{csys_of_first(set),
                        map->pool,
                        CHAIN__boolean_output_spec(op, offset_cb, p.offset_done),
                        b.merge,
                        p.tolerance,
                        p.max_offset,
                        p.max_offset > 0 ? limits : nullptr,
                        side_or_first(side, set),
                        p.grid,
                        offset_cb,
                        data,
                        {}};
        convert_map(ctx, map);
        // 3. Ids, object and pool go with the guards.
        b.psi.reset();
        if (p.grid) INT_GRID_MAP__destroy(p.grid);
    });
    CERR__set_error_code(0);
    return 1;
}

// ---------------------------------------------------------------------------
// Zone-order extraction
// ---------------------------------------------------------------------------

namespace {

RING_header_s* boundary_chain(const BZONE_boundary_s* boundary) {
    if (boundary->curve.type != BZONE_CURVE_RING) return nullptr;
    return static_cast<RING_header_s*>(boundary->curve.representation);
}

// Appends the boundary's chain to the list and clears it from the boundary,
// which stays active so that walks still cross it.
void take_chain(RING_header_s* list, BZONE_boundary_s* boundary) {
    RING_header_s* chain = boundary_chain(boundary);
    if (!chain) return;
    RING_insert_after(list, list->last, chain);
    boundary->curve.representation = nullptr;
}


bool closed_island(const RING_header_s* chain) { return is_closed(chain) && is_island(chain); }

}  // namespace

void CHAIN__zone_take_chains_in_order(RING_header_s* out, BZONE_s* zone) {
    const std::vector<BZONE_boundary_s*> bs = boundaries_of(zone);
    for (BZONE_boundary_s* b : bs) {
        const RING_header_s* chain = boundary_chain(b);
        if (chain && !closed_island(chain)) {
            take_chain(out, b);
            break;
        }
    }
    for (BZONE_boundary_s* b : bs) {
        const RING_header_s* chain = boundary_chain(b);
        if (chain && closed_island(chain)) take_chain(out, b);
    }
}

void CHAIN_zone_order_extract_air_regions(void* list, BZONE_s* zone, BZONE_s*) {
    RING_header_s* out = static_cast<RING_header_s*>(list);
    if (!out || !zone || zone->value != 0) return;
    CHAIN__zone_take_chains_in_order(out, zone);
}

void CHAIN_zone_order_extract_material_regions(void* list, BZONE_s* zone, BZONE_s*) {
    RING_header_s* out = static_cast<RING_header_s*>(list);
    if (!out || !zone || zone->value != 1) return;
    const std::vector<BZONE_boundary_s*> bs = boundaries_of(zone);
    for (BZONE_boundary_s* b : bs) {
        const RING_header_s* chain = boundary_chain(b);
        if (chain && closed_island(chain)) {
            take_chain(out, b);
            break;
        }
    }
    for (BZONE_boundary_s* b : bs)
        if (boundary_chain(b)) take_chain(out, b);
}

// ---------------------------------------------------------------------------
// Offset values, slivers
// ---------------------------------------------------------------------------

double CHAIN_offset_value_cb(RING_header_s* chain, RING_node_s* vertex, void* values) {
    const double* v = static_cast<const double*>(values);
    switch (MCHN_ask_segment_geom_type(chain, vertex)) {
    case 1:
        return v[0];
    case 4:
        return v[1];
    case 2:
        return v[2];
    case 3:
        return v[3];
    default: {
        const CHAIN_main_data_s* md = main_of(chain);
        return md && (md->use_implied_offset & kImpliedOffsetInForce) ? md->implied_offset : 0.0;
    }
    }
}

bool CHAIN_is_sliver(RING_header_s* chain, double width, CMEM_pool_s* pool) {
    if (!is_closed(chain) || chain->count <= 0) return true;
    RING_header_s* input = referring_list(pool, chain);
    RING_header_s* result = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    bool sliver = false;
    try {
        // The chain is offset into its material by half the width.
        merrow1::ChainFieldsGuard saved(merrow1::kChainFieldImpliedOffset);
        saved.save(chain);
        CHAIN_main_data_s* md = main_of(chain);
        md->use_implied_offset = kImpliedOffsetInForce;
        md->implied_offset = is_island(chain) ? -width / 2 : width / 2;
        CHAIN_union_regions(input, LEFT, false, nullptr, nullptr, nullptr, result);
        sliver = result->count == 0;
    } catch (...) {
        RING_delete(result);
        RING_delete(input);
        throw;
    }
    RING_delete(result);
    RING_delete(input);
    return sliver;
}

bool CHAIN_is_sliver(RING_header_s* chain, POLY_SEG_offset_value_cb_t offset_cb, void* data, CMEM_pool_s* pool) {
    if (!is_closed(chain) || chain->count <= 0) return true;
    RING_header_s* input = referring_list(pool, chain);
    RING_header_s* result = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    CHAIN_main_data_s* md = main_of(chain);
    // The no-circle flag goes back to what it was, on every exit.
    const int no_circle_before = md->use_implied_offset & kNoCircle;
    struct FlagBack {
        CHAIN_main_data_s* md;
        int bit;
        ~FlagBack() { md->use_implied_offset = (md->use_implied_offset & ~kNoCircle) | bit; }
    };
    bool sliver = false;
    try {
        FlagBack back{md, no_circle_before};
        md->use_implied_offset |= kNoCircle;
        CHAIN_boolean_regions(input, LEFT, CHAIN_BOOLEAN_CARRY_SOURCES | CHAIN_BOOLEAN_NO_UNOFFSET_COPY, nullptr,
                              nullptr, offset_cb, data, nullptr, result);
        sliver = result->count == 0;
    } catch (...) {
        RING_delete(result);
        RING_delete(input);
        throw;
    }
    RING_delete(result);
    RING_delete(input);
    return sliver;
}

// A region of fewer than 11 vertices is a sliver when its absolute area is
// not above this, unless the caller gives its own least area.
constexpr double kSliverArea = 2e-10;

bool CHAIN_clean_sliver_regions(RING_header_s* set, const double* min_area) {
    MERROW1_REQUIRE_LIST(set, false);
    if (empty_set(set)) return false;
    const double threshold = min_area ? *min_area : kSliverArea;
    bool removed = false;
    for (RING_node_s* node : ring_nodes(set)) {
        RING_header_s* chain = RING_ask_node_subring(node);
        if (!chain || chain->count >= 11) continue;
        double centroid[2];
        if (std::fabs(CHAIN_chainArea_chainCentroid(chain, centroid)) > threshold) continue;
        RING_disconnect_node(set, node);
        removed = true;
    }
    return removed;
}

// ---------------------------------------------------------------------------
// Small self-loops of one chain
// ---------------------------------------------------------------------------

RING_header_s* CHAIN_RemoveSmallLoops(RING_header_s* chain, CHAIN_vertex_source_callback_t merge_cb) {
    if (!chain) return nullptr;
    CHAIN_debug_report(kDebugStart, "CHAIN_RemoveSmallLoops -- Start", chain, nullptr);
    RING_header_s* result = chain;
    merrow1::run_converting([&]() {
        OwnedPsi psi(PSI_create(0, false, false, merge_cb ? POLY_SEG_copy_chain_source_ref : nullptr, nullptr));
        CMEM_pool_s* pool = psi.get()->pool;
        RING_header_s* poly =
            POLY_SEG_create_from_chain(chain, pool, merge_cb ? POLY_SEG_chain_create_source : nullptr, nullptr,
                                       false, nullptr);
        if (!poly) return;
        INT_GRID_MAP_s* map = POLY_SEG_create_scaling(poly, 0.0);
        POLY_SEG_put_to_grid(poly, map);
        const INT_GRID_MAP_s* grid = POLY_SEG_ask_header(poly)->scaling ? POLY_SEG_ask_header(poly)->scaling : map;
        POLY_INTXN_s* loop = PSI_method<PSI_set_longest_loop_of_poly_fn>(psi.get(), PSI_SLOT_SET_LONGEST_LOOP_OF_POLY)(
            psi.get(), poly);
        if (loop) {
            const CHAIN_main_data_s* md = main_of(chain);
            const double approx = md && md->approximation_tolerance_set ? md->approximation_tolerance : 0.0;
            RING_header_s* made = POLY_INTXN_create_chain(
                loop, grid, md ? &md->csys : nullptr, chain->pool,
                merge_cb ? CHAIN_PROC_APP_DATA_SOURCES : CHAIN_PROC_APP_DATA_GEOMETRY, merge_cb,
                POLY_SEG_get_rounding_tol(poly) + approx, md ? md->material_side : 0, false, false, nullptr,
                nullptr, nullptr, nullptr, nullptr);
            if (made) result = made;
        }
    });
    CHAIN_debug_report(kDebugEnd, "CHAIN_RemoveSmallLoops -- End", result, nullptr);
    return result;
}

// ---------------------------------------------------------------------------
// Minimal loops and simply connected regions
// ---------------------------------------------------------------------------

namespace {

using TraceRecord = CHAIN_trace_vertex_data_s;

// Material-side filter of the grid rounding of minimal loops: the dummy
// pieces of traced polys go to the material side (other polys have none).
bool dummies_to_material_side(RING_header_s* poly) { return POLY_SEG_is_a_trace(poly); }

// Dummy-stock callback of the minimal loops: the stock a dummy piece of a
// closed trace stands for, read from the trace vertex it came from.  A piece
// made at a source vertex stands for the point of that vertex (centre the
// point, radius 0, counter-clockwise); any other dummy stands for the source
// arc it was traced from (centre, radius and sense of that arc).  The value is
// the trace record's offset.  False when any piece of this is missing.
bool trace_dummy_stock(const RING_node_s* segment, Korvo::Math::Point2* point, Korvo::Math::Point2* centre,
                       double* radius, bool* ccw, double* value) {
    const CHAIN_app_poly_seg_chain_source_s* ref = source_of(segment);
    if (!ref || !ref->chain || !ref->vertex) return false;
    const CHAIN_main_data_s* md = main_of(ref->chain);
    if (!md || md->kind != TRACE_CHAIN || !is_closed(ref->chain)) return false;
    const TraceRecord* trace =
        static_cast<const TraceRecord*>(APP_DATA__ask_app_data(ref->vertex->app_data, CHAIN_APP_DATA_TRACE_VERTEX));
    const CHAIN_source_chain_source_vertex_s* source = static_cast<const CHAIN_source_chain_source_vertex_s*>(
        APP_DATA__ask_app_data(ref->vertex->app_data, APP_DATA_SOURCE_VERTEX));
    if (!trace || !trace->dummy || !source || !source->source_vertex) return false;
    const RING_node_s* sv = source->source_vertex;
    const CHAIN_vertex_data_s* record = vertex_record(sv);
    if (!record || !record->geometry) return false;
    const Korvo::Math::Point2 p{record->geometry[0], record->geometry[1]};
    if (!trace->vertex_piece) {
        if (CHAIN_seg_ask_type(sv) != SEG_ARC) return false;
        const end_segment* arc = arc_of(sv);
        *point = p;
        *centre = Korvo::Math::Point2{arc->cx, arc->cy};
        *radius = arc->radius;
        *ccw = arc->direction == CCW;
    } else {
        *point = p;
        *centre = p;
        *radius = 0.0;
        *ccw = true;
    }
    *value = trace->offset;
    return true;
}

}  // namespace

namespace {

// Whether a closed chain has its material outside, by its direction from its
// geometry and its material side.
bool material_outside(const RING_header_s* chain) {
    const CHAIN_main_data_s* md = main_of(chain);
    if (!md || md->ethereal || chain->count < 2 || !is_closed(chain)) return false;
    const DIRECTION direction = CHAIN_direction_of_chain(chain);
    return (direction == CCW && md->material_side == RIGHT) || (direction == CW && md->material_side == LEFT);
}

// Whether the region sets of the chains (one per region_set_id) lay material
// at infinity: when one of them, on its own, winds below 0 somewhere, each of
// its chains read as the region it bounds by itself (only a set with a chain
// whose material lies outside can).  One set alone needs no answer: its
// lowest faces are those of the whole network.
bool region_sets_lay_material_at_infinity(void* psi, RING_header_s* chains, CMEM_pool_s* pool) {
    if (chains->type == RING_TYPE_CHAIN) return false;
    std::unordered_map<int, size_t> group_of_id;
    std::vector<std::vector<RING_header_s*>> groups;
    for (RING_node_s* node : ring_nodes(chains)) {
        RING_header_s* chain = RING_ask_node_subring(node);
        if (!main_of(chain)) continue;
        const auto found = group_of_id.emplace(main_of(chain)->region_set_id, groups.size());
        if (found.second) groups.emplace_back();
        groups[found.first->second].push_back(chain);
    }
    if (groups.size() < 2) return false;
    for (const std::vector<RING_header_s*>& group : groups) {
        if (std::none_of(group.begin(), group.end(), material_outside)) continue;
        RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_set_sub_ring_delfunc(list, nullptr);
        for (RING_header_s* chain : group) RING_insert_after(list, list->last, chain);
        RING_header_s* polys = POLY_SEG_create_from_chain_set(list, pool, false, false, nullptr);
        if (!polys) continue;
        INT_GRID_MAP_s* grid = POLY_SEG_put_set_to_grid(polys, nullptr, false, nullptr, nullptr, 0.0);
        const int lowest = PSI__set_lowest_level_of_set(psi, polys);
        if (grid) INT_GRID_MAP__destroy(grid);
        if (lowest < 0) return true;
    }
    return false;
}

// Whether every poly of the set is closed and none is a trace.
bool closed_without_traces(const RING_header_s* polys) {
    for (RING_node_s* node : ring_nodes(polys)) {
        const RING_header_s* poly = RING_ask_node_subring(node);
        if (poly && poly->first && (!POLY_SEG_is_closed(poly) || POLY_SEG_is_a_trace(poly))) return false;
    }
    return true;
}

// The minimal loops of the set's network at the levels asked of the
// intersection object (all of them for the public entry).
int find_minimal_loops(const RING_header_s* set, CHAIN_poly_seg_intersect_type_t type, SIDE side,
                       CHAIN_vertex_source_callback_t merge_cb, RING_header_s* out, PSI_loop_levels_t levels) {
    MERROW1_REQUIRE_LIST(set, 0);
    MERROW1_REQUIRE_LIST(out, 0);
    // 1. Nothing to do.
    if (empty_set(set)) {
        CERR__set_error_code(0);
        return 1;
    }
    RING_header_s* chains = const_cast<RING_header_s*>(set);
    merrow1::run_converting([&]() {
        // 2. Scratch pool, the intersection object, the boolean's own merge.
        MERROW1_SCRATCH_POOL(pool, "CHAIN_union_regions");
        OwnedPsi psi(PSI_create(0, true, false, POLY_SEG_copy_chain_source_ref, nullptr));
        psi.get()->loop_levels = levels;
        merrow1::ChainFieldsGuard ids(merrow1::kChainFieldRegionSetId);
        CHAIN_vertex_source_callback_t merge = merge_cb ? merge_cb : CHAIN_boolean_merge;
        // 3. One poly per chain, with sources; dummy stock of traces noted.
        POLY_SEG_dummy_stock_info_s info{false, 0.0};
        RING_header_s* polys = POLY_SEG_create_from_chain_set(chains, pool, true, false, &info);
        if (!polys) return;
        // Closed chains of several region sets: when one of the sets lays
        // material at infinity, the face at infinity is material, and so are
        // the faces of its level when none lies below it.
        if (levels == PSI_LOOP_LEVELS_REGION && closed_without_traces(polys) &&
            region_sets_lay_material_at_infinity(psi.get(), chains, pool))
            psi.get()->loop_levels = PSI_LOOP_LEVELS_REGION_MATERIAL_OUTSIDE;
        renumber_by_position(ids, chains);
        double tolerance = CHAIN_ask_set_tolerance(chains);
        const bool stocked = info.max_stock > 0;
        // 4. On a grid of their own, dummies of traces to the material side.
        //    Closed chains whose region boundary is asked for round plainly:
        //    stretches that coincide stay coincident whatever their material
        //    sides, so their faces of no width are seen and merged.
        const bool plain = levels != PSI_LOOP_LEVELS_ALL && levels != PSI_LOOP_LEVELS_LOWEST &&
                           closed_without_traces(polys);
        INT_GRID_MAP_s* grid = POLY_SEG_put_set_to_grid(polys, nullptr, !plain, dummies_to_material_side,
                                                        POLY_SEG_copy_chain_source_ref, stocked ? info.max_stock : 0.0);
        const double rounding = POLY_SEG_get_set_rounding_tol(polys);
        // 5. The minimal loops.
        RING_header_s* loops = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
        PSI_method<PSI_set_find_minimal_loops_fn>(psi.get(), PSI_SLOT_SET_FIND_MINIMAL_LOOPS)(
            psi.get(), polys, static_cast<PSI_set_intersect_type_t>(type), loops,
            stocked ? trace_dummy_stock : nullptr);
        // 6. Object gone; small loops, back to reals, short connectors.
        psi.reset();
        POLY_SEG_remove_small_closed_loops(loops, nullptr);
        POLY_SEG_get_set_from_grid(loops);
        POLY_SEG_remove_inserts(loops, rounding);
        // 7. Back to chains with sources and split records, reused when untouched.
        tolerance += 2 * rounding;
        POLY_SEG_create_chain_set(loops, csys_of_first(chains), static_cast<CHAIN_proc_app_data_spec_e>(11), merge,
                                  nullptr, nullptr, tolerance, side_or_first(side, chains), false, nullptr, nullptr,
                                  out);
        if (grid) INT_GRID_MAP__destroy(grid);
        // 8. Ids and pool go with the guards.
    });
    CERR__set_error_code(0);
    return 1;
}

}  // namespace

bool CHAIN__region_sets_lay_material_at_infinity(const RING_header_s* chains) {
    if (!chains || chains->type != RING_TYPE_LIST) return false;
    return merrow1::run_converting([&]() {
        MERROW1_SCRATCH_POOL(pool, "CHAIN_region_sets_at_infinity");
        OwnedPsi psi(PSI_create(0, true, false, nullptr, nullptr));
        return region_sets_lay_material_at_infinity(psi.get(), const_cast<RING_header_s*>(chains), pool);
    });
}

int CHAIN_find_minimal_loops(const RING_header_s* set, CHAIN_poly_seg_intersect_type_t type, SIDE side,
                             CHAIN_vertex_source_callback_t merge_cb, RING_header_s* out) {
    if (!CHAIN__input_usable(set, "CHAIN_find_minimal_loops", CHAIN_INPUT_FINITE)) return 0;
    // Cut at all their crossings, closed chains bound faces of one winding
    // level each: only the boundary of the lowest faces is a region's.
    return find_minimal_loops(set, type, side, merge_cb, out,
                              type == CHAIN_POLY_SEG_INTERSECT_ALL ? PSI_LOOP_LEVELS_REGION : PSI_LOOP_LEVELS_ALL);
}

int CHAIN__find_lowest_level_loops(const RING_header_s* set, SIDE side, CHAIN_vertex_source_callback_t merge_cb,
                                   RING_header_s* out) {
    return find_minimal_loops(set, CHAIN_POLY_SEG_INTERSECT_SELF, side, merge_cb, out, PSI_LOOP_LEVELS_LOWEST);
}

void CHAIN_SplitSetIntoSimplyConnectedRegions(RING_header_s* set, Korvo::Cam::MaterialAtInfinity mai, SIDE side,
                                              RING_header_s* out) {
    MERROW1_REQUIRE_LIST(set, );
    MERROW1_REQUIRE_LIST(out, );
    if (!CHAIN__input_usable(set, "CHAIN_SplitSetIntoSimplyConnectedRegions", CHAIN_INPUT_FINITE)) return;
    RING_header_s* first = first_chain(set);
    if (empty_set(set) || !first) return;
    merrow1::run_converting([&]() {
        MERROW1_SCRATCH_POOL(pool, "CHAIN_SplitSetIntoSimplyConnectedRegions");
        // 1. The chains as one poly-segment set in a set of sets that does
        //    not own it.
        RING_header_s* polys = POLY_SEG_create_from_chain_set(set, pool, false, false, nullptr);
        if (!polys) return;
        RING_header_s* sets = POLY_SEG_create_set_of_sets(pool);
        RING_set_sub_ring_delfunc(sets, nullptr);
        POLY_SEG_append_to_set_of_sets(sets, polys);
        POLY_SEG_set_material_at_inf(polys, mai);
        if (!polys->first) return;
        // 2. Hole-free regions, then chains.
        RING_header_s* regions = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
        double value = 0.0;
        POLY_SEG_split_set_into_simply_connected_regions(sets, true, regions, &value);
        POLY_SEG_create_chain_set(regions, csys_of_first(set), CHAIN_PROC_APP_DATA_GEOMETRY, nullptr, nullptr,
                                  nullptr, value + CHAIN_ask_set_tolerance(set), side_or_first(side, set), false,
                                  nullptr, nullptr, out);
    });
}

// ---------------------------------------------------------------------------
// Cleaning of traced offsets
// ---------------------------------------------------------------------------

namespace {

// Chain debug report kinds of the offset cleaning.
const int kDebugRawOffset = 20;
const int kDebugBeforeValidate = 22;
const int kDebugOffsetOutput = 23;

// The first set of a set of sets, or null.
RING_header_s* first_set(const RING_header_s* set_of_sets) {
    if (!set_of_sets) return nullptr;
    for (RING_node_s* node : ring_nodes(set_of_sets))
        if (RING_header_s* set = RING_ask_node_subring(node)) return set;
    return nullptr;
}

// A set holding the poly, in a set of sets of its own (both in the pool).
RING_header_s* single_poly_set_of_sets(RING_header_s* poly, CMEM_pool_s* pool) {
    RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
    POLY_SEG_append_to_set(set, poly);
    RING_header_s* sets = POLY_SEG_create_set_of_sets(pool);
    POLY_SEG_append_to_set_of_sets(sets, set);
    return sets;
}

// Cancels the lines of a closed poly in real coordinates that run back along
// the line before them (CHAIN__cancel_backtracks); false when nothing is
// left of it.
bool cancel_backtracks(RING_header_s* poly) {
    if (!POLY_SEG_is_closed(poly)) return true;
    std::vector<RING_node_s*> nodes;
    std::vector<ChainBacktrackPiece> pieces;
    nodes.reserve(static_cast<size_t>(std::max(poly->count, 0)));
    pieces.reserve(nodes.capacity());
    for (RING_node_s* node : ring_nodes(poly)) {
        const LINE_ARC_SEG_s* s = static_cast<const LINE_ARC_SEG_s*>(node->main_data);
        pieces.push_back({{s->x, s->y}, !LINE_ARC_SEG_is_arc(s), static_cast<int>(nodes.size())});
        nodes.push_back(node);
    }
    const size_t before = pieces.size();
    CHAIN__cancel_backtracks(pieces);
    if (pieces.size() == before) return true;
    if (pieces.empty()) return false;
    std::vector<bool> kept(nodes.size(), false);
    for (const ChainBacktrackPiece& p : pieces) {
        kept[static_cast<size_t>(p.id)] = true;
        LINE_ARC_SEG_s* s = static_cast<LINE_ARC_SEG_s*>(nodes[static_cast<size_t>(p.id)]->main_data);
        s->x = p.end[0];
        s->y = p.end[1];
    }
    for (size_t i = 0; i < nodes.size(); ++i)
        if (!kept[i]) RING_delete_node(poly, nodes[i]);
    return true;
}

// Whether the closed source of a trace has its material outside (is no
// island), by its stored direction, else the one its geometry gives, as the
// tracer reads it; a missing or open source counts as material not outside.
bool source_material_outside(const RING_header_s* source) {
    const CHAIN_main_data_s* md = main_of(source);
    if (!md || !is_closed(source) || source->count < 2) return false;
    const DIRECTION direction = merrow1::stored_or_computed_direction(source, merrow1::StoredDirection::NonZero);
    return !((direction == CW && md->material_side == RIGHT) || (direction == CCW && md->material_side == LEFT));
}

}  // namespace

int CHAIN__clean_offset(RING_header_s* source, RING_header_s* raw, SIDE side, CHAIN_vertex_source_callback_t merge_cb,
                        RING_header_s* out, bool flag) {
    // 1. Nothing to clean.
    if (!raw || !raw->first || raw->count <= 0) {
        CERR__set_error_code(0);
        return 1;
    }
    // 2. The raw offset.
    CHAIN_debug_report(kDebugRawOffset, "CHAIN__clean_offset: raw_offset chain", raw, nullptr);
    merrow1::run_converting_reported(kFile, __LINE__, [&]() {
        // 3. Scratch pool and the intersection object.
        MERROW1_SCRATCH_POOL_SIZED(pool, "CHAIN_clean_offset", 512);
        OwnedPsi psi(PSI_create(0, true, false, POLY_SEG_copy_chain_source_ref, nullptr));
        // 4. raw as one poly with its sources; dummy stock noted.
        POLY_SEG_dummy_stock_info_s info{false, 0.0};
        RING_header_s* poly = POLY_SEG_create_from_chain(raw, pool, POLY_SEG_chain_create_source, nullptr, false, &info);
        if (!poly) return;
        // Lines that run back along themselves bound nothing: they go before
        // the rounding would move their two directions apart.
        if (!cancel_backtracks(poly)) return;
        // 5. raw takes part as region set 0; its id goes back on every exit.
        merrow1::ChainFieldsGuard id(merrow1::kChainFieldRegionSetId);
        id.stamp_region_set_id(raw, 0);
        // 6. Where the material lies: outside a closed source that is not an
        //    island (its direction read as the tracer read it).
        const bool material_outside = source_material_outside(source);
        // 7. Onto a grid of its own, grown by the dummy stock when there is
        //    one; shared ends go to the material side, dummies to the other.
        const bool stocked = info.max_stock > 0;
        INT_GRID_MAP_s* map = POLY_SEG_create_scaling(poly, stocked ? info.max_stock : 0.0);
        POLY_SEG_put_to_grid_material_side(poly, map, true, POLY_SEG_copy_chain_source_ref);
        INT_GRID_MAP__destroy(map);
        // 8. One region set of one poly.
        RING_header_s* sets = single_poly_set_of_sets(poly, pool);
        const double rounding = POLY_SEG_get_set_rounding_tol(first_set(sets));
        int material[1] = {material_outside ? 1 : 0};
        // 9. The region set cleaned by itself.
        RING_header_s* cleaned = POLY_SEG_create_set_of_sets(pool);
        PSI_method<PSI_set_clean_each_region_set_fn>(psi.get(), PSI_SLOT_SET_CLEAN_EACH_REGION_SET)(
            psi.get(), sets, material, cleaned, true, stocked ? trace_dummy_stock : nullptr, flag, false);
        psi.reset();
        // 10. Back to chains made in out's pool.
        RING_node_s* before_first = out ? out->last : nullptr;
        RING_header_s* result = first_set(cleaned);
        if (result && out) {
            POLY_SEG_remove_small_closed_loops(result, nullptr);
            POLY_SEG_get_set_from_grid(result);
            // The grid of this trace alone moved its vertices: they go back
            // where the trace's pieces meet, so that offsets lying on one
            // another stay on one another.
            CHAIN__put_loop_vertices_on_trace(result, raw, 4 * rounding);
            POLY_SEG_remove_inserts(result, rounding);
            const CHAIN_main_data_s* md = main_of(raw);
            POLY_SEG_create_chain_set(result, &md->csys, static_cast<CHAIN_proc_app_data_spec_e>(11),
                                      merge_cb ? merge_cb : CHAIN_boolean_merge, nullptr, nullptr, 2 * rounding,
                                      side != 0 ? side : md->material_side, true, nullptr, nullptr, out);
            // A face narrower than the grid resolves comes back from the grid
            // as lines out and back along each other, which bound nothing.
            CHAIN__cancel_backtracks_of_loops(out, before_first, raw);
        }
        // 11. The output checked against raw.
        if (out) {
            CHAIN_debug_report(kDebugBeforeValidate, "CHAIN_clean_offset: offset_chains before validate", out,
                               nullptr);
            CHAIN__validate_shapes_from_boolean(raw, out, before_first);
            if (out->count == 0)
                CHAIN_debug_report(kDebugOffsetOutput, "CHAIN_clean_offset: no output chains exist", out, nullptr);
            else
                CHAIN_debug_report(kDebugOffsetOutput, "CHAIN_clean_offset: offset_chains output", out, nullptr);
        }
        // 12. The id, the object and the pool go with the guards.
    });
    CERR__set_error_code(0);
    return 1;
}

// ---------------------------------------------------------------------------
// Special tracing of open chains
// ---------------------------------------------------------------------------

namespace {

// Vertex flag of a traced vertex whose source vertex carries the there-and-
// back mark (key 13): a segment of the forward half of the closed chain.
const unsigned kThereAndBackVertex = 0x20000u;

// The source-vertex mark of a poly segment: the flag of the traced vertex its
// source reference names.
bool segment_marked(const RING_node_s* segment) {
    const CHAIN_app_poly_seg_chain_source_s* ref = required_source(segment);
    const CHAIN_vertex_data_s* v = vertex_record(ref->vertex);
    return v && (v->flags & kThereAndBackVertex) != 0;
}


// The source-vertex record (key 17) of the traced vertex a segment's source
// reference names; its mark is set on a piece made at a source vertex.
const CHAIN_source_chain_source_vertex_s* source_vertex_record(const RING_node_s* segment) {
    const CHAIN_app_poly_seg_chain_source_s* ref = required_source(segment);
    return ref->vertex ? static_cast<const CHAIN_source_chain_source_vertex_s*>(
                             APP_DATA__ask_app_data(ref->vertex->app_data, APP_DATA_SOURCE_VERTEX))
                       : nullptr;
}

// The polys of a set in order.
std::vector<RING_header_s*> polys_of(const RING_header_s* set) {
    std::vector<RING_header_s*> out;
    if (!set) return out;
    for (RING_node_s* node : ring_nodes(set))
        if (RING_header_s* poly = RING_ask_node_subring(node)) out.push_back(poly);
    return out;
}

// Rounds a poly onto a grid of its own over it grown by the margin, shared
// ends to the material side; returns the grid's cell size along x.
double round_to_grid(RING_header_s* poly, double margin) {
    INT_GRID_MAP_s* map = POLY_SEG_create_scaling(poly, margin);
    const double cell = INT_GRID_MAP__get_grid_size(map, 0);
    POLY_SEG_put_to_grid_material_side(poly, map, true, POLY_SEG_copy_chain_source_ref);
    INT_GRID_MAP__destroy(map);
    return cell;
}

// Joins the open piece (reversed first when asked) to the open poly and
// closes the result.
void join_and_close(RING_header_s* poly, RING_header_s* piece, bool reverse) {
    if (reverse) POLY_SEG_reverse(piece);
    POLY_SEG_append(poly, piece, POLY_SEG_copy_chain_source_ref);
    POLY_SEG_append(poly, poly, POLY_SEG_copy_chain_source_ref);
}

// The area sign of a closed poly turned positive, so that its winding adds
// its material.
void make_positive(RING_header_s* poly) {
    if (POLY_SEG_area(poly) < 0) POLY_SEG_reverse(poly);
}

// Trimming of the open polys of R against the ends of the trace (pass 1).
// `copy` is the closed pass-1 poly offset by the margin, in reals.  The
// forward half of the source and the widened offset of each run of the copy
// bound one region each: the marked run (the kept side) and the unmarked one
// (the far side and the end caps, which no vertex mark reaches: the caps
// round the first vertex come from an unmarked vertex, those round the
// turning vertex from a vertex whose successor is unmarked).  A section of an
// open poly of R is kept when it lies inside the near region and outside the
// far one.
void trim_open_polys(RING_header_s* R, RING_header_s* copy, RING_header_s* chain, double min_len,
                     CMEM_pool_s* pool) {
    // 1. The one run of marked and the one run of unmarked segments.
    std::vector<RING_node_s*> segs = ring_nodes(copy);
    const int n = static_cast<int>(segs.size());
    std::vector<char> marked(n);
    for (int i = 0; i < n; ++i) marked[i] = segment_marked(segs[i]) ? 1 : 0;
    int rises = 0, falls = 0, first_marked = -1, last_marked = -1;
    for (int i = 0; i < n; ++i) {
        const int next = (i + 1) % n;
        if (!marked[i] && marked[next]) {
            ++rises;
            first_marked = next;
        }
        if (marked[i] && !marked[next]) {
            ++falls;
            last_marked = i;
        }
    }
    if (!POLY_SEG_is_closed(copy) || rises != 1 || falls != 1)
        ERROR_internal(kFile, __LINE__, "Corrupt categorisation of open trace");
    // 2. The copy opened after the marked run, then cut where it begins: the
    //    unmarked run stays in the copy, the marked run is the tail.
    RING_node_s* before_run = segs[(first_marked + n - 1) % n];
    POLY_SEG_split(copy, segs[last_marked], POLY_SEG_copy_chain_source_ref);
    RING_header_s* near_piece = POLY_SEG_split(copy, before_run, POLY_SEG_copy_chain_source_ref);
    RING_header_s* far_piece = copy;
    if (!near_piece || near_piece == copy) ERROR_internal(kFile, __LINE__, "Corrupt categorisation of open trace");
    // 3. The forward half of the source, from its start to the turning
    //    vertex, closes each piece into a region.
    RING_node_s* turn = merrow1::turning_vertex(chain);
    if (!turn) ERROR_internal(kFile, __LINE__, "Missing key_original_last_node");
    const bool closed = is_closed(chain);
    const CHAIN_vertex_data_s* first_record = vertex_record(chain->first);
    const CHAIN_vertex_data_s* turn_record = vertex_record(turn);
    POINT_ON_CHAIN_s start{}, end{};
    PointOnChainCreate1(chain, chain->first, closed ? chain->count : chain->count - 1, 1.0, first_record->geometry,
                        &start);
    if (!PointOnChainCreate(chain, turn, 0, turn_record->geometry, &end))
        ERROR_internal(kFile, __LINE__, "Missing key_original_last_node");
    PART_OF_CHAIN_s part{};
    CreatePartOfChain(&part, &start, &end);
    RING_header_s* far_region = POLY_SEG_create_from_poc(&part, pool, nullptr, nullptr, false, false);
    if (!far_region) return;
    RING_header_s* near_region = POLY_SEG_copy(far_region, pool, nullptr);
    // The source part and the copy are walked in one sense (the trace has the
    // chain's side): the part and the marked run both run from the start to
    // the turn, the unmarked run back from the turn to the start.  So the
    // marked run is reversed to close its region and the unmarked one is not.
    join_and_close(far_region, far_piece, false);
    join_and_close(near_region, near_piece, true);
    make_positive(far_region);
    make_positive(near_region);
    // With material at infinity the far region adds material and the near
    // one (turned negative) takes it away: only the near region less the
    // far one is free of material.
    POLY_SEG_reverse(near_region);
    RING_header_s* regions = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityPresent);
    POLY_SEG_append_to_set(regions, far_region);
    POLY_SEG_append_to_set(regions, near_region);
    const std::vector<RING_header_s*> open_polys = polys_of(R);
    const INT_GRID_MAP_s* grid = open_polys.empty() ? nullptr : POLY_SEG_ask_header(open_polys[0])->scaling;
    if (!grid) return;
    POLY_SEG_put_set_to_grid(regions, grid, false, nullptr, nullptr, 0.0);
    // 4. Each open poly of R cut at its crossings with the regions; short
    //    sections go, the sections free of material replace the poly.
    for (RING_node_s* node : ring_nodes(R)) {
        RING_header_s* poly = RING_ask_node_subring(node);
        if (!poly || POLY_SEG_is_closed(poly)) continue;
        RING_header_s* points = POLY_SEG_create_material_crossing_list(poly, regions, true, pool);
        std::vector<RING_header_s*> kept;
        if (points) {
            Korvo::Cam::PolySegPoint::FilterSmallSections(points, min_len);
            for (RING_node_s* p : ring_nodes(points)) {
                Korvo::Cam::PolySegPoint* point = Korvo::Cam::PolySegPoint::GetFromList(p);
                if (!p->previous || !point->BeforeIsGougeFree()) continue;
                if (RING_header_s* section =
                        Korvo::Cam::PolySegPoint::TrimPoly(poly, p, R->pool, POLY_SEG_copy_chain_source_ref, 1.0))
                    kept.push_back(section);
            }
        }
        for (RING_header_s* section : kept) RING_insert_after(R, node->previous, section);
        POLY_SEG_destroy_cb(R, node, poly);
        RING_delete_node(R, node);
    }
}

// Whether a segment is a piece the tracer made at the first vertex or at the
// turning vertex (header key 110) of a chain closed back along itself: the
// caps round the two ends of the open chain, where the closed chain reverses.
// They join the kept side to the other one and belong to neither; the offset
// of the segment that ends at either vertex is no such piece and stays.  A
// chain without a turning vertex has no such ends.
bool segment_caps_an_end(const RING_node_s* segment, const RING_header_s* chain) {
    const RING_node_s* turn = merrow1::turning_vertex(chain);
    const CHAIN_app_poly_seg_chain_source_s* ref = required_source(segment);
    const CHAIN_trace_vertex_data_s* piece = ref->vertex ? CHAIN_ask_trace_vertex_data(ref->vertex) : nullptr;
    if (!turn || !piece || !piece->vertex_piece) return false;
    const CHAIN_source_chain_source_vertex_s* source = source_vertex_record(segment);
    return source && source->source_vertex && (source->source_vertex == chain->first || source->source_vertex == turn);
}

// Whether some segment of the polys of the set is offset from the chain (a
// chain closed back along itself): the offset of a source segment, or the
// join the tracer made at a convex corner inside the chain, whose points lie
// at the offset from the corner's vertex and may be all that is left of the
// kept side.  The caps round the chain's two ends and the connecting pieces
// (dummies) are no such segment: a result made only of them is what is left
// when the kept side collapsed.
bool offsets_the_chain(const RING_header_s* set, const RING_header_s* chain) {
    for (RING_node_s* node : ring_nodes(set)) {
        const RING_header_s* poly = RING_ask_node_subring(node);
        if (!poly) continue;
        for (RING_node_s* segment : ring_nodes(poly)) {
            if (!segment->previous) continue;  // the start point of an open poly
            // A segment without a source is not known to be a vertex piece.
            if (!source_of(segment) || !source_of(segment)->chain) return true;
            const CHAIN_source_chain_source_vertex_s* source = source_vertex_record(segment);
            if (!source || !source->mark) return true;
            const CHAIN_app_poly_seg_chain_source_s* ref = required_source(segment);
            const CHAIN_trace_vertex_data_s* piece = ref->vertex ? CHAIN_ask_trace_vertex_data(ref->vertex) : nullptr;
            if (piece && !piece->dummy && !segment_caps_an_end(segment, chain)) return true;
        }
    }
    return false;
}

// The segments pass 0 keeps: marked, and no cap round an end.
bool segment_kept(RING_node_s* segment, void* chain) {
    return segment_marked(segment) &&
           !segment_caps_an_end(segment, static_cast<const RING_header_s*>(chain));
}

// The segments pass 1 keeps: marked, and the caps round the ends (no vertex
// mark reaches them).  The trimming cuts the ends, caps and all, where the
// caps cross into the region of the far side; a kept run that stopped at the
// end normal would only touch that region there, and the sections so short
// that the trimming drops them would leave nothing.
bool segment_kept_with_caps(RING_node_s* segment, void* chain) {
    return segment_marked(segment) || segment_caps_an_end(segment, static_cast<const RING_header_s*>(chain));
}

}  // namespace

bool CHAIN__open_offset_ends(const RING_header_s* chain, double offset, Korvo::Math::Point2 ends[2]) {
    const RING_node_s* turn = merrow1::turning_vertex(chain);
    const CHAIN_main_data_s* md = main_of(chain);
    if (!turn || !md || (md->material_side != LEFT && md->material_side != RIGHT)) return false;
    double in[2] = {0, 0}, out[2] = {0, 0}, first_out[2] = {0, 0}, last_in[2] = {0, 0};
    ChainVertexTangent(chain, chain->first, in, first_out, nullptr, nullptr);
    ChainVertexTangent(chain, turn, last_in, out, nullptr, nullptr);
    const double* tangents[2] = {first_out, last_in};
    const RING_node_s* vertices[2] = {chain->first, turn};
    // Material RIGHT keeps the left of the chain's direction, LEFT its right.
    const double sense = md->material_side == RIGHT ? 1.0 : -1.0;
    for (int k = 0; k < 2; ++k) {
        const double* t = tangents[k];
        if (t[0] == 0 && t[1] == 0) return false;
        const double* p = point_of(vertices[k]);
        ends[k] = Korvo::Math::Point2{p[0] - sense * offset * t[1], p[1] + sense * offset * t[0]};
    }
    return true;
}

namespace {

// The ends of an open result chain that lie within the tolerance of the
// exact ends of the offset go there.  The grid leaves them a cell or two off,
// and the widening that keeps the two halves apart leaves the kept half a
// step (5 cells) beyond the offset in pass 0, a step short of it in pass 1:
// pieces offset there and back would not meet again where they began.
void put_ends_on_end_normals(RING_header_s* result, const Korvo::Math::Point2 ends[2], double tolerance) {
    if (!result->first || !result->last || is_closed(result)) return;
    for (RING_node_s* node : {result->first, result->last}) {
        const double* p = point_of(node);
        for (int k = 0; k < 2; ++k)
            if (std::hypot(p[0] - ends[k].x, p[1] - ends[k].y) <= tolerance) {
                CHAIN_modify_vertex_point(result, node, &ends[k]);
                break;
            }
    }
}

}  // namespace

double CHAIN__marked_offset_cb(RING_header_s*, RING_header_s*, RING_node_s* node, void* data) {
    const CHAIN_marked_offset_record_s* record = static_cast<const CHAIN_marked_offset_record_s*>(data);
    bool mark;
    if (node->previous && segment_marked(node))
        mark = true;
    else if (node->next)
        mark = segment_marked(node->next);
    else
        mark = node->previous && segment_marked(node);
    return (mark ? 1 : 0) == record->mark ? record->distance : 0.0;
}

RING_header_s* CHAIN__offset_special_tracing(RING_header_s* chain, double offset, CORNER_CONTROL corner, SIDE side,
                                             CHAIN_trace_vertex_source_cb_t vertex_source_cb,
                                             CHAIN_trace_vertex_cb_t trace_cb, CHAIN_vertex_source_callback_t merge_cb,
                                             CMEM_pool_s* pool, int delete_trace,
                                             CHAIN_traceOutputParams_s* params) {
    // 1. Nothing to offset.
    if (!chain || !chain->first || !chain->last || !pool) return nullptr;
    // 2. The side was taken care of by the caller.
    if (!(offset > 0)) ERROR_internal(kFile, __LINE__, "offset_special_tracing only handles +ve offsets");
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    // The passes keep the offset that the forward half of the closed chain
    // traces (its segments end at key-13 vertices, so their pieces carry the
    // vertex mark): it runs on the side away from the material, as on the
    // older engine.  The returning half runs on the material side and goes.
    // The tracer extends only the corners of the forward half (both the
    // corner's vertex and its successor carry key 13), so the kept side
    // follows the corner control and the trace-vertex callback, and the
    // dropped half, rounded at every corner, never reaches across the chain.
    // Were the returning half kept (with the side swapped to bring it away
    // from the material), every kept corner would be rounded and an
    // extension on the dropped half at a sharp turn would reach across the
    // chain and cut the kept offset.  The result chains take the chain's
    // own side.
    const SIDE chain_side = main_of(chain)->material_side;
    // The trace the result refers to (owned here until step 6) and a pass-1
    // trace that did not replace it.
    RING_header_s* trace = nullptr;
    RING_header_s* spare = nullptr;
    try {
        merrow1::run_converting_reported(kFile, __LINE__, [&]() {
            // 3. The intersection object; scratch data in its pool.
            OwnedPsi psi(PSI_create(0, true, false, POLY_SEG_copy_chain_source_ref, nullptr));
            CMEM_pool_s* scratch = psi.get()->pool;
            RING_header_s* R = nullptr;
            double step = 0.0, cell = 0.0;
            bool few_after_pass_0 = false;
            // 4. At most two passes.
            for (int pass = 0; pass < 2; ++pass) {
                // a. Pass 1 runs only for an offset beyond the widening.
                //    Both passes trace at the offset itself: the widening
                //    below moves only the pieces that are dropped, so the
                //    kept side stays at the offset (moving it instead would
                //    leave every result chain a few cells off the distance).
                if (pass == 1 && !(offset - step > 0)) break;
                // b. The trace.
                RING_header_s* t =
                    CHAIN__trace(chain, offset, corner, 0, vertex_source_cb, trace_cb, pool, false, params);
                if (!t) break;
                (pass == 0 ? trace : spare) = t;
                main_of(t)->region_set_id = 0;
                // c. Its poly, large dummies flipped.
                RING_header_s* poly =
                    POLY_SEG_create_from_chain(t, scratch, POLY_SEG_chain_create_source, nullptr, false, nullptr);
                if (!poly) break;
                POLY_SEG_flip_large_dummies(poly, POLY_SEG_copy_chain_source_ref, nullptr);
                // d. The grid cell of pass 0; a copy for the trimming of pass 1.
                RING_header_s* copy = nullptr;
                if (pass == 0) {
                    INT_GRID_MAP_s* map = POLY_SEG_create_scaling(poly, 0.0);
                    cell = INT_GRID_MAP__get_grid_size(map, 0);
                    INT_GRID_MAP__destroy(map);
                    step = 5 * cell;
                } else {
                    copy = POLY_SEG_copy(poly, scratch, POLY_SEG_copy_chain_source_ref);
                }
                // e. Widening: the two halves of the trace part by a few grid
                //    cells where they meet.  The dropped (unmarked) segments
                //    move, in pass 0 back towards the chain, in pass 1 away
                //    from it, so the kept side stays at the offset.  An
                //    offset within two steps of the chain cannot take the
                //    dropped side back by a step without reaching the chain:
                //    there pass 0 moves the kept side out by the step (a few
                //    cells off an offset that is itself a few cells).  The
                //    corners are judged in cells, so a corner whose two
                //    moved ends lie more than a cell apart gets a step
                //    instead of a mitre (a mitre at a sharp turn reaches far
                //    out, at a reversal to infinity).
                const bool move_kept = pass == 0 && !(offset > 2 * step);
                CHAIN_marked_offset_record_s record{pass == 0 && !move_kept ? -step : step,
                                                    static_cast<unsigned char>(move_kept ? 1 : 0)};
                POLY_SEG_small_offset(poly, POLY_SEG_copy_chain_source_ref, CHAIN__marked_offset_cb, &record,
                                      cell * cell);
                // f. Margin and shortest kept section of the trimming.
                double margin = 0.0, min_len = 0.0;
                if (pass == 1) {
                    margin = 2 * step;
                    min_len = std::sqrt(40 * offset / cell);
                }
                if (const CHAIN_open_offset_margin_s* record73 = static_cast<const CHAIN_open_offset_margin_s*>(
                        APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_OPEN_OFFSET_MARGIN))) {
                    const double v = std::min((record73->first + record73->second) / 2, 0.1 * offset);
                    if (v > margin) {
                        margin = v;
                        if (v / cell > min_len) min_len = v / cell;
                    }
                }
                // g. Onto the grid.
                round_to_grid(poly, margin);
                // h. The clean, with the dummy pieces on a boundary covered
                //    by the stock they stand for, as the clean of a closed
                //    offset covers them.  A joining arc at a concave corner
                //    whose offsets do not meet starts and ends running back
                //    along the pieces it joins; uncovered, the slivers between
                //    them count as free of material and come out as tiny
                //    closed chains nearer to the chain than the offset.  The
                //    points a cover runs to (source vertices, centres of arcs
                //    of a radius below the offset) lie within the offset of
                //    the chain, inside the trace and its grid.
                RING_header_s* sets = single_poly_set_of_sets(poly, scratch);
                RING_header_s* output = POLY_SEG_create_set_of_sets(scratch);
                PSI_method<PSI_set_clean_each_region_set_fn>(psi.get(), PSI_SLOT_SET_CLEAN_EACH_REGION_SET)(
                    psi.get(), sets, nullptr, output, true, trace_dummy_stock, false, false);
                // i. The first output set without small loops, cut into the
                //    open runs of unmarked segments; pass 0, whose result is
                //    not trimmed, also leaves out the caps round the ends.
                RING_header_s* result = first_set(output);
                if (!result || !result->first) break;
                POLY_SEG_remove_small_closed_loops(result, nullptr);
                if (!result->first || polys_of(result).empty()) break;
                POLY_SEG_filter_segments(result, pass == 0 ? segment_kept : segment_kept_with_caps, chain,
                                         POLY_SEG_copy_chain_source_ref);
                if (pass == 0) {
                    // j. Few open polys: the result.  Else pass 1 follows;
                    //    the pass-0 trace stays until pass 1 replaces R.
                    R = result;
                    if (polys_of(R).size() < 2) {
                        few_after_pass_0 = true;
                        break;
                    }
                    continue;
                }
                // k. Pass 1 replaces R; its trace becomes the result's trace
                //    and the pass-0 trace goes.
                R = result;
                RING_delete(trace);
                trace = spare;
                spare = nullptr;
                POLY_SEG_ask_header(copy)->offset = margin;
                POLY_SEG_small_offset(copy, POLY_SEG_copy_chain_source_ref, nullptr, nullptr, cell * cell);
                trim_open_polys(R, copy, chain, min_len, scratch);
            }
            // 5. The result back to chains in the caller's pool.  A result
            //    made only of the caps round the ends and connecting pieces
            //    is what is left when the kept side collapsed: nothing is
            //    offset (offsets_the_chain).
            if (R && R->first && trace && offsets_the_chain(R, chain)) {
                POLY_SEG_get_set_from_grid(R);
                // The grid moved the kept pieces off the trace by a cell or
                // two, and the widening may have moved them by a step: they
                // go back on the trace pieces they come from, at the offset.
                CHAIN__put_loop_vertices_on_trace(R, trace, 2 * step);
                POLY_SEG_remove_inserts(R, cell);
                const CHAIN_main_data_s* tmd = main_of(trace);
                RING_node_s* before_first = out->last;
                POLY_SEG_create_chain_set(R, &tmd->csys, static_cast<CHAIN_proc_app_data_spec_e>(11),
                                          merge_cb ? merge_cb : CHAIN_boolean_merge, nullptr, nullptr,
                                          (few_after_pass_0 ? 2 : 7) * cell, side != 0 ? side : chain_side,
                                          true, nullptr, nullptr, out);
                Korvo::Math::Point2 ends[2];
                const bool have_ends = CHAIN__open_offset_ends(chain, offset, ends);
                RING_node_s* node = before_first ? before_first->next : out->first;
                for (int k = out->count; node && k > 0; --k, node = node == out->last ? nullptr : node->next)
                    if (RING_header_s* c = RING_ask_node_subring(node)) {
                        if (have_ends) put_ends_on_end_normals(c, ends, 10 * cell);
                        CHAIN_close_within_tol(c, 10 * cell);
                    }
                CHAIN_debug_report(kDebugBeforeValidate, "CHAIN_clean_offset: offset_chains before validate", out,
                                   nullptr);
            }
            // 6. The object goes with its guard.
        });
    } catch (...) {
        // Nothing is handed back: the partial result goes, and with it the
        // only references to the traces made here.
        RING_delete(out);
        if (spare) RING_delete(spare);
        if (trace) RING_delete(trace);
        throw;
    }
    if (spare) RING_delete(spare);
    if (trace && delete_trace && CHAIN__delete_traced_chain(out, trace)) RING_delete(trace);
    return out;
}

double CHAIN_open_tracing_offset_value_cb(RING_header_s* chain, RING_node_s* vertex, void* values) {
    const double* v = static_cast<const double*>(values);
    const int* mode =
        chain ? static_cast<const int*>(APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_CLOSED_WITH_KEY))
              : nullptr;
    if (mode && *mode == 1) {
        const bool marked = vertex && APP_DATA__ask_app_data(vertex->app_data, CHAIN_APP_DATA_CLOSED_WITH_KEY);
        return marked ? v[0] : v[1];
    }
    const CHAIN_main_data_s* md = main_of(chain);
    return md && (md->use_implied_offset & kImpliedOffsetInForce) ? md->implied_offset : 0.0;
}
