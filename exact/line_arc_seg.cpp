// Line and arc pieces: creation, measures, boxes, display and grid rounding.
//
// Every operation takes the piece's start point beside the record (a piece
// stores only its end).  An arc's geometry follows from its chord d and h:
//   centre (from the start)  c = (d.x/2 - h d.y, d.y/2 + h d.x)
//   radius^2                 |d|^2 (h^2 + 1/4)
//   sweep                    2 atan2(1/2, |h|)
// with h <= -1e100 (the clockwise half circle) read as 0 for the geometry and
// as negative for the sense.
#include "exact/line_arc_seg.h"

#include "exact/line_arc_seg_prd.h"
#include "exact/running_error.h"
#include "internal/vec2.h"

#include <glimra/display.h>
#include <merrow1/int_grid_map.h>
#include <quorn/quorn.h>
#include <velte/cmem.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

const double kLineLimit = 1e100;

bool is_line_h(double h) { return h >= kLineLimit; }

// The steps both re-roundings of an arc onto a new chord (dx, dy) begin with:
// a chord under 3 grid units on both axes leaves no room for an arc (the
// piece becomes a line); a half circle takes the chord midpoint as its
// centre, exact in halves.  True when one of them settled the piece.
bool settled_by_chord(LINE_ARC_SEG_s* piece, double h, double dx, double dy) {
    if (std::fabs(dx) < 3 && std::fabs(dy) < 3) {
        piece->h = LINE_ARC_SEG_LINE_H;
        return true;
    }
    if (h == 0 || h <= -kLineLimit) {
        piece->cx = dx / 2;
        piece->cy = dy / 2;
        return true;
    }
    return false;
}

// h as the geometry reads it: the clockwise half circle has the centre of h = 0.
double geometric_h(double h) { return h <= -kLineLimit ? 0.0 : h; }

size_t record_size(double h) { return is_line_h(h) ? LINE_ARC_SEG_LINE_RECORD_SIZE : LINE_ARC_SEG_ARC_RECORD_SIZE; }

LINE_ARC_SEG_s* alloc_record(CMEM_pool_s* pool, double h, int line) {
    return static_cast<LINE_ARC_SEG_s*>(CMEM_private_alloc_in_pool(pool, 1, record_size(h), line, __FILE__));
}

// Centre vector of the arc with chord (dx, dy) and parameter h.
void centre_of(double dx, double dy, double h, double* cx, double* cy) {
    double g = geometric_h(h);
    *cx = dx / 2 - g * dy;
    *cy = dy / 2 + g * dx;
}

// sqrt(h^2 + 1/4) - |h| without cancellation for large |h|: the sagitta over
// the chord length.
double sagitta_factor(double h) {
    double a = std::fabs(h);
    return 0.25 / (std::sqrt(a * a + 0.25) + a);
}

using merrow1::cross;

// The three operations that accept a null pool each fill one static record.
LINE_ARC_SEG_s g_line_from_line;
LINE_ARC_SEG_s g_arc_from_arc;
LINE_ARC_SEG_s g_arc_from_arc_centre;

// Shared body of the two sub-arc sizings: r2 is the new radius squared and
// (vx, vy) the source centre seen from the new start.  The new centre lies
// on the bisector of the new chord e, h chords off its middle.  A narrow
// sub-arc (h^2 >= 1/4: at most a quarter circle) takes |h| from the radius,
// which fixes the distance sqrt(r^2 - |e|^2/4) from the chord well there.  A
// wider one takes the foot of the source centre on the bisector: near a half
// circle that distance is the root of a difference of nearly equal squares,
// and ends a distance u off the circle (rounded intersection points) would
// move the centre about sqrt(r u) along the bisector, where the foot moves by
// about u.  A foot on the far side of the chord (ends a hair more than a
// half circle apart) gives the half circle of the sense.
void size_sub_arc(double r2, bool ccw, double ex, double ey, double vx, double vy, double* h, PNT2_s* centre) {
    const double e2 = ex * ex + ey * ey;
    const double q = r2 / e2 - 0.25;
    double nh;
    if (q >= 0.25) {
        nh = ccw ? std::sqrt(q) : -std::sqrt(q);
    } else {
        const double foot = cross(ex, ey, vx, vy) / e2;
        if (ccw)
            nh = foot > 0 ? foot : 0.0;
        else
            nh = foot < 0 ? foot : LINE_ARC_SEG_CW_HALF_CIRCLE_H;
    }
    *h = nh;
    centre_of(ex, ey, nh, &centre->x, &centre->y);
}

// Shared body of the two creators from a source arc.
LINE_ARC_SEG_s* arc_from_arc(CMEM_pool_s* pool, LINE_ARC_SEG_s* static_record, const PNT2_s* new_start,
                             const PNT2_s* new_end, const LINE_ARC_SEG_s* source, const PNT2_s* source_start,
                             int reverse, bool from_centre, int line) {
    const bool whole = new_start->x == source_start->x && new_start->y == source_start->y &&
                       new_end->x == source->x && new_end->y == source->y;
    double h = 0;
    PNT2_s c = {0, 0};
    if (!whole) {
        if (from_centre)
            LINE_ARC_SEG__calc_sub_arc_from_centre(source_start, source, new_start, new_end, reverse, &h, &c);
        else
            LINE_ARC_SEG__calc_sub_arc(source_start, source, new_start, new_end, reverse, &h, &c);
    }
    const double record_h = whole ? source->h : h;
    LINE_ARC_SEG_s* r = pool ? alloc_record(pool, record_h, line) : static_record;
    if (!r) return nullptr;
    if (!pool) *static_record = LINE_ARC_SEG_s();
    if (whole) {
        std::memcpy(r, source, record_size(source->h));
    } else {
        r->x = new_end->x;
        r->y = new_end->y;
        r->h = h;
        r->flags = source->flags;
        if (!is_line_h(h)) {
            r->cx = c.x;
            r->cy = c.y;
        }
    }
    if (!from_centre) r->flags &= ~LINE_ARC_SEG_FLAG_MULTIPLICITY;
    return r;
}

}  // namespace

// ---------------------------------------------------------------------------
// Creation and copying
// ---------------------------------------------------------------------------

LINE_ARC_SEG_s* LINE_ARC_SEG_create(CMEM_pool_s* pool, const PNT2_s* start, const PNT2_s* end, double h) {
    // Without a start point no centre can be formed: the piece is a line, and
    // its h says so (a line-sized record with an arc's h would be read as an
    // arc past its end).
    if (!start && !is_line_h(h)) h = LINE_ARC_SEG_LINE_H;
    LINE_ARC_SEG_s* r = alloc_record(pool, h, __LINE__);
    if (!r) return nullptr;
    r->x = end->x;
    r->y = end->y;
    r->h = h;
    if (!is_line_h(h)) centre_of(end->x - start->x, end->y - start->y, h, &r->cx, &r->cy);
    return r;
}

LINE_ARC_SEG_s* LINE_ARC_SEG_create_line(CMEM_pool_s* pool, const PNT2_s* end) {
    LINE_ARC_SEG_s* r = alloc_record(pool, LINE_ARC_SEG_LINE_H, __LINE__);
    if (!r) return nullptr;
    r->x = end->x;
    r->y = end->y;
    r->h = LINE_ARC_SEG_LINE_H;
    return r;
}

LINE_ARC_SEG_s* LINE_ARC_SEG_create_line_from_line(CMEM_pool_s* pool, const PNT2_s* end,
                                                   const LINE_ARC_SEG_s* templ) {
    LINE_ARC_SEG_s* r = pool ? alloc_record(pool, LINE_ARC_SEG_LINE_H, __LINE__) : &g_line_from_line;
    if (!r) return nullptr;
    if (!pool) g_line_from_line = LINE_ARC_SEG_s();
    r->x = end->x;
    r->y = end->y;
    r->h = LINE_ARC_SEG_LINE_H;
    r->flags = templ ? (templ->flags & ~LINE_ARC_SEG_FLAG_MULTIPLICITY) : 0u;
    return r;
}

LINE_ARC_SEG_s* LINE_ARC_SEG_create_arc(CMEM_pool_s* pool, const PNT2_s* start, const PNT2_s* end, double radius,
                                        int sense) {
    PNT2_s d;
    double h = LINE_ARC_SEG_calc_arc_alpha(start, end, radius, sense, &d);
    LINE_ARC_SEG_s* r = alloc_record(pool, -1.0, __LINE__);  // always an arc-sized record
    if (!r) return nullptr;
    r->x = end->x;
    r->y = end->y;
    r->h = h;
    centre_of(d.x, d.y, h, &r->cx, &r->cy);
    return r;
}

LINE_ARC_SEG_s* LINE_ARC_SEG_create_arc_from_arc(CMEM_pool_s* pool, const PNT2_s* new_start, const PNT2_s* new_end,
                                                 const LINE_ARC_SEG_s* source, const PNT2_s* source_start,
                                                 int reverse) {
    return arc_from_arc(pool, &g_arc_from_arc, new_start, new_end, source, source_start, reverse, false, __LINE__);
}

LINE_ARC_SEG_s* LINE_ARC_SEG_create_arc_from_arc_centre(CMEM_pool_s* pool, const PNT2_s* new_start,
                                                        const PNT2_s* new_end, const LINE_ARC_SEG_s* source,
                                                        const PNT2_s* source_start, int reverse) {
    return arc_from_arc(pool, &g_arc_from_arc_centre, new_start, new_end, source, source_start, reverse, true,
                        __LINE__);
}

LINE_ARC_SEG_s* LINE_ARC_SEG_copy(const LINE_ARC_SEG_s* piece, CMEM_pool_s* pool) {
    if (!piece) return nullptr;
    const size_t size = record_size(piece->h);
    void* r = pool ? CMEM_private_alloc_in_pool(pool, 1, size, __LINE__, __FILE__)
                   : CMEM_private_alloc_in_same_pool(piece, 1, size, __LINE__, __FILE__);
    if (!r) return nullptr;
    std::memcpy(r, piece, size);
    return static_cast<LINE_ARC_SEG_s*>(r);
}

LINE_ARC_SEG_s* LINE_ARC_SEG_split_arc(LINE_ARC_SEG_s* arc, const PNT2_s* start, CMEM_pool_s* pool) {
    if (is_line_h(arc->h)) return nullptr;
    const double dx = arc->x - start->x, dy = arc->y - start->y;
    const double g = geometric_h(arc->h);
    // The midpoint of the sweep lies on the perpendicular bisector of the
    // chord, a sagitta away from the chord on the side away from the centre:
    // to the right of the chord for h >= 0, to the left for h < 0.
    const double s = sagitta_factor(g);
    const double side = arc->h >= 0 ? 1.0 : -1.0;
    const PNT2_s mid_rel = {dx / 2 + side * s * dy, dy / 2 - side * s * dx};
    // Half the sweep: with tan(sweep/2) = 1/(2|h|) and the identity
    // cot(x/2) = cot x + csc x, the halves have |h'| = |h| + sqrt(h^2 + 1/4).
    const double half_h = std::copysign(std::fabs(g) + std::sqrt(g * g + 0.25), arc->h);

    LINE_ARC_SEG_s* second = alloc_record(pool, half_h, __LINE__);
    if (!second) return nullptr;
    second->x = arc->x;
    second->y = arc->y;
    second->h = half_h;
    second->cx = arc->cx - mid_rel.x;
    second->cy = arc->cy - mid_rel.y;

    arc->x = start->x + mid_rel.x;
    arc->y = start->y + mid_rel.y;
    arc->h = half_h;
    return second;
}

