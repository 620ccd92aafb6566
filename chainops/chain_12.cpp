// Location of one chain against another, violation of a region set by
// location or by crossing, and removal of a doubled segment of a chain.
#include <merrow1/chain_location.h>
#include <merrow1/chain_part.h>

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_boolean.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_order.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_split.h>
#include <merrow1/chain_violation.h>
#include <merrow1/segment.h>

#include "chain/chain_location_box.h"
#include "chain/chain_record.h"
#include "chain/chain_readings.h"
#include "chainops/chain_locations.h"
#include "chainops/shape_kind.h"
#include "internal/check.h"
#include "chain/chain_fields_guard.h"
#include "internal/ring_nodes.h"
#include "internal/scratch_pool.h"

#include <pellam/mchn_merge.h>
#include <pellam/mchn_offset.h>
#include <quorn/quorn.h>
#include <stend/error.h>
#include <velte/cerr.h>
#include <velte/ring.h>

#include <array>
#include <cmath>
#include <vector>

namespace {

const char* const kFile = "chain_12";

// Smallest tolerance of a chain location, and the approximation tolerance
// below which a chain's own counts as unset.
const double kLeastLocationTolerance = 2.5e-8;
const double kUnsetApproximation = 1e-10;

using merrow1::is_closed;
using merrow1::shape_data;
using merrow1::shapes_of;

using merrow1::other_side;

// Whether the chain's own approximation tolerance is set and at least 1e-10
// (into *own); else the set approximation tolerance of the chain stands for it.
bool own_approximation(const RING_header_s* chain, double* own) {
    const CHAIN_main_data_s* data = shape_data(chain);
    if (!data || !data->approximation_tolerance_set || !(data->approximation_tolerance >= kUnsetApproximation))
        return false;
    *own = data->approximation_tolerance;
    return true;
}

// The chain's approximation tolerance, or the set approximation tolerance of
// the chain when its own is unset or below 1e-10.
double approximation_of(RING_header_s* chain) {
    double own;
    return own_approximation(chain, &own) ? own : CHAIN_ask_set_approx_tolerance(chain);
}

// The tolerance of a location without a given one: 1.5 times the sum of the
// two approximation tolerances, at least the chain's length tolerance (the
// host's when unset) and at least 2.5e-8.
double location_tolerance(const RING_header_s* chain, double chain_approximation, double closed_approximation) {
    double tolerance = 1.5 * (chain_approximation + closed_approximation);
    const double length = shape_data(chain) ? merrow1::length_tolerance_of(chain) : EQ_ask_length_tolerance();
    if (tolerance < length) tolerance = length;
    if (tolerance < kLeastLocationTolerance) tolerance = kLeastLocationTolerance;
    return tolerance;
}
double location_tolerance(RING_header_s* chain, RING_header_s* closed) {
    return location_tolerance(chain, approximation_of(chain), approximation_of(closed));
}

// The test points of a chain: the midpoint of every segment; a chain of one
// vertex has its point.  With vertices, the vertex points follow.
std::vector<std::array<double, 2>> test_points(const RING_header_s* chain, bool vertices) {
    std::vector<std::array<double, 2>> points;
    if (!chain->first) return points;
    const int segments = is_closed(chain) ? chain->count : chain->count - 1;
    RING_node_s* node = chain->first->next;
    for (int k = 1; k <= segments && node; ++k, node = node->next) {
        SEGMENT segment;
        double mid[2];
        if (ChainSegment(chain, node, &segment) && SegmentMidPoint(&segment, mid)) points.push_back({mid[0], mid[1]});
    }
    if (points.empty() || vertices) {
        RING_node_s* vertex = chain->first;
        for (int i = 0; vertex && i < chain->count; ++i, vertex = vertex->next) {
            if (const double* p = merrow1::point_of(vertex)) points.push_back({p[0], p[1]});
            if (!vertices) break;
        }
    }
    return points;
}


// Whether a boolean result holds a chain that bounds area: a collapsed
// result chain, one whose mean width (twice its area over its perimeter) lies
// within the length tolerance, is no region.  The booleans of two chains that
// run along each other leave such slivers of the grid's rounding, a ring of
// about 1e-9 width along the whole chain: their area grows with their length,
// their width does not.
bool bounds_area(const RING_header_s* result) {
    for (RING_header_s* chain : shapes_of(result))
        if (2.0 * std::fabs(CHAIN_chainArea_chainCentroid(chain, nullptr)) >
            CHAIN_perimeter_and_centroid(chain, nullptr) * EQ_ask_length_tolerance())
            return true;
    return false;
}

// Settles a closed chain whose test points all lie on the closed one by
// region booleans: `chain` with its material outside, grown by the tolerance,
// united with the inside of `closed`; anything left over means part of
// `chain` lies outside.  Then with `chain` shrunk by the tolerance, their
// intersection: anything means `closed` reaches beyond `chain`, which then
// lies inside.  The caller's region fields come back on every path.
CHAIN_LOCATION settle_by_booleans(RING_header_s* chain, RING_header_s* closed, double tolerance) {
    merrow1::ChainFieldsGuard restore(merrow1::kChainRegionFields);
    restore.save_if_chain(chain);
    restore.save_if_chain(closed);
    return merrow1::run_converting([&] {
        MERROW1_SCRATCH_POOL(pool, "ChainChainLocation");
        CHAIN_main_data_s* moving = shape_data(chain);
        CHAIN_main_data_s* fixed = shape_data(closed);
        moving->region_set_id = 1;
        moving->use_implied_offset = 1;
        moving->implied_offset = tolerance;
        if (merrow1::is_island(chain)) moving->material_side = other_side(moving->material_side);
        fixed->region_set_id = 2;
        fixed->use_implied_offset = 0;
        if (merrow1::is_periphery(closed)) fixed->material_side = other_side(fixed->material_side);
        RING_header_s* set = CHAIN_create_boolean_set(pool, nullptr);
        RING_insert_after(set, set->last, chain);
        RING_insert_after(set, set->last, closed);
        RING_header_s* united = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        CHAIN_union_regions(set, 0, false, nullptr, nullptr, nullptr, united);
        if (bounds_area(united)) return CHAIN_LOCATION_OUTSIDE;
        moving->implied_offset = -tolerance;
        RING_header_s* common = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        CHAIN_intersect_regions(set, 0, false, nullptr, common);
        return bounds_area(common) ? CHAIN_LOCATION_INSIDE : CHAIN_LOCATION_ON;
    });
}

}  // namespace

