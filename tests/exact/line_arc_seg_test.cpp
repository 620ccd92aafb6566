// Line and arc pieces: the h conventions, creators, measures, boxes, line
// intersection and display.
#include "exact/line_arc_seg.h"

#include <glimra/testing.h>
#include <gtest/gtest.h>
#include <merrow1/int_grid_map.h>
#include <velte/cmem.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

const double kPi = 3.14159265358979323846;

class PieceTest : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "line_arc_seg test", __LINE__, __FILE__);
        glimra_test::clear();
    }
    void TearDown() override {
        CMEM_private_delete_pool(pool);
        glimra_test::clear();
    }
    CMEM_pool_s* pool = nullptr;
};

PNT2_s P(double x, double y) { return {x, y}; }

// Centre point of an arc.
PNT2_s centre_of(const LINE_ARC_SEG_s* arc, const PNT2_s& s) {
    PNT2_s c;
    LINE_ARC_SEG_calc_arc_data(arc, &s, &c, nullptr, nullptr);
    return c;
}

double dist(const PNT2_s& a, const PNT2_s& b) { return std::hypot(a.x - b.x, a.y - b.y); }

// ---------------------------------------------------------------------------
// h conventions
// ---------------------------------------------------------------------------

struct HCase {
    double h;
    PNT2_s centre;
    double radius, sweep;
    PNT2_s t0, t1;  // tangents (length = radius)
};

TEST_F(PieceTest, ArcParameterGivesCentreRadiusSweepAndTangents) {
    const double r2 = std::sqrt(2.0);
    // Chord (0,0) -> (2,0).  h = 0 and -1e101 are the two half circles: same
    // centre and sweep, opposite tangents.
    const HCase cases[] = {
        {0.0, {1, 0}, 1, kPi, {0, -1}, {0, 1}},
        {-1e101, {1, 0}, 1, kPi, {0, 1}, {0, -1}},
        {-1e100, {1, 0}, 1, kPi, {0, 1}, {0, -1}},
        {0.5, {1, 1}, r2, kPi / 2, {1, -1}, {1, 1}},
        {-0.5, {1, -1}, r2, kPi / 2, {1, 1}, {1, -1}},
    };
    const PNT2_s s = P(0, 0), e = P(2, 0);
    for (const HCase& c : cases) {
        SCOPED_TRACE(c.h);
        LINE_ARC_SEG_s* arc = LINE_ARC_SEG_create(pool, &s, &e, c.h);
        ASSERT_NE(arc, nullptr);
        EXPECT_EQ(arc->h, c.h);
        PNT2_s centre;
        double radius, sweep;
        LINE_ARC_SEG_calc_arc_data(arc, &s, &centre, &radius, &sweep);
        EXPECT_DOUBLE_EQ(centre.x, c.centre.x);
        EXPECT_DOUBLE_EQ(centre.y, c.centre.y);
        EXPECT_DOUBLE_EQ(radius, c.radius);
        EXPECT_DOUBLE_EQ(sweep, c.sweep);
        EXPECT_DOUBLE_EQ(LINE_ARC_SEG_arc_length(&s, arc), c.radius * c.sweep);
        PNT2_s t0, t1;
        LINE_ARC_SEG_tangents(arc, &s, &t0, &t1);
        EXPECT_DOUBLE_EQ(t0.x, c.t0.x);
        EXPECT_DOUBLE_EQ(t0.y, c.t0.y);
        EXPECT_DOUBLE_EQ(t1.x, c.t1.x);
        EXPECT_DOUBLE_EQ(t1.y, c.t1.y);
    }
}

TEST_F(PieceTest, LineLengthIsChordAndTangentsAreChord) {
    const PNT2_s s = P(1, 2), e = P(4, 6);
    LINE_ARC_SEG_s* line = LINE_ARC_SEG_create_line(pool, &e);
    EXPECT_EQ(line->h, 1e101);
    EXPECT_DOUBLE_EQ(LINE_ARC_SEG_arc_length(&s, line), 5.0);
    PNT2_s t0, t1;
    LINE_ARC_SEG_tangents(line, &s, &t0, &t1);
    EXPECT_EQ(t0.x, 3);
    EXPECT_EQ(t0.y, 4);
    EXPECT_EQ(t1.x, 3);
    EXPECT_EQ(t1.y, 4);
}

struct AlphaCase {
    PNT2_s end;
    double radius;
    int sense;
    double h;
};

TEST_F(PieceTest, CalcArcAlphaTable) {
    const PNT2_s s = P(0, 0);
    const AlphaCase cases[] = {
        {{2, 0}, std::sqrt(2.0), 1, 0.5},     // quarter circle, counter-clockwise
        {{2, 0}, std::sqrt(2.0), 0, -0.5},    // clockwise
        {{2, 0}, 0.5, 7, 0.0},                // radius below half the chord: half circle
        {{2, 0}, 0.5, 0, -1e101},
        {{2, 0}, 1.0, 1, 0.0},                // exactly half the chord
        {{2, 0}, 1.0, 0, -1e101},
        {{0, 0}, 3.0, 1, 1e101},              // zero chord
        {{0, 0}, 3.0, 0, 1e101},
    };
    for (const AlphaCase& c : cases) {
        PNT2_s chord = {-7, -7};
        const double h = LINE_ARC_SEG_calc_arc_alpha(&s, &c.end, c.radius, c.sense, &chord);
        EXPECT_DOUBLE_EQ(h, c.h) << c.end.x << " r " << c.radius << " sense " << c.sense;
        EXPECT_EQ(chord.x, c.end.x);
        EXPECT_EQ(chord.y, c.end.y);
    }
}

