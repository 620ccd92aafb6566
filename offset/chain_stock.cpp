// Stocked chains: the tool-centre path around a chain whose segments carry
// their own stocks.
//
// The walk (CHAIN__stock_general):
//   1. Refuse bad input (no chain, no output, NaN or infinite radius or stock)
//      and set the output up as an empty TRACE_CHAIN copy of the source.
//   2. An open chain whose first (last) segment is swallowed by the next
//      (previous) segment's stock leaves that segment out of the walk; the
//      caller's chain is not touched.
//   3. Every source segment is moved away from the material by its stocks
//      (the stocked segment); at each vertex a corner handler appends the
//      pieces leading from the previous stocked segment to the current one.
//   4. Results of only dummy pieces or of one vertex are emptied unless the
//      options keep them; small embedded loops are removed; a closed source
//      gives a closed result.
#include <merrow1/chain_stock.h>

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_direction.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_source.h>
#include <merrow1/segment.h>
#include <merrow1/segment_intersection.h>

#include <quorn/quorn.h>
#include <stend/system.h>
#include <velte/cmem.h>
#include <velte/listwin.h>
#include <velte/ring.h>

#include "chain/chain_record.h"
#include "chain/chain_readings.h"
#include "internal/check.h"
#include "internal/tolerances.h"
#include "internal/vec2.h"
#include "offset_join.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr double kSamePoint2 = 1e-16;           // squared distance of coinciding points
// A rounded join of two lines needs 1 - c and 1 + c, c the dot of their
// directions, at least this: neither running on nor reversed.
constexpr double kRoundedJoinTurn = 1e-10;
// A chain stocked on both sides is closed at this gap, finer than the
// library's closing gap.
constexpr double kBothSidesCloseTolerance = 1e-10;
// End caps: lengths below this are zero, and radii within it of a distance
// reach it.
constexpr double kCapLength = 1e-10;
constexpr double kDifferentStockLimit = 2.61312592975275;  // 1 / sin(22.5 degrees)
constexpr int kQueryListInputs = 12;
constexpr int kQueryLoopRemoval = 42;

// ---------------------------------------------------------------------------
// Small geometry

struct V2 {
    double x, y;
};
V2 operator+(V2 a, V2 b) { return {a.x + b.x, a.y + b.y}; }
V2 operator-(V2 a, V2 b) { return {a.x - b.x, a.y - b.y}; }
V2 operator*(double s, V2 a) { return {s * a.x, s * a.y}; }
using merrow1::dot;
double norm(V2 a) { return std::hypot(a.x, a.y); }
double dist2(V2 a, V2 b) { return dot(a - b, a - b); }
bool same(V2 a, V2 b) { return dist2(a, b) <= kSamePoint2; }
V2 unit(V2 a) {
    const double l = norm(a);
    return l > 0.0 ? (1.0 / l) * a : V2{0.0, 0.0};
}

using Piece = CHAIN__stock_piece_s;

V2 start_of(const Piece& p) { return {p.start[0], p.start[1]}; }
V2 end_of(const Piece& p) { return {p.end.x, p.end.y}; }
V2 centre_of(const Piece& p) { return {p.end.cx, p.end.cy}; }
bool real(const Piece& p) { return p.type == SEG_LINE || p.type == SEG_ARC; }

// A SEGMENT view of a piece (valid while the piece lives).
SEGMENT view(const Piece& p) {
    SEGMENT s;
    s.start = const_cast<double*>(p.start);
    s.end = const_cast<end_segment*>(&p.end);
    s.app_data = nullptr;
    s.type = p.type;
    return s;
}
SEGMENT view(Piece& p) {
    SEGMENT s;
    s.start = p.start;
    s.end = &p.end;
    s.app_data = nullptr;
    s.type = p.type;
    return s;
}

Piece point_piece(V2 a) {
    Piece p{};
    p.start[0] = a.x, p.start[1] = a.y;
    p.end.x = a.x, p.end.y = a.y;
    p.type = SEG_POINT;
    return p;
}
Piece line_piece(V2 a, V2 b) {
    Piece p = point_piece(a);
    p.end.x = b.x, p.end.y = b.y;
    p.type = SEG_LINE;
    return p;
}
// An arc about the centre from a to b in the given sense; false when it
// cannot be built (ends or centre coinciding).
bool arc_piece(V2 a, V2 b, V2 centre, DIRECTION direction, Piece* out) {
    Piece p = line_piece(a, b);
    SEGMENT s = view(p);
    const double c[2] = {centre.x, centre.y};
    const double e[2] = {b.x, b.y};
    if (dist2(a, centre) <= kSamePoint2) return false;
    if (!SegmentUpdate(&s, SEG_ARC, p.start, e, c, nullptr, &direction) || s.type != SEG_ARC) return false;
    p.type = SEG_ARC;
    *out = p;
    return true;
}

Piece piece_of(const SEGMENT& s) {
    Piece p{};
    p.start[0] = s.start[0], p.start[1] = s.start[1];
    if (s.type == SEG_ARC) {
        p.end = *s.end;
    } else {
        const double* e = reinterpret_cast<const double*>(s.end);
        p.end.x = e[0], p.end.y = e[1];
    }
    p.type = s.type;
    return p;
}

// Unit tangent of a piece at its start or end; (0, 0) when it has none.
V2 tangent(const Piece& p, bool at_end) {
    if (!real(p)) return {0.0, 0.0};
    SEGMENT s = view(p);
    double where[2] = {at_end ? p.end.x : p.start[0], at_end ? p.end.y : p.start[1]};
    double t[2];
    if (!SegmentTangent(&s, where, t)) return {0.0, 0.0};
    return {t[0], t[1]};
}

// The unit normal pointing away from the material at a tangent.
V2 away_normal(V2 t, SIDE side) { return side == LEFT ? V2{t.y, -t.x} : V2{-t.y, t.x}; }

// ---------------------------------------------------------------------------
// Chain access

using merrow1::arc_of;
using merrow1::is_closed;
using merrow1::main_of;
using merrow1::vertex_record;
// The vertex's point as a V2.
V2 point_of(const RING_node_s* node) {
    const double* g = merrow1::point_of(node);
    return {g[0], g[1]};
}
SEGMENT_TYPE type_of(const RING_node_s* node) {
    return static_cast<SEGMENT_TYPE>(static_cast<int>(vertex_record(node)->flags & 3u) - 1);
}
CHAIN_trace_vertex_data_s* record_of(const RING_node_s* node) { return CHAIN_ask_trace_vertex_data(node); }

bool read_piece(const RING_header_s* chain, const RING_node_s* node, Piece* out) {
    SEGMENT s;
    if (!node || !ChainSegment(chain, node, &s)) return false;
    *out = piece_of(s);
    return true;
}

void empty_chain(RING_header_s* chain) {
    RING_delete_all_nodes(chain);
    CHAIN_drop_cached_box(chain);
}

// ---------------------------------------------------------------------------
// Debug reports

bool debug_on() { return MACH__checking_level >= 1 && CHAIN_ask_chain_debug_status(); }

int debug_query(int code) { return CHAIN_debug_query(code); }

void report(const char* label, RING_header_s* chain) { CHAIN_debug_report(3, label, chain, nullptr); }

// One appended vertex: "<handler>: <step>" with the stocked chain, and the
// corner with its stock.
void report_append(const char* handler, int step, CHAIN__stock_walk_s* walk, RING_node_s* node, double stock) {
    if (!debug_on()) return;
    char label[96];
    std::snprintf(label, sizeof label, "%s: %d", handler, step);
    CHAIN_debug_function_data_t data = {};
    data.request = 1;
    data.code = 3;
    data.label = label;
    data.chain = walk->stocked;
    data.vertex = node;
    data.pointer_value = walk->vertex;
    data.double_value = stock;
    CHAIN_debug_function_interface(&data);
}

bool loop_removal_inactive() {
    if (!debug_query(kQueryLoopRemoval)) return false;
    std::printf("Embedded Loop Removal: inactive\n");
    std::fflush(stdout);
    return true;
}

// ---------------------------------------------------------------------------
// Appending

// The fields of a trace vertex record a handler sets.
struct Marks {
    double stock = 0.0;
    int side = -1;  // -1: the walk's side
    bool dummy = false, vertex_piece = false, open_end = false, full_circle = false, step_high = false;
    int step_sense = 0;
    int corner_type = 0;
    bool record = true;  // false: the vertex gets no trace vertex record
};

// A chain closed back along itself for an open chain's offset carries the
// there-and-back record (extension mode 1) on its header and on the vertices
// that end its forward segments.  The pieces stocked from a forward segment,
// and the corner pieces between two forward segments, get the vertex mark
// 0x20000, as traced pieces do, so that the open road keeps the forward side.
constexpr unsigned kMarkThereAndBack = 0x20000u;
bool there_and_back_marked(const RING_node_s* node) {
    return node && APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_THERE_AND_BACK);
}
bool closed_there_and_back(const RING_header_s* chain) {
    const int* words = static_cast<const int*>(APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_THERE_AND_BACK));
    return words && words[0] == 1;
}

