// Chain areas, centroids, directions and shape tests.
#include <merrow1/chain_area.h>

#include <merrow1/chain.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>
#include <merrow1/segment_intersection.h>
#include <pellam/mchn_segment.h>
#include <quorn/quorn.h>

#include <cmath>

namespace {

const double kPi = 3.14159265358979323846;
// Totals of chain sets within this of 0 have no centroid.
const double kSetTotalSlack = 1e-10;

const CHAIN_main_data_s* main_data(const RING_header_s* chain) {
    return chain ? static_cast<const CHAIN_main_data_s*>(chain->main_data) : nullptr;
}

const double* vertex_point(const RING_node_s* node) {
    const CHAIN_vertex_data_s* vertex = node ? static_cast<const CHAIN_vertex_data_s*>(node->main_data) : nullptr;
    return vertex ? vertex->geometry : nullptr;
}

bool is_closed(const RING_header_s* chain) {
    return chain && chain->first && chain->last && chain->last->next == chain->first;
}

double approximation_tolerance(const RING_header_s* chain) {
    const CHAIN_main_data_s* data = main_data(chain);
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

// Swept angle of an arc, positive for CCW and negative for CW.
double signed_sweep(const SEGMENT& arc) {
    const double size = SEGMENT_angular_size_of_arc_segment(&arc);
    return arc.end->direction == CW ? -size : size;
}

double cross(const double a[2], const double b[2]) { return a[0] * b[1] - a[1] * b[0]; }
double dot(const double a[2], const double b[2]) { return a[0] * b[0] + a[1] * b[1]; }

// Curve centroid of one chain: sum of segment centroids weighted by length.
// Returns the total length; the centroid is the first vertex's point and the
// result 0.0 when the length is within the host length tolerance.
double curve_centroid(const RING_header_s* chain, double centroid[2]) {
    double length = 0.0, sx = 0.0, sy = 0.0;
    for_each_segment(chain, [&](const SEGMENT& segment, RING_node_s*, int) {
        const double piece = SegmentLength(&segment);
        const double* s = segment.start;
        const double e[2] = {segment.end->x, segment.end->y};
        if (segment.type == SEG_LINE) {
            sx += 0.5 * (s[0] + e[0]) * piece;
            sy += 0.5 * (s[1] + e[1]) * piece;
        } else if (segment.type == SEG_ARC) {
            // The mean point of an arc is O + (E.y - S.y, -(E.x - S.x)) / theta.
            // A zero sweep has zero length and adds nothing.
            const double theta = signed_sweep(segment);
            if (theta != 0.0) {
                sx += (segment.end->cx + (e[1] - s[1]) / theta) * piece;
                sy += (segment.end->cy - (e[0] - s[0]) / theta) * piece;
            }
        }
        length += piece;
        return true;
    });
    if (std::fabs(length) <= EQ_ask_length_tolerance()) {
        if (centroid) {
            const double* p = vertex_point(chain ? chain->first : nullptr);
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

double CHAIN_chainArea_chainCentroid(const RING_header_s* chain, double centroid[2]) {
    if (!is_closed(chain) || chain->count < 2) return 0.0;
    // Green's theorem over the boundary: the area is the integral of x dy and
    // the first moments those of x^2/2 dy and -y^2/2 dx, in closed form per
    // line and per arc (centre O, radius R, signed sweep theta).
    double area = 0.0, mx = 0.0, my = 0.0;
    for_each_segment(chain, [&](const SEGMENT& segment, RING_node_s*, int) {
        const double sx = segment.start[0], sy = segment.start[1];
        const double ex = segment.end->x, ey = segment.end->y;
        if (segment.type == SEG_LINE) {
            area += (sx + ex) * (ey - sy) / 2.0;
            mx += (sx * sx + sx * ex + ex * ex) * (ey - sy) / 6.0;
            my -= (sy * sy + sy * ey + ey * ey) * (ex - sx) / 6.0;
        } else if (segment.type == SEG_ARC) {
            const double ox = segment.end->cx, oy = segment.end->cy, r = segment.end->radius;
            const double theta = signed_sweep(segment);
            area += (ex * ey - sx * sy + (ey - sy) * ox - (ex - sx) * oy) / 2.0 + r * r * theta / 2.0;
            const double s[2] = {sx - ox, sy - oy}, f[2] = {ex - ox, ey - oy};
            const double q = f[0] * f[1] - s[0] * s[1];
            mx += (ox * ox + r * r) / 2.0 * (ey - sy) - (f[1] * f[1] * f[1] - s[1] * s[1] * s[1]) / 6.0 +
                  (r * r / 2.0) * ox * theta + (ox / 2.0) * q;
            my += (f[0] * f[0] * f[0] - s[0] * s[0] * s[0]) / 6.0 - (oy * oy + r * r) / 2.0 * (ex - sx) +
                  (r * r / 2.0) * oy * theta - (oy / 2.0) * q;
        }
        return true;
    });
    if (std::fabs(area) <= EQ_ask_length_tolerance()) {
        if (centroid) curve_centroid(chain, centroid);
        return 0.0;
    }
    if (centroid) {
        centroid[0] = mx / area;
        centroid[1] = my / area;
    }
    return area;
}

namespace {

// Signed area of a closed chain as summed, with no tolerance applied; the
// terms are taken about the first vertex so that they stay small where the
// chain lies far from the origin.
double raw_signed_area(const RING_header_s* chain) {
    if (!is_closed(chain) || chain->count < 2) return 0.0;
    const double* origin = vertex_point(chain->first);
    if (!origin) return 0.0;
    const double rx = origin[0], ry = origin[1];
    double area = 0.0;
    for_each_segment(chain, [&](const SEGMENT& segment, RING_node_s*, int) {
        const double sx = segment.start[0] - rx, sy = segment.start[1] - ry;
        const double ex = segment.end->x - rx, ey = segment.end->y - ry;
        if (segment.type == SEG_LINE) {
            area += (sx + ex) * (ey - sy) / 2.0;
        } else if (segment.type == SEG_ARC) {
            const double ox = segment.end->cx - rx, oy = segment.end->cy - ry, r = segment.end->radius;
            area += (ex * ey - sx * sy + (ey - sy) * ox - (ex - sx) * oy) / 2.0 + r * r * signed_sweep(segment) / 2.0;
        }
        return true;
    });
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
        const CHAIN_main_data_s* data = main_data(chain);
        if (data && data->material_side == RIGHT) area = -area;
        total += area;
        wx += area * c[0];
        wy += area * c[1];
        return true;
    });
    // An open chain or a total without size has no centroid: the weighted sum
    // is never handed out undivided.
    if (open || std::fabs(total) <= kSetTotalSlack) {
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
        const bool has_131 = APP_DATA__ask_app_data(node->app_data, 131) != nullptr;
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
    if (std::fabs(area) <= e) return 0;
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
        const double* p = vertex_point(chain->first);
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
        const double* p = vertex_point(is_closed(chain) ? chain->first : chain->last);
        if (p) *out = {p[0], p[1]};
    }
    return half;
}
