// Arc and line fitting of chains, arc splitting and tessellation.
#include <merrow1/chain_fit.h>

#include "chain/chain_append_internal.h"
#include "chain/chain_record.h"
#include "internal/check.h"
#include "internal/vec2.h"

#include <merrow1/chain.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_vertex_angle.h>
#include <merrow1/segment.h>
#include <pellam/mchn_vertex_data.h>
#include <quorn/quorn.h>
#include <stend/error.h>
#include <stend/system.h>
#include <velte/listwin.h>

#include "arc_sweep.h"
#include "chain_fit_internal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Arcs sweeping more than pi less one degree are split in two...
const double kSplitInTwo = merrow1::kArcSplitSweep;
// ...and from two pi less two degrees on in three.
const double kSplitInThree = 6.2482787221397;

using merrow1::arc_signed_sweep;

// Inserts a vertex with the given geometry before `vertex`.
RING_node_s* insert_before(RING_header_s* chain, RING_node_s* vertex, SEGMENT_TYPE type, const end_segment& end) {
    return CHAIN__insert_vertex_after(chain, vertex->previous, type, end);
}

}  // namespace

void CHAIN__copy_source_vertex_pc_data(RING_header_s* chain, const RING_node_s* from, RING_node_s* to) {
    if (!chain || !from || !to) return;
    const auto* link = static_cast<const CHAIN_source_chain_source_vertex_s*>(
        APP_DATA__ask_app_data(from->app_data, APP_DATA_SOURCE_VERTEX));
    if (!link) return;
    auto* copy = CMEM_NEW(chain->pool, CHAIN_source_chain_source_vertex_s);
    if (!copy) return;
    *copy = *link;
    RING_put_node_app_data(chain, to, APP_DATA_SOURCE_VERTEX, copy);
}

void CHAIN_split_backward_segment(RING_header_s* chain, RING_node_s* vertex, int n) {
    if (!chain || !vertex || n < 2) return;
    SEGMENT segment;
    if (ChainSegment(chain, vertex, &segment) != 1) return;
    if (segment.type != SEG_LINE && segment.type != SEG_ARC) return;
    // The start and end are read before any vertex goes in: the start point
    // belongs to the previous vertex, which an insertion does not move.
    const double start[2] = {segment.start[0], segment.start[1]};
    const end_segment end = segment.type == SEG_ARC ? *segment.end : end_segment{segment.end->x, segment.end->y, 0, 0, 0, 0};
    const double sweep = segment.type == SEG_ARC ? arc_signed_sweep(segment) : 0.0;
    const double a0 = std::atan2(start[1] - end.cy, start[0] - end.cx);
    const double r = std::hypot(start[0] - end.cx, start[1] - end.cy);
    for (int k = 1; k < n; ++k) {
        const double f = static_cast<double>(k) / n;
        end_segment piece = {};
        if (segment.type == SEG_LINE) {
            piece.x = start[0] + f * (end.x - start[0]);
            piece.y = start[1] + f * (end.y - start[1]);
        } else {
            const double angle = a0 + f * sweep;
            piece.x = end.cx + r * std::cos(angle);
            piece.y = end.cy + r * std::sin(angle);
            piece.cx = end.cx;
            piece.cy = end.cy;
            piece.radius = std::hypot(piece.x - end.cx, piece.y - end.cy);
            piece.direction = end.direction;
        }
        RING_node_s* node = insert_before(chain, vertex, segment.type, piece);
        if (!node) return;
        CHAIN__copy_source_vertex_pc_data(chain, vertex, node);
    }
    CHAIN_refresh_cached_box(chain);
}

void CHAIN_keep_arcs_less_than_pi(RING_header_s* chain) {
    if (!chain || !chain->first) return;
    // The vertices to visit are fixed before any split: new vertices go in
    // before the vertex split, so walking on from it never meets them.
    RING_node_s* node = chain->first;
    for (int i = 0, count = chain->count; i < count && node; ++i) {
        RING_node_s* next = node->next;
        SEGMENT segment;
        if (CHAIN_seg_ask_type(node) == SEG_ARC && ChainSegment(chain, node, &segment) == 1) {
            const double sweep = std::fabs(arc_signed_sweep(segment));
            if (sweep >= kSplitInThree)
                CHAIN_split_backward_segment(chain, node, 3);
            else if (sweep > kSplitInTwo)
                CHAIN_split_backward_segment(chain, node, 2);
        }
        node = next;
    }
}

// ---------------------------------------------------------------------------
// Shared pieces of the fits
// ---------------------------------------------------------------------------

