// Poly-segments on an integer grid: scaling maps, plain and material-side
// rounding, the way back to reals, re-rounding of arcs, and small closed loops.
#include <merrow1/int_grid_map.h>
#include <merrow1/poly_seg_grid.h>
#include <merrow1/poly_seg_offset.h>
#include <merrow1/psi.h>

#include "internal/scratch_pool.h"
#include "polyset/poly_seg_internal.h"

#include <quorn/quorn.h>
#include <stend/error.h>
#include <velte/cerr.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace merrow1::poly_seg;

namespace {

INT_GRID_MAP_s* create_map_over_box(CMEM_pool_s* pool, const double box[4], double margin) {
    const double w = box[LINE_ARC_SEG_BOX_XMAX] - box[LINE_ARC_SEG_BOX_XMIN];
    const double h = box[LINE_ARC_SEG_BOX_YMAX] - box[LINE_ARC_SEG_BOX_YMIN];
    const double e = (2 * margin + std::max(w, h)) * 1e-5 + margin;
    return INT_GRID_MAP__create_uniform(pool, box[LINE_ARC_SEG_BOX_XMIN] - e, box[LINE_ARC_SEG_BOX_YMIN] - e, 0.0,
                                        box[LINE_ARC_SEG_BOX_XMAX] + e, box[LINE_ARC_SEG_BOX_YMAX] + e, 0.0, 31);
}

void put_point_to_grid(const INT_GRID_MAP_s* map, double x, double y, PNT2_s* out) {
    int gx, gy;
    INT_GRID_MAP_method<INT_GRID_MAP_SLOT_PUT_2D_TO_GRID>(map)(map, x, y, &gx, &gy);
    *out = {static_cast<double>(gx), static_cast<double>(gy)};
}

double grid_size(const INT_GRID_MAP_s* map) {
    return INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_GRID_SIZE>(map)(map, 0);
}

// Rounding a poly twice would move its grid coordinates through the map a
// second time: refused.
void refuse_scaled(const RING_header_s* poly) {
    const POLY_SEG_header_s* header = POLY_SEG_ask_header(poly);
    if (header && header->scaling) ERROR_internal(__FILE__, __LINE__, "put_to_grid: Poly is already scaled");
}

double piece_length(const PNT2_s& start, const LINE_ARC_SEG_s* s) {
    if (LINE_ARC_SEG_is_line(s)) return std::hypot(s->x - start.x, s->y - start.y);
    return LINE_ARC_SEG_arc_length(&start, s);
}

void plain_rounding(RING_header_s* poly, const INT_GRID_MAP_s* map) {
    // 1. The poly's own map.
    POLY_SEG_set_scaling(poly, map);
    const std::vector<RING_node_s*> nodes = nodes_of(poly);
    if (nodes.empty()) return;
    // 2. A closed poly's first piece starts at the rounded last end; that end
    //    rounds to the same grid point again when its node comes.
    PNT2_s start{0, 0};
    const bool closed = POLY_SEG_is_closed(poly);
    if (closed) put_point_to_grid(map, seg_of(nodes.back())->x, seg_of(nodes.back())->y, &start);
    // 3. In ring order, each piece from the previous piece's rounded end.
    for (size_t i = 0; i < nodes.size(); ++i) {
        LINE_ARC_SEG_s* s = seg_of(nodes[i]);
        const bool has_start = closed || i > 0;
        LINE_ARC_SEG_put_to_grid(s, has_start ? &start : nullptr, map);
        start = {s->x, s->y};
    }
}

bool is_dummy(const RING_node_s* node) { return (seg_of(node)->flags & POLY_SEG_FLAG_DUMMY) != 0; }

template <class Fn>
void for_each_poly(RING_header_s* ring, Fn&& fn) {
    if (!ring) return;
    if (is_poly_ring(ring)) {
        fn(ring);
        return;
    }
    for (RING_node_s* n : nodes_of(ring))
        if (RING_header_s* sub = RING_ask_node_subring(n)) for_each_poly(sub, fn);
}

}  // namespace

