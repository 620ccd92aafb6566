// Offset tracing: the raw offset of a chain, its embedded-loop removal, and
// the hand-over of a trace's sources to the chains cleaned from it.
//
// The walk (CHAIN__trace):
//   1. Refuse bad input: a negative or non-finite offset, a corner control
//      other than ADD_ARC, EXTEND_TANGENT or ALWAYS_EXTEND_TANGENT, fewer than
//      two source vertices.  A closed source traced inwards that must
//      collapse is refused before any piece is made.
//   2. For every source vertex in order, the corner type picks a handler that
//      appends the joining pieces of the corner and the offset of the segment
//      that starts there.  Every appended vertex carries its trace vertex
//      record (key 1) and its source record (key 17).
//   3. A trace that holds nothing real is deleted.  A closed source gets a
//      closed trace; with loop removal the loops between self-intersections
//      are cut; the emptiness test is made again and a closed trace is put
//      back to start where it started.
// Every path that leaves with an error deletes the unfinished trace first:
// the caller never receives half a trace.
#include <merrow1/chain_trace.h>

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_stock.h>
#include <merrow1/segment.h>
#include <merrow1/segment_intersection.h>

#include <quorn/quorn.h>
#include <stend/system.h>
#include <velte/cerr.h>
#include <velte/cmem.h>
#include <velte/listwin.h>

#include "chain/chain_readings.h"
#include "internal/check.h"
#include "internal/flavour_intersections.h"
#include "internal/scratch_pool.h"
#include "internal/vec2.h"
#include "arc_sweep.h"
#include "offset_join.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_set>
#include <vector>

namespace {

using merrow1::kPi;
// Vertex marks of traced vertices.
constexpr unsigned kMarkThereAndBack = 0x20000u;  // the source vertex is marked as there-and-back (key 13)
constexpr unsigned kMarkSampleSource = 0x800u;    // the source is a SAMPLE_CHAIN
// Points closer than this are one point for the tracer's own tests.
constexpr double kPointTolerance = 1e-8;
// The tolerance with which the tracer asks the segment intersection for the
// crossings of two pieces' full lines or circles: far below the length
// tolerance, so that no crossing is moved onto a piece's end and no two
// curves that miss each other are taken as touching, beyond the rounding of
// their coordinates; whether a crossing lies near enough to the pieces is
// decided afterwards, with the tracing tolerance.
constexpr double kFullCurveCrossing = 1e-12;
// An arc given a new centre for the trace's end becomes a line when
// |(end - old centre) . (end - trace end)| / (4 x radius) falls below this.
constexpr double kFlatRefit = 1e-8;
// Two tangents run on in one direction when their dot product lies within
// this of 1 (the pieces either side of a closed trace's start).
constexpr double kSameDirectionDot = 1e-10;
// Two line offsets whose ends lie less than this apart count as extended.
constexpr double kMeetingLineEnds = 2e-8;
// Extended offsets must turn the side's way by a cross product of at least
// this; a chamfer is cut only where |cos(phi / 2)| exceeds the first and its
// inset the second.
constexpr double kExtensionTurn = 1e-10;
constexpr double kChamferCosine = 1e-10;
constexpr double kChamferInset = 1e-8;
// A last piece shorter than this (and not blank) goes, its end kept.
constexpr double kNearlyNoLength = 1e-8;
// Debug-query codes of the chain debug interface (kind 2).
constexpr int kQueryLoopRemoval = 42;

// ---------------------------------------------------------------------------
// Small geometry

struct V2 {
    double x, y;
};
V2 v2(const double p[2]) { return {p[0], p[1]}; }
V2 operator+(V2 a, V2 b) { return {a.x + b.x, a.y + b.y}; }
V2 operator-(V2 a, V2 b) { return {a.x - b.x, a.y - b.y}; }
V2 operator*(double s, V2 a) { return {s * a.x, s * a.y}; }
using merrow1::cross;
using merrow1::dot;
double norm(V2 a) { return std::hypot(a.x, a.y); }
double dist(V2 a, V2 b) { return norm(a - b); }
// dist(a, b) > t and dist(a, b) < t, asking hypot only where the
// coordinate differences leave it open: the distance is at least the larger
// difference and at most their sum, and a hypot within an ulp keeps both
// bounds (they are, or lie clear of, doubles).
bool farther_than(V2 a, V2 b, double t) {
    const double dx = std::fabs(a.x - b.x), dy = std::fabs(a.y - b.y);
    if (dx > t || dy > t) return true;
    if (dx + dy <= 0.5 * t) return false;
    return std::hypot(dx, dy) > t;
}
bool nearer_than(V2 a, V2 b, double t) {
    const double dx = std::fabs(a.x - b.x), dy = std::fabs(a.y - b.y);
    if (dx >= t || dy >= t) return false;
    if (dx + dy < 0.5 * t) return true;
    return std::hypot(dx, dy) < t;
}

// A segment that owns its buffers (a whole end_segment also for lines).
struct Piece {
    double start[2] = {0.0, 0.0};
    end_segment end{};
    SEGMENT seg{};

    Piece() { bind(); }
    Piece(const Piece& other) : start{other.start[0], other.start[1]}, end(other.end) {
        bind();
        seg.type = other.seg.type;
    }
    Piece& operator=(const Piece& other) {
        start[0] = other.start[0];
        start[1] = other.start[1];
        end = other.end;
        seg.type = other.seg.type;
        return *this;
    }
    void bind() {
        seg.start = start;
        seg.end = &end;
        seg.app_data = nullptr;
        seg.type = SEG_POINT;
    }
    SEGMENT_TYPE type() const { return seg.type; }
    bool real() const { return seg.type == SEG_LINE || seg.type == SEG_ARC; }
    V2 s() const { return {start[0], start[1]}; }
    V2 e() const { return {end.x, end.y}; }
    V2 c() const { return {end.cx, end.cy}; }
    void set_start(V2 p) {
        start[0] = p.x;
        start[1] = p.y;
    }
};

// Copies a segment read from a chain (a line's end is only two doubles).
Piece piece_of(const SEGMENT& segment) {
    Piece p;
    p.start[0] = segment.start[0];
    p.start[1] = segment.start[1];
    if (segment.type == SEG_ARC) {
        p.end = *segment.end;
    } else {
        const double* e = reinterpret_cast<const double*>(segment.end);
        p.end.x = e[0];
        p.end.y = e[1];
    }
    p.seg.type = segment.type;
    return p;
}

bool read_segment(const RING_header_s* chain, const RING_node_s* node, Piece* out) {
    SEGMENT segment;
    if (!node || !ChainSegment(chain, node, &segment)) return false;
    *out = piece_of(segment);
    return true;
}

Piece line_piece(V2 a, V2 b) {
    Piece p;
    p.set_start(a);
    p.end.x = b.x;
    p.end.y = b.y;
    p.seg.type = SEG_LINE;
    return p;
}

// An arc about the centre from a to b in the given sense (any sweep).
Piece arc_piece(V2 a, V2 b, V2 centre, DIRECTION direction) {
    Piece p = line_piece(a, b);
    p.end.cx = centre.x;
    p.end.cy = centre.y;
    p.end.radius = dist(a, centre);
    p.end.direction = direction;
    p.seg.type = SEG_ARC;
    return p;
}

// Unit tangent of a piece at one of its ends.
bool tangent_at(const Piece& p, bool at_end, V2* t) {
    double out[2];
    const double* where = at_end ? reinterpret_cast<const double*>(&p.end) : p.start;
    if (!SegmentTangent(&p.seg, where, out)) return false;
    *t = {out[0], out[1]};
    return true;
}

// The point halfway along an arc in its own sense.
V2 arc_mid_point(const Piece& arc) {
    const double half = merrow1::arc_signed_sweep(arc.seg) / 2.0;
    const V2 r = arc.s() - arc.c();
    const double c = std::cos(half), s = std::sin(half);
    return arc.c() + V2{c * r.x - s * r.y, s * r.x + c * r.y};
}

// Whether an arc surely turns by less than a quarter circle in its own sense,
// without its sweep: the radius vectors to its ends have a positive dot
// product and turn the arc's way by a sine above 1e-6, far beyond the
// rounding of their unit vectors, so the sweep found from those lies in
// (0, pi / 2] up to that rounding, well below any split.
constexpr double kSurelyTurningSineSquared = 1e-12;  // that sine of 1e-6, squared
bool sweeps_under_a_quarter(const Piece& arc) {
    const V2 a = arc.s() - arc.c(), b = arc.e() - arc.c();
    const double turn = (arc.end.direction == CW ? -1.0 : 1.0) * cross(a, b);
    return dot(a, b) > 0.0 && turn > 0.0 && turn * turn > kSurelyTurningSineSquared * dot(a, a) * dot(b, b);
}

// The crossing of two pieces' full lines or circles nearest a crossing found
// on the pieces: that search snaps points near the pieces' ends onto them,
// which would move a trimmed offset off its line or circle.
V2 refine_crossing(const Piece& a, const Piece& b, V2 found) {
    INT_POINT points;
    const int n = SEGMENT_intersect(&a.seg, &b.seg, kFullCurveCrossing, &points);
    V2 best = found;
    double best_distance = kPointTolerance * 10.0;
    for (int i = 0; i < n; ++i) {
        const V2 x{points.point[i].x, points.point[i].y};
        if (dist(x, found) < best_distance) best = x, best_distance = dist(x, found);
    }
    return best;
}

// ---------------------------------------------------------------------------
// Chain access

// The chain's main data: the one reader, under the name this file's walks use.
using merrow1::main_of;
using merrow1::is_closed;
using merrow1::vertex_record;
// The vertex's point as a V2.
V2 point_of(const RING_node_s* node) { return v2(merrow1::point_of(node)); }

CHAIN_trace_vertex_data_s* trace_record(const RING_node_s* node) {
    return node ? static_cast<CHAIN_trace_vertex_data_s*>(
                      APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_TRACE_VERTEX))
                : nullptr;
}
bool is_dummy(const RING_node_s* node) {
    const CHAIN_trace_vertex_data_s* r = trace_record(node);
    return r && r->dummy;
}
bool is_blank(const RING_node_s* node) {
    const CHAIN_trace_vertex_data_s* r = trace_record(node);
    return r && r->blank;
}
bool has_there_and_back_mark(const RING_node_s* node) {
    return node && APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_THERE_AND_BACK);
}

// A trace holds something real when it has two or more vertices and some
// vertex after the first is neither dummy nor blank.
bool trace_is_real(const RING_header_s* trace) {
    if (!trace || trace->count < 2) return false;
    const RING_node_s* node = trace->first->next;
    for (int i = 1; i < trace->count && node; ++i, node = node->next)
        if (!is_dummy(node) && !is_blank(node)) return true;
    return false;
}

