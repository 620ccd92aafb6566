// Host facet operations: distances between discrete curves.
#pragma once

// Error codes of FACETOPS_dist_of_discrete_curvs.
enum {
    FACETOPS_OK = 0,
    FACETOPS_BAD_ARGUMENT = 1,  // fewer than 2 points, a null array, a tolerance not above 0 or not finite
};

// The closest approach of two discrete curves (polylines of count1 and count2
// points, 3 coordinates per point): the closest point on each and their
// distance, over every pair of segments with each closest point clamped to
// its segment (parallel and zero-length segments included).  `option` selects
// the host's method; 1 is the only one the library uses.  Returns FACETOPS_OK,
// or an error code with nothing written.
int FACETOPS_dist_of_discrete_curvs(int count1, const double* points1, int count2, const double* points2,
                                    double tolerance1, double tolerance2, int option, double closest1[3],
                                    double closest2[3], double* distance);