namespace {

// A fitted arc turns through at most 125 degrees.
const double kMaxFitSweep = 2.1816615649929116;
// The corner check refuses runs through vertices with an angle below pi + 0.001.
const double kCornerAngle = 3.142592653589793;
// Chord margin of the flat-arc and fitted-arc tests.
const double kChordMargin = 2.5e-8;
// Coincident run ends: squared distance not above this.
const double kCoincidentSquared = 1e-16;
// The sagitta and flat-arc margins are this share of their tolerance, and
// they, the flat-arc limit and the fine line fit never go below the least.
const double kMarginShare = 0.01;
const double kLeastFitTolerance = 1e-8;
// A chord no longer than this holds no corridor.
const double kLeastCorridorChord = 1e-8;
// A vertex lies on a span when its distances to the ends sum to the span
// within this.
const double kOnSpanSlack = 1e-8;
// The fine line fit of the standard sequence works at this share of its
// tolerance.
const double kFineLineShare = 0.001;
// Consecutive line tangents with a dot product below this double back.
const double kDoublingBackDot = -0.99999999;

using merrow1::arc_of;
using merrow1::for_each_chain;
using merrow1::is_closed;
using merrow1::kPi;
using merrow1::main_of;
using merrow1::point_of;
using merrow1::vertex_record;
bool is_line(const RING_node_s* node) { return CHAIN_seg_ask_type(node) == SEG_LINE; }
bool is_arc(const RING_node_s* node) { return CHAIN_seg_ask_type(node) == SEG_ARC; }
SIDE material_side(const RING_header_s* chain) {
    const CHAIN_main_data_s* data = main_of(chain);
    return data ? data->material_side : 0;
}
double dist(const double* a, const double* b) { return std::hypot(b[0] - a[0], b[1] - a[1]); }
bool finite_positive(double v) { return std::isfinite(v) && v > 0.0; }

// The vertices of the chain in order, from the first; on a closed chain the
// walk stops where it comes back to the first.  Bounded by the count.
std::vector<RING_node_s*> vertices_of(const RING_header_s* chain) {
    std::vector<RING_node_s*> nodes;
    RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i) {
        nodes.push_back(node);
        node = node->next;
        if (node == chain->first) break;
    }
    return nodes;
}

// Sagitta of an arc of radius r over chord c, measured as the arc runs: the
// far side of the circle for an arc of more than a half circle.
double sagitta(double r, double c, bool major) {
    const double h = std::sqrt(std::max(0.0, r * r - 0.25 * c * c));
    return major ? r + h : r - h;
}

// Sweep from the start point to the end point about the centre in the sense.
double sweep_in_sense(const double* s, const double* e, const double* c, DIRECTION sense) {
    const double a[2] = {s[0] - c[0], s[1] - c[1]}, b[2] = {e[0] - c[0], e[1] - c[1]};
    double t = std::atan2(merrow1::cross(a, b), merrow1::dot(a, b));
    if (sense == CW) t = -t;
    if (t < 0.0) t += 2.0 * kPi;
    return t;
}

// Turns a vertex into an arc vertex with the end data (new geometry buffer in
// the chain's pool when it held only a point).
bool set_arc(RING_header_s* chain, RING_node_s* node, const end_segment& end) {
    CHAIN_vertex_data_s* record = vertex_record(node);
    if (!is_arc(node)) {
        auto* geometry = static_cast<double*>(CMEM_ALLOC(chain->pool, 1, sizeof(end_segment)));
        if (!geometry) return false;
        CMEM_private_delete_object(record->geometry);
        record->geometry = geometry;
    }
    std::memcpy(record->geometry, &end, sizeof(end_segment));
    CHAIN_seg_set_type(node, SEG_ARC);
    return true;
}

// The debug stages and the "fitting inactive" query of a fit.  True when the
// host's debug callbacks switched fitting off.
bool fitting_inactive(RING_header_s* chain, const char* label) {
    if (MACH__checking_level < 1 || !CHAIN_ask_chain_debug_status()) return false;
    int inactive = 0;
    CHAIN_debug_function_data_t data = {};
    data.request = 1;
    data.code = CHAIN_FIT_DEBUG_QUERY;
    data.label = label;
    data.chain = chain;
    data.pointer_value = &inactive;
    CHAIN_debug_function_interface(&data);
    if (!inactive) return false;
    char text[128];
    std::snprintf(text, sizeof text, "%s\n", label);
    BASE_LISTWIN_write(text);
    return true;
}

// The circle of a candidate arc from S to E.
struct FitCircle {
    double centre[2];
    double radius;
    DIRECTION sense;
    double sweep;
};

// Corridor about the chord S-E of half-width w: along the unit direction
// between -w and the length + w, across at most w.  A chord shorter than 1e-8
// holds no corridor.
struct Corridor {
    const double* s;
    double d[2];
    double length;
    bool valid;

    Corridor(const double* start, const double* end) : s(start) {
        length = dist(start, end);
        valid = length > kLeastCorridorChord;
        d[0] = valid ? (end[0] - start[0]) / length : 0.0;
        d[1] = valid ? (end[1] - start[1]) / length : 0.0;
    }
    double along(const double* p) const { return (p[0] - s[0]) * d[0] + (p[1] - s[1]) * d[1]; }
    // Positive to the left of the chord.
    double across(const double* p) const { return d[0] * (p[1] - s[1]) - d[1] * (p[0] - s[0]); }
    bool holds(const double* p, double w) const {
        if (!valid) return false;
        const double a = along(p);
        return a >= -w && a <= length + w && std::fabs(across(p)) <= w;
    }
};

