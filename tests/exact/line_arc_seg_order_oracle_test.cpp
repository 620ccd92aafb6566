// The order predicates against an exact oracle in GMP rationals: order of
// intersection points along a piece, heights on a vertical line, and the
// order of pieces around a common point, on random and adversarial 31-bit
// configurations (near-ties, exact ties at shared points, tangencies, shared
// ends, concentric arcs, vertical pieces).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <stend/error.h>

#include "exact/line_arc_seg_prd.h"
#include "order_oracle.h"

namespace {

using namespace order_oracle;
using oracle::GRID_MAX;

struct Piece {
    PNT2_s s;
    LINE_ARC_SEG_s p;
};

// A named point on the base: the other piece, the flag, the exact point.
struct Named {
    int other;
    int flag;
    RPoint pt;
};

struct Tally {
    long cases = 0;
    long disagreements = 0;
    long ties = 0;        // comparisons whose exact answer is 0
    long tangencies = 0;  // named points of tangency
    long arc_bases = 0;
    long errors = 0;      // internal errors raised
    long triples = 0;     // triples checked for transitivity
    std::string first;
    std::map<std::string, long> kinds;  // cases by comparator, piece kinds and answer
};

void disagree(Tally* t, const std::string& what) {
    if (t->disagreements++ < 5) t->first += what + "\n";
}

class OrderGen : public oracle::Gen {
public:
    explicit OrderGen(uint64_t seed) : oracle::Gen(seed) {}

    double clampc(double v) { return std::min(GRID_MAX, std::max(0.0, v)); }

    // A whole vector of a random scale (never zero); sometimes axis-parallel.
    PNT2_s direction() {
        for (;;) {
            const double scale = std::ldexp(1.0, int(integer(0, 30)));
            PNT2_s v{double(integer(-int64_t(scale), int64_t(scale))), double(integer(-int64_t(scale), int64_t(scale)))};
            const int kind = int(integer(0, 9));
            if (kind == 0) v.x = 0;
            if (kind == 1) v.y = 0;
            if (v.x != 0 || v.y != 0) return v;
        }
    }
    bool inside(const PNT2_s& p) { return p.x >= 0 && p.y >= 0 && p.x <= GRID_MAX && p.y <= GRID_MAX; }

