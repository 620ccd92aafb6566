// Chain areas, centroids, directions and shape tests.
#include <merrow1/chain_area.h>
#include <merrow1/app_data_keys.h>

#include <merrow1/chain.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_region_distance.h>
#include <merrow1/chain_region_offset.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>
#include <merrow1/segment_intersection.h>
#include <pellam/mchn_segment.h>
#include <quorn/quorn.h>

#include "chain/chain_record.h"
#include "chain/chain_readings.h"
#include "internal/check.h"
#include "internal/ring_nodes.h"
#include "internal/scratch_pool.h"
#include "internal/small_buffer.h"
#include "internal/vec2.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using merrow1::kPi;
// Total lengths of chain sets within this of 0 have no curve centroid.
const double kSetTotalSlack = 1e-10;

using merrow1::is_closed;
using merrow1::main_of;
using merrow1::point_of;

double approximation_tolerance(const RING_header_s* chain) {
    const CHAIN_main_data_s* data = main_of(chain);
    return data && data->approximation_tolerance_set ? data->approximation_tolerance : 0.0;
}

// Visits the segments of a chain in order: segment k ends at the k-th vertex
// after the first, and a closed chain ends with its closing segment.
// fn(segment, end node, k) returns false to stop; unreadable segments are
// passed to `unreadable` (which returns false to stop).
template <class Fn, class Bad>
void for_each_segment(const RING_header_s* chain, Fn fn, Bad unreadable) {
    if (!chain || !chain->first) return;
    const int segments = is_closed(chain) ? chain->count : chain->count - 1;
    RING_node_s* node = chain->first->next;
    for (int k = 1; k <= segments && node; ++k, node = node->next) {
        SEGMENT segment;
        if (!ChainSegment(chain, node, &segment)) {
            if (!unreadable()) return;
            continue;
        }
        if (!fn(segment, node, k)) return;
    }
}

template <class Fn>
void for_each_segment(const RING_header_s* chain, Fn fn) {
    for_each_segment(chain, fn, [] { return true; });
}

// Visits the chains of a set (a single chain answers for itself); nodes
// without a chain are passed over.  fn returns false to stop.
template <class Fn>
void for_each_set_chain(const RING_header_s* set, Fn fn) {
    if (!set) return;
    if (set->type == RING_TYPE_CHAIN) {
        fn(set);
        return;
    }
    const RING_node_s* node = set->first;
    for (int i = 0; i < set->count && node; ++i, node = node->next)
        if (const RING_header_s* chain = RING_ask_node_subring(node))
            if (!fn(chain)) return;
}

// A segment as the measures read it: a line by its ends, an arc through the
// one arc reading (its centre on the bisector of the chord, its signed sweep).
// A plain record (read_piece writes every field), so that a buffer of them
// starts unwritten.
struct Piece {
    bool arc;
    double s[2];
    double e[2];
    double c[2];
    double r;
    double sweep;
};