void decorate(CHAIN__stock_walk_s* walk, RING_node_s* node, RING_node_s* source_vertex, const Marks& m,
              bool corner_piece) {
    RING_header_s* out = walk->stocked;
    if (m.record) {
        auto* r = CMEM_NEW(out->pool, CHAIN_trace_vertex_data_s);
        if (r) {
            std::memset(r, 0, sizeof *r);
            r->offset = m.stock;
            r->material_side = m.side < 0 ? walk->side : m.side;
            r->dummy = m.dummy;
            r->vertex_piece = m.vertex_piece;
            r->blank = m.open_end;
            r->full_circle = m.full_circle;
            r->step_high = m.step_high;
            r->step_sense = m.step_sense;
            r->corner_type = m.corner_type;
            RING_put_node_app_data(out, node, CHAIN_APP_DATA_TRACE_VERTEX, r);
        }
    }
    if (closed_there_and_back(walk->source) && there_and_back_marked(source_vertex) &&
        (!corner_piece || there_and_back_marked(source_vertex->next)))
        vertex_record(node)->flags |= kMarkThereAndBack;
    if (walk->vertex_source_cb) walk->vertex_source_cb(walk->source, source_vertex, corner_piece, out, node);
    CHAIN_assign_source_chain_source_vertex_pc_data(walk->source, source_vertex, m.record && m.vertex_piece,
                                                    out->pool, node);
}

// Appends the end of a piece with its type (a point on an empty chain; a
// bare point after the first vertex becomes a line).
RING_node_s* append_end(CHAIN__stock_walk_s* walk, const Piece& p, const Marks& m, bool corner_piece,
                        const char* handler, int step, RING_node_s* source_vertex = nullptr) {
    RING_header_s* out = walk->stocked;
    end_segment e = p.end;
    SEGMENT_TYPE type = p.type;
    RING_node_s* node = nullptr;
    if (out->count == 0) {
        node = ChainAddVertex(out, &e, SEG_POINT);
    } else {
        if (type != SEG_ARC) type = SEG_LINE;
        if (type == SEG_ARC && !same(point_of(out->last), start_of(p))) {
            // An arc that does not start at the chain's end: keep its centre
            // and sense, its radius follows the new start.
            e.radius = norm(end_of(p) - centre_of(p));
        }
        node = ChainAppendVertex(out, &e, type);
    }
    if (!node) return nullptr;
    decorate(walk, node, source_vertex ? source_vertex : walk->vertex, m, corner_piece);
    report_append(handler, step, walk, node, m.stock);
    return node;
}

RING_node_s* append_point(CHAIN__stock_walk_s* walk, V2 at, const Marks& m, bool corner_piece, const char* handler,
                          int step) {
    if (walk->stocked->count == 0) return append_end(walk, point_piece(at), m, corner_piece, handler, step);
    return append_end(walk, line_piece(point_of(walk->stocked->last), at), m, corner_piece, handler, step);
}

// The corner's points and directions.
struct Corner {
    V2 v, p1, p2, t1, t2;
    double r1, r2;
};
Corner corner_of(const CHAIN__stock_walk_s* walk) {
    Corner c;
    c.v = start_of(walk->cur_source);
    if (walk->vertex) c.v = point_of(walk->vertex);
    c.p1 = end_of(walk->prev_copy);
    c.p2 = start_of(walk->cur_copy);
    c.t1 = tangent(walk->prev_source, true);
    c.t2 = tangent(walk->cur_source, false);
    c.r1 = walk->prev_end_stock;
    c.r2 = walk->cur_start_stock;
    return c;
}

bool stocks_differ(const CHAIN__stock_walk_s* walk) {
    return std::fabs(walk->cur_start_stock - walk->prev_end_stock) > walk->tolerance;
}

Marks marks(double stock, int corner_type) {
    Marks m;
    m.stock = stock;
    m.corner_type = corner_type;
    return m;
}

// The previous stocked segment's end, as the previous side's last piece.
RING_node_s* append_p1(CHAIN__stock_walk_s* walk, int corner_type, const char* handler, int step) {
    Marks m = marks(walk->prev_end_stock, corner_type);
    m.dummy = walk->prev_failed;
    return append_end(walk, walk->prev_copy, m, false, handler, step);
}

// The corner's bisector angle and whether the bisector points against d.
bool bisector_against(const CHAIN__stock_walk_s* walk, V2 d) {
    double b[2] = {0.0, 0.0}, angle = 0.0;
    if (!walk->vertex || !ChainVertexBiSector(walk->source, walk->vertex, b, &angle)) return false;
    return dot({b[0], b[1]}, d) < 0.0;
}

}  // namespace

// ===========================================================================
// Stocked segments

int CHAIN__stock_segment(const CHAIN__stock_piece_s* source, double start_stock, double end_stock, SIDE side,
                         double tolerance, CHAIN__stock_piece_s* stocked, CHAIN__stock_piece_s* copy) {
    const Piece& s = *source;
    // A failed segment leaves a point at the offset of its end.
    auto fail = [&]() {
        V2 t = tangent(s, true);
        *stocked = point_piece(end_of(s) + end_stock * away_normal(t, side));
        *copy = *stocked;
        return 0;
    };
    if (s.type == SEG_LINE) {
        const V2 a = start_of(s), b = end_of(s);
        if (dist2(a, b) <= 0.0) {
            MERROW1_NOTE_FAILURE("DUE_TO_SEGMENT_LENGTH_BEING_ZERO");
            return fail();
        }
        const V2 n = away_normal(unit(b - a), side);
        *stocked = line_piece(a + start_stock * n, b + end_stock * n);
        if (std::fabs(start_stock - end_stock) <= tolerance) {
            SEGMENT in = view(s);
            Piece out{};
            SEGMENT o = view(out);
            bool collapsed = false;
            if (SEGMENT_offset(&in, start_stock, side, &collapsed, &o) && o.type == SEG_LINE) {
                out.type = o.type;
                *stocked = out;
            }
        }
        *copy = *stocked;
        return 1;
    }
    if (s.type == SEG_ARC) {
        SEGMENT in = view(s);
        Piece out{};
        SEGMENT o = view(out);
        bool collapsed = false;
        if (!SEGMENT_offset(&in, start_stock, side, &collapsed, &o) || collapsed || o.type != SEG_ARC) return fail();
        out.type = SEG_ARC;
        out.end.direction = s.end.direction;
        *stocked = out;
        *copy = out;
        return 1;
    }
    return fail();
}

// ===========================================================================
// Corner handlers

int CHAIN__process_add_arc(CHAIN__stock_walk_s* walk, int kind) {
    static const char* kName = "CHAIN__process_add_arc";
    const Corner c = corner_of(walk);
    append_p1(walk, kind, kName, 1);
    if (same(c.p1, c.p2)) return 1;
    Marks m = marks(c.r2, kind);
    m.vertex_piece = true;
    if (kind == CORNER_TYPE_CONCAVE) {
        // Stocked segments that miss each other at a concave corner: a dummy
        // chord back from P1 to P2, as the tracer joins such offsets.
        m.dummy = true;
        append_end(walk, line_piece(c.p1, c.p2), m, true, kName, 2);
        return 1;
    }
    const DIRECTION direction = (c.r1 > 0.0 && c.r2 > 0.0) == (walk->side == RIGHT) ? CW : CCW;
    Piece arc;
    if (!arc_piece(c.p1, c.p2, c.v, direction, &arc)) return 0;
    append_end(walk, arc, m, true, kName, 2);
    return 1;
}

int CHAIN__process_tangent_corner(CHAIN__stock_walk_s* walk) {
    if (stocks_differ(walk)) return 0;
    append_p1(walk, CORNER_TYPE_SMOOTH, "CHAIN__process_tangent_corner", 1);
    return 1;
}

int CHAIN__process_undefined_corner(CHAIN__stock_walk_s* walk) {
    static const char* kName = "CHAIN__process_undefined_corner";
    if (stocks_differ(walk)) return CHAIN__process_extend_one_tan(walk);
    const Corner c = corner_of(walk);
    append_p1(walk, CORNER_TYPE_SMOOTH, kName, 1);
    const V2 mid = c.v + c.r2 * c.t1;
    Marks m = marks(c.r2, CORNER_TYPE_NONE);
    m.vertex_piece = true;
    m.dummy = bisector_against(walk, c.t1);
    // Two half circles about the corner: from P1 over the point ahead of the
    // corner to P2, each the short way.
    auto half = [&](V2 a, V2 b, int step) {
        if (same(a, b)) return;
        const V2 u = a - c.v, w = b - c.v;
        const DIRECTION d = u.x * w.y - u.y * w.x >= 0.0 ? CCW : CW;
        Piece arc;
        if (arc_piece(a, b, c.v, d, &arc)) append_end(walk, arc, m, true, kName, step);
    };
    half(c.p1, mid, 2);
    half(mid, c.p2, 3);
    return 1;
}

int CHAIN__process_extend_one_tan(CHAIN__stock_walk_s* walk) {
    static const char* kName = "CHAIN__process_extend_one_tan";
    const Corner c = corner_of(walk);
    if (!(c.r1 >= 0.0 && c.r2 >= 0.0)) return 0;
    append_p1(walk, CORNER_TYPE_SMOOTH, kName, 1);
    const double big = std::fmax(c.r1, c.r2), small = std::fmin(c.r1, c.r2);
    const double l = std::sqrt(std::fmax(big * big - small * small, 0.0));
    const bool grows = c.r2 > c.r1;
    const V2 e = grows ? c.p1 + l * c.t1 : c.p2 - l * c.t2;
    const V2 target = grows ? c.p2 : c.p1;
    const V2 test = grows ? c.t1 : -1.0 * c.t2;
    const bool via_q = dist2(e, target) > 3.0 * big * big;
    const V2 q = grows ? c.v - c.r2 * c.t2 : c.v + c.r1 * c.t1;
    const DIRECTION d = walk->side == LEFT ? CCW : CW;
    Marks first = marks(c.r1, CORNER_TYPE_NONE), middle = marks(big, CORNER_TYPE_NONE),
          last = marks(c.r2, CORNER_TYPE_NONE);
    for (Marks* m : {&first, &middle, &last}) {
        m->vertex_piece = true;
        m->dummy = bisector_against(walk, test);
    }
    int step = 2;
    auto arc_to = [&](V2 a, V2 b, const Marks& m) {
        Piece arc;
        if (same(a, b)) return;
        if (arc_piece(a, b, c.v, d, &arc)) append_end(walk, arc, m, true, kName, step++);
        else append_end(walk, line_piece(a, b), m, true, kName, step++);
    };
    if (grows) {
        append_end(walk, line_piece(c.p1, e), first, true, kName, step++);
        if (via_q) {
            arc_to(e, q, middle);
            arc_to(q, c.p2, last);
        } else {
            arc_to(e, c.p2, last);
        }
    } else {
        if (via_q) {
            arc_to(c.p1, q, first);
            arc_to(q, e, middle);
        } else {
            arc_to(c.p1, e, first);
        }
        append_end(walk, line_piece(e, c.p2), last, true, kName, step++);
    }
    return 1;
}