    // A line piece through T (T at a random place of it, ends included).
    bool line_through(const PNT2_s& t, Piece* out) {
        const PNT2_s e = direction();
        const double l = double(integer(0, 2)), m = double(integer(0, 2));
        if (l == 0 && m == 0) return false;
        const PNT2_s s{t.x - l * e.x, t.y - l * e.y}, f{t.x + m * e.x, t.y + m * e.y};
        if (!inside(s) || !inside(f)) return false;
        out->s = s;
        out->p = oracle::line_to(f);
        return true;
    }
    // An arc starting or ending at T.
    bool arc_through(const PNT2_s& t, Piece* out) {
        PNT2_s other = end_from(t);
        const int kind = int(integer(0, 5));
        double h;
        if (kind == 0) h = 0.0;
        else if (kind == 1) h = -1e101;
        else if (kind == 2) h = double(integer(-6, 6)) / 2;  // tangents of whole directions
        else h = arc(t, other).h;
        if (coin()) {
            out->s = t;
            out->p = oracle::arc_with_h(t, other, h);
        } else {
            out->s = other;
            out->p = oracle::arc_with_h(other, t, h);
        }
        return true;
    }
    // An arc on the circle of centre m through the lattice point m + v: from
    // one of its eight symmetric points to another, when h is a double.
    bool centred_arc(const PNT2_s& m, const PNT2_s& v, Piece* out, std::vector<PNT2_s>* lattice) {
        PNT2_s pts[8];
        const double a = v.x, b = v.y;
        const double sym[8][2] = {{a, b}, {-b, a}, {-a, -b}, {b, -a}, {-a, b}, {b, a}, {a, -b}, {-b, -a}};
        for (int i = 0; i < 8; ++i) pts[i] = PNT2_s{m.x + sym[i][0], m.y + sym[i][1]};
        const int i = int(integer(0, 7)), j = int(integer(0, 7));
        const PNT2_s s = pts[i], e = pts[j];
        if (!inside(s) || !inside(e) || (s.x == e.x && s.y == e.y)) return false;
        // c = m - s = d/2 + h perp(d): h = (c - d/2).perp(d) / |d|^2.
        const Q dx = q(e.x) - q(s.x), dy = q(e.y) - q(s.y);
        const Q cx = q(m.x) - q(s.x), cy = q(m.y) - q(s.y);
        Q hq = ((cx - dx / 2) * (-dy) + (cy - dy / 2) * dx) / (dx * dx + dy * dy);
        const double h = hq.get_d();
        if (Q(h) != hq) return false;
        double hv = h;
        if (h == 0 && coin()) hv = -1e101;  // the clockwise half circle
        out->s = s;
        out->p = oracle::arc_with_h(s, e, hv);
        if (lattice) {
            const Geo g = geo(out->s, out->p);
            for (const PNT2_s& p : pts)
                if (on_piece(g, grid_point(p))) lattice->push_back(p);
        }
        return true;
    }
    // A piece tangent at T to a curve whose normal at T is n (whole): a line
    // along the tangent, or a half circle whose chord lies along the normal.
    bool tangent_at(const PNT2_s& t, const PNT2_s& n, Piece* out) {
        const double k = double(integer(1, 3)) * (coin() ? 1 : -1);
        if (coin()) {
            const PNT2_s e{t.x - k * n.y, t.y + k * n.x};
            if (!inside(e)) return false;
            out->s = t;
            out->p = oracle::line_to(e);
            if (coin()) std::swap(out->s.x, out->p.x), std::swap(out->s.y, out->p.y);
            return true;
        }
        const PNT2_s e{t.x + k * n.x, t.y + k * n.y};
        if (!inside(e)) return false;
        const double h = coin() ? 0.0 : -1e101;
        if (coin()) {
            out->s = t;
            out->p = oracle::arc_with_h(t, e, h);
        } else {
            out->s = e;
            out->p = oracle::arc_with_h(e, t, h);
        }
        return true;
    }
    PNT2_s radius_vector() {
        const double scale = std::ldexp(1.0, int(integer(1, 28)));
        for (;;) {
            PNT2_s v{double(integer(0, int64_t(scale))), double(integer(0, int64_t(scale)))};
            if (v.x != 0 || v.y != 0) return v;
        }
    }
    PNT2_s centre_point() {
        return PNT2_s{double(integer(int64_t(GRID_MAX) / 4, int64_t(GRID_MAX) / 4 * 3)),
                      double(integer(int64_t(GRID_MAX) / 4, int64_t(GRID_MAX) / 4 * 3))};
    }
};

// A base piece and the grid points known to lie on it.
bool make_base(OrderGen& g, Piece* base, std::vector<PNT2_s>* on_base) {
    on_base->clear();
    const int kind = int(g.integer(0, 4));
    if (kind <= 1) {  // a line, with lattice points on it
        base->s = g.point();
        const PNT2_s e = g.end_from(base->s);
        base->p = oracle::line_to(e);
        on_base->push_back(base->s);
        on_base->push_back(e);
        const double dx = e.x - base->s.x, dy = e.y - base->s.y;
        // mpz_class truncates a double as the cast to an integer did.
        mpz_class gx(std::fabs(dx)), gy(std::fabs(dy)), gg;
        mpz_gcd(gg.get_mpz_t(), gx.get_mpz_t(), gy.get_mpz_t());
        const double n = gg.get_d();
        for (int i = 0; i < 3 && n > 1; ++i) {
            const double k = double(g.integer(1, int64_t(n) - 1));
            on_base->push_back(PNT2_s{base->s.x + k * dx / n, base->s.y + k * dy / n});
        }
        return true;
    }
    if (kind == 2) {  // a random arc
        base->s = g.point();
        const PNT2_s e = g.end_from(base->s);
        base->p = g.arc(base->s, e);
        if (base->p.h >= 1e100) return false;
        on_base->push_back(base->s);
        on_base->push_back(e);
        return true;
    }
    // An arc about a grid centre, with its lattice points.
    const PNT2_s m = g.centre_point();
    return g.centred_arc(m, g.radius_vector(), base, on_base) && on_base->size() >= 2;
}

// Grid points near the base (for near-ties).
PNT2_s near_base(OrderGen& g, const Piece& base, const std::vector<PNT2_s>& on_base) {
    const PNT2_s& p = on_base[size_t(g.integer(0, int64_t(on_base.size()) - 1))];
    if (g.coin()) return g.near(p, 2);
    // A point along the chord, rounded.
    const double t = g.uniform(0, 1);
    return PNT2_s{std::round(base.s.x + t * (base.p.x - base.s.x)), std::round(base.s.y + t * (base.p.y - base.s.y))};
}

// A whole normal of the base at its point t: the line's normal, or t less the
// centre of an arc about a grid centre.
bool normal_at(const Piece& base, const PNT2_s& t, PNT2_s* n) {
    if (base.p.h >= 1e100) {
        *n = PNT2_s{-(base.p.y - base.s.y), base.p.x - base.s.x};
        return true;
    }
    const Geo b = geo(base.s, base.p);
    if (b.mx.get_den() != 1 || b.my.get_den() != 1) return false;
    *n = PNT2_s{t.x - b.mx.get_d(), t.y - b.my.get_d()};
    return n->x != 0 || n->y != 0;
}

// Other pieces: through points on the base, near it, concentric families.
void make_others(OrderGen& g, const Piece& base, const std::vector<PNT2_s>& on_base, std::vector<Piece>* others) {
    others->clear();
    const int n = int(g.integer(3, 6));
    // Two arcs about a common centre, to give parallel meeting lines.
    if (g.integer(0, 3) == 0) {
        const PNT2_s m = g.centre_point();
        for (int i = 0; i < 2; ++i) {
            Piece p;
            if (g.centred_arc(m, g.radius_vector(), &p, nullptr)) others->push_back(p);
        }
    }
    // An arc concentric with the base.
    if (base.p.h < 1e100 && g.integer(0, 5) == 0) {
        const Geo b = geo(base.s, base.p);
        if (b.mx.get_den() == 1 && b.my.get_den() == 1) {
            Piece p;
            if (g.centred_arc(PNT2_s{b.mx.get_d(), b.my.get_d()}, g.radius_vector(), &p, nullptr))
                others->push_back(p);
        }
    }
    PNT2_s normal;
    for (int tries = 0; int(others->size()) < n && tries < 40; ++tries) {
        PNT2_s t;
        const int where = int(g.integer(0, 3));
        if (where <= 1) t = on_base[size_t(g.integer(0, int64_t(on_base.size()) - 1))];
        else t = near_base(g, base, on_base);
        Piece p;
        bool ok;
        if (where == 0 && g.integer(0, 2) == 0 && normal_at(base, t, &normal)) ok = g.tangent_at(t, normal, &p);
        else ok = g.coin() ? g.line_through(t, &p) : g.arc_through(t, &p);
        if (ok) others->push_back(p);
    }
}

// The points of the base with each other piece that lie on the base.
std::vector<Named> named_points(OrderGen& g, const Piece& base, const std::vector<Piece>& others, Tally* t) {
    (void)g;
    std::vector<Named> out;
    const Geo b = geo(base.s, base.p);
    for (size_t i = 0; i < others.size(); ++i) {
        const Geo o = geo(others[i].s, others[i].p);
        const Meet m = meet(b, o);
        for (int j = 0; j < m.n; ++j) {
            if (!on_piece(b, m.pt[j])) continue;
            int flag = m.bit2[j] ? LINE_ARC_SEG_INTXN_SIDE : 0;
            if (b.line && o.line && g.coin()) flag ^= LINE_ARC_SEG_INTXN_SIDE;  // not read for two lines
            if (m.tangent) {
                flag = LINE_ARC_SEG_INTXN_TANGENT | (tangent_bit2(b, o) ? LINE_ARC_SEG_INTXN_SIDE : 0);
                ++t->tangencies;
                if (j == 1) continue;
            }
            out.push_back(Named{int(i), flag, m.pt[j]});
        }
    }
    return out;
}

std::string describe(const Piece& p) {
    char buf[200];
    std::snprintf(buf, sizeof buf, "(%.17g,%.17g)->(%.17g,%.17g) h=%.17g", p.s.x, p.s.y, p.p.x, p.p.y, p.p.h);
    return buf;
}

// A comparator's answers over a set: antisymmetric, transitive (also for
// ties), as a strict weak ordering needs.
void check_order_table(const std::vector<int>& table, size_t n, const char* what, Tally* t) {
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j) {
            if (table[i * n + j] != -table[j * n + i]) disagree(t, std::string(what) + " not antisymmetric");
            for (size_t k = 0; k < n; ++k) {
                const int ij = table[i * n + j], jk = table[j * n + k], ik = table[i * n + k];
                ++t->triples;
                if (ij <= 0 && jk <= 0 && ik > 0) disagree(t, std::string(what) + " not transitive");
                if (ij == 0 && jk == 0 && ik != 0) disagree(t, std::string(what) + " ties not transitive");
            }
        }
}

