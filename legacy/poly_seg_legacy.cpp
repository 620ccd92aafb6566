// Poly-segment callback of the earlier build, in grid points.
#include <merrow1/legacy/legacy_routines.h>

#include <merrow1/poly_seg.h>

bool POLY_SEG_dummy_src_eval_using_point_data(RING_node_s* node, PNT2_s* point1, PNT2_s* point2,
                                              double* parameter, bool* flag, double* weight) {
    Korvo::Math::Point2 a, b;
    if (!POLY_SEG_dummy_src_eval_using_point_data(static_cast<const RING_node_s*>(node), &a, &b, parameter, flag,
                                                  weight))
        return false;
    if (point1) *point1 = PNT2_s{a.x, a.y};
    if (point2) *point2 = PNT2_s{b.x, b.y};
    return true;
}
