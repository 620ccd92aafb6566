// Poly-segment editing: appending and joining open polys, splitting,
// filtering, telomeres, removal of inserted connectors, line fitting, and the
// thickness, point and link data of segments.
//
// Set operations: booleans of region sets in passes, the same boolean as a
// boundary-zone map, the split into simply connected regions, inside tests,
// the segment-data copy callbacks of user bits, and the copying of polys into
// sets with offset settings.
#include <merrow1/bzone.h>
#include <merrow1/chain_types.h>
#include <merrow1/int_grid_map.h>
#include <merrow1/PolySegPoint.h>
#include <merrow1/poly_seg.h>
#include <merrow1/poly_seg_chain.h>
#include <merrow1/poly_seg_grid.h>
#include <merrow1/poly_seg_offset.h>
#include <merrow1/psi.h>

#include "internal/owned.h"
#include "internal/scratch_pool.h"
#include "polyset/poly_seg_internal.h"
#include "polyset/psi_gouge.h"
#include "polyset/psi_internal.h"
#include "polyset/psi_set.h"

#include <quorn/quorn.h>
#include <stend/error.h>
#include <velte/cerr.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

using namespace merrow1::poly_seg;

namespace {

// Appending a poly to another adds a connecting line only when the squared
// gap between the end and the start exceeds this; else the joint moves.
const double kJoinGapSquared = 4e-20;
// The limits of the small closed loops of an offset result, per grid cell of
// the largest offset: the perimeter, and the area over the perimeter.
const double kSmallLoopPerimeter = 0.007;
const double kSmallLoopAreaPerPerimeter = 3e-6;

double dist2(const PNT2_s& a, const PNT2_s& b) {
    const double dx = a.x - b.x, dy = a.y - b.y;
    return dx * dx + dy * dy;
}

// Length of the node's piece, 0 for a node without a start.
double piece_length(const RING_node_s* node) {
    if (!node || !node->previous) return 0.0;
    const PNT2_s start = end_of(node->previous);
    return LINE_ARC_SEG_arc_length(&start, seg_of(node));
}

// Moves a node's end point; an arc keeps its h and gets its centre vector anew.
void move_end(RING_node_s* node, const PNT2_s& p) {
    LINE_ARC_SEG_s* s = seg_of(node);
    s->x = p.x;
    s->y = p.y;
    if (LINE_ARC_SEG_is_arc(s) && node->previous) {
        const PNT2_s start = end_of(node->previous);
        LINE_ARC_SEG_set_centre(s, &start);
    }
}

// The start of the node's piece moved: an arc's centre vector follows.
void refresh_centre(RING_node_s* node) {
    if (!node || !node->previous) return;
    LINE_ARC_SEG_s* s = seg_of(node);
    if (LINE_ARC_SEG_is_arc(s)) {
        const PNT2_s start = end_of(node->previous);
        LINE_ARC_SEG_set_centre(s, &start);
    }
}

// Turns a node into a point record (a line value of h; its end stays).
void make_point_record(RING_node_s* node) { seg_of(node)->h = LINE_ARC_SEG_LINE_H; }

// A new poly beside `poly`: same pool, header copied, the node-data keys
// registered (by the copy callback, called once with nulls, and by `poly`'s
// own registry).
RING_header_s* new_sibling_poly(const RING_header_s* poly, POLY_SEG_copy_cb_t copy_cb) {
    RING_header_s* sibling = POLY_SEG_create(poly->pool);
    POLY_SEG_copy_header(poly, sibling);
    if (copy_cb) copy_cb(sibling, nullptr, nullptr, nullptr, nullptr);
    inherit_key_registry(poly, sibling);
    return sibling;
}

bool first_segment_has_no_side(const RING_header_s* poly) {
    return (seg_of(poly->first->next)->flags & POLY_SEG_FLAG_NO_SIDE) != 0;
}

// An open poly of two or more nodes whose first segment is not flagged 0x100.
bool joinable(const RING_header_s* poly) {
    return is_poly_ring(poly) && poly->count >= 2 && !POLY_SEG_is_closed(poly) && !first_segment_has_no_side(poly);
}

}  // namespace

// ---------------------------------------------------------------------------
// Appending and joining
// ---------------------------------------------------------------------------

void POLY_SEG_append(RING_header_s* a, RING_header_s* b, POLY_SEG_copy_cb_t copy_cb) {
    // 1. Both open.
    if (!a || !b || POLY_SEG_is_closed(a) || POLY_SEG_is_closed(b))
        ERROR_internal(__FILE__, __LINE__, "NULL or closed poly passed to POLY_SEG_append");
    const bool same = a == b;
    if (!b->first || (same && a->count < 2)) return;  // nothing to join
    if (!a->first) {
        inherit_key_registry(b, a);
        RING_append_ring(a, b);
        POLY_SEG_destroy(b);
        return;
    }
    // 2. The joint.  A gap gets a connecting line that carries the flags of
    //    the longer neighbour (a's last piece when equal or longer); a joint
    //    within 2e-10 meets in the middle.
    RING_node_s* a_last = a->last;
    RING_node_s* b_first = b->first;
    const PNT2_s e = end_of(a_last);
    const PNT2_s s = end_of(b_first);
    RING_node_s* chosen = a_last;
    if (dist2(e, s) > kJoinGapSquared) {
        RING_node_s* b_real = b_first->next;
        if (b_real && piece_length(b_real) > piece_length(a_last)) chosen = b_real;
        LINE_ARC_SEG_s* joint = seg_of(b_first);
        joint->h = LINE_ARC_SEG_LINE_H;
        joint->flags = seg_of(chosen)->flags;
        if (copy_cb) {
            bool handled = true;
            copy_cb(a, chosen, b_first, &handled, nullptr);
        }
    } else {
        const PNT2_s mid = {(e.x + s.x) / 2, (e.y + s.y) / 2};
        RING_node_s* b_real = b_first->next;
        RING_delete_node(b, b_first);
        move_end(a_last, mid);
        if (same) {
            // The old second node is first now and starts at the moved end
            // once the ring is closed below.
            close_ring(a);
            refresh_centre(a->first);
            return;
        }
        if (b_real) {
            // b's first piece now starts at the midpoint.
            RING_append_ring(a, b);
            inherit_key_registry(b, a);
            refresh_centre(b_real);
            POLY_SEG_destroy(b);
            return;
        }
    }
    // 3. Join or close.
    if (!same) {
        inherit_key_registry(b, a);
        RING_append_ring(a, b);
        POLY_SEG_destroy(b);
        return;
    }
    close_ring(a);
    if (chosen != a_last) {
        // The connecting line is the first node; it becomes the last piece.
        RING_node_s* line = a->first;
        a->first = line->next;
        a->last = line;
    }
}

