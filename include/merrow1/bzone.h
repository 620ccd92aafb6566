// Boundary zones: a map of how closed boundary curves cut the plane.
//
// A zone is a connected area with a value of 0 (no material) or 1 (material);
// a boundary separates exactly one zone of value 0 from one zone of value 1
// and carries one or more curves that hold its geometry (a poly-segment poly,
// an intersection loop or a plain ring list).  The region booleans fill a map
// when they are asked for zones; callers then walk it with a zone functor and
// a boundary functor to pull out regions, holes and their nesting.
//
// Invariants:
// - A boundary names its two zones by value: zone[v] has value v.  It sits in
//   the boundary lists of both zones at once, linked through next[v] in the
//   list of zone[v].
// - The built-in curve of a boundary is always its first curve; the curves of
//   one boundary form a circular list through `next` that starts and ends at
//   the built-in curve.  The built-in curve's type is the boundary's active
//   mark: type 0 means inactive, and walks do not cross it.
// - A merged zone names the zone that absorbed it; following merged_into until
//   it is null gives the live zone.  Boundaries always name live zones.
//
// Ownership: zones and boundaries live in the map's block arrays and are never
// freed one by one; curves other than the built-in ones are allocated singly
// in the map's pool; every representation belongs to its curve and is
// destroyed according to the curve type.
#pragma once

#include <merrow1/export.h>
#include <merrow1/dynamic_array.h>

#include <velte/cmem.h>

MERROW1_API_BEGIN

// Curve representations.  Other values may be stored by a builder for
// representations it owns itself; the map never frees those.
enum BZONE_curve_type_t : int {
    BZONE_CURVE_NONE = 0,
    BZONE_CURVE_POLY_SEG = 1,   // poly-segment poly, freed with POLY_SEG_destroy
    BZONE_CURVE_POLY_INTXN = 2, // POLY_INTXN_s loop, freed with POLY_INTXN_destroy
    BZONE_CURVE_RING = 3,       // plain ring list, freed with RING_delete
};

struct BZONE_s;
struct BZONE_boundary_s;

// The part a zone and a boundary share: both records begin with the tag, so
// a per-side slot of the intersection network can refer to either.
struct BZONE_base_s {
    int tag;
};

// One boundary curve.
struct BZONE_curve_s {
    void* representation;     // owned by the curve
    BZONE_curve_type_t type;
    BZONE_curve_s* next;      // circular list through the built-in curve
    unsigned int client;      // 0 when the curve is made
};

// One zone.  `tag` (inherited) is the builder's number.
struct BZONE_s : BZONE_base_s {
    BZONE_boundary_s* first_boundary;  // head of the list of boundaries touching the zone
    int value;                         // 0 or 1
    BZONE_s* merged_into;              // null while live
    void* client[2];                   // null when the zone is made
};

// One boundary.  `tag` (inherited) is the builder's number.
struct BZONE_boundary_s : BZONE_base_s {
    BZONE_s* zone[2];             // zone[v] has value v
    BZONE_boundary_s* next[2];    // next boundary in the list of zone[v]
    BZONE_curve_s curve;          // the built-in, first curve
};

struct BZONE_map_s {
    CMEM_pool_s* pool;         // holds the record, its arrays and every extra curve
    DYNAMIC_ARRAY_s* zones;    // of BZONE_s, in creation order
    DYNAMIC_ARRAY_s* boundaries;  // of BZONE_boundary_s, in creation order
    BZONE_s* first_zone;       // where walks start; set by the builder (the zone at infinity)
};

// Functors of the walk: the zone functor gets (client data, zone, the zone it
// was reached from or null for the first zone), the boundary functor (client
// data, boundary).
typedef void (*BZONE_zone_functor_t)(void* data, BZONE_s* zone, BZONE_s* previous);
typedef void (*BZONE_boundary_functor_t)(void* data, BZONE_boundary_s* boundary);

// Whether the boundary is crossed by walks (its built-in curve has a type).
inline bool BZONE_boundary_is_active(const BZONE_boundary_s* boundary) {
    return boundary->curve.type != BZONE_CURVE_NONE;
}

// ---------------------------------------------------------------------------
// Maps
// ---------------------------------------------------------------------------

