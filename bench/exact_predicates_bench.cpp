// Cost of one exact predicate call and the hit rate of its double filter.
//
// Every benchmark is named predicate/family/size.  The family is the kind of
// input, the size the number of distinct inputs in its pool; the timed loop
// walks the pool over and over, one predicate call per iteration, so the
// reported time is the time of one call.  Pieces lie on the 31-bit grid
// (coordinates 0 .. 2^31 - 1) with arc parameters h that are multiples of
// 2^-20, as grid rounding leaves them.
//
// Families:
//   generic_random   end points uniform over the whole grid, |h| <= 2;
//                    for the comparators, pieces crossing a base piece near
//                    random points of it (perturbed off the lattice);
//   generic_crossing the pairs of generic_random that meet (the full path:
//                    the meeting points are computed and rounded);
//   lattice_tie      two lines crossing exactly half-way between grid points
//                    in both coordinates (the rounding tie); for the
//                    comparators, named points that coincide exactly;
//   end_on_line      a line ending exactly on the interior of another;
//   tangent          a line tangent to a circle / two circles touching, with
//                    radii and tangent directions from Pythagorean triples so
//                    that the tangency is exact on the grid;
//   near_tangent     the same with one piece moved by one grid unit;
//   two_lines, with_arc, common_tangent   pieces leaving a common point.
//
// Counters (from an untimed pass over the pool, then the timed loop):
//   hit_rate        share of calls decided without any multi-digit evaluation
//                   (no count of LINE_ARC_SEG_exact_fallback_counts moved);
//   exact_per_call  multi-digit evaluations per call in the timed loop;
//   meet_rate       (intersections) share of calls that returned a point;
//   x_<kind>        multi-digit evaluations of that kind per call.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <numeric>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "exact/line_arc_seg.h"
#include "exact/line_arc_seg_prd.h"

namespace {

const double GRID_MAX = 2147483647.0;  // 2^31 - 1
const double H_UNIT = 1.0 / 1048576.0;  // 2^-20

// Short names of the counted kinds, in the order of LINE_ARC_SEG_exact_fallback_e.
const char* const KIND_NAMES[] = {"cross",      "cross_diff",   "power",    "projection", "centre_side",
                                  "la_disc",    "aa_disc",      "ll_point", "la_point",   "aa_point",
                                  "ll_round",   "la_round",     "aa_round", "centre_round", "vertical",
                                  "centre_dot", "along",        "around",   "forms"};
static_assert(sizeof KIND_NAMES / sizeof KIND_NAMES[0] == LINE_ARC_SEG_FALLBACK_KINDS,
              "one name per counted kind");

struct Piece {
    PNT2_s s;
    LINE_ARC_SEG_s p;
};

LINE_ARC_SEG_s line_to(const PNT2_s& e) {
    LINE_ARC_SEG_s l{};
    l.x = e.x;
    l.y = e.y;
    l.h = LINE_ARC_SEG_LINE_H;
    return l;
}

// An arc from s to e with parameter h (h <= -1e100: the clockwise half circle).
LINE_ARC_SEG_s arc_to(const PNT2_s& s, const PNT2_s& e, double h) {
    LINE_ARC_SEG_s a{};
    a.x = e.x;
    a.y = e.y;
    a.h = h;
    const double g = h <= -1e100 ? 0.0 : h;
    a.cx = (e.x - s.x) / 2 - g * (e.y - s.y);
    a.cy = (e.y - s.y) / 2 + g * (e.x - s.x);
    return a;
}

Piece line_piece(const PNT2_s& s, const PNT2_s& e) { return Piece{s, line_to(e)}; }
Piece arc_piece(const PNT2_s& s, const PNT2_s& e, double h) { return Piece{s, arc_to(s, e, h)}; }
bool is_line(const Piece& p) { return LINE_ARC_SEG_is_line(&p.p); }

PNT2_s add(const PNT2_s& p, const PNT2_s& v, double k = 1) { return PNT2_s{p.x + k * v.x, p.y + k * v.y}; }
bool inside(const PNT2_s& p) { return p.x >= 0 && p.y >= 0 && p.x <= GRID_MAX && p.y <= GRID_MAX; }
bool inside(const Piece& p) { return inside(p.s) && inside(PNT2_s{p.p.x, p.p.y}); }

// The exact intersection with `first` given first (the line first for a
// line and an arc, with swap set when the arc was given first, so that bit 2
// stays relative to `first`).
int intersect(const Piece& first, const Piece& second, PNT2_s pts[2], int flags[2]) {
    flags[0] = flags[1] = 0;
    const bool l1 = is_line(first), l2 = is_line(second);
    if (l1 && l2) return LINE_ARC_SEG_ixn_ll_intersect(&first.p, &first.s, &second.p, &second.s, GRID_MAX, pts, flags);
    if (l1) return LINE_ARC_SEG_ixn_la_intersect(&first.p, &first.s, &second.p, &second.s, GRID_MAX, pts, flags, 0);
    if (l2) return LINE_ARC_SEG_ixn_la_intersect(&second.p, &second.s, &first.p, &first.s, GRID_MAX, pts, flags, 1);
    return LINE_ARC_SEG_ixn_aa_intersect(&first.p, &first.s, &second.p, &second.s, GRID_MAX, pts, flags);
}

class Gen {
public:
    explicit Gen(uint64_t seed) : rng_(seed) {}