// ---------------------------------------------------------------------------
// Arc data and measures
// ---------------------------------------------------------------------------

void LINE_ARC_SEG_calc_arc_data(const LINE_ARC_SEG_s* arc, const PNT2_s* start, PNT2_s* centre, double* radius,
                                double* sweep) {
    const double dx = arc->x - start->x, dy = arc->y - start->y;
    const double g = geometric_h(arc->h);
    if (centre) {
        centre->x = start->x + arc->cx;
        centre->y = start->y + arc->cy;
    }
    if (radius) *radius = std::sqrt((dx * dx + dy * dy) * (g * g + 0.25));
    if (sweep) *sweep = 2 * std::atan2(0.5, std::fabs(g));
}

double LINE_ARC_SEG_calc_arc_alpha(const PNT2_s* start, const PNT2_s* end, double radius, int sense,
                                   PNT2_s* chord) {
    const double dx = end->x - start->x, dy = end->y - start->y;
    if (chord) {
        chord->x = dx;
        chord->y = dy;
    }
    const double len2 = dx * dx + dy * dy;
    if (len2 == 0) return LINE_ARC_SEG_LINE_H;
    const double q = radius * radius / len2 - 0.25;
    if (sense != 0) return q > 0 ? std::sqrt(q) : 0.0;
    return q > 0 ? -std::sqrt(q) : LINE_ARC_SEG_CW_HALF_CIRCLE_H;
}

void LINE_ARC_SEG_update_centre(LINE_ARC_SEG_s* arc, const PNT2_s* vector) {
    arc->cx -= vector->x;
    arc->cy -= vector->y;
}

double LINE_ARC_SEG_reversed_h(double h) {
    if (h <= -1e100) return 0.0;
    if (h == 0.0) return LINE_ARC_SEG_CW_HALF_CIRCLE_H;
    return -h;
}

void LINE_ARC_SEG_set_centre(LINE_ARC_SEG_s* arc, const PNT2_s* new_start) {
    if (is_line_h(arc->h)) return;
    centre_of(arc->x - new_start->x, arc->y - new_start->y, arc->h, &arc->cx, &arc->cy);
}

double* LINE_ARC_SEG_arc_centre(LINE_ARC_SEG_s* arc) { return &arc->cx; }

double LINE_ARC_SEG_arc_length(const PNT2_s* start, const LINE_ARC_SEG_s* piece) {
    const double dx = piece->x - start->x, dy = piece->y - start->y;
    const double g = geometric_h(piece->h);
    return 2 * std::atan2(0.5, std::fabs(g)) * std::sqrt((dx * dx + dy * dy) * (g * g + 0.25));
}

double LINE_ARC_SEG_sub_arc_length(const PNT2_s* a, const PNT2_s* b, const LINE_ARC_SEG_s* arc,
                                   const PNT2_s* start) {
    const double dx = arc->x - start->x, dy = arc->y - start->y;
    const double g = geometric_h(arc->h);
    const double r2 = (dx * dx + dy * dy) * (g * g + 0.25);
    const double ex = a->x - b->x, ey = a->y - b->y;
    double c = 1 - (ex * ex + ey * ey) / (2 * r2);
    if (c < -1) c = -1;
    return std::sqrt(r2) * std::acos(c);
}

void LINE_ARC_SEG_tangents(const LINE_ARC_SEG_s* piece, const PNT2_s* start, PNT2_s* start_tangent,
                           PNT2_s* end_tangent) {
    const double dx = piece->x - start->x, dy = piece->y - start->y;
    if (is_line_h(piece->h)) {
        *start_tangent = {dx, dy};
        *end_tangent = {dx, dy};
        return;
    }
    // The tangent is the radius vector turned a quarter towards the travel:
    // left of (start - centre) for counter-clockwise arcs, right for clockwise.
    const double s = piece->h >= 0 ? -1.0 : 1.0;
    const PNT2_s t0 = {-s * piece->cy, s * piece->cx};
    *start_tangent = t0;
    *end_tangent = {t0.x + s * dy, t0.y - s * dx};
}

double LINE_ARC_SEG_calc_param(const PNT2_s* start, const LINE_ARC_SEG_s* piece, const PNT2_s* point) {
    const double tol = EQ_ask_length_tolerance();
    double t;
    if (is_line_h(piece->h)) {
        const double dx = piece->x - start->x, dy = piece->y - start->y;
        const bool along_x = std::fabs(dx) >= std::fabs(dy);
        const double dd = along_x ? dx : dy;
        const double dp = along_x ? point->x - start->x : point->y - start->y;
        t = std::fabs(dd) < tol ? 0.0 : dp / dd;
    } else {
        const double len = LINE_ARC_SEG_arc_length(start, piece);
        t = len < tol ? 0.0 : LINE_ARC_SEG_sub_arc_length(start, point, piece, start) / len;
    }
    if (!(t > 0)) return 0.0;  // also not a number
    return t < 1 ? t : 1.0;
}

double LINE_ARC_SEG_calc_nearest_param(const PNT2_s* start, const LINE_ARC_SEG_s* piece, const PNT2_s* point) {
    const double dx = piece->x - start->x, dy = piece->y - start->y;
    const double px = point->x - start->x, py = point->y - start->y;
    const double proj = px * dx + py * dy;
    const double len2 = dx * dx + dy * dy;
    if (is_line_h(piece->h)) {
        const double t = proj / len2;
        if (!(t > 0)) return 0.0;  // also a zero chord
        return t < 1 ? t : 1.0;
    }
    // Everything relative to the centre.
    const double sx = -piece->cx, sy = -piece->cy;      // start - centre
    const double ex = dx - piece->cx, ey = dy - piece->cy;  // end - centre
    const double vx = px - piece->cx, vy = py - piece->cy;  // point - centre
    const double vlen = std::sqrt(vx * vx + vy * vy);
    if (vlen == 0) return 0.0;
    const double cs = cross(sx, sy, vx, vy), ce = cross(ex, ey, vx, vy);
    const bool inside = piece->h >= 0 ? (cs > 0 && ce < 0) : (cs < 0 && ce > 0);
    const bool past_half = proj > len2 / 2;
    if (!inside) return past_half ? 1.0 : 0.0;
    double radius, sweep;
    LINE_ARC_SEG_calc_arc_data(piece, start, nullptr, &radius, &sweep);
    const double c = past_half ? ce : cs;
    const double angle = std::asin(std::min(1.0, std::fabs(c) / (radius * vlen)));
    if (past_half) return std::max(0.0, 1 - angle / sweep);
    return std::min(1.0, angle / sweep);
}

void LINE_ARC_SEG_calc_sub_arc_point(const PNT2_s* start, const LINE_ARC_SEG_s* arc, const PNT2_s* a,
                                     const PNT2_s* b, double t, PNT2_s* point) {
    const double ex = b->x - a->x, ey = b->y - a->y;
    if (t <= 0 || (ex == 0 && ey == 0)) {
        *point = *a;
        return;
    }
    if (t >= 1) {
        *point = *b;
        return;
    }
    // The sub-arc from a to b in the chord frame of a-b: its centre sits at
    // (1/2, h_ab) in units of the chord, its radius is sqrt(q) chords.
    double radius;
    LINE_ARC_SEG_calc_arc_data(arc, start, nullptr, &radius, nullptr);
    const double q = radius * radius / (ex * ex + ey * ey);
    const double theta = std::acos(std::max(-1.0, 1 - 1 / (2 * q)));
    double h_ab = arc->h;
    const bool whole = a->x == start->x && a->y == start->y && b->x == arc->x && b->y == arc->y;
    if (!whole) {
        PNT2_s unused;
        LINE_ARC_SEG__calc_sub_arc(start, arc, a, b, 0, &h_ab, &unused);
    }
    h_ab = geometric_h(h_ab);
    const double sq = std::sqrt(q);
    const double x = theta * (t - 0.5);
    const double along = 0.5 + sq * std::sin(x);
    const double across = (arc->h >= 0 ? sq : -sq) * std::cos(x) - h_ab;
    if (along <= 0) {
        *point = *a;
        return;
    }
    if (along >= 1) {
        *point = *b;
        return;
    }
    // a + along (b - a) - across (b - a turned a quarter left)
    point->x = a->x + along * ex + across * ey;
    point->y = a->y + along * ey - across * ex;
}

void LINE_ARC_SEG__calc_sub_arc(const PNT2_s* source_start, const LINE_ARC_SEG_s* source, const PNT2_s* new_start,
                                const PNT2_s* new_end, int reverse, double* h, PNT2_s* centre) {
    const double ex = new_end->x - new_start->x, ey = new_end->y - new_start->y;
    if (ex == 0 && ey == 0) {
        *h = LINE_ARC_SEG_LINE_H;
        *centre = {0, 0};
        return;
    }
    const double dx = source->x - source_start->x, dy = source->y - source_start->y;
    const double g = geometric_h(source->h);
    const bool ccw = (source->h >= 0) != (reverse != 0);
    double cx, cy;
    centre_of(dx, dy, source->h, &cx, &cy);
    size_sub_arc((dx * dx + dy * dy) * (g * g + 0.25), ccw, ex, ey, source_start->x + cx - new_start->x,
                 source_start->y + cy - new_start->y, h, centre);
}

void LINE_ARC_SEG__calc_sub_arc_from_centre(const PNT2_s* source_start, const LINE_ARC_SEG_s* source,
                                            const PNT2_s* new_start, const PNT2_s* new_end, int reverse, double* h,
                                            PNT2_s* centre) {
    const double ex = new_end->x - new_start->x, ey = new_end->y - new_start->y;
    if ((ex == 0 && ey == 0) || is_line_h(source->h)) {
        *h = LINE_ARC_SEG_LINE_H;
        *centre = {0, 0};
        return;
    }
    const double mx = source_start->x + source->cx, my = source_start->y + source->cy;
    const double ax = new_start->x - mx, ay = new_start->y - my;
    const double bx = new_end->x - mx, by = new_end->y - my;
    const double r2 = std::max(ax * ax + ay * ay, bx * bx + by * by);
    const bool ccw = (source->h >= 0) != (reverse != 0);
    size_sub_arc(r2, ccw, ex, ey, -ax, -ay, h, centre);
}

void LINE_ARC_SEG_trim(const PNT2_s* start, LINE_ARC_SEG_s* piece, const PNT2_s* new_start,
                       const PNT2_s* new_end) {
    if (!is_line_h(piece->h)) {
        double h;
        PNT2_s c;
        LINE_ARC_SEG__calc_sub_arc(start, piece, new_start, new_end, 0, &h, &c);
        piece->h = h;
        if (!is_line_h(h)) {
            piece->cx = c.x;
            piece->cy = c.y;
        }
    }
    piece->x = new_end->x;
    piece->y = new_end->y;
}

// ---------------------------------------------------------------------------
// Boxes
// ---------------------------------------------------------------------------