int CHAIN__process_convex_corner(CHAIN__stock_walk_s* walk, CORNER_CONTROL control) {
    if (stocks_differ(walk)) return CHAIN__process_extend_tangents(walk, CORNER_TYPE_CONVEX, control);
    if (control == EXTEND_TANGENT)
        return CHAIN__process_extend_tangents(walk, CORNER_TYPE_CONVEX, EXTEND_TANGENT) ||
               CHAIN__process_add_arc(walk, CORNER_TYPE_CONVEX);
    if (control == BREAK_CORNER)
        return CHAIN__process_break_corner(walk) || CHAIN__process_add_arc(walk, CORNER_TYPE_CONVEX);
    return CHAIN__process_add_arc(walk, CORNER_TYPE_CONVEX);
}

int CHAIN__process_concave_corner(CHAIN__stock_walk_s* walk, CORNER_CONTROL control) {
    SEGMENT a = view(walk->prev_copy), b = view(walk->cur_copy);
    INT_POINT points;
    const bool both_real = real(walk->prev_copy) && real(walk->cur_copy);
    const int n = both_real ? SegmentIntersectOn(&a, &b, &points) : 0;
    V2 x{};
    if (n == 1 || n == 2) {
        const int pick = n == 2 && points.point[1].param2 <= points.point[0].param2 ? 1 : 0;
        x = {points.point[pick].x, points.point[pick].y};
    } else {
        // Equal stocks that run together where they do not cross meet there.
        double at[2];
        if (!both_real || stocks_differ(walk) || !merrow1::offsets_meet_at_an_end(a, b, walk->tolerance, at)) {
            if (stocks_differ(walk)) return CHAIN__process_extend_tangents(walk, CORNER_TYPE_CONCAVE, control);
            return CHAIN__process_add_arc(walk, CORNER_TYPE_CONCAVE);
        }
        x = {at[0], at[1]};
    }
    walk->cur_copy.start[0] = x.x, walk->cur_copy.start[1] = x.y;
    walk->prev_copy.end.x = x.x, walk->prev_copy.end.y = x.y;
    append_p1(walk, CORNER_TYPE_CONCAVE, "CHAIN__process_concave_corner", 1);
    return 1;
}

int CHAIN__process_break_corner(CHAIN__stock_walk_s* walk) {
    static const char* kName = "CHAIN__process_break_corner";
    Corner c = corner_of(walk);
    // Tangents of the stocked segments themselves where they have them.
    if (real(walk->prev_stocked)) c.t1 = tangent(walk->prev_stocked, true);
    if (real(walk->cur_stocked)) c.t2 = tangent(walk->cur_stocked, false);
    Marks none;
    none.record = false;
    if (same(c.p1, c.p2)) {
        append_end(walk, walk->prev_copy, none, false, kName, 1);
        return 1;
    }
    const V2 u = unit(c.p1 - c.p2);
    const double r1 = c.r1;
    const bool right_hand = (walk->side == RIGHT && r1 > 0.0) || (walk->side == LEFT && r1 < 0.0);
    const V2 n = right_hand ? V2{u.y, -u.x} : V2{-u.y, u.x};
    const V2 b = c.v + std::fabs(r1) * n;
    // X1 and X2: where the break line meets the two stocked segments carried
    // on along their tangents, each ahead of both starts.
    const double bb[2] = {b.x, b.y}, along[2] = {u.x, u.y}, back[2] = {-u.x, -u.y};
    const double q1[2] = {c.p1.x, c.p1.y}, d1[2] = {c.t1.x, c.t1.y};
    const double q2[2] = {c.p2.x, c.p2.y}, d2[2] = {-c.t2.x, -c.t2.y};
    double a1[2], a2[2];
    if (!VEC2_intersection(bb, along, q1, d1, a1) || !VEC2_intersection(bb, back, q2, d2, a2)) return 0;
    const V2 x1{a1[0], a1[1]}, x2{a2[0], a2[1]};
    if (walk->prev_stocked.type == SEG_ARC)
        append_end(walk, walk->prev_copy, none, false, kName, 1);
    append_point(walk, x1, none, true, kName, 2);
    append_point(walk, x2, none, true, kName, 3);
    if (walk->cur_stocked.type != SEG_LINE) append_point(walk, c.p2, none, true, kName, 4);
    return 1;
}

int CHAIN__process_extend_with_dummy(CHAIN__stock_walk_s* walk) {
    static const char* kName = "CHAIN__process_extend_with_dummy";
    const Corner c = corner_of(walk);
    const bool grows = std::fabs(c.r2) > std::fabs(c.r1) - walk->tolerance;
    Marks first = marks(c.r1, CORNER_TYPE_NONE);
    first.dummy = walk->prev_failed;
    first.step_high = !grows;
    first.step_sense = grows ? -1 : 1;
    append_end(walk, walk->prev_copy, first, false, kName, 1);
    Marks step = marks(c.r2, CORNER_TYPE_NONE);
    step.side = 0;
    step.dummy = true;
    step.step_high = grows;
    step.step_sense = first.step_sense;
    append_point(walk, c.p2, step, true, kName, 2);
    return 1;
}

int CHAIN__full_circle_arcs(const double start[2], const double centre[2], DIRECTION direction, double tolerance,
                            CHAIN__stock_piece_s arcs[3]) {
    const V2 s{start[0], start[1]}, v{centre[0], centre[1]};
    const V2 r = s - v;
    if (norm(r) <= tolerance) return 0;
    const double turn = (direction == CW ? -2.0 : 2.0) * merrow1::kPi / 3.0;
    V2 points[4];
    for (int k = 0; k < 3; ++k) {
        const double a = turn * k;
        points[k] = v + V2{std::cos(a) * r.x - std::sin(a) * r.y, std::sin(a) * r.x + std::cos(a) * r.y};
    }
    points[3] = s;
    for (int k = 0; k < 3; ++k)
        if (!arc_piece(points[k], points[k + 1], v, direction, &arcs[k])) return 0;
    return 1;
}

int CHAIN__process_add_full_circle(CHAIN__stock_walk_s* walk) {
    static const char* kName = "CHAIN__process_add_full_circle";
    const Corner c = corner_of(walk);
    const bool grows = std::fabs(c.r2) > std::fabs(c.r1) - walk->tolerance;
    const DIRECTION d = walk->side == RIGHT ? CW : CCW;
    const int sense = grows ? -1 : 1;
    const bool short_before = walk->stocked->count < 2;
    Marks first = marks(c.r1, CORNER_TYPE_NONE);
    first.dummy = walk->prev_failed;
    first.step_sense = sense;
    append_end(walk, walk->prev_copy, first, false, kName, 1);
    V2 through = c.p1;
    if (grows) {
        Marks m = marks(c.r2, CORNER_TYPE_NONE);
        m.side = 0;
        m.open_end = short_before;
        m.step_sense = sense;
        append_point(walk, c.p2, m, true, kName, 2);
        through = c.p2;
    }
    Piece arcs[3];
    const double s[2] = {through.x, through.y}, v[2] = {c.v.x, c.v.y};
    if (CHAIN__full_circle_arcs(s, v, d, walk->tolerance, arcs)) {
        // The vertex before the first arc (an end that fell on the chain's
        // last vertex merged into it) is the step's high side.
        if (CHAIN_trace_vertex_data_s* r = record_of(walk->stocked->last)) r->step_high = 1;
        Marks m = marks(grows ? c.r2 : c.r1, CORNER_TYPE_NONE);
        m.vertex_piece = true;
        m.full_circle = true;
        RING_node_s* source_vertex = walk->vertex;
        if (walk->prev_start_stock < c.r2 && walk->vertex && walk->vertex->next) source_vertex = walk->vertex->next;
        for (int k = 0; k < 3; ++k) append_end(walk, arcs[k], m, true, kName, 3 + k, source_vertex);
    }
    append_point(walk, c.p2, marks(c.r2, CORNER_TYPE_NONE), true, kName, 6);
    return 1;
}

