// Trochoidal chains (see merrow1/chain_trochoid.h).
//
// Two stages: the frame, a copy of the guide reduced to the polyline of the
// loop centres, and the trochoid, built loop by loop over consecutive
// centres.  All state lives on one working record, so calls are re-entrant.
#include <merrow1/chain_trochoid.h>

#include "chain/chain_each.h"
#include "chain/chain_record.h"
#include "internal/tolerances.h"
#include "internal/vec2.h"

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_fit.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_source.h>
#include <merrow1/segment.h>
#include <pellam/mchn_seg_wall.h>
#include <stend/system.h>

#include <cmath>
#include <vector>

namespace {

using merrow1::kPi;
const double kCentreTurn = kPi / 10;          // corners and arcs turning more get centres
const double kLongSegment = 5.0;              // segments longer than 5 s get centres at both ends
const double kRemainder = 1e-10;              // a line's remainder this short adds no piece
const double kAtVertex = 1e-8;                // a step ending this close to a vertex ends at it
const double kMaxArcSweep = 2.96705972839036; // 170 degrees: no arc of the result turns more
using merrow1::kCloseGap;
const long kMaxPieces = 10000000;             // bound of the arc division count

using merrow1::arc_of;
using merrow1::is_closed;
using merrow1::main_of;
using merrow1::point_of;
using merrow1::vertex_record;

bool is_centre(const RING_node_s* node) { return vertex_record(node)->flags & CHAIN_VERTEX_LOOP_CENTRE; }
void set_centre(RING_node_s* node, bool on) {
    if (!node) return;
    if (on)
        vertex_record(node)->flags |= CHAIN_VERTEX_LOOP_CENTRE;
    else
        vertex_record(node)->flags &= ~static_cast<unsigned int>(CHAIN_VERTEX_LOOP_CENTRE);
}

double squared_distance(const double* a, const double* b) {
    const double dx = a[0] - b[0], dy = a[1] - b[1];
    return dx * dx + dy * dy;
}
bool coincident(const double* a, const double* b) { return squared_distance(a, b) <= CHAIN_COINCIDENT_SQUARED_DISTANCE; }

// ---------------------------------------------------------------------------
// Frame

// A segment as it was before centres were inserted into it: points along it
// are taken from these values, not from the shortened segment.
struct Shape {
    bool arc = false;
    double start[2] = {0, 0}, end[2] = {0, 0};
    double centre[2] = {0, 0};
    double radius = 0;
    double sweep = 0;  // signed, positive CCW, the true sweep
    double length = 0;

