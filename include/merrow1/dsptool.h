// Debug drawing tools: spheres and boxes as temporary display, and permanent,
// named points, lines, arcs, curves and triangles in the work part.
//
// Permanent objects take a group (0: none), a label and a value: the object
// is named "<label>_<value>" with the value as "%f" when both are given, the
// label or the value alone when only one is, and not at all without either
// (a null or empty label counts as none).  Each is added to its group and
// its display regenerated.  Tags are the host's 32-bit tags; 0 means none.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_types.h>
#include <glimra/arc_data.h>
#include <quorn/mtx3_record.h>
#include <quorn/quorn.h>

MERROW1_API_BEGIN

typedef CSYS CSYS_s;

// Three full circles of the radius about the centre, in the planes normal to
// Z, X and Y of the orientation: the coordinate system's (the centre mapped
// through it too) when given, else the matrix, else the identity.  Drawn as
// temporary arcs in view -1 in the colour given (0 for a null colour).
// Nothing for a null centre or a radius below 1e-10.
void DSPTOOL_display_sphere(const Korvo::Math::Point3* centre, const CSYS_s* csys, MTX3_s* matrix, double radius,
                            const int* colour);
// The same about the point object's coordinates, with no orientation;
// nothing for a null tag or a radius below 1e-10.
void DSPTOOL_display_sphere(unsigned pointTag, double radius, const int* colour);

// The arc from start to end about centre, the shorter way: the matrix gets
// rows x = unit(start - centre), z cross x and z = unit(x cross (end -
// centre)); the arc starts at angle 0, ends at the angle between the two
// radii (below 180 degrees), has its centre in the matrix frame and the
// radius |start - centre|.  False when either radius is shorter than 1e-10,
// the three points are collinear or an output is null.
bool DSPTOOL_get_arc_data(Korvo::Math::Point3 start, Korvo::Math::Point3 end, Korvo::Math::Point3 centre,
                          DSS_ARC_arc_data_s* arc, MTX3_s* matrix);

unsigned DSPTOOL_create_perm_pnt(Korvo::Math::Point3* point, unsigned group, const char* label,
                                 const double* value);
unsigned DSPTOOL_create_perm_line(Korvo::Math::Point3 ends[2], unsigned group, const char* label,
                                  const double* value);
// The arc of the data in the plane of the matrix (a matrix object is made
// first).
unsigned DSPTOOL_create_perm_arc(DSS_ARC_arc_data_s* arc, MTX3_s* matrix, unsigned group, const char* label,
                                 const double* value);
// A polyline curve through the points (order 2).  0 when it cannot be made:
// fewer than 2 points, or the host's curve creation failed (its error is
// reported and cleared; nothing is named or grouped).
unsigned DSPTOOL_create_perm_curve(int count, Korvo::Math::Point3* points, unsigned group, const char* label,
                                   const double* value);
// The closed curve c0 c1 c2 c0.
unsigned DSPTOOL_create_perm_tri(Korvo::Math::Point3 corners[3], unsigned group, const char* label,
                                 const double* value);

// A box of six doubles (x min, x max, y min, y max, z min, z max).  Corners c0
// (xmin, ymin, zmin), c1 (xmax, ymin, zmin), c2 (xmax, ymax, zmin), c3 (xmin,
// ymax, zmin) and c4 to c7 the same at zmax, mapped through the coordinate
// system when given, else through the matrix unless it is the identity
// (within 1e-10).  With permanent set, a permanent curve c0 c1 c2 c3 c0 c4 c5
// c6 c7 c4 is made with the group, label and value and its tag returned
// (else 0).  With a marker, the eight corners are shown as temporary markers
// of that kind.  The twelve edges are drawn as temporary polylines in view
// -3 in the colour, font and width: c0 c1 c2 c3, c4 c5 c6 c7, then c3 c0, c7
// c4 and the four edges c0 c4 to c3 c7.  A null box draws nothing.
unsigned DSPTOOL_display_box(double box[6], const CSYS_s* csys, MTX3_s* matrix, int colour, int font, int width,
                             int* marker, bool permanent, unsigned group, const char* label, const double* value);

MERROW1_API_END
