// Arc and line fitter.
//
// A chain is cut into pieces: maximal runs of gated vertices together with
// the ungated vertex before and after each run.  Every piece is loaded into
// point arrays (point, first and second gate end), and a shortest-path search
// over its points finds the path of fewest segments, then least weighted
// squared deviation, whose every segment (a line or an arc on the chord
// between two points) crosses the gates of the points it passes.  The path is
// written back into the chain in place of the piece's vertices.
//
// Arcs on a chord are held as ArcParam (alpha, sense); intervals of them as
// ArcParamInterval.  The order of ArcParam is the order of the bulge from
// -inf to +inf: arcs bulging right of the chord, the line, arcs bulging left.
// Signs of orientations (which side of a chord or a gate a point lies) are
// decided exactly; measures (deviations, tangencies) are computed in doubles.
#include <merrow1/ArcLineFitter.h>

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_segments.h>

#include <merrow1/segment.h>
#include <merrow1/segment_intersection.h>

#include <glimra/color.h>
#include <glimra/display.h>
#include <glimra/regenerate.h>
#include <pellam/mchn_builders.h>
#include <pellam/mchn_clone.h>
#include <stend/error.h>
#include <stend/system.h>

#include "chain/chain_record.h"
#include "engines/chain_walk.h"
#include "exact/orient2d.h"
#include "internal/vec2.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>

namespace Korvo {
namespace Cam {

namespace {

using Korvo::Math::Point2;
using Korvo::Math::Vector2;

const char* const kFile = "ArcLineFitter";
const double kLineAlpha = 1e101;
using merrow1::kPi;

// The fitter's tolerances, each named for the rule it serves.
// Any |alpha| above this is a line (a line is stored as kLineAlpha).
constexpr double kLineAlphaBound = 1e100;
// Lengths, cross products, discriminants and divisors below this (or not
// above it, as each test says) count as zero.
constexpr double kNegligible = 1e-10;
// Squared lengths below this (lengths below kNegligible) count as zero.
constexpr double kNegligibleSquared = 1e-20;
// The minimiser takes a parabolic step only when its denominator is above
// this in size.
constexpr double kParabolaDenominator = 1e-20;
// A bulge not above this in size is the line.
constexpr double kLineBulge = 1e-7;
// The minimiser tolerance and the maximum radius, per unit of the tolerance.
constexpr double kMinimiserPerTolerance = 0.01;
constexpr double kMaxRadiusPerTolerance = 1e6;
// An arc just outside its gates' interval passes leniently when its bulge is
// within this times t / |chord|^2 of the nearer bound's.
constexpr double kLenientBulgePerTolerance = 0.02;
// The tangent fits' slack: 0.01 t on a distance, its square 1e-4 t^2 on a
// squared distance, and a chord below sqrt(0.01) t (0.01 t^2 squared) is no
// arc.
constexpr double kTangentSlackPerTolerance = 0.01;
constexpr double kTangentSlackSquaredPerTolerance2 = 1e-4;
constexpr double kShortTangentChordSquaredPerTolerance2 = 0.01;
// The cost, per unit of the tolerance, of a repair parameter whose fit fails.
constexpr double kFailedRepairCostPerTolerance = 1e12;
// The start of a search for the least distance: farther than any point.
constexpr double kFarDistance = 1e19;
// The debugger draws an arc of a larger radius as its chord.
constexpr double kDrawnAsChordRadius = 1e6;
// Arcs are written in pieces of at most a third of a turn.  An arc of exactly
// one or two thirds reads its extent back from alpha a few rounding units
// over, and 3 extent / 2 pi then lands just above the whole number: this
// slack keeps such an arc in that many pieces rather than adding one more.
constexpr double kWholeThirdsSlack = 1e-12;
// The finest tolerance the tangency repair asks of the minimiser on the
// neighbour's parameter p in [0, 1]: the minimiser tolerance over the
// neighbour's length, but for a neighbour longer than 1e10 minimiser
// tolerances no finer than this part of it, far below any position the fit's
// tolerance tells apart, so that its iterations are not spent on rounding.
constexpr double kFinestRepairParameterTolerance = 1e-12;
// A too shallow arc's polyline replacement shrinks the gates by halves while
// the shrink factor stays above this.
constexpr double kLeastGateShrink = 0.1;
// A point within sqrt(0.1) t of a path point is inside the corridor (0.1 t^2
// squared).
constexpr double kNearPathPointSquaredPerTolerance2 = 0.1;
// The average gate width takes the width across the longest leg at a point
// only when that leg is longer than sqrt(0.1) t.
constexpr double kLeastGateLegSquaredPerTolerance2 = 0.1;
// An arc end closer than sqrt(0.1) times the minimum segment length to the
// next input point moves the index on (0.1 squared, of the squared length).
constexpr double kNearInputPointSquaredPerMinSegSq = 0.1;
// A vertex whose gap from tangency is below this part of the tolerance is
// tangent already.
constexpr double kTangentGapPerTolerance = 0.1;
// The tangency repair looks for the feasible range of its parameter in steps
// of this from each end.
constexpr double kRepairParameterStep = 0.1;

using merrow1::cross;
using merrow1::dot;
using merrow1::vertex_point;
using merrow1::vertex_record;

int orient(const Point2& a, const Point2& b, const Point2& c) {
    const double pa[2] = {a.x, a.y}, pb[2] = {b.x, b.y}, pc[2] = {c.x, c.y};
    return ORIENT2D_sign(pa, pb, pc);
}

double* gate_of(const RING_node_s* node) {
    return static_cast<double*>(APP_DATA__ask_app_data(node->app_data, APP_DATA_FIT_GATE));
}

// Deletes a vertex's gate record and removes the key.
void drop_gate(RING_header_s* chain, RING_node_s* node) {
    if (double* gate = gate_of(node)) {
        RING_delete_app_data_of_node(chain, node, APP_DATA_FIT_GATE);
        CMEM_private_delete_object(gate);
    }
}

// The process-wide debugger, constructed at load and destroyed at unload.
ArcLineFitterDebug& debugger_instance() {
    static ArcLineFitterDebug debugger;
    return debugger;
}
const bool debugger_constructed = (debugger_instance(), true);

// Walk bound for a search over a piece of n points; going past it is an
// endless loop in the making.
[[noreturn]] void raise_endless() { ERROR_raise(kFile, __LINE__, 965003, "Infinite Loop Encountered"); }

bool same_point(const Point2& a, const Point2& b) { return a.x == b.x && a.y == b.y; }

}  // namespace

// ---------------------------------------------------------------------------
// Debugger and usage value

ArcLineFitterDebug::~ArcLineFitterDebug() = default;

ArcLineFitterDebug* ArcLineFitterDebug::GetDebugger() {
    (void)debugger_constructed;
    return &debugger_instance();
}

IArcLineFitter::~IArcLineFitter() = default;

int IArcLineFitter::s_use = 2;
bool IArcLineFitter::s_useRead = false;

int IArcLineFitter::AskUse() {
    if (!s_useRead) {
        s_useRead = true;
        if (const char* text = ENV_translate_variable("HVEX_CAM_ARC_FIT_USAGE")) {
            // Only a whole number 0, 1 or 2 sets the usage; "x" (which atoi reads
            // as 0), negative values and values of 3 or more leave it.
            char* rest = nullptr;
            const long value = std::strtol(text, &rest, 10);
            bool whole = rest != text;
            while (whole && *rest == ' ') ++rest;
            if (whole && *rest == '\0' && value >= 0 && value < 3) s_use = static_cast<int>(value);
        }
    }
    return s_use;
}

void IArcLineFitter::SetUse(int use) {
    s_use = use;
    s_useRead = true;
}

// ---------------------------------------------------------------------------
// ArcParam

bool ArcLineFitter::ArcParam::IsLine() const { return std::fabs(alpha) > kLineAlphaBound; }

void ArcLineFitter::ArcParam::SetLine() {
    alpha = kLineAlpha;
    cw = false;
}

double ArcLineFitter::ArcParam::CalcAngularExtent() const {
    const double a = 2.0 * std::atan2(1.0, std::fabs(alpha));
    return ((alpha > 0) != cw) ? a : 2.0 * kPi - a;
}

double ArcLineFitter::ArcParam::BulgeAlpha() const {
    if (IsLine()) return 0.0;
    const double s = std::sqrt(alpha * alpha + 1.0) * (cw ? 1.0 : -1.0);
    if ((alpha >= 0) == cw) return alpha + s;
    return 1.0 / (s - alpha);
}

void ArcLineFitter::ArcParam::SetFromBulgeAlpha(double bulge) {
    if (bulge == 0.0) {
        SetLine();
        return;
    }
    cw = bulge > 0;
    alpha = (bulge - 1.0 / bulge) / 2.0;
}

// The sense from the vertex's direction; alpha from the stored centre, so an
// arc of more than half a circle keeps its centre on the right side of the
// chord.
void ArcLineFitter::ArcParam::SetFromChainVertex(RING_header_s const* chain, RING_node_s const* vertex) {
    SetLine();
    SEGMENT seg;
    if (ChainSegment(chain, vertex, &seg) != 1 || seg.type != SEG_ARC || !seg.start || !seg.end) return;
    const double mx = (seg.start[0] + seg.end->x) / 2.0, my = (seg.start[1] + seg.end->y) / 2.0;
    const double hx = (seg.end->x - seg.start[0]) / 2.0, hy = (seg.end->y - seg.start[1]) / 2.0;
    const double h2 = hx * hx + hy * hy;
    if (!(h2 > 0.0)) return;
    // (c - m) . perp(h) with perp(h) = (-hy, hx).
    alpha = ((seg.end->cx - mx) * -hy + (seg.end->cy - my) * hx) / h2;
    cw = seg.end->direction == CW;
}

void ArcLineFitter::ArcParam::Rebase(Point2 const& oldStart, Point2 const& oldEnd, Point2 const& newStart,
                                     Point2 const& newEnd) {
    const double dx = newEnd.x - newStart.x, dy = newEnd.y - newStart.y;
    const double d2 = dx * dx + dy * dy;
    if (IsLine() || d2 < kNegligibleSquared) {
        SetLine();
        return;
    }
    const double hx = (oldEnd.x - oldStart.x) / 2.0, hy = (oldEnd.y - oldStart.y) / 2.0;
    const double cx = (oldStart.x + oldEnd.x) / 2.0 - alpha * hy;
    const double cy = (oldStart.y + oldEnd.y) / 2.0 + alpha * hx;
    const double mx = (newStart.x + newEnd.x) / 2.0, my = (newStart.y + newEnd.y) / 2.0;
    alpha = 2.0 * ((cy - my) * dx - (cx - mx) * dy) / d2;
}

bool ArcLineFitter::ArcParam::operator<(ArcParam const& other) const {
    if (cw != other.cw) return !cw;
    return alpha < other.alpha;
}

double ArcLineFitter::ArcParam::SideKey() const { return (2.0 * (cw ? 1 : 0) - 1.0) * alpha; }

// ---------------------------------------------------------------------------
// ArcParamInterval

bool ArcLineFitter::ArcParamInterval::Contains(ArcParam const& arc) const {
    switch (state) {
        case PLAIN: return !(arc < lower) && !(upper < arc);
        case WRAPPED: return !(arc < lower) || !(upper < arc);
        default: return false;
    }
}

// Intersection in the order of arcs.  A plain interval meeting a wrapped one
// can leave two pieces; the piece that holds the line is kept (the arcs a fit
// looks for lie near the chord), else the lower one.
bool ArcLineFitter::ArcParamInterval::Combine(ArcParamInterval const& other) {
    if (other.state == UNSET) return true;
    if (state == UNSET) {
        *this = other;
        return true;
    }
    if (state == PLAIN && other.state == PLAIN) {
        lower = std::max(lower, other.lower);
        upper = std::min(upper, other.upper);
        return !(upper < lower);
    }
    if (state == WRAPPED && other.state == WRAPPED) {
        lower = std::max(lower, other.lower);
        upper = std::min(upper, other.upper);
        return true;  // both wrapped pieces meet at the ends of the order
    }
    const ArcParamInterval& plain = state == PLAIN ? *this : other;
    const ArcParamInterval& wrapped = state == PLAIN ? other : *this;
    // Low piece [plain.lower, min(plain.upper, wrapped.upper)], high piece
    // [max(plain.lower, wrapped.lower), plain.upper].
    ArcParamInterval low, high;
    low.state = high.state = PLAIN;
    low.lower = plain.lower;
    low.upper = std::min(plain.upper, wrapped.upper);
    high.lower = std::max(plain.lower, wrapped.lower);
    high.upper = plain.upper;
    const bool low_ok = !(low.upper < low.lower);
    const bool high_ok = !(high.upper < high.lower);
    ArcParam line;
    line.SetLine();
    if (low_ok && high_ok)
        *this = high.Contains(line) && !low.Contains(line) ? high : low;
    else if (low_ok)
        *this = low;
    else if (high_ok)
        *this = high;
    else {
        *this = low;
        return false;
    }
    return true;
}

bool ArcLineFitter::ArcParamInterval::CombineOneSide(ArcParam const& given, int side) {
    if (state == UNSET) ERROR_internal(kFile, __LINE__, "CombineOneSide called on unset interval");
    if (state == WRAPPED) ERROR_internal(kFile, __LINE__, "CombineOneSide called on wrapped_around interval");
    ArcParam bound = given;
    bound.cw = side == 1;
    if (side == 0) {
        if (lower < bound) lower = bound;
    } else {
        if (bound < upper) upper = bound;
    }
    return !(upper < lower);
}

void ArcLineFitter::ArcParamInterval::CircleComplement() {
    ArcParam new_lower, new_upper;
    new_lower.alpha = -upper.alpha;
    new_lower.cw = upper.cw;
    new_upper.alpha = -lower.alpha;
    new_upper.cw = lower.cw;
    const bool flags_differ = lower.cw != upper.cw;
    lower = new_lower;
    upper = new_upper;
    if (flags_differ) {
        if (state == PLAIN)
            state = WRAPPED;
        else if (state == WRAPPED)
            state = PLAIN;
    }
}

bool ArcLineFitter::ArcParamInterval::EliminateShallowArcs(double chordLength, double maxRadius) {
    const double q = chordLength * chordLength / 4.0;
    double s = q > 0.0 ? maxRadius * maxRadius / q - 1.0 : HUGE_VAL;
    s = s > 0.0 ? std::sqrt(s) : 0.0;
    if (!lower.cw && !upper.cw) {
        ArcParam bound;
        bound.alpha = s;
        bound.cw = false;
        if (bound < upper) upper = bound;
    } else if (lower.cw && upper.cw) {
        ArcParam bound;
        bound.alpha = -s;
        bound.cw = true;
        if (lower < bound) lower = bound;
    }
    return !(upper < lower);
}

// ---------------------------------------------------------------------------
// Construction

ArcLineFitter::ArcLineFitter(double tolerance, double minSegmentLength, VertexCallback vertexCallback)
    : m_tolerance(tolerance),
      m_minSegSq(minSegmentLength * minSegmentLength),
      m_minimiserTol(kMinimiserPerTolerance * tolerance),
      m_maxRadius(kMaxRadiusPerTolerance * tolerance),
      m_callback(vertexCallback),
      m_debugger(ArcLineFitterDebug::GetDebugger()) {}

ArcLineFitter::ArcLineFitter(const ArcLineFitter& other)
    : IArcLineFitter(other),
      m_tolerance(other.m_tolerance),
      m_minSegSq(other.m_minSegSq),
      m_minimiserTol(other.m_minimiserTol),
      m_maxRadius(other.m_maxRadius),
      m_callback(other.m_callback),
      m_debugger(other.m_debugger) {}

ArcLineFitter& ArcLineFitter::operator=(const ArcLineFitter& other) {
    if (this != &other) {
        m_tolerance = other.m_tolerance;
        m_minSegSq = other.m_minSegSq;
        m_minimiserTol = other.m_minimiserTol;
        m_maxRadius = other.m_maxRadius;
        m_callback = other.m_callback;
        m_debugger = other.m_debugger;
    }
    return *this;
}

ArcLineFitter::~ArcLineFitter() {
    if (m_pool) CMEM_private_delete_pool(m_pool);
}

void ArcLineFitter::LimitGateWidths(RING_header_s* chain, double maxWidth) {
    if (!chain || !(maxWidth >= kNegligible)) return;
    RING_node_s* node = chain->first;
    for (int guard = 0; node && guard <= chain->count; ++guard) {
        if (double* gate = gate_of(node)) {
            const Point2 p = vertex_point(node);
            const double width = std::hypot(gate[2] - gate[0], gate[3] - gate[1]);
            if (width > maxWidth) {
                const double f = maxWidth / width;
                for (int e = 0; e < 2; ++e) {
                    gate[2 * e] = (1.0 - f) * p.x + f * gate[2 * e];
                    gate[2 * e + 1] = (1.0 - f) * p.y + f * gate[2 * e + 1];
                }
            }
        }
        node = node->next;
        if (node == chain->first) break;
    }
}

bool ArcLineFitter::InCircle(Point2 const* mid, Vector2 const* halfChord, double alpha, Point2 const* p) {
    const double qx = p->x - mid->x, qy = p->y - mid->y;
    const double lhs = qx * qx + qy * qy - (halfChord->x * halfChord->x + halfChord->y * halfChord->y);
    const double rhs = 2.0 * alpha * cross(halfChord->x, halfChord->y, qx, qy);
    return lhs < rhs;
}

bool ArcLineFitter::VertexIsFree(RING_header_s const* chain, RING_node_s const* vertex) const {
    return !m_callback || m_callback(chain, vertex);
}

// ---------------------------------------------------------------------------
// The geometric core

Point2 ArcLineFitter::PointAt(int k) const { return {m_points[k].x, m_points[k].y}; }

// The point after k: on a closed loop the last point is point 0 again, and
// the walk goes on at point 1.
int ArcLineFitter::Wrap(int k) const { return (m_closed && k >= m_count - 1) ? 1 : k + 1; }

// Gate-edge bounds of the segment from point k - 1 to point k: the alpha of
// the arcs whose sagitta over that gate edge equals the tolerance (bulge held
// at most 0.5), bowing outward on each side.
void ArcLineFitter::EdgeBounds(int k, double& first, double& second) const {
    const PointRec& a = m_points[k - 1];
    const PointRec& b = m_points[k];
    double e = std::hypot(b.g1x - a.g1x, b.g1y - a.g1y);
    double w = std::max(2.0, e / (2.0 * m_tolerance));
    first = (w - 1.0 / w) / 2.0;
    e = std::hypot(b.g2x - a.g2x, b.g2y - a.g2y);
    w = std::max(2.0, e / (2.0 * m_tolerance));
    second = (1.0 / w - w) / 2.0;
}

bool ArcLineFitter::TestFitLine(int i, int j, Point2 const* start, Point2 const* end, double shrink) {
    const int jj = j == 0 ? m_count - 1 : j;
    if (Wrap(i) == jj) return true;
    const Point2 a = start ? *start : PointAt(i);
    const Point2 b = end ? *end : PointAt(jj);
    const double dx = b.x - a.x, dy = b.y - a.y;
    if (dx * dx + dy * dy < m_minSegSq) return false;
    int guard = 0;
    for (int k = Wrap(i); k != jj; k = Wrap(k)) {
        if (++guard > m_count) raise_endless();
        const PointRec& r = m_points[k];
        const Point2 g1 = {(1.0 - shrink) * r.x + shrink * r.g1x, (1.0 - shrink) * r.y + shrink * r.g1y};
        const Point2 g2 = {(1.0 - shrink) * r.x + shrink * r.g2x, (1.0 - shrink) * r.y + shrink * r.g2y};
        if (orient(a, b, g1) > 0) return false;
        if (orient(a, b, g2) < 0) return false;
    }
    return true;
}

namespace {

// The chord of an arc test: its ends, midpoint and half chord.
struct Chord {
    Point2 a, b, m;
    double hx, hy, h2;