TEST_F(PieceTest, CreateArcSizesFromRadiusAndSense) {
    const PNT2_s s = P(1, 1), e = P(3, 1);
    LINE_ARC_SEG_s* ccw = LINE_ARC_SEG_create_arc(pool, &s, &e, std::sqrt(2.0), 1);
    LINE_ARC_SEG_s* cw = LINE_ARC_SEG_create_arc(pool, &s, &e, std::sqrt(2.0), 0);
    LINE_ARC_SEG_s* cw_half = LINE_ARC_SEG_create_arc(pool, &s, &e, 0.1, 0);
    EXPECT_DOUBLE_EQ(ccw->h, 0.5);
    EXPECT_DOUBLE_EQ(ccw->cx, 1);
    EXPECT_DOUBLE_EQ(ccw->cy, 1);
    EXPECT_DOUBLE_EQ(cw->h, -0.5);
    EXPECT_DOUBLE_EQ(cw->cy, -1);
    // The clockwise half circle's centre is the chord midpoint.
    EXPECT_EQ(cw_half->h, -1e101);
    EXPECT_EQ(cw_half->cx, 1);
    EXPECT_EQ(cw_half->cy, 0);
}

// Without a start point no centre can be formed: the piece must be a line
// (a line-sized record carrying an arc's h would be read as an arc).
TEST_F(PieceTest, CreateWithoutStartMakesALine) {
    const PNT2_s e = P(5, 6);
    LINE_ARC_SEG_s* piece = LINE_ARC_SEG_create(pool, nullptr, &e, 0.25);
    ASSERT_NE(piece, nullptr);
    EXPECT_TRUE(LINE_ARC_SEG_is_line(piece));
    EXPECT_EQ(piece->x, 5);
    EXPECT_EQ(piece->y, 6);
    // Copying reads the record by its h: stays within the line record.
    LINE_ARC_SEG_s* copy = LINE_ARC_SEG_copy(piece, nullptr);
    EXPECT_TRUE(LINE_ARC_SEG_is_line(copy));
    // A line value of h is kept as given.
    const PNT2_s s = P(0, 0);
    EXPECT_EQ(LINE_ARC_SEG_create(pool, &s, &e, 1e100)->h, 1e100);
    EXPECT_EQ(LINE_ARC_SEG_create(pool, nullptr, &e, 3e101)->h, 3e101);
}

// ---------------------------------------------------------------------------
// Copies and flags
// ---------------------------------------------------------------------------

TEST_F(PieceTest, CopyKeepsFlagsAndTemplateCreatorsDropMultiplicity) {
    const PNT2_s s = P(0, 0), e = P(4, 0);
    LINE_ARC_SEG_s* line = LINE_ARC_SEG_create_line(pool, &e);
    line->flags = 0x20F;
    LINE_ARC_SEG_s* arc = LINE_ARC_SEG_create(pool, &s, &e, 0.75);
    arc->flags = 0x201;

    // Copies in the piece's own pool (null pool) or another pool, all flags.
    CMEM_pool_s* other = CMEM_private_create_pool(0, "other", __LINE__, __FILE__);
    LINE_ARC_SEG_s* lc = LINE_ARC_SEG_copy(line, nullptr);
    LINE_ARC_SEG_s* ac = LINE_ARC_SEG_copy(arc, other);
    EXPECT_EQ(CMEM_private_ask_pool_of_object(lc), pool);
    EXPECT_EQ(CMEM_private_ask_pool_of_object(ac), other);
    EXPECT_EQ(lc->flags, 0x20Fu);
    EXPECT_EQ(lc->h, 1e101);
    EXPECT_EQ(ac->flags, 0x201u);
    EXPECT_EQ(ac->cx, arc->cx);
    EXPECT_EQ(ac->cy, arc->cy);
    EXPECT_EQ(LINE_ARC_SEG_copy(nullptr, pool), nullptr);
    CMEM_private_delete_pool(other);

    // Template creators clear 0x200; the centre-sized creator keeps it.
    const PNT2_s m = P(2, 0);
    EXPECT_EQ(LINE_ARC_SEG_create_line_from_line(pool, &m, line)->flags, 0x00Fu);
    EXPECT_EQ(LINE_ARC_SEG_create_arc_from_arc(pool, &s, &e, arc, &s, 0)->flags, 0x001u);
    EXPECT_EQ(LINE_ARC_SEG_create_arc_from_arc(pool, &s, &m, arc, &s, 0)->flags, 0x001u);
    EXPECT_EQ(LINE_ARC_SEG_create_arc_from_arc_centre(pool, &s, &m, arc, &s, 0)->flags, 0x201u);
}