namespace {

void grow(double box[4], double x, double y) {
    box[LINE_ARC_SEG_BOX_XMIN] = std::min(box[LINE_ARC_SEG_BOX_XMIN], x);
    box[LINE_ARC_SEG_BOX_XMAX] = std::max(box[LINE_ARC_SEG_BOX_XMAX], x);
    box[LINE_ARC_SEG_BOX_YMIN] = std::min(box[LINE_ARC_SEG_BOX_YMIN], y);
    box[LINE_ARC_SEG_BOX_YMAX] = std::max(box[LINE_ARC_SEG_BOX_YMAX], y);
}

// One axis extreme of an arc.  u is the axis being bounded, v the other: the
// circle reaches its u-extreme at the centre's v; the arc (at most a half
// circle) passes there exactly when the centre's v lies between the ends' v.
// Returns false when the arc does not reach it; else the offset from the
// start and whether it is a minimum.
bool arc_extreme(double cu, double cv, double dv, double r, bool minimum, bool whole, double* offset) {
    const double widen = std::fabs(cv) * 3.34e-16;
    const double lo = std::min(0.0, dv) - widen, hi = std::max(0.0, dv) + widen;
    if (!(cv > lo && cv < hi)) return false;
    double value;
    // cu -+ r, formed without cancellation where cu and r nearly cancel
    // (r^2 = cu^2 + cv^2).
    if (minimum)
        value = cu > 0 ? -cv * cv / (r + cu) : cu - r;
    else
        value = cu < 0 ? -cv * cv / (cu - r) : cu + r;
    value += (minimum ? -1 : 1) * std::fabs(value) * 2.22e-15;
    if (whole && value != std::trunc(value)) value = minimum ? std::floor(value) : std::ceil(value);
    *offset = value;
    return true;
}

}  // namespace

void LINE_ARC_SEG_get_bbox(const LINE_ARC_SEG_s* piece, const PNT2_s* start, bool whole, double box[4]) {
    box[LINE_ARC_SEG_BOX_XMIN] = box[LINE_ARC_SEG_BOX_XMAX] = start->x;
    box[LINE_ARC_SEG_BOX_YMIN] = box[LINE_ARC_SEG_BOX_YMAX] = start->y;
    grow(box, piece->x, piece->y);
    if (is_line_h(piece->h)) return;
    const double dx = piece->x - start->x, dy = piece->y - start->y;
    double r;
    LINE_ARC_SEG_calc_arc_data(piece, start, nullptr, &r, nullptr);
    const bool cw = piece->h < 0;
    double offset;
    // x extreme: the minimum when (d.y > 0) equals (h < 0).
    const bool xmin = (dy > 0) == cw;
    if (arc_extreme(piece->cx, piece->cy, dy, r, xmin, whole, &offset)) {
        const double x = start->x + offset;
        if (xmin)
            box[LINE_ARC_SEG_BOX_XMIN] = std::min(box[LINE_ARC_SEG_BOX_XMIN], x);
        else
            box[LINE_ARC_SEG_BOX_XMAX] = std::max(box[LINE_ARC_SEG_BOX_XMAX], x);
    }
    // y extreme: the maximum when (d.x > 0) equals (h < 0).
    const bool ymin = (dx > 0) != cw;
    if (arc_extreme(piece->cy, piece->cx, dx, r, ymin, whole, &offset)) {
        const double y = start->y + offset;
        if (ymin)
            box[LINE_ARC_SEG_BOX_YMIN] = std::min(box[LINE_ARC_SEG_BOX_YMIN], y);
        else
            box[LINE_ARC_SEG_BOX_YMAX] = std::max(box[LINE_ARC_SEG_BOX_YMAX], y);
    }
}

void LINE_ARC_SEG_quick_expand_bbox(const LINE_ARC_SEG_s* piece, const PNT2_s* start, double box[4]) {
    grow(box, start->x, start->y);
    grow(box, piece->x, piece->y);
    if (is_line_h(piece->h)) return;
    // An arc of at most a half circle bulges at most half its chord away from
    // the chord, on its right for h >= 0 and its left for h < 0.
    const double dx = piece->x - start->x, dy = piece->y - start->y;
    const double s = piece->h >= 0 ? 1.0 : -1.0;
    const double bx = s * dy / 2, by = -s * dx / 2;
    if (bx > 0)
        box[LINE_ARC_SEG_BOX_XMAX] = std::max(box[LINE_ARC_SEG_BOX_XMAX], std::max(start->x, piece->x) + bx);
    else
        box[LINE_ARC_SEG_BOX_XMIN] = std::min(box[LINE_ARC_SEG_BOX_XMIN], std::min(start->x, piece->x) + bx);
    if (by > 0)
        box[LINE_ARC_SEG_BOX_YMAX] = std::max(box[LINE_ARC_SEG_BOX_YMAX], std::max(start->y, piece->y) + by);
    else
        box[LINE_ARC_SEG_BOX_YMIN] = std::min(box[LINE_ARC_SEG_BOX_YMIN], std::min(start->y, piece->y) + by);
}

// ---------------------------------------------------------------------------
// Approximate intersection with an infinite line
// ---------------------------------------------------------------------------

int LINE_ARC_SEG_approx_intxn_with_line(const PNT2_s* start, const LINE_ARC_SEG_s* piece, const PNT2_s* p,
                                        const PNT2_s* u, double tol, PNT2_s points[2]) {
    const PNT2_s end = {piece->x, piece->y};
    const double uu = u->x * u->x + u->y * u->y;
    // 1. Signed distances (times |u|) of the ends; ends within tol lie on it.
    double s0 = cross(u->x, u->y, start->x - p->x, start->y - p->y);
    double s1 = cross(u->x, u->y, end.x - p->x, end.y - p->y);
    const double limit = uu * tol * tol;
    const bool on0 = s0 * s0 < limit, on1 = s1 * s1 < limit;
    int n = 0;
    if (on0) {
        points[n++] = *start;
        s0 = 0;
    }
    if (on1) {
        points[n++] = end;
        s1 = 0;
    }
    if (on0 && on1) {
        const double t0 = u->x * (start->x - p->x) + u->y * (start->y - p->y);
        const double t1 = u->x * (end.x - p->x) + u->y * (end.y - p->y);
        if (t1 < t0) std::swap(points[0], points[1]);
        return 2;
    }
    // 2. A line crosses when its ends lie on opposite sides.
    if (is_line_h(piece->h)) {
        if (n == 0 && (s0 > 0) != (s1 > 0)) {
            const double t = s0 / (s0 - s1);
            points[0] = {start->x + t * (end.x - start->x), start->y + t * (end.y - start->y)};
            return 1;
        }
        return n;
    }
    // The circle against the line: t0 the foot of the centre on the line (in
    // units of u), disc the squared half chord of the circle on the line.
    PNT2_s centre;
    double r;
    LINE_ARC_SEG_calc_arc_data(piece, start, &centre, &r, nullptr);
    const double mx = centre.x - p->x, my = centre.y - p->y;
    const double t0 = (u->x * mx + u->y * my) / uu;
    const double dist = cross(u->x, u->y, mx, my);
    const double disc = r * r - dist * dist / uu;
    const bool ccw = piece->h >= 0;
    // 3. Ends strictly on opposite sides: one crossing.
    if (n == 0 && s0 != 0 && s1 != 0 && (s0 > 0) != (s1 > 0)) {
        const double sq = disc > 0 ? std::sqrt(disc / uu) : 0.0;
        const double t = ((s0 < 0) != ccw) ? t0 - sq : t0 + sq;
        points[0] = {p->x + t * u->x, p->y + t * u->y};
        return 1;
    }
    // 4. Both ends on one side (or one on the line): two crossings when the
    // arc bulges over the line between its ends.
    const double ps = u->x * (start->x - centre.x) + u->y * (start->y - centre.y);
    const double pe = u->x * (end.x - centre.x) + u->y * (end.y - centre.y);
    const bool opposite = (ps > 0 && pe < 0) || (ps < 0 && pe > 0);
    const bool towards = (s0 > 0 || s1 > 0) == ((ps < 0) == ccw);
    if (disc >= 0 && opposite && towards) {
        const double sq = std::sqrt(disc / uu);
        const PNT2_s first = {p->x + (t0 - sq) * u->x, p->y + (t0 - sq) * u->y};
        const PNT2_s second = {p->x + (t0 + sq) * u->x, p->y + (t0 + sq) * u->y};
        if (on0) {
            if (ps < 0)
                points[1] = second;  // the start stays first
            else {
                points[1] = points[0];
                points[0] = first;
            }
        } else if (on1) {
            if (pe < 0)
                points[1] = second;
            else {
                points[1] = points[0];
                points[0] = first;
            }
        } else {
            points[0] = first;
            points[1] = second;
        }
        return 2;
    }
    return n;
}

// ---------------------------------------------------------------------------
// Display
// ---------------------------------------------------------------------------

namespace {

int grid_int(double v) { return static_cast<int>(std::trunc(v)); }

void get_point_from_grid(const INT_GRID_MAP_s* map, const PNT2_s& grid, PNT2_s* real) {
    INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_2D_FROM_GRID>(map)(map, grid_int(grid.x), grid_int(grid.y), &real->x,
                                                                  &real->y);
}

}  // namespace

void LINE_ARC_SEG_display(const PNT2_s* start, const LINE_ARC_SEG_s* piece, const INT_GRID_MAP_s* map, int view,
                          int colour, int font, int width) {
    (void)view;  // the drawing goes to the active view sequence
    PNT2_s s = *start;
    LINE_ARC_SEG_s p = LINE_ARC_SEG_s();
    std::memcpy(&p, piece, record_size(piece->h));
    if (map) {
        get_point_from_grid(map, *start, &s);
        LINE_ARC_SEG_get_from_grid(&p, map);
    }
    const tag_t tag = DISPLAY_ask_tag_of_active_vseq();
    if (is_line_h(p.h)) {
        const double points[6] = {s.x, s.y, 0.0, p.x, p.y, 0.0};
        DSS_TEMP_display_polyline(tag, colour, font, width, 3, 2, points);
        return;
    }
    PNT2_s centre;
    double radius, sweep;
    LINE_ARC_SEG_calc_arc_data(&p, &s, &centre, &radius, &sweep);
    // The host draws counter-clockwise from the frame's x axis: from the start
    // of a counter-clockwise arc, from the end of a clockwise one.
    const PNT2_s from = p.h >= 0 ? s : PNT2_s{p.x, p.y};
    double ax[2] = {from.x - centre.x, from.y - centre.y}, x_axis[2];
    double len;
    if (!VEC2_unitize(ax, 0.0, &len, x_axis)) {
        x_axis[0] = 1;
        x_axis[1] = 0;
    }
    const double matrix[9] = {x_axis[0], x_axis[1], 0.0, -x_axis[1], x_axis[0], 0.0, 0.0, 0.0, 1.0};
    const double c3[3] = {centre.x, centre.y, 0.0};
    DSS_TEMP_display_arc(tag, colour, font, width, matrix, c3, radius, 0.0, sweep);
}

void LINE_ARC_SEG_display_sub_segment(const PNT2_s* start, const LINE_ARC_SEG_s* piece, const PNT2_s* a,
                                      const PNT2_s* b, int reverse, const INT_GRID_MAP_s* map, int view, int colour,
                                      int font, int width) {
    if (is_line_h(piece->h)) {
        LINE_ARC_SEG_s line = LINE_ARC_SEG_s();
        line.x = b->x;
        line.y = b->y;
        line.h = LINE_ARC_SEG_LINE_H;
        LINE_ARC_SEG_display(a, &line, map, view, colour, font, width);
        return;
    }
    const LINE_ARC_SEG_s* sub = LINE_ARC_SEG_create_arc_from_arc(nullptr, a, b, piece, start, reverse);
    LINE_ARC_SEG_display(a, sub, map, view, colour, font, width);
}