INT_GRID_MAP_s* POLY_SEG_create_scaling(const RING_header_s* poly_or_set, double margin) {
    if (!poly_or_set) return nullptr;
    double box[4] = {1e19, -1e19, 1e19, -1e19};
    if (is_poly_ring(poly_or_set))
        POLY_SEG_quick_expand_bbox(poly_or_set, box);
    else
        POLY_SEG_quick_expand_bbox_for_set(poly_or_set, box);
    return create_map_over_box(poly_or_set->pool, box, margin);
}

INT_GRID_MAP_s* POLY_SEG_set_scaling(RING_header_s* poly, const INT_GRID_MAP_s* map) {
    POLY_SEG_header_s* header = POLY_SEG_ask_header(poly);
    if (!header) return nullptr;
    if (map) {
        if (header->scaling == map) return header->scaling;
        if (header->scaling)
            *header->scaling = *map;
        else
            header->scaling = INT_GRID_MAP_method<INT_GRID_MAP_SLOT_CREATE_COPY>(map)(map, poly->pool);
        return const_cast<INT_GRID_MAP_s*>(map);
    }
    INT_GRID_MAP_s* fresh = POLY_SEG_create_scaling(poly, 0.0);
    INT_GRID_MAP__destroy(header->scaling);
    header->scaling = fresh;
    return fresh;
}

void POLY_SEG_put_to_grid(RING_header_s* poly, const INT_GRID_MAP_s* map) {
    if (!POLY_SEG_ask_header(poly) || !map) return;
    refuse_scaled(poly);
    plain_rounding(poly, map);
}

void POLY_SEG_put_to_grid_material_side(RING_header_s* poly, const INT_GRID_MAP_s* map, bool side,
                                        POLY_SEG_copy_cb_t copy_cb) {
    if (!POLY_SEG_ask_header(poly) || !map) return;
    refuse_scaled(poly);
    // 1. Too short to have shared points.
    if (poly->count < 2) {
        plain_rounding(poly, map);
        return;
    }
    // 2. The poly's own map and the cell size.
    POLY_SEG_set_scaling(poly, map);
    const double g = grid_size(map);
    // 3. An open poly whose ends share a cell is closed.
    if (!POLY_SEG_is_closed(poly)) {
        const PNT2_s a = end_of(poly->first), b = end_of(poly->last);
        const double dx = b.x - a.x, dy = b.y - a.y;
        if (dx * dx + dy * dy <= g * g) {
            RING_delete_node(poly, poly->first);
            close_ring(poly);
        }
    }
    const bool closed = POLY_SEG_is_closed(poly);
    std::vector<RING_node_s*> nodes = nodes_of(poly);
    // 4. A closed poly starts at its first piece longer than ten cells.
    size_t first = 0;
    if (closed) {
        size_t found = nodes.size();
        for (size_t i = 0; i < nodes.size() && found == nodes.size(); ++i) {
            const PNT2_s start = end_of(nodes[(i + nodes.size() - 1) % nodes.size()]);
            if (piece_length(start, seg_of(nodes[i])) > 10 * g) found = i;
        }
        if (found == nodes.size()) {
            plain_rounding(poly, map);
            return;
        }
        first = found;
    }
    // 5, 6. One walk in ring order from the chosen node.  `real` holds every
    // node's end before rounding: the arcs' centre vectors refer to those
    // starts, and the next piece's normal is taken from real coordinates.
    const size_t n = nodes.size();
    std::vector<PNT2_s> real(n);
    for (size_t i = 0; i < n; ++i) real[i] = end_of(nodes[i]);
    const bool side_of_dummies = side;
    auto piece_side = [&](size_t i) { return side_of_dummies && is_dummy(nodes[i]); };

    // Chord check and arc re-rounding of node i, whose rounded start is
    // `start` and whose real start was `old_start`.
    auto finish_piece = [&](size_t i, const PNT2_s& start, const PNT2_s& old_start) {
        LINE_ARC_SEG_s* s = seg_of(nodes[i]);
        PNT2_s rs, re;
        INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_2D_FROM_GRID>(map)(map, static_cast<int>(start.x),
                                                                     static_cast<int>(start.y), &rs.x, &rs.y);
        INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_2D_FROM_GRID>(map)(map, static_cast<int>(s->x),
                                                                     static_cast<int>(s->y), &re.x, &re.y);
        const double dot = (re.x - rs.x) * (real[i].x - old_start.x) + (re.y - rs.y) * (real[i].y - old_start.y);
        if (!(dot > 0)) {
            // The rounded chord no longer runs the piece's way: it collapses.
            s->x = start.x;
            s->y = start.y;
            s->h = LINE_ARC_SEG_LINE_H;
        } else if (LINE_ARC_SEG_is_arc(s)) {
            LINE_ARC_SEG_round_arc_material_side(s, &start, &old_start, piece_side(i), map);
        }
    };

    bool have_prev = false;
    PNT2_s prev_rounded{0, 0};  // the rounded end of the piece before (a connector's end after one)
    PNT2_s prev_real{0, 0};     // the real end of the previous node
    // The walk's first piece of a closed poly is not yet preceded by a rounded
    // piece: its normal is taken from its start put plainly on the grid, so
    // that its end, too, goes to its material side.
    PNT2_s first_start{0, 0};
    if (closed) put_point_to_grid(map, real[(first + n - 1) % n].x, real[(first + n - 1) % n].y, &first_start);
    for (size_t k = 0; k < n; ++k) {
        const size_t i = (first + k) % n;
        LINE_ARC_SEG_s* s = seg_of(nodes[i]);
        const bool has_next = closed || i + 1 < n;
        const size_t j = (i + 1) % n;
        // The next piece: its end in reals (the walk's first node is already
        // rounded when the walk comes back to it).
        const LINE_ARC_SEG_s* next = has_next ? seg_of(nodes[j]) : nullptr;
        const PNT2_s* next_end = has_next ? &real[j] : nullptr;
        LINE_ARC_SEG_s* connector =
            LINE_ARC_SEG_put_end_to_grid(s, have_prev ? &prev_rounded : closed ? &first_start : nullptr,
                                         piece_side(i), next, next_end,
                                         has_next && piece_side(j), map, poly->pool);
        if (have_prev) finish_piece(i, prev_rounded, prev_real);
        prev_rounded = end_of(nodes[i]);
        if (connector) {
            RING_node_s* added = RING_insert_after(poly, nodes[i], connector);
            if (copy_cb) copy_cb(poly, has_next ? nodes[j] : nullptr, added, nullptr, nullptr);
            prev_rounded = {connector->x, connector->y};
        }
        prev_real = real[i];
        have_prev = true;
    }
    // The piece that closes the ring is re-rounded last, from the walk's
    // final rounded end.
    if (closed) finish_piece(first, prev_rounded, prev_real);
}

