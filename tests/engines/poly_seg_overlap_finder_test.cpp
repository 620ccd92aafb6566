// Overlap finder on poly-segment sets: stretches of a query inside the band
// around reference polys, the cross-bar records, raised offsets, queries that
// start or end inside the band, and a sampled-band oracle on random polylines.
#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/Cam_PolySegOverlapFinder.h>
#include <merrow1/poly_seg.h>
#include <quorn/quorn.h>
#include <velte/cmem.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <type_traits>
#include <vector>

namespace {

using Korvo::Cam::ICurveOverlapFinder;
using Korvo::Cam::PolySegOverlapFinder;

static_assert(!std::is_copy_constructible<PolySegOverlapFinder>::value, "the finder owns its intersection object");
static_assert(!std::is_copy_assignable<PolySegOverlapFinder>::value, "the finder owns its intersection object");

struct Report {
    RING_node_s* a;
    RING_node_s* b;
    double a0, a1, b0, b1;
};

class Recorder : public ICurveOverlapFinder::IOverlapReporter {
public:
    bool ReportOverlap(RING_header_s* curveA, RING_node_s* a, RING_header_s* curveB, RING_node_s* b, double a0,
                       double a1, double b0, double b1) override {
        EXPECT_EQ(curveA, nullptr);
        EXPECT_EQ(curveB, nullptr);
        reports.push_back(Report{a, b, a0, a1, b0, b1});
        return false;
    }
    std::vector<Report> reports;
};

std::vector<RING_node_s*> segments(const RING_header_s* poly) {
    std::vector<RING_node_s*> out;
    const bool closed = POLY_SEG_is_closed(poly);
    RING_node_s* n = poly->first;
    for (int i = 0; n && i < poly->count; ++i, n = n->next) {
        if (closed || i > 0) out.push_back(n);
        if (n == poly->last) break;
    }
    return out;
}

PNT2_s end_of(const RING_node_s* n) {
    const LINE_ARC_SEG_s* s = static_cast<const LINE_ARC_SEG_s*>(n->main_data);
    return PNT2_s{s->x, s->y};
}

class OverlapFinder : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "overlap finder test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    RING_header_s* polyline(const std::vector<PNT2_s>& pts, bool closed = false) {
        return chain_builders::line_poly(pool, pts, closed);
    }
    RING_header_s* set_of(std::vector<RING_header_s*> polys) {
        return chain_builders::poly_set(pool, polys, Korvo::Cam::NoMaterialAtInfinity);
    }
    // Reports of one query against one reference poly, offset d on both sides.
    std::vector<Report> run(RING_header_s* reference, RING_header_s* query, double d) {
        double box[4] = {1e300, -1e300, 1e300, -1e300};
        POLY_SEG_quick_expand_bbox(reference, box);
        POLY_SEG_quick_expand_bbox(query, box);
        const double rx[2] = {box[0], box[1]}, ry[2] = {box[2], box[3]};
        Recorder rec;
        PolySegOverlapFinder finder(set_of({reference}), d, d, rx, ry, &rec);
        finder.FindOverlapWith(query);
        return rec.reports;
    }

    CMEM_pool_s* pool = nullptr;
};

TEST_F(OverlapFinder, QueryParallelToALineGivesOneStretchOverBothWholeSegments) {
    RING_header_s* ref = polyline({{0, 0}, {10, 0}});
    // The query runs from the start bar to the end bar at half the offset,
    // entering and leaving through the bars a little outside its ends.
    RING_header_s* query = polyline({{-1, 0.5}, {0, 0.5}, {10, 0.5}, {11, 0.5}});
    const std::vector<Report> r = run(ref, query, 1.0);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].a, segments(query)[1]);
    EXPECT_EQ(r[0].b, segments(ref)[0]);
    EXPECT_NEAR(r[0].a0, 0.0, 1e-9);
    EXPECT_NEAR(r[0].a1, 1.0, 1e-9);
    EXPECT_NEAR(r[0].b0, 0.0, 1e-9);
    EXPECT_NEAR(r[0].b1, 1.0, 1e-9);
}