bool read_piece(const SEGMENT& segment, Piece* piece) {
    *piece = Piece{false, {0.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, 0.0, 0.0};
    if (segment.type == SEG_ARC) {
        SEGMENT_arc_s arc;
        if (!SEGMENT_read_arc(&segment, &arc)) return false;
        piece->arc = true;
        for (int i = 0; i < 2; ++i) {
            piece->s[i] = arc.start[i];
            piece->e[i] = arc.end[i];
            piece->c[i] = arc.centre[i];
        }
        piece->r = arc.radius;
        piece->sweep = arc.sweep;
        return true;
    }
    if (segment.type != SEG_LINE && segment.type != SEG_POINT) return false;
    piece->s[0] = segment.start[0];
    piece->s[1] = segment.start[1];
    piece->e[0] = segment.end->x;
    piece->e[1] = segment.end->y;
    return true;
}

using merrow1::cross;
using merrow1::dot;

// Curve centroid of one chain: sum of segment centroids weighted by length.
// Returns the total length; the centroid is the first vertex's point and the
// result 0.0 when the length is within the host length tolerance.
double curve_centroid(const RING_header_s* chain, double centroid[2]) {
    double length = 0.0, sx = 0.0, sy = 0.0;
    for_each_segment(chain, [&](const SEGMENT& segment, RING_node_s*, int) {
        Piece p;
        if (!read_piece(segment, &p)) return true;
        const double* s = p.s;
        const double* e = p.e;
        if (segment.type == SEG_LINE) {
            const double piece = std::hypot(e[0] - s[0], e[1] - s[1]);
            sx += 0.5 * (s[0] + e[0]) * piece;
            sy += 0.5 * (s[1] + e[1]) * piece;
            length += piece;
        } else if (p.arc) {
            // The mean point of an arc is O + (E.y - S.y, -(E.x - S.x)) / theta.
            // A zero sweep has zero length and adds nothing.
            const double theta = p.sweep;
            const double piece = std::fabs(theta) * p.r;
            if (theta != 0.0) {
                sx += (p.c[0] + (e[1] - s[1]) / theta) * piece;
                sy += (p.c[1] - (e[0] - s[0]) / theta) * piece;
            }
            length += piece;
        }
        return true;
    });
    if (std::fabs(length) <= EQ_ask_length_tolerance()) {
        if (centroid) {
            const double* p = point_of(chain ? chain->first : nullptr);
            if (p) {
                centroid[0] = p[0];
                centroid[1] = p[1];
            }
        }
        return 0.0;
    }
    if (centroid) {
        centroid[0] = sx / length;
        centroid[1] = sy / length;
    }
    return length;
}

// The longest segment accepted by the filter (the first of equal lengths).
template <class Filter>
bool longest_segment(const RING_header_s* chain, Filter accept, SEGMENT* best, RING_node_s** node, int* k,
                     double* length) {
    *length = 0.0;
    *node = nullptr;
    for_each_segment(chain, [&](const SEGMENT& segment, RING_node_s* end, int index) {
        if (!accept(segment)) return true;
        const double piece = SegmentLength(&segment);
        if (piece > *length) {
            *length = piece;
            *best = segment;
            *node = end;
            *k = index;
        }
        return true;
    });
    return *node != nullptr;
}

template <class Filter>
int midpoint_of_longest(const RING_header_s* chain, POINT_ON_CHAIN_s* out, Filter accept) {
    SEGMENT best;
    RING_node_s* node = nullptr;
    int k = 0;
    double length = 0.0;
    if (!longest_segment(chain, accept, &best, &node, &k, &length) || !(length > 0.0)) return 0;
    double mid[2];
    if (!SegmentMidPoint(&best, mid)) return 0;
    if (out) PointOnChainCreate1(const_cast<RING_header_s*>(chain), node, k, 0.5, mid, out);
    return 1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Areas and centroids

namespace {

// Pieces of a chain summed without a heap array.
const size_t kInlinePieces = 48;

// 2^k for k in the range of normal doubles (ldexp(1.0, k)), from its bits.
double power_of_two(int k) {
    const uint64_t bits = static_cast<uint64_t>(k + 1023) << 52;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Signed area of a closed chain with no tolerance applied, and its centroid
// (when asked and the area is not zero).  false when a segment cannot be read
// or the chain lies beyond the doubles; the area is then 0.
bool summed_area(const RING_header_s* chain, const double* reference, double* true_area, double centroid[2]) {
    *true_area = 0.0;
    // 1. Every segment read once: lines by their ends, arcs through the one
    //    arc reading.  A segment that cannot be read leaves no area.  A chain
    //    has at most as many segments as vertices.
    const size_t vertices = static_cast<size_t>(chain && chain->count > 0 ? chain->count : 0);
    merrow1::SmallBuffer<Piece, kInlinePieces> buffer(vertices);
    const Piece* const first = buffer.data();
    Piece* last = buffer.data();
    bool readable = true;
    for_each_segment(
        chain,
        [&](const SEGMENT& segment, RING_node_s*, int) {
            if (!read_piece(segment, last)) {
                readable = false;
                return false;
            }
            if (segment.type != SEG_POINT) ++last;
            return true;
        },
        [&] {
            readable = false;
            return false;
        });
    if (!readable) return false;
    // 2. Coordinates about the first vertex, scaled by a power of two to the
    //    order of 1.  Both steps are exact or nearly so, and keep every term
    //    of the sums at the relative precision of its own coordinates: no
    //    product overflows unless the area itself does, and large offsets of
    //    the whole chain cancel before any product is formed.
    const double rx = reference[0], ry = reference[1];
    //    The extent is the largest of the magnitudes, a NaN passed over.
    double extent = 0.0;
    auto widen = [&extent](double magnitude) {
        if (magnitude > extent) extent = magnitude;
    };
    for (const Piece* p = first; p != last; ++p) {
        widen(std::fabs(p->s[0] - rx));
        widen(std::fabs(p->s[1] - ry));
        widen(std::fabs(p->e[0] - rx));
        widen(std::fabs(p->e[1] - ry));
    }
    if (!std::isfinite(extent)) return false;
    const int exponent = extent > 0.0 ? std::ilogb(extent) : 0;
    // A product with a power of two in the range of normal doubles rounds
    // as ldexp does: both give the exact scaled value, correctly rounded.
    const bool normal_scale = -exponent >= -1022 && -exponent <= 1023;
    const double scale = normal_scale ? power_of_two(-exponent) : 0.0;
    auto scale_down = [&](double x) { return normal_scale ? x * scale : std::ldexp(x, -exponent); };
    auto scaled = [&](const double q[2], double out[2]) {
        out[0] = scale_down(q[0] - rx);
        out[1] = scale_down(q[1] - ry);
    };
    // 3. Green's theorem as a fan of triangles from the reference point: a
    //    line adds the triangle (reference, start, end); an arc adds that
    //    triangle and the circular segment between its chord and the arc,
    //    of signed area (r^2 theta - r^2 sin theta) / 2 with
    //    r^2 sin theta = +-chord * |h| (h the centre's distance from the
    //    chord), whose centroid lies on the bisector towards the arc, the
    //    segment's moment about the centre being (2/3) (chord/2)^3.
    //    The moments are summed only when the centroid is asked for: the
    //    area's sum never reads them.
    double area = 0.0, mx = 0.0, my = 0.0;
    for (const Piece* piece = first; piece != last; ++piece) {
        const Piece& p = *piece;
        double a[2], b[2];
        scaled(p.s, a);
        scaled(p.e, b);
        const double twice = a[0] * b[1] - a[1] * b[0];
        area += twice / 2.0;
        if (centroid) {
            mx += twice * (a[0] + b[0]) / 6.0;
            my += twice * (a[1] + b[1]) / 6.0;
        }
        if (!p.arc) continue;
        double c[2];
        scaled(p.c, c);
        const double r = scale_down(p.r);
        const double chord[2] = {b[0] - a[0], b[1] - a[1]};
        const double length = std::hypot(chord[0], chord[1]);
        if (!(length > 0.0)) continue;
        const double mid[2] = {(a[0] + b[0]) / 2.0, (a[1] + b[1]) / 2.0};
        const double h = std::hypot(c[0] - mid[0], c[1] - mid[1]);
        const double sign = p.sweep < 0.0 ? -1.0 : 1.0;
        const double piece_area = (r * r * p.sweep - sign * length * h) / 2.0;
        area += piece_area;
        if (!centroid) continue;
        // The arc bulges to the right of its chord when CCW, to the left when CW.
        const double bulge[2] = {sign * chord[1] / length, -sign * chord[0] / length};
        const double half = length / 2.0;
        const double moment = sign * (2.0 / 3.0) * half * half * half;
        mx += piece_area * c[0] + moment * bulge[0];
        my += piece_area * c[1] + moment * bulge[1];
    }
    *true_area = std::ldexp(area, 2 * exponent);
    if (centroid && area != 0.0) {
        centroid[0] = rx + std::ldexp(mx / area, exponent);
        centroid[1] = ry + std::ldexp(my / area, exponent);
    }
    return true;
}

}  // namespace

double CHAIN_chainArea_chainCentroid(const RING_header_s* chain, double centroid[2]) {
    if (!is_closed(chain) || chain->count < 2) return 0.0;
    const double* reference = point_of(chain->first);
    MERROW1_REQUIRE(reference, "DUE_TO_VERTEX_WITHOUT_GEOMETRY", 0.0);
    double true_area = 0.0;
    double c[2] = {reference[0], reference[1]};
    if (!summed_area(chain, reference, &true_area, c)) return 0.0;
    // An area is a length squared: within the squared length tolerance it
    // has no size, and a small but real loop keeps its area.
    if (std::fabs(true_area) <= EQ_ask_length_squared_tolerance()) {
        if (centroid) curve_centroid(chain, centroid);
        return 0.0;
    }
    if (centroid) {
        centroid[0] = c[0];
        centroid[1] = c[1];
    }
    return true_area;
}

namespace {

// Signed area of a closed chain as summed, with no tolerance applied.
double raw_signed_area(const RING_header_s* chain) {
    if (!is_closed(chain) || chain->count < 2) return 0.0;
    const double* reference = point_of(chain->first);
    double area = 0.0;
    if (!reference || !summed_area(chain, reference, &area, nullptr)) return 0.0;
    return area;
}

}  // namespace

// An area is a length squared: it counts as zero only within the squared
// length tolerance, so a small but real loop keeps its orientation.
DIRECTION CHAIN_direction_of_chain(const RING_header_s* chain) {
    const double area = raw_signed_area(chain);
    if (!(std::fabs(area) > EQ_ask_length_squared_tolerance())) return 0;
    return area > 0.0 ? CCW : CW;
}

double CHAIN_area_centroid(const RING_header_s* set, Korvo::Math::Point2* centroid) {
    double total = 0.0, wx = 0.0, wy = 0.0;
    bool open = false;
    for_each_set_chain(set, [&](const RING_header_s* chain) {
        if (!is_closed(chain)) {
            open = true;
            return false;
        }
        double c[2] = {0.0, 0.0};
        double area = CHAIN_chainArea_chainCentroid(chain, c);
        const CHAIN_main_data_s* data = main_of(chain);
        if (data && data->material_side == RIGHT) area = -area;
        total += area;
        wx += area * c[0];
        wy += area * c[1];
        return true;
    });
    // An open chain or a total without size (within the squared length
    // tolerance, as a single chain's area) has no centroid: the weighted sum
    // is never handed out undivided.
    if (open || std::fabs(total) <= EQ_ask_length_squared_tolerance()) {
        if (centroid) *centroid = {0.0, 0.0};
        return 0.0;
    }
    if (centroid) *centroid = {wx / total, wy / total};
    return total;
}

double CHAIN_chainsArea_chainsCentroid(const RING_header_s* set, Korvo::Math::Point2* centroid) {
    return std::fabs(CHAIN_area_centroid(set, centroid));
}

double CHAIN_perimeter_and_centroid(const RING_header_s* chain_or_set, Korvo::Math::Point2* centroid) {
    if (!chain_or_set) return 0.0;
    if (chain_or_set->type == RING_TYPE_CHAIN) {
        double c[2] = {0.0, 0.0};
        const double length = curve_centroid(chain_or_set, c);
        if (centroid) *centroid = {c[0], c[1]};
        return length;
    }
    double total = 0.0, wx = 0.0, wy = 0.0;
    for_each_set_chain(chain_or_set, [&](const RING_header_s* chain) {
        double c[2] = {0.0, 0.0};
        const double length = curve_centroid(chain, c);
        total += length;
        wx += length * c[0];
        wy += length * c[1];
        return true;
    });
    if (centroid) {
        if (std::fabs(total) <= kSetTotalSlack)
            *centroid = {0.0, 0.0};
        else
            *centroid = {wx / total, wy / total};
    }
    return total;
}

// ---------------------------------------------------------------------------
// Longest segments

int CHAIN_midpoint_of_longest_segment(const RING_header_s* chain, POINT_ON_CHAIN_s* out) {
    return midpoint_of_longest(chain, out, [](const SEGMENT&) { return true; });
}

int CHAIN_midpoint_of_longest_arc_segment(const RING_header_s* chain, POINT_ON_CHAIN_s* out) {
    return midpoint_of_longest(chain, out, [](const SEGMENT& s) { return s.type == SEG_ARC; });
}

int CHAIN_midpoint_of_longest_linear_segment(const RING_header_s* chain, POINT_ON_CHAIN_s* out) {
    return midpoint_of_longest(chain, out, [](const SEGMENT& s) { return s.type == SEG_LINE; });
}

RING_node_s* CHAIN_vertex_of_longest_linear_segment(const RING_header_s* chain, Korvo::Math::Vector2* tangent,
                                                    double* length) {
    SEGMENT best;
    RING_node_s* node = nullptr;
    int k = 0;
    double best_length = 0.0;
    if (!longest_segment(chain, [](const SEGMENT& s) { return s.type == SEG_LINE; }, &best, &node, &k,
                         &best_length))
        return nullptr;
    if (tangent) {
        double t[2] = {0.0, 0.0};
        SegmentTangent(&best, best.start, t);
        *tangent = {t[0], t[1]};
    }
    if (length) *length = best_length;
    return node;
}

int CHAIN_direction_of_longest_linear_segment(const RING_header_s* set, Korvo::Math::Vector2* tangent,
                                              double* length) {
    double best = 0.0;
    bool found = false;
    for_each_set_chain(set, [&](const RING_header_s* chain) {
        Korvo::Math::Vector2 t{0.0, 0.0};
        double l = 0.0;
        if (CHAIN_vertex_of_longest_linear_segment(chain, &t, &l) && l > best) {
            best = l;
            found = true;
            if (tangent) *tangent = t;
        }
        return true;
    });
    if (length) *length = best;
    return found ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Shape tests

int CHAIN_bounded_region_is_convex(const RING_header_s* chain) {
    if (!is_closed(chain)) return 0;
    const DIRECTION d = CHAIN_direction_of_chain(chain);
    if (d == 0) return 0;
    const double e = EQ_ask_length_tolerance();
    const double a = approximation_tolerance(chain);
    auto chord = [](const SEGMENT& s) { return std::hypot(s.end->x - s.start[0], s.end->y - s.start[1]); };
    // How far a segment's tangent may turn the wrong way within the chain's
    // approximation tolerance.
    auto slack = [&](const SEGMENT& s) {
        const double c = chord(s);
        if (!(c > e)) return 2.0;
        return (s.type == SEG_ARC ? 12.0 : 4.0) * a / c;
    };
    RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) {
        SEGMENT in, out;
        if (!ChainSegment(chain, node, &in) || !ChainForwardSegment(chain, node, &out)) return 0;
        // 1. Only lines and arcs bound a region.
        auto line_or_arc = [](const SEGMENT& s) { return s.type == SEG_LINE || s.type == SEG_ARC; };
        if (!line_or_arc(in) || !line_or_arc(out)) return 0;
        // 2. An arc turning against the chain bulges inward, unless it is
        //    small against the approximation tolerance.
        if (in.type == SEG_ARC && in.end->direction != d) {
            const double r = in.end->radius;
            const double c = chord(in);
            if (r > 2.1 * a && (c / 2.0) * (c / 2.0) + 4.0 * a * (a - r) > 0.0) return 0;
        }
        // 3. The turn at the vertex.
        double t1[2], t2[2];
        const double end[2] = {in.end->x, in.end->y};
        if (!SegmentTangent(&in, end, t1) || !SegmentTangent(&out, out.start, t2)) return 0;
        double x = cross(t1, t2);
        if (d == CW) x = -x;
        if (x < -(slack(in) + slack(out)) && x < -e) return 0;
    }
    return 1;
}

namespace {

// The smoothness rules of one chain.
bool chain_is_smooth(const RING_header_s* chain, double tau) {
    if (!chain->first) return true;
    const double minimum = 100.0 * approximation_tolerance(chain);
    const bool closed = is_closed(chain);
    const int segments = closed ? chain->count : chain->count - 1;

    auto joins_smoothly = [tau](const double before[2], const double after[2]) {
        const double d = dot(before, after);
        return d >= 0.0 && std::fabs(std::atan2(cross(before, after), d)) <= tau;
    };

    bool run = false;            // the previous counting segment joins this one
    bool wrap = true;            // the first segment may join the last
    bool any_counted = false;
    bool seen_131 = false;
    bool rough = false;
    double previous_end[2] = {0.0, 0.0};
    bool previous_131 = false;
    double first_start[2] = {0.0, 0.0};
    bool first_131 = false;

    const RING_node_s* node = chain->first;
    for (int i = 0; i < segments && node; ++i, node = node->next) {
        SEGMENT segment;
        // 1. Every segment must be readable.
        if (!ChainForwardSegment(chain, node, &segment)) return false;
        // 2. Only host geometry types 1 and 4 count; others break the run.
        const int type = MCHN_ask_segment_geom_type(chain, node->next);
        if (type != 1 && type != 4) {
            run = false;
            if (i == 0) wrap = false;
            continue;
        }
        double start_tangent[2], end_tangent[2];
        const double end[2] = {segment.end->x, segment.end->y};
        if (SegmentLength(&segment) < minimum || !SegmentTangent(&segment, segment.start, start_tangent) ||
            !SegmentTangent(&segment, end, end_tangent))
            continue;  // too short to judge: passed over without breaking the run
        const bool has_131 = APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_SELF_NODE) != nullptr;
        if (has_131) seen_131 = true;
        // 3-4. The joint with the previous counting segment.
        if (run && !joins_smoothly(previous_end, start_tangent)) {
            if (previous_131 && has_131) return false;
            if (!seen_131) rough = true;
        }
        if (!any_counted) {
            any_counted = true;
            first_start[0] = start_tangent[0];
            first_start[1] = start_tangent[1];
            first_131 = has_131;
        }
        previous_end[0] = end_tangent[0];
        previous_end[1] = end_tangent[1];
        previous_131 = has_131;
        run = true;
    }
    // 5. The joint at the start point of a closed chain.
    if (closed && wrap && any_counted && !joins_smoothly(previous_end, first_start))
        if ((previous_131 && first_131) || !seen_131) return false;
    // 6.
    return !rough || seen_131;
}

}  // namespace

bool CHAIN_check_if_set_smooth(const RING_header_s* set, double angle_tolerance) {
    bool smooth = true;
    for_each_set_chain(set, [&](const RING_header_s* chain) {
        smooth = chain_is_smooth(chain, angle_tolerance);
        return smooth;
    });
    return smooth;
}

int CHAIN_find_tangents_to_chain(const RING_header_s* chain, const Korvo::Math::Point2* p,
                                 Korvo::Math::Vector2* direction1, Korvo::Math::Point2* point1,
                                 Korvo::Math::Vector2* direction2, Korvo::Math::Point2* point2, double* angle) {
    // 1. Outputs zeroed; a chain without area has no tangents.
    if (direction1) *direction1 = {0.0, 0.0};
    if (point1) *point1 = {0.0, 0.0};
    if (direction2) *direction2 = {0.0, 0.0};
    if (point2) *point2 = {0.0, 0.0};
    if (angle) *angle = 0.0;
    if (!chain || !p) return 0;
    const double e = EQ_ask_length_tolerance();
    double g[2] = {0.0, 0.0};
    const double area = CHAIN_chainArea_chainCentroid(chain, g);
    if (area == 0.0) return 0;
    RING_header_s* target = const_cast<RING_header_s*>(chain);

    // 2. A reference direction r whose opposite ray from P is clear of the
    //    chain: towards the centroid when possible, else the first clear one
    //    of 72 directions 5 degrees apart.  From a point the chain surrounds
    //    every ray meets the chain, so such a point has no tangents.
    auto ray_is_clear = [&](double rx, double ry) {
        const Korvo::Math::Vector2 away{-rx, -ry};
        double distance = 1e7;
        return ChainPointRayDistance(target, p, &away, &distance, nullptr, nullptr) == 0;
    };
    double r[2] = {g[0] - p->x, g[1] - p->y};
    const double to_centroid = std::hypot(r[0], r[1]);
    if (!(to_centroid > e && ray_is_clear(r[0] / to_centroid, r[1] / to_centroid))) {
        bool found = false;
        for (int k = 0; k < 72 && !found; ++k) {
            const double a = k * 5.0 * kPi / 180.0;
            if (ray_is_clear(std::cos(a), std::sin(a))) {
                r[0] = std::cos(a);
                r[1] = std::sin(a);
                found = true;
            }
        }
        if (!found) return 0;
    }
    double unit_r[2];
    double magnitude = 0.0;
    if (!VEC2_unitize(r, e, &magnitude, unit_r)) return 0;

    // 3. The largest and smallest angles about P, measured from r, over the
    //    vertices and the tangent points of arcs.
    const double px = p->x, py = p->y;
    double best_max = -10.0, best_min = 10.0;
    double at_max[2] = {0.0, 0.0}, at_min[2] = {0.0, 0.0};
    bool degenerate = false;
    auto consider = [&](const double w_point[2]) {
        const double w[2] = {w_point[0] - px, w_point[1] - py};
        const double phi = std::atan2(cross(unit_r, w), dot(unit_r, w));
        if (phi > best_max) {
            best_max = phi;
            at_max[0] = w_point[0];
            at_max[1] = w_point[1];
        }
        if (phi < best_min) {
            best_min = phi;
            at_min[0] = w_point[0];
            at_min[1] = w_point[1];
        }
    };
    for_each_segment(chain, [&](const SEGMENT& segment, RING_node_s*, int) {
        const double w_point[2] = {segment.end->x, segment.end->y};
        if (std::hypot(w_point[0] - px, w_point[1] - py) <= e) {
            degenerate = true;
            return false;
        }
        consider(w_point);
        if (segment.type == SEG_ARC) {
            const double ox = segment.end->cx, oy = segment.end->cy, radius = segment.end->radius;
            const double distance = std::hypot(ox - px, oy - py);
            if (distance > radius + e) {
                const double beta = std::atan2(oy - py, ox - px);
                const double delta = std::acos(-radius / distance);
                for (double sign : {1.0, -1.0}) {
                    const Korvo::Math::Point2 t{ox + radius * std::cos(beta + sign * delta),
                                                oy + radius * std::sin(beta + sign * delta)};
                    if (SEGMENT_point_location(&segment, t, e) == 3) {
                        const double tp[2] = {t.x, t.y};
                        consider(tp);
                    }
                }
            }
        }
        return true;
    });
    if (degenerate || best_max < best_min) return 0;

    // 4. Point and direction 1 at the largest angle, 2 at the smallest.
    auto direction_to = [&](const double q[2], Korvo::Math::Vector2* out) {
        if (!out) return;
        const double v[2] = {q[0] - px, q[1] - py};
        double u[2] = {0.0, 0.0};
        double m = 0.0;
        if (VEC2_unitize(v, e, &m, u)) *out = {u[0], u[1]};
    };
    if (point1) *point1 = {at_max[0], at_max[1]};
    if (point2) *point2 = {at_min[0], at_min[1]};
    direction_to(at_max, direction1);
    direction_to(at_min, direction2);
    if (angle) *angle = best_max - best_min;
    return 1;
}

double CHAIN_distance_to_mid_point_of_chain(const RING_header_s* chain, Korvo::Math::Point2* out) {
    if (!chain || !chain->first) return 0.0;
    if (chain->count == 1) {
        const double* p = point_of(chain->first);
        if (out && p) *out = {p[0], p[1]};
        return 0.0;
    }
    double perimeter = 0.0;
    for_each_segment(chain, [&](const SEGMENT& segment, RING_node_s*, int) {
        perimeter += SegmentLength(&segment);
        return true;
    });
    const double half = perimeter / 2.0;
    double running = 0.0;
    bool placed = false;
    for_each_segment(chain, [&](const SEGMENT& segment, RING_node_s*, int) {
        const double piece = SegmentLength(&segment);
        if (running + piece <= half) {
            running += piece;
            return true;
        }
        double at[2];
        if (out && SegmentDistPoint(&segment, std::fmax(half - running, 0.0), at)) *out = {at[0], at[1]};
        placed = true;
        return false;
    });
    if (!placed && out) {
        // Every segment fitted into the half (a chain without length): its end.
        const double* p = point_of(is_closed(chain) ? chain->first : chain->last);
        if (p) *out = {p[0], p[1]};
    }
    return half;
}

// ---------------------------------------------------------------------------
// Region centre
//
// Upward call: the region is shrunk by the region offsets of the chain
// operations (CHAIN_offset_region); it is this module's only call above the
// chain model.

namespace {

const double kCentreStepFloor = 1e-6;

bool lays_material_inside(const RING_header_s* chain) {
    const DIRECTION d = merrow1::stored_or_computed_direction(chain, merrow1::StoredDirection::NonZero);
    const SIDE side = main_of(chain)->material_side;
    return (d == CW && side == RIGHT) || (d == CCW && side == LEFT);
}

// A region the centre search can shrink: closed chains with a material side
// and a clock direction, the first an outer boundary, the others islands.
bool is_shrinkable_region(const std::vector<RING_header_s*>& chains) {
    if (chains.empty()) return false;
    for (size_t i = 0; i < chains.size(); ++i) {
        RING_header_s* chain = chains[i];
        if (chain->count < 2 || !is_closed(chain) ||
            merrow1::stored_or_computed_direction(chain, merrow1::StoredDirection::NonZero) == 0)
            return false;
        const SIDE side = main_of(chain)->material_side;
        if (side != RIGHT && side != LEFT) return false;
        if (lays_material_inside(chain) != (i > 0)) return false;
    }
    return true;
}

RING_header_s* first_chain(const RING_header_s* list) {
    for (RING_node_s* node : merrow1::ring_nodes(list))
        if (RING_header_s* chain = RING_ask_node_subring(node)) return chain;
    return nullptr;
}

double distance_to_chain(const RING_header_s* chain, const Korvo::Math::Point2& p) {
    const double at[2] = {p.x, p.y};
    return ChainPointMinDistance(chain, at, nullptr);
}

// The shared search.  The chains are the region's, first the outer boundary.
int region_centre(const std::vector<RING_header_s*>& chains, Korvo::Math::Point2* out) {
    if (!is_shrinkable_region(chains)) return 0;
    return merrow1::run_converting([&]() -> int {
        MERROW1_SCRATCH_POOL(pool, "CHAIN-CHAIN_maximum_distance_from_region_bouondaries");
        // 1. The region as a list of references, its first node marked as
        //    the start of the region's group.
        RING_header_s* region = CHAIN_create_boolean_set(pool, nullptr);
        RING_node_s* last = nullptr;
        for (RING_header_s* chain : chains) {
            last = RING_insert_after(region, last, nullptr);
            RING_set_node_subring(last, chain);
        }
        RING_put_node_app_data(region, region->first, APP_DATA_REGION_ORDER_MARK, chains.front());
        CHAIN_BOX_s box;
        if (!ChainBox(chains.front(), nullptr, &box)) return 0;
        double step = std::min(box.max_along - box.min_along, box.max_normal - box.min_normal) / 4;
        if (!(step > kCentreStepFloor) || CHAIN_chainArea_chainCentroid(chains.front(), nullptr) == 0) return 0;
        // 2. Shrink while the region lasts, then by a tenth of the step.  Each
        //    success moves every boundary in by the step, so the number of
        //    successes at one step is bounded by the box over the step.
        const RING_header_s* current = region;
        double current_area = std::fabs(CHAIN_chainArea_chainCentroid(chains.front(), nullptr));
        const double extent = 4 * step;
        for (; step > kCentreStepFloor; step /= 10) {
            for (double bound = extent / step + 2; bound > 0; --bound) {
                RING_header_s* shrunk = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
                const RING_header_s* first = CHAIN_offset_region(current, shrunk, step, true) ? first_chain(shrunk)
                                                                                              : nullptr;
                const double area = first ? std::fabs(CHAIN_chainArea_chainCentroid(first, nullptr)) : 0.0;
                if (!first || area == 0 || area >= current_area) break;
                current = shrunk;
                current_area = area;
            }
        }
        // 3. The candidates on the last region's first chain: its area
        //    centroid and its curve centroid, each only where it lies in the
        //    given region.
        const RING_header_s* last_first = first_chain(current);
        struct Candidate {
            Korvo::Math::Point2 at;
            double distance;
            bool valid;
        } candidates[2] = {};
        double g[2];
        if (CHAIN_chainArea_chainCentroid(last_first, g) != 0)
            candidates[0] = {{g[0], g[1]}, 0.0, true};
        Korvo::Math::Point2 h{};
        if (CHAIN_perimeter_and_centroid(last_first, &h) != 0) candidates[1] = {h, 0.0, true};
        for (Candidate& c : candidates) {
            if (!c.valid) continue;
            c.valid = CHAIN_min_distance_to_region(region, c.at, nullptr) == 0;
            if (c.valid) c.distance = distance_to_chain(last_first, c.at);
        }
        const Candidate* best = nullptr;
        if (candidates[0].valid && candidates[1].valid)
            best = candidates[0].distance > candidates[1].distance ? &candidates[0] : &candidates[1];
        else if (candidates[0].valid || candidates[1].valid)
            best = candidates[0].valid ? &candidates[0] : &candidates[1];
        if (!best) return 0;
        if (out) *out = best->at;
        return 1;
    });
}

}  // namespace

int CHAIN_center_of_region(const RING_header_s* region, Korvo::Math::Point2* out) {
    if (!region || region->type != RING_TYPE_LIST) return 0;
    std::vector<RING_header_s*> chains;
    for (RING_node_s* node : merrow1::ring_nodes(region))
        if (RING_header_s* chain = RING_ask_node_subring(node)) chains.push_back(chain);
    return region_centre(chains, out);
}

int CHAIN_center_of_chain(const RING_header_s* chain, Korvo::Math::Point2* out, double* distance) {
    if (!chain || chain->count < 2 || !is_closed(chain)) return 0;
    const DIRECTION clock = merrow1::stored_or_computed_direction(chain, merrow1::StoredDirection::NonZero);
    if (clock == 0) return 0;
    MERROW1_SCRATCH_POOL(pool, "CHAIN-CHAIN_center_of_chain");
    // The copy bounds the region with its material outside.
    RING_header_s* copy = CHAIN_copy(chain, pool, nullptr);
    if (!copy) return 0;
    CHAIN_main_data_s* data = static_cast<CHAIN_main_data_s*>(copy->main_data);
    data->direction = clock;
    data->material_side = clock == CCW ? RIGHT : LEFT;
    Korvo::Math::Point2 centre{};
    if (!region_centre({copy}, &centre)) return 0;
    if (out) *out = centre;
    if (distance) *distance = distance_to_chain(chain, centre);
    return 1;
}