// ---------------------------------------------------------------------------
// Arc fit
// ---------------------------------------------------------------------------

struct ArcFit {
    RING_header_s* chain;
    double point_tol, mid_tol, sagitta_margin, length_tol;
    double max_radius, min_radius;
    bool side_check, corner_check;
    SIDE side;

    // The circle through S, M and E, checked against the run's vertices.
    bool circle(const std::vector<RING_node_s*>& nodes, size_t s, size_t e, size_t m, FitCircle* out) const {
        const double* S = point_of(nodes[s]);
        const double* E = point_of(nodes[e]);
        const double* M = point_of(nodes[m]);
        const double u[2] = {E[0] - S[0], E[1] - S[1]}, v[2] = {M[0] - S[0], M[1] - S[1]};
        const double lu = std::hypot(u[0], u[1]), lv = std::hypot(v[0], v[1]);
        if (lu == 0.0 || lv == 0.0) return false;
        const double cross = (u[0] * v[1] - u[1] * v[0]) / (lu * lv);
        if (std::fabs(cross) <= length_tol) return false;
        const DIRECTION sense = cross >= 0.0 ? CW : CCW;
        const double den = 2.0 * (u[0] * v[1] - u[1] * v[0]);
        const double uu = lu * lu, vv = lv * lv;
        const double c[2] = {S[0] + (v[1] * uu - u[1] * vv) / den, S[1] + (u[0] * vv - v[0] * uu) / den};
        const double r = dist(c, S);
        if (!std::isfinite(r) || std::fabs(dist(c, E) - r) > length_tol) return false;
        if (r < min_radius || r > max_radius) return false;
        const double sweep = sweep_in_sense(S, E, c, sense);
        if (sweep > kMaxFitSweep) return false;
        // Vertices beyond the circle on the side away from the material, and
        // corners, refuse the run.
        if ((side_check || corner_check) && (side == RIGHT || side == LEFT)) {
            const bool reject_outside = (side == RIGHT) == (sense == CW);
            for (size_t i = s + 1; i < e; ++i) {
                const double off = dist(c, point_of(nodes[i])) - r;
                if (reject_outside ? off > length_tol : off < -length_tol) return false;
                double angle;
                if (corner_check && CHAIN_vertex_angle(chain, nodes[i], &angle) && angle < kCornerAngle) return false;
            }
        }
        // Inner vertices advance along the chord and lie on the circle.
        double last_t = 0.0;
        for (size_t i = s + 1; i < e; ++i) {
            const double* P = point_of(nodes[i]);
            const double t = ((P[0] - S[0]) * u[0] + (P[1] - S[1]) * u[1]) / uu;
            if (!(t > 0.0 && t < 1.0 && t > last_t)) return false;
            last_t = t;
            if (std::fabs(dist(c, P) - r) > point_tol) return false;
        }
        // Each line piece passes near the circle at its point nearest the centre.
        for (size_t i = s; i < e; ++i) {
            const double* A = point_of(nodes[i]);
            const double* B = point_of(nodes[i + 1]);
            const double ab[2] = {B[0] - A[0], B[1] - A[1]};
            const double l2 = ab[0] * ab[0] + ab[1] * ab[1];
            double t = l2 > 0.0 ? ((c[0] - A[0]) * ab[0] + (c[1] - A[1]) * ab[1]) / l2 : 0.0;
            t = std::min(1.0, std::max(0.0, t));
            const double q[2] = {A[0] + t * ab[0], A[1] + t * ab[1]};
            if (std::fabs(dist(c, q) - r) > mid_tol) return false;
        }
        *out = {{c[0], c[1]}, r, sense, sweep};
        return true;
    }

    // The arc test from S to E: the middle vertex first; with a check flag,
    // every other inner vertex in order.
    bool test(const std::vector<RING_node_s*>& nodes, size_t s, size_t e, FitCircle* out) const {
        if (e < s + 2) return false;
        const size_t middle = s + (e - s) / 2;
        if (circle(nodes, s, e, middle, out)) return true;
        if (!side_check && !corner_check) return false;
        for (size_t m = s + 1; m < e; ++m)
            if (m != middle && circle(nodes, s, e, m, out)) return true;
        return false;
    }