// ---------------------------------------------------------------------------
// Grid rounding
// ---------------------------------------------------------------------------

namespace {

// Base-2 logarithm through the exact arithmetic's factor 1/ln 2, so that the
// grid rounding and the exact tests see the same exponents.
double log2_of(double v) { return std::log(v) * LINE_ARC_SEG__recip_log2; }

// Exponent k of the dyadic grid of h.  With 2^k <= 2 (0.15 c / |h|), the
// whole number h 2^k stays below 0.3 c, under 2^31 for any chord of a 31-bit
// grid (c < 2^31.5); with 2^k <= 2 c, h is kept to the precision that the
// chord can resolve.  |h| <= c/8 and c >= 3 make k >= 1.
double h_exponent(double h, double c) {
    return std::min(std::trunc(log2_of(std::fabs(0.15 * c / h)) + 1), std::trunc(log2_of(c) + 1));
}

// Centre vector component a + b c (a = half a chord component, b = +-h,
// c = the other chord component), recomputed through the split product when
// the plain sum cancels below the size of both terms.
double centre_component(double a, double b, double c) {
    const double product = b * c;
    const double plain = a + product;
    if (std::fabs(plain) < std::fabs(a) && std::fabs(plain) < std::fabs(product))
        return LINE_ARC_SEG__mth_centre_calc(a, b, c);
    return plain;
}

// Stores the rounded h and the centre vector it gives; a clockwise arc whose h
// became 0 stays clockwise as the half circle -1e101.
void store_rounded(LINE_ARC_SEG_s* piece, double h, bool was_negative, double dx, double dy) {
    piece->cx = centre_component(dx / 2, -h, dy);
    piece->cy = centre_component(dy / 2, h, dx);
    piece->h = (h == 0 && was_negative) ? LINE_ARC_SEG_CW_HALF_CIRCLE_H : h;
}

// Pushes h away from zero so that, to first order, the arc's midpoint moves
// 2.5 grid units towards its chord; q is h^2 + 1/4 (or the material-side
// rounding's mean squared radius in chords).
double push_to_side(double h, bool negative, double q, double c) {
    return negative ? h + (h * std::sqrt(q) - q) * 10 / c : h + (h * std::sqrt(q) + q) * 10 / c;
}

}  // namespace

void LINE_ARC_SEG_put_to_grid(LINE_ARC_SEG_s* piece, const PNT2_s* start, const INT_GRID_MAP_s* map, bool side) {
    int gx, gy;
    INT_GRID_MAP_method<INT_GRID_MAP_SLOT_PUT_2D_TO_GRID>(map)(map, piece->x, piece->y, &gx, &gy);
    piece->x = gx;
    piece->y = gy;
    if (!is_line_h(piece->h)) LINE_ARC_SEG_reround_arc(start, piece, side);
}

void LINE_ARC_SEG_reround_arc(const PNT2_s* start, LINE_ARC_SEG_s* piece, bool side) {
    double h = piece->h;
    // 1. Lines stay lines.
    if (is_line_h(h)) return;
    const double dx = piece->x - start->x, dy = piece->y - start->y;
    // 2. A chord under 3 grid units on both axes leaves no room for an arc.
    // 3. Half circles: the centre is the chord midpoint, exact in halves.
    if (settled_by_chord(piece, h, dx, dy)) return;
    const bool negative = h < 0;
    const double c = std::sqrt(dx * dx + dy * dy);
    // 4. Material side: draw the midpoint towards the chord.
    if (side) h = push_to_side(h, negative, h * h + 0.25, c);
    // 5. A sagitta below one grid unit (|h| > c/8): a line.
    if (negative ? h < -c / 8 : h > c / 8) {
        piece->h = LINE_ARC_SEG_LINE_H;
        return;
    }
    // 6. h towards zero onto the dyadic grid 2^-k.
    const double k = h_exponent(h, c);
    h = std::ldexp(std::trunc(std::ldexp(h, static_cast<int>(k))), -static_cast<int>(k));
    // 7, 8. Centre vector; -1e101 for a clockwise arc rounded to 0.
    store_rounded(piece, h, negative, dx, dy);
}

bool LINE_ARC_SEG_step_rounded_arc(const PNT2_s* start, LINE_ARC_SEG_s* piece, int steps) {
    if (is_line_h(piece->h)) return false;
    // A half circle (0 or the clockwise -1e101) can only be flattened.
    const bool negative = piece->h < 0;
    const double h = geometric_h(piece->h);
    const double dx = piece->x - start->x, dy = piece->y - start->y;
    const double c = std::sqrt(dx * dx + dy * dy);
    // The unit of the dyadic grid the re-rounding puts h on (step 6); a
    // multiple of it stays on that grid.
    const double unit = std::ldexp(1.0, -static_cast<int>(h_exponent(h, c)));
    const double moved = h + (negative ? -steps : steps) * unit;
    // The same sense, and no flatter than the re-rounding keeps an arc.
    if (!(c > 0) || (negative ? !(moved < 0 && moved >= -c / 8) : !(moved > 0 && moved <= c / 8))) return false;
    store_rounded(piece, moved, negative, dx, dy);
    return true;
}

void LINE_ARC_SEG_get_from_grid(LINE_ARC_SEG_s* piece, const INT_GRID_MAP_s* map) {
    PNT2_s end;
    get_point_from_grid(map, PNT2_s{piece->x, piece->y}, &end);
    piece->x = end.x;
    piece->y = end.y;
    if (!is_line_h(piece->h)) {
        double cx, cy;
        INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_2D_VEC_FROM_GRID>(map)(map, piece->cx, piece->cy, &cx, &cy);
        piece->cx = cx;
        piece->cy = cy;
    }
}

namespace {

// Working state of the material-side rounding of one shared point.
struct SharedPoint {
    const INT_GRID_MAP_s* map;
    PNT2_s end;  // the real point being rounded
    double g;    // grid size

    PNT2_s offset(int gx, int gy) const {
        double px, py;
        INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_2D_FROM_GRID>(map)(map, gx, gy, &px, &py);
        return {px - end.x, py - end.y};
    }
    // Per axis, one unit towards m unless the offset already points strictly
    // that way.
    void move_towards(const double m[2], int* gx, int* gy) const {
        const PNT2_s o = offset(*gx, *gy);
        if (m[0] > 0 && o.x <= 0) ++*gx;
        if (m[0] < 0 && o.x >= 0) --*gx;
        if (m[1] > 0 && o.y <= 0) ++*gy;
        if (m[1] < 0 && o.y >= 0) --*gy;
    }
    double along(const double n[2], int gx, int gy) const {
        const PNT2_s o = offset(gx, gy);
        return n[0] * o.x + n[1] * o.y;
    }
};

// Unit normal at the shared point, pointing to the material side; false when
// the piece is absent or too short to have one.  For an arc the normal is
// the radius direction at that point, for a line the chord turned a quarter.
bool material_normal(double dx, double dy, double h, bool at_end, bool side, double tol, double u[2],
                     double* length) {
    double n[2];
    const double g = geometric_h(h);
    if (is_line_h(h)) {
        n[0] = -dy;
        n[1] = dx;
    } else if (at_end) {  // end to centre
        n[0] = -dx / 2 - g * dy;
        n[1] = g * dx - dy / 2;
    } else {  // start to centre
        n[0] = dx / 2 - g * dy;
        n[1] = g * dx + dy / 2;
    }
    if (side == (h >= 0)) {
        n[0] = -n[0];
        n[1] = -n[1];
    }
    return VEC2_unitize(n, tol, length, u) != 0;
}

}  // namespace

LINE_ARC_SEG_s* LINE_ARC_SEG_put_end_to_grid(LINE_ARC_SEG_s* piece, const PNT2_s* start, bool side,
                                             const LINE_ARC_SEG_s* next, const PNT2_s* next_end, bool next_side,
                                             const INT_GRID_MAP_s* map, CMEM_pool_s* pool,
                                             const PNT2_s* preferred) {
    SharedPoint sp{map, {piece->x, piece->y}, 0.0};
    sp.g = INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_GRID_SIZE>(map)(map, 0);
    const double tol = 0.01 * sp.g;

    // 1. Normal of the piece at its end (its start is on the grid).
    double u1[2] = {0, 0}, l1 = 0;
    bool has1 = false;
    if (start) {
        PNT2_s s;
        get_point_from_grid(map, *start, &s);
        has1 = material_normal(sp.end.x - s.x, sp.end.y - s.y, piece->h, true, side, tol, u1, &l1);
    }
    // 2. Normal of the next piece at its start.
    double u2[2] = {0, 0}, l2 = 0;
    bool has2 = false;
    if (next) {
        const PNT2_s e = next_end ? *next_end : PNT2_s{next->x, next->y};
        has2 = material_normal(e.x - sp.end.x, e.y - sp.end.y, next->h, false, next_side, tol, u2, &l2);
    }
    auto accepted = [&](int gx, int gy) {
        return (!has1 || sp.along(u1, gx, gy) > tol) && (!has2 || sp.along(u2, gx, gy) > tol);
    };

    // 2a. The preferred point, when it serves both pieces.
    if (preferred && accepted(static_cast<int>(preferred->x), static_cast<int>(preferred->y))) {
        piece->x = preferred->x;
        piece->y = preferred->y;
        return nullptr;
    }

    // 3. The nearest grid point, moved towards both material sides.
    const double m[2] = {u1[0] + u2[0], u1[1] + u2[1]};
    int rx, ry;
    INT_GRID_MAP_method<INT_GRID_MAP_SLOT_PUT_2D_TO_GRID>(map)(map, sp.end.x, sp.end.y, &rx, &ry);
    int gx = rx, gy = ry;
    sp.move_towards(m, &gx, &gy);

    // 4. One further step along m's larger axis (and the other axis when m
    //    runs within 22.5 degrees of the diagonal).
    bool ok = accepted(gx, gy);
    if (!ok) {
        const bool x_major = std::fabs(m[0]) >= std::fabs(m[1]);
        const double major = x_major ? m[0] : m[1], minor = x_major ? m[1] : m[0];
        const int step_major = major >= 0 ? 1 : -1, step_minor = minor >= 0 ? 1 : -1;
        const bool both = std::fabs(minor) >= 0.4142 * std::fabs(major);
        if (x_major) {
            gx += step_major;
            if (both) gy += step_minor;
        } else {
            gy += step_major;
            if (both) gx += step_minor;
        }
        ok = accepted(gx, gy);
    }

    // 5. A corner turning towards the common material side keeps one point.
    if (!ok && has1 && has2 && side == next_side) {
        const double turn = cross(u1[0], u1[1], u2[0], u2[1]);
        const double limit = tol * tol / (l1 * l2);
        if (side ? turn <= -limit : turn >= limit) ok = true;
    }

    LINE_ARC_SEG_s* connector = nullptr;
    if (!ok) {
        // 6. Split the point: one grid point on each piece's material side,
        //    joined by a connecting line.
        auto own_point = [&](bool has, const double n[2], int* px, int* py) {
            *px = rx;
            *py = ry;
            if (!has) return;
            sp.move_towards(n, px, py);
            if (sp.along(n, *px, *py) < tol) {
                if (std::fabs(n[0]) >= std::fabs(n[1]))
                    *px += n[0] >= 0 ? 1 : -1;
                else
                    *py += n[1] >= 0 ? 1 : -1;
            }
        };
        int ax, ay, bx, by;
        own_point(has1, u1, &ax, &ay);
        own_point(has2, u2, &bx, &by);
        gx = ax;
        gy = ay;
        if (bx != ax || by != ay) {
            const PNT2_s b = {static_cast<double>(bx), static_cast<double>(by)};
            connector = LINE_ARC_SEG_create_line_from_line(pool, &b, piece);
            if (connector) {
                connector->flags &= ~LINE_ARC_SEG_FLAGS_NOT_ON_CONNECTOR;
                connector->flags |= LINE_ARC_SEG_FLAG_INSERTED_CONNECTOR;
            }
        }
    }
    // 7. The end holds the chosen grid point.
    piece->x = gx;
    piece->y = gy;
    return connector;
}

