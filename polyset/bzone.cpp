// Boundary zones: maps of zones and the boundaries between them, their
// curves, zone merging and the functor walk.
#include <merrow1/bzone.h>

#include <merrow1/poly_intxn.h>
#include <merrow1/poly_seg.h>

#include "internal/check.h"

#include <stend/error.h>
#include <stend/system.h>
#include <velte/ring.h>

#include <unordered_set>
#include <vector>

namespace {

// Detects a walk along links that runs into a cycle it never leaves (Brent's
// method): the walk reports each record it reaches; a record met again at the
// saved position means the links loop.  Every cycle is found within twice
// its length after the walk enters it, so a walk over corrupted links ends
// instead of hanging, without knowing the number of records in advance.
class CycleGuard {
public:
    // False when the record closes a cycle of the links walked so far.
    bool step(const void* record) {
        if (record == m_saved) return false;
        if (++m_steps == m_power) {
            m_saved = record;
            m_power *= 2;
            m_steps = 0;
        }
        return true;
    }

private:
    const void* m_saved = nullptr;
    long m_power = 1;
    long m_steps = 0;
};

const char kBoundaryListCycle[] = "Zone boundary list loops back on itself";
const char kMergeLinkCycle[] = "Zone merge links loop back on themselves";
const char kCurveRingCycle[] = "Boundary curve ring loops back on itself";
const char kWalkListTooLong[] = "Zone boundary list longer than the map's boundaries";

// Block shift of a map for the expected zone count: the smallest s >= 3 with
// 2^s >= count (capped where the block arrays cap their shift).
int block_shift(int expected_zones) {
    int shift = 3;
    while (shift < 28 && (1L << shift) < static_cast<long>(expected_zones)) ++shift;
    return shift;
}

BZONE_boundary_s* boundary_at(const BZONE_map_s* map, int i) {
    return static_cast<BZONE_boundary_s*>(DYNAMIC_ARRAY_element_at(map->boundaries, i));
}

// A boundary holds curves to free when its built-in curve is active or other
// curves hang on it (extra curves stay when only the built-in curve was
// emptied); either way its curves are freed with the map.
bool holds_curves(const BZONE_boundary_s* boundary) {
    return boundary->curve.type != BZONE_CURVE_NONE || boundary->curve.representation ||
           boundary->curve.next != &boundary->curve;
}

void free_all_curves(BZONE_map_s* map) {
    const int count = map->boundaries->num_active;
    for (int i = 0; i < count; ++i) {
        BZONE_boundary_s* boundary = boundary_at(map, i);
        if (holds_curves(boundary)) BZONE_boundary_free_rep(boundary);
    }
}

template <class T>
using HostSet = std::unordered_set<const T*, std::hash<const T*>, std::equal_to<const T*>,
                                   Korvo::Memory::SMAlloc<const T*>>;

}  // namespace

// ---------------------------------------------------------------------------
// Maps
// ---------------------------------------------------------------------------

BZONE_map_s* BZONE_create_map(CMEM_pool_s* pool, int expected_zones) {
    MERROW1_REQUIRE(pool, "DUE_TO_INVALID_INPUT", nullptr);
    BZONE_map_s* map = CMEM_NEW(pool, BZONE_map_s);
    if (!map) return nullptr;
    const int shift = block_shift(expected_zones);
    map->pool = pool;
    map->zones = DYNAMIC_ARRAY__create(pool, static_cast<int>(sizeof(BZONE_s)), shift, 4);
    map->boundaries = DYNAMIC_ARRAY__create(pool, static_cast<int>(sizeof(BZONE_boundary_s)), shift, 4);
    map->first_zone = nullptr;
    if (!map->zones || !map->boundaries) {
        DYNAMIC_ARRAY__destroy(map->zones);
        DYNAMIC_ARRAY__destroy(map->boundaries);
        CMEM_private_delete_object(map);
        return nullptr;
    }
    return map;
}