    // Replaces the run S..E by one line (inner vertices in the corridor) or
    // one arc.
    void fit(const std::vector<RING_node_s*>& nodes, size_t s, size_t e) const {
        if (e < s + 2) return;
        const double* S = point_of(nodes[s]);
        const double* E = point_of(nodes[e]);
        const double dx = E[0] - S[0], dy = E[1] - S[1];
        if (dx * dx + dy * dy <= kCoincidentSquared) return;
        const Corridor corridor(S, E);
        bool straight = true;
        for (size_t i = s + 1; i < e && straight; ++i) straight = corridor.holds(point_of(nodes[i]), mid_tol);
        if (!straight) {
            FitCircle c;
            if (!test(nodes, s, e, &c)) {
                MERROW1_NOTE_FAILURE("DUE_TO_EXISTING_VALID_ARC_NOT_BEING_RETURNED");
                return;
            }
            const double chord = corridor.length;
            if (chord < length_tol + kChordMargin) return;
            if (sagitta(c.radius, chord, c.sweep > kPi) < length_tol + sagitta_margin) return;
            const end_segment end = {E[0], E[1], c.centre[0], c.centre[1], c.radius, c.sense};
            if (!set_arc(chain, nodes[e], end)) return;
        }
        for (size_t i = s + 1; i < e; ++i) RING_delete_node(chain, nodes[i]);
    }
};

}  // namespace

void CHAIN_fit_vertices_to_arc(RING_header_s* chain, CHAIN_vertex_filter_t filter, double tolerance,
                               double second_tolerance, double maximum_radius, double minimum_radius,
                               int minimum_count, bool side_check, bool corner_check) {
    if (!chain || !(tolerance > 0.0) || chain->count <= std::max(3, minimum_count)) return;
    if (!(second_tolerance > 0.0)) return;
    CHAIN_debug_report(16, "CHAIN_fit_vertices_to_arc -- start", chain, nullptr);
    if (fitting_inactive(chain, "CHAIN_fit_vertices_to_arc: fitting inactive")) return;
    const int count_before = chain->count;

    ArcFit fit;
    fit.chain = chain;
    fit.point_tol = std::min(tolerance, second_tolerance);
    fit.mid_tol = second_tolerance;
    fit.sagitta_margin = std::max(kMarginShare * second_tolerance, kLeastFitTolerance);
    fit.length_tol = EQ_ask_length_tolerance();
    fit.max_radius = maximum_radius;
    fit.min_radius = minimum_radius;
    fit.side_check = side_check;
    fit.corner_check = corner_check;
    fit.side = material_side(chain);

    // Walk over a snapshot of the vertices: a fit deletes only vertices inside
    // a run that the walk has passed, never a run's ends.
    const std::vector<RING_node_s*> nodes = vertices_of(chain);
    size_t start = 0;
    int count = 1;
    for (size_t i = 1; i < nodes.size(); ++i) {
        if (!is_line(nodes[i])) {
            if (count >= minimum_count + 1) fit.fit(nodes, start, i - 1);
            start = i;
            count = 1;
            continue;
        }
        // The filter is asked at every extension, so a run never spans a
        // change of machining data, also within its first three vertices.
        const bool accepted = !filter || filter(chain, nodes[i - 1]);
        FitCircle circle;
        if (accepted && (count < 3 || fit.test(nodes, start, i, &circle))) {
            ++count;
            continue;
        }
        if (count >= minimum_count + 1) fit.fit(nodes, start, i - 1);
        start = i - 1;
        count = 2;
    }
    if (count >= minimum_count) fit.fit(nodes, start, nodes.size() - 1);

    if (chain->count != count_before) CHAIN_refresh_cached_box(chain);
    CHAIN_debug_report(19, "CHAIN_fit_vertices_to_arc -- end", chain, nullptr);
}

// ---------------------------------------------------------------------------
// Line fit
// ---------------------------------------------------------------------------

namespace {

struct LineFit {
    RING_header_s* chain;
    CHAIN_vertex_filter_t filter;
    double tol;
    double length_tol;
    bool side_flag;
    SIDE side;
    bool three_d;
    double z_tol;

    bool accepts(const RING_node_s* node) const { return !filter || filter(chain, node); }

    double z_at(const RING_node_s* node) const {
        double z = 0.0;
        MCHN_ask_vertex_z_coordinate(chain, node, &z);
        return z;
    }
    double z_after(const RING_node_s* node) const {
        double z = 0.0;
        MCHN_ask_vertex_after_z_coordinate(chain, node, &z);
        return z;
    }

    // Whether both Z values of P lie within the Z tolerance of the straight
    // line from S to E, measured across the slope.
    bool z_holds(const RING_node_s* S, const RING_node_s* E, const RING_node_s* P, const Corridor& c) const {
        if (!three_d) return true;
        const double zs = z_after(S), ze = z_at(E);
        const double t = std::min(1.0, std::max(0.0, c.along(point_of(P)) / c.length));
        const double line = zs + t * (ze - zs);
        const double across = c.length / std::hypot(c.length, ze - zs);
        return std::fabs(z_at(P) - line) * across <= z_tol && std::fabs(z_after(P) - line) * across <= z_tol;
    }

    // The corridor test of one inner vertex, with the side and Z tests.
    bool corridor_holds(const RING_node_s* S, const RING_node_s* E, const RING_node_s* P) const {
        const Corridor c(point_of(S), point_of(E));
        if (!c.holds(point_of(P), tol)) return false;
        if (side_flag) {
            const double off = c.across(point_of(P));
            if (side == RIGHT && off > length_tol) return false;
            if (side == LEFT && off < -length_tol) return false;
        }
        return z_holds(S, E, P, c);
    }

