// Bounding geometry and the minimum-width box of a planar point set.
#include <merrow1/Cam_BoundingGeometry.h>

#include <caddow/boundbox.h>
#include <harlow/context.h>
#include <harlow/part.h>
#include <harlowkit/vz_kernel.h>
#include <pellam/camgeom.h>
#include <pellam/param.h>
#include <quorn/mtx3.h>
#include <quorn/mtx3_ops.h>
#include <stend/system.h>
#include <tavish/hull.h>
#include <tavish/plane.h>

#include <dunmore/demand_loader.h>
#include <merrow1/chain_convex_hull.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_vorsa.h>
#include <zql/zql.h>

#include "chain/chain_record.h"
#include "chainops/shape_kind.h"
#include "engines/geomsec_pass.h"
#include "engines/vorsa_call.h"
#include "internal/report_error.h"
#include "internal/vec2.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace Korvo {
namespace Cam {

using Korvo::Math::Point2;

namespace {

// A kernel vector shorter than this (times the kernel's length scale) has no
// direction.
constexpr double kKernelUnitizeTolerance = 1e-10;
// The section engine simplifies the geometry to this part of the tolerance.
constexpr double kSimplifyPerTolerance = 0.1;

using merrow1::cross;
using merrow1::dot;
using merrow1::kPi;
Point2 unit(const Point2& a) {
    const double n = std::sqrt(dot(a, a));
    return n > 0.0 ? Point2{a.x / n, a.y / n} : a;
}
Point2 turned(const Point2& a, double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    return {c * a.x - s * a.y, s * a.x + c * a.y};
}
}  // namespace

BoxablePolygon::BoxablePolygon(int count, const Point2* points, bool convex)
    : m_count(count), m_points(points), m_convex(convex ? 1 : 0) {}

BoxablePolygon::BoxablePolygon(const BoxablePolygon& other)
    : m_count(other.m_count),
      m_points(other.m_points),
      m_convex(other.m_convex),
      m_valid(other.m_valid),
      m_workCount(other.m_workCount) {
    if (other.m_work) {
        m_work = new Point2[other.m_workCount];
        std::copy(other.m_work, other.m_work + other.m_workCount, m_work);
    }
}

BoxablePolygon& BoxablePolygon::operator=(const BoxablePolygon& other) {
    if (this == &other) return *this;
    Point2* work = nullptr;
    if (other.m_work) {
        work = new Point2[other.m_workCount];
        std::copy(other.m_work, other.m_work + other.m_workCount, work);
    }
    delete[] m_work;
    m_work = work;
    m_count = other.m_count;
    m_points = other.m_points;
    m_convex = other.m_convex;
    m_valid = other.m_valid;
    m_workCount = other.m_workCount;
    return *this;
}

BoxablePolygon::~BoxablePolygon() { delete[] m_work; }

// Smallest and largest projection on the direction; a later point replaces
// the minimum only when strictly smaller, else the maximum only when strictly
// larger.  True when the two differ.
bool BoxablePolygon::GetMinMaxPts(const Point2& direction, int* minIndex, int* maxIndex, double* min,
                                  double* max) const {
    *minIndex = *maxIndex = 0;
    *min = *max = dot(m_work[0], direction);
    for (int i = 1; i < m_workCount; ++i) {
        const double p = dot(m_work[i], direction);
        if (p < *min) {
            *min = p;
            *minIndex = i;
        } else if (p > *max) {
            *max = p;
            *maxIndex = i;
        }
    }
    return *minIndex != *maxIndex;
}

// The following hull point, wrapping, farther than the number tolerance from
// this one; -1 when there is none.
int BoxablePolygon::NextPt(int index) const {
    const double tol = EQ_ask_number_tolerance();
    for (int step = 1; step < m_workCount; ++step) {
        const int j = (index + step) % m_workCount;
        const Point2 d{m_work[j].x - m_work[index].x, m_work[j].y - m_work[index].y};
        if (std::sqrt(dot(d, d)) > tol) return j;
    }
    return -1;
}

// |atan2(cross, dot)| of the unit vectors; 0 when not above the tolerance.
bool BoxablePolygon::Angle(const Point2& a, const Point2& b, double* angle) const {
    const Point2 ua = unit(a), ub = unit(b);
    if (dot(ua, ua) == 0.0 || dot(ub, ub) == 0.0) return false;
    *angle = std::fabs(std::atan2(cross(ua, ub), dot(ua, ub)));
    if (!(*angle > EQ_ask_number_tolerance())) *angle = 0.0;
    return true;
}

// Distance between two support points across the caliper's direction.
double BoxablePolygon::Distance(int from, int to, const Point2& direction) const {
    const Point2 d{m_work[to].x - m_work[from].x, m_work[to].y - m_work[from].y};
    return std::fabs(cross(unit(direction), d));
}

bool BoxablePolygon::CalcMinWidthBox(double** extents, Point2* direction) {
    if (m_count < 3 || !m_points || !m_valid) return false;
    // 1. The hull, counter-clockwise.
    std::vector<Point2> work;
    if (m_convex) {
        work.assign(m_points, m_points + m_count);
    } else {
        std::vector<double> xy;
        for (int i = 0; i < m_count; ++i) {
            xy.push_back(m_points[i].x);
            xy.push_back(m_points[i].y);
        }
        int* indices = nullptr;
        const int h = HULL2D_find_hull(xy.data(), m_count, &indices);
        for (int i = 0; i < h; ++i) work.push_back(m_points[indices[i]]);
        if (indices) SM_free(indices);
    }
    m_workCount = static_cast<int>(work.size());
    m_work = new Point2[std::max(m_workCount, 1)];
    std::copy(work.begin(), work.end(), m_work);
    bool found = false;
    Point2 best_direction{1.0, 0.0};
    if (m_workCount >= 3) {
        // 2. Calipers at the lowest and highest points along (0, 1).
        int at[2];
        double low, high;
        GetMinMaxPts({0.0, 1.0}, &at[0], &at[1], &low, &high);
        Point2 caliper[2] = {{1.0, 0.0}, {-1.0, 0.0}};
        double best = 1e19, total = 0.0;
        // 3. Each step lays one caliper on a hull edge; the whole turn takes
        // at most one step per hull edge for each caliper.
        const int bound = 2 * m_workCount + 2;
        for (int step = 0; step < bound; ++step) {
            int next[2];
            double angle[2];
            bool ok = true;
            for (int c = 0; c < 2 && ok; ++c) {
                next[c] = NextPt(at[c]);
                ok = next[c] >= 0 &&
                     Angle(caliper[c], {m_work[next[c]].x - m_work[at[c]].x, m_work[next[c]].y - m_work[at[c]].y},
                           &angle[c]);
            }
            if (!ok) break;
            const double theta = std::min(angle[0], angle[1]);
            caliper[0] = turned(caliper[0], theta);
            caliper[1] = turned(caliper[1], theta);
            const int on_edge = angle[0] < angle[1] ? 0 : 1;
            const double width = Distance(at[on_edge], at[1 - on_edge], caliper[on_edge]);
            at[on_edge] = next[on_edge];
            if (width < best) {
                best = width;
                best_direction = caliper[on_edge];
            }
            total += theta;
            if (total >= kPi) {
                found = true;
                break;
            }
        }
    }
    m_valid = found ? 1 : 0;
    if (found) {
        // 4. The outputs.
        const Point2 d = unit(best_direction), perpendicular{-d.y, d.x};
        if (direction) *direction = d;
        if (extents) {
            double* e = new double[4];
            int i0, i1;
            GetMinMaxPts(d, &i0, &i1, &e[0], &e[1]);
            GetMinMaxPts(perpendicular, &i0, &i1, &e[2], &e[3]);
            *extents = e;
        }
    }
    // 5. The working array goes.
    delete[] m_work;
    m_work = nullptr;
    m_workCount = 0;
    return m_valid != 0;
}

}  // namespace Cam
}  // namespace Korvo

