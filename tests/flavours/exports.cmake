# Runs `nm -DC --defined-only` on each flavour and checks the table below:
# each row is a demangled name and whether libmerrow1, libmerrow1-legacy and
# libmerrow1-classic export it (1) or not (0).  Then the classic build must
# export nothing of its own in the Korvo namespace (weak instantiations from
# host headers aside).
cmake_policy(SET CMP0007 NEW)
set(rows
  "SSP_init_module()|0|1|1"
  "SSP_ask_num_of_loaded_ssps()|0|1|1"
  "SSP_create_many_from_one_file(char const*, int, char const**, char const**, char const*, SSP_units_e)|0|1|1"
  "CAM_ask_root_of_view(int)|0|1|1"
  "CPE_init_global_machining(CPE_records_s const&)|0|1|1"
  "CPE_init_global_mill(CPE_records_s const&)|0|1|1"
  "CPE_init_global_lathe(CPE_records_s const&)|0|1|1"
  "CPE_init_surface_contouring(CPE_records_s const&)|0|1|1"
  "CPE_init_planar_milling(CPE_records_s const&)|0|1|1"
  "CPE_init_cavity_milling(CPE_records_s const&)|0|1|1"
  "CPE_init_paramline_milling(CPE_records_s const&)|0|1|1"
  "CPE_init_zigzag_surface(CPE_records_s const&)|0|1|1"
  "CPE_init_seq_surf_milling(CPE_records_s const&)|0|1|1"
  "CPE_init_lathe_rough(CPE_records_s const&)|0|1|1"
  "CPE_init_lathe_finish(CPE_records_s const&)|0|1|1"
  "CPE_init_lathe_thread(CPE_records_s const&)|0|1|1"
  "CPE_init_lathe_drill(CPE_records_s const&)|0|1|1"
  "CPE_init_lathe_groove(CPE_records_s const&)|0|1|1"
  "CPE_init_pt2pt(CPE_records_s const&)|0|1|1"
  "CPE_init_wire_edm(CPE_records_s const&)|0|1|1"
  # Every build exports the exact arithmetic and the plain cut-parameter entries.
  "LINE_ARC_SEG_prd_grid_loop_area_sign(PNT2_s const*, int, double, double)|1|1|1"
  "CPE_init_we_machine_cntl_events|1|1|1"
  # Every build holds the offset family.
  "CHAIN_offset(RING_header_s*, double, int, int, int (*)(RING_header_s const*, RING_node_s const*, bool, RING_header_s*, RING_node_s*), CHAIN_trace_vertex_t (*)(RING_header_s const*, RING_node_s const*), int (*)(RING_node_s*, RING_node_s*, RING_header_s*, RING_node_s*, RING_header_s*), CMEM_pool_s*, CHAIN_traceOutputParams_s const*)|1|1|1"
  "CHAIN_ask_new_filleting_status()|1|1|1"
  "CHAIN_offset_and_boolean(RING_header_s*, double, int, int, int (*)(RING_header_s const*, RING_node_s const*, bool, RING_header_s*, RING_node_s*), CHAIN_trace_vertex_t (*)(RING_header_s const*, RING_node_s const*), int (*)(RING_node_s*, RING_node_s*, RING_header_s*, RING_node_s*, RING_header_s*), CMEM_pool_s*)|1|1|1"
  # The small routines, cut-parameter pieces and spreadsheet schema of the
  # earlier builds (both forms where a newest form sits beside an earlier
  # one); the flavour switch of the spreadsheet class stays internal.
  "BOX2_init(double, double, double, double, BOX2_t*)|0|1|1"
  "BOX2_expand(BOX2_t*, double)|0|1|1"
  "BOX2_overlaps(BOX2_t const*, BOX2_t const*, double)|0|1|1"
  "CHAIN_zone_order_extract_chains(void*, BZONE_s*, BZONE_s*)|0|1|1"
  # The trochoidal paths of the earlier builds, and the segment-type setter
  # every build carries.
  "CHAIN_add_embedded_vertex_data(RING_node_s*, int, CMEM_pool_s*)|0|1|1"
  "CHAIN_evenly_distribute_embedded_vertices(RING_header_s*, double, void (*)(RING_header_s const*, RING_node_s*))|0|1|1"
  "CHAIN_insert_tangential_loops(RING_header_s*, double)|0|1|1"
  "CHAIN_create_tangential_vertex_loop(RING_header_s const*, RING_node_s const*, double, CMEM_pool_s*, Korvo::Math::Point2*, Korvo::Math::Vector2*)|0|1|1"
  "CHAIN_create_tangential_trochoidal_chain(RING_header_s*, double, double, int (*)(RING_node_s*, RING_node_s*, RING_header_s*, RING_node_s*, RING_header_s*), CMEM_pool_s*)|0|1|1"
  "CHAIN_create_chain_from_tangential_loops(Korvo::Math::Point2 const*, Korvo::Math::Vector2 const*, double, double, int, int, CSYS const*, CMEM_pool_s*)|0|1|1"
  "CHAIN_seg_set_type(RING_node_s*, int)|1|1|1"
  "CHAIN_update_point_on_chain(POINT_ON_CHAIN_s*, POINT_ON_CHAIN_s const*, RING_node_s*)|0|1|1"
  "CHAIN_remove_intermediate_source_list(RING_header_s*)|0|1|1"
  "CHAIN_create_closed_from_opens(RING_header_s*)|0|1|1"
  "CHAIN_reverse_chains_wrt_cut_dir(RING_header_s*, int)|0|1|1"
  "CHAIN_remove_coinciding_segments(RING_header_s*, double)|0|1|1"
  "CHAIN_display_int_points(RING_header_s const*, int, int, int, int)|0|1|1"
  "CHAIN_display_sp_splitchains(RING_header_s const*, int, int, int, int)|0|1|1"
  "CHAIN_display_all_splitchains(RING_header_s const*, int, int, int, int)|0|1|1"
  "CHAIN_display_all_splitpoints(RING_header_s const*, int, int, int)|0|1|1"
  "CHAIN_offset_value_by_source_mark(RING_header_s*, RING_node_s*, RING_node_s*, void*)|0|1|1"
  "CHAIN_fillet_all(RING_header_s*, double, double, int (*)(RING_header_s const*, RING_node_s const*, bool, RING_header_s*, RING_node_s*), int (*)(RING_node_s*, RING_node_s*, RING_header_s*, RING_node_s*, RING_header_s*), void* (*)(RING_header_s const*, RING_node_s const*, CMEM_pool_s*, int*), int)|0|1|1"
  "ChainRetractPointOnSegment(RING_header_s*, RING_header_s*, SEGMENT const*, Korvo::Math::Point2*, double*)|0|1|1"
  "LINE_ARC_SEG_prd_compare_parallel(PNT2_s*, LINE_ARC_SEG_s*, int, PNT2_s*, LINE_ARC_SEG_s*, int)|0|1|1"
  "SEGMENT_is_linear(SEGMENT*, double*)|0|1|1"
  "POLY_SEG_dummy_src_eval_using_point_data(RING_node_s*, PNT2_s*, PNT2_s*, double*, bool*, double*)|0|1|1"
  "POLY_SEG_dummy_src_eval_using_point_data(RING_node_s const*, Korvo::Math::Point2*, Korvo::Math::Point2*, double*, bool*, double*)|1|1|1"
  "PSI__ixn_handle_2seg_intersect(PSI_s*, PSI_LEGACY_SEGMENT_s*, PSI_LEGACY_SEGMENT_s*, PNT2_s*, int*, int)|0|1|1"
  "PSI__ixn_handle_2seg_intersect(void*, PSI_INTXN_NODE_s*, PSI_INTXN_NODE_s*, PSI_INTXN_NODE_s*, PNT2_s*, int*, int)|1|1|1"
  "pe1222|0|1|1"
  "CPE_init_seq_surf_milling2(CPE_records_s const&)|0|1|1"
  "CPE_init_sc_boundary(CPE_records_s const&)|0|1|1"
  "CPE_init_sc_surf_area(CPE_records_s const&)|0|1|1"
  "CPE_init_sc_surf_ruling(CPE_records_s const&)|0|1|1"
  "CPE_init_global_temp(CMEM_pool_s*)|0|1|1"
  "SSP_init_ids()|0|1|1"
  "SSP_boot_schema()|0|1|1"
  "SSP_init_schema()|0|1|1"
  "SSP_init_methods(bool)|0|1|1"
  "SSP__init_ssp_t1()|0|1|1"
  "OM_log(Korvo::OM::Object*)|0|1|1"
  "SSP_class_id|0|1|1"
  # The grid intersection of chain lists is the oldest build's own; the box
  # of one segment is in every build.
  "CHAIN_find_intersection(RING_header_s*, RING_header_s*)|0|0|1"
  "CHAIN__intersection_with_grid_chain(RING_header_s*, RING_header_s*)|0|0|1"
  "CHAIN__intersection_with_grid_segment(RING_header_s*, RING_header_s*)|0|0|1"
  "ChainToChainsIntList(CHAIN_grid_chain_item_s*, CARR_array_t*, RING_header_s*)|0|0|1"
  "CHAIN__grid_segment_next_item(void*, void*)|0|0|1"
  "CHAIN__grid_segment_box(void*, void*)|0|0|1"
  "CHAIN__grid_segment_ask_mark(void*, void*)|0|0|1"
  "CHAIN__grid_segment_set_mark(void*, void*, int)|0|0|1"
  "CHAIN__grid_chain_next_item(void*, void*)|0|0|1"
  "CHAIN__grid_chain_box(void*, void*)|0|0|1"
  "CHAIN__grid_chain_ask_mark(void*, void*)|0|0|1"
  "CHAIN__grid_chain_set_mark(void*, void*, int)|0|0|1"
  "SegmentBox(SEGMENT const*, double const*, CHAIN_BOX_s*)|1|1|1"
  # The oldest build's boolean, checks, copy queries, stock wrapper and
  # network dump.
  "CHAIN_boolean_grid(RING_header_s*, int, RING_header_s*, int (*)(RING_node_s*, RING_node_s*, RING_header_s*, RING_node_s*, RING_header_s*))|0|0|1"
  "CHAIN_violate_check(RING_header_s*, RING_header_s*)|0|0|1"
  "ChainsLineGouge(RING_header_s*, Korvo::Math::Point2 const*, Korvo::Math::Point2 const*)|0|0|1"
  "CHAIN_is_chain_copied_from(RING_header_s const*, RING_header_s const*)|0|0|1"
  "CHAIN_ask_copied_source(RING_header_s*, RING_header_s*)|0|0|1"
  "ChainStock(RING_header_s*, RING_header_s*, double const*, int)|0|0|1"
  "PSI__debug_intxn(PSI_INTXN_NODE_s*, int)|0|0|1"
  "SSP_type_attr_id|0|1|1"
  "SSP_key_name_attr_id|0|1|1"
  "SSP_ss_name_attr_id|0|1|1"
  "SSP_sheet_name_attr_id|0|1|1"
  "SSP_loaded_from_name_attr_id|0|1|1"
  "SSP_column_headings_attr_id|0|1|1"
  "SSP_spreadsheet_attr_id|0|1|1"
  "SSP_number_of_rows_attr_id|0|1|1"
  "SSP_number_of_columns_attr_id|0|1|1"
  "SSP_concatenator_attr_id|0|1|1"
  "SSP_units_attr_id|0|1|1"
  "SSP_isa_attr_id|0|1|1"
  "SSP_om_flags_attr_id|0|1|1"
  "SSP_om_method_descriptor_attr_id|0|1|1"
  "merrow1::ssp_class_registered_at_load()|0|0|0"
  # Smoothing passes, the spike removers beside them, the poly-segment XML
  # reader and the developer drivers: both earlier builds.
  "CAM_SMTH_remove_spikes|1|1|1"
  "CAM_SMTH_remove_spikes2|1|1|1"
  "CAM_SMTH_remove_sharpcorner|0|1|1"
  "CAM_SMTH_remove_sparks|0|1|1"
  "CAM_SMTH_mergep|0|1|1"
  "CAM_SMTH_linear_smooth|0|1|1"
  "CAM_SMTH_curves|0|1|1"
  "POLY_SEG_read_xml(RING_header_s*, char const*)|0|1|1"
  "PSI_test(char const*, char const*)|0|1|1"
  "PSI_INTXN_NODE_debug(PSI_INTXN_NODE_s*, int)|0|1|1"
  "SNAP_ROUND__test()|0|1|1"
  # Every build holds the offset family.
  "CHAIN_offset(RING_header_s*, double, int, int, int (*)(RING_header_s const*, RING_node_s const*, bool, RING_header_s*, RING_node_s*), CHAIN_trace_vertex_t (*)(RING_header_s const*, RING_node_s const*), int (*)(RING_node_s*, RING_node_s*, RING_header_s*, RING_node_s*, RING_header_s*), CMEM_pool_s*, CHAIN_traceOutputParams_s const*)|1|1|1"
  "CHAIN_ask_new_filleting_status()|1|1|1"
  # Every build holds chain location, violation checks, ordering of shapes
  # and flipped cut shapes.
  "CHAIN_check_if_violates_region(RING_header_s*, RING_header_s*, int*, POINT_ON_CHAIN_s*, POINT_ON_CHAIN_s*, bool*)|1|1|1"
  "CHAIN_check_violates_region_sets(RING_header_s const*, int, RING_header_s const**, double const*)|1|1|1"
  "CHAIN_check_violates_region_sets(RING_header_s const*, int, RING_header_s const**, double const*, int const*, POINT_ON_CHAIN_s*, POINT_ON_CHAIN_s*, bool*)|1|1|1"
  "CHAIN_FindGougeFreeSections(RING_header_s*, PART_OF_CHAIN_s*, RING_header_s*, int*, double, double, DYNAMIC_ARRAY_s*, DYNAMIC_ARRAY_s*)|1|1|1"
  "CHAIN_FindGougeFreeChains(RING_header_s*, RING_header_s*, int*, double, double, int (*)(RING_node_s*, RING_node_s*, RING_header_s*, RING_node_s*, RING_header_s*), RING_header_s*)|1|1|1"
  "CHAIN__SegCmpFunctor::operator()(RING_node_s*, RING_node_s*)|1|1|1"
  "CHAIN_FindGougeFreeSplitChains(RING_header_s*, RING_header_s*, int*, double, double, bool (*)(RING_node_s*))|1|1|1"
  "CHAIN_build_split_chain_network(RING_header_s*, CMEM_pool_s*, double*, bool (*)(RING_header_s const*, RING_header_s const*), RING_header_s*)|1|1|1"
  "ChainIntChainLocation(RING_header_s const*, RING_header_s*, double const*, bool*)|1|1|1"
  "CHAIN_violates_by_location(RING_header_s const*, RING_header_s const*)|1|1|1"
  "CHAIN_chain_violate_region(RING_header_s*, RING_header_s*)|1|1|1"
  "CHAIN_remove_duplicate_segment(RING_header_s*, RING_header_s*, int (*)(RING_node_s*, RING_node_s*, RING_header_s*, RING_node_s*, RING_header_s*))|1|1|1"
  "ChainsOffset(RING_header_s*, double const*, bool, int, int, RING_header_s*)|1|1|1"
  "CHAIN_check_chain_violates_region(RING_header_s*, RING_header_s const*, bool (*)(RING_header_s*, RING_node_s*, void*), void*, Korvo::Math::Point2*, bool*)|1|1|1"
  "CHAIN_is_violate_region(RING_header_s*, RING_header_s const*, bool (*)(RING_header_s*, RING_node_s*, void*), void*)|1|1|1"
  "CHAIN_line_seg_violates_region(Korvo::Math::Point2 const*, Korvo::Math::Point2 const*, RING_header_s const*, bool (*)(RING_header_s*, RING_node_s*, void*), void*)|1|1|1"
  "ChainOrderShapes(RING_header_s const*, double const*, CMEM_pool_s*)|1|1|1"
  "CHAIN_order_regions(RING_header_s*)|1|1|1"
  "CHAIN_order_retained_regions(RING_header_s*)|1|1|1"
  "CHAIN_order_shapes_into_regions(RING_header_s*)|1|1|1"
  "ChainOrderTrimShapes(RING_header_s const*, RING_header_s const*, double const*, CMEM_pool_s*)|1|1|1"
  "ChainSequenceShapesByStartEndDistance(Korvo::Math::Point3 const&, RING_header_s*)|1|1|1"
  "CHAIN_remove_islands_at_start(RING_header_s*)|1|1|1"
  "CHAIN_remove_violate_chains(RING_header_s*, RING_header_s*)|1|1|1"
  "CHAIN_check_flipping_cut_shapes(RING_header_s*, RING_header_s*)|1|1|1"
  "CHAIN_check_flip_mach_regions(RING_header_s const*, RING_header_s*)|1|1|1"
  "CHAIN_remove_reg_fr_ord_regions(RING_header_s*, bool (*)(RING_header_s*, void*), void*)|1|1|1"
  "CHAIN_violates_retained_regions(RING_header_s const*, RING_header_s const*)|1|1|1"
  "CHAIN_violates_removed_regions(RING_header_s*, RING_header_s const*, bool)|1|1|1"
  # Provider and retainer shapes: every build.
  "CHRSC_union_providers(RING_header_s*, int, RING_header_s*, int (*)(RING_node_s*, RING_node_s*, RING_header_s*, RING_node_s*, RING_header_s*))|1|1|1"
  "CHRSC_merge_providers_retainers(RING_header_s*, RING_header_s*, int, CMEM_pool_s*, RING_header_s*, int (*)(RING_node_s*, RING_node_s*, RING_header_s*, RING_node_s*, RING_header_s*))|1|1|1"
  # Debug drawing and region displays are plain functions of every build; the
  # workpiece and probing classes are not in the classic build.
  "DSPTOOL_display_box(double*, CSYS const*, MTX3_s*, int, int, int, int*, bool, unsigned int, char const*, double const*)|1|1|1"
  "DSPTOOL_get_arc_data(Korvo::Math::Point3, Korvo::Math::Point3, Korvo::Math::Point3, DSS_ARC_arc_data_s*, MTX3_s*)|1|1|1"
  "PMRP_display_fpass_tree_split_vertices(TREE_s*, int, int)|1|1|1"
  "Korvo::Cam::IpwManager::GetIpwType(OPR*)|1|1|0"
  # Snap rounding: every build exports the object's create and destroy
  # functions only; the host reaches its operations through the descriptor.
  "SNAP_ROUND__create(int, int)|1|1|1"
  "SNAP_ROUND__destroy(SNAP_ROUND_s*)|1|1|1"
  "SNAP_ROUND_init_class()|0|0|0"
  "SNAP_ROUND_ask_descriptor()|0|0|0"
  "SNAP_ROUND__merge_points(SNAP_ROUND_s*, CARR_record_array_s*, CARR_record_array_s*)|0|0|0"
  # The host's exception type keeps one type information for the library
  # and the host; helpers of no header stay inside every build.
  "typeinfo for Korvo::Error::Severe|1|1|1"
  "CHAIN__fillet_tolerance(RING_header_s*)|0|0|0"
  # The earlier build alone makes its own section engines.
  "Korvo::Cam::IGeomSec::GeomSecFactory(RING_header_s*, double, double)|0|1|0"
  "Korvo::Cam::CmmInspectTool::GetToolData(unsigned int, Korvo::Cam::CmmInspectTool::ToolData_s*)|1|1|0"
  "Korvo::Cam::CmmInspectTool::CalcToolAngles(Korvo::Cam::CmmInspectTool::ToolData_s*, Korvo::Math::Vector3*, bool, double*, double*)|1|1|0"
  # The overlap finders and the child offset map: the newest build alone.
  "Korvo::Cam::PolySegOverlapFinder::PolySegOverlapFinder(RING_header_s*, double, double, double const*, double const*, Korvo::Cam::ICurveOverlapFinder::IOverlapReporter*)|1|0|0"
  "Korvo::Cam::PolySegOverlapFinder::IsSegmentOffset(RING_node_s const*, POLY_SEG_node_link_s**)|1|0|0"
  "Korvo::Cam::PolySegOverlapFinder::AppendCrossBar(RING_header_s*, RING_node_s const*, RING_node_s const*, RING_node_s*, Korvo::Cam::PolySegOverlapFinder::CrossBarType)|1|0|0"
  "Korvo::Cam::ChainOverlapFinder::ChainOverlapFinder(RING_header_s*, double, double, double const*, double const*, Korvo::Cam::ICurveOverlapFinder::IOverlapReporter*)|1|0|0"
  "Korvo::Cam::IChildOffsetMap::ChildOffsetMapFactory(RING_header_s*)|1|0|0"
  # The boolean trim and its exported location class: the newest build alone.
  "Korvo::Cam::IBoolTrim::BoolTrimFactory(CMEM_pool_s const*)|1|0|0"
  "Korvo::Cam::BoolTrimLoc::BoolTrimLoc(RING_node_s const*, RING_node_s*)|1|0|0"
  "Korvo::Cam::BoolTrimLoc::CreateChain(CMEM_pool_s*, int (*)(RING_node_s*, RING_node_s*, RING_header_s*, RING_node_s*, RING_header_s*)) const|1|0|0"
  "Korvo::Cam::BoolTrimLoc::IsSplitPtInAir(bool) const|1|0|0"
  # The chain height map and the Z smoother are engines of the newest build.
  "Korvo::Cam::ChainHZMap::ChainHZMap(RING_header_s*, double, double, RING_node_s*, RING_node_s*, bool)|1|0|0"
  "Korvo::Cam::ChainHZMap::WrapBackToXYChain()|1|0|0"
  "Korvo::Cam::ChainHZMap::IsVertexSeg(RING_node_s*, RING_node_s*&, RING_node_s*&)|1|0|0"
  "Korvo::Cam::PolarInterval::Intersect(Korvo::Cam::PolarInterval const&, Korvo::Cam::PolarInterval&)|1|0|0"
  "Korvo::Cam::StringLinearApproximator::AddLine(Korvo::Math::Point2 const&)|1|0|0"
  "Korvo::Cam::IChainZSmoother::ChainZSmootherFactory(double)|1|0|0"
  "Korvo::Cam::IChainZSmoother::ChainZSmootherFactory(double, double, double, double)|1|0|0"
  "Korvo::Cam::ChainZSmoother::DoSmoothPartOnly(RING_header_s*, double)|1|0|0"
  # The solid-kernel bridge: the newest build alone.
  "Korvo::Cam::RotationalSurfaceUtilities::IsSurfaceRotational(int const&, double, Korvo::Math::Vector3 const*, Korvo::Math::Point3 const*)|1|0|0"
  "CHAIN_CreateExtrudedBody(RING_header_s const*, double, double, double*, bool)|1|0|0"
  "CHAIN_CreateExtrudedBody(RING_header_s const*, double, double, double*)|1|0|0"
  "Korvo::Cam::IPointProjector::PointProjectorFactory(RING_header_s const*, double)|1|0|0"
  "Korvo::Cam::BoxablePolygon::CalcMinWidthBox(double**, Korvo::Math::Point2*)|1|0|0"
  "Korvo::Cam::BoundingGeometry::CalculateBoundingBlock(RING_header_s const*, CSYS const&, double*)|1|0|0"
  # The section engine interface: the newest build's, and the earlier
  # build's own form of it (never the oldest's).
  "Korvo::Cam::IGeomSec::IGeomSec()|1|1|0"
  "Korvo::Cam::IGeomSec::~IGeomSec()|1|1|0"
  # The geometry offset engine and the mid-curve: the newest build alone.
  "Korvo::Cam::IGeomOffsetEngine::GeomOffsetEngineFactory(RING_header_s const*, double, double)|1|0|0"
  "Korvo::Cam::IGeomOffsetEngine::GeomOffsetEngineFactory(RING_header_s const*, double, double, Korvo::Math::Point3 const&, Korvo::Math::Vector3 const&, Korvo::Math::Point3 const&, int, double, double)|1|0|0"
  "Korvo::Cam::GeomOffsetEngine::GetOffset(Korvo::Math::Point3 const&, Korvo::Math::Vector3 const&, double)|1|0|0"
  "Korvo::Cam::IMidCurve::MidCurveFactory()|1|0|0"
  "Korvo::Cam::MidCurve::CreateDetour(RING_header_s const*, Korvo::Math::Point3 const&, RING_header_s const*, Korvo::Math::Point3 const&, CMEM_pool_s*, double*)|1|0|0"
)
set(flavours merrow1 merrow1-legacy merrow1-classic)