void BZONE_destroy_map(BZONE_map_s* map) {
    if (!map) return;
    free_all_curves(map);
    DYNAMIC_ARRAY__destroy(map->zones);
    DYNAMIC_ARRAY__destroy(map->boundaries);
    CMEM_private_delete_object(map);
}

void BZONE_reset_map(BZONE_map_s* map) {
    if (!map) return;
    free_all_curves(map);
    DA_set_num_active(map->zones, 0);
    DA_set_num_active(map->boundaries, 0);
    map->first_zone = nullptr;
}

BZONE_s* BZONE_map_create_zone(BZONE_map_s* map, int value, int tag) {
    MERROW1_REQUIRE(map && (value == 0 || value == 1), "DUE_TO_INVALID_INPUT", nullptr);
    // Records taken after a reset hold old contents: set every field.
    BZONE_s* zone = static_cast<BZONE_s*>(DYNAMIC_ARRAY_take_element(map->zones));
    if (!zone) return nullptr;
    zone->tag = tag;
    zone->first_boundary = nullptr;
    zone->value = value;
    zone->merged_into = nullptr;
    zone->client[0] = zone->client[1] = nullptr;
    return zone;
}

BZONE_boundary_s* BZONE_map_create_boundary(BZONE_map_s* map, BZONE_s* zone0, BZONE_s* zone1, int tag) {
    MERROW1_REQUIRE(map && zone0 && zone1 && zone0->value == 0 && zone1->value == 1, "DUE_TO_INVALID_INPUT",
                    nullptr);
    BZONE_boundary_s* boundary = static_cast<BZONE_boundary_s*>(DYNAMIC_ARRAY_take_element(map->boundaries));
    if (!boundary) return nullptr;
    boundary->tag = tag;
    boundary->zone[0] = zone0;
    boundary->zone[1] = zone1;
    boundary->next[0] = zone0->first_boundary;
    boundary->next[1] = zone1->first_boundary;
    zone0->first_boundary = boundary;
    zone1->first_boundary = boundary;
    boundary->curve.representation = nullptr;
    boundary->curve.type = BZONE_CURVE_NONE;
    boundary->curve.next = &boundary->curve;
    boundary->curve.client = 0;
    return boundary;
}

// ---------------------------------------------------------------------------
// Curves
// ---------------------------------------------------------------------------

BZONE_curve_s* BZONE_map_create_boundary_curve(CMEM_pool_s* pool, BZONE_boundary_s* boundary, BZONE_curve_s* after,
                                               void* representation, BZONE_curve_type_t type) {
    MERROW1_REQUIRE(boundary, "DUE_TO_INVALID_INPUT", nullptr);
    BZONE_curve_s* curve;
    if (after) {
        curve = CMEM_NEW(pool, BZONE_curve_s);
        if (!curve) return nullptr;
        curve->next = after->next;
        after->next = curve;
    } else {
        BZONE_boundary_free_rep(boundary);
        curve = &boundary->curve;
    }
    curve->representation = representation;
    curve->type = type;
    curve->client = 0;
    return curve;
}

BZONE_curve_s* BZONE_map_find_boundary_curve(BZONE_boundary_s* boundary, const void* representation,
                                             BZONE_curve_s** previous) {
    if (!boundary) return nullptr;
    BZONE_curve_s* const first = &boundary->curve;
    // Walk the ring once from the built-in curve; `last` ends on the curve
    // before the built-in one.
    BZONE_curve_s* found = nullptr;
    BZONE_curve_s* found_previous = nullptr;
    BZONE_curve_s* last = first;
    CycleGuard guard;
    for (BZONE_curve_s* c = first->next; c != first; c = c->next) {
        if (!guard.step(c)) ERROR_internal(__FILE__, __LINE__, kCurveRingCycle);
        if (!found && c->representation == representation) {
            found = c;
            found_previous = last;
        }
        last = c;
    }
    if (first->representation == representation) {
        found = first;
        found_previous = last;
    }
    if (found && previous) *previous = found_previous;
    return found;
}