void LINE_ARC_SEG_round_arc_material_side(LINE_ARC_SEG_s* arc, const PNT2_s* new_start, const PNT2_s* old_start,
                                          bool side, const INT_GRID_MAP_s* map) {
    double h = arc->h;
    if (is_line_h(h)) return;
    const double dx = arc->x - new_start->x, dy = arc->y - new_start->y;
    // 1. Too short for an arc; half circles keep h about the new midpoint.
    if (settled_by_chord(arc, h, dx, dy)) return;
    const bool negative = h < 0;
    // 2. h of the arc through the moved ends about the old centre, from the
    //    mean squared radius D (in chords squared) of the two ends.
    const PNT2_s centre = {old_start->x + arc->cx, old_start->y + arc->cy};
    PNT2_s s, e;
    get_point_from_grid(map, *new_start, &s);
    get_point_from_grid(map, PNT2_s{arc->x, arc->y}, &e);
    const double esx = e.x - centre.x, esy = e.y - centre.y;
    const double ssx = s.x - centre.x, ssy = s.y - centre.y;
    const double cx = e.x - s.x, cy = e.y - s.y;
    double D = (esx * esx + esy * esy + ssx * ssx + ssy * ssy) / 2 / (cx * cx + cy * cy);
    if (D - 0.25 > 0) {
        h = std::sqrt(D - 0.25);
    } else {
        h = 0;
        D = 0.25;
    }
    if (negative) h = -h;
    const double c = std::sqrt(dx * dx + dy * dy);
    // 3. Material side: push h away from zero.  Rounding then goes away from
    //    zero, except for a clockwise arc without side, which goes towards it.
    if (side) h = push_to_side(h, negative, D, c);
    const bool away = side || !negative;
    // 4. Too flat: a line, or the flattest clockwise arc kept on its side.
    if (h > c / 8) {
        arc->h = LINE_ARC_SEG_LINE_H;
        return;
    }
    if (h < -c / 8) {
        if (away) {
            arc->h = LINE_ARC_SEG_LINE_H;
            return;
        }
        h = -c / 8;
    }
    // 5. Onto the dyadic grid 2^-k, one step further out when rounding away.
    if (h != 0) {
        const int k = static_cast<int>(h_exponent(h, c));
        double m = std::trunc(std::ldexp(h, k));
        if (away) m += negative ? -1 : 1;
        h = std::ldexp(m, -k);
    }
    // 6. Centre vector; -1e101 for a clockwise arc at 0.
    store_rounded(arc, h, negative, dx, dy);
}

// ---------------------------------------------------------------------------
// Exact intersections
//
// Pieces are on the grid: whole-number end points below 2^31 (so every
// coordinate difference is a whole number below 2^32 and exact) and arc
// parameters h with h 2^k a whole number.  The true geometry of an arc is the
// one its h gives (centre vector c = (d.x/2 - h d.y, d.y/2 + h d.x)); the
// exact tests expand it from h, and the filters below compute c from h too,
// with its rounding error counted in their bounds, so that no filter depends
// on how the record's own centre vector was rounded.
//
// cross(u, v) = u.x v.y - u.y v.x throughout.
// ---------------------------------------------------------------------------

namespace {
namespace ixn {

// Estimates with error bounds (exact/running_error.h).
using merrow1::exact::U;
using merrow1::exact::ex;
using merrow1::exact::sgn;
using Est = merrow1::exact::Approx;
inline Est est_sqrt(Est a) { return merrow1::exact::approx_sqrt(a); }
// The sign of the estimate when the bound decides it, else 2.
inline int decided(Est a) {
    if (std::fabs(a.v) > a.e * 1.000001) return sgn(a.v);
    if (a.e == 0) return 0;
    return 2;
}

inline double geometric_h_of(const LINE_ARC_SEG_s* arc) { return arc->h <= -1e100 ? 0.0 : arc->h; }

// The centre vector of an arc from its start, from h.
inline void centre_est(const PNT2_s* s, const LINE_ARC_SEG_s* arc, Est* cx, Est* cy) {
    const Est h = ex(geometric_h_of(arc));
    const double dx = arc->x - s->x, dy = arc->y - s->y;
    *cx = ex(dx / 2) - h * ex(dy);
    *cy = ex(dy / 2) + h * ex(dx);
}

// cross(a, b) of whole-number vectors.  plain: every coordinate is below
// 2^26 (or the products are known to be exact), the double value is exact.
// Otherwise the double value a.x b.y - a.y b.x is within 2^-53 (|a.x b.y| +
// |a.y b.x| + |value|) <= 2.2205e-16 (|a.x b.y| + |a.y b.x|) of the exact
// value, so a magnitude above 2.23e-16 times the summed products decides the
// sign; else the exact product decides.
struct Cross {
    LINE_ARC_SEG_vec2_expansion_s a, b;
    LINE_ARC_SEG_real_3_expansion_s x;
    double value = 0, error = 0;
    int sign = 0;

    Cross(double ax, double ay, double bx, double by, bool plain) : a(ax, ay), b(bx, by) {
        const double p1 = ax * by, p2 = ay * bx;
        value = p1 - p2;
        if (plain) {
            sign = sgn(value);
            return;
        }
        error = 2.23e-16 * (std::fabs(p1) + std::fabs(p2));
        if (std::fabs(value) > error) {
            sign = sgn(value);
            return;
        }
        LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_CROSS);
        exact();
        sign = sgn(value);
    }
    // Makes the exact expansion (value correctly rounded, error 2^-53 of it).
    double exact() {
        if (!x.computed) {
            value = LINE_ARC_SEG__vec2_cross_exact(&a, &b, &x);
            error = U * std::fabs(value);
        }
        return value;
    }
};

// The sign of p - q for two cross products.
int diff_sign(Cross& p, Cross& q) {
    const double v = p.value - q.value;
    const double e = p.error + q.error + U * std::fabs(v);
    if (std::fabs(v) > e * 1.000001) return sgn(v);
    if (e == 0) return 0;  // plain values: exact whole numbers below 2^53
    LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_CROSS_DIFF);
    return sgn(LINE_ARC_SEG__vec2_cross_diff_exact(&p.a, &p.b, &p.x, &q.a, &q.b, &q.x));
}

// Sign of the power of point v (relative to the arc's start, whole numbers)
// against the arc's circle: |v|^2 - 2 (v.x cx + v.y cy).
// Filter.  With the centre vector c exact, the double evaluation rounds 7
// times; its error is below 7 x 2^-53 (|v|^2 + |v.x cx| + |v.y cy|) plus
// second-order terms, inside 1e-15 (|v.x cx| + |v|^2 + |v.y cy|).  The centre
// vector is rounded, though: cx = fl(d.x/2 - fl(h d.y)) is within
// 2^-53 (|h d.y| + |cx|) (1 + 2^-52) of its exact value (d.x/2 is exact), and
// likewise cy, so the power moves by at most 2 |v.x| |cx err| + 2 |v.y| |cy err|
// <= 2.23e-16 (|v.x| (|h d.y| + |cx|) + |v.y| (|h d.x| + |cy|)); 2.3e-16 of
// it is added to the bound.  A magnitude at or above the sum decides (a bound
// of 0 means v = 0: the arc's start, power exactly 0).
int power_sign(double vx, double vy, const PNT2_s* s, const LINE_ARC_SEG_s* arc,
               LINE_ARC_SEG_centre_expansion_s* ce) {
    const double h = geometric_h_of(arc);
    const double dx = arc->x - s->x, dy = arc->y - s->y;
    const double hdy = h * dy, hdx = h * dx;
    const double cx = dx / 2 - hdy, cy = dy / 2 + hdx;
    const double v2 = vx * vx + vy * vy;
    const double value = v2 - 2 * (vx * cx + vy * cy);
    const double bound = 1e-15 * (std::fabs(vx * cx) + v2 + std::fabs(vy * cy)) +
                         2.3e-16 * (std::fabs(vx) * (std::fabs(hdy) + std::fabs(cx)) +
                                    std::fabs(vy) * (std::fabs(hdx) + std::fabs(cy)));
    if (std::fabs(value) >= bound && (bound > 0 || value == 0)) return sgn(value);
    LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_POWER);
    LINE_ARC_SEG_vec2_expansion_s v(vx, vy);
    return sgn(LINE_ARC_SEG__mth_exact_incircle(&v, s, arc, ce));
}

// Rounds a coordinate estimate p (relative to a grid point, true value
// within err of p) to the grid, halves upward.  With err below 1/2, the
// estimate's nearest whole number g is the answer unless p lies within err of
// the half-way value g +- 1/2; then `check(above, &g)` decides exactly between
// g and its neighbour.
template <class Check>
double round_coordinate(double p, double err, Check check) {
    double g = p >= 0 ? std::trunc(p + 0.5) : std::trunc(p - 0.5);
    const double band = 0.5 - err * 1.000001;
    if (p - g >= band)
        check(1, &g);
    else if (g - p >= band)
        check(0, &g);
    return g;
}

inline bool same_point(const PNT2_s& p, const PNT2_s& q) { return p.x == q.x && p.y == q.y; }

}  // namespace ixn
}  // namespace

int LINE_ARC_SEG_intxn_flag_for_other_order(int flag) {
    if (flag & LINE_ARC_SEG_INTXN_TANGENT) return flag;
    return flag ^ LINE_ARC_SEG_INTXN_SIDE;
}