// One configuration: every vertex against every named point (ps), every pair
// of named points (ss, both orders), and triples for transitivity.
void check_configuration(OrderGen& g, Tally* t) {
    Piece base;
    std::vector<PNT2_s> on_base;
    if (!make_base(g, &base, &on_base)) return;
    std::vector<Piece> others;
    make_others(g, base, on_base, &others);
    const std::vector<Named> named = named_points(g, base, others, t);
    const Geo b = geo(base.s, base.p);
    if (!b.line) ++t->arc_bases;

    for (const PNT2_s& v : on_base) {
        const RPoint vp = grid_point(v);
        for (const Named& n : named) {
            const Piece& o = others[size_t(n.other)];
            const int want = compare_along(b, vp, n.pt);
            int got;
            try {
                got = LINE_ARC_SEG_prd_compare_intxns_ps(&base.s, &base.p, &v, &o.s, &o.p, n.flag);
            } catch (...) {
                ++t->errors;
                got = 99;
            }
            ++t->cases;
            ++t->kinds[std::string("ps ") + (b.line ? "L" : "A") + (o.p.h >= 1e100 ? "L " : "A ") + std::to_string(want)];
            if (want == 0) ++t->ties;
            if (got != want)
                disagree(t, "ps base " + describe(base) + " q (" + std::to_string(v.x) + "," + std::to_string(v.y) +
                                ") other " + describe(o) + " flag " + std::to_string(n.flag) + " want " +
                                std::to_string(want) + " got " + std::to_string(got));
        }
    }
    const size_t n = named.size();
    std::vector<int> table(n * n, 0);
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = 0; j < n; ++j) {
            const Named& x = named[i];
            const Named& y = named[j];
            const Piece& px = others[size_t(x.other)];
            const Piece& py = others[size_t(y.other)];
            const int want = compare_along(b, x.pt, y.pt);
            int got;
            try {
                got = LINE_ARC_SEG_prd_compare_intxns_ss(&base.s, &base.p, &px.s, &px.p, x.flag, &py.s, &py.p, y.flag);
            } catch (...) {
                ++t->errors;
                got = 99;
            }
            table[i * n + j] = got;
            ++t->cases;
            ++t->kinds[std::string("ss ") + (b.line ? "L" : "A") + (px.p.h >= 1e100 ? "L" : "A") +
                       (py.p.h >= 1e100 ? "L " : "A ") + std::to_string(want)];
            if (want == 0) ++t->ties;
            if (got != want)
                disagree(t, "ss base " + describe(base) + " b " + describe(px) + " flag " + std::to_string(x.flag) +
                                " c " + describe(py) + " flag " + std::to_string(y.flag) + " want " +
                                std::to_string(want) + " got " + std::to_string(got));
        }
    }
    check_order_table(table, n, "ss", t);

    // The comparator the polygon-set intersection sorts with: vertices
    // (points of the base) and crossings in one list; vertex against crossing
    // by ps, crossing against vertex by the negated ps, two crossings by ss;
    // two vertices by their (exact) place.
    struct Item {
        bool vertex;
        size_t index;
    };
    std::vector<Item> items;
    for (size_t i = 0; i < on_base.size(); ++i) items.push_back({true, i});
    for (size_t i = 0; i < n; ++i) items.push_back({false, i});
    auto cmp = [&](const Item& u, const Item& v) -> int {
        if (u.vertex && v.vertex)
            return compare_along(b, grid_point(on_base[u.index]), grid_point(on_base[v.index]));
        if (!u.vertex && !v.vertex) return table[u.index * n + v.index];
        const Item& vx = u.vertex ? u : v;
        const Item& cr = u.vertex ? v : u;
        const Named& c = named[cr.index];
        const Piece& o = others[size_t(c.other)];
        const int r = LINE_ARC_SEG_prd_compare_intxns_ps(&base.s, &base.p, &on_base[vx.index], &o.s, &o.p, c.flag);
        return u.vertex ? r : -r;
    };
    const size_t m = items.size();
    std::vector<int> all(m * m);
    for (size_t i = 0; i < m; ++i)
        for (size_t j = 0; j < m; ++j) all[i * m + j] = cmp(items[i], items[j]);
    check_order_table(all, m, "along", t);
    // Sorted with the standard sort, the items follow their exact places.
    std::vector<size_t> order(m);
    for (size_t i = 0; i < m; ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t x, size_t y) { return all[x * m + y] < 0; });
    auto place = [&](size_t i) {
        return items[i].vertex ? grid_point(on_base[items[i].index]) : named[items[i].index].pt;
    };
    for (size_t i = 1; i < m; ++i)
        if (compare_along(b, place(order[i - 1]), place(order[i])) > 0) disagree(t, "sorted out of place");
}