TEST_F(PieceTest, NullPoolCreatorsFillTheirOwnStaticRecord) {
    const PNT2_s s = P(0, 0), e = P(2, 0), a = P(1, -1), b = P(3, 3);
    LINE_ARC_SEG_s* arc = LINE_ARC_SEG_create(pool, &s, &e, 0.0);
    LINE_ARC_SEG_s* l1 = LINE_ARC_SEG_create_line_from_line(nullptr, &a, arc);
    LINE_ARC_SEG_s* a1 = LINE_ARC_SEG_create_arc_from_arc(nullptr, &s, &a, arc, &s, 0);
    LINE_ARC_SEG_s* c1 = LINE_ARC_SEG_create_arc_from_arc_centre(nullptr, &s, &a, arc, &s, 0);
    EXPECT_NE(l1, a1);
    EXPECT_NE(a1, c1);
    EXPECT_NE(l1, c1);
    // The next call of the same creator overwrites its record only.
    LINE_ARC_SEG_s* l2 = LINE_ARC_SEG_create_line_from_line(nullptr, &b, arc);
    EXPECT_EQ(l1, l2);
    EXPECT_EQ(l1->x, 3);
    EXPECT_EQ(a1->x, 1);
    EXPECT_EQ(a1->y, -1);
}

// ---------------------------------------------------------------------------
// Sub-arcs, trimming and splitting
// ---------------------------------------------------------------------------

TEST_F(PieceTest, SubArcOfHalfCircleIsQuarterCircleOfTheSameCircle) {
    const PNT2_s s = P(0, 0), e = P(2, 0), mid = P(1, -1), top = P(1, 1);
    LINE_ARC_SEG_s* ccw = LINE_ARC_SEG_create(pool, &s, &e, 0.0);
    // Forward: same sense.
    LINE_ARC_SEG_s* q = LINE_ARC_SEG_create_arc_from_arc(pool, &s, &mid, ccw, &s, 0);
    EXPECT_DOUBLE_EQ(q->h, 0.5);
    EXPECT_DOUBLE_EQ(centre_of(q, s).x, 1);
    EXPECT_DOUBLE_EQ(centre_of(q, s).y, 0);
    // Reverse: the other sense, same circle.
    LINE_ARC_SEG_s* r = LINE_ARC_SEG_create_arc_from_arc(pool, &mid, &s, ccw, &s, 1);
    EXPECT_DOUBLE_EQ(r->h, -0.5);
    EXPECT_DOUBLE_EQ(centre_of(r, mid).x, 1);
    EXPECT_DOUBLE_EQ(centre_of(r, mid).y, 0);
    // A zero chord is a line with a zero centre vector.
    double h;
    PNT2_s c;
    LINE_ARC_SEG__calc_sub_arc(&s, ccw, &mid, &mid, 0, &h, &c);
    EXPECT_EQ(h, 1e101);
    EXPECT_EQ(c.x, 0);
    EXPECT_EQ(c.y, 0);
    // A clockwise sub-arc too wide for the radius is the clockwise half circle.
    LINE_ARC_SEG_s* cw = LINE_ARC_SEG_create(pool, &s, &e, -1e101);
    const PNT2_s far = P(3, 0);
    LINE_ARC_SEG__calc_sub_arc(&s, cw, &s, &far, 0, &h, &c);
    EXPECT_EQ(h, -1e101);
    EXPECT_EQ(c.x, 1.5);
    EXPECT_EQ(c.y, 0);
    // From the centre: the farther new end sets the radius; a line source
    // gives a line.
    // Centre (1, 0): |top - centre|^2 = 1, |far - centre|^2 = 4, |far - top|^2 = 5.
    LINE_ARC_SEG__calc_sub_arc_from_centre(&s, ccw, &top, &far, 0, &h, &c);
    EXPECT_DOUBLE_EQ(h, std::sqrt(4.0 / 5.0 - 0.25));
    LINE_ARC_SEG_s* line = LINE_ARC_SEG_create_line(pool, &e);
    LINE_ARC_SEG__calc_sub_arc_from_centre(&s, line, &s, &e, 0, &h, &c);
    EXPECT_EQ(h, 1e101);
}

