// Contour tables of machining cycles: the stored form on the operation, round
// trips through it, the walk of stored entries, bad handles, and memory freed
// on every path.
#include <gtest/gtest.h>
#include <merrow1/Cam_Cycle.h>
#include <pellam/testing_opr.h>
#include <stend/testing.h>

#include <memory>
#include <random>
#include <vector>

namespace {

using Korvo::Cam::Cycle;
using Korvo::Cam::CycleFactory;
using Korvo::Cam::ICycle;
using Point3 = Korvo::Math::Point3;

bool same(const Point3& a, const Point3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// The seven parameters as stored: kinds, then the doubles of each entry.
struct Stored {
    std::vector<int> kinds;
    std::vector<std::vector<double>> values;  // 1651 .. 1656
};

Stored stored(const OPR* op) {
    Stored s{pellam_test::int_array_param(op, 1650), {}};
    for (int p = 1651; p <= 1656; ++p) s.values.push_back(pellam_test::double_array_param(op, p));
    return s;
}

void store(OPR* op, const std::vector<int>& kinds, const std::vector<std::vector<double>>& entries) {
    OPR_set_int_array_param(op, 1650, kinds.data(), static_cast<int>(kinds.size()));
    for (int p = 0; p < 6; ++p) {
        std::vector<double> column;
        for (const auto& e : entries) column.push_back(e[static_cast<size_t>(p)]);
        OPR_set_double_array_param(op, 1651 + p, column.data(), static_cast<int>(column.size()));
    }
}

class CycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        op = pellam_test::create_operation();
        persistent = stend_test::sm_persistent_live();
        class_memory = stend_test::cpp_memory_live();
    }
    void TearDown() override {
        pellam_test::delete_operation(op);
        EXPECT_EQ(stend_test::sm_persistent_live(), persistent);
        EXPECT_EQ(stend_test::cpp_memory_live(), class_memory);
    }
    OPR* op = nullptr;
    long persistent = 0, class_memory = 0;
};

ICycle::ContourHandle handle(ICycle::ContourType type, int index) { return {type, index}; }

TEST_F(CycleTest, PartContourWithPointAndClockwiseArcRoundTrips) {
    Cycle cycle(op);
    cycle.NewPartContour();
    const auto h = handle(ICycle::PartContour, 0);
    ASSERT_TRUE(cycle.AppendPointSegment(h, {1, 2, 3}));
    ASSERT_TRUE(cycle.AppendClockwiseArcSegment(h, {4, 5, 6}, {7, 8, 9}));
    ASSERT_TRUE(cycle.SaveContourTable());
    const Stored s = stored(op);
    EXPECT_EQ(s.kinds, (std::vector<int>{-2, 0, 2}));
    const double expected[6][3] = {{0, 1, 4}, {0, 2, 5}, {0, 3, 6}, {0, 0, 7}, {0, 0, 8}, {0, 0, 9}};
    for (int p = 0; p < 6; ++p)
        EXPECT_EQ(s.values[static_cast<size_t>(p)],
                  (std::vector<double>{expected[p][0], expected[p][1], expected[p][2]}))
            << 1651 + p;

    Cycle loaded(op);
    ASSERT_TRUE(loaded.LoadContourTable());
    EXPECT_EQ(loaded.GetNumberOfPartContours(), 1);
    EXPECT_EQ(loaded.GetNumberOfBlankContours(), 0);
    EXPECT_EQ(loaded.GetNumberOfSegments(h), 2);
    ICycle::SegmentType type;
    Point3 end, centre;
    ASSERT_TRUE(loaded.GetSegment(h, 1, type, end, centre));
    EXPECT_EQ(type, ICycle::ClockwiseArcSegment);
    EXPECT_TRUE(same(end, {4, 5, 6}));
    EXPECT_TRUE(same(centre, {7, 8, 9}));
    Point3 a, b;
    EXPECT_TRUE(loaded.GetSegmentStartPoint(h, 0, a));
    EXPECT_TRUE(loaded.GetContourStartPoint(h, b));
    EXPECT_TRUE(same(a, b) && same(a, {1, 2, 3}));
    EXPECT_TRUE(loaded.GetSegmentStartPoint(h, 1, a));
    EXPECT_TRUE(same(a, {1, 2, 3}));
    EXPECT_TRUE(loaded.GetContourEndPoint(h, a));
    EXPECT_TRUE(same(a, {4, 5, 6}));
}

