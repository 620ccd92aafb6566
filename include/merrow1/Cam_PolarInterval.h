// Sets of 2-D directions and the straight-line approximation of a string of
// lines and arcs.
//
// A PolarInterval holds the directions met turning clockwise from its start
// vector to its end vector (or none, or all).  A StringLinearApproximator
// starts at a point and takes the following points (or arcs) of a string one
// by one, answering whether the string so far still lies within its
// tolerance of one straight line from the start toward the point just added.
// Both are value classes the chain height map uses to re-tessellate paths.
#pragma once

#include <merrow1/export.h>
#include <quorn/quorn.h>

MERROW1_API_BEGIN

namespace Korvo {
namespace Cam {

class PolarInterval {
public:
    enum State { kOrdinary = 0, kEmpty = 1, kFull = 2, kThroughPlusX = 3 };

    // All directions (full) or none.
    explicit PolarInterval(bool full = true);
    // The directions from `start` clockwise to `end`: empty when both point
    // the same way.
    PolarInterval(const Korvo::Math::Vector2& start, const Korvo::Math::Vector2& end);

    bool IsEmpty() const { return m_state == kEmpty; }
    bool IsInside(const Korvo::Math::Vector2& v) const;
    // This becomes the common part of both; when that part falls apart into
    // two intervals the second goes into `extra`, else `extra` is empty.
    // Whether this is not empty.
    bool Intersect(const PolarInterval& other, PolarInterval& extra);
    // Compares polar angles in [0, 2 pi) counter-clockwise from +X: 1 when a's
    // is the smaller, -1 when the greater, 0 when equal.  A zero vector is an
    // internal error.
    static int IsMoreClockwise(const Korvo::Math::Vector2& a, const Korvo::Math::Vector2& b);

    int GetState() const { return m_state; }
    const Korvo::Math::Vector2& GetStart() const { return m_start; }
    const Korvo::Math::Vector2& GetEnd() const { return m_end; }

private:
    int m_state;
    Korvo::Math::Vector2 m_start;
    Korvo::Math::Vector2 m_end;
};

class StringLinearApproximator {
public:
    // Tolerance d of the points to the line, radius tolerance of arcs, start.
    StringLinearApproximator(double d, double radiusTolerance, const Korvo::Math::Point2& start);

    // Start and last good end to the point, every direction feasible again.
    void Reset(const Korvo::Math::Point2& p);
    // Adds a line to p: true when some ray from the start toward p passes
    // within d of p and of every point accepted before.
    bool AddLine(const Korvo::Math::Point2& p);
    // Adds an arc from the last good end to `end`.  False when the arc does
    // not fit; with one touching direction, `exit` is where the ray from the
    // start along it leaves the arc's circle and `exitOnArc` whether that
    // point lies on the arc.
    bool AddArc(const Korvo::Math::Point2& end, const Korvo::Math::Point2& centre, bool ccw,
                Korvo::Math::Point2& exit, bool& exitOnArc);
    void GetLastGoodEnd(Korvo::Math::Point2& out) const { out = m_lastGoodEnd; }
    // The directions v turned each way by the angle whose cosine is
    // sqrt(1 - c/a) and sine b/sqrt(a): out1 counter-clockwise, out2
    // clockwise.  False when a is 0 or c/a is at least 1.
    static bool FindCircleGlances(const Korvo::Math::Vector2& v, double a, double b, double c,
                                  Korvo::Math::Vector2& out1, Korvo::Math::Vector2& out2);

private:
    double m_d;
    double m_d2;
    double m_radiusTolerance;
    Korvo::Math::Point2 m_start;
    Korvo::Math::Point2 m_lastGoodEnd;
    PolarInterval m_feasible;
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
