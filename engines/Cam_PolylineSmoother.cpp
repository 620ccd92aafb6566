// Kink identification and smoothing of 3-D polylines.
//
// Kinks: every point gets its turn cosine, its unit bending normal and the
// unit direction to the centre of the circle through it and its neighbours.
// From each sharp point (turn above the smooth angle) a walk goes forward
// along the polyline, within the maximum kink length, looking for a second
// sharp point whose bend is opposite (centre directions and normals at least
// the kink angle apart); the points from the first to the second are kinks.
//
// Smoothing: up to 4 Gauss-Seidel passes move every kink point that is not
// fixed to the midpoint of its neighbours, limited relative to its input
// position by its distance or cylinder limit.
#include <merrow1/Cam_PolylineSmoother.h>

#include <algorithm>
#include <cmath>

#include "engines/engine_memory.h"
#include "engines/point_list.h"
#include "internal/check.h"
#include "internal/vec2.h"

namespace Korvo {
namespace Cam {

namespace {

using Korvo::Math::Point3;
using Korvo::Math::Vector3;

using merrow1::kPi;
// Lengths, areas, limits and move scales at or below this count as zero.
const double kTiny = 1e-10;
const double kSlopeKink = 0.7;  // radians
const int kPasses = 4;

struct V3 {
    double x, y, z;
};
V3 v3(const double* p) { return {p[0], p[1], p[2]}; }
V3 sub(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 scaled(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double norm(V3 a) { return std::sqrt(dot(a, a)); }
// a / |a|, or zero when |a| is at most the tolerance.
V3 unit_or_zero(V3 a) {
    const double n = norm(a);
    return n > kTiny ? scaled(a, 1.0 / n) : V3{0, 0, 0};
}

// Turn data of one point: cosine of the turn, unit bending normal, unit
// direction to the centre of the circle through the point and its
// neighbours.  "No turn" is cosine 1 with zero vectors.
struct Turn {
    double cosine = 1;
    V3 normal = {0, 0, 0};
    V3 centre = {0, 0, 0};
};

// Triangle area from its sides by the stable form of Heron's formula.
double heron(double a, double b, double c) {
    if (a < b) std::swap(a, b);
    if (a < c) std::swap(a, c);
    if (b < c) std::swap(b, c);
    const double q = (a + (b + c)) * (c - (a - b)) * (c + (a - b)) * (a + (b - c));
    return q > 0 ? 0.25 * std::sqrt(q) : 0;
}

Turn turn_at(V3 before, V3 p, V3 after) {
    Turn t;
    const V3 a = sub(p, before), b = sub(after, p);
    const double ab = norm(a) * norm(b);
    t.cosine = ab > kTiny ? dot(a, b) / ab : 1;
    t.normal = unit_or_zero(cross(a, b));
    // Circumcentre as the barycentric combination of the corners, each
    // weighted by its opposite side squared times (the other two squared
    // less it squared).
    const double la = norm(sub(after, p)), lb = norm(sub(after, before)), lc = norm(sub(p, before));
    if (heron(la, lb, lc) <= kTiny) return t;
    const double a2 = la * la, b2 = lb * lb, c2 = lc * lc;
    const double wb = b2 * (c2 + a2 - b2);      // at p, opposite side before-after
    const double wa = a2 * (b2 + c2 - a2);      // at before, opposite side p-after
    const double wc = c2 * (a2 + b2 - c2);      // at after, opposite side before-p
    const double sum = wa + wb + wc;
    if (sum == 0) return t;
    const V3 centre = {(wa * before.x + wb * p.x + wc * after.x) / sum,
                       (wa * before.y + wb * p.y + wc * after.y) / sum,
                       (wa * before.z + wb * p.z + wc * after.z) / sum};
    t.centre = unit_or_zero(sub(centre, p));
    return t;
}

double distance(const Point3& a, const Point3& b) {
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

using merrow1::all_points_present;

}  // namespace

IPolylineSmoother::~IPolylineSmoother() = default;

void* IPolylineSmoother::operator new(std::size_t size) { return merrow1::engine_allocate(size); }

void IPolylineSmoother::operator delete(void* p) { Korvo::Memory::CppMemory::free(p); }

IPolylineSmoother* IPolylineSmoother::PolylineSmootherFactory() {
    try {
        return new PolylineSmoother();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

PolylineSmoother::PolylineSmoother() = default;

PolylineSmoother::PolylineSmoother(std::vector<Point3*>* input) { SetInputPoly(input); }

PolylineSmoother::~PolylineSmoother() = default;

void PolylineSmoother::SetInputPoly(std::vector<Point3*>* points) {
    m_input = points;
    m_output = nullptr;
    m_maxMove = nullptr;
    m_constraints = nullptr;
    m_fixed.clear();
    m_kinks.clear();
    m_count = 0;
    m_closed = false;
}

void PolylineSmoother::SetSmoothAngle(double degrees) { m_smoothAngle = degrees; }

void PolylineSmoother::SetKinkAngle(double degrees) { m_kinkAngle = degrees; }

void PolylineSmoother::SetInputProjection(std::vector<Vector3*>* directions, std::vector<double>* values) {
    m_directions = directions;
    m_values = values;
}

// Point count, closed flag, working points (a copy of the input) and clear
// marks.  False, with a note, when the input is missing or has a null point.
bool PolylineSmoother::Prepare() {
    MERROW1_REQUIRE(m_input && all_points_present(*m_input), "DUE_TO_INVALID_INPUT", false);
    const std::vector<Point3*>& in = *m_input;
    m_count = static_cast<int>(in.size());
    m_closed = m_count > 0 && distance(*in.front(), *in.back()) <= kTiny;
    m_work.resize(3 * static_cast<std::size_t>(m_count));
    for (int i = 0; i < m_count; ++i) {
        m_work[3 * i] = in[i]->x;
        m_work[3 * i + 1] = in[i]->y;
        m_work[3 * i + 2] = in[i]->z;
    }
    m_kinks.assign(m_count, false);
    m_fixed.assign(m_count, false);
    return true;
}

int PolylineSmoother::Previous(int i) const {
    if (i > 0) return i - 1;
    return m_closed ? m_count - 2 : 0;
}

int PolylineSmoother::Next(int i) const {
    if (i < m_count - 1) return i + 1;
    return m_closed ? 1 : m_count - 1;
}

void PolylineSmoother::SetMaxKinkLength(const double* maxKinkLength) {
    if (maxKinkLength) {
        m_maxKinkLength = *maxKinkLength;
        return;
    }
    m_maxKinkLength = 0;
    for (int i = 0; i + 1 < m_count; ++i) m_maxKinkLength = std::max(m_maxKinkLength, norm(sub(v3(P(i + 1)), v3(P(i)))));
}

int PolylineSmoother::IdentifyKinks() {
    const int n = m_count;
    m_kinks.assign(n, false);
    if (n < 3) return 0;
    const double cs = std::cos(m_smoothAngle * kPi / 180.0);
    const double ck = std::cos(m_kinkAngle * kPi / 180.0);
    // Turn data of points 0 to n - 2; point n - 1 is point 0 again on a
    // closed polyline and has no turn on an open one.
    HostVector<Turn> turn(n);
    for (int i = 0; i <= n - 2; ++i) turn[i] = turn_at(v3(P(Previous(i))), v3(P(i)), v3(P(i + 1)));
    if (m_closed) turn[n - 1] = turn[0];

    const auto opposite = [&](int a, int b) {
        return dot(turn[a].centre, turn[b].centre) <= ck && dot(turn[a].normal, turn[b].normal) <= ck &&
               turn[b].cosine < cs;
    };
    for (int i = 1; i <= n - 2; ++i) {
        if (!(turn[i].cosine < cs) || m_kinks[i]) continue;
        double length = 0;
        // j only moves forward and the walk ends at n - 1: at most n steps.
        for (int j = i; j != n - 1;) {
            const int k = Next(j), q = Previous(j);
            length += norm(sub(v3(P(j)), v3(P(k))));
            if (length > m_maxKinkLength) break;
            if (opposite(i, k)) {
                for (int t = i; t <= k; ++t) m_kinks[t] = true;
                break;
            }
            if (m_closed && i == 1 && opposite(1, q)) {
                m_kinks[1] = true;
                break;
            }
            j = k;
        }
    }
    return static_cast<int>(std::count(m_kinks.begin(), m_kinks.end(), true));
}

void PolylineSmoother::ComputeFixed() {
    m_fixed.assign(m_count, false);
    if (m_count == 0) return;
    m_fixed[0] = m_fixed[m_count - 1] = true;
    for (int i = 0; i < m_count; ++i) {
        if (m_maxMove && (*m_maxMove)[i] <= kTiny) m_fixed[i] = true;
        if (m_constraints) {
            const CylindrConstraint& c = (*m_constraints)[i];
            if (!c.axis || (c.hi - c.lo <= kTiny && c.across <= kTiny)) m_fixed[i] = true;
        }
    }
}

// Moves working point i toward `target` as far as its limit allows, measured
// from its input position.
void PolylineSmoother::ApplyConstraint(int i, const double target[3]) {
    const Point3& o = *(*m_input)[i];
    const V3 d = {target[0] - o.x, target[1] - o.y, target[2] - o.z};
    double factor;
    if (m_maxMove) {
        const double limit = (*m_maxMove)[i], len = norm(d);
        factor = len <= limit ? 1.0 : limit / len;
    } else if (m_constraints) {
        const CylindrConstraint& c = (*m_constraints)[i];
        const V3 axis = {c.axis->x, c.axis->y, c.axis->z};
        const double t = dot(d, axis);
        // A move with no part along the axis stays put, even where the
        // across-axis limit would allow a radial move.
        if (std::fabs(t) <= kTiny) return;
        double scale = t > c.hi ? c.hi / t : (t < c.lo ? std::fabs(c.lo / t) : 1.0);
        if (scale < kTiny) return;
        // The radial move is cut to the across-axis limit whenever it exceeds
        // it, however small, so the limit always holds.
        const double across2 = std::max(0.0, dot(d, d) - t * t) * scale * scale;
        if (across2 > 0 && across2 > c.across * c.across) scale *= c.across / std::sqrt(across2);
        if (scale <= kTiny) return;
        factor = scale;
    } else {
        return;
    }
    m_work[3 * i] = o.x + d.x * factor;
    m_work[3 * i + 1] = o.y + d.y * factor;
    m_work[3 * i + 2] = o.z + d.z * factor;
}

void PolylineSmoother::SmoothWithLimits(double* maxKinkLength, std::vector<Point3*>* output) {
    m_output = output;
    if (!Prepare()) return;
    MERROW1_REQUIRE(output && static_cast<int>(output->size()) >= m_count && all_points_present(*output),
                    "DUE_TO_INVALID_OUTPUT", );
    MERROW1_REQUIRE(!m_maxMove || static_cast<int>(m_maxMove->size()) >= m_count, "DUE_TO_INVALID_LIMITS", );
    MERROW1_REQUIRE(!m_constraints || static_cast<int>(m_constraints->size()) >= m_count, "DUE_TO_INVALID_LIMITS", );
    ComputeFixed();
    SetMaxKinkLength(maxKinkLength);
    if (IdentifyKinks() > 0) {
        for (int pass = 0; pass < kPasses; ++pass) {
            bool visited = false;
            for (int i = 1; i <= m_count - 2; ++i) {
                if (!m_kinks[i] || m_fixed[i]) continue;
                visited = true;
                const double target[3] = {(P(i - 1)[0] + P(i + 1)[0]) / 2, (P(i - 1)[1] + P(i + 1)[1]) / 2,
                                          (P(i - 1)[2] + P(i + 1)[2]) / 2};
                ApplyConstraint(i, target);
            }
            if (!visited) break;
        }
    }
    for (int i = 0; i < m_count; ++i) *(*output)[i] = {P(i)[0], P(i)[1], P(i)[2]};
}

void PolylineSmoother::Smooth(std::vector<double>* maxMove, double* maxKinkLength, std::vector<Point3*>* output) {
    m_maxMove = maxMove;
    m_constraints = nullptr;
    SmoothWithLimits(maxKinkLength, output);
}

void PolylineSmoother::SmoothDirectional(std::vector<CylindrConstraint>* constraints, double* maxKinkLength,
                                         std::vector<Point3*>* output) {
    m_constraints = constraints;
    m_maxMove = nullptr;
    SmoothWithLimits(maxKinkLength, output);
}

int PolylineSmoother::FindKinks(std::vector<Point3*>* points, double* maxKinkLength, std::vector<bool>* kinks) {
    SetInputPoly(points);
    if (!Prepare()) return 0;
    SetMaxKinkLength(maxKinkLength);
    const int count = IdentifyKinks();
    if (kinks) {
        if (static_cast<int>(kinks->size()) < m_count) kinks->resize(m_count);
        for (int i = 0; i < m_count; ++i) (*kinks)[i] = m_kinks[i];
    }
    return count;
}

int PolylineSmoother::FindKinks(std::vector<Point3*>* points, std::vector<Vector3*>* directions,
                                std::vector<double>* values, std::vector<Vector3*>*, double*,
                                std::vector<bool>* kinks, std::vector<double>* slopeChanges) {
    SetInputPoly(points);
    SetInputProjection(directions, values);
    if (!Prepare()) return 0;
    const int n = m_count;
    if (slopeChanges) slopeChanges->assign(n, 0.0);
    if (kinks && static_cast<int>(kinks->size()) < n) kinks->resize(n);
    if (kinks) std::fill(kinks->begin(), kinks->begin() + n, false);
    if (n < 3) return 0;
    MERROW1_REQUIRE(values && static_cast<int>(values->size()) >= n, "DUE_TO_INVALID_INPUT", 0);
    m_workValues.assign(values->begin(), values->begin() + n);

    // Slope angle of every segment: height change over segment length.
    HostVector<double> slope(n - 1);
    for (int k = 0; k <= n - 2; ++k)
        slope[k] = std::atan2(m_workValues[k + 1] - m_workValues[k], norm(sub(v3(P(k + 1)), v3(P(k)))));
    HostVector<double> change(n, 0.0);
    for (int i = 1; i <= n - 2; ++i) change[i] = slope[i] - slope[i - 1];
    if (m_closed) change[0] = slope[0] - slope[n - 2];
    for (int i = 0; i < n; ++i) m_kinks[i] = std::fabs(change[i]) > kSlopeKink;
    if (slopeChanges) std::copy(change.begin(), change.end(), slopeChanges->begin());
    if (kinks)
        for (int i = 0; i < n; ++i) (*kinks)[i] = m_kinks[i];
    return static_cast<int>(std::count(m_kinks.begin(), m_kinks.end(), true));
}

}  // namespace Cam
}  // namespace Korvo