// Heights on a vertical line: a vertical line through a grid abscissa meets
// each piece at a named point; vertices on the line are compared with them.
void check_vertical(OrderGen& g, Tally* t) {
    std::vector<Piece> pieces;
    const double x = double(g.integer(1000, int64_t(GRID_MAX) - 1000));
    // Pieces crossing the abscissa x: through a point (x, y) or spanning it.
    const double y0 = double(g.integer(0, int64_t(GRID_MAX)));
    const int n = int(g.integer(2, 5));
    for (int tries = 0; int(pieces.size()) < n && tries < 30; ++tries) {
        PNT2_s t{x, g.coin() ? y0 : double(g.integer(0, int64_t(GRID_MAX)))};
        if (g.coin()) t.x = x + double(g.integer(-3, 3));
        Piece p;
        const bool ok = g.coin() ? g.line_through(t, &p) : g.arc_through(t, &p);
        if (ok) pieces.push_back(p);
    }
    // The vertical line, walked upward, as the base of the named points.
    Piece vline;
    vline.s = PNT2_s{x, 0};
    vline.p = oracle::line_to(PNT2_s{x, GRID_MAX});
    const Geo vb = geo(vline.s, vline.p);
    std::vector<Named> named;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const Geo o = geo(pieces[i].s, pieces[i].p);
        if (o.line && o.sx == o.ex) continue;  // vertical pieces meet the line everywhere or nowhere
        const Meet m = meet(vb, o);
        for (int j = 0; j < m.n; ++j) {
            // On the piece itself (the vertical line spans the whole grid).
            if (!on_piece(o, m.pt[j]) || !on_piece(vb, m.pt[j])) continue;
            int flag = m.bit2[j] ? LINE_ARC_SEG_INTXN_SIDE : 0;
            if (m.tangent) {
                flag = LINE_ARC_SEG_INTXN_TANGENT | (tangent_bit2(vb, o) ? LINE_ARC_SEG_INTXN_SIDE : 0);
                if (j == 1) continue;
            }
            named.push_back(Named{int(i), flag, m.pt[j]});
        }
    }
    const double y_range[2] = {0, GRID_MAX};
    std::vector<int> table;
    for (const Named& a : named) {
        const Piece& pa = pieces[size_t(a.other)];
        // A vertex on the vertical line: the piece's own meeting point when it
        // is a grid point, else a grid point near it.
        const double ya = a.pt.ya.get_d() + a.pt.yb.get_d() * std::sqrt(std::max(0.0, a.pt.D.get_d()));
        for (int dy = -1; dy <= 1; ++dy) {
            const PNT2_s qv{x, std::round(ya) + dy};
            if (qv.y < 0 || qv.y > GRID_MAX) continue;
            const int want = -compare_along(vb, grid_point(qv), a.pt);
            const double got = LINE_ARC_SEG_prd_compare_vertical_ps(&qv, &pa.s, &pa.p, a.flag);
            ++t->cases;
            ++t->kinds[std::string("vps ") + (pa.p.h >= 1e100 ? "L " : "A ") + std::to_string(want)];
            if (want == 0) ++t->ties;
            if (oracle::sgn_d(got) != want)
                disagree(t, "vertical_ps piece " + describe(pa) + " q.y " + std::to_string(qv.y) + " want " +
                                std::to_string(want));
        }
        for (const Named& b : named) {
            const Piece& pb = pieces[size_t(b.other)];
            const int want = compare_along(vb, a.pt, b.pt);
            const double got = LINE_ARC_SEG_prd_compare_vertical_ss(x, y_range, &pa.s, &pa.p, a.flag, &pb.s, &pb.p,
                                                                    b.flag);
            table.push_back(oracle::sgn_d(got));
            ++t->cases;
            ++t->kinds[std::string("vss ") + (pa.p.h >= 1e100 ? "L" : "A") + (pb.p.h >= 1e100 ? "L " : "A ") +
                       std::to_string(want)];
            if (want == 0) ++t->ties;
            if (oracle::sgn_d(got) != want)
                disagree(t, "vertical_ss at x " + std::to_string(x) + " " + describe(pa) + " f" +
                                std::to_string(a.flag) + " vs " + describe(pb) + " f" + std::to_string(b.flag) +
                                " want " + std::to_string(want) + " got " + std::to_string(got));
        }
    }
    check_order_table(table, named.size(), "vertical_ss", t);
}

