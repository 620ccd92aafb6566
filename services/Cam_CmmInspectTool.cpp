// Probing tool data: tips read from the host's tool, tool vectors and head
// angles of an articulating probe head.
#include <merrow1/Cam_CmmInspectTool.h>

#include "internal/scratch_pool.h"

#include <harlow/part.h>
#include <harlow/part_units.h>
#include <harlow/rm.h>
#include <harlowkit/vz.h>
#include <pellam/cutter.h>
#include <quorn/mtx3_ops.h>
#include <stend/error.h>
#include <stend/om.h>
#include <stend/system.h>
#include <tavish/entities.h>

#include <cmath>
#include <cstdio>

#include "internal/vec2.h"

namespace {

// Length below which a vector is treated as zero (unitizing fails, a tip
// without a direction points along +z); its square for squared lengths.
constexpr double kZeroLength = 1e-10;
constexpr double kZeroLengthSquared = 1e-20;
// How far a cosine may sit from 1, or a matrix entry from the identity's,
// and still count as no turn at all.
constexpr double kSameDirection = 1e-10;
// Below this length of its x-y part a wanted direction counts as the head's
// own z axis, whose azimuth is undefined: both angles stay 0.
constexpr double kNearToolAxis = 0.001;

using Korvo::Cam::CmmInspectTool;
typedef CmmInspectTool::ToolData_s ToolData;
typedef CmmInspectTool::Vector3 Vector3;
typedef CmmInspectTool::Point3 Point3;

const double kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
const double kDegree = merrow1::kPi / 180.0;

const int kProbeCutterType = 11;
const int kProbeCutterSubtype = 1;
const int kOrientationParam = 1197;
const int kTrackpointsParam = 1060;
const int kMetric = 1;

[[noreturn]] void null_pointer(const char* function, const char* ordinal) {
    if (ordinal)
        ERROR_raise(__FILE__, __LINE__, CmmInspectTool::NullPointerError,
                    "The %s function was passed a NULL pointer as the %s parameter.", function, ordinal);
    ERROR_raise(__FILE__, __LINE__, CmmInspectTool::NullPointerError, "The %s function was passed a NULL pointer.",
                function);
}

void require(const void* pointer, const char* function, const char* ordinal) {
    if (!pointer) null_pointer(function, ordinal);
}

void to_array(const Vector3& v, double out[3]) { out[0] = v.x, out[1] = v.y, out[2] = v.z; }
void to_array(const Point3& p, double out[3]) { out[0] = p.x, out[1] = p.y, out[2] = p.z; }
Vector3 vector_of(const double v[3]) { return {v[0], v[1], v[2]}; }
Point3 point_of(const double v[3]) { return {v[0], v[1], v[2]}; }

Vector3 turned(const Vector3& v, const double m[9]) {
    double a[3], out[3];
    to_array(v, a);
    MTX3_vec_multiply(a, m, out);
    return vector_of(out);
}

// A rotation about the axis by degrees; the identity for a zero axis.
void rotation(const Vector3& axis, double degrees, double m[9]) {
    double a[3];
    to_array(axis, a);
    if (!MTX3_rot_about_axis(a, degrees * kDegree, m))
        for (int i = 0; i < 9; ++i) m[i] = kIdentity[i];
}

double clamped(double value, double low, double high) { return value < low ? low : value > high ? high : value; }

// Index positions beyond this many are a sweep that would not end in any
// useful time (a step far below any head's resolution).
const double kMaxIndexPositions = 1e8;

// Whether the index steps and limits make a finite search.
bool index_search_is_sound(const ToolData& d) {
    const double values[6] = {d.firstAngleStep, d.secondAngleStep, d.firstAngleMin,
                              d.firstAngleMax,  d.secondAngleMin,  d.secondAngleMax};
    for (double v : values)
        if (!std::isfinite(v)) return false;
    if (!(d.firstAngleStep > 0.0 && d.secondAngleStep > 0.0 && d.firstAngleMin <= d.firstAngleMax &&
          d.secondAngleMin <= d.secondAngleMax))
        return false;
    const double positionsA = (d.firstAngleMax - d.firstAngleMin) / d.firstAngleStep + 1.0;
    const double positionsB = std::fabs(d.secondAngleMax) / d.secondAngleStep +
                              std::fabs(d.secondAngleMin) / d.secondAngleStep + 2.0;
    return positionsA * positionsB <= kMaxIndexPositions;
}

// The diameter of a tip in the work part's units.
double in_work_units(double diameter, unsigned toolTag) {
    const int tool = PART_ask_units_of_object(toolTag);
    const int work = PART_ask_units(0);
    if ((tool == kMetric) == (work == kMetric)) return diameter;
    return work == kMetric ? diameter * 25.4 : diameter / 25.4;
}

// The circle of a solid face with exactly one circular edge.
bool circle_of_single_edge_face(unsigned face, double centre[3], double* radius) {
    int count = 0;
    tag_t* edges = nullptr;
    if (VZ_face_ask_edges_sm(face, &count, &edges) != 0) return false;
    int type = 0;
    const bool ok = count == 1 && edges && VZ_edge_ask_type(edges[0], &type) == 0 &&
                    type == VZ_EDGE_TYPE_CIRCLE && VZ_circle_edge_ask(edges[0], centre, radius) == 0;
    SM_free(edges);
    return ok;
}

}  // namespace

