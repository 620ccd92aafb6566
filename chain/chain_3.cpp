// Reversing, restarting, opening, trimming, joining and copying chains.
#include <merrow1/chain_edit.h>
#include <merrow1/app_data_keys.h>

#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_merge.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_source.h>

#include "chain/chain_record.h"
#include "internal/check.h"

#include <cmath>
#include <cstring>

namespace {

// Point-bound vertex keys.
enum {
    kKeyZ = CHAIN_APP_DATA_Z,                  // Z at the vertex: one double, shared
    kKeyZAfter = CHAIN_APP_DATA_Z_AFTER,       // Z just after the vertex: one double, owned
    kKeySelf131 = CHAIN_APP_DATA_SELF_NODE,    // a reference to the vertex's own node
    kKeySelf258 = CHAIN_APP_DATA_SELF_NODE_2,  // a reference to the vertex's own node
};
// Point-bound keys whose datum simply moves with the point.
const APP_DATA_key_t kMovingKeys[] = {CHAIN_APP_DATA_POINT_OWNED_231, CHAIN_APP_DATA_POINT_OWNED_260,
                                      APP_DATA_SPLIT_VERTEX_SOURCE,   CHAIN_APP_DATA_POINT_157,
                                      CHAIN_APP_DATA_POINT_54,        CHAIN_APP_DATA_POINT_65,
                                      CHAIN_APP_DATA_POINT_263};

const double kSamePointSquared = 1e-16;

using merrow1::arc_of;
using merrow1::is_closed;
using merrow1::main_of;
using merrow1::other_side;
using merrow1::point_of;
using merrow1::vertex_record;

bool has_node(const RING_header_s* chain, const RING_node_s* node) {
    const RING_node_s* walk = chain->first;
    for (int i = 0; i < chain->count && walk; ++i, walk = walk->next)
        if (walk == node) return true;
    return false;
}

double distance(const double a[2], const double b[2]) { return std::hypot(a[0] - b[0], a[1] - b[1]); }

// Frees a datum the chain owns: through the delete function registered for
// the key on the chain when there is one, else as a pool object.
void free_owned(const RING_header_s* chain, APP_DATA_key_t key, void* datum) {
    if (!datum) return;
    bool registered = false;
    RING_app_data_delfunc_t fn = RING_ask_key_delete_func(chain, key, &registered);
    if (registered) {
        if (fn) fn(datum);
        return;
    }
    CMEM_private_delete_object(datum);
}

// ---------------------------------------------------------------------------
// The point-bound data of a vertex, read off it before it moves.
struct PointData {
    double point[2] = {0.0, 0.0};
    void* z = nullptr;
    void* z_after = nullptr;
    void* moving[sizeof kMovingKeys / sizeof kMovingKeys[0]] = {};
    bool self_131 = false;
    bool self_258 = false;
    bool mark = false;
};

PointData read_point_data(const RING_node_s* node) {
    PointData data;
    if (const double* p = point_of(node)) {
        data.point[0] = p[0];
        data.point[1] = p[1];
    }
    data.z = APP_DATA__ask_app_data(node->app_data, kKeyZ);
    data.z_after = APP_DATA__ask_app_data(node->app_data, kKeyZAfter);
    for (size_t i = 0; i < sizeof kMovingKeys / sizeof kMovingKeys[0]; ++i)
        data.moving[i] = APP_DATA__ask_app_data(node->app_data, kMovingKeys[i]);
    data.self_131 = APP_DATA__ask_app_data(node->app_data, kKeySelf131) != nullptr;
    data.self_258 = APP_DATA__ask_app_data(node->app_data, kKeySelf258) != nullptr;
    const CHAIN_vertex_data_s* vertex = vertex_record(node);
    data.mark = vertex && (vertex->flags & CHAIN_VERTEX_POINT_MARK);
    return data;
}

// Unlinks every point-bound key from the vertex; the data is not freed (it
// has been read off and goes to another vertex).
void detach_point_data(RING_node_s* node) {
    for (APP_DATA_key_t key : {APP_DATA_key_t(kKeyZ), APP_DATA_key_t(kKeyZAfter), APP_DATA_key_t(kKeySelf131), APP_DATA_key_t(kKeySelf258)})
        APP_DATA__remove_app_data(&node->app_data, key);
    for (APP_DATA_key_t key : kMovingKeys) APP_DATA__remove_app_data(&node->app_data, key);
    if (CHAIN_vertex_data_s* vertex = vertex_record(node)) vertex->flags &= ~CHAIN_VERTEX_POINT_MARK;
}

// Hangs point-bound data on the vertex.  The Z pair swaps meaning (the Z
// arriving at a point becomes the Z leaving it).  The Z record is shared (the
// host or another chain may hold it too), so it is never written: the vertex
// gets its own copy holding the Z-after value, and the owned Z-after record
// takes the old Z value in place.  Each record stays under its own key, so the
// shared one is never handed to the owned key (and freed by the chain) nor the
// owned one lost.  A Z-after without a Z is dropped and freed.
void attach_point_data(RING_header_s* chain, RING_node_s* node, const PointData& data) {
    CMEM_pool_s* pool = chain->pool;
    if (data.z) {
        void* z_record = data.z;
        if (data.z_after) {
            double* z_after = static_cast<double*>(data.z_after);
            if (double* own = CMEM_NEW(pool, double)) {
                *own = *z_after;
                *z_after = *static_cast<const double*>(data.z);
                z_record = own;
            }
            APP_DATA__add_data(&node->app_data, data.z_after, kKeyZAfter, pool);
        }
        APP_DATA__add_data(&node->app_data, z_record, kKeyZ, pool);
    } else if (data.z_after) {
        free_owned(chain, kKeyZAfter, data.z_after);
    }
    for (size_t i = 0; i < sizeof kMovingKeys / sizeof kMovingKeys[0]; ++i)
        if (data.moving[i]) APP_DATA__add_data(&node->app_data, data.moving[i], kMovingKeys[i], pool);
    if (data.self_131) APP_DATA__add_data(&node->app_data, node, kKeySelf131, pool);
    if (data.self_258) APP_DATA__add_data(&node->app_data, node, kKeySelf258, pool);
    if (data.mark)
        if (CHAIN_vertex_data_s* vertex = vertex_record(node)) vertex->flags |= CHAIN_VERTEX_POINT_MARK;
}

// Relinks the nodes of a chain of two or more vertices into reverse order.
// Open: first, last, ..., second (the first node stays first).  Closed: the
// whole ring runs the other way and starts at the old second node, so it
// reads second, first, last, ..., third.
void relink_reversed(RING_header_s* chain) {
    RING_node_s* first = chain->first;
    RING_node_s* second = first->next;
    if (is_closed(chain)) {
        RING_node_s* third = second->next;
        RING_node_s* node = first;
        for (int i = 0; i < chain->count; ++i) {
            RING_node_s* next = node->next;
            node->next = node->previous;
            node->previous = next;
            node = next;
        }
        chain->first = second;
        chain->last = third;
        return;
    }
    RING_node_s* old_last = chain->last;
    RING_node_s* node = second;
    for (int i = 1; i < chain->count && node; ++i) {
        RING_node_s* next = node->next;
        node->next = node->previous;
        node->previous = next;
        node = next;
    }
    second->next = nullptr;
    first->next = old_last;
    old_last->previous = first;
    chain->last = second;
}

// Radius of an arc vertex from its centre to its end point.
void refit_radius(RING_node_s* node) {
    if (CHAIN_seg_ask_type(node) != SEG_ARC) return;
    end_segment* end = arc_of(node);
    if (end) end->radius = std::hypot(end->x - end->cx, end->y - end->cy);
}

// A new vertex before `node` holding the first part of its segment, up to the
// point: a copy of the vertex ending at the point, with the node's
// application data.  Null when the copy fails.
RING_node_s* insert_vertex_before(RING_header_s* chain, RING_node_s* node, const double point[2]) {
    RING_node_s* fresh = RING_insert_after(chain, node->previous, nullptr);
    if (!fresh) return nullptr;
    if (!ChainVertexCopy(node, chain, fresh)) {
        RING_delete_node(chain, fresh);
        return nullptr;
    }
    double* p = point_of(fresh);
    p[0] = point[0];
    p[1] = point[1];
    refit_radius(fresh);
    ChainVertexAppCopy(node, chain, fresh);
    CHAIN_drop_cached_box(chain);
    return fresh;
}

// Default tolerance of restarts and insertions: five approximation
// tolerances of the chain, that tolerance taken as at least kRestartFloor;
// kRestartDefault for a chain without one.
const double kRestartFloor = 1e-8;
const double kRestartDefault = 5e-8;
double restart_tolerance(const RING_header_s* chain) {
    const CHAIN_main_data_s* data = main_of(chain);
    if (data && data->approximation_tolerance_set) return 5.0 * std::fmax(data->approximation_tolerance, kRestartFloor);
    return kRestartDefault;
}

// A copy of the vertex in another chain's pool: the whole vertex record
// (flags and source surface included) and geometry, and the application data
// the copy can own: records of known size that the vertex owns are
// duplicated, data it shares is referenced, and owned data of unknown size
// stays with the original (which frees it).
RING_node_s* copy_vertex_across(const RING_header_s* from_chain, const RING_node_s* from, RING_header_s* to_chain) {
    RING_node_s* copy = RING_insert_after(to_chain, to_chain->last, nullptr);
    if (!copy) return nullptr;
    if (!ChainVertexCopy(from, to_chain, copy)) {
        RING_delete_node(to_chain, copy);
        return nullptr;
    }
    const CHAIN_vertex_data_s* source = vertex_record(from);
    CHAIN_vertex_data_s* target = vertex_record(copy);
    target->reserved = source->reserved;
    target->source_surface = source->source_surface;
    target->flags = source->flags;
    for (const APP_DATA_s* entry = from->app_data; entry; entry = entry->next) {
        size_t size = 0;
        switch (entry->key) {
            case APP_DATA_SOURCE_SEGMENT: size = sizeof(CHAIN_source_segment_s); break;
            case APP_DATA_SOURCE_VERTEX: size = sizeof(CHAIN_source_chain_source_vertex_s); break;
            case kKeyZAfter: size = sizeof(double); break;
            case CHAIN_APP_DATA_TRACE_VERTEX: case CHAIN_BOX_APP_DATA_KEY: case CHAIN_APP_DATA_CLOSED_WITH_KEY:
            case CHAIN_APP_DATA_OWNED_37: case CHAIN_APP_DATA_STOCK_EXTENSION_SOURCE: case CHAIN_APP_DATA_FIT_GATE:
            case CHAIN_APP_DATA_POINT_OWNED_231: case CHAIN_APP_DATA_POINT_OWNED_260: continue;
            default: break;
        }
        bool registered = false;
        RING_ask_key_delete_func(from_chain, entry->key, &registered);
        if (registered) continue;  // managed by the source chain's own delete function
        void* datum = entry->data;
        if (size) {
            datum = CMEM_ALLOC(to_chain->pool, 1, size);
            if (!datum) continue;
            std::memcpy(datum, entry->data, size);
        }
        if (!APP_DATA__add_data(&copy->app_data, datum, entry->key, to_chain->pool) && size)
            CMEM_private_delete_object(datum);
    }
    return copy;
}

// Copies a chain into the pool: main data, every vertex (geometry and type),
// the closed state.  `track` names a source node whose copy is handed back.
RING_header_s* copy_chain(const RING_header_s* chain, CMEM_pool_s* pool, CHAIN_vertex_source_callback_t callback,
                          bool link, bool deep, const char* source_label, const char* target_label,
                          const RING_node_s* track, RING_node_s** tracked) {
    if (!chain || !pool || chain->type != RING_TYPE_CHAIN) return nullptr;
    RING_header_s* source = const_cast<RING_header_s*>(chain);
    CHAIN_debug_report(3, source_label, source, nullptr);
    RING_header_s* copy = CHAIN_create_with_main_data_copied(chain, pool);
    if (!copy) return nullptr;
    if (link) RING_put_header_app_data(copy, APP_DATA_STOCKED_FROM, source);
    RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) {
        RING_node_s* fresh = RING_insert_after(copy, copy->last, nullptr);
        if (!fresh) break;
        if (!ChainVertexCopy(node, copy, fresh)) {
            RING_delete_node(copy, fresh);
            continue;
        }
        if (deep) CHAIN_attach_source_data(copy, fresh, source, node);
        if (callback) callback(node, node, source, fresh, copy);
        if (node == track && tracked) *tracked = fresh;
    }
    if (is_closed(chain) && copy->first) {
        copy->last->next = copy->first;
        copy->first->previous = copy->last;
    }
    CHAIN_debug_report(3, target_label, copy, nullptr);
    return copy;
}

}  // namespace