// Reports in query order form one stretch: each continues where the one
// before it ended, on the same query segment or at the start of the next.
void expect_continuous(const std::vector<Report>& r, const std::vector<RING_node_s*>& q) {
    for (size_t i = 1; i < r.size(); ++i) {
        const size_t prev = std::find(q.begin(), q.end(), r[i - 1].a) - q.begin();
        const size_t cur = std::find(q.begin(), q.end(), r[i].a) - q.begin();
        if (cur == prev) {
            EXPECT_NEAR(r[i].a0, r[i - 1].a1, 1e-9) << i;
        } else {
            EXPECT_EQ(cur, prev + 1) << i;
            EXPECT_NEAR(r[i - 1].a1, 1.0, 1e-9) << i;
            EXPECT_NEAR(r[i].a0, 0.0, 1e-9) << i;
        }
    }
}

TEST_F(OverlapFinder, QueryCrossingAJointGivesOneContinuousStretchPerSegment) {
    // Straight through the joint at (10, 0): the end bar of the first
    // segment and the start bar of the second coincide.  The query bends
    // inside the first cell.
    RING_header_s* ref = polyline({{0, 0}, {10, 0}, {20, 0}});
    RING_header_s* query = polyline({{4, -3}, {8, -0.5}, {14, 3}});
    const std::vector<RING_node_s*> q = segments(query), r = segments(ref);
    const std::vector<Report> rep = run(ref, query, 1.0);
    ASSERT_GE(rep.size(), 3u);
    expect_continuous(rep, q);
    // Entering the first cell through its side at y = -1, leaving the second
    // through its side at y = 1.
    EXPECT_EQ(rep.front().a, q[0]);
    EXPECT_NEAR(rep.front().a0, 2.0 / 2.5, 1e-8);
    EXPECT_EQ(rep.front().b, r[0]);
    EXPECT_NEAR(rep.front().b0, 0.4 + 0.2 * 2.0 / 2.5 * 2, 1e-8);
    EXPECT_EQ(rep.back().a, q[1]);
    EXPECT_NEAR(rep.back().a1, 1.5 / 3.5, 1e-8);
    EXPECT_EQ(rep.back().b, r[1]);
    // The first segment's stretch ends at its end, the second's starts at its
    // start; the query segment that bends inside the first cell is reported
    // to the nearest point of its end.
    size_t first_of_second = 0;
    while (first_of_second < rep.size() && rep[first_of_second].b != r[1]) ++first_of_second;
    ASSERT_LT(first_of_second, rep.size());
    EXPECT_NEAR(rep[first_of_second].b0, 0.0, 1e-8);
    EXPECT_NEAR(rep[first_of_second - 1].b1, 1.0, 1e-8);
    EXPECT_NEAR(rep[0].b1, 0.8, 1e-8);
}

TEST_F(OverlapFinder, QueryEnteringAndNeverLeavingIsReportedToItsEnd) {
    RING_header_s* ref = polyline({{0, 0}, {10, 0}});
    RING_header_s* query = polyline({{5, -3}, {5, 0}, {6, 0.5}});
    const std::vector<RING_node_s*> q = segments(query);
    const std::vector<Report> rep = run(ref, query, 1.0);
    ASSERT_EQ(rep.size(), 2u);
    expect_continuous(rep, q);
    EXPECT_EQ(rep[0].a, q[0]);
    EXPECT_NEAR(rep[0].a0, 2.0 / 3.0, 1e-8);
    EXPECT_NEAR(rep[0].b0, 0.5, 1e-8);
    EXPECT_NEAR(rep[0].b1, 0.5, 1e-8);
    EXPECT_EQ(rep[1].a, q[1]);
    EXPECT_NEAR(rep[1].a1, 1.0, 1e-12);
    EXPECT_NEAR(rep[1].b1, 0.6, 1e-8);
}