// A new empty map in the pool.  Both arrays take blocks of 2^s records, s the
// smallest value of at least 3 with 2^s at least the expected zone count, and
// a block table of 4 entries.  Null for a null pool or a failed allocation.
BZONE_map_s* BZONE_create_map(CMEM_pool_s* pool, int expected_zones);
// Frees the curves of every boundary that holds any, both arrays and the
// record.  Null is ignored.
void BZONE_destroy_map(BZONE_map_s* map);
// Empties the map for reuse: frees the curves as destroy does, sets both
// arrays to 0 elements (their blocks stay) and clears the first zone.  Null
// is ignored.
void BZONE_reset_map(BZONE_map_s* map);

// Appends a live zone with the value (0 or 1) and tag, no boundaries, client
// fields null.  Null for a null map or another value.
BZONE_s* BZONE_map_create_zone(BZONE_map_s* map, int value, int tag);
// Appends an inactive boundary between a zone of value 0 and a zone of value
// 1, at the head of both zones' lists.  Null for a null map or zone, or zones
// of the wrong values.
BZONE_boundary_s* BZONE_map_create_boundary(BZONE_map_s* map, BZONE_s* zone0, BZONE_s* zone1, int tag);

// ---------------------------------------------------------------------------
// Curves
// ---------------------------------------------------------------------------

// Puts a curve on the boundary.  With an after curve, a new curve record is
// allocated in the pool and linked right behind it; without one, every curve
// of the boundary is freed first and the built-in curve is used.  The curve
// gets the representation and type and client word 0.  Null for a null
// boundary or a failed allocation.
BZONE_curve_s* BZONE_map_create_boundary_curve(CMEM_pool_s* pool, BZONE_boundary_s* boundary, BZONE_curve_s* after,
                                               void* representation, BZONE_curve_type_t type);
// The curve of the boundary that holds the representation (null when none
// does, or for a null boundary); *previous (when given) gets the curve before
// it in the ring: for the built-in curve, the last curve of the ring.
BZONE_curve_s* BZONE_map_find_boundary_curve(BZONE_boundary_s* boundary, const void* representation,
                                             BZONE_curve_s** previous);
// Takes the representation out of a boundary that has only its built-in
// curve; the boundary becomes inactive and the caller owns the
// representation.  A boundary with more curves is the internal error
// "Extract single rep on multiple curve boundary!".
void* BZONE_boundary_extract_single_rep(BZONE_boundary_s* boundary);
// Destroys the curve's representation according to its type (nothing for
// type 0 or an unknown type) and leaves the curve empty with type 0.
void BZONE_curve_free_rep(BZONE_curve_s* curve);
// Frees the representation of every curve of the boundary and the record of
// every curve but the built-in one, which is left alone and empty (the
// boundary becomes inactive).
void BZONE_boundary_free_rep(BZONE_boundary_s* boundary);

// ---------------------------------------------------------------------------
// Zones
// ---------------------------------------------------------------------------

// The live zone of a zone (following merged_into); null for null.
BZONE_s* BZONE_live_zone(BZONE_s* zone);
// Merges the live zones of a and b; a's survives and is returned, b's
// boundaries go in front of its list in their own order.  Zones of different
// values are the internal error "Attempt to merge disimilar zones".
BZONE_s* BZONE_merge_zones(BZONE_s* a, BZONE_s* b);
// Moves the boundary the zone shares with the neighbour to the head of the
// zone's list (the first one found; nothing when none).  Nothing for a null
// zone or neighbour or a zone without boundaries; a neighbour of the same
// value is the internal error "Mismatched zone values in adjacent zones.".
void BZONE_set_first_boundary(BZONE_s* zone, BZONE_s* neighbour);

// Walks the map depth-first from the live zone of its first zone (nothing
// without one).  Each zone reached is given to the zone functor once, with
// the zone it was reached from; for each zone, in list order, every active
// boundary not leading back to that previous zone and not seen before is
// given to the boundary functor once, and when it is still active afterwards
// the zone behind it is walked unless it was reached already.  A boundary
// functor can thus stop the walk at a boundary by making it inactive.  Either
// functor may be null.  Zone graphs with cycles are walked without
// revisiting; the walk keeps its own stack, not the machine's.
void BZONE_map_apply_zone_boundary_functors(BZONE_map_s* map, void* data, BZONE_zone_functor_t zone_functor,
                                            BZONE_boundary_functor_t boundary_functor);

MERROW1_API_END