// Pieces around a grid point P: each starts or ends at P; tangent families
// (half circles and half-integer h give whole tangent directions, arcs on one
// ray from P share their tangent) and pieces on one line or circle.
void make_around(OrderGen& g, const PNT2_s& p, std::vector<Piece>* pieces, std::vector<bool>* forward) {
    pieces->clear();
    forward->clear();
    const int n = int(g.integer(3, 6));
    const PNT2_s dir = g.direction();
    for (int tries = 0; int(pieces->size()) < n && tries < 30; ++tries) {
        Piece pc;
        const int kind = int(g.integer(0, 5));
        PNT2_s other;
        double h = 1e101;
        if (kind == 0) {  // along the shared direction, either way, a line
            const double k = double(g.integer(1, 3)) * (g.coin() ? 1 : -1);
            other = PNT2_s{p.x + k * dir.x, p.y + k * dir.y};
        } else if (kind == 1) {  // an arc whose chord lies along the shared direction: shared tangents
            const double k = double(g.integer(1, 3)) * (g.coin() ? 1 : -1);
            other = PNT2_s{p.x + k * dir.x, p.y + k * dir.y};
            const int hk = int(g.integer(0, 3));
            h = hk == 0 ? 0.0 : (hk == 1 ? -1e101 : double(g.integer(-4, 4)) / 2);
        } else if (kind == 2) {  // an arc tangent to the shared direction at P: chord along its normal
            const double k = double(g.integer(1, 3)) * (g.coin() ? 1 : -1);
            other = PNT2_s{p.x - k * dir.y, p.y + k * dir.x};
            h = g.coin() ? 0.0 : -1e101;
        } else {
            other = g.end_from(p);
            if (kind == 4) h = g.arc(p, other).h;
        }
        if (!g.inside(other) || (other.x == p.x && other.y == p.y)) continue;
        const bool fwd = g.coin();
        if (fwd) {
            pc.s = p;
            pc.p = h >= 1e100 ? oracle::line_to(other) : oracle::arc_with_h(p, other, h);
        } else {
            pc.s = other;
            pc.p = h >= 1e100 ? oracle::line_to(p) : oracle::arc_with_h(other, p, h);
        }
        pieces->push_back(pc);
        forward->push_back(fwd);
    }
}