TEST_F(OverlapFinder, QueryStartingInsideIsReportedFromItsStartToItsExitOnly) {
    RING_header_s* ref = polyline({{0, 0}, {10, 0}});
    struct Case {
        std::vector<PNT2_s> pts;
        bool closed;
        double exit;         // parameter on the first segment in path order
        double b0, b1;
    };
    const Case cases[] = {
        {{{5, 0.5}, {5, 3}}, false, 0.5 / 2.5, 0.5, 0.5},
        {{{2, -0.5}, {2, -4}}, false, 0.5 / 3.5, 0.2, 0.2},
        // A closed query starting inside: it leaves, comes back and runs to
        // its start again.
        {{{5, 0}, {5, 5}, {8, 5}, {8, 0}}, true, 1.0 / 5.0, 0.5, 0.5},
    };
    for (const Case& c : cases) {
        // A closed poly is walked from its first node's end point: from the
        // piece after the first node round to the first node.
        RING_header_s* query = polyline(c.pts, c.closed);
        std::vector<RING_node_s*> q = segments(query);
        if (c.closed) std::rotate(q.begin(), q.begin() + 1, q.end());
        const std::vector<Report> rep = run(ref, query, 1.0);
        ASSERT_FALSE(rep.empty());
        EXPECT_EQ(rep[0].a, q[0]);
        EXPECT_NEAR(rep[0].a0, 0.0, 1e-12);
        EXPECT_NEAR(rep[0].a1, c.exit, 1e-8);
        EXPECT_NEAR(rep[0].b0, c.b0, 1e-8);
        EXPECT_NEAR(rep[0].b1, c.b1, 1e-8);
        if (!c.closed) {
            EXPECT_EQ(rep.size(), 1u);
        } else {
            // Back in along x = 8 from y = 1, up to the start.
            ASSERT_EQ(rep.size(), 3u);
            EXPECT_EQ(rep[1].a, q[2]);
            EXPECT_NEAR(rep[1].a0, 4.0 / 5.0, 1e-8);
            EXPECT_EQ(rep[2].a, q[3]);
            EXPECT_NEAR(rep[2].a1, 1.0, 1e-12);
            EXPECT_NEAR(rep[2].b1, 0.5, 1e-8);
        }
    }
}

TEST_F(OverlapFinder, QueryThroughTheWedgeAtAConvexCornerIsReportedAgainstTheJointUpToTheCornerPiece) {
    // A left turn at (10, 0): the wedge lies about the corner on the right,
    // between the end bar x = 10 of the first segment, the start bar y = 0 of
    // the second and the corner arc of radius 1.  The query enters the first
    // cell from below, crosses the end bar into the wedge and leaves it
    // through the corner arc at (10.5, -sqrt(0.75)).
    RING_header_s* ref = polyline({{0, 0}, {10, 0}, {10, 10}});
    RING_header_s* query = polyline({{9.5, -3}, {9.5, -0.5}, {10.5, -0.5}, {10.5, -3}});
    const std::vector<RING_node_s*> q = segments(query), r = segments(ref);
    const std::vector<Report> rep = run(ref, query, 1.0);
    ASSERT_EQ(rep.size(), 4u);
    expect_continuous(rep, q);
    // The first cell from y = -1 on the first query segment to the bar.
    EXPECT_EQ(rep[0].a, q[0]);
    EXPECT_NEAR(rep[0].a0, 2.0 / 2.5, 1e-8);
    EXPECT_EQ(rep[1].a, q[1]);
    EXPECT_NEAR(rep[1].a1, 0.5, 1e-8);
    EXPECT_EQ(rep[1].b, r[0]);
    EXPECT_NEAR(rep[1].b1, 1.0, 1e-8);
    // The wedge against the joint's segment, parameters 1.
    for (int i = 2; i < 4; ++i) {
        EXPECT_EQ(rep[i].b, r[0]) << i;
        EXPECT_EQ(rep[i].b0, 1.0) << i;
        EXPECT_EQ(rep[i].b1, 1.0) << i;
    }
    // ... and no further than the corner arc: the rest of the query runs
    // outside the band.
    EXPECT_EQ(rep[3].a, q[2]);
    EXPECT_NEAR(rep[3].a1, (std::sqrt(0.75) - 0.5) / 2.5, 1e-6);
}

