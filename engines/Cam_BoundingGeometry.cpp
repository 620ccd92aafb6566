// Bounding geometry and the minimum-width box of a planar point set.
#include <merrow1/Cam_BoundingGeometry.h>

#include <stend/system.h>
#include <tavish/hull.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace Korvo {
namespace Cam {

using Korvo::Math::Point2;

namespace {
const double kPi = std::acos(-1.0);
double dot(const Point2& a, const Point2& b) { return a.x * b.x + a.y * b.y; }
double cross(const Point2& a, const Point2& b) { return a.x * b.y - a.y * b.x; }
Point2 unit(const Point2& a) {
    const double n = std::sqrt(dot(a, a));
    return n > 0.0 ? Point2{a.x / n, a.y / n} : a;
}
Point2 turned(const Point2& a, double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    return {c * a.x - s * a.y, s * a.x + c * a.y};
}
}  // namespace

BoxablePolygon::BoxablePolygon(int count, const Point2* points, bool convex)
    : m_count(count), m_points(points), m_convex(convex ? 1 : 0) {}

BoxablePolygon::BoxablePolygon(const BoxablePolygon& other)
    : m_count(other.m_count),
      m_points(other.m_points),
      m_convex(other.m_convex),
      m_valid(other.m_valid),
      m_workCount(other.m_workCount) {
    if (other.m_work) {
        m_work = new Point2[other.m_workCount];
        std::copy(other.m_work, other.m_work + other.m_workCount, m_work);
    }
}

BoxablePolygon& BoxablePolygon::operator=(const BoxablePolygon& other) {
    if (this == &other) return *this;
    Point2* work = nullptr;
    if (other.m_work) {
        work = new Point2[other.m_workCount];
        std::copy(other.m_work, other.m_work + other.m_workCount, work);
    }
    delete[] m_work;
    m_work = work;
    m_count = other.m_count;
    m_points = other.m_points;
    m_convex = other.m_convex;
    m_valid = other.m_valid;
    m_workCount = other.m_workCount;
    return *this;
}

BoxablePolygon::~BoxablePolygon() { delete[] m_work; }

// Smallest and largest projection on the direction; a later point replaces
// the minimum only when strictly smaller, else the maximum only when strictly
// larger.  True when the two differ.
bool BoxablePolygon::GetMinMaxPts(const Point2& direction, int* minIndex, int* maxIndex, double* min,
                                  double* max) const {
    *minIndex = *maxIndex = 0;
    *min = *max = dot(m_work[0], direction);
    for (int i = 1; i < m_workCount; ++i) {
        const double p = dot(m_work[i], direction);
        if (p < *min) {
            *min = p;
            *minIndex = i;
        } else if (p > *max) {
            *max = p;
            *maxIndex = i;
        }
    }
    return *minIndex != *maxIndex;
}

// The following hull point, wrapping, farther than the number tolerance from
// this one; -1 when there is none.
int BoxablePolygon::NextPt(int index) const {
    const double tol = EQ_ask_number_tolerance();
    for (int step = 1; step < m_workCount; ++step) {
        const int j = (index + step) % m_workCount;
        const Point2 d{m_work[j].x - m_work[index].x, m_work[j].y - m_work[index].y};
        if (std::sqrt(dot(d, d)) > tol) return j;
    }
    return -1;
}

// |atan2(cross, dot)| of the unit vectors; 0 when not above the tolerance.
bool BoxablePolygon::Angle(const Point2& a, const Point2& b, double* angle) const {
    const Point2 ua = unit(a), ub = unit(b);
    if (dot(ua, ua) == 0.0 || dot(ub, ub) == 0.0) return false;
    *angle = std::fabs(std::atan2(cross(ua, ub), dot(ua, ub)));
    if (!(*angle > EQ_ask_number_tolerance())) *angle = 0.0;
    return true;
}

// Distance between two support points across the caliper's direction.
double BoxablePolygon::Distance(int from, int to, const Point2& direction) const {
    const Point2 d{m_work[to].x - m_work[from].x, m_work[to].y - m_work[from].y};
    return std::fabs(cross(unit(direction), d));
}

bool BoxablePolygon::CalcMinWidthBox(double** extents, Point2* direction) {
    if (m_count < 3 || !m_points || !m_valid) return false;
    // 1. The hull, counter-clockwise.
    std::vector<Point2> work;
    if (m_convex) {
        work.assign(m_points, m_points + m_count);
    } else {
        std::vector<double> xy;
        for (int i = 0; i < m_count; ++i) {
            xy.push_back(m_points[i].x);
            xy.push_back(m_points[i].y);
        }
        int* indices = nullptr;
        const int h = HULL2D_find_hull(xy.data(), m_count, &indices);
        for (int i = 0; i < h; ++i) work.push_back(m_points[indices[i]]);
        if (indices) SM_free(indices);
    }
    m_workCount = static_cast<int>(work.size());
    m_work = new Point2[std::max(m_workCount, 1)];
    std::copy(work.begin(), work.end(), m_work);
    bool found = false;
    Point2 best_direction{1.0, 0.0};
    if (m_workCount >= 3) {
        // 2. Calipers at the lowest and highest points along (0, 1).
        int at[2];
        double low, high;
        GetMinMaxPts({0.0, 1.0}, &at[0], &at[1], &low, &high);
        Point2 caliper[2] = {{1.0, 0.0}, {-1.0, 0.0}};
        double best = 1e19, total = 0.0;
        // 3. Each step lays one caliper on a hull edge; the whole turn takes
        // at most one step per hull edge for each caliper.
        const int bound = 2 * m_workCount + 2;
        for (int step = 0; step < bound; ++step) {
            int next[2];
            double angle[2];
            bool ok = true;
            for (int c = 0; c < 2 && ok; ++c) {
                next[c] = NextPt(at[c]);
                ok = next[c] >= 0 &&
                     Angle(caliper[c], {m_work[next[c]].x - m_work[at[c]].x, m_work[next[c]].y - m_work[at[c]].y},
                           &angle[c]);
            }
            if (!ok) break;
            const double theta = std::min(angle[0], angle[1]);
            caliper[0] = turned(caliper[0], theta);
            caliper[1] = turned(caliper[1], theta);
            const int on_edge = angle[0] < angle[1] ? 0 : 1;
            const double width = Distance(at[on_edge], at[1 - on_edge], caliper[on_edge]);
            at[on_edge] = next[on_edge];
            if (width < best) {
                best = width;
                best_direction = caliper[on_edge];
            }
            total += theta;
            if (total >= kPi) {
                found = true;
                break;
            }
        }
    }
    m_valid = found ? 1 : 0;
    if (found) {
        // 4. The outputs.
        const Point2 d = unit(best_direction), perpendicular{-d.y, d.x};
        if (direction) *direction = d;
        if (extents) {
            double* e = new double[4];
            int i0, i1;
            GetMinMaxPts(d, &i0, &i1, &e[0], &e[1]);
            GetMinMaxPts(perpendicular, &i0, &i1, &e[2], &e[3]);
            *extents = e;
        }
    }
    // 5. The working array goes.
    delete[] m_work;
    m_work = nullptr;
    m_workCount = 0;
    return m_valid != 0;
}

}  // namespace Cam
}  // namespace Korvo