void* BZONE_boundary_extract_single_rep(BZONE_boundary_s* boundary) {
    MERROW1_REQUIRE(boundary, "DUE_TO_INVALID_INPUT", nullptr);
    if (boundary->curve.next != &boundary->curve)
        ERROR_internal(__FILE__, __LINE__, "Extract single rep on multiple curve boundary!");
    void* representation = boundary->curve.representation;
    boundary->curve.representation = nullptr;
    boundary->curve.type = BZONE_CURVE_NONE;
    return representation;
}

void BZONE_curve_free_rep(BZONE_curve_s* curve) {
    if (!curve) return;
    void* representation = curve->representation;
    const BZONE_curve_type_t type = curve->type;
    // Empty the curve first: a destroy function that raises leaves no curve
    // naming freed memory.
    curve->representation = nullptr;
    curve->type = BZONE_CURVE_NONE;
    if (!representation) return;
    switch (type) {
    case BZONE_CURVE_POLY_SEG:
        POLY_SEG_destroy(static_cast<RING_header_s*>(representation));
        break;
    case BZONE_CURVE_POLY_INTXN:
        POLY_INTXN_destroy(static_cast<POLY_INTXN_s*>(representation));
        break;
    case BZONE_CURVE_RING:
        RING_delete(static_cast<RING_header_s*>(representation));
        break;
    default:
        break;
    }
}

void BZONE_boundary_free_rep(BZONE_boundary_s* boundary) {
    if (!boundary) return;
    BZONE_curve_s* const first = &boundary->curve;
    BZONE_curve_free_rep(first);
    // Unlink each extra curve before freeing it so the ring stays whole if a
    // destroy function raises.
    CycleGuard guard;
    while (first->next != first) {
        BZONE_curve_s* c = first->next;
        if (!guard.step(c)) ERROR_internal(__FILE__, __LINE__, kCurveRingCycle);
        first->next = c->next;
        BZONE_curve_free_rep(c);
        CMEM_private_delete_object(c);
    }
}

// ---------------------------------------------------------------------------
// Zones
// ---------------------------------------------------------------------------

BZONE_s* BZONE_live_zone(BZONE_s* zone) {
    CycleGuard guard;
    while (zone && zone->merged_into) {
        if (!guard.step(zone)) ERROR_internal(__FILE__, __LINE__, kMergeLinkCycle);
        zone = zone->merged_into;
    }
    return zone;
}

BZONE_s* BZONE_merge_zones(BZONE_s* a, BZONE_s* b) {
    // 1. The live zones.
    BZONE_s* live_a = BZONE_live_zone(a);
    BZONE_s* live_b = BZONE_live_zone(b);
    MERROW1_REQUIRE(live_a && live_b, "DUE_TO_INVALID_INPUT", live_a ? live_a : live_b);
    // 2. Already one zone.
    if (live_a == live_b) return live_a;
    // 3. Only zones of one value merge (a boundary separates different values).
    if (live_a->value != live_b->value) ERROR_internal(__FILE__, __LINE__, "Attempt to merge disimilar zones");
    // 4. Hand b's boundaries to a on b's side, then splice b's list in front
    //    of a's.  The walk is checked for a cycle before anything changes so
    //    that an error leaves the zones as they were.
    const int side = live_b->value;
    BZONE_boundary_s* last = nullptr;
    {
        CycleGuard guard;
        for (BZONE_boundary_s* bd = live_b->first_boundary; bd; bd = bd->next[side]) {
            if (!guard.step(bd)) ERROR_internal(__FILE__, __LINE__, kBoundaryListCycle);
            last = bd;
        }
    }
    if (last) {
        for (BZONE_boundary_s* bd = live_b->first_boundary; bd; bd = bd->next[side]) bd->zone[side] = live_a;
        last->next[side] = live_a->first_boundary;
        live_a->first_boundary = live_b->first_boundary;
        live_b->first_boundary = nullptr;
    }
    // 5. Stale pointers to b lead on to a.
    live_b->merged_into = live_a;
    return live_a;
}