// ---------------------------------------------------------------------------
// Debug reports

void debug_stage(const char* label, RING_header_s* chain, RING_node_s* vertex, RING_header_s* trace, double offset) {
    if (MACH__checking_level < 1 || !CHAIN_ask_chain_debug_status()) return;
    CHAIN_debug_function_data_t data = {};
    data.request = 1;
    data.code = 3;
    data.label = label;
    data.chain = chain;
    data.vertex = vertex;
    data.pointer_value = trace;
    data.double_value = offset;
    CHAIN_debug_function_interface(&data);
}

void debug_note(const char* label, RING_header_s* trace, RING_node_s* vertex) {
    CHAIN_debug_report(3, label, trace, vertex);
}

// The host's answer to a debug query (kind 2); 0 while chain debug is off.
int debug_query(int code) { return CHAIN_debug_query(code); }

// True when the host has switched embedded-loop removal off.
bool loop_removal_inactive() {
    if (!debug_query(kQueryLoopRemoval)) return false;
    std::printf("Embedded Loop Removal: inactive\n");
    std::fflush(stdout);
    return true;
}

const char* corner_control_name(CORNER_CONTROL control) {
    switch (control) {
    case ADD_ARC: return "ADD_ARC";
    case EXTEND_TANGENT: return "EXTEND_TANGENT";
    case BREAK_CORNER: return "BREAK_CORNER";
    case ALWAYS_EXTEND_TANGENT: return "ALWAYS_EXTEND_TANGENT";
    default: return "Unrecognized corner control";
    }
}

// ---------------------------------------------------------------------------
// Pieces of the source and their offsets

// The source segment ending at the vertex (none at the start of an open chain).
bool incoming_source(const CHAIN_trace_inputs_s* in, const RING_node_s* vertex, Piece* out) {
    return read_segment(in->source, vertex, out);
}
// The source segment starting at the vertex (none at the end of an open chain).
bool outgoing_source(const CHAIN_trace_inputs_s* in, const RING_node_s* vertex, Piece* out) {
    return vertex->next && read_segment(in->source, vertex->next, out);
}

// The offset of a source piece away from the material side.  True for a line
// or arc; false otherwise, with the piece left as a point when the offset
// degenerated to one.  An arc keeps its centre and its own sense.
bool offset_of(const CHAIN_trace_inputs_s* in, const Piece& source, Piece* out, bool* collapsed) {
    *collapsed = false;
    *out = Piece();
    if (!source.real()) return false;
    const int ok = SEGMENT_offset(&source.seg, in->offset, in->side, collapsed, &out->seg);
    if (ok && source.type() == SEG_ARC && out->type() == SEG_ARC) out->end.direction = source.end.direction;
    return ok && out->real();
}

// The end of the trace, or of the given piece when the trace is empty.
V2 trace_end_or(const CHAIN_trace_inputs_s* in, const Piece& fallback) {
    return in->trace->count > 0 ? point_of(in->trace->last) : fallback.e();
}

// Whether the walk's start and its joining across short segments, found
// when the inputs were filled, still belong to the inputs' source and
// tolerance.
bool walk_known(const CHAIN_trace_inputs_s* in) {
    return in->walk_source == in->source && in->walk_tolerance == in->tolerance;
}
const RING_node_s* walk_start_of(const CHAIN_trace_inputs_s* in) {
    return walk_known(in) ? in->walk_start : merrow1::walk_start(in->source, in->tolerance);
}
bool joins_across(const CHAIN_trace_inputs_s* in) {
    return walk_known(in) ? in->join_across != 0 : merrow1::some_segment_carries_offset(in->source, in->tolerance);
}

bool corner_joined_beyond(const CHAIN_trace_inputs_s* in, const RING_node_s* vertex) {
    return merrow1::corner_joined_beyond(in->source, walk_start_of(in), vertex, in->tolerance);
}

// The source segment ending at the corner's entry as the walk offsets it:
// where a run of segments that carry no offset ends at its start, it is
// taken as starting where that run starts (see corner_outgoing).
bool corner_incoming(const CHAIN_trace_inputs_s* in, const RING_node_s* entry, Piece* out) {
    if (!incoming_source(in, entry, out)) return false;
    if (!entry->previous) return true;
    const RING_node_s* start = entry->previous;
    const RING_node_s* run = merrow1::corner_entry(in->source, walk_start_of(in), start, [in](const RING_node_s* v) {
        return corner_joined_beyond(in, v);
    });
    if (run != start && joins_across(in)) out->set_start(point_of(run));
    return true;
}

// The piece the corner continues from: the trace's last segment, or the
// offset of the source segment ending at the corner's entry while the trace
// has no segment.  *collapsed tells whether that offset collapsed (false for
// the trace's piece).
bool previous_offset(const CHAIN_trace_inputs_s* in, RING_node_s* entry, Piece* prev, bool* collapsed) {
    *collapsed = false;
    if (in->trace->count >= 2) return read_segment(in->trace, in->trace->last, prev);
    Piece source;
    if (!corner_incoming(in, entry, &source)) return false;
    return offset_of(in, source, prev, collapsed) || prev->type() == SEG_POINT;
}

void move_last_vertex(CHAIN_trace_inputs_s* in, V2 p) {
    if (in->trace->count == 0) return;
    const Korvo::Math::Point2 q{p.x, p.y};
    CHAIN_modify_vertex_point(in->trace, in->trace->last, &q);
}

// Appends with the given piece flags.
RING_node_s* append(CHAIN_trace_inputs_s* in, RING_node_s* source_vertex, const Piece& piece, bool vertex_piece,
                    bool dummy, bool blank) {
    in->vertex_piece = vertex_piece ? 1 : 0;
    in->dummy = dummy ? 1 : 0;
    in->blank = blank ? 1 : 0;
    RING_node_s* node = CHAIN__add_segment_to_traced_chain(in, source_vertex, &piece.seg);
    in->vertex_piece = in->dummy = in->blank = 0;
    return node;
}

// Appends the offset of the segment that starts at the vertex; its source
// vertex is the vertex ending that segment.
void append_outgoing(CHAIN_trace_inputs_s* in, RING_node_s* vertex, const Piece& out, bool collapsed) {
    if (out.real()) append(in, vertex->next, out, false, collapsed, false);
}

DIRECTION convex_sense(SIDE side) { return side == LEFT ? CCW : CW; }

// Removes a vertex of the trace, forgetting it as the first extension node.
void remove_trace_vertex(CHAIN_trace_inputs_s* in, RING_node_s* node) {
    if (in->first_extension_node == node) in->first_extension_node = nullptr;
    if (in->last_appended == node) in->last_appended = nullptr;
    RING_delete_node(in->trace, node);
    CHAIN_drop_cached_box(in->trace);
}

// ---------------------------------------------------------------------------
// Appending one piece

// Decorates a new traced vertex: trace record, source record, marks, callback.
void decorate(CHAIN_trace_inputs_s* in, RING_node_s* node, RING_node_s* source_vertex, bool vertex_piece, bool dummy,
              bool blank) {
    RING_header_s* trace = in->trace;
    CHAIN_trace_vertex_data_s* record = CMEM_NEW(trace->pool, CHAIN_trace_vertex_data_s);
    if (record) {
        std::memset(record, 0, sizeof *record);
        record->offset = in->offset;
        record->material_side = in->side;
        record->dummy = dummy ? 1 : 0;
        record->vertex_piece = vertex_piece ? 1 : 0;
        record->blank = blank ? 1 : 0;
        record->corner_type = in->corner_type;
        RING_put_node_app_data(trace, node, CHAIN_APP_DATA_TRACE_VERTEX, record);
    }
    CHAIN_assign_source_chain_source_vertex_pc_data(in->source, source_vertex, vertex_piece, trace->pool, node);
    CHAIN_vertex_data_s* v = vertex_record(node);
    if (in->extension_mode == 1 && has_there_and_back_mark(source_vertex) &&
        (!vertex_piece || has_there_and_back_mark(source_vertex ? source_vertex->next : nullptr)))
        v->flags |= kMarkThereAndBack;
    if (main_of(in->source)->kind == SAMPLE_CHAIN) v->flags |= kMarkSampleSource;
    if (in->vertex_source_cb) in->vertex_source_cb(in->source, source_vertex, vertex_piece, trace, node);
}

// Without loop removal an arc that does not start at the trace's end is
// refitted to start there: the new centre lies on the bisector of the new
// chord, on the same side as before, with the radius scaled with the chord;
// an arc too flat for that becomes a line.
void refit_arc_to_trace_end(Piece* piece, V2 trace_end) {
    if (piece->type() != SEG_ARC || (piece->start[0] == trace_end.x && piece->start[1] == trace_end.y)) return;
    const V2 e = piece->e(), c = piece->c();
    const double r = piece->end.radius;
    if (r <= 0.0 || std::fabs(dot(e - c, e - trace_end)) / (4.0 * r) < kFlatRefit) {
        *piece = line_piece(trace_end, e);
        return;
    }
    const V2 old_chord = e - piece->s(), new_chord = e - trace_end;
    const double old_length = norm(old_chord), new_length = norm(new_chord);
    if (old_length <= 0.0 || new_length <= 0.0) {
        piece->set_start(trace_end);
        return;
    }
    const double radius = r * new_length / old_length;
    const double h = std::sqrt(std::fmax(radius * radius - new_length * new_length / 4.0, 0.0));
    // The old centre's side of the old chord.
    const double side = cross(old_chord, c - piece->s()) >= 0.0 ? 1.0 : -1.0;
    const V2 normal = (side / new_length) * V2{-new_chord.y, new_chord.x};
    const V2 centre = 0.5 * (trace_end + e) + h * normal;
    *piece = arc_piece(trace_end, e, centre, piece->end.direction);
}

