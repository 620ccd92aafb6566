// Integer grid map: where coordinates land on the grid, how out-of-range
// values are treated, and that the conversions run through the class
// descriptor.
#include <gtest/gtest.h>
#include <merrow1/int_grid_map.h>
#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

namespace {

const char kOutOfRange[] = "Put to Grid Attempted on out of range coordinate";

int put(const INT_GRID_MAP_s* map, double value, int axis) {
    return INT_GRID_MAP_method<INT_GRID_MAP_SLOT_PUT_COORD_TO_GRID>(map)(map, value, axis);
}
double get(const INT_GRID_MAP_s* map, int grid, int axis) {
    return INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_COORD_FROM_GRID>(map)(map, grid, axis);
}
bool set_ignore(INT_GRID_MAP_s* map, bool ignore) {
    return INT_GRID_MAP_method<INT_GRID_MAP_SLOT_SET_IGNORE_SCALING_ERRORS>(map)(map, ignore);
}

class GridMap : public ::testing::Test {
protected:
    void SetUp() override {
        INT_GRID_MAP_init_module();
        pool = CMEM_private_create_pool(0, "grid map test", __LINE__, __FILE__);
    }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    // A map whose scale is exactly `scale` grid units per unit, box minimum 0,
    // so that grid positions can be written down exactly.
    INT_GRID_MAP_s* exact_map(double scale) {
        INT_GRID_MAP_s* map = INT_GRID_MAP__create(pool, 0, 0, 0, 1, 1, 1, 31);
        for (double& s : map->scale) s = scale;
        return map;
    }