// Every query of two tables agrees.
void expect_same_tables(const ICycle& a, const ICycle& b) {
    ASSERT_EQ(a.GetNumberOfBlankContours(), b.GetNumberOfBlankContours());
    ASSERT_EQ(a.GetNumberOfPartContours(), b.GetNumberOfPartContours());
    ASSERT_EQ(a.GetNumberOfIslandContours(), b.GetNumberOfIslandContours());
    const int counts[] = {a.GetNumberOfBlankContours(), a.GetNumberOfPartContours(), a.GetNumberOfIslandContours()};
    for (int kind = 0; kind < 3; ++kind)
        for (int c = 0; c < counts[kind]; ++c) {
            ICycle::ContourHandle h;
            if (kind == 0) a.SetBlankContourHandle(c, h);
            if (kind == 1) a.SetPartContourHandle(c, h);
            if (kind == 2) a.SetIslandContourHandle(c, h);
            const int n = a.GetNumberOfSegments(h);
            ASSERT_EQ(n, b.GetNumberOfSegments(h));
            Point3 p, q;
            EXPECT_EQ(a.GetContourStartPoint(h, p), b.GetContourStartPoint(h, q));
            EXPECT_TRUE(same(p, q));
            EXPECT_EQ(a.GetContourEndPoint(h, p), b.GetContourEndPoint(h, q));
            EXPECT_TRUE(same(p, q));
            for (int i = 0; i < n; ++i) {
                ICycle::SegmentType ta, tb;
                Point3 ea, ca, eb, cb;
                ASSERT_TRUE(a.GetSegment(h, i, ta, ea, ca));
                ASSERT_TRUE(b.GetSegment(h, i, tb, eb, cb));
                EXPECT_EQ(ta, tb);
                EXPECT_TRUE(same(ea, eb) && same(ca, cb));
                EXPECT_TRUE(a.GetSegmentStartPoint(h, i, p) && b.GetSegmentStartPoint(h, i, q));
                EXPECT_TRUE(same(p, q));
            }
        }
}

TEST_F(CycleTest, RandomTablesRoundTripThroughTheOperation) {
    std::mt19937 rng(39);
    std::uniform_real_distribution<double> coord(-1e3, 1e3);
    for (int trial = 0; trial < 40; ++trial) {
        Cycle original(op), expected(op);
        const int contours = static_cast<int>(rng() % 7);
        for (int c = 0; c < contours; ++c) {
            const auto kind = static_cast<ICycle::ContourType>(rng() % 3);
            const int segments = static_cast<int>(rng() % 5);  // 0: an empty contour, not saved
            for (Cycle* t : {&original, &expected}) {
                if (segments == 0 && t == &expected) continue;
                if (kind == ICycle::BlankContour) t->NewBlankContour();
                if (kind == ICycle::PartContour) t->NewPartContour();
                if (kind == ICycle::IslandContour) t->NewIslandContour();
            }
            int index[3] = {original.GetNumberOfBlankContours() - 1, original.GetNumberOfPartContours() - 1,
                            original.GetNumberOfIslandContours() - 1};
            int kept[3] = {expected.GetNumberOfBlankContours() - 1, expected.GetNumberOfPartContours() - 1,
                           expected.GetNumberOfIslandContours() - 1};
            for (int s = 0; s < segments; ++s) {
                const auto type = static_cast<ICycle::SegmentType>(rng() % 4);
                const Point3 end{coord(rng), coord(rng), coord(rng)};
                const bool arc = type == ICycle::ClockwiseArcSegment || type == ICycle::CounterClockwiseArcSegment;
                const Point3 centre = arc ? Point3{coord(rng), coord(rng), coord(rng)} : Point3{0, 0, 0};
                ASSERT_TRUE(original.AppendSegment(handle(kind, index[kind]), type, end, centre));
                ASSERT_TRUE(expected.AppendSegment(handle(kind, kept[kind]), type, end, centre));
            }
        }
        ASSERT_TRUE(original.SaveContourTable());
        std::unique_ptr<ICycle> loaded(CycleFactory::Create(op, true));
        expect_same_tables(expected, *loaded);
    }
}