// Two lines, d_a = end a - start a, d_b = end b - start b, w = start b -
// start a.  The point is start a + t d_a = start b + s d_b with
// t = cross(w, d_b) / cross(d_a, d_b) and s = cross(w, d_a) / cross(d_a, d_b).
int LINE_ARC_SEG_ixn_ll_intersect(const LINE_ARC_SEG_s* a, const PNT2_s* start_a, const LINE_ARC_SEG_s* b,
                                  const PNT2_s* start_b, double bound, PNT2_s points[2], int flags[2]) {
    using namespace ixn;
    const bool plain = bound < 47453132.0;
    const double dax = a->x - start_a->x, day = a->y - start_a->y;
    const double dbx = b->x - start_b->x, dby = b->y - start_b->y;
    const double wx = start_b->x - start_a->x, wy = start_b->y - start_a->y;
    // 1. Adjacent pieces meet at their shared vertex, which is not a result,
    //    unless b folds back along a.  The dot product decides only for
    //    non-collinear pieces when it is rounded (collinear pieces have
    //    |d_a . d_b| = |d_a| |d_b|), and those give 0 either way.
    if (flags[0] || flags[1]) {
        if (dax * dbx + day * dby >= 0) {
            flags[0] = flags[1] = 0;
            return 0;
        }
        const Cross c(dax, day, dbx, dby, bound < 67108864.0);
        if (c.sign == 0) return LINE_ARC_SEG__ixn_handle_ll_overlap(a, start_a, b, start_b, points, flags);
        flags[0] = flags[1] = 0;
        return 0;
    }
    flags[0] = flags[1] = 0;
    // 2, 3. Parallel lines: apart (0) or collinear (overlap).
    Cross den(dax, day, dbx, dby, plain);
    Cross num_a(wx, wy, dbx, dby, plain);
    if (den.sign == 0) {
        if (num_a.sign != 0) return 0;
        return LINE_ARC_SEG__ixn_handle_ll_overlap(a, start_a, b, start_b, points, flags);
    }
    // 4. Within both pieces: 0 <= t <= 1 and 0 <= s <= 1.
    const int sd = den.sign;
    if (num_a.sign * sd < 0) return 0;
    Cross num_b(wx, wy, dax, day, plain);
    if (num_b.sign * sd < 0) return 0;
    const int end_a = diff_sign(num_a, den) * sd;  // sign of t - 1
    if (end_a > 0) return 0;
    const int end_b = diff_sign(num_b, den) * sd;  // sign of s - 1
    if (end_b > 0) return 0;
    // 5. The point.  An end of a piece is known exactly; otherwise each
    //    coordinate start a + d_a,k t is rounded.
    PNT2_s p;
    if (num_a.sign == 0) {
        p = *start_a;
    } else if (end_a == 0) {
        p = PNT2_s{a->x, a->y};
    } else if (num_b.sign == 0) {
        p = *start_b;
    } else if (end_b == 0) {
        p = PNT2_s{b->x, b->y};
    } else {
        // Estimate: with exact num and den (plain path) t = fl(num / den) and
        // d_k t round twice, within 2.23e-16 |d_k t| (3.34e-16 is used).
        // On the filtered path the bounds propagate from the filter bounds of
        // num and den; when they leave more than 0.4 of a grid unit the
        // exact values (each correctly rounded) are used instead.
        const double d[2] = {dax, day};
        double coord[2];
        for (int k = 0; k < 2; ++k) {
            Est pk;
            if (plain) {
                const double v = d[k] * (num_a.value / den.value);
                pk = Est{v, std::fabs(v) * 3.34e-16};
            } else {
                pk = ex(d[k]) * (Est{num_a.value, num_a.error} / Est{den.value, den.error});
                if (!(pk.e <= 0.4)) {
                    LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_LL_POINT);
                    num_a.exact();
                    den.exact();
                    pk = ex(d[k]) * (Est{num_a.value, num_a.error} / Est{den.value, den.error});
                }
            }
            coord[k] = round_coordinate(pk.v, pk.e, [&](int above, double* g) {
                LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_LL_ROUND);
                num_a.exact();
                den.exact();
                LINE_ARC_SEG__ixn_check_ll_round(above, sd > 0, &den.x, &num_a.x, d[k], g);
            });
        }
        p = PNT2_s{start_a->x + coord[0], start_a->y + coord[1]};
    }
    // 6. Flags.
    points[0] = p;
    flags[0] = (sd > 0 ? LINE_ARC_SEG_INTXN_SIDE : 0);
    if (num_a.sign == 0 || num_b.sign == 0 || end_a == 0 || end_b == 0) flags[0] |= LINE_ARC_SEG_INTXN_AT_END;
    return 1;
}

// Collinear lines.  Positions are compared along y, or along x when a is
// horizontal.  Pieces that do not overlap give 0 (collinear pieces apart on
// their common line).
int LINE_ARC_SEG__ixn_handle_ll_overlap(const LINE_ARC_SEG_s* a, const PNT2_s* start_a, const LINE_ARC_SEG_s* b,
                                        const PNT2_s* start_b, PNT2_s points[2], int flags[2]) {
    const bool horizontal = start_a->y == a->y;
    auto pos = [horizontal](const PNT2_s& p) { return horizontal ? p.x : p.y; };
    const PNT2_s a0 = *start_a, a1{a->x, a->y}, b0 = *start_b, b1{b->x, b->y};
    const bool shared0 = flags[0] != 0, shared1 = flags[1] != 0;
    flags[0] = flags[1] = 0;
    // 1. Adjacent pieces folding back: the far end of the fold is the nearer
    //    of the two free ends to the shared point.
    if (shared0 && shared1) return 0;
    if (shared0 || shared1) {
        const PNT2_s shared = shared0 ? a1 : a0;
        const PNT2_s c0 = shared0 ? a0 : a1, c1 = shared0 ? b1 : b0;
        points[0] = std::fabs(pos(c0) - pos(shared)) <= std::fabs(pos(c1) - pos(shared)) ? c0 : c1;
        flags[0] = LINE_ARC_SEG_INTXN_OVERLAP_OPPOSITE;
        return 1;
    }
    // 2. From the larger lower end to the smaller upper end (a's on ties).
    const PNT2_s& a_low = pos(a0) <= pos(a1) ? a0 : a1;
    const PNT2_s& a_high = pos(a0) <= pos(a1) ? a1 : a0;
    const PNT2_s& b_low = pos(b0) <= pos(b1) ? b0 : b1;
    const PNT2_s& b_high = pos(b0) <= pos(b1) ? b1 : b0;
    const PNT2_s low = pos(b_low) > pos(a_low) ? b_low : a_low;
    const PNT2_s high = pos(b_high) < pos(a_high) ? b_high : a_high;
    if (pos(low) > pos(high)) return 0;
    const bool same = (pos(a1) > pos(a0)) == (pos(b1) > pos(b0));
    const int f = same ? LINE_ARC_SEG_INTXN_OVERLAP_SAME : LINE_ARC_SEG_INTXN_OVERLAP_OPPOSITE;
    points[0] = low;
    flags[0] = f;
    if (pos(low) == pos(high)) return 1;
    points[1] = high;
    flags[1] = f;
    return 2;
}

// Arcs on one circle.  A point of the circle lies on an arc exactly when it
// lies on the side of the arc's chord towards which the arc bulges (or on the
// chord line, at an end): the right of the chord directed from start to end
// for h >= 0, from end to start for h < 0.
int LINE_ARC_SEG__ixn_handle_cc_overlap(const LINE_ARC_SEG_s* a, const PNT2_s* start_a, const LINE_ARC_SEG_s* b,
                                        const PNT2_s* start_b, PNT2_s points[2], int flags[2]) {
    using namespace ixn;
    const bool shared0 = flags[0] != 0;  // end a = start b
    const bool shared1 = flags[1] != 0;  // end b = start a
    flags[0] = flags[1] = 0;
    const PNT2_s sa = *start_a, ea{a->x, a->y}, sb = *start_b, eb{b->x, b->y};
    const bool same = (a->h >= 0) == (b->h >= 0);
    const int f = same ? LINE_ARC_SEG_INTXN_OVERLAP_SAME : LINE_ARC_SEG_INTXN_OVERLAP_OPPOSITE;
    // Side of p against the chord of an arc, positive to the right of the
    // chord directed so that the arc lies on its right.
    auto side = [](const PNT2_s& s, const LINE_ARC_SEG_s* arc, const PNT2_s& p) {
        const PNT2_s e{arc->x, arc->y};
        const PNT2_s& from = arc->h >= 0 ? s : e;
        const PNT2_s& to = arc->h >= 0 ? e : s;
        return Cross(p.x - from.x, p.y - from.y, to.x - from.x, to.y - from.y, false).sign;
    };
    // 1. Ends of b within a (a shared end is an end of a).
    const bool start_in = shared0 || side(sa, a, sb) >= 0;
    const bool end_in = shared1 || side(sa, a, eb) >= 0;
    int n = 0;
    if (!start_in && !end_in) {
        // 2. b covers a, or they are apart.
        if (side(sb, b, sa) > 0) {
            points[0] = sa;
            points[1] = ea;
            flags[0] = flags[1] = f;
            return 2;
        }
        return 0;
    }
    // 3. The overlap's ends in the order of b.
    if (!shared0) {
        if (start_in) {
            points[n++] = sb;
        } else {
            const PNT2_s p = same ? sa : ea;
            if (!same_point(p, eb)) points[n++] = p;
        }
    }
    if (!shared1) {
        if (end_in) {
            points[n++] = eb;
        } else {
            const PNT2_s p = same ? ea : sa;
            if (!same_point(p, sb)) points[n++] = p;
        }
    }
    for (int i = 0; i < n; ++i) flags[i] = f;
    return n;
}

namespace {
namespace ixn {

// Positions on the circle of a line/circle meeting, in counter-clockwise
// order, in the frame of the line (x' along its direction d, y' along its
// left normal; M the centre): P1 and P2 are the first and the second point
// where the line meets the circle in its direction, R and T the circle points
// straight right and left of M.  An arc end with side s against the line
// (positive right) and projection p = d.(end - M) lies in
//   0 P1 (s = 0, p < 0)   1 between P1 and R (s > 0, p < 0)   2 R (s > 0, p = 0)
//   3 between R and P2 (s > 0, p > 0)   4 P2 (s = 0, p > 0)
//   5 between P2 and T (s < 0, p > 0)   6 T (s < 0, p = 0)
//   7 between T and P1 (s < 0, p < 0)
// (when the line meets the circle in two points).
inline int circle_sector(int s, int p) {
    if (s == 0) return p < 0 ? 0 : 4;
    if (s > 0) return p < 0 ? 1 : (p == 0 ? 2 : 3);
    return p > 0 ? 5 : (p == 0 ? 6 : 7);
}
// Whether the arc from sector i0 to sector i1 (counter-clockwise or not)
// passes sector k.  Ends in one open sector: the arc stays in it (leaving it
// would take the arc over a whole half circle).
inline bool arc_passes(int i0, int i1, bool ccw, int k) {
    const int step = ccw ? 1 : 7;
    for (int i = i0;; i = (i + step) % 8) {
        if (i == k) return true;
        if (i == i1) return false;
    }
}

}  // namespace ixn
}  // namespace

