// Host curve modelling: curve definitions through points and the exact
// curves made from them in the work part.
#pragma once

typedef unsigned int tag_t;

// A curve definition (opaque): its points, order and form.
struct BCDF_s;

// A definition through `count` points of `dims` coordinates each; `flag` is
// the host's option word (0: plain).  Null for fewer than 2 points or a null
// array.
BCDF_s* BCDF_create_df_from_pts(const double* points, int count, int dims, int flag);
// Sets the order of the definition (2: a polyline).
void BCDF_set_order(BCDF_s* definition, int order);
// Whether the host makes curves in rational form (its rational-curve switch).
bool BCDF_ask_rational_curves();
// Adds the slopes a rational curve needs at its points.
void BCDF_add_slopes(BCDF_s* definition);
// Converts the definition's homogeneous (4D) points to 3D.
void BCDF_convert_4d_to_3d(BCDF_s* definition);
// Frees a definition (null: nothing).
void BCDF_free(BCDF_s* definition);

// The exact curve of the definition in the work part; its tag.  Raises a
// Korvo::Error::Exception when the host cannot make it.
tag_t BC_create_exact(const BCDF_s* definition);