void BZONE_set_first_boundary(BZONE_s* zone, BZONE_s* neighbour) {
    if (!zone || !neighbour || !zone->first_boundary) return;
    if (neighbour->value != (zone->value ^ 1))
        ERROR_internal(__FILE__, __LINE__, "Mismatched zone values in adjacent zones.");
    const int side = zone->value;
    const int other = side ^ 1;
    BZONE_boundary_s* head = zone->first_boundary;
    if (head->zone[other] == neighbour) return;
    CycleGuard guard;
    for (BZONE_boundary_s* before = head; before->next[side]; before = before->next[side]) {
        if (!guard.step(before)) ERROR_internal(__FILE__, __LINE__, kBoundaryListCycle);
        BZONE_boundary_s* bd = before->next[side];
        if (bd->zone[other] == neighbour) {
            before->next[side] = bd->next[side];
            bd->next[side] = head;
            zone->first_boundary = bd;
            return;
        }
    }
}

// The walk, depth-first in the order of the recursive definition (a zone's
// functor, then its boundaries in list order, each crossing walked to the
// end before the next boundary is looked at), on an explicit stack:
// 1. Enter a zone: call the zone functor with the zone it was reached from,
//    mark it reached and push a frame at the head of its boundary list.
// 2. For the top frame, take its next boundary (popping the frame at the end
//    of the list).  Skip it when it leads back to the frame's previous zone,
//    is inactive, or was seen already from its other zone.
// 3. Mark it seen and call the boundary functor; when it is still active (or
//    there is no boundary functor) and the zone behind it has not been
//    reached, enter that zone (step 1).
// Reached zones and seen boundaries are sets, so every zone is entered once
// and every boundary handed over once even when the zones and active
// boundaries form cycles; the stack holds at most one frame per zone.  A
// zone's list holds each boundary at most once, so a frame takes at most as
// many steps as the map has boundaries; more means broken links.
void BZONE_map_apply_zone_boundary_functors(BZONE_map_s* map, void* data, BZONE_zone_functor_t zone_functor,
                                            BZONE_boundary_functor_t boundary_functor) {
    if (!map || !map->first_zone) return;
    // A first zone that was merged away has handed its boundaries to its
    // live zone: start there.
    BZONE_s* start = BZONE_live_zone(map->first_zone);

    struct Frame {
        BZONE_s* zone;
        BZONE_s* previous;
        BZONE_boundary_s* boundary;  // the boundary to look at next, or the one just walked
        bool advance;                // step past `boundary` before looking again
        long steps;
    };
    std::vector<Frame, Korvo::Memory::SMAlloc<Frame>> stack;
    HostSet<BZONE_s> reached;
    HostSet<BZONE_boundary_s> seen;

    auto enter = [&](BZONE_s* zone, BZONE_s* previous) {
        reached.insert(zone);
        if (zone_functor) zone_functor(data, zone, previous);
        stack.push_back(Frame{zone, previous, zone->first_boundary, false, 0});
    };

    enter(start, nullptr);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const int side = frame.zone->value;
        if (frame.advance) {
            frame.boundary = frame.boundary->next[side];
            frame.advance = false;
        }
        BZONE_boundary_s* boundary = frame.boundary;
        if (!boundary) {
            stack.pop_back();
            continue;
        }
        // (Read each time: a functor may add boundaries.)
        if (++frame.steps > map->boundaries->num_active) ERROR_internal(__FILE__, __LINE__, kWalkListTooLong);
        frame.advance = true;
        BZONE_s* const zone = frame.zone;
        BZONE_s* const other = boundary->zone[side ^ 1];
        if (other == frame.previous || !BZONE_boundary_is_active(boundary) || seen.count(boundary)) continue;
        seen.insert(boundary);
        if (boundary_functor) boundary_functor(data, boundary);
        if ((!boundary_functor || BZONE_boundary_is_active(boundary)) && !reached.count(other)) enter(other, zone);
    }
}