INT_GRID_MAP_s* POLY_SEG_put_set_to_grid(RING_header_s* set, const INT_GRID_MAP_s* map, bool material_side,
                                         POLY_SEG_poly_filter_t filter, POLY_SEG_copy_cb_t copy_cb, double margin) {
    if (!set) return const_cast<INT_GRID_MAP_s*>(map);
    INT_GRID_MAP_s* used = map ? const_cast<INT_GRID_MAP_s*>(map) : POLY_SEG_create_scaling(set, margin);
    for_each_poly(set, [&](RING_header_s* poly) {
        CERR_raise_on_abort();
        if (!poly->first) return;
        const POLY_SEG_header_s* header = POLY_SEG_ask_header(poly);
        if (!material_side || header->there_and_back)
            POLY_SEG_put_to_grid(poly, used);
        else
            POLY_SEG_put_to_grid_material_side(poly, used, filter ? filter(poly) : false, copy_cb);
    });
    return used;
}

INT_GRID_MAP_s* POLY_SEG_put_set_of_sets_to_grid(RING_header_s* set_of_sets, const INT_GRID_MAP_s* map,
                                                 bool material_side, POLY_SEG_poly_filter_t filter,
                                                 POLY_SEG_copy_cb_t copy_cb, double margin) {
    if (!set_of_sets) return const_cast<INT_GRID_MAP_s*>(map);
    INT_GRID_MAP_s* used = map ? const_cast<INT_GRID_MAP_s*>(map) : POLY_SEG_create_scaling(set_of_sets, margin);
    for (RING_node_s* n : nodes_of(set_of_sets))
        if (RING_header_s* set = RING_ask_node_subring(n))
            POLY_SEG_put_set_to_grid(set, used, material_side, filter, copy_cb, margin);
    return used;
}