    int64_t integer(int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(rng_); }
    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
    bool coin() { return integer(0, 1) == 1; }

    PNT2_s point() { return PNT2_s{double(integer(0, int64_t(GRID_MAX))), double(integer(0, int64_t(GRID_MAX)))}; }
    // A point in the middle half of the grid, so that offsets up to 2^29 stay on it.
    PNT2_s central() {
        const int64_t q = int64_t(1) << 29;
        return PNT2_s{double(integer(q, 3 * q)), double(integer(q, 3 * q))};
    }
    // A whole vector with components up to `scale`, never zero.
    PNT2_s vec(int64_t scale) {
        for (;;) {
            PNT2_s v{double(integer(-scale, scale)), double(integer(-scale, scale))};
            if (v.x != 0 || v.y != 0) return v;
        }
    }
    // A vector at a random scale 2^lo .. 2^hi.
    PNT2_s vec_scaled(int lo, int hi) { return vec(int64_t(1) << integer(lo, hi)); }
    // A generic arc parameter: |h| <= 2 (sweeps from 28 degrees to a half
    // circle), a multiple of 2^-20.
    double h() { return std::round(uniform(-2, 2) / H_UNIT) * H_UNIT; }

    // A primitive Pythagorean triple (a, b, c), a^2 + b^2 = c^2, turned by a
    // random multiple of 90 degrees and mirrored at random.
    void triple(int64_t* a, int64_t* b, int64_t* c) {
        for (;;) {
            const int64_t p = integer(2, 60), q = integer(1, p - 1);
            if ((p - q) % 2 == 0 || std::gcd(p, q) != 1) continue;
            int64_t x = p * p - q * q, y = 2 * p * q;
            if (coin()) std::swap(x, y);
            if (coin()) x = -x;
            if (coin()) y = -y;
            *a = x;
            *b = y;
            *c = p * p + q * q;
            return;
        }
    }

private:
    std::mt19937_64 rng_;
};

// ---------------------------------------------------------------------------
// Inputs of the intersections
// ---------------------------------------------------------------------------

struct PairInput {
    Piece a, b;  // a line comes first when there is one
};

// Random pieces over the whole grid.
Piece random_piece(Gen& g, bool line) {
    for (;;) {
        const PNT2_s s = g.point(), e = g.point();
        if (s.x == e.x && s.y == e.y) continue;
        return line ? line_piece(s, e) : arc_piece(s, e, g.h());
    }
}

// Two lines crossing at M = (mx + 1/2, my + 1/2): each runs from M - u to
// M + u with u = (ux + 1/2, uy + 1/2), so its ends are grid points.
bool lattice_tie_lines(Gen& g, PairInput* out) {
    const PNT2_s m = g.central();
    const int64_t s = int64_t(1) << 28;
    const PNT2_s u{double(g.integer(-s, s)), double(g.integer(-s, s))};
    const PNT2_s v{double(g.integer(-s, s)), double(g.integer(-s, s))};
    // Not parallel: cross(2u + 1, 2v + 1) != 0, exactly in 128 bits.
    const __int128 ux = 2 * int64_t(u.x) + 1, uy = 2 * int64_t(u.y) + 1;
    const __int128 vx = 2 * int64_t(v.x) + 1, vy = 2 * int64_t(v.y) + 1;
    if (ux * vy - uy * vx == 0) return false;
    out->a = line_piece(PNT2_s{m.x - u.x, m.y - u.y}, PNT2_s{m.x + u.x + 1, m.y + u.y + 1});
    out->b = line_piece(PNT2_s{m.x - v.x, m.y - v.y}, PNT2_s{m.x + v.x + 1, m.y + v.y + 1});
    if (g.coin()) std::swap(out->b.s.x, out->b.p.x), std::swap(out->b.s.y, out->b.p.y);
    return inside(out->a) && inside(out->b);
}

// A line S .. S + n w and the grid points S + j w on it.
struct LatticeLine {
    Piece piece;
    PNT2_s start, step;
    int64_t n;
    PNT2_s at(int64_t j) const { return add(start, step, double(j)); }
};
LatticeLine lattice_line(Gen& g) {
    for (;;) {
        LatticeLine l;
        l.step = g.vec(int64_t(1) << 14);
        l.n = g.integer(int64_t(1) << 10, int64_t(1) << 16);
        l.start = g.central();
        const PNT2_s e = l.at(l.n);
        if (!inside(e)) continue;
        l.piece = line_piece(l.start, e);
        return l;
    }
}

// A line ending (or starting) exactly at an interior grid point of another.
bool end_on_line(Gen& g, PairInput* out) {
    const LatticeLine l = lattice_line(g);
    const PNT2_s x = l.at(g.integer(1, l.n - 1));
    const PNT2_s far = add(x, g.vec_scaled(10, 28));
    if (!inside(far)) return false;
    out->a = l.piece;
    out->b = g.coin() ? line_piece(x, far) : line_piece(far, x);
    return true;
}

// The half circle of centre C through C +- m (a, b) that bulges towards
// C + m (b, -a) (the right of (a, b)), in either sense.
Piece half_circle(Gen& g, const PNT2_s& c, int64_t m, int64_t a, int64_t b) {
    const PNT2_s s{c.x - double(m * a), c.y - double(m * b)}, e{c.x + double(m * a), c.y + double(m * b)};
    // Counter-clockwise from s to e lies right of the chord s -> e; so does
    // the clockwise half circle from e to s.
    return g.coin() ? arc_piece(s, e, 0.0) : arc_piece(e, s, LINE_ARC_SEG_CW_HALF_CIRCLE_H);
}

// A line tangent to a half circle (shift 0), or moved off the tangent by one
// grid unit (shift 1).  With (a, b, c) a Pythagorean triple and radius m c,
// the tangent point C + m (b, -a) and the line along (a, b) are on the grid.
bool tangent_line_arc(Gen& g, int shift, PairInput* out) {
    int64_t a, b, c;
    g.triple(&a, &b, &c);
    const int64_t m = g.integer(1, (int64_t(1) << 27) / c);
    const PNT2_s centre = g.central();
    const Piece arc = half_circle(g, centre, m, a, b);
    PNT2_s t{centre.x + double(m * b), centre.y - double(m * a)};
    if (shift) {
        if (g.coin()) t.x += g.coin() ? 1 : -1;
        else t.y += g.coin() ? 1 : -1;
    }
    const PNT2_s dir{double(a), double(b)};
    const PNT2_s s = add(t, dir, -double(g.integer(1, 2 * m))), e = add(t, dir, double(g.integer(1, 2 * m)));
    out->a = g.coin() ? line_piece(s, e) : line_piece(e, s);
    out->b = arc;
    return inside(out->a) && inside(out->b);
}

// Two half circles touching from outside at C1 + m1 (a, b) (shift 0), or the
// second moved by one grid unit (shift 1).
bool tangent_arcs(Gen& g, int shift, PairInput* out) {
    int64_t a, b, c;
    g.triple(&a, &b, &c);
    const int64_t m1 = g.integer(1, (int64_t(1) << 26) / c), m2 = g.integer(1, (int64_t(1) << 26) / c);
    const PNT2_s c1 = g.central();
    PNT2_s c2{c1.x + double((m1 + m2) * a), c1.y + double((m1 + m2) * b)};
    if (shift) {
        if (g.coin()) c2.x += g.coin() ? 1 : -1;
        else c2.y += g.coin() ? 1 : -1;
    }
    // Chords along the normal (-b, a): the first bulges towards +(a, b), the
    // second towards -(a, b).
    out->a = half_circle(g, c1, m1, -b, a);
    out->b = half_circle(g, c2, m2, b, -a);
    if (g.coin()) std::swap(out->a, out->b);
    return inside(out->a) && inside(out->b);
}

enum class IxnFamily { generic_random, generic_crossing, lattice_tie, end_on_line, tangent, near_tangent };
enum class IxnKind { ll, la, aa };

std::vector<PairInput> make_pairs(IxnKind kind, IxnFamily family, size_t n, uint64_t seed) {
    Gen g(seed);
    std::vector<PairInput> pool;
    pool.reserve(n);
    while (pool.size() < n) {
        PairInput in;
        bool ok = true;
        switch (family) {
            case IxnFamily::generic_random:
            case IxnFamily::generic_crossing:
                in.a = random_piece(g, kind != IxnKind::aa);
                in.b = random_piece(g, kind == IxnKind::ll);
                if (family == IxnFamily::generic_crossing) {
                    PNT2_s pts[2];
                    int flags[2];
                    ok = intersect(in.a, in.b, pts, flags) > 0;
                }
                break;
            case IxnFamily::lattice_tie: ok = lattice_tie_lines(g, &in); break;
            case IxnFamily::end_on_line: ok = end_on_line(g, &in); break;
            case IxnFamily::tangent:
            case IxnFamily::near_tangent: {
                const int shift = family == IxnFamily::near_tangent ? 1 : 0;
                ok = kind == IxnKind::la ? tangent_line_arc(g, shift, &in) : tangent_arcs(g, shift, &in);
                break;
            }
        }
        if (ok) pool.push_back(in);
    }
    return pool;
}

// ---------------------------------------------------------------------------
// Inputs of the comparators
// ---------------------------------------------------------------------------

// A base piece with grid points on it: the lattice points of a line, or the
// ends of an arc; and a way to pick points on or near it.
struct Base {
    Piece piece;
    bool lattice = false;
    LatticeLine line;