int CHAIN__process_extend_tangents(CHAIN__stock_walk_s* walk, int kind, CORNER_CONTROL control) {
    static const char* kName = "CHAIN__process_extend_tangents";
    const Corner c = corner_of(walk);
    const double tol = walk->tolerance;
    const bool differ = stocks_differ(walk);
    auto fallback = [&]() -> int {
        if (differ) {
            double b[2], angle = 0.0;
            const bool ok = walk->vertex && ChainVertexBiSector(walk->source, walk->vertex, b, &angle);
            if (kind != CORNER_TYPE_CONCAVE || !ok || angle >= merrow1::kPi / 2.0) return CHAIN__process_add_full_circle(walk);
            return CHAIN__process_extend_with_dummy(walk);
        }
        if (control == EXTEND_TANGENT && kind == CORNER_TYPE_CONVEX)
            return CHAIN__process_break_corner(walk) || CHAIN__process_add_arc(walk, CORNER_TYPE_CONVEX);
        return CHAIN__process_add_arc(walk, kind);
    };
    // 1. The tangent lines (or the stocked lines themselves).
    const bool prev_line = walk->prev_source.type == SEG_LINE && real(walk->prev_stocked);
    const bool cur_line = walk->cur_source.type == SEG_LINE && real(walk->cur_stocked);
    if ((!prev_line && norm(c.t1) == 0.0) || (!cur_line && norm(c.t2) == 0.0)) return fallback();
    const Piece l1 = prev_line ? walk->prev_stocked : line_piece(c.p1, c.p1 + c.t1);
    const Piece l2 = cur_line ? walk->cur_stocked : line_piece(c.p2, c.p2 + c.t2);
    SEGMENT s1 = view(l1), s2 = view(l2);
    INT_POINT points;
    // 2. Where they meet.
    if (SEGMENT_intersect(&s2, &s1, tol, &points) != 1) return fallback();
    V2 x{points.point[0].x, points.point[0].y};
    SEGMENT prev_copy = view(walk->prev_copy), cur_copy = view(walk->cur_copy);
    const Korvo::Math::Point2 xp{x.x, x.y};
    const LOCATION at_prev = real(walk->prev_copy) ? SEGMENT_point_location(&prev_copy, xp, tol) : 0;
    const LOCATION at_cur = real(walk->cur_copy) ? SEGMENT_point_location(&cur_copy, xp, tol) : 0;
    // 3. Usable on each side.
    const bool use_prev = (at_prev >= 2 && at_prev <= 5) || dot(x - c.p1, c.t1) > -tol;
    const bool use_cur = (at_cur >= 1 && at_cur <= 4) || dot(c.p2 - x, c.t2) > -tol;
    const double d = norm(x - c.v);
    const double big = std::fabs(c.r1) > std::fabs(c.r2) ? c.r1 : c.r2;
    bool rounded = false;
    bool on_prev_only = false, on_cur_only = false;
    if (use_prev && use_cur) {
        // 4. Not too far from the corner.
        if (differ) {
            if (d >= std::fabs(big) * kDifferentStockLimit + tol) return fallback();
            rounded = control == ADD_ARC && (at_prev == 5 || at_prev == 0) && (at_cur == 1 || at_cur == 0) &&
                      walk->prev_position == 1 && walk->cur_position == 1 && big > 0.0 && walk->radius > tol;
        } else if (d >= 2.0 * std::fabs(big) + tol) {
            return fallback();
        }
    } else if (use_prev || use_cur) {
        // 5. Carry one side's tangent line on to the other stocked segment.
        const Piece& other = use_prev ? walk->cur_stocked : walk->prev_stocked;
        const Piece& other_copy = use_prev ? walk->cur_copy : walk->prev_copy;
        const int position = use_prev ? walk->prev_position : walk->cur_position;
        if (!real(other)) return fallback();
        SEGMENT line = view(use_prev ? l1 : l2), o = view(other), oc = view(other_copy);
        const int m = SEGMENT_intersect(&line, &o, tol, &points);
        auto on_copy = [&](int k) {
            const LOCATION l = SEGMENT_point_location(&oc, {points.point[k].x, points.point[k].y}, tol);
            return l >= 2 && l <= 4;
        };
        if (m == 1) {
            if (!on_copy(0) && position != 0) return fallback();
            x = {points.point[0].x, points.point[0].y};
        } else if (m == 2) {
            const bool a = on_copy(0), b = on_copy(1);
            int pick;
            if (a && b) {
                if (use_prev) pick = points.point[0].param2 < points.point[1].param2 - tol ? 0 : 1;
                else pick = points.point[0].param2 > points.point[1].param2 + tol ? 0 : 1;
            } else if (a || b) {
                pick = a ? 0 : 1;
            } else {
                return fallback();
            }
            x = {points.point[pick].x, points.point[pick].y};
        } else {
            return fallback();
        }
        on_prev_only = use_cur;   // X lies on the previous stocked segment
        on_cur_only = use_prev;   // X lies on the current stocked segment
    } else {
        return fallback();
    }
    // 6. Build.
    V2 ja = x, jb = x;
    Piece round_arc{};
    if (rounded) {
        // The join runs along the lines that meet at X: a stocked line whose
        // stocks differ along it is not parallel to its source, so the
        // directions are L1's and L2's own.
        const V2 t1 = unit(end_of(l1) - start_of(l1)), t2 = unit(end_of(l2) - start_of(l2));
        const double cc = dot(t1, t2);
        rounded = 1.0 - cc >= kRoundedJoinTurn && 1.0 + cc >= kRoundedJoinTurn;
        if (rounded) {
            double s2 = walk->radius * walk->radius * (1.0 - cc) / (1.0 + cc);
            const double d1 = dist2(x, c.p1), d2 = dist2(x, c.p2);
            double s = std::sqrt(s2);
            if (std::fmin(d1, d2) <= s2) s = std::sqrt(std::fmin(d1, d2));
            ja = x - s * t1;
            jb = x + s * t2;
            if (std::fmin(d1, d2) <= s2) {
                if (d1 <= d2) ja = c.p1;
                else jb = c.p2;
            }
            const V2 centre = x + (s / (1.0 - cc)) * (t2 - t1);
            const V2 u = ja - centre, w = jb - centre;
            const DIRECTION dir = u.x * w.y - u.y * w.x >= 0.0 ? CCW : CW;
            rounded = arc_piece(ja, jb, centre, dir, &round_arc);
            if (!rounded) ja = jb = x;
        }
    }
    Marks prev_marks = marks(c.r1, kind), cur_marks = marks(c.r2, kind), join_marks = marks(c.r2, kind);
    join_marks.vertex_piece = true;
    RING_node_s* following = walk->vertex ? walk->vertex->next : nullptr;
    auto mark_extension = [&](RING_node_s* node) {
        if (node && following) RING_put_node_app_data(walk->stocked, node, APP_DATA_STOCK_EXTENSION_SOURCE, following);
    };
    if (!on_prev_only && !on_cur_only) {
        if (walk->prev_stocked.type == SEG_LINE) {
            walk->prev_copy.end.x = ja.x, walk->prev_copy.end.y = ja.y;
            append_end(walk, walk->prev_copy, prev_marks, false, kName, 1);
        } else {
            append_end(walk, walk->prev_copy, prev_marks, false, kName, 2);
            append_point(walk, ja, prev_marks, true, kName, 3);
        }
        if (rounded) append_end(walk, round_arc, join_marks, true, kName, 4);
        if (walk->cur_stocked.type == SEG_LINE) {
            walk->cur_copy.start[0] = jb.x, walk->cur_copy.start[1] = jb.y;
        } else {
            mark_extension(append_point(walk, c.p2, cur_marks, true, kName, 5));
        }
        return 1;
    }
    // X lies on one of the stocked segments: cut both copies there.
    walk->prev_copy.end.x = x.x, walk->prev_copy.end.y = x.y;
    walk->cur_copy.start[0] = x.x, walk->cur_copy.start[1] = x.y;
    if (walk->prev_stocked.type == SEG_ARC && on_cur_only) {
        append_end(walk, walk->prev_stocked, prev_marks, false, kName, 6);
        append_point(walk, x, prev_marks, true, kName, 7);
    } else {
        append_end(walk, walk->prev_copy, prev_marks, false, kName, 8);
    }
    if (walk->cur_stocked.type == SEG_ARC && on_prev_only) {
        walk->cur_copy = walk->cur_stocked;
        mark_extension(append_point(walk, c.p2, cur_marks, true, kName, 9));
    }
    return 1;
}

namespace {

// How a stock read ended.
enum StockRead { kStocksRead = 1, kCallbackFailed = 0, kStockNotFinite = -1 };

// The stocks of the segment ending at the node, from the callback (the
// uniform stock without one) plus the radius where the tool position is 1.
StockRead stocks_of(const RING_header_s* chain, const RING_node_s* node, CHAIN_stock_data_cb_t cb, double stock,
                    double radius, double* start, double* end, int* position) {
    *start = *end = stock;
    *position = 1;
    if (cb && !cb(chain, node, start, end, position)) return kCallbackFailed;
    if (!std::isfinite(*start) || !std::isfinite(*end)) return kStockNotFinite;
    if (*position == 1) *start += radius, *end += radius;
    return kStocksRead;
}

}  // namespace

bool CHAIN__open_chain_ends_meet(const RING_header_s* chain, const RING_node_s* first, const RING_node_s* last,
                                 CHAIN_stock_data_cb_t stock_cb, double stock, double radius, double tolerance) {
    if (!chain || !first || !last || first == last || is_closed(chain)) return false;
    if (dist2(point_of(first), point_of(last)) > kSamePoint2) return false;
    double a, b, c, d;
    int pa, pc;
    if (stocks_of(chain, last, stock_cb, stock, radius, &a, &b, &pa) != kStocksRead) return false;
    if (stocks_of(chain, first->next, stock_cb, stock, radius, &c, &d, &pc) != kStocksRead) return false;
    return std::fabs(a - c) <= tolerance;
}