void POLY_SEG_get_from_grid(RING_header_s* poly) {
    POLY_SEG_header_s* header = POLY_SEG_ask_header(poly);
    if (!header || !header->scaling) return;
    for (RING_node_s* n : nodes_of(poly)) LINE_ARC_SEG_get_from_grid(seg_of(n), header->scaling);
    INT_GRID_MAP__destroy(header->scaling);
    header->scaling = nullptr;
}

void POLY_SEG_get_set_from_grid(RING_header_s* set) { for_each_poly(set, POLY_SEG_get_from_grid); }

void POLY_SEG_get_set_of_sets_from_grid(RING_header_s* set_of_sets) {
    for_each_poly(set_of_sets, POLY_SEG_get_from_grid);
}

void POLY_SEG_reround_arcs(RING_header_s* poly) {
    if (!poly || !poly->first) return;
    const std::vector<RING_node_s*> nodes = nodes_of(poly);
    const bool closed = POLY_SEG_is_closed(poly);
    for (size_t i = closed ? 0 : 1; i < nodes.size(); ++i) {
        LINE_ARC_SEG_s* s = seg_of(nodes[i]);
        if (!LINE_ARC_SEG_is_arc(s)) continue;
        const PNT2_s start = end_of(nodes[i == 0 ? nodes.size() - 1 : i - 1]);
        LINE_ARC_SEG_reround_arc(&start, s);
    }
}

void POLY_SEG_reround_arcs_in_set(RING_header_s* set) { for_each_poly(set, POLY_SEG_reround_arcs); }

bool POLY_SEG_is_small_closed_loop(const RING_header_s* poly, const double* limits) {
    const POLY_SEG_header_s* header = POLY_SEG_ask_header(poly);
    if (!header) return false;
    // 1. Limits: a scaled poly has defaults in grid units, only ever raised.
    double L, R;
    if (header->scaling) {
        L = POLY_SEG_SMALL_LOOP_PERIMETER;
        R = POLY_SEG_SMALL_LOOP_RATIO;
        if (limits) {
            L = std::max(L, limits[0]);
            R = std::max(R, limits[1]);
        }
    } else {
        if (!limits) ERROR_internal(__FILE__, __LINE__, "is_small_closed_loop: Non-scaled poly with no limits");
        L = limits[0];
        R = limits[1];
    }
    // 2. Only closed loops.
    if (!POLY_SEG_is_closed(poly)) return false;
    // 3. The perimeter, given up as soon as it reaches the limit.
    const std::vector<RING_node_s*> nodes = nodes_of(poly);
    PNT2_s start = end_of(nodes.back());
    double perimeter = 0.0;
    bool dummy = false;
    for (RING_node_s* n : nodes) {
        perimeter += piece_length(start, seg_of(n));
        if (perimeter >= L) return false;
        dummy = dummy || is_dummy(n);
        start = end_of(n);
    }
    // 4. A dummy, a loop under one grid unit around, or a sliver.  A loop of
    //    no length at all has no area either: small.
    if (dummy) return true;
    if (header->scaling && perimeter < 1.0) return true;
    if (perimeter == 0.0) return true;
    return std::fabs(POLY_SEG_area(poly)) / perimeter < R;
}

void POLY_SEG_remove_small_closed_loops(RING_header_s* set, const double* limits) {
    if (!set) return;
    for (RING_node_s* n : nodes_of(set)) {
        CERR_raise_on_abort();
        RING_header_s* poly = RING_ask_node_subring(n);
        if (!poly) {
            RING_delete_node(set, n);
        } else if (is_poly_ring(poly) && POLY_SEG_is_small_closed_loop(poly, limits)) {
            POLY_SEG_destroy(poly);
            RING_set_node_subring(n, nullptr);
            RING_delete_node(set, n);
        }
    }
}

