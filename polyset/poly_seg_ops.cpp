// Poly-segment editing: appending and joining open polys, splitting,
// filtering, telomeres, removal of inserted connectors, line fitting, and the
// thickness, point and link data of segments.
#include <merrow1/poly_seg.h>

#include "polyset/poly_seg_internal.h"

#include <stend/error.h>
#include <velte/cerr.h>

#include <cmath>
#include <vector>

using namespace merrow1::poly_seg;

namespace {

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
    if (dist2(e, s) > 4e-20) {
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
    const std::vector<RING_node_s*> set_nodes = nodes_of(set);
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
        const std::vector<RING_node_s*> nodes = nodes_of(poly);
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
