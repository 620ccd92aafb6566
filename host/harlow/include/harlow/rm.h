// Host object records: the type and subtype of an object.
//
// Stand-in for the record manager of the host's libharlow; test controls in
// <harlow/testing_rm.h>.
#pragma once

typedef unsigned int tag_t;

// Error answered for a tag that names no object.
enum { RM_ERROR_NO_OBJECT = 640001 };

// Writes the object's type and subtype; 0 on success.  A tag that names no
// object (0 included) answers RM_ERROR_NO_OBJECT and writes 0 to both.  Null
// outputs are skipped.
int RM_ask_entity_type_and_subtype(tag_t object, int* type, int* subtype);
// The object's type alone; 0 for a tag that names no object (0 included).
int RM_ask_entity_type(tag_t object);