    // The collinear test: P on the span S-E within 1e-8 (skipped on a sample
    // chain under the older engine), and in 3D the Z test on spans longer
    // than the corridor's half-width.
    bool span_holds(const RING_node_s* S, const RING_node_s* E, const RING_node_s* P, bool skip_span) const {
        const double* s = point_of(S);
        const double* e = point_of(E);
        const double* p = point_of(P);
        if (!skip_span && dist(s, p) + dist(p, e) - dist(s, e) > kOnSpanSlack) return false;
        const Corridor c(s, e);
        if (three_d && c.valid && c.length > tol) return z_holds(S, E, P, c);
        return true;
    }

    // Merges runs of line vertices whose inner vertices all pass `holds`
    // against the run's ends.  The filter is asked before each extension.
    template <typename Holds>
    void merge_runs(Holds holds) const {
        const std::vector<RING_node_s*> nodes = vertices_of(chain);
        auto merge = [&](size_t s, size_t e) {
            for (size_t i = s + 1; i < e; ++i) RING_delete_node(chain, nodes[i]);
        };
        size_t start = 0;
        for (size_t i = 1; i < nodes.size(); ++i) {
            if (!is_line(nodes[i])) {
                merge(start, i - 1);
                start = i;
                continue;
            }
            if (i == start + 1) continue;
            bool ok = accepts(nodes[i - 1]);
            for (size_t k = start + 1; k < i && ok; ++k) ok = holds(nodes[start], nodes[i], nodes[k]);
            if (ok) continue;
            merge(start, i - 1);
            start = i - 1;
        }
        merge(start, nodes.size() - 1);
    }

    // Step 1: flat arcs become lines; the number turned.
    int flatten_arcs() const {
        const CHAIN_main_data_s* data = main_of(chain);
        double x = 0.0;
        if (data && data->approximation_tolerance_set) x = 2.0 * data->approximation_tolerance;
        x = std::max(x, kLeastFitTolerance);
        const double margin = std::max(kMarginShare * tol, kLeastFitTolerance);
        int turned = 0;
        for (RING_node_s* node : vertices_of(chain)) {
            SEGMENT segment;
            if (!is_arc(node) || ChainSegment(chain, node, &segment) != 1) continue;
            const end_segment* end = segment.end;
            if (side_flag && !((end->direction == CCW && side == RIGHT) || (end->direction == CW && side == LEFT)))
                continue;
            const double c = dist(segment.start, point_of(node));
            const double r = end->radius;
            const double centre[2] = {end->cx, end->cy};
            const bool major = sweep_in_sense(segment.start, point_of(node), centre, end->direction) > kPi;
            const double s = sagitta(r, c, major);
            // A major arc is as far from its chord as its sagitta, whatever
            // the chord: only a tiny circle turns into a line.
            const bool flat = s < x + margin || (!major && c < x + kChordMargin);
            if (!flat) continue;
            CHAIN_seg_set_type(node, SEG_LINE);
            ++turned;
        }
        return turned;
    }

    // Cuts off spikes: a line vertex where the chain doubles back is deleted
    // when it lies in the corridor from the vertex before to the one after.
    void cut_doubling_back() const {
        const std::vector<RING_node_s*> nodes = vertices_of(chain);
        const bool closed = is_closed(chain);
        for (size_t i = 0; i < nodes.size(); ++i) {
            RING_node_s* v = nodes[i];
            if (!closed && (i == 0 || i + 1 == nodes.size())) continue;
            if (chain->count < 4) break;
            RING_node_s* prev = v->previous;
            RING_node_s* next = v->next;
            if (!prev || !next || !is_line(v) || !is_line(next)) continue;
            const double* p = point_of(prev);
            const double* q = point_of(v);
            const double* n = point_of(next);
            const double a[2] = {q[0] - p[0], q[1] - p[1]}, b[2] = {n[0] - q[0], n[1] - q[1]};
            const double la = std::hypot(a[0], a[1]), lb = std::hypot(b[0], b[1]);
            if (la == 0.0 || lb == 0.0) continue;
            if ((a[0] * b[0] + a[1] * b[1]) / (la * lb) >= kDoublingBackDot) continue;
            if (v == chain->first) continue;  // the start of a closed chain stays
            if (!accepts(v) || !corridor_holds(prev, next, v)) continue;
            RING_delete_node(chain, v);
        }
    }

