// Host assemblies: occurrences of objects and their prototypes.
//
// Stand-in for the host's libpemmet; test controls in <pemmet/testing.h>.
#pragma once

typedef unsigned int tag_t;

// Whether the object is an occurrence (a placed copy of a prototype).
bool OCC_is_occurrence(tag_t object);
// The prototype of an occurrence; 0 for an object that is not one.
tag_t OCC_ask_prototype_of_occ(tag_t occurrence);

// The kernel body of a host body and the placement of its occurrence: a
// world point is factor x R p + t for a kernel point p (R a rotation, row by
// row).  OCC_ask_vj_tag answers 0 and the kernel tag, or 1 (tag 0) for a
// host body without one.  An object that is no occurrence is placed by the
// identity.
int OCC_ask_vj_tag(tag_t object, int* kernel_tag);
// World point to kernel point, world direction to kernel direction.
void OCC_untransform_vj_point(tag_t object, const double world[3], double kernel[3]);
void OCC_untransform_direction(tag_t object, const double world[3], double kernel[3]);
// Kernel point to world point; a kernel length to a world length.
void OCC_transform_vorsa_point(tag_t object, const double kernel[3], double world[3]);
double OCC_transform_length(tag_t object, double length);