// ---------------------------------------------------------------------------
// Reversal

int CHAIN_reverse(RING_header_s* chain) {
    if (!chain) return 0;
    if (chain->count < 2 || !chain->first || !chain->first->next) return 1;
    // Every point moves to another vertex: a vertex without geometry (an
    // untyped vertex from a dump) has none to give, so the chain is refused
    // as it is.
    const RING_node_s* walk = chain->first;
    for (int i = 0; i < chain->count && walk; ++i, walk = walk->next)
        MERROW1_REQUIRE(point_of(walk), "DUE_TO_VERTEX_WITHOUT_GEOMETRY", 0);
    // 1. Relink.
    relink_reversed(chain);
    // 2. The new first vertex's point and data go to the last vertex.
    const PointData first_data = read_point_data(chain->first);
    // 3. Each node takes its successor's point and point-bound data.  The
    //    successor is read before it is itself rewritten, since the walk
    //    visits it later.
    RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) {
        const bool last = i == chain->count - 1;
        const PointData data = last ? first_data : read_point_data(node->next);
        detach_point_data(node);
        attach_point_data(chain, node, data);
        if (double* p = point_of(node)) {
            p[0] = data.point[0];
            p[1] = data.point[1];
        }
        if (CHAIN_seg_ask_type(node) == SEG_ARC) {
            end_segment* end = arc_of(node);
            end->direction = end->direction == CW ? CCW : CW;
        }
    }
    // 4-5. Flip side and orientation; each arc keeps its centre, so its
    //      radius is measured again to its new end point.
    CHAIN_flip_side_clock_dir(chain);
    node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) refit_radius(node);
    CHAIN_drop_cached_box(chain);
    return 1;
}

