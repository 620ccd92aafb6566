// Host assemblies: occurrences of objects and their prototypes.
//
// Stand-in for the host's libpemmet; test controls in <pemmet/testing.h>.
#pragma once

typedef unsigned int tag_t;

// Whether the object is an occurrence (a placed copy of a prototype).
bool OCC_is_occurrence(tag_t object);
// The prototype of an occurrence; 0 for an object that is not one.
tag_t OCC_ask_prototype_of_occ(tag_t occurrence);
