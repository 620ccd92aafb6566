// Host CAM geometry: the items of a geometry list (each node's main data is
// one item) and the faces of an item.
//
// Stand-in for the host's libpellam; test controls in <pellam/testing_camgeom.h>.
#pragma once

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