TEST_F(OverlapFinder, BandAroundAnArcIsTheAnnulusBetweenItsRadialBars) {
    // A quarter circle of radius 10 about the origin, counter-clockwise; a
    // radial query along 45 degrees from radius 8 to 12 runs inside from 9
    // to 11, next to the arc's middle.
    RING_header_s* ref = POLY_SEG_create(pool);
    const PNT2_s a{10, 0}, b{0, 10};
    POLY_SEG_append_line(ref, &a);
    POLY_SEG_append_arc(ref, &a, &b, 10, 1);
    const double c = std::sqrt(0.5);
    RING_header_s* query = polyline({{8 * c, 8 * c}, {12 * c, 12 * c}});
    const std::vector<Report> rep = run(ref, query, 1.0);
    ASSERT_EQ(rep.size(), 1u);
    EXPECT_EQ(rep[0].b, segments(ref)[0]);
    EXPECT_NEAR(rep[0].a0, 0.25, 1e-8);
    EXPECT_NEAR(rep[0].a1, 0.75, 1e-8);
    EXPECT_NEAR(rep[0].b0, 0.5, 1e-6);
    EXPECT_NEAR(rep[0].b1, 0.5, 1e-6);
}

TEST_F(OverlapFinder, OffsetsBelowTwiceTheLengthToleranceAreRaisedToIt) {
    const double tol = EQ_ask_length_tolerance();
    RING_header_s* ref = polyline({{0, 0}, {10, 0}});
    RING_header_s* query = polyline({{5, -1}, {5, 1}});
    const double rx[2] = {0, 10}, ry[2] = {-1, 1};
    for (const double d : {0.0, -1.0, tol}) {
        Recorder rec;
        PolySegOverlapFinder finder(set_of({ref}), d, d, rx, ry, &rec);
        finder.FindOverlapWith(query);
        ASSERT_EQ(rec.reports.size(), 1u) << d;
        // The band is 4 tol wide; the query is 2 long.
        EXPECT_NEAR(rec.reports[0].a0, 0.5 - tol, 1e-7) << d;
        EXPECT_NEAR(rec.reports[0].a1, 0.5 + tol, 1e-7) << d;
    }
}

TEST_F(OverlapFinder, NothingIsReportedForShortQueriesOrWithoutBand) {
    const double rx[2] = {0, 10}, ry[2] = {-1, 1};
    RING_header_s* ref = polyline({{0, 0}, {10, 0}});
    RING_header_s* crossing = polyline({{5, -3}, {5, 3}});
    Recorder rec;
    PolySegOverlapFinder finder(set_of({ref}), 1, 1, rx, ry, &rec);
    finder.FindOverlapWith(nullptr);
    finder.FindOverlapWith(polyline({{5, 0}}));
    finder.FindOverlapWith(POLY_SEG_create(pool));
    PolySegOverlapFinder empty(set_of({}), 1, 1, rx, ry, &rec);
    empty.FindOverlapWith(crossing);
    PolySegOverlapFinder none(nullptr, 1, 1, rx, ry, &rec);
    none.FindOverlapWith(crossing);
    EXPECT_TRUE(rec.reports.empty());
}