CHAIN__ChainLocations::Facts& CHAIN__ChainLocations::facts_of(const RING_header_s* chain) { return facts_[chain]; }

// The approximation tolerance of approximation_of, the set approximation
// tolerance read once: it depends on the chain's geometry alone.
double CHAIN__ChainLocations::approximation(RING_header_s* chain) {
    double own;
    if (own_approximation(chain, &own)) return own;
    Facts& facts = facts_of(chain);
    if (!facts.approximation_read) {
        facts.set_approximation = CHAIN_ask_set_approx_tolerance(chain);
        facts.approximation_read = true;
    }
    return facts.set_approximation;
}

const std::vector<std::array<double, 2>>& CHAIN__ChainLocations::points(const RING_header_s* chain) {
    Facts& facts = facts_of(chain);
    if (!facts.points_read) {
        facts.points = test_points(chain, false);
        facts.points_read = true;
    }
    return facts.points;
}

// ChainPointLocation of the point against `closed`: its cached box when it
// has one (as ChainPointLocation reads it at every call), else its scratch
// box, read once.
CHAIN_LOCATION CHAIN__ChainLocations::point_location(RING_header_s* closed, const double point[2], double tolerance) {
    if (const CHAIN_BOX_s* cached = CHAIN_ask_cached_box(closed))
        return CHAIN__point_location_in_box(closed, point, &tolerance, *cached);
    Facts& facts = facts_of(closed);
    if (!facts.box_read) {
        facts.boxed = CHAIN__point_location_scratch_box(closed, &facts.box);
        facts.box_read = true;
    }
    if (!facts.boxed) return CHAIN_LOCATION_OUTSIDE;
    return CHAIN__point_location_in_box(closed, point, &tolerance, facts.box);
}