// A line (start l, direction d) and an arc (start s, end e, centre M, radius
// r).  The line meets the circle at l + t d for the roots t of
// |d|^2 t^2 + 2 w t + p = 0, w = d.(l - M), p = |l - M|^2 - r^2 (the power of
// l); P1 is the smaller root, P2 the larger.  The steps:
// 1. Sides of the arc's ends against the line.  Strictly opposite sides: the
//    arc crosses the line once, at P1 or P2 by its sense.
// 2. Otherwise the projections of the ends on d relative to M place each end
//    on the circle (see circle_sector) and the arc's sense tells which of P1
//    and P2 it passes; an end on the line is itself P1 or P2, or the point of
//    tangency when its projection is 0.
// 3. The line's ends against the circle (power, then projection) place each
//    end along the line among P1 and P2, which tells which of them the line
//    piece holds.
// 4. A point kept by both tests is a result.  The discriminant w^2 - |d|^2 p
//    is decided only when no end already proves the line meets the circle:
//    negative gives no point, 0 a tangency.
// 5. Points not at an end are computed and rounded to the grid.
// 6. Flags.
int LINE_ARC_SEG_ixn_la_intersect(const LINE_ARC_SEG_s* line, const PNT2_s* line_start, const LINE_ARC_SEG_s* arc,
                                  const PNT2_s* arc_start, double bound, PNT2_s points[2], int flags[2], int swap) {
    using namespace ixn;
    (void)bound;  // every sign here goes through a filter
    const int order = swap ? 1 : 0;
    if (swap) std::swap(flags[0], flags[1]);
    const bool shared_arc_start = flags[0] != 0;  // line end = arc start
    const bool shared_arc_end = flags[1] != 0;    // arc end = line start
    flags[0] = flags[1] = 0;

    const PNT2_s& ls = *line_start;
    const PNT2_s le{line->x, line->y};
    const PNT2_s& as = *arc_start;
    const PNT2_s ae{arc->x, arc->y};
    const double dx = le.x - ls.x, dy = le.y - ls.y;
    const bool ccw = arc->h >= 0;
    LINE_ARC_SEG_centre_expansion_s ce;
    LINE_ARC_SEG_vec2_expansion_s dexp(dx, dy);
    LINE_ARC_SEG_precise_la_s rec;
    Est cx, cy;
    centre_est(arc_start, arc, &cx, &cy);
    // d.(q - M) for a point q, q - M = (q - s) - c; exactly (doubled) through
    // the line/arc side value: selector 0/1 picks the arc's start/end
    // (no line start) or the line's start/end.
    auto projection = [&](const PNT2_s& q, const PNT2_s* exact_line_start, int selector) {
        const Est p = ex(dx) * (ex(q.x - as.x) - cx) + ex(dy) * (ex(q.y - as.y) - cy);
        const int s = decided(p);
        if (s != 2) return s;
        LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_PROJECTION);
        return sgn(LINE_ARC_SEG__mth_calc_exact_side_la(&dexp, exact_line_start, line, arc_start, arc, &ce,
                                                       selector));
    };

    // 1. Sides of the arc's ends (a shared end lies on the line).
    const PNT2_s arc_end[2] = {as, ae};
    int side[2];
    side[0] = shared_arc_start ? 0 : Cross(as.x - ls.x, as.y - ls.y, dx, dy, false).sign;
    side[1] = shared_arc_end ? 0 : Cross(ae.x - ls.x, ae.y - ls.y, dx, dy, false).sign;

    bool on_arc[2] = {false, false};   // P1, P2 lie on the arc
    int arc_end_at[2] = {-1, -1};      // which arc end is P1, P2
    int arc_tangent_end = -1;          // an arc end at the point of tangency
    if (side[0] * side[1] < 0) {
        // Start left, end right: a counter-clockwise arc crosses at P1.
        on_arc[(side[0] < 0) == ccw ? 0 : 1] = true;
    } else {
        // 2. Place the ends on the circle.
        const int proj[2] = {projection(as, nullptr, 0), projection(ae, nullptr, 1)};
        for (int i = 0; i < 2; ++i) {
            if (side[i] != 0) continue;
            if (proj[i] == 0) {
                arc_tangent_end = i;
            } else {
                const int k = proj[i] < 0 ? 0 : 1;
                on_arc[k] = true;
                arc_end_at[k] = i;
            }
        }
        if (arc_tangent_end < 0) {
            const int i0 = circle_sector(side[0], proj[0]), i1 = circle_sector(side[1], proj[1]);
            on_arc[0] = on_arc[0] || arc_passes(i0, i1, ccw, 0);
            on_arc[1] = on_arc[1] || arc_passes(i0, i1, ccw, 4);
        }
    }
    if (!on_arc[0] && !on_arc[1] && arc_tangent_end < 0) return 0;

    // 3. Place the line's ends along the line: 0 before P1, 1 at P1, 2
    //    between, 3 at P2, 4 after P2 (a shared end lies on the circle).
    const PNT2_s line_end[2] = {ls, le};
    int place[2];
    int line_end_at[2] = {-1, -1};
    int line_tangent_end = -1;
    for (int i = 0; i < 2; ++i) {
        const bool shared = i == 0 ? shared_arc_end : shared_arc_start;
        const int power =
            shared ? 0 : power_sign(line_end[i].x - as.x, line_end[i].y - as.y, arc_start, arc, &ce);
        if (power < 0) {
            place[i] = 2;
            continue;
        }
        const int q = projection(line_end[i], line_start, i);
        if (power > 0) {
            if (q == 0) return 0;  // the foot of M lies outside the circle
            place[i] = q < 0 ? 0 : 4;
        } else if (q == 0) {
            line_tangent_end = i;
            place[i] = 2;
        } else {
            place[i] = q < 0 ? 1 : 3;
            line_end_at[q < 0 ? 0 : 1] = i;
        }
    }
    const bool on_line[2] = {place[0] <= 1 && 1 <= place[1], place[0] <= 3 && 3 <= place[1]};

    // 4. The discriminant's sign.
    int disc;
    if (arc_tangent_end >= 0 || line_tangent_end >= 0) {
        disc = 0;
    } else if (side[0] * side[1] < 0 || arc_end_at[0] >= 0 || arc_end_at[1] >= 0 || place[0] == 2 ||
               place[1] == 2 || line_end_at[0] >= 0 || line_end_at[1] >= 0) {
        disc = 1;  // an end proves two meeting points
    } else {
        if (!((on_arc[0] && on_line[0]) || (on_arc[1] && on_line[1]))) return 0;
        // w and p in doubles with propagated bounds; inside the bound the
        // exact value (B^2 - 4 A Z) / 4 of the line/arc terms decides.
        const Est vx = ex(ls.x - as.x), vy = ex(ls.y - as.y);
        const Est w = ex(dx) * (vx - cx) + ex(dy) * (vy - cy);
        const Est p = (vx * vx + vy * vy) - ex(2) * (vx * cx + vy * cy);
        const Est dd = ex(dx) * ex(dx) + ex(dy) * ex(dy);
        disc = decided(w * w - dd * p);
        if (disc == 2) {
            LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_LA_DISC);
            disc = sgn(LINE_ARC_SEG__mth_exact_la_disc(line_start, &dexp, arc_start, arc, &ce, &rec, nullptr));
        }
        if (disc < 0) return 0;
    }

    // 5. Coordinates of a meeting point not at an end: root k (0 smaller t,
    //    1 larger; a tangency has one root), rounded.  The roots are formed
    //    without cancellation, q = w + sqrt(disc) (or w - sqrt(disc) for
    //    w < 0): t = -q / |d|^2 and -p / q; which is the smaller follows from
    //    the choice alone.  First from the doubles of the pieces, then, when
    //    the bound leaves more than 0.4 of a grid unit, from the exact terms.
    auto compute = [&](int k, bool tangent) {
        Est t[2];
        auto roots = [&](Est w, Est p, Est a, Est dsc) {
            if (tangent) {
                t[0] = t[1] = Est{0, 0} - w / a;
                return;
            }
            const Est r = est_sqrt(dsc);
            if (w.v >= 0) {
                const Est q = w + r;
                t[0] = Est{0, 0} - q / a;
                t[1] = Est{0, 0} - p / q;
            } else {
                const Est q = w - r;
                t[1] = Est{0, 0} - q / a;
                t[0] = Est{0, 0} - p / q;
            }
        };
        const double d[2] = {dx, dy};
        {
            const Est vx = ex(ls.x - as.x), vy = ex(ls.y - as.y);
            const Est w = ex(dx) * (vx - cx) + ex(dy) * (vy - cy);
            const Est p = (vx * vx + vy * vy) - ex(2) * (vx * cx + vy * cy);
            const Est a = ex(dx) * ex(dx) + ex(dy) * ex(dy);
            roots(w, p, a, w * w - a * p);
        }
        Est c[2] = {ex(d[0]) * t[k], ex(d[1]) * t[k]};
        if (!(c[0].e <= 0.4 && c[1].e <= 0.4)) {
            LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_LA_POINT);
            // Each summed exact term is within 1.12e-16 of its value.
            const double disc_exact =
                LINE_ARC_SEG__mth_exact_la_disc(line_start, &dexp, arc_start, arc, &ce, &rec, nullptr);
            const double a = MULTI_PREC_number(rec.A.num).value();
            const double w = MULTI_PREC_number(rec.B.num).value() / 2;
            const double p = MULTI_PREC_number(rec.Z.num).value();
            auto rel = [](double v) { return Est{v, std::fabs(v) * 1.12e-16}; };
            roots(rel(w), rel(p), rel(a), rel(disc_exact));
            c[0] = ex(d[0]) * t[k];
            c[1] = ex(d[1]) * t[k];
        }
        double g[2];
        for (int coord = 0; coord < 2; ++coord) {
            g[coord] = round_coordinate(c[coord].v, c[coord].e, [&](int above, double* gg) {
                LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_LA_ROUND);
                LINE_ARC_SEG__mth_check_la_round(line_start, &dexp, arc_start, arc, &ce, k, coord, above, &rec, gg);
            });
        }
        return PNT2_s{ls.x + g[0], ls.y + g[1]};
    };

    const int g = ccw ? 1 : 0;
    if (disc == 0) {
        // 6a. A tangency: one point where the arc and the line piece both
        //     hold it.  side: the circle lies right of the line.
        const bool arc_holds = arc_tangent_end >= 0 || (on_arc[0] && on_arc[1]);
        const bool line_holds = line_tangent_end >= 0 || (on_line[0] && on_line[1]);
        if (!arc_holds || !line_holds) return 0;
        if (arc_tangent_end >= 0)
            points[0] = arc_end[arc_tangent_end];
        else if (line_tangent_end >= 0)
            points[0] = line_end[line_tangent_end];
        else
            points[0] = compute(0, true);
        const int right = (side[0] > 0 || side[1] > 0) ? 1 : 0;
        int f;
        if (g != right)
            f = right != order ? 22 : 6;
        else
            f = right == 1 ? 20 : 4;
        if (arc_tangent_end >= 0 || line_tangent_end >= 0) f |= LINE_ARC_SEG_INTXN_AT_END;
        flags[0] = f;
        return 1;
    }
    // 6b. Crossing points in the order of the line.
    int n = 0;
    for (int k = 0; k < 2; ++k) {
        if (!on_arc[k] || !on_line[k]) continue;
        int f = ((k == 0) == (order == g)) ? LINE_ARC_SEG_INTXN_SIDE : 0;
        if (arc_end_at[k] >= 0) {
            points[n] = arc_end[arc_end_at[k]];
            f |= LINE_ARC_SEG_INTXN_AT_END;
        } else if (line_end_at[k] >= 0) {
            points[n] = line_end[line_end_at[k]];
            f |= LINE_ARC_SEG_INTXN_AT_END;
        } else {
            points[n] = compute(k, false);
        }
        flags[n++] = f;
    }
    return n;
}

