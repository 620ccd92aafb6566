// Direction intervals and the straight-line approximation of strings.
//
// An ordinary interval runs clockwise from its start vector to its end
// vector, so in counter-clockwise angle it is [angle(end), angle(start)]
// (state 0) or, when that passes through +X, the two pieces
// [angle(end), 2 pi) and [0, angle(start)] (state 3).  Intersections are found
// from the ends alone: a piece of the common part starts (counter-clockwise)
// at an end vector that lies inside the other interval and runs to the first
// start vector inside the other one.
#include <merrow1/Cam_PolarInterval.h>

#include <stend/error.h>

#include <cmath>

#include "internal/vec2.h"

namespace Korvo {
namespace Cam {

using Korvo::Math::Point2;
using Korvo::Math::Vector2;

namespace {

// The cross product of two directions decides their order only beyond this
// multiple of the size of its two products and itself (their rounding).
constexpr double kCrossRounding = 2e-16;
// A touching direction of squared length below this leaves the circle nowhere.
constexpr double kNoTouchSquared = 1e-19;

// Quadrant of a direction by its polar angle: [0, pi/2) is 0, [pi/2, pi) 1,
// [pi, 3 pi/2) 2, [3 pi/2, 2 pi) 3.
int quadrant(const Vector2& v) {
    if (v.y >= 0 && v.x > 0) return 0;
    if (v.x <= 0 && v.y > 0) return 1;
    if (v.y <= 0 && v.x < 0) return 2;
    return 3;
}

Vector2 minus(const Vector2& v) { return {-v.x, -v.y}; }
using merrow1::dot;
Vector2 diff(const Point2& a, const Point2& b) { return {a.x - b.x, a.y - b.y}; }

// Whether `a` comes before `b` counter-clockwise from `from`: a lies on the
// counter-clockwise arc from `from` to `b`.
bool ccw_before(const Vector2& from, const Vector2& a, const Vector2& b) {
    if (PolarInterval::IsMoreClockwise(from, b) == 0) return true;
    return PolarInterval(b, from).IsInside(a);
}

}  // namespace

PolarInterval::PolarInterval(bool full) : m_state(full ? kFull : kEmpty), m_start{0, 0}, m_end{0, 0} {}

PolarInterval::PolarInterval(const Vector2& start, const Vector2& end) : m_start(start), m_end(end) {
    const int order = IsMoreClockwise(start, end);
    m_state = order == 0 ? kEmpty : order < 0 ? kOrdinary : kThroughPlusX;
}

int PolarInterval::IsMoreClockwise(const Vector2& a, const Vector2& b) {
    if ((a.x == 0 && a.y == 0) || (b.x == 0 && b.y == 0))
        ERROR_internal(__FILE__, __LINE__, "Zero length vector passed to PolarInterval::IsMoreClockwise");
    const int qa = quadrant(a), qb = quadrant(b);
    if (qa != qb) return qa < qb ? 1 : -1;
    const double p = a.x * b.y, q = a.y * b.x;
    const double cross = p - q;
    const double bound = kCrossRounding * (std::fabs(p) + std::fabs(q) + std::fabs(cross));
    if (cross > bound) return 1;
    if (cross < -bound) return -1;
    return 0;
}

bool PolarInterval::IsInside(const Vector2& v) const {
    switch (m_state) {
    case kFull: return true;
    case kEmpty: return false;
    case kOrdinary: return IsMoreClockwise(m_end, v) >= 0 && IsMoreClockwise(v, m_start) >= 0;
    default: return IsMoreClockwise(v, m_start) >= 0 || IsMoreClockwise(m_end, v) >= 0;
    }
}

bool PolarInterval::Intersect(const PolarInterval& other, PolarInterval& extra) {
    extra = PolarInterval(false);
    if (m_state == kEmpty) return false;
    if (other.m_state == kEmpty) {
        *this = other;
        return false;
    }
    if (other.m_state == kFull) return true;
    if (m_state == kFull) {
        *this = other;
        return true;
    }
    // Pieces start at an end vector inside the other interval (counter-
    // clockwise) and stop at the first start vector inside the other one.
    Vector2 starts[2], stops[2];
    int nstarts = 0, nstops = 0;
    if (other.IsInside(m_end)) starts[nstarts++] = m_end;
    if (IsInside(other.m_end) && !(nstarts == 1 && IsMoreClockwise(m_end, other.m_end) == 0))
        starts[nstarts++] = other.m_end;
    if (other.IsInside(m_start)) stops[nstops++] = m_start;
    if (IsInside(other.m_start) && !(nstops == 1 && IsMoreClockwise(m_start, other.m_start) == 0))
        stops[nstops++] = other.m_start;
    if (nstarts == 0 || nstops == 0) {
        *this = PolarInterval(false);
        return false;
    }
    PolarInterval pieces[2];
    int npieces = 0;
    for (int i = 0; i < nstarts; ++i) {
        Vector2 stop = stops[0];
        if (nstops == 2 && ccw_before(starts[i], stops[1], stops[0])) stop = stops[1];
        const PolarInterval piece(stop, starts[i]);
        if (piece.IsEmpty()) continue;
        if (npieces == 1 && IsMoreClockwise(pieces[0].m_start, piece.m_start) == 0 &&
            IsMoreClockwise(pieces[0].m_end, piece.m_end) == 0)
            continue;
        pieces[npieces++] = piece;
    }
    if (npieces == 0) {
        *this = PolarInterval(false);
        return false;
    }
    // The piece through +X (if any) stays here; the other one goes to extra.
    if (npieces == 2) {
        if (pieces[1].m_state == kThroughPlusX) {
            *this = pieces[1];
            extra = pieces[0];
        } else {
            *this = pieces[0];
            extra = pieces[1];
        }
    } else {
        *this = pieces[0];
    }
    return m_state != kEmpty;
}

StringLinearApproximator::StringLinearApproximator(double d, double radiusTolerance, const Point2& start)
    : m_d(d), m_d2(d * d), m_radiusTolerance(radiusTolerance), m_start(start), m_lastGoodEnd(start),
      m_feasible(true) {}

void StringLinearApproximator::Reset(const Point2& p) {
    m_start = p;
    m_lastGoodEnd = p;
    m_feasible = PolarInterval(true);
}

bool StringLinearApproximator::FindCircleGlances(const Vector2& v, double a, double b, double c, Vector2& out1,
                                                 Vector2& out2) {
    if (a == 0 || c / a >= 1) return false;
    const double cs = std::sqrt(1 - c / a), sn = b / std::sqrt(a);
    out1 = {v.x * cs - v.y * sn, v.x * sn + v.y * cs};
    out2 = {v.x * cs + v.y * sn, -v.x * sn + v.y * cs};
    return true;
}

bool StringLinearApproximator::AddLine(const Point2& p) {
    const Vector2 w = diff(p, m_start);
    const double a = dot(w, w);
    if (a <= m_d2) {
        m_lastGoodEnd = p;
        return true;
    }
    if (!m_feasible.IsInside(w)) return false;
    Vector2 g1, g2;
    if (!FindCircleGlances(w, a, m_d, m_d2, g1, g2)) return false;
    // The directions within d of p run clockwise from the counter-clockwise
    // glance to the clockwise one, through w.
    PolarInterval extra;
    if (!m_feasible.Intersect(PolarInterval(g1, g2), extra)) return false;
    m_lastGoodEnd = p;
    return true;
}

bool StringLinearApproximator::AddArc(const Point2& end, const Point2& centre, bool ccw, Point2& exit,
                                      bool& exitOnArc) {
    exitOnArc = false;
    exit = end;
    const Vector2 toEnd = diff(end, centre), toLast = diff(m_lastGoodEnd, centre);
    const double R = std::sqrt((dot(toEnd, toEnd) + dot(toLast, toLast)) / 2);
    const double e = R - m_radiusTolerance;
    // The arc's swept directions about the centre.
    const bool sweepKnown = dot(toEnd, toEnd) > 0 && dot(toLast, toLast) > 0;
    PolarInterval sweep = sweepKnown ? (ccw ? PolarInterval(toEnd, toLast) : PolarInterval(toLast, toEnd))
                                     : PolarInterval(false);
    const Vector2 v = diff(centre, m_start);
    const double a = dot(v, v);
    Vector2 glance[2];
    int inside[2] = {0, 0};
    int touching = 0;
    Vector2 touch{0, 0};
    if (sweepKnown && FindCircleGlances(v, a, std::fabs(e), e * e, glance[0], glance[1])) {
        for (int i = 0; i < 2; ++i) {
            const double g2 = dot(glance[i], glance[i]);
            if (g2 <= 0) continue;
            const double s = dot(glance[i], v) / g2;
            const Vector2 foot = {m_start.x + glance[i].x * s - centre.x, m_start.y + glance[i].y * s - centre.y};
            if ((foot.x != 0 || foot.y != 0) && sweep.IsInside(foot)) inside[i] = 1;
        }
        if (inside[0] && inside[1]) {
            if (e >= 0) return false;
        } else if (inside[0] || inside[1]) {
            // A ray must not cut into the circle of radius e where that circle
            // faces the arc: only the directions beyond the touching one, away
            // from the centre, stay.
            const int i = inside[0] ? 0 : 1;
            touching = 1;
            touch = glance[i];
            PolarInterval side = i == 0 ? PolarInterval(minus(v), glance[0]) : PolarInterval(glance[1], minus(v));
            PolarInterval extra;
            if (!m_feasible.Intersect(side, extra)) m_feasible = PolarInterval(false);
        }
    }
    if (!m_feasible.IsEmpty() && AddLine(end)) return true;
    if (touching == 1) {
        // Where the ray along the touching direction leaves the circle of R.
        const double g2 = dot(touch, touch);
        if (g2 >= kNoTouchSquared) {
            const Vector2 sc = diff(m_start, centre);
            const double bq = dot(touch, sc) / g2, cq = (dot(sc, sc) - R * R) / g2;
            const double disc = bq * bq - cq;
            if (disc >= 0) {
                const double t = -bq + std::sqrt(disc);
                exit = {m_start.x + touch.x * t, m_start.y + touch.y * t};
                const Vector2 fromCentre = diff(exit, centre);
                exitOnArc = (fromCentre.x != 0 || fromCentre.y != 0) && sweep.IsInside(fromCentre);
            }
        }
    }
    return false;
}

}  // namespace Cam
}  // namespace Korvo