    void at(double distance, double out[2]) const {
        if (!arc) {
            const double f = length > 0 ? distance / length : 0.0;
            out[0] = start[0] + f * (end[0] - start[0]);
            out[1] = start[1] + f * (end[1] - start[1]);
            return;
        }
        const double angle = std::atan2(start[1] - centre[1], start[0] - centre[0]) +
                             (sweep < 0 ? -1.0 : 1.0) * distance / radius;
        out[0] = centre[0] + radius * std::cos(angle);
        out[1] = centre[1] + radius * std::sin(angle);
    }
};

// The segment ending at the node; false for none (or a point).
bool read_shape(const RING_header_s* chain, const RING_node_s* node, Shape* shape) {
    SEGMENT segment;
    if (ChainSegment(chain, node, &segment) != 1 || (segment.type != SEG_LINE && segment.type != SEG_ARC)) return false;
    shape->start[0] = segment.start[0];
    shape->start[1] = segment.start[1];
    shape->end[0] = segment.end->x;
    shape->end[1] = segment.end->y;
    shape->arc = segment.type == SEG_ARC;
    if (shape->arc) {
        shape->centre[0] = segment.end->cx;
        shape->centre[1] = segment.end->cy;
        shape->radius = std::hypot(segment.start[0] - segment.end->cx, segment.start[1] - segment.end->cy);
        const double sweep = SEGMENT_arc_sweep(&segment);
        shape->sweep = segment.end->direction == CW ? -sweep : sweep;
        shape->length = shape->radius * sweep;
        if (!(shape->radius > 0.0) || !(sweep > 0.0)) shape->arc = false;
    }
    if (!shape->arc) shape->length = std::sqrt(squared_distance(shape->start, shape->end));
    return true;
}

// Marks a centre at distance d along the segment (shape) ending at the node:
// a new vertex, or the segment's end vertex when the point meets it.
void insert_centre(RING_header_s* frame, RING_node_s* end, const Shape& shape, double d) {
    double p[2];
    shape.at(d, p);
    set_centre(ChainInsertVertex(frame, end, p), true);
}

// Marks the loop centres of the frame: the ends of an open frame, the first
// vertex of a closed one, corners turning by more than pi / 10 (their
// tangents' dot product below cos(pi / 10)), both ends of arcs sweeping more
// than pi / 10 at smoother vertices, and both ends of segments longer than 5 s.
void mark_centres(RING_header_s* frame, double s) {
    const double turn_cos = std::cos(kCentreTurn);
    const bool closed = is_closed(frame);
    RING_node_s* node = frame->first;
    for (int i = 0; i < frame->count && node; ++i, node = node->next) {
        double in[2], out[2];
        const CHAIN_tangent_status_t status = ChainVertexTangent(frame, node, in, out, nullptr, nullptr);
        Shape shape;
        const bool has_segment = (i > 0 || closed) && read_shape(frame, node, &shape);
        if (status == CHAIN_TANGENT_OUTGOING || status == CHAIN_TANGENT_INCOMING ||
            (status == CHAIN_TANGENT_BOTH && i == 0)) {
            set_centre(node, true);
        } else if (status == CHAIN_TANGENT_BOTH) {
            if (in[0] * out[0] + in[1] * out[1] < turn_cos) {
                set_centre(node, true);
            } else if (has_segment && shape.arc && std::fabs(shape.sweep) > kCentreTurn) {
                set_centre(node, true);
                set_centre(node->previous, true);
            }
        }
        if (has_segment && shape.length > kLongSegment * s) {
            set_centre(node, true);
            set_centre(node->previous, true);
        }
    }
}

// One segment between two centres, divided evenly: a line into ceil(L / s)
// pieces (a remainder up to 1e-10 not counted), an arc of radius r and sweep
// phi, when s < 2 r and rho > r sin(theta) with theta = asin(s / 2 r), into
// ceil(phi / 2 theta) pieces, more while the loop about a centre would not
// clear the arc's sagitta.  An arc that fails that condition (the loops are
// too small for it: rho is at most s / 2) is divided by its length as a line
// is, so no two centres lie more than s apart along it.
void divide_evenly(RING_header_s* frame, RING_node_s* end, double s, double rho) {
    Shape shape;
    if (!read_shape(frame, end, &shape)) return;
    const double q = std::floor(shape.length / s);
    if (!(q < kMaxPieces)) return;
    long n = static_cast<long>(q) + (shape.length - q * s <= kRemainder ? 0 : 1);
    if (shape.arc) {
        const double r = shape.radius, phi = std::fabs(shape.sweep);
        const double theta = s < 2.0 * r ? std::asin(s / (2.0 * r)) : 0.0;
        const double first = theta > 0.0 ? std::ceil(phi / (2.0 * theta)) : 0.0;
        if (theta > 0.0 && rho * rho > (r * std::sin(theta)) * (r * std::sin(theta)) && first < kMaxPieces) {
            n = static_cast<long>(first);
            auto too_few = [&](long k) {
                const double half = phi / (2.0 * k);
                return std::sqrt(rho * rho - (r * std::sin(half)) * (r * std::sin(half))) <=
                       (1.0 - std::cos(half)) * r;
            };
            while (n < kMaxPieces && too_few(n)) ++n;
        }
    }
    for (long k = 1; k < n; ++k) insert_centre(frame, end, shape, shape.length * static_cast<double>(k) / n);
}

// The segments from the centre `from` to the centre `to` get a centre every s
// along them; a step ending within 1e-8 of a vertex marks that vertex.
void place_every_step(RING_header_s* frame, RING_node_s* from, RING_node_s* to, double s) {
    double sum = 0.0;  // length walked since the last centre
    RING_node_s* node = from->next;
    // Inserted centres go in before the node walked, so the walk meets only
    // the vertices that were there.
    for (int i = 0, count = frame->count; i < count && node; ++i, node = node->next) {
        Shape shape;
        if (read_shape(frame, node, &shape)) {
            double at = 0.0;  // where the last centre on this segment lies
            for (long k = 0; k < kMaxPieces; ++k) {
                const double step = s - sum, left = shape.length - at;
                if (std::fabs(step - left) <= kAtVertex) {
                    set_centre(node, true);
                    sum = 0.0;
                    at = shape.length;
                    break;
                }
                if (step > left) {
                    sum += left;
                    break;
                }
                at += step;
                sum = 0.0;
                insert_centre(frame, node, shape, at);
            }
        }
        if (node == to) break;
    }
}

// Fills in the centres between marked vertices, walking the segments in
// order: a segment whose both ends are centres is divided evenly; a run of
// segments between centres gets a centre every s.
void fill_centres(RING_header_s* frame, double s, double rho) {
    std::vector<RING_node_s*> ends;
    RING_node_s* node = frame->first->next;
    for (int i = 1; i < frame->count && node; ++i, node = node->next) ends.push_back(node);
    if (is_closed(frame)) ends.push_back(frame->first);
    RING_node_s* last_centre = frame->first;
    for (RING_node_s* end : ends) {
        if (!is_centre(end)) continue;
        if (is_centre(end->previous))
            divide_evenly(frame, end, s, rho);
        else
            place_every_step(frame, last_centre, end, s);
        last_centre = end;
    }
}

// Keeps only the centres, as the vertices of a polyline.
void reduce_to_centres(RING_header_s* frame) {
    RING_node_s* node = frame->first;
    for (int i = 0, count = frame->count; i < count && node; ++i) {
        RING_node_s* next = node->next;
        if (CHAIN_seg_ask_type(node) == SEG_ARC) CHAIN_seg_set_type(node, SEG_LINE);
        if (!is_centre(node)) RING_delete_node(frame, node);
        node = next;
    }
    if (frame->first && !is_closed(frame)) CHAIN_seg_set_type(frame->first, SEG_POINT);
    CHAIN_drop_cached_box(frame);
    ChainBox(frame, nullptr, nullptr);
}

// The frame: a copy of the guide in the pool, its centres marked and filled
// in, reduced to the polyline of centres; it names itself under key 143.
RING_header_s* make_frame(RING_header_s* guide, double s, double rho, CMEM_pool_s* pool) {
    RING_header_s* frame = CHAIN_copy(guide, pool, MCHN_merge_seg_and_wall_data);
    if (!frame) return nullptr;
    RING_put_header_app_data(frame, CHAIN_APP_DATA_LOOP_CURVE, frame);
    if (!frame->first) return frame;
    mark_centres(frame, s);
    fill_centres(frame, s, rho);
    reduce_to_centres(frame);
    return frame;
}

// ---------------------------------------------------------------------------
// Trochoid

// The working record of one call.
struct Trochoid {
    RING_header_s* output = nullptr;
    RING_header_s* frame = nullptr;
    double s = 0;
    double rho = 0;
    int side = 0;             // +1 for material RIGHT, -1 otherwise
    DIRECTION sense = CCW;    // the loops' turning sense
    bool closed = false;
    CMEM_pool_s* pool = nullptr;
    RING_node_s* centre = nullptr;
    RING_node_s* previous = nullptr;
    double centre_point[2] = {0, 0};
    double previous_point[2] = {0, 0};
    // Scratch segment of the loop builders.
    double scratch_start[2] = {0, 0};
    end_segment scratch_end = {};
    SEGMENT scratch = {};