// A sub-arc cut from a half circle of radius 2^30 at a point left up to 0.4
// off the circle (a crossing rounded to the grid) keeps the source circle:
// its radius within the offset and the middle of its sweep within the offset
// of the circle, whatever its sweep; from a quarter circle up its centre
// within the offset of the source centre (a shorter chord fixes the centre
// less well across it, but the arc still runs along the circle).  Sized from
// the radius alone, a sub-arc of nearly a half circle would take its centre
// as far as sqrt(r u) from the source centre along the chord's bisector, and
// its middle as far off the circle (some 2 10^4 here).
TEST_F(PieceTest, SubArcsWithEndsOffTheCircleKeepTheSourceCentre) {
    const double r = std::ldexp(1.0, 30);
    const PNT2_s s = P(0, r), e = P(2 * r, r), m = P(r, r);
    LINE_ARC_SEG_s* ccw = LINE_ARC_SEG_create(pool, &s, &e, 0.0);  // through (r, 0)
    for (double sweep : {kPi - 1e-9, kPi - 1e-5, kPi - 1e-3, 2.5, 1.2, 0.3}) {
        for (double u : {-0.4, 0.0, 0.4}) {
            // The point at that angle from s along the arc, u off the circle.
            const double a = kPi + sweep;
            const PNT2_s q = P(m.x + (r + u) * std::cos(a), m.y + (r + u) * std::sin(a));
            for (int from_centre = 0; from_centre < 2; ++from_centre) {
                for (int reverse = 0; reverse < 2; ++reverse) {
                    SCOPED_TRACE("sweep " + std::to_string(sweep) + ", u " + std::to_string(u) +
                                 (from_centre ? ", from the centre" : "") + (reverse ? ", reversed" : ""));
                    const PNT2_s& from = reverse ? q : s;
                    const PNT2_s& to = reverse ? s : q;
                    LINE_ARC_SEG_s* sub =
                        from_centre ? LINE_ARC_SEG_create_arc_from_arc_centre(pool, &from, &to, ccw, &s, reverse)
                                    : LINE_ARC_SEG_create_arc_from_arc(pool, &from, &to, ccw, &s, reverse);
                    EXPECT_EQ(sub->h < 0, reverse == 1);
                    PNT2_s c;
                    double radius;
                    LINE_ARC_SEG_calc_arc_data(sub, &from, &c, &radius, nullptr);
                    EXPECT_LE(std::fabs(radius - r), std::fabs(u) + 1e-6);
                    if (sweep >= kPi / 2) {
                        EXPECT_LE(dist(c, m), 1.5 * std::fabs(u) + 1e-6);
                    }
                    // The middle of the sweep: a radius from the centre across
                    // the chord, to its right for a counter-clockwise arc.
                    const double dx = to.x - from.x, dy = to.y - from.y, length = std::hypot(dx, dy);
                    const double side = sub->h >= 0 ? radius / length : -radius / length;
                    EXPECT_LE(std::fabs(dist(P(c.x + side * dy, c.y - side * dx), m) - r), std::fabs(u) + 1e-6);
                }
            }
        }
    }
    // Ends a hair more than a half circle apart give the half circle of the
    // sense: the centre at the chord's middle.
    const PNT2_s beyond = P(2 * r, r + 0.25);
    double h;
    PNT2_s c;
    LINE_ARC_SEG__calc_sub_arc(&s, ccw, &s, &beyond, 0, &h, &c);
    EXPECT_EQ(h, 0.0);
    LINE_ARC_SEG__calc_sub_arc(&s, ccw, &beyond, &s, 1, &h, &c);
    EXPECT_EQ(h, -1e101);
}

TEST_F(PieceTest, TrimKeepsTheCircle) {
    const PNT2_s s = P(0, 0), e = P(2, 0), mid = P(1, -1);
    LINE_ARC_SEG_s* arc = LINE_ARC_SEG_create(pool, &s, &e, 0.0);
    LINE_ARC_SEG_trim(&s, arc, &mid, &e);
    EXPECT_EQ(arc->x, 2);
    EXPECT_EQ(arc->y, 0);
    EXPECT_DOUBLE_EQ(arc->h, 0.5);
    EXPECT_DOUBLE_EQ(centre_of(arc, mid).x, 1);
    EXPECT_DOUBLE_EQ(centre_of(arc, mid).y, 0);
    // A line only moves its end.
    LINE_ARC_SEG_s* line = LINE_ARC_SEG_create_line(pool, &e);
    LINE_ARC_SEG_trim(&s, line, &s, &mid);
    EXPECT_EQ(line->h, 1e101);
    EXPECT_EQ(line->y, -1);
}

TEST_F(PieceTest, SplitHalfCircleGivesQuarterCirclesOfHalfH) {
    const PNT2_s s = P(0, 0), e = P(2, 0);
    struct {
        double h, half_h;
        PNT2_s mid;
    } cases[] = {{0.0, 0.5, {1, -1}}, {-1e101, -0.5, {1, 1}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.h);
        LINE_ARC_SEG_s* first = LINE_ARC_SEG_create(pool, &s, &e, c.h);
        LINE_ARC_SEG_s* second = LINE_ARC_SEG_split_arc(first, &s, pool);
        ASSERT_NE(second, nullptr);
        EXPECT_DOUBLE_EQ(first->h, c.half_h);
        EXPECT_DOUBLE_EQ(second->h, c.half_h);
        EXPECT_NEAR(first->x, c.mid.x, 1e-15);
        EXPECT_NEAR(first->y, c.mid.y, 1e-15);
        EXPECT_EQ(second->x, 2);
        EXPECT_EQ(second->y, 0);
        // Both halves keep the circle.
        const PNT2_s m = {first->x, first->y};
        EXPECT_NEAR(centre_of(first, s).x, 1, 1e-15);
        EXPECT_NEAR(centre_of(second, m).x, 1, 1e-15);
        EXPECT_NEAR(centre_of(second, m).y, 0, 1e-15);
    }
    // A line is not split.
    LINE_ARC_SEG_s* line = LINE_ARC_SEG_create_line(pool, &e);
    EXPECT_EQ(LINE_ARC_SEG_split_arc(line, &s, pool), nullptr);
}

TEST_F(PieceTest, SplitKeepsCircleAndHalvesTheSweep) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> coord(-100, 100), hd(-20, 20);
    for (int i = 0; i < 200; ++i) {
        const PNT2_s s = P(coord(rng), coord(rng)), e = P(coord(rng), coord(rng));
        const double h = hd(rng);
        LINE_ARC_SEG_s* first = LINE_ARC_SEG_create(pool, &s, &e, h);
        PNT2_s centre;
        double radius, sweep;
        LINE_ARC_SEG_calc_arc_data(first, &s, &centre, &radius, &sweep);
        LINE_ARC_SEG_s* second = LINE_ARC_SEG_split_arc(first, &s, pool);
        const PNT2_s m = {first->x, first->y};
        double r1, s1, r2, s2;
        PNT2_s c1, c2;
        LINE_ARC_SEG_calc_arc_data(first, &s, &c1, &r1, &s1);
        LINE_ARC_SEG_calc_arc_data(second, &m, &c2, &r2, &s2);
        const double tol = 1e-11 * (1 + radius);
        EXPECT_NEAR(dist(m, centre), radius, tol);
        EXPECT_NEAR(dist(c1, centre), 0, tol);
        EXPECT_NEAR(dist(c2, centre), 0, tol);
        EXPECT_NEAR(r1, radius, tol);
        EXPECT_NEAR(r2, radius, tol);
        EXPECT_NEAR(s1, sweep / 2, 1e-12);
        EXPECT_NEAR(s2, sweep / 2, 1e-12);
        EXPECT_EQ(first->h < 0, h < 0);
        // The two halves meet at the same point: the midpoint is equidistant
        // from the ends.
        EXPECT_NEAR(dist(m, s), dist(m, e), tol);
    }
}

