// The host's solid-modelling kernel: entities named by 32-bit tags, surfaces,
// curves and their evaluation, and the session's precisions.
//
// Stand-in for the host's libvorsa: an analytic kernel over a table of
// entities; test controls in <vorsa/testing.h>.  Every call answers an error
// code: VQ_ERROR_none on success, else VQ_ERROR_base + n.
#pragma once

// The kernel's entry points have C linkage, so that a caller can look them
// up by name in a library it loads itself.
#ifdef __cplusplus
extern "C" {
#endif

typedef int VQ_ENTITY_t;
typedef int VQ_CLASS_t;
typedef int VQ_ERROR_code_t;

enum {
    VQ_ERROR_none = 0,
    VQ_ERROR_base = 820000,
    VQ_ERROR_bad_tag = 820001,         // no entity of that tag, or a deleted one
    VQ_ERROR_wrong_class = 820002,     // the entity is not of the class the call takes
    VQ_ERROR_bad_value = 820003,       // a null output or an argument out of range
    VQ_ERROR_not_on_curve = 820004,    // a point off the curve by more than the precision
};

// Entity classes.
enum {
    VQ_CLASS_line = 3001,
    VQ_CLASS_circle = 3002,
    VQ_CLASS_ellipse = 3003,
    VQ_CLASS_curve = 3010,  // a general curve (an iso-parameter curve of a surface)
    VQ_CLASS_plane = 4001,
    VQ_CLASS_cyl = 4002,
    VQ_CLASS_cone = 4003,
    VQ_CLASS_torus = 4005,
    VQ_CLASS_spun = 4010,
    VQ_CLASS_surf = 4020,  // a general parametric surface
    VQ_CLASS_vertex = 5001,
    VQ_CLASS_edge = 5002,
    VQ_CLASS_fin = 5003,
    VQ_CLASS_face = 5004,
    VQ_CLASS_body = 5006,
};

// Result token of a range query that found a nearest entity.
enum { VQ_range_found = 18270, VQ_range_not_found = 18271 };

// Status of a trimmed sheet: made, or refused with the reason.
enum {
    VQ_SHEET_unset = 16401,
    VQ_SHEET_ok = 16400,
    VQ_SHEET_curve_off_surface = 16410,
    VQ_SHEET_loop_open = 16411,
    VQ_SHEET_bad_interval = 16412,
    VQ_SHEET_bad_orientation = 16413,
};

struct VQ_VECTOR_t {
    double coord[3];
};

// A placement: location, unit axis and a unit reference direction normal to it.
struct VQ_AXIS2_sf_t {
    VQ_VECTOR_t location;
    VQ_VECTOR_t axis;
    VQ_VECTOR_t ref_direction;
};

struct VQ_PLANE_sf_t {
    VQ_AXIS2_sf_t basis_set;
};
// Cylinder of `radius` about the basis axis.
struct VQ_CYL_sf_t {
    VQ_AXIS2_sf_t basis_set;
    double radius;
};
// Cone: `radius` at the basis location, opening by the half angle whose sine
// and cosine are given, towards the axis.
struct VQ_CONE_sf_t {
    VQ_AXIS2_sf_t basis_set;
    double radius;
    double sin_half_angle;
    double cos_half_angle;
};
struct VQ_TORUS_sf_t {
    VQ_AXIS2_sf_t basis_set;
    double major_radius;
    double minor_radius;
};
// A profile curve spun about the axis through base_point.
struct VQ_SPUN_sf_t {
    VQ_ENTITY_t profile;
    VQ_VECTOR_t base_point;
    VQ_VECTOR_t axis;
};
struct VQ_LINE_sf_t {
    VQ_VECTOR_t location;
    VQ_VECTOR_t direction;  // unit
};
struct VQ_CIRCLE_sf_t {
    VQ_AXIS2_sf_t basis_set;
    double radius;
};

// Entities in general.
VQ_ERROR_code_t VQ_ENTITY_ask_class(VQ_ENTITY_t entity, VQ_CLASS_t* cls);
// Whether the tag names a live entity (answers through *is; never fails).
VQ_ERROR_code_t VQ_ENTITY_is(VQ_ENTITY_t entity, int* is);
// Deletes n entities; an unknown or already deleted tag fails and deletes none.
VQ_ERROR_code_t VQ_ENTITY_delete(int n, const VQ_ENTITY_t* entities);

// Canonical surfaces and curves: their defining data.
VQ_ERROR_code_t VQ_PLANE_create(const VQ_PLANE_sf_t* sf, VQ_ENTITY_t* plane);
VQ_ERROR_code_t VQ_PLANE_ask(VQ_ENTITY_t plane, VQ_PLANE_sf_t* sf);
VQ_ERROR_code_t VQ_CYL_ask(VQ_ENTITY_t cyl, VQ_CYL_sf_t* sf);
VQ_ERROR_code_t VQ_CONE_ask(VQ_ENTITY_t cone, VQ_CONE_sf_t* sf);
VQ_ERROR_code_t VQ_TORUS_ask(VQ_ENTITY_t torus, VQ_TORUS_sf_t* sf);
VQ_ERROR_code_t VQ_SPUN_ask(VQ_ENTITY_t spun, VQ_SPUN_sf_t* sf);
VQ_ERROR_code_t VQ_LINE_create(const VQ_LINE_sf_t* sf, VQ_ENTITY_t* line);
VQ_ERROR_code_t VQ_LINE_ask(VQ_ENTITY_t line, VQ_LINE_sf_t* sf);
VQ_ERROR_code_t VQ_CIRCLE_create(const VQ_CIRCLE_sf_t* sf, VQ_ENTITY_t* circle);
VQ_ERROR_code_t VQ_CIRCLE_ask(VQ_ENTITY_t circle, VQ_CIRCLE_sf_t* sf);

// Surfaces: the point and unit normal at (u, v); the parameter box
// (u low, v low, u high, v high); the curves of constant u and of constant v.
VQ_ERROR_code_t VQ_SURF_eval_with_normal(VQ_ENTITY_t surf, const double uv[2], VQ_VECTOR_t* point,
                                         VQ_VECTOR_t* normal);
VQ_ERROR_code_t VQ_SURF_ask_uvbox(VQ_ENTITY_t surf, double uvbox[4]);
VQ_ERROR_code_t VQ_SURF_make_curve_u_isoparam(VQ_ENTITY_t surf, double u, VQ_ENTITY_t* curve);
VQ_ERROR_code_t VQ_SURF_make_curve_v_isoparam(VQ_ENTITY_t surf, double v, VQ_ENTITY_t* curve);

// Curves: the parameter interval (start, end) and the point at a parameter.
// A line's interval is the one it was made with (default (0, 1)); a circle's
// is (0, 2 pi), its angle measured from the reference direction.
VQ_ERROR_code_t VQ_CURVE_ask_interval(VQ_ENTITY_t curve, double interval[2]);
VQ_ERROR_code_t VQ_CURVE_eval(VQ_ENTITY_t curve, double t, VQ_VECTOR_t* point);
// The parameter of a point on the curve; VQ_ERROR_not_on_curve when it lies
// off the curve by more than the session precision.  Circle angles in [0, 2 pi).
VQ_ERROR_code_t VQ_CURVE_parameterise_vector(VQ_ENTITY_t curve, const VQ_VECTOR_t* point, double* t);

// The session's linear and angular precisions.
VQ_ERROR_code_t VQ_SESSION_ask_precision(double* precision);
VQ_ERROR_code_t VQ_SESSION_ask_angle_precision(double* precision);

// A vector normal to the given one (unit length).
VQ_ERROR_code_t VQ_VECTOR_perpendicular(const VQ_VECTOR_t* vector, VQ_VECTOR_t* perpendicular);

// Kernel memory for arrays handed to the kernel.
VQ_ERROR_code_t VQ_MEMORY_alloc(int bytes, void** memory);
VQ_ERROR_code_t VQ_MEMORY_free(void* memory);
// Forgets the last error the kernel recorded.
VQ_ERROR_code_t VQ_ERROR_clear_last(void);

// A planar sheet bounded by loops of curves: curve k runs over intervals
// [2k, 2k+1] and belongs to loop loops[k]; a loop's curves follow each other
// end to start and the last returns to the first.  Looking down the plane's
// normal, one loop (the outer) runs counter-clockwise around the others,
// which run clockwise.  A refused input gives *sheet 0 and a status saying why.
// A sheet made takes the plane and the curves into its faces and edges: they
// are no longer entities of their own.  A refused input leaves them to the caller.
struct VQ_SURF_trim_data_t {
    int n_curves;
    const VQ_ENTITY_t* curves;
    const double* intervals;
    const int* loops;
    const int* reserved;  // zeros
};
struct VQ_SURF_make_sheet_trimmed_o_t {
    int o_t_version;
};
VQ_ERROR_code_t VQ_SURF_make_sheet_trimmed(VQ_ENTITY_t surf, const VQ_SURF_trim_data_t* trim, double precision,
                                           const VQ_SURF_make_sheet_trimmed_o_t* options, VQ_ENTITY_t* sheet,
                                           int* status);

// Checks a body: the faults found (self-crossing loops and faults a test
// injected), at most max_faults of them listed in *faults (host string memory,
// SM_alloc; the caller frees it with SM_free; null for none).
struct VQ_BODY_check_o_t {
    int o_t_version;
    int max_faults;
    int checks[12];
};
struct VQ_check_fault_t {
    int state;
    VQ_ENTITY_t entity;
};
VQ_ERROR_code_t VQ_BODY_check(VQ_ENTITY_t body, const VQ_BODY_check_o_t* options, int* n_faults,
                              VQ_check_fault_t** faults);

// Extrudes a sheet along a direction between two distances into a solid.
// The tracking records handed back are freed with VQ_TOPOL_local_r_f and
// VQ_TOPOL_track_r_f.
struct VQ_BODY_extrude_o_t {
    int o_t_version;
    double lower;
    double upper;
};
struct VQ_TOPOL_track_r_t;
struct VQ_TOPOL_local_r_t;
VQ_ERROR_code_t VQ_BODY_extrude(VQ_ENTITY_t sheet, const VQ_VECTOR_t* direction, const VQ_BODY_extrude_o_t* options,
                                VQ_ENTITY_t* solid, VQ_TOPOL_track_r_t** tracking, VQ_TOPOL_local_r_t** results);
VQ_ERROR_code_t VQ_TOPOL_track_r_f(VQ_TOPOL_track_r_t* tracking);
VQ_ERROR_code_t VQ_TOPOL_local_r_f(VQ_TOPOL_local_r_t* results);

// Topology: whether a tag is a body, face, edge or vertex.
VQ_ERROR_code_t VQ_ENTITY_is_topol(VQ_ENTITY_t entity, int* is);
// The axis-aligned box of a topological entity: low x, y, z, high x, y, z.
VQ_ERROR_code_t VQ_TOPOL_find_box(VQ_ENTITY_t topol, double box[6]);

// The nearest point of a topological entity to a point.  `options` holds
// the three option tokens of the query.  The result names the entity the
// point lies on: one entity, or the body first and then its face, edge or
// vertex; the parameters are the surface parameters there when that is a face.
struct VQ_range_result_t {
    int result;  // VQ_range_found or VQ_range_not_found
    double distance;
    VQ_VECTOR_t point;
    int n_entities;
    VQ_ENTITY_t entities[2];
    double parameters[2];
};
VQ_ERROR_code_t VQ_TOPOL_range_vector(VQ_ENTITY_t topol, const VQ_VECTOR_t* point, const int options[3],
                                      VQ_range_result_t* result);
// The nearest point of a surface (unbounded) to a point, with its parameters.
VQ_ERROR_code_t VQ_GEOM_range_vector(VQ_ENTITY_t surf, const VQ_VECTOR_t* point, VQ_range_result_t* result);

// A face's surface and whether the face runs against it (its outward
// normal is the surface normal reversed); the body of a face; the faces of
// an edge or vertex (host string memory, SM_alloc; the caller frees it).
VQ_ERROR_code_t VQ_FACE_ask_oriented_surf(VQ_ENTITY_t face, VQ_ENTITY_t* surf, int* reversed);
VQ_ERROR_code_t VQ_FACE_ask_body(VQ_ENTITY_t face, VQ_ENTITY_t* body);
VQ_ERROR_code_t VQ_EDGE_ask_faces(VQ_ENTITY_t edge, int* n_faces, VQ_ENTITY_t** faces);
VQ_ERROR_code_t VQ_VERTEX_ask_faces(VQ_ENTITY_t vertex, int* n_faces, VQ_ENTITY_t** faces);
// A solid cylinder of the radius and height standing on the base along the
// axis, the reference direction perpendicular to it.
VQ_ERROR_code_t VQ_BODY_create_solid_cyl(double radius, double height, const VQ_AXIS2_sf_t* basis, VQ_ENTITY_t* body);
// A wire body along the curve over the interval.
VQ_ERROR_code_t VQ_CURVE_make_wire_body(VQ_ENTITY_t curve, const double interval[2], VQ_ENTITY_t* body);

// Marks: VQ_MARK_goto brings the entity table and the attributes back to
// how they stood when the mark was made (entities made after it are gone) and
// forgets the marks made after it; VQ_MARK_delete forgets a mark.
VQ_ERROR_code_t VQ_MARK_create(int* mark);
VQ_ERROR_code_t VQ_MARK_goto(int mark);
VQ_ERROR_code_t VQ_MARK_delete(int mark);

// Attribute definitions: a name, the class value, one owner type and the
// field types.  This kernel takes class VQ_ATTDEF_class_07 on faces with
// one real field; *definition 0 when VQ_ATTDEF_find knows no such name.
enum { VQ_ATTDEF_class_07 = 5801, VQ_FIELD_type_real = 5902 };
struct VQ_ATTDEF_sf_t {
    const char* name;
    int attrib_class;
    int n_owner_types;
    const VQ_CLASS_t* owner_types;
    int n_fields;
    const int* field_types;
};
VQ_ERROR_code_t VQ_ATTDEF_find(const char* name, int* definition);
VQ_ERROR_code_t VQ_ATTDEF_create(const VQ_ATTDEF_sf_t* sf, int* definition);
// Attributes on faces (one per definition and face); doubles answered in
// host string memory (SM_alloc; the caller frees them).
VQ_ERROR_code_t VQ_ATTRIB_create_empty(VQ_ENTITY_t owner, int definition, int* attribute);
VQ_ERROR_code_t VQ_ATTRIB_set_doubles(int attribute, int n, const double* values);
VQ_ERROR_code_t VQ_ATTRIB_ask_doubles(int attribute, int* n, double** values);
// The entity's attribute of the definition; 0 for none.
VQ_ERROR_code_t VQ_ENTITY_ask_first_attrib(VQ_ENTITY_t entity, int definition, int* attribute);

// Bodies: their type, faces and edges (host string memory, SM_alloc).
enum { VQ_BODY_type_solid = 5601, VQ_BODY_type_sheet = 5602, VQ_BODY_type_wire = 5603 };
VQ_ERROR_code_t VQ_BODY_ask_type(VQ_ENTITY_t body, int* type);
VQ_ERROR_code_t VQ_BODY_ask_faces(VQ_ENTITY_t body, int* n, VQ_ENTITY_t** faces);
VQ_ERROR_code_t VQ_BODY_ask_edges(VQ_ENTITY_t body, int* n, VQ_ENTITY_t** edges);
// A face's surface; an edge's curve (a cylinder's cap circles; 0 for the
// edges of a box).
VQ_ERROR_code_t VQ_FACE_ask_surf(VQ_ENTITY_t face, VQ_ENTITY_t* surf);
VQ_ERROR_code_t VQ_EDGE_ask_curve(VQ_ENTITY_t edge, VQ_ENTITY_t* curve);

// Imprints a plane on a box or cylinder body: each face the plane crosses is
// split in two and the new edges between the halves are answered (host
// string memory): the sides of the section polygon of a box, counter-
// clockwise about the plane's normal, as lines; the circle of a cylinder cut
// across its axis, the ellipse of a cylinder cut by a plane tilted from that,
// running about the cylinder's axis.  An ellipse within the tolerance (or the
// session's precision, when larger) of the cylinder's circle about its centre
// is answered as that circle, whose axis is then the cylinder's, not the
// plane's normal.  A plane along the axis, or one reaching a cap, is refused.
VQ_ERROR_code_t VQ_BODY_imprint_plane(VQ_ENTITY_t body, VQ_ENTITY_t plane, double tolerance, int* n_edges,
                                      VQ_ENTITY_t** edges);

// Points along a line, circle or ellipse over the interval: a line's two
// ends; the others' points no further apart than the chord tolerance and the angle
// allow (host string memory).  A tolerance too fine for the curve fails
// with VQ_ERROR_base + 1064.
VQ_ERROR_code_t VQ_CURVE_output_vectors(VQ_ENTITY_t curve, const double interval[2], double chord_tolerance,
                                        double max_angle, int* n, VQ_VECTOR_t** points);

// Cuts a box or cylinder body with a plane: the pieces on the normal's side
// (front) and on the other (back), as new bodies; the body itself is gone.
// A plane that misses the body answers the body itself on its side.  Boxes
// are cut by planes normal to a world axis, cylinders across their axis; any
// other plane is refused.  The options are version 4 with the fence and
// result values 18200 and 21811 (else refused), the tolerance and the
// precision.  VQ_section_r_f frees the arrays of the result (not the bodies).
struct VQ_BODY_section_o_t {
    int o_t_version;
    int fence;
    int result_type;
    double tolerance;
    double precision;
};
struct VQ_section_r_t {
    int n_front;
    VQ_ENTITY_t* front;
    int n_back;
    VQ_ENTITY_t* back;
};
VQ_ERROR_code_t VQ_BODY_section_with_surf(VQ_ENTITY_t body, VQ_ENTITY_t surf, const VQ_BODY_section_o_t* options,
                                          VQ_section_r_t* result);
VQ_ERROR_code_t VQ_section_r_f(VQ_section_r_t* result);

// Isoclines of the faces of one box or cylinder body for the direction and
// the angle: each face gets flag 0 when its outward normal lies within the
// angle of the direction, else 1.  A cylinder's side that no isocline
// crosses (all its normals on one side of the angle) gets one flag; the side
// of a cylinder whose axis is normal to the direction is split along the two
// isocline lines (normal at the angle) into the strip within the angle (a new
// face, flag 0) and the rest (flag 1); each line is an edge between the two
// with a fin on each, the strip's fin positive on the line the strip lies
// left of, seen from outside along the edge.  A side crossed by curved
// isoclines is refused.  Answers the given faces and the new ones with their
// flags (host string memory).
VQ_ERROR_code_t VQ_FACE_imprint_cus_isoclin(int n_faces, const VQ_ENTITY_t* faces, const VQ_VECTOR_t* direction,
                                            double angle, double tolerance, int* n_out, VQ_ENTITY_t** out_faces,
                                            int** flags);
// The fins of an edge (none for the edges a body was made with; host string
// memory), the face of a fin and whether it runs with its edge.
VQ_ERROR_code_t VQ_EDGE_ask_fins(VQ_ENTITY_t edge, int* n, VQ_ENTITY_t** fins);
VQ_ERROR_code_t VQ_FIN_ask_face(VQ_ENTITY_t fin, VQ_ENTITY_t* face);
VQ_ERROR_code_t VQ_FIN_is_positive(VQ_ENTITY_t fin, int* positive);
// Sets of entities.
VQ_ERROR_code_t VQ_SET_create(int n, const VQ_ENTITY_t* members, int* set);
VQ_ERROR_code_t VQ_SET_add_members(int set, int n, const VQ_ENTITY_t* members);
VQ_ERROR_code_t VQ_SET_is_member(int set, VQ_ENTITY_t entity, int* is);
VQ_ERROR_code_t VQ_SET_delete_set(int set);

#ifdef __cplusplus
}
#endif