foreach(flavour ${flavours})
  execute_process(COMMAND ${NM} -DC --defined-only ${${flavour}} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${${flavour}}")
  endif()
  # One exported name per line, the address and type cut off.
  string(REGEX REPLACE "[0-9a-f]+ [A-Za-z] ([^\n]*)" "\\1" names "${out}")
  string(REPLACE ";" "\\;" names "${names}")
  string(REPLACE "\n" ";" names "${names}")
  set(names_${flavour} "${names}")
  set(lines_${flavour} "${out}")
endforeach()

set(failures "")
foreach(row ${rows})
  string(REPLACE "|" ";" fields "${row}")
  list(GET fields 0 name)
  set(column 1)
  foreach(flavour ${flavours})
    list(GET fields ${column} want)
    list(FIND names_${flavour} "${name}" at)
    if(at GREATER -1)
      set(have 1)
    else()
      set(have 0)
    endif()
    if(NOT have EQUAL want)
      if(want)
        list(APPEND failures "lib${flavour} does not export ${name}")
      else()
        list(APPEND failures "lib${flavour} exports ${name}")
      endif()
    endif()
    math(EXPR column "${column} + 1")
  endforeach()
endforeach()

# Strong definitions (T, D, B, R) whose name is in Korvo:: (functions, data,
# and the vtables, type information and thunks of classes there) are the
# classic build's own; a Korvo type among the parameters does not count.
string(REGEX MATCHALL "[0-9a-f]+ [TDBR] ([a-z -]+ (for|to) )?Korvo::[^\n]*" own "${lines_merrow1-classic}")
foreach(line ${own})
  list(APPEND failures "libmerrow1-classic exports its own ${line}")
endforeach()

if(failures)
  string(REPLACE ";" "\n  " text "${failures}")
  message(FATAL_ERROR "export lists differ from the table:\n  ${text}")
endif()
message(STATUS "all rows hold")
