// Every operation of the polygon-set intersection class is reached through
// its own slot of the class descriptor.
#include <gtest/gtest.h>
#include <merrow1/psi.h>

#include "polyset/psi_gouge.h"
#include "polyset/psi_internal.h"
#include "polyset/psi_ray.h"
#include "polyset/psi_set.h"

namespace {

struct SlotCase {
    int slot;
    OBJECT_entry_t entry;
    const char* name;
};

TEST(PsiSlots, LaterModulesAreInstalledInTheirSlots) {
    PSI_s* psi = PSI_create(0, false, false, nullptr, nullptr);
    ASSERT_NE(psi, nullptr);
    const SlotCase cases[] = {
        {PSI_SLOT_SET_BOOLEAN, OBJECT_method_entry(&PSI__set_boolean), "boolean"},
        {PSI_SLOT_SET_CLEAN_EACH_REGION_SET, OBJECT_method_entry(&PSI__set_clean_each_region_set), "clean"},
        {PSI_SLOT_SET_FIND_MINIMAL_LOOPS, OBJECT_method_entry(&PSI__set_find_minimal_loops), "minimal loops"},
        {PSI_SLOT_SET_COLLECT_UNCOVERED_PATHS, OBJECT_method_entry(&PSI__set_collect_uncovered_paths), "paths"},
        {PSI_SLOT_SET_SIMPLE_GOUGE_CHECK, OBJECT_method_entry(&PSI__set_simple_gouge_check), "simple gouge"},
        {PSI_SLOT_SET_DEGOUGE_POLY_SEG, OBJECT_method_entry(&PSI__set_degouge_poly_seg), "degouge"},
        {PSI_SLOT_SET_VISIT_POLY_INTERSECTIONS, OBJECT_method_entry(&PSI__set_visit_poly_intersections), "visit"},
        {PSI_SLOT_SET_REGION_GOUGE_CHECK, OBJECT_method_entry(&PSI__set_region_gouge_check), "region gouge"},
        {PSI_SLOT_SET_IS_MATERIAL_AT_INF, OBJECT_method_entry(&PSI__set_is_material_at_inf), "material"},
        {PSI_SLOT_SET_IS_WRAP_MAT_AT_INF, OBJECT_method_entry(&PSI__set_is_wrap_mat_at_inf), "wrap material"},
        {PSI_SLOT_SET_CALC_INF_FOR_OFFSETS, OBJECT_method_entry(&PSI__set_calc_inf_for_offsets), "offsets"},
        {PSI_SLOT_SET_EXTRACT_FINAL_BOUNDARIES, OBJECT_method_entry(&PSI__set_extract_final_boundaries), "extract"},
        {PSI_SLOT_SET_PREPROCESS_REGION_SETS, OBJECT_method_entry(&PSI__set_preprocess_region_sets), "preprocess"},
        {PSI_SLOT_SET_LONGEST_LOOP_OF_POLY, OBJECT_method_entry(&PSI__set_longest_loop_of_poly), "longest"},
        {PSI_SLOT_SET_DO_INTERSET_INTERSECTIONS, OBJECT_method_entry(&PSI__set_do_interset_intersections), "interset"},
        {PSI_SLOT_RAY_CALC_WINDING_NUMBER, OBJECT_method_entry(&PSI__ray_calc_winding_number), "winding"},
        {PSI_SLOT_RAY_TRACE_OUTER_BOUNDARY, OBJECT_method_entry(&PSI__ray_trace_outer_boundary), "outer"},
        {PSI_SLOT_RAY_SORT_RAY_INTXN, OBJECT_method_entry(&PSI__ray_sort_ray_intxn), "sort ray"},
        {PSI_SLOT_RAY_MERGE_REGION_UP_RAY, OBJECT_method_entry(&PSI__ray_merge_region_up_ray), "merge up"},
        {PSI_SLOT_RAY_DO_DELAYED_REGION_MERGES, OBJECT_method_entry(&PSI__ray_do_delayed_region_merges), "delayed"},
    };
    for (const SlotCase& c : cases)
        EXPECT_EQ(psi->descriptor[OBJECT_BASE_ENTRIES + c.slot], c.entry) << c.name;
    PSI_destroy(psi);
}

}  // namespace