// ---------------------------------------------------------------------------
// Bounding geometry
// ---------------------------------------------------------------------------

namespace Korvo {
namespace Cam {

namespace {

using Korvo::Math::Point3;
using Korvo::Math::Vector3;

const double kZero[3] = {0.0, 0.0, 0.0};

// Runs a host step; its error is reported as a severe error of this source
// and dropped.
template <typename Body>
void reporting(Body body) {
    try {
        body();
    } catch (...) {
        MERROW1_REPORT_CAUGHT_ERROR();
    }
}

bool empty(const RING_header_s* list) { return !list || list->count == 0 || !list->first; }

// The Z range of the geometry in the system with the given axes as rows.
bool z_range(const RING_header_s* geometry, const double matrix[9], double* low, double* high) {
    return CAMGEOM_find_list_maxmin_z(geometry, 2, kZero, matrix, 0, low, high) == 0;
}

// The matrix whose rows are the given rows of m, in that order.
bool rows(const double m[9], int a, int b, int c, double out[9]) {
    return MTX3_init_x_y_z(m + 3 * a, m + 3 * b, m + 3 * c, out) == 1;
}

// Replaces a bound only when the new one lies strictly inside the range.
void narrow(double range[2], double low, double high) {
    if (low > range[0] && low < range[1]) range[0] = low;
    if (high < range[1] && high > range[0]) range[1] = high;
}

Vector3 unitized(const double v[3], double tolerance, const Vector3& otherwise) {
    double u[3];
    if (!VEC3_unitize(v, tolerance, nullptr, u)) return otherwise;
    return {u[0], u[1], u[2]};
}

}  // namespace

bool BoundingGeometry::CalculateBoundingBlock(const RING_header_s* geometry, const CSYS& csys, double box[6]) {
    if (empty(geometry)) return false;
    // Z along each of the system's axes in turn: z itself, then x (rows y, z,
    // x), then y (rows z, x, y).
    double turned[9];
    z_range(geometry, csys.matrix, &box[4], &box[5]);
    if (rows(csys.matrix, 1, 2, 0, turned)) z_range(geometry, turned, &box[0], &box[1]);
    if (rows(csys.matrix, 2, 0, 1, turned)) z_range(geometry, turned, &box[2], &box[3]);
    return true;
}

bool BoundingGeometry::CalculateBoundingCylinder(const RING_header_s* geometry, const Vector3& axis, Point3* centre,
                                                 double* radius, double extent[2]) {
    if (empty(geometry)) return false;
    const double z[3] = {axis.x, axis.y, axis.z};
    double m[9];
    if (!MTX3_init_z(z, m)) return false;
    double box[6];
    if (CAMGEOM_find_list_maxmin(geometry, kZero, m, box) != 0) return false;
    double turned[9], low, high;
    if (rows(m, 1, 2, 0, turned) && z_range(geometry, turned, &low, &high)) narrow(box, low, high);
    if (rows(m, 2, 0, 1, turned) && z_range(geometry, turned, &low, &high)) narrow(box + 2, low, high);
    if (z_range(geometry, m, &low, &high)) narrow(box + 4, low, high);
    const double cx = 0.5 * (box[0] + box[1]), cy = 0.5 * (box[2] + box[3]), top = box[5];
    if (centre)
        *centre = {m[0] * cx + m[3] * cy + m[6] * top, m[1] * cx + m[4] * cy + m[7] * top,
                   m[2] * cx + m[5] * cy + m[8] * top};
    if (radius) *radius = std::max(0.5 * (box[1] - box[0]), 0.5 * (box[3] - box[2]));
    if (extent) {
        extent[0] = box[4] - top;
        extent[1] = 0.0;
    }
    return true;
}

Vector3 BoundingGeometry::CalculateDirection(const Korvo::PARAM* param, bool useObject, tag_t direction) {
    double d[3] = {0.0, 0.0, 1.0};
    if (!useObject) {
        if (direction != 0) DIRR_ask_direction(direction, d);
    } else if (param) {
        const tag_t held = param->AskTag(59);
        if (held) v6062(held, d);
    }
    return unitized(d, EQ_ask_length_tolerance(), {0.0, 0.0, 1.0});
}

bool BoundingGeometry::GetBlankAxis(const Korvo::PARAM* param, Vector3* axis) {
    if (!param || !axis) return false;
    const Korvo::PARAM* object = param->AskObject(3001);
    if (!object) object = param->AskObject(380);
    if (!object) object = param;
    double d[3];
    int flag = 0;
    bool found = object->AskInt(7418, &flag) && flag == 1 && object->AskVector(7419, d);
    if (!found) {
        const tag_t held = object->AskTag(59);
        found = held != 0 && v6062(held, d) == 0;
    }
    if (!found) return false;
    double u[3];
    if (!VEC3_unitize(d, EQ_ask_length_tolerance(), nullptr, u)) return false;
    *axis = {u[0], u[1], u[2]};
    return true;
}

BoundingTags BoundingGeometry::CreateParametricBoundingBlock(const CSYS& csys, const double offsets[6],
                                                             const double box[6]) {
    BoundingTags tags;
    reporting([&] {
        const double* x = csys.matrix;
        const double* y = csys.matrix + 3;
        const double* z = csys.matrix + 6;
        double corner[3], lengths[3];
        for (int k = 0; k < 3; ++k)
            corner[k] = csys.origin[k] + x[k] * (box[0] - offsets[0]) + y[k] * (box[2] - offsets[2]) +
                        z[k] * (box[4] - offsets[4]);
        for (int a = 0; a < 3; ++a) lengths[a] = box[2 * a + 1] - box[2 * a] + offsets[2 * a] + offsets[2 * a + 1];
        const double none[6] = {0, 0, 0, 0, 0, 0};
        tags.push_back(static_cast<int>(
            BOUNDBOX_create_boundary_vj_block(csys.origin, csys.matrix, corner, x, y, z, lengths, none)));
    });
    return tags;
}

BoundingTags BoundingGeometry::CreateBoundingBlock(const std::vector<tag_t>& solids, const Point3& origin,
                                                   const Vector3& direction, const double offsets[6]) {
    BoundingTags tags;
    reporting([&] {
        std::vector<tag_t> faces;
        for (tag_t solid : solids) {
            int count = 0;
            tag_t* some = nullptr;
            ES_solid_ask_faces(solid, &count, &some);
            faces.insert(faces.end(), some, some + count);
            if (some) SM_free(some);
        }
        const double z[3] = {direction.x, direction.y, direction.z};
        double x[3], y[3];
        VEC3_ask_perpendicular(z, x);
        VEC3_cross(z, x, y);
        const double o[3] = {origin.x, origin.y, origin.z};
        double box[6], corner[3], matrix[9], lengths[3];
        BOUNDBOX_ask_bounding_box_aligned_direction(o, x, y, static_cast<int>(faces.size()), faces.data(), box);
        BOUNDBOX_convert_box_from_assem_to_work(o, x, y, box, corner, matrix, lengths);
        // The block builder takes the offsets above before those below, y, z, x.
        const double grown[6] = {offsets[3], offsets[5], offsets[1], offsets[2], offsets[4], offsets[0]};
        tags.push_back(static_cast<int>(BOUNDBOX_create_boundary_vj_block(
            o, matrix, corner, matrix, matrix + 3, matrix + 6, lengths, grown)));
    });
    return tags;
}

BoundingTags BoundingGeometry::CreateBoundingCylinder(const Point3& base, const Vector3& axis, double radius,
                                                      double height) {
    BoundingTags tags;
    double part[2] = {1.0, 1.0}, kernel[2] = {1.0, 1.0};
    PART_ask_vj_scale_factors(CONTEXT_ask_work_part(), part);
    vzsfac(kernel);
    const double s = part[0], tolerance = kernel[0] * kKernelUnitizeTolerance;
    const double a[3] = {axis.x, axis.y, axis.z};
    double perpendicular[3] = {0, 0, 0}, ua[3], up[3];
    VEC3_ask_perpendicular(a, perpendicular);
    if (!VEC3_unitize(a, tolerance, nullptr, ua) || !VEC3_unitize(perpendicular, tolerance, nullptr, up))
        return tags;
    VQ_AXIS2_sf_t basis{{{s * base.x, s * base.y, s * base.z}}, {{ua[0], ua[1], ua[2]}}, {{up[0], up[1], up[2]}}};
    int body = 0;
    MERROW1_VQ(VQ_BODY_create_solid_cyl(radius * s, height * s, &basis, &body));
    tags.push_back(body);
    return tags;
}

// ---------------------------------------------------------------------------
// Bodies from the part's section
// ---------------------------------------------------------------------------

namespace {

using merrow1::chains_of;
using merrow1::is_closed;
using merrow1::main_of;

// An outer loop of a section is a closed chain whose material lies inside it
// as it runs: by its main data, the shape of an island.
bool outer_loop(const RING_header_s* chain) { return merrow1::is_island(chain); }

// Moves the outer loops of `from` into `to`: their nodes leave `from`, so
// deleting `from` leaves them alone.
void move_outer_loops(RING_header_s* from, RING_header_s* to) {
    RING_node_s* n = from->first;
    const int count = from->count;
    for (int i = 0; n && i < count; ++i) {
        RING_node_s* next = n->next;
        RING_header_s* chain = RING_ask_node_subring(n);
        if (chain && outer_loop(chain)) {
            RING_set_node_subring(n, nullptr);
            RING_delete_node(from, n);
            CHAIN_add_chain_to_list(to, chain);
        }
        n = next;
    }
}

// Chain lists deleted on every way out.
struct Lists {
    explicit Lists(CMEM_pool_s* pool) : pool(pool) {}
    ~Lists() {
        for (RING_header_s* l : made) RING_delete(l);
    }
    Lists(const Lists&) = delete;
    Lists& operator=(const Lists&) = delete;
    RING_header_s* make() {
        made.push_back(RING_create_in_pool(nullptr, RING_TYPE_LIST, pool));
        return made.back();
    }
    CMEM_pool_s* pool;
    std::vector<RING_header_s*> made;
};

// The outer loops of the part's section into `result`; true when it holds
// any chain.  The pass is closed and the engine deleted on every way out.
bool section_of_part(const RING_header_s* geometry, CMEM_pool_s* pool, const Vector3& direction, double drop,
                     double offset, double tolerance, RING_header_s* result) {
    IGeomSec* engine = DemandLoader::MakeGeomSec(geometry, tolerance, 10.0 * tolerance, nullptr);
    if (!engine) return false;
    std::exception_ptr error;
    int mark = 0;
    try {
        mark = engine->PreSection();
        const double z[3] = {direction.x, direction.y, direction.z};
        double m[9], bottom = 0.0, top = 0.0;
        if (!MTX3_init_z(z, m)) throw Korvo::Error::Severe(ERROR_INTERNAL_CODE, "no section direction");
        z_range(geometry, m, &bottom, &top);
        const double at = bottom - drop;
        const zql::Plane plane(zql::Point3d(m[6] * at, m[7] * at, m[8] * at), zql::Vector3d(m[6], m[7], m[8]));
        engine->Simplify(plane, 10, kSimplifyPerTolerance * tolerance);
        engine->Section(plane);
        Lists lists(pool);
        RING_header_s* cut = lists.make();
        engine->Output(cut);
        if (std::fabs(offset) > EQ_ask_length_tolerance()) {
            RING_header_s* scratch = lists.make();
            RING_header_s* united = lists.make();
            move_outer_loops(cut, scratch);
            CHAIN_set_implied_offset_for_set(scratch, offset, false);
            CHAIN_set_implied_offset_do_tan_corner_ext(scratch);
            CHAIN_union_regions(scratch, static_cast<SIDE>(0), false, nullptr, nullptr, nullptr, united);
            move_outer_loops(united, result);
        } else {
            move_outer_loops(cut, result);
        }
    } catch (...) {
        error = merrow1::current_error_as_severe();
    }
    std::exception_ptr closing = merrow1::close_section_pass(engine, &mark);
    if (!error) error = closing;
    if (error) std::rethrow_exception(error);
    return result->count > 0;
}

// Every chain of the list extruded into a body of the work part's kernel units.
void extrude_all(const RING_header_s* list, double height, double tolerance, BoundingTags* tags) {
    double factors[2] = {1.0, 1.0};
    PART_ask_vj_scale_factors(CONTEXT_ask_work_part(), factors);
    double t = tolerance;
    for (RING_header_s* chain : chains_of(list)) {
        const int body = CHAIN_CreateExtrudedBody(chain, factors[0], height, &t);
        if (body) tags->push_back(body);
    }
}

bool no_input(const RING_header_s* geometry, const CMEM_pool_s* pool) {
    return !geometry || !geometry->first || geometry->count == 0 || !pool;
}

}  // namespace

BoundingTags BoundingGeometry::CreatePartOutline(const RING_header_s* geometry, CMEM_pool_s* pool,
                                                 const Vector3& direction, double drop, double offset, double height,
                                                 double tolerance) {
    BoundingTags tags;
    if (no_input(geometry, pool)) return tags;
    Lists lists(pool);
    RING_header_s* section = lists.make();
    if (!section_of_part(geometry, pool, direction, drop, offset, tolerance, section)) return tags;
    CHAIN_reverse_chains_wrt_mside(section, LEFT);
    RING_header_s* united = lists.make();
    CHAIN_union_regions(section, static_cast<SIDE>(0), false, nullptr, nullptr, nullptr, united);
    extrude_all(united, height, tolerance, &tags);
    return tags;
}

BoundingTags BoundingGeometry::CreatePartConvexHull(const RING_header_s* geometry, CMEM_pool_s* pool,
                                                    const Vector3& direction, double drop, double offset,
                                                    double height, double tolerance) {
    BoundingTags tags;
    if (no_input(geometry, pool)) return tags;
    Lists lists(pool);
    RING_header_s* section = lists.make();
    if (!section_of_part(geometry, pool, direction, drop, offset, tolerance, section)) return tags;
    RING_header_s* hulls = lists.make();
    for (RING_header_s* chain : chains_of(section)) {
        if (!is_closed(chain) || outer_loop(chain)) {
            RING_header_s* hull = CHAIN_create_one_convex_hull(pool, chain, &tolerance);
            if (!hull) continue;
            CHAIN_main_data_s* d = main_of(hull);
            if (is_closed(hull) && !outer_loop(hull) && !d->use_implied_offset)
                d->material_side = merrow1::other_side(d->material_side);
            CHAIN_add_chain_to_list(hulls, hull);
        } else {
            CHAIN_add_chain_to_list(hulls, CHAIN_copy_no_link(chain, pool, nullptr));
        }
    }
    CHAIN_reverse_chains_wrt_mside(hulls, LEFT);
    RING_header_s* united = lists.make();
    CHAIN_union_regions(hulls, static_cast<SIDE>(0), false, nullptr, nullptr, nullptr, united);
    RING_header_s* outer = lists.make();
    move_outer_loops(united, outer);
    extrude_all(outer, height, tolerance, &tags);
    return tags;
}

}  // namespace Cam
}  // namespace Korvo