    // A grid point of the base.
    PNT2_s point_on(Gen& g) const {
        if (lattice) return line.at(g.integer(0, line.n));
        return g.coin() ? piece.s : PNT2_s{piece.p.x, piece.p.y};
    }
    // A grid point near a random point of the base (off its lattice).
    PNT2_s point_near(Gen& g) const {
        PNT2_s x;
        if (lattice) {
            x = line.at(g.integer(1, line.n - 1));
        } else {
            PNT2_s centre;
            double radius, sweep;
            LINE_ARC_SEG_calc_arc_data(&piece.p, &piece.s, &centre, &radius, &sweep);
            const double a0 = std::atan2(piece.s.y - centre.y, piece.s.x - centre.x);
            const double a = a0 + (piece.p.h >= 0 ? 1 : -1) * g.uniform(0.05, 0.95) * sweep;
            x = PNT2_s{std::round(centre.x + radius * std::cos(a)), std::round(centre.y + radius * std::sin(a))};
        }
        return PNT2_s{x.x + double(g.integer(-1000, 1000)), x.y + double(g.integer(-1000, 1000))};
    }
};

Base make_base(Gen& g, bool line) {
    Base b;
    if (line) {
        b.lattice = true;
        b.line = lattice_line(g);
        b.piece = b.line.piece;
        return b;
    }
    for (;;) {
        const PNT2_s s = g.central(), e = add(s, g.vec_scaled(20, 28));
        if (!inside(e)) continue;
        b.piece = arc_piece(s, e, g.h());
        return b;
    }
}

// A piece through x (generic: across it; `from_x`: starting or ending at x).
bool piece_at(Gen& g, const PNT2_s& x, bool from_x, Piece* out) {
    const PNT2_s v = g.vec_scaled(18, 28);
    const bool line = g.coin();
    PNT2_s s, e;
    if (from_x) {
        s = x;
        e = add(x, v);
        if (g.coin()) std::swap(s, e);
    } else {
        s = add(x, v);
        e = add(x, v, -1);
    }
    *out = line ? line_piece(s, e) : arc_piece(s, e, g.h());
    return inside(*out);
}

// A piece meeting the base, with the flag of one of its points on the base
// as the exact intersection gives it with the base first; at x exactly when
// `exact_at` is set.
bool named_piece(Gen& g, const Base& base, const PNT2_s& x, bool exact_at, Piece* out, int* flag) {
    if (!piece_at(g, x, exact_at, out)) return false;
    PNT2_s pts[2];
    int flags[2];
    const int n = intersect(base.piece, *out, pts, flags);
    if (n == 0) return false;
    for (int i = 0; i < n; ++i) {
        if (flags[i] == LINE_ARC_SEG_INTXN_OVERLAP_SAME || flags[i] == LINE_ARC_SEG_INTXN_OVERLAP_OPPOSITE)
            return false;
        if (exact_at && pts[i].x == x.x && pts[i].y == x.y) {
            *flag = flags[i];
            return true;
        }
    }
    if (exact_at) return false;
    *flag = flags[g.integer(0, n - 1)];
    return true;
}

struct AlongInput {
    Piece base;
    PNT2_s q;
    Piece b, c;
    int flag_b, flag_c;
};

enum class AlongFamily { generic_random, lattice_tie };

// ps uses (base, q, b, flag_b); ss uses (base, b, flag_b, c, flag_c).
std::vector<AlongInput> make_along(bool line_base, AlongFamily family, size_t n, uint64_t seed) {
    Gen g(seed);
    std::vector<AlongInput> pool;
    pool.reserve(n);
    while (pool.size() < n) {
        const Base base = make_base(g, line_base);
        AlongInput in;
        in.base = base.piece;
        if (family == AlongFamily::generic_random) {
            in.q = base.point_on(g);
            if (!named_piece(g, base, base.point_near(g), false, &in.b, &in.flag_b)) continue;
            if (!named_piece(g, base, base.point_near(g), false, &in.c, &in.flag_c)) continue;
        } else {
            // b and c meet the base exactly at the same grid point q.
            in.q = base.point_on(g);
            if (!named_piece(g, base, in.q, true, &in.b, &in.flag_b)) continue;
            if (!named_piece(g, base, in.q, true, &in.c, &in.flag_c)) continue;
        }
        pool.push_back(in);
    }
    return pool;
}

struct AroundInput {
    Piece p0, p1;
    bool f0, f1;
    PNT2_s q;
};

enum class AroundFamily { two_lines, with_arc, common_tangent };

// A piece leaving q forward (starting at q) or backward (ending at q).
Piece leaving(const PNT2_s& q, const PNT2_s& other, bool forward, double h) {
    const PNT2_s& s = forward ? q : other;
    const PNT2_s& e = forward ? other : q;
    return h >= 1e100 ? line_piece(s, e) : arc_piece(s, e, h);
}

std::vector<AroundInput> make_around(AroundFamily family, size_t n, uint64_t seed) {
    Gen g(seed);
    std::vector<AroundInput> pool;
    pool.reserve(n);
    while (pool.size() < n) {
        AroundInput in;
        in.q = g.central();
        in.f0 = g.coin();
        in.f1 = g.coin();
        if (family == AroundFamily::common_tangent) {
            // A line along d and a half circle whose chord lies along the
            // normal of d: both leave q along the line of d.
            const PNT2_s d = g.vec_scaled(10, 27);
            const double k = g.coin() ? 1 : -1;
            const PNT2_s normal{-d.y * k, d.x * k};
            in.p0 = leaving(in.q, add(in.q, d, g.coin() ? 1 : -1), in.f0, LINE_ARC_SEG_LINE_H);
            in.p1 = leaving(in.q, add(in.q, normal), in.f1, g.coin() ? 0.0 : LINE_ARC_SEG_CW_HALF_CIRCLE_H);
            if (g.coin()) std::swap(in.p0, in.p1), std::swap(in.f0, in.f1);
        } else {
            const bool arc0 = family == AroundFamily::with_arc, arc1 = arc0 && g.coin();
            in.p0 = leaving(in.q, add(in.q, g.vec_scaled(10, 28)), in.f0, arc0 ? g.h() : LINE_ARC_SEG_LINE_H);
            in.p1 = leaving(in.q, add(in.q, g.vec_scaled(10, 28)), in.f1, arc1 ? g.h() : LINE_ARC_SEG_LINE_H);
        }
        if (inside(in.p0) && inside(in.p1)) pool.push_back(in);
    }
    return pool;
}

// ---------------------------------------------------------------------------
// The measuring loop
// ---------------------------------------------------------------------------

// Pools are made once per family and size and kept for the repetitions.
template <class Input, class Make>
const std::vector<Input>& cached(const std::string& key, Make make) {
    static std::map<std::string, std::unique_ptr<std::vector<Input>>> pools;
    auto& slot = pools[key];
    if (!slot) slot.reset(new std::vector<Input>(make()));
    return *slot;
}

// One call per iteration over the pool (its size a power of two).  Before
// the timed loop, one untimed pass counts the calls that ran no multi-digit
// evaluation and the evaluations of each kind.
template <class Input, class Call>
void measure(benchmark::State& state, const std::vector<Input>& pool, Call call, bool meets) {
    unsigned long long before[LINE_ARC_SEG_FALLBACK_KINDS], after[LINE_ARC_SEG_FALLBACK_KINDS];
    LINE_ARC_SEG_exact_fallback_counts(before);
    size_t hits = 0, met = 0;
    for (const Input& in : pool) {
        const unsigned long long t0 = LINE_ARC_SEG_exact_fallback_counts(nullptr);
        const int r = call(in);
        if (LINE_ARC_SEG_exact_fallback_counts(nullptr) == t0) ++hits;
        if (r > 0) ++met;
    }
    LINE_ARC_SEG_exact_fallback_counts(after);

    const size_t mask = pool.size() - 1;
    size_t i = 0;
    const unsigned long long timed0 = LINE_ARC_SEG_exact_fallback_counts(nullptr);
    for (auto _ : state) {
        benchmark::DoNotOptimize(call(pool[i]));
        i = (i + 1) & mask;
    }
    const unsigned long long timed1 = LINE_ARC_SEG_exact_fallback_counts(nullptr);

    const double size = double(pool.size());
    state.counters["hit_rate"] = double(hits) / size;
    state.counters["exact_per_call"] = double(timed1 - timed0) / double(state.iterations());
    if (meets) state.counters["meet_rate"] = double(met) / size;
    for (int k = 0; k < LINE_ARC_SEG_FALLBACK_KINDS; ++k)
        if (after[k] != before[k])
            state.counters[std::string("x_") + KIND_NAMES[k]] = double(after[k] - before[k]) / size;
    state.SetItemsProcessed(state.iterations());
}

const char* name_of(IxnFamily f) {
    switch (f) {
        case IxnFamily::generic_random: return "generic_random";
        case IxnFamily::generic_crossing: return "generic_crossing";
        case IxnFamily::lattice_tie: return "lattice_tie";
        case IxnFamily::end_on_line: return "end_on_line";
        case IxnFamily::tangent: return "tangent";
        case IxnFamily::near_tangent: return "near_tangent";
    }
    return "";
}

void BM_intersect(benchmark::State& state, IxnKind kind, IxnFamily family) {
    const size_t n = size_t(state.range(0));
    const std::string key = std::to_string(int(kind)) + name_of(family) + std::to_string(n);
    const auto& pool = cached<PairInput>(key, [&] { return make_pairs(kind, family, n, 7 + n); });
    auto call = [kind](const PairInput& in) {
        PNT2_s pts[2];
        int flags[2] = {0, 0};
        int r;
        if (kind == IxnKind::ll)
            r = LINE_ARC_SEG_ixn_ll_intersect(&in.a.p, &in.a.s, &in.b.p, &in.b.s, GRID_MAX, pts, flags);
        else if (kind == IxnKind::la)
            r = LINE_ARC_SEG_ixn_la_intersect(&in.a.p, &in.a.s, &in.b.p, &in.b.s, GRID_MAX, pts, flags, 0);
        else
            r = LINE_ARC_SEG_ixn_aa_intersect(&in.a.p, &in.a.s, &in.b.p, &in.b.s, GRID_MAX, pts, flags);
        benchmark::DoNotOptimize(pts);
        return r;
    };
    measure(state, pool, call, true);
}

void BM_compare_ps(benchmark::State& state, bool line_base, AlongFamily family) {
    const size_t n = size_t(state.range(0));
    const std::string key =
        std::string("ps") + (line_base ? "L" : "A") + std::to_string(int(family)) + std::to_string(n);
    const auto& pool = cached<AlongInput>(key, [&] { return make_along(line_base, family, n, 11 + n); });
    auto call = [](const AlongInput& in) {
        return LINE_ARC_SEG_prd_compare_intxns_ps(&in.base.s, &in.base.p, &in.q, &in.b.s, &in.b.p, in.flag_b);
    };
    measure(state, pool, call, false);
}

void BM_compare_ss(benchmark::State& state, bool line_base, AlongFamily family) {
    const size_t n = size_t(state.range(0));
    const std::string key =
        std::string("ss") + (line_base ? "L" : "A") + std::to_string(int(family)) + std::to_string(n);
    const auto& pool = cached<AlongInput>(key, [&] { return make_along(line_base, family, n, 13 + n); });
    auto call = [](const AlongInput& in) {
        return LINE_ARC_SEG_prd_compare_intxns_ss(&in.base.s, &in.base.p, &in.b.s, &in.b.p, in.flag_b, &in.c.s,
                                                  &in.c.p, in.flag_c);
    };
    measure(state, pool, call, false);
}

void BM_compare_around(benchmark::State& state, AroundFamily family) {
    const size_t n = size_t(state.range(0));
    const std::string key = std::string("around") + std::to_string(int(family)) + std::to_string(n);
    const auto& pool = cached<AroundInput>(key, [&] { return make_around(family, n, 17 + n); });
    auto call = [](const AroundInput& in) {
        return LINE_ARC_SEG_prd_compare_around(&in.p0.s, &in.p0.p, in.f0, &in.p1.s, &in.p1.p, in.f1, nullptr,
                                               nullptr, 0, 1, &in.q);
    };
    measure(state, pool, call, false);
}

// Pool sizes: one that stays in the first-level caches, one that does not.
void sizes(benchmark::internal::Benchmark* b) { b->Arg(1 << 12)->Arg(1 << 16); }

}  // namespace