// ---------------------------------------------------------------------------
// Parameters and points along a piece
// ---------------------------------------------------------------------------

TEST_F(PieceTest, CalcParamOfEndsAndBeyond) {
    const PNT2_s s = P(0, 0), e = P(2, 0);
    LINE_ARC_SEG_s* arc = LINE_ARC_SEG_create(pool, &s, &e, 0.0);
    LINE_ARC_SEG_s* line = LINE_ARC_SEG_create_line(pool, &e);
    const PNT2_s mid = P(1, -1), beyond = P(3, 0), before = P(-1, 0), half = P(1, 0);
    EXPECT_EQ(LINE_ARC_SEG_calc_param(&s, arc, &s), 0.0);
    EXPECT_DOUBLE_EQ(LINE_ARC_SEG_calc_param(&s, arc, &e), 1.0);
    EXPECT_DOUBLE_EQ(LINE_ARC_SEG_calc_param(&s, arc, &mid), 0.5);
    EXPECT_EQ(LINE_ARC_SEG_calc_param(&s, line, &s), 0.0);
    EXPECT_EQ(LINE_ARC_SEG_calc_param(&s, line, &e), 1.0);
    EXPECT_EQ(LINE_ARC_SEG_calc_param(&s, line, &half), 0.5);
    EXPECT_EQ(LINE_ARC_SEG_calc_param(&s, line, &beyond), 1.0);
    EXPECT_EQ(LINE_ARC_SEG_calc_param(&s, line, &before), 0.0);
    // A piece shorter than the length tolerance gives 0.
    const PNT2_s tiny = P(1e-9, 0);
    LINE_ARC_SEG_s* short_line = LINE_ARC_SEG_create_line(pool, &tiny);
    EXPECT_EQ(LINE_ARC_SEG_calc_param(&s, short_line, &tiny), 0.0);
}

TEST_F(PieceTest, CalcNearestParam) {
    const PNT2_s s = P(0, 0), e = P(2, 0);
    LINE_ARC_SEG_s* line = LINE_ARC_SEG_create_line(pool, &e);
    struct {
        PNT2_s p;
        double t;
    } line_cases[] = {{{1, 5}, 0.5}, {{-3, 1}, 0.0}, {{9, -1}, 1.0}, {{0.5, 0}, 0.25}};
    for (const auto& c : line_cases) EXPECT_DOUBLE_EQ(LINE_ARC_SEG_calc_nearest_param(&s, line, &c.p), c.t);

    // Counter-clockwise half circle below the chord, centre (1, 0).
    LINE_ARC_SEG_s* ccw = LINE_ARC_SEG_create(pool, &s, &e, 0.0);
    const double r = std::sqrt(0.5);
    struct {
        PNT2_s p;
        double t;
    } arc_cases[] = {
        {{1, -2}, 0.5},              // straight below the centre: half way
        {{1 - r, -r}, 0.25},         // 45 degrees from the start
        {{1 + 2 * r, -2 * r}, 0.75}, // 45 degrees before the end, outside the circle
        {{1, 0}, 0.0},               // the centre
        {{-1, 1}, 0.0},              // outside the sector, nearer the start
        {{3, 1}, 1.0},               // outside the sector, nearer the end
    };
    for (const auto& c : arc_cases)
        EXPECT_NEAR(LINE_ARC_SEG_calc_nearest_param(&s, ccw, &c.p), c.t, 1e-15) << c.p.x << "," << c.p.y;
    // The clockwise half circle lies above the chord.
    LINE_ARC_SEG_s* cw = LINE_ARC_SEG_create(pool, &s, &e, -1e101);
    const PNT2_s above = P(1 - r, r), below = P(1 - r, -r);
    EXPECT_NEAR(LINE_ARC_SEG_calc_nearest_param(&s, cw, &above), 0.25, 1e-15);
    EXPECT_EQ(LINE_ARC_SEG_calc_nearest_param(&s, cw, &below), 0.0);
}

