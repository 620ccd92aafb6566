// Debug drawing tools: temporary spheres and boxes, permanent named objects.
#include <merrow1/dsptool.h>

#include <glimra/display.h>
#include <glimra/regen_object.h>
#include <quorn/mtx3_ops.h>
#include <randle/bcurve.h>
#include <stend/error.h>
#include <tavish/entities.h>
#include <tavish/geometry.h>

#include <cmath>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "internal/report_error.h"
#include "internal/vec2.h"

namespace {

// Lengths and radii below this are zero; a matrix within it of the identity
// maps nothing.
constexpr double kZeroLength = 1e-10;

using Korvo::Math::Point3;

const double kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
using merrow1::kPi;
// The host's view options: spheres in the work part's views, boxes in the
// active view sequence's view.
const tag_t kSphereView = static_cast<tag_t>(-1);
const tag_t kBoxView = static_cast<tag_t>(-3);

void to_array(const MTX3_s& m, double out[9]) {
    const double values[9] = {m.xx, m.xy, m.xz, m.yx, m.yy, m.yz, m.zx, m.zy, m.zz};
    for (int i = 0; i < 9; ++i) out[i] = values[i];
}

void from_array(const double m[9], MTX3_s* out) {
    *out = MTX3_s{m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8]};
}

// "%f" of a value, whatever its size.
std::string format_value(double value) {
    const int length = std::snprintf(nullptr, 0, "%f", value);
    if (length <= 0) return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(&text[0], text.size(), "%f", value);
    text.resize(static_cast<size_t>(length));
    return text;
}

// Names, groups and regenerates a permanent object; returns its tag.
unsigned finish_permanent(tag_t tag, unsigned group, const char* label, const double* value) {
    if (tag == 0) return 0;
    const bool has_label = label && *label;
    if (has_label || value) {
        std::string name = has_label ? std::string(label) : std::string();
        if (has_label && value) name += '_';
        if (value) name += format_value(*value);
        Korvo::Attr::UserName::Set(tag, name.c_str());
    }
    if (group != 0) GROUP_add_member(group, tag);
    DSS_REGEN_regen_object(tag);
    return tag;
}

// A curve definition freed on every exit.
struct Definition {
    BCDF_s* df;
    ~Definition() { BCDF_free(df); }
};

// The exact curve of the definition, or 0 after its error was reported and
// cleared.
tag_t create_exact(const BCDF_s* df) {
    try {
        return BC_create_exact(df);
    } catch (...) {
        MERROW1_REPORT_CAUGHT_ERROR();
    }
    return 0;
}

void map_through(const double origin[3], const double m[9], const double p[3], double out[3]) {
    double turned[3];
    MTX3_vec_multiply(p, m, turned);
    for (int k = 0; k < 3; ++k) out[k] = (origin ? origin[k] : 0.0) + turned[k];
}

void draw_sphere(const double centre[3], const double m[9], double radius, int colour) {
    // Circles normal to Z, X and Y: plane matrices with rows (X, Y, Z), (Y,
    // Z, X) and (Z, X, Y) of the orientation.
    for (int normal : {2, 0, 1}) {
        double plane[9];
        for (int row = 0; row < 3; ++row)
            for (int k = 0; k < 3; ++k) plane[3 * row + k] = m[3 * ((normal + 1 + row) % 3) + k];
        DSS_TEMP_display_arc(kSphereView, colour, 1, 1, plane, centre, radius, 0.0, 2.0 * kPi);
    }
}

bool radius_too_small(double radius) { return !(radius >= kZeroLength); }

}  // namespace

void DSPTOOL_display_sphere(const Point3* centre, const CSYS_s* csys, MTX3_s* matrix, double radius,
                            const int* colour) {
    if (!centre || radius_too_small(radius)) return;
    double m[9];
    const double c[3] = {centre->x, centre->y, centre->z};
    double at[3] = {c[0], c[1], c[2]};
    if (csys) {
        for (int i = 0; i < 9; ++i) m[i] = csys->matrix[i];
        map_through(csys->origin, m, c, at);
    } else if (matrix) {
        to_array(*matrix, m);
    } else {
        for (int i = 0; i < 9; ++i) m[i] = kIdentity[i];
    }
    draw_sphere(at, m, radius, colour ? *colour : 0);
}

void DSPTOOL_display_sphere(unsigned pointTag, double radius, const int* colour) {
    if (pointTag == 0 || radius_too_small(radius)) return;
    double c[3];
    if (ES_ask_coordinates_of_point(pointTag, c) != 0) return;
    draw_sphere(c, kIdentity, radius, colour ? *colour : 0);
}