BENCHMARK_CAPTURE(BM_intersect, ll/generic_random, IxnKind::ll, IxnFamily::generic_random)->Apply(sizes);
BENCHMARK_CAPTURE(BM_intersect, ll/generic_crossing, IxnKind::ll, IxnFamily::generic_crossing)->Apply(sizes);
BENCHMARK_CAPTURE(BM_intersect, ll/lattice_tie, IxnKind::ll, IxnFamily::lattice_tie)->Apply(sizes);
BENCHMARK_CAPTURE(BM_intersect, ll/end_on_line, IxnKind::ll, IxnFamily::end_on_line)->Apply(sizes);
BENCHMARK_CAPTURE(BM_intersect, la/generic_random, IxnKind::la, IxnFamily::generic_random)->Apply(sizes);
BENCHMARK_CAPTURE(BM_intersect, la/generic_crossing, IxnKind::la, IxnFamily::generic_crossing)->Apply(sizes);
BENCHMARK_CAPTURE(BM_intersect, la/tangent, IxnKind::la, IxnFamily::tangent)->Apply(sizes);
BENCHMARK_CAPTURE(BM_intersect, la/near_tangent, IxnKind::la, IxnFamily::near_tangent)->Apply(sizes);
BENCHMARK_CAPTURE(BM_intersect, aa/generic_random, IxnKind::aa, IxnFamily::generic_random)->Apply(sizes);
BENCHMARK_CAPTURE(BM_intersect, aa/generic_crossing, IxnKind::aa, IxnFamily::generic_crossing)->Apply(sizes);
BENCHMARK_CAPTURE(BM_intersect, aa/tangent, IxnKind::aa, IxnFamily::tangent)->Apply(sizes);
BENCHMARK_CAPTURE(BM_intersect, aa/near_tangent, IxnKind::aa, IxnFamily::near_tangent)->Apply(sizes);
BENCHMARK_CAPTURE(BM_compare_ps, line_base/generic_random, true, AlongFamily::generic_random)->Apply(sizes);
BENCHMARK_CAPTURE(BM_compare_ps, arc_base/generic_random, false, AlongFamily::generic_random)->Apply(sizes);
BENCHMARK_CAPTURE(BM_compare_ps, line_base/lattice_tie, true, AlongFamily::lattice_tie)->Apply(sizes);
BENCHMARK_CAPTURE(BM_compare_ss, line_base/generic_random, true, AlongFamily::generic_random)->Apply(sizes);
BENCHMARK_CAPTURE(BM_compare_ss, arc_base/generic_random, false, AlongFamily::generic_random)->Apply(sizes);
BENCHMARK_CAPTURE(BM_compare_ss, line_base/lattice_tie, true, AlongFamily::lattice_tie)->Apply(sizes);
BENCHMARK_CAPTURE(BM_compare_around, two_lines, AroundFamily::two_lines)->Apply(sizes);
BENCHMARK_CAPTURE(BM_compare_around, with_arc, AroundFamily::with_arc)->Apply(sizes);
BENCHMARK_CAPTURE(BM_compare_around, common_tangent, AroundFamily::common_tangent)->Apply(sizes);