// Two arcs a and b (starts s_a, s_b, ends e_a, e_b, centre vectors c_a, c_b,
// centres C_a, C_b).  L is the line from C_a to C_b; of the two points where
// the circles meet, point 0 lies right of L and point 1 left of it.  On each
// circle the points inside the other circle form the cap facing the other
// centre, bounded by points 0 and 1; an arc's ends, classified by their power
// against the other circle (inside/outside) and their side of L, tell which
// of the two points the arc passes (its need for each point: 0 not on this
// arc, 1 an end of this arc, 2 an end of this arc at a tangency, 4 or 5 inside
// this arc, to be computed).  A point is a result when both arcs hold it: its
// need is the smaller of the two.
int LINE_ARC_SEG_ixn_aa_intersect(const LINE_ARC_SEG_s* a, const PNT2_s* start_a, const LINE_ARC_SEG_s* b,
                                  const PNT2_s* start_b, double bound, PNT2_s points[2], int flags[2]) {
    using namespace ixn;
    (void)bound;  // every sign here goes through a filter
    const int entry[2] = {flags[0], flags[1]};
    const bool shared0 = flags[0] != 0;  // e_a = s_b
    const bool shared1 = flags[1] != 0;  // e_b = s_a
    flags[0] = flags[1] = 0;
    const PNT2_s sa = *start_a, ea{a->x, a->y}, sb = *start_b, eb{b->x, b->y};
    const bool ccw_a = a->h >= 0, ccw_b = b->h >= 0;
    LINE_ARC_SEG_centre_expansion_s ce_a, ce_b;
    LINE_ARC_SEG_precise_aa_s rec;
    Est cax, cay, cbx, cby;
    centre_est(start_a, a, &cax, &cay);
    centre_est(start_b, b, &cbx, &cby);
    // C_b - C_a = (s_b - s_a) + c_b - c_a.
    const Est ux = (ex(sb.x - sa.x) + cbx) - cax, uy = (ex(sb.y - sa.y) + cby) - cay;

    // 1. Powers of the ends against the other circle (a shared end: 0).
    const int p_sa = shared1 ? 0 : power_sign(sa.x - sb.x, sa.y - sb.y, start_b, b, &ce_b);
    const int p_ea = shared0 ? 0 : power_sign(ea.x - sb.x, ea.y - sb.y, start_b, b, &ce_b);
    const int p_sb = shared0 ? 0 : power_sign(sb.x - sa.x, sb.y - sa.y, start_a, a, &ce_a);
    const int p_eb = shared1 ? 0 : power_sign(eb.x - sa.x, eb.y - sa.y, start_a, a, &ce_a);

    // 2. Side of a point q of arc x against L, cross(C_b - C_a, q - C_x)
    //    (the same value for either centre on L), positive left of L; exact:
    //    4 times it from the centre expansions.
    auto side_of = [&](const PNT2_s& q, bool of_a) {
        const Est rx = of_a ? ex(q.x - sa.x) - cax : ex(q.x - sb.x) - cbx;
        const Est ry = of_a ? ex(q.y - sa.y) - cay : ex(q.y - sb.y) - cby;
        const int s = decided(ux * ry - uy * rx);
        if (s != 2) return s;
        LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_CENTRE_SIDE);
        if (of_a) return sgn(LINE_ARC_SEG__mth_calc_exact_side(start_a, a, &ce_a, &q, start_b, b, &ce_b, 0));
        return sgn(LINE_ARC_SEG__mth_calc_exact_side(start_b, b, &ce_b, &q, start_a, a, &ce_a, 1));
    };

    // 3, 4. The needs of each arc.  known[k]: the coordinates of point k
    //    when an end is that point.
    int need[2][2] = {{0, 0}, {0, 0}};  // [arc][point]
    PNT2_s known[2] = {{0, 0}, {0, 0}};
    enum { GO_ON, NONE, OVERLAP };
    auto arc_needs = [&](int x) {
        const bool of_a = x == 0;
        const PNT2_s& s = of_a ? sa : sb;
        const PNT2_s& e = of_a ? ea : eb;
        const int ps = of_a ? p_sa : p_sb, pe = of_a ? p_ea : p_eb;
        const bool ccw = of_a ? ccw_a : ccw_b;
        // A shared end of a is never a point of a (b's are).
        const bool skip_s = of_a && shared1, skip_e = of_a && shared0;
        int* nd = need[x];
        // Around a's centre, counter-clockwise from inside b to outside b
        // passes point 1; around b's centre it passes point 0.
        if (ps < 0 && pe > 0) {
            nd[(ccw == of_a) ? 1 : 0] = 4;
            return GO_ON;
        }
        if (ps > 0 && pe < 0) {
            nd[(ccw == of_a) ? 0 : 1] = 4;
            return GO_ON;
        }
        const int ss = side_of(s, of_a), se = side_of(e, of_a);
        if (ps == 0 && !skip_s) {
            nd[ss > 0 ? 1 : 0] = ss == 0 ? 2 : 1;
            known[ss > 0 ? 1 : 0] = s;
        }
        if (pe == 0 && !skip_e) {
            nd[se > 0 ? 1 : 0] = se == 0 ? 2 : 1;
            known[se > 0 ? 1 : 0] = e;
        }
        if (ss * se < 0) {
            // From right of L to left: counter-clockwise around a's centre
            // (clockwise around b's) passes the cap inside the other circle.
            const bool u = ss < 0;
            const bool v = u == (of_a ? !ccw : ccw);
            const int on = (ps == 0) + (pe == 0);
            if (on == 0) {
                if (v == (ps > 0)) return NONE;
                nd[0] = nd[1] = 5;
            } else if (on == 1) {
                const int other_side = ps == 0 ? se : ss;
                if (v != (ps > 0 || pe > 0))
                    nd[other_side > 0 ? 1 : 0] = 4;
                else if (of_a && ((ps == 0 && shared1) || (pe == 0 && shared0)))
                    return NONE;
            }
        } else if (of_a && ps == 0 && pe == 0) {
            return OVERLAP;  // both ends on the other circle, not across L: one circle
        }
        if (of_a && nd[0] == 0 && nd[1] == 0) return NONE;
        return GO_ON;
    };
    const int ra = arc_needs(0);
    if (ra == NONE) return 0;
    if (ra == OVERLAP) {
        flags[0] = entry[0];
        flags[1] = entry[1];
        return LINE_ARC_SEG__ixn_handle_cc_overlap(a, start_a, b, start_b, points, flags);
    }
    if (arc_needs(1) == NONE) return 0;

    // 5. The need of each point; the circles' discriminant when a point
    //    must be computed.  In doubles, with D = |C_b - C_a|^2 and
    //    T = r_a^2 + r_b^2 - D: disc = 4 r_a^2 r_b^2 - T^2 with a propagated
    //    bound; inside it the exact discriminant (4 times this one) decides.
    int nd[2] = {std::min(need[0][0], need[1][0]), std::min(need[0][1], need[1][1])};
    if (nd[0] == 0 && nd[1] == 0) return 0;
    bool precise = false;
    Est dsc{0, 0}, dd{0, 0}, ra2{0, 0}, rb2{0, 0};
    if ((nd[0] | nd[1]) >= 3) {
        dd = ux * ux + uy * uy;
        ra2 = cax * cax + cay * cay;
        rb2 = cbx * cbx + cby * cby;
        const Est t = (ra2 + rb2) - dd;
        dsc = ex(4) * ra2 * rb2 - t * t;
        int s = decided(dsc);
        if (s == 2) {
            LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_AA_DISC);
            s = sgn(LINE_ARC_SEG__mth_exact_aa_disc(start_a, a, &ce_a, start_b, b, &ce_b, &rec, nullptr));
            precise = true;
        }
        if (s < 0) return 0;
        if (s == 0) {
            nd[0] = 3;
            nd[1] = 0;
        }
    }

    // 6, 7. Points with a need above 2 are computed relative to s_a: the
    //    foot F = (c_a + c_b - w) / 2 + lambda (C_a - C_b) with w = s_a - s_b
    //    and lambda = (r_b^2 - r_a^2) / (2 D), and the offset
    //    mu = sqrt(disc) / (2 D) along the normal (-(C_a - C_b).y,
    //    (C_a - C_b).x), which points right of L.  When the bounds leave more
    //    than 0.4 of a grid unit, or the discriminant was decided exactly, the
    //    points come from the exact terms.  Rounding near a half is decided
    //    exactly.
    if (nd[0] > 2 || nd[1] > 2) {
        Est px[2], py[2];
        bool ok = !precise;
        if (ok) {
            const Est dcx = Est{0, 0} - ux, dcy = Est{0, 0} - uy;  // C_a - C_b
            const Est wx = ex(sa.x - sb.x), wy = ex(sa.y - sb.y);
            const Est half = ex(0.5);
            const Est lambda = (rb2 - ra2) / (ex(2) * dd);
            const Est fx = half * ((cax + cbx) - wx) + lambda * dcx;
            const Est fy = half * ((cay + cby) - wy) + lambda * dcy;
            const Est mu = est_sqrt(dsc) / (ex(2) * dd);
            if (nd[0] == 3) {
                px[0] = fx;
                py[0] = fy;
            } else {
                px[0] = fx - mu * dcy;
                py[0] = fy + mu * dcx;
                px[1] = fx + mu * dcy;
                py[1] = fy - mu * dcx;
            }
            for (int k = 0; k < 2; ++k)
                if (nd[k] > 2 && !(px[k].e <= 0.4 && py[k].e <= 0.4)) ok = false;
        }
        if (!ok) {
            LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_AA_POINT);
            const int want[2] = {nd[0] > 2 ? nd[0] : 0, nd[1] > 2 ? nd[1] : 0};
            PNT2_s exact_points[2];
            double errors[2][2];
            LINE_ARC_SEG__mth_calc_precise_aa_intxn(start_a, a, &ce_a, start_b, b, &ce_b, &rec, want, exact_points,
                                                    errors);
            for (int k = 0; k < 2; ++k) {
                if (want[k] == 0) continue;
                px[k] = Est{exact_points[k].x, errors[k][0]};
                py[k] = Est{exact_points[k].y, errors[k][1]};
            }
        }
        for (int k = 0; k < 2; ++k) {
            if (nd[k] <= 2) continue;
            const Est c[2] = {px[k], py[k]};
            double g[2];
            for (int coord = 0; coord < 2; ++coord) {
                g[coord] = round_coordinate(c[coord].v, c[coord].e, [&](int above, double* gg) {
                    LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_AA_ROUND);
                    LINE_ARC_SEG__mth_check_aa_round(start_a, a, &ce_a, start_b, b, &ce_b, k, coord, above, &rec,
                                                    gg);
                });
            }
            known[k] = PNT2_s{sa.x + g[0], sa.y + g[1]};
        }
    }

    // 8, 9. Flags.
    const bool same = ccw_a == ccw_b;
    if (nd[0] == 2 || nd[0] == 3) {
        const bool out_a = p_sa > 0 || p_ea > 0;
        const bool out_b = p_sb > 0 || p_eb > 0;
        int f = LINE_ARC_SEG_INTXN_TANGENT;
        if (same == (out_a != out_b)) f |= LINE_ARC_SEG_INTXN_SIDE;
        if (out_b == ccw_a) f |= LINE_ARC_SEG_INTXN_TANGENT_SIDE;
        if (nd[0] == 2) f |= LINE_ARC_SEG_INTXN_AT_END;
        points[0] = known[0];
        flags[0] = f;
        return 1;
    }
    int n = 0;
    for (int k = 0; k < 2; ++k) {
        if (nd[k] == 0) continue;
        int f = (k == 0) != same ? LINE_ARC_SEG_INTXN_SIDE : 0;
        if (nd[k] == 1) f |= LINE_ARC_SEG_INTXN_AT_END;
        points[n] = known[k];
        flags[n++] = f;
    }
    return n;
}