TEST_F(OverlapFinder, QueriesLeaveTheCallersPolyAndTheBandAsTheyWere) {
    RING_header_s* ref = polyline({{0, 0}, {10, 0}, {10, 10}});
    RING_header_s* query = polyline({{3, -2.25}, {11.5, 5.125}, {20, 3}});
    const std::vector<RING_node_s*> q = segments(query);
    const PNT2_s before = end_of(q[0]);
    const double rx[2] = {0, 20}, ry[2] = {-3, 10};
    Recorder rec;
    PolySegOverlapFinder finder(set_of({ref}), 1, 1.5, rx, ry, &rec);
    finder.FindOverlapWith(query);
    const std::vector<Report> first = rec.reports;
    ASSERT_FALSE(first.empty());
    rec.reports.clear();
    finder.FindOverlapWith(query);
    ASSERT_EQ(rec.reports.size(), first.size());
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(rec.reports[i].a, first[i].a);
        EXPECT_EQ(rec.reports[i].b, first[i].b);
        EXPECT_EQ(rec.reports[i].a0, first[i].a0);
        EXPECT_EQ(rec.reports[i].a1, first[i].a1);
    }
    EXPECT_EQ(end_of(q[0]).x, before.x);
    EXPECT_EQ(end_of(q[0]).y, before.y);
}

TEST_F(OverlapFinder, CrossBarsAndSegmentOffsetsCarryTheirRecords) {
    RING_header_s* bars = POLY_SEG_create(pool);
    RING_header_s* ref = polyline({{0, 0}, {10, 0}});
    RING_node_s* r = segments(ref)[0];
    RING_header_s* ends = polyline({{0, 1}, {0, -1}, {10, 1}, {10, -1}});
    const std::vector<RING_node_s*> e = segments(ends);
    const struct {
        PolySegOverlapFinder::CrossBarType type;
        const RING_node_s* a;
        const RING_node_s* b;
    } cases[] = {
        {PolySegOverlapFinder::SEGMENT_OFFSET, ends->first, e[0]},
        {PolySegOverlapFinder::CORNER_PIECE, e[0], e[1]},
        {PolySegOverlapFinder::START_BAR, ends->first, e[0]},
        {PolySegOverlapFinder::END_BAR, e[1], e[2]},
    };
    for (const auto& c : cases) {
        const int before = bars->count;
        RING_node_s* bar = PolySegOverlapFinder::AppendCrossBar(bars, c.a, c.b, r, c.type);
        ASSERT_EQ(bars->count, before + 2);
        ASSERT_EQ(bar, bars->last);
        // The move to a's point, flagged, without record; then the bar.
        const LINE_ARC_SEG_s* move = static_cast<const LINE_ARC_SEG_s*>(bar->previous->main_data);
        EXPECT_EQ(move->x, end_of(c.a).x);
        EXPECT_EQ(move->y, end_of(c.a).y);
        EXPECT_NE(move->flags & 0x40u, 0u);
        EXPECT_EQ(APP_DATA__ask_app_data(bar->previous->app_data, POLY_SEG_KEY_NODE_LINK), nullptr);
        EXPECT_EQ(end_of(bar).x, end_of(c.b).x);
        EXPECT_EQ(end_of(bar).y, end_of(c.b).y);
        const auto* record =
            static_cast<const POLY_SEG_node_link_s*>(APP_DATA__ask_app_data(bar->app_data, POLY_SEG_KEY_NODE_LINK));
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->link, r);
        EXPECT_EQ(record->copied, static_cast<int>(c.type));
        POLY_SEG_node_link_s* out = nullptr;
        EXPECT_EQ(PolySegOverlapFinder::IsSegmentOffset(bar, &out), c.type == PolySegOverlapFinder::SEGMENT_OFFSET);
        EXPECT_EQ(out, c.type == PolySegOverlapFinder::SEGMENT_OFFSET ? record : nullptr);
        EXPECT_EQ(PolySegOverlapFinder::IsSegmentOffset(bar, nullptr),
                  c.type == PolySegOverlapFinder::SEGMENT_OFFSET);
    }
    EXPECT_FALSE(PolySegOverlapFinder::IsSegmentOffset(r, nullptr));
    EXPECT_FALSE(PolySegOverlapFinder::IsSegmentOffset(nullptr, nullptr));
}