void check_around(OrderGen& g, Tally* t) {
    const PNT2_s p = g.point();
    std::vector<Piece> pieces;
    std::vector<bool> fwd;
    make_around(g, p, &pieces, &fwd);
    const size_t n = pieces.size();
    const Q px = q(p.x), py = q(p.y);
    for (int touching = 0; touching <= 1; ++touching) {
        std::vector<int> table(n * n, 0);
        for (size_t i = 0; i < n; ++i)
            for (size_t j = 0; j < n; ++j) {
                const Piece& a = pieces[i];
                const Piece& b = pieces[j];
                const int want = around(geo(a.s, a.p), fwd[i], geo(b.s, b.p), fwd[j], px, py, touching);
                const int got = LINE_ARC_SEG_prd_compare_around(&a.s, &a.p, fwd[i], &b.s, &b.p, fwd[j], nullptr,
                                                                nullptr, 0, touching, &p);
                table[i * n + j] = got;
                ++t->cases;
                ++t->kinds[std::string("around ") + (a.p.h >= 1e100 ? "L" : "A") + (b.p.h >= 1e100 ? "L" : "A") +
                           " t" + std::to_string(touching) + " " + std::to_string(want)];
                if (want == 0) ++t->ties;
                if (got != want)
                    disagree(t, "around touching " + std::to_string(touching) + " " + describe(a) +
                                    (fwd[i] ? " fwd" : " bwd") + " vs " + describe(b) + (fwd[j] ? " fwd" : " bwd") +
                                    " want " + std::to_string(want) + " got " + std::to_string(got));
            }
        // Antisymmetry wherever the answer is an order (not opposite directions).
        for (size_t i = 0; i < n; ++i)
            for (size_t j = 0; j < n; ++j) {
                const int ij = table[i * n + j], ji = table[j * n + i];
                if (ij == 2 || ji == 2) {
                    if (ij != ji) disagree(t, "around: 2 not symmetric");
                    continue;
                }
                const Geo gi = geo(pieces[i].s, pieces[i].p), gj = geo(pieces[j].s, pieces[j].p);
                const Leave li = leave(gi, fwd[i], px, py), lj = leave(gj, fwd[j], px, py);
                const bool opposite =
                    sgn(li.tx * lj.ty - li.ty * lj.tx) == 0 && sgn(li.tx * lj.tx + li.ty * lj.ty) < 0;
                if (opposite) {
                    if (ij != ji) disagree(t, "around: touching answer at opposite directions depends on the order");
                } else if (ij != -ji) {
                    disagree(t, "around not antisymmetric");
                }
            }
    }
}

// Bit 2 (and bit 4) of the point P of `second` with `first`, as the exact
// intersection gives it with `first` given first; -1 when P is not a meeting
// point of their lines or circles.
int flag_at(const Geo& first, const Geo& second, const RPoint& p) {
    const Meet m = meet(first, second);
    for (int j = 0; j < m.n; ++j) {
        if (!same_point(m.pt[j], p)) continue;
        if (m.tangent) return LINE_ARC_SEG_INTXN_TANGENT | (tangent_bit2(first, second) ? LINE_ARC_SEG_INTXN_SIDE : 0);
        return m.bit2[j] ? LINE_ARC_SEG_INTXN_SIDE : 0;
    }
    return -1;
}