    Trochoid() {
        scratch.start = scratch_start;
        scratch.end = &scratch_end;
    }
    Trochoid(const Trochoid&) = delete;
    Trochoid& operator=(const Trochoid&) = delete;
};

// Takes the next centre: clears its mark and remembers the previous centre.
void take_centre(Trochoid& w, RING_node_s* node) {
    set_centre(node, false);
    w.previous = w.centre;
    w.previous_point[0] = w.centre_point[0];
    w.previous_point[1] = w.centre_point[1];
    w.centre = node;
    w.centre_point[0] = point_of(node)[0];
    w.centre_point[1] = point_of(node)[1];
}

// Names the frame and the centre the vertex was made for (key 17).
void name_centre(const Trochoid& w, RING_node_s* vertex, const RING_node_s* centre) {
    CHAIN_assign_source_chain_source_vertex_pc_data(w.frame, centre, false, w.pool, vertex);
}

// A new piece (in the frame's CSYS) starting at the point.
RING_header_s* start_piece(const Trochoid& w, const double p[2], const RING_node_s* centre) {
    RING_header_s* piece = CHAIN_create_from_csys(&main_of(w.frame)->csys, w.pool);
    if (!piece) return nullptr;
    const end_segment start = {p[0], p[1], 0.0, 0.0, 0.0, 0};
    RING_node_s* vertex = ChainAppendVertex(piece, &start, SEG_POINT);
    if (!vertex) {
        RING_delete(piece);
        return nullptr;
    }
    name_centre(w, vertex, centre);
    return piece;
}

// Appends the arc of the loops' sense from the piece's end about the centre
// to the point, turning through `sweep` (at most a half circle).  A half
// circle whose appended arc does not carry the sense (its centre lies on its
// chord, so its sense is the record's alone) is made of two arcs through its
// middle instead.
void append_arc(const Trochoid& w, RING_header_s* piece, const double c[2], double sweep, const double end[2],
                const RING_node_s* centre) {
    const double* from = point_of(piece->last);
    const double r = std::hypot(end[0] - c[0], end[1] - c[1]);
    const end_segment arc = {end[0], end[1], c[0], c[1], r, w.sense};
    RING_node_s* vertex = ChainAppendVertex(piece, &arc, SEG_ARC);
    if (!vertex) return;
    if (CHAIN_seg_ask_type(vertex) != SEG_ARC ||
        arc_of(vertex)->direction == w.sense) {
        name_centre(w, vertex, centre);
        return;
    }
    const double a0 = std::atan2(from[1] - c[1], from[0] - c[0]) + w.sense * sweep / 2.0;
    RING_delete_node(piece, vertex);
    const end_segment middle = {c[0] + r * std::cos(a0), c[1] + r * std::sin(a0), c[0], c[1], r, w.sense};
    if (RING_node_s* first = ChainAppendVertex(piece, &middle, SEG_ARC)) name_centre(w, first, centre);
    if (RING_node_s* second = ChainAppendVertex(piece, &arc, SEG_ARC)) name_centre(w, second, centre);
}

// Appends the half circle of the loops' sense over the chord from the
// piece's end to the point (built in the scratch segment from its ends and
// sense alone).
void append_half_circle(Trochoid& w, RING_header_s* piece, const double end[2], const RING_node_s* centre) {
    const double start[2] = {point_of(piece->last)[0], point_of(piece->last)[1]};
    if (!SegmentUpdate(&w.scratch, SEG_ARC, start, end, nullptr, nullptr, &w.sense)) return;
    const double c[2] = {w.scratch.end->cx, w.scratch.end->cy};
    append_arc(w, piece, c, kPi, end, centre);
}

// The loop from A to B (d the unit direction A -> B): a half circle from
// A - rho d to B + rho d (left out with `forward` false), then a half circle
// about B back to B - rho d (left out with `back` false).  Every vertex names
// the current centre.  Null when A and B coincide.
RING_header_s* make_loop(Trochoid& w, const double a[2], const double b[2], bool forward, bool back_home) {
    const double dx = b[0] - a[0], dy = b[1] - a[1], length = std::hypot(dx, dy);
    if (!(length > CHAIN_COINCIDENT_DISTANCE)) return nullptr;
    const double d[2] = {dx / length, dy / length};
    const double behind[2] = {a[0] - w.rho * d[0], a[1] - w.rho * d[1]};
    const double ahead[2] = {b[0] + w.rho * d[0], b[1] + w.rho * d[1]};
    const double back[2] = {b[0] - w.rho * d[0], b[1] - w.rho * d[1]};
    RING_header_s* loop = start_piece(w, forward ? behind : ahead, w.centre);
    if (!loop) return nullptr;
    if (forward) append_half_circle(w, loop, ahead, w.centre);
    if (back_home) append_half_circle(w, loop, back, w.centre);
    return loop;
}

// The arc of the loops' sense about the centre from the output's end to the
// point, in pieces of at most 170 degrees; null when the two coincide.
RING_header_s* make_connection(Trochoid& w, const double c[2], const double to[2], const RING_node_s* centre) {
    const double* from = point_of(w.output->last);
    if (coincident(from, to)) return nullptr;
    const double a0 = std::atan2(from[1] - c[1], from[0] - c[0]);
    const double a1 = std::atan2(to[1] - c[1], to[0] - c[0]);
    double sweep = w.sense * (a1 - a0);
    while (sweep < 0.0) sweep += 2.0 * kPi;
    while (sweep >= 2.0 * kPi) sweep -= 2.0 * kPi;
    RING_header_s* piece = start_piece(w, from, centre);
    if (!piece) return nullptr;
    const int n = std::max(1, static_cast<int>(std::ceil(sweep / kMaxArcSweep)));
    const double r = std::hypot(from[0] - c[0], from[1] - c[1]);
    for (int k = 1; k <= n; ++k) {
        const double angle = a0 + w.sense * sweep * k / n;
        const double p[2] = {k == n ? to[0] : c[0] + r * std::cos(angle), k == n ? to[1] : c[1] + r * std::sin(angle)};
        append_arc(w, piece, c, sweep / n, p, centre);
    }
    return piece;
}

// Appends a piece to the output (whole, or without its first vertex, so its
// second vertex's segment starts at the output's end) and deletes it.
void append_piece(Trochoid& w, RING_header_s* piece, bool whole, const char* piece_label, const char* added_label) {
    if (!piece) return;
    merrow1::OwnedChain owned(piece);
    if (MACH__checking_level >= 1) RING_put_header_app_data(piece, APP_DATA_STOCKED_FROM, w.output);
    CHAIN_debug_report(3, piece_label, piece, nullptr);
    if (!whole && w.output->first) RING_delete_node(piece, piece->first);
    RING_append_ring(w.output, piece);
    CHAIN_drop_cached_box(w.output);
    CHAIN_debug_report(3, added_label, w.output, nullptr);
}

// Appends the loop; where the frame turns at the previous centre (the
// output's end and the loop's start differ) an arc about that centre joins
// them first.  At the frame's ends the loops run along the frame's tangent,
// so the ends meet there.
void append_loop(Trochoid& w, RING_header_s* loop, const char* piece_label, const char* added_label) {
    if (!loop) return;
    merrow1::OwnedChain owned(loop);
    if (w.output->first)
        append_piece(w, make_connection(w, w.previous_point, point_of(loop->first), w.previous),
                     false, "Trochoidal chain: extension chain", "Trochoidal chain: extension added");
    append_piece(w, owned.release(), !w.output->first, piece_label, added_label);
}

// The frame's tangent at a vertex of the given status (1 or 3 outgoing, 2 or 3
// incoming); false when it has none.
bool frame_tangent(const Trochoid& w, RING_node_s* node, bool outgoing, double t[2]) {
    double in[2], out[2];
    const CHAIN_tangent_status_t status = ChainVertexTangent(w.frame, node, in, out, nullptr, nullptr);
    const bool ok = outgoing ? status == CHAIN_TANGENT_OUTGOING || status == CHAIN_TANGENT_BOTH
                             : status == CHAIN_TANGENT_INCOMING || status == CHAIN_TANGENT_BOTH;
    if (!ok) return false;
    t[0] = outgoing ? out[0] : in[0];
    t[1] = outgoing ? out[1] : in[1];
    return true;
}

// Splits every arc of the output turning more than 170 degrees (true sweep)
// into ceil(sweep / 170 degrees) parts; the new vertices copy the split
// vertex's key-17 record.
void split_wide_arcs(RING_header_s* output) {
    std::vector<RING_node_s*> arcs;
    const bool closed = is_closed(output);
    RING_node_s* node = output->first;
    for (int i = 0; i < output->count && node; ++i, node = node->next)
        if ((i > 0 || closed) && CHAIN_seg_ask_type(node) == SEG_ARC) arcs.push_back(node);
    for (RING_node_s* arc : arcs) {
        SEGMENT segment;
        if (ChainSegment(output, arc, &segment) != 1) continue;
        const double sweep = SEGMENT_arc_sweep(&segment);
        if (sweep > kMaxArcSweep) CHAIN_split_backward_segment(output, arc, static_cast<int>(std::ceil(sweep / kMaxArcSweep)));
    }
}

// The trochoid over the frame's centres.
//   1. The initial loop, from one step behind the first centre (along the
//      frame's outgoing tangent t) to it; for a closed guide only its half
//      circle about the first centre.
//   2. A loop from each centre to the next, joined by an arc about the
//      centre where the frame turns; a closed guide's last loop returns to
//      the first centre.
//   3. Open: the forward half circle of a loop from the last centre one step
//      along its incoming tangent.  Closed: an arc about the first centre back
//      to the output's start, and the output closed.
// Without a tangent at the frame's first or last vertex the build stops.
void build(Trochoid& w) {
    RING_header_s* frame = w.frame;
    if (!frame->first) return;
    double t[2];
    take_centre(w, frame->first);
    if (!frame_tangent(w, frame->first, true, t)) return;
    const double behind[2] = {w.centre_point[0] - w.s * t[0], w.centre_point[1] - w.s * t[1]};
    append_loop(w, make_loop(w, behind, w.centre_point, !w.closed, true), "Trochoidal chain: initial loop chain",
                "Trochoidal chain: initial loop added");

    RING_node_s* node = frame->first->next;
    const int loops = w.closed ? frame->count : frame->count - 1;
    for (int i = 0; i < loops && node; ++i, node = node->next) {
        if (coincident(point_of(node), w.centre_point)) continue;  // no direction to loop along
        take_centre(w, node);
        append_loop(w, make_loop(w, w.previous_point, w.centre_point, true, true), "Trochoidal chain: loop chain",
                    "Trochoidal chain: loop added");
    }

    if (!w.closed) {
        if (!frame_tangent(w, frame->last, false, t)) return;
        const double beyond[2] = {w.centre_point[0] + w.s * t[0], w.centre_point[1] + w.s * t[1]};
        w.previous = w.centre;
        w.previous_point[0] = w.centre_point[0];
        w.previous_point[1] = w.centre_point[1];
        append_loop(w, make_loop(w, w.centre_point, beyond, true, false), "Trochoidal chain: partial loop chain",
                    "Trochoidal chain: partial loop added");
        return;
    }
    RING_header_s* output = w.output;
    if (!output->first) return;
    const double start[2] = {point_of(output->first)[0], point_of(output->first)[1]};
    append_piece(w, make_connection(w, point_of(frame->first), start, frame->first), false,
                 "Trochoidal chain: extension chain", "Trochoidal chain: extension added");
    CHAIN_debug_report(3, "Trochoidal chain: chain before closing", output, nullptr);
    point_of(output->first)[0] = point_of(output->last)[0];
    point_of(output->first)[1] = point_of(output->last)[1];
    CHAIN_close(output, kCloseGap);
    if (output->last) {
        const Korvo::Math::Point2 own = {point_of(output->last)[0], point_of(output->last)[1]};
        CHAIN_modify_vertex_point(output, output->last, &own);
    }
    CHAIN_debug_report(3, "Trochoidal chain: chain after closing", output, nullptr);
}

bool every_vertex_has_a_point(const RING_header_s* chain) {
    const RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count; ++i, node = node->next)
        if (!node || !vertex_record(node) || !vertex_record(node)->geometry) return false;
    return true;
}

}  // namespace

