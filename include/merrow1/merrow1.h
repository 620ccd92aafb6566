// Umbrella header: the exported interface of libmerrow1, by family.  It
// includes every exported header but seven, which a host includes by name:
// the section engine interface and the engines on it (IGeomSec.h,
// Cam_GeomOffsetEngine.h, Cam_MidCurve.h, Cam_BoolTrim.h), chain_location.h,
// chain_order.h and chain_violation.h.
//
// Conventions every entry keeps (README.md, "Conventions", says more):
// - A chain is a ring of vertices (chain_types.h); the segment of a vertex
//   runs from the previous vertex to it, so the first vertex of a closed chain
//   carries the closing segment and that of an open chain only the start.
// - Sides: the material side RIGHT or LEFT of the walk, 0 unset.  A pocket is
//   a closed chain with its material outside (CCW with RIGHT, CW with LEFT),
//   an island one with its material inside (CCW with LEFT, CW with RIGHT).
//   The builders leave the side unset (the box builders excepted): set
//   material_side in the chain's main data.  An offset runs away from the
//   material; a chain without a side offsets to its copy.
// - Areas: CHAIN_chainArea_chainCentroid is positive CCW, negative CW;
//   CHAIN_area_centroid negates a chain whose material is on its RIGHT, so
//   material inside counts positive and a pocket negative.
// - The chains of a list that share a region_set_id form one region set; the
//   region booleans combine region sets, so shapes to combine need their own ids.
// - Pools: the caller names the pool and owns what is made in it (or in the
//   output list's pool); it frees results one by one (RING_delete) or with
//   the pool.  Every scratch pool of a call is gone when it returns, errors
//   included.
// - Errors: entries answer 1 / 0 or a pointer / null; a failed precondition
//   answers failure, silently at checking level 0 (MACH__checking_level,
//   <stend/system.h>) and with the note "Assertion failed: <reason>" at 1 and
//   above.  Errors that end an operation raise Korvo::Error::Severe (a
//   Korvo::Error::Exception with a number and a text).
#pragma once

// Chains: the types and the record, appending vertices, builders of shapes and curves, edits, transforms, merges.
#include <merrow1/chain_types.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_trochoid.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_strip.h>
#include <merrow1/chain_transform.h>
#include <merrow1/chain_merge.h>
#include <merrow1/chain_from_chain.h>

// Queries: segment readers, areas, directions, corners, points and parts, distances, intersections, hulls.
#include <merrow1/segment.h>
#include <merrow1/segment_intersection.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_direction.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_vertex_angle.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_position.h>
#include <merrow1/chain_closest.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_region_distance.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_convex_hull.h>

// Around chains: set services, provenance, application-data keys, chain files, debug and displays, block arrays.
#include <merrow1/chain_set.h>
#include <merrow1/chain_source.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/material_at_infinity.h>
#include <merrow1/chain_load.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_display.h>
#include <merrow1/dynamic_array.h>

// Exact arithmetic: the integer grid map, line and arc pieces, snap rounding.
#include <merrow1/int_grid_map.h>
#include <merrow1/line_arc_seg.h>
#include <merrow1/snap_round.h>

// Poly-segments and the polygon-set intersection beneath the region booleans: loops, zones, levels, extents.
#include <merrow1/poly_seg.h>
#include <merrow1/poly_seg_chain.h>
#include <merrow1/poly_seg_grid.h>
#include <merrow1/poly_seg_offset.h>
#include <merrow1/psi.h>
#include <merrow1/poly_intxn.h>
#include <merrow1/poly_intxn_chain.h>
#include <merrow1/PolySegPoint.h>
#include <merrow1/PolySegNetworkPoint.h>
#include <merrow1/bzone.h>
#include <merrow1/cg_proc.h>
#include <merrow1/RegionSetBoxedExtent.h>

// Booleans and regions: region booleans, region sets and their offsets, the split-chain engine, cleaning.
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_region_offset.h>
#include <merrow1/chain_boolean.h>
#include <merrow1/chain_split.h>
#include <merrow1/chain_connect.h>
#include <merrow1/chain_clean.h>
#include <merrow1/chrsc.h>

// Offsets: single-chain offsets, tracing, stock, fillets, embedded paths, arc fitting, text to chains.
#include <merrow1/chain_offset.h>
#include <merrow1/chain_trace.h>
#include <merrow1/chain_stock.h>
#include <merrow1/chain_fillet.h>
#include <merrow1/chain_embedded.h>
#include <merrow1/chain_fit.h>
#include <merrow1/chain_text.h>

// Engines: the Korvo::Cam classes made by their factories, chains as kernel bodies, spike removal.
#include <merrow1/ArcLineFitter.h>
#include <merrow1/Cam_BoundingGeometry.h>
#include <merrow1/Cam_ChainHZMap.h>
#include <merrow1/Cam_ChainZSmoother.h>
#include <merrow1/Cam_PolylineDistance.h>
#include <merrow1/Cam_PolarInterval.h>
#include <merrow1/Cam_PolylineSmoother.h>
#include <merrow1/Cam_PointProjector.h>
#include <merrow1/Cam_PolySegOverlapFinder.h>
#include <merrow1/Cam_ChainOverlapFinder.h>
#include <merrow1/Cam_RotationalSurfaceUtilities.h>
#include <merrow1/Cam_ChildOffsetMap.h>
#include <merrow1/chain_vorsa.h>
#include <merrow1/cam_smth.h>

// CAM services: start-up, exits, names, move types, cut defaults, cycles, probes, workpieces, export, drawing, sheets.
#include <merrow1/library_init.h>
#include <merrow1/cam_exit.h>
#include <merrow1/cam_geometry_type.h>
#include <merrow1/cam_name.h>
#include <merrow1/subop_move_type.h>
#include <merrow1/cpe.h>
#include <merrow1/Cam_Cycle.h>
#include <merrow1/Cam_CmmInspectTool.h>
#include <merrow1/Cam_IpwManager.h>
#include <merrow1/VmExportData.h>
#include <merrow1/dsptool.h>
#include <merrow1/pmrp_display.h>
#include <merrow1/ssp.h>