CHAIN_LOCATION CHAIN__ChainLocations::locate(const RING_header_s* chain, RING_header_s* closed,
                                             const double* tolerance) {
    if (!closed || !is_closed(closed) || !shape_data(closed)) return -1;
    if (!chain || !chain->first || !shape_data(chain)) return -1;
    if (chain == closed) return CHAIN_LOCATION_ON;
    RING_header_s* moving = const_cast<RING_header_s*>(chain);
    const double base =
        tolerance ? *tolerance : location_tolerance(moving, approximation(moving), approximation(closed));
    // The ladder: a wide tolerance first, so that a chain running close along
    // `closed` is settled by a midpoint clearly off it before a narrower one
    // finds a midpoint just off.  At each step the first location other than
    // on of the test points is the answer.
    static const double kLadder[3] = {100.0, 10.0, 1.0};
    const int steps = tolerance ? 1 : 3;
    const std::vector<std::array<double, 2>>& tests = points(chain);
    double used = base;
    for (int i = 0; i < steps; ++i) {
        used = base * (tolerance ? 1.0 : kLadder[i]);
        for (const auto& p : tests) {
            const CHAIN_LOCATION where = point_location(closed, p.data(), used);
            if (where != CHAIN_LOCATION_ON) return where;
        }
    }
    if (!is_closed(chain)) return CHAIN_LOCATION_ON;
    return settle_by_booleans(moving, closed, used);
}

CHAIN_LOCATION ChainChainLocation(const RING_header_s* chain, RING_header_s* closed, const double* tolerance) {
    CHAIN__ChainLocations once;
    return once.locate(chain, closed, tolerance);
}

CHAIN_LOCATION ChainIntChainLocation(const RING_header_s* chain, RING_header_s* closed, const double* tolerance,
                                     bool* intersect) {
    if (!closed || !is_closed(closed) || !shape_data(closed)) return -1;
    if (!chain || !chain->first || !shape_data(chain)) return -1;
    if (chain == closed) return CHAIN_LOCATION_ON;
    RING_header_s* moving = const_cast<RING_header_s*>(chain);
    if (!CHAIN_to_chain_has_intersections(moving, closed, nullptr)) return ChainChainLocation(chain, closed, tolerance);
    if (intersect) *intersect = true;
    const double used = tolerance ? *tolerance : location_tolerance(moving, closed);
    bool inside = false, outside = false, on = false;
    // The vertex points are located after the midpoints for open chains as
    // well: an open chain crossing the closed one with every midpoint on one
    // side still has an end on the other.
    for (const auto& p : test_points(chain, true)) {
        const CHAIN_LOCATION where = ChainPointLocation(closed, p.data(), &used);
        inside = inside || where == CHAIN_LOCATION_INSIDE;
        outside = outside || where == CHAIN_LOCATION_OUTSIDE;
        on = on || where == CHAIN_LOCATION_ON;
        if (inside && outside) return -1;
    }
    if (inside) return on ? CHAIN_LOCATION(CHAIN_LOCATION_INSIDE_TOUCHING) : CHAIN_LOCATION(CHAIN_LOCATION_INSIDE);
    if (outside) return on ? CHAIN_LOCATION(CHAIN_LOCATION_OUTSIDE_TOUCHING) : CHAIN_LOCATION(CHAIN_LOCATION_OUTSIDE);
    return CHAIN_LOCATION_ON;
}

RING_header_s* CHAIN_violates_by_location(const RING_header_s* chain, const RING_header_s* regions) {
    if (!chain || !regions) return nullptr;
    RING_header_s* outside_pocket = nullptr;
    for (RING_header_s* region : shapes_of(regions)) {
        if (merrow1::is_island(region)) {
            if (ChainChainLocation(chain, region, nullptr) == CHAIN_LOCATION_INSIDE) return region;
        } else if (merrow1::is_closed_pocket(region) && ChainChainLocation(chain, region, nullptr) == CHAIN_LOCATION_OUTSIDE) {
            outside_pocket = region;
        }
    }
    return outside_pocket;
}

