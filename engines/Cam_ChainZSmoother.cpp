// One smoothing pass of a Z profile:
//   1. the pass pool and the height map of the stretch (tolerance t, the
//      fillet radius as expansion, marking as set);
//   2. concave-corner merges of small Z steps at sharp XY corners;
//   3. line fits: runs of profile vertices within t of one line become it;
//   4. ramps (when on): climbs steeper than the ramp angle, walked outward
//      from the lowest vertex of each range, become a line at the ramp angle
//      up to the top of the climb, from where that line meets the profile on
//      the low side (so the ramp lies on or above the profile: it never
//      gouges); with fillets on, the ramp's foot is rounded by an arc;
//   5. region fillets of the profile (when on);
//   6. the wrap-back onto the chain.
#include <merrow1/Cam_ChainZSmoother.h>

#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_fillet.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_set.h>
#include <pellam/mchn_part.h>
#include <stend/error.h>

#include <algorithm>
#include <cmath>

#include "chain/chain_record.h"
#include "engines/chain_walk.h"
#include "engines/engine_memory.h"
#include "internal/check.h"
#include "internal/scratch_pool.h"
#include "internal/vec2.h"

namespace Korvo {
namespace Cam {

using Korvo::Math::Point2;
using Korvo::Math::Vector2;

namespace {

using merrow1::kPi;
const double kMaxRampAngle = 89.99;  // degrees; above it there is no ramp
// Radii, heights and lengths below this (or not above it) count as zero.
const double kTiny = 1e-10;
// Two smoothers' settings closer than this are the same.
constexpr double kSameValue = 1e-10;
// A segment is steep only above the ramp's own slope plus this, so the
// rounding of a ramp never asks for another.
constexpr double kSteepSlack = 1e-9;
// A turn of this many radians or less is straight and takes no fillet.
constexpr double kStraightTurn = 1e-9;

using merrow1::vertex_point;
double H(const RING_node_s* node) { return vertex_point(node).x; }
double Z(const RING_node_s* node) { return vertex_point(node).y; }

void set_z(RING_header_s* hz, RING_node_s* node, double z) {
    const Point2 p = {vertex_point(node).x, z};
    CHAIN_modify_vertex_point(hz, node, &p);
}

bool is_arc(const RING_node_s* node) { return CHAIN_seg_ask_type(node) == SEG_ARC; }

using merrow1::walk_bound;

// The pass pool of a smoother for the length of one pass.
class PassPool {
public:
    explicit PassPool(CMEM_pool_s*& slot) : m_slot(slot) {
        m_slot = CMEM_private_create_pool(256, "Pool for ChainZSMoother", __LINE__, __FILE__);
    }
    ~PassPool() {
        if (m_slot) CMEM_private_delete_pool(m_slot);
        m_slot = nullptr;
    }
    PassPool(const PassPool&) = delete;
    PassPool& operator=(const PassPool&) = delete;

private:
    CMEM_pool_s*& m_slot;
};

bool same(double a, double b) { return std::fabs(a - b) <= kSameValue; }

}  // namespace

// ---------------------------------------------------------------------------
// The interface and its factories

IChainZSmoother::~IChainZSmoother() = default;

void* IChainZSmoother::operator new(std::size_t size) { return merrow1::engine_allocate(size); }

void IChainZSmoother::operator delete(void* p) { Korvo::Memory::CppMemory::free(p); }

IChainZSmoother* IChainZSmoother::ChainZSmootherFactory(double angle, double rampRadius, double filletRadius,
                                                        double tolerance) {
    try {
        return new ChainZSmoother(angle, rampRadius, filletRadius, tolerance, true);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

IChainZSmoother* IChainZSmoother::ChainZSmootherFactory(double tolerance) {
    try {
        return new ChainZSmoother(tolerance, true);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// ---------------------------------------------------------------------------
// Settings

ChainZSmoother::ChainZSmoother(double angle, double rampRadius, double filletRadius, double tolerance, bool mark)
    : m_pool(nullptr), m_angle(angle), m_rampRadius(rampRadius), m_filletRadius(filletRadius), m_tol(tolerance),
      m_rampOn(!(angle > kMaxRampAngle)), m_filletOn(filletRadius > tolerance), m_envelope(), m_directions(),
      m_tanA(0), m_tanHalfA(0), m_mark(mark) {
    const double degrees = std::min(kMaxRampAngle, std::max(0.0, std::isnan(angle) ? 0.0 : angle));
    const double a = degrees * kPi / 180.0;
    const double rr = rampRadius;
    m_envelope[0] = {-(1 + std::cos(a)) * rr, std::sin(a) * rr};
    m_envelope[1] = {(1 + std::cos(a)) * rr, std::sin(a) * rr};
    m_directions[0] = {std::cos(a / 2), -std::sin(a / 2)};
    m_directions[1] = {-std::cos(a), std::sin(a)};
    m_directions[2] = {-std::cos(a / 2), -std::sin(a / 2)};
    m_directions[3] = {std::cos(a), std::sin(a)};
    m_tanA = std::tan(a);
    m_tanHalfA = std::tan(a / 2);
}

ChainZSmoother::ChainZSmoother(double tolerance, bool mark)
    : m_pool(nullptr), m_angle(90.0), m_rampRadius(0), m_filletRadius(0), m_tol(tolerance), m_rampOn(false),
      m_filletOn(false), m_envelope(), m_directions(), m_tanA(0), m_tanHalfA(0), m_mark(mark) {}

ChainZSmoother::ChainZSmoother(const ChainZSmoother& other) : IChainZSmoother(other), m_pool(nullptr) {
    *this = other;
}

ChainZSmoother& ChainZSmoother::operator=(const ChainZSmoother& other) {
    if (this == &other) return *this;
    // Settings only: a pass pool belongs to the pass that made it.
    m_angle = other.m_angle;
    m_rampRadius = other.m_rampRadius;
    m_filletRadius = other.m_filletRadius;
    m_tol = other.m_tol;
    m_rampOn = other.m_rampOn;
    m_filletOn = other.m_filletOn;
    for (int i = 0; i < 2; ++i) m_envelope[i] = other.m_envelope[i];
    for (int i = 0; i < 4; ++i) m_directions[i] = other.m_directions[i];
    m_tanA = other.m_tanA;
    m_tanHalfA = other.m_tanHalfA;
    m_mark = other.m_mark;
    return *this;
}

ChainZSmoother::~ChainZSmoother() {
    if (m_pool) CMEM_private_delete_pool(m_pool);
}

bool ChainZSmoother::IdenticalSpec(const IChainZSmoother* other) const {
    const auto* o = dynamic_cast<const ChainZSmoother*>(other);
    if (!o) return false;
    if (m_rampOn != o->m_rampOn) return false;
    if (m_rampOn && (!same(m_angle, o->m_angle) || !same(m_rampRadius, o->m_rampRadius))) return false;
    if (m_filletOn != o->m_filletOn) return false;
    if (m_filletOn && !same(m_filletRadius, o->m_filletRadius)) return false;
    return same(m_tol, o->m_tol) && m_mark == o->m_mark;
}

// ---------------------------------------------------------------------------
// Passes

void ChainZSmoother::DoSmooth(RING_header_s* chain, double distance, RING_node_s* from, RING_node_s* to) {
    if (!chain || !chain->first) return;
    const bool closed = merrow1::is_closed(chain);
    if (chain->count - (closed ? 0 : 1) < 2) return;
    // The pool and the map go on every exit; a standard exception leaves as
    // the host's Korvo::Error::Severe.
    merrow1::run_converting([&]() {
        PassPool pool(m_pool);
        ChainHZMap map(chain, m_tol, m_filletRadius, from, to, m_mark);
        if (!map.GetHZChain()) return;
        ConcaveCornerSmooth(map, chain, distance);
        LineFitSmooth(map);
        if (m_rampOn) RampSmooth(map);
        if (m_filletOn) FilletSmooth(map);
        map.WrapBackToXYChain();
    });
}

namespace {

// Calls DoSmooth on each part of a chain, from the vertex at the part's start
// (the vertex before it when the start lies inside a segment) to the vertex
// at its end.
class SmoothPOC : public IPartOfChainFunctor {
public:
    SmoothPOC(IChainZSmoother* smoother, double distance) : m_smoother(smoother), m_distance(distance) {}
    void operator()(const PART_OF_CHAIN_s& part) override {
        if (!part.start || !part.end) return;
        RING_header_s* chain = part.start->chain;
        RING_node_s* from = part.start->node;
        RING_node_s* to = part.end->node;
        if (!chain || !from || !to) return;
        const Point2 at = vertex_point(from);
        if (std::hypot(at.x - part.start->point[0], at.y - part.start->point[1]) > CHAIN_COINCIDENT_DISTANCE &&
            from->previous)
            from = from->previous;
        m_smoother->DoSmooth(chain, m_distance, from, to);
    }

private:
    IChainZSmoother* m_smoother;
    double m_distance;
};

}  // namespace

void ChainZSmoother::DoSmoothPartOnly(RING_header_s* chainOrList, double distance) {
    if (!chainOrList) return;
    if (chainOrList->type == RING_TYPE_LIST) {
        RING_node_s* node = chainOrList->first;
        for (int i = 0; i < chainOrList->count && node; ++i, node = node->next)
            DoSmoothPartOnly(RING_ask_node_subring(node), distance);
        return;
    }
    if (MCHN_shape_is_strictly_part(chainOrList)) {
        DoSmooth(chainOrList, distance);
        return;
    }
    SmoothPOC functor(this, distance);
    CHAIN_split_at_junction_apply_ftor(chainOrList, MCHN_SplitStrictlyPartJunc, &functor);
}

// Concave-corner merges.  A pending merge sets the Z before the step to the
// merged value and deletes the step's second point; the first merge of the
// pass waits to the end, each later one is carried out when the next comes.
void ChainZSmoother::ConcaveCornerSmooth(ChainHZMap& map, RING_header_s* xy, double r) {
    RING_header_s* hz = map.GetHZChain();
    if (!(r >= kTiny) || hz->count < 3) return;
    struct Merge {
        RING_node_s* u = nullptr;
        RING_node_s* v = nullptr;
        double z = 0;
    } first, later;
    bool firstTaken = false;
    auto carry = [&](Merge& m) {
        if (!m.v) return;
        set_z(hz, m.u, m.z);
        // A closed profile's ends lie at one XY vertex: they keep one Z.
        if (map.IsClosed()) {
            if (m.u == hz->first) set_z(hz, hz->last, m.z);
            if (m.v == hz->last) set_z(hz, hz->first, m.z);
        }
        RING_delete_node(hz, m.v);
        m.u = m.v = nullptr;
    };
    const double T = 10 * m_tol;
    const long bound = walk_bound(hz);
    long steps = 0;
    for (RING_node_s* v = hz->first->next; v; v = v->next) {
        if (++steps > bound) MERROW1_INFINITE_LOOP();
        RING_node_s *x = nullptr, *xn = nullptr;
        if (ChainHZMap::IsVertexSeg(v, x, xn) && xn && x->previous) {
            RING_node_s* u = v->previous;
            // A step right after a pending one waits for it to be carried out.
            if (u != first.v && u != later.v) {
                RING_node_s* p = u->previous ? u->previous : hz->last;
                RING_node_s* n = v->next ? v->next : hz->first;
                double zb = Z(u), za = Z(v);
                if (std::fabs(zb - za) > 9.999 * m_tol) {
                    double in[2], out[2];
                    if (ChainVertexTangent(xy, x, in, out, nullptr, nullptr) == CHAIN_TANGENT_BOTH) {
                        const double c = in[0] * out[0] + in[1] * out[1];
                        if (c > 0 && r / std::sqrt((c + 1) / 2) <= T + r) {
                            const double k = r * std::sqrt(std::max(0.0, 1 - c) / (1 + c));
                            const double dhp = H(u) - H(p), dhn = H(n) - H(v);
                            if (dhp >= kTiny && dhn >= kTiny) {
                                zb += (Z(u) - Z(p)) / dhp * k;
                                za -= (Z(n) - Z(v)) / dhn * k;
                            }
                        }
                    }
                }
                const double m = (zb + za) / 2;
                bool merge;
                double merged;
                if (Z(v) > Z(u)) {
                    merge = !(za > zb + T);
                    merged = std::min(Z(v), std::max(Z(u), m));
                } else {
                    merge = !(zb > za + T);
                    merged = std::min(Z(u), std::max(Z(v), m));
                }
                if (merge) {
                    Merge now;
                    now.u = u;
                    now.v = v;
                    now.z = merged;
                    if (!firstTaken) {
                        first = now;
                        firstTaken = true;
                    } else {
                        carry(later);
                        later = now;
                    }
                }
            }
        }
        if (v == hz->last) break;
    }
    carry(later);
    carry(first);
}

// Line fits: from each vertex, the longest run of following vertices within
// the tolerance of one line from it becomes that line.
void ChainZSmoother::LineFitSmooth(ChainHZMap& map) {
    RING_header_s* hz = map.GetHZChain();
    const long bound = walk_bound(hz);
    long steps = 0;
    RING_node_s* cur = hz->first;
    while (cur && cur != hz->last) {
        if (++steps > bound) MERROW1_INFINITE_LOOP();
        StringLinearApproximator approx(m_tol, m_tol, vertex_point(cur));
        RING_node_s* last = nullptr;
        for (RING_node_s* n = cur->next; n; n = n->next) {
            if (!approx.AddLine(vertex_point(n)) || !WithinInZ(cur, n)) break;
            last = n;
            if (n == hz->last) break;
        }
        RING_node_s* next = last ? map.InsertSegmentBetween(cur, last, true) : nullptr;
        cur = next ? next : cur->next;
    }
}

// Whether the line from `from` to `to` keeps the Z of every profile vertex
// between within the tolerance.  The approximator bounds the distance across
// the line; on a steep line the change in Z is larger than that.
bool ChainZSmoother::WithinInZ(const RING_node_s* from, const RING_node_s* to) const {
    const Point2 a = vertex_point(from), b = vertex_point(to);
    const double dh = b.x - a.x;
    if (!(dh > 0)) return true;  // a vertical line: H, not Z, is kept
    for (const RING_node_s* n = from->next; n && n != to; n = n->next) {
        const Point2 p = vertex_point(n);
        const double f = std::min(1.0, std::max(0.0, (p.x - a.x) / dh));
        if (std::fabs(p.y - (a.y + (b.y - a.y) * f)) > m_tol) return false;
    }
    return true;
}

// Ramps.  Every segment that climbs (in either direction) more steeply than
// the ramp angle gets a ramp: the line at the ramp angle down from the
// segment's high end toward its low end, up to where it first meets the
// profile (or, on an open profile, its end vertex lifted onto it).  The line
// lies above the profile between, so the vertices there go and the profile
// only rises.  A ramp's own slope is the ramp angle, so a segment counts as
// steep only above tan a + 1e-9: the rounding of a ramp never asks for
// another.  A steep arc, and a climb that meets neither the profile nor an
// open end (at a closed profile's ends, or behind an arc), stay.
void ChainZSmoother::RampSmooth(ChainHZMap& map) {
    RING_header_s* hz = map.GetHZChain();
    // Each ramp removes a steep segment for good and adds at most three
    // vertices; each is followed by one scan of the profile.
    const long n = hz->count + 16;
    RampPass pass = {16L * n * n, 0};
    RampSmoothBetween(map, hz->first, hz->last, pass);
}

void ChainZSmoother::RampSmoothBetween(ChainHZMap& map, RING_node_s* s, RING_node_s* e, RampPass& pass) {
    RING_header_s* hz = map.GetHZChain();
    const double steep = m_tanA + kSteepSlack;
    RING_node_s* c = s;
    while (c && c != e) {
        if (--pass.budget < 0) MERROW1_INFINITE_LOOP();
        RING_node_s* nb = c->next;
        if (!nb) break;
        const double dz = Z(nb) - Z(c), dh = H(nb) - H(c);
        if (is_arc(nb) || std::fabs(dz) <= steep * dh) {
            c = nb;
            continue;
        }
        // Climbing forward: the top is nb and the foot lies behind it;
        // climbing backward: the top is c and the foot lies ahead.
        const int dir = dz > 0 ? +1 : -1;
        RING_node_s* top = InsertRamp(map, dir > 0 ? nb : c, dir, dir > 0 ? hz->first : hz->last);
        if (!top) {
            c = nb;
            continue;
        }
        ++pass.ramps;
        // The ramp may have shortened a steep segment on its far side that
        // could not be ramped before: scan again from the start.
        c = s;
    }
}

// The foot of the ramp that ends at `top`: where the line down from top at
// the ramp angle, going against the walk, first meets the profile.
bool ChainZSmoother::FindRampIntersect(RING_node_s* top, int dir, RING_node_s* footBound, long bound, Point2& foot,
                                       RING_node_s*& footSegment, double& fraction) const {
    const Point2 t = vertex_point(top);
    auto below = [&](const RING_node_s* n) {
        const Point2 q = vertex_point(n);
        return q.y - (t.y - std::fabs(q.x - t.x) * m_tanA);
    };
    RING_node_s* qa = top;
    double fa = 0.0;
    fraction = -1.0;
    for (long steps = 0;; ++steps) {
        if (qa == footBound) {
            // The line passes over the whole range: it meets the profile only
            // beyond the bound vertex, which lies below it.
            footSegment = nullptr;
            fraction = -2.0;
            return false;
        }
        RING_node_s* qb = dir > 0 ? qa->previous : qa->next;
        if (!qb) return false;
        RING_node_s* segment = dir > 0 ? qa : qb;
        if (is_arc(segment)) return false;
        const double fb = below(qb);
        if (fb >= 0) {
            fraction = fa < 0 ? fa / (fa - fb) : 0.0;
            const Point2 a = vertex_point(qa), b = vertex_point(qb);
            foot = {a.x + (b.x - a.x) * fraction, a.y + (b.y - a.y) * fraction};
            foot.y = t.y - std::fabs(foot.x - t.x) * m_tanA;
            footSegment = segment;
            return true;
        }
        fa = fb;
        qa = qb;
        if (steps > bound) MERROW1_INFINITE_LOOP();
    }
}

RING_node_s* ChainZSmoother::InsertRamp(ChainHZMap& map, RING_node_s* top, int dir, RING_node_s* footBound) {
    RING_header_s* hz = map.GetHZChain();
    Point2 footPoint = {0, 0};
    RING_node_s* segment = nullptr;
    double fraction = 0;
    RING_node_s* foot = nullptr;
    if (!FindRampIntersect(top, dir, footBound, walk_bound(hz), footPoint, segment, fraction)) {
        // Past the end of an open profile the ramp starts at that end, lifted
        // onto the ramp line; any other climb that cannot be ramped inside
        // its range stays as it is.
        const bool profileEnd = footBound == hz->first || footBound == hz->last;
        if (fraction != -2.0 || !profileEnd || map.IsClosed() || footBound == top) return nullptr;
        foot = footBound;
    }
    if (!foot) {
        // The segment's ends in walk order: `near` on top's side, `far` beyond.
        RING_node_s* segStart = segment->previous;
        RING_node_s* near = dir > 0 ? segment : segStart;
        RING_node_s* far = dir > 0 ? segStart : segment;
        if (fraction >= 1.0)
            foot = far;
        else if (fraction <= 0.0)
            foot = near;
        else
            foot = map.InsertVtxBefore(segment, footPoint);
    }
    if (!foot || foot == top) return nullptr;
    // The foot lies on the ramp line exactly (a snap moves it by at most the
    // XY coincidence distance).
    const Point2 t = vertex_point(top);
    set_z(hz, foot, t.y - std::fabs(H(foot) - t.x) * m_tanA);
    RING_node_s* result;
    if (dir > 0) {
        result = map.InsertSegmentBetween(foot, top, false);
    } else {
        RING_node_s* before = nullptr;
        map.InsertSegmentBetween(top, foot, false, nullptr, true, &before);
        result = before && before->next == foot ? before : top;
    }
    if (!result) return nullptr;
    if (m_filletOn && m_filletRadius > 0) {
        RING_node_s* f = dir > 0 ? result->previous : result->next;
        if (f) RoundRampFoot(map, f, result, dir);
    }
    return result;
}

// Rounds the corner at the ramp's foot by an arc tangent to both legs: the
// profile leg beyond the foot and the ramp.  The tangent length is the
// fillet radius times tan(half the turn), cut to the shorter leg when a leg
// is shorter than it plus the tolerance.
void ChainZSmoother::RoundRampFoot(ChainHZMap& map, RING_node_s* foot, RING_node_s* top, int dir) {
    RING_node_s* other = dir > 0 ? foot->previous : foot->next;
    if (!other) return;
    if (is_arc(dir > 0 ? foot : other) || is_arc(dir > 0 ? top : foot)) return;
    const Point2 o = vertex_point(other), f = vertex_point(foot), t = vertex_point(top);
    Vector2 d1 = {f.x - o.x, f.y - o.y}, d2 = {t.x - f.x, t.y - f.y};
    const double len1 = std::hypot(d1.x, d1.y), len2 = std::hypot(d2.x, d2.y);
    if (!(len1 > kTiny) || !(len2 > kTiny)) return;
    d1 = {d1.x / len1, d1.y / len1};
    d2 = {d2.x / len2, d2.y / len2};
    const double cross = d1.x * d2.y - d1.y * d2.x, dot = d1.x * d2.x + d1.y * d2.y;
    const double turn = std::atan2(std::fabs(cross), dot);
    if (!(turn > kStraightTurn)) return;
    double T = m_filletRadius * std::tan(turn / 2);
    if (len1 < T + m_tol || len2 < T + m_tol) T = std::min(T, std::min(len1, len2));
    const double radius = T / std::tan(turn / 2);
    const Point2 a = {f.x - d1.x * T, f.y - d1.y * T};
    const Point2 b = {f.x + d2.x * T, f.y + d2.y * T};
    const double side = cross > 0 ? 1.0 : -1.0;  // the centre lies on the turn's side
    const Point2 centre = {a.x - side * d1.y * radius, a.y + side * d1.x * radius};
    // Points in chain order: first on the segment before the foot, second on
    // the segment after it.
    Point2 first = dir > 0 ? a : b, second = dir > 0 ? b : a;
    RING_node_s* after = foot->next;
    RING_node_s* p = map.InsertVtxBefore(foot, first);
    RING_node_s* q = after ? map.InsertVtxBefore(after, second) : nullptr;
    if (!p || !q || p == q) return;
    const Point2 pp = vertex_point(p), qq = vertex_point(q);
    const bool ccw = (pp.x - centre.x) * (qq.y - centre.y) - (pp.y - centre.y) * (qq.x - centre.x) > 0;
    map.InsertSegmentBetween(p, q, false, &centre, ccw);
}

// Region fillets of the profile: the result is taken only when it is one
// open chain other than the profile.  The region fillet rounds the corners
// that turn towards the air; with the profile's own side (material above it)
// those are its crests, which the rounding would cut under.  The fillet runs
// with the part below the profile instead, so it rounds the valleys and only
// ever lifts the profile, as the ramps do.
void ChainZSmoother::FilletSmooth(ChainHZMap& map) {
    RING_header_s* hz = map.GetHZChain();
    map.SetAsPart();
    RING_header_s* set = CHAIN_create_boolean_set(m_pool, nullptr);
    RING_header_s* out = CHAIN_create_boolean_set(m_pool, nullptr);
    if (!set || !out) return;
    CHAIN_add_chain_to_list(set, hz);
    struct SideBelow {
        CHAIN_main_data_s* md;
        SIDE side;
        explicit SideBelow(RING_header_s* chain)
            : md(merrow1::main_of(chain)), side(md->material_side) {
            md->material_side = RIGHT;
        }
        ~SideBelow() { md->material_side = side; }
        SideBelow(const SideBelow&) = delete;
        SideBelow& operator=(const SideBelow&) = delete;
    } below(hz);
    if (!CHAIN_fillet_region(set, m_filletRadius, true, true, out)) return;
    if (out->count != 1 || !out->first) return;
    RING_header_s* fillet = RING_ask_node_subring(out->first);
    if (!fillet || fillet == hz || !fillet->first || merrow1::is_closed(fillet)) return;
    RING_node_s* cur = hz->first;
    RING_node_s* v = fillet->first->next;
    const long bound = walk_bound(fillet);
    for (long steps = 0; v && cur; ++steps, v = v->next) {
        if (steps > bound) MERROW1_INFINITE_LOOP();
        Point2 p = vertex_point(v);
        const end_segment* end = merrow1::arc_of(v);
        if (CHAIN_seg_ask_type(v) == SEG_ARC) {
            const Point2 centre = {end->cx, end->cy};
            cur = map.InsertSegmentAfter(cur, nullptr, p, &centre, end->direction == CCW);
        } else {
            cur = map.InsertSegmentAfter(cur, nullptr, p);
        }
        if (v == fillet->last) break;
    }
    if (cur && cur != hz->last) map.InsertSegmentBetween(cur, hz->last, false);
}

}  // namespace Cam
}  // namespace Korvo