    // A short line next to an arc is absorbed by the arc.
    void consume_small_lines() const {
        const double margin = 0.1 * tol;
        const std::vector<RING_node_s*> nodes = vertices_of(chain);
        std::vector<bool> gone(nodes.size(), false);
        for (size_t i = 0; i < nodes.size(); ++i) {
            if (gone[i] || chain->count < 3) continue;
            RING_node_s* arc = nodes[i];
            if (!is_arc(arc) || (!is_closed(chain) && arc == chain->first)) continue;
            RING_node_s* before = arc->previous;
            if (!before) continue;
            // The line after the arc, ending at `line`.
            RING_node_s* line = arc->next;
            if (line && line != chain->first && is_line(line) && accepts(arc)) {
                end_segment moved;
                if (recentre(point_of(before), arc_of(arc), point_of(arc), point_of(line), margin, &moved)) {
                    std::memcpy(point_of(arc), &moved, sizeof moved);
                    double z;
                    if (MCHN_ask_vertex_after_z_coordinate(chain, line, &z))
                        MCHN_set_vertex_after_z_coordinate(chain, arc, z);
                    for (size_t k = 0; k < nodes.size(); ++k)
                        if (nodes[k] == line) gone[k] = true;
                    RING_delete_node(chain, line);
                    continue;
                }
            }
            // The line before the arc, ending at `before`.
            RING_node_s* far = before->previous;
            if (far && before != chain->first && is_line(before) && accepts(before) && chain->count >= 3) {
                end_segment moved;
                if (recentre(point_of(arc), arc_of(arc), point_of(before), point_of(far), margin, &moved, true)) {
                    std::memcpy(point_of(arc), &moved, sizeof moved);
                    for (size_t k = 0; k < nodes.size(); ++k)
                        if (nodes[k] == before) gone[k] = true;
                    RING_delete_node(chain, before);
                }
            }
        }
    }

    // The arc with fixed end `fixed` re-centred on the same radius and sense
    // through `far`, the far end of the line that meets it at `joint`.  The
    // far end must lie nearer than the diameter to the fixed end and within
    // the margin of the circle, the new centre within the margin of the old
    // one, and the new arc within the tolerance of the whole line.  With
    // `fixed_is_end` the fixed point is the arc's end and `far` its new start.
    bool recentre(const double* fixed, const end_segment* arc, const double* joint, const double* far, double margin,
                  end_segment* out, bool fixed_is_end = false) const {
        const double r = arc->radius;
        const double c[2] = {arc->cx, arc->cy};
        const double chord = dist(fixed, far);
        if (!(chord < 2.0 * r) || chord == 0.0) return false;
        if (std::fabs(dist(c, far) - r) > margin) return false;
        const double m[2] = {0.5 * (fixed[0] + far[0]), 0.5 * (fixed[1] + far[1])};
        const double h = std::sqrt(std::max(0.0, r * r - 0.25 * chord * chord));
        const double n[2] = {-(far[1] - fixed[1]) / chord, (far[0] - fixed[0]) / chord};
        const double c1[2] = {m[0] + h * n[0], m[1] + h * n[1]};
        const double c2[2] = {m[0] - h * n[0], m[1] - h * n[1]};
        const double* best = dist(c1, c) <= dist(c2, c) ? c1 : c2;
        if (dist(best, c) > margin) return false;
        // The whole line joint-far within the tolerance of the new circle:
        // its farthest point from the circle is an end or the foot nearest
        // the centre.
        const double ab[2] = {far[0] - joint[0], far[1] - joint[1]};
        const double l2 = ab[0] * ab[0] + ab[1] * ab[1];
        double t = l2 > 0.0 ? ((best[0] - joint[0]) * ab[0] + (best[1] - joint[1]) * ab[1]) / l2 : 0.0;
        t = std::min(1.0, std::max(0.0, t));
        const double foot[2] = {joint[0] + t * ab[0], joint[1] + t * ab[1]};
        if (std::fabs(dist(best, joint) - r) > tol || std::fabs(dist(best, foot) - r) > tol) return false;
        const double* end = fixed_is_end ? fixed : far;
        *out = {end[0], end[1], best[0], best[1], r, arc->direction};
        return true;
    }