// The common point given by a third piece through P: a vertical ray (as the
// ray casting passes it), another piece through P, or piece 0 itself.
void check_around_third(OrderGen& g, Tally* t) {
    const PNT2_s p = g.point();
    std::vector<Piece> pieces;
    std::vector<bool> fwd;
    make_around(g, p, &pieces, &fwd);
    const size_t n = pieces.size();
    const Q px = q(p.x), py = q(p.y);
    const RPoint pp = grid_point(p);
    Piece third;
    const int kind = int(g.integer(0, 2));
    if (kind == 0) {
        third.s = PNT2_s{p.x, std::max(0.0, p.y - double(g.integer(1, 1000)))};
        third.p = oracle::line_to(PNT2_s{p.x, p.y + double(g.integer(1, 1000))});
    } else if (kind == 1) {
        if (!g.line_through(p, &third)) return;
    } else if (!g.arc_through(p, &third)) {
        return;
    }
    for (int touching = 0; touching <= 1; ++touching)
        for (size_t i = 0; i < n; ++i)
            for (size_t j = 0; j < n; ++j) {
                if (i == j) continue;
                const Piece& a = pieces[i];
                const Piece& b = pieces[j];
                const Geo ga = geo(a.s, a.p), gb = geo(b.s, b.p);
                const int want = around(ga, fwd[i], gb, fwd[j], px, py, touching);
                const bool self = g.integer(0, 3) == 0;  // the third piece is piece 0
                // An arc of piece 0's circle (piece 0 reversed) as the third piece.
                const bool on_circle = !self && !ga.line && gb.line && g.coin();
                Piece rev;
                if (on_circle) {
                    rev.s = PNT2_s{a.p.x, a.p.y};
                    rev.p = oracle::arc_with_h(rev.s, a.s, a.p.h >= 0 ? -1e101 : 0.0);
                    // Same circle only for half circles; otherwise keep the ordinary third.
                    if (a.p.h != 0.0 && a.p.h > -1e100) rev = third;
                }
                const Piece& th = on_circle ? rev : third;
                const Geo g3 = geo(th.s, th.p);
                int flag;
                if (self) {
                    flag = flag_at(gb, ga, pp);
                } else if (on_circle && rev.p.h < 1e100 && g3.mx == ga.mx && g3.my == ga.my) {
                    flag = flag_at(gb, g3, pp);
                } else {
                    const Geo& arc = gb.line ? ga : gb;
                    flag = (ga.line && gb.line) ? 0 : flag_at(arc, g3, pp);
                }
                if (flag < 0) continue;  // overlapping curves: no single meeting point
                const PNT2_s* qq = g.coin() ? &p : nullptr;
                const int got = self ? LINE_ARC_SEG_prd_compare_around(&a.s, &a.p, fwd[i], &b.s, &b.p, fwd[j], &a.s,
                                                                       &a.p, flag, touching, qq)
                                     : LINE_ARC_SEG_prd_compare_around(&a.s, &a.p, fwd[i], &b.s, &b.p, fwd[j],
                                                                       &th.s, &th.p, flag, touching, qq);
                ++t->cases;
                if (on_circle && g3.mx == ga.mx && g3.my == ga.my) ++t->kinds["around-third on piece 0's circle"];
                ++t->kinds[std::string(self ? "around-self " : "around-third ") + (ga.line ? "L" : "A") +
                           (gb.line ? "L" : "A") + " t" + std::to_string(touching) + " " + std::to_string(want)];
                if (got != want)
                    disagree(t, std::string(self ? "around-self" : "around-third") + " touching " +
                                    std::to_string(touching) + " " + describe(a) + (fwd[i] ? " fwd" : " bwd") +
                                    " vs " + describe(b) + (fwd[j] ? " fwd" : " bwd") + " third " +
                                    describe(th) + " flag " + std::to_string(flag) + (qq ? " q" : " noq") +
                                    " want " + std::to_string(want) + " got " + std::to_string(got));
            }
}

void run(uint64_t seed, long configurations, Tally* t) {
    OrderGen g(seed);
    for (long i = 0; i < configurations; ++i) {
        switch (i % 5) {
            case 0:
            case 1: check_configuration(g, t); break;
            case 2: check_vertical(g, t); break;
            case 3: check_around(g, t); break;
            default: check_around_third(g, t); break;
        }
        if (t->disagreements > 20) return;
    }
}

// The exact intersection of the base with another piece, the base given
// first; or given second, its flags turned with
// LINE_ARC_SEG_intxn_flag_for_other_order.
int intersect(const Piece& base, const Piece& other, bool base_first, PNT2_s pts[2], int flags[2]) {
    flags[0] = flags[1] = 0;
    const Piece& x = base_first ? base : other;
    const Piece& y = base_first ? other : base;
    const bool xl = x.p.h >= 1e100, yl = y.p.h >= 1e100;
    int n;
    if (xl && yl) n = LINE_ARC_SEG_ixn_ll_intersect(&x.p, &x.s, &y.p, &y.s, GRID_MAX, pts, flags);
    else if (xl) n = LINE_ARC_SEG_ixn_la_intersect(&x.p, &x.s, &y.p, &y.s, GRID_MAX, pts, flags, 0);
    else if (yl) n = LINE_ARC_SEG_ixn_la_intersect(&y.p, &y.s, &x.p, &x.s, GRID_MAX, pts, flags, 1);
    else n = LINE_ARC_SEG_ixn_aa_intersect(&x.p, &x.s, &y.p, &y.s, GRID_MAX, pts, flags);
    if (!base_first)
        for (int i = 0; i < n; ++i) flags[i] = LINE_ARC_SEG_intxn_flag_for_other_order(flags[i]);
    return n;
}

