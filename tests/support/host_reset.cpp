// Puts every host stand-in back to its defaults before each test, so no test
// sees another's checking level, environment, tolerances or captured output.
#include <glimra/testing.h>
#include <gtest/gtest.h>
#include <pellam/testing.h>
#include <pellam/testing_builders.h>
#include <pellam/testing_clone.h>
#include <pellam/testing_segment.h>
#include <quorn/testing.h>
#include <sorrel/testing.h>
#include <stend/testing.h>
#include <tavish/testing.h>
#include <velte/testing.h>

namespace {

class HostReset : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        stend_test::reset_all();
        velte_test::reset_all();
        quorn_test::reset_tolerances();
        glimra_test::clear();
        glimra_test::set_active_view(1);
        tavish_test::clear();
        pellam_test::clear();
        sorrel_test::reset();
        pellam_test::reset_segment_geom_types();
        pellam_test::clear_created_segments();
        pellam_test::clear_cloned_segments();
    }
};

struct Register {
    Register() { ::testing::UnitTest::GetInstance()->listeners().Append(new HostReset); }
} g_register;

}  // namespace