void POLY_SEG_joinup_open_material(RING_header_s* set, POLY_SEG_copy_cb_t copy_cb) {
    if (!set) return;
    for (RING_node_s* node = set->first; node;) {
        RING_header_s* poly = RING_ask_node_subring(node);
        if (joinable(poly)) {
            // Each pass appends one later poly or closes this one, so the
            // loop ends within the set's node count.
            while (!POLY_SEG_is_closed(poly)) {
                CERR_raise_on_abort();
                const PNT2_s end = end_of(poly->last);
                double best = dist2(end, end_of(poly->first));
                RING_node_s* best_node = nullptr;
                for (RING_node_s* other = node->next; other && other != set->first; other = other->next) {
                    RING_header_s* q = RING_ask_node_subring(other);
                    if (!joinable(q)) continue;
                    const double d = dist2(end, end_of(q->first));
                    if (d < best) {
                        best = d;
                        best_node = other;
                    }
                }
                if (!best_node) {
                    POLY_SEG_append(poly, poly, copy_cb);
                    break;
                }
                // POLY_SEG_append deletes the appended poly's ring: clear the
                // node's sub-ring first so deleting the node does not destroy
                // it a second time.
                RING_header_s* q = RING_ask_node_subring(best_node);
                RING_set_node_subring(best_node, nullptr);
                POLY_SEG_append(poly, q, copy_cb);
                RING_delete_node(set, best_node);
            }
        }
        node = node == set->last ? nullptr : node->next;
    }
}

// ---------------------------------------------------------------------------
// Splitting and filtering
// ---------------------------------------------------------------------------

RING_header_s* POLY_SEG_split(RING_header_s* poly, RING_node_s* node, POLY_SEG_copy_cb_t copy_cb) {
    if (!poly || !node) return nullptr;
    if (POLY_SEG_is_closed(poly)) {
        // Open after the node, and put its end point in front as the start.
        open_ring_at(poly, node->next);
        const PNT2_s p = end_of(node);
        RING_insert_after(poly, nullptr, LINE_ARC_SEG_create_line(poly->pool, &p));
        return poly;
    }
    RING_header_s* tail = new_sibling_poly(poly, copy_cb);
    RING_node_s* from = node == poly->first ? node : node->next;
    while (from) {
        RING_node_s* next = from == poly->last ? nullptr : from->next;
        RING_move_node(poly, from, tail, tail->last);
        from = next;
    }
    if (poly->first && tail->first) {
        const PNT2_s p = end_of(node);
        RING_insert_after(tail, nullptr, LINE_ARC_SEG_create_line(tail->pool, &p));
    }
    return tail;
}

