// Test controls of the libvorsa stand-in.  Not part of the host's interface.
#pragma once

#include <vorsa/vorsa.h>

#include <string>
#include <vector>

namespace vorsa_test {

// Analytic surfaces made by tests.  Axes and reference directions are
// normalised; the reference direction is made normal to the axis.
//  - cylinder: u the angle from the reference direction in [0, 2 pi],
//    v the height along the axis in [v_low, v_high];
//  - cone: radius + v sin(half angle) at height v cos(half angle);
//  - torus: u about the axis, v about the tube, both in [0, 2 pi];
//  - spun surface and surface of revolution: a line or circle profile turned
//    about the axis, u the turn in [0, 2 pi], v the profile parameter.  The
//    first is of class VQ_CLASS_spun, the second a general surface;
//  - twisted ruled surface: the lines from a(u) to b(u), a running from
//    (0,0,0) to (1,0,0) and b from (0,1,1) to (0,0,1), v along the rule in [0, 1].
VQ_ENTITY_t make_cylinder(const VQ_AXIS2_sf_t& basis, double radius, double v_low, double v_high);
VQ_ENTITY_t make_cone(const VQ_AXIS2_sf_t& basis, double radius, double half_angle, double v_low, double v_high);
VQ_ENTITY_t make_torus(const VQ_AXIS2_sf_t& basis, double major_radius, double minor_radius);
VQ_ENTITY_t make_spun(VQ_ENTITY_t profile, const VQ_VECTOR_t& base_point, const VQ_VECTOR_t& axis);
VQ_ENTITY_t make_revolution(VQ_ENTITY_t profile, const VQ_VECTOR_t& base_point, const VQ_VECTOR_t& axis);
VQ_ENTITY_t make_twisted_ruled();
// A line with its interval.
VQ_ENTITY_t make_line(const VQ_VECTOR_t& location, const VQ_VECTOR_t& direction, double t0, double t1);

// A body's data: sheet (true) or solid, its area (a sheet's: the signed
// areas of its loops added up), its loops' signed areas about the plane
// normal, its volume (solids) and its face count.  False for no body.
struct BodyData {
    bool sheet;
    double area;
    std::vector<double> loop_areas;
    double volume;
    int faces;
};
bool body_data(VQ_ENTITY_t body, BodyData* data);
// The next VQ_BODY_check reports this many faults more (once).
void inject_check_faults(int n);
// Kernel memory blocks and tracking records not yet freed; the last error
// recorded and not cleared (0 for none).
int outstanding_memory();
int outstanding_tracking();
int last_error();

// Solid bodies with their faces, edges and vertices as entities: an
// axis-aligned box, and a cylinder of the radius about the basis axis between
// heights h0 < h1 along it (faces: side, bottom, top; edges: the bottom and
// top circles, each with its circle curve; no vertex).  A box's edges run
// along lines in the axis's direction, each with a fin on its two faces
// (positive where the face lies on the edge's left seen against the face's
// outward normal).  Face surfaces are planes with the world axis as
// normal (the faces on the low side run against them) and the cylinder.
VQ_ENTITY_t make_box_body(double x0, double y0, double z0, double x1, double y1, double z1);
VQ_ENTITY_t make_cylinder_body(const VQ_AXIS2_sf_t& basis, double radius, double h0, double h1);
// A box with a rectangular hole through it along Z (hx0 < hx1 and hy0 < hy1
// inside the box's x and y): ten plane faces (bottom, top, the outer sides
// and the hole's walls, each from the low y side on counter-clockwise about
// Z) and 24 edges along lines, each between two faces with a fin on each
// (positive where the edge has its face on the left seen against the face's
// outward normal): the hole's edges first, then the outer ones; the loops at
// the bottom and the top run clockwise seen from +Z.  No vertex.  Plane
// imprints and sections refuse it.
VQ_ENTITY_t make_holed_box_body(double x0, double y0, double z0, double x1, double y1, double z1, double hx0,
                                double hy0, double hx1, double hy1);
// The faces, edges and vertices of such a body, in the order of their index:
// box faces 2k + s (axis k, s = 0 low, 1 high); box edges 4k + 2 s1 + s2
// (along axis k, sides s1, s2 on the other two axes in order); box vertices
// 4 sx + 2 sy + sz.
std::vector<VQ_ENTITY_t> faces_of(VQ_ENTITY_t body);
std::vector<VQ_ENTITY_t> edges_of(VQ_ENTITY_t body);
std::vector<VQ_ENTITY_t> vertices_of(VQ_ENTITY_t body);

// Entities alive now (every class); marks not yet gone to or deleted.
int live_entities();
int mark_count();
// The name of every kernel call since the last reset, in order.
const std::vector<std::string>& call_log();
// The chord tolerance of every VQ_CURVE_output_vectors call, failed ones included.
const std::vector<double>& output_tolerances();
// Attributes hung on an entity; attribute definitions made.
int attributes_of(VQ_ENTITY_t entity);
int attribute_definitions();
// Calls of one kernel function since the last reset.
int calls(const std::string& name);
// The call `name` fails with VQ_ERROR_base + n: on its next call (skip = 0)
// or after `skip` more successful calls; `times` calls in a row.
void inject_error(const std::string& name, int n, int skip = 0, int times = 1);
// Precisions the session answers (defaults 1e-8 and 1e-11).
void set_precision(double linear);
void set_angle_precision(double angular);
// Deletes every entity and forgets calls, injections and precisions.
void reset();

}  // namespace vorsa_test
