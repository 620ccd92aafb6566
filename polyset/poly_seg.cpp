// Poly-segment polys, sets and sets of sets: records, copies, measures,
// reversal, and the XML document and display of polys.
#include <merrow1/int_grid_map.h>
#include <merrow1/poly_seg.h>

#include "chain/chain_record.h"
#include "polyset/poly_seg_internal.h"

#include <glimra/display.h>
#include <stend/error.h>
#include <stend/system.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <vector>

using namespace merrow1::poly_seg;

namespace {

// Hands every application datum of a node to the delete function its ring
// registered for the key; data under unregistered keys is left alone.
void release_node_app_data(RING_header_s* ring, RING_node_s* node) {
    for (APP_DATA_s* e = node->app_data; e; e = e->next) {
        bool found = false;
        RING_app_data_delfunc_t fn = RING_ask_key_delete_func(ring, e->key, &found);
        if (fn && e->data) fn(e->data);
        e->data = nullptr;
    }
}

// Node hook of polys: the node's piece and registered data die with it.
int poly_node_hook(RING_header_s* ring, RING_node_s* node) {
    release_node_app_data(ring, node);
    CMEM_private_delete_object(node->main_data);
    node->main_data = nullptr;
    return 1;
}

// Main-data hook of polys: the grid map and the header record.
int poly_header_hook(RING_header_s* ring) {
    POLY_SEG_header_s* header = static_cast<POLY_SEG_header_s*>(ring->main_data);
    if (header) {
        INT_GRID_MAP__destroy(header->scaling);
        CMEM_private_delete_object(header);
    }
    ring->main_data = nullptr;
    return 1;
}

// Node hook of sets: the node's poly (or set) is destroyed.
int set_node_hook(RING_header_s* ring, RING_node_s* node) {
    POLY_SEG_destroy_cb(ring, node, RING_ask_node_subring(node));
    return 1;
}

int set_header_hook(RING_header_s* ring) {
    CMEM_private_delete_object(ring->main_data);
    ring->main_data = nullptr;
    return 1;
}

template <class Fn>
void for_each_poly(const RING_header_s* ring, Fn&& fn) {
    if (!ring) return;
    if (is_poly_ring(ring)) {
        fn(const_cast<RING_header_s*>(ring));
        return;
    }
    for (RING_node_s* n : nodes_of(ring)) {
        RING_header_s* sub = RING_ask_node_subring(n);
        if (sub) for_each_poly(sub, fn);
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Creation and destruction
// ---------------------------------------------------------------------------

RING_header_s* POLY_SEG_create(CMEM_pool_s* pool) {
    POLY_SEG_header_s* header = CMEM_NEW(pool, POLY_SEG_header_s);
    RING_header_s* poly = RING_create_in_pool(header, RING_TYPE_CHAIN, pool);
    RING_set_main_data_delfunc(poly, poly_header_hook);
    RING_set_node_main_data_delfunc(poly, poly_node_hook);
    return poly;
}

RING_header_s* POLY_SEG_create_set(CMEM_pool_s* pool, Korvo::Cam::MaterialAtInfinity mai) {
    POLY_SEG_set_header_s* header = CMEM_NEW(pool, POLY_SEG_set_header_s);
    header->material_at_infinity = mai;
    RING_header_s* set = RING_create_in_pool(header, RING_TYPE_LIST, pool);
    RING_set_main_data_delfunc(set, set_header_hook);
    // POLY_SEG_destroy_cb destroys the poly and clears the node's sub-ring, so
    // the ring's own sub-ring deletion never sees it.
    RING_set_node_main_data_delfunc(set, set_node_hook);
    RING_set_sub_ring_delfunc(set, nullptr);
    return set;
}

RING_header_s* POLY_SEG_create_set_of_sets(CMEM_pool_s* pool) {
    return RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
}

void POLY_SEG_destroy(RING_header_s* poly) {
    // The ring's hooks destroy the grid map, the pieces and the registered
    // node data when the last reference goes.
    if (poly) RING_delete(poly);
}

int POLY_SEG_destroy_cb(RING_header_s*, RING_node_s* node, RING_header_s* poly) {
    POLY_SEG_destroy(poly);
    RING_set_node_subring(node, nullptr);
    return 1;
}

int POLY_SEG_destroy_app_data_cb(void* data) {
    CMEM_private_delete_object(data);
    return 1;
}

RING_header_s* POLY_SEG_CreateBoxPoly(double x1, double y1, double x2, double y2, CMEM_pool_s* pool) {
    RING_header_s* poly = POLY_SEG_create(pool);
    const PNT2_s corners[4] = {{x1, y1}, {x2, y1}, {x2, y2}, {x1, y2}};
    for (const PNT2_s& c : corners) POLY_SEG_append_line(poly, &c);
    close_ring(poly);
    return poly;
}

bool POLY_SEG_is_closed(const RING_header_s* poly) {
    return merrow1::is_closed(poly);
}

// ---------------------------------------------------------------------------
// Appending
// ---------------------------------------------------------------------------

RING_node_s* POLY_SEG_append_line(RING_header_s* poly, const PNT2_s* end) {
    if (!poly || !end) return nullptr;
    return RING_insert_after(poly, poly->last, LINE_ARC_SEG_create_line(poly->pool, end));
}

RING_node_s* POLY_SEG_append_arc(RING_header_s* poly, const PNT2_s* start, const PNT2_s* end, double radius,
                                 int turn) {
    if (!poly || !start || !end) return nullptr;
    return RING_insert_after(poly, poly->last, LINE_ARC_SEG_create_arc(poly->pool, start, end, radius, turn));
}

RING_node_s* POLY_SEG_append_to_set(RING_header_s* set, RING_header_s* poly) {
    if (!set || !poly) return nullptr;
    return RING_insert_after(set, set->last, poly);
}

RING_node_s* POLY_SEG_append_to_set_of_sets(RING_header_s* set_of_sets, RING_header_s* set) {
    return POLY_SEG_append_to_set(set_of_sets, set);
}

// ---------------------------------------------------------------------------
// Header access
// ---------------------------------------------------------------------------

POLY_SEG_header_s* POLY_SEG_ask_header(const RING_header_s* poly) {
    return is_poly_ring(poly) ? static_cast<POLY_SEG_header_s*>(poly->main_data) : nullptr;
}

void POLY_SEG_set_offset_for_set(RING_header_s* set, double offset) {
    for_each_poly(set, [offset](RING_header_s* poly) {
        if (POLY_SEG_header_s* h = POLY_SEG_ask_header(poly)) h->offset = offset;
    });
}

Korvo::Cam::MaterialAtInfinity POLY_SEG_ask_material_at_inf(const RING_header_s* set) {
    if (!set || set->type != RING_TYPE_LIST || !set->main_data) return Korvo::Cam::MaterialAtInfinityUndetermined;
    return static_cast<const POLY_SEG_set_header_s*>(set->main_data)->material_at_infinity;
}

void POLY_SEG_set_material_at_inf(RING_header_s* set, Korvo::Cam::MaterialAtInfinity mai) {
    if (!set || set->type != RING_TYPE_LIST) return;
    if (!set->main_data) {
        set->main_data = CMEM_NEW(set->pool, POLY_SEG_set_header_s);
        RING_set_main_data_delfunc(set, set_header_hook);
    }
    static_cast<POLY_SEG_set_header_s*>(set->main_data)->material_at_infinity = mai;
}

void POLY_SEG_copy_header(const RING_header_s* from, RING_header_s* to) {
    const POLY_SEG_header_s* f = POLY_SEG_ask_header(from);
    POLY_SEG_header_s* t = POLY_SEG_ask_header(to);
    if (!f || !t) return;
    INT_GRID_MAP_s* own_map = t->scaling;
    *t = *f;
    t->scaling = own_map;
    POLY_SEG_copy_scaling(from, to);
}

void POLY_SEG_copy_scaling(const RING_header_s* from, RING_header_s* to) {
    const POLY_SEG_header_s* f = POLY_SEG_ask_header(from);
    POLY_SEG_header_s* t = POLY_SEG_ask_header(to);
    if (!f || !t || !f->scaling || f->scaling == t->scaling) return;
    if (t->scaling)
        *t->scaling = *f->scaling;
    else
        t->scaling = INT_GRID_MAP_method<INT_GRID_MAP_SLOT_CREATE_COPY>(f->scaling)(f->scaling, to->pool);
}

double POLY_SEG_get_rounding_tol(const RING_header_s* poly) {
    const POLY_SEG_header_s* h = POLY_SEG_ask_header(poly);
    if (!h || !h->scaling) return 0.0;
    return INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_GRID_SIZE>(h->scaling)(h->scaling, 0);
}

double POLY_SEG_get_set_rounding_tol(const RING_header_s* set) {
    if (!set || !set->first) return 0.0;
    return POLY_SEG_get_rounding_tol(RING_ask_node_subring(set->first));
}

double POLY_SEG_get_set_of_sets_rounding_tol(const RING_header_s* set_of_sets) {
    if (!set_of_sets || !set_of_sets->first) return 0.0;
    return POLY_SEG_get_set_rounding_tol(RING_ask_node_subring(set_of_sets->first));
}

bool POLY_SEG_get_set_of_sets_max_offset(const RING_header_s* set_of_sets, double* offset) {
    bool counted = false;
    double largest = 0.0;
    for_each_poly(set_of_sets, [&](RING_header_s* poly) {
        const POLY_SEG_header_s* h = POLY_SEG_ask_header(poly);
        if (!h || h->skip_max_offset) return;
        largest = counted ? std::max(largest, std::fabs(h->offset)) : std::fabs(h->offset);
        counted = true;
    });
    if (offset) *offset = largest;
    return counted;
}

bool POLY_SEG_set_of_sets_needs_full_dummy_covers(const RING_header_s* set_of_sets) {
    bool needs = false;
    for_each_poly(set_of_sets, [&](RING_header_s* poly) {
        const POLY_SEG_header_s* h = POLY_SEG_ask_header(poly);
        if (h && (h->no_circle || h->do_tan_corner_ext)) needs = true;
    });
    return needs;
}

// ---------------------------------------------------------------------------
// Copying
// ---------------------------------------------------------------------------

RING_header_s* POLY_SEG_copy(const RING_header_s* poly, CMEM_pool_s* pool, POLY_SEG_copy_cb_t copy_cb) {
    if (!poly) return nullptr;
    if (!pool) pool = poly->pool;
    RING_header_s* copy = nullptr;
    try {
        // 1. The new poly.
        copy = POLY_SEG_create(pool);
        bool handled = true;
        // 2. Every piece except the telomeres; a start telomere's successor
        //    hands its end point (the poly's start before the telomeres) to
        //    the copy's first node.
        for (RING_node_s* n : nodes_of(poly)) {
            const LINE_ARC_SEG_s* s = seg_of(n);
            if (!(s->flags & (POLY_SEG_FLAG_START_TELOMERE | POLY_SEG_FLAG_END_TELOMERE))) {
                RING_node_s* to = RING_insert_after(copy, copy->last, LINE_ARC_SEG_copy(s, pool));
                if (copy_cb) copy_cb(copy, n, to, &handled, nullptr);
            } else if ((s->flags & POLY_SEG_FLAG_START_TELOMERE) && copy->first) {
                LINE_ARC_SEG_s* first = seg_of(copy->first);
                first->x = s->x;
                first->y = s->y;
            }
        }
        // 3. Closed stays closed.
        if (POLY_SEG_is_closed(poly) && !POLY_SEG_is_closed(copy)) close_ring(copy);
        // 4. The header.
        POLY_SEG_copy_header(poly, copy);
        return copy;
    } catch (const Korvo::Error::Exception&) {
        POLY_SEG_destroy(copy);
        throw;
    } catch (const std::exception& e) {
        POLY_SEG_destroy(copy);
        Korvo::Error::Severe severe;
        severe.Convert(e);
        severe.Rethrow();
    }
}

RING_header_s* POLY_SEG_copy_set(const RING_header_s* set, CMEM_pool_s* pool, POLY_SEG_copy_cb_t copy_cb) {
    if (!set) return nullptr;
    if (!pool) pool = set->pool;
    // No header and the ring's plain sub-ring deletion: the copy answers
    // MaterialAtInfinity 2 and deleting it deletes the copies it holds.
    RING_header_s* copy = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    try {
        for (RING_node_s* n : nodes_of(set)) {
            const RING_header_s* sub = RING_ask_node_subring(n);
            if (!sub) continue;
            RING_header_s* sub_copy =
                is_poly_ring(sub) ? POLY_SEG_copy(sub, pool, copy_cb) : POLY_SEG_copy_set(sub, pool, copy_cb);
            RING_insert_after(copy, copy->last, sub_copy);
        }
        return copy;
    } catch (...) {
        RING_delete(copy);
        throw;
    }
}

CHAIN_app_poly_seg_chain_source_s* POLY_SEG_new_chain_source(RING_header_s* poly) {
    if (!poly) return nullptr;
    return CMEM_NEW(poly->pool, CHAIN_app_poly_seg_chain_source_s);
}

int POLY_SEG_release_chain_source_cb(void* data) {
    CHAIN_app_poly_seg_chain_source_s* record = static_cast<CHAIN_app_poly_seg_chain_source_s*>(data);
    if (!record) return 1;
    if (record->shares > 0)
        --record->shares;
    else
        CMEM_private_delete_object(record);
    return 1;
}

namespace {

// Registers key 169 once per copy (every time when the flag is null).
void register_chain_source_key(RING_header_s* poly, bool* handled) {
    if (!poly) return;
    if (handled && !*handled) return;
    RING_set_app_data_key(poly, POLY_SEG_KEY_CHAIN_SOURCE, POLY_SEG_release_chain_source_cb);
    if (handled) *handled = false;
}

// Hangs the record on the node, letting go of a different record already there.
void put_chain_source(RING_header_s* poly, RING_node_s* to, CHAIN_app_poly_seg_chain_source_s* record) {
    void* old = APP_DATA__ask_app_data(to->app_data, POLY_SEG_KEY_CHAIN_SOURCE);
    if (old == record) return;
    if (old) POLY_SEG_release_chain_source_cb(old);
    RING_put_node_app_data(poly, to, POLY_SEG_KEY_CHAIN_SOURCE, record);
}

}  // namespace

void* POLY_SEG_copy_chain_source(RING_header_s* poly, RING_node_s* from, RING_node_s* to, bool* handled, void*) {
    register_chain_source_key(poly, handled);
    if (!poly || !to) return nullptr;
    const CHAIN_app_poly_seg_chain_source_s* source = nullptr;
    if (from) {
        source = static_cast<const CHAIN_app_poly_seg_chain_source_s*>(
            APP_DATA__ask_app_data(from->app_data, POLY_SEG_KEY_CHAIN_SOURCE));
        if (!source) return nullptr;
    }
    CHAIN_app_poly_seg_chain_source_s* record = POLY_SEG_new_chain_source(poly);
    if (source) {
        record->flags = source->flags;
        record->chain = source->chain;
        record->vertex = source->vertex;
        record->segment_index = source->segment_index;
    }
    put_chain_source(poly, to, record);
    return record;
}

void* POLY_SEG_copy_chain_source_ref(RING_header_s* poly, RING_node_s* from, RING_node_s* to, bool* handled,
                                     void*) {
    register_chain_source_key(poly, handled);
    if (!poly || !from || !to) return nullptr;
    CHAIN_app_poly_seg_chain_source_s* record = static_cast<CHAIN_app_poly_seg_chain_source_s*>(
        APP_DATA__ask_app_data(from->app_data, POLY_SEG_KEY_CHAIN_SOURCE));
    if (!record) return nullptr;
    if (APP_DATA__ask_app_data(to->app_data, POLY_SEG_KEY_CHAIN_SOURCE) != record) {
        ++record->shares;
        put_chain_source(poly, to, record);
    }
    return record;
}

// ---------------------------------------------------------------------------
// Measures and boxes
// ---------------------------------------------------------------------------

double POLY_SEG_length(const RING_header_s* poly) {
    if (!poly || poly->count < 2) return 0.0;
    const auto nodes = nodes_of(poly);
    const bool closed = POLY_SEG_is_closed(poly);
    PNT2_s start = end_of(closed ? nodes.back() : nodes.front());
    double length = 0.0;
    for (size_t i = closed ? 0 : 1; i < nodes.size(); ++i) {
        const LINE_ARC_SEG_s* s = seg_of(nodes[i]);
        if (LINE_ARC_SEG_is_line(s))
            length += std::hypot(s->x - start.x, s->y - start.y);
        else
            length += LINE_ARC_SEG_arc_length(&start, s);
        start = end_of(nodes[i]);
    }
    return length;
}

double POLY_SEG_arc_area_term(const PNT2_s* start, const LINE_ARC_SEG_s* piece) {
    if (LINE_ARC_SEG_is_line(piece)) return 0.0;
    const double dx = piece->x - start->x, dy = piece->y - start->y;
    const double c2 = dx * dx + dy * dy;
    // A clockwise half circle is written -1e101 but has the geometry of h = 0:
    // the term of h = 0, taken negative.
    const double a = piece->h <= -1e100 ? 0.0 : std::fabs(piece->h);
    const double term = c2 * (2 * std::atan2(0.5, a) * (a * a + 0.25) - a);
    return piece->h >= 0 ? term : -term;
}

double POLY_SEG_area(const RING_header_s* poly) {
    if (!POLY_SEG_is_closed(poly)) return 0.0;
    const auto nodes = nodes_of(poly);
    const double x0 = seg_of(nodes.back())->x;
    PNT2_s start = end_of(nodes.back());
    double sum = 0.0;
    for (RING_node_s* n : nodes) {
        const LINE_ARC_SEG_s* s = seg_of(n);
        sum += (s->x + start.x - 2 * x0) * (s->y - start.y);
        sum += POLY_SEG_arc_area_term(&start, s);
        start = end_of(n);
    }
    return sum / 2;
}

bool POLY_SEG_is_degenerate(const RING_header_s* poly) {
    if (!poly || !poly->first) return true;
    const PNT2_s p = end_of(poly->first);
    for (RING_node_s* n : nodes_of(poly)) {
        const LINE_ARC_SEG_s* s = seg_of(n);
        if (s->x != p.x || s->y != p.y) return false;
    }
    return true;
}

void POLY_SEG_quick_expand_bbox(const RING_header_s* poly, double box[4]) {
    if (!poly || !box) return;
    double own[4] = {1e19, -1e19, 1e19, -1e19};
    for (RING_node_s* n : nodes_of(poly)) {
        const bool alone = poly->count == 1;
        if (!n->previous && !alone) continue;
        const PNT2_s start = alone ? end_of(n) : end_of(n->previous);
        LINE_ARC_SEG_quick_expand_bbox(seg_of(n), &start, own);
    }
    if (own[LINE_ARC_SEG_BOX_XMIN] > own[LINE_ARC_SEG_BOX_XMAX]) return;  // nothing drawn
    const POLY_SEG_header_s* h = POLY_SEG_ask_header(poly);
    const double d = h ? std::fabs(h->offset) : 0.0;
    box[LINE_ARC_SEG_BOX_XMIN] = std::min(box[LINE_ARC_SEG_BOX_XMIN], own[LINE_ARC_SEG_BOX_XMIN] - d);
    box[LINE_ARC_SEG_BOX_XMAX] = std::max(box[LINE_ARC_SEG_BOX_XMAX], own[LINE_ARC_SEG_BOX_XMAX] + d);
    box[LINE_ARC_SEG_BOX_YMIN] = std::min(box[LINE_ARC_SEG_BOX_YMIN], own[LINE_ARC_SEG_BOX_YMIN] - d);
    box[LINE_ARC_SEG_BOX_YMAX] = std::max(box[LINE_ARC_SEG_BOX_YMAX], own[LINE_ARC_SEG_BOX_YMAX] + d);
}

void POLY_SEG_quick_expand_bbox_for_set(const RING_header_s* set, double box[4]) {
    if (!box) return;
    for_each_poly(set, [box](RING_header_s* poly) { POLY_SEG_quick_expand_bbox(poly, box); });
}

void POLY_SEG_quick_expand_bbox_for_set_of_sets(const RING_header_s* set_of_sets, double box[4]) {
    POLY_SEG_quick_expand_bbox_for_set(set_of_sets, box);
}

void POLY_SEG_get_bbox(const RING_header_s* poly, double box[4]) {
    if (!box) return;
    box[LINE_ARC_SEG_BOX_XMIN] = 1e19;
    box[LINE_ARC_SEG_BOX_XMAX] = -1e19;
    box[LINE_ARC_SEG_BOX_YMIN] = 1e19;
    box[LINE_ARC_SEG_BOX_YMAX] = -1e19;
    if (!poly) return;
    for (RING_node_s* n : nodes_of(poly)) {
        double piece[4];
        if (n->previous) {
            const PNT2_s start = end_of(n->previous);
            LINE_ARC_SEG_get_bbox(seg_of(n), &start, false, piece);
        } else {
            // The start point of an open poly.
            piece[LINE_ARC_SEG_BOX_XMIN] = piece[LINE_ARC_SEG_BOX_XMAX] = seg_of(n)->x;
            piece[LINE_ARC_SEG_BOX_YMIN] = piece[LINE_ARC_SEG_BOX_YMAX] = seg_of(n)->y;
        }
        box[LINE_ARC_SEG_BOX_XMIN] = std::min(box[LINE_ARC_SEG_BOX_XMIN], piece[LINE_ARC_SEG_BOX_XMIN]);
        box[LINE_ARC_SEG_BOX_XMAX] = std::max(box[LINE_ARC_SEG_BOX_XMAX], piece[LINE_ARC_SEG_BOX_XMAX]);
        box[LINE_ARC_SEG_BOX_YMIN] = std::min(box[LINE_ARC_SEG_BOX_YMIN], piece[LINE_ARC_SEG_BOX_YMIN]);
        box[LINE_ARC_SEG_BOX_YMAX] = std::max(box[LINE_ARC_SEG_BOX_YMAX], piece[LINE_ARC_SEG_BOX_YMAX]);
    }
}

double POLY_SEG_calc_param(const RING_node_s* node, const PNT2_s* point) {
    if (!node || !node->previous || !point) return 0.0;
    const PNT2_s start = end_of(node->previous);
    return LINE_ARC_SEG_calc_param(&start, seg_of(node), point);
}

double POLY_SEG_getNearestPointParameterAlongSeg(const RING_node_s* node, const PNT2_s* point) {
    if (!node || !node->previous || !point) return 0.0;
    const PNT2_s start = end_of(node->previous);
    return LINE_ARC_SEG_calc_nearest_param(&start, seg_of(node), point);
}

// ---------------------------------------------------------------------------
// Reversal
// ---------------------------------------------------------------------------

void POLY_SEG_reverse(RING_header_s* poly) {
    if (!poly || poly->count < 2) return;
    if (POLY_SEG_header_s* header = POLY_SEG_ask_header(poly)) header->grid_area_sign = -header->grid_area_sign;
    const bool closed = POLY_SEG_is_closed(poly);
    std::vector<RING_node_s*> nodes = nodes_of(poly);
    const size_t n = nodes.size();
    // 1. Every piece ends at its old start point; an open poly's first node
    //    (a start point only) takes the old last end point.
    std::vector<PNT2_s> ends(n);
    for (size_t i = 0; i < n; ++i) ends[i] = end_of(nodes[i]);
    for (size_t i = 0; i < n; ++i) {
        LINE_ARC_SEG_s* s = seg_of(nodes[i]);
        const PNT2_s& e = i > 0 ? ends[i - 1] : ends[n - 1];
        s->x = e.x;
        s->y = e.y;
    }
    // 2. The new order: an open poly keeps its point node first and then
    //    walks its pieces backward; a closed poly simply runs backward.
    std::vector<RING_node_s*> order;
    order.reserve(n);
    if (!closed) order.push_back(nodes[0]);
    for (size_t i = n; i-- > (closed ? 0u : 1u);) order.push_back(nodes[i]);
    for (size_t i = 0; i < n; ++i) {
        order[i]->previous = i > 0 ? order[i - 1] : (closed ? order[n - 1] : nullptr);
        order[i]->next = i + 1 < n ? order[i + 1] : (closed ? order[0] : nullptr);
    }
    poly->first = order.front();
    poly->last = order.back();
    // 3. Each arc turns the other way, and its centre vector is taken from
    //    its new start.  The half circles swap: 0 <-> -1e101.
    PNT2_s start = end_of(poly->last);
    for (size_t i = 0; i < n; ++i) {
        LINE_ARC_SEG_s* s = seg_of(order[i]);
        if (LINE_ARC_SEG_is_arc(s)) {
            s->h = LINE_ARC_SEG_reversed_h(s->h);
            if (closed || i > 0) LINE_ARC_SEG_set_centre(s, &start);
        }
        start = end_of(order[i]);
    }
}

void POLY_SEG_reverse_set(RING_header_s* set) {
    if (!set) return;
    if (is_poly_ring(set)) {
        POLY_SEG_reverse(set);
        return;
    }
    if (set->main_data) {
        const Korvo::Cam::MaterialAtInfinity mai = POLY_SEG_ask_material_at_inf(set);
        if (mai == Korvo::Cam::NoMaterialAtInfinity)
            POLY_SEG_set_material_at_inf(set, Korvo::Cam::MaterialAtInfinityPresent);
        else if (mai == Korvo::Cam::MaterialAtInfinityPresent)
            POLY_SEG_set_material_at_inf(set, Korvo::Cam::NoMaterialAtInfinity);
    }
    for (RING_node_s* n : nodes_of(set)) POLY_SEG_reverse_set(RING_ask_node_subring(n));
}

// ---------------------------------------------------------------------------
// XML document and display
// ---------------------------------------------------------------------------

void POLY_SEG_render_xml(const RING_header_s* set, const char* file_name) {
    FILE* file = Korvo::System::STEND_fopen(file_name, "w");
    if (!file) return;
    std::fputs("<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"yes\"?>\n", file);
    std::fputs("<CamDisplayData>\n", file);
    std::fputs("<RegionSet>\n", file);
    for (RING_node_s* n : nodes_of(set)) {
        const RING_header_s* poly = RING_ask_node_subring(n);
        if (!is_poly_ring(poly)) continue;
        std::fprintf(file, "   <PolySeg closed=%s>\n", POLY_SEG_is_closed(poly) ? "true" : "false");
        // 17 digits after the point: every double reads back exactly.
        for (RING_node_s* p : nodes_of(poly)) {
            const LINE_ARC_SEG_s* s = seg_of(p);
            std::fprintf(file, "      <LineArcSeg> %.17le %.17le %.17le </LineArcSeg>\n", s->x, s->y, s->h);
        }
        std::fputs("   </PolySeg>\n", file);
    }
    std::fputs("</RegionSet>\n", file);
    std::fputs("</CamDisplayData>\n", file);
    std::fclose(file);
}

void POLY_SEG_display(const RING_header_s* poly_or_set, int view, int colour, int font, int width) {
    if (!poly_or_set) return;
    if (!is_poly_ring(poly_or_set)) {
        for (RING_node_s* n : nodes_of(poly_or_set))
            POLY_SEG_display(RING_ask_node_subring(n), view, colour, font, width);
        return;
    }
    const POLY_SEG_header_s* h = POLY_SEG_ask_header(poly_or_set);
    const INT_GRID_MAP_s* map = h ? h->scaling : nullptr;
    for (RING_node_s* n : nodes_of(poly_or_set)) {
        if (!n->previous) continue;
        const PNT2_s start = end_of(n->previous);
        LINE_ARC_SEG_display(&start, seg_of(n), map, view, colour, font, width);
    }
}

namespace {
POLY_SEG_after_display_cb_t g_after_display = nullptr;
}

void POLY_SEG_set_after_display_cb(POLY_SEG_after_display_cb_t callback) { g_after_display = callback; }

POLY_SEG_after_display_cb_t POLY_SEG_ask_after_display_cb() { return g_after_display; }
