// Puts every host stand-in back to its defaults before each test, so no test
// sees another's checking level, environment, tolerances or captured output.
#include <glimra/testing.h>
// The earlier builds' test programs do not link the demand loader.
#ifdef MERROW1_TESTS_DUNMORE
#include <dunmore/testing.h>
#endif
#include <harlow/testing_rm.h>
#include <nimber/testing.h>
#include <pemmet/testing.h>
#include <glimra/testing_color.h>
#include <gtest/gtest.h>
#include <harlow/testing.h>
#include <harlowkit/testing.h>
#include <pellam/testing.h>
#include <pellam/testing_builders.h>
#include <pellam/testing_cam_views.h>
#include <pellam/testing_clone.h>
#include <pellam/testing_global_records.h>
#include <pellam/testing_grid3d_items.h>
#include <pellam/testing_merge.h>
#include <pellam/testing_offset.h>
#include <pellam/testing_segment.h>
#include <pellam/testing_vertex_data.h>
#include <quorn/testing.h>
#include <randle/testing.h>
#include <sorrel/testing.h>
#include <stend/testing.h>
#include <stend/testing_name_length.h>
#include <stend/testing_sm.h>
#include <stend/testing_cfi.h>
#include <tavish/testing.h>
#include <tavish/testing_plane.h>
#include <toft/testing.h>
#include <velte/testing.h>
#include <velte/testing_text.h>
#include <wendle/testing.h>
#include <harlow/testing_part_units.h>
#include <harlowkit/testing_vz.h>
#include <harlowkit/testing_vz_kernel.h>
#include <pellam/testing_camgeom.h>
#include <pellam/testing_param.h>
#include <harlow/testing_part.h>
#include <pellam/testing_cutter.h>
#include <pellam/testing_ipw.h>
#include <quorn/testing_mtx3.h>
#include <randle/testing_bcurve.h>
#include <stend/testing_error_report.h>
#include <tavish/testing_entities.h>
#include <velte/testing_tree.h>

namespace {

class HostReset : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        stend_test::reset_all();
        stend_test::om_reset();
        velte_test::reset_all();
        quorn_test::reset_tolerances();
        glimra_test::clear();
        glimra_test::set_active_view(1);
        glimra_test::reset_view_list();
        glimra_test::reset_colors();
        tavish_test::clear();
        pellam_test::clear();
        pellam_test::clear_grid_calls();
        pellam_test::clear_item_grid_record();
        sorrel_test::reset();
        pellam_test::reset_segment_geom_types();
        pellam_test::clear_created_segments();
        pellam_test::clear_cloned_segments();
        pellam_test::reset_global_records();
        randle_test::reset();
        pellam_test::clear_merge_calls();
        pellam_test::reset_seg_wall();
        pellam_test::reset_vertex_data();
        pellam_test::reset_offset_callbacks();
        stend_test::clear_name_length_calls();
        velte_test::reset_illegal_chars();
        pellam_test::reset_cam_views();
        wendle_test::reset();
        harlow_test::reset();
        tavish_test::reset_planes();
        toft_test::reset();
        stend_test::sm_fail_at(0);
        pemmet_test::reset();
        harlow_test::reset_rm();
        nimber_test::reset();
        stend_test::reset_cfi();
        harlowkit_test::reset();
        tavish_test::reset_entities();
        harlow_test::reset_object_units();
        harlowkit_test::reset_vz();
        pellam_test::reset_cutters();
        pellam_test::reset_ipw();
        quorn_test::reset_mtx3_calls();
        randle_test::reset_curves();
        stend_test::reset_reported_errors();
        velte_test::reset_tree_calls();
        pellam_test::reset_part();
        harlowkit_test::reset_vz_kernel();
        pellam_test::reset_camgeom();
        pellam_test::reset_z_axes();
        harlow_test::reset_vj_scale_factors();
#ifdef MERROW1_TESTS_DUNMORE
        dunmore_test::reset();
#endif
    }
};

struct Register {
    Register() { ::testing::UnitTest::GetInstance()->listeners().Append(new HostReset); }
} g_register;

}  // namespace