TEST_F(PieceTest, SubArcPointFollowsTheArcsSense) {
    const PNT2_s s = P(0, 0), e = P(2, 0);
    LINE_ARC_SEG_s* ccw = LINE_ARC_SEG_create(pool, &s, &e, 0.0);
    LINE_ARC_SEG_s* cw = LINE_ARC_SEG_create(pool, &s, &e, -1e101);
    PNT2_s p;
    LINE_ARC_SEG_calc_sub_arc_point(&s, ccw, &s, &e, 0.5, &p);
    EXPECT_NEAR(p.x, 1, 1e-15);
    EXPECT_NEAR(p.y, -1, 1e-15);
    LINE_ARC_SEG_calc_sub_arc_point(&s, cw, &s, &e, 0.5, &p);
    EXPECT_NEAR(p.x, 1, 1e-15);
    EXPECT_NEAR(p.y, 1, 1e-15);
    // A third of the way between the bottom and the end of the ccw arc.
    const PNT2_s bottom = P(1, -1);
    LINE_ARC_SEG_calc_sub_arc_point(&s, ccw, &bottom, &e, 1.0 / 3, &p);
    EXPECT_NEAR(p.x, 1 + std::sin(kPi / 6), 1e-15);
    EXPECT_NEAR(p.y, -std::cos(kPi / 6), 1e-15);
    // Ends and clamps.
    LINE_ARC_SEG_calc_sub_arc_point(&s, ccw, &bottom, &e, 0.0, &p);
    EXPECT_EQ(p.x, 1);
    EXPECT_EQ(p.y, -1);
    LINE_ARC_SEG_calc_sub_arc_point(&s, ccw, &bottom, &e, 1.5, &p);
    EXPECT_EQ(p.x, 2);
    EXPECT_EQ(p.y, 0);
    LINE_ARC_SEG_calc_sub_arc_point(&s, ccw, &bottom, &bottom, 0.5, &p);
    EXPECT_EQ(p.x, 1);
    EXPECT_EQ(p.y, -1);
}

TEST_F(PieceTest, SubArcLengthAndCentreUpdates) {
    const PNT2_s s = P(0, 0), e = P(2, 0), bottom = P(1, -1);
    LINE_ARC_SEG_s* arc = LINE_ARC_SEG_create(pool, &s, &e, 0.0);
    EXPECT_DOUBLE_EQ(LINE_ARC_SEG_sub_arc_length(&s, &bottom, arc, &s), kPi / 2);
    EXPECT_DOUBLE_EQ(LINE_ARC_SEG_sub_arc_length(&s, &e, arc, &s), kPi);
    // Re-basing the centre vector on a moved start.
    const PNT2_s shift = P(0.5, -0.25);
    LINE_ARC_SEG_update_centre(arc, &shift);
    EXPECT_EQ(arc->cx, 0.5);
    EXPECT_EQ(arc->cy, 0.25);
    const PNT2_s new_start = P(0, 2);
    LINE_ARC_SEG_set_centre(arc, &new_start);
    EXPECT_EQ(arc->cx, 1);
    EXPECT_EQ(arc->cy, -1);
    double* c = LINE_ARC_SEG_arc_centre(arc);
    EXPECT_EQ(c, &arc->cx);
}

// ---------------------------------------------------------------------------
// Boxes
// ---------------------------------------------------------------------------

TEST_F(PieceTest, BboxOfHalfCircleWithAndWithoutWhole) {
    const PNT2_s s = P(0, 0), e = P(2, 0);
    LINE_ARC_SEG_s* ccw = LINE_ARC_SEG_create(pool, &s, &e, 0.0);
    double box[4];
    LINE_ARC_SEG_get_bbox(ccw, &s, false, box);
    EXPECT_EQ(box[0], 0);
    EXPECT_EQ(box[1], 2);
    EXPECT_EQ(box[2], -1 - 2.22e-15);
    EXPECT_EQ(box[3], 0);
    LINE_ARC_SEG_get_bbox(ccw, &s, true, box);
    EXPECT_EQ(box[0], 0);
    EXPECT_EQ(box[1], 2);
    EXPECT_EQ(box[2], -2);
    EXPECT_EQ(box[3], 0);
    // The clockwise half circle bulges upward.
    LINE_ARC_SEG_s* cw = LINE_ARC_SEG_create(pool, &s, &e, -1e101);
    LINE_ARC_SEG_get_bbox(cw, &s, true, box);
    EXPECT_EQ(box[2], 0);
    EXPECT_EQ(box[3], 2);
    // A vertical chord reaches an x extreme: rightward for ccw upward travel.
    const PNT2_s up = P(0, 2);
    LINE_ARC_SEG_s* v = LINE_ARC_SEG_create(pool, &s, &up, 0.0);
    LINE_ARC_SEG_get_bbox(v, &s, false, box);
    EXPECT_EQ(box[0], 0);
    EXPECT_EQ(box[1], 1 + 2.22e-15);
    EXPECT_EQ(box[2], 0);
    EXPECT_EQ(box[3], 2);
}

// Every point of an arc lies inside its box and its quick box.
TEST_F(PieceTest, BoxesHoldTheArc) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> coord(-50, 50), hd(-5, 5);
    for (int i = 0; i < 300; ++i) {
        const PNT2_s s = P(std::round(coord(rng)), std::round(coord(rng)));
        const PNT2_s e = P(std::round(coord(rng)), std::round(coord(rng)));
        if (s.x == e.x && s.y == e.y) continue;
        LINE_ARC_SEG_s* arc = LINE_ARC_SEG_create(pool, &s, &e, i % 10 == 0 ? -1e101 : hd(rng));
        double box[4], whole[4], quick[4] = {1e19, -1e19, 1e19, -1e19};
        LINE_ARC_SEG_get_bbox(arc, &s, false, box);
        LINE_ARC_SEG_get_bbox(arc, &s, true, whole);
        LINE_ARC_SEG_quick_expand_bbox(arc, &s, quick);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(whole[k], std::round(whole[k]));
        double r;
        LINE_ARC_SEG_calc_arc_data(arc, &s, nullptr, &r, nullptr);
        for (int j = 0; j <= 64; ++j) {
            PNT2_s p;
            LINE_ARC_SEG_calc_sub_arc_point(&s, arc, &s, &e, j / 64.0, &p);
            const double slack = 1e-12 * (1 + r);
            for (const double* b : {box, whole, quick}) {
                EXPECT_GE(p.x, b[0] - slack);
                EXPECT_LE(p.x, b[1] + slack);
                EXPECT_GE(p.y, b[2] - slack);
                EXPECT_LE(p.y, b[3] + slack);
            }
        }
        // The exact box is tight: within a hair of the sampled extremes'
        // circle extremes (at most the radius beyond the end points).
        EXPECT_LE(box[1] - box[0], 2 * r + 1e-9);
    }
}