    CMEM_pool_s* pool = nullptr;
};

TEST_F(GridMap, UniformThirtyOneBitMapPutsTheBoxBetweenZeroAndTheMarginBelowTheTop) {
    INT_GRID_MAP_s* map = INT_GRID_MAP__create_uniform(pool, -5, 10, 2, 15, 20, 3, 31);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(OBJECT_class_number_of(map->descriptor), INT_GRID_MAP_CLASS_NUMBER);
    EXPECT_FALSE(map->ignore_scaling_errors);
    int gx, gy, gz;
    INT_GRID_MAP_method<INT_GRID_MAP_SLOT_PUT_3D_TO_GRID>(map)(map, -5, 10, 2, &gx, &gy, &gz);
    EXPECT_EQ(gx, 0);
    EXPECT_EQ(gy, 0);
    EXPECT_EQ(gz, 0);
    // x has the largest extent (20): its maximum lands at 2^31 / 1.0000001.
    EXPECT_EQ(put(map, 15, 0), 2147483433);
    // One scale for all axes: y (extent 10) reaches half of that.
    EXPECT_EQ(put(map, 20, 1), 1073741717);
    EXPECT_EQ(map->scale[0], map->scale[1]);
    EXPECT_EQ(map->scale[0], map->scale[2]);
    EXPECT_DOUBLE_EQ(INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_GRID_SIZE>(map)(map, 1), 20 * 1.0000001 / 2147483648.0);
}

TEST_F(GridMap, PerAxisMapScalesEachAxisToItsOwnExtent) {
    INT_GRID_MAP_s* map = INT_GRID_MAP__create(pool, 0, 0, 0, 20, 10, 0, 31);
    EXPECT_EQ(put(map, 20, 0), 2147483433);
    EXPECT_EQ(put(map, 10, 1), 2147483433);
    // No extent in z: scale 0, everything goes to grid 0 and reads back as
    // the box minimum.
    EXPECT_EQ(map->scale[2], 0.0);
    EXPECT_EQ(put(map, 1e9, 2), 0);
    EXPECT_EQ(get(map, 0, 2), 0.0);
}

TEST_F(GridMap, PositionsRoundToTheNearestGridCoordinateHalvesUpward) {
    INT_GRID_MAP_s* map = exact_map(4.0);
    struct Case {
        double value;
        int grid;
    } cases[] = {
        {0.0, 0},          {0.125, 1},         {0.12499999, 0}, {0.375, 2}, {0.374, 1},
        {-0.125, 0},  // position -0.5 + 0.5 = 0: still on the grid
        {536870911.85, 2147483647},  // position 2147483647.4 + 0.5: inside the top margin
    };
    for (const Case& c : cases) EXPECT_EQ(put(map, c.value, 0), c.grid) << "value " << c.value;
}

TEST_F(GridMap, OutOfRangeRaises1585001UnlessIgnoredThenClamps) {
    INT_GRID_MAP_s* map = exact_map(1.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double value;
        int clamped;
    } cases[] = {
        {2147483647.5, 2147483647},  // position 2147483648.0: above 2147483647.9999
        {1e300, 2147483647},
        {-0.5000001, 0},
        {-1e300, 0},
        {nan, 0},
    };
    for (const Case& c : cases) {
        stend_test::clear();
        try {
            put(map, c.value, 1);
            ADD_FAILURE() << "no error for " << c.value;
        } catch (const Korvo::Error::Exception& e) {
            EXPECT_EQ(e.askCode(), INT_GRID_MAP_ERROR_OUT_OF_RANGE);
            EXPECT_EQ(e.askText(), kOutOfRange);
        }
        ASSERT_EQ(stend_test::records().size(), 1u);
        EXPECT_EQ(stend_test::records()[0].kind, stend_test::Kind::Exception);
        EXPECT_EQ(stend_test::records()[0].file, "int_grid_map");
    }
    EXPECT_FALSE(set_ignore(map, true));
    for (const Case& c : cases) EXPECT_EQ(put(map, c.value, 1), c.clamped) << "value " << c.value;
    EXPECT_TRUE(set_ignore(map, false));
    EXPECT_THROW(put(map, 1e300, 1), Korvo::Error::Exception);
}

TEST_F(GridMap, MessageTableIsRegisteredOnce) {
    INT_GRID_MAP_init_module();
    EXPECT_STREQ(ERROR_decode(INT_GRID_MAP_ERROR_OUT_OF_RANGE), kOutOfRange);
    EXPECT_EQ(ERROR_decode(INT_GRID_MAP_ERROR_BASE + 2), nullptr);
    // The range is taken: a second registration by anyone else fails.
    EXPECT_EQ(ERROR_register_decoder_fn(INT_GRID_MAP_ERROR_BASE + 9, 1, ERROR_decode_in_table, nullptr), 0);
}

TEST_F(GridMap, ReadingBackGivesTheLatticePointWithinHalfAGridUnit) {
    INT_GRID_MAP_s* map = INT_GRID_MAP__create_uniform(pool, -3.25, 7, -1, 41.5, 9, 1, 31);
    const double half = 0.5 * INT_GRID_MAP__get_grid_size(map, 0);
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> xs(-3.25, 41.5), ys(7, 9);
    for (int i = 0; i < 1000; ++i) {
        const double x = xs(random), y = ys(random);
        int gx, gy;
        INT_GRID_MAP_method<INT_GRID_MAP_SLOT_PUT_2D_TO_GRID>(map)(map, x, y, &gx, &gy);
        double bx, by;
        INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_2D_FROM_GRID>(map)(map, gx, gy, &bx, &by);
        EXPECT_LE(std::fabs(bx - x), half * (1 + 1e-6)) << x;
        EXPECT_LE(std::fabs(by - y), half * (1 + 1e-6)) << y;
        // The value read back is a lattice point: it goes to the same grid point.
        EXPECT_EQ(put(map, bx, 0), gx);
    }
    // Vectors carry no offset.
    double vx, vy;
    INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_2D_VEC_FROM_GRID>(map)(map, 1000, -2000, &vx, &vy);
    EXPECT_DOUBLE_EQ(vx, 1000 / map->scale[0]);
    EXPECT_DOUBLE_EQ(vy, -2000 / map->scale[1]);
}

TEST_F(GridMap, SetMinMovesTheOffsets) {
    INT_GRID_MAP_s* map = exact_map(2.0);
    INT_GRID_MAP_method<INT_GRID_MAP_SLOT_SET_MIN>(map)(map, 10, -20, 30);
    int gx, gy, gz;
    INT_GRID_MAP__put_3d_to_grid(map, 10, -19, 32, &gx, &gy, &gz);
    EXPECT_EQ(gx, 0);
    EXPECT_EQ(gy, 2);
    EXPECT_EQ(gz, 4);
    double x, y, z;
    INT_GRID_MAP__get_3d_from_grid(map, 0, 2, 4, &x, &y, &z);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, -19);
    EXPECT_EQ(z, 32);
}

TEST_F(GridMap, CopyConvertsLikeTheOriginal) {
    INT_GRID_MAP_s* map = INT_GRID_MAP__create(pool, -1, -2, -3, 4, 5, 6, 24);
    set_ignore(map, true);
    CMEM_pool_s* other = CMEM_private_create_pool(0, "copy pool", __LINE__, __FILE__);
    INT_GRID_MAP_s* copy = INT_GRID_MAP_method<INT_GRID_MAP_SLOT_CREATE_COPY>(map)(map, other);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(CMEM_private_ask_pool_of_object(copy), other);
    EXPECT_EQ(copy->descriptor, map->descriptor);
    EXPECT_TRUE(copy->ignore_scaling_errors);
    for (double v : {-1.0, -0.3, 0.0, 1.7, 3.999, 4.0, 1e9, -1e9})
        for (int axis = 0; axis < 3; ++axis) EXPECT_EQ(put(copy, v, axis), put(map, v, axis)) << v << " " << axis;
    for (int g : {0, 1, 12345, 16777215})
        for (int axis = 0; axis < 3; ++axis) EXPECT_EQ(get(copy, g, axis), get(map, g, axis));
    CMEM_private_delete_pool(other);
}

