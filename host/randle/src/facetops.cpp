// Stand-in of the host's distance between discrete curves: every pair of
// segments measured in closed form; every call recorded.
#include <randle/facetops.h>
#include <randle/testing.h>

#include <cmath>

namespace {

int g_calls = 0;
randle_test::DistCall g_last;
int g_fail = 0;

struct V {
    double x, y, z;
};
V at(const double* p, int i) { return {p[3 * i], p[3 * i + 1], p[3 * i + 2]}; }
V sub(V a, V b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V add_scaled(V a, V d, double s) { return {a.x + s * d.x, a.y + s * d.y, a.z + s * d.z}; }
double dot(V a, V b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double clamp01(double s) { return s < 0 ? 0 : (s > 1 ? 1 : s); }

struct Closest {
    V p, q;
    double d2;
};

// The point of segment a + s d (s in [0, 1]) closest to x; a zero-length
// segment answers its start.
V closest_on_segment(V a, V d, V x) {
    const double dd = dot(d, d);
    return dd > 0 ? add_scaled(a, d, clamp01(dot(sub(x, a), d) / dd)) : a;
}

void consider(Closest& best, V p, V q) {
    const V pq = sub(p, q);
    const double d2 = dot(pq, pq);
    if (d2 < best.d2) best = {p, q, d2};
}

// Closest points of two segments: the best of the four end points against
// the other segment and, when the lines are not parallel and both
// parameters fall inside, the common perpendicular.
void segment_pair(V a, V b, V c, V d, Closest& best) {
    const V u = sub(b, a), v = sub(d, c), w = sub(a, c);
    consider(best, a, closest_on_segment(c, v, a));
    consider(best, b, closest_on_segment(c, v, b));
    consider(best, closest_on_segment(a, u, c), c);
    consider(best, closest_on_segment(a, u, d), d);
    const double uu = dot(u, u), uv = dot(u, v), vv = dot(v, v), uw = dot(u, w), vw = dot(v, w);
    const double denom = uu * vv - uv * uv;
    if (denom <= 0) return;
    const double s = (uv * vw - vv * uw) / denom, t = (uu * vw - uv * uw) / denom;
    if (s > 0 && s < 1 && t > 0 && t < 1) consider(best, add_scaled(a, u, s), add_scaled(c, v, t));
}

bool good_tolerance(double t) { return std::isfinite(t) && t > 0; }

}  // namespace

int FACETOPS_dist_of_discrete_curvs(int count1, const double* points1, int count2, const double* points2,
                                    double tolerance1, double tolerance2, int option, double closest1[3],
                                    double closest2[3], double* distance) {
    ++g_calls;
    g_last = {};
    if (points1 && count1 > 0) g_last.points1.assign(points1, points1 + 3 * count1);
    if (points2 && count2 > 0) g_last.points2.assign(points2, points2 + 3 * count2);
    g_last.tolerance1 = tolerance1;
    g_last.tolerance2 = tolerance2;
    g_last.option = option;
    if (g_fail) return g_fail;
    if (count1 < 2 || count2 < 2 || !points1 || !points2 || !closest1 || !closest2 || !distance ||
        !good_tolerance(tolerance1) || !good_tolerance(tolerance2))
        return FACETOPS_BAD_ARGUMENT;
    Closest best = {{0, 0, 0}, {0, 0, 0}, INFINITY};
    for (int i = 0; i + 1 < count1; ++i)
        for (int j = 0; j + 1 < count2; ++j)
            segment_pair(at(points1, i), at(points1, i + 1), at(points2, j), at(points2, j + 1), best);
    closest1[0] = best.p.x, closest1[1] = best.p.y, closest1[2] = best.p.z;
    closest2[0] = best.q.x, closest2[1] = best.q.y, closest2[2] = best.q.z;
    *distance = std::sqrt(best.d2);
    return FACETOPS_OK;
}

namespace randle_test {
int dist_call_count() { return g_calls; }
const DistCall& last_dist_call() { return g_last; }
void fail_dist_calls(int code) { g_fail = code; }
void reset() {
    g_calls = 0;
    g_last = {};
    g_fail = 0;
}
}  // namespace randle_test