TEST_F(PieceTest, QuickExpandGrowsByEndsAndHalfChordBulge) {
    const PNT2_s s = P(0, 0), e = P(2, 2);
    LINE_ARC_SEG_s* ccw = LINE_ARC_SEG_create(pool, &s, &e, 0.0);
    double box[4] = {1e19, -1e19, 1e19, -1e19};
    LINE_ARC_SEG_quick_expand_bbox(ccw, &s, box);
    // Half the chord turned right is (1, -1): added to the larger x, smaller y.
    EXPECT_EQ(box[0], 0);
    EXPECT_EQ(box[1], 3);
    EXPECT_EQ(box[2], -1);
    EXPECT_EQ(box[3], 2);
    LINE_ARC_SEG_s* line = LINE_ARC_SEG_create_line(pool, &e);
    double lbox[4] = {1, 1, 1, 1};
    LINE_ARC_SEG_quick_expand_bbox(line, &s, lbox);
    EXPECT_EQ(lbox[0], 0);
    EXPECT_EQ(lbox[1], 2);
    EXPECT_EQ(lbox[2], 0);
    EXPECT_EQ(lbox[3], 2);
}

// ---------------------------------------------------------------------------
// Intersection with an infinite line
// ---------------------------------------------------------------------------

TEST_F(PieceTest, ApproxIntersectionWithLine) {
    const PNT2_s origin = P(0, 0), ux = P(1, 0);
    PNT2_s pts[2];
    // A line crossing the x axis once.
    {
        const PNT2_s s = P(1, -1), e = P(3, 1);
        LINE_ARC_SEG_s* line = LINE_ARC_SEG_create_line(pool, &e);
        ASSERT_EQ(LINE_ARC_SEG_approx_intxn_with_line(&s, line, &origin, &ux, 1e-9, pts), 1);
        EXPECT_DOUBLE_EQ(pts[0].x, 2);
        EXPECT_DOUBLE_EQ(pts[0].y, 0);
        // Both on one side: none.
        const PNT2_s s2 = P(1, 1);
        EXPECT_EQ(LINE_ARC_SEG_approx_intxn_with_line(&s2, line, &origin, &ux, 1e-9, pts), 0);
    }
    // A line lying on it: both ends, ordered along u.
    {
        const PNT2_s s = P(5, 1e-12), e = P(-1, 0);
        LINE_ARC_SEG_s* line = LINE_ARC_SEG_create_line(pool, &e);
        ASSERT_EQ(LINE_ARC_SEG_approx_intxn_with_line(&s, line, &origin, &ux, 1e-9, pts), 2);
        EXPECT_EQ(pts[0].x, -1);
        EXPECT_EQ(pts[1].x, 5);
    }
    // A ccw half circle from (-1, 1) to (1, 1) bulging down over the axis:
    // centre (0, 1), radius 1 - tangent; radius 2 version crosses twice.
    {
        const PNT2_s s = P(-2, 1), e = P(2, 1);
        LINE_ARC_SEG_s* arc = LINE_ARC_SEG_create(pool, &s, &e, 0.0);  // centre (0, 1), r 2
        ASSERT_EQ(LINE_ARC_SEG_approx_intxn_with_line(&s, arc, &origin, &ux, 1e-9, pts), 2);
        EXPECT_DOUBLE_EQ(pts[0].x, -std::sqrt(3.0));
        EXPECT_DOUBLE_EQ(pts[1].x, std::sqrt(3.0));
        // The clockwise one bulges away: no crossing.
        LINE_ARC_SEG_s* cw = LINE_ARC_SEG_create(pool, &s, &e, -1e101);
        EXPECT_EQ(LINE_ARC_SEG_approx_intxn_with_line(&s, cw, &origin, &ux, 1e-9, pts), 0);
    }
    // An arc with ends on opposite sides crosses once: quarter of the circle
    // about (0, 0) of radius 2 from (0, -2) to (2, 0)... counter-clockwise.
    {
        const PNT2_s s = P(0, -2), e = P(2, 0.5);
        LINE_ARC_SEG_s* arc = LINE_ARC_SEG_create_arc(pool, &s, &e, 2.5, 1);
        PNT2_s c;
        double r;
        LINE_ARC_SEG_calc_arc_data(arc, &s, &c, &r, nullptr);
        ASSERT_EQ(LINE_ARC_SEG_approx_intxn_with_line(&s, arc, &origin, &ux, 1e-9, pts), 1);
        EXPECT_NEAR(pts[0].y, 0, 1e-12);
        EXPECT_NEAR(dist(pts[0], c), r, 1e-12);
        EXPECT_GT(pts[0].x, 0);
        EXPECT_LT(pts[0].x, 2);
    }
    // An arc with its start on the line keeps it in its place.
    {
        const PNT2_s s = P(-2, 0), e = P(2, 0.5);
        LINE_ARC_SEG_s* arc = LINE_ARC_SEG_create_arc(pool, &s, &e, 3.0, 1);  // bulges below
        ASSERT_EQ(LINE_ARC_SEG_approx_intxn_with_line(&s, arc, &origin, &ux, 1e-9, pts), 2);
        EXPECT_EQ(pts[0].x, -2);
        EXPECT_EQ(pts[0].y, 0);
        EXPECT_GT(pts[1].x, 0);
        EXPECT_LT(pts[1].x, 2);
    }
}