namespace {

// The older engine's answer of CHAIN_chain_violate_region.
RING_header_s* violate_by_split_network(RING_header_s* chain, RING_header_s* regions) {
    MERROW1_SCRATCH_POOL(pool, "violating shapes");
    RING_header_s* intersections = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    ChainToChainsInt(chain, regions, intersections, true);
    RING_header_s* network = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    ChainsSplit(intersections, network);
    CHAIN_clean_split_chains(network);
    // Every intersected chain met only at its own junctions: nothing crosses.
    if (network->count == intersections->count) return nullptr;
    RING_header_s* points = nullptr;
    for (RING_node_s* node : merrow1::ring_nodes(intersections)) {
        RING_header_s* sub = RING_ask_node_subring(node);
        if (sub && sub->main_data == chain) points = sub;
    }
    if (!points) return nullptr;
    std::vector<RING_node_s*> walk = merrow1::ring_nodes(points);
    if (!is_closed(chain) && !walk.empty()) walk.pop_back();
    bool leading = true;
    for (RING_node_s* point : walk) {
        auto* junction_node =
            static_cast<RING_node_s*>(APP_DATA__ask_app_data(point->app_data, CHAIN_APP_DATA_SPLIT_JUNCTION));
        RING_header_s* junction = junction_node ? RING_ask_node_subring(junction_node) : nullptr;
        if (!junction) continue;
        const std::vector<RING_node_s*> ends = merrow1::ring_nodes(junction);
        if (leading) {
            bool leaves_forward = false;
            for (RING_node_s* end : ends) {
                const auto* record = static_cast<const SPLIT_CHAIN_s*>(end->main_data);
                if (record && record->piece && record->piece->start && record->piece->start->chain == chain &&
                    record->reversed == 0)
                    leaves_forward = true;
            }
            if (leaves_forward) continue;
            leading = false;
        }
        for (RING_node_s* end : ends) {
            const auto* record = static_cast<const SPLIT_CHAIN_s*>(end->main_data);
            if (record && record->piece && record->piece->start && record->piece->start->chain != chain)
                return record->piece->start->chain;
        }
    }
    return nullptr;
}

}  // namespace

RING_header_s* CHAIN_chain_violate_region(RING_header_s* chain, RING_header_s* regions) {
    if (!chain || !regions || !chain->first) return nullptr;
    if (CHAIN_ask_use_new_boolean())
        return CHAIN_check_chain_violates_region(chain, regions, nullptr, nullptr, nullptr, nullptr);
    try {
        return merrow1::run_converting([&] { return violate_by_split_network(chain, regions); });
    } catch (const Korvo::Error::Exception& error) {
        // Reported through the module error code, then raised again: an error
        // is never an answer of "no violation".
        CERR__set_error_code(error.askCode() ? error.askCode() : 1);
        ERROR_note(kFile, __LINE__, "Error Validating Ramp Engage");
        throw;
    }
}

namespace {

// The point at the far end of the piece of an end record.
const double* far_point(const SPLIT_CHAIN_s* record) {
    const POINT_ON_CHAIN_s* far = record->reversed ? record->piece->start : record->piece->end;
    return far ? far->point : nullptr;
}

// Two pieces end at the same point, or run together, within this.
const double kSamePoint = 1e-6;

bool same_point(const double* a, const double* b) {
    return a && b && std::fabs(a[0] - b[0]) <= kSamePoint && std::fabs(a[1] - b[1]) <= kSamePoint;
}

// A point of the piece halfway along its parameter range.
bool piece_middle(const PART_OF_CHAIN_s* piece, double out[2]) {
    const POINT_ON_CHAIN_s* start = piece->start;
    const POINT_ON_CHAIN_s* end = piece->end;
    if (!start || !end || !start->chain) return false;
    double to = end->parameter;
    if (to <= start->parameter && is_closed(start->chain)) to += start->chain->count;
    double middle = 0.5 * (start->parameter + to);
    if (is_closed(start->chain) && middle > start->chain->count) middle -= start->chain->count;
    Korvo::Math::Point2 point{0.0, 0.0};
    if (!ChainGetParamPoint(start->chain, middle, &point)) return false;
    out[0] = point.x;
    out[1] = point.y;
    return true;
}

// Whether two pieces that end at the same points run along each other: the
// middle of each lies on the other (within 1e-6) and their lengths agree.
bool run_together(const PART_OF_CHAIN_s* a, const PART_OF_CHAIN_s* b) {
    double mid_a[2], mid_b[2];
    if (!piece_middle(a, mid_a) || !piece_middle(b, mid_b)) return false;
    return PartOfChainPointMinDis(b, mid_a, nullptr) <= kSamePoint &&
           PartOfChainPointMinDis(a, mid_b, nullptr) <= kSamePoint &&
           std::fabs(CHAIN_length_of_part_of_chain(a) - CHAIN_length_of_part_of_chain(b)) <= kSamePoint;
}

// Deletes an end record and its twin in the far junction.
void remove_with_twin(RING_header_s* junction, RING_node_s* end) {
    RING_header_s* far_junction = nullptr;
    RING_node_s* twin = NextSplitChain(static_cast<const SPLIT_CHAIN_s*>(end->main_data), &far_junction);
    if (twin && far_junction && twin != end) RING_delete_node(far_junction, twin);
    RING_delete_node(junction, end);
}

}  // namespace