void CHAIN_flip_side_clock_dir(RING_header_s* chain) {
    CHAIN_main_data_s* data = main_of(chain);
    if (!data) return;
    data->material_side = other_side(data->material_side);
    if (data->direction == CW)
        data->direction = CCW;
    else if (data->direction == CCW)
        data->direction = CW;
}

// ---------------------------------------------------------------------------
// Restart and insertion

int ChainSetStart(RING_header_s* chain, const POINT_ON_CHAIN_s* place, double tolerance) {
    if (!chain || !place || !is_closed(chain)) return 0;
    RING_node_s* node = place->node;
    if (!node || !has_node(chain, node)) return 0;
    RING_node_s* start = node;
    if (place->inside) {
        const double to_end = distance(place->point, point_of(node));
        const double to_start = distance(place->point, point_of(node->previous));
        if (to_end <= to_start && to_end <= tolerance)
            start = node;
        else if (to_start <= to_end && to_start <= tolerance)
            start = node->previous;
        else if (!(start = insert_vertex_before(chain, node, place->point)))
            return 0;
    }
    chain->first = start;
    chain->last = start->previous;
    CHAIN_debug_report(3, "ChainSetStart: chain", chain, nullptr);
    return 1;
}

int ChainSetStart(RING_header_s* chain, const POINT_ON_CHAIN_s* place) {
    return ChainSetStart(chain, place, restart_tolerance(chain));
}