// ---------------------------------------------------------------------------
// Display
// ---------------------------------------------------------------------------

TEST_F(PieceTest, DisplayDrawsLinesAndArcsInTheActiveView) {
    glimra_test::set_active_view(42);
    const PNT2_s s = P(0, 0), e = P(2, 0);
    LINE_ARC_SEG_s* line = LINE_ARC_SEG_create_line(pool, &e);
    LINE_ARC_SEG_display(&s, line, nullptr, -1, 3, 1, 2);
    LINE_ARC_SEG_s* ccw = LINE_ARC_SEG_create(pool, &s, &e, 0.5);
    LINE_ARC_SEG_display(&s, ccw, nullptr, -1, 4, 0, 1);
    LINE_ARC_SEG_s* cw = LINE_ARC_SEG_create(pool, &s, &e, -0.5);
    LINE_ARC_SEG_display(&s, cw, nullptr, -1, 4, 0, 1);

    const auto& calls = glimra_test::calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].op, "polyline");
    EXPECT_EQ(calls[0].view, 42u);
    EXPECT_EQ(calls[0].ints, (std::vector<int>{3, 1, 2, 3, 2}));
    EXPECT_EQ(calls[0].values, (std::vector<double>{0, 0, 0, 2, 0, 0}));

    // Counter-clockwise: frame x axis from the centre (1, 1) to the start.
    const double k = 1 / std::sqrt(2.0);
    EXPECT_EQ(calls[1].op, "arc");
    EXPECT_EQ(calls[1].ints, (std::vector<int>{4, 0, 1}));
    const std::vector<double> ccw_expected = {-k, -k, 0, k, -k, 0, 0, 0, 1, 1, 1, 0, std::sqrt(2.0), 0, kPi / 2};
    ASSERT_EQ(calls[1].values.size(), ccw_expected.size());
    for (size_t i = 0; i < ccw_expected.size(); ++i) EXPECT_NEAR(calls[1].values[i], ccw_expected[i], 1e-15) << i;
    // Clockwise: centre (1, -1), frame x axis towards the end (2, 0).
    const std::vector<double> cw_expected = {k, k, 0, -k, k, 0, 0, 0, 1, 1, -1, 0, std::sqrt(2.0), 0, kPi / 2};
    for (size_t i = 0; i < cw_expected.size(); ++i) EXPECT_NEAR(calls[2].values[i], cw_expected[i], 1e-15) << i;
}

TEST_F(PieceTest, DisplayOfGridPiecesAndSubSegmentsIsInReals) {
    INT_GRID_MAP_s* map = INT_GRID_MAP__create_uniform(pool, 10, 20, 0, 30, 40, 0, 4);
    const double g = INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_GRID_SIZE>(map)(map, 0);
    // Grid line (0,0) -> (4,0), shown from (10, 20) four grid units along x.
    const PNT2_s s = P(0, 0), e = P(4, 0);
    LINE_ARC_SEG_s* line = LINE_ARC_SEG_create_line(pool, &e);
    LINE_ARC_SEG_display(&s, line, map, 0, 1, 1, 1);
    ASSERT_EQ(glimra_test::calls().size(), 1u);
    const auto& v = glimra_test::calls()[0].values;
    EXPECT_DOUBLE_EQ(v[0], 10);
    EXPECT_DOUBLE_EQ(v[1], 20);
    EXPECT_DOUBLE_EQ(v[3], 10 + 4 * g);
    EXPECT_DOUBLE_EQ(v[4], 20);
    // The record itself is left on the grid.
    EXPECT_EQ(line->x, 4);

    // A sub-segment of a half circle (0,0)->(4,0): the quarter to (2,-2).
    glimra_test::clear();
    LINE_ARC_SEG_s* arc = LINE_ARC_SEG_create(pool, &s, &e, 0.0);
    const PNT2_s bottom = P(2, -2);
    LINE_ARC_SEG_display_sub_segment(&s, arc, &s, &bottom, 0, map, 0, 1, 1, 1);
    ASSERT_EQ(glimra_test::calls().size(), 1u);
    const auto& a = glimra_test::calls()[0].values;
    EXPECT_EQ(glimra_test::calls()[0].op, "arc");
    EXPECT_DOUBLE_EQ(a[9], 10 + 2 * g);   // centre x
    EXPECT_DOUBLE_EQ(a[10], 20);          // centre y
    EXPECT_DOUBLE_EQ(a[12], 2 * g);       // radius
    EXPECT_DOUBLE_EQ(a[14], kPi / 2);     // sweep
    EXPECT_EQ(arc->x, 4);
}

}  // namespace