// The 2-D and 3-D conversions reach the single-coordinate ones through the
// map's descriptor: a map given a descriptor whose slots 2 and 5 record
// their calls shows the order x, y, z.
std::string g_calls;
int recording_put(const INT_GRID_MAP_s*, double value, int axis) {
    g_calls += "p" + std::to_string(axis);
    return static_cast<int>(value) * 10 + axis;
}
double recording_get(const INT_GRID_MAP_s*, int grid, int axis) {
    g_calls += "g" + std::to_string(axis);
    return grid + axis / 10.0;
}

TEST_F(GridMap, TwoAndThreeDimensionalConversionsCallTheDescriptorSlots) {
    const OBJECT_entry_t* real = INT_GRID_MAP_ask_descriptor();
    EXPECT_EQ(OBJECT_class_number_of(real), INT_GRID_MAP_CLASS_NUMBER);
    EXPECT_EQ(real[OBJECT_BASE_ENTRIES + INT_GRID_MAP_SLOT_PUT_COORD_TO_GRID],
              OBJECT_method_entry(&INT_GRID_MAP__put_coord_to_grid));
    EXPECT_EQ(real[OBJECT_BASE_ENTRIES + INT_GRID_MAP_SLOT_SET_IGNORE_SCALING_ERRORS],
              OBJECT_method_entry(&INT_GRID_MAP__set_ignore_scaling_errors));
    EXPECT_EQ(real[1], OBJECT_ask_descriptor()[1]);  // the base entries are copied

    OBJECT_entry_t fake[OBJECT_BASE_ENTRIES + INT_GRID_MAP_OWN_SLOTS];
    for (int i = 0; i < OBJECT_BASE_ENTRIES + INT_GRID_MAP_OWN_SLOTS; ++i) fake[i] = real[i];
    fake[OBJECT_BASE_ENTRIES + INT_GRID_MAP_SLOT_PUT_COORD_TO_GRID] = OBJECT_method_entry(&recording_put);
    fake[OBJECT_BASE_ENTRIES + INT_GRID_MAP_SLOT_GET_COORD_FROM_GRID] = OBJECT_method_entry(&recording_get);
    INT_GRID_MAP_s* map = exact_map(1.0);
    map->descriptor = fake;
    g_calls.clear();
    int gx, gy, gz;
    INT_GRID_MAP__put_3d_to_grid(map, 1, 2, 3, &gx, &gy, &gz);
    INT_GRID_MAP__put_2d_to_grid(map, 4, 5, &gx, &gy);
    EXPECT_EQ(g_calls, "p0p1p2p0p1");
    EXPECT_EQ(gx, 40);
    EXPECT_EQ(gy, 51);
    EXPECT_EQ(gz, 32);
    g_calls.clear();
    double x, y, z;
    INT_GRID_MAP__get_3d_from_grid(map, 1, 2, 3, &x, &y, &z);
    INT_GRID_MAP__get_2d_from_grid(map, 4, 5, &x, &y);
    EXPECT_EQ(g_calls, "g0g1g2g0g1");
    EXPECT_DOUBLE_EQ(y, 5.1);
    EXPECT_DOUBLE_EQ(z, 3.2);
}

TEST_F(GridMap, DestroyFreesTheRecordAndIgnoresNull) {
    const long before = velte_test::live_object_count();
    INT_GRID_MAP_s* map = INT_GRID_MAP__create_uniform(pool, 0, 0, 0, 1, 1, 1, 31);
    EXPECT_EQ(velte_test::live_object_count(), before + 1);
    INT_GRID_MAP__destroy(map);
    EXPECT_EQ(velte_test::live_object_count(), before);
    INT_GRID_MAP__destroy(nullptr);
    EXPECT_EQ(INT_GRID_MAP__create(nullptr, 0, 0, 0, 1, 1, 1, 31), nullptr);
}

TEST_F(GridMap, AxisOutsideZeroToTwoIsRefusedWithANote) {
    MACH__checking_level = 1;
    INT_GRID_MAP_s* map = exact_map(1.0);
    EXPECT_EQ(put(map, 5, 3), 0);
    EXPECT_EQ(get(map, 5, -1), 0.0);
    EXPECT_EQ(INT_GRID_MAP__get_grid_size(map, 7), 0.0);
    const auto notes = stend_test::texts(stend_test::Kind::Note);
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0], "Assertion failed: DUE_TO_INVALID_INPUT");
}

}  // namespace