    void run(const char* label, const char* inactive_label) {
        CHAIN_debug_report(16, label, chain, nullptr);
        if (fitting_inactive(chain, inactive_label)) return;
        const int count_before = chain->count;
        const int turned = flatten_arcs();
        merge_runs([this](const RING_node_s* s, const RING_node_s* e, const RING_node_s* p) {
            return corridor_holds(s, e, p);
        });
        const CHAIN_main_data_s* data = main_of(chain);
        const bool skip_span = data && data->kind == SAMPLE_CHAIN && !CHAIN_ask_use_new_boolean();
        merge_runs([this, skip_span](const RING_node_s* s, const RING_node_s* e, const RING_node_s* p) {
            return tangents_parallel(p) && span_holds(s, e, p, skip_span);
        });
        if (chain->count >= 4) cut_doubling_back();
        CHAIN_debug_report(16, "Arc consume small linear: Input", chain, nullptr);
        consume_small_lines();
        CHAIN_debug_report(19, "Arc consume small linear: Output", chain, nullptr);
        if (chain->count != count_before) CHAIN_refresh_cached_box(chain);
        if (MACH__checking_level >= 1 && CHAIN_ask_chain_debug_status()) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "CHAIN_fit_vertices_to_line: coversion tolerance = %.2e; arcs converted to lines = %d\n\n",
                          tol, turned);
            BASE_LISTWIN_write(text);
        }
        CHAIN_debug_report(19, "CHAIN_fit_vertices_to_line -- end", chain, nullptr);
    }

    // Incoming and outgoing line tangents at P parallel or opposite within
    // the host's number tolerance.
    bool tangents_parallel(const RING_node_s* p) const {
        const RING_node_s* next = p->next;
        if (!next || !p->previous || !is_line(next)) return false;
        const double* a = point_of(p->previous);
        const double* b = point_of(p);
        const double* c = point_of(next);
        const double u[2] = {b[0] - a[0], b[1] - a[1]}, v[2] = {c[0] - b[0], c[1] - b[1]};
        const double lu = std::hypot(u[0], u[1]), lv = std::hypot(v[0], v[1]);
        if (lu == 0.0 || lv == 0.0) return true;
        return std::fabs((u[0] * v[1] - u[1] * v[0]) / (lu * lv)) <= EQ_ask_number_tolerance();
    }
};

void line_fit(RING_header_s* chain, CHAIN_vertex_filter_t filter, double tolerance, bool three_d, double z_tolerance,
              bool material_side_flag) {
    if (!chain || !(tolerance > 0.0) || chain->count < 4) return;
    LineFit fit{chain, filter, tolerance, EQ_ask_length_tolerance(), material_side_flag, material_side(chain),
                three_d, z_tolerance};
    fit.run("CHAIN_fit_vertices_to_line -- start", "CHAIN_fit_vertices_to_line: fitting inactive");
}

}  // namespace

void CHAIN__cut_doubling_back(RING_header_s* chain, double tolerance) {
    if (!chain || chain->count < 4) return;
    const LineFit fit{chain, nullptr, tolerance, EQ_ask_length_tolerance(), false, material_side(chain), false, 0.0};
    const int count_before = chain->count;
    fit.cut_doubling_back();
    if (chain->count != count_before) CHAIN_refresh_cached_box(chain);
}

void CHAIN_fit_vertices_to_line(RING_header_s* chain, CHAIN_vertex_filter_t filter, double tolerance,
                                bool material_side) {
    line_fit(chain, filter, tolerance, false, 0.0, material_side);
}

void CHAIN_fit_vertices_to_3dline(RING_header_s* chain, CHAIN_vertex_filter_t filter, double tolerance,
                                  double z_tolerance, bool material_side) {
    if (!(z_tolerance >= 0.0)) return;
    line_fit(chain, filter, tolerance, true, z_tolerance, material_side);
}

void CHAIN_fit_all_vertices_to_line(RING_header_s* chain, double tolerance) {
    if (!chain) return;
    CHAIN_fit_vertices_to_line(chain, nullptr, tolerance, false);
    RING_node_s* first = chain->first;
    if (!first || !is_closed(chain) || chain->count < 3) return;
    if (!is_line(first) || !is_line(first->next)) return;
    if (ChainCornerType(chain, first) != CORNER_TYPE_SMOOTH) return;
    RING_delete_node(chain, first);
    CHAIN_refresh_cached_box(chain);
}

// ---------------------------------------------------------------------------
// The standard sequence
// ---------------------------------------------------------------------------

void CHAIN_do_arc_fit_and_line_fit(RING_header_s* chain, CHAIN_vertex_filter_t filter, double tolerance,
                                   bool side_check) {
    if (!chain || !(tolerance > 0.0)) return;
    const double max_radius = 10000.0, min_radius = 0.0001;
    int counts[5];
    counts[0] = chain->count;
    CHAIN_fit_vertices_to_arc(chain, filter, EQ_ask_length_tolerance(), tolerance, max_radius, min_radius, 4,
                              side_check, false);
    counts[1] = chain->count;
    CHAIN_fit_vertices_to_line(chain, filter, std::max(kFineLineShare * tolerance, kLeastFitTolerance), false);
    counts[2] = chain->count;
    CHAIN_fit_vertices_to_arc(chain, filter, tolerance, tolerance, max_radius, min_radius, 6, side_check, false);
    counts[3] = chain->count;
    CHAIN_fit_vertices_to_line(chain, filter, tolerance, false);
    counts[4] = chain->count;
    if (MACH__checking_level < 1 || !CHAIN_ask_chain_debug_status()) return;
    char text[256];
    if (counts[4] != counts[0])
        std::snprintf(text, sizeof text,
                      "Count stats: initial, %d; after-arcfit, %d; after-linefit, %d; after-arcfit, %d; "
                      "after-linefit, %d; percent reduced, %.2f\n\n",
                      counts[0], counts[1], counts[2], counts[3], counts[4],
                      counts[0] > 0 ? 100.0 * (counts[0] - counts[4]) / counts[0] : 0.0);
    else
        std::snprintf(text, sizeof text, "Count unaltered by line or arc fitting: count, %d\n\n", counts[0]);
    BASE_LISTWIN_write(text);
}