RING_header_s* CHAIN_create_trochoidal_chain(RING_header_s* guide, double a, double s, CMEM_pool_s* pool) {
    if (!guide || !pool || guide->type != RING_TYPE_CHAIN || !guide->main_data || !guide->first ||
        !every_vertex_has_a_point(guide))
        return nullptr;
    if (!std::isfinite(a) || !std::isfinite(s) || !(s > 0.0) || !(a > s / 2.0)) return nullptr;
    const SIDE side = main_of(guide)->material_side;
    if (side != RIGHT && side != LEFT) return nullptr;
    // Loops whose half circles would be shorter than two coincident points
    // cannot be drawn.
    const double rho = a / 2.0 - s / 4.0;
    if (!(2.0 * rho > CHAIN_COINCIDENT_DISTANCE)) return nullptr;
    CHAIN_debug_report(3, "CHAIN_create_trochoidal_chain -- input chain", guide, nullptr);

    merrow1::OwnedChain frame(make_frame(guide, s, rho, pool));
    if (!frame.get()) return nullptr;
    CHAIN_debug_report(3, "CHAIN_create_trochoidal_chain -- frame", frame.get(), nullptr);

    Trochoid w;
    w.frame = frame.get();
    w.s = s;
    w.rho = rho;
    w.side = side == RIGHT ? 1 : -1;
    w.sense = w.side > 0 ? CCW : CW;
    w.closed = is_closed(frame.get());
    w.pool = pool;
    merrow1::OwnedChain output(CHAIN_create_from_csys(&main_of(guide)->csys, pool));
    if (!output.get()) return nullptr;
    w.output = output.get();
    main_of(w.output)->material_side = side;
    RING_put_header_app_data(w.output, APP_DATA_STOCKED_FROM, frame.get());
    RING_put_header_app_data(w.output, CHAIN_APP_DATA_LOOP_CURVE, w.output);
    if (MACH__checking_level >= 1) RING_put_header_app_data(w.output, CHAIN_APP_DATA_CHECKED_CURVE, w.output);

    build(w);
    if (!w.output->first) return nullptr;
    split_wide_arcs(w.output);
    ChainBox(w.output, nullptr, nullptr);
    CHAIN_debug_report(3, "CHAIN_create_trochoidal_chain -- trochoidal chain", w.output, nullptr);
    frame.release();
    return output.release();
}