RING_node_s* ChainInsertPointOnChain(const POINT_ON_CHAIN_s* place, double tolerance) {
    if (!place || !place->chain || !place->node || !has_node(place->chain, place->node)) return nullptr;
    RING_header_s* chain = place->chain;
    RING_node_s* node = place->node;
    RING_node_s* result = nullptr;
    if (place->inside && node->previous) {
        if (distance(place->point, point_of(node)) <= tolerance)
            result = node;
        else if (distance(place->point, point_of(node->previous)) <= tolerance)
            result = node->previous;
        else
            result = insert_vertex_before(chain, node, place->point);
    } else {
        const double* p = point_of(node);
        if (p && std::fabs(place->point[0] - p[0]) <= tolerance && std::fabs(place->point[1] - p[1]) <= tolerance)
            result = node;
        else
            result = node->previous ? node->previous : node;
    }
    CHAIN_debug_report(3, "ChainInsertPointOnChain: chain", chain, nullptr);
    return result;
}

RING_node_s* ChainInsertPointOnChain(const POINT_ON_CHAIN_s* place) {
    return ChainInsertPointOnChain(place, restart_tolerance(place ? place->chain : nullptr));
}

// ---------------------------------------------------------------------------
// Opening, trimming and joining

int ChainOpen(RING_header_s* chain) {
    if (!is_closed(chain) || !point_of(chain->first)) return 0;
    RING_node_s* first = chain->first;
    chain->last->next = nullptr;
    first->previous = nullptr;
    // The closing segment now ends at a new last vertex at the start point.
    end_segment end{};
    const SEGMENT_TYPE type = CHAIN_seg_ask_type(first);
    std::memcpy(&end, point_of(first), type == SEG_ARC ? sizeof(end_segment) : 2 * sizeof(double));
    if (RING_node_s* last = ChainAddVertex(chain, &end, type)) {
        // Its own copy of the data: one list on two nodes would be freed twice.
        ChainVertexAppCopy(first, chain, last);
    }
    CHAIN_seg_set_type(first, SEG_POINT);
    CHAIN_drop_cached_box(chain);
    return 1;
}