RING_node_s* append_one(CHAIN_trace_inputs_s* in, RING_node_s* source_vertex, Piece piece) {
    RING_header_s* trace = in->trace;
    const bool vertex_piece = in->vertex_piece, dummy = in->dummy, blank = in->blank;
    if (trace->count == 0) {
        end_segment start{};
        start.x = piece.start[0];
        start.y = piece.start[1];
        if (RING_node_s* first = ChainAppendVertex(trace, &start, SEG_POINT)) {
            in->vertex_piece = in->dummy = in->blank = 0;
            decorate(in, first, in->last_source_vertex ? in->last_source_vertex : source_vertex, false, false, false);
            in->vertex_piece = vertex_piece, in->dummy = dummy, in->blank = blank;
            debug_note("CHAIN__add_segment_to_traced_chain: point segment added", trace, first);
        }
    }
    // A piece that starts away from the trace's end is joined by a dummy
    // line: refitting it to the trace's end would move a real offset off its
    // distance.  Only a slip within the tracing tolerance is refitted.
    const V2 trace_end = point_of(trace->last);
    if (farther_than(piece.s(), trace_end, in->tolerance)) {
        const Piece bridge = line_piece(trace_end, piece.s());
        if (RING_node_s* joint = ChainAppendVertex(trace, &bridge.end, SEG_LINE)) {
            decorate(in, joint, source_vertex, false, true, false);
            debug_note("CHAIN__add_segment_to_traced_chain: dummy segment added", trace, joint);
        }
    } else if (!in->remove_embedded_loops) {
        refit_arc_to_trace_end(&piece, trace_end);
    }
    RING_node_s* node = ChainAppendVertex(trace, &piece.end, piece.type());
    if (!node) {
        debug_note("CHAIN__add_segment_to_traced_chain: no segment appended", trace, nullptr);
        return nullptr;
    }
    decorate(in, node, source_vertex, vertex_piece, dummy, blank);
    in->last_source_vertex = source_vertex;
    const char* label = dummy && vertex_piece   ? "CHAIN__add_segment_to_traced_chain: dummy, vertex segment added"
                        : blank && vertex_piece ? "CHAIN__add_segment_to_traced_chain: blank, vertex segment added"
                        : dummy                 ? "CHAIN__add_segment_to_traced_chain: dummy segment added"
                        : vertex_piece          ? "CHAIN__add_segment_to_traced_chain: vertex segment added"
                        : piece.type() == SEG_ARC ? "CHAIN__add_segment_to_traced_chain: arc segment added"
                                                  : "CHAIN__add_segment_to_traced_chain: line segment added";
    debug_note(label, trace, node);
    return node;
}

// ---------------------------------------------------------------------------
// Tail checks