// ---------------------------------------------------------------------------
// Sampled-band oracle
// ---------------------------------------------------------------------------

// A sample at parameter t of query segment q counts as inside the band of
// reference segment r when its distance to r's line is at most the offset and
// its projection lies inside r.  The reported stretches must cover exactly
// the inside samples, except where insideness changes within 2e-3 of the
// sample and within 2 offset / length of a joint of r (where the cells of
// neighbouring segments overlap or leave a wedge).
struct Segment2 {
    PNT2_s a, b;
};

struct BandCase {
    std::vector<PNT2_s> reference;
    bool closed;
    std::vector<PNT2_s> query;
    bool closedQuery;
    double offset;
};

BandCase random_case(std::mt19937& rng) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    BandCase c;
    c.closed = u(rng) < 0.3;
    c.offset = 0.3 + 1.7 * u(rng);
    const double pi = 3.14159265358979323846;
    if (c.closed) {
        // A polygon about the origin with 4 to 6 corners, turns of 60 to 90
        // degrees, either direction.
        const int n = 4 + static_cast<int>(u(rng) * 3);
        const double radius = 8 + 8 * u(rng);
        const double sense = u(rng) < 0.5 ? 1 : -1;
        for (int i = 0; i < n; ++i) {
            const double ang = sense * (2 * pi * i / n + 0.2 * (u(rng) - 0.5));
            const double rr = radius * (0.9 + 0.2 * u(rng));
            c.reference.push_back({rr * std::cos(ang), rr * std::sin(ang)});
        }
    } else {
        // An open polyline of 1 to 4 segments of length 5 to 15 turning by
        // at most 90 degrees at each joint.
        const int n = 1 + static_cast<int>(u(rng) * 4);
        double dir = 2 * pi * u(rng);
        PNT2_s p{-10 + 5 * u(rng), -10 + 5 * u(rng)};
        c.reference.push_back(p);
        for (int i = 0; i < n; ++i) {
            const double len = 5 + 10 * u(rng);
            p = {p.x + len * std::cos(dir), p.y + len * std::sin(dir)};
            c.reference.push_back(p);
            dir += (u(rng) - 0.5) * pi;
        }
    }
    // A query of 1 to 4 segments near the reference, closed (2 to 4
    // segments and the closing one) now and then.
    c.closedQuery = u(rng) < 0.25;
    const int m = (c.closedQuery ? 2 : 1) + static_cast<int>(u(rng) * (c.closedQuery ? 3 : 4));
    const PNT2_s base = c.reference[static_cast<size_t>(u(rng) * c.reference.size())];
    PNT2_s q{base.x + 6 * (u(rng) - 0.5), base.y + 6 * (u(rng) - 0.5)};
    c.query.push_back(q);
    for (int i = 0; i < m; ++i) {
        const double len = 2 + 12 * u(rng);
        const double ang = 2 * pi * u(rng);
        q = {q.x + len * std::cos(ang), q.y + len * std::sin(ang)};
        c.query.push_back(q);
    }
    return c;
}

std::vector<Segment2> segments2(const std::vector<PNT2_s>& pts, bool closed) {
    std::vector<Segment2> out;
    for (size_t i = 0; i + 1 < pts.size(); ++i) out.push_back({pts[i], pts[i + 1]});
    if (closed) out.push_back({pts.back(), pts.front()});
    return out;
}

