// Cancelling lines that run exactly back along each other in a closed run of
// pieces: what is left of each run, checked against the run drawn by hand.
#include "chainops/chain_backtrack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Case {
    const char* name;
    std::vector<ChainBacktrackPiece> run;  // piece k runs from the end of piece k - 1 to its end
    std::vector<int> kept;                 // ids left, in order
    std::vector<std::pair<double, double>> ends;
};

ChainBacktrackPiece line(double x, double y, int id) { return {{x, y}, true, id}; }
ChainBacktrackPiece arc(double x, double y, int id) { return {{x, y}, false, id}; }

TEST(ChainBacktrack, CancelsLinesRunningBackAlongTheLineBefore) {
    const Case cases[] = {
        // Out along a midline and back: nothing bounds any area.
        {"there and back", {line(4, 0, 0), line(0, 0, 1)}, {}, {}},
        {"there and back twice", {line(4, 0, 0), line(0, 0, 1), line(0, -3, 2), line(0, 0, 3)}, {}, {}},
        // A whisker of a triangle: out from (4,0) to (6,0) and back to (5,0),
        // then the triangle goes on from there.
        {"whisker back part of the way",
         {line(0, 0, 0), line(6, 0, 1), line(5, 0, 2), line(0, 3, 3)},
         {0, 1, 3},
         {{0, 0}, {5, 0}, {0, 3}}},
        // Back past where the line started: the second line starts there.
        {"back past the start",
         {line(0, 0, 0), line(2, 0, 1), line(-1, 0, 2), line(0, 3, 3)},
         {0, 2, 3},
         {{0, 0}, {-1, 0}, {0, 3}}},
        // A turn, not a reversal; a line that goes on ahead; an arc back.
        {"a turn", {line(0, 0, 0), line(4, 0, 1), line(4, 3, 2)}, {0, 1, 2}, {{0, 0}, {4, 0}, {4, 3}}},
        {"straight on", {line(0, 0, 0), line(2, 0, 1), line(4, 0, 2), line(0, 3, 3)},
         {0, 1, 2, 3}, {{0, 0}, {2, 0}, {4, 0}, {0, 3}}},
        {"an arc back", {line(0, 0, 0), line(4, 0, 1), arc(0, 0, 2)}, {0, 1, 2}, {{0, 0}, {4, 0}, {0, 0}}},
        // Off the line by the last bit of a double: no cancellation.
        {"not quite back",
         {line(0, 0, 0), line(1, 0, 1), line(0.5, 0x1p-60, 2)},
         {0, 1, 2},
         {{0, 0}, {1, 0}, {0.5, 0x1p-60}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ChainBacktrackPiece> run = c.run;
        CHAIN__cancel_backtracks(run);
        ASSERT_EQ(run.size(), c.kept.size());
        for (size_t i = 0; i < run.size(); ++i) {
            EXPECT_EQ(run[i].id, c.kept[i]);
            EXPECT_EQ(run[i].end[0], c.ends[i].first);
            EXPECT_EQ(run[i].end[1], c.ends[i].second);
        }
    }
}

// Where the run starts again: the last line runs past the first piece's
// start and the first piece runs back part of the way, so the last ends
// there and the first goes.
TEST(ChainBacktrack, CancelsAcrossTheStartOfTheRun) {
    std::vector<ChainBacktrackPiece> run{line(0, 0, 0), line(4, 0, 1), line(0, 3, 2), line(0, -2, 3)};
    CHAIN__cancel_backtracks(run);
    ASSERT_EQ(run.size(), 3u);
    const int ids[] = {1, 2, 3};
    const double ends[][2] = {{4, 0}, {0, 3}, {0, 0}};
    for (size_t i = 0; i < run.size(); ++i) {
        EXPECT_EQ(run[i].id, ids[i]);
        EXPECT_EQ(run[i].end[0], ends[i][0]);
        EXPECT_EQ(run[i].end[1], ends[i][1]);
    }
}

// A long run with a whisker out and back at every vertex of a convex
// polygon (vertices on a parabola): every whisker goes, the one whose way
// out ends the run and whose way back starts it too, and the polygon's sides
// stay in their order.
TEST(ChainBacktrack, CancelsAWhiskerAtEveryVertexOfALongRun) {
    const int m = 1000;
    auto vertex = [](int i) { return std::make_pair(double(i), double(i) * i); };
    auto whisker = [&](int i) { return std::make_pair(vertex(i).first + 1, vertex(i).second - 3); };
    std::vector<ChainBacktrackPiece> run;
    auto add = [&](std::pair<double, double> at) { run.push_back(line(at.first, at.second, int(run.size()))); };
    add(vertex(0));  // back from the last piece's whisker end
    for (int i = 1; i < m; ++i) {
        add(vertex(i));
        add(whisker(i));
        add(vertex(i));
    }
    add(vertex(0));
    add(whisker(0));
    CHAIN__cancel_backtracks(run);
    ASSERT_EQ(run.size(), size_t(m));
    for (int i = 0; i < m; ++i) {
        const int to = (i + 1) % m;
        EXPECT_EQ(run[size_t(i)].id, 1 + 3 * i);
        EXPECT_EQ(run[size_t(i)].end[0], vertex(to).first);
        EXPECT_EQ(run[size_t(i)].end[1], vertex(to).second);
    }
}

// A run cancelled within a tolerance, and the ids of the pieces it keeps.
struct ToleranceCase {
    const char* name;
    double tolerance;
    std::vector<ChainBacktrackPiece> run;
    std::vector<int> kept;
};
void expect_kept(const ToleranceCase& c) {
    SCOPED_TRACE(c.name);
    std::vector<ChainBacktrackPiece> run = c.run;
    CHAIN__cancel_backtracks(run, c.tolerance);
    ASSERT_EQ(run.size(), c.kept.size());
    for (size_t i = 0; i < run.size(); ++i) EXPECT_EQ(run[i].id, c.kept[i]);
}

// With a tolerance, a line that comes back within it of the line before
// runs back along it too; the turn itself is still decided exactly (a line
// square to the one before, or going on ahead, never cancels).
TEST(ChainBacktrack, WithinAToleranceCancelsLinesComingBackCloserThanIt) {
    const ToleranceCase cases[] = {
        // A strip 2e-9 wide traced without its short side, with a whisker
        // down to a wall and back: out along y = 0, back 2e-9 above it.
        {"strip below the tolerance", 1e-6,
         {line(0, 0, 0), line(2.4, 0, 1), line(0, 2e-9, 2), line(0, -0.2, 3)}, {}},
        // Exactly, only the whisker goes: the sliver stays.
        {"strip below the tolerance, exactly", 0.0,
         {line(0, 0, 0), line(2.4, 0, 1), line(0, 2e-9, 2), line(0, -0.2, 3)}, {1, 2, 3}},
        // Back 2e-6 off: wider than the tolerance, a strip that stays.
        {"strip above the tolerance", 1e-6,
         {line(0, 0, 0), line(2.4, 0, 1), line(2.4, 2e-6, 2), line(0, 2e-6, 3)}, {0, 1, 2, 3}},
        // Back 2e-6 off with a whisker up a wall: the whisker goes, the
        // sliver (wider than the tolerance) stays.
        {"back 2e-6 off", 1e-6, {line(0, 0, 0), line(2.4, 0, 1), line(0, 2e-6, 2), line(0, 1, 3)}, {0, 1, 2}},
        // Short sides square to the long ones, shorter than the tolerance.
        {"tiny square", 1e-6, {line(0, 0, 0), line(1e-7, 0, 1), line(1e-7, 1e-7, 2), line(0, 1e-7, 3)}, {0, 1, 2, 3}},
        // The line before is the shorter one, and the line back runs past
        // its start 1e-9 off it: the line back starts where it did.
        {"short way out, long way back", 1e-6, {line(0, 1, 0), line(0, 0, 1), line(1, 0, 2), line(-3, 1e-9, 3)},
         {0, 1, 3}},
        {"short way out, long way back, exactly", 0.0, {line(0, 1, 0), line(0, 0, 1), line(1, 0, 2), line(-3, 1e-9, 3)}, {0, 1, 2, 3}},
    };
    for (const ToleranceCase& c : cases) expect_kept(c);
}

// A piece that reaches less than the tolerance from its start is a point
// between the lines beside it: a strip with short sides narrower than the
// tolerance cancels whole, its long sides with a short end arc between them;
// a short piece before a line that turns away does not.
TEST(ChainBacktrack, WithinAToleranceATurnNearerThanItIsAPoint) {
    auto reaching = [](ChainBacktrackPiece piece, double reach) {
        piece.reach = reach;
        return piece;
    };
    const ToleranceCase cases[] = {
        {"strip with short sides", 1e-6,
         {reaching(line(0, 0, 0), 6e-7), reaching(line(2.4, 0, 1), 2.4), reaching(line(2.4, 6e-7, 2), 6e-7),
          reaching(line(0, 6e-7, 3), 2.4)},
         {}},
        // The arc at the far end goes with the lines; the one where the run
        // starts stays with a line of 6e-7 back across it (arcs never
        // cancel), all of it within the tolerance of a point.
        {"strip with short end arcs", 1e-6,
         {reaching(arc(0, 0, 0), 6e-7), reaching(line(2.4, 0, 1), 2.4), reaching(arc(2.4, 6e-7, 2), 6e-7),
          reaching(line(0, 6e-7, 3), 2.4)},
         {0, 3}},
        {"strip with short sides, exactly", 0.0,
         {reaching(line(0, 0, 0), 6e-7), reaching(line(2.4, 0, 1), 2.4), reaching(line(2.4, 6e-7, 2), 6e-7),
          reaching(line(0, 6e-7, 3), 2.4)},
         {0, 1, 2, 3}},
        // A short jog and on at a right angle: a corner, kept.
        {"short jog, then a corner", 1e-6,
         {reaching(line(0, 0, 0), 1), reaching(line(2, 0, 1), 2), reaching(line(2, 6e-7, 2), 6e-7),
          reaching(line(2, 1, 3), 1), reaching(line(0, 1, 4), 2)},
         {0, 1, 2, 3, 4}},
    };
    for (const ToleranceCase& c : cases) expect_kept(c);
}

// A square with a whisker of four unit lines out of a corner, the run
// starting at the whisker's tip.  Each time the walk reaches the end of the
// run, the way out and the way back meet across the start and cancel, and
// the walk starts over at the front: four times round a run of twelve.  The
// whisker goes, the square stays as it is.
TEST(ChainBacktrack, CancelsAWhiskerWhoseTipEndsTheRunEachTimeRound) {
    std::vector<ChainBacktrackPiece> run{line(3, 0, 0),  line(2, 0, 1),  line(1, 0, 2),  line(0, 0, 3),
                                         line(0, 2, 4),  line(-2, 2, 5), line(-2, 0, 6), line(0, 0, 7),
                                         line(1, 0, 8),  line(2, 0, 9),  line(3, 0, 10), line(4, 0, 11)};
    CHAIN__cancel_backtracks(run);
    ASSERT_EQ(run.size(), 4u);
    const int ids[] = {4, 5, 6, 7};
    const double ends[][2] = {{0, 2}, {-2, 2}, {-2, 0}, {0, 0}};
    for (size_t i = 0; i < run.size(); ++i) {
        EXPECT_EQ(run[i].id, ids[i]);
        EXPECT_EQ(run[i].end[0], ends[i][0]);
        EXPECT_EQ(run[i].end[1], ends[i][1]);
    }
}

// The walk of the rules above on a plain vector, in integers, for runs on a
// small lattice: at position k, with P, V and Q the ends of pieces k - 1, k
// and k + 1 (or k + 2 past a piece that reaches less than the tolerance),
// a cancellation erases pieces and steps back to k - 1, starting over at 0
// when that is past the end.  The tolerance is 7/10: Q, or P when nearer V,
// lies within it of the line through V and the other when 100 c^2 <= 49 d^2
// (c the cross product, d the distance to the other), with no ties on a
// lattice.
struct LatticePiece {
    std::int64_t x, y;
    bool line;
    bool short_reach;  // reaches less than the tolerance
    int id;
};
std::vector<LatticePiece> lattice_walk(std::vector<LatticePiece> run, bool tolerance) {
    auto same = [](const LatticePiece& a, const LatticePiece& b) { return a.x == b.x && a.y == b.y; };
    auto cross = [](const LatticePiece& o, const LatticePiece& a, const LatticePiece& b) {
        return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
    };
    auto dot = [](const LatticePiece& o, const LatticePiece& a, const LatticePiece& b) {
        return (a.x - o.x) * (b.x - o.x) + (a.y - o.y) * (b.y - o.y);
    };
    auto runs_back = [&](const LatticePiece& p, const LatticePiece& v, const LatticePiece& q) {
        if (dot(v, p, q) <= 0) return false;
        if (cross(p, v, q) == 0) return true;
        if (!tolerance) return false;
        const bool q_nearer = dot(v, q, q) <= dot(v, p, p);
        const LatticePiece& near = q_nearer ? q : p;
        const LatticePiece& far = q_nearer ? p : q;
        const std::int64_t c = cross(v, far, near);
        return 100 * c * c <= 49 * dot(v, far, far);
    };
    size_t k = 0;
    while (run.size() >= 2 && k < run.size()) {
        const size_t n = run.size();
        const LatticePiece p = run[(k + n - 1) % n], v = run[k];
        auto backs = [&](size_t j, size_t from) {
            return v.line && run[j].line && !same(p, v) && !same(run[from], run[j]) && !same(v, run[j]) &&
                   runs_back(p, v, run[j]);
        };
        size_t j = (k + 1) % n;
        bool middle = false;
        bool back = backs(j, k);
        if (!back && tolerance && n >= 3 && run[j].short_reach && backs((k + 2) % n, j)) {
            back = middle = true;
            j = (k + 2) % n;
        }
        if (!back) {
            ++k;
            continue;
        }
        std::vector<size_t> gone;
        if (middle) gone.push_back((k + 1) % n);
        if (same(run[j], p)) {
            gone.push_back(k);
            gone.push_back(j);
        } else if (dot(p, v, run[j]) > 0) {
            run[k].x = run[j].x;
            run[k].y = run[j].y;
            gone.push_back(j);
        } else {
            gone.push_back(k);
        }
        std::sort(gone.begin(), gone.end());
        for (size_t i = gone.size(); i-- > 0;) run.erase(run.begin() + static_cast<std::ptrdiff_t>(gone[i]));
        k = k > 0 ? k - 1 : 0;
        if (k >= run.size()) k = 0;
    }
    if (run.size() < 2) run.clear();
    return run;
}

// Random runs on a 4 by 4 lattice, with repeated points, returns to earlier
// points and arcs, exactly and within a tolerance: the function leaves what
// the vector walk leaves, piece for piece.
TEST(ChainBacktrack, LeavesWhatTheWalkOnAVectorLeavesOnRandomLatticeRuns) {
    std::mt19937 rng(20261211);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int trial = 0; trial < 50000; ++trial) {
        const bool tolerance = trial % 3 != 0;
        const int n = uniform(2, 40);
        std::vector<LatticePiece> lattice;
        for (int i = 0; i < n; ++i) {
            LatticePiece piece{uniform(0, 3), uniform(0, 3), uniform(0, 7) >= 2, uniform(0, 1) == 0, i};
            const int how = uniform(0, 7);
            if (i > 0 && how < 2) {
                piece.x = lattice.back().x;
                piece.y = lattice.back().y;
            } else if (i > 1 && how == 2) {
                const LatticePiece& earlier = lattice[size_t(uniform(0, i - 2))];
                piece.x = earlier.x;
                piece.y = earlier.y;
            }
            lattice.push_back(piece);
        }
        std::vector<ChainBacktrackPiece> run;
        for (size_t i = 0; i < lattice.size(); ++i) {
            LatticePiece& piece = lattice[i];
            const LatticePiece& from = lattice[(i + lattice.size() - 1) % lattice.size()];
            // A line reaches its length: less than 7/10 only when it has none.
            if (piece.line) piece.short_reach = piece.x == from.x && piece.y == from.y;
            run.push_back({{double(piece.x), double(piece.y)}, piece.line, piece.id});
            if (tolerance)
                run.back().reach = piece.line ? std::hypot(double(piece.x - from.x), double(piece.y - from.y))
                                              : (piece.short_reach ? 0.1 : 2.0);
        }
        const std::vector<LatticePiece> expected = lattice_walk(lattice, tolerance);
        CHAIN__cancel_backtracks(run, tolerance ? 0.7 : 0.0);
        SCOPED_TRACE("trial " + std::to_string(trial));
        ASSERT_EQ(run.size(), expected.size());
        for (size_t i = 0; i < run.size(); ++i) {
            EXPECT_EQ(run[i].id, expected[i].id);
            EXPECT_EQ(run[i].end[0], double(expected[i].x));
            EXPECT_EQ(run[i].end[1], double(expected[i].y));
        }
    }
}

}  // namespace