namespace Korvo {
namespace Cam {

void CmmInspectTool::InitData(ToolData_s* data) {
    require(data, "InitData", nullptr);
    ToolData_s d{};
    d.articulated = false;
    d.firstAxis = {-1.0, 0.0, 0.0};
    d.secondAxis = {0.0, 0.0, 1.0};
    d.firstAngleMin = 0.0;
    d.firstAngleMax = 105.0;
    d.firstAngleLimited = true;
    d.secondAngleMin = -180.0;
    d.secondAngleMax = 180.0;
    d.secondAngleLimited = true;
    d.firstAngleStep = 7.5;
    d.secondAngleStep = 7.5;
    d.toolVector = {0.0, 0.0, 1.0};
    for (int i = 0; i < 9; ++i) d.headMatrix[i] = kIdentity[i];
    d.tipCount = 1;
    *data = d;
}

void CmmInspectTool::GetToolData(unsigned toolTag, ToolData_s* data) {
    if (toolTag == 0) null_pointer("GetToolData", "first");
    require(data, "GetToolData", "second");
    // 1. Probing tools only.
    int type = 0, subtype = 0;
    CUTTER_ask_type(toolTag, &type);
    CUTTER_ask_subtype(toolTag, &subtype);
    if (type != kProbeCutterType || subtype != kProbeCutterSubtype) return;
    // 2. The head orientation: the tool's coordinate system, else the
    // identity at the reference point; the rotation axes turned by it.
    double m[9], origin[3];
    tag_t csys = 0;
    if (PARAM_ask_tag(toolTag, kOrientationParam, &csys) != 0 || csys == 0 || ES_ask_csys_info(csys, origin, m) != 0) {
        for (int i = 0; i < 9; ++i) m[i] = kIdentity[i];
        to_array(data->referencePoint, origin);
    }
    data->firstAxis = turned(data->firstAxis, m);
    data->secondAxis = turned(data->secondAxis, m);
    const char* name = CUTTER_ask_name(toolTag);
    std::snprintf(data->name, sizeof data->name, "%s", name ? name : "");
    // 3. The tips from the tracking points, the first as the reference.
    MERROW1_SCRATCH_POOL(pool, "Pool for Tool Tracking Points");
    int count = 0;
    tag_t* tags = nullptr;
    if (PARAM_ask_tag_array(toolTag, kTrackpointsParam, pool, &count, &tags) != 0) count = 0;
    int stored = 0;
    double first[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < count && tags && stored < MaxTips; ++i) {
        Korvo::OM::Object* object = TAG_ask_object(tags[i]);
        if (!object || !Korvo::OM::IsSubClass(Korvo::OM::AskObjectClass(object), ProbeTrackpointClassId)) continue;
        const auto* point = static_cast<const ProbeTrackpoint*>(object);
        double direction[3], position[3];
        point->GetDirection(direction);
        point->GetPosition(position);
        if (VEC3_mag(direction) < kZeroLength) direction[0] = 0.0, direction[1] = 0.0, direction[2] = 1.0;
        data->tipDiameter[stored] = in_work_units(point->GetDiameter(), toolTag);
        if (stored == 0) {
            for (int k = 0; k < 3; ++k) first[k] = position[k];
            data->tipDirection[0] = {0.0, 0.0, 1.0};
            data->tipPosition[0] = {0.0, 0.0, 0.0};
        } else {
            double offset[3], moved[3];
            VEC3_sub(position, first, offset);
            MTX3_vec_multiply(offset, m, moved);
            data->tipDirection[stored] = turned(vector_of(direction), m);
            data->tipPosition[stored] = point_of(moved);
        }
        ++stored;
    }
    pool.release();
    data->tipCount = stored;
    // 4. The first tip in use; the probe reaches on to it.
    data->tipIndex = 0;
    data->tipInUseDirection = {0.0, 0.0, 1.0};
    data->tipInUsePosition = {0.0, 0.0, 0.0};
    if (stored > 0) {
        data->tipRadius = 0.5 * data->tipDiameter[0];
        data->length += VEC3_distance(origin, first);
    }
}

void CmmInspectTool::ExtractTrackpointGeomData(unsigned tag, double* point, double* radius) {
    if (tag == 0 || !point || !radius) return;
    double centre[3] = {0.0, 0.0, 0.0}, r = 0.0;
    bool found = false;
    switch (RM_ask_entity_type(tag)) {
        case 2:
            found = ES_ask_coordinates_of_point(tag, centre) == 0;
            break;
        case 5:
            found = ES_ask_centre_of_arc(tag, centre) == 0 && ES_ask_radius_of_arc(tag, &r) == 0;
            break;
        case 70: {
            int form = 0;
            if (ES_solid_read_entity_form(tag, &form) != 0) break;
            if (form == 3) {
                found = VZ_circle_edge_ask(tag, centre, &r) == 0;
            } else if (form == 21) {
                found = circle_of_single_edge_face(tag, centre, &r);
            } else if (form == 24) {
                int type = 0;
                double direction[3];
                found = VZ_face_ask_data(tag, &type, centre, direction, &r) == 0;
            }
            break;
        }
        default:
            break;
    }
    if (!found) return;
    for (int k = 0; k < 3; ++k) point[k] = centre[k];
    *radius = r;
}

void CmmInspectTool::CalcToolVec(ToolData_s* data, double angleA, double angleB, Vector3* vector) {
    require(data, "CalcToolVec", "first");
    require(vector, "CalcToolVec", "fourth");
    if (!data->articulated) {
        *vector = data->toolVector;
        return;
    }
    double ra[9], rb[9];
    rotation(data->firstAxis, angleA, ra);
    rotation(data->secondAxis, angleB, rb);
    MTX3_multiply(ra, rb, data->headMatrix);
    *vector = turned(data->toolVector, data->headMatrix);
}

void CmmInspectTool::Calc5AxisToolVec(ToolData_s* data, double angleA, double angleB, Vector3* xDirection,
                                      Vector3* zDirection, Vector3* vector) {
    require(data, "Calc5AxisToolVec", "first");
    require(xDirection, "Calc5AxisToolVec", "second");
    require(zDirection, "Calc5AxisToolVec", "third");
    require(vector, "Calc5AxisToolVec", "fourth");
    *vector = data->toolVector;
    if (!data->articulated) return;
    double x[3], z[3], y[3];
    to_array(*xDirection, x);
    to_array(*zDirection, z);
    if (!VEC3_unitize(x, kZeroLength, nullptr, x) || !VEC3_unitize(z, kZeroLength, nullptr, z)) return;
    VEC3_cross(z, x, y);
    if (!VEC3_unitize(y, kZeroLength, nullptr, y)) return;
    VEC3_cross(y, z, x);
    const double a = angleA * kDegree, b = angleB * kDegree;
    const double local[3] = {std::sin(a) * std::cos(b), std::sin(a) * std::sin(b), std::cos(a)};
    double v[3];
    for (int k = 0; k < 3; ++k) v[k] = local[0] * x[k] + local[1] * y[k] + local[2] * z[k];
    *vector = vector_of(v);
}

void CmmInspectTool::Calc5AxisToolAngles(ToolData_s* data, Vector3* direction, double* angleA, double* angleB) {
    require(data, "Calc5AxisToolAngles", "first");
    require(direction, "Calc5AxisToolAngles", "second");
    require(angleA, "Calc5AxisToolAngles", "third");
    require(angleB, "Calc5AxisToolAngles", "fourth");
    *angleA = *angleB = 0.0;
    const Vector3& d = *direction;
    if (!data->articulated || !(d.x * d.x + d.y * d.y + d.z * d.z > kZeroLengthSquared)) return;
    const double r = std::sqrt(d.x * d.x + d.y * d.y);
    if (!(r > kNearToolAxis)) return;
    double a = std::atan2(r, d.z) / kDegree;
    double b = -std::atan2(d.x, d.y) / kDegree;
    if (data->firstAngleLimited) a = clamped(a, data->firstAngleMin, data->firstAngleMax);
    if (data->secondAngleLimited) b = clamped(b, data->secondAngleMin, data->secondAngleMax);
    *angleA = a;
    *angleB = b;
}

void CmmInspectTool::CalcToolAngles(ToolData_s* data, Vector3* direction, bool continuous, double* angleA,
                                    double* angleB) {
    require(data, "CalcToolAngles", "first");
    require(direction, "CalcToolAngles", "second");
    require(angleA, "CalcToolAngles", "fourth");
    require(angleB, "CalcToolAngles", "fifth");
    *angleA = *angleB = 0.0;
    if (continuous || !data->firstAngleLimited || !data->secondAngleLimited) {
        Calc5AxisToolAngles(data, direction, angleA, angleB);
        return;
    }
    double d[3];
    to_array(*direction, d);
    if (!(VEC3_dot(d, d) > kZeroLengthSquared)) return;
    if (!index_search_is_sound(*data)) {
        ERROR_note(__FILE__, __LINE__,
                   "CalcToolAngles: the index search needs finite limits, each minimum at most its maximum, and "
                   "finite index steps above 0");
        return;
    }
    // The index positions: a from its minimum up in steps; for each a, b = 0,
    // step, ... up to the maximum, then -step, -2 step, ... down to the
    // minimum.  A pair whose tool vector matches the direction (cosine within
    // kSameDirection of 1) ends the sweep; otherwise the best cosine wins,
    // the earliest pair on ties.
    const double stepA = data->firstAngleStep, stepB = data->secondAngleStep;
    const long countA = static_cast<long>(std::trunc((data->firstAngleMax - data->firstAngleMin) / stepA));
    const long countB = static_cast<long>(std::trunc(data->secondAngleMax / stepB));
    const long countNegativeB = static_cast<long>(std::trunc((-stepB - data->secondAngleMin) / stepB)) + 1;
    double best = -100.0, bestA = 0.0, bestB = 0.0;
    auto consider = [&](double a, double b) {
        Vector3 v;
        CalcToolVec(data, a, b, &v);
        double w[3];
        to_array(v, w);
        const double s = VEC3_dot(w, d);
        if (std::fabs(s - 1.0) <= kSameDirection) {
            bestA = a, bestB = b;
            return true;
        }
        if (s > best) best = s, bestA = a, bestB = b;
        return false;
    };
    for (long i = 0; i <= countA; ++i) {
        const double a = data->firstAngleMin + static_cast<double>(i) * stepA;
        bool exact = false;
        for (long j = 0; j <= countB && !exact; ++j) exact = consider(a, static_cast<double>(j) * stepB);
        for (long j = 1; j <= countNegativeB && !exact; ++j) exact = consider(a, -static_cast<double>(j) * stepB);
        if (exact) break;
    }
    *angleA = bestA;
    *angleB = bestB;
}

void CmmInspectTool::CalcToolTip(ToolData_s* data, Vector3* direction, int* tipIndex) {
    require(data, "CalcToolTip", "first");
    require(direction, "CalcToolTip", "second");
    require(tipIndex, "CalcToolTip", "third");
    *tipIndex = 0;
    if (data->tipCount <= 1) return;
    const bool turn = !MTX3_is_identity(data->headMatrix, kSameDirection);
    const int count = data->tipCount < MaxTips ? data->tipCount : MaxTips;
    double d[3];
    to_array(*direction, d);
    double best = -100.0;
    int chosen = 0;
    for (int i = 0; i < count; ++i) {
        const Vector3 tip = turn ? turned(data->tipDirection[i], data->headMatrix) : data->tipDirection[i];
        double t[3];
        to_array(tip, t);
        const double s = VEC3_dot(t, d);
        if (s > best) best = s, chosen = i;
    }
    data->tipIndex = chosen;
    data->tipInUsePosition = data->tipPosition[chosen];
    data->tipInUseDirection = data->tipDirection[chosen];
    data->tipRadius = 0.5 * data->tipDiameter[chosen];
    *tipIndex = chosen;
}

}  // namespace Cam
}  // namespace Korvo