TEST_F(OverlapFinder, ReportedStretchesCoverExactlyTheSamplesInsideTheBand) {
    std::mt19937 rng(36110);
    const int samples = 1000;
    const double slack = 2e-3;
    int inside_checked = 0, outside_checked = 0;
    for (int k = 0; k < 500; ++k) {
        const BandCase c = random_case(rng);
        // The closed reference as a ring: its first piece runs from the last
        // point to the first, so the ring starts at the second point.
        std::vector<PNT2_s> ring = c.reference;
        if (c.closed) std::rotate(ring.begin(), ring.begin() + 1, ring.end());
        RING_header_s* ref = polyline(c.closed ? ring : c.reference, c.closed);
        std::vector<PNT2_s> qring = c.query;
        if (c.closedQuery) std::rotate(qring.begin(), qring.begin() + 1, qring.end());
        RING_header_s* query = polyline(qring, c.closedQuery);
        const std::vector<Report> reports = run(ref, query, c.offset);
        const std::vector<RING_node_s*> rsegs = segments(ref);
        const std::vector<RING_node_s*> qsegs = segments(query);
        // The reference segments in ring order (a closed ring's first piece
        // is the one from the last point to the first).
        const std::vector<Segment2> rs = segments2(c.reference, c.closed);
        const std::vector<Segment2> qs = segments2(c.query, c.closedQuery);
        ASSERT_EQ(qs.size(), segments(query).size());
        ASSERT_EQ(rs.size(), rsegs.size());
        for (size_t qi = 0; qi < qs.size(); ++qi) {
            for (size_t ri = 0; ri < rs.size(); ++ri) {
                const Segment2& r = rs[ri];
                const double len = std::hypot(r.b.x - r.a.x, r.b.y - r.a.y);
                const double margin = 2 * c.offset / len;
                const bool joint_before = c.closed || ri > 0;
                const bool joint_after = c.closed || ri + 1 < rs.size();
                // The cell is convex: the query segment's inside samples
                // form one interval [lo, hi] of its parameter, clipped from
                // the linear projection and signed distance.
                const Segment2& q = qs[qi];
                const double dx = r.b.x - r.a.x, dy = r.b.y - r.a.y;
                auto u_at = [&](const PNT2_s& p) { return ((p.x - r.a.x) * dx + (p.y - r.a.y) * dy) / (len * len); };
                auto s_at = [&](const PNT2_s& p) { return ((p.x - r.a.x) * dy - (p.y - r.a.y) * dx) / len; };
                double lo = 0, hi = 1;
                auto clip = [&](double v0, double v1, double min, double max) {
                    // v(t) = v0 + t (v1 - v0) within [min, max].
                    const double dv = v1 - v0;
                    if (dv == 0) {
                        if (v0 < min || v0 > max) hi = -1;
                        return;
                    }
                    double t0 = (min - v0) / dv, t1 = (max - v0) / dv;
                    if (t0 > t1) std::swap(t0, t1);
                    lo = std::max(lo, t0);
                    hi = std::min(hi, t1);
                };
                clip(u_at(q.a), u_at(q.b), 0, 1);
                clip(s_at(q.a), s_at(q.b), -c.offset, c.offset);
                auto inside = [&](double t) { return t >= lo && t <= hi; };
                auto near_joint = [&](double t) {
                    const PNT2_s p{q.a.x + t * (q.b.x - q.a.x), q.a.y + t * (q.b.y - q.a.y)};
                    const double u = u_at(p);
                    return (joint_before && u < margin) || (joint_after && u > 1 - margin);
                };
                for (int i = 0; i < samples; ++i) {
                    const double t = (i + 0.5) / samples;
                    const bool in = inside(t);
                    if (lo <= hi && (std::fabs(t - lo) <= slack || std::fabs(t - hi) <= slack)) continue;
                    if (near_joint(t)) continue;
                    bool covered = false;
                    for (const Report& rep : reports) {
                        if (rep.a != qsegs[qi] || rep.b != rsegs[ri]) continue;
                        const double lo = std::min(rep.a0, rep.a1), hi = std::max(rep.a0, rep.a1);
                        if (t >= lo - slack / 2 && t <= hi + slack / 2) covered = true;
                    }
                    ASSERT_EQ(covered, in) << "case " << k << " query segment " << qi << " reference segment "
                                           << ri << " t " << t;
                    (in ? inside_checked : outside_checked)++;
                }
            }
        }
    }
    // The cases do reach the band.
    EXPECT_GT(inside_checked, 100000);
    EXPECT_GT(outside_checked, 100000);
}

}  // namespace