TEST_F(CycleTest, StoredEntriesLoadByTheirStartEntries) {
    const std::vector<double> zero(6, 0.0);
    auto seg = [](double x) { return std::vector<double>{x, x + 1, x + 2, x + 3, x + 4, x + 5}; };
    // A line before any start entry (dropped), a blank start followed at once
    // by a part start (an empty blank contour), unknown kinds 4 and -4
    // (skipped), then an island with a counter-clockwise arc.
    store(op, {1, -1, -2, 0, 4, 1, -4, -3, 3},
          {seg(100), zero, zero, seg(10), seg(200), seg(20), seg(300), zero, seg(30)});
    Cycle cycle(op);
    ASSERT_TRUE(cycle.LoadContourTable());
    EXPECT_EQ(cycle.GetNumberOfBlankContours(), 1);
    EXPECT_EQ(cycle.GetNumberOfPartContours(), 1);
    EXPECT_EQ(cycle.GetNumberOfIslandContours(), 1);
    EXPECT_EQ(cycle.GetNumberOfSegments(handle(ICycle::BlankContour, 0)), 0);
    Point3 p;
    EXPECT_FALSE(cycle.GetContourEndPoint(handle(ICycle::BlankContour, 0), p));
    const auto part = handle(ICycle::PartContour, 0);
    ASSERT_EQ(cycle.GetNumberOfSegments(part), 2);
    ICycle::SegmentType type;
    Point3 end, centre;
    ASSERT_TRUE(cycle.GetSegment(part, 0, type, end, centre));
    EXPECT_EQ(type, ICycle::PointSegment);
    EXPECT_TRUE(same(end, {10, 11, 12}));
    EXPECT_TRUE(same(centre, {0, 0, 0}));  // a point's centre is not read
    ASSERT_TRUE(cycle.GetSegment(part, 1, type, end, centre));
    EXPECT_EQ(type, ICycle::LineSegment);
    EXPECT_TRUE(same(end, {20, 21, 22}));
    const auto island = handle(ICycle::IslandContour, 0);
    ASSERT_TRUE(cycle.GetSegment(island, 0, type, end, centre));
    EXPECT_EQ(type, ICycle::CounterClockwiseArcSegment);
    EXPECT_TRUE(same(centre, {33, 34, 35}));
}

TEST_F(CycleTest, BadHandlesAndIndicesGiveMinusOneAndFalse) {
    Cycle cycle(op);
    for (int i = 0; i < 3; ++i) cycle.NewIslandContour();
    ASSERT_TRUE(cycle.AppendLineSegment(handle(ICycle::IslandContour, 2), {1, 1, 1}));
    const ICycle::ContourHandle bad[] = {handle(ICycle::IslandContour, 5), handle(ICycle::IslandContour, -1),
                                         handle(ICycle::PartContour, 0),
                                         handle(static_cast<ICycle::ContourType>(3), 0),
                                         handle(static_cast<ICycle::ContourType>(-1), 0)};
    for (const auto& h : bad) {
        EXPECT_EQ(cycle.GetNumberOfSegments(h), -1);
        EXPECT_FALSE(cycle.AppendSegment(h, ICycle::LineSegment, {0, 0, 0}, {0, 0, 0}));
        Point3 p{9, 9, 9};
        EXPECT_FALSE(cycle.GetContourStartPoint(h, p));
        EXPECT_TRUE(same(p, {0, 0, 0}));
    }
    const auto good = handle(ICycle::IslandContour, 2);
    for (int segment : {-1, 1, 7}) {
        ICycle::SegmentType type = ICycle::ClockwiseArcSegment;
        Point3 end{9, 9, 9}, centre{9, 9, 9};
        EXPECT_FALSE(cycle.GetSegment(good, segment, type, end, centre)) << segment;
        EXPECT_EQ(type, ICycle::LineSegment);
        EXPECT_TRUE(same(end, {0, 0, 0}) && same(centre, {0, 0, 0}));
    }
    EXPECT_EQ(cycle.GetNumberOfSegments(handle(ICycle::IslandContour, 0)), 0);
}

TEST_F(CycleTest, MismatchedParameterLengthsLoadNothing) {
    const std::vector<double> zero(6, 0.0);
    for (int param = 1651; param <= 1656; ++param)
        for (int delta : {-1, 1}) {
            store(op, {-2, 0, 1}, {zero, zero, zero});
            std::vector<double> wrong(static_cast<size_t>(3 + delta), 1.0);
            OPR_set_double_array_param(op, param, wrong.data(), static_cast<int>(wrong.size()));
            Cycle cycle(op);
            cycle.NewPartContour();
            EXPECT_FALSE(cycle.LoadContourTable()) << param << " " << delta;
            EXPECT_EQ(cycle.GetNumberOfPartContours(), 0);
        }
    // Kinds stored as doubles cannot be read as kinds.
    store(op, {-2, 0, 1}, {zero, zero, zero});
    const double kinds[] = {-2, 0, 1};
    OPR_set_double_array_param(op, 1650, kinds, 3);
    Cycle cycle(op);
    EXPECT_FALSE(cycle.LoadContourTable());
    // Nothing stored loads as an empty table.
    pellam_test::delete_operation(op);
    op = pellam_test::create_operation();
    Cycle fresh(op);
    EXPECT_TRUE(fresh.LoadContourTable());
    EXPECT_EQ(fresh.GetNumberOfBlankContours() + fresh.GetNumberOfPartContours(), 0);
}

