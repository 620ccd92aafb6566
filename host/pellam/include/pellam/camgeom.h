// Host CAM geometry: the items of a geometry list (each node's main data is
// one item) and the faces of an item.
//
// Stand-in for the host's libpellam; test controls in <pellam/testing_camgeom.h>.
#pragma once

struct RING_header_s;
typedef unsigned int tag_t;

// CAM geometry types of an item.
enum {
    CAMGEOM_TYPE_NONE = 0,
    CAMGEOM_TYPE_BODY = 1,
    CAMGEOM_TYPE_FACE = 2,
    CAMGEOM_TYPE_CURVE = 4,
    CAMGEOM_TYPE_COLLECTION = 99,  // subtype 205: a set of faces; 139: a facet set
};

struct CAMGEOM_item_s {
    int type;
    int subtype;
    tag_t entity;  // the host object of the item
};

// The faces of an item: their number in *count and, in *faces, an array of
// host tags allocated with SM_alloc (the caller frees it with SM_free; null
// for none).  0 on success; 1 (count 0) for a null item.
int CAMGEOM_ask_faces(const CAMGEOM_item_s* item, int* count, tag_t** faces);

// Extents of the items of a geometry list measured along the axes of a
// coordinate system (origin, then the x, y and z rows of the matrix).
// CAMGEOM_find_list_maxmin: box = x min, x max, y min, y max, z min, z max;
// CAMGEOM_find_list_maxmin_z: the z range alone.  0 on success; 1 (outputs
// untouched) for an empty list or items without geometry.
int CAMGEOM_find_list_maxmin(const RING_header_s* list, const double origin[3], const double matrix[9],
                             double box[6]);
int CAMGEOM_find_list_maxmin_z(const RING_header_s* list, int option, const double origin[3], const double matrix[9],
                               int flag, double* z_min, double* z_max);

// The bodies of an item, as the item's record gives them: the host body,
// the factor that takes kernel coordinates to output, the scale that takes
// model coordinates into the kernel, and whether positions pass through the
// occurrence transform of the body.  *bodies in host string memory (SM_alloc;
// the caller frees it).  0 on success; 1 (count 0) for a null item.
struct CAMGEOM_body_s {
    tag_t entity;
    double output_factor;
    double scale;
    int transformed;
};
int CAMGEOM_ask_bodies(const CAMGEOM_item_s* item, int* count, CAMGEOM_body_s** bodies);

// An edge of the solid kernel taken on one of its faces: the edge, the
// face, the curve's class (3002 a circle) and the curve with its interval,
// the reversed flag and a second flag that inverts it (the item runs from
// the curve's end to its start when exactly one is set), the start vertex,
// and the caller's record of the body.
struct CAMGEOM_vj_edge_item_s {
    int edge;
    int face;
    int curve_class;
    int curve;
    double interval[2];
    int reversed;
    int invert;
    int start_vertex;
    void* map;
};

struct CARR_array_t;
struct CMEM_pool_s;

// Fills an item for a kernel edge on a face (not reversed).  0 on success;
// the kernel's error code, or 1 when the kernel is not loaded.
int CAMGEOM_init_vj_edge(int edge, int face, CAMGEOM_vj_edge_item_s* item);

// Joins the edges (each on the face of the same index) into boundaries:
// an edge follows the one whose end it starts or ends at, within the
// tolerance (it runs reversed when it ends there); a boundary is closed when
// it returns to its start, else it stays open where no edge follows.  Each
// boundary is appended to `boundaries` as a pointer array (in the pool) of
// items (in the pool), each carrying `map`.  0 on success; the kernel's
// error code, or 1 when the kernel is not loaded.
int CAMGEOM_build_bnds_from_vj_edges(CMEM_pool_s* pool, int n, const int* edges, const int* faces, void* map,
                                     double tolerance, double output_factor, CARR_array_t* boundaries);

// The direction in which the item's face leaves the body's material at the
// start (or middle) of the item: the face's outward normal there, made
// perpendicular to the edge, unit; through the occurrence transform of
// `entity` when `transformed`.  `material_side` (1 solid, 2 sheet, 0
// unknown) is recorded.  0 on success; the kernel's error code, or 1.
int CAMGEOM_eval_start_vj_edge(const CAMGEOM_vj_edge_item_s* item, int transformed, tag_t entity,
                               double output_factor, int material_side, double direction[3]);
int CAMGEOM_eval_mid_vj_edge(const CAMGEOM_vj_edge_item_s* item, int transformed, tag_t entity,
                             double output_factor, int material_side, double direction[3]);