namespace {
// Where the walk of an open chain starts and ends (after leaving out
// swallowed end segments); set by the walk, read by the open-end handlers.
thread_local const RING_node_s* t_walk_first = nullptr;
thread_local const RING_node_s* t_walk_last = nullptr;
thread_local double t_walk_stock = 0.0;
}  // namespace

int CHAIN__process_start_of_open_chain(CHAIN__stock_walk_s* walk, CHAIN_stock_data_cb_t stock_cb, double radius,
                                       bool no_end_arcs) {
    static const char* kName = "CHAIN__process_start_of_open_chain";
    const Corner c = corner_of(walk);
    const RING_node_s* first = t_walk_first ? t_walk_first : walk->source->first;
    const RING_node_s* last = t_walk_last ? t_walk_last : walk->source->last;
    Marks bare;
    bare.record = false;
    if (no_end_arcs ||
        CHAIN__open_chain_ends_meet(walk->source, first, last, stock_cb, t_walk_stock, radius, walk->tolerance)) {
        append_end(walk, point_piece(c.p2), bare, false, kName, 1);
        return 1;
    }
    const V2 q = c.v - c.r2 * c.t2;
    Marks m = marks(c.r2, CORNER_TYPE_START);
    m.vertex_piece = true;
    if (same(q, c.p2)) {
        append_end(walk, point_piece(c.p2), m, true, kName, 2);
        return 1;
    }
    append_end(walk, point_piece(q), m, true, kName, 3);
    Marks arc_marks = marks(c.r2, CORNER_TYPE_SMOOTH);
    arc_marks.vertex_piece = arc_marks.open_end = true;
    const V2 u = q - c.v, w = c.p2 - c.v;
    Piece arc;
    if (arc_piece(q, c.p2, c.v, u.x * w.y - u.y * w.x >= 0.0 ? CCW : CW, &arc))
        append_end(walk, arc, arc_marks, true, kName, 4);
    return 1;
}

int CHAIN__process_end_of_open_chain(CHAIN__stock_walk_s* walk, CHAIN_stock_data_cb_t stock_cb, double radius,
                                     bool no_end_arcs) {
    static const char* kName = "CHAIN__process_end_of_open_chain";
    const Corner c = corner_of(walk);
    Marks m = marks(c.r1, CORNER_TYPE_SMOOTH);
    m.vertex_piece = true;
    append_end(walk, walk->prev_copy, m, false, kName, 1);
    if (no_end_arcs) return 1;
    const RING_node_s* first = t_walk_first ? t_walk_first : walk->source->first;
    const RING_node_s* last = t_walk_last ? t_walk_last : walk->source->last;
    const bool meet =
        CHAIN__open_chain_ends_meet(walk->source, first, last, stock_cb, t_walk_stock, radius, walk->tolerance);
    const V2 end = point_of(last);
    const V2 z = meet && walk->stocked->count ? point_of(walk->stocked->first) : end + c.r1 * c.t1;
    if (same(z, c.p1)) return 1;
    Marks arc_marks = marks(c.r1, CORNER_TYPE_END);
    arc_marks.vertex_piece = arc_marks.open_end = true;
    const V2 u = c.p1 - end, w = z - end;
    Piece arc;
    if (arc_piece(c.p1, z, end, u.x * w.y - u.y * w.x >= 0.0 ? CCW : CW, &arc))
        append_end(walk, arc, arc_marks, true, kName, 2);
    return 1;
}

// ===========================================================================
// Loop removal

namespace {

bool loop_flags(const RING_node_s* node, bool* dummy) {
    const CHAIN_trace_vertex_data_s* r = record_of(node);
    if (!r || r->blank) return false;
    *dummy = r->dummy != 0;
    return true;
}

int meet_count(const RING_header_s* chain, const RING_node_s* a, const RING_node_s* b, INT_POINT* points) {
    SEGMENT sa, sb;
    if (!ChainSegment(chain, a, &sa) || !ChainSegment(chain, b, &sb)) return -2;
    INT_POINT scratch;
    return SegmentIntersectOn(&sa, &sb, points ? points : &scratch);
}

bool strictly_inside(const RING_header_s* chain, const RING_node_s* node, V2 x) {
    SEGMENT s;
    const double p[2] = {x.x, x.y};
    return ChainSegment(chain, node, &s) && SegmentPointLocationOn(&s, p) == 3;
}

void unlink_vertex(RING_header_s* chain, RING_node_s* node) {
    RING_delete_node(chain, node);
    CHAIN_drop_cached_box(chain);
}

// The loop of the three pieces ending at B, A and V (A before V, B before
// A): the pieces ending at V and B meet in exactly one point X strictly
// inside both, each meets A once.  A goes and B ends at X, so the piece
// ending at V starts there.  False, with the chain unchanged, when the
// pieces do not make such a loop.
bool cut_three_piece_loop(RING_header_s* stocked, RING_node_s* v) {
    RING_node_s* a = v->previous;
    RING_node_s* b = a ? a->previous : nullptr;
    if (!a || !b || a == v || b == v) return false;
    if (!is_closed(stocked) && (b == stocked->first || a == stocked->first)) return false;
    INT_POINT points;
    if (meet_count(stocked, v, b, &points) != 1) return false;
    const V2 x{points.point[0].x, points.point[0].y};
    if (meet_count(stocked, v, a, nullptr) != 1 || meet_count(stocked, a, b, nullptr) != 1) return false;
    if (!strictly_inside(stocked, v, x) || !strictly_inside(stocked, b, x)) return false;
    unlink_vertex(stocked, a);
    const Korvo::Math::Point2 q{x.x, x.y};
    CHAIN_modify_vertex_point(stocked, b, &q);
    return true;
}

}  // namespace

int CHAIN__remove_fully_embedded_3_seg_loop(RING_header_s* stocked, RING_node_s* v) {
    if (!stocked || !v || loop_removal_inactive()) return 0;
    RING_node_s* a = v->previous;
    RING_node_s* b = a ? a->previous : nullptr;
    if (!a || !b || a == v || b == v) return 0;
    if (!is_closed(stocked) && (b == stocked->first || a == stocked->first)) return 0;
    // Only a dummy join between two real pieces that cross closes a loop of
    // the material: past their crossing each real piece runs inside the
    // other's stock.  A real piece between two dummy joins that cross is the
    // stocked image of its segment at its full stock, and where the free
    // side reaches it it bounds the result: cutting the loop would let the
    // free side through the joins (their crossing lies nearer the segment
    // than its stock), so that loop is left to the clean.
    bool dv, da, db;
    if (!loop_flags(v, &dv) || !loop_flags(a, &da) || !loop_flags(b, &db)) return 0;
    if (dv || db || !da) return 0;
    if (!cut_three_piece_loop(stocked, v)) return 0;
    report("CHAIN__remove_fully_embedded_3_seg_loop: stocked_chain -- 3 loop removed", stocked);
    return 1;
}

int CHAIN__remove_fully_embedded_4_seg_loop(RING_header_s* stocked, RING_node_s* v) {
    if (!stocked || !v || loop_removal_inactive()) return 0;
    RING_node_s* p1 = v->previous;
    RING_node_s* p2 = p1 ? p1->previous : nullptr;
    RING_node_s* p3 = p2 ? p2->previous : nullptr;
    if (!p1 || !p2 || !p3 || p1 == v || p2 == v || p3 == v) return 0;
    if (!is_closed(stocked) && (p3 == stocked->first || p2 == stocked->first || p1 == stocked->first)) return 0;
    if (type_of(p1) != SEG_ARC && type_of(p2) != SEG_ARC) return 0;
    bool dv, d1, d2, d3;
    if (!loop_flags(v, &dv) || !loop_flags(p1, &d1) || !loop_flags(p2, &d2) || !loop_flags(p3, &d3)) return 0;
    if (dv || d3 || !(d1 || d2)) return 0;
    INT_POINT points;
    if (meet_count(stocked, v, p3, &points) != 1) return 0;
    const V2 x{points.point[0].x, points.point[0].y};
    if (meet_count(stocked, v, p1, nullptr) != 1 || meet_count(stocked, p1, p2, nullptr) != 1 ||
        meet_count(stocked, p2, p3, nullptr) != 1)
        return 0;
    // P1's segment may touch P3's at P3's end, where P2's starts: the loop
    // is then pinched at that vertex (a piece swallowed at a concave corner
    // leaves a short P2 whose join arc P1 grazes P3's end) and is cut all the
    // same.  Any other meeting leaves the loop open.
    if (meet_count(stocked, v, p2, nullptr) != 0) return 0;
    INT_POINT touch;
    const int touches = meet_count(stocked, p1, p3, &touch);
    if (touches != 0 && !(touches == 1 && same({touch.point[0].x, touch.point[0].y}, point_of(p3)))) return 0;
    if (!strictly_inside(stocked, v, x) || !strictly_inside(stocked, p3, x)) return 0;
    unlink_vertex(stocked, p1);
    unlink_vertex(stocked, p2);
    const Korvo::Math::Point2 q{x.x, x.y};
    CHAIN_modify_vertex_point(stocked, p3, &q);
    report("CHAIN__remove_fully_embedded_4_seg_loop: stocked_chain -- 4 loop removed", stocked);
    return 1;
}

// ===========================================================================
// The walk