void POLY_SEG_filter_segments(RING_header_s* set, POLY_SEG_segment_filter_t filter, void* data,
                              POLY_SEG_copy_cb_t copy_cb) {
    if (!set || !filter) return;
    const auto set_nodes = nodes_of(set);
    // Every poly is checked before any is changed.
    for (RING_node_s* sn : set_nodes) {
        const RING_header_s* poly = RING_ask_node_subring(sn);
        if (poly && !POLY_SEG_is_closed(poly))
            ERROR_internal(__FILE__, __LINE__, "Open poly_seg encountered in POLY_SEG_filter_segments!");
    }
    for (RING_node_s* sn : set_nodes) {
        CERR_raise_on_abort();
        RING_header_s* poly = RING_ask_node_subring(sn);
        if (!poly) continue;
        const auto nodes = nodes_of(poly);
        const size_t n = nodes.size();
        std::vector<char> accepted(n);
        size_t count = 0;
        for (size_t i = 0; i < n; ++i) count += (accepted[i] = filter(nodes[i], data) ? 1 : 0);
        if (count == n) continue;
        if (count == 0) {
            POLY_SEG_destroy_cb(set, sn, poly);
            RING_delete_node(set, sn);
            continue;
        }
        // 1. Open the ring at a rejected node followed by an accepted one;
        //    that node becomes the point record in front of the first run.
        size_t k = 0;
        while (!(!accepted[k] && accepted[(k + 1) % n])) ++k;
        open_ring_at(poly, nodes[k]);
        // 2. Walk the open ring: a rejected node in front of a run becomes
        //    the run's start point (the first run stays in the poly, later
        //    runs go to new polys before the set node); other rejected nodes
        //    are deleted.
        RING_header_s* target = nullptr;
        for (size_t j = 0; j < n; ++j) {
            const size_t i = (k + j) % n;
            RING_node_s* node = nodes[i];
            if (accepted[i]) {
                if (target != poly) RING_move_node(poly, node, target, target->last);
                continue;
            }
            if (!accepted[(i + 1) % n] || j + 1 == n) {
                RING_delete_node(poly, node);
                continue;
            }
            make_point_record(node);
            if (!target) {
                target = poly;  // already first in the poly
            } else {
                target = new_sibling_poly(poly, copy_cb);
                RING_insert_after(set, sn->previous, target);
                RING_move_node(poly, node, target, nullptr);
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Telomeres
// ---------------------------------------------------------------------------

namespace {

// Unit vector of a tangent; (0, 1) when it is shorter than half a unit.
PNT2_s unit_tangent(const PNT2_s& t) {
    const double len = std::hypot(t.x, t.y);
    if (len < 0.5) return PNT2_s{0.0, 1.0};
    return PNT2_s{t.x / len, t.y / len};
}

double round_half_up(double v) { return std::floor(v + 0.5); }

}  // namespace

void POLY_SEG_add_telomeres(RING_header_s* poly) {
    if (!poly || poly->count < 2 || POLY_SEG_is_closed(poly)) return;
    RING_node_s* first = poly->first;
    RING_node_s* last = poly->last;
    PNT2_s t0, t1, unused;
    const PNT2_s p0 = end_of(first);
    const PNT2_s last_start = end_of(last->previous);
    LINE_ARC_SEG_tangents(seg_of(first->next), &p0, &t0, &unused);
    LINE_ARC_SEG_tangents(seg_of(last), &last_start, &unused, &t1);
    t0 = unit_tangent(t0);
    t1 = unit_tangent(t1);
    const PNT2_s p1 = end_of(last);
    // 100 units back along the start tangent and forward along the end
    // tangent, one unit to the left, on whole numbers.
    const PNT2_s start = {round_half_up(p0.x - 100 * t0.x - t0.y), round_half_up(p0.y - 100 * t0.y + t0.x)};
    const PNT2_s end = {round_half_up(p1.x + 100 * t1.x - t1.y), round_half_up(p1.y + 100 * t1.y + t1.x)};
    RING_insert_after(poly, nullptr, LINE_ARC_SEG_create_line(poly->pool, &start));
    seg_of(first)->flags |= POLY_SEG_FLAG_START_TELOMERE;
    RING_node_s* tail = RING_insert_after(poly, last, LINE_ARC_SEG_create_line(poly->pool, &end));
    seg_of(tail)->flags = POLY_SEG_FLAG_END_TELOMERE;
}

void POLY_SEG_add_telomeres_to_set(RING_header_s* set) {
    if (!set) return;
    if (is_poly_ring(set)) {
        POLY_SEG_add_telomeres(set);
        return;
    }
    for (RING_node_s* n : nodes_of(set)) POLY_SEG_add_telomeres_to_set(RING_ask_node_subring(n));
}

// ---------------------------------------------------------------------------
// Inserted connectors and line fitting
// ---------------------------------------------------------------------------

bool POLY_SEG_remove_inserts(RING_header_s* p, double tolerance) {
    if (!p) return false;
    if (!is_poly_ring(p)) {
        bool all = true;
        for (RING_node_s* n : nodes_of(p)) {
            RING_header_s* sub = RING_ask_node_subring(n);
            if (!sub) continue;
            if (!POLY_SEG_remove_inserts(sub, tolerance)) {
                all = false;
            } else if (is_poly_ring(sub)) {
                POLY_SEG_destroy(sub);
                RING_set_node_subring(n, nullptr);
            }
        }
        return all;
    }
    const double limit2 = 144 * tolerance * tolerance;
    bool all_inserts = true;
    for (RING_node_s* node : nodes_of(p)) {
        // Each node is looked at once; only the node at hand is deleted.
        RING_node_s* prev = node->previous;
        if (!prev) continue;
        const LINE_ARC_SEG_s* s = seg_of(node);
        const uint32_t f = s->flags;
        if (!(f & POLY_SEG_FLAGS_INSERT)) {
            all_inserts = false;
            continue;
        }
        if (prev == node) continue;  // the last node of a closed ring
        const PNT2_s a = end_of(prev), b = end_of(node);
        if (dist2(a, b) >= limit2) continue;
        RING_node_s* next = node->next;
        RING_delete_node(p, node);
        if (f & POLY_SEG_FLAG_INSERT_MID)
            move_end(prev, PNT2_s{(a.x + b.x) / 2, (a.y + b.y) / 2});
        else if (f & POLY_SEG_FLAG_INSERT_END)
            move_end(prev, b);
        refresh_centre(next);
    }
    return all_inserts;
}

namespace {

// Distance of v from the chord a-b, or from its nearer end when v projects
// outside it.
double chord_distance(const PNT2_s& v, const PNT2_s& a, const PNT2_s& b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len2 = dx * dx + dy * dy;
    if (len2 == 0) return std::sqrt(dist2(v, a));
    const double t = ((v.x - a.x) * dx + (v.y - a.y) * dy) / len2;
    if (t < 0) return std::sqrt(dist2(v, a));
    if (t > 1) return std::sqrt(dist2(v, b));
    return std::fabs((v.x - a.x) * dy - (v.y - a.y) * dx) / std::sqrt(len2);
}

void fit_line_segs(RING_header_s* poly, double tolerance) {
    if (poly->count <= 2) return;
    std::vector<RING_node_s*> nodes = nodes_of(poly);
    // 1. Where the walk starts: an open poly at its second node; a closed one
    //    at its first arc (once round), or at its first node.
    std::vector<RING_node_s*> walk;
    if (!POLY_SEG_is_closed(poly)) {
        walk.assign(nodes.begin() + 1, nodes.end());
    } else {
        size_t a = 0;
        while (a < nodes.size() && !LINE_ARC_SEG_is_arc(seg_of(nodes[a]))) ++a;
        if (a == nodes.size()) a = 0;
        for (size_t j = 0; j < nodes.size(); ++j) walk.push_back(nodes[(a + j) % nodes.size()]);
    }
    // 2. Greedy thinning of each run of lines from its anchor.  `run` holds
    //    the line nodes after the anchor; the last one ends the run so far.
    PNT2_s anchor = end_of(walk.front()->previous);
    std::vector<RING_node_s*> run;
    auto drop_inside = [&]() {
        for (size_t i = 0; i + 1 < run.size(); ++i) RING_delete_node(poly, run[i]);
        run.clear();
    };
    for (RING_node_s* node : walk) {
        if (LINE_ARC_SEG_is_arc(seg_of(node))) {
            drop_inside();
            anchor = end_of(node);
            continue;
        }
        const PNT2_s end = end_of(node);
        bool fits = true;
        for (RING_node_s* r : run)
            if (chord_distance(end_of(r), anchor, end) > tolerance) {
                fits = false;
                break;
            }
        if (!fits) {
            const PNT2_s previous_end = end_of(run.back());
            drop_inside();
            anchor = previous_end;
        }
        run.push_back(node);
    }
    drop_inside();
}

}  // namespace

void POLY_SEG_FitLineSegs(RING_header_s* p, double tolerance) {
    if (!p) return;
    if (is_poly_ring(p)) {
        fit_line_segs(p, tolerance);
        return;
    }
    for (RING_node_s* n : nodes_of(p)) POLY_SEG_FitLineSegs(RING_ask_node_subring(n), tolerance);
}

// ---------------------------------------------------------------------------
// Thickness, point data and node links
// ---------------------------------------------------------------------------

void POLY_SEG_set_seg_thickness(RING_header_s* poly, RING_node_s* node, int thickness) {
    if (!poly || !node) return;
    LINE_ARC_SEG_s* s = seg_of(node);
    int* record = static_cast<int*>(APP_DATA__ask_app_data(node->app_data, POLY_SEG_KEY_THICKNESS));
    if (!record) {
        RING_set_app_data_key(poly, POLY_SEG_KEY_THICKNESS, POLY_SEG_destroy_app_data_cb);
        record = CMEM_NEW(poly->pool, int);
        RING_put_node_app_data(poly, node, POLY_SEG_KEY_THICKNESS, record);
    }
    *record = thickness;
    s->flags |= POLY_SEG_FLAG_THICKNESS;
}

int POLY_SEG_ask_seg_thickness(const RING_node_s* node) {
    if (!node || !(seg_of(node)->flags & POLY_SEG_FLAG_THICKNESS)) return 1;
    const int* record = static_cast<const int*>(APP_DATA__ask_app_data(node->app_data, POLY_SEG_KEY_THICKNESS));
    return record ? *record : 1;
}

void POLY_SEG_handle_coincident_segments(RING_header_s* poly, RING_node_s* node, RING_header_s*,
                                         RING_node_s* other_node) {
    if (!poly || !node || !other_node) return;
    // A node without thickness counts 1, so "own + t" and "t + 1" agree.
    POLY_SEG_set_seg_thickness(poly, node, POLY_SEG_ask_seg_thickness(node) + POLY_SEG_ask_seg_thickness(other_node));
    seg_of(other_node)->flags |= POLY_SEG_FLAG_THICKNESS_MERGED;
}

void POLY_SEG_set_point_data(RING_node_s* node, Korvo::Math::Point2 point, CMEM_pool_s* pool) {
    if (!node || !pool) return;
    Korvo::Math::Point2* record =
        static_cast<Korvo::Math::Point2*>(APP_DATA__ask_app_data(node->app_data, POLY_SEG_KEY_POINT));
    if (!record) {
        record = CMEM_NEW(pool, Korvo::Math::Point2);
        APP_DATA__add_data(&node->app_data, record, POLY_SEG_KEY_POINT, pool);
    }
    *record = point;
}

bool POLY_SEG_dummy_src_eval_using_point_data(const RING_node_s* node, Korvo::Math::Point2* a,
                                              Korvo::Math::Point2* b, double* t, bool* flag, double* w) {
    if (!node) return false;
    const Korvo::Math::Point2* p =
        static_cast<const Korvo::Math::Point2*>(APP_DATA__ask_app_data(node->app_data, POLY_SEG_KEY_POINT));
    if (!p) return false;
    if (a) *a = *p;
    if (b) *b = *p;
    if (t) *t = 0.0;
    if (flag) *flag = true;
    if (w) *w = 1.0;
    return true;
}

namespace {

POLY_SEG_node_link_s* put_node_link(RING_header_s* poly, RING_node_s* node, RING_node_s* link, int copied) {
    POLY_SEG_node_link_s* record =
        static_cast<POLY_SEG_node_link_s*>(APP_DATA__ask_app_data(node->app_data, POLY_SEG_KEY_NODE_LINK));
    if (!record) {
        record = CMEM_NEW(poly->pool, POLY_SEG_node_link_s);
        RING_put_node_app_data(poly, node, POLY_SEG_KEY_NODE_LINK, record);
    }
    record->link = link;
    record->copied = copied;
    return record;
}

}  // namespace

POLY_SEG_node_link_s* POLY_SEG_set_node_link(RING_header_s* poly, RING_node_s* link, RING_node_s* node,
                                             bool* handled) {
    if (!poly || !link || !node) return nullptr;
    if (!handled || *handled) {
        RING_set_app_data_key(poly, POLY_SEG_KEY_NODE_LINK, POLY_SEG_destroy_app_data_cb);
        if (handled) *handled = false;
    }
    return put_node_link(poly, node, link, 0);
}

POLY_SEG_node_link_s* POLY_SEG_copy_node_link_from_previous(RING_header_s* poly, RING_node_s*, RING_node_s* node) {
    if (!poly || !node || !node->previous) return nullptr;
    const POLY_SEG_node_link_s* previous = static_cast<const POLY_SEG_node_link_s*>(
        APP_DATA__ask_app_data(node->previous->app_data, POLY_SEG_KEY_NODE_LINK));
    if (!previous) return nullptr;
    RING_set_app_data_key(poly, POLY_SEG_KEY_NODE_LINK, POLY_SEG_destroy_app_data_cb);
    return put_node_link(poly, node, previous->link, 1);
}

// ---------------------------------------------------------------------------
// Segment-data copy callbacks
// ---------------------------------------------------------------------------

namespace {

// The segment whose data a new node takes: the from node, else the new
// node's previous node, else its next node.
const RING_node_s* user_bits_source(const RING_node_s* from, const RING_node_s* to) {
    if (from) return from;
    if (to->previous) return to->previous;
    return to->next;
}

}  // namespace

void* POLY_SEG_copy_user_bits(RING_header_s*, RING_node_s* from, RING_node_s* to, bool*, void*) {
    if (!to) return nullptr;
    const RING_node_s* source = user_bits_source(from, to);
    if (!source || source == to) return nullptr;
    seg_of(to)->flags |= seg_of(source)->flags & POLY_SEG_USER_BITS;
    return nullptr;
}

void* POLY_SEG_copy_3d_user_bits(RING_header_s* poly, RING_node_s* from, RING_node_s* to, bool* handled,
                                 void* data) {
    if (!to) return nullptr;
    POLY_SEG_copy_user_bits(poly, from, to, handled, data);
    const RING_node_s* source = user_bits_source(from, to);
    if (!source || source == to || !poly) return nullptr;
    const double* z = static_cast<const double*>(APP_DATA__ask_app_data(source->app_data, POLY_SEG_KEY_Z_VALUE));
    if (!z) return nullptr;
    RING_set_key_having_delete_func(poly, POLY_SEG_KEY_Z_VALUE, POLY_SEG_destroy_app_data_cb);
    // A node that already holds a Z value takes the new one in its own record.
    if (double* own = static_cast<double*>(APP_DATA__ask_app_data(to->app_data, POLY_SEG_KEY_Z_VALUE))) {
        *own = *z;
        return nullptr;
    }
    double* record = CMEM_NEW(poly->pool, double);
    *record = *z;
    RING_put_node_app_data(poly, to, POLY_SEG_KEY_Z_VALUE, record);
    return nullptr;
}

void* POLY_SEG_copy_offset_user_bits(RING_header_s* poly, RING_node_s* from, RING_node_s* to, bool* handled,
                                     void* data) {
    if (!to) return nullptr;
    POLY_SEG_copy_user_bits(poly, from, to, handled, data);
    // An offset piece lies on a wall only between two pieces that do.
    const bool wall = to->previous && to->next && (seg_of(to->previous)->flags & POLY_SEG_FLAG_ON_WALL) &&
                      (seg_of(to->next)->flags & POLY_SEG_FLAG_ON_WALL);
    if (!wall) seg_of(to)->flags &= ~static_cast<uint32_t>(POLY_SEG_FLAG_ON_WALL);
    return nullptr;
}

// ---------------------------------------------------------------------------
// Copying polys into sets
// ---------------------------------------------------------------------------

namespace {

int segment_count(const RING_header_s* poly) {
    return POLY_SEG_is_closed(poly) ? poly->count : poly->count - 1;
}

// A two-segment poly counts when a segment carries the there-and-back mark,
// or when it has an arc and encloses more than a sliver.
bool two_segment_poly_is_significant(const RING_header_s* poly, double tolerance) {
    bool arc = false;
    for (const RING_node_s* n : nodes_of(poly)) {
        const LINE_ARC_SEG_s* s = seg_of(n);
        if (s->flags & POLY_SEG_FLAG_THERE_AND_BACK) return true;
        if (n->previous && LINE_ARC_SEG_is_arc(s)) arc = true;
    }
    if (!arc) return false;
    const double length = POLY_SEG_length(poly);
    return length > tolerance && 2.0 * std::fabs(POLY_SEG_area(poly)) / length > tolerance;
}

Korvo::Cam::MaterialAtInfinity swapped(Korvo::Cam::MaterialAtInfinity mai) {
    if (mai == Korvo::Cam::NoMaterialAtInfinity) return Korvo::Cam::MaterialAtInfinityPresent;
    if (mai == Korvo::Cam::MaterialAtInfinityPresent) return Korvo::Cam::NoMaterialAtInfinity;
    return mai;
}

}  // namespace

RING_header_s* POLY_SEG_copy_poly_to_set(const RING_header_s* poly, RING_header_s* set, CMEM_pool_s* pool,
                                         POLY_SEG_copy_cb_t copy_cb, double offset, int corner, bool skip,
                                         bool reverse, double tolerance, Korvo::Cam::MaterialAtInfinity mai) {
    if (!poly || !poly->first || !poly->last) return set;
    if (mai == Korvo::Cam::MaterialAtInfinityUndetermined && skip && segment_count(poly) == 2 &&
        !two_segment_poly_is_significant(poly, tolerance))
        return set;
    CMEM_pool_s* target = pool ? pool : set ? set->pool : poly->pool;
    RING_header_s* copy = POLY_SEG_copy(poly, target, copy_cb);
    POLY_SEG_header_s* header = POLY_SEG_ask_header(copy);
    header->offset = offset;
    header->skip_max_offset = true;
    header->no_circle = true;
    if (corner == EXTEND_TANGENT || corner == ALWAYS_EXTEND_TANGENT) header->do_tan_corner_ext = true;
    if (!set) set = POLY_SEG_create_set(target, mai);
    POLY_SEG_append_to_set(set, copy);
    if (reverse) POLY_SEG_reverse(copy);
    return set;
}

RING_header_s* POLY_SEG_copy_polys_to_set(const RING_header_s* source, RING_header_s* set, CMEM_pool_s* pool,
                                          POLY_SEG_copy_cb_t copy_cb, double offset, int corner, bool skip,
                                          bool reverse, double tolerance) {
    if (!source) return set;
    Korvo::Cam::MaterialAtInfinity mai = POLY_SEG_ask_material_at_inf(source);
    if (reverse) mai = swapped(mai);
    for (const RING_node_s* n : nodes_of(source)) {
        const RING_header_s* poly = RING_ask_node_subring(n);
        if (poly && is_poly_ring(poly))
            set = POLY_SEG_copy_poly_to_set(poly, set, pool, copy_cb, offset, corner, skip, reverse, tolerance, mai);
    }
    return set;
}

// ---------------------------------------------------------------------------
// Working copies of the caller's sets
// ---------------------------------------------------------------------------

namespace {

// Node data that the operations may change or free (winding weights, points
// and extension vectors of offsets, Z values) is copied; any other record
// (source references, links) is shared and never freed through a copy, as
// the copies register no delete function for its key.
void* copy_node_data(APP_DATA_key_t key, const void* data, CMEM_pool_s* pool, bool* owned) {
    *owned = true;
    switch (key) {
        case POLY_SEG_KEY_THICKNESS: {
            int* r = CMEM_NEW(pool, int);
            *r = *static_cast<const int*>(data);
            return r;
        }
        case POLY_SEG_KEY_POINT:
        case POLY_SEG_KEY_TAN_EXT: {
            PNT2_s* r = CMEM_NEW(pool, PNT2_s);
            *r = *static_cast<const PNT2_s*>(data);
            return r;
        }
        case POLY_SEG_KEY_Z_VALUE: {
            double* r = CMEM_NEW(pool, double);
            *r = *static_cast<const double*>(data);
            return r;
        }
        default:
            *owned = false;
            return const_cast<void*>(data);
    }
}

// A copy of the poly in the pool: every piece, its node data (see above),
// closure and header with scaling.
RING_header_s* working_copy_of_poly(const RING_header_s* poly, CMEM_pool_s* pool) {
    RING_header_s* copy = POLY_SEG_create(pool);
    for (const RING_node_s* n : nodes_of(poly)) {
        RING_node_s* c = RING_insert_after(copy, copy->last, LINE_ARC_SEG_copy(seg_of(n), pool));
        for (const APP_DATA_s* e = n->app_data; e; e = e->next) {
            bool owned = false;
            void* data = copy_node_data(e->key, e->data, pool, &owned);
            if (owned) RING_set_key_having_delete_func(copy, e->key, POLY_SEG_destroy_app_data_cb);
            APP_DATA__add_data(&c->app_data, data, e->key, pool);
        }
    }
    if (copy->first && POLY_SEG_is_closed(poly)) close_ring(copy);
    POLY_SEG_copy_header(poly, copy);
    return copy;
}

// A copy of a set (with its material-at-infinity value) or of a set of sets;
// nodes without a sub-ring stay as empty nodes, so that counts and positions
// of region sets are kept.
RING_header_s* working_copy_of_set(const RING_header_s* set, CMEM_pool_s* pool, int depth = 0) {
    if (depth > 64) ERROR_internal(__FILE__, __LINE__, "Set nesting too deep");
    RING_header_s* copy = set->main_data ? POLY_SEG_create_set(pool, POLY_SEG_ask_material_at_inf(set))
                                         : POLY_SEG_create_set_of_sets(pool);
    for (const RING_node_s* n : nodes_of(set)) {
        const RING_header_s* sub = RING_ask_node_subring(n);
        RING_header_s* sub_copy = nullptr;
        if (sub)
            sub_copy = is_poly_ring(sub) ? working_copy_of_poly(sub, pool) : working_copy_of_set(sub, pool, depth + 1);
        RING_node_s* node = RING_insert_after(copy, copy->last, nullptr);
        RING_set_node_subring(node, sub_copy);
    }
    return copy;
}

// The intersection object, a grid map made by the operation and a ring,
// each destroyed on every exit unless released.
using OwnedPsi = merrow1::Owned<PSI_s, PSI_destroy>;
using OwnedGrid = merrow1::Owned<INT_GRID_MAP_s, INT_GRID_MAP__destroy>;
using OwnedRing = merrow1::Owned<RING_header_s, RING_delete>;

double grid_cell(const INT_GRID_MAP_s* map) {
    return map ? INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_GRID_SIZE>(map)(map, 0) : 0.0;
}

bool any_poly_offset(const RING_header_s* ring, int depth = 0) {
    if (!ring || depth > 64) return false;
    if (is_poly_ring(ring)) return POLY_SEG_ask_header(ring)->offset != 0.0;
    for (const RING_node_s* n : nodes_of(ring))
        if (any_poly_offset(RING_ask_node_subring(n), depth + 1)) return true;
    return false;
}

// What the first pass learns of a group before it is offset.
struct OffsetFacts {
    int* material = nullptr;    // one value per region set, in the object's pool
    bool dummy_covers = false;  // dummies are evaluated from their point data
    bool any_offset = false;    // some poly counts for the largest offset
    double max_offset = 0.0;
};

// Step 2 of the first pass, shared by the boolean and the zones: the material
// at infinity of every set from the unoffset geometry, whether dummy covers
// are needed, the largest offset, then the offset itself.
OffsetFacts offset_group(PSI_s* psi, RING_header_s* group, POLY_SEG_set_offset_cb_t offset_cb, void* data) {
    OffsetFacts facts;
    PSI_method<PSI_set_calc_inf_for_offsets_fn>(psi, PSI_SLOT_SET_CALC_INF_FOR_OFFSETS)(
        psi, psi->pool, group, offset_cb != nullptr, false, &facts.material);
    facts.dummy_covers = offset_cb && POLY_SEG_set_of_sets_needs_full_dummy_covers(group);
    facts.any_offset = POLY_SEG_get_set_of_sets_max_offset(group, &facts.max_offset);
    // Without a callback and without header offsets there is nothing to move.
    if (offset_cb || any_poly_offset(group))
        POLY_SEG_offset_set_of_sets(group, POLY_SEG_copy_offset_user_bits, offset_cb, data, nullptr, nullptr, false);
    return facts;
}

// Limits of the small closed loops of a result: with offsets, scaled by the
// largest offset in grid cells; else the defaults (null).
const double* small_loop_limits(const OffsetFacts& facts, const INT_GRID_MAP_s* grid, double limits[2]) {
    if (!facts.any_offset) return nullptr;
    const double q = facts.max_offset / grid_cell(grid);
    limits[0] = q * kSmallLoopPerimeter;
    limits[1] = q * kSmallLoopAreaPerPerimeter;
    return limits;
}

// Moves every poly of `from` to the end of `to` (same pool); nodes without a
// poly are left behind.
void move_polys(RING_header_s* from, RING_header_s* to) {
    for (RING_node_s* n : nodes_of(from))
        if (RING_ask_node_subring(n)) RING_move_node(from, n, to, to->last);
}

}  // namespace

// ---------------------------------------------------------------------------
// Booleans of region sets in passes
// ---------------------------------------------------------------------------

namespace {

// Group sizes of one pass over n sets: threes, the first r groups four when
// 1 <= r <= g (g = n / 3, r = n mod 3), a last group of r when r > g (only
// n = 5); n below 3 is one group.  One group means the last pass.
std::vector<int> pass_group_sizes(int n) {
    if (n <= 0) return {};
    const int g = n / 3, r = n % 3;
    if (g == 0) return {n};
    std::vector<int> sizes(static_cast<size_t>(g), 3);
    if (r >= 1 && r <= g)
        for (int i = 0; i < r; ++i) sizes[static_cast<size_t>(i)] = 4;
    else if (r > g)
        sizes.push_back(r);
    return sizes;
}

// One group of region sets combined into the output set.  In the first pass
// the group holds working copies of the caller's sets, later passes the
// results of the pass before; either way the group is discarded afterwards,
// so its sets are neither brought back from the grid nor cleared of their
// winding marks here.
void POLY_SEG__boolean_set_group(RING_header_s* group, const INT_GRID_MAP_s* map, unsigned operation,
                                 POLY_SEG_set_offset_cb_t offset_cb, void* data, RING_header_s* output,
                                 bool first_pass, bool last_pass) {
    if (!group || !group->first || !output) return;
    // The result is built in a set of its own in the output's pool and moved
    // into the output set at the end, so that polys the output held before
    // are neither given this grid's scaling, nor cleared by a cover pass,
    // nor tested as small loops.
    OwnedRing result(POLY_SEG_create_set(output->pool, Korvo::Cam::MaterialAtInfinityUndetermined));
    {
        // 1. The intersection object.
        OwnedPsi guard(PSI_create(0, true, false,
                                  (operation & POLY_SEG_BOOLEAN_USER_BITS) ? POLY_SEG_copy_user_bits : nullptr,
                                  nullptr));
        PSI_s* psi = guard.get();
        // 2. Material at infinity and offsets (first pass), or the values the
        //    earlier pass stored in its results.
        OffsetFacts facts;
        if (first_pass) {
            facts = offset_group(psi, group, offset_cb, data);
        } else {
            const auto sets = nodes_of(group);
            facts.material = CMEM_NEW_ARRAY(psi->pool, int, sets.size());
            for (size_t i = 0; i < sets.size(); ++i) {
                const RING_header_s* set = RING_ask_node_subring(sets[i]);
                facts.material[i] =
                    set ? POLY_SEG_ask_material_at_inf(set) : Korvo::Cam::MaterialAtInfinityUndetermined;
            }
        }
        // 3. The grid: the first pass, and every pass without the caller's
        //    map, rounds the group; otherwise it is on the caller's grid.
        OwnedGrid made;
        const INT_GRID_MAP_s* grid = map;
        if (first_pass || !map) {
            INT_GRID_MAP_s* used = POLY_SEG_put_set_of_sets_to_grid(group, map, false, nullptr, nullptr, 0.0);
            if (!map) made.reset(used);
            grid = used;
        }
        // 4. The rounding tolerance: the grid's cell.
        const double tolerance = grid_cell(grid);
        // 5. The boolean.
        PSI_set_output_s out{result.get(), Korvo::Cam::MaterialAtInfinityUndetermined, PSI_SET_OUTPUT_POLYS,
                             PSI_SET_OUTPUT_SET, POLY_SEG_copy_user_bits};
        PSI_method<PSI_set_boolean_fn>(psi, PSI_SLOT_SET_BOOLEAN)(
            psi, group, facts.material, (operation & POLY_SEG_BOOLEAN_UNION) != 0,
            (operation & POLY_SEG_BOOLEAN_LATER_PASS) == 0, true,
            facts.dummy_covers ? POLY_SEG_dummy_src_eval_using_point_data : nullptr,
            (operation & POLY_SEG_BOOLEAN_HIDE_DUPLICATES) != 0, &out);
        // 6. The object goes (its pool held the material array).
        guard.reset();
        // 7. Slivers of the result.
        double limits[2];
        POLY_SEG_remove_small_closed_loops(result.get(), small_loop_limits(facts, grid, limits));
        // 9. A result that feeds a later pass on the caller's grid stays on it
        //    (its arcs re-rounded); any other goes back to reals.
        const bool stays_on_grid = !last_pass && map;
        if (stays_on_grid)
            POLY_SEG_reround_arcs_in_set(result.get());
        else
            POLY_SEG_get_set_from_grid(result.get());
        // 11. Inserted connectors shorter than the grid allows go.
        if (!stays_on_grid) POLY_SEG_remove_inserts(result.get(), tolerance);
        // 12. The output takes the result's material at infinity.
        POLY_SEG_set_material_at_inf(output, static_cast<Korvo::Cam::MaterialAtInfinity>(out.material_at_infinity));
        // 13. A grid made here goes with `made`.
    }
    move_polys(result.get(), output);
}

}  // namespace

void POLY_SEG_boolean_set(RING_header_s* set_of_sets, const INT_GRID_MAP_s* map, unsigned operation,
                          POLY_SEG_set_offset_cb_t offset_cb, void* data, RING_header_s* output) {
    merrow1::run_converting([&] {
        if (!set_of_sets || !output) return;
        // 1. The pool and the group ring, reused by every group.
        MERROW1_SCRATCH_POOL(pool, "POLY_SEG_set_boolean");
        RING_header_s* group = POLY_SEG_create_set_of_sets(pool);
        RING_header_s* current = set_of_sets;
        bool first_pass = true;
        // Every pass but the last has at least two groups of at least two
        // sets, so the number of sets falls with each pass: at most
        // count passes.
        for (int pass = 0; pass <= set_of_sets->count; ++pass) {
            // 2. The groups of this pass.
            const auto sets = nodes_of(current);
            const std::vector<int> sizes = pass_group_sizes(static_cast<int>(sets.size()));
            if (sizes.empty()) return;
            const bool last_pass = sizes.size() == 1;
            RING_header_s* next = last_pass ? nullptr : POLY_SEG_create_set_of_sets(pool);
            // 3. The sets in ring order, group by group.
            size_t k = 0;
            for (int size : sizes) {
                for (int i = 0; i < size; ++i, ++k) {
                    RING_header_s* set = RING_ask_node_subring(sets[k]);
                    // The caller's sets are worked on as copies; later passes
                    // lend the group their own results.
                    if (first_pass && set) set = working_copy_of_set(set, pool);
                    RING_set_node_subring(RING_insert_after(group, group->last, nullptr), set);
                }
                RING_header_s* out = output;
                if (!last_pass) {
                    out = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
                    POLY_SEG_append_to_set_of_sets(next, out);
                }
                const unsigned op = first_pass ? operation : operation | POLY_SEG_BOOLEAN_LATER_PASS;
                POLY_SEG__boolean_set_group(group, map, op, offset_cb, data, out, first_pass, last_pass);
                // Copies go with their nodes; lent results are detached first.
                for (RING_node_s* n : nodes_of(group)) {
                    if (!first_pass) RING_set_node_subring(n, nullptr);
                    RING_delete_node(group, n);
                }
            }
            // 4. The previous pass's results are spent; the caller's input
            //    never is.
            if (!first_pass) RING_delete(current);
            if (last_pass) return;
            current = next;
            first_pass = false;
        }
        ERROR_internal(__FILE__, __LINE__, "POLY_SEG_boolean_set: passes do not end");
    });
}

// ---------------------------------------------------------------------------
// The boolean as a zone map
// ---------------------------------------------------------------------------

namespace {

struct ZoneBoundaryContext {
    const double* limits;
    double tolerance;
};

// A boundary's poly stays when it is not a small closed loop and, back in
// real coordinates, is not made of inserted connectors only; otherwise its
// curves are freed, which also ends the walk there.
void keep_or_free_boundary(void* data, BZONE_boundary_s* boundary) {
    const ZoneBoundaryContext* ctx = static_cast<const ZoneBoundaryContext*>(data);
    if (boundary->curve.type != BZONE_CURVE_POLY_SEG || boundary->curve.next != &boundary->curve) return;
    RING_header_s* poly = static_cast<RING_header_s*>(boundary->curve.representation);
    bool keep = poly && !POLY_SEG_is_small_closed_loop(poly, ctx->limits);
    if (keep) {
        POLY_SEG_get_from_grid(poly);
        keep = !POLY_SEG_remove_inserts(poly, ctx->tolerance);
    }
    if (!keep) BZONE_boundary_free_rep(boundary);
}

}  // namespace

void POLY_SEG_boolean_set_to_zones(RING_header_s* set_of_sets, const INT_GRID_MAP_s* map, unsigned operation,
                                   POLY_SEG_set_offset_cb_t offset_cb, void* data, BZONE_map_s* zones,
                                   double* tolerance) {
    if (tolerance) *tolerance = 0.0;
    if (!set_of_sets || !set_of_sets->first || !zones) return;
    merrow1::run_converting([&] {
        MERROW1_SCRATCH_POOL(pool, "POLY_SEG_boolean_set_to_zones");
        // The caller's sets are worked on as copies.
        RING_header_s* work = working_copy_of_set(set_of_sets, pool);
        OwnedPsi guard(PSI_create(0, true, true,
                                  (operation & POLY_SEG_BOOLEAN_USER_BITS) ? POLY_SEG_copy_user_bits : nullptr,
                                  nullptr));
        PSI_s* psi = guard.get();
        const OffsetFacts facts = offset_group(psi, work, offset_cb, data);
        OwnedGrid made;
        const INT_GRID_MAP_s* grid = POLY_SEG_put_set_of_sets_to_grid(work, map, false, nullptr, nullptr, 0.0);
        if (!map) made.reset(const_cast<INT_GRID_MAP_s*>(grid));
        const double t = grid_cell(grid);
        PSI_set_output_s out{zones, Korvo::Cam::MaterialAtInfinityUndetermined, PSI_SET_OUTPUT_POLYS,
                             PSI_SET_OUTPUT_ZONES, POLY_SEG_copy_user_bits};
        PSI_method<PSI_set_boolean_fn>(psi, PSI_SLOT_SET_BOOLEAN)(
            psi, work, facts.material, (operation & POLY_SEG_BOOLEAN_UNION) != 0, true, true,
            facts.dummy_covers ? POLY_SEG_dummy_src_eval_using_point_data : nullptr,
            (operation & POLY_SEG_BOOLEAN_HIDE_DUPLICATES) != 0, &out);
        guard.reset();
        double limits[2];
        ZoneBoundaryContext ctx{small_loop_limits(facts, grid, limits), t};
        BZONE_map_apply_zone_boundary_functors(zones, &ctx, nullptr, keep_or_free_boundary);
        if (tolerance) *tolerance = t;
    });
}

// ---------------------------------------------------------------------------
// Simply connected regions
// ---------------------------------------------------------------------------

namespace {

struct SplitContext {
    RING_header_s* output;
    const BZONE_map_s* zones;
    double rounding;  // the grid cell of this split's boolean
    double value;     // the rounding, raised by every cut
};

// The boundaries of a zone in list order, at most as many as the map holds.
std::vector<BZONE_boundary_s*> boundaries_of(const BZONE_map_s* zones, BZONE_s* zone) {
    std::vector<BZONE_boundary_s*> out;
    const int bound = zones->boundaries ? zones->boundaries->num_active : 0;
    for (BZONE_boundary_s* b = zone->first_boundary; b; b = b->next[zone->value]) {
        if (static_cast<int>(out.size()) >= bound)
            ERROR_internal(__FILE__, __LINE__, "Zone boundary list does not end");
        out.push_back(b);
    }
    return out;
}

// Zone functor of the split: each material zone becomes hole-free regions.
void split_material_zone(void* data, BZONE_s* zone, BZONE_s* previous) {
    SplitContext* ctx = static_cast<SplitContext*>(data);
    if (zone->value != 1 || !previous) return;
    CERR_raise_on_abort();
    CMEM_pool_s* pool = ctx->output->pool;
    // 1. The zone's boundary polys in a region set of its own; the one shared
    //    with the zone the walk came from is the outer poly.  The polys are
    //    copied, not taken: the boundaries stay active, so the walk goes on
    //    through the holes to the islands inside them.
    OwnedRing region(POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity));
    RING_node_s* outer = nullptr;
    std::vector<RING_node_s*> holes;
    BZONE_s* live_previous = BZONE_live_zone(previous);
    for (BZONE_boundary_s* b : boundaries_of(ctx->zones, zone)) {
        if (b->curve.type != BZONE_CURVE_POLY_SEG || !b->curve.representation) continue;
        RING_header_s* copy = POLY_SEG_copy(static_cast<RING_header_s*>(b->curve.representation), pool, nullptr);
        RING_node_s* node = POLY_SEG_append_to_set(region.get(), copy);
        if (!outer && BZONE_live_zone(b->zone[zone->value ^ 1]) == live_previous)
            outer = node;
        else
            holes.push_back(node);
    }
    // 2. No outer poly: nothing to give.
    if (!outer) return;
    // 3. The cut: through the middle of the tall hole whose middle height is
    //    nearest the region's; low holes are dropped.
    const double t = ctx->rounding;
    double box[4];
    POLY_SEG_get_bbox(RING_ask_node_subring(outer), box);
    box[0] -= 10 * t;
    box[1] += 10 * t;
    box[2] -= 10 * t;
    box[3] += 10 * t;
    const double reference = (box[2] + box[3]) / 2;
    double best = 1e19, cut = 0.0;
    bool have_cut = false;
    for (RING_node_s* h : holes) {
        double hb[4];
        POLY_SEG_get_bbox(RING_ask_node_subring(h), hb);
        if (hb[3] - hb[2] >= 10 * t) {
            const double middle = (hb[2] + hb[3]) / 2;
            if (std::fabs(middle - reference) < best) {
                best = std::fabs(middle - reference);
                cut = middle;
                have_cut = true;
            }
        } else {
            RING_delete_node(region.get(), h);
        }
    }
    if (have_cut) {
        // 4. The region against the box above the cut, then below it.
        RING_header_s* pair = POLY_SEG_create_set_of_sets(pool);
        OwnedRing pair_guard(pair);
        RING_header_s* boxes = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
        POLY_SEG_append_to_set_of_sets(pair, region.get());
        region.release();  // the pair owns it now
        POLY_SEG_append_to_set_of_sets(pair, boxes);
        RING_node_s* upper = POLY_SEG_append_to_set(boxes, POLY_SEG_CreateBoxPoly(box[0], cut, box[1], box[3], pool));
        double v_upper = 0.0, v_lower = 0.0;
        POLY_SEG_split_set_into_simply_connected_regions(pair, false, ctx->output, &v_upper);
        RING_delete_node(boxes, upper);
        POLY_SEG_append_to_set(boxes, POLY_SEG_CreateBoxPoly(box[0], box[2], box[1], cut, pool));
        POLY_SEG_split_set_into_simply_connected_regions(pair, false, ctx->output, &v_lower);
        ctx->value += std::max(v_upper, v_lower);
        return;
    }
    // 5. No tall hole: the outer poly is a region by itself.
    RING_move_node(region.get(), outer, ctx->output, ctx->output->last);
}

// A zone map destroyed on every exit.
using OwnedZoneMap = merrow1::Owned<BZONE_map_s, BZONE_destroy_map>;

}  // namespace

void POLY_SEG_split_set_into_simply_connected_regions(RING_header_s* set_of_sets, bool union_flag,
                                                      RING_header_s* output, double* value) {
    if (!set_of_sets || !set_of_sets->first || !output) return;
    merrow1::run_converting([&] {
        OwnedZoneMap zones(BZONE_create_map(output->pool, 8));
        SplitContext ctx{output, zones.get(), 0.0, 0.0};
        POLY_SEG_boolean_set_to_zones(set_of_sets, nullptr, union_flag ? POLY_SEG_BOOLEAN_UNION : 0u, nullptr,
                                      nullptr, zones.get(), &ctx.rounding);
        ctx.value = ctx.rounding;
        BZONE_map_apply_zone_boundary_functors(zones.get(), &ctx, split_material_zone, nullptr);
        if (value) *value = ctx.value;
    });
}

// ---------------------------------------------------------------------------
// Inside tests
// ---------------------------------------------------------------------------

namespace {

// A point (a poly of one node) becomes a line one grid unit long along x, so
// that it has a segment to wrap.
void extend_point(RING_header_s* path) {
    if (path->count != 1) return;
    if (POLY_SEG_is_closed(path)) open_ring_at(path, path->first);
    const PNT2_s p = end_of(path->first);
    const PNT2_s q{p.x + 1.0, p.y};
    POLY_SEG_append_line(path, &q);
}

// The degouge pass of the wrapped path against the wrapped set, in a ring of
// path records in the pool.
RING_header_s* path_records(PSI_s* psi, DYNAMIC_ARRAY_s* wrapped_set, PSI_segment_search_wrapper_s* path,
                            bool material, CMEM_pool_s* pool) {
    RING_header_s* records = PSI__set_create_path_ring(pool);
    PSI_method<PSI_set_degouge_poly_seg_fn>(psi, PSI_SLOT_SET_DEGOUGE_POLY_SEG)(psi, wrapped_set, material ? 1 : 0,
                                                                               path, true, records);
    return records;
}

// The record the answer is read from: the second (the first transition), or
// the first when it is alone; null for none.
const PSI_path_record_s* answering_record(const RING_header_s* records) {
    if (!records->first) return nullptr;
    const RING_node_s* n = records->count == 1 ? records->first : records->first->next;
    return static_cast<const PSI_path_record_s*>(n->main_data);
}

}  // namespace

bool POLY_SEG_is_inside(RING_header_s* poly, RING_header_s* set, const INT_GRID_MAP_s* map, bool material) {
    return merrow1::run_converting([&]() -> bool {
        if (!poly || !poly->first) return false;
        MERROW1_SCRATCH_POOL(pool, "POLY_SEG_is_inside");
        OwnedPsi guard(PSI_create(0, false, false, nullptr, nullptr));
        PSI_s* psi = guard.get();
        // The caller's poly and set are worked on as copies: with a map, the
        // set's copy is offset and both go on that grid.
        RING_header_s* path = working_copy_of_poly(poly, pool);
        RING_header_s* work = set;
        if (map) {
            if (set) {
                work = working_copy_of_set(set, pool);
                POLY_SEG_offset_set(work, nullptr, nullptr, nullptr, nullptr, nullptr, false);
                POLY_SEG_put_set_to_grid(work, map, false, nullptr, nullptr, 0.0);
            }
            POLY_SEG_put_to_grid(path, map);
        }
        extend_point(path);
        PSI_segment_search_wrapper_s* wrapper = PSI__wrap_init_poly(psi, path);
        DYNAMIC_ARRAY_s* wrapped = work ? PSI__wrap_init_poly_set(psi, work) : nullptr;
        const RING_header_s* records = path_records(psi, wrapped, wrapper, material, pool);
        if (records->count >= 3) return true;
        const PSI_path_record_s* r = answering_record(records);
        return r && !r->outside;
    });
}

bool POLY_SEG_is_inside(RING_header_s* poly, PSI_s* psi, DYNAMIC_ARRAY_s* wrapped_set, bool material) {
    return merrow1::run_converting([&]() -> bool {
        if (!poly || !poly->first) return false;
        MERROW1_SCRATCH_POOL(pool, "POLY_SEG_is_inside");
        OwnedPsi owned(psi ? nullptr : PSI_create(0, false, false, nullptr, nullptr));
        PSI_s* object = psi ? psi : owned.get();
        RING_header_s* path = working_copy_of_poly(poly, pool);
        extend_point(path);
        PSI_segment_search_wrapper_s* wrapper = PSI__wrap_init_poly(object, path);
        // The path leaves the caller's object again on every exit.
        bool answer = false;
        try {
            const RING_header_s* records = path_records(object, wrapped_set, wrapper, material, pool);
            const PSI_path_record_s* r = answering_record(records);
            answer = r && !r->outside;
        } catch (...) {
            try {
                PSI__remove_wrapped_poly(object, wrapper);
            } catch (...) {
            }
            throw;
        }
        PSI__remove_wrapped_poly(object, wrapper);
        return answer;
    });
}

// ---------------------------------------------------------------------------
// Crossings of a path with the boundary of a set's material
// ---------------------------------------------------------------------------

namespace {

Korvo::Cam::PolySegPoint* new_point(CMEM_pool_s* pool, const PNT2_s& p, RING_node_s* seg, RING_node_s* after,
                                    bool gouge_free) {
    void* memory = CMEM_ALLOC(pool, 1, sizeof(Korvo::Cam::PolySegPoint));
    return new (memory) Korvo::Cam::PolySegPoint(Korvo::Math::Point2{p.x, p.y}, seg, after, gouge_free);
}

bool same_point(const PNT2_s& a, const PNT2_s& b) { return a.x == b.x && a.y == b.y; }

}  // namespace

RING_header_s* POLY_SEG_create_material_crossing_list(RING_header_s* path, RING_header_s* set, bool material,
                                                      CMEM_pool_s* pool) {
    if (!path || !pool || path->count < 2 || POLY_SEG_is_closed(path)) return nullptr;
    return merrow1::run_converting([&]() -> RING_header_s* {
        RING_header_s* list = RING_create_in_pool(path, RING_TYPE_CHAIN, pool);
        OwnedPsi guard(PSI_create(0, false, false, nullptr, nullptr));
        PSI_s* psi = guard.get();
        PSI_segment_search_wrapper_s* wrapper = PSI__wrap_init_poly(psi, path);
        DYNAMIC_ARRAY_s* wrapped = set ? PSI__wrap_init_poly_set(psi, set) : nullptr;
        RING_header_s* records = PSI__set_create_path_ring(psi->pool);
        PSI__set_degouge_poly_seg(psi, wrapped, material ? 1 : 0, wrapper, true, records);
        // The records run from the path's start through every change of
        // material to its end.  A record names the segment on which the next
        // section begins; a record at that segment's start lies at the end
        // of the segment before it.
        RING_node_s* node = records->first;
        for (int i = 0; node && i < records->count; ++i, node = node->next) {
            const PSI_path_record_s* r = static_cast<const PSI_path_record_s*>(node->main_data);
            RING_node_s* seg = r->seg;
            RING_node_s* after = seg;
            if (i > 0 && seg && seg->previous && seg->previous->previous && same_point(r->pnt, end_of(seg->previous)))
                seg = seg->previous;
            else if (seg && seg != path->last && same_point(r->pnt, end_of(seg)))
                after = seg->next;
            RING_insert_after(list, list->last, new_point(pool, r->pnt, seg, after, r->outside != 0));
        }
        return list;
    });
}