// Whether the group of the last k pieces (ending at ends[1..k], starting at
// ends[0]) closes a fully embedded loop; the crossing goes to *x.
bool tail_loop(const CHAIN_trace_inputs_s* in, int k, RING_node_s* const* ends, V2* x) {
    Piece s[5];
    for (int i = 1; i <= k; ++i)
        if (!read_segment(in->trace, ends[i], &s[i]) || !s[i].real()) return false;
    bool dummy[5];
    for (int i = 1; i <= k; ++i) {
        dummy[i] = is_dummy(ends[i]);
        if (k > 2 && is_blank(ends[i])) return false;
    }
    if (k == 2) {
        if (!dummy[1] && !dummy[2]) return false;
    } else {
        bool all = true, middle = true;
        for (int i = 1; i <= k; ++i) all = all && dummy[i];
        for (int i = 2; i < k; ++i) middle = middle && dummy[i];
        if (!all && !(middle && !dummy[1] && !dummy[k])) return false;
    }
    if (k == 4) {
        INT_POINT far;
        if (SegmentIntersectOn(&s[1].seg, &s[3].seg, &far) != 0) return false;
        if (SegmentIntersectOn(&s[2].seg, &s[4].seg, &far) != 0) return false;
    }
    INT_POINT points;
    const int n = SegmentIntersectOn(&s[1].seg, &s[k].seg, &points);
    if (n != (k == 2 ? 2 : 1)) return false;
    const double tolerance = in->tolerance;
    for (int i = 0; i < n; ++i) {
        const Korvo::Math::Point2 p{points.point[i].x, points.point[i].y};
        if (SEGMENT_point_location(&s[1].seg, p, tolerance) == 3 && SEGMENT_point_location(&s[k].seg, p, tolerance) == 3) {
            *x = {p.x, p.y};
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------
// Closing a trace

bool in_ring(const RING_header_s* chain, const RING_node_s* node) {
    const RING_node_s* n = chain->first;
    for (int i = 0; i < chain->count && n; ++i, n = n->next)
        if (n == node) return true;
    return false;
}

void restart_at(RING_header_s* chain, RING_node_s* node) {
    if (!is_closed(chain) || !node || chain->first == node) return;
    chain->first = node;
    chain->last = node->previous;
    CHAIN_drop_cached_box(chain);
}

const CHAIN_source_chain_source_vertex_s* source_link(const RING_node_s* node) {
    return node ? static_cast<const CHAIN_source_chain_source_vertex_s*>(
                      APP_DATA__ask_app_data(node->app_data, APP_DATA_SOURCE_VERTEX))
                : nullptr;
}

void close_trace(CHAIN_trace_inputs_s* in) {
    RING_header_s* trace = in->trace;
    // 1. The first corner was joined while the trace was empty, against the
    //    offset of the source segment ending at the first vertex, so the
    //    first point lies on that offset's line or circle.  The walk may have
    //    dropped that offset since (trimmed at the corner before to less than
    //    the tolerance, where the offsets about a notch cross right above its
    //    corner): then the first point lies off the trace's last piece, and
    //    moving the last vertex onto it would bend that piece into a chord
    //    across the notch.  The last and first pieces then meet where they
    //    cross, as the pieces about any concave corner do, and the trace
    //    starts there.
    if (trace->count >= 3) {
        const V2 start = point_of(trace->first);
        Piece last_piece, first_piece;
        if (read_segment(trace, trace->last, &last_piece) && read_segment(trace, trace->first->next, &first_piece) &&
            last_piece.real() && first_piece.real() &&
            SEGMENT_point_location(&last_piece.seg, Korvo::Math::Point2{start.x, start.y}, in->tolerance) == 0) {
            INT_POINT points;
            if (SegmentIntersectOn(&last_piece.seg, &first_piece.seg, &points) == 1) {
                const V2 x = refine_crossing(last_piece, first_piece, {points.point[0].x, points.point[0].y});
                const Korvo::Math::Point2 q{x.x, x.y};
                CHAIN_modify_vertex_point(trace, trace->first, &q);
            }
        }
    }
    // 2. The last vertex goes onto the first point; the ends merge.
    const V2 first = point_of(trace->first);
    move_last_vertex(in, first);
    CHAIN_close(trace, in->tolerance);
    debug_note("CHAIN__trace: traced chain closed", trace, nullptr);
    // 3. A trace that began with an extension line at a convex corner whose
    //    incoming offset came last starts at that line's end, and two lines
    //    of one source vertex running on in one direction become one.
    RING_node_s* start = in->first_extension_node;
    if (!start || !is_closed(trace) || !in_ring(trace, start) || in->last_source_vertex != in->first_extension_source)
        return;
    restart_at(trace, start);
    RING_node_s* between = trace->last;
    Piece first_piece, last_piece;
    if (trace->count < 3 || !read_segment(trace, trace->first, &first_piece) ||
        !read_segment(trace, between, &last_piece) || first_piece.type() != SEG_LINE ||
        last_piece.type() != SEG_LINE)
        return;
    V2 t1, t2;
    if (!tangent_at(first_piece, false, &t1) || !tangent_at(last_piece, true, &t2)) return;
    const CHAIN_source_chain_source_vertex_s* a = source_link(trace->first);
    const CHAIN_source_chain_source_vertex_s* b = source_link(between);
    if (std::fabs(dot(t1, t2) - 1.0) <= kSameDirectionDot && a && b && a->source_vertex == b->source_vertex) {
        remove_trace_vertex(in, between);
        CHAIN_drop_cached_box(trace);
    }
}

// The vertex nearest the point.
RING_node_s* nearest_vertex(const RING_header_s* chain, V2 p) {
    RING_node_s* best = nullptr;
    double best_distance = 0.0;
    RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) {
        const double d = dist(point_of(node), p);
        if (!best || d < best_distance) best = node, best_distance = d;
    }
    return best;
}

// ---------------------------------------------------------------------------
// Final removal

// Dummy arcs count as their chords while the self-intersections are found;
// the guard turns them back on every path.
class DummyArcsAsLines {
public:
    explicit DummyArcsAsLines(RING_header_s* trace) : m_trace(trace) {
        RING_node_s* node = trace->first;
        for (int i = 0; i < trace->count && node; ++i, node = node->next)
            if (CHAIN_seg_ask_type(node) == SEG_ARC && is_dummy(node) && (node != trace->first || is_closed(trace))) {
                CHAIN_seg_set_type(node, SEG_LINE);
                m_nodes.push_back(node);
            }
        if (!m_nodes.empty()) CHAIN_drop_cached_box(trace);
    }
    ~DummyArcsAsLines() { restore(); }
    DummyArcsAsLines(const DummyArcsAsLines&) = delete;
    DummyArcsAsLines& operator=(const DummyArcsAsLines&) = delete;
    void restore() {
        for (RING_node_s* node : m_nodes) CHAIN_seg_set_type(node, SEG_ARC);
        if (!m_nodes.empty()) CHAIN_drop_cached_box(m_trace);
        m_nodes.clear();
    }

private:
    RING_header_s* m_trace;
    std::vector<RING_node_s*> m_nodes;
};

struct Entry {
    RING_node_s* node;       // the entry's node in the intersection list
    POINT_ON_CHAIN_s* place;
    int twin;                // index of the twin entry, -1 none
    bool alive;
};

bool same_place(const POINT_ON_CHAIN_s* a, const POINT_ON_CHAIN_s* b) {
    const double dx = a->point[0] - b->point[0], dy = a->point[1] - b->point[1];
    return dx * dx + dy * dy <= kPointTolerance * kPointTolerance;
}

// For every entry the other entries at its place (same_place), in index
// order.  same_place holds only where the x coordinates differ by about the
// tolerance at most, so after a sort by x only the entries within twice the
// tolerance along x are tried.
std::vector<std::vector<int>> entries_at_same_places(const std::vector<Entry>& entries) {
    const int n = static_cast<int>(entries.size());
    std::vector<int> by_x(n);
    for (int i = 0; i < n; ++i) by_x[i] = i;
    auto x_of = [&](int i) { return entries[i].place->point[0]; };
    std::sort(by_x.begin(), by_x.end(),
              [&](int a, int b) { return x_of(a) < x_of(b) || (x_of(a) == x_of(b) && a < b); });
    std::vector<std::vector<int>> at(n);
    for (int a = 0; a < n; ++a)
        for (int b = a + 1; b < n && x_of(by_x[b]) - x_of(by_x[a]) <= 2.0 * kPointTolerance; ++b)
            if (same_place(entries[by_x[a]].place, entries[by_x[b]].place)) {
                at[by_x[a]].push_back(by_x[b]);
                at[by_x[b]].push_back(by_x[a]);
            }
    for (std::vector<int>& others : at) std::sort(others.begin(), others.end());
    return at;
}

// Whether the stretch of trace from place p to the later place q holds a
// dummy piece: the segment holding p counts when p lies inside it, the
// segments after it up to q's all count.
bool stretch_has_dummy(const RING_header_s* trace, const POINT_ON_CHAIN_s* p, const POINT_ON_CHAIN_s* q) {
    if (p->node == q->node) return false;
    if (p->inside && is_dummy(p->node)) return true;
    const RING_node_s* node = p->node->next;
    for (int i = 0; i < trace->count && node && node != q->node; ++i, node = node->next)
        if (is_dummy(node)) return true;
    return is_dummy(q->node);
}

// The same for the stretch from the later place q on through the trace's
// start to the earlier place p.
bool wrapping_stretch_has_dummy(const RING_header_s* trace, const POINT_ON_CHAIN_s* p, const POINT_ON_CHAIN_s* q) {
    if (q->inside && is_dummy(q->node)) return true;
    const RING_node_s* node = q->node->next;
    for (int i = 0; i < trace->count && node && node != p->node; ++i, node = node->next)
        if (is_dummy(node)) return true;
    return is_dummy(p->node);
}

// Loops lie around dummy pieces.  A closed trace is restarted in the middle
// of its longest run of vertices without dummy pieces, so that no loop spans
// its start and every loop lies between two of its crossings in order.
void seam_in_longest_clean_run(RING_header_s* trace) {
    if (!is_closed(trace) || trace->count < 3) return;
    std::vector<RING_node_s*> nodes;
    RING_node_s* node = trace->first;
    for (int i = 0; i < trace->count && node; ++i, node = node->next) nodes.push_back(node);
    const int n = static_cast<int>(nodes.size());
    int first_dummy = -1;
    for (int i = 0; i < n && first_dummy < 0; ++i)
        if (is_dummy(nodes[i])) first_dummy = i;
    if (first_dummy < 0) return;
    int best_start = -1, best_length = 0;
    for (int k = 1, run = 0, start = 0; k <= n; ++k) {
        const int i = (first_dummy + k) % n;
        if (!is_dummy(nodes[i])) {
            if (run++ == 0) start = i;
            if (run > best_length) best_length = run, best_start = start;
        } else {
            run = 0;
        }
    }
    if (best_start < 0) return;
    restart_at(trace, nodes[(best_start + best_length / 2) % n]);
}

// The circle of an arc piece (none for other pieces), put back on the piece
// after its ends moved along it.
class CircleKeeper {
public:
    CircleKeeper(const RING_header_s* chain, const RING_node_s* node) {
        SEGMENT segment;
        if (node && ChainSegment(chain, node, &segment) && segment.type == SEG_ARC) {
            m_arc = segment.end;
            m_circle = *m_arc;
        }
    }
    void restore() const {
        if (!m_arc) return;
        m_arc->cx = m_circle.cx, m_arc->cy = m_circle.cy;
        m_arc->radius = m_circle.radius, m_arc->direction = m_circle.direction;
    }

private:
    end_segment* m_arc = nullptr;
    end_segment m_circle{};
};

enum class PassOutcome { Continue, Stop, Deleted };

PassOutcome removal_pass(RING_header_s* trace, double tolerance, CMEM_pool_s* pool) {
    (void)tolerance;
    // 1. Self-intersections with dummy arcs taken as their chords.
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_set_sub_ring_delfunc(list, nullptr);
    RING_header_s* set = CHAIN_create_boolean_set(pool, nullptr);
    CHAIN_add_chain_to_list(set, trace);
    {
        DummyArcsAsLines chords(trace);
        merrow1::flavour_intersections(set, list);
    }
    RING_header_s* points = list->first ? RING_ask_node_subring(list->first) : nullptr;
    if (!points || points->count == 0) return PassOutcome::Stop;
    const bool ring = is_closed(points);
    std::vector<Entry> entries;
    RING_node_s* node = points->first;
    for (int i = 0; i < points->count && node; ++i, node = node->next)
        entries.push_back({node, static_cast<POINT_ON_CHAIN_s*>(node->main_data), -1, true});
    const int n = static_cast<int>(entries.size());
    const std::vector<std::vector<int>> at_place = entries_at_same_places(entries);
    auto alone = [&](int i) {
        for (int j : at_place[i])
            if (entries[j].alive) return false;
        return true;
    };
    // 2. A closed trace crossing itself at exactly one place is an embedded
    //    loop when both of its lobes hold dummy pieces.  When one lobe is
    //    clean, only the other is a loop: it goes like any simple loop below
    //    (the seam lies in the clean lobe, see seam_in_longest_clean_run).
    if (is_closed(trace)) {
        std::vector<int> crossing;
        for (int i = 0; i < n; ++i)
            if (!(i == 0 && alone(0))) crossing.push_back(i);
        if (crossing.size() == 2 && same_place(entries[crossing[0]].place, entries[crossing[1]].place)) {
            const POINT_ON_CHAIN_s* a = entries[crossing[0]].place;
            const POINT_ON_CHAIN_s* b = entries[crossing[1]].place;
            if (stretch_has_dummy(trace, a, b) && wrapping_stretch_has_dummy(trace, a, b)) {
                debug_note("CHAIN__trace: traced chain removed -- chain was embedded loop", trace, nullptr);
                return PassOutcome::Deleted;
            }
        }
    }
    // 3. The trace's own ends leave the list unless a crossing lies there.
    bool dropped_first = false, dropped_last = false;
    if (alone(0)) entries[0].alive = false, dropped_first = true;
    if (!ring && n > 1 && alone(n - 1)) entries[n - 1].alive = false, dropped_last = true;
    if (!ring && !(dropped_first && dropped_last)) return PassOutcome::Stop;
    //    Pairing: each point is linked to the one later point at its place.
    for (int i = 0; i < n; ++i) {
        if (!entries[i].alive || entries[i].twin >= 0) continue;
        int twin = -1, matches = 0;
        for (int j : at_place[i])
            if (j > i && entries[j].alive) twin = j, ++matches;
        if (matches == 0) debug_note("CHAIN__trace: unpaired intersection point", trace, entries[i].place->node);
        if (matches != 1 || entries[twin].twin >= 0) return PassOutcome::Stop;
        if (entries[twin].place->node == entries[i].place->node) return PassOutcome::Stop;
        entries[i].twin = twin;
        entries[twin].twin = i;
        RING_put_node_app_data(points, entries[i].node, CHAIN_APP_DATA_SCRATCH_MARK, entries[twin].node);
        RING_put_node_app_data(points, entries[twin].node, CHAIN_APP_DATA_SCRATCH_MARK, entries[i].node);
    }
    // 4. Only a loop that no other piece crosses is cut.  Cutting a loop
    //    changes the winding of the trace inside it and nowhere else; where
    //    the rest of the trace crosses the loop (even on dummy pieces), the
    //    rest reaches inside it, and what the rest encloses there comes out
    //    free: a loop cut across dummy crossings near a collapse left a
    //    sliver of the material as a result.  Such a loop is left to the
    //    clean, which decides the trace's faces exactly.
    // 5. Simple loops: two consecutive points at one place whose stretch
    //    holds a dummy piece close a loop that nothing crosses, which is
    //    cut out.
    //    The first such pair in the list goes each time.  A cut changes only
    //    the pair that spans it (the entry before the cut, or the cut's first
    //    entry when it stays, now followed by the entry after the cut): the
    //    pairs before it neither gain nor lose pieces, so the search resumes
    //    there instead of at the first entry.  The live entries are linked in
    //    order, and the trace's vertices at the pass's start are kept in a set
    //    (a cut only deletes vertices).
    std::vector<int> next_alive(n, n), previous_alive(n, -1);
    int first_alive = n;
    for (int i = n - 1, after = n; i >= 0; --i) {
        if (!entries[i].alive) continue;
        next_alive[i] = after;
        if (after < n) previous_alive[after] = i;
        after = first_alive = i;
    }
    auto unlink_entry = [&](int i) {
        entries[i].alive = false;
        const int before = previous_alive[i], after = next_alive[i];
        if (before >= 0) next_alive[before] = after; else first_alive = after;
        if (after < n) previous_alive[after] = before;
    };
    std::unordered_set<const RING_node_s*> vertices;
    {
        const RING_node_s* vertex = trace->first;
        for (int i = 0; i < trace->count && vertex; ++i, vertex = vertex->next) vertices.insert(vertex);
    }
    auto delete_vertex = [&](RING_node_s* vertex) {
        vertices.erase(vertex);
        RING_delete_node(trace, vertex);
    };
    for (int i = first_alive; i < n;) {
        const int k = next_alive[i];
        if (k >= n || entries[i].twin != k || !stretch_has_dummy(trace, entries[i].place, entries[k].place)) {
            i = k;
            continue;
        }
        POINT_ON_CHAIN_s* p = entries[i].place;
        POINT_ON_CHAIN_s* q = entries[k].place;
        RING_node_s* stop = q->node;
        RING_node_s* v = p->node->next;
        for (int guard = 0, bound = trace->count; v && v != stop && guard < bound; ++guard) {
            RING_node_s* next = v->next;
            delete_vertex(v);
            v = next;
        }
        if (!q->inside && stop != p->node) delete_vertex(stop);
        unlink_entry(k);
        const int before = previous_alive[i];
        if (alone(i)) unlink_entry(i);
        // The crossings of dummy arcs were found on their chords: what is
        // left of such an arc is its chord.
        for (RING_node_s* kept : {p->node, vertices.count(stop) ? stop : nullptr})
            if (kept && is_dummy(kept) && CHAIN_seg_ask_type(kept) == SEG_ARC) CHAIN_seg_set_type(kept, SEG_LINE);
        // The pieces on both sides of the cut end and start at the
        // crossing, which lies on both: arcs there keep their circles.
        // (Moving the vertex alone would re-fit the arc before it to its
        // start tangent, which for a short arc turns a rounding of the
        // crossing into a visible change of radius, and re-centre the
        // arc after it to run from the crossing with the tangent of its
        // old start.)
        const CircleKeeper before_cut(trace, p->node);
        const CircleKeeper after_cut(trace, p->node->next != p->node ? p->node->next : nullptr);
        // The refit that setting a segment end makes is not wanted here, and
        // it leaves an arc's end where it was when the crossing lies within
        // the length tolerance of the arc's start (its guard against
        // refitting through a point on the start tangent): the arc of a
        // millimetre part cut so close to its start kept its whole sweep and
        // the pieces after the cut began at its old end.  So the vertex takes
        // the crossing's point itself once the circles are back.
        const Korvo::Math::Point2 at{p->point[0], p->point[1]};
        CHAIN_modify_vertex_point(trace, p->node, &at);
        before_cut.restore();
        after_cut.restore();
        merrow1::point_of(p->node)[0] = at.x;
        merrow1::point_of(p->node)[1] = at.y;
        CHAIN_drop_cached_box(trace);
        debug_note("CHAIN__trace: traced chain -- simple, embedded loop removed", trace, p->node);
        CERR_raise_on_abort();
        i = entries[i].alive ? i : before >= 0 ? before : first_alive;
    }
    if (trace->count < 2 && CHAIN_trace_holds_dummy_pieces(trace)) {
        debug_note("CHAIN__trace: traced chain removed -- chain was embedded loop", trace, nullptr);
        return PassOutcome::Deleted;
    }
    return PassOutcome::Continue;
}

bool is_valid_corner_control(CORNER_CONTROL control) {
    return control == ADD_ARC || control == EXTEND_TANGENT || control == ALWAYS_EXTEND_TANGENT;
}

}  // namespace

// ===========================================================================
// Records and small queries

CHAIN_trace_vertex_data_s* CHAIN_ask_trace_vertex_data(const RING_node_s* vertex) { return trace_record(vertex); }

bool CHAIN_trace_holds_dummy_pieces(const RING_header_s* trace) {
    if (!trace || !trace->first) return false;
    const RING_node_s* node = trace->first->next;
    for (int i = 1; i < trace->count && node; ++i, node = node->next)
        if (is_dummy(node)) return true;
    return false;
}

// ===========================================================================
// Set-up

void CHAIN__trace_init_inputs(CHAIN_trace_inputs_s* in, RING_header_s* source, RING_header_s* trace, double offset,
                              CORNER_CONTROL corner_control, int open_end_caps,
                              CHAIN_trace_vertex_source_cb_t vertex_source_cb, CHAIN_trace_vertex_cb_t trace_vertex_cb,
                              bool remove_embedded_loops, const CHAIN_traceOutputParams_s* output) {
    *in = CHAIN_trace_inputs_s{};
    in->vertex_source_cb = vertex_source_cb;
    in->trace_vertex_cb = trace_vertex_cb;
    in->corner_control = corner_control;
    in->open_end_caps = open_end_caps;
    const CHAIN_main_data_s* md = main_of(source);
    in->tolerance = merrow1::length_tolerance_of(source);
    if (const int* words =
            static_cast<const int*>(APP_DATA__ask_app_data(source->app_data, CHAIN_APP_DATA_THERE_AND_BACK))) {
        in->extension_mode = words[0];
        in->extension_word = words[1];
    }
    in->remove_embedded_loops = remove_embedded_loops ? 1 : 0;
    in->output = output;
    in->source = source;
    in->trace = trace;
    in->offset = offset;
    in->side = md ? md->material_side : 0;
    in->walk_source = source;
    in->walk_tolerance = in->tolerance;
    in->walk_start = merrow1::walk_start(source, in->tolerance);
    in->join_across = merrow1::some_segment_carries_offset(source, in->tolerance) ? 1 : 0;
}

RING_header_s* CHAIN__trace_create_traced_chain(RING_header_s* source, CMEM_pool_s* pool) {
    RING_header_s* trace = CHAIN_create_from_chain(source, pool);
    if (!trace) return nullptr;
    CHAIN_main_data_s* md = main_of(trace);
    md->kind = TRACE_CHAIN;
    md->approximation_tolerance = 0.0;
    md->approximation_tolerance_set = 1;
    md->direction = 0;
    RING_put_header_app_data(trace, APP_DATA_STOCKED_FROM, source);
    return trace;
}

namespace {

// Whether the chain is at least `limit` wide along every direction, shown by
// its vertices alone: the vertices' width along k directions kπ/K, less what
// a turn of at most π/(2K) can take from it.  A width along u is the sum of
// the support values along u and -u, each Lipschitz in the angle with the
// constant R, the largest distance of a vertex from the first one (bounded
// here by |dx| + |dy|); so the width along any direction is at least the
// width along the nearest sampled one less R π / K.  The chain holds its
// vertices, and ChainMinMax takes every vertex's projection as an end of the
// segment starting or ending there (every vertex but an open chain's first
// ends a line or an arc), so no extent of the chain is narrower; a margin of
// 1e-9 of the coordinates' size covers the rounding of both projections.
// False, and nothing shown, on any other chain.
bool wide_in_every_direction(const RING_header_s* chain, double limit) {
    constexpr int kDirections = 16;
    constexpr double kRoundingMargin = 1e-9;  // of the coordinates' size
    const RING_node_s* node = chain->first;
    if (!node || !vertex_record(node) || !vertex_record(node)->geometry) return false;
    const double* origin = vertex_record(node)->geometry;
    double lo[kDirections], hi[kDirections], u[kDirections][2];
    for (int k = 0; k < kDirections; ++k) {
        u[k][0] = std::cos(kPi * k / kDirections);
        u[k][1] = std::sin(kPi * k / kDirections);
        lo[k] = hi[k] = 0.0;
    }
    double reach = 0.0, size = std::fabs(origin[0]) + std::fabs(origin[1]);
    const bool closed = is_closed(chain);
    for (int i = 0; i < chain->count && node; ++i, node = node->next) {
        const CHAIN_vertex_data_s* v = vertex_record(node);
        if (!v || !v->geometry) return false;
        const SEGMENT_TYPE type = CHAIN_seg_ask_type(node);
        if (type != SEG_LINE && type != SEG_ARC && (closed || i != 0)) return false;
        const double dx = v->geometry[0] - origin[0], dy = v->geometry[1] - origin[1];
        if (!std::isfinite(dx) || !std::isfinite(dy)) return false;
        reach = std::fmax(reach, std::fabs(dx) + std::fabs(dy));
        size = std::fmax(size, std::fabs(v->geometry[0]) + std::fabs(v->geometry[1]));
        for (int k = 0; k < kDirections; ++k) {
            const double p = dx * u[k][0] + dy * u[k][1];
            lo[k] = std::fmin(lo[k], p);
            hi[k] = std::fmax(hi[k], p);
        }
    }
    const double needed = limit + reach * kPi / kDirections + kRoundingMargin * (size + reach);
    for (int k = 0; k < kDirections; ++k)
        if (!(hi[k] - lo[k] >= needed)) return false;
    return true;
}

}  // namespace

bool CHAIN__tracing_necessarily_collapses(const RING_header_s* source, double offset, double tolerance) {
    if (!source || source->count < 2) return false;
    const double limit = 2.0 * (offset - tolerance);
    // No box narrower than the limit, along any axis: nothing to measure.
    if (merrow1::segment_reads_are_silent() && wide_in_every_direction(source, limit)) return false;
    // The box along an axis is narrower than the limit in either extent.
    auto too_narrow = [&](const double axis[2]) {
        const double normal[2] = {axis[1], -axis[0]};
        double min1, max1, min2, max2;
        if (!ChainMinMax(source, axis, &min1, &max1, nullptr, nullptr) ||
            !ChainMinMax(source, normal, &min2, &max2, nullptr, nullptr))
            return false;
        return max1 - min1 < limit || max2 - min2 < limit;
    };
    const CHAIN_BOX_s* cached = CHAIN_ask_cached_box(source);
    const double default_axis[2] = {0.0, 1.0};
    if (too_narrow(cached ? cached->direction : default_axis)) return true;
    double centroid[2];
    if (CHAIN_chainArea_chainCentroid(source, centroid) == 0.0) return false;
    Korvo::Math::Point2 farthest{centroid[0], centroid[1]};
    CHAIN_maximum_distance_to_chain(source, Korvo::Math::Point2{centroid[0], centroid[1]}, &farthest);
    const double away[2] = {farthest.x - centroid[0], farthest.y - centroid[1]};
    double axis[2], length;
    if (!VEC2_unitize(away, EQ_ask_length_tolerance(), &length, axis)) return false;
    return too_narrow(axis);
}

namespace {

using merrow1::corner_tangents;
using merrow1::walked_corner_type;

}  // namespace

int CHAIN__trace_corner_type(const RING_header_s* source, const RING_node_s* vertex, int* raw) {
    return walked_corner_type(source, vertex, vertex, raw);
}

// ===========================================================================
// Corner handlers

namespace {

// The corner handlers, for a corner that comes in at `entry` (see
// corner_tangents) and goes on along the segment starting at `vertex`.  The
// corner is joined about the entry: across segments that carry no offset the
// outgoing segment is taken as starting there, so that its offset, like the
// incoming one, ends at the offset from the join's centre, and the joins are
// tangent to both as at any corner.  That moves the outgoing offset by no
// more than the length of the segments passed over.

// The source segment the corner goes on along.
bool corner_outgoing(const CHAIN_trace_inputs_s* in, const RING_node_s* entry, const RING_node_s* vertex,
                     Piece* out) {
    if (!outgoing_source(in, vertex, out)) return false;
    if (entry != vertex) out->set_start(point_of(entry));
    return true;
}

void start_of_open_chain(CHAIN_trace_inputs_s* in, RING_node_s* entry, RING_node_s* vertex) {
    Piece source, out;
    bool collapsed;
    if (!corner_outgoing(in, entry, vertex, &source)) return;
    const bool ok = offset_of(in, source, &out, &collapsed);
    const V2 p0 = point_of(in->source->first), pn = point_of(in->source->last);
    V2 t;
    if (in->open_end_caps && dist(p0, pn) > kPointTolerance && ok && tangent_at(source, false, &t)) {
        const Piece cap = arc_piece(p0 - in->offset * t, out.s(), p0, convex_sense(in->side));
        append(in, vertex, cap, true, false, true);
    }
    append_outgoing(in, vertex, out, collapsed);
}

void end_of_open_chain(CHAIN_trace_inputs_s* in, RING_node_s* entry, RING_node_s* vertex) {
    Piece source;
    V2 t;
    if (!in->open_end_caps || in->trace->count < 2 || !corner_incoming(in, entry, &source) ||
        !tangent_at(source, true, &t))
        return;
    const V2 p = point_of(entry);
    const Piece cap = arc_piece(point_of(in->trace->last), p + in->offset * t, p, convex_sense(in->side));
    append(in, vertex, cap, true, false, true);
}

void undefined_corner(CHAIN_trace_inputs_s* in, RING_node_s* entry, RING_node_s* vertex) {
    Piece prev, source, out;
    bool prev_collapsed, collapsed;
    if (!corner_outgoing(in, entry, vertex, &source)) return;
    const bool out_ok = offset_of(in, source, &out, &collapsed);
    const bool have_prev = previous_offset(in, entry, &prev, &prev_collapsed);
    const V2 p = point_of(entry);
    const DIRECTION sense = convex_sense(in->side);
    double t_in[2], t_out[2];
    if (have_prev &&
        corner_tangents(in->source, entry, vertex, t_in, t_out, nullptr, nullptr) == CHAIN_TANGENT_BOTH) {
        const V2 a{-t_in[0], -t_in[1]}, b{t_out[0], t_out[1]};
        if (std::fabs(std::atan2(cross(a, b), dot(a, b))) < kPi / 10.0) {
            // Round the tip: first to the point straight ahead of the vertex.
            const V2 sum = V2{t_in[0], t_in[1]} - b;
            const double length = norm(sum);
            if (length > 0.0) {
                const V2 tip = p + (in->offset / length) * sum;
                const Piece arc = arc_piece(trace_end_or(in, prev), tip, p, sense);
                if (farther_than(arc.s(), tip, CHAIN_COINCIDENT_DISTANCE)) append(in, vertex, arc, true, false, false);
            }
        }
    }
    if (out_ok && (have_prev || in->trace->count > 0)) {
        const V2 from = trace_end_or(in, prev);
        if (farther_than(from, out.s(), CHAIN_COINCIDENT_DISTANCE))
            append(in, vertex, arc_piece(from, out.s(), p, sense), true, false, false);
    }
    append_outgoing(in, vertex, out, collapsed);
}

void concave_corner(CHAIN_trace_inputs_s* in, RING_node_s* entry, RING_node_s* vertex) {
    Piece prev, source, out;
    bool prev_collapsed, collapsed;
    if (!corner_outgoing(in, entry, vertex, &source)) return;
    const bool out_ok = offset_of(in, source, &out, &collapsed);
    if (!out_ok) return;
    const bool have_prev = previous_offset(in, entry, &prev, &prev_collapsed);
    const double tolerance = in->tolerance;
    // 1. The previous piece ends where it meets the outgoing offset.
    if (have_prev) {
        bool found = false;
        V2 x{};
        if (prev.type() == SEG_POINT) {
            x = prev.s();
            found = true;
        } else {
            INT_POINT points;
            if (SegmentIntersectOn(&prev.seg, &out.seg, &points) == 1) {
                x = refine_crossing(prev, out, {points.point[0].x, points.point[0].y});
                found = true;
            } else if (const int n = SEGMENT_intersect(&prev.seg, &out.seg, kFullCurveCrossing, &points); n > 0) {
                // Offsets that miss each other by no more than the tracing
                // tolerance near their ends still meet there.
                int near = 0;
                for (int i = 0; i < n; ++i) {
                    const Korvo::Math::Point2 c{points.point[i].x, points.point[i].y};
                    const LOCATION on_prev = SEGMENT_point_location(&prev.seg, c, tolerance);
                    const LOCATION on_out = SEGMENT_point_location(&out.seg, c, tolerance);
                    if ((on_prev == 3 || on_prev == 4) && (on_out == 2 || on_out == 3)) x = {c.x, c.y}, ++near;
                }
                found = near == 1;
            }
            double at[2];
            if (!found && merrow1::offsets_meet_at_an_end(prev.seg, out.seg, tolerance, at)) {
                x = {at[0], at[1]};
                found = true;
            }
        }
        const LOCATION where = found ? SEGMENT_point_location(&prev.seg, Korvo::Math::Point2{x.x, x.y}, tolerance) : 0;
        if (where == 3 || where == 4) {
            bool moved = true;
            if (in->trace->count > 0) {
                move_last_vertex(in, x);
                moved = !farther_than(point_of(in->trace->last), x, tolerance);
                if (moved && where == 3)
                    debug_note("CHAIN__trace_concave_corner: traced chain -- segment trimmed", in->trace, in->trace->last);
            }
            if (moved) {
                if (farther_than(x, out.e(), tolerance)) {
                    out.set_start(x);
                    if (out.type() == SEG_ARC) out.end.radius = dist(out.c(), out.e());
                    append_outgoing(in, vertex, out, collapsed);
                }
                return;
            }
        }
    }
    // 2. Otherwise a dummy chord may join the two offsets: the line from the
    //    previous one's end back to the outgoing one's start.  Its ends lie
    //    within the offset of the segment ending at the vertex (the outgoing
    //    start at the offset from the vertex itself) and the distance to a
    //    segment is convex, so the chord runs through material, no farther
    //    from the source than the offset, and meets either offset at an
    //    angle.  (An arc about the vertex through the two ends touched both
    //    offsets tangentially, turning back along them: faces of no width at
    //    its ends, which the cleans resolved wrongly after rounding.)
    bool join = false;
    if (in->remove_embedded_loops) {
        join = in->corner_type == CORNER_TYPE_CONCAVE;
        double t_in[2], t_out[2];
        if (join && have_prev && (prev.type() == SEG_ARC || out.type() == SEG_ARC) &&
            corner_tangents(in->source, entry, vertex, t_in, t_out, nullptr, nullptr) == CHAIN_TANGENT_BOTH &&
            t_in[0] * t_out[0] + t_in[1] * t_out[1] >= 0.999999) {
            INT_POINT points;
            if (!prev.real() || SEGMENT_intersect(&prev.seg, &out.seg, tolerance, &points) != 2) join = false;
        }
    } else if (in->corner_type == CORNER_TYPE_CONCAVE) {
        join = true;
    } else if (have_prev) {
        const V2 p = point_of(entry);
        const double c = cross(trace_end_or(in, prev) - p, out.s() - p);
        join = (in->side == RIGHT && c > 0.0) || (in->side == LEFT && c < 0.0);
    }
    if (join && (have_prev || in->trace->count > 0)) {
        const V2 from = trace_end_or(in, prev);
        if (farther_than(from, out.s(), CHAIN_COINCIDENT_DISTANCE))
            append(in, vertex, line_piece(from, out.s()), true, true, false);
    }
    append_outgoing(in, vertex, out, collapsed);
}

// Offsets extended without limit across one line that carries no offset of
// its own still stop at that line's offset where they reach it, as when each
// of its two corners is extended: the meeting point of the extensions (the
// incoming one from e1 along t1 to e1 + s t1, the outgoing one back from s2
// along t2) is cut off by the line's offset when both extensions cross it
// at least the tracing tolerance from their ends and before their meeting
// point.  Then *q1 and *q2 are those crossings.
bool cut_by_passed_line(const CHAIN_trace_inputs_s* in, const RING_node_s* entry, const RING_node_s* vertex, V2 e1,
                        V2 t1, double s, V2 s2, V2 t2, V2* q1, V2* q2) {
    Piece passed;
    if (entry == vertex || entry->next != vertex || !read_segment(in->source, vertex, &passed) ||
        passed.type() != SEG_LINE)
        return false;
    V2 u = passed.e() - passed.s();
    const double length = norm(u);
    if (length <= 0.0) return false;
    u = (1.0 / length) * u;
    // The side the offsets move to, as SEGMENT_offset moves a line.
    const V2 n = in->side == LEFT ? V2{u.y, -u.x} : V2{-u.y, u.x};
    const double level = dot(n, passed.s()) + in->offset;
    const double along_in = dot(n, t1), along_out = dot(n, t2);
    if (along_in == 0.0 || along_out == 0.0) return false;
    const double a = (level - dot(n, e1)) / along_in;
    const double b = (dot(n, s2) - level) / along_out;
    if (!(a >= in->tolerance && a < s && b >= in->tolerance && dot(n, e1 + s * t1) > level)) return false;
    const V2 c1 = e1 + a * t1, c2 = s2 - b * t2;
    if (dot(c2 - c1, u) <= 0.0) return false;
    *q1 = c1, *q2 = c2;
    return true;
}

void convex_corner(CHAIN_trace_inputs_s* in, RING_node_s* entry, RING_node_s* vertex) {
    RING_header_s* trace = in->trace;
    const double d = in->offset, tolerance = in->tolerance;
    const SIDE side = in->side;
    // 1. Whether to extend the offsets to their meeting point.
    bool extend = false;
    const bool excluded = in->extension_mode == 1 &&
                          (!has_there_and_back_mark(vertex) || !has_there_and_back_mark(vertex->next));
    if (in->raw_corner_type != CORNER_TYPE_NONE && !excluded) {
        if (in->corner_control == ALWAYS_EXTEND_TANGENT) {
            in->trace_vertex_kind = CHAIN_TRACE_VERTEX_EXTEND;
            extend = true;
        } else if (in->corner_control == EXTEND_TANGENT) {
            extend = true;
        } else if (in->corner_control == ADD_ARC && in->trace_vertex_cb) {
            const CHAIN_trace_vertex_t answer = in->trace_vertex_cb(in->source, vertex);
            if (answer == CHAIN_TRACE_VERTEX_EXTEND_LIMITED || answer == CHAIN_TRACE_VERTEX_EXTEND) {
                in->trace_vertex_kind = answer;
                extend = true;
            }
        }
    }
    // 2. The two offsets meeting at the corner.
    Piece source_in, source_out, incoming, out;
    bool in_collapsed = false, out_collapsed = false;
    const bool have_source_in = corner_incoming(in, entry, &source_in);
    const bool empty = trace->count < 2;
    bool in_ok;
    if (empty) {
        in_ok = have_source_in && offset_of(in, source_in, &incoming, &in_collapsed);
    } else {
        in_ok = read_segment(trace, trace->last, &incoming) && incoming.real();
        Piece unused;
        if (extend && have_source_in) offset_of(in, source_in, &unused, &in_collapsed);
    }
    if (!corner_outgoing(in, entry, vertex, &source_out) || !offset_of(in, source_out, &out, &out_collapsed)) return;
    const bool last_dummy = !empty && is_dummy(trace->last);
    const V2 p = point_of(entry);
    if (!in_ok || last_dummy || in_collapsed || out_collapsed) {
        // No closing or extension.  The offsets still end and start at the
        // offset from the vertex (a collapsed arc's ends too): the arc about
        // the vertex joins them, so the outgoing offset is not bent to the
        // trace's end.
        if (in_ok || trace->count > 0) {
            const V2 from = empty ? incoming.e() : point_of(trace->last);
            if (farther_than(from, out.s(), CHAIN_COINCIDENT_DISTANCE))
                append(in, vertex, arc_piece(from, out.s(), p, convex_sense(side)), true, false, false);
        }
        append_outgoing(in, vertex, out, out_collapsed);
        return;
    }
    const V2 e1 = empty ? incoming.e() : point_of(trace->last);
    // 3. Closing at the offsets' intersection, as the output parameters ask.
    if (in->output && in->output->close_convex_at_intersection) {
        INT_POINT points;
        const int n = SEGMENT_intersect(&incoming.seg, &out.seg, tolerance, &points);
        if (n == -1) {
            move_last_vertex(in, out.s());
            append_outgoing(in, vertex, out, false);
            return;
        }
        const DIRECTION sense = convex_sense(side);
        const bool senses_fit = (incoming.type() == SEG_LINE || incoming.end.direction == sense) &&
                                (out.type() == SEG_LINE || out.end.direction == sense);
        for (int i = 0; i < n; ++i) {
            const Korvo::Math::Point2 x{points.point[i].x, points.point[i].y};
            const LOCATION l1 = SEGMENT_point_location(&incoming.seg, x, tolerance);
            const LOCATION l2 = SEGMENT_point_location(&out.seg, x, tolerance);
            if ((l1 != 4 && l1 != 5) || (l2 != 2 && l2 != 1)) continue;
            const bool near = std::fabs(dist({x.x, x.y}, p) - d) <= in->output->distance_tolerance;
            if (near || (in->output->accept_intersection && extend && senses_fit)) {
                move_last_vertex(in, {x.x, x.y});
                out.set_start({x.x, x.y});
                append_outgoing(in, vertex, out, false);
                return;
            }
        }
    }
    // 4. Two lines already meeting count as extended.
    if (incoming.type() == SEG_LINE && out.type() == SEG_LINE && nearer_than(e1, out.s(), kMeetingLineEnds)) {
        INT_POINT points;
        if (SEGMENT_intersect(&incoming.seg, &out.seg, tolerance, &points) == 1) {
            const V2 x{points.point[0].x, points.point[0].y};
            if (!farther_than(x, e1, kPointTolerance) && !farther_than(x, out.s(), kPointTolerance)) {
                append_outgoing(in, vertex, out, false);
                return;
            }
        }
    }
    // 5. Extension along the end tangents, chamfered at twice the offset.
    V2 t1, t2;
    if (extend && tangent_at(incoming, true, &t1) && tangent_at(out, false, &t2)) {
        const double turn = cross(t1, t2);
        const double sign = side == LEFT ? 1.0 : -1.0;
        const V2 s2 = out.s();
        const double s = cross(s2 - e1, t2) / turn;
        if (sign * turn >= kExtensionTurn && s >= tolerance) {
            const V2 meet = e1 + s * t1;
            V2 q1 = meet, q2 = meet;
            bool chamfer = false, passed = false;
            if (in->trace_vertex_kind == CHAIN_TRACE_VERTEX_EXTEND) {
                passed = cut_by_passed_line(in, entry, vertex, e1, t1, s, s2, t2, &q1, &q2);
            } else if (dist(meet, p) >= 2.0 * d) {
                const double phi = std::acos(std::fmax(-1.0, std::fmin(1.0, -dot(t1, t2))));
                const double c = std::cos(phi / 2.0);
                if (std::fabs(c) > kChamferCosine) {
                    const double dd = (1.0 - std::sin(phi / 2.0)) * d / c;
                    if (std::fabs(dd) > kChamferInset) {
                        q1 = e1 + dd * t1;
                        q2 = s2 - dd * t2;
                        chamfer = true;
                    }
                }
            }
            if (!empty && incoming.type() == SEG_LINE) {
                move_last_vertex(in, q1);
            } else if (RING_node_s* node = append(in, vertex, line_piece(e1, q1), false, false, false)) {
                if (trace->count == 2 && !in->first_extension_node) {
                    in->first_extension_node = node;
                    in->first_extension_source = vertex;
                }
            }
            if (chamfer || passed) append(in, vertex, line_piece(q1, q2), chamfer, false, false);
            append(in, vertex->next, line_piece(q2, s2), false, false, false);
            append_outgoing(in, vertex, out, false);
            return;
        }
    }
    // 6. An arc about the vertex (split at its middle when it sweeps more
    //    than pi less one degree, as every appended arc is).
    if (farther_than(e1, out.s(), CHAIN_COINCIDENT_DISTANCE))
        append(in, vertex, arc_piece(e1, out.s(), p, convex_sense(side)), true, false, false);
    append_outgoing(in, vertex, out, false);
}

}  // namespace

void CHAIN__trace_start_of_open_chain(CHAIN_trace_inputs_s* in, RING_node_s* vertex) {
    start_of_open_chain(in, vertex, vertex);
}
void CHAIN__trace_end_of_open_chain(CHAIN_trace_inputs_s* in, RING_node_s* vertex) {
    end_of_open_chain(in, vertex, vertex);
}
void CHAIN__trace_undefined_corner(CHAIN_trace_inputs_s* in, RING_node_s* vertex) {
    undefined_corner(in, vertex, vertex);
}
void CHAIN__trace_concave_corner(CHAIN_trace_inputs_s* in, RING_node_s* vertex) { concave_corner(in, vertex, vertex); }
void CHAIN__trace_convex_corner(CHAIN_trace_inputs_s* in, RING_node_s* vertex) { convex_corner(in, vertex, vertex); }

// ===========================================================================
// Appending

RING_node_s* CHAIN__add_segment_to_traced_chain(CHAIN_trace_inputs_s* in, RING_node_s* source_vertex,
                                                const SEGMENT* segment) {
    if (!in || !in->trace || !segment) return nullptr;
    Piece piece = piece_of(*segment);
    if (!piece.real()) return nullptr;
    RING_node_s* node = nullptr;
    in->last_appended = nullptr;
    if (piece.type() == SEG_ARC && !sweeps_under_a_quarter(piece) &&
        std::fabs(merrow1::arc_signed_sweep(piece.seg)) > merrow1::kArcSplitSweep) {
        // Chains hold arcs below a half circle: the two halves go in one by one.
        const V2 mid = arc_mid_point(piece);
        Piece first = arc_piece(piece.s(), mid, piece.c(), piece.end.direction);
        Piece second = arc_piece(mid, piece.e(), piece.c(), piece.end.direction);
        node = append_one(in, source_vertex, first);
        if (node) debug_note("CHAIN__add_segment_to_traced_chain: arc midpoint inserted", in->trace, node);
        if (in->remove_embedded_loops) CHAIN__trace_remove_embedded_tail_loops(in);
        if (RING_node_s* last = append_one(in, source_vertex, second)) node = last;
    } else {
        node = append_one(in, source_vertex, piece);
    }
    // The tail checks may take the new vertex away again.
    in->last_appended = node;
    if (in->remove_embedded_loops) CHAIN__trace_remove_embedded_tail_loops(in);
    return in->last_appended;
}

void CHAIN__trace_remove_embedded_tail_loops(CHAIN_trace_inputs_s* in) {
    RING_header_s* trace = in->trace;
    if (!trace || is_closed(trace) || loop_removal_inactive()) return;
    static const char* const kLabels[] = {nullptr, nullptr,
                                          "CHAIN__trace: traced chain -- fully embedded, 2-segment loop removed",
                                          "CHAIN__trace: traced chain -- fully embedded, 3-segment loop removed",
                                          "CHAIN__trace: traced chain -- fully embedded, 4-segment loop removed"};
    for (int k = 2; k <= 4; ++k) {
        if (trace->count - 1 <= k - 1) break;
        RING_node_s* ends[5];
        ends[k] = trace->last;
        for (int i = k - 1; i >= 0; --i) ends[i] = ends[i + 1]->previous;
        V2 x;
        if (!tail_loop(in, k, ends, &x)) continue;
        for (int i = 2; i < k; ++i) remove_trace_vertex(in, ends[i]);
        const Korvo::Math::Point2 at{x.x, x.y};
        CHAIN_modify_vertex_point(trace, ends[1], &at);
        const V2 moved = point_of(ends[1]);
        if (moved.x != x.x || moved.y != x.y) {
            // The first piece cannot end at the crossing (an arc whose end
            // would fall on its start is left as it was): the crossing lies at
            // that piece's start, so the piece is part of the loop and goes
            // with it, and the crossing becomes the end of the piece before.
            remove_trace_vertex(in, ends[1]);
            CHAIN_modify_vertex_point(trace, ends[0], &at);
            ends[1] = ends[0];
        }
        debug_note(kLabels[k], trace, ends[1]);
        break;
    }
    // A last piece of almost no length goes, its end kept.
    if (trace->count >= 3 && !is_blank(trace->last)) {
        Piece last;
        if (read_segment(trace, trace->last, &last) && SegmentLength(&last.seg) < kNearlyNoLength) {
            const V2 end = last.e();
            remove_trace_vertex(in, trace->last);
            move_last_vertex(in, end);
            debug_note("CHAIN__trace: traced chain -- removed segment with length nearly 0.0", trace, trace->last);
        }
    }
}

// ===========================================================================
// Final embedded-loop removal

RING_header_s* CHAIN__remove_simple_fully_embedded_loops(RING_header_s* trace, double tolerance) {
    if (!trace) return nullptr;
    if (loop_removal_inactive()) return trace;
    bool deleted = false;
    merrow1::run_converting([&] {
        MERROW1_SCRATCH_POOL(pool, "CHAIN-CHAIN__remove_simple_fully_embedded_loops");
        debug_stage("CHAIN__trace: before final embedded loop removal", trace, nullptr, trace, 0.0);
        seam_in_longest_clean_run(trace);
        // Every pass that goes on removes a vertex, so the count bounds the passes.
        for (int previous = INT_MAX; trace->count < previous && trace->count >= 2 && CHAIN_trace_holds_dummy_pieces(trace);) {
            previous = trace->count;
            const PassOutcome outcome = removal_pass(trace, tolerance, pool);
            if (outcome == PassOutcome::Deleted) {
                RING_delete(trace);
                deleted = true;
                return;
            }
            if (outcome == PassOutcome::Stop) break;
        }
        if (trace->count < 2) {
            RING_delete(trace);
            deleted = true;
            return;
        }
        main_of(trace)->direction = CHAIN_direction_of_chain(trace);
        CHAIN_drop_cached_box(trace);
        double axis[2] = {0.0, 1.0};
        ChainBox(trace, axis, nullptr);
        debug_note(CHAIN_trace_holds_dummy_pieces(trace) ? "CHAIN__trace: dummy after final embedded loop removal"
                                                         : "CHAIN__trace: no dummy after final embedded loop removal",
                   trace, nullptr);
    });
    return deleted ? nullptr : trace;
}

// ===========================================================================
// The trace

RING_header_s* CHAIN__trace(RING_header_s* source, double offset, CORNER_CONTROL corner_control, int open_end_caps,
                            CHAIN_trace_vertex_source_cb_t vertex_source_cb, CHAIN_trace_vertex_cb_t trace_vertex_cb,
                            CMEM_pool_s* pool, bool remove_embedded_loops, const CHAIN_traceOutputParams_s* output) {
    MERROW1_REQUIRE(source && main_of(source) && pool, "DUE_TO_INVALID_DATA", nullptr);
    // 1. Entry checks.  NaN fails the comparison, so it is refused too.
    MERROW1_REQUIRE(offset >= 0.0 && std::isfinite(offset), "DUE_TO_TRACING_OFFSET_BEING_NEGATIVE", nullptr);
    MERROW1_REQUIRE(corner_control == BREAK_CORNER || is_valid_corner_control(corner_control),
                    "DUE_TO_INVALID_CORNER_CONTROL", nullptr);
    MERROW1_REQUIRE(source->count >= 2, "DUE_TO_TOO_FEW_VERTICES", nullptr);
    // Broken corners: the stocked walk at the offset with no tool radius.
    if (corner_control == BREAK_CORNER) {
        RING_header_s* stocked = CHAIN_create_from_csys(nullptr, pool);
        if (!stocked) return nullptr;
        try {
            if (CHAIN__stock_general(source, 0.0, offset, nullptr, trace_vertex_cb, BREAK_CORNER, vertex_source_cb,
                                     CHAIN__STOCK_REMOVE_LOOPS, stocked) &&
                stocked->count > 0)
                return stocked;
        } catch (...) {
            RING_delete(stocked);
            throw;
        }
        RING_delete(stocked);
        return nullptr;
    }

    CHAIN_trace_inputs_s in;
    CHAIN__trace_init_inputs(&in, source, nullptr, offset, corner_control, open_end_caps, vertex_source_cb,
                             trace_vertex_cb, remove_embedded_loops, output);
    // 2. A closed source traced inwards that must collapse.
    const CHAIN_main_data_s* md = main_of(source);
    const bool closed = is_closed(source);
    if (closed) {
        const DIRECTION direction = merrow1::stored_or_computed_direction(source, merrow1::StoredDirection::NonZero);
        const bool inwards = (direction == CCW && md->material_side == RIGHT) ||
                             (direction == CW && md->material_side == LEFT);
        if (inwards && CHAIN__tracing_necessarily_collapses(source, offset, in.tolerance)) {
            debug_note("CHAIN__tracing_necessarily_collapses: max-min box of source too small", source, nullptr);
            return nullptr;
        }
    }
    // 3. The traced chain.
    RING_header_s* trace = CHAIN__trace_create_traced_chain(source, pool);
    if (!trace) return nullptr;
    in.trace = trace;
    if (MACH__checking_level >= 1 && CHAIN_ask_chain_debug_status()) {
        char line[80];
        BASE_LISTWIN_write("Inputs To CHAIN__trace:\n");
        std::snprintf(line, sizeof line, "    Offset: %.14f", offset);
        BASE_LISTWIN_write(line);
        std::snprintf(line, sizeof line, "    Corner Control: %s\n", corner_control_name(corner_control));
        BASE_LISTWIN_write(line);
    }
    debug_stage("CHAIN__trace: source chain -- input", source, nullptr, trace, offset);
    try {
        // 4. The walk over the source vertices.  A run of segments that
        //    carry no offset of their own is one corner, handled at the
        //    vertex ending the run, from the segment entering the run (at
        //    the entry) to the one leaving it.
        RING_node_s* vertex = const_cast<RING_node_s*>(walk_start_of(&in));
        RING_node_s* entry = nullptr;
        const bool join_across = joins_across(&in);
        for (int i = 0; i < source->count && vertex; ++i, vertex = vertex->next) {
            if (!entry) entry = vertex;
            if (join_across && corner_joined_beyond(&in, vertex)) continue;
            in.trace_vertex_kind = 0;
            int raw = 0;
            in.corner_type = walked_corner_type(source, entry, vertex, &raw);
            in.raw_corner_type = raw;
            switch (in.corner_type) {
            case CORNER_TYPE_NONE: undefined_corner(&in, entry, vertex); break;
            case CORNER_TYPE_START: start_of_open_chain(&in, entry, vertex); break;
            case CORNER_TYPE_END: end_of_open_chain(&in, entry, vertex); break;
            case CORNER_TYPE_CONCAVE:
            case CORNER_TYPE_SMOOTH: concave_corner(&in, entry, vertex); break;
            case CORNER_TYPE_CONVEX: convex_corner(&in, entry, vertex); break;
            default: MERROW1_NOTE_FAILURE("DUE_TO_UNRECOGNIZED_CORNER_TYPE"); break;
            }
            entry = nullptr;
            debug_stage("CHAIN__trace", source, vertex, trace, offset);
        }
        // 5. Nothing real: no trace.
        if (!trace_is_real(trace)) {
            RING_delete(trace);
            return nullptr;
        }
        if (closed) close_trace(&in);
        const V2 start_before = point_of(trace->first);
        if (remove_embedded_loops && CHAIN_trace_holds_dummy_pieces(trace)) {
            RING_header_s* kept = CHAIN__remove_simple_fully_embedded_loops(trace, in.tolerance);
            if (!kept) {
                trace = nullptr;
                return nullptr;
            }
        }
        if (!trace_is_real(trace)) {
            RING_delete(trace);
            return nullptr;
        }
        if (is_closed(trace) && dist(point_of(trace->first), start_before) > kPointTolerance)
            restart_at(trace, nearest_vertex(trace, start_before));
        debug_stage("CHAIN__trace: traced chain -- output", source, nullptr, trace, offset);
        return trace;
    } catch (...) {
        if (trace) RING_delete(trace);
        throw;
    }
}

RING_header_s* CHAIN__offset_trace(RING_header_s* source, double offset, CORNER_CONTROL corner_control,
                                   int open_end_caps, CHAIN_trace_vertex_source_cb_t vertex_source_cb,
                                   CHAIN_trace_vertex_cb_t trace_vertex_cb, CMEM_pool_s* pool,
                                   bool remove_embedded_loops) {
    auto trace = [&](RING_header_s* from, double distance) {
        return CHAIN__trace(from, distance, corner_control, open_end_caps, vertex_source_cb, trace_vertex_cb, pool,
                            remove_embedded_loops, nullptr);
    };
    RING_header_s* first = trace(source, offset);
    if (!first || !is_valid_corner_control(corner_control) || !is_closed(source) ||
        !CHAIN_trace_holds_dummy_pieces(first))
        return first;
    // Two half steps, each tracing the one before.
    if (RING_header_s* half = trace(source, offset / 2.0); half && !CHAIN_trace_holds_dummy_pieces(half)) {
        RING_header_s* second = trace(half, offset / 2.0);
        if (second && !CHAIN_trace_holds_dummy_pieces(second)) return second;
    }
    // Four quarter steps.
    RING_header_s* step = source;
    for (int i = 0; i < 4; ++i) {
        step = trace(step, offset / 4.0);
        if (!step || CHAIN_trace_holds_dummy_pieces(step)) return first;
    }
    return step;
}

// ===========================================================================
// Disposal and constant stock

namespace {

using merrow1::for_each_chain;

template <class Fn>
void for_each_vertex(RING_header_s* chain, Fn fn) {
    RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) fn(node);
}

// Removes an owned record of a vertex and frees it.
void drop_owned(RING_header_s* chain, RING_node_s* node, APP_DATA_key_t key) {
    void* data = APP_DATA__ask_app_data(node->app_data, key);
    if (!data) return;
    RING_delete_app_data_of_node(chain, node, key);
    CMEM_private_delete_object(data);
}

}  // namespace