int ChainTrim(RING_header_s* chain, RING_node_s* vertex, int direction) {
    if (!chain || !vertex || is_closed(chain) || !has_node(chain, vertex)) return 0;
    if (direction == 1) {
        while (chain->last != vertex) RING_delete_node(chain, chain->last);
    } else {
        while (chain->first != vertex) RING_delete_node(chain, chain->first);
    }
    // The first vertex of an open chain carries only the start point.
    CHAIN_seg_set_type(chain->first, SEG_POINT);
    CHAIN_drop_cached_box(chain);
    return 1;
}

int ChainAppend(RING_header_s* chain1, RING_node_s* vertex1, int direction1, RING_header_s* chain2,
                RING_node_s* vertex2, int direction2) {
    // 1. Two open chains meeting at the two vertices.
    if (!chain1 || !chain2 || chain1 == chain2 || !vertex1 || !vertex2) return 0;
    if (is_closed(chain1) || is_closed(chain2)) return 0;
    if (!has_node(chain1, vertex1) || !has_node(chain2, vertex2)) return 0;
    const double* p1 = point_of(vertex1);
    const double* p2 = point_of(vertex2);
    if (!p1 || !p2) return 0;
    const double dx = p1[0] - p2[0], dy = p1[1] - p2[1];
    if (dx * dx + dy * dy > kSamePointSquared) return 0;
    // 2. Chain 1 ends at V1, chain 2 starts at V2.
    ChainTrim(chain1, vertex1, direction1);
    ChainTrim(chain2, vertex2, -direction2);
    if (direction1 == -1) CHAIN_reverse(chain1);
    if (direction2 == -1) CHAIN_reverse(chain2);
    // 3. Chain 2's start point is chain 1's end: drop it and move the rest.
    RING_delete_node(chain2, chain2->first);
    if (chain1->pool == chain2->pool) {
        RING_append_ring(chain1, chain2);
    } else {
        // Records in chain 2's pool would die with that pool: copy them over.
        RING_node_s* node = chain2->first;
        for (int i = 0; i < chain2->count && node; ++i, node = node->next) copy_vertex_across(chain2, node, chain1);
        RING_delete_all_nodes(chain2);
    }
    CHAIN_drop_cached_box(chain1);
    CHAIN_drop_cached_box(chain2);
    return 1;
}

