// Closed planar chains to solid-kernel bodies.
//
// 1. The chains are copied (or, for a rebuild, united as regions).
// 2. The kernel plane is made from the first chain's coordinate system.
// 3. Every closed chain becomes one loop of kernel curves: material on the
//    left (chains reversed otherwise), lines as lines, arcs as circles whose
//    axis makes their positive sense run from start to end.
// 4. The loops trim the plane into a sheet; the sheet is checked and, when
//    asked for, extruded.
// Each kernel step is guarded: an error deletes what that step made, clears
// the kernel's last error and is reported to the host, and the step answers
// 0; callers go on with "no sheet, no body".
#include <merrow1/chain.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_fit.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_vorsa.h>
#include <quorn/mtx3_ops.h>
#include <stend/system.h>

#include "chain/chain_record.h"
#include "engines/vorsa_call.h"
#include "chain/chain_fields_guard.h"
#include "internal/report_error.h"
#include "internal/vec2.h"

#include <cmath>
#include <vector>

namespace {

// Lengths and heights not above this are zero: coincident points make no
// line, a height of zero no extrusion.
constexpr double kZeroLength = 1e-10;

const double kTwoPi = 2.0 * merrow1::kPi;

struct KernelCurves {
    std::vector<int> curves;
    std::vector<double> intervals;  // start, end per curve
    std::vector<int> loops;
};

// Reports the error being handled, as a severe error of this source, and
// clears the kernel's last error.
void report_current() {
    MERROW1_REPORT_CAUGHT_ERROR();
    (void)VQ_ERROR_clear_last();
}

void delete_entity(int tag) {
    if (tag != 0) (void)VQ_ENTITY_delete(1, &tag);
}

void delete_entities(const std::vector<int>& tags) {
    if (!tags.empty()) (void)VQ_ENTITY_delete(static_cast<int>(tags.size()), tags.data());
}

using merrow1::first_chain;
using merrow1::main_of;

// World point o + x r1 + y r2 of a chain, times the scale.
void world_point(const CSYS& csys, double x, double y, double scale, double out[3]) {
    for (int k = 0; k < 3; ++k) out[k] = scale * (csys.origin[k] + x * csys.matrix[k] + y * csys.matrix[3 + k]);
}

VQ_VECTOR_t vq(const double v[3]) { return {{v[0], v[1], v[2]}}; }

RING_header_s* CHAIN__prepare_sheet_chains(const RING_header_s* chains, const double* value) {
    if (!value) return CHAIN_copy_no_link(chains, chains->pool, nullptr);
    // Uniting stamps the caller's chains (region-set id, implied offset and
    // its word); they get their own fields back on every way out.
    merrow1::ChainFieldsGuard caller(merrow1::kChainRegionFields);
    if (chains->type == RING_TYPE_LIST) {
        const RING_node_s* n = chains->first;
        for (int i = 0; n && i < chains->count; ++i, n = n->next) caller.save_if_chain(RING_ask_node_subring(n));
    } else {
        caller.save_if_chain(const_cast<RING_header_s*>(chains));
    }
    RING_header_s* set = CHAIN_create_boolean_set(chains->pool, nullptr);
    RING_header_s* list = nullptr;
    try {
        CHAIN_append_region_set(set, const_cast<RING_header_s*>(chains), 0, 8u, *value, false, false);
        list = RING_create_in_pool(nullptr, RING_TYPE_LIST, chains->pool);
        CHAIN_union_regions(set, static_cast<SIDE>(0), false, nullptr, nullptr, nullptr, list);
        CHAIN_unique_boolean_set(set, list, CHAIN_COPY_LINKED, nullptr);
        CHAIN_set_implied_offset_for_set(set, 0.0, false);
    } catch (...) {
        RING_delete(set);
        if (list) RING_delete(list);
        throw;
    }
    RING_delete(set);
    return list;
}

int CHAIN__create_kernel_plane(const RING_header_s* chain, double scale) {
    const CSYS& csys = main_of(chain)->csys;
    VQ_PLANE_sf_t sf;
    for (int k = 0; k < 3; ++k) {
        sf.basis_set.location.coord[k] = scale * csys.origin[k];
        sf.basis_set.axis.coord[k] = csys.matrix[6 + k];
        sf.basis_set.ref_direction.coord[k] = csys.matrix[k];
    }
    int plane = 0;
    try {
        MERROW1_VQ(VQ_PLANE_create(&sf, &plane));
    } catch (...) {
        delete_entity(plane);
        report_current();
        return 0;
    }
    return plane;
}

// A line through start along the unit direction to end; 0 for coincident points.
int CHAIN__create_kernel_line(const double start[3], const double end[3]) {
    double d[3], unit[3], length = 0.0;
    VEC3_sub(end, start, d);
    if (!VEC3_unitize(d, kZeroLength, &length, unit)) return 0;
    VQ_LINE_sf_t sf{vq(start), vq(unit)};
    int line = 0;
    MERROW1_VQ(VQ_LINE_create(&sf, &line));
    return line;
}

// The parameters of start and end on the curve.
void curve_interval(int curve, const double start[3], const double end[3], double interval[2]) {
    const VQ_VECTOR_t s = vq(start), e = vq(end);
    MERROW1_VQ(VQ_CURVE_parameterise_vector(curve, &s, &interval[0]));
    MERROW1_VQ(VQ_CURVE_parameterise_vector(curve, &e, &interval[1]));
}

int CHAIN__create_line_curve(const double start[3], const double end[3], double interval[2]) {
    int line = 0;
    try {
        line = CHAIN__create_kernel_line(start, end);
        if (line) curve_interval(line, start, end, interval);
    } catch (...) {
        delete_entity(line);
        report_current();
        return 0;
    }
    return line;
}

int CHAIN__create_circle_curve(const double start[3], const double end[3], const double centre[3],
                               const double axis[3], double radius, double interval[2]) {
    int circle = 0;
    try {
        VQ_CIRCLE_sf_t sf;
        sf.basis_set.location = vq(centre);
        sf.basis_set.axis = vq(axis);
        MERROW1_VQ(VQ_VECTOR_perpendicular(&sf.basis_set.axis, &sf.basis_set.ref_direction));
        sf.radius = radius;
        MERROW1_VQ(VQ_CIRCLE_create(&sf, &circle));
        curve_interval(circle, start, end, interval);
        // Angles run from 0 to 2 pi from the reference direction: an arc
        // across that seam, and a full circle, end at the start plus a turn.
        if (interval[1] <= interval[0]) interval[1] += kTwoPi;
    } catch (...) {
        delete_entity(circle);
        report_current();
        return 0;
    }
    return circle;
}

void CHAIN__chain_to_kernel_curves(const RING_header_s* chain, double scale, int loop, KernelCurves* out) {
    const CSYS& csys = main_of(chain)->csys;
    const double* r3 = csys.matrix + 6;
    KernelCurves made;
    const RING_node_s* node = chain->first ? chain->first->next : nullptr;
    for (int i = 0; node && i < chain->count; ++i, node = node->next) {
        SEGMENT segment;
        if (ChainSegment(chain, node, &segment) != 1) continue;
        double start[3], end[3], interval[2] = {0.0, 0.0};
        world_point(csys, segment.start[0], segment.start[1], scale, start);
        world_point(csys, segment.end->x, segment.end->y, scale, end);
        int curve = 0;
        if (segment.type == SEG_LINE) {
            curve = CHAIN__create_line_curve(start, end, interval);
        } else if (segment.type == SEG_ARC) {
            double centre[3], axis[3];
            world_point(csys, segment.end->cx, segment.end->cy, scale, centre);
            const double sense = segment.end->direction == CW ? -1.0 : 1.0;
            for (int k = 0; k < 3; ++k) axis[k] = sense * r3[k];
            curve = CHAIN__create_circle_curve(start, end, centre, axis, scale * segment.end->radius, interval);
        }
        if (!curve) continue;
        made.curves.push_back(curve);
        made.intervals.insert(made.intervals.end(), interval, interval + 2);
        made.loops.push_back(loop);
    }
    out->curves.insert(out->curves.end(), made.curves.begin(), made.curves.end());
    out->intervals.insert(out->intervals.end(), made.intervals.begin(), made.intervals.end());
    out->loops.insert(out->loops.end(), made.loops.begin(), made.loops.end());
}

bool CHAIN__collect_loop_curves(const RING_header_s* chains, double scale, const double* tolerance, bool fit,
                                KernelCurves* out) {
    auto one = [&](const RING_header_s* chain) {
        if (!merrow1::is_closed(chain)) return;
        RING_header_s* copy = CHAIN_copy_no_link(chain, chain->pool, nullptr);
        if (!copy) return;
        try {
            if (tolerance) CHAIN_TessellateArcsAndFit(copy, *tolerance, fit);
            if (main_of(copy)->material_side != LEFT) CHAIN_reverse(copy);
            const int loop = out->loops.empty() ? 0 : out->loops.back() + 1;
            CHAIN__chain_to_kernel_curves(copy, scale, loop, out);
        } catch (...) {
            RING_delete(copy);
            throw;
        }
        RING_delete(copy);
    };
    if (chains->type == RING_TYPE_LIST) {
        const RING_node_s* n = chains->first;
        for (int i = 0; n && i < chains->count; ++i, n = n->next) one(RING_ask_node_subring(n));
    } else {
        one(chains);
    }
    return !out->curves.empty();
}

// The sheet, or 0.  On success the plane and the curves belong to the sheet;
// otherwise they stay the caller's.
int CHAIN__make_trimmed_sheet(const KernelCurves& curves, int plane) {
    const int n = static_cast<int>(curves.curves.size());
    void* arrays[4] = {nullptr, nullptr, nullptr, nullptr};
    int sheet = 0;
    try {
        MERROW1_VQ(VQ_MEMORY_alloc(n * static_cast<int>(sizeof(int)), &arrays[0]));
        MERROW1_VQ(VQ_MEMORY_alloc(2 * n * static_cast<int>(sizeof(double)), &arrays[1]));
        MERROW1_VQ(VQ_MEMORY_alloc(n * static_cast<int>(sizeof(int)), &arrays[2]));
        MERROW1_VQ(VQ_MEMORY_alloc(n * static_cast<int>(sizeof(int)), &arrays[3]));
        int* tags = static_cast<int*>(arrays[0]);
        double* intervals = static_cast<double*>(arrays[1]);
        int* loops = static_cast<int*>(arrays[2]);
        for (int k = 0; k < n; ++k) {
            tags[k] = curves.curves[k];
            intervals[2 * k] = curves.intervals[2 * k];
            intervals[2 * k + 1] = curves.intervals[2 * k + 1];
            loops[k] = curves.loops[k];
        }
        double precision = 0.0;
        MERROW1_VQ(VQ_SESSION_ask_precision(&precision));
        const VQ_SURF_trim_data_t trim{n, tags, intervals, loops, static_cast<int*>(arrays[3])};
        const VQ_SURF_make_sheet_trimmed_o_t options{2};
        int status = VQ_SHEET_unset;
        MERROW1_VQ(VQ_SURF_make_sheet_trimmed(plane, &trim, precision, &options, &sheet, &status));
    } catch (...) {
        delete_entity(sheet);
        sheet = 0;
        report_current();
    }
    for (void* a : arrays)
        if (a) (void)VQ_MEMORY_free(a);
    return sheet;
}

int CHAIN__create_planar_sheet(const RING_header_s* chains, double scale, const double* tolerance,
                               const double* region_value, bool fit) {
    const RING_header_s* first = first_chain(chains);
    if (!first) return 0;
    RING_header_s* prepared = nullptr;
    int plane = 0, sheet = 0;
    KernelCurves curves;
    try {
        prepared = CHAIN__prepare_sheet_chains(chains, region_value);
        if (prepared) {
            plane = CHAIN__create_kernel_plane(first, scale);
            if (CHAIN__collect_loop_curves(prepared, scale, tolerance, fit, &curves) && plane)
                sheet = CHAIN__make_trimmed_sheet(curves, plane);
        }
    } catch (...) {
        report_current();
    }
    if (prepared) RING_delete(prepared);
    if (!sheet) {
        // Nothing became a sheet: the plane and curves made are dropped.
        delete_entities(curves.curves);
        delete_entity(plane);
    }
    return sheet;
}

bool CHAIN__check_body(int body) {
    VQ_BODY_check_o_t options{3, 10, {18284, 18291, 18303, 18311, 18321, 18331, 18341, 18351, 18361, 23651, 23661, 24720}};
    int n_faults = 0;
    VQ_check_fault_t* faults = nullptr;
    try {
        MERROW1_VQ(VQ_BODY_check(body, &options, &n_faults, &faults));
    } catch (...) {
        report_current();
        return false;
    }
    if (faults) SM_free(faults);
    return n_faults == 0;
}

int CHAIN__extrude_sheet(int sheet, double distance, const double direction[3]) {
    const VQ_VECTOR_t path = vq(direction);
    const VQ_BODY_extrude_o_t options{4, 0.0, distance};
    int solid = 0;
    VQ_TOPOL_track_r_t* tracking = nullptr;
    VQ_TOPOL_local_r_t* results = nullptr;
    try {
        MERROW1_VQ(VQ_BODY_extrude(sheet, &path, &options, &solid, &tracking, &results));
        MERROW1_VQ(VQ_TOPOL_local_r_f(results));
        results = nullptr;
        MERROW1_VQ(VQ_TOPOL_track_r_f(tracking));
        tracking = nullptr;
    } catch (...) {
        if (results) (void)VQ_TOPOL_local_r_f(results);
        if (tracking) (void)VQ_TOPOL_track_r_f(tracking);
        delete_entity(solid);
        report_current();
        return 0;
    }
    return solid;
}

}  // namespace

int CHAIN_CreateExtrudedBody(const RING_header_s* chains, double scale, double height, double* tolerance, bool fit) {
    if (!chains) return 0;
    int sheet = CHAIN__create_planar_sheet(chains, scale, tolerance, nullptr, fit);
    if (sheet && tolerance && !CHAIN__check_body(sheet)) {
        delete_entity(sheet);
        sheet = CHAIN__create_planar_sheet(chains, scale, tolerance, tolerance, fit);
    }
    if (!sheet) return 0;
    if (!(std::fabs(height) > kZeroLength)) return sheet;
    const RING_header_s* first = first_chain(chains);
    const int solid = CHAIN__extrude_sheet(sheet, scale * height, main_of(first)->csys.matrix + 6);
    delete_entity(sheet);
    return solid;
}

int CHAIN_CreateExtrudedBody(const RING_header_s* chains, double scale, double height, double* tolerance) {
    return CHAIN_CreateExtrudedBody(chains, scale, height, tolerance, false);
}