TEST_F(CycleTest, ClearedOrEmptyTablesStoreEmptyArrays) {
    Cycle cycle(op);
    cycle.NewPartContour();
    cycle.AppendLineSegment(handle(ICycle::PartContour, 0), {1, 2, 3});
    ASSERT_TRUE(cycle.SaveContourTable());
    EXPECT_EQ(OPR_ask_array_param_length(op, 1650), 2);
    cycle.ClearContourTable();
    for (int round = 0; round < 2; ++round) {
        if (round == 1) cycle.NewBlankContour();  // empty: writes nothing
        const int writes = pellam_test::operation_writes(op);
        ASSERT_TRUE(cycle.SaveContourTable()) << round;
        EXPECT_EQ(pellam_test::operation_writes(op), writes + 7);
        for (int p = 1650; p <= 1656; ++p) EXPECT_EQ(OPR_ask_array_param_length(op, p), 0) << p;
    }
    Cycle loaded(op);
    EXPECT_TRUE(loaded.LoadContourTable());
    EXPECT_EQ(loaded.GetNumberOfBlankContours(), 0);
}

TEST_F(CycleTest, UnknownSegmentTypesAreStoredAsPoints) {
    Cycle cycle(op);
    cycle.NewBlankContour();
    ASSERT_TRUE(cycle.AppendSegment(handle(ICycle::BlankContour, 0), static_cast<ICycle::SegmentType>(7),
                                    {1, 1, 1}, {2, 2, 2}));
    ASSERT_TRUE(cycle.SaveContourTable());
    EXPECT_EQ(stored(op).kinds, (std::vector<int>{-1, 0}));
}

TEST_F(CycleTest, FailedAllocationsFreeWhatWasMadeAndWriteNothing) {
    Cycle cycle(op);
    cycle.NewPartContour();
    cycle.AppendLineSegment(handle(ICycle::PartContour, 0), {1, 2, 3});
    ASSERT_TRUE(cycle.SaveContourTable());
    for (int k = 1; k <= 7; ++k) {
        const int writes = pellam_test::operation_writes(op);
        stend_test::sm_persistent_fail_at(k);
        EXPECT_FALSE(cycle.SaveContourTable()) << k;
        EXPECT_EQ(pellam_test::operation_writes(op), writes);
        EXPECT_EQ(stend_test::sm_persistent_live(), persistent) << k;
        stend_test::sm_persistent_fail_at(k);
        Cycle loaded(op);
        EXPECT_FALSE(loaded.LoadContourTable()) << k;
        EXPECT_EQ(loaded.GetNumberOfPartContours(), 0);
        EXPECT_EQ(stend_test::sm_persistent_live(), persistent) << k;
    }
    stend_test::sm_persistent_fail_at(0);
}

TEST_F(CycleTest, CopiesOwnTheirListsAndShareTheOperation) {
    Cycle original(op);
    original.NewPartContour();
    original.AppendLineSegment(handle(ICycle::PartContour, 0), {1, 2, 3});
    Cycle copy(original);
    copy.AppendLineSegment(handle(ICycle::PartContour, 0), {4, 5, 6});
    copy.NewIslandContour();
    original.ClearContourTable();
    EXPECT_EQ(copy.GetNumberOfSegments(handle(ICycle::PartContour, 0)), 2);
    EXPECT_EQ(original.GetNumberOfPartContours(), 0);
    ASSERT_TRUE(copy.SaveContourTable());
    EXPECT_EQ(stored(op).kinds, (std::vector<int>{-2, 1, 1}));
}

TEST_F(CycleTest, TheFactoryLoadsWhenAskedAndObjectsLiveInClassMemory) {
    store(op, {-1, 1}, {std::vector<double>(6, 0.0), std::vector<double>(6, 1.0)});
    ICycle* empty = CycleFactory::Create(op, false);
    ICycle* loaded = CycleFactory::Create(op, true);
    EXPECT_GE(stend_test::cpp_memory_live(), class_memory + 2);  // the objects and their lists
    EXPECT_EQ(empty->GetNumberOfBlankContours(), 0);
    EXPECT_EQ(loaded->GetNumberOfBlankContours(), 1);
    delete empty;
    delete loaded;
}

}  // namespace

namespace {

// Without an operation nothing can be stored: saving says so instead of
// reporting success, and loading finds an empty table.
TEST(CycleWithoutOperation, SavesNothingAndLoadsEmpty) {
    std::unique_ptr<ICycle> cycle(CycleFactory::Create(nullptr, true));
    cycle->NewPartContour();
    cycle->AppendLineSegment({ICycle::PartContour, 0}, {1, 2, 3});
    EXPECT_FALSE(cycle->SaveContourTable());
    EXPECT_TRUE(cycle->LoadContourTable());
    EXPECT_EQ(cycle->GetNumberOfPartContours(), 0);
}

}  // namespace