// ---------------------------------------------------------------------------
// Copies

RING_header_s* CHAIN_copy(const RING_header_s* chain, CMEM_pool_s* pool, CHAIN_vertex_source_callback_t callback) {
    return copy_chain(chain, pool, callback, true, false, "CHAIN_copy: source_chain", "CHAIN_copy: target_chain",
                      nullptr, nullptr);
}

RING_header_s* CHAIN_copy_deep(const RING_header_s* chain, CMEM_pool_s* pool,
                               CHAIN_vertex_source_callback_t callback) {
    return copy_chain(chain, pool, callback, true, true, "CHAIN_copy: source_chain", "CHAIN_copy: target_chain",
                      nullptr, nullptr);
}

RING_header_s* CHAIN_copy_no_link(const RING_header_s* chain_or_list, CMEM_pool_s* pool,
                                  CHAIN_vertex_source_callback_t callback) {
    if (!chain_or_list || !pool) return nullptr;
    if (chain_or_list->type == RING_TYPE_CHAIN)
        return copy_chain(chain_or_list, pool, callback, false, false, "CHAIN_copy_no_link: source_chain",
                          "CHAIN_copy_no_link: target_chain", nullptr, nullptr);
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    if (!list) return nullptr;
    const RING_node_s* node = chain_or_list->first;
    for (int i = 0; i < chain_or_list->count && node; ++i, node = node->next) {
        RING_header_s* chain = RING_ask_node_subring(node);
        if (!chain) continue;
        if (RING_header_s* copy = CHAIN_copy_no_link(chain, pool, callback)) RING_insert_after(list, list->last, copy);
    }
    if (is_closed(chain_or_list) && list->first) {
        list->last->next = list->first;
        list->first->previous = list->last;
    }
    return list;
}

namespace {

// The place's chain copied without links, and the place moved onto the copy
// (its node the copy of the place's node).  False without a place, its chain
// or a pool, or when the copy fails.
bool copy_place_no_link(const POINT_ON_CHAIN_s* place, CMEM_pool_s* pool, CHAIN_vertex_source_callback_t callback,
                        POINT_ON_CHAIN_s* moved) {
    if (!place || !place->chain || !pool) return false;
    RING_node_s* node = nullptr;
    RING_header_s* copy = copy_chain(place->chain, pool, callback, false, false, "CHAIN_copy_no_link: source_chain",
                                     "CHAIN_copy_no_link: target_chain", place->node, &node);
    if (!copy) return false;
    *moved = *place;
    moved->chain = copy;
    moved->node = node;
    return true;
}

}  // namespace

POINT_ON_CHAIN_s* CHAIN_copy_no_link(const POINT_ON_CHAIN_s* place, CMEM_pool_s* pool,
                                     CHAIN_vertex_source_callback_t callback) {
    POINT_ON_CHAIN_s moved;
    if (!copy_place_no_link(place, pool, callback, &moved)) return nullptr;
    POINT_ON_CHAIN_s* result = CMEM_NEW(pool, POINT_ON_CHAIN_s);
    if (!result) return nullptr;
    *result = moved;
    return result;
}

RING_header_s* CHAIN_copy_no_link_new_start(const POINT_ON_CHAIN_s* place, CMEM_pool_s* pool,
                                            CHAIN_vertex_source_callback_t callback) {
    POINT_ON_CHAIN_s start;
    if (!copy_place_no_link(place, pool, callback, &start)) return nullptr;
    ChainSetStart(start.chain, &start);
    return start.chain;
}
