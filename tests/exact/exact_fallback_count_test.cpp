// The counts of exact evaluations: a degenerate case (a rounding tie, a
// tangency) runs the multi-digit fallback of the test that cannot be decided
// in doubles and its counter moves; a generic case is decided by the double
// filters alone and no counter moves, for the intersections and for every
// step of the comparators.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exact/line_arc_seg_prd.h"
#include "exact_oracle.h"

namespace {

using oracle::arc_with_h;
using oracle::line_to;

struct Piece {
    PNT2_s s;
    LINE_ARC_SEG_s p;
};

Piece line(double x0, double y0, double x1, double y1) { return Piece{PNT2_s{x0, y0}, line_to(PNT2_s{x1, y1})}; }
Piece arc(double x0, double y0, double x1, double y1, double h) {
    const PNT2_s s{x0, y0};
    return Piece{s, arc_with_h(s, PNT2_s{x1, y1}, h)};
}

const double BOUND = 2147483647.0;

// The exact intersection of two pieces (the line first for a line and an arc).
int intersect(const Piece& a, const Piece& b, PNT2_s pts[2], int flags[2]) {
    flags[0] = flags[1] = 0;
    const bool al = LINE_ARC_SEG_is_line(&a.p), bl = LINE_ARC_SEG_is_line(&b.p);
    if (al && bl) return LINE_ARC_SEG_ixn_ll_intersect(&a.p, &a.s, &b.p, &b.s, BOUND, pts, flags);
    if (al) return LINE_ARC_SEG_ixn_la_intersect(&a.p, &a.s, &b.p, &b.s, BOUND, pts, flags, 0);
    return LINE_ARC_SEG_ixn_aa_intersect(&a.p, &a.s, &b.p, &b.s, BOUND, pts, flags);
}

std::vector<unsigned long long> counts() {
    std::vector<unsigned long long> c(LINE_ARC_SEG_FALLBACK_KINDS);
    LINE_ARC_SEG_exact_fallback_counts(c.data());
    return c;
}

struct IxnCase {
    const char* name;
    Piece a, b;
    int expect_n;
    PNT2_s expect_point;             // point 0
    int fallback;                    // the kind that must move, or -1: nothing may move
};

// Lines through the lattice: (0,0)-(3,1) and (0,1)-(3,0) cross at (1.5, 0.5),
// a tie in both coordinates that rounds (halves upward) to (2, 1).  The same
// crossing far out on the 31-bit grid, and a crossing well off any half.
// A line tangent to a half circle at (100, 105); two half circles touching at
// (105, 100).  Generic crossings of a line and a circle and of two circles.
const IxnCase IXN_CASES[] = {
    {"line/line lattice tie", line(0, 0, 3, 1), line(0, 1, 3, 0), 1, {2, 1}, LINE_ARC_SEG_FALLBACK_LL_ROUND},
    {"line/line lattice tie, large", line(1000000000, 1000000000, 1000000003, 1000000001),
     line(1000000000, 1000000001, 1000000003, 1000000000), 1, {1000000002, 1000000001},
     LINE_ARC_SEG_FALLBACK_LL_ROUND},
    {"line/line generic", line(12345, 67890, 1900000000, 1700000000), line(3, 1800000000, 1999999999, 7), 1,
     {0, 0}, -1},
    {"line/arc tangency", line(90, 105, 110, 105), arc(105, 100, 95, 100, 0.0), 1, {100, 105},
     LINE_ARC_SEG_FALLBACK_LA_DISC},
    {"line/arc generic", line(0, 7, 2000000000, 1000000000), arc(1300000000, 100000000, 700000000, 1700000000, 0.25),
     1, {0, 0}, -1},
    {"arc/arc tangency", arc(100, 95, 100, 105, 0.0), arc(110, 105, 110, 95, 0.0), 1, {105, 100},
     LINE_ARC_SEG_FALLBACK_AA_DISC},
    {"arc/arc generic", arc(1000000000, 500000000, 1000000000, 1500000000, 0.0),
     arc(1500000000, 1500000000, 1500000000, 500000000, 0.0), 2, {0, 0}, -1},
};

TEST(ExactFallbackCount, DegenerateCasesCountTheirFallbackGenericCasesNone) {
    for (const IxnCase& c : IXN_CASES) {
        SCOPED_TRACE(c.name);
        LINE_ARC_SEG_exact_fallback_counts_reset();
        PNT2_s pts[2];
        int flags[2];
        ASSERT_EQ(intersect(c.a, c.b, pts, flags), c.expect_n);
        const std::vector<unsigned long long> after = counts();
        const unsigned long long total = LINE_ARC_SEG_exact_fallback_counts(nullptr);
        if (c.fallback < 0) {
            EXPECT_EQ(total, 0u);
            continue;
        }
        EXPECT_EQ(pts[0].x, c.expect_point.x);
        EXPECT_EQ(pts[0].y, c.expect_point.y);
        EXPECT_GE(after[size_t(c.fallback)], 1u);
        // A second run counts again: the counters are cumulative.
        intersect(c.a, c.b, pts, flags);
        EXPECT_EQ(counts()[size_t(c.fallback)], 2 * after[size_t(c.fallback)]);
    }
}

TEST(ExactFallbackCount, ComparatorsCountOnlyNearTies) {
    // Along a line base: a point of the base against the point where a
    // crossing line starts on it.  Generic, the side tests are decided in
    // doubles; q at that very point (an exact tie) needs the exact product.
    const Piece base = line(0, 0, 2000000000, 1000000000);
    const Piece other = line(400000000, 200000000, 1500000000, 3);
    const PNT2_s generic_q{600000000, 300000000};
    LINE_ARC_SEG_exact_fallback_counts_reset();
    EXPECT_EQ(LINE_ARC_SEG_prd_compare_intxns_ps(&base.s, &base.p, &generic_q, &other.s, &other.p, 0), 1);
    EXPECT_EQ(LINE_ARC_SEG_exact_fallback_counts(nullptr), 0u);
    const PNT2_s tie_q = other.s;
    EXPECT_EQ(LINE_ARC_SEG_prd_compare_intxns_ps(&base.s, &base.p, &tie_q, &other.s, &other.p, 0), 0);
    EXPECT_GE(counts()[LINE_ARC_SEG_FALLBACK_CROSS], 1u);

    // The order of two named points: generic, decided in doubles; two lines
    // crossing the base at one point (a tie) need the exact order.
    const Piece c = line(1800000000, 0, 0, 1999999999);
    LINE_ARC_SEG_exact_fallback_counts_reset();
    EXPECT_EQ(LINE_ARC_SEG_prd_compare_intxns_ss(&base.s, &base.p, &other.s, &other.p, 0, &c.s, &c.p, 0), -1);
    EXPECT_EQ(LINE_ARC_SEG_exact_fallback_counts(nullptr), 0u);
    const Piece through = line(400000000, 200000000, 0, 1000000000);
    EXPECT_EQ(LINE_ARC_SEG_prd_compare_intxns_ss(&base.s, &base.p, &other.s, &other.p, 0, &through.s, &through.p, 0),
              0);
    EXPECT_EQ(counts()[LINE_ARC_SEG_FALLBACK_ALONG], 1u);

    // Around a point: two lines by their directions, a line and an arc by the
    // side of the arc's centre, both in doubles; a line tangent to the arc at
    // the point needs the exact side.
    const PNT2_s p{1000, 1000};
    const Piece l0 = line(1000, 1000, 5000, 1003), l1 = line(1000, 1000, 7, 4000);
    const Piece a0 = arc(1000, 1000, 3000, 2000, 0.5);
    LINE_ARC_SEG_exact_fallback_counts_reset();
    LINE_ARC_SEG_prd_compare_around(&l0.s, &l0.p, true, &l1.s, &l1.p, true, nullptr, nullptr, 0, 0, &p);
    EXPECT_EQ(LINE_ARC_SEG_exact_fallback_counts(nullptr), 0u);
    const int by_q = LINE_ARC_SEG_prd_compare_around(&a0.s, &a0.p, true, &l1.s, &l1.p, true, nullptr, nullptr, 0, 0, &p);
    EXPECT_EQ(LINE_ARC_SEG_exact_fallback_counts(nullptr), 0u);
    // The same point named by a third piece through it: decided in doubles too.
    const Piece third = line(0, 1000, 5000, 1000);
    EXPECT_EQ(LINE_ARC_SEG_prd_compare_around(&a0.s, &a0.p, true, &l1.s, &l1.p, true, &third.s, &third.p, 0, 0,
                                              nullptr),
              by_q);
    EXPECT_EQ(LINE_ARC_SEG_exact_fallback_counts(nullptr), 0u);
    const Piece half = arc(1000, 1000, 3000, 1000, 0.0), up = line(1000, 1000, 1000, 4000);
    LINE_ARC_SEG_prd_compare_around(&half.s, &half.p, true, &up.s, &up.p, true, nullptr, nullptr, 0, 0, &p);
    EXPECT_EQ(counts()[LINE_ARC_SEG_FALLBACK_AROUND], 1u);

    // Forms: arcs of different centres in doubles, of one circle exactly.
    const Piece a2 = arc(1000, 1000, 3000, 2000, 0.25);
    LINE_ARC_SEG_exact_fallback_counts_reset();
    EXPECT_FALSE(LINE_ARC_SEG_prd_seg_forms_are_identical(&a0.s, &a0.p, &a2.s, &a2.p));
    EXPECT_EQ(LINE_ARC_SEG_exact_fallback_counts(nullptr), 0u);
    const Piece a3 = arc(3000, 2000, 0, 3000, 0.0);  // on a0's circle, centre (1500, 2500)
    EXPECT_TRUE(LINE_ARC_SEG_prd_seg_forms_are_identical(&a0.s, &a0.p, &a3.s, &a3.p));
    EXPECT_EQ(counts()[LINE_ARC_SEG_FALLBACK_FORMS], 1u);
}

// Generic crossings of every kind of base and other piece: the comparators
// along the base and around a crossing decide in doubles, no counter moves.
TEST(ExactFallbackCount, GenericComparatorsNeverFallBack) {
    const Piece pieces[] = {
        line(0, 7, 2000000000, 1000000000),                                     // 0
        line(3, 1800000000, 1999999999, 7),                                      // 1
        arc(1300000000, 100000000, 700000000, 1700000000, 0.25),                 // 2
        arc(1500000000, 1500000000, 1500000000, 500000000, 0.0),                 // 3
        arc(400000000, 1900000000, 1700000000, 123456789, -0.375),               // 4
    };
    const int n = int(sizeof pieces / sizeof pieces[0]);
    int checked = 0;
    for (int i = 0; i < n; ++i) {
        const Piece& base = pieces[i];
        // The crossings of the base with every other piece, flags with the base first.
        struct Named {
            const Piece* piece;
            PNT2_s point;
            int flag;
        };
        std::vector<Named> named;
        for (int j = 0; j < n; ++j) {
            if (j == i) continue;
            const Piece& o = pieces[j];
            PNT2_s pts[2];
            int flags[2];
            const bool base_line = LINE_ARC_SEG_is_line(&base.p), o_line = LINE_ARC_SEG_is_line(&o.p);
            int m;
            if (base_line || !o_line) {
                m = intersect(base, o, pts, flags);
            } else {
                m = LINE_ARC_SEG_ixn_la_intersect(&o.p, &o.s, &base.p, &base.s, BOUND, pts, flags, 1);
            }
            for (int k = 0; k < m; ++k) named.push_back(Named{&o, pts[k], flags[k] & ~1});
        }
        for (size_t u = 0; u < named.size(); ++u) {
            for (size_t v = 0; v < named.size(); ++v) {
                const Named& x = named[u];
                const Named& y = named[v];
                if (x.piece == y.piece) continue;
                SCOPED_TRACE("base " + std::to_string(i) + " points " + std::to_string(u) + ", " + std::to_string(v));
                LINE_ARC_SEG_exact_fallback_counts_reset();
                LINE_ARC_SEG_prd_compare_intxns_ss(&base.s, &base.p, &x.piece->s, &x.piece->p, x.flag, &y.piece->s,
                                                   &y.piece->p, y.flag);
                LINE_ARC_SEG_prd_compare_intxns_ps(&base.s, &base.p, &x.point, &y.piece->s, &y.piece->p, y.flag);
                LINE_ARC_SEG_prd_compare_around(&base.s, &base.p, true, &y.piece->s, &y.piece->p, false, nullptr,
                                                nullptr, 0, 0, &x.point);
                EXPECT_EQ(LINE_ARC_SEG_exact_fallback_counts(nullptr), 0u);
                ++checked;
            }
        }
    }
    EXPECT_GE(checked, 20);
}

TEST(ExactFallbackCount, ResetClearsEveryCountAndTheSumIsReturned) {
    const Piece a = line(0, 0, 3, 1), b = line(0, 1, 3, 0);
    PNT2_s pts[2];
    int flags[2];
    LINE_ARC_SEG_exact_fallback_counts_reset();
    intersect(a, b, pts, flags);
    const std::vector<unsigned long long> c = counts();
    unsigned long long sum = 0;
    for (unsigned long long v : c) sum += v;
    EXPECT_GT(sum, 0u);
    EXPECT_EQ(LINE_ARC_SEG_exact_fallback_counts(nullptr), sum);
    LINE_ARC_SEG_exact_fallback_counts_reset();
    for (unsigned long long v : counts()) EXPECT_EQ(v, 0u);
    EXPECT_EQ(LINE_ARC_SEG_exact_fallback_counts(nullptr), 0u);
}

}  // namespace