    Chord(Point2 pa, Point2 pb) : a(pa), b(pb) {
        m = {(a.x + b.x) / 2.0, (a.y + b.y) / 2.0};
        hx = (b.x - a.x) / 2.0;
        hy = (b.y - a.y) / 2.0;
        h2 = hx * hx + hy * hy;
    }
    // Centre and radius of the arc alpha on the chord.
    Point2 centre(double alpha) const { return {m.x - alpha * hy, m.y + alpha * hx}; }
    double radius(double alpha) const { return std::sqrt(h2 * (alpha * alpha + 1.0)); }
};

// Position of a point among the arcs of a chord: the bulge of the arc from a
// through g to b.  The side of the chord is decided exactly; a point on the
// chord's line lies on the line (between the ends) or at one end of the order
// (beyond them), where `beyond` says which end.  false when g is an end of
// the chord (every arc passes there).
bool bulge_through(const Chord& c, const Point2& g, double beyond, double& bulge) {
    const int side = orient(c.a, c.b, g);
    if (side == 0) {
        const bool x_major = std::fabs(c.b.x - c.a.x) >= std::fabs(c.b.y - c.a.y);
        const double ga = x_major ? g.x : g.y, ea = x_major ? c.a.x : c.a.y, eb = x_major ? c.b.x : c.b.y;
        if (ga == ea || ga == eb) return false;
        const bool between = (ga > std::min(ea, eb)) && (ga < std::max(ea, eb));
        bulge = between ? 0.0 : beyond;
        return true;
    }
    const double qx = g.x - c.m.x, qy = g.y - c.m.y;
    const double num = qx * qx + qy * qy - c.h2;
    const double den = 2.0 * cross(c.hx, c.hy, qx, qy);
    const double alpha = num / den;
    const double s = std::sqrt(alpha * alpha + 1.0) * (side > 0 ? 1.0 : -1.0);
    // The sense is the side; the bulge follows the same formula as ArcParam.
    const bool cw = side > 0;
    if ((alpha >= 0) == cw)
        bulge = alpha + s;
    else
        bulge = 1.0 / (s - alpha);
    return true;
}

// Largest finite bulge used for the ends of the order.
const double kInfBulge = 1e15;

// Geometry of a segment held as (start, end, ArcParam): lines and arcs alike.
// Templates, so that they take the fitter's private segment records.
template <class Seg>
Point2 seg_centre(const Seg& s) {
    return Chord(s.start, s.end).centre(s.arc.alpha);
}
template <class Seg>
double seg_radius(const Seg& s) {
    return Chord(s.start, s.end).radius(s.arc.alpha);
}
Vector2 unit(double x, double y) {
    const double l = std::hypot(x, y);
    return l > 0.0 ? Vector2{x / l, y / l} : Vector2{0.0, 0.0};
}
// Unit direction of travel at a point of the segment's line or circle.
template <class Seg>
Vector2 tangent_at(const Seg& s, const Point2& p) {
    if (s.arc.IsLine()) return unit(s.end.x - s.start.x, s.end.y - s.start.y);
    const Point2 c = seg_centre(s);
    const Vector2 r = unit(p.x - c.x, p.y - c.y);
    return s.arc.cw ? Vector2{r.y, -r.x} : Vector2{-r.y, r.x};
}
template <class Seg>
Vector2 start_tangent(const Seg& s) {
    return tangent_at(s, s.start);
}
template <class Seg>
Vector2 end_tangent(const Seg& s) {
    return tangent_at(s, s.end);
}
// The point at parameter p (0 start, 1 end) along the segment, by length
// for a line and by the direction-aware sweep for an arc.
template <class Seg>
Point2 point_along(const Seg& s, double p) {
    if (s.arc.IsLine()) return {s.start.x + p * (s.end.x - s.start.x), s.start.y + p * (s.end.y - s.start.y)};
    const Point2 c = seg_centre(s);
    const double r = seg_radius(s);
    const double a = std::atan2(s.start.y - c.y, s.start.x - c.x) +
                     (s.arc.cw ? -1.0 : 1.0) * p * s.arc.CalcAngularExtent();
    return {c.x + r * std::cos(a), c.y + r * std::sin(a)};
}
// The same segment run the other way: the circle's centre stays, so alpha
// on the reversed chord changes sign and the sense flips.
template <class Seg>
Seg reversed(const Seg& s) {
    Seg r = s;
    r.start = s.end;
    r.end = s.start;
    if (!s.arc.IsLine()) {
        r.arc.alpha = -s.arc.alpha;
        r.arc.cw = !s.arc.cw;
    }
    return r;
}
double dist2(const Point2& a, const Point2& b) { return (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y); }

}  // namespace

bool ArcLineFitter::TestFitArc(int i, int j, ArcParamInterval& interval, Point2 const* start, Point2 const* end) {
    const int jj = j == 0 ? m_count - 1 : j;
    const Point2 a = start ? *start : PointAt(i);
    const Point2 b = end ? *end : PointAt(jj);
    if (a.x == b.x && a.y == b.y) {
        // A full loop: only an interval already set and plain is accepted.
        return interval.state == PLAIN && interval.EliminateShallowArcs(0.0, m_maxRadius);
    }
    const Chord c(a, b);
    interval = ArcParamInterval();
    if (c.h2 < m_minSegSq / 4.0) return false;
    bool lower_from_end = false, upper_from_end = false;
    int prev = i;
    int guard = 0;
    auto make = [](double bulge) {
        ArcParam p;
        p.SetFromBulgeAlpha(std::max(-kInfBulge, std::min(kInfBulge, bulge)));
        return p;
    };
    // Narrows one side with the gate edge from the previous gate end to this
    // one, bent outward into the arc of its gate-edge bound.
    auto corridor = [&](int from, int to, int side) -> bool {
        const PointRec& r0 = m_points[from];
        const PointRec& r1 = m_points[to];
        const Point2 e0 = side == 0 ? Point2{r0.g1x, r0.g1y} : Point2{r0.g2x, r0.g2y};
        const Point2 e1 = side == 0 ? Point2{r1.g1x, r1.g1y} : Point2{r1.g2x, r1.g2y};
        const double ex = e1.x - e0.x, ey = e1.y - e0.y;
        const double elen2 = ex * ex + ey * ey;
        if (elen2 < m_minSegSq) return true;
        const double w = std::max(2.0, std::sqrt(elen2) / (2.0 * m_tolerance));
        const double edge_alpha = side == 0 ? (w - 1.0 / w) / 2.0 : (1.0 / w - w) / 2.0;
        const Chord ec(e0, e1);
        const Point2 E = ec.centre(edge_alpha);
        const double rho = ec.radius(edge_alpha);
        // Arcs of the chord tangent to the edge circle: |c(al) - E| = R(al) -+ rho
        // squared twice gives a quadratic in alpha.
        const double px = -c.hy, py = c.hx;  // perp(h)
        const double mex = c.m.x - E.x, mey = c.m.y - E.y;
        const double K = mex * mex + mey * mey - c.h2 - rho * rho;
        const double L = 2.0 * (px * mex + py * mey);
        const double qa = L * L - 4.0 * rho * rho * c.h2;
        const double qb = 2.0 * K * L;
        const double qc = K * K - 4.0 * rho * rho * c.h2;
        // The candidate tangent arcs: the roots of the quadratic (one root of
        // the linear equation when it degenerates).  A circle that cannot
        // meet the chord's circles leaves the side alone.
        double roots[2];
        int nroots = 0;
        if (qa == 0.0) {
            if (qb != 0.0) roots[nroots++] = -qc / qb;
        } else {
            const double disc = qb * qb - 4.0 * qa * qc;
            if (disc < 0.0) return true;
            const double root = std::sqrt(disc);
            roots[nroots++] = (-qb + root) / (2.0 * qa);
            roots[nroots++] = (-qb - root) / (2.0 * qa);
        }
        bool found = false;
        double best = 0.0;
        for (int r = 0; r < nroots; ++r) {
            const double al = roots[r];
            if (!std::isfinite(al)) continue;
            const Point2 cc = c.centre(al);
            const double R = c.radius(al);
            const double ux = cc.x - E.x, uy = cc.y - E.y;
            const double ul = std::hypot(ux, uy);
            if (!(ul > 0.0)) continue;
            const Point2 t1 = {E.x + rho * ux / ul, E.y + rho * uy / ul};
            const Point2 t2 = {E.x - rho * ux / ul, E.y - rho * uy / ul};
            const double d1 = std::fabs(std::hypot(t1.x - cc.x, t1.y - cc.y) - R);
            const double d2 = std::fabs(std::hypot(t2.x - cc.x, t2.y - cc.y) - R);
            const Point2 t = d1 <= d2 ? t1 : t2;
            // On the bowed edge: beyond the edge's chord on the outer side.
            const int out = orient(e0, e1, t);
            if (side == 0 ? out > 0 : out < 0) continue;
            double bulge;
            if (!bulge_through(c, t, side == 0 ? -kInfBulge : kInfBulge, bulge)) continue;
            if (!found || (side == 0 ? bulge > best : bulge < best)) best = bulge;
            found = true;
        }
        if (!found) return true;
        // A tangency may be a turning point of the position along the edge
        // that lies inside it: the ends of the edge bound the side as well
        // (the chord's own start excepted: the arc leaves from its point).
        auto consider = [&](const Point2& e) {
            double bulge;
            if (bulge_through(c, e, side == 0 ? -kInfBulge : kInfBulge, bulge) && (side == 0 ? bulge > best : bulge < best))
                best = bulge;
        };
        if (from != i) consider(e0);
        consider(e1);
        return interval.CombineOneSide(make(best), side);
    };
    for (int k = Wrap(i); k != jj; k = Wrap(k)) {
        if (++guard > m_count) raise_endless();
        const PointRec& r = m_points[k];
        const Point2 g1 = {r.g1x, r.g1y}, g2 = {r.g2x, r.g2y};
        double b1, b2;
        const bool has1 = bulge_through(c, g1, -kInfBulge, b1);
        const bool has2 = bulge_through(c, g2, kInfBulge, b2);
        if (!has1 || !has2) {
            prev = k;
            continue;  // a gate end at an end of the chord: every arc passes it
        }
        // Tangencies of the gate's line with circles of the family.
        double lo = std::min(b1, b2), hi = std::max(b1, b2);
        bool lo_end = true, hi_end = true;
        const double vx = g2.x - g1.x, vy = g2.y - g1.y;
        const double q1x = g1.x - c.m.x, q1y = g1.y - c.m.y;
        const double va = vx * vx + vy * vy;
        const double bq = q1x * vx + q1y * vy;
        const double c0 = q1x * q1x + q1y * q1y - c.h2;
        const double s0 = cross(c.hx, c.hy, q1x, q1y);
        const double s1 = cross(c.hx, c.hy, vx, vy);
        const double A2 = va * s1, B2 = 2.0 * va * s0, C2 = 2.0 * bq * s0 - s1 * c0;
        const double disc = B2 * B2 - 4.0 * A2 * C2;
        // Whether the gate crosses the chord's line beyond the chord: then the
        // arcs that cross it pass through the ends of the order (wrapped).
        const int side1 = orient(c.a, c.b, g1), side2 = orient(c.a, c.b, g2);
        bool wrapped = false;
        if (side1 != 0 && side2 != 0 && side1 != side2) {
            const int oa = orient(g1, g2, c.a), ob = orient(g1, g2, c.b);
            wrapped = oa != 0 && oa == ob;
        }
        if (A2 != 0.0 && disc > kNegligible) {
            const double root = std::sqrt(disc);
            for (double t : {(-B2 + root) / (2.0 * A2), (-B2 - root) / (2.0 * A2)}) {
                if (!(t > 0.0 && t < 1.0)) continue;
                const Point2 g = {g1.x + t * vx, g1.y + t * vy};
                double bt;
                if (!bulge_through(c, g, 0.0, bt)) continue;
                if (!wrapped) {
                    if (bt < lo) lo = bt, lo_end = false;
                    if (bt > hi) hi = bt, hi_end = false;
                } else {
                    // On the first end's part the bound grows toward the
                    // second end's part and back.
                    const int side = orient(c.a, c.b, g);
                    if (side == side1) {
                        if (side1 < 0 ? bt > b1 : bt < b1) b1 = bt;
                    } else if (side2 < 0 ? bt > b2 : bt < b2) {
                        b2 = bt;
                    }
                }
            }
        }
        ArcParamInterval gate;
        if (wrapped) {
            gate.state = WRAPPED;
            // The part of the first end runs to the end of the order on its
            // side; the interval is [second part's bound, +inf] + [-inf, first].
            const double low = side1 < 0 ? b2 : b1;
            const double high = side1 < 0 ? b1 : b2;
            gate.lower = make(low);
            gate.upper = make(high);
            lo_end = hi_end = false;
        } else {
            gate.state = PLAIN;
            gate.lower = make(lo);
            gate.upper = make(hi);
        }
        const ArcParam before_lower = interval.lower, before_upper = interval.upper;
        const IntervalState before = interval.state;
        if (!interval.Combine(gate)) return false;
        if (before == UNSET || !(interval.lower == before_lower)) lower_from_end = lo_end && interval.lower == gate.lower;
        if (before == UNSET || !(interval.upper == before_upper)) upper_from_end = hi_end && interval.upper == gate.upper;
        if (interval.state == PLAIN) {
            if (lower_from_end && !corridor(prev, k, 0)) return false;
            if (upper_from_end && !corridor(prev, k, 1)) return false;
        }
        prev = k;
    }
    if (interval.state == UNSET) {
        // No gate between the ends: every arc of the chord is a candidate.
        interval.state = PLAIN;
        interval.lower = make(-kInfBulge);
        interval.upper = make(kInfBulge);
    }
    if (interval.state != PLAIN) return false;
    return interval.EliminateShallowArcs(2.0 * std::sqrt(c.h2), m_maxRadius);
}

bool ArcLineFitter::TestFitCircle(int& i, int& j, ArcParam& arc) {
    const int n = m_count;
    if (!m_closed || n < 5) return false;
    bool found = false;
    double best = 0.0;
    for (int k = 0; k < 4 && k < n - 1; ++k) {
        int m = k + (n - 1) / 2;
        if (m > n - 1) m -= n - 1;
        ArcParamInterval first, second;
        if (!TestFitArc(k, m, first, nullptr, nullptr)) continue;
        if (!TestFitArc(m, k, second, nullptr, nullptr)) continue;
        second.CircleComplement();
        if (!first.Combine(second) || first.state != PLAIN) continue;
        ArcParam candidate;
        const double dev = FindMinDeviationArc(k, m, first, candidate, true, nullptr, nullptr);
        if (candidate.IsLine()) continue;
        if (!found || dev < best) {
            found = true;
            best = dev;
            i = k;
            j = m;
            arc = candidate;
        }
    }
    return found;
}

double ArcLineFitter::SquaredDeviationForSeg(ArcParam const& arc, Point2 const* start, Point2 const* end, int i,
                                             int j, bool weighted, bool fullCircle) {
    const int jj = j == 0 ? m_count - 1 : j;
    const Point2 a = start ? *start : PointAt(i);
    const Point2 b = end ? *end : PointAt(jj);
    if (fullCircle && arc.IsLine()) ERROR_internal(kFile, __LINE__, "Full circle and yet the first arc is a line!");
    const Chord c(a, b);
    Point2 centre = {0.0, 0.0};
    double radius = 0.0, start_angle = 0.0, extent = 0.0;
    if (!arc.IsLine()) {
        centre = c.centre(arc.alpha);
        radius = c.radius(arc.alpha);
        start_angle = std::atan2(a.y - centre.y, a.x - centre.x);
        extent = arc.CalcAngularExtent();
    }
    auto weight = [&](int k) {
        if (!weighted) return 1.0;
        const int next = Wrap(k);
        return m_path[k].length + (next < m_count && next != k ? m_path[next].length : 0.0);
    };
    auto dist2 = [&](const PointRec& r) {
        const double px = r.x, py = r.y;
        if (arc.IsLine()) {
            const double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
            const double t = l2 > 0.0 ? ((px - a.x) * dx + (py - a.y) * dy) / l2 : 0.0;
            const double qx = t <= 0.0 ? a.x : t >= 1.0 ? b.x : a.x + t * dx;
            const double qy = t <= 0.0 ? a.y : t >= 1.0 ? b.y : a.y + t * dy;
            return (px - qx) * (px - qx) + (py - qy) * (py - qy);
        }
        const double d = std::hypot(px - centre.x, py - centre.y) - radius;
        if (fullCircle) return d * d;
        double sweep = std::atan2(py - centre.y, px - centre.x) - start_angle;
        if (arc.cw) sweep = -sweep;
        sweep = std::fmod(sweep, 2.0 * kPi);
        if (sweep < 0.0) sweep += 2.0 * kPi;
        if (sweep <= extent) return d * d;
        const double da = (px - a.x) * (px - a.x) + (py - a.y) * (py - a.y);
        const double db = (px - b.x) * (px - b.x) + (py - b.y) * (py - b.y);
        return std::min(da, db);
    };
    double sum = 0.0;
    int guard = 0;
    if (fullCircle) {
        // Every point of the loop but the two chord ends measures to the circle.
        for (int k = 1; k < m_count; ++k) {
            if (k == i || k == jj || (k == m_count - 1 && (i == 0 || jj == 0))) continue;
            sum += dist2(m_points[k]) * weight(k);
        }
        return sum;
    }
    for (int k = Wrap(i); k != jj; k = Wrap(k)) {
        if (++guard > m_count) raise_endless();
        sum += dist2(m_points[k]) * weight(k);
    }
    return sum;
}

double ArcLineFitter::DeviationOfBulge(double bulge) {
    ArcParam arc;
    if (std::fabs(bulge) < m_minArcBulge || std::fabs(bulge) <= kLineBulge)
        arc.SetLine();
    else
        arc.SetFromBulgeAlpha(bulge);
    return SquaredDeviationForSeg(arc, m_segStartPoint, m_segEndPoint, m_segStart, m_segEnd, m_weighted,
                                  m_fullCircle && !arc.IsLine());
}

// Brent's method on the bracket a < b < c (f(b) below f(a) and f(c)).
double ArcLineFitter::MinimizeFn(double (ArcLineFitter::*fn)(double), double a, double b, double c, double tol,
                                 double& best) {
    const double cgold = 0.381966;
    double lo = std::min(a, c), hi = std::max(a, c);
    double x = b, w = b, v = b;
    double fx = (this->*fn)(x), fw = fx, fv = fx;
    double d = 0.0, e = 0.0;
    for (int iter = 0; iter < 100; ++iter) {
        const double xm = 0.5 * (lo + hi);
        const double tol1 = tol, tol2 = 2.0 * tol1;
        if (std::fabs(x - xm) <= tol2 - 0.5 * (hi - lo)) break;
        if (std::fabs(e) > tol1) {
            const double r = (x - w) * (fx - fv);
            double q = (x - v) * (fx - fw);
            double p = (x - v) * q - (x - w) * r;
            q = 2.0 * (q - r);
            if (q > 0.0) p = -p;
            q = std::fabs(q);
            const double etemp = e;
            e = d;
            if (std::fabs(p) >= std::fabs(0.5 * q * etemp) || p <= q * (lo - x) || p >= q * (hi - x)) {
                e = x >= xm ? lo - x : hi - x;
                d = cgold * e;
            } else {
                d = p / q;
                const double u = x + d;
                if (u - lo < tol2 || hi - u < tol2) d = xm - x >= 0 ? tol1 : -tol1;
            }
        } else {
            e = x >= xm ? lo - x : hi - x;
            d = cgold * e;
        }
        const double u = std::fabs(d) >= tol1 ? x + d : x + (d >= 0 ? tol1 : -tol1);
        const double fu = (this->*fn)(u);
        if (fu <= fx) {
            if (u >= x) lo = x; else hi = x;
            v = w, fv = fw;
            w = x, fw = fx;
            x = u, fx = fu;
        } else {
            if (u < x) lo = u; else hi = u;
            if (fu <= fw || w == x) {
                v = w, fv = fw;
                w = u, fw = fu;
            } else if (fu <= fv || v == x || v == w) {
                v = u, fv = fu;
            }
        }
    }
    best = x;
    return fx;
}

// Finds an interior point below both ends (stepping toward the lower end, by
// a parabola through the three known values where it falls inside, else by
// halving), then runs Brent's method; without one the lower end wins.
double ArcLineFitter::MinimizeBracketedFn(double (ArcLineFitter::*fn)(double), double a, double b, double tol,
                                          double& best) {
    double fa = (this->*fn)(a), fb = (this->*fn)(b);
    if (fa < fb) {
        std::swap(a, b);
        std::swap(fa, fb);
    }
    double x = 0.5 * (a + b);
    double fx = (this->*fn)(x);
    for (int guard = 0; !(fx < fa && fx < fb) && std::fabs(b - a) > tol; ++guard) {
        if (guard > 200) break;
        // The trial becomes the new far end; step toward the lower end b.
        const double r = (x - a) * (fx - fb), q = (x - b) * (fx - fa);
        const double den = 2.0 * (q - r);
        double u = 0.5 * (x + b);
        if (std::fabs(den) > kParabolaDenominator) {
            const double p = (x - b) * q - (x - a) * r;
            const double cand = x - p / den;
            if ((cand - x) * (cand - b) < 0.0) u = cand;
        }
        a = x, fa = fx;
        x = u;
        fx = (this->*fn)(x);
    }
    if (!(fx < fa && fx < fb)) {
        best = b;
        return fb;
    }
    return MinimizeFn(fn, a, x, b, tol, best);
}

double ArcLineFitter::FindMinDeviationArc(int i, int j, ArcParamInterval const& interval, ArcParam& out,
                                          bool fullCircle, Point2 const* start, Point2 const* end) {
    m_segStart = i;
    m_segEnd = j;
    m_segStartPoint = start;
    m_segEndPoint = end;
    m_weighted = true;
    m_fullCircle = fullCircle;
    const int jj = j == 0 ? m_count - 1 : j;
    const Point2 a = start ? *start : PointAt(i);
    const Point2 b = end ? *end : PointAt(jj);
    const double chord = std::hypot(b.x - a.x, b.y - a.y);
    m_minArcBulge = 0.0;
    if (interval.lower.cw != interval.upper.cw && chord > 0.0) {
        // The bulge of the arc of maximum radius on this chord.
        double s = m_maxRadius * m_maxRadius / (chord * chord / 4.0) - 1.0;
        s = s > 0.0 ? std::sqrt(s) : 0.0;
        m_minArcBulge = 1.0 / (std::sqrt(s * s + 1.0) + s);
    }
    const double lo = interval.lower.BulgeAlpha(), hi = interval.upper.BulgeAlpha();
    double best = lo;
    const double value = MinimizeBracketedFn(&ArcLineFitter::DeviationOfBulge, lo, hi, m_minimiserTol, best);
    if (std::fabs(best) < m_minArcBulge || std::fabs(best) <= kLineBulge)
        out.SetLine();
    else
        out.SetFromBulgeAlpha(best);
    return value;
}

// ---------------------------------------------------------------------------
// The driver

void ArcLineFitter::DoFit(RING_header_s* chain) {
    if (chain) {
        if (const CHAIN_main_data_s* main = merrow1::main_of(chain))
            m_debugger->csys = main->csys;
        if (m_debugger->draw_gates_at_start) DrawGates(chain);
    }
    if (m_debugger->call_at_start && m_debugger->callback) m_debugger->callback();
    if (!chain || chain->count < 3) return;
    const bool closed = merrow1::is_closed(chain);

    // Fixed vertices lose their gates.
    {
        RING_node_s* node = chain->first;
        for (int k = 0; node && k < chain->count; ++k, node = node->next) {
            if (gate_of(node) && !VertexIsFree(chain, node)) drop_gate(chain, node);
            if (node->next == chain->first) break;
        }
    }
    auto any_gate = [&]() {
        RING_node_s* node = chain->first;
        for (int k = 0; node && k < chain->count; ++k, node = node->next) {
            if (gate_of(node)) return true;
            if (node->next == chain->first) break;
        }
        return false;
    };
    if (!any_gate()) return;

    m_pool = CMEM_private_create_pool(chain->count + 16, "ArcLineFitter::DoIt", __LINE__, __FILE__);
    try {
        // Every fitted piece loses its gates, so each round finds a new piece
        // or none; the rounds are bounded by the vertex count.
        const int rounds = chain->count + 1;
        for (int round = 0; round <= rounds; ++round) {
            RING_node_s* start = nullptr;
            RING_node_s* node = chain->first;
            bool all_gated = true;
            for (int k = 0; node && k < chain->count; ++k, node = node->next) {
                RING_node_s* before = node == chain->first ? (closed ? chain->last : nullptr) : node->previous;
                const bool gated = gate_of(node) != nullptr;
                if (!gated) all_gated = false;
                if (gated && (!before || !gate_of(before))) {
                    start = before ? before : node;
                    break;
                }
                if (node->next == chain->first) break;
            }
            if (!start) {
                if (closed && all_gated && any_gate()) {
                    FitPiece(chain, chain->first, chain->first, chain->count);
                }
                break;
            }
            // The piece runs to the next ungated vertex or the chain's end;
            // on a closed chain with one ungated vertex that is the start
            // again, and the piece is the whole loop.
            RING_node_s* end = start->next;
            int segments = 1;
            while (end && gate_of(end) && end->next && segments <= chain->count) {
                end = end->next;
                ++segments;
            }
            if (!end) break;
            FitPiece(chain, start, end, segments);
            if (round == rounds) raise_endless();
        }
    } catch (...) {
        CMEM_private_delete_pool(m_pool);
        m_pool = nullptr;
        throw;
    }
    CMEM_private_delete_pool(m_pool);
    m_pool = nullptr;
    if (m_debugger->call_at_end && m_debugger->callback) m_debugger->callback();
}

void ArcLineFitter::FitPiece(RING_header_s* chain, RING_node_s* start, RING_node_s* end, int segmentCount) {
    if (segmentCount < 2) {
        drop_gate(chain, start);
        drop_gate(chain, end);
        return;
    }
    const bool loop = start == end;
    m_closed = loop;
    m_points.assign(segmentCount + 1, PointRec());
    m_path.assign(segmentCount + 2, PathRec());
    m_edgeBounds.assign(2 * (segmentCount + 1), 0.0);
    std::vector<RING_node_s*> nodes(segmentCount + 1, nullptr);
    auto load = [&](int k, RING_node_s* node, const double* gate) {
        const Point2 p = vertex_point(node);
        PointRec& r = m_points[k];
        r.x = p.x;
        r.y = p.y;
        r.g1x = gate ? gate[0] : p.x;
        r.g1y = gate ? gate[1] : p.y;
        r.g2x = gate ? gate[2] : p.x;
        r.g2y = gate ? gate[3] : p.y;
        nodes[k] = node;
    };
    {
        double* gate = gate_of(start);
        double copy[4];
        if (gate) std::memcpy(copy, gate, sizeof copy);
        load(0, start, gate ? copy : nullptr);
        if (!loop) drop_gate(chain, start);
    }
    int n = 1;
    RING_node_s* node = start->next;
    for (int guard = 0; guard < segmentCount; ++guard) {
        const bool at_end = node == end;
        if (CHAIN_seg_ask_type(node) != SEG_LINE) ERROR_internal(kFile, __LINE__, "Arcs cannot be approximated");
        double* gate = gate_of(node);
        double copy[4];
        if (gate) {
            std::memcpy(copy, gate, sizeof copy);
            drop_gate(chain, node);
        } else if (!at_end) {
            ERROR_internal(kFile, __LINE__, "Empty gate in middle of piece");
        }
        const Point2 p = vertex_point(node);
        const PointRec& prev = m_points[n - 1];
        const double dx = p.x - prev.x, dy = p.y - prev.y;
        RING_node_s* next = node->next;
        if (dx * dx + dy * dy < m_minSegSq) {
            if (!at_end) {
                RING_delete_node(chain, node);
                node = next;
                continue;
            }
            // The end takes the place of the previous point, which goes.
            if (n - 1 < 1) return;
            RING_node_s* gone = nodes[n - 1];
            RING_delete_node(chain, gone);
            --n;
            if (n < 2) return;
        }
        load(n, node, gate ? copy : nullptr);
        const PointRec& q = m_points[n - 1];
        m_path[n].length = std::hypot(m_points[n].x - q.x, m_points[n].y - q.y);
        EdgeBounds(n, m_edgeBounds[2 * n], m_edgeBounds[2 * n + 1]);
        ++n;
        if (at_end) break;
        node = next;
    }
    m_count = n;
    if (n < 3) return;
    if (loop) m_path[0].length = m_path[n - 1].length;
    m_points.resize(n);
    m_pieceNodes = nodes;
    m_pieceNodes.resize(n);
    FitPieceOptimizing(chain, start, end);
}

bool ArcLineFitter::JumpFitFrom(int i, int& j, ArcParam& arc, double& deviation, bool& circle) {
    const int n = m_count;
    const int last = n - 1;
    circle = false;
    if (i >= last || j > last) ERROR_internal(kFile, __LINE__, "Incorrect jump attempted");
    int succ = -1, fail = -1;
    ArcParamInterval succ_interval;
    if (j <= i + 1) {
        j = i + 2;
        succ = i + 1;
        if (j > last) {
            j = last;
            arc.SetLine();
            deviation = 0.0;
            return true;
        }
    }
    bool circle_tried = false;
    const int bound = 4 * n + 16;
    for (int step = 0;; ++step) {
        if (step > bound) raise_endless();
        ArcParamInterval interval;
        bool ok = TestFitArc(i, j, interval, nullptr, nullptr);
        if (ok) {
            int next = fail >= 0 ? (j + fail) / 2 : succ >= 0 ? 3 * j - 2 * succ : j + 1;
            next = std::min(next, last);
            if (m_closed && i == 0 && !circle_tried && next > n / 2 && VertexIsFree(m_chain, m_pieceNodes[0])) {
                circle_tried = true;
                int ci = 0, cj = 0;
                ArcParam carc;
                if (TestFitCircle(ci, cj, carc)) {
                    circle = true;
                    m_circleStart = ci;
                    m_circleEnd = cj;
                    arc = carc;
                    deviation = 0.0;
                    return true;
                }
            }
            succ = j;
            succ_interval = interval;
            if (next == j) break;
            j = next;
            continue;
        }
        // A failure: probe the next point once.
        if (j < last && (fail < 0 || j < fail - 1)) {
            ArcParamInterval probe;
            if (TestFitArc(i, j + 1, probe, nullptr, nullptr)) {
                const int at = j + 1;
                int next = fail >= 0 ? (at + fail) / 2 : succ >= 0 ? 3 * at - 2 * succ : at + 1;
                next = std::min(next, last);
                succ = at;
                succ_interval = probe;
                if (next == at) break;
                j = next;
                continue;
            }
        }
        const int earlier_fail = fail;
        fail = j;
        if (succ >= 0) {
            const int mid = (succ + fail) / 2;
            if (mid == succ) break;
            j = mid;
        } else {
            int back = earlier_fail >= 0 ? 3 * j - 2 * earlier_fail : j - 1;
            if (back <= i + 1) {
                succ = i + 1;
                break;
            }
            j = back;
        }
    }
    j = succ;
    if (succ == i + 1) {
        arc.SetLine();
        deviation = 0.0;
        return true;
    }
    deviation = FindMinDeviationArc(i, succ, succ_interval, arc, false, nullptr, nullptr);
    return true;
}

void ArcLineFitter::RecordReach(int from, int to, ArcParam const& arc, double deviation) {
    PathRec& f = m_path[from];
    PathRec& t = m_path[to];
    const int count = f.count + 1;
    const double total = f.total + deviation;
    const bool has = t.predecessor >= 0 || to == 0;
    if (has && !(count < t.count || (count == t.count && total < t.total))) return;
    t.predecessor = from;
    t.arc = arc;
    t.deviation = deviation;
    t.count = count;
    t.total = total;
    // Carry the change to the points whose path runs through `to`.
    std::vector<int> stack = {to};
    for (int guard = 0; !stack.empty(); ++guard) {
        if (guard > m_count * m_count + 16) raise_endless();
        const int k = stack.back();
        stack.pop_back();
        for (int p = k + 1; p < m_count; ++p) {
            if (m_path[p].predecessor != k) continue;
            m_path[p].count = m_path[k].count + 1;
            m_path[p].total = m_path[k].total + m_path[p].deviation;
            stack.push_back(p);
        }
    }
}

void ArcLineFitter::FitPieceOptimizing(RING_header_s* chain, RING_node_s* start, RING_node_s* end) {
    const int n = m_count;
    const int last = n - 1;
    for (int k = 0; k < n; ++k) {
        m_path[k].predecessor = -1;
        m_path[k].count = 0;
        m_path[k].total = 0.0;
    }
    m_chain = chain;
    auto has_path = [&](int k) { return k == 0 || m_path[k].predecessor >= 0; };
    int lo = 0, hi = 0;
    for (int window = 0; window <= n; ++window) {
        int reach = lo;
        int j = 0;
        std::vector<int> jump_end(n, -1);
        for (int i = hi; i >= lo; --i) {
            if (!has_path(i) || i >= last) continue;
            ArcParam arc;
            double dev = 0.0;
            bool circle = false;
            int jj = j;
            JumpFitFrom(i, jj, arc, dev, circle);
            if (circle) {
                OutputCircle(chain, start, m_circleStart, arc);
                return;
            }
            RecordReach(i, jj, arc, dev);
            jump_end[i] = jj;
            j = jj;
            reach = std::max(reach, jj);
        }
        for (int i = lo; i <= hi; ++i) {
            if (!has_path(i)) continue;
            for (int k = std::max(1, reach - 3); k <= reach; ++k) {
                if (k <= i || k == jump_end[i]) continue;
                if (k > i + 1) {
                    ArcParamInterval interval;
                    if (!TestFitArc(i, k, interval, nullptr, nullptr)) continue;
                    ArcParam arc;
                    const double dev = FindMinDeviationArc(i, k, interval, arc, false, nullptr, nullptr);
                    RecordReach(i, k, arc, dev);
                } else {
                    ArcParam line;
                    line.SetLine();
                    RecordReach(i, k, line, 0.0);
                }
            }
        }
        if (reach >= last) {
            OutputOptimizedPath(chain, start, end);
            return;
        }
        lo = std::max(1, reach - 3);
        hi = reach;
    }
    raise_endless();
}

void ArcLineFitter::OutputOptimizedPath(RING_header_s* chain, RING_node_s* start, RING_node_s* end) {
    (void)end;
    const int last = m_count - 1;
    // 1. The path from the last point back to point 0, in path order.
    std::vector<int> ends;
    int k = last;
    for (int guard = 0; k != 0; ++guard) {
        if (guard > m_count || k < 0) ERROR_internal(kFile, __LINE__, "Bad optmized path");
        ends.push_back(k);
        k = m_path[k].predecessor;
    }
    std::reverse(ends.begin(), ends.end());
    m_cleaned.clear();
    int from = 0;
    for (int e : ends) {
        m_cleaned.push_back(MakeCleaned(from, e, m_path[e].arc));
        from = e;
    }
    // The chain segments around an open piece, as the neighbours of its first
    // and last path segments.
    m_hasChainPrevious = m_hasChainNext = false;
    if (!m_closed && start != end && end->next && end->next != start) {
        m_hasChainPrevious = ChainNeighbour(chain, start, 0, m_chainPrevious);
        m_hasChainNext = ChainNeighbour(chain, end->next, last, m_chainNext);
    }
    // 2. A closed loop whose start vertex is free moves its seam.
    int seam = 0;
    if (m_closed && m_cleaned.size() >= 2 && VertexIsFree(chain, start)) {
        seam = MoveSeam();
    } else if (m_cleaned.size() == 1 && m_hasChainPrevious && m_hasChainNext) {
        // 3. One segment between two neighbours: the corner where their
        //    extensions meet (written at once), else an arc tangent to both.
        if (FitBetween2AnalyticEntities(chain, start, end)) return;
        ArcParam arc;
        if (FitArcTangently(0, last, end_tangent(m_chainPrevious), start_tangent(m_chainNext), arc))
            m_cleaned[0].arc = arc;
    }
    // 4. Shallow arcs give way to lines through the gates; arcs are made
    //    tangent to their neighbours where the gates allow it.
    ReplaceShallowArcsWithLines();
    CleanNearTangentVertices(chain, start, end);
    WritePath(chain, start, seam);
}

ArcLineFitter::CleanedSegment ArcLineFitter::MakeCleaned(int from, int to, ArcParam const& arc) const {
    CleanedSegment seg = {};
    seg.start = PointAt(from);
    seg.end = PointAt(to);
    seg.start_index = from;
    seg.mark = 0;
    seg.end_index_minus_one = to - 1;
    seg.arc = arc;
    seg.next = nullptr;
    return seg;
}

// Moves the seam of a closed loop: the last and the first segment become one
// arc through the seam when one fits, else the split point between them with
// the least summed deviation (below theirs) takes the seam.  Answers the new
// seam point (0 when it stays).
int ArcLineFitter::MoveSeam() {
    const int n = m_count;
    CleanedSegment& first = m_cleaned.front();
    CleanedSegment& lastSeg = m_cleaned.back();
    const int s = lastSeg.start_index;
    const int e = first.end_index_minus_one + 1;
    if (s == 0 || e == n - 1) return 0;
    // One arc from s round through the seam to e.
    {
        ArcParamInterval interval;
        if (TestFitArc(s, e, interval, nullptr, nullptr)) {
            ArcParam arc;
            FindMinDeviationArc(s, e, interval, arc, false, nullptr, nullptr);
            m_cleaned.erase(m_cleaned.begin());
            m_cleaned.back() = MakeCleaned(s, e, arc);
            return e;
        }
    }
    auto fit = [&](int i, int j, ArcParam& arc, double& dev) {
        if (Wrap(i) == j) {
            arc.SetLine();
            dev = 0.0;
            return true;
        }
        ArcParamInterval interval;
        if (!TestFitArc(i, j, interval, nullptr, nullptr)) return false;
        dev = FindMinDeviationArc(i, j, interval, arc, false, nullptr, nullptr);
        return true;
    };
    const double current = m_path[e].deviation + m_path[n - 1].deviation;
    double best = current;
    int best_k = 0;
    ArcParam best_a, best_b;
    std::vector<int> candidates;
    for (int k = std::max(n - 3, s + 1); k <= n - 2; ++k) candidates.push_back(k);
    for (int k = 1; k <= std::min(e, 3) - 1; ++k) candidates.push_back(k);
    for (int k : candidates) {
        ArcParam a, b;
        double da = 0.0, db = 0.0;
        if (!fit(s, k, a, da) || !fit(k, e, b, db)) continue;
        if (da + db < best) {
            best = da + db;
            best_k = k;
            best_a = a;
            best_b = b;
        }
    }
    if (best_k == 0) return 0;
    lastSeg = MakeCleaned(s, best_k, best_a);
    first = MakeCleaned(best_k, e, best_b);
    return best_k;
}

// Whether an arc is too shallow to be worth writing: its sagitta against the
// narrowest gate between its ends (across the chord direction).
bool ArcLineFitter::ArcTooShallowForOutput(CleanedSegment const& seg) const {
    const int i = seg.start_index, j = seg.end_index_minus_one + 1;
    const double cx = seg.end.x - seg.start.x, cy = seg.end.y - seg.start.y;
    const double chord = std::hypot(cx, cy);
    if (!(chord > 0.0)) return false;
    const double sagitta = chord * std::fabs(seg.arc.BulgeAlpha()) / 2.0;
    double narrowest = HUGE_VAL;
    int guard = 0;
    for (int k = Wrap(i); k != j; k = Wrap(k)) {
        if (++guard > m_count) raise_endless();
        const PointRec& r = m_points[k];
        const double gx = r.g2x - r.g1x, gy = r.g2y - r.g1y;
        const Point2 next = PointAt(Wrap(k) < m_count ? Wrap(k) : k);
        const double dx = next.x - m_points[i].x, dy = next.y - m_points[i].y;
        const double width = dx * dx + dy * dy < m_minSegSq ? std::hypot(gx, gy) : std::fabs(cross(gx, gy, cx, cy)) / chord;
        narrowest = std::min(narrowest, width);
    }
    if (narrowest == HUGE_VAL) return true;
    const double t = m_tolerance;
    return narrowest >= t ? sagitta < 2.0 * (t + narrowest) : sagitta < 4.0 * t;
}

// A polyline of at most three lines i -> a -> b -> j through the gates of a
// too shallow arc: the longest line from any point gives the middle; the
// gates are shrunk by halves while a replacement keeps being found.
bool ArcLineFitter::GetBestPolylineReplacement(int i, int j, int& a, int& b) {
    bool kept = false;
    for (double f = 1.0; f > kLeastGateShrink; f /= 2.0) {
        int best_a = -1, best_b = -1;
        double best_len = -1.0;
        int guard = 0;
        for (int k = i; k != j; k = Wrap(k)) {
            if (++guard > m_count) raise_endless();
            // The farthest point a line from k reaches.
            int reach = Wrap(k);
            for (int steps = 0; reach != j; ++steps) {
                if (steps > m_count) raise_endless();
                const int m = Wrap(reach);
                if (!TestFitLine(k, m, nullptr, nullptr, f)) break;
                reach = m;
            }
            const Point2 pk = PointAt(k), pr = PointAt(reach);
            const double len = (pr.x - pk.x) * (pr.x - pk.x) + (pr.y - pk.y) * (pr.y - pk.y);
            if (len > best_len) best_len = len, best_a = k, best_b = reach;
            if (reach == j) break;
        }
        if (best_a < 0) break;
        const bool first_ok = best_a == i || TestFitLine(i, best_a, nullptr, nullptr, f);
        const bool last_ok = best_b == j || TestFitLine(best_b, j, nullptr, nullptr, f);
        if (!first_ok || !last_ok) break;
        auto len2 = [&](int u, int v) {
            const Point2 p = PointAt(u), q = PointAt(v);
            return (q.x - p.x) * (q.x - p.x) + (q.y - p.y) * (q.y - p.y);
        };
        const double end_line = std::max(len2(i, best_a), len2(best_b, j));
        if (!(best_len >= 16.0 * end_line)) break;
        a = best_a;
        b = best_b;
        kept = true;
    }
    return kept;
}

void ArcLineFitter::ReplaceShallowArcsWithLines() {
    if (m_cleaned.empty()) return;
    bool all_single = true;
    for (const CleanedSegment& seg : m_cleaned)
        if (Wrap(seg.start_index) != seg.end_index_minus_one + 1) all_single = false;
    if (all_single) return;
    std::vector<CleanedSegment> out;
    for (const CleanedSegment& seg : m_cleaned) {
        int a = 0, b = 0;
        const int i = seg.start_index, j = seg.end_index_minus_one + 1;
        if (seg.arc.IsLine() || !ArcTooShallowForOutput(seg) || !GetBestPolylineReplacement(i, j, a, b)) {
            out.push_back(seg);
            continue;
        }
        ArcParam line;
        line.SetLine();
        if (a != i) out.push_back(MakeCleaned(i, a, line));
        out.push_back(MakeCleaned(a, b, line));
        if (b != j) out.push_back(MakeCleaned(b, j, line));
    }
    m_cleaned.swap(out);
}

// Writes the cleaned segments into the chain after the piece's start vertex.
// On a loop the segment that ends at the seam is written first, so the vertex
// at the seam becomes the chain's first vertex when the old one goes.
void ArcLineFitter::WritePath(RING_header_s* chain, RING_node_s* start, int seam) {
    const int last = m_count - 1;
    size_t first = 0;
    if (m_closed) {
        // The segment ending at the seam point, or at the vertex the repair
        // moved off it into the input segment after it.
        const int seam_end = seam == 0 ? last : seam;
        for (size_t s = 0; s < m_cleaned.size(); ++s) {
            const CleanedSegment& seg = m_cleaned[s];
            const int e = seg.end_index_minus_one;
            if (e + 1 == seam_end || (e % last == seam_end % last && !same_point(seg.end, PointAt(e + 1)))) first = s;
        }
    }
    RING_node_s* node = start;
    bool start_kept = false;
    // A segment whose end was moved by the tangency repair ends inside input
    // segment end_index_minus_one; it replaces the input vertices before its
    // end, and the next segment those after.  On an open piece the first
    // segment replaces everything from point 1 and the last everything up to
    // the piece's end vertex (a moved end point lies on the chain segment
    // after the piece, which then starts at the new vertex).
    for (size_t c = 0; c < m_cleaned.size(); ++c) {
        const CleanedSegment& seg = m_cleaned[(first + c) % m_cleaned.size()];
        int i = seg.start_index;
        const int j = seg.end_index_minus_one + 1;
        // A start placed at the far end of its input segment is that point.
        if (!same_point(seg.start, PointAt(i)) && same_point(seg.start, PointAt(Wrap(i)))) i = Wrap(i);
        const bool start_moved = !same_point(seg.start, PointAt(i));
        const bool end_moved = !same_point(seg.end, PointAt(j == 0 ? last : j));
        int first_gone = Wrap(i), last_gone = end_moved ? seg.end_index_minus_one : j;
        bool none_gone = end_moved && seg.end_index_minus_one == i;
        if (m_closed) {
            // Point 0 of a loop is point `last` again: a walk over the
            // replaced vertices ends there, and input segment `last` is
            // input segment 0.
            if (last_gone == 0) last_gone = last;
            none_gone = end_moved && seg.end_index_minus_one % last == i % last;
        }
        if (!m_closed) {
            if (c == 0) first_gone = 1;
            if (c + 1 == m_cleaned.size()) last_gone = last;
            none_gone = last_gone < first_gone;
            if (c == 0 && start_moved) {
                // The chain segment before the piece now ends at the new start.
                double* g = merrow1::point_of(start);
                g[0] = seg.start.x;
                g[1] = seg.start.y;
            }
        }
        node = OutputSegment(chain, node, m_pieceNodes.data(), i, j, seg.arc, start_moved ? &seg.start : nullptr,
                             end_moved ? &seg.end : nullptr, first_gone, none_gone ? -1 : last_gone);
        if (node == start) start_kept = true;
    }
    // On a loop the piece's start vertex stays only where a segment kept it
    // as its end; otherwise new vertices took its place.
    if (m_closed && !m_cleaned.empty() && !start_kept) {
        RING_delete_node(chain, start);
        CHAIN_drop_cached_box(chain);
    }
}

void ArcLineFitter::OutputCircle(RING_header_s* chain, RING_node_s* start, int i, ArcParam const& arc) {
    // The circle passes through point i and the opposite point m only: it is
    // written from i to m and from m round through the old seam back to i
    // (the same circle re-based on that chord), and the seam moves to i.
    // Re-basing the stretches before i and after m onto chords through the
    // old seam point would bend each onto a circle of its own.
    const int m = m_circleEnd;
    const Point2 a = PointAt(i), b = PointAt(m);
    ArcParam back = arc;
    back.Rebase(a, b, b, a);
    m_cleaned.clear();
    m_cleaned.push_back(MakeCleaned(i, m, arc));
    m_cleaned.push_back(MakeCleaned(m, i == 0 ? m_count - 1 : i, back));
    m_hasChainPrevious = m_hasChainNext = false;
    WritePath(chain, start, i);
}

namespace {

// Surface identifier and source geometry type of a replaced input segment,
// from its key-74 record (first and third words), else from the vertex
// record when the vertex carries an inherited source description.
bool segment_source(const RING_node_s* node, int& surface, int& type) {
    if (const MCHN_segment_s* seg =
            static_cast<const MCHN_segment_s*>(APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_SEGMENT_SOURCE))) {
        surface = seg->kind;
        type = seg->words[0];
    } else {
        const CHAIN_vertex_data_s* v = vertex_record(node);
        if (!v || !(v->flags & CHAIN_VERTEX_INHERITED_SOURCE)) return false;
        surface = v->source_surface;
        type = CHAIN_seg_ask_source_geom_type(node);
    }
    if (type >= 7 || type < 0) type = 0;
    return true;
}

}  // namespace

// Writes one fitted segment after `node`, replacing the input vertices i+1 .. j
// of the piece, and answers the vertex standing at point j.
RING_node_s* ArcLineFitter::OutputSegment(RING_header_s* chain, RING_node_s* node, RING_node_s* const* vertices,
                                          int i, int j, ArcParam const& arc, Point2 const* start,
                                          Point2 const* end, int firstGone, int lastGone) {
    const int last = m_count - 1;
    const int jj = j == 0 ? last : j;
    if (arc.IsLine() && Wrap(i) == jj && !end && firstGone == jj && lastGone == jj) return vertices[jj];
    const Point2 a = start ? *start : PointAt(i);
    const Point2 b = end ? *end : PointAt(jj);
    if ((start || end) && a.x == b.x && a.y == b.y)
        ERROR_internal(kFile, __LINE__, "Circle output must start and end on a vertex.");

    // The surface that covers most of the replaced length, and its commonest
    // source geometry type.
    std::map<int, double> by_surface;
    std::map<int, std::map<int, double>> by_type;
    std::vector<RING_node_s*> replaced;
    int guard = 0;
    for (int k = firstGone; lastGone >= 0; k = Wrap(k)) {
        if (++guard > m_count + 1) raise_endless();
        replaced.push_back(vertices[k]);
        int surface = 0, type = 0;
        if (segment_source(vertices[k], surface, type)) {
            const double len = m_path[k].length;
            by_surface[surface] += len;
            by_type[surface][type] += len;
        }
        if (k == lastGone) break;
    }
    bool have_source = !by_surface.empty();
    int surface = 0, type = 0;
    if (have_source) {
        double best = -1.0;
        for (const auto& s : by_surface)
            if (s.second > best) best = s.second, surface = s.first;
        best = -1.0;
        for (const auto& t : by_type[surface])
            if (t.second > best) best = t.second, type = t.first;
    }

    // New vertices: a line gets one at its end; an arc up to three of at most
    // 120 degrees each.
    // The new vertices copy the data of the last input vertex they replace
    // (alive until this segment deletes it); a segment that replaces none
    // lies inside one input segment and copies the vertex it follows.
    RING_node_s* source = lastGone >= 0 ? vertices[lastGone] : node;
    std::vector<end_segment> pieces;
    if (arc.IsLine()) {
        end_segment e = {};
        e.x = b.x;
        e.y = b.y;
        pieces.push_back(e);
    } else {
        const Chord c(a, b);
        const Point2 centre = c.centre(arc.alpha);
        const double radius = c.radius(arc.alpha);
        const double extent = arc.CalcAngularExtent();
        const int count =
            std::min(3, std::max(1, static_cast<int>(std::ceil(3.0 * extent / (2.0 * kPi) - kWholeThirdsSlack))));
        const double a0 = std::atan2(a.y - centre.y, a.x - centre.x);
        for (int p = 1; p <= count; ++p) {
            end_segment e = {};
            if (p == count) {
                e.x = b.x;
                e.y = b.y;
            } else {
                const double ang = a0 + (arc.cw ? -1.0 : 1.0) * extent * p / count;
                e.x = centre.x + radius * std::cos(ang);
                e.y = centre.y + radius * std::sin(ang);
            }
            e.cx = centre.x;
            e.cy = centre.y;
            e.radius = radius;
            e.direction = arc.cw ? CW : CCW;
            pieces.push_back(e);
        }
    }
    if (!arc.IsLine() && m_debugger->draw_output_arcs) DrawArc(a, b, arc, 186);
    RING_node_s* after = node;
    RING_node_s* made = nullptr;
    for (const end_segment& e : pieces) {
        made = InsertFittedVertex(chain, after, source, e, !arc.IsLine());
        after = made;
        if (have_source) {
            if (MCHN_segment_s* seg =
                    static_cast<MCHN_segment_s*>(APP_DATA__ask_app_data(made->app_data, CHAIN_APP_DATA_SEGMENT_SOURCE))) {
                seg->kind = surface;
                seg->words[0] = type;
            } else {
                vertex_record(made)->source_surface = surface;
                CHAIN_seg_set_source_geom_type(made, type);
            }
        }
    }
    // The input vertices the segment replaces go; on a loop the piece's start
    // vertex stays (it is both ends).
    for (RING_node_s* gone : replaced) {
        if (gone == m_pieceNodes[0]) continue;
        RING_delete_node(chain, gone);
    }
    CHAIN_drop_cached_box(chain);
    return made;
}

RING_node_s* ArcLineFitter::InsertFittedVertex(RING_header_s* chain, RING_node_s* after, RING_node_s* source,
                                               end_segment const& e, bool isArc) {
    CHAIN_vertex_data_s* vertex = CMEM_NEW(chain->pool, CHAIN_vertex_data_s);
    const size_t size = isArc ? sizeof(end_segment) : 2 * sizeof(double);
    vertex->geometry = static_cast<double*>(CMEM_ALLOC(chain->pool, 1, size));
    std::memcpy(vertex->geometry, &e, size);
    RING_node_s* made = RING_insert_after(chain, after, vertex);
    CHAIN_seg_set_type(made, isArc ? SEG_ARC : SEG_LINE);
    ChainVertexAppCopy(source, chain, made);
    MCHN_clone_segment(chain, source, made);
    if (void* shared = APP_DATA__ask_app_data(source->app_data, CHAIN_APP_DATA_SELF_NODE)) {
        if (!APP_DATA__ask_app_data(made->app_data, CHAIN_APP_DATA_SELF_NODE))
            RING_put_node_app_data(chain, made, CHAIN_APP_DATA_SELF_NODE, shared);
    }
    return made;
}


// ---------------------------------------------------------------------------
// Corner between the neighbours of a one-segment piece, and the tangent arc

bool ArcLineFitter::ChainNeighbour(RING_header_s const* chain, RING_node_s const* vertex, int index,
                                   CleanedSegment& out) const {
    SEGMENT seg;
    if (!vertex || ChainSegment(chain, vertex, &seg) != 1 || !seg.start || !seg.end) return false;
    if (seg.type != SEG_LINE && seg.type != SEG_ARC) return false;
    out = CleanedSegment();
    out.start = {seg.start[0], seg.start[1]};
    out.end = {seg.end->x, seg.end->y};
    if (same_point(out.start, out.end)) return false;
    out.start_index = index;
    out.end_index_minus_one = index - 1;
    out.mark = 1;
    out.arc.SetFromChainVertex(chain, vertex);
    out.next = nullptr;
    return true;
}

// The piece's one segment becomes the corner where the extensions of the
// chain segments before and after it meet, when the corner lies inside the
// corridor (gates widened to at least the tolerance) and both extended
// neighbours still pass the gates.  Writes the corner into the chain.
bool ArcLineFitter::FitBetween2AnalyticEntities(RING_header_s* chain, RING_node_s* start, RING_node_s* end) {
    // 1. Both ends free, both neighbours lines or arcs.
    if (!VertexIsFree(chain, start) || !VertexIsFree(chain, end)) return false;
    SEGMENT before, after;
    if (ChainSegment(chain, start, &before) != 1 || ChainSegment(chain, end->next, &after) != 1) return false;
    // 2. The first meeting point at or beyond the end of the first and at or
    //    before the start of the second.
    INT_POINT hits;
    const int found = SegmentIntersect(&before, &after, &hits);
    Point2 corner = {0.0, 0.0};
    bool have = false;
    for (int h = 0; h < found && h < 2 && !have; ++h) {
        const double pt[2] = {hits.point[h].x, hits.point[h].y};
        const LOCATION on_first = SegmentPointLocationOn(&before, pt);
        const LOCATION on_second = SegmentPointLocationOn(&after, pt);
        if ((on_first == 4 || on_first == 5) && (on_second == 1 || on_second == 2)) {
            corner = {pt[0], pt[1]};
            have = true;
        }
    }
    if (!have) return false;
    // 3. Gates narrower than the tolerance on either side are widened to it
    //    (a point without a gate opens across the path), and restored after.
    const std::vector<PointRec> saved = m_points;
    const int last = m_count - 1;
    for (int k = 0; k <= last; ++k) {
        PointRec& r = m_points[k];
        Vector2 u = unit(r.g2x - r.g1x, r.g2y - r.g1y);
        if (u.x == 0.0 && u.y == 0.0) {
            const Point2 a = PointAt(k == 0 ? 0 : k - 1), b = PointAt(k == last ? last : k + 1);
            const Vector2 d = unit(b.x - a.x, b.y - a.y);
            u = {-d.y, d.x};
        }
        if (std::hypot(r.g1x - r.x, r.g1y - r.y) < m_tolerance) {
            r.g1x = r.x - m_tolerance * u.x;
            r.g1y = r.y - m_tolerance * u.y;
        }
        if (std::hypot(r.g2x - r.x, r.g2y - r.y) < m_tolerance) {
            r.g2x = r.x + m_tolerance * u.x;
            r.g2y = r.y + m_tolerance * u.y;
        }
    }
    // 4. The corner inside its path segment's corridor; each neighbour,
    //    carried to the corner, through the gates on its side.
    const int k = PlacePointAlongPath(corner, 0, last);
    bool ok = IsWithinCorridor(k, corner);
    if (ok) {
        ArcParam first = m_chainPrevious.arc;
        first.Rebase(m_chainPrevious.start, m_chainPrevious.end, m_chainPrevious.start, corner);
        ok = TestFitSpecificArc(first, 0, k + 1, &m_chainPrevious.start, &corner, true);
    }
    if (ok) {
        ArcParam second = m_chainNext.arc;
        second.Rebase(m_chainNext.start, m_chainNext.end, corner, m_chainNext.end);
        ok = TestFitSpecificArc(second, k, last, &corner, &m_chainNext.end, true);
    }
    m_points = saved;
    if (!ok) return false;
    // 5. The start vertex moves to the corner; the piece's other vertices go.
    double* g = merrow1::point_of(start);
    g[0] = corner.x;
    g[1] = corner.y;
    for (int gone = 1; gone <= last; ++gone) RING_delete_node(chain, m_pieceNodes[gone]);
    CHAIN_drop_cached_box(chain);
    return true;
}

// The arc on the chord from point i to point j that leaves along t1 and
// arrives along t2 as nearly as one arc can (the mean of both tangencies),
// taken when it passes the gates.
bool ArcLineFitter::FitArcTangently(int i, int j, Vector2 const& t1, Vector2 const& t2, ArcParam& arc) {
    const Point2 a = PointAt(i), b = PointAt(j == 0 ? m_count - 1 : j);
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double d2 = dx * dx + dy * dy;
    double ux = t1.x * dx + t1.y * dy + t2.x * dx + t2.y * dy;
    double uy = cross(dx, dy, t1.x, t1.y) - cross(dx, dy, t2.x, t2.y);
    const double l = std::hypot(ux, uy);
    if (!(l > kNegligible)) return false;
    ux /= l;
    uy /= l;
    if (!(ux > 0.0) || uy == 0.0) return false;
    ArcParam tangent;
    tangent.alpha = -ux / uy;
    tangent.cw = uy > 0.0;
    if (tangent.alpha * tangent.alpha > 4.0 * m_maxRadius * m_maxRadius / d2 - 1.0) tangent.SetLine();
    ArcParamInterval interval;
    if (!TestFitArc(i, j, interval, nullptr, nullptr) || !interval.Contains(tangent)) return false;
    arc = tangent;
    return true;
}

// ---------------------------------------------------------------------------
// Corridors and places along the path

// The input segment (k from `from` up to the one ending at `to`) nearest to
// the point.  A point off a convex corner of the path is nearest to both
// segments at their shared point; the later segment takes it when it lies
// on the forward side of that point's gate.
int ArcLineFitter::PlacePointAlongPath(Point2 const& point, int from, int to) const {
    int best = from;
    double best_d = kFarDistance;
    bool previous_at_end = false;
    int guard = 0;
    for (int k = from; k != to; k = Wrap(k)) {
        if (++guard > m_count) raise_endless();
        const Point2 a = PointAt(k), b = PointAt(Wrap(k));
        const double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
        const double t = l2 > 0.0 ? ((point.x - a.x) * dx + (point.y - a.y) * dy) / l2 : 0.0;
        const Point2 q = t <= 0.0 ? a : t >= 1.0 ? b : Point2{a.x + t * dx, a.y + t * dy};
        const double d = dist2(point, q);
        if (t < 0.0 && previous_at_end && k > from) {
            const PointRec& r = m_points[k];
            const Point2 g1 = {r.g1x, r.g1y}, g2 = {r.g2x, r.g2y};
            // Forward: the gate (first to second end) turns counter-clockwise
            // from the direction to the point, i.e. the point lies right of it.
            const bool forward = same_point(g1, g2) ? (point.x - a.x) * dx + (point.y - a.y) * dy > 0.0
                                                    : orient(g1, g2, point) < 0;
            if (forward && d <= best_d) {
                best_d = d;
                best = k;
                previous_at_end = false;
                continue;
            }
        }
        if (d < best_d) {
            best_d = d;
            best = k;
        }
        previous_at_end = t >= 1.0;
    }
    return best;
}

// The corridor of input segment k: bounded by the gates at its ends and by
// the two gate edges, each bent outward into the arc of its gate-edge bound.
// Straight crossings of a ray decide the quadrilateral; a point in a bent
// edge's circular cap outside the chord changes the answer.
bool ArcLineFitter::IsWithinCorridor(int k, Point2 const& point) const {
    const int k1 = Wrap(k);
    const double near = kNearPathPointSquaredPerTolerance2 * m_tolerance * m_tolerance;
    if (dist2(point, PointAt(k)) < near || dist2(point, PointAt(k1)) < near) return true;
    const PointRec& r0 = m_points[k];
    const PointRec& r1 = m_points[k1];
    const Point2 quad[4] = {{r0.g1x, r0.g1y}, {r1.g1x, r1.g1y}, {r1.g2x, r1.g2y}, {r0.g2x, r0.g2y}};
    bool inside = false;
    for (int e = 0; e < 4; ++e) {
        const Point2& a = quad[e];
        const Point2& b = quad[(e + 1) % 4];
        if ((a.y > point.y) == (b.y > point.y)) continue;
        const int side = orient(a, b, point);
        if (b.y > a.y ? side > 0 : side < 0) inside = !inside;
    }
    double first = 0.0, second = 0.0;
    EdgeBounds(k1, first, second);
    struct Edge {
        Point2 a, b;
        double alpha;
        int outward;
    } edges[2] = {{quad[0], quad[1], first, -1}, {quad[3], quad[2], second, 1}};
    for (const Edge& e : edges) {
        if (dist2(e.a, e.b) < kNegligibleSquared) continue;
        if (orient(e.a, e.b, point) != e.outward) continue;
        const Point2 mid = {(e.a.x + e.b.x) / 2.0, (e.a.y + e.b.y) / 2.0};
        const Vector2 half = {(e.b.x - e.a.x) / 2.0, (e.b.y - e.a.y) / 2.0};
        if (InCircle(&mid, &half, e.alpha, &point)) inside = !inside;
    }
    return inside;
}

// Mean width of the gates from point i to point j across the path.
double ArcLineFitter::AverageGateWidth(int i, int j) const {
    double sum = 0.0;
    int count = 0;
    const double least = std::sqrt(kLeastGateLegSquaredPerTolerance2) * m_tolerance;
    for (int k = i, guard = 0;; k = Wrap(k)) {
        if (++guard > m_count + 1) raise_endless();
        const PointRec& r = m_points[k];
        const double gx = r.g2x - r.g1x, gy = r.g2y - r.g1y;
        Vector2 in = {0.0, 0.0}, out = {0.0, 0.0};
        if (k > 0 || m_closed) {
            const Point2 p = PointAt(k > 0 ? k - 1 : m_count - 2);
            in = {r.x - p.x, r.y - p.y};
        }
        if (k < m_count - 1 || m_closed) {
            const Point2 q = PointAt(Wrap(k) < m_count ? Wrap(k) : k);
            out = {q.x - r.x, q.y - r.y};
        }
        const Vector2 both = {in.x + out.x, in.y + out.y};
        Vector2 d = in;
        if (dot(out, out) > dot(d, d)) d = out;
        if (dot(both, both) > dot(d, d)) d = both;
        const double dl = std::sqrt(dot(d, d));
        sum += dl > least ? std::fabs(cross(gx, gy, d.x, d.y)) / dl : std::hypot(gx, gy);
        ++count;
        if (k == j) break;
    }
    return count ? sum / count : 0.0;
}

// Whether a given segment (its ArcParam on the chord from start to end)
// passes the gates strictly between points i and j.  An end point next to
// the nearest input point inside leaves that point's gate out.  Leniently, an
// arc just outside the interval passes when its bulge lies within
// 0.02 t / |chord|^2 of the nearer bound's.  Without gates between, the
// segment's midpoint must lie in the corridor.
bool ArcLineFitter::TestFitSpecificArc(ArcParam const& arc, int i, int j, Point2 const* start, Point2 const* end,
                                       bool lenient) {
    const int last = m_count - 1;
    const Point2 a = start ? *start : PointAt(i);
    const Point2 b = end ? *end : PointAt(j == 0 ? last : j);
    const double near = kNearInputPointSquaredPerMinSegSq * m_minSegSq;
    if (start && Wrap(i) != j && dist2(a, PointAt(Wrap(i))) < near) i = Wrap(i);
    if (end && Wrap(i) != j && j > 1 && dist2(b, PointAt(j - 1)) < near) --j;
    if (Wrap(i) != j) {
        if (arc.IsLine() && TestFitLine(i, j, &a, &b, 1.0)) return true;
        ArcParamInterval interval;
        if (!TestFitArc(i, j, interval, &a, &b)) return false;
        if (interval.Contains(arc)) return true;
        if (!lenient) return false;
        const double chord2 = dist2(a, b);
        const double bulge = arc.BulgeAlpha();
        const double lo = interval.lower.BulgeAlpha(), hi = interval.upper.BulgeAlpha();
        const double nearer = std::fabs(bulge - lo) < std::fabs(bulge - hi) ? lo : hi;
        return std::fabs(bulge - nearer) <= kLenientBulgePerTolerance * m_tolerance / chord2;
    }
    CleanedSegment seg = {};
    seg.start = a;
    seg.end = b;
    seg.arc = arc;
    return IsWithinCorridor(i, point_along(seg, 0.5));
}

// ---------------------------------------------------------------------------
// Near-tangent repair

// The verdict on the vertex where `first` ends and `second` starts.  The
// segment to refit is the arc against a line, the smaller arc of two.  The
// gap is how far its circle would have to move to become tangent at the
// vertex: r sin(turn).  A join that turns back by 90 degrees or more cannot
// be made tangent.
ArcLineFitter::RepairableTangentState ArcLineFitter::TestVertexTangency(CleanedSegment const& first,
                                                                        CleanedSegment const& second) const {
    const bool line1 = first.arc.IsLine(), line2 = second.arc.IsLine();
    if (line1 && line2) ERROR_internal(kFile, __LINE__, "Two lines passed to TestVertexTangency");
    const double t = m_tolerance;
    const Point2 v = first.end;
    double r1 = 0.0, r2 = 0.0;
    Point2 c1 = v, c2 = v;
    if (!line1) c1 = seg_centre(first), r1 = seg_radius(first);
    if (!line2) c2 = seg_centre(second), r2 = seg_radius(second);
    const bool refit_first = line2 || (!line1 && r1 < r2);
    if (!line1 && !line2 && dist2(c1, c2) < kTangentSlackSquaredPerTolerance2 * t * t)
        return first.arc.cw == second.arc.cw ? ALREADY_TANGENT : NOT_REPAIRABLE;
    const Vector2 t1 = end_tangent(first), t2 = start_tangent(second);
    const double turn = dot(t1, t2);
    if (!(turn > 0.0)) return NOT_REPAIRABLE;
    // The refitted circle must move its centre by r sin(turn) onto the normal
    // of its neighbour at the vertex (for two arcs, onto the line through the
    // vertex and the neighbour's centre, on the side the senses ask).
    const double gap = (refit_first ? r1 : r2) * std::fabs(cross(t1.x, t1.y, t2.x, t2.y));
    if (gap < kTangentGapPerTolerance * t) return ALREADY_TANGENT;
    // Where the refitted arc would touch its fixed neighbour.
    const CleanedSegment& fixed = refit_first ? second : first;
    const Point2 cr = refit_first ? c1 : c2;
    Point2 touch = v;
    if (fixed.arc.IsLine()) {
        const Vector2 u = unit(fixed.end.x - fixed.start.x, fixed.end.y - fixed.start.y);
        const double s = (cr.x - v.x) * u.x + (cr.y - v.y) * u.y;
        touch = {v.x + s * u.x, v.y + s * u.y};
    } else {
        const Point2 cf = seg_centre(fixed);
        const Vector2 u = unit(cr.x - cf.x, cr.y - cf.y);
        const double rf = seg_radius(fixed);
        if (u.x != 0.0 || u.y != 0.0) touch = {cf.x + rf * u.x, cf.y + rf * u.y};
    }
    const int last = m_count - 1;
    const int from = std::max(0, std::min(first.start_index, last - 1));
    const int to = std::max(from + 1, std::min(second.end_index_minus_one + 1, last));
    const int k_touch = PlacePointAlongPath(touch, from, to);
    const int k_vertex = std::max(0, std::min(first.end_index_minus_one + 1, last));
    const double allowed = AverageGateWidth(std::min(k_touch, k_vertex), std::max(k_touch + 1, k_vertex)) + t;
    if (gap < allowed) return refit_first ? REFIT_FIRST : REFIT_SECOND;
    return NOT_REPAIRABLE;
}

bool ArcLineFitter::TestAndImproveSegmentTangency(CleanedSegment* previous, CleanedSegment& arc,
                                                  CleanedSegment* next) {
    const RepairableTangentState at_start = previous ? TestVertexTangency(*previous, arc) : ALREADY_TANGENT;
    const RepairableTangentState at_end = next ? TestVertexTangency(arc, *next) : ALREADY_TANGENT;
    const bool repair_start = at_start == REFIT_SECOND, repair_end = at_end == REFIT_FIRST;
    if (!repair_start && !repair_end) return true;
    return ImproveSegmentTangency(previous, arc, next, repair_start, repair_end);
}

// The arc leaving p along the unit direction t that ends at q.
bool ArcLineFitter::FitTangentArcToMeetPoint(Point2 const& p, Vector2 const& t, Point2 const& q,
                                             ArcParam& arc) const {
    const double dx = q.x - p.x, dy = q.y - p.y;
    const double d2 = dx * dx + dy * dy;
    if (!(d2 > kNegligibleSquared)) return false;
    const double side = cross(t.x, t.y, dx, dy);
    const double along = t.x * dx + t.y * dy;
    if (std::fabs(side) < kNegligible) {
        if (!(along > 0.0)) return false;
        arc.SetLine();
        return true;
    }
    double a = d2 / (side * side) - 1.0;
    a = a > 0.0 ? std::sqrt(a) : 0.0;
    // q on the left: counter-clockwise.  A minor arc has its centre on the
    // side of the chord it turns to; past half a turn (t . d < 0) it is the
    // other side.
    arc.cw = side < 0.0;
    arc.alpha = a * (along > 0.0 ? 1.0 : -1.0) * (arc.cw ? -1.0 : 1.0);
    return true;
}

// The arc tangent to t at p and tangent to `segment` where it touches it
// (travelling the same way there).
bool ArcLineFitter::FitTangentArcToMeetSegment(Point2 const& p, Vector2 const& t, CleanedSegment const& segment,
                                               bool farEndMoves, ArcParam& arc, Point2& touch) const {
    const double tol = m_tolerance;
    const Vector2 n = {-t.y, t.x};
    if (segment.arc.IsLine()) {
        const double len = std::sqrt(dist2(segment.start, segment.end));
        if (len < kNegligible) return false;
        const Vector2 u = unit(segment.end.x - segment.start.x, segment.end.y - segment.start.y);
        const Vector2 nu = {-u.y, u.x};
        // Signed radius r (left positive): the centre p + r n lies at the
        // signed distance r from the line.
        const double sp = (p.x - segment.start.x) * nu.x + (p.y - segment.start.y) * nu.y;
        const double divisor = 1.0 - dot(t, u);
        if (divisor < kNegligible) {
            if (std::fabs(sp) >= kTangentSlackPerTolerance * tol) return false;
            touch = p;
        } else {
            const double r = sp / divisor;
            const Point2 c = {p.x + r * n.x, p.y + r * n.y};
            touch = {c.x - r * nu.x, c.y - r * nu.y};
        }
        const double along = (touch.x - segment.start.x) * u.x + (touch.y - segment.start.y) * u.y;
        if (along > len + (farEndMoves ? kTangentSlackPerTolerance * tol : 0.0)) return false;
    } else {
        const Point2 c = seg_centre(segment);
        const double big_r = seg_radius(segment);
        const double signed_big = segment.arc.cw ? -big_r : big_r;
        const double px = p.x - c.x, py = p.y - c.y;
        const double num = big_r * big_r - (px * px + py * py);
        const double divisor = 2.0 * (signed_big + px * n.x + py * n.y);
        if (std::fabs(divisor) < kNegligible) {
            if (std::fabs(num) >= kTangentSlackPerTolerance * tol) return false;
            touch = segment.start;
        } else {
            const double r = num / divisor;
            if (r == signed_big) return false;
            const Point2 cc = {p.x + r * n.x, p.y + r * n.y};
            const Vector2 nt = {(cc.x - c.x) / (r - signed_big), (cc.y - c.y) / (r - signed_big)};
            touch = {cc.x - r * nt.x, cc.y - r * nt.y};
        }
        if (dist2(touch, p) < kTangentSlackSquaredPerTolerance2 * tol * tol) touch = p;
        // On the other arc's span (direction-aware), or at its fixed end.
        const double a0 = std::atan2(segment.start.y - c.y, segment.start.x - c.x);
        double swept = std::atan2(touch.y - c.y, touch.x - c.x) - a0;
        if (segment.arc.cw) swept = -swept;
        swept = std::fmod(swept, 2.0 * kPi);
        if (swept < 0.0) swept += 2.0 * kPi;
        if (swept > segment.arc.CalcAngularExtent() &&
            dist2(touch, segment.end) >= kTangentSlackSquaredPerTolerance2 * tol * tol)
            return false;
    }
    const double chord2 = dist2(p, touch);
    if (chord2 < kShortTangentChordSquaredPerTolerance2 * tol * tol) {
        if (chord2 > 0.0 && !((touch.x - p.x) * t.x + (touch.y - p.y) * t.y > 0.0)) return false;
        arc.SetLine();
        return true;
    }
    return FitTangentArcToMeetPoint(p, t, touch, arc);
}

double ArcLineFitter::SegmentDeviation(CleanedSegment const& seg) {
    const int i = seg.start_index, j = seg.end_index_minus_one + 1;
    if (j <= i || j <= 0) return 0.0;
    return SquaredDeviationForSeg(seg.arc, &seg.start, &seg.end, i, j, true, false);
}

// The repair at parameter p along the fixed neighbour: the new vertex x
// there and the arc leaving it tangentially to meet the target segment (or
// the point).  Answers the changed segments in path order: the previous
// segment, the arc and the next segment (previous and next as far as they
// change).
bool ArcLineFitter::BuildRepair(double p, CleanedSegment& previous, CleanedSegment& arc, CleanedSegment& next) {
    const CleanedSegment& f = m_repairFixed;
    const Point2 x = point_along(f, p);
    const Vector2 t = tangent_at(f, x);
    if (t.x == 0.0 && t.y == 0.0) return false;
    ArcParam made;
    Point2 touch = m_repairPoint;
    if (m_repairMeetsSegment) {
        if (!FitTangentArcToMeetSegment(x, t, m_repairTarget, m_repairTargetMoves, made, touch)) return false;
    } else if (!FitTangentArcToMeetPoint(x, t, touch, made)) {
        return false;
    }
    if (dist2(x, touch) < m_minSegSq || dist2(f.start, x) < m_minSegSq) return false;
    // In the direction of the build: the fixed neighbour up to x, the arc
    // from x to the touching point, the target from there on.
    CleanedSegment nf = f, na = m_repairArc;
    nf.end = x;
    nf.arc.Rebase(f.start, f.end, f.start, x);
    na.start = x;
    na.end = touch;
    na.arc = made;
    const int last = m_count - 1;
    auto clamp = [&](int k) { return std::max(0, std::min(k, last)); };
    if (!m_repairBackwards) {
        const int from = clamp(std::min(f.start_index, last - 1));
        const int to = std::max(from + 1, clamp(m_repairMeetsSegment ? m_repairTarget.end_index_minus_one + 1
                                                                     : m_repairArc.end_index_minus_one + 1));
        const int kx = PlacePointAlongPath(x, from, to);
        nf.end_index_minus_one = kx;
        na.start_index = kx;
        if (nf.end_index_minus_one < nf.start_index) return false;
        if (m_repairMeetsSegment) {
            CleanedSegment nt = m_repairTarget;
            nt.start = touch;
            nt.arc.Rebase(m_repairTarget.start, m_repairTarget.end, touch, m_repairTarget.end);
            const int kt = PlacePointAlongPath(touch, from, to);
            if (kt < kx || nt.end_index_minus_one < kt) return false;
            na.end_index_minus_one = kt;
            nt.start_index = kt;
            next = nt;
        } else if (na.end_index_minus_one < kx) {
            return false;
        }
        previous = nf;
        arc = na;
    } else {
        // f is the next segment run backwards from its end.
        const int from = clamp(std::min(m_repairArc.start_index, last - 1));
        const int to = std::max(from + 1, clamp(f.end_index_minus_one + 1));
        const int kx = PlacePointAlongPath(x, from, to);
        na = reversed(na);
        nf = reversed(nf);
        na.start_index = m_repairArc.start_index;
        na.end_index_minus_one = kx;
        nf.start_index = kx;
        if (kx < na.start_index || nf.end_index_minus_one < kx) return false;
        arc = na;
        next = nf;
    }
    if (m_debugger->draw_repair_tests) DrawArc(arc.start, arc.end, arc.arc, 211);
    return true;
}

double ArcLineFitter::SquaredDeviationForFittedArc(double p) {
    CleanedSegment previous = {}, arc = {}, next = {};
    if (!BuildRepair(p, previous, arc, next)) return m_tolerance * kFailedRepairCostPerTolerance;
    double sum = SegmentDeviation(arc);
    if (!m_repairBackwards) sum += SegmentDeviation(previous);
    if (m_repairBackwards || m_repairMeetsSegment) sum += SegmentDeviation(next);
    return sum;
}

// Refits `arc` to leave its fixed neighbour tangentially at a parameter p
// along that neighbour, meeting the segment on the other side tangentially
// when both ends need it, else the arc's other end point.
//   1. The feasible range of p: stepping in from each end by 0.1 until the
//      fit succeeds, then halving the step onto the boundary.
//   2. The p of least deviation (new arc and changed neighbours) in it.
//   3. Accepted only when the moved vertices lie in their corridors and the
//      changed segments pass their gates (leniently for the neighbours).
bool ArcLineFitter::ImproveSegmentTangency(CleanedSegment* previous, CleanedSegment& arc, CleanedSegment* next,
                                           bool repairStart, bool repairEnd) {
    const int last = m_count - 1;
    m_repairArc = arc;
    m_repairMeetsSegment = repairStart && repairEnd;
    m_repairBackwards = !repairStart;
    m_repairPoint = repairStart ? arc.end : arc.start;
    if (repairStart) {
        m_repairFixed = *previous;
        if (m_repairMeetsSegment) {
            m_repairTarget = *next;
            // The far end of the target may move when it is a free vertex
            // inside the piece.
            m_repairTargetMoves = next->mark == 0 && next->end_index_minus_one + 1 < last;
        }
    } else {
        m_repairFixed = reversed(*next);
    }
    CleanedSegment p_out = previous ? *previous : CleanedSegment(), a_out = arc, n_out = next ? *next : CleanedSegment();
    auto feasible = [&](double p) {
        CleanedSegment x = p_out, y = a_out, z = n_out;
        return BuildRepair(p, x, y, z);
    };
    // 1. The feasible range.
    auto boundary = [&](double from, double step) -> double {
        double good = -1.0;
        for (int s = 0; s <= 10; ++s) {
            const double p = from + step * s;
            if (feasible(p)) {
                good = p;
                break;
            }
        }
        if (good < 0.0) return -1.0;
        if (good == from) return good;
        double bad = good - step;
        for (int halving = 0; halving < 20; ++halving) {
            const double mid = 0.5 * (good + bad);
            if (feasible(mid))
                good = mid;
            else
                bad = mid;
        }
        return good;
    };
    const double lo = boundary(0.0, kRepairParameterStep);
    if (lo < 0.0) return false;
    double hi = boundary(1.0, -kRepairParameterStep);
    if (hi < lo) hi = lo;
    // 2. The least deviation over it.  A neighbour of no length gives an
    // infinite tolerance (the minimiser stops at once, as on any tolerance
    // wider than [0, 1]), or with a tolerance of 0 a NaN, which the floor
    // replaces.
    const double length = std::sqrt(dist2(m_repairFixed.start, m_repairFixed.end));
    double best = lo;
    if (hi > lo) MinimizeBracketedFn(&ArcLineFitter::SquaredDeviationForFittedArc, lo, hi,
                                     std::max(kFinestRepairParameterTolerance, m_minimiserTol / length), best);
    m_repairBest = best;
    if (!BuildRepair(best, p_out, a_out, n_out)) return false;
    // 3. Corridors of the moved vertices and gates of the changed segments.
    auto moved_ok = [&](const Point2& x, int k) { return IsWithinCorridor(std::max(0, std::min(k, last - 1)), x); };
    auto passes = [&](const CleanedSegment& s, bool lenient) {
        const int i = s.start_index, j = s.end_index_minus_one + 1;
        if (s.mark == 1 && Wrap(i) == j) return true;  // outside the piece, no gate to pass
        return TestFitSpecificArc(s.arc, i, j, &s.start, &s.end, lenient);
    };
    if (!passes(a_out, false)) return false;
    if (repairStart) {
        if (!moved_ok(a_out.start, a_out.start_index) || !passes(p_out, true)) return false;
    }
    if (repairEnd) {
        if (!moved_ok(a_out.end, a_out.end_index_minus_one) || !passes(n_out, true)) return false;
    }
    if (previous && repairStart) *previous = p_out;
    if (next && repairEnd) *next = n_out;
    arc = a_out;
    return true;
}

// Gives back the first or last input segment of an arc as a line so that
// the rest of the arc can meet it (or its other neighbour) tangentially.
// The end whose line is longer is tried first; while neither end succeeds
// the first one is split off and the rest tried again.  Nothing changes
// unless a repair succeeds.
bool ArcLineFitter::ReinsertLinesToImproveTangency(size_t index, CleanedSegment* previous, CleanedSegment* next) {
    CleanedSegment rest = m_cleaned[index];
    if (!same_point(rest.start, PointAt(rest.start_index)) ||
        !same_point(rest.end, PointAt(rest.end_index_minus_one + 1)))
        return false;
    CleanedSegment prev_copy = previous ? *previous : CleanedSegment();
    CleanedSegment next_copy = next ? *next : CleanedSegment();
    std::vector<CleanedSegment> before, after;
    ArcParam line;
    line.SetLine();
    for (int round = 0;; ++round) {
        if (round > m_count) raise_endless();
        const int i = rest.start_index, j = rest.end_index_minus_one + 1;
        if (Wrap(i) == j) return false;
        CleanedSegment* p = before.empty() ? (previous ? &prev_copy : nullptr) : &before.back();
        CleanedSegment* n = after.empty() ? (next ? &next_copy : nullptr) : &after.front();
        const RepairableTangentState s0 = p ? TestVertexTangency(*p, rest) : ALREADY_TANGENT;
        const RepairableTangentState s1 = n ? TestVertexTangency(rest, *n) : ALREADY_TANGENT;
        const bool at_start = s0 == REFIT_FIRST || s0 == REFIT_SECOND;
        const bool at_end = s1 == REFIT_FIRST || s1 == REFIT_SECOND;
        if (!at_start && !at_end) return false;
        int ends[2] = {0, 1};
        int count = 0;
        const double start_len = dist2(PointAt(i), PointAt(Wrap(i)));
        const double end_len = dist2(PointAt(j - 1), PointAt(j));
        if (at_start && at_end) {
            if (end_len > start_len) std::swap(ends[0], ends[1]);
            count = 2;
        } else {
            ends[0] = at_start ? 0 : 1;
            count = 1;
        }
        int first_tried = -1;
        CleanedSegment first_line = {}, first_rest = {};
        for (int e = 0; e < count; ++e) {
            const bool split_start = ends[e] == 0;
            const int ni = split_start ? Wrap(i) : i, nj = split_start ? j : j - 1;
            if (Wrap(ni) == nj) continue;  // the rest would be one input segment, a line
            ArcParamInterval interval;
            if (!TestFitArc(ni, nj, interval, nullptr, nullptr)) continue;
            ArcParam refit;
            FindMinDeviationArc(ni, nj, interval, refit, false, nullptr, nullptr);
            if (refit.IsLine()) continue;
            CleanedSegment given = split_start ? MakeCleaned(i, Wrap(i), line) : MakeCleaned(j - 1, j, line);
            CleanedSegment r = MakeCleaned(ni, nj, refit);
            if (first_tried < 0) {
                first_tried = ends[e];
                first_line = given;
                first_rest = r;
            }
            CleanedSegment pp = split_start ? given : (p ? *p : CleanedSegment());
            CleanedSegment nn = split_start ? (n ? *n : CleanedSegment()) : given;
            const bool has_p = split_start || p, has_n = !split_start || n;
            if (!TestAndImproveSegmentTangency(has_p ? &pp : nullptr, r, has_n ? &nn : nullptr)) continue;
            // The split only pays when the rest now meets the given-back line
            // tangentially.
            if ((split_start ? TestVertexTangency(pp, r) : TestVertexTangency(r, nn)) != ALREADY_TANGENT) continue;
            // Taken: write back the line, the rest and the changed neighbours.
            if (split_start) {
                before.push_back(pp);
                if (n) *n = nn;
            } else {
                after.insert(after.begin(), nn);
                if (p) *p = pp;
            }
            rest = r;
            std::vector<CleanedSegment> pieces(before);
            pieces.push_back(rest);
            pieces.insert(pieces.end(), after.begin(), after.end());
            if (previous) *previous = prev_copy;
            if (next) *next = next_copy;
            m_cleaned.erase(m_cleaned.begin() + static_cast<long>(index));
            m_cleaned.insert(m_cleaned.begin() + static_cast<long>(index), pieces.begin(), pieces.end());
            return true;
        }
        if (first_tried < 0) return false;
        if (first_tried == 0)
            before.push_back(first_line);
        else
            after.insert(after.begin(), first_line);
        rest = first_rest;
    }
}

// Re-bases a closed loop so that point r becomes point 0: the points, the
// lengths of their input segments, the piece's vertices and the indices of
// every cleaned segment move with it (point `last` stays point 0 again).
// Re-basing by -r afterwards restores everything exactly.  The repair of an
// arc works on index ranges in path order from the start of the arc's
// previous segment to the end of its next one; re-basing the loop at that
// start keeps the ranges it walks clear of the index seam, whether the join
// it repairs is the seam itself or a segment runs through a seam the driver
// moved.
void ArcLineFitter::RotateLoop(int r) {
    const int m = m_count - 1;
    if (!m_closed || m < 2) return;
    r %= m;
    if (r < 0) r += m;
    if (r == 0) return;
    std::rotate(m_points.begin(), m_points.begin() + r, m_points.begin() + m);
    m_points[m] = m_points[0];
    std::vector<double> lengths(m);
    for (int k = 0; k < m; ++k) lengths[k] = m_path[(k + r) % m].length;
    for (int k = 0; k < m; ++k) m_path[k].length = lengths[k];
    m_path[m].length = m_path[0].length;
    if (static_cast<int>(m_pieceNodes.size()) == m_count) {
        std::rotate(m_pieceNodes.begin(), m_pieceNodes.begin() + r, m_pieceNodes.begin() + m);
        m_pieceNodes[m] = m_pieceNodes[0];
    }
    for (CleanedSegment& seg : m_cleaned) RebaseIndices(seg, r);
}

// The indices of a cleaned segment of a loop after re-basing at point r: a
// start at point 0 or inside input segment 0 is index 0, an end exactly at
// point 0 is point `last`.
void ArcLineFitter::RebaseIndices(CleanedSegment& seg, int r) const {
    const int m = m_count - 1;
    seg.start_index = ((seg.start_index - r) % m + m) % m;
    seg.end_index_minus_one = ((seg.end_index_minus_one - r) % m + m) % m;
}

// Makes arcs tangent to their neighbours where the gates allow it.  The
// neighbours of an open piece's first and last segments are the chain
// segments around it when the piece's end vertices are free.  On a loop
// whose seam vertex is free the path is a cycle: the first arc's previous
// segment is the last path segment and the last arc's next one the first.
void ArcLineFitter::CleanNearTangentVertices(RING_header_s* chain, RING_node_s* start, RING_node_s* end) {
    if (m_cleaned.empty() || (m_closed && m_cleaned.size() < 3)) return;
    const bool start_free = m_hasChainPrevious && VertexIsFree(chain, start);
    const bool end_free = m_hasChainNext && VertexIsFree(chain, end);
    const bool cyclic = m_closed && VertexIsFree(chain, start);
    // A segment that runs backwards in index order (through the index seam)
    // takes no part in a repair; after re-basing that is only possible for a
    // neighbour that overlaps the other one on a loop of three segments.
    auto wraps = [&](const CleanedSegment& seg) {
        return seg.mark == 0 && seg.end_index_minus_one + 1 <= seg.start_index;
    };
    for (size_t s = 0, guard = 0; s < m_cleaned.size(); ++s) {
        if (++guard > 2 * static_cast<size_t>(m_count) + 4) raise_endless();
        if (m_cleaned[s].arc.IsLine()) continue;
        const size_t size = m_cleaned.size();
        const int base = cyclic ? m_cleaned[(s + size - 1) % size].start_index : 0;
        RotateLoop(base);
        if (wraps(m_cleaned[s])) {
            RotateLoop(-base);
            continue;
        }
        // Pointers into m_cleaned are taken afresh: the repair may insert.
        auto prev_of = [&]() -> CleanedSegment* {
            CleanedSegment* seg = s > 0 ? &m_cleaned[s - 1] : cyclic ? &m_cleaned.back() : nullptr;
            if (seg) return wraps(*seg) ? nullptr : seg;
            return start_free ? &m_chainPrevious : nullptr;
        };
        auto next_of = [&]() -> CleanedSegment* {
            CleanedSegment* seg = s + 1 < size ? &m_cleaned[s + 1] : cyclic ? &m_cleaned.front() : nullptr;
            if (seg) return wraps(*seg) ? nullptr : seg;
            return end_free ? &m_chainNext : nullptr;
        };
        if (m_debugger->draw_before_repair) DrawArc(m_cleaned[s].start, m_cleaned[s].end, m_cleaned[s].arc, 36);
        CleanedSegment* prev = prev_of();
        CleanedSegment* next = next_of();
        CleanedSegment p = prev ? *prev : CleanedSegment(), a = m_cleaned[s], n = next ? *next : CleanedSegment();
        if (TestAndImproveSegmentTangency(prev ? &p : nullptr, a, next ? &n : nullptr)) {
            if (prev) *prev = p;
            if (next) *next = n;
            m_cleaned[s] = a;
        } else if (ReinsertLinesToImproveTangency(s, prev, next)) {
            // Step past the given-back lines to the refitted rest.
            size_t k = s;
            while (k < s + (m_cleaned.size() - size) && m_cleaned[k].arc.IsLine()) ++k;
            s = k;
        }
        RotateLoop(-base);
        if (m_debugger->draw_after_repair) DrawArc(m_cleaned[s].start, m_cleaned[s].end, m_cleaned[s].arc, 108);
    }
}

// ---------------------------------------------------------------------------
// Debug drawing on the host's temporary display, in the chain's coordinate
// system copied into the debugger.

namespace {

void map_to_csys(const CSYS& csys, double x, double y, double out[3]) {
    for (int c = 0; c < 3; ++c) out[c] = csys.origin[c] + x * csys.matrix[c] + y * csys.matrix[3 + c];
}

}  // namespace

void ArcLineFitter::DrawGates(RING_header_s* chain) {
    const CSYS& csys = m_debugger->csys;
    const int chain_colour = COLOR_ask_closest_color_in_displayed_part(77);
    RING_node_s* node = chain->first;
    for (int k = 0; node && k < chain->count; ++k, node = node->next) {
        SEGMENT seg;
        if (k > 0 && ChainSegment(chain, node, &seg) == 1) SEGMENT_display_segment(&seg, &csys, chain_colour, 1, 1, 0);
        if (node->next == chain->first) break;
    }
    const tag_t view = DISPLAY_ask_tag_of_active_vseq();
    bool first = true;
    node = chain->first;
    for (int k = 0; node && k < chain->count; ++k, node = node->next) {
        if (const double* gate = gate_of(node)) {
            const int colour = COLOR_ask_closest_color_in_displayed_part(first ? 146 : 77);
            first = false;
            double points[6];
            map_to_csys(csys, gate[0], gate[1], points);
            map_to_csys(csys, gate[2], gate[3], points + 3);
            DSS_TEMP_display_markers(view, 3, colour, 3, 2, points);
            DSS_TEMP_display_polyline(view, colour, 1, 1, 3, 2, points);
        }
        if (node->next == chain->first) break;
    }
    if (m_debugger->call_after_draw && m_debugger->callback) m_debugger->callback();
}

// An arc (or line) from start to end; an arc of radius above 1e6 is drawn
// as its chord.
void ArcLineFitter::DrawArc(Point2 const& start, Point2 const& end, ArcParam const& arc, int colour) {
    if (m_debugger->refresh_before_draw) DISPLAY_regenerate();
    double from[2] = {start.x, start.y};
    end_segment to = {};
    to.x = end.x;
    to.y = end.y;
    SEGMENT seg = {from, &to, nullptr, SEG_LINE};
    const Chord c(start, end);
    if (!arc.IsLine() && c.radius(arc.alpha) <= kDrawnAsChordRadius) {
        const Point2 centre = c.centre(arc.alpha);
        to.cx = centre.x;
        to.cy = centre.y;
        to.radius = c.radius(arc.alpha);
        to.direction = arc.cw ? CW : CCW;
        seg.type = SEG_ARC;
    }
    SEGMENT_display_segment(&seg, &m_debugger->csys, COLOR_ask_closest_color_in_displayed_part(colour), 1, 1, 0);
    if (m_debugger->call_after_draw && m_debugger->callback) m_debugger->callback();
}

}  // namespace Cam
}  // namespace Korvo
