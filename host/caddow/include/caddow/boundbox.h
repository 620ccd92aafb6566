// Host bounding boxes: the box of faces along given axes, its corner in the
// work part, and block bodies made from a corner, axes and edge lengths.
//
// Stand-in for the host's libcaddow; test controls in <caddow/testing.h>.
// A failing call throws the host's Korvo::Error::Exception.
#pragma once

typedef unsigned int tag_t;

// The box (x min, x max, y min, y max, z min, z max) of the faces measured
// from the origin along x, y and x cross y.
void BOUNDBOX_ask_bounding_box_aligned_direction(const double origin[3], const double x[3], const double y[3],
                                                 int count, const tag_t* faces, double box[6]);
// The box of the assembly as a corner and orientation (rows x, y, z) in the
// work part, with its edge lengths.
void BOUNDBOX_convert_box_from_assem_to_work(const double origin[3], const double x[3], const double y[3],
                                             const double box[6], double corner[3], double matrix[9],
                                             double lengths[3]);
// A block body at the corner along the three axes with the edge lengths,
// grown by the offsets; the coordinate system (origin, matrix rows) it
// belongs to.  Its tag.
tag_t BOUNDBOX_create_boundary_vj_block(const double origin[3], const double matrix[9], const double corner[3],
                                        const double x[3], const double y[3], const double z[3],
                                        const double lengths[3], const double offsets[6]);
