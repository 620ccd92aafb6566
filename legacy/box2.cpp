// 2D boxes of the earlier build on BOX2_t (x min, x max, y min, y max).
#include <merrow1/legacy/legacy_routines.h>

void BOX2_init(double xmin, double xmax, double ymin, double ymax, BOX2_t* box) {
    box->min_along = xmin;
    box->max_along = xmax;
    box->min_normal = ymin;
    box->max_normal = ymax;
}

void BOX2_expand(BOX2_t* box, double distance) {
    box->min_along -= distance;
    box->max_along += distance;
    box->min_normal -= distance;
    box->max_normal += distance;
}

bool BOX2_overlaps(const BOX2_t* a, const BOX2_t* b, double tolerance) {
    // Both boxes widened by the tolerance: apart when a side of one lies at or
    // beyond the opposite side of the other.
    if (a->max_along + tolerance <= b->min_along - tolerance) return false;
    if (b->max_along + tolerance <= a->min_along - tolerance) return false;
    if (a->max_normal + tolerance <= b->min_normal - tolerance) return false;
    if (b->max_normal + tolerance <= a->min_normal - tolerance) return false;
    return true;
}
