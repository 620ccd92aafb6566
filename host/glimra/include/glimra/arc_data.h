// Host display: the data of an arc in the plane of an orientation matrix.
#pragma once

// An arc about `centre` in the plane of a matrix (rows x axis, y axis, z
// axis), from start_angle to end_angle (radians, counter-clockwise about the
// z row, 0 along the x row).  The centre is given in the matrix frame: its
// absolute position is centre[0] x + centre[1] y + centre[2] z.
struct DSS_ARC_arc_data_s {
    double start_angle;
    double end_angle;
    double centre[3];
    double radius;
};
