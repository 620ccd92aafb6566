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
