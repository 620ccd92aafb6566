// Exact oracle for the order predicates: the meeting points of a piece's line
// or circle with another's, in GMP rationals with one square root, their
// positions along a piece, and the leaving directions and curvatures of pieces
// at a common point.  Everything is derived from the geometry directly, never
// from the library's formulas.
#pragma once

#include <vector>

#include "exact_oracle.h"

namespace order_oracle {

using oracle::Q;
using oracle::q;
using oracle::sgn;

// Sign of a + b sqrt(m) + c sqrt(n), m, n >= 0.
inline int sign3(const Q& a, const Q& b, const Q& m, const Q& c, const Q& n) {
    const int s1 = oracle::sign_with_root(a, b, m);
    const int s2 = sgn(c) * (sgn(n) > 0 ? 1 : 0);
    if (s2 == 0) return s1;
    if (s1 == 0 || s1 == s2) return s1 == 0 ? s2 : s1;
    // |a + b sqrt(m)| against |c sqrt(n)|.
    const int t = oracle::sign_with_root(a * a + b * b * m - c * c * n, 2 * a * b, m);
    return t > 0 ? s1 : (t < 0 ? s2 : 0);
}

// A point (xa + xb sqrt(D), ya + yb sqrt(D)).
struct RPoint {
    Q xa, xb, ya, yb, D;
};
// A number a + b sqrt(D).
struct RNum {
    Q a, b, D;
};
inline int sign(const RNum& v) { return oracle::sign_with_root(v.a, v.b, v.D); }

// The geometry of a piece.
struct Geo {
    bool line;
    bool ccw;  // h >= 0 (lines too)
    Q sx, sy, ex, ey;
    Q mx, my, r2;  // arcs
};
inline Geo geo(const PNT2_s& s, const LINE_ARC_SEG_s& p) {
    Geo g;
    g.line = p.h >= 1e100;
    g.ccw = p.h >= 0;
    g.sx = q(s.x);
    g.sy = q(s.y);
    g.ex = q(p.x);
    g.ey = q(p.y);
    if (!g.line) {
        oracle::centre(s, p, &g.mx, &g.my);
        g.r2 = oracle::radius2(s, p);
    }
    return g;
}

// The meeting points of the base's line or circle with the other's, each
// with bit 2 as the exact intersection sets it with the base given first.
struct Meet {
    int n = 0;
    RPoint pt[2];
    bool bit2[2] = {false, false};
    bool tangent = false;
};

// Points c + s e with s a root of A s^2 + B s + Z (first the smaller root).
inline void line_circle(const Q& cx, const Q& cy, const Q& ex, const Q& ey, const Geo& circle, Meet* m) {
    const Q A = ex * ex + ey * ey;
    const Q B = 2 * (ex * (cx - circle.mx) + ey * (cy - circle.my));
    const Q Z = (cx - circle.mx) * (cx - circle.mx) + (cy - circle.my) * (cy - circle.my) - circle.r2;
    const Q disc = B * B - 4 * A * Z;
    if (sgn(disc) < 0) {
        m->n = 0;
        return;
    }
    m->n = 2;
    m->tangent = sgn(disc) == 0;
    const Q mid = -B / (2 * A);
    for (int i = 0; i < 2; ++i) {
        const Q sb = (i == 0 ? Q(-1) : Q(1)) / (2 * A);
        m->pt[i] = RPoint{cx + mid * ex, sb * ex, cy + mid * ey, sb * ey, disc};
    }
}

inline Meet meet(const Geo& base, const Geo& other) {
    Meet m;
    if (base.line && other.line) {
        const Q dx = base.ex - base.sx, dy = base.ey - base.sy;
        const Q ux = other.ex - other.sx, uy = other.ey - other.sy;
        const Q den = dx * uy - dy * ux;
        if (sgn(den) == 0) return m;
        const Q t = ((other.sx - base.sx) * uy - (other.sy - base.sy) * ux) / den;
        m.n = 1;
        m.pt[0] = RPoint{base.sx + t * dx, 0, base.sy + t * dy, 0, 0};
        m.bit2[0] = sgn(den) > 0;
        return m;
    }
    if (base.line) {
        line_circle(base.sx, base.sy, base.ex - base.sx, base.ey - base.sy, other, &m);
        m.bit2[0] = !other.ccw;  // the first point along the line
        m.bit2[1] = other.ccw;
        return m;
    }
    if (other.line) {
        line_circle(other.sx, other.sy, other.ex - other.sx, other.ey - other.sy, base, &m);
        m.bit2[0] = base.ccw;  // the first point along the other line (arc given first)
        m.bit2[1] = !base.ccw;
        return m;
    }
    const Q vx = other.mx - base.mx, vy = other.my - base.my;
    const Q dd = vx * vx + vy * vy;
    if (sgn(dd) == 0) return m;
    const Q along = (base.r2 - other.r2 + dd) / (2 * dd);
    const Q mu2 = base.r2 / dd - along * along;
    if (sgn(mu2) < 0) return m;
    m.n = 2;
    m.tangent = sgn(mu2) == 0;
    const Q fx = base.mx + along * vx, fy = base.my + along * vy;
    m.pt[0] = RPoint{fx, vy, fy, -vx, mu2};   // right of the direction from base centre to other centre
    m.pt[1] = RPoint{fx, -vy, fy, vx, mu2};   // left
    const bool same = base.ccw == other.ccw;
    m.bit2[0] = !same;
    m.bit2[1] = same;
    return m;
}

// Bit 2 of a tangency as the exact intersection sets it (base first).
// Line and arc: 1 when the arc's sense (h >= 0) differs from "an arc end lies
// strictly right of the line's direction", whichever piece is first.  Two
// arcs: with same = both turn alike and o_x = an end of x lies strictly
// outside the other's circle, same equals (o_base differs from o_other).
inline bool tangent_bit2(const Geo& base, const Geo& other) {
    auto right_of = [](const Geo& line, const Q& px, const Q& py) {
        return sgn((px - line.sx) * (line.ey - line.sy) - (py - line.sy) * (line.ex - line.sx)) > 0;
    };
    auto outside = [](const Geo& circle, const Q& px, const Q& py) {
        return sgn((px - circle.mx) * (px - circle.mx) + (py - circle.my) * (py - circle.my) - circle.r2) > 0;
    };
    if (base.line || other.line) {
        const Geo& l = base.line ? base : other;
        const Geo& a = base.line ? other : base;
        const bool side = right_of(l, a.sx, a.sy) || right_of(l, a.ex, a.ey);
        return a.ccw != side;
    }
    const bool same = base.ccw == other.ccw;
    const bool ob = outside(other, base.sx, base.sy) || outside(other, base.ex, base.ey);
    const bool oo = outside(base, other.sx, other.sy) || outside(base, other.ex, other.ey);
    return same == (ob != oo);
}

// Position of a point along the base: d.(P - start), monotone along a line
// and along an arc of at most a half circle.
inline RNum position(const Geo& base, const RPoint& p) {
    const Q dx = base.ex - base.sx, dy = base.ey - base.sy;
    return RNum{dx * (p.xa - base.sx) + dy * (p.ya - base.sy), dx * p.xb + dy * p.yb, p.D};
}

// Whether a point of the base's line or circle lies on the base piece.
inline bool on_piece(const Geo& base, const RPoint& p) {
    const Q dx = base.ex - base.sx, dy = base.ey - base.sy;
    if (base.line) {
        const RNum t = position(base, p);
        return sign(t) >= 0 && sign(RNum{t.a - (dx * dx + dy * dy), t.b, t.D}) <= 0;
    }
    // On the circle: on the arc when right of the chord (ccw) or left (cw), or on it.
    const RNum side{dx * (p.ya - base.sy) - dy * (p.xa - base.sx), dx * p.yb - dy * p.xb, p.D};
    const int s = sign(side);
    return base.ccw ? s <= 0 : s >= 0;
}

inline RPoint grid_point(const PNT2_s& p) { return RPoint{q(p.x), 0, q(p.y), 0, 0}; }

inline bool same_point(const RPoint& a, const RPoint& b) {
    return sign3(a.xa - b.xa, a.xb, a.D, -b.xb, b.D) == 0 && sign3(a.ya - b.ya, a.yb, a.D, -b.yb, b.D) == 0;
}

// Sign of pos(a) - pos(b) along the base.
inline int compare_along(const Geo& base, const RPoint& a, const RPoint& b) {
    const RNum pa = position(base, a), pb = position(base, b);
    return sign3(pa.a - pb.a, pa.b, pa.D, -pb.b, pb.D);
}

// ---------------------------------------------------------------------------
// Around a grid point
// ---------------------------------------------------------------------------

// The direction in which the piece leaves the grid point P, and its signed
// curvature: kappa_sign (+1 turning left, -1 right, 0 a line) and r2.
struct Leave {
    Q tx, ty;
    int kappa_sign;
    Q r2;
};
inline Leave leave(const Geo& g, bool forward, const Q& px, const Q& py) {
    Leave l;
    if (g.line) {
        const Q s = forward ? 1 : -1;
        l.tx = s * (g.ex - g.sx);
        l.ty = s * (g.ey - g.sy);
        l.kappa_sign = 0;
        return l;
    }
    const bool left = g.ccw == forward;
    const Q s = left ? 1 : -1;
    l.tx = -s * (py - g.my);
    l.ty = s * (px - g.mx);
    l.kappa_sign = left ? 1 : -1;
    l.r2 = g.r2;
    return l;
}

// Sign of kappa0 - kappa1.
inline int compare_kappa(const Leave& a, const Leave& b) {
    if (a.kappa_sign != b.kappa_sign) return a.kappa_sign > b.kappa_sign ? 1 : -1;
    if (a.kappa_sign == 0) return 0;
    return a.kappa_sign * sgn(b.r2 - a.r2);
}

// The answer of the around comparator: +1 piece 0 counter-clockwise of piece
// 1, -1 clockwise, 0 the same curve and direction; opposite directions: 2
// with the touching switch at 0 or on one line or circle, else +1 when the
// piece of the larger curvature turns left, -1 right.
inline int around(const Geo& g0, bool f0, const Geo& g1, bool f1, const Q& px, const Q& py, int touching) {
    const Leave l0 = leave(g0, f0, px, py), l1 = leave(g1, f1, px, py);
    const int c = sgn(l1.tx * l0.ty - l1.ty * l0.tx);
    if (c != 0) return c;
    const int dot = sgn(l0.tx * l1.tx + l0.ty * l1.ty);
    if (dot > 0) return compare_kappa(l0, l1);
    if (touching == 0) return 2;
    if (l0.kappa_sign == 0 && l1.kappa_sign == 0) return 2;
    // The tighter piece; equal radii: the same circle (2) or turning alike.
    const Leave* tight;
    if (l0.kappa_sign == 0) {
        tight = &l1;
    } else if (l1.kappa_sign == 0) {
        tight = &l0;
    } else {
        const int r = sgn(l1.r2 - l0.r2);
        if (r == 0) {
            if (l0.kappa_sign != l1.kappa_sign) return 2;  // one circle, opposite ways
            return l0.kappa_sign;
        }
        tight = r > 0 ? &l0 : &l1;
    }
    return tight->kappa_sign;
}

}  // namespace order_oracle