// Every crossing point (no tangency, no overlap) that the exact intersection
// returns gets the bit 2 that the comparators read: the oracle's meeting
// point nearest to it, when that one alone rounds there, carries the same bit
// 2; the base given first or second (flags turned) agree.
void check_flags(OrderGen& g, Tally* t) {
    Piece base;
    std::vector<PNT2_s> on_base;
    if (!make_base(g, &base, &on_base)) return;
    std::vector<Piece> others;
    make_others(g, base, on_base, &others);
    const Geo b = geo(base.s, base.p);
    for (const Piece& o : others) {
        const Geo go = geo(o.s, o.p);
        if (b.line && go.line) continue;  // bit 2 of two lines is not read
        const Meet m = meet(b, go);
        if (m.n != 2 || m.tangent) continue;
        for (int order = 0; order < 2; ++order) {
            PNT2_s pts[2];
            int flags[2];
            const int n = intersect(base, o, order == 0, pts, flags);
            for (int i = 0; i < n; ++i) {
                if (flags[i] & LINE_ARC_SEG_INTXN_TANGENT) continue;
                double dist[2];
                for (int j = 0; j < 2; ++j) {
                    const double r = std::sqrt(std::max(0.0, m.pt[j].D.get_d()));
                    const double x = m.pt[j].xa.get_d() + m.pt[j].xb.get_d() * r;
                    const double y = m.pt[j].ya.get_d() + m.pt[j].yb.get_d() * r;
                    dist[j] = std::max(std::fabs(x - pts[i].x), std::fabs(y - pts[i].y));
                }
                const int j = dist[0] < dist[1] ? 0 : 1;
                if (dist[j] > 0.75 || dist[1 - j] < 2) continue;
                ++t->cases;
                ++t->kinds["flags " + std::string(b.line ? "L" : "A") + (go.line ? "L" : "A")];
                if (((flags[i] & LINE_ARC_SEG_INTXN_SIDE) != 0) != m.bit2[j])
                    disagree(t, "flag of base " + describe(base) + " other " + describe(o) +
                                    (order == 0 ? " base first" : " base second, turned"));
            }
        }
    }
}

long regular_configurations() {
#if defined(__SANITIZE_ADDRESS__)
    return 800;
#else
    return 6000;
#endif
}

TEST(LineArcSegOrderOracle, AgreesOnRandomAndAdversarialCases) {
    Tally t;
    run(20261210, regular_configurations(), &t);
    EXPECT_EQ(t.disagreements, 0) << t.first;
    EXPECT_EQ(t.errors, 0);
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_GE(t.cases, 100000);
#endif
    EXPECT_GT(t.ties, t.cases / 100) << "exact ties must be reached";
    EXPECT_GT(t.tangencies, 10);
    EXPECT_GT(t.triples, t.cases);
    RecordProperty("cases", std::to_string(t.cases));
    RecordProperty("ties", std::to_string(t.ties));
    std::printf("order oracle: %ld cases, %ld ties, %ld tangencies, %ld arc bases\n", t.cases, t.ties, t.tangencies,
                t.arc_bases);
    if (std::getenv("MERROW1_ORDER_KINDS"))
        for (const auto& k : t.kinds) std::printf("  %-20s %ld\n", k.first.c_str(), k.second);
}

// The comparators read bit 2 as the exact intersection sets it with the base
// first: the oracle's flags above are those flags.
TEST(LineArcSegOrderOracle, FlagsOfTheExactIntersectionNameTheOraclePoints) {
    Tally t;
    OrderGen g(77);
    for (int i = 0; i < 3000 && t.disagreements < 20; ++i) check_flags(g, &t);
    EXPECT_EQ(t.disagreements, 0) << t.first;
    EXPECT_GT(t.kinds["flags LA"], 200);
    EXPECT_GT(t.kinds["flags AL"], 200);
    EXPECT_GT(t.kinds["flags AA"], 200);
}

TEST(LineArcSegOrderOracleLong, TenMillionCases) {
    const char* on = std::getenv("MERROW1_LONG_TESTS");
    if (on == nullptr || *on == '\0') GTEST_SKIP() << "set MERROW1_LONG_TESTS to run";
    Tally t;
    // About 20 cases per configuration on average.
    for (uint64_t seed = 1; t.cases < 10000000 && t.disagreements == 0; ++seed) run(seed * 7919, 20000, &t);
    EXPECT_EQ(t.disagreements, 0) << t.first;
    EXPECT_EQ(t.errors, 0);
    EXPECT_GE(t.cases, 10000000);
}

}  // namespace