bool CHAIN__delete_traced_chain(const RING_header_s* result, const RING_header_s* trace) {
    if (!trace) return false;
    RING_header_s* traced = const_cast<RING_header_s*>(trace);
    if (result) {
        RING_header_s* source = static_cast<RING_header_s*>(APP_DATA__ask_app_data(trace->app_data, APP_DATA_STOCKED_FROM));
        for_each_chain(const_cast<RING_header_s*>(result), [&](RING_header_s* chain) {
            if (!chain->main_data) return;
            for_each_vertex(chain, [&](RING_node_s* node) {
                auto* link = static_cast<CHAIN_source_chain_source_vertex_s*>(
                    APP_DATA__ask_app_data(node->app_data, APP_DATA_SOURCE_VERTEX));
                if (!link || link->source_chain != trace) return;
                const CHAIN_source_chain_source_vertex_s* own = source_link(link->source_vertex);
                auto* segment = static_cast<CHAIN_source_segment_s*>(
                    APP_DATA__ask_app_data(node->app_data, APP_DATA_SOURCE_SEGMENT));
                if (own) {
                    if (segment) {
                        segment->source_chain = own->source_chain;
                        segment->source_vertex = own->source_vertex;
                    }
                    *link = *own;
                } else {
                    drop_owned(chain, node, APP_DATA_SOURCE_SEGMENT);
                    drop_owned(chain, node, APP_DATA_SOURCE_VERTEX);
                }
            });
            RING_put_header_app_data(chain, APP_DATA_STOCKED_FROM, source);
        });
    }
    if (main_of(trace) && main_of(trace)->kind == OFFSET_CHAIN) {
        for_each_vertex(traced, [&](RING_node_s* node) { drop_owned(traced, node, CHAIN_APP_DATA_TRACE_VERTEX); });
        return false;
    }
    return true;
}