namespace {

const char* control_name(CORNER_CONTROL control) {
    switch (control) {
    case EXTEND_TANGENT: return "EXTEND_TANGENT";
    case BREAK_CORNER: return "BREAK_CORNER";
    case ADD_ARC: return "ADD_ARC";
    default: return "Unrecognized corner control";
    }
}

void list_inputs(double radius, double stock, CORNER_CONTROL control) {
    if (!debug_query(kQueryListInputs)) return;
    char line[96];
    BASE_LISTWIN_write("Inputs To CHAIN_stock_general:\n");
    std::snprintf(line, sizeof line, "    Tool Radius: %.10f", radius);
    BASE_LISTWIN_write(line);
    std::snprintf(line, sizeof line, "    Stock Value: %.10f", stock);
    BASE_LISTWIN_write(line);
    std::snprintf(line, sizeof line, "    Corner Control: %s\n", control_name(control));
    BASE_LISTWIN_write(line);
}

// Makes the output an empty TRACE_CHAIN copy of the source's main data naming
// the source under key 10.
void set_up_output(RING_header_s* source, RING_header_s* output) {
    empty_chain(output);
    if (output->main_data && source->main_data) {
        CHAIN_main_data_s* md = main_of(output);
        *md = *main_of(source);
        md->kind = TRACE_CHAIN;
        md->direction = 0;
        md->approximation_tolerance_set = 0;
    }
    RING_put_header_app_data(output, APP_DATA_STOCKED_FROM, source);
}

void restart_at(RING_header_s* chain, RING_node_s* node) {
    if (!is_closed(chain) || !node || chain->first == node) return;
    chain->first = node;
    chain->last = node->previous;
    CHAIN_drop_cached_box(chain);
}

void stock_failure_note() { MERROW1_NOTE_FAILURE("DUE_TO_STOCK_DATA_FUNCTION_RETURNING_STATUS_OF_FAILURE"); }

}  // namespace