bool CHAIN_remove_duplicate_segment(RING_header_s* chain, RING_header_s* out, CHAIN_vertex_source_callback_t merge) {
    if (!chain || !out || !chain->first || !shape_data(chain)) return false;
    return merrow1::run_converting([&] {
        MERROW1_SCRATCH_POOL(pool, "intersect shapes");
        RING_header_s* intersections = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        ChainIntersection(chain, intersections);
        RING_header_s* network = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        ChainsSplit(intersections, network);
        if (network->count < 2) return false;
        bool changed = false;
        for (RING_node_s* junction_node : merrow1::ring_nodes(network)) {
            RING_put_node_app_data(network, junction_node, CHAIN_APP_DATA_SCRATCH_MARK, junction_node);
            RING_header_s* junction = RING_ask_node_subring(junction_node);
            if (!junction) continue;
            // Pairs of records of different pieces whose pieces end at one
            // point: both pieces go, with their twins.  The scan restarts after
            // a removal, bounded by the records the junction held.
            for (int guard = junction->count; guard >= 0; --guard) {
                bool removed = false;
                const std::vector<RING_node_s*> ends = merrow1::ring_nodes(junction);
                for (std::size_t i = 0; i < ends.size() && !removed; ++i) {
                    const auto* a = static_cast<const SPLIT_CHAIN_s*>(ends[i]->main_data);
                    for (std::size_t j = i + 1; j < ends.size() && !removed; ++j) {
                        const auto* b = static_cast<const SPLIT_CHAIN_s*>(ends[j]->main_data);
                        if (!a || !b || a->piece == b->piece) continue;
                        // Ends at one point alone do not make a doubled
                        // segment (the two halves of a loop through two
                        // junctions share both ends): the pieces must run
                        // along each other.
                        if (!same_point(far_point(a), far_point(b)) || !run_together(a->piece, b->piece)) continue;
                        remove_with_twin(junction, ends[j]);
                        remove_with_twin(junction, ends[i]);
                        removed = changed = true;
                    }
                }
                if (!removed) break;
            }
        }
        for (RING_node_s* junction_node : merrow1::ring_nodes(network))
            RING_delete_app_data_of_node(network, junction_node, CHAIN_APP_DATA_SCRATCH_MARK);
        if (changed) {
            // The loops are walked into a list of out's pool, so that they
            // outlive the scratch pool.
            RING_header_s* loops = RING_create_in_pool(nullptr, RING_TYPE_LIST, out->pool);
            try {
                ChainsMinimalLoops(intersections, network, shape_data(chain)->material_side, loops, merge);
            } catch (...) {
                RING_delete(loops);
                throw;
            }
            RING_append_ring(out, loops);
            RING_delete(loops);
        }
        return changed;
    });
}

// ---------------------------------------------------------------------------
// Offset of a set

namespace {

// Everything ChainsOffset makes besides `out`: the offset lists (which own
// their chains) and the scratch list that refers to the chains to combine.
// On a failure path the loop-class records (key 7) the boolean left on the
// scratch chains are dropped.
struct OffsetWork {
    RING_header_s* scratch = nullptr;
    std::vector<RING_header_s*> offsets;
    bool failed = true;

