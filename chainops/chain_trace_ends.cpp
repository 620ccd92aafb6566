// The vertices of a cleaned trace put back where the trace's own pieces meet.
//
// The offset clean rounds a trace onto a grid of its own, whose cells are
// placed by the trace's box: a vertex of the trace comes back from the grid
// one or two cells away from where it was, a different way for every trace.
// Offsets of different chains that lie exactly on one another (an island's
// offset along the wall's) would then no longer coincide, and the boolean
// that resolves them would see two lines a cell apart instead of one
// stretch.  So each vertex of the cleaned loops, which the grid decided, is
// put on the point where the real pieces of the trace that the two loop
// pieces meeting there come from meet: their shared vertex, or the crossing
// of their lines and circles nearest the grid's point.  A point of the grid
// keeps its place when its pieces have no such meeting near it, or when the
// loops pass it with pieces of different sources that meet at different
// points: one grid point stays one point.  A point between two pieces of one
// trace segment goes to its foot on that segment's line or circle.  The ends
// of an open poly (a run cut out of the trace, as the offsets of open chains
// are) have a piece on one side only: each goes to the end of that piece's
// trace segment nearest it (the trace's own end, or the trace vertex where
// the run was cut from the pieces that were dropped), else to its foot on
// the segment's line or circle.  Arcs keep their centres (the centre of the
// trace's arc they come from, where there is one) and their sense.
#include "chainops/chain_poly_seg_internal.h"

#include "internal/ring_nodes.h"

#include <merrow1/chain.h>
#include <merrow1/chain_segments.h>
#include <merrow1/line_arc_seg.h>
#include <merrow1/poly_seg.h>
#include <merrow1/segment.h>
#include <merrow1/segment_intersection.h>
#include <velte/ring.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

namespace {

LINE_ARC_SEG_s* piece_of(const RING_node_s* node) { return static_cast<LINE_ARC_SEG_s*>(node->main_data); }

using Key = std::pair<double, double>;
Key key_of(const LINE_ARC_SEG_s* s) { return {s->x, s->y}; }

double gap(const double a[2], const PNT2_s& b) { return std::hypot(a[0] - b.x, a[1] - b.y); }

// The trace segment a loop piece comes from: the segment of the trace that
// ends at the vertex its source reference names; false for a piece of no
// trace vertex (a connector the rounding made, say).
bool source_segment(const RING_node_s* node, const RING_header_s* trace, SEGMENT* out, const RING_node_s** vertex) {
    const auto* ref = static_cast<const CHAIN_app_poly_seg_chain_source_s*>(
        APP_DATA__ask_app_data(node->app_data, POLY_SEG_KEY_CHAIN_SOURCE));
    if (!ref || ref->chain != trace || !ref->vertex) return false;
    if (!ChainSegment(trace, ref->vertex, out)) return false;
    if (out->type != SEG_LINE && out->type != SEG_ARC) return false;
    *vertex = ref->vertex;
    return true;
}

// The foot of the point on the segment's line or circle, within the limit.
std::optional<PNT2_s> foot_on(const SEGMENT& a, const PNT2_s& near, double limit) {
    const double p[2] = {near.x, near.y};
    double foot[2];
    if (!(SegmentPointNormalDist(&a, p, foot) <= limit)) return std::nullopt;
    return PNT2_s{foot[0], foot[1]};
}

// Where the trace segments of two loop pieces meet nearest the point the
// grid gave them, within the limit: a point both segments end at, else a
// crossing of their lines and circles.
std::optional<PNT2_s> meeting(const SEGMENT& a, const SEGMENT& b, const PNT2_s& near, double limit) {
    std::optional<PNT2_s> best;
    double best_gap = limit;
    auto consider = [&](const double p[2]) {
        const double g = gap(p, near);
        if (g <= best_gap) {
            best_gap = g;
            best = PNT2_s{p[0], p[1]};
        }
    };
    const double* ends_a[2] = {a.start, &a.end->x};
    const double* ends_b[2] = {b.start, &b.end->x};
    bool shared = false;
    for (const double* p : ends_a)
        for (const double* q : ends_b)
            if (p[0] == q[0] && p[1] == q[1]) {
                consider(p);
                shared = true;
            }
    if (shared && best) return best;
    INT_POINT points{};
    const SEGMENT_intersections_t found = SegmentIntersect(&a, &b, &points);
    for (int k = 0; k < found && k < 2; ++k) {
        const double p[2] = {points.point[k].x, points.point[k].y};
        consider(p);
    }
    return best;
}

// Where a point of a piece that ends (or starts) a run goes on the trace
// segment it comes from, within the limit: the segment's end nearest it,
// else its foot on the segment's line or circle.
std::optional<PNT2_s> on_segment(const SEGMENT& a, const PNT2_s& near, double limit) {
    std::optional<PNT2_s> best;
    double best_gap = limit;
    for (const double* p : {static_cast<const double*>(a.start), static_cast<const double*>(&a.end->x)}) {
        const double g = gap(p, near);
        if (g <= best_gap) {
            best_gap = g;
            best = PNT2_s{p[0], p[1]};
        }
    }
    if (best) return best;
    return foot_on(a, near, limit);
}

// Sets the arc's parameter and centre vector from its start and end and the
// centre it is to keep, in its own sense (a centre that falls on the chord's
// other side gives the half circle of the sense).
void fit_arc(LINE_ARC_SEG_s* arc, const PNT2_s& start, const PNT2_s& centre) {
    const double dx = arc->x - start.x, dy = arc->y - start.y;
    const double c2 = dx * dx + dy * dy;
    if (c2 == 0.0) return;
    const bool ccw = arc->h >= 0.0;
    double g = (dx * (centre.y - start.y) - dy * (centre.x - start.x)) / c2;
    if (ccw != (g >= 0.0)) g = 0.0;
    arc->h = ccw || g < 0.0 ? g : LINE_ARC_SEG_CW_HALF_CIRCLE_H;
    arc->cx = dx / 2 - g * dy;
    arc->cy = dy / 2 + g * dx;
}

}  // namespace