int CHAIN__stock_general(RING_header_s* chain, double tool_radius, double stock, CHAIN_stock_data_cb_t stock_cb,
                         CHAIN_trace_vertex_cb_t trace_vertex_cb, CORNER_CONTROL corner_control,
                         CHAIN_trace_vertex_source_cb_t vertex_source_cb, int options, RING_header_s* output) {
    MERROW1_REQUIRE(chain && main_of(chain) && output, "DUE_TO_INVALID_DATA", 0);
    if (!std::isfinite(tool_radius) || !std::isfinite(stock)) {
        empty_chain(output);
        MERROW1_NOTE_FAILURE("DUE_TO_STOCK_OR_RADIUS_NOT_FINITE");
        return 0;
    }
    // 1. Inputs.
    if (MACH__checking_level >= 1) {
        if (CHAIN_ask_chain_debug_status()) list_inputs(tool_radius, stock, corner_control);
        report("CHAIN_stock_general: source_chain -- input", chain);
    }
    // 2. The output and the walk state.
    set_up_output(chain, output);
    CHAIN__stock_walk_s walk{};
    walk.source = chain;
    walk.stocked = output;
    walk.vertex_source_cb = vertex_source_cb;
    walk.prev_position = walk.cur_position = 1;
    walk.prev_start_stock = walk.cur_start_stock = walk.prev_end_stock = walk.cur_end_stock = stock;
    walk.tolerance = merrow1::length_tolerance_of(chain);
    walk.radius = tool_radius;
    walk.side = main_of(chain)->material_side;
    const double tol = walk.tolerance;
    const bool closed = is_closed(chain);
    auto fail_invalid = [&](const char* label) {
        report(label, output);
        empty_chain(output);
        return 0;
    };
    // A stock read with the checks on the values: a failing callback is
    // noted; a non-finite stock is noted and empties the output, whatever
    // was built, so that nothing is ever walked on it.
    auto read_stocks = [&](const RING_node_s* node, double* s, double* e, int* position) {
        const StockRead read = stocks_of(chain, node, stock_cb, stock, tool_radius, s, e, position);
        if (read == kCallbackFailed) stock_failure_note();
        if (read == kStockNotFinite) {
            MERROW1_NOTE_FAILURE("DUE_TO_STOCK_OR_RADIUS_NOT_FINITE");
            empty_chain(output);
        }
        return read == kStocksRead;
    };
    // 3. The walk's range: an open chain's end segment that the next stock
    // swallows is left out (the caller's chain is not changed).
    // A closed chain is walked from walk_start (the first vertex unless a
    // segment that carries no offset of its own ends there).
    RING_node_s* first = const_cast<RING_node_s*>(merrow1::walk_start(chain, tol));
    RING_node_s* last = closed && first ? first->previous : chain->last;
    int vertices = chain->count;
    if (!first || vertices < 2) return fail_invalid("CHAIN_stock_general: stocked_chain -- output invalid 1");
    if (!closed && vertices > 2) {
        // Stocks that cannot be read leave the end in the walk, which then
        // meets the same answer and fails as it says.
        double s1, e1, s2, e2;
        int p1, p2;
        Piece seg;
        auto peek = [&](const RING_node_s* node, double* s, double* e, int* position) {
            return stocks_of(chain, node, stock_cb, stock, tool_radius, s, e, position) == kStocksRead;
        };
        if (peek(first->next, &s1, &e1, &p1) && peek(first->next->next, &s2, &e2, &p2) &&
            read_piece(chain, first->next, &seg)) {
            SEGMENT v = view(seg);
            if (p1 == 0 && p2 == 1 && s2 > SegmentLength(&v) - tol) first = first->next, --vertices;
        }
        if (vertices > 2 && peek(last, &s1, &e1, &p1) && peek(last->previous, &s2, &e2, &p2) &&
            read_piece(chain, last, &seg)) {
            SEGMENT v = view(seg);
            if (p1 == 0 && p2 == 1 && s2 > SegmentLength(&v) - tol) last = last->previous, --vertices;
        }
    }
    if (vertices < 2) return fail_invalid("CHAIN_stock_general: stocked_chain -- output invalid 1");
    t_walk_first = first;
    t_walk_last = last;
    t_walk_stock = stock;
    struct Reset {
        ~Reset() { t_walk_first = t_walk_last = nullptr; }
    } reset;
    // A run of segments that carry no offset of their own, inside the walk's
    // range and with the stock of the segment beside them (so that no step
    // of the stock is lost), is walked over as the tracer walks it: one
    // corner, handled at the vertex ending the run, from the segment entering
    // the run to the one leaving it, about the run's first vertex, from which
    // the leaving segment is taken to start.
    auto joined_beyond = [&](const RING_node_s* v) {
        if (!merrow1::corner_joined_beyond(chain, first, v, tol)) return false;
        // Within the walk's range, which may leave out an open chain's end
        // segments.
        if (!closed && (v == last || (v->next == last && last != chain->last))) return false;
        // The stock beside it: that of the segment entering it, or at an
        // open chain's start that of the segment after it.
        Piece entering;
        const bool at_start = !read_piece(chain, v, &entering) || !real(entering);
        double s0, e0, s1, e1;
        int p0, p1;
        if (stocks_of(chain, at_start ? v->next->next : v, stock_cb, stock, tool_radius, &s0, &e0, &p0) !=
                kStocksRead ||
            stocks_of(chain, v->next, stock_cb, stock, tool_radius, &s1, &e1, &p1) != kStocksRead)
            return false;
        const double beside = at_start ? s0 : e0;
        return p0 == p1 && std::fabs(s1 - beside) <= tol && std::fabs(e1 - beside) <= tol;
    };
    const bool join_across = merrow1::some_segment_carries_offset(chain, tol);
    // 4. The segment ending at the first vertex (closed chains only).
    if (closed) {
        double s, e;
        int position;
        if (!read_piece(chain, first, &walk.prev_source) || !read_stocks(first, &s, &e, &position))
            return fail_invalid("CHAIN_stock_general: stocked_chain -- output invalid 2");
        if (join_across && first->previous) {
            const RING_node_s* entry = merrow1::corner_entry(chain, first, first->previous, joined_beyond);
            if (entry != first->previous)
                walk.prev_source.start[0] = point_of(entry).x, walk.prev_source.start[1] = point_of(entry).y;
        }
        walk.prev_start_stock = s, walk.prev_end_stock = e, walk.prev_position = position;
        walk.prev_failed = !CHAIN__stock_segment(&walk.prev_source, s, e, walk.side, tol, &walk.prev_stocked,
                                                 &walk.prev_copy);
    }
    bool have_prev = closed;
    // 5. The vertices.
    RING_node_s* vertex = first;
    RING_node_s* entry = nullptr;  // where the corner joined at the vertex comes in
    for (int i = 0; i < vertices && vertex; ++i, vertex = vertex->next) {
        if (!entry) entry = vertex;
        const bool at_last = vertex == last;
        const bool have_cur = closed || !at_last;
        if (join_across && have_cur && joined_beyond(vertex)) continue;
        walk.vertex = entry;
        walk.cur_failed = true;
        walk.cur_source = Piece{};
        walk.cur_stocked = walk.cur_copy = point_piece(point_of(entry));
        if (have_cur) {
            double s, e;
            int position;
            if (!read_piece(chain, vertex->next, &walk.cur_source)) break;
            if (entry != vertex)
                walk.cur_source.start[0] = point_of(entry).x, walk.cur_source.start[1] = point_of(entry).y;
            if (!read_stocks(vertex->next, &s, &e, &position)) {
                report("CHAIN_stock_general: stocked_chain -- output invalid 3", output);
                return 0;
            }
            walk.cur_start_stock = s, walk.cur_end_stock = e, walk.cur_position = position;
            walk.cur_failed = !CHAIN__stock_segment(&walk.cur_source, s, e, walk.side, tol, &walk.cur_stocked,
                                                    &walk.cur_copy);
            // A collapsed arc between two corners leaves its end's point, but
            // the join at its start reaches the stock circle where the arc
            // starts: the joins at its two corners then cross beyond the arc's
            // centre and the loop between them is cut like any other, instead
            // of the first join running through the material to that point.
            if (walk.cur_failed && have_prev && walk.cur_source.type == SEG_ARC) {
                const V2 a = start_of(walk.cur_source) + s * away_normal(tangent(walk.cur_source, false), walk.side);
                walk.cur_stocked.start[0] = walk.cur_copy.start[0] = a.x;
                walk.cur_stocked.start[1] = walk.cur_copy.start[1] = a.y;
            }
            if (closed && at_last && output->count > 0) {
                const V2 p = point_of(output->first);
                walk.cur_copy.end.x = p.x, walk.cur_copy.end.y = p.y;
            }
        }
        const CHAIN_trace_vertex_t answer = trace_vertex_cb ? trace_vertex_cb(chain, vertex) : CHAIN_trace_vertex_t{};
        // With both stocks below zero the tool is on the other side: concave
        // and convex change places.
        const bool other_side = walk.cur_start_stock < -tol && walk.prev_end_stock < -tol;
        auto seen_from_tool = [other_side](int k) {
            if (!other_side) return k;
            return k == CORNER_TYPE_CONCAVE ? CORNER_TYPE_CONVEX : k == CORNER_TYPE_CONVEX ? CORNER_TYPE_CONCAVE : k;
        };
        int kind = merrow1::joined_corner_type(chain, entry, vertex);
        // Where the chain doubles back and its pieces part towards the tool's
        // side, the corner is concave, as the tracer takes it: walked round as
        // an undefined corner, the join would run round the back of the
        // vertex, on the side away from the stocked chain, where the other
        // side's stock runs.  A reversal that parts the other way is walked
        // round, as the end of a chain closed back along itself is.
        if (kind == CORNER_TYPE_NONE) {
            const int refined = merrow1::walked_corner_type(chain, entry, vertex, nullptr);
            if (seen_from_tool(refined) == CORNER_TYPE_CONCAVE) kind = refined;
        }
        if (!closed && entry == first) kind = CORNER_TYPE_START;
        entry = nullptr;
        if (!closed && at_last) kind = CORNER_TYPE_END;
        kind = seen_from_tool(kind);
        const bool differ = stocks_differ(&walk);
        // The join at the end of a collapsed arc, see below.
        RING_node_s* const before_join = output->last;
        const bool after_collapsed_arc = have_prev && walk.prev_failed && walk.prev_source.type == SEG_ARC;
        if (have_prev && have_cur && (walk.cur_failed || walk.prev_failed)) {
            if (differ) {
                CHAIN__process_add_full_circle(&walk);
            } else if (output->count > 0 && walk.prev_stocked.type == SEG_POINT) {
                CHAIN__process_add_arc(&walk, kind);
            } else if (kind == CORNER_TYPE_SMOOTH) {
                if (!CHAIN__process_tangent_corner(&walk)) CHAIN__process_add_full_circle(&walk);
            } else if (kind == CORNER_TYPE_NONE) {
                if (!CHAIN__process_undefined_corner(&walk)) CHAIN__process_add_full_circle(&walk);
            } else {
                CHAIN__process_add_arc(&walk, kind);
            }
        } else {
            switch (kind) {
            case CORNER_TYPE_START:
                CHAIN__process_start_of_open_chain(&walk, stock_cb, tool_radius, options & CHAIN__STOCK_NO_END_ARCS);
                break;
            case CORNER_TYPE_END:
                CHAIN__process_end_of_open_chain(&walk, stock_cb, tool_radius, options & CHAIN__STOCK_NO_END_ARCS);
                break;
            case CORNER_TYPE_CONCAVE: CHAIN__process_concave_corner(&walk, corner_control); break;
            case CORNER_TYPE_CONVEX: {
                const CORNER_CONTROL control =
                    (static_cast<int>(answer) == 2 || static_cast<int>(answer) == 3) ? EXTEND_TANGENT : corner_control;
                if (!CHAIN__process_convex_corner(&walk, control)) CHAIN__process_add_full_circle(&walk);
                break;
            }
            case CORNER_TYPE_SMOOTH:
                if (!CHAIN__process_tangent_corner(&walk)) CHAIN__process_add_full_circle(&walk);
                break;
            default:
                if (!CHAIN__process_undefined_corner(&walk)) CHAIN__process_add_full_circle(&walk);
                break;
            }
        }
        // A collapsed arc between the joins about its two ends (arcs of the
        // stock about its start and end vertices) leaves the line from the
        // stock circle at its start to the one at its end, through the
        // material; the two joins cross at the point where the stock circles
        // of the arc's ends meet on the offset side, and the loop they make
        // with that line lies in the material.  It is cut here: the first
        // join ends at the crossing and the second starts there.  (Left to
        // the clean, the loop survives the covering of dummy pieces when the
        // first join is a dummy, as the cap round the end of a chain closed
        // back along itself is.)
        if (after_collapsed_arc && before_join && before_join->next && before_join->next->next) {
            RING_node_s* join_end = before_join->next->next;
            auto centred_at = [](const RING_node_s* node, V2 c) {
                if (type_of(node) != SEG_ARC) return false;
                const end_segment* e = arc_of(node);
                return same({e->cx, e->cy}, c);
            };
            if (join_end != output->first && centred_at(before_join, start_of(walk.prev_source)) &&
                centred_at(join_end, end_of(walk.prev_source)) && cut_three_piece_loop(output, join_end))
                report("CHAIN_stock_general: stocked_chain -- loop of a collapsed arc cut", output);
        }
        // Shift the current segment into the previous slots.
        walk.prev_source = walk.cur_source;
        walk.prev_stocked = walk.cur_stocked;
        walk.prev_copy = walk.cur_copy;
        walk.prev_failed = walk.cur_failed;
        walk.prev_start_stock = walk.cur_start_stock;
        walk.prev_end_stock = walk.cur_end_stock;
        walk.prev_position = walk.cur_position;
        have_prev = have_cur;
    }
    // The closing segment's stocked image (its copy ends at the output's
    // first point) completes a closed walk; its source vertex is the first.
    if (closed && output->count > 0) {
        walk.vertex = first;
        Marks m = marks(walk.prev_end_stock, CORNER_TYPE_NONE);
        m.dummy = walk.prev_failed;
        append_end(&walk, walk.prev_copy, m, false, "CHAIN_stock_general", 1);
    }
    // 6. Only dummy pieces.
    if (!(options & CHAIN__STOCK_ALLOW_ALL_DUMMY) && output->count > 0 && CHAIN_is_chain_all_dummy(output))
        return fail_invalid("CHAIN_stock_general: stocked_chain -- output has only dummy segments");
    // 7. Embedded loops.
    report("CHAIN_stock_general: stocked_chain -- before removing embedded loops", output);
    const bool remove_loops = options & CHAIN__STOCK_REMOVE_LOOPS;
    auto try_at = [&](int index, int segments, int (*removal)(RING_header_s*, RING_node_s*)) {
        const int have = is_closed(output) ? output->count : output->count - 1;
        if (have <= segments - 1 || index >= output->count) return;
        RING_node_s* node = output->first;
        for (int k = 0; k < index && node; ++k) node = node->next;
        if (node) removal(output, node);
    };
    if (remove_loops && !is_closed(output)) {
        for (int index = 3; index < output->count; ++index) try_at(index, 3, CHAIN__remove_fully_embedded_3_seg_loop);
        for (int index = 3; index < output->count; ++index) try_at(index, 4, CHAIN__remove_fully_embedded_4_seg_loop);
    }
    // 8. Closing.
    if (closed && output->count > 1) {
        const Korvo::Math::Point2 p{point_of(output->first).x, point_of(output->first).y};
        CHAIN_modify_vertex_point(output, output->last, &p);
        // The close merges the two ends and keeps the last vertex: it takes
        // the first corner's record, so that a step's high side stays marked.
        if (output->count > 2) {
            const CHAIN_trace_vertex_data_s* from = record_of(output->first);
            CHAIN_trace_vertex_data_s* to = record_of(output->last);
            if (from && to) *to = *from;
        }
        CHAIN_close(output, merrow1::kCloseGap);
        const CHAIN_trace_vertex_data_s* second = record_of(output->first->next);
        const CHAIN_trace_vertex_data_s* first_record = record_of(output->first);
        if (second && (second->vertex_piece || second->blank) && !(first_record && first_record->step_high))
            restart_at(output, output->first->next);
        if (remove_loops) {
            for (int index : {1, 2}) try_at(index, 3, CHAIN__remove_fully_embedded_3_seg_loop);
            for (int index : {1, 2, 3}) try_at(index, 4, CHAIN__remove_fully_embedded_4_seg_loop);
        }
    }
    // 9. The result.
    report("CHAIN_stock_general: stocked_chain -- output", output);
    if (!(options & CHAIN__STOCK_KEEP_SINGLE_VERTEX) && output->count == 1) empty_chain(output);
    return output->count > 0 ? 1 : 0;
}

int CHAIN_stock_general_old(RING_header_s* chain, double tool_radius, double stock, CHAIN_stock_data_cb_t stock_cb,
                            CHAIN_trace_vertex_cb_t trace_vertex_cb, CORNER_CONTROL corner_control,
                            CHAIN_trace_vertex_source_cb_t vertex_source_cb, RING_header_s* output) {
    return CHAIN__stock_general(chain, tool_radius, stock, stock_cb, trace_vertex_cb, corner_control, vertex_source_cb,
                                CHAIN__STOCK_REMOVE_LOOPS, output);
}