    explicit OffsetWork(CMEM_pool_s* pool) : scratch(RING_create_in_pool(nullptr, RING_TYPE_LIST, pool)) {
        RING_set_sub_ring_delfunc(scratch, nullptr);
    }
    ~OffsetWork() {
        if (failed)
            for (RING_header_s* chain : shapes_of(scratch)) merrow1::delete_loop_class(chain);
        RING_delete(scratch);
        for (RING_header_s* list : offsets) RING_delete(list);
    }
    OffsetWork(const OffsetWork&) = delete;
    OffsetWork& operator=(const OffsetWork&) = delete;

    RING_header_s* offset(RING_header_s* chain, double distance, SIDE side, CORNER_CONTROL corner, CMEM_pool_s* pool) {
        RING_header_s* list = CHAIN_offset(chain, distance, corner, side, MCHN_assign_seg_to_stocked_seg,
                                           MCHN_trace_vertex_same_ent_ang, MCHN_merge_segment_app_data, pool, nullptr);
        if (list && !list->first) {
            RING_delete(list);
            list = nullptr;
        }
        if (list) offsets.push_back(list);
        return list;
    }
    void refer(RING_header_s* list_or_chain) {
        if (list_or_chain->type == RING_TYPE_CHAIN) {
            RING_insert_after(scratch, scratch->last, list_or_chain);
            return;
        }
        for (RING_header_s* chain : shapes_of(list_or_chain)) RING_insert_after(scratch, scratch->last, chain);
    }
};

// Takes out of `out` every closed pocket lying inside an island of `out`;
// the island gets key 104.
void drop_pockets_in_islands(RING_header_s* out) {
    for (RING_node_s* node : merrow1::ring_nodes(out)) {
        RING_header_s* pocket = RING_ask_node_subring(node);
        if (!merrow1::is_closed_pocket(pocket)) continue;
        for (RING_header_s* island : shapes_of(out)) {
            if (island == pocket || !merrow1::is_island(island)) continue;
            if (ChainChainLocation(pocket, island, nullptr) != CHAIN_LOCATION_INSIDE) continue;
            RING_put_header_app_data(island, APP_DATA_VIOLATED_REGION, island->pool);
            RING_set_node_subring(node, nullptr);
            RING_delete_node(out, node);
            break;
        }
    }
}

}  // namespace

int ChainsOffset(RING_header_s* chains, const double* distance, bool all, SIDE side, CORNER_CONTROL corner,
                 RING_header_s* out) {
    if (!chains || !distance || !out || !std::isfinite(*distance)) return 0;
    const std::vector<RING_header_s*> inputs = shapes_of(chains);
    if (inputs.empty()) return 0;
    if (corner == 0) corner = ADD_ARC;
    return merrow1::run_converting([&] {
        OffsetWork work(out->pool);
        int done = 0;
        if (all) {
            // 2. Every chain offset, the results united.
            for (RING_header_s* chain : inputs)
                if (RING_header_s* list = work.offset(chain, *distance, side, corner, out->pool)) work.refer(list);
            if (!work.scratch->first) return 0;
            done = ChainsBoolean(work.scratch, side, out, MCHN_merge_segment_app_data);
        } else {
            // 3. The first chain offset, the others as they are.
            for (std::size_t i = 1; i < inputs.size(); ++i) work.refer(inputs[i]);
            RING_header_s* first = work.offset(inputs[0], *distance, side, corner, out->pool);
            if (!first) {
                for (std::size_t i = 1; i < inputs.size(); ++i)
                    RING_insert_after(out, out->last, RING_dup_reference(inputs[i]));
                return 0;
            }
            done = CHAIN_boolean_two_lists(first, work.scratch, side, out, MCHN_merge_segment_app_data);
        }
        if (!done) return 0;
        // 4. Chains whose link to their source crosses a region go, and so do
        //    pockets lying in islands of the result.
        CHAIN_remove_violate_chains(out, chains);
        drop_pockets_in_islands(out);
        // 5. The answer.
        if (!out->first) return 0;
        work.failed = false;
        if (merrow1::is_island(inputs[0]) || !merrow1::is_closed_pocket(inputs[0])) return 1;
        return merrow1::is_closed_pocket(RING_ask_node_subring(out->first)) ? 1 : 0;
    });
}