namespace {

// A copy of the poly in the pool with every piece (telomeres too), its
// closure, header and scaling: the gouge check works on such copies so that
// the caller's polys are never offset or rounded.
RING_header_s* copy_poly_whole(const RING_header_s* poly, CMEM_pool_s* pool) {
    RING_header_s* copy = POLY_SEG_create(pool);
    for (RING_node_s* n : nodes_of(poly)) RING_insert_after(copy, copy->last, LINE_ARC_SEG_copy(seg_of(n), pool));
    if (copy->first && POLY_SEG_is_closed(poly)) close_ring(copy);
    POLY_SEG_copy_header(poly, copy);
    return copy;
}

RING_header_s* copy_set_whole(const RING_header_s* set, CMEM_pool_s* pool) {
    RING_header_s* copy = POLY_SEG_create_set(pool, POLY_SEG_ask_material_at_inf(set));
    for (RING_node_s* n : nodes_of(set)) {
        const RING_header_s* sub = RING_ask_node_subring(n);
        if (!sub) continue;
        POLY_SEG_append_to_set(copy, is_poly_ring(sub) ? copy_poly_whole(sub, pool) : copy_set_whole(sub, pool));
    }
    return copy;
}

// Destroys the intersection object on every exit.
struct PsiGuard {
    PSI_s* psi;
    ~PsiGuard() { PSI_destroy(psi); }
};

}  // namespace

bool POLY_SEG_region_gouge_check(RING_header_s* set, Korvo::Cam::MaterialAtInfinity material, double tolerance,
                                 RING_header_s* tool) {
    return merrow1::run_converting([&]() -> bool {
        // 1. The tolerance.
        tolerance = std::max(tolerance, 2.0 * EQ_ask_length_tolerance());
        if (!tool || !tool->first) return false;
        // A set is scaled all or nothing: decided before anything is made, so
        // the refusal leaves the set as it came.
        std::vector<RING_header_s*> polys;
        for_each_poly(set, [&](RING_header_s* poly) { polys.push_back(poly); });
        if (polys.empty()) return material == Korvo::Cam::MaterialAtInfinityPresent;
        const INT_GRID_MAP_s* map = POLY_SEG_ask_header(polys.front())->scaling;
        for (const RING_header_s* poly : polys)
            if ((POLY_SEG_ask_header(poly)->scaling != nullptr) != (map != nullptr))
                ERROR_internal(__FILE__, __LINE__, "Partially scaled set.");

        // Everything made below lives in the scratch pool (the copies, and a
        // map made here) or in the object's pool; the guards free both on
        // every exit, the object first.
        MERROW1_SCRATCH_POOL(scratch, "POLY_SEG_region_gouge_check");
        // 2. An unscaled set: a copy, each poly offset into its material by
        //    the tolerance, on a new grid over the copy.  A scaled set is used
        //    on its own map as it stands.
        RING_header_s* work = set;
        if (!map) {
            work = copy_set_whole(set, scratch);
            for_each_poly(work, [&](RING_header_s* poly) {
                CERR_raise_on_abort();
                POLY_SEG_ask_header(poly)->offset = -tolerance;
                POLY_SEG_offset(poly, work, nullptr, nullptr, nullptr, nullptr, nullptr, false);
            });
            map = POLY_SEG_put_set_to_grid(work, nullptr, false, nullptr, nullptr, 0.0);
        }
        // 3. The object, a copy of the tool on the same map, and the check.
        //    A tool copy that came on a grid goes back to reals first.
        PsiGuard guard{PSI_create(0, false, false, nullptr, nullptr)};
        RING_header_s* path = copy_poly_whole(tool, scratch);
        POLY_SEG_get_from_grid(path);
        try {
            POLY_SEG_put_to_grid(path, map);
            return PSI_method<PSI_set_region_gouge_check_fn>(guard.psi, PSI_SLOT_SET_REGION_GOUGE_CHECK)(
                guard.psi, work, material, path);
        } catch (const Korvo::Error::Exception& e) {
            if (e.askCode() != INT_GRID_MAP_ERROR_OUT_OF_RANGE) throw;
        }
        // 4. The tool reaches beyond the grid, which covers the set's box.
        //    With material at infinity the part beyond is in material: a
        //    gouge.  With finite material the part beyond is clear of it and
        //    the part within is not examined: answered as no gouge, noted.
        int mai = material;
        if (mai == Korvo::Cam::MaterialAtInfinityUndetermined)
            mai = PSI_method<PSI_set_is_material_at_inf_fn>(guard.psi, PSI_SLOT_SET_IS_MATERIAL_AT_INF)(
                guard.psi, work, nullptr);
        if (mai == Korvo::Cam::MaterialAtInfinityPresent) return true;
        ERROR_note(__FILE__, __LINE__, "%s",
                   "region_gouge_check: tool beyond the grid of a finite region, answered as no gouge");
        return false;
    });
}