bool DSPTOOL_get_arc_data(Point3 start, Point3 end, Point3 centre, DSS_ARC_arc_data_s* arc, MTX3_s* matrix) {
    if (!arc || !matrix) return false;
    const double s[3] = {start.x, start.y, start.z}, e[3] = {end.x, end.y, end.z};
    const double c[3] = {centre.x, centre.y, centre.z};
    double rs[3], re[3], x[3], ue[3], cross[3], z[3], y[3], radius;
    VEC3_sub(s, c, rs);
    VEC3_sub(e, c, re);
    if (!VEC3_unitize(rs, kZeroLength, &radius, x) || !VEC3_unitize(re, kZeroLength, nullptr, ue)) return false;
    VEC3_cross(x, ue, cross);
    if (!VEC3_unitize(cross, kZeroLength, nullptr, z)) return false;
    VEC3_cross(z, x, y);
    double m[9];
    if (!MTX3_init_x_y_z(x, y, z, m)) return false;
    from_array(m, matrix);
    arc->start_angle = 0.0;
    arc->end_angle = std::atan2(VEC3_mag(cross), VEC3_dot(x, ue));
    MTX3_vec_multiply_t(c, m, arc->centre);
    arc->radius = radius;
    return true;
}

unsigned DSPTOOL_create_perm_pnt(Point3* point, unsigned group, const char* label, const double* value) {
    if (!point) return 0;
    const double p[3] = {point->x, point->y, point->z};
    return finish_permanent(ES_create_point(p), group, label, value);
}

unsigned DSPTOOL_create_perm_line(Point3 ends[2], unsigned group, const char* label, const double* value) {
    if (!ends) return 0;
    const double a[3] = {ends[0].x, ends[0].y, ends[0].z}, b[3] = {ends[1].x, ends[1].y, ends[1].z};
    return finish_permanent(ES_create_line_in_part(a, b), group, label, value);
}

unsigned DSPTOOL_create_perm_arc(DSS_ARC_arc_data_s* arc, MTX3_s* matrix, unsigned group, const char* label,
                                 const double* value) {
    if (!arc || !matrix) return 0;
    double m[9];
    to_array(*matrix, m);
    const tag_t matrix_tag = ES_create_matrix_in_part(m);
    const tag_t tag = ES_create_arc_in_part(matrix_tag, arc->centre, arc->radius, arc->start_angle, arc->end_angle);
    return finish_permanent(tag, group, label, value);
}

unsigned DSPTOOL_create_perm_curve(int count, Point3* points, unsigned group, const char* label,
                                   const double* value) {
    if (!points || count < 2) return 0;
    std::vector<double> coordinates;
    coordinates.reserve(3 * static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) coordinates.insert(coordinates.end(), {points[i].x, points[i].y, points[i].z});
    Definition definition{BCDF_create_df_from_pts(coordinates.data(), count, 3, 0)};
    if (!definition.df) return 0;
    BCDF_set_order(definition.df, 2);
    if (BCDF_ask_rational_curves()) {
        BCDF_add_slopes(definition.df);
        BCDF_convert_4d_to_3d(definition.df);
    }
    return finish_permanent(create_exact(definition.df), group, label, value);
}

unsigned DSPTOOL_create_perm_tri(Point3 corners[3], unsigned group, const char* label, const double* value) {
    if (!corners) return 0;
    Point3 closed[4] = {corners[0], corners[1], corners[2], corners[0]};
    return DSPTOOL_create_perm_curve(4, closed, group, label, value);
}

unsigned DSPTOOL_display_box(double box[6], const CSYS_s* csys, MTX3_s* matrix, int colour, int font, int width,
                             int* marker, bool permanent, unsigned group, const char* label, const double* value) {
    if (!box) return 0;
    double m[9];
    bool map = false;
    const double* origin = nullptr;
    if (csys) {
        for (int i = 0; i < 9; ++i) m[i] = csys->matrix[i];
        origin = csys->origin;
        map = true;
    } else if (matrix) {
        to_array(*matrix, m);
        map = !MTX3_is_identity(m, kZeroLength);
    }
    double c[8][3];
    for (int i = 0; i < 8; ++i) {
        const int q = i % 4;  // 0 (min, min), 1 (max, min), 2 (max, max), 3 (min, max)
        const double p[3] = {box[(q == 1 || q == 2) ? 1 : 0], box[q >= 2 ? 3 : 2], box[i < 4 ? 4 : 5]};
        if (map)
            map_through(origin, m, p, c[i]);
        else
            for (int k = 0; k < 3; ++k) c[i][k] = p[k];
    }
    unsigned tag = 0;
    if (permanent) {
        const int order[10] = {0, 1, 2, 3, 0, 4, 5, 6, 7, 4};
        Point3 points[10];
        for (int i = 0; i < 10; ++i) points[i] = Point3{c[order[i]][0], c[order[i]][1], c[order[i]][2]};
        tag = DSPTOOL_create_perm_curve(10, points, group, label, value);
    }
    if (marker) DSS_TEMP_display_markers(kBoxView, *marker, colour, 3, 8, &c[0][0]);
    DSS_TEMP_display_polyline(kBoxView, colour, font, width, 3, 4, &c[0][0]);
    DSS_TEMP_display_polyline(kBoxView, colour, font, width, 3, 4, &c[4][0]);
    const int edges[6][2] = {{3, 0}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    for (const auto& edge : edges) {
        double line[6];
        for (int k = 0; k < 3; ++k) line[k] = c[edge[0]][k], line[3 + k] = c[edge[1]][k];
        DSS_TEMP_display_polyline(kBoxView, colour, font, width, 3, 2, line);
    }
    return tag;
}