void CHAIN__put_loop_vertices_on_trace(RING_header_s* set, const RING_header_s* trace, double limit) {
    if (!set || !trace || !(limit > 0.0)) return;
    // 1. Per point of the loops, the meeting of the trace segments of the
    //    two pieces at it; none once two visits disagree.  The visits are
    //    listed in order and sorted stably by point, so the first visit of a
    //    point heads its run.
    struct Visit {
        Key key;
        std::optional<PNT2_s> here;
    };
    std::vector<Visit> visits;
    std::vector<RING_header_s*> polys;
    size_t points = 0;
    for (RING_node_s* node : merrow1::ring_nodes(set))
        if (RING_header_s* poly = RING_ask_node_subring(node)) {
            polys.push_back(poly);
            points += static_cast<size_t>(std::max(poly->count, 0));
        }
    visits.reserve(points);
    for (RING_header_s* poly : polys) {
        const bool closed = POLY_SEG_is_closed(poly);
        for (RING_node_s* node : merrow1::ring_nodes(poly)) {
            const LINE_ARC_SEG_s* s = piece_of(node);
            const PNT2_s point{s->x, s->y};
            SEGMENT a{}, b{};
            const RING_node_s *va = nullptr, *vb = nullptr;
            std::optional<PNT2_s> here;
            if (!closed && (node == poly->first || node == poly->last)) {
                // An open poly's end: the piece after its first point, the
                // piece ending at its last one (a poly of one point has none).
                const RING_node_s* piece = node == poly->first ? node->next : node;
                if (piece && piece != poly->first && source_segment(piece, trace, &a, &va))
                    here = on_segment(a, point, limit);
            } else if (node->next && source_segment(node, trace, &a, &va) &&
                       source_segment(node->next, trace, &b, &vb)) {
                here = va != vb ? meeting(a, b, point, limit) : foot_on(a, point, limit);
            }
            visits.push_back(Visit{key_of(s), here});
        }
    }
    const auto by_key = [](const Visit& u, const Visit& v) { return u.key < v.key; };
    std::stable_sort(visits.begin(), visits.end(), by_key);
    // One entry per point: the first visit's meeting, kept only while every
    // later visit found the same one.
    std::vector<Visit> at;
    at.reserve(visits.size());
    for (const Visit& v : visits) {
        if (at.empty() || at.back().key < v.key) {
            at.push_back(v);
            continue;
        }
        std::optional<PNT2_s>& known = at.back().here;
        if (!v.here || !known || v.here->x != known->x || v.here->y != known->y) known.reset();
    }
    std::vector<Visit>().swap(visits);
    const auto meeting_at = [&](const Key& key) -> const std::optional<PNT2_s>* {
        const auto found = std::lower_bound(at.begin(), at.end(), Visit{key, std::nullopt}, by_key);
        return found != at.end() && !(key < found->key) ? &found->here : nullptr;
    };
    // 2. The arcs' centres to keep: the trace arc's, else their own (by the
    //    arc's position in its poly).
    for (RING_header_s* poly : polys) {
        const bool closed = POLY_SEG_is_closed(poly);
        const std::vector<RING_node_s*> nodes = merrow1::ring_nodes(poly);
        std::vector<std::pair<size_t, PNT2_s>> arcs;
        arcs.reserve(nodes.size());
        for (size_t i = 0; i < nodes.size(); ++i) {
            RING_node_s* node = nodes[i];
            LINE_ARC_SEG_s* s = piece_of(node);
            if (!LINE_ARC_SEG_is_arc(s) || (!closed && i == 0)) continue;
            const LINE_ARC_SEG_s* before = piece_of(node->previous);
            PNT2_s centre{before->x + s->cx, before->y + s->cy};
            SEGMENT source{};
            const RING_node_s* vertex = nullptr;
            if (source_segment(node, trace, &source, &vertex) && source.type == SEG_ARC)
                centre = PNT2_s{source.end->cx, source.end->cy};
            arcs.emplace_back(i, centre);
        }
        // 3. The ends moved (all looked up before any moves), then the arcs
        //    fitted to their moved ends.
        std::vector<std::optional<PNT2_s>> to(nodes.size());
        for (size_t i = 0; i < nodes.size(); ++i)
            if (const std::optional<PNT2_s>* found = meeting_at(key_of(piece_of(nodes[i])))) to[i] = *found;
        for (size_t i = 0; i < nodes.size(); ++i) {
            if (!to[i]) continue;
            LINE_ARC_SEG_s* s = piece_of(nodes[i]);
            s->x = to[i]->x;
            s->y = to[i]->y;
        }
        for (const auto& [i, centre] : arcs) {
            const size_t before = i == 0 ? nodes.size() - 1 : i - 1;
            if (!to[i] && !to[before]) continue;
            const LINE_ARC_SEG_s* start = piece_of(nodes[before]);
            fit_arc(piece_of(nodes[i]), PNT2_s{start->x, start->y}, centre);
        }
    }
}