bool CHAIN__stock_data_function_is_effectively_NULL(const RING_header_s* chain, CHAIN_stock_data_cb_t callback,
                                                    double* stock, CHAIN_tool_position_t* position) {
    if (!callback || !chain || !chain->first || !stock || !position) return false;
    if (*position != 0 && *position != 1) return false;
    if (!std::isfinite(*stock)) return false;
    const double tolerance = EQ_ask_length_tolerance();
    const int segments = is_closed(chain) ? chain->count : chain->count - 1;
    bool have_reference = false;
    double reference = 0.0;
    CHAIN_tool_position_t reference_position = 0;
    const RING_node_s* node = chain->first->next;
    for (int k = 1; k <= segments && node; ++k, node = node->next) {
        double first = *stock, second = *stock;
        CHAIN_tool_position_t at = *position;
        if (!callback(chain, node, &first, &second, &at)) return false;
        if (!std::isfinite(first) || !std::isfinite(second)) return false;
        if (!have_reference) {
            have_reference = true;
            reference = first;
            reference_position = at;
            if (reference_position != 0 && reference_position != 1) return false;
        }
        if (std::fabs(first - reference) > tolerance || std::fabs(second - reference) > tolerance ||
            at != reference_position)
            return false;
    }
    if (have_reference) {
        *stock = reference;
        *position = reference_position;
    }
    return true;
}