void CHAIN_arc_and_line_fit_shapes(RING_header_s* chain_or_list, double tolerance) {
    for_each_chain(chain_or_list, [tolerance](RING_header_s* chain) {
        CHAIN_do_arc_fit_and_line_fit(chain, MCHN_segs_have_same_mchn_data, tolerance, true);
    });
}

// ---------------------------------------------------------------------------
// Tessellation and short segments
// ---------------------------------------------------------------------------

bool CHAIN_ReplaceArc(RING_header_s* chain, RING_node_s* arc_vertex, double tolerance, bool all,
                      double minimum_radius) {
    if (!chain || !arc_vertex || !is_arc(arc_vertex)) return false;
    MERROW1_REQUIRE(finite_positive(tolerance) && finite_positive(minimum_radius), "DUE_TO_INVALID_TOLERANCE", false);
    SEGMENT segment;
    if (ChainSegment(chain, arc_vertex, &segment) != 1) return false;
    const end_segment* end = segment.end;
    if (end->radius < minimum_radius) {
        CHAIN_seg_set_type(arc_vertex, SEG_LINE);
        return true;
    }
    if (!all && !(end->direction == CW && end->radius < tolerance)) return false;
    Korvo::Math::Point2* points = nullptr;
    const int n = SEGMENT_subdivide_arc_into_points(&segment, nullptr, minimum_radius, &points, nullptr);
    // No points: the arc stays an arc rather than turning into its chord.
    if (n < 1 || !points) {
        if (points) Korvo::Memory::CppMemory::free(points);
        return false;
    }
    for (int k = 0; k + 1 < n; ++k) {
        const end_segment piece = {points[k].x, points[k].y, 0, 0, 0, 0};
        RING_node_s* node = insert_before(chain, arc_vertex, SEG_LINE, piece);
        if (!node) break;
        ChainVertexAppCopy(arc_vertex, chain, node);
    }
    Korvo::Memory::CppMemory::free(points);
    CHAIN_seg_set_type(arc_vertex, SEG_LINE);
    return true;
}

bool CHAIN_ConvertArcs2Lines(RING_header_s* chain, double tolerance, bool all, double minimum_radius) {
    if (!chain) return false;
    MERROW1_REQUIRE(finite_positive(tolerance) && finite_positive(minimum_radius), "DUE_TO_INVALID_TOLERANCE", false);
    const int count_before = chain->count;
    bool had_arc = false;
    // New vertices go in before the arc replaced, so the walk over the
    // snapshot never meets them.
    for (RING_node_s* node : vertices_of(chain)) {
        if (!is_arc(node)) continue;
        SEGMENT segment;
        if (ChainSegment(chain, node, &segment) != 1) continue;  // the start of an open chain
        had_arc = true;
        CHAIN_ReplaceArc(chain, node, tolerance, all, minimum_radius);
    }
    if (chain->count != count_before) CHAIN_refresh_cached_box(chain);
    return had_arc;
}

bool CHAIN_TessellateArcsAndFit(RING_header_s* chain_or_list, double tolerance, bool all) {
    MERROW1_REQUIRE(finite_positive(tolerance), "DUE_TO_INVALID_TOLERANCE", false);
    if (!chain_or_list) return false;
    for_each_chain(chain_or_list, [tolerance, all](RING_header_s* chain) {
        CHAIN_ConvertArcs2Lines(chain, tolerance, all, tolerance);
        CHAIN_fit_vertices_to_line(chain, nullptr, tolerance, false);
    });
    return true;
}

void CHAIN_delete_short_segments(RING_header_s* chain, double length) {
    if (!chain || chain->count <= 2) return;
    const int count_before = chain->count;
    // Bounded by the vertices present at the start: the walk ends also when a
    // closed chain's first vertex is among those deleted.
    const std::vector<RING_node_s*> nodes = vertices_of(chain);
    std::vector<bool> gone(nodes.size(), false);
    auto drop = [&](RING_node_s* node) {
        for (size_t k = 0; k < nodes.size(); ++k)
            if (nodes[k] == node) gone[k] = true;
        RING_delete_node(chain, node);
    };
    for (size_t i = 0; i < nodes.size() && chain->count >= 3; ++i) {
        if (gone[i]) continue;
        RING_node_s* v = nodes[i];
        SEGMENT segment;
        if (!is_line(v) || ChainSegment(chain, v, &segment) != 1) continue;
        if (!(dist(segment.start, point_of(v)) <= length)) continue;
        if (v == chain->last) {
            RING_node_s* start = v->previous;
            if (start && start != chain->first && !is_arc(start)) drop(start);
        } else if (v->next && !is_arc(v->next)) {
            drop(v);
        }
    }
    if (chain->count != count_before) CHAIN_refresh_cached_box(chain);
}