int CHAIN_stock_general(RING_header_s* chain, double tool_radius, double stock, CHAIN_stock_data_cb_t stock_cb,
                        CHAIN_trace_vertex_cb_t trace_vertex_cb, CORNER_CONTROL corner_control,
                        CHAIN_trace_vertex_source_cb_t vertex_source_cb, bool remove_loops, RING_header_s* output) {
    MERROW1_REQUIRE(chain && main_of(chain) && output, "DUE_TO_INVALID_DATA", 0);
    if (!std::isfinite(tool_radius) || !std::isfinite(stock)) {
        empty_chain(output);
        MERROW1_NOTE_FAILURE("DUE_TO_STOCK_OR_RADIUS_NOT_FINITE");
        return 0;
    }
    // 1. A uniform offset (BREAK_CORNER always walks).
    bool uniform = corner_control != BREAK_CORNER;
    double offset = tool_radius + stock;
    if (uniform && stock_cb) {
        double s = stock;
        CHAIN_tool_position_t position = 1;
        uniform = CHAIN__stock_data_function_is_effectively_NULL(chain, stock_cb, &s, &position);
        offset = position != 0 ? s + tool_radius : s;
    }
    // 2. Trace it.
    if (uniform && offset >= 0.0) {
        RING_header_s* traced = CHAIN__trace(chain, offset, corner_control, 1, vertex_source_cb, trace_vertex_cb,
                                             output->pool, remove_loops, nullptr);
        set_up_output(chain, output);
        if (!traced) return 1;
        // The output takes the ring; the traced header is deleted empty.  Its
        // cached box is not carried over: it would go with the header.
        *main_of(output) = *main_of(traced);
        output->first = traced->first;
        output->last = traced->last;
        output->count = traced->count;
        traced->first = traced->last = nullptr;
        traced->count = 0;
        RING_delete(traced);
        return 1;
    }
    // 3. The general walk.
    return CHAIN__stock_general(chain, tool_radius, stock, stock_cb, trace_vertex_cb, corner_control, vertex_source_cb,
                                remove_loops ? CHAIN__STOCK_REMOVE_LOOPS : 0, output);
}

// ===========================================================================
// Both sides of an open chain

namespace {

bool back_marked(const RING_node_s* node) { return node && (vertex_record(node)->flags & CHAIN_BACK_SIDE_MARK); }

// The caller's stock callback while the second side is stocked.
thread_local CHAIN_stock_data_cb_t t_second_side_cb = nullptr;

// The second side's stocks: the caller's answer with positive stocks made 0.
int second_side_stocks(const RING_header_s* chain, const RING_node_s* vertex, double* start, double* end,
                       CHAIN_tool_position_t* position) {
    if (!t_second_side_cb || t_second_side_cb(chain, vertex, start, end, position) != 1) return 0;
    if (*start > 0.0) *start = 0.0;
    if (*end > 0.0) *end = 0.0;
    return 1;
}

}  // namespace

void CHAIN__AppendEndCap(RING_header_s* stocked, RING_node_s* p, RING_node_s* q, RING_header_s* source,
                         RING_node_s* e, CHAIN_trace_vertex_source_cb_t vertex_source_cb, double radius,
                         ENDCAP_TYPE cap_type) {
    static const char* kName = "CHAIN__AppendEndCap";
    if (!stocked || !p || !q || !source || !e || !std::isfinite(radius)) return;
    const V2 pp = point_of(p), qq = point_of(q), ee = point_of(e);
    const double d = norm(qq - pp), da = norm(ee - pp), db = norm(qq - ee);
    // 1. Degenerate caps change nothing.
    if (d < kCapLength || da < kCapLength || db < kCapLength) return;
    const V2 u = (1.0 / d) * (qq - pp);
    // 2. Which ends are square.
    const bool p_mark = back_marked(p), q_mark = back_marked(q);
    const bool p_square = (!p_mark && cap_type == 1) || (p_mark && cap_type == 2);
    const bool q_square = (!q_mark && cap_type == 1) || (q_mark && cap_type == 2);
    // 3. No straight middle part when the sides are close.
    double r = radius;
    const bool middle = !(d <= 2.0 * r + kCapLength);
    bool corner_at_e = false;
    if (!middle) {
        if (p_square) {
            if (db < r + kCapLength) r = db;
            corner_at_e = true;
        } else if (q_square) {
            if (da < r + kCapLength) r = da;
        } else {
            r = d / 2.0;
        }
    }
    // 4. The normal away from the material.
    const SIDE side = main_of(source)->material_side;
    const V2 n = side == LEFT ? r * V2{u.y, -u.x} : r * V2{-u.y, u.x};
    V2 f = (corner_at_e ? ee : pp + r * u) + n;
    CHAIN__stock_walk_s walk{};
    walk.source = source;
    walk.stocked = stocked;
    walk.vertex = e;
    walk.vertex_source_cb = vertex_source_cb;
    walk.side = side;
    const DIRECTION sense = side == LEFT ? CCW : CW;
    int step = 1;
    auto piece = [&](const Piece& what, bool mark) {
        Marks m = marks(r, CORNER_TYPE_NONE);
        m.vertex_piece = true;
        if (RING_node_s* node = append_end(&walk, what, m, true, kName, step++)) {
            if (mark) vertex_record(node)->flags |= CHAIN_BACK_SIDE_MARK;
            else vertex_record(node)->flags &= ~CHAIN_BACK_SIDE_MARK;
        }
    };
    auto rounded = [&](V2 a, V2 b, bool mark) {
        Piece arc = line_piece(a, b);
        SEGMENT s = view(arc);
        const double end[2] = {b.x, b.y};
        DIRECTION dir = sense;
        if (SegmentUpdate(&s, SEG_ARC, arc.start, end, nullptr, &r, &dir) && s.type == SEG_ARC) arc.type = SEG_ARC;
        piece(arc, mark);
    };
    // 5. P's end, then the middle part.
    if (p_square) {
        piece(line_piece(pp, pp + n), p_mark);
        piece(line_piece(pp + n, f), p_mark);
    } else {
        rounded(pp, f, p_mark);
    }
    if (middle) {
        const V2 g = qq - r * u + n;
        piece(line_piece(f, g), p_mark || q_mark);
        f = g;
    }
    // 6. Q's end.
    if (q_square) {
        piece(line_piece(f, qq + n), q_mark);
        piece(line_piece(qq + n, qq), q_mark);
    } else {
        rounded(f, qq, q_mark);
    }
}

void CHAIN_StockOpenBothSides(RING_header_s* chain, double first_radius, double second_radius, double first_stock,
                              double second_stock, CHAIN_stock_data_cb_t stock_cb,
                              CHAIN_trace_vertex_cb_t trace_vertex_cb, CORNER_CONTROL corner_control,
                              CHAIN_trace_vertex_source_cb_t vertex_source_cb, RING_header_s* output,
                              ENDCAP_TYPE cap_type) {
    if (!chain || !main_of(chain) || !output || chain->count < 2) {
        if (output) empty_chain(output);
        MERROW1_NOTE_FAILURE("DUE_TO_INVALID_DATA");
        return;
    }
    const int options = CHAIN__STOCK_ALLOW_ALL_DUMMY | CHAIN__STOCK_KEEP_SINGLE_VERTEX | CHAIN__STOCK_NO_END_ARCS;
    // 1. The first side.
    if (!CHAIN__stock_general(chain, first_radius, first_stock, stock_cb, trace_vertex_cb, corner_control,
                              vertex_source_cb, options, output) ||
        !output->first || !output->last) {
        empty_chain(output);
        return;
    }
    // 2. The second side, on the other side of the chain.
    RING_header_s* second = CHAIN_create_from_csys(nullptr, output->pool);
    if (!second) {
        empty_chain(output);
        return;
    }
    try {
        const double stock = second_stock >= 0.0 && !stock_cb ? 0.0 : second_stock;
        struct Keep {
            CHAIN_stock_data_cb_t saved = t_second_side_cb;
            ~Keep() { t_second_side_cb = saved; }
        } keep;
        t_second_side_cb = stock_cb;
        const int ok = CHAIN__stock_general(chain, -second_radius, stock, stock_cb ? second_side_stocks : nullptr,
                                            trace_vertex_cb, corner_control, vertex_source_cb, options, second);
        if (!ok || !second->first) {
            empty_chain(output);
            RING_delete(second);
            return;
        }
        // 3. It runs back, marked as the back side.
        CHAIN_reverse(second);
        {
            RING_node_s* node = second->first;
            for (int i = 0; i < second->count && node; ++i, node = node->next)
                vertex_record(node)->flags |= CHAIN_BACK_SIDE_MARK;
        }
        const double radius = (first_radius + second_radius) / 2.0;
        // 4. The cap at the chain's end.
        CHAIN__AppendEndCap(output, output->last, second->first, chain, chain->last, vertex_source_cb, radius,
                            cap_type);
        // 5. The second side follows the cap.
        RING_delete_node(second, second->first);
        RING_append_ring(output, second);
        RING_delete(second);
        second = nullptr;
        // 6. The cap at the chain's start turns about its first vertex.
        CHAIN__AppendEndCap(output, output->last, output->first, chain, chain->first, vertex_source_cb, radius,
                            cap_type);
        // 7. Closed.
        CHAIN_close(output, kBothSidesCloseTolerance);
        report("CHAIN_StockOpenBothSides: stockedChain -- output", output);
    } catch (...) {
        if (second) RING_delete(second);
        empty_chain(output);
        throw;
    }
}
